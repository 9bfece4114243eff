#pragma once
// Opening a file with the desktop's own handler for its kind (help files, web pages).

#include <functional>
#include <string>

namespace plat {

// Hands path to the desktop's handler; false when the file does not exist or no
// handler could be started.
bool OpenWithDesktop(const std::string& path);

// Tests install an opener that records the path instead of starting a program.
// Returns the previous one; an empty function restores the desktop's handler.
using DesktopOpener = std::function<bool(const std::string& path)>;
DesktopOpener SetDesktopOpener(DesktopOpener opener);

}  // namespace plat
