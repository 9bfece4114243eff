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
};

struct CSize {
    int cx = 0;
    int cy = 0;
};
