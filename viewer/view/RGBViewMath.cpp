#include "view/RGBViewMath.h"

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
    for (int plane = 0; plane < 3; ++plane) {
        const unsigned level = unsigned(levels[plane]);
        if (level == 255)
            continue;
        for (int r = 0; r < height; ++r) {
            unsigned char* p = buffer + std::int64_t(r) * rowBytes + plane;
            for (int i = 0; i < width; ++i, p += 3)
                *p = static_cast<unsigned char>((*p * level) >> 8);
        }
    }
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
