#pragma once
// Private messages of the viewer's windows.

#include "platform/windows/WindowHandle.h"

inline constexpr unsigned WM_VIEWER_NOTIFY = plat::WM_USER + 500;   // lParam: notice code
inline constexpr unsigned WM_VIEWER_DLGCMD = plat::WM_USER + 501;   // tool dialog request
inline constexpr unsigned WM_VIEWER_POINTER = plat::WM_USER + 507;  // the cross-hair moved
inline constexpr unsigned WM_VIEWER_CURSOR = plat::WM_USER + 510;   // wParam: cursor code
inline constexpr unsigned WM_VIEWER_STATUS = plat::WM_USER + 511;   // refresh the status panes

// WM_VIEWER_NOTIFY code of a moved selection frame or point marker (wParam -1).
inline constexpr plat::LParam VIEWER_NOTIFY_FRAME = 4;
