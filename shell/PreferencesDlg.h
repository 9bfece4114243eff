#pragma once
// "Preferences": the suite's three general settings (temporary folder, work folder,
// help file), read when the dialog opens and written on OK. And the folder picker its
// Browse buttons use.

#include <string>

#include "platform/windows/WindowHandle.h"

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat

// A folder chosen with the platform's folder dialog, starting in the current folder.
class CFolderPicker final {
public:
    explicit CFolderPicker(std::string title, std::string initialFolder = {})
        : m_title(std::move(title)), m_initialFolder(std::move(initialFolder))
    {}
    // Shows the dialog; true with Path() set when a folder was chosen.
    bool Browse();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::string m_title;
    std::string m_initialFolder;
};

class CPreferencesDlg final {
public:
    enum : unsigned {
        IDD = 162,
        IDC_TEMP_DIR = 1015,
        IDC_BROWSE_TEMP = 1016,
        IDC_HELP_FILE = 1017,
        IDC_BROWSE_HELP = 1018,
        IDC_WORK_DIR = 1019,
        IDC_BROWSE_WORK = 1020,
    };

    explicit CPreferencesDlg(plat::WindowHandle parent = {}) : m_parent(std::move(parent)) {}
    ~CPreferencesDlg();
    // Owns its window: neither copied nor moved.
    CPreferencesDlg(const CPreferencesDlg&) = delete;
    CPreferencesDlg& operator=(const CPreferencesDlg&) = delete;

    // Builds the window and reads the settings into it, hidden.
    void Create();
    // plat::IDOK or plat::IDCANCEL.
    int DoModal();

    void OnInitDialog();
    void OnOK();
    void OnBrowseTempDir();
    void OnBrowseWorkDir();
    void OnBrowseHelpFile();

    plat::Dialog* Window() const { return m_wnd; }
    const std::string& TempDir() const { return m_tempDir; }
    const std::string& HelpFile() const { return m_helpFile; }
    const std::string& WorkDir() const { return m_workDir; }
    static const plat::DialogTemplate& Template();

private:
    // The members into the edits, or back.
    void ToEdits();
    void FromEdits();

    plat::WindowHandle m_parent;
    plat::Dialog* m_wnd = nullptr;
    std::string m_tempDir;
    std::string m_helpFile;
    std::string m_workDir;
    int m_result = 2;
};
