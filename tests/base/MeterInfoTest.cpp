#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <thread>

#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "platform/resources/StringTable.h"
#include "TempDir.h"
#include "VarnokModule.h"
#include "jobs/MeterDialog.h"
#include "jobs/MeterInfo.h"
#include "layer/RDPExcept.h"

namespace {

using namespace std::chrono_literals;

// Runs the GUI thread's event loop until done() or five seconds have passed.
bool PumpUntil(const std::function<bool()>& done)
{
    return testsupport::PumpUntil(done, 5s);
}

void Pump(std::chrono::milliseconds span)
{
    auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

enum class End {
    Gone,
    Closed,
    Completed
};

// What the job's thread does when its function has returned: close the window after a
// cancel or a DeleteOnClose, else show the result.
End EndOfJob(CMeterInfo* meter, bool hasCompletion)
{
    if (!meter->GetHWND().IsWindow())
        return End::Gone;
    if (meter->IsDeleteOnClose() || meter->CancelMode()) {
        meter->SendMessage(CMeterDialog::WM_METER_CLOSE);
        return End::Closed;
    }
    static_cast<CMeterInfoBase*>(meter)->SetPos(meter->Max());
    meter->ShowCancel(plat::SW_HIDE);
    meter->ShowOK(plat::SW_SHOW);
    meter->SetText(plat::LoadString(5050, kVarnokModule).c_str());
    if (hasCompletion)
        meter->ShowResButton();
    return End::Completed;
}

std::string BarCaption(CMeterInfo* meter)
{
    char buf[512];
    meter->GetCWND()->Bar().GetWindowText(buf, sizeof buf);
    return buf;
}

struct Shown {
    bool abort, ok, resOk, view;
    bool operator==(const Shown&) const = default;
};

Shown Buttons(CMeterInfo* meter)
{
    plat::Dialog* w = meter->GetCWND()->Window();
    auto shown = [w](unsigned id) { return !w->Control(id)->isHidden(); };
    return {shown(CMeterDialog::IDC_ABORT), shown(CMeterDialog::IDC_OK), shown(CMeterDialog::IDC_RES_OK),
            shown(CMeterDialog::IDC_VIEW)};
}

void Click(CMeterInfo* meter, unsigned id)
{
    meter->GetCWND()->Window()->ControlAs<QPushButton>(id)->click();
}

int g_token;
CThread* const kWorker = reinterpret_cast<CThread*>(&g_token);  // the job object is opaque here

void Done(void* data)
{
    auto* calls = static_cast<std::vector<std::thread::id>*>(data);
    calls->push_back(std::this_thread::get_id());
}

class MeterInfoTest : public ::testing::Test {
protected:
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(MeterInfoTest, PercentAndBarAtEachReport)
{
    const double nan = std::nan("");
    struct Case {
        const char* name;
        std::function<void(CMeterInfo&)> ops;
        const char* caption;  // the bar's caption
        int bar;
        double pos;
    } cases[] = {
        {"fresh", [](CMeterInfo&) {}, "", 0, 0},
        {"default range", [](CMeterInfo& m) { m.SetPos(42.5); }, "42.5%", 42, 42.5},
        {"0..200 at 50",
         [](CMeterInfo& m) {
             m.SetRange(0, 200);
             m.SetPos(50);
         },
         "25.0%", 25, 50},
        {"range resets pos to 0, not lo",
         [](CMeterInfo& m) {
             m.SetPos(70);
             m.SetRange(10, 20);
         },
         "70.0%", 70, 0},
        {"10..20 then a step",
         [](CMeterInfo& m) {
             m.SetRange(10, 20);
             m.StepIt();
         },
         "-90.0%", -90, 1},
        {"step of 2.5",
         [](CMeterInfo& m) {
             m.SetStep(2.5);
             m.StepIt();
             m.StepIt();
         },
         "5.0%", 5, 5},
        {"empty range",
         [](CMeterInfo& m) {
             m.SetRange(5, 5);
             m.SetPos(7);
         },
         "0.0%", 0, 7},
        {"far above",
         [](CMeterInfo& m) {
             m.SetRange(0, 1);
             m.SetPos(1e300);
         },
         nullptr, INT_MAX, 1e300},
        {"far below", [](CMeterInfo& m) { m.SetPos(-1e300); }, nullptr, INT_MIN, -1e300},
        {"not a number", [nan](CMeterInfo& m) { m.SetPos(nan); }, "0.0%", 0, nan},
        {"infinite range",
         [](CMeterInfo& m) {
             m.SetRange(0, INFINITY);
             m.SetPos(5);
         },
         "0.0%", 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* meter = new CMeterInfo("Job");
        meter->Create();
        c.ops(*meter);
        if (c.caption)
            EXPECT_EQ(BarCaption(meter), c.caption);
        else
            EXPECT_TRUE(BarCaption(meter).ends_with(".0%")) << BarCaption(meter);
        EXPECT_EQ(meter->GetCWND()->Bar().GetPos(), c.bar);
        double pos = -1;
        meter->GetPos(&pos);
        if (std::isnan(c.pos))
            EXPECT_TRUE(std::isnan(pos));
        else
            EXPECT_EQ(pos, c.pos);
        delete meter;  // destroys the window that still exists
    }
}

TEST_F(MeterInfoTest, WhatIsShownAtEachState)
{
    std::vector<std::thread::id> calls;
    struct Case {
        const char* name;
        bool completion;
        bool finished;
        Shown shown;
        const char* text;
        const char* caption;
    } cases[] = {
        {"created", false, false, {true, false, false, false}, "", ""},
        {"finished", false, true, {false, true, false, false}, "Operation completed !", "100.0%"},
        {"finished with View", true, true, {false, false, true, true}, "Operation completed !", "100.0%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* meter = c.completion ? new CMeterInfo("Job", Done, &calls) : new CMeterInfo("Job");
        meter->Create();
        EXPECT_FALSE(meter->GetCWND()->Window()->isVisible());
        meter->ShowWindow(plat::SW_SHOW);
        EXPECT_TRUE(meter->GetCWND()->Window()->isVisible());
        EXPECT_EQ(meter->GetCWND()->Window()->windowTitle(), "Job");
        if (c.finished) {
            EXPECT_EQ(EndOfJob(meter, c.completion), End::Completed);
        }
        EXPECT_EQ(Buttons(meter), c.shown);
        EXPECT_EQ(meter->GetText(), c.text);
        EXPECT_EQ(BarCaption(meter), c.caption);
        delete meter;
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(MeterInfoTest, BeforeCreate)
{
    auto* meter = new CMeterInfo("Job");
    EXPECT_EQ(meter->GetText(), "");
    meter->SetText("ignored");
    meter->SetCaption("Other");
    meter->SetRange(0, 50);
    meter->SetPos(10);
    EXPECT_EQ(meter->GetText(), "");
    EXPECT_EQ(meter->GetCaption(), "Other");
    EXPECT_FALSE(meter->GetHWND().IsWindow());
    EXPECT_EQ(meter->Max(), 50);
    meter->Create();
    EXPECT_EQ(meter->GetCWND()->Window()->windowTitle(), "Other");
    meter->SetCaption("Third");
    EXPECT_EQ(meter->GetCWND()->Window()->windowTitle(), "Third");
    EXPECT_EQ(meter->GetCaption(), "Third");
    double lo = -1, hi = -1;
    meter->GetRange(&lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 50);
    delete meter;
}

TEST_F(MeterInfoTest, TerminateAllCancelsEveryMeter)
{
    auto* meter = new CMeterInfo("Job");
    meter->Create();
    EXPECT_FALSE(meter->CancelMode());
    TerminateAllFlag = 1;
    EXPECT_TRUE(meter->CancelMode());
    for (auto report : {+[](CMeterInfo* m) { m->SetPos(1); }, +[](CMeterInfo* m) { m->StepIt(); }}) {
        try {
            report(meter);
            ADD_FAILURE() << "no cancel";
        } catch (plat::Exception* e) {
            std::string msg;
            EXPECT_EQ(GetError(e, msg), RDP_CANCEL);
            EXPECT_EQ(msg, "CANCEL");
            e->Delete();
        }
    }
    TerminateAllFlag = 0;  // the library never resets it; the test must not leak it
    double pos = -1;
    meter->GetPos(&pos);
    EXPECT_EQ(pos, 0);  // nothing was stored
    delete meter;
}

// A job on a real worker thread: reports until told to finish, then does the end step.
class Job {
public:
    explicit Job(CMeterInfo* meter, bool hasCompletion = false) : m_meter(meter), m_hasCompletion(hasCompletion) {}
    ~Job()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    void Start()
    {
        m_thread = std::thread([this] {
            m_meter->ThreadParent(kWorker);
            try {
                m_meter->SetRange(0, 1000);
                for (int i = 0; !finish; ++i) {
                    m_meter->SetPos(i % 1000);
                    ++reports;
                    std::this_thread::sleep_for(1ms);
                }
                lastReportDone = true;
                while (!proceed)
                    std::this_thread::sleep_for(1ms);
            } catch (plat::Exception* e) {
                std::string msg;
                cause = GetError(e, msg);
                e->Delete();
            }
            end = EndOfJob(m_meter, m_hasCompletion);
            done = true;
        });
    }
    void Join()
    {
        ASSERT_TRUE(PumpUntil([this] { return done.load(); }));
        m_thread.join();
    }

    std::atomic<int> reports = 0;
    std::atomic<bool> finish = false;
    std::atomic<bool> lastReportDone = false;
    std::atomic<bool> proceed = true;
    std::atomic<bool> done = false;
    std::atomic<int> cause = -1;
    std::atomic<End> end = End::Gone;

private:
    CMeterInfo* m_meter;
    bool m_hasCompletion;
    std::thread m_thread;
};

// Answers the Abort question after checking that the worker is held while it is open.
struct HeldAnswer {
    int answer;
    const Job* job;
    int reportsWhileOpen = -1;
    bool held = false;

    int operator()(const plat::MessageBoxCall&)
    {
        // Serve the worker's pending window calls, as a box's own loop would, until its
        // reports stop; a worker that is not held never stops (it reports every ms).
        auto end = std::chrono::steady_clock::now() + 2s;
        int last = job->reports;
        while (!held && std::chrono::steady_clock::now() < end) {
            Pump(60ms);
            int now = job->reports;
            held = now == last;
            last = now;
        }
        reportsWhileOpen = last;
        return answer;
    }
};

TEST_F(MeterInfoTest, AbortAnsweredNoHoldsTheWorkerThenGoesOn)
{
    auto* meter = new CMeterInfo("Import");
    meter->Create();
    meter->ShowWindow(plat::SW_SHOW);
    plat::WindowHandle window = meter->GetHWND();
    Job job(meter);
    HeldAnswer decide{plat::IDNO, &job};
    plat::ScopedMessageBoxAnswerer answerer(0, std::ref(decide));
    job.Start();
    ASSERT_TRUE(PumpUntil([&] { return job.reports > 5; }));

    Click(meter, CMeterDialog::IDC_ABORT);
    auto calls = answerer.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "Do you really want to stop the process?");
    EXPECT_EQ(calls[0].caption, "Import");
    EXPECT_EQ(calls[0].type, unsigned(plat::MB_YESNO));
    EXPECT_TRUE(calls[0].owned);
    EXPECT_TRUE(decide.held);

    int after = job.reports;
    ASSERT_TRUE(PumpUntil([&] { return job.reports > after + 5; }));  // it goes on
    EXPECT_FALSE(meter->CancelMode());
    job.finish = true;
    job.Join();
    EXPECT_EQ(job.cause, -1);
    EXPECT_EQ(job.end, End::Completed);
    EXPECT_TRUE(window.IsWindow());
    EXPECT_EQ(meter->GetText(), "Operation completed !");
    EXPECT_EQ(Buttons(meter), (Shown{false, true, false, false}));

    Click(meter, CMeterDialog::IDC_OK);  // closes and frees the meter
    EXPECT_FALSE(window.IsWindow());
}

TEST_F(MeterInfoTest, AbortAnsweredYesCancelsTheNextReportAndTheWorkerCloses)
{
    auto* meter = new CMeterInfo("Import");
    meter->Create();
    meter->ShowWindow(plat::SW_SHOW);
    plat::WindowHandle window = meter->GetHWND();
    Job job(meter);
    HeldAnswer decide{plat::IDYES, &job};
    plat::ScopedMessageBoxAnswerer answerer(0, std::ref(decide));
    job.Start();
    ASSERT_TRUE(PumpUntil([&] { return job.reports > 5; }));

    Click(meter, CMeterDialog::IDC_ABORT);
    EXPECT_TRUE(decide.held);
    job.Join();
    EXPECT_EQ(job.cause, RDP_CANCEL);
    EXPECT_EQ(job.reports, decide.reportsWhileOpen);  // the next report threw
    EXPECT_EQ(job.end, End::Closed);
    EXPECT_FALSE(window.IsWindow());
}

TEST_F(MeterInfoTest, AbortAnsweredYesAfterTheLastReport)
{
    auto* meter = new CMeterInfo("Export");
    meter->Create();
    plat::WindowHandle window = meter->GetHWND();
    Job job(meter);
    job.proceed = false;
    plat::ScopedMessageBoxAnswerer answerer(plat::IDYES);
    job.Start();
    ASSERT_TRUE(PumpUntil([&] { return job.reports > 2; }));
    job.finish = true;
    ASSERT_TRUE(PumpUntil([&] { return job.lastReportDone.load(); }));

    Click(meter, CMeterDialog::IDC_ABORT);
    EXPECT_EQ(answerer.Calls().size(), 1u);
    job.proceed = true;
    job.Join();
    EXPECT_EQ(job.cause, -1);  // the job itself ended normally
    EXPECT_EQ(job.end, End::Closed);
    EXPECT_FALSE(window.IsWindow());
}

TEST_F(MeterInfoTest, DeleteOnCloseClosesAtTheEnd)
{
    auto* meter = new CMeterInfo("Job");
    meter->Create();
    plat::WindowHandle window = meter->GetHWND();
    EXPECT_FALSE(meter->IsDeleteOnClose());
    meter->DeleteOnClose();
    EXPECT_TRUE(meter->IsDeleteOnClose());
    EXPECT_FALSE(meter->CancelMode());
    Job job(meter);
    job.finish = true;
    job.Start();
    job.Join();
    EXPECT_EQ(job.end, End::Closed);
    EXPECT_FALSE(window.IsWindow());
}

TEST_F(MeterInfoTest, ViewRunsTheCompletionOnceOnTheGuiThreadAndOkDoesNot)
{
    for (unsigned button : {CMeterDialog::IDC_VIEW, CMeterDialog::IDC_RES_OK}) {
        SCOPED_TRACE(button);
        std::vector<std::thread::id> calls;
        auto* meter = new CMeterInfo("Import", Done, &calls);
        meter->Create();
        meter->ShowWindow(plat::SW_SHOW);
        plat::WindowHandle window = meter->GetHWND();
        Job job(meter, true);
        job.finish = true;
        job.Start();
        job.Join();
        ASSERT_EQ(job.end, End::Completed);
        EXPECT_EQ(Buttons(meter), (Shown{false, false, true, true}));

        Click(meter, button);
        EXPECT_FALSE(window.IsWindow());
        if (button == CMeterDialog::IDC_VIEW) {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0], std::this_thread::get_id());
        } else {
            EXPECT_TRUE(calls.empty());
        }
    }
}

TEST_F(MeterInfoTest, EnterEscapeAndTheCloseBoxDoNothingWhileTheJobRuns)
{
    auto* meter = new CMeterInfo("Job");
    meter->Create();
    meter->ShowWindow(plat::SW_SHOW);
    plat::WindowHandle window = meter->GetHWND();
    plat::ScopedMessageBoxAnswerer answerer(plat::IDYES);
    Job job(meter);
    job.Start();
    ASSERT_TRUE(PumpUntil([&] { return job.reports > 2; }));

    plat::Dialog* dlg = meter->GetCWND()->Window();
    meter->GetCWND()->Window()->Control(CMeterDialog::IDC_ABORT)->setFocus();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg->focusWidget() ? dlg->focusWidget() : dlg, &press);
        QKeyEvent onDialog(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg, &onDialog);
    }
    EXPECT_FALSE(dlg->close());
    Pump(20ms);
    EXPECT_TRUE(window.IsWindow());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(answerer.Calls().empty());  // Enter did not press Abort either
    EXPECT_FALSE(meter->CancelMode());

    job.finish = true;
    job.Join();
    Click(meter, CMeterDialog::IDC_OK);
    EXPECT_FALSE(window.IsWindow());
}

// Asks the application to quit, as the end of a session does; true when it quit, false
// when a window refused to close and the quit was called off.
bool Quits()
{
    QTimer refused;
    refused.setSingleShot(true);
    QObject::connect(&refused, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    refused.start(3000);
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    return QApplication::exec() == 0;
}

TEST_F(MeterInfoTest, OnlyARunningJobIgnoresACloseOrAQuit)
{
    std::vector<std::thread::id> calls;
    struct Case {
        const char* name;
        bool finished;
        bool completion;
    } cases[] = {
        {"running", false, false},
        {"finished", true, false},
        {"finished with View", true, true},
    };
    for (bool quit : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (quit ? ", quit" : ", close box"));
            auto* meter = c.completion ? new CMeterInfo("Job", Done, &calls) : new CMeterInfo("Job");
            meter->Create();
            meter->ShowWindow(plat::SW_SHOW);
            plat::WindowHandle window = meter->GetHWND();
            if (c.finished) {
                ASSERT_EQ(EndOfJob(meter, c.completion), End::Completed);
            }
            plat::Dialog* dlg = meter->GetCWND()->Window();
            const bool closed = quit ? Quits() : dlg->close();
            EXPECT_EQ(closed, c.finished);
            EXPECT_EQ(window.IsWindow(), !c.finished);  // a closed window frees its meter
            if (!c.finished) {
                EXPECT_TRUE(dlg->isVisible());
                delete meter;
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    EXPECT_TRUE(calls.empty());  // closing is not View
}

TEST_F(MeterInfoTest, ScreenshotAt42Point5Percent)
{
    auto* meter = new CMeterInfo("Import");
    meter->Create();
    meter->ShowWindow(plat::SW_SHOW);
    meter->SetText("Reading rows");
    meter->SetPos(42.5);
    plat::Dialog* dlg = meter->GetCWND()->Window();
    QCoreApplication::processEvents();
    QImage shot = dlg->grab().toImage();
    // Kept in a folder of its own, so parallel runs never share a file.
    testsupport::TempDir dir;
    EXPECT_TRUE(shot.save(QString::fromStdString(dir.File("meter-42.5.png"))));

    QWidget* barWidget = dlg->Control(CMeterDialog::IDC_BAR);
    QRect client = static_cast<QFrame*>(barWidget)->contentsRect().translated(barWidget->pos());
    auto color = [&](int x, int y) {
        QRgb p = shot.pixel(x, y);
        return plat::Rgb(unsigned(qRed(p)), unsigned(qGreen(p)), unsigned(qBlue(p)));
    };
    const plat::ColorRef filled = plat::GetSysColor(plat::COLOR_HIGHLIGHT);
    const plat::ColorRef rest = plat::GetSysColor(plat::COLOR_BTNFACE);
    const int edge = client.left() + client.width() * 42 / 100;  // the bar takes the truncated percent
    EXPECT_EQ(color(client.left(), client.top()), filled);
    EXPECT_EQ(color(edge - 1, client.bottom()), filled);
    EXPECT_EQ(color(edge + 1, client.top()), rest);
    EXPECT_EQ(color(client.right(), client.bottom()), rest);

    // Text pixels differ from the part under them; the caption sits centred, right of the
    // edge at 42%, in the dark text colour, and nothing is drawn over the filled part.
    auto dark = [](plat::ColorRef c) { return plat::GetRValue(c) + plat::GetGValue(c) + plat::GetBValue(c) < 3 * 96; };
    int onBar = 0, onRest = 0, darkOnRest = 0;
    for (int y = client.top(); y <= client.bottom(); ++y)
        for (int x = client.left(); x <= client.right(); ++x) {
            plat::ColorRef c = color(x, y);
            if (x < edge)
                onBar += c != filled;
            else if (c != rest) {
                ++onRest;
                darkOnRest += dark(c);
            }
        }
    EXPECT_EQ(onBar, 0);
    EXPECT_GT(onRest, 20);
    EXPECT_GT(darkOnRest, 10);
    EXPECT_TRUE(dark(plat::GetSysColor(plat::COLOR_WINDOWTEXT)));
    EXPECT_EQ(BarCaption(meter), "42.5%");
    delete meter;
}

// No empty framed box: the blank box above the bar never shows, the text line below it
// only while it has a text; where they would be, the window's face shows.
TEST_F(MeterInfoTest, ShowsTheJobsTextOrNothingAroundTheBar)
{
    auto* meter = new CMeterInfo("Import");
    meter->Create();
    meter->ShowWindow(plat::SW_SHOW);
    plat::Dialog* dlg = meter->GetCWND()->Window();
    QWidget* blank = dlg->Control(CMeterDialog::IDC_BLANK);
    QWidget* line = dlg->Control(CMeterDialog::IDC_TEXT);
    const QRect blankPlace = blank->geometry();
    auto plain = [&](const QImage& shot, const QRect& r) {
        const QRgb face = shot.pixel(r.left(), r.top());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (shot.pixel(x, y) != face)
                    return false;
        return true;
    };
    const struct {
        const char* text;
        bool lineShown;
    } steps[] = {{"", false}, {"Reading rows", true}, {"", false}};
    for (const auto& step : steps) {
        meter->SetText(step.text);
        QCoreApplication::processEvents();
        EXPECT_TRUE(blank->isHidden()) << step.text;
        EXPECT_EQ(!line->isHidden(), step.lineShown) << step.text;
        EXPECT_EQ(meter->GetText(), step.text);
        const QImage shot = dlg->grab().toImage();
        EXPECT_TRUE(plain(shot, blankPlace)) << "nothing above the bar: " << step.text;
        EXPECT_EQ(plain(shot, line->geometry()), !step.lineShown) << step.text;
        EXPECT_TRUE(shot.save(QStringLiteral(SUITE_BIN_DIR "/meter_") + (step.lineShown ? "text.png" : "blank.png")));
    }
    delete meter;
}

}  // namespace
