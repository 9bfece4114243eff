#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <deque>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "TempDir.h"

namespace {

TEST(FileDialog, AnswererTakesRequestsFromAnyThreadOnTheGuiThread)
{
    QWidget owner;
    const plat::WindowHandle h = plat::WindowHandle::Attach(&owner, {});
    plat::FileDialogResult chosen;
    chosen.ok = true;
    chosen.paths = {"/data/a.rdp"};
    chosen.filterIndex = 2;
    chosen.options["mode"] = "1";
    std::thread::id answeredOn;
    plat::ScopedFileDialogAnswerer answerer(chosen, [&](const plat::FileDialogRequest&) {
        answeredOn = std::this_thread::get_id();
        return chosen;
    });

    plat::FileDialogRequest request;
    request.save = true;
    request.title = "Export";
    request.filter = "Layers|*.rdp|All|*.*||";
    request.filterIndex = 2;
    request.folder = "/data/";
    request.defaultExt = "rdp";
    request.flags = plat::OFN_OVERWRITEPROMPT;
    std::atomic<bool> done = false;
    plat::FileDialogResult got;
    std::thread worker([&] {
        got = plat::FileDialog(h, request);
        done = true;
    });
    ASSERT_TRUE(testsupport::PumpUntil([&] { return done.load(); }, std::chrono::seconds(20)));
    worker.join();
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.Path(), "/data/a.rdp");
    EXPECT_EQ(got.filterIndex, 2);
    EXPECT_EQ(got.options["mode"], "1");

    EXPECT_TRUE(plat::FileDialog({}, {}).ok);  // the scoped answer, not the default one
    const auto calls = answerer.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].save);
    EXPECT_EQ(calls[0].title, "Export");
    EXPECT_EQ(calls[0].filter, request.filter);
    EXPECT_EQ(calls[0].folder, "/data/");
    EXPECT_EQ(calls[0].defaultExt, "rdp");
    EXPECT_EQ(calls[0].flags, unsigned(plat::OFN_OVERWRITEPROMPT));
    EXPECT_TRUE(calls[0].owned);
    EXPECT_FALSE(calls[1].owned);
}

TEST(FileDialog, ScopedAnswerersNestAndRestoreAndShowIsNotCalled)
{
    plat::FileDialogResult yes;
    yes.ok = true;
    yes.paths = {"/x"};
    plat::ScopedFileDialogAnswerer outer(yes);
    bool shown = false;
    const plat::FileDialogShow show = [&](const plat::WindowHandle&, const plat::FileDialogRequest&) {
        shown = true;
        return plat::FileDialogResult{};
    };
    {
        plat::ScopedFileDialogAnswerer inner(plat::FileDialogResult{});
        EXPECT_FALSE(plat::FileDialog({}, {}, show).ok);
        EXPECT_EQ(inner.Calls().size(), 1u);
    }
    EXPECT_EQ(plat::FileDialog({}, {}, show).Path(), "/x");
    EXPECT_EQ(outer.Calls().size(), 1u);
    EXPECT_FALSE(shown);
}

TEST(FileDialog, FiltersBecomeQtNameFilters)
{
    struct Case {
        const char* filter;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"Velmora Files (*.rdp)|*.rdp|All Files (*.*)|*.*||", {"Velmora Files (*.rdp)", "All Files (*)"}},
        {"Pictures|*.bmp; *.tif|Text|*.txt||", {"Pictures (*.bmp *.tif)", "Text (*.txt)"}},
        {"A|*.x|B|*.*", {"A (*.x)", "B (*)"}},
        {"No pattern||", {"All Files (*)"}},
        {"", {"All Files (*)"}},
        {"Only|", {"All Files (*)"}},
        {"|*.x|B|*.y||", {"All Files (*)"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plat::QtNameFilters(plat::ParseFileFilter(c.filter)), c.names) << c.filter;
}

TEST(FileDialog, DefaultExtensionGoesOnlyOnANameWithoutOne)
{
    struct Case {
        const char* path;
        const char* ext;
        const char* out;
    };
    const Case cases[] = {
        {"/d/out", "rdp", "/d/out.rdp"},
        {"/d/out.tif", "rdp", "/d/out.tif"},
        {"/d.x/out", "rdp", "/d.x/out.rdp"},
        {"/d/.hidden", "rdp", "/d/.hidden.rdp"},
        {"/d/out", "", "/d/out"},
        {"/d/", "rdp", "/d/"},
        {"out", "rdp", "out.rdp"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plat::WithDefaultExtension(c.path, c.ext), c.out) << c.path;
}

TEST(FileDialog, StartFolderIsAnExistingFolderElseTheCurrentOne)
{
    testsupport::TempDir dir;
    EXPECT_EQ(plat::StartFolder(dir.Path()), dir.Path() + "/");
    EXPECT_EQ(plat::StartFolder(dir.Path() + "/"), dir.Path() + "/");
    const std::string current = plat::StartFolder("");
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(current.back(), '/');
    EXPECT_EQ(plat::StartFolder(dir.File("missing")), current);
}

// Drives the real dialog: each time a file dialog is visible, the next action runs on it.
class RealDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = plat::SetFileDialogAnswerer({});
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(w);
                if (dialog && dialog->isVisible() && !m_actions.empty()) {
                    auto action = std::move(m_actions.front());
                    m_actions.pop_front();
                    m_seen.push_back(dialog->windowTitle().toStdString());
                    action(dialog);
                    return;
                }
            }
        });
        m_timer.start(10);
    }
    void TearDown() override
    {
        m_timer.stop();
        plat::SetFileDialogAnswerer(std::move(m_previous));
    }
    void Then(std::function<void(QFileDialog*)> action) { m_actions.push_back(std::move(action)); }
    static void Choose(QFileDialog* dialog, const std::string& path)
    {
        dialog->selectFile(QString::fromStdString(path));
        // As typed: the list's selection does not overwrite a name being typed.
        if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
            name->setText(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();  // as the OK button does
    }

    testsupport::TempDir m_dir;
    std::deque<std::function<void(QFileDialog*)>> m_actions;
    std::vector<std::string> m_seen;
    QTimer m_timer;
    plat::FileDialogAnswerer m_previous;
    testsupport::ModalDeadline m_deadline;  // a dialog no action closes fails the test
};

TEST_F(RealDialog, OpenAnswersTheFileAndTheFilterInUse)
{
    std::ofstream(m_dir.File("a.rdp")) << "x";
    std::ofstream(m_dir.File("b.txt")) << "x";
    plat::FileDialogRequest request;
    request.filter = "Layers|*.rdp|All Files (*.*)|*.*||";
    request.filterIndex = 2;
    request.folder = m_dir.Path();
    request.flags = plat::OFN_FILEMUSTEXIST;
    QStringList filters;
    Then([&](QFileDialog* d) {
        filters = d->nameFilters();
        EXPECT_EQ(d->selectedNameFilter(), "All Files (*)");
        EXPECT_EQ(d->directory().absolutePath().toStdString(), m_dir.Path());
        Choose(d, m_dir.File("b.txt"));
    });
    const plat::FileDialogResult got = plat::FileDialog({}, request);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.paths, std::vector<std::string>{m_dir.File("b.txt")});
    EXPECT_EQ(got.filterIndex, 2);
    EXPECT_EQ(filters, QStringList({"Layers (*.rdp)", "All Files (*)"}));
    EXPECT_EQ(m_seen, std::vector<std::string>{"Open"});

    Then([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(plat::FileDialog({}, request).ok);

    // A name that is not there is reported through the message box; the dialog stays.
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    Then([&](QFileDialog* d) { Choose(d, m_dir.File("absent.rdp")); });
    Then([&](QFileDialog* d) { Choose(d, m_dir.File("a.rdp")); });
    EXPECT_EQ(plat::FileDialog({}, request).Path(), m_dir.File("a.rdp"));
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "absent.rdp\nFile not found.\nPlease verify the correct file name was given.");
}

TEST_F(RealDialog, SaveAddsTheExtensionAndAsksBeforeReplacing)
{
    std::ofstream(m_dir.File("old.rdp")) << "keep";
    plat::FileDialogRequest request;
    request.save = true;
    request.title = "Save Layer";
    request.filter = "Layers|*.rdp||";
    request.folder = m_dir.Path();
    request.defaultExt = "rdp";
    request.flags = plat::OFN_OVERWRITEPROMPT;

    {  // a new name: no question
        plat::ScopedMessageBoxAnswerer boxes(plat::IDNO);
        Then([&](QFileDialog* d) { Choose(d, m_dir.File("new")); });
        const auto got = plat::FileDialog({}, request);
        EXPECT_EQ(got.Path(), m_dir.File("new.rdp"));
        EXPECT_TRUE(boxes.Calls().empty());
    }
    {  // No: the dialog comes back; then cancelled
        plat::ScopedMessageBoxAnswerer boxes(plat::IDNO);
        Then([&](QFileDialog* d) { Choose(d, m_dir.File("old")); });
        Then([](QFileDialog* d) { d->reject(); });
        EXPECT_FALSE(plat::FileDialog({}, request).ok);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, m_dir.File("old.rdp") + " already exists.\nDo you want to replace it?");
        EXPECT_EQ(boxes.Calls()[0].caption, "Save Layer");
        EXPECT_EQ(boxes.Calls()[0].type & 0xF, unsigned(plat::MB_YESNO));
    }
    {  // Yes: chosen
        plat::ScopedMessageBoxAnswerer boxes(plat::IDYES);
        Then([&](QFileDialog* d) { Choose(d, m_dir.File("old.rdp")); });
        EXPECT_EQ(plat::FileDialog({}, request).Path(), m_dir.File("old.rdp"));
        EXPECT_EQ(boxes.Calls().size(), 1u);
    }
    {  // without the flag nothing is asked
        plat::ScopedMessageBoxAnswerer boxes(plat::IDNO);
        request.flags = 0;
        Then([&](QFileDialog* d) { Choose(d, m_dir.File("old.rdp")); });
        EXPECT_EQ(plat::FileDialog({}, request).Path(), m_dir.File("old.rdp"));
        EXPECT_TRUE(boxes.Calls().empty());
    }
    EXPECT_EQ(m_seen.front(), "Save Layer");
}

TEST_F(RealDialog, OpenMaySelectSeveralFilesWhenAllowed)
{
    std::ofstream(m_dir.File("a.rdp")) << "x";
    std::ofstream(m_dir.File("b.rdp")) << "x";
    plat::FileDialogRequest request;
    request.folder = m_dir.Path();
    request.flags = plat::OFN_ALLOWMULTISELECT;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    Then([&](QFileDialog* d) {
        mode = d->fileMode();
        d->selectFile("\"a.rdp\" \"b.rdp\"");
        static_cast<QDialog*>(d)->accept();
    });
    const auto got = plat::FileDialog({}, request);
    EXPECT_EQ(mode, QFileDialog::ExistingFiles);
    EXPECT_EQ(got.paths, (std::vector<std::string>{m_dir.File("a.rdp"), m_dir.File("b.rdp")}));
    EXPECT_EQ(got.filterIndex, 1);
}

}  // namespace
