#include "viewer3d/forms/SFinder3DUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/PickerParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/project/SNodes.h"

#include "engine3d/geometry/SBasis3D.h"

#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int kPanelHeight = 33;

}  // namespace

TSObject3DFinder::TSObject3DFinder()
{
    setWindowTitle(QStringLiteral("Select Object"));
    resize(220, 320);
    m_caption = new TSFlatCaption(this);
    m_caption->ShowButtons({fccClose});
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName("TreeView1");
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ok = new QPushButton(QStringLiteral("Ok"), this);
    m_ok->setObjectName("OkBtn");
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName("CancelBtn");
    m_ok->setFixedSize(75, 25);
    m_cancel->setFixedSize(75, 25);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(2); });
    ConfirmOnLabelDoubleClick(this, m_tree);
    m_root = TSDataBranch::Create("");
    CentreOnScreen(this);
}

TSObject3DFinder::~TSObject3DFinder()
{
    m_tree->clear();
    delete m_root;
}

void TSObject3DFinder::resizeEvent(QResizeEvent* Event)
{
    QDialog::resizeEvent(Event);
    const int w = width(), h = height();
    m_tree->setGeometry(0, kCaptionHeight, w, std::max(0, h - kCaptionHeight - kPanelHeight));
    m_cancel->move(w - m_cancel->width() - 8, h - kPanelHeight + 4);
    m_ok->move(m_cancel->x() - m_ok->width() - 4, h - kPanelHeight + 4);
}

void TSObject3DFinder::FillFrameTree(TObject* Project, TSDataBranch* Root)
{
    if (Root == nullptr)
        return;
    Root->SetCount(0);
    auto* project = dynamic_cast<THalcyte3DProject*>(Project);
    if (project == nullptr)
        return;
    TSDataBranch* top = TSDataBranch::Create(project->Name(), project, true);
    Root->AddChild(top);
    const TSCustomObject3D* lists[] = {project->Cameras(), project->Lights(), project->Objects()};
    for (const TSCustomObject3D* list : lists) {
        TSBasis3D* frame = list != nullptr ? list->Frame() : nullptr;
        if (frame == nullptr)
            continue;
        TSDataBranch* branch = TSDataBranch::Create("");
        top->AddChild(branch);
        frame->BuildBranch(branch);
    }
}

bool TSObject3DFinder::PickFrame(TObject* Project, TSBasis3D*& Frame)
{
    FillFrameTree(Project, m_root);
    TSDataBranch* current = Frame != nullptr ? m_root->FindByData(Frame) : nullptr;
    if (current != nullptr)
        current->ExpandPath(true);
    FillTreeNodes(m_root, m_tree);
    if (QTreeWidgetItem* node = NodeOfBranch(current, m_tree))
        m_tree->setCurrentItem(node);
    const bool ok = exec() == 1;
    if (ok) {
        auto* branch = dynamic_cast<TSDataBranch*>(BranchOfNode(m_tree->currentItem()));
        Frame = branch != nullptr && branch->Data().IsReference ? dynamic_cast<TSBasis3D*>(branch->Data().As<TObject>())
                                                                : nullptr;
    }
    m_tree->clear();
    m_root->SetCount(0);
    return ok;
}

bool TSObject3DFinder::Execute(const std::string& Caption, TObject* Project, TSBasis3D*& Frame)
{
    if (Project == nullptr)
        return false;
    TSObject3DFinder form;
    form.m_caption->SetText(Caption);
    form.setWindowTitle(QString::fromStdString(Caption));
    return form.PickFrame(Project, Frame);
}
