// Arbitrary bytes as a point file: the statistics scan, the checks of Execute, and
// the fill of grids up to 64K cells. Every accepted grid holds its points.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ascii/AsciiText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto read = [&](std::int64_t offset, void* buf, std::int64_t bytes) -> std::int64_t {
        if (offset < 0 || std::uint64_t(offset) >= size)
            return 0;
        const std::int64_t n = std::min<std::int64_t>(bytes, std::int64_t(size) - offset);
        std::memcpy(buf, data + offset, std::size_t(n));
        return n;
    };
    AsciiStatistics stats;
    ScanAsciiStatistics(read, &stats);
    const int roles[3] = {0, 1, 2};
    AsciiImportJob job;
    if (!CheckAsciiImport(roles, stats, &job).empty())
        return 0;
    const std::int64_t width = std::int64_t(job.maxX) - job.minX + 1;
    const std::int64_t height = std::int64_t(job.maxY) - job.minY + 1;
    if (width < 1 || height < 1)
        abort();
    if (width * height > (std::int64_t(1) << 16))
        return 0;
    std::vector<float> cells(std::size_t(width * height), -1234.5f);
    std::vector<void*> rows(static_cast<std::size_t>(height));
    for (std::int64_t y = 0; y < height; ++y)
        rows[std::size_t(y)] = cells.data() + y * width;
    FillAsciiGrid(read, job, rows.data(), int(width), int(height), nullptr);
    return 0;
}
