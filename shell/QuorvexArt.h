#pragma once
// The shell's artwork, drawn by code: the window icon and the 32 x 32 images of the
// tool bar's "Files" category (View, 3D Viewer, Import Export).

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <string>

QIcon QuorvexIcon();
// Image i (0 to 2) of the "Files" category; a null pixmap beyond.
QPixmap QuorvexToolImage(int i);

// The mask colour of the tool strips: RGB(250, 250, 250), as 0xRRGGBB.
inline constexpr unsigned kToolMaskColor = 0xFAFAFA;
// A bitmap by name: "IDB_BITMAP_TOOL_FILES" and "IDB_BITMAP_TOOL_FILES_GRAY" are 96 x 32
// strips of the three tool images on the mask colour, in colour and in grey; null for
// any other name.
QImage QuorvexBitmap(const std::string& name);
// Picture 177 of the About box: 353 x 93.
QImage QuorvexAboutPicture();
