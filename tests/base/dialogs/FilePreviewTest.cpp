#include <gtest/gtest.h>

#include <fstream>

#include "PreviewFixture.h"
#include "dialogs/FilePreview.h"
#include "layer/DataTypes.h"

namespace {

using namespace previewtest;

enum class Picture {
    None,
    Amplitude,
    Phase
};

struct Case {
    const char* name;
    std::function<std::string(rdptest::TempDir&)> make;  // answers the path
    int mode;
    bool isFile;
    const char* size;
    int type;  // 0: no header
    bool phaseAllowed;
    Picture picture;
    bool palette;
};

std::string Save(rdptest::TempDir& dir, const RdpFileBuilder& b, const char* name)
{
    b.Save(dir.File(name));
    return dir.File(name);
}

TEST(FilePreview, ShowsWhatTheTagsHoldAsFarAsTheirLengthsGo)
{
    const Case cases[] = {
        {"real with preview", [](auto& d) { return Save(d, Layer(4, 3, UINT8, kAmplitudePreviewNeeds), "r.rdp"); }, 0,
         true, "4x3", UINT8, false, Picture::Amplitude, false},
        {"real in phase mode shows amplitude",
         [](auto& d) { return Save(d, Layer(4, 3, FLOAT32, kAmplitudePreviewNeeds), "r.rdp"); }, 1, true, "4x3",
         FLOAT32, false, Picture::Amplitude, false},
        {"complex amplitude", [](auto& d) { return Save(d, Layer(5, 2, CFLOAT32, kPhasePreviewNeeds), "c.rdp"); }, 0,
         true, "5x2", CFLOAT32, true, Picture::Amplitude, false},
        {"complex phase", [](auto& d) { return Save(d, Layer(5, 2, CSINT16, kPhasePreviewNeeds), "c.rdp"); }, 1, true,
         "5x2", CSINT16, true, Picture::Phase, false},
        {"with palette",
         [](auto& d) { return Save(d, Layer(2, 2, UINT16, kAmplitudePreviewNeeds, kPaletteNeeds), "p.rdp"); }, 0, true,
         "2x2", UINT16, false, Picture::Amplitude, true},
        {"short palette is grey",
         [](auto& d) { return Save(d, Layer(2, 2, UINT16, kAmplitudePreviewNeeds, 500), "p.rdp"); }, 0, true, "2x2",
         UINT16, false, Picture::Amplitude, false},
        {"preview too short for phase",
         [](auto& d) { return Save(d, Layer(3, 3, CFLOAT32, kAmplitudePreviewNeeds), "s.rdp"); }, 1, true, "3x3",
         CFLOAT32, true, Picture::None, false},
        {"amplitude of a preview too short for phase",
         [](auto& d) { return Save(d, Layer(3, 3, CFLOAT32, kAmplitudePreviewNeeds), "s.rdp"); }, 0, true, "3x3",
         CFLOAT32, true, Picture::Amplitude, false},
        {"preview too short for amplitude", [](auto& d) { return Save(d, Layer(3, 3, UINT8, 30000), "s.rdp"); }, 0,
         true, "3x3", UINT8, false, Picture::None, false},
        {"no preview", [](auto& d) { return Save(d, Layer(3, 3, UINT8, 0), "n.rdp"); }, 0, true, "3x3", UINT8, false,
         Picture::None, false},
        {"without tag 0", [](auto& d) { return Save(d, RdpFileBuilder(), "h.rdp"); }, 0, true, "", 0, false,
         Picture::None, false},
        {"not a raster layer file",
         [](auto& d) {
             std::ofstream(d.File("t.txt")) << "just text, long enough to look like something";
             return d.File("t.txt");
         },
         0, true, "", 0, false, Picture::None, false},
        {"missing file", [](auto& d) { return d.File("missing.rdp"); }, 0, true, "", 0, false, Picture::None, false},
        {"folder", [](auto& d) { return d.Path(); }, 0, false, "", 0, false, Picture::None, false},
        {"folder with slash", [](auto& d) { return d.Path() + "/"; }, 0, false, "", 0, false, Picture::None, false},
        {"nothing", [](auto&) { return std::string(); }, 0, false, "", 0, false, Picture::None, false},
    };
    const auto grey = GreyColors();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rdptest::TempDir dir;
        const FilePreview p = MakeFilePreview(c.make(dir), c.mode);
        EXPECT_EQ(p.isFile, c.isFile);
        EXPECT_EQ(p.hasHeader, c.type != 0);
        EXPECT_EQ(p.sizeText, c.size);
        EXPECT_EQ(p.typeText, c.type ? GetDataTypeName(c.type, 0) : "");
        EXPECT_EQ(p.phaseAllowed, c.phaseAllowed);
        EXPECT_EQ(p.hasPicture, c.picture != Picture::None);
        if (c.picture == Picture::None)
            EXPECT_TRUE(p.pixels.empty());
        else
            EXPECT_EQ(p.pixels, Half(c.picture == Picture::Amplitude ? 1 : 2));
        EXPECT_EQ(p.hasPalette, c.palette);
        for (int v : {0, 1, 128, 255})
            EXPECT_EQ(p.colors[size_t(v)], c.palette ? PaletteColor(v) : grey[size_t(v)]) << v;
    }
}

TEST(FilePreview, GreyColorsRunFromBlackToWhite)
{
    const auto grey = GreyColors();
    EXPECT_EQ(grey[0], plat::Rgb(0, 0, 0));
    EXPECT_EQ(grey[100], plat::Rgb(100, 100, 100));
    EXPECT_EQ(grey[255], plat::Rgb(255, 255, 255));
}

}  // namespace
