#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace {

// A branch with a one-letter tag that it copies, saves and loads.
class TTagBranch : public TSBranch {
    S_CLASS(TTagBranch)
public:
    static inline std::string Freed;
    char Tag = '?';

    ~TTagBranch() override { Freed += Tag; }
    void Assign(TPersistent* Source) override
    {
        if (auto* t = dynamic_cast<TTagBranch*>(Source))
            Tag = t->Tag;
        TSBranch::Assign(Source);
    }
    std::int32_t Save(TSObjectsStream* S) override
    {
        const std::int32_t n = TSBranch::Save(S);
        S->Write(&Tag, 1);
        return n + 1;
    }
    std::int32_t Load(TSObjectsStream* S) override
    {
        const std::int32_t n = TSBranch::Load(S);
        S->Read(&Tag, 1);
        return n + 1;
    }
    std::int32_t Link(TSObjectsStream*) override { return Tag == 'L' ? 2 : -1; }
};
constinit const TSClassInfo TTagBranch::ClassInfo{"TTagBranch", &TSBranch::ClassInfo, &TSNewObject<TTagBranch>};

// A class that the reading side does not know.
class TStranger final : public TTagBranch {
    S_CLASS(TStranger)
};
constinit const TSClassInfo TStranger::ClassInfo{"TStranger", &TTagBranch::ClassInfo, &TSNewObject<TStranger>};

TTagBranch* Make(char tag, TSBranch* parent = nullptr, TSClass cls = &TTagBranch::ClassInfo)
{
    auto* b = static_cast<TTagBranch*>(TSObject::Create(cls, nullptr));
    b->Tag = tag;
    if (parent)
        parent->AddChild(b);
    return b;
}

// "R(A(C D) B)"; a nil slot shows as "-".
std::string Describe(const TSBranch* b)
{
    if (b == nullptr)
        return "-";
    std::string s(1, static_cast<const TTagBranch*>(b)->Tag);
    if (b->Count() > 0) {
        s += '(';
        for (std::int32_t i = 0; i < b->Count(); ++i)
            s += (i ? " " : "") + Describe(b->GetChild(i));
        s += ')';
    }
    return s;
}

// R(A(C D) B), with the nodes by tag.
struct Tree {
    std::map<char, TTagBranch*> n;
    std::unique_ptr<TTagBranch> root;
    Tree()
    {
        root.reset(Make('R'));
        n['R'] = root.get();
        n['A'] = Make('A', root.get());
        n['B'] = Make('B', root.get());
        n['C'] = Make('C', n['A']);
        n['D'] = Make('D', n['A']);
        TTagBranch::Freed.clear();
    }
};

}  // namespace

TEST(SBranch, TreeOperations)
{
    struct Case {
        const char* what;
        std::function<void(Tree&)> op;
        const char* tree;   // the root afterwards
        const char* freed;  // tags freed by the operation, in order
    };
    const Case cases[] = {
        {"SetParent C to B", [](Tree& t) { t.n['C']->SetParent(t.n['B']); }, "R(A(D) B(C))", ""},
        {"SetParent to itself", [](Tree& t) { t.n['A']->SetParent(t.n['A']); }, "R(A(C D) B)", ""},
        {"SetParent to the current parent", [](Tree& t) { t.n['A']->SetParent(t.root.get()); }, "R(A(C D) B)", ""},
        {"SetChild with an ancestor", [](Tree& t) { t.n['A']->SetChild(0, t.root.get()); }, "R(A(C D) B)", ""},
        {"SetChild moves an own child", [](Tree& t) { t.root->SetChild(1, t.n['A']); }, "R(B A(C D))", ""},
        {"SetChild frees the occupant", [](Tree& t) { t.root->SetChild(1, t.n['D']); }, "R(A(C) D)", "B"},
        {"SetChild with a grandchild of the occupant", [](Tree& t) { t.root->SetChild(0, t.n['C']); }, "R(C B)", "AD"},
        {"SetChild nil", [](Tree& t) { t.root->SetChild(0, nullptr); }, "R(- B)", "ACD"},
        {"SetChild out of range", [](Tree& t) { t.root->SetChild(2, t.n['C']); }, "R(A(C D) B)", ""},
        {"SetChild itself", [](Tree& t) { t.root->SetChild(0, t.root.get()); }, "R(A(C D) B)", ""},
        {"InsertChild moves a grandchild", [](Tree& t) { t.root->InsertChild(0, t.n['D']); }, "R(D A(C) B)", ""},
        {"InsertChild nil", [](Tree& t) { t.root->InsertChild(1, nullptr); }, "R(A(C D) - B)", ""},
        {"SetIndex", [](Tree& t) { t.n['A']->SetIndex(1); }, "R(B A(C D))", ""},
        {"Move", [](Tree& t) { t.root->Move(1, 0); }, "R(B A(C D))", ""},
        {"Move out of range", [](Tree& t) { t.root->Move(0, 2); }, "R(A(C D) B)", ""},
        {"Exchange", [](Tree& t) { t.n['A']->Exchange(1, 0); }, "R(A(D C) B)", ""},
        {"Exchange same", [](Tree& t) { t.n['A']->Exchange(1, 1); }, "R(A(C D) B)", ""},
        {"SetCount shrinks", [](Tree& t) { t.root->SetCount(1); }, "R(A(C D))", "B"},
        {"SetCount grows", [](Tree& t) { t.root->SetCount(3); }, "R(A(C D) B -)", ""},
        {"SetCount negative", [](Tree& t) { t.n['A']->SetCount(-5); }, "R(A B)", "CD"},
        {"freeing a branch", [](Tree& t) { delete t.n['A']; }, "R(B)", "ACD"},
        {"AssignTree from an unrelated branch", [](Tree& t) { t.n['B']->AssignTree(t.n['A']); }, "R(A(C D) B(C D))",
         ""},
        {"AssignTree from a descendant", [](Tree& t) { t.root->AssignTree(t.n['A']); }, "R(C D)", "BACD"},
        {"AssignTree from an ancestor", [](Tree& t) { t.n['C']->AssignTree(t.root.get()); }, "R(A(C(A(D) B) D) B)", ""},
        {"AssignTree from itself", [](Tree& t) { t.root->AssignTree(t.root.get()); }, "R(A(C D) B)", ""},
    };
    for (const auto& c : cases) {
        Tree t;
        c.op(t);
        EXPECT_EQ(Describe(t.root.get()), c.tree) << c.what;
        EXPECT_EQ(TTagBranch::Freed, c.freed) << c.what;
    }
}

TEST(SBranch, SetParentToOwnDescendantLeavesBranchWithoutParent)
{
    Tree t;
    t.n['A']->SetParent(t.n['C']);
    EXPECT_EQ(t.n['A']->Parent(), nullptr);
    EXPECT_EQ(Describe(t.root.get()), "R(B)");
    EXPECT_EQ(Describe(t.n['A']), "A(C D)");
    delete t.n['A'];
    EXPECT_EQ(TTagBranch::Freed, "ACD");
}

TEST(SBranch, Queries)
{
    Tree t;
    EXPECT_EQ(t.root->TotalCount(), 4);
    EXPECT_EQ(t.n['A']->TotalCount(), 2);
    t.root->SetCount(3);  // a nil slot counts but has no subtree
    EXPECT_EQ(t.root->TotalCount(), 5);

    struct Case {
        char node, ancestor;
        bool expected;
    };
    const Case cases[] = {{'C', 'R', true},  {'C', 'A', true},  {'A', 'R', true}, {'R', 'C', false},
                          {'A', 'A', false}, {'C', 'B', false}, {'B', 'A', false}};
    for (const auto& c : cases)
        EXPECT_EQ(t.n[c.node]->IsDescendantOf(t.n[c.ancestor]), c.expected) << c.node << " below " << c.ancestor;
    EXPECT_FALSE(t.n['C']->IsDescendantOf(nullptr));

    EXPECT_EQ(t.n['D']->IndexInParent(), 1);
    EXPECT_EQ(t.root->IndexInParent(), -1);
    EXPECT_EQ(t.n['D']->Parent(), t.n['A']);
    EXPECT_EQ(t.root->GetChild(2), nullptr);
    EXPECT_EQ(t.root->GetChild(-1), nullptr);
}

TEST(SBranch, CloneCopiesTheSubtree)
{
    Tree t;
    TSObject owner_;
    std::unique_ptr<TSObject> copy(t.n['A']->Clone(&owner_));
    auto* a = static_cast<TTagBranch*>(copy.get());
    EXPECT_EQ(Describe(a), "A(C D)");
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(a->Owner(), &owner_);
    EXPECT_EQ(a->GetChild(0)->Owner(), &owner_);  // the copies take the copying branch's owner
    EXPECT_NE(a->GetChild(0), t.n['C']);
    EXPECT_EQ(a->GetChild(1)->Parent(), a);

    // Only branches copy into branches.
    std::unique_ptr<TSObject> plain(TSObject::Create<TSObject>());
    EXPECT_THROW(t.root->Assign(plain.get()), EAssignError);
}

TEST(SBranch, OperationsSpreadThroughTheSubtree)
{
    Tree t;
    EXPECT_EQ(t.root->Process(ocBeginOperation, ocSave), 5);
    for (auto& [tag, node] : t.n)
        EXPECT_TRUE(node->Flags() & ofSaving) << tag;
    EXPECT_EQ(t.root->Process(ocEndOperation, ocSave), 5);
    for (auto& [tag, node] : t.n)
        EXPECT_EQ(node->Flags(), 0u) << tag;
    EXPECT_EQ(t.root->Process(ocBeginOperation, 7), -1);
    EXPECT_EQ(t.n['A']->EndOperation(ocLoad), 3);

    MemoryStream stream;
    EXPECT_EQ(t.root->TSBranch::Link(&stream), -1);  // no child links anything
    t.n['C']->Tag = 'L';
    EXPECT_EQ(t.n['A']->TSBranch::Link(&stream), 2);
    EXPECT_EQ(t.root->TSBranch::Link(nullptr), -1);
}

TEST(SBranch, StreamRoundTrip)
{
    Tree t;
    t.root->SetCount(3);  // nil slots are not saved
    t.n['B']->SetCount(1);
    MemoryStream stream;
    stream.Known = {&TSBranch::ClassInfo, &TTagBranch::ClassInfo};
    const std::int32_t written = t.root->Process(ocSave, reinterpret_cast<TSParam>(&stream));
    EXPECT_EQ(written, static_cast<std::int32_t>(stream.Bytes.size()));
    std::int32_t saved = 0;
    std::memcpy(&saved, stream.Bytes.data(), 4);
    EXPECT_EQ(saved, 2);

    stream.Pos = 0;
    std::unique_ptr<TTagBranch> back(Make('?'));
    Make('x', back.get());  // loading replaces what was there
    EXPECT_EQ(back->Process(ocLoad, reinterpret_cast<TSParam>(&stream)), written);
    EXPECT_EQ(Describe(back.get()), "R(A(C D) B)");

    EXPECT_EQ(t.root->TSBranch::Save(nullptr), -1);
    EXPECT_EQ(t.root->TSBranch::Load(nullptr), -1);
}

TEST(SBranch, UnknownChildClassIsSkipped)
{
    std::unique_ptr<TTagBranch> root(Make('R'));
    Make('A', root.get());
    Make('S', root.get(), &TStranger::ClassInfo);
    Make('B', root.get());
    MemoryStream stream;
    stream.Known = {&TTagBranch::ClassInfo};
    const std::int32_t written = root->Process(ocSave, reinterpret_cast<TSParam>(&stream));
    stream.Pos = 0;
    std::unique_ptr<TTagBranch> back(Make('?'));
    EXPECT_EQ(back->Process(ocLoad, reinterpret_cast<TSParam>(&stream)), written);
    EXPECT_EQ(Describe(back.get()), "R(A B)");
}

TEST(SBranch, NegativeChildCountIsRefused)
{
    MemoryStream stream;
    const std::int32_t count = -1;
    stream.Write(&count, 4);
    stream.Pos = 0;
    std::unique_ptr<TTagBranch> b(Make('b'));
    Make('k', b.get());
    try {
        b->TSBranch::Load(&stream);
        ADD_FAILURE() << "negative count accepted";
    } catch (const EStreamError& e) {
        EXPECT_EQ(std::string(e.what()), ObjectCaption(b.get()) + "\n\rCan't load : Invalid Value");
    }
    EXPECT_EQ(b->Count(), 0);
}

TEST(SBranch, HugeChildCountStopsAtTheEndOfTheData)
{
    // A stream that yields no records must not keep the reader spinning
    // through two billion of them.
    struct HugeCount final : TSObjectsStream {
        void Read(void* Buffer, std::int32_t Count) override { std::memset(Buffer, 0x7F, Count); }
    } stream;
    std::unique_ptr<TTagBranch> b(Make('b'));
    EXPECT_EQ(b->TSBranch::Load(&stream), 4);
    EXPECT_EQ(b->Count(), 0);
}
