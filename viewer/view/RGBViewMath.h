#pragma once
// The arithmetic of a three-channel view: the 24-bit buffer's layout, the colour
// levels, and the texts it answers. Free of windows, so tests drive it directly.

#include <cstddef>
#include <cstdint>
#include <string>

// Byte of a 24-bit pixel (blue, green, red) that channel 3, 4 or 5 (red, green,
// blue) is written to with pixel step 3; -1 for any other channel.
int RGBPlaneOffset(int channel);

// Row bytes of a 24-bit buffer width pixels wide: 3 x the width rounded up to 4 pixels.
std::int64_t RGBRowBytes(std::int64_t width);

// Whether a 24-bit extraction of width x height pixels, rows rowBytes apart, stays
// inside bytes: with fit and a magnification the channels deliver the whole
// imageWidth x imageHeight image instead.
bool RGBExtractionFits(std::int64_t rowBytes, std::int64_t width, std::int64_t height, double reduction, int fit,
                       int imageWidth, int imageHeight, std::uint64_t bytes);

// Scales each plane of width x height 24-bit pixels (rows rowBytes apart) by its
// level: byte = byte x level / 256, truncated; a level of 255 leaves its plane alone.
void ApplyLevels(unsigned char* buffer, int rowBytes, int width, int height, int blueLevel, int greenLevel,
                 int redLevel);

// File part of a path: after its last '/' or '\', whichever comes later.
std::string FilePartOf(const std::string& path);

// "r, g, b" of the three files' names.
std::string RGBLayerName(const std::string& red, const std::string& green, const std::string& blue);

// "(r,g,b)"; "" when any channel's text is missing.
std::string RGBValueString(const std::string& red, const std::string& green, const std::string& blue);
