#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>
#include <climits>

#include "platform/paint/DeviceContext.h"
#include "platform/paint/SysColors.h"

namespace {

using plat::Rect;
using plat::Rgb;

plat::ColorRef At(const plat::DeviceContext& dc, int x, int y)
{
    QRgb p = dc.Image().pixel(x, y);
    return Rgb(unsigned(qRed(p)), unsigned(qGreen(p)), unsigned(qBlue(p)));
}

int Count(const plat::DeviceContext& dc, const Rect& r, plat::ColorRef c)
{
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            n += At(dc, x, y) == c;
    return n;
}

const plat::ColorRef kRed = Rgb(255, 0, 0), kBlue = Rgb(0, 0, 255), kWhite = Rgb(255, 255, 255), kBlack = 0;

TEST(Colors, PackAsBlueGreenRed)
{
    EXPECT_EQ(Rgb(1, 2, 3), 0x030201u);
    EXPECT_EQ(plat::GetRValue(0x030201), 1u);
    EXPECT_EQ(plat::GetGValue(0x030201), 2u);
    EXPECT_EQ(plat::GetBValue(0x030201), 3u);
    QColor hl = QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(plat::GetSysColor(plat::COLOR_HIGHLIGHT),
              Rgb(unsigned(hl.red()), unsigned(hl.green()), unsigned(hl.blue())));
    EXPECT_EQ(plat::GetSysColor(999), 0u);
}

TEST(DeviceContext, FillRectangleAndClip)
{
    plat::DeviceContext dc(20, 10);
    ASSERT_TRUE(dc.IsValid());
    EXPECT_EQ(dc.GetClipBox(), (Rect{0, 0, 20, 10}));
    dc.FillRect(Rect{0, 0, 20, 10}, kWhite);
    dc.FillRect(Rect{2, 2, 5, 4}, kRed);  // right and bottom edges excluded
    EXPECT_EQ(Count(dc, Rect{0, 0, 20, 10}, kRed), 6);
    EXPECT_EQ(At(dc, 4, 3), kRed);
    EXPECT_EQ(At(dc, 5, 3), kWhite);

    dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, kBlack});
    dc.SelectBrush(plat::Brush{plat::Brush::Solid, kBlue});
    dc.Rectangle(Rect{10, 0, 14, 4});
    EXPECT_EQ(Count(dc, Rect{10, 0, 14, 4}, kBlack), 12);  // outline inside the rectangle
    EXPECT_EQ(Count(dc, Rect{10, 0, 14, 4}, kBlue), 4);
    EXPECT_EQ(At(dc, 14, 0), kWhite);

    dc.SelectClipRect(Rect{0, 5, 3, 10});
    EXPECT_EQ(dc.GetClipBox(), (Rect{0, 5, 3, 10}));
    dc.FillRect(Rect{0, 0, 20, 10}, kBlue);
    EXPECT_EQ(Count(dc, Rect{0, 0, 20, 10}, kBlue), 15 + 4);
    dc.IntersectClipRect(Rect{1, 0, 20, 6});
    EXPECT_EQ(dc.GetClipBox(), (Rect{1, 5, 3, 6}));
    dc.SelectClipNone();
    EXPECT_EQ(dc.GetClipBox(), (Rect{0, 0, 20, 10}));
}

// A pattern repeats every 8 pixels from the brush origin, in logical units, within the
// clip; on a painter's device it comes out the same.
TEST(DeviceContext, PatternFillRepeatsFromTheBrushOrigin)
{
    plat::Pattern p;
    p.ink = kRed;
    p.paper = kBlue;
    for (int y = 0; y < 8; ++y)
        p.rows[y] = static_cast<std::uint8_t>(0x81 >> (y % 4) | (y == 5 ? 0x10 : 0));
    const auto expected = [&](int lx, int ly) {
        const int px = ((lx - 3) % 8 + 8) % 8, py = ((ly + 2) % 8 + 8) % 8;
        return (p.rows[py] >> (7 - px)) & 1 ? kRed : kBlue;
    };
    plat::DeviceContext dc(40, 30);
    dc.FillRect(Rect{0, 0, 40, 30}, kWhite);
    dc.SetWindowOrg(5, -4);
    dc.SelectClipRect(Rect{5, -4, 35, 20});
    EXPECT_EQ(dc.SetBrushOrg(3, -2), QPoint(0, 0));
    dc.FillRect(Rect{6, -3, 50, 30}, p);
    QImage painted(40, 30, QImage::Format_RGB32);
    painted.fill(Qt::white);
    {
        plat::DeviceContext device(&painted, Rect{0, 0, 40, 30});
        device.SetWindowOrg(5, -4);
        device.SelectClipRect(Rect{5, -4, 35, 20});
        device.SetBrushOrg(3, -2);
        device.FillRect(Rect{6, -3, 50, 30}, p);
    }
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const int lx = x + 5, ly = y - 4;
            const bool inside = lx >= 6 && lx < 35 && ly >= -3 && ly < 20;
            ASSERT_EQ(At(dc, x, y), inside ? expected(lx, ly) : kWhite) << x << "," << y;
            const QRgb q = painted.pixel(x, y);
            ASSERT_EQ(plat::Rgb(unsigned(qRed(q)), unsigned(qGreen(q)), unsigned(qBlue(q))), At(dc, x, y))
                << "painter's device at " << x << "," << y;
        }
}

TEST(DeviceContext, WindowOriginAndBlit)
{
    plat::DeviceContext src(10, 10);
    src.SetWindowOrg(100, 50);  // logical (100, 50) is pixel (0, 0)
    EXPECT_EQ(src.GetClipBox(), (Rect{100, 50, 110, 60}));
    src.FillRect(Rect{100, 50, 110, 60}, kWhite);
    src.FillRect(Rect{102, 51, 104, 52}, kRed);
    EXPECT_EQ(At(src, 2, 1), kRed);

    plat::DeviceContext dst(10, 10);
    dst.FillRect(Rect{0, 0, 10, 10}, kBlue);
    dst.BitBlt(5, 5, 3, 2, src, 101, 50);  // pixels (1..3, 0..1) of src
    EXPECT_EQ(At(dst, 6, 6), kRed);
    EXPECT_EQ(At(dst, 5, 5), kWhite);
    EXPECT_EQ(At(dst, 8, 5), kBlue);
    EXPECT_EQ(Count(dst, Rect{0, 0, 10, 10}, kBlue), 100 - 6);
}

// A copy within one context moves its pixels as if through a second buffer, in
// every direction and whatever the overlap, clipped to the clip and the buffer.
TEST(DeviceContext, BlitWithinItselfMovesOverlappingPixels)
{
    const struct {
        int dx, dy;
    } shifts[] = {{3, 0}, {-3, 0}, {0, 2}, {0, -2}, {1, 1}, {-2, 3}, {0, 1}, {0, 7}, {9, 0}};
    const int W = 9, H = 8;
    auto colourOf = [](int x, int y) { return Rgb(unsigned(10 + x), unsigned(20 + y), 7); };
    for (const auto& s : shifts) {
        SCOPED_TRACE(testing::Message() << "shift " << s.dx << ", " << s.dy);
        plat::DeviceContext dc(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                dc.SetPixel(x, y, colourOf(x, y));
        dc.SelectClipRect(Rect{0, 0, W, H - 1});  // the last row stays as it is
        dc.BitBlt(s.dx, s.dy, W, H, dc, 0, 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const int sx = x - s.dx, sy = y - s.dy;
                const bool moved = y < H - 1 && sx >= 0 && sx < W && sy >= 0 && sy < H;
                ASSERT_EQ(At(dc, x, y), moved ? colourOf(sx, sy) : colourOf(x, y)) << x << ", " << y;
            }
    }
}

TEST(DeviceContext, StretchesAnEightBitPictureBottomRowFirst)
{
    // 3 x 2 pixels, rows padded to 4 bytes; the first row stored is the bottom one.
    const unsigned char rows[] = {1, 2, 3, 9, 4, 5, 6, 9};
    plat::ColorRef colors[256] = {};
    const plat::ColorRef used[] = {
        0, Rgb(10, 0, 0), Rgb(20, 0, 0), Rgb(30, 0, 0), Rgb(0, 40, 0), Rgb(0, 50, 0), Rgb(0, 0, 60)};
    for (int i = 0; i < 7; ++i)
        colors[i] = used[i];
    plat::DeviceContext dc(8, 6);
    dc.FillRect(Rect{0, 0, 8, 6}, kWhite);
    dc.StretchDIBits8(Rect{1, 1, 7, 5}, 3, 2, rows, colors);  // each source pixel 2 x 2
    const struct {
        int x, y;
        plat::ColorRef color;
    } cases[] = {{1, 1, used[4]}, {2, 2, used[4]}, {3, 1, used[5]}, {6, 2, used[6]}, {1, 3, used[1]},
                 {4, 4, used[2]}, {6, 4, used[3]}, {0, 0, kWhite},  {7, 5, kWhite}};
    for (const auto& c : cases)
        EXPECT_EQ(At(dc, c.x, c.y), c.color) << c.x << "," << c.y;
    dc.StretchDIBits8(Rect{0, 0, 8, 6}, 3, 2, nullptr, colors);  // nothing to draw
    EXPECT_EQ(At(dc, 0, 0), kWhite);
}

TEST(DeviceContext, TextIsCentredAndClipped)
{
    plat::DeviceContext dc(120, 30);
    dc.FillRect(Rect{0, 0, 120, 30}, kWhite);
    dc.SetBkMode(plat::TRANSPARENT);
    dc.SetTextColor(kRed);
    dc.SelectClipRect(Rect{0, 0, 60, 30});
    dc.DrawText("MMMM", Rect{0, 0, 120, 30}, plat::DT_CENTER | plat::DT_VCENTER | plat::DT_SINGLELINE);
    dc.SelectClipRect(Rect{60, 0, 120, 30});
    dc.SetTextColor(kBlue);
    dc.DrawText("MMMM", Rect{0, 0, 120, 30}, plat::DT_CENTER | plat::DT_VCENTER | plat::DT_SINGLELINE);
    // Both halves of the centred text show, each only in its own colour and clip.
    EXPECT_GT(Count(dc, Rect{30, 0, 60, 30}, kRed), 0);
    EXPECT_GT(Count(dc, Rect{60, 0, 90, 30}, kBlue), 0);
    EXPECT_EQ(Count(dc, Rect{60, 0, 120, 30}, kRed), 0);
    EXPECT_EQ(Count(dc, Rect{0, 0, 60, 30}, kBlue), 0);
    EXPECT_EQ(Count(dc, Rect{0, 0, 25, 30}, kWhite), 25 * 30);  // centred, not at the left

    plat::DeviceContext opaque(60, 20);
    opaque.FillRect(Rect{0, 0, 60, 20}, kWhite);
    opaque.SetBkMode(plat::OPAQUE);
    opaque.SetBkColor(kBlue);
    opaque.SetTextColor(kBlack);
    opaque.TextOut(0, 0, "ii");
    EXPECT_EQ(At(opaque, 0, 0), kBlue);  // the text cell is filled
    EXPECT_EQ(At(opaque, 59, 19), kWhite);
}

TEST(DeviceContext, TextMeasuredEllipsisAndRightToLeft)
{
    plat::DeviceContext dc(200, 30);
    Rect measured{5, 3, 5, 3};
    const int height = dc.DrawText("MMMM", measured, plat::DT_SINGLELINE | plat::DT_CALCRECT);
    EXPECT_EQ(measured.left, 5);
    EXPECT_EQ(measured.top, 3);
    EXPECT_GT(measured.Width(), 10);
    EXPECT_EQ(measured.Height(), height);
    EXPECT_GT(height, 5);
    EXPECT_EQ(Count(dc, Rect{0, 0, 200, 30}, kBlack), 200 * 30);  // nothing drawn

    // A long line stays in its box, cut; with an ellipsis it ends otherwise.
    QImage cut[2];
    for (int i = 0; i < 2; ++i) {
        plat::DeviceContext line(200, 30);
        line.FillRect(Rect{0, 0, 200, 30}, kWhite);
        line.SetBkMode(plat::TRANSPARENT);
        line.SetTextColor(kBlack);
        line.DrawText(std::string(40, 'W'), Rect{0, 0, 60, 30},
                      plat::DT_SINGLELINE | plat::DT_VCENTER | (i ? unsigned(plat::DT_END_ELLIPSIS) : 0u));
        EXPECT_EQ(Count(line, Rect{60, 0, 200, 30}, kWhite), 140 * 30);
        EXPECT_LT(Count(line, Rect{0, 0, 60, 30}, kWhite), 60 * 30);
        cut[i] = line.Image();
    }
    EXPECT_NE(cut[0], cut[1]);

    // Right to left: a left-aligned line starts at the right.
    plat::DeviceContext rtl(200, 30);
    rtl.FillRect(Rect{0, 0, 200, 30}, kWhite);
    rtl.SetBkMode(plat::TRANSPARENT);
    rtl.SetTextColor(kBlack);
    rtl.DrawText("MM", Rect{0, 0, 200, 30}, plat::DT_SINGLELINE | plat::DT_RTLREADING);
    EXPECT_EQ(Count(rtl, Rect{0, 0, 100, 30}, kWhite), 100 * 30);
    EXPECT_LT(Count(rtl, Rect{100, 0, 200, 30}, kWhite), 100 * 30);
}

TEST(DeviceContext, StretchAndTransparentBlits)
{
    plat::DeviceContext src(4, 2);
    src.FillRect(Rect{0, 0, 2, 2}, kRed);
    src.FillRect(Rect{2, 0, 4, 2}, kBlue);
    plat::DeviceContext dst(16, 8);
    dst.FillRect(Rect{0, 0, 16, 8}, kWhite);
    dst.StretchBlt(0, 0, 8, 4, src, 0, 0, 4, 2);
    EXPECT_EQ(Count(dst, Rect{0, 0, 4, 4}, kRed), 16);
    EXPECT_EQ(Count(dst, Rect{4, 0, 8, 4}, kBlue), 16);
    EXPECT_EQ(Count(dst, Rect{8, 0, 16, 8}, kWhite), 64);
    // Blue is the transparent colour: only the red half lands.
    dst.TransparentBlt(8, 4, 4, 2, src, 0, 0, 4, 2, kBlue);
    EXPECT_EQ(Count(dst, Rect{8, 4, 10, 6}, kRed), 4);
    EXPECT_EQ(Count(dst, Rect{10, 4, 12, 6}, kWhite), 4);
}

TEST(DeviceContext, LinesLeaveOutTheirLastPixel)
{
    plat::DeviceContext dc(12, 12);
    dc.FillRect(Rect{0, 0, 12, 12}, kWhite);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 0, kRed});
    dc.MoveTo(1, 1);
    dc.LineTo(5, 1);  // pixels 1..4
    dc.LineTo(5, 4);  // pixels (5, 1..3)
    EXPECT_EQ(Count(dc, Rect{0, 0, 12, 12}, kRed), 4 + 3);
    EXPECT_EQ(At(dc, 4, 1), kRed);
    EXPECT_EQ(At(dc, 5, 4), kWhite);
    dc.MoveTo(10, 10);
    dc.LineTo(7, 7);  // a diagonal backwards: (10,10), (9,9), (8,8)
    EXPECT_EQ(At(dc, 8, 8), kRed);
    EXPECT_EQ(At(dc, 7, 7), kWhite);
    dc.MoveTo(3, 8);
    dc.LineTo(3, 8);  // no pixel at all
    EXPECT_EQ(At(dc, 3, 8), kWhite);

    // A null pen moves the position only; the window origin shifts the line.
    dc.SelectPen(plat::Pen{plat::Pen::Null, 0, kBlue});
    dc.LineTo(0, 11);
    EXPECT_EQ(Count(dc, Rect{0, 0, 12, 12}, kBlue), 0);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 0, kBlue});
    dc.SetWindowOrg(100, 0);
    dc.MoveTo(100, 11);
    dc.LineTo(103, 11);
    EXPECT_EQ(Count(dc, Rect{0, 11, 12, 12}, kBlue), 3);
}

TEST(DeviceContext, LinesFarOutsideAreCut)
{
    plat::DeviceContext dc(16, 8);
    dc.FillRect(Rect{0, 0, 16, 8}, kWhite);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 0, kRed});
    dc.SelectClipRect(Rect{2, 0, 14, 8});
    dc.MoveTo(INT_MIN, 3);
    dc.LineTo(INT_MAX, 3);
    dc.MoveTo(5, INT_MIN);
    dc.LineTo(5, INT_MAX);
    dc.MoveTo(-1000000000, -1000000000);
    dc.LineTo(1000000000, 1000000000);  // through (2, 2) .. (7, 7)
    EXPECT_EQ(Count(dc, Rect{2, 3, 14, 4}, kRed), 12);
    EXPECT_EQ(Count(dc, Rect{5, 0, 6, 8}, kRed), 8);
    EXPECT_EQ(At(dc, 7, 7), kRed);
    EXPECT_EQ(Count(dc, Rect{0, 0, 2, 8}, kRed) + Count(dc, Rect{14, 0, 16, 8}, kRed), 0);
}

// A wide solid pen: a band across the minor axis, end pixel included, cut to the clip.
TEST(DeviceContext, WidePensAndSinglePixels)
{
    plat::DeviceContext dc(20, 20);
    dc.FillRect(Rect{0, 0, 20, 20}, kWhite);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 4, kRed});
    dc.MoveTo(2, 5);
    dc.LineTo(10, 5);  // rows 3..6, columns 2..10
    EXPECT_EQ(Count(dc, Rect{0, 0, 20, 20}, kRed), 4 * 9);
    EXPECT_EQ(Count(dc, Rect{2, 3, 11, 7}, kRed), 4 * 9);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 3, kBlue});
    dc.SelectClipRect(Rect{0, 0, 20, 16});
    dc.MoveTo(15, 10);
    dc.LineTo(15, 40);  // columns 14..16, cut at row 16
    EXPECT_EQ(Count(dc, Rect{0, 0, 20, 20}, kBlue), 3 * 6);
    EXPECT_EQ(Count(dc, Rect{14, 10, 17, 16}, kBlue), 3 * 6);

    dc.SetPixel(0, 0, kBlue);
    dc.SetPixel(0, 19, kBlue);  // outside the clip
    dc.SetPixel(-1, 3, kBlue);
    EXPECT_EQ(At(dc, 0, 0), kBlue);
    EXPECT_EQ(At(dc, 0, 19), kWhite);
    EXPECT_EQ(Count(dc, Rect{0, 0, 20, 20}, kBlue), 3 * 6 + 1);
}

// Dotted lines: 3 pixels of dots, 3 of gaps, from each line's start; the gaps take the
// background colour when it is opaque. XOR and OR touch the colour bits only.
TEST(DeviceContext, DottedLinesAndWriteModes)
{
    const plat::ColorRef kGrey = Rgb(0x40, 0x80, 0xC0);
    struct Case {
        const char* name;
        plat::Rop2 rop;
        plat::BkMode bk;
        plat::ColorRef pen, bkColor;
        plat::ColorRef dot, gap;  // results over grey
    } cases[] = {
        {"copy opaque", plat::R2_COPYPEN, plat::OPAQUE, kRed, kWhite, kRed, kWhite},
        {"copy transparent", plat::R2_COPYPEN, plat::TRANSPARENT, kRed, kWhite, kRed, kGrey},
        {"xor black on white", plat::R2_XORPEN, plat::OPAQUE, kBlack, kWhite, kGrey, Rgb(0xBF, 0x7F, 0x3F)},
        {"or", plat::R2_MERGEPEN, plat::OPAQUE, kRed, kBlue, Rgb(0xFF, 0x80, 0xC0), Rgb(0x40, 0x80, 0xFF)},
        {"not, whatever the pen", plat::R2_NOT, plat::OPAQUE, kRed, kBlue, Rgb(0xBF, 0x7F, 0x3F), Rgb(0xBF, 0x7F, 0x3F)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::DeviceContext dc(20, 3);
        dc.FillRect(Rect{0, 0, 20, 3}, kGrey);
        dc.SelectPen(plat::Pen{plat::Pen::Dot, 0, c.pen});
        dc.SetBkMode(c.bk);
        dc.SetBkColor(c.bkColor);
        EXPECT_EQ(dc.SetROP2(c.rop), plat::R2_COPYPEN);
        dc.MoveTo(19, 1);
        dc.LineTo(0, 1);  // from the right: 19, 18, 17 dots, 16, 15, 14 gaps, ...
        for (int x = 1; x <= 19; ++x) {
            const bool dot = (19 - x) % 6 < 3;
            EXPECT_EQ(At(dc, x, 1), dot ? c.dot : c.gap) << "x " << x;
            EXPECT_EQ(qAlpha(dc.Image().pixel(x, 1)), 255);
        }
        EXPECT_EQ(At(dc, 0, 1), kGrey);  // the last pixel
        EXPECT_EQ(At(dc, 5, 0), kGrey);
    }

    // XOR twice restores every pixel.
    plat::DeviceContext dc(30, 30);
    for (int y = 0; y < 30; ++y)
        dc.FillRect(Rect{0, y, 30, y + 1}, Rgb(unsigned(y * 8), 100, unsigned(255 - y)));
    const QImage before = dc.Image().copy();
    dc.SelectPen(plat::Pen{plat::Pen::Dot, 0, kBlack});
    dc.SetROP2(plat::R2_XORPEN);
    for (int pass = 0; pass < 2; ++pass) {
        dc.MoveTo(7, 0);
        dc.LineTo(7, 30);
        dc.MoveTo(0, 11);
        dc.LineTo(30, 11);
        EXPECT_EQ(dc.Image() == before, pass == 1);
    }
}

TEST(DeviceContext, EmptyBufferDrawsNothing)
{
    plat::DeviceContext dc(0, 5);
    EXPECT_FALSE(dc.IsValid());
    EXPECT_TRUE(dc.GetClipBox().IsEmpty());
    dc.FillRect(Rect{0, 0, 5, 5}, kRed);
    dc.DrawText("x", Rect{0, 0, 5, 5}, plat::DT_CENTER);
    plat::DeviceContext other(4, 4);
    other.BitBlt(0, 0, 4, 4, dc, 0, 0);
    dc.MoveTo(0, 0);
    dc.LineTo(5, 0);
    SUCCEED();
}

}  // namespace
