#pragma once
// Windows bitmaps as the bitmap import reads them, without windows or jobs: the
// check of the headers against the file's length, the kind texts, the channel
// file names, and the conversion of stored rows into UINT8 layer rows.

#include <cstdint>
#include <string>
#include <vector>

struct PalitraTag;

struct BmpInfo {
    int width = 0;
    int height = 0;  // rows, always positive
    bool topDown = false;
    int bitCount = 0;
    int compression = 0;
    std::uint32_t headerSize = 0;
    std::int64_t pixelOffset = 0;
    std::int64_t rowBytes = 0;  // a stored row, padded to 4 bytes
    std::int64_t tableOffset = 0;
    int colours = 0;  // colour table entries read (8 bits per pixel)
    // Bit fields of 16- and 32-bit pixels: red, green and blue.
    std::uint32_t masks[3] = {0, 0, 0};
};

// Checks the headers at head (the file's first headBytes bytes; 66 suffice) of a
// file of fileSize bytes: 0 with info set, or the id of the refusal's text:
// 3098 "Invalid format of the input file" (no "BM", a header, the colour table,
// the bit fields or the pixel rows outside the file, width below 1, height 0 or
// -2^31), 3091 "Unsupported data type" (bit count not 8, 16, 24 or 32,
// compression not 0 or 3, an information header shorter than 40 bytes).
int CheckBmp(const unsigned char* head, std::int64_t headBytes, std::int64_t fileSize, BmpInfo* info);

// "8 bit, 256 Colors" and the like; "undefined..." for any other bit count.
std::string BmpKindText(int bitCount);

// output's base + "_R", "_G", "_B" + its extension (from the last '.' of the file
// name; none: nothing), in output's folder.
std::vector<std::string> BmpChannelNames(const std::string& output);

// Converts stored row i of the pixel data (at file + info.pixelOffset) into the
// layer rows: one row for 8 bits (planes[0]), three (red, green, blue) otherwise.
// Each plane is the row table of its layer (top-down).
void ConvertBmpRow(const BmpInfo& info, const unsigned char* file, int i, void** const planes[3]);

// The palette of an 8-bit bitmap: its colour table's entries, black after them.
void FillBmpPalette(const BmpInfo& info, const unsigned char* file, PalitraTag* palette);
