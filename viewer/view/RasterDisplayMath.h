#pragma once
// The arithmetic of a raster view's display: palettes from brightness and contrast,
// histogram equalisation, the text of a source sample and the expansion of display
// levels into 24-bit pixels. Free of windows, so tests drive it directly.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using PaletteEntries = unsigned char[256][3];  // red, green, blue of display level i

// K of a contrast c (-127..127): c itself when c <= 0, else 255c / (255 - 2c).
double ContrastK(int c);

// Each byte e of source becomes Round(e + (2e/255 - 1) K) + b, clamped to 0..255.
void BuildDisplayPalette(const PaletteEntries& source, double K, int b, PaletteEntries& display);

// Grey level (0..255) of every histogram bin so that the levels share the samples
// as evenly as whole bins allow. Counts are summed in 64 bits: a layer of more than
// 2^31 samples neither overflows nor loops.
void EqualizationMap(const std::uint32_t histogram[256], unsigned char map[256]);

// The sample at x of the row at row, of sample type type (1..16), as a number:
// complex samples give their amplitude, or their phase when phase is non-zero.
// 0 for a type outside 1..16.
double SampleValue(const void* row, int x, int type, int phase);

// value as "%lg" prints it in the C locale, whatever locale the program runs in.
std::string FormatValue(double value);

// Display levels into blue, green, red pixels through the display palette: the
// width x height levels lie packed at the end of out (out + rowBytes x height -
// width x height); row r becomes the 3 x width bytes at out + r x rowBytes. With
// rowBytes >= 3 x width no level is overwritten before it is read; the padding of
// each row beyond its pixels is written as zeros (it lies before every level not
// yet read), so that equal pictures give equal bytes. after(row) runs
// after each row (a meter's step). False, and nothing written, when the sizes do
// not fit outBytes.
template <class AfterRow>
bool ExpandLevelsToBGR(unsigned char* out, std::size_t outBytes, int width, int height, int rowBytes,
                       const PaletteEntries& palette, AfterRow&& after);

// ---- template body ----

template <class AfterRow>
bool ExpandLevelsToBGR(unsigned char* out, std::size_t outBytes, int width, int height, int rowBytes,
                       const PaletteEntries& palette, AfterRow&& after)
{
    if (out == nullptr || width <= 0 || height <= 0 || std::int64_t(rowBytes) < 3 * std::int64_t(width))
        return false;
    const std::int64_t total = std::int64_t(rowBytes) * height;
    if (std::uint64_t(total) > outBytes)
        return false;
    const unsigned char* levels = out + (total - std::int64_t(width) * height);
    for (int r = 0; r < height; ++r) {
        const unsigned char* from = levels + std::int64_t(r) * width;
        unsigned char* to = out + std::int64_t(r) * rowBytes;
        for (int i = 0; i < width; ++i) {
            const unsigned char* e = palette[from[i]];
            to[3 * i] = e[2];
            to[3 * i + 1] = e[1];
            to[3 * i + 2] = e[0];
        }
        std::memset(to + 3 * std::int64_t(width), 0, std::size_t(rowBytes - 3 * std::int64_t(width)));
        after(r);
    }
    return true;
}
