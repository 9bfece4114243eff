#include <gtest/gtest.h>

#include <QDialog>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
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
    EXPECT_EQ(second.Why(), CShellChannel::Refusal::Taken);
    // The refused one left the live socket alone.
    EXPECT_TRUE(first.IsListening());
    Sender sender;
    sender.Start(m_path, "[DisableView]");
    ASSERT_TRUE(PumpUntil([&] { return sender.finished.load(); }, 10s));
    EXPECT_EQ(sender.result.load(), ForwardResult::Sent);
}

namespace {

// A listener planted at path as another program would: it counts who connects.
struct PlantedListener {
    int fd = -1;
    explicit PlantedListener(const std::string& path)
    {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), addr.sun_path);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~PlantedListener()
    {
        if (fd >= 0)
            ::close(fd);
    }
    // Whether anybody connected.
    bool Reached() const
    {
        const int client = ::accept(fd, nullptr, nullptr);
        if (client < 0)
            return false;
        ::close(client);
        return true;
    }
};

std::string MakeFolder(const std::string& path, mode_t mode)
{
    ::mkdir(path.c_str(), 0700);
    ::chmod(path.c_str(), mode);
    return path;
}

}  // namespace

TEST_F(ShellChannelTest, ASocketOrFolderNotTheUsersOwnIsNeverConnectedTo)
{
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* what;
        mode_t folderMode;
        bool chownFolder;  // to another user (needs root)
        bool chownSocket;
    };
    const Case cases[] = {
        {"a folder others may enter", 0755, false, false},
        {"a folder others may write", 0733, false, false},
        {"a folder of another user", 0700, true, false},
        {"a socket of another user", 0700, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if ((c.chownFolder || c.chownSocket) && !root)
            continue;
        const std::string folder = MakeFolder(m_runtime.Path() + "/planted", c.folderMode);
        const std::string path = folder + "/Quorvex.socket";
        {
            PlantedListener planted(path);
            ASSERT_GE(planted.fd, 0);
            if (c.chownSocket)
                ASSERT_EQ(::lchown(path.c_str(), 4242, 4242), 0);
            if (c.chownFolder)
                ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);
            EXPECT_EQ(ForwardToRunningShell(path, "[Open(\"/home/secret.rdp\")]"), ForwardResult::Unsafe);
            EXPECT_FALSE(planted.Reached());

            CShellChannel channel;
            EXPECT_FALSE(channel.Listen(path, {}));
            EXPECT_EQ(channel.Why(), CShellChannel::Refusal::Failed);
            EXPECT_NE(channel.Error().find(c.chownSocket ? path : folder), std::string::npos) << channel.Error();
            // Nothing of the other's was removed or taken over.
            struct stat st {};
            EXPECT_EQ(::lstat(path.c_str(), &st), 0);
        }
        std::filesystem::remove_all(folder);
    }
}

TEST_F(ShellChannelTest, TheSocketsFolderIsTheUsersOwnOrNone)
{
    // A runtime folder others may enter is not used: the private temporary one is.
    ::chmod(m_runtime.Path().c_str(), 0755);
    ScopedEnvFolder tmp{"TMPDIR"};
    const std::string own = tmp.Path() + "/Quorvex-" + std::to_string(::geteuid());
    std::string error;
    EXPECT_EQ(ShellChannelPath(&error), own + "/Quorvex.socket");
    EXPECT_EQ(error, "");
    struct stat st {};
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // One that somebody opened up is refused, with the reason.
    ::chmod(own.c_str(), 0777);
    EXPECT_EQ(ShellChannelPath(&error), "");
    EXPECT_NE(error.find(own), std::string::npos) << error;
    EXPECT_NE(error.find("0777"), std::string::npos) << error;
}

TEST_F(ShellChannelTest, APeerOfAnotherUserIsCutOffUnheard)
{
    std::vector<std::string> received;
    CShellChannel channel;
    ASSERT_TRUE(channel.Listen(m_path, [&](const std::string& text) { received.push_back(text); }));
    channel.SetAllowedPeer(::geteuid() + 1);
    Sender sender;
    sender.Start(m_path, "[Open(\"x.rdp\")]");
    ASSERT_TRUE(PumpUntil([&] { return sender.finished.load(); }, 20s));
    EXPECT_EQ(sender.result.load(), ForwardResult::Failed);
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.empty());
}

namespace {

// An idle client: connected, sending nothing.
int ConnectIdle(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), addr.sun_path);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the other end closed fd (without waiting).
bool ClosedByPeer(int fd)
{
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

}  // namespace

TEST_F(ShellChannelTest, IdleClientsAreCappedAndDropped)
{
    std::vector<std::string> received;
    CShellChannel channel;
    ASSERT_TRUE(channel.Listen(m_path, [&](const std::string& text) { received.push_back(text); }));
    std::vector<int> idle;
    for (int i = 0; i < 3 * CShellChannel::kMaxConnections; ++i) {
        idle.push_back(ConnectIdle(m_path));
        ASSERT_GE(idle.back(), 0);
        QCoreApplication::processEvents();
    }
    PumpUntil([] { return false; }, 200ms);
    EXPECT_LE(channel.OpenConnections(), CShellChannel::kMaxConnections);
    // Past the deadline every one of them has been let go.
    const bool dropped =
        PumpUntil([&] { return std::all_of(idle.begin(), idle.end(), [](int fd) { return ClosedByPeer(fd); }); },
                  std::chrono::milliseconds(CShellChannel::kIdleDeadlineMs + 5000));
    for (int fd : idle)
        ::close(fd);
    EXPECT_TRUE(dropped);
    // A dropped connection is deleted later than its peer sees it close.
    EXPECT_TRUE(PumpUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return channel.OpenConnections() == 0;
        },
        5s));

    Sender sender;
    sender.Start(m_path, "[Open(\"after.rdp\")]");
    ASSERT_TRUE(PumpUntil([&] { return sender.finished.load() && !received.empty(); }, 10s));
    EXPECT_EQ(sender.result.load(), ForwardResult::Sent);
}

TEST_F(ShellChannelTest, AfterTheServerFailedItListensAgain)
{
    std::vector<std::string> received;
    CShellChannel channel;
    ASSERT_TRUE(channel.Listen(m_path, [&](const std::string& text) { received.push_back(text); }));

    // No descriptor left for the server's next accept: Qt closes the server for good.
    struct Exhaustion {
        rlimit old{};
        std::vector<int> filler;
        int client = -1;
        bool lowered = false;
        ~Exhaustion()
        {
            if (client >= 0)
                ::close(client);
            for (int fd : filler)
                ::close(fd);
            if (lowered)
                ::setrlimit(RLIMIT_NOFILE, &old);
        }
    };
    bool lost = false;
    {
        Exhaustion ex;
        ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &ex.old), 0);
        rlimit low = ex.old;
        low.rlim_cur = std::min<rlim_t>(ex.old.rlim_cur, 2048);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
        ex.lowered = true;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            ex.filler.push_back(fd);
        ASSERT_FALSE(ex.filler.empty());
        ::close(ex.filler.back());  // room for the client only
        ex.filler.pop_back();
        ex.client = ConnectIdle(m_path);
        ASSERT_GE(ex.client, 0);
        lost = PumpUntil([&] { return !channel.IsListening(); }, 5s);
    }
    ASSERT_TRUE(lost);

    ASSERT_TRUE(PumpUntil([&] { return channel.IsListening(); }, 5s));
    Sender sender;
    sender.Start(m_path, "[Open(\"again.rdp\")]");
    ASSERT_TRUE(PumpUntil([&] { return sender.finished.load() && !received.empty(); }, 10s));
    EXPECT_EQ(sender.result.load(), ForwardResult::Sent);
}
