#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/threads/GuiThread.h"
#include "platform/threads/PauseGate.h"
#include "PumpUntil.h"
#include "platform/windows/WindowHandle.h"

namespace {

using namespace std::chrono_literals;

struct Received {
    unsigned msg;
    plat::WParam wp;
    plat::LParam lp;
    std::thread::id thread;
};

// Runs the GUI thread's event loop until done() or two seconds have passed.
bool PumpUntil(const std::function<bool()>& done)
{
    return testsupport::PumpUntil(done, 2s);
}

plat::WindowHandle Recorder(QWidget* w, std::vector<Received>& log)
{
    return plat::WindowHandle::Attach(w, [&log](unsigned msg, plat::WParam wp, plat::LParam lp) -> plat::LResult {
        log.push_back({msg, wp, lp, std::this_thread::get_id()});
        return plat::LResult(msg + wp);
    });
}

TEST(WindowHandle, PostIsDeliveredLaterInOrderOnTheGuiThread)
{
    QWidget w;
    std::vector<Received> log;
    plat::WindowHandle h = Recorder(&w, log);
    std::thread worker([&] {
        EXPECT_TRUE(h.PostMessage(plat::WM_USER + 1, 10, -1));
        EXPECT_TRUE(h.PostMessage(plat::WM_USER + 2, 20, -2));
    });
    worker.join();
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(PumpUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log[0].msg, plat::WM_USER + 1);
    EXPECT_EQ(log[0].lp, -1);
    EXPECT_EQ(log[1].wp, 20u);
    EXPECT_EQ(log[1].thread, std::this_thread::get_id());
}

TEST(WindowHandle, SendRunsTheHandlerAndAnswersItsResult)
{
    QWidget w;
    std::vector<Received> log;
    plat::WindowHandle h = Recorder(&w, log);

    // On the GUI thread: direct.
    EXPECT_EQ(h.SendMessage(plat::WM_USER + 5, 3), plat::LResult(plat::WM_USER + 8));
    ASSERT_EQ(log.size(), 1u);

    // From a worker: blocks until the GUI thread has handled it.
    std::atomic<bool> done = false;
    plat::LResult result = 0;
    std::thread worker([&] {
        result = h.SendMessage(plat::WM_USER + 6, 1);
        done = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(done);  // nobody has run the GUI loop yet
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(result, plat::LResult(plat::WM_USER + 7));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].thread, std::this_thread::get_id());
}

TEST(WindowHandle, StaysValidAfterTheWindowIsGone)
{
    std::vector<Received> log;
    auto* w = new QWidget;
    plat::WindowHandle h = Recorder(w, log);
    plat::WindowHandle copy = h;
    EXPECT_TRUE(h.IsWindow());
    EXPECT_EQ(h.Widget(), w);

    EXPECT_TRUE(h.PostMessage(plat::WM_USER + 1));  // queued while the window exists
    delete w;
    EXPECT_FALSE(copy.IsWindow());
    EXPECT_EQ(copy.Widget(), nullptr);
    EXPECT_FALSE(copy.PostMessage(plat::WM_USER + 2));
    EXPECT_EQ(copy.SendMessage(plat::WM_USER + 3), 0);
    std::thread worker([&] { EXPECT_EQ(copy.SendMessage(plat::WM_USER + 4), 0); });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.empty());  // the queued post was dropped

    plat::WindowHandle none;
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.IsWindow());
    EXPECT_FALSE(none.PostMessage(plat::WM_USER));
    EXPECT_EQ(none.SendMessage(plat::WM_USER), 0);
}

TEST(WindowHandle, CloseDropsMessagesBeforeTheWidgetGoes)
{
    QWidget w;
    std::vector<Received> log;
    plat::WindowHandle h = Recorder(&w, log);
    h.PostMessage(plat::WM_USER);
    h.Close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(h.IsWindow());
}

TEST(WindowHandle, FoundFromItsWindow)
{
    EXPECT_FALSE(plat::WindowHandle::Of(nullptr));
    auto widget = std::make_unique<QWidget>();
    EXPECT_FALSE(plat::WindowHandle::Of(widget.get())) << "no handle attached";
    const plat::WindowHandle first =
        plat::WindowHandle::Attach(widget.get(), [](unsigned, plat::WParam, plat::LParam) { return plat::LResult(1); });
    EXPECT_EQ(plat::WindowHandle::Of(widget.get()), first);
    const plat::WindowHandle second =
        plat::WindowHandle::Attach(widget.get(), [](unsigned, plat::WParam, plat::LParam) { return plat::LResult(2); });
    EXPECT_EQ(plat::WindowHandle::Of(widget.get()), second) << "the last one attached";
    EXPECT_EQ(plat::WindowHandle::Of(widget.get()).SendMessage(plat::WM_USER), 2);
    widget.reset();
    EXPECT_FALSE(second.IsWindow());
}

TEST(GuiThread, CallCarriesExceptionsBackToTheCaller)
{
    EXPECT_TRUE(plat::IsGuiThread());
    std::atomic<bool> done = false;
    std::thread worker([&] {
        EXPECT_FALSE(plat::IsGuiThread());
        EXPECT_THROW(plat::CallOnGuiThread([] { throw 42; }), int);
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
}

TEST(PauseGate, HoldsAWaiterUntilOpened)
{
    plat::PauseGate gate;
    bool waited = true;
    gate.Wait(&waited);
    EXPECT_FALSE(waited);

    gate.Close();
    EXPECT_TRUE(gate.IsClosed());
    std::atomic<bool> passed = false;
    std::thread worker([&] {
        bool w = false;
        gate.Wait(&w);
        EXPECT_TRUE(w);
        passed = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(passed);
    gate.Open();
    worker.join();
    EXPECT_TRUE(passed);
}

}  // namespace
