#pragma once
// The arithmetic of the histogram chart, free of windows: the plot rectangle, the
// columns and the outline of 256 counts, the selection's sum, the read-outs under the
// pointer and the axis labels. Counts may be null (no histogram): nothing is drawn or
// summed, and every count reads 0.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/paint/Geometry.h"

inline constexpr int kHistogramLevels = 256;

// The largest of the first n counts; 0 for none.
std::uint32_t MaxCount(const std::uint32_t* counts, int n);

// Left 60, top 10, right width - 60, bottom height - 48 (margin unit 6 pixels).
CRect HistogramPlotRect(int clientWidth, int clientHeight);

// Pixels per count: plot height / largest count, 0 for a largest count of 0.
double HistogramScale(int plotHeight, std::uint32_t maxCount);

// Round(initial chart height / 3.0), at least 1 so that the grid loops end.
int HistogramGridStep(int chartHeight);

struct HistogramLine {
    int x0, y0, x1, y1;  // (x1, y1) excluded, as a line is drawn
};

// One vertical line per plot column x = 0 .. Round(plot width): from the bottom up to
// the column's level's height, levels at or past 256 left out.
std::vector<HistogramLine> HistogramColumns(const std::uint32_t* counts, double scale, const CRect& plot);
// The outline as the points a pen visits from (plot left, plot bottom).
std::vector<CPoint> HistogramOutline(const std::uint32_t* counts, double scale, const CRect& plot);

// Sum of the counts of levels Round(min(a, b)) up to max(a, b); 0 without counts.
double SelectionSum(const std::uint32_t* counts, double anchor, double moving);
// 100 x sum / total; 0 for a total of 0.
double SelectionPercent(double sum, double total);

// "%.3lf%s" with the share and "%": the Selected text while a range is dragged.
std::string SelectedText(double percent);
// "%.3lf" with a value: the Left and Right Value texts.
std::string ValueText(double value);

// What the read-outs show for the pointer at (x, y).
struct HistogramReadout {
    bool inLevels = false;  // false: Value, Occurencies, Y and Percentage show "0"
    int level = 0;
    std::uint32_t count = 0;
    long long countLevel = 0;  // Y
    double percent = 0.0;
    double value = 0.0;
    std::string valueText, countText, yText, percentText;
};

HistogramReadout ReadoutAt(const std::uint32_t* counts, const CRect& plot, double scale, std::uint32_t maxCount,
                           double total, double low, double high, int x, int y);

// The display level (and its data value) of a pointer at x during a drag: the plot's
// left edge and beyond is level 0 at low, its right edge and beyond 255.0 at high.
struct HistogramBound {
    double level = 0.0;
    double value = 0.0;
};
HistogramBound BoundAt(const CRect& plot, double low, double high, int x);

// A text of the axes, placed by its alignment (TA_ flags) at (x, y).
struct HistogramLabel {
    enum Colour {
        Grid,
        White
    };
    int x = 0, y = 0;
    unsigned align = 0;
    Colour colour = Grid;
    bool vertical = false;
    std::string text;
};

// Fixed-point digits of a number as the C locale prints them ("%.*f").
std::string FixedText(double value, int precision);
// "%.1lf" of a number, as in the C locale.
std::string LabelNumber(double value);

// The largest count, the count labels (one per grid step while they fit and stay
// below 32767), the value labels (only for a range not wider than 32767) and both ends
// of the range. scale 0 gives no count labels.
std::vector<HistogramLabel> HistogramValueLabels(const CRect& plot, int gridStep, double scale, std::uint32_t maxCount,
                                                 double low, double high);
// The largest count alone (three channels together).
HistogramLabel HistogramMaxLabel(const CRect& plot, std::uint32_t maxCount);
// "0.0" at the origin, the level title under the plot and the turned count title.
std::vector<HistogramLabel> HistogramTitles(const CRect& plot, int clientHeight, const std::string& level,
                                            const std::string& count);
