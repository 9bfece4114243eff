#pragma once
// Runs a per-row computation of a layer operation on several threads. Rows are
// handed out in small chunks from a shared counter, so a thread that the system
// holds back simply takes fewer of them. Only the caller's thread reports
// progress, one step per finished row, so a cancellation (an exception from
// the meter) unwinds there: the other threads stop after their current chunk
// and are joined first. The work of a row must not throw.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace sample {

// Threads for an operation over this many samples: small layers stay on the
// caller's thread.
inline int RowWorkerCount(int64_t samples)
{
    if (samples < (int64_t(1) << 20))
        return 1;
    const unsigned hw = std::thread::hardware_concurrency();
    return int(std::clamp(hw, 1u, 8u));
}

// Calls work(worker, row) for every row of top .. bottom, each worker (0 ..
// workers - 1) on one thread, so that per-worker accumulators need no lock;
// worker 0 is the caller. Calls step() once per finished row, on the caller's
// thread. rowSamples sizes the chunks.
template <class Work, class Step>
void ForEachRow(int top, int bottom, int64_t rowSamples, int workers, Work&& work, Step&& step)
{
    if (workers <= 1 || bottom <= top) {
        for (int row = top; row <= bottom; ++row) {
            work(0, row);
            step();
        }
        return;
    }
    const int64_t chunk = std::max<int64_t>(1, (int64_t(1) << 16) / std::max<int64_t>(rowSamples, 1));
    std::atomic<int64_t> next{top};
    std::atomic<int64_t> done{0};
    std::atomic<bool> stop{false};
    // One chunk of rows; false when none was left.
    const auto take = [&](int worker) {
        const int64_t first = next.fetch_add(chunk);
        if (first > bottom)
            return false;
        const int64_t last = std::min<int64_t>(bottom, first + chunk - 1);
        for (int64_t row = first; row <= last; ++row)
            work(worker, int(row));
        done.fetch_add(last - first + 1);
        return true;
    };

    std::vector<std::thread> threads;
    const auto joinAll = [&] {
        for (auto& t : threads)
            t.join();
        threads.clear();
    };
    const int64_t total = int64_t(bottom) - top + 1;
    int64_t reported = 0;
    try {
        threads.reserve(size_t(workers - 1));
        for (int w = 1; w < workers; ++w) {
            try {
                threads.emplace_back([&take, &stop, w] {
                    while (!stop.load(std::memory_order_relaxed) && take(w)) {
                    }
                });
            } catch (const std::system_error&) {
                break;  // fewer threads then
            }
        }
        for (bool more = true; more;) {
            more = take(0);
            for (const int64_t finished = done.load(); reported < finished; ++reported)
                step();
        }
        joinAll();
        for (; reported < total; ++reported)
            step();
    } catch (...) {
        stop = true;
        joinAll();
        throw;
    }
}

}  // namespace sample
