// The histogram chart: its arithmetic without a window, the pictures it builds (checked
// pixel by pixel against a model of the plot), and selections made by drags.

#include <gtest/gtest.h>

#include <QImage>
#include <cfenv>
#include <cmath>
#include <map>
#include <numeric>

#include "platform/paint/DeviceContext.h"
#include "dialogs/HistogramMath.h"
#include "dialogs/HistogramWnd.h"
#include "dialogs/StatisticsState.h"

namespace {

// A viewer whose histograms the test sets; channel 1 single band, 3 to 5 three channels.
class FakeViewer final : public CStatisticsQueries {
public:
    int ImageWidth(int) override { return width; }
    int ImageHeight(int) override { return height; }
    double Min(int) override { return 0.0; }
    double Max(int) override { return 0.0; }
    double Mean(int) override { return 0.0; }
    double StDev(int) override { return 0.0; }
    std::string GetStringSizePixel(int) override { return {}; }
    std::string GetStringTypeData(int) override { return {}; }
    int GetColorMode() override { return mode; }
    std::uint32_t* GetHistAddr(int channel) override
    {
        return channel >= 1 && channel <= 5 && has[channel] ? hist[channel] : nullptr;
    }
    CVirtualView* GetActiveView() override { return nullptr; }

    int mode = 1;
    int width = 0, height = 0;
    std::uint32_t hist[6][256] = {};
    bool has[6] = {};
};

constexpr int kW = 376, kH = 158;  // plot 256 wide (one column per level), 100 high
const CRect kPlot(60, 10, 316, 110);

constexpr QRgb kBlack = 0xFF000000u;
QRgb Colour(int r, int g, int b)
{
    return qRgb(r, g, b);
}

int Nearest(double v)
{
    std::fesetround(FE_TONEAREST);
    return int(std::nearbyint(v));
}

class Chart : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.m_pViewer = &viewer;
        state.m_setReadout = [this](unsigned id, const std::string& text, bool store) {
            shown[id] = text;
            if (store)
                stored[id] = text;
        };
        chart.Attach(&state);
        chart.m_nGridStep = HistogramGridStep(kH);
        chart.m_bHasHistogram = 1;
    }

    // Level b gets (37 b mod 199) + 1, level 77 the largest, 200: half a pixel a count.
    void SingleBand()
    {
        viewer.mode = state.m_nColorMode = 1;
        viewer.has[1] = true;
        for (int b = 0; b < 256; ++b)
            viewer.hist[1][b] = (37u * b) % 199 + 1;
        viewer.hist[1][77] = 200;
        state.m_nMaxCount = MaxCount(viewer.hist[1], 256);
        state.m_dRangeLow = state.m_dCurLow = -100.0;
        state.m_dRangeHigh = state.m_dCurHigh = 412.0;
        state.m_dTotal = std::accumulate(viewer.hist[1], viewer.hist[1] + 256, 0.0);
    }

    QImage Draw(int w = kW, int h = kH)
    {
        plat::DeviceContext dc(w, h);
        chart.DrawPicture(dc, w, h);
        return dc.Image().copy();
    }

    bool GridDot(int x, int y) const
    {
        const int s = chart.m_nGridStep;
        const bool across = (y - kPlot.top) % 4 == 0 && y <= kPlot.bottom && x >= kPlot.left && x < kPlot.right &&
                            (x - kPlot.left) % s == 0;
        const bool down = (x - kPlot.left) % 4 == 0 && x <= kPlot.right && y >= kPlot.top && y <= kPlot.bottom &&
                          (kPlot.bottom - y) % s == 0;
        return across || down;
    }

    // The plot as columns drawn by exclusive-or over black, the band and the grid.
    QRgb Model(int x, int y, const std::uint32_t* counts, double scale, QRgb pen, int bandFrom = 0, int bandTo = 0)
    {
        if (x == kPlot.left || x == kPlot.right || y == kPlot.top || y == kPlot.bottom)
            return Colour(55, 255, 255);
        QRgb base = x >= bandFrom && x < bandTo ? Colour(50, 255, 255) : kBlack;
        if (GridDot(x, y))
            base = Colour(55, 255, 255);
        const int b = x - kPlot.left;
        const int h = counts && b < 256 ? Nearest(counts[b] * scale) : 0;
        if (h > 0 && y >= kPlot.bottom - h + 1)
            base = (base ^ pen) | 0xFF000000u;
        return base;
    }

    void ExpectPlot(const QImage& image, const std::uint32_t* counts, double scale, QRgb pen, int bandFrom = 0,
                    int bandTo = 0)
    {
        int wrong = 0;
        for (int y = kPlot.top; y <= kPlot.bottom; ++y)
            for (int x = kPlot.left; x <= kPlot.right; ++x) {
                const QRgb want = Model(x, y, counts, scale, pen, bandFrom, bandTo);
                const QRgb got = image.pixel(x, y) | 0xFF000000u;
                if (got != want && ++wrong <= 5)
                    ADD_FAILURE() << "(" << x << ", " << y << ") " << std::hex << got << " want " << want;
            }
        EXPECT_EQ(wrong, 0);
    }

    FakeViewer viewer;
    StatisticsState state;
    CHistogramWnd chart;
    std::map<unsigned, std::string> shown, stored;
};

TEST(HistogramMath, PlotScaleGridAndLargestCount)
{
    EXPECT_EQ(HistogramPlotRect(kW, kH), kPlot);
    EXPECT_EQ(HistogramScale(100, 200), 0.5);
    EXPECT_EQ(HistogramScale(100, 0), 0.0);  // no bars, no count labels
    EXPECT_EQ(HistogramGridStep(158), 53);
    EXPECT_EQ(HistogramGridStep(1), 1);  // a grid loop always moves on
    std::uint32_t counts[256] = {};
    counts[255] = 0xFFFFFFF0u;  // compared unsigned
    counts[3] = 7;
    EXPECT_EQ(MaxCount(counts, 256), 0xFFFFFFF0u);
    EXPECT_EQ(MaxCount(counts, 255), 7u);
    EXPECT_EQ(MaxCount(nullptr, 256), 0u);
}

TEST(HistogramMath, SelectionSumsWholeLevelsBetweenItsBounds)
{
    std::uint32_t counts[256];
    for (int i = 0; i < 256; ++i)
        counts[i] = i;
    const struct {
        double anchor, moving, sum;
    } cases[] = {
        {10.4, 20.6, 165.0},                         // levels 10 to 20
        {20.6, 10.4, 165.0},                         // either order
        {0.0, 255.0, 32640.0},                       // all
        {10.5, 10.5, 10.0},                          // ties to even: level 10
        {11.5, 11.5, 0.0},                           // rounds to 12, past the bound
        {254.6, 255.0, 255.0}, {255.7, 255.7, 0.0},  // no level 256
    };
    for (const auto& c : cases)
        EXPECT_EQ(SelectionSum(counts, c.anchor, c.moving), c.sum) << c.anchor << " " << c.moving;
    EXPECT_EQ(SelectionSum(nullptr, 0, 255), 0.0);
    EXPECT_EQ(SelectionPercent(165.0, 0.0), 0.0);  // a total of 0
    EXPECT_EQ(SelectionPercent(50.0, 200.0), 25.0);
    EXPECT_EQ(SelectedText(25.0), "25.000%");
    EXPECT_EQ(ValueText(-1.5), "-1.500");
}

TEST(HistogramMath, ReadoutsUnderThePointer)
{
    std::uint32_t counts[256] = {};
    counts[0] = 40;
    counts[100] = 10;
    const CRect plot(60, 10, 1084, 110);  // four pixels a level
    // Half a level is two pixels: one pixel left of the plot still reads level 0.
    const HistogramReadout near = ReadoutAt(counts, plot, 1.0, 50, 200.0, 0.0, 256.0, 59, 10);
    EXPECT_TRUE(near.inLevels);
    EXPECT_EQ(near.level, 0);
    EXPECT_EQ(near.countText, "40");
    EXPECT_EQ(near.percentText, "20.000%");
    EXPECT_EQ(near.valueText, "0.000");
    EXPECT_EQ(near.yText, "50");
    const HistogramReadout far = ReadoutAt(counts, plot, 1.0, 50, 200.0, 0.0, 256.0, 57, 10);
    EXPECT_FALSE(far.inLevels);
    EXPECT_EQ(far.valueText, "0");
    EXPECT_EQ(far.countText, "0");
    EXPECT_EQ(far.yText, "0");
    EXPECT_EQ(far.percentText, "0");
    EXPECT_FALSE(ReadoutAt(counts, plot, 1.0, 50, 200.0, 0.0, 256.0, 60 + 4 * 256, 10).inLevels);

    const HistogramReadout mid = ReadoutAt(counts, plot, 0.5, 200, 200.0, -10.0, 246.0, 460, 60);
    EXPECT_EQ(mid.level, 100);
    EXPECT_EQ(mid.valueText, "90.000");
    EXPECT_EQ(mid.yText, "100");  // 200 - 50 / 0.5
    // A largest count of 0 and a total of 0 read 0, not infinities.
    const HistogramReadout empty = ReadoutAt(counts, plot, 0.0, 0, 0.0, 0.0, 0.0, 460, 60);
    EXPECT_EQ(empty.yText, "0");
    EXPECT_EQ(empty.percentText, "0.000%");
    EXPECT_EQ(empty.valueText, "0.000");
    // Above the plot's top the count level passes the largest count; below its foot, 0.
    EXPECT_EQ(ReadoutAt(counts, plot, 1.0, 50, 200.0, 0.0, 1.0, 460, 0).yText, "60");
    EXPECT_EQ(ReadoutAt(counts, plot, 1.0, 50, 200.0, 0.0, 1.0, 460, 150).yText, "0");
    EXPECT_EQ(ReadoutAt(nullptr, plot, 1.0, 50, 200.0, 0.0, 1.0, 460, 60).countText, "0");
}

TEST(HistogramMath, LabelsByRangeAndScale)
{
    const auto whites = [](const std::vector<HistogramLabel>& labels) {
        std::vector<std::pair<int, int>> at;
        for (const HistogramLabel& l : labels)
            if (l.colour == HistogramLabel::White)
                at.emplace_back(l.x, l.y);
        return at;
    };
    // One count label fits under 1.5 grid steps from the top; three value labels.
    const std::vector<HistogramLabel> narrow = HistogramValueLabels(kPlot, 53, 0.5, 200, -100.0, 412.0);
    EXPECT_EQ(whites(narrow), (std::vector<std::pair<int, int>>{{60, 53}, {113, 114}, {166, 114}, {219, 114}}));
    EXPECT_EQ(narrow.front().text, "200.0");
    EXPECT_EQ(narrow.front().align, plat::TA_RIGHT | plat::TA_TOP);
    EXPECT_EQ(narrow[1].text, "106.0");  // 53 / 0.5
    EXPECT_EQ(narrow[2].text, "6.0");    // -100 + 53 x 512 / 256
    EXPECT_EQ(narrow.back().text, "412.0");
    EXPECT_EQ(narrow.back().align, plat::TA_LEFT | plat::TA_TOP);
    EXPECT_EQ(narrow.back().x, 316);

    // A range wider than 32767: no value labels, the high end right-aligned inside.
    const std::vector<HistogramLabel> wide = HistogramValueLabels(kPlot, 53, 0.5, 200, 0.0, 40000.0);
    EXPECT_EQ(whites(wide), (std::vector<std::pair<int, int>>{{60, 53}}));
    EXPECT_EQ(wide.back().align, plat::TA_RIGHT | plat::TA_TOP);
    EXPECT_EQ(wide.back().text, "40000.0");
    // Counts of 32767 and more get no label; a scale of 0 gives none at all.
    EXPECT_TRUE(whites(HistogramValueLabels(kPlot, 53, 100.0 / 1e6, 1000000, 0.0, 40000.0)).empty());
    EXPECT_TRUE(whites(HistogramValueLabels(kPlot, 53, 0.0, 0, 0.0, 40000.0)).empty());

    const std::vector<HistogramLabel> titles = HistogramTitles(kPlot, kH, "Level", "Count");
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_EQ(titles[0].text, "0.0");
    EXPECT_EQ(std::make_pair(titles[0].x, titles[0].y), std::make_pair(56, 110));
    EXPECT_EQ(titles[0].align, plat::TA_RIGHT | plat::TA_BASELINE);
    EXPECT_EQ(std::make_pair(titles[1].x, titles[1].y), std::make_pair(188, 140));
    EXPECT_EQ(titles[1].align, plat::TA_CENTER | plat::TA_TOP);
    EXPECT_EQ(std::make_pair(titles[2].x, titles[2].y), std::make_pair(20, 60));
    EXPECT_TRUE(titles[2].vertical);
    EXPECT_EQ(titles[2].align, plat::TA_CENTER | plat::TA_BASELINE);
    EXPECT_EQ(LabelNumber(1234.56), "1234.6");
}

TEST_F(Chart, ColumnsGridAndFrame)
{
    SingleBand();
    const QImage image = Draw();
    EXPECT_EQ(chart.m_rcPlot, kPlot);
    EXPECT_EQ(chart.m_dBinWidth, 1.0);
    EXPECT_EQ(chart.m_dScale, 0.5);
    ExpectPlot(image, viewer.hist[1], 0.5, Colour(255, 128, 255));
    // The largest count reaches the plot's top.
    EXPECT_EQ(image.pixel(kPlot.left + 77, kPlot.top + 1) | 0xFF000000u, Colour(255, 128, 255));
    // Labels and titles lie outside the plot: some cyan and white ink there.
    int ink = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kPlot.left - 1; ++x)
            ink += (image.pixel(x, y) & 0xFFFFFF) != 0;
    EXPECT_GT(ink, 50);
}

TEST_F(Chart, OutlineFollowsTheLevelTops)
{
    SingleBand();
    state.m_bFill = 0;
    const QImage image = Draw();
    const QRgb pen = Colour(255, 128, 255);
    int drawn = 0;
    const auto height = [&](int b) { return Nearest(viewer.hist[1][b] * 0.5); };
    for (int b = 1; b < 255; ++b) {
        const int x = kPlot.left + b;
        const int h = height(b);
        // The pen passes the level's top; under the lower of it and its neighbours
        // the plot stays empty.
        bool atTop = h < 2;
        for (int y = kPlot.bottom - h; y <= kPlot.bottom - h + 2; ++y)
            atTop = atTop || (image.pixel(x, y) | 0xFF000000u) == pen;
        EXPECT_TRUE(atTop) << b;
        const int low = std::min({height(b - 1), h, height(b + 1)});
        for (int y = kPlot.bottom - low + 2; y < kPlot.bottom; ++y)
            if (!GridDot(x, y) && (image.pixel(x, y) | 0xFF000000u) != kBlack)
                ADD_FAILURE() << "filled under the outline at level " << b << " y " << y;
    }
    for (int y = kPlot.top + 1; y < kPlot.bottom; ++y)
        for (int x = kPlot.left + 1; x < kPlot.right; ++x)
            drawn += (image.pixel(x, y) | 0xFF000000u) == pen;
    int area = 0;
    for (int b = 0; b < 256; ++b)
        area += height(b);
    EXPECT_LT(drawn, area);  // lines, not the columns' area
}

TEST_F(Chart, SelectionBandUnderTheColumns)
{
    SingleBand();
    Draw();  // the plot is known from the first picture on
    chart.OnLButtonDown(kPlot.left + 120, 50);
    chart.OnMouseMove(kPlot.left + 40, 50);
    chart.OnLButtonUp(kPlot.left + 40, 50);
    const QImage image = Draw();
    EXPECT_EQ(chart.m_rcSelection, CRect(180, 10, 100, 110));  // right to left as dragged
    ExpectPlot(image, viewer.hist[1], 0.5, Colour(255, 128, 255), 100, 180);
    // The two colours: the pen on black and on the band.
    bool onBlack = false, onBand = false;
    for (int x = kPlot.left + 1; x < kPlot.right; ++x) {
        const QRgb p = image.pixel(x, kPlot.bottom - 1) | 0xFF000000u;
        onBlack = onBlack || p == Colour(255, 128, 255);
        onBand = onBand || p == Colour(205, 127, 0);
    }
    EXPECT_TRUE(onBlack);
    EXPECT_TRUE(onBand);
}

TEST_F(Chart, ThreeChannelsAddUpAndOneRedChannelMerges)
{
    viewer.mode = state.m_nColorMode = 2;
    for (int c = 3; c <= 5; ++c)
        viewer.has[c] = true;
    for (int b = 0; b < 256; ++b) {
        viewer.hist[3][b] = b < 100 ? 100 : 0;
        viewer.hist[4][b] = b >= 50 && b < 150 ? 100 : 0;
        viewer.hist[5][b] = b >= 75 && b < 125 ? 100 : 0;
    }
    state.m_nMaxRed = state.m_nMaxGreen = state.m_nMaxBlue = 100;
    state.m_nChannel = state.m_nChannelShown = 0;
    chart.m_bHasHistogram = 0;
    chart.m_bSelecting = 1;  // never drawn for three channels
    chart.m_dAnchor = 10;
    chart.m_dMoving = 200;
    QImage image = Draw();
    const int y = kPlot.bottom - 50;
    EXPECT_EQ(image.pixel(kPlot.left + 30, y) | 0xFF000000u, Colour(255, 0, 0));
    EXPECT_EQ(image.pixel(kPlot.left + 60, y) | 0xFF000000u, Colour(255, 255, 0));
    EXPECT_EQ(image.pixel(kPlot.left + 80, y) | 0xFF000000u, Colour(255, 255, 255));
    EXPECT_EQ(image.pixel(kPlot.left + 130, y) | 0xFF000000u, Colour(0, 255, 0));
    EXPECT_EQ(image.pixel(kPlot.left + 200, y) | 0xFF000000u, kBlack);
    EXPECT_EQ(chart.m_dAnchor, 0.0);
    EXPECT_EQ(state.m_nMaxCount, 100u);
    EXPECT_EQ(shown[IDC_HIST_SELECTED], "0.0");
    EXPECT_EQ(shown[IDC_HIST_Y], "0");
    EXPECT_TRUE(stored.empty());  // shown, not kept

    // Red alone merges with the band (OR gives white); green combines by exclusive-or.
    const struct {
        int shown;
        QRgb onBand;
    } cases[] = {{1, Colour(255, 255, 255)}, {2, Colour(50, 0, 255)}};
    for (const auto& c : cases) {
        state.m_nChannel = state.m_nChannelShown = c.shown;
        chart.m_bHasHistogram = 1;
        chart.m_bSelecting = 1;
        chart.m_dAnchor = 0;
        chart.m_dMoving = 255;
        image = Draw();
        EXPECT_EQ(image.pixel(kPlot.left + 70, y) | 0xFF000000u, c.onBand) << c.shown;
    }
}

TEST_F(Chart, DragsSelectClampAndReadOut)
{
    SingleBand();
    Draw();
    const double total = state.m_dTotal;
    const auto sum = [&](int from, int to) {
        return std::accumulate(viewer.hist[1] + from, viewer.hist[1] + to + 1, 0.0);
    };
    const auto percent = [&](double s) { return SelectedText(100.0 * s / total); };

    // Left of the plot anchors level 0 at the low value; past the right edge clamps at
    // 255.0 and the high value, level 255 included.
    chart.OnLButtonDown(20, 150);
    EXPECT_EQ(chart.m_dAnchor, 0.0);
    EXPECT_EQ(chart.m_dAnchorValue, -100.0);
    chart.OnMouseMove(500, 60);
    EXPECT_EQ(chart.m_dMoving, 255.0);
    EXPECT_EQ(stored[IDC_HIST_SELECTED], "100.000%");
    EXPECT_EQ(stored[IDC_HIST_LEFT_VALUE], "-100.000");
    EXPECT_EQ(stored[IDC_HIST_RIGHT_VALUE], "412.000");
    chart.OnLButtonUp(500, 60);

    // Right to left: the smaller value is the left one.
    chart.OnLButtonDown(kPlot.left + 200, 50);
    EXPECT_EQ(stored[IDC_HIST_SELECTED], "0.0%");  // the old selection went
    EXPECT_EQ(chart.m_dAnchor, 200.0);
    chart.OnMouseMove(kPlot.left + 50, 50);
    EXPECT_EQ(stored[IDC_HIST_LEFT_VALUE], "0.000");     // -100 + 50 x 2
    EXPECT_EQ(stored[IDC_HIST_RIGHT_VALUE], "300.000");  // -100 + 200 x 2
    EXPECT_EQ(stored[IDC_HIST_SELECTED], percent(sum(50, 200)));
    // Leaving the window keeps the drag going, clamped at level 0.
    chart.OnMouseMove(-40, -30);
    EXPECT_EQ(chart.m_dMoving, 0.0);
    EXPECT_EQ(stored[IDC_HIST_LEFT_VALUE], "-100.000");
    EXPECT_EQ(stored[IDC_HIST_SELECTED], percent(sum(0, 200)));
    chart.OnLButtonUp(-40, -30);

    // A press in the plot's columns but under it sets nothing.
    chart.OnLButtonDown(kPlot.left + 10, kPlot.bottom + 20);
    EXPECT_EQ(chart.m_dAnchor, 200.0);
    chart.OnLButtonUp(kPlot.left + 10, kPlot.bottom + 20);

    // The read-out of the level under the pointer.
    chart.OnMouseMove(kPlot.left + 77, kPlot.top);
    EXPECT_EQ(stored[IDC_HIST_OCCURENCIES], "200");
    EXPECT_EQ(stored[IDC_HIST_Y], "200");
    EXPECT_EQ(stored[IDC_HIST_VALUE], "54.000");  // -100 + 512 / 256 x 77
    EXPECT_EQ(stored[IDC_HIST_PERCENTAGE], SelectedText(200 * 100.0 / total));
    chart.OnMouseMove(kPlot.left, 50);
    EXPECT_EQ(shown[IDC_HIST_VALUE], "-100.000");
    chart.OnMouseMove(kPlot.left - 1, 50);  // a whole level left: "0", and the stored texts stay
    EXPECT_EQ(shown[IDC_HIST_VALUE], "0");
    EXPECT_EQ(shown[IDC_HIST_PERCENTAGE], "0");
    EXPECT_EQ(stored[IDC_HIST_VALUE], "-100.000");

    // A total of 0: Selected and Percentage show 0.
    state.m_dTotal = 0.0;
    chart.OnLButtonDown(kPlot.left + 5, 50);
    chart.OnMouseMove(kPlot.left + 100, 50);
    EXPECT_EQ(stored[IDC_HIST_SELECTED], "0.000%");
    EXPECT_EQ(stored[IDC_HIST_PERCENTAGE], "0.000%");
}

TEST_F(Chart, WithoutALayerNothingIsDrawnOrSummed)
{
    SingleBand();
    viewer.has[1] = false;  // the layer went: the viewer has no histogram to give
    chart.OnLButtonDown(kPlot.left + 5, 50);
    const QImage image = Draw();
    ExpectPlot(image, nullptr, 0.5, Colour(255, 128, 255), kPlot.left + 5, kPlot.left + 5);
    chart.OnMouseMove(kPlot.left + 100, 50);
    EXPECT_EQ(stored[IDC_HIST_SELECTED], "0.000%");
    EXPECT_EQ(stored[IDC_HIST_OCCURENCIES], "0");
}

}  // namespace
