#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "FakeMeter.h"
#include "RdpFileBuilder.h"
#include "format/RowConvert.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"

namespace {

using rdptest::Bytes;
using rdptest::CauseOf;

using testsupport::FakeMeter;

// A temporary UINT8 layer whose sample at (x, y) is 1 + x + 16 y.
void Numbered(CRDPLayer& layer, int w, int h)
{
    ASSERT_NE(layer.CreateTempLayer(w, h, UINT8), nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<unsigned char*>(layer.Rows()[y])[x] = static_cast<unsigned char>(1 + x + 16 * y);
}

int At(const CRDPLayer& layer, int x, int y)
{
    return static_cast<const unsigned char*>(layer.Rows()[y])[x];
}

TEST(RDPLayerReadData, WindowsAreCutToBothLayers)
{
    struct Case {
        const char* what;
        int srcW, srcH, dstW, dstH;
        CPoint src, dst;
        CSize size;
        int cols, rows;  // the window copied: dst (dst.x + i, dst.y + j) = src (src.x + i, src.y + j)
    };
    const Case kCases[] = {
        {"inside both", 8, 6, 8, 6, {1, 2}, {3, 1}, {4, 3}, 4, 3},
        {"whole destination from (2, 1)", 8, 6, 5, 4, {2, 1}, {0, 0}, {-1, 99}, 5, 4},
        {"whole destination cut at the source's edges", 8, 6, 5, 4, {5, 3}, {0, 0}, {-1, 0}, 3, 3},
        {"three columns past the destination's right edge", 10, 4, 6, 4, {0, 0}, {3, 0}, {6, 2}, 3, 2},
        {"past the destination's bottom", 4, 10, 4, 5, {0, 2}, {0, 3}, {4, 6}, 4, 2},
        {"past both", 5, 5, 5, 5, {3, 3}, {1, 1}, {9, 9}, 2, 2},
        {"source start beyond its width", 5, 5, 5, 5, {5, 0}, {0, 0}, {2, 2}, 0, 0},
        {"destination start beyond its height", 5, 5, 5, 5, {0, 0}, {0, 5}, {2, 2}, 0, 0},
        {"empty size", 5, 5, 5, 5, {0, 0}, {0, 0}, {0, 3}, 0, 0},
        {"negative size", 5, 5, 5, 5, {0, 0}, {0, 0}, {-3, 3}, 0, 0},
        {"huge size and start do not overflow", 5, 5, 5, 5, {INT_MAX, 0}, {0, 0}, {INT_MAX, INT_MAX}, 0, 0},
        {"huge size from the origin", 5, 5, 4, 3, {1, 1}, {0, 0}, {INT_MAX, INT_MAX}, 4, 3},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        CRDPLayer src, dst;
        Numbered(src, c.srcW, c.srcH);
        ASSERT_NE(dst.CreateTempLayer(c.dstW, c.dstH, UINT8), nullptr);
        std::memset(dst.Pixels(), 0, size_t(dst.TotalSize()));
        EXPECT_EQ(dst.ReadData(&src, c.src, c.dst, c.size), 1);
        for (int y = 0; y < c.dstH; ++y)
            for (int x = 0; x < c.dstW; ++x) {
                const int i = x - c.dst.x, j = y - c.dst.y;
                const bool inside = i >= 0 && j >= 0 && i < c.cols && j < c.rows;
                EXPECT_EQ(At(dst, x, y), inside ? At(src, c.src.x + i, c.src.y + j) : 0) << x << "," << y;
            }
    }
}

TEST(RDPLayerReadData, RefusalsTouchNothing)
{
    CRDPLayer src, dst, unbound;
    Numbered(src, 4, 4);
    ASSERT_NE(dst.CreateTempLayer(4, 4, UINT8), nullptr);
    std::memset(dst.Pixels(), 0, 16);
    const Bytes zero(16, 0);
    struct Case {
        const char* what;
        CPoint src, dst;
    };
    const Case kNegative[] = {{"source x", {-1, 0}, {0, 0}},
                              {"source y", {0, -1}, {0, 0}},
                              {"destination x", {0, 0}, {-2, 0}},
                              {"destination y", {0, 0}, {0, -1}}};
    for (const auto& c : kNegative) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CauseOf([&] { dst.ReadData(&src, c.src, c.dst, {2, 2}); }), RDP_NEGATIVE_COORD);
        EXPECT_EQ(std::memcmp(dst.Pixels(), zero.data(), 16), 0);
    }
    EXPECT_EQ(CauseOf([&] { dst.ReadData(&unbound, {0, 0}, {0, 0}, {2, 2}); }), RDP_EMPTY_LAYER);
    EXPECT_EQ(CauseOf([&] { dst.ReadData(nullptr, {0, 0}, {0, 0}, {2, 2}); }), RDP_EMPTY_LAYER);
    EXPECT_EQ(CauseOf([&] { unbound.ReadData(&src, {0, 0}, {0, 0}, {2, 2}); }), RDP_EMPTY_LAYER);
    EXPECT_EQ(std::memcmp(dst.Pixels(), zero.data(), 16), 0);

    // A destination bound read-only is refused rather than written through.
    rdptest::TempDir dir;
    const std::string path = dir.File("ro.rdp");
    rdptest::RdpFileBuilder::Fresh(4, 4, UINT8).Save(path);
    CRDPLayer readOnly;
    ASSERT_NE(readOnly.OpenLayer(path.c_str(), 0), nullptr);
    ASSERT_FALSE(readOnly.IsWritable());
    EXPECT_EQ(CauseOf([&] { readOnly.ReadData(&src, {0, 0}, {0, 0}, {2, 2}); }), RDP_MEMORY);
    EXPECT_EQ(rdptest::Load(path), rdptest::RdpFileBuilder::Fresh(4, 4, UINT8).bytes);
}

TEST(RDPLayerReadData, EveryTypePairConvertsEachRowOfTheWindow)
{
    // Rows of different widths and sample sizes: every pair must take its rows at
    // the right strides; the rules themselves are checked with the row converters.
    for (int s = 1; s <= 16; ++s)
        for (int d = 1; d <= 16; ++d) {
            SCOPED_TRACE(testing::Message() << GetDataTypeName(s, 1) << " to " << GetDataTypeName(d, 1));
            CRDPLayer src, dst;
            ASSERT_NE(src.CreateTempLayer(7, 5, s), nullptr);
            ASSERT_NE(dst.CreateTempLayer(6, 4, d), nullptr);
            for (std::int64_t i = 0; i < src.TotalSize(); ++i)
                src.Pixels()[i] = static_cast<unsigned char>(i * 37 + 11);
            std::memset(dst.Pixels(), 0xEE, size_t(dst.TotalSize()));
            ASSERT_EQ(dst.ReadData(&src, {2, 1}, {1, 2}, {9, 9}), 1);

            const int ss = src.SampleSize(), ds = dst.SampleSize();
            Bytes want(size_t(dst.TotalSize()), 0xEE);
            const auto convert = sample::GetRowConverter(s, d);
            for (int j = 0; j < 2; ++j)  // rows 1, 2 of the source land on rows 2, 3
                convert(src.Pixels() + (1 + j) * src.RowSize() + 2 * ss, want.data() + (2 + j) * dst.RowSize() + 1 * ds,
                        5);
            EXPECT_EQ(Bytes(dst.Pixels(), dst.Pixels() + dst.TotalSize()), want);
        }
}

TEST(RDPLayerReadData, ComplexSamplesThroughLayers)
{
    CRDPLayer src, dst;
    ASSERT_NE(src.CreateTempLayer(2, 1, CSINT16), nullptr);
    const std::int16_t samples[4] = {3, -4, 0, 0};
    std::memcpy(src.Pixels(), samples, sizeof samples);
    ASSERT_NE(dst.CreateTempLayer(2, 1, UINT8), nullptr);
    dst.ReadData(&src, {0, 0}, {0, 0}, {-1, 0});
    EXPECT_EQ(At(dst, 0, 0), 5);
    CRDPLayer f;
    ASSERT_NE(f.CreateTempLayer(2, 1, CFLOAT32), nullptr);
    f.ReadData(&src, {0, 0}, {0, 0}, {-1, 0});
    float out[4];
    std::memcpy(out, f.Pixels(), sizeof out);
    EXPECT_EQ(out[0], 3.0f);
    EXPECT_EQ(out[1], -4.0f);
}

TEST(RDPLayerReadData, ProgressCoversTheSourceRowsAndIsRestored)
{
    CRDPLayer src, dst;
    Numbered(src, 4, 30);
    FakeMeter meter;
    CRDPLayer target(&meter);
    ASSERT_NE(target.CreateTempLayer(4, 30, UINT8), nullptr);
    ASSERT_EQ(target.ReadData(&src, {0, 10}, {0, 0}, {4, 10}), 1);
    ASSERT_EQ(meter.ranges.size(), 2u);
    EXPECT_EQ(meter.ranges[0], (std::pair<double, double>{10, 19}));
    const std::vector<double> reported(meter.positions.begin(), meter.positions.end() - 1);
    std::vector<double> want;
    for (int r = 10; r <= 19; ++r)
        want.push_back(r);
    EXPECT_EQ(reported, want);
    EXPECT_EQ(meter.lo, 0);
    EXPECT_EQ(meter.hi, 100);
    EXPECT_EQ(meter.pos, 40);

    // One row: the range is left alone.
    FakeMeter one;
    target.SetMeterInfo(&one);
    ASSERT_EQ(target.ReadData(&src, {0, 7}, {0, 0}, {4, 1}), 1);
    EXPECT_EQ(one.ranges.size(), 1u);  // only the restoring
    EXPECT_EQ(one.positions.front(), 7);
}

// A copy large enough for the parallel loop gives every row as a row by row
// copy does, reports only growing positions on the caller's thread and ends on
// the last source row.
TEST(RDPLayerReadData, LargeCopiesIntoAnotherLayerRunInParallelAndStayExact)
{
    const int W = 1500, H = 1200;
    CRDPLayer src;
    ASSERT_NE(src.CreateTempLayer(W, H, UINT16), nullptr);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint16_t v = uint16_t(x * 7 + y * 13);
            std::memcpy(static_cast<unsigned char*>(src.Rows()[y]) + 2 * x, &v, 2);
        }
    FakeMeter meter;
    CRDPLayer dst(&meter);
    ASSERT_NE(dst.CreateTempLayer(W - 100, H - 5, FLOAT32), nullptr);
    ASSERT_EQ(dst.ReadData(&src, {100, 5}, {0, 0}, {-1, 0}), 1);
    for (int y = 0; y < H - 5; ++y)
        for (int x = 0; x < W - 100; ++x) {
            float v;
            std::memcpy(&v, static_cast<unsigned char*>(dst.Rows()[y]) + 4 * x, 4);
            ASSERT_EQ(v, float(uint16_t((x + 100) * 7 + (y + 5) * 13))) << x << ", " << y;
        }
    ASSERT_GE(meter.positions.size(), 2u);
    const std::vector<double> reported(meter.positions.begin(), meter.positions.end() - 1);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_EQ(reported.back(), H - 1);
    EXPECT_EQ(meter.pos, 40);  // restored
}

TEST(RDPLayerReadData, CancellingStopsAfterTheRowsCopiedSoFar)
{
    CRDPLayer src;
    Numbered(src, 3, 6);
    FakeMeter meter;
    meter.failAt = 3;  // the third report throws
    CRDPLayer dst(&meter);
    ASSERT_NE(dst.CreateTempLayer(3, 6, UINT8), nullptr);
    std::memset(dst.Pixels(), 0, 18);
    EXPECT_EQ(CauseOf([&] { dst.ReadData(&src, {0, 0}, {0, 0}, {-1, 0}); }), RDP_CANCEL);
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(At(dst, 1, y), y < 3 ? At(src, 1, y) : 0) << y;
    EXPECT_EQ(meter.lo, 0);  // not restored after a cancel
    EXPECT_EQ(meter.hi, 5);
}

TEST(RDPLayerReadData, AWindowMovedWithinItsOwnLayerIsCopiedWhole)
{
    struct Case {
        CPoint src, dst;
    };
    const Case kCases[] = {{{0, 0}, {1, 1}}, {{1, 1}, {0, 0}}, {{0, 0}, {2, 0}},
                           {{2, 0}, {0, 0}}, {{0, 0}, {0, 1}}, {{1, 0}, {0, 2}}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.src.x << "," << c.src.y << " to " << c.dst.x << "," << c.dst.y);
        CRDPLayer layer, copy;
        Numbered(layer, 6, 5);
        Numbered(copy, 6, 5);
        ASSERT_EQ(layer.ReadData(&layer, c.src, c.dst, {4, 3}), 1);
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(At(layer, c.dst.x + i, c.dst.y + j), At(copy, c.src.x + i, c.src.y + j)) << i << "," << j;
    }
}

}  // namespace
