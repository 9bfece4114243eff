#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>

#include "RasterViewTestSupport.h"
#include "platform/windows/StatusBar.h"
#include "files/TempFiles.h"
#include "format/RDPFile.h"
#include "jobs/MeterInfoBase.h"
#include "layer/RDPExcept.h"
#include "pyramid/DisplayPyramid.h"
#include "util/MathHelpers.h"
#include "view/DisplayCache.h"
#include "view/RasterView.h"
#include "window/StatusMeter.h"

namespace {

namespace fs = std::filesystem;
using namespace rvtest;

struct Stats {
    double min = 0, max = 0, mean = 0, sigma = 0;
    uint32_t hist[256] = {};
};

// Statistics as the layer keeps them: population deviation, 256 bins over [min, max].
Stats StatsOf(const std::vector<double>& v)
{
    Stats s;
    s.min = *std::min_element(v.begin(), v.end());
    s.max = *std::max_element(v.begin(), v.end());
    double sum = 0, sum2 = 0;
    for (double x : v) {
        sum += x;
        sum2 += x * x;
    }
    s.mean = sum / double(v.size());
    s.sigma = std::sqrt(std::fabs(sum2 / double(v.size()) - s.mean * s.mean));
    const double range = s.max - s.min;
    for (double x : v)
        ++s.hist[range > 0 ? std::min(255, int((x - s.min) * 255.0 / range)) : 0];
    return s;
}

double FactorOf(double low, double high, const Stats& s)
{
    return s.sigma == 0 ? 0.0 : std::max((high - s.mean) / s.sigma, (s.mean - low) / s.sigma);
}

CTempInfoStruct HeaderOf(const std::string& cache)
{
    return GetTMPInfo(cache);
}

// ---- stretch modes ---------------------------------------------------------

TEST_F(ViewFixture, StretchModesChooseTheRangeAndTheFactorTheCacheRecords)
{
    constexpr int W = 100, H = 100;  // 95 % is 9500 samples
    // 1 sample at 0, 9498 at 10, one at `edge`, 500 at 255: the running count
    // reaches 9500 in the bin of `edge`.
    const auto steps = [](int edge) {
        return [edge](int x, int y, int) {
            const int i = y * W + x;
            return i == 0 ? 0.0 : i < 9499 ? 10.0 : i == 9499 ? double(edge) : 255.0;
        };
    };
    const auto ramp = [](int x, int y, int) { return 0.25 * x - 3.5 * y + 0.001 * x * y; };
    const auto flat = [](int, int, int) { return 7.0; };
    enum Expect {
        AutoRange,
        Whole,
        Bytes,
        Dispersion
    };
    struct Case {
        const char* label;
        int type;
        std::function<double(int, int, int)> sample;
        int stretch;
        double k;
        Expect expect;
        double autoHigh;  // for AutoRange: expected high from the bin, NAN: max
    } cases[] = {
        {"None on UINT8 keeps 0..255", UINT8, steps(240), 1, 2.0, Bytes, 0},
        {"None on FLOAT32 maps min..max", FLOAT32, ramp, 1, 2.0, Whole, 0},
        {"Auto reaching 95 % in bin 240", UINT8, steps(240), 0, 2.0, AutoRange, 241.0},
        {"Auto reaching 95 % in bin 241", UINT8, steps(241), 0, 2.0, AutoRange, NAN},
        {"a stretch of 4 counts as Auto", UINT8, steps(240), 4, 2.0, AutoRange, 241.0},
        {"Auto with sigma 0", FLOAT32, flat, 0, 3.0, AutoRange, NAN},
        {"None with sigma 0", FLOAT32, flat, 1, 3.0, Whole, 0},
        {"Double Dispersion", FLOAT32, ramp, 2, 0.7, Dispersion, 2.0},
        {"Selected Dispersion keeps k", FLOAT32, ramp, 3, 0.7, Dispersion, 0.7},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = File("stretch" + std::to_string(n++) + ".rdp");
        WriteLayer(path, W, H, c.type, c.sample);
        std::vector<double> values;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                values.push_back(c.type == FLOAT32 ? double(float(c.sample(x, y, 0))) : c.sample(x, y, 0));
        const Stats s = StatsOf(values);

        double low = s.min, high = s.max, k = 0;
        switch (c.expect) {
        case Bytes:
            low = 0;
            high = 255;
            k = FactorOf(low, high, s);
            break;
        case Whole:
            k = FactorOf(low, high, s);
            break;
        case AutoRange:
            // The expectation from the test's own histogram when the bin is not given.
            if (!std::isnan(c.autoHigh))
                high = s.min + (s.max - s.min) * c.autoHigh / 255;
            k = FactorOf(low, high, s);
            break;
        case Dispersion:
            k = c.autoHigh;
            low = std::max(s.min, s.mean - k * s.sigma);
            high = std::min(s.max, s.mean + k * s.sigma);
            break;
        }

        NoticeWindow notify;
        CRasterView view;
        ASSERT_EQ(view.OpenLayer(5, notify.handle, path.c_str(), 0, c.k, c.stretch, nullptr, {}), 1);
        ASSERT_TRUE(notify.WaitFor(1));
        EXPECT_EQ(notify.notices[0], std::make_pair(5, 2));
        EXPECT_NEAR(view.GetRangeMin(1), low, 1e-6 * (1 + std::fabs(low)));
        EXPECT_NEAR(view.GetRangeMax(1), high, 1e-6 * (1 + std::fabs(high)));
        EXPECT_NEAR(view.GetSigmaFactor(), k, 1e-6);
        EXPECT_NEAR(view.Mean(1), s.mean, 1e-6 * (1 + std::fabs(s.mean)));
        EXPECT_NEAR(view.StDev(1), s.sigma, 1e-6 * (1 + s.sigma));
        const std::string cache = view.GetCacheName();
        EXPECT_EQ(cache, CacheNameBeside(path, 0));
        EXPECT_NEAR(HeaderOf(cache).m_flag, k, 1e-6);
        if (s.sigma == 0)
            EXPECT_EQ(HeaderOf(cache).m_flag, 0.0);
    }
}

TEST_F(ViewFixture, PhaseOfAComplexLayerUsesTagThreeAndATmfCacheWhateverK)
{
    const std::string path = File("complex.rdp");
    WriteLayer(path, 300, 200, CFLOAT32, [](int x, int y, int part) {
        return part == 0 ? std::cos(x * 0.05 + y * 0.01) * (1 + x) : std::sin(x * 0.05 + y * 0.01) * (1 + x);
    });
    StatisticsTag phase{};
    {
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(path.c_str(), 0), nullptr);
        ASSERT_NE(layer.GetTag(kTagPhaseStatistics, int(sizeof phase), &phase), nullptr);
    }
    EXPECT_EQ(phase.minimum, 0.0);
    EXPECT_EQ(phase.maximum, kPhaseMax);

    NoticeWindow notify;
    {
        CRasterView view;
        ASSERT_EQ(view.OpenLayer(0, notify.handle, path.c_str(), 1, 1.25, 2, nullptr, {}), 1);
        ASSERT_TRUE(notify.WaitFor(1));
        EXPECT_EQ(notify.notices[0].second, 2);
        EXPECT_EQ(view.GetRangeMin(1), 0.0);
        EXPECT_EQ(view.GetRangeMax(1), kPhaseMax);
        EXPECT_EQ(view.Mean(1), phase.mean);
        EXPECT_EQ(view.StDev(1), phase.deviation);
        EXPECT_EQ(view.GetSigmaFactor(), 1.25);  // the stretch is not used
        EXPECT_EQ(std::memcmp(view.GetHistAddr(1), phase.histogram, 1024), 0);
        EXPECT_EQ(view.GetCacheName(), CacheNameBeside(path, 1));
        EXPECT_EQ(view.GetStringTypeData(1), "Complex float");
        EXPECT_EQ(view.GetStringSizePixel(1), "64 bits");
    }
    // Another k keeps the phase cache.
    const ino_t built = Inode(CacheNameBeside(path, 1));
    CRasterView again;
    ASSERT_EQ(again.OpenLayer(0, notify.handle, path.c_str(), 1, 3.0, 0, nullptr, {}), 1);
    EXPECT_EQ(again.IsBusy(), 0);
    EXPECT_EQ(Inode(CacheNameBeside(path, 1)), built);
    EXPECT_FALSE(fs::exists(CacheNameBeside(path, 0)));
}

// ---- cache scenarios -------------------------------------------------------

// The samples of a layer file and the pyramid built from them directly.
std::vector<unsigned char> DirectCache(const std::string& path, double lo, double hi)
{
    CRDPLayer layer;
    EXPECT_NE(layer.OpenLayer(path.c_str(), 0), nullptr);
    const int64_t size = GetViewerTempSize(layer.Width(), layer.Height());
    std::vector<unsigned char> bytes(size_t(kDisplayHistogramSize + size));
    CDisplayPyramid pyramid;
    EXPECT_EQ(pyramid.Build(bytes.data() + kDisplayHistogramSize, layer.Pixels(), layer.Width(), layer.Height(),
                            layer.RowSize(), layer.Type(), 0, lo, hi, nullptr),
              1);
    return bytes;
}

TEST_F(ViewFixture, CacheIsBuiltReusedOrRebuilt)
{
    const std::string temp = File("cache");
    fs::create_directories(temp);
    constexpr int W = 700, H = 300;
    const auto sample = [](int x, int y, int) { return double((x * 7 + y * 13) % 4000); };
    enum Setup {
        Nothing,
        SameK,
        OtherK,
        Stale,
        Short,
        Long
    };
    struct Case {
        const char* label;
        Setup setup;
        bool blockBeside;  // a folder takes the name beside the source
        bool reused;
    } cases[] = {
        {"no cache: a job builds one", Nothing, false, false},
        {"same k: reused at once", SameK, false, true},
        {"same k in TempDir: reused", SameK, true, true},
        {"source touched since: rebuilt", Stale, false, false},
        {"changed k beside: rebuilt", OtherK, false, false},
        {"changed k in TempDir: rebuilt", OtherK, true, false},
        {"short cache: rebuilt", Short, false, false},
        {"long cache: rebuilt", Long, false, false},
        {"beside blocked: built in TempDir", Nothing, true, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string dir = File("s" + std::to_string(n++));
        fs::create_directories(dir);
        const std::string path = dir + "/img.rdp";
        WriteLayer(path, W, H, UINT16, sample);
        SetTempDir(temp);
        if (c.blockBeside)
            fs::create_directories(CacheNameBeside(path, 0));
        const std::string expectedCache = c.blockBeside ? CacheNameInTempDir(temp, path, 0) : CacheNameBeside(path, 0);

        NoticeWindow notify;
        plat::StatusBar bar;
        if (c.setup != Nothing) {
            CRasterView first;
            ASSERT_EQ(first.OpenLayer(1, notify.handle, path.c_str(), 0, 2.0, c.setup == OtherK ? 0 : 2, nullptr, {}),
                      1);
            ASSERT_TRUE(notify.WaitFor(1));
            ASSERT_EQ(first.GetCacheName(), expectedCache);
        }
        if (c.setup == Stale)
            SetTime(path, std::time(nullptr) - 1000);
        if (c.setup == Short || c.setup == Long) {
            fs::resize_file(expectedCache, fs::file_size(expectedCache) + (c.setup == Short ? -1 : 1));
        }
        const ino_t before = Inode(expectedCache);
        notify.notices.clear();

        CRasterView view;
        ASSERT_EQ(view.OpenLayer(9, notify.handle, path.c_str(), 0, 2.0, 2, nullptr, bar.Handle()), 1);
        EXPECT_EQ(view.IsBusy(), c.reused ? 0 : 1);
        EXPECT_EQ(bar.Text(0), c.reused ? "Building histogram ..." : "Preparing raster ...");
        ASSERT_TRUE(notify.WaitFor(1));
        EXPECT_EQ(notify.notices[0], std::make_pair(9, 2));
        EXPECT_EQ(view.IsBusy(), 0);
        EXPECT_EQ(view.GetCacheName(), expectedCache);
        // A rebuilt cache may get the freed inode number again: busy above tells a build.
        if (c.reused)
            EXPECT_EQ(Inode(expectedCache), before);

        // Header, histogram and levels as a pyramid built directly.
        const std::vector<unsigned char> cache = ReadAll(expectedCache);
        ASSERT_EQ(int64_t(cache.size()), DisplayCacheLength(W, H));
        const CTempInfoStruct header = CTempInfoStruct::Load(cache.data());
        EXPECT_EQ(header.m_flag, 2.0);
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(int32_t(header.m_time), int32_t(st.st_mtim.tv_sec));
        const std::vector<unsigned char> direct = DirectCache(path, view.GetRangeMin(1), view.GetRangeMax(1));
        EXPECT_TRUE(std::equal(direct.begin(), direct.end(), cache.begin() + kDisplayCacheHeaderSize));
        EXPECT_EQ(std::memcmp(view.GetHistAddr(1), direct.data(), kDisplayHistogramSize), 0);
        EXPECT_EQ(FindTMPFile(path, 0), expectedCache);
        // No stray cache is left in the other place.
        if (c.blockBeside)
            EXPECT_TRUE(fs::is_directory(CacheNameBeside(path, 0)));
        else
            EXPECT_FALSE(fs::exists(CacheNameInTempDir(temp, path, 0)));
    }
}

TEST_F(ViewFixture, EquallyNamedFilesOfTwoFoldersKeepTheirOwnCachesInTempDir)
{
    const std::string temp = File("cache");
    fs::create_directories(temp);
    SetTempDir(temp);
    const std::string a = File("a/img.rdp"), b = File("b/img.rdp");
    fs::create_directories(File("a"));
    fs::create_directories(File("b"));
    WriteLayer(a, 64, 64, UINT8, [](int x, int, int) { return double(x); });
    WriteLayer(b, 64, 64, UINT8, [](int, int y, int) { return double(255 - y); });
    // Same time on both: only the name keeps them apart.
    SetTime(a, 1700000000);
    SetTime(b, 1700000000);
    fs::create_directories(CacheNameBeside(a, 0));
    fs::create_directories(CacheNameBeside(b, 0));

    NoticeWindow notify;
    std::vector<unsigned char> firstA;
    for (const std::string& path : {a, b}) {
        CRasterView view;
        ASSERT_EQ(view.OpenLayer(0, notify.handle, path.c_str(), 0, 2.0, 1, nullptr, {}), 1);
        ASSERT_TRUE(notify.WaitFor(notify.notices.size() + 1));
        EXPECT_EQ(view.GetCacheName(), CacheNameInTempDir(temp, path, 0));
        if (path == a)
            firstA = ReadAll(view.GetCacheName());
    }
    EXPECT_NE(CacheNameInTempDir(temp, a, 0), CacheNameInTempDir(temp, b, 0));
    CRasterView again;
    ASSERT_EQ(again.OpenLayer(0, notify.handle, a.c_str(), 0, 2.0, 1, nullptr, {}), 1);
    EXPECT_EQ(again.IsBusy(), 0);
    EXPECT_EQ(ReadAll(again.GetCacheName()), firstA);
    uint8_t level0[64];
    ASSERT_EQ(again.GetRegion(level0, 64, 0, 0, 64, 1, 1.0, 0, 1, 0, nullptr), 1);
    EXPECT_EQ(level0[10], 10);  // a's ramp along x, not b's
}

TEST_F(ViewFixture, NoPlaceForTheCacheRefusesTheLayer)
{
    const std::string path = File("img.rdp");
    WriteLayer(path, 32, 32, UINT8, [](int x, int, int) { return double(x); });
    fs::create_directories(CacheNameBeside(path, 0));
    NoticeWindow notify;
    CRasterView view;
    EXPECT_EQ(view.OpenLayer(0, notify.handle, path.c_str(), 0, 2.0, 0, nullptr, {}), 0);  // no TempDir
    EXPECT_EQ(view.IsBusy(), 0);
    SetTempDir(File("missing-folder"));
    CRasterView other;
    EXPECT_EQ(other.OpenLayer(0, notify.handle, path.c_str(), 0, 2.0, 0, nullptr, {}), 0);
    EXPECT_TRUE(WaitForNoJobs());
    EXPECT_TRUE(notify.notices.empty());
}

// ---- failures of the job ---------------------------------------------------

TEST_F(ViewFixture, AFailingBuildClearsBusyRemovesTheCacheAndPostsFailed)
{
    // The meter fails on the GUI thread and the job learns it at its next report: the
    // layer is large enough that the build still runs then, even on a loaded machine.
    const std::string path = File("big.rdp");
    WriteLayer(path, 4000, 4000, UINT8, [](int x, int y, int) { return double((x ^ y) & 255); });
    NoticeWindow notify;
    ThrowingMeter meter;
    meter.throwAt = 2;
    CRasterView view;
    ASSERT_EQ(view.OpenLayer(4, notify.handle, path.c_str(), 0, 2.0, 0, &meter, {}), 1);
    ASSERT_TRUE(notify.WaitFor(1));
    EXPECT_EQ(notify.notices[0], std::make_pair(4, 3));
    EXPECT_EQ(view.IsBusy(), 0);
    EXPECT_EQ(meter.ranges, 1);
    EXPECT_GE(meter.steps, 2);
    EXPECT_FALSE(fs::exists(CacheNameBeside(path, 0)));
    EXPECT_EQ(FindTMPFile(path, 0), "");
    uint8_t out[4];
    EXPECT_EQ(view.GetRegion(out, 4, 0, 0, 4, 1, 1.0, 0, 1, 0, nullptr), 0);
}

// An 8-bit layer whose display cache passes 2 GB opens: the cache is made and its
// build starts. The layer is a sparse file and the build is stopped at its first
// report, so the test reads and writes little.
TEST_F(ViewFixture, ALayerWhoseCachePassesTwoGigabytesOpens)
{
    const int w = 41000, h = 41000;
    ASSERT_GT(DisplayCacheLength(w, h), std::int64_t(INT_MAX));
    const std::int64_t pixels = std::int64_t(w) * h;
    const std::string path = File("huge.rdp");
    {
        std::vector<std::int32_t> head = {0, 3, 0,           // "RDPR" replaced below, version, reserved
                                          0, 32, 0, 1, 0,    // the layer record
                                          0, 44, 68,         // tag 0
                                          24, w, h, UINT8, 0, 1,
                                          1, 80, std::int32_t(88 + pixels),  // tag 1, then the length word
                                          std::int32_t(pixels + 4)};
        std::vector<unsigned char> bytes(head.size() * 4);
        std::memcpy(bytes.data(), head.data(), bytes.size());
        std::memcpy(bytes.data(), "RDPR", 4);
        StatisticsTag stats{};
        stats.length = sizeof stats;
        stats.computed = 1;
        stats.maximum = 255;
        stats.deviation = 50;
        stats.mean = 100;
        stats.histogram[100] = std::uint32_t(pixels);
        const RDPTagHeader tag2{kTagStatistics, std::int32_t(88 + pixels + 12), 0};
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.seekp(std::streamoff(88 + pixels));
        out.write(reinterpret_cast<const char*>(&tag2), sizeof tag2);
        out.write(reinterpret_cast<const char*>(&stats), sizeof stats);
        ASSERT_TRUE(out.good());
    }
    NoticeWindow notify;
    ThrowingMeter meter;
    meter.throwAt = 1;
    CRasterView view;
    ASSERT_EQ(view.OpenLayer(0, notify.handle, path.c_str(), 0, 2.0, 0, &meter, {}), 1);
    ASSERT_TRUE(notify.WaitFor(1));
    EXPECT_EQ(notify.notices[0], std::make_pair(0, 3));  // stopped, as asked
    EXPECT_EQ(view.GetWidth(), w);
    EXPECT_EQ(view.GetHeight(), h);
    EXPECT_FALSE(fs::exists(CacheNameBeside(path, 0)));
}

TEST_F(ViewFixture, AViewClosedDuringItsBuildLeavesNoCacheAndNoNotice)
{
    const std::string path = File("big.rdp");
    WriteLayer(path, 4000, 3000, UINT8, [](int x, int y, int) { return double((x + y) & 255); });
    NoticeWindow notify;
    plat::StatusBar bar;
    CStatusMeter meter;
    meter.SetProgressCtrl(bar.Progress()->Handle());
    auto view = std::make_unique<CRasterView>();
    ASSERT_EQ(view->OpenLayer(0, notify.handle, path.c_str(), 0, 2.0, 0, &meter, bar.Handle()), 1);
    EXPECT_EQ(view->IsBusy(), 1);
    view.reset();
    EXPECT_TRUE(WaitForNoJobs());
    EXPECT_TRUE(notify.notices.empty());
    EXPECT_EQ(FindTMPFile(path, 0), "");
    EXPECT_FALSE(fs::exists(CacheNameBeside(path, 0)));
}

// ---- buffers and channel files -----------------------------------------------

TEST_F(ViewFixture, BufferLayersBuildIntoTheCallersBlock)
{
    constexpr int W = 300, H = 200;
    std::vector<float> pixels(size_t(W) * H);
    for (int i = 0; i < W * H; ++i)
        pixels[size_t(i)] = float(i % 1000) * 0.5f;
    std::vector<unsigned char> block(size_t(kDisplayHistogramSize + GetViewerTempSize(W, H)));
    unsigned char* levels = block.data() + kDisplayHistogramSize;
    PalitraTag palette;
    for (int i = 0; i < 256; ++i)
        palette.entries[i][0] = uint8_t(255 - i);

    NoticeWindow notify;
    CRasterView refused;
    EXPECT_EQ(
        refused.OpenBuffer(0, notify.handle, "x", pixels.data(), W, H, CFLOAT32, levels, nullptr, 0, 1, nullptr, {}),
        0);
    EXPECT_EQ(refused.OpenBuffer(0, notify.handle, "x", nullptr, W, H, FLOAT32, levels, nullptr, 0, 1, nullptr, {}), 0);
    EXPECT_EQ(
        refused.OpenBuffer(0, notify.handle, "x", pixels.data(), W, H, FLOAT32, nullptr, nullptr, 0, 1, nullptr, {}),
        0);

    CRasterView view;
    ASSERT_EQ(view.OpenBuffer(3, notify.handle, "buffer", pixels.data(), W, H, FLOAT32, levels, &palette, 0.0, 499.5,
                              nullptr, {}),
              1);
    ASSERT_TRUE(notify.WaitFor(1));
    EXPECT_EQ(notify.notices[0], std::make_pair(3, 2));
    EXPECT_EQ(view.GetLayerName(), "buffer");
    EXPECT_EQ(view.GetFileName(1), "");
    EXPECT_EQ(view.Mean(1), 249.75);
    EXPECT_EQ(view.GetCacheName(), "");
    EXPECT_EQ(view.DisplayPalette().entries[10][0], 245);

    std::vector<unsigned char> direct(block.size());
    CDisplayPyramid pyramid;
    ASSERT_EQ(pyramid.Build(direct.data() + kDisplayHistogramSize, pixels.data(), W, H, W * 4, FLOAT32, 0, 0.0, 499.5,
                            nullptr),
              1);
    EXPECT_EQ(block, direct);
    EXPECT_EQ(std::memcmp(view.GetHistAddr(1), block.data(), kDisplayHistogramSize), 0);
}

TEST_F(ViewFixture, ChannelFilesArePreparedOnTheCallingThread)
{
    const std::string path = File("chan.rdp");
    WriteLayer(path, 400, 300, UINT8, [](int x, int y, int) { return double((x * y) % 200 + 20); });
    plat::StatusBar bar;
    uint32_t statsHistogram[256];
    {
        CRasterView view;
        ASSERT_EQ(view.PrepareFile(path.c_str(), nullptr, bar.Handle()), 1);
        EXPECT_EQ(view.IsBusy(), 0);
        EXPECT_EQ(bar.Text(0), "Preparing raster ...");
        EXPECT_EQ(view.GetRangeMin(1), 0.0);  // UINT8 shows 0..255
        EXPECT_EQ(view.GetRangeMax(1), 255.0);
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(path.c_str(), 0), nullptr);
        EXPECT_EQ(std::memcmp(view.GetHistAddr(1), layer.HistAdr(), 1024), 0);
        std::memcpy(statsHistogram, layer.HistAdr(), 1024);
        EXPECT_EQ(FindTMPFile(path, 0), CacheNameBeside(path, 0));
        EXPECT_EQ(view.GetLayerName(), "");
    }
    CRasterView again;
    ASSERT_EQ(again.PrepareFile(path.c_str(), nullptr, bar.Handle()), 1);
    EXPECT_EQ(bar.Text(0), "Building histogram ...");
    const std::vector<unsigned char> cache = ReadAll(CacheNameBeside(path, 0));
    EXPECT_EQ(std::memcmp(again.GetHistAddr(1), cache.data() + kDisplayCacheHeaderSize, 1024), 0);

    // A cancelled build leaves no cache behind.
    fs::remove(CacheNameBeside(path, 0));
    ThrowingMeter meter;
    meter.throwAt = 1;
    CRasterView failing;
    EXPECT_EQ(failing.PrepareFile(path.c_str(), &meter, {}), 0);
    EXPECT_EQ(failing.IsBusy(), 0);
    EXPECT_FALSE(fs::exists(CacheNameBeside(path, 0)));
}

TEST_F(ViewFixture, AnswersOfAnOpenedLayer)
{
    const std::string path = File("dir.with.dots/layer.rdp");
    fs::create_directories(File("dir.with.dots"));
    WriteLayer(path, 50, 40, UINT16, [](int x, int y, int) { return double(x * 40 + y); });
    NoticeWindow notify;
    CRasterView view;
    EXPECT_EQ(view.GetKind(), 1);
    EXPECT_EQ(view.GetColorMode(), 1);
    ASSERT_EQ(view.OpenLayer(0, notify.handle, path.c_str(), 0, 2.0, 1, nullptr, {}), 1);
    ASSERT_TRUE(notify.WaitFor(1));
    EXPECT_EQ(view.GetLayerName(), "layer.rdp");
    EXPECT_EQ(view.GetFileName(1), path);
    EXPECT_EQ(view.GetWidth(), 50);
    EXPECT_EQ(view.GetHeight(), 40);
    EXPECT_EQ(view.GetStringTypeData(1), "Unsigned integer");
    EXPECT_EQ(view.GetStringSizePixel(1), "16 bits");
    EXPECT_EQ(view.Min(1), 0.0);
    EXPECT_EQ(view.Max(1), 49.0 * 40 + 39);
    EXPECT_EQ(view.GetLayer()->Width(), 50);
    EXPECT_EQ(CacheNameBeside(path, 0), File("dir.with.dots/layer.tmp"));
    // A grey palette when the file has none.
    EXPECT_EQ(view.DisplayPalette().entries[77][1], 77);
    for (int channel : {0, 3, 4, 5}) {
        EXPECT_EQ(view.GetHistAddr(channel), nullptr);
        EXPECT_EQ(view.GetRangeMin(channel), 0.0);
        EXPECT_EQ(view.Min(channel), 0.0);
        EXPECT_EQ(view.GetFileName(channel), "");
        EXPECT_EQ(view.GetStringTypeData(channel), "");
    }
}

}  // namespace
