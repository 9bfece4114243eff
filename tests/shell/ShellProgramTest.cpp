#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <filesystem>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

TEST_F(ShellProgramTest, AFolderOpenToOthersIsNeverUsedForTheChannel)
{
    // No runtime folder: the channel would live in <tmp>/Quorvex-<uid>, which another user
    // made first, open to all, with a listener in it.
    testsupport::TempDir tmp;
    const std::string folder = tmp.Path() + "/Quorvex-" + std::to_string(::geteuid());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    const std::string planted = folder + "/Quorvex.socket";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::copy(planted.begin(), planted.end(), addr.sun_path);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    if (::geteuid() == 0)
        ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);

    m_env.remove("XDG_RUNTIME_DIR");
    m_env.insert("TMPDIR", QString::fromStdString(tmp.Path()));
    QProcess shell;
    shell.setProcessChannelMode(QProcess::SeparateChannels);
    Start(shell, {"[Open(\"/home/secret.rdp\")]"});
    // The start says why it has no channel and runs as a shell of its own.
    const bool told = PumpUntil(
        [&] {
            return shell.readAllStandardError().contains(QByteArray::fromStdString(folder)) ||
                   shell.state() != QProcess::Running;
        },
        60s);
    PumpUntil([] { return false; }, 1s);
    const bool running = shell.state() == QProcess::Running;
    const int reached = ::accept(listener, nullptr, nullptr);
    shell.kill();
    shell.waitForFinished(10000);
    ::close(listener);
    if (reached >= 0)
        ::close(reached);
    EXPECT_TRUE(told);
    EXPECT_TRUE(running);
    EXPECT_LT(reached, 0) << "the planted listener was connected to";
}
