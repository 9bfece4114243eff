#include "Command.h"
#include "engine3d/model/EngineUnits.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Units that write their starts and ends into one log; the unit named in
// gFailing fails to start.
std::vector<std::string> gLog;
std::string gFailing;

template <char Name>
void Start()
{
    if (gFailing == std::string(1, Name))
        throw std::runtime_error("cannot start");
    gLog.push_back(std::string("+") + Name);
}

template <char Name>
void Stop()
{
    gLog.push_back(std::string("-") + Name);
}

constexpr TSUnit kUnits[] = {
    {"A", &Start<'A'>, &Stop<'A'>},
    {"B", &Start<'B'>, &Stop<'B'>},
    {"C", &Start<'C'>, &Stop<'C'>},
};

}  // namespace

TEST(EngineUnits, StartInOrderAndEndInReverse)
{
    struct Case {
        const char* failing;
        std::vector<std::string> log;
        bool fails;
    };
    const Case cases[] = {
        {"", {"+A", "+B", "+C", "-C", "-B", "-A"}, false},
        {"A", {}, true},
        {"B", {"+A", "-A"}, true},
        {"C", {"+A", "+B", "-B", "-A"}, true},
    };
    for (const auto& c : cases) {
        gLog.clear();
        gFailing = c.failing;
        bool failed = false;
        try {
            StartUnits(kUnits);
            StopUnits(kUnits);
        } catch (const std::runtime_error&) {
            failed = true;
        }
        EXPECT_EQ(failed, c.fails) << c.failing;
        EXPECT_EQ(gLog, c.log) << c.failing;
    }
    gFailing.clear();
}

// The classes a unit registers are there in a program that refers to nothing
// of that unit: the table, not a static object, starts it.
TEST(EngineUnits, ProgramThatRefersToNoUnitFindsTheirClasses)
{
    const std::string probe = std::string(SUITE_BIN_DIR) + "/engine3d_units_probe";
    const testsupport::CommandResult run = testsupport::RunCommand(probe);
    const std::string& text = run.output;
    const int status = run.status;
    ASSERT_NE(status, -1) << text;
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_EQ(text, "started\nended\nstarted again\nended\n");
}

// The engine's core needs no window library: the probe links it alone.
TEST(EngineUnits, CoreLinksWithoutQt)
{
    const std::string probe = std::string(SUITE_BIN_DIR) + "/engine3d_units_probe";
    const testsupport::CommandResult run = testsupport::RunCommand("ldd " + probe);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("libc.so"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("libQt"), std::string::npos) << run.output;
}
