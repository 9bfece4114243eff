#pragma once
// Colours as 0x00BBGGRR values, and the desktop's system colours.

#include <cstdint>

namespace plat {

using ColorRef = std::uint32_t;

constexpr ColorRef Rgb(unsigned r, unsigned g, unsigned b)
{
    return ColorRef((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr unsigned GetRValue(ColorRef c)
{
    return c & 0xFF;
}
constexpr unsigned GetGValue(ColorRef c)
{
    return (c >> 8) & 0xFF;
}
constexpr unsigned GetBValue(ColorRef c)
{
    return (c >> 16) & 0xFF;
}

// Indexes of the system colours, numbered as the classic desktop numbers them.
enum SysColor : int {
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_3DFACE = COLOR_BTNFACE,
    COLOR_3DSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_3DHILIGHT = 20,
    COLOR_3DLIGHT = 22,
};

// The colour from the application's palette (fixed defaults without an application);
// black for an index not listed above.
ColorRef GetSysColor(int index);

}  // namespace plat
