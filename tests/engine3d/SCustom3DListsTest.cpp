// The scene lists: their operations as tables of (family, operation, starting
// entries -> events, result), member events and removal, bounds, drawing,
// lighting and occlusion through members, records, browsing and the unit's
// registrations, then damaged and crafted input.

#include "SceneTestSupport.h"

#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/model/SThreads.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

namespace {

// A construction with the box (0, 0, 0) to (2, 2, 2) that can derive a copy of
// itself and lowers occlusion factors by Blocks.
class TBoxConstruction final : public TSCustomConstruction3D {
    S_CLASS(TBoxConstruction)
public:
    bool Derives = false;
    int DerivedLeft = 1000;  // derivations before one fails
    double Blocks = 1;
    int Asked = 0;

    void GetLowerBound(TSVector3D& B) override { B = {0, 0, 0}; }
    void GetUpperBound(TSVector3D& B) override { B = {2, 2, 2}; }
    TSCustomConstruction3D* CreateDerived(TObject* Owner) override
    {
        if (!Derives)
            return nullptr;
        if (DerivedLeft-- <= 0)
            throw EInvalidOperation("no more");
        return TSObject::Create<TBoxConstruction>(Owner);
    }
    void TestOcclusion(TSOcclusionQuery& Query) override
    {
        ++Asked;
        *Query.Factor *= Blocks;
    }
    void TestOcclusion(TSOcclusionQuerySingle& Query) override
    {
        ++Asked;
        *Query.Factor *= static_cast<float>(Blocks);
    }
    void Draw(TSRenderContext& Context) override
    {
        if (Context.Thread != nullptr && Blocks < 0)
            Context.Thread->RequestTerminate();
        TSCustomConstruction3D::Draw(Context);
    }
};

// A light that notes the occluders each request shows it.
class TRecordingLight final : public TSCustomLightSystem3D {
    S_CLASS(TRecordingLight)
public:
    std::vector<TSCustomConstruction3D*> Seen;
    void LightVertex(TSLightingRequest& Request) override { Seen.push_back(Request.Occluders); }
    void LightVertex(TSLightingRequestSingle& Request) override { Seen.push_back(Request.Occluders); }
};

// A 3D list that counts the starts and ends of its members' changes.
class TCountingList final : public TSCustomObject3DList {
    S_CLASS(TCountingList)
public:
    int Begins = 0;
    int Ends = 0;
    void MembersChangeBegin(TSParam Param) override
    {
        ++Begins;
        TSCustomObject3DList::MembersChangeBegin(Param);
    }
    void MembersChangeEnd(TSParam Param) override
    {
        ++Ends;
        TSCustomObject3DList::MembersChangeEnd(Param);
    }
};

}  // namespace

constinit const TSClassInfo TBoxConstruction::ClassInfo{"TBoxConstruction", &TSCustomConstruction3D::ClassInfo,
                                                        &TSNewObject<TBoxConstruction>};
constinit const TSClassInfo TRecordingLight::ClassInfo{"TRecordingLight", &TSCustomLightSystem3D::ClassInfo,
                                                       &TSNewObject<TRecordingLight>};
constinit const TSClassInfo TCountingList::ClassInfo{"TCountingList", &TSCustomObject3DList::ClassInfo,
                                                     &TSNewObject<TCountingList>};

namespace {

enum Family {
    fChange,
    f3D,
    fConstruction,
    fProjection,
    fLight
};
const char* const kFamilyNames[] = {"change", "3D", "construction", "projection", "light"};

// One list of any family, reached through its family's operations.
struct AnyList {
    std::unique_ptr<TSCustomChangeObject> Object;
    std::function<std::int32_t(TSCustomChangeObject*)> Add;
    std::function<void(std::int32_t)> Delete;
    std::function<TSCustomChangeObject*(std::int32_t, TSCustomChangeObject*)> SetItem;
    std::function<void()> Clear;
    std::function<void(std::int32_t)> SetCount;
    std::function<void(std::int32_t, std::int32_t)> Move;
    std::function<void(std::int32_t, std::int32_t)> Exchange;
    std::function<std::int32_t()> Count;
    std::function<TSCustomChangeObject*(std::int32_t)> GetItem;
    std::function<std::int32_t()> MembersChanging;
};

template <class L>
AnyList Bind(std::unique_ptr<L> List)
{
    L* l = List.get();
    AnyList any;
    any.Object = std::move(List);
    any.Add = [l](TSCustomChangeObject* o) { return l->Add(o); };
    any.Delete = [l](std::int32_t i) { l->Delete(i); };
    any.SetItem = [l](std::int32_t i, TSCustomChangeObject* o) { return l->SetItem(i, o); };
    any.Clear = [l] { l->Clear(); };
    any.SetCount = [l](std::int32_t n) { l->SetCount(n); };
    any.Move = [l](std::int32_t a, std::int32_t b) { l->Move(a, b); };
    any.Exchange = [l](std::int32_t a, std::int32_t b) { l->Exchange(a, b); };
    any.Count = [l] { return l->Count(); };
    any.GetItem = [l](std::int32_t i) { return l->GetItem(i); };
    any.MembersChanging = [l] { return l->MembersChanging(); };
    return any;
}

AnyList MakeList(Family F)
{
    switch (F) {
    case fChange:
        return Bind(Make<TSCustomChangeObjectList>());
    case f3D:
        return Bind(Make<TSCustomObject3DList>());
    case fConstruction:
        return Bind(Make<TSCustomConstruction3DList>());
    case fProjection:
        return Bind(Make<TSCustomProjectionSystem3DList>());
    case fLight:
        return Bind(Make<TSCustomLightSystem3DList>());
    }
    return {};
}

TSCustomChangeObject* MakeMember(Family F, const std::string& Name)
{
    TSCustomChangeObject* member = nullptr;
    switch (F) {
    case fChange:
        member = TSObject::Create<TSCustomChangeObject>();
        break;
    case f3D:
        member = TSObject::Create<TSCustomObject3D>();
        break;
    case fConstruction:
        member = TSObject::Create<TSCustomConstruction3D>();
        break;
    case fProjection:
        member = TSObject::Create<TSCustomProjectionSystem3D>();
        break;
    case fLight:
        member = TSObject::Create<TSCustomLightSystem3D>();
        break;
    }
    member->SetName(Name);
    return member;
}

// The list's events as text: "4 10 5"; a forwarded member event as "11:<code>".
struct ListEvents {
    std::string Text;
    void On(TObject*, std::int32_t Code, TSParam Param)
    {
        if (!Text.empty())
            Text += ' ';
        Text += std::to_string(Code);
        if (Code == ecMemberEvent)
            Text += ":" + std::to_string(reinterpret_cast<const TSEventRecord*>(Param)->Code);
    }
    TSEventHandler Handler() { return TSEventHandler::Of<&ListEvents::On>(this); }
};

// A list of one family with members a, b, c (not all listed), owned by the
// test unless the list took them over.
struct Scene {
    Family F;
    AnyList List;
    std::map<char, TSCustomChangeObject*> Members;
    ListEvents Log;

    Scene(Family Which, const std::string& Start) : F(Which), List(MakeList(Which))
    {
        for (char name : std::string("abc"))
            Members[name] = MakeMember(Which, std::string(1, name));
        for (char name : Start)
            List.Add(name == '-' ? nullptr : Members.at(name));
        for (char name : Start)
            if (name == '-')
                List.SetCount(List.Count() + 1);
        List.Object->Events.Add(Log.Handler());
    }
    ~Scene()
    {
        List.Object->Events.Remove(Log.Handler());
        List.Object.reset();
        for (auto& [name, member] : Members)
            delete member;
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    TSCustomChangeObject* operator[](char Name) const { return Members.at(Name); }
    // The entries by member name, '-' for an empty one.
    std::string Entries() const
    {
        std::string text;
        for (std::int32_t i = 0; i < List.Count(); ++i) {
            TSCustomChangeObject* item = List.GetItem(i);
            text += item ? item->Name() : "-";
        }
        return text;
    }
    // The member is no longer the test's to free.
    void Forget(char Name) { Members.erase(Name); }
};

bool Draws(Family F)
{
    return F == fConstruction || F == fProjection || F == fLight;
}

class SceneLists : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        for (TSClass c : {&TBoxConstruction::ClassInfo, &TRecordingLight::ClassInfo, &TCountingList::ClassInfo})
            RegisterRTDClass(c);
    }
};

const Family kAllFamilies[] = {fChange, f3D, fConstruction, fProjection, fLight};

}  // namespace

// ---------------------------------------------------------------------------

TEST_F(SceneLists, OperationsTable)
{
    // Lists that draw redraw (4100) on membership changes while enabled.
    struct Case {
        const char* What;
        const char* Start;
        std::function<TSParam(Scene&)> Run;  // its result, compared with Result
        std::function<TSParam(Scene&)> Result;
        const char* Events;      // change-object and 3D lists
        const char* DrawEvents;  // construction, camera and light lists
        const char* Entries;
    };
    auto index = [](std::int32_t i) { return [i](Scene&) { return TSParam(i); }; };
    auto member = [](char m) { return [m](Scene& s) { return reinterpret_cast<TSParam>(s[m]); }; };
    auto none = [](Scene&) { return TSParam(0); };
    const Case cases[] = {
        {"add", "a", [](Scene& s) { return TSParam(s.List.Add(s['b'])); }, index(1), "4 10 5", "4 4100 10 5", "ab"},
        {"add again", "ab", [](Scene& s) { return TSParam(s.List.Add(s['a'])); }, index(0), "", "", "ab"},
        {"add nil", "a", [](Scene& s) { return TSParam(s.List.Add(nullptr)); }, index(-1), "", "", "a"},
        {"add itself", "a", [](Scene& s) { return TSParam(s.List.Add(s.List.Object.get())); }, index(-1), "", "", "a"},
        {"delete -1", "ab",
         [](Scene& s) {
             s.List.Delete(-1);
             return TSParam(0);
         },
         none, "", "", "ab"},
        {"delete count", "ab",
         [](Scene& s) {
             s.List.Delete(2);
             return TSParam(0);
         },
         none, "", "", "ab"},
        {"delete first", "ab",
         [](Scene& s) {
             s.List.Delete(0);
             return TSParam(0);
         },
         none, "4 10 10 5", "4 10 4100 10 5", "b"},
        {"delete last", "ab",
         [](Scene& s) {
             s.List.Delete(1);
             return TSParam(0);
         },
         none, "4 10 5", "4 4100 10 5", "a"},
        {"delete empty entry", "a-",
         [](Scene& s) {
             s.List.Delete(1);
             return TSParam(0);
         },
         none, "4 10 5", "4 10 5", "a"},
        {"set item moves", "abc", [](Scene& s) { return reinterpret_cast<TSParam>(s.List.SetItem(0, s['c'])); },
         member('c'), "10", "10", "cab"},
        {"set item replaces", "ab", [](Scene& s) { return reinterpret_cast<TSParam>(s.List.SetItem(1, s['c'])); },
         member('b'), "4 10 5", "4 4100 10 5", "ac"},
        {"set item nil", "ab", [](Scene& s) { return reinterpret_cast<TSParam>(s.List.SetItem(0, nullptr)); },
         member('a'), "4 10 5", "4 4100 10 5", "-b"},
        {"set item out of range", "a", [](Scene& s) { return reinterpret_cast<TSParam>(s.List.SetItem(1, s['c'])); },
         member('c'), "", "", "a"},
        {"set item itself", "a",
         [](Scene& s) { return reinterpret_cast<TSParam>(s.List.SetItem(0, s.List.Object.get())); },
         [](Scene& s) { return reinterpret_cast<TSParam>(s.List.Object.get()); }, "", "", "a"},
        {"move", "abc",
         [](Scene& s) {
             s.List.Move(2, 0);
             return TSParam(0);
         },
         none, "10", "10", "cab"},
        {"move out of range", "abc",
         [](Scene& s) {
             s.List.Move(0, 3);
             return TSParam(0);
         },
         none, "", "", "abc"},
        {"exchange", "abc",
         [](Scene& s) {
             s.List.Exchange(0, 2);
             return TSParam(0);
         },
         none, "10", "10", "cba"},
        {"exchange same", "abc",
         [](Scene& s) {
             s.List.Exchange(1, 1);
             return TSParam(0);
         },
         none, "", "", "abc"},
        {"set count grows", "a",
         [](Scene& s) {
             s.List.SetCount(3);
             return TSParam(0);
         },
         none, "4 5", "4 5", "a--"},
        {"set count shrinks", "abc",
         [](Scene& s) {
             s.List.SetCount(1);
             return TSParam(0);
         },
         none, "4 10 10 5", "4 4100 10 4100 10 5", "a"},
    };
    for (Family f : kAllFamilies)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kFamilyNames[f]) + ": " + c.What);
            Scene s(f, c.Start);
            s.Log.Text.clear();
            EXPECT_EQ(c.Run(s), c.Result(s));
            EXPECT_EQ(s.Log.Text, Draws(f) ? c.DrawEvents : c.Events);
            EXPECT_EQ(s.Entries(), c.Entries);
        }
}

TEST_F(SceneLists, ClearFreesMembersWithTheFamilysEventOrder)
{
    struct Case {
        Family F;
        const char* Start;
        const char* Events;
    };
    const Case cases[] = {
        {fChange, "ab", "4 5 10"},
        {fChange, "", "10"},
        {f3D, "ab", "4 10 5"},
        {f3D, "", ""},
        {fConstruction, "ab", "4 4100 10 5"},
        {fConstruction, "", ""},
        {fProjection, "a", "4 4100 10 5"},
        {fLight, "a-b", "4 4100 10 5"},
        {fLight, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(kFamilyNames[c.F]) + " '" + c.Start + "'");
        Scene s(c.F, c.Start);
        // The members Clear frees: watched through the register of lists' items.
        std::vector<TSCustomChangeObject*> listed;
        for (char name : std::string(c.Start))
            if (name != '-')
                listed.push_back(s[name]);
        struct Watch {
            int Gone = 0;
            void On(TObject*, std::int32_t Code, TSParam)
            {
                if (Code == ecDestroying)
                    ++Gone;
            }
        } watch;
        for (TSCustomChangeObject* m : listed)
            m->Events.Add(TSEventHandler::Of<&Watch::On>(&watch));
        for (TSCustomChangeObject* m : listed)
            s.Forget(m->Name()[0]);
        s.Log.Text.clear();
        s.List.Clear();
        EXPECT_EQ(s.Log.Text, c.Events);
        EXPECT_EQ(s.List.Count(), 0);
        EXPECT_EQ(watch.Gone, static_cast<int>(listed.size()));
    }
}

TEST_F(SceneLists, ClearEmptiesNestedListsOfTheFamilyFirst)
{
    auto outer = Make<TSCustomConstruction3DList>();
    auto* inner = TSObject::Create<TSCustomProjectionSystem3DList>();
    auto* camera = TSObject::Create<TSCustomProjectionSystem3D>();
    auto* light = TSObject::Create<TSCustomLightSystem3D>();
    inner->Add(camera);
    outer->Add(inner);
    outer->Add(light);
    int gone = 0;
    struct Watch {
        int* Gone;
        void On(TObject*, std::int32_t Code, TSParam)
        {
            if (Code == ecDestroying)
                ++*Gone;
        }
    } watch{&gone};
    for (TSCustomChangeObject* o : std::initializer_list<TSCustomChangeObject*>{inner, camera, light})
        o->Events.Add(TSEventHandler::Of<&Watch::On>(&watch));
    outer->Clear();
    EXPECT_EQ(gone, 3);
    EXPECT_EQ(outer->Count(), 0);
}

TEST_F(SceneLists, ProjectionListTakesCamerasOnly)
{
    auto list = Make<TSCustomProjectionSystem3DList>();
    auto camera = Make<TSCustomProjectionSystem3D>();
    auto construction = Make<TSCustomConstruction3D>();
    auto light = Make<TSCustomLightSystem3D>();
    ListEvents log;
    EXPECT_EQ(list->Add(construction.get()), -1);
    EXPECT_EQ(list->Add(light.get()), -1);
    EXPECT_EQ(list->Add(camera.get()), 0);
    list->Events.Add(log.Handler());
    EXPECT_EQ(list->SetItem(0, construction.get()), construction.get());
    EXPECT_EQ(list->GetItem(0), camera.get());
    EXPECT_EQ(log.Text, "");
    list->Events.Remove(log.Handler());
    list->SetCount(0);

    // The other lists take what their family holds, nothing else.
    auto lights = Make<TSCustomLightSystem3DList>();
    EXPECT_EQ(lights->Add(construction.get()), -1);
    EXPECT_EQ(lights->Add(light.get()), 0);
    auto objects = Make<TSCustomObject3DList>();
    auto plain = Make<TSCustomChangeObject>();
    EXPECT_EQ(objects->Add(plain.get()), -1);
    EXPECT_EQ(objects->Add(camera.get()), 0);
    auto changeList = Make<TSCustomChangeObjectList>();
    EXPECT_EQ(changeList->Add(plain.get()), 0);
    lights->SetCount(0);
    objects->SetCount(0);
    changeList->SetCount(0);
}

TEST_F(SceneLists, DestroyedMemberLeavesTheList)
{
    struct Case {
        Family F;
        const char* Start;
        char Destroyed;
        const char* Events;
        const char* Entries;
    };
    const Case cases[] = {
        {fChange, "abc", 'a', "11:3 4 10 5", "bc"}, {fChange, "abc", 'c', "11:3 4 5", "ab"},
        {f3D, "ab", 'a', "11:3 4 10 5", "b"},       {fConstruction, "ab", 'a', "11:3 4 10 4100 5", "b"},
        {fLight, "ab", 'b', "11:3 4 4100 5", "a"},  {fChange, "a-b", 'b', "11:3 4 10 5", "a-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(kFamilyNames[c.F]) + " " + c.Start + " " + c.Destroyed);
        Scene s(c.F, c.Start);
        s.Log.Text.clear();
        delete s[c.Destroyed];
        s.Forget(c.Destroyed);
        EXPECT_EQ(s.Log.Text, c.Events);
        EXPECT_EQ(s.Entries(), c.Entries);
    }
}

TEST_F(SceneLists, MemberChangesAreCountedAcrossMembers)
{
    auto list = Make<TCountingList>();
    auto a = Make<TBoxConstruction>();
    auto b = Make<TBoxConstruction>();
    list->Add(a.get());
    list->Add(b.get());
    TSVector3D upper;
    list->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {2, 2, 2}));

    a->BeginChange();
    b->BeginChange();
    EXPECT_EQ(list->MembersChanging(), 2);
    EXPECT_EQ(list->Begins, 1);
    b->Frame()->Transform(IdentityMatrix(), {10, 0, 0});
    MemoryStream stream;
    const std::string busy = ErrorOf([&] { list->Save(&stream); });
    EXPECT_NE(busy.find("\n\rCan't save : Busy"), std::string::npos) << busy;
    EXPECT_TRUE(stream.Bytes.empty());
    a->EndChange();
    list->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {2, 2, 2}));  // not while b is still inside its change
    EXPECT_EQ(list->Ends, 0);
    b->EndChange();
    EXPECT_EQ(list->Ends, 1);
    list->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {12, 2, 2}));
    EXPECT_EQ(list->MembersChanging(), 0);
    // An end this list never saw begin is not counted.
    a->BeginChange();
    b->Events.Notify(b.get(), ecEndChange, 0);
    EXPECT_EQ(list->MembersChanging(), 1);
    a->EndChange();
    EXPECT_GT(list->Save(&stream), 0);
    list->SetCount(0);
}

TEST_F(SceneLists, MemberLeavingOrDyingInsideItsChangeDoesNotKeepTheListBusy)
{
    auto outer = Make<TSCustomObject3DList>();
    auto list = Make<TSCustomObject3DList>();
    outer->Add(list.get());
    auto* dying = TSObject::Create<TSCustomObject3D>();
    auto leaving = Make<TSCustomObject3D>();
    auto replaced = Make<TSCustomObject3D>();
    list->Add(dying);
    list->Add(leaving.get());
    list->Add(replaced.get());

    dying->BeginChange();
    leaving->BeginChange();
    replaced->BeginChange();
    EXPECT_EQ(list->MembersChanging(), 3);
    EXPECT_EQ(outer->MembersChanging(), 3);
    delete dying;
    list->Delete(list->IndexOf(leaving.get()));
    list->SetItem(0, nullptr);
    EXPECT_EQ(list->MembersChanging(), 0);
    EXPECT_EQ(outer->MembersChanging(), 0);
    MemoryStream stream;
    stream.Known = {&TSBasis3D::ClassInfo};
    EXPECT_GT(list->Save(&stream), 0);
    EXPECT_GT(outer->Save(&stream), 0);
    leaving->EndChange();
    replaced->EndChange();
    EXPECT_EQ(list->MembersChanging(), 0);
    outer->SetCount(0);
    list->SetCount(0);
}

TEST_F(SceneLists, RedrawRequestsPassOnlyThroughEnabledLists)
{
    auto list = Make<TSCustomConstruction3DList>();
    auto member = Make<TSCustomConstruction3D>();
    list->Add(member.get());
    std::vector<TSEventRecord> seen;
    struct Recorder {
        std::vector<TSEventRecord>* Seen;
        void On(TObject*, std::int32_t Code, TSParam Param)
        {
            if (Code == ecMemberEvent)
                Seen->push_back(*reinterpret_cast<const TSEventRecord*>(Param));
        }
    } recorder{&seen};
    auto outer = Make<TSCustomConstruction3DList>();
    outer->Add(list.get());
    outer->Events.Add(TSEventHandler::Of<&Recorder::On>(&recorder));

    member->Invalidate(42);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Sender, member.get());  // the first sender, through two lists
    EXPECT_EQ(seen[0].Code, ecInvalidate);
    EXPECT_EQ(seen[0].Param, 42);

    list->SetEnabled(false);
    seen.clear();
    member->Invalidate(43);
    for (const TSEventRecord& r : seen)
        EXPECT_NE(r.Code, ecInvalidate);
    outer->Events.Remove(TSEventHandler::Of<&Recorder::On>(&recorder));
    outer->SetCount(0);
    list->SetCount(0);
}

TEST_F(SceneLists, BoundsCoverTheMembersCorners)
{
    auto list = Make<TSCustomConstruction3DList>();
    list->Frame()->Transform(IdentityMatrix(), {5, 0, 0});
    TSVector3D lower, upper;
    list->GetLowerBound(lower);
    list->GetUpperBound(upper);
    EXPECT_TRUE(SameVector3D(lower, {-1, -1, -1}));
    EXPECT_TRUE(SameVector3D(upper, {1, 1, 1}));

    auto box = Make<TBoxConstruction>();
    box->Frame()->Transform(IdentityMatrix(), {15, 0, 0});
    list->Add(box.get());
    EXPECT_EQ(box->Frame()->Parent(), list->Frame());
    list->GetLowerBound(lower);
    list->GetUpperBound(upper);
    EXPECT_TRUE(Near(lower, {10, 0, 0}));
    EXPECT_TRUE(Near(upper, {12, 2, 2}));

    // The members' frames move with the list's frame.
    list->Frame()->Transform(IdentityMatrix(), {0, 3, 0});
    EXPECT_TRUE(Near(box->Frame()->Origin(), {15, 3, 0}));

    list->Delete(0);
    EXPECT_EQ(box->Frame()->Parent(), nullptr);
    list->GetUpperBound(upper);
    EXPECT_TRUE(SameVector3D(upper, {1, 1, 1}));
}

TEST_F(SceneLists, DrawNumbersItsMembersUnderTheThreadsMessage)
{
    auto thread = Make<TSThread>();
    auto ds = Make<TRecordingDrawSystem>();
    auto camera = Make<TSCustomProjectionSystem3D>();
    auto outer = Make<TSCustomConstruction3DList>();
    auto inner = Make<TSCustomConstruction3DList>();
    std::vector<std::unique_ptr<TBoxConstruction>> boxes;
    for (int i = 0; i < 3; ++i)
        boxes.push_back(Make<TBoxConstruction>());
    inner->Add(boxes[0].get());
    inner->Add(boxes[1].get());
    outer->Add(inner.get());
    outer->Add(boxes[2].get());

    std::vector<std::string> messages;
    struct Recorder {
        TSThread* Thread;
        std::vector<std::string>* Messages;
        void On(TObject*, std::int32_t Code, TSParam)
        {
            if (Code == ecThreadMessage)
                Messages->push_back(Thread->Message());
        }
    } recorder{thread.get(), &messages};
    thread->Events.Add(TSEventHandler::Of<&Recorder::On>(&recorder));
    thread->SetMessage("M");
    messages.clear();

    TSRenderContext context;
    context.Camera = camera.get();
    context.DrawSystem = ds.get();
    context.Thread = thread.get();
    outer->Draw(context);
    EXPECT_EQ(messages, (std::vector<std::string>{"M.1", "M.1.1", "M.1.2", "M.2"}));
    EXPECT_EQ(ds->Points.size(), 3u);

    // Invisible: the members run but draw nothing; the context comes back whole.
    thread->SetMessage("M");
    outer->SetVisible(false);
    outer->Draw(context);
    EXPECT_EQ(ds->Points.size(), 3u);
    EXPECT_EQ(context.DrawSystem, ds.get());
    outer->SetVisible(true);
    // Disabled: nothing at all.
    messages.clear();
    outer->SetEnabled(false);
    outer->Draw(context);
    EXPECT_TRUE(messages.empty());
    outer->SetEnabled(true);

    // A cancelled picture stops between two members and still restores the context.
    boxes[0]->Blocks = -1;
    bool aborted = false;
    struct Job {
        TSCustomConstruction3DList* List;
        TSRenderContext* Context;
        bool* Aborted;
        void Run(TSThread*, TSThreadParams*)
        {
            try {
                List->Draw(*Context);
            } catch (const EAbort&) {
                *Aborted = true;
                throw;
            }
        }
    } job{outer.get(), &context, &aborted};
    const std::size_t before = ds->Points.size();
    thread->RunSynchronously(std::make_unique<TSThreadParams>(), TSThreadJob::Of<&Job::Run>(&job));
    EXPECT_TRUE(aborted);
    EXPECT_EQ(ds->Points.size(), before + 1);
    EXPECT_EQ(context.DrawSystem, ds.get());
    thread->Events.Remove(TSEventHandler::Of<&Recorder::On>(&recorder));
    outer->SetCount(0);
    inner->SetCount(0);
}

TEST_F(SceneLists, LightListShowsOccludersOnlyWhenItCastsShadows)
{
    MemoryStream saved;
    saved.Known = {&TSBasis3D::ClassInfo};
    {
        auto blank = Make<TSCustomLightSystem3DList>();
        blank->Save(&saved);
    }
    auto occluders = Make<TSCustomConstruction3DList>();
    for (bool casts : {false, true}) {
        SCOPED_TRACE(casts);
        auto list = Make<TSCustomLightSystem3DList>();
        // CastsShadows comes only from a record: before the member count.
        std::int32_t flag = casts ? 1 : 0;
        std::memcpy(saved.Bytes.data() + saved.Bytes.size() - 8, &flag, 4);
        saved.Pos = 0;
        list->Load(&saved);
        ASSERT_EQ(list->CastsShadows(), casts);
        auto light = Make<TRecordingLight>();
        list->Add(light.get());
        const TSVector3D position{1, 2, 3};
        TSLightingRequest request{&position, nullptr, occluders.get()};
        list->LightVertex(request);
        const TSVector3DSingle single{1, 2, 3};
        TSLightingRequestSingle requestSingle{&single, nullptr, occluders.get()};
        list->LightVertex(requestSingle);
        TSCustomConstruction3D* expected = casts ? occluders.get() : nullptr;
        EXPECT_EQ(light->Seen, (std::vector<TSCustomConstruction3D*>{expected, expected}));
        EXPECT_EQ(request.Occluders, occluders.get());
        EXPECT_EQ(requestSingle.Occluders, occluders.get());
        list->SetEnabled(false);
        list->LightVertex(request);
        EXPECT_EQ(light->Seen.size(), 2u);
        list->SetCount(0);
    }
}

TEST_F(SceneLists, OcclusionWalkStopsWhenNoLightIsLeft)
{
    struct Case {
        std::vector<double> Blocks;
        double Start;
        int Asked;
        double Factor;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {{0.5, 0.5, 0.5}, 1, 3, 0.125}, {{0.5, 0, 0.5}, 1, 2, 0}, {{1, 1}, 0, 0, 0}, {{1, 1}, -1, 0, -1},
        {{nan, 1}, 1, 1, nan},
    };
    for (const Case& c : cases) {
        auto list = Make<TSCustomConstruction3DList>();
        std::vector<std::unique_ptr<TBoxConstruction>> boxes;
        for (double b : c.Blocks) {
            boxes.push_back(Make<TBoxConstruction>());
            boxes.back()->Blocks = b;
            list->Add(boxes.back().get());
        }
        double factor = c.Start;
        const TSVector3D p{};
        TSOcclusionQuery query{&p, &p, &factor};
        list->TestOcclusion(query);
        int asked = 0;
        for (const auto& b : boxes)
            asked += b->Asked;
        EXPECT_EQ(asked, c.Asked);
        if (std::isnan(c.Factor)) {
            EXPECT_TRUE(std::isnan(factor));
        } else {
            EXPECT_EQ(factor, c.Factor);
        }
        float single = static_cast<float>(c.Start);
        const TSVector3DSingle ps{};
        TSOcclusionQuerySingle querySingle{&ps, &ps, &single};
        list->TestOcclusion(querySingle);
        list->SetCount(0);
    }
}

TEST_F(SceneLists, CreateDerivedBuildsAConstructionList)
{
    auto empty = Make<TSCustomLightSystem3DList>();
    EXPECT_EQ(empty->CreateDerived(nullptr), nullptr);

    auto lights = Make<TSCustomLightSystem3DList>();
    auto light = Make<TSCustomLightSystem3D>();
    lights->Add(light.get());
    lights->SetCount(2);
    std::unique_ptr<TSCustomConstruction3D> derived(lights->CreateDerived(nullptr));
    ASSERT_NE(derived, nullptr);
    EXPECT_EQ(derived->ClassType(), &TSCustomConstruction3DList::ClassInfo);
    EXPECT_EQ(static_cast<TSCustomConstruction3DList*>(derived.get())->Count(), 2);
    EXPECT_EQ(static_cast<TSCustomConstruction3DList*>(derived.get())->GetItem(0), nullptr);
    lights->SetCount(0);

    auto list = Make<TSCustomConstruction3DList>();
    auto box = Make<TBoxConstruction>();
    box->Derives = true;
    box->Frame()->Transform(IdentityMatrix(), {3, 0, 0});
    list->Add(box.get());
    std::unique_ptr<TSCustomConstruction3D> copies(list->CreateDerived(nullptr));
    auto* copyList = dynamic_cast<TSCustomConstruction3DList*>(copies.get());
    ASSERT_NE(copyList, nullptr);
    ASSERT_EQ(copyList->Count(), 1);
    std::unique_ptr<TSCustomChangeObject> copy(copyList->GetItem(0));
    EXPECT_EQ(copy->ClassType(), &TBoxConstruction::ClassInfo);
    TSVector3D upper;
    copyList->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {2, 2, 2}));
    copyList->SetCount(0);

    // A failing member: the new list and what was derived are freed, the error passes on.
    auto second = Make<TBoxConstruction>();
    second->Derives = true;
    second->DerivedLeft = 0;
    list->Add(second.get());
    const std::size_t constructions = GlobalConstructionsList()->Count();
    EXPECT_THROW(list->CreateDerived(nullptr), EInvalidOperation);
    EXPECT_EQ(GlobalConstructionsList()->Count(), constructions);
    list->SetCount(0);
}

TEST_F(SceneLists, RecordsSkipEmptyEntriesAndLinkBack)
{
    auto list = Make<TSCustomChangeObjectList>();
    list->SetName("L");
    auto* a = TSObject::Create<TSCustomChangeObject>();
    auto* b = TSObject::Create<TSCustomChangeObject>();
    a->SetName("A");
    b->SetName("B");
    list->Add(a);
    list->SetCount(2);
    list->Add(b);
    MemoryStream stream;
    stream.Known = {&TSCustomChangeObject::ClassInfo};
    const std::int32_t written = list->Save(&stream);
    EXPECT_EQ(written, static_cast<std::int32_t>(stream.Bytes.size()));
    std::int32_t count = 0;
    std::memcpy(&count, stream.Bytes.data() + 5, 4);
    EXPECT_EQ(count, 2);

    auto loaded = Make<TSCustomChangeObjectList>();
    ListEvents log;
    loaded->Events.Add(log.Handler());
    stream.Pos = 0;
    EXPECT_EQ(loaded->Load(&stream), written);
    ASSERT_EQ(loaded->Count(), 2);
    EXPECT_EQ(loaded->GetItem(0)->Name(), "A");
    EXPECT_EQ(loaded->GetItem(1)->Name(), "B");
    // Loaded members are heard.
    log.Text.clear();
    loaded->GetItem(1)->SetName("B2");
    EXPECT_EQ(log.Text, "11:4 11:8 11:5");
    // A change-object list's own Link answers -1, its members' do too.
    EXPECT_EQ(loaded->Link(&stream), -1);
    EXPECT_EQ(loaded->Process(ocBeginOperation, ocSave), 1);
    EXPECT_EQ(loaded->Process(ocEndOperation, ocLoad), 1);
    EXPECT_EQ(loaded->Process(ocBeginOperation, ocLink), -1);
    loaded->Events.Remove(log.Handler());
    loaded->Clear();
    list->Clear();

    // A 3D list: after the load pass ends, subscribers hear of the new content.
    auto objects = Make<TSCustomConstruction3DList>();
    auto box = Make<TBoxConstruction>();
    objects->Add(box.get());
    MemoryStream boxes;
    boxes.Known = {&TSBasis3D::ClassInfo, &TBoxConstruction::ClassInfo};
    objects->Save(&boxes);
    objects->SetCount(0);
    auto reloaded = Make<TSCustomConstruction3DList>();
    boxes.Pos = 0;
    reloaded->Load(&boxes);
    ListEvents events;
    reloaded->Events.Add(events.Handler());
    EXPECT_EQ(reloaded->Process(ocEndOperation, ocLoad), 2);
    EXPECT_EQ(events.Text, "4 5");
    TSVector3D upper;
    reloaded->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {2, 2, 2}));
    // The member's frame hangs below the list's again through the frame's own record.
    auto* reloadedBox = dynamic_cast<TBoxConstruction*>(reloaded->GetItem(0));
    ASSERT_NE(reloadedBox, nullptr);
    boxes.Found = {{boxes.Ids.at(box->Frame()), reloadedBox->Frame()}};
    EXPECT_EQ(reloaded->Link(&boxes), 1);
    EXPECT_EQ(reloadedBox->Frame()->Parent(), reloaded->Frame());
    reloaded->Events.Remove(events.Handler());
    reloaded->Clear();
}

TEST_F(SceneLists, DamagedMemberCountsAreInvalidValues)
{
    for (Family f : {fChange, fConstruction, fLight}) {
        AnyList list = MakeList(f);
        MemoryStream good;
        good.Known = {&TSBasis3D::ClassInfo};
        list.Object->Process(ocSave, reinterpret_cast<TSParam>(&good));
        for (std::int32_t count : {-1, 1, 0x7FFFFFFF}) {
            SCOPED_TRACE(std::string(kFamilyNames[f]) + " " + std::to_string(count));
            MemoryStream stream;
            stream.Known = good.Known;
            stream.Bytes = good.Bytes;
            std::memcpy(stream.Bytes.data() + stream.Bytes.size() - 4, &count, 4);
            AnyList target = MakeList(f);
            const std::string error =
                ErrorOf([&] { target.Object->Process(ocLoad, reinterpret_cast<TSParam>(&stream)); });
            EXPECT_NE(error.find("\n\rCan't load : Invalid Value"), std::string::npos) << error;
            EXPECT_EQ(target.Count(), 0);
        }
    }
}

TEST_F(SceneLists, ForeignMembersFromAFileArePassedBy)
{
    // A file may put any change object into a 3D list.
    MemoryStream stream;
    stream.Known = {&TSBasis3D::ClassInfo, &TSCustomChangeObject::ClassInfo, &TBoxConstruction::ClassInfo};
    {
        auto lights = Make<TSCustomLightSystem3DList>();
        lights->SetEnabled(true);
        lights->Save(&stream);
    }
    const std::int32_t two = 2;
    std::memcpy(stream.Bytes.data() + stream.Bytes.size() - 4, &two, 4);
    stream.Pos = static_cast<std::int32_t>(stream.Bytes.size());
    auto stranger = Make<TSCustomChangeObject>();
    stranger->SetName("stranger");
    stream.WriteObject(stranger.get());
    auto box = Make<TBoxConstruction>();
    stream.WriteObject(box.get());

    auto list = Make<TSCustomLightSystem3DList>();
    stream.Pos = 0;
    list->Load(&stream);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->GetItem(0)->Name(), "stranger");

    // Everything that needs a 3D object, a construction or a light passes it by.
    list->Process(ocEndOperation, ocLoad);
    TSVector3D upper;
    list->GetUpperBound(upper);
    EXPECT_TRUE(Near(upper, {2, 2, 2}));
    auto ds = Make<TRecordingDrawSystem>();
    auto camera = Make<TSCustomProjectionSystem3D>();
    TSRenderContext context{camera.get(), nullptr, nullptr, ds.get(), nullptr};
    list->SetVisible(true);
    list->Draw(context);
    EXPECT_EQ(ds->Points.size(), 1u);
    double factor = 1;
    const TSVector3D p{};
    TSOcclusionQuery query{&p, &p, &factor};
    list->TestOcclusion(query);
    TSLightingRequest request{&p, nullptr, nullptr};
    list->LightVertex(request);
    std::unique_ptr<TSCustomConstruction3D> derived(list->CreateDerived(nullptr));
    ASSERT_NE(derived, nullptr);
    static_cast<TSCustomConstruction3DList*>(derived.get())->SetCount(0);
    std::unique_ptr<TSDataBranch> branch(TSDataBranch::Create("x"));
    list->Describe(branch.get());
    EXPECT_EQ(branch->Count(), 2);
    TSCustomChangeObject* foreign = list->GetItem(0);
    list->Delete(0);
    delete foreign;
    list->Clear();
    EXPECT_EQ(list->Count(), 0);
}

TEST_F(SceneLists, AListCannotHoldItsOwnHolder)
{
    auto a = Make<TSCustomConstruction3DList>();
    auto b = Make<TSCustomConstruction3DList>();
    auto c = Make<TSCustomConstruction3DList>();
    auto d = Make<TSCustomConstruction3DList>();
    EXPECT_EQ(a->Add(b.get()), 0);
    EXPECT_EQ(b->Add(c.get()), 0);
    EXPECT_EQ(c->Add(a.get()), -1);
    EXPECT_EQ(b->Add(a.get()), -1);
    c->Add(d.get());
    EXPECT_EQ(c->SetItem(0, a.get()), a.get());
    EXPECT_EQ(c->GetItem(0), d.get());

    // FindHolder answers the nearest list holding the object.
    TSHolderQuery query{d.get(), nullptr};
    EXPECT_EQ(a->Process(ocFindHolder, reinterpret_cast<TSParam>(&query)), 1);
    EXPECT_EQ(query.Holder, c.get());
    auto elsewhere = Make<TSCustomConstruction3D>();
    TSHolderQuery missing{elsewhere.get(), c.get()};
    EXPECT_EQ(a->Process(ocFindHolder, reinterpret_cast<TSParam>(&missing)), 0);
    EXPECT_EQ(missing.Holder, nullptr);
    TSHolderQuery self{a.get(), c.get()};
    EXPECT_EQ(a->Process(ocFindHolder, reinterpret_cast<TSParam>(&self)), 0);
    EXPECT_EQ(self.Holder, c.get());
    a->SetCount(0);
    b->SetCount(0);
    c->SetCount(0);
}

TEST_F(SceneLists, DescribeAndTheUnitsRegistrations)
{
    auto outer = Make<TSCustomObject3DList>();
    outer->SetName("scene");
    auto inner = Make<TSCustomConstruction3DList>();
    inner->SetName("inner");
    auto a = Make<TSCustomConstruction3D>();
    a->SetName("a");
    auto b = Make<TSCustomObject3D>();
    b->SetName("b");
    inner->Add(a.get());
    outer->Add(inner.get());
    outer->SetCount(2);
    outer->Add(b.get());

    std::unique_ptr<TSDataBranch> branch(TSDataBranch::Create("old"));
    TSCommandRecord record;
    record.Object = outer.get();
    record.Command = icDescribe;
    record.Param = reinterpret_cast<TSParam>(branch.get());
    EXPECT_EQ(DispatchInterfaceCommand(outer->ClassType(), record), 0);
    EXPECT_EQ(branch->Name(), "scene");
    EXPECT_EQ(branch->Data().As<TObject>(), outer.get());
    ASSERT_EQ(branch->Count(), 2);
    auto* first = dynamic_cast<TSDataBranch*>(branch->GetChild(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Name(), "inner");
    ASSERT_EQ(first->Count(), 1);
    EXPECT_EQ(dynamic_cast<TSDataBranch*>(first->GetChild(0))->Name(), "a");
    EXPECT_EQ(dynamic_cast<TSDataBranch*>(branch->GetChild(1))->Name(), "b");
    EXPECT_FALSE(first->Expanded());

    // The routine answers only a description of an object.
    TSCommandRecord other;
    other.Command = icGetText;
    other.Object = outer.get();
    EXPECT_EQ(ListsInterfaceHandler(&other), -1);
    other.Command = icDescribe;
    other.Object = nullptr;
    EXPECT_EQ(ListsInterfaceHandler(&other), -1);
    other.Object = a.get();
    EXPECT_EQ(ListsInterfaceHandler(&other), -1);

    struct Row {
        TSClass Class;
        const char* Caption;
        const char* Category;
    };
    const Row rows[] = {
        {&TSCustomChangeObjectList::ClassInfo, "Objects List", "Custom Change Object List"},
        {&TSCustomObject3DList::ClassInfo, "Objects 3D List", nullptr},
        {&TSCustomConstruction3DList::ClassInfo, "Constructions 3D List", "Custom Construction 3D List"},
        {&TSCustomProjectionSystem3DList::ClassInfo, "Projections System List", nullptr},
        {&TSCustomLightSystem3DList::ClassInfo, "Lights List", "Custom Light System 3D List"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Class->Name);
        EXPECT_EQ(FindRTDClass(row.Class->Name), row.Class);
        std::string caption;
        GetInterfaceCaption(row.Class, caption);
        EXPECT_EQ(caption, row.Caption);
        std::unique_ptr<TSDataBranch> categories(TSDataBranch::Create("categories"));
        InterfaceFillBranch(row.Class, categories.get());
        if (row.Category == nullptr) {
            // No entry makes a list of this class (other units may offer
            // their members here).
            EXPECT_EQ(categories->FindByData(row.Class), nullptr);
            continue;
        }
        TSDataBranch* entry = categories->FindPath(std::string("Standart Objects\\") + row.Category, true, '\\');
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Data().AsClass(), row.Class);
    }
    // The projection list reaches the routine through its base class.
    auto cameras = Make<TSCustomProjectionSystem3DList>();
    std::unique_ptr<TSDataBranch> camerasBranch(TSDataBranch::Create(""));
    record.Object = cameras.get();
    record.Param = reinterpret_cast<TSParam>(camerasBranch.get());
    EXPECT_EQ(DispatchInterfaceCommand(cameras->ClassType(), record), 0);
    EXPECT_EQ(camerasBranch->Data().As<TObject>(), cameras.get());
    outer->SetCount(0);
    inner->SetCount(0);
}
