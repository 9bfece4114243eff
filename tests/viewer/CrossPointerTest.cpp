#include <gtest/gtest.h>

#include "OverlayTestView.h"
#include "window/CrossPointer.h"
#include "window/ViewerMessages.h"

namespace {

using overlaytest::View;

// The picture with the cross-hair's XOR lines at (cx, cy) over a w x h client area: along
// each line 3 pixels of black dots (no change), then 3 of white gaps (inverted); the
// crossing pixel is XORed by both lines.
QImage WithCross(const QImage& picture, int cx, int cy)
{
    QImage out = picture.copy();
    auto invert = [&](int x, int y) { out.setPixel(x, y, out.pixel(x, y) ^ 0x00FFFFFFu); };
    for (int y = 0; y < out.height(); ++y)
        if (y % 6 >= 3)
            invert(cx, y);
    for (int x = 0; x < out.width(); ++x)
        if (x % 6 >= 3)
            invert(x, cy);
    return out;
}

class CrossPointerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.show();
        view.FreshRender();
        cross.Attach(view.handle, 50, 60);
        view.cross = &cross;
    }

    View view{120, 80};
    CCrossPointer cross;
};

TEST_F(CrossPointerTest, ShowCentresAndDrawsDottedXorLines)
{
    EXPECT_EQ(cross.GetCentre(), (CPoint{50, 60}));
    EXPECT_FALSE(cross.IsShown());
    cross.Show(true);
    EXPECT_EQ(cross.GetCentre(), (CPoint{60, 40}));
    const QImage& buffer = view.Buffer();
    EXPECT_EQ(buffer, WithCross(view.PictureImage(), 60, 40));
    // Key pixels: a dot leaves the picture, a gap inverts it; at the crossing the
    // vertical line has a gap (row 40) and the horizontal one a dot (column 60).
    const QImage& picture = view.PictureImage();
    EXPECT_EQ(buffer.pixel(60, 2), picture.pixel(60, 2));
    EXPECT_EQ(buffer.pixel(60, 3), picture.pixel(60, 3) ^ 0xFFFFFFu);
    EXPECT_EQ(buffer.pixel(5, 40), picture.pixel(5, 40) ^ 0xFFFFFFu);
    EXPECT_EQ(buffer.pixel(60, 40), picture.pixel(60, 40) ^ 0xFFFFFFu);
    EXPECT_EQ(buffer.pixel(61, 41), picture.pixel(61, 41));
    EXPECT_EQ(view.Count(WM_VIEWER_POINTER), 0);

    // Whatever the centre was, showing puts it in the middle again.
    cross.SetPosition(10, 10);
    cross.Show(false);
    cross.Show(true);
    EXPECT_EQ(cross.GetCentre(), (CPoint{60, 40}));
    EXPECT_EQ(view.Buffer(), WithCross(view.PictureImage(), 60, 40));
}

TEST_F(CrossPointerTest, ShowingAndHidingRestoresThePicture)
{
    const QImage before = view.Buffer().copy();
    for (int i = 0; i < 4; ++i) {
        cross.Show(true);
        cross.Show(true);  // nothing
        EXPECT_NE(view.Buffer(), before);
        cross.SetPosition(17 + i, 33 - i);
        cross.Show(false);
        cross.Show(false);  // nothing
        EXPECT_EQ(view.Buffer(), before) << "round " << i;
    }
}

TEST_F(CrossPointerTest, SetPositionNoticesOnlyWhileShown)
{
    cross.SetPosition(10, 20);
    cross.Offset(3, 3);
    EXPECT_EQ(cross.GetCentre(), (CPoint{50, 60}));
    EXPECT_EQ(view.Count(WM_VIEWER_POINTER), 0);
    EXPECT_EQ(view.Buffer(), view.PictureImage());

    cross.Show(true);
    cross.SetPosition(30, 20);
    EXPECT_EQ(view.Count(WM_VIEWER_POINTER), 1);
    EXPECT_EQ(view.messages.back().wp, 0u);
    EXPECT_EQ(view.messages.back().lp, 0);
    EXPECT_EQ(view.Buffer(), WithCross(view.PictureImage(), 30, 20));
    cross.Offset(5, -3);
    EXPECT_EQ(cross.GetCentre(), (CPoint{35, 17}));
    EXPECT_EQ(view.Count(WM_VIEWER_POINTER), 2);
    EXPECT_EQ(view.Buffer(), WithCross(view.PictureImage(), 35, 17));

    EXPECT_TRUE(cross.HitTest(39, 13));
    EXPECT_FALSE(cross.HitTest(40, 17));
    EXPECT_FALSE(cross.HitTest(35, 12));

    // A full repaint draws the picture and the lines once.
    EXPECT_EQ(view.FreshRender(), WithCross(view.PictureImage(), 35, 17));
}

TEST_F(CrossPointerTest, LinesSpanTheClientAfterAResize)
{
    cross.Show(true);
    view.resize(200, 100);
    view.FreshRender();  // the picture covers 120 x 80, the rest is white
    cross.Show(false);
    cross.Show(true);
    EXPECT_EQ(cross.GetCentre(), (CPoint{100, 50}));
    const QImage& buffer = view.Buffer();
    EXPECT_EQ(buffer.pixel(197, 50), 0xFF000000u);  // a gap over white, inverted
    EXPECT_EQ(buffer.pixel(194, 50), 0xFFFFFFFFu);  // a dot
    EXPECT_EQ(buffer.pixel(100, 99), 0xFF000000u);
    EXPECT_EQ(buffer.pixel(100, 96), 0xFFFFFFFFu);

    // Moving after the window shrank takes off exactly what was drawn.
    view.resize(90, 70);
    cross.SetPosition(20, 30);
    cross.Show(false);
    EXPECT_EQ(view.Buffer(), view.PictureImage().copy(0, 0, 90, 70));
}

TEST(CrossPointer, WithoutAWindowNothingIsDrawnOrSent)
{
    CCrossPointer cross;
    cross.Show(true);
    EXPECT_TRUE(cross.IsShown());
    EXPECT_EQ(cross.GetCentre(), (CPoint{0, 0}));
    cross.SetPosition(5, 6);
    EXPECT_EQ(cross.GetCentre(), (CPoint{5, 6}));
    cross.Show(false);
}

}  // namespace
