// The viewer frame window end to end, offscreen: creation and its notices to the main
// window and the host, the command states through loading, failing and closing, the
// tool toggles and requests, and the result openers.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <QTest>
#include <QToolBar>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows/CommandBars.h"
#include "platform/resources/DesktopOpen.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/windows/MainWindow.h"
#include "platform/dialogs/MessageBox.h"
#include "RasterViewTestSupport.h"
#include "platform/windows/StatusBar.h"
#include "bars/ToolBarEx.h"
#include "bars/ViewerBars.h"
#include "frame/CommandStates.h"
#include "frame/FrameViewer.h"
#include "frame/ViewResult.h"
#include "view/RGBView.h"
#include "view/RasterView.h"
#include "window/Frame.h"
#include "window/ViewRect.h"

namespace {

using namespace rvtest;

int Sample(int x, int y)
{
    return (x * 5 + y * 11) % 256;
}

// Every command of the menu and the tool bar with the bit that selects it.
struct Command {
    unsigned id;
    bool onToolBar;
};

std::vector<Command> AllCommands()
{
    std::vector<Command> all;
    for (const CommandBit& bit : kCommandBits) {
        if (bit.button != 0 && bit.button != 34785)
            all.push_back({bit.button, true});
        if (bit.menu != 0)
            all.push_back({bit.menu, false});
    }
    return all;
}

bool Enabled(CFrameViewer& v, const Command& c)
{
    QWidget* root = c.onToolBar ? static_cast<QWidget*>(v.ToolBar()) : v.menuWidget();
    const QList<QAction*> actions = plat::CommandActions(root, c.id);
    EXPECT_FALSE(actions.isEmpty()) << c.id;
    return !actions.isEmpty() && actions.front()->isEnabled();
}

// Chooses command id as the user would, from the menu or the tool bar.
void Choose(CFrameViewer* v, unsigned id)
{
    const QList<QAction*> actions = plat::CommandActions(v, id);
    ASSERT_FALSE(actions.isEmpty()) << id;
    ASSERT_TRUE(actions.front()->isEnabled()) << id;
    actions.front()->trigger();
}

bool Pressed(CFrameViewer& v, unsigned button)
{
    const QList<QAction*> actions = plat::CommandActions(v.ToolBar(), button);
    return !actions.isEmpty() && actions.front()->isChecked();
}

// Only the commands in `on` enabled (Help inquiry always is).
void ExpectEnabledOnly(CFrameViewer& v, const std::vector<unsigned>& on, const char* what)
{
    for (const Command& c : AllCommands()) {
        const bool want = std::find(on.begin(), on.end(), c.id) != on.end();
        EXPECT_EQ(Enabled(v, c), want) << what << ": command " << c.id;
    }
    EXPECT_TRUE(Enabled(v, {ID_MENU_HELP, false})) << what;
}

// The main window: keeps whole viewer addresses.
class MainWindow final {
public:
    MainWindow()
    {
        handle = plat::WindowHandle::Attach(&widget, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            if (msg == WM_VIEWER_NOTIFY)
                notices.emplace_back(w, int(l));
            return plat::LResult(0);
        });
    }
    QWidget widget;
    plat::WindowHandle handle;
    std::vector<std::pair<plat::WParam, int>> notices;
};

const std::vector<unsigned> kEmptyState = {ID_BUTTON_LOAD, ID_MENU_OPEN, ID_BUTTON_LOAD_RGB, ID_MENU_OPEN_TRUECOLOR};

class FrameViewerTest : public ViewFixture {
protected:
    FrameViewerTest() { plat::SetMainWindow(m_main.handle); }
    ~FrameViewerTest() override
    {
        for (QPointer<CFrameViewer>& v : m_viewers)
            if (v)
                v->DestroyWindow();
        Flush();
        plat::SetMainWindow({});
    }

    // A UINT8 layer: with stretch None the display level is the sample.
    std::string Layer(const char* name, int w, int h)
    {
        const std::string path = File(name);
        WriteLayer(path, w, h, UINT8, [](int x, int y, int) { return double(Sample(x, y)); });
        return path;
    }

    CFrameViewer* Open(const std::string& file, int id = 7, plat::WindowHandle host = {})
    {
        auto* v = new CFrameViewer();
        const RECT place{10, 10, 10 + 480, 10 + 360};
        EXPECT_EQ(v->Create(host ? host : m_host.handle, id, 0, 2.0, 1, file.c_str(), &place), 1);
        m_viewers.emplace_back(v);
        return v;
    }

    // Runs what is queued, deferred deletes too.
    static void Flush()
    {
        EXPECT_TRUE(WaitForNoJobs());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    plat::ScopedMessageBoxAnswerer m_boxes{plat::IDOK};
    MainWindow m_main;
    NoticeWindow m_host;
    std::vector<QPointer<CFrameViewer>> m_viewers;
};

TEST_F(FrameViewerTest, CreateAnnouncesLoadsAndShowsTheLayer)
{
    const std::string path = Layer("grey.rdp", 120, 90);
    CFrameViewer* v = Open(path, 7);
    ASSERT_EQ(m_main.notices.size(), 1u) << "created is sent at once";
    EXPECT_EQ(m_main.notices[0], std::make_pair(plat::WParam(v), int(VN_CREATED)));
    EXPECT_TRUE(v->isVisible());
    ExpectEnabledOnly(*v, {}, "loading");
    EXPECT_TRUE(v->GetFlags() & FF_PROGRESS);
    EXPECT_EQ(v->StatusBar()->PartCount(), 3);
    const plat::ProgressCtrl* bar = v->StatusBar()->Progress();
    EXPECT_TRUE(bar->isVisible());
    const BarRect r = ProgressBarRect(v->StatusBar()->width(), v->StatusBar()->height());
    EXPECT_EQ(bar->geometry(), QRect(r.x, r.y, r.width, r.height));

    ASSERT_TRUE(m_host.WaitFor(1));
    EXPECT_EQ(m_host.notices[0], std::make_pair(7, int(VN_READY)));
    EXPECT_EQ(v->windowTitle().toStdString(), v->GetViewRect()->GetLayerName());
    EXPECT_FALSE(v->windowTitle().isEmpty());
    std::vector<unsigned> all;
    for (const Command& c : AllCommands())
        all.push_back(c.id);
    ExpectEnabledOnly(*v, all, "ready");
    EXPECT_FALSE(v->GetFlags() & FF_PROGRESS);
    EXPECT_EQ(v->StatusBar()->PartCount(), 4);
    EXPECT_EQ(v->StatusBar()->Text(0), "100 %");
    EXPECT_EQ(v->ImageWidth(), 120);
    EXPECT_EQ(v->ImageHeight(), 90);
    EXPECT_EQ(v->GetColorMode(), 1);

    // The picture: the samples as grey at 1:1.
    v->RedrawView();
    const QImage shot = v->GetViewRect()->Buffer().copy();
    for (auto [x, y] : {std::pair{0, 0}, {7, 3}, {60, 45}, {119, 89}})
        EXPECT_EQ(shot.pixel(x, y) | 0xFF000000u, qRgb(Sample(x, y), Sample(x, y), Sample(x, y))) << x << "," << y;
    const std::string artefact = std::string(SUITE_BIN_DIR) + "/viewer_frame_ready.png";
    EXPECT_TRUE(v->grab().save(QString::fromStdString(artefact)));
}

TEST_F(FrameViewerTest, EmptyViewerWithoutHostReportsOnlyToTheMainWindow)
{
    auto* v = new CFrameViewer();
    ASSERT_EQ(v->Create({}, 3, 0, 2.0, 0, nullptr, nullptr), 1);
    QPointer<CFrameViewer> alive(v);
    EXPECT_EQ(v->windowTitle().toStdString(), "Viewer: File not found");
    ExpectEnabledOnly(*v, kEmptyState, "empty");
    ASSERT_EQ(m_main.notices.size(), 1u);
    v->close();  // the close box
    Flush();
    EXPECT_TRUE(alive.isNull()) << "the viewer deletes itself";
    EXPECT_TRUE(m_host.notices.empty());
    // The main window lists viewers from their created notice: it hears of the closing.
    ASSERT_EQ(m_main.notices.size(), 2u);
    EXPECT_EQ(m_main.notices[1], std::make_pair(plat::WParam(v), int(VN_CLOSED)));
}

// A file that cannot be shown: one box naming the file and the reason on lines of
// their own, and the viewer that was to show it goes; none is left per failure.
TEST_F(FrameViewerTest, FilesThatCannotBeShownFailAndTheirViewerGoes)
{
    const std::string notLayer = File("text.rdp");
    {
        FILE* f = std::fopen(notLayer.c_str(), "w");
        std::fputs("no raster layer here\n", f);
        std::fclose(f);
    }
    const std::string folder = File("folder.rdp");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {File("missing.rdp"), "No such file or directory"},
        {notLayer, "Not a raster layer file, or its layer records are broken"},
        {folder, "Is a directory"},
    };
    int id = 20;
    for (const auto& c : cases) {
        m_host.notices.clear();
        m_main.notices.clear();
        const size_t boxes = m_boxes.Calls().size();
        QPointer<CFrameViewer> v = Open(c.path, id);
        ASSERT_TRUE(m_host.WaitFor(2)) << c.path;
        Flush();
        EXPECT_TRUE(v.isNull()) << c.path << ": the failed viewer closes";
        ASSERT_EQ(m_host.notices.size(), 2u) << c.path;
        EXPECT_EQ(m_host.notices[0], std::make_pair(id, int(VN_FAILED))) << c.path;
        EXPECT_EQ(m_host.notices[1].second, int(VN_CLOSED)) << c.path;
        ASSERT_EQ(m_main.notices.size(), 2u) << c.path;
        EXPECT_EQ(m_main.notices[1].second, int(VN_CLOSED)) << c.path;
        const auto calls = m_boxes.Calls();
        ASSERT_EQ(calls.size(), boxes + 1) << c.path;
        EXPECT_EQ(calls.back().text, "Error opening file !\n" + c.path + "\n" + c.reason);
        EXPECT_TRUE(calls.back().owned);
        int viewers = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            viewers += qobject_cast<CFrameViewer*>(w) != nullptr && w->isVisible();
        EXPECT_EQ(viewers, 0) << c.path;
        ++id;
    }
}

TEST_F(FrameViewerTest, ClosedWhileItsErrorBoxIsUpItReportsOnlyTheClosing)
{
    QPointer<CFrameViewer> viewer;
    plat::ScopedMessageBoxAnswerer closer(plat::IDOK, [&](const plat::MessageBoxCall&) {
        // The host closes the viewer while the user reads the box.
        if (viewer)
            viewer->DestroyWindow();
        return plat::IDOK;
    });
    viewer = Open(File("missing.rdp"), 8);
    const CFrameViewer* address = viewer.data();
    ASSERT_TRUE(m_host.WaitFor(1));
    Flush();
    testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(viewer.isNull());
    ASSERT_EQ(m_host.notices.size(), 1u);
    EXPECT_EQ(m_host.notices[0], std::make_pair(int(plat::WParam(address)), int(VN_CLOSED)));
    ASSERT_EQ(closer.Calls().size(), 1u);
}

TEST_F(FrameViewerTest, CloseResetsAndDestroyPostsClosed)
{
    CFrameViewer* v = Open(Layer("a.rdp", 64, 48), 9);
    ASSERT_TRUE(m_host.WaitFor(1));
    Choose(v, ID_BUTTON_HIST);
    Choose(v, ID_BUTTON_POINTER);
    Choose(v, ID_BUTTON_MARK);
    Choose(v, ID_BUTTON_ADJUST);
    EXPECT_EQ(v->GetFlags() & 15, 15);
    Choose(v, ID_MENU_CLOSE);
    EXPECT_EQ(v->GetViewRect()->GetCount(), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(v->StatusBar()->Text(i), "") << i;
    EXPECT_EQ(v->windowTitle().toStdString(), "Viewer: File not found");
    ExpectEnabledOnly(*v, kEmptyState, "closed");
    EXPECT_EQ(v->GetFlags() & 15, 0) << "every tool toggled off";
    for (unsigned b : {ID_BUTTON_HIST, ID_BUTTON_POINTER, ID_BUTTON_MARK, ID_BUTTON_ADJUST})
        EXPECT_FALSE(Pressed(*v, b)) << b;
    EXPECT_FALSE(v->StatisticsDlg().Window()->isVisible());
    EXPECT_FALSE(v->CursorPosDlg().IsShown());
    EXPECT_FALSE(v->BrightContrastDlg().IsShown());

    QPointer<CFrameViewer> alive(v);
    EXPECT_EQ(v->DestroyWindow(), 1);
    Flush();
    EXPECT_TRUE(alive.isNull());
    ASSERT_EQ(m_host.notices.size(), 2u);
    EXPECT_EQ(m_host.notices[1], std::make_pair(int(plat::WParam(v)), int(VN_CLOSED)));
}

TEST_F(FrameViewerTest, ClosingWhilePreparingIsSafeAndQuiet)
{
    const std::string path = File("large.rdp");
    WriteLayer(path, 3000, 2500, UINT8, [](int x, int y, int) { return double((x ^ y) & 255); });
    CFrameViewer* v = Open(path, 11);
    QPointer<CFrameViewer> alive(v);
    EXPECT_GT(GlobalThreadList().GetCount(), 0) << "the layer is being prepared";
    v->DestroyWindow();
    Flush();
    testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(alive.isNull());
    ASSERT_EQ(m_host.notices.size(), 1u) << "nothing after closed";
    EXPECT_EQ(m_host.notices[0].second, int(VN_CLOSED));
}

TEST_F(FrameViewerTest, MouseToolsPressOneButtonAndZoomCommandsScale)
{
    CFrameViewer* v = Open(Layer("z.rdp", 200, 150), 1);
    ASSERT_TRUE(m_host.WaitFor(1));
    const struct {
        unsigned command;
        unsigned button;
        int tool;
    } tools[] = {
        {ID_BUTTON_PLUS, ID_BUTTON_PLUS, 3},      {ID_BUTTON_MINUS, ID_BUTTON_MINUS, 2},
        {ID_MENU_PROFILE_X, ID_BUTTON_SREZ_X, 4}, {ID_BUTTON_SREZ_Y, ID_BUTTON_SREZ_Y, 5},
        {ID_MENU_CENTER, ID_BUTTON_ARROW, 1},
    };
    for (const auto& t : tools) {
        // By click on the tool bar where the command has a button, else through the menu.
        QList<QAction*> button = plat::CommandActions(v->ToolBar(), t.command);
        if (!button.isEmpty())
            QTest::mouseClick(v->ToolBar()->widgetForAction(button.front()), Qt::LeftButton);
        else
            Choose(v, t.command);
        EXPECT_EQ(v->GetViewRect()->GetMouseTool(), t.tool) << t.command;
        for (unsigned b : {ID_BUTTON_ARROW, ID_BUTTON_PLUS, ID_BUTTON_MINUS, ID_BUTTON_SREZ_X, ID_BUTTON_SREZ_Y})
            EXPECT_EQ(Pressed(*v, b), b == t.button) << t.command << " button " << b;
    }
    CViewRect* view = v->GetViewRect();
    EXPECT_EQ(view->GetScale(), 1.0);
    // The image window fills a sunken edge in the middle of the frame.
    auto* edge = qobject_cast<QFrame*>(v->centralWidget());
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(view->parentWidget(), edge);
    EXPECT_EQ(edge->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(view->geometry(), edge->contentsRect());
    EXPECT_LT(view->width(), edge->width());
    // The picture follows image sample = trunc((client pixel + scroll) x scale).
    const auto expectPicture = [&](const char* what) {
        v->RedrawView();
        const QImage shot = view->Buffer().copy();
        const double s = view->GetScale();
        for (auto [x, y] : {std::pair{0, 0}, {9, 4}, {33, 21}, {int(199 / s) - 1, int(149 / s) - 1}}) {
            const int sx = int(x * s), sy = int(y * s);
            EXPECT_EQ(shot.pixel(x, y) | 0xFF000000u, qRgb(Sample(sx, sy), Sample(sx, sy), Sample(sx, sy)))
                << what << " at " << x << "," << y;
        }
    };
    expectPicture("1:1");
    Choose(v, ID_MENU_ZOOM_IN);
    EXPECT_EQ(view->GetScale(), viewrect::ZoomInScale(1.0));
    Choose(v, ID_MENU_ZOOM_OUT);
    Choose(v, ID_MENU_ZOOM_OUT);
    EXPECT_EQ(view->GetScale(), viewrect::ZoomOutScale(1.0));
    // A whole fitted factor, so that the stretch meets the coordinate rule exactly:
    // 200 x 150 in 600 x 450 is 1/3.
    const auto before = view->GetClientSize();
    v->resize(v->width() + 600 - before.cx, v->height() + 450 - before.cy);
    QCoreApplication::processEvents();
    ASSERT_EQ(view->GetClientSize().cx, 600);
    ASSERT_EQ(view->GetClientSize().cy, 450);
    Choose(v, ID_BUTTON_FIT);
    EXPECT_TRUE(view->IsFit());
    const auto client = view->GetClientSize();
    EXPECT_DOUBLE_EQ(view->GetScale(), viewrect::FitScale(200, 150, client.cx, client.cy));
    expectPicture("fitted");
    Choose(v, ID_MENU_DEFAULT_ZOOM);
    EXPECT_EQ(view->GetScale(), 1.0);
    EXPECT_FALSE(view->IsFit());
    expectPicture("1:1 again");
    // The image window's context menu reaches the frame as WM_COMMAND.
    v->Handle().SendMessage(plat::WM_COMMAND, ID_VR_CM_FIT, 0);
    EXPECT_TRUE(view->IsFit());
    v->Handle().SendMessage(plat::WM_COMMAND, ID_VR_CM_REAL_SCALE, 0);
    EXPECT_EQ(view->GetScale(), 1.0);
}

TEST_F(FrameViewerTest, TogglesAndToolRequests)
{
    CFrameViewer* v = Open(Layer("t.rdp", 100, 80), 1);
    ASSERT_TRUE(m_host.WaitFor(1));
    const struct {
        unsigned command;
        unsigned button;
        int flag;
        plat::Dialog* dialog;
        int closeCode;
    } toggles[] = {
        {ID_BUTTON_HIST, ID_BUTTON_HIST, FF_STATISTICS, v->StatisticsDlg().Window(), REQ_STATISTICS_CLOSED},
        {ID_MENU_ADJUST, ID_BUTTON_ADJUST, FF_ADJUST, v->BrightContrastDlg().Window(), REQ_ADJUST_CLOSED},
        {ID_BUTTON_POINTER, ID_BUTTON_POINTER, FF_POINTER, v->CursorPosDlg().Window(), REQ_CURSOR_CLOSED},
    };
    for (const auto& t : toggles) {
        Choose(v, t.command);
        EXPECT_TRUE(v->GetFlags() & t.flag) << t.command;
        EXPECT_TRUE(Pressed(*v, t.button)) << t.command;
        EXPECT_TRUE(t.dialog->isVisible()) << t.command;
        if (t.flag == FF_STATISTICS)
            EXPECT_EQ(v->StatisticsDlg().Text(CStatisticsDlg::IDC_SIZE), " 100 x 80 x 8 bits") << "the active layer's";
        // Closing the dialog with its close box releases the button.
        t.dialog->close();
        EXPECT_FALSE(v->GetFlags() & t.flag) << t.command;
        EXPECT_FALSE(Pressed(*v, t.button)) << t.command;
        EXPECT_FALSE(t.dialog->isVisible()) << t.command;
    }
    EXPECT_FALSE(v->RGBLevelsDlg().IsShown()) << "a single band shows brightness and contrast";
    Choose(v, ID_MENU_FRAME);
    EXPECT_TRUE(v->GetFlags() & FF_SELECTION);
    EXPECT_TRUE(Pressed(*v, ID_BUTTON_MARK));
    EXPECT_TRUE(v->GetFrame()->IsFrameShown());
    Choose(v, ID_BUTTON_MARK);
    EXPECT_FALSE(v->GetFrame()->IsFrameShown());
    EXPECT_FALSE(Pressed(*v, ID_BUTTON_MARK));

    auto* raster = dynamic_cast<CRasterView*>(v->GetViewRect()->GetView(v->GetViewRect()->GetActive()));
    ASSERT_NE(raster, nullptr);
    const plat::WindowHandle& h = v->Handle();
    EXPECT_EQ(h.SendMessage(WM_VIEWER_DLGCMD, REQ_CONTRAST, 40), 1);
    EXPECT_EQ(raster->GetContrast(), 40);
    EXPECT_EQ(h.SendMessage(WM_VIEWER_DLGCMD, REQ_BRIGHTNESS, -25), 1);
    EXPECT_EQ(raster->GetBrightness(), -25);
    EXPECT_EQ(h.SendMessage(WM_VIEWER_DLGCMD, 99, 1), 1) << "unknown codes are answered too";

    // Skip to pixel: the typed position, texts that are no numbers as 0.
    Choose(v, ID_BUTTON_POINTER);
    const struct {
        const char* x;
        const char* y;
        int wantX, wantY;
    } skips[] = {{"30", "20", 30, 20}, {"abc", "x1", 0, 0}};
    for (const auto& s : skips) {
        v->CursorPosDlg().SetText(IDC_CURSOR_X, s.x);
        v->CursorPosDlg().SetText(IDC_CURSOR_Y, s.y);
        EXPECT_EQ(h.SendMessage(WM_VIEWER_DLGCMD, REQ_SKIP_TO_PIXEL, 0), 1);
        EXPECT_EQ(v->CursorPosDlg().Text(IDC_CURSOR_X), std::to_string(s.wantX));
        EXPECT_EQ(v->CursorPosDlg().Text(IDC_CURSOR_Y), std::to_string(s.wantY));
        EXPECT_EQ(v->CursorPosDlg().Text(IDC_CURSOR_VALUE), raster->GetValueString(s.wantX, s.wantY));
    }
}

TEST_F(FrameViewerTest, OpenCommandLoadsWhatTheDialogChose)
{
    const std::string path = Layer("chosen.rdp", 50, 40);
    {
        CSNRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()), 1);
        ASSERT_EQ(key.SetStringValue(m_dir.Path().c_str(), "WorkDir"), 1);
    }
    plat::FileDialogResult answer;
    answer.ok = true;
    answer.paths = {path};
    answer.options = {{"mode", "0"}, {"sigma", "3"}, {"trim", "1"}};
    plat::ScopedFileDialogAnswerer dialogs(answer);
    CFrameViewer* v = Open("", 4);
    Choose(v, ID_BUTTON_LOAD);
    ASSERT_TRUE(m_host.WaitFor(1));
    EXPECT_EQ(m_host.notices[0], std::make_pair(4, int(VN_READY)));
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    const plat::FileDialogRequest r = dialogs.Calls()[0];
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.folder, m_dir.Path()) << "starts in the work folder";
    EXPECT_EQ(r.filter, "Velmora Files (*.rdp)|*.rdp|All Files (*.*)|*.*||");
    EXPECT_TRUE(r.owned);
    auto* raster = dynamic_cast<CRasterView*>(v->GetViewRect()->GetView(v->GetViewRect()->GetActive()));
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(r.kind, "InfoFile");
    EXPECT_EQ(v->GetFileName(1), path);
}

// Three channels of which one cannot be read, or of different sizes: the box names
// the channel's file and the reason, and the viewer left empty goes.
TEST_F(FrameViewerTest, ThreeChannelsThatCannotBeShownNameTheirFile)
{
    const std::string red = Layer("r.rdp", 60, 40), blue = Layer("b.rdp", 60, 40);
    const std::string small = Layer("small.rdp", 30, 20), missing = File("g.rdp");
    const struct {
        std::string green;
        std::string text;
    } cases[] = {
        {missing, "Error opening file !\n" + missing + "\nNo such file or directory"},
        {small, "Error opening file !\n" + small + "\nIts size differs from the red channel's"},
    };
    int id = 30;
    for (const auto& c : cases) {
        m_host.notices.clear();
        const size_t boxes = m_boxes.Calls().size();
        QPointer<CFrameViewer> v = Open("", id);
        v->LoadNewLayer(red.c_str(), c.green.c_str(), blue.c_str());
        ASSERT_TRUE(m_host.WaitFor(2)) << c.green;
        Flush();
        EXPECT_EQ(m_host.notices[0], std::make_pair(id, int(VN_FAILED)));
        EXPECT_EQ(m_host.notices[1].second, int(VN_CLOSED));
        EXPECT_TRUE(v.isNull());
        const auto calls = m_boxes.Calls();
        ASSERT_EQ(calls.size(), boxes + 1);
        EXPECT_EQ(calls.back().text, c.text);
        ++id;
    }
}

TEST_F(FrameViewerTest, ThreeChannelLayerTakesTheLevelRequests)
{
    std::string files[3];
    const char* names[3] = {"r.rdp", "g.rdp", "b.rdp"};
    for (int c = 0; c < 3; ++c)
        files[c] = Layer(names[c], 60, 40);
    CFrameViewer* v = Open("", 6);
    EXPECT_GE(v->LoadNewLayer(files[0].c_str(), files[1].c_str(), files[2].c_str()), 0);
    ASSERT_TRUE(m_host.WaitFor(1));
    EXPECT_EQ(m_host.notices[0], std::make_pair(6, int(VN_READY)));
    EXPECT_EQ(v->GetColorMode(), 2);
    Choose(v, ID_BUTTON_ADJUST);
    EXPECT_TRUE(v->RGBLevelsDlg().IsShown());
    EXPECT_FALSE(v->BrightContrastDlg().IsShown());
    auto* rgb = dynamic_cast<CRGBView*>(v->GetViewRect()->GetView(v->GetViewRect()->GetActive()));
    ASSERT_NE(rgb, nullptr);
    const struct {
        int request, channel, level;
    } levels[] = {{REQ_RED_LEVEL, 3, 100}, {REQ_GREEN_LEVEL, 4, 150}, {REQ_BLUE_LEVEL, 5, 200}};
    for (const auto& l : levels) {
        EXPECT_EQ(v->Handle().SendMessage(WM_VIEWER_DLGCMD, plat::WParam(l.request), l.level), 1);
        EXPECT_EQ(rgb->GetLevel(l.channel), l.level) << l.request;
    }
    // The levels dialog's close box hides it and releases the button.
    v->RGBLevelsDlg().Window()->close();
    EXPECT_FALSE(v->RGBLevelsDlg().IsShown());
    EXPECT_FALSE(Pressed(*v, ID_BUTTON_ADJUST));
}

TEST_F(FrameViewerTest, HelpOpensTheHelpFile)
{
    std::vector<std::string> opened;
    plat::SetDesktopOpener([&](const std::string& p) {
        opened.push_back(p);
        return true;
    });
    auto* v = new CFrameViewer();
    ASSERT_EQ(v->Create({}, 0, 0, 2.0, 0, "", nullptr), 1);
    m_viewers.emplace_back(v);
    Choose(v, ID_MENU_HELP);
    EXPECT_EQ(v->OnHelpInfo(), 1);
    plat::SetDesktopOpener({});
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_NE(opened[0].find("Velmora.chm"), std::string::npos) << opened[0];
}

// ---- command bits -------------------------------------------------------------

TEST_F(FrameViewerTest, EnableMenuItemsFollowsTheBitTable)
{
    auto* v = new CFrameViewer();
    ASSERT_EQ(v->Create({}, 0, 0, 2.0, 0, "", nullptr), 1);
    m_viewers.emplace_back(v);
    v->EnableMenuItems(0, 0x4000);
    ExpectEnabledOnly(*v, kEmptyState, "the vector bit has no menu item");
    v->EnableMenuItems(1, 0x20000);
    std::vector<unsigned> on = kEmptyState;
    on.push_back(ID_MENU_SAVEAS);
    ExpectEnabledOnly(*v, on, "save as bitmap only");
    v->EnableMenuItems(1, 0x800);
    on.push_back(ID_BUTTON_POINTER);
    ExpectEnabledOnly(*v, on, "the cross-hair has a button only");
    v->EnableMenuItems(0, 0x1003 | 0x20000 | 0x800);
    ExpectEnabledOnly(*v, {ID_BUTTON_LOAD_RGB, ID_MENU_OPEN_TRUECOLOR}, "a preview's state");
    v->EnableMenuItems(1, int(0xFFFC0000u));
    ExpectEnabledOnly(*v, {ID_BUTTON_LOAD_RGB, ID_MENU_OPEN_TRUECOLOR}, "bits 18 to 31 do nothing");
}

TEST(FrameLayout, StatusPartsAndProgressPlace)
{
    EXPECT_EQ(StatusParts(640), (std::vector<int>{50, 150, 240, 640}));
    EXPECT_EQ(ProgressStatusParts(640), (std::vector<int>{213, 426, 639}));
    EXPECT_EQ(ProgressStatusParts(2), (std::vector<int>{0, 0, 0}));
    const BarRect r = ProgressBarRect(640, 20);
    EXPECT_EQ(r.x, 215);
    EXPECT_EQ(r.y, 3);
    EXPECT_EQ(r.width, 210);
    EXPECT_EQ(r.height, 16);
    const auto steps = CommandStateSteps(CommandState::Failed);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].mask, -1);
    EXPECT_EQ(steps[0].enable, 0);
    EXPECT_EQ(steps[1].mask | steps[2].mask, kOpenBit | kOpenRGBBit);
}

// ---- result records and openers ------------------------------------------------

TEST(ViewMultiResultParamTest, EntriesCountAndMoves)
{
    ViewMultiResultParam p;
    EXPECT_EQ(p.GetCount(), 0);
    EXPECT_EQ(p[0], nullptr);
    EXPECT_EQ(p.MakeParam(0), 1);
    EXPECT_EQ(p.GetCount(), 0);
    ASSERT_EQ(p.MakeParam(2), 1);
    ASSERT_NE(p[1], nullptr);
    EXPECT_EQ(p[2], nullptr) << "index equal to the count";
    EXPECT_EQ(p[-1], nullptr);
    p[1]->strFileName = "x.rdp";
    p[1]->nID = 5;
    ASSERT_EQ(p.MakeParam(3), 1);
    EXPECT_EQ(p.GetCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(p[i]->strFileName.empty()) << "a second MakeParam leaves default entries";
        EXPECT_EQ(p[i]->nID, 0);
        EXPECT_FLOAT_EQ(p[i]->fSigma, 2.0f);
        EXPECT_EQ(p[i]->nStretchType, 0);
        EXPECT_FALSE(p[i]->pOwner);
        EXPECT_EQ(p[i]->pRect, nullptr);
    }
    ViewMultiResultParam q(std::move(p));
    EXPECT_EQ(q.GetCount(), 3);
    EXPECT_EQ(p.GetCount(), 0);
    EXPECT_EQ(p[0], nullptr);
    EXPECT_EQ(p.MakeParam(-1), 0);
}

TEST_F(FrameViewerTest, MultiResultOpensOneViewerPerEntry)
{
    auto* none = new ViewMultiResultParam;
    ASSERT_EQ(none->MakeParam(0), 1);
    ViewMultiResultFunction(none);
    EXPECT_TRUE(m_main.notices.empty());

    auto* p = new ViewMultiResultParam;
    ASSERT_EQ(p->MakeParam(2), 1);
    (*p)[0]->strFileName = Layer("r.rdp", 40, 30);
    ViewMultiResultFunction(p);
    ASSERT_EQ(m_main.notices.size(), 2u);
    std::vector<CFrameViewer*> made;
    for (auto [w, code] : m_main.notices) {
        EXPECT_EQ(code, int(VN_CREATED));
        made.push_back(reinterpret_cast<CFrameViewer*>(w));
        m_viewers.emplace_back(made.back());
    }
    EXPECT_TRUE(WaitForNoJobs());
    EXPECT_TRUE(testsupport::PumpUntil(
        [&] { return made[0]->GetViewRect()->GetCount() == 1 && made[0]->windowTitle() != "Viewer: File not found"; },
        std::chrono::seconds(30)));
    EXPECT_EQ(made[1]->GetViewRect()->GetCount(), 0) << "an empty name: an empty viewer";
    EXPECT_EQ(made[1]->windowTitle().toStdString(), "Viewer: File not found");
    EXPECT_TRUE(m_host.notices.empty()) << "result viewers have no host";

    // One record with a host: the viewer reports to it; the opener frees the record.
    auto* one = new ViewResultParam;
    one->pOwner = m_host.handle;
    one->nID = 12;
    one->nStretchType = 1;
    one->strFileName = Layer("one.rdp", 20, 10);
    ViewResultFunction(one);
    ASSERT_EQ(m_main.notices.size(), 3u);
    m_viewers.emplace_back(reinterpret_cast<CFrameViewer*>(m_main.notices[2].first));
    ASSERT_TRUE(m_host.WaitFor(1));
    EXPECT_EQ(m_host.notices[0], std::make_pair(12, int(VN_READY)));

    // ViewerCreate leaves the record to its caller.
    ViewResultParam kept;
    CFrameViewer* made2 = ViewerCreate(&kept);
    ASSERT_NE(made2, nullptr);
    m_viewers.emplace_back(made2);
    EXPECT_EQ(made2->GetViewRect()->GetCount(), 0);
}

}  // namespace
