#include "engine3d/scene/SCustom3DLists.h"

#include "engine3d/model/SThreads.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <type_traits>

namespace {

// Families of the list rules.
template <class Base>
inline constexpr bool kIs3D = std::is_base_of_v<TSCustomObject3D, Base>;
template <class Base>
inline constexpr bool kDraws = std::is_base_of_v<TSCustomConstruction3D, Base>;

// An object record takes at least its header.
constexpr std::int64_t kMinRecordSize = 12;

bool MemberEnabled(TSCustomChangeObject* Member)
{
    auto* construction = dynamic_cast<TSCustomConstruction3D*>(Member);
    return construction == nullptr || construction->Enabled();
}

}  // namespace

// ---------------------------------------------------------------------------
// TSCustomListCore

template <class Base>
TSCustomListCore<Base>::~TSCustomListCore()
{
    this->Finalize();
    try {
        SetCount(0);
    } catch (...) {
        // The list goes anyway.
    }
}

template <class Base>
void TSCustomListCore<Base>::Initialize()
{
    Base::Initialize();
    std::lock_guard data(m_dataLock);
    m_items.clear();
    m_memberNesting = 0;
    m_openChanges.clear();
}

template <class Base>
std::vector<TSCustomChangeObject*> TSCustomListCore<Base>::Entries() const
{
    std::lock_guard data(m_dataLock);
    return m_items;
}

template <class Base>
std::int32_t TSCustomListCore<Base>::Count() const
{
    std::lock_guard data(m_dataLock);
    return static_cast<std::int32_t>(m_items.size());
}

template <class Base>
TSCustomChangeObject* TSCustomListCore<Base>::GetItem(std::int32_t Index) const
{
    std::lock_guard data(m_dataLock);
    if (Index < 0 || static_cast<std::size_t>(Index) >= m_items.size())
        return nullptr;
    return m_items[static_cast<std::size_t>(Index)];
}

template <class Base>
std::int32_t TSCustomListCore<Base>::IndexOf(const TObject* Obj) const
{
    if (Obj == nullptr)
        return -1;
    std::lock_guard data(m_dataLock);
    for (auto i = static_cast<std::int32_t>(m_items.size()) - 1; i >= 0; --i)
        if (static_cast<const TObject*>(m_items[static_cast<std::size_t>(i)]) == Obj)
            return i;
    return -1;
}

template <class Base>
std::int32_t TSCustomListCore<Base>::MembersChanging() const
{
    std::lock_guard data(m_dataLock);
    return m_memberNesting;
}

template <class Base>
void TSCustomListCore<Base>::Put(std::int32_t Index, TSCustomChangeObject* Member)
{
    std::lock_guard data(m_dataLock);
    m_items[static_cast<std::size_t>(Index)] = Member;
}

template <class Base>
void TSCustomListCore<Base>::NotifyListChanged()
{
    if (!this->IsDestroying())
        this->Events.Notify(this, ecListChanged, 0);
}

template <class Base>
bool TSCustomListCore<Base>::AcceptsMember(TSCustomChangeObject* Obj) const
{
    if constexpr (std::is_base_of_v<TSCustomLightSystem3D, Base>)
        return dynamic_cast<TSCustomLightSystem3D*>(Obj) != nullptr;
    else if constexpr (kDraws<Base>)
        return dynamic_cast<TSCustomConstruction3D*>(Obj) != nullptr;
    else if constexpr (kIs3D<Base>)
        return dynamic_cast<TSCustomObject3D*>(Obj) != nullptr;
    else
        return Obj != nullptr;
}

template <class Base>
void TSCustomListCore<Base>::Subscribe(TSCustomChangeObject* Member)
{
    if (Member != nullptr)
        Member->Events.Add(Handler());
}

template <class Base>
void TSCustomListCore<Base>::Unsubscribe(TSCustomChangeObject* Member)
{
    if (Member != nullptr)
        Member->Events.Remove(Handler());
}

template <class Base>
void TSCustomListCore<Base>::AttachFrame(TSCustomChangeObject* Member)
{
    if constexpr (kIs3D<Base>) {
        auto* object = dynamic_cast<TSCustomObject3D*>(Member);
        TSBasis3D* frame = object ? object->Frame() : nullptr;
        if (frame != nullptr && this->Frame() != nullptr)
            frame->SetParent(this->Frame());
    }
}

template <class Base>
void TSCustomListCore<Base>::DetachFrame(TSCustomChangeObject* Member)
{
    if constexpr (kIs3D<Base>) {
        auto* object = dynamic_cast<TSCustomObject3D*>(Member);
        TSBasis3D* frame = object ? object->Frame() : nullptr;
        // Only from the list's own frame: one moved elsewhere stays there.
        if (frame != nullptr && this->Frame() != nullptr && frame->Parent() == this->Frame())
            frame->SetParent(nullptr);
    }
}

template <class Base>
bool TSCustomListCore<Base>::HoldsThis(TSCustomChangeObject* Obj)
{
    TSHolderQuery query{this, nullptr};
    return Obj->Process(ocFindHolder, reinterpret_cast<TSParam>(&query)) > 0;
}

template <class Base>
void TSCustomListCore<Base>::MemberHandler(TObject* Sender, std::int32_t EventCode, TSParam Param)
{
    if (this->IsDestroying())
        return;
    std::exception_ptr failure;
    try {
        MemberEvent(Sender, EventCode, Param);
    } catch (...) {
        failure = std::current_exception();
    }
    if (EventCode == ecDestroying)
        RemoveDestroyed(Sender);
    if (failure)
        std::rethrow_exception(failure);
}

template <class Base>
void TSCustomListCore<Base>::MemberEvent(TObject* Sender, std::int32_t EventCode, TSParam Param)
{
    TSEventRecord own{Sender, EventCode, Param};
    const TSEventRecord* record = &own;
    if (EventCode == ecMemberEvent && Param != 0)
        record = reinterpret_cast<const TSEventRecord*>(Param);

    bool first = false;
    bool last = false;
    if (record->Code == ecBeginChange) {
        std::lock_guard data(m_dataLock);
        ++m_openChanges[Sender];
        first = ++m_memberNesting == 1;
    } else if (record->Code == ecEndChange) {
        std::lock_guard data(m_dataLock);
        // An end of a change this list never saw begin is not counted.
        const auto open = m_openChanges.find(Sender);
        if (open != m_openChanges.end() && m_memberNesting > 0) {
            if (--open->second <= 0)
                m_openChanges.erase(open);
            last = --m_memberNesting == 0;
        }
    }
    if (first)
        MembersChangeBegin(record->Param);
    if (last)
        MembersChangeEnd(record->Param);

    if constexpr (kDraws<Base>) {
        if (record->Code == ecInvalidate && !this->Enabled())
            return;
    }
    this->Events.Notify(this, ecMemberEvent, reinterpret_cast<TSParam>(record));
}

template <class Base>
void TSCustomListCore<Base>::MembersChangeBegin(TSParam)
{}

template <class Base>
void TSCustomListCore<Base>::MembersChangeEnd(TSParam)
{}

template <class Base>
void TSCustomListCore<Base>::CloseOpenChanges(TSCustomChangeObject* Member)
{
    std::int32_t open = 0;
    {
        std::lock_guard data(m_dataLock);
        const auto at = m_openChanges.find(Member);
        if (at != m_openChanges.end())
            open = at->second;
    }
    for (std::int32_t i = 0; i < open; ++i)
        MemberEvent(Member, ecEndChange, 0);
}

template <class Base>
void TSCustomListCore<Base>::RemoveDestroyed(TObject* Member)
{
    TSObjectLock guard(*this);
    const std::int32_t index = IndexOf(Member);
    if (index < 0)
        return;
    auto* member = GetItem(index);
    InChange(*this, [&] {
        Put(index, nullptr);
        Move(index, Count() - 1);
        {
            std::lock_guard data(m_dataLock);
            m_items.pop_back();
        }
        // The member never sends the end of a change it is destroyed in.
        CloseOpenChanges(member);
        if constexpr (kDraws<Base>) {
            if (this->Enabled())
                this->Invalidate(0);
        }
    });
}

template <class Base>
void TSCustomListCore<Base>::Exchange(std::int32_t I, std::int32_t J)
{
    TSObjectLock guard(*this);
    {
        std::lock_guard data(m_dataLock);
        const auto n = static_cast<std::int32_t>(m_items.size());
        if (I == J || I < 0 || J < 0 || I >= n || J >= n)
            return;
        std::swap(m_items[static_cast<std::size_t>(I)], m_items[static_cast<std::size_t>(J)]);
    }
    NotifyListChanged();
}

template <class Base>
void TSCustomListCore<Base>::Move(std::int32_t From, std::int32_t To)
{
    TSObjectLock guard(*this);
    {
        std::lock_guard data(m_dataLock);
        const auto n = static_cast<std::int32_t>(m_items.size());
        if (From == To || From < 0 || To < 0 || From >= n || To >= n)
            return;
        const auto first = m_items.begin();
        if (From < To)
            std::rotate(first + From, first + From + 1, first + To + 1);
        else
            std::rotate(first + To, first + From, first + From + 1);
    }
    NotifyListChanged();
}

template <class Base>
std::int32_t TSCustomListCore<Base>::Add(TSCustomChangeObject* Obj)
{
    if (Obj == nullptr || Obj == this || !AcceptsMember(Obj))
        return -1;
    TSObjectLock guard(*this);
    if (const std::int32_t known = IndexOf(Obj); known >= 0)
        return known;
    // A list inside its own member would recurse without end when drawn,
    // described, saved or cleared.
    if (HoldsThis(Obj))
        return -1;
    std::int32_t index = -1;
    InChange(*this, [&] {
        {
            std::lock_guard data(m_dataLock);
            m_items.push_back(Obj);
            index = static_cast<std::int32_t>(m_items.size()) - 1;
        }
        Subscribe(Obj);
        AttachFrame(Obj);
        if constexpr (kDraws<Base>) {
            if (this->Enabled() && MemberEnabled(Obj))
                this->Invalidate(0);
        }
        NotifyListChanged();
    });
    return index;
}

template <class Base>
void TSCustomListCore<Base>::Delete(std::int32_t Index)
{
    TSObjectLock guard(*this);
    if (Index < 0 || Index >= Count())
        return;
    InChange(*this, [&] {
        TSCustomChangeObject* member = GetItem(Index);
        if (member != nullptr) {
            Unsubscribe(member);
            DetachFrame(member);
            CloseOpenChanges(member);
        }
        Move(Index, Count() - 1);
        {
            std::lock_guard data(m_dataLock);
            m_items.pop_back();
        }
        if constexpr (kDraws<Base>) {
            if (this->Enabled() && member != nullptr && MemberEnabled(member))
                this->Invalidate(0);
        }
        NotifyListChanged();
    });
}

template <class Base>
TSCustomChangeObject* TSCustomListCore<Base>::SetItem(std::int32_t Index, TSCustomChangeObject* Obj)
{
    if (Obj == this || (Obj != nullptr && !AcceptsMember(Obj)))
        return Obj;
    TSObjectLock guard(*this);
    if (Index < 0 || Index >= Count())
        return Obj;
    if (Obj != nullptr) {
        if (const std::int32_t at = IndexOf(Obj); at >= 0) {
            Move(at, Index);
            return Obj;
        }
        if (HoldsThis(Obj))
            return Obj;
    }
    TSCustomChangeObject* old = nullptr;
    InChange(*this, [&] {
        old = GetItem(Index);
        if (old != nullptr) {
            Unsubscribe(old);
            DetachFrame(old);
            CloseOpenChanges(old);
        }
        Put(Index, Obj);
        if (Obj != nullptr) {
            Subscribe(Obj);
            AttachFrame(Obj);
        }
        if constexpr (kDraws<Base>) {
            if (this->Enabled())
                this->Invalidate(0);
        }
        NotifyListChanged();
    });
    return old;
}

template <class Base>
void TSCustomListCore<Base>::Clear()
{
    TSObjectLock guard(*this);
    if (Count() == 0) {
        if constexpr (!kIs3D<Base>)
            NotifyListChanged();
        return;
    }
    InChange(*this, [&] {
        for (std::int32_t i = 0; i < Count(); ++i) {
            TSCustomChangeObject* member = GetItem(i);
            if (member == nullptr)
                continue;
            Unsubscribe(member);
            CloseOpenChanges(member);
            if (auto* nested = dynamic_cast<TSCustomListCore<Base>*>(member))
                nested->Clear();
            // The entry is empty before the member goes, so that nothing its
            // end sets off finds it here.
            Put(i, nullptr);
            delete member;
        }
        {
            std::lock_guard data(m_dataLock);
            m_items.clear();
        }
        if constexpr (kDraws<Base>) {
            if (this->Enabled())
                this->Invalidate(0);
        }
        if constexpr (kIs3D<Base>)
            NotifyListChanged();
    });
    if constexpr (!kIs3D<Base>)
        NotifyListChanged();
}

template <class Base>
void TSCustomListCore<Base>::SetCount(std::int32_t N)
{
    if (N < 0)
        N = 0;
    TSObjectLock guard(*this);
    if (N == Count())
        return;
    InChange(*this, [&] {
        while (Count() > N)
            Delete(Count() - 1);
        if (N > Count()) {
            std::lock_guard data(m_dataLock);
            m_items.resize(static_cast<std::size_t>(N), nullptr);
        }
    });
}

template <class Base>
void TSCustomListCore<Base>::Describe(TSDataBranch* Branch)
{
    if (Branch == nullptr)
        return;
    Branch->SetCount(0);
    Branch->SetName(this->Name());
    Branch->SetData(static_cast<TObject*>(this));
    for (TSCustomChangeObject* member : Entries()) {
        if (member == nullptr)
            continue;
        std::unique_ptr<TSDataBranch> node(TSDataBranch::Create(member->Name(), static_cast<TObject*>(member), false));
        TSCommandRecord record;
        record.Object = member;
        record.Command = icDescribe;
        record.Param = reinterpret_cast<TSParam>(node.get());
        DispatchInterfaceCommand(member->ClassType(), record);
        Branch->AddChild(node.release());
    }
}

template <class Base>
std::int32_t TSCustomListCore<Base>::BeginOperation(std::int32_t Operation)
{
    if (Operation != ocSave && Operation != ocLoad)
        return -1;
    std::int32_t reached = 1;
    for (TSCustomChangeObject* member : Entries())
        if (member != nullptr)
            reached += std::max(0, member->Process(ocBeginOperation, Operation));
    return reached;
}

template <class Base>
std::int32_t TSCustomListCore<Base>::EndOperation(std::int32_t Operation)
{
    if (Operation != ocSave && Operation != ocLoad)
        return -1;
    std::int32_t reached = 1;
    auto spread = [&] {
        for (TSCustomChangeObject* member : Entries())
            if (member != nullptr)
                reached += std::max(0, member->Process(ocEndOperation, Operation));
    };
    // After a load the bounds follow the new members and subscribers hear of them.
    if (kIs3D<Base> && Operation == ocLoad)
        InChange(*this, spread);
    else
        spread();
    return reached;
}

template <class Base>
std::int32_t TSCustomListCore<Base>::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    if (MembersChanging() >= 1)
        throw EInvalidOperation(ObjectErrorText(this, sCantSave, sBusy));
    std::int32_t written = Base::Save(Stream);
    std::vector<TSCustomChangeObject*> members = Entries();
    members.erase(std::remove(members.begin(), members.end(), nullptr), members.end());
    const auto count = static_cast<std::int32_t>(members.size());
    Stream->Write(&count, 4);
    written += 4;
    for (TSCustomChangeObject* member : members)
        written += Stream->WriteObject(member);
    return written;
}

template <class Base>
std::int32_t TSCustomListCore<Base>::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    std::int32_t read = Base::Load(Stream);
    SetCount(0);
    std::int32_t count = 0;
    Stream->Read(&count, 4);
    read += 4;
    // Every member takes a record: a count the bytes left cannot hold is
    // damage, refused before anything is allocated for it.
    const std::int64_t left = Stream->Remaining();
    if (count < 0 || (left >= 0 && count > left / kMinRecordSize))
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
    SetCount(count);
    for (std::int32_t i = 0; i < count; ++i) {
        TSObject* object = nullptr;
        read += Stream->ReadObject(object, &TSCustomChangeObject::ClassInfo);
        auto* member = dynamic_cast<TSCustomChangeObject*>(object);
        if (member == nullptr) {
            delete object;
            continue;
        }
        Put(i, member);
        Subscribe(member);
    }
    return read;
}

template <class Base>
std::int32_t TSCustomListCore<Base>::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t total = Base::Link(Stream);
    for (TSCustomChangeObject* member : Entries())
        if (member != nullptr)
            total += std::max(0, member->Process(ocLink, reinterpret_cast<TSParam>(Stream)));
    return total < 1 ? -1 : total;
}

template <class Base>
std::int32_t TSCustomListCore<Base>::FindHolder(TSHolderQuery* Query, TObject** Holder)
{
    if (Query == nullptr || Query->Object == nullptr || Query->Object == this)
        return 0;
    const std::vector<TSCustomChangeObject*> members = Entries();
    for (TSCustomChangeObject* member : members)
        if (member != nullptr && static_cast<TObject*>(member) == Query->Object) {
            if (Holder != nullptr)
                *Holder = this;
            return 1;
        }
    for (TSCustomChangeObject* member : members)
        if (member != nullptr && member->Process(ocFindHolder, reinterpret_cast<TSParam>(Query)) > 0) {
            if (Holder != nullptr)
                *Holder = Query->Holder;
            return 1;
        }
    if (Holder != nullptr)
        *Holder = nullptr;
    return 0;
}

// ---------------------------------------------------------------------------
// TSList3DCore

template <class Base>
void TSList3DCore<Base>::Initialize()
{
    TSCustomListCore<Base>::Initialize();
    std::lock_guard bounds(m_boundsLock);
    m_lower = {-1, -1, -1};
    m_upper = {1, 1, 1};
}

template <class Base>
void TSList3DCore<Base>::GetLowerBound(TSVector3D& B)
{
    std::lock_guard bounds(m_boundsLock);
    B = m_lower;
}

template <class Base>
void TSList3DCore<Base>::GetUpperBound(TSVector3D& B)
{
    std::lock_guard bounds(m_boundsLock);
    B = m_upper;
}

template <class Base>
void TSList3DCore<Base>::RecomputeBounds()
{
    if (this->IsDestroying())
        return;
    // Runs without the list's lock: members announce their changes holding
    // their own locks, and the list's own saving takes the list's lock before
    // the members'. A later recomputation saw newer members, so it wins.
    std::uint64_t round = 0;
    {
        std::lock_guard bounds(m_boundsLock);
        round = ++m_boundsRound;
    }
    TSVector3D lower{-1, -1, -1};
    TSVector3D upper{1, 1, 1};
    TSVector3D least;
    TSVector3D most;
    bool met = false;
    for (TSCustomChangeObject* member : this->Entries()) {
        auto* object = dynamic_cast<TSCustomObject3D*>(member);
        TSBasis3D* frame = object ? object->Frame() : nullptr;
        if (frame == nullptr)
            continue;
        TSVector3D corners[2];
        object->GetLowerBound(corners[0]);
        object->GetUpperBound(corners[1]);
        for (const TSVector3D& corner : corners) {
            TSVector3D world;
            frame->PointToWorld(corner, world);
            if (!met) {
                least = most = world;
                met = true;
                continue;
            }
            for (std::size_t axis = 0; axis < 3; ++axis) {
                if (world[axis] < least[axis])
                    least[axis] = world[axis];
                else if (world[axis] > most[axis])
                    most[axis] = world[axis];
            }
        }
    }
    if (met && this->Frame() != nullptr) {
        TSVector3D a;
        TSVector3D b;
        this->Frame()->PointFromWorld(least, a);
        this->Frame()->PointFromWorld(most, b);
        for (std::size_t axis = 0; axis < 3; ++axis) {
            lower[axis] = std::min(a[axis], b[axis]);
            upper[axis] = std::max(a[axis], b[axis]);
        }
    }
    std::lock_guard bounds(m_boundsLock);
    if (round != m_boundsRound)
        return;
    m_lower = lower;
    m_upper = upper;
}

template <class Base>
void TSList3DCore<Base>::MembersChangeEnd(TSParam Param)
{
    TSCustomListCore<Base>::MembersChangeEnd(Param);
    if (!this->IsChanging())
        RecomputeBounds();
}

template <class Base>
void TSList3DCore<Base>::DoEndChange(std::int32_t Param)
{
    if (this->MembersChanging() == 0)
        RecomputeBounds();
    TSCustomListCore<Base>::DoEndChange(Param);
}

// ---------------------------------------------------------------------------
// TSConstructionListCore

namespace {

template <class Query>
void AskOccluders(bool Enabled, const std::vector<TSCustomChangeObject*>& Members, Query& Asked)
{
    if (!Enabled || Asked.Factor == nullptr)
        return;
    for (TSCustomChangeObject* member : Members) {
        // Read before each member; 0, below, or not a number ends the walk.
        if (!(*Asked.Factor > 0))
            return;
        if (auto* construction = dynamic_cast<TSCustomConstruction3D*>(member))
            construction->TestOcclusion(Asked);
    }
}

}  // namespace

template <class Base>
void TSConstructionListCore<Base>::TestOcclusion(TSOcclusionQuerySingle& Query)
{
    AskOccluders(this->Enabled(), this->Entries(), Query);
}

template <class Base>
void TSConstructionListCore<Base>::TestOcclusion(TSOcclusionQuery& Query)
{
    AskOccluders(this->Enabled(), this->Entries(), Query);
}

template <class Base>
void TSConstructionListCore<Base>::Draw(TSRenderContext& Context)
{
    if (!this->Enabled())
        return;
    TSCustomDrawSystem3D* const drawSystem = Context.DrawSystem;
    if (!this->Visible())
        Context.DrawSystem = nullptr;
    try {
        const std::string prefix = Context.Thread ? Context.Thread->Message() + "." : std::string();
        const std::vector<TSCustomChangeObject*> members = this->Entries();
        for (std::size_t k = 0; k < members.size(); ++k) {
            // A cancellation point between two members.
            if (Context.Thread != nullptr)
                Context.Thread->SetMessage(prefix + std::to_string(k + 1));
            if (auto* construction = dynamic_cast<TSCustomConstruction3D*>(members[k]))
                construction->Draw(Context);
        }
    } catch (...) {
        Context.DrawSystem = drawSystem;
        throw;
    }
    Context.DrawSystem = drawSystem;
}

template <class Base>
TSCustomConstruction3D* TSConstructionListCore<Base>::CreateDerived(TObject* Owner)
{
    const std::vector<TSCustomChangeObject*> members = this->Entries();
    if (members.empty())
        return nullptr;
    std::unique_ptr<TSCustomConstruction3DList> derived(TSObject::Create<TSCustomConstruction3DList>(Owner));
    try {
        derived->SetCount(static_cast<std::int32_t>(members.size()));
        for (std::size_t i = 0; i < members.size(); ++i)
            if (auto* construction = dynamic_cast<TSCustomConstruction3D*>(members[i]))
                derived->Put(static_cast<std::int32_t>(i), construction->CreateDerived(Owner));
        derived->RecomputeBounds();
    } catch (...) {
        // What was derived so far belongs to nobody else.
        derived->Clear();
        throw;
    }
    return derived.release();
}

template <class Base>
void TSConstructionListCore<Base>::DoUpdateEnd()
{
    if (this->Enabled())
        this->Invalidate(0);
    TSList3DCore<Base>::DoUpdateEnd();
}

template class TSCustomListCore<TSCustomChangeObject>;
template class TSCustomListCore<TSCustomObject3D>;
template class TSCustomListCore<TSCustomConstruction3D>;
template class TSCustomListCore<TSCustomLightSystem3D>;
template class TSList3DCore<TSCustomObject3D>;
template class TSList3DCore<TSCustomConstruction3D>;
template class TSList3DCore<TSCustomLightSystem3D>;
template class TSConstructionListCore<TSCustomConstruction3D>;
template class TSConstructionListCore<TSCustomLightSystem3D>;

// ---------------------------------------------------------------------------
// The five classes

constinit const TSClassInfo TSCustomChangeObjectList::ClassInfo{
    "TSCustomChangeObjectList", &TSCustomChangeObject::ClassInfo, &TSNewObject<TSCustomChangeObjectList>};
constinit const TSClassInfo TSCustomObject3DList::ClassInfo{"TSCustomObject3DList", &TSCustomObject3D::ClassInfo,
                                                            &TSNewObject<TSCustomObject3DList>};
constinit const TSClassInfo TSCustomConstruction3DList::ClassInfo{
    "TSCustomConstruction3DList", &TSCustomConstruction3D::ClassInfo, &TSNewObject<TSCustomConstruction3DList>};
constinit const TSClassInfo TSCustomProjectionSystem3DList::ClassInfo{"TSCustomProjectionSystem3DList",
                                                                      &TSCustomConstruction3DList::ClassInfo,
                                                                      &TSNewObject<TSCustomProjectionSystem3DList>};
constinit const TSClassInfo TSCustomLightSystem3DList::ClassInfo{
    "TSCustomLightSystem3DList", &TSCustomLightSystem3D::ClassInfo, &TSNewObject<TSCustomLightSystem3DList>};

bool TSCustomProjectionSystem3DList::AcceptsMember(TSCustomChangeObject* Obj) const
{
    return dynamic_cast<TSCustomProjectionSystem3D*>(Obj) != nullptr;
}

namespace {

template <class Request>
void LightThroughMembers(TSCustomLightSystem3DList& List, const std::vector<TSCustomChangeObject*>& Members,
                         Request& Asked)
{
    if (!List.Enabled())
        return;
    TSCustomConstruction3D* const occluders = Asked.Occluders;
    if (!List.CastsShadows())
        Asked.Occluders = nullptr;
    try {
        for (TSCustomChangeObject* member : Members)
            if (auto* light = dynamic_cast<TSCustomLightSystem3D*>(member))
                light->LightVertex(Asked);
    } catch (...) {
        Asked.Occluders = occluders;
        throw;
    }
    Asked.Occluders = occluders;
}

}  // namespace

void TSCustomLightSystem3DList::LightVertex(TSLightingRequestSingle& Request)
{
    LightThroughMembers(*this, Entries(), Request);
}

void TSCustomLightSystem3DList::LightVertex(TSLightingRequest& Request)
{
    LightThroughMembers(*this, Entries(), Request);
}

// ---------------------------------------------------------------------------
// The unit

std::int32_t ListsInterfaceHandler(TSCommandRecord* Record)
{
    if (Record == nullptr || Record->Command != icDescribe || Record->Object == nullptr)
        return -1;
    auto* branch = reinterpret_cast<TSDataBranch*>(Record->Param);
    TObject* object = Record->Object;
    if (auto* list = dynamic_cast<TSCustomListCore<TSCustomChangeObject>*>(object))
        list->Describe(branch);
    else if (auto* list3D = dynamic_cast<TSCustomListCore<TSCustomObject3D>*>(object))
        list3D->Describe(branch);
    else if (auto* lights = dynamic_cast<TSCustomListCore<TSCustomLightSystem3D>*>(object))
        lights->Describe(branch);
    else if (auto* constructions = dynamic_cast<TSCustomListCore<TSCustomConstruction3D>*>(object))
        constructions->Describe(branch);
    else
        return -1;
    return 0;
}

namespace {

// In registration order; unregistered in reverse.
const TSClass kListClasses[] = {
    &TSCustomChangeObjectList::ClassInfo,   &TSCustomObject3DList::ClassInfo,
    &TSCustomConstruction3DList::ClassInfo, &TSCustomProjectionSystem3DList::ClassInfo,
    &TSCustomLightSystem3DList::ClassInfo,
};

// The projection list reaches the routine through its base class.
const TSClass kHandlerClasses[] = {
    &TSCustomChangeObjectList::ClassInfo,
    &TSCustomObject3DList::ClassInfo,
    &TSCustomConstruction3DList::ClassInfo,
    &TSCustomLightSystem3DList::ClassInfo,
};

struct CaptionRow {
    TSClass Class;
    const char* Caption;
};

const CaptionRow kCaptions[] = {
    {&TSCustomChangeObjectList::ClassInfo, "Objects List"},
    {&TSCustomObject3DList::ClassInfo, "Objects 3D List"},
    {&TSCustomConstruction3DList::ClassInfo, "Constructions 3D List"},
    {&TSCustomProjectionSystem3DList::ClassInfo, "Projections System List"},
    {&TSCustomLightSystem3DList::ClassInfo, "Lights List"},
};

struct CategoryRow {
    TSClass Class;
    const char* Group;
    const char* Entry;
};

const CategoryRow kCategories[] = {
    {&TSCustomChangeObjectList::ClassInfo, "Standart Objects", "Custom Change Object List"},
    {&TSCustomConstruction3DList::ClassInfo, "Standart Objects", "Custom Construction 3D List"},
    {&TSCustomLightSystem3DList::ClassInfo, "Standart Objects", "Custom Light System 3D List"},
};

}  // namespace

void SCustom3DListsInitialization()
{
    for (TSClass c : kListClasses)
        RegisterRTDClass(c);
    for (TSClass c : kHandlerClasses)
        RegisterInterfaceHandler(c, &ListsInterfaceHandler);
    for (const CaptionRow& row : kCaptions)
        SetInterfaceCaption(row.Class, row.Caption);
    std::lock_guard guard(TreeLock());
    for (const CategoryRow& row : kCategories)
        if (TSDataBranch* tree = GetInterfaceEntry(row.Class, ikCategories, true))
            tree->ForceChild(row.Group, true)->ForceChild(row.Entry, true)->SetData(row.Class);
}

void SCustom3DListsFinalization()
{
    for (TSClass c : kHandlerClasses)
        UnregisterInterfaceHandler(c, &ListsInterfaceHandler);
    for (auto c = std::rbegin(kListClasses); c != std::rend(kListClasses); ++c)
        UnregisterRTDClass(*c);
}
