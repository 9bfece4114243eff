#pragma once
// The About box: the program's picture, version and rights, a notice and the maker's
// e-mail address as a link.

#include "platform/windows/WindowHandle.h"

namespace plat {
class Dialog;
struct DialogTemplate;
}  // namespace plat
class CHyperLink;

class CAboutDlg final {
public:
    enum : unsigned {
        IDD = 100,
        IDC_PICTURE = 1000,
        IDC_EMAIL = 1017,
    };

    CAboutDlg() = default;
    ~CAboutDlg();
    // Owns its window: neither copied nor moved.
    CAboutDlg(const CAboutDlg&) = delete;
    CAboutDlg& operator=(const CAboutDlg&) = delete;

    // Builds the window, hidden; what DoModal shows.
    void Create();
    // Runs the box until OK; plat::IDOK.
    int DoModal();

    plat::Dialog* Window() const { return m_wnd; }
    CHyperLink* Link() const { return m_link; }
    static const plat::DialogTemplate& Template();

private:
    plat::Dialog* m_wnd = nullptr;
    CHyperLink* m_link = nullptr;
};
