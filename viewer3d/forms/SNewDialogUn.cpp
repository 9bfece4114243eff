#include "viewer3d/forms/SNewDialogUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/SNodes.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>
#include <mutex>

namespace {

constexpr int kWidth = 487;
constexpr int kHeight = 359;
constexpr int kTreeWidth = 157;
constexpr int kPanelHeight = 33;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kLeafRole = Qt::UserRole;

}  // namespace

TSNewDialog::TSNewDialog()
{
    setWindowTitle("SNew Dialog");
    resize(kWidth, kHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_caption = new TSFlatCaption(this);
    m_caption->SetText("SNew Dialog");
    m_caption->ShowButtons({fccClose});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName("Splitter1");
    m_tree = new QTreeWidget(splitter);
    m_tree->setObjectName("TreeView1");
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setItemsExpandable(false);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list = new QListWidget(splitter);
    m_list->setObjectName("ListView1");
    m_list->setViewMode(QListView::IconMode);
    m_list->setIconSize(QSize(64, 64));
    m_list->setMovement(QListView::Static);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setWrapping(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    splitter->addWidget(m_tree);
    splitter->addWidget(m_list);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kTreeWidth, kWidth - kTreeWidth});
    column->addWidget(splitter, 1);

    m_panel = new QFrame(this);
    m_panel->setObjectName("Panel1");
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panel->setFixedHeight(kPanelHeight);
    m_ok = new QPushButton("Ok", m_panel);
    m_cancel = new QPushButton("Cancel", m_panel);
    for (QPushButton* button : {m_ok, m_cancel}) {
        button->resize(kButtonWidth, kButtonHeight);
        button->move(0, (kPanelHeight - kButtonHeight) / 2);
        button->setAutoDefault(false);
    }
    column->addWidget(m_panel);
    m_panel->installEventFilter(this);

    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(2); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* Node) { TreeView1Change(Node); });
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] { ListView1Change(); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* Item) { ListView1DblClick(Item); });
    ListView1Change();
    CentreOnScreen(this);
}

TSNewDialog::~TSNewDialog() = default;

int TSNewDialog::ImageCount()
{
    return kNewDialogImages;
}

bool TSNewDialog::Execute(TSDataBranch* Tree, TSDataBranch* InitialBranch, TSDataBranch*& Chosen)
{
    Chosen = nullptr;
    auto dialog = std::make_unique<TSNewDialog>();
    dialog->ShowTree(Tree);
    dialog->SelectBranch(InitialBranch);
    const int result = dialog->exec();
    if (result == 1)
        Chosen = dialog->ChosenBranch();
    return Chosen != nullptr;
}

void TSNewDialog::ShowTree(TSDataBranch* Tree)
{
    if (Tree != nullptr)
        Tree->SetExpandedAll(true);
    FillCategoryTree(Tree, nullptr);
}

void TSNewDialog::SelectBranch(TSDataBranch* Branch)
{
    QTreeWidgetItem* node = NodeOfBranch(Branch, m_tree);
    if (node == nullptr)
        node = m_tree->topLevelItem(0);
    if (node != nullptr)
        m_tree->setCurrentItem(node);
}

TSDataBranch* TSNewDialog::ChosenBranch() const
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    return reinterpret_cast<TSDataBranch*>(selected.first()->data(kLeafRole).value<quintptr>());
}

void TSNewDialog::FillCategoryTree(TSDataBranch* Branch, QTreeWidgetItem* Node)
{
    if (Branch == nullptr)
        return;
    std::lock_guard guard(TreeLock());
    QSignalBlocker block(m_tree);
    if (Node != nullptr) {
        qDeleteAll(Node->takeChildren());
        Node->setText(0, QString::fromStdString(Branch->Name()));
        SetNodeBranch(Node, Branch);
    } else {
        m_tree->clear();
    }
    for (std::int32_t i = 0; i < Branch->Count(); ++i) {
        auto* child = dynamic_cast<TSDataBranch*>(Branch->GetChild(i));
        if (child == nullptr || child->Count() == 0)
            continue;
        auto* item = Node ? new QTreeWidgetItem(Node) : new QTreeWidgetItem(m_tree);
        FillCategoryTree(child, item);
    }
    if (Node != nullptr)
        Node->setExpanded(Branch->Expanded());
}

void TSNewDialog::FillItemList(TSDataBranch* Branch)
{
    QSignalBlocker block(m_list);
    m_list->clear();
    if (Branch != nullptr) {
        std::lock_guard guard(TreeLock());
        for (std::int32_t i = 0; i < Branch->Count(); ++i) {
            auto* child = dynamic_cast<TSDataBranch*>(Branch->GetChild(i));
            if (child == nullptr || child->Count() != 0)
                continue;
            // The image at the leaf's place among all its siblings.
            auto* item = new QListWidgetItem(QIcon(NewDialogImage(i)), QString::fromStdString(child->Name()), m_list);
            item->setData(kLeafRole, QVariant::fromValue(reinterpret_cast<quintptr>(child)));
            item->setData(ImageIndexRole, i < kNewDialogImages ? i : -1);
        }
    }
    ListView1Change();
}

void TSNewDialog::TreeView1Change(QTreeWidgetItem* Node)
{
    FillItemList(dynamic_cast<TSDataBranch*>(BranchOfNode(Node)));
}

void TSNewDialog::ListView1Change()
{
    m_ok->setEnabled(!m_list->selectedItems().isEmpty());
}

void TSNewDialog::ListView1DblClick(QListWidgetItem* Item)
{
    // Only on an item's icon or label; empty space keeps the dialog open.
    if (Item != nullptr)
        done(1);
}

bool TSNewDialog::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == m_panel && Event->type() == QEvent::Resize)
        Panel1Resize();
    return QDialog::eventFilter(Watched, Event);
}

void TSNewDialog::Panel1Resize()
{
    m_cancel->move(m_panel->width() - m_cancel->width() - 10, m_cancel->y());
    m_ok->move(m_cancel->x() - m_ok->width() - 6, m_ok->y());
}
