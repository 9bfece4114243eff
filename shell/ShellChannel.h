#pragma once
// The channel through which other processes hand a running shell their commands: a
// local socket of the user's own. One execute string per connection, ended by a zero
// byte or by the end of the connection, is acknowledged at once with one byte and then
// handed on, cut to its first 519 characters.

#include <QObject>
#include <functional>
#include <string>

class QLocalServer;

// The socket's path: in $XDG_RUNTIME_DIR, else in the temporary folder with the user's id.
std::string ShellChannelPath();

class CShellChannel final : public QObject {
public:
    static constexpr std::size_t kMaxCommand = 519;

    using ExecuteHandler = std::function<void(const std::string& command)>;

    CShellChannel();
    ~CShellChannel() override;
    CShellChannel(const CShellChannel&) = delete;
    CShellChannel& operator=(const CShellChannel&) = delete;

    // Listens at path, after removing a stale socket left there; false when it cannot.
    // GUI thread.
    bool Listen(const std::string& path, ExecuteHandler handler);

private:
    QLocalServer* m_server = nullptr;  // a child of this object
    ExecuteHandler m_handler;
};

enum class ForwardResult {
    Sent,     // a shell acknowledged the text
    NoShell,  // nobody listens at path
    Failed,   // a shell was there but did not acknowledge in time
};

// Hands text to the shell listening at path and waits for its acknowledgement.
ForwardResult ForwardToRunningShell(const std::string& path, const std::string& text, int timeoutMs = 5000);
