#pragma once
// The picture of a layer as a 24-bit Windows bitmap file: the two headers, then the
// rows bottom-up as blue, green, red, each padded to a multiple of 4 bytes. Plain
// code over a render source; the image window runs it on a worker job.

#include <cstdint>
#include <optional>
#include <string>

class CMeterInfoBase;
class CRenderSource;

inline constexpr int kBitmapHeadersSize = 54;  // file header 14, information header 40

struct BitmapFileSize {
    std::int64_t rowBytes = 0;
    std::int64_t fileSize = 0;
};

// Row and file size of a width x height bitmap; null for an empty size or one whose
// file size does not fit the format's 32-bit size field.
std::optional<BitmapFileSize> BitmapSizeFor(int width, int height);

// The 54 header bytes of a width x height bitmap (rows bottom-up), little-endian.
void WriteBitmapHeaders(unsigned char* at, int width, int height, std::uint32_t fileSize);

enum class BitmapWrite {
    Written,
    NotCreated,  // too large, or the file could not be made or mapped: nothing written
    Abandoned,   // the rendering ended by an exception, a cancel included
};

// Writes the whole picture of source to path under a temporary name beside it,
// renamed over path only when complete: a failure or a cancel leaves no new file and
// an existing one as it was.
BitmapWrite WriteBitmapFile(const std::string& path, const CRenderSource& source, CMeterInfoBase* meter);
