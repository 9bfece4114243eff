#include "engine3d/model/SClassLib.h"

#include <cerrno>
#include <cstring>

constinit const TSClassInfo TObject::ClassInfo{"TObject", nullptr, nullptr};
constinit const TSClassInfo TPersistent::ClassInfo{"TPersistent", &TObject::ClassInfo, nullptr};

bool TSClassInfo::InheritsFrom(const TSClassInfo* Ancestor) const
{
    if (Ancestor == nullptr)
        return false;
    for (const TSClassInfo* c = this; c != nullptr; c = c->Parent)
        if (c == Ancestor)
            return true;
    return false;
}

void TObject::operator delete(TObject* Object, std::destroying_delete_t)
{
    Object->BeforeDestruction();
    if (!Object->DestructionDeferred())
        EndDestruction(Object);
}

void TObject::EndDestruction(TObject* Object) noexcept
{
    // The start of the allocation, taken while the dynamic type is still known.
    void* memory = dynamic_cast<void*>(Object);
    Object->~TObject();
    ::operator delete(memory);
}

void TPersistent::Assign(TPersistent* Source)
{
    if (Source == nullptr)
        throw EAssignError(std::string("Cannot assign nil to ") + ClassName());
    Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest)
{
    throw EAssignError(std::string("Cannot assign ") + ClassName() + " to " + (Dest ? Dest->ClassName() : "nil"));
}

void RaiseOSError(int Code, const std::string& What)
{
    if (Code == ENOMEM)
        throw EOutOfMemory();
    if (Code == 0)
        Code = EIO;
    throw EOSError(Code, std::string(std::strerror(Code)) + ": " + What);
}
