// The strip readers: a window of the image, uncompressed or LZW, into the pixel
// memory of window-sized layers. Strips are independent (each LZW strip starts
// as after a Clear), so they are read in parallel; each row goes to the row of
// the window it belongs to, placed by RowsPerStrip, never past a layer's end.

#include <algorithm>
#include <cstring>
#include <vector>

#include "MappedFile.h"
#include "ParallelFor.h"
#include "files/OrderFile.h"
#include "jobs/MeterInfoBase.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
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

void CTIFFReader::ReadStrips(COrderFile* file, unsigned char* const* pixels, CMeterInfoBase* meter, int x, int y,
                             int w, int h, int bytesPerPixel, int outBytesPerPixel) const
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

    const std::int64_t rowBytes = std::int64_t(m_width) * bytesPerPixel;
    const std::int64_t rps = m_rowsPerStrip;
    const std::int64_t firstStrip = y / rps;
    const std::int64_t lastStrip = (std::int64_t(y) + h - 1) / rps;
    if (lastStrip >= std::int64_t(m_stripOffsets.size()))
        Damage("the image has too few strips");
    const int sampleBytes = SampleBytes();
    const RowWriter writer{pixels, w, bytesPerPixel, outBytesPerPixel,
                           (m_byteOrder == 2 && plain && sampleBytes > 1) ? sampleBytes : 0};
    const std::int64_t windowBytes = std::int64_t(w) * bytesPerPixel;
    const std::int64_t strips = lastStrip - firstStrip + 1;

    // Per thread slot: the strip's bytes and, for LZW, its decoded rows.
    const int threads = plat::ParallelThreadsFor(std::int64_t(w) * h * outBytesPerPixel);
    std::vector<std::vector<unsigned char>> raw(std::size_t(std::max(threads, 1)));
    std::vector<std::vector<unsigned char>> decoded(raw.size());
    std::vector<CLZWDecoder> decoders;
    if (lzw) {
        decoders.reserve(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i)
            decoders.emplace_back();
    }

    auto body = [&](std::int64_t begin, std::int64_t end, int slot) {
        for (std::int64_t i = begin; i < end; ++i) {
            const std::int64_t s = firstStrip + i;
            const std::int64_t stripTop = s * rps;
            const std::int64_t stripRows = std::min<std::int64_t>(rps, std::int64_t(m_height) - stripTop);
            const std::int64_t from = std::max<std::int64_t>(y, stripTop);
            const std::int64_t to = std::min<std::int64_t>(std::int64_t(y) + h, stripTop + stripRows);
            const std::int64_t offset = m_stripOffsets[std::size_t(s)];
            const std::int64_t count = m_stripByteCounts[std::size_t(s)];
            if (!lzw) {
                // Each row's window is read alone, so no strip is read whole.
                std::vector<unsigned char>& row = raw[std::size_t(slot)];
                row.resize(std::size_t(windowBytes));
                for (std::int64_t r = from; r < to; ++r) {
                    const std::int64_t at = (r - stripTop) * rowBytes + std::int64_t(x) * bytesPerPixel;
                    if (at + windowBytes > count || !TiffReadAt(*file, offset + at, row.data(), row.size()))
                        Damage("strip " + std::to_string(s) + " cannot be read");
                    writer.Put(r - y, row.data());
                }
                continue;
            }
            std::vector<unsigned char>& data = raw[std::size_t(slot)];
            data.resize(std::size_t(count));
            if (count > 0 && !TiffReadAt(*file, offset, data.data(), data.size()))
                Damage("strip " + std::to_string(s) + " cannot be read");
            // Only the rows up to the window's last one in this strip are decoded:
            // straight into the layer when they are whole rows of it as stored.
            const std::size_t need = std::size_t((to - stripTop) * rowBytes);
            const bool direct = from == stripTop && x == 0 && w == std::int64_t(m_width) && plain && !writer.swapBytes;
            std::vector<unsigned char>& rows = decoded[std::size_t(slot)];
            if (!direct)
                rows.resize(need);
            unsigned char* target = direct ? pixels[0] + (stripTop - y) * rowBytes : rows.data();
            std::string why;
            const std::int64_t got = decoders[std::size_t(slot)].DecodeStrip(data.data(), data.size(), target, need, &why);
            if (got < 0)
                Damage("strip " + std::to_string(s) + ": " + why);
            if (std::size_t(got) < need)
                Damage("strip " + std::to_string(s) + " ends before its rows are complete");
            if (direct)
                continue;
            for (std::int64_t r = from; r < to; ++r)
                writer.Put(r - y, rows.data() + (r - stripTop) * rowBytes + std::int64_t(x) * bytesPerPixel);
        }
    };
    // The layers are new mappings: faulting their pages in one call is much
    // cheaper than a fault per page from the writing threads.
    const int planes = plain || outBytesPerPixel == 4 ? 1 : 3;
    for (int p = 0; p < planes; ++p)
        plat::PrefaultForWrite(pixels[p], std::int64_t(w) * h * (planes == 3 ? 1 : outBytesPerPixel));
    if (meter)
        meter->SetRange(0.0, double(strips));
    auto progress = [&](std::int64_t done) {
        if (meter)
            meter->SetPos(double(done));
    };
    plat::ParallelFor(strips, 1, threads, body, progress);
    if (meter)
        meter->SetPos(0.0);
}
