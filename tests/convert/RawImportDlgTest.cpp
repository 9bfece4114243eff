// The raw import dialog and its preview-rate dialog, offscreen: fields and their
// derived values, Execute's checks and import, and the preview flow, both with a
// stand-in viewer that behaves as the image viewer does towards its host and with the
// image viewer itself.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/windows/CommandBars.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "ResultViewers.h"
#include "ScopedEnvFolder.h"
#include "platform/dialogs/SpinButton.h"
#include "TempDir.h"
#include "frame/CommandStates.h"
#include "frame/FrameViewer.h"
#include "jobs/MeterDialog.h"
#include "jobs/MeterInfo.h"
#include "layer/RDPLayer.h"
#include "raw/PreviewParamDlg.h"
#include "raw/PreviewViewer.h"
#include "raw/RawImportDlg.h"
#include "raw/RawImportJobs.h"
#include "window/Frame.h"
#include "window/ViewRect.h"

using namespace std::chrono_literals;
using D = CRawImportDlg;

namespace {

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// A viewer as the image viewer behaves towards its host: it reports that it is shown
// (or failed) by a posted notice, and its going with a key of its own. The key is a
// serial number: this viewer is freed at once, and a new one may take its address
// before the old one's closed notice arrives.
class FakeViewer final : public PreviewViewer {
public:
    explicit FakeViewer(PreviewViewerRequest r) : request(std::move(r))
    {
        live.push_back(this);
        opened.push_back(request);
        request.host.PostMessage(WM_VIEWER_NOTIFY, 0, failNext ? VIEWER_FAILED : VIEWER_READY);
        failNext = false;
    }
    ~FakeViewer() { live.erase(std::find(live.begin(), live.end(), this)); }
    plat::WParam ClosedKey() const override { return m_key; }
    void Activate() override { ++activated; }
    void DestroyWindow() override
    {
        request.host.PostMessage(WM_VIEWER_NOTIFY, ClosedKey(), VIEWER_CLOSED);
        delete this;
    }
    void EnableMenuItems(int enable, int mask) override { menus.push_back({enable, mask}); }
    void ShowDefaultFrame(const plat::WindowHandle& window) override { frameNotices = window; }
    PreviewFrame Frame() const override { return frame; }
    // The user moved the frame.
    void MoveFrame(PreviewFrame f)
    {
        frame = f;
        frameNotices.PostMessage(WM_VIEWER_NOTIFY, plat::WParam(-1), VIEWER_FRAME_MOVED);
    }

    PreviewViewerRequest request;
    PreviewFrame frame;
    plat::WindowHandle frameNotices;
    std::vector<std::pair<int, int>> menus;
    int activated = 0;

    static inline std::vector<FakeViewer*> live;
    static inline plat::WParam keys = 0;
    const plat::WParam m_key = ++keys;
    static inline std::vector<PreviewViewerRequest> opened;
    static inline bool failNext = false;
};

PreviewViewer* OpenFake(const PreviewViewerRequest& request)
{
    return new FakeViewer(request);
}

std::mutex g_resultsMutex;
std::vector<std::pair<std::string, int>> g_results;

void RecordResult(const std::string& file, int stretch)
{
    std::lock_guard<std::mutex> lock(g_resultsMutex);
    g_results.push_back({file, stretch});
}

plat::Dialog* FindWindow(const char* title, unsigned needs = 0)
{
    plat::Dialog* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = dynamic_cast<plat::Dialog*>(w);
        if (d && d->isVisible() && d->windowTitle() == QString::fromUtf8(title) && (needs == 0 || d->Control(needs)))
            found = d;
    }
    return found;
}

// The import's progress window once it offers View; null when none does in time.
plat::Dialog* FinishedImport()
{
    plat::Dialog* meter = nullptr;
    const bool ended = testsupport::PumpUntil(
        [&] {
            meter = FindWindow("Импортирование", CMeterDialog::IDC_VIEW);
            return meter && meter->Control(CMeterDialog::IDC_VIEW)->isVisible();
        },
        20s);
    return ended ? meter : nullptr;
}

std::vector<plat::Dialog*> FindWindows(const char* title)
{
    std::vector<plat::Dialog*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = dynamic_cast<plat::Dialog*>(w);
        if (d && d->isVisible() && d->windowTitle() == QString::fromUtf8(title))
            found.push_back(d);
    }
    return found;
}

void Click(plat::Dialog* d, unsigned id)
{
    ASSERT_NE(d->Control(id), nullptr);
    qobject_cast<QAbstractButton*>(d->Control(id))->click();
}

void Choose(plat::Dialog* d, unsigned id, int index)
{
    auto* box = d->ControlAs<QComboBox>(id);
    box->setCurrentIndex(index);
    emit box->activated(index);
}

class RawImportDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPreviewViewerOpener(OpenFake);
        SetResultOpener(RecordResult);
        FakeViewer::opened.clear();
        FakeViewer::failNext = false;
        std::lock_guard<std::mutex> lock(g_resultsMutex);
        g_results.clear();
    }
    void TearDown() override
    {
        for (plat::Dialog* d : FindWindows("Binary File Information"))
            Click(d, D::IDC_CLOSE);
        testsupport::PumpUntil([] { return false; }, 50ms);
        EXPECT_TRUE(FakeViewer::live.empty());
        SetPreviewViewerOpener(nullptr);
        SetResultOpener(nullptr);
    }

    // A 1000 x 600 UINT8 image whose pixel (x, y) is (x + 3 y) mod 256, with a
    // 100-byte header and records of 1010 bytes (prefix 4, padding 6).
    std::string Image()
    {
        const std::string path = m_dir.File("in.raw");
        std::ofstream out(path, std::ios::binary);
        out << std::string(100, 'h');
        for (int y = 0; y < 600; ++y) {
            out << "pref";
            for (int x = 0; x < 1000; ++x)
                out.put(char((x + 3 * y) & 0xFF));
            out << "paddin";
        }
        return path;
    }
    plat::Dialog* Launch(const std::string& in, const std::string& out)
    {
        const std::vector<plat::Dialog*> before = FindWindows("Binary File Information");
        EXPECT_EQ(LaunchRawImport(in.c_str(), out.c_str()), 1);
        for (plat::Dialog* d : FindWindows("Binary File Information"))
            if (std::find(before.begin(), before.end(), d) == before.end())
                return d;
        return nullptr;
    }
    // Describes Image() in the dialog's fields.
    static void Describe(plat::Dialog* d)
    {
        d->SetControlText(D::IDC_PPR, "1000");
        d->SetControlText(D::IDC_RECORDS, "600");
        d->SetControlText(D::IDC_HEADER, "100");
        d->SetControlText(D::IDC_PREFIX, "4");
        d->SetControlText(D::IDC_RECORD_LENGTH, "1010");
        d->SetControlText(D::IDC_DELTA_X, "0");
        d->SetControlText(D::IDC_DELTA_Y, "0");
        d->SetControlText(D::IDC_WIN_WIDTH, "1000");
        d->SetControlText(D::IDC_WIN_HEIGHT, "600");
    }
    // Presses Preview and answers the rate dialog with rate (0: Cancel).
    static void Preview(plat::Dialog* d, int rate)
    {
        const auto rateDialog = [] { return FindWindow("Parameters of Preview"); };
        testsupport::RunModal([&] { return testsupport::IsActiveModal(rateDialog()); },
                              {testsupport::Once([&] {
                                  plat::Dialog* r = rateDialog();
                                  if (rate == 0) {
                                      Click(r, plat::IDCANCEL);
                                      return;
                                  }
                                  r->SetControlText(CPreviewParamDlg::IDC_RATE, std::to_string(rate));
                                  Click(r, plat::IDOK);
                              })},
                              [&] {
                                  Click(d, D::IDC_PREVIEW);
                                  return 0;
                              });
    }
    static bool WaitForViewers(std::size_t opened)
    {
        return testsupport::PumpUntil(
            [&] {
                return FakeViewer::opened.size() >= opened && !FakeViewer::live.empty() &&
                       FakeViewer::live.back()->frameNotices;
            },
            20s);
    }

    ScopedEnvFolder m_tmp{"TMPDIR"};
    testsupport::TempDir m_dir;
};

}  // namespace

TEST_F(RawImportDlgTest, FieldsAndTheirDerivedValues)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::Dialog* d = Launch(m_dir.File("in.raw"), m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    for (unsigned id : {D::IDC_PPR, D::IDC_RECORDS, D::IDC_HEADER, D::IDC_PREFIX, D::IDC_RECORD_LENGTH, D::IDC_DELTA_X,
                        D::IDC_DELTA_Y, D::IDC_WIN_WIDTH, D::IDC_WIN_HEIGHT})
        EXPECT_EQ(d->ControlText(id), "0") << id;
    auto* kinds = d->ControlAs<QComboBox>(D::IDC_DATA_KIND);
    auto* components = d->ControlAs<QComboBox>(D::IDC_COMPONENT);
    ASSERT_EQ(kinds->count(), 2);
    EXPECT_EQ(kinds->itemText(0), "Scalar");
    EXPECT_EQ(kinds->itemText(1), "Complex");
    EXPECT_EQ(kinds->currentIndex(), 0);
    ASSERT_EQ(components->count(), 8);
    EXPECT_EQ(components->itemText(0), "Unsigned Integer, 8 bit.");
    EXPECT_EQ(components->itemText(7), "Float 64 bit.");
    EXPECT_EQ(components->currentIndex(), 0);
    EXPECT_TRUE(d->ControlAs<QRadioButton>(D::IDC_INTEL)->isChecked());
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "0 byte");
    EXPECT_EQ(d->ControlText(D::IDC_PREVIEW), "Preview");
    EXPECT_EQ(d->ControlText(D::IDC_EXECUTE), "Execute");
    EXPECT_EQ(d->ControlText(D::IDC_CLOSE), "Close");
    EXPECT_EQ(d->ControlText(D::IDC_HELP), "Help");

    // Pixels per record set the window width and the record length.
    d->SetControlText(D::IDC_PPR, "1000");
    EXPECT_EQ(d->ControlText(D::IDC_WIN_WIDTH), "1000");
    EXPECT_EQ(d->ControlText(D::IDC_RECORD_LENGTH), "1000");
    d->SetControlText(D::IDC_RECORDS, "600");
    EXPECT_EQ(d->ControlText(D::IDC_WIN_HEIGHT), "600");
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "585.9 Kb");
    // Complex SINT16 with a 12-byte prefix: 2 x 1000 x 2 + 12.
    Choose(d, D::IDC_DATA_KIND, 1);
    ASSERT_EQ(components->count(), 5);
    EXPECT_EQ(components->currentIndex(), 0);  // UINT8 goes to SINT8
    Choose(d, D::IDC_COMPONENT, 1);
    d->SetControlText(D::IDC_PREFIX, "12");
    EXPECT_EQ(d->ControlText(D::IDC_RECORD_LENGTH), "4012");
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "2.3 Mb");
    // The user may enlarge it; the window follows its own edits.
    d->SetControlText(D::IDC_RECORD_LENGTH, "5000");
    d->SetControlText(D::IDC_WIN_WIDTH, "10");
    EXPECT_EQ(d->ControlText(D::IDC_RECORD_LENGTH), "5000");
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "23.4 Kb");
    // FLOAT32 stays FLOAT32 through Scalar and back.
    Choose(d, D::IDC_DATA_KIND, 0);
    Choose(d, D::IDC_COMPONENT, 6);
    Choose(d, D::IDC_DATA_KIND, 1);
    EXPECT_EQ(components->currentText(), "Float, 32 bit.");
    Choose(d, D::IDC_DATA_KIND, 0);
    EXPECT_EQ(components->currentText(), "Float, 32 bit.");
    EXPECT_EQ(components->count(), 8);
    EXPECT_TRUE(boxes.Calls().empty());
    if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
        d->grab().save(QString::fromStdString(std::string(shots) + "/raw_import_dialog.png"));
}

TEST_F(RawImportDlgTest, ExecuteRefusesThenImportsAndViews)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string out = m_dir.File("out.rdp");
    plat::Dialog* d = Launch(Image(), out);
    ASSERT_NE(d, nullptr);
    struct Case {
        const char* field;  // nullptr: the description alone
        unsigned id;
        const char* value;
        const char* text;
    };
    const Case cases[] = {
        {"no width", D::IDC_PPR, "0", "It is neccesary to input the image width"},
        {"no window width", D::IDC_WIN_WIDTH, "0", "It is neccesary input width of window being cut"},
        {"no window height", D::IDC_WIN_HEIGHT, "0", "It is neccesary input height of window being cut"},
        {"short record", D::IDC_RECORD_LENGTH, "1003", "Invalid Record Length"},
        {"X at the end", D::IDC_DELTA_X, "1000",
         "Invalid position of window being cut: \nexceeding overall file width"},
        {"X 10, whole width", D::IDC_DELTA_X, "10",
         "Invalid width of window being cut: \nexceeding overall file width"},
        {"Y 1, whole height", D::IDC_DELTA_Y, "1",
         "Invalid height of window being cut: \nexceeding overall file height"},
        {"not a number", D::IDC_HEADER, "x", "Please enter an integer."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        Describe(d);
        d->SetControlText(c.id, c.value);
        const std::size_t before = boxes.Calls().size();
        Click(d, D::IDC_EXECUTE);
        ASSERT_EQ(boxes.Calls().size(), before + 1);
        EXPECT_EQ(boxes.Calls().back().text, c.text);
    }
    testsupport::PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(FindWindow("Импортирование"), nullptr);
    EXPECT_FALSE(Exists(out));

    // A window inside the data; the job ends with its text and View opens the result.
    Describe(d);
    d->SetControlText(D::IDC_DELTA_X, "10");
    d->SetControlText(D::IDC_DELTA_Y, "20");
    d->SetControlText(D::IDC_WIN_WIDTH, "990");
    d->SetControlText(D::IDC_WIN_HEIGHT, "580");
    Click(d, D::IDC_EXECUTE);
    plat::Dialog* meter = FinishedImport();
    ASSERT_NE(meter, nullptr);
    Click(meter, CMeterDialog::IDC_VIEW);
    {
        std::lock_guard<std::mutex> lock(g_resultsMutex);
        EXPECT_EQ(g_results, (std::vector<std::pair<std::string, int>>{{out, 2}}));
    }
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(out.c_str(), 0), nullptr);
    ASSERT_EQ(layer.Width(), 990);
    ASSERT_EQ(layer.Height(), 580);
    const auto* row = static_cast<const unsigned char*>(layer.Rows()[5]);
    EXPECT_EQ(row[7], (17 + 3 * 25) & 0xFF);
    EXPECT_TRUE(d->isVisible());  // stays open for further imports
}

// The import job's last text says how it went: the data file may be shorter than
// described (the layer is kept, the missing samples 0).
TEST_F(RawImportDlgTest, ImportJobEndsWithWhatHappened)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string in = Image();
    RawImportFields f;
    f.pixelsPerRecord = f.windowWidth = 1000;
    f.records = f.windowHeight = 600;
    f.headerSize = 100;
    f.prefixSize = 4;
    f.recordLength = 1010;
    struct Case {
        const char* name;
        long long cut;  // the data file's length; 0: as written
        int width;
        const char* text;
        bool closes;  // the progress window closes at the end rather than offering View
    };
    const Case cases[] = {
        {"whole", 0, 1000, "Import successful.", false},
        {"short", 100 + 1010 * 300 + 500, 1000, "The input file is shorter than described: missing samples set to 0.",
         false},
        {"refused", 0, 1001, "Importing break", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.cut)
            std::filesystem::resize_file(in, std::uintmax_t(c.cut));
        auto* job = new ImportJob;
        job->params = f.Params(in);
        job->params.windowWidth = c.width;
        job->outputFile = m_dir.File(std::string(c.name) + ".rdp");
        auto* meter = new CMeterInfo("test");
        meter->Create();
        RawImportWorker(job, meter);
        EXPECT_EQ(meter->GetText(), c.text);
        EXPECT_EQ(meter->IsDeleteOnClose(), c.closes);
        delete meter;
    }
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(m_dir.File("short.rdp").c_str(), 0), nullptr);
    EXPECT_EQ(static_cast<const unsigned char*>(layer.Rows()[300])[495], (495 + 900) & 0xFF);
    EXPECT_EQ(static_cast<const unsigned char*>(layer.Rows()[300])[496], 0);
    EXPECT_EQ(static_cast<const unsigned char*>(layer.Rows()[599])[0], 0);
    EXPECT_FALSE(Exists(m_dir.File("refused.rdp")));
    EXPECT_TRUE(boxes.Calls().empty());
}

// The progress window's last word: the usual completion after a whole input, the
// short-input warning (with View: the layer is there) after a short one.
TEST_F(RawImportDlgTest, ProgressWindowEndsWithTheShortInputWarning)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string in = Image();
    plat::Dialog* d = Launch(in, m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    Describe(d);
    struct Case {
        long long cut;  // the data file's length; 0: as written
        const char* text;
    };
    for (const Case& c : {Case{0, "Operation completed !"},
                          Case{100 + 1010 * 300 + 500,
                               "The input file is shorter than described: missing samples set to 0."}}) {
        SCOPED_TRACE(c.text);
        if (c.cut)
            std::filesystem::resize_file(in, std::uintmax_t(c.cut));
        Click(d, D::IDC_EXECUTE);
        plat::Dialog* meter = FinishedImport();
        ASSERT_NE(meter, nullptr);
        EXPECT_EQ(meter->ControlText(CMeterDialog::IDC_TEXT), c.text);
        EXPECT_TRUE(meter->Control(CMeterDialog::IDC_RES_OK)->isVisible());
        if (const char* shots = std::getenv("SUITE_SHOT_DIR"); shots && c.cut)
            meter->grab().save(QString::fromStdString(std::string(shots) + "/raw_import_short_end.png"));
        Click(meter, CMeterDialog::IDC_RES_OK);
        ASSERT_TRUE(testsupport::PumpUntil([] { return FindWindow("Импортирование") == nullptr; }, 5s));
    }
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(RawImportDlgTest, PreviewRateDialog)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    {
        // 1000 x 600 at step 20: steps 1 to 300, a preview of 50 x 30.
        CPreviewParamDlg dlg;
        dlg.m_pixelSize = 2;
        dlg.m_width = 1000;
        dlg.m_height = 600;
        dlg.m_step = 20;
        std::vector<std::string> seen;
        const auto check = [&] {
            plat::Dialog* w = dlg.Window();
            EXPECT_EQ(dlg.Spin()->Lower(), 1);
            EXPECT_EQ(dlg.Spin()->Upper(), 300);
            for (unsigned id :
                 {CPreviewParamDlg::IDC_RATE, CPreviewParamDlg::IDC_INIT_WIDTH, CPreviewParamDlg::IDC_INIT_HEIGHT,
                  CPreviewParamDlg::IDC_INIT_SIZE, CPreviewParamDlg::IDC_NEW_WIDTH, CPreviewParamDlg::IDC_NEW_HEIGHT,
                  CPreviewParamDlg::IDC_NEW_SIZE})
                seen.push_back(w->ControlText(id));
            if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
                w->grab().save(QString::fromStdString(std::string(shots) + "/preview_rate_dialog.png"));
            // No rate, or one leaving no row: refused, the dialog stays.
            for (const char* bad : {"0", "abc", "601"}) {
                w->SetControlText(CPreviewParamDlg::IDC_RATE, bad);
                EXPECT_EQ(w->ControlText(CPreviewParamDlg::IDC_NEW_WIDTH), "") << bad;
                Click(w, plat::IDOK);
                EXPECT_TRUE(w->isVisible());
            }
            // A value above the spin's range is taken as typed.
            w->SetControlText(CPreviewParamDlg::IDC_RATE, "400");
            EXPECT_EQ(w->ControlText(CPreviewParamDlg::IDC_NEW_WIDTH), "2");
            EXPECT_EQ(w->ControlText(CPreviewParamDlg::IDC_NEW_HEIGHT), "1");
            Click(w, plat::IDOK);
        };
        EXPECT_EQ(testsupport::RunModal([&] { return testsupport::IsActiveModal(dlg.Window()); },
                                        {testsupport::Once(check)}, [&] { return dlg.DoModal(); }),
                  plat::IDOK);
        EXPECT_EQ(dlg.m_step, 400);
        EXPECT_EQ(seen, (std::vector<std::string>{"20", "1000", "600", "1.1 Mb", "50", "30", "2.9 Kb"}));
        ASSERT_EQ(boxes.Calls().size(), 3u);
        for (const plat::MessageBoxCall& call : boxes.Calls()) {
            EXPECT_EQ(call.text, "Invalid sampling rate");
            EXPECT_EQ(call.caption, "");
        }
    }
    // 3 pixels high: senseless; 4 high: steps 1 and 2, the step kept within them.
    struct Case {
        int height;
        int result;
        int upper;
    };
    for (const Case& c : {Case{3, plat::IDCANCEL, 0}, Case{4, plat::IDOK, 2}}) {
        plat::ScopedMessageBoxAnswerer inner(plat::IDOK);
        CPreviewParamDlg dlg;
        dlg.m_pixelSize = 1;
        dlg.m_width = 1000;
        dlg.m_height = c.height;
        dlg.m_step = 20;
        int upper = 0;
        std::vector<testsupport::ModalSteps::Step> steps;
        if (c.result == plat::IDOK)
            steps.push_back(testsupport::Once([&] {
                upper = dlg.Spin()->Upper();
                Click(dlg.Window(), plat::IDOK);
            }));
        EXPECT_EQ(testsupport::RunModal([&] { return testsupport::IsActiveModal(dlg.Window()); }, std::move(steps),
                                        [&] { return dlg.DoModal(); }),
                  c.result);
        EXPECT_EQ(upper, c.upper);
        if (c.result == plat::IDCANCEL) {
            ASSERT_EQ(inner.Calls().size(), 1u);
            EXPECT_EQ(inner.Calls()[0].text, "Operation is senseless");
        } else {
            EXPECT_EQ(dlg.m_step, 2);
        }
    }
}

TEST_F(RawImportDlgTest, PreviewFlow)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::Dialog* d = Launch(Image(), m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    Describe(d);
    // Cancel in the rate dialog starts nothing.
    Preview(d, 0);
    testsupport::PumpUntil([] { return false; }, 50ms);
    EXPECT_TRUE(FakeViewer::opened.empty());

    Preview(d, 20);
    ASSERT_TRUE(WaitForViewers(1));
    FakeViewer* viewer = FakeViewer::live.back();
    const std::string preview = viewer->request.file;
    EXPECT_EQ(std::filesystem::path(preview).parent_path(), m_tmp.Path());
    EXPECT_EQ(std::filesystem::path(preview).filename().string().rfind("#preview", 0), 0u);
    EXPECT_EQ(viewer->request.host, d->Handle());
    EXPECT_EQ(viewer->request.stretchType, 2);
    EXPECT_EQ(viewer->request.sigma, 2.0);
    // Once made, and again once shown: the viewer's ready state enables its commands.
    EXPECT_EQ(viewer->menus, (std::vector<std::pair<int, int>>{{0, 0x1003}, {0, 0x1003}}));
    EXPECT_EQ(viewer->frameNotices, d->Handle());
    EXPECT_TRUE(d->Control(D::IDC_PREVIEW)->isEnabled());
    {
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(preview.c_str(), 0), nullptr);
        EXPECT_EQ(layer.Width(), 50);
        EXPECT_EQ(layer.Height(), 30);
        EXPECT_EQ(static_cast<const unsigned char*>(layer.Rows()[2])[3], (60 + 3 * 40) & 0xFF);
    }

    // The frame sets the window, both edges counted.
    viewer->MoveFrame({10, 5, 29, 19});
    ASSERT_TRUE(testsupport::PumpUntil([&] { return d->ControlText(D::IDC_DELTA_X) == "200"; }, 5s));
    EXPECT_EQ(d->ControlText(D::IDC_DELTA_Y), "100");
    EXPECT_EQ(d->ControlText(D::IDC_WIN_WIDTH), "400");
    EXPECT_EQ(d->ControlText(D::IDC_WIN_HEIGHT), "300");
    EXPECT_EQ(d->ControlText(D::IDC_NEW_SIZE), "117.2 Kb");
    EXPECT_EQ(d->ControlText(D::IDC_PPR), "1000");

    // The same rate shows the same preview again without reading the data.
    const auto written = std::filesystem::last_write_time(preview);
    std::filesystem::remove(m_dir.File("in.raw"));
    Preview(d, 20);
    EXPECT_EQ(viewer->activated, 1);
    viewer->DestroyWindow();
    testsupport::PumpUntil([] { return false; }, 50ms);
    Preview(d, 20);
    ASSERT_TRUE(WaitForViewers(2));
    EXPECT_EQ(FakeViewer::live.back()->request.file, preview);
    EXPECT_EQ(std::filesystem::last_write_time(preview), written);
    EXPECT_TRUE(boxes.Calls().empty());

    // Another rate reads again, into the same file: with the data gone it fails
    // quietly and Preview comes back.
    Preview(d, 10);
    EXPECT_FALSE(d->Control(D::IDC_PREVIEW)->isEnabled());
    ASSERT_TRUE(testsupport::PumpUntil([&] { return d->Control(D::IDC_PREVIEW)->isEnabled(); }, 20s));
    EXPECT_EQ(FakeViewer::opened.size(), 2u);
    EXPECT_TRUE(boxes.Calls().empty());
    Image();
    Preview(d, 10);
    ASSERT_TRUE(WaitForViewers(3));
    EXPECT_EQ(FakeViewer::live.size(), 1u);  // the viewer of step 20 went
    {
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(preview.c_str(), 0), nullptr);
        EXPECT_EQ(layer.Width(), 100);
    }
    FakeViewer::live.back()->MoveFrame({1, 2, 1, 2});
    ASSERT_TRUE(testsupport::PumpUntil([&] { return d->ControlText(D::IDC_WIN_WIDTH) == "10"; }, 5s));
    EXPECT_EQ(d->ControlText(D::IDC_DELTA_Y), "20");

    // Close takes the viewer and the preview file with it.
    Click(d, D::IDC_CLOSE);
    testsupport::PumpUntil([] { return false; }, 50ms);
    EXPECT_TRUE(FakeViewer::live.empty());
    EXPECT_FALSE(Exists(preview));
}

TEST_F(RawImportDlgTest, ViewerThatFailsOrCannotOpen)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::Dialog* d = Launch(Image(), m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    Describe(d);
    FakeViewer::failNext = true;
    Preview(d, 20);
    ASSERT_TRUE(testsupport::PumpUntil([] { return !FakeViewer::opened.empty() && FakeViewer::live.empty(); }, 20s));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return d->Control(D::IDC_PREVIEW)->isEnabled(); }, 5s));
    // No viewer at all: the box, and Preview stays usable.
    SetPreviewViewerOpener([](const PreviewViewerRequest&) -> PreviewViewer* { return nullptr; });
    Preview(d, 20);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "Unable Open Viewer");
    EXPECT_EQ(boxes.Calls()[0].caption, "");
    EXPECT_TRUE(d->Control(D::IDC_PREVIEW)->isEnabled());
}

TEST_F(RawImportDlgTest, TwoDialogsTwoPreviewFiles)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string in = Image();
    plat::Dialog* a = Launch(in, m_dir.File("a.rdp"));
    plat::Dialog* b = Launch(in, m_dir.File("b.rdp"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    Describe(a);
    Describe(b);
    Preview(a, 20);
    ASSERT_TRUE(WaitForViewers(1));
    Preview(b, 20);
    ASSERT_TRUE(WaitForViewers(2));
    const std::string fileA = FakeViewer::opened[0].file, fileB = FakeViewer::opened[1].file;
    EXPECT_NE(fileA, fileB);
    Click(a, D::IDC_CLOSE);
    testsupport::PumpUntil([] { return false; }, 50ms);
    EXPECT_FALSE(Exists(fileA));
    EXPECT_TRUE(Exists(fileB));
    ASSERT_EQ(FakeViewer::live.size(), 1u);
    EXPECT_EQ(FakeViewer::live[0]->request.host, b->Handle());
    Click(b, D::IDC_CLOSE);
    testsupport::PumpUntil([] { return false; }, 50ms);
    EXPECT_FALSE(Exists(fileB));
}

// A dialog closed while its preview is being made leaves no preview file behind.
TEST_F(RawImportDlgTest, CloseDuringPreviewLeavesNoFile)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::Dialog* d = Launch(Image(), m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    Describe(d);
    Preview(d, 1);
    Click(d, D::IDC_CLOSE);
    ASSERT_TRUE(testsupport::PumpUntil([] { return FindWindow("RAW to RDP: Preview") == nullptr; }, 20s));
    testsupport::PumpUntil([] { return false; }, 100ms);
    for (const auto& entry : std::filesystem::directory_iterator(m_tmp.Path()))
        if (entry.path() != m_dir.Path())
            ADD_FAILURE() << entry.path();
    EXPECT_TRUE(FakeViewer::opened.empty());
}

namespace {

// The preview in the image viewer itself.
class RawImportRealViewerTest : public RawImportDlgTest {
protected:
    void SetUp() override
    {
        RawImportDlgTest::SetUp();
        SetPreviewViewerOpener(nullptr);
    }
    void TearDown() override
    {
        RawImportDlgTest::TearDown();
        EXPECT_TRUE(testsupport::PumpUntil([] { return Viewers().empty(); }, 5s));
    }
    static std::vector<CFrameViewer*> Viewers()
    {
        std::vector<CFrameViewer*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* v = dynamic_cast<CFrameViewer*>(w); v && v->isVisible())
                found.push_back(v);
        return found;
    }
    // The viewer showing the preview of dialog d, once it is up with its frame.
    static CFrameViewer* ViewerOf(plat::Dialog* d)
    {
        CFrameViewer* found = nullptr;
        testsupport::PumpUntil(
            [&] {
                for (CFrameViewer* v : Viewers())
                    if (v->GetViewRect()->GetFrame().m_pNotifyWnd == d->Handle() &&
                        v->GetViewRect()->GetFrame().IsFrameShown())
                        found = v;
                return found != nullptr;
            },
            20s);
        return found;
    }
    // Describes Image() in d and previews it at step 20.
    static CFrameViewer* PreviewAt20(plat::Dialog* d)
    {
        Describe(d);
        Preview(d, 20);
        return ViewerOf(d);
    }
};

}  // namespace

TEST_F(RawImportRealViewerTest, PreviewInTheImageViewer)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string in = Image();
    plat::Dialog* d = Launch(in, m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    CFrameViewer* viewer = PreviewAt20(d);
    ASSERT_NE(viewer, nullptr);
    const std::string preview = viewer->GetFileName(1);
    EXPECT_EQ(std::filesystem::path(preview).filename().string().rfind("#preview", 0), 0u);
    EXPECT_EQ(viewer->ImageWidth(), 50);
    EXPECT_EQ(viewer->ImageHeight(), 30);
    EXPECT_TRUE(d->Control(D::IDC_PREVIEW)->isEnabled());
    // Open, Close and Frame selection are not the user's here.
    ForEachCommandBit(VIEWER_CMD_OPEN | VIEWER_CMD_CLOSE | VIEWER_CMD_FRAME, [&](const CommandBit& bit) {
        for (QAction* a : plat::CommandActions(viewer, bit.button ? bit.button : bit.menu))
            EXPECT_FALSE(a->isEnabled()) << bit.button << " " << bit.menu;
    });

    // The user moves the frame: the window follows at step 20, both edges counted.
    CFrame& frame = viewer->GetViewRect()->GetFrame();
    frame.MoveFrame(CSize{3, 2});
    const CRect rc = frame.GetFrame();
    ASSERT_GT(rc.right, rc.left);
    if (const char* shots = std::getenv("SUITE_SHOT_DIR")) {
        testsupport::PumpUntil([] { return false; }, 100ms);
        viewer->grab().save(QString::fromStdString(std::string(shots) + "/raw_preview_viewer.png"));
    }
    const auto text = [](long long v) { return std::to_string(v); };
    ASSERT_TRUE(testsupport::PumpUntil([&] { return d->ControlText(D::IDC_DELTA_X) == text(20LL * rc.left); }, 5s));
    EXPECT_EQ(d->ControlText(D::IDC_DELTA_Y), text(20LL * rc.top));
    EXPECT_EQ(d->ControlText(D::IDC_WIN_WIDTH), text(20LL * (rc.right - rc.left + 1)));
    EXPECT_EQ(d->ControlText(D::IDC_WIN_HEIGHT), text(20LL * (rc.bottom - rc.top + 1)));

    // The same rate brings the viewer back, then reopens the preview without the data.
    const auto written = std::filesystem::last_write_time(preview);
    std::filesystem::remove(in);
    Preview(d, 20);
    EXPECT_EQ(Viewers(), std::vector<CFrameViewer*>{viewer});
    viewer->close();
    ASSERT_TRUE(testsupport::PumpUntil([] { return Viewers().empty(); }, 5s));
    Preview(d, 20);
    CFrameViewer* again = ViewerOf(d);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetFileName(1), preview);
    EXPECT_EQ(std::filesystem::last_write_time(preview), written);
    EXPECT_TRUE(boxes.Calls().empty());

    // A second dialog has a preview file of its own; closing the first takes only its
    // own viewer and file.
    Image();
    plat::Dialog* b = Launch(in, m_dir.File("b.rdp"));
    ASSERT_NE(b, nullptr);
    CFrameViewer* other = PreviewAt20(b);
    ASSERT_NE(other, nullptr);
    const std::string otherPreview = other->GetFileName(1);
    EXPECT_NE(otherPreview, preview);
    Click(d, D::IDC_CLOSE);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return Viewers().size() == 1; }, 5s));
    EXPECT_EQ(Viewers(), std::vector<CFrameViewer*>{other});
    EXPECT_FALSE(Exists(preview));
    EXPECT_TRUE(Exists(otherPreview));
    Click(b, D::IDC_CLOSE);
    ASSERT_TRUE(testsupport::PumpUntil([] { return Viewers().empty(); }, 5s));
    EXPECT_FALSE(Exists(otherPreview));
    EXPECT_TRUE(boxes.Calls().empty());
}

// A preview the viewer cannot load: its box, the viewer goes, Preview comes back.
TEST_F(RawImportRealViewerTest, PreviewTheViewerCannotLoad)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::Dialog* d = Launch(Image(), m_dir.File("out.rdp"));
    ASSERT_NE(d, nullptr);
    CFrameViewer* viewer = PreviewAt20(d);
    ASSERT_NE(viewer, nullptr);
    const std::string preview = viewer->GetFileName(1);
    viewer->close();
    ASSERT_TRUE(testsupport::PumpUntil([] { return Viewers().empty(); }, 5s));
    std::ofstream(preview, std::ios::binary | std::ios::trunc) << "no raster layer here\n";
    Preview(d, 20);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !boxes.Calls().empty(); }, 20s));
    EXPECT_EQ(boxes.Calls()[0].text,
              "Error opening file !\n" + preview + "\nNot a raster layer file, or its layer records are broken");
    ASSERT_TRUE(testsupport::PumpUntil([&] { return Viewers().empty(); }, 5s));
    EXPECT_TRUE(d->Control(D::IDC_PREVIEW)->isEnabled());
    Click(d, D::IDC_CLOSE);
    testsupport::PumpUntil([] { return false; }, 50ms);
    EXPECT_FALSE(Exists(preview));
}
