#include "viewer3d/project/SNodes.h"

#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

// The role under which an item keeps its branch.
constexpr int kBranchRole = Qt::UserRole + 0x5342;

// Holds the widget's signals and repaints while its items are rebuilt: the
// owner's handlers must not see half-built items.
class UpdateBracket final {
public:
    explicit UpdateBracket(QTreeWidget* Tree) : m_tree(Tree), m_signals(Tree), m_updates(Tree->updatesEnabled())
    {
        m_tree->setUpdatesEnabled(false);
    }
    ~UpdateBracket() { m_tree->setUpdatesEnabled(m_updates); }
    UpdateBracket(const UpdateBracket&) = delete;
    UpdateBracket& operator=(const UpdateBracket&) = delete;

private:
    QTreeWidget* m_tree;
    QSignalBlocker m_signals;
    bool m_updates;
};

QTreeWidgetItem* NewChild(QTreeWidget* Items, QTreeWidgetItem* Parent)
{
    return Parent ? new QTreeWidgetItem(Parent) : new QTreeWidgetItem(Items);
}

// Under the tree lock and the update bracket.
void FillNode(TSDataBranch* Branch, QTreeWidget* Items, QTreeWidgetItem* Node)
{
    qDeleteAll(Node->takeChildren());
    Node->setText(0, QString::fromStdString(Branch->Name()));
    SetNodeBranch(Node, Branch);
    Node->setFlags(Node->flags() | Qt::ItemIsEditable);
    for (std::int32_t i = 0; i < Branch->Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(Branch->GetChild(i)))
            FillNode(child, Items, NewChild(Items, Node));
    Node->setExpanded(Branch->Expanded());
}

}  // namespace

void SetNodeBranch(QTreeWidgetItem* Node, TSBranch* Branch)
{
    if (Node)
        Node->setData(0, kBranchRole, QVariant::fromValue(reinterpret_cast<quintptr>(Branch)));
}

TSBranch* BranchOfNode(const QTreeWidgetItem* Node)
{
    if (Node == nullptr)
        return nullptr;
    const QVariant value = Node->data(0, kBranchRole);
    if (!value.isValid())
        return nullptr;
    return reinterpret_cast<TSBranch*>(value.value<quintptr>());
}

QTreeWidgetItem* NodeOfBranch(const TSBranch* Branch, const QTreeWidget* Items)
{
    if (Branch == nullptr || Items == nullptr)
        return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(Items)); *it; ++it)
        if (BranchOfNode(*it) == Branch)
            return *it;
    return nullptr;
}

void FillTreeNodes(TSDataBranch* Branch, QTreeWidget* Items)
{
    if (Branch == nullptr || Items == nullptr)
        return;
    std::lock_guard guard(TreeLock());
    UpdateBracket bracket(Items);
    Items->clear();
    for (std::int32_t i = 0; i < Branch->Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(Branch->GetChild(i)))
            FillNode(child, Items, NewChild(Items, nullptr));
}

void AddBranchNode(TSDataBranch* Branch, QTreeWidget* Items, QTreeWidgetItem* Node)
{
    if (Node == nullptr) {
        FillTreeNodes(Branch, Items);
        return;
    }
    if (Branch == nullptr || Items == nullptr)
        return;
    std::lock_guard guard(TreeLock());
    UpdateBracket bracket(Items);
    FillNode(Branch, Items, Node);
}
