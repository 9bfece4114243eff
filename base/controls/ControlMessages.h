#pragma once
// Notices of the typed edit field and the grid to the window they lie in. Each carries
// the sending control in lParam, except the edit's key notice, which carries the
// control in wParam and the virtual key in lParam. A control named in a posted notice
// may be gone when it arrives: compare it, never use it.

#include "platform/windows/WindowHandle.h"

inline constexpr unsigned WM_DISEDIT_FOCUS = plat::WM_USER + 550;  // wParam: the window that lost the focus
inline constexpr unsigned WM_DISEDIT_KEY = plat::WM_USER + 551;
inline constexpr unsigned WM_LISTFRAME_ROW = plat::WM_USER + 554;     // wParam 38 (row), 13 (Enter) or a key
inline constexpr unsigned WM_LISTFRAME_SAMEROW = plat::WM_USER + 555; // wParam 38
inline constexpr unsigned WM_LISTFRAME_EDITOPEN = plat::WM_USER + 556;
inline constexpr unsigned WM_LISTFRAME_EDITCLOSE = plat::WM_USER + 557;
inline constexpr unsigned WM_LISTFRAME_EDITCHANGE = plat::WM_USER + 558;
