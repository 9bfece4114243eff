#include "engine3d/files/SProject.h"

#include "engine3d/model/GeneralProc.h"
#include "engine3d/model/PlatformCall.h"

#include "platform/errors/Exception.h"
#include "platform/files/MappedFile.h"
#include "platform/files/ReplacingFile.h"
#include "platform/resources/StringTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

namespace {

const plat::StringEntry kStrings[] = {
    {sInvalidProjectFormat, "Invalid Halcyte Project file format"},
    {sCantLoadObject, "Can't Load Object "},
    {sCantLinkAs, "Can't Link As \"%s\""},
    {sInvalidControlSum, "Invalid control sum"},
    {sLayoutExceeded, "Project data differ from their measured size"},
    {sProjectTooLarge, "Project too large for its file"},
    {sNestedTooDeep, "Objects nested too deep"},
    {sNoLayout, "Project file layout not computed"},
    {sStartingSave, "Starting Save Project ..."},
    {sSavePreparation, "Save Project Preparation ..."},
    {sSaveHeader, "Save Project Header ..."},
    {sSaveObjectsHeader, "Save Project Objects Header ..."},
    {sSaveObjects, "Save Project Objects ..."},
    {sFinishingSave, "Finishing Save Project ..."},
    {sStartingLoad, "Starting Load Project ..."},
    {sLoadHeader, "Load Project Header ..."},
    {sLoadObjectsHeader, "Load Project Objects Header ..."},
    {sLoadObjects, "Load Project Objects ..."},
    {sFinishingLoad, "Finishing Load Project ..."},
};

constexpr char kProjectClassName[] = "TSProject";
constexpr std::int32_t kMaxModules = 4095;
// A class table node: child count, class id, object count, name length.
constexpr std::int32_t kClassNodeSize = 16;
// Class hierarchies are shallow; a deeper table is damage, and refusing it
// keeps the recursive walks over the tree bounded.
constexpr int kMaxClassDepth = 256;
constexpr std::int64_t kMaxFileSize = std::numeric_limits<std::int32_t>::max();

std::atomic<TSObjectsList*> gProjects{nullptr};

[[noreturn]] void ThrowFormat()
{
    throw EStreamError(EngineString(sInvalidProjectFormat));
}

[[noreturn]] void ThrowLayout(unsigned Id)
{
    throw EInvalidOperation(EngineString(Id));
}

void Report(TSThread* Thread, unsigned Id)
{
    if (Thread != nullptr)
        Thread->SetMessage(EngineString(Id));
}

std::string Substitute(std::string Text, const std::string& Value)
{
    const auto at = Text.find("%s");
    if (at != std::string::npos)
        Text.replace(at, 2, Value);
    return Text;
}

std::int32_t StreamLength(const std::string& S)
{
    return static_cast<std::int32_t>(std::min<std::size_t>(S.size(), MaxStreamString));
}

// A little-endian writer into a growing byte block.
class BlockWriter {
public:
    explicit BlockWriter(std::vector<unsigned char>& Out) : m_out(Out) {}
    unsigned char* Reserve(std::size_t Count)
    {
        const std::size_t at = m_out.size();
        m_out.resize(at + Count);
        return m_out.data() + at;
    }
    void Bytes(const void* Data, std::size_t Count)
    {
        if (Count > 0)
            std::memcpy(Reserve(Count), Data, Count);
    }
    void Int(std::int32_t Value) { Bytes(&Value, 4); }
    void String(const std::string& S) { StringToBuffer(Reserve(static_cast<std::size_t>(StreamLength(S)) + 4), S); }

private:
    std::vector<unsigned char>& m_out;
};

// A reader of a byte block that refuses, as a damaged file, anything that
// would go past its end.
class BlockReader {
public:
    // Reads Data from At up to End, both checked by the caller.
    BlockReader(const unsigned char* Data, std::int64_t At, std::int64_t End) : m_data(Data), m_at(At), m_end(End) {}
    std::int64_t Left() const { return m_end - m_at; }
    std::int64_t At() const { return m_at; }
    std::int32_t Int()
    {
        std::int32_t value = 0;
        std::memcpy(&value, Take(4), 4);
        return value;
    }
    const unsigned char* Take(std::int64_t Count)
    {
        if (Count < 0 || Count > Left())
            ThrowFormat();
        const unsigned char* at = m_data + m_at;
        m_at += Count;
        return at;
    }
    std::string String()
    {
        std::string s;
        m_at += StringFromBuffer(m_data + m_at, Left(), s);
        return s;
    }

private:
    const unsigned char* m_data;
    std::int64_t m_at;
    std::int64_t m_end;
};

TSDataBranch* DataChild(const TSBranch* Node, std::int32_t Index)
{
    return dynamic_cast<TSDataBranch*>(Node->GetChild(Index));
}

std::int64_t ClassTableSize(const TSDataBranch* Node)
{
    std::int64_t size = kClassNodeSize + static_cast<std::int64_t>(Node->Name().size());
    for (std::int32_t i = 0; i < Node->Count(); ++i)
        if (const TSDataBranch* child = DataChild(Node, i))
            size += ClassTableSize(child);
    return size;
}

std::int32_t DataChildCount(const TSBranch* Node)
{
    std::int32_t n = 0;
    for (std::int32_t i = 0; i < Node->Count(); ++i)
        if (DataChild(Node, i) != nullptr)
            ++n;
    return n;
}

// Size of a module record after its R field; modules carry no version data here,
// as Linux keeps no version resource in a file.
std::int64_t ModuleRecordSize(const std::string& Name)
{
    return 4 + StreamLength(Name) + 4;
}

std::string ParamsText(const TSThreadParams* Params)
{
    std::string text(reinterpret_cast<const char*>(Params->Data()), static_cast<std::size_t>(Params->Size()));
    // A name handed over with its terminator ends there.
    if (const auto zero = text.find('\0'); zero != std::string::npos)
        text.resize(zero);
    return text;
}

std::string FullPathOf(const std::string& Name)
{
    std::string full = plat::MappedFile::FullPath(Name);
    if (full.empty())
        RaiseOSError(ENOENT, Name);
    return full;
}

// Runs Body within Operation begun on Project. The operation ends whatever
// happened within it; an error of Body or of the end is kept in Failure, the
// first one winning. An error of the beginning passes on.
template <class Body>
void RunOperation(TSProject& Project, std::int32_t Operation, std::exception_ptr& Failure, Body&& Run)
{
    Project.Process(ocBeginOperation, Operation);
    try {
        Run();
    } catch (...) {
        Failure = std::current_exception();
    }
    try {
        Project.Process(ocEndOperation, Operation);
    } catch (...) {
        if (!Failure)
            Failure = std::current_exception();
    }
}

}  // namespace

void SProjectInitialization()
{
    plat::RegisterStrings(kHalcyteModule, kStrings, std::size(kStrings));
    gProjects.store(new TSObjectsList("Global List of SProjects"));
    RegisterRTDClass(&TSProject::ClassInfo);
}

void SProjectFinalization()
{
    UnregisterRTDClass(&TSProject::ClassInfo);
    delete gProjects.exchange(nullptr);
    plat::UnregisterStrings(kStrings);
}

TSObjectsList* GlobalProjectsList()
{
    return gProjects.load();
}

// ---------------------------------------------------------------------------
// TSProject

constinit const TSClassInfo TSProject::ClassInfo{"TSProject", &TSCustomChangeObject::ClassInfo,
                                                 &TSNewObject<TSProject>};

void TSProject::Initialize()
{
    TSCustomChangeObject::Initialize();
    m_versionMajor = 1;
    m_versionMinor = 0;
    m_description = "This project is empty";
    m_classTree.reset(TSDataBranch::Create("TSObject", &TSObject::ClassInfo));
    m_moduleList.reset(TSDataBranch::Create("Modules"));
    if (TSObjectsList* projects = GlobalProjectsList())
        projects->Add(this);
}

void TSProject::BeforeDestruction() noexcept
{
    try {
        if (TSObjectsList* projects = GlobalProjectsList())
            projects->Remove(this);
    } catch (...) {
        // Leaving the register must not keep the object alive.
    }
    TSCustomChangeObject::BeforeDestruction();
}

TSProject::~TSProject()
{
    ClearMaps();
}

std::string TSProject::Description() const
{
    Lock();
    std::string text = m_description;
    Unlock();
    return text;
}

void TSProject::SetDescription(const std::string& Text)
{
    Lock();
    m_description = Text;
    Unlock();
}

std::string TSProject::FileName() const
{
    Lock();
    std::string name = m_fileName;
    Unlock();
    return name;
}

std::int32_t TSProject::ReadDescription(const void* Buffer, std::int32_t Size)
{
    std::string text;
    const std::int32_t bytes = StringFromBuffer(Buffer, Size, text);
    SetDescription(text);
    return bytes;
}

std::int32_t TSProject::WriteDescription(void* Buffer)
{
    return StringToBuffer(Buffer, Description());
}

void TSProject::CollectModules(TSDataBranch* ModuleList)
{
    if (ModuleList != nullptr)
        ModuleList->SetCount(0);
}

std::int32_t TSProject::CheckModule(const std::string&, const void*, std::int32_t)
{
    return 0;
}

std::int32_t TSProject::WriteObjectsHeader(TSObjectsStream*)
{
    return 0;
}

std::int32_t TSProject::ReadObjectsHeader(TSObjectsStream*)
{
    return 0;
}

std::int32_t TSProject::WriteObjects(TSObjectsStream*)
{
    return 0;
}

std::int32_t TSProject::ReadObjects(TSObjectsStream*)
{
    return 0;
}

bool TSProject::IsForeignStream(TSObjectsStream* Stream)
{
    TSProject* owner = Stream->GetProject();
    return owner != nullptr && owner != this;
}

void TSProject::ClearMaps()
{
    m_classMap.clear();
    m_classIndex.clear();
    m_objectMap.clear();
    m_objectIndex.clear();
}

void TSProject::ResetClassTree()
{
    std::lock_guard guard(TreeLock());
    m_classTree->SetCount(0);
    m_classTree->SetName("TSObject");
    m_classTree->SetData(&TSObject::ClassInfo);
    m_classTree->SetTag(0);
}

void TSProject::EnterClass(TSClass Class)
{
    if (Class == nullptr || !Class->InheritsFrom(&TSObject::ClassInfo))
        return;
    std::lock_guard guard(TreeLock());
    // The class's node, made below that of its parent class when missing.
    auto nodeOf = [this](auto& self, TSClass Of) -> TSDataBranch* {
        if (Of == &TSObject::ClassInfo)
            return m_classTree.get();
        if (TSDataBranch* node = m_classTree->FindByData(Of))
            return node;
        TSDataBranch* parent = self(self, Of->Parent);
        TSDataBranch* node = TSDataBranch::Create(Of->Name, Of);
        parent->AddChild(node);
        return node;
    };
    for (TSBranch* node = nodeOf(nodeOf, Class); node != nullptr; node = node->Parent())
        if (auto* data = dynamic_cast<TSDataBranch*>(node))
            data->SetTag(data->Tag() + 1);
}

std::uint32_t TSProject::SavedClassId(TSClass Class) const
{
    const auto found = m_saveClassIds.find(Class);
    // A class the counting run did not meet: the two runs wrote different objects.
    if (found == m_saveClassIds.end())
        ThrowLayout(sLayoutExceeded);
    return found->second;
}

std::int64_t TSProject::ComputeLayout(TSProjectLayout& Layout)
{
    ClearMaps();
    ResetClassTree();
    m_moduleList->SetCount(0);
    TSProjectStream counter(this, nullptr);
    CollectModules(m_moduleList.get());
    const std::int64_t d = WriteDescription(nullptr);
    const std::int64_t h = WriteObjectsHeader(&counter);
    const std::int64_t o = WriteObjects(&counter);
    if (d < 0 || h < 0 || o < 0)
        return -1;

    std::int64_t m = 4;
    std::int32_t modules = 0;
    {
        std::lock_guard guard(TreeLock());
        for (std::int32_t i = 0; i < m_moduleList->Count(); ++i)
            if (const TSDataBranch* module = DataChild(m_moduleList.get(), i)) {
                m += 4 + ModuleRecordSize(module->Name());
                ++modules;
            }
    }
    if (modules > kMaxModules)
        return -1;
    const std::int64_t t = ClassTableSize(m_classTree.get());

    std::string path;
    ProjectClassPath(ClassType(), path);
    const std::int64_t header = 36 + StreamLength(path) + StreamLength(Name()) + d + m + t;
    const std::int64_t total = header + 8 + h + o;
    if (total > kMaxFileSize)
        return -1;
    Layout = {static_cast<std::int32_t>(header), static_cast<std::int32_t>(d), static_cast<std::int32_t>(m),
              static_cast<std::int32_t>(t),      static_cast<std::int32_t>(h), static_cast<std::int32_t>(o)};
    return total;
}

void TSProject::BuildHeader(std::vector<unsigned char>& Out)
{
    const TSProjectLayout& layout = *m_layout;
    BlockWriter out(Out);
    out.Bytes(kProjectMagic, sizeof kProjectMagic);
    out.Int(m_versionMajor);
    out.Int(m_versionMinor);
    std::string path;
    ProjectClassPath(ClassType(), path);
    out.String(path);
    out.String(Name());

    // The description is measured again right before it is written, under the
    // lock that its setter takes, so the block never overruns.
    const std::int32_t d = WriteDescription(nullptr);
    if (d != layout.D)
        ThrowLayout(sLayoutExceeded);
    out.Int(d);
    WriteDescription(out.Reserve(static_cast<std::size_t>(d)));

    std::lock_guard guard(TreeLock());
    out.Int(layout.M);
    out.Int(DataChildCount(m_moduleList.get()));
    for (std::int32_t i = 0; i < m_moduleList->Count(); ++i)
        if (const TSDataBranch* module = DataChild(m_moduleList.get(), i)) {
            out.Int(static_cast<std::int32_t>(ModuleRecordSize(module->Name())));
            out.String(module->Name());
            out.Int(0);
        }

    // The class table, depth first; each class is numbered by its place in it.
    m_saveClassIds.clear();
    out.Int(layout.T);
    std::uint32_t nextId = 1;
    auto writeNode = [&](auto& self, const TSDataBranch* Node) -> void {
        const std::uint32_t id = nextId++;
        m_saveClassIds.emplace(Node->Data().AsClass(), id);
        const std::string name = Node->Name();
        out.Int(DataChildCount(Node));
        out.Bytes(&id, 4);
        out.Int(Node->Tag());
        out.Int(static_cast<std::int32_t>(name.size()));
        out.Bytes(name.data(), name.size());
        for (std::int32_t i = 0; i < Node->Count(); ++i)
            if (const TSDataBranch* child = DataChild(Node, i))
                self(self, child);
    };
    writeNode(writeNode, m_classTree.get());
    if (Out.size() != static_cast<std::size_t>(layout.HeaderSize))
        ThrowLayout(sLayoutExceeded);
}

std::int32_t TSProject::Save(TSObjectsStream* Stream)
{
    // A project is the frame of its file, never a record inside another's.
    if (Stream == nullptr || IsForeignStream(Stream))
        return -1;
    if (!m_layout)
        ThrowLayout(sNoLayout);
    const TSProjectLayout layout = *m_layout;
    ClearMaps();
    TSThread* thread = Stream->GetThread();

    Report(thread, sSaveHeader);
    std::vector<unsigned char> header;
    Lock();
    try {
        BuildHeader(header);
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
    Stream->Write(header.data(), static_cast<std::int32_t>(header.size()));

    // Each block must come out exactly as measured, or the sizes written in
    // front of the blocks would lie.
    auto block = [&](std::int32_t Size, auto Writer) {
        Stream->Write(&Size, 4);
        const std::int32_t start = Stream->GetPosition();
        const std::int32_t written = (this->*Writer)(Stream);
        if (written != Size || Stream->GetPosition() - start != Size)
            ThrowLayout(sLayoutExceeded);
    };
    Report(thread, sSaveObjectsHeader);
    block(layout.H, &TSProject::WriteObjectsHeader);
    Report(thread, sSaveObjects);
    if (thread != nullptr)
        thread->SetRange(0, m_classTree->Tag(), 0);
    block(layout.O, &TSProject::WriteObjects);
    return layout.HeaderSize + 8 + layout.H + layout.O;
}

void TSProject::ParseModules(const unsigned char* Block, std::int32_t Size)
{
    BlockReader in(Block, 0, Size);
    const std::int32_t count = in.Int();
    if (count < 0 || count > kMaxModules)
        ThrowFormat();
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t rest = in.Int();
        if (rest < 0 || rest > in.Left())
            ThrowFormat();
        BlockReader record(Block, in.At(), in.At() + rest);
        const std::int64_t nameStart = record.At();
        const std::string name = record.String();
        const std::int64_t nameBytes = record.At() - nameStart;
        const std::int32_t versionSize = record.Int();
        if (versionSize < 0 || rest < nameBytes + versionSize + 4)
            ThrowFormat();
        const unsigned char* version = record.Take(versionSize);
        m_moduleList->AddChild(TSDataBranch::Create(name));
        CheckModule(name, version, versionSize);
        in.Take(rest);
    }
}

void TSProject::ParseClassTable(const unsigned char* Block, std::int32_t Size)
{
    BlockReader in(Block, 0, Size);
    std::lock_guard guard(TreeLock());
    auto readNode = [&](auto& self, TSDataBranch* Node, int Depth) -> void {
        if (Depth > kMaxClassDepth)
            ThrowFormat();
        const std::int32_t children = in.Int();
        std::uint32_t id = 0;
        std::memcpy(&id, in.Take(4), 4);
        const std::int32_t objects = in.Int();
        const std::int32_t nameLength = in.Int();
        if (children < 0 || nameLength < 0)
            ThrowFormat();
        const auto* name = reinterpret_cast<const char*>(in.Take(nameLength));
        // Every child needs a node record: a count beyond that is damage, and
        // is refused before any node is made for it.
        if (children > in.Left() / kClassNodeSize)
            ThrowFormat();
        Node->SetName(std::string(name, static_cast<std::size_t>(nameLength)));
        Node->SetData(static_cast<std::int32_t>(id));
        Node->SetTag(objects);
        for (std::int32_t i = 0; i < children; ++i) {
            TSDataBranch* child = TSDataBranch::Create("");
            Node->AddChild(child);
            self(self, child, Depth + 1);
        }
    };
    readNode(readNode, m_classTree.get(), 0);
}

void TSProject::BuildClassMap()
{
    m_classMap.clear();
    m_classIndex.clear();
    std::lock_guard guard(TreeLock());
    TSDataBranch* registered = FindRTDClassNode(&TSObject::ClassInfo);
    if (registered == nullptr)
        return;
    auto match = [this](auto& self, const TSDataBranch* Saved, const TSDataBranch* Registered) -> void {
        const auto id = static_cast<std::uint32_t>(Saved->Data().Value);
        TSClass cls = Registered->Data().AsClass();
        // Identity 0 stands for a nil object and never names a class.
        if (id != 0 && cls != nullptr) {
            m_classMap.push_back({id, cls, Saved->Name()});
            m_classIndex.try_emplace(id, m_classMap.size() - 1);
        }
        for (std::int32_t i = 0; i < Saved->Count(); ++i)
            if (const TSDataBranch* child = DataChild(Saved, i))
                if (const TSDataBranch* twin = Registered->FindChildByName(child->Name(), false))
                    self(self, child, twin);
    };
    match(match, m_classTree.get(), registered);
}

const TSClassMapEntry* TSProject::FindClassEntry(std::uint32_t SavedId) const
{
    const auto found = m_classIndex.find(SavedId);
    return found == m_classIndex.end() ? nullptr : &m_classMap[found->second];
}

TSObject* TSProject::FindMappedObject(std::uint32_t SavedId) const
{
    const auto found = m_objectIndex.find(SavedId);
    return found == m_objectIndex.end() ? nullptr : m_objectMap[found->second].Object;
}

void TSProject::AddMappedObject(std::uint32_t SavedId, TSObject* Object)
{
    if (SavedId == 0)
        return;
    m_objectMap.push_back({SavedId, Object});
    m_objectIndex.try_emplace(SavedId, m_objectMap.size() - 1);
}

void TSProject::TruncateObjectMap(std::size_t Count)
{
    while (m_objectMap.size() > Count) {
        const auto found = m_objectIndex.find(m_objectMap.back().SavedId);
        if (found != m_objectIndex.end() && found->second == m_objectMap.size() - 1)
            m_objectIndex.erase(found);
        m_objectMap.pop_back();
    }
}

void TSProject::ForgetMappedObject(const TSObject* Object)
{
    for (TSObjectMapEntry& entry : m_objectMap)
        if (entry.Object == Object)
            entry.Object = nullptr;
}

std::string TSProject::ControlSumText(const TObject* Object) const
{
    std::string path;
    ProjectClassPath(ClassType(), path);
    return path + "\n\r" + Name() + "\n\r" + ObjectCaption(Object) + "\n\r" + EngineString(sInvalidControlSum);
}

std::int32_t TSProject::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return 0;
    if (IsForeignStream(Stream))
        return -1;
    auto* stream = dynamic_cast<TSProjectStream*>(Stream);
    TSThread* thread = Stream->GetThread();
    Report(thread, sLoadHeader);
    ClearMaps();
    {
        std::lock_guard guard(TreeLock());
        m_classTree->SetCount(0);
        m_moduleList->SetCount(0);
    }
    // Bytes that a size read from the file may claim.
    auto remaining = [stream] { return stream ? stream->Remaining() : kMaxFileSize; };
    auto readSize = [&] {
        std::int32_t size = 0;
        Stream->Read(&size, 4);
        if (size < 0 || size > remaining())
            ThrowFormat();
        return size;
    };
    auto readBlock = [&](std::vector<unsigned char>& Out) {
        Out.resize(static_cast<std::size_t>(readSize()));
        if (!Out.empty())
            Stream->Read(Out.data(), static_cast<std::int32_t>(Out.size()));
        return static_cast<std::int32_t>(Out.size());
    };
    // Blocks H and O are read from the stream, confined to the block; the next
    // one starts where the block ends, whatever its reader consumed.
    auto readObjectsBlock = [&](auto Reader) {
        const std::int32_t size = readSize();
        const std::int32_t start = Stream->GetPosition();
        std::optional<TSProjectStream::Block> block;
        if (stream != nullptr)
            block.emplace(*stream, size);
        const std::int32_t read = (this->*Reader)(Stream);
        if (read > size)
            ThrowFormat();
        Stream->SetPosition(start + size);
    };

    try {
        char magic[sizeof kProjectMagic];
        Stream->Read(magic, sizeof magic);
        if (std::memcmp(magic, kProjectMagic, sizeof magic) != 0)
            ThrowFormat();
        std::int32_t version[2] = {};
        Stream->Read(version, sizeof version);
        Lock();
        m_versionMajor = version[0];
        m_versionMinor = version[1];
        Unlock();
        std::string path;
        std::string name;
        ReadStreamString(Stream, path);
        ReadStreamString(Stream, name);
        SetName(name);

        std::vector<unsigned char> buffer;
        std::int32_t size = readBlock(buffer);
        const std::int32_t used = ReadDescription(buffer.data(), size);
        if (used < 0 || used > size)
            ThrowFormat();
        size = readBlock(buffer);
        ParseModules(buffer.data(), size);
        size = readBlock(buffer);
        ParseClassTable(buffer.data(), size);

        Report(thread, sLoadObjectsHeader);
        readObjectsBlock(&TSProject::ReadObjectsHeader);

        Report(thread, sLoadObjects);
        if (thread != nullptr)
            thread->SetRange(0, m_classTree->Tag(), 0);
        BuildClassMap();
        readObjectsBlock(&TSProject::ReadObjects);
    } catch (...) {
        // Objects read so far may be gone with the failed load; none may be
        // found through the map any more.
        TruncateObjectMap(0);
        throw;
    }
    return 0;
}

void TSProject::SaveToFileName(const std::string& FileName)
{
    TSThreadParams params;
    params.SetData(FileName.data(), static_cast<std::int32_t>(FileName.size()));
    SaveToFile(nullptr, &params);
}

void TSProject::LoadFromFileName(const std::string& FileName)
{
    TSThreadParams params;
    params.SetData(FileName.data(), static_cast<std::int32_t>(FileName.size()));
    LoadFromFile(nullptr, &params);
}

void TSProject::SaveToFile(TSThread* Thread, TSThreadParams* Params)
{
    if (Params == nullptr)
        return;
    Report(Thread, sStartingSave);
    const std::string path = FullPathOf(ParamsText(Params));
    Lock();
    m_fileName = path;
    Unlock();
    auto stream = std::make_unique<TSProjectStream>(this, Thread);
    std::exception_ptr failure;
    try {
        RunOperation(*this, ocSave, failure, [&] {
            Report(Thread, sSavePreparation);
            TSProjectLayout layout;
            const std::int64_t total = ComputeLayout(layout);
            if (total < 0)
                throw EInvalidOperation("");
            m_layout = layout;
            auto size = static_cast<std::int32_t>(total);
            stream->Open(path, pmCreate, size);
            const std::int32_t written = Process(ocSave, reinterpret_cast<TSParam>(stream.get()));
            if (written != size || stream->GetPosition() != size)
                ThrowLayout(sLayoutExceeded);
            Report(Thread, sFinishingSave);
            stream->Commit();
        });
    } catch (...) {
        failure = std::current_exception();
    }
    m_layout.reset();
    Lock();
    m_fileName.clear();
    Unlock();
    // Unmaps, and removes the temporary file of a save that did not complete.
    stream.reset();
    if (failure)
        std::rethrow_exception(failure);
}

void TSProject::LoadFromFile(TSThread* Thread, TSThreadParams* Params)
{
    if (Params == nullptr)
        return;
    Report(Thread, sStartingLoad);
    const std::string path = FullPathOf(ParamsText(Params));
    Lock();
    m_fileName = path;
    Unlock();
    auto stream = std::make_unique<TSProjectStream>(this, Thread);
    std::exception_ptr failure;
    try {
        std::int32_t size = 0;
        stream->Open(path, pmOpen, size);
        RunOperation(*this, ocLoad, failure, [&] {
            const auto param = reinterpret_cast<TSParam>(stream.get());
            Process(ocLoad, param);
            Process(ocLink, param);
            Report(Thread, sFinishingLoad);
        });
    } catch (...) {
        failure = std::current_exception();
    }
    stream.reset();
    Lock();
    m_fileName.clear();
    Unlock();
    if (failure)
        std::rethrow_exception(failure);
}

// ---------------------------------------------------------------------------
// TSProjectStream

constinit const TSClassInfo TSProjectStream::ClassInfo{"TSProjectStream", &TSObjectsStream::ClassInfo, nullptr};

TSProjectStream::TSProjectStream(TSProject* Project, TSThread* Thread) : m_project(Project), m_thread(Thread) {}

TSProjectStream::~TSProjectStream()
{
    Close();
}

bool TSProjectStream::HasView() const
{
    return m_view != nullptr && static_cast<bool>(*m_view);
}

void TSProjectStream::FormatError() const
{
    ThrowFormat();
}

void TSProjectStream::Open(const std::string& FileName, std::int32_t Mode, std::int32_t& Size)
{
    Close();
    if (Mode == pmCreate) {
        if (Size <= 0)
            RaiseOSError(EINVAL, FileName);
        std::unique_ptr<plat::ReplacingFile> created;
        PlatformCall(
            [&] {
                created = std::make_unique<plat::ReplacingFile>(FileName);
                // Mapped with its space reserved: a full disk fails here, not as a
                // signal in the middle of the save.
                created->Map(Size, false);
            },
            FileName);
        m_created = std::move(created);
        m_view = &m_created->View();
    } else if (Mode == pmOpen) {
        struct stat st {};
        if (::stat(FileName.c_str(), &st) != 0)
            RaiseOSError(errno, FileName);
        if (!S_ISREG(st.st_mode))
            RaiseOSError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, FileName);
        if (st.st_size <= 0 || st.st_size > kMaxFileSize)
            ThrowFormat();
        errno = 0;
        auto view = std::make_unique<plat::MappedFile>(plat::MappedFile::Open(FileName, 0, false));
        if (!*view)
            RaiseOSError(errno, FileName);
        Size = static_cast<std::int32_t>(view->Length());
        m_loaded = std::move(view);
        m_view = m_loaded.get();
    } else {
        RaiseOSError(EINVAL, FileName);
    }
    m_mappedSize = Size;
    m_position = 0;
    m_limits.clear();
}

void TSProjectStream::Commit()
{
    if (!m_created)
        return;
    // Flushed to disk and renamed over the target.
    PlatformCall([this] { m_created->Commit(); }, m_created->Target());
    Close();
}

void TSProjectStream::Close()
{
    m_view = nullptr;
    m_loaded.reset();
    m_created.reset();
    m_mappedSize = 0;
    m_limits.clear();
}

std::int64_t TSProjectStream::Limit() const
{
    return m_limits.empty() ? m_mappedSize : m_limits.back();
}

std::int64_t TSProjectStream::Remaining() const
{
    if (!HasView())
        return kMaxFileSize;
    return std::max<std::int64_t>(0, Limit() - m_position);
}

TSProjectStream::Block::Block(TSProjectStream& Stream, std::int64_t Size) : m_stream(Stream)
{
    if (Size < 0 || Size > Stream.Remaining())
        ThrowFormat();
    m_end = Stream.m_position + Size;
    Stream.m_limits.push_back(m_end);
}

TSProjectStream::Block::~Block()
{
    m_stream.m_limits.pop_back();
}

void TSProjectStream::SetPosition(std::int32_t Position)
{
    m_position = Position;
}

std::int32_t TSProjectStream::GetPosition()
{
    return static_cast<std::int32_t>(m_position);
}

void TSProjectStream::Read(void* Buffer, std::int32_t Count)
{
    if (Count < 0)
        FormatError();
    if (!HasView()) {
        m_position += Count;
        return;
    }
    if (m_position < 0 || Count > Limit() - m_position)
        FormatError();
    std::memcpy(Buffer, static_cast<const unsigned char*>(m_view->Data()) + m_position,
                static_cast<std::size_t>(Count));
    m_position += Count;
}

void TSProjectStream::Write(const void* Buffer, std::int32_t Count)
{
    if (Count < 0)
        ThrowLayout(sLayoutExceeded);
    if (!HasView()) {
        if (m_position + Count > kMaxFileSize)
            ThrowLayout(sProjectTooLarge);
        m_position += Count;
        return;
    }
    // Only a created file is written; it never grows beyond what was measured.
    if (!m_view->Writable() || m_position < 0 || Count > m_mappedSize - m_position)
        ThrowLayout(sLayoutExceeded);
    std::memcpy(static_cast<unsigned char*>(m_view->Data()) + m_position, Buffer, static_cast<std::size_t>(Count));
    m_position += Count;
}

std::uint32_t TSProjectStream::ObjectIdentity(TSObject* Object)
{
    if (Object == nullptr)
        return 0;
    const auto [at, added] = m_objectIds.try_emplace(Object, m_nextObjectId);
    if (added && ++m_nextObjectId == 0)
        m_nextObjectId = 1;
    return at->second;
}

std::int32_t TSProjectStream::WriteObject(TSObject* Object)
{
    if (m_nesting >= MaxNesting)
        ThrowLayout(sNestedTooDeep);
    const std::int64_t start = m_position;
    std::uint32_t header[3] = {};
    Write(header, 12);
    std::int64_t size = 12;
    if (Object != nullptr) {
        ++m_nesting;
        try {
            size += Object->Process(ocSave, reinterpret_cast<TSParam>(this));
        } catch (...) {
            --m_nesting;
            throw;
        }
        --m_nesting;
    }
    if (start + size != m_position)
        throw EStreamError(m_project ? m_project->ControlSumText(Object)
                                     : ObjectCaption(Object) + "\n\r" + EngineString(sInvalidControlSum));
    if (HasView()) {
        if (Object != nullptr) {
            header[0] = m_project ? m_project->SavedClassId(Object->ClassType()) : 0;
            header[1] = ObjectIdentity(Object);
            header[2] = static_cast<std::uint32_t>(size - 12);
        }
        std::memcpy(static_cast<unsigned char*>(m_view->Data()) + start, header, sizeof header);
    } else if (m_project != nullptr && Object != nullptr) {
        m_project->EnterClass(Object->ClassType());
    }
    if (m_thread != nullptr)
        m_thread->Step(1);
    return static_cast<std::int32_t>(size);
}

std::int32_t TSProjectStream::ReadObject(TSObject*& Object, TSClass ExpectedClass)
{
    if (m_project == nullptr || !HasView())
        return 0;
    if (ExpectedClass == nullptr)
        ExpectedClass = &TSObject::ClassInfo;
    const std::int64_t start = m_position;
    std::uint32_t header[3] = {};
    Read(header, sizeof header);
    const auto size = static_cast<std::int32_t>(header[2]);
    if (size < 0 || size > Remaining())
        FormatError();
    const std::int64_t end = m_position + size;
    std::int64_t result = 12 + static_cast<std::int64_t>(size);

    TSObject* made = nullptr;
    if (const TSClassMapEntry* entry = m_project->FindClassEntry(header[0])) {
        if (!entry->Class->InheritsFrom(ExpectedClass)) {
            m_position = end;
            throw EStreamError(EngineString(sCantLoadObject) + "\n\r" + " \"" + entry->SavedName + "\" As \"" +
                               ExpectedClass->Name + "\"");
        }
        if (m_nesting >= MaxNesting)
            FormatError();
        // A class that cannot be made by reference is skipped like an unknown one.
        made = TSObject::Create(entry->Class, nullptr);
        if (made != nullptr) {
            const std::size_t mapped = m_project->m_objectMap.size();
            ++m_nesting;
            try {
                Block record(*this, size);
                made->Process(ocBeginOperation, ocLoad);
                result = 12 + static_cast<std::int64_t>(made->Process(ocLoad, reinterpret_cast<TSParam>(this)));
                if (start + result != end || m_position != end)
                    throw EStreamError(m_project->ControlSumText(made));
            } catch (...) {
                --m_nesting;
                m_project->TruncateObjectMap(mapped);
                delete made;
                m_position = end;
                throw;
            }
            --m_nesting;
            m_project->AddMappedObject(header[1], made);
        }
    }
    // A skipped record answers the bytes it occupies, so that the record
    // holding it still adds up.
    m_position = end;
    if (Object != nullptr) {
        m_project->ForgetMappedObject(Object);
        delete Object;
    }
    Object = made;
    if (m_thread != nullptr)
        m_thread->Step(1);
    return static_cast<std::int32_t>(result);
}

TSObject* TSProjectStream::FindObject(std::uint32_t SavedId, TSClass ExpectedClass)
{
    if (m_project == nullptr || SavedId == 0)
        return nullptr;
    TSObject* object = m_project->FindMappedObject(SavedId);
    if (object != nullptr && ExpectedClass != nullptr && !object->InheritsFrom(ExpectedClass))
        throw EStreamError(ObjectCaption(object) + "\n\r" + Substitute(EngineString(sCantLinkAs), ExpectedClass->Name));
    return object;
}

// ---------------------------------------------------------------------------
// Project classes and the factory

void ProjectClassPath(TSClass Class, std::string& Path)
{
    if (Class == nullptr || !Class->InheritsFrom(&TSProject::ClassInfo)) {
        Path.clear();
        return;
    }
    if (Class == &TSProject::ClassInfo) {
        Path = kProjectClassName;
        return;
    }
    ProjectClassPath(Class->Parent, Path);
    Path += '.';
    Path += Class->Name;
}

TSClass ResolveProjectClass(const std::string& Path)
{
    constexpr std::size_t prefix = sizeof kProjectClassName - 1;
    if (Path.size() < prefix || !SameText(std::string_view(Path).substr(0, prefix), kProjectClassName))
        return nullptr;
    if (Path.size() == prefix)
        return &TSProject::ClassInfo;
    if (Path[prefix] != '.' || Path.size() == prefix + 1)
        return nullptr;
    TSClass found = &TSProject::ClassInfo;
    std::lock_guard guard(TreeLock());
    const TSDataBranch* node = FindRTDClassNode(found);
    std::string_view rest = std::string_view(Path).substr(prefix + 1);
    while (node != nullptr) {
        const std::size_t dot = rest.find('.');
        const TSDataBranch* child = node->FindChildByName(std::string(rest.substr(0, dot)), false);
        TSClass cls = child ? child->Data().AsClass() : nullptr;
        if (cls == nullptr)
            break;
        found = cls;
        node = child;
        if (dot == std::string_view::npos)
            break;
        rest.remove_prefix(dot + 1);
    }
    return found;
}

TSProject* CreateProjectFromFile(const std::string& FileName)
{
    std::string path;
    {
        TSProjectStream stream(nullptr, nullptr);
        std::int32_t size = 0;
        stream.Open(FullPathOf(FileName), pmOpen, size);
        char magic[sizeof kProjectMagic];
        stream.Read(magic, sizeof magic);
        if (std::memcmp(magic, kProjectMagic, sizeof magic) != 0)
            ThrowFormat();
        std::int32_t version[2];
        stream.Read(version, sizeof version);
        ReadStreamString(&stream, path);
    }
    TSClass cls = ResolveProjectClass(path);
    if (cls == nullptr || !cls->InheritsFrom(&TSProject::ClassInfo))
        ThrowFormat();
    std::unique_ptr<TSObject> made(TSObject::Create(cls, nullptr));
    auto* project = dynamic_cast<TSProject*>(made.get());
    if (project == nullptr)
        ThrowFormat();
    made.release();
    return project;
}

TSProject* FindProjectOfObject(TSObject* Object)
{
    TSObjectsList* projects = GlobalProjectsList();
    if (Object == nullptr || projects == nullptr)
        return nullptr;
    for (std::int32_t i = 0; i < projects->Count(); ++i) {
        auto* project = dynamic_cast<TSProject*>(projects->GetItem(i));
        if (project == nullptr)
            continue;
        TSHolderQuery query{Object, nullptr};
        if (project->Process(ocFindHolder, reinterpret_cast<TSParam>(&query)) > 0)
            return project;
    }
    return nullptr;
}
