#pragma once
// The display palette of a raster layer, stored as user tag 201.

#include <cstdint>

inline constexpr int kPalitraTagNumber = 201;
inline constexpr int kPalitraTagSize = 776;

// Byte for byte the tag payload (the file is little-endian, as is every host we run on).
struct PalitraTag {
    std::int32_t length = kPalitraTagSize;
    std::int32_t flag = 1;               // copy flag: the palette travels with CopyTag
    unsigned char entries[256][3] = {};  // red, green, blue of display value i
};
static_assert(sizeof(PalitraTag) == kPalitraTagSize);

// Colours entries first..last: bands 1 to 5 give that many equal runs from red to
// blue, -1 or any other non-zero value a continuous red-yellow-green-cyan-blue ramp
// (-1: as fine as the range allows), 0 nothing. A range outside 0..255 or with
// first above last changes nothing.
void CreatePseudoColorPalette(PalitraTag* pPal, int first, int last, int bands);
