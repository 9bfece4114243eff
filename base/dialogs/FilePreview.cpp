#include "dialogs/FilePreview.h"

#include <cstring>
#include <filesystem>

#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"

namespace {

constexpr int kPaletteTag = 201;

// Reads up to maxlen bytes of tag into buf (zeroed first); the tag's stored length
// word, or 0 when it is missing.
std::int32_t ReadTag(const std::string& path, int tag, std::vector<unsigned char>& buf, std::int32_t maxlen)
{
    buf.assign(size_t(maxlen), 0);
    if (GetTag(path.c_str(), tag, maxlen, buf.data()) == 0)
        return 0;
    std::int32_t length = 0;
    std::memcpy(&length, buf.data(), sizeof length);
    return length;
}

bool IsSelectableFile(const std::string& path)
{
    if (path.empty() || path.back() == '/')
        return false;
    std::error_code ec;
    return !std::filesystem::is_directory(path, ec);
}

}  // namespace

std::array<plat::ColorRef, 256> GreyColors()
{
    std::array<plat::ColorRef, 256> grey{};
    for (unsigned i = 0; i < 256; ++i)
        grey[i] = plat::Rgb(i, i, i);
    return grey;
}

FilePreview MakeFilePreview(const std::string& path, int mode)
{
    FilePreview out;
    out.colors = GreyColors();
    if (!IsSelectableFile(path))
        return out;
    out.isFile = true;

    std::vector<unsigned char> buf;
    if (ReadTag(path, 0, buf, kLayerHeaderNeeds) < kLayerHeaderNeeds)
        return out;
    std::int32_t header[6];
    std::memcpy(header, buf.data(), sizeof header);
    const int width = header[1], height = header[2], type = header[3];
    out.hasHeader = true;
    out.sizeText = std::to_string(width) + "x" + std::to_string(height);
    out.typeText = GetDataTypeName(type, 0);
    out.phaseAllowed = IsComplexType(type) != 0;
    const bool phase = out.phaseAllowed && mode == 1;

    // Only as far as the stored length goes: a short preview has no phase half, or none.
    const std::int32_t needs = phase ? kPhasePreviewNeeds : kAmplitudePreviewNeeds;
    if (ReadTag(path, 4, buf, kPhasePreviewNeeds) < needs)
        return out;
    const size_t from = 4 + (phase ? size_t(kPreviewPictureBytes) : 0);
    out.pixels.assign(buf.begin() + std::ptrdiff_t(from), buf.begin() + std::ptrdiff_t(from + kPreviewPictureBytes));
    out.hasPicture = true;

    if (ReadTag(path, kPaletteTag, buf, kPaletteNeeds) >= kPaletteNeeds) {
        for (int i = 0; i < 256; ++i) {
            const unsigned char* rgb = buf.data() + 8 + 3 * i;
            out.colors[size_t(i)] = plat::Rgb(rgb[0], rgb[1], rgb[2]);
        }
        out.hasPalette = true;
    }
    return out;
}
