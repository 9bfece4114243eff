// Reference scenes of a lit 2 x 2 surface through the standard drawing
// system into 64 x 64 pictures on a blue background, and the pictures as
// bitmap files read back by ImageMagick.

#include "Viewer3DTestSupport.h"

#include "TempDir.h"

#include "viewer3d/drawing/SDrawing3D.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/scene/SSurfaces3D.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

constexpr int kSide = 64;

struct Scene {
    const char* Name;
    bool LightHeadOn;  // flat light along (0, 0, -1); else its default +X
    TSVector3DSingle Colour;
    TSPixelFormat Format;
    bool Planes23;  // the canvas's planes 2 and 3 exist and are enabled
    std::uint32_t Square;
    std::uint32_t Around;
};

// Draws the scene; the drawing system keeps the picture.
void DrawScene(const Scene& Sc, TSDrawingSystem3D& Ds)
{
    std::unique_ptr<TSCustomLightSystem3DList> lights(TSObject::Create<TSCustomLightSystem3DList>());
    auto* flat = TSObject::Create<TSFlatSpringLight3D>();
    if (Sc.LightHeadOn)
        flat->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});
    lights->Add(flat);
    std::unique_ptr<TSSimpleDiffuseReflection> law(TSObject::Create<TSSimpleDiffuseReflection>());
    std::unique_ptr<TSSurface3D> s(TSObject::Create<TSSurface3D>());
    s->SetReflectionLaw(law.get());
    s->SetGridSize(2, 2);
    s->BeginUpdate();
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            s->Node(i, j).Position = {i == 0 ? -10.0f : 10.0f, j == 0 ? -10.0f : 10.0f, -1000.0f};
            s->Node(i, j).Color = Sc.Colour;
        }
    s->EndUpdate();
    std::unique_ptr<TSEyeSystem3D> camera(TSObject::Create<TSEyeSystem3D>());
    TSRenderContext context;
    context.Camera = camera.get();
    context.Lights = lights.get();
    context.DrawSystem = &Ds;
    Ds.BeginDraw(0);
    s->Draw(context);
    Ds.EndDraw(0);
    lights->Clear();
}

std::uint32_t Pixel(const TSDrawingSystem3D& S, int X, int Y)
{
    const TSMemoryBitmap& b = *S.Bitmap();
    const int bytes = PixelFormatBytes(b.PixelFormat());
    const auto* at = static_cast<const unsigned char*>(b.Bits()) + Y * b.GetRowBytes() + X * bytes;
    std::uint32_t v = 0;
    std::memcpy(&v, at, std::size_t(bytes));
    return v;
}

// Channel bits per format, and a pixel word's channels.
constexpr int kBits[7][3] = {{0, 0, 0}, {8, 8, 8}, {5, 5, 5}, {5, 6, 5}, {8, 8, 8}, {8, 8, 8}, {11, 11, 10}};

std::array<std::uint16_t, 3> Channels(const TSDrawingSystem3D& S, std::uint32_t Word)
{
    const TSPixelFormat f = S.ColorDepth();
    if (f == 1) {
        const TSPaletteEntry& e = S.Bitmap()->Palette()->Entries[Word & 0xFF];
        return {e.Red, e.Green, e.Blue};
    }
    const int* bits = kBits[f];
    const int shift[3] = {bits[1] + bits[2], bits[2], 0};
    std::array<std::uint16_t, 3> c{};
    for (int k = 0; k < 3; ++k)
        c[std::size_t(k)] = std::uint16_t((Word >> shift[k]) & ((1u << bits[k]) - 1));
    return c;
}

std::string RunCommand(const std::string& Command)
{
    std::string out;
    if (FILE* p = ::popen(Command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, p))
            out += line;
        ::pclose(p);
    }
    return out;
}

}  // namespace

class DrawingScenes : public Viewer3DTest {};

TEST_F(DrawingScenes, SurfaceScenesGiveTheirPixelsInTheBitmapAndItsFile)
{
    const Scene scenes[] = {
        {"head-on", true, {1, 1, 1}, 5, true, 0x00FFFFFF, 0x000000FF},
        {"coloured", true, {0.5f, 0.25f, 1}, 5, true, 0x008040FF, 0x000000FF},
        {"light at +X", false, {1, 1, 1}, 5, true, 0x00808080, 0x000000FF},
        {"light at +X, 16 bits", false, {1, 1, 1}, 3, true, 0x8410, 0x001F},
        {"light at +X, 11-11-10", false, {1, 1, 1}, 6, true, 0x80100200, 0x000003FF},
        {"light at +X, planes 2 and 3 off", false, {1, 1, 1}, 5, false, 0x00800000, 0x000000FF},
        {"light at +X, 256 colours", false, {1, 1, 1}, 1, true, 128, 192},
    };
    testsupport::TempDir dir;
    for (const Scene& sc : scenes) {
        SCOPED_TRACE(sc.Name);
        std::unique_ptr<TSDrawingSystem3D> ds(TSDrawingSystem3D::CreateOffscreen(nullptr));
        ds->SetSize(kSide, kSide);
        ds->SetBackgroundColor({0, 0, 1});
        ds->SetColorDepth(sc.Format);
        ds->Canvas()->SetChannelEnabled(2, sc.Planes23);
        ds->Canvas()->SetChannelEnabled(3, sc.Planes23);
        ds->ApplyChannelSetup();
        DrawScene(sc, *ds);
        int inside = 0;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const bool square = x >= 22 && x <= 42 && y >= 22 && y <= 42;
                inside += square;
                ASSERT_EQ(Pixel(*ds, x, y), square ? sc.Square : sc.Around) << x << "," << y;
            }
        EXPECT_EQ(inside, 21 * 21);
        if (sc.Format == 1) {
            const TSPaletteEntry& grey = ds->Bitmap()->Palette()->Entries[128];
            EXPECT_EQ(std::vector<int>({grey.Red, grey.Green, grey.Blue}), std::vector<int>({129, 129, 129}));
        }

        // The file, read by its own decoder and by ImageMagick.
        const std::string path = dir.File("scene.bmp");
        ds->Bitmap()->SaveToFile(path);
        const std::string expected = dir.File("scene.want");
        {
            std::ofstream out(expected, std::ios::binary);
            const std::int32_t head[5] = {kSide, kSide, kBits[sc.Format][0], kBits[sc.Format][1], kBits[sc.Format][2]};
            out.write(reinterpret_cast<const char*>(head), sizeof head);
            for (int y = kSide - 1; y >= 0; --y)
                for (int x = 0; x < kSide; ++x) {
                    const auto c = Channels(*ds, Pixel(*ds, x, y));
                    out.write(reinterpret_cast<const char*>(c.data()), 6);
                }
        }
        EXPECT_EQ(RunCommand("/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/engine3d/bmp_check.py '" + path + "' '" +
                             expected + "' " + std::to_string(sc.Format) + " 2>&1"),
                  "ok\n");
    }
}
