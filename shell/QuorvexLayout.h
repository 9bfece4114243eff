#pragma once
// Where the main window and its two bars go: pure arithmetic on the screen's dots per
// inch, the menu height, the window's borders and the widths of the bar pages.

#include <vector>

struct QuorvexLayoutInput {
    int dpiX = 96;
    int dpiY = 96;
    int cyMenu = 19;     // height of a menu bar line
    int borderLeft = 0;  // non-client sizes of the window
    int borderTop = 0;
    int borderRight = 0;
    int borderBottom = 0;
    int screenWidth = 1280;
    int menuPageWidth = 0;                // total width of the menu-bar buttons
    std::vector<int> categoryItemCounts;  // items of each tool-bar category
};

struct QuorvexBand {
    int top = 0;
    int height = 0;
};

struct QuorvexLayout {
    static constexpr int kMarginX = 2;
    static constexpr int kMarginY = 2;

    int fontHeight = 0;  // negative: a character height in pixels
    int buttonWidth = 0;
    int buttonHeight = 0;
    QuorvexBand menuFrame;  // the two frames overlap by the vertical margin
    QuorvexBand toolFrame;
    int toolPageWidth = 0;  // every category page: the widest category's buttons
    int contentWidth = 0;
    int windowX = 0;
    int windowY = 0;  // always the top of the screen
    int windowWidth = 0;
    int windowHeight = 0;  // fixed: moving never changes it
};

QuorvexLayout ComputeQuorvexLayout(const QuorvexLayoutInput& in);
