// Region extraction from the display pyramid: 1:1 copy, magnification by pixel
// replication and bilinear reduction with 32.32 fixed-point tables.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "DisplayPyramid.h"
#include "MathHelpers.h"
#include "MeterInfoBase.h"
#include "PyramidFault.h"

namespace {

constexpr int kTile = 256;

void CopyStrided(unsigned char* dst, const unsigned char* src, int count, int dstStep, int srcStep)
{
    if (dstStep == 1 && srcStep == 1) {
        std::memcpy(dst, src, size_t(count));
        return;
    }
    for (int i = 0; i < count; ++i)
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

// a + (b - a) x fraction / 2^32, truncated towards a.
inline uint32_t Lerp(uint32_t a, uint32_t b, uint32_t fraction)
{
    if (b >= a)
        return a + uint32_t((uint64_t(b - a) * fraction) >> 32);
    return a - uint32_t((uint64_t(a - b) * fraction) >> 32);
}

// Pairs and fractions mapping n outputs onto N sources with both corners aligned.
void BuildResampleTable(uint32_t* pairs, uint32_t* fractions, int n, int N)
{
    pairs[0] = 0;
    pairs[1] = 0;
    fractions[0] = 0;
    if (N <= 1 || n <= 1)
        return;
    const uint32_t q = uint32_t(N - 1) / uint32_t(n - 1);
    const uint32_t f = uint32_t((uint64_t(uint32_t(N - 1) % uint32_t(n - 1)) << 32) / uint32_t(n - 1));
    uint32_t index = 0, fraction = 0;
    for (int e = 1; e < n; ++e) {
        const uint64_t sum = uint64_t(fraction) + f;
        fraction = uint32_t(sum);
        index += q + uint32_t(sum >> 32);
        pairs[2 * e] = index;
        pairs[2 * e + 1] = index + 1;
        fractions[e] = fraction;
    }
    pairs[2 * (n - 1) + 1] = uint32_t(N - 1);
}

// Interpolates level row r across into out for table entries x .. x + count - 1.
void LerpColumns(const PyramidLevel& level, int r, const PyramidWork& work, int x, int count, uint32_t* out)
{
    const int tileRow = r / kTile, yoff = r % kTile;
    for (int c = 0; c < level.tilesAcross; ++c) {
        const PyramidTile& t = level.Tile(tileRow, c);
        work.rowPointers[c] = t.data + size_t(yoff) * t.width;
    }
    const uint32_t last = uint32_t(level.width - 1);
    const uint32_t* pairs = work.pairs + 2 * size_t(x);
    const uint32_t* fractions = work.fractions + x;
    const unsigned char* const* rows = work.rowPointers;
    for (int k = 0; k < count; ++k) {
        const uint32_t i0 = std::min(pairs[2 * k], last), i1 = std::min(pairs[2 * k + 1], last);
        const uint32_t a = rows[i0 / kTile][i0 % kTile], b = rows[i1 / kTile][i1 % kTile];
        out[k] = Lerp(a, b, fractions[k]);
    }
}

void LerpRows(const uint32_t* a, const uint32_t* b, uint32_t fraction, int count, unsigned char* dest, int step)
{
    for (int k = 0; k < count; ++k)
        dest[size_t(k) * step] = static_cast<unsigned char>(Lerp(a[k], b[k], fraction));
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

void PyramidTile::CopyMagnified(unsigned char* dest, ptrdiff_t rowBytes, int pixelStep, int xoff, int yoff,
                                int cols, int rows, int factor) const
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

int PyramidLevel::ExtractRegion(unsigned char* dest, int rowBytes, int x, int y, int w, int h, double reduction,
                                PyramidWork& work, int pixelStep, int bottomUp, CMeterInfoBase* meter) const
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
                t.CopyMagnified(dest + outRow * stride + ptrdiff_t(outCol) * pixelStep, stride, pixelStep, xoff,
                                yoff, cols, rows, magnify);
                outCol += cols;
                sourceCol = (sourceCol / kTile + 1) * kTile;
            }
            outRow += rows;
            sourceRow = (tileRow + 1) * kTile;
        }
        return 1;
    }

    if (s == 1.0) {
        double start = 0.0;
        if (meter)
            meter->GetPos(&start);
        int xoffFirst = X0 % kTile, yoff = Y0 % kTile;
        const int spanCols = int((LW + xoffFirst - 1) / kTile) + 1;
        const int spanRows = int((LH + yoff - 1) / kTile) + 1;
        int outRow = 0;
        int64_t restH = LH;
        for (int tr = 0; tr < spanRows; ++tr) {
            int outCol = 0, xoff = xoffFirst;
            int64_t restW = LW;
            const int rows = int(std::min<int64_t>(restH, kTile - yoff));
            for (int tc = 0; tc < spanCols; ++tc) {
                const int cols = int(std::min<int64_t>(restW, kTile - xoff));
                Tile(Y0 / kTile + tr, X0 / kTile + tc)
                    .CopyRows(dest + outRow * stride + ptrdiff_t(outCol) * pixelStep, stride, pixelStep, xoff, yoff,
                              cols, rows);
                outCol += kTile - xoff;
                restW -= kTile - xoff;
                xoff = 0;
            }
            outRow += kTile - yoff;
            restH -= kTile - yoff;
            yoff = 0;
            if (meter)
                meter->SetPos(start + outRow);
        }
        return 1;
    }

    // Bilinear: each source row is interpolated across once while it is in use.
    uint32_t* buffers[2] = {work.rowA, work.rowB};
    int64_t held[2] = {-1, -1};
    auto sourceRow = [&](int64_t r, const uint32_t* keep) -> const uint32_t* {
        for (int i = 0; i < 2; ++i)
            if (held[i] == r)
                return buffers[i];
        const int slot = buffers[0] == keep ? 1 : 0;
        LerpColumns(*this, int(r), work, x, w, buffers[slot]);
        held[slot] = r;
        return buffers[slot];
    };
    const int64_t lastRow = height - 1;
    for (int j = 0; j < h; ++j) {
        const size_t t = size_t(y) + j;
        const uint32_t* a = sourceRow(std::min<int64_t>(work.pairs[2 * t], lastRow), nullptr);
        const uint32_t* b = sourceRow(std::min<int64_t>(work.pairs[2 * t + 1], lastRow), a);
        LerpRows(a, b, work.fractions[t], w, dest + j * stride, pixelStep);
    }
    return 1;
}

int PyramidLevel::GetLine(uint32_t* out, int w, int h, int index, PyramidWork& work) const
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
    if (h == 1)
        ExtractRegion(bytes, count, 0, index, count, 1, 1.0, work, 1, 0, nullptr);
    else
        ExtractRegion(bytes, 1, index, 0, 1, count, 1.0, work, 1, 0, nullptr);
    for (int i = 0; i < count; ++i)
        out[i] = bytes[i];
    return 1;
}

void CDisplayPyramid::SetScale(double reduction)
{
    if (!(reduction > 1.0) || m_nLevelCount == 0 || !std::isfinite(reduction))
        return;
    const PyramidLevel& level = m_pLevels[ChooseLevel(reduction)];
    const double s = reduction / level.step;
    const int N = std::max(level.width, level.height);
    const int n = int(std::min<double>(std::trunc(N / s) + 1, m_nLargerSide));
    BuildResampleTable(m_Work.pairs, m_Work.fractions, n, N);
    m_Work.entries = n;
    m_dTableReduction = reduction;
}

int CDisplayPyramid::GetRegion(unsigned char* dest, int rowBytes, int x, int y, int width, int height,
                               double reduction, int fit, int pixelStep, int bottomUp, CMeterInfoBase* meter)
{
    if (m_nLevelCount == 0 || !dest || pixelStep < 1 || !(reduction > 0.0) || !std::isfinite(reduction))
        return 0;
    return GuardPyramidCall([&] {
        if (reduction < 1.0 && fit)
            return m_pLevels[0].ExtractRegion(dest, rowBytes, 0, 0, m_nWidth, m_nHeight, 1.0, m_Work, pixelStep,
                                              bottomUp, meter);
        const PyramidLevel& level = m_pLevels[ChooseLevel(reduction)];
        // Tables left from another zoom would map the wrong pixels.
        if (reduction / level.step > 1.0 && (m_Work.entries == 0 || m_dTableReduction != reduction))
            SetScale(reduction);
        return level.ExtractRegion(dest, rowBytes, x, y, width, height, reduction, m_Work, pixelStep, bottomUp,
                                   meter);
    });
}

int CDisplayPyramid::GetLine(uint32_t* out, int width, int height, int index)
{
    if (m_nLevelCount == 0 || !out)
        return 0;
    return m_pLevels[0].GetLine(out, width, height, index, m_Work);
}
