// links: engine3d
// The canvas's speed on a 1000 x 1000 height-field mesh (1,996,002 smooth,
// depth-tested triangles, three index planes) drawn into a 1024 x 768 canvas
// and painted into a 32-bit memory bitmap, against Mesa's llvmpipe through
// OSMesa (Debian libosmesa6-dev, installed by tools/deps.sh test) drawing the
// same mesh from the same float vertices and reading its pixels back.
// Per core: ours on one thread and llvmpipe with LP_NUM_THREADS=1, both on
// the same single core. All cores: ours tiled on every core and llvmpipe with
// LP_NUM_THREADS=<cores>. Medians of three interleaved runs (each the best
// of its frames); then our scaling from 1 to all threads. Goals: per core at
// least 2.5 times llvmpipe, on all cores at least 1.5 times. Exits 1 when a
// goal is missed or OSMesa is missing.
//
//   build-rel/bin/bench_canvas3d [frames]

#include "engine3d/render/SCanvas3D.h"
#include "engine3d/render/SMemBitmap.h"

#include "platform/threads/ParallelFor.h"

#include "BenchCompare.h"
#include "BenchOSMesa.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kGrid = 1000;
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr std::int64_t kTriangles = std::int64_t(kGrid - 1) * (kGrid - 1) * 2;

struct Vertex {
    float X, Y, Z, R, G, B;
};

// The height field seen from above at a slant: rows move up with height, the
// depth grows away from the viewer, colours from a diffuse light.
std::vector<Vertex> MakeMesh()
{
    std::vector<Vertex> v(std::size_t(kGrid) * kGrid);
    auto height = [](double i, double j) {
        return 40.0 * std::sin(i * 0.021) * std::cos(j * 0.033) + 12.0 * std::sin((i + 2 * j) * 0.11);
    };
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            const double h = height(i, j);
            const double dx = height(i + 1, j) - height(i - 1, j);
            const double dy = height(i, j + 1) - height(i, j - 1);
            const double n = 1.0 / std::sqrt(dx * dx + dy * dy + 4.0);
            const double shade = std::clamp((-0.5 * dx - 0.3 * dy + 2.0 * 0.8) * n, 0.0, 1.0);
            Vertex& p = v[std::size_t(j) * kGrid + i];
            p.X = float(i * (kWidth - 1.0) / (kGrid - 1));
            p.Y = float(40.0 + j * (kHeight - 90.0) / (kGrid - 1) - 0.6 * h);
            p.Z = float(1000.0 + j * 20.0 - 8.0 * h);
            p.R = float(shade);
            p.G = float(0.2 + 0.7 * shade * (j % 256) / 255.0);
            p.B = float(1.0 - 0.6 * shade);
        }
    return v;
}

// The drawing system's rounding of a vertex to a canvas point.
TSCanvasPoint ToCanvas(const Vertex& V)
{
    auto colour = [](float c) { return c >= 1.0f ? 32768 : std::int32_t(std::nearbyint(c * 32768.0f)); };
    return {std::int32_t(std::nearbyint(V.X)),
            std::int32_t(std::nearbyint(V.Y)),
            std::int32_t(std::nearbyint(V.Z)),
            colour(V.R),
            colour(V.G),
            colour(V.B)};
}

std::int64_t CountDrawn(const std::uint32_t* Pixels, std::int64_t RowPixels, std::uint32_t Background)
{
    std::int64_t n = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            n += (Pixels[y * RowPixels + x] & 0xFFFFFF) != Background;
    return n;
}

struct Result {
    double Seconds = 0;  // best frame
    std::int64_t Drawn = 0;
};

Result RunCanvas(const std::vector<Vertex>& Mesh, int Frames, int Threads)
{
    plat::SetParallelThreadLimit(Threads);
    TSCanvas3D canvas;
    canvas.Resize(kWidth, kHeight);
    canvas.SetChannelEnabled(2, true);
    canvas.SetChannelEnabled(3, true);
    canvas.Smooth = 1;
    // 8-8-8 pixels: red from plane 1, green from plane 2, blue from plane 3.
    TSBitLayoutEntry layout[kBitLayoutSize] = {};
    for (int i = 0; i < 8; ++i) {
        layout[i] = {3, 8 + i};
        layout[8 + i] = {2, 8 + i};
        layout[16 + i] = {1, 8 + i};
    }
    TSCnv3DIITransformer curve;
    curve.AddPoint(0, 0);
    curve.AddPoint(32768, 65535);
    canvas.SetChannelCurves(1, &curve, nullptr, nullptr, layout);
    canvas.SetChannelCurves(2, nullptr, &curve, nullptr, layout);
    canvas.SetChannelCurves(3, nullptr, nullptr, &curve, layout);
    std::unique_ptr<TSMemoryBitmap> bitmap(TSObject::Create<TSMemoryBitmap>());
    bitmap->SetPixelFormat(5);
    bitmap->SetSize(kWidth, kHeight);
    const TSPaintTarget target{bitmap->Bits(), kWidth, kHeight, 4, bitmap->GetRowBytes()};

    std::vector<TSCanvasPoint> points(Mesh.size());
    // The triangles as the mesh lists them: two a cell.
    std::vector<std::uint32_t> indices;
    indices.reserve(std::size_t(kTriangles) * 3);
    for (std::uint32_t j = 0; j + 1 < kGrid; ++j)
        for (std::uint32_t i = 0; i + 1 < kGrid; ++i) {
            const std::uint32_t p = j * kGrid + i;
            indices.insert(indices.end(), {p, p + 1, p + kGrid + 1, p + kGrid + 1, p + kGrid, p});
        }
    Result r;
    r.Seconds = 1e30;
    for (int f = 0; f < Frames; ++f) {
        const auto start = Clock::now();
        canvas.Clear();
        canvas.BeginTiles(Threads);
        plat::ParallelFor(std::int64_t(Mesh.size()), 1 << 14, Threads, [&](std::int64_t Begin, std::int64_t End, int) {
            for (std::int64_t i = Begin; i < End; ++i)
                points[std::size_t(i)] = ToCanvas(Mesh[std::size_t(i)]);
        });
        canvas.DrawTriangles(points.data(), indices.data(), kTriangles);
        canvas.EndTiles();
        canvas.PaintTo(&target, 0, 0, 0, 0, kWidth, kHeight);
        r.Seconds = std::min(r.Seconds, std::chrono::duration<double>(Clock::now() - start).count());
    }
    // Rows are bottom-up in the bitmap; the count does not care.
    r.Drawn = CountDrawn(static_cast<const std::uint32_t*>(bitmap->Bits()), bitmap->GetRowBytes() / 4, 0);
    plat::SetParallelThreadLimit(0);
    return r;
}

#ifdef SUITE_HAVE_OSMESA
// The mesh drawn by llvmpipe on Threads threads, from the same float vertices.
bool RunOSMesa(const std::vector<Vertex>& Mesh, int Frames, int Threads, int Cpu, Result& Out)
{
    std::vector<GLuint> indices;
    auto setup = [&] {
        indices = bench::GridTriangles(kGrid, kGrid);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kWidth, kHeight, 0, 0, 65536);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glScalef(1, 1, -1);  // depth grows away from the viewer, as on the canvas
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glShadeModel(GL_SMOOTH);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &Mesh[0].X);
        glColorPointer(3, GL_FLOAT, sizeof(Vertex), &Mesh[0].R);
    };
    auto draw = [&] { glDrawElements(GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data()); };
    bench::LlvmpipeResult r;
    if (!bench::RunLlvmpipe(kWidth, kHeight, Threads, Frames, setup, draw, r, Cpu))
        return false;
    Out.Seconds = r.Seconds;
    Out.Drawn = r.Drawn;
    return true;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::vector<int> cores = bench::UsableCores();
    const int all = int(cores.size());
    const int pin = cores.back();
    const std::vector<Vertex> mesh = MakeMesh();
    std::printf("mesh %d x %d vertices, %lld triangles, canvas %d x %d, 3 planes, smooth, 32-bit bitmap; median of 3 "
                "runs, each the best of %d frames; %d cores, per-core runs on core %d\n",
                kGrid, kGrid, static_cast<long long>(kTriangles), kWidth, kHeight, frames, all, pin);
#ifndef SUITE_HAVE_OSMESA
    std::printf("llvmpipe: OSMesa was not found when this was built (tools/deps.sh test installs it); no reference\n");
    return 1;
#else
    double mesaOne[3], mesaAll[3], oursOne[3], oursAll[3];
    Result last[4];
    for (int run = 0; run < 3; ++run) {
        if (!RunOSMesa(mesh, frames, 1, pin, last[0]) || !RunOSMesa(mesh, frames, all, -1, last[2])) {
            std::printf("llvmpipe: OSMesa could not render here; no reference\n");
            return 1;
        }
        last[1] = bench::OnCore(pin, [&] { return RunCanvas(mesh, frames, 1); });
        last[3] = RunCanvas(mesh, frames, all);
        mesaOne[run] = last[0].Seconds;
        oursOne[run] = last[1].Seconds;
        mesaAll[run] = last[2].Seconds;
        oursAll[run] = last[3].Seconds;
    }
    const double m1 = bench::Median3(mesaOne[0], mesaOne[1], mesaOne[2]);
    const double o1 = bench::Median3(oursOne[0], oursOne[1], oursOne[2]);
    const double mA = bench::Median3(mesaAll[0], mesaAll[1], mesaAll[2]);
    const double oA = bench::Median3(oursAll[0], oursAll[1], oursAll[2]);
    std::printf("llvmpipe, LP_NUM_THREADS=1, core %d: %8.1f ms  %6.2f M triangles/s  (%lld pixels drawn)\n", pin,
                m1 * 1e3, kTriangles / m1 / 1e6, static_cast<long long>(last[0].Drawn));
    std::printf("canvas, 1 thread, core %d:          %8.1f ms  %6.2f M triangles/s  (%lld pixels drawn)\n", pin,
                o1 * 1e3, kTriangles / o1 / 1e6, static_cast<long long>(last[1].Drawn));
    std::printf("llvmpipe, LP_NUM_THREADS=%d:         %8.1f ms  %6.2f M triangles/s  (%lld pixels drawn)\n", all,
                mA * 1e3, kTriangles / mA / 1e6, static_cast<long long>(last[2].Drawn));
    std::printf("canvas, %d threads:                  %8.1f ms  %6.2f M triangles/s  (%lld pixels drawn)\n", all,
                oA * 1e3, kTriangles / oA / 1e6, static_cast<long long>(last[3].Drawn));
    std::printf("scaling of the canvas:");
    for (int t = 1; t <= all; t = t < all && t * 2 > all ? all : t * 2) {
        const double s = RunCanvas(mesh, frames, t).Seconds;
        std::printf("  %d: %.1f ms (x%.2f)", t, s * 1e3, o1 / s);
    }
    std::printf("\n");
    bool met = bench::Compare("per core", {"llvmpipe", m1, 1}, {"canvas", o1, 1}, 2.5, false);
    met = bench::Compare("all cores", {"llvmpipe", mA, all}, {"canvas", oA, all}, 1.5, false) && met;
    if (!met)
        std::printf("GOAL MISSED\n");
    return met ? 0 : 1;
#endif
}
