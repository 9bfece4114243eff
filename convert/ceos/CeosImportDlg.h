#pragma once
// The modeless "Import CEOS" dialog: the window to cut from a CEOS data file, the
// leader file, a subsampled preview whose selection frame sets the window, the
// leader information, and the imports. It stays open after Execute and deletes
// itself when closed. Its launchers read the data file's descriptor first.

#include <memory>
#include <string>

#include "ConverterDialog.h"
#include "ceos/CeosDescriptor.h"
#include "ceos/CeosInfoDlg.h"
#include "platform/windows/WindowHandle.h"

namespace plat {
class Dialog;
class SpinButton;
struct DialogTemplate;
}  // namespace plat

class PreviewViewer;
struct PreviewFileShare;
class QObject;

class CCeosImportDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 367,
        IDC_DATA_TYPE = 3070,
        IDC_DELTA_X = 3072,
        IDC_DELTA_Y = 3073,
        IDC_WIN_WIDTH = 3074,
        IDC_WIN_HEIGHT = 3075,
        IDC_IMAGE_WIDTH = 3076,
        IDC_IMAGE_HEIGHT = 3077,
        IDC_NEW_SIZE = 3092,
        IDC_INFORMATION = 3094,
        IDC_PREVIEW = 3107,
        IDC_DAT_BROWSE = 3118,
        IDC_LEADER_BROWSE = 3119,
        IDC_DAT_FILE = 3120,
        IDC_LEADER_FILE = 3121,
        IDC_HELP = 3137,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CCeosImportDlg(std::string dataFile, std::string output, CeosFileInfo info);
    CCeosImportDlg(const CCeosImportDlg&) = delete;
    CCeosImportDlg& operator=(const CCeosImportDlg&) = delete;

    // Builds the window from template 367 and shows it; false when it cannot be made.
    bool Create();

    static const plat::DialogTemplate& Template();
    const CCeosInfoDlg& Info() const { return m_info; }
    const std::string& PreviewFile() const { return m_previewFile; }
    int PreviewStep() const { return m_previewStep; }
    PreviewViewer* Viewer() const { return m_viewer; }
    plat::SpinButton* Spin(int i) const { return m_spins[i]; }

    // Only for a dialog whose window was never made; a shown one deletes itself.
    ~CCeosImportDlg() override;

private:
    void OnInitDialog() override;
    void OnExecute() override;
    std::string HelpTopic() const override { return {}; }
    void OnHelp() override {}
    void OnClose() override;
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);
    void OnPreview();
    void OnPreviewReady(int result);
    void OnViewerNotice(plat::WParam wParam, int code);
    void OnInformation();
    void OnLeaderBrowse();
    bool OpenViewer();
    bool UpdateData(bool report);
    void ShowWindowFields();
    void RefreshNewSize();
    int Box(const std::string& text) const;

    plat::SpinButton* m_spins[4] = {};
    CCeosInfoDlg m_info;
    CeosFileInfo m_file;  // the description the launcher read, with its reader parameters
    PreviewViewer* m_viewer = nullptr;
    plat::WParam m_viewerKey = 0;
    std::string m_previewFile;
    std::shared_ptr<PreviewFileShare> m_share;
    int m_viewerShown = 0;
    int m_previewReady = 0;
    int m_previewStep = 10;
    int m_windowWidth = 200;
    int m_windowHeight = 200;
    int m_windowX = 0;
    int m_windowY = 0;
    bool m_showing = false;
    QObject* m_dragger = nullptr;
};

// Launchers of the import/export dialog: read the data file's descriptor and open
// the dialog; 1 when it is shown.
int LaunchCeosRadarsatImport(const char* dataFile, const char* outputFile);
int LaunchCeosErsImport(const char* dataFile, const char* outputFile);
int LaunchCeosSirCImport(const char* dataFile, const char* outputFile);
// The text "Data Type" shows: "complex SINT16 ", "UINT8", "complex FLOAT64 " for
// compressed data.
std::string CeosDataTypeText(const CeosFileInfo& info);
// Bytes of the layer a window makes.
std::uint64_t CeosNewFileSize(const CeosFileInfo& info, int width, int height);
