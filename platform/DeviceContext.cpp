#include "DeviceContext.h"

#include <QPaintDevice>
#include <algorithm>
#include <utility>

namespace plat {

namespace {

QColor ToQt(ColorRef c)
{
    return QColor(int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c)));
}

QRect ToQt(const Rect& r)
{
    return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
}

Rect Intersect(const Rect& a, const Rect& b)
{
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return r.IsEmpty() ? Rect{} : r;
}

}  // namespace

DeviceContext::DeviceContext(int width, int height)
{
    if (width > 0 && height > 0) {
        m_image = QImage(width, height, QImage::Format_RGB32);
        if (!m_image.isNull()) {
            m_image.fill(Qt::black);
            m_painter.begin(&m_image);
            m_device = Rect{0, 0, width, height};
        }
    }
    ApplyClip();
}

DeviceContext::DeviceContext(QPaintDevice* target, const Rect& clip)
{
    if (target && m_painter.begin(target)) {
        m_device = Intersect(Rect{0, 0, target->width(), target->height()}, clip);
        m_font = m_painter.font();
    }
    ApplyClip();
}

DeviceContext::~DeviceContext()
{
    if (m_painter.isActive())
        m_painter.end();
}

void DeviceContext::ApplyClip()
{
    if (!m_painter.isActive())
        return;
    Rect area = m_clipped ? Intersect(m_device, m_clip) : m_device;
    m_painter.resetTransform();
    m_painter.setClipRect(ToQt(area));
    m_painter.translate(-m_orgX, -m_orgY);
}

void DeviceContext::SetWindowOrg(int x, int y)
{
    m_orgX = x;
    m_orgY = y;
    ApplyClip();
}

Rect DeviceContext::GetClipBox() const
{
    Rect area = m_clipped ? Intersect(m_device, m_clip) : m_device;
    if (area.IsEmpty())
        return Rect{};
    return Rect{area.left + m_orgX, area.top + m_orgY, area.right + m_orgX, area.bottom + m_orgY};
}

void DeviceContext::SelectClipRect(const Rect& rect)
{
    m_clip = Rect{rect.left - m_orgX, rect.top - m_orgY, rect.right - m_orgX, rect.bottom - m_orgY};
    m_clipped = true;
    ApplyClip();
}

void DeviceContext::SelectClipNone()
{
    m_clipped = false;
    ApplyClip();
}

void DeviceContext::IntersectClipRect(const Rect& rect)
{
    Rect device{rect.left - m_orgX, rect.top - m_orgY, rect.right - m_orgX, rect.bottom - m_orgY};
    m_clip = m_clipped ? Intersect(m_clip, device) : device;
    m_clipped = true;
    ApplyClip();
}

Pen DeviceContext::SelectPen(const Pen& pen)
{
    return std::exchange(m_pen, pen);
}

Brush DeviceContext::SelectBrush(const Brush& brush)
{
    return std::exchange(m_brush, brush);
}

QFont DeviceContext::SelectFont(const QFont& font)
{
    QFont old = std::exchange(m_font, font);
    if (m_painter.isActive())
        m_painter.setFont(m_font);
    return old;
}

ColorRef DeviceContext::SetTextColor(ColorRef color)
{
    return std::exchange(m_textColor, color);
}

ColorRef DeviceContext::SetBkColor(ColorRef color)
{
    return std::exchange(m_bkColor, color);
}

BkMode DeviceContext::SetBkMode(BkMode mode)
{
    return std::exchange(m_bkMode, mode);
}

void DeviceContext::FillRect(const Rect& rect, ColorRef color)
{
    if (m_painter.isActive() && !rect.IsEmpty())
        m_painter.fillRect(ToQt(rect), ToQt(color));
}

void DeviceContext::Rectangle(const Rect& rect)
{
    if (!m_painter.isActive() || rect.IsEmpty())
        return;
    int w = m_pen.style == Pen::Null ? 0 : std::max(1, m_pen.width);
    Rect inner{rect.left + w, rect.top + w, rect.right - w, rect.bottom - w};
    if (m_brush.style == Brush::Solid && !inner.IsEmpty())
        FillRect(inner, m_brush.color);
    if (w == 0)
        return;
    FillRect(Rect{rect.left, rect.top, rect.right, std::min(rect.bottom, rect.top + w)}, m_pen.color);
    FillRect(Rect{rect.left, std::max(rect.top, rect.bottom - w), rect.right, rect.bottom}, m_pen.color);
    FillRect(Rect{rect.left, rect.top, std::min(rect.right, rect.left + w), rect.bottom}, m_pen.color);
    FillRect(Rect{std::max(rect.left, rect.right - w), rect.top, rect.right, rect.bottom}, m_pen.color);
}

void DeviceContext::TextOut(int x, int y, const std::string& text)
{
    DrawText(text, Rect{x, y, x + (1 << 20), y + (1 << 20)}, DT_LEFT);
}

void DeviceContext::DrawText(const std::string& text, const Rect& rect, unsigned format)
{
    if (!m_painter.isActive())
        return;
    int flags = (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    if (format & DT_SINGLELINE) {
        flags |= Qt::TextSingleLine;
        flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
    }
    QString s = QString::fromStdString(text);
    QRect box = ToQt(rect);
    m_painter.setFont(m_font);
    if (m_bkMode == OPAQUE)
        m_painter.fillRect(m_painter.boundingRect(box, flags, s), ToQt(m_bkColor));
    m_painter.setPen(ToQt(m_textColor));
    m_painter.drawText(box, flags, s);
}

void DeviceContext::BitBlt(int x, int y, int width, int height, const DeviceContext& src, int xSrc, int ySrc)
{
    if (!m_painter.isActive() || src.m_image.isNull() || width <= 0 || height <= 0)
        return;
    m_painter.drawImage(QRect(x, y, width, height), src.m_image,
                        QRect(xSrc - src.m_orgX, ySrc - src.m_orgY, width, height));
}

}  // namespace plat
