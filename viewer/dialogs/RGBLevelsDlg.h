#pragma once
// The viewer's channel levels window (template 207): a slider 0..255 per channel under
// a label with the channel's name and level. Every move of a slider is sent at once to
// the frame (WM_VIEWER_DLGCMD 7 red, 8 green, 9 blue, with the position); the close box
// sends 3.

#include "frame/ToolDialog.h"

class QLabel;
class QSlider;

class CRGBLevelsDlg final : public CToolDialog {
public:
    enum Control : unsigned {
        IDC_RED_SLIDER = 1015,
        IDC_RED_LABEL = 1016,
        IDC_GREEN_SLIDER = 1017,
        IDC_GREEN_LABEL = 1018,
        IDC_BLUE_SLIDER = 1019,
        IDC_BLUE_LABEL = 1020,
    };

    CRGBLevelsDlg() = default;

    void Create(QWidget* parent, plat::WindowHandle frame);

    // Channel 0 red, 1 green, 2 blue.
    QSlider* Slider(int channel) const { return m_slider[channel]; }
    QLabel* Label(int channel) const { return m_label[channel]; }

    static const plat::DialogTemplate& Template();

private:
    void OnHScroll(int channel);

    QLabel* m_label[3] = {nullptr, nullptr, nullptr};
    QSlider* m_slider[3] = {nullptr, nullptr, nullptr};
};
