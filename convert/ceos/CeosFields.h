#pragma once
// The field table of the data set summary record (resource "CEOS_FIELD" 369) and
// the information text it makes of a leader file.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kCeosFieldResourceType = "CEOS_FIELD";
inline constexpr int kCeosFieldResourceId = 369;

// The table as stored: pairs of zero-terminated texts, a label and a format.
std::string_view CeosFieldResource();

// A format: an optional repeat count (1 when absent), a letter and a width.
struct CeosFieldEntry {
    std::string label;
    int repeat = 1;
    char letter = 0;
    int width = 0;
};
std::vector<CeosFieldEntry> ParseCeosFieldTable(std::string_view table);

// The text shown when the leader cannot be read.
std::string CeosInfoUnreadableText();

// Reads up to n bytes at offset; fewer (or none) at the end of the file.
using CeosByteReader = std::function<std::string(std::int64_t offset, std::int64_t n)>;

// One line per field of the data set summary record (the leader's second record):
// label, " : ", each repeat's characters followed by two blanks, "\r\n". Skips
// add no line. Characters stop at a zero byte and at the end of the file; they are
// read as code page 1251 and given as UTF-8. A first record whose length is below
// 12 or past the end gives the unreadable text.
std::string CeosInfoText(const CeosByteReader& read, std::int64_t fileSize);
std::string CeosInfoText(std::span<const unsigned char> leader);
// The text for the leader at path; the unreadable text when it cannot be opened.
std::string FillText(const std::string& leaderPath);
