#include "ceos/CeosDescriptor.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "ceos/CeosStrings.h"
#include "layer/DataTypes.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The field up to its width or its first zero byte, without leading blanks.
std::string_view Trimmed(const char* field, int width)
{
    if (!field || width <= 0)
        return {};
    int n = 0;
    while (n < width && field[n] != '\0')
        ++n;
    int start = 0;
    while (start < n && IsBlank(field[start]))
        ++start;
    return std::string_view(field + start, std::size_t(n - start));
}

std::int32_t BigEndian32(const unsigned char* p)
{
    return std::int32_t(std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
                        std::uint32_t(p[3]));
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

int ParseFixedInt(const char* field, int width)
{
    const std::string_view text = Trimmed(field, width);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

double ParseFixedReal(const char* field, int width)
{
    const std::string_view text = Trimmed(field, width);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return 0.0;
    std::size_t end = i;
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j]))
                ++j;
            end = j;
        }
    }
    std::string number(text.substr(start, end - start));
    for (char& c : number)
        if (c == 'd' || c == 'D')
            c = 'e';
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond double: from_chars leaves the value; read the mantissa's size instead.
        value = number.find_first_of("eE") != std::string::npos && number.find("e-") == std::string::npos &&
                        number.find("E-") == std::string::npos
                    ? HUGE_VAL
                    : 0.0;
    }
    return negative ? -value : value;
}

int CeosSampleType(int maxValue)
{
    switch (maxValue) {
    case 255:
        return UINT8;
    case 127:
        return SINT8;
    case 65535:
        return UINT16;
    case 32767:
        return SINT16;
    default:
        return 0;
    }
}

bool ReadCeosDescriptor(const unsigned char* bytes, std::int64_t size, CeosDescriptor* out)
{
    if (!bytes || size < kCeosDescriptorBytes)
        return false;
    const char* text = reinterpret_cast<const char*>(bytes);
    out->descriptorLength = BigEndian32(bytes + kCeosDescriptorLengthOffset);
    out->records = ParseFixedInt(text + kCeosRecordsOffset, 6);
    out->recordLength = ParseFixedInt(text + kCeosRecordLengthOffset, 6);
    out->groupBytes = ParseFixedInt(text + kCeosGroupBytesOffset, 8);
    out->pixelsPerLine = ParseFixedInt(text + kCeosPixelsOffset, 8);
    out->maxValue = ParseFixedInt(text + kCeosMaxValueOffset, 8);
    return true;
}

unsigned DescribeCeosFile(const unsigned char* bytes, std::int64_t size, CeosMission mission,
                          const std::string& dataFile, CeosFileInfo* out)
{
    CeosDescriptor d;
    if (!ReadCeosDescriptor(bytes, size, &d))
        return IDS_CEOS_INVALID;
    CeosFileInfo info;
    ImportParams& p = info.params;
    p.dataFile = dataFile;
    if (mission == CeosMission::Radarsat) {
        p.headerSize = 16252;
        p.prefixSize = 192;
    } else {
        if (d.descriptorLength <= 0)
            return IDS_CEOS_INVALID;
        p.headerSize = d.descriptorLength;
        p.prefixSize = 12;
    }
    // Sample type and components.
    info.groupBytes = d.groupBytes;
    if (d.maxValue == 0) {
        if (mission != CeosMission::SirC || d.groupBytes != 4)
            return IDS_CEOS_UNSUPPORTED;
        info.compressed = true;
    } else {
        info.sampleType = CeosSampleType(d.maxValue);
        if (info.sampleType == 0)
            return IDS_CEOS_UNSUPPORTED;
        const int componentSize = GetDataTypeSize(info.sampleType);
        if (d.groupBytes != componentSize && d.groupBytes != 2 * componentSize)
            return IDS_CEOS_UNSUPPORTED;
        info.complex = d.groupBytes == 2 * componentSize;
        p.componentType = info.sampleType;
        p.componentSize = componentSize;
        p.components = info.complex ? 2 : 1;
    }
    long long recordLength = d.recordLength;
    if (mission == CeosMission::SirC)
        recordLength += 12;
    if (d.records < 1 || d.pixelsPerLine < 1 || recordLength > INT_MAX ||
        recordLength < p.prefixSize + std::int64_t(d.pixelsPerLine) * d.groupBytes)
        return IDS_CEOS_INVALID;
    p.recordLength = int(recordLength);
    p.records = d.records;
    p.pixelsPerRecord = d.pixelsPerLine;
    p.pixelSize = d.groupBytes;
    p.byteOrder = 2;
    p.leaderFlag = 1;
    p.productKind = int(mission);
    p.leaderFile = GetLeaderFileName(dataFile);
    p.step = 1;
    *out = std::move(info);
    return 0;
}

std::string LeaderNameFor(const std::string& dataFile)
{
    const std::size_t slash = dataFile.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = dataFile.rfind('.');
    const std::string extension = dot == std::string::npos || dot < nameStart ? std::string() : dataFile.substr(dot);
    return dataFile.substr(0, nameStart) + "lea_01" + extension;
}

std::string GetLeaderFileName(const std::string& dataFile)
{
    const std::string name = LeaderNameFor(dataFile);
    std::error_code error;
    if (std::filesystem::exists(name, error))
        return name;
    const std::size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    const std::string leaf = name.substr(folder.size());
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder),
                                           error);
    if (error)
        return name;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        const std::string entry = it->path().filename().string();
        if (EqualNoCase(entry, leaf))
            return folder + entry;
    }
    return name;
}
