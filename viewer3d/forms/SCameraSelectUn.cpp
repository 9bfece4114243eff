#include "viewer3d/forms/SCameraSelectUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/project/SNodes.h"

#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SInterface.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

namespace {

constexpr int kPanelHeight = 33;

}  // namespace

TSSelectCameraForm::TSSelectCameraForm()
{
    setWindowTitle(QStringLiteral("Select Camera"));
    resize(206, 299);
    m_caption = new TSFlatCaption(this);
    m_caption->SetText("Select Camera");
    m_caption->ShowButtons({fccClose});
    m_tree = new QTreeWidget(this);
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ok = new QPushButton(QStringLiteral("Ok"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_ok->setFixedSize(75, 25);
    m_cancel->setFixedSize(75, 25);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(2); });
    // Only a double click on a node's label confirms.
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* Item) {
        const QPoint at = m_tree->viewport()->mapFromGlobal(QCursor::pos());
        if (Item != nullptr && m_tree->itemAt(at) == Item)
            done(1);
    });
    m_cameraTree = TSDataBranch::Create("");
    CentreOnScreen(this);
}

TSSelectCameraForm::~TSSelectCameraForm()
{
    delete m_cameraTree;
}

void TSSelectCameraForm::SetCaptionText(const std::string& Text)
{
    m_caption->SetText(Text);
    setWindowTitle(QString::fromStdString(Text));
}

void TSSelectCameraForm::resizeEvent(QResizeEvent* Event)
{
    QDialog::resizeEvent(Event);
    const int w = width(), h = height();
    m_tree->setGeometry(0, kCaptionHeight, w, std::max(0, h - kCaptionHeight - kPanelHeight));
    m_cancel->move(w - m_cancel->width() - 8, h - kPanelHeight + 4);
    m_ok->move(m_cancel->x() - m_ok->width() - 4, h - kPanelHeight + 4);
}

void TSSelectCameraForm::FillCameraTree(TObject* Project, TSDataBranch* Tree)
{
    if (Tree == nullptr)
        return;
    Tree->SetCount(0);
    auto* project = dynamic_cast<THalcyte3DProject*>(Project);
    if (Project == nullptr)
        return;
    TSDataBranch* child = TSDataBranch::Create("");
    Tree->AddChild(child);
    if (project == nullptr || project->Cameras() == nullptr)
        return;
    TSCommandRecord record;
    record.Project = Project;
    record.Object = project->Cameras();
    record.Command = icDescribe;
    record.Param = reinterpret_cast<TSParam>(child);
    DispatchInterfaceCommand(project->Cameras()->ClassType(), record);
}

bool TSSelectCameraForm::Execute(TObject* Project, TSCustomProjectionSystem3D*& Camera)
{
    FillCameraTree(Project, m_cameraTree);
    TSDataBranch* chosen = Camera != nullptr ? m_cameraTree->FindByData(Camera) : nullptr;
    m_cameraTree->SetExpandedAll(true);
    FillTreeNodes(m_cameraTree, m_tree);
    if (QTreeWidgetItem* node = NodeOfBranch(chosen, m_tree))
        m_tree->setCurrentItem(node);
    const bool ok = exec() == 1;
    Camera = nullptr;
    if (!ok)
        return false;
    auto* project = dynamic_cast<THalcyte3DProject*>(Project);
    auto* branch = dynamic_cast<TSDataBranch*>(BranchOfNode(m_tree->currentItem()));
    if (project != nullptr && branch != nullptr && project->Cameras() != nullptr) {
        // Only a reference that is one of the project's cameras counts.
        auto* object = branch->Data().As<TObject>();
        if (branch->Data().IsReference && project->Cameras()->IndexOf(object) >= 0)
            Camera = dynamic_cast<TSCustomProjectionSystem3D*>(object);
    }
    return true;
}

bool SelectCamera(const std::string& Caption, TObject* Project, TSCustomProjectionSystem3D*& Camera)
{
    if (Project == nullptr)
        return false;
    TSSelectCameraForm form;
    form.SetCaptionText(Caption);
    return form.Execute(Project, Camera);
}
