// Window copy between layers with sample type conversion.

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/files/MappedFile.h"
#include "platform/threads/ParallelFor.h"
#include "format/RowConvert.h"
#include "jobs/MeterInfoBase.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"

int CRDPLayer::ReadData(CRDPLayer* src, CPoint srcPos, CPoint dstPos, CSize size)
{
    if (m_bEmpty || src == nullptr || src->m_bEmpty)
        AfxThrowRDPExcept(RDP_EMPTY_LAYER);

    // Inclusive ends, in 64 bits so that no position or size can overflow them.
    const bool whole = size.cx == -1;
    const std::int64_t w = whole ? m_nWidth : size.cx;
    const std::int64_t h = whole ? m_nHeight : size.cy;
    const std::int64_t srcX = srcPos.x, srcY = srcPos.y, dstX = dstPos.x, dstY = dstPos.y;
    std::int64_t lastCol = srcX + w - 1, lastRow = srcY + h - 1;
    std::int64_t dstLastCol = dstX + w - 1, dstLastRow = dstY + h - 1;
    // Cut at the destination's edges, then at the source's.
    const auto cut = [](std::int64_t& last, std::int64_t& other, std::int64_t limit) {
        if (last >= limit) {
            other -= last - (limit - 1);
            last = limit - 1;
        }
    };
    cut(dstLastCol, lastCol, m_nWidth);
    cut(dstLastRow, lastRow, m_nHeight);
    cut(lastCol, dstLastCol, src->m_nWidth);
    cut(lastRow, dstLastRow, src->m_nHeight);
    if (srcX < 0 || srcY < 0 || dstX < 0 || dstY < 0)
        AfxThrowRDPExcept(RDP_NEGATIVE_COORD);
    if (lastCol < srcX || lastRow < srcY)
        return 1;
    RequireWritable();

    const auto convert = sample::GetRowConverter(src->m_nType, m_nType);
    const std::int64_t n = lastCol - srcX + 1;
    const std::int64_t rows = lastRow - srcY + 1;
    const int srcSize = src->m_nSampleSize;
    const int dstSize = m_nSampleSize;
    auto from = [&](std::int64_t i) { return src->m_pPixels + (srcY + i) * src->m_nRowSize + srcX * srcSize; };
    auto to = [&](std::int64_t i) { return m_pPixels + (dstY + i) * m_nRowSize + dstX * dstSize; };
    // A window moved within the same pixels is copied from its far end when it
    // lies behind its source, so no row is overwritten before it is read.
    const bool backwards = to(0) > from(0) && to(0) <= from(rows - 1) + n * srcSize;

    CMeterInfoBase* meter = m_pMeter;
    double oldLo = 0, oldHi = 0, oldPos = 0;
    try {
        if (meter) {
            meter->GetRange(&oldLo, &oldHi);
            meter->GetPos(&oldPos);
            if (lastRow != srcY)
                meter->SetRange(double(srcY), double(lastRow));
        }
        // Rows whose bytes meet no source byte may be written in any order, so a
        // large copy into another layer runs on the parallel loop, reporting rows
        // on this thread as they complete.
        const unsigned char* srcEnd = from(rows - 1) + n * srcSize;
        const unsigned char* dstEnd = to(rows - 1) + n * dstSize;
        const bool apart = dstEnd <= from(0) || srcEnd <= to(0);
        if (backwards || !apart) {
            for (std::int64_t k = 0; k < rows; ++k) {
                const std::int64_t i = backwards ? rows - 1 - k : k;
                convert(from(i), to(i), n);
                if (meter)
                    meter->SetPos(double(srcY + i));
            }
        } else {
            const int threads = plat::ParallelThreadsFor(rows * n * std::max(srcSize, dstSize));
            const std::int64_t grain = threads > 1 ? std::max<std::int64_t>(1, (std::int64_t(1) << 16) / n) : 1;
            // Whole rows are one block of the destination, often a new layer's
            // fresh pages: faulting a piece's pages in one call is much cheaper
            // than a fault per page.
            const bool block = dstX == 0 && n * dstSize == m_nRowSize;
            plat::ParallelFor(
                rows, grain, threads,
                [&](std::int64_t first, std::int64_t end, int) {
                    if (block)
                        plat::PrefaultForWrite(to(first), (end - first) * n * dstSize);
                    for (std::int64_t i = first; i < end; ++i)
                        convert(from(i), to(i), n);
                },
                [&](std::int64_t done) {
                    if (meter)
                        meter->SetPos(double(srcY + done - 1));
                });
        }
        if (meter) {
            meter->SetRange(oldLo, oldHi);
            meter->SetPos(oldPos);
        }
    } catch (plat::Exception* e) {
        RethrowAsRDPExcept(e);
    }
    return 1;
}
