#include <gtest/gtest.h>

#include <csignal>

#include "platform/errors/FaultGuard.h"
#include "platform/dialogs/MessageBox.h"
#include "ShellApp.h"

TEST(CrashMessageTest, TheNameStandsBetweenTheTwoStrings)
{
    struct Case {
        unsigned code;
        const char* text;
    } const cases[] = {
        {plat::FAULT_ACCESS_VIOLATION,
         "ERROR OCCUREDEXCEPTION_ACCESS_VIOLATIONAfter click button all processes will be closed."},
        {plat::FAULT_INT_DIVIDE_BY_ZERO,
         "ERROR OCCUREDEXCEPTION_INT_DIVIDE_BY_ZEROAfter click button all processes will be closed."},
        {plat::FAULT_STACK_OVERFLOW,
         "ERROR OCCUREDEXCEPTION_STACK_OVERFLOWAfter click button all processes will be closed."},
        {plat::FAULT_FLT_STACK_CHECK, "ERROR OCCUREDAfter click button all processes will be closed."},
        {0x12345678, "ERROR OCCUREDAfter click button all processes will be closed."},
        {0, "ERROR OCCUREDAfter click button all processes will be closed."},  // a C++ exception
    };
    for (const Case& c : cases)
        EXPECT_EQ(CrashText(c.code), c.text) << std::hex << c.code;
}

TEST(CrashMessageTest, TheBoxIsTopmostWithoutIcon)
{
    plat::ScopedMessageBoxAnswerer ok(plat::IDOK);
    ShowCrashMessage(plat::FAULT_ACCESS_VIOLATION);
    ASSERT_EQ(ok.Calls().size(), 1u);
    EXPECT_EQ(ok.Calls()[0].caption, "Quorvex");
    EXPECT_EQ(ok.Calls()[0].type, unsigned(plat::MB_OK | plat::MB_TOPMOST));
    EXPECT_FALSE(ok.Calls()[0].owned);
}

TEST(CrashMessageDeathTest, AFatalSignalWritesTheMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            InstallCrashReport();
            std::raise(SIGSEGV);
        },
        "ERROR OCCUREDEXCEPTION_ACCESS_VIOLATIONAfter click button all processes will be closed\\.");
}
