#include "viewer3d/forms/SFinderLayerUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/PickerParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/SNodes.h"

#include "engine3d/files/SLayers.h"
#include "engine3d/model/SRTDRegistry.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

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
    resize(260, 300);
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName("TreeView1");
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const TSPickerParts parts = BuildPicker(this, "Select Layer", m_tree);
    m_caption = parts.Caption;
    m_ok = parts.Ok;
    m_cancel = parts.Cancel;
    ConfirmOnLabelDoubleClick(this, m_tree);
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
