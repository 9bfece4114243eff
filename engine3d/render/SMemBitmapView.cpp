#include "engine3d/render/SMemBitmapView.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstring>
#include <mutex>

QImage MemoryBitmapImage(const TSMemoryBitmap& Bitmap)
{
    TSObjectLock guard(Bitmap);
    std::lock_guard paint(Bitmap.Canvas());
    const auto* bits = static_cast<const unsigned char*>(Bitmap.Bits());
    const int width = Bitmap.GetDimension(0);
    const int height = Bitmap.GetDimension(1);
    if (bits == nullptr || width <= 0 || height <= 0)
        return {};
    static constexpr QImage::Format kFormats[] = {
        QImage::Format_Invalid, QImage::Format_Indexed8, QImage::Format_RGB555, QImage::Format_RGB16,
        QImage::Format_BGR888,  QImage::Format_RGB32,    QImage::Format_RGB32};
    const TSPixelFormat format = Bitmap.PixelFormat();
    QImage image(width, height, kFormats[format]);
    if (image.isNull())
        return {};
    const std::int64_t rowBytes = Bitmap.GetRowBytes();
    const auto used = static_cast<std::size_t>(std::int64_t(PixelFormatBits(format) / 8) * width);
    for (int y = 0; y < height; ++y) {
        // Bottom-up: memory row 0 is the image's last line.
        const unsigned char* src = bits + std::int64_t(height - 1 - y) * rowBytes;
        uchar* dst = image.scanLine(y);
        if (format == 5 || format == 6) {
            const auto* in = reinterpret_cast<const std::uint32_t*>(src);
            auto* out = reinterpret_cast<QRgb*>(dst);
            for (int x = 0; x < width; ++x) {
                const std::uint32_t p = in[x];
                out[x] =
                    format == 5 ? (p | 0xFF000000u) : qRgb(int(p >> 24), int((p >> 13) & 0xFF), int((p >> 2) & 0xFF));
            }
        } else {
            std::memcpy(dst, src, used);
        }
    }
    if (format == 1) {
        const std::uint8_t* quads = Bitmap.Info() + 40;
        QList<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(quads[4 * i + 2], quads[4 * i + 1], quads[4 * i]);
        image.setColorTable(table);
    }
    return image;
}

TSPixelFormat GetScreenPixelFormat(std::int32_t& Width, std::int32_t& Height)
{
    Width = 0;
    Height = 0;
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    if (screen == nullptr)
        return 0;
    const QSize size = screen->size();
    Width = size.width();
    Height = size.height();
    return PixelFormatOfDepth(screen->depth());
}
