// links: Pellion
// Raster view painting into a memory device context, as the image window repaints:
//
// - PaintScaled of a 1920 x 1080 window freshly extracted (region invalid) from the
//   pyramid of a 20000 x 20000 layer at reductions 1 and 1.5;
// - the fit-magnified repaint of a 480 x 270 layer at 0.25 (the whole layer already
//   in the buffer, stretched through the colour table).
//
// Goal: each at most 8 times a cold memcpy of 1920 x 1080 x 4 bytes on as many
// threads, in the same run, per core (pinned, one thread) and on all cores;
// medians of three runs of the fastest of reps.
//
//   build-rel/bin/bench_raster_paint

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchCompare.h"
#include "BenchLayers.h"
#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "platform/threads/ParallelFor.h"
#include "layer/DataTypes.h"
#include "pyramid/DisplayPyramid.h"
#include "view/RasterView.h"

namespace {

// A shown buffer layer of w x h UINT8 samples; pixels and levels outlive it.
struct BufferLayer {
    std::vector<unsigned char> pixels;
    std::vector<unsigned char> block;
    CRasterView view;

    BufferLayer(int w, int h)
        : pixels(bench::WaveSamples(w, h)), block(size_t(GetViewerTempSize(w, h)) + kDisplayHistogramSize)
    {
        if (view.OpenBuffer(0, {}, "bench", pixels.data(), w, h, UINT8, block.data() + kDisplayHistogramSize, nullptr,
                            0.0, 255.0, nullptr, {}) != 1) {
            std::fprintf(stderr, "cannot open a %d x %d layer\n", w, h);
            std::exit(2);
        }
        while (view.IsBusy())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        view.SetShown(1);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int threads = plat::ParallelThreads();
    constexpr int RW = 1920, RH = 1080;
    const int reps = 60;
    const bench::Timings copy = bench::ColdCopy(int64_t(RW) * RH * 4).Both(reps);

    bool ok = true;
    plat::DeviceContext dc(RW, RH);
    std::vector<unsigned char> bits(size_t(RW + 4) * RH);
    plat::BitmapInfo info;
    {
        BufferLayer big(20000, 20000);
        int i = 0;
        for (double reduction : {1.0, 1.5}) {
            big.view.SetScale(reduction);
            const bench::Timings paint = bench::OursShort(reps, [&] {
                big.view.InvalidateRegion();
                big.view.PaintScaled(&dc, 1037 + i++ % 200, 511, RW, RH, reduction, 0, bits.data(), bits.size(), &info);
            });
            char what[96];
            std::snprintf(what, sizeof what, "PaintScaled 1920 x 1080 of 20000 x 20000 at %.1f, extracted", reduction);
            ok = bench::CompareBoth(what, "PaintScaled", paint, threads, "memcpy", copy, threads, {8.0, true},
                                    {8.0, true}) &&
                 ok;
        }
    }
    {
        BufferLayer small(480, 270);
        small.view.SetScale(0.25);
        small.view.PaintScaled(&dc, 0, 0, RW, RH, 0.25, 1, bits.data(), bits.size(), &info);
        const bench::Timings repaint = bench::OursShort(
            reps, [&] { small.view.PaintScaled(&dc, 0, 0, RW, RH, 0.25, 1, bits.data(), bits.size(), &info); });
        ok = bench::CompareBoth("PaintScaled of 480 x 270 at 0.25 with fit, repainted", "PaintScaled", repaint, threads,
                                "memcpy", copy, threads, {8.0, true}, {8.0, true}) &&
             ok;
    }
    return ok ? 0 : 1;
}
