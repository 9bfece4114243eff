#include <gtest/gtest.h>

#include <iterator>

#include <fstream>

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "ResultViewers.h"
#include "TempDir.h"
#include "TiffFixture.h"
#include "jobs/MeterDialog.h"
#include "layer/RDPLayer.h"
#include "tiff/TIFFImportDlg.h"
#include "tiff/TiffImport.h"

using namespace std::chrono_literals;
using tifftest::Bytes;
using tifftest::TiffBuilder;

namespace {

std::mutex g_openedMutex;
std::vector<std::pair<std::string, int>> g_opened;

void RecordOpen(const std::string& file, int stretch)
{
    std::lock_guard<std::mutex> lock(g_openedMutex);
    g_opened.push_back({file, stretch});
}

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// The dialog that LaunchTiffImport made: the newest visible "Import TIFF" window.
plat::Dialog* FindWindow(const char* title, unsigned needs = 0)
{
    plat::Dialog* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = dynamic_cast<plat::Dialog*>(w);
        if (d && d->isVisible() && d->windowTitle() == title && (needs == 0 || d->Control(needs)))
            found = d;
    }
    return found;
}

void Click(plat::Dialog* d, unsigned id)
{
    ASSERT_NE(d->Control(id), nullptr);
    qobject_cast<QAbstractButton*>(d->Control(id))->click();
}

class TIFFImportDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetResultOpener(RecordOpen);
        std::lock_guard<std::mutex> lock(g_openedMutex);
        g_opened.clear();
    }
    void TearDown() override
    {
        // Close whatever is still open: dialogs through Close, finished meters through OK.
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = dynamic_cast<plat::Dialog*>(w);
            if (d && d->isVisible() && d->windowTitle() == "Import TIFF")
                Click(d, CTIFFImportDlg::IDC_CLOSE);
        }
        testsupport::PumpUntil([] { return false; }, 50ms);
        SetResultOpener(nullptr);
    }

    std::string Write(const std::string& name, Bytes bytes)
    {
        const std::string path = m_dir.File(name);
        tifftest::WriteFile(path, bytes);
        return path;
    }
    std::string Grey16(const std::string& name, std::uint32_t compression = 1)
    {
        TiffBuilder b(true);
        Bytes pixels(40 * 30 * 2);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<unsigned char>(i);
        b.Image(40, 30, {16}, compression, 1, 30, {compression == 5 ? tifftest::LzwEncode(pixels) : pixels});
        return Write(name, b.Build());
    }
    std::string Rgb(const std::string& name)
    {
        TiffBuilder b;
        b.Image(20, 10, {8, 8, 8}, 1, 2, 10, {tifftest::Noise(600, 2)});
        return Write(name, b.Build());
    }
    plat::Dialog* Launch(const std::string& in, const std::string& out)
    {
        EXPECT_EQ(LaunchTiffImport(in.c_str(), out.c_str()), 1);
        return FindWindow("Import TIFF");
    }
    // Waits for the job's progress window to finish, then presses View or OK.
    bool FinishJob(unsigned button)
    {
        plat::Dialog* meter = nullptr;
        const bool done = testsupport::PumpUntil(
            [&] {
                meter = FindWindow("Import from TIFF", CMeterDialog::IDC_VIEW);
                return meter && meter->Control(CMeterDialog::IDC_VIEW)->isVisible();
            },
            20s);
        if (!done)
            return false;
        Click(meter, button);
        return true;
    }

    testsupport::TempDir m_dir;
};

}  // namespace

TEST_F(TIFFImportDlgTest, ShowsTheImageAndItsWindow)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::Dialog* d = Launch(Grey16("g16.tif"), m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_IMAGE_WIDTH), "40");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_IMAGE_HEIGHT), "30");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_DATA_TYPE), "Depth: 16 bit, Samples: 1");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_DELTA_X), "0");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_DELTA_Y), "0");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_WIN_WIDTH), "40");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_WIN_HEIGHT), "30");
    auto* separate = d->ControlAs<QCheckBox>(CTIFFImportDlg::IDC_SEPARATE);
    EXPECT_FALSE(separate->isChecked());
    EXPECT_FALSE(separate->isEnabled());
    EXPECT_EQ(separate->text().toStdString(), "Write R,G,B Separate");
    EXPECT_TRUE(d->Control(CTIFFImportDlg::IDC_EXECUTE)->isEnabled());
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_EXECUTE), "Execute");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_CLOSE), "Close");
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_HELP), "Help");
    EXPECT_TRUE(boxes.Calls().empty());
    if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
        d->grab().save(QString::fromStdString(std::string(shots) + "/tiff_import_dialog.png"));

    // Execute with the whole image; the job writes the layer and View opens it.
    Click(d, CTIFFImportDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob(CMeterDialog::IDC_VIEW));
    EXPECT_TRUE(Exists(m_dir.File("out.rdp")));
    std::lock_guard<std::mutex> lock(g_openedMutex);
    EXPECT_EQ(g_opened, (std::vector<std::pair<std::string, int>>{{m_dir.File("out.rdp"), 0}}));
}

TEST_F(TIFFImportDlgTest, RefusedInputDisablesExecute)
{
    struct Case {
        const char* name;
        std::string file;
        const char* text;
        bool sized;
    };
    TiffBuilder packed;
    packed.Image(8, 4, {8}, 32773, 1, 4, {Bytes(32)});
    const std::vector<Case> cases = {
        {"not a TIFF", Write("text.tif", Bytes(64, 'x')), "Invalid format of the input file", false},
        {"PackBits", Write("packed.tif", packed.Build()), "Unsupported data type", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        plat::Dialog* d = Launch(c.file, m_dir.File("out.rdp"));
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text.rfind(c.text, 0), 0u) << boxes.Calls()[0].text;
        EXPECT_EQ(boxes.Calls()[0].caption, "Import from TIFF");
        EXPECT_EQ(boxes.Calls()[0].type, plat::MB_OK | plat::MB_ICONWARNING);
        EXPECT_FALSE(d->Control(CTIFFImportDlg::IDC_EXECUTE)->isEnabled());
        EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_IMAGE_WIDTH), c.sized ? "8" : "Undefined");
        Click(d, CTIFFImportDlg::IDC_CLOSE);
        EXPECT_EQ(FindWindow("Import TIFF"), nullptr);
    }
}

TEST_F(TIFFImportDlgTest, WindowOutsideTheImageIsRefused)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::Dialog* d = Launch(Grey16("g16.tif"), m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    struct Case {
        const char *x, *y, *w, *h;
    };
    const std::vector<Case> cases = {
        {"-1", "0", "10", "10"}, {"0", "-5", "10", "10"}, {"0", "0", "-10", "10"}, {"0", "0", "10", "-1"},
        {"0", "0", "0", "10"},   {"0", "0", "10", "0"},   {"31", "0", "10", "10"}, {"0", "21", "10", "10"},
        {"0", "0", "41", "30"},  {"x", "0", "10", "10"},  {"0", "0", "", "10"},    {"0", "0", "99999999999", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.x) + "," + c.y + "," + c.w + "," + c.h);
        d->SetControlText(CTIFFImportDlg::IDC_DELTA_X, c.x);
        d->SetControlText(CTIFFImportDlg::IDC_DELTA_Y, c.y);
        d->SetControlText(CTIFFImportDlg::IDC_WIN_WIDTH, c.w);
        d->SetControlText(CTIFFImportDlg::IDC_WIN_HEIGHT, c.h);
        const std::size_t before = boxes.Calls().size();
        Click(d, CTIFFImportDlg::IDC_EXECUTE);
        ASSERT_EQ(boxes.Calls().size(), before + 1);
        EXPECT_EQ(boxes.Calls().back().text, "Window parameters \ndo not correspond to image parameters ");
        EXPECT_EQ(boxes.Calls().back().type, plat::MB_OK | plat::MB_ICONERROR);
    }
    testsupport::PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(FindWindow("Import from TIFF"), nullptr);  // no job started
    EXPECT_FALSE(Exists(m_dir.File("out.rdp")));

    // A window inside the image, its edge on the image's edge, is imported.
    d->SetControlText(CTIFFImportDlg::IDC_DELTA_X, "30");
    d->SetControlText(CTIFFImportDlg::IDC_DELTA_Y, "20");
    d->SetControlText(CTIFFImportDlg::IDC_WIN_WIDTH, "10");
    d->SetControlText(CTIFFImportDlg::IDC_WIN_HEIGHT, "10");
    Click(d, CTIFFImportDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob(CMeterDialog::IDC_RES_OK));
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(m_dir.File("out.rdp").c_str(), 0), nullptr);
    EXPECT_EQ(layer.Width(), 10);
    EXPECT_EQ(layer.Height(), 10);
}

TEST_F(TIFFImportDlgTest, LzwFilesAskFirst)
{
    const std::string in = Grey16("lzw.tif", 5);
    for (int answer : {plat::IDNO, plat::IDYES}) {
        SCOPED_TRACE(answer);
        plat::ScopedMessageBoxAnswerer boxes(answer);
        plat::Dialog* d = Launch(in, m_dir.File("lzw.rdp"));
        ASSERT_NE(d, nullptr);
        Click(d, CTIFFImportDlg::IDC_EXECUTE);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text,
                  "The file is LZW-compressed.\nThe import of such format is not fully supported. \nContinue?");
        EXPECT_EQ(boxes.Calls()[0].type, plat::MB_YESNO | plat::MB_ICONQUESTION);
        if (answer == plat::IDYES) {
            ASSERT_TRUE(FinishJob(CMeterDialog::IDC_RES_OK));
            EXPECT_TRUE(Exists(m_dir.File("lzw.rdp")));
        } else {
            testsupport::PumpUntil([] { return false; }, 100ms);
            EXPECT_FALSE(Exists(m_dir.File("lzw.rdp")));
        }
        Click(d, CTIFFImportDlg::IDC_CLOSE);
    }
}

TEST_F(TIFFImportDlgTest, RgbAsSeparatePlanesOpensThreeViewers)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string out = m_dir.File("scene.rdp");
    plat::Dialog* d = Launch(Rgb("rgb.tif"), out);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ControlText(CTIFFImportDlg::IDC_DATA_TYPE), "Depth: 24 bit, Samples: 3");
    auto* separate = d->ControlAs<QCheckBox>(CTIFFImportDlg::IDC_SEPARATE);
    EXPECT_TRUE(separate->isChecked());
    EXPECT_TRUE(separate->isEnabled());
    if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
        d->grab().save(QString::fromStdString(std::string(shots) + "/tiff_import_rgb.png"));

    Click(d, CTIFFImportDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob(CMeterDialog::IDC_VIEW));
    const std::vector<std::string> planes = SeparatePlaneNames(out);
    {
        std::lock_guard<std::mutex> lock(g_openedMutex);
        ASSERT_EQ(g_opened.size(), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(g_opened[std::size_t(i)], (std::pair<std::string, int>{planes[std::size_t(i)], 0}));
        g_opened.clear();
    }
    for (const std::string& plane : planes)
        EXPECT_TRUE(Exists(plane)) << plane;
    EXPECT_FALSE(Exists(out));

    // Unchecked: one layer of 32-bit pixels; the dialog stayed open for it.
    Click(d, CTIFFImportDlg::IDC_SEPARATE);
    EXPECT_FALSE(separate->isChecked());
    Click(d, CTIFFImportDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob(CMeterDialog::IDC_VIEW));
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(out.c_str(), 0), nullptr);
    EXPECT_EQ(layer.Type(), 5);
    std::lock_guard<std::mutex> lock(g_openedMutex);
    EXPECT_EQ(g_opened, (std::vector<std::pair<std::string, int>>{{out, 0}}));
}

// The planes "_R", "_G", "_B" that exist are each asked about before the import
// starts; No to one starts nothing and keeps every file. The output's own name
// was asked about by the import/export dialog, and an output that is the input
// is refused.
TEST_F(TIFFImportDlgTest, EveryExistingPlaneIsAskedAbout)
{
    const std::string out = m_dir.File("scene.rdp");
    const std::vector<std::string> planes = SeparatePlaneNames(out);
    std::ofstream(planes[0]) << "old red";
    std::ofstream(planes[2]) << "old blue";
    std::ofstream(out) << "old layer";
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string in = Rgb("rgb.tif");
    plat::Dialog* d = Launch(in, out);
    ASSERT_NE(d, nullptr);
    auto asked = [&](const std::string& name) { return "File with name " + name + " already exists.\nReplace it?"; };
    {
        // Yes to red, No to blue: nothing starts.
        std::vector<int> answers = {plat::IDYES, plat::IDNO};
        plat::ScopedMessageBoxAnswerer boxes(plat::IDNO, [&](const plat::MessageBoxCall&) {
            const int a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
        Click(d, CTIFFImportDlg::IDC_EXECUTE);
        ASSERT_EQ(boxes.Calls().size(), 2u);
        EXPECT_EQ(boxes.Calls()[0].text, asked(planes[0]));
        EXPECT_EQ(boxes.Calls()[1].text, asked(planes[2]));
        EXPECT_EQ(boxes.Calls()[0].caption, "Import from TIFF");
        EXPECT_EQ(boxes.Calls()[0].type, unsigned(plat::MB_YESNO | plat::MB_ICONQUESTION));
    }
    EXPECT_EQ(FindWindow("Import from TIFF"), nullptr);
    EXPECT_EQ(bytes(planes[0]), "old red");
    EXPECT_EQ(bytes(planes[2]), "old blue");
    EXPECT_FALSE(Exists(planes[1]));
    {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDYES);
        Click(d, CTIFFImportDlg::IDC_EXECUTE);
        EXPECT_EQ(boxes.Calls().size(), 2u);
        ASSERT_TRUE(FinishJob(CMeterDialog::IDC_OK));
    }
    for (const std::string& plane : planes) {
        CRDPLayer layer;
        EXPECT_NE(layer.OpenLayer(plane.c_str(), 0), nullptr) << plane;
    }
    // One layer: its name was asked about before this dialog opened.
    Click(d, CTIFFImportDlg::IDC_SEPARATE);
    {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDNO);
        Click(d, CTIFFImportDlg::IDC_EXECUTE);
        EXPECT_TRUE(boxes.Calls().empty());
        ASSERT_TRUE(FinishJob(CMeterDialog::IDC_OK));
    }
    CRDPLayer layer;
    EXPECT_NE(layer.OpenLayer(out.c_str(), 0), nullptr);
    Click(d, CTIFFImportDlg::IDC_CLOSE);

    // The input as output, by another name.
    const std::string link = m_dir.File("link.tif");
    ASSERT_EQ(::symlink(in.c_str(), link.c_str()), 0);
    const std::string before = bytes(in);
    plat::ScopedMessageBoxAnswerer boxes(plat::IDYES);
    d = Launch(in, link);
    ASSERT_NE(d, nullptr);
    Click(d, CTIFFImportDlg::IDC_SEPARATE);
    Click(d, CTIFFImportDlg::IDC_EXECUTE);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text,
              "The output file is an input of this conversion:\n" + link + "\n" + in);
    EXPECT_EQ(FindWindow("Import from TIFF"), nullptr);
    EXPECT_EQ(bytes(in), before);
}

// A strip found damaged while the job runs: the box says why, nothing is left.
TEST_F(TIFFImportDlgTest, DamagedStripShowsWhyAndLeavesNothing)
{
    tifftest::BitWriter bad;
    bad.Put(256, 9);
    bad.Put(65, 9);
    bad.Put(999, 9);
    TiffBuilder b;
    b.Image(8, 4, {8}, 5, 1, 4, {bad.Take()});
    plat::ScopedMessageBoxAnswerer boxes(plat::IDYES);
    plat::Dialog* d = Launch(Write("bad.tif", b.Build()), m_dir.File("bad.rdp"));
    ASSERT_NE(d, nullptr);
    Click(d, CTIFFImportDlg::IDC_EXECUTE);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return boxes.Calls().size() == 2; }, 20s));
    EXPECT_EQ(boxes.Calls()[1].text.rfind("Invalid format of the input file\nstrip 0", 0), 0u) << boxes.Calls()[1].text;
    // The progress window goes by itself.
    EXPECT_TRUE(testsupport::PumpUntil([] { return FindWindow("Import from TIFF") == nullptr; }, 20s));
    EXPECT_FALSE(Exists(m_dir.File("bad.rdp")));
}
