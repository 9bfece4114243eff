#pragma once
// The file kinds the import/export dialog knows, which conversions exist between
// them, and the combo lists and file-dialog filters built from them.

#include <cstdint>
#include <string>
#include <vector>

enum FormatCode : int {
    FORMAT_RAW = 0,
    FORMAT_TIFF = 1,
    FORMAT_CEOS_RADARSAT = 2,
    FORMAT_CEOS_ERS = 3,
    FORMAT_CEOS_SIRC = 4,
    FORMAT_ASCII = 5,
    FORMAT_BMP = 6,
    FORMAT_RDP = 7,
    FORMAT_ALL_FILES = 8,
};
inline constexpr int kFormatCount = 9;

// Display name of a format code, loaded from the string table ("" for a bad code).
std::string FormatName(int code);
// Open-dialog mask of a format code ("*.raw", ...; "" for a bad code).
const char* FormatMask(int code);
// Whether the short list leaves the code out (the three CEOS kinds).
bool HiddenInShortList(int code);
// Whether input code may be converted to output code.
bool ConversionAllowed(int inputCode, int outputCode);

// Combo entry text of a code: name, " (", mask, ")".
std::string FormatEntryText(int code);

// The codes of a combo in position order, with the way back from code to position.
struct FormatList {
    std::vector<int> codes;          // code at each position
    int position[kFormatCount] = {};  // position of each code, -1 when not offered

    int CodeAt(int pos) const { return pos >= 0 && pos < int(codes.size()) ? codes[pos] : -1; }
    int PositionOf(int code) const { return code >= 0 && code < kFormatCount ? position[code] : -1; }
    // Open-dialog filter of the listed codes: "name (mask)|mask|" each, then "|".
    // Filter index (from 1) = position + 1.
    std::string Filter() const;
};

// Input formats: all nine in code order, or the short list without the CEOS kinds.
FormatList BuildInputList(bool fullList);
// Outputs offered for an input code, in code order; empty for a bad code.
FormatList BuildOutputList(int inputCode, bool fullList);

// Name offered for the output when the input file fileName was picked: fileName up
// to its last '.' (the whole name when it has none) plus the output code's extension.
std::string DeriveOutputName(const std::string& fileName, int outputCode);

// A file size with one decimal in the largest fitting unit ("1.5 Kb"), whole bytes below 1 Kb.
std::string FormatFileSize(std::uint64_t bytes);
