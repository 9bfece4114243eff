// Arbitrary bytes as a raster layer file under the file dialog's cursor: the preview
// panel's texts, picture and colours, in both modes, and the palette tag as the viewer
// and the exports read it. Every value shown comes from inside its tag's stored length:
// the header only from a tag 0 of at least 24 bytes, the picture only from a tag 4 long
// enough for the half shown, the colours only from a whole palette tag, each equal to
// the bytes the tag functions read there; else the texts are empty, the picture the
// default and the colours grey.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "PalitraTag.h"
#include "dialogs/FilePreview.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"

namespace {

const std::string& ScratchFile()
{
    static const std::string path = fuzzsupport::ScratchName("fuzz_file_preview") + "/input.rdp";
    return path;
}

// The tag's stored bytes, as far as its stored length goes, at most cap of them (what the
// readers take); empty when the tag is missing or those bytes cannot be read.
std::vector<unsigned char> Tag(const std::string& path, int tag, int cap)
{
    const int length = std::min(GetSizeTag(path.c_str(), tag), cap);
    if (length <= 0)
        return {};
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    if (GetTag(path.c_str(), tag, length, bytes.data()) != 1)
        return {};
    return bytes;
}

void Check(const FilePreview& p, int mode, const std::vector<unsigned char>& header,
           const std::vector<unsigned char>& preview, const std::vector<unsigned char>& palette)
{
    FUZZ_CHECK(p.isFile);
    FUZZ_CHECK(p.hasHeader == (header.size() >= std::size_t(kLayerHeaderNeeds)));
    if (!p.hasHeader) {
        FUZZ_CHECK(p.sizeText.empty() && p.typeText.empty() && !p.phaseAllowed);
        FUZZ_CHECK(!p.hasPicture && !p.hasPalette && p.pixels.empty() && p.colors == GreyColors());
        return;
    }
    std::int32_t h[6];
    std::memcpy(h, header.data(), sizeof h);
    FUZZ_CHECK(p.sizeText == std::to_string(h[1]) + "x" + std::to_string(h[2]));
    FUZZ_CHECK(p.phaseAllowed == (IsComplexType(h[3]) != 0));
    const bool phase = p.phaseAllowed && mode == 1;
    const std::size_t needs = std::size_t(phase ? kPhasePreviewNeeds : kAmplitudePreviewNeeds);
    FUZZ_CHECK(p.hasPicture == (preview.size() >= needs));
    if (!p.hasPicture) {
        FUZZ_CHECK(p.pixels.empty() && !p.hasPalette && p.colors == GreyColors());
        return;
    }
    const std::size_t from = 4 + (phase ? std::size_t(kPreviewPictureBytes) : 0);
    FUZZ_CHECK(p.pixels.size() == std::size_t(kPreviewPictureBytes));
    FUZZ_CHECK(std::memcmp(p.pixels.data(), preview.data() + from, p.pixels.size()) == 0);
    FUZZ_CHECK(p.hasPalette == (palette.size() >= std::size_t(kPaletteNeeds)));
    if (!p.hasPalette) {
        FUZZ_CHECK(p.colors == GreyColors());
        return;
    }
    for (int i = 0; i < 256; ++i) {
        const unsigned char* rgb = palette.data() + 8 + 3 * i;
        FUZZ_CHECK(p.colors[std::size_t(i)] == plat::Rgb(rgb[0], rgb[1], rgb[2]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = ScratchFile();
    fuzzsupport::WriteFile(path, data, size);

    fuzzsupport::g_step = "tags";
    const std::vector<unsigned char> header = Tag(path, 0, kLayerHeaderNeeds);
    const std::vector<unsigned char> preview = Tag(path, 4, kPhasePreviewNeeds);
    const std::vector<unsigned char> palette = Tag(path, kPalitraTagNumber, kPaletteNeeds);

    fuzzsupport::g_step = "amplitude";
    Check(MakeFilePreview(path, 0), 0, header, preview, palette);
    fuzzsupport::g_step = "phase";
    Check(MakeFilePreview(path, 1), 1, header, preview, palette);

    // The viewer and the exports: a palette counts when its tag is whole.
    fuzzsupport::g_step = "palette tag";
    PalitraTag tag;
    tag.length = 0;
    std::memset(tag.entries, 0xA5, sizeof tag.entries);
    const int got = GetTag(path.c_str(), kPalitraTagNumber, int(sizeof tag), &tag);
    FUZZ_CHECK(got == (palette.empty() ? 0 : 1));
    if (got == 1) {
        const std::size_t n = std::min(palette.size(), sizeof tag);
        FUZZ_CHECK(std::memcmp(&tag, palette.data(), n) == 0);
        // Bytes past the stored length are not touched.
        const auto* raw = reinterpret_cast<const unsigned char*>(&tag);
        for (std::size_t k = std::max<std::size_t>(n, 8); k < sizeof tag; ++k)
            FUZZ_CHECK(raw[k] == 0xA5);
        if (tag.length >= kPalitraTagSize)
            FUZZ_CHECK(palette.size() >= std::size_t(kPalitraTagSize));
    }
    return 0;
}
