#include "EngineTestSupport.h"

#include "engine3d/model/SThreads.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Waits up to Limit for Condition.
bool WaitFor(const std::function<bool()>& Condition, std::chrono::milliseconds Limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + Limit;
    while (!Condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A job made of a std::function, so that each test writes its job in place.
struct Job {
    std::function<void(TSThread*, TSThreadParams*)> Body;
    void Run(TSThread* Thread, TSThreadParams* Params) { Body(Thread, Params); }
    TSThreadJob Handle() { return TSThreadJob::Of<&Job::Run>(this); }
};

// A job that reports progress until it is stopped or released; it counts its
// reports and notes how it ended.
struct LoopJob {
    std::atomic<bool> Started{false};
    std::atomic<bool> Release{false};
    std::atomic<int> Reports{0};
    std::atomic<bool> Aborted{false};
    std::atomic<bool> Finished{false};

    void Run(TSThread* Thread, TSThreadParams*)
    {
        Started = true;
        try {
            while (!Release) {
                Thread->Step(1);
                ++Reports;
                std::this_thread::sleep_for(1ms);
            }
        } catch (const EAbort&) {
            Aborted = true;
            throw;
        }
        Finished = true;
    }
    TSThreadJob Handle() { return TSThreadJob::Of<&LoopJob::Run>(this); }
};

// The state changes a thread announced, as {old, new} pairs.
struct StateLog {
    std::mutex Lock;
    std::vector<std::pair<std::int32_t, std::int32_t>> Changes;
    TSThread* Thread = nullptr;

    void On(TObject*, std::int32_t Code, TSParam Param)
    {
        if (Code != ecThreadState)
            return;
        std::lock_guard g(Lock);
        Changes.emplace_back(static_cast<std::int32_t>(Param), Thread->State());
    }
    std::vector<std::pair<std::int32_t, std::int32_t>> Get()
    {
        std::lock_guard g(Lock);
        return Changes;
    }
    void Attach(TSThread* T)
    {
        Thread = T;
        T->Events.Add(TSEventHandler::Of<&StateLog::On>(this));
    }
};

// A thread class that counts its ends; it can be declared like any class.
class TCountedThread final : public TSThread {
    S_CLASS(TCountedThread)
public:
    static inline std::atomic<int> Ended{0};
    ~TCountedThread() override { ++Ended; }
};

std::unique_ptr<TSThread> NewThread()
{
    return std::unique_ptr<TSThread>(TSObject::Create<TSThread>());
}

bool Idle(TSThread& t)
{
    return !t.HasWorker() && t.State() == tsIdle;
}

std::unique_ptr<TSThreadParams> Params(const std::string& text)
{
    auto p = std::make_unique<TSThreadParams>();
    p->SetData(text.data(), static_cast<std::int32_t>(text.size()));
    return p;
}

}  // namespace

constinit const TSClassInfo TCountedThread::ClassInfo{"TCountedThread", &TSThread::ClassInfo,
                                                      &TSNewObject<TCountedThread>};

TEST(SThreadParams, BytesInAndOut)
{
    TSThreadParams p;
    EXPECT_EQ(p.Size(), 0);
    EXPECT_EQ(p.Data(), nullptr);
    p.SetData("file.hcp", 8);
    EXPECT_EQ(p.Size(), 8);
    char out[16] = {};
    EXPECT_EQ(p.GetData(out, 4), 4);
    EXPECT_EQ(std::string(out), "file");
    EXPECT_EQ(p.GetData(out, 100), 8);
    EXPECT_EQ(std::string(out), "file.hcp");
    EXPECT_EQ(p.GetData(out, 0), 0);
    EXPECT_EQ(p.GetData(out, -5), 0);

    TSThreadParams copy;
    copy.Assign(&p);
    EXPECT_EQ(copy.Size(), 8);
    EXPECT_NE(copy.Data(), p.Data());
    copy.Assign(&copy);
    EXPECT_EQ(copy.Size(), 8);
    EXPECT_THROW(copy.Assign(nullptr), EAssignError);

    for (const std::int32_t size : {0, -1}) {
        TSThreadParams q;
        q.SetData("abc", 3);
        q.SetData("abc", size);
        EXPECT_EQ(q.Size(), 0);
        EXPECT_EQ(q.Data(), nullptr);
    }
    p.Clear();
    EXPECT_EQ(p.Size(), 0);
    EXPECT_EQ(p.GetData(out, 8), 0);
}

TEST(SThread, ProgressAtRangeEndsAndFarBeyond)
{
    EventLog log;
    auto t = NewThread();
    t->Events.Add(log.Handler());

    struct Case {
        const char* what;
        std::function<void(TSThread&)> act;
        std::int32_t progress;
    };
    const Case cases[] = {
        {"empty range", [](TSThread& x) { x.SetRange(0, 0, 17); }, 0},
        {"a quarter", [](TSThread& x) { x.SetRange(0, 200, 50); }, 250000},
        {"to the end", [](TSThread& x) { x.Step(150); }, 1000000},
        {"one past", [](TSThread& x) { x.Step(1); }, 1005000},
        {"truncated toward zero", [](TSThread& x) { x.SetRange(0, 3, 1); }, 333333},
        {"below the start", [](TSThread& x) { x.SetRange(0, 3, -1); }, -333333},
        {"falling range", [](TSThread& x) { x.SetRange(100, 0, 25); }, 750000},
        {"widest range, low end", [](TSThread& x) { x.SetRange(INT_MIN, INT_MAX, INT_MIN); }, 0},
        {"widest range, high end", [](TSThread& x) { x.SetRange(INT_MIN, INT_MAX, INT_MAX); }, 1000000},
        {"widest range, middle", [](TSThread& x) { x.SetRange(INT_MIN, INT_MAX, 0); }, 500000},
        {"far beyond", [](TSThread& x) { x.SetRange(0, 1, INT_MAX); }, INT_MAX},
        {"far below", [](TSThread& x) { x.SetRange(0, 1, INT_MIN); }, INT_MIN},
        {"start beyond the end", [](TSThread& x) { x.SetRange(INT_MAX, INT_MIN, INT_MIN); }, 1000000},
        {"step past the top",
         [](TSThread& x) {
             x.SetRange(0, 10, INT_MAX - 1);
             x.Step(INT_MAX);
         },
         INT_MAX},
        {"step below the bottom",
         [](TSThread& x) {
             x.SetRange(-10, 10, INT_MIN + 1);
             x.Step(INT_MIN);
         },
         INT_MIN},
    };
    for (const auto& c : cases) {
        c.act(*t);
        EXPECT_EQ(t->Progress(), c.progress) << c.what;
    }
    // Back from the top: the saturated position INT_MAX minus 2^31 is -1.
    t->SetRange(0, 10, INT_MAX);
    t->Step(INT_MIN);
    EXPECT_EQ(t->Progress(), -100000);

    // An event only for a progress that differs.
    log.Entries.clear();
    t->SetRange(0, 4, 1);
    t->SetRange(0, 8, 2);
    t->Step(2);
    const auto codes = log.Codes();
    EXPECT_EQ(codes,
              (std::vector<std::pair<std::int32_t, TSParam>>{{ecThreadProgress, 250000}, {ecThreadProgress, 500000}}));

    log.Entries.clear();
    t->SetMessage("Loading");
    t->SetMessage("Loading");
    EXPECT_EQ(t->Message(), "Loading");
    EXPECT_EQ(log.Codes(), (std::vector<std::pair<std::int32_t, TSParam>>{{ecThreadMessage, 0}}));

    // Outside a job the cancellation points never raise.
    t->RequestTerminate();
    EXPECT_FALSE(t->CheckTerminated());
    EXPECT_NO_THROW(t->Step(1));
}

TEST(SThread, JobRunsOnAWorkerThroughItsStates)
{
    StateLog states;
    auto t = NewThread();
    states.Attach(t.get());
    std::string seen;
    std::thread::id worker;
    Job job{[&](TSThread* thread, TSThreadParams* params) {
        worker = std::this_thread::get_id();
        seen.assign(reinterpret_cast<const char*>(params->Data()), static_cast<std::size_t>(params->Size()));
        EXPECT_TRUE(thread->CheckTerminated());
        thread->SetRange(0, 10, 10);
        thread->SetMessage("half");
    }};
    auto params = Params("scene.hcp");
    EXPECT_TRUE(t->QueueJob(false, std::move(params), job.Handle()));
    EXPECT_EQ(params, nullptr) << "the thread took the Params";
    ASSERT_TRUE(WaitFor([&] { return Idle(*t); }));
    EXPECT_EQ(seen, "scene.hcp");
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(t->Progress(), 1000000);
    EXPECT_EQ(t->Message(), "half");
    EXPECT_EQ(states.Get(), (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 1}, {1, 2}, {2, 0}}));

    // A job without routine is no job: the Params stay with the caller.
    auto kept = Params("x");
    EXPECT_FALSE(t->QueueJob(false, std::move(kept), TSThreadJob{}));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->Size(), 1);
    EXPECT_FALSE(t->HasWorker());

    ASSERT_NE(GlobalThreadsList(), nullptr);
    EXPECT_EQ(GlobalThreadsList()->Name(), "Global List of SThread");
    EXPECT_GE(GlobalThreadsList()->IndexOf(t.get()), 0);
    TSThread* gone = t.get();
    t.reset();
    EXPECT_EQ(GlobalThreadsList()->IndexOf(gone), -1);
}

TEST(SThread, ErrorsEndJobsAsFailedOrAborted)
{
    struct Case {
        const char* what;
        std::function<void(TSThread*)> body;
        std::int32_t end;
    };
    const Case cases[] = {
        {"returns", [](TSThread*) {}, tsDone},
        {"ordinary error", [](TSThread*) { throw std::runtime_error("disk"); }, tsFailed},
        {"error after a request to stop",
         [](TSThread* t) {
             t->RequestTerminate();
             throw std::runtime_error("disk");
         },
         tsAborted},
        {"abort", [](TSThread*) { throw EAbort(); }, tsAborted},
        {"terminate from inside", [](TSThread* t) { t->Terminate(1000); }, tsAborted},
        {"stopped at a check",
         [](TSThread* t) {
             t->RequestTerminate();
             t->SetMessage("next");
             ADD_FAILURE() << "not stopped";
         },
         tsAborted},
    };
    for (const auto& c : cases) {
        StateLog states;
        auto t = NewThread();
        states.Attach(t.get());
        Job job{[&](TSThread* thread, TSThreadParams*) { c.body(thread); }};
        ASSERT_TRUE(t->QueueJob(false, nullptr, job.Handle()));
        ASSERT_TRUE(WaitFor([&] { return Idle(*t); })) << c.what;
        EXPECT_EQ(states.Get(), (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 1}, {1, c.end}, {c.end, 0}}))
            << c.what;
    }
}

TEST(SThread, LaterQueuedJobReplacesAnEarlierPendingOne)
{
    auto t = NewThread();
    LoopJob first;
    std::vector<std::string> ran;
    std::mutex ranLock;
    Job second{[&](TSThread*, TSThreadParams* p) {
        std::lock_guard g(ranLock);
        ran.push_back("second");
    }};
    Job third{[&](TSThread*, TSThreadParams* p) {
        std::lock_guard g(ranLock);
        ran.push_back("third " + std::to_string(p->Size()));
    }};
    ASSERT_TRUE(t->QueueJob(false, nullptr, first.Handle()));
    ASSERT_TRUE(WaitFor([&] { return first.Started.load(); }));
    EXPECT_TRUE(t->QueueJob(false, Params("2"), second.Handle()));
    EXPECT_TRUE(t->QueueJob(false, Params("333"), third.Handle()));
    first.Release = true;
    ASSERT_TRUE(WaitFor([&] { return Idle(*t); }));
    EXPECT_TRUE(first.Finished);
    EXPECT_EQ(ran, std::vector<std::string>{"third 3"});
}

TEST(SThread, RestartStopsTheRunningJobAndRunsTheNewOne)
{
    StateLog states;
    auto t = NewThread();
    states.Attach(t.get());
    LoopJob first;
    std::atomic<bool> secondRan{false};
    Job second{[&](TSThread*, TSThreadParams*) { secondRan = true; }};
    ASSERT_TRUE(t->QueueJob(false, nullptr, first.Handle()));
    ASSERT_TRUE(WaitFor([&] { return first.Reports > 0; }));
    ASSERT_TRUE(t->QueueJob(true, nullptr, second.Handle()));
    ASSERT_TRUE(WaitFor([&] { return secondRan && Idle(*t); }));
    EXPECT_TRUE(first.Aborted);
    EXPECT_EQ(states.Get(),
              (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 1}, {1, 5}, {5, 1}, {1, 2}, {2, 0}}));
}

TEST(SThread, QueueingWithoutRestartKeepsAnEarlierCancel)
{
    auto t = NewThread();
    LoopJob first;
    std::atomic<bool> secondRan{false};
    Job second{[&](TSThread*, TSThreadParams*) { secondRan = true; }};
    ASSERT_TRUE(t->QueueJob(false, nullptr, first.Handle()));
    ASSERT_TRUE(WaitFor([&] { return first.Reports > 0; }));
    // Stop wanted, then a job to follow: the stop still happens.
    {
        t->Lock();  // keeps the job from reaching a check between the two calls
        t->RequestTerminate();
        t->QueueJob(false, nullptr, second.Handle());
        t->Unlock();
    }
    ASSERT_TRUE(WaitFor([&] { return secondRan && Idle(*t); }));
    EXPECT_TRUE(first.Aborted);
    EXPECT_FALSE(first.Finished);
}

TEST(SThread, TerminateWaitsAndKeepsTrackOfAWorkerThatOutlivesIt)
{
    auto t = NewThread();
    std::atomic<bool> release{false};
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> secondRuns{0};
    auto enter = [&] {
        const int now = ++running;
        int seen = mostAtOnce;
        while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
        }
    };
    // The first job looks at no cancellation point until it is released.
    Job stubborn{[&](TSThread*, TSThreadParams*) {
        enter();
        while (!release)
            std::this_thread::sleep_for(1ms);
        --running;
    }};
    Job second{[&](TSThread*, TSThreadParams*) {
        enter();
        ++secondRuns;
        --running;
    }};
    ASSERT_TRUE(t->QueueJob(false, nullptr, stubborn.Handle()));
    ASSERT_TRUE(WaitFor([&] { return running == 1; }));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t->Terminate(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    EXPECT_TRUE(t->HasWorker()) << "the worker is still known after the time-out";

    // A job queued now waits for the first worker to end.
    ASSERT_TRUE(t->QueueJob(false, nullptr, second.Handle()));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(secondRuns, 0);
    release = true;
    ASSERT_TRUE(WaitFor([&] { return secondRuns == 1 && Idle(*t); }));
    EXPECT_EQ(mostAtOnce, 1);

    // A worker that stops in time: Terminate reports that none is left.
    LoopJob loop;
    ASSERT_TRUE(t->QueueJob(false, nullptr, loop.Handle()));
    ASSERT_TRUE(WaitFor([&] { return loop.Reports > 0; }));
    EXPECT_TRUE(t->Terminate(5000));
    EXPECT_TRUE(loop.Aborted);
    EXPECT_FALSE(t->HasWorker());
    EXPECT_TRUE(t->Terminate(0)) << "nothing to stop";
}

TEST(SThread, DestroyingWaitsForTheWorker)
{
    LoopJob loop;
    auto t = NewThread();
    ASSERT_TRUE(t->QueueJob(false, nullptr, loop.Handle()));
    ASSERT_TRUE(WaitFor([&] { return loop.Reports > 0; }));
    t.reset();
    EXPECT_TRUE(loop.Aborted) << "the job was stopped and had ended before the object went";

    // A job that is slow to notice is still waited for.
    std::atomic<bool> ended{false};
    Job slow{[&](TSThread* thread, TSThreadParams*) {
        std::this_thread::sleep_for(50ms);
        thread->SetMessage("late");
        ended = true;
    }};
    t = NewThread();
    ASSERT_TRUE(t->QueueJob(false, Params("p"), slow.Handle()));
    ASSERT_TRUE(WaitFor([&] { return t->State() == tsRunning; }));
    t.reset();
    EXPECT_FALSE(ended) << "stopped at its report";
}

TEST(SThread, OnlyObjectsOfTheClassLibraryTakeWorkerJobs)
{
    // The end of an object on the stack or inside another cannot wait for a
    // worker that keeps running: TSThread itself cannot be declared so...
    EXPECT_FALSE(std::is_default_constructible_v<TSThread>);

    // ...and an object of a class below it declared so takes no worker job.
    std::atomic<int> runs{0};
    Job job{[&](TSThread*, TSThreadParams*) { ++runs; }};
    {
        TCountedThread local;
        auto kept = Params("p");
        EXPECT_FALSE(local.QueueJob(false, std::move(kept), job.Handle()));
        EXPECT_NE(kept, nullptr) << "the Params stay with the caller";
        EXPECT_FALSE(local.HasWorker());
        EXPECT_TRUE(local.RunSynchronously(nullptr, job.Handle())) << "the caller's thread is not in danger";
        EXPECT_EQ(runs, 1);
    }
    std::unique_ptr<TSThread> made(TSObject::Create<TCountedThread>());
    ASSERT_TRUE(made->QueueJob(false, nullptr, job.Handle()));
    ASSERT_TRUE(WaitFor([&] { return Idle(*made); }));
    EXPECT_EQ(runs, 2);
}

TEST(SThread, DeleteWaitsBoundedAndALateWorkerEndsTheObject)
{
    const int ended = TCountedThread::Ended;
    TSThread* t = TSObject::Create<TCountedThread>();
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<bool> aborted{false};
    std::atomic<std::int32_t> paramsSize{-1};
    // Reaches no cancellation point until released; then still uses its thread
    // and its Params.
    Job stubborn{[&](TSThread* thread, TSThreadParams* params) {
        started = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        paramsSize = params->Size();
        try {
            thread->SetMessage("late");
        } catch (const EAbort&) {
            aborted = true;
            throw;
        }
    }};
    ASSERT_TRUE(t->QueueJob(false, Params("p"), stubborn.Handle()));
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));

    // Deleted on another thread, so that a delete that never returns fails the test.
    std::atomic<bool> deleted{false};
    std::chrono::steady_clock::duration waited{};
    std::thread deleter([&] {
        const auto start = std::chrono::steady_clock::now();
        delete t;
        waited = std::chrono::steady_clock::now() - start;
        deleted = true;
    });
    const bool returned = WaitFor([&] { return deleted.load(); }, std::chrono::milliseconds(kThreadDestroyWaitMs) + 5s);
    EXPECT_TRUE(returned) << "delete waits for ever for a job that reaches no cancellation point";
    if (returned) {
        EXPECT_GE(waited, std::chrono::milliseconds(kThreadDestroyWaitMs));
        EXPECT_EQ(GlobalThreadsList()->IndexOf(t), -1) << "a deleted thread is no longer listed";
        EXPECT_EQ(TCountedThread::Ended, ended) << "the object outlives the worker that uses it";
    }
    release = true;
    deleter.join();
    ASSERT_TRUE(WaitFor([&] { return TCountedThread::Ended == ended + 1; }));
    EXPECT_EQ(paramsSize, 1);
    EXPECT_TRUE(aborted) << "stopped at its report";

    // Deleted from its own job: nothing to wait for; the worker ends the object
    // when it leaves.
    t = TSObject::Create<TCountedThread>();
    std::atomic<bool> stopped{false};
    Job selfDelete{[&](TSThread* thread, TSThreadParams*) {
        delete thread;
        try {
            thread->Step(1);
        } catch (const EAbort&) {
            stopped = true;
            throw;
        }
    }};
    ASSERT_TRUE(t->QueueJob(false, nullptr, selfDelete.Handle()));
    ASSERT_TRUE(WaitFor([&] { return TCountedThread::Ended == ended + 2; }, 1s));
    EXPECT_TRUE(stopped);
}

TEST(SThread, SuspendedThreadHoldsItsJobsUntilStopped)
{
    // Start suspended: the worker waits before the job, and can still be stopped.
    {
        StateLog states;
        auto t = NewThread();
        states.Attach(t.get());
        std::atomic<bool> ran{false};
        Job job{[&](TSThread*, TSThreadParams*) { ran = true; }};
        t->Suspend();
        ASSERT_TRUE(t->QueueJob(false, nullptr, job.Handle()));
        std::this_thread::sleep_for(30ms);
        EXPECT_TRUE(t->HasWorker());
        EXPECT_FALSE(ran);
        EXPECT_EQ(t->State(), tsIdle);
        EXPECT_TRUE(t->Terminate(5000));
        EXPECT_FALSE(ran);
        EXPECT_EQ(states.Get(), (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 1}, {1, 5}, {5, 0}}));
    }
    // Suspending a running job pauses it at its next report.
    {
        auto t = NewThread();
        LoopJob loop;
        ASSERT_TRUE(t->QueueJob(false, nullptr, loop.Handle()));
        ASSERT_TRUE(WaitFor([&] { return loop.Reports > 0; }));
        t->Suspend();
        std::this_thread::sleep_for(20ms);
        const int paused = loop.Reports;
        std::this_thread::sleep_for(30ms);
        EXPECT_LE(loop.Reports, paused + 1);
        t->RequestTerminate();
        ASSERT_TRUE(WaitFor([&] { return Idle(*t); }));
        EXPECT_TRUE(loop.Aborted);
    }
    // Destroying a suspended thread stops its waiting worker.
    {
        auto t = NewThread();
        Job job{[](TSThread*, TSThreadParams*) { ADD_FAILURE() << "a suspended job ran"; }};
        t->Suspend();
        ASSERT_TRUE(t->QueueJob(false, Params("p"), job.Handle()));
        ASSERT_TRUE(t->HasWorker());
    }
}

TEST(SThread, SynchronousRunsInTheCallersThread)
{
    StateLog states;
    auto t = NewThread();
    states.Attach(t.get());
    std::thread::id where;
    bool synchronous = false;
    Job job{[&](TSThread* thread, TSThreadParams* params) {
        where = std::this_thread::get_id();
        synchronous = thread->IsSynchronous();
        EXPECT_EQ(params->Size(), 4);
        EXPECT_TRUE(thread->CheckTerminated());
        // Queueing is ignored meanwhile, and the Params stay with the caller.
        auto inner = Params("inner");
        EXPECT_FALSE(thread->QueueJob(false, std::move(inner), TSThreadJob{}));
        Job other{[](TSThread*, TSThreadParams*) {}};
        EXPECT_FALSE(thread->QueueJob(false, std::move(inner), other.Handle()));
        EXPECT_FALSE(thread->RunSynchronously(std::move(inner), other.Handle()));
        EXPECT_NE(inner, nullptr);
        thread->SetRange(0, 2, 1);
    }};
    EXPECT_TRUE(t->RunSynchronously(Params("load"), job.Handle()));
    EXPECT_EQ(where, std::this_thread::get_id());
    EXPECT_TRUE(synchronous);
    EXPECT_FALSE(t->IsSynchronous());
    EXPECT_EQ(t->Progress(), 500000);
    EXPECT_EQ(t->State(), tsDone) << "a synchronous run stays in its end state";
    EXPECT_EQ(states.Get(), (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 1}, {1, 2}}));

    struct Case {
        const char* what;
        std::function<void(TSThread*)> body;
        std::int32_t end;
    };
    const Case cases[] = {
        {"terminate from inside", [](TSThread* x) { x->Terminate(100); }, tsAborted},
        {"request, then a report",
         [](TSThread* x) {
             x->RequestTerminate();
             x->Step(1);
         },
         tsAborted},
        {"ordinary error", [](TSThread*) { throw std::runtime_error("bad file"); }, tsFailed},
        {"returns", [](TSThread*) {}, tsDone},
    };
    for (const auto& c : cases) {
        Job j{[&](TSThread* x, TSThreadParams*) { c.body(x); }};
        EXPECT_TRUE(t->RunSynchronously(nullptr, j.Handle()));
        EXPECT_EQ(t->State(), c.end) << c.what;
    }

    // Ignored while a worker exists: the Params stay with the caller.
    LoopJob loop;
    ASSERT_TRUE(t->QueueJob(false, nullptr, loop.Handle()));
    ASSERT_TRUE(WaitFor([&] { return loop.Started.load(); }));
    auto kept = Params("keep");
    Job never{[](TSThread*, TSThreadParams*) { ADD_FAILURE() << "ran beside a worker"; }};
    EXPECT_FALSE(t->RunSynchronously(std::move(kept), never.Handle()));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->Size(), 4);
    EXPECT_FALSE(t->RunSynchronously(std::move(kept), TSThreadJob{}));
    EXPECT_NE(kept, nullptr);
    loop.Release = true;
    ASSERT_TRUE(WaitFor([&] { return Idle(*t); }));
}

TEST(SThread, SynchronousRunKeepsAnEarlierRequestToStop)
{
    StateLog states;
    auto t = NewThread();
    states.Attach(t.get());
    std::atomic<int> reached{0};
    Job job{[&](TSThread* thread, TSThreadParams*) {
        thread->SetMessage("first report");
        ++reached;
    }};
    // Cancelled before the run got under way: it stops at its first check.
    t->RequestTerminate();
    EXPECT_TRUE(t->RunSynchronously(nullptr, job.Handle()));
    EXPECT_EQ(t->State(), tsAborted);
    EXPECT_EQ(reached, 0);
    // The request was that run's: the next one runs to its end.
    EXPECT_TRUE(t->RunSynchronously(nullptr, job.Handle()));
    EXPECT_EQ(t->State(), tsDone);
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(states.Get(), (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 1}, {1, 5}, {5, 1}, {1, 2}}));
}

TEST(SThread, PriorityBecomesTheWorkersNiceValue)
{
    const int base = getpriority(PRIO_PROCESS, 0);
    auto t = NewThread();
    EXPECT_TRUE(t->SetPriority(-2));
    EXPECT_EQ(t->Priority(), -2);
    std::atomic<int> before{-100};
    std::atomic<int> after{-100};
    std::atomic<bool> lowered{false};
    Job job{[&](TSThread*, TSThreadParams*) {
        before = getpriority(PRIO_PROCESS, 0);
        while (!lowered)
            std::this_thread::sleep_for(1ms);
        after = getpriority(PRIO_PROCESS, 0);
    }};
    ASSERT_TRUE(t->QueueJob(false, nullptr, job.Handle()));
    ASSERT_TRUE(WaitFor([&] { return before != -100; }));
    EXPECT_EQ(before, std::min(base + 10, 19));
    // Lower still while the worker runs: idle is the end of the scale.
    EXPECT_TRUE(t->SetPriority(-15));
    lowered = true;
    ASSERT_TRUE(WaitFor([&] { return Idle(*t); }));
    EXPECT_EQ(after, 19);
    EXPECT_EQ(t->Priority(), -15);
}
