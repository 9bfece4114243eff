#pragma once
// Rectangle, point and size of sample or pixel indices as the layer and window
// code pass them. Whether right and bottom are inclusive is the caller's convention.

struct RECT {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct CPoint {
    int x = 0;
    int y = 0;
    bool operator==(const CPoint&) const = default;
};

struct CSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const CSize&) const = default;
};

// A rectangle with MFC's helpers; right and bottom as the caller counts them.
struct CRect : RECT {
    CRect() = default;
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const CRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};
