#include "ViewRect.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "platform/paint/DeviceContext.h"
#include "FileProblems.h"
#include "platform/paint/SysColors.h"
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
    // Without it the buffer's pixels would show between the bars.
    m_pBarCorner = new QWidget(this);
    m_pBarCorner->setBackgroundRole(QPalette::Button);
    m_pBarCorner->setAutoFillBackground(true);
    m_pBarCorner->hide();
    // X11 tells no end of a sizing drag: a pause in the resizes stands for it.
    m_pSizeSettled = new QTimer(this);
    m_pSizeSettled->setSingleShot(true);
    m_pSizeSettled->setInterval(200);
    QObject::connect(m_pSizeSettled, &QTimer::timeout, this, [this] { ForcePaint(); });
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
        RecordFailure(*m_arrViews.back());
        m_arrViews.pop_back();
        m_nActive = oldActive;
        m_hFrame.PostMessage(WM_VIEWER_NOTIFY, 0, kFailed);
        return -1;
    }
    m_nBytesPerPixel = std::max(m_nBytesPerPixel, bytesPerPixel);
    return n;
}

void CViewRect::RecordFailure(CVirtualView& view)
{
    m_LastFailure = view.GetOpenFailure();
    // An open that threw on its way leaves the view without a reason: the file may tell.
    if (m_LastFailure.reason.empty() && !m_LastFailure.file.empty())
        m_LastFailure.reason = LayerFileProblem(m_LastFailure.file);
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
            m_bSkipPaint = 0;
            RedrawNow();
            m_hFrame.PostMessage(WM_VIEWER_NOTIFY, 0, kReady);
        }
        for (auto& v : m_arrViews)
            v->SetScale(m_dScale);
    } else if (code == kFailed) {
        RecordFailure(*m_arrViews[size_t(index)]);
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
    // The zoom pane shows the scale: a zoom from a menu moves no mouse.
    m_hFrame.PostMessage(WM_VIEWER_STATUS, 1, 0);
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
    m_bSkipPaint = 0;
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
    m_bSkipPaint = 0;
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
    m_bSkipPaint = 0;
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

// The wheel scrolls as many lines as the desktop asks per notch, 20 screen pixels a
// line; Shift or a sideways wheel scrolls across. Partial notches (touchpads) add up.
void CViewRect::wheelEvent(QWheelEvent* event)
{
    QPoint delta = event->angleDelta();
    if ((event->modifiers() & Qt::ShiftModifier) && delta.x() == 0)
        delta = QPoint(delta.y(), 0);
    const int lines = QApplication::wheelScrollLines();
    if (lines <= 0)
        return;
    for (plat::ScrollBar bar : {plat::SB_HORZ, plat::SB_VERT}) {
        int& rest = m_nWheelRest[bar == plat::SB_VERT];
        rest += bar == plat::SB_HORZ ? delta.x() : delta.y();
        const int pixels = rest * lines * 20 / 120;
        if (pixels == 0)
            continue;
        rest -= pixels * 120 / (lines * 20);
        const plat::ScrollInfo si = GetScrollInfo(bar);
        SetTrackPos(bar, std::clamp(si.nPos - pixels, 0, std::max(si.nMax - si.nPage + 1, 0)));
        Scroll(bar, plat::SB_THUMBPOSITION);
    }
    event->accept();
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
    ScrollRect(bar == plat::SB_HORZ ? delta : 0, bar == plat::SB_VERT ? delta : 0, plat::Rect{0, 0, cw, ch});
    plat::DeviceContext dc(*this, plat::Rect{0, 0, cw, ch});
    const int n = std::abs(delta);
    const int from = delta > 0 ? 0 : span - n;
    if (bar == plat::SB_HORZ)
        PaintStrip(dc, active, plat::Rect{from, 0, from + n, ch});
    else
        PaintStrip(dc, active, plat::Rect{0, from, cw, from + n});
    PaintMargins(dc, active->IsShown());
    m_ptPainted = {GetScrollInfo(plat::SB_HORZ).nPos, GetScrollInfo(plat::SB_VERT).nPos};
}

// A magnified strip starts on a whole image sample of the picture around it.
void CViewRect::PaintStrip(plat::DeviceContext& dc, CVirtualView* view, plat::Rect rect)
{
    if (m_dScale < 1.0) {
        const int f = viewrect::LineStep(m_dScale);
        rect.left -= rect.left % f;
        rect.top -= rect.top % f;
    }
    rect = plat::Rect{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, m_sizeClient.cx),
                      std::min(rect.bottom, m_sizeClient.cy)};
    if (view == nullptr || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    const int w = rect.Width(), h = rect.Height();
    EnsureBuffer(viewrect::PaintBytes(w + 3, h, std::max(m_nBytesPerPixel, 1)));
    view->PaintDirect(&dc, GetScrollInfo(plat::SB_HORZ).nPos + rect.left, GetScrollInfo(plat::SB_VERT).nPos + rect.top,
                      rect.left, rect.top, w, h, m_dScale, m_bFit, m_Buffer.data(), m_Buffer.size(), &m_bmi);
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
    m_pBarCorner->setGeometry(std::max(rc.Width() - ext, 0), std::max(rc.Height() - ext, 0), ext, ext);
    m_pBarCorner->show();
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
        m_bSkipPaint = 0;
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
    // The buffer keeps its top-left pixels; the parts a larger window exposes are
    // invalidated by it and painted here, strip by strip.
    plat::BufferedWindow::resizeEvent(event);
    OnSize();
}

void CViewRect::OnSize()
{
    UpdateClientSize();
    if (GetCount() == 0) {
        Invalidate();
        return;
    }
    ++m_nSizeNesting;
    const int cw = m_sizeClient.cx, ch = m_sizeClient.cy;
    for (plat::ScrollBar bar : {plat::SB_HORZ, plat::SB_VERT}) {
        plat::ScrollInfo si = GetScrollInfo(bar);
        si.nPage = (bar == plat::SB_HORZ ? cw : ch) + 1;
        // A larger page leaves less room to scroll: the position comes back with it.
        si.nPos = std::clamp(si.nPos, 0, std::max(si.nMax - si.nPage + 1, 0));
        SetScrollInfo(bar, si);
    }
    // The views' extractions were for the old size.
    InvalidateAllRegions();
    bool full = false;
    if (!m_bScaling && m_nSizeNesting == 1) {
        SyncBars();
        const viewrect::Extent ext = viewrect::ImageExtent(m_sizeImage.cx, m_sizeImage.cy, m_dScale);
        const bool grew = (m_sizePainted.cx <= ext.cx && m_sizePainted.cx < cw) ||
                          (m_sizePainted.cy <= ext.cy && m_sizePainted.cy < ch);
        CVirtualView* active = GetView(m_nActive);
        plat::DeviceContext dc(*this);
        if (m_bBarsShown) {
            const plat::Rect rc = ClientRect();
            dc.FillRect(plat::Rect{cw, ch, rc.Width(), rc.Height()}, plat::GetSysColor(plat::COLOR_BTNFACE));
        }
        if (grew && m_dScale < 1.0 && m_bFit) {
            full = true;
        } else if (grew && active != nullptr && active->IsShown()) {
            if (m_dScale < 1.0) {
                // Whole image samples at the left and top edges.
                SetHorzScrollPos(GetScrollInfo(plat::SB_HORZ).nPos);
                SetVertScrollPos(GetScrollInfo(plat::SB_VERT).nPos);
            }
            const int hpos = GetScrollInfo(plat::SB_HORZ).nPos, vpos = GetScrollInfo(plat::SB_VERT).nPos;
            const int dx = std::max(m_ptPainted.x - hpos, 0), dy = std::max(m_ptPainted.y - vpos, 0);
            const plat::Rect painted{0, 0, m_sizePainted.cx, m_sizePainted.cy};
            if (dx > 0 || dy > 0) {
                // The image end came into view: the picture moves right or down.
                ScrollRect(dx, dy, plat::Rect{0, 0, painted.right + dx, painted.bottom + dy});
                PaintStrip(dc, active, plat::Rect{0, 0, dx, ch});
                PaintStrip(dc, active, plat::Rect{0, 0, cw, dy});
            }
            const int right = std::min(ext.cx - hpos, cw), bottom = std::min(ext.cy - vpos, ch);
            PaintStrip(dc, active, plat::Rect{painted.right + dx, 0, right, bottom});
            PaintStrip(dc, active, plat::Rect{0, painted.bottom + dy, right, bottom});
        }
        m_ptPainted = {GetScrollInfo(plat::SB_HORZ).nPos, GetScrollInfo(plat::SB_VERT).nPos};
        if (!full)
            PaintMargins(dc, active != nullptr ? active->IsShown() : 0);
        m_sizePainted = {std::max(cw, 0), std::max(ch, 0)};
    }
    --m_nSizeNesting;
    if (full) {
        m_bSkipPaint = 0;
        RedrawNow();
        return;
    }
    // The paint the resize asked for finds everything painted; the full one, with
    // the vector layers, follows when resizing pauses.
    m_bSkipPaint = 1;
    UpdateWindow();
    m_bSkipPaint = 0;
    m_pSizeSettled->start();
}

void CViewRect::ForcePaint()
{
    m_bForcePaint = 1;
    if (CVirtualView* active = GetView(m_nActive))
        active->InvalidateRegion();
    RedrawNow();
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
    // The hatch is a pattern anchored to the image, so it moves with the scroll position.
    plat::Pattern hatch;
    hatch.ink = plat::Rgb(0, 0, 0);
    hatch.paper = plat::Rgb(255, 255, 255);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (viewrect::HatchBlack(x, y))
                hatch.rows[y] |= static_cast<std::uint8_t>(0x80 >> x);
    const QPoint origin = dc.SetBrushOrg(-GetScrollInfo(plat::SB_HORZ).nPos, -GetScrollInfo(plat::SB_VERT).nPos);
    if (e.cx < cw)
        dc.FillRect(plat::Rect{e.cx, 0, cw, std::min(e.cy, ch)}, hatch);
    if (e.cy < ch)
        dc.FillRect(plat::Rect{0, e.cy, cw, ch}, hatch);
    dc.SetBrushOrg(origin.x(), origin.y());
}

void CViewRect::OnPaint(plat::DeviceContext& dc)
{
    // A skipped paint leaves the buffer as it is, and that is what shows.
    if (m_bScaling || (m_bSkipPaint && !m_bForcePaint)) {
        m_bSkipPaint = m_bForcePaint = 0;
        return;
    }
    m_bSkipPaint = m_bForcePaint = 0;
    UpdateClientSize();
    m_sizePainted = {std::max(m_sizeClient.cx, 0), std::max(m_sizeClient.cy, 0)};
    m_ptPainted = {GetScrollInfo(plat::SB_HORZ).nPos, GetScrollInfo(plat::SB_VERT).nPos};
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
