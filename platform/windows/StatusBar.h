#pragma once
// A status bar of text panes with a progress bar among its children. Both are
// reached by window handle, so a worker can drive them without waiting: from the
// GUI thread a call takes effect at once, from any other it is posted, and a post
// that arrives after the window has gone is dropped.

#include <QProgressBar>
#include <QStatusBar>
#include <string>
#include <vector>

#include "platform/windows/WindowHandle.h"

class QLabel;

namespace plat {

// Private messages of a progress bar's handle.
inline constexpr unsigned PBM_SETRANGE = WM_USER + 1;  // lParam: low word lo, high word hi, 16 bits each
inline constexpr unsigned PBM_SETPOS = WM_USER + 2;    // wParam: position; answers the old one
inline constexpr unsigned PBM_DELTAPOS = WM_USER + 3;  // wParam: added to the position; answers the old one
inline constexpr unsigned PBM_SETSTEP = WM_USER + 4;   // wParam: step; answers the old one
inline constexpr unsigned PBM_STEPIT = WM_USER + 5;    // adds the step; answers the old position
inline constexpr unsigned PBM_GETRANGE = WM_USER + 7;  // wParam non-zero: answers the low end, else the high
inline constexpr unsigned PBM_GETPOS = WM_USER + 8;

// lParam of two 16-bit words: low in bits 0 to 15, high in bits 16 to 31.
inline LParam MakeLParam(unsigned low, unsigned high)
{
    return LParam((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

// A progress bar: range 0 to 100 and step 10 at start. Stepping past the high end
// starts again from the low end.
class ProgressCtrl final : public QProgressBar {
public:
    explicit ProgressCtrl(QWidget* parent = nullptr);
    ~ProgressCtrl() override;
    ProgressCtrl(const ProgressCtrl&) = delete;
    ProgressCtrl& operator=(const ProgressCtrl&) = delete;

    const WindowHandle& Handle() const { return m_handle; }

    int Low() const { return m_low; }
    int High() const { return m_high; }
    int Pos() const { return m_pos; }
    int Step() const { return m_step; }

private:
    LResult OnMessage(unsigned msg, WParam wParam, LParam lParam);
    void SetPos(int pos);

    int m_low = 0;
    int m_high = 100;
    int m_pos = 0;
    int m_step = 10;
    WindowHandle m_handle;
};

// A status bar whose panes end at given right edges; its progress bar is a hidden
// child that the owner places and shows.
class StatusBar final : public QStatusBar {
public:
    explicit StatusBar(QWidget* parent = nullptr);
    ~StatusBar() override;
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;

    const WindowHandle& Handle() const { return m_handle; }
    ProgressCtrl* Progress() const { return m_progress; }

    // Panes with these right edges in pixels; -1 (or the last edge) runs to the end
    // of the bar. Texts of panes that stay are kept.
    void SetParts(const std::vector<int>& rightEdges);
    int PartCount() const { return int(m_panes.size()); }
    // Text of pane part, drawn at once; a pane that does not exist is ignored.
    void SetText(int part, const std::string& text);
    std::string Text(int part) const;

private:
    std::vector<QLabel*> m_panes;
    ProgressCtrl* m_progress = nullptr;
    WindowHandle m_handle;
};

// Sets the text of pane part of the status bar behind bar; any thread (see above).
// A null or gone handle does nothing.
void SetStatusText(const WindowHandle& bar, int part, const std::string& text);

}  // namespace plat
