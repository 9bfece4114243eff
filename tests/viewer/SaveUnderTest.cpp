#include <gtest/gtest.h>

#include "platform/paint/BufferedWindow.h"
#include "OverlayTestView.h"
#include "platform/windows/SystemMetrics.h"
#include "window/SaveUnder.h"

namespace {

using overlaytest::View;

const plat::ColorRef kRed = plat::Rgb(255, 0, 0);

// Strips over a view: the strip area is given, so it can be wider than the screen.
class SaveUnderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.FreshRender();
        ASSERT_NE(save.Init(view.handle, 4, 4, 1024, 40), 0);
    }
    void Smear()
    {
        plat::DeviceContext dc(view);
        dc.FillRect(view.ClientRect(), kRed);
    }
    // Pixels that differ from the picture, as a bounding rectangle.
    plat::Rect Restored()
    {
        const QImage& buffer = view.Buffer();
        const QImage& picture = view.PictureImage();
        plat::Rect r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        int count = 0;
        for (int y = 0; y < buffer.height(); ++y)
            for (int x = 0; x < buffer.width(); ++x)
                if (buffer.pixel(x, y) == picture.pixel(x, y)) {
                    r = plat::Rect{std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1),
                                   std::max(r.bottom, y + 1)};
                    ++count;
                }
        if (count == 0)
            return plat::Rect{};
        EXPECT_EQ(count, r.Width() * r.Height()) << "restored pixels form one line";
        return r;
    }

    View view{1024, 40};  // hidden: wider than the offscreen screen
    CSaveUnder save;
};

TEST_F(SaveUnderTest, LinesAreNormalisedAndCut)
{
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
        bool horizontal;
        plat::Rect restored;  // empty: nothing saved
    } cases[] = {
        {"reversed horizontal", 100, 30, 20, 30, true, {20, 30, 101, 31}},
        {"wider than the area", -5, 10, 3000, 10, true, {0, 10, 1024, 11}},
        {"reversed vertical", 7, 39, 7, 2, false, {7, 2, 8, 40}},
        {"below the area", 9, 20, 9, 500, false, {9, 20, 10, 40}},
        {"one point is vertical", 5, 5, 5, 5, false, {5, 5, 6, 6}},
        {"cut to one point", -9, 3, 0, 3, false, {0, 3, 1, 4}},
        {"diagonal", 0, 0, 10, 10, true, {}},
        {"right of the area", 1024, 5, 2000, 5, true, {}},
        {"left of the area", -10, 3, -2, 3, true, {}},
        {"above the area", 4, -8, 4, -1, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.FreshRender();
        save.SaveLine(2, c.x1, c.y1, c.x2, c.y2);
        const bool saved = !c.restored.IsEmpty();
        EXPECT_EQ(save.IsSaved(c.horizontal, 2), saved);
        EXPECT_FALSE(save.IsSaved(!c.horizontal, 2));
        Smear();
        save.RestoreLine(2, c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(Restored(), c.restored);
        EXPECT_FALSE(save.IsSaved(true, 2) || save.IsSaved(false, 2));
    }
}

TEST_F(SaveUnderTest, FlagsDecideWhatIsRestored)
{
    // Restoring what was never saved leaves the window alone.
    Smear();
    const QImage smeared = view.Buffer().copy();
    save.RestoreLine(3, 0, 7, 500, 7);
    EXPECT_EQ(view.Buffer(), smeared);

    // Saving twice keeps the second save; one restore clears the flag.
    view.FreshRender();
    save.SaveLine(2, 0, 5, 99, 5);
    {
        plat::DeviceContext dc(view);
        dc.FillRect(plat::Rect{0, 5, 50, 6}, plat::Rgb(0, 0, 255));
    }
    const QImage second = view.Buffer().copy();
    save.SaveLine(2, 0, 5, 99, 5);
    Smear();
    save.RestoreLine(2, 0, 5, 99, 5);
    EXPECT_EQ(view.Buffer().copy(0, 5, 100, 1), second.copy(0, 5, 100, 1));
    EXPECT_FALSE(save.IsSaved(true, 2));
    Smear();
    save.RestoreLine(2, 0, 5, 99, 5);
    EXPECT_EQ(view.Buffer(), smeared);
}

TEST_F(SaveUnderTest, StripNumbersOutsideTheStripsAreIgnored)
{
    for (int n : {-1, 4, 1000, INT_MIN, INT_MAX}) {
        save.SaveLine(n, 0, 1, 50, 1);
        save.SaveLine(n, 3, 0, 3, 30);
        Smear();
        save.RestoreLine(n, 0, 1, 50, 1);
        save.RestoreLine(n, 3, 0, 3, 30);
        EXPECT_TRUE(Restored().IsEmpty()) << n;
        view.FreshRender();
    }
    for (int n = 0; n < 4; ++n)
        EXPECT_FALSE(save.IsSaved(true, n) || save.IsSaved(false, n));
}

TEST_F(SaveUnderTest, ListEntriesGoByTheirOwnCoordinates)
{
    // The vertical list holds a horizontal line and the horizontal list a vertical one.
    const int numbers[] = {0, 1};
    const CPoint vertFrom[] = {{10, 3}, {200, 12}}, vertTo[] = {{10, 30}, {300, 12}};
    const CPoint horzFrom[] = {{0, 20}, {600, 0}}, horzTo[] = {{700, 20}, {600, 39}};
    save.SaveLines(2, numbers, horzFrom, horzTo, 2, numbers, vertFrom, vertTo);
    EXPECT_TRUE(save.IsSaved(false, 0));  // (10, 3)-(10, 30)
    EXPECT_TRUE(save.IsSaved(true, 1));   // (200, 12)-(300, 12), overwritten by nothing
    EXPECT_TRUE(save.IsSaved(true, 0));   // (0, 20)-(700, 20)
    EXPECT_TRUE(save.IsSaved(false, 1));  // (600, 0)-(600, 39)
    Smear();
    save.RestoreLines(2, numbers, horzFrom, horzTo, 2, numbers, vertFrom, vertTo);
    const QImage& buffer = view.Buffer();
    const QImage& picture = view.PictureImage();
    for (const CPoint p : {CPoint{10, 3}, CPoint{10, 30}, CPoint{200, 12}, CPoint{300, 12}, CPoint{0, 20},
                           CPoint{700, 20}, CPoint{600, 0}, CPoint{600, 39}})
        EXPECT_EQ(buffer.pixel(p.x, p.y), picture.pixel(p.x, p.y)) << p.x << "," << p.y;
    EXPECT_NE(buffer.pixel(11, 3), picture.pixel(11, 3));
    for (int n = 0; n < 2; ++n)
        EXPECT_FALSE(save.IsSaved(true, n) || save.IsSaved(false, n));

    // Missing lists are skipped.
    save.SaveLines(2, nullptr, horzFrom, horzTo, 2, numbers, nullptr, vertTo);
    EXPECT_FALSE(save.IsSaved(true, 0) || save.IsSaved(false, 0));
}

TEST(SaveUnder, FailedInitSavesAndRestoresNothing)
{
    View view(60, 30);
    view.FreshRender();
    QWidget plain;
    const plat::WindowHandle notBuffered = plat::WindowHandle::Attach(&plain, nullptr);
    struct Case {
        const char* name;
        plat::WindowHandle wnd;
        int horz, vert, width, height;
    } cases[] = {
        {"no window", plat::WindowHandle(), 8, 8, 0, 0}, {"window without a buffer", notBuffered, 8, 8, 0, 0},
        {"no strips", view.handle, 0, 8, 0, 0},          {"negative strips", view.handle, 8, -1, 0, 0},
        {"negative width", view.handle, 8, 8, -100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSaveUnder save;
        ASSERT_NE(save.Init(view.handle, 2, 2, 60, 30), 0);  // a good start, then a failure
        EXPECT_EQ(save.Init(c.wnd, c.horz, c.vert, c.width, c.height), 0);
        save.SaveLine(0, 0, 1, 50, 1);
        EXPECT_FALSE(save.IsSaved(true, 0));
        {
            plat::DeviceContext dc(view);
            dc.FillRect(view.ClientRect(), kRed);
        }
        const QImage smeared = view.Buffer().copy();
        save.RestoreLine(0, 0, 1, 50, 1);
        EXPECT_EQ(view.Buffer(), smeared);
    }
}

TEST(SaveUnder, DefaultSizeIsTheVirtualDesktop)
{
    View view(60, 30);
    CSaveUnder save;
    ASSERT_NE(save.Init(view.handle, 8, 8), 0);
    EXPECT_EQ(save.Width(), plat::GetSystemMetrics(plat::SM_CXVIRTUALSCREEN));
    EXPECT_EQ(save.Height(), plat::GetSystemMetrics(plat::SM_CYVIRTUALSCREEN));
    EXPECT_GT(save.Width(), 0);
    save.Free();
    EXPECT_EQ(save.Width(), 0);
}

}  // namespace
