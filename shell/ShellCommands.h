#pragma once
// The shell's command language, read from its command line and from other processes:
// a command is the text between a "[" and the next "]"; "Open" with a path in double
// quotes opens a viewer on the path, "DisableView" is accepted and does nothing.

#include <cstddef>
#include <functional>
#include <string>

// What a command asks of the shell: open a viewer on the path (used exactly as written).
using ShellOpenFunction = std::function<void(const std::string& path)>;

// Finds the first open character at or after start and the first close character after
// it; out gets the text strictly between them. Answers the position just after the close
// character, or -1 (out untouched) when either is missing.
int FindDelimited(std::string& out, const std::string& text, int start, char open, char close);

// Runs one command (the text inside one pair of brackets).
void ExecuteShellCommand(const std::string& command, const ShellOpenFunction& open);

// Runs every bracketed command of text in order of appearance.
void ParseShellCommands(const std::string& text, const ShellOpenFunction& open);

// One execute string as it arrives on a connection: bytes are taken until a zero byte
// comes or the connection has sent kMaxRead bytes; the command is what precedes the
// zero byte, cut to its first kMaxCommand characters.
class ShellMessageReader final {
public:
    static constexpr std::size_t kMaxRead = 64 * 1024;
    static constexpr std::size_t kMaxCommand = 519;

    // How many more bytes the connection may hand over.
    std::size_t Room() const { return kMaxRead - m_received.size(); }
    // Takes at most Room() of the size bytes; true once the message is complete.
    bool Feed(const char* data, std::size_t size);
    bool Complete() const;
    // The command so far (all of it once complete or once the connection ended).
    std::string Command() const;

private:
    std::string m_received;
};
