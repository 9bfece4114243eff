#include "QuorvexArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <algorithm>

namespace {

QPixmap Blank(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A framed picture: sky, a mountain and a sun.
void DrawView(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(140, 190, 235));
    p.drawRect(3, 5, 25, 21);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 60));
    p.drawEllipse(QPoint(22, 11), 3, 3);
    p.setBrush(QColor(70, 120, 60));
    p.drawPolygon(QPolygon({QPoint(4, 26), QPoint(13, 13), QPoint(19, 20), QPoint(22, 17), QPoint(28, 26)}));
}

// A cube seen from above one corner.
void DrawCube(QPainter& p)
{
    p.setPen(QPen(QColor(30, 30, 60), 1));
    p.setBrush(QColor(120, 150, 220));
    p.drawPolygon(QPolygon({QPoint(16, 3), QPoint(29, 9), QPoint(16, 15), QPoint(3, 9)}));
    p.setBrush(QColor(70, 100, 180));
    p.drawPolygon(QPolygon({QPoint(3, 9), QPoint(16, 15), QPoint(16, 29), QPoint(3, 23)}));
    p.setBrush(QColor(40, 65, 140));
    p.drawPolygon(QPolygon({QPoint(16, 15), QPoint(29, 9), QPoint(29, 23), QPoint(16, 29)}));
}

// Two arrows, one each way, between two sheets.
void DrawExchange(QPainter& p)
{
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(2, 4, 10, 13);
    p.drawRect(19, 15, 10, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 140, 60));
    p.drawPolygon(QPolygon(
        {QPoint(13, 8), QPoint(22, 8), QPoint(22, 5), QPoint(28, 10), QPoint(22, 15), QPoint(22, 12), QPoint(13, 12)}));
    p.setBrush(QColor(190, 60, 40));
    p.drawPolygon(QPolygon(
        {QPoint(18, 20), QPoint(9, 20), QPoint(9, 17), QPoint(3, 22), QPoint(9, 27), QPoint(9, 24), QPoint(18, 24)}));
}

}  // namespace

QPixmap QuorvexToolImage(int i)
{
    if (i < 0 || i > 2)
        return {};
    QPixmap pixmap = Blank(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (i == 0)
        DrawView(p);
    else if (i == 1)
        DrawCube(p);
    else
        DrawExchange(p);
    return pixmap;
}

QIcon QuorvexIcon()
{
    QPixmap pixmap = Blank(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 60, 120));
    p.drawRoundedRect(1, 1, 30, 30, 6, 6);
    // Radar sweep: rings and a beam.
    p.setPen(QPen(QColor(120, 220, 140), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPoint(16, 16), 11, 11);
    p.drawEllipse(QPoint(16, 16), 5, 5);
    p.drawLine(16, 16, 25, 8);
    return QIcon(pixmap);
}

QImage QuorvexBitmap(const std::string& name)
{
    const bool gray = name == "IDB_BITMAP_TOOL_FILES_GRAY";
    if (!gray && name != "IDB_BITMAP_TOOL_FILES")
        return {};
    QImage strip(96, 32, QImage::Format_RGB32);
    strip.fill(QColor::fromRgb(kToolMaskColor));
    {
        QPainter p(&strip);
        for (int i = 0; i < 3; ++i)
            p.drawPixmap(32 * i, 0, QuorvexToolImage(i));
    }
    if (gray) {
        for (int y = 0; y < strip.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(strip.scanLine(y));
            for (int x = 0; x < strip.width(); ++x) {
                if ((row[x] & 0xFFFFFF) == kToolMaskColor)
                    continue;
                // Lighter than plain grey, as a resting icon looks.
                const int g = std::min(249, 90 + qGray(row[x]) * 2 / 3);
                row[x] = qRgb(g, g, g);
            }
        }
    }
    return strip;
}

QImage QuorvexAboutPicture()
{
    QImage image(353, 93, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 353, 93);
    sky.setColorAt(0, QColor(20, 40, 90));
    sky.setColorAt(1, QColor(50, 110, 170));
    p.fillRect(image.rect(), sky);
    // A radar's sweep over a strip of ground, and the name.
    p.setPen(QPen(QColor(120, 220, 140, 160), 1.5));
    for (int r = 18; r <= 72; r += 18)
        p.drawEllipse(QPoint(52, 46), r, r);
    p.setPen(QPen(QColor(160, 255, 170), 2.5));
    p.drawLine(52, 46, 110, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 110, 60));
    p.drawPolygon(QPolygon({QPoint(0, 93), QPoint(0, 80), QPoint(60, 70), QPoint(120, 78), QPoint(200, 66),
                            QPoint(280, 76), QPoint(353, 68), QPoint(353, 93)}));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(34);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(235, 240, 250));
    p.drawText(QRect(120, 8, 225, 48), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quorvex"));
    font.setPixelSize(12);
    font.setBold(false);
    p.setFont(font);
    p.setPen(QColor(200, 215, 235));
    p.drawText(QRect(122, 50, 225, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("radar image suite"));
    return image;
}
