#pragma once
// The small piece of class-library machinery the engine's model leans on:
// class references with names, ancestry and a virtual constructor, the root
// classes TObject and TPersistent, and the library's error kinds.

#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>

class TObject;
class TSObject;

// One record per class. A class reference is the address of its record; records
// are constant-initialised, so they are valid before any static constructor runs.
struct TSClassInfo {
    const char* Name = "";
    const TSClassInfo* Parent = nullptr;
    // The virtual constructor: a fully created object (Initialize has run), or
    // nullptr in the record of a class that cannot be created by reference.
    TSObject* (*Factory)(TObject* Owner) = nullptr;

    // True for the class itself and for every class below Ancestor.
    bool InheritsFrom(const TSClassInfo* Ancestor) const;
};

using TSClass = const TSClassInfo*;

// Put first in the body of every class of the model, then the class's own
// "public:" or "protected:". Define the record in the class's .cpp file:
//   constinit const TSClassInfo TFoo::ClassInfo{"TFoo", &TBar::ClassInfo, &TSNewObject<TFoo>};
#define S_CLASS(Self)                                                                                                  \
public:                                                                                                                \
    static const TSClassInfo ClassInfo;                                                                                \
    TSClass ClassType() const override                                                                                 \
    {                                                                                                                  \
        return &ClassInfo;                                                                                             \
    }

// True when T declares its own record; a class without one would pass for its
// parent when created, streamed or copied.
template <class T>
inline constexpr bool THasOwnClassRecord = std::is_same_v<decltype(&T::ClassType), TSClass (T::*)() const>;

// Root of every class. Not copyable: objects are referred to by address.
//
// `delete` on any object first runs BeforeDestruction on the whole object and
// only then the destructors, so a class's clean-up that announces its end still
// sees its most derived class and all its fields. An object that another thread
// still uses may hand its end over to that thread (DestructionDeferred).
class TObject {
public:
    static const TSClassInfo ClassInfo;

    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    virtual TSClass ClassType() const { return &ClassInfo; }
    const char* ClassName() const { return ClassType()->Name; }
    bool InheritsFrom(TSClass Ancestor) const { return ClassType()->InheritsFrom(Ancestor); }

    void operator delete(TObject* Object, std::destroying_delete_t);

protected:
    virtual void BeforeDestruction() noexcept {}
    // Asked by `delete` after BeforeDestruction: true when the object's end has
    // been handed to another thread, which then calls EndDestruction on it.
    virtual bool DestructionDeferred() noexcept { return false; }
    // Runs the destructors and frees the memory of an object made with new.
    static void EndDestruction(TObject* Object) noexcept;
};

// The class library's persistent base: copying one object's state into another.
class TPersistent : public TObject {
    S_CLASS(TPersistent)
public:
    // Copies Source into this object; by default asks Source to do it, which a
    // class that knows no such copy refuses with EAssignError.
    virtual void Assign(TPersistent* Source);

protected:
    virtual void AssignTo(TPersistent* Dest);
};

// The class library's error kinds, by role.
class ELibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A stream's content is not what its reader expects.
class EStreamError final : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};

// The object cannot do this now (it is busy, or the request makes no sense).
class EInvalidOperation final : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};

// Silent cancellation of a job: callers end their work without telling the user.
class EAbort final : public ELibraryError {
public:
    EAbort() : ELibraryError("Operation aborted") {}
};

// An object cannot take over the state of the given source.
class EAssignError final : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};

// A call to the operating system failed: the system's message and error number.
class EOSError final : public ELibraryError {
public:
    EOSError(int Code, const std::string& Message) : ELibraryError(Message), ErrorCode(Code) {}
    int ErrorCode = 0;
};

// An allocation failed, or asked for more than the library hands out.
class EOutOfMemory final : public ELibraryError {
public:
    EOutOfMemory() : ELibraryError("Out of memory") {}
};

// Raises an error number of the operating system as the library's error, naming
// what failed: ENOMEM as EOutOfMemory, anything else (0 as EIO) as EOSError.
[[noreturn]] void RaiseOSError(int Code, const std::string& What);

// Integer division by zero or a quotient out of range.
class EIntDivision final : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};

// Floating-point division by zero or a result that is not a finite number (the
// system does not trap these; the code that divides checks and raises this).
class EFloatDivision final : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};
