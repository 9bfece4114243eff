#include <gtest/gtest.h>

#include <QDialog>
#include <QLocalSocket>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ModalDriver.h"
#include "PumpUntil.h"
#include "ScopedEnvFolder.h"
#include "ShellApp.h"
#include "ShellChannel.h"

using namespace std::chrono_literals;
using testsupport::PumpUntil;

namespace {

class ShellChannelTest : public ::testing::Test {
protected:
    ScopedEnvFolder m_runtime{"XDG_RUNTIME_DIR"};
    std::string m_path = ShellChannelPath();
};

// Sends from another thread, as another process would, while this thread runs the loop.
struct Sender {
    std::atomic<bool> finished = false;
    std::atomic<ForwardResult> result = ForwardResult::Failed;
    std::thread thread;

    void Start(const std::string& path, const std::string& text)
    {
        thread = std::thread([this, path, text] {
            result = ForwardToRunningShell(path, text);
            finished = true;
        });
    }
    ~Sender()
    {
        if (thread.joinable())
            thread.join();
    }
};

}  // namespace

TEST_F(ShellChannelTest, ThePathLiesInTheRuntimeFolder)
{
    EXPECT_EQ(m_path, m_runtime.Path() + "/Quorvex.socket");
}

TEST_F(ShellChannelTest, ALongCommandIsAcknowledgedAndCutTo519Characters)
{
    std::vector<std::string> received;
    CShellChannel channel;
    ASSERT_TRUE(channel.Listen(m_path, [&](const std::string& text) { received.push_back(text); }));

    std::string text = "[Open(\"";
    while (text.size() < 600)
        text += char('a' + text.size() % 26);
    Sender sender;
    sender.Start(m_path, text);
    ASSERT_TRUE(PumpUntil([&] { return sender.finished.load() && !received.empty(); }, 10s));
    EXPECT_EQ(sender.result.load(), ForwardResult::Sent);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], text.substr(0, 519));
}

TEST_F(ShellChannelTest, AClientThatJustWritesAndLeavesIsHeard)
{
    std::vector<std::string> received;
    CShellChannel channel;
    ASSERT_TRUE(channel.Listen(m_path, [&](const std::string& text) { received.push_back(text); }));
    std::atomic<bool> sent = false;
    std::thread client([&] {
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(m_path));
        if (socket.waitForConnected(5000)) {
            socket.write("[Open(\"x.rdp\")]");  // no terminating zero
            socket.waitForBytesWritten(5000);
            socket.disconnectFromServer();
        }
        sent = true;
    });
    const bool heard = PumpUntil([&] { return sent.load() && !received.empty(); }, 10s);
    client.join();
    ASSERT_TRUE(heard);
    EXPECT_EQ(received, std::vector<std::string>{"[Open(\"x.rdp\")]"});
}

TEST_F(ShellChannelTest, ACommandDuringAModalDialogIsAcknowledgedAndDropped)
{
    std::vector<std::string> opened;
    CShellChannel channel;
    ASSERT_TRUE(channel.Listen(m_path, [&](const std::string& text) {
        DeliverShellCommand(text, [&](const std::string& path) { opened.push_back(path); });
    }));

    Sender during;
    QDialog modal;
    testsupport::RunModal([&] { return testsupport::IsActiveModal(&modal); },
                          {testsupport::Once([&] { during.Start(m_path, "[Open(\"during.rdp\")]"); }),
                           [&] {
                               if (!during.finished)
                                   return false;
                               modal.done(0);
                               return true;
                           }},
                          [&] { return modal.exec(); });
    EXPECT_EQ(during.result.load(), ForwardResult::Sent);
    QCoreApplication::processEvents();
    EXPECT_TRUE(opened.empty());

    Sender after;
    after.Start(m_path, "[Open(\"after.rdp\")]");
    ASSERT_TRUE(PumpUntil([&] { return after.finished.load() && !opened.empty(); }, 10s));
    EXPECT_EQ(opened, std::vector<std::string>{"after.rdp"});
}

TEST_F(ShellChannelTest, AStaleSocketIsReplacedALiveOneIsNot)
{
    // A socket file nobody listens at, as a shell that died leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(m_path.size(), sizeof addr.sun_path);
    std::copy(m_path.begin(), m_path.end(), addr.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    EXPECT_EQ(ForwardToRunningShell(m_path, "x"), ForwardResult::NoShell);

    CShellChannel first;
    ASSERT_TRUE(first.Listen(m_path, {}));
    CShellChannel second;
    EXPECT_FALSE(second.Listen(m_path, {}));
}
