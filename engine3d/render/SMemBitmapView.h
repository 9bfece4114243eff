#pragma once
// The memory bitmap on the screen: its picture as a QImage and the pixel
// format that matches the primary screen.

#include "engine3d/render/SMemBitmap.h"

#include <QImage>

// A top-down copy of the bitmap's pixels, taken under its paint lock:
// Indexed8 with the colour table (format 1), RGB555, RGB16, BGR888, RGB32;
// 11-11-10 pixels are converted to RGB32. A null image without pixels.
QImage MemoryBitmapImage(const TSMemoryBitmap& Bitmap);

// Size and matching format of the primary screen (0 and 0 x 0 without one).
TSPixelFormat GetScreenPixelFormat(std::int32_t& Width, std::int32_t& Height);
