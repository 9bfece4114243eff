#include "tiff/TIFFDirEntry.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/File.h"

int TiffFieldSize(int type)
{
    switch (type) {
    case TIFF_BYTE:
    case TIFF_ASCII:
    case TIFF_SBYTE:
    case TIFF_UNDEFINED:
        return 1;
    case TIFF_SHORT:
    case TIFF_SSHORT:
        return 2;
    case TIFF_LONG:
    case TIFF_SLONG:
    case TIFF_FLOAT:
        return 4;
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_DOUBLE:
        return 8;
    default:
        return 0;
    }
}

bool TiffReadAt(const plat::File& file, std::int64_t offset, void* buf, std::size_t n)
{
    auto* out = static_cast<unsigned char*>(buf);
    while (n > 0) {
        const ssize_t got = ::pread(file.GetHandle(), out, n, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += got;
        n -= std::size_t(got);
    }
    return true;
}

void TIFFDirEntry::Set(std::uint16_t tagNumber, std::uint16_t fieldType, std::uint32_t valueCount,
                       std::uint32_t valueOrOffset)
{
    tag = tagNumber;
    type = fieldType;
    count = valueCount;
    value = valueOrOffset;
    for (int i = 0; i < 4; ++i)
        field[i] = static_cast<unsigned char>(valueOrOffset >> (8 * i));
}

void TIFFDirEntry::Write(plat::File& out) const
{
    unsigned char bytes[12];
    const std::uint32_t parts[3] = {tag, type, count};
    bytes[0] = static_cast<unsigned char>(parts[0]);
    bytes[1] = static_cast<unsigned char>(parts[0] >> 8);
    bytes[2] = static_cast<unsigned char>(parts[1]);
    bytes[3] = static_cast<unsigned char>(parts[1] >> 8);
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<unsigned char>(count >> (8 * i));
        bytes[8 + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    out.Write(bytes, sizeof bytes);
}

namespace {

std::uint32_t Decode(const unsigned char* p, int size, int byteOrder)
{
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i) {
        const int at = byteOrder == 2 ? i : size - 1 - i;
        v = (v << 8) | p[at];
    }
    return v;
}

}  // namespace

bool TIFFDirEntry::FetchValues(std::vector<std::uint32_t>& out, const plat::File& file, std::int64_t fileSize,
                               int byteOrder, std::string* why) const
{
    auto fail = [&](const std::string& text) {
        if (why)
            *why = "tag " + std::to_string(tag) + ": " + text;
        return false;
    };
    if (type != TIFF_BYTE && type != TIFF_SHORT && type != TIFF_LONG)
        return fail("field type " + std::to_string(type) + " where an unsigned integer belongs");
    const int size = TiffFieldSize(type);
    const std::int64_t bytes = std::int64_t(count) * size;
    std::vector<unsigned char> raw;
    const unsigned char* src = field;
    if (bytes > 4) {
        // Values that lie outside the file are refused before anything is allocated.
        if (std::int64_t(value) + bytes > fileSize)
            return fail("values at " + std::to_string(value) + " reach past the end of the file");
        raw.resize(std::size_t(bytes));
        if (!TiffReadAt(file, value, raw.data(), raw.size()))
            return fail("values cannot be read");
        src = raw.data();
    }
    out.resize(count);
    for (std::uint32_t i = 0; i < count; ++i)
        out[i] = Decode(src + std::size_t(i) * size, size, byteOrder);
    return true;
}

void TIFFDirectory::SetCount(int n)
{
    if (n == 0)
        return;
    entries.resize(std::size_t(n < 0 ? 0 : n));
    count = n;
}
