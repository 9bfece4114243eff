#pragma once
// The run-time class registry: one program-wide table of keys, each with a tree
// of named data nodes. Key 0 holds the branches "Classes" (the hierarchy of
// every registered class), "Depository Classes" (which parameter-set class
// edits which object class) and "SInterfaces" (see SInterface.h).

#include "engine3d/model/SGeneral.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

// What a data node stands for: a reference (a class, an object, a routine),
// which means something only in the running program, or a plain number (a
// key, a saved identity). Two values are equal when their bits are; nil is 0.
struct TSNodeData {
    TSParam Value = 0;
    bool IsReference = false;

    constexpr TSNodeData() = default;
    constexpr TSNodeData(std::nullptr_t) {}
    constexpr TSNodeData(std::int32_t Number) : Value(Number) {}
    template <class T>
    TSNodeData(T* Reference) : Value(reinterpret_cast<TSParam>(Reference)), IsReference(Reference != nullptr)
    {}

    bool IsNil() const { return Value == 0; }
    // The reference as a pointer of the type it was stored with.
    template <class T>
    T* As() const
    {
        return reinterpret_cast<T*>(Value);
    }
    TSClass AsClass() const { return As<const TSClassInfo>(); }
    bool operator==(const TSNodeData& Other) const { return Value == Other.Value; }
};

// A tree node with a name, a value it stands for, a tag and an expanded mark;
// the node of every browse tree of the program. Saved, a reference is written
// as 0: an address means nothing to another run.
class TSDataBranch : public TSBranch {
    S_CLASS(TSDataBranch)
public:
    // The virtual constructor: a new node of class Class (TSDataBranch or a
    // class below it) without owner, with the three values stored by its
    // InitializeNode; nullptr for another class or one that cannot be created
    // by reference. When InitializeNode fails, the node is freed and the error
    // passes on.
    static TSDataBranch* Create(TSClass Class, const std::string& Name, TSNodeData Data = {}, bool Expanded = false);
    static TSDataBranch* Create(const std::string& Name, TSNodeData Data = {}, bool Expanded = false)
    {
        return Create(&ClassInfo, Name, Data, Expanded);
    }
    template <class T>
    static T* Create(const std::string& Name, TSNodeData Data = {}, bool Expanded = false)
    {
        static_assert(std::is_base_of_v<TSDataBranch, T> && THasOwnClassRecord<T>,
                      "not a data node class with S_CLASS");
        return static_cast<T*>(Create(&T::ClassInfo, Name, Data, Expanded));
    }

    std::string Name() const;
    TSNodeData Data() const;
    std::int32_t Tag() const;
    bool Expanded() const;

    virtual void SetName(const std::string& Name);
    virtual void SetData(TSNodeData Data);
    virtual void SetTag(std::int32_t Tag);
    virtual void SetExpanded(bool Expanded);

    // The first direct child, in slot order, that is a data node with Data =
    // Value; nullptr for a nil Value.
    TSDataBranch* FindChildByData(TSNodeData Value) const;
    // This node, or the first match of a depth-first search in slot order.
    TSDataBranch* FindByData(TSNodeData Value) const;
    TSDataBranch* FindChildByName(const std::string& Name, bool CaseSensitive) const;
    // Follows the names of Path, separated by Separator, from this node; this
    // node for an empty path; a trailing separator is ignored.
    TSDataBranch* FindPath(const std::string& Path, bool CaseSensitive, char Separator) const;
    // The child of that name, appended when there is none.
    TSDataBranch* ForceChild(const std::string& Name, bool CaseSensitive);
    // The names from below Root (or from the top) down to this node, each
    // followed by Separator but the last.
    void GetPath(const TSBranch* Root, char Separator, std::string& Path) const;
    // Marks this node and every data-node ancestor.
    void ExpandPath(bool Flag);
    // Marks this node and every data-node descendant.
    void SetExpandedAll(bool Flag);

    void Assign(TPersistent* Source) override;
    void Initialize() override;
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

protected:
    // The virtual constructor's own part, run after Initialize: stores the
    // three values. A class below that overrides it calls this one first.
    virtual void InitializeNode(const std::string& Name, TSNodeData Data, bool Expanded);

private:
    std::string m_name;
    TSNodeData m_data;
    std::int32_t m_tag = 0;
    bool m_expanded = false;
};

// A registry key: 0, or the class reference of a class that keeps a tree of its own.
using TSRegistryKey = TSParam;

// A table of keys with the trees it owns. The trees are branches under the one
// tree lock; the table has a lock of its own, never held while a tree is
// touched. Not copyable.
class TSRTDRegistry final : public TObject {
    S_CLASS(TSRTDRegistry)
public:
    TSRTDRegistry() = default;
    ~TSRTDRegistry() override;

    // The entry's index, searched from the last; -1 when absent.
    std::int32_t IndexOfKey(TSRegistryKey Key) const;
    // The index of Key's entry, made (with a new root) when missing.
    std::int32_t ForceKey(TSRegistryKey Key);
    // Drops Key's entry and frees its tree.
    void RemoveKey(TSRegistryKey Key);
    // Keeps the first N entries (N below 0 counts as 0), freeing the trees of
    // the others; new entries are empty.
    void SetCount(std::int32_t N);
    std::int32_t Count() const;
    // The root of the entry at Index; nullptr out of range.
    TSDataBranch* Root(std::int32_t Index) const;
    TSDataBranch* FindRoot(TSRegistryKey Key) const;

    // "{xxxxxxxx}": the key in hexadecimal digits, eight for a 32-bit key.
    static std::string RootName(TSRegistryKey Key);

private:
    struct Entry {
        TSRegistryKey Key = 0;
        TSDataBranch* Root = nullptr;
    };

    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;
};

// The one registry of the program, nullptr while the unit does not run; then
// the functions below do nothing and answer nullptr.
TSRTDRegistry* RTDRegistry();

// Start and end of the unit (EngineUnits.h): the registry with the classes of
// this unit.
void SRTDRegistryInitialization();
void SRTDRegistryFinalization();

// The root for Key, made when missing.
TSDataBranch* GetRegistryRoot(TSRegistryKey Key);
TSDataBranch* FindRegistryRoot(TSRegistryKey Key);
// FindPath on Key's root with '\' as separator, observing case.
TSDataBranch* FindRegistryPath(TSRegistryKey Key, const std::string& Path);
void RemoveRegistryKey(TSRegistryKey Key);

// The "Classes" branch of key 0, or nullptr before the first registration.
TSDataBranch* FindRTDClassesBranch();
// The class's node under "Classes", made with the nodes of its ancestors.
TSDataBranch* RegisterRTDClass(TSClass Class);
// Frees the class's node together with those of the classes registered below it.
void UnregisterRTDClass(TSClass Class);
// The class's node under "Classes", or nullptr when it is not registered.
TSDataBranch* FindRTDClassNode(TSClass Class);
// The first registered class of that name (case ignored), depth first; nullptr
// when none. A class path is looked up with FindRegistryPath (0, "Classes\\...").
TSClass FindRTDClass(const std::string& Name);

// The depository's node under "Depository Classes"; nullptr unless both are given.
TSDataBranch* RegisterDepositoryClass(TSClass DepositoryClass, TSClass ObjectClass);
void UnregisterDepositoryClass(TSClass DepositoryClass, TSClass ObjectClass);
// The depository class registered for exactly ObjectClass, or nullptr.
TSClass FindDepositoryClass(TSClass ObjectClass);
