#pragma once
// One entry of a TIFF image file directory (12 bytes in the file), and the
// directory of entries. Shared by the TIFF reader and writer.

#include <cstdint>
#include <string>
#include <vector>

namespace plat {
class File;
}

// Field types of a directory entry.
enum TiffFieldType : std::uint16_t {
    TIFF_BYTE = 1,
    TIFF_ASCII = 2,
    TIFF_SHORT = 3,
    TIFF_LONG = 4,
    TIFF_RATIONAL = 5,
    TIFF_SBYTE = 6,
    TIFF_UNDEFINED = 7,
    TIFF_SSHORT = 8,
    TIFF_SLONG = 9,
    TIFF_SRATIONAL = 10,
    TIFF_FLOAT = 11,
    TIFF_DOUBLE = 12,
};

// Bytes of one value of a field type; 0 for a type this reader does not know.
int TiffFieldSize(int type);

// Reads exactly n bytes at offset without moving the file's position (safe from
// several threads at once); false when the file ends first or the read fails.
bool TiffReadAt(const plat::File& file, std::int64_t offset, void* buf, std::size_t n);

class TIFFDirEntry final {
public:
    void Set(std::uint16_t tagNumber, std::uint16_t fieldType, std::uint32_t valueCount, std::uint32_t valueOrOffset);
    // Tag, type, count and value as they are held here, little-endian.
    void Write(plat::File& out) const;

    // The entry's values widened to 32 bits: from the value field when they fit in
    // its four bytes, else from the file at the entry's offset, which must lie with
    // all its values inside fileSize. Unsigned integer types only (BYTE, SHORT,
    // LONG); anything else, or values outside the file, gives false and why.
    bool FetchValues(std::vector<std::uint32_t>& out, const plat::File& file, std::int64_t fileSize, int byteOrder,
                     std::string* why) const;

    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    // The value itself when it fits (one BYTE or SHORT zero-extended, else the four
    // bytes as one 32-bit number in the file's order), otherwise the values' offset.
    std::uint32_t value = 0;
    // The value field's four bytes as stored, for values that fit in it.
    unsigned char field[4] = {};
};

struct TIFFDirectory {
    // Setting a non-zero count resizes the entries, keeping those that stay.
    void SetCount(int n);

    int count = 0;
    std::vector<TIFFDirEntry> entries;
};
