#include "ViewRect.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "DeviceContext.h"
#include "SysColors.h"
#include "ViewerStrings.h"
#include "util/MathHelpers.h"
#include "view/RGBView.h"
#include "view/RasterView.h"
#include "view/VectorView.h"
#include "window/ViewerMessages.h"

namespace {

constexpr plat::LParam kReady = 2;
constexpr plat::LParam kFailed = 3;

int BarExtent()
{
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

}  // namespace

CViewRect::CViewRect(plat::WindowHandle frame, QWidget* parent)
    : plat::BufferedWindow(parent),
      m_hWnd(plat::WindowHandle::Attach(
          this, [this](unsigned msg, plat::WParam w, plat::LParam l) { return OnMessage(msg, w, l); })),
      m_hFrame(frame),
      m_Frame(m_hWnd, nullptr)
{
    setMouseTracking(true);
    for (plat::ScrollBar bar : {plat::SB_HORZ, plat::SB_VERT}) {
        auto* sb = new QScrollBar(bar == plat::SB_HORZ ? Qt::Horizontal : Qt::Vertical, this);
        sb->hide();
        QObject::connect(sb, &QAbstractSlider::actionTriggered, this, [this, bar](int a) { OnBarAction(bar, a); });
        QObject::connect(sb, &QAbstractSlider::sliderReleased, this, [this, bar] {
            bar == plat::SB_HORZ ? OnHScroll(plat::SB_ENDSCROLL) : OnVScroll(plat::SB_ENDSCROLL);
        });
        m_pBar[bar == plat::SB_VERT] = sb;
    }
    m_Cross.Attach(m_hWnd, 50, 60);
    OnSetCursor();
}

CViewRect::~CViewRect()
{
    m_hWnd.Close();
}

CVirtualView* CViewRect::GetView(int index) const
{
    return index >= 0 && index < GetCount() ? m_arrViews[size_t(index)].get() : nullptr;
}

int CViewRect::FindById(int id) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_arrViews[size_t(i)]->GetIndex() == id)
            return i;
    return -1;
}

int CViewRect::AddImageView(std::unique_ptr<CVirtualView> view, const std::function<int(int id)>& open,
                            bool removeOnFailure, int bytesPerPixel)
{
    const int n = GetCount();
    const int id = m_nNextId++;
    const int oldActive = m_nActive;
    if (m_nActive < 0)
        m_nActive = n;
    m_arrViews.push_back(std::move(view));
    int ok = 0;
    try {
        ok = open(id);
    } catch (...) {
        // A view that threw while opening is as good as one that failed.
        ok = 0;
        removeOnFailure = true;
    }
    if (!ok && removeOnFailure) {
        m_arrViews.pop_back();
        m_nActive = oldActive;
        m_hFrame.PostMessage(WM_VIEWER_NOTIFY, 0, kFailed);
        return -1;
    }
    m_nBytesPerPixel = std::max(m_nBytesPerPixel, bytesPerPixel);
    return n;
}

int CViewRect::LoadNewLayer(const char* fileName, int phase, double sigma, int stretch, CMeterInfoBase* meter,
                            plat::WindowHandle statusWnd)
{
    if (m_nActive < 0 && fileName != nullptr) {
        const viewrect::GeoTags tags = viewrect::ReadGeoTags(fileName);
        m_nGeoFormat = tags.format.value;
        const auto map = viewrect::GeoMap(tags);
        m_bGeo = map ? 1 : 0;
        if (map)
            m_GeoTransform = *map;
    }
    auto view = std::make_unique<CRasterView>();
    CRasterView* raster = view.get();
    const int n = AddImageView(
        std::move(view),
        [&](int id) { return raster->OpenLayer(id, m_hWnd, fileName, phase, sigma, stretch, meter, statusWnd); }, true,
        1);
    return n < 0 ? 0 : n;
}

int CViewRect::LoadNewLayer(const char* name, void* pixels, int width, int height, int type, unsigned char* levels,
                            const PalitraTag* palette, double min, double max, CMeterInfoBase* meter,
                            plat::WindowHandle statusWnd)
{
    auto view = std::make_unique<CRasterView>();
    CRasterView* raster = view.get();
    return AddImageView(
        std::move(view),
        [&](int id) {
            return raster->OpenBuffer(id, m_hWnd, name, pixels, width, height, type, levels, palette, min, max, meter,
                                      statusWnd);
        },
        false, 1);
}

int CViewRect::LoadNewLayer(const char* red, const char* green, const char* blue, CMeterInfoBase* meter,
                            plat::WindowHandle statusWnd)
{
    auto view = std::make_unique<CRGBView>();
    CRGBView* rgb = view.get();
    return AddImageView(
        std::move(view), [&](int id) { return rgb->OpenImage(id, m_hWnd, red, green, blue, meter, statusWnd); }, false,
        3);
}

int CViewRect::LoadNewLayer(CVectorImage* image)
{
    if (m_nActive < 0)
        return -1;
    auto view = std::make_unique<CVectorView>();
    view->Attach(m_nNextId++, image, m_sizeImage.cx, m_sizeImage.cy);
    view->SetScale(m_dScale);
    view->SetShown(1);
    m_arrViews.push_back(std::move(view));
    RedrawNow();
    return GetCount() - 1;
}

int CViewRect::SetActiveView(int index, int show)
{
    CVirtualView* view = GetView(index);
    if (view == nullptr)
        return 0;
    if (view->GetKind() == 1) {
        if (CVirtualView* old = GetView(m_nActive))
            old->SetShown(0);
        m_nActive = index;
        view->InvalidateRegion();
    }
    view->SetShown(show);
    RedrawNow();
    return 1;
}

void CViewRect::RemoveAt(int index)
{
    m_arrViews.erase(m_arrViews.begin() + index);
    if (m_nActive > index)
        --m_nActive;
}

void CViewRect::Reset()
{
    m_sizeImage = {};
    SetScrollInfo(plat::SB_HORZ, {});
    SetScrollInfo(plat::SB_VERT, {});
    SyncBars();
}

void CViewRect::CloseActiveView()
{
    if (m_nActive < 0)
        return;
    RemoveAt(m_nActive);
    m_nActive = -1;
    for (int i = 0; i < GetCount(); ++i)
        if (m_arrViews[size_t(i)]->GetKind() == 1) {
            m_nActive = i;
            m_arrViews[size_t(i)]->SetShown(1);
            break;
        }
    if (GetCount() == 0)
        Reset();
    RedrawNow();
}

void CViewRect::CloseView(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    if (index == m_nActive) {
        CloseActiveView();
        return;
    }
    RemoveAt(index);
    if (GetCount() == 0)
        Reset();
    RedrawNow();
}

void CViewRect::CloseAll()
{
    m_arrViews.clear();
    m_nActive = -1;
    Reset();
    RedrawNow();
}

std::string CViewRect::GetLayerName()
{
    CVirtualView* v = GetView(m_nActive);
    return v ? v->GetLayerName() : std::string();
}

std::vector<std::string> CViewRect::GetStatusTexts()
{
    std::vector<std::string> panes(4);
    if (GetCount() == 0)
        return panes;
    const int x = viewrect::ImageSample(m_ptMouse.x + GetScrollInfo(plat::SB_HORZ).nPos, m_dScale);
    const int y = viewrect::ImageSample(m_ptMouse.y + GetScrollInfo(plat::SB_VERT).nPos, m_dScale);
    panes[0] = viewrect::ZoomText(m_dScale);
    panes[1] = viewrect::PositionText(x, y);
    if (CVirtualView* v = GetView(m_nActive))
        panes[2] = v->GetValueString(x, y);
    if (m_bGeo) {
        SPoint px{double(x), double(y)}, ll;
        if (InverseTransformPoint(&m_GeoTransform, &px, &ll))
            panes[3] = viewrect::GeoText(ll.x, ll.y, m_nGeoFormat, LoadViewerString(IDS_LONGITUDE),
                                         LoadViewerString(IDS_LATITUDE));
    }
    return panes;
}

// ---- notices ------------------------------------------------------------------

plat::LResult CViewRect::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    if (msg == WM_VIEWER_NOTIFY) {
        OnLayerNotice(int(wParam), int(lParam));
        return 1;
    }
    if (msg == WM_VIEWER_CURSOR) {
        m_nCursor = int(wParam);
        if (m_nCursor == 1 || (m_nCursor >= 7 && m_nCursor <= 11))
            OnSetCursor();
        return 0;
    }
    if (msg == WM_VIEWER_POINTER) {
        OnCrossMoved();
        return 1;
    }
    return 0;
}

void CViewRect::OnLayerNotice(int id, int code)
{
    // Removals move views; the notice names the view it came from.
    const int index = FindById(id);
    if (index < 0)
        return;
    if (code == kReady) {
        if (index == m_nActive) {
            CVirtualView* v = m_arrViews[size_t(index)].get();
            m_sizeImage = {v->GetWidth(), v->GetHeight()};
            v->SetShown(1);
            m_bBarsShown = true;
            UpdateClientSize();
            SetScale(1.0);
            SetVertScrollPos(0);
            SetHorzScrollPos(0);
            m_Frame.m_rcImage = CRect(0, 0, m_sizeImage.cx - 1, m_sizeImage.cy - 1);
            RedrawNow();
            m_hFrame.PostMessage(WM_VIEWER_NOTIFY, 0, kReady);
        }
        for (auto& v : m_arrViews)
            v->SetScale(m_dScale);
    } else if (code == kFailed) {
        if (index == m_nActive)
            m_nActive = -1;
        RemoveAt(index);
        m_hFrame.PostMessage(WM_VIEWER_NOTIFY, 0, kFailed);
    }
}

// ---- zoom and scrolling -------------------------------------------------------

void CViewRect::SetScale(double s)
{
    if (GetCount() == 0)
        return;
    const auto accepted = viewrect::AcceptedScale(s, m_sizeImage.cx, m_sizeImage.cy);
    if (!accepted)
        return;
    const CPoint cross = ScreenToImage(m_Cross.GetCentre());
    m_dScale = *accepted;
    m_bScaling = 1;
    for (auto& v : m_arrViews)
        v->SetScale(m_dScale);
    const auto h = viewrect::AxisForScale(m_sizeImage.cx, m_dScale, m_sizeClient.cx);
    const auto v = viewrect::AxisForScale(m_sizeImage.cy, m_dScale, m_sizeClient.cy);
    SetScrollInfo(plat::SB_HORZ, h);
    SetScrollInfo(plat::SB_VERT, v);
    m_bScaling = 0;
    m_Frame.SetScale(m_dScale);
    const CPoint at = ImageToScreen(cross);
    m_Cross.SetPosition(at.x, at.y);
    InvalidateAllRegions();
    SyncBars();
}

void CViewRect::SetScrollPos(plat::ScrollBar bar, int p)
{
    plat::ScrollInfo si = GetScrollInfo(bar);
    const auto pos = viewrect::ScrollPosFor(p, m_dScale, si, bar == plat::SB_HORZ ? m_sizeClient.cx : m_sizeClient.cy);
    if (!pos || *pos == si.nPos)
        return;
    const int old = si.nPos;
    si.nPos = *pos;
    SetScrollInfo(bar, si);
    m_Cross.Offset(bar == plat::SB_HORZ ? old - *pos : 0, bar == plat::SB_VERT ? old - *pos : 0);
    m_Frame.SetBegPoint();
    // The buffer holds the old position's extraction.
    InvalidateAllRegions();
}

void CViewRect::SetHorzScrollPos(int p)
{
    SetScrollPos(plat::SB_HORZ, p);
}

void CViewRect::SetVertScrollPos(int p)
{
    SetScrollPos(plat::SB_VERT, p);
}

void CViewRect::CenterOn(int x, int y)
{
    const plat::ScrollInfo h = GetScrollInfo(plat::SB_HORZ), v = GetScrollInfo(plat::SB_VERT);
    m_bScaling = 1;
    SetHorzScrollPos(viewrect::CenterRequest(x, m_dScale, h, m_sizeClient.cx));
    SetVertScrollPos(viewrect::CenterRequest(y, m_dScale, v, m_sizeClient.cy));
    m_bScaling = 0;
}

viewrect::Extent CViewRect::GetScrollBarSize() const
{
    if (GetCount() == 0)
        return {};
    return viewrect::ScrollBarSize(m_sizeImage.cx, m_sizeImage.cy, m_dScale, m_sizeClient.cx, m_sizeClient.cy,
                                   BarExtent());
}

void CViewRect::RealScale()
{
    m_bFit = 0;
    SetScale(1.0);
    RedrawNow();
}

void CViewRect::FitToWindow()
{
    m_bFit = 1;
    UpdateClientSize();
    SetScale(viewrect::FitScale(m_sizeImage.cx, m_sizeImage.cy, m_sizeClient.cx, m_sizeClient.cy));
    m_nZoomLevel = 0;
    SetHorzScrollPos(0);
    SetVertScrollPos(0);
    RedrawNow();
}

void CViewRect::ZoomIn()
{
    Zoom(true);
}

void CViewRect::ZoomOut()
{
    Zoom(false);
}

// One step in or out, keeping the image point under the mouse in view at the middle.
void CViewRect::Zoom(bool in)
{
    const int ix = Round((m_ptMouse.x + GetScrollInfo(plat::SB_HORZ).nPos) * m_dScale);
    const int iy = Round((m_ptMouse.y + GetScrollInfo(plat::SB_VERT).nPos) * m_dScale);
    m_bFit = 0;
    m_nZoomLevel = viewrect::ZoomLevel(m_dScale);
    SetScale(in ? viewrect::ZoomInScale(m_dScale) : viewrect::ZoomOutScale(m_dScale));
    CenterOn(Round(ix / m_dScale), Round(iy / m_dScale));
    RedrawNow();
}

void CViewRect::SetTrackPos(plat::ScrollBar bar, int pos)
{
    plat::ScrollInfo si = GetScrollInfo(bar);
    si.nTrackPos = pos;
    SetScrollInfo(bar, si);
}

void CViewRect::Scroll(plat::ScrollBar bar, int code)
{
    const plat::ScrollInfo si = GetScrollInfo(bar);
    int old = si.nPos;
    if (code == plat::SB_THUMBTRACK)
        m_bTracking = 1;
    if (code == plat::SB_ENDSCROLL && m_bTracking) {
        old = -1;
        m_bTracking = 0;
    }
    const int p = viewrect::ScrollRequest(code, si, m_dScale);
    SetScrollPos(bar, p);
    const int now = GetScrollInfo(bar).nPos;
    if (now == old)
        return;
    if (code == plat::SB_THUMBTRACK && !(m_bFit && m_dScale < 1.0))
        DragStep(bar, old - now);
    else
        RedrawNow();
}

// During a thumb drag the picture moves with the buffer's pixels and only the
// uncovered strip is painted, from the active layer alone; the rest waits for the
// full repaint at the end of the drag.
void CViewRect::DragStep(plat::ScrollBar bar, int delta)
{
    CVirtualView* active = GetView(m_nActive);
    const int cw = m_sizeClient.cx, ch = m_sizeClient.cy;
    const int span = bar == plat::SB_HORZ ? cw : ch;
    if (active == nullptr || cw <= 0 || ch <= 0 || std::abs(delta) >= span) {
        RedrawNow();
        return;
    }
    plat::DeviceContext dc(*this);
    plat::DeviceContext old(cw, ch);
    old.BitBlt(0, 0, cw, ch, dc, 0, 0);
    const int dx = bar == plat::SB_HORZ ? delta : 0, dy = bar == plat::SB_VERT ? delta : 0;
    dc.BitBlt(dx, dy, cw, ch, old, 0, 0);
    const int hpos = GetScrollInfo(plat::SB_HORZ).nPos, vpos = GetScrollInfo(plat::SB_VERT).nPos;
    const int n = std::abs(delta);
    const int from = delta > 0 ? 0 : span - n;
    const int x = bar == plat::SB_HORZ ? from : 0, y = bar == plat::SB_VERT ? from : 0;
    const int w = bar == plat::SB_HORZ ? n : cw, h = bar == plat::SB_VERT ? n : ch;
    const int bpp = std::max(m_nBytesPerPixel, 1);
    EnsureBuffer(viewrect::PaintBytes(w + 3, h, bpp));
    active->PaintDirect(&dc, hpos + x, vpos + y, x, y, w, h, m_dScale, m_bFit, m_Buffer.data(), m_Buffer.size(),
                        &m_bmi);
    PaintMargins(dc, active->IsShown());
    ShowChanged(plat::Rect{0, 0, cw, ch});
}

void CViewRect::OnHScroll(int code)
{
    Scroll(plat::SB_HORZ, code);
}

void CViewRect::OnVScroll(int code)
{
    Scroll(plat::SB_VERT, code);
}

void CViewRect::UpdateClientSize()
{
    const plat::Rect rc = ClientRect();
    const int bar = m_bBarsShown ? BarExtent() : 0;
    m_sizeClient = {std::max(rc.Width() - bar, 0), std::max(rc.Height() - bar, 0)};
}

void CViewRect::SyncBars()
{
    if (!m_bBarsShown)
        return;
    const plat::Rect rc = ClientRect();
    const int ext = BarExtent();
    for (plat::ScrollBar bar : {plat::SB_HORZ, plat::SB_VERT}) {
        QScrollBar* sb = m_pBar[bar == plat::SB_VERT];
        const plat::ScrollInfo si = GetScrollInfo(bar);
        const int last = std::max(si.nMax - si.nPage + 1, 0);
        const QSignalBlocker block(sb);
        sb->setRange(0, last);
        sb->setPageStep(std::max(si.nPage, 1));
        sb->setValue(si.nPos);
        sb->setEnabled(last > 0);
        if (bar == plat::SB_HORZ)
            sb->setGeometry(0, rc.Height() - ext, std::max(rc.Width() - ext, 0), ext);
        else
            sb->setGeometry(rc.Width() - ext, 0, ext, std::max(rc.Height() - ext, 0));
        sb->show();
    }
}

void CViewRect::OnBarAction(plat::ScrollBar bar, int action)
{
    QScrollBar* sb = m_pBar[bar == plat::SB_VERT];
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        code = plat::SB_LINELEFT;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = plat::SB_LINERIGHT;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = plat::SB_PAGELEFT;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = plat::SB_PAGERIGHT;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = plat::SB_LEFT;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = plat::SB_RIGHT;
        break;
    case QAbstractSlider::SliderMove:
        code = plat::SB_THUMBTRACK;
        SetTrackPos(bar, sb->sliderPosition());
        break;
    default:
        return;
    }
    bar == plat::SB_HORZ ? OnHScroll(code) : OnVScroll(code);
    // Only the handler moves the position; the bar shows where it went.
    sb->setSliderPosition(GetScrollInfo(bar).nPos);
}

// ---- mouse --------------------------------------------------------------------

void CViewRect::OnMouseMove(CPoint point)
{
    if (GetCount() == 0)
        return;
    m_ptMouse = point;
    if (m_bCrossDrag)
        m_Cross.SetPosition(point.x, point.y);
    m_Frame.MouseMove(point);
    m_hFrame.PostMessage(WM_VIEWER_STATUS, 1, 0);
}

void CViewRect::OnLButtonDown(CPoint point)
{
    m_ptMouse = point;
    if (m_Frame.MouseDown(point))
        return;
    if (m_Cross.IsShown() && m_Cross.HitTest(point.x, point.y)) {
        m_bCrossDrag = 1;
        m_hFrame.PostMessage(WM_VIEWER_STATUS, 1, 0);
        return;
    }
    const int hpos = GetScrollInfo(plat::SB_HORZ).nPos, vpos = GetScrollInfo(plat::SB_VERT).nPos;
    switch (m_nCursor) {
    case 1:
        CenterOn(point.x + hpos, point.y + vpos);
        RedrawNow();
        break;
    case 2:
        ZoomOut();
        break;
    case 3:
        ZoomIn();
        break;
    case 4: {
        const int iy = Round((point.y + vpos) * m_dScale);
        if (CVirtualView* v = GetView(m_nActive); v && iy >= 0 && iy < m_sizeImage.cy)
            v->ShowProfile(1, iy);
        break;
    }
    case 5: {
        const int ix = Round((point.x + hpos) * m_dScale);
        if (CVirtualView* v = GetView(m_nActive); v && ix >= 0 && ix < m_sizeImage.cx)
            v->ShowProfile(0, ix);
        break;
    }
    default:
        break;
    }
    m_hFrame.PostMessage(WM_VIEWER_STATUS, 1, 0);
}

void CViewRect::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(CPoint{event->position().toPoint().x(), event->position().toPoint().y()});
}

void CViewRect::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(CPoint{event->position().toPoint().x(), event->position().toPoint().y()});
}

void CViewRect::mouseMoveEvent(QMouseEvent* event)
{
    OnSetCursor();
    OnMouseMove(CPoint{event->position().toPoint().x(), event->position().toPoint().y()});
}

// ---- painting -----------------------------------------------------------------

void CViewRect::InvalidateAllRegions()
{
    for (auto& v : m_arrViews)
        v->InvalidateRegion();
}

// The bars lie over the window's edges; they need no repaint with the picture.
void CViewRect::RedrawNow()
{
    UpdateClientSize();
    if (m_bBarsShown)
        InvalidateRect(plat::Rect{0, 0, m_sizeClient.cx, m_sizeClient.cy});
    else
        Invalidate();
    UpdateWindow();
}

void CViewRect::resizeEvent(QResizeEvent* event)
{
    plat::BufferedWindow::resizeEvent(event);
    UpdateClientSize();
    if (GetCount() > 0) {
        for (plat::ScrollBar bar : {plat::SB_HORZ, plat::SB_VERT}) {
            plat::ScrollInfo si = GetScrollInfo(bar);
            si.nPage = (bar == plat::SB_HORZ ? m_sizeClient.cx : m_sizeClient.cy) + 1;
            SetScrollInfo(bar, si);
        }
        InvalidateAllRegions();
    }
    Invalidate();
}

void CViewRect::EnsureBuffer(std::int64_t needed)
{
    const auto size = viewrect::GrownBufferSize(std::int64_t(m_Buffer.size()), needed);
    if (size > std::int64_t(m_Buffer.size())) {
        m_Buffer.assign(size_t(size), 0);
        InvalidateAllRegions();
    }
}

void CViewRect::PaintMargins(plat::DeviceContext& dc, int shown)
{
    const int cw = m_sizeClient.cx, ch = m_sizeClient.cy;
    const viewrect::Extent e = viewrect::MarginEdges(m_sizeImage.cx, m_sizeImage.cy, m_dScale, m_bFit != 0, cw, ch);
    if (e.cx >= cw && e.cy >= ch)
        return;
    if (!shown) {
        if (e.cx < cw)
            dc.FillRect(plat::Rect{e.cx, 0, cw, ch}, plat::Rgb(0, 0, 0));
        if (e.cy < ch)
            dc.FillRect(plat::Rect{0, e.cy, cw, ch}, plat::Rgb(0, 0, 0));
        return;
    }
    // The hatch is anchored to the image, so it moves with the scroll position. It
    // goes out as one two-colour bitmap per margin rectangle.
    const int ox = -GetScrollInfo(plat::SB_HORZ).nPos, oy = -GetScrollInfo(plat::SB_VERT).nPos;
    plat::BitmapInfo info;
    info.colors[0] = {255, 255, 255, 0};
    info.colors[1] = {0, 0, 0, 0};
    auto hatch = [&](const plat::Rect& r) {
        const int w = r.Width(), h = r.Height();
        if (w <= 0 || h <= 0)
            return;
        const int row = (w + 3) & ~3;
        std::vector<unsigned char> bits(size_t(row) * size_t(h));
        for (int y = 0; y < h; ++y) {
            unsigned char* line = bits.data() + size_t(y) * size_t(row);
            unsigned char pattern[8];
            for (int i = 0; i < 8; ++i)
                pattern[i] = viewrect::HatchBlack(r.left + i - ox, r.top + y - oy) ? 1 : 0;
            for (int x = 0; x < w; ++x)
                line[x] = pattern[x & 7];
        }
        info.width = row;
        info.height = -h;
        dc.SetDIBitsToDevice(r.left, r.top, w, h, 0, 0, bits.data(), bits.size(), info);
    };
    if (e.cx < cw)
        hatch(plat::Rect{e.cx, 0, cw, std::min(e.cy, ch)});
    if (e.cy < ch)
        hatch(plat::Rect{0, e.cy, cw, ch});
}

void CViewRect::OnPaint(plat::DeviceContext& dc)
{
    if (m_bScaling)
        return;
    UpdateClientSize();
    SyncBars();
    const int cw = m_sizeClient.cx, ch = m_sizeClient.cy;
    if (m_bBarsShown) {
        // The square between the bars.
        const plat::Rect rc = ClientRect();
        dc.FillRect(plat::Rect{cw, ch, rc.Width(), rc.Height()}, plat::GetSysColor(plat::COLOR_BTNFACE));
    }
    if (cw <= 0 || ch <= 0)
        return;
    if (GetCount() == 0) {
        dc.FillRect(plat::Rect{0, 0, cw, ch}, plat::Rgb(255, 255, 255));
        return;
    }
    const int bpp = std::max(m_nBytesPerPixel, 1);
    std::int64_t needed = viewrect::PaintBytes(cw + 3, ch, bpp);
    if (m_bFit && m_dScale < 1.0)
        needed = std::max(needed, viewrect::PaintBytes((std::int64_t(m_sizeImage.cx) * bpp + 3) / 4 * 4 / bpp + 3,
                                                       m_sizeImage.cy, bpp));
    EnsureBuffer(needed);
    const int hpos = GetScrollInfo(plat::SB_HORZ).nPos, vpos = GetScrollInfo(plat::SB_VERT).nPos;
    int shown = 0;
    for (auto& v : m_arrViews)
        if (v->GetKind() != 2) {
            v->PaintScaled(&dc, hpos, vpos, cw, ch, m_dScale, m_bFit, m_Buffer.data(), m_Buffer.size(), &m_bmi);
            shown += v->IsShown() ? 1 : 0;
        }
    if (!m_bTracking)
        for (auto& v : m_arrViews)
            if (v->GetKind() != 1)
                v->PaintScaled(&dc, hpos, vpos, cw, ch, m_dScale, m_bFit, m_Buffer.data(), m_Buffer.size(), &m_bmi);
    PaintMargins(dc, shown);
    if (!m_bTracking)
        PaintOverlays(dc);
}
