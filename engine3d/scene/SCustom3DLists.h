#pragma once
// Lists that own and group scene objects. The five lists are one family: the
// same list operations on five bases, so that a list of lights is itself a
// light, a list of constructions a construction, and so on. A list forwards
// its members' events, keeps the box of its members (3D lists), draws, lights
// and occludes through them, saves and loads them as object records and
// describes itself as a browse tree.
//
// A list holds an object at most once and never itself. Clear frees the
// members; Delete, SetItem, SetCount and the list's destruction only remove
// them.

#include "engine3d/scene/SCustom3D.h"
#include "engine3d/model/SInterface.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

// Events of a list.
enum TSListEvent : std::int32_t {
    ecListChanged = 10,  // an entry added, removed, replaced or moved, or the list cleared (Param 0)
    ecMemberEvent = 11,  // a member announced an event; Param: the address of its TSEventRecord
};

// A member's event as a list forwards it: through nested lists the record
// stays the first sender's.
struct TSEventRecord {
    TObject* Sender = nullptr;
    std::int32_t Code = 0;
    TSParam Param = 0;
};

template <class>
class TSConstructionListCore;

// The operations every list adds to its base. Every operation holds the
// list's own lock; Draw, LightVertex and TestOcclusion walk a copy of the
// entries without it. Not copyable.
template <class Base>
class TSCustomListCore : public Base {
public:
    ~TSCustomListCore() override;

    // The handler of every member's events.
    virtual void MemberEvent(TObject* Sender, std::int32_t EventCode, TSParam Param);
    // The first member enters a change; nothing here.
    virtual void MembersChangeBegin(TSParam Param);
    // The last member leaves its change; 3D lists recompute their bounds.
    virtual void MembersChangeEnd(TSParam Param);
    virtual void Exchange(std::int32_t I, std::int32_t J);
    virtual void Move(std::int32_t From, std::int32_t To);
    // The member's index; -1 for nil, the list itself, an object the list
    // does not take, or a list that holds this one.
    virtual std::int32_t Add(TSCustomChangeObject* Obj);
    // Removes the member (not freed).
    virtual void Delete(std::int32_t Index);
    // The old member, which the caller now owns; Obj itself when nothing
    // changed hands (already listed, refused, or Index out of range).
    virtual TSCustomChangeObject* SetItem(std::int32_t Index, TSCustomChangeObject* Obj);
    // Frees every member.
    virtual void Clear();

    // Removes members from the end or appends empty entries.
    void SetCount(std::int32_t N);
    std::int32_t Count() const;
    // nullptr outside 0 to Count() - 1.
    TSCustomChangeObject* GetItem(std::int32_t Index) const;
    // Searched from the last entry down; -1 when absent or for nullptr.
    std::int32_t IndexOf(const TObject* Obj) const;
    // Branch becomes the list's tree: its name, the list as data, a node per
    // member, each described through the interface dispatcher.
    void Describe(TSDataBranch* Branch);
    // How many changes of members are open.
    std::int32_t MembersChanging() const;

    void Initialize() override;
    // 1 + each member's count for save (3) and load (4); -1 otherwise.
    std::int32_t BeginOperation(std::int32_t Operation) override;
    std::int32_t EndOperation(std::int32_t Operation) override;
    // The base's data, the number of members, then each member as a record;
    // empty entries are not saved. Refuses with "Busy" while members change.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;
    std::int32_t FindHolder(TSHolderQuery* Query, TObject** Holder) override;

protected:
    // Whether Add and SetItem take Obj.
    virtual bool AcceptsMember(TSCustomChangeObject* Obj) const;
    // The entries as they stand.
    std::vector<TSCustomChangeObject*> Entries() const;
    void NotifyListChanged();

private:
    template <class>
    friend class TSConstructionListCore;

    void MemberHandler(TObject* Sender, std::int32_t EventCode, TSParam Param);
    TSEventHandler Handler() { return TSEventHandler::Of<&TSCustomListCore::MemberHandler>(this); }
    void Subscribe(TSCustomChangeObject* Member);
    void Unsubscribe(TSCustomChangeObject* Member);
    void AttachFrame(TSCustomChangeObject* Member);
    void DetachFrame(TSCustomChangeObject* Member);
    // Ends, as if the member had, the changes it opened and will never close
    // here (it is going, or leaving the list).
    void CloseOpenChanges(TSCustomChangeObject* Member);
    void RemoveDestroyed(TObject* Member);
    // True when Obj is a list that holds this one at any depth.
    bool HoldsThis(TSCustomChangeObject* Obj);
    void Put(std::int32_t Index, TSCustomChangeObject* Member);

    // Guards the entries and the change counts; never held while calling out.
    mutable std::mutex m_dataLock;
    std::vector<TSCustomChangeObject*> m_items;
    std::int32_t m_memberNesting = 0;
    // Open changes per member, so that a member that leaves or dies inside
    // its change does not keep the list busy.
    std::unordered_map<const TObject*, std::int32_t> m_openChanges;
};

// The lists of 3D objects: members' frames hang below the list's frame, and
// the list keeps the box of its members in its own frame.
template <class Base>
class TSList3DCore : public TSCustomListCore<Base> {
public:
    // The box of the members' corners, (-1, -1, -1) to (1, 1, 1) when empty.
    void RecomputeBounds();
    void GetLowerBound(TSVector3D& B) override;
    void GetUpperBound(TSVector3D& B) override;
    void MembersChangeEnd(TSParam Param) override;
    void Initialize() override;

protected:
    void DoEndChange(std::int32_t Param) override;

private:
    mutable std::mutex m_boundsLock;
    TSVector3D m_lower{-1, -1, -1};
    TSVector3D m_upper{1, 1, 1};
    std::uint64_t m_boundsRound = 0;  // the newest recomputation; older ones store nothing
};

// The lists that draw: construction and light lists.
template <class Base>
class TSConstructionListCore : public TSList3DCore<Base> {
public:
    void TestOcclusion(TSOcclusionQuerySingle& Query) override;
    void TestOcclusion(TSOcclusionQuery& Query) override;
    // Each member in order; an invisible list hides what its members draw.
    // With a thread, the k-th member is drawn under "<message>.k".
    void Draw(TSRenderContext& Context) override;
    // A construction list of the members' derived objects; nullptr when empty.
    TSCustomConstruction3D* CreateDerived(TObject* Owner) override;
    void DoUpdateEnd() override;
};

class TSCustomChangeObjectList : public TSCustomListCore<TSCustomChangeObject> {
    S_CLASS(TSCustomChangeObjectList)
};

class TSCustomObject3DList : public TSList3DCore<TSCustomObject3D> {
    S_CLASS(TSCustomObject3DList)
};

class TSCustomConstruction3DList : public TSConstructionListCore<TSCustomConstruction3D> {
    S_CLASS(TSCustomConstruction3DList)
};

// Takes cameras only.
class TSCustomProjectionSystem3DList : public TSCustomConstruction3DList {
    S_CLASS(TSCustomProjectionSystem3DList)
protected:
    bool AcceptsMember(TSCustomChangeObject* Obj) const override;
};

class TSCustomLightSystem3DList : public TSConstructionListCore<TSCustomLightSystem3D> {
    S_CLASS(TSCustomLightSystem3DList)
public:
    // Every member lights the vertex; without CastsShadows they see no occluders.
    void LightVertex(TSLightingRequestSingle& Request) override;
    void LightVertex(TSLightingRequest& Request) override;
};

extern template class TSCustomListCore<TSCustomChangeObject>;
extern template class TSCustomListCore<TSCustomObject3D>;
extern template class TSCustomListCore<TSCustomConstruction3D>;
extern template class TSCustomListCore<TSCustomLightSystem3D>;
extern template class TSList3DCore<TSCustomObject3D>;
extern template class TSList3DCore<TSCustomConstruction3D>;
extern template class TSList3DCore<TSCustomLightSystem3D>;
extern template class TSConstructionListCore<TSCustomConstruction3D>;
extern template class TSConstructionListCore<TSCustomLightSystem3D>;

// The unit's one interface routine: describes a list (command 6) into the
// record's branch; -1 for anything else.
std::int32_t ListsInterfaceHandler(TSCommandRecord* Record);

// Start and end of the unit: the five classes, the interface routine, the
// captions and the category entries.
void SCustom3DListsInitialization();
void SCustom3DListsFinalization();
