#pragma once
// The channel through which other processes hand a running shell their commands: a
// local socket in a folder that only the user owns and can enter. One execute string per
// connection, ended by a zero byte or by the end of the connection, is acknowledged at
// once with one byte and then handed on, cut to its first 519 characters.
//
// One shell per user: the listener holds an exclusive lock beside the socket for as long
// as it listens, taken before it looks at the socket, so two starts at once cannot both
// listen and neither removes the other's live socket.

#include <QObject>
#include <functional>
#include <string>

#include <sys/types.h>

class QLocalServer;
class QLocalSocket;
class QTimer;

// Empty when path is a folder of this user's own that nobody else may enter; else why not.
std::string CheckPrivateFolder(const std::string& path);

// The socket's path: in $XDG_RUNTIME_DIR when that folder passes the check, else in
// <tmp>/Quorvex-<uid>, made 0700 when missing. Empty, with the reason in error, when the
// folder found there is not the user's own.
std::string ShellChannelPath(std::string* error = nullptr);

class CShellChannel final : public QObject {
public:
    static constexpr std::size_t kMaxCommand = 519;
    // A connection that has not finished its command by then is dropped.
    static constexpr int kIdleDeadlineMs = 3000;
    // Connections held open at once; more are closed as they come.
    static constexpr int kMaxConnections = 16;

    enum class Refusal {
        None,
        Taken,   // another shell holds the lock: it is running or starting
        Failed,  // the folder is not safely ours, or the socket cannot be made
    };

    using ExecuteHandler = std::function<void(const std::string& command)>;

    CShellChannel();
    ~CShellChannel() override;
    CShellChannel(const CShellChannel&) = delete;
    CShellChannel& operator=(const CShellChannel&) = delete;

    // Takes the lock beside path, removes a socket left there by a shell that died and
    // listens; false when it cannot (Why() and Error() say why). GUI thread.
    bool Listen(const std::string& path, ExecuteHandler handler);
    Refusal Why() const { return m_refusal; }
    const std::string& Error() const { return m_error; }

    bool IsListening() const;
    int OpenConnections() const { return m_open; }

    // Only this user id may talk to the channel (the process's own by default).
    void SetAllowedPeer(uid_t uid) { m_allowedUid = uid; }

private:
    bool StartServer();
    void Accept();
    void Serve(QLocalSocket* socket);
    bool Refuse(Refusal refusal, std::string error);

    QLocalServer* m_server = nullptr;  // a child of this object
    QTimer* m_watch = nullptr;         // listens again after the server failed
    ExecuteHandler m_handler;
    std::string m_path;
    int m_lockFd = -1;
    int m_open = 0;
    uid_t m_allowedUid;
    Refusal m_refusal = Refusal::None;
    std::string m_error;
};

enum class ForwardResult {
    Sent,     // a shell acknowledged the text
    NoShell,  // nobody listens at path
    Failed,   // a shell was there but did not acknowledge in time
    Unsafe,   // the socket or its folder is not this user's own: never connected to
};

// Hands text to the shell listening at path and waits for its acknowledgement.
ForwardResult ForwardToRunningShell(const std::string& path, const std::string& text, int timeoutMs = 5000);
