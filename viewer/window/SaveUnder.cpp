#include "window/SaveUnder.h"

#include <utility>

#include "platform/paint/BufferedWindow.h"
#include "platform/windows/SystemMetrics.h"

CSaveUnder::~CSaveUnder()
{
    Free();
}

int CSaveUnder::Init(plat::WindowHandle pWnd, int nHorz, int nVert, int nWidth, int nHeight)
{
    Free();
    const int width = nWidth ? nWidth : plat::GetSystemMetrics(plat::SM_CXVIRTUALSCREEN);
    const int height = nHeight ? nHeight : plat::GetSystemMetrics(plat::SM_CYVIRTUALSCREEN);
    if (nHorz <= 0 || nVert <= 0 || width <= 0 || height <= 0 || !plat::BufferedWindow::FromHandle(pWnd))
        return 0;
    auto horz = std::make_unique<plat::DeviceContext>(width, nHorz);
    auto vert = std::make_unique<plat::DeviceContext>(nVert, height);
    if (!horz->IsValid() || !vert->IsValid())
        return 0;
    m_pWnd = pWnd;
    m_hbmHorz = std::move(horz);
    m_hbmVert = std::move(vert);
    m_vertSaved.assign(std::size_t(nVert), 0);
    m_horzSaved.assign(std::size_t(nHorz), 0);
    m_nHorz = nHorz;
    m_nVert = nVert;
    m_cxLimit = width;
    m_cyLimit = height;
    return 1;
}

void CSaveUnder::Free()
{
    m_pWnd = plat::WindowHandle();
    m_hbmHorz.reset();
    m_hbmVert.reset();
    m_vertSaved.clear();
    m_horzSaved.clear();
    m_nHorz = m_nVert = m_cxLimit = m_cyLimit = 0;
}

bool CSaveUnder::IsSaved(bool horizontal, int n) const
{
    const std::vector<int>& saved = horizontal ? m_horzSaved : m_vertSaved;
    return n >= 0 && n < int(saved.size()) && saved[std::size_t(n)] != 0;
}

bool CSaveUnder::Normalise(int x1, int y1, int x2, int y2, Line& line) const
{
    if (x1 > x2 || y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    if (x1 < 0)
        x1 = 0;
    if (y1 < 0)
        y1 = 0;
    if (x1 >= m_cxLimit || y1 >= m_cyLimit || x2 < 0 || y2 < 0)
        return false;
    if (x2 > m_cxLimit - 1)
        x2 = m_cxLimit - 1;
    if (y2 > m_cyLimit - 1)
        y2 = m_cyLimit - 1;
    if (x1 == x2)
        line = Line{x1, y1, x2, y2, true};  // a single point counts as vertical
    else if (y1 == y2)
        line = Line{x1, y1, x2, y2, false};
    else
        return false;
    return true;
}

std::unique_ptr<plat::DeviceContext> CSaveUnder::WindowDC() const
{
    plat::BufferedWindow* window = m_hbmHorz ? plat::BufferedWindow::FromHandle(m_pWnd) : nullptr;
    return window ? std::make_unique<plat::DeviceContext>(*window) : nullptr;
}

void CSaveUnder::Apply(Op op, plat::DeviceContext& wnd, int n, int x1, int y1, int x2, int y2)
{
    Line l{};
    if (!Normalise(x1, y1, x2, y2, l))
        return;
    std::vector<int>& saved = l.vertical ? m_vertSaved : m_horzSaved;
    if (n < 0 || n >= int(saved.size()))
        return;
    int& flag = saved[std::size_t(n)];
    plat::DeviceContext& strips = l.vertical ? *m_hbmVert : *m_hbmHorz;
    const int w = l.x2 - l.x1 + 1, h = l.y2 - l.y1 + 1;
    const int sx = l.vertical ? n : 0, sy = l.vertical ? 0 : n;
    if (op == Op::Save) {
        strips.BitBlt(sx, sy, w, h, wnd, l.x1, l.y1);
        flag = 1;
    } else if (flag) {
        wnd.BitBlt(l.x1, l.y1, w, h, strips, sx, sy);
        flag = 0;
    }
}

void CSaveUnder::SaveLine(int n, int x1, int y1, int x2, int y2)
{
    if (auto wnd = WindowDC())
        Apply(Op::Save, *wnd, n, x1, y1, x2, y2);
}

void CSaveUnder::RestoreLine(int n, int x1, int y1, int x2, int y2)
{
    if (auto wnd = WindowDC())
        Apply(Op::Restore, *wnd, n, x1, y1, x2, y2);
}

void CSaveUnder::ApplyList(Op op, int count, const int* numbers, const CPoint* from, const CPoint* to,
                           plat::DeviceContext& wnd)
{
    if (!numbers || !from || !to)
        return;
    for (int i = 0; i < count; ++i)
        Apply(op, wnd, numbers[i], from[i].x, from[i].y, to[i].x, to[i].y);
}

void CSaveUnder::ApplyLists(Op op, int nHorz, const int* horzNumbers, const CPoint* horzFrom, const CPoint* horzTo,
                            int nVert, const int* vertNumbers, const CPoint* vertFrom, const CPoint* vertTo)
{
    auto wnd = WindowDC();
    if (!wnd)
        return;
    ApplyList(op, nVert, vertNumbers, vertFrom, vertTo, *wnd);
    ApplyList(op, nHorz, horzNumbers, horzFrom, horzTo, *wnd);
}

void CSaveUnder::SaveLines(int nHorz, const int* horzNumbers, const CPoint* horzFrom, const CPoint* horzTo, int nVert,
                           const int* vertNumbers, const CPoint* vertFrom, const CPoint* vertTo)
{
    ApplyLists(Op::Save, nHorz, horzNumbers, horzFrom, horzTo, nVert, vertNumbers, vertFrom, vertTo);
}

void CSaveUnder::RestoreLines(int nHorz, const int* horzNumbers, const CPoint* horzFrom, const CPoint* horzTo,
                              int nVert, const int* vertNumbers, const CPoint* vertFrom, const CPoint* vertTo)
{
    ApplyLists(Op::Restore, nHorz, horzNumbers, horzFrom, horzTo, nVert, vertNumbers, vertFrom, vertTo);
}
