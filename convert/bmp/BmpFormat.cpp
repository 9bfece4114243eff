#include "bmp/BmpFormat.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "PalitraTag.h"
#include "bmp/BmpStrings.h"

namespace {

std::uint32_t U32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint16_t U16(const unsigned char* p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

// A channel from a bit field: the field's bits moved down; a field wider than 8
// bits keeps its top 8.
struct Field {
    std::uint32_t mask = 0;
    int shift = 0;
    explicit Field(std::uint32_t m) : mask(m)
    {
        if (!m)
            return;
        while (!(m & 1u)) {
            m >>= 1;
            ++shift;
        }
        int width = 0;
        while (m & 1u) {
            m >>= 1;
            ++width;
        }
        if (width > 8)
            shift += width - 8;
    }
    unsigned char operator()(std::uint32_t p) const { return static_cast<unsigned char>((p & mask) >> shift); }
};

}  // namespace

int CheckBmp(const unsigned char* head, std::int64_t headBytes, std::int64_t fileSize, BmpInfo* info)
{
    *info = BmpInfo();
    headBytes = std::min(headBytes, fileSize);
    if (headBytes < 2 || head[0] != 'B' || head[1] != 'M')
        return IDS_BMP_INVALID;
    if (headBytes < 18)
        return IDS_BMP_INVALID;
    const std::uint32_t headerSize = U32(head + 14);
    if (headerSize < 40)
        return IDS_BMP_UNSUPPORTED;
    if (14 + std::int64_t(headerSize) > fileSize || headBytes < 54)
        return IDS_BMP_INVALID;
    const unsigned char* h = head + 14;
    const std::int32_t width = std::int32_t(U32(h + 4));
    const std::int32_t height = std::int32_t(U32(h + 8));
    const int bitCount = U16(h + 14);
    const std::uint32_t compression = U32(h + 16);
    const std::uint32_t used = U32(h + 32);
    if ((bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) || (compression != 0 && compression != 3))
        return IDS_BMP_UNSUPPORTED;
    if (width < 1 || height == 0 || height == INT_MIN)
        return IDS_BMP_INVALID;
    info->width = width;
    info->height = height < 0 ? -height : height;
    info->topDown = height < 0;
    info->bitCount = bitCount;
    info->compression = int(compression);
    info->headerSize = headerSize;
    info->pixelOffset = U32(head + 10);
    info->rowBytes = (std::int64_t(width) * (bitCount / 8) + 3) / 4 * 4;
    info->tableOffset = 14 + std::int64_t(headerSize);
    if (bitCount == 16 || bitCount == 32) {
        if (compression == 3) {
            // After a 40-byte header the three masks follow it; a longer one holds them:
            // either way they start at byte 54.
            const std::int64_t at = 54;
            if (at + 12 > fileSize || at + 12 > headBytes || (headerSize > 40 && headerSize < 52))
                return IDS_BMP_INVALID;
            for (int c = 0; c < 3; ++c)
                info->masks[c] = U32(head + at + 4 * c);
        } else if (bitCount == 16) {
            info->masks[0] = 0x7C00;
            info->masks[1] = 0x03E0;
            info->masks[2] = 0x001F;
        } else {
            info->masks[0] = 0x00FF0000;
            info->masks[1] = 0x0000FF00;
            info->masks[2] = 0x000000FF;
        }
    }
    if (bitCount == 8) {
        info->colours = used == 0 || used > 256 ? 256 : int(used);
        if (info->tableOffset + 4 * std::int64_t(info->colours) > fileSize)
            return IDS_BMP_INVALID;
    }
    // Divided rather than multiplied: the rows of a forged header overflow 64 bits.
    if (info->pixelOffset > fileSize || std::int64_t(info->height) > (fileSize - info->pixelOffset) / info->rowBytes)
        return IDS_BMP_INVALID;
    return 0;
}

std::string BmpKindText(int bitCount)
{
    switch (bitCount) {
    case 8: return "8 bit, 256 Colors";
    case 16: return "16 bit, 65k High Color";
    case 24: return "24 bit, 16M True Color";
    case 32: return "32 bit, 16M True Color";
    default: return "undefined...";
    }
}

std::vector<std::string> BmpChannelNames(const std::string& output)
{
    const std::size_t slash = output.find_last_of('/');
    const std::size_t dot = output.find_last_of('.');
    const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string base = hasDot ? output.substr(0, dot) : output;
    const std::string ext = hasDot ? output.substr(dot) : std::string();
    return {base + "_R" + ext, base + "_G" + ext, base + "_B" + ext};
}

void ConvertBmpRow(const BmpInfo& info, const unsigned char* file, int i, void** const planes[3])
{
    const unsigned char* src = file + info.pixelOffset + std::int64_t(i) * info.rowBytes;
    const int y = info.topDown ? i : info.height - 1 - i;
    const int w = info.width;
    if (info.bitCount == 8) {
        std::memcpy(planes[0][y], src, std::size_t(w));
        return;
    }
    auto* r = static_cast<unsigned char*>(planes[0][y]);
    auto* g = static_cast<unsigned char*>(planes[1][y]);
    auto* b = static_cast<unsigned char*>(planes[2][y]);
    if (info.bitCount == 24) {
        for (int x = 0; x < w; ++x, src += 3) {
            r[x] = src[2];
            g[x] = src[1];
            b[x] = src[0];
        }
        return;
    }
    const Field fr(info.masks[0]), fg(info.masks[1]), fb(info.masks[2]);
    if (info.bitCount == 16) {
        for (int x = 0; x < w; ++x, src += 2) {
            const std::uint32_t p = U16(src);
            r[x] = fr(p);
            g[x] = fg(p);
            b[x] = fb(p);
        }
        return;
    }
    for (int x = 0; x < w; ++x, src += 4) {
        const std::uint32_t p = U32(src);
        r[x] = fr(p);
        g[x] = fg(p);
        b[x] = fb(p);
    }
}

void FillBmpPalette(const BmpInfo& info, const unsigned char* file, PalitraTag* palette)
{
    *palette = PalitraTag();
    const unsigned char* table = file + info.tableOffset;
    for (int k = 0; k < info.colours && k < 256; ++k) {
        palette->entries[k][0] = table[4 * k + 2];
        palette->entries[k][1] = table[4 * k + 1];
        palette->entries[k][2] = table[4 * k + 0];
    }
}
