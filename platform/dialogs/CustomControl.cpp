#include "platform/dialogs/CustomControl.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace plat {

CustomControl::CustomControl(QWidget* parent) : QFrame(parent)
{
    // The owner paints every pixel of the client area.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Rect CustomControl::ClientRect() const
{
    QRect r = contentsRect();
    return Rect{0, 0, r.width(), r.height()};
}

void CustomControl::Invalidate()
{
    update();
}

void CustomControl::UpdateNow()
{
    repaint();
}

void CustomControl::paintEvent(QPaintEvent* event)
{
    QRect client = contentsRect();
    if (m_paint) {
        QRect area = event->rect() & client;
        DeviceContext dc(this, Rect{area.left(), area.top(), area.right() + 1, area.bottom() + 1});
        dc.SelectFont(font());
        dc.SetWindowOrg(-client.left(), -client.top());
        m_paint(dc);
    }
    QPainter frame(this);
    drawFrame(&frame);
}

void CustomControl::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_resize)
        m_resize();
}

void CustomControl::SetMouseHandler(MouseHandler handler)
{
    m_mouse = std::move(handler);
    setMouseTracking(bool(m_mouse));
}

void CustomControl::Mouse(MouseAction action, QMouseEvent* event)
{
    if (!m_mouse)
        return;
    // Qt keeps the mouse with the pressed widget until the release, so a drag goes on
    // reporting outside the control.
    const QPoint at = event->position().toPoint() - contentsRect().topLeft();
    MouseHandler handler = m_mouse;
    handler(action, at.x(), at.y());
}

void CustomControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Mouse(MouseAction::LeftDown, event);
    else
        QFrame::mousePressEvent(event);
}

void CustomControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Mouse(MouseAction::LeftUp, event);
    else
        QFrame::mouseReleaseEvent(event);
}

void CustomControl::mouseMoveEvent(QMouseEvent* event)
{
    Mouse(MouseAction::Move, event);
}

}  // namespace plat
