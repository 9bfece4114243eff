#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/threads/ParallelFor.h"
#include "platform/threads/ThreadNice.h"

namespace {

struct Cancelled {};

// Every item runs exactly once, whatever the grain and thread count, also when
// several callers run loops at the same time.
TEST(ParallelFor, EachItemRunsOnceWhateverTheCallers)
{
    struct Shape {
        int64_t count, grain;
        int threads;
    };
    const Shape shapes[] = {{1, 1, 8}, {13, 1, 8}, {1000, 7, 8}, {1000, 1000, 8}, {1000, 3, 1}, {5, 100, 8}};
    constexpr int kCallers = 4, kRounds = 20;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(testing::Message() << shape.count << " by " << shape.grain << " on " << shape.threads);
        std::vector<std::atomic<int>> counts(size_t(kCallers * kRounds * shape.count));
        std::vector<std::thread> callers;
        for (int c = 0; c < kCallers; ++c)
            callers.emplace_back([&, c] {
                for (int r = 0; r < kRounds; ++r)
                    plat::ParallelFor(shape.count, shape.grain, shape.threads, [&](int64_t b, int64_t e, int) {
                        for (int64_t i = b; i < e; ++i)
                            ++counts[size_t((c * kRounds + r) * shape.count + i)];
                    });
            });
        for (auto& t : callers)
            t.join();
        for (const auto& n : counts)
            ASSERT_EQ(n.load(), 1);
    }
    int ran = 0;
    plat::ParallelFor(0, 1, 8, [&](int64_t, int64_t, int) { ++ran; });
    EXPECT_EQ(ran, 0);
}

// Slots tell apart the pieces running at one time, stay below the threads
// asked for, and the caller is slot 0; progress runs on the caller only, grows,
// covers only finished items and ends at the count.
TEST(ParallelFor, SlotsAreExclusiveAndProgressStaysOnTheCaller)
{
    const int threads = plat::ParallelThreads();
    ASSERT_GE(threads, 1);
    constexpr int64_t kCount = 4000;
    std::vector<std::atomic<int>> busy(static_cast<size_t>(threads));
    std::vector<std::atomic<unsigned char>> done(kCount);
    std::atomic<bool> clash{false}, callerNotZero{false};
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int64_t> reports;
    bool progressElsewhere = false, unfinishedReported = false;
    plat::ParallelFor(
        kCount, 5, threads,
        [&](int64_t b, int64_t e, int slot) {
            if (slot < 0 || slot >= threads || busy[size_t(slot)]++ != 0)
                clash = true;
            if ((std::this_thread::get_id() == caller) != (slot == 0))
                callerNotZero = true;
            for (int64_t i = b; i < e; ++i)
                done[size_t(i)] = 1;
            std::this_thread::yield();
            --busy[size_t(slot)];
        },
        [&](int64_t n) {
            if (std::this_thread::get_id() != caller)
                progressElsewhere = true;
            for (int64_t i = reports.empty() ? 0 : reports.back(); i < n; ++i)
                if (!done[size_t(i)])
                    unfinishedReported = true;
            reports.push_back(n);
        });
    EXPECT_FALSE(clash);
    EXPECT_FALSE(callerNotZero);
    EXPECT_FALSE(progressElsewhere);
    EXPECT_FALSE(unfinishedReported);
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(std::adjacent_find(reports.begin(), reports.end()), reports.end());
    EXPECT_EQ(reports.back(), kCount);
}

// A small loop (one thread asked, or one piece) runs on the caller in order,
// with a report after every piece.
TEST(ParallelFor, SmallLoopsRunInlineInOrder)
{
    for (int threads : {1, 0, -3}) {
        std::vector<int64_t> begins, reports;
        plat::ParallelFor(
            10, 3, threads,
            [&](int64_t b, int64_t, int slot) {
                EXPECT_EQ(slot, 0);
                begins.push_back(b);
            },
            [&](int64_t n) { reports.push_back(n); });
        EXPECT_EQ(begins, (std::vector<int64_t>{0, 3, 6, 9}));
        EXPECT_EQ(reports, (std::vector<int64_t>{3, 6, 9, 10}));
    }
    EXPECT_EQ(plat::ParallelThreadsFor(1000), 1);
    EXPECT_EQ(plat::ParallelThreadsFor(int64_t(1) << 30), plat::ParallelThreads());
}

// A cancel from progress, or an exception from a body on any thread, leaves on
// the caller after the running pieces finished; nothing runs afterwards and
// the next loop works.
TEST(ParallelFor, CancelAndFailuresLeaveOnTheCaller)
{
    for (const bool fromBody : {false, true}) {
        SCOPED_TRACE(fromBody ? "body" : "progress");
        std::atomic<int> running{0}, started{0};
        std::atomic<bool> afterReturn{false};
        std::atomic<bool> returned{false};
        const auto body = [&](int64_t b, int64_t, int) {
            ++running;
            ++started;
            if (returned)
                afterReturn = true;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            --running;
            if (fromBody && b == 20)
                throw std::runtime_error("piece 20");
        };
        int reports = 0;
        try {
            plat::ParallelFor(100000, 1, plat::ParallelThreads(), body, [&](int64_t n) {
                if (!fromBody && ++reports == 3)
                    throw Cancelled{};
            });
            ADD_FAILURE() << "no exception";
        } catch (const Cancelled&) {
            EXPECT_FALSE(fromBody);
        } catch (const std::runtime_error& e) {
            EXPECT_TRUE(fromBody);
            EXPECT_STREQ(e.what(), "piece 20");
        }
        returned = true;
        EXPECT_EQ(running.load(), 0);
        EXPECT_LT(started.load(), 100000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(afterReturn);
    }
    std::atomic<int64_t> sum{0};
    plat::ParallelFor(1000, 10, plat::ParallelThreads(), [&](int64_t b, int64_t e, int) {
        for (int64_t i = b; i < e; ++i)
            sum += i;
    });
    EXPECT_EQ(sum.load(), 999 * 1000 / 2);
}

// Exceptions thrown by pointer from several pieces at once, or while the caller
// is cancelled: the one handed on reaches the caller, every other is freed.
TEST(ParallelFor, ExceptionsNotHandedOnAreFreed)
{
    static std::atomic<int> alive{0};
    struct Counted final : plat::Exception {
        Counted() { ++alive; }
        ~Counted() override { --alive; }
    };
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "pieces only");
        std::atomic<int> arrived{0};
        const int threads = std::max(2, plat::ParallelThreads());
        try {
            plat::ParallelFor(
                64, 1, threads,
                [&](int64_t, int64_t, int) {
                    // Let several pieces be under way before any throws.
                    ++arrived;
                    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
                    while (arrived.load() < 2 && std::chrono::steady_clock::now() < until)
                        std::this_thread::yield();
                    throw new Counted;
                },
                [&](int64_t) {
                    if (cancel)
                        throw Cancelled{};
                });
            ADD_FAILURE() << "no exception";
        } catch (plat::Exception* e) {
            e->Delete();
        } catch (const Cancelled&) {
            EXPECT_TRUE(cancel);
        }
        EXPECT_EQ(alive.load(), 0);
    }
}

// A loop inside a loop's body runs to its end (its thread is that loop's caller).
TEST(ParallelFor, LoopsNest)
{
    std::atomic<int64_t> items{0};
    plat::ParallelFor(16, 1, plat::ParallelThreads(), [&](int64_t, int64_t, int) {
        plat::ParallelFor(500, 7, plat::ParallelThreads(), [&](int64_t b, int64_t e, int) { items += e - b; });
    });
    EXPECT_EQ(items.load(), 16 * 500);
}

// A thread cap holds for every loop until lifted.
TEST(ParallelFor, ThreadLimitCapsTheSlots)
{
    plat::SetParallelThreadLimit(1);
    EXPECT_EQ(plat::ParallelThreads(), 1);
    std::atomic<int> highest{0};
    plat::ParallelFor(1000, 1, 8, [&](int64_t, int64_t, int slot) {
        int seen = highest.load();
        while (slot > seen && !highest.compare_exchange_weak(seen, slot)) {
        }
    });
    plat::SetParallelThreadLimit(0);
    EXPECT_EQ(highest.load(), 0);
    EXPECT_GE(plat::ParallelThreads(), 1);
}

// Nice values of single threads: this thread's is read and set back; a value
// beyond the scale is clamped.
TEST(ThreadNice, ReadsAndSetsTheCallingThreadsValue)
{
    std::thread([] {
        const int tid = plat::CurrentThreadId();
        const std::optional<int> before = plat::ThreadNice(tid);
        ASSERT_TRUE(before.has_value());
        ASSERT_TRUE(plat::SetThreadNice(tid, *before + 2));
        EXPECT_EQ(plat::ThreadNice(tid), std::min(*before + 2, 19));
        ASSERT_TRUE(plat::SetThreadNice(tid, 1000));
        EXPECT_EQ(plat::ThreadNice(tid), 19);
        EXPECT_FALSE(plat::ThreadNice(-5).has_value());
    }).join();
}

}  // namespace
