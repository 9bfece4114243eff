#pragma once
// The shell's artwork, drawn by code: the window icon and the 32 x 32 images of the
// tool bar's "Files" category (View, 3D Viewer, Import Export).

#include <QIcon>
#include <QPixmap>

QIcon QuorvexIcon();
// Image i (0 to 2) of the "Files" category; a null pixmap beyond.
QPixmap QuorvexToolImage(int i);
