#include "window/CrossPointer.h"

#include <cstdlib>

#include "platform/paint/BufferedWindow.h"
#include "window/ViewerMessages.h"

CCrossPointer::CCrossPointer() = default;

CCrossPointer::~CCrossPointer() = default;

void CCrossPointer::Attach(plat::WindowHandle wnd, int x, int y)
{
    m_pWnd = wnd;
    m_ptCentre = CPoint{x, y};
    m_pDC.reset();
    if (plat::BufferedWindow* window = plat::BufferedWindow::FromHandle(wnd))
        m_pDC = std::make_unique<plat::DeviceContext>(*window);
}

bool CCrossPointer::HitTest(int x, int y) const
{
    return std::abs(x - m_ptCentre.x) < 5 && std::abs(y - m_ptCentre.y) < 5;
}

void CCrossPointer::SetPosition(int x, int y)
{
    if (!m_bShown)
        return;
    m_ptCentre = CPoint{x, y};
    if (m_pDC)
        Paint(*m_pDC);
    m_pWnd.SendMessage(WM_VIEWER_POINTER, 0, 0);
}

void CCrossPointer::Offset(int dx, int dy)
{
    SetPosition(m_ptCentre.x + dx, m_ptCentre.y + dy);
}

void CCrossPointer::Show(bool show)
{
    if (show && !m_bShown) {
        const CSize client = ClientSize();
        m_ptCentre = CPoint{client.cx / 2, client.cy / 2};
        if (m_pDC)
            DrawLines(*m_pDC, m_ptCentre, client);
        m_bShown = 1;
    } else if (!show && m_bShown) {
        if (m_pDC)
            DrawLines(*m_pDC, m_ptDrawn, m_sizeClient);
        m_bShown = 0;
    }
}

void CCrossPointer::Paint(plat::DeviceContext& dc)
{
    if (!m_bShown)
        return;
    if (!(m_ptCentre == m_ptDrawn))
        DrawLines(dc, m_ptDrawn, m_sizeClient);
    DrawLines(dc, m_ptCentre, ClientSize());
}

CSize CCrossPointer::ClientSize() const
{
    const plat::BufferedWindow* window = plat::BufferedWindow::FromHandle(m_pWnd);
    if (!window)
        return CSize{};
    const plat::Rect client = window->ClientRect();
    return CSize{client.right, client.bottom};
}

void CCrossPointer::DrawLines(plat::DeviceContext& dc, CPoint at, CSize size)
{
    const plat::Pen oldPen = dc.SelectPen(plat::Pen{plat::Pen::Dot, 0, plat::Rgb(0, 0, 0)});
    const plat::Brush oldBrush = dc.SelectBrush(plat::Brush{plat::Brush::Null, 0});
    const plat::Rop2 oldRop = dc.SetROP2(plat::R2_XORPEN);
    dc.MoveTo(at.x, 0);
    dc.LineTo(at.x, size.cy);
    dc.MoveTo(0, at.y);
    dc.LineTo(size.cx, at.y);
    m_ptDrawn = at;
    m_sizeClient = size;
    dc.SetROP2(oldRop);
    dc.SelectBrush(oldBrush);
    dc.SelectPen(oldPen);
}
