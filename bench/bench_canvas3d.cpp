// links: engine3d
// The canvas's speed on a 1000 x 1000 height-field mesh (1,996,002 smooth,
// depth-tested triangles, three index planes) drawn into a 1024 x 768 canvas
// and painted into a 32-bit memory bitmap. Where the machine has Mesa's
// OSMesa (Debian libosmesa6-dev; no dependency of the build or the tests),
// the same mesh is drawn in the same run by llvmpipe, once with its threads
// off (LP_NUM_THREADS=0) and once on every core, and its pixels are read back.
// Both sides start from the same float vertices every frame and end with
// 1024 x 768 32-bit pixels in memory. Goal: the canvas on one thread at least
// as fast as llvmpipe without threads. Prints triangles per second, the
// thread counts and the ratios; exits 1 when a goal is missed.
//
//   build-rel/bin/bench_canvas3d [frames]

#include "engine3d/render/SCanvas3D.h"
#include "engine3d/render/SMemBitmap.h"

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

Result RunCanvas(const std::vector<Vertex>& Mesh, int Frames)
{
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
    Result r;
    r.Seconds = 1e30;
    for (int f = 0; f < Frames; ++f) {
        const auto start = Clock::now();
        canvas.Clear();
        for (std::size_t i = 0; i < Mesh.size(); ++i)
            points[i] = ToCanvas(Mesh[i]);
        for (int j = 0; j + 1 < kGrid; ++j)
            for (int i = 0; i + 1 < kGrid; ++i) {
                const TSCanvasPoint* p = &points[std::size_t(j) * kGrid + i];
                canvas.DrawTriangle(p[0], p[1], p[kGrid + 1]);
                canvas.DrawTriangle(p[kGrid + 1], p[kGrid], p[0]);
            }
        canvas.PaintTo(&target, 0, 0, 0, 0, kWidth, kHeight);
        r.Seconds = std::min(r.Seconds, std::chrono::duration<double>(Clock::now() - start).count());
    }
    // Rows are bottom-up in the bitmap; the count does not care.
    r.Drawn = CountDrawn(static_cast<const std::uint32_t*>(bitmap->Bits()), bitmap->GetRowBytes() / 4, 0);
    return r;
}

#ifdef SUITE_HAVE_OSMESA
// The mesh drawn by llvmpipe on Threads threads, from the same float vertices.
bool RunOSMesa(const std::vector<Vertex>& Mesh, int Frames, int Threads, Result& Out)
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
    if (!bench::RunLlvmpipe(kWidth, kHeight, Threads, Frames, setup, draw, r))
        return false;
    Out.Seconds = r.Seconds;
    Out.Drawn = r.Drawn;
    return true;
}
#endif

double Rate(const Result& R)
{
    return double(kTriangles) / R.Seconds / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::vector<Vertex> mesh = MakeMesh();
    std::printf("mesh %d x %d vertices, %lld triangles, canvas %d x %d, 3 planes, smooth, 32-bit bitmap; best of %d "
                "frames, %u cores\n",
                kGrid, kGrid, static_cast<long long>(kTriangles), kWidth, kHeight, frames, cores);

    bool goalsMet = true;
#ifdef SUITE_HAVE_OSMESA
    // Before this process starts any thread of its own: the children are forks.
    Result mesaOne, mesaAll;
    const bool haveOne = RunOSMesa(mesh, frames, 0, mesaOne);
    const bool haveAll = RunOSMesa(mesh, frames, int(cores), mesaAll);
#endif

    const Result one = RunCanvas(mesh, frames);
    std::printf("canvas, 1 thread:               %8.1f ms  %6.2f M triangles/s  (%lld pixels drawn)\n",
                one.Seconds * 1e3, Rate(one), static_cast<long long>(one.Drawn));

#ifdef SUITE_HAVE_OSMESA
    if (haveOne && haveAll) {
        std::printf("llvmpipe, LP_NUM_THREADS=0:     %8.1f ms  %6.2f M triangles/s  (%lld pixels drawn)\n",
                    mesaOne.Seconds * 1e3, Rate(mesaOne), static_cast<long long>(mesaOne.Drawn));
        std::printf("llvmpipe, LP_NUM_THREADS=%-3u:   %8.1f ms  %6.2f M triangles/s  (%lld pixels drawn)\n", cores,
                    mesaAll.Seconds * 1e3, Rate(mesaAll), static_cast<long long>(mesaAll.Drawn));
        const double ratioOne = Rate(one) / Rate(mesaOne);
        const double ratioAll = Rate(one) / Rate(mesaAll);
        std::printf("canvas 1 thread / llvmpipe without threads: %.2f (goal >= 1)\n", ratioOne);
        std::printf("canvas 1 thread / llvmpipe on %u cores:      %.2f (goal >= 1)\n", cores, ratioAll);
        goalsMet = ratioOne >= 1.0 && ratioAll >= 1.0;
    } else {
        std::printf("llvmpipe: OSMesa could not render here; no reference\n");
    }
#else
    std::printf("llvmpipe: OSMesa was not found when this was built; no reference\n");
#endif
    if (!goalsMet)
        std::printf("GOAL MISSED\n");
    return goalsMet ? 0 : 1;
}
