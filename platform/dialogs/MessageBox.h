#pragma once
// The one entry for message boxes, callable from any thread: the box is shown on the
// GUI thread and the caller waits for the answer. An installed answerer takes the place
// of the box (tests install one, so no test ever waits for a person).

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/windows/WindowHandle.h"

namespace plat {

// Type flags: buttons, icon, modality.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONEXCLAMATION = MB_ICONWARNING,
    MB_ICONINFORMATION = 0x40,
    MB_SYSTEMMODAL = 0x1000,
    MB_TOPMOST = 0x40000,  // above every other window
};

// Answers.
enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDYES = 6,
    IDNO = 7
};

struct MessageBoxCall {
    std::string text;
    std::string caption;
    unsigned type = MB_OK;
    bool owned = false;  // an owner window existed when the box was shown
};

using MessageBoxAnswerer = std::function<int(const MessageBoxCall&)>;

// Shows the box owned by owner (if it still exists) and answers the button pressed.
int MessageBox(const WindowHandle& owner, const std::string& text, const std::string& caption, unsigned type);

// Installs answerer (an empty one restores real boxes); answers the previous one.
// The answerer runs on the GUI thread.
MessageBoxAnswerer SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

// Installs an answerer for its lifetime that records every box and answers `answer`, or
// what `decide` answers when given; restores the previous answerer at the end.
class ScopedMessageBoxAnswerer final {
public:
    explicit ScopedMessageBoxAnswerer(int answer, MessageBoxAnswerer decide = {});
    ~ScopedMessageBoxAnswerer();

    // Installed once: neither copied nor moved.
    ScopedMessageBoxAnswerer(const ScopedMessageBoxAnswerer&) = delete;
    ScopedMessageBoxAnswerer& operator=(const ScopedMessageBoxAnswerer&) = delete;

    std::vector<MessageBoxCall> Calls() const;

private:
    mutable std::mutex m_mutex;
    std::vector<MessageBoxCall> m_calls;
    MessageBoxAnswerer m_previous;
};

}  // namespace plat
