// What the image window answers and does for its frame and the tool dialogs: queries
// on the active layer, display commands, the cross-hair and the selection frame, the
// context menu, saving the framed selection and the bitmap export job.

#include <QContextMenuEvent>
#include <QMenu>
#include <memory>

#include "platform/windows/CommandBars.h"
#include "platform/dialogs/FileDialog.h"
#include "FileProblems.h"
#include "platform/dialogs/MessageBox.h"
#include "PellionModule.h"
#include "ViewerStrings.h"
#include "bars/ViewerBars.h"
#include "dialogs/FileMasks.h"
#include "jobs/MeterInfo.h"
#include "jobs/ThreadList.h"
#include "util/DoubleToInt.h"
#include "view/RenderSource.h"
#include "view/VirtualView.h"
#include "window/BitmapExport.h"
#include "window/ViewRect.h"
#include "window/ViewerMessages.h"

namespace {

// Save dialog flags: OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_SHAREAWARE | OFN_NOREADONLYRETURN.
constexpr unsigned kBitmapDialogFlags = 0xC006;
const char kBitmapFilter[] = "Windows bitmap files (*.bmp)|*.bmp|All Files (*.*)|*.*||";

// Cursor resources of the tool codes 1 to 5.
constexpr unsigned kToolCursors[] = {282, 249, 241, 269, 268};

}  // namespace

// ---- queries ------------------------------------------------------------------

int CViewRect::ImageWidth(int) const
{
    const CVirtualView* v = GetActiveView();
    return v ? v->GetWidth() : m_sizeImage.cx;
}

int CViewRect::ImageHeight(int) const
{
    const CVirtualView* v = GetActiveView();
    return v ? v->GetHeight() : m_sizeImage.cy;
}

double CViewRect::Min(int channel)
{
    CVirtualView* v = GetActiveView();
    return v ? v->Min(channel) : 0.0;
}

double CViewRect::Max(int channel)
{
    CVirtualView* v = GetActiveView();
    return v ? v->Max(channel) : 0.0;
}

double CViewRect::Mean(int channel)
{
    CVirtualView* v = GetActiveView();
    return v ? v->Mean(channel) : 0.0;
}

double CViewRect::StDev(int channel)
{
    CVirtualView* v = GetActiveView();
    return v ? v->StDev(channel) : 0.0;
}

std::string CViewRect::GetStringSizePixel(int channel)
{
    CVirtualView* v = GetActiveView();
    return v ? v->GetStringSizePixel(channel) : std::string();
}

std::string CViewRect::GetStringTypeData(int channel)
{
    CVirtualView* v = GetActiveView();
    return v ? v->GetStringTypeData(channel) : std::string();
}

// Channel 1 belongs to a single-band layer only, the others to a three-channel one.
std::string CViewRect::GetFileName(int channel)
{
    CVirtualView* v = GetActiveView();
    if (v == nullptr || (channel == 1) != (v->GetColorMode() == 1))
        return {};
    return v->GetFileName(channel);
}

std::uint32_t* CViewRect::GetHistAddr(int channel)
{
    CVirtualView* v = GetActiveView();
    if (v == nullptr || (channel == 1) != (v->GetColorMode() == 1))
        return nullptr;
    return v->GetHistAddr(channel);
}

int CViewRect::GetColorMode() const
{
    const CVirtualView* v = GetActiveView();
    return v ? v->GetColorMode() : 0;
}

std::string CViewRect::GetValueString(int x, int y)
{
    CVirtualView* v = GetActiveView();
    return v ? v->GetValueString(x, y) : std::string();
}

void CViewRect::GetPalitra(PalitraTag* out)
{
    if (CVirtualView* v = GetActiveView())
        v->GetPalitra(out);
}

CPoint CViewRect::ImageToScreen(CPoint image) const
{
    return CPoint{TruncToInt(image.x / m_dScale) - GetScrollInfo(plat::SB_HORZ).nPos,
                  TruncToInt(image.y / m_dScale) - GetScrollInfo(plat::SB_VERT).nPos};
}

CPoint CViewRect::ScreenToImage(CPoint client) const
{
    return CPoint{TruncToInt((client.x + GetScrollInfo(plat::SB_HORZ).nPos) * m_dScale),
                  TruncToInt((client.y + GetScrollInfo(plat::SB_VERT).nPos) * m_dScale)};
}

// ---- commands -----------------------------------------------------------------

void CViewRect::SetBrightness(int value, int mode)
{
    if (CVirtualView* v = GetActiveView()) {
        v->SetBrightness(value, mode);
        RedrawNow();
    }
}

void CViewRect::SetContrast(int value)
{
    if (CVirtualView* v = GetActiveView()) {
        v->SetContrast(value);
        RedrawNow();
    }
}

void CViewRect::Equalize()
{
    if (CVirtualView* v = GetActiveView()) {
        v->EqualizeHistogram();
        RedrawNow();
    }
}

void CViewRect::SetPalitra(PalitraTag* in)
{
    if (CVirtualView* v = GetActiveView()) {
        v->SetPalitra(in);
        RedrawNow();
    }
}

void CViewRect::ShowProfile(int along, int position)
{
    if (CVirtualView* v = GetActiveView())
        v->ShowProfile(along, position);
}

void CViewRect::ShowCross(int show)
{
    if (GetActiveView())
        m_Cross.Show(show != 0);
}

void CViewRect::MoveCross(int x, int y)
{
    if (!GetActiveView())
        return;
    CenterOn(TruncToInt(x / m_dScale), TruncToInt(y / m_dScale));
    const CPoint at = ImageToScreen(CPoint{x, y});
    m_Cross.SetPosition(at.x, at.y);
    RedrawNow();
}

void CViewRect::ShowFrame(int show)
{
    if (!GetActiveView())
        return;
    if (show)
        m_Frame.SetFrame(CRect(-1, -1, -1, -1));
    else
        m_Frame.ClearFrame();
}

// The frame holds its last row and column; the segment save counts right and bottom
// as the first ones outside.
void CViewRect::SaveSelection()
{
    CVirtualView* v = GetActiveView();
    if (v == nullptr || !m_Frame.IsFrameShown())
        return;
    const CRect f = m_Frame.GetFrame();
    const RECT r{f.left, f.top, f.right + 1, f.bottom + 1};
    v->SaveSegment(&r);
}

void CViewRect::OnCrossMoved()
{
    const CPoint at = ScreenToImage(m_Cross.GetCentre());
    m_hFrame.SendMessage(WM_VIEWER_POINTER, plat::WParam(at.x), plat::LParam(at.y));
}

void CViewRect::PaintOverlays(plat::DeviceContext& dc)
{
    m_Cross.Paint(dc);
    m_Frame.Paint(&dc);
}

// ---- mouse and menu -----------------------------------------------------------

void CViewRect::OnLButtonUp(CPoint point)
{
    m_bCrossDrag = 0;
    m_Frame.MouseUp(point);
}

void CViewRect::OnCaptureLost()
{
    m_Frame.CancelDrag();
}

void CViewRect::OnSetCursor()
{
    if (m_nCursor == m_nCursorShown)
        return;
    if (m_nCursor >= 1 && m_nCursor <= 5) {
        SetCursorResource(kToolCursors[m_nCursor - 1], kPellionModule);
        m_Frame.SetOldCursor(m_nCursor);
    } else if (m_nCursor >= 7 && m_nCursor <= 11) {
        SetCursorCode(m_nCursor);
    }
    m_nCursorShown = m_nCursor;
}

void CViewRect::OnContextMenu(CPoint screen)
{
    if (GetCount() == 0 || m_Frame.RMouseDown())
        return;
    const plat::MenuResource* menu = plat::FindMenu(IDR_VIEWRECT_MENU, kPellionModule);
    if (menu == nullptr)
        return;
    // The choice goes to the frame after the menu has closed: its handler may close
    // this window.
    unsigned chosen = 0;
    QMenu popup;
    if (!plat::BuildPopupMenu(&popup, *menu, 0, [&chosen](unsigned id) { chosen = id; }))
        return;
    plat::EnableCommand(&popup, ID_VR_CM_SAVE_SELECTION, m_Frame.IsShown());
    popup.exec(QPoint(screen.x, screen.y));
    if (chosen != 0)
        m_hFrame.SendMessage(plat::WM_COMMAND, chosen, 0);
}

void CViewRect::contextMenuEvent(QContextMenuEvent* event)
{
    OnContextMenu(CPoint{event->globalPos().x(), event->globalPos().y()});
}

// ---- bitmap export ------------------------------------------------------------

void CViewRect::SaveAsBitmap()
{
    CVirtualView* v = GetActiveView();
    if (v == nullptr)
        return;
    plat::FileDialogRequest request;
    request.save = true;
    request.filter = kBitmapFilter;
    request.defaultExt = "bmp";
    request.flags = kBitmapDialogFlags;
    const plat::FileDialogResult chosen = plat::FileDialog(m_hWnd, request);
    if (!chosen.ok || chosen.Path().empty())
        return;
    std::shared_ptr<CRenderSource> source = v->GetRenderSource();
    if (!source)
        return;
    auto params = std::make_unique<BitmapJobParams>(BitmapJobParams{m_hWnd, chosen.Path(), std::move(source)});
    auto entry = [](void* data, CMeterInfo* meter) { SaveBitmapJob(static_cast<BitmapJobParams*>(data), meter); };
    if (GlobalThreadList().RunThread(v->GetLayerName(), entry, params.get(), nullptr, nullptr, 1))
        params.release();
}

void CViewRect::SaveBitmapJob(BitmapJobParams* params, CMeterInfoBase* meter)
{
    std::unique_ptr<BitmapJobParams> own(params);
    if (!own || !own->m_pSource)
        return;
    const BitmapWrite result = WriteBitmapFile(own->m_strPath, *own->m_pSource, meter);
    // The window goes whatever the outcome: a file that could not be made is no
    // completed operation.
    if (auto* info = dynamic_cast<CMeterInfo*>(meter))
        info->DeleteOnClose();
    if (result == BitmapWrite::NotCreated)
        plat::MessageBox(own->m_hWnd,
                         ErrorBoxText(LoadViewerString(IDS_ERROR_CREATING_FILE), own->m_strPath,
                                      FileCreationProblem(own->m_strPath, 0)),
                         AppName, plat::MB_OK);
}
