#include "FlatButton.h"

#include <QMouseEvent>

#include "BarMessages.h"
#include "platform/paint/PaintExtras.h"
#include "platform/paint/SysColors.h"

using plat::GetSysColor;

CFlatButton::CFlatButton(QWidget* parent) : CBarWindow(parent) {}

bool CFlatButton::Create(const std::string& caption, const CRect& rect, unsigned id)
{
    m_id = id;
    m_caption = caption;
    setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
    show();
    return true;
}

int CFlatButton::CreateWithIcons(const std::string& caption, const CRect& rect, unsigned id, const QImage& hot,
                                 const QImage& normal, const QFont* const* font, int fontHeight)
{
    m_hot = hot;
    m_normal = normal;
    m_font = font;
    m_fontHeight = fontHeight;
    CFlatButton::Create(caption, rect, id);
    m_layout =
        ComputeFlatButtonLayout(m_layoutMode, rect.Width(), rect.Height(), m_hot.width(), m_hot.height(), m_fontHeight);
    return 1;
}

void CFlatButton::SetState(int state)
{
    if (state == m_state)
        return;
    m_state = state;
    Invalidate();
}

void CFlatButton::OnPaint(plat::DeviceContext& dc)
{
    const plat::ColorRef face = GetSysColor(plat::COLOR_BTNFACE);
    const plat::Rect client = ClientRect();
    dc.FillRect(client, face);
    if (m_font && *m_font)
        dc.SelectFont(**m_font);
    dc.SetBkColor(face);
    dc.SetBkMode(plat::TRANSPARENT);
    dc.SetTextColor(GetSysColor(plat::COLOR_WINDOWTEXT));
    const plat::ColorRef light = GetSysColor(plat::COLOR_3DHILIGHT);
    const plat::ColorRef shadow = GetSysColor(plat::COLOR_3DSHADOW);
    switch (m_state) {
    case kBarRaised:
        plat::DrawImage(dc, m_layout.iconX, 3, m_hot, face);
        plat::DrawTextBroken(dc, m_caption, m_layout.caption, m_layout.format);
        plat::Draw3dRect(dc, client, light, shadow);
        break;
    case kBarPressed:
        plat::DrawImage(dc, m_layout.iconX + 2, 5, m_hot, face);
        plat::DrawTextBroken(dc, m_caption, m_layout.pressedCaption, m_layout.format);
        plat::Draw3dRect(dc, client, shadow, light);
        break;
    default:
        plat::DrawImage(dc, m_layout.iconX, 3, m_normal, face);
        plat::DrawTextBroken(dc, m_caption, m_layout.caption, m_layout.format);
        plat::Draw3dRect(dc, client, face, face);
        break;
    }
}

plat::LResult CFlatButton::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    if (msg == WM_BAR_LEAVE) {
        m_left = 1;
        SetState(kBarFlat);
        return 0;
    }
    return CBarWindow::OnMessage(msg, wParam, lParam);
}

void CFlatButton::OnMouseMove(int x, int y)
{
    if (m_left) {
        ParentHandle().SendMessage(WM_BAR_HOVER, AsParam(this));
        m_left = 0;
    }
    if (rect().contains(x, y)) {
        SetState(m_pressed ? kBarPressed : kBarRaised);
        m_inside = 1;
    } else {
        SetState(kBarFlat);
        m_inside = 0;
    }
}

void CFlatButton::OnLButtonDown()
{
    m_pressed = 1;
    m_state = kBarPressed;
    Invalidate();
}

void CFlatButton::OnLButtonUp()
{
    if (!m_pressed)
        return;
    m_pressed = 0;
    m_state = kBarRaised;
    Invalidate();
    if (m_inside)
        ParentHandle().PostMessage(plat::WM_COMMAND, m_id, 0);
}

void CFlatButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    OnMouseMove(at.x(), at.y());
}

void CFlatButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // The press lies on the button.
        m_inside = 1;
        OnLButtonDown();
    }
}

void CFlatButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonUp();
}

CArrowButton::CArrowButton(QWidget* parent) : CFlatButton(parent)
{
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

bool CArrowButton::Create(const std::string& caption, const CRect& rect, unsigned id, int direction)
{
    if (!CFlatButton::Create(caption, rect, id))
        return false;
    m_direction = direction;
    m_triangle = ComputeArrowTriangle(rect.Width(), rect.Height(), direction);
    return true;
}

void CArrowButton::OnPaint(plat::DeviceContext& dc)
{
    CFlatButton::OnPaint(dc);
    for (const PixelSpan& span : TriangleSpans(m_triangle))
        dc.FillRect(plat::Rect{span.x0, span.y, span.x1 + 1, span.y + 1}, 0);
}

void CArrowButton::OnLButtonDown()
{
    m_pressed = 1;
    m_state = kBarPressed;
    m_repeat.Press();
    m_timer.start();
    Invalidate();
}

void CArrowButton::OnLButtonUp()
{
    if (!m_pressed)
        return;
    m_pressed = 0;
    m_state = kBarRaised;
    // A released arrow has nothing more to repeat, wherever it was let go.
    m_timer.stop();
    Invalidate();
    if (const std::optional<int> step = CArrowRepeat::Release(m_inside))
        ParentHandle().PostMessage(WM_BAR_SCROLL, m_id, *step);
}

void CArrowButton::OnTimer()
{
    if (const std::optional<int> step = m_repeat.Tick(m_pressed, m_inside))
        ParentHandle().PostMessage(WM_BAR_SCROLL, m_id, *step);
}
