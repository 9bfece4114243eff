// The 3D project document: filing objects, viewers and depositories, the
// render thread and its pauses, the project file with relocation, and the
// small form routines of its unit.

#include "Command.h"
#include "Viewer3DTestSupport.h"

#include "PumpUntil.h"
#include "ScopedEnvFolder.h"
#include "TempDir.h"

#include "viewer3d/drawing/SDrawing3D.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/forms/SAdministratorUn.h"

#include "engine3d/model/SRTDRegistry.h"
#include "platform/resources/Settings.h"

#include <QApplication>
#include <QScreen>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <utility>

using namespace std::chrono_literals;

// A drawing system that counts its pictures and points.
class TRecordingDrawSystem final : public TSCustomDrawSystem3D {
    S_CLASS(TRecordingDrawSystem)
public:
    std::atomic<int> Pictures{0};
    std::atomic<int> Points{0};

    void DoEndDraw(std::int32_t Param) override
    {
        ++Pictures;
        TSCustomDrawSystem3D::DoEndDraw(Param);
    }
    void DrawPoint(const TSVertex3D&) override { ++Points; }
    void DrawPoint(const TSVertex3DSingle&) override { ++Points; }
};

// A construction whose Draw waits while Hold is set, stopping when asked.
class THeldConstruction final : public TSCustomConstruction3D {
    S_CLASS(THeldConstruction)
public:
    static inline std::atomic<bool> Hold{false};
    static inline std::atomic<int> Entered{0};
    static inline std::atomic<int> Finished{0};
    static inline std::atomic<int> Stopped{0};

    static void Reset()
    {
        Hold = false;
        Entered = Finished = Stopped = 0;
    }

    void Draw(TSRenderContext& Context) override
    {
        ++Entered;
        try {
            while (Hold.load()) {
                if (Context.Thread != nullptr)
                    Context.Thread->CheckTerminated();
                std::this_thread::sleep_for(1ms);
            }
        } catch (...) {
            ++Stopped;
            throw;
        }
        ++Finished;
        TSCustomConstruction3D::Draw(Context);
    }
};

// A parameter set: remembers its object and counts the records it applies.
class TTestDepository final : public TSObject {
    S_CLASS(TTestDepository)
public:
    TObject* Edited = nullptr;
    std::atomic<int> Applied{0};
    std::int32_t Value = 0;

    std::int32_t SetParameter(std::int32_t Id, void* Data) override
    {
        if (Id == dpSetObject) {
            Edited = *static_cast<TObject**>(Data);
            return 0;
        }
        if (Id == dpApplyRecord) {
            ++Applied;
            return 0;
        }
        return -1;
    }
    std::int32_t Save(TSObjectsStream* Stream) override
    {
        Stream->Write(&Value, 4);
        return 4;
    }
    std::int32_t Load(TSObjectsStream* Stream) override
    {
        Stream->Read(&Value, 4);
        return 4;
    }
};

// A custom object that keeps a file name and relocates it while linking.
class TTestFileItem final : public TSCustomChangeObject {
    S_CLASS(TTestFileItem)
public:
    std::string File;
    bool Found = false;

    std::int32_t Save(TSObjectsStream* Stream) override
    {
        return TSCustomChangeObject::Save(Stream) + WriteStreamString(Stream, File);
    }
    std::int32_t Load(TSObjectsStream* Stream) override
    {
        return TSCustomChangeObject::Load(Stream) + ReadStreamString(Stream, File);
    }
    std::int32_t Link(TSObjectsStream* Stream) override
    {
        if (auto* project = dynamic_cast<THalcyte3DProject*>(Stream->GetProject()))
            Found = project->RelocateFile(File, 0);
        return 0;
    }
};

constinit const TSClassInfo TRecordingDrawSystem::ClassInfo{"TRecordingDrawSystem", &TSCustomDrawSystem3D::ClassInfo,
                                                            &TSNewObject<TRecordingDrawSystem>};
constinit const TSClassInfo THeldConstruction::ClassInfo{"THeldConstruction", &TSCustomConstruction3D::ClassInfo,
                                                         &TSNewObject<THeldConstruction>};
constinit const TSClassInfo TTestDepository::ClassInfo{"TTestDepository", &TSObject::ClassInfo,
                                                       &TSNewObject<TTestDepository>};
constinit const TSClassInfo TTestFileItem::ClassInfo{"TTestFileItem", &TSCustomChangeObject::ClassInfo,
                                                     &TSNewObject<TTestFileItem>};

namespace {

class Project3D : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        THeldConstruction::Reset();
        for (TSClass cls : {&TRecordingDrawSystem::ClassInfo, &THeldConstruction::ClassInfo,
                            &TTestDepository::ClassInfo, &TTestFileItem::ClassInfo})
            RegisterRTDClass(cls);
        for (TSClass cls : {&THeldConstruction::ClassInfo, &TTestFileItem::ClassInfo,
                            &TSCustomProjectionSystem3D::ClassInfo, &TRecordingDrawSystem::ClassInfo})
            RegisterDepositoryClass(&TTestDepository::ClassInfo, cls);
        Project.reset(TSObject::Create<THalcyte3DProject>());
        Project->SetName("P");
    }
    void TearDown() override
    {
        THeldConstruction::Hold = false;
        Project.reset();
        Viewer3DTest::TearDown();
    }

    template <class T>
    T* Make(TObject* Parent = nullptr)
    {
        TSCreateObjectRecord request{Parent, &T::ClassInfo, nullptr};
        EXPECT_EQ(Current()->Process(pcCreateObject, reinterpret_cast<TSParam>(&request)), 0);
        return dynamic_cast<T*>(request.Created);
    }
    THalcyte3DProject* Current() const { return Project.get(); }
    // Waits until no render runs or is due.
    bool Settle(THalcyte3DProject* P = nullptr)
    {
        P = P ? P : Current();
        return testsupport::PumpUntil([P] { return !P->Thread()->HasWorker() && !P->IsDirty(); }, 20s);
    }
    TTestDepository* DepositoryOf(TObject* Object) const
    {
        return dynamic_cast<TTestDepository*>(Project->FindDepository(Object));
    }

    std::unique_ptr<THalcyte3DProject> Project;
};

// ---------------------------------------------------------------------------
// The document

std::vector<std::string> Names(const TSBranch* Branch)
{
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < Branch->Count(); ++i)
        names.push_back(static_cast<TSDataBranch*>(Branch->GetChild(i))->Name());
    return names;
}

TEST_F(Project3D, ANewProjectHasFourEmptyListsAndAnswersTheAdministrator)
{
    EXPECT_EQ(Project->Description(), "Standart Halcyte 3D project");
    EXPECT_EQ(Project->CustomObjects()->Name(), "Custom Objects");
    EXPECT_EQ(Project->Objects()->Name(), "Objects");
    EXPECT_EQ(Project->Lights()->Name(), "Lights");
    EXPECT_EQ(Project->Cameras()->Name(), "Cameras");
    EXPECT_EQ(Project->ViewerCount(), 0);
    EXPECT_EQ(Project->RenderMode(), 0);
    EXPECT_EQ(Project->StopAtOnce(), 2);
    EXPECT_EQ(Project->PauseWait(false), 100);
    EXPECT_EQ(Project->PauseWait(true), 200);

    std::unique_ptr<TSCustomChangeObject> stranger(TSObject::Create<TSCustomChangeObject>());
    for (TSCustomChangeObject* list :
         {static_cast<TSCustomChangeObject*>(Project->CustomObjects()),
          static_cast<TSCustomChangeObject*>(Project->Objects()), static_cast<TSCustomChangeObject*>(Project->Lights()),
          static_cast<TSCustomChangeObject*>(Project->Cameras())})
        EXPECT_EQ(Project->Process(pcCanDelete, reinterpret_cast<TSParam>(list)), 0) << list->Name();
    EXPECT_EQ(Project->Process(pcCanDelete, reinterpret_cast<TSParam>(stranger.get())), -1);
    EXPECT_EQ(Project->Process(pcCanDelete, 0), -1);
    EXPECT_EQ(Project->Process(pcOpenEditor, 0), -1);
    EXPECT_EQ(Project->Process(pcOpenEditor, reinterpret_cast<TSParam>(Project.get())), -1);

    // Only change objects are made.
    TSCreateObjectRecord branch{nullptr, &TSBranch::ClassInfo, nullptr};
    EXPECT_EQ(Project->Process(pcCreateObject, reinterpret_cast<TSParam>(&branch)), -1);
    EXPECT_EQ(branch.Created, nullptr);

    auto* viewer = Make<TRecordingDrawSystem>(Project.get());
    ASSERT_NE(viewer, nullptr);
    viewer->SetName("V");
    EXPECT_EQ(Project->ViewerIndex(viewer), 0);
    EXPECT_EQ(Project->GetCamera(viewer), nullptr);
    TSObject* depository = viewer;
    EXPECT_EQ(Project->Process(pcFindDepository, reinterpret_cast<TSParam>(&depository)), 0);
    EXPECT_EQ(depository, Project->FindDepository(viewer));
    EXPECT_NE(depository, nullptr);

    // The tree, through the class's interface routine.
    std::unique_ptr<TSDataBranch> tree(TSDataBranch::Create(""));
    TSCommandRecord record;
    record.Project = Project.get();
    record.Object = Project.get();
    record.Command = icDescribe;
    record.Param = reinterpret_cast<TSParam>(tree.get());
    DispatchInterfaceCommand(Project->ClassType(), record);
    EXPECT_EQ(tree->Name(), "P");
    EXPECT_EQ(tree->Data().As<TObject>(), Project.get());
    ASSERT_EQ(Names(tree.get()), (std::vector<std::string>{"Viewers", "Scene", "Custom Objects"}));
    const auto* viewers = static_cast<TSDataBranch*>(tree->GetChild(0));
    ASSERT_EQ(Names(viewers), std::vector<std::string>{"V"});
    EXPECT_EQ(static_cast<TSDataBranch*>(viewers->GetChild(0))->Data().As<TObject>(), viewer);
    EXPECT_EQ(Names(tree->GetChild(1)), (std::vector<std::string>{"Objects", "Lights", "Cameras"}));
    std::string caption;
    GetInterfaceCaption(&THalcyte3DProject::ClassInfo, caption);
    EXPECT_EQ(caption, "Halcyte 3D Project");
}

TEST_F(Project3D, ObjectsAreFiledInTheirListWhateverTheParent)
{
    auto* subLights = TSObject::Create<TSCustomLightSystem3DList>();
    Project->Lights()->Add(subLights);
    auto* subObjects = TSObject::Create<TSCustomConstruction3DList>();
    Project->Objects()->Add(subObjects);

    struct Row {
        const char* What;
        TSClass Class;
        TObject* Parent;
        TSCustomChangeObject* List;
    };
    const Row rows[] = {
        {"light under Objects", &TSCustomLightSystem3D::ClassInfo, Project->Objects(), Project->Lights()},
        {"light under Lights", &TSCustomLightSystem3D::ClassInfo, Project->Lights(), Project->Lights()},
        {"light under a lights sub-list", &TSCustomLightSystem3D::ClassInfo, subLights, subLights},
        {"light under the project", &TSCustomLightSystem3D::ClassInfo, Project.get(), Project->Lights()},
        {"camera under Objects", &TSCustomProjectionSystem3D::ClassInfo, Project->Objects(), Project->Cameras()},
        {"construction under a sub-list", &THeldConstruction::ClassInfo, subObjects, subObjects},
        {"construction under Lights", &THeldConstruction::ClassInfo, Project->Lights(), Project->Objects()},
        {"custom object under Objects", &TTestFileItem::ClassInfo, Project->Objects(), Project->CustomObjects()},
    };
    for (const Row& row : rows) {
        TSCreateObjectRecord request{row.Parent, row.Class, nullptr};
        ASSERT_EQ(Project->Process(pcCreateObject, reinterpret_cast<TSParam>(&request)), 0) << row.What;
        ASSERT_NE(request.Created, nullptr) << row.What;
        TSHolderQuery query{request.Created, nullptr};
        EXPECT_EQ(Project->Process(ocFindHolder, reinterpret_cast<TSParam>(&query)), 1) << row.What;
        EXPECT_EQ(query.Holder, row.List) << row.What;
    }
    // Filing an object twice changes nothing.
    auto* light = static_cast<TSCustomChangeObject*>(Project->Lights()->GetItem(2));
    const std::int32_t lights = Project->Lights()->Count();
    Project->AddObject(nullptr, light);
    EXPECT_EQ(Project->Lights()->Count(), lights);
    EXPECT_FALSE(Project->IsPaused());
}

TEST_F(Project3D, SetCameraTakesOnlyMembersOfCameras)
{
    auto* viewer = Make<TRecordingDrawSystem>();
    auto* camera = Make<TSCustomProjectionSystem3D>();
    Project->SetCamera(viewer, camera);
    EXPECT_EQ(Project->GetCamera(viewer), camera);
    std::unique_ptr<TSCustomProjectionSystem3D> outsider(TSObject::Create<TSCustomProjectionSystem3D>());
    Project->SetCamera(viewer, outsider.get());
    EXPECT_EQ(Project->GetCamera(viewer), nullptr);
    Project->SetCamera(viewer, camera);
    Project->SetCamera(viewer, Project->Objects());  // not a camera at all
    EXPECT_EQ(Project->GetCamera(viewer), nullptr);
    EXPECT_TRUE(Settle());
}

TEST_F(Project3D, ACameraDestroyedUnderTwoViewersClearsAndRedrawsBoth)
{
    auto* first = Make<TRecordingDrawSystem>();
    auto* second = Make<TRecordingDrawSystem>();
    auto* camera = Make<TSCustomProjectionSystem3D>();
    Project->SetCamera(first, camera);
    Project->SetCamera(second, camera);
    ASSERT_TRUE(Settle());
    const int before[2] = {first->Pictures.load(), second->Pictures.load()};
    delete camera;
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Project->GetCamera(first), nullptr);
    EXPECT_EQ(Project->GetCamera(second), nullptr);
    EXPECT_GT(first->Pictures.load(), before[0]);
    EXPECT_GT(second->Pictures.load(), before[1]);
    EXPECT_EQ(Project->FindDepository(camera), nullptr);
}

TEST_F(Project3D, AMovedCameraRedrawsEveryViewerShowingIt)
{
    auto* first = Make<TRecordingDrawSystem>();
    auto* second = Make<TRecordingDrawSystem>();
    auto* other = Make<TRecordingDrawSystem>();
    auto* camera = Make<TSCustomProjectionSystem3D>();
    auto* elsewhere = Make<TSCustomProjectionSystem3D>();
    Project->SetCamera(first, camera);
    Project->SetCamera(second, camera);
    Project->SetCamera(other, elsewhere);
    ASSERT_TRUE(Settle());
    const int before[3] = {first->Pictures.load(), second->Pictures.load(), other->Pictures.load()};
    camera->Frame()->Transform(TSMatrix3D{{1, 0, 0, 0, 1, 0, 0, 0, 1}}, TSVector3D{0, 0, 5});
    ASSERT_TRUE(Settle());
    EXPECT_EQ(first->Pictures.load(), before[0] + 1);
    EXPECT_EQ(second->Pictures.load(), before[1] + 1);
    EXPECT_EQ(other->Pictures.load(), before[2]);
}

TEST_F(Project3D, ADepositoryRemovedFromTheMiddleKeepsTheOthers)
{
    TObject* objects[3] = {Make<THeldConstruction>(), Make<THeldConstruction>(), Make<THeldConstruction>()};
    TSObject* depositories[3] = {};
    for (int i = 0; i < 3; ++i) {
        depositories[i] = Project->FindDepository(objects[i]);
        ASSERT_NE(depositories[i], nullptr);
        EXPECT_EQ(DepositoryOf(objects[i])->Edited, objects[i]);
    }
    // A light's class has no depository class.
    EXPECT_EQ(Project->FindDepository(Make<TSCustomLightSystem3D>()), nullptr);
    ASSERT_EQ(Project->DepositoryCount(), 3);
    delete objects[1];
    ASSERT_EQ(Project->DepositoryCount(), 2);
    EXPECT_EQ(Project->GetDepositoryPair(0).Depository, depositories[0]);
    EXPECT_EQ(Project->GetDepositoryPair(0).Object, objects[0]);
    EXPECT_EQ(Project->GetDepositoryPair(1).Depository, depositories[2]);
    EXPECT_EQ(Project->GetDepositoryPair(1).Object, objects[2]);
    EXPECT_EQ(Project->FindDepository(objects[2]), depositories[2]);
    // A custom object's depository goes with it too.
    auto* item = Make<TTestFileItem>();
    ASSERT_NE(Project->FindDepository(item), nullptr);
    delete item;
    EXPECT_EQ(Project->DepositoryCount(), 2);
}

// ---------------------------------------------------------------------------
// Rendering

class Rendering : public Project3D {
protected:
    void SetUp() override
    {
        Project3D::SetUp();
        Viewer = Make<TRecordingDrawSystem>();
        Camera = Make<TSCustomProjectionSystem3D>();
        Held = Make<THeldConstruction>();
        Project->SetCamera(Viewer, Camera);
        ASSERT_TRUE(Settle());
        THeldConstruction::Reset();
    }
    // Starts a render that waits inside the construction's Draw.
    void StartHeldRender()
    {
        THeldConstruction::Hold = true;
        Project->Invalidate(nullptr);
        ASSERT_TRUE(testsupport::PumpUntil([] { return THeldConstruction::Entered.load() > 0; }, 20s));
    }
    // Runs Act on another thread; false when it has not returned in time
    // (a deadlock).
    static bool Returns(std::function<void()> Act)
    {
        auto done = std::async(std::launch::async, std::move(Act));
        return done.wait_for(20s) == std::future_status::ready;
    }

    TRecordingDrawSystem* Viewer = nullptr;
    TSCustomProjectionSystem3D* Camera = nullptr;
    THeldConstruction* Held = nullptr;
};

TEST_F(Rendering, OneRenderPerOuterChangeAndAfterTheLastResume)
{
    EXPECT_GT(Viewer->Points.load(), 0);  // the construction's point
    int pictures = Viewer->Pictures.load();
    Project->BeginChange();
    for (int i = 0; i < 3; ++i) {
        Held->SetVisible(i % 2 == 0);
        Project->Invalidate(Held);
    }
    Project->EndChange();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Viewer->Pictures.load(), pictures + 1);

    pictures = Viewer->Pictures.load();
    Project->PauseRendering();
    Project->PauseRendering();
    for (int i = 0; i < 3; ++i)
        Project->Invalidate(nullptr);
    Project->ResumeRendering();
    EXPECT_TRUE(Project->IsPaused());
    EXPECT_FALSE(Project->Thread()->HasWorker());
    Project->ResumeRendering();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Viewer->Pictures.load(), pictures + 1);
    EXPECT_FALSE(Project->IsPaused());
}

TEST_F(Rendering, PauseInModeZeroStopsTheRenderAtOnce)
{
    StartHeldRender();
    ASSERT_TRUE(Returns([this] { Project->PauseRendering(); }));
    EXPECT_EQ(THeldConstruction::Stopped.load(), 1);
    EXPECT_EQ(THeldConstruction::Finished.load(), 0);
    EXPECT_FALSE(Project->Thread()->HasWorker());
    EXPECT_TRUE(Project->IsDirty());  // what was stopped is drawn again
    THeldConstruction::Hold = false;
    Project->ResumeRendering();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(THeldConstruction::Finished.load(), 1);
}

TEST_F(Rendering, PauseInModeOneLetsTheRenderEndWithinItsWait)
{
    Project->SetMode(1);
    Project->SetPauseWait(true, 20000);
    StartHeldRender();
    std::thread release([] {
        std::this_thread::sleep_for(50ms);
        THeldConstruction::Hold = false;
    });
    ASSERT_TRUE(Returns([this] { Project->PauseRendering(); }));
    release.join();
    EXPECT_EQ(THeldConstruction::Stopped.load(), 0);
    EXPECT_EQ(THeldConstruction::Finished.load(), 1);
    Project->ResumeRendering();
    ASSERT_TRUE(Settle());
}

TEST_F(Rendering, APauseWhileTheRenderWaitsForALockThePauserHoldsEndsPromptly)
{
    ASSERT_NE(DepositoryOf(Held), nullptr);
    // A change announces itself under the object's lock, which the render
    // needs: to apply the construction's depository, to name the drawing
    // system in its message.
    const std::pair<const char*, TSCustomChangeObject*> cases[] = {{"construction", Held}, {"drawing system", Viewer}};
    for (auto [name, object] : cases) {
        SCOPED_TRACE(name);
        const int applied = DepositoryOf(Held)->Applied.load();
        const int pictures = Viewer->Pictures.load();
        ASSERT_TRUE(Returns([this, object] {
            object->Lock();
            Project->Invalidate(nullptr);
            for (int i = 0; i < 20000 && Project->Thread()->Message().rfind("Make Image", 0) != 0; ++i)
                std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(20ms);
            object->BeginChange(true);
            object->EndChange(true);
            object->Unlock();
        }));
        ASSERT_TRUE(Settle());
        EXPECT_GT(DepositoryOf(Held)->Applied.load(), applied);
        EXPECT_GT(Viewer->Pictures.load(), pictures);
        EXPECT_FALSE(Project->IsPaused());
    }
}

TEST_F(Rendering, TheProjectDestroyedMidRenderStopsItFirst)
{
    StartHeldRender();
    ASSERT_TRUE(Returns([this] { Project.reset(); }));
    EXPECT_EQ(THeldConstruction::Stopped.load(), 1);
}

// ---------------------------------------------------------------------------
// The project file

// Offsets of the objects-header and objects blocks of a project file.
struct FileBlocks {
    std::vector<unsigned char> Bytes;
    std::size_t H = 0, HSize = 0, O = 0, OSize = 0;
};

FileBlocks ReadBlocks(const std::string& Path)
{
    FileBlocks file;
    std::ifstream in(Path, std::ios::binary);
    file.Bytes.assign(std::istreambuf_iterator<char>(in), {});
    std::size_t at = 16;
    auto int32 = [&](std::size_t Where) {
        std::int32_t v = 0;
        std::memcpy(&v, file.Bytes.data() + Where, 4);
        return static_cast<std::size_t>(v);
    };
    for (int i = 0; i < 5; ++i)  // class path, name, D, M, T
        at += 4 + int32(at);
    file.HSize = int32(at);
    file.H = at + 4;
    at = file.H + file.HSize;
    file.OSize = int32(at);
    file.O = at + 4;
    return file;
}

void WriteBytes(const std::string& Path, const std::vector<unsigned char>& Bytes)
{
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

class ProjectFile : public Project3D {
protected:
    void SetUp() override
    {
        Config = std::make_unique<ScopedEnvFolder>("XDG_CONFIG_HOME");
        Project3D::SetUp();
    }
    void TearDown() override
    {
        Project3D::TearDown();
        Config.reset();
    }
    void SetWorkDir(const std::string& Folder)
    {
        plat::SettingsKey key;
        ASSERT_TRUE(key.Create(plat::SettingsRoot::CurrentUser, kWorkDirKey));
        ASSERT_TRUE(key.SetString(kWorkDirValue, Folder));
    }
    static void Touch(const std::string& Path)
    {
        std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
        std::ofstream(Path) << "x";
    }
    std::unique_ptr<THalcyte3DProject> LoadFrom(const std::string& Path)
    {
        std::unique_ptr<THalcyte3DProject> loaded(dynamic_cast<THalcyte3DProject*>(CreateProjectFromFile(Path)));
        EXPECT_NE(loaded, nullptr);
        if (loaded)
            loaded->LoadFromFileName(Path);
        return loaded;
    }
    // Two viewers with cameras and a member in every list.
    void FillProject()
    {
        auto* first = Make<TRecordingDrawSystem>();
        first->SetName("first viewer");
        auto* second = Make<TRecordingDrawSystem>();
        second->SetName("second viewer");
        auto* cameraA = Make<TSCustomProjectionSystem3D>();
        cameraA->SetName("camera A");
        auto* cameraB = Make<TSCustomProjectionSystem3D>();
        cameraB->SetName("camera B");
        Make<THeldConstruction>()->SetName("held");
        Make<TSCustomLightSystem3D>()->SetName("lamp");
        Make<TTestFileItem>()->SetName("item");
        Current()->SetCamera(first, cameraA);
        Current()->SetCamera(second, cameraB);
        ASSERT_TRUE(Settle());
    }

    std::unique_ptr<ScopedEnvFolder> Config;
    testsupport::TempDir Dir;
};

TEST_F(ProjectFile, SaveAndLoadThroughTheAdministrator)
{
    FillProject();
    Project->SetPauseWait(false, 150);
    const std::string saved = Dir.File("first.hcp");
    Project->SaveToFileName(saved);
    TSAdministrator form;
    form.show();
    // Opened and saved again by the administrator, then opened from there.
    AnswerFileDialog(saved);
    form.LoadBtnClick();
    EXPECT_TRUE(Boxes().empty());
    ASSERT_NE(dynamic_cast<THalcyte3DProject*>(form.Project()), nullptr);
    const std::string path = Dir.File("scene.hcp");
    AnswerFileDialog(path);
    form.SaveBtnClick();
    EXPECT_TRUE(Boxes().empty());
    ASSERT_TRUE(std::filesystem::exists(path));
    for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
        EXPECT_TRUE(entry.path().filename() == "scene.hcp" || entry.path().filename() == "first.hcp")
            << entry.path();  // no temporary left behind

    AnswerFileDialog(path);
    form.LoadBtnClick();
    EXPECT_TRUE(Boxes().empty());
    auto* loaded = dynamic_cast<THalcyte3DProject*>(form.Project());
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->ViewerCount(), 2);
    EXPECT_EQ(loaded->PauseWait(false), 150);
    auto* first = dynamic_cast<TRecordingDrawSystem*>(loaded->GetViewer(0));
    auto* second = dynamic_cast<TRecordingDrawSystem*>(loaded->GetViewer(1));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Name(), "first viewer");
    ASSERT_NE(loaded->GetCamera(first), nullptr);
    EXPECT_EQ(loaded->GetCamera(first)->Name(), "camera A");
    ASSERT_NE(loaded->GetCamera(second), nullptr);
    EXPECT_EQ(loaded->GetCamera(second)->Name(), "camera B");
    EXPECT_EQ(loaded->Cameras()->Count(), 2);
    EXPECT_EQ(loaded->Objects()->Count(), 1);
    EXPECT_EQ(loaded->Lights()->Count(), 1);
    EXPECT_EQ(loaded->CustomObjects()->Count(), 1);
    // Every viewer was drawn when the load ended; the depositories found their objects.
    EXPECT_GE(first->Pictures.load(), 1);
    EXPECT_GE(second->Pictures.load(), 1);
    ASSERT_EQ(loaded->DepositoryCount(), 6);
    for (std::int32_t i = 0; i < loaded->DepositoryCount(); ++i) {
        const TSDepositoryPair pair = loaded->GetDepositoryPair(i);
        ASSERT_NE(pair.Object, nullptr) << i;
        EXPECT_EQ(loaded->FindDepository(pair.Object), pair.Depository);
    }
    EXPECT_TRUE(Settle(loaded));
    // The loaded project still hears its members.
    const int pictures = first->Pictures.load();
    loaded->GetCamera(first)->Invalidate(reinterpret_cast<TSParam>(loaded->GetCamera(first)));
    EXPECT_TRUE(Settle(loaded));
    EXPECT_EQ(first->Pictures.load(), pictures + 1);
}

TEST_F(ProjectFile, AnIndependentParserReadsTheBlocks)
{
    FillProject();
    const std::string path = Dir.File("world.hcp");
    Project->SaveToFileName(path);
    const std::string command = "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer3d/project_check.py '" + path + "'";
    const testsupport::CommandResult run = testsupport::RunCommand(command);
    const std::string& output = run.output;
    ASSERT_EQ(run.status, 0) << output;
    // Two folders: the saving one with its '/', the work folder empty without a key.
    EXPECT_EQ(output, "mode 0 stop 2 waits 100 200\n"
                      "folders ['" +
                          Dir.Path() +
                          "/', '']\n"
                          "viewers 2 cameras-linked True\n"
                          "lists 1 1 1 2\n"
                          "depositories 6 objects-linked True\n");
}

TEST_F(ProjectFile, AnEmptyProjectWritesNoViewersAndNoDepositories)
{
    const std::string path = Dir.File("empty.hcp");
    Project->SaveToFileName(path);
    const FileBlocks file = ReadBlocks(path);
    std::int32_t v = -1, p = -1;
    std::memcpy(&v, file.Bytes.data() + file.O, 4);
    std::memcpy(&p, file.Bytes.data() + file.O + file.OSize - 4, 4);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(p, 0);
    auto loaded = LoadFrom(path);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->ViewerCount(), 0);
    EXPECT_EQ(loaded->DepositoryCount(), 0);
}

TEST_F(ProjectFile, BadCountsAreRefusedWithInvalidValue)
{
    const std::string good = Dir.File("good.hcp");
    Project->SaveToFileName(good);
    const FileBlocks file = ReadBlocks(good);
    struct Row {
        const char* What;
        std::size_t Offset;
        std::int32_t Value;
    };
    const Row rows[] = {
        {"negative folder count", file.H + 16, -1},
        {"huge folder count", file.H + 16, 0x7FFFFFFF},
        {"folders beyond the block", file.H + 16, static_cast<std::int32_t>(file.HSize / 4)},
        {"negative viewer count", file.O, -1},
        {"huge viewer count", file.O, 0x7FFFFFFF},
        {"viewers beyond the block", file.O, static_cast<std::int32_t>(file.OSize / 16)},
        {"negative depository count", file.O + file.OSize - 4, -2},
        {"huge depository count", file.O + file.OSize - 4, 0x40000000},
    };
    for (const Row& row : rows) {
        std::vector<unsigned char> bytes = file.Bytes;
        std::memcpy(bytes.data() + row.Offset, &row.Value, 4);
        const std::string bad = Dir.File("bad.hcp");
        WriteBytes(bad, bytes);
        std::unique_ptr<TSProject> loaded(CreateProjectFromFile(bad));
        ASSERT_NE(loaded, nullptr) << row.What;
        try {
            loaded->LoadFromFileName(bad);
            ADD_FAILURE() << row.What << " loaded";
        } catch (const EStreamError& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("( Type - THalcyte3DProject )"), std::string::npos) << row.What << ": " << text;
            EXPECT_NE(text.find("Can't load : Invalid Value"), std::string::npos) << row.What << ": " << text;
        }
    }
}

TEST_F(ProjectFile, FilesThatMovedWithTheProjectOrTheWorkFolderAreFound)
{
    const std::string a = Dir.File("A"), b = Dir.File("B"), work1 = Dir.File("W1"), work2 = Dir.File("W2");
    Touch(a + "/data/x.rdp");
    Touch(work1 + "/y.rdp");
    SetWorkDir(work1);  // without its '/'
    auto* moved = Make<TTestFileItem>();
    moved->File = a + "/data/x.rdp";
    auto* worked = Make<TTestFileItem>();
    worked->File = work1 + "/y.rdp";
    auto* lost = Make<TTestFileItem>();
    lost->File = a + "/nowhere.rdp";
    Project->SaveToFileName(a + "/p.hcp");

    std::filesystem::create_directories(b);
    std::filesystem::copy_file(a + "/p.hcp", b + "/P.hcp");
    std::filesystem::remove_all(a);
    std::filesystem::remove_all(work1);
    Touch(b + "/data/x.rdp");
    Touch(work2 + "/y.rdp");
    SetWorkDir(work2 + "/");

    auto loaded = LoadFrom(b + "/P.hcp");
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->CustomObjects()->Count(), 3);
    auto* first = dynamic_cast<TTestFileItem*>(loaded->CustomObjects()->GetItem(0));
    auto* second = dynamic_cast<TTestFileItem*>(loaded->CustomObjects()->GetItem(1));
    auto* third = dynamic_cast<TTestFileItem*>(loaded->CustomObjects()->GetItem(2));
    ASSERT_TRUE(first && second && third);
    EXPECT_TRUE(first->Found);
    EXPECT_EQ(first->File, b + "/data/x.rdp");
    EXPECT_TRUE(second->Found);
    EXPECT_EQ(second->File, work2 + "/y.rdp");
    EXPECT_FALSE(third->Found);
    EXPECT_EQ(third->File, a + "/nowhere.rdp");
    // The folders live only during the load.
    EXPECT_TRUE(loaded->CurrentFolders().empty());
    EXPECT_TRUE(loaded->StoredFolders().empty());
}

TEST(RelocatePathTable, PrefixesCompareWithoutCaseAndMustLeaveARest)
{
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir.File("new/sub"));
    std::ofstream(dir.File("new/sub/f.rdp")) << "x";
    const std::string fresh = dir.File("new/");
    struct Row {
        std::string Old;
        std::string Name;
        bool Found;
    };
    const Row rows[] = {
        {"/Old/", "/old/sub/f.rdp", true},           {"/old/", "/old/sub/f.rdp", true},
        {"/other/", "/old/sub/f.rdp", false},        {"", "/old/sub/f.rdp", false},
        {"/old/sub/f.rdp", "/old/sub/f.rdp", false}, {"/old/sub/f.rdp/more", "/old/sub/f.rdp", false},
        {"/old/", "/old/sub/missing.rdp", false},
    };
    for (const Row& row : rows) {
        std::string name = row.Name;
        EXPECT_EQ(RelocatePath(fresh, row.Old, name), row.Found) << row.Old << " " << row.Name;
        EXPECT_EQ(name, row.Found ? dir.File("new/sub/f.rdp") : row.Name) << row.Old;
    }
}

// ---------------------------------------------------------------------------
// Windows

TEST_F(ProjectFile, RegisteredWindowsAreShownInOrderWhenALoadEnds)
{
    const std::string path = Dir.File("windows.hcp");
    Project->SaveToFileName(path);
    std::unique_ptr<THalcyte3DProject> loaded(dynamic_cast<THalcyte3DProject*>(CreateProjectFromFile(path)));
    ASSERT_NE(loaded, nullptr);
    QWidget three, fiveA, fiveB, low;
    for (QWidget* window : {&three, &fiveA, &fiveB, &low})
        window->setAttribute(Qt::WA_QuitOnClose, false);
    loaded->RegisterWindow(&three, 3);
    loaded->RegisterWindow(&fiveA, 5);
    loaded->RegisterWindow(&fiveB, 5);
    loaded->RegisterWindow(&low, -2);
    const std::vector<std::pair<QWidget*, std::int32_t>> expected = {{&fiveA, 5}, {&fiveB, 5}, {&three, 3}, {&low, -2}};
    EXPECT_EQ(loaded->WindowOrder(), expected);
    loaded->LoadFromFileName(path);
    EXPECT_TRUE(loaded->WindowOrder().empty());
    for (QWidget* window : {&three, &fiveA, &fiveB, &low})
        EXPECT_TRUE(window->isVisible());
    // Shown lowest first: the last one ends on top.
    EXPECT_EQ(WindowStackOrder(&low), 1);
    EXPECT_EQ(WindowStackOrder(&three), 2);
    EXPECT_EQ(WindowStackOrder(&fiveB), 3);
    EXPECT_EQ(WindowStackOrder(&fiveA), 4);
}

TEST_F(Project3D, StackOrderFollowsShowingAndRaisingWithStayOnTopNegative)
{
    QWidget plain, other, onTop;
    for (QWidget* window : {&plain, &other, &onTop})
        window->setAttribute(Qt::WA_QuitOnClose, false);
    onTop.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    EXPECT_EQ(WindowStackOrder(nullptr), 0);
    EXPECT_EQ(WindowStackOrder(&plain), 0);  // never shown
    plain.show();
    other.show();
    onTop.show();
    EXPECT_EQ(WindowStackOrder(&onTop), -3);
    EXPECT_EQ(WindowStackOrder(&other), 2);
    EXPECT_EQ(WindowStackOrder(&plain), 3);
    plain.raise();
    EXPECT_EQ(WindowStackOrder(&plain), 2);  // still below the stay-on-top window
    EXPECT_EQ(WindowStackOrder(&other), 3);
    EXPECT_EQ(FindFormByHandle(plain.winId()), &plain);
    EXPECT_EQ(FindFormByHandle(0), nullptr);
}

TEST(WindowPlacementTable, CentresClampsAndKeepsSizes)
{
    const QSize screen(1000, 800);
    struct Row {
        int Left, Top, Width, Height;
        QSize Current;
        QRect Expected;
    };
    const Row rows[] = {
        {10, 20, 300, 200, {50, 50}, {10, 20, 300, 200}},
        {-1, -1, 300, 200, {50, 50}, {350, 300, 300, 200}},    // centred
        {900, 700, 300, 200, {50, 50}, {700, 600, 300, 200}},  // pulled back
        {50, 50, 1200, 900, {50, 50}, {0, 0, 1200, 900}},      // larger than the screen
        {5, 6, 0, -1, {120, 80}, {5, 6, 120, 80}},             // the current size
        {-5, 790, 1000, 10, {1, 1}, {0, 790, 1000, 10}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(WindowPlacement(row.Left, row.Top, row.Width, row.Height, row.Current, screen), row.Expected)
            << row.Left << "," << row.Top << " " << row.Width << "x" << row.Height;
}

TEST_F(Project3D, PlaceWindowMovesResizesAndSetsTheStayOnTopHint)
{
    QWidget form;
    form.setAttribute(Qt::WA_QuitOnClose, false);
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    PlaceWindow(&form, -1, 10, 200, 100, true, true);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.size(), QSize(200, 100));
    EXPECT_EQ(form.pos(), QPoint((screen.width() - 200) / 2, 10));
    PlaceWindow(&form, 0, 0, 0, 0, false, false);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.size(), QSize(200, 100));
}

// ---------------------------------------------------------------------------
// Numbers

TEST(NumberTexts, FormatRealTrimsBlanksAndZeros)
{
    struct Row {
        double Value;
        int Width, Decimals;
        const char* Text;
    };
    const Row rows[] = {
        {2.0, 12, 6, "2"},       {1.5, 12, 6, "1.5"},      {100, 12, 6, "100"},          {0, 12, 6, "0"},
        {-0.25, 12, 6, "-0.25"}, {-0.0000001, 12, 6, "0"}, {1234.5678, 0, 2, "1234.57"}, {100, 5, 0, "100"},
        {0.1, 3, 1, "0.1"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FormatReal(row.Value, row.Width, row.Decimals), row.Text) << row.Value;
}

TEST(NumberTexts, TryParseTakesOnlyNumbersWithAPoint)
{
    struct IntRow {
        const char* Text;
        bool Ok;
        std::int32_t Value;
    };
    const IntRow ints[] = {
        {"42", true, 42},  {" -7 ", true, -7}, {"+3", true, 3},          {"", false, 9},
        {"4.0", false, 9}, {"12a", false, 9},  {"2147483648", false, 9}, {"-2147483648", true, -2147483647 - 1},
        {"+-1", false, 9},
    };
    for (const IntRow& row : ints) {
        std::int32_t value = 9;
        EXPECT_EQ(TryParseInteger(row.Text, value), row.Ok) << row.Text;
        EXPECT_EQ(value, row.Value) << row.Text;
    }
    struct RealRow {
        const char* Text;
        bool Ok;
        double Value;
    };
    const RealRow reals[] = {
        {"1.5", true, 1.5}, {" -0.25", true, -0.25}, {"1e3", true, 1000}, {"+2", true, 2},     {"1,5", false, 9},
        {"", false, 9},     {"nan", false, 9},       {"inf", false, 9},   {"1e999", false, 9}, {"1.5.2", false, 9},
    };
    for (const RealRow& row : reals) {
        double value = 9;
        EXPECT_EQ(TryParseReal(row.Text, value), row.Ok) << row.Text;
        EXPECT_EQ(value, row.Value) << row.Text;
    }
}

}  // namespace

// A viewer (a drawing system with its window) destroyed while the project renders:
// the one being drawn or one due next, deleted by itself or removed by the project.
// The render stops or passes it by and never touches it again (AddressSanitizer
// watches), and the project draws on with the viewer that is left.
TEST_F(Project3D, AViewerDestroyedWhileTheProjectRendersIsNeverTouchedAgain)
{
    struct Case {
        const char* Name;
        int Index;  // of the viewer that goes; the render waits inside viewer 0
        bool ThroughProject;
    };
    for (const Case& c : {Case{"the viewer being drawn, deleted", 0, false}, Case{"a viewer due next, deleted", 1, false},
                          Case{"the viewer being drawn, removed by the project", 0, true},
                          Case{"a viewer due next, removed by the project", 1, true}}) {
        SCOPED_TRACE(c.Name);
        Project.reset(TSObject::Create<THalcyte3DProject>());
        THeldConstruction::Reset();
        auto* first = Make<TSDrawingSystem3D>();
        auto* second = Make<TSDrawingSystem3D>();
        auto* camera = Make<TSCustomProjectionSystem3D>();
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        for (TSDrawingSystem3D* ds : {first, second}) {
            ds->SetSize(32, 32);
            Project->SetCamera(ds, camera);
        }
        Make<THeldConstruction>();
        ASSERT_TRUE(Settle());
        ASSERT_EQ(Project->ViewerCount(), 2);

        THeldConstruction::Hold = true;
        THeldConstruction::Entered = 0;
        Project->Invalidate(nullptr);
        ASSERT_TRUE(testsupport::PumpUntil([] { return THeldConstruction::Entered.load() > 0; }, 20s));
        TSDrawingSystem3D* going = c.Index == 0 ? first : second;
        TSDrawingSystem3D* staying = c.Index == 0 ? second : first;
        // Let the render go on shortly after the viewer went, so that it runs into
        // whatever the viewer left behind.
        std::thread release([] {
            std::this_thread::sleep_for(20ms);
            THeldConstruction::Hold = false;
        });
        if (c.ThroughProject)
            Project->RemoveViewer(Project->ViewerIndex(going));
        else
            delete going;
        release.join();
        ASSERT_TRUE(Settle());
        ASSERT_EQ(Project->ViewerCount(), 1);
        EXPECT_EQ(Project->GetViewer(0), staying);

        // Drawing goes on with the viewer that is left.
        const int finished = THeldConstruction::Finished.load();
        Project->Invalidate(nullptr);
        ASSERT_TRUE(Settle());
        EXPECT_GT(THeldConstruction::Finished.load(), finished);
    }
}
