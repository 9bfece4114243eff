#include "viewer3d/forms/FormParts.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget* Form)
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        Form->move(screen->availableGeometry().center() - Form->rect().center());
}

QPixmap ToolButtonImage(int Index)
{
    QPixmap image(24, 24);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (Index) {
    case 0: {  // a sheet with a folded corner and a star
        QPainterPath sheet;
        sheet.moveTo(5, 2);
        sheet.lineTo(15, 2);
        sheet.lineTo(20, 7);
        sheet.lineTo(20, 22);
        sheet.lineTo(5, 22);
        sheet.closeSubpath();
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawPath(sheet);
        p.drawLine(15, 2, 15, 7);
        p.drawLine(15, 7, 20, 7);
        p.setPen(QPen(QColor(0xE0, 0xA0, 0x00), 2));
        p.drawLine(9, 14, 15, 14);
        p.drawLine(12, 11, 12, 17);
        break;
    }
    case 1:  // a red cross
        p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(6, 6, 18, 18);
        p.drawLine(18, 6, 6, 18);
        break;
    case 2: {  // an open folder
        p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
        p.setBrush(QColor(0xF0, 0xD0, 0x60));
        p.drawRect(QRectF(3, 7, 16, 12));
        p.drawRect(QRectF(3, 5, 7, 2));
        p.setBrush(QColor(0xFF, 0xE8, 0x90));
        QPolygonF front({QPointF(6, 10), QPointF(22, 10), QPointF(19, 19), QPointF(3, 19)});
        p.drawPolygon(front);
        break;
    }
    case 3:  // a disk
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(0x30, 0x50, 0xA0));
        p.drawRect(QRectF(3.5, 3.5, 17, 17));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 3.5, 9, 6));
        p.setBrush(QColor(0xC0, 0xC0, 0xC0));
        p.drawRect(QRectF(6.5, 13.5, 11, 7));
        break;
    default:
        break;
    }
    return image;
}

QPixmap NewDialogImage(int Index)
{
    // A cube in a colour of its own per index.
    static const QColor kColors[kNewDialogImages] = {
        QColor(0x40, 0x70, 0xC0), QColor(0x40, 0xA0, 0x50), QColor(0xC0, 0x60, 0x30), QColor(0x90, 0x50, 0xB0),
        QColor(0xB0, 0xA0, 0x30), QColor(0x30, 0xA0, 0xA0), QColor(0xA0, 0x40, 0x60), QColor(0x70, 0x70, 0x70),
    };
    QPixmap image(64, 64);
    image.fill(Qt::transparent);
    if (Index < 0 || Index >= kNewDialogImages)
        return image;
    const QColor base = kColors[Index];
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    const QPointF top[] = {{32, 8}, {54, 19}, {32, 30}, {10, 19}};
    const QPointF left[] = {{10, 19}, {32, 30}, {32, 56}, {10, 45}};
    const QPointF right[] = {{32, 30}, {54, 19}, {54, 45}, {32, 56}};
    p.setBrush(base.lighter(150));
    p.drawPolygon(top, 4);
    p.setBrush(base);
    p.drawPolygon(left, 4);
    p.setBrush(base.darker(140));
    p.drawPolygon(right, 4);
    return image;
}
