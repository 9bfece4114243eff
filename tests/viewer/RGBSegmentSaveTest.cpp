// Saving a frame of a three-channel view as three new raster layer files: through the
// RGB Channels dialog, checked here and through GDAL, and with one output that
// cannot be created.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <cstring>
#include <filesystem>

#include "platform/dialogs/Dialog.h"
#include "FakeMeter.h"
#include "platform/dialogs/MessageBox.h"
#include "ModalDriver.h"
#include "RasterViewTestSupport.h"
#include "SegmentCheck.h"
#include "dialogs/RGBChannelsDlg.h"
#include "layer/RDPFileTags.h"
#include "layer/Transform.h"
#include "view/RGBView.h"

namespace {

namespace fs = std::filesystem;
using namespace rvtest;

constexpr int kW = 160, kH = 90;
const RECT kFrame{10, 20, 110, 70};

struct ChannelCase {
    const char* name;
    int type;
    const char* gdalType;
};
// The channels need not share a sample type.
constexpr ChannelCase kChannels[3] = {
    {"red", FLOAT32, "Float32"}, {"green", SINT16, "Int16"}, {"blue", FLOAT32, "Float32"}};

class RGBSegmentSave : public ViewFixture {
protected:
    void TearDown() override
    {
        ViewFixture::TearDown();
        CloseProgressWindows();
    }

    // Three sources, each with its own transform history.
    void Open(CRGBView& view)
    {
        for (int c = 0; c < 3; ++c) {
            m_sources[c] = File(std::string(kChannels[c].name) + ".rdp");
            WriteLayer(m_sources[c], kW, kH, kChannels[c].type,
                       [c](int x, int y, int) { return x * 3.25 - y * 7.0 + c * 100; });
            ASSERT_EQ(SaveSubsetTransform(SPoint{double(5 * c), 50}, m_sources[c], m_sources[c]), 1);
        }
        ASSERT_EQ(view.OpenImage(0, m_notify.handle, m_sources[0].c_str(), m_sources[1].c_str(), m_sources[2].c_str(),
                                 nullptr, {}),
                  1);
        ASSERT_TRUE(m_notify.WaitFor(1));
        ASSERT_EQ(m_notify.notices.back().second, 2);
    }

    // The user names the three outputs in the dialog and presses "Open".
    static void NameOutputs(const std::string (&outputs)[3])
    {
        testsupport::WhenShown<plat::Dialog>(
            [] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* dlg = dynamic_cast<plat::Dialog*>(w);
                    if (dlg && dlg->isVisible() && dlg->windowTitle() == "RGB Channels")
                        return dlg;
                }
                return static_cast<plat::Dialog*>(nullptr);
            },
            [outputs](plat::Dialog& dlg) {
                const unsigned ids[3] = {CRGBChannelsDlg::IDC_RED_FILE, CRGBChannelsDlg::IDC_GREEN_FILE,
                                         CRGBChannelsDlg::IDC_BLUE_FILE};
                for (int c = 0; c < 3; ++c) {
                    const auto edit = dlg.Control(ids[c])->findChildren<QLineEdit*>();
                    // The file-name edit is the one that is not read-only.
                    for (QLineEdit* e : edit)
                        if (!e->isReadOnly())
                            e->setText(QString::fromStdString(outputs[c]));
                }
                qobject_cast<QPushButton*>(dlg.Control(plat::IDOK))->click();
            });
    }

    // The record SaveSegment hands its job, for the frame and these outputs.
    SegmentParams* Params(CRGBView& view, const std::string (&outputs)[3]) const
    {
        auto* params = new SegmentParams;
        for (int c = 0; c < 3; ++c) {
            params->m_strOutput[c] = outputs[c];
            params->m_strSource[c] = m_sources[c];
            params->m_Source[c] = *view.GetChannel(3 + c)->GetLayer();
        }
        params->m_Rect = kFrame;
        return params;
    }

    NoticeWindow m_notify;
    std::string m_sources[3];
};

TEST_F(RGBSegmentSave, EachChannelSavesItsFrame)
{
    CRGBView view;
    Open(view);
    const std::string outputs[3] = {File("out_r.rdp"), File("out_g.rdp"), File("out_b.rdp")};
    NameOutputs(outputs);
    view.SaveSegment(&kFrame);
    ASSERT_TRUE(WaitForNoJobs());

    for (int c = 0; c < 3; ++c) {
        CRDPLayer segment;
        ASSERT_NE(segment.OpenLayer(outputs[c].c_str(), 0), nullptr) << outputs[c];
        EXPECT_EQ(segment.Width(), 100);
        EXPECT_EQ(segment.Height(), 50);
        EXPECT_EQ(segment.Type(), kChannels[c].type);
        segment.CloseLayer();
        TransformTag history;
        ASSERT_GT(GetTag(outputs[c].c_str(), kTransformTagNumber, int(sizeof history), &history), 0);
        EXPECT_EQ(history.matrix.e, -(5.0 * c + 10)) << c;
        EXPECT_EQ(history.matrix.f, -70.0);

        const std::string cmd =
            SegmentCheckCommand(kChannels[c].gdalType, m_sources[c], kW, kH, outputs[c], 100, 50, 10, 20);
        EXPECT_EQ(CommandOutput(cmd), "OK\n") << cmd;
    }
}

// The three files are one job: one that cannot be created is told, and none is saved.
TEST_F(RGBSegmentSave, AnOutputThatCannotBeCreatedSavesNone)
{
    CRGBView view;
    Open(view);
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string outputs[3] = {File("r2.rdp"), File("no/such/folder/g2.rdp"), File("b2.rdp")};
    SegmentParams* params = Params(view, outputs);
    CRGBView::SaveSegmentJob(params, nullptr);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "Error creating file !\n" + outputs[1] + "\nNo such file or directory");
    for (const std::string& out : outputs)
        EXPECT_FALSE(fs::exists(out)) << out;
}

// A cancel or a failure while green or blue is copied leaves no red file, and old
// files of the three names stay byte for byte; two channels naming one file, or a
// channel's own source, are refused before anything is written.
TEST_F(RGBSegmentSave, NothingIsKeptUnlessAllThreeAreSaved)
{
    CRGBView view;
    Open(view);
    const std::string outputs[3] = {File("r4.rdp"), File("g4.rdp"), File("b4.rdp")};
    testsupport::FakeMeter clean;
    CRGBView::SaveSegmentJob(Params(view, outputs), &clean);
    const int reports = clean.Reports();
    ASSERT_GE(reports, 6);
    for (const std::string& out : outputs)
        ASSERT_TRUE(fs::exists(out)) << out;
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
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    for (const bool old : {false, true}) {
        for (const std::string& out : outputs)
            fs::remove(out);
        if (old)
            std::ofstream(outputs[0], std::ios::binary) << "old red";
        const std::vector<std::string> before = entries();
        // Past the first third of the reports, red is complete.
        for (int at : {reports / 2, reports * 5 / 6, reports})
            for (auto fault : {testsupport::FakeMeter::Fault::Cancel, testsupport::FakeMeter::Fault::Memory}) {
                SCOPED_TRACE(testing::Message() << old << " at " << at);
                testsupport::FakeMeter meter;
                meter.failAt = at;
                meter.fault = fault;
                CRGBView::SaveSegmentJob(Params(view, outputs), &meter);
                EXPECT_EQ(entries(), before);
                if (old)
                    EXPECT_EQ(bytes(outputs[0]), "old red");
            }
    }
    EXPECT_TRUE(boxes.Calls().empty());

    const std::string sameTwice[3] = {File("r5.rdp"), File("g5.rdp"), File("./r5.rdp")};
    const std::string ontoSource[3] = {File("r6.rdp"), m_sources[2], File("b6.rdp")};
    const std::vector<std::string> before = entries();
    for (const auto* names : {&sameTwice, &ontoSource}) {
        plat::ScopedMessageBoxAnswerer refused(plat::IDOK);
        CRGBView::SaveSegmentJob(Params(view, *names), nullptr);
        ASSERT_EQ(refused.Calls().size(), 1u);
        EXPECT_NE(refused.Calls()[0].text.find(names == &sameTwice ? (*names)[2] : (*names)[1]), std::string::npos)
            << refused.Calls()[0].text;
        EXPECT_EQ(entries(), before);
    }
}

TEST_F(RGBSegmentSave, ACancelRemovesWhatIsOpenAndEndsTheJobQuietly)
{
    CRGBView view;
    Open(view);
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string outputs[3] = {File("r3.rdp"), File("g3.rdp"), File("b3.rdp")};
    SegmentParams* params = Params(view, outputs);
    testsupport::FakeMeter meter;
    meter.failAt = 2;
    CRGBView::SaveSegmentJob(params, &meter);
    EXPECT_GE(meter.Reports(), 2);
    for (const std::string& out : outputs)
        EXPECT_FALSE(fs::exists(out)) << out;
    EXPECT_TRUE(boxes.Calls().empty());
}

}  // namespace
