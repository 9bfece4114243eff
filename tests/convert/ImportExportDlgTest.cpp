#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "FormatTable.h"
#include "ImpExpDispatch.h"
#include "ImportExportDlg.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "TempDir.h"

using namespace std::chrono_literals;

namespace {

struct Call {
    std::string first, second;
};
std::vector<Call> g_calls;

int Record(const char* first, const char* second)
{
    g_calls.push_back({first, second});
    return 1;
}

void Touch(const std::string& path)
{
    std::ofstream(path) << "x";
}

std::vector<std::string> Items(QComboBox* combo)
{
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(combo->itemText(i).toStdString());
    return items;
}

std::vector<int> Codes(QComboBox* combo)
{
    std::vector<int> codes;
    for (int i = 0; i < combo->count(); ++i)
        codes.push_back(combo->itemData(i).toInt());
    return codes;
}

std::vector<int> Codes(const FormatList& list)
{
    return list.codes;
}

class ImportExportDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        m_previous = SetConverterEntry(FORMAT_RAW, FORMAT_RDP, Record);
    }
    void TearDown() override
    {
        SetConverterEntry(FORMAT_RAW, FORMAT_RDP, m_previous);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<plat::Dialog*>(w); d && d->isVisible() && d->windowTitle() == "Import / Export")
                qobject_cast<QPushButton*>(d->Control(CImportExportDlg::IDC_CLOSE))->click();
        testsupport::PumpUntil([] { return false; }, 20ms);
    }

    // A dialog the launcher made: a visible "Import / Export" window other than `other`.
    static plat::Dialog* Shown(plat::Dialog* other = nullptr)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<plat::Dialog*>(w);
                d && d != other && d->isVisible() && d->windowTitle() == "Import / Export")
                return d;
        return nullptr;
    }

    CImportExportDlg* Open(bool full)
    {
        auto* dlg = new CImportExportDlg;
        dlg->SetFullList(full ? 1 : 0);
        EXPECT_TRUE(dlg->Create(nullptr));
        return dlg;
    }

    static QComboBox* Combo(CImportExportDlg* dlg, unsigned id) { return dlg->Window()->ControlAs<QComboBox>(id); }

    // Picks path through the control's browse button under filter index filter.
    static void Pick(CInFileCtrl& ctrl, const std::string& path, int filter)
    {
        plat::FileDialogResult answer;
        answer.ok = true;
        answer.paths = {path};
        answer.filterIndex = filter;
        plat::ScopedFileDialogAnswerer answerer(answer);
        ctrl.OnBrowse();
        // The choice reaches the dialog as a posted notice.
        testsupport::PumpUntil([] { return false; }, 20ms);
    }

    testsupport::TempDir m_dir;
    ConverterEntry m_previous = nullptr;
};

TEST_F(ImportExportDlgTest, LaunchersShowTheShortOrTheFullListAndTheOutputsOfTheInput)
{
    ExternFunction().LaunchImportShort(nullptr);
    plat::Dialog* shortDlg = Shown();
    ASSERT_NE(shortDlg, nullptr);
    auto* inputs = shortDlg->ControlAs<QComboBox>(CImportExportDlg::IDC_INPUT_FORMAT);
    auto* outputs = shortDlg->ControlAs<QComboBox>(CImportExportDlg::IDC_OUTPUT_FORMAT);
    EXPECT_EQ(Codes(inputs), (std::vector<int>{0, 1, 5, 6, 7, 8}));
    EXPECT_EQ(Items(inputs)[1], "Format TIFF  (*.tif)");
    EXPECT_EQ(inputs->currentIndex(), 0);
    EXPECT_EQ(Codes(outputs), (std::vector<int>{7}));
    EXPECT_EQ(outputs->toolTip().toStdString(), "Выбор типа внешнего файла");
    EXPECT_TRUE(shortDlg->Control(CImportExportDlg::IDC_ADVANCED)->isEnabled());
    if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
        shortDlg->grab().save(QString::fromStdString(std::string(shots) + "/import_export_dialog.png"));

    ExternFunction().LaunchImport(nullptr);
    plat::Dialog* fullDlg = Shown(shortDlg);
    ASSERT_NE(fullDlg, nullptr);
    EXPECT_EQ(Codes(fullDlg->ControlAs<QComboBox>(CImportExportDlg::IDC_INPUT_FORMAT)),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));

    // A raster layer file as input offers raw, TIFF and ASCII; the save dialog's filter follows.
    inputs->setCurrentIndex(4);
    inputs->activated(4);
    EXPECT_EQ(Codes(outputs), (std::vector<int>{0, 1, 5}));
    EXPECT_EQ(outputs->currentIndex(), 0);
    outputs->setCurrentIndex(2);
    outputs->activated(2);
    inputs->setCurrentIndex(0);
    inputs->activated(0);
    EXPECT_EQ(Codes(outputs), (std::vector<int>{7}));
}

TEST_F(ImportExportDlgTest, PickingAnInputFollowsItsFilterAndNamesTheOutput)
{
    CImportExportDlg* dlg = Open(false);
    QComboBox* inputs = Combo(dlg, CImportExportDlg::IDC_INPUT_FORMAT);
    QComboBox* outputs = Combo(dlg, CImportExportDlg::IDC_OUTPUT_FORMAT);
    const std::string outFolder = dlg->OutputFile().GetOnlyPath();

    // Under the input combo's own filter: the output stays the raster layer file.
    const std::string scene = m_dir.File("scene.raw");
    Touch(scene);
    Pick(dlg->InputFile(), scene, 1);
    EXPECT_EQ(inputs->currentIndex(), 0);
    EXPECT_EQ(Codes(outputs), (std::vector<int>{7}));
    EXPECT_EQ(dlg->OutputFile().GetFileName(), "scene.rdp");
    EXPECT_EQ(dlg->OutputFile().GetOnlyPath(), outFolder);
    if (const char* shot = std::getenv("IMPORT_EXPORT_SHOT"))
        dlg->Window()->grab().save(QString::fromUtf8(shot));

    // Under the raster layer file's filter (position 4): the combo moves, the outputs are rebuilt.
    const std::string layer = m_dir.File("height");
    Touch(layer);
    Pick(dlg->InputFile(), layer, 5);
    EXPECT_EQ(inputs->currentIndex(), 4);
    EXPECT_EQ(Codes(outputs), (std::vector<int>{0, 1, 5}));
    EXPECT_EQ(dlg->OutputFile().GetFileName(), "height.raw");  // a name without '.' keeps all of it

    // The same filter again leaves the chosen output alone.
    outputs->setCurrentIndex(2);
    outputs->activated(2);
    Pick(dlg->InputFile(), layer, 5);
    EXPECT_EQ(outputs->currentIndex(), 2);
    EXPECT_EQ(dlg->OutputFile().GetFileName(), "height.txt");

    // The output's own dialog moves the output combo to its filter.
    Pick(dlg->OutputFile(), m_dir.File("x.tif"), 2);
    EXPECT_EQ(outputs->currentIndex(), 1);
    dlg->OnClose();
}

TEST_F(ImportExportDlgTest, ExecuteRefusesOrAsksBeforeStartingTheConverter)
{
    CImportExportDlg* dlg = Open(false);
    const std::string scene = m_dir.File("scene.raw");
    const std::string out = m_dir.File("scene.rdp");

    struct Step {
        const char* what;
        std::function<void()> prepare;
        int answer;
        std::string message;  // the box's text, "" for none
        size_t calls;         // converter calls so far
    };
    const Step steps[] = {
        {"nothing chosen", [] {}, plat::IDOK, "You should select an input file", 0},
        {"no output",
         [&] {
             Touch(scene);
             Pick(dlg->InputFile(), scene, 1);
             dlg->OutputFile().SetFileName("");
         },
         plat::IDOK, "You should select an output file", 0},
        {"input gone",
         [&] {
             dlg->OutputFile().SetFileName("scene.rdp");
             std::remove(scene.c_str());
         },
         plat::IDOK, "Unable to found the input file\n" + scene, 0},
        {"output is the input",
         [&] {
             Touch(scene);
             dlg->OutputFile().SetFileName("scene.raw");
         },
         plat::IDOK, "The output file is an input of this conversion:\n" + scene, 0},
        {"both fine", [&] { dlg->OutputFile().SetFileName("scene.rdp"); }, plat::IDOK, "", 1},
        {"replace: No", [&] { Touch(out); }, plat::IDNO, "File with name " + out + " already exists.\nReplace it?", 1},
        {"replace: Yes", [] {}, plat::IDYES, "File with name " + out + " already exists.\nReplace it?", 2},
    };
    dlg->OutputFile().SetOnlyPath((m_dir.Path() + "/").c_str());
    for (const Step& s : steps) {
        s.prepare();
        plat::ScopedMessageBoxAnswerer boxes(s.answer);
        qobject_cast<QPushButton*>(dlg->Window()->Control(CImportExportDlg::IDC_EXECUTE))->click();
        const auto shown = boxes.Calls();
        if (s.message.empty()) {
            EXPECT_TRUE(shown.empty()) << s.what;
        } else {
            ASSERT_EQ(shown.size(), 1u) << s.what;
            EXPECT_EQ(shown[0].text, s.message) << s.what;
            EXPECT_EQ(shown[0].caption, "File Conversion") << s.what;
            EXPECT_TRUE(shown[0].owned) << s.what;
        }
        EXPECT_EQ(g_calls.size(), s.calls) << s.what;
    }
    // The raw import takes (input, output); the dialog stays open for the next one.
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].first, scene);
    EXPECT_EQ(g_calls[0].second, out);
    EXPECT_TRUE(dlg->Window()->isVisible());

    // "All files" goes to the raw import too.
    QComboBox* inputs = Combo(dlg, CImportExportDlg::IDC_INPUT_FORMAT);
    inputs->setCurrentIndex(5);
    inputs->activated(5);
    EXPECT_EQ(Codes(dlg->Outputs()), (std::vector<int>{7}));
    plat::ScopedMessageBoxAnswerer yes(plat::IDYES);
    dlg->OnExecute();
    EXPECT_EQ(g_calls.size(), 3u);

    // Escape closes and deletes the dialog.
    QPointer<plat::Dialog> window = dlg->Window();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window, &escape);
    testsupport::PumpUntil([&] { return window.isNull(); }, 2s);
    EXPECT_TRUE(window.isNull());
}

}  // namespace
