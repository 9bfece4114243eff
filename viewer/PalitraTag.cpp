#include "PalitraTag.h"

#include <cmath>

#include "util/MathHelpers.h"

namespace {

struct Rgb {
    unsigned char r, g, b;
};

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kCyan{0, 255, 255};
constexpr Rgb kBlue{0, 0, 255};

// Run colours for 1 to 5 bands, first run first.
constexpr Rgb kBands[5][5] = {
    {kRed}, {kRed, kBlue}, {kRed, kGreen, kBlue}, {kRed, kYellow, kGreen, kBlue}, {kRed, kYellow, kGreen, kCyan, kBlue},
};

void Set(PalitraTag* pPal, int i, Rgb c)
{
    pPal->entries[i][0] = c.r;
    pPal->entries[i][1] = c.g;
    pPal->entries[i][2] = c.b;
}

// A ramp step can overshoot for some range lengths; it saturates rather than
// wrapping round to a dark value.
unsigned char Component(double v)
{
    return v <= 0.0 ? 0 : v >= 255.0 ? 255 : static_cast<unsigned char>(v);
}

void FillBands(PalitraTag* pPal, int first, int last, int bands)
{
    const int d = last - first;
    int start = first;
    for (int run = 1; run <= bands; ++run) {
        const int end = run == bands ? last : first + run * d / bands;
        for (int i = start; i <= end; ++i)
            Set(pPal, i, kBands[bands - 1][run - 1]);
        start = end + 1;
    }
}

void FillRamp(PalitraTag* pPal, int first, int last, int bands)
{
    const int n = last - first + 1;
    if (bands == -1)
        bands = n;
    for (int i = first; i < last; ++i) {  // only reached when n > 1
        const double k = (static_cast<double>(bands) - 1.0) / (n - 1);
        const int o = i - first;
        const double t = static_cast<double>(o) / n;
        const int quarter = t < 0.25 ? 0 : t < 0.5 ? 1 : t < 0.75 ? 2 : 3;
        const int r = Round((o - 0.25 * quarter * n) * k);
        const double v = std::trunc(r * 1020.0 / bands);
        switch (quarter) {
        case 0:
            Set(pPal, i, {255, Component(v), 0});
            break;
        case 1:
            Set(pPal, i, {Component(255.0 - v), 255, 0});
            break;
        case 2:
            Set(pPal, i, {0, 255, Component(v)});
            break;
        default:
            Set(pPal, i, {0, Component(255.0 - v), 255});
            break;
        }
    }
    Set(pPal, last, kBlue);
}

}  // namespace

void CreatePseudoColorPalette(PalitraTag* pPal, int first, int last, int bands)
{
    if (pPal == nullptr || bands == 0 || first < 0 || last > 255 || first > last)
        return;
    if (bands >= 1 && bands <= 5)
        FillBands(pPal, first, last, bands);
    else
        FillRamp(pPal, first, last, bands);
}
