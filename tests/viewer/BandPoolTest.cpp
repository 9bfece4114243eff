#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "pyramid/BandPool.h"

namespace {

// Every band runs exactly once, also when several callers share the pool and
// one of them has to run its bands alone.
TEST(BandPool, EachBandRunsOnceWhateverTheCallers)
{
    constexpr int kCallers = 4, kRounds = 50, kBands = 13;
    std::vector<std::atomic<int>> counts(kCallers * kRounds * kBands);
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c)
        callers.emplace_back([&, c] {
            for (int r = 0; r < kRounds; ++r)
                RunOnBandPool(kBands, [&](int band) { ++counts[size_t((c * kRounds + r) * kBands + band)]; });
        });
    for (auto& t : callers)
        t.join();
    for (const auto& n : counts)
        ASSERT_EQ(n.load(), 1);
    EXPECT_GE(BandPoolSize(), 1);
    int ran = 0;
    RunOnBandPool(0, [&](int) { ++ran; });
    RunOnBandPool(1, [&](int) { ++ran; });
    EXPECT_EQ(ran, 1);
}

}  // namespace
