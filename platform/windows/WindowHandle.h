#pragma once
// Handles of windows and their private messages. A handle stays valid after its window
// is gone: posting to it then drops the message and sending answers 0.

#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace plat {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// First number of the private messages; a window's own messages are WM_USER + n.
inline constexpr unsigned WM_USER = 0x0400;
// A menu command for the window's command handler: wParam is the command id.
inline constexpr unsigned WM_COMMAND = 0x0111;
// Moves a dialog's focus to its next control (wParam 0, lParam 0) or previous one
// (wParam 1, lParam 0); windows that are no dialogs ignore it.
inline constexpr unsigned WM_NEXTDLGCTL = 0x0028;

// Show commands of ShowWindow-style calls.
enum ShowCmd : int {
    SW_HIDE = 0,
    SW_SHOW = 5
};

using MessageHandler = std::function<LResult(unsigned msg, WParam wParam, LParam lParam)>;

class WindowHandle final {
public:
    WindowHandle() = default;  // the null handle: no window

    // Gives window a handle whose messages go to handler, on the GUI thread. The handle
    // lives until the window is destroyed or Close() is called, whichever comes first.
    static WindowHandle Attach(QWidget* window, MessageHandler handler);
    // The handle last attached to window, or the null handle. GUI thread only.
    static WindowHandle Of(const QWidget* window);

    // Whether the window still exists; any thread.
    bool IsWindow() const;
    // The window, or null when it is gone. GUI thread only.
    QWidget* Widget() const;

    // Delivers the message on the GUI thread later; false (and nothing queued) when
    // the window is already gone. A message still queued when the window goes is dropped.
    bool PostMessage(unsigned msg, WParam wParam = 0, LParam lParam = 0) const;
    // Runs the handler and answers its result; 0 when the window is gone. From a thread
    // other than the GUI thread it blocks until the GUI thread has handled it.
    LResult SendMessage(unsigned msg, WParam wParam = 0, LParam lParam = 0) const;

    // The window is going away: from now on messages to it are dropped. GUI thread only.
    void Close() const;

    explicit operator bool() const { return m_block != nullptr; }
    bool operator==(const WindowHandle& other) const { return m_block == other.m_block; }

private:
    struct Block;
    explicit WindowHandle(std::shared_ptr<Block> block) : m_block(std::move(block)) {}
    LResult Deliver(unsigned msg, WParam wParam, LParam lParam) const;

    std::shared_ptr<Block> m_block;
};

}  // namespace plat
