#pragma once
// The viewer's cursor position window (template 205): the cross-hair's pixel and the
// value there, written by the frame, and a typed pixel to jump to ("Skip to pixel",
// WM_VIEWER_DLGCMD 6; the frame reads the fields itself). The close box sends 5.

#include "frame/ToolDialog.h"

class QLineEdit;

namespace plat {
class SpinButton;
}

// Controls of the cursor position window that the frame writes and reads.
enum CursorPosControl : unsigned {
    IDC_CURSOR_X = 2000,
    IDC_CURSOR_Y = 2001,
    IDC_CURSOR_VALUE = 2002,
    IDC_SKIP_TO_PIXEL = 2003,
};

class CCursorPosDlg final : public CToolDialog {
public:
    static constexpr int kMaxPixel = 32000;

    CCursorPosDlg() = default;

    void Create(QWidget* parent, plat::WindowHandle frame);
    // The arrows' ranges: 0 .. maxX and 0 .. maxY.
    void SetPixelLimits(int maxX, int maxY);

    int X() const { return m_nX; }
    int Y() const { return m_nY; }
    plat::SpinButton* XSpin() const { return m_spinX; }
    plat::SpinButton* YSpin() const { return m_spinY; }

    static const plat::DialogTemplate& Template();

private:
    void OnSkipToPixel();

    plat::SpinButton* m_spinX = nullptr;
    plat::SpinButton* m_spinY = nullptr;
    QLineEdit* m_editValue = nullptr;
    QLineEdit* m_editX = nullptr;
    QLineEdit* m_editY = nullptr;
    int m_nX = 0;
    int m_nY = 0;
};
