#pragma once
// Which data values a single-band layer maps onto display levels 0 and 255.

#include <cstdint>

enum StretchType : int {
    STRETCH_AUTO = 0,                 // up to where 95 % of the samples lie
    STRETCH_NONE = 1,                 // the whole range (0..255 for bytes)
    STRETCH_DOUBLE_DISPERSION = 2,    // mean +- 2 sigma
    STRETCH_SELECTED_DISPERSION = 3,  // mean +- k sigma
};

// Statistics of a layer: its histogram has 256 bins over [min, max].
struct LayerStatistics {
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
    double sigma = 0.0;
    const std::uint32_t* histogram = nullptr;  // 256 bins; may be null for a stretch that needs none
};

struct DisplayRange {
    double low = 0.0;
    double high = 0.0;
    double k = 0.0;  // half-width in standard deviations, as the display cache records it
};

// The larger distance of low and high from the mean in standard deviations; 0 when
// sigma is 0.
double RangeSigmaFactor(double low, double high, double mean, double sigma);

// Range of a width x height layer of the given sample type by stretch; a stretch
// outside 0..3 counts as Auto. k is the caller's factor, used and kept by Selected
// Dispersion.
DisplayRange ChooseDisplayRange(int type, std::int64_t width, std::int64_t height, const LayerStatistics& stats,
                                int stretch, double k);

// Range of one channel file of a three-channel layer: 0..255 for UINT8, else
// [min, max].
DisplayRange ChannelDisplayRange(int type, const LayerStatistics& stats);
