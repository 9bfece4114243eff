#include "dialogs/HistogramWnd.h"

#include <algorithm>

#include "platform/paint/DeviceContext.h"
#include "platform/dialogs/Dialog.h"
#include "ViewerStrings.h"
#include "dialogs/HistogramMath.h"
#include "dialogs/StatisticsState.h"
#include "util/MathHelpers.h"

namespace {

QFont AxisFont()
{
    // A light sans-serif face 13 pixels high.
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    font.setWeight(QFont::Light);
    return font;
}

}  // namespace

CHistogramWnd::~CHistogramWnd()
{
    if (m_pWnd) {
        m_pWnd->SetPaintHandler(nullptr);
        m_pWnd->SetMouseHandler(nullptr);
    }
}

bool CHistogramWnd::Create(StatisticsState* owner, plat::Dialog* dialog, unsigned id)
{
    m_pOwner = owner;
    if (!dialog)
        return false;
    auto* control = new plat::CustomControl(dialog);
    control->setObjectName(QStringLiteral("histogram"));
    control->setFrameStyle(QFrame::NoFrame);
    dialog->ReplaceControl(id, control);
    control->show();
    control->SetPaintHandler([this](plat::DeviceContext& dc) { OnPaint(dc); });
    control->SetMouseHandler([this](plat::CustomControl::MouseAction action, int x, int y) {
        switch (action) {
        case plat::CustomControl::MouseAction::LeftDown:
            OnLButtonDown(x, y);
            break;
        case plat::CustomControl::MouseAction::LeftUp:
            OnLButtonUp(x, y);
            break;
        case plat::CustomControl::MouseAction::Move:
            OnMouseMove(x, y);
            break;
        }
    });
    m_pWnd = control;
    return true;
}

void CHistogramWnd::Invalidate()
{
    if (m_pWnd)
        m_pWnd->Invalidate();
}

void CHistogramWnd::OnPaint(plat::DeviceContext& dc)
{
    const plat::Rect client = m_pWnd->ClientRect();
    // The whole picture is built aside and copied in one piece: no flicker.
    plat::DeviceContext memory(std::max(1, client.Width()), std::max(1, client.Height()));
    DrawPicture(memory, client.Width(), client.Height());
    dc.BitBlt(0, 0, client.Width(), client.Height(), memory, 0, 0);
}

void CHistogramWnd::DrawPicture(plat::DeviceContext& dc, int width, int height)
{
    m_nClientWidth = width;
    m_nClientHeight = height;
    dc.FillRect(plat::Rect{0, 0, width, height}, m_crBack);
    m_rcPlot = HistogramPlotRect(width, height);
    m_dPlotWidth = m_rcPlot.Width();
    m_dBinWidth = m_dPlotWidth / kHistogramLevels;
    if (!m_pOwner)
        return;
    const StatisticsState& owner = *m_pOwner;
    const int h = m_rcPlot.Height();
    if (owner.m_nColorMode == 1) {
        m_dScale = HistogramScale(h, owner.m_nMaxCount);
    } else if (owner.m_nColorMode == 2) {
        const int shown = owner.m_nChannelShown;
        if (shown == 0 || shown == 1)
            m_dScaleRed = HistogramScale(h, owner.m_nMaxRed);
        if (shown == 0 || shown == 2)
            m_dScaleGreen = HistogramScale(h, owner.m_nMaxGreen);
        if (shown == 0 || shown == 3)
            m_dScaleBlue = HistogramScale(h, owner.m_nMaxBlue);
    }
    DrawHistogram(dc);
    DrawAxes(dc);
}

void CHistogramWnd::DrawCounts(plat::DeviceContext& dc, const std::uint32_t* counts, double scale,
                               plat::ColorRef colour, int rop)
{
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, colour});
    dc.MoveTo(m_rcPlot.left, m_rcPlot.bottom);
    if (m_pOwner->m_bFill) {
        dc.SetROP2(plat::Rop2(rop));
        for (const HistogramLine& line : HistogramColumns(counts, scale, m_rcPlot)) {
            dc.MoveTo(line.x0, line.y0);
            dc.LineTo(line.x1, line.y1);
        }
        return;
    }
    // The outline overwrites what lies under it.
    dc.SetROP2(plat::R2_COPYPEN);
    const std::vector<CPoint> points = HistogramOutline(counts, scale, m_rcPlot);
    for (const CPoint& p : points)
        dc.LineTo(p.x, p.y);
    dc.SetROP2(plat::Rop2(rop));
}

void CHistogramWnd::DrawHistogram(plat::DeviceContext& dc)
{
    StatisticsState& owner = *m_pOwner;
    const CRect& plot = m_rcPlot;
    m_rcSelection = CRect(Round(m_dAnchor * m_dBinWidth + plot.left), plot.top,
                          Round(m_dMoving * m_dBinWidth + plot.left), plot.bottom);
    if (m_bSelecting && owner.ShowsOne()) {
        const int left = std::min(m_rcSelection.left, m_rcSelection.right);
        const int right = std::max(m_rcSelection.left, m_rcSelection.right);
        dc.FillRect(plat::Rect{left, plot.top, right, plot.bottom}, m_crSelection);
    } else {
        dc.FillRect(plat::Rect{0, 0, m_nClientWidth, m_nClientHeight}, m_crBack);
        m_dAnchor = m_dMoving = m_dSelectedPercent = 0.0;
    }

    // Grid dots are set as they are; the histogram then combines with them.
    dc.SetROP2(plat::R2_COPYPEN);
    const int s = std::max(1, m_nGridStep);
    for (int y = plot.top; y <= plot.bottom; y += 4)
        for (int x = plot.left; x < plot.right; x += s)
            dc.SetPixel(x, y, m_crGrid);
    for (int x = plot.left; x <= plot.right; x += 4)
        for (int y = plot.bottom; y >= plot.top; y -= s)
            dc.SetPixel(x, y, m_crGrid);
    dc.SetROP2(plat::R2_XORPEN);

    if (owner.m_nColorMode == 1) {
        DrawCounts(dc, owner.Hist(), m_dScale, m_crHist, plat::R2_XORPEN);
    } else if (owner.m_nColorMode == 2) {
        switch (owner.m_nChannelShown) {
        case 0: {
            for (unsigned id : {IDC_HIST_VALUE, IDC_HIST_OCCURENCIES, IDC_HIST_PERCENTAGE, IDC_HIST_SELECTED,
                                IDC_HIST_LEFT_VALUE, IDC_HIST_RIGHT_VALUE})
                owner.SetReadout(id, "0.0", false);
            owner.SetReadout(IDC_HIST_Y, "0", false);
            // Exclusive-or: where the channels overlap their colours add up.
            const plat::ColorRef colours[3] = {m_crRed, m_crGreen, m_crBlue};
            const double scales[3] = {m_dScaleRed, m_dScaleGreen, m_dScaleBlue};
            for (int c = 0; c < 3; ++c) {
                m_dScale = scales[c];
                DrawCounts(dc, owner.HistOf(StatisticsState::ChannelOf(c + 1)), m_dScale, colours[c], plat::R2_XORPEN);
            }
            break;
        }
        case 1:
            m_dScale = m_dScaleRed;
            DrawCounts(dc, owner.HistOf(3), m_dScale, m_crRed, plat::R2_MERGEPEN);
            break;
        case 2:
            m_dScale = m_dScaleGreen;
            DrawCounts(dc, owner.HistOf(4), m_dScale, m_crGreen, plat::R2_XORPEN);
            break;
        case 3:
            m_dScale = m_dScaleBlue;
            DrawCounts(dc, owner.HistOf(5), m_dScale, m_crBlue, plat::R2_XORPEN);
            break;
        default:
            break;
        }
    }

    dc.SetROP2(plat::R2_COPYPEN);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crGrid});
    dc.MoveTo(plot.left, plot.top);
    dc.LineTo(plot.left, plot.bottom);
    dc.LineTo(plot.right, plot.bottom);
    dc.LineTo(plot.right, plot.top);
    dc.LineTo(plot.left, plot.top);
}

void CHistogramWnd::DrawAxes(plat::DeviceContext& dc)
{
    StatisticsState& owner = *m_pOwner;
    const QFont previous = dc.SelectFont(AxisFont());
    dc.SetBkColor(m_crBack);
    dc.SetBkMode(plat::OPAQUE);

    std::vector<HistogramLabel> labels;
    if (owner.m_nColorMode == 1) {
        labels = HistogramValueLabels(m_rcPlot, m_nGridStep, m_dScale, owner.m_nMaxCount, owner.m_dRangeLow,
                                      owner.m_dRangeHigh);
    } else if (owner.m_nColorMode == 2) {
        owner.m_nMaxCount = std::max({owner.m_nMaxRed, owner.m_nMaxGreen, owner.m_nMaxBlue});
        const int shown = owner.m_nChannelShown;
        if (shown == 0) {
            labels.push_back(HistogramMaxLabel(m_rcPlot, owner.m_nMaxCount));
        } else if (shown >= 1 && shown <= 3) {
            owner.m_nMaxCount = owner.MaxOf(shown);
            labels = HistogramValueLabels(m_rcPlot, m_nGridStep, m_dScale, owner.m_nMaxCount, owner.ShownLow(),
                                          owner.ShownHigh());
        }
    }
    const std::vector<HistogramLabel> titles = HistogramTitles(
        m_rcPlot, m_nClientHeight, LoadViewerString(IDS_HISTOGRAM_LEVEL), LoadViewerString(IDS_HISTOGRAM_COUNT));
    labels.insert(labels.end(), titles.begin(), titles.end());
    for (const HistogramLabel& label : labels) {
        dc.SetTextColor(label.colour == HistogramLabel::White ? plat::Rgb(255, 255, 255) : m_crGrid);
        dc.SetTextAlign(label.align);
        dc.SetTextEscapement(label.vertical ? 900 : 0);
        dc.TextOut(label.x, label.y, label.text);
    }
    dc.SetTextEscapement(0);
    dc.SelectFont(previous);
}

bool CHistogramWnd::InPlot(int x, int y) const
{
    return x >= m_rcPlot.left && x <= m_rcPlot.right && y >= m_rcPlot.top && y <= m_rcPlot.bottom;
}

void CHistogramWnd::OnLButtonDown(int x, int y)
{
    // The control keeps the mouse until the release (the platform's grab).
    m_bButtonDown = 1;
    m_bSelecting = 1;
    if (!m_pOwner || !m_pOwner->ShowsOne())
        return;
    const StatisticsState& owner = *m_pOwner;
    if (InPlot(x, y)) {
        if (m_dAnchor != 0.0 || m_dMoving != 0.0) {
            m_dAnchor = m_dMoving = 0.0;
            Invalidate();
            m_dSelectedPercent = 0.0;
            owner.SetReadout(IDC_HIST_SELECTED, LabelNumber(0.0) + "%", true);
            owner.SetReadout(IDC_HIST_LEFT_VALUE, LabelNumber(0.0), true);
            owner.SetReadout(IDC_HIST_RIGHT_VALUE, LabelNumber(0.0), true);
        }
        const HistogramBound bound = BoundAt(m_rcPlot, owner.m_dCurLow, owner.m_dCurHigh, x);
        m_dAnchor = m_dMoving = bound.level;
        m_dAnchorValue = bound.value;
    }
    if (x <= m_rcPlot.left || x >= m_rcPlot.right) {
        const HistogramBound bound = BoundAt(m_rcPlot, owner.m_dCurLow, owner.m_dCurHigh, x);
        m_dAnchor = m_dMoving = bound.level;
        m_dAnchorValue = bound.value;
    }
    Invalidate();
}

void CHistogramWnd::OnLButtonUp(int x, int y)
{
    m_bButtonDown = 0;
    if (m_pOwner && m_pOwner->ShowsOne() && InPlot(x, y) && m_bSelecting)
        Invalidate();
}

void CHistogramWnd::OnMouseMove(int x, int y)
{
    if (!m_pOwner)
        return;
    const StatisticsState& owner = *m_pOwner;
    if (m_bButtonDown && m_bHasHistogram) {
        const HistogramBound bound = BoundAt(m_rcPlot, owner.m_dCurLow, owner.m_dCurHigh, x);
        m_dMoving = bound.level;
        if (m_bSelecting)
            m_dSelectedPercent = SelectionPercent(SelectionSum(owner.Hist(), m_dAnchor, m_dMoving), owner.m_dTotal);
        owner.SetReadout(IDC_HIST_SELECTED, SelectedText(m_dSelectedPercent), true);
        owner.SetReadout(IDC_HIST_LEFT_VALUE, ValueText(std::min(m_dAnchorValue, bound.value)), true);
        owner.SetReadout(IDC_HIST_RIGHT_VALUE, ValueText(std::max(m_dAnchorValue, bound.value)), true);
    }
    if (owner.ShowsOne() && x >= 0 && x <= m_nClientWidth && y >= 0 && y <= m_nClientHeight) {
        const HistogramReadout r = ReadoutAt(owner.Hist(), m_rcPlot, m_dScale, owner.m_nMaxCount, owner.m_dTotal,
                                             owner.ShownLow(), owner.ShownHigh(), x, y);
        if (!r.inLevels) {
            for (unsigned id : {IDC_HIST_VALUE, IDC_HIST_OCCURENCIES, IDC_HIST_Y, IDC_HIST_PERCENTAGE})
                owner.SetReadout(id, "0", false);
        } else {
            owner.SetReadout(IDC_HIST_OCCURENCIES, r.countText, true);
            owner.SetReadout(IDC_HIST_Y, r.yText, true);
            owner.SetReadout(IDC_HIST_PERCENTAGE, r.percentText, true);
            owner.SetReadout(IDC_HIST_VALUE, r.valueText, true);
        }
    }
    Invalidate();
}
