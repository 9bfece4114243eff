#pragma once
// Small helpers shared by the engine's tests: an in-memory object stream and an
// event recorder.

#include "engine3d/model/SGeneral.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// An object stream over a byte vector. An object record is the class name as a
// stream string, the size of the data, then the data; only classes listed in
// Known are created on reading, others are skipped.
//
// References: ObjectIdentity numbers objects in order of first use (1, 2, ...);
// FindObject answers what the test put in Found.
class MemoryStream final : public TSObjectsStream {
public:
    std::vector<unsigned char> Bytes;
    std::int32_t Pos = 0;
    std::vector<TSClass> Known;
    std::map<TSObject*, std::uint32_t> Ids;
    std::map<std::uint32_t, TSObject*> Found;

    void SetPosition(std::int32_t Position) override { Pos = Position; }
    std::int32_t GetPosition() override { return Pos; }
    std::int64_t Remaining() const override { return static_cast<std::int64_t>(Bytes.size()) - Pos; }

    std::uint32_t ObjectIdentity(TSObject* Object) override
    {
        if (Object == nullptr)
            return 0;
        return Ids.try_emplace(Object, static_cast<std::uint32_t>(Ids.size() + 1)).first->second;
    }
    TSObject* FindObject(std::uint32_t SavedId, TSClass) override
    {
        const auto at = Found.find(SavedId);
        return at == Found.end() ? nullptr : at->second;
    }

    void Read(void* Buffer, std::int32_t Count) override
    {
        if (Count < 0 || static_cast<std::size_t>(Pos) + static_cast<std::size_t>(Count) > Bytes.size())
            throw EStreamError("read past the end");
        std::memcpy(Buffer, Bytes.data() + Pos, static_cast<std::size_t>(Count));
        Pos += Count;
    }

    void Write(const void* Buffer, std::int32_t Count) override
    {
        const auto end = static_cast<std::size_t>(Pos) + static_cast<std::size_t>(Count);
        if (Bytes.size() < end)
            Bytes.resize(end);
        std::memcpy(Bytes.data() + Pos, Buffer, static_cast<std::size_t>(Count));
        Pos += Count;
    }

    std::int32_t WriteObject(TSObject* Object) override
    {
        const std::int32_t start = Pos;
        WriteStreamString(this, Object ? Object->ClassName() : "");
        const std::int32_t sizeAt = Pos;
        std::int32_t size = 0;
        Write(&size, 4);
        if (Object)
            size = Object->Process(ocSave, reinterpret_cast<TSParam>(this));
        std::memcpy(Bytes.data() + sizeAt, &size, 4);
        return Pos - start;
    }

    std::int32_t ReadObject(TSObject*& Object, TSClass ExpectedClass) override
    {
        const std::int32_t start = Pos;
        std::string name;
        ReadStreamString(this, name);
        std::int32_t size = 0;
        Read(&size, 4);
        const std::int32_t end = Pos + size;
        TSClass cls = nullptr;
        for (TSClass k : Known)
            if (name == k->Name)
                cls = k;
        TSObject* made = nullptr;
        if (cls && cls->InheritsFrom(ExpectedClass ? ExpectedClass : &TSObject::ClassInfo)) {
            made = TSObject::Create(cls, nullptr);
            made->Process(ocLoad, reinterpret_cast<TSParam>(this));
        }
        Pos = end;
        delete Object;
        Object = made;
        return Pos - start;
    }
};

// Records every event it hears.
struct EventLog {
    struct Entry {
        TObject* Sender;
        std::int32_t Code;
        TSParam Param;
        bool operator==(const Entry&) const = default;
    };
    std::mutex Lock;
    std::vector<Entry> Entries;

    void On(TObject* Sender, std::int32_t Code, TSParam Param)
    {
        std::lock_guard g(Lock);
        Entries.push_back({Sender, Code, Param});
    }
    TSEventHandler Handler() { return TSEventHandler::Of<&EventLog::On>(this); }

    std::vector<std::pair<std::int32_t, TSParam>> Codes()
    {
        std::lock_guard g(Lock);
        std::vector<std::pair<std::int32_t, TSParam>> out;
        for (const auto& e : Entries)
            out.emplace_back(e.Code, e.Param);
        return out;
    }
};
