#pragma once
// The arithmetic of the shell's bars, free of windows: where a flat button puts its icon
// and caption, the arrow's triangle, the arrows' repeat steps, the menu-bar button's
// states, and the scroll of a page inside its frame.

#include <optional>
#include <string>
#include <vector>

#include "platform/paint/Geometry.h"

enum BarState : int {
    kBarFlat = 1,
    kBarRaised = 2,
    kBarPressed = 3,
};

// Caption formats of the bar buttons (DrawText flags).
enum : unsigned {
    kCaptionCenter = 0x1,
    kCaptionRight = 0x2,
    kCaptionVCenter = 0x4,
    kCaptionWordBreak = 0x10,
};

struct FlatButtonLayout {
    int iconX = 0;
    CRect caption;
    CRect pressedCaption;
    unsigned format = 0;
};

// mode 1: icon above the caption; mode 2: icon left of it. fontHeight is negative.
FlatButtonLayout ComputeFlatButtonLayout(int mode, int width, int height, int iconWidth, int iconHeight,
                                         int fontHeight);

// Apex first, then the two corners of the base.
struct ArrowTriangle {
    CPoint points[3];
};

// direction -1 points left, 1 right.
ArrowTriangle ComputeArrowTriangle(int width, int height, int direction);

// One row of a filled shape: pixels x0 to x1, both included.
struct PixelSpan {
    int y = 0;
    int x0 = 0;
    int x1 = 0;
    bool operator==(const PixelSpan&) const = default;
};

// The pixels a triangle covers, its outline included, row by row from the top.
std::vector<PixelSpan> TriangleSpans(const ArrowTriangle& triangle);

// An arrow's auto-repeat while it is held: steps 1, 2, 3 ... on the timer, 10 on release.
class CArrowRepeat final {
public:
    void Press() { m_count = 1; }
    // A timer tick: the step to scroll by while the arrow is held with the mouse over it.
    std::optional<int> Tick(bool pressed, bool inside);
    // The last step, when released over the arrow.
    static std::optional<int> Release(bool inside);
    int Count() const { return m_count; }

private:
    int m_count = 1;
};

// A menu-bar button's flags; each call answers whether the button must be repainted.
struct MenuBarButtonState {
    int state = kBarFlat;
    int left = 1;  // the mouse is not known to be over it
    int pressed = 0;
    int menuOpen = 0;
    int closedByClick = 0;

    // Where the mouse is: over the client area or not.
    bool HitTest(bool client);
    // Answers whether the button must send its hover report (and clears the left flag).
    bool MouseMove();
    bool Leave();
    // A left press: answers whether the popup must open.
    bool Press();
    bool Release();
    bool MenuClosed();
};

// A menu-bar button is as wide as its caption plus 4 pixels on each side.
inline int MenuBarButtonWidth(int textWidth)
{
    return textWidth + 8;
}

// A page inside its frame: the page's place, the arrows and the part of the page shown.
struct BarScroll {
    static constexpr int kMarginX = 2;
    static constexpr int kMarginY = 2;
    static constexpr int kArrowWidth = 10;

    int pageX = kMarginX;
    int pageWidth = 0;
    int width = 0;   // the frame's client width
    int height = 0;  // the frame's height
    bool leftHidden = true;
    bool rightHidden = true;

    int Overhang() const { return pageX + pageWidth - width; }
    // The frame took the width W: the arrows follow, the page keeps its place.
    void Layout(int W);
    // The right arrow moves the page left by d; the left arrow right.
    void ScrollRight(int d);
    void ScrollLeft(int d);
    // The page's part left uncovered by the margins and the arrows, in page coordinates.
    CRect Clip() const;
    CRect LeftArrow() const;
    CRect RightArrow() const;

private:
    void UpdateArrows();
};

// The folder a picker chose, without its trailing '/', except the root itself.
std::string ChosenFolder(std::string path);
