// The administrator's tree logic without widgets: refresh scheduling, expanded
// states across a rebuild and the tree of the "New" dialog.

#include "Viewer3DTestSupport.h"

#include "viewer3d/project/HcProject3D.h"

#include "viewer3d/project/AdminTree.h"

#include <map>

namespace {

// Root
//   A
//     A1
//       A1x
//     A2
//   B
//     B1
struct SmallTree {
    std::unique_ptr<TSDataBranch> Root{TSDataBranch::Create("Root")};
    std::map<std::string, TSDataBranch*> Node;

    SmallTree()
    {
        Node["Root"] = Root.get();
        Node["-"] = nullptr;
        Add("Root", "A");
        Add("A", "A1");
        Add("A1", "A1x");
        Add("A", "A2");
        Add("Root", "B");
        Add("B", "B1");
    }
    void Add(const std::string& Parent, const std::string& Name)
    {
        TSDataBranch* child = TSDataBranch::Create(Name);
        Node[Parent]->AddChild(child);
        Node[Name] = child;
    }
};

TEST(RefreshSchedule, WidensThePendingBranchToCoverEveryChange)
{
    struct Case {
        const char* Pending;
        const char* Scheduled;
        std::int32_t Nesting;
        const char* NewPending;
        bool Posted;
    };
    const Case cases[] = {
        {"-", "A1", 0, "A1", true},        // nothing pending: the branch itself
        {"-", "A1", 1, "A1", false},       // inside a change: wait for its end
        {"-", "-", 0, "-", false},         // nil is nothing
        {"A1", "A1", 0, "A1", true},       // the same branch stays
        {"A", "A1x", 0, "A", true},        // below the pending one: stays
        {"A1x", "A", 0, "A", true},        // above the pending one: takes its place
        {"A1", "A2", 0, "A", true},        // siblings: their parent
        {"A1x", "B1", 0, "Root", true},    // apart: the top
        {"A1x", "A2", 2, "A", false},      // climbs inside a change too, without a post
        {"Root", "A1", 0, "Root", false},  // the root pending already: nothing at all
    };
    for (const Case& c : cases) {
        SmallTree tree;
        TSRefreshSchedule schedule;
        schedule.RootBranch = tree.Root.get();
        schedule.PendingBranch = tree.Node[c.Pending];
        schedule.ChangeNesting = c.Nesting;
        const bool posted = schedule.ScheduleRefresh(tree.Node[c.Scheduled]);
        EXPECT_EQ(schedule.PendingBranch, tree.Node[c.NewPending]) << c.Pending << " + " << c.Scheduled;
        EXPECT_EQ(posted, c.Posted) << c.Pending << " + " << c.Scheduled;
    }
}

TEST(RefreshSchedule, TheOutermostEndPostsOnlyWithABranchPending)
{
    SmallTree tree;
    TSRefreshSchedule schedule;
    schedule.RootBranch = tree.Root.get();
    EXPECT_FALSE(schedule.DecChangeNesting());  // never below 0
    EXPECT_EQ(schedule.ChangeNesting, 0);
    schedule.IncChangeNesting();
    schedule.IncChangeNesting();
    EXPECT_FALSE(schedule.ScheduleRefresh(tree.Node["A1"]));
    EXPECT_FALSE(schedule.ScheduleRefresh(tree.Node["A2"]));
    EXPECT_FALSE(schedule.DecChangeNesting());
    EXPECT_TRUE(schedule.DecChangeNesting());
    EXPECT_EQ(schedule.PendingBranch, tree.Node["A"]);
    schedule.PendingBranch = nullptr;
    schedule.IncChangeNesting();
    EXPECT_FALSE(schedule.DecChangeNesting());
}

TEST(CopyExpandedStates, MatchesChildrenByDataElseByNameWithoutCase)
{
    int objectA = 0, objectB = 0;
    std::unique_ptr<TSDataBranch> old(TSDataBranch::Create("P", {}, true));
    TSDataBranch* oldA = TSDataBranch::Create("renamed before", &objectA, true);
    TSDataBranch* oldGroup = TSDataBranch::Create("Scene", {}, false);
    TSDataBranch* oldInner = TSDataBranch::Create("Lights", {}, true);
    old->AddChild(oldA);
    old->AddChild(oldGroup);
    oldGroup->AddChild(oldInner);
    old->AddChild(TSDataBranch::Create("gone", &objectB, true));

    std::unique_ptr<TSDataBranch> fresh(TSDataBranch::Create("P"));
    TSDataBranch* group = TSDataBranch::Create("SCENE", {}, true);
    TSDataBranch* inner = TSDataBranch::Create("lights", {}, false);
    TSDataBranch* a = TSDataBranch::Create("new name", &objectA, false);
    TSDataBranch* stranger = TSDataBranch::Create("renamed before", {}, false);
    fresh->AddChild(group);
    group->AddChild(inner);
    fresh->AddChild(a);
    fresh->AddChild(stranger);

    CopyExpandedStates(fresh.get(), old.get());
    EXPECT_TRUE(fresh->Expanded());
    EXPECT_TRUE(a->Expanded());       // by its object, whatever its name
    EXPECT_FALSE(group->Expanded());  // by name, case ignored
    EXPECT_TRUE(inner->Expanded());
    EXPECT_FALSE(stranger->Expanded());  // a name match does not count for an object node
}

class NewTree : public Viewer3DTest {};

std::vector<std::string> ChildNames(const TSDataBranch* Branch)
{
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < Branch->Count(); ++i)
        names.push_back(static_cast<TSDataBranch*>(Branch->GetChild(i))->Name());
    return names;
}

TEST_F(NewTree, OffersProjectClassesThenTheProjectsAndTheParentsCategories)
{
    {
        std::unique_ptr<TSDataBranch> tree(BuildNewTree(nullptr, nullptr));
        ASSERT_EQ(ChildNames(tree.get()), std::vector<std::string>{"Projects"});
        const auto* projects = static_cast<TSDataBranch*>(tree->GetChild(0));
        // The program's own project class, then the tests'.
        ASSERT_EQ(ChildNames(projects), (std::vector<std::string>{"Halcyte 3D Project", "Test Project"}));
        EXPECT_EQ(static_cast<TSDataBranch*>(projects->GetChild(0))->Data().AsClass(), &THalcyte3DProject::ClassInfo);
        EXPECT_EQ(static_cast<TSDataBranch*>(projects->GetChild(1))->Data().AsClass(), &TTestAdminProject::ClassInfo);
        EXPECT_FALSE(projects->Expanded());
    }
    std::unique_ptr<TTestAdminProject> project(TSObject::Create<TTestAdminProject>());
    project->SetName("Mine");
    {
        // The project as parent counts as none.
        std::unique_ptr<TSDataBranch> tree(BuildNewTree(project.get(), project.get()));
        ASSERT_EQ(ChildNames(tree.get()), (std::vector<std::string>{"Projects", "Mine"}));
        const auto* own = static_cast<TSDataBranch*>(tree->GetChild(1));
        ASSERT_EQ(ChildNames(own), std::vector<std::string>{"Items"});
        EXPECT_EQ(static_cast<TSDataBranch*>(own->GetChild(0)->GetChild(0))->Data().AsClass(),
                  &TTestAdminItem::ClassInfo);
    }
    {
        std::unique_ptr<TSDataBranch> tree(BuildNewTree(project.get(), project->Objects));
        EXPECT_EQ(ChildNames(tree.get()), (std::vector<std::string>{"Projects", "Mine", "Objects"}));
    }
}

}  // namespace
