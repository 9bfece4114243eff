#pragma once
// "RGB Channels": three file-name fields for the red, green and blue channel files of
// a three-channel view. In open mode (1) the three files must exist and be of one
// size; in save mode (0) the names are free.

#include <string>

#include "platform/windows/WindowHandle.h"
#include "dialogs/InFileCtrl.h"

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

class CRGBChannelsDlg final {
public:
    enum : unsigned {
        IDD = 206,
        IDC_RED_FILE = 8098,
        IDC_GREEN_FILE = 8099,
        IDC_BLUE_FILE = 8100,
    };

    CRGBChannelsDlg(plat::WindowHandle parent, int mode);
    ~CRGBChannelsDlg();
    // Owns its window: neither copied nor moved.
    CRGBChannelsDlg(const CRGBChannelsDlg&) = delete;
    CRGBChannelsDlg& operator=(const CRGBChannelsDlg&) = delete;

    // Builds and initialises the window, hidden; what DoModal shows.
    void Create();
    // plat::IDOK or plat::IDCANCEL.
    int DoModal();

    // The path of each channel when all three fields are ready, else "".
    std::string GetRedFileName() const;
    std::string GetGreenFileName() const;
    std::string GetBlueFileName() const;

    // Handlers: "Open", and a field's WM_INFILE_CHOSEN.
    void OnOK();
    void OnFileChosen();

    plat::Dialog* Window() const { return m_wnd; }
    // Field 0 red, 1 green, 2 blue.
    CInFileCtrl& Field(int channel) { return m_files[channel]; }
    static const plat::DialogTemplate& Template();

private:
    bool AllReady() const;
    std::string PathOf(int channel) const;

    int m_mode = 1;
    plat::WindowHandle m_parent;
    plat::Dialog* m_wnd = nullptr;
    CInFileCtrl m_files[3];
    int m_result = 2;
};
