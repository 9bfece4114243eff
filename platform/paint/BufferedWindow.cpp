#include "platform/paint/BufferedWindow.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/windows/BarResources.h"
#include "platform/threads/ParallelFor.h"

namespace plat {

namespace {

QRect ToQt(const Rect& r)
{
    return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
}

Rect Union(const Rect& a, const Rect& b)
{
    if (a.IsEmpty())
        return b;
    if (b.IsEmpty())
        return a;
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

struct CursorCode {
    int code;
    Qt::CursorShape shape;
};

const CursorCode kCursorCodes[] = {
    {7, Qt::SizeAllCursor},    {8, Qt::SizeVerCursor},    {9, Qt::SizeHorCursor},
    {10, Qt::SizeFDiagCursor}, {11, Qt::SizeBDiagCursor},
};

}  // namespace

BufferedWindow::BufferedWindow(QWidget* parent) : QWidget(parent)
{
    // Every pixel comes from the buffer.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Every move reaches the window, with or without a button down.
    setMouseTracking(true);
}

BufferedWindow::~BufferedWindow()
{
    if (m_capture && QWidget::mouseGrabber() == this)
        releaseMouse();
}

BufferedWindow* BufferedWindow::FromHandle(const WindowHandle& handle)
{
    return dynamic_cast<BufferedWindow*>(handle.Widget());
}

Rect BufferedWindow::ClientRect() const
{
    return Rect{0, 0, width(), height()};
}

const QImage& BufferedWindow::Buffer()
{
    Pixels();
    return m_buffer;
}

QImage* BufferedWindow::Pixels()
{
    const QSize size = this->size();
    if (m_buffer.size() != size) {
        const QSize old = m_buffer.isNull() ? QSize(0, 0) : m_buffer.size();
        const QImage previous = m_buffer;  // keeps its store while its corner is copied
        m_store = QImage();
        m_buffer = QImage();
        if (!size.isEmpty())
            m_store = QImage(size + QSize(2 * kRoom, 2 * kRoom), QImage::Format_RGB32);
        if (!m_store.isNull()) {
            m_origin = QPoint(kRoom, kRoom);
            MakeView();
            m_buffer.fill(Qt::white);
            const int rows = std::min(old.height(), size.height());
            const int bytes = std::min(old.width(), size.width()) * 4;
            for (int y = 0; y < rows; ++y)
                std::memcpy(m_buffer.scanLine(y), previous.constScanLine(y), std::size_t(bytes));
        }
        if (size.width() > old.width())
            InvalidateRect(Rect{old.width(), 0, size.width(), size.height()});
        if (size.height() > old.height())
            InvalidateRect(Rect{0, old.height(), size.width(), size.height()});
    } else if (!m_buffer.isNull() &&
               m_buffer.constBits() != m_store.constBits() + m_origin.y() * m_store.bytesPerLine() + m_origin.x() * 4) {
        // A writer detached the buffer from the store while a copy of it was held: the
        // copy keeps the old store, the buffer goes on in a new one.
        const QImage own = m_buffer;
        m_store = QImage(m_store.size(), QImage::Format_RGB32);
        MakeView();
        for (int y = 0; y < own.height(); ++y)
            std::memcpy(m_buffer.scanLine(y), own.constScanLine(y), std::size_t(own.width()) * 4);
    }
    return m_buffer.isNull() ? nullptr : &m_buffer;
}

void BufferedWindow::MakeView()
{
    // Every copy of the view keeps the store's pixels alive.
    auto* keep = new QImage(m_store);
    m_buffer = QImage(
        StoreBits() + m_origin.y() * m_store.bytesPerLine() + m_origin.x() * 4, width(), height(),
        m_store.bytesPerLine(), QImage::Format_RGB32, [](void* p) { delete static_cast<QImage*>(p); }, keep);
}

bool BufferedWindow::MoveView(int dx, int dy, const Rect& rect)
{
    if (m_buffer.isNull() || !m_buffer.isDetached() || std::abs(dx) > 2 * kRoom || std::abs(dy) > 2 * kRoom)
        return false;
    const int w = m_buffer.width(), h = m_buffer.height();
    // Pixels that move: those of rect whose place lies in rect too. Everything else
    // keeps its pixels: saved here, put back after the view moved.
    const Rect moved{std::max(rect.left, rect.left + dx), std::max(rect.top, rect.top + dy),
                     std::min(rect.right, rect.right + dx), std::min(rect.bottom, rect.bottom + dy)};
    const Rect stay[] = {Rect{0, 0, w, moved.top}, Rect{0, moved.bottom, w, h}, Rect{0, moved.top, moved.left, moved.bottom},
                         Rect{moved.right, moved.top, w, moved.bottom}};
    if (moved.IsEmpty())
        return false;
    // Saved into a scratch that lives with the window: steps of a drag allocate nothing.
    std::size_t total = 0;
    for (const Rect& r : stay)
        if (!r.IsEmpty())
            total += std::size_t(r.Width()) * std::size_t(r.Height());
    if (m_kept.size() < total)
        m_kept.resize(total);
    const auto keep = [&](bool back) {
        QRgb* at = m_kept.data();
        for (const Rect& r : stay) {
            if (r.IsEmpty())
                continue;
            for (int y = r.top; y < r.bottom; ++y, at += r.Width()) {
                auto* row = reinterpret_cast<QRgb*>(StoreBits() + (m_origin.y() + y) * m_store.bytesPerLine()) +
                            m_origin.x() + r.left;
                if (back)
                    std::memcpy(row, at, std::size_t(r.Width()) * sizeof(QRgb));
                else
                    std::memcpy(at, row, std::size_t(r.Width()) * sizeof(QRgb));
            }
        }
    };
    keep(false);

    QPoint to = m_origin - QPoint(dx, dy);
    if (to.x() < 0 || to.x() > 2 * kRoom || to.y() < 0 || to.y() > 2 * kRoom) {
        // Out of room: the pixels go once to the far side of the store, so that further
        // steps the same way have all the room there is.
        const QPoint far(dx > 0 ? 2 * kRoom : dx < 0 ? 0 : kRoom, dy > 0 ? 2 * kRoom : dy < 0 ? 0 : kRoom);
        uchar* base = StoreBits();
        const qsizetype stride = m_store.bytesPerLine();
        const auto moveRow = [&](int y) {
            std::memmove(base + (far.y() + y) * stride + far.x() * 4, base + (m_origin.y() + y) * stride + m_origin.x() * 4,
                         std::size_t(w) * 4);
        };
        if (far.y() > m_origin.y())
            for (int y = h - 1; y >= 0; --y)
                moveRow(y);
        else
            for (int y = 0; y < h; ++y)
                moveRow(y);
        m_origin = far;
        to = m_origin - QPoint(dx, dy);
    }
    m_origin = to;
    MakeView();
    keep(true);
    return true;
}

void BufferedWindow::Invalidate()
{
    InvalidateRect(ClientRect());
}

void BufferedWindow::InvalidateRect(const Rect& rect)
{
    Rect r{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width()),
           std::min(rect.bottom, height())};
    if (r.IsEmpty())
        return;
    m_invalid = Union(m_invalid, r);
    update(ToQt(r));
}

void BufferedWindow::UpdateWindow()
{
    PaintPending();
}

void BufferedWindow::ShowChanged(const Rect& rect)
{
    if (!m_painting && !rect.IsEmpty())
        update(ToQt(rect));
}

void BufferedWindow::ScrollRect(int dx, int dy, const Rect& rect)
{
    const Rect r{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width()),
                 std::min(rect.bottom, height())};
    if (r.IsEmpty() || (dx == 0 && dy == 0) || !Pixels())
        return;
    // The screen moves its own pixels (pending repaints move with them, the uncovered
    // part is shown again) while helper threads move the buffer's; nothing is shown
    // from the buffer's move itself.
    const bool painting = std::exchange(m_painting, true);
    if (MoveView(dx, dy, r)) {
        // The paint event shows the moved rectangle from the buffer, on the parallel
        // loop where the screen is a plain image.
        if (!painting)
            update(ToQt(r));
    } else {
        DeviceContext dc(*this, r);
        dc.ScrollPixels(dx, dy, r, [&] {
            if (!painting)
                scroll(dx, dy, ToQt(r));
        });
    }
    m_painting = painting;
}

void BufferedWindow::PaintPending()
{
    if (!Pixels() || m_invalid.IsEmpty())
        return;
    const Rect area = std::exchange(m_invalid, Rect{});
    struct Painting {
        bool& flag;
        ~Painting() { flag = false; }
    } painting{m_painting};
    m_painting = true;
    {
        DeviceContext dc(*this, area);
        OnPaint(dc);
    }
    update(ToQt(area));
}

void BufferedWindow::OnPaint(DeviceContext& dc)
{
    dc.FillRect(dc.GetClipBox(), Rgb(255, 255, 255));
}

void BufferedWindow::paintEvent(QPaintEvent* event)
{
    PaintPending();
    if (m_buffer.isNull())
        return;
    QPainter painter(this);
    if (CopyToScreen(painter, event->region()))
        return;
    const QRect r = event->rect();
    painter.drawImage(r, m_buffer, r);
}

bool BufferedWindow::CopyToScreen(QPainter& painter, const QRegion& region)
{
    // The screen is a plain 32-bit image of the window's pixels at one pixel per
    // pixel, this window at a whole offset in it: the rows go over on the parallel
    // loop. Anything else is the painter's.
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image)
        return false;
    auto* screen = static_cast<QImage*>(device);
    const QTransform t = painter.deviceTransform();
    if ((screen->format() != QImage::Format_RGB32 && screen->format() != QImage::Format_ARGB32_Premultiplied) ||
        !screen->isDetached() || screen->devicePixelRatio() != 1.0 || t.type() > QTransform::TxTranslate ||
        t.dx() != std::trunc(t.dx()) || t.dy() != std::trunc(t.dy()))
        return false;
    const QPoint offset(int(t.dx()), int(t.dy()));
    QRegion area = region.intersected(m_buffer.rect()).translated(offset).intersected(screen->rect());
    if (!engine->systemClip().isEmpty())
        area = area.intersected(engine->systemClip());
    uchar* const target = screen->bits();
    const qsizetype targetStride = screen->bytesPerLine(), sourceStride = m_buffer.bytesPerLine();
    const uchar* const source = m_buffer.constBits();
    for (const QRect& r : area) {
        const std::size_t bytes = std::size_t(r.width()) * 4;
        const int threads = ParallelThreadsFor(std::int64_t(bytes) * r.height());
        ParallelFor(r.height(), std::max(16, r.height() / (4 * threads) + 1), threads,
                    [&](std::int64_t b, std::int64_t e, int) {
                        for (std::int64_t j = b; j < e; ++j) {
                            const std::int64_t y = r.top() + j;
                            std::memcpy(target + y * targetStride + std::int64_t(r.left()) * 4,
                                        source + (y - offset.y()) * sourceStride + std::int64_t(r.left() - offset.x()) * 4,
                                        bytes);
                        }
                    });
    }
    return true;
}

void BufferedWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Pixels();
}

void BufferedWindow::SetCapture()
{
    grabMouse();
    m_capture = true;
}

void BufferedWindow::ReleaseCapture()
{
    if (!m_capture)
        return;
    m_capture = false;
    if (QWidget::mouseGrabber() == this)
        releaseMouse();
}

void BufferedWindow::EndCapture()
{
    ReleaseCapture();
    OnCaptureLost();
}

bool BufferedWindow::event(QEvent* event)
{
    if (m_capture) {
        switch (event->type()) {
        case QEvent::FocusOut:
        case QEvent::Hide:
        case QEvent::WindowDeactivate:
            EndCapture();
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            if (QWidget::mouseGrabber() != this)
                EndCapture();
            break;
        default:
            break;
        }
    }
    return QWidget::event(event);
}

void BufferedWindow::ShowCursor(bool show)
{
    m_cursorHidden = !show;
    setCursor(show ? m_cursor : QCursor(Qt::BlankCursor));
}

bool BufferedWindow::SetCursorCode(int code)
{
    const auto* row = std::find_if(std::begin(kCursorCodes), std::end(kCursorCodes),
                                   [code](const CursorCode& c) { return c.code == code; });
    if (row == std::end(kCursorCodes))
        return false;
    m_cursor = QCursor(row->shape);
    if (!m_cursorHidden)
        setCursor(m_cursor);
    return true;
}

bool BufferedWindow::SetCursorResource(unsigned id, const char* module)
{
    const CursorResource* resource = FindCursor(id, module);
    if (resource == nullptr || resource->picture == nullptr)
        return false;
    const QPixmap picture(resource->picture);
    if (picture.isNull())
        return false;
    m_cursor = QCursor(picture, resource->hotX, resource->hotY);
    if (!m_cursorHidden)
        setCursor(m_cursor);
    return true;
}

}  // namespace plat
