#include "frame/FrameViewer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QPixmap>
#include <QResizeEvent>
#include <QShortcut>
#include <cstdio>
#include <cstdlib>

#include "platform/windows/ClientEdge.h"
#include "platform/windows/CommandBars.h"
#include "FileProblems.h"
#include "GuardedCall.h"
#include "platform/windows/MainWindow.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/windows/StatusBar.h"
#include "ViewerStrings.h"
#include "bars/ToolBarEx.h"
#include "bars/ViewerBars.h"
#include "dialogs/FileMasks.h"
#include "settings/HelpSystem.h"
#include "view/VirtualView.h"
#include "window/Frame.h"
#include "window/ViewRect.h"
#include "window/ViewerMessages.h"

namespace {

#include "frame/art/icon247.xpm"

constexpr const char* kLoadGuardCaption = "Viewer";
// The vector-layer button, hidden: tool bar 234 does not have it.
constexpr unsigned ID_BUTTON_VECTOR = 34785;
// A border drag has ended once the size has held this long.
constexpr int kSizingSettleMs = 200;

}  // namespace

CFrameViewer::CFrameViewer()
    : m_statQueries([this] { return m_wndViewRect ? m_wndViewRect->GetActiveView() : nullptr; }),
      m_dlgStatistics(&m_statQueries),
      m_dlgPalette(this)
{
    MenuPainter().LoadToolbarImages(IDR_MENU_IMAGES);
    m_SizingTimer.setSingleShot(true);
    m_SizingTimer.setInterval(kSizingSettleMs);
    connect(&m_SizingTimer, &QTimer::timeout, this, [this] { OnCaptureChanged(); });
}

CFrameViewer::~CFrameViewer()
{
    m_hWnd.Close();
    // The layers go before the windows their jobs report to.
    if (m_wndViewRect)
        m_wndViewRect->CloseAll();
}

// ---- creation ---------------------------------------------------------------------

int CFrameViewer::Create(plat::WindowHandle owner, int id, int phaseMode, double sigma, int stretchType,
                         const char* file, const RECT* placement)
{
    m_pOwner = std::move(owner);
    m_nID = id;
    m_nFlags |= FF_CREATED;
    setWindowIcon(QIcon(QPixmap(kIcon247Xpm)));
    setWindowTitle(QString::fromStdString(LoadViewerString(IDS_VIEWER_TITLE)));
    if (placement != nullptr)
        setGeometry(placement->left, placement->top, placement->right - placement->left,
                    placement->bottom - placement->top);
    else
        resize(640, 480);
    if (!OnCreate())
        return 0;
    show();
    // From here on the viewer is the window's: it goes when the window goes.
    m_bCreated = true;
    plat::MainWindow().SendMessage(WM_VIEWER_NOTIFY, plat::WParam(this), VN_CREATED);
    m_wndToolBar->update();
    if (file != nullptr && *file != '\0')
        LoadNewFile(file, phaseMode, sigma, stretchType, 1);
    return 1;
}

bool CFrameViewer::OnCreate()
{
    m_hWnd = plat::WindowHandle::Attach(this, [this](unsigned msg, plat::WParam w, plat::LParam l) -> plat::LResult {
        switch (msg) {
        case WM_VIEWER_NOTIFY:
            return OnViewer(w, l);
        case WM_VIEWER_DLGCMD:
            return OnDlgMessage(w, l);
        case WM_VIEWER_POINTER:
            return OnPointerMove(w, l);
        case WM_VIEWER_STATUS:
            return OnViewRect(w, l);
        case plat::WM_COMMAND:
            // The image window's context menu.
            OnCommand(unsigned(w));
            return 0;
        default:
            return 0;
        }
    });
    if (!LoadMenu(IDR_VIEWER_MENU))
        return false;
    m_wndToolBar = new CToolBarEx(this);
    if (!m_wndToolBar->LoadToolBar(IDR_VIEWER_TOOLBAR, [this](unsigned command) { OnCommand(command); }))
        return false;
    AttachToolBar(m_wndToolBar);
    m_wndStatusBar = new plat::StatusBar(this);
    setStatusBar(m_wndStatusBar);
    m_wndProgress = m_wndStatusBar->Progress();
    m_wndProgress->setGeometry(200, 3, 200, 12);
    m_wndProgress->hide();

    m_dlgBrightContrast.Create(this, m_hWnd);
    m_dlgRGBLevels.Create(this, m_hWnd);
    m_dlgStatistics.Create(m_hWnd);
    m_dlgCursorPos.Create(this, m_hWnd);
    m_dlgPalette.Create(this, m_hWnd);

    SetCommandState(CommandState::Empty);
    for (QAction* a : plat::CommandActions(m_wndToolBar, ID_BUTTON_VECTOR))
        a->setVisible(false);

    // The image window sits in a sunken edge; its client area, bars included, lies inside.
    m_wndViewRect = new CViewRect(m_hWnd, this);
    setCentralWidget(plat::ClientEdge::Around(m_wndViewRect));
    m_StatusMeter.SetProgressCtrl(m_wndProgress->Handle());

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { OnHelpInfo(); });
    OnSize();
    return true;
}

int CFrameViewer::DestroyWindow()
{
    // Before a successful Create the caller owns the object and deletes it.
    if (m_bDestroyed || !m_bCreated)
        return 0;
    m_bDestroyed = true;
    CloseAll();
    PostToHost(plat::WParam(this), VN_CLOSED);
    // A main window that keeps the viewers it was told of learns of the closing too,
    // also of a viewer whose host is someone else or no one.
    const plat::WindowHandle main = plat::MainWindow();
    if (main && !(main == m_pOwner))
        main.PostMessage(WM_VIEWER_NOTIFY, plat::WParam(this), VN_CLOSED);
    // Late notices of the image window and the tool dialogs are dropped from here on.
    m_hWnd.Close();
    m_SizingTimer.stop();
    hide();
    deleteLater();
    return 1;
}

void CFrameViewer::closeEvent(QCloseEvent* event)
{
    event->accept();
    DestroyWindow();
}

// ---- loading ----------------------------------------------------------------------

void CFrameViewer::PostToHost(plat::WParam wParam, plat::LParam code) const
{
    if (m_pOwner)
        m_pOwner.PostMessage(WM_VIEWER_NOTIFY, wParam, code);
}

int CFrameViewer::GuardedLoad(const std::function<int()>& load)
{
    const std::optional<int> result = GuardedViewerCallWithText(kLoadGuardCaption, load);
    if (result)
        return *result;
    PostToHost(plat::WParam(m_nID), VN_FAILED);
    ShowProgressBar(plat::SW_HIDE);
    // The commands follow what is still shown.
    const CVirtualView* active = m_wndViewRect->GetActiveView();
    SetCommandState(active != nullptr && active->IsShown() ? CommandState::Ready : CommandState::Empty);
    return -1;
}

void CFrameViewer::LoadNewFile(const char* file, int phaseMode, double sigma, int stretchType, int)
{
    m_wndViewRect->CloseActiveView();
    LoadNewLayer(file, phaseMode, sigma, stretchType);
}

int CFrameViewer::LoadNewLayer(const char* file, int phaseMode, double sigma, int stretchType)
{
    return GuardedLoad([&] {
        ShowProgressBar(plat::SW_SHOW);
        const int n =
            m_wndViewRect->LoadNewLayer(file, phaseMode, sigma, stretchType, &m_StatusMeter, m_wndStatusBar->Handle());
        EnableMenuItems(0, kAllCommands);
        return n;
    });
}

int CFrameViewer::LoadNewLayer(const char* red, const char* green, const char* blue)
{
    return GuardedLoad([&] {
        ShowProgressBar(plat::SW_SHOW);
        const int n = m_wndViewRect->LoadNewLayer(red, green, blue, &m_StatusMeter, m_wndStatusBar->Handle());
        EnableMenuItems(0, kAllCommands);
        return n;
    });
}

int CFrameViewer::LoadNewLayer(const char* name, void* samples, int width, int height, int type, unsigned char* levels,
                               PalitraTag* palette, double min, double max, CMeterInfoBase* meter,
                               plat::StatusBar* statusBar)
{
    return GuardedLoad([&] {
        plat::WindowHandle status = statusBar ? statusBar->Handle() : plat::WindowHandle();
        if (meter == nullptr) {
            ShowProgressBar(plat::SW_SHOW);
            meter = &m_StatusMeter;
            status = m_wndStatusBar->Handle();
        }
        const int n =
            m_wndViewRect->LoadNewLayer(name, samples, width, height, type, levels, palette, min, max, meter, status);
        EnableMenuItems(0, kAllCommands);
        return n;
    });
}

int CFrameViewer::LoadNewLayer(CVectorImage* image)
{
    return m_wndViewRect->LoadNewLayer(image);
}

int CFrameViewer::SetActiveView(int index, int show)
{
    return m_wndViewRect->SetActiveView(index, show);
}

void CFrameViewer::CloseView(int index)
{
    Reset(index);
}

void CFrameViewer::CloseAll()
{
    Reset(-1);
}

// ---- command states and bars ------------------------------------------------------

void CFrameViewer::EnableMenuItems(int enable, int mask)
{
    ForEachCommandBit(mask, [&](const CommandBit& bit) {
        if (bit.button != 0 && m_wndToolBar)
            plat::EnableCommand(m_wndToolBar, bit.button, enable == 1);
        if (bit.menu != 0 && menuWidget())
            plat::EnableCommand(menuWidget(), bit.menu, enable == 1);
    });
}

void CFrameViewer::SetCommandState(CommandState state)
{
    for (const EnableStep& step : CommandStateSteps(state))
        EnableMenuItems(step.enable, step.mask);
}

int CFrameViewer::ClientWidth() const
{
    return width();
}

void CFrameViewer::ShowProgressBar(int showCmd)
{
    if (showCmd == plat::SW_SHOW) {
        m_wndStatusBar->SetParts(ProgressStatusParts(ClientWidth()));
        const BarRect r = ProgressBarRect(m_wndStatusBar->width(), m_wndStatusBar->height());
        m_wndProgress->setGeometry(r.x, r.y, r.width, r.height);
        m_nFlags |= FF_PROGRESS;
        m_wndProgress->show();
        m_wndProgress->raise();
    } else {
        m_nFlags &= ~FF_PROGRESS;
        m_wndProgress->setVisible(showCmd != plat::SW_HIDE);
    }
}

void CFrameViewer::OnSize()
{
    if (m_wndStatusBar == nullptr)
        return;
    if (!(m_nFlags & FF_PROGRESS))
        m_wndStatusBar->SetParts(StatusParts(ClientWidth()));
    else
        m_wndProgress->show();
}

void CFrameViewer::resizeEvent(QResizeEvent* event)
{
    CSpawnFrameWnd::resizeEvent(event);
    OnSize();
    // Each resize of a drag restarts the wait; when the size settles the drag is over.
    if (m_wndViewRect != nullptr && !m_bDestroyed) {
        m_bSizing = 1;
        m_SizingTimer.start();
    }
}

void CFrameViewer::OnCaptureChanged()
{
    if (!m_bSizing)
        return;
    m_bSizing = 0;
    // Without a layer there is nothing to extract anew.
    if (m_wndViewRect->GetActiveView() != nullptr)
        RedrawView();
}

bool CFrameViewer::event(QEvent* event)
{
    const bool done = CSpawnFrameWnd::event(event);
    if (event->type() == QEvent::WindowActivate && m_wndViewRect && m_wndViewRect->GetFrame().IsShown())
        RedrawView();
    return done;
}

// ---- notices ----------------------------------------------------------------------

plat::LResult CFrameViewer::OnViewer(plat::WParam, plat::LParam lParam)
{
    ShowProgressBar(plat::SW_HIDE);
    if (lParam == VN_READY) {
        SetCommandState(CommandState::Ready);
        m_wndStatusBar->SetText(0, "100 %");
        m_wndStatusBar->SetParts(StatusParts(ClientWidth()));
        setWindowTitle(QString::fromStdString(m_wndViewRect->GetLayerName()));
        PostToHost(plat::WParam(m_nID), VN_READY);
    } else if (lParam == VN_FAILED) {
        SetCommandState(CommandState::Failed);
        const plat::WindowHandle self = m_hWnd;
        const FileFailure failure = m_wndViewRect->LastFailure();
        plat::MessageBox(m_hWnd, ErrorBoxText(LoadViewerString(IDS_ERROR_OPENING_FILE), failure.file, failure.reason),
                         AppName, plat::MB_OK);
        // The viewer may have been closed while the box was up.
        if (!self.IsWindow())
            return 1;
        PostToHost(plat::WParam(m_nID), VN_FAILED);
        // A viewer left with nothing to show goes with its failure.
        if (m_wndViewRect->GetCount() == 0)
            DestroyWindow();
    }
    return 1;
}

plat::LResult CFrameViewer::OnViewRect(plat::WParam wParam, plat::LParam)
{
    if (wParam == 1) {
        const std::vector<std::string> texts = m_wndViewRect->GetStatusTexts();
        for (int i = 0; i < 4 && i < int(texts.size()); ++i)
            m_wndStatusBar->SetText(i, texts[size_t(i)].substr(0, 255));
    }
    return 1;
}

void CFrameViewer::WritePointer(int x, int y)
{
    m_dlgCursorPos.SetText(IDC_CURSOR_X, std::to_string(x));
    m_dlgCursorPos.SetText(IDC_CURSOR_Y, std::to_string(y));
    m_dlgCursorPos.SetText(IDC_CURSOR_VALUE, m_wndViewRect->GetValueString(x, y));
}

plat::LResult CFrameViewer::OnPointerMove(plat::WParam wParam, plat::LParam lParam)
{
    WritePointer(int(wParam), int(lParam));
    return 1;
}

int CFrameViewer::OnHelpInfo()
{
    return OnMenuHelp();
}

int CFrameViewer::OnMenuHelp()
{
    const std::string topic = LoadViewerString(IDS_HELP_TOPIC);
    return CallHelpSystem(this, topic.c_str());
}

// ---- queries ----------------------------------------------------------------------

int CFrameViewer::ImageWidth()
{
    return m_wndViewRect->ImageWidth();
}

int CFrameViewer::ImageHeight()
{
    return m_wndViewRect->ImageHeight();
}

double CFrameViewer::Min(int channel)
{
    return m_wndViewRect->Min(channel);
}

double CFrameViewer::Max(int channel)
{
    return m_wndViewRect->Max(channel);
}

double CFrameViewer::Mean(int channel)
{
    return m_wndViewRect->Mean(channel);
}

double CFrameViewer::StDev(int channel)
{
    return m_wndViewRect->StDev(channel);
}

std::string CFrameViewer::GetStringSizePixel(int channel)
{
    return m_wndViewRect->GetStringSizePixel(channel);
}

std::string CFrameViewer::GetStringTypeData(int channel)
{
    return m_wndViewRect->GetStringTypeData(channel);
}

std::string CFrameViewer::GetFileName(int channel)
{
    return m_wndViewRect->GetFileName(channel);
}

std::uint32_t* CFrameViewer::GetHistAddr(int channel)
{
    return m_wndViewRect->GetHistAddr(channel);
}

int CFrameViewer::GetColorMode()
{
    return m_wndViewRect->GetColorMode();
}

void CFrameViewer::GetPalitra(PalitraTag* out)
{
    m_wndViewRect->GetPalitra(out);
}

void CFrameViewer::SetPalitra(PalitraTag* in)
{
    m_wndViewRect->SetPalitra(in);
}

CFrame* CFrameViewer::GetFrame() const
{
    return m_wndViewRect ? &m_wndViewRect->GetFrame() : nullptr;
}

void CFrameViewer::RedrawView()
{
    if (CVirtualView* v = m_wndViewRect->GetActiveView())
        v->InvalidateRegion();
    m_wndViewRect->Invalidate();
    m_wndViewRect->UpdateWindow();
}
