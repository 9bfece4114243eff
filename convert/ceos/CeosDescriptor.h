#pragma once
// The data file of a CEOS product: its descriptor record (the file's first record),
// the sample type it names, the reader parameters that follow for each mission, and
// the name of the leader file beside it.

#include <cstdint>
#include <string>
#include <string_view>

#include "raw/ImportParams.h"

// A decimal integer or real number in a fixed-width character field: the field is
// cut at width (and at a zero byte), leading blanks are skipped, and the longest
// decimal prefix is read in the C locale (sign, digits, for reals a point and an
// exponent). No digits give 0; an integer beyond int saturates.
int ParseFixedInt(const char* field, int width);
double ParseFixedReal(const char* field, int width);
inline int ParseFixedInt(std::string_view field) { return ParseFixedInt(field.data(), int(field.size())); }
inline double ParseFixedReal(std::string_view field) { return ParseFixedReal(field.data(), int(field.size())); }

enum class CeosMission { Radarsat = 1, Ers = 2, SirC = 3 };

// Byte layout of the descriptor fields that the import reads.
inline constexpr int kCeosDescriptorLengthOffset = 8;  // 4 bytes, big-endian (ERS, SIR-C)
inline constexpr int kCeosRecordsOffset = 180;         // 6 characters
inline constexpr int kCeosRecordLengthOffset = 186;    // 6
inline constexpr int kCeosGroupBytesOffset = 224;      // 8
inline constexpr int kCeosPixelsOffset = 248;          // 8
inline constexpr int kCeosMaxValueOffset = 440;        // 8
// Bytes of the descriptor that must be there to read every field.
inline constexpr int kCeosDescriptorBytes = kCeosMaxValueOffset + 8;

struct CeosDescriptor {
    int descriptorLength = 0;  // the big-endian length at offset 8
    int records = 0;
    int recordLength = 0;
    int groupBytes = 0;
    int pixelsPerLine = 0;
    int maxValue = 0;
};

// The sample type a maximum sample value names: 255 UINT8, 127 SINT8, 65535 UINT16,
// 32767 SINT16; 0 for compressed data (maximum 0) and for any other value.
int CeosSampleType(int maxValue);

// What the launcher learns about a data file.
struct CeosFileInfo {
    ImportParams params;  // the reader parameters; the window is left to the dialog
    bool compressed = false;
    int groupBytes = 0;
    int sampleType = 0;  // component type; 0 when compressed
    bool complex = false;
};

// The fields of the descriptor in bytes[0, size); false when it is shorter than
// kCeosDescriptorBytes.
bool ReadCeosDescriptor(const unsigned char* bytes, std::int64_t size, CeosDescriptor* out);

// The reader parameters for a data file of a mission from its descriptor bytes.
// 0 when usable; else the id of the refusal: IDS_CEOS_INVALID (3098) for a
// descriptor too short for its fields, a header length of 0 or less, no records or
// pixels, or records shorter than their prefix and pixels; IDS_CEOS_UNSUPPORTED
// (3091) for a maximum value, group size or compression the mission does not have.
unsigned DescribeCeosFile(const unsigned char* bytes, std::int64_t size, CeosMission mission,
                          const std::string& dataFile, CeosFileInfo* out);

// The leader file beside a data file: its folder, "lea_01", and the extension of
// the data file's name (with its dot; none when the name has none). When no such
// file exists but an entry of the folder equals that name without regard to case,
// that entry is taken.
std::string GetLeaderFileName(const std::string& dataFile);
// The same without looking at the folder.
std::string LeaderNameFor(const std::string& dataFile);
