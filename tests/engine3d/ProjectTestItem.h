#pragma once
// An object for project files, shared by the project tests and the project file
// fuzz target. Each program defines TTestItem::ClassInfo under its own name.

#include "engine3d/files/SProject.h"

#include <cstdint>
#include <memory>

// An object with a value, a contained object written as a nested record and a
// reference to another object written as its identity.
class TTestItem : public TSCustomChangeObject {
    S_CLASS(TTestItem)
public:
    std::int32_t Value = 0;
    TSObject* Peer = nullptr;
    std::unique_ptr<TSObject> Child;
    std::uint32_t SavedPeer = 0;

    std::int32_t Save(TSObjectsStream* S) override
    {
        const std::int32_t name = TSCustomChangeObject::Save(S);
        S->Write(&Value, 4);
        const std::uint32_t peer = S->ObjectIdentity(Peer);
        S->Write(&peer, 4);
        return name + 8 + S->WriteObject(Child.get());
    }
    std::int32_t Load(TSObjectsStream* S) override
    {
        const std::int32_t name = TSCustomChangeObject::Load(S);
        S->Read(&Value, 4);
        S->Read(&SavedPeer, 4);
        TSObject* child = nullptr;
        const std::int32_t bytes = S->ReadObject(child, nullptr);
        Child.reset(child);
        return name + 8 + bytes;
    }
    std::int32_t Link(TSObjectsStream* S) override
    {
        Peer = S->FindObject(SavedPeer, &TTestItem::ClassInfo);
        if (Child)
            Child->Process(ocLink, reinterpret_cast<TSParam>(S));
        return 1;
    }
};
