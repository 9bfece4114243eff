#pragma once
// The shared timer of the benchmarks: best-of-n timings of our side, of the
// reference tool's side (a shell command) and of the real limit of the same
// work, and one line per comparison with the ratio it is judged by, each side's
// thread count and the goal.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "platform/threads/ParallelFor.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(const std::function<void()>& fn)
{
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Fastest of runs, so other work on the machine weighs least. prepare runs
// untimed before each run (a fresh input, a removed output).
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

struct Side {
    const char* name;
    double seconds;
    int threads;
};

// "what: a 1.234 s (8 threads), b 2.345 s (1 thread); b / a = 1.90 (goal >= 1.5): met".
// The ratio is numerator.seconds / denominator.seconds; atMost says which way
// the goal points. Returns whether it is met.
inline bool Compare(const char* what, const Side& numerator, const Side& denominator, double goal, bool atMost)
{
    const double ratio = numerator.seconds / denominator.seconds;
    const bool met = atMost ? ratio <= goal : ratio >= goal;
    std::printf("%s: %s %.4g s (%d thread%s), %s %.4g s (%d thread%s); %s / %s = %.2f (goal %s %g): %s\n", what,
                numerator.name, numerator.seconds, numerator.threads, numerator.threads == 1 ? "" : "s",
                denominator.name, denominator.seconds, denominator.threads, denominator.threads == 1 ? "" : "s",
                numerator.name, denominator.name, ratio, atMost ? "<=" : ">=", goal, met ? "met" : "MISSED");
    std::fflush(stdout);
    return met;
}

// The same line without a goal, for a figure that explains another.
inline void Ratio(const char* what, const Side& numerator, const Side& denominator)
{
    std::printf("%s: %s %.4g s (%d thread%s), %s %.4g s (%d thread%s); %s / %s = %.2f\n", what, numerator.name,
                numerator.seconds, numerator.threads, numerator.threads == 1 ? "" : "s", denominator.name,
                denominator.seconds, denominator.threads, denominator.threads == 1 ? "" : "s", numerator.name,
                denominator.name, numerator.seconds / denominator.seconds);
    std::fflush(stdout);
}

// A folder for the benchmark's files: the first argument, else TMPDIR, else /tmp.
inline std::string Folder(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    return argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
}

}  // namespace bench
