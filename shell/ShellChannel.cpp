#include "ShellChannel.h"

#include "ShellCommands.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

static_assert(CShellChannel::kMaxCommand == ShellMessageReader::kMaxCommand);

constexpr char kAck = 1;
// How often a listener that lost its server tries again.
constexpr int kWatchMs = 500;

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Octal(unsigned mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

// Empty when path is a socket of this user's own; "missing" when there is nothing there.
std::string CheckOwnSocket(const std::string& path, bool* missing)
{
    *missing = false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            *missing = true;
            return {};
        }
        return path + ": " + std::strerror(errno);
    }
    if (!S_ISSOCK(st.st_mode))
        return path + " is not a socket";
    if (st.st_uid != ::geteuid())
        return path + " belongs to user " + std::to_string(st.st_uid);
    return {};
}

}  // namespace

std::string CheckPrivateFolder(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return path + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return path + " is not a folder";
    if (st.st_uid != ::geteuid())
        return path + " belongs to user " + std::to_string(st.st_uid);
    if ((st.st_mode & 077) != 0)
        return path + " is open to other users (mode " + Octal(st.st_mode) + ")";
    return {};
}

std::string ShellChannelPath(std::string* error)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && CheckPrivateFolder(runtime.toStdString()).empty())
        return runtime.toStdString() + "/Quorvex.socket";
    const std::string folder = QDir::tempPath().toStdString() + "/Quorvex-" + std::to_string(::geteuid());
    ::mkdir(folder.c_str(), 0700);  // an existing one is checked like a new one
    std::string why = CheckPrivateFolder(folder);
    if (!why.empty()) {
        if (error)
            *error = std::move(why);
        return {};
    }
    return folder + "/Quorvex.socket";
}

CShellChannel::CShellChannel() : m_allowedUid(::geteuid()) {}

CShellChannel::~CShellChannel()
{
    // The sockets go before the count they keep; the server removes its socket file
    // while the lock is still held.
    delete m_server;
    m_server = nullptr;
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool CShellChannel::Refuse(Refusal refusal, std::string error)
{
    m_refusal = refusal;
    m_error = std::move(error);
    return false;
}

bool CShellChannel::IsListening() const
{
    return m_server && m_server->isListening();
}

bool CShellChannel::Listen(const std::string& path, ExecuteHandler handler)
{
    m_handler = std::move(handler);
    m_refusal = Refusal::None;
    m_error.clear();
    if (m_lockFd >= 0)
        return Refuse(Refusal::Failed, "already listening at " + m_path);
    if (std::string why = CheckPrivateFolder(FolderOf(path)); !why.empty())
        return Refuse(Refusal::Failed, why);

    const std::string lockPath = path + ".lock";
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Refuse(Refusal::Failed, lockPath + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return Refuse(Refusal::Failed, lockPath + " is not a file of this user's own");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return Refuse(Refusal::Taken, "another shell holds " + lockPath);
        return Refuse(Refusal::Failed, lockPath + ": " + std::strerror(err));
    }
    m_lockFd = fd;
    m_path = path;
    if (!StartServer()) {
        ::close(m_lockFd);
        m_lockFd = -1;
        return false;
    }
    m_watch = new QTimer(this);
    m_watch->setInterval(kWatchMs);
    connect(m_watch, &QTimer::timeout, this, [this] {
        // The server closes itself for good when an accept fails (no descriptor left);
        // whoever holds the lock may listen again.
        if (!IsListening())
            StartServer();
    });
    m_watch->start();
    return true;
}

bool CShellChannel::StartServer()
{
    // Under the lock whatever lies at the path was left by a shell that died.
    bool missing = false;
    if (std::string why = CheckOwnSocket(m_path, &missing); !why.empty())
        return Refuse(Refusal::Failed, why);
    if (!missing && ::unlink(m_path.c_str()) != 0 && errno != ENOENT)
        return Refuse(Refusal::Failed, m_path + ": " + std::strerror(errno));

    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(QString::fromStdString(m_path)))
        return Refuse(Refusal::Failed, m_path + ": " + m_server->errorString().toStdString());
    connect(m_server, &QLocalServer::newConnection, this, [this] { Accept(); });
    return true;
}

void CShellChannel::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        bool allowed = m_open < kMaxConnections;
        if (allowed) {
            // Only the user's own processes may hand the shell commands.
            struct ucred cred {};
            socklen_t size = sizeof cred;
            const int fd = static_cast<int>(socket->socketDescriptor());
            allowed = fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && size == sizeof cred &&
                      cred.uid == m_allowedUid;
        }
        if (!allowed) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Serve(socket);
    }
}

void CShellChannel::Serve(QLocalSocket* socket)
{
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    auto message = std::make_shared<ShellMessageReader>();
    auto done = std::make_shared<bool>(false);
    auto take = [socket, message] {
        const QByteArray more = socket->read(static_cast<qint64>(message->Room()));
        return message->Feed(more.constData(), static_cast<std::size_t>(more.size()));
    };
    auto finish = [this, socket, message, done, take] {
        if (*done)
            return;
        *done = true;
        // What arrived together with the end of the connection.
        take();
        const std::string text = message->Command();
        if (socket->state() == QLocalSocket::ConnectedState) {
            socket->write(&kAck, 1);
            socket->flush();
            socket->disconnectFromServer();
        }
        socket->deleteLater();
        if (m_handler && !text.empty())
            m_handler(text);
    };
    auto read = [take, finish] {
        if (take())
            finish();
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    connect(socket, &QLocalSocket::disconnected, this, finish);
    // A client that neither finishes nor leaves loses its place.
    QTimer::singleShot(kIdleDeadlineMs, socket, [socket, done] {
        if (*done)
            return;
        *done = true;
        socket->abort();
        socket->deleteLater();
    });
    if (socket->bytesAvailable() > 0)
        read();
}

ForwardResult ForwardToRunningShell(const std::string& path, const std::string& text, int timeoutMs)
{
    if (!CheckPrivateFolder(FolderOf(path)).empty())
        return ForwardResult::Unsafe;
    bool missing = false;
    if (!CheckOwnSocket(path, &missing).empty())
        return ForwardResult::Unsafe;
    if (missing)
        return ForwardResult::NoShell;

    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path));
    if (!socket.waitForConnected(1000))
        return ForwardResult::NoShell;
    if (timeoutMs <= 0)  // only asked whether somebody listens
        return ForwardResult::Sent;
    QByteArray data = QByteArray::fromStdString(text);
    data.append('\0');
    socket.write(data);
    if (!socket.waitForBytesWritten(timeoutMs))
        return ForwardResult::Failed;
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs))
            return ForwardResult::Failed;
    }
    char ack = 0;
    return socket.read(&ack, 1) == 1 && ack == kAck ? ForwardResult::Sent : ForwardResult::Failed;
}
