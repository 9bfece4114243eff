#include "window/Frame.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/paint/BufferedWindow.h"
#include "util/DoubleToInt.h"
#include "window/ViewerMessages.h"

namespace {

const plat::ColorRef kFrameColor = plat::Rgb(255, 0, 0);
const plat::ColorRef kPoint2Color = plat::Rgb(0, 255, 0);

CPoint Plus(CPoint p, int dx, int dy)
{
    return CPoint{p.x + dx, p.y + dy};
}

}  // namespace

CFrame::CFrame(plat::WindowHandle pView, CFrame* pOther) : m_pView(pView), m_pOther(pOther)
{
    if (m_pOther)
        m_pOther->SetOtherFrame(this);
}

CFrame::~CFrame()
{
    if (m_pOther)
        m_pOther->SetOtherFrame(nullptr);
}

int CFrame::SetOtherFrame(CFrame* pOther)
{
    m_pOther = pOther;
    return 0;
}

void CFrame::SetScale(double zoom)
{
    // A zero, negative or infinite zoom would leave no usable scale.
    if (!(zoom > 0.0) || !std::isfinite(1.0 / zoom) || !std::isfinite(zoom))
        return;
    m_dScale = 1.0 / zoom;
    SetBegPoint();
}

void CFrame::SetBegPoint()
{
    plat::ScrollInfo vert, horz;
    if (plat::BufferedWindow* view = plat::BufferedWindow::FromHandle(m_pView)) {
        vert = view->GetScrollInfo(plat::SB_VERT);
        horz = view->GetScrollInfo(plat::SB_HORZ);
    }
    m_ptBeg = CSize{-TruncToInt(horz.nPos / m_dScale), -TruncToInt(vert.nPos / m_dScale)};
    m_ptLast = CPoint{m_ptBeg.cx, m_ptBeg.cy};
}

CPoint CFrame::WindowPoint(CPoint p, int bx, int by) const
{
    return CPoint{TruncToInt((double(p.x) + m_ptBeg.cx + bx) * m_dScale) - bx,
                  TruncToInt((double(p.y) + m_ptBeg.cy + by) * m_dScale) - by};
}

CPoint CFrame::ImagePoint(CPoint client) const
{
    return CPoint{TruncToInt(client.x / m_dScale) - m_ptBeg.cx, TruncToInt(client.y / m_dScale) - m_ptBeg.cy};
}

int CFrame::MarkerSize() const
{
    const int l = TruncToInt(5.0 / m_dScale);
    return l > 10 ? l : 10;
}

int CFrame::MarkerArm() const
{
    return TruncToInt(MarkerSize() * m_dScale);
}

CPoint CFrame::MarkerCentre(CPoint m) const
{
    const int half = TruncToInt(0.5 * m_dScale);
    return CPoint{TruncToInt((double(m.x) + m_ptBeg.cx) * m_dScale) + half,
                  TruncToInt((double(m.y) + m_ptBeg.cy) * m_dScale) + half};
}

void CFrame::SetPoint(int n, CPoint pt)
{
    SetPointer(n, pt);
}

void CFrame::SetFrame(CRect)
{
    SetPointer(3, CPoint{-1, -1});
}

CRect CFrame::LimitedClient() const
{
    CRect rc;
    if (const plat::BufferedWindow* view = plat::BufferedWindow::FromHandle(m_pView))
        rc = view->ClientRect();
    rc.right = std::min(rc.right, m_rcImage.right);
    rc.bottom = std::min(rc.bottom, m_rcImage.bottom);
    return rc;
}

CPoint CFrame::DefaultPoint(const CRect& limited) const
{
    return CPoint{TruncToInt(((limited.left + limited.right) / 2) * (1.0 / m_dScale)),
                  TruncToInt(((limited.top + limited.bottom) / 2) * (1.0 / m_dScale))};
}

void CFrame::SetCorners(int left, int top, int right, int bottom)
{
    m_rcFrame = CRect(left, top, right, bottom);
    m_ptTopRight = CPoint{right, top};
    m_ptBottomLeft = CPoint{left, bottom};
    m_nWidth = right - left;
    m_nHeight = bottom - top;
}

void CFrame::ShiftCorners(CSize d)
{
    SetCorners(m_rcFrame.left + d.cx, m_rcFrame.top + d.cy, m_rcFrame.right + d.cx, m_rcFrame.bottom + d.cy);
}

void CFrame::CornersFromPoint1()
{
    const int left = m_pt1.x + m_nOffsetX, top = m_pt1.y + m_nOffsetY;
    SetCorners(left, top, left + m_nWidth, top + m_nHeight);
}

int CFrame::SetPointer(int mode, CPoint pt)
{
    m_bShow = 1;
    if (m_bFirst) {
        m_SaveUnder.Init(m_pView, 8, 8);
        m_bFirst = 0;
    }
    const CRect limited = LimitedClient();
    ClearAll();
    const bool centre = pt == CPoint{-1, -1};
    const CPoint target = centre ? DefaultPoint(limited) : pt;
    const CPoint placed{target.x - m_ptBeg.cx, target.y - m_ptBeg.cy};
    if (mode == 1) {
        m_bPoint1 = 1;
        m_pt1 = placed;
    } else if (mode == 2) {
        m_bPoint2 = 1;
        m_pt2 = placed;
    } else if (mode == 3) {
        if (!m_bPoint1) {
            const CPoint p = DefaultPoint(limited);
            m_pt1 = CPoint{p.x - m_ptBeg.cx, p.y - m_ptBeg.cy};
        }
        m_bFrame = 1;
        // A quarter of the visible part of the image.
        const double imageHeight = m_rcImage.Height() * m_dScale, imageWidth = m_rcImage.Width() * m_dScale;
        const double height = limited.Height() <= imageHeight ? limited.Height() : imageHeight;
        const double width = limited.Width() <= imageWidth ? limited.Width() : imageWidth;
        const int nHeight = TruncToInt(height / (m_dScale * 4.0)), nWidth = TruncToInt(width / (m_dScale * 4.0));
        m_nOffsetX = -nWidth / 2;
        m_nOffsetY = -nHeight / 2;
        m_nWidth = nWidth;
        m_nHeight = nHeight;
        if (m_pOther && m_pOther->m_bFrame) {
            m_pOther->ClearAll();
            m_pOther->m_nOffsetX = m_nOffsetX;
            m_pOther->m_nOffsetY = m_nOffsetY;
            m_pOther->m_nWidth = m_nWidth;
            m_pOther->m_nHeight = m_nHeight;
            m_pOther->CornersFromPoint1();
            m_pOther->Paint(nullptr);
        }
        CornersFromPoint1();
        MoveAll(CSize{m_pt1.x, m_pt1.y}, 1);
    }
    Paint(nullptr);
    return 0;
}

void CFrame::ClearPoint(int n)
{
    ClearAll();
    if (n == 1)
        m_bPoint1 = 0;
    else
        m_bPoint2 = 0;
    if (!m_bPoint1 && !m_bPoint2 && !m_bFrame)
        m_bShow = 0;
    Paint(nullptr);
}

void CFrame::ClearFrame()
{
    ClearAll();
    m_bFrame = 0;
    if (!m_bPoint1 && !m_bPoint2)
        m_bShow = 0;
    Paint(nullptr);
}

void CFrame::SumRectCount()
{
    if (!m_bFrame)
        m_rcSum = CRect(m_pt1.x, m_pt1.y, m_pt1.x, m_pt1.y);
    else if (!m_bPoint1)
        m_rcSum = m_rcFrame;
    else
        m_rcSum = CRect(std::min(m_rcFrame.left, m_pt1.x), std::min(m_rcFrame.top, m_pt1.y),
                        std::max(m_rcFrame.right, m_pt1.x), std::max(m_rcFrame.bottom, m_pt1.y));
}

void CFrame::StripLists(StripList& horz, StripList& vert) const
{
    horz = StripList{};
    vert = StripList{};
    auto add = [](StripList& list, CPoint from, CPoint to) {
        list.numbers[list.count] = list.count;
        list.from[list.count] = from;
        list.to[list.count] = to;
        ++list.count;
    };
    if (m_bFrame) {
        const CPoint tl = WindowPoint(CPoint{m_rcFrame.left, m_rcFrame.top}, 0, 0);
        const CPoint tr = WindowPoint(m_ptTopRight, 1, 0);
        const CPoint bl = WindowPoint(m_ptBottomLeft, 0, 1);
        const CPoint br = WindowPoint(CPoint{m_rcFrame.right, m_rcFrame.bottom}, 1, 1);
        add(horz, tl, tr);
        add(horz, bl, br);
        add(vert, tl, bl);
        add(vert, tr, br);
    }
    const int a = MarkerArm();
    for (int n = 1; n <= 2; ++n) {
        if (!(n == 1 ? m_bPoint1 : m_bPoint2))
            continue;
        const CPoint z = MarkerCentre(n == 1 ? m_pt1 : m_pt2);
        add(horz, Plus(z, -a, 0), Plus(z, a, 0));
        add(horz, Plus(z, -a, -a), Plus(z, a, -a));
        add(horz, Plus(z, -a, a), Plus(z, a, a));
        add(vert, Plus(z, 0, -a), Plus(z, 0, a));
        add(vert, Plus(z, -a, -a), Plus(z, -a, a));
        add(vert, Plus(z, a, -a), Plus(z, a, a));
    }
}

void CFrame::ClearAll()
{
    StripList horz, vert;
    StripLists(horz, vert);
    m_SaveUnder.RestoreLines(horz.count, horz.numbers, horz.from, horz.to, vert.count, vert.numbers, vert.from,
                             vert.to);
}

void CFrame::SaveAll()
{
    StripList horz, vert;
    StripLists(horz, vert);
    m_SaveUnder.SaveLines(horz.count, horz.numbers, horz.from, horz.to, vert.count, vert.numbers, vert.from, vert.to);
}

int CFrame::Paint(plat::DeviceContext* pDC)
{
    if (!m_bShow)
        return 1;
    const plat::Pen pen{plat::Pen::Solid, 0, kFrameColor};
    std::unique_ptr<plat::DeviceContext> client;
    if (!pDC) {
        if (plat::BufferedWindow* view = plat::BufferedWindow::FromHandle(m_pView))
            client = std::make_unique<plat::DeviceContext>(*view);
        else
            client = std::make_unique<plat::DeviceContext>(0, 0);  // nothing to draw on
        pDC = client.get();
    }
    const plat::Pen old = pDC->SelectPen(pen);
    SaveAll();
    if (m_bPoint1)
        Paint1Pointer(pDC);
    if (m_bFrame)
        PaintFrame(pDC);
    if (m_bPoint2)
        Paint2Pointer(pDC);
    pDC->SelectPen(old);
    return 0;
}

int CFrame::PaintFrame(plat::DeviceContext* pDC)
{
    const CPoint tl = WindowPoint(CPoint{m_rcFrame.left, m_rcFrame.top}, 0, 0);
    const CPoint tr = WindowPoint(m_ptTopRight, 1, 0);
    const CPoint bl = WindowPoint(m_ptBottomLeft, 0, 1);
    const CPoint br = WindowPoint(CPoint{m_rcFrame.right, m_rcFrame.bottom}, 1, 1);
    pDC->MoveTo(tr.x, tr.y);
    pDC->LineTo(tl.x, tl.y);
    pDC->LineTo(bl.x, bl.y);
    pDC->LineTo(br.x, br.y);
    pDC->LineTo(tr.x, tr.y);
    return 0;
}

void CFrame::DrawMarker(plat::DeviceContext& dc, CPoint m) const
{
    const CPoint z = MarkerCentre(m);
    const int a = MarkerArm(), q = TruncToInt(a * 0.25);
    // Cross with an open centre.
    dc.MoveTo(z.x - a, z.y);
    dc.LineTo(z.x - q, z.y);
    dc.MoveTo(z.x + q, z.y);
    dc.LineTo(z.x + a, z.y);
    dc.MoveTo(z.x, z.y - a);
    dc.LineTo(z.x, z.y - q);
    dc.MoveTo(z.x, z.y + q);
    dc.LineTo(z.x, z.y + a);
    // Square.
    dc.MoveTo(z.x - a, z.y - a);
    dc.LineTo(z.x + a, z.y - a);
    dc.LineTo(z.x + a, z.y + a);
    dc.LineTo(z.x - a, z.y + a);
    dc.LineTo(z.x - a, z.y - a);
}

int CFrame::Paint1Pointer(plat::DeviceContext* pDC)
{
    DrawMarker(*pDC, m_pt1);
    return 0;
}

int CFrame::Paint2Pointer(plat::DeviceContext* pDC)
{
    const plat::Pen old = pDC->SelectPen(plat::Pen{plat::Pen::Solid, 0, kPoint2Color});
    DrawMarker(*pDC, m_pt2);
    pDC->SelectPen(old);
    return 0;
}

void CFrame::Notify() const
{
    m_pNotifyWnd.PostMessage(WM_VIEWER_NOTIFY, plat::WParam(-1), VIEWER_NOTIFY_FRAME);
}

void CFrame::SendCursor(int code)
{
    m_pView.SendMessage(WM_VIEWER_CURSOR, plat::WParam(code), 0);
}
