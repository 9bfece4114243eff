// links: viewer3dCore
// A whole picture through the standard drawing system: a lit 1000 x 1000
// height-field surface (surface passes, rasterisation into three index planes)
// presented into a 32-bit bitmap of 1000 x 1000 pixels. llvmpipe through
// OSMesa (see BenchOSMesa.h) draws the same mesh with fixed-function lighting
// (one directional light, the normals supplied, the vertex colours as diffuse
// material), through the same perspective, and reads its pixels back.
// Per core: ours on one thread and llvmpipe with LP_NUM_THREADS=1, both on
// the same single core. All cores: ours on every core and llvmpipe with
// LP_NUM_THREADS=<cores>. Medians of three interleaved runs (each the best of
// its frames), then our scaling from 1 to all threads and presenting alone.
// Goals: per core at least 2 times llvmpipe, on all cores at least 1.5
// times. Exits 1 when a goal is missed or OSMesa is missing.
//
//   build-rel/bin/bench_drawing3d [frames]

#include "viewer3d/drawing/SDrawing3D.h"

#include "engine3d/model/EngineUnits.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SCustom3DLists.h"
#include "engine3d/scene/SSurfaces3D.h"
#include "platform/threads/ParallelFor.h"

#include "BenchCompare.h"
#include "BenchOSMesa.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kSide = 1000;
constexpr double kScreenDistance = 1000;  // the eye system's default
constexpr float kColour[3] = {0.8f, 0.7f, 0.6f};

// World position of node (I, J): a gentle height field 1000 in front of the
// eye, filling the picture.
void NodePosition(int I, int J, float (&P)[3])
{
    const float x = float(I - kSide / 2), y = float(J - kSide / 2);
    P[0] = x;
    P[1] = y;
    P[2] = -1000 + 20 * std::sin(x / 50) * std::cos(y / 70);
}

struct Picture {
    std::unique_ptr<TSSurface3D> Surface;
    std::unique_ptr<TSSimpleDiffuseReflection> Law;
    std::unique_ptr<TSCustomLightSystem3DList> Lights;
    std::unique_ptr<TSEyeSystem3D> Camera;
    std::unique_ptr<TSDrawingSystem3D> Ds;

    Picture()
    {
        StartEngineUnits();
        Surface.reset(TSObject::Create<TSSurface3D>());
        Surface->SetGridSize(kSide, kSide);
        Surface->BeginUpdate();
        for (int j = 0; j < kSide; ++j)
            for (int i = 0; i < kSide; ++i) {
                float p[3];
                NodePosition(i, j, p);
                Surface->Node(i, j).Position = {p[0], p[1], p[2]};
                Surface->Node(i, j).Color = {kColour[0], kColour[1], kColour[2]};
            }
        Surface->EndUpdate();
        Law.reset(TSObject::Create<TSSimpleDiffuseReflection>());
        Surface->SetReflectionLaw(Law.get());
        Lights.reset(TSObject::Create<TSCustomLightSystem3DList>());
        auto* flat = TSObject::Create<TSFlatSpringLight3D>();
        flat->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});  // head-on
        Lights->Add(flat);
        Camera.reset(TSObject::Create<TSEyeSystem3D>());
        Camera->SetScreenDistance(kScreenDistance);
        Ds.reset(TSDrawingSystem3D::CreateOffscreen(nullptr));
        Ds->SetSize(kSide, kSide);
        Ds->SetColorDepth(5);
        Ds->Canvas()->SetChannelEnabled(2, true);
        Ds->Canvas()->SetChannelEnabled(3, true);
        Ds->ApplyChannelSetup();
    }
    ~Picture() { Lights->Clear(); }

    void Draw()
    {
        TSRenderContext context;
        context.Camera = Camera.get();
        context.Lights = Lights.get();
        context.DrawSystem = Ds.get();
        Ds->BeginDraw(0);
        Surface->Draw(context);
        Ds->EndDraw(0);  // presents
    }

    std::int64_t Drawn() const
    {
        const auto* bits = static_cast<const std::uint32_t*>(Ds->Bitmap()->Bits());
        const std::int64_t row = Ds->Bitmap()->GetRowBytes() / 4;
        std::int64_t n = 0;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                n += (bits[y * row + x] & 0xFFFFFF) != 0;
        return n;
    }
};

#ifdef SUITE_HAVE_OSMESA
// The same nodes with their normals, lit by one directional light from the eye.
bool RunLlvmpipe(int Frames, int Threads, int Cpu, bench::LlvmpipeResult& Out)
{
    std::vector<float> positions(std::size_t(kSide) * kSide * 3);
    std::vector<float> normals(positions.size());
    std::vector<float> colours(positions.size());
    for (int j = 0; j < kSide; ++j)
        for (int i = 0; i < kSide; ++i) {
            const std::size_t at = (std::size_t(j) * kSide + i) * 3;
            float p[3];
            NodePosition(i, j, p);
            std::copy(p, p + 3, &positions[at]);
            const double x = p[0], y = p[1];
            const double dx = 20.0 / 50 * std::cos(x / 50) * std::cos(y / 70);
            const double dy = -20.0 / 70 * std::sin(x / 50) * std::sin(y / 70);
            const double n = 1 / std::sqrt(dx * dx + dy * dy + 1);
            normals[at] = float(-dx * n);
            normals[at + 1] = float(-dy * n);
            normals[at + 2] = float(n);
            std::copy(kColour, kColour + 3, &colours[at]);
        }
    std::vector<GLuint> indices;
    auto setup = [&] {
        indices = bench::GridTriangles(kSide, kSide);
        // x' = d x / -z over a picture kSide wide, as the eye system projects.
        const double nearPlane = 100, farPlane = 10000;
        const double half = nearPlane * (kSide / 2) / kScreenDistance;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-half, half, -half, half, nearPlane, farPlane);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glShadeModel(GL_SMOOTH);
        const GLfloat none[4] = {0, 0, 0, 1};
        const GLfloat white[4] = {1, 1, 1, 1};
        const GLfloat fromEye[4] = {0, 0, 1, 0};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
        glLightfv(GL_LIGHT0, GL_AMBIENT, none);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_SPECULAR, none);
        glLightfv(GL_LIGHT0, GL_POSITION, fromEye);
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHTING);
        glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, positions.data());
        glNormalPointer(GL_FLOAT, 0, normals.data());
        glColorPointer(3, GL_FLOAT, 0, colours.data());
    };
    auto draw = [&] { glDrawElements(GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data()); };
    return bench::RunLlvmpipe(kSide, kSide, Threads, Frames, setup, draw, Out, Cpu);
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::vector<int> cores = bench::UsableCores();
    const int all = int(cores.size());
    const int pin = cores.back();
    std::printf("lit %d x %d surface, %lld triangles, one directional light, picture %d x %d in 32 bits; median of 3 "
                "runs, each the best of %d frames; %d cores, per-core runs on core %d\n",
                kSide, kSide, static_cast<long long>(kSide - 1) * (kSide - 1) * 2, kSide, kSide, frames, all, pin);
#ifndef SUITE_HAVE_OSMESA
    std::printf("llvmpipe: OSMesa was not found when this was built (tools/deps.sh test installs it); no reference\n");
    return 1;
#else
    Picture p;
    auto ours = [&](int Threads) {
        plat::SetParallelThreadLimit(Threads);
        const double s = bench::Best(frames, [&] { p.Draw(); });
        plat::SetParallelThreadLimit(0);
        return s;
    };
    double mesaOne[3], mesaAll[3], oursOne[3], oursAll[3];
    bench::LlvmpipeResult one, many;
    std::int64_t drawnOne = 0, drawnAll = 0;
    for (int run = 0; run < 3; ++run) {
        if (!RunLlvmpipe(frames, 1, pin, one) || !RunLlvmpipe(frames, all, -1, many)) {
            std::printf("llvmpipe: OSMesa could not render here; no reference\n");
            return 1;
        }
        mesaOne[run] = one.Seconds;
        mesaAll[run] = many.Seconds;
        oursOne[run] = bench::OnCore(pin, [&] { return ours(1); });
        drawnOne = p.Drawn();
        oursAll[run] = ours(all);
        drawnAll = p.Drawn();
    }
    const double m1 = bench::Median3(mesaOne[0], mesaOne[1], mesaOne[2]);
    const double o1 = bench::Median3(oursOne[0], oursOne[1], oursOne[2]);
    const double mA = bench::Median3(mesaAll[0], mesaAll[1], mesaAll[2]);
    const double oA = bench::Median3(oursAll[0], oursAll[1], oursAll[2]);
    std::printf("llvmpipe, LP_NUM_THREADS=1, core %d: %8.1f ms (%lld pixels drawn)\n", pin, m1 * 1e3,
                static_cast<long long>(one.Drawn));
    std::printf("ours, 1 thread, core %d:            %8.1f ms (%lld pixels drawn)\n", pin, o1 * 1e3,
                static_cast<long long>(drawnOne));
    std::printf("llvmpipe, LP_NUM_THREADS=%d:         %8.1f ms (%lld pixels drawn)\n", all, mA * 1e3,
                static_cast<long long>(many.Drawn));
    std::printf("ours, %d threads:                    %8.1f ms (%lld pixels drawn)\n", all, oA * 1e3,
                static_cast<long long>(drawnAll));
    std::printf("scaling of our picture:");
    for (int t = 1; t <= all; t = t < all && t * 2 > all ? all : t * 2) {
        const double s = ours(t);
        std::printf("  %d: %.1f ms (x%.2f)", t, s * 1e3, o1 / s);
    }
    std::printf("\n");
    plat::SetParallelThreadLimit(1);
    const double present1 = bench::OnCore(pin, [&] { return bench::Best(frames, [&] { p.Ds->Present(); }); });
    plat::SetParallelThreadLimit(0);
    const double presentAll = bench::Best(frames, [&] { p.Ds->Present(); });
    std::printf("presenting alone: %.1f ms on 1 thread, %.1f ms on %d threads\n", present1 * 1e3, presentAll * 1e3,
                all);
    bool met = bench::Compare("per core", {"llvmpipe", m1, 1}, {"ours", o1, 1}, 2.0, false);
    met = bench::Compare("all cores", {"llvmpipe", mA, all}, {"ours", oA, all}, 1.5, false) && met;
    if (!met)
        std::printf("GOAL MISSED\n");
    return met ? 0 : 1;
#endif
}
