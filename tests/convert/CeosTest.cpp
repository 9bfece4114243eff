// The CEOS import's pure parts: fixed fields, the descriptor, the leader name, the
// leader walk, the tag payloads, the time texts, the field table and its text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "ceos/CeosDescriptor.h"
#include "ceos/CeosFields.h"
#include "ceos/CeosImport.h"
#include "ceos/CeosLeader.h"
#include "ceos/CeosStrings.h"
#include "layer/DataTypes.h"

namespace {

void PutText(Bytes& b, std::size_t offset, const std::string& text)
{
    if (b.size() < offset + text.size())
        b.resize(offset + text.size(), ' ');
    std::memcpy(b.data() + offset, text.data(), text.size());
}

void PutBig32(Bytes& b, std::size_t offset, std::int32_t v)
{
    const std::uint32_t u = std::uint32_t(v);
    const unsigned char bytes[4] = {static_cast<unsigned char>(u >> 24), static_cast<unsigned char>(u >> 16),
                                    static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u)};
    std::memcpy(b.data() + offset, bytes, 4);
}

// A leader record of a type code and length, blank-filled after its header; a
// length beyond 64 KiB only claims it.
Bytes LeaderRecord(int type, std::int32_t length, int sequence = 1)
{
    Bytes b(std::size_t(std::clamp(length, 12, 1 << 16)), ' ');
    PutBig32(b, 0, sequence);
    b[4] = 18;
    b[5] = static_cast<unsigned char>(type);
    b[6] = 18;
    b[7] = 20;
    PutBig32(b, 8, length);
    return b;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::int32_t Int(const Bytes& b, std::size_t offset)
{
    std::int32_t v;
    std::memcpy(&v, b.data() + offset, 4);
    return v;
}

double Real(const Bytes& b, std::size_t offset)
{
    double v;
    std::memcpy(&v, b.data() + offset, 8);
    return v;
}

struct DescriptorFields {
    int records = 10, recordLength = 12 + 8 * 2, group = 2, pixels = 8, maxValue = 32767;
    std::int32_t length = 720;
};

Bytes Descriptor(const DescriptorFields& f, std::size_t size = 720)
{
    Bytes b(size, ' ');
    PutBig32(b, 8, f.length);
    auto field = [&](std::size_t offset, int width, int value) {
        char text[32];
        std::snprintf(text, sizeof text, "%*d", width, value);
        PutText(b, offset, std::string(text).substr(0, std::size_t(width)));
    };
    field(180, 6, f.records);
    field(186, 6, f.recordLength);
    field(224, 8, f.group);
    field(248, 8, f.pixels);
    field(440, 8, f.maxValue);
    b.resize(size);
    return b;
}

}  // namespace

TEST(CeosFixedFields, IntegersAreTheLongestDecimalPrefixOfTheCutField)
{
    struct Case {
        const char* text;
        int width;
        int want;
    } cases[] = {
        {"   720", 6, 720},      {"720   ", 6, 720},  {"  -12x", 6, -12}, {"+15", 3, 15},   {"123456", 3, 123},
        {"      ", 6, 0},        {"abc", 3, 0},       {"", 0, 0},         {"12\0" "34", 5, 12},
        {"99999999999", 11, 2147483647},             {"-99999999999", 12, -2147483647 - 1},
        {"\t 7", 3, 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseFixedInt(c.text, c.width), c.want) << '"' << c.text << "\" width " << c.width;
}

TEST(CeosFixedFields, RealsAreReadInTheCLocaleAndStopAtTheFirstStrangeCharacter)
{
    struct Case {
        const char* text;
        int width;
        double want;
    } cases[] = {
        {"   12.5000000000", 16, 12.5}, {"  -1.5000000E-03", 16, -1.5e-3}, {"1.0D+02", 7, 100.0},
        {"3.25,7", 6, 3.25},           {"1.5E", 4, 1.5},                   {".5", 2, 0.5},
        {"5.", 2, 5.0},                {".", 1, 0.0},                      {"1e999", 5, HUGE_VAL},
        {"12.75", 3, 12.0},            {"", 0, 0.0},                       {"-", 1, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseFixedReal(c.text, c.width), c.want) << '"' << c.text << "\" width " << c.width;
}

TEST(CeosDescriptor, SampleTypesFollowTheMaximumValue)
{
    EXPECT_EQ(CeosSampleType(255), UINT8);
    EXPECT_EQ(CeosSampleType(127), SINT8);
    EXPECT_EQ(CeosSampleType(65535), UINT16);
    EXPECT_EQ(CeosSampleType(32767), SINT16);
    EXPECT_EQ(CeosSampleType(1023), 0);
    EXPECT_EQ(CeosSampleType(0), 0);
}

TEST(CeosDescriptor, EachMissionGetsItsReaderParameters)
{
    struct Case {
        const char* name;
        CeosMission mission;
        DescriptorFields fields;
        int header, prefix, recordLength, type, components, kind;
        bool compressed;
    } cases[] = {
        {"RADARSAT complex UINT8", CeosMission::Radarsat, {10, 192 + 16, 2, 8, 255, 0}, 16252, 192, 208, UINT8, 2, 1,
         false},
        {"RADARSAT UINT8", CeosMission::Radarsat, {10, 192 + 8, 1, 8, 255, 0}, 16252, 192, 200, UINT8, 1, 1, false},
        {"ERS header from its descriptor", CeosMission::Ers, {10, 12 + 32, 4, 8, 32767, 720}, 720, 12, 44, SINT16, 2,
         2, false},
        {"SIR-C record length plus 12", CeosMission::SirC, {10, 880, 2, 400, 255, 720}, 720, 12, 892, UINT8, 2, 3,
         false},
        {"SIR-C compressed", CeosMission::SirC, {10, 4 * 8, 4, 8, 0, 720}, 720, 12, 44, 0, 1, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes d = Descriptor(c.fields);
        CeosFileInfo info;
        ASSERT_EQ(DescribeCeosFile(d.data(), std::int64_t(d.size()), c.mission, "/d/dat_01.001", &info), 0u);
        EXPECT_EQ(info.params.headerSize, c.header);
        EXPECT_EQ(info.params.prefixSize, c.prefix);
        EXPECT_EQ(info.params.recordLength, c.recordLength);
        EXPECT_EQ(info.params.records, c.fields.records);
        EXPECT_EQ(info.params.pixelsPerRecord, c.fields.pixels);
        EXPECT_EQ(info.params.pixelSize, c.fields.group);
        EXPECT_EQ(info.params.byteOrder, 2);
        EXPECT_EQ(info.params.leaderFlag, 1);
        EXPECT_EQ(info.params.productKind, c.kind);
        EXPECT_EQ(info.params.step, 1);
        EXPECT_EQ(info.params.leaderFile, "/d/lea_01.001");
        EXPECT_EQ(info.compressed, c.compressed);
        EXPECT_EQ(info.groupBytes, c.fields.group);
        if (!c.compressed) {
            EXPECT_EQ(info.params.componentType, c.type);
            EXPECT_EQ(info.params.components, c.components);
            EXPECT_EQ(info.complex, c.components == 2);
        }
    }
}

TEST(CeosDescriptor, UnusableDescriptorsAreRefusedWithTheirReason)
{
    struct Case {
        const char* name;
        CeosMission mission;
        DescriptorFields fields;
        std::size_t size;
        unsigned want;
    } cases[] = {
        {"maximum 1023", CeosMission::Ers, {10, 28, 2, 8, 1023, 720}, 720, IDS_CEOS_UNSUPPORTED},
        {"three bytes a group", CeosMission::Ers, {10, 36, 3, 8, 255, 720}, 720, IDS_CEOS_UNSUPPORTED},
        {"compressed ERS", CeosMission::Ers, {10, 44, 4, 8, 0, 720}, 720, IDS_CEOS_UNSUPPORTED},
        {"compressed SIR-C of 8 bytes", CeosMission::SirC, {10, 64, 8, 8, 0, 720}, 720, IDS_CEOS_UNSUPPORTED},
        {"descriptor too short", CeosMission::Ers, {}, 447, IDS_CEOS_INVALID},
        {"header length 0", CeosMission::Ers, {10, 28, 2, 8, 32767, 0}, 720, IDS_CEOS_INVALID},
        {"header length negative", CeosMission::SirC, {10, 28, 2, 8, 32767, -5}, 720, IDS_CEOS_INVALID},
        {"no records", CeosMission::Ers, {0, 28, 2, 8, 32767, 720}, 720, IDS_CEOS_INVALID},
        {"no pixels", CeosMission::Ers, {10, 28, 2, -3, 32767, 720}, 720, IDS_CEOS_INVALID},
        {"record shorter than its pixels", CeosMission::Ers, {10, 27, 2, 8, 32767, 720}, 720, IDS_CEOS_INVALID},
        {"RADARSAT record without room for its prefix", CeosMission::Radarsat, {10, 100, 1, 8, 255, 0}, 720,
         IDS_CEOS_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes d = Descriptor(c.fields, c.size);
        CeosFileInfo info;
        EXPECT_EQ(DescribeCeosFile(d.data(), std::int64_t(d.size()), c.mission, "/d/x", &info), c.want);
    }
}

TEST(CeosLeaderName, LeaderLiesBesideTheDataFileWithItsExtension)
{
    struct Case {
        const char* data;
        const char* leader;
    } cases[] = {
        {"/scenes/dat_01.001", "/scenes/lea_01.001"},
        {"/a.b/dat_01", "/a.b/lea_01"},
        {"dat_01.001", "lea_01.001"},
        {"/x/y/scene.tar.gz", "/x/y/lea_01.gz"},
        {"/x/.hidden", "/x/lea_01.hidden"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LeaderNameFor(c.data), c.leader) << c.data;
}

TEST(CeosLeaderName, AFolderEntryDifferingOnlyInCaseIsTaken)
{
    testsupport::TempDir dir;
    std::ofstream(dir.File("LEA_01.001")) << "x";
    EXPECT_EQ(GetLeaderFileName(dir.File("dat_01.001")), dir.File("LEA_01.001"));
    // The exact name wins when it is there.
    std::ofstream(dir.File("lea_01.001")) << "x";
    EXPECT_EQ(GetLeaderFileName(dir.File("dat_01.001")), dir.File("lea_01.001"));
    // None at all: the derived name.
    EXPECT_EQ(GetLeaderFileName(dir.File("dat_01.002")), dir.File("lea_01.002"));
}

TEST(CeosLeaderWalk, RecordsAreCountedWhileTheirLengthsFit)
{
    const Bytes a = LeaderRecord(192, 720), b = LeaderRecord(10, 100), c = LeaderRecord(30, 50);
    const Bytes whole = Join({a, b, c});
    std::vector<LeaderRecordHeader> h = WalkLeaderRecords(whole);
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[1].type, 10);
    EXPECT_EQ(FindLeaderRecord(h.data(), 3, 30), 2);
    EXPECT_EQ(FindLeaderRecord(h.data(), 3, 20), -1);
    EXPECT_EQ(LeaderRecordOffset(h.data(), 2), 820);

    struct Case {
        const char* name;
        Bytes leader;
        std::size_t want;
    } hostile[] = {
        {"length 0 ends the walk", Join({a, LeaderRecord(10, 0), b}), 1},
        {"negative length", Join({a, LeaderRecord(10, -100), b}), 1},
        {"length below the header", Join({a, LeaderRecord(10, 11), b}), 1},
        {"huge length", Join({a, LeaderRecord(10, 0x7fffffff)}), 1},
        {"record cut short", Bytes(whole.begin(), whole.end() - 1), 2},
        {"header cut short", Bytes(whole.begin(), whole.begin() + 726), 1},
        {"empty", Bytes(), 0},
    };
    for (const Case& c : hostile)
        EXPECT_EQ(WalkLeaderRecords(c.leader).size(), c.want) << c.name;
}

TEST(CeosTimes, DayNumbersAndSecondsOfTheThreeLayouts)
{
    struct Case {
        const char* name;
        void (*parse)(std::string_view, TagTime*);
        std::string text;
        std::int32_t day;
        double seconds;
    } cases[] = {
        {"day of year", ParseDayOfYearTime, "1997-032-12:00:00.000", 729070, 43200.0},
        {"compact", ParseCompactTime, "  19970201120000000", 729070, 43200.0},
        {"compact milliseconds", ParseCompactTime, "19970201120001250", 729070, 43201.25},
        {"date with month name", ParseDateTime, "01-FEB-1997 12:00:00.000", 729070, 43200.0},
        {"date with month digits", ParseDateTime, "01-002-1997 12:00:00.000", 729070, 43200.0},
        {"leap year after February", ParseDateTime, "01-MAR-1996 00:00:01.500", 365 * 1995 + 498 + 59 + 1, 1.5},
        {"December", ParseDateTime, "31-DEC-1997 23:59:59.000", 365 * 1996 + 499 + 364, 86399.0},
        {"no digits", ParseDayOfYearTime, "", 365 * -1 + 0 - 1, 0.0},
        {"short text", ParseCompactTime, "1997", 365 * 1996 + 499 - 1, 0.0},
    };
    for (const Case& c : cases) {
        TagTime t;
        c.parse(c.text, &t);
        EXPECT_EQ(t.day, c.day) << c.name;
        EXPECT_EQ(t.seconds, c.seconds) << c.name;
    }
    // A month of 0 or 1 adds no month lengths; months past 12 add a year at most.
    EXPECT_EQ(DayNumber(2001, 0, 1), DayNumber(2001, 1, 1));
    EXPECT_EQ(DayNumber(2001, 13, 1), DayNumber(2002, 1, 1));
}

TEST(CeosTags, ProductTypeCodesFromTheLeaderText)
{
    struct Case {
        const char* text;
        ProductType want;
    } cases[] = {
        {"RSAT-1-SAR-SGF", {1, 1, 6}}, {"ERS2 SAR SLC", {3, 1, 2}}, {"ERS1 SAR RAW", {2, 1, 1}},
        {"JERS-1 SAR MGD", {4, 1, 4}}, {"XSAR SSC", {5, 1, 3}},     {"SIR-C SGX", {0, 0, 7}},
        {"", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        Bytes leader = LeaderRecord(192, 720);
        std::memset(leader.data() + 48, ' ', 16);
        std::memcpy(leader.data() + 48, c.text, std::strlen(c.text));
        const ProductType t = ReadProductType(leader);
        EXPECT_EQ(t.platform, c.want.platform) << c.text;
        EXPECT_EQ(t.sensor, c.want.sensor) << c.text;
        EXPECT_EQ(t.image, c.want.image) << c.text;
        const Bytes p = ProductTypePayload(t);
        ASSERT_EQ(p.size(), 20u);
        EXPECT_EQ(Int(p, 0), 20);
        EXPECT_EQ(Int(p, 4), 1);
    }
    // A leader shorter than the text reads what is there.
    const Bytes tiny = {'x'};
    EXPECT_EQ(ReadProductType(tiny).platform, 0);
}

TEST(CeosTags, WindowCornersAreInterpolatedBetweenTheScenes)
{
    SceneCorners s;
    const double lat[4] = {10.0, 10.0, 0.0, 0.0}, lon[4] = {20.0, 30.0, 20.0, 30.0};
    std::memcpy(s.lat, lat, sizeof lat);
    std::memcpy(s.lon, lon, sizeof lon);
    ImportParams p;
    p.records = 100;
    p.pixelsPerRecord = 50;
    p.windowWidth = 50;
    p.windowHeight = 100;
    EXPECT_EQ(WindowCornersPayload(s, p), SceneCornersPayload(s));
    p.windowX = 10;
    p.windowY = 25;
    p.windowWidth = 20;
    p.windowHeight = 50;
    const Bytes w = WindowCornersPayload(s, p);
    ASSERT_EQ(w.size(), 72u);
    const double want[8] = {7.5, 22.0, 7.5, 26.0, 2.5, 22.0, 2.5, 26.0};
    for (int i = 0; i < 8; ++i)
        EXPECT_DOUBLE_EQ(Real(w, 8 + 8 * std::size_t(i)), want[i]) << i;
}

TEST(CeosTags, MapProjectionCornersOnlyWhenTheRecordHoldsThem)
{
    Bytes mpr = LeaderRecord(20, 1200);
    const char* values[8] = {"1", "2", "3", "4", "5", "6", "7", "8"};
    for (int i = 0; i < 8; ++i)
        PutText(mpr, 1072 + 16 * std::size_t(i), std::string(15, ' ') + values[i]);
    const Bytes leader = Join({LeaderRecord(192, 720), mpr});
    const std::optional<SceneCorners> c = ErsSceneCorners(leader);
    ASSERT_TRUE(c);
    // Corners 1, 2, 3, 4 are FL, FR, LR, LL.
    EXPECT_EQ(c->lat[0], 1.0);
    EXPECT_EQ(c->lon[1], 4.0);
    EXPECT_EQ(c->lat[2], 7.0);
    EXPECT_EQ(c->lon[3], 6.0);
    Bytes shortRecord = LeaderRecord(20, 1199);
    EXPECT_FALSE(ErsSceneCorners(Join({LeaderRecord(192, 720), shortRecord})));
}

TEST(CeosTags, OrbitPayloadsKeepToTheirRecords)
{
    auto positions = [](const std::string& count, std::int32_t length) {
        Bytes pos = LeaderRecord(30, length);
        PutText(pos, 140, count);
        PutText(pos, 204, "INERTIAL");
        for (int i = 0; i < 6 * 6 && 386 + 22 * (i + 1) <= length; ++i)
            PutText(pos, 386 + 22 * std::size_t(i), std::string(18, ' ') + std::to_string(1000 + i));
        pos.resize(std::size_t(length));
        return pos;
    };
    struct Case {
        const char* name;
        Bytes leader;
        std::size_t vectorsSize;  // 0: none
        std::int32_t points;
    } cases[] = {
        {"five points", Join({LeaderRecord(192, 720), positions("   5", 386 + 5 * 132)}), 248, 5},
        {"negative count", Join({LeaderRecord(192, 720), positions("  -3", 386 + 5 * 132)}), 8, 0},
        {"count beyond the record", Join({LeaderRecord(192, 720), positions("9999", 386 + 2 * 132 + 100)}), 104, 2},
        {"record without its points", Join({LeaderRecord(192, 720), positions("   5", 300)}), 8, 0},
        {"record without its count", Join({LeaderRecord(192, 720), positions("   5", 142)}), 0, 0},
        {"no record", LeaderRecord(192, 720), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OrbitPayloads p = BuildOrbitPayloads(c.leader, false);
        ASSERT_EQ(p.commonParams.size(), 264u);
        EXPECT_EQ(Int(p.commonParams, 0), 264);
        EXPECT_EQ(Int(p.commonParams, 4), 1);
        EXPECT_EQ(Int(p.commonParams, 68), -1);
        EXPECT_EQ(Int(p.commonParams, 72), -1);
        EXPECT_EQ(Int(p.commonParams, 200), c.points);
        if (c.vectorsSize == 0) {
            EXPECT_FALSE(p.stateVectors);
            continue;
        }
        ASSERT_TRUE(p.stateVectors);
        EXPECT_EQ(p.stateVectors->size(), c.vectorsSize);
        EXPECT_EQ(Int(*p.stateVectors, 0), std::int32_t(c.vectorsSize));
        EXPECT_EQ(Int(p.commonParams, 236), 1);
        if (c.points > 0)
            EXPECT_EQ(Real(*p.stateVectors, 8 + 8), 1001.0);
    }
}

TEST(CeosTags, SummaryFieldsPastTheRecordKeepTheirStartValues)
{
    // A summary record that ends inside the scene centre pixel number.
    Bytes dss = LeaderRecord(10, 336);
    PutText(dss, 324, "      18");
    PutText(dss, 332, "    ");
    dss.resize(336);
    const OrbitPayloads p = BuildOrbitPayloads(Join({LeaderRecord(192, 720), dss}), true);
    EXPECT_EQ(Int(p.commonParams, 68), 18);
    EXPECT_EQ(Int(p.commonParams, 72), -1);
    EXPECT_EQ(Real(p.commonParams, 248), 0.0);
    EXPECT_EQ(Int(p.commonParams, 8), 0);
}

TEST(CeosTags, LeaderWindowAndTransformPayloads)
{
    const Bytes leader = LeaderRecord(192, 40);
    const std::optional<Bytes> whole = LeaderPayload(leader);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), 48u);
    EXPECT_EQ(Int(*whole, 0), 48);
    EXPECT_EQ(Int(*whole, 4), 1);
    EXPECT_TRUE(std::equal(leader.begin(), leader.end(), whole->begin() + 8));
    ImportParams p;
    p.pixelsPerRecord = 300;
    p.records = 200;
    p.windowX = 7;
    p.windowY = 9;
    const Bytes w = WindowPayload(p);
    const std::int32_t want[6] = {24, 1, 300, 200, 7, 9};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Int(w, 4 * std::size_t(i)), want[i]);
    const Bytes t = TransformPayload(p);
    ASSERT_EQ(t.size(), 56u);
    const double m[6] = {1, 0, 0, 1, -7, -9};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Real(t, 8 + 8 * std::size_t(i)), m[i]);
}

TEST(CeosSirC, CompressedGroupsDecodeToComplexDoubles)
{
    struct Case {
        signed char g[4];
        double re, im;
    } cases[] = {
        {{2, -127, 127, 0}, 2.0, 0.0},
        {{0, 0, 0, 0}, 0.0, 0.0},
        {{4, 127, -127, 127}, -4.0 * std::sqrt(2.0), 4.0 * std::sqrt(2.0)},
    };
    for (const Case& c : cases) {
        double re = 0, im = 0;
        DecodeSirCPixel(c.g, &re, &im);
        EXPECT_DOUBLE_EQ(re, c.re);
        EXPECT_DOUBLE_EQ(im, c.im);
    }
}

TEST(CeosWindow, WindowMustLieInsideTheImage)
{
    struct Case {
        int x, y, w, h;
        bool fits;
    } cases[] = {
        {0, 0, 100, 50, true}, {0, 0, 101, 50, false}, {1, 0, 100, 50, false}, {99, 49, 1, 1, true},
        {0, 1, 100, 50, false}, {0, 0, 0, 5, false},   {0, 0, 5, 0, false},    {-1, 0, 5, 5, false},
        {100, 0, 1, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CeosWindowFits(c.x, c.y, c.w, c.h, 100, 50), c.fits) << c.x << ' ' << c.y << ' ' << c.w << ' ' << c.h;
}

TEST(CeosFieldTable, NinetyNineLabelsAndFormatsInTheirBytes)
{
    EXPECT_EQ(CeosFieldResource().size(), 2638u);
    const std::vector<CeosFieldEntry> e = ParseCeosFieldTable(CeosFieldResource());
    ASSERT_EQ(e.size(), 99u);
    EXPECT_EQ(e[0].label, "Scene identifier");
    EXPECT_EQ(e[12].label, "Ellipsoid parameters");
    EXPECT_EQ(e[12].repeat, 3);
    EXPECT_EQ(e[12].letter, 'E');
    EXPECT_EQ(e[12].width, 16);
    EXPECT_EQ(e[13].letter, '$');
    EXPECT_EQ(e[17].label, "Scene lenght, km");
    EXPECT_EQ(e[98].label, "Range compression designator");
    // The fields run from offset 20 to 1734 of the record.
    int end = 20;
    for (const CeosFieldEntry& f : e)
        end += f.repeat * f.width;
    EXPECT_EQ(end, 1734);
}

TEST(CeosInfoText, EachFieldALineWithItsCharactersAsStored)
{
    Bytes dss = LeaderRecord(10, 1734);
    PutText(dss, 20, "SCENE-1234567890");
    PutText(dss, 244, "1.0E+00         2.0E+00         3.0E+00         ");
    PutText(dss, 324, std::string("12\0" "45678", 7));
    PutText(dss, 36, "\xc0\xc1");  // code page 1251
    const std::string text = CeosInfoText(Join({LeaderRecord(192, 720), dss}));
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 88u);
    EXPECT_EQ(lines[0], "Scene identifier : SCENE-1234567890  ");
    EXPECT_EQ(lines[12], "Ellipsoid parameters : 1.0E+00           2.0E+00           3.0E+00           ");
    EXPECT_EQ(lines[14], "Scene centre line number : 12  ");
    EXPECT_EQ(lines[1], "Scene designator : АБ" + std::string(30, ' ') + "  ");
}

TEST(CeosInfoText, UnreadableLeadersGiveTheTwoLineMessage)
{
    const std::string message = CeosInfoUnreadableText();
    EXPECT_NE(message.find("\r\n"), std::string::npos);
    EXPECT_EQ(FillText("/nonexistent/lea_01.001"), message);
    EXPECT_EQ(CeosInfoText(LeaderRecord(192, 11)), message);
    EXPECT_EQ(CeosInfoText(LeaderRecord(192, 0)), message);
    EXPECT_EQ(CeosInfoText(Bytes(5, 0)), message);
    Bytes pastEnd = LeaderRecord(192, 720);
    pastEnd.resize(100);
    EXPECT_EQ(CeosInfoText(pastEnd), message);
    // A summary record cut short: the fields past the end show empty.
    Bytes cut = Join({LeaderRecord(192, 720), LeaderRecord(10, 1734)});
    cut.resize(720 + 30);
    const std::string text = CeosInfoText(cut);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "Scene identifier : " + std::string(10, ' ') + "  ");
    EXPECT_NE(text.find("Scene designator :   \r\n"), std::string::npos);
}

TEST(CeosInfoText, FillTextReadsTheLeaderFile)
{
    testsupport::TempDir dir;
    Bytes dss = LeaderRecord(10, 1734);
    PutText(dss, 20, "FROM-A-FILE");
    const Bytes leader = Join({LeaderRecord(192, 720), dss});
    std::ofstream(dir.File("lea_01"), std::ios::binary).write(reinterpret_cast<const char*>(leader.data()),
                                                             std::streamsize(leader.size()));
    EXPECT_EQ(FillText(dir.File("lea_01")), CeosInfoText(leader));
    EXPECT_EQ(FillText(dir.File("lea_01")).find("Scene identifier : FROM-A-FILE"), 0u);
}
