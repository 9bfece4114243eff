#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>
#include <vector>

#include "platform/paint/DeviceContext.h"
#include "platform/paint/PaintExtras.h"

namespace {

QRgb At(const plat::DeviceContext& dc, int x, int y)
{
    return dc.Image().pixel(x, y) & 0xFFFFFF;
}

}  // namespace

TEST(PaintExtrasTest, Draw3dRectEdgesAndCorners)
{
    plat::DeviceContext dc(6, 5);
    dc.FillRect(plat::Rect{0, 0, 6, 5}, plat::Rgb(9, 9, 9));
    const plat::ColorRef tl = plat::Rgb(255, 0, 0);
    const plat::ColorRef br = plat::Rgb(0, 0, 255);
    plat::Draw3dRect(dc, plat::Rect{1, 1, 5, 5}, tl, br);
    EXPECT_EQ(At(dc, 1, 1), 0xFF0000u);  // top-left corner
    EXPECT_EQ(At(dc, 3, 1), 0xFF0000u);  // top edge
    EXPECT_EQ(At(dc, 4, 1), 0x0000FFu);  // top-right corner belongs to the right edge
    EXPECT_EQ(At(dc, 1, 3), 0xFF0000u);  // left edge
    EXPECT_EQ(At(dc, 1, 4), 0x0000FFu);  // bottom-left corner belongs to the bottom edge
    EXPECT_EQ(At(dc, 4, 4), 0x0000FFu);
    EXPECT_EQ(At(dc, 2, 2), 0x090909u);  // inside untouched
    EXPECT_EQ(At(dc, 0, 0), 0x090909u);  // outside untouched
}

TEST(PaintExtrasTest, DrawImageShowsTheBackgroundThroughTransparentPixels)
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(0, 0, qRgb(10, 200, 30));
    image.setPixel(2, 1, qRgba(0, 0, 0, 255));
    plat::DeviceContext dc(5, 4);
    dc.FillRect(plat::Rect{0, 0, 5, 4}, 0);
    plat::DrawImage(dc, 1, 1, image, plat::Rgb(250, 251, 252));
    EXPECT_EQ(At(dc, 1, 1), qRgb(10, 200, 30) & 0xFFFFFFu);
    EXPECT_EQ(At(dc, 2, 1), qRgb(250, 251, 252) & 0xFFFFFFu);
    EXPECT_EQ(At(dc, 3, 2), 0u);
    EXPECT_EQ(At(dc, 4, 3), 0u);  // outside the image
}

TEST(PaintExtrasTest, WordsBreakWhereALineWouldGrowTooLong)
{
    const auto width = [](const std::string& s) { return static_cast<int>(s.size()); };
    struct Case {
        const char* text;
        int width;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"Import Export", 20, {"Import Export"}},
        {"Import Export", 8, {"Import", "Export"}},
        {"a verylongword b", 5, {"a", "verylongword", "b"}},
        {"one\ntwo three", 20, {"one", "two three"}},
        {"", 5, {""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plat::BreakWords(c.text, c.width, width), c.lines) << c.text;
}
