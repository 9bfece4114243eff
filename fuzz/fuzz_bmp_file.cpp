// Arbitrary bytes as a bitmap: the header check, then every row converted into
// planes of images up to a few megapixels and the palette read. An accepted file
// holds every byte the conversion reads.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "PalitraTag.h"
#include "bmp/BmpFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BmpInfo info;
    if (CheckBmp(data, std::int64_t(size), std::int64_t(size), &info) != 0)
        return 0;
    if (info.width < 1 || info.height < 1 || info.pixelOffset + std::int64_t(info.height) * info.rowBytes >
                                                    std::int64_t(size))
        abort();
    if (std::int64_t(info.width) * info.height > (std::int64_t(4) << 20))
        return 0;
    // An exact copy, so that a read past the file is a read past this block.
    const std::vector<unsigned char> file(data, data + size);
    const std::size_t plane = std::size_t(info.width) * std::size_t(info.height);
    std::vector<unsigned char> pixels(3 * plane);
    std::vector<void*> rows(3 * std::size_t(info.height));
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < info.height; ++y)
            rows[std::size_t(c * info.height + y)] = pixels.data() + c * plane + std::size_t(y) * info.width;
    void** const planes[3] = {rows.data(), rows.data() + info.height, rows.data() + 2 * info.height};
    for (int i = 0; i < info.height; ++i)
        ConvertBmpRow(info, file.data(), i, planes);
    if (info.bitCount == 8) {
        PalitraTag palette;
        FillBmpPalette(info, file.data(), &palette);
    }
    return 0;
}
