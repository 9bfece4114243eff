#pragma once
// Raster layer files for the preview tests: sample type, preview halves, palette and
// short tags as each case needs, with the bytes the preview must show.

#include <cstring>
#include <string>
#include <vector>

#include "../RdpFileBuilder.h"
#include "dialogs/FilePreview.h"

namespace previewtest {

using rdptest::Bytes;
using rdptest::RdpFileBuilder;

// Distinct bytes for the amplitude (seed 1) and phase (seed 2) halves.
inline Bytes Half(int seed)
{
    Bytes b(static_cast<size_t>(kPreviewPictureBytes));
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(i * (seed == 1 ? 7 : 13) + size_t(seed) * 5);
    return b;
}

// A preview tag payload of the given stored length, holding the halves that fit.
inline Bytes PreviewPayload(std::int32_t length)
{
    Bytes p(size_t(length), 0);
    std::memcpy(p.data(), &length, 4);
    const Bytes a = Half(1), f = Half(2);
    for (size_t i = 0; i < a.size() && 4 + i < p.size(); ++i)
        p[4 + i] = a[i];
    for (size_t i = 0; i < f.size() && 4 + a.size() + i < p.size(); ++i)
        p[4 + a.size() + i] = f[i];
    return p;
}

// The palette of the tests: value v is (v, 255 - v, v / 2).
inline plat::ColorRef PaletteColor(int v)
{
    return plat::Rgb(unsigned(v), unsigned(255 - v), unsigned(v / 2));
}

inline Bytes PalettePayload(std::int32_t length = kPaletteNeeds)
{
    Bytes p(size_t(length), 0);
    const std::int32_t flag = 1;
    std::memcpy(p.data(), &length, 4);
    std::memcpy(p.data() + 4, &flag, 4);
    for (int v = 0; v < 256 && 8 + 3 * v + 2 < length; ++v) {
        const plat::ColorRef c = PaletteColor(v);
        p[size_t(8 + 3 * v)] = static_cast<unsigned char>(plat::GetRValue(c));
        p[size_t(9 + 3 * v)] = static_cast<unsigned char>(plat::GetGValue(c));
        p[size_t(10 + 3 * v)] = static_cast<unsigned char>(plat::GetBValue(c));
    }
    return p;
}

// A one-layer file of type with a preview tag of previewLength (0: none) and, when
// paletteLength is not 0, a palette tag of that length.
inline RdpFileBuilder Layer(int width, int height, int type, std::int32_t previewLength, std::int32_t paletteLength = 0)
{
    RdpFileBuilder b = RdpFileBuilder::Fresh(width, height, type);
    if (previewLength)
        b.AddTag(0, 4, PreviewPayload(previewLength));
    if (paletteLength)
        b.AddTag(0, 201, PalettePayload(paletteLength));
    return b;
}

}  // namespace previewtest
