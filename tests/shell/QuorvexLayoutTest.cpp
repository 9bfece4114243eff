#include <gtest/gtest.h>

#include "QuorvexLayout.h"

TEST(QuorvexLayoutTest, FontButtonsFramesAndWindowFollowTheScreen)
{
    struct Case {
        const char* name;
        int dpiX, dpiY, cyMenu, screenWidth, menuPageWidth;
        int fontHeight, buttonWidth, buttonHeight;
        int toolTop, windowX, windowWidth, windowHeight;
    } const cases[] = {
        // 3 buttons: content 222 (96 dpi), 276 (120 dpi), 168 (72 dpi); borders 4/24/4/4.
        {"96 dpi", 96, 96, 19, 1280, 120, -11, 74, 65, 21, (1280 - 234) / 2, 234, 24 + 19 + 2 + 65 + 2 + 2 + 4},
        {"120 dpi rounds 92.5 down to even", 120, 120, 23, 1600, 150, -13, 92, 73, 25, (1600 - 288) / 2, 288,
         24 + 23 + 2 + 73 + 2 + 2 + 4},
        {"72 dpi", 72, 72, 15, 1024, 90, -8, 56, 57, 17, (1024 - 180) / 2, 180, 24 + 15 + 2 + 57 + 2 + 2 + 4},
        {"menu wider than the tool bar", 96, 96, 19, 1280, 300, -11, 74, 65, 21, (1280 - 312) / 2, 312,
         24 + 19 + 2 + 65 + 2 + 2 + 4},
        {"narrow screen", 96, 96, 19, 200, 120, -11, 74, 65, 21, 0, 200, 24 + 19 + 2 + 65 + 2 + 2 + 4},
        {"tiny dpi keeps buttons at 38", 20, 20, 10, 800, 50, -2, 38, 40, 12, (800 - 126) / 2, 126,
         24 + 10 + 2 + 40 + 2 + 2 + 4},
    };
    for (const Case& c : cases) {
        QuorvexLayoutInput in;
        in.dpiX = c.dpiX;
        in.dpiY = c.dpiY;
        in.cyMenu = c.cyMenu;
        in.borderLeft = 4;
        in.borderTop = 24;
        in.borderRight = 4;
        in.borderBottom = 4;
        in.screenWidth = c.screenWidth;
        in.menuPageWidth = c.menuPageWidth;
        in.categoryItemCounts = {3};
        const QuorvexLayout out = ComputeQuorvexLayout(in);
        EXPECT_EQ(out.fontHeight, c.fontHeight) << c.name;
        EXPECT_EQ(out.buttonWidth, c.buttonWidth) << c.name;
        EXPECT_EQ(out.buttonHeight, c.buttonHeight) << c.name;
        // The menu frame runs from 0 to cyMenu + 4; the tool frame overlaps it by 2.
        EXPECT_EQ(out.menuFrame.top, 0) << c.name;
        EXPECT_EQ(out.menuFrame.height, c.cyMenu + 4) << c.name;
        EXPECT_EQ(out.toolFrame.top, c.toolTop) << c.name;
        EXPECT_EQ(out.toolFrame.height, c.buttonHeight + 4) << c.name;
        EXPECT_EQ(out.toolPageWidth, 3 * c.buttonWidth) << c.name;
        EXPECT_EQ(out.windowX, c.windowX) << c.name;
        EXPECT_EQ(out.windowY, 0) << c.name;
        EXPECT_EQ(out.windowWidth, c.windowWidth) << c.name;
        EXPECT_EQ(out.windowHeight, c.windowHeight) << c.name;
    }
}

TEST(QuorvexLayoutTest, OddLeftoverWidthCentresTowardZero)
{
    QuorvexLayoutInput in;
    in.screenWidth = 1001;
    in.categoryItemCounts = {3};
    const QuorvexLayout out = ComputeQuorvexLayout(in);
    EXPECT_EQ(out.windowWidth, 226);
    EXPECT_EQ(out.windowX, (1001 - 226) / 2);
}
