#include "view/RGBViewMath.h"

#include "platform/threads/ParallelFor.h"

int RGBPlaneOffset(int channel)
{
    switch (channel) {
    case 3:
        return 2;
    case 4:
        return 1;
    case 5:
        return 0;
    default:
        return -1;
    }
}

std::int64_t RGBRowBytes(std::int64_t width)
{
    return 3 * ((width + 3) / 4 * 4);
}

bool RGBExtractionFits(std::int64_t rowBytes, std::int64_t width, std::int64_t height, double reduction, int fit,
                       int imageWidth, int imageHeight, std::uint64_t bytes)
{
    if (reduction < 1.0 && fit) {
        width = imageWidth;
        height = imageHeight;
    }
    if (width <= 0 || height <= 0 || rowBytes < 3 * width)
        return false;
    return std::uint64_t(rowBytes) * std::uint64_t(height) <= bytes;
}

void ApplyLevels(unsigned char* buffer, int rowBytes, int width, int height, int blueLevel, int greenLevel,
                 int redLevel)
{
    if (buffer == nullptr || width <= 0 || height <= 0)
        return;
    const int levels[3] = {blueLevel, greenLevel, redLevel};
    if (levels[0] == 255 && levels[1] == 255 && levels[2] == 255)
        return;
    // v x level / 256 per plane, a plane at 255 mapping onto itself (as x 256).
    // Sixteen pixels a step against a multiplier pattern of the same 48 bytes,
    // so that the loop vectorises.
    std::uint16_t mul[48];
    for (int k = 0; k < 48; ++k)
        mul[k] = std::uint16_t(levels[k % 3] == 255 ? 256 : levels[k % 3]);
    const std::int64_t bytes = std::int64_t(width) * 3 * height;
    const int rowCount = 3 * width;
    plat::ParallelFor(height, 64, plat::ParallelThreadsFor(bytes), [&](std::int64_t first, std::int64_t end, int) {
        for (std::int64_t r = first; r < end; ++r) {
            unsigned char* p = buffer + r * rowBytes;
            int i = 0;
            for (; i + 48 <= rowCount; i += 48)
                for (int k = 0; k < 48; ++k)
                    p[i + k] = static_cast<unsigned char>((std::uint16_t(p[i + k]) * mul[k]) >> 8);
            for (; i < rowCount; ++i)
                p[i] = static_cast<unsigned char>((unsigned(p[i]) * mul[i % 3]) >> 8);
        }
    });
}

std::string FilePartOf(const std::string& path)
{
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string RGBLayerName(const std::string& red, const std::string& green, const std::string& blue)
{
    return FilePartOf(red) + ", " + FilePartOf(green) + ", " + FilePartOf(blue);
}

std::string RGBValueString(const std::string& red, const std::string& green, const std::string& blue)
{
    if (red.empty() || green.empty() || blue.empty())
        return {};
    return "(" + red + "," + green + "," + blue + ")";
}
