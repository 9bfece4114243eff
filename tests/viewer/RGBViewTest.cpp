// The three-channel view: its arithmetic, the preparation of its channels, painting
// and rendering the three planes, and its answers per channel.

#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "FakeMeter.h"
#include "platform/dialogs/MessageBox.h"
#include "RasterViewTestSupport.h"
#include "view/RGBView.h"
#include "view/RGBViewMath.h"

namespace {

namespace fs = std::filesystem;
using namespace rvtest;

constexpr int kW = 264, kH = 200;  // two pyramid levels

// Channel 0 red, 1 green, 2 blue: each sample encodes its position and its channel.
int Sample(int channel, int x, int y)
{
    switch (channel) {
    case 0:
        return (x * 7 + y * 13) % 256;
    case 1:
        return (x * 3 + y * 5 + 50) % 256;
    default:
        return (x + y * 11 + 100) % 256;
    }
}

QRgb Pixel(int r, int g, int b)
{
    return qRgb(r, g, b);
}

QRgb At(const plat::DeviceContext& dc, int x, int y)
{
    return dc.Image().pixel(x, y) | 0xFF000000u;
}

TEST(RGBViewMath, LevelsScaleTheirPlaneOnly)
{
    const struct {
        int level;
        unsigned char from, to;
    } cases[] = {{128, 255, 127}, {254, 255, 253}, {255, 255, 255}, {0, 200, 0}, {128, 1, 0}};
    for (const auto& c : cases) {
        // Two rows of two pixels, padded; the padding must stay.
        unsigned char buffer[2][9];
        std::memset(buffer, c.from, sizeof buffer);
        ApplyLevels(&buffer[0][0], 9, 2, 2, 255, 255, c.level);
        for (int r = 0; r < 2; ++r)
            for (int i = 0; i < 9; ++i) {
                const bool red = i < 6 && i % 3 == 2;
                EXPECT_EQ(buffer[r][i], red ? c.to : c.from) << "level " << c.level << " row " << r << " byte " << i;
            }
    }
    unsigned char pixel[3] = {255, 255, 255};
    ApplyLevels(pixel, 3, 1, 1, 128, 64, 255);
    EXPECT_EQ(pixel[0], 127);  // blue
    EXPECT_EQ(pixel[1], 63);   // green
    EXPECT_EQ(pixel[2], 255);  // red
}

// Rows long enough for the sixteen-pixel steps and a tail, every byte value in
// every plane, against v x level / 256 (a plane at 255 unchanged) byte by byte.
TEST(RGBViewMath, LevelsOfWideRowsEqualTheFormula)
{
    const int levels[][3] = {{255, 255, 0}, {128, 64, 255}, {254, 1, 200}, {0, 255, 255}, {17, 129, 251}};
    for (const auto& lv : levels)
        for (const int width : {16, 37, 300, 513}) {
            const int height = 70, rowBytes = 3 * width + 5;
            std::vector<unsigned char> buffer(std::size_t(rowBytes) * height);
            for (std::size_t i = 0; i < buffer.size(); ++i)
                buffer[i] = static_cast<unsigned char>(i * 7 + i / 251);
            const std::vector<unsigned char> before = buffer;
            ApplyLevels(buffer.data(), rowBytes, width, height, lv[0], lv[1], lv[2]);
            for (int r = 0; r < height; ++r)
                for (int i = 0; i < rowBytes; ++i) {
                    const std::size_t at = std::size_t(r) * rowBytes + std::size_t(i);
                    const int level = lv[i % 3];
                    const unsigned v = before[at];
                    const unsigned want = i >= 3 * width || level == 255 ? v : (v * unsigned(level)) >> 8;
                    ASSERT_EQ(buffer[at], want) << "levels " << lv[0] << " " << lv[1] << " " << lv[2] << " width "
                                                << width << " row " << r << " byte " << i;
                }
        }
}

TEST(RGBViewMath, NamesValuesAndPlanes)
{
    EXPECT_EQ(RGBLayerName("C:\\images\\r.rdp", "D:\\x\\g.rdp", "/data/set/b.rdp"), "r.rdp, g.rdp, b.rdp");
    EXPECT_EQ(RGBLayerName("a/b\\r.rdp", "g.rdp", "x\\y/b.rdp"), "r.rdp, g.rdp, b.rdp");
    EXPECT_EQ(RGBValueString("12", "200", "7"), "(12,200,7)");
    EXPECT_EQ(RGBValueString("12", "", "7"), "");
    EXPECT_EQ(RGBPlaneOffset(3), 2);
    EXPECT_EQ(RGBPlaneOffset(4), 1);
    EXPECT_EQ(RGBPlaneOffset(5), 0);
    EXPECT_EQ(RGBPlaneOffset(1), -1);
    EXPECT_EQ(RGBRowBytes(1), 12);
    EXPECT_EQ(RGBRowBytes(4), 12);
    EXPECT_EQ(RGBRowBytes(5), 24);
    // Fit and magnified: the whole image must fit, whatever region was asked.
    EXPECT_TRUE(RGBExtractionFits(12, 4, 4, 1.0, 1, 100, 100, 48));
    EXPECT_FALSE(RGBExtractionFits(12, 4, 4, 0.5, 1, 100, 100, 48));
    EXPECT_TRUE(RGBExtractionFits(300, 4, 4, 0.5, 1, 100, 100, 30000));
    EXPECT_FALSE(RGBExtractionFits(12, 5, 1, 1.0, 0, 100, 100, 1000));
}

class RGBViewTest : public ViewFixture {
protected:
    std::string Channel(int c, int w = kW, int h = kH)
    {
        static const char* names[] = {"r.rdp", "g.rdp", "b.rdp"};
        const std::string path = File(names[c]);
        WriteLayer(path, w, h, UINT8, [c](int x, int y, int) { return double(Sample(c, x, y)); });
        return path;
    }

    // Opens the three channels and waits for the notice; its code.
    int Open(CRGBView& view, const std::string& r, const std::string& g, const std::string& b)
    {
        EXPECT_EQ(view.OpenImage(7, m_notify.handle, r.c_str(), g.c_str(), b.c_str(), nullptr, {}), 1);
        const size_t before = m_notify.notices.size();
        EXPECT_TRUE(m_notify.WaitFor(before + 1));
        EXPECT_EQ(view.IsBusy(), 0);
        return m_notify.notices.empty() ? -1 : m_notify.notices.back().second;
    }

    void OpenShown(CRGBView& view)
    {
        ASSERT_EQ(Open(view, Channel(0), Channel(1), Channel(2)), 2);
        view.SetShown(1);
    }

    NoticeWindow m_notify;
    std::vector<unsigned char> m_bits = std::vector<unsigned char>(1 << 22);
    plat::BitmapInfo m_info;
};

TEST_F(RGBViewTest, PreparedChannelsAnswerPerChannel)
{
    CRGBView view;
    EXPECT_EQ(view.GetKind(), 1);
    EXPECT_EQ(view.GetColorMode(), 2);
    const std::string r = Channel(0), g = Channel(1), b = Channel(2);
    ASSERT_EQ(Open(view, r, g, b), 2);
    EXPECT_EQ(m_notify.notices.back().first, 7);
    EXPECT_EQ(view.GetWidth(), kW);
    EXPECT_EQ(view.GetHeight(), kH);
    EXPECT_EQ(view.GetLayerName(), "r.rdp, g.rdp, b.rdp");
    const std::string files[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
        CRasterView* channel = view.GetChannel(3 + c);
        ASSERT_NE(channel, nullptr);
        EXPECT_EQ(view.GetFileName(3 + c), files[c]);
        EXPECT_EQ(view.Mean(3 + c), channel->Mean(1));
        EXPECT_EQ(view.Min(3 + c), channel->Min(1));
        EXPECT_EQ(view.Max(3 + c), channel->Max(1));
        EXPECT_EQ(view.StDev(3 + c), channel->StDev(1));
        EXPECT_EQ(view.GetHistAddr(3 + c), channel->GetHistAddr(1));
        EXPECT_EQ(view.GetRangeMax(3 + c), 255.0);
        EXPECT_EQ(view.GetStringTypeData(3 + c), "Unsigned integer");
        EXPECT_EQ(view.GetStringSizePixel(3 + c), "8 bits");
    }
    EXPECT_NE(view.Mean(4), view.Mean(3));
    // Channel 1 and anything but 3, 4, 5 get the neutral answers of this view.
    for (int channel : {1, 2, 6, 0}) {
        EXPECT_EQ(view.Mean(channel), -1.0);
        EXPECT_EQ(view.Min(channel), -1.0);
        EXPECT_EQ(view.Max(channel), -1.0);
        EXPECT_EQ(view.StDev(channel), -1.0);
        EXPECT_EQ(view.GetRangeMin(channel), -1.0);
        EXPECT_EQ(view.GetRangeMax(channel), -1.0);
        EXPECT_EQ(view.GetHistAddr(channel), nullptr);
        EXPECT_EQ(view.GetFileName(channel), "");
        EXPECT_EQ(view.GetStringTypeData(channel), "");
        EXPECT_EQ(view.GetStringSizePixel(channel), "");
    }
    EXPECT_EQ(view.GetValueString(3, 2), "(" + std::to_string(Sample(0, 3, 2)) + "," + std::to_string(Sample(1, 3, 2)) +
                                             "," + std::to_string(Sample(2, 3, 2)) + ")");
}

TEST_F(RGBViewTest, AFailedPreparationReportsWithoutABox)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string r = Channel(0), g = Channel(1);
    {
        // Blue missing: red and green stay prepared, no size is set.
        CRGBView view;
        EXPECT_EQ(Open(view, r, g, File("missing.rdp")), 3);
        EXPECT_EQ(view.GetWidth(), 0);
        EXPECT_EQ(view.GetHeight(), 0);
        EXPECT_EQ(view.GetFileName(3), r);
        EXPECT_EQ(view.GetFileName(4), g);
        EXPECT_NE(view.GetHistAddr(4), nullptr);
        EXPECT_EQ(view.GetChannel(5), nullptr);
        EXPECT_EQ(view.GetValueString(1, 1), "");
    }
    {
        // A file that is no layer file at all.
        const std::string junk = File("junk.rdp");
        FILE* f = std::fopen(junk.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("not a raster layer file, not at all", f);
        std::fclose(f);
        CRGBView view;
        EXPECT_EQ(Open(view, r, junk, g), 3);
        EXPECT_EQ(view.GetWidth(), 0);
    }
    {
        // Channels of different sizes.
        const std::string small = File("small.rdp");
        WriteLayer(small, kW, kH / 2, UINT8, [](int x, int, int) { return double(x); });
        CRGBView view;
        EXPECT_EQ(Open(view, r, g, small), 3);
        EXPECT_EQ(view.GetWidth(), 0);
    }
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(RGBViewTest, AViewClosedDuringItsPreparationIsLeftAlone)
{
    const std::string r = Channel(0), g = Channel(1), b = Channel(2);
    HoldingMeter meter;
    auto view = std::make_unique<CRGBView>();
    ASSERT_EQ(view->OpenImage(0, m_notify.handle, r.c_str(), g.c_str(), b.c_str(), &meter, {}), 1);
    EXPECT_EQ(view->IsBusy(), 1);
    EXPECT_EQ(view->OpenImage(0, m_notify.handle, r.c_str(), g.c_str(), b.c_str(), &meter, {}), 0);
    // Nothing is painted or answered while the job holds the channels.
    EXPECT_EQ(view->GetChannel(3), nullptr);
    EXPECT_EQ(view->GetValueString(0, 0), "");
    view.reset();
    ASSERT_TRUE(WaitForNoJobs());
    EXPECT_TRUE(m_notify.notices.empty());
    // The cache it was building is gone.
    EXPECT_FALSE(fs::exists(File("r.tmp")) && fs::exists(File("g.tmp")) && fs::exists(File("b.tmp")));
}

TEST_F(RGBViewTest, PaintsEachChannelIntoItsColour)
{
    CRGBView view;
    OpenShown(view);
    const auto average = [](int c, int px, int py) {
        return (Sample(c, 2 * px, 2 * py) + Sample(c, 2 * px + 1, 2 * py) + Sample(c, 2 * px, 2 * py + 1) +
                Sample(c, 2 * px + 1, 2 * py + 1)) >>
               2;
    };
    struct Case {
        const char* what;
        double reduction;
        int fit;
        int redLevel;
        int x, y, width, height;
        std::function<bool(int px, int py)> checked;
        std::function<int(int c, int px, int py)> sample;
    } cases[] = {
        {"1:1", 1.0, 0, 255, 0, 0, kW, kH, [](int, int) { return true; },
         [](int c, int px, int py) { return Sample(c, px, py); }},
        {"1:1 scrolled, odd width", 1.0, 0, 255, 30, 20, 51, 40, [](int, int) { return true; },
         [](int c, int px, int py) { return Sample(c, 30 + px, 20 + py); }},
        {"red level 128", 1.0, 0, 128, 0, 0, kW, kH, [](int, int) { return true; },
         [](int c, int px, int py) { return c == 0 ? Sample(c, px, py) * 128 / 256 : Sample(c, px, py); }},
        {"halved", 2.0, 0, 255, 0, 0, kW / 2, kH / 2, [](int, int) { return true; }, average},
        {"fit, magnified 4", 0.25, 1, 255, 0, 0, 4 * kW, 4 * kH,
         [](int px, int py) { return (px % 4 == 1 || px % 4 == 2) && (py % 4 == 1 || py % 4 == 2); },
         [](int c, int px, int py) { return Sample(c, px / 4, py / 4); }},
    };
    for (const Case& c : cases) {
        plat::DeviceContext dc(c.width, c.height);
        view.SetBrightness(c.redLevel, 3);
        view.SetScale(c.reduction);
        EXPECT_EQ(view.IsRegionValid(), 0);
        view.PaintScaled(&dc, c.x, c.y, c.width, c.height, c.reduction, c.fit, m_bits.data(), m_bits.size(), &m_info);
        EXPECT_EQ(view.IsRegionValid(), 1) << c.what;
        EXPECT_EQ(m_info.bitCount, 24);
        int wrong = 0;
        for (int py = 0; py < c.height; ++py)
            for (int px = 0; px < c.width; ++px)
                if (c.checked(px, py) &&
                    At(dc, px, py) != Pixel(c.sample(0, px, py), c.sample(1, px, py), c.sample(2, px, py)) &&
                    ++wrong < 5)
                    ADD_FAILURE() << c.what << ": pixel " << px << "," << py;
        EXPECT_EQ(wrong, 0) << c.what;
    }

    // A strip drawn 1:1 at its destination.
    view.SetBrightness(255, 3);
    plat::DeviceContext dc(100, 100);
    view.PaintDirect(&dc, 10, 5, 20, 30, 7, 3, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
    EXPECT_EQ(view.IsRegionValid(), 0);
    EXPECT_EQ(At(dc, 20, 30), Pixel(Sample(0, 10, 5), Sample(1, 10, 5), Sample(2, 10, 5)));
    EXPECT_EQ(At(dc, 26, 32), Pixel(Sample(0, 16, 7), Sample(1, 16, 7), Sample(2, 16, 7)));
    EXPECT_EQ(At(dc, 27, 32), Pixel(0, 0, 0));
}

TEST_F(RGBViewTest, NothingIsDrawnWithoutAllChannelsOrRoomInTheBuffer)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const QRgb black = Pixel(0, 0, 0);
    {
        CRGBView view;
        ASSERT_EQ(Open(view, Channel(0), Channel(1), File("missing.rdp")), 3);
        view.SetShown(1);
        plat::DeviceContext dc(kW, kH);
        view.PaintScaled(&dc, 0, 0, kW, kH, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
        view.PaintDirect(&dc, 0, 0, 0, 0, kW, kH, 1.0, 0, m_bits.data(), m_bits.size(), &m_info);
        EXPECT_EQ(At(dc, 5, 5), black);
    }
    CRGBView view;
    OpenShown(view);
    // Fit and magnified needs the whole image in the buffer, however little is shown.
    plat::DeviceContext dc(40, 40);
    view.SetScale(0.5);
    view.PaintScaled(&dc, 0, 0, 40, 40, 0.5, 1, m_bits.data(), size_t(RGBRowBytes(kW)) * kH - 1, &m_info);
    EXPECT_EQ(At(dc, 5, 5), black);
    view.PaintScaled(&dc, 0, 0, 40, 40, 1.0, 0, m_bits.data(), size_t(RGBRowBytes(40)) * 40 - 1, &m_info);
    EXPECT_EQ(At(dc, 5, 5), black);
    view.PaintScaled(&dc, 0, 0, 40, 40, 1.0, 0, m_bits.data(), size_t(RGBRowBytes(40)) * 40, &m_info);
    EXPECT_EQ(At(dc, 5, 5), Pixel(Sample(0, 5, 5), Sample(1, 5, 5), Sample(2, 5, 5)));
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(RGBViewTest, RenderGivesBottomUpBlueGreenRedRowsAndMovesTheMeter)
{
    CRGBView view;
    ASSERT_EQ(Open(view, Channel(0, 50, 100), Channel(1, 50, 100), Channel(2, 50, 100)), 2);
    view.SetBrightness(128, 5);
    const int rowBytes = 152;  // 150 bytes of pixels, padded
    std::vector<unsigned char> out(size_t(rowBytes) * 100, 0xAB);
    testsupport::FakeMeter meter;
    meter.pos = 0;  // where a fresh progress window starts
    view.RenderRGB(0, 0, 50, 100, rowBytes, 1, 1.0, 0, out.data(), out.size(), &meter);
    ASSERT_FALSE(meter.ranges.empty());
    EXPECT_EQ(meter.ranges.back().first, 0.0);
    EXPECT_EQ(meter.ranges.back().second, 300.0);
    EXPECT_EQ(meter.pos, 768.0);
    int wrong = 0;
    for (int y = 0; y < 100; ++y) {
        const unsigned char* row = out.data() + size_t(99 - y) * rowBytes;
        for (int x = 0; x < 50; ++x)
            wrong += row[3 * x] != Sample(2, x, y) * 128 / 256 || row[3 * x + 1] != Sample(1, x, y) ||
                     row[3 * x + 2] != Sample(0, x, y);
        wrong += row[150] != 0xAB || row[151] != 0xAB;
    }
    EXPECT_EQ(wrong, 0);

    // A cancel from the meter reaches the caller.
    testsupport::FakeMeter cancelling;
    cancelling.failAt = 1;
    cancelling.fault = testsupport::FakeMeter::Fault::Cancel;
    bool cancelled = false;
    try {
        view.RenderRGB(0, 0, 50, 100, rowBytes, 1, 1.0, 0, out.data(), out.size(), &cancelling);
    } catch (plat::Exception* e) {
        e->Delete();
        cancelled = true;
    }
    EXPECT_TRUE(cancelled);
}

}  // namespace
