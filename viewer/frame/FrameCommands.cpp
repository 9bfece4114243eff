// The viewer frame's commands, tool toggles, tool-dialog requests and the reset of the
// Close command.

#include <cstdlib>

#include "platform/windows/CommandBars.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/windows/StatusBar.h"
#include "VarnokApp.h"
#include "ViewerStrings.h"
#include "bars/ToolBarEx.h"
#include "bars/ViewerBars.h"
#include "dialogs/InfoFileDialog.h"
#include "controls/DisEditFilter.h"
#include "dialogs/RGBChannelsDlg.h"
#include "frame/FrameViewer.h"
#include "settings/SNRegKey.h"
#include "window/ViewRect.h"

namespace {

constexpr const char* kOpenFilter = "Velmora Files (*.rdp)|*.rdp|All Files (*.*)|*.*||";

// The mouse tools' buttons; choosing one releases the other four.
constexpr unsigned kToolButtons[] = {ID_BUTTON_ARROW, ID_BUTTON_PLUS, ID_BUTTON_MINUS, ID_BUTTON_SREZ_X,
                                     ID_BUTTON_SREZ_Y};

enum MouseTool : int {
    TOOL_CENTER = 1,
    TOOL_ZOOM_OUT = 2,
    TOOL_ZOOM_IN = 3,
    TOOL_PROFILE_X = 4,
    TOOL_PROFILE_Y = 5
};

// Commands that do nothing.
enum : unsigned {
    ID_BUTTON_HELP_CONT = 34840,
    ID_BUTTON_VECTOR = 34785
};

}  // namespace

void CFrameViewer::OnCommand(unsigned id)
{
    switch (id) {
    case ID_BUTTON_LOAD:
    case ID_MENU_OPEN:
        OnButtonLoad();
        break;
    case ID_MENU_OPEN_TRUECOLOR:
    case ID_BUTTON_LOAD_RGB:
        OnButtonLoadRgb();
        break;
    case ID_MENU_SAVEAS:
        OnMenuSaveas();
        break;
    case ID_BUTTON_CLOSE:
    case ID_MENU_CLOSE:
        OnButtonCloseView();
        break;
    case ID_BUTTON_ARROW:
    case ID_MENU_CENTER:
        SelectMouseTool(TOOL_CENTER, ID_BUTTON_ARROW);
        break;
    case ID_BUTTON_PLUS:
        SelectMouseTool(TOOL_ZOOM_IN, ID_BUTTON_PLUS);
        break;
    case ID_BUTTON_MINUS:
        SelectMouseTool(TOOL_ZOOM_OUT, ID_BUTTON_MINUS);
        break;
    case ID_BUTTON_SREZ_X:
    case ID_MENU_PROFILE_X:
        SelectMouseTool(TOOL_PROFILE_X, ID_BUTTON_SREZ_X);
        break;
    case ID_BUTTON_SREZ_Y:
    case ID_MENU_PROFILE_Y:
        SelectMouseTool(TOOL_PROFILE_Y, ID_BUTTON_SREZ_Y);
        break;
    case ID_BUTTON_ADJUST:
    case ID_MENU_ADJUST:
        OnButtonAdjust();
        break;
    case ID_BUTTON_HIST:
    case ID_MENU_STATISTICS:
        OnButtonViewerHist();
        break;
    case ID_BUTTON_POINTER:
        OnButtonPointer();
        break;
    case ID_BUTTON_MARK:
    case ID_MENU_FRAME:
        OnButtonMark();
        break;
    case ID_MENU_EQUALIZE:
        OnButtonEqual();
        break;
    case ID_MENU_PALETTE:
        OnButtonPalitra();
        break;
    case ID_BUTTON_FIT:
    case ID_MENU_FIT:
    case ID_VR_CM_FIT:
        OnButtonFit();
        break;
    case ID_BUTTON_REAL_SCALE:
    case ID_MENU_DEFAULT_ZOOM:
    case ID_VR_CM_REAL_SCALE:
        OnButtonRealScale();
        break;
    case ID_MENU_ZOOM_OUT:
    case ID_VR_CM_DEC_SCALE:
        OnVrCmDecScale();
        break;
    case ID_MENU_ZOOM_IN:
    case ID_VR_CM_INC_SCALE:
        OnVrCmIncScale();
        break;
    case ID_VR_CM_SAVE_SELECTION:
        OnVrCmSaveBox();
        break;
    case ID_MENU_HELP:
        OnMenuHelp();
        break;
    case ID_BUTTON_HELP_CONT:
    case ID_BUTTON_VECTOR:
    default:
        break;
    }
}

void CFrameViewer::PressButton(unsigned id, bool pressed)
{
    plat::CheckCommand(m_wndToolBar, id, pressed);
}

// ---- opening and closing ----------------------------------------------------------

void CFrameViewer::OnButtonLoad()
{
    std::string folder;
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
        key.GetStringValue(folder, "WorkDir");
    CInfoFileDialog dlg(1, nullptr, nullptr, plat::OFN_HIDEREADONLY | plat::OFN_SHAREAWARE, kOpenFilter, m_hWnd);
    dlg.SetInitialDir(folder);
    if (dlg.DoModal() != plat::IDOK)
        return;
    m_wndToolBar->update();
    LoadNewFile(dlg.GetPathName().c_str(), dlg.PreviewMode(), double(dlg.Sigma()), dlg.TrimMethod(), 1);
}

void CFrameViewer::OnButtonLoadRgb()
{
    CRGBChannelsDlg dlg(m_hWnd, 1);
    dlg.Create();
    if (dlg.DoModal() == plat::IDCANCEL)
        return;
    m_wndToolBar->update();
    m_wndViewRect->CloseActiveView();
    LoadNewLayer(dlg.GetRedFileName().c_str(), dlg.GetGreenFileName().c_str(), dlg.GetBlueFileName().c_str());
}

void CFrameViewer::OnMenuSaveas()
{
    m_wndViewRect->SaveAsBitmap();
}

void CFrameViewer::OnButtonCloseView()
{
    Reset(-1);
}

void CFrameViewer::Reset(int closeIndex)
{
    if (closeIndex < 0) {
        m_wndViewRect->CloseAll();
    } else {
        m_wndViewRect->CloseView(closeIndex);
        if (m_wndViewRect->GetCount() > 0)
            return;
    }
    for (int i = 0; i < 4; ++i)
        m_wndStatusBar->SetText(i, "");
    SetCommandState(CommandState::Empty);
    setWindowTitle(QString::fromStdString(LoadViewerString(IDS_VIEWER_TITLE)));
    if (m_nFlags & FF_ADJUST)
        OnButtonAdjust();
    if (m_nFlags & FF_SELECTION)
        OnButtonMark();
    if (m_nFlags & FF_STATISTICS)
        OnButtonViewerHist();
    if (m_nFlags & FF_POINTER)
        OnButtonPointer();
}

// ---- mouse tools and zoom ---------------------------------------------------------

void CFrameViewer::SelectMouseTool(int tool, unsigned button)
{
    m_wndViewRect->SetMouseTool(tool);
    for (unsigned b : kToolButtons)
        PressButton(b, b == button);
}

void CFrameViewer::OnButtonFit()
{
    m_wndViewRect->FitToWindow();
}

void CFrameViewer::OnButtonRealScale()
{
    m_wndViewRect->RealScale();
}

void CFrameViewer::OnVrCmDecScale()
{
    m_wndViewRect->ZoomOut();
}

void CFrameViewer::OnVrCmIncScale()
{
    m_wndViewRect->ZoomIn();
}

void CFrameViewer::OnVrCmSaveBox()
{
    m_wndViewRect->SaveSelection();
}

void CFrameViewer::OnButtonEqual()
{
    m_wndViewRect->Equalize();
}

void CFrameViewer::OnButtonPalitra()
{
    m_dlgPalette.Show(true);
}

// ---- tool toggles -----------------------------------------------------------------

void CFrameViewer::OnButtonAdjust()
{
    if (m_nFlags & FF_ADJUST) {
        PressButton(ID_BUTTON_ADJUST, false);
        m_nFlags &= ~FF_ADJUST;
        m_dlgBrightContrast.Show(false);
        m_dlgRGBLevels.Show(false);
        RedrawView();
        return;
    }
    PressButton(ID_BUTTON_ADJUST, true);
    m_nFlags |= FF_ADJUST;
    const bool rgb = GetColorMode() != 1;
    m_dlgBrightContrast.Show(!rgb);
    m_dlgRGBLevels.Show(rgb);
}

void CFrameViewer::OnButtonViewerHist()
{
    if (m_nFlags & FF_STATISTICS) {
        PressButton(ID_BUTTON_HIST, false);
        m_nFlags &= ~FF_STATISTICS;
        m_dlgStatistics.Window()->hide();
        RedrawView();
        return;
    }
    PressButton(ID_BUTTON_HIST, true);
    m_nFlags |= FF_STATISTICS;
    m_dlgStatistics.Window()->show();
}

void CFrameViewer::OnButtonPointer()
{
    if (m_nFlags & FF_POINTER) {
        PressButton(ID_BUTTON_POINTER, false);
        m_nFlags &= ~FF_POINTER;
        m_wndViewRect->ShowCross(0);
        m_dlgCursorPos.Show(false);
        RedrawView();
        return;
    }
    PressButton(ID_BUTTON_POINTER, true);
    m_nFlags |= FF_POINTER;
    m_wndViewRect->ShowCross(1);
    const CPoint at = m_wndViewRect->ScreenToImage(m_wndViewRect->GetCross().GetCentre());
    WritePointer(at.x, at.y);
    m_dlgCursorPos.Show(true);
}

void CFrameViewer::OnButtonMark()
{
    if (m_nFlags & FF_SELECTION) {
        PressButton(ID_BUTTON_MARK, false);
        m_nFlags &= ~FF_SELECTION;
        if (m_wndViewRect)
            m_wndViewRect->ShowFrame(0);
        return;
    }
    PressButton(ID_BUTTON_MARK, true);
    m_nFlags |= FF_SELECTION;
    if (m_wndViewRect)
        m_wndViewRect->ShowFrame(1);
}

// ---- tool-dialog requests ---------------------------------------------------------

plat::LResult CFrameViewer::OnDlgMessage(plat::WParam wParam, plat::LParam lParam)
{
    const int value = int(lParam);
    // The dialogs' first values come while the frame is still being made.
    if (m_wndViewRect == nullptr)
        return 1;
    switch (int(wParam)) {
    case REQ_CONTRAST:
        m_wndViewRect->SetContrast(value);
        break;
    case REQ_BRIGHTNESS:
        m_wndViewRect->SetBrightness(value, 1);
        break;
    case REQ_ADJUST_CLOSED:
        OnButtonAdjust();
        break;
    case REQ_STATISTICS_CLOSED:
        OnButtonViewerHist();
        break;
    case REQ_CURSOR_CLOSED:
        OnButtonPointer();
        break;
    case REQ_SKIP_TO_PIXEL: {
        // Texts that are no numbers read as 0, as atoi reads them; long ones saturate.
        const int x = disedit::ReadInt(m_dlgCursorPos.Text(IDC_CURSOR_X).substr(0, 100));
        const int y = disedit::ReadInt(m_dlgCursorPos.Text(IDC_CURSOR_Y).substr(0, 100));
        m_wndViewRect->MoveCross(x, y);
        WritePointer(x, y);
        break;
    }
    case REQ_RED_LEVEL:
        m_wndViewRect->SetBrightness(value, 3);
        break;
    case REQ_GREEN_LEVEL:
        m_wndViewRect->SetBrightness(value, 4);
        break;
    case REQ_BLUE_LEVEL:
        m_wndViewRect->SetBrightness(value, 5);
        break;
    default:
        break;
    }
    return 1;
}
