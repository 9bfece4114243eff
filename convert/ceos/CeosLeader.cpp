#include "ceos/CeosLeader.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "ceos/CeosDescriptor.h"
#include "ceos/CeosStrings.h"
#include "jobs/MeterInfoBase.h"
#include "layer/RDPFileTags.h"
#include "layer/Transform.h"

namespace {

std::int32_t BigEndian32(const unsigned char* p)
{
    return std::int32_t(std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
                        std::uint32_t(p[3]));
}

// Builds a payload field by field, in the file's (host) order.
class Payload {
public:
    explicit Payload(std::size_t size) : m_bytes(size, 0) {}
    void Int(std::size_t offset, std::int32_t v) { std::memcpy(m_bytes.data() + offset, &v, 4); }
    void Real(std::size_t offset, double v) { std::memcpy(m_bytes.data() + offset, &v, 8); }
    void Time(std::size_t offset, const TagTime& t)
    {
        Int(offset, t.day);
        Real(offset + 4, t.seconds);
    }
    Bytes Take() { return std::move(m_bytes); }

private:
    Bytes m_bytes;
};

// A record of the leader; fields are read only where the record holds them.
class Record {
public:
    Record() = default;
    Record(ByteSpan leader, std::int64_t offset, std::int64_t length)
        : m_data(reinterpret_cast<const char*>(leader.data()) + offset), m_length(length)
    {
    }
    explicit operator bool() const { return m_data != nullptr; }
    bool Holds(std::int64_t offset, std::int64_t width) const
    {
        return m_data && offset >= 0 && width >= 0 && offset + width <= m_length;
    }
    std::optional<std::string_view> Field(std::int64_t offset, std::int64_t width) const
    {
        if (!Holds(offset, width))
            return std::nullopt;
        return std::string_view(m_data + offset, std::size_t(width));
    }
    // The characters up to a zero byte, as a text compares them.
    std::string_view Text(std::int64_t offset, std::int64_t width) const
    {
        const auto f = Field(offset, width);
        if (!f)
            return {};
        const std::size_t zero = f->find('\0');
        return zero == std::string_view::npos ? *f : f->substr(0, zero);
    }
    std::int64_t Length() const { return m_length; }

private:
    const char* m_data = nullptr;
    std::int64_t m_length = 0;
};

Record FirstRecord(ByteSpan leader, const std::vector<LeaderRecordHeader>& headers, int type)
{
    const int index = FindLeaderRecord(headers.data(), int(headers.size()), type);
    if (index < 0)
        return {};
    return Record(leader, LeaderRecordOffset(headers.data(), index), headers[std::size_t(index)].length);
}

bool Contains(std::string_view text, std::string_view what)
{
    return text.find(what) != std::string_view::npos;
}

// The first of the words the text contains gives its code (1 for the first word...).
int FirstMatch(std::string_view text, std::initializer_list<std::string_view> words)
{
    int code = 1;
    for (std::string_view w : words) {
        if (Contains(text, w))
            return code;
        ++code;
    }
    return 0;
}

int MonthNumber(std::string_view text)
{
    static const char* const kNames[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int m = 0; m < 12; ++m)
        if (text.size() >= 3 && text.substr(0, 3) == kNames[m])
            return m + 1;
    return ParseFixedInt(text);
}

// Characters [from, from + n) of text, as far as it has them.
std::string_view Part(std::string_view text, std::size_t from, std::size_t n)
{
    if (from >= text.size())
        return {};
    return text.substr(from, n);
}

double Seconds(int hours, int minutes, double seconds)
{
    return double(hours) * 3600.0 + double(minutes) * 60.0 + seconds;
}

void SetIfHeld(const Record& r, std::int64_t offset, int width, Payload& p, std::size_t at, bool integer)
{
    if (const auto f = r.Field(offset, width)) {
        if (integer)
            p.Int(at, ParseFixedInt(*f));
        else
            p.Real(at, ParseFixedReal(*f));
    }
}

template <typename Parse>
void TimeIfHeld(const Record& r, std::int64_t offset, int width, Payload& p, std::size_t at, Parse parse)
{
    if (const auto f = r.Field(offset, width)) {
        TagTime t;
        parse(*f, &t);
        p.Time(at, t);
    }
}

bool Store(const std::string& output, int tag, const Bytes& payload)
{
    return SetTag(output.c_str(), tag, int(payload.size()), payload.data()) != 0;
}

double Interpolate(const double corner[4], double lines, double pixels, double x, double y)
{
    // corner: FL, FR, LL, LR.
    const double left = corner[0] + (corner[2] - corner[0]) / lines * y;
    const double right = corner[1] + (corner[3] - corner[1]) / lines * y;
    return left + (right - left) / pixels * x;
}

std::int32_t ReadInt32(const unsigned char* p, int byteOrder)
{
    if (byteOrder == 2)
        return BigEndian32(p);
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

std::vector<LeaderRecordHeader> WalkLeaderRecords(ByteSpan leader)
{
    std::vector<LeaderRecordHeader> headers;
    const std::int64_t size = std::int64_t(leader.size());
    std::int64_t pos = 0;
    while (pos + 12 <= size) {
        const unsigned char* h = leader.data() + pos;
        const std::int32_t length = BigEndian32(h + 8);
        if (length < 12 || pos + length > size)
            break;
        LeaderRecordHeader header;
        header.sequence = BigEndian32(h);
        header.subtype1 = h[4];
        header.type = h[5];
        header.subtype2 = h[6];
        header.subtype3 = h[7];
        header.length = length;
        headers.push_back(header);
        pos += length;
    }
    return headers;
}

int FindLeaderRecord(const LeaderRecordHeader* headers, int count, int type)
{
    for (int i = 0; i < count; ++i)
        if (headers[i].type == type)
            return i;
    return -1;
}

std::int64_t LeaderRecordOffset(const LeaderRecordHeader* headers, int index)
{
    std::int64_t offset = 0;
    for (int i = 0; i < index; ++i)
        offset += headers[i].length;
    return offset;
}

std::int32_t DayNumberOfYear(int year, int dayOfYear)
{
    const std::int64_t y = std::int64_t(year) - 1;
    const std::int64_t days = 365 * y + y / 4 + std::int64_t(dayOfYear) - 1;
    return std::int32_t(std::clamp<std::int64_t>(days, INT32_MIN, INT32_MAX));
}

std::int32_t DayNumber(int year, int month, int day)
{
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::int64_t before = 0;
    for (int m = 1; m < month && m <= 12; ++m)
        before += kMonthDays[m - 1];
    if (year % 4 == 0 && month > 2)
        ++before;
    return DayNumberOfYear(year, int(std::clamp<std::int64_t>(before + day, INT_MIN, INT_MAX)));
}

void ParseDayOfYearTime(std::string_view text, TagTime* out)
{
    const int year = ParseFixedInt(Part(text, 0, 4));
    const int dayOfYear = ParseFixedInt(Part(text, 5, 3));
    const int hours = ParseFixedInt(Part(text, 9, 2));
    const int minutes = ParseFixedInt(Part(text, 12, 2));
    const double seconds = ParseFixedReal(Part(text, 15, 6));
    out->day = DayNumberOfYear(year, dayOfYear);
    out->seconds = Seconds(hours, minutes, seconds);
}

void ParseCompactTime(std::string_view text, TagTime* out)
{
    const std::size_t start = text.find_first_not_of(' ');
    text = start == std::string_view::npos ? std::string_view() : text.substr(start);
    const int year = ParseFixedInt(Part(text, 0, 4));
    const int month = ParseFixedInt(Part(text, 4, 2));
    const int day = ParseFixedInt(Part(text, 6, 2));
    const int hours = ParseFixedInt(Part(text, 8, 2));
    const int minutes = ParseFixedInt(Part(text, 10, 2));
    const std::string seconds = std::string(Part(text, 12, 2)) + "." + std::string(Part(text, 14, 3));
    out->day = DayNumber(year, month, day);
    out->seconds = Seconds(hours, minutes, ParseFixedReal(seconds));
}

void ParseDateTime(std::string_view text, TagTime* out)
{
    const int day = ParseFixedInt(Part(text, 0, 2));
    const int month = MonthNumber(Part(text, 3, 3));
    const int year = ParseFixedInt(Part(text, 7, 4));
    const int hours = ParseFixedInt(Part(text, 12, 2));
    const int minutes = ParseFixedInt(Part(text, 15, 2));
    const double seconds = ParseFixedReal(Part(text, 18, 6));
    out->day = DayNumber(year, month, day);
    out->seconds = Seconds(hours, minutes, seconds);
}

ProductType ReadProductType(ByteSpan leader)
{
    std::string_view text;
    if (leader.size() > 48) {
        text = std::string_view(reinterpret_cast<const char*>(leader.data()) + 48,
                                std::min<std::size_t>(16, leader.size() - 48));
        text = text.substr(0, text.find('\0'));
    }
    ProductType type;
    type.platform = FirstMatch(text, {"RSAT-1", "ERS1", "ERS2", "JERS", "XSAR"});
    type.sensor = Contains(text, "SAR") ? 1 : 0;
    type.image = FirstMatch(text, {"RAW", "SLC", "SSC", "MGD", "SGC", "SGF", "SGX"});
    return type;
}

Bytes ProductTypePayload(const ProductType& type)
{
    Payload p(kProductTypeTagSize);
    p.Int(0, kProductTypeTagSize);
    p.Int(4, 1);
    p.Int(8, type.platform);
    p.Int(12, type.sensor);
    p.Int(16, type.image);
    return p.Take();
}

Bytes WindowCornersPayload(const SceneCorners& scene, const ImportParams& params)
{
    const double lines = std::max(params.records, 1);
    const double pixels = std::max(params.pixelsPerRecord, 1);
    const double x0 = params.windowX, y0 = params.windowY;
    const double x1 = x0 + params.windowWidth, y1 = y0 + params.windowHeight;
    const double xs[4] = {x0, x1, x0, x1};
    const double ys[4] = {y0, y0, y1, y1};
    Payload p(kGeoCornersTagSize);
    p.Int(0, kGeoCornersTagSize);
    p.Int(4, 1);
    for (int c = 0; c < 4; ++c) {
        p.Real(8 + 16 * std::size_t(c), Interpolate(scene.lat, lines, pixels, xs[c], ys[c]));
        p.Real(16 + 16 * std::size_t(c), Interpolate(scene.lon, lines, pixels, xs[c], ys[c]));
    }
    return p.Take();
}

Bytes SceneCornersPayload(const SceneCorners& scene)
{
    Payload p(kGeoCornersTagSize);
    p.Int(0, kGeoCornersTagSize);
    p.Int(4, 1);
    for (int c = 0; c < 4; ++c) {
        p.Real(8 + 16 * std::size_t(c), scene.lat[c]);
        p.Real(16 + 16 * std::size_t(c), scene.lon[c]);
    }
    return p.Take();
}

std::optional<SceneCorners> ErsSceneCorners(ByteSpan leader)
{
    const Record map = FirstRecord(leader, WalkLeaderRecords(leader), kMapProjection);
    if (!map.Holds(1072, 8 * 16))
        return std::nullopt;
    double v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = ParseFixedReal(*map.Field(1072 + 16 * i, 16));
    // Corners 1 to 4 run FL, FR, LR, LL.
    SceneCorners s;
    const int order[4] = {0, 1, 3, 2};
    for (int c = 0; c < 4; ++c) {
        s.lat[c] = v[2 * order[c]];
        s.lon[c] = v[2 * order[c] + 1];
    }
    return s;
}

SceneCorners RadarsatSceneCorners(const unsigned char* first, const unsigned char* last, int byteOrder)
{
    SceneCorners s;
    const unsigned char* records[2] = {first, last};
    for (int r = 0; r < 2; ++r) {
        auto value = [&](int i) { return ReadInt32(records[r] + 4 * i, byteOrder) / 1e6; };
        s.lat[2 * r] = value(0);
        s.lon[2 * r] = value(3);
        s.lat[2 * r + 1] = value(2);
        s.lon[2 * r + 1] = value(5);
    }
    return s;
}

OrbitPayloads BuildOrbitPayloads(ByteSpan leader, bool ersPlatform)
{
    const std::vector<LeaderRecordHeader> headers = WalkLeaderRecords(leader);
    Payload p(kCommonParamsTagSize);
    p.Int(0, kCommonParamsTagSize);
    p.Int(4, 1);
    p.Int(68, -1);
    p.Int(72, -1);
    if (const Record dss = FirstRecord(leader, headers, kDataSetSummary)) {
        TimeIfHeld(dss, 68, 32, p, 20, ParseCompactTime);
        SetIfHeld(dss, ersPlatform ? 1766 : 726, 16, p, 44, false);
        SetIfHeld(dss, 710, 16, p, 52, false);
        SetIfHeld(dss, 500, 16, p, 60, false);
        SetIfHeld(dss, 324, 8, p, 68, true);
        SetIfHeld(dss, 332, 8, p, 72, true);
        auto direction = [](std::string_view t) { return FirstMatch(t, {"INCREASE", "DECREASE"}); };
        if (dss.Holds(1526, 8))
            p.Int(128, direction(dss.Text(1526, 8)));
        if (dss.Holds(1534, 8))
            p.Int(132, direction(dss.Text(1534, 8)));
        SetIfHeld(dss, 444, 8, p, 184, true);
        SetIfHeld(dss, 1686, 16, p, 248, false);
        SetIfHeld(dss, 1702, 16, p, 256, false);
        if (ersPlatform) {
            TimeIfHeld(dss, 1814, 24, p, 8, ParseDateTime);
            TimeIfHeld(dss, 1862, 24, p, 32, ParseDateTime);
        }
    }
    if (const Record pp = FirstRecord(leader, headers, kProcessingParameters)) {
        TimeIfHeld(pp, 191, 21, p, 8, ParseDayOfYearTime);
        TimeIfHeld(pp, 212, 21, p, 32, ParseDayOfYearTime);
        for (int i = 0; i < 6; ++i)
            SetIfHeld(pp, 4907 + 16 * i, 16, p, 76 + 8 * std::size_t(i), false);
        if (pp.Holds(543, 9))
            p.Int(124, FirstMatch(pp.Text(543, 9), {"NORMAL", "ANTARCTIC"}));
        SetIfHeld(pp, 2724, 16, p, 136, false);
        for (int i = 0; i < 4; ++i)
            SetIfHeld(pp, 2740 + 16 * i, 16, p, 144 + 8 * std::size_t(i), false);
        SetIfHeld(pp, 959, 16, p, 176, false);
    }
    OrbitPayloads result;
    if (const Record pos = FirstRecord(leader, headers, kPlatformPosition)) {
        constexpr int kFirstPoint = 386, kPointChars = 6 * 22;
        int points = 0;
        if (const auto f = pos.Field(140, 4)) {
            const std::int64_t held = std::max<std::int64_t>(0, (pos.Length() - kFirstPoint) / kPointChars);
            points = int(std::clamp<std::int64_t>(ParseFixedInt(*f), 0, held));
            p.Int(200, points);
        }
        SetIfHeld(pos, 144, 4, p, 204, true);
        SetIfHeld(pos, 148, 4, p, 208, true);
        SetIfHeld(pos, 152, 4, p, 212, true);
        SetIfHeld(pos, 156, 4, p, 216, true);
        SetIfHeld(pos, 160, 22, p, 220, false);
        SetIfHeld(pos, 182, 22, p, 228, false);
        if (pos.Holds(204, 64)) {
            const std::string_view t = pos.Text(204, 64);
            p.Int(236, Contains(t, "INERTIAL") ? 1
                       : Contains(t, "Earth Centered Rotating") || Contains(t, "EARTH FIXED REFERENCE SYSTEM")
                           ? 2
                           : 0);
        }
        SetIfHeld(pos, 268, 22, p, 240, false);
        if (pos.Holds(140, 4)) {
            Payload v(8 + 48 * std::size_t(points));
            v.Int(0, 8 + 48 * points);
            v.Int(4, 1);
            for (int i = 0; i < points; ++i)
                for (int j = 0; j < 6; ++j)
                    v.Real(8 + 48 * std::size_t(i) + 8 * std::size_t(j),
                           ParseFixedReal(*pos.Field(kFirstPoint + kPointChars * i + 22 * j, 22)));
            result.stateVectors = v.Take();
        }
    }
    result.commonParams = p.Take();
    return result;
}

std::optional<Bytes> LeaderPayload(ByteSpan leader)
{
    if (leader.size() > std::size_t(INT32_MAX) - 8)
        return std::nullopt;
    Bytes bytes(leader.size() + 8);
    const std::int32_t length = std::int32_t(leader.size() + 8), flag = 1;
    std::memcpy(bytes.data(), &length, 4);
    std::memcpy(bytes.data() + 4, &flag, 4);
    if (!leader.empty())
        std::memcpy(bytes.data() + 8, leader.data(), leader.size());
    return bytes;
}

Bytes WindowPayload(const ImportParams& params)
{
    Payload p(kWindowTagSize);
    p.Int(0, kWindowTagSize);
    p.Int(4, 1);
    p.Int(8, params.pixelsPerRecord);
    p.Int(12, params.records);
    p.Int(16, params.windowX);
    p.Int(20, params.windowY);
    return p.Take();
}

Bytes TransformPayload(const ImportParams& params)
{
    const SPoint origin{double(params.windowX), double(params.windowY)};
    TransformMatrix m;
    SubsetTransform(&origin, &m);
    Payload p(kTransformTagSize);
    p.Int(0, kTransformTagSize);
    p.Int(4, 1);
    const double values[6] = {m.a, m.b, m.c, m.d, m.e, m.f};
    for (int i = 0; i < 6; ++i)
        p.Real(8 + 8 * std::size_t(i), values[i]);
    return p.Take();
}

bool WriteProductTypeTag(const ImportParams&, const std::string& output, ByteSpan leader)
{
    return Store(output, kProductTypeTag, ProductTypePayload(ReadProductType(leader)));
}

bool WriteErsGeoTags(const ImportParams& params, const std::string& output, ByteSpan leader)
{
    const std::optional<SceneCorners> scene = ErsSceneCorners(leader);
    if (!scene)
        return true;
    return Store(output, kWindowGeoTag, WindowCornersPayload(*scene, params)) &&
           Store(output, kSceneGeoTag, SceneCornersPayload(*scene));
}

bool WriteRadarsatGeoTags(const ImportParams& params, const std::string& output, const unsigned char* firstPrefix,
                          const unsigned char* lastPrefix, CMeterInfoBase* meter)
{
    if (meter)
        meter->SetText((LoadCeosString(IDS_CEOS_GEO_PARAMS) + "...").c_str());
    if (!firstPrefix || !lastPrefix)
        return true;
    const SceneCorners scene = RadarsatSceneCorners(firstPrefix, lastPrefix, params.byteOrder);
    return Store(output, kWindowGeoTag, WindowCornersPayload(scene, params)) &&
           Store(output, kSceneGeoTag, SceneCornersPayload(scene));
}

bool WriteOrbitTags(const ImportParams&, const std::string& output, ByteSpan leader, CMeterInfoBase* meter)
{
    if (leader.size() <= 11)
        return true;
    if (meter)
        meter->SetText(LoadCeosString(IDS_CEOS_ORBIT_PARAMS).c_str());
    const ProductType type = ReadProductType(leader);
    const OrbitPayloads payloads = BuildOrbitPayloads(leader, type.platform == 2 || type.platform == 3);
    bool ok = true;
    if (payloads.stateVectors)
        ok = Store(output, kStateVectorsTag, *payloads.stateVectors);
    return Store(output, kCommonParamsTag, payloads.commonParams) && ok;
}

bool WriteCeosTags(const ImportParams& params, const std::string& output, ByteSpan leader,
                   const unsigned char* firstPrefix, const unsigned char* lastPrefix, CMeterInfoBase* meter)
{
    const std::optional<Bytes> whole = LeaderPayload(leader);
    if (!whole)
        return true;  // a leader too large for its tag counts as none
    bool ok = Store(output, kLeaderTag, *whole);
    ok = ok && Store(output, kWindowTag, WindowPayload(params));
    ok = ok && Store(output, kTransformTagNumber, TransformPayload(params));
    ok = ok && WriteProductTypeTag(params, output, leader);
    if (params.productKind == 1) {
        ok = ok && WriteRadarsatGeoTags(params, output, firstPrefix, lastPrefix, meter);
        ok = ok && WriteOrbitTags(params, output, leader, meter);
    } else if (params.productKind == 2) {
        ok = ok && WriteErsGeoTags(params, output, leader);
        ok = ok && WriteOrbitTags(params, output, leader, meter);
    }
    return ok;
}
