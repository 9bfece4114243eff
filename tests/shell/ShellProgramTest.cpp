#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <filesystem>
#include <string>

#include "PumpUntil.h"
#include "ShellChannel.h"
#include "SmallLayer.h"
#include "TempDir.h"
#include "view/DisplayCache.h"

using namespace std::chrono_literals;
using testsupport::PumpUntil;

namespace {

// The built shell, started as a user would, with private runtime and settings folders.
class ShellProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_runtime.Path()));
        m_env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_config.Path()));
        m_env.insert("QT_QPA_PLATFORM", "offscreen");
        // The shell keeps its windows until the process ends.
        m_env.insert("ASAN_OPTIONS", "detect_leaks=0");
        m_socket = m_runtime.Path() + "/Quorvex.socket";
    }

    void Start(QProcess& shell, const QStringList& args = {})
    {
        shell.setProcessEnvironment(m_env);
        shell.setProgram(QString(SUITE_BIN_DIR) + "/Quorvex");
        shell.setArguments(args);
        shell.start();
        ASSERT_TRUE(shell.waitForStarted(10000));
    }

    bool Listening()
    {
        return PumpUntil([&] { return ForwardToRunningShell(m_socket, std::string(), 0) == ForwardResult::Sent; }, 60s);
    }

    testsupport::TempDir m_runtime;
    testsupport::TempDir m_config;
    QProcessEnvironment m_env;
    std::string m_socket;
};

}  // namespace

TEST_F(ShellProgramTest, ASecondStartHandsItsCommandLineToTheFirst)
{
    QProcess first;
    Start(first);
    ASSERT_TRUE(Listening());

    const std::string layer = m_runtime.File("small.rdp");
    WriteSmallLayer(layer);
    QProcess second;
    Start(second, {"[Open(\"" + QString::fromStdString(layer) + "\")]"});
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    // The first opens a viewer on the file, whose load makes the display cache beside it.
    EXPECT_TRUE(PumpUntil([&] { return std::filesystem::exists(CacheNameBeside(layer, 0)); }, 60s));

    // A shell that dies leaves its socket; the next start takes its place.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    QProcess third;
    Start(third);
    ASSERT_TRUE(Listening());
    EXPECT_EQ(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished(10000);
}

TEST_F(ShellProgramTest, TwoStartsAtOnceLeaveExactlyOneShell)
{
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        QProcess a;
        QProcess b;
        Start(a);
        Start(b);
        ASSERT_TRUE(Listening());
        // The one that lost hands over its command line and ends.
        const bool oneEnded =
            PumpUntil([&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; }, 60s);
        PumpUntil([] { return false; }, 500ms);  // room for a second listener to show up
        const int running = (a.state() == QProcess::Running) + (b.state() == QProcess::Running);
        QProcess& ended = a.state() == QProcess::NotRunning ? a : b;
        const bool endedWell = ended.exitStatus() == QProcess::NormalExit && ended.exitCode() == 0;
        EXPECT_EQ(ForwardToRunningShell(m_socket, std::string(), 0), ForwardResult::Sent);
        a.kill();
        b.kill();
        a.waitForFinished(10000);
        b.waitForFinished(10000);
        ASSERT_TRUE(oneEnded);
        EXPECT_EQ(running, 1);
        EXPECT_TRUE(endedWell);
    }
}
