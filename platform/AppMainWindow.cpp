#include "AppMainWindow.h"

#include "Hook.h"

namespace plat {

namespace {
Hook<WindowHandle>& MainWindow()
{
    static Hook<WindowHandle> hook;
    return hook;
}
}  // namespace

void SetAppMainWindow(WindowHandle window)
{
    MainWindow().Set(std::move(window));
}

WindowHandle AppMainWindow()
{
    return MainWindow().Get();
}

}  // namespace plat
