#include "dialogs/HistogramMath.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/paint/DeviceContext.h"
#include "util/MathHelpers.h"

namespace {

constexpr int kMarginUnit = 6;
// Labels wider than this no longer fit between the grid lines.
constexpr double kLabelLimit = 32767.0;

// Fixed-point digits as the C locale prints them, whatever locale the program runs in.
std::string Fixed(double value, int precision)
{
    char text[400];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    if (error != std::errc())
        return "0";
    return std::string(text, end);
}

int Level(double x, double binWidth)
{
    return binWidth > 0.0 ? Round(x / binWidth) : kHistogramLevels;
}

int Height(const std::uint32_t* counts, int level, double scale)
{
    return Round(double(counts[level]) * scale);
}

double BinWidth(const CRect& plot)
{
    return plot.Width() / double(kHistogramLevels);
}

}  // namespace

std::uint32_t MaxCount(const std::uint32_t* counts, int n)
{
    if (!counts || n <= 0)
        return 0;
    return *std::max_element(counts, counts + n);
}

CRect HistogramPlotRect(int clientWidth, int clientHeight)
{
    return CRect(10 * kMarginUnit, 10, clientWidth - 10 * kMarginUnit, clientHeight - 8 * kMarginUnit);
}

double HistogramScale(int plotHeight, std::uint32_t maxCount)
{
    return maxCount == 0 ? 0.0 : plotHeight / double(maxCount);
}

int HistogramGridStep(int chartHeight)
{
    return std::max(1, Round(chartHeight / 3.0));
}

std::vector<HistogramLine> HistogramColumns(const std::uint32_t* counts, double scale, const CRect& plot)
{
    std::vector<HistogramLine> lines;
    if (!counts)
        return lines;
    const double binWidth = BinWidth(plot);
    const int n = Round(double(plot.Width()));
    for (int x = 0; x <= n; ++x) {
        const int b = Level(x, binWidth);
        if (b < 0 || b >= kHistogramLevels)
            continue;
        lines.push_back({plot.left + x, plot.bottom, plot.left + x, plot.bottom - Height(counts, b, scale)});
    }
    return lines;
}

std::vector<CPoint> HistogramOutline(const std::uint32_t* counts, double scale, const CRect& plot)
{
    std::vector<CPoint> points;
    if (!counts)
        return points;
    const double binWidth = BinWidth(plot);
    const int n = Round(double(plot.Width()));
    // A level of height h ends one pixel lower than its column, so outline and columns
    // meet at the same top; an empty level lies on the bottom line.
    const auto top = [&](int h) { return h != 0 ? plot.bottom - h + 1 : plot.bottom; };
    points.push_back({plot.left, plot.bottom});
    int prev = 0;
    for (int x = 1; x <= n; ++x) {
        const int b = Level(x, binWidth);
        const int bp = Level(x - 1, binWidth);
        if (b < 0 || b >= kHistogramLevels || bp < 0) {
            prev = x;
            continue;
        }
        const int h = Height(counts, b, scale);
        const int hp = Height(counts, bp, scale);
        if (h > hp) {
            points.push_back({plot.left + x, top(hp)});
            points.push_back({plot.left + x, top(h)});
        } else {
            points.push_back({plot.left + prev, top(h)});
            points.push_back({plot.left + x, top(h)});
        }
        prev = x;
    }
    return points;
}

double SelectionSum(const std::uint32_t* counts, double anchor, double moving)
{
    if (!counts)
        return 0.0;
    const double low = std::min(anchor, moving);
    const double high = std::max(anchor, moving);
    double sum = 0.0;
    for (int i = std::max(0, Round(low)); i <= high && i < kHistogramLevels; ++i)
        sum += counts[i];
    return sum;
}

double SelectionPercent(double sum, double total)
{
    return total > 0.0 ? 100.0 * sum / total : 0.0;
}

std::string SelectedText(double percent)
{
    return Fixed(percent, 3) + "%";
}

std::string ValueText(double value)
{
    return Fixed(value, 3);
}

HistogramReadout ReadoutAt(const std::uint32_t* counts, const CRect& plot, double scale, std::uint32_t maxCount,
                           double total, double low, double high, int x, int y)
{
    HistogramReadout r;
    r.level = Level(x - plot.left, BinWidth(plot));
    if (r.level < 0 || r.level >= kHistogramLevels) {
        r.valueText = r.countText = r.yText = r.percentText = "0";
        return r;
    }
    r.inLevels = true;
    r.count = counts ? counts[r.level] : 0;
    // Without a scale (a largest count of 0) there is no count axis to read.
    const long long level = scale > 0.0 ? (long long)maxCount - Round((y - plot.top) / scale) : 0;
    r.countLevel = std::max(level, 0LL);
    r.percent = total > 0.0 ? r.count / (total / 100.0) : 0.0;
    r.value = low + (high - low) / double(kHistogramLevels) * r.level;
    r.valueText = ValueText(r.value);
    r.countText = std::to_string(r.count);
    r.yText = std::to_string(r.countLevel);
    r.percentText = SelectedText(r.percent);
    return r;
}

HistogramBound BoundAt(const CRect& plot, double low, double high, int x)
{
    if (x <= plot.left)
        return {0.0, low};
    if (x >= plot.right)
        return {255.0, high};
    const double from = x - plot.left;
    return {from / BinWidth(plot), from * (high - low) / plot.Width() + low};
}

std::string FixedText(double value, int precision)
{
    return Fixed(value, precision);
}

std::string LabelNumber(double value)
{
    return Fixed(value, 1);
}

HistogramLabel HistogramMaxLabel(const CRect& plot, std::uint32_t maxCount)
{
    return {plot.left - 4, plot.top, plat::TA_RIGHT | plat::TA_TOP, HistogramLabel::Grid, false, LabelNumber(maxCount)};
}

std::vector<HistogramLabel> HistogramValueLabels(const CRect& plot, int gridStep, double scale, std::uint32_t maxCount,
                                                 double low, double high)
{
    std::vector<HistogramLabel> labels{HistogramMaxLabel(plot, maxCount)};
    const int s = std::max(1, gridStep);
    if (scale > 0.0)
        for (int k = 1; plot.bottom - (k - 1) * s >= plot.top + 1.5 * s; ++k) {
            const double v = k * s / scale;
            if (std::fabs(v) < kLabelLimit)
                labels.push_back({plot.left, plot.bottom - k * s - 4, plat::TA_RIGHT | plat::TA_TOP,
                                  HistogramLabel::White, false, LabelNumber(v)});
        }
    const bool narrow = std::fabs(high - low) <= kLabelLimit;
    if (narrow && plot.Width() > 0)
        for (int k = 1; plot.left + (k - 1) * s < plot.right - 2 * s; ++k)
            labels.push_back({plot.left + k * s, plot.bottom + 4, plat::TA_LEFT | plat::TA_TOP, HistogramLabel::White,
                              false, LabelNumber(low + k * s * (high - low) / plot.Width())});
    labels.push_back(
        {plot.left, plot.bottom + 4, plat::TA_LEFT | plat::TA_TOP, HistogramLabel::Grid, false, LabelNumber(low)});
    // A wide range's high end keeps inside the chart.
    labels.push_back({plot.right, plot.bottom + 4, (narrow ? plat::TA_LEFT : plat::TA_RIGHT) | plat::TA_TOP,
                      HistogramLabel::Grid, false, LabelNumber(high)});
    return labels;
}

std::vector<HistogramLabel> HistogramTitles(const CRect& plot, int clientHeight, const std::string& level,
                                            const std::string& count)
{
    return {
        {plot.left - 4, plot.bottom, plat::TA_RIGHT | plat::TA_BASELINE, HistogramLabel::Grid, false, LabelNumber(0)},
        {(plot.left + plot.right) / 2, clientHeight - 3 * kMarginUnit, plat::TA_CENTER | plat::TA_TOP,
         HistogramLabel::Grid, false, level},
        {plot.left / 3, (plot.top + plot.bottom) / 2, plat::TA_CENTER | plat::TA_BASELINE, HistogramLabel::Grid, true,
         count},
    };
}
