#pragma once
// The input and output file field of the suite's dialogs. It takes the place of a static
// control and fills it with a read-only line showing the folder (shortened in the middle
// when it does not fit), the file-name edit, a square browse button and, in open mode, a
// line with the chosen raster layer file's sample type and size. Browsing opens the file
// dialog with preview; after a choice WM_INFILE_CHOSEN goes to the parent dialog.

#include <QPointer>
#include <functional>
#include <string>

#include "platform/dialogs/Dialog.h"

class QLineEdit;
class QPushButton;

// Posted to the parent after a browse: wParam the control's id, lParam the CInFileCtrl*.
inline constexpr unsigned WM_INFILE_CHOSEN = plat::WM_USER + 559;

class CInFileCtrl final {
public:
    // The folder starts as the "WorkDir" setting (empty when there is none).
    CInFileCtrl();
    ~CInFileCtrl();
    // Owns its window: neither copied nor moved.
    CInFileCtrl(const CInFileCtrl&) = delete;
    CInFileCtrl& operator=(const CInFileCtrl&) = delete;

    // Takes the place of control id of parent; false when there is no such control.
    bool SubclassDlgItem(unsigned id, plat::Dialog* parent);
    // Builds the parts in mode (1 open, 0 save); path replaces the folder when given (an
    // empty folder is the current directory); in save mode file is shown as the start name.
    int Create(int mode, const char* path, const char* file, int unused = 0);

    int SetOpenMode(int mode);
    // Enables or disables every part; nonzero when the browse button was disabled before.
    int EnableWindow(int enable);
    void SetFileFilter(const char* filter) { m_filter = filter ? filter : ""; }
    void SetDefaultFilter(int index) { m_filterIndex = index; }
    int GetSelectedFilter() const { return m_ready ? m_filterIndex : 0; }
    int DataReady() const { return m_ready; }
    void ClearAll();
    void SetOnlyPath(const char* folder);
    void SetPathName(const char* path);
    void SetFileName(const char* name);
    std::string GetPathName() const;
    std::string GetFileName() const;
    std::string GetOnlyPath() const { return m_folder; }

    // The file's values; 0 unless the control is ready and in open mode.
    float Sigma() const { return Usable() ? m_sigma : 0.0f; }
    int HistStretchType() const { return Usable() ? m_trimMethod : 0; }
    int FazaMode() const { return Usable() ? m_previewMode : 0; }
    double Min() const { return Usable() ? m_min : 0.0; }
    double Max() const { return Usable() ? m_max : 0.0; }
    int Width() const { return Usable() ? m_width : 0; }
    int Height() const { return Usable() ? m_height : 0; }
    int Type() const { return Usable() ? m_type : 0; }

    // Handlers: the browse button, and the file-name edit's text changing.
    void OnBrowse();
    void OnChangeFileName();

    // The parts, for the dialog and its tests.
    QWidget* Window() const { return m_window; }
    QLineEdit* FolderLine() const { return m_folderLine; }
    QLineEdit* FileNameEdit() const { return m_nameEdit; }
    QPushButton* BrowseButton() const { return m_browse; }
    QLineEdit* InfoLine() const { return m_infoLine; }
    const std::string& ShownFolder() const { return m_shownFolder; }
    const std::string& Info() const { return m_info; }

private:
    bool Usable() const { return m_ready && m_mode == 1; }
    void ReadFileInfo();
    void Redisplay();
    void SetEditText(QLineEdit* edit, const std::string& text);

    int m_ready = 0;
    int m_changeGuard = 0;
    float m_sigma = 2.0f;
    int m_trimMethod = 2;
    int m_previewMode = 0;
    double m_min = 0, m_max = 0;
    int m_width = 0, m_height = 0, m_type = 0;
    std::string m_filter;
    int m_filterIndex = 0;
    std::string m_pathName;
    std::string m_folder;
    std::string m_shownFolder;
    std::string m_fileName;
    std::string m_info;
    int m_mode = 1;
    double m_scale = 1.0;

    unsigned m_id = 0;
    plat::WindowHandle m_parent;
    QPointer<QWidget> m_window;
    QLineEdit* m_folderLine = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_infoLine = nullptr;
};

// The folder as its line shows it: whole when its width (by measure, in pixels at 96 dpi,
// scaled to dpi) is less than lineWidth, else its beginning, " ... " and its end, both
// halves losing a character per step until it fits or one is empty. Characters are
// counted as UTF-8 code points.
std::string ShortenFolder(const std::string& folder, int lineWidth, int dpi,
                          const std::function<int(const std::string&)>& measure);

// The path a save-mode name gives in folder: a name beginning with '/' as it is, any other
// appended to the folder.
std::string SavePathFor(const std::string& folder, const std::string& typed);

// Whether a typed save name makes the control ready: not empty, and not beginning with a
// single '.'.
bool IsUsableTypedName(const std::string& typed);
