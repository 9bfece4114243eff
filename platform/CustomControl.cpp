#include "CustomControl.h"

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

}  // namespace plat
