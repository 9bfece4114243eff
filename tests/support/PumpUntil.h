#pragma once
// Runs the GUI thread's event loop while a test waits for something to happen.

#include <QCoreApplication>
#include <chrono>
#include <functional>

namespace testsupport {

// Runs the event loop until done() or limit has passed; false when time ran out.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace testsupport
