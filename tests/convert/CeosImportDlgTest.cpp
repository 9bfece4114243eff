// The CEOS import dialog and its leader information dialog, offscreen: the
// launchers' refusals, the fields, Execute's window check and the imports with
// their job titles, the preview and its frame, the leader's "...", Information.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "ImportExportDlg.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "ResultViewers.h"
#include "ScopedEnvFolder.h"
#include "TempDir.h"
#include "ceos/CeosImportDlg.h"
#include "ceos/CeosInfoDlg.h"
#include "jobs/MeterDialog.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/SpinButton.h"
#include "raw/PreviewParamDlg.h"
#include "raw/PreviewViewer.h"

using namespace std::chrono_literals;
using D = CCeosImportDlg;

namespace {

class FakeViewer final : public PreviewViewer {
public:
    explicit FakeViewer(PreviewViewerRequest r) : request(std::move(r))
    {
        live.push_back(this);
        opened.push_back(request);
        request.host.PostMessage(WM_VIEWER_NOTIFY, 0, VIEWER_READY);
    }
    ~FakeViewer() { live.erase(std::find(live.begin(), live.end(), this)); }
    plat::WParam ClosedKey() const override { return m_key; }
    void Activate() override {}
    void DestroyWindow() override
    {
        request.host.PostMessage(WM_VIEWER_NOTIFY, ClosedKey(), VIEWER_CLOSED);
        delete this;
    }
    void EnableMenuItems(int, int) override {}
    void ShowDefaultFrame(const plat::WindowHandle& window) override { frameNotices = window; }
    PreviewFrame Frame() const override { return frame; }
    void MoveFrame(PreviewFrame f)
    {
        frame = f;
        frameNotices.PostMessage(WM_VIEWER_NOTIFY, plat::WParam(-1), VIEWER_FRAME_MOVED);
    }

    PreviewViewerRequest request;
    PreviewFrame frame;
    plat::WindowHandle frameNotices;
    static inline std::vector<FakeViewer*> live;
    static inline plat::WParam keys = 0;
    const plat::WParam m_key = ++keys;
    static inline std::vector<PreviewViewerRequest> opened;
};

PreviewViewer* OpenFake(const PreviewViewerRequest& request)
{
    return new FakeViewer(request);
}

void IgnoreResult(const std::string&, int) {}

std::vector<plat::Dialog*> FindWindows(const std::string& title)
{
    std::vector<plat::Dialog*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = dynamic_cast<plat::Dialog*>(w);
        if (d && d->isVisible() && d->windowTitle() == QString::fromStdString(title))
            found.push_back(d);
    }
    return found;
}

plat::Dialog* FindWindow(const std::string& title, unsigned needs = 0)
{
    for (plat::Dialog* d : FindWindows(title))
        if (needs == 0 || d->Control(needs))
            return d;
    return nullptr;
}

void Click(plat::Dialog* d, unsigned id)
{
    ASSERT_NE(d->Control(id), nullptr);
    qobject_cast<QAbstractButton*>(d->Control(id))->click();
}

// The progress window of a job once it offers View; null when none does in time.
plat::Dialog* FinishedJob(const std::string& title)
{
    plat::Dialog* meter = nullptr;
    const bool ended = testsupport::PumpUntil(
        [&] {
            meter = FindWindow(title, CMeterDialog::IDC_VIEW);
            return meter && meter->Control(CMeterDialog::IDC_VIEW)->isVisible();
        },
        30s);
    return ended ? meter : nullptr;
}

struct Product {
    std::string data, leader;
};

class CeosImportDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPreviewViewerOpener(OpenFake);
        SetResultOpener(IgnoreResult);
        FakeViewer::opened.clear();
        std::istringstream lines(testsupport::CommandOutput("/usr/bin/python3 " + std::string(SUITE_SOURCE_DIR) +
                                                            "/tests/convert/ceos_world.py make " + m_dir.Path()));
        std::string mission, data, leader;
        int records = 0, pixels = 0;
        while (lines >> mission >> data >> leader >> records >> pixels)
            m_products[mission] = {data, leader};
        ASSERT_EQ(m_products.size(), 4u);
    }
    void TearDown() override
    {
        for (plat::Dialog* d : FindWindows("Import CEOS"))
            Click(d, D::IDC_CLOSE);
        testsupport::PumpUntil([] { return false; }, 50ms);
        EXPECT_TRUE(FakeViewer::live.empty());
        SetPreviewViewerOpener(nullptr);
        SetResultOpener(nullptr);
    }
    plat::Dialog* Launch(int (*launcher)(const char*, const char*), const std::string& in, const std::string& out)
    {
        const std::vector<plat::Dialog*> before = FindWindows("Import CEOS");
        EXPECT_EQ(launcher(in.c_str(), out.c_str()), 1);
        for (plat::Dialog* d : FindWindows("Import CEOS"))
            if (std::find(before.begin(), before.end(), d) == before.end())
                return d;
        return nullptr;
    }
    static void SetWindow(plat::Dialog* d, int x, int y, int w, int h)
    {
        d->SetControlText(D::IDC_DELTA_X, std::to_string(x));
        d->SetControlText(D::IDC_DELTA_Y, std::to_string(y));
        d->SetControlText(D::IDC_WIN_WIDTH, std::to_string(w));
        d->SetControlText(D::IDC_WIN_HEIGHT, std::to_string(h));
    }

    ScopedEnvFolder m_tmp{"TMPDIR"};
    testsupport::TempDir m_dir;
    std::map<std::string, Product> m_products;
};

}  // namespace

TEST_F(CeosImportDlgTest, LaunchersRefuseFilesTheyCannotRead)
{
    auto write = [&](const std::string& name, const std::string& maxValue, const std::string& group) {
        std::string bytes(720, ' ');
        bytes[8] = 0, bytes[9] = 0, bytes[10] = 2, bytes[11] = char(0xd0);
        bytes.replace(180, 6, "    10");
        bytes.replace(186, 6, "   100");
        bytes.replace(224, 8, group);
        bytes.replace(248, 8, "       8");
        bytes.replace(440, 8, maxValue);
        std::ofstream(m_dir.File(name), std::ios::binary) << bytes;
        return m_dir.File(name);
    };
    struct Case {
        const char* name;
        int (*launcher)(const char*, const char*);
        std::string file;
        std::string text;
    } cases[] = {
        {"no file", LaunchCeosErsImport, m_dir.File("none.dat"), "Unable to open file " + m_dir.File("none.dat")},
        {"maximum 1023", LaunchCeosErsImport, write("a.dat", "    1023", "       2"), "Unsupported data type"},
        {"compressed groups of 8", LaunchCeosSirCImport, write("b.dat", "       0", "       8"),
         "Unsupported data type"},
        {"descriptor cut short", LaunchCeosRadarsatImport, [&] {
             std::ofstream(m_dir.File("c.dat")) << std::string(300, ' ');
             return m_dir.File("c.dat");
         }(),
         "Invalid format of the input file"},
    };
    for (const Case& c : cases) {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        EXPECT_EQ(c.launcher(c.file.c_str(), m_dir.File("out.rdp").c_str()), 0) << c.name;
        const auto calls = boxes.Calls();
        ASSERT_EQ(calls.size(), 1u) << c.name;
        EXPECT_EQ(calls[0].text.substr(0, c.text.size()), c.text) << c.name;
        EXPECT_TRUE(FindWindows("Import CEOS").empty()) << c.name;
    }
}

TEST_F(CeosImportDlgTest, FieldsShowTheFileAndTheWindow)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const Product& ers = m_products["ers"];
    plat::Dialog* d = Launch(LaunchCeosErsImport, ers.data, m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ControlText(D::IDC_IMAGE_WIDTH), "29");
    EXPECT_EQ(d->ControlText(D::IDC_IMAGE_HEIGHT), "37");
    EXPECT_EQ(d->ControlText(D::IDC_DATA_TYPE), "complex SINT16 ");
    EXPECT_EQ(d->ControlText(D::IDC_DELTA_X), "0");
    EXPECT_EQ(d->ControlText(D::IDC_DELTA_Y), "0");
    EXPECT_EQ(d->ControlText(D::IDC_WIN_WIDTH), "200");
    EXPECT_EQ(d->ControlText(D::IDC_WIN_HEIGHT), "200");
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "156.2 Kb");
    EXPECT_EQ(d->ControlText(D::IDC_DAT_FILE), ers.data);
    EXPECT_EQ(d->ControlText(D::IDC_LEADER_FILE), ers.leader);  // found without regard to case
    EXPECT_FALSE(d->Control(D::IDC_DAT_BROWSE)->isEnabled());
    EXPECT_TRUE(d->ControlAs<QLineEdit>(D::IDC_DAT_FILE)->isReadOnly());
    for (unsigned id : {D::IDC_INFORMATION, D::IDC_PREVIEW, D::IDC_EXECUTE, D::IDC_CLOSE, D::IDC_HELP})
        EXPECT_TRUE(d->Control(id)->isEnabled()) << id;
    EXPECT_EQ(d->ControlText(D::IDC_INFORMATION), "Information");
    // The spins step the window's edits within 0 to 30000.
    d->SetControlText(D::IDC_WIN_WIDTH, "10");
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "7.8 Kb");
    std::vector<plat::SpinButton*> spins;
    for (QWidget* w : d->findChildren<QWidget*>())
        if (auto* s = dynamic_cast<plat::SpinButton*>(w))
            spins.push_back(s);
    ASSERT_EQ(spins.size(), 4u);
    plat::SpinButton* spin = spins[3];  // the height's
    EXPECT_EQ(spin->Lower(), 0);
    EXPECT_EQ(spin->Upper(), 30000);
    spin->Step(1);
    EXPECT_EQ(d->ControlText(D::IDC_WIN_HEIGHT), "201");
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "7.9 Kb");
    // Compressed SIR-C shows its decoded type.
    plat::Dialog* sirc = Launch(LaunchCeosSirCImport, m_products["sirc_compressed"].data, m_dir.File("c.rdp"));
    ASSERT_NE(sirc, nullptr);
    EXPECT_EQ(sirc->ControlText(D::IDC_DATA_TYPE), "complex FLOAT64 ");
    EXPECT_EQ(sirc->ControlText(D::IDC_NEW_SIZE), "625.0 Kb");
    EXPECT_TRUE(boxes.Calls().empty());
    if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
        d->grab().save(QString::fromStdString(std::string(shots) + "/ceos_import_dialog.png"));
}

TEST_F(CeosImportDlgTest, ExecuteChecksTheWindowThenImportsUnderTheMissionsTitle)
{
    struct Case {
        const char* mission;
        int (*launcher)(const char*, const char*);
        const char* title;
        int type;
        int tags;
    } cases[] = {
        {"radarsat", LaunchCeosRadarsatImport, "CEOS to RDP", 3, 8},
        {"ers", LaunchCeosErsImport, "CEOS to RDP", 14, 8},
        {"sirc", LaunchCeosSirCImport, "CEOS to RDP", 11, 4},
        {"sirc_compressed", LaunchCeosSirCImport, "SIR-C to RDP", 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mission);
        const std::string out = m_dir.File(std::string(c.mission) + ".rdp");
        plat::Dialog* d = Launch(c.launcher, m_products[c.mission].data, out);
        ASSERT_NE(d, nullptr);
        struct Refusal {
            int x, y, w, h;
        };
        for (const Refusal& r : {Refusal{0, 0, 200, 200}, Refusal{1, 0, 29, 37}, Refusal{0, 1, 29, 37},
                                 Refusal{0, 0, 0, 5}, Refusal{28, 0, 2, 1}}) {
            plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
            SetWindow(d, r.x, r.y, r.w, r.h);
            Click(d, D::IDC_EXECUTE);
            const auto calls = boxes.Calls();
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].text, "Window parameters \ndo not correspond to image parameters ");
        }
        EXPECT_FALSE(std::ifstream(out).good());
        SetWindow(d, 2, 3, 27, 34);
        {
            plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
            Click(d, D::IDC_EXECUTE);
            plat::Dialog* meter = FinishedJob(c.title);
            ASSERT_NE(meter, nullptr);
            Click(meter, CMeterDialog::IDC_VIEW);
            EXPECT_TRUE(boxes.Calls().empty());
        }
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(out.c_str(), 0), nullptr);
        EXPECT_EQ(layer.Width(), 27);
        EXPECT_EQ(layer.Height(), 34);
        EXPECT_EQ(layer.Type(), c.type);
        layer.CloseLayer();
        EXPECT_EQ(GetNumTag(out.c_str()) >= c.tags, true);
        EXPECT_EQ(GetSizeTag(out.c_str(), 303) > 0, c.tags > 0);
        EXPECT_TRUE(d->isVisible());  // the dialog stays open
    }
}

TEST_F(CeosImportDlgTest, PreviewAtTheDialogsStepSetsTheWindowFromTheFrame)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    for (const char* mission : {"ers", "sirc_compressed"}) {
        SCOPED_TRACE(mission);
        plat::Dialog* d = Launch(mission[0] == 'e' ? LaunchCeosErsImport : LaunchCeosSirCImport,
                                 m_products[mission].data, m_dir.File("p.rdp"));
        ASSERT_NE(d, nullptr);
        const std::size_t before = FakeViewer::opened.size();
        int offered = 0;
        const auto rateDialog = [] { return FindWindow("Parameters of Preview"); };
        testsupport::RunModal([&] { return testsupport::IsActiveModal(rateDialog()); },
                              {testsupport::Once([&] {
                                  plat::Dialog* r = rateDialog();
                                  offered = std::atoi(r->ControlText(CPreviewParamDlg::IDC_RATE).c_str());
                                  r->SetControlText(CPreviewParamDlg::IDC_RATE, "2");
                                  Click(r, plat::IDOK);
                              })},
                              [&] {
                                  Click(d, D::IDC_PREVIEW);
                                  return 0;
                              });
        EXPECT_EQ(offered, 10);
        ASSERT_TRUE(testsupport::PumpUntil(
            [&] {
                return FakeViewer::opened.size() > before && !FakeViewer::live.empty() &&
                       FakeViewer::live.back()->frameNotices;
            },
            30s));
        const std::string preview = FakeViewer::opened.back().file;
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(preview.c_str(), 0), nullptr);
        EXPECT_EQ(layer.Width(), 14);
        EXPECT_EQ(layer.Height(), 18);
        layer.CloseLayer();
        // The frame's edges are inclusive: columns 1 to 5 are five columns.
        FakeViewer::live.back()->MoveFrame(PreviewFrame{1, 2, 5, 8});
        ASSERT_TRUE(testsupport::PumpUntil([&] { return d->ControlText(D::IDC_WIN_WIDTH) == "10"; }, 10s));
        EXPECT_EQ(d->ControlText(D::IDC_DELTA_X), "2");
        EXPECT_EQ(d->ControlText(D::IDC_DELTA_Y), "4");
        EXPECT_EQ(d->ControlText(D::IDC_WIN_HEIGHT), "14");
        Click(d, D::IDC_CLOSE);
        ASSERT_TRUE(testsupport::PumpUntil([&] { return !std::ifstream(preview).good(); }, 10s));
    }
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(CeosImportDlgTest, LeaderBrowseAndInformation)
{
    const Product& radarsat = m_products["radarsat"];
    plat::Dialog* d = Launch(LaunchCeosRadarsatImport, radarsat.data, m_dir.File("i.rdp"));
    ASSERT_NE(d, nullptr);
    auto info = [] { return FindWindows("").empty() ? nullptr : FindWindow("", CCeosInfoDlg::IDC_TEXT); };
    auto text = [&] { return info()->ControlAs<QPlainTextEdit>(CCeosInfoDlg::IDC_TEXT)->toPlainText().toStdString(); };
    Click(d, D::IDC_INFORMATION);
    ASSERT_NE(info(), nullptr);
    const std::string shown = text();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 88);
    EXPECT_EQ(shown.substr(0, shown.find('\n')), "Scene identifier : SCENE-radarsat    ");
    EXPECT_NE(shown.find("Ellipsoid parameters :    1.5000000E-03    -2.2500000E-06     7.0000000E+00  \n"),
              std::string::npos);
    auto* edit = info()->ControlAs<QPlainTextEdit>(CCeosInfoDlg::IDC_TEXT);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(edit->lineWrapMode(), QPlainTextEdit::NoWrap);
    if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
        info()->grab().save(QString::fromStdString(std::string(shots) + "/ceos_info_dialog.png"));

    // "..." takes the chosen leader through the platform's dialog.
    const std::string other = m_dir.File("none_such");
    plat::FileDialogResult answer;
    answer.ok = true;
    answer.paths = {other};
    {
        plat::ScopedFileDialogAnswerer answerer(answer);
        Click(d, D::IDC_LEADER_BROWSE);
        const auto calls = answerer.Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].filter, "Все файлы|*.*||");
        EXPECT_FALSE(calls[0].save);
    }
    EXPECT_EQ(d->ControlText(D::IDC_LEADER_FILE), other);
    // Information again while shown: the same text, not read again.
    Click(d, D::IDC_INFORMATION);
    EXPECT_EQ(FindWindows("").size(), 1u);
    EXPECT_EQ(text(), shown);
    // Closed and pressed again: rebuilt from the new path, which names no file.
    Click(info(), CCeosInfoDlg::IDC_OK);
    testsupport::PumpUntil([] { return false; }, 20ms);
    EXPECT_EQ(info(), nullptr);
    Click(d, D::IDC_INFORMATION);
    ASSERT_NE(info(), nullptr);
    EXPECT_EQ(text(), "Невозможно прочитать данные...\nПроверьте правильность имени Leader-файла");
    // The import dialog's close takes its information dialog along.
    Click(d, D::IDC_CLOSE);
    testsupport::PumpUntil([] { return false; }, 20ms);
    EXPECT_EQ(info(), nullptr);
}

TEST_F(CeosImportDlgTest, TheFullListOfTheImportDialogStartsEachMissionsDialog)
{
    for (int code : {2, 3, 4}) {
        SCOPED_TRACE(code);
        plat::ScopedMessageBoxAnswerer boxes(plat::IDYES);
        const std::string data = m_products[code == 2 ? "radarsat" : code == 3 ? "ers" : "sirc"].data;
        auto* host = new CImportExportDlg;
        host->SetFullList(1);
        ASSERT_TRUE(host->Create(nullptr));
        auto* inputs = host->Window()->ControlAs<QComboBox>(CImportExportDlg::IDC_INPUT_FORMAT);
        const int position = inputs->findData(code);
        ASSERT_GE(position, 0);
        inputs->setCurrentIndex(position);
        emit inputs->activated(position);
        plat::FileDialogResult answer;
        answer.ok = true;
        answer.paths = {data};
        answer.filterIndex = position + 1;
        {
            plat::ScopedFileDialogAnswerer answerer(answer);
            host->InputFile().OnBrowse();
            testsupport::PumpUntil([] { return false; }, 20ms);
        }
        host->OutputFile().SetOnlyPath((m_dir.Path() + "/").c_str());
        host->OutputFile().SetFileName(("full" + std::to_string(code) + ".rdp").c_str());
        const std::vector<plat::Dialog*> before = FindWindows("Import CEOS");
        host->OnExecute();
        std::vector<plat::Dialog*> added;
        for (plat::Dialog* d : FindWindows("Import CEOS"))
            if (std::find(before.begin(), before.end(), d) == before.end())
                added.push_back(d);
        ASSERT_EQ(added.size(), 1u);
        EXPECT_EQ(added[0]->ControlText(D::IDC_DAT_FILE), data);
        host->OnClose();
    }
}
