#include "Viewer3DTestSupport.h"

#include "ModalDriver.h"
#include "viewer3d/project/HcProject3D.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <mutex>

constinit const TSClassInfo TTestAdminItem::ClassInfo{"TTestAdminItem", &TSCustomChangeObject::ClassInfo,
                                                      &TSNewObject<TTestAdminItem>};
constinit const TSClassInfo TTestAdminProject::ClassInfo{"TTestAdminProject", &TSProject::ClassInfo,
                                                         &TSNewObject<TTestAdminProject>};

void TTestAdminProject::Initialize()
{
    TSProject::Initialize();
    Objects = TSObject::Create<TSCustomChangeObjectList>();
    Objects->SetName("Objects");
    Others = TSObject::Create<TSCustomChangeObjectList>();
    Others->SetName("Others");
    for (auto* list : {Objects, Others})
        list->Events.Add(TSEventHandler::Of<&TTestAdminProject::MemberEvent>(this));
}

void TTestAdminProject::Finalize()
{
    for (auto* list : {Objects, Others}) {
        if (list == nullptr)
            continue;
        list->Events.Remove(TSEventHandler::Of<&TTestAdminProject::MemberEvent>(this));
        list->Clear();
        delete list;
    }
    Objects = Others = nullptr;
    TSProject::Finalize();
}

void TTestAdminProject::MemberEvent(TObject* Sender, std::int32_t Code, TSParam Param)
{
    TSEventRecord record{Sender, Code, Param};
    if (Code == ecMemberEvent && Param != 0)
        record = *reinterpret_cast<TSEventRecord*>(Param);
    Events.Notify(this, ecMemberEvent, reinterpret_cast<TSParam>(&record));
}

std::int32_t TTestAdminProject::Process(std::int32_t Code, TSParam Param)
{
    const std::int32_t inherited = TSProject::Process(Code, Param);
    if (inherited >= 0)
        return inherited;
    switch (Code) {
    case pcCreateObject: {
        auto* request = reinterpret_cast<TSCreateObjectRecord*>(Param);
        if (request->Class == nullptr || !request->Class->InheritsFrom(&TSCustomChangeObject::ClassInfo))
            return -1;
        auto* made = static_cast<TSCustomChangeObject*>(TSObject::Create(request->Class));
        (request->Parent == Others ? Others : Objects)->Add(made);
        request->Created = made;
        return 0;
    }
    case pcCanDelete:
        return Param == reinterpret_cast<TSParam>(Objects) || Param == reinterpret_cast<TSParam>(Others) ? 0 : -1;
    case pcOpenEditor:
        ++OpenedEditors;
        return 0;
    case pcFindDepository:
        *reinterpret_cast<TSObject**>(Param) = nullptr;
        return 0;
    default:
        return -1;
    }
}

std::int32_t TTestAdminProject::WriteObjects(TSObjectsStream* Stream)
{
    const std::int32_t count = Objects->Count();
    Stream->Write(&count, 4);
    std::int32_t bytes = 4;
    for (std::int32_t i = 0; i < count; ++i)
        bytes += Stream->WriteObject(Objects->GetItem(i));
    return bytes;
}

std::int32_t TTestAdminProject::ReadObjects(TSObjectsStream* Stream)
{
    std::int32_t count = 0;
    Stream->Read(&count, 4);
    if (count < 0 || (Stream->Remaining() >= 0 && count > Stream->Remaining()))
        throw EStreamError("bad count");
    std::int32_t bytes = 4;
    for (std::int32_t i = 0; i < count; ++i) {
        TSObject* item = nullptr;
        bytes += Stream->ReadObject(item, &TSCustomChangeObject::ClassInfo);
        if (item != nullptr)
            Objects->Add(static_cast<TSCustomChangeObject*>(item));
    }
    return bytes;
}

void TTestAdminProject::BuildTree(TSDataBranch* Branch)
{
    // Objects' locks come before the tree lock: no lock is held across the calls.
    Branch->SetName(Name());
    Branch->SetData(this);
    Branch->SetCount(0);
    Branch->SetExpanded(true);
    TSDataBranch* scene = TSDataBranch::Create("Scene", {}, true);
    Branch->AddChild(scene);
    for (auto* list : {Objects, Others}) {
        TSDataBranch* child = TSDataBranch::Create(list->Name(), list, false);
        scene->AddChild(child);
        TSCommandRecord record;
        record.Project = this;
        record.Object = list;
        record.Command = icDescribe;
        record.Param = reinterpret_cast<TSParam>(child);
        DispatchInterfaceCommand(list->ClassType(), record);
    }
}

namespace {

std::int32_t TestProjectCommand(TSCommandRecord* Record)
{
    if (Record->Command != icDescribe || Record->Object == nullptr)
        return -1;
    auto* project = dynamic_cast<TTestAdminProject*>(Record->Object);
    if (project == nullptr)
        return -1;
    project->BuildTree(reinterpret_cast<TSDataBranch*>(Record->Param));
    return 0;
}

QTreeWidgetItem* FindItem(QTreeWidget* Tree, const std::string& Text)
{
    for (QTreeWidgetItemIterator it(Tree); *it; ++it)
        if ((*it)->text(0).toStdString() == Text)
            return *it;
    return nullptr;
}

}  // namespace

void RegisterTestProjectClasses()
{
    RegisterRTDClass(&TTestAdminProject::ClassInfo);
    RegisterRTDClass(&TTestAdminItem::ClassInfo);
    RegisterInterfaceHandler(&TTestAdminProject::ClassInfo, &TestProjectCommand);
    SetInterfaceCaption(&TTestAdminProject::ClassInfo, "Test Project");
    SetInterfaceCaption(&TTestAdminItem::ClassInfo, "Test Item");
    std::lock_guard guard(TreeLock());
    GetInterfaceEntry(&TTestAdminProject::ClassInfo, ikCategories, true)
        ->ForceChild("Items", true)
        ->ForceChild("Test Item", true)
        ->SetData(&TTestAdminItem::ClassInfo);
}

void Viewer3DTest::SetUp()
{
    StartViewer3DUnits();
    RegisterTestProjectClasses();
    m_boxes = std::make_unique<plat::ScopedMessageBoxAnswerer>(plat::IDOK);
    m_files = std::make_unique<plat::ScopedFileDialogAnswerer>(plat::FileDialogResult{});
}

void Viewer3DTest::TearDown()
{
    m_files.reset();
    m_boxes.reset();
    StopViewer3DUnits();
}

void Viewer3DTest::AnswerFileDialog(const std::string& Name)
{
    plat::FileDialogResult answer;
    if (!Name.empty()) {
        answer.ok = true;
        answer.paths = {Name};
        answer.filterIndex = 1;
    }
    m_files.reset();
    m_files = std::make_unique<plat::ScopedFileDialogAnswerer>(answer);
}

void WhenNewDialog(std::function<void(TSNewDialog&)> Act)
{
    testsupport::WhenShown<TSNewDialog>(
        [] { return dynamic_cast<TSNewDialog*>(QApplication::activeModalWidget()); }, std::move(Act));
}

void ChooseInNewDialog(const std::string& Category, const std::string& Leaf)
{
    WhenNewDialog([Category, Leaf](TSNewDialog& Dialog) {
        if (QTreeWidgetItem* node = FindItem(Dialog.TreeView1(), Category))
            Dialog.TreeView1()->setCurrentItem(node);
        for (int i = 0; i < Dialog.ListView1()->count(); ++i)
            if (Dialog.ListView1()->item(i)->text().toStdString() == Leaf)
                Dialog.ListView1()->item(i)->setSelected(true);
        if (Dialog.OkBtn()->isEnabled())
            Dialog.OkBtn()->click();
        else
            Dialog.CancelBtn()->click();
    });
}

std::unique_ptr<THalcyte3DProject> SaveAndLoad(THalcyte3DProject& Project, const std::string& Path)
{
    Project.SaveToFileName(Path);
    std::unique_ptr<THalcyte3DProject> loaded(dynamic_cast<THalcyte3DProject*>(CreateProjectFromFile(Path)));
    if (loaded)
        loaded->LoadFromFileName(Path);
    return loaded;
}
