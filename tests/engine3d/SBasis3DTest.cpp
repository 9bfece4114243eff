// Coordinate frames: transforms carried down the tree, refused reparentings,
// the singular transform, placements, browse trees, and frames in object
// streams and project files, crafted child lists included.

#include "RowProject.h"
#include "SceneTestSupport.h"

#include "engine3d/files/SProject.h"
#include "engine3d/model/SRTDRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Events = std::vector<std::pair<std::int32_t, TSParam>>;

const Events kOneTransform = {{ecBeginTransform, 0}, {ecEndTransform, 0}};

TSVector3D Placed(const TSBasis3D& Frame, const TSVector3D& Local)
{
    TSVector3D world;
    Frame.PointToWorld(Local, world);
    return world;
}

}  // namespace

namespace {

class Frames : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        RegisterRTDClass(&TRowProject::ClassInfo);
        std::string pattern = (fs::temp_directory_path() / "frames-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
        UnregisterRTDClass(&TRowProject::ClassInfo);
        SceneTest::TearDown();
    }

    std::string PathOf(const std::string& Name) const { return m_dir + "/" + Name; }

    std::string m_dir;
};

std::unique_ptr<TSBasis3D> FrameAt(const TSVector3D& Origin, const std::string& Name = "")
{
    auto frame = Make<TSBasis3D>();
    frame->SetPlacement(IdentityMatrix(), Origin);
    if (!Name.empty())
        frame->SetName(Name);
    return frame;
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

std::uint32_t GetU32(const Bytes& Data, std::size_t At)
{
    std::uint32_t value = 0;
    std::memcpy(&value, Data.data() + At, 4);
    return value;
}

void PutU32(Bytes& Data, std::size_t At, std::uint32_t Value)
{
    std::memcpy(Data.data() + At, &Value, 4);
}

// Where a frame's record lies in a project file, found by its unique name.
struct FrameRecord {
    std::size_t Header = 0;    // class id, object id, size
    std::size_t Children = 0;  // the first child identity

    FrameRecord(const Bytes& File, const std::string& Name)
    {
        const auto at = std::search(File.begin(), File.end(), Name.begin(), Name.end());
        EXPECT_NE(at, File.end()) << Name;
        const auto name = static_cast<std::size_t>(at - File.begin());
        Header = name - 4 - 12;
        Children = name + Name.size() + 168 + 4;
    }
    std::uint32_t Identity(const Bytes& File) const { return GetU32(File, Header + 4); }
};

}  // namespace

// ---------------------------------------------------------------------------

TEST_F(Frames, ChildFollowsItsRotatedParent)
{
    EventLog parentLog, childLog;  // outlive the frames, which announce their end
    auto parent = FrameAt({1, 2, 3});
    auto child = FrameAt({4, 2, 3});
    auto grandchild = FrameAt({4, 2, 5});
    child->SetParent(parent.get());
    grandchild->SetParent(child.get());
    parent->Events.Add(parentLog.Handler());
    child->Events.Add(childLog.Handler());

    const TSMatrix3D turn = Rotation({0, 0, 1}, std::numbers::pi / 2);
    parent->RotateAboutOrigin(turn);

    EXPECT_TRUE(Near(parent->Origin(), {1, 2, 3}));
    EXPECT_TRUE(Near(Placed(*child, {}), {1, 5, 3}));
    EXPECT_TRUE(Near(Placed(*grandchild, {}), {1, 5, 5}));
    // The child keeps its placement relative to the parent.
    EXPECT_TRUE(Near(child->Matrix(), turn));
    EXPECT_TRUE(Near(Placed(*child, {1, 0, 0}), {1, 6, 3}));
    TSVector3D local;
    child->PointFromWorld({1, 6, 3}, local);
    EXPECT_TRUE(Near(local, {1, 0, 0}));
    EXPECT_EQ(parentLog.Codes(), kOneTransform);
    EXPECT_EQ(childLog.Codes(), kOneTransform);
    EXPECT_EQ(parent->TransformNesting(), 0);
}

TEST_F(Frames, SingleFormsMatchTheDoubleOnes)
{
    auto frame = FrameAt({1, -2, 0.5});
    frame->RotateAboutOrigin(Rotation({1, 1, 0}, 0.7));
    TSVector3D world;
    frame->PointToWorld({0.25, 2, -1}, world);
    TSVector3DSingle single;
    frame->PointToWorldSingle({0.25f, 2, -1}, single);
    EXPECT_NEAR(single.X, world.X, 1e-6);
    EXPECT_NEAR(single.Y, world.Y, 1e-6);
    EXPECT_NEAR(single.Z, world.Z, 1e-6);
    TSVector3DSingle back;
    frame->PointFromWorldSingle(single, back);
    EXPECT_NEAR(back.X, 0.25, 1e-6);
    EXPECT_NEAR(back.Y, 2, 1e-6);
    EXPECT_NEAR(back.Z, -1, 1e-6);
    TSVector3DSingle direction;
    frame->DirectionToWorldSingle({0.25f, 2, -1}, direction);
    EXPECT_NEAR(direction.X, world.X - 1, 1e-6);
    EXPECT_NEAR(direction.Y, world.Y + 2, 1e-6);
    EXPECT_NEAR(direction.Z, world.Z - 0.5, 1e-6);
    TSVector3DSingle origin;
    frame->GetOriginSingle(origin);
    EXPECT_EQ(origin.Y, -2.0f);
}

TEST_F(Frames, TreeOperationsRefuseCyclesAndBadIndices)
{
    auto a = Make<TSBasis3D>();
    auto b = Make<TSBasis3D>();
    auto c = Make<TSBasis3D>();
    auto d = Make<TSBasis3D>();
    b->SetParent(a.get());
    c->SetParent(b.get());

    // The frame itself and its ancestors are refused and nothing changes.
    EXPECT_EQ(c->AddChild(c.get()), -1);
    EXPECT_EQ(c->AddChild(b.get()), -1);
    EXPECT_EQ(c->AddChild(a.get()), -1);
    a->SetParent(c.get());
    a->SetParent(a.get());
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(b->Parent(), a.get());
    EXPECT_EQ(c->Parent(), b.get());
    EXPECT_EQ(c->ChildCount(), 0);
    EXPECT_TRUE(c->IsDescendantOf(a.get()));
    EXPECT_FALSE(a->IsDescendantOf(c.get()));
    EXPECT_FALSE(a->IsDescendantOf(a.get()));

    // A child already here answers its index; one from elsewhere moves.
    EXPECT_EQ(a->AddChild(b.get()), 0);
    EXPECT_EQ(a->ChildCount(), 1);
    EXPECT_EQ(a->AddChild(c.get()), 1);
    EXPECT_EQ(c->Parent(), a.get());
    EXPECT_EQ(b->ChildCount(), 0);
    EXPECT_EQ(a->AddChild(nullptr), 2);
    EXPECT_EQ(a->AddChild(d.get()), 3);

    // Out of range: nothing.
    for (std::int32_t index : {-1, 4, 100}) {
        EXPECT_EQ(a->RemoveChild(index), nullptr);
        EXPECT_EQ(a->GetChild(index), nullptr);
    }
    a->Exchange(0, 4);
    a->Move(-1, 0);
    EXPECT_EQ(a->GetChild(0), b.get());

    // Removing takes the child to the last slot first: the last one moves up.
    EXPECT_EQ(a->RemoveChild(0), b.get());
    EXPECT_EQ(b->Parent(), nullptr);
    EXPECT_EQ(a->ChildCount(), 3);
    EXPECT_EQ(a->GetChild(0), c.get());
    EXPECT_EQ(a->GetChild(1), nullptr);
    EXPECT_EQ(a->GetChild(2), d.get());
    EXPECT_EQ(a->IndexOfChild(d.get()), 2);
    EXPECT_EQ(a->IndexOfChild(b.get()), -1);

    a->Exchange(0, 2);
    EXPECT_EQ(a->GetChild(0), d.get());
    a->Move(0, 2);
    EXPECT_EQ(a->GetChild(2), d.get());
    EXPECT_EQ(a->GetChild(0), nullptr);

    a->SetChildCount(-1);
    EXPECT_EQ(a->ChildCount(), 3);
    a->SetChildCount(5);
    EXPECT_EQ(a->ChildCount(), 5);
    a->SetChildCount(1);
    EXPECT_EQ(a->ChildCount(), 1);
    EXPECT_EQ(d->Parent(), nullptr);
    EXPECT_EQ(a->GetChild(0), nullptr);
    EXPECT_EQ(c->Parent(), nullptr);
}

TEST_F(Frames, DestroyingAFrameLeavesItsChildrenAlive)
{
    auto parent = Make<TSBasis3D>();
    auto child = Make<TSBasis3D>();
    auto other = Make<TSBasis3D>();
    child->SetParent(parent.get());
    other->SetParent(parent.get());
    auto grandparent = Make<TSBasis3D>();
    parent->SetParent(grandparent.get());
    ASSERT_NE(GlobalBasis3DList(), nullptr);
    EXPECT_GE(GlobalBasis3DList()->IndexOf(parent.get()), 0);

    TSBasis3D* gone = parent.get();
    parent.reset();
    EXPECT_EQ(child->Parent(), nullptr);
    EXPECT_EQ(other->Parent(), nullptr);
    EXPECT_EQ(grandparent->ChildCount(), 0);
    EXPECT_EQ(GlobalBasis3DList()->IndexOf(gone), -1);
    // The children still work.
    child->Transform(IdentityMatrix(), {1, 1, 1});
    EXPECT_TRUE(Near(child->Origin(), {1, 1, 1}));
}

TEST_F(Frames, ReparentingWhileTheParentTransforms)
{
    auto parent = Make<TSBasis3D>();
    auto other = Make<TSBasis3D>();
    std::vector<std::unique_ptr<TSBasis3D>> children;
    for (int i = 0; i < 8; ++i) {
        children.push_back(Make<TSBasis3D>());
        children.back()->SetParent(parent.get());
    }
    std::thread mover([&] {
        for (int round = 0; round < 300; ++round)
            for (const auto& child : children)
                child->SetParent(round % 2 ? parent.get() : other.get());
    });
    for (int i = 0; i < 300; ++i)
        parent->Transform(IdentityMatrix(), {0, 0, 1});
    mover.join();
    EXPECT_TRUE(SameVector3D(parent->Origin(), {0, 0, 300}));
    EXPECT_EQ(parent->ChildCount() + other->ChildCount(), 8);
}

TEST_F(Frames, SingularTransformResetsTheFrameAndRaises)
{
    EventLog log;
    auto frame = FrameAt({1, 2, 3});
    frame->RotateAboutOrigin(Rotation({0, 1, 0}, 0.5));
    auto child = FrameAt({5, 5, 5});
    child->SetParent(frame.get());
    const TSMatrix3D childMatrix = child->Matrix();
    frame->Events.Add(log.Handler());

    TSMatrix3D flat = IdentityMatrix();
    flat(2, 2) = 0;
    EXPECT_THROW(frame->Transform(flat, {1, 1, 1}), EFloatDivision);

    EXPECT_TRUE(SameVector3D(frame->Origin(), {}));
    EXPECT_TRUE(Near(frame->Matrix(), IdentityMatrix(), 0));
    EXPECT_TRUE(Near(frame->InverseMatrix(), IdentityMatrix(), 0));
    EXPECT_EQ(frame->TransformNesting(), 0);
    EXPECT_EQ(log.Codes(), kOneTransform);
    // The attached frame stays where it was.
    EXPECT_TRUE(Near(child->Origin(), {5, 5, 5}));
    EXPECT_TRUE(Near(child->Matrix(), childMatrix, 0));
    // And the frame works on.
    frame->Transform(IdentityMatrix(), {0, 0, 1});
    EXPECT_TRUE(Near(frame->Origin(), {0, 0, 1}));
}

TEST_F(Frames, SetPlacementLandsOnThePlacement)
{
    EventLog log;
    auto frame = FrameAt({1, 2, 3});
    frame->RotateAboutOrigin(Rotation({1, 2, 3}, 1.1));
    auto child = FrameAt({2, 2, 3});
    child->SetParent(frame.get());
    const TSMatrix3D matrix = frame->Matrix();
    const TSVector3D origin = frame->Origin();
    const TSVector3D childOrigin = child->Origin();

    frame->Events.Add(log.Handler());
    frame->SetPlacement(matrix, origin);
    EXPECT_TRUE(Near(frame->Matrix(), matrix, 0));
    EXPECT_TRUE(SameVector3D(frame->Origin(), origin));
    EXPECT_TRUE(Near(child->Origin(), childOrigin));
    EXPECT_EQ(log.Codes(), kOneTransform);

    const TSMatrix3D target = Rotation({0, 0, 1}, 0.3);
    frame->SetPlacement(target, {-4, 0, 9});
    EXPECT_TRUE(Near(frame->Matrix(), target, 0));
    EXPECT_TRUE(SameVector3D(frame->Origin(), {-4, 0, 9}));
    TSVector3D local;
    frame->PointFromWorld(child->Origin(), local);
    TSVector3D before;
    TSVector3D offset;
    SubVector3D(childOrigin, origin, offset);
    TSMatrix3D inverse;
    InverseMatrix3D(matrix, inverse);
    MulMatrixVector3D(inverse, offset, before);
    EXPECT_TRUE(Near(local, before, 1e-12));

    // Assign copies a frame's placement, or resets to the world origin.
    auto copy = Make<TSBasis3D>();
    copy->Assign(frame.get());
    EXPECT_TRUE(Near(copy->Matrix(), target, 0));
    EXPECT_TRUE(SameVector3D(copy->Origin(), {-4, 0, 9}));
    auto notAFrame = Make<TSCustomChangeObject>();
    copy->Assign(notAFrame.get());
    EXPECT_TRUE(Near(copy->Matrix(), IdentityMatrix(), 0));
    EXPECT_TRUE(SameVector3D(copy->Origin(), {}));
}

TEST_F(Frames, BuildBranchDescribesTheTree)
{
    auto root = Make<TSBasis3D>();
    root->SetName("root");
    auto a = Make<TSBasis3D>();
    a->SetName("a");
    auto b = Make<TSBasis3D>();
    b->SetName("b");
    auto c = Make<TSBasis3D>();
    c->SetName("c");
    root->AddChild(a.get());
    root->AddChild(nullptr);
    root->AddChild(b.get());
    b->AddChild(c.get());

    std::unique_ptr<TSDataBranch> branch(TSDataBranch::Create("old"));
    branch->AddChild(TSDataBranch::Create("stale"));
    root->BuildBranch(branch.get());
    EXPECT_EQ(branch->Name(), "root");
    EXPECT_EQ(branch->Data().As<TSObject>(), root.get());
    ASSERT_EQ(branch->Count(), 2);
    auto* first = dynamic_cast<TSDataBranch*>(branch->GetChild(0));
    auto* second = dynamic_cast<TSDataBranch*>(branch->GetChild(1));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Name(), "a");
    EXPECT_EQ(first->Count(), 0);
    EXPECT_EQ(second->Name(), "b");
    ASSERT_EQ(second->Count(), 1);
    EXPECT_EQ(dynamic_cast<TSDataBranch*>(second->GetChild(0))->Data().As<TSObject>(), c.get());
}

TEST_F(Frames, SaveDuringATransformIsBusy)
{
    auto frame = Make<TSBasis3D>();
    std::string error;
    struct Saver {
        TSBasis3D* Frame;
        std::string* Error;
        void On(TObject*, std::int32_t Code, TSParam)
        {
            if (Code != ecBeginTransform)
                return;
            MemoryStream stream;
            *Error = ErrorOf([&] { Frame->Save(&stream); });
        }
    } saver{frame.get(), &error};
    frame->Events.Add(TSEventHandler::Of<&Saver::On>(&saver));
    frame->Transform(IdentityMatrix(), {1, 0, 0});
    EXPECT_NE(error.find("\n\rCan't save : Busy"), std::string::npos) << error;
    EXPECT_NE(error.find("Type - TSBasis3D"), std::string::npos) << error;
    frame->Events.Remove(TSEventHandler::Of<&Saver::On>(&saver));
    MemoryStream stream;
    EXPECT_GT(frame->Save(&stream), 0);
    EXPECT_EQ(frame->Save(nullptr), -1);
    EXPECT_EQ(frame->Load(nullptr), -1);
    EXPECT_EQ(frame->Link(nullptr), -1);
}

TEST_F(Frames, LoadKeepsChildIdentitiesApartUntilLink)
{
    auto frame = FrameAt({1, 2, 3}, "parent");
    auto a = Make<TSBasis3D>();
    auto b = Make<TSBasis3D>();
    frame->AddChild(a.get());
    frame->AddChild(nullptr);
    frame->AddChild(b.get());
    MemoryStream stream;
    EXPECT_EQ(frame->Save(&stream), 4 + 6 + 172 + 12);

    auto loaded = Make<TSBasis3D>();
    auto oldChild = Make<TSBasis3D>();
    loaded->AddChild(oldChild.get());
    stream.Pos = 0;
    EXPECT_EQ(loaded->Load(&stream), 4 + 6 + 172 + 12);
    EXPECT_EQ(loaded->Name(), "parent");
    EXPECT_TRUE(SameVector3D(loaded->Origin(), {1, 2, 3}));
    EXPECT_EQ(oldChild->Parent(), nullptr);
    // Nothing that only names a frame is taken for one before Link.
    EXPECT_EQ(loaded->ChildCount(), 0);

    auto x = Make<TSBasis3D>();
    auto y = Make<TSBasis3D>();
    stream.Found = {{stream.Ids.at(a.get()), x.get()}, {stream.Ids.at(b.get()), y.get()}};
    EXPECT_EQ(loaded->Link(&stream), 3);
    EXPECT_EQ(loaded->GetChild(0), x.get());
    EXPECT_EQ(loaded->GetChild(1), nullptr);
    EXPECT_EQ(loaded->GetChild(2), y.get());
    EXPECT_EQ(x->Parent(), loaded.get());
    // A second Link has nothing left to resolve.
    EXPECT_EQ(loaded->Link(&stream), 3);
    EXPECT_EQ(loaded->GetChild(0), x.get());
}

TEST_F(Frames, DamagedChildCountsAreInvalidValues)
{
    auto frame = Make<TSBasis3D>();
    frame->SetName("f");
    MemoryStream good;
    frame->Save(&good);
    const std::size_t countAt = 4 + 1 + 168;
    for (std::int32_t count : {-1, 1, 1 << 30, 0x7FFFFFFF}) {
        MemoryStream stream;
        stream.Bytes = good.Bytes;
        std::memcpy(stream.Bytes.data() + countAt, &count, 4);
        auto loaded = Make<TSBasis3D>();
        const std::string error = ErrorOf([&] { loaded->Load(&stream); });
        EXPECT_NE(error.find("\n\rCan't load : Invalid Value"), std::string::npos) << count << ": " << error;
        EXPECT_EQ(loaded->ChildCount(), 0);
    }
}

TEST_F(Frames, ThreeChildrenThroughAProjectFile)
{
    auto project = Make<TRowProject>();
    auto parent = FrameAt({1, 2, 3}, "parent");
    parent->RotateAboutOrigin(Rotation({0, 0, 1}, 0.25));
    for (int i = 0; i < 3; ++i) {
        auto child = FrameAt({10.0 + i, 0, 0}, "child" + std::to_string(i));
        parent->AddChild(child.get());
        project->Items.push_back(std::move(child));
    }
    const TSMatrix3D matrix = parent->Matrix();
    project->Items.insert(project->Items.begin(), std::move(parent));
    const std::string path = PathOf("frames.hcp");
    project->SaveToFileName(path);
    ASSERT_EQ(project->Written.size(), 4u);
    EXPECT_EQ(project->Written[0], 12 + (4 + 6) + 172 + 12);

    auto loaded = Make<TRowProject>();
    loaded->LoadFromFileName(path);
    ASSERT_EQ(loaded->Items.size(), 4u);
    TSBasis3D* frame = loaded->Item<TSBasis3D>(0);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->Name(), "parent");
    EXPECT_TRUE(Near(frame->Matrix(), matrix, 0));
    ASSERT_EQ(frame->ChildCount(), 3);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(frame->GetChild(i), loaded->Item<TSBasis3D>(static_cast<std::size_t>(i) + 1));
        EXPECT_EQ(loaded->Item<TSBasis3D>(static_cast<std::size_t>(i) + 1)->Parent(), frame);
    }
    // They move together again.
    frame->Transform(IdentityMatrix(), {0, 1, 0});
    EXPECT_TRUE(Near(loaded->Item<TSBasis3D>(3)->Origin(), {12, 1, 0}));
}

TEST_F(Frames, CraftedChildListsBuildNoCycleAndNoSharedChild)
{
    // Each case rewrites the saved identities: which frame's first child
    // becomes which frame.
    struct Rewrite {
        const char* Holder;
        const char* Child;
    };
    struct Case {
        const char* What;
        std::vector<Rewrite> Rewrites;
    };
    const Case cases[] = {
        {"cycle", {{"frameA", "frameB"}, {"frameB", "frameA"}}},
        {"shared child", {{"frameA", "frameC"}, {"frameB", "frameC"}}},
        {"itself", {{"frameA", "frameA"}}},
        {"own ancestor", {{"frameA", "frameB"}, {"frameB", "frameC"}, {"frameC", "frameA"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        auto project = Make<TRowProject>();
        std::vector<std::unique_ptr<TSBasis3D>> leaves;
        for (const char* name : {"frameA", "frameB", "frameC"}) {
            auto frame = FrameAt({}, name);
            auto leaf = FrameAt({}, std::string("leaf-") + name);
            frame->AddChild(leaf.get());
            project->Items.push_back(std::move(frame));
            project->Items.push_back(std::move(leaf));
        }
        const std::string path = PathOf("crafted.hcp");
        project->SaveToFileName(path);

        Bytes file = ReadAll(path);
        for (const Rewrite& r : c.Rewrites) {
            const FrameRecord holder(file, r.Holder);
            const FrameRecord child(file, r.Child);
            PutU32(file, holder.Children, child.Identity(file));
        }
        WriteAll(path, file);

        auto loaded = Make<TRowProject>();
        loaded->LoadFromFileName(path);
        ASSERT_EQ(loaded->Items.size(), 6u);
        std::vector<TSBasis3D*> frames;
        for (std::size_t i = 0; i < 6; i += 2)
            frames.push_back(loaded->Item<TSBasis3D>(i));
        for (TSBasis3D* frame : frames) {
            ASSERT_NE(frame, nullptr);
            // No frame is its own ancestor ...
            std::size_t depth = 0;
            for (TSBasis3D* p = frame->Parent(); p != nullptr && depth < 10; p = p->Parent())
                ++depth;
            EXPECT_LT(depth, 3u) << frame->Name();
            // ... and every attached frame names its holder as its parent.
            for (std::int32_t i = 0; i < frame->ChildCount(); ++i) {
                if (TSBasis3D* child = frame->GetChild(i)) {
                    EXPECT_EQ(child->Parent(), frame) << frame->Name() << " " << child->Name();
                }
            }
        }
        std::size_t attached = 0;
        for (TSBasis3D* frame : frames)
            for (TSBasis3D* other : frames)
                attached += frame->IndexOfChild(other) >= 0 ? 1 : 0;
        EXPECT_LE(attached, c.Rewrites.size());
        if (std::string(c.What) == "shared child") {
            EXPECT_EQ(attached, 1u);
        }
        if (std::string(c.What) == "itself") {
            EXPECT_EQ(frames[0]->GetChild(0), nullptr);
        }
    }
}
