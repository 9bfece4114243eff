// Reference scenes: a small lit surface drawn through the canvas, pixel by
// pixel, by a test drawing system that turns vertices into canvas points as
// the program's standard drawing system does.

#include "SceneTestSupport.h"

#include "engine3d/render/SCanvas3D.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/scene/SSurfaces3D.h"

#include <cmath>
#include <memory>
#include <string>

namespace {

constexpr int kSide = 64;

// Draws into a 64 x 64 canvas with all three index planes: positions rounded
// half to even and moved by the centre, colours x 32768 up to 32768.
class TCanvasDrawSystem final : public TSCustomDrawSystem3D {
    S_CLASS(TCanvasDrawSystem)
public:
    using TSCustomDrawSystem3D::DrawLine;
    using TSCustomDrawSystem3D::DrawPoint;
    using TSCustomDrawSystem3D::DrawTriangle;
    std::unique_ptr<TSCanvas3D> Canvas{new TSCanvas3D()};

    void Initialize() override
    {
        TSCustomDrawSystem3D::Initialize();
        Canvas->Resize(kSide, kSide);
        Canvas->SetChannelEnabled(2, true);
        Canvas->SetChannelEnabled(3, true);
        Canvas->Clear();
    }
    void SetSmooth(bool Value) override
    {
        Canvas->Smooth = Value;
        TSCustomDrawSystem3D::SetSmooth(Value);
    }
    void DrawPoint(const TSVertex3DSingle& P) override { Canvas->DrawPoint(ToCanvas(P)); }
    void DrawLine(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2) override
    {
        Canvas->DrawLine(ToCanvas(P1), ToCanvas(P2));
    }
    void DrawTriangle(const TSVertex3DSingle& P1, const TSVertex3DSingle& P2, const TSVertex3DSingle& P3) override
    {
        Canvas->DrawTriangle(ToCanvas(P1), ToCanvas(P2), ToCanvas(P3));
    }

    std::uint16_t Index(int Plane, int X, int Y) const
    {
        const TSCanvasBuffer& b = Canvas->Plane(Plane);
        return reinterpret_cast<const std::uint16_t*>(b.Data + Y * b.RowBytes)[X];
    }
    std::int32_t Depth(int X, int Y) const
    {
        const TSCanvasBuffer& b = Canvas->ZBuffer();
        return reinterpret_cast<const std::int32_t*>(b.Data + Y * b.RowBytes)[X];
    }

private:
    static std::int32_t Position(double V)
    {
        if (V >= 1073741824.0)
            return 0x40000000;
        if (V <= -1073741824.0)
            return -0x40000000;
        return static_cast<std::int32_t>(std::nearbyint(V));
    }
    static std::int32_t Colour(double V)
    {
        return V >= 1.0 ? 32768 : static_cast<std::int32_t>(std::nearbyint(V * 32768));
    }
    static TSCanvasPoint ToCanvas(const TSVertex3DSingle& V)
    {
        return {
            Position(V.X) + kSide / 2, Position(V.Y) + kSide / 2, Position(V.Z), Colour(V.R), Colour(V.G), Colour(V.B)};
    }
};

constinit const TSClassInfo TCanvasDrawSystem::ClassInfo{"TCanvasDrawSystem", &TSCustomDrawSystem3D::ClassInfo,
                                                         &TSNewObject<TCanvasDrawSystem>};

struct Scene {
    const char* name;
    double z;          // the surface's height
    bool lightHeadOn;  // flat light along (0, 0, -1); else its default +X
    bool rowsDown;     // rows run along -y
    double ambient;    // 0: no ambient light
    TSVector3DSingle colour;
    int plane1, plane2, plane3;  // index inside the square
};

}  // namespace

TEST(SSurfaceScenes, TwoByTwoSurfaceThroughTheCanvas)
{
    const Scene scenes[] = {
        {"head-on", -1000, true, false, 0, {1, 1, 1}, 32768, 32768, 32768},
        {"light along +X", -1000, false, false, 0, {1, 1, 1}, 16384, 16384, 16384},
        {"coloured nodes", -1000, true, false, 0, {0.5f, 0.25f, 1}, 16384, 8192, 32768},
        {"rows along -y", -1000, true, true, 0, {1, 1, 1}, 0, 0, 0},
        {"ambient head-on", -1000, true, false, 0.25, {1, 1, 1}, 32768, 32768, 32768},
        {"ambient at +X", -1000, false, false, 0.25, {1, 1, 1}, 24576, 24576, 24576},
        {"behind the camera", 1000, true, false, 0, {1, 1, 1}, -1, -1, -1},
    };
    for (const Scene& sc : scenes) {
        SCOPED_TRACE(sc.name);
        auto lights = Make<TSCustomLightSystem3DList>();
        auto* flat = TSObject::Create<TSFlatSpringLight3D>();
        if (sc.lightHeadOn)
            flat->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});
        lights->Add(flat);
        if (sc.ambient > 0) {
            auto* ambient = TSObject::Create<TSAmbientLight3D>();
            ambient->SetColor({sc.ambient, sc.ambient, sc.ambient});
            lights->Add(ambient);
        }
        auto law = Make<TSSimpleDiffuseReflection>();
        auto s = Make<TSSurface3D>();
        s->SetReflectionLaw(law.get());
        s->SetGridSize(2, 2);
        s->BeginUpdate();
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) {
                const float y = (sc.rowsDown ? -1.0f : 1.0f) * (j == 0 ? -10.0f : 10.0f);
                s->Node(i, j).Position = {i == 0 ? -10.0f : 10.0f, y, float(sc.z)};
                s->Node(i, j).Color = sc.colour;
            }
        s->EndUpdate();

        auto camera = Make<TSEyeSystem3D>();
        auto ds = Make<TCanvasDrawSystem>();
        TSRenderContext context;
        context.Camera = camera.get();
        context.Lights = lights.get();
        context.DrawSystem = ds.get();
        s->Draw(context);

        int inside = 0;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const bool square = sc.plane1 >= 0 && x >= 22 && x <= 42 && y >= 22 && y <= 42;
                if (square) {
                    ++inside;
                    ASSERT_EQ(ds->Index(1, x, y), sc.plane1) << x << "," << y;
                    ASSERT_EQ(ds->Index(2, x, y), sc.plane2) << x << "," << y;
                    ASSERT_EQ(ds->Index(3, x, y), sc.plane3) << x << "," << y;
                    ASSERT_EQ(ds->Depth(x, y), 1000000) << x << "," << y;
                } else {
                    ASSERT_EQ(ds->Index(1, x, y), kBackgroundIndex) << x << "," << y;
                    ASSERT_EQ(ds->Depth(x, y), ds->Canvas->Limits().Far) << x << "," << y;
                }
            }
        EXPECT_EQ(inside, sc.plane1 >= 0 ? 21 * 21 : 0);
        lights->Clear();
    }
}
