// The simple scene: its picture through a recording drawing system against
// numpy's projections (Classes3DTable.h), when images are made and when not,
// and images on the scene's thread meeting changes, synchronous images and
// the scene's end.

#include "Classes3DTable.h"
#include "SceneTestSupport.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SScene3D.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <regex>
#include <thread>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// What the drawing system and the traced objects saw; outlives them.
struct Journal {
    std::mutex Lock;
    std::vector<std::string> Entries;
    std::vector<std::vector<TSVertex3DSingle>> Images;
    std::vector<std::thread::id> ImageThreads;
    std::vector<TSVertex3DSingle> Current;
    int Begins = 0;
    int Ends = 0;
    int Inside = 0;
    int MaxInside = 0;
    std::atomic<bool> Fail{false};
    // Called (outside the lock) with the number of the point in its image.
    std::function<void(std::size_t)> OnPoint;

    void Add(const std::string& Entry)
    {
        std::lock_guard guard(Lock);
        Entries.push_back(Entry);
    }
    std::size_t ImageCount()
    {
        std::lock_guard guard(Lock);
        return Images.size();
    }
    std::vector<TSVertex3DSingle> LastImage()
    {
        std::lock_guard guard(Lock);
        return Images.empty() ? std::vector<TSVertex3DSingle>() : Images.back();
    }
    std::ptrdiff_t LastIndexOf(const std::string& Entry)
    {
        std::lock_guard guard(Lock);
        for (auto i = static_cast<std::ptrdiff_t>(Entries.size()) - 1; i >= 0; --i)
            if (Entries[static_cast<std::size_t>(i)] == Entry)
                return i;
        return -1;
    }
};

// Records each picture; the journal tells how many threads were inside it.
class TImageRecorder final : public TSCustomDrawSystem3D {
    S_CLASS(TImageRecorder)
public:
    using TSCustomDrawSystem3D::DrawPoint;
    std::shared_ptr<Journal> Log;

    ~TImageRecorder() override
    {
        Finalize();
        if (Log)
            Log->Add("recorder destroyed");
    }
    void DoBeginDraw(std::int32_t Param) override
    {
        {
            std::lock_guard guard(Log->Lock);
            ++Log->Begins;
            Log->Current.clear();
            Log->ImageThreads.push_back(std::this_thread::get_id());
            Log->Entries.push_back("begin");
        }
        TSCustomDrawSystem3D::DoBeginDraw(Param);
    }
    void DoEndDraw(std::int32_t Param) override
    {
        {
            std::lock_guard guard(Log->Lock);
            ++Log->Ends;
            Log->Images.push_back(Log->Current);
            Log->Entries.push_back("end");
        }
        TSCustomDrawSystem3D::DoEndDraw(Param);
    }
    void DrawPoint(const TSVertex3DSingle& P) override
    {
        std::size_t index = 0;
        {
            std::lock_guard guard(Log->Lock);
            Log->MaxInside = std::max(Log->MaxInside, ++Log->Inside);
            Log->Current.push_back(P);
            index = Log->Current.size() - 1;
        }
        if (Log->OnPoint)
            Log->OnPoint(index);
        {
            std::lock_guard guard(Log->Lock);
            --Log->Inside;
        }
        if (Log->Fail)
            throw EInvalidOperation("the drawing failed");
    }
};

// A plain construction that notes when it was drawn and when it went.
class TTracedConstruction final : public TSCustomConstruction3D {
    S_CLASS(TTracedConstruction)
public:
    std::shared_ptr<Journal> Log;

    ~TTracedConstruction() override
    {
        Finalize();
        if (Log)
            Log->Add("destroyed " + Name());
    }
    void Draw(TSRenderContext& Context) override
    {
        TSCustomConstruction3D::Draw(Context);
        Log->Add("drawn " + Name());
    }
};

}  // namespace

constinit const TSClassInfo TImageRecorder::ClassInfo{"TImageRecorder", &TSCustomDrawSystem3D::ClassInfo,
                                                      &TSNewObject<TImageRecorder>};
constinit const TSClassInfo TTracedConstruction::ClassInfo{"TTracedConstruction", &TSCustomConstruction3D::ClassInfo,
                                                           &TSNewObject<TTracedConstruction>};

namespace {

// Holds a thread at a point until released.
struct Gate {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Entered = false;
    bool Open = false;

    void Pass()
    {
        std::unique_lock lock(Lock);
        Entered = true;
        Changed.notify_all();
        Changed.wait(lock, [this] { return Open; });
    }
    bool WaitEntered()
    {
        std::unique_lock lock(Lock);
        return Changed.wait_for(lock, 10s, [this] { return Entered; });
    }
    void Release()
    {
        std::lock_guard lock(Lock);
        Open = true;
        Changed.notify_all();
    }
};

// Releases a gate from another thread after a while.
class LateRelease {
public:
    explicit LateRelease(Gate& G, std::chrono::milliseconds After = 200ms)
        : m_thread([&G, After] {
              std::this_thread::sleep_for(After);
              G.Release();
          })
    {}
    ~LateRelease() { m_thread.join(); }

private:
    std::thread m_thread;
};

bool WaitUntil(const std::function<bool()>& Done)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The messages of a thread, as its worker sets them.
struct MessageLog {
    TSThread* Thread = nullptr;
    std::mutex Lock;
    std::vector<std::string> Messages;

    void On(TObject*, std::int32_t Code, TSParam)
    {
        if (Code != ecThreadMessage)
            return;
        const std::string text = Thread->Message();
        std::lock_guard guard(Lock);
        Messages.push_back(text);
    }
    TSEventHandler Handler() { return TSEventHandler::Of<&MessageLog::On>(this); }
};

std::size_t CountOf(EventLog& Log, std::int32_t Code)
{
    std::size_t n = 0;
    for (const auto& [code, param] : Log.Codes())
        n += code == Code ? 1 : 0;
    return n;
}

// A scene holding three traced constructions at the table's points, a flat
// light and two eye systems, watched by an event log.
class Scene : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        scene = Make<TSSimpleScene3D>();
        scene->Events.Add(events.Handler());
        int n = 0;
        for (const ScenePointRow& row : kScenePoints) {
            auto* object = TSObject::Create<TTracedConstruction>();
            object->Log = journal;
            object->SetName("object" + std::to_string(n));
            object->Frame()->SetPlacement(IdentityMatrix(), row.Origin);
            scene->Objects()->Add(object);
            objects[n++] = object;
        }
        light = TSObject::Create<TSFlatSpringLight3D>();
        scene->Lights()->Add(light);
        eye = TSObject::Create<TSEyeSystem3D>();
        second = TSObject::Create<TSEyeSystem3D>();
        scene->Cameras()->Add(eye);
        scene->Cameras()->Add(second);
    }
    void TearDown() override
    {
        scene.reset();
        SceneTest::TearDown();
    }

    static TImageRecorder* NewRecorder(const std::shared_ptr<Journal>& Log)
    {
        auto* recorder = TSObject::Create<TImageRecorder>();
        recorder->Log = Log;
        return recorder;
    }
    // Camera and drawing system: the scene can draw from now on.
    void Complete()
    {
        recorder = NewRecorder(journal);
        scene->SetDrawSystem(recorder);
        scene->SetCamera(eye);
    }
    bool WaitIdle()
    {
        return WaitUntil([this] { return !scene->Thread()->HasWorker(); });
    }
    // Gates the first point of the next image drawn.
    void GateFirstPoint()
    {
        journal->OnPoint = [this](std::size_t Index) {
            if (Index == 0 && gated.exchange(true) == false)
                gate.Pass();
        };
    }

    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    std::unique_ptr<TSSimpleScene3D> scene;
    EventLog events;
    TTracedConstruction* objects[3] = {};
    TSFlatSpringLight3D* light = nullptr;
    TSEyeSystem3D* eye = nullptr;
    TSEyeSystem3D* second = nullptr;
    TImageRecorder* recorder = nullptr;
    Gate gate;
    std::atomic<bool> gated{false};
};

void ExpectTheThreePoints(const std::vector<TSVertex3DSingle>& Image)
{
    ASSERT_EQ(Image.size(), std::size(kScenePoints));
    for (std::size_t i = 0; i < Image.size(); ++i) {
        const TSVertex3DSingle& p = Image[i];
        const TSVector3D& e = kScenePoints[i].Expected;
        EXPECT_NEAR(p.X, e.X, 1e-3) << i;
        EXPECT_NEAR(p.Y, e.Y, 1e-3) << i;
        EXPECT_NEAR(p.Z, e.Z, 1e-6 * std::abs(e.Z)) << i;
        EXPECT_EQ(p.R, 1);
        EXPECT_EQ(p.G, 1);
        EXPECT_EQ(p.B, 1);
    }
}

}  // namespace

TEST_F(Scene, NameListsAndRegister)
{
    const std::regex form(R"(TSScene3D #(\d+)/ PrID #(\d+)/ ThID #(\d+)/ Time #(\d+))");
    std::smatch first;
    const std::string name = scene->Name();
    ASSERT_TRUE(std::regex_match(name, first, form)) << name;
    EXPECT_EQ(first[2].str(), std::to_string(getpid()));
    EXPECT_EQ(first[3].str(), std::to_string(gettid()));
    auto next = Make<TSSimpleScene3D>();
    std::smatch second;
    const std::string nextName = next->Name();
    ASSERT_TRUE(std::regex_match(nextName, second, form));
    EXPECT_EQ(std::stoull(second[1].str()), std::stoull(first[1].str()) + 1);

    EXPECT_EQ(scene->Objects()->Name(), "Objects");
    EXPECT_EQ(scene->Lights()->Name(), "Lights");
    EXPECT_EQ(scene->Cameras()->Name(), "Cameras");
    EXPECT_TRUE(scene->Objects()->Visible());
    EXPECT_FALSE(scene->Lights()->Visible());
    EXPECT_FALSE(scene->Cameras()->Visible());
    EXPECT_EQ(scene->Thread()->Owner(), scene.get());
    EXPECT_FALSE(scene->Asynchronous());

    TSObjectsList* scenes = GlobalScenesList();
    ASSERT_NE(scenes, nullptr);
    EXPECT_EQ(scenes->Name(), "Global List of SScene3D");
    EXPECT_GE(scenes->IndexOf(next.get()), 0);
    TSSimpleScene3D* gone = next.get();
    next.reset();
    EXPECT_EQ(scenes->IndexOf(gone), -1);
}

TEST_F(Scene, ThreeWhitePointsAtTheProjections)
{
    Complete();
    // Lights and cameras draw nothing; the one behind the camera gets a negative depth.
    EXPECT_EQ(journal->ImageCount(), 1u);
    ExpectTheThreePoints(journal->LastImage());
    EXPECT_EQ(journal->ImageThreads.back(), std::this_thread::get_id());
    EXPECT_FALSE(scene->IsImageDue());
    EXPECT_EQ(recorder->DrawNesting(), 0);
    // An explicit image draws the same.
    scene->MakeImage(nullptr);
    ExpectTheThreePoints(journal->LastImage());
}

TEST_F(Scene, AsynchronousImageReportsItsSteps)
{
    MessageLog messages;
    messages.Thread = scene->Thread();
    scene->Thread()->Events.Add(messages.Handler());
    scene->SetAsynchronous(true);
    Complete();
    ASSERT_TRUE(WaitUntil([this] { return !scene->IsImageDue(); }));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(journal->ImageCount(), 1u);
    ExpectTheThreePoints(journal->LastImage());
    EXPECT_NE(journal->ImageThreads.back(), std::this_thread::get_id());
    std::lock_guard guard(messages.Lock);
    EXPECT_EQ(messages.Messages,
              (std::vector<std::string>{"MakeImage.1", "MakeImage.1.1", "MakeImage.1.2", "MakeImage.1.3", "MakeImage.2",
                                        "MakeImage.2.1", "MakeImage.3", "MakeImage.3.1", "MakeImage.3.2"}));
    scene->Thread()->Events.Remove(messages.Handler());
}

TEST_F(Scene, NoImageUntilCameraAndDrawingSystemAreSet)
{
    Complete();
    struct Case {
        const char* What;
        std::function<void()> Take, Give;
    };
    const Case cases[] = {
        {"no camera", [this] { scene->SetCamera(nullptr); }, [this] { scene->SetCamera(eye); }},
        {"no drawing system", [this] { scene->SetDrawSystem(nullptr); }, [this] { scene->SetDrawSystem(recorder); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_FALSE(scene->IsImageDue());
        const std::size_t images = journal->ImageCount();
        events.Entries.clear();
        c.Take();
        for (int i = 0; i < 3; ++i)
            scene->Invalidate(i + 1);
        EXPECT_EQ(journal->ImageCount(), images);
        EXPECT_TRUE(scene->IsImageDue());
        c.Give();
        EXPECT_EQ(journal->ImageCount(), images + 1);
        EXPECT_FALSE(scene->IsImageDue());
        // Due from the first Invalidate to the image: 4100 once.
        EXPECT_EQ(CountOf(events, ecInvalidate), 1u);
    }
}

TEST_F(Scene, OneImagePerOuterChangeOrUpdate)
{
    Complete();
    auto* extra = TSObject::Create<TSCustomConstruction3D>();
    struct Case {
        const char* What;
        std::function<void()> Change;
        std::size_t Points;
    };
    const Case cases[] = {
        {"scene change",
         [&] {
             scene->BeginChange();
             light->SetColor(0.5, 0.5, 0.5);
             objects[0]->Frame()->Transform(IdentityMatrix(), {1, 0, 0});
             scene->Invalidate(5);
             scene->EndChange();
         },
         3},
        {"scene update",
         [&] {
             scene->BeginUpdate(7);
             scene->BeginUpdate(8);
             light->SetColor(0.25, 0.5, 0.5);
             objects[0]->Frame()->Transform(IdentityMatrix(), {-1, 0, 0});
             scene->EndUpdate(9);
             scene->EndUpdate(10);
         },
         3},
        {"light colour", [&] { light->SetColor(1, 1, 1); }, 3},
        {"light moved",
         [&] {
             light->Frame()->Transform(IdentityMatrix(), {0, 1, 0});
         },
         3},
        {"object redrawn", [&] { objects[1]->Refresh(); }, 3},
        {"camera moved",
         [&] {
             eye->Frame()->Transform(IdentityMatrix(), {0, 0, 5});
         },
         3},
        {"object added", [&] { scene->Objects()->Add(extra); }, 4},
        {"law changed elsewhere", [&] { scene->Invalidate(0); }, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const std::size_t images = journal->ImageCount();
        events.Entries.clear();
        c.Change();
        EXPECT_EQ(journal->ImageCount(), images + 1);
        EXPECT_EQ(journal->LastImage().size(), c.Points);
        EXPECT_FALSE(scene->IsUpdating());
        EXPECT_EQ(CountOf(events, ecInvalidate), 1u);
    }
    // The update events carry the outermost calls' values.
    scene->BeginUpdate(7);
    scene->BeginUpdate(8);
    events.Entries.clear();
    scene->EndUpdate(9);
    scene->EndUpdate(10);
    EXPECT_EQ(events.Codes(), (std::vector<std::pair<std::int32_t, TSParam>>{{ecSceneUpdateEnd, 10}}));
}

TEST_F(Scene, CameraRules)
{
    Complete();
    const std::size_t images = journal->ImageCount();
    auto outsider = Make<TSEyeSystem3D>();
    scene->SetCamera(outsider.get());
    EXPECT_EQ(scene->Camera(), eye);
    EXPECT_EQ(journal->ImageCount(), images);
    scene->SetCamera(second);
    EXPECT_EQ(scene->Camera(), second);
    EXPECT_EQ(journal->ImageCount(), images + 1);
    // Only second is watched now.
    eye->Frame()->Transform(IdentityMatrix(), {0, 0, 1});
    EXPECT_EQ(journal->ImageCount(), images + 2);  // through the Cameras list
    scene->SetCamera(nullptr);
    EXPECT_EQ(scene->Camera(), nullptr);
    scene->Invalidate(0);
    EXPECT_EQ(journal->ImageCount(), images + 2);
    // A member that is no projection system is taken but projects nothing.
    auto* plain = TSObject::Create<TSCustomConstruction3D>();
    scene->Cameras()->Add(plain);
    scene->SetCamera(plain);
    EXPECT_EQ(scene->Camera(), plain);
    EXPECT_EQ(journal->ImageCount(), images + 2);
    scene->SetCamera(eye);
    EXPECT_EQ(journal->ImageCount(), images + 3);
}

TEST_F(Scene, DestroyedCameraOrDrawingSystem)
{
    Complete();
    std::size_t images = journal->ImageCount();
    delete eye;
    EXPECT_EQ(scene->Camera(), nullptr);
    scene->Invalidate(0);
    EXPECT_EQ(journal->ImageCount(), images);
    scene->SetCamera(second);
    EXPECT_EQ(journal->ImageCount(), ++images);

    // Gone inside its own change, the camera leaves no update open.
    second->BeginChange();
    EXPECT_TRUE(scene->IsUpdating());
    delete second;
    EXPECT_FALSE(scene->IsUpdating());
    auto* third = TSObject::Create<TSEyeSystem3D>();
    scene->Cameras()->Add(third);
    scene->SetCamera(third);
    EXPECT_EQ(journal->ImageCount(), ++images);

    // So does a drawing system replaced inside its change.
    recorder->BeginChange();
    EXPECT_TRUE(scene->IsUpdating());
    auto* other = NewRecorder(journal);
    scene->SetDrawSystem(other);
    EXPECT_FALSE(scene->IsUpdating());
    EXPECT_EQ(journal->ImageCount(), ++images);
    recorder->EndChange();
    EXPECT_EQ(journal->ImageCount(), images);
    delete recorder;

    delete other;
    EXPECT_EQ(scene->DrawSystem(), nullptr);
    scene->Invalidate(0);
    EXPECT_EQ(journal->ImageCount(), images);
}

TEST_F(Scene, FailedDrawingIsEventOneAndStaysDue)
{
    Complete();
    journal->Fail = true;
    events.Entries.clear();
    scene->Invalidate(0);
    EXPECT_EQ(CountOf(events, ecImageFailed), 1u);
    for (const auto& [code, param] : events.Codes()) {
        if (code == ecImageFailed)
            EXPECT_EQ(param, 1);
    }
    EXPECT_EQ(journal->Begins, journal->Ends);
    EXPECT_EQ(recorder->DrawNesting(), 0);
    EXPECT_TRUE(scene->IsImageDue());
    journal->Fail = false;
    scene->Redraw();
    EXPECT_FALSE(scene->IsImageDue());
    ExpectTheThreePoints(journal->LastImage());
}

TEST_F(Scene, ChangeWhileDrawingKeepsTheImageDue)
{
    Complete();
    // A change that arrives while the picture is drawn is not in it.
    journal->OnPoint = [this](std::size_t Index) {
        if (Index == 1 && !gated.exchange(true))
            scene->Invalidate(0);
    };
    const std::size_t images = journal->ImageCount();
    scene->Invalidate(0);
    EXPECT_EQ(journal->ImageCount(), images + 1);
    EXPECT_TRUE(scene->IsImageDue());
    scene->Redraw();
    EXPECT_EQ(journal->ImageCount(), images + 2);
    EXPECT_FALSE(scene->IsImageDue());
}

TEST_F(Scene, AsynchronousImageRestarts)
{
    scene->SetAsynchronous(true);
    GateFirstPoint();
    Complete();
    ASSERT_TRUE(gate.WaitEntered());
    events.Entries.clear();
    scene->Invalidate(0);
    gate.Release();
    ASSERT_TRUE(WaitUntil([this] { return !scene->IsImageDue(); }));
    ASSERT_TRUE(WaitIdle());
    // The stopped image reports event 1 and still ends its drawing.
    EXPECT_EQ(CountOf(events, ecImageFailed), 1u);
    EXPECT_EQ(journal->ImageCount(), 2u);
    EXPECT_EQ(journal->Images.front().size(), 1u);
    ExpectTheThreePoints(journal->LastImage());
    EXPECT_EQ(journal->Begins, journal->Ends);
}

TEST_F(Scene, SynchronousImageWaitsForTheAsynchronousOne)
{
    scene->SetAsynchronous(true);
    GateFirstPoint();
    Complete();
    ASSERT_TRUE(gate.WaitEntered());
    scene->SetAsynchronous(false);
    {
        LateRelease release(gate);
        scene->Invalidate(0);
    }
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(journal->MaxInside, 1);
    EXPECT_EQ(journal->Begins, 2);
    EXPECT_EQ(journal->Ends, 2);
    EXPECT_EQ(journal->ImageThreads.back(), std::this_thread::get_id());
    ExpectTheThreePoints(journal->LastImage());
    EXPECT_FALSE(scene->IsImageDue());
}

TEST_F(Scene, NewDrawingSystemStopsTheImageFirst)
{
    scene->SetAsynchronous(true);
    GateFirstPoint();
    Complete();
    ASSERT_TRUE(gate.WaitEntered());
    auto otherLog = std::make_shared<Journal>();
    auto* other = NewRecorder(otherLog);
    {
        LateRelease release(gate);
        scene->SetDrawSystem(other);
    }
    // The old one is out of use and may go.
    EXPECT_EQ(journal->Inside, 0);
    EXPECT_EQ(journal->Begins, journal->Ends);
    EXPECT_EQ(recorder->DrawNesting(), 0);
    delete recorder;
    ASSERT_TRUE(WaitUntil([this] { return !scene->IsImageDue(); }));
    ASSERT_TRUE(WaitIdle());
    ExpectTheThreePoints(otherLog->LastImage());
}

TEST_F(Scene, MemberDestroyedWhileItIsDrawn)
{
    scene->SetAsynchronous(true);
    GateFirstPoint();
    Complete();
    ASSERT_TRUE(gate.WaitEntered());
    {
        LateRelease release(gate);
        delete objects[0];
    }
    EXPECT_LT(journal->LastIndexOf("drawn object0"), journal->LastIndexOf("destroyed object0"));
    ASSERT_TRUE(WaitUntil([this] { return !scene->IsImageDue(); }));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(journal->LastImage().size(), 2u);
}

TEST_F(Scene, DestroyedDuringAnAsynchronousImage)
{
    scene->SetAsynchronous(true);
    GateFirstPoint();
    Complete();
    ASSERT_TRUE(gate.WaitEntered());
    {
        LateRelease release(gate);
        scene.reset();
    }
    // The drawing ended before the drawing system and the objects went.
    const std::ptrdiff_t destroyed = journal->LastIndexOf("recorder destroyed");
    ASSERT_GE(destroyed, 0);
    EXPECT_LT(journal->LastIndexOf("end"), destroyed);
    EXPECT_LT(journal->LastIndexOf("drawn object0"), journal->LastIndexOf("destroyed object0"));
    EXPECT_EQ(journal->Begins, journal->Ends);
    EXPECT_EQ(journal->Inside, 0);
}

// A drawing that takes longer than any bounded wait for it (a drawing system or
// pass that does not look at the stop request): the scene still waits for its
// end before it frees what the drawing uses.
TEST_F(Scene, DestroyedDuringAnImageThatOutlastsTheStopWait)
{
    scene->SetAsynchronous(true);
    GateFirstPoint();
    Complete();
    ASSERT_TRUE(gate.WaitEntered());
    {
        LateRelease release(gate, std::chrono::milliseconds(2 * kThreadDestroyWaitMs + 500));
        scene.reset();
    }
    const std::ptrdiff_t destroyed = journal->LastIndexOf("recorder destroyed");
    ASSERT_GE(destroyed, 0);
    EXPECT_LT(journal->LastIndexOf("end"), destroyed);
    EXPECT_EQ(journal->Begins, journal->Ends);
    EXPECT_EQ(journal->Inside, 0);
}
