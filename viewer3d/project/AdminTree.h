#pragma once
// The administrator's tree logic, free of widgets: when and which branch to
// rebuild, keeping expanded states across a rebuild, and the tree of the
// "New" dialog.

#include "engine3d/files/SProject.h"

#include <cstdint>

// Collects the places of the branch tree that changed and says when a rebuild
// is due. Changes inside an open project change (ChangeNesting above 0) wait for the
// outermost end; then one rebuild covers them all.
struct TSRefreshSchedule {
    TSDataBranch* RootBranch = nullptr;
    // The smallest branch covering every change since the last rebuild.
    TSDataBranch* PendingBranch = nullptr;
    std::int32_t ChangeNesting = 0;

    // Widens PendingBranch to cover Branch; true when a rebuild should be posted now.
    bool ScheduleRefresh(TSDataBranch* Branch);
    void IncChangeNesting() { ++ChangeNesting; }
    // True when the outermost change ended with a rebuild pending.
    bool DecChangeNesting();
};

// NewTree takes OldBranch's expanded mark, and so on down every pair of
// children that match: by Data when the old child has one, else by name
// (case ignored).
void CopyExpandedStates(TSDataBranch* NewTree, TSDataBranch* OldBranch);

// A new, unowned tree for the "New" dialog: "Projects" with every registered
// project class, then the categories of the open project (named after it),
// then those of Parent (named with its display text). Parent equal to the
// project counts as none.
TSDataBranch* BuildNewTree(TSProject* Project, TObject* Parent);

// The name a project takes when New makes it.
inline constexpr char kNewProjectName[] = "Un titled project";
// The tree's only node while no project is open.
inline constexpr char kNoProject[] = " - NO PROJECT - ";
