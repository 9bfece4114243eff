// The progress window: its bar, Break, a synchronous run and failing jobs.

#include "Viewer3DTestSupport.h"

#include "PumpUntil.h"

#include "viewer3d/forms/SThreadFormUn.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

class ThreadForm : public Viewer3DTest {
protected:
    void TearDown() override
    {
        QCoreApplication::processEvents();
        Viewer3DTest::TearDown();
    }
};

TSThreadForm* FormOf(TSThread* Thread)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = dynamic_cast<TSThreadForm*>(w); form && form->Thread() == Thread)
            return form;
    return nullptr;
}

// A synchronous job that sets the progress, then lets the test look at its window.
struct ProgressJob {
    std::int32_t Ppm = 0;
    std::function<void(TSThreadForm&)> Look;
    std::int32_t Painted = -2;

    void Run(TSThread* Thread, TSThreadParams*)
    {
        Thread->SetRange(0, kProgressFull, Ppm);
        TSThreadForm* form = FormOf(Thread);
        ASSERT_NE(form, nullptr);
        Painted = form->PaintedProgress();  // painted at once, without a loop
        if (Look)
            Look(*form);
    }
};

TEST_F(ThreadForm, TheBarSplitsGreyAndSilverWithThePercentage)
{
    struct Case {
        std::int32_t Ppm;
        int GreyColumns;  // from the bar's left edge
    };
    const Case cases[] = {{0, 0}, {5000, 2}, {1000000, 461}};
    for (const Case& c : cases) {
        ProgressJob job;
        job.Ppm = c.Ppm;
        QImage shot;
        plat::Rect bar;
        job.Look = [&](TSThreadForm& Form) {
            shot = Form.grab().toImage();
            bar = Form.BarRect();
        };
        QPointer<TSThreadForm> form =
            RunSynchronouslyInForm("Bar", nullptr, {}, TSThreadJob::Of<&ProgressJob::Run>(&job));
        EXPECT_EQ(job.Painted, c.Ppm);
        ASSERT_FALSE(shot.isNull());
        ASSERT_EQ(bar.Width(), 461);
        const int y = bar.top + 1;  // above the text
        for (int x = bar.left; x < bar.right; ++x) {
            const QRgb expected = x < bar.left + c.GreyColumns ? qRgb(0x80, 0x80, 0x80) : qRgb(0xC0, 0xC0, 0xC0);
            ASSERT_EQ(shot.pixel(x, y) & 0xFFFFFF, expected & 0xFFFFFF) << c.Ppm << " at " << x;
        }
        // The percentage is written in the middle of the bar.
        int dark = 0;
        for (int x = bar.left + 200; x < bar.left + 260; ++x)
            for (int yy = bar.top; yy < bar.bottom; ++yy)
                dark += qGray(shot.pixel(x, yy)) < 0x50;
        EXPECT_GT(dark, 0) << c.Ppm;
        EXPECT_TRUE(testsupport::PumpUntil([&] { return form.isNull(); }, 5s)) << "the window stays";
    }
}

TEST_F(ThreadForm, ShowsTitleAndMessageAndClosesWhenASynchronousJobFails)
{
    struct Failing {
        std::string Title, Task;
        void Run(TSThread* Thread, TSThreadParams*)
        {
            Thread->SetMessage("working on it");
            TSThreadForm* form = FormOf(Thread);
            Title = form->NameText()->text().toStdString();
            Task = form->TaskText()->text().toStdString();
            throw EStreamError("broken");
        }
    } job;
    std::int32_t lastState = -1;
    struct StateLog {
        std::int32_t* Last;
        void Hear(TObject* Sender, std::int32_t Code, TSParam)
        {
            if (Code == ecThreadState)
                *Last = static_cast<TSThread*>(Sender)->State();
        }
    } log{&lastState};
    QPointer<TSThreadForm> form = RunSynchronouslyInForm(
        "The title", nullptr, TSEventHandler::Of<&StateLog::Hear>(&log), TSThreadJob::Of<&Failing::Run>(&job));
    EXPECT_EQ(job.Title, "The title");
    EXPECT_EQ(job.Task, "working on it");
    EXPECT_EQ(lastState, tsFailed);
    ASSERT_FALSE(form.isNull());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(testsupport::PumpUntil([&] { return form.isNull(); }, 5s));
    EXPECT_TRUE(Boxes().empty());  // the window reports nothing itself
}

TEST_F(ThreadForm, BreakEndsAnAsynchronousJobAbortedAndClosesTheWindow)
{
    struct Endless {
        std::atomic<bool> Started{false};
        void Run(TSThread* Thread, TSThreadParams*)
        {
            Thread->SetRange(0, 100, 0);
            Started = true;
            for (int i = 0;; i = (i + 1) % 100) {
                Thread->SetRange(0, 100, i);
                std::this_thread::sleep_for(1ms);
            }
        }
    } job;
    QPointer<TSThreadForm> form = RunInThreadForm("Endless", nullptr, false, {}, TSThreadJob::Of<&Endless::Run>(&job));
    ASSERT_FALSE(form.isNull());
    TSThread* thread = form->Thread();
    ASSERT_TRUE(testsupport::PumpUntil([&] { return job.Started.load(); }, 5s));
    // The worker's progress reaches the bar through the loop.
    EXPECT_TRUE(testsupport::PumpUntil([&] { return form->PaintedProgress() > 0; }, 5s));
    // Heard in the worker's thread.
    struct StateLog {
        std::atomic<bool> Aborted{false};
        void Hear(TObject* Sender, std::int32_t Code, TSParam)
        {
            if (Code == ecThreadState && static_cast<TSThread*>(Sender)->State() == tsAborted)
                Aborted = true;
        }
    } log;
    thread->Events.Add(TSEventHandler::Of<&StateLog::Hear>(&log));
    form->BreakBtn()->click();
    EXPECT_TRUE(testsupport::PumpUntil([&] { return form.isNull(); }, 10s));
    EXPECT_TRUE(log.Aborted);
}

TEST_F(ThreadForm, AStripDragsFromAnyPointButBreak)
{
    struct Quick {
        void Run(TSThread*, TSThreadParams*) {}
    } job;
    // Started suspended, the job waits: the window stays while the test drags it.
    QPointer<TSThreadForm> form = RunInThreadForm("Drag", nullptr, true, {}, TSThreadJob::Of<&Quick::Run>(&job));
    ASSERT_FALSE(form.isNull());
    const QPoint start = form->pos();
    auto send = [&](QEvent::Type Type, QPoint Local, Qt::MouseButtons Buttons) {
        QMouseEvent event(Type, QPointF(Local), QPointF(form->mapToGlobal(Local)), Qt::LeftButton, Buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(form, &event);
    };
    send(QEvent::MouseButtonPress, QPoint(20, 30), Qt::LeftButton);
    send(QEvent::MouseMove, QPoint(50, 70), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, QPoint(50, 70), Qt::NoButton);
    EXPECT_EQ(form->pos(), start + QPoint(30, 40));
    form->BreakBtnClick();
    form->close();
}

TEST_F(ThreadForm, ARefusedJobClosesItsWindow)
{
    QPointer<TSThreadForm> form = RunSynchronouslyInForm("None", nullptr, {}, TSThreadJob{});
    EXPECT_TRUE(testsupport::PumpUntil([&] { return form.isNull(); }, 5s));
}

TEST_F(ThreadForm, TheUnitsEndFreesWindowsStillOpen)
{
    struct Quick {
        void Run(TSThread*, TSThreadParams*) {}
    } job;
    QPointer<TSThreadForm> form = RunInThreadForm("Left open", nullptr, true, {}, TSThreadJob::Of<&Quick::Run>(&job));
    ASSERT_FALSE(form.isNull());
    StopViewer3DUnits();
    EXPECT_TRUE(form.isNull());
    StartViewer3DUnits();
    RegisterTestProjectClasses();
}

}  // namespace
