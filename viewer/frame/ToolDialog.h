#pragma once
// A modeless tool dialog of the viewer frame: made hidden with the frame from its
// template, then only shown and hidden; it lives as long as the frame. Closing it
// (close box, Escape) sends its close request to the frame, which hides it; a dialog
// without a close request hides itself.

#include <string>

#include "WindowHandle.h"

class QWidget;

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

class CToolDialog final {
public:
    // closeCode: the WM_VIEWER_DLGCMD code its closing sends, 0 for none.
    CToolDialog(const plat::DialogTemplate& tmpl, int closeCode);
    ~CToolDialog();
    // Owns its window: neither copied nor moved.
    CToolDialog(const CToolDialog&) = delete;
    CToolDialog& operator=(const CToolDialog&) = delete;

    // Builds the window, hidden, under parent; requests go to frame.
    void Create(QWidget* parent, plat::WindowHandle frame);
    void Show(bool show);
    bool IsShown() const;

    plat::Dialog* Window() const { return m_wnd; }
    std::string Text(unsigned id) const;
    void SetText(unsigned id, const std::string& text);

    static const plat::DialogTemplate& BrightContrastTemplate();
    static const plat::DialogTemplate& StatisticsTemplate();
    static const plat::DialogTemplate& PaletteTemplate();
    static const plat::DialogTemplate& CursorPosTemplate();
    static const plat::DialogTemplate& RGBLevelsTemplate();

private:
    const plat::DialogTemplate& m_template;
    int m_nCloseCode = 0;
    plat::WindowHandle m_hFrame;
    plat::Dialog* m_wnd = nullptr;
};

// Controls of the cursor-position dialog that the frame writes and reads.
enum CursorPosControl : unsigned {
    IDC_CURSOR_X = 2000,
    IDC_CURSOR_Y = 2001,
    IDC_CURSOR_VALUE = 2002,
    IDC_SKIP_TO_PIXEL = 2003,
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
