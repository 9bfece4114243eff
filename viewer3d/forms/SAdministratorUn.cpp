#include "viewer3d/forms/SAdministratorUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/ProjectCommands.h"
#include "viewer3d/project/ProjectFileDialog.h"
#include "viewer3d/forms/SNewDialogUn.h"
#include "viewer3d/project/SNodes.h"
#include "viewer3d/forms/SThreadFormUn.h"

#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/model/SInterface.h"
#include "platform/dialogs/MessageBox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

constexpr int kWidth = 234;
constexpr int kHeight = 294;
constexpr int kPanelHeight = 30;
constexpr int kIndent = 19;
constexpr char kFirstCaption[] = " SAdminstrator";
constexpr char kCaptionSuffix[] = " - SAdministrator";
constexpr char kNoFileCaption[] = " SAdministrator";
constexpr char kErrorCaption[] = "Halcyte3D";

struct ToolButtonRow {
    const char* Name;
    int Image;
    const char* Hint;
};

constexpr ToolButtonRow kToolButtons[] = {
    {"NewBtn", 0, "New"},
    {"DeleteBtn", 1, "Delete"},
    {"LoadBtn", 2, "Load"},
    {"SaveBtn", 3, "Save"},
};

// The tree view: reports presses after the view took them (a right click has
// selected its node by then) and double clicks with their point.
class TSAdminTreeView final : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

    std::function<void(Qt::MouseButton, const QPoint&)> MouseDown;
    std::function<void(const QPoint&)> DoubleClick;

protected:
    void mousePressEvent(QMouseEvent* Event) override
    {
        QTreeWidget::mousePressEvent(Event);
        if (MouseDown)
            MouseDown(Event->button(), Event->position().toPoint());
    }
    void mouseDoubleClickEvent(QMouseEvent* Event) override
    {
        QTreeWidget::mouseDoubleClickEvent(Event);
        if (DoubleClick && Event->button() == Qt::LeftButton)
            DoubleClick(Event->position().toPoint());
    }
};

TSDataBranch* DataBranchOf(const QTreeWidgetItem* Node)
{
    return dynamic_cast<TSDataBranch*>(BranchOfNode(Node));
}

// The text after the last path separator.
std::string FilePart(const std::string& Path)
{
    const std::size_t at = Path.find_last_of('/');
    return at == std::string::npos ? Path : Path.substr(at + 1);
}

std::string FullPath(const std::string& Name)
{
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(Name, ec);
    return ec ? Name : full.lexically_normal().string();
}

std::unique_ptr<TSThreadParams> ParamsOf(const std::string& Text)
{
    auto params = std::unique_ptr<TSThreadParams>(new TSThreadParams);
    params->SetData(Text.data(), static_cast<std::int32_t>(Text.size()));
    return params;
}

}  // namespace

TSAdministrator::TSAdministrator()
{
    setObjectName("SAdministrator");
    resize(kWidth, kHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_caption = new TSFlatCaption(this);
    m_caption->SetText(kFirstCaption);
    m_caption->setToolTip("Keep Halcyte");
    m_caption->ShowButtons({fccClose, fccMinimize, fccScreenPin});
    m_caption->setFixedHeight(kCaptionHeight);
    setWindowTitle(kFirstCaption);
    column->addWidget(m_caption);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFixedHeight(kPanelHeight);
    auto* toolBar = new QHBoxLayout(panel);
    toolBar->setContentsMargins(0, 0, 0, 0);
    toolBar->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QToolButton(panel);
        button->setObjectName(kToolButtons[i].Name);
        button->setAutoRaise(true);
        button->setFixedSize(31, 30);
        button->setIconSize(QSize(24, 24));
        button->setIcon(QIcon(ToolButtonImage(kToolButtons[i].Image)));
        button->setToolTip(kToolButtons[i].Hint);
        toolBar->addWidget(button);
        m_buttons[i] = button;
    }
    toolBar->addStretch(1);
    column->addWidget(panel);
    connect(NewBtn(), &QToolButton::clicked, this, [this] { Guarded([this] { NewBtnClick(); }); });
    connect(DeleteBtn(), &QToolButton::clicked, this, [this] { Guarded([this] { DeleteBtnClick(); }); });
    connect(LoadBtn(), &QToolButton::clicked, this, [this] { Guarded([this] { LoadBtnClick(); }); });
    connect(SaveBtn(), &QToolButton::clicked, this, [this] { Guarded([this] { SaveBtnClick(); }); });

    auto* tree = new TSAdminTreeView(this);
    m_tree = tree;
    tree->setObjectName("TreeView1");
    tree->setHeaderHidden(true);
    tree->setIndentation(kIndent);
    tree->setExpandsOnDoubleClick(false);
    tree->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    column->addWidget(tree, 1);
    tree->MouseDown = [this](Qt::MouseButton Button, const QPoint& Pos) {
        Guarded([&] { TreeView1MouseDown(Button, Pos); });
    };
    tree->DoubleClick = [this](const QPoint& Pos) {
        QTreeWidgetItem* node = m_tree->itemAt(Pos);
        if (node != nullptr && TreeView1Collapsing(node, Pos))
            node->setExpanded(!node->isExpanded());
        Guarded([&] { TreeView1DblClick(Pos); });
    };
    connect(tree, &QTreeWidget::currentItemChanged, this, [this] { TreeView1Change(); });
    connect(tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* Node) { TreeView1Expanded(Node, true); });
    connect(tree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* Node) { TreeView1Expanded(Node, false); });
    connect(tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* Node, int) {
        Guarded([&] { TreeView1Edited(Node, Node->text(0).toStdString()); });
    });

    m_root = TSDataBranch::Create(kNoProject, {}, true);
    m_schedule.RootBranch = m_root;
    {
        QSignalBlocker block(m_tree);
        auto* first = new QTreeWidgetItem(m_tree, QStringList(QString::fromUtf8(kNoProject)));
        first->setFlags(first->flags() | Qt::ItemIsEditable);
        SetNodeBranch(first, m_root);
    }
    m_handle = plat::WindowHandle::Attach(this, [this](unsigned Msg, plat::WParam W, plat::LParam L) -> plat::LResult {
        // A load or save runs: the tree waits for its end, which rebuilds it.
        if (m_fileState != fsIdle && (Msg == WM_REFRESH || Msg == WM_PROJECTEVENTS)) {
            m_handle.PostMessage(Msg, W, L);
            return 0;
        }
        if (Msg == WM_REFRESH)
            return WMRefresh(W, L);
        if (Msg == WM_PROJECTEVENTS)
            DrainProjectEvents();
        return 0;
    });
    UpdateDeleteButton();
    CentreOnScreen(this);
}

TSAdministrator::~TSAdministrator()
{
    m_handle.Close();
    // The tree's last signals must not reach a half-destroyed form.
    m_tree->disconnect(this);
    m_tree->blockSignals(true);
    CloseProject();
    delete m_root;
}

template <class F>
void TSAdministrator::Guarded(F&& Handler)
{
    try {
        Handler();
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TSAdministrator::ShowError(const std::string& Text)
{
    plat::MessageBox(m_handle, Text, kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
}

void TSAdministrator::closeEvent(QCloseEvent* Event)
{
    Event->accept();
    // The main form: the program's loop ends with it.
    QCoreApplication::quit();
}

std::string TSAdministrator::CaptionText() const
{
    return m_caption->Text();
}

void TSAdministrator::SetCaptionText(const std::string& Text)
{
    m_caption->SetText(Text);
    setWindowTitle(QString::fromStdString(Text));
}

TObject* TSAdministrator::SelectedObject() const
{
    TSDataBranch* branch = DataBranchOf(m_tree->currentItem());
    return branch ? branch->Data().As<TObject>() : nullptr;
}

void TSAdministrator::Subscribe(TSProject* Project)
{
    m_subscribed = Project;
    Project->Events.Add(TSEventHandler::Of<&TSAdministrator::ProjectEvent>(this));
}

void TSAdministrator::Unsubscribe()
{
    if (TSProject* project = m_subscribed.exchange(nullptr))
        project->Events.Remove(TSEventHandler::Of<&TSAdministrator::ProjectEvent>(this));
}

void TSAdministrator::CloseProject()
{
    m_fileName.clear();
    if (m_project == nullptr)
        return;
    Unsubscribe();
    // What the project announced and the tree has not served yet goes with it,
    // and so does a change it left open.
    {
        std::lock_guard guard(m_eventLock);
        m_events.clear();
    }
    m_schedule.ChangeNesting = 0;
    TSProject* project = m_project;
    m_project = nullptr;
    delete project;
}

void TSAdministrator::UpdateCaption()
{
    std::error_code ec;
    if (!m_fileName.empty() && std::filesystem::exists(m_fileName, ec))
        SetCaptionText(FilePart(m_fileName) + kCaptionSuffix);
    else
        SetCaptionText(kNoFileCaption);
    RefreshTree(m_root, m_project);
    // Every branch was built anew from live objects.
    m_gone.clear();
}

void TSAdministrator::RefreshTree(TSDataBranch* Branch, TObject* Object)
{
    if (Branch == nullptr)
        return;
    QTreeWidgetItem* node = NodeOfBranch(Branch, m_tree);
    if (node == nullptr)
        return;
    // Read before the branches under the selected node go.
    TObject* selected = SelectedObject();
    if (Object != nullptr) {
        std::unique_ptr<TSDataBranch> fresh(TSDataBranch::Create(""));
        TSCommandRecord record;
        record.Project = m_project;
        record.Object = Object;
        record.Command = icDescribe;
        record.Param = reinterpret_cast<TSParam>(fresh.get());
        DispatchInterfaceCommand(Object->ClassType(), record);
        std::lock_guard guard(TreeLock());
        ForgetPendingUnder(Branch);
        CopyExpandedStates(fresh.get(), Branch);
        Branch->SetName(fresh->Name());
        Branch->SetData(fresh->Data());
        Branch->SetExpanded(fresh->Expanded());
        Branch->SetCount(0);
        while (fresh->Count() > 0)
            fresh->GetChild(0)->SetParent(Branch);
    } else {
        std::lock_guard guard(TreeLock());
        ForgetPendingUnder(Branch);
        Branch->SetCount(0);
        Branch->SetName(kNoProject);
        Branch->SetData({});
        Branch->SetExpanded(true);
    }
    AddBranchNode(Branch, m_tree, node);
    // The selection stays with its object when the rebuild took its node.
    if (TSDataBranch* again = selected ? m_root->FindByData(selected) : nullptr) {
        QTreeWidgetItem* item = NodeOfBranch(again, m_tree);
        if (item != nullptr && item != m_tree->currentItem()) {
            QSignalBlocker block(m_tree);
            m_tree->setCurrentItem(item);
        }
    }
    ++m_rebuilds;
    m_lastRebuilt = Branch;
    TreeView1Change();
}

void TSAdministrator::ForgetPendingUnder(TSDataBranch* Branch)
{
    // The rebuild covers it, and frees the branches below Branch.
    TSDataBranch* pending = m_schedule.PendingBranch;
    if (pending != nullptr && (pending == Branch || pending->IsDescendantOf(Branch)))
        m_schedule.PendingBranch = nullptr;
}

void TSAdministrator::TreeView1Change()
{
    m_labelToggleAllowed = SelectedObject() == nullptr;
    UpdateDeleteButton();
}

void TSAdministrator::UpdateDeleteButton()
{
    TObject* object = SelectedObject();
    DeleteBtn()->setEnabled(m_project != nullptr && object != nullptr &&
                            m_project->Process(pcCanDelete, reinterpret_cast<TSParam>(object)) != 0);
}

bool TSAdministrator::OnNodeLabel(const QPoint& Pos) const
{
    QTreeWidgetItem* node = m_tree->itemAt(Pos);
    if (node == nullptr)
        return false;
    const QRect row = m_tree->visualItemRect(node);
    const int width = m_tree->fontMetrics().horizontalAdvance(node->text(0)) + 8;
    return QRect(row.left(), row.top(), width, row.height()).contains(Pos);
}

bool TSAdministrator::TreeView1Collapsing(QTreeWidgetItem* Node, const QPoint& Pos) const
{
    TSDataBranch* branch = DataBranchOf(Node);
    if (branch != nullptr && !branch->Data().IsNil() && OnNodeLabel(Pos))
        return m_labelToggleAllowed;
    return true;
}

void TSAdministrator::TreeView1Expanded(QTreeWidgetItem* Node, bool Expanded)
{
    if (TSDataBranch* branch = DataBranchOf(Node))
        branch->SetExpanded(Expanded);
}

void TSAdministrator::TreeView1DblClick(const QPoint& Pos)
{
    if (!OnNodeLabel(Pos) || m_project == nullptr)
        return;
    if (TObject* object = SelectedObject())
        m_project->Process(pcOpenEditor, reinterpret_cast<TSParam>(object));
}

void TSAdministrator::TreeView1Edited(QTreeWidgetItem* Node, const std::string& S)
{
    TSDataBranch* branch = DataBranchOf(Node);
    if (branch != nullptr && !branch->Data().IsNil())
        InterfaceRename(branch->Data().As<TObject>(), S);
}

void TSAdministrator::TreeView1MouseDown(Qt::MouseButton Button, const QPoint& Pos)
{
    if (m_popup != nullptr) {
        m_popup->deleteLater();
        m_popup = nullptr;
    }
    TObject* object = SelectedObject();
    if (Button != Qt::RightButton || !OnNodeLabel(Pos) || object == nullptr || m_project == nullptr)
        return;
    m_popup = new QMenu(this);
    TSCommandRecord record;
    record.Project = m_project;
    record.Object = object;
    record.Depository = dynamic_cast<TSObject*>(object);
    record.Command = icPopupMenu;
    record.Param = reinterpret_cast<TSParam>(m_popup);
    if (m_project->Process(pcFindDepository, reinterpret_cast<TSParam>(&record.Depository)) < 0)
        record.Depository = nullptr;
    DispatchInterfaceCommand(object->ClassType(), record);
    if (!m_popup->actions().isEmpty())
        m_popup->addSeparator();
    QAction* create = m_popup->addAction("New...");
    connect(create, &QAction::triggered, this, [this] { Guarded([this] { NewBtnClick(); }); });
    m_popup->popup(m_tree->viewport()->mapToGlobal(Pos));
}

void TSAdministrator::NewBtnClick()
{
    TObject* parent = SelectedObject();
    if (parent == nullptr)
        parent = m_project;
    if (m_project == nullptr)
        parent = nullptr;

    TSClass chosenClass = nullptr;
    {
        std::unique_ptr<TSDataBranch> tree(BuildNewTree(m_project, parent));
        TSDataBranch* initial = tree.get();
        if (tree->Count() > 0) {
            initial = dynamic_cast<TSDataBranch*>(tree->GetChild(tree->Count() - 1));
            if (initial != nullptr && initial->Count() > 0)
                initial = dynamic_cast<TSDataBranch*>(initial->GetChild(0));
        }
        TSDataBranch* chosen = nullptr;
        if (TSNewDialog::Execute(tree.get(), initial, chosen) && chosen != nullptr) {
            chosenClass = chosen->Data().AsClass();
            std::lock_guard guard(TreeLock());
            if (tree->Count() > 0 && chosen->IsDescendantOf(tree->GetChild(0)))
                parent = nullptr;
            else if (tree->Count() > 1 && chosen->IsDescendantOf(tree->GetChild(1)))
                parent = m_project;
        }
    }
    if (chosenClass == nullptr)
        return;

    if (parent == nullptr) {
        if (!chosenClass->InheritsFrom(&TSProject::ClassInfo))
            return;
        CloseProject();
        m_project = dynamic_cast<TSProject*>(TSObject::Create(chosenClass));
        if (m_project != nullptr) {
            m_project->SetName(kNewProjectName);
            Subscribe(m_project);
        }
        UpdateCaption();
        return;
    }
    if (m_project == nullptr)
        return;
    TSCreateObjectRecord request{parent, chosenClass, nullptr};
    m_project->Process(pcCreateObject, reinterpret_cast<TSParam>(&request));
    UpdateCaption();
    TSDataBranch* branch = request.Created ? m_root->FindByData(request.Created) : nullptr;
    if (branch == nullptr)
        return;
    branch->ExpandPath(true);
    if (QTreeWidgetItem* node = NodeOfBranch(branch, m_tree)) {
        for (QTreeWidgetItem* up = node->parent(); up != nullptr; up = up->parent())
            up->setExpanded(true);
        m_tree->setCurrentItem(node);
        m_tree->scrollToItem(node);
        m_tree->setFocus();
    }
}

void TSAdministrator::DeleteBtnClick()
{
    TObject* object = SelectedObject();
    if (m_project == nullptr || object == nullptr ||
        m_project->Process(pcCanDelete, reinterpret_cast<TSParam>(object)) == 0)
        return;
    // Its end reaches the project and, as an event, the tree.
    delete object;
}

void TSAdministrator::FileJob(TSThread* Thread, TSThreadParams* Params)
{
    try {
        if (m_fileState == fsLoading)
            m_project->LoadFromFile(Thread, Params);
        else
            m_project->SaveToFile(Thread, Params);
        m_jobDone = true;
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        m_jobError = e.what();
        throw;
    }
}

void TSAdministrator::LoadBtnClick()
{
    std::string name = m_fileName;
    if (!SelectProjectFile(m_handle, false, name))
        return;
    // Replacing the project discards it: its tree goes with it.
    CloseProject();
    m_fileName = FullPath(name);
    try {
        m_project = CreateProjectFromFile(m_fileName);
    } catch (const std::exception& e) {
        m_project = nullptr;
        UpdateCaption();
        ShowError(e.what());
        return;
    }
    if (m_project == nullptr) {
        UpdateCaption();
        return;
    }
    m_jobError.clear();
    m_jobDone = false;
    m_fileState = fsLoading;
    RunSynchronouslyInForm("Load Project From : " + m_fileName, ParamsOf(m_fileName),
                           TSEventHandler::Of<&TSAdministrator::ThreadEvent>(this),
                           TSThreadJob::Of<&TSAdministrator::FileJob>(this));
    m_fileState = fsIdle;
    UpdateCaption();
    if (!m_jobDone && !m_jobError.empty())
        ShowError(m_jobError);
}

void TSAdministrator::ThreadEvent(TObject* Sender, std::int32_t Code, TSParam)
{
    auto* thread = dynamic_cast<TSThread*>(Sender);
    if (m_fileState != fsLoading || Code != ecThreadState || thread == nullptr)
        return;
    switch (thread->State()) {
    case tsDone:
        if (m_project != nullptr)
            Subscribe(m_project);
        break;
    case tsFailed:
    case tsAborted: {
        TSProject* project = m_project;
        m_project = nullptr;
        delete project;
        break;
    }
    default:
        break;
    }
}

void TSAdministrator::SaveBtnClick()
{
    if (m_project == nullptr)
        return;
    std::string name = m_fileName;
    if (!SelectProjectFile(m_handle, true, name))
        return;
    name = FullPath(name);
    m_jobError.clear();
    m_jobDone = false;
    m_fileState = fsSaving;
    RunSynchronouslyInForm("Save Project To : " + name, ParamsOf(name), {},
                           TSThreadJob::Of<&TSAdministrator::FileJob>(this));
    m_fileState = fsIdle;
    // A failed save keeps the name of the file the project still matches.
    if (m_jobDone)
        m_fileName = name;
    UpdateCaption();
    if (!m_jobDone && !m_jobError.empty())
        ShowError(m_jobError);
}

void TSAdministrator::ProjectEvent(TObject* Sender, std::int32_t Code, TSParam Param)
{
    QueuedEvent event{Sender, Code, false};
    if (Code == ecDestroying && Sender != nullptr && Sender == m_subscribed.load())
        event.ProjectGone = true;
    else if (Code == ecMemberEvent && Param != 0) {
        const auto* record = reinterpret_cast<const TSEventRecord*>(Param);
        event.Sender = record->Sender;
        event.Code = record->Code;
    }
    switch (event.Code) {
    case ecDestroying:
    case ecBeginChange:
    case ecEndChange:
    case ecChanged:
    case ecChanged + 1:
    case ecListChanged:
        break;
    default:
        return;
    }
    bool first = false;
    {
        std::lock_guard guard(m_eventLock);
        first = m_events.empty();
        m_events.push_back(event);
    }
    if (first)
        m_handle.PostMessage(WM_PROJECTEVENTS);
}

void TSAdministrator::PostRebuild()
{
    m_handle.PostMessage(WM_REFRESH, 1, 0);
}

void TSAdministrator::ScheduleRefresh(TSDataBranch* Branch)
{
    if (m_schedule.ScheduleRefresh(Branch))
        PostRebuild();
}

void TSAdministrator::DrainProjectEvents()
{
    std::vector<QueuedEvent> events;
    {
        std::lock_guard guard(m_eventLock);
        events.swap(m_events);
    }
    // An object whose end is in this batch is gone already: its earlier events
    // must not reach it.
    for (const QueuedEvent& event : events)
        if (event.Code == ecDestroying && !event.ProjectGone)
            m_gone.insert(event.Sender);
    for (const QueuedEvent& event : events) {
        if (event.ProjectGone) {
            if (m_project == event.Sender) {
                m_subscribed = nullptr;
                m_project = nullptr;
                m_fileName.clear();
            }
            m_schedule.PendingBranch = m_root;
            PostRebuild();
            continue;
        }
        switch (event.Code) {
        case ecDestroying: {
            TSDataBranch* branch = m_root->FindByData(event.Sender);
            TSDataBranch* parent = nullptr;
            if (branch != nullptr) {
                std::lock_guard guard(TreeLock());
                parent = dynamic_cast<TSDataBranch*>(branch->Parent());
            }
            ScheduleRefresh(parent ? parent : m_root);
            break;
        }
        case ecBeginChange:
            m_schedule.IncChangeNesting();
            break;
        case ecEndChange:
            if (m_schedule.DecChangeNesting())
                PostRebuild();
            break;
        case ecChanged:
        case ecChanged + 1:
            if (m_gone.count(event.Sender) == 0)
                WMRefresh(0, reinterpret_cast<plat::LParam>(event.Sender));
            break;
        case ecListChanged: {
            TSDataBranch* branch = m_root->FindByData(event.Sender);
            ScheduleRefresh(branch ? branch : m_root);
            break;
        }
        default:
            break;
        }
    }
}

void TSAdministrator::RefreshObjectText(TObject* Object)
{
    if (Object != nullptr && Object == m_project) {
        UpdateCaption();
        return;
    }
    TSDataBranch* branch = m_root->FindByData(Object);
    if (branch == nullptr || m_gone.count(Object) != 0)
        return;
    std::string text;
    InterfaceGetText(Object, text);
    branch->SetName(text);
    if (QTreeWidgetItem* node = NodeOfBranch(branch, m_tree)) {
        QSignalBlocker block(m_tree);
        node->setText(0, QString::fromStdString(text));
    } else {
        UpdateCaption();
    }
}

plat::LResult TSAdministrator::WMRefresh(plat::WParam WParam, plat::LParam LParam)
{
    if (WParam == 0) {
        RefreshObjectText(reinterpret_cast<TObject*>(LParam));
        return 0;
    }
    if (WParam != 1)
        return 0;
    TSDataBranch* pending = m_schedule.PendingBranch;
    if (pending == nullptr)
        return 0;
    TObject* object = pending->Data().As<TObject>();
    if (object == nullptr || m_project == nullptr || m_gone.count(object) != 0) {
        m_schedule.PendingBranch = nullptr;
        UpdateCaption();
    } else {
        RefreshTree(pending, object);
        m_schedule.PendingBranch = nullptr;
        m_gone.clear();
    }
    return 0;
}
