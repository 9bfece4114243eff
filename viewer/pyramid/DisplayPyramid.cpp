#include "pyramid/DisplayPyramid.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "pyramid/BandPool.h"
#include "layer/DataTypes.h"
#include "Exception.h"
#include "util/MathHelpers.h"
#include "jobs/MeterInfoBase.h"
#include "pyramid/PyramidFault.h"
#include "files/TempFiles.h"

namespace {

constexpr int kTile = 256;
constexpr double kPhaseToDisplay = 40.58451048843335;  // 255 / 6.28318530717958

// Flushes the pages holding [p, p + n) to the file behind them. Memory that no
// file backs takes it as a no-op.
void FlushBlock(const void* p, size_t n, bool wait)
{
    if (n == 0)
        return;
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = uintptr_t(p) & ~(page - 1);
    const uintptr_t end = uintptr_t(p) + n;
    if (msync(reinterpret_cast<void*>(begin), end - begin, wait ? MS_SYNC : MS_ASYNC) != 0 && wait)
        plat::FileException::ThrowOsError(errno, "");
}

// Reads one byte per page so the pages of a band come in in address order.
void TouchPages(const unsigned char* p, int64_t reads)
{
    unsigned sum = 0;
    for (int64_t i = 0; i < reads; ++i)
        sum += reinterpret_cast<const volatile unsigned char*>(p)[i * 4096];
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

template <typename T>
inline T Load(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template <typename T>
void RealRow(const unsigned char* src, unsigned char* dst, int n, double lo, double scale)
{
    for (int i = 0; i < n; ++i)
        dst[i] = ToDisplay((double(Load<T>(src + size_t(i) * sizeof(T))) - lo) * scale);
}

template <typename T>
void AmplitudeRow(const unsigned char* src, unsigned char* dst, int n, double lo, double scale)
{
    for (int i = 0; i < n; ++i) {
        const double re = double(Load<T>(src + size_t(i) * 2 * sizeof(T)));
        const double im = double(Load<T>(src + size_t(i) * 2 * sizeof(T) + sizeof(T)));
        dst[i] = ToDisplay((Sqrt(re * re + im * im) - lo) * scale);
    }
}

template <typename T>
void PhaseRow(const unsigned char* src, unsigned char* dst, int n)
{
    for (int i = 0; i < n; ++i) {
        const T re = Load<T>(src + size_t(i) * 2 * sizeof(T));
        const T im = Load<T>(src + size_t(i) * 2 * sizeof(T) + sizeof(T));
        dst[i] = ToDisplay(Arg(re, im) * kPhaseToDisplay);
    }
}

// Amplitude or phase of complex parts of type T. Signed bytes are read as char
// for the phase, which has its own Arg.
template <typename T, typename PhaseT = T>
void ComplexRow(bool asPhase, const unsigned char* src, unsigned char* dst, int n, double lo, double scale)
{
    static_assert(sizeof(T) == sizeof(PhaseT));
    if (asPhase)
        PhaseRow<PhaseT>(src, dst, n);
    else
        AmplitudeRow<T>(src, dst, n, lo, scale);
}

// One row of display values; false for an unknown sample type.
bool ConvertRow(int type, int phase, const unsigned char* src, unsigned char* dst, int n, double lo, double scale)
{
    const bool asPhase = (phase & 1) != 0;
    switch (type) {
    case UINT8: RealRow<uint8_t>(src, dst, n, lo, scale); return true;
    case SINT8: RealRow<int8_t>(src, dst, n, lo, scale); return true;
    case UINT16: RealRow<uint16_t>(src, dst, n, lo, scale); return true;
    case SINT16: RealRow<int16_t>(src, dst, n, lo, scale); return true;
    case UINT32: RealRow<uint32_t>(src, dst, n, lo, scale); return true;
    case SINT32: RealRow<int32_t>(src, dst, n, lo, scale); return true;
    case FLOAT32: RealRow<float>(src, dst, n, lo, scale); return true;
    case FLOAT64: RealRow<double>(src, dst, n, lo, scale); return true;
    default: break;
    }
    switch (type) {
    case CFLOAT32: ComplexRow<float>(asPhase, src, dst, n, lo, scale); return true;
    case CFLOAT64: ComplexRow<double>(asPhase, src, dst, n, lo, scale); return true;
    case CUINT8: ComplexRow<uint8_t>(asPhase, src, dst, n, lo, scale); return true;
    case CSINT8: ComplexRow<int8_t, char>(asPhase, src, dst, n, lo, scale); return true;
    case CUINT16: ComplexRow<uint16_t>(asPhase, src, dst, n, lo, scale); return true;
    case CSINT16: ComplexRow<int16_t>(asPhase, src, dst, n, lo, scale); return true;
    case CUINT32: ComplexRow<uint32_t>(asPhase, src, dst, n, lo, scale); return true;
    case CSINT32: ComplexRow<int32_t>(asPhase, src, dst, n, lo, scale); return true;
    default: return false;
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

// Runs work(band, slot) for every band, a pool's width of bands at a time,
// and then(band) on the calling thread after each such group, in band order.
// slot tells the bands of a group apart. An exception of then (the meter's
// cancel) leaves with no band running.
void RunBands(int bands, int64_t bytes, const std::function<void(int, int)>& work,
              const std::function<void(int)>& then)
{
    // Small levels are not worth a thread.
    const int group = bytes < (int64_t(1) << 20) ? 1 : BandPoolSize();
    for (int first = 0; first < bands; first += group) {
        const int n = std::min(group, bands - first);
        RunOnBandPool(n, [&](int i) { work(first + i, i); });
        for (int b = first; b < first + n; ++b)
            then(b);
    }
}

int WorkerSlots()
{
    return BandPoolSize();
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
                                int type, int phase, double lo, double hi, int left, int top, int right,
                                int bottom)
{
    Set(dest, 1, left, top, right, bottom);
    const double scale = hi == lo ? 0.0 : 255.0 / (hi - lo);
    const int sampleSize = GetDataTypeSize(type);
    if (sampleSize == 0)
        return 1;
    const bool counted = !(IsComplexType(type) && (phase & 1));

    const int savedMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const auto* base = static_cast<const unsigned char*>(samples);
    for (int row = 0; row < height; ++row) {
        const unsigned char* src = base + (int64_t(y0) + row) * rowBytes + int64_t(x0) * sampleSize;
        ConvertRow(type, phase, src, dest + size_t(row) * width, width, lo, scale);
    }
    std::fesetround(savedMode);

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

int PyramidLevel::BuildBase(unsigned char* levels, const void* samples, int w, int h, ptrdiff_t rowBytes,
                            int type, int phase, double lo, double hi, CMeterInfoBase* meter)
{
    Layout(levels, w, h, 1);
    unsigned char* histogramBytes = levels - kDisplayHistogramSize;
    std::memset(histogramBytes, 0, kDisplayHistogramSize);

    // Each worker counts into its own table; they are summed at the end.
    std::vector<uint32_t> counts(size_t(WorkerSlots()) * 256, 0);
    const auto* source = static_cast<const unsigned char*>(samples);
    const bool known = GetDataTypeSize(type) != 0;
    auto work = [&](int r, int slot) {
        const int64_t y0 = int64_t(r) * kTile;
        const int64_t rows = std::min<int64_t>(kTile, h - y0);
        if (known)
            TouchPages(source + y0 * rowBytes, rows == kTile ? rowBytes / 16 : (rowBytes * rows) / 4096);
        for (int c = 0; c < tilesAcross; ++c) {
            PyramidTile& t = tiles[size_t(r) * tilesAcross + c];
            t.ScaleToDisplay(t.data, &counts[size_t(slot) * 256], samples, rowBytes, type, phase, lo, hi, t.x0,
                             t.y0, t.x1, t.y1);
        }
    };
    auto then = [&](int r) {
        const PyramidTile& first = tiles[size_t(r) * tilesAcross];
        if (meter)
            for (int c = 0; c < tilesAcross; ++c)
                meter->StepIt();
        FlushBlock(first.data, size_t(first.height) * width, false);
    };
    RunBands(tilesDown, ByteSize(), work, then);

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
        for (int c = 0; c < tilesAcross; ++c) {
            const int left = 2 * c, right = 2 * c + 1;
            const bool hasRight = right < previous.tilesAcross;
            PyramidTile& t = tiles[size_t(r) * tilesAcross + c];
            t.Reduce(t.data, &previous.Tile(top, left), hasRight ? &previous.Tile(top, right) : nullptr,
                     hasBelow ? &previous.Tile(below, left) : nullptr,
                     hasBelow && hasRight ? &previous.Tile(below, right) : nullptr);
        }
    };
    auto then = [&](int r) {
        const PyramidTile& first = tiles[size_t(r) * tilesAcross];
        if (meter)
            for (int c = 0; c < tilesAcross; ++c)
                meter->StepIt();
        FlushBlock(first.data, size_t(first.height) * width, false);
    };
    RunBands(tilesDown, previous.ByteSize(), work, then);
    return 1;
}

// ---- CDisplayPyramid -----------------------------------------------------

CDisplayPyramid::~CDisplayPyramid()
{
    Free();
}

void CDisplayPyramid::Free()
{
    m_pLevels.reset();
    m_pWorkBuffer.reset();
    m_Work = PyramidWork{};
    m_dTableReduction = 0.0;
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
        const size_t m = size_t(m_nLargerSide);
        m_pWorkBuffer = std::make_unique<uint32_t[]>(3 * m);
        m_Work.pairs = m_pWorkBuffer.get();
        m_Work.fractions = m_Work.pairs + 2 * m;
        m_Work.entries = 0;
        m_pData = levels;
        m_nLevelCount = PyramidLevelCount(width, height);
        m_pLevels = std::make_unique<PyramidLevel[]>(size_t(m_nLevelCount));
    } catch (const std::bad_alloc&) {
        Free();
        plat::ThrowMemoryException();
    }
}

int CDisplayPyramid::Build(unsigned char* levels, const void* samples, int width, int height, ptrdiff_t rowBytes,
                           int type, int phase, double lo, double hi, CMeterInfoBase* meter,
                           unsigned char* cacheHeader)
{
    Free();
    const int sampleSize = GetDataTypeSize(type);
    if (!levels || width < 1 || height < 1 || (sampleSize && (!samples || rowBytes < int64_t(width) * sampleSize)))
        return 0;
    if (cacheHeader && cacheHeader + kDisplayCacheLevelsOffset != levels)
        return 0;

    // The cache is invalid (time 0) until its time is back, after everything
    // else is on disk.
    CTempInfoStruct header;
    if (cacheHeader) {
        header = CTempInfoStruct::Load(cacheHeader);
        CTempInfoStruct(header.m_flag, 0).Store(cacheHeader);
        FlushBlock(cacheHeader, kDisplayCacheHeaderSize, true);
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
        if (cacheHeader) {
            FlushBlock(levels - kDisplayHistogramSize, size_t(offset) + kDisplayHistogramSize, true);
            header.Store(cacheHeader);
            FlushBlock(cacheHeader, kDisplayCacheHeaderSize, true);
        }
    } catch (const std::bad_alloc&) {
        Free();
        plat::ThrowMemoryException();
    } catch (...) {
        Free();
        throw;
    }
    return 1;
}

int CDisplayPyramid::Attach(unsigned char* levels, int width, int height)
{
    Free();
    if (!levels || width < 1 || height < 1)
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
