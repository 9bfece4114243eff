// links: Pellion
// Raster layer view, opening a layer up to its first picture, as the image window
// meets it (an offscreen application, the ready notice delivered by the event
// loop, then the first paint of a 1920 x 1080 window fitted to the layer).
// Per core (every thread pinned to one core, loops on one thread) and on all
// cores, medians of three.
//
// Re-opening a 20000 x 20000 UINT16 layer whose display cache is valid: goal per
// core at most 1/20 of one read pass over its samples on one thread (vectorised
// sum, file in the page cache), measured in the same run.
//
// First opening of an 8000 x 8000 FLOAT32 layer (no cache: the job builds it):
// goal at most 1.5 times CDisplayPyramid::Build alone writing a fresh mapped
// cache file of the same samples over the same range, on as many threads. Both
// start without a cache file and with the samples in the page cache.
//
//   build-rel/bin/bench_raster_view [folder for the test files, about 2.2 GB]

#include <sys/stat.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "platform/threads/ParallelFor.h"
#include "platform/windows/WindowHandle.h"
#include "files/MemoryMap.h"
#include "files/TempFiles.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "pyramid/DisplayPyramid.h"
#include "view/DisplayCache.h"
#include "view/RasterView.h"
#include "window/ViewerMessages.h"

namespace {

// A layer with statistics, samples from fn(x, y, seed).
template <class T, class F>
bool MakeLayer(const std::string& path, int w, int h, int type, F fn)
{
    CRDPLayer layer;
    if (layer.CreateLayer(path.c_str(), w, h, type, 5) == nullptr)
        return false;
    uint32_t seed = 1;
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<unsigned char*>(layer.Rows()[y]);
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const T v = fn(x, y, seed);
            std::memcpy(row + sizeof(T) * size_t(x), &v, sizeof(T));
        }
    }
    return layer.CloseLayer() == 1;
}

// Opens path in a new view and runs the event loop until its notice arrives.
struct Opener {
    QWidget window;
    plat::WindowHandle handle;
    int code = 0;

    Opener()
    {
        handle = plat::WindowHandle::Attach(&window, [this](unsigned msg, plat::WParam, plat::LParam l) {
            if (msg == WM_VIEWER_NOTIFY)
                code = int(l);
            return plat::LResult(0);
        });
    }

    // Ready and painted once; view must be null and holds the open view afterwards.
    void Open(const std::string& path, CRasterView*& view)
    {
        view = new CRasterView;
        code = 0;
        if (view->OpenLayer(0, handle, path.c_str(), 0, 2.0, 2, nullptr, {}) != 1) {
            std::fprintf(stderr, "open failed: %s\n", path.c_str());
            std::exit(2);
        }
        while (code == 0)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        if (code != 2) {
            std::fprintf(stderr, "not ready: %s\n", path.c_str());
            std::exit(2);
        }
        // The first picture: the whole layer fitted into the window.
        const int w = view->GetWidth(), h = view->GetHeight();
        const double reduction = std::max(double(w) / kWindowW, double(h) / kWindowH);
        view->SetShown(1);
        view->SetScale(reduction);
        view->PaintScaled(&dc, 0, 0, kWindowW, kWindowH, reduction, 1, bits.data(), bits.size(), &info);
    }

    static constexpr int kWindowW = 1920, kWindowH = 1080;
    plat::DeviceContext dc{kWindowW, kWindowH};
    std::vector<unsigned char> bits = std::vector<unsigned char>(size_t(kWindowW + 4) * kWindowH);
    plat::BitmapInfo info;
};

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string dir = bench::Folder(argc, argv) + "/bench_raster_view";
    QApplication app(argc, argv);
    bench::Run("rm -rf " + bench::Quote(dir) + " && mkdir -p " + bench::Quote(dir));
    const int threads = plat::ParallelThreads();
    bool ok = true;
    Opener opener;
    CRasterView* view = nullptr;

    // ---- re-opening with a valid cache ----------------------------------------
    {
        constexpr int W = 20000, H = 20000;
        const std::string path = dir + "/big.rdp";
        if (!MakeLayer<uint16_t>(path, W, H, UINT16, [](int x, int y, uint32_t s) {
                return uint16_t(2000 + 1000 * std::sin(x * 0.0007) + 800 * std::cos(y * 0.0011) + (s >> 24));
            })) {
            std::fprintf(stderr, "cannot create %s\n", path.c_str());
            return 2;
        }
        opener.Open(path, view);  // builds the cache
        if (FindTMPFile(path, 0, DisplayCacheLength(W, H)) != CacheNameBeside(path, 0)) {
            std::fprintf(stderr, "no valid cache after the first opening\n");
            return 2;
        }
        delete view;
        view = nullptr;
        const auto close = [&] {
            delete view;
            view = nullptr;
        };
        const bench::Timings reopen = bench::Ours([&] { opener.Open(path, view); }, close);
        if (view->GetCacheName() != CacheNameBeside(path, 0)) {
            std::fprintf(stderr, "the cache was not reused\n");
            return 2;
        }
        close();

        CRDPLayer layer;
        layer.OpenLayer(path.c_str(), 0);
        const bench::Timings pass = bench::ReadPasses(layer.Pixels(), layer.TotalSize());
        std::printf("re-opening %d x %d UINT16 with a valid cache, up to the first picture:\n", W, H);
        ok = bench::CompareBoth("  against one read pass", "re-open", reopen, threads, "read pass", pass, threads,
                                {1.0 / 20, true}, {}) &&
             ok;
        std::remove(CacheNameBeside(path, 0).c_str());
        std::remove(path.c_str());
    }

    // ---- first opening ----------------------------------------------------------
    {
        constexpr int W = 8000, H = 8000;
        const std::string path = dir + "/layer.rdp", cachePath = CacheNameBeside(path, 0);
        if (!MakeLayer<float>(path, W, H, FLOAT32, [](int x, int y, uint32_t s) {
                return float(std::sin(x * 0.001) + std::cos(y * 0.0013) + double(s >> 8) / double(1 << 24));
            })) {
            std::fprintf(stderr, "cannot create %s\n", path.c_str());
            return 2;
        }
        const auto removeCache = [&] {
            delete view;
            view = nullptr;
            std::remove(cachePath.c_str());
        };
        opener.Open(path, view);  // samples into the page cache, and the range
        const double lo = view->GetRangeMin(1), hi = view->GetRangeMax(1);
        removeCache();
        const bench::Timings first = bench::Ours([&] { opener.Open(path, view); }, removeCache);
        removeCache();

        // Build alone: a fresh mapped cache file, header written, levels and histogram.
        CRDPLayer layer;
        layer.OpenLayer(path.c_str(), 0);
        struct stat st {};
        stat(path.c_str(), &st);
        const auto build = [&] {
            CMemoryMap cache;
            auto* base = static_cast<unsigned char*>(cache.Create(cachePath, int(GetDisplayCacheSize(W, H)), 0));
            if (!base)
                std::exit(2);
            CTempInfoStruct(2.0, st.st_mtime).Store(base);
            CDisplayPyramid pyramid;
            if (pyramid.Build(base + kDisplayCacheLevelsOffset, layer.Pixels(), W, H, int64_t(W) * 4, FLOAT32, 0, lo,
                              hi, nullptr, base) != 1)
                std::exit(2);
        };
        const bench::Timings alone = bench::Ours(build, [&] { std::remove(cachePath.c_str()); });
        std::printf("first opening of %d x %d FLOAT32, up to the first picture:\n", W, H);
        ok = bench::CompareBoth("  against the build alone", "open", first, threads, "Build", alone, threads,
                                {1.5, true}, {1.5, true}) &&
             ok;
        std::remove(cachePath.c_str());
        std::remove(path.c_str());
    }
    bench::Run("rm -rf " + bench::Quote(dir));
    return ok ? 0 : 1;
}
