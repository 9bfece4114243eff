// Arbitrary bytes as a point model: with an even first byte, a model text split at
// LF for LoadFromStrings; with an odd one, the data of a ties construction's record. What
// loads must save, load back and save again to the same bytes.
//
// With MODEL_FUZZ_SEEDS set to a folder, the first run writes a model text and a record
// there to start the corpus from.

#include "engine3d/model/EngineUnits.h"
#include "engine3d/scene/SClasses3DPoints.h"
#include "engine3d/model/SRTDRegistry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// MemoryStream's layout, with record sizes checked against the bytes there are.
class TFuzzStream final : public TSObjectsStream {
    S_CLASS(TFuzzStream)
public:
    std::vector<unsigned char> Bytes;
    std::int32_t Pos = 0;
    std::vector<TSClass> Known;

    std::int64_t Remaining() const override { return static_cast<std::int64_t>(Bytes.size()) - Pos; }
    void Read(void* Buffer, std::int32_t Count) override
    {
        if (Count < 0 || Count > Remaining())
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
        if (size < 0 || size > Remaining())
            throw EStreamError("bad record size");
        const std::int32_t end = Pos + size;
        TSClass cls = nullptr;
        for (TSClass k : Known)
            if (name == k->Name)
                cls = k;
        std::unique_ptr<TSObject> made;
        if (cls && cls->InheritsFrom(ExpectedClass ? ExpectedClass : &TSObject::ClassInfo)) {
            made.reset(TSObject::Create(cls, nullptr));
            made->Process(ocLoad, reinterpret_cast<TSParam>(this));
        }
        if (Pos > end)
            throw EStreamError("record overrun");
        Pos = end;
        delete Object;
        Object = made.release();
        return Pos - start;
    }
};

const std::vector<TSClass> kKnown = {&TSTiesConstruction3D::ClassInfo, &TSBasis3D::ClassInfo,
                                     &TSSimpleDiffuseReflection::ClassInfo};

std::vector<unsigned char> Record(TSObject* Object)
{
    TFuzzStream out;
    out.Known = kKnown;
    out.WriteObject(Object);
    return out.Bytes;
}

std::unique_ptr<TSObject> Read(const std::vector<unsigned char>& Bytes)
{
    TFuzzStream in;
    in.Known = kKnown;
    in.Bytes = Bytes;
    TSObject* made = nullptr;
    in.ReadObject(made, &TSTiesConstruction3D::ClassInfo);
    return std::unique_ptr<TSObject>(made);
}

// What loads saves, loads back and saves again equal. The first record may differ
// from the second: a loaded frame's children wait for a link, which records alone
// do not give.
void CheckRoundTrip(TSObject* Object)
{
    const std::unique_ptr<TSObject> back = Read(Record(Object));
    if (!back)
        std::abort();
    const std::vector<unsigned char> second = Record(back.get());
    const std::unique_ptr<TSObject> again = Read(second);
    if (!again || Record(again.get()) != second)
        std::abort();
}

}  // namespace

constinit const TSClassInfo TFuzzStream::ClassInfo{"TFuzzStream", &TSObjectsStream::ClassInfo, nullptr};

namespace {

const char kSeedModel[] = " Points Count : 3\r\n  Point 0\r\n   p : 1 0 0\r\n   n : 0 0 1\r\n   i : 1 1 1\r\n"
                          "  Point 1\r\n   p : 0 1 0.5\r\n   n : 0 0 0\r\n   i : 0.30 0.30 0.30\r\n"
                          "  Point 2\r\n   p : -0.25 0 1e-3\r\n   n : 0 0 0\r\n   i : 1 1 1\r\n\r\n"
                          " Ties Count : 3\r\n  Tie 0\r\n   l : 0 1\r\n  Tie 1\r\n   t : 0 1 2\r\n"
                          "  Tie 2\r\n   p : 2\r\n";

void WriteSeed(const std::string& Path, char First, const std::string& Bytes)
{
    if (FILE* f = std::fopen(Path.c_str(), "wb")) {
        std::fputc(First, f);
        std::fwrite(Bytes.data(), 1, Bytes.size(), f);
        std::fclose(f);
    }
}

// A model text, and the data of the record of the construction it makes.
void WriteSeeds(const std::string& Folder)
{
    WriteSeed(Folder + "/model.txt", 0, kSeedModel);
    std::unique_ptr<TSTiesConstruction3D> model(TSObject::Create<TSTiesConstruction3D>());
    model->LoadFromText(kSeedModel);
    std::unique_ptr<TSSimpleDiffuseReflection> law(TSObject::Create<TSSimpleDiffuseReflection>());
    model->SetReflectionLaw(law.get());
    TFuzzStream out;
    out.Known = kKnown;
    model->Save(&out);
    WriteSeed(Folder + "/record.bin", 1, std::string(out.Bytes.begin(), out.Bytes.end()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartEngineUnits();
    RegisterRTDClass(&TSCustomPointConstruction3D::ClassInfo);
    RegisterRTDClass(&TSTiesConstruction3D::ClassInfo);
    if (const char* seeds = std::getenv("MODEL_FUZZ_SEEDS"))
        WriteSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    if ((Data[0] & 1) == 0) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(bytes.substr(start, end - start));
        lines.push_back(bytes.substr(start));
        std::unique_ptr<TSTiesConstruction3D> model(TSObject::Create<TSTiesConstruction3D>());
        try {
            model->LoadFromStrings(lines);
        } catch (const ELibraryError&) {
            return 0;
        }
        CheckRoundTrip(model.get());
        return 0;
    }
    std::unique_ptr<TSObject> loaded;
    try {
        TFuzzStream header;
        WriteStreamString(&header, "TSTiesConstruction3D");
        const auto size = static_cast<std::int32_t>(bytes.size());
        header.Write(&size, 4);
        header.Write(bytes.data(), size);
        loaded = Read(header.Bytes);
    } catch (const ELibraryError&) {
        return 0;
    }
    if (loaded)
        CheckRoundTrip(loaded.get());
    return 0;
}
