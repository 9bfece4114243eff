#pragma once
// The shell's main window: a narrow window at the top of the screen with a menu bar and
// a tool bar, from which the user opens image viewers, the import/export dialog, the 3D
// viewer and the help. It keeps the list of open viewers and asks before the program ends.

#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "HoverWatch.h"
#include "QuorvexLayout.h"
#include "ViewerList.h"
#include "platform/windows/WindowHandle.h"

class CBarFrame;
class CBarPage;
class CFlatButton;

class CQuorvexDlg final : public QDialog {
public:
    CQuorvexDlg();
    ~CQuorvexDlg() override;
    // A window: neither copied nor moved.
    CQuorvexDlg(const CQuorvexDlg&) = delete;
    CQuorvexDlg& operator=(const CQuorvexDlg&) = delete;

    plat::WindowHandle Handle() const { return m_handle; }

    // Builds the bars and places the window; runs once, before the window shows.
    void OnInitDialog();
    // Runs the window modally: the program's main loop. Answers how it ended.
    int DoModal();

    // Every command of the menu bar, the tool bar and the keyboard.
    void OnCommand(unsigned id);
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);

    void OnFileOpen();
    void OpenFileInViewer(const std::string& path);
    // Starts Halcyte3D beside the program; its process id, or none (the user was told).
    std::optional<long long> Launch3DViewer();
    void OnFileImportExport();
    void OnHelp();
    void OnHelpInfo();
    void OnPreferences();
    void OnAbout();
    // A system-menu command: 16 is the About box.
    void OnSysCommand(unsigned id);
    // The exit paths: the close box, Esc and File > Exit.
    void OnClose();
    void OnCancel();
    void OnExit();
    void CloseAllViewers();

    const std::vector<CViewerList::Viewer>& Viewers() const { return m_viewers.Viewers(); }
    int ViewerCounter() const { return m_viewerCounter; }
    const QuorvexLayout& Layout() const { return m_layout; }
    CBarFrame* MenuFrame() const { return m_menuFrame; }
    CBarFrame* ToolFrame() const { return m_toolFrame; }
    CBarPage* MenuPage() const { return m_menuPage; }
    CBarPage* ToolPage(int category) const;
    // The buttons of the tool bar's page in view.
    const std::vector<CFlatButton*>& ToolButtons() const;
    // Where Halcyte3D is looked for (the program's folder unless a test says otherwise).
    void SetProgramFolder(std::string folder) { m_programFolder = std::move(folder); }

protected:
    void accept() override;  // Enter never closes the window
    void reject() override;  // Esc
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Both answer the width of their widest page.
    int BuildMenuBar(int top, int height);
    int BuildToolBars(int top, int height, int buttonWidth, int buttonHeight);
    void LayoutFrames();
    void OnViewerNotify(plat::WParam viewer, plat::LParam code);
    void OnControlHover(plat::WParam control);
    void CheckHover();
    void LeaveControl(CHoverWatch::Control control);
    // Asks whether running jobs may be stopped; stops them on Yes. True when the program
    // may end.
    bool StopRunningJobs();
    bool AskExit();

    plat::WindowHandle m_handle;
    int m_splashNotified = 0;
    bool m_initialised = false;
    CHoverWatch m_hover;
    QPointer<QWidget> m_hoveredWidget;
    CBarFrame* m_menuFrame = nullptr;
    CBarFrame* m_toolFrame = nullptr;
    CBarPage* m_menuPage = nullptr;
    std::vector<CBarPage*> m_toolPages;  // one per category; the first is shown
    int m_categories = 0;
    QFont m_barFont;
    const QFont* m_barFontRef = &m_barFont;  // what the bar controls hold on to
    int m_fontHeight = 0;
    int m_menuBarBuilt = 0;
    int m_toolBarBuilt = 0;
    int m_viewerCounter = 0;
    QuorvexLayout m_layout;
    CViewerList m_viewers;
    QTimer m_timer;
    std::string m_programFolder;
};
