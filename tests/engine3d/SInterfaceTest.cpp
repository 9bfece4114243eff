#include "EngineTestSupport.h"

#include "engine3d/model/SInterface.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// TIfBase < TSCustomChangeObject, TIfDerived < TIfBase, TIfPlain < TSObject.
// Each records the editor requests it receives.
struct OpenLog {
    static inline std::vector<std::pair<TObject*, TSParam>> Calls;  // {receiver, Param}
};

class TIfBase : public TSCustomChangeObject {
    S_CLASS(TIfBase)
public:
    std::int32_t Process(std::int32_t Code, TSParam Param) override
    {
        if (Code != ocOpenEditor)
            return TSCustomChangeObject::Process(Code, Param);
        OpenLog::Calls.emplace_back(this, Param);
        return 0;
    }
};
class TIfDerived final : public TIfBase {
    S_CLASS(TIfDerived)
};
class TIfPlain final : public TSObject {
    S_CLASS(TIfPlain)
public:
    std::int32_t Process(std::int32_t Code, TSParam Param) override
    {
        if (Code != ocOpenEditor)
            return TSObject::Process(Code, Param);
        OpenLog::Calls.emplace_back(this, Param);
        return 0;
    }
};
constinit const TSClassInfo TIfBase::ClassInfo{"TIfBase", &TSCustomChangeObject::ClassInfo, &TSNewObject<TIfBase>};
constinit const TSClassInfo TIfDerived::ClassInfo{"TIfDerived", &TIfBase::ClassInfo, &TSNewObject<TIfDerived>};
constinit const TSClassInfo TIfPlain::ClassInfo{"TIfPlain", &TSObject::ClassInfo, &TSNewObject<TIfPlain>};

// Routines that log their calls and answer what the test tells them.
struct RoutineLog {
    static inline std::vector<std::string> Calls;
    static inline std::map<std::string, std::int32_t> Answers;
    static inline std::vector<TSClass> SeenClass;

    static std::int32_t Answer(const char* name, TSCommandRecord* r)
    {
        Calls.emplace_back(name);
        SeenClass.push_back(r->Class);
        const auto it = Answers.find(name);
        return it == Answers.end() ? -1 : it->second;
    }
};
std::int32_t R1(TSCommandRecord* r)
{
    return RoutineLog::Answer("R1", r);
}
std::int32_t R2(TSCommandRecord* r)
{
    return RoutineLog::Answer("R2", r);
}
std::int32_t R3(TSCommandRecord* r)
{
    return RoutineLog::Answer("R3", r);
}
std::int32_t R4(TSCommandRecord* r)
{
    return RoutineLog::Answer("R4", r);
}

std::vector<std::string> MenuTexts(const QMenu& menu)
{
    std::vector<std::string> texts;
    for (QAction* a : menu.actions())
        texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return texts;
}

QAction* Entry(const QMenu& menu, const char* text)
{
    for (QAction* a : menu.actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

class SInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenLog::Calls.clear();
        RoutineLog::Calls.clear();
        RoutineLog::Answers.clear();
        RoutineLog::SeenClass.clear();
    }
    // Drops the test classes' nodes from "SInterfaces".
    void TearDown() override
    {
        for (TSClass c : {&TIfBase::ClassInfo, &TIfDerived::ClassInfo, &TIfPlain::ClassInfo})
            if (TSDataBranch* key = GetInterfaceEntry(c, ikCommands, true))
                delete key->Parent();
    }
};

}  // namespace

TEST_F(SInterfaceTest, EntriesAreMadeOnlyWhenAsked)
{
    EXPECT_EQ(GetInterfaceEntry(nullptr, ikCaption, true), nullptr);
    EXPECT_EQ(GetInterfaceEntry(&TIfBase::ClassInfo, ikCaption, false), nullptr);
    TSDataBranch* caption = GetInterfaceEntry(&TIfBase::ClassInfo, ikCaption, true);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->Data().Value, ikCaption);
    EXPECT_EQ(GetInterfaceEntry(&TIfBase::ClassInfo, ikCaption, false), caption);
    EXPECT_EQ(GetInterfaceEntry(&TIfBase::ClassInfo, ikCaption, true), caption);

    TSDataBranch* classNode = caption->Parent() ? static_cast<TSDataBranch*>(caption->Parent()) : nullptr;
    ASSERT_NE(classNode, nullptr);
    EXPECT_EQ(classNode->Name(), "TIfBase");
    EXPECT_EQ(classNode->Data().AsClass(), &TIfBase::ClassInfo);
    EXPECT_FALSE(classNode->Expanded());
    EXPECT_EQ(classNode->Parent(), FindRegistryPath(0, "SInterfaces"));
}

TEST_F(SInterfaceTest, CaptionsAndImages)
{
    std::string s = "old";
    GetInterfaceCaption(&TIfDerived::ClassInfo, s);
    EXPECT_EQ(s, "TIfDerived");
    SetInterfaceCaption(&TIfBase::ClassInfo, "Base Things");
    GetInterfaceCaption(&TIfBase::ClassInfo, s);
    EXPECT_EQ(s, "Base Things");
    GetInterfaceCaption(&TIfDerived::ClassInfo, s);
    EXPECT_EQ(s, "TIfDerived") << "an ancestor's caption is not used";

    GetInterfaceEntry(&TIfBase::ClassInfo, ikImage32, true)->SetTag(7);
    struct Case {
        std::int32_t size;
        TSClass cls;
        std::int32_t expected;
    };
    const Case cases[] = {
        {32, &TIfBase::ClassInfo, 7},  {64, &TIfBase::ClassInfo, -1},    {16, &TIfBase::ClassInfo, -1},
        {48, &TIfBase::ClassInfo, -1}, {32, &TIfDerived::ClassInfo, -1}, {32, nullptr, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetInterfaceImage(c.size, c.cls), c.expected) << c.size;

    // Commands 7 to 9 answer through the record's Param.
    const std::pair<std::int32_t, TSParam> commands[] = {{icImage64, -1}, {icImage32, 7}, {icImage16, -1}};
    for (const auto& [command, expected] : commands) {
        TSCommandRecord r;
        r.Command = command;
        EXPECT_EQ(DispatchInterfaceCommand(&TIfBase::ClassInfo, r), 0);
        EXPECT_EQ(r.Param, expected) << command;
    }
}

TEST_F(SInterfaceTest, RoutineRegistration)
{
    EXPECT_EQ(RegisterInterfaceHandler(nullptr, &R1), nullptr);
    EXPECT_EQ(RegisterInterfaceHandler(&TIfBase::ClassInfo, nullptr), nullptr);
    EXPECT_EQ(RegisterInterfaceHandler(&TIfBase::ClassInfo, &DefaultInterfaceHandler), nullptr);
    TSDataBranch* r1 = RegisterInterfaceHandler(&TIfBase::ClassInfo, &R1);
    ASSERT_NE(r1, nullptr);
    EXPECT_EQ(r1->Name(), "");
    EXPECT_EQ(RegisterInterfaceHandler(&TIfBase::ClassInfo, &R1), r1);
    RegisterInterfaceHandler(&TIfBase::ClassInfo, &R2);
    TSDataBranch* commands = GetInterfaceEntry(&TIfBase::ClassInfo, ikCommands, false);
    EXPECT_EQ(commands->Count(), 2);
    UnregisterInterfaceHandler(&TIfBase::ClassInfo, &R1);
    UnregisterInterfaceHandler(&TIfBase::ClassInfo, &R4);
    EXPECT_EQ(commands->Count(), 1);
    EXPECT_EQ(commands->GetChild(0) != nullptr ? static_cast<TSDataBranch*>(commands->GetChild(0))->Data()
                                               : TSNodeData(),
              TSNodeData(&R2));
}

TEST_F(SInterfaceTest, DispatchOrderNewestFirstThenAncestorsThenDefault)
{
    RegisterInterfaceHandler(&TIfDerived::ClassInfo, &R1);
    RegisterInterfaceHandler(&TIfDerived::ClassInfo, &R2);
    RegisterInterfaceHandler(&TIfBase::ClassInfo, &R3);
    RegisterInterfaceHandler(&TSCustomChangeObject::ClassInfo, &R4);
    // A routine node without routine is passed over.
    GetInterfaceEntry(&TIfBase::ClassInfo, ikCommands, false)->AddChild(TSDataBranch::Create(""));

    struct Case {
        std::map<std::string, std::int32_t> answers;
        std::vector<std::string> calls;
        std::int32_t result;
        std::string caption;
    };
    const Case cases[] = {
        {{}, {"R2", "R1", "R3", "R4"}, 0, "TIfDerived"},  // the default handler answers last
        {{{"R2", 5}}, {"R2"}, 5, ""},
        {{{"R1", 0}}, {"R2", "R1"}, 0, ""},
        {{{"R3", 3}, {"R1", -7}}, {"R2", "R1", "R3"}, 3, ""},
        {{{"R4", 9}}, {"R2", "R1", "R3", "R4"}, 9, ""},
    };
    for (const auto& c : cases) {
        RoutineLog::Calls.clear();
        RoutineLog::SeenClass.clear();
        RoutineLog::Answers = c.answers;
        std::string caption;
        TSCommandRecord r;
        r.Class = &TIfPlain::ClassInfo;  // the sender's value is replaced
        r.Command = icCaption;
        r.Param = reinterpret_cast<TSParam>(&caption);
        EXPECT_EQ(DispatchInterfaceCommand(&TIfDerived::ClassInfo, r), c.result);
        EXPECT_EQ(RoutineLog::Calls, c.calls);
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(r.Class, &TIfDerived::ClassInfo);
        for (TSClass seen : RoutineLog::SeenClass)
            EXPECT_EQ(seen, &TIfDerived::ClassInfo) << "the record keeps the dispatched class";
    }

    // Nothing is called for nil or for the root class.
    RoutineLog::Calls.clear();
    TSCommandRecord r;
    r.Command = icCaption;
    EXPECT_EQ(DispatchInterfaceCommand(nullptr, r), -1);
    EXPECT_EQ(DispatchInterfaceCommand(&TObject::ClassInfo, r), -1);
    EXPECT_TRUE(RoutineLog::Calls.empty());
    EXPECT_EQ(r.Class, nullptr);
    UnregisterInterfaceHandler(&TSCustomChangeObject::ClassInfo, &R4);
}

TEST_F(SInterfaceTest, DefaultHandlerOnObjects)
{
    std::unique_ptr<TIfDerived> object(TSObject::Create<TIfDerived>());
    std::unique_ptr<TIfPlain> plain(TSObject::Create<TIfPlain>());
    object->SetName("Ground");

    // Rename and display text through the senders.
    InterfaceRename(object.get(), "Surface 1");
    EXPECT_EQ(object->Name(), "Surface 1");
    InterfaceRename(plain.get(), "ignored");
    InterfaceRename(nullptr, "ignored");
    std::string text = "stale";
    InterfaceGetText(object.get(), text);
    EXPECT_EQ(text, "Surface 1");
    text = "stale";
    InterfaceGetText(plain.get(), text);
    EXPECT_EQ(text, "");
    text = "stale";
    InterfaceGetText(nullptr, text);
    EXPECT_EQ(text, "");

    // Describe: the branch loses its children and stands for the object.
    std::unique_ptr<TSDataBranch> branch(TSDataBranch::Create("old"));
    branch->AddChild(TSDataBranch::Create("child"));
    TSCommandRecord describe;
    describe.Object = object.get();
    describe.Command = icDescribe;
    describe.Param = reinterpret_cast<TSParam>(branch.get());
    EXPECT_EQ(DispatchInterfaceCommand(object->ClassType(), describe), 0);
    EXPECT_EQ(branch->Count(), 0);
    EXPECT_EQ(branch->Data().As<TObject>(), object.get());
    EXPECT_EQ(branch->Name(), "Surface 1");
    describe.Object = plain.get();
    DispatchInterfaceCommand(plain->ClassType(), describe);
    EXPECT_EQ(branch->Data().As<TObject>(), plain.get());
    EXPECT_EQ(branch->Name(), "");

    // Open: to the depository when there is one, else to the object itself.
    TSCommandRecord open;
    open.Object = object.get();
    open.Command = icOpen;
    DispatchInterfaceCommand(object->ClassType(), open);
    open.Depository = plain.get();
    DispatchInterfaceCommand(object->ClassType(), open);
    open.Object = nullptr;
    DispatchInterfaceCommand(object->ClassType(), open);
    const std::vector<std::pair<TObject*, TSParam>> expected = {
        {object.get(), reinterpret_cast<TSParam>(object.get())},
        {plain.get(), reinterpret_cast<TSParam>(object.get())},
    };
    EXPECT_EQ(OpenLog::Calls, expected);
}

TEST_F(SInterfaceTest, CategoryTreesAreCopied)
{
    TSDataBranch* tree = GetInterfaceEntry(&TIfBase::ClassInfo, ikCategories, true);
    TSDataBranch* standard = tree->ForceChild("Standart Objects", false);
    standard->AddChild(TSDataBranch::Create("Ambient Light", &TIfDerived::ClassInfo));
    standard->AddChild(TSDataBranch::Create("Point Spring Light", &TIfPlain::ClassInfo));
    tree->ForceChild("Other", false);

    std::unique_ptr<TSDataBranch> target(TSDataBranch::Create("target"));
    target->AddChild(TSDataBranch::Create("kept"));
    InterfaceFillBranch(&TIfBase::ClassInfo, target.get());
    ASSERT_EQ(target->Count(), 3);
    auto* copy = static_cast<TSDataBranch*>(target->GetChild(1));
    EXPECT_NE(copy, standard);
    EXPECT_EQ(copy->Name(), "Standart Objects");
    ASSERT_EQ(copy->Count(), 2);
    EXPECT_EQ(static_cast<TSDataBranch*>(copy->GetChild(1))->Data().AsClass(), &TIfPlain::ClassInfo);
    EXPECT_EQ(static_cast<TSDataBranch*>(target->GetChild(2))->Name(), "Other");
    EXPECT_EQ(standard->Count(), 2) << "the registered tree stays as it was";

    // Classes without a tree add nothing, nor does a nil class.
    InterfaceFillBranch(&TIfDerived::ClassInfo, target.get());
    InterfaceFillBranch(nullptr, target.get());
    EXPECT_EQ(target->Count(), 3);
}

TEST_F(SInterfaceTest, EditMenuEntriesAndOpen)
{
    std::unique_ptr<TIfDerived> object(TSObject::Create<TIfDerived>());
    std::unique_ptr<TIfPlain> depository(TSObject::Create<TIfPlain>());
    QMenu menu;
    menu.addAction("Own entry");

    TSCommandRecord r;
    r.Object = object.get();
    r.Depository = depository.get();
    r.Command = icPopupMenu;
    r.Param = reinterpret_cast<TSParam>(&menu);
    EXPECT_EQ(DispatchInterfaceCommand(object->ClassType(), r), 0);
    EXPECT_EQ(MenuTexts(menu), (std::vector<std::string>{"Open", "-", "Cut", "Copy", "Paste", "Own entry"}));
    for (QAction* a : menu.actions())
        EXPECT_EQ(a->parent(), &menu);

    // Cut, Copy and Paste do nothing; Open sends 4098 with the object to the depository.
    Entry(menu, "Cut")->trigger();
    Entry(menu, "Copy")->trigger();
    Entry(menu, "Paste")->trigger();
    EXPECT_TRUE(OpenLog::Calls.empty());
    Entry(menu, "Open")->trigger();
    const std::vector<std::pair<TObject*, TSParam>> expected = {
        {depository.get(), reinterpret_cast<TSParam>(object.get())}};
    EXPECT_EQ(OpenLog::Calls, expected);

    // Without an object or a menu nothing is inserted.
    QMenu empty;
    r.Object = nullptr;
    r.Param = reinterpret_cast<TSParam>(&empty);
    DispatchInterfaceCommand(object->ClassType(), r);
    EXPECT_TRUE(empty.actions().isEmpty());
    r.Object = object.get();
    r.Param = 0;
    EXPECT_EQ(DispatchInterfaceCommand(object->ClassType(), r), 0);

    // A routine that answers 11 keeps the default entries out.
    RoutineLog::Answers["R1"] = 0;
    RegisterInterfaceHandler(&TIfBase::ClassInfo, &R1);
    r.Param = reinterpret_cast<TSParam>(&empty);
    EXPECT_EQ(DispatchInterfaceCommand(object->ClassType(), r), 0);
    EXPECT_TRUE(empty.actions().isEmpty());
}

TEST_F(SInterfaceTest, OpenNeverReachesADestroyedObject)
{
    struct Case {
        const char* destroyed;
    };
    const Case cases[] = {{"object"}, {"project"}, {"nothing"}};
    for (const auto& c : cases) {
        OpenLog::Calls.clear();
        auto object = std::unique_ptr<TIfDerived>(TSObject::Create<TIfDerived>());
        auto project = std::unique_ptr<TIfBase>(TSObject::Create<TIfBase>());
        QMenu menu;
        TSCommandRecord r;
        r.Project = project.get();
        r.Object = object.get();
        r.Command = icPopupMenu;
        r.Param = reinterpret_cast<TSParam>(&menu);
        DispatchInterfaceCommand(object->ClassType(), r);
        TObject* opened = object.get();
        if (std::string(c.destroyed) == "object")
            object.reset();
        else if (std::string(c.destroyed) == "project")
            project.reset();
        Entry(menu, "Open")->trigger();
        if (std::string(c.destroyed) == "nothing")
            EXPECT_EQ(OpenLog::Calls,
                      (std::vector<std::pair<TObject*, TSParam>>{{opened, reinterpret_cast<TSParam>(opened)}}));
        else
            EXPECT_TRUE(OpenLog::Calls.empty()) << c.destroyed;
    }

    // The entries of an older menu act on the most recent record.
    std::unique_ptr<TIfDerived> first(TSObject::Create<TIfDerived>());
    std::unique_ptr<TIfDerived> second(TSObject::Create<TIfDerived>());
    QMenu older, newer;
    TSCommandRecord r;
    r.Command = icPopupMenu;
    r.Object = first.get();
    r.Param = reinterpret_cast<TSParam>(&older);
    DispatchInterfaceCommand(first->ClassType(), r);
    r.Object = second.get();
    r.Param = reinterpret_cast<TSParam>(&newer);
    DispatchInterfaceCommand(second->ClassType(), r);
    OpenLog::Calls.clear();
    Entry(older, "Open")->trigger();
    EXPECT_EQ(OpenLog::Calls,
              (std::vector<std::pair<TObject*, TSParam>>{{second.get(), reinterpret_cast<TSParam>(second.get())}}));
    // Destroying the object of the older menu no longer matters.
    first.reset();
    OpenLog::Calls.clear();
    Entry(newer, "Open")->trigger();
    EXPECT_EQ(OpenLog::Calls.size(), 1u);
}
