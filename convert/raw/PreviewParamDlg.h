#pragma once
// The modal "Parameters of Preview" dialog: the sampling rate of a preview, with the
// image's size and the preview's size beside it.

#include "platform/windows/WindowHandle.h"
#include "raw/RawImportForm.h"

namespace plat {
class Dialog;
class SpinButton;
struct DialogTemplate;
}  // namespace plat

class CPreviewParamDlg final {
public:
    enum : unsigned {
        IDD = 380,
        IDC_SPIN = 305,
        IDC_RATE = 3130,
        IDC_INIT_WIDTH = 3132,
        IDC_INIT_HEIGHT = 3133,
        IDC_NEW_WIDTH = 3137,
        IDC_NEW_HEIGHT = 3138,
        IDC_INIT_SIZE = 3139,
        IDC_NEW_SIZE = 3140,
    };

    explicit CPreviewParamDlg(plat::WindowHandle parent = {});
    ~CPreviewParamDlg();
    // Owns its window: neither copied nor moved.
    CPreviewParamDlg(const CPreviewParamDlg&) = delete;
    CPreviewParamDlg& operator=(const CPreviewParamDlg&) = delete;

    // Runs the dialog: IDOK with m_step the chosen rate, or IDCANCEL (at once, after
    // "Operation is senseless", for an image whose smaller side is below 4).
    int DoModal();

    plat::Dialog* Window() const { return m_wnd; }
    plat::SpinButton* Spin() const { return m_spin; }
    static const plat::DialogTemplate& Template();

    int m_step = 10;
    int m_pixelSize = 0;
    int m_width = 0;
    int m_height = 0;

private:
    bool OnInitDialog();
    void OnRateChange();
    void OnOK();
    void ShowNewSizes();
    void ClearNewSizes();
    PreviewRate Rate() const { return {m_pixelSize, m_width, m_height}; }

    plat::WindowHandle m_parent;
    plat::Dialog* m_wnd = nullptr;
    plat::SpinButton* m_spin = nullptr;
    int m_result = 2;
};
