#pragma once
// The application's main window: the window that program-wide notices go to (an image
// viewer announces itself there). Null until the program sets it.

#include "WindowHandle.h"

namespace plat {

void SetAppMainWindow(WindowHandle window);
WindowHandle AppMainWindow();

}  // namespace plat
