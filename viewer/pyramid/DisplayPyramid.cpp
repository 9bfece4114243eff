#include "pyramid/DisplayPyramid.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/errors/FaultGuard.h"
#include "platform/files/MappedFile.h"
#include "platform/threads/ParallelFor.h"
#include "files/TempFiles.h"
#include "format/SampleConvert.h"
#include "jobs/MeterInfoBase.h"
#include "layer/DataTypes.h"
#include "pyramid/PyramidFault.h"
#include "pyramid/PyramidLevel.h"
#include "util/MathHelpers.h"

namespace {

constexpr int kTile = kPyramidTile;
constexpr double kPhaseToDisplay = 40.58451048843335;  // 255 / 6.28318530717958

// Reads one byte per page so the pages of a block come in in address order.
void TouchPages(const unsigned char* p, int64_t reads)
{
    unsigned sum = 0;
    for (int64_t i = 0; i < reads; ++i)
        sum += reinterpret_cast<const volatile unsigned char*>(p)[i * 4096];
    static std::atomic<unsigned> sink;
    sink.fetch_add(sum, std::memory_order_relaxed);
}

// The same over rows of sampleBytes each, rowBytes apart: one byte of each page
// that holds samples, never a byte between or after the rows.
void TouchRows(const unsigned char* first, ptrdiff_t rowBytes, int64_t rows, int64_t sampleBytes)
{
    constexpr uintptr_t kPage = 4096;
    unsigned sum = 0;
    uintptr_t touched = 0;  // the last page read, plus one page
    for (int64_t r = 0; r < rows; ++r) {
        const uintptr_t begin = uintptr_t(first + r * rowBytes), end = begin + uintptr_t(sampleBytes);
        for (uintptr_t page = begin & ~(kPage - 1); page < end; page += kPage) {
            if (page + kPage == touched)
                continue;
            sum += *reinterpret_cast<const volatile unsigned char*>(std::max(page, begin));
            touched = page + kPage;
        }
    }
    static std::atomic<unsigned> sink;
    sink.fetch_add(sum, std::memory_order_relaxed);
}

// Display value of a real or amplitude value already scaled to 0..255, or of a
// phase already multiplied out. The clamp comes first, in double, so that NaN
// and values far outside the range never reach an int conversion; inside the
// range the magic constant rounds half to even under round-to-nearest.
inline unsigned char ToDisplay(double x)
{
    x = x > 0.0 ? x : 0.0;
    x = x < 255.0 ? x : 255.0;
    return static_cast<unsigned char>(static_cast<int>((x + 6755399441055744.0) - 6755399441055744.0));
}

// One row of n display values from samples of kind K. Complex kinds give the
// amplitude, or the phase when asPhase is set.
template <class K>
void DisplayRow(const unsigned char* src, unsigned char* dst, int n, bool asPhase, double lo, double scale)
{
    using C = typename K::Component;
    constexpr size_t kSize = size_t(K::size);
    if constexpr (!K::complex) {
        for (int i = 0; i < n; ++i)
            dst[i] = ToDisplay((double(sample::Load<C>(src + size_t(i) * kSize)) - lo) * scale);
    } else if (asPhase) {
        // Signed bytes are read as char, which has an Arg of its own.
        using P = std::conditional_t<std::is_same_v<C, int8_t>, char, C>;
        for (int i = 0; i < n; ++i) {
            const P re = sample::Load<P>(src + size_t(i) * kSize);
            const P im = sample::Load<P>(src + size_t(i) * kSize + sizeof(C));
            dst[i] = ToDisplay(Arg(re, im) * kPhaseToDisplay);
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const double re = double(sample::Load<C>(src + size_t(i) * kSize));
            const double im = double(sample::Load<C>(src + size_t(i) * kSize + sizeof(C)));
            dst[i] = ToDisplay((Sqrt(re * re + im * im) - lo) * scale);
        }
    }
}

// Counts n display values; four partial tables break the chain of increments
// on runs of equal values.
void CountValues(const unsigned char* p, int64_t n, uint32_t (*part)[256])
{
    int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++part[0][p[i]];
        ++part[1][p[i + 1]];
        ++part[2][p[i + 2]];
        ++part[3][p[i + 3]];
    }
    for (; i < n; ++i)
        ++part[0][p[i]];
}

// 2 x 2 average of a child of w x h pixels into a quadrant whose rows are
// stride bytes apart.
void ReduceChild(const PyramidTile& child, unsigned char* out, int stride)
{
    const int w = child.width, h = child.height;
    const int pairsAcross = w / 2, pairsDown = h / 2;
    const unsigned char* src = child.data;
    for (int j = 0; j < pairsDown; ++j) {
        const unsigned char* a = src + size_t(2 * j) * w;
        const unsigned char* b = a + w;
        unsigned char* o = out + size_t(j) * stride;
        for (int i = 0; i < pairsAcross; ++i)
            o[i] = static_cast<unsigned char>((a[2 * i] + a[2 * i + 1] + b[2 * i] + b[2 * i + 1]) >> 2);
        if (w & 1)
            o[pairsAcross] = static_cast<unsigned char>((a[w - 1] + b[w - 1]) >> 1);
    }
    if (h & 1) {
        const unsigned char* a = src + size_t(h - 1) * w;
        unsigned char* o = out + size_t(pairsDown) * stride;
        for (int i = 0; i < pairsAcross; ++i)
            o[i] = static_cast<unsigned char>((a[2 * i] + a[2 * i + 1]) >> 1);
        if (w & 1)
            o[pairsAcross] = a[w - 1];
    }
}

// The bytes of tile row r of a level: its tiles lie one after another. The
// level is often a new file's mapping: faulting a band's pages in one call is
// much cheaper than a fault per page as the band is written.
void PrefaultTileRow(const PyramidLevel& level, int r)
{
    const PyramidTile& first = level.Tile(r, 0);
    const PyramidTile& last = level.Tile(r, level.tilesAcross - 1);
    plat::PrefaultForWrite(first.data, int64_t(last.data - first.data) + last.size);
}

// Runs work(band, slot) for every band on the parallel loop, and then(band) on
// the calling thread for each band once it and all before it are done, in band
// order. slot (below threads) tells apart the bands running at one time. An exception of then (the meter's cancel)
// leaves with no band running.
template <class Work, class Then>
void RunBands(int bands, int threads, Work&& work, Then&& then)
{
    int64_t reported = 0;
    plat::ParallelFor(
        bands, 1, threads,
        [&](int64_t first, int64_t end, int slot) {
            for (int64_t b = first; b < end; ++b)
                work(int(b), slot);
        },
        [&](int64_t done) {
            for (; reported < done; ++reported)
                then(int(reported));
        });
}

}  // namespace

int PyramidLevelCount(int width, int height)
{
    if (width < 1 || height < 1)
        return 0;
    const int m = std::max(width, height);
    if (m < 257)
        return 1;
    return 1 + Round(std::log((double(m) + 255) / 256.0) / std::log(2.0));
}

int64_t GetViewerTempSize(int width, int height)
{
    const int levels = PyramidLevelCount(width, height);
    int64_t total = 0;
    for (int k = 0; k < levels; ++k) {
        const int64_t s = int64_t(1) << k;
        total += ((width + s - 1) / s) * ((height + s - 1) / s);
    }
    return total;
}

int64_t GetDisplayCacheSize(int width, int height)
{
    const int64_t levels = GetViewerTempSize(width, height);
    return levels ? kDisplayCacheLevelsOffset + levels : 0;
}

// ---- PyramidTile ---------------------------------------------------------

void PyramidTile::Set(unsigned char* tileData, int tileStep, int left, int top, int right, int bottom)
{
    x0 = left;
    y0 = top;
    x1 = right;
    y1 = bottom;
    step = tileStep;
    width = int((int64_t(x1) - x0 + step) / step);
    height = int((int64_t(y1) - y0 + step) / step);
    size = width * height;
    data = tileData;
}

int PyramidTile::ScaleToDisplay(unsigned char* dest, uint32_t* histogram, const void* samples, ptrdiff_t rowBytes,
                                int type, int phase, double lo, double hi, int left, int top, int right, int bottom)
{
    Set(dest, 1, left, top, right, bottom);
    const double scale = hi == lo ? 0.0 : 255.0 / (hi - lo);
    const bool asPhase = (phase & 1) != 0;
    bool counted = true;

    const int savedMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const auto* base = static_cast<const unsigned char*>(samples);
    const bool known = sample::Dispatch(type, [&](auto kind) {
        using K = decltype(kind);
        counted = !(K::complex && asPhase);
        for (int row = 0; row < height; ++row) {
            const unsigned char* src = base + (int64_t(y0) + row) * rowBytes + int64_t(x0) * K::size;
            DisplayRow<K>(src, dest + size_t(row) * width, width, asPhase, lo, scale);
        }
    });
    std::fesetround(savedMode);
    if (!known)
        return 1;

    if (counted && histogram) {
        uint32_t part[4][256] = {};
        CountValues(dest, size, part);
        for (int v = 0; v < 256; ++v)
            histogram[v] += part[0][v] + part[1][v] + part[2][v] + part[3][v];
    }
    return 1;
}

int PyramidTile::Reduce(unsigned char* dest, const PyramidTile* topLeft, const PyramidTile* topRight,
                        const PyramidTile* bottomLeft, const PyramidTile* bottomRight)
{
    const PyramidTile* right = topRight ? topRight : topLeft;
    const PyramidTile* bottom = bottomLeft ? bottomLeft : topLeft;
    Set(dest, topLeft->step * 2, topLeft->x0, topLeft->y0, right->x1, bottom->y1);
    const int half = kTile / 2;
    ReduceChild(*topLeft, dest, width);
    if (topRight)
        ReduceChild(*topRight, dest + half, width);
    if (bottomLeft)
        ReduceChild(*bottomLeft, dest + size_t(half) * width, width);
    if (bottomRight)
        ReduceChild(*bottomRight, dest + size_t(half) * width + half, width);
    return 1;
}

// ---- PyramidLevel: building ----------------------------------------------

void PyramidLevel::Layout(unsigned char* data, int w, int h, int s)
{
    fullWidth = w;
    fullHeight = h;
    step = s;
    width = int((int64_t(w) + s - 1) / s);
    height = int((int64_t(h) + s - 1) / s);
    tilesAcross = (width + kTile - 1) / kTile;
    tilesDown = (height + kTile - 1) / kTile;
    tiles = std::make_unique<PyramidTile[]>(size_t(tilesAcross) * tilesDown);
    const int64_t span = int64_t(kTile) * s;  // level-0 pixels a full tile covers
    unsigned char* p = data;
    for (int r = 0; r < tilesDown; ++r) {
        const int64_t top = span * r;
        const int64_t bottom = r == tilesDown - 1 ? h - 1 : top + span - 1;
        for (int c = 0; c < tilesAcross; ++c) {
            const int64_t left = span * c;
            const int64_t right = c == tilesAcross - 1 ? w - 1 : left + span - 1;
            PyramidTile& t = tiles[size_t(r) * tilesAcross + c];
            t.Set(p, s, int(left), int(top), int(right), int(bottom));
            p += t.size;
        }
    }
}

int PyramidLevel::BuildBase(unsigned char* levels, const void* samples, int w, int h, ptrdiff_t rowBytes, int type,
                            int phase, double lo, double hi, CMeterInfoBase* meter)
{
    Layout(levels, w, h, 1);
    unsigned char* histogramBytes = levels - kDisplayHistogramSize;
    std::memset(histogramBytes, 0, kDisplayHistogramSize);

    // Each slot counts into its own table; they are summed at the end.
    const int threads = plat::ParallelThreadsFor(ByteSize());
    std::vector<uint32_t> counts(size_t(threads) * 256, 0);
    const auto* source = static_cast<const unsigned char*>(samples);
    const int64_t sampleBytes = int64_t(w) * GetDataTypeSize(type);
    auto work = [&](int r, int slot) {
        const int64_t y0 = int64_t(r) * kTile;
        const int64_t rows = std::min<int64_t>(kTile, h - y0);
        // The samples are a mapped file that another program may cut short: a band
        // that reads lost pages ends in a HardwareFault on whichever thread reads
        // it. The guarded part allocates nothing, so abandoning it loses nothing.
        plat::CallFaultGuarded([&] {
            if (sampleBytes)
                TouchRows(source + y0 * rowBytes, rowBytes, rows, sampleBytes);
            PrefaultTileRow(*this, r);
            for (int c = 0; c < tilesAcross; ++c) {
                PyramidTile& t = tiles[size_t(r) * tilesAcross + c];
                t.ScaleToDisplay(t.data, &counts[size_t(slot) * 256], samples, rowBytes, type, phase, lo, hi, t.x0,
                                 t.y0, t.x1, t.y1);
            }
        });
    };
    auto then = [&](int) {
        if (meter)
            for (int c = 0; c < tilesAcross; ++c)
                meter->StepIt();
    };
    RunBands(tilesDown, threads, work, then);

    uint32_t histogram[256] = {};
    for (size_t slot = 0; slot < counts.size() / 256; ++slot)
        for (int v = 0; v < 256; ++v)
            histogram[v] += counts[slot * 256 + v];
    std::memcpy(histogramBytes, histogram, sizeof histogram);
    return 1;
}

int PyramidLevel::BuildReduced(unsigned char* data, const PyramidLevel& previous, CMeterInfoBase* meter)
{
    Layout(data, previous.fullWidth, previous.fullHeight, previous.step * 2);
    auto work = [&](int r, int) {
        const int top = 2 * r, below = 2 * r + 1;
        const bool hasBelow = below < previous.tilesDown;
        const PyramidTile& first = previous.Tile(top, 0);
        const int64_t sourceRows = first.height + (hasBelow ? previous.Tile(below, 0).height : 0);
        TouchPages(first.data, (sourceRows * previous.width) / 4096);
        PrefaultTileRow(*this, r);
        for (int c = 0; c < tilesAcross; ++c) {
            const int left = 2 * c, right = 2 * c + 1;
            const bool hasRight = right < previous.tilesAcross;
            PyramidTile& t = tiles[size_t(r) * tilesAcross + c];
            t.Reduce(t.data, &previous.Tile(top, left), hasRight ? &previous.Tile(top, right) : nullptr,
                     hasBelow ? &previous.Tile(below, left) : nullptr,
                     hasBelow && hasRight ? &previous.Tile(below, right) : nullptr);
        }
    };
    auto then = [&](int) {
        if (meter)
            for (int c = 0; c < tilesAcross; ++c)
                meter->StepIt();
    };
    RunBands(tilesDown, plat::ParallelThreadsFor(previous.ByteSize()), work, then);
    return 1;
}

// ---- CDisplayPyramid -----------------------------------------------------

CDisplayPyramid::CDisplayPyramid() = default;

CDisplayPyramid::~CDisplayPyramid()
{
    Free();
}

void CDisplayPyramid::Free()
{
    m_pLevels.reset();
    m_nLargerSide = 0;
    m_nWidth = 0;
    m_nHeight = 0;
    m_pData = nullptr;
    m_nTotalSize = 0;
    m_nLevelCount = 0;
}

void CDisplayPyramid::Prepare(unsigned char* levels, int width, int height)
{
    try {
        m_nWidth = width;
        m_nHeight = height;
        m_nLargerSide = std::max(width, height);
        m_pData = levels;
        m_nLevelCount = PyramidLevelCount(width, height);
        m_pLevels = std::make_unique<PyramidLevel[]>(size_t(m_nLevelCount));
    } catch (const std::bad_alloc&) {
        Free();
        plat::ThrowMemoryException();
    }
}

int CDisplayPyramid::Build(unsigned char* levels, const void* samples, int width, int height, ptrdiff_t rowBytes,
                           int type, int phase, double lo, double hi, CMeterInfoBase* meter, unsigned char* cacheHeader)
{
    Free();
    const int sampleSize = GetDataTypeSize(type);
    if (!levels || width < 1 || height < 1 || (sampleSize && (!samples || rowBytes < int64_t(width) * sampleSize)))
        return 0;
    if (cacheHeader && cacheHeader + kDisplayCacheLevelsOffset != levels)
        return 0;

    // The cache is invalid (time 0) until its time is back, after everything
    // else is written. A cache can be built again, so nothing waits for the
    // disk: the page cache that every mapper shares holds the order.
    CTempInfoStruct header;
    if (cacheHeader) {
        header = CTempInfoStruct::Load(cacheHeader);
        CTempInfoStruct(header.m_flag, 0).Store(cacheHeader);
    }
    try {
        Prepare(levels, width, height);
        if (meter) {
            int64_t tiles = 0;
            for (int k = 0; k < m_nLevelCount; ++k) {
                const int64_t s = int64_t(1) << k;
                tiles += ((width + s - 1) / s + kTile - 1) / kTile * (((height + s - 1) / s + kTile - 1) / kTile);
            }
            meter->SetRange(0, double(tiles));
        }
        m_pLevels[0].BuildBase(levels, samples, width, height, rowBytes, type, phase, lo, hi, meter);
        int64_t offset = m_pLevels[0].ByteSize();
        for (int k = 1; k < m_nLevelCount; ++k) {
            m_pLevels[k].BuildReduced(levels + offset, m_pLevels[k - 1], meter);
            offset += m_pLevels[k].ByteSize();
        }
        m_nTotalSize = offset;
        if (cacheHeader)
            header.Store(cacheHeader);
    } catch (const std::bad_alloc&) {
        Free();
        plat::ThrowMemoryException();
    } catch (...) {
        Free();
        throw;
    }
    return 1;
}

int CDisplayPyramid::Attach(unsigned char* levels, int width, int height, int64_t length)
{
    Free();
    // A block cut short (a cache file truncated after it was validated, say)
    // would let regions read past the mapping.
    if (!levels || width < 1 || height < 1 || length < GetViewerTempSize(width, height))
        return 0;
    return GuardPyramidCall([&] {
        Prepare(levels, width, height);
        int64_t offset = 0;
        for (int k = 0; k < m_nLevelCount; ++k) {
            m_pLevels[k].Layout(levels + offset, width, height, 1 << k);
            offset += m_pLevels[k].ByteSize();
        }
        m_nTotalSize = offset;
        return 1;
    });
}

const PyramidLevel& CDisplayPyramid::Level(int k) const
{
    return m_pLevels[size_t(k)];
}

int CDisplayPyramid::ChooseLevel(double reduction) const
{
    int level = 0;
    double step = 1.0;
    while (step <= reduction && level < m_nLevelCount) {
        step *= 2;
        ++level;
    }
    return std::max(level - 1, 0);
}
