#include "FormatTable.h"

#include <charconv>

#include "MirvaneStrings.h"

namespace {

const char* const kMasks[kFormatCount] = {"*.raw", "*.tif", "*.*", "*.*", "*.*",
                                          "*.txt", "*.bmp", "*.rdp", "*.*"};

// Row: input code, column: output code. Every import makes a raster layer file;
// a raster layer file exports to raw binary, TIFF or ASCII.
const unsigned char kAllowed[kFormatCount][kFormatCount] = {
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
    {1, 1, 0, 0, 0, 1, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0},
};

bool ValidCode(int code)
{
    return code >= 0 && code < kFormatCount;
}

FormatList BuildList(bool fullList, int inputCode)
{
    FormatList list;
    for (int code = 0; code < kFormatCount; ++code) {
        list.position[code] = -1;
        if (inputCode >= 0 && !ConversionAllowed(inputCode, code))
            continue;
        if (!fullList && HiddenInShortList(code))
            continue;
        list.position[code] = int(list.codes.size());
        list.codes.push_back(code);
    }
    return list;
}

}  // namespace

std::string FormatName(int code)
{
    return ValidCode(code) ? LoadMirvaneString(IDS_FORMAT_NAME_FIRST + unsigned(code)) : std::string();
}

const char* FormatMask(int code)
{
    return ValidCode(code) ? kMasks[code] : "";
}

bool HiddenInShortList(int code)
{
    return code == FORMAT_CEOS_RADARSAT || code == FORMAT_CEOS_ERS || code == FORMAT_CEOS_SIRC;
}

bool ConversionAllowed(int inputCode, int outputCode)
{
    return ValidCode(inputCode) && ValidCode(outputCode) && kAllowed[inputCode][outputCode] != 0;
}

std::string FormatEntryText(int code)
{
    return FormatName(code) + " (" + FormatMask(code) + ")";
}

std::string FormatList::Filter() const
{
    std::string filter;
    for (int code : codes)
        filter += FormatEntryText(code) + "|" + FormatMask(code) + "|";
    return filter + "|";
}

FormatList BuildInputList(bool fullList)
{
    return BuildList(fullList, -1);
}

FormatList BuildOutputList(int inputCode, bool fullList)
{
    if (!ValidCode(inputCode)) {
        FormatList none;
        for (int& pos : none.position)
            pos = -1;
        return none;
    }
    return BuildList(fullList, inputCode);
}

std::string DeriveOutputName(const std::string& fileName, int outputCode)
{
    const size_t dot = fileName.rfind('.');
    // A name without extension (or only a leading dot) keeps all of itself, so the
    // result is never a bare extension.
    const std::string stem = dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
    const std::string mask = FormatMask(outputCode);
    const size_t maskDot = mask.rfind('.');
    return maskDot == std::string::npos ? stem : stem + mask.substr(maskDot);
}

namespace {

// One decimal, always with '.', whatever locale the host program set.
std::string OneDecimal(double value)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1).ptr;
    return std::string(text, end);
}

}  // namespace

std::string FormatFileSize(std::uint64_t bytes)
{
    constexpr std::uint64_t kKb = 1024, kMb = kKb * 1024, kGb = kMb * 1024;
    if (bytes >= kGb)
        return OneDecimal(double(bytes) / double(kGb)) + " " + LoadMirvaneString(IDS_UNIT_GB);
    if (bytes >= kMb)
        return OneDecimal(double(bytes) / double(kMb)) + " " + LoadMirvaneString(IDS_UNIT_MB);
    if (bytes >= kKb)
        return OneDecimal(double(bytes) / double(kKb)) + " " + LoadMirvaneString(IDS_UNIT_KB);
    return std::to_string(bytes) + " " + LoadMirvaneString(IDS_UNIT_BYTE);
}
