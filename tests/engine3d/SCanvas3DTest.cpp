#include "EngineTestSupport.h"

#include "engine3d/render/SCanvas3D.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// A 32-bit target of the canvas's size, and helpers to read the canvas.
struct Target {
    std::int32_t Width, Height;
    std::vector<std::uint32_t> Pixels;
    TSPaintTarget Paint;

    Target(std::int32_t W, std::int32_t H, std::int32_t Bytes = 4)
        : Width(W),
          Height(H),
          Pixels(std::size_t(W) * H, 0xDEADBEEF),
          Paint{Pixels.data(), W, H, Bytes, std::int64_t(W) * 4}
    {}
    std::uint32_t At(int X, int Y) const { return Pixels[std::size_t(Y) * Width + X]; }
};

std::uint16_t Index(const TSCanvas3D& C, int Channel, int X, int Y)
{
    const TSCanvasBuffer& p = C.Plane(Channel);
    return reinterpret_cast<const std::uint16_t*>(p.Data + Y * p.RowBytes)[X];
}

std::int32_t Depth(const TSCanvas3D& C, int X, int Y)
{
    const TSCanvasBuffer& z = C.ZBuffer();
    return reinterpret_cast<const std::int32_t*>(z.Data + Y * z.RowBytes)[X];
}

// Pixels of plane 1 that hold something other than the background, as "x,y=value".
std::vector<std::string> Drawn(const TSCanvas3D& C)
{
    std::vector<std::string> out;
    for (int y = 0; y < C.Height(); ++y)
        for (int x = 0; x < C.Width(); ++x)
            if (const auto v = Index(C, 1, x, y); v != kBackgroundIndex)
                out.push_back(std::to_string(x) + "," + std::to_string(y) + "=" + std::to_string(v));
    return out;
}

std::set<std::pair<int, int>> DrawnCells(const TSCanvas3D& C)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < C.Height(); ++y)
        for (int x = 0; x < C.Width(); ++x)
            if (Index(C, 1, x, y) != kBackgroundIndex)
                out.insert({x, y});
    return out;
}

std::unique_ptr<TSCanvas3D> Canvas(int W, int H)
{
    auto c = std::make_unique<TSCanvas3D>();
    c->Resize(W, H);
    c->Clear();
    return c;
}

TSCanvasPoint P(std::int32_t X, std::int32_t Y, std::int32_t Z = 100, std::int32_t C1 = 0, std::int32_t C2 = 0,
                std::int32_t C3 = 0)
{
    return {X, Y, Z, C1, C2, C3};
}

// Layout: output bits 0..15 from channel 1's bits 0..15, the rest from nothing.
std::vector<TSBitLayoutEntry> Channel1Layout()
{
    std::vector<TSBitLayoutEntry> layout(kBitLayoutSize);
    for (int i = 0; i < 16; ++i)
        layout[i] = {1, i};
    return layout;
}

}  // namespace

TEST(SCanvas3D, NewCanvasIsReleasedUntilResized)
{
    TSCanvas3D c;
    EXPECT_TRUE(c.IsReleased());
    EXPECT_EQ(c.Width(), 0);
    EXPECT_TRUE(c.GetChannelEnabled(1));
    EXPECT_FALSE(c.GetChannelEnabled(2));
    EXPECT_FALSE(c.GetChannelEnabled(0));
    EXPECT_EQ(c.GetColorTable(1), nullptr);
    c.DrawPoint(P(0, 0));
    c.DrawTriangle(P(0, 0), P(5, 0), P(0, 5));
    Target t(4, 4);
    c.PaintTo(&t.Paint, 0, 0, 0, 0, 4, 4);
    EXPECT_EQ(t.At(0, 0), 0xDEADBEEFu);
    EXPECT_EQ(c.Name().rfind("TSCanvas3D #", 0), 0u) << c.Name();
    EXPECT_NE(c.Name().find("/ PrID #" + std::to_string(::getpid()) + "/ ThID #"), std::string::npos) << c.Name();
    EXPECT_NE(c.Name().find("/ Time #"), std::string::npos);

    c.Resize(-5, 10);
    EXPECT_FALSE(c.IsReleased());
    EXPECT_EQ(c.Width(), 0);
    EXPECT_EQ(c.Height(), 10);
    EXPECT_EQ(c.ZBuffer().AllocSize, 0);
    // A canvas without columns has an empty clip rectangle: lines and triangles
    // that cross column 0 draw nothing (and touch no memory).
    c.DrawLine(P(-1, 2), P(1, 3));
    c.DrawTriangle(P(-3, 0), P(4, 1), P(0, 6));
    c.DrawPoint(P(0, 0));
}

TEST(SCanvas3D, ResizeSetsBuffersTablesAndClip)
{
    auto c = std::make_unique<TSCanvas3D>();
    c->Resize(100, 50);
    EXPECT_TRUE(c->GetChannelEnabled(1));
    const std::uint32_t* table = c->GetColorTable(1);
    ASSERT_NE(table, nullptr);
    const std::pair<int, std::uint32_t> entries[] = {{1, 0}, {257, 1}, {32768, 127}, {0, 0}, {40000, 0}, {65535, 0}};
    for (const auto& [i, v] : entries)
        EXPECT_EQ(table[i], v) << i;
    EXPECT_EQ(c->Clip().Left, 0);
    EXPECT_EQ(c->Clip().Top, 0);
    EXPECT_EQ(c->Clip().Right, 99);
    EXPECT_EQ(c->Clip().Bottom, 49);
    EXPECT_EQ(c->ZBuffer().RowBytes, 400);
    EXPECT_EQ(c->ZBuffer().AllocSize, 65536);
    EXPECT_EQ(c->Plane(1).RowBytes, 208);
    EXPECT_EQ(c->Plane(1).AllocSize, 65536);
    EXPECT_EQ(c->Edges().Size, 16384);
    EXPECT_EQ(Depth(*c, 99, 49), 0x10000000);
    EXPECT_EQ(Index(*c, 1, 0, 0), kBackgroundIndex);

    // Kept rows keep their cells; new cells take the fill.
    c->DrawPoint(P(3, 2, 7, 42));
    c->Resize(200, 60);
    EXPECT_EQ(Index(*c, 1, 3, 2), 42);
    EXPECT_EQ(Depth(*c, 3, 2), 7);
    EXPECT_EQ(Index(*c, 1, 150, 2), kBackgroundIndex);
    EXPECT_EQ(Depth(*c, 150, 55), 0x10000000);
    EXPECT_EQ(c->Clip().Right, 199);
    c->Resize(10, 5);
    EXPECT_EQ(Index(*c, 1, 3, 2), 42);
    EXPECT_EQ(c->ZBuffer().RowBytes, 48);

    // A buffer beyond 2^31 - 1 bytes is refused; the canvas is released, its size kept.
    EXPECT_THROW(c->Resize(100000, 100000), EOutOfMemory);
    EXPECT_TRUE(c->IsReleased());
    c->Resize(8, 8);
    EXPECT_FALSE(c->IsReleased());
}

TEST(SCanvas3D, ClearPaintsTheBackground)
{
    auto c = Canvas(6, 4);
    c->SetBackgroundPixel(0x00ABCDEF);
    c->DrawPoint(P(1, 1, 5, 300));
    c->Clear();
    EXPECT_EQ(Depth(*c, 1, 1), 0x10000000);
    EXPECT_EQ(Index(*c, 1, 1, 1), kBackgroundIndex);
    Target t(6, 4);
    c->PaintTo(&t.Paint, 0, 0, 0, 0, 6, 4);
    for (std::uint32_t p : t.Pixels)
        EXPECT_EQ(p, 0x00ABCDEFu);
}

TEST(SCanvas3D, EnabledPlaneHoldsIndexZeroUntilClear)
{
    auto c = Canvas(4, 2);
    const auto layout = Channel1Layout();
    c->SetChannelEnabled(2, true);
    EXPECT_TRUE(c->GetChannelEnabled(2));
    EXPECT_EQ(Index(*c, 2, 0, 0), 0);
    // Plane 2's entry 0 = 0x7 (a curve of one point), placed at bits 0..15.
    TSCnv3DIITransformer curve;
    curve.AddPoint(0, 0x7);
    std::vector<TSBitLayoutEntry> layout2(kBitLayoutSize);
    for (int i = 0; i < 16; ++i)
        layout2[i + 16] = {2, i};
    c->SetChannelCurves(2, nullptr, &curve, nullptr, layout2.data());
    c->SetBackgroundPixel(0x10);
    Target t(4, 2);
    c->PaintTo(&t.Paint, 0, 0, 0, 0, 4, 2);
    EXPECT_EQ(t.At(0, 0), 0x70010u);  // plane 1's background OR plane 2's entry 0
    c->Clear();
    c->PaintTo(&t.Paint, 0, 0, 0, 0, 4, 2);
    EXPECT_EQ(t.At(0, 0), 0x10u);
    c->SetChannelEnabled(2, false);
    EXPECT_FALSE(c->GetChannelEnabled(2));
    EXPECT_EQ(c->GetColorTable(2), nullptr);
    c->SetChannelEnabled(7, true);
    EXPECT_FALSE(c->GetChannelEnabled(7));
}

TEST(SCanvas3D, BackgroundChannelsAndCurves)
{
    auto c = Canvas(4, 4);
    std::vector<TSBitLayoutEntry> layout(kBitLayoutSize);
    for (int i = 0; i < 16; ++i)
        layout[i] = {1, i};
    c->SetBackgroundChannels(65535, 0, 0, layout.data());
    EXPECT_EQ(c->Background(), 0x0000FFFFu);
    EXPECT_EQ(c->GetColorTable(1)[65535], 0x0000FFFFu);
    // Bit numbers are taken modulo 32.
    layout.assign(kBitLayoutSize, {});
    layout[0] = {3, 33};
    c->SetBackgroundChannels(0, 0, 2, layout.data());
    EXPECT_EQ(c->Background(), 1u);

    // Channel 1's bits 8..15 to output bits 0..7.
    layout.assign(kBitLayoutSize, {});
    for (int i = 0; i < 8; ++i)
        layout[i] = {1, 8 + i};
    TSCnv3DIITransformer ramp;
    ramp.AddPoint(0, 0);
    ramp.AddPoint(32768, 65535);
    c->SetChannelCurves(1, &ramp, nullptr, nullptr, layout.data());
    const std::uint32_t* table = c->GetColorTable(1);
    EXPECT_EQ(table[32768], 0xFFu);
    EXPECT_EQ(table[16384], 0x80u);
    EXPECT_EQ(table[2], 0u);
    EXPECT_EQ(table[40000], 0u);
    EXPECT_EQ(table[65535], 1u);

    // Whole values: a curve of one point fills every entry 0..32768.
    const auto whole = Channel1Layout();
    TSCnv3DIITransformer single;
    single.AddPoint(100, 1000);
    c->SetChannelCurves(1, &single, nullptr, nullptr, whole.data());
    EXPECT_EQ(table[0], 1000u);
    EXPECT_EQ(table[32768], 1000u);
    EXPECT_EQ(table[32769], 0u);
    // A curve of points partly outside 0..32768: clipped pieces, ends held flat.
    TSCnv3DIITransformer wide;
    wide.AddPoint(-100, 0);
    wide.AddPoint(100, 200);
    wide.AddPoint(200, 300);
    c->SetChannelCurves(1, &wide, nullptr, nullptr, whole.data());
    EXPECT_EQ(table[0], 100u);
    EXPECT_EQ(table[100], 200u);
    EXPECT_EQ(table[150], 250u);
    EXPECT_EQ(table[32768], 300u);
    // Two curves OR into one table; no curve leaves zeros.
    TSCnv3DIITransformer low, high;
    low.AddPoint(0, 0x0F);
    high.AddPoint(0, 0xF0);
    std::vector<TSBitLayoutEntry> two(kBitLayoutSize);
    for (int i = 0; i < 8; ++i) {
        two[i] = {1, i};
        two[i + 8] = {2, i};
    }
    c->SetChannelCurves(1, &low, &high, nullptr, two.data());
    EXPECT_EQ(table[5], 0xF00Fu);
    c->SetChannelCurves(1, nullptr, nullptr, nullptr, two.data());
    EXPECT_EQ(table[5], 0u);
    EXPECT_EQ(table[65535], 1u);
}

TEST(SCanvas3D, Points)
{
    auto c = Canvas(8, 8);
    c->DrawPoint(P(1, 1, 0, 5));           // nearer than Near
    c->DrawPoint(P(2, 1, 0x10000001, 5));  // beyond Far
    c->DrawPoint(P(8, 1, 10, 5));          // outside the clip
    EXPECT_TRUE(Drawn(*c).empty());
    c->DrawPoint(P(3, 3, 10, 5));
    c->DrawPoint(P(3, 3, 10, 6));
    EXPECT_EQ(Drawn(*c), std::vector<std::string>{"3,3=6"});
    c->DrawPoint(P(3, 3, 11, 7));
    EXPECT_EQ(Drawn(*c), std::vector<std::string>{"3,3=6"});

    // A point behind a triangle is hidden; a triangle drawn later behind a point too.
    c->Clear();
    c->DrawTriangle(P(0, 0, 50, 1), P(7, 0, 50, 1), P(0, 7, 50, 1));
    c->DrawPoint(P(1, 1, 60, 9));
    EXPECT_EQ(Index(*c, 1, 1, 1), 1);
    c->Clear();
    c->DrawPoint(P(1, 1, 40, 9));
    c->DrawTriangle(P(0, 0, 50, 1), P(7, 0, 50, 1), P(0, 7, 50, 1));
    EXPECT_EQ(Index(*c, 1, 1, 1), 9);
    EXPECT_EQ(Index(*c, 1, 2, 1), 1);
}

TEST(SCanvas3D, Lines)
{
    struct Case {
        const char* name;
        bool smooth;
        TSCanvasPoint a, b;
        std::vector<std::string> drawn;
    };
    const Case cases[] = {
        {"flat takes the mean", false, P(0, 0, 5, 10), P(3, 0, 5, 21), {"0,0=15", "1,0=15", "2,0=15", "3,0=15"}},
        {"smooth steps", true, P(0, 0, 5, 10), P(3, 0, 5, 21), {"0,0=10", "1,0=14", "2,0=17", "3,0=21"}},
        {"upward runs from its top end", true, P(0, 3, 5, 0), P(3, 0, 5, 3), {"3,0=3", "2,1=2", "1,2=1", "0,3=0"}},
        {"clipped at the left", true, P(-2, 0, 5, 0), P(2, 0, 5, 4), {"0,0=2", "1,0=3", "2,0=4"}},
        {"clipped at the right and bottom", true, P(4, 4, 5, 0), P(8, 8, 5, 4), {"4,4=0", "5,5=1"}},
        {"clipped at the top", true, P(0, -2, 5, 0), P(0, 1, 5, 3), {"0,0=2", "0,1=3"}},
        {"a near end below Near discards it", true, P(0, 0, 0, 1), P(3, 0, 5, 1), {}},
        {"outside the clip", true, P(-5, 0, 5, 1), P(-1, 3, 5, 1), {}},
        {"below the clip", true, P(0, 6, 5, 1), P(3, 9, 5, 1), {}},
    };
    for (const Case& c : cases) {
        auto canvas = Canvas(6, 6);
        canvas->Smooth = c.smooth;
        canvas->DrawLine(c.a, c.b);
        EXPECT_EQ(Drawn(*canvas), c.drawn) << c.name;
    }
}

TEST(SCanvas3D, Triangles)
{
    struct Case {
        const char* name;
        TSCanvasPoint a, b, c;
        std::vector<int> rowSpans;  // left, right per row 0..5; -1 -1 none
    };
    const Case cases[] = {
        {"the 15-pixel triangle", P(0, 0), P(4, 0), P(0, 4), {0, 4, 0, 3, 0, 2, 0, 1, 0, 0, -1, -1}},
        {"one row", P(4, 2), P(1, 2), P(2, 2), {-1, -1, -1, -1, 1, 4, -1, -1, -1, -1, -1, -1}},
        {"cut at both clip columns", P(-4, 0), P(9, 0), P(-4, 5), {0, 5, 0, 5, 0, 5, 0, 2, 0, 0, -1, -1}},
        {"point up", P(2, 0), P(0, 4), P(4, 4), {2, 2, 1, 3, 1, 3, 0, 4, 0, 4, -1, -1}},
        {"a vertex below Near", P(0, 0, 0), P(4, 0), P(0, 4), {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"cut at the top and bottom", P(0, -3), P(5, 2), P(0, 8), {0, 3, 0, 4, 0, 5, 0, 4, 0, 4, 0, 3}},
    };
    for (const Case& c : cases) {
        auto canvas = Canvas(6, 6);
        canvas->DrawTriangle(c.a, c.b, c.c);
        for (int y = 0; y < 6; ++y) {
            int left = -1, right = -1;
            for (int x = 0; x < 6; ++x)
                if (Index(*canvas, 1, x, y) != kBackgroundIndex) {
                    if (left < 0)
                        left = x;
                    right = x;
                }
            EXPECT_EQ(left, c.rowSpans[2 * y]) << c.name << " row " << y;
            EXPECT_EQ(right, c.rowSpans[2 * y + 1]) << c.name << " row " << y;
        }
    }
}

TEST(SCanvas3D, TriangleValuesFlatAndSmooth)
{
    auto c = Canvas(6, 6);
    c->DrawTriangle(P(0, 0, 10, 0), P(4, 0, 10, 4), P(0, 4, 10, 8));
    EXPECT_EQ(Index(*c, 1, 0, 0), 4);  // (0 + 4 + 8) / 3 everywhere
    EXPECT_EQ(Index(*c, 1, 3, 1), 4);
    c->Clear();
    c->Smooth = 1;
    c->DrawTriangle(P(0, 0, 10, 0), P(4, 0, 20, 4), P(0, 4, 30, 8));
    EXPECT_EQ(Index(*c, 1, 0, 0), 0);
    EXPECT_EQ(Index(*c, 1, 4, 0), 4);
    EXPECT_EQ(Index(*c, 1, 0, 4), 8);
    EXPECT_EQ(Index(*c, 1, 2, 0), 2);
    EXPECT_EQ(Depth(*c, 4, 0), 20);
    EXPECT_EQ(Depth(*c, 0, 2), 20);
    // Every plane gets its own channel, over the same pixels.
    c->SetChannelEnabled(2, true);
    c->SetChannelEnabled(3, true);
    c->Clear();
    c->DrawTriangle(P(0, 0, 10, 1, 2, 3), P(4, 0, 10, 1, 2, 3), P(0, 4, 10, 1, 2, 3));
    EXPECT_EQ(Index(*c, 1, 1, 1), 1);
    EXPECT_EQ(Index(*c, 2, 1, 1), 2);
    EXPECT_EQ(Index(*c, 3, 1, 1), 3);
    EXPECT_EQ(Index(*c, 3, 4, 4), kBackgroundIndex);
}

// A mesh of triangles over a rectangle, seen head-on, writes every pixel of
// the rectangle inside the canvas and nothing else: neighbouring triangles
// leave no gaps, and the clip neither loses nor adds pixels.
TEST(SCanvas3D, GridMeshCoversItsOutlineExactly)
{
    struct Case {
        int x0, y0, x1, y1;  // outline
        int cells;
        bool smooth;
    };
    const Case cases[] = {
        {2, 3, 40, 30, 6, false},
        {-15, -9, 20, 50, 7, true},
        {-50, 10, 80, 19, 13, false},
        {5, -40, 12, 70, 9, true},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        auto canvas = Canvas(48, 36);
        canvas->Smooth = c.smooth;
        const int n = c.cells;
        std::vector<TSCanvasPoint> v((n + 1) * (n + 1));
        const double sx = double(c.x1 - c.x0) / n, sy = double(c.y1 - c.y0) / n;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                double x = c.x0 + i * sx, y = c.y0 + j * sy;
                // Inner vertices move by up to a third of a cell; the outline stays.
                if (i > 0 && i < n)
                    x += std::uniform_real_distribution<>(-sx / 3, sx / 3)(random);
                if (j > 0 && j < n)
                    y += std::uniform_real_distribution<>(-sy / 3, sy / 3)(random);
                v[j * (n + 1) + i] = P(std::int32_t(std::lround(x)), std::int32_t(std::lround(y)),
                                       1 + int(random() % 1000), int(random() % 32769));
            }
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const auto& a = v[j * (n + 1) + i];
                const auto& b = v[j * (n + 1) + i + 1];
                const auto& d = v[(j + 1) * (n + 1) + i];
                const auto& e = v[(j + 1) * (n + 1) + i + 1];
                canvas->DrawTriangle(a, b, e);
                canvas->DrawTriangle(e, d, a);
            }
        std::set<std::pair<int, int>> expected;
        for (int y = std::max(c.y0, 0); y <= std::min(c.y1, 35); ++y)
            for (int x = std::max(c.x0, 0); x <= std::min(c.x1, 47); ++x)
                expected.insert({x, y});
        EXPECT_EQ(DrawnCells(*canvas), expected) << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1;
    }
}

TEST(SCanvas3D, FarVerticesAreClippedWithoutOverflow)
{
    auto c = Canvas(16, 16);
    c->DrawTriangle(P(-0x40000000, -0x40000000, 5), P(0x40000000, -0x40000000, 5), P(0, 0x40000000, 5));
    EXPECT_EQ(DrawnCells(*c).size(), 256u);
    c->Clear();
    c->DrawLine(P(-0x40000000, 8, 5), P(0x40000000, 8, 5));
    EXPECT_EQ(DrawnCells(*c).size(), 16u);
}

TEST(SCanvas3D, PaintTo)
{
    auto c = Canvas(5, 3);
    const auto layout = Channel1Layout();
    TSCnv3DIITransformer identity;
    identity.AddPoint(0, 0);
    identity.AddPoint(32768, 32768);
    c->SetChannelCurves(1, &identity, nullptr, nullptr, layout.data());
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 3; ++y)
            c->DrawPoint(P(x, y, 10, 10 * y + x));
    // From column -3: canvas column 0 lands at target column 3, 3 columns fewer.
    Target t(6, 3);
    c->PaintTo(&t.Paint, -3, 0, 0, 0, 6, 3);
    EXPECT_EQ(t.At(3, 1), 10u);
    EXPECT_EQ(t.At(4, 1), 11u);
    EXPECT_EQ(t.At(5, 2), 22u);
    EXPECT_EQ(t.At(2, 1), 0xDEADBEEFu);
    // Cut to the target and the canvas; rows land on the same memory rows.
    Target small(2, 2);
    c->PaintTo(&small.Paint, 3, 1, 0, 0, 10, 10);
    EXPECT_EQ(small.Pixels, (std::vector<std::uint32_t>{13, 14, 23, 24}));
    // Narrower pixels: only the rectangle's bytes are written.
    std::vector<std::uint8_t> bytes(3 * 8, 0xEE);
    TSPaintTarget three{bytes.data(), 2, 3, 3, 8};
    c->PaintTo(&three, 0, 0, 0, 0, 2, 3);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[3], 1);
    EXPECT_EQ(bytes[6], 0xEE);
    EXPECT_EQ(bytes[8 + 3], 11);
    // Unknown pixel sizes and rows too short for the width take nothing.
    TSPaintTarget five{bytes.data(), 2, 3, 5, 8};
    TSPaintTarget shortRows{bytes.data(), 4, 3, 4, 8};
    c->PaintTo(&five, 0, 0, 0, 0, 2, 3);
    c->PaintTo(&shortRows, 0, 0, 0, 0, 2, 3);
    c->PaintTo(nullptr, 0, 0, 0, 0, 2, 3);
    EXPECT_EQ(bytes[6], 0xEE);
    EXPECT_EQ(bytes[3], 1);
}

TEST(SCanvas3D, AssignCopiesTheWholeCanvas)
{
    auto a = Canvas(7, 5);
    a->SetChannelEnabled(3, true);
    a->Smooth = 1;
    a->SetBackgroundPixel(0x55);
    a->DrawPoint(P(2, 2, 9, 100, 200, 300));
    TSCanvas3D b;
    b.Assign(a.get());
    EXPECT_FALSE(b.IsReleased());
    EXPECT_EQ(b.Width(), 7);
    EXPECT_EQ(b.Height(), 5);
    EXPECT_TRUE(b.GetChannelEnabled(3));
    EXPECT_EQ(b.Smooth, 1);
    EXPECT_EQ(b.Background(), 0x55u);
    EXPECT_EQ(Index(b, 1, 2, 2), 100);
    EXPECT_EQ(Index(b, 3, 2, 2), 300);
    EXPECT_EQ(Depth(b, 2, 2), 9);
    EXPECT_EQ(b.GetColorTable(3)[65535], 0x55u);

    a->Assign(a.get());  // itself: nothing changes
    EXPECT_EQ(Index(*a, 1, 2, 2), 100);
    b.Assign(nullptr);
    EXPECT_TRUE(b.IsReleased());
    EXPECT_EQ(b.Width(), 7);
    b.Resize(3, 3);
    EXPECT_TRUE(b.GetChannelEnabled(3));
    TSCnv3DIITransformer curve;
    EXPECT_THROW(b.Assign(&curve), EAssignError);
}

TEST(SCanvas3D, CanvasesJoinTheGlobalList)
{
    TSObjectsList* list = GlobalCanvasesList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Name(), "Global List of SCanvas3D");
    auto c = std::make_unique<TSCanvas3D>();
    EXPECT_GE(list->IndexOf(c.get()), 0);
    TSCanvas3D* raw = c.get();
    c.reset();
    EXPECT_EQ(list->IndexOf(raw), -1);
}

// ---------------------------------------------------------------------------

namespace {

std::vector<std::pair<int, int>> Points(const TSCnv3DIITransformer& T)
{
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < T.Count(); ++i)
        out.emplace_back(T.GetPointX(i), T.GetPointY(i));
    return out;
}

using PointList = std::vector<std::pair<int, int>>;

}  // namespace

TEST(SCnv3DIITransformer, Edits)
{
    TSCnv3DIITransformer t;
    EXPECT_EQ(t.GetPointX(3), 0);
    EXPECT_EQ(t.AddPoint(10, 1), 0);
    EXPECT_EQ(t.AddPoint(5, 2), 0);
    EXPECT_EQ(Points(t), (PointList{{5, 2}, {10, 1}}));
    EXPECT_EQ(t.MovePoint(0, 20, 3), 1);
    EXPECT_EQ(Points(t), (PointList{{10, 1}, {20, 3}}));
    EXPECT_EQ(t.GetPointX(7), 20);
    EXPECT_EQ(t.GetPointY(-2), 1);
    EXPECT_EQ(t.MovePoint(2, 0, 0), -1);
    EXPECT_EQ(t.MovePoint(-1, 0, 0), -1);
    EXPECT_EQ(t.MovePoint(1, 20, 9), 1);
    EXPECT_EQ(t.AddPoint(10, 7), 1);  // after the point of the same X
    EXPECT_EQ(t.AddPoint(15, 8), 2);
    EXPECT_EQ(Points(t), (PointList{{10, 1}, {10, 7}, {15, 8}, {20, 9}}));
    EXPECT_EQ(t.MovePoint(3, 0, 4), 0);
    EXPECT_EQ(Points(t), (PointList{{0, 4}, {10, 1}, {10, 7}, {15, 8}}));
    EXPECT_EQ(t.MovePoint(0, 10, 5), 0);  // moving up: before the points of X 10
    EXPECT_EQ(Points(t), (PointList{{10, 5}, {10, 1}, {10, 7}, {15, 8}}));
    t.DeletePoint(1);
    t.DeletePoint(9);
    EXPECT_EQ(Points(t), (PointList{{10, 5}, {10, 7}, {15, 8}}));
    EXPECT_EQ(t.Evaluate(13), 7 + 3 * 1 / 5);

    const std::pair<int, int> finds[] = {{-5, 0}, {10, 0}, {12, 2}, {15, 2}, {16, 3}};
    for (const auto& [x, i] : finds)
        EXPECT_EQ(t.FindIndex(x), i) << x;

    t.Clear();
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.Capacity(), 0);
}

TEST(SCnv3DIITransformer, SetCountCopiesThePointBefore)
{
    TSCnv3DIITransformer t;
    t.SetCount(2);
    EXPECT_EQ(Points(t), (PointList{{0, 0}, {0, 0}}));
    EXPECT_EQ(t.Capacity(), 4);
    t.Clear();
    t.AddPoint(3, 4);
    t.SetCount(6);
    EXPECT_EQ(Points(t), (PointList(6, {3, 4})));
    EXPECT_EQ(t.Capacity(), 8);
    t.SetCount(70000);
    EXPECT_EQ(t.Count(), 6);
    t.SetCount(-4);
    EXPECT_EQ(t.Count(), 0);
    TSCnv3DIITransformer full;
    full.SetCount(TSCnv3DIITransformer::MaxCount);
    EXPECT_EQ(full.AddPoint(1, 1), -1);
    EXPECT_EQ(full.Count(), TSCnv3DIITransformer::MaxCount);

    TSCnv3DIITransformer copy;
    copy.Assign(&t);
    EXPECT_EQ(copy.Count(), 0);
    t.AddPoint(8, 9);
    copy.Assign(&t);
    EXPECT_EQ(Points(copy), (PointList{{8, 9}}));
    copy.Assign(nullptr);
    EXPECT_EQ(copy.Count(), 0);
    TSCanvas3D canvas;
    EXPECT_THROW(copy.Assign(&canvas), EAssignError);
}

TEST(SCnv3DIITransformer, Streams)
{
    TSCnv3DIITransformer t;
    t.AddPoint(0, 0);
    t.AddPoint(32768, 65535);
    MemoryStream s;
    EXPECT_EQ(t.SaveToStream(&s), 20);
    EXPECT_EQ(t.SaveToStream(nullptr), 20);
    EXPECT_EQ(s.Bytes.size(), 20u);
    s.Pos = 0;
    TSCnv3DIITransformer back;
    EXPECT_EQ(back.LoadFromStream(&s), 20);
    EXPECT_EQ(Points(back), (PointList{{0, 0}, {32768, 65535}}));
    EXPECT_EQ(back.LoadFromStream(nullptr), 0);

    // Counts below 0, above 65535 or beyond the stream's bytes are refused.
    for (std::int32_t count : {-1, 70000, 3}) {
        MemoryStream bad;
        bad.Write(&count, 4);
        const std::int32_t pair[2] = {1, 2};
        bad.Write(pair, 8);
        bad.Pos = 0;
        try {
            back.LoadFromStream(&bad);
            ADD_FAILURE() << count;
        } catch (const EStreamError& e) {
            EXPECT_NE(std::string(e.what()).find("Can't load : Invalid Value"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("TSCnv3DIITransformer"), std::string::npos) << e.what();
        }
        EXPECT_EQ(Points(back), (PointList{{0, 0}, {32768, 65535}})) << count;
    }
}
