#include "engine3d/model/SInterface.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr char kInterfaces[] = "SInterfaces";

// Tags of the edit menu's entries; only "Open" acts.
enum TSEditMenuTag : std::int32_t {
    emOpen = -1,
    emCut = -2,
    emCopy = -3,
    emPaste = -4,
};

// Keeps the record of the most recently built edit menu for its "Open". Forgets
// it as soon as a change object it names is destroyed, so that "Open" never
// reaches a freed object. Not copyable.
class TInternal_MenuClickObject final : public TObject {
    S_CLASS(TInternal_MenuClickObject)
public:
    ~TInternal_MenuClickObject() override
    {
        std::lock_guard guard(m_lock);
        Forget();
    }

    void Store(const TSCommandRecord& Record)
    {
        std::lock_guard guard(m_lock);
        Forget();
        m_record = Record;
        m_valid = true;
        for (TObject* named : {Record.Object, Record.Project, static_cast<TObject*>(Record.Depository)}) {
            auto* watched = dynamic_cast<TSCustomChangeObject*>(named);
            if (watched == nullptr || watched->IsDestroying()) {
                if (watched != nullptr)
                    m_valid = false;
                continue;
            }
            bool known = false;
            for (TSCustomChangeObject* w : m_watched)
                known = known || w == watched;
            if (!known) {
                watched->Events.Add(Handler());
                m_watched.push_back(watched);
            }
        }
    }

    void Click(std::int32_t Tag)
    {
        if (Tag != emOpen)
            return;
        TSCommandRecord record;
        {
            std::lock_guard guard(m_lock);
            if (!m_valid)
                return;
            record = m_record;
        }
        record.Command = icOpen;
        DispatchInterfaceCommand(record.Class, record);
    }

private:
    TSEventHandler Handler() { return TSEventHandler::Of<&TInternal_MenuClickObject::OnEvent>(this); }

    void OnEvent(TObject* Sender, std::int32_t EventCode, TSParam)
    {
        if (EventCode != ecDestroying)
            return;
        std::lock_guard guard(m_lock);
        for (TSCustomChangeObject* w : m_watched)
            if (w == Sender) {
                Forget();
                return;
            }
    }

    // Under the lock.
    void Forget()
    {
        for (TSCustomChangeObject* w : m_watched)
            w->Events.Remove(Handler());
        m_watched.clear();
        m_record = {};
        m_valid = false;
    }

    std::mutex m_lock;
    TSCommandRecord m_record;
    bool m_valid = false;
    std::vector<TSCustomChangeObject*> m_watched;
};

constinit const TSClassInfo TInternal_MenuClickObject::ClassInfo{"TInternal_MenuClickObject", &TObject::ClassInfo,
                                                                 nullptr};

std::atomic<TInternal_MenuClickObject*> gClickObject{nullptr};

constexpr TSEditMenuEntry kEditMenuEntries[] = {
    {"Open", emOpen}, {"-", 0}, {"Cut", emCut}, {"Copy", emCopy}, {"Paste", emPaste},
};

std::atomic<TSEditMenuInserter> gMenuInserter{nullptr};


TSInterfaceRoutine RoutineOf(const TSDataBranch* Node)
{
    return Node->Data().As<std::int32_t(TSCommandRecord*)>();
}

std::string NameOf(TObject* Object)
{
    auto* named = dynamic_cast<TSCustomChangeObject*>(Object);
    return named ? named->Name() : std::string();
}

}  // namespace

// Start and end of the unit: the menu-click object; the end takes the
// "SInterfaces" branch from the registry, which ends after this unit.
void SInterfaceInitialization()
{
    gClickObject.store(new TInternal_MenuClickObject);
}

void SInterfaceFinalization()
{
    delete gClickObject.exchange(nullptr);
    if (TSDataBranch* root = FindRegistryRoot(0)) {
        std::lock_guard guard(TreeLock());
        delete root->FindChildByName(kInterfaces, false);
    }
}

TSDataBranch* GetInterfaceEntry(TSClass Class, std::int32_t Key, bool Create)
{
    if (Class == nullptr)
        return nullptr;
    std::lock_guard guard(TreeLock());
    TSDataBranch* root = Create ? GetRegistryRoot(0) : FindRegistryRoot(0);
    if (root == nullptr)
        return nullptr;
    TSDataBranch* branch = Create ? root->ForceChild(kInterfaces, false) : root->FindChildByName(kInterfaces, false);
    if (branch == nullptr)
        return nullptr;
    TSDataBranch* classNode = branch->FindChildByData(Class);
    if (classNode == nullptr) {
        if (!Create)
            return nullptr;
        classNode = TSDataBranch::Create(Class->Name, Class, false);
        branch->AddChild(classNode);
    }
    TSDataBranch* keyNode = classNode->FindChildByData(Key);
    if (keyNode == nullptr && Create) {
        keyNode = TSDataBranch::Create("", Key, false);
        classNode->AddChild(keyNode);
    }
    return keyNode;
}

TSDataBranch* RegisterInterfaceHandler(TSClass Class, TSInterfaceRoutine Routine)
{
    if (Class == nullptr || Routine == nullptr || Routine == &DefaultInterfaceHandler)
        return nullptr;
    std::lock_guard guard(TreeLock());
    TSDataBranch* commands = GetInterfaceEntry(Class, ikCommands, true);
    if (commands == nullptr)
        return nullptr;
    if (TSDataBranch* known = commands->FindChildByData(Routine))
        return known;
    TSDataBranch* node = TSDataBranch::Create("", Routine, false);
    commands->AddChild(node);
    return node;
}

void UnregisterInterfaceHandler(TSClass Class, TSInterfaceRoutine Routine)
{
    if (Routine == nullptr)
        return;
    std::lock_guard guard(TreeLock());
    if (TSDataBranch* commands = GetInterfaceEntry(Class, ikCommands, false))
        delete commands->FindChildByData(Routine);
}

void SetInterfaceCaption(TSClass Class, const std::string& Caption)
{
    if (TSDataBranch* node = GetInterfaceEntry(Class, ikCaption, true))
        node->SetName(Caption);
}

void GetInterfaceCaption(TSClass Class, std::string& S)
{
    if (TSDataBranch* node = GetInterfaceEntry(Class, ikCaption, false))
        S = node->Name();
    else
        S = Class ? Class->Name : "";
}

std::int32_t GetInterfaceImage(std::int32_t Size, TSClass Class)
{
    std::int32_t key = 0;
    switch (Size) {
    case 64:
        key = ikImage64;
        break;
    case 32:
        key = ikImage32;
        break;
    case 16:
        key = ikImage16;
        break;
    default:
        return -1;
    }
    TSDataBranch* node = GetInterfaceEntry(Class, key, false);
    return node ? node->Tag() : -1;
}

std::int32_t DispatchInterfaceCommand(TSClass Class, TSCommandRecord& Record)
{
    if (Class == nullptr || Class == &TObject::ClassInfo)
        return -1;
    Record.Class = Class;
    for (TSClass tried = Class; tried != nullptr && tried != &TObject::ClassInfo; tried = tried->Parent) {
        // The routines are called without the tree lock: they may register,
        // unregister or build trees themselves.
        std::vector<TSInterfaceRoutine> routines;
        {
            std::lock_guard guard(TreeLock());
            if (TSDataBranch* commands = GetInterfaceEntry(tried, ikCommands, false))
                for (std::int32_t i = 0; i < commands->Count(); ++i)
                    if (auto* node = dynamic_cast<TSDataBranch*>(commands->GetChild(i)); node && !node->Data().IsNil())
                        routines.push_back(RoutineOf(node));
        }
        for (auto routine = routines.rbegin(); routine != routines.rend(); ++routine)
            if (const std::int32_t result = (*routine)(&Record); result >= 0)
                return result;
    }
    return DefaultInterfaceHandler(&Record);
}

std::int32_t DefaultInterfaceHandler(TSCommandRecord* Record)
{
    if (Record == nullptr)
        return 0;
    TObject* object = Record->Object;
    switch (Record->Command) {
    case icOpen:
        if (object == nullptr)
            break;
        if (Record->Depository != nullptr)
            Record->Depository->Process(ocOpenEditor, reinterpret_cast<TSParam>(object));
        else if (auto* model = dynamic_cast<TSObject*>(object))
            model->Process(ocOpenEditor, reinterpret_cast<TSParam>(model));
        break;
    case icCaption:
        if (auto* caption = reinterpret_cast<std::string*>(Record->Param))
            GetInterfaceCaption(Record->Class, *caption);
        break;
    case icCategories:
        if (auto* branch = reinterpret_cast<TSBranch*>(Record->Param)) {
            std::lock_guard guard(TreeLock());
            if (TSDataBranch* tree = GetInterfaceEntry(Record->Class, ikCategories, false)) {
                std::vector<TSBranch*> tops;
                for (std::int32_t i = 0; i < tree->Count(); ++i)
                    if (TSBranch* top = tree->GetChild(i))
                        tops.push_back(top);
                for (TSBranch* top : tops)
                    branch->AddChild(static_cast<TSBranch*>(top->Clone(nullptr)));
            }
        }
        break;
    case icRename:
        if (auto* named = dynamic_cast<TSCustomChangeObject*>(object); named && Record->Param != 0)
            named->SetName(*reinterpret_cast<const std::string*>(Record->Param));
        break;
    case icGetText:
        if (object != nullptr && Record->Param != 0)
            *reinterpret_cast<std::string*>(Record->Param) = NameOf(object);
        break;
    case icDescribe:
        if (auto* branch = reinterpret_cast<TSDataBranch*>(Record->Param); object != nullptr && branch != nullptr) {
            branch->SetCount(0);
            branch->SetData(object);
            branch->SetName(NameOf(object));
        }
        break;
    case icImage64:
        Record->Param = GetInterfaceImage(64, Record->Class);
        break;
    case icImage32:
        Record->Param = GetInterfaceImage(32, Record->Class);
        break;
    case icImage16:
        Record->Param = GetInterfaceImage(16, Record->Class);
        break;
    case icPopupMenu:
        if (object != nullptr && Record->Param != 0)
            BuildEditMenu(*Record);
        break;
    default:
        break;
    }
    return 0;
}

void InterfaceRename(TObject* Object, const std::string& NewName)
{
    if (Object == nullptr)
        return;
    TSCommandRecord record;
    record.Object = Object;
    record.Command = icRename;
    record.Param = reinterpret_cast<TSParam>(&NewName);
    DispatchInterfaceCommand(Object->ClassType(), record);
}

void InterfaceGetText(TObject* Object, std::string& S)
{
    S.clear();
    if (Object == nullptr)
        return;
    TSCommandRecord record;
    record.Object = Object;
    record.Command = icGetText;
    record.Param = reinterpret_cast<TSParam>(&S);
    DispatchInterfaceCommand(Object->ClassType(), record);
}

void InterfaceFillBranch(TSClass Class, TSBranch* Branch)
{
    if (Class == nullptr)
        return;
    TSCommandRecord record;
    record.Command = icCategories;
    record.Param = reinterpret_cast<TSParam>(Branch);
    DispatchInterfaceCommand(Class, record);
}

void BuildEditMenu(TSCommandRecord& Record)
{
    void* menu = reinterpret_cast<void*>(Record.Param);
    const TSEditMenuInserter insert = gMenuInserter.load();
    if (menu == nullptr || insert == nullptr)
        return;
    if (TInternal_MenuClickObject* click = gClickObject.load())
        click->Store(Record);
    insert(menu);
}

void ClickEditMenuEntry(std::int32_t Tag)
{
    if (TInternal_MenuClickObject* click = gClickObject.load())
        click->Click(Tag);
}

std::span<const TSEditMenuEntry> EditMenuEntries()
{
    return kEditMenuEntries;
}

void SetEditMenuInserter(TSEditMenuInserter Insert)
{
    gMenuInserter.store(Insert);
}
