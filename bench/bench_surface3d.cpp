// links: engine3d
// The height-field surface's passes over a 1024 x 1024 grid: transform, light,
// project and emit triangles to a drawing system that keeps nothing, lit by a
// flat and a point light through the diffuse law, and unlit.

#include "engine3d/model/EngineUnits.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/scene/SSurfaces3D.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

class TNullDrawSystem final : public TSCustomDrawSystem3D {
    S_CLASS(TNullDrawSystem)
public:
    using TSCustomDrawSystem3D::DrawTriangle;
    std::int64_t Count = 0;
    void DrawTriangle(const TSVertex3DSingle&, const TSVertex3DSingle&, const TSVertex3DSingle&) override { ++Count; }
};

constinit const TSClassInfo TNullDrawSystem::ClassInfo{"TNullDrawSystem", &TSCustomDrawSystem3D::ClassInfo,
                                                       &TSNewObject<TNullDrawSystem>};

void DrawSurface(benchmark::State& State)
{
    StartEngineUnits();
    const int side = 1024;
    const bool lit = State.range(0) != 0;
    std::unique_ptr<TSSurface3D> surface(TSObject::Create<TSSurface3D>());
    surface->SetGridSize(side, side);
    surface->BeginUpdate();
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            const float x = float(i - side / 2), y = float(j - side / 2);
            surface->Node(i, j).Position = {x, y, -3000 + 20 * std::sin(x / 50) * std::cos(y / 70)};
            surface->Node(i, j).Color = {0.8f, 0.7f, 0.6f};
        }
    surface->EndUpdate();
    std::unique_ptr<TSSimpleDiffuseReflection> law(TSObject::Create<TSSimpleDiffuseReflection>());
    surface->SetReflectionLaw(law.get());
    surface->SetLighting(lit ? slSceneLight : slNoLight);

    std::unique_ptr<TSCustomLightSystem3DList> lights(TSObject::Create<TSCustomLightSystem3DList>());
    auto* flat = TSObject::Create<TSFlatSpringLight3D>();
    flat->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});
    lights->Add(flat);
    auto* point = TSObject::Create<TSPointSpringLight3D>();
    point->Frame()->SetPlacement({{1, 0, 0, 0, 1, 0, 0, 0, 1}}, {100, 200, -500});
    lights->Add(point);
    std::unique_ptr<TSEyeSystem3D> camera(TSObject::Create<TSEyeSystem3D>());
    std::unique_ptr<TNullDrawSystem> ds(TSObject::Create<TNullDrawSystem>());

    TSRenderContext context;
    context.Camera = camera.get();
    context.Lights = lights.get();
    context.DrawSystem = ds.get();
    for (auto _ : State)
        surface->Draw(context);
    State.SetItemsProcessed(State.iterations() * std::int64_t(side) * side);
    lights->Clear();
}

}  // namespace

BENCHMARK(DrawSurface)->Arg(0)->Arg(1)->ArgNames({"lit"})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
