// links: viewer3dCore
// A whole picture through the standard drawing system: a lit 1000 x 1000
// surface (surface passes, rasterisation into three index planes) presented
// into a 32-bit bitmap of 1000 x 1000 pixels, on one core, and presenting
// alone.

#include "viewer3d/SDrawing3D.h"

#include "engine3d/EngineUnits.h"
#include "engine3d/SClasses3D.h"
#include "engine3d/SCustom3DLists.h"
#include "engine3d/SSurfaces3D.h"
#include "platform/ParallelFor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

constexpr int kSide = 1000;

struct Picture {
    std::unique_ptr<TSSurface3D> Surface;
    std::unique_ptr<TSSimpleDiffuseReflection> Law;
    std::unique_ptr<TSCustomLightSystem3DList> Lights;
    std::unique_ptr<TSEyeSystem3D> Camera;
    std::unique_ptr<TSDrawingSystem3D> Ds;

    Picture()
    {
        StartEngineUnits();
        plat::SetParallelThreadLimit(1);  // one core
        Surface.reset(TSObject::Create<TSSurface3D>());
        Surface->SetGridSize(kSide, kSide);
        Surface->BeginUpdate();
        for (int j = 0; j < kSide; ++j)
            for (int i = 0; i < kSide; ++i) {
                const float x = float(i - kSide / 2), y = float(j - kSide / 2);
                Surface->Node(i, j).Position = {x, y, -1000 + 20 * std::sin(x / 50) * std::cos(y / 70)};
                Surface->Node(i, j).Color = {0.8f, 0.7f, 0.6f};
            }
        Surface->EndUpdate();
        Law.reset(TSObject::Create<TSSimpleDiffuseReflection>());
        Surface->SetReflectionLaw(Law.get());
        Lights.reset(TSObject::Create<TSCustomLightSystem3DList>());
        auto* flat = TSObject::Create<TSFlatSpringLight3D>();
        flat->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});
        Lights->Add(flat);
        Camera.reset(TSObject::Create<TSEyeSystem3D>());
        Ds.reset(TSDrawingSystem3D::CreateOffscreen(nullptr));
        Ds->SetSize(kSide, kSide);
        Ds->SetColorDepth(5);
        Ds->Canvas()->SetChannelEnabled(2, true);
        Ds->Canvas()->SetChannelEnabled(3, true);
        Ds->ApplyChannelSetup();
    }
    ~Picture() { Lights->Clear(); }
};

void WholePicture(benchmark::State& State)
{
    Picture p;
    TSRenderContext context;
    context.Camera = p.Camera.get();
    context.Lights = p.Lights.get();
    context.DrawSystem = p.Ds.get();
    for (auto _ : State) {
        p.Ds->BeginDraw(0);
        p.Surface->Draw(context);
        p.Ds->EndDraw(0);  // presents
    }
    State.SetItemsProcessed(State.iterations() * std::int64_t(kSide) * kSide);
}

void PresentOnly(benchmark::State& State)
{
    Picture p;
    for (auto _ : State)
        p.Ds->Present();
    State.SetItemsProcessed(State.iterations() * std::int64_t(kSide) * kSide);
}

}  // namespace

BENCHMARK(WholePicture)->Unit(benchmark::kMillisecond);
BENCHMARK(PresentOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
