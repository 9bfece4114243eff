#pragma once
// The image window of a viewer: a stack of layer views (rasters, three-channel
// rasters, vector overlays) painted through one reusable buffer, with the zoom and
// scroll state and the status read-out. Layer preparation jobs report to it with
// WM_VIEWER_NOTIFY; it tells its parent frame when the first display is up or an
// open failed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BitmapInfo.h"
#include "BufferedWindow.h"
#include "WindowHandle.h"
#include "layer/Transform.h"
#include "window/ViewRectMath.h"

class QScrollBar;
class QTimer;
class CVirtualView;
class CVectorImage;
class CMeterInfoBase;
struct PalitraTag;

class CViewRect : public plat::BufferedWindow {
public:
    // frame: the window that gets the ready, failed and status notices.
    explicit CViewRect(plat::WindowHandle frame, QWidget* parent = nullptr);
    ~CViewRect() override;

    plat::WindowHandle Handle() const { return m_hWnd; }

    // Each adds a layer and answers its index; see the view classes for the opening.
    int LoadNewLayer(const char* fileName, int phase, double sigma, int stretch, CMeterInfoBase* meter,
                     plat::WindowHandle statusWnd);
    int LoadNewLayer(const char* name, void* pixels, int width, int height, int type, unsigned char* levels,
                     const PalitraTag* palette, double min, double max, CMeterInfoBase* meter,
                     plat::WindowHandle statusWnd);
    int LoadNewLayer(const char* red, const char* green, const char* blue, CMeterInfoBase* meter,
                     plat::WindowHandle statusWnd);
    // -1 without an active layer.
    int LoadNewLayer(CVectorImage* image);

    // An image view opened by open(id) (1 success, 0 failure; an exception is a
    // failure). removeOnFailure: a failed open discards the view and tells the frame.
    // Answers the index, or -1 when the open failed.
    int AddImageView(std::unique_ptr<CVirtualView> view, const std::function<int(int id)>& open, bool removeOnFailure,
                     int bytesPerPixel);

    int SetActiveView(int index, int show);
    void CloseActiveView();
    void CloseView(int index);
    void CloseAll();
    std::string GetLayerName();
    // Pane texts 0 to 3: zoom, pixel, value, longitude and latitude.
    std::vector<std::string> GetStatusTexts();

    int GetCount() const { return int(m_arrViews.size()); }
    int GetActive() const { return m_nActive; }
    CVirtualView* GetView(int index) const;
    double GetScale() const { return m_dScale; }
    int GetZoomLevel() const { return m_nZoomLevel; }
    bool IsFit() const { return m_bFit != 0; }
    bool HasGeo() const { return m_bGeo != 0; }
    const TransformMatrix& GetGeoTransform() const { return m_GeoTransform; }
    viewrect::Extent GetClientSize() const { return {m_sizeClient.cx, m_sizeClient.cy}; }
    plat::ScrollInfo GetScroll(plat::ScrollBar bar) const { return GetScrollInfo(bar); }

    void SetMouseTool(int code) { m_nCursor = code; }
    int GetMouseTool() const { return m_nCursor; }
    void SetMouse(CPoint p) { m_ptMouse = p; }

    void SetScale(double s);
    void CenterOn(int x, int y);
    void SetHorzScrollPos(int p);
    void SetVertScrollPos(int p);
    viewrect::Extent GetScrollBarSize() const;
    void RealScale();
    void FitToWindow();
    void ZoomIn();
    void ZoomOut();
    // A scroll bar action (plat::ScrollCode).
    void OnHScroll(int code);
    void OnVScroll(int code);
    void SetTrackPos(plat::ScrollBar bar, int pos);
    // The left button pressed at a client point, under the current tool.
    void OnLButtonDown(CPoint point);
    void OnMouseMove(CPoint point);

    // One full paint after a resize, vector layers and overlays included (a resize
    // paints only the exposed strips, from the active layer).
    void ForcePaint();

    // Handles a private message; public so that a parent can relay.
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);

protected:
    void OnPaint(plat::DeviceContext& dc) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int FindById(int id) const;
    void RemoveAt(int index);
    void Reset();
    void RedrawNow();
    void InvalidateAllRegions();
    void OnLayerNotice(int id, int code);
    void Zoom(bool in);
    void DragStep(plat::ScrollBar bar, int delta);
    void Scroll(plat::ScrollBar bar, int code);
    void SetScrollPos(plat::ScrollBar bar, int p);
    void EnsureBuffer(std::int64_t needed);
    // Paints rect (client pixels) from view alone, straight into the window.
    void PaintStrip(plat::DeviceContext& dc, CVirtualView* view, plat::Rect rect);
    // The exposed parts of a resize, painted into the buffer.
    void OnSize();
    void PaintMargins(plat::DeviceContext& dc, int shown);
    // Client size less the bars, and the bars brought in line with the stored state.
    void UpdateClientSize();
    void SyncBars();
    void OnBarAction(plat::ScrollBar bar, int action);

    plat::WindowHandle m_hWnd;
    plat::WindowHandle m_hFrame;
    CPoint m_ptMouse{0, 0};
    int m_bTracking = 0;
    int m_bScaling = 0;
    int m_bSkipPaint = 0;   // the paint after a resize finds its strips painted
    int m_bForcePaint = 0;  // overrides a skip
    int m_nSizeNesting = 0;
    viewrect::Extent m_sizePainted;  // client size and scroll positions of the last paint
    CPoint m_ptPainted{0, 0};
    QTimer* m_pSizeSettled = nullptr;  // fires once resizing has paused
    TransformMatrix m_GeoTransform;
    int m_bGeo = 0;
    int m_nGeoFormat = 0;
    viewrect::Extent m_sizeImage;
    viewrect::Extent m_sizeClient;
    int m_nCursor = 1;
    double m_dScale = 1.0;
    int m_nZoomLevel = 1;
    int m_bFit = 0;
    std::vector<std::unique_ptr<CVirtualView>> m_arrViews;
    int m_nActive = -1;
    int m_nNextId = 0;
    int m_nBytesPerPixel = 0;
    plat::BitmapInfo m_bmi;
    std::vector<unsigned char> m_Buffer;
    std::unique_ptr<plat::DeviceContext> m_pHatch;  // the margin hatch from origin 0, copied from
    QScrollBar* m_pBar[2] = {nullptr, nullptr};     // horizontal, vertical
    bool m_bBarsShown = false;                      // once set, always shown
};
