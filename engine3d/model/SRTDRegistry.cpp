#include "engine3d/model/SRTDRegistry.h"

#include "engine3d/model/GeneralProc.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <memory>

// ---------------------------------------------------------------------------
// TSDataBranch

constinit const TSClassInfo TSDataBranch::ClassInfo{"TSDataBranch", &TSBranch::ClassInfo, &TSNewObject<TSDataBranch>};

namespace {

// The node's data as a stream holds it: numbers as they are, references as 0.
std::int32_t SavedData(const TSNodeData& Data)
{
    return Data.IsReference ? 0 : static_cast<std::int32_t>(Data.Value);
}

}  // namespace

TSDataBranch* TSDataBranch::Create(TSClass Class, const std::string& Name, TSNodeData Data, bool Expanded)
{
    if (Class == nullptr || !Class->InheritsFrom(&ClassInfo))
        return nullptr;
    std::unique_ptr<TSObject> made(TSObject::Create(Class, nullptr));
    auto* node = dynamic_cast<TSDataBranch*>(made.get());
    if (node == nullptr)
        return nullptr;
    node->InitializeNode(Name, Data, Expanded);
    made.release();
    return node;
}

void TSDataBranch::InitializeNode(const std::string& Name, TSNodeData Data, bool Expanded)
{
    std::lock_guard guard(TreeLock());
    m_name = Name;
    m_data = Data;
    m_expanded = Expanded;
}

void TSDataBranch::Initialize()
{
    TSBranch::Initialize();
    m_name.clear();
    m_data = {};
    m_tag = 0;
    m_expanded = false;
}

std::string TSDataBranch::Name() const
{
    std::lock_guard guard(TreeLock());
    return m_name;
}

TSNodeData TSDataBranch::Data() const
{
    std::lock_guard guard(TreeLock());
    return m_data;
}

std::int32_t TSDataBranch::Tag() const
{
    std::lock_guard guard(TreeLock());
    return m_tag;
}

bool TSDataBranch::Expanded() const
{
    std::lock_guard guard(TreeLock());
    return m_expanded;
}

void TSDataBranch::SetName(const std::string& Name)
{
    std::lock_guard guard(TreeLock());
    m_name = Name;
}

void TSDataBranch::SetData(TSNodeData Data)
{
    std::lock_guard guard(TreeLock());
    m_data = Data;
}

void TSDataBranch::SetTag(std::int32_t Tag)
{
    std::lock_guard guard(TreeLock());
    m_tag = Tag;
}

void TSDataBranch::SetExpanded(bool Expanded)
{
    std::lock_guard guard(TreeLock());
    m_expanded = Expanded;
}

TSDataBranch* TSDataBranch::FindChildByData(TSNodeData Value) const
{
    if (Value.IsNil())
        return nullptr;
    std::lock_guard guard(TreeLock());
    for (std::int32_t i = 0; i < Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(GetChild(i)); child && child->m_data == Value)
            return child;
    return nullptr;
}

TSDataBranch* TSDataBranch::FindByData(TSNodeData Value) const
{
    if (Value.IsNil())
        return nullptr;
    std::lock_guard guard(TreeLock());
    if (m_data == Value)
        return const_cast<TSDataBranch*>(this);
    for (std::int32_t i = 0; i < Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(GetChild(i)))
            if (TSDataBranch* found = child->FindByData(Value))
                return found;
    return nullptr;
}

TSDataBranch* TSDataBranch::FindChildByName(const std::string& Name, bool CaseSensitive) const
{
    std::lock_guard guard(TreeLock());
    for (std::int32_t i = 0; i < Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(GetChild(i));
            child && SameName(child->m_name, Name, CaseSensitive))
            return child;
    return nullptr;
}

TSDataBranch* TSDataBranch::FindPath(const std::string& Path, bool CaseSensitive, char Separator) const
{
    std::string_view rest(Path);
    if (!rest.empty() && rest.back() == Separator)
        rest.remove_suffix(1);
    std::lock_guard guard(TreeLock());
    auto* node = const_cast<TSDataBranch*>(this);
    if (rest.empty())
        return node;
    for (;;) {
        const std::size_t end = rest.find(Separator);
        node = node->FindChildByName(std::string(rest.substr(0, end)), CaseSensitive);
        if (node == nullptr || end == std::string_view::npos)
            return node;
        rest.remove_prefix(end + 1);
    }
}

TSDataBranch* TSDataBranch::ForceChild(const std::string& Name, bool CaseSensitive)
{
    std::lock_guard guard(TreeLock());
    if (TSDataBranch* found = FindChildByName(Name, CaseSensitive))
        return found;
    TSDataBranch* child = Create(Name);
    AddChild(child);
    return child;
}

void TSDataBranch::GetPath(const TSBranch* Root, char Separator, std::string& Path) const
{
    std::lock_guard guard(TreeLock());
    std::string path = m_name;
    for (const TSBranch* up = Parent(); up != nullptr && up != Root; up = up->Parent()) {
        const auto* data = dynamic_cast<const TSDataBranch*>(up);
        path = (data ? data->m_name : std::string()) + Separator + path;
    }
    Path = std::move(path);
}

void TSDataBranch::ExpandPath(bool Flag)
{
    std::lock_guard guard(TreeLock());
    for (TSBranch* node = this; node != nullptr; node = node->Parent())
        if (auto* data = dynamic_cast<TSDataBranch*>(node))
            data->SetExpanded(Flag);
}

void TSDataBranch::SetExpandedAll(bool Flag)
{
    std::lock_guard guard(TreeLock());
    SetExpanded(Flag);
    for (std::int32_t i = 0; i < Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(GetChild(i)))
            child->SetExpandedAll(Flag);
}

void TSDataBranch::Assign(TPersistent* Source)
{
    if (auto* source = dynamic_cast<TSDataBranch*>(Source); source && source != this) {
        std::lock_guard guard(TreeLock());
        m_name = source->m_name;
        m_data = source->m_data;
        m_tag = source->m_tag;
        m_expanded = source->m_expanded;
    }
    TSBranch::Assign(Source);
}

std::int32_t TSDataBranch::Save(TSObjectsStream* Stream)
{
    const std::int32_t children = TSBranch::Save(Stream);
    if (children < 0)
        return children;
    std::string name;
    std::int32_t fields[3];
    {
        std::lock_guard guard(TreeLock());
        name = m_name;
        fields[0] = SavedData(m_data);
        fields[1] = m_tag;
        fields[2] = m_expanded ? 1 : 0;
    }
    const std::int32_t nameBytes = WriteStreamString(Stream, name);
    Stream->Write(fields, sizeof fields);
    return children + nameBytes + static_cast<std::int32_t>(sizeof fields);
}

std::int32_t TSDataBranch::Load(TSObjectsStream* Stream)
{
    const std::int32_t children = TSBranch::Load(Stream);
    if (children < 0)
        return children;
    std::string name;
    const std::int32_t nameBytes = ReadStreamString(Stream, name);
    std::int32_t fields[3] = {};
    Stream->Read(fields, sizeof fields);
    std::lock_guard guard(TreeLock());
    m_name = std::move(name);
    m_data = TSNodeData(fields[0]);
    m_tag = fields[1];
    m_expanded = (fields[2] & 0xFF) != 0;
    return children + nameBytes + static_cast<std::int32_t>(sizeof fields);
}

// ---------------------------------------------------------------------------
// TSRTDRegistry

constinit const TSClassInfo TSRTDRegistry::ClassInfo{"TSRTDRegistry", &TObject::ClassInfo, nullptr};

TSRTDRegistry::~TSRTDRegistry()
{
    SetCount(0);
}

std::string TSRTDRegistry::RootName(TSRegistryKey Key)
{
    char text[2 * sizeof(TSRegistryKey) + 3];
    if (Key >= std::numeric_limits<std::int32_t>::min() && Key <= std::numeric_limits<std::uint32_t>::max())
        std::snprintf(text, sizeof text, "{%08" PRIX32 "}", static_cast<std::uint32_t>(Key));
    else
        std::snprintf(text, sizeof text, "{%0*" PRIXPTR "}", static_cast<int>(2 * sizeof Key),
                      static_cast<std::uintptr_t>(Key));
    return text;
}

std::int32_t TSRTDRegistry::IndexOfKey(TSRegistryKey Key) const
{
    std::lock_guard guard(m_lock);
    for (auto i = static_cast<std::int32_t>(m_entries.size()) - 1; i >= 0; --i)
        if (m_entries[static_cast<std::size_t>(i)].Key == Key)
            return i;
    return -1;
}

std::int32_t TSRTDRegistry::ForceKey(TSRegistryKey Key)
{
    // The root is made and, when another thread was first, freed outside the
    // table's lock: a tree is never touched under it.
    std::unique_ptr<TSDataBranch> made;
    for (;;) {
        {
            std::lock_guard guard(m_lock);
            std::int32_t at = -1;
            for (auto i = static_cast<std::int32_t>(m_entries.size()) - 1; i >= 0 && at < 0; --i)
                if (m_entries[static_cast<std::size_t>(i)].Key == Key)
                    at = i;
            if (at >= 0 && m_entries[static_cast<std::size_t>(at)].Root != nullptr)
                return at;
            if (made) {
                if (at < 0) {
                    m_entries.push_back({Key, made.release()});
                    return static_cast<std::int32_t>(m_entries.size()) - 1;
                }
                m_entries[static_cast<std::size_t>(at)].Root = made.release();
                return at;
            }
        }
        made.reset(TSDataBranch::Create(RootName(Key)));
    }
}

void TSRTDRegistry::RemoveKey(TSRegistryKey Key)
{
    TSDataBranch* dropped = nullptr;
    {
        std::lock_guard guard(m_lock);
        for (auto i = static_cast<std::int32_t>(m_entries.size()) - 1; i >= 0; --i)
            if (m_entries[static_cast<std::size_t>(i)].Key == Key) {
                dropped = m_entries[static_cast<std::size_t>(i)].Root;
                m_entries.erase(m_entries.begin() + i);
                break;
            }
    }
    delete dropped;
}

void TSRTDRegistry::SetCount(std::int32_t N)
{
    if (N < 0)
        N = 0;
    std::vector<Entry> dropped;
    {
        std::lock_guard guard(m_lock);
        if (static_cast<std::size_t>(N) < m_entries.size())
            dropped.assign(m_entries.begin() + N, m_entries.end());
        m_entries.resize(static_cast<std::size_t>(N));
    }
    for (const Entry& entry : dropped)
        delete entry.Root;
}

std::int32_t TSRTDRegistry::Count() const
{
    std::lock_guard guard(m_lock);
    return static_cast<std::int32_t>(m_entries.size());
}

TSDataBranch* TSRTDRegistry::Root(std::int32_t Index) const
{
    std::lock_guard guard(m_lock);
    if (Index < 0 || static_cast<std::size_t>(Index) >= m_entries.size())
        return nullptr;
    return m_entries[static_cast<std::size_t>(Index)].Root;
}

TSDataBranch* TSRTDRegistry::FindRoot(TSRegistryKey Key) const
{
    std::lock_guard guard(m_lock);
    for (auto i = m_entries.rbegin(); i != m_entries.rend(); ++i)
        if (i->Key == Key)
            return i->Root;
    return nullptr;
}

// ---------------------------------------------------------------------------
// The program's registry

namespace {

constexpr char kClasses[] = "Classes";
constexpr char kDepositoryClasses[] = "Depository Classes";

std::atomic<TSRTDRegistry*> gRegistry{nullptr};

// The key-0 branch of that name; made when Force.
TSDataBranch* StandardBranch(const char* Name, bool Force)
{
    TSDataBranch* root = Force ? GetRegistryRoot(0) : FindRegistryRoot(0);
    if (root == nullptr)
        return nullptr;
    return Force ? root->ForceChild(Name, false) : root->FindChildByName(Name, false);
}

TSDataBranch* RegisterUnder(TSDataBranch* Classes, TSClass Class)
{
    if (TSDataBranch* node = Classes->FindByData(Class))
        return node;
    TSDataBranch* parent = Class->Parent ? RegisterUnder(Classes, Class->Parent) : Classes;
    if (TSDataBranch* node = parent->FindChildByData(Class))
        return node;
    TSDataBranch* node = TSDataBranch::Create(Class->Name, Class, false);
    parent->AddChild(node);
    return node;
}

TSDataBranch* FindByName(TSDataBranch* Node, const std::string& Name)
{
    for (std::int32_t i = 0; i < Node->Count(); ++i)
        if (auto* child = dynamic_cast<TSDataBranch*>(Node->GetChild(i))) {
            if (SameText(child->Name(), Name))
                return child;
            if (TSDataBranch* found = FindByName(child, Name))
                return found;
        }
    return nullptr;
}

}  // namespace

// Start and end of the unit. The units that register anything start after it
// and end before it.
void SRTDRegistryInitialization()
{
    auto registry = std::make_unique<TSRTDRegistry>();
    registry->ForceKey(0);
    gRegistry.store(registry.release());
    RegisterRTDClass(&TSDataBranch::ClassInfo);
    RegisterRTDClass(&TSObjectsStream::ClassInfo);
    RegisterRTDClass(&TSCustomChangeObject::ClassInfo);
}

void SRTDRegistryFinalization()
{
    if (TSDataBranch* root = FindRegistryRoot(0)) {
        std::lock_guard guard(TreeLock());
        delete root->FindChildByName(kDepositoryClasses, false);
        delete root->FindChildByName(kClasses, false);
    }
    delete gRegistry.exchange(nullptr);
}

TSRTDRegistry* RTDRegistry()
{
    return gRegistry.load();
}

TSDataBranch* GetRegistryRoot(TSRegistryKey Key)
{
    TSRTDRegistry* registry = RTDRegistry();
    return registry ? registry->Root(registry->ForceKey(Key)) : nullptr;
}

TSDataBranch* FindRegistryRoot(TSRegistryKey Key)
{
    TSRTDRegistry* registry = RTDRegistry();
    return registry ? registry->FindRoot(Key) : nullptr;
}

TSDataBranch* FindRegistryPath(TSRegistryKey Key, const std::string& Path)
{
    TSDataBranch* root = FindRegistryRoot(Key);
    return root ? root->FindPath(Path, true, '\\') : nullptr;
}

void RemoveRegistryKey(TSRegistryKey Key)
{
    if (TSRTDRegistry* registry = RTDRegistry())
        registry->RemoveKey(Key);
}

TSDataBranch* FindRTDClassesBranch()
{
    return StandardBranch(kClasses, false);
}

TSDataBranch* RegisterRTDClass(TSClass Class)
{
    if (Class == nullptr)
        return nullptr;
    std::lock_guard guard(TreeLock());
    TSDataBranch* classes = StandardBranch(kClasses, true);
    return classes ? RegisterUnder(classes, Class) : nullptr;
}

TSDataBranch* FindRTDClassNode(TSClass Class)
{
    if (Class == nullptr)
        return nullptr;
    std::lock_guard guard(TreeLock());
    TSDataBranch* classes = FindRTDClassesBranch();
    return classes ? classes->FindByData(Class) : nullptr;
}

void UnregisterRTDClass(TSClass Class)
{
    std::lock_guard guard(TreeLock());
    delete FindRTDClassNode(Class);
}

TSClass FindRTDClass(const std::string& Name)
{
    std::lock_guard guard(TreeLock());
    TSDataBranch* classes = FindRTDClassesBranch();
    TSDataBranch* node = classes ? FindByName(classes, Name) : nullptr;
    return node ? node->Data().AsClass() : nullptr;
}

TSDataBranch* RegisterDepositoryClass(TSClass DepositoryClass, TSClass ObjectClass)
{
    if (DepositoryClass == nullptr || ObjectClass == nullptr)
        return nullptr;
    std::lock_guard guard(TreeLock());
    TSDataBranch* branch = StandardBranch(kDepositoryClasses, true);
    if (branch == nullptr)
        return nullptr;
    TSDataBranch* depository = branch->FindChildByData(DepositoryClass);
    if (depository == nullptr) {
        depository = TSDataBranch::Create(DepositoryClass->Name, DepositoryClass, false);
        branch->AddChild(depository);
    }
    if (depository->FindChildByData(ObjectClass) == nullptr)
        depository->AddChild(TSDataBranch::Create(ObjectClass->Name, ObjectClass, false));
    return depository;
}

void UnregisterDepositoryClass(TSClass DepositoryClass, TSClass ObjectClass)
{
    if (DepositoryClass == nullptr || ObjectClass == nullptr)
        return;
    std::lock_guard guard(TreeLock());
    TSDataBranch* branch = StandardBranch(kDepositoryClasses, false);
    TSDataBranch* depository = branch ? branch->FindChildByData(DepositoryClass) : nullptr;
    if (depository == nullptr)
        return;
    delete depository->FindChildByData(ObjectClass);
    if (depository->Count() == 0)
        delete depository;
}

TSClass FindDepositoryClass(TSClass ObjectClass)
{
    if (ObjectClass == nullptr)
        return nullptr;
    std::lock_guard guard(TreeLock());
    TSDataBranch* branch = StandardBranch(kDepositoryClasses, false);
    if (branch == nullptr)
        return nullptr;
    for (std::int32_t i = 0; i < branch->Count(); ++i)
        if (auto* depository = dynamic_cast<TSDataBranch*>(branch->GetChild(i));
            depository && depository->FindChildByData(ObjectClass))
            return depository->Data().AsClass();
    return nullptr;
}
