#pragma once
// The viewer's brightness and contrast window (template 202): two fields with arrows.
// Every change of either field is sent at once to the frame (WM_VIEWER_DLGCMD: 2 with
// the brightness, 1 with the contrast); the close box sends 3.

#include "frame/ToolDialog.h"

namespace plat {
class SpinButton;
}

class CBrightContrastDlg final : public CToolDialog {
public:
    enum Control : unsigned {
        IDC_CONTRAST = 2020,
        IDC_BRIGHTNESS = 2022,
    };

    CBrightContrastDlg() = default;

    // Makes the window, hidden, under parent; requests go to frame.
    void Create(QWidget* parent, plat::WindowHandle frame);

    int Brightness() const { return m_nBrightness; }
    int Contrast() const { return m_nContrast; }
    plat::SpinButton* ContrastSpin() const { return m_spinContrast; }
    plat::SpinButton* BrightnessSpin() const { return m_spinBrightness; }

    static const plat::DialogTemplate& Template();

private:
    // Both fields into the members, brightness first; stops at a field without a number.
    void UpdateData();
    void OnChange(int code);

    plat::SpinButton* m_spinContrast = nullptr;
    plat::SpinButton* m_spinBrightness = nullptr;
    int m_nBrightness = 0;
    int m_nContrast = 0;
};
