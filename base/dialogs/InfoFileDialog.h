#pragma once
// The suite's open and save file dialog with a panel that previews the raster layer file
// under the cursor (size, sample type, a 200 x 200 picture in amplitude or phase) and
// options for how the caller stretches the image later (trim method and sigma).
//
// DoModal goes through the platform's file-dialog entry with the kind "InfoFile", so a test
// answerer may answer it: besides the path and filter index, its options "mode" (0
// amplitude, 1 phase), "sigma" and "trim" (0 to 4) are taken when present.

#include <QPointer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"

class QFileDialog;
class CPreviewPane;
class CPreviewOptionsPane;

inline constexpr const char* kInfoFileDialogKind = "InfoFile";

class CInfoFileDialog final {
public:
    // An open dialog when open is not 0, else a save dialog. defExt (no dot) is added to a
    // saved name without an extension; fileName is the start name; flags are OFN_ flags;
    // filter is "Text|*.x|...||" (null: every file); parent owns the dialog.
    CInfoFileDialog(int open, const char* defExt, const char* fileName, unsigned flags, const char* filter,
                    const plat::WindowHandle& parent = {});
    ~CInfoFileDialog();

    // Owns a window while it is shown: neither copied nor moved.
    CInfoFileDialog(const CInfoFileDialog&) = delete;
    CInfoFileDialog& operator=(const CInfoFileDialog&) = delete;

    // The folder the dialog starts in (empty: the current directory), its filter (from 1;
    // 0 is the first), its title (empty: "Open" or "Save As").
    void SetInitialDir(const std::string& folder) { m_initialDir = folder; }
    void SetFilterIndex(int index) { m_filterIndex = index; }
    void SetTitle(const std::string& title) { m_title = title; }

    // plat::IDOK when a file was chosen, else plat::IDCANCEL (nothing below changes then).
    int DoModal();

    // After IDOK: the full path, its last part, the filter index (from 1), the preview mode
    // (0 amplitude, 1 phase), the sigma and the trim method as the Options tab showed them.
    std::string GetPathName() const { return m_pathName; }
    std::string GetFileName() const;
    int GetFilterIndex() const { return m_filterIndex; }
    int PreviewMode() const { return m_previewMode; }
    float Sigma() const { return m_sigma; }
    int TrimMethod() const { return m_trimMethod; }

    // The window, built hidden by Create and gone with Destroy (DoModal does both).
    void Create(QWidget* owner);
    void Destroy();
    plat::Dialog* Window() const { return m_window; }
    QFileDialog* Browser() const;
    CPreviewPane* PreviewPane() const { return m_previewPane.get(); }
    CPreviewOptionsPane* OptionsPane() const { return m_optionsPane.get(); }
    // The path the selection last went to.
    const std::string& CurrentName() const { return m_currentName; }

    // Handlers of the window.
    void OnFileNameChange(const std::string& path);
    void OnFileNameOK();
    void OnSelchangeTabInfofileAdvanced();
    void OnPreAmpl();
    void OnPreFaz();

private:
    plat::FileDialogResult ShowModal(QWidget* owner);
    plat::FileDialogRequest Request() const;
    void ShowDefaultPicture();
    void Take(const plat::FileDialogResult& result);
    std::string Title() const;

    bool m_open = true;
    std::string m_defExt;
    std::string m_fileName;
    unsigned m_flags = 0;
    std::string m_filter;
    plat::WindowHandle m_parent;
    std::string m_initialDir;
    std::string m_title;

    // Answers.
    std::string m_pathName;
    int m_filterIndex = 1;
    int m_previewMode = 0;
    float m_sigma = 2.0f;
    int m_trimMethod = 2;

    // The window while it exists.
    QPointer<plat::Dialog> m_window;
    std::unique_ptr<CPreviewPane> m_previewPane;
    std::unique_ptr<CPreviewOptionsPane> m_optionsPane;
    std::vector<std::string> m_nameFilters;
    int m_shownFilter = 1;
    int m_shownMode = 0;
    std::string m_currentName;
    std::vector<unsigned char> m_preview;
    std::array<plat::ColorRef, 256> m_colors{};
    std::array<plat::ColorRef, 256> m_grey{};
    plat::FileDialogResult m_chosen;
};
