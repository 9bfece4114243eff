#include "viewer3d/forms/SFinderLayerUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/SNodes.h"

#include "engine3d/files/SLayers.h"
#include "engine3d/model/SRTDRegistry.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

constexpr std::uint32_t kShareReadWrite = 3;

void CentreOnDesktop(QWidget* Form)
{
    QRect desktop;
    for (QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    if (!desktop.isEmpty())
        Form->move(desktop.center() - Form->rect().center());
}

}  // namespace

TSLayerFinderForm::TSLayerFinderForm()
{
    setWindowTitle("Select Layer");
    resize(260, 300);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_caption = new TSFlatCaption(this);
    m_caption->SetText("Select Layer");
    m_caption->ShowButtons({fccClose});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName("TreeView1");
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    column->addWidget(m_tree, 1);
    auto* panel = new QHBoxLayout();
    panel->setContentsMargins(4, 4, 8, 4);
    panel->addStretch(1);
    m_ok = new QPushButton("Ok", this);
    m_cancel = new QPushButton("Cancel", this);
    m_ok->setDefault(true);
    panel->addWidget(m_ok);
    panel->addWidget(m_cancel);
    column->addLayout(panel);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(2); });
    // Only a double click on an item's label confirms.
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* Item) {
        const QPoint at = m_tree->viewport()->mapFromGlobal(QCursor::pos());
        if (Item != nullptr && m_tree->itemAt(at) == Item)
            done(1);
    });
    m_root = TSDataBranch::Create("");
    CentreOnDesktop(this);
}

TSLayerFinderForm::~TSLayerFinderForm()
{
    m_tree->clear();
    delete m_root;
}

bool TSLayerFinderForm::PickLayer(const std::string& FileName, std::int32_t& LayerIndex)
{
    m_tree->clear();
    m_root->SetCount(0);
    std::error_code error;
    if (FileName.empty() || !std::filesystem::is_regular_file(FileName, error))
        return false;
    std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(nullptr, FileName));
    if (!keeper)
        return false;
    try {
        keeper->Open(FileName, kShareReadWrite, 0, true);
    } catch (const std::exception&) {
        return false;
    }
    const std::int32_t count = keeper->Count();
    const std::int32_t index = count > 0 ? std::clamp(LayerIndex, 0, count - 1) : 0;
    TSDataBranch* description = keeper->BuildTree();
    if (description == nullptr)
        return false;
    m_root->AddChild(description);
    std::vector<TSDataBranch*> pending{description};
    while (!pending.empty()) {
        TSDataBranch* b = pending.back();
        pending.pop_back();
        b->SetExpanded(true);
        for (std::int32_t i = 0; i < b->Count(); ++i)
            if (auto* child = dynamic_cast<TSDataBranch*>(b->GetChild(i)))
                pending.push_back(child);
    }
    FillTreeNodes(m_root, m_tree);
    TSLayer* wanted = count > 0 ? keeper->GetLayer(index) : nullptr;
    for (std::int32_t i = 0; i < description->Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(description->GetChild(i));
            child && wanted && child->Data().As<TSLayer>() == wanted)
            if (QTreeWidgetItem* node = NodeOfBranch(child, m_tree))
                m_tree->setCurrentItem(node);
    bool chosen = false;
    if (exec() == 1) {
        auto* branch = dynamic_cast<TSDataBranch*>(BranchOfNode(m_tree->currentItem()));
        if (branch != nullptr && !branch->Data().IsNil())
            for (std::int32_t i = 0; i < count; ++i)
                if (keeper->GetLayer(i) == branch->Data().As<TSLayer>()) {
                    LayerIndex = i;
                    chosen = true;
                }
    }
    m_tree->clear();
    m_root->SetCount(0);
    return chosen;
}

bool TSLayerFinderForm::Execute(const std::string& FileName, std::int32_t& LayerIndex)
{
    TSLayerFinderForm form;
    return form.PickLayer(FileName, LayerIndex);
}
