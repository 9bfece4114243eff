#pragma once
// Header and colour table of an 8-bit device-independent bitmap handed to the
// painting calls: each byte of a row indexes one of the 256 colours.

#include <cstdint>

namespace plat {

struct RgbQuad {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
};

struct BitmapInfo {
    int width = 0;     // pixels of a row as stored (rows are padded to 4 bytes)
    int height = 0;    // rows; negative when the first row is the top one
    int bitCount = 8;  // bits per pixel
    RgbQuad colors[256];
};

}  // namespace plat
