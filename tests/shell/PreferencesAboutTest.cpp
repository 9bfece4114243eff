#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AboutDlg.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "HyperLink.h"
#include "platform/windows/MainWindow.h"
#include "platform/dialogs/MessageBox.h"
#include "PreferencesDlg.h"
#include "PumpUntil.h"
#include "QuorvexDlg.h"
#include "QuorvexStrings.h"
#include "ScopedEnvFolder.h"
#include "ShellApp.h"
#include "TempDir.h"
#include "VarnokApp.h"
#include "settings/SNRegKey.h"

using namespace std::chrono_literals;
using testsupport::PumpUntil;

namespace {

std::string Setting(const char* name)
{
    CSNRegKey key;
    std::string value = "<missing>";
    if (key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
        key.GetStringValue(value, name);
    return value;
}

void SetSettings(const std::string& temp, const std::string& work, const std::string& help)
{
    CSNRegKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()));
    key.SetStringValue(temp.c_str(), "TempDir");
    key.SetStringValue(work.c_str(), "WorkDir");
    key.SetStringValue(help.c_str(), "HelpFile");
}

// Runs step once the modal dialog is up, from inside its loop; never after the answer
// is gone.
[[nodiscard]] std::unique_ptr<QTimer> WhenModal(std::function<void(plat::Dialog*)> step)
{
    auto timer = std::make_unique<QTimer>();
    QTimer* t = timer.get();
    const auto end = std::chrono::steady_clock::now() + 10s;
    QObject::connect(t, &QTimer::timeout, [t, step, end] {
        auto* dialog = dynamic_cast<plat::Dialog*>(QApplication::activeModalWidget());
        if (!dialog && std::chrono::steady_clock::now() < end)
            return;
        t->stop();
        if (dialog)
            step(dialog);
    });
    t->start(10);
    return timer;
}

void Click(plat::Dialog* dialog, unsigned id)
{
    auto* button = qobject_cast<QPushButton*>(dialog->Control(id));
    ASSERT_NE(button, nullptr);
    button->click();
}

class PreferencesTest : public ::testing::Test {
protected:
    void TearDown() override { QDir::setCurrent(QString::fromStdString(m_cwd)); }

    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
    std::string m_cwd = QDir::currentPath().toStdString();
};

}  // namespace

TEST_F(PreferencesTest, ReadsTheSettingsAndOkWritesThemAndChangesFolder)
{
    testsupport::TempDir work;
    SetSettings("/tmp/t", "/nowhere", "Guide.chm");
    CPreferencesDlg dlg;
    std::vector<std::string> shown;
    const auto driver = WhenModal([&](plat::Dialog* d) {
        EXPECT_EQ(d->windowTitle(), "Preferences");
        for (unsigned id :
             {CPreferencesDlg::IDC_TEMP_DIR, CPreferencesDlg::IDC_WORK_DIR, CPreferencesDlg::IDC_HELP_FILE})
            shown.push_back(d->ControlText(id));
        d->SetControlText(CPreferencesDlg::IDC_WORK_DIR, work.Path());
        d->SetControlText(CPreferencesDlg::IDC_HELP_FILE, "");
        Click(d, plat::IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), plat::IDOK);
    EXPECT_EQ(shown, (std::vector<std::string>{"/tmp/t", "/nowhere", "Guide.chm"}));
    EXPECT_EQ(Setting("TempDir"), "/tmp/t");
    EXPECT_EQ(Setting("WorkDir"), work.Path());
    EXPECT_EQ(Setting("HelpFile"), "");  // an empty value is written too
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(work.Path()));
}

TEST_F(PreferencesTest, WithoutSettingsTheEditsStartEmptyAndCancelWritesNothing)
{
    CPreferencesDlg dlg;
    std::string temp = "?";
    const auto driver = WhenModal([&](plat::Dialog* d) {
        temp = d->ControlText(CPreferencesDlg::IDC_TEMP_DIR);
        d->SetControlText(CPreferencesDlg::IDC_TEMP_DIR, "/typed");
        Click(d, plat::IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), plat::IDCANCEL);
    EXPECT_EQ(temp, "");
    EXPECT_EQ(Setting("TempDir"), "<missing>");
    EXPECT_EQ(QDir::currentPath().toStdString(), m_cwd);
}

TEST_F(PreferencesTest, BrowseChoosesAFolderAndRevertsTypedText)
{
    SetSettings("/old/temp", "/old/work", "old.chm");
    plat::FileDialogResult chosen;
    chosen.ok = true;
    chosen.paths = {"/data/new/"};
    plat::ScopedFileDialogAnswerer answerer(chosen, [&](const plat::FileDialogRequest& r) {
        if (r.kind == "Folder")
            return chosen;
        return plat::FileDialogResult{};  // the help file dialog is cancelled
    });
    std::vector<std::string> after;
    const auto driver = WhenModal([&](plat::Dialog* d) {
        d->SetControlText(CPreferencesDlg::IDC_TEMP_DIR, "/typed");
        Click(d, CPreferencesDlg::IDC_BROWSE_WORK);
        after.push_back(d->ControlText(CPreferencesDlg::IDC_TEMP_DIR));
        after.push_back(d->ControlText(CPreferencesDlg::IDC_WORK_DIR));
        d->SetControlText(CPreferencesDlg::IDC_TEMP_DIR, "/typed again");
        Click(d, CPreferencesDlg::IDC_BROWSE_HELP);  // cancelled, and still reverts
        after.push_back(d->ControlText(CPreferencesDlg::IDC_TEMP_DIR));
        chosen.paths = {"/"};
        Click(d, CPreferencesDlg::IDC_BROWSE_TEMP);
        after.push_back(d->ControlText(CPreferencesDlg::IDC_TEMP_DIR));
        Click(d, plat::IDCANCEL);
    });
    CPreferencesDlg dlg;
    dlg.DoModal();
    EXPECT_EQ(after, (std::vector<std::string>{"/old/temp", "/data/new", "/old/temp", "/"}));
    const std::vector<plat::FileDialogRequest> calls = answerer.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, "Folder");
    EXPECT_EQ(calls[0].title, "Select WORK FOLDER name");
    EXPECT_EQ(calls[0].folder, "");  // the current folder
    EXPECT_EQ(calls[1].kind, "");
    EXPECT_EQ(calls[1].filter, "Help Files *.chm|*.chm||");
    EXPECT_FALSE(calls[1].save);
    EXPECT_EQ(calls[2].title, "Select TEMP FOLDER name");
    // Cancel after browsing wrote nothing.
    EXPECT_EQ(Setting("WorkDir"), "/old/work");
}

namespace {

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = SetLinkServices({
            [this](const std::string& url) {
                opened.push_back(url);
                return openResult;
            },
            [this] { return webExec; },
            [this](const std::vector<std::string>& words) {
                started.push_back(words);
                return true;
            },
        });
    }
    void TearDown() override { SetLinkServices(m_previous); }

    std::vector<std::string> opened;
    std::vector<std::vector<std::string>> started;
    int openResult = 33;
    std::string webExec;
    LinkServices m_previous;
};

QRgb ToRgb(plat::ColorRef c)
{
    return qRgb(plat::GetRValue(c), plat::GetGValue(c), plat::GetBValue(c)) & 0xFFFFFF;
}

bool Shows(QWidget* w, plat::ColorRef colour)
{
    const QImage image = w->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == ToRgb(colour))
                return true;
    return false;
}

void Move(QWidget* w, QPoint at)
{
    QMouseEvent e(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void ClickAt(QWidget* w, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

}  // namespace

TEST_F(AboutTest, TheBoxShowsItsLinkWhichColoursAndOpens)
{
    ScopedEnvFolder config("XDG_CONFIG_HOME");
    auto main = std::make_unique<CQuorvexDlg>();
    main->OnInitDialog();
    std::vector<std::string> delivered;
    bool droppedDuringAbout = false;
    std::vector<plat::ColorRef> colours;
    bool hoverShown = false, visitedShown = false;
    std::string tip;
    const auto driver = WhenModal([&](plat::Dialog* d) {
        EXPECT_EQ(d->windowTitle(), "About");
        auto* link = dynamic_cast<CHyperLink*>(d->Control(CAboutDlg::IDC_EMAIL));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->text(), "quorvex@tolvek.example");
        EXPECT_EQ(link->URL(), "quorvex@tolvek.example");
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        tip = link->toolTip().toStdString();
        // Fitted to its text.
        EXPECT_EQ(link->width(), QFontMetrics(link->font()).horizontalAdvance(link->text()));
        colours.push_back(link->TextColor());
        EXPECT_TRUE(Shows(link, CHyperLink::kLinkColor));
        Move(link, {2, 2});
        colours.push_back(link->TextColor());
        hoverShown = Shows(link, plat::GetSysColor(plat::COLOR_HIGHLIGHT));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        colours.push_back(link->TextColor());
        ClickAt(link, {2, 2});
        QEvent leave2(QEvent::Leave);
        QApplication::sendEvent(link, &leave2);
        colours.push_back(link->TextColor());
        visitedShown = Shows(link, CHyperLink::kVisitedColor);
        // A command from another start while the box is up is dropped.
        droppedDuringAbout =
            !DeliverShellCommand("[Open(\"x.rdp\")]", [&](const std::string& p) { delivered.push_back(p); });
        Click(d, plat::IDOK);
    });
    main->OnCommand(ID_ABOUT);
    EXPECT_EQ(tip, "quorvex@tolvek.example");
    EXPECT_EQ(colours, (std::vector<plat::ColorRef>{CHyperLink::kLinkColor, plat::GetSysColor(plat::COLOR_HIGHLIGHT),
                                                    CHyperLink::kLinkColor, CHyperLink::kVisitedColor}));
    EXPECT_TRUE(hoverShown);
    EXPECT_TRUE(visitedShown);
    EXPECT_EQ(opened, std::vector<std::string>{"quorvex@tolvek.example"});
    EXPECT_TRUE(droppedDuringAbout);
    EXPECT_TRUE(delivered.empty());
    // After the box, commands run again.
    EXPECT_TRUE(DeliverShellCommand("[Open(\"y.rdp\")]", [&](const std::string& p) { delivered.push_back(p); }));
}

TEST_F(AboutTest, AFailedOpeningFallsBackOnTheBrowserOrShowsTheBox)
{
    // Nothing opens it and no browser: the box with the reason; the link stays unvisited.
    openResult = 31;
    CHyperLink link;
    link.PreSubclassWindow("mailto:someone@tolvek.example");
    {
        plat::ScopedMessageBoxAnswerer ok(plat::IDOK);
        link.Follow();
        ASSERT_EQ(ok.Calls().size(), 1u);
        EXPECT_EQ(
            ok.Calls()[0].text,
            "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.");
        EXPECT_TRUE(ok.Calls()[0].type & plat::MB_ICONEXCLAMATION);
    }
    EXPECT_FALSE(link.Visited());
    EXPECT_TRUE(started.empty());

    // The desktop's browser: its Exec line cut at the placeholder, the target as a word.
    webExec = "\"/opt/my browser/web\" --new-window %u";
    plat::ScopedMessageBoxAnswerer none(plat::IDOK);
    link.Follow();
    EXPECT_TRUE(none.Calls().empty());
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0],
              (std::vector<std::string>{"/opt/my browser/web", "--new-window", "mailto:someone@tolvek.example"}));
    EXPECT_TRUE(link.Visited());
}

TEST(HyperLinkDesktopTest, AMissingLocalPathCountsAsFileNotFound)
{
    testsupport::TempDir dir;
    const LinkServices previous = SetLinkServices({{}, [] { return std::string(); }, {}});
    EXPECT_EQ(CHyperLink::GotoURL(dir.File("missing.htm")), 2);
    SetLinkServices(previous);
}
