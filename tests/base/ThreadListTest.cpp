#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pthread.h>
#include <stdexcept>
#include <thread>

#include "platform/dialogs/Dialog.h"
#include "platform/errors/FaultGuard.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "TempDir.h"
#include "WritingJob.h"
#include "jobs/ExceptionCodeName.h"
#include "jobs/MeterDialog.h"
#include "jobs/MeterInfo.h"
#include "jobs/Run.h"
#include "jobs/ThreadList.h"
#include "layer/RDPExcept.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs the GUI thread's event loop until done() or ten seconds have passed.
bool PumpUntil(const std::function<bool()>& done)
{
    return testsupport::PumpUntil(done, 10s);
}

// Progress windows still open, by title.
std::vector<plat::Dialog*> Windows(const std::string& title)
{
    std::vector<plat::Dialog*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dlg = dynamic_cast<plat::Dialog*>(w);
        if (dlg && dlg->Handle().IsWindow() && dlg->windowTitle().toStdString() == title)
            found.push_back(dlg);
    }
    return found;
}

bool Shown(plat::Dialog* dlg, unsigned id)
{
    return !dlg->Control(id)->isHidden();
}

void Click(plat::Dialog* dlg, unsigned id)
{
    dlg->ControlAs<QPushButton>(id)->click();
}

bool NoJobs()
{
    return GlobalThreadList().GetCount() == 0;
}

class ThreadListTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(PumpUntil(NoJobs));
        // Windows left with OK free their meters when closed.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dlg = dynamic_cast<plat::Dialog*>(w); dlg && dlg->Handle().IsWindow())
                dlg->Handle().SendMessage(CMeterDialog::WM_METER_CLOSE);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

// ---- jobs -----------------------------------------------------------------------------

void Finish(void* data, CMeterInfo* meter)
{
    meter->SetRange(0, 10);
    for (int i = 0; i < 10; ++i)
        meter->StepIt();
    *static_cast<std::atomic<int>*>(data) += 1;
}

void FinishPlain(void* data)
{
    *static_cast<std::atomic<int>*>(data) += 1;
}

void ThrowLayerError(void*, CMeterInfo* meter)
{
    meter->SetPos(10);
    AfxThrowRDPExcept(RDP_OPEN_FILE);
}

void ThrowFileError(void*)
{
    plat::FileException::ThrowOsError(ENOENT, "missing.rdp");
}

void ThrowStd(void*, CMeterInfo*)
{
    throw std::runtime_error("not a framework exception");
}

void EscapeCancel(void*, CMeterInfo*)
{
    AfxThrowRDPExcept(RDP_CANCEL);
}

struct Division {
    volatile int numerator = 1;
    volatile int denominator = 0;
    int quotient = 0;
};

// The hardware trap is the point: the sanitizer's own check would end the program first.
__attribute__((no_sanitize("integer-divide-by-zero"))) void DivideByZero(void* data, CMeterInfo*)
{
    auto* d = static_cast<Division*>(data);
    d->quotient = d->numerator / d->denominator;
}

void CloseAtEnd(void*, CMeterInfo* meter)
{
    meter->DeleteOnClose();
    meter->SetPos(50);
}

// ---- ends of jobs ---------------------------------------------------------------------

enum class Window {
    None,
    Completed,
    CompletedWithView,
    Closed
};

TEST_F(ThreadListTest, EndsOfJobs)
{
    struct Case {
        const char* name;
        std::function<void(const char* name, void* data)> run;
        const char* box;  // the "Thread manager" text, or null for none
        Window window;
        bool counted;
    } cases[] = {
        {"finishes", [](const char* n, void* d) { ::Run(n, Finish, d); }, nullptr, Window::Completed, true},
        {"finishes with completion", [](const char* n, void* d) { ::Run(n, Finish, d, FinishPlain, d); }, nullptr,
         Window::CompletedWithView, true},
        {"plain", [](const char* n, void* d) { ::Run(n, FinishPlain, d); }, nullptr, Window::None, true},
        {"layer error", [](const char* n, void*) { ::Run(n, ThrowLayerError, nullptr); }, "        Error !\n",
         Window::Closed, false},
        {"file error, plain", [](const char* n, void*) { ::Run(n, ThrowFileError, nullptr); }, "        Error !\n",
         Window::None, false},
        {"other exception", [](const char* n, void*) { ::Run(n, ThrowStd, nullptr); }, "        Error !\n",
         Window::Closed, false},
        {"cancel let through", [](const char* n, void*) { ::Run(n, EscapeCancel, nullptr); }, "        Error !\n",
         Window::Closed, false},
        {"integer division by zero",
         [](const char* n, void*) {
             static Division d;
             ::Run(n, DivideByZero, &d);
         },
         "        Error !\nEXCEPTION_INT_DIVIDE_BY_ZERO", Window::Closed, false},
        {"closes at end", [](const char* n, void*) { ::Run(n, CloseAtEnd, nullptr); }, nullptr, Window::Closed, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::ScopedMessageBoxAnswerer answerer(plat::IDOK);
        std::atomic<int> count = 0;
        c.run(c.name, &count);
        ASSERT_TRUE(PumpUntil(NoJobs));
        EXPECT_EQ(count, c.counted ? 1 : 0);

        auto calls = answerer.Calls();
        if (c.box) {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].text, c.box);
            EXPECT_EQ(calls[0].caption, "Thread manager");
            EXPECT_EQ(calls[0].type, plat::MB_OK | plat::MB_SYSTEMMODAL);
            EXPECT_FALSE(calls[0].owned);
        } else {
            EXPECT_TRUE(calls.empty());
        }

        auto windows = Windows(c.name);
        if (c.window == Window::None || c.window == Window::Closed) {
            EXPECT_TRUE(windows.empty());
            continue;
        }
        ASSERT_EQ(windows.size(), 1u);
        plat::Dialog* dlg = windows[0];
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(dlg->ControlText(CMeterDialog::IDC_TEXT), "Operation completed !");
        EXPECT_FALSE(Shown(dlg, CMeterDialog::IDC_ABORT));
        const bool view = c.window == Window::CompletedWithView;
        EXPECT_EQ(Shown(dlg, CMeterDialog::IDC_OK), !view);
        EXPECT_EQ(Shown(dlg, CMeterDialog::IDC_RES_OK), view);
        EXPECT_EQ(Shown(dlg, CMeterDialog::IDC_VIEW), view);
        Click(dlg, view ? CMeterDialog::IDC_RES_OK : CMeterDialog::IDC_OK);
        EXPECT_TRUE(Windows(c.name).empty());
    }
}

TEST_F(ThreadListTest, ExceptionCodeNames)
{
    EXPECT_STREQ(ExceptionCodeName(0xC0000005), "EXCEPTION_ACCESS_VIOLATION");
    EXPECT_STREQ(ExceptionCodeName(0xC0000006), "EXCEPTION_IN_PAGE_ERROR");
    EXPECT_STREQ(ExceptionCodeName(0xC000001D), "EXCEPTION_ILLEGAL_INSTRUCTION");
    EXPECT_STREQ(ExceptionCodeName(0xC000008D), "EXCEPTION_FLT_DENORMAL_OPERAND");
    EXPECT_STREQ(ExceptionCodeName(0xC000008E), "EXCEPTION_FLT_DIVIDE_BY_ZERO");
    EXPECT_STREQ(ExceptionCodeName(0xC000008F), "EXCEPTION_FLT_INEXACT_RESULT");
    EXPECT_STREQ(ExceptionCodeName(0xC0000090), "EXCEPTION_FLT_INVALID_OPERATION");
    EXPECT_STREQ(ExceptionCodeName(0xC0000091), "EXCEPTION_FLT_OVERFLOW");
    EXPECT_STREQ(ExceptionCodeName(0xC0000093), "EXCEPTION_FLT_UNDERFLOW");
    EXPECT_STREQ(ExceptionCodeName(0xC0000094), "EXCEPTION_INT_DIVIDE_BY_ZERO");
    EXPECT_STREQ(ExceptionCodeName(0xC0000095), "EXCEPTION_INT_OVERFLOW");
    EXPECT_STREQ(ExceptionCodeName(0xC00000FD), "EXCEPTION_STACK_OVERFLOW");
    for (unsigned code : {0u, 0xC0000092u, 0xC0000096u, 0xE06D7363u})
        EXPECT_EQ(ExceptionCodeName(code), nullptr) << std::hex << code;
}

// ---- completion function ------------------------------------------------------------

struct DoneRecord {
    std::vector<std::thread::id> calls;
};

void RecordDone(void* data)
{
    static_cast<DoneRecord*>(data)->calls.push_back(std::this_thread::get_id());
}

void Quick(void*, CMeterInfo* meter)
{
    meter->SetPos(100);
}

TEST_F(ThreadListTest, ViewRunsTheCompletionFunctionOnceOnTheGuiThread)
{
    for (bool view : {true, false}) {
        SCOPED_TRACE(view ? "View" : "OK");
        DoneRecord record;
        ::Run("Done job", Quick, nullptr, RecordDone, &record);
        ASSERT_TRUE(PumpUntil(NoJobs));
        auto windows = Windows("Done job");
        ASSERT_EQ(windows.size(), 1u);
        EXPECT_TRUE(record.calls.empty());  // not before the user asks
        Click(windows[0], view ? CMeterDialog::IDC_VIEW : CMeterDialog::IDC_RES_OK);
        QCoreApplication::processEvents();
        EXPECT_TRUE(Windows("Done job").empty());
        if (view) {
            ASSERT_EQ(record.calls.size(), 1u);
            EXPECT_EQ(record.calls[0], std::this_thread::get_id());
        } else {
            EXPECT_TRUE(record.calls.empty());
        }
    }
}

void EndWithNotice(void* data, CMeterInfo* meter)
{
    meter->SetText("working");
    meter->SetEndText(static_cast<const char*>(data));
}

// A job's own end text stays in place of "Operation completed !", whole however long
// (the line wraps and the buttons move below it); a job that sets none, or clears it,
// ends with the usual text.
TEST_F(ThreadListTest, EndTextOfTheJobReplacesTheCompletedText)
{
    struct Case {
        const char* name;
        const char* endText;
        bool view;
        const char* shown;
    };
    const char* notice = "The data file ended early: the samples it lacked are 0 in the layer that was written.";
    const Case cases[] = {
        {"notice", notice, false, notice},
        {"notice with View", notice, true, notice},
        {"cleared", "", false, "Operation completed !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DoneRecord record;
        if (c.view)
            ::Run(c.name, EndWithNotice, const_cast<char*>(c.endText), RecordDone, &record);
        else
            ::Run(c.name, EndWithNotice, const_cast<char*>(c.endText));
        ASSERT_TRUE(PumpUntil(NoJobs));
        auto windows = Windows(c.name);
        ASSERT_EQ(windows.size(), 1u);
        EXPECT_EQ(windows[0]->ControlText(CMeterDialog::IDC_TEXT), c.shown);
        EXPECT_EQ(Shown(windows[0], CMeterDialog::IDC_VIEW), c.view);
        EXPECT_FALSE(Shown(windows[0], CMeterDialog::IDC_ABORT));
        const QWidget* line = windows[0]->Control(CMeterDialog::IDC_TEXT);
        const QWidget* ok = windows[0]->Control(c.view ? CMeterDialog::IDC_RES_OK : CMeterDialog::IDC_OK);
        const QFontMetrics metrics(line->font());
        const QRect needed = metrics.boundingRect(QRect(0, 0, line->width() - 4, 1000), Qt::TextWordWrap, c.shown);
        EXPECT_GE(line->height(), needed.height());
        EXPECT_GT(ok->geometry().top(), line->geometry().bottom());
        EXPECT_LE(ok->geometry().bottom(), windows[0]->height());
        Click(windows[0], c.view ? CMeterDialog::IDC_RES_OK : CMeterDialog::IDC_OK);
    }
}

// ---- cancelling ---------------------------------------------------------------------

using testsupport::Writer;
using testsupport::WriteRows;

TEST_F(ThreadListTest, AbortAnsweredYesOrNo)
{
    for (int answer : {plat::IDYES, plat::IDNO}) {
        const bool yes = answer == plat::IDYES;
        SCOPED_TRACE(yes ? "Yes" : "No");
        testsupport::TempDir scratch;
        Writer w;
        w.output = scratch.File("thread_list_abort.txt");
        ::Run("Writing", WriteRows, &w);
        ASSERT_TRUE(PumpUntil([&] { return w.writing.load(); }));
        auto windows = Windows("Writing");
        ASSERT_EQ(windows.size(), 1u);

        plat::ScopedMessageBoxAnswerer answerer(answer);
        Click(windows[0], CMeterDialog::IDC_ABORT);
        if (!yes)
            w.release = true;
        ASSERT_TRUE(PumpUntil(NoJobs));

        auto calls = answerer.Calls();
        ASSERT_EQ(calls.size(), 1u);  // the question; no "Error !" after it
        EXPECT_EQ(calls[0].text, "Do you really want to stop the process?");
        EXPECT_EQ(calls[0].caption, "Writing");
        EXPECT_EQ(w.removed.load(), yes);
        EXPECT_EQ(fs::exists(w.output), !yes);
        windows = Windows("Writing");
        if (yes) {
            EXPECT_TRUE(windows.empty());
        } else {
            ASSERT_EQ(windows.size(), 1u);
            EXPECT_EQ(windows[0]->ControlText(CMeterDialog::IDC_TEXT), "Operation completed !");
        }
        fs::remove(w.output);
    }
}

struct Idle {
    std::atomic<bool> started = false;
    std::atomic<bool> release = false;
    std::atomic<bool> returned = false;
};

// Reports once, then waits without reporting and returns normally.
void IdleThenReturn(void* data, CMeterInfo* meter)
{
    auto* idle = static_cast<Idle*>(data);
    meter->SetPos(1);
    idle->started = true;
    while (!idle->release)
        std::this_thread::sleep_for(1ms);
    idle->returned = true;
}

TEST_F(ThreadListTest, AbortQuestionStillOpenWhenTheJobEnds)
{
    for (int answer : {plat::IDYES, plat::IDNO}) {
        const bool yes = answer == plat::IDYES;
        SCOPED_TRACE(yes ? "Yes" : "No");
        Idle idle;
        ::Run("Idle", IdleThenReturn, &idle);
        ASSERT_TRUE(PumpUntil([&] { return idle.started.load(); }));
        auto windows = Windows("Idle");
        ASSERT_EQ(windows.size(), 1u);

        // The job ends while the question is open; its end waits for the answer.
        plat::ScopedMessageBoxAnswerer answerer(answer, [&](const plat::MessageBoxCall&) {
            idle.release = true;
            while (!idle.returned)
                std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(20ms);
            return answer;
        });
        Click(windows[0], CMeterDialog::IDC_ABORT);
        ASSERT_TRUE(PumpUntil(NoJobs));

        EXPECT_EQ(answerer.Calls().size(), 1u);  // no "Error !" for a cancel
        windows = Windows("Idle");
        if (yes) {
            EXPECT_TRUE(windows.empty());
        } else {
            ASSERT_EQ(windows.size(), 1u);
            EXPECT_EQ(windows[0]->ControlText(CMeterDialog::IDC_TEXT), "Operation completed !");
        }
    }
}

// Abort pressed just as the job ends, with a box that serves events while it is open,
// as a real one does: either the question comes first (the job's end waits for the
// answer, and Yes closes the window without a result) or the job's end does (the
// result, and no question).
TEST_F(ThreadListTest, AbortPressedJustAsTheJobEnds)
{
    struct Case {
        const char* name;
        bool endFirst;  // the job has returned and its end is on its way when Abort is pressed
        int answer;
    } cases[] = {
        {"question first, Yes", false, plat::IDYES},
        {"question first, No", false, plat::IDNO},
        {"end first", true, plat::IDYES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Idle idle;
        ::Run("Ending", IdleThenReturn, &idle);
        ASSERT_TRUE(PumpUntil([&] { return idle.started.load(); }));
        auto windows = Windows("Ending");
        ASSERT_EQ(windows.size(), 1u);
        plat::WindowHandle window = windows[0]->Handle();
        auto showsResult = [&] {
            QWidget* w = window.Widget();
            auto* dlg = dynamic_cast<plat::Dialog*>(w);
            return dlg && dlg->ControlText(CMeterDialog::IDC_TEXT) == "Operation completed !";
        };

        bool resultWhileAsked = false;
        plat::ScopedMessageBoxAnswerer answerer(c.answer, [&](const plat::MessageBoxCall&) {
            idle.release = true;
            testsupport::PumpUntil([&] { return idle.returned.load(); }, 10s);
            testsupport::PumpUntil([] { return false; }, 200ms);
            resultWhileAsked = showsResult();
            return c.answer;
        });
        if (c.endFirst) {
            idle.release = true;
            while (!idle.returned)
                std::this_thread::sleep_for(1ms);
            // The job's thread hands its end to this thread, which is not serving it yet.
            std::this_thread::sleep_for(200ms);
        }
        Click(windows[0], CMeterDialog::IDC_ABORT);
        ASSERT_TRUE(PumpUntil(NoJobs));
        QCoreApplication::processEvents();

        const auto calls = answerer.Calls();
        EXPECT_FALSE(resultWhileAsked);
        if (c.endFirst) {
            EXPECT_TRUE(calls.empty());
            EXPECT_TRUE(showsResult());
        } else {
            ASSERT_EQ(calls.size(), 1u);  // no "Error !" for a cancel
            EXPECT_EQ(calls[0].text, "Do you really want to stop the process?");
            EXPECT_EQ(showsResult(), c.answer == plat::IDNO);
            EXPECT_EQ(window.IsWindow(), c.answer == plat::IDNO);
        }
        window.SendMessage(CMeterDialog::WM_METER_CLOSE);
    }
}

// ---- the list ---------------------------------------------------------------------------

struct Gate {
    std::atomic<bool> open = false;
};

void WaitAtGate(void* data)
{
    auto* gate = static_cast<Gate*>(data);
    while (!gate->open)
        std::this_thread::sleep_for(1ms);
}

TEST_F(ThreadListTest, IndexNameAndPriority)
{
    CThreadList& list = GlobalThreadList();
    EXPECT_EQ(list.GetIndex("Twin", 1), -1);  // empty list
    Gate gate;
    ::Run("Twin", WaitAtGate, &gate);
    ::Run("Other", WaitAtGate, &gate);
    ::Run("Twin", WaitAtGate, &gate);
    ASSERT_EQ(list.GetCount(), 3);

    EXPECT_EQ(list.GetIndex("Twin", 1), 0);
    EXPECT_EQ(list.GetIndex("Twin", 2), 2);
    EXPECT_EQ(list.GetIndex("Twin", 3), -1);
    EXPECT_EQ(list.GetIndex("twin", 1), -1);  // exact names only
    EXPECT_EQ(list.GetIndex("Other", 1), 1);
    EXPECT_EQ(list.GetName(1), "Other");
    for (int bad : {-1, 3})
        EXPECT_EQ(list.GetName(bad), "");

    for (int index = 0; index < 3; ++index)
        EXPECT_EQ(list.GetPriority(index), 1);
    EXPECT_EQ(list.SetPriority(0, 3), 1);
    EXPECT_EQ(list.GetPriority(0), 3);
    EXPECT_EQ(list.SetPriority(0, 9), 1);  // not a code: left alone
    EXPECT_EQ(list.GetPriority(0), 3);
    // A raise needs privilege; without it the thread stays below normal.
    EXPECT_EQ(list.SetPriority(1, 2), 1);
    const int raised = list.GetPriority(1);
    EXPECT_TRUE(raised == 2 || raised == 1) << raised;
    for (int bad : {-1, 3}) {
        EXPECT_EQ(list.SetPriority(bad, 1), 0);
        EXPECT_EQ(list.GetPriority(bad), 0);
    }

    gate.open = true;
    ASSERT_TRUE(PumpUntil(NoJobs));
    EXPECT_EQ(list.GetIndex("Twin", 1), -1);
}

TEST_F(ThreadListTest, ManyShortJobsAtOnce)
{
    constexpr int kJobs = 64;
    std::atomic<int> count = 0;
    for (int i = 0; i < kJobs; ++i) {
        if (i % 2)
            ::Run("Short", FinishPlain, &count);
        else
            ::Run("Short", Finish, &count);
    }
    ASSERT_TRUE(PumpUntil([&] { return count == kJobs && NoJobs(); }));
    auto windows = Windows("Short");
    EXPECT_EQ(int(windows.size()), kJobs / 2);
    for (plat::Dialog* dlg : windows)
        EXPECT_EQ(dlg->ControlText(CMeterDialog::IDC_TEXT), "Operation completed !");
}

TEST_F(ThreadListTest, ThreadThatCannotBeMadeLeavesNothingOpen)
{
    // A default stack no system can give makes thread creation fail for real.
    pthread_attr_t saved;
    ASSERT_EQ(pthread_getattr_default_np(&saved), 0);
    pthread_attr_t huge;
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, size_t(1) << 46);
    ASSERT_EQ(pthread_setattr_default_np(&huge), 0);

    plat::ScopedMessageBoxAnswerer answerer(plat::IDOK);
    std::atomic<int> count = 0;
    const int metered = GlobalThreadList().RunThread("Unborn", Finish, &count, nullptr, nullptr, 1);
    const int plain = GlobalThreadList().RunThread("Unborn", FinishPlain, &count, 1);
    pthread_setattr_default_np(&saved);
    pthread_attr_destroy(&huge);
    pthread_attr_destroy(&saved);

    EXPECT_EQ(metered, 0);
    EXPECT_EQ(plain, 0);
    EXPECT_EQ(GlobalThreadList().GetCount(), 0);
    EXPECT_TRUE(Windows("Unborn").empty());
    auto calls = answerer.Calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls)
        EXPECT_EQ(call.text, "Error in thread create !");
    EXPECT_EQ(count, 0);
}

// ---- stopping every job -----------------------------------------------------------------

// The fault itself is the point, not the sanitizer's check before it.
__attribute__((no_sanitize("null", "address"))) void WriteThroughNull(void*)
{
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

[[noreturn]] void RunAndFault()
{
    ::Run("Fault", WriteThroughNull, nullptr);
    PumpUntil([] { return false; });
    std::exit(0);
}

TEST(ThreadListStopTest, SegmentationFaultIsNamedAndEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(RunAndFault(), "Fatal fault: EXCEPTION_ACCESS_VIOLATION");
}

constexpr int kWriters = 6;

// A death test's child runs the test again in a fresh process, so parent and child
// meet in a folder of a fixed name.
fs::path StopDir(const char* name)
{
    return fs::path(::testing::TempDir()) / name;
}

// Starts writers into dir that run until they are stopped; answers once all write.
void StartWriters(const fs::path& dir, std::vector<std::unique_ptr<Writer>>& writers)
{
    for (int i = 0; i < kWriters; ++i) {
        auto w = std::make_unique<Writer>();
        w->output = dir / ("out" + std::to_string(i) + ".part");
        ::Run("Writer " + std::to_string(i), WriteRows, w.get());
        writers.push_back(std::move(w));
    }
    PumpUntil([&] {
        for (auto& w : writers)
            if (!w->writing)
                return false;
        return true;
    });
}

bool NoOutputLeft(const fs::path& dir)
{
    return fs::is_empty(dir);
}

// Ends the process the way a program ends with jobs still running: the library's
// job list stops them as it goes.
[[noreturn]] void ExitWithJobsRunning(const fs::path& dir)
{
    // Made before the job list, so it goes after it: the jobs use it until they end.
    static std::vector<std::unique_ptr<Writer>> writers;
    StartWriters(dir, writers);
    for (auto& w : writers)
        if (!w->writing)
            std::_Exit(3);
    std::exit(0);
}

TEST(ThreadListStopTest, UnloadEndsEveryJobWithinTheBound)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path dir = StopDir("thread_list_unload");
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EXIT(ExitWithJobsRunning(dir), ::testing::ExitedWithCode(0), "");
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, CThreadList::kTerminateWait);
    EXPECT_TRUE(NoOutputLeft(dir));
    fs::remove_all(dir);
}

// TerminateAllThreads called by the program: every job unwinds, and from then on every
// meter of the process is cancelled.
[[noreturn]] void TerminateAndCheck(const fs::path& dir)
{
    std::vector<std::unique_ptr<Writer>> writers;
    StartWriters(dir, writers);
    TerminateAllThreads();
    int failures = 0;
    failures += GlobalThreadList().GetCount() != 0;
    for (auto& w : writers)
        failures += !w->removed;
    failures += !NoOutputLeft(dir);
    failures += !Windows("Writer 0").empty();

    auto* meter = new CMeterInfo("After");
    meter->Create();
    failures += !meter->CancelMode();
    for (int i = 0; i < 2; ++i) {
        try {
            i == 0 ? meter->SetPos(1) : meter->StepIt();
            ++failures;
        } catch (plat::Exception* e) {
            std::string msg;
            failures += GetError(e, msg) != RDP_CANCEL;
            e->Delete();
        }
    }
    delete meter;
    std::exit(failures);
}

TEST(ThreadListStopTest, TerminateAllThreadsStopsEveryJobAndMeter)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const fs::path dir = StopDir("thread_list_terminate");
    fs::remove_all(dir);
    fs::create_directories(dir);
    EXPECT_EXIT(TerminateAndCheck(dir), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(NoOutputLeft(dir));
    fs::remove_all(dir);
}

}  // namespace
