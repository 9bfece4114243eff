// A prepared raster view painted into memory device contexts at every zoom, rendered
// as 24-bit pixels and read out, with its palette controls.

#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "platform/errors/FaultGuard.h"
#include "jobs/ExceptionCodeName.h"
#include "FakeMeter.h"
#include "PalitraTag.h"
#include "RasterViewTestSupport.h"
#include "view/RasterView.h"

namespace {

using namespace rvtest;

constexpr int kW = 264, kH = 200;  // two pyramid levels

int Sample(int x, int y)
{
    return (x * 7 + y * 13) % 256;
}

// Entry i of the palette the tests show: every channel distinct.
PalitraTag TestPalette()
{
    PalitraTag tag;
    for (int i = 0; i < 256; ++i) {
        tag.entries[i][0] = static_cast<unsigned char>(i);
        tag.entries[i][1] = static_cast<unsigned char>(255 - i);
        tag.entries[i][2] = static_cast<unsigned char>((i * 3) & 255);
    }
    return tag;
}

QRgb Colour(int v)
{
    return qRgb(v, 255 - v, (v * 3) & 255);
}

QRgb At(const plat::DeviceContext& dc, int x, int y)
{
    return dc.Image().pixel(x, y) | 0xFF000000u;
}

class RasterPaint : public ViewFixture {
protected:
    // A UINT8 layer shown with stretch None: display level = sample.
    void Open(CRasterView& view, int w = kW, int h = kH)
    {
        const std::string path = File("paint.rdp");
        WriteLayer(path, w, h, UINT8, [](int x, int y, int) { return double(Sample(x, y)); });
        ASSERT_EQ(view.OpenLayer(0, m_notify.handle, path.c_str(), 0, 2.0, 1, nullptr, {}), 1);
        ASSERT_TRUE(m_notify.WaitFor(1));
        ASSERT_EQ(m_notify.notices.back().second, 2);
        PalitraTag palette = TestPalette();
        view.SetPalitra(&palette);
        view.SetShown(1);
    }

    NoticeWindow m_notify;
    std::vector<unsigned char> m_bits = std::vector<unsigned char>(1 << 20);
    plat::BitmapInfo m_info;
};

TEST_F(RasterPaint, EveryZoomPaintsThroughTheDisplayPalette)
{
    CRasterView view;
    Open(view);
    struct Case {
        const char* what;
        double reduction;
        int fit;
        int x, y, width, height;
        // Pixels to check, and the display level each must show.
        std::function<bool(int px, int py)> checked;
        std::function<int(int px, int py)> level;
    } cases[] = {
        {"1:1", 1.0, 0, 0, 0, kW, kH, [](int, int) { return true; }, [](int px, int py) { return Sample(px, py); }},
        {"1:1 scrolled", 1.0, 0, 30, 20, 50, 40, [](int, int) { return true; },
         [](int px, int py) { return Sample(30 + px, 20 + py); }},
        {"halved", 2.0, 0, 0, 0, kW / 2, kH / 2, [](int, int) { return true; },
         [](int px, int py) {
             return (Sample(2 * px, 2 * py) + Sample(2 * px + 1, 2 * py) + Sample(2 * px, 2 * py + 1) +
                     Sample(2 * px + 1, 2 * py + 1)) >>
                    2;
         }},
        {"fit, magnified 4", 0.25, 1, 0, 0, 4 * kW, 4 * kH,
         [](int px, int py) { return px % 4 == 1 || px % 4 == 2 ? py % 4 == 1 || py % 4 == 2 : false; },
         [](int px, int py) { return Sample(px / 4, py / 4); }},
        {"fit, magnified 4, scrolled", 0.25, 1, 40, 20, 200, 160,
         [](int px, int py) { return px % 4 == 1 || px % 4 == 2 ? py % 4 == 1 || py % 4 == 2 : false; },
         [](int px, int py) { return Sample(10 + px / 4, 5 + py / 4); }},
    };
    for (const Case& c : cases) {
        plat::DeviceContext dc(c.width, c.height);
        view.SetScale(c.reduction);
        EXPECT_EQ(view.IsRegionValid(), 0);
        view.PaintScaled(&dc, c.x, c.y, c.width, c.height, c.reduction, c.fit, m_bits.data(), m_bits.size(), &m_info);
        EXPECT_EQ(view.IsRegionValid(), 1) << c.what;
        int wrong = 0;
        for (int py = 0; py < c.height; ++py)
            for (int px = 0; px < c.width; ++px)
                if (c.checked(px, py) && At(dc, px, py) != Colour(c.level(px, py)) && ++wrong < 5)
                    ADD_FAILURE() << c.what << ": pixel " << px << "," << py;
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

TEST_F(RasterPaint, ARepaintReusesTheBufferUntilSomethingInvalidatesIt)
{
    CRasterView view;
    Open(view);
    view.SetScale(1.0);
    plat::DeviceContext dc(kW, kH);
    view.PaintScaled(&dc, 0, 0, kW, kH, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
    // While the region is valid the buffer is painted as it stands...
    std::memset(m_bits.data(), 0, m_bits.size());
    view.PaintScaled(&dc, 0, 0, kW, kH, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
    EXPECT_EQ(At(dc, 5, 5), Colour(0));
    // ...and a palette change has it extracted again.
    view.SetBrightness(0, 1);
    EXPECT_EQ(view.IsRegionValid(), 0);
    view.PaintScaled(&dc, 0, 0, kW, kH, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
    EXPECT_EQ(At(dc, 5, 5), Colour(Sample(5, 5)));
}

TEST_F(RasterPaint, ExtractionsNeedABufferThatHoldsWhatTheyDeliver)
{
    CRasterView view;
    Open(view);
    view.SetScale(0.5);
    // One byte short of the whole layer: nothing is extracted or drawn.
    std::vector<unsigned char> small(size_t(kW) * kH - 1, 0);
    plat::DeviceContext dc(2 * kW, 2 * kH);
    dc.FillRect(plat::Rect{0, 0, 2 * kW, 2 * kH}, plat::Rgb(1, 2, 3));
    view.PaintScaled(&dc, 0, 0, 2 * kW, 2 * kH, 0.5, 1, small.data(), small.size(), &m_info);
    EXPECT_EQ(At(dc, 0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(At(dc, 2 * kW - 1, 2 * kH - 1), qRgb(1, 2, 3));
    EXPECT_EQ(small, std::vector<unsigned char>(small.size(), 0));
    // A visible region at 1:1 too large for the buffer is refused the same way.
    view.PaintScaled(&dc, 0, 0, 2 * kW, 2 * kH, 1.0, 0, small.data(), small.size(), &m_info);
    EXPECT_EQ(At(dc, 0, 0), qRgb(1, 2, 3));

    // So are a magnified strip and a magnified whole-image rendering narrower than the
    // layer that the extraction would deliver whole.
    std::vector<unsigned char> strip(size_t(64) * 2 * kH, 0);
    view.PaintDirect(&dc, 0, 0, 0, 0, 64, 2 * kH, 0.5, 1, strip.data(), strip.size(), &m_info);
    EXPECT_EQ(At(dc, 0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(strip, std::vector<unsigned char>(strip.size(), 0));
    std::vector<unsigned char> out(size_t(3 * 64) * 2 * kH, 0xEE);
    view.RenderRGB(0, 0, 64, 2 * kH, 3 * 64, 0, 0.5, 1, out.data(), out.size(), nullptr);
    EXPECT_EQ(out, std::vector<unsigned char>(out.size(), 0xEE));
}

TEST_F(RasterPaint, AScrolledStripLandsAtItsPlaceWithTheTableItIsGiven)
{
    CRasterView view;
    Open(view);
    view.SetScale(1.0);
    plat::DeviceContext dc(100, 80);
    view.PaintScaled(&dc, 0, 0, 100, 80, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
    ASSERT_EQ(view.IsRegionValid(), 1);
    dc.FillRect(plat::Rect{0, 0, 100, 80}, plat::Rgb(1, 2, 3));
    // The strip uses the colours in info as they are.
    for (int i = 0; i < 256; ++i)
        m_info.colors[i] = plat::RgbQuad{std::uint8_t(255 - i), 0, std::uint8_t(i), 0};
    view.PaintDirect(&dc, 10, 5, 20, 30, 16, 8, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
    EXPECT_EQ(view.IsRegionValid(), 0);
    for (int py = 0; py < 80; ++py)
        for (int px = 0; px < 100; ++px) {
            const bool inside = px >= 20 && px < 36 && py >= 30 && py < 38;
            const int v = inside ? Sample(10 + px - 20, 5 + py - 30) : 0;
            ASSERT_EQ(At(dc, px, py), inside ? qRgb(v, 0, 255 - v) : qRgb(1, 2, 3)) << px << "," << py;
        }
}

TEST_F(RasterPaint, RendersTwentyFourBitRowsBottomUpThroughThePalette)
{
    CRasterView view;
    Open(view);
    constexpr int x = 5, y = 3, w = 20, h = 10, rowBytes = 3 * w + 4;
    std::vector<unsigned char> out(size_t(rowBytes) * h, 0xEE);
    testsupport::FakeMeter meter;
    view.RenderRGB(x, y, w, h, rowBytes, 0, 1.0, 0, out.data(), out.size(), &meter);
    ASSERT_FALSE(meter.ranges.empty());
    EXPECT_EQ(meter.ranges.front(), (std::pair<double, double>(0.0, 2.0 * h)));
    EXPECT_EQ(meter.steps, h);
    const auto& pal = view.DisplayPalette().entries;
    for (int r = 0; r < h; ++r)
        for (int i = 0; i < w; ++i) {
            const int v = Sample(x + i, y + h - 1 - r);  // the first row is the bottom one
            const unsigned char* px = out.data() + r * rowBytes + 3 * i;
            ASSERT_EQ(px[0], pal[v][2]) << r << "," << i;
            ASSERT_EQ(px[1], pal[v][1]);
            ASSERT_EQ(px[2], pal[v][0]);
        }
    // Rows too narrow for three bytes a pixel, or an output too short, are left alone.
    std::vector<unsigned char> narrow(size_t(3 * w - 1) * h, 0xEE);
    view.RenderRGB(x, y, w, h, 3 * w - 1, 0, 1.0, 0, narrow.data(), narrow.size(), nullptr);
    EXPECT_EQ(narrow, std::vector<unsigned char>(narrow.size(), 0xEE));
    view.RenderRGB(x, y, w, h, rowBytes, 0, 1.0, 0, out.data(), out.size() - 1, nullptr);
}

TEST_F(RasterPaint, NothingIsDrawnBeforeTheLayerIsShownOrWhileItIsPrepared)
{
    CRasterView view;
    Open(view);
    view.SetScale(1.0);
    plat::DeviceContext dc(kW, kH);
    std::vector<unsigned char> out(size_t(3 * kW) * kH, 0xEE);
    auto untouched = [&] {
        for (int py = 0; py < kH; ++py)
            for (int px = 0; px < kW; ++px)
                if (At(dc, px, py) != qRgb(0, 0, 0))
                    return false;
        return out == std::vector<unsigned char>(out.size(), 0xEE);
    };
    auto paintAll = [&] {
        view.PaintScaled(&dc, 0, 0, kW, kH, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
        view.PaintDirect(&dc, 0, 0, 0, 0, kW, kH, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
    };

    view.SetShown(0);
    paintAll();
    EXPECT_TRUE(untouched());
    EXPECT_EQ(view.IsRegionValid(), 0);

    // A new build holds at its first report: the view is busy meanwhile.
    view.SetShown(1);
    HoldingMeter meter;
    std::thread rebuild([&] { view.PrepareRaster(&meter); });
    ASSERT_TRUE(testsupport::PumpUntil([&] { return meter.entered.load(); }, std::chrono::seconds(30)));
    ASSERT_EQ(view.IsBusy(), 1);
    paintAll();
    view.RenderRGB(0, 0, kW, kH, 3 * kW, 0, 1.0, 0, out.data(), out.size(), nullptr);
    EXPECT_EQ(view.GetValueString(3, 4), "0");
    EXPECT_TRUE(untouched());
    meter.released = true;
    rebuild.join();
    EXPECT_EQ(view.IsBusy(), 0);
    EXPECT_EQ(view.GetValueString(3, 4), std::to_string(Sample(3, 4)));
}

// Another program cuts the layer file short under the view: the read-out of a
// lost pixel and a new build of the display levels fail quietly, never fatally.
TEST_F(RasterPaint, LayerCutShortUnderTheViewIsNoFatalFault)
{
    plat::InstallFaultHandlers(ExceptionCodeName);
    CRasterView view;
    const int w = 4096, h = 16;
    Open(view, w, h);
    EXPECT_EQ(view.GetValueString(3, 14), std::to_string(Sample(3, 14)));
    ASSERT_EQ(::truncate(File("paint.rdp").c_str(), 8192), 0);
    EXPECT_EQ(view.GetValueString(3, 0), std::to_string(Sample(3, 0)));
    EXPECT_EQ(view.GetValueString(3, 14), "");
    EXPECT_EQ(view.PrepareRaster(nullptr), 0);
    EXPECT_EQ(view.IsBusy(), 0);
}

TEST_F(RasterPaint, ReadOutOfEveryTypeAtAPixelAndOutside)
{
    struct Case {
        int type;
        int phase;
        const char* text;  // at (3, 4)
    } cases[] = {
        {UINT8, 0, "5"},   {SINT8, 0, "5"},           {UINT16, 0, "5"},  {SINT16, 0, "5"},   {UINT32, 0, "5"},
        {SINT32, 0, "5"},  {FLOAT32, 0, "5"},         {FLOAT64, 0, "5"}, {CFLOAT32, 0, "5"}, {CFLOAT64, 0, "5"},
        {CUINT8, 0, "5"},  {CSINT8, 0, "5"},          {CUINT16, 0, "5"}, {CSINT16, 0, "5"},  {CUINT32, 0, "5"},
        {CSINT32, 0, "5"}, {CFLOAT32, 1, "0.927295"},
    };
    int opened = 0;
    for (const Case& c : cases) {
        const std::string path = File("type" + std::to_string(c.type) + "_" + std::to_string(c.phase) + ".rdp");
        // Real samples x + y - 2; complex samples x + i y.
        WriteLayer(path, 9, 7, c.type,
                   [&](int x, int y, int part) { return IsComplexType(c.type) ? (part ? y : x) : x + y - 2.0; });
        CRasterView view;
        ASSERT_EQ(view.OpenLayer(0, m_notify.handle, path.c_str(), c.phase, 2.0, 1, nullptr, {}), 1) << c.type;
        ASSERT_TRUE(m_notify.WaitFor(size_t(++opened)));
        EXPECT_EQ(view.GetValueString(3, 4), c.text) << "type " << c.type << " phase " << c.phase;
        for (auto [x, y] : {std::pair{9, 0}, {0, 7}, {-1, 0}, {0, -1}})
            EXPECT_EQ(view.GetValueString(x, y), "0") << "type " << c.type << " at " << x << "," << y;
    }
}

TEST_F(RasterPaint, PaletteControlsOfTheView)
{
    CRasterView view;
    Open(view);
    PalitraTag grey;
    for (int i = 0; i < 256; ++i)
        grey.entries[i][0] = grey.entries[i][1] = grey.entries[i][2] = static_cast<unsigned char>(i);
    view.SetPalitra(&grey);
    auto display = [&](int i) { return int(view.DisplayPalette().entries[i][1]); };
    auto levels = [&](std::initializer_list<int> at) {
        std::vector<int> out;
        for (int i : at)
            out.push_back(display(i));
        return out;
    };

    view.SetContrast(100);
    EXPECT_EQ(levels({0, 64, 128, 200, 255}), (std::vector<int>{0, 0, 130, 255, 255}));
    view.SetBrightness(0, 1);
    EXPECT_EQ(levels({0, 64, 128, 200, 255}), (std::vector<int>{0, 14, 128, 255, 255}));
    view.SetContrast(-127);
    EXPECT_EQ(levels({0, 255}), (std::vector<int>{127, 128}));
    view.SetContrast(0);

    // The channel levels of a three-channel view change nothing here.
    for (int mode : {3, 4, 5, 0}) {
        view.SetBrightness(90, mode);
        EXPECT_EQ(levels({0, 100}), (std::vector<int>{0, 100})) << mode;
        EXPECT_EQ(view.GetBrightness(), 0);
    }

    // A new palette keeps the brightness; the source palette is what GetPalitra hands out.
    view.SetBrightness(30, 1);
    PalitraTag colours = TestPalette();
    view.SetPalitra(&colours);
    EXPECT_EQ(int(view.DisplayPalette().entries[10][0]), 40);
    EXPECT_EQ(int(view.DisplayPalette().entries[10][1]), 255);
    PalitraTag out;
    out.length = 12345;
    view.GetPalitra(&out);
    EXPECT_EQ(out.length, 12345);
    EXPECT_EQ(std::memcmp(out.entries, colours.entries, sizeof out.entries), 0);

    // Equalising the display histogram gives a grey palette that rises with it.
    view.EqualizeHistogram();
    EXPECT_EQ(view.IsRegionValid(), 0);
    const auto& pal = view.DisplayPalette().entries;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(pal[i][0], pal[i][1]);
        EXPECT_EQ(pal[i][1], pal[i][2]);
        if (i > 0)
            EXPECT_GE(pal[i][0], pal[i - 1][0]);
    }
    EXPECT_GT(pal[200][0], pal[50][0]);
    EXPECT_EQ(view.GetBrightness(), 30);
}

}  // namespace
