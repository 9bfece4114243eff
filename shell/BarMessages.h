#pragma once
// Private messages between the shell's bar controls and the windows that hold them.

#include "platform/windows/WindowHandle.h"

enum : unsigned {
    WM_BAR_LEAVE = plat::WM_USER + 0x0A,   // to a control: the mouse is no longer over you
    WM_BAR_HOVER = plat::WM_USER + 0x0B,   // to the parent, wParam the control: it has the mouse
    WM_BAR_SCROLL = plat::WM_USER + 0x0E,  // from an arrow: wParam its id, lParam the step
    WM_BAR_MENU_CLOSED = 0x8000 + 1000,    // to a menu-bar button: its popup has closed
};

// A left press handed to a bar control by message, lParam the point (x low, y high).
inline constexpr unsigned WM_BAR_LBUTTONDOWN = 0x0201;
