#include "EngineTestSupport.h"

#include "engine3d/model/GeneralProc.h"
#include "engine3d/model/SRTDRegistry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Model classes of the tests: TRegA < TSCustomChangeObject, TRegB < TRegA,
// TRegC < TSObject, and two parameter-set classes.
class TRegA : public TSCustomChangeObject {
    S_CLASS(TRegA)
};
class TRegB final : public TRegA {
    S_CLASS(TRegB)
};
class TRegC final : public TSObject {
    S_CLASS(TRegC)
};
class TRegA_Depository final : public TSObject {
    S_CLASS(TRegA_Depository)
};
class TRegC_Depository final : public TSObject {
    S_CLASS(TRegC_Depository)
};
constinit const TSClassInfo TRegA::ClassInfo{"TRegA", &TSCustomChangeObject::ClassInfo, &TSNewObject<TRegA>};
constinit const TSClassInfo TRegB::ClassInfo{"TRegB", &TRegA::ClassInfo, &TSNewObject<TRegB>};
constinit const TSClassInfo TRegC::ClassInfo{"TRegC", &TSObject::ClassInfo, &TSNewObject<TRegC>};
constinit const TSClassInfo TRegA_Depository::ClassInfo{"TRegA_Depository", &TSObject::ClassInfo,
                                                        &TSNewObject<TRegA_Depository>};
constinit const TSClassInfo TRegC_Depository::ClassInfo{"TRegC_Depository", &TSObject::ClassInfo,
                                                        &TSNewObject<TRegC_Depository>};

// A node that counts its frees.
class TCountedNode final : public TSDataBranch {
    S_CLASS(TCountedNode)
public:
    static inline int Freed = 0;
    ~TCountedNode() override { ++Freed; }
};
constinit const TSClassInfo TCountedNode::ClassInfo{"TCountedNode", &TSDataBranch::ClassInfo,
                                                    &TSNewObject<TCountedNode>};

// A node whose own part of the virtual constructor adds a tag; it fails for
// the name "fail".
class TTaggedNode final : public TSDataBranch {
    S_CLASS(TTaggedNode)
public:
    static inline int Freed = 0;
    ~TTaggedNode() override { ++Freed; }

protected:
    void InitializeNode(const std::string& Name, TSNodeData Data, bool Expanded) override
    {
        TSDataBranch::InitializeNode(Name, Data, Expanded);
        if (Name == "fail")
            throw EInvalidOperation("no such node");
        SetTag(static_cast<std::int32_t>(Name.size()));
    }
};
constinit const TSClassInfo TTaggedNode::ClassInfo{"TTaggedNode", &TSDataBranch::ClassInfo, &TSNewObject<TTaggedNode>};

// A data node class that cannot be created by reference.
class TAbstractNode final : public TSDataBranch {
    S_CLASS(TAbstractNode)
};
constinit const TSClassInfo TAbstractNode::ClassInfo{"TAbstractNode", &TSDataBranch::ClassInfo, nullptr};

TSDataBranch* Node(const std::string& name, TSDataBranch* parent = nullptr, TSNodeData data = {})
{
    TSDataBranch* n = TSDataBranch::Create(name, data);
    if (parent)
        parent->AddChild(n);
    return n;
}

// The names of a tree: "R(A(C D) B)".
std::string Shape(const TSBranch* b)
{
    auto* d = dynamic_cast<const TSDataBranch*>(b);
    std::string s = d ? d->Name() : "?";
    if (b->Count() > 0) {
        s += '(';
        for (std::int32_t i = 0; i < b->Count(); ++i)
            s += (i ? " " : "") + (b->GetChild(i) ? Shape(b->GetChild(i)) : std::string("-"));
        s += ')';
    }
    return s;
}

// The test classes leave the registry as they found it.
class SRTDRegistryTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (TSClass c :
             {&TRegA::ClassInfo, &TRegC::ClassInfo, &TRegA_Depository::ClassInfo, &TRegC_Depository::ClassInfo})
            UnregisterRTDClass(c);
        for (TSClass d : {&TRegA_Depository::ClassInfo, &TRegC_Depository::ClassInfo})
            for (TSClass o : {&TRegA::ClassInfo, &TRegB::ClassInfo, &TRegC::ClassInfo})
                UnregisterDepositoryClass(d, o);
    }
};

}  // namespace

TEST(SameText, LatinAndCyrillicIgnoreCase)
{
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"Classes", "classes", true},
        {"CLASSES", "ClAsSeS", true},
        {"Classes", "Classe", false},
        {"", "", true},
        {"", "a", false},
        {"Привет", "ПРИВЕТ", true},
        {"Ёлка", "ёЛКА", true},
        {"Їжак Ґанок", "їЖАК ґАНОК", true},
        {"Объект 3D", "объект 3d", true},
        {"Ш", "Щ", false},
        {"Ꙑ", "ꙑ", false},  // outside the alphabets that are folded
        {"\xff\xfe", "\xff\xfe", true},
        {"\xff", "\xfe", false},
        {"\xd0", "\xd0\x90", false},  // a cut sequence is a byte of its own
        {"A\xd0", "a\xd0", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SameText(c.b, c.a), c.same) << c.b << " / " << c.a;
        EXPECT_EQ(SameName(c.a, c.b, true), std::strcmp(c.a, c.b) == 0);
    }
}

TEST(SDataBranch, FieldsAndCreate)
{
    std::unique_ptr<TSDataBranch> fresh(TSObject::Create<TSDataBranch>());
    EXPECT_EQ(fresh->Name(), "");
    EXPECT_TRUE(fresh->Data().IsNil());
    EXPECT_EQ(fresh->Tag(), 0);
    EXPECT_FALSE(fresh->Expanded());

    int anything = 0;
    std::unique_ptr<TSDataBranch> n(TSDataBranch::Create("node", &anything, true));
    EXPECT_EQ(n->Name(), "node");
    EXPECT_EQ(n->Data().As<int>(), &anything);
    EXPECT_TRUE(n->Data().IsReference);
    EXPECT_TRUE(n->Expanded());
    EXPECT_EQ(n->Owner(), nullptr);
    n->SetData(-3);
    EXPECT_FALSE(n->Data().IsReference);
    EXPECT_EQ(n->Data().Value, -3);
}

TEST(SDataBranch, CreateIsAVirtualConstructor)
{
    struct Case {
        const char* what;
        TSClass cls;
        TSClass made;  // nullptr: nothing made
    };
    const Case cases[] = {
        {"the node class", &TSDataBranch::ClassInfo, &TSDataBranch::ClassInfo},
        {"a class below it", &TTaggedNode::ClassInfo, &TTaggedNode::ClassInfo},
        {"a class two below it", &TCountedNode::ClassInfo, &TCountedNode::ClassInfo},
        {"a plain branch class", &TSBranch::ClassInfo, nullptr},
        {"an unrelated class", &TRegC::ClassInfo, nullptr},
        {"no class", nullptr, nullptr},
        {"a class without factory", &TAbstractNode::ClassInfo, nullptr},
    };
    for (const auto& c : cases) {
        std::unique_ptr<TSDataBranch> n(TSDataBranch::Create(c.cls, "node", 9, true));
        if (c.made == nullptr) {
            EXPECT_EQ(n, nullptr) << c.what;
            continue;
        }
        ASSERT_NE(n, nullptr) << c.what;
        EXPECT_EQ(n->ClassType(), c.made) << c.what;
        EXPECT_EQ(n->Name(), "node") << c.what;
        EXPECT_EQ(n->Data().Value, 9) << c.what;
        EXPECT_TRUE(n->Expanded()) << c.what;
        EXPECT_EQ(n->Owner(), nullptr) << c.what;
        EXPECT_EQ(n->Tag(), c.made == &TTaggedNode::ClassInfo ? 4 : 0) << c.what << ": the class's own part ran";
    }

    std::unique_ptr<TTaggedNode> typed(TSDataBranch::Create<TTaggedNode>("typed"));
    EXPECT_EQ(typed->Tag(), 5);

    // A failing construction leaves no node behind.
    const int freed = TTaggedNode::Freed;
    EXPECT_THROW(TSDataBranch::Create(&TTaggedNode::ClassInfo, "fail"), EInvalidOperation);
    EXPECT_EQ(TTaggedNode::Freed, freed + 1);
}

TEST(SDataBranch, SearchesByNameDataAndPath)
{
    int a = 0, b = 0, c = 0;
    std::unique_ptr<TSDataBranch> root(Node("Root"));
    TSDataBranch* classes = Node("Classes", root.get(), &a);
    TSDataBranch* x = Node("X", classes, &b);
    TSDataBranch* y = Node("Y", x, &c);
    TSDataBranch* again = Node("Classes", root.get(), &c);  // later in slot order
    Node("Ёж", root.get());
    root->AddChild(TSObject::Create<TSBranch>());  // a plain branch is passed over
    ASSERT_EQ(Shape(root.get()), "Root(Classes(X(Y)) Classes Ёж ?)");

    struct NameCase {
        const char* name;
        bool caseSensitive;
        TSDataBranch* expected;
    };
    const NameCase names[] = {
        {"Classes", true, classes}, {"classes", false, classes},
        {"classes", true, nullptr}, {"ЁЖ", false, root->FindChildByName("Ёж", true)},
        {"ЁЖ", true, nullptr},      {"X", false, nullptr},
    };
    for (const auto& c : names)
        EXPECT_EQ(root->FindChildByName(c.name, c.caseSensitive), c.expected) << c.name;

    struct PathCase {
        const char* path;
        bool caseSensitive;
        char separator;
        TSDataBranch* expected;
    };
    const PathCase paths[] = {
        {"", true, '\\', root.get()},           {"\\", true, '\\', root.get()},
        {"Classes", true, '\\', classes},       {"Classes\\X\\Y", true, '\\', y},
        {"Classes\\X\\Y\\", true, '\\', y},     {"classes\\x\\y", false, '\\', y},
        {"classes\\x\\y", true, '\\', nullptr}, {"Classes/X", true, '/', x},
        {"Classes/X", true, '\\', nullptr},     {"Classes\\Z\\Y", true, '\\', nullptr},
        {"Classes\\\\X", true, '\\', nullptr},  {"Classes\\X\\Y\\Y", true, '\\', nullptr},
    };
    for (const auto& c : paths)
        EXPECT_EQ(root->FindPath(c.path, c.caseSensitive, c.separator), c.expected) << c.path;

    // By data: the children only, or the node and then depth first in slot order.
    EXPECT_EQ(root->FindChildByData(&a), classes);
    EXPECT_EQ(root->FindChildByData(&b), nullptr);
    EXPECT_EQ(root->FindChildByData(&c), again);
    EXPECT_EQ(root->FindByData(&c), y);
    EXPECT_EQ(classes->FindByData(&a), classes);
    EXPECT_EQ(root->FindByData(nullptr), nullptr);
    EXPECT_EQ(root->FindChildByData(nullptr), nullptr);

    // ForceChild finds before it makes; the new one is the last child.
    EXPECT_EQ(root->ForceChild("CLASSES", false), classes);
    TSDataBranch* made = root->ForceChild("CLASSES", true);
    EXPECT_NE(made, classes);
    EXPECT_EQ(root->GetChild(root->Count() - 1), made);

    std::string path;
    y->GetPath(nullptr, '\\', path);
    EXPECT_EQ(path, "Root\\Classes\\X\\Y");
    y->GetPath(root.get(), '/', path);
    EXPECT_EQ(path, "Classes/X/Y");
    y->GetPath(y, '/', path);
    EXPECT_EQ(path, "Root/Classes/X/Y") << "a Root that is no ancestor goes up to the top";
    root->GetPath(nullptr, '/', path);
    EXPECT_EQ(path, "Root");
}

TEST(SDataBranch, PathThroughPlainBranchAndExpanding)
{
    std::unique_ptr<TSDataBranch> root(Node("R"));
    auto* plain = TSObject::Create<TSBranch>();
    root->AddChild(plain);
    TSDataBranch* a = Node("A");
    plain->AddChild(a);
    TSDataBranch* b = Node("B", a);
    TSDataBranch* sibling = Node("S", root.get());

    std::string path;
    b->GetPath(nullptr, '\\', path);
    EXPECT_EQ(path, "R\\\\A\\B") << "a plain branch gives only its separator";

    b->ExpandPath(true);
    EXPECT_TRUE(b->Expanded());
    EXPECT_TRUE(a->Expanded());
    EXPECT_TRUE(root->Expanded());
    EXPECT_FALSE(sibling->Expanded());

    root->SetExpandedAll(false);
    EXPECT_FALSE(root->Expanded());
    EXPECT_FALSE(sibling->Expanded());
    EXPECT_TRUE(a->Expanded()) << "the walk goes through data nodes only";
    a->SetExpandedAll(false);
    EXPECT_FALSE(b->Expanded());
}

TEST(SDataBranch, CloneCopiesFieldsAndSubtree)
{
    int data = 0;
    std::unique_ptr<TSDataBranch> root(TSDataBranch::Create("R", &data, true));
    root->SetTag(7);
    Node("B", Node("A", root.get(), 12));
    std::unique_ptr<TSDataBranch> copy(static_cast<TSDataBranch*>(root->Clone(nullptr)));
    EXPECT_EQ(Shape(copy.get()), "R(A(B))");
    EXPECT_EQ(copy->Data().As<int>(), &data);
    EXPECT_EQ(copy->Tag(), 7);
    EXPECT_TRUE(copy->Expanded());
    EXPECT_EQ(static_cast<TSDataBranch*>(copy->GetChild(0))->Data().Value, 12);
    EXPECT_NE(copy->GetChild(0), root->GetChild(0));
}

TEST(SDataBranch, SavesTwelveBytesAfterItsNameAndNeverAnAddress)
{
    int object = 0;
    std::unique_ptr<TSDataBranch> root(TSDataBranch::Create("Root", &object, true));
    root->SetTag(-9);
    TSDataBranch* key = Node("Key", root.get(), -2);
    key->SetTag(5);

    MemoryStream s;
    s.Known = {&TSDataBranch::ClassInfo};
    const std::int32_t written = root->Save(&s);
    ASSERT_EQ(written, static_cast<std::int32_t>(s.Bytes.size()));
    // Behind the children: the name as a stream string, then Data, Tag, Expanded.
    const std::size_t tail = s.Bytes.size() - 12;
    std::int32_t fields[3];
    std::memcpy(fields, s.Bytes.data() + tail, 12);
    EXPECT_EQ(fields[0], 0) << "a reference is saved as 0";
    EXPECT_EQ(fields[1], -9);
    EXPECT_EQ(fields[2], 1);
    std::int32_t nameLength = 0;
    std::memcpy(&nameLength, s.Bytes.data() + tail - 8, 4);
    EXPECT_EQ(nameLength, 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Bytes.data() + tail - 4), 4), "Root");

    // Only the low byte of Expanded counts on loading.
    const std::pair<std::int32_t, bool> expandedCases[] = {{0x100, false}, {0x101, true}, {0, false}};
    for (const auto& [stored, expanded] : expandedCases) {
        std::memcpy(s.Bytes.data() + tail + 8, &stored, 4);
        s.Pos = 0;
        std::unique_ptr<TSDataBranch> back(TSObject::Create<TSDataBranch>());
        EXPECT_EQ(back->Load(&s), written);
        EXPECT_EQ(Shape(back.get()), "Root(Key)");
        EXPECT_TRUE(back->Data().IsNil());
        EXPECT_EQ(back->Tag(), -9);
        EXPECT_EQ(back->Expanded(), expanded) << stored;
        auto* k = static_cast<TSDataBranch*>(back->GetChild(0));
        EXPECT_EQ(k->Data().Value, -2) << "a number comes back";
        EXPECT_EQ(k->Tag(), 5);
    }

    // A damaged name length is refused with the stream error.
    const std::int32_t bad = -1;
    std::memcpy(s.Bytes.data() + tail - 8, &bad, 4);
    s.Pos = 0;
    std::unique_ptr<TSDataBranch> back(TSObject::Create<TSDataBranch>());
    EXPECT_THROW(back->Load(&s), EStreamError);
    EXPECT_EQ(root->Save(nullptr), -1);
}

TEST(SRTDRegistryTable, KeysAndRoots)
{
    struct NameCase {
        TSRegistryKey key;
        const char* name;
    };
    const NameCase names[] = {
        {0, "{00000000}"},
        {0x1234ABCD, "{1234ABCD}"},
        {-1, "{FFFFFFFF}"},
        {-4, "{FFFFFFFC}"},
        {static_cast<TSRegistryKey>(0xFFFFFFFFu), "{FFFFFFFF}"},
        {static_cast<TSRegistryKey>(0x123456789ABCLL), "{0000123456789ABC}"},
    };
    for (const auto& c : names)
        EXPECT_EQ(TSRTDRegistry::RootName(c.key), c.name);

    TSRTDRegistry registry;
    EXPECT_EQ(registry.IndexOfKey(5), -1);
    EXPECT_EQ(registry.ForceKey(5), 0);
    EXPECT_EQ(registry.ForceKey(7), 1);
    EXPECT_EQ(registry.ForceKey(9), 2);
    EXPECT_EQ(registry.ForceKey(5), 0);
    EXPECT_EQ(registry.Root(1)->Name(), "{00000007}");
    EXPECT_EQ(registry.FindRoot(9), registry.Root(2));
    EXPECT_EQ(registry.Root(3), nullptr);

    // Removing a key closes the gap and frees the tree.
    TCountedNode::Freed = 0;
    registry.Root(1)->AddChild(TSObject::Create<TCountedNode>());
    registry.RemoveKey(7);
    EXPECT_EQ(TCountedNode::Freed, 1);
    EXPECT_EQ(registry.Count(), 2);
    EXPECT_EQ(registry.IndexOfKey(9), 1);
    EXPECT_EQ(registry.FindRoot(7), nullptr);
    registry.RemoveKey(7);
    EXPECT_EQ(registry.Count(), 2);

    registry.Root(1)->AddChild(TSObject::Create<TCountedNode>());
    registry.SetCount(1);
    EXPECT_EQ(TCountedNode::Freed, 2);
    EXPECT_EQ(registry.IndexOfKey(9), -1);
    registry.SetCount(-3);
    EXPECT_EQ(registry.Count(), 0);
}

TEST_F(SRTDRegistryTest, RegistersTheWholeAncestry)
{
    // The unit's own classes are there from the start.
    struct PathCase {
        const char* path;
        TSClass expected;
    };
    const PathCase startup[] = {
        {"Classes\\TObject", &TObject::ClassInfo},
        {"Classes\\TObject\\TSObjectsStream", &TSObjectsStream::ClassInfo},
        {"Classes\\TObject\\TPersistent\\TSObject\\TSBranch\\TSDataBranch", &TSDataBranch::ClassInfo},
        {"Classes\\TObject\\TPersistent\\TSObject\\TSCustomChangeObject", &TSCustomChangeObject::ClassInfo},
        {"Classes\\TObject\\TPersistent\\TSObject\\TSCustomChangeObject\\", &TSCustomChangeObject::ClassInfo},
    };
    for (const auto& c : startup) {
        TSDataBranch* node = FindRegistryPath(0, c.path);
        ASSERT_NE(node, nullptr) << c.path;
        EXPECT_EQ(node->Data().AsClass(), c.expected) << c.path;
        EXPECT_FALSE(node->Expanded());
    }
    EXPECT_EQ(FindRegistryPath(0, ""), FindRegistryRoot(0));
    EXPECT_EQ(FindRegistryRoot(0)->Name(), "{00000000}");
    EXPECT_EQ(FindRegistryPath(0, "classes\\TObject"), nullptr) << "registry paths observe case";
    EXPECT_EQ(FindRegistryPath(12345, "Classes"), nullptr);

    TSDataBranch* classes = FindRTDClassesBranch();
    ASSERT_NE(classes, nullptr);
    const std::int32_t before = classes->TotalCount();
    TSDataBranch* b = RegisterRTDClass(&TRegB::ClassInfo);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(classes->TotalCount(), before + 2) << "TRegA comes with TRegB";
    EXPECT_EQ(RegisterRTDClass(&TRegB::ClassInfo), b);
    EXPECT_EQ(RegisterRTDClass(&TRegA::ClassInfo), b->Parent());
    EXPECT_EQ(classes->TotalCount(), before + 2);
    EXPECT_EQ(RegisterRTDClass(nullptr), nullptr);

    std::string path;
    b->GetPath(classes, '\\', path);
    EXPECT_EQ(path, "TObject\\TPersistent\\TSObject\\TSCustomChangeObject\\TRegA\\TRegB");
    EXPECT_EQ(FindRegistryPath(0, "Classes\\" + path), b);

    // Look-up by name ignores case; by node the class's own.
    struct NameCase {
        const char* name;
        TSClass expected;
    };
    const NameCase names[] = {
        {"TRegB", &TRegB::ClassInfo},       {"tregb", &TRegB::ClassInfo}, {"TREGA", &TRegA::ClassInfo},
        {"TSObject", &TSObject::ClassInfo}, {"TRegC", nullptr},           {"", nullptr},
    };
    for (const auto& c : names)
        EXPECT_EQ(FindRTDClass(c.name), c.expected) << c.name;
    EXPECT_EQ(FindRTDClassNode(&TRegB::ClassInfo), b);
    EXPECT_EQ(FindRTDClassNode(&TRegC::ClassInfo), nullptr);
}

TEST_F(SRTDRegistryTest, UnregisteringTakesTheDescendantsAlong)
{
    RegisterRTDClass(&TRegB::ClassInfo);
    RegisterRTDClass(&TRegC::ClassInfo);
    const std::int32_t total = FindRTDClassesBranch()->TotalCount();

    // In the order units end: the descendant first, then its ancestor...
    UnregisterRTDClass(&TRegB::ClassInfo);
    EXPECT_EQ(FindRTDClassNode(&TRegB::ClassInfo), nullptr);
    EXPECT_NE(FindRTDClassNode(&TRegA::ClassInfo), nullptr);
    UnregisterRTDClass(&TRegA::ClassInfo);
    EXPECT_EQ(FindRTDClassesBranch()->TotalCount(), total - 2);

    // ...or the ancestor alone, which frees the subtree.
    RegisterRTDClass(&TRegB::ClassInfo);
    UnregisterRTDClass(&TRegA::ClassInfo);
    EXPECT_EQ(FindRTDClassNode(&TRegB::ClassInfo), nullptr);
    EXPECT_EQ(FindRTDClassesBranch()->TotalCount(), total - 2);
    EXPECT_NE(FindRTDClassNode(&TRegC::ClassInfo), nullptr);
    UnregisterRTDClass(&TRegB::ClassInfo);  // no longer there: nothing happens
    UnregisterRTDClass(nullptr);
    EXPECT_NE(FindRTDClassNode(&TSCustomChangeObject::ClassInfo), nullptr);
}

TEST_F(SRTDRegistryTest, DepositoryPairs)
{
    EXPECT_EQ(RegisterDepositoryClass(nullptr, &TRegA::ClassInfo), nullptr);
    EXPECT_EQ(RegisterDepositoryClass(&TRegA_Depository::ClassInfo, nullptr), nullptr);
    EXPECT_EQ(FindDepositoryClass(&TRegA::ClassInfo), nullptr);

    TSDataBranch* dep = RegisterDepositoryClass(&TRegA_Depository::ClassInfo, &TRegA::ClassInfo);
    ASSERT_NE(dep, nullptr);
    EXPECT_EQ(RegisterDepositoryClass(&TRegA_Depository::ClassInfo, &TRegC::ClassInfo), dep);
    EXPECT_EQ(RegisterDepositoryClass(&TRegA_Depository::ClassInfo, &TRegA::ClassInfo), dep);
    EXPECT_EQ(Shape(dep), "TRegA_Depository(TRegA TRegC)");
    EXPECT_EQ(dep->Parent(), FindRegistryPath(0, "Depository Classes"));
    RegisterDepositoryClass(&TRegC_Depository::ClassInfo, &TRegC::ClassInfo);

    struct Case {
        TSClass object, depository;
    };
    const Case found[] = {
        {&TRegA::ClassInfo, &TRegA_Depository::ClassInfo},
        {&TRegC::ClassInfo, &TRegA_Depository::ClassInfo},  // the first registered wins
        {&TRegB::ClassInfo, nullptr},                       // ancestors are not tried
        {&TSObject::ClassInfo, nullptr},
        {nullptr, nullptr},
    };
    for (const auto& c : found)
        EXPECT_EQ(FindDepositoryClass(c.object), c.depository) << (c.object ? c.object->Name : "nil");

    // Removal in the editors' order: the last pair takes the depository's node along.
    UnregisterDepositoryClass(&TRegA_Depository::ClassInfo, &TRegC::ClassInfo);
    EXPECT_EQ(Shape(dep), "TRegA_Depository(TRegA)");
    EXPECT_EQ(FindDepositoryClass(&TRegC::ClassInfo), &TRegC_Depository::ClassInfo);
    UnregisterDepositoryClass(&TRegA_Depository::ClassInfo, &TRegA::ClassInfo);
    EXPECT_EQ(FindRegistryPath(0, "Depository Classes")->FindChildByData(&TRegA_Depository::ClassInfo), nullptr);
    EXPECT_EQ(FindDepositoryClass(&TRegA::ClassInfo), nullptr);
    UnregisterDepositoryClass(&TRegA_Depository::ClassInfo, &TRegA::ClassInfo);
}

TEST_F(SRTDRegistryTest, OtherKeysKeepTreesOfTheirOwn)
{
    const auto key = reinterpret_cast<TSRegistryKey>(&TRegC::ClassInfo);
    EXPECT_EQ(FindRegistryRoot(key), nullptr);
    TSDataBranch* root = GetRegistryRoot(key);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(GetRegistryRoot(key), root);
    Node("Creators", root);
    EXPECT_EQ(FindRegistryPath(key, "Creators\\"), root->GetChild(0));
    RemoveRegistryKey(key);
    EXPECT_EQ(FindRegistryRoot(key), nullptr);
    EXPECT_NE(FindRegistryRoot(0), nullptr);
}
