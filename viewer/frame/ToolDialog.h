#pragma once
// What the viewer frame's modeless tool dialogs share: a window made hidden with the
// frame from a template, then only shown and hidden, living as long as the frame; its
// requests go to the frame's handle as WM_VIEWER_DLGCMD. The close box sends the
// dialog's close request, and the frame hides the window in answer.

#include <string>

#include "platform/windows/WindowHandle.h"

class QWidget;

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

class CToolDialog {
public:
    virtual ~CToolDialog();
    // Owns its window: neither copied nor moved.
    CToolDialog(const CToolDialog&) = delete;
    CToolDialog& operator=(const CToolDialog&) = delete;

    void Show(bool show);
    bool IsShown() const;

    plat::Dialog* Window() const { return m_wnd; }
    std::string Text(unsigned id) const;
    void SetText(unsigned id, const std::string& text);

protected:
    CToolDialog() = default;

    // Builds the window, hidden, under parent; requests go to frame. The close box sends
    // closeCode (0: none); Enter and Escape do nothing until the dialog says otherwise.
    plat::Dialog* MakeWindow(const plat::DialogTemplate& tmpl, QWidget* parent, plat::WindowHandle frame,
                             int closeCode);
    // Sends a request to the frame; answers its result.
    plat::LResult SendToFrame(int code, plat::LParam value) const;
    // Reads field id as an int: false, with the framework's box, when it holds none.
    bool ReadInt(unsigned id, int& value) const;

    plat::WindowHandle m_hFrame;
    plat::Dialog* m_wnd = nullptr;
};

// Requests of the tool dialogs (WM_VIEWER_DLGCMD wParam).
enum ToolRequest : int {
    REQ_CONTRAST = 1,
    REQ_BRIGHTNESS = 2,
    REQ_ADJUST_CLOSED = 3,
    REQ_STATISTICS_CLOSED = 4,
    REQ_CURSOR_CLOSED = 5,
    REQ_SKIP_TO_PIXEL = 6,
    REQ_RED_LEVEL = 7,
    REQ_GREEN_LEVEL = 8,
    REQ_BLUE_LEVEL = 9,
};

// The box of a field that holds no integer.
inline constexpr const char* kEnterIntegerText = "Please enter an integer.";
