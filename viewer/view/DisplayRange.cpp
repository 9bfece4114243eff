#include "view/DisplayRange.h"

#include <algorithm>

#include "layer/DataTypes.h"

double RangeSigmaFactor(double low, double high, double mean, double sigma)
{
    if (sigma == 0.0)
        return 0.0;
    return std::max((high - mean) / sigma, (mean - low) / sigma);
}

DisplayRange ChooseDisplayRange(int type, std::int64_t width, std::int64_t height, const LayerStatistics& s,
                                int stretch, double k)
{
    if (stretch < STRETCH_AUTO || stretch > STRETCH_SELECTED_DISPERSION)
        stretch = STRETCH_AUTO;
    DisplayRange r;
    switch (stretch) {
    case STRETCH_AUTO: {
        // The first bin at which the running count reaches 95 % of the samples.
        const auto wanted = static_cast<std::int64_t>(double(width) * 0.95 * double(height));
        int i = 0;
        std::int64_t sum = 0;
        for (; i < 256; ++i) {
            sum += s.histogram ? s.histogram[i] : 0;
            if (sum >= wanted)
                break;
        }
        r.low = s.min;
        r.high = i <= 240 ? s.min + (s.max - s.min) * (i + 1) / 255 : s.max;
        r.k = RangeSigmaFactor(r.low, r.high, s.mean, s.sigma);
        break;
    }
    case STRETCH_NONE:
        if (type == UINT8 || type == SINT8) {
            r.low = 0.0;
            r.high = 255.0;
        } else {
            r.low = s.min;
            r.high = s.max;
        }
        r.k = RangeSigmaFactor(r.low, r.high, s.mean, s.sigma);
        break;
    case STRETCH_DOUBLE_DISPERSION:
        r.k = 2.0;
        r.low = std::max(s.min, s.mean - r.k * s.sigma);
        r.high = std::min(s.max, s.mean + r.k * s.sigma);
        break;
    default:
        r.k = k;
        r.low = std::max(s.min, s.mean - k * s.sigma);
        r.high = std::min(s.max, s.mean + k * s.sigma);
        break;
    }
    return r;
}

DisplayRange ChannelDisplayRange(int type, const LayerStatistics& s)
{
    DisplayRange r;
    if (type == UINT8) {
        r.low = 0.0;
        r.high = 255.0;
    } else {
        r.low = s.min;
        r.high = s.max;
    }
    r.k = RangeSigmaFactor(r.low, r.high, s.mean, s.sigma);
    return r;
}
