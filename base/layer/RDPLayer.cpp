#include "layer/RDPLayer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/files/MappedFile.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/threads/ParallelFor.h"
#include "platform/resources/StringTable.h"
#include "VarnokModule.h"
#include "files/MemoryMap.h"
#include "files/TempFiles.h"
#include "format/RDPFileWalker.h"
#include "format/RDPLayerLayout.h"
#include "jobs/MeterInfoBase.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/SampleStats.h"
#include "layer/SampleTally.h"
#include "util/MathHelpers.h"

namespace {

const plat::StringEntry kStrings[] = {
    {5017, "Error closing object  !"},
    {5049, "Calculating statisticses ..."},
};
const plat::StringTableRegistration kRegistration(kVarnokModule, kStrings);

// Fields of the statistics payload, read and written in place with memcpy.
constexpr int kStatsTagSize = int(sizeof(StatisticsTag));
constexpr int kStatsReady = int(offsetof(StatisticsTag, computed));
constexpr int kStatsMin = int(offsetof(StatisticsTag, minimum));
constexpr int kStatsMax = int(offsetof(StatisticsTag, maximum));
constexpr int kStatsStdDev = int(offsetof(StatisticsTag, deviation));
constexpr int kStatsMean = int(offsetof(StatisticsTag, mean));
constexpr int kStatsHist = int(offsetof(StatisticsTag, histogram));
constexpr int kPreviewPlane = kPreviewSide * kPreviewSide;

// Temporary layers up to this size live on the heap, larger ones in a file.
constexpr int64_t kHeapLimit = 0x100000;

int32_t Word(const unsigned char* base, int64_t offset)
{
    return sample::Load<int32_t>(base + offset);
}

bool Fits(int64_t offset, int64_t bytes, int64_t size)
{
    return offset >= 0 && bytes >= 0 && offset <= size && bytes <= size - offset;
}

// Payload of a tag of the layer in a mapping, with its stored length; NULL when
// the chain holds no such tag or is broken. A payload whose length word or body
// would lie outside the mapping gives NULL as well, with *outside set.
unsigned char* FindPayload(unsigned char* base, int64_t size, int layer, int tag, int32_t& length, bool& outside)
{
    outside = false;
    RDPFileWalker walker(base, size);
    const auto header = walker.TagPayload(layer, tag);
    if (!header)
        return nullptr;
    const int64_t payload = header->fields.payload;
    if (!Fits(payload, 4, size)) {
        outside = true;
        return nullptr;
    }
    length = Word(base, payload);
    if (length < 4 || !Fits(payload, length, size)) {
        outside = true;
        return nullptr;
    }
    return base + payload;
}

// Cause of the exception being handled, which is taken care of: the library's
// own cause, 7 for an exhausted heap, 12 for anything else.
int CaughtCause()
{
    try {
        throw;
    } catch (plat::Exception* e) {
        std::string msg;
        const int cause = GetError(e, msg);
        e->Delete();
        return cause;
    } catch (const std::bad_alloc&) {
        return RDP_MEMORY;
    } catch (...) {
        return RDP_FOREIGN;
    }
}

// Shows the failure of a close that nobody can catch any more.
void ReportCloseFailure()
{
    plat::MessageBox(plat::WindowHandle(), plat::LoadString(5017, kVarnokModule), "", plat::MB_OK);
}

// Rows per piece of a parallel pass over rows: about 64K samples.
int64_t RowsPerPiece(int64_t rowSamples)
{
    return std::max<int64_t>(1, (int64_t(1) << 16) / std::max<int64_t>(rowSamples, 1));
}

// One meter step for each row finished since the last call.
void StepRows(CMeterInfoBase* meter, int64_t& stepped, int64_t done)
{
    for (; stepped < done; ++stepped)
        if (meter)
            meter->StepIt();
}

}  // namespace

// What a bound object holds and its copies share.
struct CRDPLayer::Binding {
    CMemoryMap map;
    // Longer views of the same file, made when it grew while bound; newest last.
    std::vector<CMemoryMap> grown;
    std::unique_ptr<unsigned char[]> heap;
    std::vector<void*> rows;
    // Where tags are looked up: the newest view of the file (or the temporary
    // layer's samples). The rows stay in the first view.
    unsigned char* base = nullptr;
    int64_t size = 0;

    // Maps the file again when it grew since its newest view was made (a tag
    // appended, or moved to its end by the path-based SetTag), so that the new
    // bytes can be reached; false when there is nothing new to see.
    bool Grow(bool writable)
    {
        const std::string path = map.GetFileName();
        plat::FileId id;
        if (heap || path.empty() || plat::MappedFile::FileLength(path, &id) <= size || !(id == map.Id()))
            return false;
        CMemoryMap later;
        void* view = later.Open(path, 0, writable ? 1 : 0);
        // The file may have been replaced under its name meanwhile.
        if (view == nullptr || later.Length() <= size || !(later.Id() == map.Id()))
            return false;
        grown.push_back(std::move(later));
        base = static_cast<unsigned char*>(view);
        size = grown.back().Length();
        return true;
    }

    // True when bytes at p overlap one of the file's views.
    bool Maps(const void* p, int64_t bytes) const
    {
        const auto overlaps = [&](const CMemoryMap& m) {
            const auto begin = reinterpret_cast<uintptr_t>(p);
            const auto view = reinterpret_cast<uintptr_t>(m.AdresData());
            return view != 0 && begin < view + uint64_t(m.Length()) && view < begin + uint64_t(bytes);
        };
        return overlaps(map) || std::any_of(grown.begin(), grown.end(), overlaps);
    }
};

CRDPLayer::CRDPLayer(CMeterInfoBase* meter) : m_pMeter(meter) {}

CRDPLayer::~CRDPLayer()
{
    try {
        CloseLayer();
    } catch (...) {
        CaughtCause();
        ReportCloseFailure();
    }
}

void CRDPLayer::RequireBound() const
{
    if (m_bEmpty)
        AfxThrowRDPExcept(RDP_EMPTY_LAYER);
}

void CRDPLayer::RequireWritable() const
{
    if (!m_bWritable)
        AfxThrowRDPExcept(RDP_MEMORY);
}

// Statistics beyond minimum and maximum need a file layer's tag 2.
void CRDPLayer::RequireStatsTag() const
{
    RequireBound();
    if (m_pStats == nullptr)
        AfxThrowRDPExcept(RDP_EMPTY_LAYER);
}

void** CRDPLayer::Bind(std::shared_ptr<Binding> binding, View view)
{
    try {
        binding->rows.resize(size_t(view.height));
    } catch (const std::bad_alloc&) {
        Unbind();
        AfxThrowRDPExcept(RDP_MEMORY);
    }
    const int64_t rowSize = int64_t(view.width) * view.sampleSize;
    for (int i = 0; i < view.height; ++i)
        binding->rows[size_t(i)] = view.pixels + int64_t(i) * rowSize;
    Take(std::move(binding), std::move(view));
    return m_ppRows;
}

void CRDPLayer::Unbind()
{
    Take(nullptr, View{});
}

void CRDPLayer::Take(std::shared_ptr<Binding> binding, View view)
{
    const bool bound = binding != nullptr;
    m_ppRows = bound ? binding->rows.data() : nullptr;
    m_binding = std::move(binding);
    m_bEmpty = bound ? 0 : 1;
    m_bCreated = 0;
    m_bInOutput = false;
    m_nLayer = view.layer;
    m_bTemp = view.temp ? 1 : 0;
    m_bWritable = view.writable;
    m_nWidth = view.width;
    m_nHeight = view.height;
    m_nType = view.type;
    m_nHeaderReserved = view.headerReserved;
    m_nSampleSize = view.sampleSize;
    m_nRowSize = int64_t(view.width) * view.sampleSize;
    m_nTotalSize = m_nRowSize * view.height;
    m_pHeader = view.header;
    m_pStats = view.stats;
    m_pPixels = view.pixels;
    m_pPreviewTag = view.previewTag;
    m_pPreview = view.previewTag ? view.previewTag + 4 : nullptr;
    m_dOwnMin = m_dOwnMax = 0.0;
    m_strFileName = std::move(view.fileName);
}

void** CRDPLayer::OpenLayer(const char* file, int writable)
{
    return OpenLayerEx(file, 0, writable);
}

void** CRDPLayer::OpenLayerEx(const char* file, int layer, int writable)
{
    if (!m_bEmpty)
        AfxThrowRDPExcept(RDP_OPEN_FILE);
    if (file == nullptr)
        return nullptr;

    auto binding = std::make_shared<Binding>();
    bool writableView = writable != 0;
    void* mapped = binding->map.Open(file, 0, writable ? 1 : 0);
    if (mapped == nullptr && !writable) {
        mapped = binding->map.Open(file, 0, 1);
        writableView = true;
    }
    if (mapped == nullptr)
        return nullptr;

    // Everything is checked before a single pointer is handed out: the parts of
    // the layer are whole, inside the file, and written over nothing else of it.
    auto* base = static_cast<unsigned char*>(mapped);
    const int64_t size = binding->map.Length();
    RDPFileWalker walk(base, size);
    const auto layout = CheckLayer(walk, layer);
    if (!layout)
        return nullptr;

    binding->base = base;
    binding->size = size;
    View view;
    view.layer = layer;
    view.writable = writableView;
    view.width = layout->fields.width;
    view.height = layout->fields.height;
    view.type = layout->fields.type;
    view.headerReserved = layout->fields.reserved;
    view.sampleSize = layout->sampleSize;
    view.header = base + layout->header;
    view.stats = base + layout->statistics;
    view.pixels = base + layout->pixels + 4;
    view.previewTag = layout->preview ? base + layout->preview : nullptr;
    view.fileName = binding->map.GetFileName();
    return Bind(std::move(binding), std::move(view));
}

void** CRDPLayer::CreateTempLayer(int width, int height, int type)
{
    if (!m_bEmpty)
        AfxThrowRDPExcept(RDP_ALREADY_USED);
    const int sampleSize = GetDataTypeSize(type);
    if (width <= 0 || height <= 0 || sampleSize == 0)
        return nullptr;
    if (int64_t(width) * height > INT64_MAX / sampleSize)
        AfxThrowRDPExcept(RDP_MEMORY);
    const int64_t bytes = int64_t(width) * height * sampleSize;

    auto binding = std::make_shared<Binding>();
    unsigned char* block = nullptr;
    if (bytes > kHeapLimit) {
        // The mapping counts its length in an int.
        if (bytes > INT_MAX)
            AfxThrowRDPExcept(RDP_MEMORY);
        const std::string name = GetNotExistFileName(nullptr);
        block = static_cast<unsigned char*>(binding->map.Create(name, int(bytes), 1));
        if (block == nullptr) {
            std::remove(name.c_str());
            AfxThrowRDPExcept(RDP_MEMORY);
        }
    } else {
        binding->heap.reset(new (std::nothrow) unsigned char[size_t(bytes)]());
        if (!binding->heap)
            AfxThrowRDPExcept(RDP_MEMORY);
        block = binding->heap.get();
    }

    binding->base = block;
    binding->size = bytes;
    View view;
    view.temp = true;
    view.writable = true;
    view.width = width;
    view.height = height;
    view.type = type;
    view.sampleSize = sampleSize;
    view.pixels = block;
    view.fileName = binding->map.GetFileName();
    return Bind(std::move(binding), std::move(view));
}

int CRDPLayer::CloseLayer()
{
    if (m_bEmpty)
        return 0;
    if (m_bTemp) {
        Unbind();
        return 1;
    }

    int cause = -1;
    bool meterChanged = false;
    std::string oldText;
    double oldLo = 0.0, oldHi = 0.0;
    if (m_bCreated) {
        const bool minMax = (m_nFlags & 4) != 0;
        const bool stats = (m_nFlags & 1) != 0 && StatsReady() == 0;
        const bool preview = (m_nFlags & 2) != 0;
        const int total = (preview ? 200 : 0) + (stats ? m_nHeight : 0) + (minMax ? m_nHeight : 0);
        try {
            if (m_pMeter && total > 0) {
                oldText = m_pMeter->GetText();
                m_pMeter->GetRange(&oldLo, &oldHi);
                meterChanged = true;
                m_pMeter->SetText(plat::LoadString(5049, kVarnokModule).c_str());
                m_pMeter->SetRange(0.0, double(total));
            }
            if (minMax)
                MaxMinCount(nullptr);
            if (stats)
                StatsCalc();
            // A layer without tag 4 has nowhere to put its preview.
            if (preview && m_pPreview)
                RescaleToPreview(m_pPreview);
        } catch (...) {
            cause = CaughtCause();
        }
    }

    Unbind();
    if (meterChanged) {
        try {
            m_pMeter->SetText(oldText.c_str());
            m_pMeter->SetRange(oldLo, oldHi);
        } catch (...) {
            const int restoring = CaughtCause();
            cause = cause >= 0 ? cause : restoring;
        }
    }
    if (cause >= 0)
        AfxThrowRDPExcept(cause);
    return 1;
}

void* CRDPLayer::GetTag(int tag)
{
    return GetTag(tag, 0, nullptr);
}

void* CRDPLayer::GetTag(int tag, int len, void* dst)
{
    if (m_bEmpty || m_bTemp)
        return nullptr;
    int32_t length = 0;
    bool outside = false;
    unsigned char* payload = FindPayload(m_binding->base, m_binding->size, m_nLayer, tag, length, outside);
    if (payload == nullptr && m_binding->Grow(m_bWritable))
        payload = FindPayload(m_binding->base, m_binding->size, m_nLayer, tag, length, outside);
    if (outside)
        AfxThrowRDPExcept(RDP_MEMORY);
    if (payload == nullptr)
        return nullptr;
    if (dst == nullptr)
        return payload;
    const int32_t n = std::min(len, length);
    if (n > 0)
        std::memcpy(dst, payload, size_t(n));
    return dst;
}

int CRDPLayer::SetTag(int tag, int len, const void* src)
{
    if (m_bEmpty || m_bTemp || src == nullptr)
        return 0;
    auto* payload = static_cast<unsigned char*>(GetTag(tag));
    if (payload == nullptr)
        return 0;
    const int32_t length = Word(payload, 0);
    // The stored length stays: a longer source would be cut, a shorter one is
    // followed by zero bytes; only len bytes of src are ever read.
    if (len < 4 || len > length)
        return 0;
    RequireWritable();
    std::memcpy(payload + 4, static_cast<const unsigned char*>(src) + 4, size_t(len - 4));
    std::memset(payload + len, 0, size_t(length - len));
    return 1;
}

bool CRDPLayer::InMapping(const void* p, int64_t bytes) const
{
    return m_binding != nullptr && m_binding->Maps(p, bytes);
}

double CRDPLayer::StatsDouble(int offset) const
{
    return m_pStats ? sample::Load<double>(m_pStats + offset) : 0.0;
}

void CRDPLayer::SetStatsDouble(int offset, double v)
{
    if (m_pStats == nullptr)
        return;
    RequireWritable();
    sample::Store(m_pStats + offset, v);
}

double CRDPLayer::Min() const
{
    return m_bTemp ? m_dOwnMin : StatsDouble(kStatsMin);
}

double CRDPLayer::Max() const
{
    return m_bTemp ? m_dOwnMax : StatsDouble(kStatsMax);
}

double CRDPLayer::Mean() const
{
    return StatsDouble(kStatsMean);
}

double CRDPLayer::StdDev() const
{
    return StatsDouble(kStatsStdDev);
}

unsigned* CRDPLayer::HistAdr() const
{
    if (m_pStats == nullptr)
        return nullptr;
    std::memcpy(m_histogramCopy, m_pStats + kStatsHist, sizeof m_histogramCopy);
    return m_histogramCopy;
}

int CRDPLayer::StatsReady() const
{
    return m_pStats ? sample::Load<int32_t>(m_pStats + kStatsReady) : 0;
}

void CRDPLayer::SetMin(double v)
{
    if (m_bTemp)
        m_dOwnMin = v;
    else
        SetStatsDouble(kStatsMin, v);
}

void CRDPLayer::SetMax(double v)
{
    if (m_bTemp)
        m_dOwnMax = v;
    else
        SetStatsDouble(kStatsMax, v);
}

void CRDPLayer::SetMean(double v)
{
    SetStatsDouble(kStatsMean, v);
}

void CRDPLayer::SetStdDev(double v)
{
    SetStatsDouble(kStatsStdDev, v);
}

void CRDPLayer::SetStatsReady(int ready)
{
    if (m_pStats == nullptr)
        return;
    RequireWritable();
    sample::Store<int32_t>(m_pStats + kStatsReady, ready);
}

CRDPLayer::Span CRDPLayer::Clip(const RECT* rect) const
{
    if (rect == nullptr)
        return {0, 0, m_nWidth - 1, m_nHeight - 1};
    return {std::max(rect->left, 0), std::max(rect->top, 0), std::min(rect->right, m_nWidth - 1),
            std::min(rect->bottom, m_nHeight - 1)};
}

int CRDPLayer::MaxMinCount(const RECT* rect)
{
    RequireBound();
    RequireWritable();
    const Span span = Clip(rect);
    if (span.Empty())
        return 1;
    const int64_t n = int64_t(span.right) - span.left + 1;
    const int64_t rows = int64_t(span.bottom) - span.top + 1;
    const int workers = plat::ParallelThreadsFor(n * rows * m_nSampleSize);
    sample::Dispatch(m_nType, [&](auto kind) {
        using K = decltype(kind);
        std::vector<sample::Extremes<K>> extremes(static_cast<size_t>(workers));
        int64_t stepped = 0;
        plat::ParallelFor(
            rows, RowsPerPiece(n), workers,
            [&](int64_t first, int64_t end, int worker) {
                for (int64_t row = span.top + first; row < span.top + end; ++row)
                    extremes[size_t(worker)].Row(
                        static_cast<unsigned char*>(m_ppRows[row]) + int64_t(span.left) * K::size, n);
            },
            [&](int64_t done) { StepRows(m_pMeter, stepped, done); });
        sample::Extremes<K> all;
        for (const auto& e : extremes) {
            all.lo = e.lo < all.lo ? e.lo : all.lo;
            all.hi = e.hi > all.hi ? e.hi : all.hi;
        }
        double mn = 0.0, mx = 0.0;
        if (all.Result(mn, mx)) {
            SetMax(mx);
            SetMin(mn);
        }
    });
    return 1;
}

void CRDPLayer::StatsCalc()
{
    RequireStatsTag();
    RequireWritable();
    try {
        const double mn = Min();
        const double mx = Max();
        const double scale = sample::HistogramScale(mn, mx);
        SetStatsReady(0);
        std::memset(m_pStats + kStatsHist, 0, 256 * sizeof(uint32_t));

        const bool complex = IsComplex() != 0;
        const int workers = plat::ParallelThreadsFor(m_nTotalSize);
        std::vector<sample::Histogram> values(static_cast<size_t>(workers)), phases(complex ? size_t(workers) : 0);
        // Sums are kept per row (RowOrderTotal).
        std::vector<sample::Sums> valueSums(static_cast<size_t>(m_nHeight)), phaseSums(complex ? size_t(m_nHeight) : 0);
        sample::Dispatch(m_nType, [&](auto kind) {
            using K = decltype(kind);
            int64_t stepped = 0;
            plat::ParallelFor(
                m_nHeight, RowsPerPiece(m_nWidth), workers,
                [&](int64_t first, int64_t end, int worker) {
                    for (int64_t row = first; row < end; ++row)
                        sample::StatsRow<K>(static_cast<unsigned char*>(m_ppRows[row]), m_nWidth, mn, mx, scale,
                                            values[size_t(worker)], complex ? &phases[size_t(worker)] : nullptr,
                                            valueSums[size_t(row)], complex ? &phaseSums[size_t(row)] : nullptr);
                },
                [&](int64_t done) { StepRows(m_pMeter, stepped, done); });
        });

        // Totals of one histogram and its sums over the workers and rows.
        const auto total = [](const std::vector<sample::Histogram>& hists, const std::vector<sample::Sums>& sums,
                              uint32_t counts[256], double& mean, double& stdDev) {
            std::memset(counts, 0, 256 * sizeof(uint32_t));
            int64_t n = 0;
            for (const auto& h : hists) {
                h.AddCounts(counts);
                n += h.Counted();
            }
            sample::MeanStdDev(sample::RowOrderTotal(sums.data(), int64_t(sums.size())), n, mean, stdDev);
        };

        uint32_t counts[256];
        double mean = 0.0, stdDev = 0.0;
        if (complex) {
            unsigned char record[kStatsTagSize];
            total(phases, phaseSums, counts, mean, stdDev);
            sample::Store<int32_t>(record, kStatsTagSize);
            sample::Store<int32_t>(record + kStatsReady, 1);
            sample::Store(record + kStatsMin, 0.0);
            sample::Store(record + kStatsMax, kPhaseMax);
            sample::Store(record + kStatsStdDev, stdDev);
            sample::Store(record + kStatsMean, mean);
            std::memcpy(record + kStatsHist, counts, sizeof counts);
            SetTag(kTagPhaseStatistics, kStatsTagSize, record);
        }
        total(values, valueSums, counts, mean, stdDev);
        StoreValueStats(mean, stdDev, counts);
    } catch (const std::bad_alloc&) {
        AfxThrowRDPExcept(RDP_MEMORY);
    } catch (plat::Exception* e) {
        RethrowAsRDPExcept(e);
    }
}

bool CRDPLayer::TakeTally(SampleTally& tally)
{
    if (m_bEmpty || !m_bCreated || !m_bWritable || m_pStats == nullptr || tally.Type() != m_nType ||
        tally.Width() != m_nWidth || tally.Height() != m_nHeight || !tally.Finish())
        return false;
    // The same fields in the same order as MaxMinCount and StatsCalc write them.
    if (m_nFlags & 4) {
        double mn = 0.0, mx = 0.0;
        tally.Extremes(mn, mx);
        SetMax(mx);
        SetMin(mn);
    }
    if ((m_nFlags & 1) && StatsReady() == 0) {
        const double mn = Min();
        const double mx = Max();
        SetStatsReady(0);
        uint32_t counts[256];
        tally.Histogram(mn, mx, counts);
        double mean = 0.0, stdDev = 0.0;
        tally.MeanStdDev(mean, stdDev);
        StoreValueStats(mean, stdDev, counts);
    }
    m_nFlags &= ~5;
    return true;
}

void CRDPLayer::StoreValueStats(double mean, double stdDev, const uint32_t counts[256])
{
    SetMean(mean);
    SetStdDev(stdDev);
    std::memcpy(m_pStats + kStatsHist, counts, 256 * sizeof(uint32_t));
    SetStatsReady(1);
}

void CRDPLayer::SetHistogram(const unsigned* counts)
{
    RequireStatsTag();
    RequireWritable();
    if (counts)
        std::memcpy(m_pStats + kStatsHist, counts, 256 * sizeof(unsigned));
}

void CRDPLayer::RescaleToPreview(unsigned char* buf)
{
    RequireStatsTag();
    if (buf == nullptr)
        return;
    // Into a read-only mapping (its own tag 4, say) nothing may be written.
    const int64_t bytes = int64_t(IsComplex() ? 2 : 1) * kPreviewPlane;
    if (!m_bWritable && InMapping(buf, bytes))
        AfxThrowRDPExcept(RDP_MEMORY);
    try {
        const double mn = Min();
        const double clip = Mean() + 2.0 * StdDev();
        const double range = clip - mn;
        // Without usable statistics every byte is 0 rather than the product of
        // an infinite scale.
        const double scale = range > 0.0 && std::isfinite(range) ? 255.0 / range : 0.0;
        const double stepx = m_nWidth / double(kPreviewSide);
        const double stepy = m_nHeight / double(kPreviewSide);
        int columns[kPreviewSide];
        double x = 0.0;
        for (int c = 0; c < kPreviewSide; ++c, x += stepx)
            columns[c] = std::min(int(x), m_nWidth - 1);

        sample::Dispatch(m_nType, [&](auto kind) {
            using K = decltype(kind);
            using C = typename K::Component;
            double y = 0.0;
            for (int r = 0; r < kPreviewSide; ++r, y += stepy) {
                const auto* row = static_cast<const unsigned char*>(m_ppRows[std::min(int(y), m_nHeight - 1)]);
                unsigned char* out = buf + (kPreviewSide - 1 - r) * kPreviewSide;
                for (int c = 0; c < kPreviewSide; ++c) {
                    const unsigned char* s = row + int64_t(columns[c]) * K::size;
                    double v;
                    if constexpr (K::complex) {
                        const C re = sample::Load<C>(s);
                        const C im = sample::Load<C>(s + sizeof(C));
                        v = sample::Amplitude(re, im);
                        out[kPreviewPlane + c] =
                            sample::LowBytes<unsigned char>(sample::TruncToInt64(Arg(re, im) * sample::kPhaseToBin));
                    } else {
                        v = static_cast<double>(sample::Load<C>(s));
                    }
                    v = v > clip ? clip : v;
                    out[c] = sample::LowBytes<unsigned char>(sample::TruncToInt64((v - mn) * scale));
                }
                if (m_pMeter)
                    m_pMeter->StepIt();
            }
        });
    } catch (plat::Exception* e) {
        RethrowAsRDPExcept(e);
    }
}

// Writes sample into every sample of the rectangle's first row and copies that
// row into its further rows, reporting each row's index.
int CRDPLayer::FillRect(const RECT* rect, const unsigned char* sampleBytes)
{
    RequireWritable();
    const Span span = Clip(rect);
    if (span.Empty())
        return 1;
    try {
        FillSpan(span, sampleBytes);
    } catch (plat::Exception* e) {
        RethrowAsRDPExcept(e);
    }
    return 1;
}

void CRDPLayer::FillSpan(const Span& span, const unsigned char* sampleBytes)
{
    const int64_t offset = int64_t(span.left) * m_nSampleSize;
    const int64_t bytes = (int64_t(span.right) - span.left + 1) * m_nSampleSize;
    unsigned char* first = static_cast<unsigned char*>(m_ppRows[span.top]) + offset;
    std::memcpy(first, sampleBytes, size_t(m_nSampleSize));
    for (int64_t filled = m_nSampleSize; filled < bytes;) {
        const int64_t n = std::min(filled, bytes - filled);
        std::memcpy(first + filled, first, size_t(n));
        filled += n;
    }
    double lo = 0.0, hi = 0.0;
    if (m_pMeter) {
        m_pMeter->GetRange(&lo, &hi);
        m_pMeter->SetRange(span.top, double(span.bottom) + 1.0);
    }
    for (int row = span.top + 1; row <= span.bottom; ++row) {
        if (m_pMeter)
            m_pMeter->SetPos(row);
        std::memcpy(static_cast<unsigned char*>(m_ppRows[row]) + offset, first, size_t(bytes));
    }
    if (m_pMeter)
        m_pMeter->SetRange(lo, hi);
}

int CRDPLayer::SetValue(double value, const RECT* rect)
{
    RequireBound();
    if (value == 0.0 || std::isnan(value))
        return SetZero(rect);
    unsigned char bytes[16];
    sample::StoreDouble(m_nType, value, bytes);
    return FillRect(rect, bytes);
}

int CRDPLayer::SetValue(COMPLEX_FLOAT64 value, const RECT* rect)
{
    RequireBound();
    if (!IsComplex())
        return 1;
    if (value.re == 0.0 && value.im == 0.0)
        return SetZero(rect);
    unsigned char bytes[16];
    sample::StoreComplex(m_nType, value, bytes);
    return FillRect(rect, bytes);
}

int CRDPLayer::SetZero(const RECT* rect)
{
    RequireBound();
    RequireWritable();
    if (rect == nullptr) {
        std::memset(m_pPixels, 0, size_t(m_nTotalSize));
        return 1;
    }
    const Span span = Clip(rect);
    if (span.Empty())
        return 1;
    const int64_t offset = int64_t(span.left) * m_nSampleSize;
    const int64_t bytes = (int64_t(span.right) - span.left + 1) * m_nSampleSize;
    try {
        double lo = 0.0, hi = 0.0;
        if (m_pMeter) {
            m_pMeter->GetRange(&lo, &hi);
            m_pMeter->SetRange(span.top, double(span.bottom) + 1.0);
        }
        for (int row = span.top; row <= span.bottom; ++row) {
            std::memset(static_cast<unsigned char*>(m_ppRows[row]) + offset, 0, size_t(bytes));
            if (m_pMeter)
                m_pMeter->SetPos(row);
        }
        if (m_pMeter)
            m_pMeter->SetRange(lo, hi);
    } catch (plat::Exception* e) {
        RethrowAsRDPExcept(e);
    }
    return 1;
}

void CRDPLayer::GetDoubleLine(int row, double* dst, unsigned part)
{
    RequireBound();
    if (row < 0 || row >= m_nHeight || dst == nullptr)
        AfxThrowRDPExcept(RDP_NEGATIVE_COORD);
    if (!sample::RowToDouble(m_nType, m_ppRows[row], dst, m_nWidth, part))
        AfxThrowRDPExcept(RDP_NEGATIVE_COORD);
}

void CRDPLayer::SetLineFromDouble(int row, const double* src, unsigned part)
{
    RequireBound();
    if (row < 0 || row >= m_nHeight || src == nullptr)
        AfxThrowRDPExcept(RDP_NEGATIVE_COORD);
    RequireWritable();
    if (!sample::RowFromDouble(m_nType, src, m_ppRows[row], m_nWidth, part))
        AfxThrowRDPExcept(RDP_NEGATIVE_COORD);
}

int CRDPLayer::IsComplex() const
{
    return IsComplexType(m_nType);
}

int CRDPLayer::DeleteTMP(int which, std::string file)
{
    return DeleteTMPFiles(which, file.empty() ? m_strFileName : file);
}
