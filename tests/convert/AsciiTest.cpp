// The ASCII import and export without windows: the point parser against sscanf,
// the value writers against printf, the statistics, the checks of Execute, the
// jobs on the conversion road, and both directions against numpy and GDAL.

#include <gtest/gtest.h>

#include <locale.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "FakeMeter.h"
#include "TempDir.h"
#include "ascii/AsciiJobs.h"
#include "ascii/AsciiText.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::function<std::int64_t(std::int64_t, void*, std::int64_t)> FromString(const std::string& text)
{
    return [text](std::int64_t offset, void* buf, std::int64_t bytes) -> std::int64_t {
        if (offset >= std::int64_t(text.size()))
            return 0;
        const std::int64_t n = std::min<std::int64_t>(bytes, std::int64_t(text.size()) - offset);
        std::memcpy(buf, text.data() + offset, std::size_t(n));
        return n;
    };
}

bool SameFloat(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// A layer file of type with the given samples (row by row, components in turn).
template <typename T>
void MakeLayer(const std::string& path, int type, int width, int height, const std::vector<T>& samples)
{
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(path.c_str(), width, height, type, 0), nullptr);
    const int perRow = int(samples.size()) / height;
    for (int y = 0; y < height; ++y)
        std::memcpy(layer.Rows()[y], samples.data() + std::size_t(y) * perRow, sizeof(T) * std::size_t(perRow));
    layer.CloseLayer();
}

std::vector<float> LayerFloats(const std::string& path, int* width, int* height)
{
    CRDPLayer layer;
    std::vector<float> out;
    if (!layer.OpenLayer(path.c_str(), 0))
        return out;
    *width = layer.Width();
    *height = layer.Height();
    EXPECT_EQ(layer.Type(), FLOAT32);
    out.resize(std::size_t(layer.Width()) * std::size_t(layer.Height()));
    for (int y = 0; y < layer.Height(); ++y)
        std::memcpy(out.data() + std::size_t(y) * layer.Width(), layer.Rows()[y], 4 * std::size_t(layer.Width()));
    return out;
}

}  // namespace

TEST(AsciiText, PointParserReadsWhatScanfReads)
{
    const char* lines[] = {
        "1 1 5.0", "  -1.5e3\t2 x", "inf -INF nan", "0x1p3 0X.8p1 1", "1e 2 3", "100ergs 2 3", "1,5 2 3", "",
        "abc 1 2", "1 2", "+.5 -0.0 1e-7", "3.4e39 -1e-50 7", "\r1\v2\f3\r", "nan(123) 4 5", "1.5.5 6 7",
        "-", "1e-46 1e+38 .", "340282356779733661637539395458142568448 0 0", "1 2 3 4 5", "3. .5 -.25",
        "0.1 0.2 0.3", "16777217 1.00000006 3.4028235e38", "1e-45 1.4e-45 7e-46", "-0 -0.0e0 0e99999",
        "12345678901234567890123 1.17549435e-38 1.1754942e-38", "1\t\t2\n", "  7", "1 2 3e", "1 2 3e+",
        "1.5x 2 3", "- 1 2", "--1 2 3", "1e5 2e-5 3.14159265358979323846264338327950288419716939937510",

    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        float ours[3] = {9.0f, 9.0f, 9.0f}, theirs[3] = {9.0f, 9.0f, 9.0f};
        const int n = ParseAsciiPoint(line, ours);
        const int m = std::sscanf(line, "%f%f%f", &theirs[0], &theirs[1], &theirs[2]);
        EXPECT_EQ(n, m < 0 ? 0 : m);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(SameFloat(ours[i], theirs[i])) << i << ": " << ours[i] << " " << theirs[i];
    }
}

TEST(AsciiText, LinesAcrossBlocksAndWithoutLineFeed)
{
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const std::string longLine(3u << 20, '7');
    const std::vector<Case> cases = {
        {"", {}},
        {"a\nb", {"a", "b"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"x\r\n", {"x\r"}},
        {std::string(1 << 20, 'q') + "\nz\n", {std::string(1 << 20, 'q'), "z"}},
        {longLine + "\n1 2 3\n", {std::string(1 << 20, '7'), "1 2 3"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        std::vector<std::int64_t> ends;
        ForEachTextLine(FromString(c.text), [&](const char* text, std::int64_t end) {
            got.emplace_back(text);
            ends.push_back(end);
            return true;
        });
        EXPECT_EQ(got, c.lines);
        if (!ends.empty())
            EXPECT_EQ(ends.back(), std::int64_t(c.text.size()));
    }
}

TEST(AsciiText, StatisticsOfTheThreeColumns)
{
    struct Case {
        const char* name;
        std::string text;
        bool lines;
        AsciiStatistics want;
    };
    AsciiStatistics before;
    before.minimum[0] = 42.0f;
    before.maximum[2] = -42.0f;
    const std::vector<Case> cases = {
        {"two points", "1 1 5.0\n3 2 7.5\n", true, {{1, 1, 5}, {3, 2, 7.5f}}},
        // A header line counts as a point at 0, 0, 0.
        {"header", "x y z\n2 3 4\n", true, {{0, 0, 0}, {2, 3, 4}}},
        // A missing number keeps the line before's.
        {"short line", "1 2 3\n5 6\n", true, {{1, 2, 3}, {5, 6, 3}}},
        {"negative", "-4 2 1\n1 -8 0", true, {{-4, -8, 0}, {1, 2, 1}}},
        {"empty file", "", false, before},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AsciiStatistics stats = before;
        EXPECT_EQ(ScanAsciiStatistics(FromString(c.text), &stats), c.lines);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(stats.minimum[i], c.want.minimum[i]) << i;
            EXPECT_EQ(stats.maximum[i], c.want.maximum[i]) << i;
        }
    }
}

TEST(AsciiText, ExecuteChecks)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        int roles[3];
        AsciiStatistics stats;
        std::string message;
        int minX, minY, maxX, maxY, colX, colY, colZ;
    };
    const AsciiStatistics good{{1, 1, 5}, {3, 2, 7.5f}};
    const std::vector<Case> cases = {
        {"X Y Z", {0, 1, 2}, good, "", 1, 1, 3, 2, 0, 1, 2},
        {"Y X Z", {1, 0, 2}, good, "", 1, 1, 2, 3, 1, 0, 2},
        {"Z X Y", {2, 0, 1}, {{0.5f, 0, 1}, {9, 4, 2}}, "", 0, 1, 4, 2, 1, 2, 0},
        {"X X Z", {0, 0, 2}, good, "It is neccesary to select different columns"},
        {"two empty", {-1, -1, 2}, good, "It is neccesary to select different columns"},
        {"X Y empty", {0, 1, -1}, good, "Unable convert"},
        {"min X 2", {0, 1, 2}, {{2, 1, 0}, {3, 2, 0}}, "Invalid MinX"},
        {"min X negative", {0, 1, 2}, {{-0.5f, 1, 0}, {3, 2, 0}}, "Invalid MinX"},
        {"min Y 1.5", {0, 1, 2}, {{1, 1.5f, 0}, {3, 2, 0}}, "Invalid MinY"},
        {"min X NaN", {0, 1, 2}, {{nan, 1, 0}, {3, 2, 0}}, "Invalid MinX"},
        {"min Y NaN", {0, 1, 2}, {{1, nan, 0}, {3, 2, 0}}, "Invalid MinY"},
        {"max X below", {0, 1, 2}, {{1, 1, 0}, {0.5f, 2, 0}}, "Invalid MaxX"},
        {"max X inf", {0, 1, 2}, {{1, 1, 0}, {inf, 2, 0}}, "Invalid MaxX"},
        {"max X 2^31", {0, 1, 2}, {{1, 1, 0}, {2147483648.0f, 2, 0}}, "Invalid MaxX"},
        {"max Y NaN", {0, 1, 2}, {{1, 1, 0}, {3, nan, 0}}, "Invalid MaxY"},
        {"max Y 1e30", {0, 1, 2}, {{1, 1, 0}, {3, 1e30f, 0}}, "Invalid MaxY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AsciiImportJob job;
        EXPECT_EQ(CheckAsciiImport(c.roles, c.stats, &job), c.message);
        if (!c.message.empty())
            continue;
        EXPECT_EQ(job.minX, c.minX);
        EXPECT_EQ(job.minY, c.minY);
        EXPECT_EQ(job.maxX, c.maxX);
        EXPECT_EQ(job.maxY, c.maxY);
        EXPECT_EQ(job.columnX, c.colX);
        EXPECT_EQ(job.columnY, c.colY);
        EXPECT_EQ(job.columnZ, c.colZ);
    }
}

TEST(AsciiText, ValuesAsPrintfWritesThem)
{
    const double doubles[] = {0.0, -0.0, 1.5, 1e-7, -1e-7, 5e-7, 0.0000005, 123456789.123456789, 1e300, -1e308,
                              std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
                              2.5, 0.125, 1.0000005, 999999.9999995};
    char want[512];
    for (double d : doubles) {
        std::string got;
        AppendAsciiValue(got, FLOAT64, reinterpret_cast<const unsigned char*>(&d), " ");
        std::snprintf(want, sizeof want, "%f", d);
        EXPECT_EQ(got, want);
        const float f = float(d);
        got.clear();
        AppendAsciiValue(got, FLOAT32, reinterpret_cast<const unsigned char*>(&f), " ");
        std::snprintf(want, sizeof want, "%f", double(f));
        EXPECT_EQ(got, want);
    }
    const std::int32_t ints[] = {0, 1, -1, 127, -128, 255, 32767, -32768, 65535, 2147483647, -2147483647 - 1};
    for (std::int32_t v : ints) {
        std::string got;
        AppendAsciiValue(got, SINT32, reinterpret_cast<const unsigned char*>(&v), " ");
        std::snprintf(want, sizeof want, "%d", v);
        EXPECT_EQ(got, want);
        const std::uint32_t u = std::uint32_t(v);
        got.clear();
        AppendAsciiValue(got, UINT32, reinterpret_cast<const unsigned char*>(&u), " ");
        std::snprintf(want, sizeof want, "%u", u);
        EXPECT_EQ(got, want);
        const std::int16_t s16 = std::int16_t(v);
        got.clear();
        AppendAsciiValue(got, SINT16, reinterpret_cast<const unsigned char*>(&s16), " ");
        std::snprintf(want, sizeof want, "%d", int(s16));
        EXPECT_EQ(got, want);
        const std::int8_t s8 = std::int8_t(v);
        const std::uint8_t u8 = std::uint8_t(v);
        got.clear();
        AppendAsciiValue(got, SINT8, reinterpret_cast<const unsigned char*>(&s8), " ");
        std::snprintf(want, sizeof want, "%d", int(s8));
        EXPECT_EQ(got, want);
        got.clear();
        AppendAsciiValue(got, UINT8, reinterpret_cast<const unsigned char*>(&u8), " ");
        std::snprintf(want, sizeof want, "%u", unsigned(u8));
        EXPECT_EQ(got, want);
    }
    // Complex samples: real part, delimiter, imaginary part.
    const std::int16_t c16[2] = {-3, 7};
    std::string got;
    AppendAsciiValue(got, CSINT16, reinterpret_cast<const unsigned char*>(c16), ",");
    EXPECT_EQ(got, "-3,7");
    const float cf[2] = {1.5f, -0.25f};
    got.clear();
    AppendAsciiValue(got, CFLOAT32, reinterpret_cast<const unsigned char*>(cf), "\t");
    EXPECT_EQ(got, "1.500000\t-0.250000");
}

TEST(AsciiJobs, ImportEdgeCases)
{
    testsupport::TempDir dir;
    struct Case {
        const char* name;
        std::string text;
        int roles[3];
        int width, height;
        std::vector<float> cells;
    };
    const std::vector<Case> cases = {
        {"X Y Z", "1 1 5.0\n3 2 7.5\n", {0, 1, 2}, 3, 2, {5, 0, 0, 0, 0, 7.5f}},
        {"Y X Z", "1 1 5.0\n3 2 7.5\n", {1, 0, 2}, 2, 3, {5, 0, 0, 0, 0, 7.5f}},
        // The second line lacks Z: it keeps 5 of the line before.
        {"short line", "0 0 5\n1 1\n", {0, 1, 2}, 2, 2, {5, 0, 0, 5}},
        // Later lines win; fractions are cut toward zero.
        {"later wins", "0 0 1\n0.9 0.2 2\n1 1 3\n", {0, 1, 2}, 2, 2, {2, 0, 0, 3}},
        {"Z first", "9 0 0\n8 1 1\n", {2, 0, 1}, 2, 2, {9, 0, 0, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir.File("points.txt"), out = dir.File("grid.rdp");
        WriteAll(in, c.text);
        AsciiStatistics stats;
        ASSERT_TRUE(ScanAsciiStatisticsFile(in, &stats));
        AsciiImportJob job;
        ASSERT_EQ(CheckAsciiImport(c.roles, stats, &job), "");
        job.input = in;
        job.output = out;
        testsupport::FakeMeter meter;
        std::string error;
        ASSERT_EQ(AsciiImportToRdp(job, &meter, &error), 0) << error;
        int w = 0, h = 0;
        const std::vector<float> cells = LayerFloats(out, &w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(cells, c.cells);
        ASSERT_FALSE(meter.ranges.empty());
        EXPECT_EQ(meter.ranges.back().second, double(c.text.size()));
    }
}

TEST(AsciiJobs, ImportSkipsPointsItCannotPlace)
{
    testsupport::TempDir dir;
    const std::string in = dir.File("points.txt"), out = dir.File("grid.rdp");
    // The grid the dialog scanned is 2 x 2; the file has since gained points outside
    // it and points that are no numbers.
    WriteAll(in, "0 0 1\nnan 1 2\n1 inf 3\n5 0 4\n-1 0 5\n0 3e9 6\n1 1 7\n");
    AsciiImportJob job{in, out, 0, 0, 1, 1, 0, 1, 2};
    std::string error;
    ASSERT_EQ(AsciiImportToRdp(job, nullptr, &error), 0) << error;
    int w = 0, h = 0;
    EXPECT_EQ(LayerFloats(out, &w, &h), (std::vector<float>{1, 0, 0, 7}));
}

TEST(AsciiJobs, FailureOrCancelLeavesTheOldFiles)
{
    testsupport::TempDir dir;
    const std::string in = dir.File("points.txt"), out = dir.File("old.rdp"), text = dir.File("old.txt");
    WriteAll(in, "0 0 1\n1 1 2\n");
    MakeLayer<std::uint8_t>(dir.File("layer.rdp"), UINT8, 2, 2, {1, 2, 3, 4});
    WriteAll(out, "old layer");
    WriteAll(text, "old text");
    {
        SCOPED_TRACE("import cancelled");
        testsupport::FakeMeter meter;
        meter.failAt = 1;
        std::string error = "x";
        EXPECT_EQ(AsciiImportToRdp(AsciiImportJob{in, out, 0, 0, 1, 1, 0, 1, 2}, &meter, &error), -1);
        EXPECT_EQ(error, "");
        EXPECT_EQ(ReadAll(out), "old layer");
    }
    {
        SCOPED_TRACE("grid too large");
        std::string error;
        EXPECT_EQ(AsciiImportToRdp(AsciiImportJob{in, out, 0, 0, 2147483647, 1, 0, 1, 2}, nullptr, &error), -1);
        EXPECT_EQ(error, "Unable to create the output file " + out);
        EXPECT_EQ(ReadAll(out), "old layer");
    }
    {
        SCOPED_TRACE("import over its input");
        std::string error;
        EXPECT_EQ(AsciiImportToRdp(AsciiImportJob{in, dir.Path() + "/./points.txt", 0, 0, 1, 1, 0, 1, 2}, nullptr,
                                   &error),
                  -1);
        EXPECT_NE(error, "");
        EXPECT_EQ(ReadAll(in), "0 0 1\n1 1 2\n");
    }
    for (int fail = 1; fail <= 2; ++fail) {
        SCOPED_TRACE("export cancelled at report " + std::to_string(fail));
        testsupport::FakeMeter meter;
        meter.failAt = fail;
        std::string error = "x";
        EXPECT_EQ(AsciiExportToText(AsciiExportJob{dir.File("layer.rdp"), text, 1, " "}, &meter, &error), -1);
        EXPECT_EQ(error, "");
        EXPECT_EQ(ReadAll(text), "old text");
    }
    {
        SCOPED_TRACE("export of no layer");
        std::string error;
        EXPECT_EQ(AsciiExportToText(AsciiExportJob{in, text, 1, " "}, nullptr, &error), -1);
        EXPECT_EQ(error, "Unable to open file " + in);
        EXPECT_EQ(ReadAll(text), "old text");
    }
    {
        SCOPED_TRACE("export over its input");
        std::string error;
        EXPECT_EQ(AsciiExportToText(AsciiExportJob{dir.File("layer.rdp"), dir.Path() + "/./layer.rdp", 1, " "},
                                    nullptr, &error),
                  -1);
        EXPECT_NE(error, "");
        CRDPLayer layer;
        EXPECT_NE(layer.OpenLayer(dir.File("layer.rdp").c_str(), 0), nullptr);
    }
}

TEST(AsciiJobs, ExportEdgeCases)
{
    testsupport::TempDir dir;
    MakeLayer<std::uint8_t>(dir.File("u8.rdp"), UINT8, 2, 2, {1, 2, 3, 4});
    MakeLayer<std::int16_t>(dir.File("c16.rdp"), CSINT16, 1, 1, {-3, 7});
    MakeLayer<float>(dir.File("f32.rdp"), FLOAT32, 2, 1, {1.5f, -0.0f});
    MakeLayer<std::uint16_t>(dir.File("col.rdp"), UINT16, 1, 3, {7, 8, 65535});
    struct Case {
        const char* name;
        std::string layer;
        int layout;
        std::string delimiter;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"columns", "u8.rdp", 1, " ", "0 0 1\n1 0 2\n0 1 3\n1 1 4\n"},
        {"matrix", "u8.rdp", 2, " ", "1 2\n3 4\n"},
        {"complex columns", "c16.rdp", 1, ",", "0,0,-3,7\n"},
        {"complex matrix", "c16.rdp", 2, ",", "-3,7\n"},
        {"float", "f32.rdp", 2, "\t", "1.500000\t-0.000000\n"},
        {"one column", "col.rdp", 2, ";", "7\n8\n65535\n"},
        {"no delimiter", "u8.rdp", 2, "", "12\n34\n"},
        {"long delimiter", "u8.rdp", 1, " | ", "0 | 0 | 1\n1 | 0 | 2\n0 | 1 | 3\n1 | 1 | 4\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir.File("out.txt");
        WriteAll(out, "an older and longer text that must go entirely");
        testsupport::FakeMeter meter;
        std::string error;
        ASSERT_EQ(AsciiExportToText(AsciiExportJob{dir.File(c.layer), out, c.layout, c.delimiter}, &meter, &error), 0)
            << error;
        EXPECT_EQ(ReadAll(out), c.text);
        EXPECT_EQ(meter.text, "Writing raster...");
    }
}

TEST(AsciiWorld, ExportReadByNumpyAndEqualToGdalXyz)
{
    testsupport::TempDir dir;
    const int w = 5, h = 3;
    std::string manifest;
    const char* delimiters[][2] = {{" ", "space"}, {"\t", "tab"}, {",", "comma"}};
    for (int type = 1; type <= 16; ++type) {
        const int size = GetDataTypeSize(type);
        std::vector<unsigned char> bytes(std::size_t(w * h * size));
        // Extremes and plain values of each type, negative ones included.
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(i * 37 + 11 + (i % 3 == 0 ? 0x80 : 0));
        if (type == FLOAT32 || type == CFLOAT32)
            for (std::size_t i = 0; i < bytes.size() / 4; ++i) {
                const float v = (float(i) - 7.0f) * 0.375f;
                std::memcpy(&bytes[i * 4], &v, 4);
            }
        if (type == FLOAT64 || type == CFLOAT64)
            for (std::size_t i = 0; i < bytes.size() / 8; ++i) {
                const double v = (double(i) - 7.0) * 1234.0625;
                std::memcpy(&bytes[i * 8], &v, 8);
            }
        const std::string name = "t" + std::to_string(type);
        MakeLayer<unsigned char>(dir.File(name + ".rdp"), type, w, h, bytes);
        WriteAll(dir.File(name + ".raw"), std::string(bytes.begin(), bytes.end()));
        for (int d = 0; d < 3; ++d) {
            const std::string cols = dir.File(name + "_" + std::to_string(d) + "_cols.txt");
            const std::string mat = dir.File(name + "_" + std::to_string(d) + "_mat.txt");
            std::string error;
            ASSERT_EQ(AsciiExportToText(AsciiExportJob{dir.File(name + ".rdp"), cols, 1, delimiters[d][0]}, nullptr,
                                        &error),
                      0)
                << error;
            ASSERT_EQ(AsciiExportToText(AsciiExportJob{dir.File(name + ".rdp"), mat, 2, delimiters[d][0]}, nullptr,
                                        &error),
                      0)
                << error;
            manifest += std::to_string(type) + " " + std::to_string(w) + " " + std::to_string(h) + " " +
                        delimiters[d][1] + " " + dir.File(name + ".raw") + " " + cols + " " + mat + "\n";
        }
    }
    WriteAll(dir.File("manifest"), manifest);
    const std::string script = std::string(SUITE_SOURCE_DIR) + "/tests/convert/ascii_world.py";
    EXPECT_EQ(testsupport::CommandOutput("/usr/bin/python3 " + script + " check " + dir.File("manifest")), "ok\n");
}

TEST(AsciiWorld, ImportOfNumpyAndGdalText)
{
    testsupport::TempDir dir;
    const std::string script = std::string(SUITE_SOURCE_DIR) + "/tests/convert/ascii_world.py";
    std::istringstream names(testsupport::CommandOutput("/usr/bin/python3 " + script + " make " + dir.Path()));
    const std::string raw = ReadAll(dir.File("grid.raw"));
    ASSERT_EQ(raw.size(), 7u * 5u * 4u);
    std::vector<float> want(7 * 5);
    std::memcpy(want.data(), raw.data(), raw.size());
    std::string name;
    int files = 0;
    while (names >> name) {
        SCOPED_TRACE(name);
        ++files;
        AsciiStatistics stats;
        ASSERT_TRUE(ScanAsciiStatisticsFile(dir.File(name), &stats));
        AsciiImportJob job;
        const int roles[3] = {0, 1, 2};
        ASSERT_EQ(CheckAsciiImport(roles, stats, &job), "");
        job.input = dir.File(name);
        job.output = dir.File(name + ".rdp");
        std::string error;
        ASSERT_EQ(AsciiImportToRdp(job, nullptr, &error), 0) << error;
        int w = 0, h = 0;
        EXPECT_EQ(LayerFloats(job.output, &w, &h), want);
        EXPECT_EQ(w, 7);
        EXPECT_EQ(h, 5);
    }
    EXPECT_EQ(files, 2);
}
