#pragma once
// The viewer's drawing system: projected, lit vertices become canvas points;
// the canvas's index planes go through three transfer curves and the pixel
// format's bit layout into the memory bitmap that the viewer window shows.

#include "engine3d/render/SCanvas3D.h"
#include "engine3d/scene/SCustom3D.h"
#include "engine3d/render/SMemBitmap.h"
#include "platform/windows/WindowHandle.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

class TSDrawingSystem3D;

// Events of the drawing system.
enum TSDrawingSystemEvent : std::int32_t {
    ecDrawUpdateBegin = 8192,  // the first BeginUpdate level opened
    ecDrawUpdateEnd = 8193,    // the last one closed
    ecPresented = 8195,        // a picture is in the bitmap
};

// Outputs and their index in ColorSource, Curves and the colours.
enum TSColorOutput : std::int32_t {
    coRed = 1,
    coGreen = 2,
    coBlue = 3
};

using TSColor3 = std::array<double, 3>;  // r, g, b from 0 to 1
using TSBitLayout = std::array<TSBitLayoutEntry, kBitLayoutSize>;

// Bytes of the window state in the drawing system's record.
inline constexpr std::int32_t kViewerStateBytes = 40;

// The drawing system's window as the drawing system sees it (it owns it).
class TSViewerLink {
public:
    virtual ~TSViewerLink() = default;
    // Exactly kViewerStateBytes each.
    virtual std::int32_t SaveState(TSObjectsStream* Stream) = 0;
    virtual std::int32_t LoadState(TSObjectsStream* Stream) = 0;
    virtual void ShowViewer() = 0;
};

// Makes the window of a new drawing system; set by the viewer window's unit.
using TSViewerFactory = TSViewerLink* (*)(TSDrawingSystem3D* DrawingSystem);
void SetViewerFactory(TSViewerFactory Factory);

class TSDrawingSystem3D : public TSCustomDrawSystem3D {
    S_CLASS(TSDrawingSystem3D)
public:
    ~TSDrawingSystem3D() override;

    // One without window (not a project member, never streamed).
    static TSDrawingSystem3D* CreateOffscreen(TObject* Owner);

    void Initialize() override;
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;

    void SetSmooth(bool Value) override;
    void Clear() override;
    void DrawPoint(const TSVertex3DSingle& P) override;
    void DrawPoint(const TSVertex3D& P) override;
    void DrawLine(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2) override;
    void DrawLine(const TSVertex3D& P1, const TSVertex3D& P2) override;
    void DrawTriangle(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3) override;
    void DrawTriangle(const TSVertex3D& P1, const TSVertex3D& P2, const TSVertex3D& P3) override;
    // The vertices become canvas points on the parallel loop.
    void DrawTriangles(const TSVertex3DSingle* const* Vertices, std::int64_t Count) override;
    // Only the triangle of the first three.
    void DrawQuad(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3,
                  const TSVertex3DSingle& P4) override;
    void DrawQuad(const TSVertex3D& P1, const TSVertex3D& P2, const TSVertex3D& P3, const TSVertex3D& P4) override;
    void DoBeginDraw(std::int32_t Param) override;
    void DoEndDraw(std::int32_t Param) override;

    virtual void DoUpdateBegin();
    virtual void DoUpdateEnd();
    virtual void DoPresented();
    virtual void BuildPalette();

    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const { return m_updateCount.load() > 0; }

    // Invalid arguments are ignored.
    void SetColorDepth(TSPixelFormat Format);
    // Also ignored when the bitmap or a canvas buffer would pass 2^31 - 1 bytes.
    void SetSize(std::int32_t Width, std::int32_t Height);
    bool GetChannelEnabled(std::int32_t Channel) const;
    void SetChannelEnabled(std::int32_t Channel, bool Value);
    void SetColorSource(std::int32_t Output, std::int32_t Source);
    void SetBackgroundColor(const TSColor3& Colour);
    void SetStartPaletteColor(const TSColor3& Colour);
    void SetEndPaletteColor(const TSColor3& Colour);

    void ApplyChannel(std::int32_t Channel);
    void ApplyChannelSetup();
    void RemapToRamp();
    // Paints the planes into the bitmap under its paint lock, in the bitmap's
    // own format and size; never takes the drawing system's lock.
    void Present();
    static void VertexToCanvas(const TSVertex3D& V, std::int32_t CenterX, std::int32_t CenterY, TSCanvasPoint& P);
    void VertexToCanvas(const TSVertex3D& V, TSCanvasPoint& P) const;
    void VertexToCanvas(const TSVertex3DSingle& V, TSCanvasPoint& P) const;

    std::int32_t Width() const { return m_width.load(); }
    std::int32_t Height() const { return m_height.load(); }
    std::int32_t CenterX() const { return m_centerX.load(); }
    std::int32_t CenterY() const { return m_centerY.load(); }
    TSPixelFormat ColorDepth() const { return m_colorDepth.load(); }
    std::int32_t ColorSource(std::int32_t Output) const;
    TSCnv3DIITransformer* Curve(std::int32_t Output) const;
    TSColor3 BackgroundColor() const;
    TSColor3 StartPaletteColor() const;
    TSColor3 EndPaletteColor() const;
    TSBitLayout BitLayout() const;
    TSMemoryBitmap* Bitmap() const { return m_bitmap; }
    TSCanvas3D* Canvas() const { return m_canvas; }
    TSViewerLink* Viewer() const { return m_viewer; }

    // Events 5, 8 and 8195 are posted as message WM_USER (code, Param) to
    // Window; the relay lives with the drawing system, so a notification in
    // flight never reaches a freed window.
    void SetViewerWindow(plat::WindowHandle Window);

    static TSObject* NewWithViewer(TObject* Owner);

protected:
    void DoBeginChange(std::int32_t Param) override;
    void DoEndChange(std::int32_t Param) override;

private:
    void ApplyBackground(const TSColor3& Colour);
    void SetPaletteColor(TSColor3& Stored, const TSColor3& Colour);
    void Relay(TObject* Sender, std::int32_t Code, TSParam Param);

    std::atomic<std::int32_t> m_updateCount{0};
    std::array<std::int32_t, 3> m_colorSource{1, 2, 3};
    std::atomic<std::int32_t> m_width{0};
    std::atomic<std::int32_t> m_height{0};
    std::atomic<TSPixelFormat> m_colorDepth{0};
    std::array<bool, 3> m_channelEnabled{true, true, true};
    std::atomic<std::int32_t> m_centerX{0};
    std::atomic<std::int32_t> m_centerY{0};
    TSBitLayout m_bitLayout{};
    TSMemoryBitmap* m_bitmap = nullptr;
    TSCanvas3D* m_canvas = nullptr;
    std::array<TSCnv3DIITransformer*, 3> m_curves{};
    TSColor3 m_background{0, 0, 0};
    TSColor3 m_startPalette{0, 0, 0};
    TSColor3 m_endPalette{1, 1, 1};
    TSViewerLink* m_viewer = nullptr;
    std::vector<TSCanvasPoint> m_points;  // DrawTriangles' vertices, drawing thread only
    mutable std::mutex m_relayLock;
    plat::WindowHandle m_viewerWindow;
};

// The layout of a pixel format (all clear for 0 and unknown formats).
TSBitLayout PixelFormatLayout(TSPixelFormat Format);
// Bytes per pixel of formats 0..6; 0 for others.
std::int32_t PixelFormatBytes(TSPixelFormat Format);

// Start and end of the unit: the class and its caption.
void SDrawing3DInitialization();
void SDrawing3DFinalization();
