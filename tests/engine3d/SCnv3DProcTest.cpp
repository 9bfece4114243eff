#include "engine3d/render/SCnv3DProc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// A small depth buffer and plane, rows of Width cells, for the span and line kernels.
struct Raster {
    static constexpr int Width = 6;
    static constexpr int Rows = 5;
    std::int32_t Z[Rows][Width];
    std::uint16_t V[Rows][Width];

    Raster()
    {
        for (auto& row : Z)
            for (auto& z : row)
                z = 1000;
        std::memset(V, 0xFF, sizeof V);
    }
    std::ptrdiff_t ZStride() const { return sizeof Z[0]; }
    std::ptrdiff_t VStride() const { return sizeof V[0]; }
    // Written cells as "x,y=value" in row order.
    std::vector<std::string> Written() const
    {
        std::vector<std::string> out;
        for (int y = 0; y < Rows; ++y)
            for (int x = 0; x < Width; ++x)
                if (V[y][x] != 0xFFFF)
                    out.push_back(std::to_string(x) + "," + std::to_string(y) + "=" + std::to_string(V[y][x]));
        return out;
    }
};

TSEdgeRow Row(std::int32_t XL, std::int32_t XR, std::int32_t ZL, std::int32_t ZR, std::int32_t VL, std::int32_t VR)
{
    return {XL, XR, ZL, ZR, VL, VR, 0, 0, 0, 0};
}

}  // namespace

TEST(SCnv3DProc, BlitsOrTableValuesCutToThePixel)
{
    const std::uint16_t src[2][3] = {{0, 1, 2}, {2, 1, 0}};
    std::vector<std::uint32_t> table(65536, 0);
    table[0] = 0x11223344;
    table[1] = 0x01020304;
    table[2] = 0x80808080;
    struct Case {
        int bytes;
        void (*blit)(const void*, void*, const std::uint32_t*, std::int32_t, std::int32_t, std::ptrdiff_t,
                     std::ptrdiff_t);
        std::vector<std::uint8_t> row0;  // first destination row, with its padding
    };
    const Case cases[] = {
        {1, &BlitIndices8, {0x44, 0x04, 0x80, 0xAA}},
        {2, &BlitIndices16, {0x44, 0x33, 0x04, 0x03, 0x80, 0x80, 0xAA}},
        {3, &BlitIndices24, {0x44, 0x33, 0x22, 0x04, 0x03, 0x02, 0x80, 0x80, 0x80, 0xAA}},
        {4, &BlitIndices32, {0x44, 0x33, 0x22, 0x11, 0x04, 0x03, 0x02, 0x01, 0x80, 0x80, 0x80, 0x80, 0xAA}},
    };
    for (const Case& c : cases) {
        const std::ptrdiff_t stride = 3 * c.bytes + 1;
        std::vector<std::uint8_t> dst(2 * stride, 0);
        dst[3 * c.bytes] = 0xAA;  // padding after the first row
        c.blit(src, dst.data(), table.data(), 3, 2, sizeof src[0], stride);
        EXPECT_EQ(std::vector<std::uint8_t>(dst.begin(), dst.begin() + stride), c.row0) << c.bytes;
        // OR-ed, never overwritten: a second blit of the same table changes nothing.
        const auto once = dst;
        c.blit(src, dst.data(), table.data(), 3, 2, sizeof src[0], stride);
        EXPECT_EQ(dst, once) << c.bytes;
        // Width 0 or no rows: nothing.
        std::vector<std::uint8_t> untouched(2 * stride, 0x5A);
        c.blit(src, untouched.data(), table.data(), 0, 2, sizeof src[0], stride);
        c.blit(src, untouched.data(), table.data(), 3, 0, sizeof src[0], stride);
        EXPECT_EQ(untouched, std::vector<std::uint8_t>(2 * stride, 0x5A)) << c.bytes;
    }
}

TEST(SCnv3DProc, InterpolatePairs)
{
    const TSIntPair rising[] = {{0, 0}, {10, 100}};
    const TSIntPair falling[] = {{0, 100}, {3, 0}};
    const TSIntPair many[] = {{0, 0}, {10, 10}, {20, 50}, {30, 50}, {40, 0}};
    struct Case {
        const TSIntPair* pairs;
        std::int32_t count;
        std::int32_t x;
        std::int32_t y;
    };
    const Case cases[] = {
        {rising, 1, 5, 0},    {rising, 0, 5, 0},   {rising, 2, -5, 0},  {rising, 2, 3, 30}, {rising, 2, 10, 100},
        {rising, 2, 20, 100}, {falling, 2, 1, 67}, {falling, 2, 2, 34}, {many, 5, 20, 50},  {many, 5, 15, 30},
        {many, 5, 35, 25},    {many, 5, 39, 5},    {many, 5, 10, 10},   {many, 5, 1, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InterpolatePairs(c.x, c.pairs, c.count), c.y) << c.x << " of " << c.count;
}

TEST(SCnv3DProc, FillLinearRun)
{
    struct Case {
        std::int32_t x1, y1, x2, y2;
        std::vector<std::int32_t> expected;  // entries 0..6; -1 untouched
    };
    const Case cases[] = {
        {5, 7, 5, 10, {-1, -1, -1, -1, -1, 8, -1}},   {0, 0, 1, 65535, {0, 65535, -1, -1, -1, -1, -1}},
        {4, 10, 0, 0, {0, 3, 5, 8, 10, -1, -1}},      {1, 10, 6, 0, {-1, 10, 8, 6, 4, 2, 0}},
        {2, -3, 2, -4, {-1, -1, -4, -1, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        std::vector<std::int32_t> arr(7, -1);
        FillLinearRun(arr.data(), c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(arr, c.expected) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
}

TEST(SCnv3DProc, ScatterChannelBits)
{
    TSBitMasks masks = {};
    masks[0] = 0x100;
    masks[8] = 0x1;
    masks[15] = 0x80000001;
    const std::uint32_t src[] = {0x0001, 0x0100, 0x8101, 0xFFFF0000};
    std::uint32_t dst[] = {0x10, 0, 0, 7};
    ScatterChannelBits(src, dst, masks, 4);
    EXPECT_EQ(dst[0], 0x110u);
    EXPECT_EQ(dst[1], 0x1u);
    EXPECT_EQ(dst[2], 0x80000101u);
    EXPECT_EQ(dst[3], 7u);  // bits 16..31 of the source are ignored
    ScatterChannelBits(src, dst, masks, 0);
    EXPECT_EQ(dst[0], 0x110u);
}

TEST(SCnv3DProc, StepEdgeColumnWalksToTheLastRow)
{
    struct Case {
        std::int32_t count, v1, v2;
        std::vector<std::int32_t> expected;  // X field of 4 rows; 99 untouched
    };
    const Case cases[] = {
        {0, 5, 9, {99, 99, 99, 99}}, {1, 5, 9, {5, 99, 99, 99}}, {3, 0, 3, {0, 2, 3, 99}},
        {4, 7, 7, {7, 7, 7, 7}},     {4, 3, 0, {3, 2, 1, 0}},    {2, -1, 100, {-1, 100, 99, 99}},
        {4, 0, 10, {0, 3, 7, 10}},   {3, 10, 0, {10, 5, 0, 99}},
    };
    for (const Case& c : cases) {
        TSEdgeRow rows[4];
        for (auto& r : rows)
            r = Row(99, 99, 99, 99, 99, 99);
        StepEdgeColumn(&rows[0].XL, c.count, c.v1, c.v2);
        std::vector<std::int32_t> got;
        for (const auto& r : rows) {
            got.push_back(r.XL);
            EXPECT_EQ(r.XR, 99);
        }
        EXPECT_EQ(got, c.expected) << c.count << ": " << c.v1 << ".." << c.v2;
    }
    // Any walk ends on its last value, across the whole int32 range too.
    const std::int32_t ends[][2] = {{INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, {-7, 1000003}, {12, 11}};
    for (const auto& e : ends)
        for (std::int32_t count : {2, 3, 7, 64, 1000}) {
            std::vector<TSEdgeRow> rows(count);
            StepEdgeColumn(&rows[0].ZR, count, e[0], e[1]);
            EXPECT_EQ(rows.front().ZR, e[0]);
            EXPECT_EQ(rows.back().ZR, e[1]) << count;
        }
}

TEST(SCnv3DProc, ClipCanvasPoint)
{
    const TSCanvasPoint a{0, 0, 100, 0, 1000, -50};
    const TSCanvasPoint b{10, 20, 200, 30, 1000, 50};
    TSCanvasPoint out{};
    ClipCanvasPoint(&a, &b, &out, 0, 5);
    EXPECT_EQ(out.X, 5);
    EXPECT_EQ(out.Y, 10);
    EXPECT_EQ(out.Z, 150);
    EXPECT_EQ(out.C1, 15);
    EXPECT_EQ(out.C2, 1000);
    EXPECT_EQ(out.C3, 0);
    // Along Y; Out may be an input (every field is read before it is written).
    TSCanvasPoint alias = b;
    ClipCanvasPoint(&a, &alias, &alias, 1, 5);
    EXPECT_EQ(alias.X, 2);  // 10 * 5 / 20, truncated
    EXPECT_EQ(alias.Y, 5);
    EXPECT_EQ(alias.Z, 125);
    // Both ends on the clip column: only X changes.
    const TSCanvasPoint c{4, 1, 2, 3, 4, 5};
    TSCanvasPoint same = c;
    ClipCanvasPoint(&c, &c, &same, 0, 9);
    EXPECT_EQ(same.X, 9);
    EXPECT_EQ(same.Y, 1);
    EXPECT_EQ(same.C3, 5);
    // Far vertices: the products do not overflow.
    const TSCanvasPoint far1{-0x40000000, -0x40000000, 1, 0, 0, 0};
    const TSCanvasPoint far2{0x40000000, 0x40000000, 0x40000001, 32768, 0, 0};
    ClipCanvasPoint(&far1, &far2, &out, 0, 0);
    EXPECT_EQ(out.Y, 0);
    EXPECT_EQ(out.Z, 0x20000001);
    EXPECT_EQ(out.C1, 16384);
    // Truncation toward zero on a falling field.
    const TSCanvasPoint d{0, 0, 0, 0, 0, 0};
    const TSCanvasPoint e{3, -10, 0, 0, 0, 0};
    ClipCanvasPoint(&d, &e, &out, 0, 1);
    EXPECT_EQ(out.Y, -3);
}

TEST(SCnv3DProc, MixChannelsWrapsIn32Bits)
{
    struct Case {
        std::int32_t k[3];
        TSCanvasPoint p;
        std::int32_t expected;
    };
    const Case cases[] = {
        {{0x100000, 0, 0}, {0, 0, 0, 2047, 5, 5}, 2047},
        {{0x100000, 0, 0}, {0, 0, 0, 0, 5, 5}, 0},
        {{0x80000, 0x80000, 0}, {0, 0, 0, 100, 300, 9}, 200},
        {{0x100000, 0, 0}, {0, 0, 0, 2048, 0, 0}, -2048},            // 2^31 reads as negative
        {{0x100000, 0x100000, 0}, {0, 0, 0, 2048, 2048, 0}, 0},      // 2^32 wraps to 0
        {{0x100000, 0x100000, 0x100000}, {0, 0, 0, 4096, 1, 1}, 2},  // 2^32 + 2^21 wraps to 2^21
        {{-0x100000, 0, 0}, {0, 0, 0, 3, 0, 0}, -3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MixChannels(c.k, &c.p), c.expected) << c.p.C1;
}

TEST(SCnv3DProc, CopyPointTwice)
{
    TSCanvasPoint a{}, b{};
    const TSCanvasPoint s{1, 2, 3, 4, 5, 6};
    CopyPointTwice(&a, &b, &s);
    EXPECT_EQ(std::memcmp(&a, &s, sizeof s), 0);
    EXPECT_EQ(std::memcmp(&b, &s, sizeof s), 0);
}

TEST(SCnv3DProc, Spans)
{
    struct Case {
        const char* name;
        bool smooth;
        std::vector<TSEdgeRow> rows;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"right of left draws nothing", true, {Row(3, 2, 5, 5, 7, 7)}, {}},
        {"one pixel takes the left values", true, {Row(2, 2, 5, 9, 7, 8)}, {"2,0=7"}},
        {"smooth steps", true, {Row(0, 4, 5, 5, 0, 4)}, {"0,0=0", "1,0=1", "2,0=2", "3,0=3", "4,0=4"}},
        {"flat keeps the left value", false, {Row(1, 3, 5, 5, 9, 40)}, {"1,0=9", "2,0=9", "3,0=9"}},
        {"rows advance",
         false,
         {Row(0, 0, 5, 5, 1, 1), Row(5, 3, 5, 5, 2, 2), Row(1, 2, 5, 5, 3, 3)},
         {"0,0=1", "1,2=3", "2,2=3"}},
        // Depth 2000 at the right end lies behind the stored 1000 from column 3 on (depth 1000 ties and wins).
        {"depth test", true, {Row(0, 5, 0, 2000, 10, 15)}, {"0,0=10", "1,0=11", "2,0=12"}},
        {"value keeps its low 16 bits", false, {Row(0, 0, 5, 5, 0x12345, 0)}, {"0,0=9029"}},
    };
    for (const Case& c : cases) {
        Raster r;
        (c.smooth ? &FillSpansSmooth : &FillSpansFlat)(0, r.ZStride(), r.VStride(), std::int32_t(c.rows.size()),
                                                       &r.Z[0][0], &r.V[0][0], c.rows.data());
        EXPECT_EQ(r.Written(), c.written) << c.name;
    }
    // The value slot picks plane 2's or 3's pair of values.
    Raster r;
    TSEdgeRow row{0, 1, 5, 5, 1, 1, 2, 2, 3, 30};
    FillSpansSmooth(2, r.ZStride(), r.VStride(), 1, &r.Z[0][0], &r.V[0][0], &row);
    EXPECT_EQ(r.Written(), (std::vector<std::string>{"0,0=3", "1,0=30"}));
    EXPECT_EQ(r.Z[0][1], 5);
}

TEST(SCnv3DProc, DepthTiesGoToTheLaterPrimitive)
{
    Raster r;
    const TSEdgeRow first = Row(0, 2, 500, 500, 1, 1);
    const TSEdgeRow second = Row(1, 3, 500, 500, 2, 2);
    const TSEdgeRow behind = Row(0, 3, 501, 501, 3, 3);
    FillSpansFlat(0, r.ZStride(), r.VStride(), 1, &r.Z[0][0], &r.V[0][0], &first);
    FillSpansFlat(0, r.ZStride(), r.VStride(), 1, &r.Z[0][0], &r.V[0][0], &second);
    FillSpansFlat(0, r.ZStride(), r.VStride(), 1, &r.Z[0][0], &r.V[0][0], &behind);
    EXPECT_EQ(r.Written(), (std::vector<std::string>{"0,0=1", "1,0=2", "2,0=2", "3,0=2"}));
}

TEST(SCnv3DProc, Lines)
{
    struct Case {
        const char* name;
        bool smooth;
        std::int32_t rows;
        TSEdgeRow params;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"horizontal", true, 1, Row(0, 3, 5, 5, 0, 3), {"0,0=0", "1,0=1", "2,0=2", "3,0=3"}},
        {"horizontal leftward", false, 1, Row(3, 0, 5, 5, 7, 0), {"0,0=7", "1,0=7", "2,0=7", "3,0=7"}},
        {"vertical", true, 4, Row(2, 2, 5, 5, 10, 13), {"2,0=10", "2,1=11", "2,2=12", "2,3=13"}},
        {"diagonal", true, 4, Row(0, 3, 5, 5, 0, 3), {"0,0=0", "1,1=1", "2,2=2", "3,3=3"}},
        {"diagonal leftward", false, 4, Row(3, 0, 5, 5, 4, 0), {"3,0=4", "2,1=4", "1,2=4", "0,3=4"}},
        {"steep", true, 5, Row(0, 2, 5, 5, 0, 4), {"0,0=0", "1,1=1", "1,2=2", "2,3=3", "2,4=4"}},
        {"shallow", true, 2, Row(0, 5, 5, 5, 0, 5), {"0,0=0", "1,0=1", "2,0=2", "3,1=3", "4,1=4", "5,1=5"}},
        {"single pixel", true, 1, Row(4, 4, 5, 9, 6, 7), {"4,0=6"}},
        {"no rows", true, 0, Row(0, 3, 5, 5, 0, 3), {}},
        {"behind", true, 1, Row(0, 3, 1001, 1001, 0, 3), {}},
    };
    for (const Case& c : cases) {
        Raster r;
        (c.smooth ? &StepLineSmooth : &StepLineFlat)(r.ZStride(), r.VStride(), c.rows, &r.Z[0][0], &r.V[0][0],
                                                     &c.params);
        EXPECT_EQ(r.Written(), c.written) << c.name;
    }
}

// The windowed kernels give each pixel they write what the whole walk gives
// it, also for walks across the whole int32 range and long spans.
TEST(SCnv3DProc, WindowedWalksMatchTheWholeWalk)
{
    const std::int32_t ends[][2] = {{0, 0},       {5, 5},       {-7, 300},         {300, -7},
                                    {INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, {123456789, -987654321}};
    for (const auto& e : ends)
        for (std::int32_t count : {1, 2, 3, 7, 64, 1000}) {
            std::vector<TSEdgeRow> whole(std::size_t(count), TSEdgeRow{});
            StepEdgeColumn(&whole[0].ZL, count, e[0], e[1]);
            for (std::int32_t first : {0, 1, count / 3, count - 1})
                for (std::int32_t take : {1, 5, count}) {
                    std::vector<TSEdgeRow> part(std::size_t(count), TSEdgeRow{});
                    StepEdgeColumnPart(&part[0].ZL, count, e[0], e[1], first, take);
                    for (std::int32_t i = 0; i < std::min(take, count - first); ++i)
                        ASSERT_EQ(part[std::size_t(i)].ZL, whole[std::size_t(first + i)].ZL)
                            << e[0] << ".." << e[1] << " count " << count << " first " << first << " at " << i;
                }
        }

    // Spans: one row 1000 wide, cut into windows.
    constexpr int kSpan = 1000;
    auto span = [&](bool Smooth, std::int32_t Left, std::int32_t Right, std::vector<std::int32_t>& Z,
                    std::vector<std::uint16_t>& V, const TSEdgeRow& Edge) {
        Z.assign(kSpan, INT32_MAX);
        V.assign(kSpan, 0xFFFF);
        if (Left == INT32_MIN)
            (Smooth ? &FillSpansSmooth : &FillSpansFlat)(0, 0, 0, 1, Z.data(), V.data(), &Edge);
        else
            (Smooth ? &FillSpansSmoothIn : &FillSpansFlatIn)(0, 0, 0, 1, Z.data(), V.data(), &Edge, Left, Right);
    };
    const TSEdgeRow edges[] = {{0, kSpan - 1, INT32_MIN + 1, INT32_MAX - 1, 0, 65535, 0, 0, 0, 0},
                               {3, 997, 500, -400, 40000, 7, 0, 0, 0, 0},
                               {10, 10, 5, 5, 9, 9, 0, 0, 0, 0}};
    for (const TSEdgeRow& edge : edges)
        for (bool smooth : {false, true}) {
            std::vector<std::int32_t> zw, zp;
            std::vector<std::uint16_t> vw, vp;
            span(smooth, INT32_MIN, INT32_MAX, zw, vw, edge);
            for (const auto& w : {std::pair{0, 63}, std::pair{64, 127}, std::pair{10, 10}, std::pair{900, 2000}}) {
                span(smooth, w.first, w.second, zp, vp, edge);
                for (int x = 0; x < kSpan; ++x) {
                    const bool inside = x >= w.first && x <= w.second;
                    ASSERT_EQ(zp[std::size_t(x)], inside ? zw[std::size_t(x)] : INT32_MAX) << x;
                    ASSERT_EQ(vp[std::size_t(x)], inside ? vw[std::size_t(x)] : 0xFFFF) << x;
                }
            }
        }

    // Lines: steep, flat and diagonal, both directions, in windows of rows and columns.
    constexpr int kSide = 90;
    const std::int32_t lines[][3] = {{5, 80, 89}, {80, 5, 89}, {0, 89, 20}, {89, 0, 20}, {40, 40, 89}, {3, 60, 0}};
    for (const auto& l : lines)
        for (bool smooth : {false, true}) {
            auto draw = [&](const TSLineWindow* W, std::vector<std::int32_t>& Z, std::vector<std::uint16_t>& V) {
                Z.assign(kSide * kSide, INT32_MAX);
                V.assign(kSide * kSide, 0xFFFF);
                const TSEdgeRow p{l[0], l[1], -1000, 1000000, 3, 60000, 0, 0, 0, 0};
                const std::ptrdiff_t zs = kSide * 4, vs = kSide * 2;
                if (W == nullptr)
                    (smooth ? &StepLineSmooth : &StepLineFlat)(zs, vs, l[2] + 1, Z.data(), V.data(), &p);
                else
                    (smooth ? &StepLineSmoothIn : &StepLineFlatIn)(zs, vs, l[2] + 1, Z.data(), V.data(), &p, *W);
            };
            std::vector<std::int32_t> zw, zp;
            std::vector<std::uint16_t> vw, vp;
            draw(nullptr, zw, vw);
            const TSLineWindow windows[] = {{0, 89, 0, 89}, {7, 30, 0, 89}, {0, 89, 20, 41}, {13, 13, 0, 89},
                                            {40, 89, 50, 60}, {5, 9, 60, 89}};
            for (const TSLineWindow& w : windows) {
                draw(&w, zp, vp);
                for (int y = 0; y < kSide; ++y)
                    for (int x = 0; x < kSide; ++x) {
                        const bool inside = y >= w.FirstRow && y <= w.LastRow && x >= w.Left && x <= w.Right;
                        const std::size_t at = std::size_t(y) * kSide + std::size_t(x);
                        ASSERT_EQ(zp[at], inside ? zw[at] : INT32_MAX) << x << "," << y;
                        ASSERT_EQ(vp[at], inside ? vw[at] : 0xFFFF) << x << "," << y;
                    }
            }
        }
}
