// CFrame's mouse protocol, drags and the clamping of every move to the image.

#include <memory>

#include "platform/paint/BufferedWindow.h"
#include "util/DoubleToInt.h"
#include "window/Frame.h"

namespace {

// Edge codes: which sides an edge or corner moves, and its hover cursor.
struct EdgeRow {
    int edge;
    bool left, top, right, bottom;
    int cursor;
};

const EdgeRow kEdges[] = {
    {1, true, true, false, false, 10},  // top-left corner
    {2, false, true, true, false, 11},  // top-right corner
    {3, false, false, true, true, 10},  // bottom-right corner
    {4, true, false, false, true, 11},  // bottom-left corner
    {5, false, true, false, false, 8},  // top side
    {6, false, false, true, false, 9},  // right side
    {7, false, false, false, true, 8},  // bottom side
    {8, true, false, false, false, 9},  // left side
};

const EdgeRow* FindEdge(int edge)
{
    return edge >= 1 && edge <= 8 ? &kEdges[edge - 1] : nullptr;
}

const int kMoveCursor = 7;

}  // namespace

int CFrame::MouseDown(CPoint pt)
{
    if (!m_bShow)
        return 0;
    const CPoint v{TruncToInt(pt.x / m_dScale), TruncToInt(pt.y / m_dScale)};
    m_ptLast = v;
    m_ptAnchor = CPoint{v.x - m_ptBeg.cx, v.y - m_ptBeg.cy};
    plat::BufferedWindow* view = plat::BufferedWindow::FromHandle(m_pView);
    switch (m_nHit) {
    case 1:
    case 2: {
        m_nDrag = m_nHit;
        if (view)
            view->SetCapture();
        // A move that puts the marker onto the pressed image pixel.
        const CPoint m = m_nHit == 1 ? m_pt1 : m_pt2;
        MouseMove(CPoint{TruncToInt((2.0 * v.x - m.x) * m_dScale), TruncToInt((2.0 * v.y - m.y) * m_dScale)});
        m_ptLast = m_ptAnchor;
        if (view)
            view->ShowCursor(false);
        return 1;
    }
    case 3:
    case 4:
        m_ptLast = m_ptAnchor;
        m_nDrag = m_nHit;
        if (view)
            view->SetCapture();
        return 1;
    default:
        return 0;
    }
}

int CFrame::MouseMove(CPoint pt)
{
    if (!m_bShow)
        return 1;
    const CPoint p = ImagePoint(pt);
    if (m_nDrag) {
        std::unique_ptr<plat::DeviceContext> dc;
        if (plat::BufferedWindow* view = plat::BufferedWindow::FromHandle(m_pView))
            dc = std::make_unique<plat::DeviceContext>(*view);
        else
            dc = std::make_unique<plat::DeviceContext>(0, 0);
        CSize d{p.x - m_ptLast.x, p.y - m_ptLast.y};
        switch (m_nDrag) {
        case 1:
            ClearAll();
            MoveAll(d, 0);
            Paint(dc.get());
            m_ptLast = m_pt1;
            break;
        case 2:
            ClearAll();
            MovePoint(2, d, 0);
            Paint(dc.get());
            m_ptLast = m_pt2;
            break;
        case 3:
            d = TestFrameOut(d);
            if (m_pOther && m_pOther->m_bFrame) {
                m_pOther->ClearAll();
                m_pOther->MoveFrame(d);
                m_pOther->Paint(nullptr);
            }
            ClearAll();
            MoveFrame(d);
            Paint(dc.get());
            m_ptLast = m_ptAnchor;
            break;
        case 4:
            d = TestStrechFrameOut(d, m_nEdge);
            if (m_pOther && m_pOther->m_bFrame) {
                m_pOther->ClearAll();
                m_pOther->FrameChange(d, m_nEdge);
                m_pOther->Paint(nullptr);
            }
            ClearAll();
            FrameChange(d, m_nEdge);
            Paint(dc.get());
            m_ptLast = m_ptAnchor;
            break;
        default:
            break;
        }
        return 0;
    }

    // Hover: the first rule that matches.
    int hit = 0, cursor = m_nOldCursor;
    const int l = MarkerSize();
    auto near = [&](CPoint m) { return std::abs(p.x - m.x) < l && std::abs(p.y - m.y) < l; };
    if (m_bPoint1 && near(m_pt1)) {
        hit = 1;
        cursor = kMoveCursor;
    } else if (m_bPoint2 && near(m_pt2)) {
        hit = 2;
        cursor = kMoveCursor;
    } else if (m_bFrame) {
        const int t3 = TruncToInt(3.0 / m_dScale), t10 = TruncToInt(10.0 / m_dScale);
        const int ta = t3 > 1 ? t3 : 1, tb = t10 > 1 ? t10 : 1;
        const CRect& f = m_rcFrame;
        if (f.left - ta < p.x && p.x < f.right + ta && f.top - ta < p.y && p.y < f.bottom + ta) {
            int edge = 0;
            if (p.x > f.right - ta)
                edge = p.y < f.top + tb ? 2 : p.y > f.bottom - tb ? 3 : 6;
            else if (p.x < f.left + ta)
                edge = p.y < f.top + tb ? 1 : p.y > f.bottom - tb ? 4 : 8;
            else if (p.y > f.bottom - ta)
                edge = p.x > f.right - tb ? 3 : p.x < f.left + tb ? 4 : 7;
            else if (p.y < f.top + ta)
                edge = p.x > f.right - tb ? 2 : p.x < f.left + tb ? 1 : 5;
            if (edge) {
                hit = 4;
                m_nEdge = edge;
                cursor = FindEdge(edge)->cursor;
            } else {
                hit = 3;
                cursor = kMoveCursor;
            }
        }
    }
    m_nHit = hit;
    if (cursor != m_nCursor)
        SendCursor(cursor);
    m_nCursor = cursor;
    return 0;
}

int CFrame::MouseUp(CPoint)
{
    // A drag ends even when the overlay was hidden meanwhile, or the capture and the
    // hidden cursor would outlive it.
    if (m_nDrag)
        CancelDrag();
    return m_bShow ? 0 : 1;
}

void CFrame::CancelDrag()
{
    if (!m_nDrag)
        return;
    if (plat::BufferedWindow* view = plat::BufferedWindow::FromHandle(m_pView)) {
        if (m_nDrag == 1 || m_nDrag == 2)
            view->ShowCursor(true);
        view->ReleaseCapture();
    }
    m_nDrag = 0;
}

int CFrame::RMouseDown()
{
    return m_bShow && m_nDrag ? 1 : 0;
}

int CFrame::MoveFrame(CSize d)
{
    m_nOffsetX += d.cx;
    m_nOffsetY += d.cy;
    ShiftCorners(d);
    m_ptAnchor = CPoint{m_ptAnchor.x + d.cx, m_ptAnchor.y + d.cy};
    Notify();
    return 0;
}

int CFrame::FrameChange(CSize d, int edge)
{
    if (const EdgeRow* row = FindEdge(edge)) {
        int left = m_rcFrame.left, top = m_rcFrame.top, right = m_rcFrame.right, bottom = m_rcFrame.bottom;
        if (row->left) {
            left += d.cx;
            m_nOffsetX += d.cx;
        }
        if (row->right)
            right += d.cx;
        if (row->top) {
            top += d.cy;
            m_nOffsetY += d.cy;
        }
        if (row->bottom)
            bottom += d.cy;
        SetCorners(left, top, right, bottom);
    }
    m_ptAnchor = CPoint{m_ptAnchor.x + d.cx, m_ptAnchor.y + d.cy};
    Notify();
    return 0;
}

int CFrame::MovePoint(int n, CSize d, int bAbsolute)
{
    if (n == 1)
        return MoveAll(d, bAbsolute);
    if (bAbsolute)
        d = CSize{d.cx - m_pt2.x, d.cy - m_pt2.y};
    if (m_pt2.x + d.cx < m_rcImage.left)
        d.cx = m_rcImage.left - m_pt2.x;
    if (m_rcImage.right < m_pt2.x + d.cx)
        d.cx = m_rcImage.right - m_pt2.x;
    if (m_pt2.y + d.cy < m_rcImage.top)
        d.cy = m_rcImage.top - m_pt2.y;
    if (m_rcImage.bottom < m_pt2.y + d.cy)
        d.cy = m_rcImage.bottom - m_pt2.y;
    m_pt2 = CPoint{m_pt2.x + d.cx, m_pt2.y + d.cy};
    Notify();
    return 1;
}

int CFrame::MoveAll(CSize d, int bAbsolute)
{
    if (bAbsolute)
        d = CSize{d.cx - m_pt1.x, d.cy - m_pt1.y};
    SumRectCount();
    if (m_rcSum.left + d.cx < m_rcImage.left)
        d.cx = m_rcImage.left - m_rcSum.left;
    if (m_rcImage.right < m_rcSum.right + d.cx)
        d.cx = m_rcImage.right - m_rcSum.right;
    if (m_rcSum.top + d.cy < m_rcImage.top)
        d.cy = m_rcImage.top - m_rcSum.top;
    if (m_rcImage.bottom < m_rcSum.bottom + d.cy)
        d.cy = m_rcImage.bottom - m_rcSum.bottom;
    m_pt1 = CPoint{m_pt1.x + d.cx, m_pt1.y + d.cy};
    ShiftCorners(d);
    Notify();
    return 1;
}

CSize CFrame::TestFrameOutOnce(CSize d) const
{
    // All four from the unchanged move.
    const int top = m_rcFrame.top + d.cy - m_rcImage.top;
    const int bottom = m_rcImage.bottom - (m_rcFrame.bottom + d.cy);
    const int left = m_rcFrame.left + d.cx - m_rcImage.left;
    const int right = m_rcImage.right - (m_rcFrame.right + d.cx);
    if (top < 0)
        d.cy -= top;
    if (bottom < 0)
        d.cy += bottom;
    if (left < 0)
        d.cx -= left;
    if (right < 0)
        d.cx += right;
    return d;
}

CSize CFrame::TestFrameOut(CSize d) const
{
    d = TestFrameOutOnce(d);
    if (m_pOther)
        d = m_pOther->TestFrameOutOnce(d);
    return d;
}

CSize CFrame::TestStrechFrameOut(CSize d, int edge) const
{
    const EdgeRow* row = FindEdge(edge);
    if (!row)
        return d;
    const CRect& f = m_rcFrame;
    CSize t;
    bool outX = false, outY = false;
    if (row->left) {
        if (d.cx > 0) {
            if (f.left + d.cx > f.right - 2)
                d.cx = f.right - 2 - f.left;
        } else {
            t.cx = d.cx;
            outX = true;
        }
    }
    if (row->right) {
        if (d.cx < 0) {
            if (f.right + d.cx < f.left + 2)
                d.cx = f.left + 2 - f.right;
        } else {
            t.cx = d.cx;
            outX = true;
        }
    }
    if (row->top) {
        if (d.cy > 0) {
            if (f.top + d.cy > f.bottom - 2)
                d.cy = f.bottom - 2 - f.top;
        } else {
            t.cy = d.cy;
            outY = true;
        }
    }
    if (row->bottom) {
        if (d.cy < 0) {
            if (f.bottom + d.cy < f.top + 2)
                d.cy = f.top + 2 - f.bottom;
        } else {
            t.cy = d.cy;
            outY = true;
        }
    }
    if (t.cx != 0 || t.cy != 0) {
        t = TestFrameOut(t);
        if (outX)
            d.cx = t.cx;
        if (outY)
            d.cy = t.cy;
    }
    return d;
}

int CFrame::SetMaxFrame()
{
    const CSize d1 = TestStrechFrameOut(CSize{m_rcImage.left - m_rcFrame.left, m_rcImage.top - m_rcFrame.top}, 1);
    const CSize d2 = TestStrechFrameOut(CSize{m_rcImage.right, m_rcImage.bottom}, 3);
    ClearAll();
    FrameChange(d1, 1);
    FrameChange(d2, 3);
    Paint(nullptr);
    if (m_pOther) {
        m_pOther->ClearAll();
        m_pOther->FrameChange(d1, 1);
        m_pOther->FrameChange(d2, 3);
        m_pOther->Paint(nullptr);
    }
    Notify();
    return 1;
}
