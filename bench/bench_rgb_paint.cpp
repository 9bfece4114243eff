// links: Pellion
// Three-channel view painting into a memory device context, as the image window
// repaints: PaintScaled of a 1920 x 1080 window freshly extracted (region invalid)
// from three 20000 x 20000 channels at reduction 1, with every level below 255 so
// that the level step runs over the whole picture.
//
// Goal: on all cores at most 8 times a cold memcpy of 1920 x 1080 x 4 bytes on
// as many threads, in the same run; per core (pinned, one thread) shown beside.
// Medians of three runs of the fastest of reps.
//
//   build-rel/bin/bench_rgb_paint   (writes three 400 MB files under $TMPDIR or /tmp)

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "platform/threads/ParallelFor.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "view/RGBView.h"

namespace {

namespace fs = std::filesystem;

bool WriteChannel(const std::string& path, int w, int h, int channel)
{
    CRDPLayer layer;
    void** rows = layer.CreateLayer(path.c_str(), w, h, UINT8, 5);
    if (rows == nullptr)
        return false;
    plat::ParallelFor(h, 64, plat::ParallelThreads(), [&](int64_t b, int64_t e, int) {
        for (int64_t y = b; y < e; ++y) {
            auto* row = static_cast<unsigned char*>(rows[y]);
            for (int x = 0; x < w; ++x)
                row[x] = static_cast<unsigned char>(128 + 60 * std::sin(x * 0.01 * (channel + 1)) +
                                                    60 * std::cos(y * 0.013));
        }
    });
    return layer.CloseLayer() == 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int threads = plat::ParallelThreads();
    constexpr int RW = 1920, RH = 1080, N = 20000;
    const int reps = 60;
    const bench::Timings copy = bench::ColdCopy(int64_t(RW) * RH * 4).Both(reps);

    const char* tmp = std::getenv("TMPDIR");
    const fs::path folder = fs::path(tmp && *tmp ? tmp : "/tmp") / ("bench_rgb_paint." + std::to_string(getpid()));
    fs::create_directories(folder);
    bool ok = true;
    {
        std::string files[3];
        for (int c = 0; c < 3; ++c) {
            files[c] = (folder / ("channel" + std::to_string(c) + ".rdp")).string();
            if (!WriteChannel(files[c], N, N, c)) {
                std::fprintf(stderr, "cannot write %s\n", files[c].c_str());
                fs::remove_all(folder);
                return 2;
            }
        }
        CRGBView view;
        if (view.OpenImage(0, {}, files[0].c_str(), files[1].c_str(), files[2].c_str(), nullptr, {}) != 1) {
            fs::remove_all(folder);
            return 2;
        }
        while (view.IsBusy())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (view.GetChannel(3) == nullptr || view.GetChannel(5) == nullptr) {
            std::fprintf(stderr, "the channels were not prepared\n");
            fs::remove_all(folder);
            return 2;
        }
        view.SetShown(1);
        view.SetBrightness(200, 3);
        view.SetBrightness(180, 4);
        view.SetBrightness(160, 5);
        view.SetScale(1.0);

        plat::DeviceContext dc(RW, RH);
        std::vector<unsigned char> bits(size_t(RW + 4) * 3 * RH);
        plat::BitmapInfo info;
        int i = 0;
        const bench::Timings paint = bench::OursShort(reps, [&] {
            view.InvalidateRegion();
            view.PaintScaled(&dc, 1037 + i++ % 200, 511, RW, RH, 1.0, 0, bits.data(), bits.size(), &info);
        });
        ok = bench::CompareBoth("RGB PaintScaled 1920 x 1080 of 3 x 20000 x 20000 at 1.0, extracted, levelled",
                                "PaintScaled", paint, threads, "memcpy", copy, threads, {}, {8.0, true});
    }
    fs::remove_all(folder);
    return ok ? 0 : 1;
}
