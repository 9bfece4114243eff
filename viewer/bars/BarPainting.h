#pragma once
// Drawing helpers shared by the bitmap menus and the flat tool bar: 3D frames and the
// embossed look of disabled images and buttons.

#include <QColor>
#include <QImage>
#include <QRect>

#include "platform/paint/SysColors.h"

class QPainter;

namespace bars {

inline QColor ToQColor(plat::ColorRef c)
{
    return QColor(int(plat::GetRValue(c)), int(plat::GetGValue(c)), int(plat::GetBValue(c)));
}

// Top and left edges in topLeft, bottom and right edges in bottomRight, one pixel wide,
// inside r.
void Draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight);

// The mask of a drawn picture: set where a pixel is neither the face colour nor the
// light-edge colour (a Format_Mono image, 1 = ink).
QImage EmbossMask(const QImage& drawn, QRgb face, QRgb light);

// Paints the embossed look of mask at (x, y): the light-edge colour through the mask one
// pixel right and down, then the dark-edge colour through it in place.
void PaintEmbossed(QPainter& p, int x, int y, const QImage& mask, const QColor& light, const QColor& dark);

// Draws picture embossed at (x, y) as a disabled image is: its mask over a face
// background, light copy one pixel right and down, dark copy in place.
void DrawDisabledImage(QPainter& p, int x, int y, const QImage& picture, const QColor& face, const QColor& light,
                       const QColor& dark);

}  // namespace bars
