#include "bars/BarPainting.h"

#include <QPainter>

namespace bars {

void Draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    const int x = r.left(), y = r.top(), cx = r.width(), cy = r.height();
    if (cx <= 0 || cy <= 0)
        return;
    p.fillRect(QRect(x, y, cx - 1, 1), topLeft);
    p.fillRect(QRect(x, y, 1, cy - 1), topLeft);
    p.fillRect(QRect(x + cx - 1, y, 1, cy), bottomRight);
    p.fillRect(QRect(x, y + cy - 1, cx, 1), bottomRight);
}

QImage EmbossMask(const QImage& drawn, QRgb face, QRgb light)
{
    const QImage src = drawn.convertToFormat(QImage::Format_RGB32);
    QImage mask(src.size(), QImage::Format_Mono);
    mask.setColor(0, qRgb(255, 255, 255));
    mask.setColor(1, qRgb(0, 0, 0));
    mask.fill(0);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const QRgb c = row[x] | 0xFF000000u;
            if (c != (face | 0xFF000000u) && c != (light | 0xFF000000u))
                mask.setPixel(x, y, 1);
        }
    }
    return mask;
}

namespace {

QImage Ink(const QImage& mask, const QColor& color)
{
    QImage ink(mask.size(), QImage::Format_ARGB32_Premultiplied);
    ink.fill(Qt::transparent);
    const QRgb c = color.rgb() | 0xFF000000u;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            if (mask.pixelIndex(x, y) == 1)
                ink.setPixel(x, y, c);
    return ink;
}

}  // namespace

void PaintEmbossed(QPainter& p, int x, int y, const QImage& mask, const QColor& light, const QColor& dark)
{
    p.drawImage(x + 1, y + 1, Ink(mask, light));
    p.drawImage(x, y, Ink(mask, dark));
}

void DrawDisabledImage(QPainter& p, int x, int y, const QImage& picture, const QColor& face, const QColor& light,
                       const QColor& dark)
{
    QImage drawn(picture.size(), QImage::Format_RGB32);
    drawn.fill(face);
    {
        QPainter q(&drawn);
        q.drawImage(0, 0, picture);
    }
    PaintEmbossed(p, x, y, EmbossMask(drawn, face.rgb(), light.rgb()), light, dark);
}

}  // namespace bars
