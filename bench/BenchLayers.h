#pragma once
// Sample data shared by the viewer benchmarks.

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/threads/ParallelFor.h"

namespace bench {

// w x h UINT8 samples of smooth waves, so that every display level occurs.
inline std::vector<unsigned char> WaveSamples(int w, int h)
{
    std::vector<unsigned char> pixels(size_t(w) * size_t(h));
    plat::ParallelFor(h, 64, plat::ParallelThreads(), [&](int64_t b, int64_t e, int) {
        for (int64_t y = b; y < e; ++y)
            for (int x = 0; x < w; ++x)
                pixels[size_t(y) * size_t(w) + size_t(x)] =
                    static_cast<unsigned char>(128 + 60 * std::sin(x * 0.01) + 60 * std::cos(y * 0.013));
    });
    return pixels;
}

}  // namespace bench
