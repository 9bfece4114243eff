#include "QuorvexDlg.h"

#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>

#include "BarMessages.h"
#include "BarResources.h"
#include "CommandBars.h"
#include "DialogTemplate.h"
#include "ImportExportDlg.h"
#include "MessageBox.h"
#include "ProgramFolder.h"
#include "QuorvexArt.h"
#include "QuorvexStrings.h"
#include "ShellLinks.h"
#include "Splash.h"
#include "StringTable.h"
#include "SystemMetrics.h"
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

// The image of item i of the category whose bitmaps are called name.
QPixmap ToolImage(const std::string& name, int i)
{
    return name == "IDB_BITMAP_TOOL_FILES" ? QuorvexToolImage(i) : QPixmap();
}

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
    const int fontHeight = -ComputeQuorvexLayout(in).fontHeight;
    m_barFont = QFont(QString::fromUtf8(kQuorvexTemplate.fontName));
    m_barFont.setFamilies({QString::fromUtf8(kQuorvexTemplate.fontName), QStringLiteral("Liberation Sans"),
                           QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed")});
    m_barFont.setStyleHint(QFont::SansSerif);
    m_barFont.setPixelSize(std::max(1, fontHeight));

    BuildMenuBar(0, in.cyMenu + 2 * QuorvexLayout::kMarginY);
    in.menuPageWidth = m_menuBar->sizeHint().width();
    for (const MenuPopup& popup : Popups(plat::FindMenu(IDR_TOOL_CATEGORIES, kQuorvexModule)))
        in.categoryItemCounts.push_back(static_cast<int>(popup.items.size()));
    m_categories = static_cast<int>(in.categoryItemCounts.size());
    m_layout = ComputeQuorvexLayout(in);
    BuildToolBars(m_layout.toolFrame.top, m_layout.toolFrame.height);

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

void CQuorvexDlg::BuildMenuBar(int top, int height)
{
    m_menuFrame = new QFrame(this);
    m_menuFrame->setGeometry(0, top, width(), height);
    m_menuBarBuilt = 1;
    m_menuBar = new QMenuBar(m_menuFrame);
    m_menuBar->setFont(m_barFont);
    m_menuBar->setNativeMenuBar(false);
    if (const plat::MenuResource* menu = plat::FindMenu(IDR_MENU_BAR, kQuorvexModule))
        plat::BuildMenuBar(m_menuBar, *menu, [this](unsigned id) { OnCommand(id); });
    // Their dialogs are not part of the program yet.
    plat::EnableCommand(m_menuBar, ID_PREFERENCES_COMMON, false);
    plat::EnableCommand(m_menuBar, ID_ABOUT, false);
    m_menuBar->show();
}

void CQuorvexDlg::BuildToolBars(int top, int height)
{
    m_toolFrame = new QFrame(this);
    m_toolFrame->setGeometry(0, top, width(), height);
    m_toolBarBuilt = 1;
    m_toolPage = new QWidget(m_toolFrame);
    const plat::MenuResource* bitmaps = plat::FindMenu(IDR_TOOL_BITMAPS, kQuorvexModule);
    const std::vector<MenuPopup> categories = Popups(plat::FindMenu(IDR_TOOL_CATEGORIES, kQuorvexModule));
    // Only the first category's page is ever shown.
    if (categories.empty())
        return;
    const std::string name = "IDB_BITMAP_TOOL_" + TopItemText(bitmaps, 1);
    int i = 0;
    for (const auto& [id, text] : categories.front().items) {
        auto* button = new QToolButton(m_toolPage);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFont(m_barFont);
        button->setText(QString::fromUtf8(text.c_str()));
        button->setIcon(QIcon(ToolImage(name, i)));
        button->setIconSize(QSize(32, 32));
        button->setGeometry(i * m_layout.buttonWidth, 0, m_layout.buttonWidth, m_layout.buttonHeight);
        const unsigned command = id;
        connect(button, &QToolButton::clicked, this, [this, command] { OnCommand(command); });
        m_toolButtons.push_back(button);
        ++i;
    }
}

void CQuorvexDlg::LayoutFrames()
{
    const int mx = QuorvexLayout::kMarginX;
    const int my = QuorvexLayout::kMarginY;
    if (m_menuBarBuilt) {
        m_menuFrame->setGeometry(0, m_layout.menuFrame.top, width(), m_layout.menuFrame.height);
        m_menuBar->setGeometry(mx, my, std::max(0, width() - 2 * mx), m_layout.menuFrame.height - 2 * my);
    }
    if (m_toolBarBuilt) {
        m_toolFrame->setGeometry(0, m_layout.toolFrame.top, width(), m_layout.toolFrame.height);
        m_toolPage->setGeometry(mx, my, m_layout.toolPageWidth, m_layout.buttonHeight);
    }
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
    if (m_hover.Hover(control))
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
    if (!m_hoveredWidget)
        return;
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(m_hoveredWidget, &leave);
}
