// Device-independent pictures drawn through a device context: 8-bit through the colour
// table and 24-bit blue-green-red, rows either way, 1:1 parts and mirrored stretches.

#include <gtest/gtest.h>

#include <QImage>
#include <vector>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "platform/threads/ParallelFor.h"

namespace {

using plat::Rect;

// Grey colour table whose entry i is (i, 255 - i, 7).
plat::BitmapInfo Info8(int width, int height)
{
    plat::BitmapInfo info;
    info.width = width;
    info.height = height;
    info.bitCount = 8;
    for (int i = 0; i < 256; ++i)
        info.colors[i] = plat::RgbQuad{7, std::uint8_t(255 - i), std::uint8_t(i), 0};
    return info;
}

QRgb Colour8(int v)
{
    return qRgb(v, 255 - v, 7);
}

QRgb At(const QImage& image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

// A 6 x 4 picture whose pixel (column c, stored row r) is 10 r + c; rows padded to 8.
std::vector<unsigned char> Picture8()
{
    std::vector<unsigned char> bits(8 * 4, 0xEE);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c)
            bits[size_t(8 * r + c)] = static_cast<unsigned char>(10 * r + c);
    return bits;
}

TEST(DeviceContextDib, OneToOnePartsLandAtTheirDestination)
{
    const std::vector<unsigned char> bits = Picture8();
    const QRgb kBack = qRgb(1, 2, 3);
    struct Case {
        const char* what;
        int infoHeight;  // negative: top row stored first
        int xSrc, ySrc;
        int shownRow0;  // stored row shown at the destination's top
        int rowStep;
    } cases[] = {
        {"top-down from the corner", -4, 0, 0, 0, 1},
        {"top-down part", -4, 2, 1, 1, 1},
        {"bottom-up part", 4, 2, 1, 2, -1},  // rows 1 and 2 stored, the later one on top
    };
    for (const Case& c : cases) {
        plat::DeviceContext dc(12, 8);
        dc.FillRect(Rect{0, 0, 12, 8}, plat::Rgb(1, 2, 3));
        dc.SetDIBitsToDevice(5, 3, 3, 2, c.xSrc, c.ySrc, bits.data(), bits.size(), Info8(6, c.infoHeight));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 12; ++x) {
                const bool inside = x >= 5 && x < 8 && y >= 3 && y < 5;
                const int v = 10 * (c.shownRow0 + c.rowStep * (y - 3)) + c.xSrc + (x - 5);
                EXPECT_EQ(At(dc.Image(), x, y), inside ? Colour8(v) : kBack) << c.what << " at " << x << "," << y;
            }
    }
}

TEST(DeviceContextDib, MirroredStretchShowsStoredRowsTopDown)
{
    // Stored rows go bottom-up, the destination is mirrored: row sy lands on top, each
    // source pixel 2 x 2.
    const std::vector<unsigned char> bits = Picture8();
    plat::DeviceContext dc(8, 4);
    dc.StretchDIBits(0, 3, 8, -4, 1, 1, 4, 2, bits.data(), bits.size(), Info8(6, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(At(dc.Image(), x, y), Colour8(10 * (1 + y / 2) + 1 + x / 2)) << x << "," << y;
}

TEST(DeviceContextDib, WideRowsLookUpEveryEntryOfTheTable)
{
    // Rows long enough for the wide lookup, with a tail; every channel of every entry
    // differs, so a swapped channel or a wrong half of the table shows.
    plat::BitmapInfo info;
    info.bitCount = 8;
    for (int i = 0; i < 256; ++i)
        info.colors[i] = plat::RgbQuad{std::uint8_t(i * 7 + 3), std::uint8_t(255 - i), std::uint8_t(i * 13 + 1), 0};
    const auto colour = [&](int v) { return qRgb(info.colors[v].red, info.colors[v].green, info.colors[v].blue); };
    const struct Case {
        const char* what;
        int width, dstWidth;
    } cases[] = {{"1:1, 100 wide", 100, 100}, {"1:1, 300 wide", 300, 300}, {"1:1, 1023 wide", 1023, 1023}, {"stretched 3 times", 331, 993}};
    for (const Case& c : cases) {
        const int stride = (c.width + 3) / 4 * 4;
        std::vector<unsigned char> bits(size_t(stride) * 2);
        for (int r = 0; r < 2; ++r)
            for (int x = 0; x < c.width; ++x)
                bits[size_t(r * stride + x)] = static_cast<unsigned char>((x * 37 + r * 101) % 256);
        info.width = c.width;
        info.height = -2;
        plat::DeviceContext dc(c.dstWidth, 2);
        dc.StretchDIBits(0, 0, c.dstWidth, 2, 0, 0, c.width, 2, bits.data(), bits.size(), info);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < c.dstWidth; ++x) {
                const int sx = x * c.width / c.dstWidth;
                ASSERT_EQ(At(dc.Image(), x, y), colour(bits[size_t(y * stride + sx)])) << c.what << " at " << x << "," << y;
            }
    }
}

// A picture made while it is drawn: rows told of in runs from several threads at once
// come out as the whole picture drawn in one call; rows never told of stay as they
// were; the maker runs even when nothing can be drawn.
TEST(DeviceContextDib, RowsToldOfWhileMadeDrawAsTheWholePicture)
{
    const int w = 150, h = 90, stride = 152;
    std::vector<unsigned char> bits(size_t(stride) * h);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            bits[size_t(r * stride + x)] = static_cast<unsigned char>((x * 37 + r * 101) % 256);
    const struct Case {
        const char* what;
        int infoHeight;
        int xDst, yDst, wDst, hDst, xSrc, ySrc, wSrc, hSrc;
    } cases[] = {
        {"1:1 top-down", -h, 0, 0, w, h, 0, 0, w, h},
        {"1:1 bottom-up part", h, 3, 2, 100, 70, 10, 5, 100, 70},
        {"magnified 3, mirrored", -h, 0, 269, 450, -270, 0, 0, w, h},
        {"reduced", h, 0, 0, 61, 37, 0, 0, w, h},
    };
    for (const Case& c : cases) {
        plat::BitmapInfo info = Info8(w, c.infoHeight);
        info.width = stride;
        plat::DeviceContext whole(460, 280);
        whole.StretchDIBits(c.xDst, c.yDst, c.wDst, c.hDst, c.xSrc, c.ySrc, c.wSrc, c.hSrc, bits.data(), bits.size(),
                            info);
        plat::DeviceContext told(460, 280);
        told.StretchDIBits(c.xDst, c.yDst, c.wDst, c.hDst, c.xSrc, c.ySrc, c.wSrc, c.hSrc, bits.data(), bits.size(), info,
                           [&](plat::RowsReady ready) {
                               // Runs of 7 stored rows, last run first, spread over threads.
                               const int64_t runs = (h + 6) / 7;
                               plat::ParallelFor(runs, 1, plat::ParallelThreads(), [&](int64_t b, int64_t e, int) {
                                   for (int64_t k = e - 1; k >= b; --k)
                                       ready((runs - 1 - k) * 7, std::min<int64_t>((runs - k) * 7, h));
                               });
                           });
        EXPECT_TRUE(told.Image() == whole.Image()) << c.what;
    }

    // Only stored rows 10 to 19 told of: the rest stays black.
    plat::BitmapInfo info = Info8(w, -h);
    info.width = stride;
    plat::DeviceContext some(w, h);
    some.StretchDIBits(0, 0, w, h, 0, 0, w, h, bits.data(), bits.size(), info,
                       [](plat::RowsReady ready) { ready(10, 20); });
    for (int y : {0, 9, 10, 19, 20, 89}) {
        const bool drawn = y >= 10 && y < 20;
        EXPECT_EQ(At(some.Image(), 5, y), drawn ? Colour8(bits[size_t(y * stride + 5)]) : qRgb(0, 0, 0)) << y;
    }

    // Clipped away or refused: nothing drawn, the maker still runs.
    int made = 0;
    plat::DeviceContext clipped(w, h);
    clipped.SelectClipRect(Rect{0, 0, 0, 0});
    clipped.StretchDIBits(0, 0, w, h, 0, 0, w, h, bits.data(), bits.size(), info,
                          [&](plat::RowsReady ready) { ++made, ready(0, h); });
    clipped.StretchDIBits(0, 0, w, h, 0, 0, w, h, bits.data(), bits.size() - 1, info,
                          [&](plat::RowsReady ready) { ++made, ready(0, h); });
    EXPECT_EQ(made, 2);
}

TEST(DeviceContextDib, TwentyFourBitPicturesAreBlueGreenRed)
{
    // 2 x 2, rows padded to 8 bytes, bottom row first.
    const unsigned char bits[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    plat::BitmapInfo info;
    info.width = 2;
    info.height = 2;
    info.bitCount = 24;
    plat::DeviceContext dc(2, 2);
    dc.SetDIBitsToDevice(0, 0, 2, 2, 0, 0, bits, sizeof bits, info);
    EXPECT_EQ(At(dc.Image(), 0, 0), qRgb(9, 8, 7));
    EXPECT_EQ(At(dc.Image(), 1, 0), qRgb(12, 11, 10));
    EXPECT_EQ(At(dc.Image(), 0, 1), qRgb(3, 2, 1));
    EXPECT_EQ(At(dc.Image(), 1, 1), qRgb(6, 5, 4));
}

TEST(DeviceContextDib, ClipOriginAndShortBuffersAreHonoured)
{
    const std::vector<unsigned char> bits = Picture8();
    const plat::BitmapInfo info = Info8(6, -4);
    plat::DeviceContext dc(10, 10);
    dc.SetWindowOrg(2, 1);
    dc.SelectClipRect(Rect{2, 1, 5, 3});  // device 0..3 x 0..2
    dc.SetDIBitsToDevice(2, 1, 6, 4, 0, 0, bits.data(), bits.size(), info);
    EXPECT_EQ(At(dc.Image(), 2, 1), Colour8(12));
    EXPECT_EQ(At(dc.Image(), 3, 1), qRgb(0, 0, 0));
    EXPECT_EQ(At(dc.Image(), 0, 2), qRgb(0, 0, 0));

    // A buffer shorter than the picture, a foreign bit count or a source beyond the picture draw nothing.
    plat::DeviceContext other(10, 10);
    other.SetDIBitsToDevice(0, 0, 6, 4, 0, 0, bits.data(), bits.size() - 1, info);
    plat::BitmapInfo wrong = info;
    wrong.bitCount = 4;
    other.SetDIBitsToDevice(0, 0, 6, 4, 0, 0, bits.data(), bits.size(), wrong);
    other.SetDIBitsToDevice(0, 0, 6, 4, 6, 4, bits.data(), bits.size(), info);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(At(other.Image(), x, y), qRgb(0, 0, 0)) << x << "," << y;
}

TEST(DeviceContextDib, PaintDevicesGetThePictureToo)
{
    const std::vector<unsigned char> bits = Picture8();
    QImage target(8, 6, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        plat::DeviceContext dc(&target, Rect{0, 0, 8, 6});
        dc.SetDIBitsToDevice(1, 1, 6, 4, 0, 0, bits.data(), bits.size(), Info8(6, -4));
    }
    EXPECT_EQ(At(target, 1, 1), Colour8(0));
    EXPECT_EQ(At(target, 6, 4), Colour8(35));
    EXPECT_EQ(At(target, 0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(At(target, 7, 5), qRgb(255, 255, 255));
}

}  // namespace
