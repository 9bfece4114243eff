#pragma once
// Tree-view glue: mirrors a tree of TSDataBranch nodes into a QTreeWidget and
// maps items back to their branches. An item carries its branch in its data;
// only these functions put one there.

#include "engine3d/model/SRTDRegistry.h"

class QTreeWidget;
class QTreeWidgetItem;

// The branch an item carries; nullptr for a nil item or one that carries none.
TSBranch* BranchOfNode(const QTreeWidgetItem* Node);
// The first item, in index order (depth first), that carries Branch; nullptr
// when none or when either argument is nil.
QTreeWidgetItem* NodeOfBranch(const TSBranch* Branch, const QTreeWidget* Items);
// Clears the items and adds one top-level item per data-node child of Branch.
void FillTreeNodes(TSDataBranch* Branch, QTreeWidget* Items);
// Node takes the branch's name and the branch, and gets one child per
// data-node child (recursively); then its expanded state from the branch.
// With Node nil: FillTreeNodes.
void AddBranchNode(TSDataBranch* Branch, QTreeWidget* Items, QTreeWidgetItem* Node);
// Puts Branch into Node's data (also for the forms that fill items themselves).
void SetNodeBranch(QTreeWidgetItem* Node, TSBranch* Branch);
