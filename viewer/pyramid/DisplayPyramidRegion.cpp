// Region extraction from the display pyramid: 1:1 copy, magnification by pixel
// replication and bilinear reduction with 32.32 fixed-point tables.

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/threads/ParallelFor.h"
#include "jobs/MeterInfoBase.h"
#include "pyramid/DisplayPyramid.h"
#include "pyramid/PyramidFault.h"
#include "pyramid/PyramidLevel.h"
#include "util/MathHelpers.h"

namespace {

constexpr int kTile = kPyramidTile;

bool HasSse41()
{
    static const bool has = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
    return has;
}

// Where each of sixteen source bytes goes in 48 bytes of three-byte pixels (one
// byte a pixel, the first of each), and which of the 48 bytes are its.
struct Step3Masks {
    alignas(16) unsigned char spread[3][16];
    alignas(16) unsigned char mine[3][16];
    Step3Masks()
    {
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 16; ++j) {
                const int at = 16 * k + j;
                spread[k][j] = at % 3 == 0 ? static_cast<unsigned char>(at / 3) : 0x80;
                mine[k][j] = at % 3 == 0 ? 0xFF : 0x00;
            }
    }
};

// dst[3 i] = src[i], sixteen at a time; the bytes between are read and written
// back as they were, never past dst[3 (count - 1)]. The other bytes of those
// pixels must not be written by another thread meanwhile. Returns the bytes done.
__attribute__((target("ssse3,sse4.1"))) int CopyToStep3(unsigned char* dst, const unsigned char* src, int count)
{
    static const Step3Masks masks;
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        unsigned char* d = dst + size_t(3) * size_t(i);
        for (int k = 0; k < 3; ++k) {
            __m128i* at = reinterpret_cast<__m128i*>(d + 16 * k);
            const __m128i spread = _mm_shuffle_epi8(s, _mm_load_si128(reinterpret_cast<const __m128i*>(masks.spread[k])));
            _mm_storeu_si128(at, _mm_blendv_epi8(_mm_loadu_si128(at), spread,
                                                 _mm_load_si128(reinterpret_cast<const __m128i*>(masks.mine[k]))));
        }
    }
    return i;
}

void CopyStrided(unsigned char* dst, const unsigned char* src, int count, int dstStep, int srcStep)
{
    if (dstStep == 1 && srcStep == 1) {
        std::memcpy(dst, src, size_t(count));
        return;
    }
    const int done = dstStep == 3 && srcStep == 1 && HasSse41() ? CopyToStep3(dst, src, count) : 0;
    for (int i = done; i < count; ++i)
        dst[size_t(i) * dstStep] = src[size_t(i) * srcStep];
}

void FillStrided(unsigned char* dst, unsigned char value, int count, int step)
{
    if (step == 1) {
        std::memset(dst, value, size_t(count));
        return;
    }
    for (int i = 0; i < count; ++i)
        dst[size_t(i) * step] = value;
}

// a + (b - a) x fraction / 2^32, truncated towards a, for a and b of 0 to 255.
// The fraction comes split in 16-bit halves so that every product fits 32
// bits (|b - a| x half < 2^24) and the loops vectorise; the result is exact:
// floor(m f / 2^32) = floor((m f1 + floor(m f0 / 2^16)) / 2^16).
inline uint32_t Lerp(uint32_t a, uint32_t b, uint32_t fractionHigh, uint32_t fractionLow)
{
    const int32_t d = int32_t(b - a);
    const uint32_t mask = uint32_t(d >> 31);
    const uint32_t m = (uint32_t(d) ^ mask) - mask;
    const uint32_t q = (m * fractionHigh + ((m * fractionLow) >> 16)) >> 16;
    return a + ((q ^ mask) - mask);
}

// The columns of one region, the same for every row: source columns (clamped
// to the level), split fractions, and for the vector path, per group of eight
// outputs, where its sixteen source bytes start and the byte order that picks
// its eight i0 bytes then its eight i1 bytes out of them. The groups read a
// row's bytes from one contiguous line gathered out of the tiles: from column
// lineFirst on, lineLength bytes, zeros past the level's end.
struct ColumnMap {
    std::vector<uint32_t> c0, c1;
    std::vector<uint16_t> fractionHigh, fractionLow;
    bool grouped = false;  // every group's pairs lie within 16 bytes (always below a reduction of 2)
    uint32_t lineFirst = 0, lineLength = 0;
    std::vector<uint32_t> groupStart;      // where the group's 16 bytes start in the line
    std::vector<unsigned char> groupOrder;  // 16 per group
};

ColumnMap MapColumns(const PyramidWork& work, const PyramidLevel& level, int x, int count)
{
    ColumnMap map;
    const uint32_t last = uint32_t(level.width - 1);
    map.c0.resize(size_t(count));
    map.c1.resize(size_t(count));
    map.fractionHigh.resize(size_t(count));
    map.fractionLow.resize(size_t(count));
    for (int k = 0; k < count; ++k) {
        uint32_t i0, i1, weight;
        work.Entry(int64_t(x) + k, i0, i1, weight);
        map.c0[size_t(k)] = std::min(i0, last);
        map.c1[size_t(k)] = std::min(i1, last);
        map.fractionHigh[size_t(k)] = uint16_t(weight >> 16);
        map.fractionLow[size_t(k)] = uint16_t(weight & 0xFFFF);
    }
    const size_t groups = size_t(count / 8);
    if (groups == 0)
        return map;
    map.groupStart.resize(groups);
    map.groupOrder.resize(16 * groups);
    map.lineFirst = map.c0[0];
    for (size_t g = 0; g < groups; ++g) {
        const uint32_t first = map.c0[8 * g];
        if (first < map.lineFirst)
            return map;
        map.groupStart[g] = first - map.lineFirst;
        map.lineLength = std::max(map.lineLength, first - map.lineFirst + 16);
        for (size_t i = 0; i < 8; ++i) {
            const uint32_t r0 = map.c0[8 * g + i] - first, r1 = map.c1[8 * g + i] - first;
            if (r0 > 15 || r1 > 15)
                return map;
            map.groupOrder[16 * g + i] = static_cast<unsigned char>(r0);
            map.groupOrder[16 * g + 8 + i] = static_cast<unsigned char>(r1);
        }
    }
    map.grouped = true;
    return map;
}

// Level row bytes from column first on, length of them, gathered out of the
// tiles of the row (rowPointers); zeros past the level's end.
void GatherLine(const unsigned char* const* rowPointers, const PyramidLevel& level, uint32_t first, uint32_t length,
                unsigned char* line)
{
    const uint32_t end = first + length;
    const uint32_t have = std::min(end, uint32_t(level.width));
    uint32_t col = first;
    while (col < have) {
        const int tile = int(col / kTile);
        const uint32_t offset = col % kTile;
        const uint32_t n = std::min(have - col, uint32_t(level.Tile(0, tile).width) - offset);
        std::memcpy(line + (col - first), rowPointers[tile] + offset, n);
        col += n;
    }
    if (col < end)
        std::memset(line + (col - first), 0, end - col);
}

inline __m128i GroupBytes(const unsigned char* line, const ColumnMap& map, size_t g)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + map.groupStart[g]));
}

// a + (b - a) f for sixteen 16-bit lanes, f = (fh 2^16 + fl) / 2^32, rounded
// towards a: floor(m f) for m = |b - a| below 256 is the high half of m fh,
// plus the carry out of its low half plus (m fl) >> 16.
__attribute__((target("avx2"))) inline __m256i LerpAvx2(__m256i a, __m256i b, __m256i fh, __m256i fl)
{
    const __m256i d = _mm256_sub_epi16(b, a);
    const __m256i sign = _mm256_srai_epi16(d, 15);
    const __m256i m = _mm256_abs_epi16(d);
    const __m256i rest = _mm256_mulhi_epu16(m, fl);
    const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(m, fh), rest);
    const __m256i noCarry = _mm256_cmpeq_epi16(_mm256_max_epu16(sum, rest), sum);
    const __m256i q = _mm256_add_epi16(_mm256_add_epi16(_mm256_mulhi_epu16(m, fh), noCarry), _mm256_set1_epi16(1));
    return _mm256_add_epi16(a, _mm256_sub_epi16(_mm256_xor_si256(q, sign), sign));
}

// Eight columns per group: one byte shuffle of the group's sixteen source
// bytes gives its pairs; the arithmetic runs on sixteen 16-bit lanes, two
// groups at a time. Returns the columns done.
__attribute__((target("avx2"))) int LerpColumnsAvx2(const unsigned char* line, const ColumnMap& map, int count,
                                                    uint16_t* out, int start)
{
    auto source = [&](size_t g, int) { return GroupBytes(line, map, g); };
    int k = start;
    for (size_t g = size_t(start / 8); k + 16 <= count; k += 16, g += 2) {
        const __m128i p0 =
            _mm_shuffle_epi8(source(g, 0), _mm_loadu_si128(reinterpret_cast<const __m128i*>(&map.groupOrder[16 * g])));
        const __m128i p1 = _mm_shuffle_epi8(
            source(g + 1, 1), _mm_loadu_si128(reinterpret_cast<const __m128i*>(&map.groupOrder[16 * g + 16])));
        const __m256i a = _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(p0, p1));
        const __m256i b = _mm256_cvtepu8_epi16(_mm_unpackhi_epi64(p0, p1));
        const __m256i fh = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&map.fractionHigh[size_t(k)]));
        const __m256i fl = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&map.fractionLow[size_t(k)]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), LerpAvx2(a, b, fh, fl));
    }
    return k;
}

// The same with 32 lanes: four groups a step, each in a 128-bit lane of its own.
__attribute__((target("avx512f,avx512bw"))) inline __m512i LerpAvx512(__m512i a, __m512i b, __m512i fh, __m512i fl)
{
    const __m512i d = _mm512_sub_epi16(b, a);
    const __m512i sign = _mm512_srai_epi16(d, 15);
    const __m512i m = _mm512_abs_epi16(d);
    const __m512i rest = _mm512_mulhi_epu16(m, fl);
    const __m512i sum = _mm512_add_epi16(_mm512_mullo_epi16(m, fh), rest);
    const __m512i high = _mm512_mulhi_epu16(m, fh);
    const __m512i q = _mm512_mask_add_epi16(high, _mm512_cmplt_epu16_mask(sum, rest), high, _mm512_set1_epi16(1));
    return _mm512_add_epi16(a, _mm512_sub_epi16(_mm512_xor_si512(q, sign), sign));
}

__attribute__((target("avx512f,avx512bw"))) int LerpColumnsAvx512(const unsigned char* line, const ColumnMap& map,
                                                                 int count, uint16_t* out)
{
    auto source = [&](size_t g, int) { return GroupBytes(line, map, g); };
    // Each lane's eight i0 bytes are its low quadword, the eight i1 bytes its high one.
    const __m512i split = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    int k = 0;
    for (size_t g = 0; k + 32 <= count; k += 32, g += 4) {
        const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(source(g, 0)), source(g + 1, 1), 1);
        const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(source(g + 2, 2)), source(g + 3, 3), 1);
        const __m512i bytes = _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
        const __m512i pairs = _mm512_permutexvar_epi64(
            split, _mm512_shuffle_epi8(bytes, _mm512_loadu_si512(&map.groupOrder[16 * g])));
        const __m512i a = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(pairs));
        const __m512i b = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(pairs, 1));
        const __m512i fh = _mm512_loadu_si512(&map.fractionHigh[size_t(k)]);
        const __m512i fl = _mm512_loadu_si512(&map.fractionLow[size_t(k)]);
        _mm512_storeu_si512(out + k, LerpAvx512(a, b, fh, fl));
    }
    return k;
}

bool HasAvx512()
{
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return has;
}

// Row interpolation of two rows of sixteen-bit values into bytes.
__attribute__((target("avx2"))) int LerpRowsAvx2(const uint16_t* a16, const uint16_t* b16, uint32_t fraction, int count,
                                                 unsigned char* dest)
{
    const __m256i fh = _mm256_set1_epi16(short(fraction >> 16));
    const __m256i fl = _mm256_set1_epi16(short(fraction & 0xFFFF));
    int k = 0;
    for (; k + 32 <= count; k += 32) {
        __m256i r[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a16 + k + 16 * h));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b16 + k + 16 * h));
            r[h] = LerpAvx2(a, b, fh, fl);
        }
        // packus works per 128-bit lane; the permute puts the bytes back in order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(r[0], r[1]), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + k), packed);
    }
    return k;
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

inline unsigned char LevelByte(const unsigned char* const* rowPointers, uint32_t column)
{
    return rowPointers[column / kTile][column % kTile];
}

// Interpolates level row r across into out, one value per output column. line
// holds map.lineLength bytes.
void LerpColumns(const PyramidLevel& level, int r, const ColumnMap& map, std::vector<const unsigned char*>& rowPointers,
                 unsigned char* line, uint16_t* out)
{
    const int tileRow = r / kTile, yoff = r % kTile;
    for (int c = 0; c < level.tilesAcross; ++c) {
        const PyramidTile& t = level.Tile(tileRow, c);
        rowPointers[size_t(c)] = t.data + size_t(yoff) * t.width;
    }
    const int count = int(map.c0.size());
    const bool vector = map.grouped && HasAvx2();
    if (vector)
        GatherLine(rowPointers.data(), level, map.lineFirst, map.lineLength, line);
    int done = vector && HasAvx512() ? LerpColumnsAvx512(line, map, count, out) : 0;
    if (vector)
        done = LerpColumnsAvx2(line, map, count, out, done);
    for (int k = done; k < count; ++k)
        out[k] = uint16_t(Lerp(LevelByte(rowPointers.data(), map.c0[size_t(k)]),
                               LevelByte(rowPointers.data(), map.c1[size_t(k)]), map.fractionHigh[size_t(k)],
                               map.fractionLow[size_t(k)]));
}

void LerpRows(const uint16_t* a, const uint16_t* b, uint32_t fraction, int count, unsigned char* dest, int step)
{
    if (step != 1 && HasAvx2()) {
        // Made contiguous a piece at a time, then spread to every step-th byte.
        constexpr int kPiece = 1024;
        unsigned char piece[kPiece];
        for (int k = 0; k < count; k += kPiece) {
            const int n = std::min(kPiece, count - k);
            LerpRows(a + k, b + k, fraction, n, piece, 1);
            CopyStrided(dest + size_t(k) * step, piece, n, step, 1);
        }
        return;
    }
    const int done = step == 1 && HasAvx2() ? LerpRowsAvx2(a, b, fraction, count, dest) : 0;
    for (int k = done; k < count; ++k)
        dest[size_t(k) * step] = static_cast<unsigned char>(Lerp(a[k], b[k], fraction >> 16, fraction & 0xFFFF));
}

// Output rows of a bilinear region; each source row is interpolated across
// once while it is in use.
void ResampleRows(const PyramidLevel& level, const PyramidWork& work, const ColumnMap& map, int y, int rows,
                  unsigned char* dest, ptrdiff_t stride, int pixelStep)
{
    const int count = int(map.c0.size());
    std::vector<const unsigned char*> rowPointers(size_t(level.tilesAcross));
    std::vector<unsigned char> line(map.lineLength);
    std::vector<uint16_t> across[2] = {std::vector<uint16_t>(size_t(count)), std::vector<uint16_t>(size_t(count))};
    int64_t held[2] = {-1, -1};
    auto sourceRow = [&](int64_t r, const uint16_t* keep) -> const uint16_t* {
        for (int i = 0; i < 2; ++i)
            if (held[i] == r)
                return across[i].data();
        const int slot = across[0].data() == keep ? 1 : 0;
        LerpColumns(level, int(r), map, rowPointers, line.data(), across[slot].data());
        held[slot] = r;
        return across[slot].data();
    };
    const int64_t lastRow = level.height - 1;
    for (int j = 0; j < rows; ++j) {
        uint32_t i0, i1, weight;
        work.Entry(int64_t(y) + j, i0, i1, weight);
        const uint16_t* a = sourceRow(std::min<int64_t>(i0, lastRow), nullptr);
        const uint16_t* b = sourceRow(std::min<int64_t>(i1, lastRow), a);
        LerpRows(a, b, weight, count, dest + j * stride, pixelStep);
    }
}

}  // namespace

void PyramidTile::CopyRows(unsigned char* dest, ptrdiff_t rowBytes, int pixelStep, int xoff, int yoff, int cols,
                           int rows) const
{
    const unsigned char* src = data + size_t(yoff) * width + xoff;
    for (int j = 0; j < rows; ++j) {
        CopyStrided(dest, src, cols, pixelStep, 1);
        dest += rowBytes;
        src += width;
    }
}

void PyramidTile::CopyMagnified(unsigned char* dest, ptrdiff_t rowBytes, int pixelStep, int xoff, int yoff, int cols,
                                int rows, int factor) const
{
    const unsigned char* src = data + size_t(yoff) * width + xoff;
    const int fullCols = cols / factor, restCols = cols % factor;
    const int fullRows = rows / factor, restRows = rows % factor;
    auto oneRow = [&](const unsigned char* s, unsigned char* d) {
        for (int i = 0; i < fullCols; ++i)
            FillStrided(d + size_t(i) * factor * pixelStep, s[i], factor, pixelStep);
        if (restCols)
            FillStrided(d + size_t(fullCols) * factor * pixelStep, s[fullCols], restCols, pixelStep);
    };
    for (int j = 0; j < fullRows; ++j) {
        oneRow(src, dest);
        for (int k = 1; k < factor; ++k)
            CopyStrided(dest + k * rowBytes, dest, cols, pixelStep, pixelStep);
        dest += factor * rowBytes;
        src += width;
    }
    if (restRows) {
        oneRow(src, dest);
        for (int k = 1; k < restRows; ++k)
            CopyStrided(dest + k * rowBytes, dest, cols, pixelStep, pixelStep);
    }
}

namespace {

// Bands of rows for the parallel loop: a few per thread, so that a thread slowed by
// other work on the machine holds up little.
int BandCount(int64_t w, int64_t h)
{
    return int(std::min<int64_t>(4 * plat::ParallelThreads(), std::max<int64_t>(1, w * h / (1 << 15))));
}

// Output rows [j0, j1) of a 1:1 region whose corner is level pixel (X0, Y0), LW wide.
void CopyLevelRows(const PyramidLevel& level, unsigned char* dest, ptrdiff_t stride, int pixelStep, int X0, int Y0,
                   int64_t LW, int j0, int j1)
{
    for (int j = j0; j < j1;) {
        const int r = Y0 + j, yoff = r % kTile;
        const int rows = std::min(j1 - j, kTile - yoff);
        int64_t outCol = 0;
        for (int col = X0; outCol < LW;) {
            const int xoff = col % kTile;
            const int cols = int(std::min<int64_t>(LW - outCol, kTile - xoff));
            level.Tile(r / kTile, col / kTile)
                .CopyRows(dest + j * stride + ptrdiff_t(outCol) * pixelStep, stride, pixelStep, xoff, yoff, cols, rows);
            outCol += cols;
            col += cols;
        }
        j += rows;
    }
}

}  // namespace

int PyramidLevel::ExtractRegion(unsigned char* dest, int rowBytes, int x, int y, int w, int h, double reduction,
                                const PyramidWork& work, int pixelStep, int bottomUp, CMeterInfoBase* meter,
                                const plat::FunctionRef<void(int64_t, int64_t)>* ready) const
{
    // Rows made in bands are reported by their band; the rest, all of them for the
    // paths that make no bands, at the end.
    int reported = 0;
    const int requested = std::max(h, 0);
    const plat::FunctionRef<void(int64_t, int64_t)>* bandReady = bottomUp ? nullptr : ready;
    const int result = ExtractRows(dest, rowBytes, x, y, w, h, reduction, work, pixelStep, bottomUp, meter, bandReady,
                                   reported);
    if (ready && reported < requested)
        (*ready)(reported, requested);
    return result;
}

int PyramidLevel::ExtractRows(unsigned char* dest, int rowBytes, int x, int y, int w, int h, double reduction,
                              const PyramidWork& work, int pixelStep, int bottomUp, CMeterInfoBase* meter,
                              const plat::FunctionRef<void(int64_t, int64_t)>* ready, int& reported) const
{
    if (w <= 0 || h <= 0 || x < 0 || y < 0)
        return 1;
    const double s = reduction / step;
    const double left = std::trunc(x * s), top = std::trunc(y * s);
    if (!(left < width) || !(top < height))
        return 1;
    const int X0 = int(left), Y0 = int(top);
    const int64_t roomW = width - X0, roomH = height - Y0;
    const int magnify = s < 1.0 ? Round(1.0 / s) : 0;
    if (s < 1.0 && magnify < 1)
        return 1;

    // Extent in level pixels, clipped so no read leaves the level.
    int64_t LW, LH;
    if (magnify) {
        LW = std::min<int64_t>((int64_t(w) + magnify - 1) / magnify, roomW);
        LH = std::min<int64_t>((int64_t(h) + magnify - 1) / magnify, roomH);
        w = int(std::min<int64_t>(w, LW * magnify));
        h = int(std::min<int64_t>(h, LH * magnify));
    } else {
        LW = int64_t(std::ceil(w * s));
        LH = int64_t(std::ceil(h * s));
        if (LW > roomW) {
            LW = roomW;
            w = int(std::trunc(double(LW) / s));
        }
        if (LH > roomH) {
            LH = roomH;
            h = int(std::trunc(double(LH) / s));
        }
        if (s > 1.0) {
            // The tables serve entries below work.entries only.
            w = std::min<int64_t>(w, int64_t(work.entries) - x);
            h = std::min<int64_t>(h, int64_t(work.entries) - y);
        }
    }
    if (w <= 0 || h <= 0)
        return 1;

    ptrdiff_t stride = rowBytes;
    if (bottomUp) {
        dest += ptrdiff_t(h - 1) * stride;
        stride = -stride;
    }

    if (magnify) {
        // Output (i, j) is level pixel (X0 + i / f, Y0 + j / f); each tile gives
        // f output pixels per source pixel it still has.
        int outRow = 0, sourceRow = Y0;
        while (outRow < h) {
            const int tileRow = sourceRow / kTile, yoff = sourceRow % kTile;
            const int tileHeight = Tile(tileRow, 0).height;
            const int rows = int(std::min<int64_t>(h - outRow, int64_t(tileHeight - yoff) * magnify));
            int outCol = 0, sourceCol = X0;
            while (outCol < w) {
                const PyramidTile& t = Tile(tileRow, sourceCol / kTile);
                const int xoff = sourceCol % kTile;
                const int cols = int(std::min<int64_t>(w - outCol, int64_t(t.width - xoff) * magnify));
                t.CopyMagnified(dest + outRow * stride + ptrdiff_t(outCol) * pixelStep, stride, pixelStep, xoff, yoff,
                                cols, rows, magnify);
                outCol += cols;
                sourceCol = (sourceCol / kTile + 1) * kTile;
            }
            outRow += rows;
            sourceRow = (tileRow + 1) * kTile;
        }
        return 1;
    }

    if (s == 1.0) {
        if (ready && !meter) {
            // Bands on the parallel loop, each reported as soon as it is copied.
            const int bands = BandCount(LW, LH);
            plat::ParallelFor(bands, 1, bands, [&](int64_t first, int64_t end, int) {
                for (int64_t band = first; band < end; ++band) {
                    const int j0 = int(LH * band / bands), j1 = int(LH * (band + 1) / bands);
                    CopyLevelRows(*this, dest, stride, pixelStep, X0, Y0, LW, j0, j1);
                    (*ready)(j0, j1);
                }
            });
            reported = int(LH);
            return 1;
        }
        double start = 0.0;
        if (meter)
            meter->GetPos(&start);
        int yoff = Y0 % kTile;
        const int spanRows = int((LH + yoff - 1) / kTile) + 1;
        int outRow = 0;
        int64_t restH = LH;
        for (int tr = 0; tr < spanRows; ++tr) {
            const int rows = int(std::min<int64_t>(restH, kTile - yoff));
            CopyLevelRows(*this, dest, stride, pixelStep, X0, Y0, LW, outRow, outRow + rows);
            outRow += kTile - yoff;
            restH -= kTile - yoff;
            yoff = 0;
            if (meter)
                meter->SetPos(start + outRow);
        }
        return 1;
    }

    // Bilinear, large regions in bands of rows on the parallel loop; each band is
    // reported as soon as it is made.
    const ColumnMap map = MapColumns(work, *this, x, w);
    const int bands = BandCount(w, h);
    plat::ParallelFor(bands, 1, bands, [&](int64_t first, int64_t end, int) {
        for (int64_t band = first; band < end; ++band) {
            const int j0 = int(int64_t(h) * band / bands), j1 = int(int64_t(h) * (band + 1) / bands);
            ResampleRows(*this, work, map, y + j0, j1 - j0, dest + j0 * stride, stride, pixelStep);
            if (ready)
                (*ready)(j0, j1);
        }
    });
    if (ready)
        reported = h;
    return 1;
}

int PyramidLevel::GetLine(uint32_t* out, int w, int h, int index) const
{
    int count;
    if (h == 1) {
        if (index < 0 || index >= height)
            return 0;
        count = std::min(w, width);
    } else if (w == 1) {
        if (index < 0 || index >= width)
            return 0;
        count = std::min(h, height);
    } else {
        return 1;
    }
    if (count <= 0)
        return 1;
    // The bytes land in the array's upper part and widen in place from the
    // first value up, never overtaking an unread byte.
    auto* bytes = reinterpret_cast<unsigned char*>(out) + 3 * size_t(count);
    const PyramidWork work;  // 1:1 needs no tables
    if (h == 1)
        ExtractRegion(bytes, count, 0, index, count, 1, 1.0, work, 1, 0, nullptr);
    else
        ExtractRegion(bytes, 1, index, 0, 1, count, 1.0, work, 1, 0, nullptr);
    for (int i = 0; i < count; ++i)
        out[i] = bytes[i];
    return 1;
}

PyramidWork PyramidWork::For(const PyramidLevel& level, double reduction, int largerSide)
{
    PyramidWork work;
    const double s = reduction / level.step;
    if (!(s > 1.0) || !std::isfinite(s))
        return work;
    const int N = std::max(level.width, level.height);
    const int n = int(std::min<double>(std::trunc(N / s) + 1, largerSide));
    work.entries = n;
    work.last = uint32_t(N - 1);
    if (N > 1 && n > 1) {
        work.whole = uint32_t(N - 1) / uint32_t(n - 1);
        work.fraction = uint32_t((uint64_t(uint32_t(N - 1) % uint32_t(n - 1)) << 32) / uint32_t(n - 1));
    }
    return work;
}

void CDisplayPyramid::SetScale(double) {}

int CDisplayPyramid::GetRegion(unsigned char* dest, int rowBytes, int x, int y, int width, int height, double reduction,
                               int fit, int pixelStep, int bottomUp, CMeterInfoBase* meter,
                               const plat::FunctionRef<void(int64_t, int64_t)>* ready) const
{
    if (m_nLevelCount == 0 || !dest || pixelStep < 1 || !(reduction > 0.0) || !std::isfinite(reduction))
        return 0;
    return GuardPyramidCall([&] {
        if (reduction < 1.0 && fit)
            return m_pLevels[0].ExtractRegion(dest, rowBytes, 0, 0, m_nWidth, m_nHeight, 1.0, PyramidWork{}, pixelStep,
                                              bottomUp, meter, ready);
        const PyramidLevel& level = m_pLevels[ChooseLevel(reduction)];
        return level.ExtractRegion(dest, rowBytes, x, y, width, height, reduction,
                                   PyramidWork::For(level, reduction, m_nLargerSide), pixelStep, bottomUp, meter,
                                   ready);
    });
}

int CDisplayPyramid::GetLine(uint32_t* out, int width, int height, int index) const
{
    if (m_nLevelCount == 0 || !out)
        return 0;
    return m_pLevels[0].GetLine(out, width, height, index);
}
