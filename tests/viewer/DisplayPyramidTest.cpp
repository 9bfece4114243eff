#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../base/RdpFileBuilder.h"
#include "FakeMeter.h"
#include "platform/dialogs/MessageBox.h"
#include "TempDir.h"
#include "files/TempFiles.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "pyramid/DisplayPyramid.h"
#include "pyramid/PyramidLevel.h"

namespace {

using rdptest::CauseOf;

// ---- helpers ---------------------------------------------------------------

using testsupport::FakeMeter;
using testsupport::TempDir;

// Histogram and level block of one build, laid out as in the cache file.
struct Block {
    explicit Block(int64_t levels) : bytes(size_t(kDisplayHistogramSize + levels), 0) {}
    unsigned char* levels() { return bytes.data() + kDisplayHistogramSize; }
    std::vector<unsigned char> bytes;
};

void WriteFile(const std::string& path, const void* data, size_t n)
{
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), std::streamsize(n));
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the numpy model over the cases written into dir.
void RunModel(const std::string& dir, const std::string& manifest)
{
    WriteFile(dir + "/manifest.txt", manifest.data(), manifest.size());
    const std::string cmd = "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer/pyramid_model.py " + dir;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

std::string Num(double v)
{
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

// ---- layout arithmetic -------------------------------------------------------

struct SizeCase {
    int width, height;
    int levels;
    int tiles;
    int64_t bytes;
};

const SizeCase kSizes[] = {
    {1, 1, 1, 1, 1},
    {256, 256, 1, 1, 65536},
    {257, 1, 2, 3, 386},
    {257, 10, 2, 3, 3215},
    {1, 257, 2, 3, 386},
    {512, 512, 3, 6, 344064},
    {469, 100, 2, 3, 46900 + 235 * 50},
    {470, 100, 3, 4, 47000 + 235 * 50 + 118 * 25},
    {1000, 600, 3, 17, 787500},
    {8000, 8000, 6, 1365, 85312500},
};

TEST(DisplayPyramidLayout, LevelCountsSizesAndTileCounts)
{
    for (const auto& c : kSizes) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        EXPECT_EQ(PyramidLevelCount(c.width, c.height), c.levels);
        EXPECT_EQ(GetViewerTempSize(c.width, c.height), c.bytes);
        EXPECT_EQ(CDisplayPyramid::GetDataSize(c.width, c.height), c.bytes);
        std::vector<unsigned char> block(size_t(c.bytes));
        CDisplayPyramid p;
        ASSERT_EQ(p.Attach(block.data(), c.width, c.height, int64_t(block.size())), 1);
        ASSERT_EQ(p.LevelCount(), c.levels);
        int tiles = 0;
        for (int k = 0; k < p.LevelCount(); ++k)
            tiles += p.Level(k).tilesAcross * p.Level(k).tilesDown;
        EXPECT_EQ(tiles, c.tiles);
        EXPECT_EQ(p.TotalSize(), c.bytes);
    }
}

TEST(DisplayPyramidLayout, SizesAreCountedIn64Bits)
{
    // 50000 x 50000: 2.5e9 bytes in level 0 alone, beyond any 32-bit count.
    int64_t expected = 0;
    for (int k = 0; k < PyramidLevelCount(50000, 50000); ++k) {
        const int64_t side = (50000 + (int64_t(1) << k) - 1) >> k;
        expected += side * side;
    }
    EXPECT_EQ(GetViewerTempSize(50000, 50000), expected);
    EXPECT_GT(expected, int64_t(std::numeric_limits<int>::max()));
    EXPECT_EQ(GetViewerTempSize(0, 10), 0);
    EXPECT_EQ(GetViewerTempSize(10, -1), 0);
}

// Every tile's corners, size and place in the block follow from the level's
// step alone: bands of 256 rows, tiles of 256 columns inside a band.
TEST(DisplayPyramidLayout, TileCornersAndOffsets)
{
    const int sizes[][2] = {{1000, 600}, {257, 257}, {1, 700}, {700, 1}, {513, 1030}};
    for (const auto& size : sizes) {
        const int W = size[0], H = size[1];
        SCOPED_TRACE(testing::Message() << W << " x " << H);
        std::vector<unsigned char> block(size_t(GetViewerTempSize(W, H)));
        CDisplayPyramid p;
        ASSERT_EQ(p.Attach(block.data(), W, H, int64_t(block.size())), 1);
        int64_t levelStart = 0;
        for (int k = 0; k < p.LevelCount(); ++k) {
            const PyramidLevel& L = p.Level(k);
            const int s = 1 << k;
            const int lw = (W + s - 1) / s, lh = (H + s - 1) / s;
            ASSERT_EQ(L.width, lw);
            ASSERT_EQ(L.height, lh);
            ASSERT_EQ(L.step, s);
            ASSERT_EQ(L.tilesAcross, (lw + 255) / 256);
            ASSERT_EQ(L.tilesDown, (lh + 255) / 256);
            for (int r = 0; r < L.tilesDown; ++r)
                for (int c = 0; c < L.tilesAcross; ++c) {
                    const PyramidTile& t = L.Tile(r, c);
                    const int tw = std::min(256, lw - 256 * c), th = std::min(256, lh - 256 * r);
                    EXPECT_EQ(t.x0, 256 * s * c);
                    EXPECT_EQ(t.y0, 256 * s * r);
                    EXPECT_EQ(t.x1, c == L.tilesAcross - 1 ? W - 1 : t.x0 + 256 * s - 1);
                    EXPECT_EQ(t.y1, r == L.tilesDown - 1 ? H - 1 : t.y0 + 256 * s - 1);
                    EXPECT_EQ(t.width, tw);
                    EXPECT_EQ(t.height, th);
                    EXPECT_EQ(t.size, tw * th);
                    EXPECT_EQ(t.step, s);
                    const int64_t offset = levelStart + int64_t(256) * lw * r + int64_t(256) * th * c;
                    EXPECT_EQ(t.data - block.data(), offset);
                }
            levelStart += int64_t(lw) * lh;
        }
    }
}

// ---- building against the numpy model ---------------------------------------

struct BuildCase {
    const char* name;
    int type;
    int phase;
    int width, height;
    int pad;  // bytes after each row
    double lo, hi;
};

const BuildCase kBuilds[] = {
    {"u8", UINT8, 0, 257, 257, 0, 20, 200},         {"u8ties", UINT8, 0, 300, 7, 3, 0, 510},
    {"s8", SINT8, 0, 1, 300, 1, -100, 90},          {"u16", UINT16, 0, 300, 1, 0, 1000, 60000},
    {"s16", SINT16, 0, 513, 270, 6, -20000, 25000}, {"u32", UINT32, 0, 260, 3, 0, 1e8, 4e9},
    {"s32", SINT32, 0, 3, 260, 4, -2e9, 1.5e9},     {"f32", FLOAT32, 0, 1100, 1000, 0, -1.5, 2.0},
    {"f32flat", FLOAT32, 0, 40, 30, 0, 0.5, 0.5},   {"f64", FLOAT64, 0, 257, 300, 8, -2.0, 1.0},
    {"cf32", CFLOAT32, 0, 300, 200, 0, 0.2, 2.5},   {"cf32ph", CFLOAT32, 1, 300, 200, 0, 0.2, 2.5},
    {"cf64", CFLOAT64, 0, 257, 257, 0, 0.0, 2.0},   {"cf64ph", CFLOAT64, 1, 257, 257, 0, 0.0, 2.0},
    {"cu8", CUINT8, 0, 100, 300, 0, 10, 300},       {"cu8ph", CUINT8, 1, 100, 300, 0, 10, 300},
    {"cs8", CSINT8, 0, 300, 100, 2, 5, 150},        {"cs8ph", CSINT8, 1, 300, 100, 2, 5, 150},
    {"cu16", CUINT16, 0, 270, 260, 0, 1000, 80000}, {"cu16ph", CUINT16, 1, 270, 260, 0, 1000, 80000},
    {"cs16", CSINT16, 0, 1, 1, 0, 0, 30000},        {"cs16ph", CSINT16, 1, 260, 1, 0, 0, 30000},
    {"cu32", CUINT32, 0, 50, 600, 0, 1e8, 5e9},     {"cu32ph", CUINT32, 1, 50, 600, 0, 1e8, 5e9},
    {"cs32", CSINT32, 0, 600, 50, 0, 1e8, 2.5e9},   {"cs32ph", CSINT32, 1, 600, 50, 0, 1e8, 2.5e9},
};

// Samples of every kind the conversion must handle, edge values included.
std::vector<unsigned char> MakeSamples(const BuildCase& c, std::mt19937& rng)
{
    const int size = GetDataTypeSize(c.type);
    const int64_t rowBytes = int64_t(c.width) * size + c.pad;
    std::vector<unsigned char> raw(size_t(rowBytes * c.height));
    std::uniform_int_distribution<uint32_t> bits;
    for (auto& b : raw)
        b = static_cast<unsigned char>(bits(rng));
    const bool isFloat = c.type == FLOAT32 || c.type == FLOAT64 || c.type == CFLOAT32 || c.type == CFLOAT64;
    if (!isFloat)
        return raw;
    const double specials[] = {std::nan(""), 1e30, -1e30, INFINITY, -INFINITY, 0.0, -0.0, 1.0};
    std::normal_distribution<double> normal(0.0, 1.2);
    const bool single = c.type == FLOAT32 || c.type == CFLOAT32;
    const int values = IsComplexType(c.type) ? 2 * c.width : c.width;
    for (int y = 0; y < c.height; ++y)
        for (int i = 0; i < values; ++i) {
            const double v = (rng() % 50 == 0) ? specials[rng() % 8] : normal(rng);
            unsigned char* p = raw.data() + y * rowBytes + i * (single ? 4 : 8);
            if (single) {
                const float f = float(v);
                std::memcpy(p, &f, 4);
            } else {
                std::memcpy(p, &v, 8);
            }
        }
    return raw;
}

TEST(DisplayPyramidBuild, MatchesTheNumpyModelForEverySampleType)
{
    const TempDir scratch;
    const std::string& dir = scratch.Path();
    ASSERT_FALSE(dir.empty());
    std::mt19937 rng(7);
    std::string manifest;
    std::vector<std::vector<unsigned char>> samples;
    for (const auto& c : kBuilds) {
        samples.push_back(MakeSamples(c, rng));
        WriteFile(dir + "/" + c.name + ".in", samples.back().data(), samples.back().size());
        manifest += std::string("build ") + c.name + " " + std::to_string(c.type) + " " + std::to_string(c.phase) +
                    " " + std::to_string(c.width) + " " + std::to_string(c.height) + " " +
                    std::to_string(c.width * GetDataTypeSize(c.type) + c.pad) + " " + Num(c.lo) + " " + Num(c.hi) +
                    "\n";
    }
    RunModel(dir, manifest);
    for (size_t i = 0; i < std::size(kBuilds); ++i) {
        const auto& c = kBuilds[i];
        SCOPED_TRACE(c.name);
        Block block(GetViewerTempSize(c.width, c.height));
        CDisplayPyramid p;
        FakeMeter meter;
        ASSERT_EQ(p.Build(block.levels(), samples[i].data(), c.width, c.height,
                          c.width * GetDataTypeSize(c.type) + c.pad, c.type, c.phase, c.lo, c.hi, &meter),
                  1);
        const auto expected = ReadFile(dir + "/" + c.name + ".out");
        ASSERT_EQ(expected.size(), block.bytes.size());
        size_t firstDiff = 0;
        while (firstDiff < expected.size() && expected[firstDiff] == block.bytes[firstDiff])
            ++firstDiff;
        EXPECT_EQ(firstDiff, expected.size()) << "first difference at byte " << firstDiff;
        int tiles = 0;
        for (int k = 0; k < p.LevelCount(); ++k)
            tiles += p.Level(k).tilesAcross * p.Level(k).tilesDown;
        EXPECT_EQ(meter.hi, tiles);
        EXPECT_EQ(meter.steps, tiles);
    }
}

TEST(DisplayPyramidBuild, ValuesOutsideTheRangeClampAndNaNGivesZero)
{
    const float samples[] = {1e30f, std::nanf(""), -1e30f, 0.5f, 1.0f, 0.0f, INFINITY, -INFINITY};
    const unsigned char expected[] = {255, 0, 0, 128, 255, 0, 255, 0};
    Block block(8);
    CDisplayPyramid p;
    ASSERT_EQ(p.Build(block.levels(), samples, 8, 1, sizeof samples, FLOAT32, 0, 0.0, 1.0, nullptr), 1);
    EXPECT_EQ(0, std::memcmp(block.levels(), expected, 8));

    // Equal ends: everything shows 0 and lands in bin 0.
    ASSERT_EQ(p.Build(block.levels(), samples, 8, 1, sizeof samples, FLOAT32, 0, 2.0, 2.0, nullptr), 1);
    uint32_t histogram[256];
    std::memcpy(histogram, block.bytes.data(), sizeof histogram);
    EXPECT_EQ(histogram[0], 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(block.levels()[i], 0);

    // Phase of (0, 1) as CSINT16: a quarter turn, 64, and nothing counted.
    const int16_t pair[] = {0, 1};
    Block one(1);
    ASSERT_EQ(p.Build(one.levels(), pair, 1, 1, 4, CSINT16, 1, 0.0, 1.0, nullptr), 1);
    EXPECT_EQ(one.levels()[0], 64);
    for (int i = 0; i < kDisplayHistogramSize; ++i)
        EXPECT_EQ(one.bytes[size_t(i)], 0);
}

TEST(DisplayPyramidBuild, UnknownTypeKeepsLevelZeroAndAveragesIt)
{
    const int W = 300, H = 2;
    Block block(GetViewerTempSize(W, H));
    for (int i = 0; i < W * H; ++i)
        block.levels()[i] = static_cast<unsigned char>(i % 7 * 30);
    const std::vector<unsigned char> before(block.levels(), block.levels() + W * H);
    CDisplayPyramid p;
    ASSERT_EQ(p.Build(block.levels(), nullptr, W, H, 0, 17, 0, 0, 1, nullptr), 1);
    // Level 0 is two tiles: 256 x 2 then 44 x 2.
    for (int i = 0; i < W * H; ++i)
        EXPECT_EQ(block.levels()[i], before[size_t(i)]);
    const unsigned char* level1 = block.levels() + W * H;
    const auto at = [&](int x, int y) { return int(x < 256 ? before[y * 256 + x] : before[512 + y * 44 + x - 256]); };
    EXPECT_EQ(level1[0], (at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1)) / 4);
    EXPECT_EQ(level1[149], (at(298, 0) + at(299, 0) + at(298, 1) + at(299, 1)) / 4);
}

TEST(DisplayPyramidBuild, RefusesBadArguments)
{
    std::vector<unsigned char> samples(100), block(2000);
    CDisplayPyramid p;
    EXPECT_EQ(p.Build(block.data() + 1024, samples.data(), 0, 5, 10, UINT8, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(p.Build(block.data() + 1024, samples.data(), 5, 0, 10, UINT8, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(p.Build(nullptr, samples.data(), 5, 5, 10, UINT8, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(p.Build(block.data() + 1024, nullptr, 5, 5, 10, UINT8, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(p.Build(block.data() + 1024, samples.data(), 5, 5, 9, UINT16, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(p.LevelCount(), 0);
    EXPECT_EQ(p.Attach(nullptr, 5, 5, 25), 0);
    EXPECT_EQ(p.Attach(block.data(), -1, 5, int64_t(block.size())), 0);
}

// Rows far apart (rowBytes beyond the samples): the build reads only sample
// bytes, also when the last row ends where the caller's buffer ends.
TEST(DisplayPyramidBuild, ReadsOnlySampleBytesOfWidelySpacedRows)
{
    struct Case {
        int type, width, height;
        ptrdiff_t rowBytes;
    } cases[] = {
        {UINT8, 10, 1, 8192},
        {UINT8, 10, 3, 8192},
        {FLOAT32, 5, 4, 10000},
        {UINT16, 300, 2, 4097 * 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " of " << c.rowBytes);
        const int size = GetDataTypeSize(c.type);
        // Exactly up to the last sample, so the sanitizer sees any read beyond.
        std::vector<unsigned char> samples(size_t((c.height - 1) * c.rowBytes + c.width * size), 0);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                unsigned char* p = samples.data() + y * c.rowBytes + x * size;
                if (c.type == FLOAT32) {
                    const float v = float(x + y);
                    std::memcpy(p, &v, 4);
                } else {
                    *p = static_cast<unsigned char>(x + y);
                }
            }
        Block block(GetViewerTempSize(c.width, c.height));
        CDisplayPyramid p;
        ASSERT_EQ(p.Build(block.levels(), samples.data(), c.width, c.height, c.rowBytes, c.type, 0, 0, 255, nullptr),
                  1);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < std::min(c.width, 256); ++x)
                ASSERT_EQ(block.levels()[size_t(y) * std::min(c.width, 256) + x], (x + y) & 0xFF) << x << ", " << y;
    }
}

// ---- the cache file: attach, cancel, validity --------------------------------

TEST(DisplayPyramidCache, AttachGivesTheBuildsTablesAndRegions)
{
    const int W = 1000, H = 600;
    std::vector<uint16_t> samples(size_t(W) * H);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = uint16_t((i * 2654435761u) >> 16);
    Block block(GetViewerTempSize(W, H));
    CDisplayPyramid built, attached;
    ASSERT_EQ(built.Build(block.levels(), samples.data(), W, H, W * 2, UINT16, 0, 0, 65535, nullptr), 1);
    ASSERT_EQ(attached.Attach(block.levels(), W, H, GetViewerTempSize(W, H)), 1);
    ASSERT_EQ(attached.LevelCount(), built.LevelCount());
    for (int k = 0; k < built.LevelCount(); ++k) {
        const PyramidLevel& a = built.Level(k);
        const PyramidLevel& b = attached.Level(k);
        ASSERT_EQ(a.tilesAcross * a.tilesDown, b.tilesAcross * b.tilesDown);
        for (int t = 0; t < a.tilesAcross * a.tilesDown; ++t)
            EXPECT_EQ(0, std::memcmp(&a.tiles[size_t(t)], &b.tiles[size_t(t)], sizeof(PyramidTile)));
    }
    for (double r : {0.5, 1.0, 1.5, 3.0}) {
        std::vector<unsigned char> x(400 * 300, 1), y(400 * 300, 1);
        ASSERT_EQ(built.GetRegion(x.data(), 400, 10, 20, 400, 300, r, 0, 1, 0, nullptr), 1);
        ASSERT_EQ(attached.GetRegion(y.data(), 400, 10, 20, 400, 300, r, 0, 1, 0, nullptr), 1);
        EXPECT_EQ(x, y) << r;
    }
}

// A cache file in a real shared mapping, header first as the raster view writes it.
struct CacheFile {
    CacheFile(int w, int h)
    {
        path = dir.File("layer.tmp");
        size = size_t(kDisplayCacheLevelsOffset + GetViewerTempSize(w, h));
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        EXPECT_EQ(posix_fallocate(fd, 0, off_t(size)), 0);
        base = static_cast<unsigned char*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        const double flag = 2.0;
        std::memcpy(base, &flag, 8);
        std::memcpy(base + 8, &kTime, 4);
    }
    ~CacheFile()
    {
        munmap(base, size);
        close(fd);
    }
    // The header's time as a reader of the file sees it.
    int32_t StoredTime() const
    {
        int32_t t = -1;
        EXPECT_EQ(pread(fd, &t, 4, 8), 4);
        return t;
    }
    static constexpr int32_t kTime = 1700000000;
    TempDir dir;
    std::string path;
    size_t size = 0;
    int fd = -1;
    unsigned char* base = nullptr;
};

TEST(DisplayPyramidCache, TimeIsWrittenOnlyWhenTheBuildCompletes)
{
    const int W = 700, H = 300;
    std::vector<unsigned char> samples(size_t(W) * H, 77);
    {
        CacheFile cache(W, H);
        CDisplayPyramid p;
        FakeMeter meter;
        ASSERT_EQ(p.Build(cache.base + kDisplayCacheLevelsOffset, samples.data(), W, H, W, UINT8, 0, 0, 255, &meter,
                          cache.base),
                  1);
        EXPECT_EQ(cache.StoredTime(), CacheFile::kTime);
        uint32_t histogram[256];
        ASSERT_EQ(pread(cache.fd, histogram, sizeof histogram, kDisplayCacheHeaderSize), ssize_t(sizeof histogram));
        EXPECT_EQ(histogram[77], uint32_t(W * H));
    }
    // Cancelled at each stage: level 0, a reduced level, the very last tile.
    for (int cancelAt : {1, 4, 7, 9}) {
        SCOPED_TRACE(cancelAt);
        CacheFile cache(W, H);
        CDisplayPyramid p;
        FakeMeter meter;
        meter.failAt = cancelAt;
        EXPECT_EQ(CauseOf([&] {
                      p.Build(cache.base + kDisplayCacheLevelsOffset, samples.data(), W, H, W, UINT8, 0, 0, 255, &meter,
                              cache.base);
                  }),
                  RDP_CANCEL);
        EXPECT_EQ(cache.StoredTime(), 0);
        EXPECT_EQ(p.LevelCount(), 0);
    }
}

// The look-up of the base library accepts the cache next to its source only
// after a build that ran to its end.
TEST(DisplayPyramidCache, LookUpFindsOnlyCompleteCaches)
{
    const int W = 600, H = 300;
    std::vector<unsigned char> samples(size_t(W) * H, 5);
    const TempDir scratch;
    const std::string& dir = scratch.Path();
    const std::string source = dir + "/layer.rdp";
    WriteFile(source, "RDPR", 4);
    struct stat status {};
    ASSERT_EQ(stat(source.c_str(), &status), 0);
    const size_t size = size_t(kDisplayCacheLevelsOffset + GetViewerTempSize(W, H));
    const std::string cachePath = dir + "/layer.tmp";
    for (int cancelAt : {3, 0}) {
        SCOPED_TRACE(cancelAt);
        const int fd = open(cachePath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_EQ(posix_fallocate(fd, 0, off_t(size)), 0);
        auto* base = static_cast<unsigned char*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        ASSERT_NE(base, MAP_FAILED);
        CTempInfoStruct(2.0, status.st_mtime).Store(base);
        FakeMeter meter;
        meter.failAt = cancelAt;
        CDisplayPyramid p;
        const int cause = CauseOf([&] {
            p.Build(base + kDisplayCacheLevelsOffset, samples.data(), W, H, W, UINT8, 0, 0, 255, &meter, base);
        });
        munmap(base, size);
        close(fd);
        EXPECT_EQ(cause, cancelAt ? RDP_CANCEL : -1);
        EXPECT_EQ(FindTMPFile(source, 0), cancelAt ? "" : cachePath);
    }
}

// A cache file cut short after its build keeps a matching time: the look-up
// with the layout's length refuses it, and so does Attach with the mapping's
// length, so no region reads past the mapping.
TEST(DisplayPyramidCache, CacheCutShortIsNeitherFoundNorAttached)
{
    const int W = 600, H = 300;
    std::vector<unsigned char> samples(size_t(W) * H, 5);
    const TempDir scratch;
    const std::string& dir = scratch.Path();
    const std::string source = dir + "/layer.rdp";
    WriteFile(source, "RDPR", 4);
    struct stat status {};
    ASSERT_EQ(stat(source.c_str(), &status), 0);
    const int64_t size = GetDisplayCacheSize(W, H);
    ASSERT_EQ(size, kDisplayCacheLevelsOffset + GetViewerTempSize(W, H));
    EXPECT_EQ(GetDisplayCacheSize(0, 5), 0);
    const std::string cachePath = dir + "/layer.tmp";
    {
        const int fd = open(cachePath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_EQ(posix_fallocate(fd, 0, off_t(size)), 0);
        auto* base =
            static_cast<unsigned char*>(mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        ASSERT_NE(base, MAP_FAILED);
        CTempInfoStruct(2.0, status.st_mtime).Store(base);
        CDisplayPyramid p;
        ASSERT_EQ(p.Build(base + kDisplayCacheLevelsOffset, samples.data(), W, H, W, UINT8, 0, 0, 255, nullptr, base),
                  1);
        munmap(base, size_t(size));
        close(fd);
    }
    EXPECT_EQ(FindTMPFile(source, 0, size), cachePath);
    ASSERT_EQ(truncate(cachePath.c_str(), off_t(size - 1000)), 0);
    EXPECT_EQ(FindTMPFile(source, 0, size), "");

    const int64_t length = size - 1000 - kDisplayCacheLevelsOffset;  // what a mapping of the file holds
    std::vector<unsigned char> levels(static_cast<size_t>(length));
    CDisplayPyramid p;
    EXPECT_EQ(p.Attach(levels.data(), W, H, length), 0);
    EXPECT_EQ(p.LevelCount(), 0);
    std::vector<unsigned char> dest(size_t(W) * H, 0xCD);
    EXPECT_EQ(p.GetRegion(dest.data(), W, 0, 0, W, H, 1.0, 0, 1, 0, nullptr), 0);
    EXPECT_EQ(p.Attach(levels.data(), W, H, 0), 0);
    std::vector<unsigned char> whole(size_t(GetViewerTempSize(W, H)));
    EXPECT_EQ(p.Attach(whole.data(), W, H, int64_t(whole.size())), 1);
    EXPECT_EQ(p.Attach(whole.data(), W, H, int64_t(whole.size()) + 4096), 1);
}

TEST(DisplayPyramidCache, ParallelBuildCancelsCleanly)
{
    // Large enough for the worker threads.
    const int W = 2000, H = 1500;
    std::vector<float> samples(size_t(W) * H);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(i % 1000) / 1000.0f;
    CacheFile cache(W, H);
    CDisplayPyramid p;
    FakeMeter meter;
    meter.failAt = 20;
    EXPECT_EQ(CauseOf([&] {
                  p.Build(cache.base + kDisplayCacheLevelsOffset, samples.data(), W, H, W * 4, FLOAT32, 0, 0, 1, &meter,
                          cache.base);
              }),
              RDP_CANCEL);
    EXPECT_EQ(cache.StoredTime(), 0);
    EXPECT_EQ(meter.steps, 20);
}

// ---- regions against the numpy model ------------------------------------------

struct RegionCase {
    const char* name;
    int layer;  // index into the layers below
    double reduction;
    int x, y, width, height;
    int fit, step, bottomUp;
};

const int kLayers[][2] = {{1000, 600}, {200, 100}, {257, 257}, {1, 300}, {2100, 1300}};

const RegionCase kRegions[] = {
    {"copy", 0, 1.0, 0, 0, 1000, 600, 0, 1, 0},
    {"copyTwoTiles", 0, 1.0, 200, 0, 300, 10, 0, 1, 0},
    {"copyInside", 0, 1.0, 250, 250, 300, 270, 0, 1, 0},
    {"copyTooWide", 0, 1.0, 900, 500, 400, 300, 0, 1, 0},
    {"copyLevel1", 0, 2.0, 10, 5, 400, 250, 0, 1, 0},
    {"resampleOneLevel", 1, 2.0, 0, 0, 100, 50, 0, 1, 0},
    {"resample15", 0, 1.5, 0, 0, 666, 400, 0, 1, 0},
    {"resample15Offset", 0, 1.5, 100, 37, 300, 200, 0, 1, 0},
    {"resample3", 0, 3.0, 0, 0, 333, 200, 0, 1, 0},
    {"reduce4", 0, 4.0, 5, 3, 250, 150, 0, 1, 0},
    {"resampleTooWide", 0, 1.5, 0, 0, 900, 900, 0, 1, 0},
    {"resampleTop", 2, 7.0, 0, 0, 40, 40, 0, 1, 0},
    {"magnify2", 0, 0.5, 0, 0, 600, 600, 0, 1, 0},
    {"magnify2Offset", 0, 0.5, 1001, 333, 500, 500, 0, 1, 0},
    {"magnify04", 0, 0.4, 0, 0, 700, 700, 0, 1, 0},
    {"magnifyThird", 0, 1.0 / 3.0, 50, 70, 800, 500, 0, 1, 0},
    {"magnifyEdge", 0, 0.5, 1990, 1190, 100, 100, 0, 1, 0},
    {"fit", 0, 0.5, 40, 40, 10, 10, 1, 1, 0},
    {"bottomUp", 0, 1.0, 3, 2, 20, 4, 0, 1, 1},
    {"bottomUpResample", 0, 1.5, 3, 2, 300, 260, 0, 1, 1},
    {"bottomUpMagnify", 0, 0.25, 3, 2, 300, 260, 0, 1, 1},
    {"step3", 0, 1.0, 0, 0, 300, 300, 0, 3, 0},
    {"step3Resample", 0, 1.5, 0, 0, 300, 300, 0, 3, 1},
    {"step3Magnify", 0, 0.5, 0, 0, 300, 300, 0, 3, 0},
    {"step3TooWide", 0, 1.0, 900, 500, 400, 300, 0, 3, 0},
    {"step3Resample15", 0, 1.5, 100, 37, 300, 200, 0, 3, 0},
    {"step3Resample3Big", 4, 3.0, 11, 5, 650, 400, 0, 3, 0},
    {"column", 3, 1.0, 0, 0, 1, 300, 0, 1, 0},
    {"columnReduced", 3, 2.5, 0, 0, 1, 120, 0, 1, 0},
    {"columnMagnify", 3, 0.5, 0, 0, 2, 600, 0, 1, 0},
    {"big15", 4, 1.5, 17, 9, 1300, 800, 0, 1, 0},
    {"big6", 4, 6.0, 0, 0, 350, 216, 0, 1, 0},
    {"outside", 0, 1.0, 1000, 0, 10, 10, 0, 1, 0},
};

std::vector<unsigned char> MakeLevel0(int w, int h, std::mt19937& rng)
{
    std::vector<unsigned char> img(size_t(w) * h);
    std::uniform_int_distribution<int> noise(-20, 20);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img[size_t(y) * w + x] = static_cast<unsigned char>(std::clamp((x * 3 + y * 5) % 256 + noise(rng), 0, 255));
    return img;
}

TEST(DisplayPyramidRegion, MatchesTheNumpyModel)
{
    const TempDir scratch;
    const std::string& dir = scratch.Path();
    ASSERT_FALSE(dir.empty());
    std::mt19937 rng(11);
    std::vector<std::vector<unsigned char>> images;
    for (const auto& l : kLayers)
        images.push_back(MakeLevel0(l[0], l[1], rng));
    std::string manifest;
    auto rowBytesOf = [](const RegionCase& c) { return c.width * c.step + 5; };
    auto sizeOf = [&](const RegionCase& c) {
        const int w = kLayers[c.layer][0], h = kLayers[c.layer][1];
        const int rows = c.fit ? h : c.height;
        const int rowBytes = c.fit ? w * c.step : rowBytesOf(c);
        return size_t(rows) * rowBytes;
    };
    for (const auto& c : kRegions) {
        const int w = kLayers[c.layer][0], h = kLayers[c.layer][1];
        WriteFile(dir + "/" + c.name + ".l0", images[size_t(c.layer)].data(), images[size_t(c.layer)].size());
        const int rowBytes = c.fit ? w * c.step : rowBytesOf(c);
        manifest += std::string("region ") + c.name + " " + std::to_string(w) + " " + std::to_string(h) + " " +
                    Num(c.reduction) + " " + std::to_string(c.x) + " " + std::to_string(c.y) + " " +
                    std::to_string(c.width) + " " + std::to_string(c.height) + " " + std::to_string(c.fit) + " " +
                    std::to_string(c.step) + " " + std::to_string(c.bottomUp) + " " + std::to_string(rowBytes) + " " +
                    std::to_string(sizeOf(c)) + "\n";
    }
    RunModel(dir, manifest);

    std::vector<std::unique_ptr<Block>> blocks;
    std::vector<std::unique_ptr<CDisplayPyramid>> pyramids;
    for (size_t i = 0; i < std::size(kLayers); ++i) {
        const int w = kLayers[i][0], h = kLayers[i][1];
        blocks.push_back(std::make_unique<Block>(GetViewerTempSize(w, h)));
        pyramids.push_back(std::make_unique<CDisplayPyramid>());
        ASSERT_EQ(pyramids.back()->Build(blocks.back()->levels(), images[i].data(), w, h, w, UINT8, 0, 0, 255, nullptr),
                  1);
    }
    for (const auto& c : kRegions) {
        SCOPED_TRACE(c.name);
        const int w = kLayers[c.layer][0];
        const int rowBytes = c.fit ? w * c.step : rowBytesOf(c);
        // Exactly the buffer size, so the sanitizer sees any write beyond it.
        std::vector<unsigned char> dest(sizeOf(c), 0xCD);
        CDisplayPyramid& p = *pyramids[size_t(c.layer)];
        p.SetScale(c.reduction);
        ASSERT_EQ(p.GetRegion(dest.data(), rowBytes, c.x, c.y, c.width, c.height, c.reduction, c.fit, c.step,
                              c.bottomUp, nullptr),
                  1);
        const auto expected = ReadFile(dir + "/" + c.name + ".out");
        ASSERT_EQ(expected.size(), dest.size());
        size_t firstDiff = 0;
        while (firstDiff < dest.size() && dest[firstDiff] == expected[firstDiff])
            ++firstDiff;
        EXPECT_EQ(firstDiff, dest.size())
            << "first difference at byte " << firstDiff << " (row " << firstDiff / size_t(rowBytes) << ")";

        // Told of its rows as they come, the region is the same, and every row is told
        // of once, after it was written: a row holds its final bytes when it is heard of.
        const int rows = c.fit && c.reduction < 1.0 ? kLayers[c.layer][1] : c.height;
        std::vector<unsigned char> streamed(dest.size(), 0xCD);
        std::vector<std::atomic<int>> told(static_cast<size_t>(rows));
        std::atomic<int> early{0};
        const auto tell = [&](int64_t first, int64_t end) {
            for (int64_t r = first; r < end; ++r) {
                if (r < 0 || r >= rows) {
                    ++early;
                    continue;
                }
                ++told[size_t(r)];
                if (std::memcmp(&streamed[size_t(r) * rowBytes], &expected[size_t(r) * rowBytes],
                                size_t(std::min<int64_t>(rowBytes, int64_t(dest.size()) - r * rowBytes))) != 0)
                    ++early;
            }
        };
        const plat::FunctionRef<void(int64_t, int64_t)> ready = tell;
        ASSERT_EQ(p.GetRegion(streamed.data(), rowBytes, c.x, c.y, c.width, c.height, c.reduction, c.fit, c.step,
                              c.bottomUp, nullptr, &ready),
                  1);
        EXPECT_TRUE(streamed == expected) << "told of its rows";
        EXPECT_EQ(early.load(), 0) << "rows told of before they were written, or outside the region";
        for (int r = 0; r < rows; ++r)
            ASSERT_EQ(told[size_t(r)].load(), 1) << "row " << r;
    }
}

TEST(DisplayPyramidRegion, TablesFollowTheReductionWithoutSetScale)
{
    const int W = 1000, H = 600;
    std::mt19937 rng(3);
    const auto img = MakeLevel0(W, H, rng);
    Block block(GetViewerTempSize(W, H));
    CDisplayPyramid p;
    ASSERT_EQ(p.Build(block.levels(), img.data(), W, H, W, UINT8, 0, 0, 255, nullptr), 1);
    std::vector<unsigned char> a(200 * 100), b(200 * 100);
    p.SetScale(1.5);
    ASSERT_EQ(p.GetRegion(a.data(), 200, 7, 9, 200, 100, 1.5, 0, 1, 0, nullptr), 1);
    p.SetScale(2.5);
    ASSERT_EQ(p.GetRegion(b.data(), 200, 7, 9, 200, 100, 1.5, 0, 1, 0, nullptr), 1);
    EXPECT_EQ(a, b);
}

// Regions at different reductions on several threads at once each come out
// as they do alone: no call changes what another one reads.
TEST(DisplayPyramidRegion, RegionsAtDifferentReductionsOnSeveralThreads)
{
    const int W = 2100, H = 1300;
    std::mt19937 rng(13);
    const auto img = MakeLevel0(W, H, rng);
    Block block(GetViewerTempSize(W, H));
    CDisplayPyramid p;
    ASSERT_EQ(p.Build(block.levels(), img.data(), W, H, W, UINT8, 0, 0, 255, nullptr), 1);
    const double reductions[] = {1.5, 3.0, 1.25, 6.0};
    const int RW = 300, RH = 200;
    std::vector<std::vector<unsigned char>> alone;
    for (double r : reductions) {
        alone.emplace_back(size_t(RW) * RH, 0);
        ASSERT_EQ(p.GetRegion(alone.back().data(), RW, 11, 7, RW, RH, r, 0, 1, 0, nullptr), 1);
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (size_t i = 0; i < std::size(reductions); ++i)
        readers.emplace_back([&, i] {
            std::vector<unsigned char> dest(size_t(RW) * RH);
            for (int round = 0; round < 100; ++round) {
                std::fill(dest.begin(), dest.end(), 0);
                if (p.GetRegion(dest.data(), RW, 11, 7, RW, RH, reductions[i], 0, 1, 0, nullptr) != 1 ||
                    dest != alone[i])
                    ++wrong;
            }
        });
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(DisplayPyramidRegion, CopyPathMeterMovesByBandsAndCancelReachesTheCaller)
{
    const int W = 1000, H = 600;
    std::vector<unsigned char> img(size_t(W) * H, 9), dest(size_t(W) * H);
    Block block(GetViewerTempSize(W, H));
    CDisplayPyramid p;
    ASSERT_EQ(p.Build(block.levels(), img.data(), W, H, W, UINT8, 0, 0, 255, nullptr), 1);
    FakeMeter meter;
    meter.pos = 1000;
    ASSERT_EQ(p.GetRegion(dest.data(), W, 0, 0, 500, 100, 1.0, 0, 1, 0, &meter), 1);
    ASSERT_EQ(meter.positions.size(), 1u);
    EXPECT_EQ(meter.positions[0], 1000 + 256);

    // A cancel reaches the caller as the cancel, with no box; any other fault
    // shows "Error !" and gives 0.
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    FakeMeter cancelling;
    cancelling.failAt = 1;
    EXPECT_EQ(CauseOf([&] { p.GetRegion(dest.data(), W, 0, 0, 500, 100, 1.0, 0, 1, 0, &cancelling); }), RDP_CANCEL);
    EXPECT_TRUE(boxes.Calls().empty());
    FakeMeter failing;
    failing.failAt = 1;
    failing.fault = FakeMeter::Fault::Memory;
    EXPECT_EQ(p.GetRegion(dest.data(), W, 0, 0, 500, 100, 1.0, 0, 1, 0, &failing), 0);
    const auto calls = boxes.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].caption, "Error !");
    EXPECT_EQ(calls[0].text, "");
    EXPECT_TRUE(calls[0].type & plat::MB_SYSTEMMODAL);
}

TEST(DisplayPyramidRegion, RefusesBadReductionsAndEmptyPyramids)
{
    std::vector<unsigned char> dest(100, 0xCD);
    CDisplayPyramid empty;
    EXPECT_EQ(empty.GetRegion(dest.data(), 10, 0, 0, 10, 10, 1.0, 0, 1, 0, nullptr), 0);
    std::vector<unsigned char> img(100, 50);
    Block block(GetViewerTempSize(10, 10));
    CDisplayPyramid p;
    ASSERT_EQ(p.Build(block.levels(), img.data(), 10, 10, 10, UINT8, 0, 0, 255, nullptr), 1);
    for (double r : {0.0, -1.0, std::nan(""), double(INFINITY), 1e-300})
        EXPECT_EQ(p.GetRegion(dest.data(), 10, 0, 0, 10, 10, r, 0, 1, 0, nullptr), r == 1e-300 ? 1 : 0) << r;
    EXPECT_EQ(p.GetRegion(dest.data(), 10, 0, 0, 10, 10, 1.0, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(p.GetRegion(dest.data(), 10, -5, 0, 10, 10, 1.0, 0, 1, 0, nullptr), 1);
    for (unsigned char v : dest)
        EXPECT_EQ(v, 0xCD);
}

TEST(DisplayPyramidRegion, GetLineGivesRowsAndColumnsOfLevelZero)
{
    const int W = 300, H = 600;
    std::mt19937 rng(5);
    const auto img = MakeLevel0(W, H, rng);
    Block block(GetViewerTempSize(W, H));
    CDisplayPyramid p;
    ASSERT_EQ(p.Build(block.levels(), img.data(), W, H, W, UINT8, 0, 0, 255, nullptr), 1);
    std::vector<uint32_t> column(H, 999);
    ASSERT_EQ(p.GetLine(column.data(), 1, H, 10), 1);
    for (int y = 0; y < H; ++y)
        ASSERT_EQ(column[size_t(y)], img[size_t(y) * W + 10]) << y;
    std::vector<uint32_t> row(W, 999);
    ASSERT_EQ(p.GetLine(row.data(), W, 1, 599), 1);
    for (int x = 0; x < W; ++x)
        ASSERT_EQ(row[size_t(x)], img[size_t(599) * W + x]) << x;
    std::vector<uint32_t> none(4, 999);
    EXPECT_EQ(p.GetLine(none.data(), 2, 2, 0), 1);
    EXPECT_EQ(p.GetLine(none.data(), 1, 4, 300), 0);
    for (uint32_t v : none)
        EXPECT_EQ(v, 999u);
}

}  // namespace
