// Saving a rectangle of a raster view as a new raster layer file: the samples of the
// window (checked here and through GDAL), the user tags, the transform history, and
// the failure paths, which leave no file behind.

#include <gtest/gtest.h>

#include <iterator>

#include <fstream>

#include <algorithm>

#include <QApplication>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/dialogs/Dialog.h"
#include "FakeMeter.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "PalitraTag.h"
#include "RasterViewTestSupport.h"
#include "SegmentCheck.h"
#include "dialogs/InfoFileDialog.h"
#include "format/RDPFileWalker.h"
#include "format/RDPLayerLayout.h"
#include "jobs/MeterDialog.h"
#include "layer/RDPFileTags.h"
#include "layer/Transform.h"
#include "view/RasterView.h"

namespace {

namespace fs = std::filesystem;
using namespace rvtest;

constexpr int kW = 160, kH = 90;
constexpr int kUserTag = 300;
const RECT kRect{10, 20, 110, 70};

// A user tag as the file keeps them: its length, the copy flag, then its bytes.
struct UserTag {
    std::int32_t length = sizeof(UserTag);
    std::int32_t flag = 1;
    char text[16] = "user tag kept";
};

double Value(int x, int y, int part)
{
    return part == 0 ? x * 3.25 - y * 101.0 : y * 0.5 + x;
}

class SegmentSave : public ViewFixture {
protected:
    void TearDown() override
    {
        ViewFixture::TearDown();
        CloseProgressWindows();
    }

    // A source of type with a user tag, a palette and a transform history.
    std::string MakeSource(int type)
    {
        const std::string path = File("source" + std::to_string(type) + ".rdp");
        WriteLayer(path, kW, kH, type, Value);
        const UserTag note;
        EXPECT_EQ(SetTag(path.c_str(), kUserTag, int(sizeof note), &note), 1);
        PalitraTag palette;
        palette.entries[9][1] = 99;
        EXPECT_EQ(SetTag(path.c_str(), kPalitraTagNumber, int(sizeof palette), &palette), 1);
        EXPECT_EQ(SaveSubsetTransform(SPoint{100, 50}, path, path), 1);
        return path;
    }

    void Open(CRasterView& view, const std::string& path)
    {
        ASSERT_EQ(view.OpenLayer(0, m_notify.handle, path.c_str(), 0, 2.0, 1, nullptr, {}), 1);
        ASSERT_TRUE(m_notify.WaitFor(++m_opened));
    }

    static plat::FileDialogResult Chosen(const std::string& path)
    {
        plat::FileDialogResult r;
        r.ok = true;
        r.paths = {path};
        r.filterIndex = 1;
        return r;
    }

    NoticeWindow m_notify;
    size_t m_opened = 0;
};

TEST_F(SegmentSave, EachTypeSavesItsWindowTagsAndShiftedHistory)
{
    const struct {
        int type;
        const char* gdalType;
    } cases[] = {{FLOAT32, "Float32"}, {SINT16, "Int16"}, {CFLOAT32, "CFloat32"}};
    for (const auto& c : cases) {
        const std::string source = MakeSource(c.type);
        const std::string out = File("segment" + std::to_string(c.type) + ".rdp");
        CRasterView view;
        Open(view, source);
        plat::ScopedFileDialogAnswerer answer(Chosen(out));
        view.SaveSegment(&kRect);
        ASSERT_TRUE(WaitForNoJobs());
        // The job ran behind its own progress window.
        int windows = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dlg = dynamic_cast<plat::Dialog*>(w); dlg && dlg->Handle().IsWindow())
                windows += dlg->windowTitle() == "Saving segment ...";
        EXPECT_GE(windows, 1);

        const auto calls = answer.Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_TRUE(calls[0].save);
        EXPECT_EQ(calls[0].defaultExt, "rdp");
        EXPECT_EQ(calls[0].flags, 0xC006u);
        EXPECT_EQ(calls[0].kind, kInfoFileDialogKind);
        EXPECT_NE(calls[0].filter.find(" Files (*.rdp)|*.rdp|All Files (*.*)|*.*||"), std::string::npos);

        // 100 x 50 of the source's type from column 10, row 20.
        CRDPLayer segment;
        ASSERT_NE(segment.OpenLayer(out.c_str(), 0), nullptr) << c.type;
        EXPECT_EQ(segment.Width(), 100);
        EXPECT_EQ(segment.Height(), 50);
        EXPECT_EQ(segment.Type(), c.type);
        EXPECT_EQ(segment.StatsReady(), 1);
        CRDPLayer whole;
        ASSERT_NE(whole.OpenLayer(source.c_str(), 0), nullptr);
        const int sampleSize = whole.SampleSize();
        for (int y = 0; y < 50; ++y)
            ASSERT_EQ(std::memcmp(segment.Rows()[y],
                                  static_cast<unsigned char*>(whole.Rows()[20 + y]) + 10 * sampleSize,
                                  size_t(100) * sampleSize),
                      0)
                << "type " << c.type << " row " << y;
        segment.CloseLayer();
        whole.CloseLayer();

        UserTag note;
        std::memset(note.text, 0, sizeof note.text);
        EXPECT_GT(GetTag(out.c_str(), kUserTag, int(sizeof note), &note), 0);
        EXPECT_STREQ(note.text, "user tag kept");
        PalitraTag palette;
        EXPECT_GT(GetTag(out.c_str(), kPalitraTagNumber, int(sizeof palette), &palette), 0);
        EXPECT_EQ(palette.entries[9][1], 99);
        TransformTag history;
        ASSERT_GT(GetTag(out.c_str(), kTransformTagNumber, int(sizeof history), &history), 0);
        EXPECT_EQ(history.matrix.e, -110.0);
        EXPECT_EQ(history.matrix.f, -70.0);

        // GDAL reads the same window out of both files.
        const std::string cmd = SegmentCheckCommand(c.gdalType, source, kW, kH, out, 100, 50, 10, 20);
        EXPECT_EQ(CommandOutput(cmd), "OK\n") << cmd;
    }
}

TEST_F(SegmentSave, AFailedCreationTellsTheUserAndACancelledDialogDoesNothing)
{
    const std::string source = MakeSource(FLOAT32);
    CRasterView view;
    Open(view, source);
    {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        plat::ScopedFileDialogAnswerer answer(Chosen(File("no/such/folder/segment.rdp")));
        view.SaveSegment(&kRect);
        ASSERT_TRUE(WaitForNoJobs());
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text,
                  "Error creating file !\n" + File("no/such/folder/segment.rdp") + "\nNo such file or directory");
        EXPECT_EQ(boxes.Calls()[0].caption, "");
        EXPECT_EQ(boxes.Calls()[0].type, plat::MB_OK);
        EXPECT_FALSE(boxes.Calls()[0].owned);
    }
    {
        plat::ScopedFileDialogAnswerer answer{plat::FileDialogResult{}};
        view.SaveSegment(&kRect);
        EXPECT_EQ(answer.Calls().size(), 1u);
        EXPECT_EQ(GlobalThreadList().GetCount(), 0);
    }
    // Only the source and its display cache are there.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(File("")))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 2);
}

TEST_F(SegmentSave, ACancelledCopyLeavesNoFileAndNoMessage)
{
    const std::string source = MakeSource(SINT16);
    CRasterView view;
    Open(view, source);
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    for (auto fault : {testsupport::FakeMeter::Fault::Cancel, testsupport::FakeMeter::Fault::Memory}) {
        const std::string out = File("cancelled.rdp");
        testsupport::FakeMeter meter;
        meter.failAt = 2;
        meter.fault = fault;
        CRasterView::SaveSegmentJob(new RasterSegmentParams{out, source, kRect, *view.GetLayer()}, &meter);
        EXPECT_GE(meter.Reports(), 2);
        EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_TRUE(boxes.Calls().empty());
}

// A source cut short by another program while its rows are copied: the user is told
// which files, and neither the output nor a temporary is left.
TEST_F(SegmentSave, ASourceCutShortDuringTheCopyLeavesNothingAndSaysSo)
{
    const std::string source = MakeSource(SINT16);
    CRasterView view;
    Open(view, source);
    std::vector<std::string> before;
    for (const auto& e : fs::directory_iterator(File("")))
        before.push_back(e.path().filename().string());
    fs::resize_file(source, 64);
    const std::string out = File("cut.rdp");
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    CRasterView::SaveSegmentJob(new RasterSegmentParams{out, source, kRect, *view.GetLayer()}, nullptr);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_NE(boxes.Calls()[0].text.find(out), std::string::npos) << boxes.Calls()[0].text;
    EXPECT_NE(boxes.Calls()[0].text.find("cut short while it was read: " + source), std::string::npos)
        << boxes.Calls()[0].text;
    std::vector<std::string> after;
    for (const auto& e : fs::directory_iterator(File("")))
        after.push_back(e.path().filename().string());
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);
}

// A save over an existing file that is cancelled or fails keeps that file byte for
// byte; a save over its own source, by any name, is refused and keeps the source.
TEST_F(SegmentSave, OldFilesAndTheSourceAreKept)
{
    const std::string source = MakeSource(SINT16);
    CRasterView view;
    Open(view, source);
    const std::string old = File("old.rdp");
    std::ofstream(old, std::ios::binary) << "old segment";
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(File("")))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::string sourceBytes = bytes(source);
    const std::vector<std::string> before = entries();
    {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        for (auto fault : {testsupport::FakeMeter::Fault::Cancel, testsupport::FakeMeter::Fault::Memory})
            for (int at : {1, 2, 30}) {
                testsupport::FakeMeter meter;
                meter.failAt = at;
                meter.fault = fault;
                CRasterView::SaveSegmentJob(new RasterSegmentParams{old, source, kRect, *view.GetLayer()}, &meter);
                EXPECT_EQ(bytes(old), "old segment") << at;
                EXPECT_EQ(entries(), before) << at;
            }
        EXPECT_TRUE(boxes.Calls().empty());
    }
    for (const std::string& out : {source, File("./") + fs::path(source).filename().string()}) {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        CRasterView::SaveSegmentJob(new RasterSegmentParams{out, source, kRect, *view.GetLayer()}, nullptr);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text.rfind("The output file is an input of this conversion:\n" + out, 0), 0u)
            << boxes.Calls()[0].text;
        EXPECT_EQ(bytes(source), sourceBytes);
        EXPECT_EQ(entries(), before);
    }
    // Whole, the save replaces the old file.
    CRasterView::SaveSegmentJob(new RasterSegmentParams{old, source, kRect, *view.GetLayer()}, nullptr);
    CRDPLayer segment;
    ASSERT_NE(segment.OpenLayer(old.c_str(), 0), nullptr);
    EXPECT_EQ(segment.Width(), 100);
    EXPECT_EQ(entries(), before);
}

TEST_F(SegmentSave, ClosingTheViewerDuringTheSaveStillCompletesIt)
{
    const std::string source = MakeSource(CFLOAT32);
    const std::string out = File("late.rdp");
    auto view = std::make_unique<CRasterView>();
    Open(*view, source);
    // The job holds at its first report while the view goes.
    HoldingMeter meter;
    auto* params = new RasterSegmentParams{out, source, kRect, *view->GetLayer()};
    std::thread job([&] { CRasterView::SaveSegmentJob(params, &meter); });
    ASSERT_TRUE(testsupport::PumpUntil([&] { return meter.entered.load(); }, std::chrono::seconds(30)));
    view.reset();
    meter.released = true;
    job.join();

    CRDPLayer segment;
    ASSERT_NE(segment.OpenLayer(out.c_str(), 0), nullptr);
    ASSERT_EQ(segment.Width(), 100);
    for (int y = 0; y < 50; y += 7)
        for (int x = 0; x < 100; x += 9) {
            float re, im;
            const auto* at = static_cast<unsigned char*>(segment.Rows()[y]) + size_t(x) * 8;
            std::memcpy(&re, at, 4);
            std::memcpy(&im, at + 4, 4);
            ASSERT_EQ(re, float(Value(10 + x, 20 + y, 0))) << x << "," << y;
            ASSERT_EQ(im, float(Value(10 + x, 20 + y, 1)));
        }
}

TEST_F(SegmentSave, ABufferLayerIsNotSaved)
{
    std::vector<float> pixels(size_t(16) * 8, 1.5f);
    std::vector<unsigned char> block(size_t(GetViewerTempSize(16, 8)) + kDisplayHistogramSize);
    CRasterView view;
    ASSERT_EQ(view.OpenBuffer(0, m_notify.handle, "buffer", pixels.data(), 16, 8, FLOAT32,
                              block.data() + kDisplayHistogramSize, nullptr, 0.0, 2.0, nullptr, {}),
              1);
    ASSERT_TRUE(m_notify.WaitFor(1));
    plat::ScopedFileDialogAnswerer answer(Chosen(File("buffer.rdp")));
    view.SaveSegment(&kRect);
    EXPECT_TRUE(answer.Calls().empty());
    EXPECT_FALSE(fs::exists(File("buffer.rdp")));
}

}  // namespace
