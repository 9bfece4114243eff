#include "window/ProfileView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>
#include <climits>
#include <string>

#include "platform/paint/DeviceContext.h"
#include "platform/windows/StatusBar.h"
#include "util/DoubleToInt.h"
#include "view/VirtualView.h"

namespace {

constexpr plat::ColorRef kCurveColor = plat::Rgb(10, 10, 10);
constexpr plat::ColorRef kBackground = plat::Rgb(255, 255, 255);

// Cursor 273: a thin cross with an open centre, so the curve under it stays visible.
QCursor ProfileCursor()
{
    QPixmap art(32, 32);
    art.fill(Qt::transparent);
    QPainter p(&art);
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(15, 2, 15, 12);
    p.drawLine(15, 18, 15, 28);
    p.drawLine(2, 15, 12, 15);
    p.drawLine(18, 15, 28, 15);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(15, 2, 15, 12);
    p.drawLine(15, 18, 15, 28);
    p.drawLine(2, 15, 12, 15);
    p.drawLine(18, 15, 28, 15);
    p.end();
    return QCursor(art, 15, 15);
}

int StepFor(int code, int current, int thumb, int count)
{
    switch (code) {
    case plat::SB_LINELEFT:
        return current - 1;
    case plat::SB_LINERIGHT:
        return current + 1;
    case plat::SB_PAGELEFT:
        return current - 10;
    case plat::SB_PAGERIGHT:
        return current + 10;
    case plat::SB_THUMBPOSITION:
    case plat::SB_THUMBTRACK:
        return thumb;
    case plat::SB_LEFT:
        return 0;
    case plat::SB_RIGHT:
        return count;
    default:
        return current;
    }
}

}  // namespace

int ProfileScrollTarget(int code, int current, int thumb, int count)
{
    return std::clamp(StepFor(code, current, thumb, count), 0, std::max(0, count));
}

int ClampScrollPos(const plat::ScrollInfo& info, int pos)
{
    const int last =
        std::max(info.nMin, int(std::min<long long>(INT_MAX, (long long)info.nMax - std::max(info.nPage, 1) + 1)));
    return std::clamp(pos, info.nMin, last);
}

// The client area: paints through the view and reports pointer moves to it.
class CProfileView::Canvas final : public plat::BufferedWindow {
public:
    explicit Canvas(CProfileView* owner) : plat::BufferedWindow(owner), m_owner(owner) {}

protected:
    void OnPaint(plat::DeviceContext& dc) override { m_owner->Paint(dc); }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QPoint at = event->position().toPoint();
        m_owner->OnMouseMove(at.x(), at.y());
        plat::BufferedWindow::mouseMoveEvent(event);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        plat::BufferedWindow::resizeEvent(event);
        m_owner->ClientResized(event->size().width(), event->size().height());
    }

private:
    CProfileView* m_owner;
};

CProfileView::CProfileView(int axis, int position) : m_nAxis(static_cast<unsigned char>(axis)), m_nPosition(position) {}

CProfileView::~CProfileView() = default;

int CProfileView::Create(QWidget* parent, CVirtualView* view, int count, const std::uint32_t* values,
                         plat::StatusBar* statusBar)
{
    m_pLayerView = view;
    m_nCount = std::max(0, count);
    m_pValues = values;
    m_pStatusBar = statusBar;
    setParent(parent);
    setObjectName(QString::number(kViewId));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);

    m_pClient = new Canvas(this);
    m_pClient->setCursor(ProfileCursor());
    m_pScrollBar = new QScrollBar(Qt::Horizontal, this);
    QObject::connect(m_pScrollBar, &QAbstractSlider::actionTriggered, this, [this](int action) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            OnHScroll(plat::SB_LINERIGHT, 0);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            OnHScroll(plat::SB_LINELEFT, 0);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            OnHScroll(plat::SB_PAGERIGHT, 0);
            break;
        case QAbstractSlider::SliderPageStepSub:
            OnHScroll(plat::SB_PAGELEFT, 0);
            break;
        case QAbstractSlider::SliderToMinimum:
            OnHScroll(plat::SB_LEFT, 0);
            break;
        case QAbstractSlider::SliderToMaximum:
            OnHScroll(plat::SB_RIGHT, 0);
            break;
        case QAbstractSlider::SliderMove:
            OnHScroll(plat::SB_THUMBTRACK, m_pScrollBar->sliderPosition());
            break;
        default:
            break;
        }
        // The bar goes where the window put it, not by its own steps.
        m_pScrollBar->setSliderPosition(m_ScrollInfo.nPos);
    });

    plat::ScrollInfo info;
    info.nMin = 0;
    info.nMax = m_nCount;
    info.nPos = 0;
    SetScrollInfo(info);
    show();
    return 1;
}

void CProfileView::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (!m_pClient)
        return;
    const QRect inside = contentsRect();
    const int bar = m_pScrollBar->sizeHint().height();
    m_pScrollBar->setGeometry(inside.left(), inside.bottom() + 1 - bar, inside.width(), bar);
    m_pClient->setGeometry(inside.left(), inside.top(), inside.width(), std::max(0, inside.height() - bar));
}

void CProfileView::ClientResized(int cx, int cy)
{
    plat::ScrollInfo info = m_ScrollInfo;
    info.nPage = cx;
    SetScrollInfo(info);
    m_dScale = cy / 256.0;
    m_pClient->Invalidate();
}

void CProfileView::SetScrollInfo(const plat::ScrollInfo& info)
{
    m_ScrollInfo = info;
    m_ScrollInfo.nPos = ClampScrollPos(info, info.nPos);
    if (!m_pScrollBar)
        return;
    const QSignalBlocker quiet(m_pScrollBar);
    const int last = ClampScrollPos(m_ScrollInfo, INT_MAX);
    m_pScrollBar->setRange(m_ScrollInfo.nMin, last);
    m_pScrollBar->setPageStep(std::max(1, m_ScrollInfo.nPage));
    m_pScrollBar->setSingleStep(1);
    m_pScrollBar->setValue(m_ScrollInfo.nPos);
    // Shown but disabled while everything fits.
    m_pScrollBar->setEnabled(m_ScrollInfo.nMax - m_ScrollInfo.nMin >= std::max(m_ScrollInfo.nPage, 1));
}

void CProfileView::OnHScroll(int code, int thumb)
{
    const int old = m_ScrollInfo.nPos;
    const int target = ProfileScrollTarget(code, old, thumb, m_nCount);
    if (target == old)
        return;
    plat::ScrollInfo info = m_ScrollInfo;
    info.nPos = target;
    SetScrollInfo(info);
    // The back buffer is drawn again whole: the moved part and the uncovered strip.
    if (m_ScrollInfo.nPos != old && m_pClient) {
        m_pClient->Invalidate();
        m_pClient->UpdateWindow();
    }
}

void CProfileView::OnMouseMove(int x, int /*y*/)
{
    if (!m_pStatusBar)
        return;
    const int i = m_ScrollInfo.nPos + x;
    const bool alongX = m_nAxis == 1;
    const std::string value = !m_pLayerView ? std::string()
                              : alongX      ? m_pLayerView->GetValueString(i, m_nPosition)
                                            : m_pLayerView->GetValueString(m_nPosition, i);
    m_pStatusBar->SetText(0, (alongX ? "X=" : "Y=") + std::to_string(i));
    m_pStatusBar->SetText(1, "Z=" + value);
}

void CProfileView::Paint(plat::DeviceContext& dc)
{
    const plat::Rect client = m_pClient->ClientRect();
    dc.FillRect(client, kBackground);
    if (!m_pValues)
        return;
    const plat::Pen previous = dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, kCurveColor});
    const int p = m_ScrollInfo.nPos;
    const int bottom = client.bottom;
    auto level = [&](int i) { return bottom - TruncToInt(double(m_pValues[i]) * m_dScale); };
    if (p >= 0 && p < m_nCount) {
        dc.MoveTo(0, level(p));
        for (int i = 0; i <= client.right && p + i < m_nCount; ++i)
            dc.LineTo(i, level(p + i));
    }
    dc.SelectPen(previous);
}
