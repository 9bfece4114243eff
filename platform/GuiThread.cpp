#include "GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <exception>
#include <memory>

namespace plat {

namespace {

// Qt hands work between threads through locks that ThreadSanitizer cannot see (Qt is
// not built with it); these tell it where the hand-over orders the two sides.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
void HandOver(void* token) { __tsan_release(token); }
void TakeOver(void* token) { __tsan_acquire(token); }
#else
void HandOver(void*) {}
void TakeOver(void*) {}
#endif

}  // namespace

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
