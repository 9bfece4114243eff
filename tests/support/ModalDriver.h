#pragma once
// Drives modal loops from inside, so that no test can wait for ever on a window: steps run
// once the window is up, each tried again until it says it is done, and a deadline ends
// whatever loop is still open and fails the test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

namespace testsupport {

// Far above any modal test's normal run, far below CTest's limit for its program.
inline constexpr std::chrono::milliseconds kModalLimit{20000};

// Ends every modal loop open on the GUI thread: popups close, modal dialogs are rejected,
// other modal windows hide. Answers whether there was one.
inline bool EndModalLoops()
{
    bool found = false;
    for (int round = 0; round < 32; ++round) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            found = true;
            continue;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            break;
        found = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->hide();
    }
    return found;
}

// Closes every visible top-level window: ends a program's own event loop (its last window
// closing quits it), after the modal loops inside it.
inline void CloseTopLevelWindows()
{
    EndModalLoops();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            w->close();
}

// While it lives and once limit has passed, fails the running test once and then, every
// 100 ms, ends what is still open (the modal loops, or what end ends).
class ModalDeadline final {
public:
    explicit ModalDeadline(std::chrono::milliseconds limit = kModalLimit, std::function<void()> end = {})
        : m_limit(limit), m_end(std::move(end))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Expire(); });
        m_timer.setSingleShot(false);
        m_timer.start(limit);
    }
    ModalDeadline(const ModalDeadline&) = delete;
    ModalDeadline& operator=(const ModalDeadline&) = delete;

    bool Expired() const { return m_expired; }
    void Stop() { m_timer.stop(); }

private:
    void Expire()
    {
        if (!m_expired) {
            m_expired = true;
            ADD_FAILURE() << "a modal loop was still open after " << m_limit.count() << " ms; the test ended it";
            m_timer.start(100);
        }
        if (m_end)
            m_end();
        else
            EndModalLoops();
    }

    std::chrono::milliseconds m_limit;
    std::function<void()> m_end;
    QTimer m_timer;
    bool m_expired = false;
};

// The steps of a script that runs inside a modal loop. Every 10 ms, while ready() says the
// window is up, the next step runs; it answers true when it is done, false to be tried
// again at the next tick (an effect that did not take, an event that has not come yet).
class ModalSteps final {
public:
    using Step = std::function<bool()>;
    ModalSteps(std::function<bool()> ready, std::vector<Step> steps, std::chrono::milliseconds limit = kModalLimit,
               std::function<void()> end = {})
        : m_ready(std::move(ready)), m_steps(std::move(steps)), m_deadline(limit, std::move(end))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_next < m_steps.size() && m_ready() && m_steps[m_next]())
                ++m_next;
        });
        m_timer.start(10);
    }
    ModalSteps(const ModalSteps&) = delete;
    ModalSteps& operator=(const ModalSteps&) = delete;

    size_t Done() const { return m_next; }
    bool Finished() const { return m_next == m_steps.size(); }
    bool Expired() const { return m_deadline.Expired(); }
    // The modal call has returned: nothing more runs.
    void Stop()
    {
        m_timer.stop();
        m_deadline.Stop();
    }

private:
    std::function<bool()> m_ready;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    QTimer m_timer;
    ModalDeadline m_deadline;
};

// True while w is shown as the innermost modal window.
inline bool IsActiveModal(const QWidget* w)
{
    return w != nullptr && w->isVisible() && QApplication::activeModalWidget() == w;
}

// Runs call, which enters a modal loop, with the steps driven from inside that loop;
// answers what call answers. Steps left undone when it returns fail the test.
// end replaces EndModalLoops at the deadline (CloseTopLevelWindows for a program's own loop).
template <class Call>
auto RunModal(std::function<bool()> ready, std::vector<ModalSteps::Step> steps, Call&& call,
              std::chrono::milliseconds limit = kModalLimit, std::function<void()> end = {})
{
    ModalSteps script(std::move(ready), std::move(steps), limit, std::move(end));
    auto result = call();
    script.Stop();
    EXPECT_TRUE(script.Finished()) << "the modal loop ended after " << script.Done() << " of its steps";
    return result;
}

// A step that runs act once and is done.
inline ModalSteps::Step Once(std::function<void()> act)
{
    return [act = std::move(act)] {
        act();
        return true;
    };
}

// For helpers that set up the answer to a window before the action that opens it: once
// find() answers a visible window, act runs on it once. Unless the window is gone within
// limit of its start, the test fails and the modal loops are ended. Lives on its own.
template <class W>
void WhenShown(std::function<W*()> find, std::function<void(W&)> act, std::chrono::milliseconds limit = kModalLimit)
{
    struct Watch {
        QTimer timer;
        QPointer<W> window;
        bool acted = false;
        std::chrono::steady_clock::time_point end;
        // Stops; the watch goes once its timer's call has returned.
        void Finish()
        {
            timer.stop();
            QTimer::singleShot(0, [this] { delete this; });
        }
    };
    auto* watch = new Watch;
    watch->end = std::chrono::steady_clock::now() + limit;
    QObject::connect(&watch->timer, &QTimer::timeout, [watch, find = std::move(find), act = std::move(act)] {
        if (!watch->acted) {
            if (W* w = find(); w != nullptr && w->isVisible()) {
                watch->window = w;
                watch->acted = true;
                act(*w);
            }
        }
        if (watch->acted && (watch->window.isNull() || !watch->window->isVisible())) {
            watch->Finish();
            return;
        }
        if (std::chrono::steady_clock::now() > watch->end) {
            ADD_FAILURE() << (watch->acted ? "a window the test answered stayed open"
                                           : "the window the test waited for never came");
            EndModalLoops();
            watch->Finish();
        }
    });
    watch->timer.start(5);
}

}  // namespace testsupport
