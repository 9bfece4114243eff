#include "viewer3d/project/AdminTree.h"

#include "engine3d/model/GeneralProc.h"
#include "engine3d/model/SInterface.h"

#include <memory>
#include <mutex>

bool TSRefreshSchedule::ScheduleRefresh(TSDataBranch* Branch)
{
    if (Branch == nullptr || (PendingBranch != nullptr && PendingBranch == RootBranch))
        return false;
    std::lock_guard guard(TreeLock());
    if (PendingBranch == nullptr || PendingBranch->IsDescendantOf(Branch)) {
        PendingBranch = Branch;
    } else if (Branch != PendingBranch && !Branch->IsDescendantOf(PendingBranch)) {
        // Climb to the nearest branch above both.
        TSBranch* node = PendingBranch;
        while (node->Parent() != nullptr && Branch != node && !Branch->IsDescendantOf(node))
            node = node->Parent();
        auto* common = dynamic_cast<TSDataBranch*>(node);
        PendingBranch = common ? common : RootBranch;
    }
    return ChangeNesting < 1;
}

bool TSRefreshSchedule::DecChangeNesting()
{
    if (ChangeNesting <= 0)
        return false;
    --ChangeNesting;
    return ChangeNesting == 0 && PendingBranch != nullptr;
}

void CopyExpandedStates(TSDataBranch* NewTree, TSDataBranch* OldBranch)
{
    if (NewTree == nullptr || OldBranch == nullptr)
        return;
    std::lock_guard guard(TreeLock());
    NewTree->SetExpanded(OldBranch->Expanded());
    for (std::int32_t i = 0; i < OldBranch->Count(); ++i) {
        auto* old = dynamic_cast<TSDataBranch*>(OldBranch->GetChild(i));
        if (old == nullptr)
            continue;
        TSDataBranch* match = nullptr;
        if (!old->Data().IsNil()) {
            match = NewTree->FindChildByData(old->Data());
        } else {
            for (std::int32_t k = 0; k < NewTree->Count() && match == nullptr; ++k) {
                auto* candidate = dynamic_cast<TSDataBranch*>(NewTree->GetChild(k));
                if (candidate && SameText(candidate->Name(), old->Name()))
                    match = candidate;
            }
        }
        if (match)
            CopyExpandedStates(match, old);
    }
}

namespace {

// The class nodes of "SInterfaces", in registration order.
TSDataBranch* InterfacesBranch()
{
    TSDataBranch* root = FindRegistryRoot(0);
    return root ? root->FindChildByName("SInterfaces", false) : nullptr;
}

}  // namespace

TSDataBranch* BuildNewTree(TSProject* Project, TObject* Parent)
{
    if (Parent == Project)
        Parent = nullptr;
    std::unique_ptr<TSDataBranch> tree(TSDataBranch::Create(""));

    TSDataBranch* projects = TSDataBranch::Create("Projects");
    tree->AddChild(projects);
    {
        std::lock_guard guard(TreeLock());
        if (TSDataBranch* classes = InterfacesBranch()) {
            for (std::int32_t i = 0; i < classes->Count(); ++i) {
                auto* node = dynamic_cast<TSDataBranch*>(classes->GetChild(i));
                TSClass cls = node ? node->Data().AsClass() : nullptr;
                if (cls == nullptr || !cls->InheritsFrom(&TSProject::ClassInfo))
                    continue;
                std::string caption;
                GetInterfaceCaption(cls, caption);
                projects->AddChild(TSDataBranch::Create(caption, cls));
            }
        }
    }

    if (Project != nullptr) {
        TSDataBranch* own = TSDataBranch::Create(Project->Name());
        tree->AddChild(own);
        InterfaceFillBranch(Project->ClassType(), own);
    }
    if (Parent != nullptr) {
        std::string text;
        InterfaceGetText(Parent, text);
        TSDataBranch* own = TSDataBranch::Create(text);
        tree->AddChild(own);
        InterfaceFillBranch(Parent->ClassType(), own);
    }
    return tree.release();
}
