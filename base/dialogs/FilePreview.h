#pragma once
// What the file dialog's preview panel shows for the file under the cursor: its size
// and sample type texts, whether amplitude and phase can be chosen, and the 200 x 200
// preview picture with its colours, read from the file's tags.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/paint/SysColors.h"

inline constexpr int kPreviewPictureSide = 200;
inline constexpr int kPreviewPictureBytes = kPreviewPictureSide * kPreviewPictureSide;

// Stored lengths a tag needs before its contents are used; a shorter tag counts as missing.
inline constexpr std::int32_t kLayerHeaderNeeds = 24;
inline constexpr std::int32_t kStatisticsNeeds = 1064;
inline constexpr std::int32_t kAmplitudePreviewNeeds = 4 + kPreviewPictureBytes;
inline constexpr std::int32_t kPhasePreviewNeeds = 4 + 2 * kPreviewPictureBytes;
inline constexpr std::int32_t kPaletteNeeds = 776;

struct FilePreview {
    bool isFile = false;                          // false: a folder or nothing; default picture, texts as they were
    bool hasHeader = false;                       // the layer header (tag 0) was read; else both texts are empty
    std::string sizeText;                         // "%dx%d"
    std::string typeText;                         // the sample type's long name
    bool phaseAllowed = false;                    // complex data: Amplitude and Phase are enabled
    bool hasPicture = false;                      // false: the default picture
    bool hasPalette = false;                      // the colours come from the palette tag, else grey
    std::vector<unsigned char> pixels;            // 200 rows of 200 bytes, bottom row first
    std::array<plat::ColorRef, 256> colors = {};  // colour of each byte value
};

// The grey colour table: entry i is (i, i, i).
std::array<plat::ColorRef, 256> GreyColors();

// The preview of path in mode (0 amplitude, 1 phase; phase only counts for complex data).
// A file that cannot be read, or whose tags are missing or shorter than their contents
// need, shows what it has: no texts without a header, the default picture without a
// long enough preview, grey without a full palette.
FilePreview MakeFilePreview(const std::string& path, int mode);
