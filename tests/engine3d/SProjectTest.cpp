// Projects and their files: the empty project byte for byte, round trips of
// nested objects with references, class matching, the factory, damaged files,
// failed and cancelled saves, read-only files and the jobs of a thread.

#include "EngineTestSupport.h"
#include "ProjectTestItem.h"

#include "engine3d/files/SProject.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// Reads 4 bytes fewer than it wrote.
class TTestShortItem final : public TTestItem {
    S_CLASS(TTestShortItem)
public:
    std::int32_t Load(TSObjectsStream* S) override
    {
        const std::int32_t name = TSCustomChangeObject::Load(S);
        S->Read(&Value, 4);
        TSObject* child = nullptr;
        const std::int32_t bytes = S->ReadObject(child, nullptr);
        Child.reset(child);
        return name + 4 + bytes;
    }
};

// Writes more in the real pass than in the counting one.
class TTestGreedyItem final : public TTestItem {
    S_CLASS(TTestGreedyItem)
public:
    int Saves = 0;
    std::int32_t Save(TSObjectsStream* S) override
    {
        std::int32_t n = TTestItem::Save(S);
        if (Saves++ > 0) {
            const Bytes extra(64, 0xEE);
            S->Write(extra.data(), 64);
            n += 64;
        }
        return n;
    }
};

// Fails in the real pass.
class TTestFailingItem final : public TTestItem {
    S_CLASS(TTestFailingItem)
public:
    int Saves = 0;
    std::int32_t Save(TSObjectsStream* S) override
    {
        if (Saves++ > 0)
            throw EInvalidOperation("disk object failed");
        return TTestItem::Save(S);
    }
};

// Registered, but no TTestItem.
class TTestOther final : public TSCustomChangeObject {
    S_CLASS(TTestOther)
};

// Known to the saving run only: never registered.
class TTestUnknown final : public TTestItem {
    S_CLASS(TTestUnknown)
};

// A project with an objects header, a list of objects and one object that must
// be a data branch.
class TTestProject : public TSProject {
    S_CLASS(TTestProject)
public:
    std::string Header = "objects header";
    std::vector<std::unique_ptr<TSObject>> Items;
    std::unique_ptr<TSObject> Tree;
    std::vector<std::string> Modules;
    std::vector<std::string> Checked;
    std::string SeenFileName;

    std::int32_t WriteObjectsHeader(TSObjectsStream* S) override { return WriteStreamString(S, Header); }
    std::int32_t ReadObjectsHeader(TSObjectsStream* S) override { return ReadStreamString(S, Header); }
    std::int32_t WriteObjects(TSObjectsStream* S) override
    {
        SeenFileName = FileName();
        const auto count = static_cast<std::int32_t>(Items.size());
        S->Write(&count, 4);
        std::int32_t n = 4;
        for (const auto& item : Items)
            n += S->WriteObject(item.get());
        return n + S->WriteObject(Tree.get());
    }
    std::int32_t ReadObjects(TSObjectsStream* S) override
    {
        Items.clear();
        std::int32_t count = 0;
        S->Read(&count, 4);
        if (count < 0)
            throw EStreamError("negative count");
        std::int32_t n = 4;
        for (std::int32_t i = 0; i < count; ++i) {
            TSObject* item = nullptr;
            n += S->ReadObject(item, nullptr);
            Items.emplace_back(item);
        }
        TSObject* tree = nullptr;
        n += S->ReadObject(tree, &TSDataBranch::ClassInfo);
        Tree.reset(tree);
        return n;
    }
    std::int32_t Link(TSObjectsStream* S) override
    {
        for (const auto& item : Items)
            if (item)
                item->Process(ocLink, reinterpret_cast<TSParam>(S));
        return static_cast<std::int32_t>(Items.size());
    }
    void CollectModules(TSDataBranch* List) override
    {
        TSProject::CollectModules(List);
        for (const std::string& name : Modules)
            List->AddChild(TSDataBranch::Create(name));
    }
    std::int32_t CheckModule(const std::string& Name, const void*, std::int32_t Size) override
    {
        Checked.push_back(Name + ":" + std::to_string(Size));
        return 0;
    }
};

}  // namespace

constinit const TSClassInfo TTestItem::ClassInfo{"TTestItem", &TSCustomChangeObject::ClassInfo,
                                                 &TSNewObject<TTestItem>};

namespace {

constinit const TSClassInfo TTestShortItem::ClassInfo{"TTestShortItem", &TTestItem::ClassInfo,
                                                      &TSNewObject<TTestShortItem>};
constinit const TSClassInfo TTestGreedyItem::ClassInfo{"TTestGreedyItem", &TTestItem::ClassInfo,
                                                       &TSNewObject<TTestGreedyItem>};
constinit const TSClassInfo TTestFailingItem::ClassInfo{"TTestFailingItem", &TTestItem::ClassInfo,
                                                        &TSNewObject<TTestFailingItem>};
constinit const TSClassInfo TTestOther::ClassInfo{"TTestOther", &TSCustomChangeObject::ClassInfo,
                                                  &TSNewObject<TTestOther>};
constinit const TSClassInfo TTestUnknown::ClassInfo{"TTestUnknown", &TTestItem::ClassInfo, &TSNewObject<TTestUnknown>};
constinit const TSClassInfo TTestProject::ClassInfo{"TTestProject", &TSProject::ClassInfo, &TSNewObject<TTestProject>};

template <class T>
std::unique_ptr<T> Make()
{
    return std::unique_ptr<T>(TSObject::Create<T>(nullptr));
}

template <class T>
std::unique_ptr<T> MakeItem(const std::string& Name, std::int32_t Value)
{
    auto item = Make<T>();
    item->SetName(Name);
    item->Value = Value;
    return item;
}

Bytes ReadAll(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& Path, const Bytes& Data)
{
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

void PutInt(Bytes& Data, std::size_t At, std::int32_t Value)
{
    std::memcpy(Data.data() + At, &Value, 4);
}

std::int32_t GetInt(const Bytes& Data, std::size_t At)
{
    std::int32_t value = 0;
    std::memcpy(&value, Data.data() + At, 4);
    return value;
}

void Append(Bytes& Out, const std::string& Text)
{
    Out.insert(Out.end(), Text.begin(), Text.end());
}

void AppendInt(Bytes& Out, std::int32_t Value)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&Value);
    Out.insert(Out.end(), p, p + 4);
}

// Where the size fields of a project file lie, found by walking its frame.
struct FileMap {
    std::size_t PathLength = 16, NameLength = 0, D = 0, DescriptionLength = 0, M = 0, K = 0, T = 0, RootChildren = 0,
                RootNameLength = 0, H = 0, O = 0;

    explicit FileMap(const Bytes& F)
    {
        NameLength = PathLength + 4 + static_cast<std::size_t>(GetInt(F, PathLength));
        D = NameLength + 4 + static_cast<std::size_t>(GetInt(F, NameLength));
        DescriptionLength = D + 4;
        M = D + 4 + static_cast<std::size_t>(GetInt(F, D));
        K = M + 4;
        T = M + 4 + static_cast<std::size_t>(GetInt(F, M));
        RootChildren = T + 4;
        RootNameLength = T + 16;
        H = T + 4 + static_cast<std::size_t>(GetInt(F, T));
        O = H + 4 + static_cast<std::size_t>(GetInt(F, H));
    }
};

class ProjectFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (TSClass c : {&TSProject::ClassInfo, &TTestProject::ClassInfo, &TTestItem::ClassInfo,
                          &TTestShortItem::ClassInfo, &TTestGreedyItem::ClassInfo, &TTestFailingItem::ClassInfo,
                          &TTestOther::ClassInfo, &TSDataBranch::ClassInfo})
            RegisterRTDClass(c);
        std::string pattern = (fs::temp_directory_path() / "project-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    std::string PathOf(const std::string& Name) const { return m_dir + "/" + Name; }
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // One item holding a small tree, one nil record, and a branch: small, but
    // every kind of field is in it.
    std::unique_ptr<TTestProject> SmallProject()
    {
        auto project = Make<TTestProject>();
        project->SetName("Small");
        auto item = MakeItem<TTestItem>("item", 3);
        auto tree = Make<TSDataBranch>();
        tree->SetName("leaf");
        item->Child = std::move(tree);
        project->Items.push_back(std::move(item));
        project->Items.push_back(nullptr);
        project->Tree.reset(TSDataBranch::Create("tree"));
        return project;
    }

    // Loads the file at Path into a new project of the test class.
    std::unique_ptr<TTestProject> LoadFile(const std::string& Path)
    {
        auto project = Make<TTestProject>();
        project->LoadFromFileName(Path);
        return project;
    }

    std::string m_dir;
};

std::string ErrorOf(const std::function<void()>& Action)
{
    try {
        Action();
    } catch (const ELibraryError& e) {
        return e.what();
    }
    return "no error";
}

const std::string kFormat = "Invalid Halcyte Project file format";

// ---------------------------------------------------------------------------

TEST_F(ProjectFile, EmptyProjectIsExactly107Bytes)
{
    auto project = Make<TSProject>();
    project->SetName("P");
    TSProjectLayout layout;
    EXPECT_EQ(project->ComputeLayout(layout), 107);
    EXPECT_EQ(layout.HeaderSize, 99);
    EXPECT_EQ(layout.D, 25);
    EXPECT_EQ(layout.M, 4);
    EXPECT_EQ(layout.T, 24);
    EXPECT_EQ(layout.H, 0);
    EXPECT_EQ(layout.O, 0);

    const std::string path = PathOf("empty.hcp");
    project->SaveToFileName(path);
    Bytes expected;
    expected.insert(expected.end(), kProjectMagic, kProjectMagic + 8);
    AppendInt(expected, 1);
    AppendInt(expected, 0);
    AppendInt(expected, 9);
    Append(expected, "TSProject");
    AppendInt(expected, 1);
    Append(expected, "P");
    AppendInt(expected, 25);
    AppendInt(expected, 21);
    Append(expected, "This project is empty");
    AppendInt(expected, 4);
    AppendInt(expected, 0);  // no modules
    AppendInt(expected, 24);
    AppendInt(expected, 0);  // the root: no children,
    AppendInt(expected, 1);  // the first identity,
    AppendInt(expected, 0);  // no objects,
    AppendInt(expected, 8);
    Append(expected, "TSObject");
    AppendInt(expected, 0);  // H
    AppendInt(expected, 0);  // O
    ASSERT_EQ(expected.size(), 107u);
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_EQ(Listing(), std::vector<std::string>{"empty.hcp"});
    EXPECT_EQ(project->FileName(), "");

    auto loaded = std::unique_ptr<TSProject>(CreateProjectFromFile(path));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->ClassType(), &TSProject::ClassInfo);
    loaded->SetDescription("something else");
    loaded->LoadFromFileName(path);
    EXPECT_EQ(loaded->Name(), "P");
    EXPECT_EQ(loaded->Description(), "This project is empty");
    EXPECT_EQ(loaded->VersionMajor(), 1);
    EXPECT_EQ(loaded->VersionMinor(), 0);
    EXPECT_EQ(loaded->ClassTree()->Name(), "TSObject");
    EXPECT_EQ(loaded->ClassTree()->Count(), 0);
}

TEST_F(ProjectFile, NestedObjectsAndReferencesRoundTrip)
{
    auto project = Make<TTestProject>();
    project->SetName("Scene");
    project->SetDescription("two items and a tree");
    project->Header = "header text";
    project->Modules = {"libfirst.so", "libsecond.so"};

    auto first = MakeItem<TTestItem>("first", 7);
    auto second = MakeItem<TTestItem>("second", 8);
    auto third = MakeItem<TTestItem>("third", 10);
    auto unknownChild = MakeItem<TTestUnknown>("unknown child", 5);
    auto unknownTop = MakeItem<TTestUnknown>("unknown top", 9);
    third->Peer = unknownChild.get();  // links to nil: its class is not known on loading
    auto leaves = std::unique_ptr<TSDataBranch>(TSDataBranch::Create("leaves", 42, true));
    leaves->AddChild(TSDataBranch::Create("a"));
    leaves->AddChild(TSDataBranch::Create("b", 7));
    leaves->GetChild(0)->AddChild(TSDataBranch::Create("a1"));
    leaves->SetTag(-3);
    third->Child = std::move(leaves);
    first->Peer = second.get();
    second->Peer = first.get();
    first->Child = std::move(unknownChild);
    second->Child = std::move(third);
    project->Items.push_back(std::move(first));
    project->Items.push_back(nullptr);
    project->Items.push_back(std::move(unknownTop));
    project->Items.push_back(std::move(second));
    project->Tree.reset(TSDataBranch::Create("tree"));
    static_cast<TSDataBranch*>(project->Tree.get())->AddChild(TSDataBranch::Create("branch"));

    const std::string path = PathOf("scene.hcp");
    project->SaveToFileName(path);
    EXPECT_EQ(project->SeenFileName, fs::canonical(path).string());
    // The class-usage tree counts the objects of every class with those below it.
    TSDataBranch* tree = project->ClassTree();
    EXPECT_EQ(tree->Tag(), 11);
    TSDataBranch* items = tree->FindPath("TSCustomChangeObject/TTestItem", false, '/');
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(items->Tag(), 5);
    EXPECT_EQ(items->FindChildByName("TTestUnknown", true)->Tag(), 2);
    EXPECT_EQ(tree->FindPath("TSBranch/TSDataBranch", false, '/')->Tag(), 6);

    auto loaded = std::unique_ptr<TSProject>(CreateProjectFromFile(path));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->ClassType(), &TTestProject::ClassInfo);
    auto* copy = static_cast<TTestProject*>(loaded.get());
    copy->LoadFromFileName(path);

    EXPECT_EQ(copy->Name(), "Scene");
    EXPECT_EQ(copy->Description(), "two items and a tree");
    EXPECT_EQ(copy->Header, "header text");
    EXPECT_EQ(copy->Checked, (std::vector<std::string>{"libfirst.so:0", "libsecond.so:0"}));
    EXPECT_EQ(copy->ModuleList()->Count(), 2);
    ASSERT_EQ(copy->Items.size(), 4u);
    auto* a = dynamic_cast<TTestItem*>(copy->Items[0].get());
    auto* b = dynamic_cast<TTestItem*>(copy->Items[3].get());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(copy->Items[1], nullptr);  // the nil record
    EXPECT_EQ(copy->Items[2], nullptr);  // the unknown class, skipped
    EXPECT_EQ(a->Name(), "first");
    EXPECT_EQ(a->Value, 7);
    EXPECT_EQ(a->Child, nullptr);  // skipped inside its holder's record
    EXPECT_EQ(a->Peer, b);
    EXPECT_EQ(b->Value, 8);
    EXPECT_EQ(b->Peer, a);
    auto* c = dynamic_cast<TTestItem*>(b->Child.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Name(), "third");
    EXPECT_EQ(c->Value, 10);
    EXPECT_EQ(c->Peer, nullptr);
    auto* leavesCopy = dynamic_cast<TSDataBranch*>(c->Child.get());
    ASSERT_NE(leavesCopy, nullptr);
    EXPECT_EQ(leavesCopy->Name(), "leaves");
    EXPECT_EQ(leavesCopy->Data(), TSNodeData(42));
    EXPECT_EQ(leavesCopy->Tag(), -3);
    EXPECT_TRUE(leavesCopy->Expanded());
    ASSERT_EQ(leavesCopy->Count(), 2);
    auto* leafA = dynamic_cast<TSDataBranch*>(leavesCopy->GetChild(0));
    ASSERT_NE(leafA, nullptr);
    EXPECT_EQ(leafA->Name(), "a");
    ASSERT_EQ(leafA->Count(), 1);
    EXPECT_EQ(static_cast<TSDataBranch*>(leafA->GetChild(0))->Name(), "a1");
    EXPECT_EQ(static_cast<TSDataBranch*>(leavesCopy->GetChild(1))->Data(), TSNodeData(7));
    auto* treeCopy = dynamic_cast<TSDataBranch*>(copy->Tree.get());
    ASSERT_NE(treeCopy, nullptr);
    EXPECT_EQ(treeCopy->Count(), 1);
    // The saved class table, and a map that knows every registered class of it.
    EXPECT_EQ(copy->ClassTree()->Tag(), 11);
    EXPECT_EQ(copy->ClassMap().front().Class, &TSObject::ClassInfo);
    EXPECT_EQ(copy->FileName(), "");

    // Saving the loaded copy writes the same objects again.
    const std::string again = PathOf("again.hcp");
    copy->SaveToFileName(again);
    auto third2 = Make<TTestProject>();
    third2->LoadFromFileName(again);
    ASSERT_EQ(third2->Items.size(), 4u);
    EXPECT_EQ(static_cast<TTestItem*>(third2->Items[0].get())->Peer, third2->Items[3].get());
}

TEST_F(ProjectFile, NilRecordIsTwelveZeroBytes)
{
    auto project = Make<TTestProject>();
    project->Header.clear();
    project->Items.push_back(nullptr);
    const std::string path = PathOf("nil.hcp");
    project->SaveToFileName(path);
    const Bytes file = ReadAll(path);
    const FileMap map(file);
    ASSERT_EQ(GetInt(file, map.O), 4 + 12 + 12);
    const Bytes objects(file.begin() + static_cast<std::ptrdiff_t>(map.O) + 4, file.end());
    Bytes expected(28, 0);
    expected[0] = 1;
    EXPECT_EQ(objects, expected);

    auto loaded = LoadFile(path);
    ASSERT_EQ(loaded->Items.size(), 1u);
    EXPECT_EQ(loaded->Items[0], nullptr);
    EXPECT_EQ(loaded->Tree, nullptr);

    TSProjectStream stream(loaded.get(), nullptr);
    EXPECT_EQ(stream.FindObject(0, nullptr), nullptr);
    EXPECT_EQ(stream.WriteObject(nullptr), 12);
    EXPECT_EQ(stream.GetPosition(), 12);
}

TEST_F(ProjectFile, ClassesAreMatchedByNameIgnoringCase)
{
    auto project = SmallProject();
    const std::string path = PathOf("case.hcp");
    project->SaveToFileName(path);
    Bytes file = ReadAll(path);
    const FileMap map(file);
    auto rename = [&](const std::string& From, const std::string& To) {
        Bytes changed = file;
        const auto at =
            std::search(changed.begin() + static_cast<std::ptrdiff_t>(map.T), changed.end(), From.begin(), From.end());
        EXPECT_NE(at, changed.end()) << From;
        std::copy(To.begin(), To.end(), at);
        WriteAll(path, changed);
    };

    rename("TTestItem", "ttestITEM");
    auto loaded = LoadFile(path);
    ASSERT_EQ(loaded->Items.size(), 2u);
    EXPECT_NE(dynamic_cast<TTestItem*>(loaded->Items[0].get()), nullptr);

    // A class is known only when each ancestor below TSObject matches too.
    rename("TSCustomChangeObject", "TSCustomChangeObjecX");
    loaded = LoadFile(path);
    ASSERT_EQ(loaded->Items.size(), 2u);
    EXPECT_EQ(loaded->Items[0], nullptr);
    ASSERT_NE(loaded->Tree, nullptr);
}

TEST_F(ProjectFile, ObjectErrorsNameTheirClasses)
{
    struct Case {
        const char* what;
        std::function<void(TTestProject&)> arrange;
        std::string error;
    };
    const Case cases[] = {
        {
            "a load that reads 4 bytes fewer",
            [](TTestProject& p) { p.Items.push_back(MakeItem<TTestShortItem>("short", 1)); },
            "TSProject.TTestProject\n\rShort\n\rObject [",
        },
        {"a record of the wrong class", [](TTestProject& p) { p.Tree = MakeItem<TTestItem>("not a branch", 1); },
         "Can't Load Object \n\r \"TTestItem\" As \"TSDataBranch\""},
        {"a reference to an object of the wrong class",
         [](TTestProject& p) {
             auto other = Make<TTestOther>();
             auto item = MakeItem<TTestItem>("linked", 1);
             item->Peer = other.get();
             p.Items.push_back(std::move(other));
             p.Items.push_back(std::move(item));
         },
         "( Type - TTestOther )\n\rCan't Link As \"TTestItem\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto project = Make<TTestProject>();
        project->SetName("Short");
        c.arrange(*project);
        const std::string path = PathOf("errors.hcp");
        project->SaveToFileName(path);
        const std::string error = ErrorOf([&] { LoadFile(path); });
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    // The control-sum text ends with the class and the reason.
    auto project = Make<TTestProject>();
    project->Items.push_back(MakeItem<TTestShortItem>("short", 1));
    project->SaveToFileName(PathOf("short.hcp"));
    const std::string error = ErrorOf([&] { LoadFile(PathOf("short.hcp")); });
    EXPECT_NE(error.find("( Type - TTestShortItem )\n\rInvalid control sum"), std::string::npos) << error;
}

TEST_F(ProjectFile, EveryTruncationFailsCleanly)
{
    const std::string path = PathOf("small.hcp");
    SmallProject()->SaveToFileName(path);
    const Bytes file = ReadAll(path);
    ASSERT_GT(file.size(), 107u);
    ASSERT_NO_THROW(LoadFile(path));
    const std::string cut = PathOf("cut.hcp");
    for (std::size_t size = 0; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        WriteAll(cut, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_THROW(LoadFile(cut), EStreamError);
        if (size < FileMap(file).NameLength) {
            EXPECT_THROW(std::unique_ptr<TSProject>(CreateProjectFromFile(cut)), EStreamError);
        }
    }
}

TEST_F(ProjectFile, CorruptedSizesAndCountsAreRefused)
{
    const std::string path = PathOf("small.hcp");
    {
        auto project = SmallProject();
        project->Modules = {"libmodule.so"};
        project->SaveToFileName(path);
    }
    const Bytes file = ReadAll(path);
    const FileMap map(file);
    const std::size_t firstRecordSize = map.O + 4 + 4 + 8;

    struct Case {
        const char* field;
        std::size_t at;
        std::int32_t value;
        std::string error;
    };
    const std::string badString = "Invalid String Size";
    const Case cases[] = {
        {"class path length", map.PathLength, -1, badString},
        {"class path length", map.PathLength, 1 << 20, badString},
        {"name length", map.NameLength, 60000, kFormat},
        {"description block", map.D, -1, kFormat},
        {"description block", map.D, 0x7FFFFFFF, kFormat},
        {"description longer than its block", map.DescriptionLength, 1000, badString},
        {"module block", map.M, -1, kFormat},
        {"module block", map.M, 3, kFormat},
        {"module count", map.K, 4096, kFormat},
        {"module count", map.K, -1, kFormat},
        {"module count", map.K, 2, kFormat},
        {"module record size", map.K + 4, -1, kFormat},
        {"module record size", map.K + 4, 3, badString},
        {"module record size", map.K + 4, 100000, kFormat},
        {"class table", map.T, -1, kFormat},
        {"class table", map.T, 8, kFormat},
        {"class child count", map.RootChildren, -1, kFormat},
        {"class child count", map.RootChildren, 0x7FFFFFFF, kFormat},
        {"class name length", map.RootNameLength, -1, kFormat},
        {"class name length", map.RootNameLength, 0x7FFFFFFF, kFormat},
        {"objects header block", map.H, -1, kFormat},
        {"objects header block", map.H, 0x7FFFFFFF, kFormat},
        {"objects header block", map.H, 0, kFormat},
        {"objects block", map.O, -1, kFormat},
        {"objects block", map.O, 8, kFormat},
        {"object count", map.O + 4, 0x7FFFFFFF, kFormat},
        {"object record size", firstRecordSize, -1, kFormat},
        {"object record size", firstRecordSize, 0x7FFFFFF0, kFormat},
        {"object record size", firstRecordSize, 4, kFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " = " + std::to_string(c.value));
        Bytes bad = file;
        PutInt(bad, c.at, c.value);
        WriteAll(PathOf("bad.hcp"), bad);
        EXPECT_EQ(ErrorOf([&] { LoadFile(PathOf("bad.hcp")); }).substr(0, c.error.size()), c.error);
    }

    // Any int32 anywhere replaced by a hostile value loads or fails with an error
    // of the library, and nothing else.
    for (std::size_t at = 0; at + 4 <= file.size(); ++at)
        for (const std::int32_t value : {-1, 0, 0x7FFFFFFF, static_cast<std::int32_t>(file.size())}) {
            Bytes bad = file;
            PutInt(bad, at, value);
            WriteAll(PathOf("bad.hcp"), bad);
            try {
                LoadFile(PathOf("bad.hcp"));
            } catch (const ELibraryError&) {
            } catch (...) {
                ADD_FAILURE() << "offset " << at << " value " << value;
            }
        }
}

TEST_F(ProjectFile, NestingIsBoundedBothWays)
{
    auto chain = [](int Depth) {
        std::unique_ptr<TSDataBranch> top(TSDataBranch::Create("0"));
        TSDataBranch* last = top.get();
        for (int i = 1; i < Depth; ++i) {
            TSDataBranch* next = TSDataBranch::Create(std::to_string(i));
            last->AddChild(next);
            last = next;
        }
        return top;
    };
    const std::string path = PathOf("deep.hcp");
    auto project = Make<TTestProject>();
    project->Tree = chain(TSProjectStream::MaxNesting);
    project->SaveToFileName(path);
    EXPECT_NE(LoadFile(path)->Tree, nullptr);
    project->Tree = chain(TSProjectStream::MaxNesting + 1);
    EXPECT_EQ(ErrorOf([&] { project->SaveToFileName(path); }), "Objects nested too deep");

    // A file nested deeper than any save writes is refused, not followed down.
    Bytes file = ReadAll(path);
    const FileMap map(file);
    const std::string name = "TSDataBranch";
    const auto at =
        std::search(file.begin() + static_cast<std::ptrdiff_t>(map.T), file.end(), name.begin(), name.end());
    ASSERT_NE(at, file.end());
    const std::int32_t branchClass = GetInt(file, static_cast<std::size_t>(at - file.begin()) - 12);
    // Each record holds the next: all headers first, then all tails.
    auto records = [&](int Depth) {
        std::vector<std::int32_t> sizes(static_cast<std::size_t>(Depth));
        std::int32_t inner = 0;
        for (int level = Depth - 1; level >= 0; --level) {
            sizes[static_cast<std::size_t>(level)] = 4 + (inner ? 12 + inner : 0) + 4 + 12;
            inner = sizes[static_cast<std::size_t>(level)];
        }
        Bytes out;
        for (int level = 0; level < Depth; ++level) {
            AppendInt(out, branchClass);
            AppendInt(out, level + 1);
            AppendInt(out, sizes[static_cast<std::size_t>(level)]);
            AppendInt(out, level + 1 < Depth ? 1 : 0);
        }
        for (int level = 0; level < Depth; ++level) {
            AppendInt(out, 0);               // name
            out.resize(out.size() + 12, 0);  // data, tag, expanded
        }
        return out;
    };
    for (const int depth : {TSProjectStream::MaxNesting, TSProjectStream::MaxNesting + 1, 20000}) {
        SCOPED_TRACE(depth);
        Bytes objects;
        AppendInt(objects, 0);  // no items
        const Bytes tree = records(depth);
        objects.insert(objects.end(), tree.begin(), tree.end());
        Bytes crafted(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(map.O));
        AppendInt(crafted, static_cast<std::int32_t>(objects.size()));
        crafted.insert(crafted.end(), objects.begin(), objects.end());
        WriteAll(path, crafted);
        if (depth == TSProjectStream::MaxNesting)
            EXPECT_NE(LoadFile(path)->Tree, nullptr);
        else
            EXPECT_EQ(ErrorOf([&] { LoadFile(path); }), kFormat);
    }
}

TEST_F(ProjectFile, WrongMagicIsRefused)
{
    const std::string path = PathOf("magic.hcp");
    Make<TSProject>()->SaveToFileName(path);
    const Bytes file = ReadAll(path);
    for (std::size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        Bytes bad = file;
        bad[i] ^= 0x20;
        WriteAll(path, bad);
        EXPECT_EQ(ErrorOf([&] { LoadFile(path); }), kFormat);
        EXPECT_EQ(ErrorOf([&] { delete CreateProjectFromFile(path); }), kFormat);
    }
}

TEST_F(ProjectFile, FactoryResolvesTheClassPath)
{
    EXPECT_EQ(ErrorOf([&] { delete CreateProjectFromFile(PathOf("missing.hcp")); }).find("No such file"), 0u);
    const std::string path = PathOf("class.hcp");
    Make<TSProject>()->SaveToFileName(path);
    const Bytes file = ReadAll(path);
    const struct {
        const char* path;
        TSClass expected;  // nullptr: refused
    } cases[] = {
        {"TSProject", &TSProject::ClassInfo},
        {"tsproject", &TSProject::ClassInfo},
        {"TSProject.TTestProject", &TTestProject::ClassInfo},
        {"TSPROJECT.ttestproject", &TTestProject::ClassInfo},
        {"TSProject.TTestProject.TNotRegistered", &TTestProject::ClassInfo},
        {"TSProject.TNotRegistered.TTestProject", &TSProject::ClassInfo},
        {"TSProjectX", nullptr},
        {"TSProject.", nullptr},
        {"TSProjec", nullptr},
        {"XSProject", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ResolveProjectClass(c.path), c.expected);
        const std::string text = c.path;
        Bytes changed(file.begin(), file.begin() + 16);
        AppendInt(changed, static_cast<std::int32_t>(text.size()));
        Append(changed, text);
        changed.insert(changed.end(), file.begin() + 16 + 4 + 9, file.end());
        WriteAll(path, changed);
        if (c.expected == nullptr) {
            EXPECT_EQ(ErrorOf([&] { delete CreateProjectFromFile(path); }), kFormat);
        } else {
            std::unique_ptr<TSProject> made(CreateProjectFromFile(path));
            EXPECT_EQ(made->ClassType(), c.expected);
            EXPECT_EQ(made->Name().find(c.expected->Name), 0u);  // new, nothing loaded
        }
    }
    // Only classes below TSProject are looked for.
    EXPECT_EQ(ResolveProjectClass("TSProject.TTestItem"), &TSProject::ClassInfo);

    std::string text;
    ProjectClassPath(&TTestProject::ClassInfo, text);
    EXPECT_EQ(text, "TSProject.TTestProject");
    ProjectClassPath(&TTestItem::ClassInfo, text);
    EXPECT_EQ(text, "");
}

TEST_F(ProjectFile, FailedSaveLeavesTheOldFile)
{
    const std::string path = PathOf("keep.hcp");
    SmallProject()->SaveToFileName(path);
    const Bytes before = ReadAll(path);

    struct Case {
        const char* what;
        std::function<void(TTestProject&)> arrange;
    };
    const Case cases[] = {
        {"an object that writes more than it measured",
         [](TTestProject& p) { p.Items.push_back(MakeItem<TTestGreedyItem>("greedy", 1)); }},
        {"an object whose save fails",
         [](TTestProject& p) { p.Items.push_back(MakeItem<TTestFailingItem>("failing", 1)); }},
        {"a project inside the project", [](TTestProject& p) { p.Items.push_back(Make<TTestProject>()); }},
        {"an object busy in a change",
         [](TTestProject& p) {
             auto item = MakeItem<TTestItem>("busy", 1);
             item->BeginChange();
             p.Items.push_back(std::move(item));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto project = Make<TTestProject>();
        c.arrange(*project);
        EXPECT_THROW(project->SaveToFileName(path), ELibraryError);
        EXPECT_EQ(ReadAll(path), before);
        EXPECT_EQ(Listing(), std::vector<std::string>{"keep.hcp"});
        EXPECT_EQ(project->FileName(), "");
        EXPECT_EQ(project->Flags() & ofSaving, 0u);
        // Nothing at all is left where no file was.
        auto another = Make<TTestProject>();
        c.arrange(*another);
        EXPECT_THROW(another->SaveToFileName(PathOf("new.hcp")), ELibraryError);
        EXPECT_EQ(Listing(), std::vector<std::string>{"keep.hcp"});
    }
    EXPECT_THROW(Make<TSProject>()->SaveToFileName(PathOf("no/such/folder.hcp")), EOSError);
}

// Makes a file unwritable even for the superuser when the file system allows.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& Path) : m_path(Path)
    {
        ::chmod(Path.c_str(), 0444);
        m_immutable = SetFlag(true);
    }
    ~ReadOnlyFile()
    {
        if (m_immutable)
            SetFlag(false);
        ::chmod(m_path.c_str(), 0644);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    // Whether writing is refused to this process: a file without any write
    // permission is replaced by no one, the superuser included.
    bool Effective() const
    {
        struct stat st {};
        return ::access(m_path.c_str(), W_OK) != 0 || (::stat(m_path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0);
    }

private:
    bool SetFlag(bool On)
    {
        const int fd = ::open(m_path.c_str(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = On ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }
    std::string m_path;
    bool m_immutable = false;
};

TEST_F(ProjectFile, ReadOnlyProjectLoadsAndIsNotReplaced)
{
    const std::string path = PathOf("readonly.hcp");
    SmallProject()->SaveToFileName(path);
    const Bytes before = ReadAll(path);
    ReadOnlyFile readOnly(path);
    if (!readOnly.Effective())
        GTEST_SKIP() << "no way to make a file read-only for this user here";

    auto loaded = LoadFile(path);
    ASSERT_EQ(loaded->Items.size(), 2u);
    EXPECT_NE(loaded->Items[0], nullptr);

    EXPECT_THROW(loaded->SaveToFileName(path), EOSError);
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(Listing(), std::vector<std::string>{"readonly.hcp"});

    // The view of a loading stream is never written.
    TSProjectStream stream(loaded.get(), nullptr);
    std::int32_t size = 0;
    stream.Open(path, pmOpen, size);
    EXPECT_EQ(size, static_cast<std::int32_t>(before.size()));
    const std::int32_t value = 0;
    EXPECT_THROW(stream.Write(&value, 4), EInvalidOperation);
}

TEST_F(ProjectFile, SaveThroughALinkReplacesItsTargetAndKeepsItsMode)
{
    ASSERT_EQ(::mkdir(PathOf("data").c_str(), 0755), 0);
    const std::string real = PathOf("data/real.hcp");
    SmallProject()->SaveToFileName(real);
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("data/real.hcp", PathOf("link.hcp").c_str()), 0);
    auto project = SmallProject();
    project->SetName("Renamed");
    project->SaveToFileName(PathOf("link.hcp"));

    struct stat st {};
    ASSERT_EQ(::lstat(PathOf("link.hcp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(LoadFile(PathOf("link.hcp"))->Name(), "Renamed");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"data", "link.hcp"}));
    EXPECT_EQ(fs::directory_iterator(PathOf("data"))->path().filename(), "real.hcp");
}

TEST_F(ProjectFile, SaveAndLoadRunAsJobsInPlace)
{
    struct Messages {
        TSThread* thread = nullptr;
        std::vector<std::string> seen;
        std::string cancelAt;
        void On(TObject*, std::int32_t Code, TSParam)
        {
            if (Code != ecThreadMessage)
                return;
            seen.push_back(thread->Message());
            if (seen.back() == cancelAt)
                thread->RequestTerminate();
        }
    };
    auto thread = Make<TSThread>();
    Messages messages;
    messages.thread = thread.get();
    thread->Events.Add(TSEventHandler::Of<&Messages::On>(&messages));
    auto params = [](const std::string& Text) {
        auto p = std::make_unique<TSThreadParams>();
        p->SetData(Text.data(), static_cast<std::int32_t>(Text.size()));
        return p;
    };

    auto project = SmallProject();
    const std::string path = PathOf("job.hcp");
    ASSERT_TRUE(thread->RunSynchronously(params(path), TSThreadJob::Of<&TSProject::SaveToFile>(project.get())));
    EXPECT_EQ(thread->State(), tsDone);
    EXPECT_EQ(messages.seen, (std::vector<std::string>{"Starting Save Project ...", "Save Project Preparation ...",
                                                       "Save Project Header ...", "Save Project Objects Header ...",
                                                       "Save Project Objects ...", "Finishing Save Project ..."}));
    const Bytes saved = ReadAll(path);

    auto copy = Make<TTestProject>();
    messages.seen.clear();
    ASSERT_TRUE(thread->RunSynchronously(params(path), TSThreadJob::Of<&TSProject::LoadFromFile>(copy.get())));
    EXPECT_EQ(thread->State(), tsDone);
    EXPECT_EQ(messages.seen, (std::vector<std::string>{"Starting Load Project ...", "Load Project Header ...",
                                                       "Load Project Objects Header ...", "Load Project Objects ...",
                                                       "Finishing Load Project ..."}));
    EXPECT_EQ(copy->Items.size(), 2u);
    EXPECT_GT(thread->Progress(), 0);

    // Cancelled half-way, a save leaves the file as it was.
    project->Items.push_back(MakeItem<TTestItem>("more", 2));
    messages.cancelAt = "Save Project Objects ...";
    thread->RunSynchronously(params(path), TSThreadJob::Of<&TSProject::SaveToFile>(project.get()));
    EXPECT_EQ(thread->State(), tsAborted);
    EXPECT_EQ(ReadAll(path), saved);
    EXPECT_EQ(Listing(), std::vector<std::string>{"job.hcp"});

    // A failing load is reported through the state.
    messages.cancelAt.clear();
    thread->RunSynchronously(params(PathOf("missing.hcp")), TSThreadJob::Of<&TSProject::LoadFromFile>(copy.get()));
    EXPECT_EQ(thread->State(), tsFailed);
    thread->Events.Remove(TSEventHandler::Of<&Messages::On>(&messages));
}

TEST_F(ProjectFile, ProjectsAreListedAndFindTheirObjects)
{
    TSObjectsList* list = GlobalProjectsList();
    ASSERT_NE(list, nullptr);
    auto project = Make<TSProject>();
    EXPECT_GE(list->IndexOf(project.get()), 0);
    auto item = Make<TTestItem>();
    // A plain project holds nothing.
    EXPECT_EQ(FindProjectOfObject(item.get()), nullptr);
    EXPECT_EQ(FindProjectOfObject(nullptr), nullptr);
    TSProject* raw = project.get();
    project.reset();
    EXPECT_EQ(list->IndexOf(raw), -1);
}

}  // namespace
