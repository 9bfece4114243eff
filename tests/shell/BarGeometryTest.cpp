#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BarGeometry.h"
#include "LinkRules.h"

TEST(BarGeometryTest, FlatButtonLayoutByMode)
{
    struct Case {
        int mode, w, h, iconW, iconH, fontHeight;
        int iconX;
        CRect caption, pressed;
        unsigned format;
    };
    const Case cases[] = {
        // The tool bar's button at 96 dots per inch.
        {1, 74, 65, 32, 32, -11, 21, CRect(3, 36, 71, 62), CRect(5, 38, 73, 64), kCaptionCenter | kCaptionWordBreak},
        // An icon wider than half the button keeps 3 pixels from the edge.
        {1, 40, 50, 38, 16, -11, 3, CRect(3, 20, 37, 47), CRect(5, 22, 39, 49), 0x11},
        // Icon left of the caption: the caption's top is half the height less 0.66 of the font.
        {2, 120, 40, 32, 32, -11, 3, CRect(36, 12, 117, 37), CRect(38, 14, 119, 39), kCaptionCenter},
        {2, 100, 41, 16, 16, -13, 3, CRect(20, 11, 97, 38), CRect(22, 13, 99, 40), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " " << c.w << "x" << c.h);
        const FlatButtonLayout l = ComputeFlatButtonLayout(c.mode, c.w, c.h, c.iconW, c.iconH, c.fontHeight);
        EXPECT_EQ(l.iconX, c.iconX);
        EXPECT_EQ(l.caption, c.caption);
        EXPECT_EQ(l.pressedCaption, c.pressed);
        EXPECT_EQ(l.format, c.format);
    }
}

TEST(BarGeometryTest, ArrowTriangleAndItsPixels)
{
    const ArrowTriangle left = ComputeArrowTriangle(10, 19, -1);
    EXPECT_EQ(left.points[0], (CPoint{4, 9}));
    EXPECT_EQ(left.points[1], (CPoint{6, 7}));
    EXPECT_EQ(left.points[2], (CPoint{6, 11}));
    const ArrowTriangle right = ComputeArrowTriangle(10, 19, 1);
    EXPECT_EQ(right.points[0], (CPoint{6, 9}));
    EXPECT_EQ(right.points[1], (CPoint{4, 7}));
    EXPECT_EQ(right.points[2], (CPoint{4, 11}));
    // s = 2 at width 10: a triangle five rows tall, outline included.
    EXPECT_EQ(TriangleSpans(left), (std::vector<PixelSpan>{{7, 6, 6}, {8, 5, 6}, {9, 4, 6}, {10, 5, 6}, {11, 6, 6}}));
    EXPECT_EQ(TriangleSpans(right), (std::vector<PixelSpan>{{7, 4, 4}, {8, 4, 5}, {9, 4, 6}, {10, 4, 5}, {11, 4, 4}}));
    // A short, wide arrow is limited by its height.
    const ArrowTriangle flat = ComputeArrowTriangle(40, 12, 1);
    EXPECT_EQ(flat.points[0], (CPoint{21, 6}));
    EXPECT_EQ(flat.points[1], (CPoint{18, 3}));
}

TEST(BarGeometryTest, RepeatStepsWhileHeldAndOnRelease)
{
    CArrowRepeat repeat;
    repeat.Press();
    std::vector<int> steps;
    for (int i = 0; i < 4; ++i)
        steps.push_back(repeat.Tick(true, true).value_or(-1));
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4}));
    // Dragged off the arrow: no step, the count starts again from 0 on coming back.
    EXPECT_FALSE(repeat.Tick(true, false).has_value());
    EXPECT_EQ(repeat.Tick(true, true), 0);
    EXPECT_EQ(repeat.Tick(true, true), 1);
    EXPECT_EQ(CArrowRepeat::Release(true), 10);
    EXPECT_FALSE(CArrowRepeat::Release(false).has_value());
    EXPECT_FALSE(repeat.Tick(false, true).has_value());
}

TEST(BarGeometryTest, MenuBarButtonStates)
{
    EXPECT_EQ(MenuBarButtonWidth(17), 25);
    MenuBarButtonState s;
    EXPECT_TRUE(s.HitTest(true));
    EXPECT_EQ(s.state, kBarRaised);
    EXPECT_TRUE(s.MouseMove());  // one hover report
    EXPECT_FALSE(s.MouseMove());
    EXPECT_TRUE(s.Press());  // opens
    EXPECT_EQ(s.state, kBarPressed);
    EXPECT_TRUE(s.HitTest(false) || s.state == kBarFlat);
    s.HitTest(true);
    EXPECT_EQ(s.state, kBarPressed);  // over it while the popup is open
    EXPECT_FALSE(s.Leave());          // the popup holds it down
    EXPECT_EQ(s.left, 1);
    s.MenuClosed();
    EXPECT_EQ(s.state, kBarFlat);  // the mouse had left
    EXPECT_EQ(s.menuOpen, 0);

    // Closed by a click on itself: that press does not open it again.
    MenuBarButtonState t;
    t.left = 0;
    ASSERT_TRUE(t.Press());
    t.MenuClosed();
    t.closedByClick = 1;
    EXPECT_FALSE(t.Press());
    EXPECT_EQ(t.state, kBarRaised);
    EXPECT_EQ(t.closedByClick, 0);
    EXPECT_TRUE(t.Release());
    EXPECT_FALSE(t.Release());
    EXPECT_TRUE(t.Press());  // the next press opens it
}

TEST(BarGeometryTest, FrameScrollsThePageBetweenItsArrows)
{
    // A page that fits shows no arrow; the clip spans the room between the margins.
    BarScroll fits;
    fits.pageWidth = 200;
    fits.height = 69;
    fits.Layout(204);
    EXPECT_TRUE(fits.leftHidden);
    EXPECT_TRUE(fits.rightHidden);
    EXPECT_EQ(fits.Clip(), CRect(0, 0, 200, 65));

    // 100 pixels wider than the frame.
    BarScroll s;
    s.pageWidth = 300;
    s.height = 69;
    s.Layout(200);
    EXPECT_TRUE(s.leftHidden);
    EXPECT_FALSE(s.rightHidden);
    EXPECT_EQ(s.RightArrow(), CRect(188, 2, 198, 67));
    EXPECT_EQ(s.Clip(), CRect(0, 0, 186, 65));
    s.ScrollRight(5);
    EXPECT_EQ(s.pageX, -3);
    EXPECT_FALSE(s.leftHidden);
    EXPECT_EQ(s.Clip(), CRect(15, 0, 191, 65));
    // Held until the page's right end sits at the right margin.
    for (int step = 1; step < 40; ++step)
        s.ScrollRight(step);
    EXPECT_EQ(s.pageX + s.pageWidth, 200 - 2);
    EXPECT_TRUE(s.rightHidden);
    EXPECT_FALSE(s.leftHidden);
    // And back until the left margin.
    s.ScrollLeft(50);
    EXPECT_FALSE(s.rightHidden);
    for (int step = 1; step < 40; ++step)
        s.ScrollLeft(step);
    EXPECT_EQ(s.pageX, 2);
    EXPECT_TRUE(s.leftHidden);

    // Widening the window until the page fits hides the right arrow; the place stays.
    s.ScrollRight(10);
    s.Layout(400);
    EXPECT_TRUE(s.rightHidden);
    EXPECT_EQ(s.pageX, -8);
    EXPECT_FALSE(s.leftHidden);
}

TEST(BarGeometryTest, ChosenFolderLosesItsTrailingSlash)
{
    EXPECT_EQ(ChosenFolder("/"), "/");
    EXPECT_EQ(ChosenFolder("/a/"), "/a");
    EXPECT_EQ(ChosenFolder("/a"), "/a");
    EXPECT_EQ(ChosenFolder(""), "");
}

TEST(LinkRulesTest, FittingKeepsTheAlignedEdge)
{
    const CRect r(10, 20, 110, 40);  // 100 x 20
    EXPECT_EQ(FitLinkRect(r, 60, 12, 0), CRect(10, 20, 70, 32));
    EXPECT_EQ(FitLinkRect(r, 60, 12, SS_RIGHT), CRect(50, 20, 110, 32));
    EXPECT_EQ(FitLinkRect(r, 60, 12, SS_CENTER), CRect(30, 20, 90, 32));
    EXPECT_EQ(FitLinkRect(r, 60, 12, SS_CENTER | SS_CENTERIMAGE), CRect(30, 24, 90, 36));
    EXPECT_EQ(FitLinkRect(r, 60, 12, SS_RIGHT | SS_CENTERIMAGE), CRect(50, 24, 110, 36));
}

TEST(LinkRulesTest, ErrorTexts)
{
    EXPECT_EQ(LinkErrorText(26), "A sharing violation occurred. ");
    EXPECT_EQ(LinkErrorMessage(31),
              "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.");
    EXPECT_EQ(LinkErrorText(2), "The specified file was not found.");
    EXPECT_EQ(LinkErrorText(77), "Unknown Error (77) occurred.");
    EXPECT_EQ(LinkErrorText(-1), "Unknown Error (-1) occurred.");
}

TEST(LinkRulesTest, CommandsAreCutAtTheirPlaceholder)
{
    struct Case {
        const char* command;
        const char* url;
        const char* expected;
    };
    const Case cases[] = {
        {"browser", "a@b.example", "browser a@b.example"},
        {"\"/opt/web/browser\" -new \"%1\"", "x.example", "\"/opt/web/browser\" -new  x.example"},
        {"browser %1 --tab", "x.example", "browser  x.example"},
        {"", "u", " u"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BrowserCommand(c.command, c.url), c.expected) << c.command;
    // A very long command and url are kept whole.
    const std::string longCommand(2000, 'c');
    const std::string longUrl(3000, 'u');
    EXPECT_EQ(BrowserCommand(longCommand, longUrl), longCommand + " " + longUrl);

    EXPECT_EQ(ExecLineAsCommand("firefox %u"), "firefox %1");
    EXPECT_EQ(ExecLineAsCommand("web --x \"%U\" %i"), "web --x \"%1\" ");
    EXPECT_EQ(ExecLineAsCommand("a %f 100%%"), "a %1 100%");
    EXPECT_EQ(SplitCommandLine("\"/opt/my web/b\" -new  "), (std::vector<std::string>{"/opt/my web/b", "-new"}));
    EXPECT_EQ(SplitCommandLine("a \"\" b"), (std::vector<std::string>{"a", "", "b"}));
}
