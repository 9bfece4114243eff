#pragma once
// The histogram chart of the statistics window: a dotted grid, the 256-level display
// histogram on show as columns or outline, a frame, count and value labels and the axis
// titles, built in a picture of its own and copied to the control in one piece. A drag
// with the left button marks a value range; the share of pixels inside it and its end
// values go to the window's read-outs, and so do the value, count and share of the
// level under the pointer.

#include <QPointer>
#include <cstdint>
#include <string>

#include "platform/dialogs/CustomControl.h"
#include "platform/paint/Geometry.h"
#include "platform/paint/SysColors.h"

struct StatisticsState;

namespace plat {
class DeviceContext;
class Dialog;
}  // namespace plat

class CHistogramWnd final {
public:
    CHistogramWnd() = default;
    ~CHistogramWnd();
    // Bound to its owner's state and control: neither copied nor moved.
    CHistogramWnd(const CHistogramWnd&) = delete;
    CHistogramWnd& operator=(const CHistogramWnd&) = delete;

    // Puts the chart in the place of control id of dialog (a hidden placeholder) and
    // shows it; owner is what it reads and writes.
    bool Create(StatisticsState* owner, plat::Dialog* dialog, unsigned id);
    // Without a window: for drawing and the mouse arithmetic alone.
    void Attach(StatisticsState* owner) { m_pOwner = owner; }
    plat::CustomControl* Window() const { return m_pWnd.data(); }

    // The whole picture of a client area of width x height into dc.
    void DrawPicture(plat::DeviceContext& dc, int width, int height);
    // Client coordinates.
    void OnLButtonDown(int x, int y);
    void OnLButtonUp(int x, int y);
    void OnMouseMove(int x, int y);
    void Invalidate();

    static constexpr plat::ColorRef m_crBack = plat::Rgb(0, 0, 0);
    static constexpr plat::ColorRef m_crGrid = plat::Rgb(55, 255, 255);
    static constexpr plat::ColorRef m_crHist = plat::Rgb(255, 128, 255);
    static constexpr plat::ColorRef m_crSelection = plat::Rgb(50, 255, 255);
    static constexpr plat::ColorRef m_crRed = plat::Rgb(255, 0, 0);
    static constexpr plat::ColorRef m_crGreen = plat::Rgb(0, 255, 0);
    static constexpr plat::ColorRef m_crBlue = plat::Rgb(0, 0, 255);

    // Written by the owner.
    int m_nGridStep = 1;
    int m_bHasHistogram = 0;
    double m_dAnchor = 0.0;
    double m_dMoving = 0.0;
    double m_dSelectedPercent = 0.0;

    // As of the last picture.
    CRect m_rcPlot;
    CRect m_rcSelection;
    double m_dBinWidth = 0.0;
    double m_dScale = 0.0;
    double m_dPlotWidth = 0.0;
    double m_dScaleRed = 0.0;
    double m_dScaleGreen = 0.0;
    double m_dScaleBlue = 0.0;
    int m_nClientHeight = 0;
    int m_nClientWidth = 0;
    int m_bButtonDown = 0;
    double m_dAnchorValue = 0.0;
    int m_bSelecting = 0;

private:
    void OnPaint(plat::DeviceContext& dc);
    void DrawHistogram(plat::DeviceContext& dc);
    void DrawAxes(plat::DeviceContext& dc);
    void DrawCounts(plat::DeviceContext& dc, const std::uint32_t* counts, double scale, plat::ColorRef colour, int rop);
    bool InPlot(int x, int y) const;

    StatisticsState* m_pOwner = nullptr;
    QPointer<plat::CustomControl> m_pWnd;
};
