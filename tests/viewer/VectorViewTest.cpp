#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/BufferedWindow.h"
#include "platform/paint/DeviceContext.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/paint/SysColors.h"
#include "VectorTestSupport.h"
#include "view/VectorView.h"

using namespace vectortest;

namespace {

constexpr plat::ColorRef kRed = plat::Rgb(255, 0, 0);
constexpr plat::ColorRef kBlue = plat::Rgb(0, 0, 255);
constexpr QRgb kBlack = 0xFF000000u;

bool Is(const QImage& image, int x, int y, plat::ColorRef c)
{
    return image.pixel(x, y) == qRgb(int(plat::GetRValue(c)), int(plat::GetGValue(c)), int(plat::GetBValue(c)));
}

// Pixels of the image that are not black, as "x,y" in row order.
std::vector<std::string> Lit(const QImage& image)
{
    std::vector<std::string> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kBlack)
                out.push_back(std::to_string(x) + "," + std::to_string(y));
    return out;
}

class VectorPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(image.Create(dir.File("image.rdp").c_str()), 1);
        image.AddLayer(kRed);
        image.AddLayer(kBlue);
    }

    testsupport::TempDir dir;
    CVectorImage image;
    plat::DeviceContext dc{64, 64};
};

TEST_F(VectorPaint, APointLandsAtItsWindowPosition)
{
    image.Add(0, Pt(10.7f, 20.2f));
    EXPECT_EQ(image.Paint(&dc, 1.0, CPoint{0, 0}, 0), 1);
    EXPECT_TRUE(Is(dc.Image(), 10, 20, kRed));
    EXPECT_EQ(Lit(dc.Image()).size(), 1u);

    // Scrolled: the origin is the image point at the window's top-left.
    plat::DeviceContext scrolled(64, 64);
    image.Paint(&scrolled, 1.0, CPoint{4, 8}, 0);
    EXPECT_EQ(Lit(scrolled.Image()), std::vector<std::string>{"6,12"});

    // Reduced by 2: half the distance.
    plat::DeviceContext reduced(64, 64);
    image.Paint(&reduced, 2.0, CPoint{0, 0}, 0);
    EXPECT_EQ(Lit(reduced.Image()), std::vector<std::string>{"5,10"});
}

TEST_F(VectorPaint, MagnifiedPointsAreSquaresAndLinesAreWide)
{
    image.Add(0, Pt(2, 3));
    AddLine(image, 1, {{1, 10}, {10, 10}});
    image.SetPaintMode(1, -1);
    EXPECT_EQ(image.Paint(&dc, 0.25, CPoint{0, 0}, -1), 1);
    const QImage& px = dc.Image();
    // The point's 4 x 4 square from its window position (8, 12).
    for (int y = 11; y <= 16; ++y)
        for (int x = 7; x <= 12; ++x)
            EXPECT_EQ(Is(px, x, y, kRed), x >= 8 && x < 12 && y >= 12 && y < 16) << x << "," << y;
    // The line from (4, 40) to (40, 40) with a 4-pixel pen: 4 rows across.
    for (int x : {4, 20, 39}) {
        int rows = 0;
        for (int y = 30; y < 50; ++y)
            rows += Is(px, x, y, kBlue) ? 1 : 0;
        EXPECT_EQ(rows, 4) << "column " << x;
        EXPECT_TRUE(Is(px, x, 40, kBlue));
    }
    EXPECT_FALSE(Is(px, 3, 40, kBlue));
}

TEST_F(VectorPaint, LinesJoinTheirVerticesAndSkipWhatCannotBePlaced)
{
    AddLine(image, 0, {{2, 2}, {12, 2}, {12, 12}});
    // Far off, not a number, infinite: nothing of them lands in the window.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    AddLine(image, 0, {{nan, 5}, {30, 30}});
    AddLine(image, 0, {{inf, 5}, {30, 31}});
    AddLine(image, 0, {{-3e38f, -3e38f}, {-2e38f, 3e38f}});
    image.Add(0, Pt(nan, 1));
    image.Add(0, Pt(3e38f, 1));
    image.Paint(&dc, 1e-30, CPoint{0, 0}, 0);  // a pen as wide as it may be
    plat::DeviceContext one(64, 64);
    image.Paint(&one, 1.0, CPoint{0, 0}, 0);
    const QImage& px = one.Image();
    // Each segment leaves out its end pixel; the corner comes from the next segment.
    EXPECT_TRUE(Is(px, 2, 2, kRed));
    EXPECT_TRUE(Is(px, 12, 2, kRed));
    EXPECT_TRUE(Is(px, 12, 11, kRed));
    EXPECT_FALSE(Is(px, 12, 12, kRed));
    EXPECT_EQ(Lit(px).size(), 20u);

    // A segment from far outside still crosses the window where it should.
    CVectorImage::LineRecord far({{-1e9f, 30}, {1e9f, 30}});
    image.Add(1, far.Get());
    plat::DeviceContext cross(64, 64);
    image.Paint(&cross, 1.0, CPoint{0, 0}, 1);
    for (int x : {0, 31, 63})
        EXPECT_TRUE(Is(cross.Image(), x, 30, kBlue)) << x;
}

TEST_F(VectorPaint, ModesChooseTheLayersOfAWholePaint)
{
    image.Add(0, Pt(1, 1));
    image.Add(1, Pt(2, 2));
    image.Paint(&dc, 1.0, CPoint{0, 0}, -1);
    EXPECT_TRUE(Lit(dc.Image()).empty()) << "new layers are hidden";
    image.Paint(&dc, 1.0, CPoint{0, 0}, 1);
    EXPECT_EQ(Lit(dc.Image()), std::vector<std::string>{"2,2"}) << "one layer paints whatever its mode";
    image.SetPaintMode(1, 0);
    plat::DeviceContext all(64, 64);
    image.Paint(&all, 1.0, CPoint{0, 0}, -1);
    EXPECT_EQ(Lit(all.Image()), std::vector<std::string>{"1,1"});
    EXPECT_EQ(image.Paint(&all, 1.0, CPoint{0, 0}, 2), 0);
    EXPECT_EQ(image.Paint(&all, 0.0, CPoint{0, 0}, 0), 0);
    EXPECT_EQ(image.Paint(&all, std::nan(""), CPoint{0, 0}, 0), 0);

    // After a save and an open every mode is 0 again.
    testsupport::TempDir files;
    const std::string path = files.File("modes.rdp");
    MakeRasterFile(path);
    CVectorImage saved;
    saved.Create(path.c_str());
    saved.AddLayer(kRed);
    saved.Add(0, Pt(3, 3));
    saved.SetPaintMode(1, -1);
    ASSERT_EQ(saved.Save(), 1);
    ASSERT_EQ(saved.Open(path.c_str()), 1);
    plat::DeviceContext opened(64, 64);
    EXPECT_EQ(saved.Paint(&opened, 1.0, CPoint{0, 0}, -1), 1);
    EXPECT_TRUE(Lit(opened.Image()).empty());
}

TEST_F(VectorPaint, PaintWithoutAContextDrawsIntoTheWindowBuffer)
{
    plat::BufferedWindow window;
    window.resize(40, 30);
    testsupport::TempDir files;
    CVectorImage onWindow(&window);
    EXPECT_EQ(onWindow.Paint(1.0, CPoint{0, 0}, -1), 0) << "no block";
    onWindow.Create(files.File("w.rdp").c_str());
    onWindow.AddLayer(kRed);
    onWindow.Add(0, Pt(5, 6));
    EXPECT_EQ(onWindow.Paint(1.0, CPoint{0, 0}, 0), 1);
    EXPECT_TRUE(Is(window.Buffer(), 5, 6, kRed));
    EXPECT_EQ(image.Paint(1.0, CPoint{0, 0}, 0), 0) << "no window";
}

class VectorViewPaint : public VectorPaint {
protected:
    void SetUp() override
    {
        VectorPaint::SetUp();
        image.Add(0, Pt(20, 10));
        image.SetPaintMode(1, -1);
        view.Attach(3, &image, 100, 80);
    }

    CVectorView view;
    std::vector<unsigned char> bits = std::vector<unsigned char>(64 * 64, 7);
    plat::BitmapInfo info;
};

TEST_F(VectorViewPaint, PaintsOnlyWhenShownAndOnlyThroughPaintScaled)
{
    EXPECT_EQ(view.GetKind(), 2);
    EXPECT_EQ(view.GetColorMode(), 0);
    EXPECT_EQ(view.GetIndex(), 3);
    EXPECT_EQ(view.GetWidth(), 100);
    EXPECT_EQ(view.GetLayerName(), "");
    EXPECT_EQ(view.GetHistAddr(1), nullptr);
    EXPECT_EQ(view.GetRangeMin(1), -1.0);
    EXPECT_EQ(view.GetStringSizePixel(1), "CVirtualView");

    view.PaintScaled(&dc, 0, 0, 64, 64, 1.0, 0, bits.data(), bits.size(), &info);
    EXPECT_TRUE(Lit(dc.Image()).empty()) << "not shown yet";

    view.SetShown(1);
    view.PaintDirect(&dc, 0, 0, 0, 0, 64, 64, 1.0, 0, bits.data(), bits.size(), &info);
    std::vector<unsigned char> rgb(64 * 64 * 3, 9);
    view.RenderRGB(0, 0, 64, 64, 64 * 3, 0, 1.0, 1, rgb.data(), rgb.size(), nullptr);
    view.SetScale(0.5);
    EXPECT_TRUE(Lit(dc.Image()).empty());
    EXPECT_EQ(rgb, std::vector<unsigned char>(64 * 64 * 3, 9));
    EXPECT_EQ(bits, std::vector<unsigned char>(64 * 64, 7));

    // Scrolled to (8, 4) of the image magnified twice: the image origin is (4, 2).
    view.PaintScaled(&dc, 8, 4, 64, 64, 0.5, 0, bits.data(), bits.size(), &info);
    const std::vector<std::string> square{"32,16", "33,16", "32,17", "33,17"};
    EXPECT_EQ(Lit(dc.Image()), square);
}

TEST_F(VectorViewPaint, WithoutAnOverlayNothingIsPaintedAndDeletingKeepsTheOverlay)
{
    {
        CVectorView empty;
        empty.SetShown(1);
        empty.PaintScaled(&dc, 0, 0, 64, 64, 1.0, 0, nullptr, 0, nullptr);
        EXPECT_TRUE(Lit(dc.Image()).empty());
        auto* owned = new CVectorView;
        owned->Attach(0, &image, 10, 10);
        delete static_cast<CVirtualView*>(owned);
    }
    EXPECT_EQ(image.IsOpen(), 1);
    EXPECT_EQ(Describe(image, 0), "p 20 10\n");
}

}  // namespace
