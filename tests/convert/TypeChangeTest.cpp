// The sample-type change without windows: type ranges and lists, Execute's
// checks, the mapping of values, the job on the conversion road, and the results
// against a numpy model.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "FakeMeter.h"
#include "TempDir.h"
#include "format/RDPFile.h"
#include "format/SampleConvert.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "typechange/TypeChange.h"
#include "typechange/TypeChangeStrings.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Bytes SamplesOf(int type, const std::vector<double>& components)
{
    Bytes out;
    sample::Dispatch(type, [&](auto k) {
        using C = typename decltype(k)::Component;
        out.resize(components.size() * sizeof(C));
        for (std::size_t i = 0; i < components.size(); ++i)
            sample::Store(out.data() + i * sizeof(C), sample::FromDouble<C>(components[i]));
    });
    return out;
}

std::vector<double> ComponentsOf(int type, const Bytes& bytes)
{
    std::vector<double> out;
    sample::Dispatch(type, [&](auto k) {
        using C = typename decltype(k)::Component;
        for (std::size_t i = 0; i + sizeof(C) <= bytes.size(); i += sizeof(C))
            out.push_back(double(sample::Load<C>(bytes.data() + i)));
    });
    return out;
}

// A layer file closed with its statistics (minimum and maximum among them).
void MakeLayer(const std::string& path, int type, int width, int height, const Bytes& bytes)
{
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(path.c_str(), width, height, type, 7), nullptr) << path;
    const std::size_t row = std::size_t(layer.RowSize());
    ASSERT_EQ(bytes.size(), row * std::size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(layer.Rows()[y], bytes.data() + std::size_t(y) * row, row);
    layer.CloseLayer();
}

Bytes LayerBytes(const std::string& path, int* type = nullptr)
{
    CRDPLayer layer;
    Bytes out;
    if (!layer.OpenLayer(path.c_str(), 0))
        return out;
    if (type)
        *type = layer.Type();
    const std::size_t row = std::size_t(layer.RowSize());
    out.resize(row * std::size_t(layer.Height()));
    for (int y = 0; y < layer.Height(); ++y)
        std::memcpy(out.data() + std::size_t(y) * row, layer.Rows()[y], row);
    return out;
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A job over two files, prepared as the dialog prepares it.
std::unique_ptr<TypeChangeJob> Prepared(const std::string& in, const std::string& out, int type, double newMin,
                                        double newMax, std::string* error)
{
    auto job = std::make_unique<TypeChangeJob>();
    job->input = in;
    job->output = out;
    job->newType = type;
    job->newMin = newMin;
    job->newMax = newMax;
    *error = PrepareTypeChange(*job);
    return job;
}

}  // namespace

TEST(TypeChangeRanges, SuggestedAndCheckedValues)
{
    struct Case {
        int type;
        double min, max;
        double newMin, newMax;
    };
    const Case suggested[] = {
        {SINT8, -300, 50, -128, 50},
        {UINT8, -10, 30, 0, 30},
        {UINT8, 300, 400, 255, 255},
        {CSINT16, -40000, 40000, -32768, 32767},
        {UINT32, -1, 5e9, 0, 4294967295.0},
        {FLOAT32, -1e39, 1e39, -3.4e38, 3.4e38},
        {FLOAT64, -1e300, 1e300, -1e300, 1e300},
        {0, -300, 50, -300, 50},
        {17, -300, 50, -300, 50},
    };
    for (const Case& c : suggested) {
        SCOPED_TRACE(c.type);
        double newMin = 1, newMax = 2;
        GetTypeRange(c.min, c.max, &newMin, &newMax, c.type);
        EXPECT_EQ(newMin, c.newMin);
        EXPECT_EQ(newMax, c.newMax);
    }
    struct Check {
        double value;
        int type;
        int answer;
    };
    const Check checks[] = {
        {-2147483648.0, SINT32, 0},  {-2147483649.0, SINT32, -1}, {2147483647.0, CSINT32, 0},
        {2147483648.0, SINT32, 1},   {-1, UINT8, -1},             {255, CUINT8, 0},
        {256, UINT8, 1},             {-128, SINT8, 0},            {65535, UINT16, 0},
        {4294967296.0, UINT32, 1},   {3.5e38, FLOAT32, 1},        {-3.4e38, CFLOAT32, 0},
        {1.7e308, FLOAT64, 0},       {-1.8e308, CFLOAT64, -1},    {1e9, 0, 0},
        {-1e9, 99, 0},
    };
    for (const Check& c : checks)
        EXPECT_EQ(CheckTypeRange(c.value, c.type), c.answer) << c.value << " " << c.type;
}

TEST(TypeChangeRanges, TypeLists)
{
    const std::vector<int> real = {UINT8, SINT8, UINT16, SINT16, UINT32, SINT32, FLOAT32, FLOAT64};
    const std::vector<int> complexTypes = {CSINT8, CSINT16, CSINT32, CFLOAT32, CFLOAT64};
    for (int t = UINT8; t <= FLOAT64; ++t) {
        EXPECT_EQ(NewTypeList(t), real);
        EXPECT_EQ(NewTypeIndex(NewTypeList(t), t), t - 1);
    }
    for (int t = CFLOAT32; t <= CSINT32; ++t)
        EXPECT_EQ(NewTypeList(t), complexTypes);
    EXPECT_EQ(NewTypeIndex(complexTypes, CSINT16), 1);
    EXPECT_EQ(NewTypeIndex(complexTypes, CFLOAT64), 4);
    for (const int unsignedComplex : {CUINT8, CUINT16, CUINT32})
        EXPECT_EQ(NewTypeIndex(complexTypes, unsignedComplex), -1);
    EXPECT_TRUE(NewTypeList(0).empty());
    EXPECT_EQ(TemplateTypeNames().size(), 8u);
    EXPECT_EQ(TemplateTypeNames().front(), "8-bit unsigned int");
    EXPECT_EQ(TemplateTypeNames().back(), "64-bit float");
}

TEST(TypeChangeExecute, Refusals)
{
    testsupport::TempDir dir;
    const std::string in = dir.File("in.rdp"), out = dir.File("out.rdp");
    std::ofstream(in) << "x";
    ASSERT_EQ(::symlink(in.c_str(), dir.File("link.rdp").c_str()), 0);
    struct Case {
        const char* what;
        TypeChangeRequest request;
        unsigned id;
        const char* text;
    };
    const Case cases[] = {
        {"min below", {in, out, SINT32, -2147483649.0, 0, -1, 1}, IDS_TC_MIN_BELOW,
         "New min value less than \n possible value for this range"},
        {"min above", {in, out, UINT8, 256, 300, -1, 1}, IDS_TC_MIN_ABOVE,
         "New min value more than \n possible value for this range"},
        {"max below", {in, out, UINT8, 0, -1, -1, 1}, IDS_TC_MAX_BELOW,
         "New max value less than \n possible value for this range"},
        {"max above", {in, out, SINT8, 0, 128, -1, 1}, IDS_TC_MAX_ABOVE,
         "New max value more than \n possible value for this range"},
        {"same name", {in, in, UINT8, 0, 255, -1, 1}, IDS_TC_NAMES_EQUAL, "Input and Output names must not be equal"},
        {"same file another way", {in, dir.Path() + "/./in.rdp", UINT8, 0, 255, -1, 1}, IDS_TC_NAMES_EQUAL,
         "Input and Output names must not be equal"},
        {"a link to the input", {in, dir.File("link.rdp"), UINT8, 0, 255, -1, 1}, IDS_TC_NAMES_EQUAL,
         "Input and Output names must not be equal"},
        {"min over max", {in, out, UINT8, 10, 5, -1, 1}, IDS_TC_MIN_EXCEEDS_MAX, "Min cannot exceed Max"},
        {"equal new values of a varied source", {in, out, UINT8, 5, 5, -1, 1}, IDS_TC_INVALID_MIN_MAX,
         "Invalid values of Min and Max"},
        {"equal new values of a constant source", {in, out, UINT8, 8, 8, 4, 4}, 0, ""},
        {"SINT32 lowest", {in, out, SINT32, -2147483648.0, 0, -1, 1}, 0, ""},
        {"letter case differs", {in, dir.File("IN.rdp"), UINT8, 0, 255, -1, 1}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const unsigned id = CheckTypeChangeExecute(c.request);
        EXPECT_EQ(id, c.id);
        if (id)
            EXPECT_EQ(LoadTypeChangeString(id), c.text);
    }
}

TEST(TypeChangeMapping, ScaleOffsetAndRows)
{
    struct Map {
        double min, max, newMin, newMax, scale, offset;
    };
    const Map maps[] = {
        {-10, 30, 0, 255, 6.375, 63.75},
        {4, 4, 8, 8, 2, 0},
        {0, 0, 5, 5, 0, 5},  // a constant 0 becomes the new minimum
        {1, 1 + 1e-8, 3, 3, 3, 0},
    };
    for (const Map& m : maps) {
        const TypeChangeMap map = TypeChangeMapping(m.min, m.max, m.newMin, m.newMax);
        EXPECT_EQ(map.scale, m.scale) << m.min;
        EXPECT_EQ(map.offset, m.offset) << m.min;
    }

    struct Row {
        const char* what;
        int src, dst;
        TypeChangeMap map;
        std::vector<double> in, out;
    };
    const Row rows[] = {
        {"FLOAT32 to UINT8", FLOAT32, UINT8, {6.375, 63.75}, {-10, 30, 10, 0}, {0, 255, 127, 63}},
        {"stale statistics saturate", FLOAT32, UINT8, {6.375, 63.75}, {40, -20, NAN}, {255, 0, 0}},
        {"constant source", SINT16, SINT16, {2, 0}, {4, 4}, {8, 8}},
        {"constant 0 source", UINT8, FLOAT32, {0, 5}, {0, 0}, {5, 5}},
        {"CSINT16 keeps the phase", CSINT16, CSINT16, {2, 0}, {3, 4, 0, 0, -3, 4}, {6, 8, 0, 0, -6, 8}},
        {"CSINT16 to CSINT8 saturates", CSINT16, CSINT8, {100, 0}, {3, -4}, {127, -128}},
        {"negative new minimum of a complex type", CUINT8, CSINT8, {1, -10}, {3, 4}, {-3, -4}},
        {"CUINT8 to CFLOAT64", CUINT8, CFLOAT64, {0.5, 1}, {0, 2}, {0, 2}},
        {"real into complex", UINT8, CSINT16, {1, 1}, {7}, {8, 0}},
        {"complex into real", CSINT16, FLOAT64, {1, 1}, {3, 4}, {6}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const Bytes in = SamplesOf(r.src, r.in);
        const int n = int(in.size()) / GetDataTypeSize(r.src);
        Bytes out(std::size_t(n * GetDataTypeSize(r.dst)), 0xCC);
        std::vector<double> scratch(std::size_t(2 * n));
        ASSERT_TRUE(MapTypeChangeRow(r.src, in.data(), r.dst, out.data(), n, r.map, scratch.data()));
        EXPECT_EQ(ComponentsOf(r.dst, out), r.out);
    }
    double scratch[2];
    unsigned char buf[16] = {};
    EXPECT_FALSE(MapTypeChangeRow(0, buf, UINT8, buf, 1, {}, scratch));
    EXPECT_FALSE(MapTypeChangeRow(UINT8, buf, 17, buf, 1, {}, scratch));
}

TEST(TypeChangeStatistics, ShortTagIsUnreadable)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("a.rdp");
    MakeLayer(path, FLOAT32, 3, 1, SamplesOf(FLOAT32, {-10, 30, 10}));
    double min = 0, max = 0;
    ASSERT_TRUE(ReadTypeChangeStatistics(path, &min, &max));
    EXPECT_EQ(min, -10);
    EXPECT_EQ(max, 30);
    // The statistics record's length word, after the pixels, says 100.
    std::string bytes = ReadAll(path);
    const std::int32_t whole = 1064, shortLength = 100;
    const std::size_t at = bytes.find(std::string(reinterpret_cast<const char*>(&whole), 4), 84 + 12);
    ASSERT_NE(at, std::string::npos);
    std::memcpy(bytes.data() + at, &shortLength, 4);
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_FALSE(ReadTypeChangeStatistics(path, &min, &max));
    EXPECT_FALSE(ReadTypeChangeStatistics(dir.File("none.rdp"), &min, &max));
}

// FLOAT32 -10..30 to UINT8 0..255: the file, its statistics and the tags that may be copied.
TEST(TypeChangeJobs, ConvertsCopiesTagsAndCommits)
{
    testsupport::TempDir dir;
    const std::string in = dir.File("in.rdp"), out = dir.File("out.rdp");
    MakeLayer(in, FLOAT32, 4, 1, SamplesOf(FLOAT32, {-10, 30, 10, 0}));
    const int copied[3] = {12, 1, 7};
    const int kept[3] = {12, 0, 9};
    ASSERT_TRUE(SetTag(in.c_str(), 20, 12, copied));
    ASSERT_TRUE(SetTag(in.c_str(), 21, 12, kept));
    std::ofstream(out) << "old";
    std::string error;
    auto job = Prepared(in, out, UINT8, 0, 255, &error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(ReadAll(out), "old");  // nothing replaced before the job ends
    testsupport::FakeMeter meter;
    ASSERT_EQ(RunTypeChange(*job, &meter, &error), 0) << error;
    EXPECT_EQ(meter.ranges.front(), (std::pair<double, double>(0.0, 1.0)));
    int type = 0;
    EXPECT_EQ(ComponentsOf(UINT8, LayerBytes(out, &type)), (std::vector<double>{0, 255, 127, 63}));
    EXPECT_EQ(type, UINT8);
    double min = -1, max = -1;
    ASSERT_TRUE(ReadTypeChangeStatistics(out, &min, &max));
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 255);
    int tag[3] = {};
    EXPECT_TRUE(GetTag(out.c_str(), 20, 12, tag));
    EXPECT_EQ(tag[2], 7);
    EXPECT_EQ(GetSizeTag(out.c_str(), 21), 0);
}

TEST(TypeChangeJobs, PreparationFailures)
{
    testsupport::TempDir dir;
    const std::string in = dir.File("in.rdp");
    MakeLayer(in, UINT8, 2, 1, Bytes{1, 2});
    std::string error;
    Prepared(dir.File("none.rdp"), dir.File("o.rdp"), UINT8, 0, 1, &error);
    EXPECT_EQ(error, "Unable to open file " + dir.File("none.rdp"));
    Prepared(in, dir.File("no/o.rdp"), UINT8, 0, 1, &error);
    EXPECT_EQ(error, "Unable to create the output file " + dir.File("no/o.rdp"));
    // Over its own input, named another way: refused before anything is written.
    const std::string before = ReadAll(in);
    Prepared(in, dir.Path() + "/./in.rdp", UINT8, 0, 1, &error);
    EXPECT_NE(error.find("in.rdp"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(in), before);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"in.rdp"});
}

// A cancel at any progress report leaves the old file and no temporary.
TEST(TypeChangeJobs, CancelAtAnyReportLeavesTheOldFile)
{
    testsupport::TempDir dir;
    const std::string in = dir.File("in.rdp"), out = dir.File("out.rdp");
    const int w = 3000, h = 20;  // the rows go to several threads
    std::vector<double> values(std::size_t(w * h));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = double(i % 977) - 300.5;
    MakeLayer(in, FLOAT64, w, h, SamplesOf(FLOAT64, values));
    std::ofstream(out) << "old";
    bool finished = false;
    for (int failAt = 1; !finished && failAt < 10000; ++failAt) {
        std::string error;
        auto job = Prepared(in, out, SINT16, -1000, 1000, &error);
        ASSERT_EQ(error, "");
        testsupport::FakeMeter meter;
        meter.failAt = failAt;
        if (RunTypeChange(*job, &meter, &error) == 0) {
            finished = true;
            break;
        }
        EXPECT_EQ(error, "") << failAt;
        job.reset();
        ASSERT_EQ(ReadAll(out), "old") << failAt;
        ASSERT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"in.rdp", "out.rdp"})) << failAt;
    }
    EXPECT_TRUE(finished);
    EXPECT_NE(ReadAll(out), "old");
}

// Real and complex sources into several types against the numpy model.
TEST(TypeChangeWorld, NumpyModel)
{
    testsupport::TempDir dir;
    const int w = 29, h = 17;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> d(-5000, 5000);
    struct Pair {
        int src, dst;
        double newMin, newMax;
    };
    const Pair pairs[] = {
        {FLOAT32, UINT8, 0, 255},      {FLOAT64, SINT16, -32768, 32767}, {SINT32, FLOAT32, -1, 1},
        {SINT16, UINT32, 10, 4e9},     {UINT16, SINT8, -128, 127},       {CSINT16, CSINT8, 0, 127},
        {CFLOAT32, CSINT32, -5, 1e6},  {CSINT32, CFLOAT64, 0, 1},        {CUINT8, CUINT8, 10, 200},
    };
    std::ostringstream manifest;
    manifest.precision(17);
    int k = 0;
    for (const Pair& p : pairs) {
        const std::string in = dir.File("in" + std::to_string(k)), out = dir.File("out" + std::to_string(k));
        ++k;
        std::vector<double> values(std::size_t(w * h * (IsComplexType(p.src) ? 2 : 1)));
        for (auto& v : values)
            v = std::floor(d(rng));
        MakeLayer(in, p.src, w, h, SamplesOf(p.src, values));
        std::string error;
        auto job = Prepared(in, out, p.dst, p.newMin, p.newMax, &error);
        ASSERT_EQ(error, "");
        const TypeChangeMap map = TypeChangeMapping(job->source.Min(), job->source.Max(), p.newMin, p.newMax);
        ASSERT_EQ(RunTypeChange(*job, nullptr, &error), 0) << error;
        manifest << "typechange " << p.src << ' ' << p.dst << ' ' << w << ' ' << h << ' ' << map.scale << ' '
                 << map.offset << ' ' << in << ' ' << out << '\n';
    }
    const std::string list = dir.File("manifest.txt");
    std::ofstream(list) << manifest.str();
    const std::string script = std::string(SUITE_SOURCE_DIR) + "/tests/convert/complex_world.py";
    EXPECT_EQ(testsupport::CommandOutput("/usr/bin/python3 " + script + " check " + list + " 2>&1"), "ok\n");
}
