#pragma once
// The dotted cross-hair of the inquire tool: a vertical and a horizontal line across
// the window's client area, drawn in XOR mode, so drawing the same lines again
// restores the picture.

#include <memory>

#include "platform/paint/DeviceContext.h"
#include "platform/paint/Geometry.h"
#include "platform/windows/WindowHandle.h"

class CCrossPointer final {
public:
    CCrossPointer();
    virtual ~CCrossPointer();

    // Keeps a device context of its window: neither copied nor moved.
    CCrossPointer(const CCrossPointer&) = delete;
    CCrossPointer& operator=(const CCrossPointer&) = delete;

    // Binds the window (a BufferedWindow) and takes its device context for later drawing.
    void Attach(plat::WindowHandle wnd, int x, int y);
    bool HitTest(int x, int y) const;
    // Shown: moves the crossing point, draws and sends WM_VIEWER_POINTER; hidden: nothing.
    void SetPosition(int x, int y);
    void Offset(int dx, int dy);
    void Show(bool show);
    // Draws at the centre, erasing the lines at the drawn position first if they differ.
    void Paint(plat::DeviceContext& dc);
    CPoint GetCentre() const { return m_ptCentre; }
    bool IsShown() const { return m_bShown != 0; }

private:
    // Drawing and erasing are the same XOR drawing.
    void DrawLines(plat::DeviceContext& dc, CPoint at, CSize size);
    CSize ClientSize() const;

    int m_bShown = 0;
    CPoint m_ptCentre;
    CPoint m_ptDrawn{-1, -1};
    plat::WindowHandle m_pWnd;
    CSize m_sizeClient;
    std::unique_ptr<plat::DeviceContext> m_pDC;
};
