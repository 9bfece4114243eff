#include "ceos/CeosFields.h"

#include <algorithm>
#include <fstream>

#include "tags/Cp1251.h"

namespace {

// 99 label and format pairs, 2,638 bytes.
const char kFieldTable[] =
    "Scene identifier\0" "A16\0"
    "Scene designator\0" "A32\0"
    "Input scene centre time\0" "A32\0"
    "Ascending/Descending flag\0" "A16\0"
    "Processed scene centre latitude\0" "F16\0"
    "Processed scene centre longitude\0" "F16\0"
    "Processed scene centre heading\0" "F16\0"
    "Ellipsoid designator\0" "A16\0"
    "Ellipsoid semi-major axis,km\0" "F16\0"
    "Ellipsoid semi-minor axis,km\0" "F16\0"
    "Earth's mass, kg\0" "E16\0"
    "Gravitational const\0" "E16\0"
    "Ellipsoid parameters\0" "3E16\0"
    "\0" "$16\0"
    "Average terrain height,km\0" "F16\0"
    "Scene centre line number\0" "I8\0"
    "Scene centre pixel number\0" "I8\0"
    "Scene lenght, km\0" "F16\0"
    "Scene width , km\0" "F16\0"
    "\0" "$16\0"
    "Number of SAR channels\0" "I4\0"
    "\0" "$4\0"
    "Mission identifier\0" "A16\0"
    "Sensor identifier\0" "A32\0"
    "Orbit number\0" "A8\0"
    "Platform geodetic latitude\0" "F8\0"
    "Platform geodetic longitude\0" "F8\0"
    "Platform heading\0" "F8\0"
    "Sensor clock angle\0" "F8\0"
    "Incidence  angle\0" "F8\0"
    "\0" "$8\0"
    "Radar wave length\0" "F16\0"
    "Motion compensation indicator\0" "A2\0"
    "Range pulse code specifier\0" "A16\0"
    "Range chirp coefficients\0" "5E16\0"
    "Range phase coefficients\0" "5E16\0"
    "Chirp extraction index\0" "I8\0"
    "\0" "$8\0"
    "Range sampling rate\0" "F16\0"
    "Range gate start time\0" "F16\0"
    "Range pulse lenght\0" "F16\0"
    "Baseband conversion flag\0" "A4\0"
    "Range compressed flag\0" "A4\0"
    "Like polarized gain\0" "F16\0"
    "Cross polarized gain\0" "F16\0"
    "Number of bits per channel\0" "I8\0"
    "Quantization descriptor\0" "A12\0"
    "I channel DC bias\0" "F16\0"
    "Q channel DC bias\0" "F16\0"
    "I/Q channel ratio\0" "F16\0"
    "\0" "$16\0"
    "\0" "$16\0"
    "Electronic boresight\0" "F16\0"
    "Mechanical boresight\0" "F16\0"
    "Echo tracker on/off flag\0" "A4\0"
    "Nominal PRF, Hz\0" "F16\0"
    "Elevation beamwidth\0" "F16\0"
    "Azimuth beamwidth\0" "F16\0"
    "Satellite binary time\0" "I16\0"
    "Satellite clock time\0" "I32\0"
    "Satellite clock increment\0" "I8\0"
    "\0" "$8\0"
    "Processing facility identifier\0" "A16\0"
    "Processing system identifier\0" "A8\0"
    "Processing version identifier\0" "A8\0"
    "Facility process code\0" "A16\0"
    "Product level code\0" "A16\0"
    "Product type specifier\0" "A32\0"
    "Processing algorithm identifier\0" "A32\0"
    "Number of azimuth looks\0" "F16\0"
    "Number of range looks\0" "F16\0"
    "Azimuth look bandwidth\0" "F16\0"
    "Range look bandwidth\0" "F16\0"
    "Total azimuth look bandwidth\0" "F16\0"
    "Total range look bandwidth\0" "F16\0"
    "Azimuth weighting designator\0" "A32\0"
    "Range weighting designator\0" "A32\0"
    "Data input source\0" "A16\0"
    "Nominal resolution in range,m\0" "F16\0"
    "Nominal resolution in azimuth,m\0" "F16\0"
    "Constant radiometric parameter (Bias)\0" "F16\0"
    "Linear radiometric parameter (Gain)\0" "F16\0"
    "Along track Doppler frequency constant term at early edge of image,Hz\0" "E16\0"
    "Along track Doppler frequency linear term at early edge of image,Hz/pixel\0" "E16\0"
    "Along track Doppler frequency quadratic term at early edge of image,Hz/pix/pix\0" "E16\0"
    "\0" "$16\0"
    "Cross track Doppler freq.term\0" "3E16\0"
    "Pixel time direction indicator\0" "A8\0"
    "Line time direction indicator\0" "A8\0"
    "Along track Doppler rate term\0" "3E16\0"
    "\0" "$16\0"
    "Cross track Doppler rate term\0" "3E16\0"
    "\0" "$16\0"
    "Line content indicator\0" "A8\0"
    "Clutter lock applied flag\0" "A4\0"
    "Auto-focus applied flag\0" "A4\0"
    "Line spacing, m\0" "F16\0"
    "Pixel spacing, m\0" "F16\0"
    "Range compression designator\0" "A16\0"
    ;

std::int32_t BigEndian32(const std::string& s)
{
    const auto b = [&](int i) { return std::uint32_t(static_cast<unsigned char>(s[std::size_t(i)])); };
    return std::int32_t(b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3));
}

int Digits(std::string_view text, std::size_t* i)
{
    long long value = 0;
    while (*i < text.size() && text[*i] >= '0' && text[*i] <= '9') {
        value = std::min<long long>(value * 10 + (text[*i] - '0'), 1 << 20);
        ++*i;
    }
    return int(value);
}

// The fields start at offset 20 of the data set summary record.
constexpr std::int64_t kFirstField = 20;

}  // namespace

std::string_view CeosFieldResource()
{
    return std::string_view(kFieldTable, sizeof kFieldTable - 1);
}

std::vector<CeosFieldEntry> ParseCeosFieldTable(std::string_view table)
{
    std::vector<CeosFieldEntry> entries;
    std::size_t cursor = 0;
    auto next = [&] {
        const std::size_t end = std::min(table.find('\0', cursor), table.size());
        const std::string_view text = table.substr(cursor, end - cursor);
        cursor = end + 1;
        return text;
    };
    while (table.size() > 0 && cursor < table.size() - 1) {
        CeosFieldEntry e;
        e.label = std::string(next());
        const std::string_view format = cursor < table.size() ? next() : std::string_view();
        std::size_t i = 0;
        const bool counted = i < format.size() && format[i] >= '0' && format[i] <= '9';
        e.repeat = counted ? Digits(format, &i) : 1;
        e.letter = i < format.size() ? format[i++] : 0;
        e.width = Digits(format, &i);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string CeosInfoUnreadableText()
{
    return "Невозможно прочитать данные...\r\nПроверьте правильность имени Leader-файла";
}

std::string CeosInfoText(const CeosByteReader& read, std::int64_t fileSize)
{
    const std::string head = read(0, 12);
    if (head.size() < 12)
        return CeosInfoUnreadableText();
    const std::int32_t first = BigEndian32(head.substr(8, 4));
    if (first < 12 || first > fileSize)
        return CeosInfoUnreadableText();
    static const std::vector<CeosFieldEntry> entries = ParseCeosFieldTable(CeosFieldResource());
    // The whole stretch the table covers, read once.
    std::int64_t span = 0;
    for (const CeosFieldEntry& e : entries)
        span += std::int64_t(e.repeat) * e.width;
    const std::int64_t start = std::int64_t(first) + kFirstField;
    const std::string record = start < fileSize ? read(start, std::min(span, fileSize - start)) : std::string();
    const std::string_view stored(record);
    std::string text;
    text.reserve(4096);
    std::int64_t at = 0;
    for (const CeosFieldEntry& e : entries) {
        if (e.letter == '$') {
            at += std::int64_t(e.repeat) * e.width;
            continue;
        }
        if (e.letter != 'A' && e.letter != 'E' && e.letter != 'F' && e.letter != 'I')
            continue;
        text += e.label;
        text += " : ";
        for (int r = 0; r < e.repeat; ++r, at += e.width) {
            std::string_view field;
            if (at < std::int64_t(stored.size()))
                field = stored.substr(std::size_t(at), std::size_t(e.width));
            field = field.substr(0, field.find('\0'));
            if (std::all_of(field.begin(), field.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
                text += field;
            else
                text += Cp1251ToUtf8(field);
            text += "  ";
        }
        text += "\r\n";
    }
    return text;
}

std::string CeosInfoText(std::span<const unsigned char> leader)
{
    const std::string_view bytes(reinterpret_cast<const char*>(leader.data()), leader.size());
    return CeosInfoText(
        [&](std::int64_t offset, std::int64_t n) {
            if (offset < 0 || offset >= std::int64_t(bytes.size()) || n <= 0)
                return std::string();
            return std::string(bytes.substr(std::size_t(offset), std::size_t(n)));
        },
        std::int64_t(bytes.size()));
}

std::string FillText(const std::string& leaderPath)
{
    std::ifstream file(leaderPath, std::ios::binary);
    if (!file)
        return CeosInfoUnreadableText();
    file.seekg(0, std::ios::end);
    const std::int64_t size = std::int64_t(file.tellg());
    if (size < 0)
        return CeosInfoUnreadableText();
    return CeosInfoText(
        [&](std::int64_t offset, std::int64_t n) {
            std::string bytes;
            if (offset < 0 || offset >= size || n <= 0)
                return bytes;
            bytes.resize(std::size_t(std::min(n, size - offset)));
            file.clear();
            file.seekg(offset);
            file.read(bytes.data(), std::streamsize(bytes.size()));
            bytes.resize(std::size_t(std::max<std::streamsize>(file.gcount(), 0)));
            return bytes;
        },
        size);
}
