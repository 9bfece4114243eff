#pragma once
// Real to int for positions and pixel widths: truncated toward zero, clamped to the
// int range, and 0 for a value that is not a number.

#include <cmath>
#include <limits>

inline int TruncToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(value);
}
