#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <memory>
#include <thread>

#include "PumpUntil.h"
#include "platform/windows/StatusBar.h"
#include "window/StatusMeter.h"

namespace {

using testsupport::PumpUntil;

TEST(StatusMeter, MovesOnlyTheBar)
{
    plat::StatusBar bar;
    plat::ProgressCtrl* progress = bar.Progress();
    EXPECT_FALSE(progress->isVisible());
    CStatusMeter meter;
    meter.SetProgressCtrl(progress->Handle());

    struct Case {
        double lo, hi;
        int low, high;
    } cases[] = {
        {0, 70000, 0, 4464},  // the low 16 bits of each bound
        {0, 37, 0, 37},
        {3.9, 65535.7, 3, 65535},
    };
    for (const auto& c : cases) {
        meter.SetRange(c.lo, c.hi);
        EXPECT_EQ(progress->Low(), c.low);
        EXPECT_EQ(progress->High(), c.high);
        EXPECT_EQ(progress->Step(), 1);
        EXPECT_EQ(progress->Handle().SendMessage(plat::PBM_GETRANGE, 1), c.low);
        EXPECT_EQ(progress->Handle().SendMessage(plat::PBM_GETRANGE, 0), c.high);
    }
    // A new range keeps the position inside it; the steps go on from there.
    meter.SetRange(0, 10);
    EXPECT_EQ(progress->Pos(), 3);
    for (int i = 0; i < 4; ++i)
        meter.StepIt();
    EXPECT_EQ(progress->Pos(), 7);
    EXPECT_EQ(progress->value(), 7);
    meter.SetPos(2);
    meter.SetStep(3);
    meter.StepIt();
    EXPECT_EQ(progress->Pos(), 8);
    double lo = -7, hi = -8, pos = -9;
    meter.GetRange(&lo, &hi);
    meter.GetPos(&pos);
    EXPECT_EQ(lo, -7);
    EXPECT_EQ(hi, -8);
    EXPECT_EQ(pos, -9);
    meter.SetCaption("caption");
    meter.SetText("text");
    EXPECT_EQ(meter.GetCaption(), "");
    EXPECT_EQ(meter.GetText(), "");
}

TEST(StatusMeter, AWorkerPostsAndWaitsForNothing)
{
    auto bar = std::make_unique<plat::StatusBar>();
    bar->SetParts({50, 150, 240, -1});
    EXPECT_EQ(bar->PartCount(), 4);
    CStatusMeter meter;
    meter.SetProgressCtrl(bar->Progress()->Handle());
    const plat::WindowHandle status = bar->Handle();

    // The GUI thread does not serve the worker while it runs: posts must not wait.
    std::thread worker([&] {
        meter.SetRange(0, 70000);
        for (int i = 0; i < 25; ++i)
            meter.StepIt();
        plat::SetStatusText(status, 2, "from a worker");
    });
    worker.join();
    EXPECT_EQ(bar->Progress()->Pos(), 0);
    ASSERT_TRUE(PumpUntil([&] { return bar->Progress()->Pos() == 25; }, std::chrono::seconds(10)));
    EXPECT_EQ(bar->Progress()->High(), 4464);
    ASSERT_TRUE(PumpUntil([&] { return bar->Text(2) == "from a worker"; }, std::chrono::seconds(10)));

    // Posts that reach a bar after it has gone are dropped.
    std::thread late([&] {
        meter.StepIt();
        plat::SetStatusText(status, 0, "late");
    });
    late.join();
    bar.reset();
    PumpUntil([] { return false; }, std::chrono::milliseconds(30));
    std::thread gone([&] {
        meter.SetRange(0, 5);
        meter.StepIt();
        plat::SetStatusText(status, 0, "gone");
    });
    gone.join();
    PumpUntil([] { return false; }, std::chrono::milliseconds(30));
    EXPECT_FALSE(status.IsWindow());
}

TEST(StatusBar, PanesKeepTheirTextsAcrossNewParts)
{
    plat::StatusBar bar;
    bar.resize(600, 20);
    bar.SetParts({50, 150, 240, -1});
    bar.SetText(0, "100 %");
    bar.SetText(3, "last");
    bar.SetText(7, "no such pane");
    EXPECT_EQ(bar.Text(0), "100 %");
    EXPECT_EQ(bar.Text(3), "last");
    EXPECT_EQ(bar.Text(7), "");
    bar.SetParts({200, 400, -1});
    EXPECT_EQ(bar.PartCount(), 3);
    EXPECT_EQ(bar.Text(0), "100 %");
    EXPECT_EQ(bar.Text(3), "");
    plat::SetStatusText(bar.Handle(), 1, "on the GUI thread at once");
    EXPECT_EQ(bar.Text(1), "on the GUI thread at once");
    plat::SetStatusText(plat::WindowHandle(), 1, "nowhere");
}

}  // namespace
