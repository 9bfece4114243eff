#include "BarGeometry.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

FlatButtonLayout ComputeFlatButtonLayout(int mode, int width, int height, int iconWidth, int iconHeight, int fontHeight)
{
    FlatButtonLayout out;
    if (mode == 2) {
        out.iconX = 3;
        const int top = static_cast<int>(height / 2 - std::abs(fontHeight) * 0.66);
        out.caption = CRect(iconWidth + 4, top, width - 3, height - 3);
        out.format = kCaptionCenter;
    } else {
        out.iconX = std::max(3, width / 2 - iconWidth / 2);
        out.caption = CRect(3, iconHeight + 4, width - 3, height - 3);
        out.format = kCaptionCenter | kCaptionWordBreak;
    }
    const CRect& c = out.caption;
    out.pressedCaption = CRect(c.left + 2, c.top + 2, c.right + 2, c.bottom + 2);
    return out;
}

ArrowTriangle ComputeArrowTriangle(int width, int height, int direction)
{
    int s = (2 * (width - 6)) / 3;
    if (2 * s - 1 > height - 6)
        s = (height - 6) / 2;
    const int cx = width / 2;
    const int cy = height / 2;
    ArrowTriangle t;
    if (direction < 0) {
        t.points[0] = {cx - s / 2, cy};
        t.points[1] = {t.points[0].x + s, cy - s};
        t.points[2] = {t.points[0].x + s, cy + s};
    } else {
        t.points[0] = {cx + s / 2, cy};
        t.points[1] = {t.points[0].x - s, cy - s};
        t.points[2] = {t.points[0].x - s, cy + s};
    }
    return t;
}

std::vector<PixelSpan> TriangleSpans(const ArrowTriangle& t)
{
    const CPoint* p = t.points;
    const int top = std::min({p[0].y, p[1].y, p[2].y});
    const int bottom = std::max({p[0].y, p[1].y, p[2].y});
    const int left = std::min({p[0].x, p[1].x, p[2].x});
    const int right = std::max({p[0].x, p[1].x, p[2].x});
    // A pixel belongs to the shape when it lies inside or on every edge.
    auto side = [](CPoint a, CPoint b, int x, int y) {
        return static_cast<long long>(b.x - a.x) * (y - a.y) - static_cast<long long>(b.y - a.y) * (x - a.x);
    };
    const long long area = side(p[0], p[1], p[2].x, p[2].y);
    std::vector<PixelSpan> spans;
    for (int y = top; y <= bottom; ++y) {
        PixelSpan span{y, 0, -1};
        for (int x = left; x <= right; ++x) {
            const long long a = side(p[0], p[1], x, y);
            const long long b = side(p[1], p[2], x, y);
            const long long c = side(p[2], p[0], x, y);
            const bool in = area >= 0 ? (a >= 0 && b >= 0 && c >= 0) : (a <= 0 && b <= 0 && c <= 0);
            if (!in)
                continue;
            if (span.x1 < span.x0)
                span.x0 = x;
            span.x1 = x;
        }
        if (span.x1 >= span.x0)
            spans.push_back(span);
    }
    return spans;
}

std::optional<int> CArrowRepeat::Tick(bool pressed, bool inside)
{
    if (!pressed || !inside) {
        m_count = 0;
        return std::nullopt;
    }
    return m_count++;
}

std::optional<int> CArrowRepeat::Release(bool inside)
{
    if (!inside)
        return std::nullopt;
    return 10;
}

bool MenuBarButtonState::HitTest(bool client)
{
    const int next = !client ? kBarFlat : menuOpen ? kBarPressed : kBarRaised;
    return std::exchange(state, next) != next;
}

bool MenuBarButtonState::MouseMove()
{
    if (menuOpen || !left)
        return false;
    left = 0;
    return true;
}

bool MenuBarButtonState::Leave()
{
    left = 1;
    if (menuOpen || state == kBarFlat)
        return false;
    state = kBarFlat;
    return true;
}

bool MenuBarButtonState::Press()
{
    pressed = 1;
    if (closedByClick) {
        closedByClick = 0;
        state = left ? kBarFlat : kBarRaised;
        menuOpen = 0;
        return false;
    }
    state = kBarPressed;
    menuOpen = 1;
    return true;
}

bool MenuBarButtonState::Release()
{
    if (!pressed)
        return false;
    pressed = 0;
    state = menuOpen ? kBarPressed : kBarRaised;
    return true;
}

bool MenuBarButtonState::MenuClosed()
{
    menuOpen = 0;
    pressed = 0;
    state = left ? kBarFlat : kBarRaised;
    return true;
}

void BarScroll::UpdateArrows()
{
    leftHidden = pageX >= kMarginX;
    rightHidden = Overhang() <= -kMarginX;
}

void BarScroll::Layout(int W)
{
    width = W;
    UpdateArrows();
}

void BarScroll::ScrollRight(int d)
{
    pageX -= d;
    if (Overhang() < -kMarginX) {
        pageX = -kMarginX + width - pageWidth;
        rightHidden = true;
    } else {
        rightHidden = false;
    }
    leftHidden = pageX >= kMarginX;
}

void BarScroll::ScrollLeft(int d)
{
    pageX += d;
    if (pageX >= kMarginX) {
        pageX = kMarginX;
        leftHidden = true;
    } else {
        leftHidden = false;
    }
    rightHidden = Overhang() < -kMarginX;
}

CRect BarScroll::Clip() const
{
    const int lw = leftHidden ? 0 : kArrowWidth;
    const int rw = rightHidden ? 0 : kArrowWidth;
    const int left = kMarginX + lw - pageX;
    return CRect(left, 0, left + width - lw - 2 * kMarginX - rw, height - 2 * kMarginY);
}

CRect BarScroll::LeftArrow() const
{
    return CRect(kMarginX, kMarginY, kMarginX + kArrowWidth, height - kMarginY);
}

CRect BarScroll::RightArrow() const
{
    return CRect(width - kMarginX - kArrowWidth, kMarginY, width - kMarginX, height - kMarginY);
}

std::string ChosenFolder(std::string path)
{
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
