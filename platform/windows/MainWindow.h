#pragma once
// The application's main window: the one a program registers as its main window.
// Windows that announce themselves to "the main window" send to this handle; none
// registered, they send nowhere.

#include "platform/windows/WindowHandle.h"

namespace plat {

// Registers wnd as the main window (a null handle: none). Any thread.
void SetMainWindow(const WindowHandle& wnd);
// The registered main window, or the null handle.
WindowHandle MainWindow();

}  // namespace plat
