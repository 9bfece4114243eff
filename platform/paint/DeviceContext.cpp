#include "platform/paint/DeviceContext.h"

#include <immintrin.h>

#include <QFontMetrics>
#include <QPaintDevice>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/BufferedWindow.h"
#include "platform/threads/ParallelFor.h"

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

// Logical to device pixels without overflow.
int Shift(int v, int org)
{
    return int(std::clamp<std::int64_t>(std::int64_t(v) - org, INT_MIN, INT_MAX));
}

Rect Shift(const Rect& r, int orgX, int orgY)
{
    return Rect{Shift(r.left, orgX), Shift(r.top, orgY), Shift(r.right, orgX), Shift(r.bottom, orgY)};
}

// a / b rounded half up, b > 0.
std::int64_t RoundDiv(__int128 a, std::int64_t b)
{
    __int128 n = 2 * a + b, d = 2 * __int128(b);
    __int128 q = n / d;
    if (n % d != 0 && n < 0)
        --q;
    return std::int64_t(q);
}

}  // namespace

DeviceContext::DeviceContext(int width, int height) : m_kind(Kind::Memory)
{
    if (width > 0 && height > 0) {
        m_image = QImage(width, height, QImage::Format_RGB32);
        if (!m_image.isNull())
            m_image.fill(Qt::black);
    }
}

DeviceContext::DeviceContext(QPaintDevice* target, const Rect& clip) : m_kind(Kind::Device)
{
    if (target && m_painter.begin(target)) {
        m_device = Intersect(Rect{0, 0, target->width(), target->height()}, clip);
        m_font = m_painter.font();
    }
    ApplyClip();
}

DeviceContext::DeviceContext(BufferedWindow& window, const Rect& clip)
    : m_kind(Kind::Window), m_window(&window), m_device(clip), m_font(window.font())
{}

DeviceContext::~DeviceContext()
{
    if (m_painter.isActive())
        m_painter.end();
}

bool DeviceContext::IsValid() const
{
    return m_kind == Kind::Device ? m_painter.isActive() : Pixels() != nullptr;
}

QImage* DeviceContext::Pixels() const
{
    switch (m_kind) {
    case Kind::Memory:
        return m_image.isNull() ? nullptr : const_cast<QImage*>(&m_image);
    case Kind::Window:
        return m_window ? static_cast<BufferedWindow*>(m_window.data())->Pixels() : nullptr;
    case Kind::Device:
        break;
    }
    return nullptr;
}

Rect DeviceContext::DeviceArea() const
{
    if (m_kind == Kind::Device)
        return m_device;
    const QImage* pixels = Pixels();
    if (!pixels)
        return Rect{};
    Rect all{0, 0, pixels->width(), pixels->height()};
    return m_kind == Kind::Window ? Intersect(all, m_device) : all;
}

Rect DeviceContext::ClipArea() const
{
    return m_clipped ? Intersect(DeviceArea(), m_clip) : DeviceArea();
}

void DeviceContext::ApplyClip()
{
    // Contexts over images take a painter for each drawing; only a device context keeps one.
    if (!m_painter.isActive())
        return;
    m_painter.resetTransform();
    m_painter.setClipRect(ToQt(ClipArea()));
    m_painter.translate(-m_orgX, -m_orgY);
}

template <class F>
void DeviceContext::Paint(const Rect& touched, F&& paint)
{
    if (m_kind == Kind::Device) {
        if (m_painter.isActive())
            paint(m_painter);
        return;
    }
    QImage* pixels = Pixels();
    Rect area = ClipArea();
    if (!pixels || area.IsEmpty())
        return;
    QPainter painter(pixels);
    painter.setClipRect(ToQt(area));
    painter.translate(-m_orgX, -m_orgY);
    painter.setFont(m_font);
    paint(painter);
    painter.end();
    Shown(Intersect(area, touched));
}

void DeviceContext::Shown(const Rect& device) const
{
    if (m_kind == Kind::Window && m_window && !device.IsEmpty())
        static_cast<BufferedWindow*>(m_window.data())->ShowChanged(device);
}

void DeviceContext::SetWindowOrg(int x, int y)
{
    m_orgX = x;
    m_orgY = y;
    ApplyClip();
}

Rect DeviceContext::GetClipBox() const
{
    Rect area = ClipArea();
    if (area.IsEmpty())
        return Rect{};
    return Rect{area.left + m_orgX, area.top + m_orgY, area.right + m_orgX, area.bottom + m_orgY};
}

void DeviceContext::SelectClipRect(const Rect& rect)
{
    m_clip = Shift(rect, m_orgX, m_orgY);
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
    Rect device = Shift(rect, m_orgX, m_orgY);
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

Rop2 DeviceContext::SetROP2(Rop2 mode)
{
    return std::exchange(m_rop, mode);
}

void DeviceContext::FillRect(const Rect& rect, ColorRef color)
{
    if (rect.IsEmpty())
        return;
    Paint(Shift(rect, m_orgX, m_orgY), [&](QPainter& p) { p.fillRect(ToQt(rect), ToQt(color)); });
}

QPoint DeviceContext::SetBrushOrg(int x, int y)
{
    const QPoint old(m_brushX, m_brushY);
    m_brushX = x;
    m_brushY = y;
    return old;
}

void DeviceContext::FillRect(const Rect& rect, const Pattern& pattern)
{
    if (rect.IsEmpty())
        return;
    const auto colour = [](ColorRef c) { return qRgb(int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c))); };
    const auto place = [](std::int64_t v, int origin) { return int(((v - origin) % 8 + 8) % 8); };
    QImage* pixels = Pixels();
    if (!pixels) {
        // A painter's device: a texture brush anchored at the origin.
        QImage tile(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                tile.setPixel(x, y, colour((pattern.rows[y] >> (7 - x)) & 1 ? pattern.ink : pattern.paper));
        Paint(Shift(rect, m_orgX, m_orgY), [&](QPainter& p) {
            p.setBrushOrigin(m_brushX, m_brushY);
            p.fillRect(ToQt(rect), QBrush(tile));
        });
        return;
    }
    const Rect dev = Intersect(Shift(rect, m_orgX, m_orgY), ClipArea());
    if (dev.IsEmpty())
        return;
    // One row of colours per pattern row over the rectangle's columns; each device row
    // copies its own.
    const int w = dev.Width();
    std::vector<QRgb> rows(size_t(8) * size_t(w));
    for (int r = 0; r < 8; ++r)
        for (int i = 0; i < w; ++i) {
            const int x = place(std::int64_t(dev.left) + i + m_orgX, m_brushX);
            rows[size_t(r) * size_t(w) + size_t(i)] = colour((pattern.rows[r] >> (7 - x)) & 1 ? pattern.ink : pattern.paper);
        }
    unsigned char* const base = pixels->bits();
    const std::int64_t stride = pixels->bytesPerLine();
    const int threads = ParallelThreadsFor(std::int64_t(w) * dev.Height() * std::int64_t(sizeof(QRgb)));
    ParallelFor(dev.Height(), std::max<std::int64_t>(16, dev.Height() / (4 * threads) + 1), threads,
                [&](std::int64_t b, std::int64_t e, int) {
                    for (std::int64_t j = b; j < e; ++j) {
                        const std::int64_t y = dev.top + j;
                        const int r = place(y + m_orgY, m_brushY);
                        std::memcpy(base + y * stride + std::int64_t(dev.left) * std::int64_t(sizeof(QRgb)),
                                    &rows[size_t(r) * size_t(w)], size_t(w) * sizeof(QRgb));
                    }
                });
    Shown(dev);
}

void DeviceContext::Rectangle(const Rect& rect)
{
    if (rect.IsEmpty())
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

unsigned DeviceContext::SetTextAlign(unsigned align)
{
    return std::exchange(m_textAlign, align);
}

int DeviceContext::SetTextEscapement(int tenths)
{
    return std::exchange(m_escapement, tenths);
}

void DeviceContext::TextOut(int x, int y, const std::string& text)
{
    if (m_textAlign == (TA_LEFT | TA_TOP) && m_escapement == 0) {
        DrawText(text, Rect{x, y, x + (1 << 20), y + (1 << 20)}, DT_LEFT);
        return;
    }
    const QString s = QString::fromStdString(text);
    const QFontMetrics metrics(m_font);
    const int width = metrics.horizontalAdvance(s);
    // The text cell relative to the reference point, before turning.
    const unsigned across = m_textAlign & TA_CENTER;
    const int left = across == TA_CENTER ? -width / 2 : across == TA_RIGHT ? -width : 0;
    const unsigned down = m_textAlign & TA_BASELINE;
    const int top = down == TA_BASELINE ? -metrics.ascent() : down == TA_BOTTOM ? -metrics.height() : 0;
    Paint(ClipArea(), [&](QPainter& p) {
        p.save();
        p.setFont(m_font);
        p.translate(x, y);
        // Screen y runs down, so a counterclockwise turn is a negative angle.
        p.rotate(-m_escapement / 10.0);
        if (m_bkMode == OPAQUE)
            p.fillRect(QRect(left, top, width, metrics.height()), ToQt(m_bkColor));
        p.setPen(ToQt(m_textColor));
        p.drawText(left, top + metrics.ascent(), s);
        p.restore();
    });
}

namespace {

int DrawTextFlags(unsigned format)
{
    int flags = (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    if (format & DT_SINGLELINE) {
        flags |= Qt::TextSingleLine;
        flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
    }
    if (format & DT_RTLREADING)
        flags |= Qt::TextForceRightToLeft;
    return flags;
}

}  // namespace

void DeviceContext::DrawText(const std::string& text, const Rect& rect, unsigned format)
{
    Rect box = rect;
    DrawText(text, box, format & ~unsigned(DT_CALCRECT));
}

int DeviceContext::DrawText(const std::string& text, Rect& rect, unsigned format)
{
    const int flags = DrawTextFlags(format);
    QString s = QString::fromStdString(text);
    const QFontMetrics metrics(m_font);
    if (format & DT_CALCRECT) {
        const QRect extent = (format & DT_SINGLELINE)
                                 ? QRect(0, 0, metrics.horizontalAdvance(s), metrics.height())
                                 : metrics.boundingRect(QRect(0, 0, std::max(0, rect.Width()), INT_MAX / 2),
                                                        flags | Qt::TextWordWrap, s);
        rect.right = rect.left + extent.width();
        rect.bottom = rect.top + extent.height();
        return extent.height();
    }
    if ((format & DT_END_ELLIPSIS) && (format & DT_SINGLELINE))
        s = metrics.elidedText(s, Qt::ElideRight, std::max(0, rect.Width()));
    QRect box = ToQt(rect);
    int height = 0;
    Paint(ClipArea(), [&](QPainter& p) {
        p.setFont(m_font);
        const QRect used = p.boundingRect(box, flags, s);
        height = used.height();
        if (m_bkMode == OPAQUE)
            p.fillRect(used, ToQt(m_bkColor));
        p.setPen(ToQt(m_textColor));
        p.drawText(box, flags, s);
    });
    return height;
}

void DeviceContext::BitBlt(int x, int y, int width, int height, const DeviceContext& src, int xSrc, int ySrc)
{
    const QImage* from = src.Pixels();
    if (!from || width <= 0 || height <= 0)
        return;
    // Pixels of one format are copied row by row on the parallel loop; a copy within
    // the context's own pixels must go that way.
    const QImage* pixels = Pixels();
    if (pixels && (from == pixels || (from->format() == pixels->format() && from->depth() == 32))) {
        CopyPixels(*from, Shift(x, m_orgX), Shift(y, m_orgY), width, height, Shift(xSrc, src.m_orgX),
                   Shift(ySrc, src.m_orgY));
        return;
    }
    Rect touched = Shift(Rect{x, y, x + width, y + height}, m_orgX, m_orgY);
    Paint(touched, [&](QPainter& p) {
        p.drawImage(QRect(x, y, width, height), *from, QRect(xSrc - src.m_orgX, ySrc - src.m_orgY, width, height));
    });
}

void DeviceContext::StretchBlt(int x, int y, int wDst, int hDst, const DeviceContext& src, int xSrc, int ySrc,
                               int wSrc, int hSrc)
{
    const QImage* from = src.Pixels();
    if (!from || wDst <= 0 || hDst <= 0 || wSrc <= 0 || hSrc <= 0)
        return;
    const QImage part = from->copy(QRect(xSrc - src.m_orgX, ySrc - src.m_orgY, wSrc, hSrc));
    Paint(Shift(Rect{x, y, x + wDst, y + hDst}, m_orgX, m_orgY),
          [&](QPainter& p) { p.drawImage(QRect(x, y, wDst, hDst), part); });
}

void DeviceContext::TransparentBlt(int x, int y, int wDst, int hDst, const DeviceContext& src, int xSrc, int ySrc,
                                   int wSrc, int hSrc, ColorRef transparent)
{
    const QImage* from = src.Pixels();
    if (!from || wDst <= 0 || hDst <= 0 || wSrc <= 0 || hSrc <= 0)
        return;
    QImage part = from->copy(QRect(xSrc - src.m_orgX, ySrc - src.m_orgY, wSrc, hSrc))
                      .convertToFormat(QImage::Format_ARGB32);
    const QRgb key = ToQt(transparent).rgb() & 0xFFFFFF;
    for (int row = 0; row < part.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(part.scanLine(row));
        for (int col = 0; col < part.width(); ++col)
            if ((line[col] & 0xFFFFFF) == key)
                line[col] = 0;
    }
    Paint(Shift(Rect{x, y, x + wDst, y + hDst}, m_orgX, m_orgY),
          [&](QPainter& p) { p.drawImage(QRect(x, y, wDst, hDst), part); });
}

void DeviceContext::ScrollPixels(int dx, int dy, const Rect& rect, FunctionRef<void()> alongside)
{
    const QImage* pixels = Pixels();
    const Rect from = Shift(rect, m_orgX, m_orgY);
    if (pixels && !from.IsEmpty() && (dx != 0 || dy != 0))
        CopyPixels(*pixels, Shift(from.left, -dx), Shift(from.top, -dy), from.Width(), from.Height(), from.left,
                   from.top, &alongside);
    else
        alongside();
}

// A memmove per row. Within one buffer, rows d apart (d the vertical shift) form
// chains that must run in order from the far end; different chains, and all rows
// when nothing overlaps, go on the parallel loop.
void DeviceContext::CopyPixels(const QImage& from, int left, int top, int width, int height, int srcLeft, int srcTop,
                               FunctionRef<void()>* alongside)
{
    bool ranAlongside = alongside == nullptr;
    struct Finally {
        FunctionRef<void()>* work;
        bool& ran;
        ~Finally()
        {
            if (!ran)
                (*work)();
        }
    } finally{alongside, ranAlongside};
    QImage* pixels = Pixels();
    const Rect area = ClipArea();
    if (!pixels || area.IsEmpty())
        return;
    // Clip the destination to the clip area and the source to the buffer.
    std::int64_t k0 = 0, k1 = width, j0 = 0, j1 = height;
    k0 = std::max({k0, std::int64_t(area.left) - left, -std::int64_t(srcLeft)});
    k1 = std::min({k1, std::int64_t(area.right) - left, std::int64_t(from.width()) - srcLeft});
    j0 = std::max({j0, std::int64_t(area.top) - top, -std::int64_t(srcTop)});
    j1 = std::min({j1, std::int64_t(area.bottom) - top, std::int64_t(from.height()) - srcTop});
    if (k0 >= k1 || j0 >= j1)
        return;
    const bool within = &from == pixels;
    const std::int64_t rows = j1 - j0, bytes = (k1 - k0) * std::int64_t(sizeof(QRgb));
    const std::int64_t shift = std::int64_t(top) - srcTop;
    unsigned char* const base = pixels->bits();
    const unsigned char* const source = within ? base : from.constBits();
    const std::int64_t stride = pixels->bytesPerLine(), sourceStride = from.bytesPerLine();
    auto moveRow = [&](std::int64_t j) {
        std::memmove(base + (top + j) * stride + (left + k0) * std::int64_t(sizeof(QRgb)),
                     source + (srcTop + j) * sourceStride + (srcLeft + k0) * std::int64_t(sizeof(QRgb)), size_t(bytes));
    };
    const int threads = ParallelThreadsFor(rows * bytes);
    // The caller's first piece starts with the work alongside.
    const auto startAlongside = [&](int slot) {
        if (slot == 0 && !ranAlongside) {
            ranAlongside = true;
            (*alongside)();
        }
    };
    const std::int64_t d = !within ? 0 : shift < 0 ? -shift : shift;
    if (d == 0 || d >= rows) {
        ParallelFor(rows, std::max<std::int64_t>(16, rows / (4 * threads) + 1), threads,
                    [&](std::int64_t b, std::int64_t e, int slot) {
                        startAlongside(slot);
                        for (std::int64_t j = b; j < e; ++j)
                            moveRow(j0 + j);
                    });
    } else {
        ParallelFor(d, 1, threads, [&](std::int64_t b, std::int64_t e, int slot) {
            startAlongside(slot);
            for (std::int64_t c = b; c < e; ++c) {
                if (shift > 0)
                    for (std::int64_t j = j1 - 1 - c; j >= j0; j -= d)
                        moveRow(j);
                else
                    for (std::int64_t j = j0 + c; j < j1; j += d)
                        moveRow(j);
            }
        });
    }
    Shown(Rect{int(left + k0), int(top + j0), int(left + k1), int(top + j1)});
}

void DeviceContext::StretchDIBits8(const Rect& dest, int srcWidth, int srcHeight, const unsigned char* rows,
                                   const ColorRef* colors)
{
    if (!rows || !colors || srcWidth <= 0 || srcHeight <= 0 || dest.IsEmpty())
        return;
    BitmapInfo info;
    info.width = srcWidth;
    info.height = srcHeight;
    info.bitCount = 8;
    for (int i = 0; i < 256; ++i)
        info.colors[i] = RgbQuad{std::uint8_t(GetBValue(colors[i])), std::uint8_t(GetGValue(colors[i])),
                                 std::uint8_t(GetRValue(colors[i])), 0};
    const std::size_t bytes = std::size_t((std::int64_t(srcWidth) + 3) / 4 * 4) * std::size_t(srcHeight);
    StretchDIBits(dest.left, dest.top, dest.Width(), dest.Height(), 0, 0, srcWidth, srcHeight, rows, bytes, info);
}

void DeviceContext::SetDIBitsToDevice(int xDst, int yDst, int width, int height, int xSrc, int ySrc, const void* bits,
                                      std::size_t bitsBytes, const BitmapInfo& info)
{
    StretchDIBits(xDst, yDst, width, height, xSrc, ySrc, width, height, bits, bitsBytes, info);
}

void DeviceContext::SetDIBitsToDevice(int xDst, int yDst, int width, int height, int xSrc, int ySrc, const void* bits,
                                      std::size_t bitsBytes, const BitmapInfo& info, FunctionRef<void(RowsReady)> make)
{
    StretchDIBits(xDst, yDst, width, height, xSrc, ySrc, width, height, bits, bitsBytes, info, make);
}

void DeviceContext::StretchDIBits(int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc, int hSrc,
                                  const void* bits, std::size_t bitsBytes, const BitmapInfo& info)
{
    StretchDIBits(xDst, yDst, wDst, hDst, xSrc, ySrc, wSrc, hSrc, bits, bitsBytes, info,
                  [](RowsReady ready) { ready(0, INT64_MAX); });
}

namespace {

// A colour table, also split into blue, green and red bytes for the wide lookup.
struct ColourTable {
    QRgb colours[256];
    alignas(64) unsigned char channels[3][256];

    explicit ColourTable(const RgbQuad* quads)
    {
        for (int i = 0; i < 256; ++i) {
            colours[i] = qRgb(quads[i].red, quads[i].green, quads[i].blue);
            channels[0][i] = quads[i].blue;
            channels[1][i] = quads[i].green;
            channels[2][i] = quads[i].red;
        }
    }
};

// 64 colours at a time: each channel is a byte lookup in a 256-entry table (two
// 128-entry permutes, picked by the index's top bit); the channels are then
// interleaved into opaque pixels.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void LookupColoursVbmi(const unsigned char* from, QRgb* out,
                                                                              int n, const ColourTable& table)
{
    __m512i t[3][4];
    for (int c = 0; c < 3; ++c)
        for (int q = 0; q < 4; ++q)
            t[c][q] = _mm512_load_si512(table.channels[c] + 64 * q);
    const __m512i alpha = _mm512_set1_epi8(char(0xFF));
    for (int i = 0; i < n; i += 64) {
        // The last block reads and writes only the pixels left (masked lanes never fault).
        const int left = std::min(64, n - i);
        const __mmask64 in = left == 64 ? ~__mmask64(0) : (__mmask64(1) << left) - 1;
        const __m512i idx = _mm512_maskz_loadu_epi8(in, from + i);
        const __mmask64 high = _mm512_movepi8_mask(idx);
        __m512i ch[3];
        for (int c = 0; c < 3; ++c)
            ch[c] = _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(t[c][0], idx, t[c][1]),
                                           _mm512_permutex2var_epi8(t[c][2], idx, t[c][3]));
        // Per 128-bit lane: pixels 16L+0..3, +4..7, +8..11, +12..15 of the four.
        const __m512i bgLow = _mm512_unpacklo_epi8(ch[0], ch[1]), raLow = _mm512_unpacklo_epi8(ch[2], alpha);
        const __m512i bgHigh = _mm512_unpackhi_epi8(ch[0], ch[1]), raHigh = _mm512_unpackhi_epi8(ch[2], alpha);
        const __m512i p0 = _mm512_unpacklo_epi16(bgLow, raLow), p1 = _mm512_unpackhi_epi16(bgLow, raLow);
        const __m512i p2 = _mm512_unpacklo_epi16(bgHigh, raHigh), p3 = _mm512_unpackhi_epi16(bgHigh, raHigh);
        // Transpose the 4 x 4 lanes so that every register holds 16 pixels in order.
        const __m512i a0 = _mm512_permutex2var_epi64(p0, _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11), p1);
        const __m512i a1 = _mm512_permutex2var_epi64(p2, _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11), p3);
        const __m512i a2 = _mm512_permutex2var_epi64(p0, _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15), p1);
        const __m512i a3 = _mm512_permutex2var_epi64(p2, _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15), p3);
        const __m512i even = _mm512_setr_epi64(0, 1, 4, 5, 8, 9, 12, 13), odd = _mm512_setr_epi64(2, 3, 6, 7, 10, 11, 14, 15);
        const __m512i pixels[4] = {_mm512_permutex2var_epi64(a0, even, a1), _mm512_permutex2var_epi64(a0, odd, a1),
                                   _mm512_permutex2var_epi64(a2, even, a3), _mm512_permutex2var_epi64(a2, odd, a3)};
        for (int q = 0; q < 4; ++q) {
            const int count = std::min(left - 16 * q, 16);
            if (count > 0)
                _mm512_mask_storeu_epi32(out + i + 16 * q, __mmask16((1u << count) - 1), pixels[q]);
        }
    }
}

bool HasVbmi()
{
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has;
}

// out[i] = the colour of entry from[i], for n pixels.
void LookupColours(const unsigned char* from, QRgb* out, int n, const ColourTable& table)
{
    if (n >= 64 && HasVbmi()) {
        LookupColoursVbmi(from, out, n, table);
        return;
    }
    for (int i = 0; i < n; ++i)
        out[i] = table.colours[from[i]];
}

// Source index under the centre of destination pixel k of n spread over m source pixels.
inline std::int64_t CentreSource(std::int64_t k, std::int64_t n, std::int64_t m)
{
    return (2 * k + 1) * m / (2 * n);
}

}  // namespace

void DeviceContext::StretchDIBits(int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc, int hSrc,
                                  const void* bits, std::size_t bitsBytes, const BitmapInfo& info,
                                  FunctionRef<void(RowsReady)> make)
{
    // The maker runs whatever is drawn: its caller counts on the picture being made.
    const auto nothing = [&] { make([](std::int64_t, std::int64_t) {}); };
    if (!bits || (info.bitCount != 8 && info.bitCount != 24) || info.width <= 0 || info.height == 0 || wDst == 0 ||
        hDst == 0 || wSrc <= 0 || hSrc <= 0 || !IsValid())
        return nothing();
    const std::int64_t pictureRows = std::abs(std::int64_t(info.height));
    const std::int64_t stride = (std::int64_t(info.width) * info.bitCount + 31) / 32 * 4;
    if (std::uint64_t(stride) * std::uint64_t(pictureRows) > bitsBytes)
        return nothing();
    const bool topDown = info.height < 0;
    const std::int64_t width = std::abs(std::int64_t(wDst)), height = std::abs(std::int64_t(hDst));
    const std::int64_t left = wDst < 0 ? std::int64_t(xDst) - width + 1 : xDst;
    const std::int64_t top = hDst < 0 ? std::int64_t(yDst) - height + 1 : yDst;

    // The device pixels to fill: the destination within the clip.
    const Rect area = ClipArea();
    const std::int64_t devLeft = std::max<std::int64_t>(left - m_orgX, area.left);
    const std::int64_t devTop = std::max<std::int64_t>(top - m_orgY, area.top);
    const std::int64_t devRight = std::min<std::int64_t>(left + width - m_orgX, area.right);
    const std::int64_t devBottom = std::min<std::int64_t>(top + height - m_orgY, area.bottom);
    if (devLeft >= devRight || devTop >= devBottom)
        return nothing();
    const Rect dev{int(devLeft), int(devTop), int(devRight), int(devBottom)};

    // Per device column the source column (-1: outside the picture), per device row the stored row.
    std::vector<std::int32_t> cols(size_t(dev.Width()));
    for (int dx = dev.left; dx < dev.right; ++dx) {
        std::int64_t k = dx + std::int64_t(m_orgX) - left;
        if (wDst < 0)
            k = width - 1 - k;
        const std::int64_t c = xSrc + CentreSource(k, width, wSrc);
        cols[size_t(dx - dev.left)] = c >= 0 && c < info.width ? std::int32_t(c) : -1;
    }
    const ColourTable table(info.colors);
    const bool straight = info.bitCount == 8 && wDst == wSrc && cols.front() >= 0 && cols.back() >= 0;

    QImage* pixels = Pixels();
    QImage strip;
    if (!pixels) {
        strip = QImage(dev.Width(), dev.Height(), QImage::Format_ARGB32);
        if (strip.isNull())
            return nothing();
        strip.fill(Qt::transparent);
    }
    // Columns of the picture the region reads: an 8-bit row is looked up once into
    // colours, then spread; a repeated stored row is copied from the row above.
    std::int32_t firstCol = INT32_MAX, lastCol = -1;
    for (const std::int32_t c : cols)
        if (c >= 0) {
            firstCol = std::min(firstCol, c);
            lastCol = std::max(lastCol, c);
        }
    if (lastCol < 0)
        return nothing();
    const size_t spanColours = info.bitCount == 8 && !straight ? size_t(lastCol - firstCol + 1) : 0;

    const auto* base = static_cast<const unsigned char*>(bits);
    // The stored row under device row dy, inside the picture or not; it grows with dy
    // or falls with it throughout.
    const auto storedUnder = [&](std::int64_t dy) -> std::int64_t {
        std::int64_t k = dy + std::int64_t(m_orgY) - top;
        if (hDst < 0)
            k = height - 1 - k;
        const std::int64_t partRow = CentreSource(k, height, hSrc);  // from the part's top as shown
        return topDown ? ySrc + partRow : std::int64_t(ySrc) + hSrc - 1 - partRow;
    };
    const bool growing = (hDst > 0) == topDown;
    // The stored row shown on device row dy, or -1.
    const auto storedRow = [&](std::int64_t dy) -> std::int64_t {
        const std::int64_t stored = storedUnder(dy);
        return stored >= 0 && stored < pictureRows ? stored : -1;
    };
    // Rows are reached from the first one: the image detaches here, once, not on the helpers.
    unsigned char* const target = pixels ? pixels->bits() : strip.bits();
    const std::int64_t targetStride = pixels ? pixels->bytesPerLine() : strip.bytesPerLine();
    const int targetTop = pixels ? 0 : dev.top, targetLeft = pixels ? dev.left : 0;
    // Bands of rows on the parallel loop; each band copies its repeated rows itself.
    const auto drawRows = [&](std::int64_t firstRow, std::int64_t endRow, int) {
        // Locals, so the pixel loops keep them in registers across their stores.
        const int n = dev.Width();
        const ColourTable& lookup = table;
        const std::int32_t* const columns = cols.data();
        std::vector<QRgb> rowColours(spanColours);
        std::int64_t lastStored = -1;
        const QRgb* lastOut = nullptr;
        for (std::int64_t dy = firstRow; dy < endRow; ++dy) {
            const std::int64_t stored = storedRow(int(dy));
            if (stored < 0)
                continue;
            const unsigned char* row = base + stored * stride;
            QRgb* out = reinterpret_cast<QRgb*>(target + (dy - targetTop) * targetStride) + targetLeft;
            if (stored == lastStored && lastOut) {
                std::memcpy(out, lastOut, size_t(n) * sizeof(QRgb));
            } else if (straight) {
                LookupColours(row + columns[0], out, n, lookup);
            } else if (info.bitCount == 8) {
                QRgb* colours = rowColours.data() - firstCol;
                LookupColours(row + firstCol, rowColours.data(), int(lastCol - firstCol + 1), lookup);
                for (int i = 0; i < n; ++i)
                    if (const std::int32_t c = columns[i]; c >= 0)
                        out[i] = colours[c];
            } else {
                for (int i = 0; i < n; ++i)
                    if (const std::int32_t c = columns[i]; c >= 0) {
                        const unsigned char* p = row + std::int64_t(c) * 3;
                        out[i] = qRgb(p[2], p[1], p[0]);
                    }
            }
            lastStored = stored;
            lastOut = out;
        }
    };
    // The first device row at or after which pass holds (pass turns true once, for good).
    const auto firstWhere = [&](auto pass) {
        std::int64_t lo = dev.top, hi = dev.bottom;
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (pass(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    // Draws the device rows that show stored rows [first, end): on the parallel loop when
    // they are many, else (a band of the maker's own loop) right here.
    const auto ready = [&](std::int64_t first, std::int64_t end) {
        first = std::max<std::int64_t>(first, 0);
        end = std::min(end, pictureRows);
        if (first >= end)
            return;
        const std::int64_t from = growing ? firstWhere([&](std::int64_t dy) { return storedUnder(dy) >= first; })
                                          : firstWhere([&](std::int64_t dy) { return storedUnder(dy) < end; });
        const std::int64_t to = growing ? firstWhere([&](std::int64_t dy) { return storedUnder(dy) >= end; })
                                        : firstWhere([&](std::int64_t dy) { return storedUnder(dy) < first; });
        if (from >= to)
            return;
        const std::int64_t outBytes = std::int64_t(dev.Width()) * (to - from) * std::int64_t(sizeof(QRgb));
        const int threads = ParallelThreadsFor(outBytes);
        ParallelFor(to - from, std::max<std::int64_t>(16, (to - from) / (4 * threads) + 1), threads,
                    [&](std::int64_t b, std::int64_t e, int slot) { drawRows(from + b, from + e, slot); });
    };
    make(ready);

    Rect touched{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int dy = dev.top; dy < dev.bottom; ++dy)
        if (storedRow(dy) >= 0)
            touched = Rect{dev.left, std::min(touched.top, dy), dev.right, std::max(touched.bottom, dy + 1)};
    if (!pixels && !touched.IsEmpty()) {
        m_painter.save();
        m_painter.resetTransform();
        m_painter.drawImage(QPoint(dev.left, dev.top), strip);
        m_painter.restore();
    }
    Shown(touched);
}

void DeviceContext::MoveTo(int x, int y)
{
    m_posX = x;
    m_posY = y;
}

void DeviceContext::Plot(QImage* pixels, int x, int y, ColorRef color)
{
    if (!pixels) {
        m_painter.fillRect(x, y, 1, 1, ToQt(color));
        return;
    }
    QRgb src = qRgb(int(GetRValue(color)), int(GetGValue(color)), int(GetBValue(color)));
    QRgb& dst = reinterpret_cast<QRgb*>(pixels->scanLine(y))[x];
    // clang-format off
    switch (m_rop) {
    case R2_NOT: dst = ~dst | 0xFF000000u; break;
    case R2_XORPEN: dst = (dst ^ src) | 0xFF000000u; break;
    case R2_MERGEPEN: dst = dst | src; break;
    default: dst = src; break;
    }
    // clang-format on
}

void DeviceContext::SetPixel(int x, int y, ColorRef color)
{
    const std::int64_t px = std::int64_t(x) - m_orgX, py = std::int64_t(y) - m_orgY;
    const Rect area = ClipArea();
    if (!IsValid() || px < area.left || px >= area.right || py < area.top || py >= area.bottom)
        return;
    QImage* pixels = Pixels();
    if (!pixels && m_kind == Kind::Device) {
        m_painter.save();
        m_painter.resetTransform();
    }
    Plot(pixels, int(px), int(py), color);
    if (!pixels && m_kind == Kind::Device)
        m_painter.restore();
    Shown(Rect{int(px), int(py), int(px) + 1, int(py) + 1});
}

void DeviceContext::LineTo(int x, int y)
{
    const std::int64_t x0 = std::int64_t(m_posX) - m_orgX, y0 = std::int64_t(m_posY) - m_orgY;
    const std::int64_t x1 = std::int64_t(x) - m_orgX, y1 = std::int64_t(y) - m_orgY;
    m_posX = x;
    m_posY = y;
    if (m_pen.style == Pen::Null || !IsValid())
        return;
    const Rect area = ClipArea();
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const std::int64_t n = xMajor ? std::abs(dx) : std::abs(dy);  // pixels drawn: 0 .. n - 1
    if (n == 0 || area.IsEmpty())
        return;
    const std::int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    const std::int64_t step = (xMajor ? dx : dy) > 0 ? 1 : -1, dMinor = xMajor ? dy : dx;
    const std::int64_t lo = xMajor ? area.left : area.top, hi = (xMajor ? area.right : area.bottom) - 1;

    // Only the steps whose major coordinate lies in the clip are walked.
    std::int64_t first = step > 0 ? lo - major0 : major0 - hi, last = step > 0 ? hi - major0 : major0 - lo;
    // A wide solid pen draws a band of width pixels across the minor axis, end included.
    const int width = m_pen.style == Pen::Solid ? std::max(1, m_pen.width) : 1;
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, width > 1 ? n : n - 1);

    QImage* pixels = Pixels();
    if (!pixels && m_kind == Kind::Device) {
        m_painter.save();
        m_painter.resetTransform();
        m_painter.setCompositionMode(m_rop == R2_XORPEN     ? QPainter::RasterOp_SourceXorDestination
                                     : m_rop == R2_MERGEPEN ? QPainter::RasterOp_SourceOrDestination
                                     : m_rop == R2_NOT      ? QPainter::RasterOp_NotDestination
                                                            : QPainter::CompositionMode_SourceOver);
    }
    Rect touched{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (std::int64_t i = first; i <= last; ++i) {
        const bool dot = m_pen.style == Pen::Solid || i % 6 < 3;
        if (!dot && m_bkMode == TRANSPARENT)
            continue;
        const std::int64_t major = major0 + step * i, centre = minor0 + RoundDiv(__int128(i) * dMinor, n);
        const std::int64_t minorLo = xMajor ? area.top : area.left, minorHi = xMajor ? area.bottom : area.right;
        const std::int64_t from = std::max(centre - width / 2, minorLo);
        const std::int64_t to = std::min(centre - width / 2 + width, minorHi);
        for (std::int64_t minor = from; minor < to; ++minor) {
            const int px = int(xMajor ? major : minor), py = int(xMajor ? minor : major);
            if (px < area.left || px >= area.right || py < area.top || py >= area.bottom)
                continue;
            Plot(pixels, px, py, dot ? m_pen.color : m_bkColor);
            touched = Rect{std::min(touched.left, px), std::min(touched.top, py), std::max(touched.right, px + 1),
                           std::max(touched.bottom, py + 1)};
        }
    }
    if (!pixels && m_kind == Kind::Device)
        m_painter.restore();
    Shown(touched);
}

}  // namespace plat
