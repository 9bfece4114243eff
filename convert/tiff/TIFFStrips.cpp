// The strip readers: a window of the image, uncompressed or LZW, into the pixel
// memory of window-sized layers. Strips are independent (each LZW strip starts
// as after a Clear), so they are read in parallel; each row goes to the row of
// the window it belongs to, placed by RowsPerStrip, never past a layer's end.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/files/MappedFile.h"
#include "platform/threads/ParallelFor.h"
#include "files/OrderFile.h"
#include "jobs/MeterInfoBase.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/SampleTally.h"
#include "tiff/LZWDecoder.h"
#include "tiff/TIFFReader.h"

namespace {

[[noreturn]] void Damage(const std::string& why)
{
    throw new CRDPExcept(RDP_BAD_FORMAT, why.c_str());
}

// Puts one row's window of source pixels into the output layers.
struct RowWriter {
    unsigned char* const* pixels;
    int width;  // window width in pixels
    int bytesPerPixel;
    int outBytesPerPixel;
    int swapBytes;  // sample size to reverse (big-endian samples), 0 none

    void Put(std::int64_t windowRow, const unsigned char* src) const
    {
        const std::int64_t n = width;
        if (outBytesPerPixel == bytesPerPixel && bytesPerPixel != 3) {
            unsigned char* dst = pixels[0] + windowRow * n * outBytesPerPixel;
            std::memcpy(dst, src, std::size_t(n * outBytesPerPixel));
            if (swapBytes > 1)
                SwapBytesArray(dst, swapBytes, int(n * outBytesPerPixel / swapBytes));
        } else if (outBytesPerPixel == 4) {
            unsigned char* dst = pixels[0] + windowRow * n * 4;
            for (std::int64_t i = 0; i < n; ++i, src += 3, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 0;
            }
        } else {
            unsigned char* r = pixels[0] + windowRow * n;
            unsigned char* g = pixels[1] + windowRow * n;
            unsigned char* b = pixels[2] + windowRow * n;
            for (std::int64_t i = 0; i < n; ++i, src += 3) {
                r[i] = src[0];
                g[i] = src[1];
                b[i] = src[2];
            }
        }
    }
};

}  // namespace

struct CTIFFReader::StripPlan {
    int x, y, w, h;
    int bytesPerPixel;
    bool plain;  // pixels copied as they are (not RGB widened or split)
    std::int64_t rowBytes;
    std::int64_t rowsPerStrip;
    std::int64_t firstStrip;
    RowWriter writer;
    unsigned char* const* pixels;
    SampleTally* const* tallies;  // a tally per layer (or null), or none

    // Counts window row r of every layer that has a tally.
    void Tally(int slot, std::int64_t r) const
    {
        if (!tallies)
            return;
        const bool split = !plain && writer.outBytesPerPixel == 3;
        const std::int64_t bytes = std::int64_t(w) * (split ? 1 : writer.outBytesPerPixel);
        for (int p = 0; p < (split ? 3 : 1); ++p)
            if (tallies[p])
                tallies[p]->AddRow(slot, r, pixels[p] + r * bytes);
    }

    // Rows [from, to) of strip s that the window takes.
    std::int64_t Top(std::int64_t s) const { return s * rowsPerStrip; }
    std::int64_t From(std::int64_t s) const { return std::max<std::int64_t>(y, Top(s)); }
    std::int64_t To(std::int64_t s, std::int64_t height) const
    {
        return std::min<std::int64_t>(std::int64_t(y) + h, std::min(Top(s) + rowsPerStrip, height));
    }
    // The layers are new mappings: faulting a strip's pages in one call is much
    // cheaper than a fault per page, and a strip found damaged touches no more.
    void Prefault(std::int64_t from, std::int64_t to) const
    {
        const bool split = !plain && writer.outBytesPerPixel == 3;
        const std::int64_t bytes = std::int64_t(w) * (split ? 1 : writer.outBytesPerPixel);
        for (int p = 0; p < (split ? 3 : 1); ++p)
            plat::PrefaultForWrite(pixels[p] + (from - y) * bytes, (to - from) * bytes);
    }
};

struct CTIFFReader::StripScratch {
    int slot = 0;  // of the parallel loop, for the tallies
    std::vector<unsigned char> raw;
    std::vector<unsigned char> decoded;
    std::unique_ptr<CLZWDecoder> lzw;
};

void CTIFFReader::ReadRows(COrderFile* file, const StripPlan& plan, std::int64_t begin, std::int64_t end,
                           StripScratch& scratch) const
{
    const std::int64_t windowBytes = std::int64_t(plan.w) * plan.bytesPerPixel;
    std::vector<unsigned char>& row = scratch.raw;
    row.resize(std::size_t(windowBytes));
    for (std::int64_t s = plan.firstStrip + begin; s < plan.firstStrip + end; ++s) {
        const std::int64_t offset = m_stripOffsets[std::size_t(s)];
        const std::int64_t count = m_stripByteCounts[std::size_t(s)];
        plan.Prefault(plan.From(s), plan.To(s, m_height));
        for (std::int64_t r = plan.From(s), to = plan.To(s, m_height); r < to; ++r) {
            const std::int64_t at = (r - plan.Top(s)) * plan.rowBytes + std::int64_t(plan.x) * plan.bytesPerPixel;
            if (at + windowBytes > count || !TiffReadAt(*file, offset + at, row.data(), row.size()))
                Damage("strip " + std::to_string(s) + " cannot be read");
            plan.writer.Put(r - plan.y, row.data());
            plan.Tally(scratch.slot, r - plan.y);
        }
    }
}

void CTIFFReader::ReadLZWStrips(COrderFile* file, const StripPlan& plan, std::int64_t begin, std::int64_t end,
                                StripScratch& scratch) const
{
    if (!scratch.lzw)
        scratch.lzw = std::make_unique<CLZWDecoder>();
    for (std::int64_t s = plan.firstStrip + begin; s < plan.firstStrip + end; ++s) {
        const std::int64_t top = plan.Top(s), from = plan.From(s), to = plan.To(s, m_height);
        std::vector<unsigned char>& data = scratch.raw;
        data.resize(m_stripByteCounts[std::size_t(s)]);
        if (!data.empty() && !TiffReadAt(*file, m_stripOffsets[std::size_t(s)], data.data(), data.size()))
            Damage("strip " + std::to_string(s) + " cannot be read");
        plan.Prefault(from, to);
        // Only the rows up to the window's last one in this strip are decoded:
        // straight into the layer when they are whole rows of it as stored.
        const std::size_t need = std::size_t((to - top) * plan.rowBytes);
        const bool direct =
            from == top && plan.x == 0 && plan.w == std::int64_t(m_width) && plan.plain && !plan.writer.swapBytes;
        std::vector<unsigned char>& rows = scratch.decoded;
        if (!direct)
            rows.resize(need);
        unsigned char* target = direct ? plan.pixels[0] + (top - plan.y) * plan.rowBytes : rows.data();
        std::string why;
        const std::int64_t got = scratch.lzw->DecodeStrip(data.data(), data.size(), target, need, &why);
        if (got < 0)
            Damage("strip " + std::to_string(s) + ": " + why);
        if (std::size_t(got) < need)
            Damage("strip " + std::to_string(s) + " ends before its rows are complete");
        // Each row is counted while the strip is still in the cache.
        for (std::int64_t r = from; r < to; ++r) {
            if (!direct)
                plan.writer.Put(r - plan.y,
                                rows.data() + (r - top) * plan.rowBytes + std::int64_t(plan.x) * plan.bytesPerPixel);
            plan.Tally(scratch.slot, r - plan.y);
        }
    }
}

void CTIFFReader::ReadStrips(COrderFile* file, unsigned char* const* pixels, CMeterInfoBase* meter, int x, int y, int w,
                             int h, int bytesPerPixel, int outBytesPerPixel, SampleTally* const* tallies) const
{
    if (w <= 0 || h <= 0 || x < 0 || y < 0 || std::int64_t(x) + w > m_width || std::int64_t(y) + h > m_height)
        Damage("the window lies outside the image");
    if (m_rowsPerStrip == 0 || m_stripByteCounts.size() < m_stripOffsets.size())
        Damage("the strips were not interpreted");
    const bool lzw = m_compression == 5;
    if (!lzw && m_compression != 1)
        Damage("compression " + std::to_string(m_compression));
    // 3-byte pixels are R, G, B: widened to four bytes, or split into three planes.
    const bool plain = outBytesPerPixel == bytesPerPixel && bytesPerPixel != 3;
    if (!plain && !(bytesPerPixel == 3 && (outBytesPerPixel == 3 || outBytesPerPixel == 4)))
        Damage("no reader for these pixels");

    const std::int64_t rps = m_rowsPerStrip;
    const std::int64_t firstStrip = y / rps;
    const std::int64_t lastStrip = (std::int64_t(y) + h - 1) / rps;
    if (lastStrip >= std::int64_t(m_stripOffsets.size()))
        Damage("the image has too few strips");
    const int sampleBytes = SampleBytes();
    const StripPlan plan{x,
                         y,
                         w,
                         h,
                         bytesPerPixel,
                         plain,
                         std::int64_t(m_width) * bytesPerPixel,
                         rps,
                         firstStrip,
                         RowWriter{pixels, w, bytesPerPixel, outBytesPerPixel,
                                   (m_byteOrder == 2 && plain && sampleBytes > 1) ? sampleBytes : 0},
                         pixels,
                         tallies};
    const std::int64_t strips = lastStrip - firstStrip + 1;
    const int threads = std::max(1, plat::ParallelThreadsFor(std::int64_t(w) * h * outBytesPerPixel));
    std::vector<StripScratch> scratch(static_cast<std::size_t>(threads));

    if (meter)
        meter->SetRange(0.0, double(strips));
    auto body = [&](std::int64_t begin, std::int64_t end, int slot) {
        scratch[std::size_t(slot)].slot = slot;
        if (lzw)
            ReadLZWStrips(file, plan, begin, end, scratch[std::size_t(slot)]);
        else
            ReadRows(file, plan, begin, end, scratch[std::size_t(slot)]);
    };
    auto progress = [&](std::int64_t done) {
        if (meter)
            meter->SetPos(double(done));
    };
    plat::ParallelFor(strips, 1, threads, body, progress);
    if (meter)
        meter->SetPos(0.0);
}
