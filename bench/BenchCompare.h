#pragma once
// The shared timer of the benchmarks. Every comparison has two lines: per core
// (both sides on one thread, pinned to the same core) and all cores (both sides
// on every thread they can use). Each figure is the median of three runs; the
// load of the machine is printed beside every line. A reference tool that is
// missing ends the benchmark with a failure. GDAL runs at the block cache that
// is fastest for the job (a few are tried, the one used is printed).

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/threads/ParallelFor.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(const std::function<void()>& fn)
{
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Fastest of runs. prepare runs untimed before each run. For short work, as
// one run of Median.
inline double Best(int runs, const std::function<void()>& fn, const std::function<void()>& prepare = {})
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        best = std::min(best, Seconds(fn));
    }
    return best;
}

// Median of runs timings (three unless said). prepare runs untimed before each.
inline double Median(int runs, const std::function<void()>& fn, const std::function<void()>& prepare = {})
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        t.push_back(Seconds(fn));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Median of three runs of short work, each run the fastest of reps calls.
inline double MedianOfBest(int reps, const std::function<void()>& fn)
{
    double t[3];
    for (double& v : t)
        v = Best(reps, fn);
    std::sort(t, t + 3);
    return t[1];
}

// The machine's load averages, as /proc/loadavg gives them.
inline std::string Load()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// Runs a shell command; a failure ends the benchmark.
inline void Run(const std::string& cmd)
{
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", cmd.c_str());
        std::exit(2);
    }
}

// A quoted shell word.
inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Ends the benchmark with a failure unless every reference tool is there.
inline void Require(std::initializer_list<const char*> tools)
{
    for (const char* tool : tools)
        if (std::system(("command -v " + Quote(tool) + " > /dev/null 2>&1").c_str()) != 0) {
            std::fprintf(stderr, "reference missing: %s is not installed (tools/deps.sh test)\n", tool);
            std::exit(2);
        }
}

// The core per-core lines run on: the last one this process may use.
inline int PinnedCore()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    int core = 0;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        for (int i = 0; i < CPU_SETSIZE; ++i)
            if (CPU_ISSET(i, &set))
                core = i;
    return core;
}

// A shell command run on PinnedCore() alone.
inline std::string OnOneCore(const std::string& cmd)
{
    return "taskset -c " + std::to_string(PinnedCore()) + " " + cmd;
}

// Sets the CPU mask of every thread of the process (threads started later
// take the mask of the one that starts them).
inline void SetProcessAffinity(const cpu_set_t& set)
{
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec))
        sched_setaffinity(pid_t(std::atoi(task.path().filename().c_str())), sizeof set, &set);
}

// While alive, the suite's loops run on the calling thread alone and every
// thread of the process (a job's thread too) is pinned to PinnedCore().
class OneCore {
public:
    OneCore()
    {
        sched_getaffinity(0, sizeof m_saved, &m_saved);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(PinnedCore(), &one);
        SetProcessAffinity(one);
        plat::SetParallelThreadLimit(1);
    }
    ~OneCore()
    {
        plat::SetParallelThreadLimit(0);
        SetProcessAffinity(m_saved);
    }
    OneCore(const OneCore&) = delete;
    OneCore& operator=(const OneCore&) = delete;

private:
    cpu_set_t m_saved;
};

// A time per core and on all cores.
struct Timings {
    double one = 0, all = 0;
};

// Our side: median of three on all threads, then on one pinned core.
inline Timings Ours(const std::function<void()>& fn, const std::function<void()>& prepare = {}, int runs = 3)
{
    Timings t;
    t.all = Median(runs, fn, prepare);
    OneCore pin;
    t.one = Median(runs, fn, prepare);
    return t;
}

// Our side for short work: MedianOfBest on all threads and on one pinned core.
inline Timings OursShort(int reps, const std::function<void()>& fn)
{
    Timings t;
    t.all = MedianOfBest(reps, fn);
    OneCore pin;
    t.one = MedianOfBest(reps, fn);
    return t;
}

// A reference command per core (pinned, run as given) and on all cores.
inline Timings Tool(const std::string& cmd, const std::function<void()>& prepare = {}, int runs = 3)
{
    Timings t;
    t.all = Median(runs, [&] { Run(cmd); }, prepare);
    t.one = Median(runs, [&] { Run(OnOneCore(cmd)); }, prepare);
    return t;
}

// GDAL's fastest block cache for a job: each GDAL_CACHEMAX tried once, the
// fastest then run twice more and the median of its three kept.
struct GdalTimings {
    Timings t;
    std::string cacheOne, cacheAll;
};

inline double GdalFastest(const std::string& prefix, const std::string& args, const std::function<void()>& prepare,
                          std::string& cache)
{
    static const char* const kCaches[] = {"16", "64", "256", "1024"};
    double best = 1e30;
    std::string tried;
    for (const char* c : kCaches) {
        if (prepare)
            prepare();
        const double s = Seconds([&] { Run("GDAL_CACHEMAX=" + std::string(c) + " " + prefix + "sh -c " + Quote(args)); });
        tried += std::string(tried.empty() ? "" : ", ") + c + " MB " + std::to_string(s).substr(0, 5) + " s";
        if (s < best) {
            best = s;
            cache = c;
        }
    }
    const std::string cmd = "GDAL_CACHEMAX=" + cache + " " + prefix + "sh -c " + Quote(args);
    double t[3] = {best, Median(1, [&] { Run(cmd); }, prepare), Median(1, [&] { Run(cmd); }, prepare)};
    std::sort(t, t + 3);
    std::printf("    GDAL_CACHEMAX tried (%s): %s MB used\n", tried.c_str(), cache.c_str());
    return t[1];
}

// args: GDAL commands with their arguments (gdal_translate -q ...), run by sh.
// Per core: GDAL_NUM_THREADS=1 pinned; all cores: GDAL_NUM_THREADS=ALL_CPUS.
inline GdalTimings Gdal(const std::string& args, const std::function<void()>& prepare = {})
{
    GdalTimings g;
    std::printf("  %s\n", args.c_str());
    g.t.all = GdalFastest("GDAL_NUM_THREADS=ALL_CPUS GDAL_PAM_ENABLED=NO ", args, prepare, g.cacheAll);
    g.t.one = GdalFastest("GDAL_NUM_THREADS=1 GDAL_PAM_ENABLED=NO taskset -c " + std::to_string(PinnedCore()) + " ",
                          args, prepare, g.cacheOne);
    return g;
}

// The real limit of a pass over bytes already in memory: every 64-bit word
// read once, vectorised, on threads threads. Returns a sum so nothing is
// optimised away.
inline uint64_t ReadPass(const void* data, int64_t bytes, int threads)
{
    const auto* base = static_cast<const unsigned char*>(data);
    const int64_t words = bytes / 8;
    uint64_t partial[256] = {};
    threads = std::clamp(threads, 1, 256);
    plat::ParallelFor(words, int64_t(1) << 16, threads, [&](int64_t b, int64_t e, int slot) {
        uint64_t s = 0;
        const unsigned char* p = base + b * 8;
#pragma omp simd reduction(+ : s)
        for (int64_t i = 0; i < e - b; ++i) {
            uint64_t v;
            std::memcpy(&v, p + i * 8, 8);
            s += v;
        }
        partial[slot] += s;
    });
    uint64_t sum = 0;
    for (uint64_t s : partial)
        sum += s;
    return sum;
}

// A read pass per core (pinned) and on all threads, median of three.
inline Timings ReadPasses(const void* data, int64_t bytes)
{
    volatile uint64_t sink = ReadPass(data, bytes, plat::ParallelThreads());
    Timings t;
    t.all = Median(3, [&] { sink = ReadPass(data, bytes, plat::ParallelThreads()); });
    OneCore pin;
    t.one = Median(3, [&] { sink = ReadPass(data, bytes, 1); });
    (void)sink;
    return t;
}

// The floor of producing bytes of output in memory: a memcpy of that many
// bytes from and to memory that is not in the caches (buffers taken in turn
// from a set larger than the last-level cache), split over the threads.
// Median of three runs, each the fastest of reps copies.
class ColdCopy {
public:
    explicit ColdCopy(int64_t bytes) : m_bytes(bytes)
    {
        const int64_t set = std::max<int64_t>(bytes, int64_t(256) << 20);
        m_count = int(std::max<int64_t>(2, set / bytes));
        m_from.reset(new unsigned char[size_t(bytes) * size_t(m_count)]);
        m_to.reset(new unsigned char[size_t(bytes) * size_t(m_count)]);
        std::memset(m_from.get(), 7, size_t(bytes) * size_t(m_count));
        std::memset(m_to.get(), 0, size_t(bytes) * size_t(m_count));
    }

    double Time(int threads, int reps)
    {
        return MedianOfBest(reps, [&] {
            const int k = m_next++ % m_count;
            unsigned char* to = m_to.get() + size_t(k) * size_t(m_bytes);
            const unsigned char* from = m_from.get() + size_t(k) * size_t(m_bytes);
            plat::ParallelFor(m_bytes, int64_t(1) << 18, threads, [&](int64_t b, int64_t e, int) {
                std::memcpy(to + b, from + b, size_t(e - b));
            });
            asm volatile("" ::"r"(to) : "memory");
        });
    }

    Timings Both(int reps)
    {
        Timings t;
        t.all = Time(plat::ParallelThreads(), reps);
        OneCore pin;
        t.one = Time(1, reps);
        return t;
    }

private:
    int64_t m_bytes;
    int m_count = 2;
    int m_next = 0;
    std::unique_ptr<unsigned char[]> m_from, m_to;
};

struct Side {
    const char* name;
    double seconds;
    int threads;
};

// "what: a 1.234 s (8 threads), b 2.345 s (1 thread); b / a = 1.90 (goal >= 1.5): met [load ...]".
// The ratio is numerator.seconds / denominator.seconds; atMost says which way
// the goal points. Returns whether it is met.
inline bool Compare(const char* what, const Side& numerator, const Side& denominator, double goal, bool atMost)
{
    const double ratio = numerator.seconds / denominator.seconds;
    const bool met = atMost ? ratio <= goal : ratio >= goal;
    std::printf("%s: %s %.4g s (%d thread%s), %s %.4g s (%d thread%s); %s / %s = %.2f (goal %s %g): %s [load %s]\n",
                what, numerator.name, numerator.seconds, numerator.threads, numerator.threads == 1 ? "" : "s",
                denominator.name, denominator.seconds, denominator.threads, denominator.threads == 1 ? "" : "s",
                numerator.name, denominator.name, ratio, atMost ? "<=" : ">=", goal, met ? "met" : "MISSED",
                Load().c_str());
    std::fflush(stdout);
    return met;
}

// The same line without a goal, for a figure that explains another.
inline void Ratio(const char* what, const Side& numerator, const Side& denominator)
{
    std::printf("%s: %s %.4g s (%d thread%s), %s %.4g s (%d thread%s); %s / %s = %.2f [load %s]\n", what,
                numerator.name, numerator.seconds, numerator.threads, numerator.threads == 1 ? "" : "s",
                denominator.name, denominator.seconds, denominator.threads, denominator.threads == 1 ? "" : "s",
                numerator.name, denominator.name, numerator.seconds / denominator.seconds, Load().c_str());
    std::fflush(stdout);
}

// A goal on one side of a comparison, or none (0).
struct Goal {
    double value = 0;
    bool atMost = true;
};

// Both lines of a comparison: "what, per core" with both sides on one thread
// and "what, all cores" with allThreads threads a side. A side that has no
// threads of its own (cp, tiffcp) gives 1 as its all-core count.
inline bool CompareBoth(const std::string& what, const char* numName, const Timings& num, int numAll,
                        const char* denName, const Timings& den, int denAll, Goal perCore, Goal allCores)
{
    bool ok = true;
    const std::string one = what + ", per core", all = what + ", all cores";
    if (perCore.value > 0)
        ok = Compare(one.c_str(), {numName, num.one, 1}, {denName, den.one, 1}, perCore.value, perCore.atMost) && ok;
    else
        Ratio(one.c_str(), {numName, num.one, 1}, {denName, den.one, 1});
    if (allCores.value > 0)
        ok = Compare(all.c_str(), {numName, num.all, numAll}, {denName, den.all, denAll}, allCores.value,
                     allCores.atMost) &&
             ok;
    else
        Ratio(all.c_str(), {numName, num.all, numAll}, {denName, den.all, denAll});
    return ok;
}

// A folder for the benchmark's files: the first argument, else TMPDIR, else /tmp.
inline std::string Folder(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    return argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
}

}  // namespace bench
