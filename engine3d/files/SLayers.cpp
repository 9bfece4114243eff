#include "engine3d/files/SLayers.h"
#include "platform/errors/FaultGuard.h"

#include "format/RDPFile.h"
#include "format/RDPFileWalker.h"
#include "format/SampleConvert.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <type_traits>
#include <unistd.h>
#include <unordered_set>
#include <utility>

static_assert(sizeof(long double) >= 10 && LDBL_MANT_DIG == 64, "sample type 11 is the x87 extended float");

namespace {

// ---------------------------------------------------------------------------
// Sample types

struct SampleTypeRow {
    const char* Name;
    std::int32_t Size;
};

const SampleTypeRow kSampleTypes[kSampleTypeCount] = {
    {" Unknow ", 0},
    {" Unsigned Int 8-bit ", 1},
    {" Signed Int 8-bit ", 1},
    {" Unsigned Int 16-bit ", 2},
    {" Signed Int 16-bit ", 2},
    {" Unsigned Int 32-bit ", 4},
    {" Signed Int 32-bit ", 4},
    {" Unsigned Int 64-bit ", 8},
    {" Signed Int 64-bit ", 8},
    {" Float 32-bit ", 4},
    {" Float 64-bit ", 8},
    {" Float 80-bit ", 10},
};

// The 80-bit float is kept in a long double and stored in its first 10 bytes.
struct Float80 {
    long double Value = 0;
};

template <class T>
inline constexpr bool kIsFloat = std::is_floating_point_v<T> || std::is_same_v<T, Float80>;

template <class T>
struct TypeTag {
    using Type = T;
};

// Calls f(TypeTag<C>{}) with the C type of a layer sample type (1 to 11);
// false for any other.
template <class F>
bool DispatchLayerType(std::int32_t Type, F&& f)
{
    // clang-format off
    switch (Type) {
    case stUInt8: f(TypeTag<std::uint8_t>{}); return true;
    case stSInt8: f(TypeTag<std::int8_t>{}); return true;
    case stUInt16: f(TypeTag<std::uint16_t>{}); return true;
    case stSInt16: f(TypeTag<std::int16_t>{}); return true;
    case stUInt32: f(TypeTag<std::uint32_t>{}); return true;
    case stSInt32: f(TypeTag<std::int32_t>{}); return true;
    case stUInt64: f(TypeTag<std::uint64_t>{}); return true;
    case stSInt64: f(TypeTag<std::int64_t>{}); return true;
    case stFloat32: f(TypeTag<float>{}); return true;
    case stFloat64: f(TypeTag<double>{}); return true;
    case stFloat80: f(TypeTag<Float80>{}); return true;
    default: return false;
    }
    // clang-format on
}

// The layer type whose C type is C.
template <class C>
constexpr TSSampleType LayerTypeOf()
{
    if constexpr (std::is_same_v<C, std::uint8_t>)
        return stUInt8;
    else if constexpr (std::is_same_v<C, std::int8_t>)
        return stSInt8;
    else if constexpr (std::is_same_v<C, std::uint16_t>)
        return stUInt16;
    else if constexpr (std::is_same_v<C, std::int16_t>)
        return stSInt16;
    else if constexpr (std::is_same_v<C, std::uint32_t>)
        return stUInt32;
    else if constexpr (std::is_same_v<C, std::int32_t>)
        return stSInt32;
    else if constexpr (std::is_same_v<C, float>)
        return stFloat32;
    else if constexpr (std::is_same_v<C, double>)
        return stFloat64;
    else
        return stUnknown;
}

template <class C>
inline auto LoadValue(const unsigned char* p)
{
    if constexpr (std::is_same_v<C, Float80>) {
        long double v = 0;
        std::memcpy(&v, p, 10);
        return v;
    } else {
        return sample::Load<C>(p);
    }
}

template <class C, class V>
inline void StoreValue(unsigned char* p, V v)
{
    if constexpr (std::is_same_v<C, Float80>) {
        const long double x = v;
        std::memcpy(p, &x, 10);
    } else {
        sample::Store<C>(p, v);
    }
}

// A finite value beyond the narrower float's range becomes its infinity, as
// the processor's conversion gives; the language leaves it undefined.
template <class D>
inline auto NarrowFloat(long double v)
{
    if constexpr (std::is_same_v<D, Float80>) {
        return v;
    } else {
        constexpr long double top = std::numeric_limits<D>::max();
        if (v > top)
            return std::numeric_limits<D>::infinity();
        if (v < -top)
            return -std::numeric_limits<D>::infinity();
        return static_cast<D>(v);
    }
}

// Nearest 64-bit integer, ties to even; INT64_MIN for NaN, infinities and
// values that do not fit (the processor's "integer indefinite").
inline std::int64_t RoundToInt64(long double v)
{
    const long double r = std::nearbyint(v);
    if (r >= -9223372036854775808.0L && r < 9223372036854775808.0L)
        return static_cast<std::int64_t>(r);
    return INT64_MIN;
}

template <class D, class S>
inline void CastOne(unsigned char* dst, const unsigned char* src)
{
    if constexpr (kIsFloat<S>) {
        const long double v = LoadValue<S>(src);
        if constexpr (kIsFloat<D>)
            StoreValue<D>(dst, NarrowFloat<D>(v));
        else
            StoreValue<D>(dst, sample::LowBytes<D>(RoundToInt64(v)));
    } else if constexpr (kIsFloat<D>) {
        // Unsigned 64-bit values convert as unsigned: bit 63 is no sign there.
        using Wide = std::conditional_t<std::is_signed_v<S>, std::int64_t, std::uint64_t>;
        const Wide v = static_cast<Wide>(LoadValue<S>(src));
        if constexpr (std::is_same_v<D, Float80>)
            StoreValue<D>(dst, static_cast<long double>(v));
        else
            StoreValue<D>(dst, static_cast<D>(v));
    } else {
        const auto v = static_cast<std::int64_t>(LoadValue<S>(src));
        StoreValue<D>(dst, sample::LowBytes<D>(v));
    }
}

// n samples from src (every srcStep bytes, as S) to dst (every dstStep bytes,
// as D); one loop compiled per pair of types.
template <class D, class S>
void CastRun(unsigned char* dst, std::int64_t dstStep, const unsigned char* src, std::int64_t srcStep, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; ++i, dst += dstStep, src += srcStep)
        CastOne<D, S>(dst, src);
}

// CastRun dispatched on both types. A source type of 0 or below reads zeros.
void CastSamples(unsigned char* dst, std::int64_t dstStep, std::int32_t dstType, const unsigned char* src,
                 std::int64_t srcStep, std::int32_t srcType, std::int32_t n)
{
    if (srcType > stFloat80)
        return;
    static const std::int64_t zero = 0;
    if (srcType <= 0) {
        src = reinterpret_cast<const unsigned char*>(&zero);
        srcStep = 0;
        srcType = stSInt64;
    }
    DispatchLayerType(dstType, [&](auto d) {
        DispatchLayerType(srcType, [&](auto s) {
            CastRun<typename decltype(d)::Type, typename decltype(s)::Type>(dst, dstStep, src, srcStep, n);
        });
    });
}

std::string LowerAscii(std::string S)
{
    for (char& c : S)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return S;
}

// Absolute, with "." and ".." resolved by name; symbolic links are kept.
std::string FullPathName(const std::string& Name)
{
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(Name, error);
    if (error)
        return Name;
    return full.lexically_normal().string();
}

[[noreturn]] void ThrowOSError(int Code, const std::string& Path)
{
    throw EOSError(Code, std::string(std::strerror(Code)) + ": " + Path);
}

std::atomic<std::uint64_t> gCreatorCounter{0};

TSDataBranch* CreatorsBranch()
{
    TSDataBranch* root = FindRegistryRoot(LayerCreatorsKey());
    return root ? root->FindChildByName("Creators", true) : nullptr;
}

const TSClass kClasses[] = {
    &TSLayer::ClassInfo,    &TSLayerKeeper::ClassInfo, &TSFileLayerKeeper::ClassInfo,
    &TSRDPLayer::ClassInfo, &TSRDPFile::ClassInfo,
};

}  // namespace

const char* SampleTypeName(std::int32_t Type)
{
    return Type >= 0 && Type < kSampleTypeCount ? kSampleTypes[Type].Name : "";
}

std::int32_t SampleTypeSize(std::int32_t Type)
{
    return Type >= 0 && Type < kSampleTypeCount ? kSampleTypes[Type].Size : 0;
}

TSSampleType SampleTypeOfFileType(std::int32_t FileType)
{
    TSSampleType type = stUnknown;
    sample::Dispatch(FileType, [&](auto kind) { type = LayerTypeOf<typename decltype(kind)::Component>(); });
    return type;
}

void CastSample(void* Dest, const void* Source, std::int32_t DestType, std::int32_t SourceType)
{
    CastSamples(static_cast<unsigned char*>(Dest), 0, DestType, static_cast<const unsigned char*>(Source), 0,
                SourceType, 1);
}

// ---------------------------------------------------------------------------
// TSLayer

constinit const TSClassInfo TSLayer::ClassInfo{"TSLayer", &TSCustomChangeObject::ClassInfo, &TSNewObject<TSLayer>};

void TSLayer::Initialize()
{
    TSCustomChangeObject::Initialize();
    StoreFormat(0, 0, 0);
    m_updateNesting = 0;
}

void TSLayer::StoreFormat(std::int32_t Type, std::int32_t Width, std::int32_t Height)
{
    m_sampleType = Type;
    m_width = Width;
    m_height = Height;
}

void TSLayer::DoBeginUpdate() {}

void TSLayer::DoEndUpdate() {}

void TSLayer::SetFormat(std::int32_t Type, std::int32_t Width, std::int32_t Height)
{
    TSObjectLock guard(*this);
    StoreFormat(Type, Width, Height);
}

void* TSLayer::SampleAddress(std::int32_t, std::int32_t)
{
    return nullptr;
}

void TSLayer::GetDescription(std::string& S)
{
    S = Name() + " - " + std::to_string(Width()) + " x " + std::to_string(Height());
    if (SampleType() >= 0 && SampleType() < kSampleTypeCount)
        S += std::string(" (") + SampleTypeName(SampleType()) + ")";
}

void TSLayer::ReadRow(std::int32_t, void*, std::int32_t, std::int32_t, std::int32_t) {}

void TSLayer::WriteRow(std::int32_t, const void*, std::int32_t, std::int32_t, std::int32_t) {}

// The layer's lock is not held around DoBeginUpdate and DoEndUpdate: a file
// binds its layers under its own lock, so the file's lock always comes first.
void TSLayer::BeginUpdate()
{
    if (m_updateNesting.fetch_add(1) != 0)
        return;
    try {
        DoBeginUpdate();
    } catch (...) {
        --m_updateNesting;
        throw;
    }
}

void TSLayer::EndUpdate()
{
    std::int32_t nesting = m_updateNesting.load();
    while (nesting > 0 && !m_updateNesting.compare_exchange_weak(nesting, nesting - 1)) {
    }
    if (nesting == 1)
        DoEndUpdate();
}

bool TSLayer::IsUpdating() const
{
    return m_updateNesting.load() > 0;
}

// ---------------------------------------------------------------------------
// TSLayerKeeper

constinit const TSClassInfo TSLayerKeeper::ClassInfo{"TSLayerKeeper", &TSCustomChangeObject::ClassInfo,
                                                     &TSNewObject<TSLayerKeeper>};

void TSLayerKeeper::SetCount(std::int32_t N)
{
    m_count = N;
}

TSLayer* TSLayerKeeper::GetLayer(std::int32_t)
{
    return nullptr;
}

TSDataBranch* TSLayerKeeper::BuildTree()
{
    std::unique_ptr<TSDataBranch> tree(TSDataBranch::Create(Name(), this));
    for (std::int32_t i = 0; i < Count(); ++i)
        if (TSLayer* layer = GetLayer(i))
            tree->AddChild(TSDataBranch::Create(layer->Name(), layer));
    return tree.release();
}

// ---------------------------------------------------------------------------
// TSFileLayerKeeper and the factories

constinit const TSClassInfo TSFileLayerKeeper::ClassInfo{"TSFileLayerKeeper", &TSLayerKeeper::ClassInfo,
                                                         &TSNewObject<TSFileLayerKeeper>};

void TSFileLayerKeeper::Initialize()
{
    TSLayerKeeper::Initialize();
    m_closed = true;
}

std::string TSFileLayerKeeper::FileName() const
{
    TSObjectLock guard(*this);
    return m_fileName;
}

void TSFileLayerKeeper::StoreFileName(const std::string& S)
{
    TSObjectLock guard(*this);
    m_fileName = S;
}

void TSFileLayerKeeper::SetFileName(const std::string& S)
{
    StoreFileName(S);
}

void TSFileLayerKeeper::Close(bool Value)
{
    m_closed = Value;
}

void TSFileLayerKeeper::Open(const std::string&, std::uint32_t, std::uint32_t, bool) {}

bool TSFileLayerKeeper::IsFormatRefused()
{
    return !m_closed;
}

TSRegistryKey LayerCreatorsKey()
{
    return reinterpret_cast<TSRegistryKey>(&TSFileLayerKeeper::ClassInfo);
}

void RegisterLayerCreator(TSLayerCreator Creator)
{
    std::lock_guard guard(TreeLock());
    TSDataBranch* creators = CreatorsBranch();
    if (creators == nullptr || Creator == nullptr)
        return;
    const std::uint64_t number = ++gCreatorCounter;
    creators->AddChild(TSDataBranch::Create(std::to_string(number), reinterpret_cast<void*>(Creator), false));
}

void UnregisterLayerCreator(TSLayerCreator Creator)
{
    std::lock_guard guard(TreeLock());
    TSDataBranch* creators = CreatorsBranch();
    if (creators == nullptr || Creator == nullptr)
        return;
    if (TSDataBranch* node = creators->FindChildByData(reinterpret_cast<void*>(Creator)))
        delete node;
}

TSFileLayerKeeper* CreateForFile(void* Context, const std::string& FileName)
{
    // The routines are taken under the tree lock and called without it.
    std::vector<TSLayerCreator> creators;
    {
        std::lock_guard guard(TreeLock());
        TSDataBranch* branch = CreatorsBranch();
        if (branch == nullptr)
            return nullptr;
        for (std::int32_t i = branch->Count(); i-- > 0;)
            if (auto* child = dynamic_cast<TSDataBranch*>(branch->GetChild(i)); child && !child->Data().IsNil())
                creators.push_back(reinterpret_cast<TSLayerCreator>(child->Data().As<void>()));
    }
    for (TSLayerCreator creator : creators)
        if (TSFileLayerKeeper* keeper = creator(Context, FileName))
            return keeper;
    return nullptr;
}

TSFileLayerKeeper* CreateRDPFileKeeper(void*, const std::string& FileName)
{
    if (LowerAscii(std::filesystem::path(FileName).extension().string()) != ".rdp")
        return nullptr;
    return TSObject::Create<TSRDPFile>(nullptr);
}

// ---------------------------------------------------------------------------
// TSRDPLayer

constinit const TSClassInfo TSRDPLayer::ClassInfo{"TSRDPLayer", &TSLayer::ClassInfo, &TSNewObject<TSRDPLayer>};

TSRDPLayer::~TSRDPLayer()
{
    if (m_file != nullptr)
        m_file->Forget(this);
}

void TSRDPLayer::Initialize()
{
    TSLayer::Initialize();
    SetName("Layer");
    m_fileType = 0;
    m_layerIndex = 0;
    m_component = 0;
    m_data = nullptr;
    m_sampleStep = 0;
    m_rowStep = 0;
}

void TSRDPLayer::DoBeginUpdate()
{
    if (m_file != nullptr)
        m_file->EnsureMapped();
}

void TSRDPLayer::DoEndUpdate()
{
    if (m_file != nullptr)
        m_file->ReleaseIfIdle();
}

void TSRDPLayer::SetFormat(std::int32_t, std::int32_t, std::int32_t) {}

void* TSRDPLayer::SampleAddress(std::int32_t X, std::int32_t Y)
{
    if (m_data == nullptr || X < 0 || X >= Width() || Y < 0 || Y >= Height())
        return nullptr;
    return m_data + Y * m_rowStep + std::int64_t(X) * m_sampleStep;
}

void TSRDPLayer::GetDescription(std::string& S)
{
    std::string path;
    if (m_file != nullptr && m_file->Tree() != nullptr) {
        std::lock_guard guard(TreeLock());
        if (TSDataBranch* node = m_file->Tree()->FindByData(this); node && node != m_file->Tree())
            node->GetPath(m_file->Tree(), '.', path);
    }
    TSLayer::GetDescription(S);
    if (!path.empty())
        S = path + S.substr(Name().size());
}

std::int32_t TSRDPLayer::RowSamples(std::int32_t Row, std::int32_t Count) const
{
    if (m_data == nullptr || Width() < 1 || Height() < 1 || Row < 0 || Row >= Height())
        return 0;
    return std::clamp(Count, 0, Width());
}

void TSRDPLayer::ReadRow(std::int32_t Row, void* Buffer, std::int32_t Count, std::int32_t Step, std::int32_t BufferType)
{
    const std::int32_t n = RowSamples(Row, Count);
    if (n == 0 || Buffer == nullptr)
        return;
    // Another program may cut the file short under the mapping: the lost pages
    // fault inside the guard and come out as an error naming the file.
    try {
        plat::CallFaultGuarded([&] {
            CastSamples(static_cast<unsigned char*>(Buffer), Step, BufferType, m_data + Row * m_rowStep, m_sampleStep,
                        SampleType(), n);
        });
    } catch (const plat::HardwareFault&) {
        throw EOSError(EIO, "The file was cut short while it was read: " +
                                (m_file != nullptr ? m_file->FileName() : Name()));
    }
}

void TSRDPLayer::WriteRow(std::int32_t Row, const void* Buffer, std::int32_t Count, std::int32_t Step,
                          std::int32_t BufferType)
{
    const std::int32_t n = RowSamples(Row, Count);
    // A read-only view would fault on the first store.
    if (n == 0 || Buffer == nullptr || m_file == nullptr || !m_file->m_map.Writable())
        return;
    CastSamples(m_data + Row * m_rowStep, m_sampleStep, SampleType(), static_cast<const unsigned char*>(Buffer), Step,
                BufferType, n);
}

// ---------------------------------------------------------------------------
// TSRDPFile

constinit const TSClassInfo TSRDPFile::ClassInfo{"TSRDPFile", &TSFileLayerKeeper::ClassInfo, &TSNewObject<TSRDPFile>};

void TSRDPFile::Initialize()
{
    TSFileLayerKeeper::Initialize();
    m_readOnly = true;
    m_tree = TSDataBranch::Create("", this, true);
}

TSRDPFile::~TSRDPFile()
{
    Finalize();
    Close(true);
    // Layers never opened by a file still die with it.
    SetCount(0);
    delete m_tree;
    m_tree = nullptr;
}

void TSRDPFile::Forget(TSRDPLayer* Layer)
{
    TSObjectLock guard(*this);
    for (TSRDPLayer*& entry : m_layers)
        if (entry == Layer)
            entry = nullptr;
}

void TSRDPFile::SetCount(std::int32_t N)
{
    N = std::max(N, 0);
    TSObjectLock guard(*this);
    if (N == Count())
        return;
    InChange(*this, false, [&] {
        for (std::size_t i = N; i < m_layers.size(); ++i)
            if (TSRDPLayer* layer = std::exchange(m_layers[i], nullptr)) {
                layer->m_file = nullptr;
                delete layer;
            }
        m_layers.reserve((static_cast<std::size_t>(N) + 15) / 16 * 16);
        m_layers.resize(static_cast<std::size_t>(N), nullptr);
        StoreCount(N);
        for (TSRDPLayer*& layer : m_layers)
            if (layer == nullptr)
                layer = TSObject::Create<TSRDPLayer>(this);
        for (TSRDPLayer* layer : m_layers)
            layer->m_file = this;
    });
}

TSLayer* TSRDPFile::GetLayer(std::int32_t Index)
{
    TSObjectLock guard(*this);
    return Index >= 0 && Index < static_cast<std::int32_t>(m_layers.size()) ? m_layers[Index] : nullptr;
}

TSDataBranch* TSRDPFile::BuildTree()
{
    TSDataBranch* copy = TSDataBranch::Create("");
    std::lock_guard guard(TreeLock());
    copy->Assign(m_tree);
    return copy;
}

void TSRDPFile::SetFileName(const std::string&) {}

bool TSRDPFile::IsFormatRefused()
{
    return m_formatRefused;
}

void TSRDPFile::Close(bool Value)
{
    if (!Value)
        return;
    TSObjectLock guard(*this);
    if (Closed())
        return;
    InChange(*this, false, [&] {
        StoreClosed(true);
        StoreFileName("");
        m_formatRefused = false;
        m_recordCount = 0;
        Unmap();
        SetCount(0);
        std::lock_guard tree(TreeLock());
        m_tree->SetCount(0);
        m_tree->SetName("");
    });
}

void TSRDPFile::Open(const std::string& FileName, std::uint32_t ShareMode, std::uint32_t Flags, bool ReadOnly)
{
    if (plat::MappedFile::FileLength(FileName) < 0)
        return;
    const std::string full = FullPathName(FileName);
    TSObjectLock guard(*this);
    if (full == TSFileLayerKeeper::FileName())
        return;
    Close(true);
    StoreFileName(full);
    m_shareMode = ShareMode;
    m_flags = Flags;
    m_readOnly = ReadOnly;
    BeginChange(false, 0);
    try {
        Map();
        Unmap();
    } catch (...) {
        // A keeper that failed to open stays closed, without layers.
        Unmap();
        StoreClosed(true);
        m_formatRefused = false;
        m_recordCount = 0;
        SetCount(0);
        EndChange(false, 0);
        throw;
    }
    EndChange(false, 0);
}

void TSRDPFile::Map()
{
    TSObjectLock guard(*this);
    const std::string path = TSFileLayerKeeper::FileName();
    const std::int64_t size = plat::MappedFile::FileLength(path);
    if (size < 0 || (HeaderAccepted() && !Closed()))
        return;
    Unmap();
    if (size >= MaxFileSize)
        throw EStreamError("File \"" + path + "\" is very large");
    plat::MappedFile map;
    if (size > 0) {
        map = plat::MappedFile::Open(path, size, !m_readOnly);
        if (!map)
            ThrowOSError(errno != 0 ? errno : EIO, path);
    } else if (::access(path.c_str(), m_readOnly ? R_OK : R_OK | W_OK) != 0) {
        // Nothing to map in an empty file; it is still opened as asked.
        ThrowOSError(errno, path);
    }
    m_map = std::move(map);
    m_size = size;
    StoreClosed(false);
    m_formatRefused = true;
    RDPFileHeader header{};
    if (m_size >= static_cast<std::int64_t>(sizeof header)) {
        std::memcpy(&header, m_map.Data(), sizeof header);
        if (std::memcmp(header.magic, kRDPMagic, sizeof kRDPMagic) == 0 &&
            (header.version == kRDPVersion2 || header.version == kRDPVersion3)) {
            m_formatRefused = false;
            ScanLayers();
        }
    }
}

void TSRDPFile::Unmap()
{
    TSObjectLock guard(*this);
    // Rows read from now on find no data instead of a released view.
    for (TSRDPLayer* layer : m_layers)
        if (layer != nullptr)
            layer->m_data = nullptr;
    m_map.Reset();
    m_size = 0;
}

void TSRDPFile::EnsureMapped()
{
    TSObjectLock guard(*this);
    if (!(HeaderAccepted() && !Closed()))
        Map();
}

void TSRDPFile::ReleaseIfIdle()
{
    TSObjectLock guard(*this);
    if (!m_map)
        return;
    for (TSRDPLayer* layer : m_layers)
        if (layer != nullptr && layer->IsUpdating())
            return;
    Unmap();
}

const unsigned char* TSRDPFile::LayerRecordAddress(std::int32_t Layer)
{
    TSObjectLock guard(*this);
    if (!HeaderAccepted() || Layer < 0)
        return nullptr;
    const auto* view = static_cast<const unsigned char*>(m_map.Data());
    RDPFileWalker walk(view, m_size);
    const std::int32_t version = sample::Load<std::int32_t>(view + 4);
    std::int64_t at = sizeof(RDPFileHeader);
    if (version == kRDPVersion2) {
        RDPTagHeader first{};
        return Layer == 0 && walk.ReadHeader(at, first) ? view + at : nullptr;
    }
    if (version != kRDPVersion3)
        return nullptr;
    RDPLayerRecord record{};
    for (std::int32_t k = 0;; ++k) {
        if (!walk.ReadAt(at, &record, sizeof record))
            return nullptr;
        if (k == Layer)
            break;
        if (record.next < 1 || record.next >= m_size)
            return nullptr;
        at = record.next;
    }
    RDPTagHeader first{};
    if (record.firstTag < 1 || record.firstTag >= m_size || !walk.ReadHeader(record.firstTag, first))
        return nullptr;
    return view + record.firstTag;
}

const unsigned char* TSRDPFile::FindTag(std::int32_t Layer, std::int32_t Tag)
{
    TSObjectLock guard(*this);
    const unsigned char* first = LayerRecordAddress(Layer);
    if (first == nullptr)
        return nullptr;
    const auto* view = static_cast<const unsigned char*>(m_map.Data());
    RDPFileWalker walk(view, m_size);
    std::int64_t at = first - view;
    RDPTagHeader header{};
    for (std::int32_t links = 0;; ++links) {
        if (!walk.ReadHeader(at, header))
            return nullptr;
        if (header.tag == Tag)
            break;
        if (links == MaxLinks || header.next < 1 || header.next >= m_size)
            return nullptr;
        at = header.next;
    }
    std::int32_t length = 0;
    if (header.payload < 1 || header.payload >= m_size || !walk.ReadAt(header.payload, &length, sizeof length))
        return nullptr;
    return view + header.payload;
}

std::int32_t TSRDPFile::CountRecords()
{
    const auto* view = static_cast<const unsigned char*>(m_map.Data());
    if (sample::Load<std::int32_t>(view + 4) == kRDPVersion2)
        return 1;
    RDPFileWalker walk(view, m_size);
    std::unordered_set<std::int64_t> seen;
    std::int64_t at = sizeof(RDPFileHeader);
    std::int32_t count = 0;
    RDPLayerRecord record{};
    // A chain that comes back to a record it passed ends there.
    while (count < MaxLinks && seen.insert(at).second && walk.ReadAt(at, &record, sizeof record)) {
        ++count;
        if (record.next < 1 || record.next >= m_size)
            break;
        at = record.next;
    }
    return count;
}

void TSRDPFile::ScanLayers()
{
    if (!HeaderAccepted())
        return;
    m_recordCount = CountRecords();
    std::vector<bool> complex(static_cast<std::size_t>(m_recordCount), false);
    std::int32_t layers = 0;
    for (std::int32_t k = 0; k < m_recordCount; ++k) {
        LayerHeaderTag fields{};
        if (const unsigned char* tag0 = FindTag(k, kTagLayerHeader);
            tag0 && (tag0 - static_cast<const unsigned char*>(m_map.Data())) + 16 <= m_size) {
            std::memcpy(&fields, tag0, 16);
            sample::Dispatch(fields.type, [&](auto kind) { complex[k] = decltype(kind)::complex; });
        }
        layers += complex[k] ? 2 : 1;
    }
    // A file changed on disk may hold fewer layers now; a layer inside an
    // update (the one whose update maps the file, among others) must outlive
    // the scan, so it stays, bound to no record.
    std::int32_t keep = layers;
    for (std::int32_t k = layers; k < static_cast<std::int32_t>(m_layers.size()); ++k)
        if (m_layers[k] != nullptr && m_layers[k]->IsUpdating())
            keep = k + 1;
    SetCount(keep);
    std::int32_t next = 0;
    for (std::int32_t k = 0; k < m_recordCount; ++k)
        for (std::int32_t part = 0; part < (complex[k] ? 2 : 1); ++part, ++next) {
            m_layers[next]->m_layerIndex = k;
            m_layers[next]->m_component = part;
        }
    for (; next < keep; ++next) {
        m_layers[next]->m_layerIndex = m_recordCount;
        m_layers[next]->m_component = 0;
    }
    for (TSRDPLayer* layer : m_layers)
        BindLayer(*layer);

    std::lock_guard guard(TreeLock());
    m_tree->SetCount(0);
    m_tree->SetName(std::filesystem::path(TSFileLayerKeeper::FileName()).filename().string());
    for (std::int32_t k = 0; k < m_recordCount; ++k)
        m_tree->AddChild(TSDataBranch::Create("Layer " + std::to_string(k + 1)));
    for (TSRDPLayer* layer : m_layers) {
        if (layer->m_layerIndex >= m_recordCount)
            continue;
        auto* record = static_cast<TSDataBranch*>(m_tree->GetChild(layer->m_layerIndex));
        if (!complex[layer->m_layerIndex])
            record->SetData(layer);
        else
            record->AddChild(TSDataBranch::Create(layer->m_component == 0 ? "Real" : "Image", layer));
    }
}

void TSRDPFile::BindLayer(TSRDPLayer& Layer)
{
    Layer.BeginChange(true, 0);
    Layer.m_data = nullptr;
    Layer.m_fileType = 0;
    Layer.StoreFormat(0, 0, 0);
    Layer.m_sampleStep = 0;
    Layer.m_rowStep = 0;
    auto* view = static_cast<unsigned char*>(m_map.Data());
    const unsigned char* tag0 = FindTag(Layer.m_layerIndex, kTagLayerHeader);
    if (tag0 != nullptr && (tag0 - view) + 16 <= m_size) {
        LayerHeaderTag fields{};
        std::memcpy(&fields, tag0, 16);
        int components = 1;
        sample::Dispatch(fields.type, [&](auto kind) { components = decltype(kind)::complex ? 2 : 1; });
        const TSSampleType type = SampleTypeOfFileType(fields.type);
        Layer.m_fileType = fields.type;
        Layer.StoreFormat(type, fields.width, fields.height);
        Layer.m_sampleStep = SampleTypeSize(type) * components;
        Layer.m_rowStep = std::int64_t(Layer.m_sampleStep) * fields.width;

        const unsigned char* pixels = FindTag(Layer.m_layerIndex, kTagPixels);
        if (pixels != nullptr && type != stUnknown && fields.width >= 0 && fields.height >= 0) {
            const std::int64_t first = (pixels - view) + 4;
            const std::int64_t stored = sample::Load<std::int32_t>(pixels);
            // Both the stored length and the layer's shape must fit the samples;
            // width x height fits 64 bits, the product with the step is compared
            // by division so that it cannot overflow.
            const std::int64_t samples = std::int64_t(fields.width) * fields.height;
            const bool fits = stored >= 4 && samples <= (stored - 4) / Layer.m_sampleStep;
            if (first + stored < m_size && fits)
                Layer.m_data = view + first + std::int64_t(Layer.m_component) * SampleTypeSize(type);
        }
    }
    Layer.EndChange(true, 0);
}

// ---------------------------------------------------------------------------
// Unit start and end

void SLayersInitialization()
{
    // Reads of mapped files run under the fault guard (TSRDPLayer::ReadRow).
    plat::InstallFaultHandlers(nullptr);
    for (TSClass cls : kClasses)
        RegisterRTDClass(cls);
    std::lock_guard guard(TreeLock());
    if (TSDataBranch* root = GetRegistryRoot(LayerCreatorsKey()); root && !root->FindChildByName("Creators", true))
        root->AddChild(TSDataBranch::Create("Creators"));
    RegisterLayerCreator(&CreateRDPFileKeeper);
}

void SLayersFinalization()
{
    UnregisterLayerCreator(&CreateRDPFileKeeper);
    RemoveRegistryKey(LayerCreatorsKey());
    for (auto cls = std::rbegin(kClasses); cls != std::rend(kClasses); ++cls)
        UnregisterRTDClass(*cls);
}
