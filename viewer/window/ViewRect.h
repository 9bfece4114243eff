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

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/BufferedWindow.h"
#include "FileProblems.h"
#include "platform/windows/WindowHandle.h"
#include "layer/Transform.h"
#include "window/CrossPointer.h"
#include "window/Frame.h"
#include "window/ViewRectMath.h"

class QScrollBar;
class QTimer;
class CVirtualView;
class CVectorImage;
class CMeterInfoBase;
class CRenderSource;
struct PalitraTag;

// The block of a bitmap export job; the job frees it. It holds the picture by
// shared ownership: the layer and the window may go while the job runs.
struct BitmapJobParams {
    plat::WindowHandle m_hWnd;  // owns the error box while it exists
    std::string m_strPath;
    std::shared_ptr<CRenderSource> m_pSource;
};

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

    // The file and reason of the last layer that failed to open or prepare.
    const FileFailure& LastFailure() const { return m_LastFailure; }

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
    void OnLButtonUp(CPoint point);
    void OnMouseMove(CPoint point);
    // The cursor of the current tool code, for the client area.
    void OnSetCursor();

    // ---- queries and commands on the active layer (ViewRectCommands.cpp) ----------
    // Channel: 1 for a single-band layer, 3, 4, 5 for red, green, blue.
    int ImageWidth(int = 0) const;
    int ImageHeight(int = 0) const;
    double Min(int channel);
    double Max(int channel);
    double Mean(int channel);
    double StDev(int channel);
    std::string GetStringSizePixel(int channel);
    std::string GetStringTypeData(int channel);
    std::string GetFileName(int channel);
    std::uint32_t* GetHistAddr(int channel);
    int GetColorMode() const;
    int IsFazaMode() const { return 0; }
    std::string GetValueString(int x, int y);
    void GetPalitra(PalitraTag* out);
    CVirtualView* GetActiveView() const { return GetView(m_nActive); }

    void SetBrightness(int value, int mode);
    void SetContrast(int value);
    void Equalize();
    void SetPalitra(PalitraTag* in);
    void ShowProfile(int along, int position);
    void ShowCross(int show);
    void MoveCross(int x, int y);
    void ShowFrame(int show);
    void SaveSelection();
    void SaveAsBitmap();
    // The context menu at a screen point; its command goes to the frame as WM_COMMAND.
    void OnContextMenu(CPoint screen);

    CPoint ImageToScreen(CPoint image) const;
    CPoint ScreenToImage(CPoint client) const;
    const CCrossPointer& GetCross() const { return m_Cross; }
    CFrame& GetFrame() { return m_Frame; }

    // Body of the bitmap export job: writes the file and tells the user when it
    // could not be created; frees params.
    static void SaveBitmapJob(BitmapJobParams* params, CMeterInfoBase* meter);

    // One full paint after a resize, vector layers and overlays included (a resize
    // paints only the exposed strips, from the active layer).
    void ForcePaint();

    // Handles a private message; public so that a parent can relay.
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);

protected:
    void OnPaint(plat::DeviceContext& dc) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // A drag of the overlay ends with the capture.
    void OnCaptureLost() override;

private:
    int FindById(int id) const;
    void RemoveAt(int index);
    void Reset();
    void RedrawNow();
    void InvalidateAllRegions();
    void OnLayerNotice(int id, int code);
    void RecordFailure(CVirtualView& view);
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
    void OnCrossMoved();
    void PaintOverlays(plat::DeviceContext& dc);

    plat::WindowHandle m_hWnd;
    plat::WindowHandle m_hFrame;
    CCrossPointer m_Cross;
    CFrame m_Frame;
    int m_bCrossDrag = 0;
    int m_nCursorShown = 0;  // the tool code whose cursor is set
    CPoint m_ptMouse{0, 0};
    int m_bTracking = 0;
    int m_nWheelRest[2] = {0, 0};  // wheel angle not yet scrolled, per bar
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
    FileFailure m_LastFailure;
    int m_nActive = -1;
    int m_nNextId = 0;
    int m_nBytesPerPixel = 0;
    plat::BitmapInfo m_bmi;
    std::vector<unsigned char> m_Buffer;
    QScrollBar* m_pBar[2] = {nullptr, nullptr};  // horizontal, vertical
    QWidget* m_pBarCorner = nullptr;             // the square where the bars meet
    bool m_bBarsShown = false;                   // once set, always shown
};
