#include "platform/threads/ParallelFor.h"

#include "platform/errors/FaultGuard.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/threads/ThreadNice.h"

namespace plat {

namespace {

// One running loop. It lives on its caller's stack; the pool lists it while
// helpers may join, and the caller leaves only when no helper is inside.
struct Job {
    Job(FunctionRef<void(int64_t, int64_t, int)> b, int64_t n, int64_t g, int64_t p, int helpers, int nice)
        : body(b),
          count(n),
          grain(g),
          pieces(p),
          maxHelpers(helpers),
          callerNice(nice),
          finished(std::make_unique<std::atomic<unsigned char>[]>(size_t(p)))
    {}

    FunctionRef<void(int64_t, int64_t, int)> body;
    const int64_t count;
    const int64_t grain;
    const int64_t pieces;
    const int maxHelpers;
    const int callerNice;
    std::unique_ptr<std::atomic<unsigned char>[]> finished;  // per piece
    std::atomic<int64_t> next{0};                            // next piece to hand out
    std::atomic<bool> stop{false};
    // Under the pool's mutex:
    std::condition_variable changed;  // a piece finished or a helper left
    int helpers = 0;                  // helpers that joined; their slots are 1 .. helpers
    int inside = 0;                   // helpers not yet left
    std::exception_ptr error;

    bool Open() const { return !stop.load() && next.load() < pieces && helpers < maxHelpers; }
};

int AvailableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

std::atomic<int> g_limit{0};  // 0: no limit

// The kept workers. Neither copied nor moved: they refer to it until it goes.
class Pool final {
public:
    Pool()
    {
        const int workers = AvailableCores() - 1;
        for (int i = 0; i < workers; ++i) {
            try {
                m_threads.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;  // fewer workers then
            }
        }
    }
    ~Pool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        for (auto& t : m_threads)
            t.join();
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    int Threads() const { return int(m_threads.size()) + 1; }

    void Run(Job& job, FunctionRef<void(int64_t)> progress);

private:
    void Work();
    void RunPieces(Job& job, int slot, bool caller);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::list<Job*> m_jobs;
    std::vector<std::thread> m_threads;
    bool m_quit = false;
};

Pool& ThePool()
{
    static Pool pool;
    return pool;
}

// Pieces throw the library's exceptions by pointer; one that is not handed on
// to the caller is freed here.
void Discard(std::exception_ptr error)
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (plat::Exception* e) {
        e->Delete();
    } catch (...) {
    }
}

void Pool::RunPieces(Job& job, int slot, bool caller)
{
    while (!job.stop.load()) {
        const int64_t piece = job.next.fetch_add(1);
        if (piece >= job.pieces)
            return;
        const int64_t begin = piece * job.grain;
        try {
            // A hardware fault in a piece (a mapped file cut short) is thrown here like
            // any exception: never a jump out past this frame while helpers still run.
            CallFaultGuarded([&] { job.body(begin, std::min(job.count, begin + job.grain), slot); });
            job.finished[size_t(piece)].store(1, std::memory_order_release);
        } catch (...) {
            std::exception_ptr later;
            {
                std::lock_guard lock(m_mutex);
                if (!job.error)
                    job.error = std::current_exception();
                else
                    later = std::current_exception();
                job.stop = true;
            }
            Discard(later);
        }
        if (caller)
            return;  // the caller reports between pieces
        std::lock_guard lock(m_mutex);
        job.changed.notify_all();
    }
}

void Pool::Work()
{
    int nice = ThreadNice(CurrentThreadId()).value_or(0);
    std::unique_lock lock(m_mutex);
    for (;;) {
        Job* job = nullptr;
        m_wake.wait(lock, [&] {
            if (m_quit)
                return true;
            for (Job* j : m_jobs)
                if (j->Open()) {
                    job = j;
                    return true;
                }
            return false;
        });
        if (m_quit)
            return;
        const int slot = ++job->helpers;
        ++job->inside;
        lock.unlock();
        // A helper works at its caller's priority, so that a background job's
        // loop stays in the background.
        if (job->callerNice != nice && SetThreadNice(CurrentThreadId(), job->callerNice))
            nice = job->callerNice;
        RunPieces(*job, slot, false);
        lock.lock();
        --job->inside;
        job->changed.notify_all();
    }
}

void Pool::Run(Job& job, FunctionRef<void(int64_t)> progress)
{
    int64_t scanned = 0;  // leading pieces known finished
    int64_t reported = 0;
    const auto advanced = [&] {
        while (scanned < job.pieces && job.finished[size_t(scanned)].load(std::memory_order_acquire))
            ++scanned;
        return std::min(job.count, scanned * job.grain) > reported;
    };
    const auto report = [&] {
        if (advanced()) {
            reported = std::min(job.count, scanned * job.grain);
            progress(reported);
        }
    };
    // Unlists the job, so no helper joins any more, and waits until the helpers
    // inside have left, reporting as their pieces finish when asked to.
    const auto finish = [&](bool reporting) {
        std::unique_lock lock(m_mutex);
        m_jobs.remove(&job);
        while (job.inside > 0) {
            job.changed.wait(lock, [&] { return job.inside == 0 || (reporting && advanced()); });
            if (reporting && job.inside > 0) {
                lock.unlock();
                report();
                lock.lock();
            }
        }
    };

    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(&job);
    }
    m_wake.notify_all();
    try {
        while (!job.stop.load() && job.next.load() < job.pieces) {
            RunPieces(job, 0, true);
            report();
        }
        finish(true);
    } catch (...) {
        job.stop = true;
        finish(false);
        Discard(std::exchange(job.error, nullptr));
        throw;
    }
    if (job.error)
        std::rethrow_exception(job.error);
    report();
}

}  // namespace

int ParallelThreads()
{
    // Under a cap of one the workers are not started: idle threads that ever ran
    // make each unmapping of the process interrupt their processors.
    const int limit = g_limit.load();
    if (limit == 1)
        return 1;
    const int threads = ThePool().Threads();
    return limit > 0 ? std::min(limit, threads) : threads;
}

void SetParallelThreadLimit(int threads)
{
    g_limit = std::max(threads, 0);
}

int ParallelThreadsFor(int64_t bytes)
{
    return bytes < (int64_t(1) << 20) ? 1 : ParallelThreads();
}

void ParallelFor(int64_t count, int64_t grain, int threads, FunctionRef<void(int64_t, int64_t, int)> body,
                 FunctionRef<void(int64_t)> progress)
{
    if (count <= 0)
        return;
    grain = std::clamp<int64_t>(grain, 1, count);
    const int64_t pieces = (count + grain - 1) / grain;
    const int helpers = int(std::min<int64_t>(std::min(threads, ParallelThreads()) - 1, pieces - 1));
    if (helpers <= 0) {
        // Faults arrive as exceptions here too, whatever guard the caller has.
        CallFaultGuarded([&] {
            for (int64_t begin = 0; begin < count; begin += grain) {
                const int64_t end = std::min(count, begin + grain);
                body(begin, end, 0);
                progress(end);
            }
        });
        return;
    }
    Job job(body, count, grain, pieces, helpers, ThreadNice(CurrentThreadId()).value_or(0));
    ThePool().Run(job, progress);
}

void ParallelFor(int64_t count, int64_t grain, int threads, FunctionRef<void(int64_t, int64_t, int)> body)
{
    ParallelFor(count, grain, threads, body, [](int64_t) {});
}

}  // namespace plat
