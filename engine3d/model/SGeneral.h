#pragma once
// The engine's object model: the root model class TSObject with its operation
// dispatcher, the object stream protocol, event managers, change objects,
// named object lists, branch trees and stream strings.

#include "engine3d/model/SClassLib.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <unordered_map>
#include <vector>

class TSObjectsStream;
class TSProject;
class TSThread;

// A 32-bit value or an address, as Process and events carry them.
using TSParam = std::intptr_t;

// Codes of TSObject::Process; classes add their own from ocClassCodes up.
enum TSObjectCommand : std::int32_t {
    ocBeginOperation = 1,
    ocEndOperation = 2,
    ocSave = 3,
    ocLoad = 4,
    ocLink = 5,
    ocFindHolder = 6,
    ocSetParameter = 7,
    ocGetParameter = 8,
    ocClassCodes = 4096,
};

// Shared event codes; classes add their own from ecClassCodes up.
enum TSEventCode : std::int32_t {
    ecDestroying = 3,
    ecBeginChange = 4,
    ecEndChange = 5,
    ecItemAdded = 6,
    ecItemRemoved = 7,
    ecChanged = 8,
    ecClassCodes = 4096,
};

// Bits of TSObject::Flags.
enum TSObjectFlag : std::uint32_t {
    ofConstructing = 1,
    ofDestroying = 2,
    ofSaving = 4,
    ofLoading = 8,
};

// Param of Process code 6: the object sought and, when found, its holder.
struct TSHolderQuery {
    TObject* Object = nullptr;
    TObject* Holder = nullptr;
};

// Param of Process codes 7 and 8.
struct TSParameterRecord {
    std::int32_t Id = 0;
    void* Data = nullptr;
};

// Root of every model class. Objects are made by class reference through the
// virtual constructor Create (never by a constructor with arguments); a class
// sets its defaults in Initialize, calling the inherited one first.
class TSObject : public TPersistent {
    S_CLASS(TSObject)
public:
    ~TSObject() override;

    // The virtual constructor: a new object of class Class, owned by Owner;
    // nullptr for a class that cannot be created by reference.
    static TSObject* Create(TSClass Class, TObject* Owner = nullptr);
    template <class T>
    static T* Create(TObject* Owner = nullptr)
    {
        static_assert(THasOwnClassRecord<T>, "S_CLASS missing");
        return static_cast<T*>(Create(&T::ClassInfo, Owner));
    }

    TObject* Owner() const { return m_owner; }
    std::uint32_t Flags() const { return m_flags.load(); }
    bool IsDestroying() const { return (Flags() & ofDestroying) != 0; }

    // Operations that may be unsupported answer 0 or above when handled, -1 not.
    virtual void Initialize() {}
    virtual void Finalize();
    virtual std::int32_t BeginOperation(std::int32_t Operation);
    virtual std::int32_t EndOperation(std::int32_t Operation);
    virtual std::int32_t Save(TSObjectsStream* Stream);
    virtual std::int32_t Load(TSObjectsStream* Stream);
    virtual std::int32_t Link(TSObjectsStream* Stream);
    virtual std::int32_t FindHolder(TSHolderQuery* Query, TObject** Holder);
    virtual std::int32_t SetParameter(std::int32_t Id, void* Data);
    virtual std::int32_t GetParameter(std::int32_t Id, void* Data);
    // A new object of this object's class, owned by Owner, that took over this
    // object's state through Assign.
    virtual TSObject* Clone(TObject* Owner);
    virtual std::int32_t Process(std::int32_t Code, TSParam Param);

    // The construction protocol behind Create, for the class factories.
    template <class T>
    static TSObject* NewInstance(TObject* Owner);

protected:
    void BeforeDestruction() noexcept override;
    // Sets bits and answers whether any of them was clear before.
    bool SetFlags(std::uint32_t Bits) { return (m_flags.fetch_or(Bits) & Bits) != Bits; }
    void ClearFlags(std::uint32_t Bits) { m_flags.fetch_and(~Bits); }

private:
    void Construct(TObject* Owner);

    TObject* m_owner = nullptr;
    std::atomic<std::uint32_t> m_flags{0};
};

template <class T>
TSObject* TSObject::NewInstance(TObject* Owner)
{
    static_assert(THasOwnClassRecord<T>, "S_CLASS missing");
    std::unique_ptr<T> object(new T());
    static_cast<TSObject*>(object.get())->Construct(Owner);
    return object.release();
}

// The factory to put in a creatable class's record.
template <class T>
TSObject* TSNewObject(TObject* Owner)
{
    return TSObject::NewInstance<T>(Owner);
}

// The protocol by which objects write and read themselves. Concrete streams
// override what they support; the defaults do nothing.
class TSObjectsStream : public TObject {
    S_CLASS(TSObjectsStream)
public:
    virtual void SetPosition(std::int32_t Position) {}
    virtual std::int32_t GetPosition() { return 0; }
    virtual TSProject* GetProject() { return nullptr; }
    virtual TSThread* GetThread() { return nullptr; }
    virtual void Read(void* Buffer, std::int32_t Count) {}
    virtual void Write(const void* Buffer, std::int32_t Count) {}
    // A 32-bit integer in the file's byte order; 0 when nothing could be read.
    std::int32_t ReadInt32()
    {
        std::int32_t value = 0;
        Read(&value, 4);
        return value;
    }
    // Bytes written: 4.
    std::int32_t WriteInt32(std::int32_t Value)
    {
        Write(&Value, 4);
        return 4;
    }
    // Bytes written, the record header included.
    virtual std::int32_t WriteObject(TSObject* Object) { return 0; }
    // Bytes read; Object receives the new object or nullptr. ExpectedClass
    // nullptr means TSObject.
    virtual std::int32_t ReadObject(TSObject*& Object, TSClass ExpectedClass)
    {
        Object = nullptr;
        return 0;
    }
    // The object loaded for an identity saved by a reference.
    virtual TSObject* FindObject(std::uint32_t SavedId, TSClass ExpectedClass) { return nullptr; }
    // The identity under which a reference to Object is written, the same one
    // its own record carries; 0 for nullptr.
    virtual std::uint32_t ObjectIdentity(TSObject* Object) { return 0; }
    // Bytes that reads may still take, so that a reader can refuse a count
    // that cannot fit before it allocates; -1 when the stream cannot tell.
    virtual std::int64_t Remaining() const { return -1; }
};

// An event handler: a routine and the subscriber it is called for. Two handlers
// are the same when both parts are.
using TSEventProc = void (*)(void* Data, TObject* Sender, std::int32_t EventCode, TSParam Param);

struct TSEventHandler {
    TSEventProc Code = nullptr;
    void* Data = nullptr;

    bool operator==(const TSEventHandler&) const = default;

    // The handler of a member function void C::M(TObject*, int32_t, TSParam)
    // for Object: TSEventHandler::Of<&C::M>(this).
    template <auto Method, class C>
    static TSEventHandler Of(C* Object)
    {
        return {&Thunk<Method, C>, Object};
    }

private:
    template <auto Method, class C>
    static void Thunk(void* Data, TObject* Sender, std::int32_t EventCode, TSParam Param)
    {
        (static_cast<C*>(Data)->*Method)(Sender, EventCode, Param);
    }
};

// A list of handlers that are told, in the order they were added, of each
// event. Handlers run in the thread that notifies, without the manager's lock,
// on a snapshot of the list taken when the notification started: handlers added
// meanwhile take effect from the next notification; a handler removed meanwhile
// is not called any more (its subscriber may be gone). Not copyable.
class TSEventManager final : public TObject {
    S_CLASS(TSEventManager)
public:
    // A handler without routine is ignored. The same handler added twice is
    // called twice.
    void Add(TSEventHandler Handler);
    // Removes the first registration of Handler.
    void Remove(TSEventHandler Handler);
    std::int32_t IndexOf(TSEventHandler Handler) const;
    std::int32_t Count() const;
    // Errors raised by handlers are swallowed; the later handlers still run.
    void Notify(TObject* Sender, std::int32_t EventCode, TSParam Param);
    void SetDisabled(bool Disabled) { m_disabled = Disabled; }
    bool IsDisabled() const { return m_disabled; }

private:
    using Handlers = std::vector<TSEventHandler>;

    mutable std::recursive_mutex m_lock;
    // Replaced, never changed in place, so a snapshot stays valid for as long
    // as a notification uses it.
    std::shared_ptr<const Handlers> m_handlers = std::make_shared<const Handlers>();
    std::atomic<bool> m_disabled{false};
};

// Base of every model object that announces its changes. Modifications run
// between BeginChange and EndChange; only the outermost pair announces
// ecBeginChange and ecEndChange, under the object's own lock.
class TSCustomChangeObject : public TSObject {
    S_CLASS(TSCustomChangeObject)
public:
    ~TSCustomChangeObject() override;

    TSEventManager Events;

    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }
    // Takes the lock only when it is free (or held by the caller).
    bool TryLock() const { return m_lock.try_lock(); }
    // With KeepLocked the caller still holds the lock on return and passes
    // WasLocked = true to the matching EndChange.
    void BeginChange(bool KeepLocked = false, std::int32_t Param = 0);
    void EndChange(bool WasLocked = false, std::int32_t Param = 0);
    bool IsChanging() const { return m_changeCount.load() > 0; }

    std::string Name() const;
    virtual void SetName(const std::string& S);

    void Initialize() override;
    void Finalize() override;
    // Writes Name as a stream string; refuses with EInvalidOperation while a
    // change is open.
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

protected:
    virtual void DoBeginChange(std::int32_t Param);
    virtual void DoEndChange(std::int32_t Param);
    // Announces ecChanged; sent by modifying operations inside their bracket.
    virtual void Changed();

private:
    mutable std::recursive_mutex m_lock;
    std::atomic<std::int32_t> m_changeCount{0};
    std::string m_name;
};

// Holds a change object's own lock for a scope.
// Holds an object's own lock (its Lock and Unlock) for a scope. Adopt hands it
// a lock already taken, to be released at the end of the scope; a holder made
// empty releases nothing until then. Neither copyable nor movable.
template <class T>
class TSHeldLock final {
public:
    TSHeldLock() = default;
    explicit TSHeldLock(const T& Object) : m_object(&Object) { m_object->Lock(); }
    ~TSHeldLock()
    {
        if (m_object != nullptr)
            m_object->Unlock();
    }
    TSHeldLock(const TSHeldLock&) = delete;
    TSHeldLock& operator=(const TSHeldLock&) = delete;

    void Adopt(const T& Locked) { m_object = &Locked; }

private:
    const T* m_object = nullptr;
};

using TSObjectLock = TSHeldLock<TSCustomChangeObject>;

// An object's lock in the shape std::lock_guard and try-lock loops take.
struct TSLockable {
    const TSCustomChangeObject& Object;
    void lock() { Object.Lock(); }
    bool try_lock() { return Object.TryLock(); }
    void unlock() { Object.Unlock(); }
};

// Runs Body inside Object's change bracket; the bracket closes also when Body
// fails. KeepLocked is handed to both ends.
template <class Body>
void InChange(TSCustomChangeObject& Object, bool KeepLocked, Body&& Run)
{
    Object.BeginChange(KeepLocked, 0);
    try {
        Run();
    } catch (...) {
        Object.EndChange(KeepLocked, 0);
        throw;
    }
    Object.EndChange(KeepLocked, 0);
}

template <class Body>
void InChange(TSCustomChangeObject& Object, Body&& Run)
{
    InChange(Object, false, std::forward<Body>(Run));
}

// A named, locked list of object references that owns nothing it lists. Every
// list made while "Global List of SObjectsList" exists joins that list. Add
// and Remove change the list through the virtual SetCount and SetItem.
// Not copyable.
class TSObjectsList : public TObject {
    S_CLASS(TSObjectsList)
public:
    static constexpr std::int32_t MaxCount = 1048576;

    explicit TSObjectsList(std::string Name);
    ~TSObjectsList() override;

    TSEventManager Events;

    const std::string& Name() const { return m_name; }
    void Lock() const { m_lock.lock(); }
    void Unlock() const { m_lock.unlock(); }

    // Ignored unless 0 <= N <= MaxCount. Items past N leave the list; new
    // places hold nullptr. When the storage cannot grow, the list drops
    // everything and the error passes on.
    virtual void SetCount(std::int32_t N);
    // Puts Item (nullptr too) at Index; ignored out of range.
    virtual void SetItem(std::int32_t Index, TObject* Item);

    // Lists Item unless it is nullptr or already listed, then announces
    // ecItemAdded (for every non-nil Item). A full list refuses with
    // EInvalidOperation and keeps what it has.
    void Add(TObject* Item);
    // Unlists Item, then announces ecItemRemoved (for every non-nil Item).
    void Remove(TObject* Item);
    // The last place that holds Item; -1 for nullptr or when none does.
    std::int32_t IndexOf(TObject* Item) const;
    std::int32_t Count() const;
    TObject* GetItem(std::int32_t Index) const;

private:
    // Under the lock.
    void Forget(TObject* Item);

    mutable std::recursive_mutex m_lock;
    std::vector<TObject*> m_items;
    // How many places hold each listed item; nullptr is never counted.
    std::unordered_map<TObject*, std::int32_t> m_listed;
    const std::string m_name;
};

// "Global List of SObjectsList", or nullptr while the unit does not run.
TSObjectsList* GlobalObjectsLists();

// A tree node. A branch owns its children; all branches of the program share
// one lock. Children are made, copied and loaded by class reference.
class TSBranch : public TSObject {
    S_CLASS(TSBranch)
public:
    ~TSBranch() override;

    virtual void Lock();
    virtual void Unlock();
    virtual void SetChild(std::int32_t Index, TSBranch* Child);
    virtual void SetParent(TSBranch* NewParent);
    virtual void SetCount(std::int32_t N);
    virtual void AssignTree(TSBranch* Source);
    virtual void Exchange(std::int32_t I, std::int32_t J);
    virtual void Move(std::int32_t From, std::int32_t To);

    TSBranch* Parent() const;
    std::int32_t Count() const;
    TSBranch* GetChild(std::int32_t Index) const;
    void AddChild(TSBranch* Child);
    void InsertChild(std::int32_t Index, TSBranch* Child);
    void SetIndex(std::int32_t NewIndex);
    std::int32_t IndexInParent() const;
    // True when Node is a proper ancestor of this branch.
    bool IsDescendantOf(const TSBranch* Node) const;
    std::int32_t TotalCount() const;

    void Assign(TPersistent* Source) override;
    void Initialize() override;
    std::int32_t BeginOperation(std::int32_t Operation) override;
    std::int32_t EndOperation(std::int32_t Operation) override;
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;

private:
    void FreeChild(std::int32_t Index);
    std::int32_t SpreadOperation(std::int32_t Code, std::int32_t Operation);

    TSBranch* m_parent = nullptr;
    std::vector<TSBranch*> m_children;
    bool m_clearing = false;
};

// The one lock of all branch trees (re-entrant).
std::recursive_mutex& TreeLock();

// Stream strings: int32 length N (0 to MaxStreamString), then N bytes. Longer
// strings are cut. Results are the bytes written or read.
inline constexpr std::int32_t MaxStreamString = 65532;

// A nullptr Stream only measures.
std::int32_t WriteStreamString(TSObjectsStream* Stream, const std::string& S);
// Raises EStreamError "Invalid String Size" for a length outside 0 to 65532;
// S keeps its value then. A nullptr Stream empties S and returns 0.
std::int32_t ReadStreamString(TSObjectsStream* Stream, std::string& S);
// The same layout in memory; a nullptr Buffer only measures.
std::int32_t StringToBuffer(void* Buffer, const std::string& S);
// Reads from Buffer, of which Available bytes may be read; a string that does
// not fit in them is refused like a bad length. A nullptr Buffer empties S.
std::int32_t StringFromBuffer(const void* Buffer, std::int64_t Available, std::string& S);
// Dest becomes a copy of Source that shares no storage with it.
void CopyString(std::string& Dest, const std::string& Source);

// The engine's texts, looked up in the string tables under this module.
inline constexpr char kHalcyteModule[] = "Halcyte3D";

enum TSGeneralString : unsigned {
    sObjectCaption = 57600,  // "Object [%p] ( Type - %s )"
    sCantSave,
    sCantLoad,
    sBusy,
    sInvalidValue,
    sInvalidStringSize,
    sListFull,
};

std::string EngineString(unsigned Id);
// "Object [address] ( Type - class )" for Object.
std::string ObjectCaption(const TObject* Object);
// The caption, a line feed and carriage return, then "<action> : <reason>".
std::string ObjectErrorText(const TObject* Object, unsigned ActionId, unsigned ReasonId);

// Start and end of the unit (EngineUnits.h): the texts and "Global List of
// SObjectsList".
void SGeneralInitialization();
void SGeneralFinalization();
