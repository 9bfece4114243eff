#pragma once
// The selection overlay of an image window: a rectangular frame and two point markers,
// held in image pixels and drawn in window pixels at the window's zoom and scroll
// position. Before drawing it saves the pixels under its lines (CSaveUnder) and puts
// them back before anything moves or hides, so the picture is never repainted for it.
// The mouse protocol and the clamping to the image are in FrameMouse.cpp.

#include "platform/paint/DeviceContext.h"
#include "platform/paint/Geometry.h"
#include "platform/windows/WindowHandle.h"
#include "window/SaveUnder.h"

class CFrame final {
public:
    // pView: the image window (a BufferedWindow); pOther: a twin that mirrors frame moves.
    CFrame(plat::WindowHandle pView, CFrame* pOther);
    virtual ~CFrame();

    // Twins point at each other: neither copied nor moved.
    CFrame(const CFrame&) = delete;
    CFrame& operator=(const CFrame&) = delete;

    int SetOtherFrame(CFrame* pOther);
    void SetOldCursor(int code) { m_nOldCursor = code; }
    // zoom: image pixels per window pixel; a zoom that is not a positive number is ignored.
    void SetScale(double zoom);
    // Origin from the view's scroll positions.
    void SetBegPoint();
    void SetPoint(int n, CPoint pt);
    CPoint GetPoint(int n) const { return n == 1 ? m_pt1 : m_pt2; }
    CRect GetFrame() const { return m_rcFrame; }
    // The frame always takes its default place; rc is not read.
    void SetFrame(CRect rc);
    void ClearPoint(int n);
    void ClearFrame();
    void ClearAll();
    void SaveAll();
    // Null: a device context of the view. 1 when nothing is shown, else 0.
    int Paint(plat::DeviceContext* pDC);
    int PaintFrame(plat::DeviceContext* pDC);
    int Paint1Pointer(plat::DeviceContext* pDC);
    int Paint2Pointer(plat::DeviceContext* pDC);
    void SumRectCount();

    // Mouse, in client pixels.
    int MouseDown(CPoint pt);
    int MouseMove(CPoint pt);
    int MouseUp(CPoint pt);
    int RMouseDown();
    // The view lost the mouse capture or the focus: a drag in progress ends.
    void CancelDrag();

    int MoveFrame(CSize d);
    int FrameChange(CSize d, int edge);
    int MovePoint(int n, CSize d, int bAbsolute);
    int MoveAll(CSize d, int bAbsolute);
    CSize TestFrameOut(CSize d) const;
    CSize TestStrechFrameOut(CSize d, int edge) const;
    int SetMaxFrame();

    // Coordinates. Window point of image point p, bias 1 giving the last window pixel
    // that the image pixel covers; image point of a client point.
    CPoint WindowPoint(CPoint p, int bx, int by) const;
    CPoint ImagePoint(CPoint client) const;
    // Marker size L (image pixels, also the hit tolerance) and arm A (window pixels).
    int MarkerSize() const;
    int MarkerArm() const;
    // Centre of marker m in window pixels.
    CPoint MarkerCentre(CPoint m) const;

    // The strips under everything shown: horizontal and vertical lines, numbered in order.
    struct StripList {
        int count = 0;
        int numbers[8] = {};
        CPoint from[8];
        CPoint to[8];
    };
    void StripLists(StripList& horz, StripList& vert) const;

    // State for the owner and tests.
    double Scale() const { return m_dScale; }
    CSize BegPoint() const { return m_ptBeg; }
    CRect SumRect() const { return m_rcSum; }
    bool IsShown() const { return m_bShow != 0; }
    bool IsPointShown(int n) const { return (n == 1 ? m_bPoint1 : m_bPoint2) != 0; }
    bool IsFrameShown() const { return m_bFrame != 0; }
    int Hit() const { return m_nHit; }
    int Edge() const { return m_nEdge; }
    int Drag() const { return m_nDrag; }
    int Cursor() const { return m_nCursor; }
    CPoint Anchor() const { return m_ptAnchor; }
    CPoint TopRight() const { return m_ptTopRight; }
    CPoint BottomLeft() const { return m_ptBottomLeft; }
    CSize Offset() const { return CSize{m_nOffsetX, m_nOffsetY}; }

    // Told of every change of the frame or a marker; null handle: nobody.
    plat::WindowHandle m_pNotifyWnd;
    // The image in image coordinates, right and bottom inclusive; set by the owner.
    CRect m_rcImage;
    CRect m_rcFrame;
    int m_nWidth = 0;
    int m_nHeight = 0;

private:
    int SetPointer(int mode, CPoint pt);
    // Centre of the view's client area limited to the image, in view units.
    CPoint DefaultPoint(const CRect& limited) const;
    CRect LimitedClient() const;
    void CornersFromPoint1();
    void SetCorners(int left, int top, int right, int bottom);
    void ShiftCorners(CSize d);
    void Notify() const;
    void SendCursor(int code);
    void DrawMarker(plat::DeviceContext& dc, CPoint m) const;
    CSize TestFrameOutOnce(CSize d) const;

    CSaveUnder m_SaveUnder;
    int m_bFirst = 1;
    CRect m_rcSum;
    CSize m_ptBeg;
    CPoint m_ptAnchor;
    double m_dScale = 1.0;
    int m_bShow = 0;
    int m_bPoint1 = 0;
    int m_bPoint2 = 0;
    int m_bFrame = 0;
    int m_nDrag = 0;
    int m_nEdge = 0;
    int m_nCursor = 0;
    int m_nOldCursor = 0;
    CPoint m_ptLast;
    int m_nHit = 0;
    plat::WindowHandle m_pView;
    CFrame* m_pOther = nullptr;
    CPoint m_pt1;
    CPoint m_pt2;
    CPoint m_ptTopRight;
    CPoint m_ptBottomLeft;
    int m_nOffsetX = 0;
    int m_nOffsetY = 0;
};
