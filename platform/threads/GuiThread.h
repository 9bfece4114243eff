#pragma once
// Running work on the GUI thread (the thread of the application object).

#include <functional>

namespace plat {

// True on the GUI thread, and on any thread while no application object exists.
bool IsGuiThread();

// Runs fn on the GUI thread and returns when it has run; an exception thrown by fn
// reaches the caller. Direct on the GUI thread. From another thread it blocks until the
// GUI thread handled it, so the GUI thread must never wait for the caller meanwhile.
void CallOnGuiThread(const std::function<void()>& fn);

// Queues fn to run on the GUI thread later. Dropped when no application object exists.
void PostToGuiThread(std::function<void()> fn);

}  // namespace plat
