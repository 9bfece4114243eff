#include "platform/threads/GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <exception>
#include <memory>

#include "platform/threads/ThreadSanitizer.h"

namespace plat {

// Qt hands work between threads through locks that ThreadSanitizer cannot see (Qt is
// not built with it): HandOver and TakeOver tell it where the hand-over orders the two
// sides.

bool IsGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void CallOnGuiThread(const std::function<void()>& fn)
{
    if (IsGuiThread()) {
        fn();
        return;
    }
    std::exception_ptr failure;
    HandOver(&failure);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            TakeOver(&failure);
            try {
                fn();
            } catch (...) {
                failure = std::current_exception();
            }
            HandOver(&failure);
        },
        Qt::BlockingQueuedConnection);
    TakeOver(&failure);
    if (failure)
        std::rethrow_exception(failure);
}

void PostToGuiThread(std::function<void()> fn)
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        auto token = std::make_shared<std::function<void()>>(std::move(fn));
        HandOver(token.get());
        QMetaObject::invokeMethod(
            app,
            [token] {
                TakeOver(token.get());
                (*token)();
            },
            Qt::QueuedConnection);
    }
}

}  // namespace plat
