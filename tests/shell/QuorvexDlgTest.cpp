#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QMouseEvent>

#include "BarPage.h"
#include "FlatButton.h"
#include "MenuBarButton.h"

#include "platform/resources/DesktopOpen.h"
#include "platform/dialogs/Dialog.h"
#include "platform/errors/Exception.h"
#include "ImportExportDlg.h"
#include "platform/windows/MainWindow.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "QuorvexDlg.h"
#include "QuorvexStrings.h"
#include "ScopedEnvFolder.h"
#include "ShellLinks.h"
#include "SmallLayer.h"
#include "platform/resources/Splash.h"
#include "TempDir.h"
#include "VarnokApp.h"
#include "WritingJob.h"
#include "frame/FrameViewer.h"
#include "jobs/MeterInfo.h"
#include "jobs/Run.h"
#include "jobs/ThreadList.h"
#include "settings/SNRegKey.h"
#include "view/DisplayCache.h"
#include "window/ViewerMessages.h"

using namespace std::chrono_literals;
using testsupport::PumpUntil;
namespace fs = std::filesystem;

namespace {

// A viewer as the viewer frame makes one: it announces itself to the application's main
// window, tells its host and the main window when it closes, and is gone with its window.
struct FakeViewers {
    std::vector<ViewerOpenRequest> requests;
    std::vector<QPointer<QWidget>> windows;
    std::vector<std::uintptr_t> destroyed;

    ViewerLink Link()
    {
        ViewerLink link;
        link.open = [this](const ViewerOpenRequest& request) {
            requests.push_back(request);
            auto* window = new QWidget;
            window->setAttribute(Qt::WA_DeleteOnClose);
            windows.push_back(window);
            const auto viewer = reinterpret_cast<std::uintptr_t>(window);
            const plat::WindowHandle host = request.host;
            QObject::connect(window, &QObject::destroyed, [host, viewer] {
                host.PostMessage(WM_VIEWER_NOTIFY, viewer, 1);
                if (!(plat::MainWindow() == host))
                    plat::MainWindow().PostMessage(WM_VIEWER_NOTIFY, viewer, 1);
            });
            plat::MainWindow().SendMessage(WM_VIEWER_NOTIFY, viewer, 5);
            window->show();
            return true;
        };
        link.destroy = [this](std::uintptr_t viewer) {
            destroyed.push_back(viewer);
            delete reinterpret_cast<QWidget*>(viewer);
        };
        return link;
    }
};

// A click on a bar button as the mouse makes it.
void Click(QWidget* button)
{
    const QPointF at(button->width() / 2, button->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(button, &release);
    // The command is posted up the bars.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

std::uintptr_t Id(QWidget* window)
{
    return reinterpret_cast<std::uintptr_t>(window);
}

class QuorvexDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = SetViewerLink(m_fakes.Link());
        m_dlg = std::make_unique<CQuorvexDlg>();
        plat::SetMainWindow(m_dlg->Handle());
        m_dlg->OnInitDialog();
        m_dlg->show();
    }
    void TearDown() override
    {
        for (QPointer<QWidget>& window : m_fakes.windows)
            delete window.data();
        m_dlg.reset();
        plat::SetMainWindow({});
        SetViewerLink(m_previous);
    }

    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
    FakeViewers m_fakes;
    ViewerLink m_previous;
    std::unique_ptr<CQuorvexDlg> m_dlg;
};

}  // namespace

TEST_F(QuorvexDlgTest, BarsComeFromTheMenuTables)
{
    QStringList titles;
    for (CMenuBarButton* button : m_dlg->MenuPage()->MenuButtons())
        titles << QString::fromStdString(button->Caption());
    EXPECT_EQ(titles, QStringList({"File", "Preferences", "?"}));
    std::vector<std::string> texts;
    for (CFlatButton* button : m_dlg->ToolButtons()) {
        texts.push_back(button->Caption());
        EXPECT_EQ(button->width(), m_dlg->Layout().buttonWidth);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"View", "3D Viewer", "Import Export"}));
    EXPECT_EQ(m_dlg->windowTitle(), "Quorvex");
    EXPECT_EQ(m_dlg->height(), m_dlg->Layout().windowHeight);
    EXPECT_EQ(m_dlg->minimumHeight(), m_dlg->maximumHeight());  // the height is fixed
    EXPECT_FALSE(m_dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(QuorvexDlgTest, OpenCountsViewersAndTheListFollowsTheirEnds)
{
    m_dlg->OnCommand(ID_FILE_OPEN);
    Click(m_dlg->ToolButtons()[0]);  // tool bar: View
    ASSERT_EQ(m_fakes.requests.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const ViewerOpenRequest& r = m_fakes.requests[i];
        EXPECT_EQ(r.id, i + 1);
        EXPECT_TRUE(r.host == m_dlg->Handle());
        EXPECT_EQ(r.phaseMode, 0);
        EXPECT_EQ(r.sigma, 2.0);
        EXPECT_EQ(r.stretchType, 2);
        EXPECT_EQ(r.path, "");
        EXPECT_FALSE(r.placement.has_value());
    }
    EXPECT_EQ(m_dlg->Viewers(), (std::vector<std::uintptr_t>{Id(m_fakes.windows[0]), Id(m_fakes.windows[1])}));

    // A viewer of another host (one the conversion library opens) is listed too.
    ViewerOpenRequest foreign;
    foreign.path = "x.rdp";
    CurrentViewerLink().open(foreign);
    ASSERT_EQ(m_dlg->Viewers().size(), 3u);

    // The user closes the first viewer and the foreign one.
    m_fakes.windows[0]->close();
    m_fakes.windows[2]->close();
    ASSERT_TRUE(PumpUntil([&] { return m_dlg->Viewers().size() == 1; }, 5s));
    EXPECT_EQ(m_dlg->Viewers(), (std::vector<std::uintptr_t>{Id(m_fakes.windows[1])}));
    m_dlg->OnCommand(ID_FILE_OPEN);
    EXPECT_EQ(m_fakes.requests.back().id, 3);  // the ids keep counting
}

TEST_F(QuorvexDlgTest, CloseAskedNoKeepsAllYesDestroysTheListedViewers)
{
    m_dlg->OnCommand(ID_FILE_OPEN);
    m_dlg->OnCommand(ID_FILE_OPEN);
    m_dlg->OnCommand(ID_FILE_OPEN);
    m_fakes.windows[1]->close();
    ASSERT_TRUE(PumpUntil([&] { return m_dlg->Viewers().size() == 2; }, 5s));
    {
        plat::ScopedMessageBoxAnswerer no(plat::IDNO);
        m_dlg->close();
        ASSERT_EQ(no.Calls().size(), 1u);
        EXPECT_EQ(no.Calls()[0].text, "Exit Quorvex ?");
        EXPECT_EQ(no.Calls()[0].caption, "Tolvek Quorvex");
        EXPECT_EQ(no.Calls()[0].type, unsigned(plat::MB_YESNO | plat::MB_ICONQUESTION));
    }
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->Viewers().size(), 2u);
    EXPECT_TRUE(m_fakes.destroyed.empty());

    const std::vector<std::uintptr_t> listed = {Id(m_fakes.windows[0]), Id(m_fakes.windows[2])};
    plat::ScopedMessageBoxAnswerer yes(plat::IDYES);
    m_dlg->close();
    EXPECT_EQ(m_fakes.destroyed, listed);
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->result(), int(QDialog::Rejected));
    ASSERT_TRUE(PumpUntil([&] { return m_dlg->Viewers().empty(); }, 5s));
}

TEST_F(QuorvexDlgTest, EnterDoesNothingEscAsksAndKeepsTheViewers)
{
    m_dlg->OnCommand(ID_FILE_OPEN);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_dlg.get(), &enter);
    EXPECT_TRUE(m_dlg->isVisible());

    plat::ScopedMessageBoxAnswerer yes(plat::IDYES);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(m_dlg.get(), &esc);
    ASSERT_EQ(yes.Calls().size(), 1u);
    EXPECT_EQ(yes.Calls()[0].text, "Exit Quorvex ?");
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_TRUE(m_fakes.destroyed.empty());  // Esc ends without closing them one by one
}

TEST_F(QuorvexDlgTest, CommandLineOpensAtTheViewersDefaultPlace)
{
    m_dlg->OpenFileInViewer("/data/a b.rdp");
    ASSERT_EQ(m_fakes.requests.size(), 1u);
    const ViewerOpenRequest& r = m_fakes.requests[0];
    EXPECT_EQ(r.path, "/data/a b.rdp");
    EXPECT_EQ(r.id, 0);
    EXPECT_EQ(r.sigma, 0.0);
    EXPECT_EQ(r.stretchType, 0);
    EXPECT_FALSE(r.placement.has_value());  // no splash window saw the start-up end
    EXPECT_EQ(m_dlg->ViewerCounter(), 0);
}

TEST_F(QuorvexDlgTest, AfterASplashWindowSawTheEndFilesOpenBelowTheShell)
{
    std::vector<std::string> notices;
    const plat::SplashListener previous = plat::SetSplashListener(
        [&](unsigned long code, const std::string& text, QWidget*) { notices.push_back(std::to_string(code) + text); });
    m_dlg->grab();  // paints the window
    m_dlg->grab();  // told once only
    plat::SetSplashListener(previous);
    EXPECT_EQ(notices, std::vector<std::string>{"0Main Dialog Initialized..."});

    m_dlg->OpenFileInViewer("a.rdp");
    ASSERT_EQ(m_fakes.requests.size(), 1u);
    ASSERT_TRUE(m_fakes.requests[0].placement.has_value());
    const CRect placed = *m_fakes.requests[0].placement;
    const QRect frame = m_dlg->frameGeometry();
    EXPECT_EQ(placed.left, frame.left());
    EXPECT_EQ(placed.right, frame.right() + 1);
    EXPECT_EQ(placed.top, frame.bottom() + 1);
    EXPECT_EQ(placed.bottom, m_dlg->screen()->geometry().bottom() + 1);
}

TEST_F(QuorvexDlgTest, ImportExportShowsTheShortList)
{
    auto shown = [] {
        std::vector<plat::Dialog*> dialogs;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<plat::Dialog*>(w); d && d->isVisible() && d->windowTitle() == "Import / Export")
                dialogs.push_back(d);
        return dialogs;
    };
    m_dlg->OnCommand(ID_FILE_IMPORTEXPORT);
    Click(m_dlg->ToolButtons()[2]);
    const std::vector<plat::Dialog*> dialogs = shown();
    ASSERT_EQ(dialogs.size(), 2u);
    for (plat::Dialog* d : dialogs) {
        EXPECT_EQ(d->parentWidget(), nullptr);
        EXPECT_FALSE(d->isModal());
        auto* inputs = d->ControlAs<QComboBox>(CImportExportDlg::IDC_INPUT_FORMAT);
        ASSERT_NE(inputs, nullptr);
        std::vector<int> codes;
        for (int i = 0; i < inputs->count(); ++i)
            codes.push_back(inputs->itemData(i).toInt());
        EXPECT_EQ(codes, (std::vector<int>{0, 1, 5, 6, 7, 8}));  // no CEOS kinds
        d->close();
    }
    EXPECT_TRUE(PumpUntil([&] { return shown().empty(); }, 5s));
}

TEST_F(QuorvexDlgTest, Halcyte3DMissingIsReportedPresentStarts)
{
    testsupport::TempDir empty;
    m_dlg->SetProgramFolder(empty.Path());
    {
        plat::ScopedMessageBoxAnswerer ok(plat::IDOK);
        m_dlg->OnCommand(ID_FILE_3DVIEWER);
        ASSERT_EQ(ok.Calls().size(), 1u);
        EXPECT_EQ(ok.Calls()[0].text, "Unable load 3D Viwer");
        EXPECT_EQ(ok.Calls()[0].caption, "Quorvex");
        EXPECT_TRUE(ok.Calls()[0].type & plat::MB_ICONERROR);
    }

    m_dlg->SetProgramFolder(SUITE_BIN_DIR);
    plat::ScopedMessageBoxAnswerer none(plat::IDOK);
    const std::optional<long long> pid = m_dlg->Launch3DViewer();
    ASSERT_TRUE(pid.has_value());
    EXPECT_TRUE(none.Calls().empty());
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/" + std::to_string(*pid) + "/exe", ec);
    EXPECT_EQ(exe.filename(), "Halcyte3D");
    ::kill(static_cast<pid_t>(*pid), SIGKILL);
}

TEST_F(QuorvexDlgTest, HelpOpensTheHelpFileByItsSetting)
{
    std::vector<std::string> opened;
    const plat::DesktopOpener previous = plat::SetDesktopOpener([&](const std::string& path) {
        opened.push_back(path);
        return true;
    });
    m_dlg->OnCommand(ID_HELP_CONTENTS);
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(m_dlg.get(), &f1);
    {
        CSNRegKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()));
        ASSERT_TRUE(key.SetStringValue("Guide.chm", "HelpFile"));
    }
    m_dlg->OnCommand(ID_HELP_CONTENTS);
    plat::SetDesktopOpener(previous);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(fs::path(opened[0]).filename(), "Velmora.chm");
    EXPECT_EQ(fs::path(opened[1]).filename(), "Velmora.chm");
    EXPECT_EQ(fs::path(opened[2]).filename(), "Guide.chm");
}

// The viewers the program really opens: the viewer frame.
TEST(QuorvexViewerFrameTest, OpenShowsViewersAndClosingDestroysThem)
{
    ScopedEnvFolder config("XDG_CONFIG_HOME");
    testsupport::TempDir scratch;
    const std::string layer = scratch.File("small.rdp");
    WriteSmallLayer(layer);
    // An earlier exit that stopped running jobs leaves every new job refused, as in a
    // program that is ending; this one must start afresh.
    ASSERT_TRUE(PumpUntil([] { return GlobalThreadList().GetCount() == 0; }, 10s));
    TerminateAllFlag = 0;
    auto dlg = std::make_unique<CQuorvexDlg>();
    plat::SetMainWindow(dlg->Handle());
    dlg->OnInitDialog();
    dlg->show();

    dlg->OnCommand(ID_FILE_OPEN);
    dlg->OpenFileInViewer(layer);
    ASSERT_EQ(dlg->Viewers().size(), 2u);
    auto* empty = reinterpret_cast<CFrameViewer*>(dlg->Viewers()[0]);
    auto* loaded = reinterpret_cast<CFrameViewer*>(dlg->Viewers()[1]);
    EXPECT_EQ(empty->GetID(), 1);
    EXPECT_TRUE(empty->Handle().IsWindow());
    EXPECT_EQ(loaded->GetID(), 0);
    // Loading the file makes its display cache beside it.
    EXPECT_TRUE(PumpUntil([&] { return std::filesystem::exists(CacheNameBeside(layer, 0)); }, 60s));
    // Closing while the load still runs would ask to stop it; this test closes viewers only.
    ASSERT_TRUE(PumpUntil([] { return GlobalThreadList().GetCount() == 0; }, 60s));

    plat::ScopedMessageBoxAnswerer yes(plat::IDYES);
    dlg->close();
    EXPECT_FALSE(empty->Handle().IsWindow());
    ASSERT_TRUE(PumpUntil([&] { return dlg->Viewers().empty(); }, 10s));
    dlg.reset();
    plat::SetMainWindow({});
}

// Stops every job of the program for good, so it runs last in this file.
TEST_F(QuorvexDlgTest, ZzExitWhileAJobWritesAsksAndStopsIt)
{
    testsupport::TempDir scratch;
    testsupport::Writer w;
    w.output = scratch.File("half.txt");
    ::Run("Writing", testsupport::WriteRows, &w);
    ASSERT_TRUE(PumpUntil([&] { return w.writing.load(); }, 10s));
    {
        plat::ScopedMessageBoxAnswerer no(plat::IDNO);
        m_dlg->OnCommand(ID_EXIT);
        ASSERT_EQ(no.Calls().size(), 1u);
        EXPECT_EQ(no.Calls()[0].text, "Some operations are still running.\nStop them and exit Quorvex ?");
    }
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_TRUE(fs::exists(w.output));

    plat::ScopedMessageBoxAnswerer yes(plat::IDYES);
    m_dlg->OnCommand(ID_EXIT);
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->result(), int(QDialog::Accepted));
    ASSERT_TRUE(PumpUntil([] { return GlobalThreadList().GetCount() == 0; }, 10s));
    EXPECT_FALSE(fs::exists(w.output));
}
