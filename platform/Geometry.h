#pragma once
// Rectangle of sample or pixel indices as the layer and window code pass it.
// Whether right and bottom are inclusive is the caller's convention.

struct RECT {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
