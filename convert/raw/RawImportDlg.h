#pragma once
// The modeless "Binary File Information" dialog: the user describes a binary raster
// file and the window to cut from it, sees the new file's size, looks at a
// subsampled preview whose selection frame sets the window, and starts imports.
// It stays open after Execute and deletes itself when closed.

#include <memory>
#include <string>

#include "ConverterDialog.h"
#include "platform/windows/WindowHandle.h"
#include "raw/RawImportForm.h"

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

class PreviewViewer;
struct PreviewFileShare;

class CRawImportDlg final : public ConverterDialog {
public:
    enum : unsigned {
        IDD = 361,
        IDC_PPR = 3010,
        IDC_RECORDS = 3011,
        IDC_WIN_WIDTH = 3013,
        IDC_WIN_HEIGHT = 3014,
        IDC_DELTA_X = 3031,
        IDC_HEADER = 3033,
        IDC_DELTA_Y = 3034,
        IDC_PREFIX = 3067,
        IDC_COMPONENT = 3084,
        IDC_DATA_KIND = 3085,
        IDC_RECORD_LENGTH = 3090,
        IDC_NEW_SIZE = 3092,
        IDC_INTEL = 3101,
        IDC_MOTOROLA = 3102,
        IDC_PREVIEW = 3108,
        IDC_HELP = 3137,
        IDC_EXECUTE = 1,
        IDC_CLOSE = 2,
    };

    CRawImportDlg(std::string input, std::string output);
    // Owns its window: neither copied nor moved.
    CRawImportDlg(const CRawImportDlg&) = delete;
    CRawImportDlg& operator=(const CRawImportDlg&) = delete;

    // Builds the window from template 361 and shows it; false when it cannot be made.
    // From then on the object deletes itself when its window is closed.
    bool Create();

    const std::string& PreviewFile() const { return m_previewFile; }
    int PreviewStep() const { return m_previewStep; }
    bool PreviewReady() const { return m_previewReady != 0; }
    PreviewViewer* Viewer() const { return m_viewer; }
    static const plat::DialogTemplate& Template();

private:
    ~CRawImportDlg() override;
    void OnInitDialog() override;
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);
    void OnPreviewReady(int result);
    void OnViewerNotice(plat::WParam wParam, int code);
    void OnExecute() override;
    void OnPreview();
    std::string HelpTopic() const override;
    void OnClose() override;
    void OnDataKindChange();
    void OnRecordShapeChange();
    void OnPixelsPerRecordChange();
    void OnRecordsChange();
    void RefreshNewSize();
    bool OpenViewer();
    void FillComponentList();
    // Reads every field; with report, a field that holds no number is shown in a box
    // and false is answered (without, such a field keeps its value).
    bool UpdateData(bool report);
    void ShowData();
    void SetInt(unsigned id, int value);
    int Box(const std::string& text) const;

    PreviewViewer* m_viewer = nullptr;
    plat::WParam m_viewerKey = 0;  // what the current viewer's closed notice carries
    std::string m_previewFile;
    std::shared_ptr<PreviewFileShare> m_share;
    int m_viewerShown = 0;
    int m_previewReady = 0;
    int m_previewStep = 20;
    RawImportFields m_fields;
    bool m_showing = false;  // the fields are being written: their change notices are ours
};

// Creates the dialog for the two files, modeless and without parent; nonzero on success.
int LaunchRawImport(const char* input, const char* output);
