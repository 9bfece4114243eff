#include "view/RasterDisplayMath.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale.h>

#include "format/SampleConvert.h"
#include "util/MathHelpers.h"

double ContrastK(int c)
{
    if (c <= 0)
        return double(c);
    return double(c) * -255.0 / (2.0 * double(c) - 255.0);
}

void BuildDisplayPalette(const PaletteEntries& source, double K, int b, PaletteEntries& display)
{
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) {
            const double e = source[i][k];
            // A K far beyond any contrast gives the int range's end, which clamps too.
            const std::int64_t d = std::int64_t(Round(e + (e * 0.00784313725490196 - 1.0) * K)) + b;
            display[i][k] = static_cast<unsigned char>(d < 0 ? 0 : d > 255 ? 255 : d);
        }
}

void EqualizationMap(const std::uint32_t histogram[256], unsigned char map[256])
{
    std::int64_t total = 0;
    for (int i = 0; i < 256; ++i)
        total += histogram[i];

    std::int64_t quota[256];
    std::int64_t rest = total;
    for (int i = 255; i > 0; --i) {
        quota[i] = rest / (i + 1);
        rest -= quota[i];
    }
    quota[0] = rest;

    int level = 0;
    std::int64_t allowance = quota[0];
    std::int64_t used = 0;
    int bin = 0;
    while (bin <= 255) {
        const std::int64_t h = histogram[bin];
        map[bin] = static_cast<unsigned char>(level);
        if (h <= 2 * (allowance - used)) {
            used += h;
            ++bin;
        } else if (level < 255) {
            ++level;
            allowance += quota[level];
        } else {
            // Every level is given out: what remains belongs to the last one.
            ++bin;
        }
    }
}

double SampleValue(const void* row, int x, int type, int phase)
{
    double value = 0.0;
    sample::Dispatch(type, [&](auto kind) {
        using K = decltype(kind);
        using C = typename K::Component;
        const auto* at = static_cast<const unsigned char*>(row) + std::int64_t(x) * K::size;
        if constexpr (K::complex) {
            const C re = sample::Load<C>(at);
            const C im = sample::Load<C>(at + sizeof(C));
            value = phase ? Arg(re, im) : sample::Amplitude(re, im);
        } else {
            value = static_cast<double>(sample::Load<C>(at));
        }
    });
    return value;
}

std::string FormatValue(double value)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    const locale_t previous = cLocale ? uselocale(cLocale) : locale_t(0);
    char text[64];
    std::snprintf(text, sizeof text, "%lg", value);
    if (cLocale)
        uselocale(previous);
    return text;
}
