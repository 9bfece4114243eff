// links: Pellion
// Full repaints of a 1920 x 1080 image window, offscreen: the window's paint handler
// over every layer plus showing the buffer, compared with a cold memcpy of 1920 x
// 1080 32-bit pixels on as many threads in the same run, at every zoom step from 4
// down to 1/4 and at fitted scales above and below 1; and a thumb-drag step of 4
// pixels against a full repaint. Per core (pinned, one thread) and on all cores,
// medians of three runs of the fastest of twenty.
//
// Goal: each repaint at most 8 times the memcpy; the drag step at most half a repaint.
//
//   build-rel/bin/bench_image_window

#include <QApplication>
#include <QScrollBar>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "BenchLayers.h"
#include "platform/threads/ParallelFor.h"
#include "platform/windows/WindowHandle.h"
#include "layer/DataTypes.h"
#include "pyramid/DisplayPyramid.h"
#include "view/VirtualView.h"
#include "window/ViewRect.h"
#include "window/ViewerMessages.h"

namespace {

constexpr int kClientW = 1920, kClientH = 1080;
// Runs of every timed side but the memcpy; the fastest counts, so other work on the
// machine weighs least.
constexpr int kRuns = 20;

// A window holding one shown buffer layer of w x h UINT8 samples, its client 1920 x 1080.
struct Window {
    std::vector<unsigned char> pixels;
    std::vector<unsigned char> block;
    QWidget frameWidget;
    plat::WindowHandle frame;
    bool ready = false;
    CViewRect* win = nullptr;

    Window(int w, int h)
        : pixels(bench::WaveSamples(w, h)), block(size_t(GetViewerTempSize(w, h)) + kDisplayHistogramSize)
    {
        frame = plat::WindowHandle::Attach(&frameWidget, [this](unsigned msg, plat::WParam, plat::LParam l) {
            if (msg == WM_VIEWER_NOTIFY && l == 2)
                ready = true;
            return plat::LResult(0);
        });
        win = new CViewRect(frame);
        win->resize(kClientW + 100, kClientH + 100);
        win->show();
        win->LoadNewLayer("bench", pixels.data(), w, h, UINT8, block.data() + kDisplayHistogramSize, nullptr, 0.0,
                          255.0, nullptr, {});
        while (!ready)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        const auto c = win->GetClientSize();
        win->resize(win->width() - c.cx + kClientW, win->height() - c.cy + kClientH);
        QApplication::processEvents();
    }
    ~Window() { delete win; }

    // Every layer extracts afresh, then the handler runs and the picture is shown
    // (the scroll bars beside it are not repainted with it).
    void FullRepaint()
    {
        for (int i = 0; i < win->GetCount(); ++i)
            win->GetView(i)->InvalidateRegion();
        win->InvalidateRect(plat::Rect{0, 0, kClientW, kClientH});
        Show();
    }
    // What is due on the screen gets there: the window's pending paint events run.
    static void Show() { QApplication::processEvents(); }
};

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int threads = plat::ParallelThreads();

    const bench::Timings copy = bench::ColdCopy(int64_t(kClientW) * kClientH * 4).Both(kRuns);

    bool ok = true;
    {
        Window big(8000, 8000);
        const struct {
            const char* what;
            double scale;
        } steps[] = {{"reduction 4", 4.0},     {"reduction 3", 3.0},         {"reduction 2", 2.0},     {"1:1", 1.0},
                     {"magnification 2", 0.5}, {"magnification 3", 1.0 / 3}, {"magnification 4", 0.25}};
        for (const auto& s : steps) {
            big.win->SetScale(s.scale);
            const bench::Timings paint = bench::OursShort(kRuns, [&] { big.FullRepaint(); });
            const std::string what = std::string("repaint of 8000 x 8000 at ") + s.what;
            ok = bench::CompareBoth(what, "repaint", paint, threads, "memcpy", copy, threads, {8.0, true}, {8.0, true}) &&
                 ok;
        }
        big.win->FitToWindow();
        char what[128];
        std::snprintf(what, sizeof what, "repaint of 8000 x 8000 fitted at %.3f", big.win->GetScale());
        const bench::Timings fit = bench::OursShort(kRuns, [&] { big.FullRepaint(); });
        ok = bench::CompareBoth(what, "repaint", fit, threads, "memcpy", copy, threads, {8.0, true}, {8.0, true}) && ok;

        // Thumb drag at 1:1: one 4-pixel step against a full repaint.
        big.win->SetScale(1.0);
        const bench::Timings full = bench::OursShort(kRuns, [&] { big.FullRepaint(); });
        // Where a full repaint goes: the paint handler into the buffer, and showing it.
        const bench::Timings handler = bench::OursShort(kRuns, [&] {
            for (int i = 0; i < big.win->GetCount(); ++i)
                big.win->GetView(i)->InvalidateRegion();
            big.win->InvalidateRect(plat::Rect{0, 0, kClientW, kClientH});
            big.win->UpdateWindow();
        });
        const bench::Timings show =
            bench::OursShort(kRuns, [&] { big.win->repaint(0, 0, kClientW, kClientH); });
        bench::CompareBoth("paint handler alone at 1:1", "handler", handler, threads, "memcpy", copy, threads, {}, {});
        bench::CompareBoth("showing the buffer alone at 1:1", "show", show, threads, "memcpy", copy, threads, {}, {});
        int pos = 0;
        const bench::Timings drag = bench::OursShort(kRuns, [&] {
            pos += 4;
            big.win->SetTrackPos(plat::SB_HORZ, pos);
            big.win->OnHScroll(plat::SB_THUMBTRACK);
            Window::Show();
        });
        big.win->OnHScroll(plat::SB_ENDSCROLL);
        ok = bench::CompareBoth("thumb-drag step of 4 pixels at 1:1", "drag step", drag, threads, "full repaint", full,
                                threads, {0.5, true}, {0.5, true}) &&
             ok;
    }
    {
        Window small(480, 270);
        small.win->FitToWindow();
        char what[128];
        std::snprintf(what, sizeof what, "repaint of 480 x 270 fitted at %.3f", small.win->GetScale());
        const bench::Timings fit = bench::OursShort(kRuns, [&] { small.FullRepaint(); });
        ok = bench::CompareBoth(what, "repaint", fit, threads, "memcpy", copy, threads, {8.0, true}, {8.0, true}) && ok;
    }
    return ok ? 0 : 1;
}
