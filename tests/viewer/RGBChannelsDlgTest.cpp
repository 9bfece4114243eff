// The RGB Channels dialog: "Open" enabled once the three files are chosen in open
// mode and from the start in save mode, its two refusals, and its getters.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "RasterViewTestSupport.h"
#include "dialogs/RGBChannelsDlg.h"

namespace {

using namespace rvtest;
using namespace std::chrono_literals;

class RGBChannelsDlgTest : public ViewFixture {
protected:
    std::string Layer(const std::string& name, int w, int h)
    {
        const std::string path = File(name);
        WriteLayer(path, w, h, UINT8, [](int x, int y, int) { return double((x + y) & 255); });
        return path;
    }

    // Browses field c to path and waits until the dialog has heard of it.
    static void Choose(CRGBChannelsDlg& dlg, int c, const std::string& path)
    {
        plat::FileDialogResult answer;
        answer.ok = true;
        answer.paths = {path};
        plat::ScopedFileDialogAnswerer answerer(answer);
        dlg.Field(c).OnBrowse();
        ASSERT_EQ(dlg.Field(c).DataReady(), 1) << path;
        testsupport::PumpUntil([] { return false; }, 30ms);
    }

    static bool OpenEnabled(const CRGBChannelsDlg& dlg) { return dlg.Window()->Control(plat::IDOK)->isEnabled(); }
};

TEST_F(RGBChannelsDlgTest, OpenModeWantsThreeFilesOfOneSize)
{
    const std::string a = Layer("a.rdp", 512, 512), b = Layer("b.rdp", 512, 512), c = Layer("c.rdp", 512, 256);
    CRGBChannelsDlg dlg({}, 1);
    dlg.Create();
    EXPECT_EQ(dlg.Window()->windowTitle(), "RGB Channels");
    for (unsigned id : {CRGBChannelsDlg::IDC_RED_FILE, CRGBChannelsDlg::IDC_GREEN_FILE, CRGBChannelsDlg::IDC_BLUE_FILE})
        EXPECT_NE(dlg.Window()->Control(id), nullptr);
    EXPECT_EQ(dlg.Window()->ControlText(plat::IDOK), "Open");
    EXPECT_FALSE(OpenEnabled(dlg));
    Choose(dlg, 0, a);
    EXPECT_FALSE(OpenEnabled(dlg));
    Choose(dlg, 2, c);
    EXPECT_FALSE(OpenEnabled(dlg));
    EXPECT_EQ(dlg.GetRedFileName(), "");
    Choose(dlg, 1, b);
    EXPECT_TRUE(OpenEnabled(dlg));

    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    dlg.OnOK();
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "Files must be of the same size");
    EXPECT_EQ(boxes.Calls()[0].caption, "Velmora");
    EXPECT_TRUE(boxes.Calls()[0].owned);
    EXPECT_EQ(dlg.GetRedFileName(), a);
    EXPECT_EQ(dlg.GetGreenFileName(), b);
    EXPECT_EQ(dlg.GetBlueFileName(), c);

    // One size: the dialog ends with OK.
    Choose(dlg, 2, Layer("d.rdp", 512, 512));
    dlg.OnOK();
    EXPECT_EQ(boxes.Calls().size(), 1u);
    EXPECT_FALSE(dlg.Window()->isVisible());
    EXPECT_EQ(dlg.Window()->result(), QDialog::Accepted);
    EXPECT_EQ(dlg.GetBlueFileName(), File("d.rdp"));
}

TEST_F(RGBChannelsDlgTest, SaveModeAsksForNamesAndCancelLeavesNone)
{
    CRGBChannelsDlg dlg({}, 0);
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    bool enabled = false;
    // The modal loop runs; the user presses "Open" at once, then Cancel.
    EXPECT_EQ(testsupport::RunModal([&] { return testsupport::IsActiveModal(dlg.Window()); },
                                    {testsupport::Once([&] {
                                        enabled = OpenEnabled(dlg);
                                        qobject_cast<QPushButton*>(dlg.Window()->Control(plat::IDOK))->click();
                                        dlg.Field(0).FileNameEdit()->setText("red.rdp");
                                        qobject_cast<QPushButton*>(dlg.Window()->Control(plat::IDCANCEL))->click();
                                    })},
                                    [&] { return dlg.DoModal(); }),
              plat::IDCANCEL);
    EXPECT_TRUE(enabled);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "Enter file names !");
    EXPECT_EQ(dlg.GetRedFileName(), "");
    EXPECT_EQ(dlg.GetGreenFileName(), "");
    EXPECT_EQ(dlg.GetBlueFileName(), "");
}

TEST_F(RGBChannelsDlgTest, SaveModeTakesTypedNames)
{
    CRGBChannelsDlg dlg({}, 0);
    EXPECT_EQ(testsupport::RunModal([&] { return testsupport::IsActiveModal(dlg.Window()); },
                                    {testsupport::Once([&] {
                                        const char* names[] = {"r.rdp", "g.rdp", "/elsewhere/b.rdp"};
                                        for (int c = 0; c < 3; ++c) {
                                            dlg.Field(c).SetOnlyPath(File("").c_str());
                                            dlg.Field(c).FileNameEdit()->setText(names[c]);
                                        }
                                        qobject_cast<QPushButton*>(dlg.Window()->Control(plat::IDOK))->click();
                                    })},
                                    [&] { return dlg.DoModal(); }),
              plat::IDOK);
    EXPECT_EQ(dlg.GetRedFileName(), File("r.rdp"));
    EXPECT_EQ(dlg.GetGreenFileName(), File("g.rdp"));
    EXPECT_EQ(dlg.GetBlueFileName(), "/elsewhere/b.rdp");
}

}  // namespace
