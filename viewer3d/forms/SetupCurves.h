#pragma once
// The transfer-curve editor of the viewer set-up without widgets: its layout,
// the mapping between curve and box coordinates, the hit test, the drawing
// (through a small canvas interface, erasing by drawing again in the
// background colour) and the drag machine.

#include <cstdint>
#include <functional>
#include <string>

class TSCnv3DIITransformer;

struct TSIntPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    bool operator==(const TSIntPoint&) const = default;
};

// Colours are 0x00BBGGRR.
struct TSCurveLayout {
    std::int32_t Background = 0xC0C0C0;
    std::int32_t Margin = 3;
    std::int32_t PlotLeft = 0, PlotTop = 0, PlotRight = 0, PlotBottom = 0;
    std::int32_t TickLength = 1;
    std::int32_t FrameOverhang = 2;
    std::int32_t FrameColor = 0;
    std::int32_t CursorX = -1, CursorY = -1;
    std::int32_t MarkLength = 2;
    std::int32_t CrossGap = 2;
    std::int32_t CrossColor = 0x808080;
    std::int32_t LabelTextColor = 0x808080;
    std::int32_t LabelFrameColor = 0x808080;
    std::int32_t LabelSpace = 2;
    std::int32_t CurveColor = 0x800000;
    std::int32_t PointRadius = 3;
    std::int32_t PointColor = 0;
    std::int32_t HotRadius = 4;
    std::int32_t HotColor = 0xFF0000;
    std::int32_t DragLineColor = 0x008000;
    std::int32_t DragRadius = 4;
    std::int32_t DragColor = 0x0000FF;
    bool operator==(const TSCurveLayout&) const = default;
};

// The layout for a box of Width x Height whose labels ("0000") measure
// TextWidth x TextHeight.
TSCurveLayout ComputeCurveLayout(std::int32_t Width, std::int32_t Height, std::int32_t TextWidth,
                                 std::int32_t TextHeight);
TSIntPoint CurveToScreen(const TSCurveLayout& L, TSIntPoint V);
TSIntPoint ScreenToCurve(const TSCurveLayout& L, TSIntPoint S);
bool InPlot(const TSCurveLayout& L, TSIntPoint P);
// The point of Curve under Mouse (within 4 pixels both ways), or -1.
std::int32_t HitTestCurvePoint(const TSCurveLayout& L, const TSCnv3DIITransformer* Curve, TSIntPoint Mouse);

// Where the editor draws: lines without their end pixel, framed texts.
class TSCurveCanvas {
public:
    virtual ~TSCurveCanvas() = default;
    virtual void Line(TSIntPoint From, TSIntPoint To, std::int32_t Colour) = 0;
    // Text centred in the box (left, top, right, bottom).
    virtual void Text(std::int32_t Left, std::int32_t Top, std::int32_t Right, std::int32_t Bottom,
                      const std::string& S, std::int32_t Colour) = 0;
    virtual void Fill(std::int32_t Colour) = 0;
    virtual std::int32_t Height() const = 0;
    // The size of "0000".
    virtual TSIntPoint TextSize() const = 0;
};

// One editor's state and drawing; Curve and Canvas belong to the active page.
class TSCurveEditorCore {
public:
    TSCurveLayout Layout;
    TSIntPoint LastMouse{-1, -1};
    bool Dragging = false;
    std::int32_t HotIndex = -1;
    TSCnv3DIITransformer* Curve = nullptr;
    TSCurveCanvas* Canvas = nullptr;
    // Runs when a drag ends (the curves reach the drawing system).
    std::function<void()> OnApply;

    void HitTest();
    void DrawMarker(TSIntPoint Centre, std::int32_t Radius, bool Diamond, std::int32_t Colour);
    void DrawFrame();
    void DrawCrossHair();
    void DrawCursorLabels();
    void DrawCurve();
    void PaintAll();
    // The whole box: background, then PaintAll.
    void Paint();
    void TrackMouse(TSIntPoint P);
    void SetDragging(bool V);
};
