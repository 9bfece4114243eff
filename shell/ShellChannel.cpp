#include "ShellChannel.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <algorithm>
#include <memory>

#include <unistd.h>

namespace {

// What one connection may send before it is cut off: the command and some slack.
constexpr qint64 kMaxRead = 64 * 1024;
constexpr char kAck = 1;

}  // namespace

std::string ShellChannelPath()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return runtime.toStdString() + "/Quorvex.socket";
    return QDir::tempPath().toStdString() + "/Quorvex-" + std::to_string(::getuid()) + ".socket";
}

CShellChannel::CShellChannel() = default;
CShellChannel::~CShellChannel() = default;

bool CShellChannel::Listen(const std::string& path, ExecuteHandler handler)
{
    m_handler = std::move(handler);
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = QString::fromStdString(path);
    // A shell that answers there keeps its place; a socket file nobody answers at is
    // a leftover of a shell that died.
    if (ForwardToRunningShell(path, std::string(), 0) != ForwardResult::NoShell)
        return false;
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            auto received = std::make_shared<QByteArray>();
            auto done = std::make_shared<bool>(false);
            auto finish = [this, socket, received, done] {
                if (*done)
                    return;
                *done = true;
                // What arrived together with the end of the connection.
                *received += socket->read(std::max<qint64>(0, kMaxRead - received->size()));
                const int zero = received->indexOf('\0');
                QByteArray text = zero >= 0 ? received->left(zero) : *received;
                text.truncate(static_cast<int>(kMaxCommand));
                if (socket->state() == QLocalSocket::ConnectedState) {
                    socket->write(&kAck, 1);
                    socket->flush();
                    socket->disconnectFromServer();
                }
                socket->deleteLater();
                if (m_handler && !text.isEmpty())
                    m_handler(text.toStdString());
            };
            auto read = [socket, received, finish] {
                *received += socket->read(std::max<qint64>(0, kMaxRead - received->size()));
                if (received->contains('\0') || received->size() >= kMaxRead)
                    finish();
            };
            connect(socket, &QLocalSocket::readyRead, this, read);
            connect(socket, &QLocalSocket::disconnected, this, finish);
            if (socket->bytesAvailable() > 0)
                read();
        }
    });
    return true;
}

ForwardResult ForwardToRunningShell(const std::string& path, const std::string& text, int timeoutMs)
{
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
