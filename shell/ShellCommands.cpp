#include "ShellCommands.h"

#include <algorithm>

int FindDelimited(std::string& out, const std::string& text, int start, char open, char close)
{
    if (start < 0 || static_cast<size_t>(start) > text.size())
        return -1;
    const size_t first = text.find(open, static_cast<size_t>(start));
    if (first == std::string::npos)
        return -1;
    const size_t last = text.find(close, first + 1);
    if (last == std::string::npos)
        return -1;
    out = text.substr(first + 1, last - first - 1);
    return static_cast<int>(last) + 1;
}

void ExecuteShellCommand(const std::string& command, const ShellOpenFunction& open)
{
    // Case-sensitive; whichever keyword stands first decides.
    const size_t openAt = command.find("Open");
    const size_t disableAt = command.find("DisableView");
    if (openAt == std::string::npos || (disableAt != std::string::npos && disableAt < openAt))
        return;
    std::string path;
    if (FindDelimited(path, command, static_cast<int>(openAt), '"', '"') >= 0 && open)
        open(path);
}

void ParseShellCommands(const std::string& text, const ShellOpenFunction& open)
{
    int position = 0;
    std::string command;
    for (;;) {
        const int next = FindDelimited(command, text, position, '[', ']');
        if (next < 0)
            break;
        ExecuteShellCommand(command, open);
        position = next;
    }
}

bool ShellMessageReader::Feed(const char* data, std::size_t size)
{
    if (data != nullptr)
        m_received.append(data, std::min(size, Room()));
    return Complete();
}

bool ShellMessageReader::Complete() const
{
    return m_received.size() >= kMaxRead || m_received.find('\0') != std::string::npos;
}

std::string ShellMessageReader::Command() const
{
    const std::size_t zero = m_received.find('\0');
    return m_received.substr(0, std::min(zero, kMaxCommand));
}
