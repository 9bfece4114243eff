#include "frame/ViewRectTools.h"

#include "view/VirtualView.h"
#include "window/CrossPointer.h"
#include "window/Frame.h"
#include "window/ViewRect.h"
#include "window/ViewRectMath.h"

CViewRectTools::CViewRectTools(CViewRect& view)
    : m_view(view),
      m_pFrame(std::make_unique<CFrame>(view.Handle(), nullptr)),
      m_pPointer(std::make_unique<CCrossPointer>())
{
    m_pPointer->Attach(view.Handle(), 0, 0);
}

CViewRectTools::~CViewRectTools() = default;

CVirtualView* CViewRectTools::Active() const
{
    return m_view.GetView(m_view.GetActive());
}

void CViewRectTools::Redraw()
{
    if (CVirtualView* v = Active())
        v->InvalidateRegion();
    m_view.Invalidate();
    m_view.UpdateWindow();
}

void CViewRectTools::SetBrightness(int value, int mode)
{
    if (CVirtualView* v = Active()) {
        v->SetBrightness(value, mode);
        Redraw();
    }
}

void CViewRectTools::SetContrast(int value)
{
    if (CVirtualView* v = Active()) {
        v->SetContrast(value);
        Redraw();
    }
}

void CViewRectTools::Equalize()
{
    if (CVirtualView* v = Active()) {
        v->EqualizeHistogram();
        Redraw();
    }
}

void CViewRectTools::ShowFrame(bool show)
{
    m_pFrame->SetScale(m_view.GetScale());
    m_pFrame->SetBegPoint();
    if (show)
        m_pFrame->SetFrame(CRect());
    else
        m_pFrame->ClearFrame();
}

void CViewRectTools::ShowPointer(bool show)
{
    m_pPointer->Attach(m_view.Handle(), m_pPointer->GetCentre().x, m_pPointer->GetCentre().y);
    m_pPointer->Show(show);
}

bool CViewRectTools::IsPointerShown() const
{
    return m_pPointer->IsShown();
}

CPoint CViewRectTools::PointerImagePos() const
{
    const CPoint c = m_pPointer->GetCentre();
    return CPoint{viewrect::ImageSample(c.x + m_view.GetScroll(plat::SB_HORZ).nPos, m_view.GetScale()),
                  viewrect::ImageSample(c.y + m_view.GetScroll(plat::SB_VERT).nPos, m_view.GetScale())};
}

void CViewRectTools::MovePointer(int x, int y)
{
    m_view.CenterOn(x, y);
    const int cx = viewrect::ScreenPos(x, m_view.GetScale()) - m_view.GetScroll(plat::SB_HORZ).nPos;
    const int cy = viewrect::ScreenPos(y, m_view.GetScale()) - m_view.GetScroll(plat::SB_VERT).nPos;
    Redraw();
    m_pPointer->SetPosition(cx, cy);
}

std::string CViewRectTools::ValueText(int x, int y) const
{
    CVirtualView* v = Active();
    return v ? v->GetValueString(x, y) : std::string();
}

void CViewRectTools::SaveSegment()
{
    CVirtualView* v = Active();
    if (v == nullptr || !m_pFrame->IsFrameShown())
        return;
    const CRect rc = m_pFrame->GetFrame();
    v->SaveSegment(&rc);
}
