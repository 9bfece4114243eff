#include <gtest/gtest.h>

#include <atomic>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/errors/FaultGuard.h"
#include "platform/threads/ParallelFor.h"
#include "TempDir.h"

namespace {

const char* Name(unsigned code)
{
    return code == plat::FAULT_INT_DIVIDE_BY_ZERO ? "EXCEPTION_INT_DIVIDE_BY_ZERO" : nullptr;
}

volatile int g_zero = 0;

// An object with a destructor (one that frees nothing: the guard abandons the frame).
struct Held {
    int uses = 0;
    ~Held() { g_zero = 0; }
};

// An opaque call that may throw, so that the frame below has a cleanup to run.
__attribute__((noinline)) void Touch(Held& held)
{
    if (++held.uses > 1000)
        throw std::logic_error("overused");
}

// The hardware trap is the point, not the sanitizer's check before it.
__attribute__((noinline, no_sanitize("integer-divide-by-zero"))) int Divide(int n)
{
    return n / g_zero;
}

// A frame holding an object with a destructor when the fault strikes.
__attribute__((noinline, no_sanitize("integer-divide-by-zero"))) int DivideHolding(int n)
{
    Held held;
    Touch(held);
    const int q = n / g_zero;
    Touch(held);
    return q + held.uses;
}

bool FpeBlocked()
{
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, SIGFPE) == 1;
}

class FaultGuardTest : public ::testing::Test {
protected:
    void SetUp() override { plat::InstallFaultHandlers(Name); }
};

// The fault leaves fn where it stands and is thrown from the guard, on the normal path:
// the signal is not blocked there, and the next fault is caught the same way.
TEST_F(FaultGuardTest, ArithmeticFaultIsThrownFromTheGuard)
{
    struct Case {
        const char* name;
        int (*fn)(int);
    } cases[] = {
        {"plain frame", Divide},
        {"frame with a cleanup", DivideHolding},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 3; ++round) {
            bool after = false;
            try {
                plat::CallFaultGuarded([&] {
                    c.fn(7);
                    after = true;
                });
                ADD_FAILURE() << "no fault";
            } catch (const plat::HardwareFault& fault) {
                EXPECT_EQ(fault.code, unsigned(plat::FAULT_INT_DIVIDE_BY_ZERO));
                EXPECT_FALSE(FpeBlocked());
            }
            EXPECT_FALSE(after);
        }
    }
}

TEST_F(FaultGuardTest, ResultsAndExceptionsPassUnchanged)
{
    EXPECT_EQ(plat::CallFaultGuarded([] { return 42; }), 42);
    EXPECT_EQ(plat::CallFaultGuarded([] { return std::string("rows"); }), "rows");
    int calls = 0;
    plat::CallFaultGuarded([&] { ++calls; });
    EXPECT_EQ(calls, 1);
    try {
        plat::CallFaultGuarded([] { throw std::runtime_error("own"); });
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "own");
    }
}

TEST_F(FaultGuardTest, GuardsNestAndEachThreadHasItsOwn)
{
    bool outerGoesOn = false;
    plat::CallFaultGuarded([&] {
        EXPECT_THROW(plat::CallFaultGuarded([] { Divide(1); }), plat::HardwareFault);
        outerGoesOn = true;
    });
    EXPECT_TRUE(outerGoesOn);

    unsigned code = 0;
    std::thread worker([&] {
        try {
            plat::CallFaultGuarded([] { Divide(2); });
        } catch (const plat::HardwareFault& fault) {
            code = fault.code;
        }
    });
    worker.join();
    EXPECT_EQ(code, unsigned(plat::FAULT_INT_DIVIDE_BY_ZERO));
}

// A file that another program cuts short under a mapping: reading the lost pages
// inside a guard throws the in-page error; outside a guard it stays fatal.
struct CutShortMapping {
    testsupport::TempDir dir;
    long page = ::sysconf(_SC_PAGESIZE);
    int fd = -1;
    volatile unsigned char* bytes = nullptr;

    CutShortMapping()
    {
        fd = ::open(dir.File("cut.bin").c_str(), O_RDWR | O_CREAT, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, 4 * page), 0);
        void* view = ::mmap(nullptr, std::size_t(4 * page), PROT_READ, MAP_SHARED, fd, 0);
        EXPECT_NE(view, MAP_FAILED);
        bytes = static_cast<volatile unsigned char*>(view);
        EXPECT_EQ(::ftruncate(fd, page), 0);
    }
    ~CutShortMapping()
    {
        ::munmap(const_cast<unsigned char*>(bytes), std::size_t(4 * page));
        ::close(fd);
    }
};

TEST_F(FaultGuardTest, ReadingPastAMappedFileCutShortIsThrownFromTheGuard)
{
    CutShortMapping cut;
    EXPECT_EQ(plat::CallFaultGuarded([&] { return int(cut.bytes[10]); }), 0);
    for (int round = 0; round < 2; ++round) {
        try {
            plat::CallFaultGuarded([&] { return int(cut.bytes[2 * cut.page + round]); });
            ADD_FAILURE() << "no fault";
        } catch (const plat::HardwareFault& fault) {
            EXPECT_EQ(fault.code, unsigned(plat::FAULT_IN_PAGE_ERROR));
        }
    }
}

// A piece of the parallel loop that reads a lost page, on a helper thread or on the
// caller, hands the fault to the caller as an exception; the loop is usable after.
TEST_F(FaultGuardTest, AParallelLoopHandsAFaultOfAnyPieceToItsCaller)
{
    CutShortMapping cut;
    for (int threads : {1, 4}) {
        SCOPED_TRACE(threads);
        std::atomic<int> sum{0};
        try {
            plat::ParallelFor(4 * 64, 1, threads, [&](std::int64_t first, std::int64_t end, int) {
                for (std::int64_t i = first; i < end; ++i)
                    sum += cut.bytes[std::size_t(i / 64 * cut.page)];
            });
            ADD_FAILURE() << "no fault";
        } catch (const plat::HardwareFault& fault) {
            EXPECT_EQ(fault.code, unsigned(plat::FAULT_IN_PAGE_ERROR));
        }
        std::atomic<int> pieces{0};
        plat::ParallelFor(64, 1, threads, [&](std::int64_t, std::int64_t, int) { ++pieces; });
        EXPECT_EQ(pieces.load(), 64);
    }
}

[[noreturn]] void ReadCutShortOutsideAGuard()
{
    plat::InstallFaultHandlers(Name);
    CutShortMapping cut;
    std::exit(cut.bytes[3 * cut.page]);
}

TEST(FaultGuardDeathTest, ReadingPastAMappedFileOutsideAGuardEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(ReadCutShortOutsideAGuard(), "Fatal fault: signal 07");
}

// Guards that ended, by a fault or an exception, leave nothing behind: a fault outside
// any guard is named and ends the program.
[[noreturn]] void FaultAfterGuards()
{
    plat::InstallFaultHandlers(Name);
    try {
        plat::CallFaultGuarded([] { Divide(3); });
    } catch (const plat::HardwareFault&) {
    }
    try {
        plat::CallFaultGuarded([] { throw 1; });
    } catch (int) {
    }
    Divide(4);
    std::exit(0);
}

TEST(FaultGuardDeathTest, FaultOutsideAGuardIsNamedAndEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(FaultAfterGuards(), "Fatal fault: EXCEPTION_INT_DIVIDE_BY_ZERO");
}

// The program's own report: its two texts around the name, nothing for a fault without one.
[[noreturn]] void FaultWithOwnText(int sig)
{
    plat::InstallFaultHandlers(Name);
    plat::SetFatalFaultText("<<", ">>");
    if (sig == SIGFPE)
        Divide(5);
    std::raise(sig);
    std::exit(0);
}

TEST(FaultGuardDeathTest, OwnTextStandsAroundTheName)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(FaultWithOwnText(SIGFPE), "<<EXCEPTION_INT_DIVIDE_BY_ZERO>>\n");
    EXPECT_DEATH(FaultWithOwnText(SIGBUS), "<<>>\n");
}

}  // namespace
