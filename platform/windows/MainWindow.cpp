#include "platform/windows/MainWindow.h"

#include <mutex>

namespace plat {

namespace {
std::mutex g_lock;
WindowHandle g_main;
}  // namespace

void SetMainWindow(const WindowHandle& wnd)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_main = wnd;
}

WindowHandle MainWindow()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_main;
}

}  // namespace plat
