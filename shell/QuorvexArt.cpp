#include "QuorvexArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

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
