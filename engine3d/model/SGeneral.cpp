#include "engine3d/model/SGeneral.h"

#include "platform/resources/StringTable.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

// Stream integers are little-endian and written as they lie in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

const plat::StringEntry kStrings[] = {
    {sObjectCaption, "Object [%p] ( Type - %s )"},
    {sCantSave, "Can't save"},
    {sCantLoad, "Can't load"},
    {sBusy, "Busy"},
    {sInvalidValue, "Invalid Value"},
    {sInvalidStringSize, "Invalid String Size"},
    {sListFull, "List is full"},
};

// Process-wide source of default names; objects are created on several threads.
std::atomic<std::uint64_t> gNameCounter{0};

std::atomic<TSObjectsList*> gObjectsLists{nullptr};

void ReplaceFirst(std::string& text, const char* token, const std::string& value)
{
    const auto at = text.find(token);
    if (at != std::string::npos)
        text.replace(at, std::strlen(token), value);
}

}  // namespace

// ---------------------------------------------------------------------------
// Start and end of the unit: the texts and the register of object lists live
// between them.

void SGeneralInitialization()
{
    plat::RegisterStrings(kHalcyteModule, kStrings, std::size(kStrings));
    TreeLock();
    gObjectsLists.store(new TSObjectsList("Global List of SObjectsList"));
}

void SGeneralFinalization()
{
    delete gObjectsLists.exchange(nullptr);
    plat::UnregisterStrings(kStrings);
}

// ---------------------------------------------------------------------------
// Texts

std::string EngineString(unsigned Id)
{
    return plat::LoadString(Id, kHalcyteModule);
}

std::string ObjectCaption(const TObject* Object)
{
    char address[2 * sizeof(void*) + 1];
    std::snprintf(address, sizeof address, "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void*)),
                  reinterpret_cast<std::uintptr_t>(Object));
    std::string text = EngineString(sObjectCaption);
    ReplaceFirst(text, "%p", address);
    ReplaceFirst(text, "%s", Object ? Object->ClassName() : "nil");
    return text;
}

std::string ObjectErrorText(const TObject* Object, unsigned ActionId, unsigned ReasonId)
{
    return ObjectCaption(Object) + "\n\r" + EngineString(ActionId) + " : " + EngineString(ReasonId);
}

// ---------------------------------------------------------------------------
// TSObject

constinit const TSClassInfo TSObject::ClassInfo{"TSObject", &TPersistent::ClassInfo, &TSNewObject<TSObject>};

TSObject::~TSObject()
{
    Finalize();
}

TSObject* TSObject::Create(TSClass Class, TObject* Owner)
{
    if (Class == nullptr || Class->Factory == nullptr)
        return nullptr;
    return Class->Factory(Owner);
}

void TSObject::Construct(TObject* Owner)
{
    m_flags.store(ofConstructing);
    m_owner = Owner;
    Initialize();
    ClearFlags(ofConstructing);
}

void TSObject::BeforeDestruction() noexcept
{
    try {
        Finalize();
    } catch (...) {
        // Nothing may leave a destruction; the object goes anyway.
    }
}

void TSObject::Finalize()
{
    SetFlags(ofDestroying);
}

std::int32_t TSObject::BeginOperation(std::int32_t)
{
    return -1;
}

std::int32_t TSObject::EndOperation(std::int32_t)
{
    return -1;
}

std::int32_t TSObject::Save(TSObjectsStream*)
{
    return -1;
}

std::int32_t TSObject::Load(TSObjectsStream*)
{
    return -1;
}

std::int32_t TSObject::Link(TSObjectsStream*)
{
    return -1;
}

std::int32_t TSObject::FindHolder(TSHolderQuery*, TObject**)
{
    return -1;
}

std::int32_t TSObject::SetParameter(std::int32_t, void*)
{
    return -1;
}

std::int32_t TSObject::GetParameter(std::int32_t, void*)
{
    return -1;
}

TSObject* TSObject::Clone(TObject* Owner)
{
    std::unique_ptr<TSObject> copy(Create(ClassType(), Owner));
    if (copy)
        copy->Assign(this);
    return copy.release();
}

std::int32_t TSObject::Process(std::int32_t Code, TSParam Param)
{
    switch (Code) {
    case ocBeginOperation:
        if (Param == ocSave)
            SetFlags(ofSaving);
        else if (Param == ocLoad)
            SetFlags(ofLoading);
        return BeginOperation(static_cast<std::int32_t>(Param));
    case ocEndOperation: {
        // The operation is over even when its end fails.
        struct ClearOnExit {
            TSObject* self;
            TSParam op;
            ~ClearOnExit()
            {
                if (op == ocSave)
                    self->ClearFlags(ofSaving);
                else if (op == ocLoad)
                    self->ClearFlags(ofLoading);
            }
        } clear{this, Param};
        return EndOperation(static_cast<std::int32_t>(Param));
    }
    case ocSave:
        return Save(reinterpret_cast<TSObjectsStream*>(Param));
    case ocLoad:
        return Load(reinterpret_cast<TSObjectsStream*>(Param));
    case ocLink:
        return Link(reinterpret_cast<TSObjectsStream*>(Param));
    case ocFindHolder: {
        auto* query = reinterpret_cast<TSHolderQuery*>(Param);
        return query ? FindHolder(query, &query->Holder) : -1;
    }
    case ocSetParameter:
    case ocGetParameter: {
        auto* record = reinterpret_cast<TSParameterRecord*>(Param);
        if (record == nullptr)
            return -1;
        return Code == ocSetParameter ? SetParameter(record->Id, record->Data) : GetParameter(record->Id, record->Data);
    }
    default:
        return -1;
    }
}

// ---------------------------------------------------------------------------
// TSObjectsStream

constinit const TSClassInfo TSObjectsStream::ClassInfo{"TSObjectsStream", &TObject::ClassInfo, nullptr};

// ---------------------------------------------------------------------------
// TSEventManager

constinit const TSClassInfo TSEventManager::ClassInfo{"TSEventManager", &TObject::ClassInfo, nullptr};

void TSEventManager::Add(TSEventHandler Handler)
{
    if (Handler.Code == nullptr)
        return;
    std::lock_guard guard(m_lock);
    auto next = std::make_shared<Handlers>(*m_handlers);
    next->push_back(Handler);
    m_handlers = std::move(next);
}

void TSEventManager::Remove(TSEventHandler Handler)
{
    if (Handler.Code == nullptr)
        return;
    std::lock_guard guard(m_lock);
    const auto at = std::find(m_handlers->begin(), m_handlers->end(), Handler);
    if (at == m_handlers->end())
        return;
    auto next = std::make_shared<Handlers>();
    next->reserve(m_handlers->size() - 1);
    next->insert(next->end(), m_handlers->begin(), at);
    next->insert(next->end(), at + 1, m_handlers->end());
    m_handlers = std::move(next);
}

std::int32_t TSEventManager::IndexOf(TSEventHandler Handler) const
{
    if (Handler.Code == nullptr)
        return -1;
    std::lock_guard guard(m_lock);
    const auto at = std::find(m_handlers->begin(), m_handlers->end(), Handler);
    return at == m_handlers->end() ? -1 : static_cast<std::int32_t>(at - m_handlers->begin());
}

std::int32_t TSEventManager::Count() const
{
    std::lock_guard guard(m_lock);
    return static_cast<std::int32_t>(m_handlers->size());
}

void TSEventManager::Notify(TObject* Sender, std::int32_t EventCode, TSParam Param)
{
    if (m_disabled)
        return;
    std::shared_ptr<const Handlers> snapshot;
    {
        std::lock_guard guard(m_lock);
        snapshot = m_handlers;
    }
    for (const TSEventHandler& handler : *snapshot) {
        // A handler removed while the event goes round (its subscriber may be
        // gone) is not called any more.
        {
            std::lock_guard guard(m_lock);
            if (m_handlers != snapshot &&
                std::find(m_handlers->begin(), m_handlers->end(), handler) == m_handlers->end())
                continue;
        }
        try {
            handler.Code(handler.Data, Sender, EventCode, Param);
        } catch (...) {
            // A failing subscriber must not keep the others from hearing the event.
        }
    }
}

// ---------------------------------------------------------------------------
// TSCustomChangeObject

constinit const TSClassInfo TSCustomChangeObject::ClassInfo{"TSCustomChangeObject", &TSObject::ClassInfo,
                                                            &TSNewObject<TSCustomChangeObject>};

TSCustomChangeObject::~TSCustomChangeObject()
{
    Finalize();
}

void TSCustomChangeObject::Initialize()
{
    TSObject::Initialize();
    const std::uint64_t number = gNameCounter.fetch_add(1) + 1;
    m_name = std::string(ClassName()) + " " + std::to_string(number);
    m_changeCount = 0;
}

void TSCustomChangeObject::Finalize()
{
    if (SetFlags(ofDestroying))
        Events.Notify(this, ecDestroying, 0);
}

void TSCustomChangeObject::BeginChange(bool KeepLocked, std::int32_t Param)
{
    std::lock_guard guard(m_lock);
    if (++m_changeCount == 1 && !IsDestroying())
        DoBeginChange(Param);
    if (KeepLocked)
        m_lock.lock();
}

void TSCustomChangeObject::EndChange(bool WasLocked, std::int32_t Param)
{
    std::lock_guard guard(m_lock);
    if (WasLocked)
        m_lock.unlock();
    if (m_changeCount > 0 && --m_changeCount == 0 && !IsDestroying())
        DoEndChange(Param);
}

std::string TSCustomChangeObject::Name() const
{
    std::lock_guard guard(m_lock);
    return m_name;
}

void TSCustomChangeObject::SetName(const std::string& S)
{
    std::lock_guard guard(m_lock);
    if (S == m_name)
        return;
    InChange(*this, false, [&] {
        m_name = S;
        if (!IsDestroying())
            Changed();
    });
}

void TSCustomChangeObject::DoBeginChange(std::int32_t Param)
{
    Events.Notify(this, ecBeginChange, Param);
}

void TSCustomChangeObject::DoEndChange(std::int32_t Param)
{
    Events.Notify(this, ecEndChange, Param);
}

void TSCustomChangeObject::Changed()
{
    Events.Notify(this, ecChanged, 0);
}

std::int32_t TSCustomChangeObject::Save(TSObjectsStream* Stream)
{
    std::lock_guard guard(m_lock);
    if (IsChanging())
        throw EInvalidOperation(ObjectErrorText(this, sCantSave, sBusy));
    return WriteStreamString(Stream, m_name);
}

std::int32_t TSCustomChangeObject::Load(TSObjectsStream* Stream)
{
    std::lock_guard guard(m_lock);
    return ReadStreamString(Stream, m_name);
}

// ---------------------------------------------------------------------------
// TSObjectsList

constinit const TSClassInfo TSObjectsList::ClassInfo{"TSObjectsList", &TObject::ClassInfo, nullptr};

TSObjectsList* GlobalObjectsLists()
{
    return gObjectsLists.load();
}

TSObjectsList::TSObjectsList(std::string Name) : m_name(std::move(Name))
{
    if (TSObjectsList* lists = GlobalObjectsLists())
        lists->Add(this);
}

TSObjectsList::~TSObjectsList()
{
    Events.Notify(this, ecDestroying, 0);
    {
        std::lock_guard guard(m_lock);
        m_items.clear();
        m_listed.clear();
    }
    TSObjectsList* lists = GlobalObjectsLists();
    if (lists != nullptr && lists != this)
        lists->Remove(this);
}

void TSObjectsList::Forget(TObject* Item)
{
    if (Item == nullptr)
        return;
    const auto at = m_listed.find(Item);
    if (at != m_listed.end() && --at->second <= 0)
        m_listed.erase(at);
}

void TSObjectsList::SetCount(std::int32_t N)
{
    if (N < 0 || N > MaxCount)
        return;
    std::lock_guard guard(m_lock);
    for (std::size_t i = static_cast<std::size_t>(N); i < m_items.size(); ++i)
        Forget(m_items[i]);
    try {
        m_items.resize(static_cast<std::size_t>(N), nullptr);
    } catch (...) {
        m_items = {};
        m_listed.clear();
        throw;
    }
}

void TSObjectsList::SetItem(std::int32_t Index, TObject* Item)
{
    std::lock_guard guard(m_lock);
    if (Index < 0 || static_cast<std::size_t>(Index) >= m_items.size())
        return;
    TObject*& place = m_items[static_cast<std::size_t>(Index)];
    if (Item != nullptr)
        ++m_listed[Item];
    Forget(place);
    place = Item;
}

void TSObjectsList::Add(TObject* Item)
{
    if (Item == nullptr)
        return;
    {
        std::lock_guard guard(m_lock);
        if (!m_listed.contains(Item)) {
            const auto count = static_cast<std::int32_t>(m_items.size());
            // A full list keeps every item it has rather than overwrite one.
            if (count >= MaxCount)
                throw EInvalidOperation(m_name + ": " + EngineString(sListFull));
            SetCount(count + 1);
            SetItem(count, Item);
        }
    }
    Events.Notify(this, ecItemAdded, reinterpret_cast<TSParam>(Item));
}

void TSObjectsList::Remove(TObject* Item)
{
    if (Item == nullptr)
        return;
    {
        std::lock_guard guard(m_lock);
        const std::int32_t at = IndexOf(Item);
        if (at >= 0) {
            Forget(Item);
            const auto last = static_cast<std::int32_t>(m_items.size()) - 1;
            std::copy(m_items.begin() + at + 1, m_items.end(), m_items.begin() + at);
            m_items.back() = nullptr;
            SetCount(last);
        }
    }
    Events.Notify(this, ecItemRemoved, reinterpret_cast<TSParam>(Item));
}

std::int32_t TSObjectsList::IndexOf(TObject* Item) const
{
    if (Item == nullptr)
        return -1;
    std::lock_guard guard(m_lock);
    for (auto i = static_cast<std::int32_t>(m_items.size()) - 1; i >= 0; --i)
        if (m_items[static_cast<std::size_t>(i)] == Item)
            return i;
    return -1;
}

std::int32_t TSObjectsList::Count() const
{
    std::lock_guard guard(m_lock);
    return static_cast<std::int32_t>(m_items.size());
}

TObject* TSObjectsList::GetItem(std::int32_t Index) const
{
    std::lock_guard guard(m_lock);
    if (Index < 0 || static_cast<std::size_t>(Index) >= m_items.size())
        return nullptr;
    return m_items[static_cast<std::size_t>(Index)];
}

// ---------------------------------------------------------------------------
// TSBranch

constinit const TSClassInfo TSBranch::ClassInfo{"TSBranch", &TSObject::ClassInfo, &TSNewObject<TSBranch>};

std::recursive_mutex& TreeLock()
{
    // Never destroyed: trees held by other units' statics may still be freed
    // after this unit has ended.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

TSBranch::~TSBranch()
{
    Finalize();
    std::lock_guard guard(TreeLock());
    m_clearing = true;
    SetParent(nullptr);
    SetCount(0);
}

void TSBranch::Lock()
{
    TreeLock().lock();
}

void TSBranch::Unlock()
{
    TreeLock().unlock();
}

void TSBranch::Initialize()
{
    TSObject::Initialize();
    m_parent = nullptr;
    m_children.clear();
    m_clearing = false;
}

TSBranch* TSBranch::Parent() const
{
    std::lock_guard guard(TreeLock());
    return m_parent;
}

std::int32_t TSBranch::Count() const
{
    std::lock_guard guard(TreeLock());
    return static_cast<std::int32_t>(m_children.size());
}

TSBranch* TSBranch::GetChild(std::int32_t Index) const
{
    std::lock_guard guard(TreeLock());
    if (Index < 0 || static_cast<std::size_t>(Index) >= m_children.size())
        return nullptr;
    return m_children[static_cast<std::size_t>(Index)];
}

std::int32_t TSBranch::IndexInParent() const
{
    std::lock_guard guard(TreeLock());
    if (m_parent == nullptr)
        return -1;
    const auto& slots = m_parent->m_children;
    for (auto i = static_cast<std::int32_t>(slots.size()) - 1; i >= 0; --i)
        if (slots[static_cast<std::size_t>(i)] == this)
            return i;
    return -1;
}

bool TSBranch::IsDescendantOf(const TSBranch* Node) const
{
    if (Node == nullptr)
        return false;
    std::lock_guard guard(TreeLock());
    for (const TSBranch* p = m_parent; p != nullptr; p = p->m_parent)
        if (p == Node)
            return true;
    return false;
}

std::int32_t TSBranch::TotalCount() const
{
    std::lock_guard guard(TreeLock());
    auto total = static_cast<std::int32_t>(m_children.size());
    for (const TSBranch* child : m_children)
        if (child != nullptr)
            total += child->TotalCount();
    return total;
}

void TSBranch::FreeChild(std::int32_t Index)
{
    TSBranch* child = m_children[static_cast<std::size_t>(Index)];
    if (child == nullptr)
        return;
    // While clearing, the leaving child only empties its slot.
    const bool wasClearing = m_clearing;
    m_clearing = true;
    delete child;
    m_clearing = wasClearing;
    m_children[static_cast<std::size_t>(Index)] = nullptr;
}

void TSBranch::SetParent(TSBranch* NewParent)
{
    std::lock_guard guard(TreeLock());
    if (NewParent == m_parent || NewParent == this)
        return;
    if (TSBranch* old = m_parent) {
        const std::int32_t slot = IndexInParent();
        if (slot >= 0) {
            if (old->m_clearing)
                old->m_children[static_cast<std::size_t>(slot)] = nullptr;
            else
                old->m_children.erase(old->m_children.begin() + slot);
        }
    }
    m_parent = nullptr;
    if (NewParent != nullptr && !NewParent->m_clearing && !NewParent->IsDescendantOf(this)) {
        NewParent->m_children.push_back(this);
        m_parent = NewParent;
    }
}

void TSBranch::SetCount(std::int32_t N)
{
    std::lock_guard guard(TreeLock());
    if (N < 0)
        N = 0;
    for (auto i = N; i < static_cast<std::int32_t>(m_children.size()); ++i)
        FreeChild(i);
    m_children.resize(static_cast<std::size_t>(N), nullptr);
}

void TSBranch::SetChild(std::int32_t Index, TSBranch* Child)
{
    std::lock_guard guard(TreeLock());
    if (Index < 0 || Index >= static_cast<std::int32_t>(m_children.size()) || Child == this)
        return;
    if (m_children[static_cast<std::size_t>(Index)] == Child)
        return;
    if (Child != nullptr) {
        if (IsDescendantOf(Child))
            return;
        if (Child->m_parent == this) {
            Move(Child->IndexInParent(), Index);
            return;
        }
        // Child leaves its parent before the slot's occupant is freed: that
        // parent may lie inside the subtree being freed.
        Child->SetParent(nullptr);
    }
    FreeChild(Index);
    if (Child != nullptr) {
        m_children[static_cast<std::size_t>(Index)] = Child;
        Child->m_parent = this;
    }
}

void TSBranch::AddChild(TSBranch* Child)
{
    if (Child != nullptr)
        Child->SetParent(this);
}

void TSBranch::InsertChild(std::int32_t Index, TSBranch* Child)
{
    std::lock_guard guard(TreeLock());
    if (Child != nullptr) {
        Child->SetParent(this);
        Child->SetIndex(Index);
    } else {
        SetCount(Count() + 1);
        Move(Count() - 1, Index);
    }
}

void TSBranch::SetIndex(std::int32_t NewIndex)
{
    std::lock_guard guard(TreeLock());
    if (m_parent != nullptr)
        m_parent->Move(IndexInParent(), NewIndex);
}

void TSBranch::Exchange(std::int32_t I, std::int32_t J)
{
    std::lock_guard guard(TreeLock());
    const auto n = static_cast<std::int32_t>(m_children.size());
    if (I == J || I < 0 || J < 0 || I >= n || J >= n)
        return;
    std::swap(m_children[static_cast<std::size_t>(I)], m_children[static_cast<std::size_t>(J)]);
}

void TSBranch::Move(std::int32_t From, std::int32_t To)
{
    std::lock_guard guard(TreeLock());
    const auto n = static_cast<std::int32_t>(m_children.size());
    if (From == To || From < 0 || To < 0 || From >= n || To >= n)
        return;
    const auto first = m_children.begin();
    if (From < To)
        std::rotate(first + From, first + From + 1, first + To + 1);
    else
        std::rotate(first + To, first + From, first + From + 1);
}

void TSBranch::AssignTree(TSBranch* Source)
{
    if (Source == nullptr || Source == this)
        return;
    std::lock_guard guard(TreeLock());
    TSBranch* oldParent = nullptr;
    std::int32_t oldSlot = -1;
    std::unique_ptr<TSBranch> detachedSource;
    if (IsDescendantOf(Source)) {
        // Copying an ancestor: step out of its tree so that the copy does not
        // contain this branch, and come back afterwards.
        oldParent = m_parent;
        oldSlot = IndexInParent();
        SetParent(nullptr);
    } else if (Source->IsDescendantOf(this)) {
        Source->SetParent(nullptr);
        detachedSource.reset(Source);
    }
    struct Reattach {
        TSBranch* self;
        TSBranch* parent;
        std::int32_t slot;
        ~Reattach()
        {
            if (parent != nullptr)
                parent->InsertChild(slot, self);
        }
    } reattach{this, oldParent, oldSlot};

    SetCount(0);
    const std::int32_t n = Source->Count();
    SetCount(n);
    for (std::int32_t i = 0; i < n; ++i) {
        TSBranch* original = Source->m_children[static_cast<std::size_t>(i)];
        if (original == nullptr)
            continue;
        auto* copy = static_cast<TSBranch*>(original->Clone(Owner()));
        if (copy == nullptr)
            continue;
        m_children[static_cast<std::size_t>(i)] = copy;
        copy->m_parent = this;
    }
}

void TSBranch::Assign(TPersistent* Source)
{
    if (auto* branch = dynamic_cast<TSBranch*>(Source))
        AssignTree(branch);
    else
        TSObject::Assign(Source);
}

namespace {

// The children present now, copied under the tree lock so that they can be
// called without it.
std::vector<TSBranch*> PresentChildren(const std::vector<TSBranch*>& Children)
{
    std::lock_guard guard(TreeLock());
    std::vector<TSBranch*> present;
    for (TSBranch* child : Children)
        if (child != nullptr)
            present.push_back(child);
    return present;
}

}  // namespace

std::int32_t TSBranch::SpreadOperation(std::int32_t Code, std::int32_t Operation)
{
    if (Operation != ocSave && Operation != ocLoad)
        return -1;
    const std::vector<TSBranch*> children = PresentChildren(m_children);
    // The children are called without the tree lock, which their own locks
    // must never be taken under.
    std::int32_t reached = 1;
    for (TSBranch* child : children)
        reached += std::max(0, child->Process(Code, Operation));
    return reached;
}

std::int32_t TSBranch::BeginOperation(std::int32_t Operation)
{
    return SpreadOperation(ocBeginOperation, Operation);
}

std::int32_t TSBranch::EndOperation(std::int32_t Operation)
{
    return SpreadOperation(ocEndOperation, Operation);
}

std::int32_t TSBranch::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    const std::vector<TSBranch*> children = PresentChildren(m_children);
    const auto count = static_cast<std::int32_t>(children.size());
    Stream->Write(&count, 4);
    std::int32_t written = 4;
    for (TSBranch* child : children)
        written += Stream->WriteObject(child);
    return written;
}

std::int32_t TSBranch::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    SetCount(0);
    std::int32_t count = 0;
    Stream->Read(&count, 4);
    if (count < 0)
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
    std::int32_t read = 4;
    for (std::int32_t i = 0; i < count; ++i) {
        TSObject* object = nullptr;
        const std::int32_t bytes = Stream->ReadObject(object, &TSBranch::ClassInfo);
        read += bytes;
        if (auto* child = dynamic_cast<TSBranch*>(object))
            AddChild(child);
        else
            delete object;
        // A stream that yields nothing would only spin through a damaged count.
        if (bytes <= 0)
            break;
    }
    return read;
}

std::int32_t TSBranch::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    const std::vector<TSBranch*> children = PresentChildren(m_children);
    std::int32_t linked = 0;
    for (TSBranch* child : children)
        linked += std::max(0, child->Link(Stream));
    return linked == 0 ? -1 : linked;
}

// ---------------------------------------------------------------------------
// Stream strings

namespace {

std::int32_t StreamLength(const std::string& S)
{
    return static_cast<std::int32_t>(std::min<std::size_t>(S.size(), MaxStreamString));
}

bool ValidLength(std::int32_t N)
{
    return N >= 0 && N <= MaxStreamString;
}

}  // namespace

std::int32_t WriteStreamString(TSObjectsStream* Stream, const std::string& S)
{
    const std::int32_t n = StreamLength(S);
    if (Stream != nullptr) {
        Stream->Write(&n, 4);
        if (n > 0)
            Stream->Write(S.data(), n);
    }
    return n + 4;
}

std::int32_t ReadStreamString(TSObjectsStream* Stream, std::string& S)
{
    if (Stream == nullptr) {
        S.clear();
        return 0;
    }
    std::int32_t n = 0;
    Stream->Read(&n, 4);
    if (!ValidLength(n))
        throw EStreamError(EngineString(sInvalidStringSize));
    std::string text(static_cast<std::size_t>(n), '\0');
    if (n > 0)
        Stream->Read(text.data(), n);
    S = std::move(text);
    return n + 4;
}

std::int32_t StringToBuffer(void* Buffer, const std::string& S)
{
    const std::int32_t n = StreamLength(S);
    if (Buffer != nullptr) {
        auto* out = static_cast<unsigned char*>(Buffer);
        std::memcpy(out, &n, 4);
        std::memcpy(out + 4, S.data(), static_cast<std::size_t>(n));
    }
    return n + 4;
}

std::int32_t StringFromBuffer(const void* Buffer, std::int64_t Available, std::string& S)
{
    if (Buffer == nullptr) {
        S.clear();
        return 0;
    }
    const auto* in = static_cast<const unsigned char*>(Buffer);
    std::int32_t n = -1;
    if (Available >= 4)
        std::memcpy(&n, in, 4);
    if (!ValidLength(n) || n > Available - 4)
        throw EStreamError(EngineString(sInvalidStringSize));
    S.assign(reinterpret_cast<const char*>(in + 4), static_cast<std::size_t>(n));
    return n + 4;
}

void CopyString(std::string& Dest, const std::string& Source)
{
    if (&Dest != &Source)
        Dest.assign(Source.data(), Source.size());
}
