#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "TempDir.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "window/ViewRectMath.h"

using namespace viewrect;

namespace {

TEST(ViewRectZoom, StepsFollowTheIntegerLevels)
{
    struct Case {
        const char* what;
        double from;
        bool in;
        double to;
    } cases[] = {
        {"1 in", 1.0, true, 0.5},
        {"1/2 in", 0.5, true, 1.0 / 3},
        {"1/2 out", 0.5, false, 1.0},
        {"1 out", 1.0, false, 2.0},
        {"2 out", 2.0, false, 3.0},
        {"3 in", 3.0, true, 2.0},
        {"2 in", 2.0, true, 1.0},
        {"fitted 2 in", 2.0, true, 1.0},
        {"fitted 1.4 in rounds to 1 then 1:1", 1.4, true, 1.0},
        {"fitted 0.3 out rounds to 1/3", 0.3, false, 0.5},
        {"fitted 0.9 out", 0.9, false, 1.0},
    };
    for (const auto& c : cases) {
        const double got = c.in ? ZoomInScale(c.from) : ZoomOutScale(c.from);
        EXPECT_DOUBLE_EQ(got, c.to) << c.what;
    }
}

TEST(ViewRectZoom, FitTakesTheLargerRatioAndAZeroClientIsRefused)
{
    const double fit = FitScale(1000, 500, 500, 500);
    EXPECT_DOUBLE_EQ(fit, 2.0);
    EXPECT_DOUBLE_EQ(ZoomInScale(fit), 1.0);
    EXPECT_DOUBLE_EQ(FitScale(400, 100, 800, 800), 0.5);
    const double zero = FitScale(1000, 500, 0, 0);
    EXPECT_FALSE(AcceptedScale(zero, 1000, 500).has_value());
}

TEST(ViewRectZoom, ScalesAreAcceptedOnlyBelowTheLargerImageSide)
{
    struct Case {
        double s;
        std::optional<double> want;
    } cases[] = {
        {0.0, 1.0},
        {999.0, 999.0},
        {1000.0, std::nullopt},
        {5000.0, std::nullopt},
        {-1.0, std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {0.25, 0.25},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AcceptedScale(c.s, 1000, 500), c.want) << c.s;
}

// Zooming in stops where the image in screen pixels would leave the range the
// scroll bars count in: every accepted scale gives sane int bar fields.
TEST(ViewRectZoom, ZoomInStopsBeforeScrollRangesOverflow)
{
    struct Case {
        double s;
        int w, h;
        bool accepted;
    } cases[] = {
        {1e-6, 1000, 500, true},   {1e-6, 5000, 500, false},     {1e-6, 500, 5000, false},
        {1e-9, 2, 2, false},       {1.0, 40000, 30000, true},    {4e-5, 40000, 30000, true},
        {3e-5, 40000, 30000, false}, {double(40000) / kMaxScreenSide * 1.000001, 40000, 1, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AcceptedScale(c.s, c.w, c.h).has_value(), c.accepted) << c.s << " " << c.w << "x" << c.h;

    // Step after step, as the zoom command does: refused steps leave the scale.
    const int w = 40000, h = 30000, client = 800;
    double scale = 1.0;
    int steps = 0;
    for (int i = 0; i < 100000; ++i) {
        const auto next = AcceptedScale(ZoomInScale(scale), w, h);
        if (!next)
            break;
        scale = *next;
        ++steps;
    }
    EXPECT_GT(steps, 1000);
    EXPECT_LT(steps, 100000);
    for (int side : {w, h}) {
        const ScrollAxis a = AxisForScale(side, scale, client);
        EXPECT_GT(a.nMax, 0);
        EXPECT_LE(a.nMax, kMaxScreenSide);
        EXPECT_GT(ScrollRequest(plat::SB_PAGERIGHT, ScrollAxis{a.nMin, a.nMax, a.nPage, a.nMax, 0}, scale), 0);
    }
    const Extent e = ImageExtent(w, h, scale);
    EXPECT_GT(e.cx, 0);
    EXPECT_GT(e.cy, 0);
}

TEST(ViewRectScroll, LineStepIsOneImageSample)
{
    EXPECT_EQ(LineStep(0.25), 4);
    EXPECT_EQ(LineStep(2.0), 1);
    EXPECT_EQ(LineStep(1.0), 1);
    ScrollAxis a = AxisForScale(100, 0.25, 100);
    EXPECT_EQ(a.nMax, 400);
    EXPECT_EQ(a.nPage, 101);
    a.nPos = 8;
    EXPECT_EQ(ScrollRequest(plat::SB_LINERIGHT, a, 0.25), 12);
    EXPECT_EQ(ScrollRequest(plat::SB_LINELEFT, a, 0.25), 4);
    EXPECT_EQ(ScrollRequest(plat::SB_PAGERIGHT, a, 0.25), 8 + 101);
    EXPECT_EQ(ScrollRequest(plat::SB_RIGHT, a, 0.25), 400);
    EXPECT_EQ(ScrollRequest(plat::SB_LEFT, a, 0.25), 0);
    a.nTrackPos = 77;
    EXPECT_EQ(ScrollRequest(plat::SB_THUMBTRACK, a, 0.25), 77);
    EXPECT_EQ(ScrollRequest(plat::SB_ENDSCROLL, a, 0.25), 8);
}

TEST(ViewRectScroll, PositionsSnapToSamplesAndClampToTheRange)
{
    const ScrollAxis a = AxisForScale(100, 0.25, 100);  // 400 screen pixels
    struct Case {
        int p;
        double scale;
        std::optional<int> want;
    } cases[] = {
        {10, 0.25, 8},  // magnified: whole samples
        {-5, 0.25, 0},
        {1000, 0.25, 300},  // nMax - client
        {13, 1.0, 13},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScrollPosFor(c.p, c.scale, a, 100), c.want) << c.p;
    // A client wider than the image does not scroll.
    EXPECT_EQ(ScrollPosFor(10, 1.0, AxisForScale(50, 1.0, 100), 100), std::nullopt);
}

TEST(ViewRectScroll, CenterBringsThePointToTheMiddle)
{
    const ScrollAxis a = AxisForScale(1000, 1.0, 200);
    EXPECT_EQ(CenterRequest(500, 1.0, a, 200), 400);
    EXPECT_EQ(CenterRequest(50, 1.0, a, 200), 0);
    EXPECT_EQ(CenterRequest(5000, 1.0, a, 200), 1000);
    // Reduced by 3: up to a whole sample step.
    const ScrollAxis r = AxisForScale(3000, 3.0, 200);
    EXPECT_EQ(CenterRequest(501, 3.0, r, 200), 402);
}

TEST(ViewRectScroll, BarsAppearOnlyWhereTheImageNeedsThem)
{
    struct Case {
        const char* what;
        int w, h;
        double scale;
        int cw, ch;
        Extent want;
    } cases[] = {
        {"fits", 100, 100, 1.0, 200, 200, {0, 0}},
        {"taller", 100, 300, 1.0, 200, 200, {16, 0}},
        {"wider", 300, 100, 1.0, 200, 200, {0, 16}},
        {"wider, then the bar makes it taller", 300, 195, 1.0, 200, 200, {16, 16}},
        {"vertical bar makes it wider", 195, 300, 1.0, 200, 200, {16, 16}},
        {"magnified by 2", 150, 50, 0.5, 200, 200, {0, 16}},
        {"reduced by 2, odd side rounds up", 401, 100, 2.0, 200, 200, {0, 16}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScrollBarSize(c.w, c.h, c.scale, c.cw, c.ch, 16), c.want) << c.what;
}

TEST(ViewRectPaint, BufferHoldsWhatAnExtractionWritesInWholeSteps)
{
    EXPECT_EQ(PaintBytes(1923, 1080, 3), std::int64_t(1923) * 1080 * 3);
    // A fit-magnified whole-layer extraction beyond 2 GiB is still counted exactly.
    EXPECT_EQ(PaintBytes(40000, 40000, 3), std::int64_t(40000) * 40000 * 3);
    EXPECT_EQ(PaintBytes(-1, 10, 1), 0);
    EXPECT_EQ(GrownBufferSize(0, 1), 0x80000);
    EXPECT_EQ(GrownBufferSize(0, 0x80001), 0x100000);
    EXPECT_EQ(GrownBufferSize(0x100000, 10), 0x100000);
}

TEST(ViewRectPaint, MarginsStartPastTheImage)
{
    EXPECT_EQ(MarginEdges(100, 50, 1.0, false, 300, 300), (Extent{100, 50}));
    EXPECT_EQ(MarginEdges(100, 50, 0.5, false, 300, 300), (Extent{200, 100}));
    EXPECT_EQ(MarginEdges(100, 50, 0.5, true, 300, 300), (Extent{201, 101}));
    EXPECT_EQ(MarginEdges(1000, 50, 1.0, false, 300, 300), (Extent{300, 50}));
}

TEST(ViewRectPaint, HatchMarksBothDiagonals)
{
    EXPECT_TRUE(HatchBlack(0, 0));
    EXPECT_TRUE(HatchBlack(3, 3));
    EXPECT_TRUE(HatchBlack(7, 0));
    EXPECT_TRUE(HatchBlack(0, 7));
    EXPECT_TRUE(HatchBlack(-1, 0));  // left of the origin, (x + y) mod 8 = 7
    EXPECT_FALSE(HatchBlack(1, 0));
    EXPECT_FALSE(HatchBlack(4, 1));
}

TEST(ViewRectStatus, PixelAndZoomTexts)
{
    EXPECT_EQ(PositionText(ImageSample(10, 1.0), ImageSample(20, 1.0)), "( 10, 20 )");
    EXPECT_EQ(PositionText(ImageSample(10, 0.5), ImageSample(20, 0.5)), "( 5, 10 )");
    EXPECT_EQ(ZoomText(1.0), "100 %");
    EXPECT_EQ(ZoomText(0.5), "200 %");
    EXPECT_EQ(ZoomText(2.0), "50 %");
}

TEST(ViewRectStatus, DegreesKeepTheirSignAndPrintInTheCLocale)
{
    // A German numeric locale, where the host has one, must not reach the text.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Case {
        const char* what;
        double lon, lat;
        int format;
        std::string want;
    } cases[] = {
        {"west within one degree", -0.5, -1.5, 0, " Longitude:  -0\u00B0  30' 0''   Latitude:  -1\u00B0  30' 0'' "},
        {"format 1 spacing", 10.25, 50.5, 1, " Longitude: 10\u00B0  15' 0''   Latitude: 50\u00B0  30' 0'' "},
        {"fractional seconds", 1.0 + 1.0 / 60 + 2.5 / 3600, 0, 0,
         " Longitude:  1\u00B0  1' 2.5''   Latitude:  0\u00B0  0' 0'' "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GeoText(c.lon, c.lat, c.format, "Longitude:", "Latitude:"), c.want) << c.what;
    EXPECT_EQ(GeoText(std::nan(""), 0, 0, "a", "b"), "");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

class ViewRectGeo : public ::testing::Test {
protected:
    std::string MakeFile(const char* name)
    {
        const std::string path = m_dir.File(name);
        CRDPLayer layer;
        void** rows = layer.CreateLayer(path.c_str(), 4, 4, UINT8, 5);
        EXPECT_NE(rows, nullptr);
        EXPECT_EQ(layer.CloseLayer(), 1);
        return path;
    }
    static CornerTag Corners()
    {
        CornerTag c;
        c.length = 72;
        c.ulLat = 50, c.ulLon = 10;
        c.urLat = 50, c.urLon = 11;
        c.llLat = 49, c.llLon = 10;
        c.lrLat = 49, c.lrLon = 11;
        return c;
    }
    static WindowTag Window()
    {
        WindowTag w;
        w.length = 24;
        w.width = 100;
        w.height = 200;
        return w;
    }
    testsupport::TempDir m_dir;
};

TEST_F(ViewRectGeo, CornersAndWindowGiveTheMapAndTheHistoryFollows)
{
    const std::string f = MakeFile("geo.rdp");
    const CornerTag c = Corners();
    const WindowTag w = Window();
    ASSERT_EQ(SetTag(f.c_str(), 0, 302, sizeof c, &c), 1);
    ASSERT_EQ(SetTag(f.c_str(), 0, 303, sizeof w, &w), 1);
    auto map = GeoMap(ReadGeoTags(f));
    ASSERT_TRUE(map);
    SPoint px{50, 100}, ll;
    ASSERT_EQ(InverseTransformPoint(&*map, &px, &ll), 1);
    EXPECT_NEAR(ll.x, 10.5, 1e-9);
    EXPECT_NEAR(ll.y, 49.5, 1e-9);

    // A subset history shifts pixel positions after the corner map.
    TransformTag t;
    t.length = 56;
    SPoint origin{10, 20};
    SubsetTransform(&origin, &t.matrix);
    ASSERT_EQ(SetTag(f.c_str(), 0, 308, sizeof t, &t), 1);
    map = GeoMap(ReadGeoTags(f));
    ASSERT_TRUE(map);
    SPoint ul{10, 50}, at;
    DirectTransformPoint(&*map, &ul, &at);
    SPoint want;
    SPoint zero{0, 0};
    DirectTransformPoint(&t.matrix, &zero, &want);
    EXPECT_NEAR(at.x, want.x, 1e-9);
    EXPECT_NEAR(at.y, want.y, 1e-9);
}

TEST_F(ViewRectGeo, MissingShortOrSingularTagsGiveNoReadOut)
{
    const CornerTag c = Corners();
    const WindowTag w = Window();
    {
        const std::string f = MakeFile("no303.rdp");
        ASSERT_EQ(SetTag(f.c_str(), 0, 302, sizeof c, &c), 1);
        EXPECT_FALSE(GeoMap(ReadGeoTags(f))) << "without 303";
    }
    {
        // The file writes the length word itself; a record read with length 0 is
        // one whose tag was absent.
        GeoTags t;
        t.corners = c;
        t.corners.length = 0;
        t.window = w;
        EXPECT_FALSE(GeoMap(t)) << "302 with a zero length";
    }
    {
        const std::string f = MakeFile("short.rdp");
        ASSERT_EQ(SetTag(f.c_str(), 0, 302, 24, &c), 1);  // length, flag, upper-left only
        ASSERT_EQ(SetTag(f.c_str(), 0, 303, sizeof w, &w), 1);
        const GeoTags t = ReadGeoTags(f);
        EXPECT_EQ(t.corners.ulLon, 10);
        EXPECT_EQ(t.corners.urLon, 0) << "the rest keeps its default";
        EXPECT_EQ(t.format.value, 0);
        EXPECT_EQ(t.history.matrix.a, 1.0);
    }
    {
        const std::string f = MakeFile("line.rdp");
        CornerTag s = c;
        s.llLat = 50, s.llLon = 12;  // three corners on one line
        ASSERT_EQ(SetTag(f.c_str(), 0, 302, sizeof s, &s), 1);
        ASSERT_EQ(SetTag(f.c_str(), 0, 303, sizeof w, &w), 1);
        EXPECT_FALSE(GeoMap(ReadGeoTags(f))) << "singular";
    }
    {
        const std::string f = MakeFile("nan.rdp");
        CornerTag n = c;
        n.ulLon = std::numeric_limits<double>::quiet_NaN();
        ASSERT_EQ(SetTag(f.c_str(), 0, 302, sizeof n, &n), 1);
        ASSERT_EQ(SetTag(f.c_str(), 0, 303, sizeof w, &w), 1);
        EXPECT_FALSE(GeoMap(ReadGeoTags(f))) << "not finite";
    }
    {
        const std::string f = MakeFile("fmt.rdp");
        GeoFormatTag g;
        g.length = 12;
        g.value = 1;
        ASSERT_EQ(SetTag(f.c_str(), 0, 671, sizeof g, &g), 1);
        EXPECT_EQ(ReadGeoTags(f).format.value, 1);
    }
}

}  // namespace
