#include "dialogs/DialogArt.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cstring>

#include "dialogs/FilePreview.h"

namespace {

std::vector<unsigned char> DrawDefaultPicture(const char* line1, const char* line2)
{
    const int side = kPreviewPictureSide;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(192);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        // A picture frame with hills and a sun, then the words.
        p.setPen(QPen(QColor(96, 96, 96), 3));
        p.setBrush(QColor(224, 224, 224));
        p.drawRect(40, 28, 120, 90);
        QPainterPath hills;
        hills.moveTo(42, 116);
        hills.lineTo(80, 70);
        hills.lineTo(104, 96);
        hills.lineTo(124, 80);
        hills.lineTo(158, 116);
        hills.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 128, 128));
        p.drawPath(hills);
        p.setBrush(QColor(255, 255, 255));
        p.drawEllipse(QPoint(130, 50), 10, 10);
        p.setPen(QColor(48, 48, 48));
        QFont font;
        font.setPixelSize(16);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRect(0, 128, side, 22), Qt::AlignCenter, QString::fromUtf8(line1));
        p.drawText(QRect(0, 150, side, 22), Qt::AlignCenter, QString::fromUtf8(line2));
    }
    std::vector<unsigned char> rows(size_t(side) * side);
    for (int y = 0; y < side; ++y)
        std::memcpy(rows.data() + size_t(side - 1 - y) * side, image.constScanLine(y), size_t(side));
    return rows;
}

QIcon DrawIcon(bool save)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    if (save) {
        // A disk.
        p.setBrush(QColor(70, 110, 180));
        p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
        p.setBrush(QColor(240, 240, 240));
        p.drawRect(QRectF(9, 5, 14, 9));
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(QRectF(10, 19, 12, 8));
    } else {
        // An open folder.
        p.setBrush(QColor(200, 160, 60));
        p.drawRect(QRectF(3, 8, 22, 18));
        p.setBrush(QColor(240, 200, 90));
        QPolygonF flap;
        flap << QPointF(6, 14) << QPointF(29, 14) << QPointF(25, 26) << QPointF(3, 26);
        p.drawPolygon(flap);
    }
    return QIcon(pixmap);
}

}  // namespace

const std::vector<unsigned char>& DefaultPreviewPicture(bool russian)
{
    static const std::vector<unsigned char> english = DrawDefaultPicture("No preview", "available");
    static const std::vector<unsigned char> russianPicture = DrawDefaultPicture("Просмотр", "недоступен");
    return russian ? russianPicture : english;
}

const std::vector<unsigned char>& DefaultPreviewPicture()
{
    return DefaultPreviewPicture(QLocale().language() == QLocale::Russian);
}

QIcon BrowseIcon(int id)
{
    if (id == kSaveIconId)
        return DrawIcon(true);
    if (id == kOpenIconId)
        return DrawIcon(false);
    return QIcon();
}
