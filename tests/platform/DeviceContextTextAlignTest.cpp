// TextOut's reference point by the text alignment, and text turned by an escapement.

#include <gtest/gtest.h>

#include <QFontMetrics>

#include "platform/paint/DeviceContext.h"

namespace {

using plat::Rect;

// The smallest rectangle around every pixel that is not black.
Rect Ink(const plat::DeviceContext& dc)
{
    const QImage& image = dc.Image();
    Rect box{image.width(), image.height(), -1, -1};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}

QFont TestFont()
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    return font;
}

TEST(DeviceContextText, AlignmentPlacesTheReferencePoint)
{
    const QFontMetrics metrics(TestFont());
    const int width = metrics.horizontalAdvance(QStringLiteral("888"));
    const int ascent = metrics.ascent();
    const struct Case {
        unsigned align;
        int left, top;  // where the text cell starts, relative to the point
    } cases[] = {
        {plat::TA_LEFT | plat::TA_TOP, 0, 0},
        {plat::TA_RIGHT | plat::TA_TOP, -width, 0},
        {plat::TA_CENTER | plat::TA_TOP, -width / 2, 0},
        {plat::TA_RIGHT | plat::TA_BASELINE, -width, -ascent},
        {plat::TA_CENTER | plat::TA_BASELINE, -width / 2, -ascent},
    };
    // The ink of the left-top case, relative to its cell.
    Rect reference;
    for (const Case& c : cases) {
        plat::DeviceContext dc(200, 80);
        dc.SelectFont(TestFont());
        dc.SetBkMode(plat::TRANSPARENT);
        dc.SetTextColor(plat::Rgb(255, 255, 255));
        dc.SetTextAlign(c.align);
        dc.TextOut(100, 40, "888");
        const Rect ink = Ink(dc);
        ASSERT_LT(ink.left, ink.right) << c.align;
        if (c.align == (plat::TA_LEFT | plat::TA_TOP))
            reference = Rect{ink.left - 100, ink.top - 40, ink.right - 100, ink.bottom - 40};
        EXPECT_EQ(ink.left, 100 + c.left + reference.left) << c.align;
        EXPECT_EQ(ink.top, 40 + c.top + reference.top) << c.align;
        EXPECT_EQ(ink.Width(), reference.Width()) << c.align;
        if ((c.align & plat::TA_BASELINE) == plat::TA_BASELINE)
            EXPECT_LE(ink.bottom, 41) << "digits stand on the baseline";
    }
}

TEST(DeviceContextText, EscapementTurnsTheTextToReadUpwards)
{
    plat::DeviceContext flat(200, 200);
    flat.SelectFont(TestFont());
    flat.SetBkMode(plat::TRANSPARENT);
    flat.SetTextColor(plat::Rgb(255, 255, 255));
    flat.TextOut(50, 100, "MMMM.");
    const Rect lying = Ink(flat);

    plat::DeviceContext dc(200, 200);
    dc.SelectFont(TestFont());
    dc.SetBkMode(plat::TRANSPARENT);
    dc.SetTextColor(plat::Rgb(255, 255, 255));
    EXPECT_EQ(dc.SetTextEscapement(900), 0);
    dc.SetTextAlign(plat::TA_CENTER | plat::TA_BASELINE);
    dc.TextOut(100, 100, "MMMM.");
    const Rect standing = Ink(dc);
    EXPECT_NEAR(standing.Width(), lying.Height(), 1);
    EXPECT_NEAR(standing.Height(), lying.Width(), 1);
    // Centred on the point along the text; the glyphs stand on the baseline, which now
    // runs upwards through the point, so they lie left of it.
    EXPECT_NEAR((standing.top + standing.bottom) / 2.0, 100.0, 2.0);
    EXPECT_LE(standing.right, 101);
    EXPECT_GT(standing.right, 95);
    // Reading upwards, the full stop at the end sits at the top, by the baseline.
    const QImage& image = dc.Image();
    for (int x = standing.left; x < standing.right; ++x)
        if ((image.pixel(x, standing.top) & 0xFFFFFF) != 0)
            EXPECT_GT(x, (standing.left + standing.right) / 2) << x;

    // An opaque background fills the turned cell, not a lying one.
    plat::DeviceContext cell(200, 200);
    cell.SelectFont(TestFont());
    cell.SetBkMode(plat::OPAQUE);
    cell.SetBkColor(plat::Rgb(0, 0, 255));
    cell.SetTextEscapement(900);
    cell.TextOut(100, 150, "MMMM.");
    const Rect filled = Ink(cell);
    EXPECT_GT(filled.Height(), filled.Width());
    EXPECT_EQ(filled.bottom, 150);
    EXPECT_EQ(filled.left, 100);
}

}  // namespace
