#include "QuorvexDlg.h"

#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "AboutDlg.h"
#include "BarMessages.h"
#include "BarPage.h"
#include "platform/windows/BarResources.h"
#include "platform/windows/CommandBars.h"
#include "platform/dialogs/DialogTemplate.h"
#include "FlatButton.h"
#include "ImportExportDlg.h"
#include "platform/dialogs/MessageBox.h"
#include "PreferencesDlg.h"
#include "platform/files/ProgramFolder.h"
#include "QuorvexArt.h"
#include "QuorvexStrings.h"
#include "ShellLinks.h"
#include "platform/resources/Splash.h"
#include "platform/resources/StringTable.h"
#include "platform/windows/SystemMetrics.h"
#include "jobs/Run.h"
#include "jobs/ThreadList.h"
#include "settings/HelpSystem.h"
#include "window/ViewerMessages.h"

namespace {

// Template 102: no controls; its size is set at run time.
const plat::DialogTemplate kQuorvexTemplate = {IDD_QUORVEX_DIALOG, "Quorvex", "Tahoma", 8, 0, 0, nullptr, 0};

std::string Text(unsigned id)
{
    return plat::LoadString(id, kQuorvexModule);
}

// The popups of a menu table: titles and their items (id, text), by position.
struct MenuPopup {
    std::string title;
    std::vector<std::pair<unsigned, std::string>> items;
};

std::vector<MenuPopup> Popups(const plat::MenuResource* menu)
{
    std::vector<MenuPopup> popups;
    if (!menu)
        return popups;
    for (std::size_t i = 0; i < menu->count; ++i) {
        const plat::MenuEntry& row = menu->entries[i];
        if (row.depth == 0 && (row.flags & plat::MF_POPUP))
            popups.push_back({row.text ? row.text : "", {}});
        else if (row.depth == 1 && !popups.empty())
            popups.back().items.emplace_back(row.id, row.text ? row.text : "");
    }
    return popups;
}

// The text of a menu's top-level item at position, "" beyond.
std::string TopItemText(const plat::MenuResource* menu, int position)
{
    int at = 0;
    for (std::size_t i = 0; menu && i < menu->count; ++i) {
        if (menu->entries[i].depth != 0)
            continue;
        if (at++ == position)
            return menu->entries[i].text ? menu->entries[i].text : "";
    }
    return {};
}

// A system-menu command, as a message to the window's handle.
constexpr unsigned kSysCommand = 0x0112;

}  // namespace

CQuorvexDlg::CQuorvexDlg()
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(kQuorvexTemplate.caption));
    setWindowIcon(QuorvexIcon());
    setMouseTracking(true);
    m_handle = plat::WindowHandle::Attach(this, [this](unsigned msg, plat::WParam wParam, plat::LParam lParam) {
        return OnMessage(msg, wParam, lParam);
    });
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { CheckHover(); });
}

CQuorvexDlg::~CQuorvexDlg()
{
    m_handle.Close();
}

void CQuorvexDlg::OnInitDialog()
{
    if (m_initialised)
        return;
    m_initialised = true;

    QuorvexLayoutInput in;
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        in.dpiX = qRound(screen->logicalDotsPerInchX());
        in.dpiY = qRound(screen->logicalDotsPerInchY());
        in.screenWidth = screen->geometry().width();
    }
    in.cyMenu = plat::GetSystemMetrics(plat::SM_CYMENU);

    // The bar font: 8 points at the screen's resolution. Where there is no Tahoma, a
    // face about as narrow, so that the button texts fit their buttons.
    m_fontHeight = ComputeQuorvexLayout(in).fontHeight;
    m_barFont = QFont(QString::fromUtf8(kQuorvexTemplate.fontName));
    m_barFont.setFamilies({QString::fromUtf8(kQuorvexTemplate.fontName), QStringLiteral("Liberation Sans"),
                           QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed")});
    m_barFont.setStyleHint(QFont::SansSerif);
    m_barFont.setPixelSize(std::max(1, -m_fontHeight));

    in.menuPageWidth = BuildMenuBar(0, in.cyMenu + 2 * QuorvexLayout::kMarginY);
    for (const MenuPopup& popup : Popups(plat::FindMenu(IDR_TOOL_CATEGORIES, kQuorvexModule)))
        in.categoryItemCounts.push_back(static_cast<int>(popup.items.size()));
    m_categories = static_cast<int>(in.categoryItemCounts.size());
    m_layout = ComputeQuorvexLayout(in);
    BuildToolBars(m_layout.toolFrame.top, m_layout.toolFrame.height, m_layout.buttonWidth, m_layout.buttonHeight);

    const int clientHeight = m_layout.windowHeight;
    // The height never changes (moving keeps it, the sizing border only widens).
    setFixedHeight(clientHeight);
    setMinimumWidth(2 * QuorvexLayout::kMarginX + 1);
    setMaximumWidth(QWIDGETSIZE_MAX);
    resize(m_layout.windowWidth, clientHeight);
    move(m_layout.windowX, m_layout.windowY);
    LayoutFrames();
    m_timer.start();
}

int CQuorvexDlg::BuildMenuBar(int top, int height)
{
    const int mx = QuorvexLayout::kMarginX;
    const int my = QuorvexLayout::kMarginY;
    m_menuFrame = new CBarFrame(this, m_handle, top, height);
    m_menuBarBuilt = 1;
    m_menuPage = new CBarPage(m_menuFrame, &m_barFontRef, m_fontHeight);
    const CRect arrow(mx, my, mx + BarScroll::kArrowWidth, height - my);
    m_menuFrame->CreateLeftArrow(arrow, IDC_MENU_LEFT);
    m_menuFrame->CreateRightArrow(arrow, IDC_MENU_RIGHT);

    std::vector<std::string> captions;
    std::vector<unsigned> ids;
    for (const MenuPopup& popup : Popups(plat::FindMenu(IDR_MENU_BAR, kQuorvexModule))) {
        captions.push_back(popup.title);
        ids.push_back(static_cast<unsigned>(1000 + ids.size()));  // any values serve
    }
    const int width = m_menuPage->BuildMenuButtons(captions, ids, height - 2 * my);
    m_menuPage->show();
    m_menuFrame->SetPage(m_menuPage, mx);
    m_menuFrame->Layout(this->width());
    return width;
}

int CQuorvexDlg::BuildToolBars(int top, int height, int buttonWidth, int buttonHeight)
{
    const int mx = QuorvexLayout::kMarginX;
    const int my = QuorvexLayout::kMarginY;
    m_toolFrame = new CBarFrame(this, m_handle, top, height);
    m_toolBarBuilt = 1;
    const plat::MenuResource* bitmaps = plat::FindMenu(IDR_TOOL_BITMAPS, kQuorvexModule);
    const std::vector<MenuPopup> categories = Popups(plat::FindMenu(IDR_TOOL_CATEGORIES, kQuorvexModule));
    for (std::size_t i = 0; i < categories.size(); ++i)
        m_toolPages.push_back(new CBarPage(m_toolFrame, &m_barFontRef, m_fontHeight));
    const CRect arrow(mx, my, mx + BarScroll::kArrowWidth, height - my);
    m_toolFrame->CreateLeftArrow(arrow, IDC_TOOL_LEFT);
    m_toolFrame->CreateRightArrow(arrow, IDC_TOOL_RIGHT);

    std::size_t n = 0;
    for (const MenuPopup& category : categories)
        n = std::max(n, category.items.size());
    int width = 0;
    for (std::size_t i = 0; i < categories.size(); ++i) {
        std::vector<std::string> captions;
        std::vector<unsigned> ids;
        for (const auto& [id, text] : categories[i].items) {
            ids.push_back(id);
            captions.push_back(text);
        }
        // A category takes the bitmap named by the item after its own position.
        const std::string name = "IDB_BITMAP_TOOL_" + TopItemText(bitmaps, static_cast<int>(i) + 1);
        width = std::max(
            width, m_toolPages[i]->BuildToolButtons(name, name + "_GRAY", captions, ids, buttonWidth, buttonHeight));
        m_toolPages[i]->hide();
    }
    if (!m_toolPages.empty()) {
        m_toolPages[0]->show();
        // Every page is as wide as the largest category.
        m_toolFrame->SetPage(m_toolPages[0], mx);
        m_toolPages[0]->resize(static_cast<int>(n) * buttonWidth, height - 2 * my);
    }
    m_toolFrame->Layout(this->width());
    return width;
}

CBarPage* CQuorvexDlg::ToolPage(int category) const
{
    return category >= 0 && category < static_cast<int>(m_toolPages.size()) ? m_toolPages[category] : nullptr;
}

const std::vector<CFlatButton*>& CQuorvexDlg::ToolButtons() const
{
    static const std::vector<CFlatButton*> none;
    return m_toolPages.empty() ? none : m_toolPages[0]->ToolButtons();
}

void CQuorvexDlg::LayoutFrames()
{
    if (m_menuBarBuilt)
        m_menuFrame->Layout(width());
    if (m_toolBarBuilt)
        m_toolFrame->Layout(width());
}

int CQuorvexDlg::DoModal()
{
    OnInitDialog();
    // Modal in the sense that its end ends the program; the viewers and the other
    // windows of the libraries stay usable beside it.
    setResult(0);
    show();
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return result();
}

void CQuorvexDlg::OnCommand(unsigned id)
{
    switch (id) {
    case ID_FILE_OPEN:
    case ID_FILES_VIEW:
        OnFileOpen();
        break;
    case ID_FILE_3DVIEWER:
    case ID_FILES_3DVIEWER:
        Launch3DViewer();
        break;
    case ID_FILE_IMPORTEXPORT:
    case ID_FILES_IMPORTEXPORT:
        OnFileImportExport();
        break;
    case ID_EXIT:
        OnExit();
        break;
    case ID_HELP_CONTENTS:
        OnHelp();
        break;
    case ID_PREFERENCES_COMMON:
        OnPreferences();
        break;
    case ID_ABOUT:
        OnAbout();
        break;
    default:
        break;
    }
}

plat::LResult CQuorvexDlg::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    if (msg == WM_VIEWER_NOTIFY)
        OnViewerNotify(wParam, lParam);
    else if (msg == WM_BAR_HOVER)
        OnControlHover(wParam);
    else if (msg == plat::WM_COMMAND)
        OnCommand(static_cast<unsigned>(wParam & 0xFFFF));
    else if (msg == kSysCommand)
        OnSysCommand(static_cast<unsigned>(wParam));
    return 0;
}

void CQuorvexDlg::OnViewerNotify(plat::WParam viewer, plat::LParam code)
{
    m_viewers.Notify(viewer, code);
}

void CQuorvexDlg::OnFileOpen()
{
    ++m_viewerCounter;
    ViewerOpenRequest request;
    request.host = m_handle;
    request.id = m_viewerCounter;
    request.phaseMode = 0;
    request.sigma = 2.0;
    request.stretchType = 2;
    CurrentViewerLink().open(request);
}

void CQuorvexDlg::OpenFileInViewer(const std::string& path)
{
    ViewerOpenRequest request;
    request.host = m_handle;
    request.id = 0;
    request.path = path;
    // Below the shell, as wide as it, once a splash window saw the start-up end.
    if (m_splashNotified) {
        const QRect frame = frameGeometry();
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const int bottom = screen ? screen->geometry().bottom() + 1 : frame.bottom() + 1;
        request.placement = CRect(frame.left(), frame.bottom() + 1, frame.right() + 1, bottom);
    }
    CurrentViewerLink().open(request);
}

std::optional<long long> CQuorvexDlg::Launch3DViewer()
{
    const std::string folder = m_programFolder.empty() ? plat::ProgramFolder() : m_programFolder;
    std::optional<long long> pid = StartHalcyte3D(folder);
    if (!pid)
        plat::MessageBox(m_handle, Text(IDS_UNABLE_LOAD_3D), "Quorvex", plat::MB_OK | plat::MB_ICONERROR);
    return pid;
}

void CQuorvexDlg::OnFileImportExport()
{
    // Modeless and parentless: it runs beside the shell in the same loop.
    ExternFunction().LaunchImportShort(nullptr);
}

void CQuorvexDlg::OnHelp()
{
    // The "HelpFile" setting, "Velmora.chm" without one, on its default page.
    CallHelpSystem(this, nullptr);
}

void CQuorvexDlg::OnHelpInfo()
{
    CallHelpSystem(this, Text(IDS_HELP_TOPIC).c_str());
}

void CQuorvexDlg::OnPreferences()
{
    CPreferencesDlg dialog;
    dialog.DoModal();
}

void CQuorvexDlg::OnAbout()
{
    CAboutDlg dialog;
    dialog.DoModal();
}

void CQuorvexDlg::OnSysCommand(unsigned id)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX)
        OnAbout();
}

bool CQuorvexDlg::AskExit()
{
    return plat::MessageBox(m_handle, Text(IDS_EXIT_QUESTION), "Tolvek Quorvex",
                            plat::MB_YESNO | plat::MB_ICONQUESTION) == plat::IDYES;
}

bool CQuorvexDlg::StopRunningJobs()
{
    if (GlobalThreadList().GetCount() == 0)
        return true;
    // Ending under a running job would leave its output half written: stop the jobs
    // first, so that each removes what it wrote.
    if (plat::MessageBox(m_handle, Text(IDS_JOBS_RUNNING), "Quorvex", plat::MB_YESNO | plat::MB_ICONQUESTION) !=
        plat::IDYES)
        return false;
    TerminateAllThreads();
    return true;
}

void CQuorvexDlg::OnClose()
{
    try {
        if (!AskExit() || !StopRunningJobs())
            return;
        CloseAllViewers();
    } catch (...) {
        // The window ends all the same.
    }
    done(QDialog::Rejected);
}

void CQuorvexDlg::OnCancel()
{
    if (!AskExit() || !StopRunningJobs())
        return;
    done(QDialog::Rejected);
}

void CQuorvexDlg::OnExit()
{
    if (!StopRunningJobs())
        return;
    done(QDialog::Accepted);
}

void CQuorvexDlg::CloseAllViewers()
{
    // The viewers report their end while they go; walk a copy of the list.
    const std::vector<CViewerList::Viewer> viewers = m_viewers.Viewers();
    for (CViewerList::Viewer viewer : viewers) {
        try {
            CurrentViewerLink().destroy(viewer);
        } catch (...) {
        }
    }
}

void CQuorvexDlg::accept() {}

void CQuorvexDlg::reject()
{
    OnCancel();
}

void CQuorvexDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    OnClose();
}

void CQuorvexDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        OnHelpInfo();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CQuorvexDlg::mouseMoveEvent(QMouseEvent* event)
{
    CheckHover();
    QDialog::mouseMoveEvent(event);
}

void CQuorvexDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!m_splashNotified && plat::SendSplashNotice(0, "Main Dialog Initialized...", this))
        m_splashNotified = 1;
}

void CQuorvexDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayoutFrames();
}

void CQuorvexDlg::OnControlHover(plat::WParam control)
{
    // The one recorded before hears that the mouse left it.
    if (m_hover.Hover(control) && m_hoveredWidget)
        LeaveControl(0);
    m_hoveredWidget = reinterpret_cast<QWidget*>(control);
}

void CQuorvexDlg::CheckHover()
{
    bool inside = false;
    if (m_hoveredWidget)
        inside = m_hoveredWidget->rect().contains(m_hoveredWidget->mapFromGlobal(QCursor::pos()));
    if (m_hover.Check(inside))
        LeaveControl(0);
}

void CQuorvexDlg::LeaveControl(CHoverWatch::Control)
{
    if (m_hoveredWidget)
        CBarWindow::HandleOf(m_hoveredWidget).SendMessage(WM_BAR_LEAVE);
}
