// The complex-file and sample-type change dialogs driven offscreen: their
// arrangements, lists and follow mode, refusals told in boxes (answered, never
// shown), and jobs to the end.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ImportExportDlg.h"
#include "PumpUntil.h"
#include "ResultViewers.h"
#include "TempDir.h"
#include "complex/ComplexDlg.h"
#include "dialogs/InFileCtrl.h"
#include "jobs/MeterDialog.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "typechange/TypeChangeDlg.h"

using namespace std::chrono_literals;

namespace {

std::mutex g_openedMutex;
std::vector<std::pair<std::string, int>> g_opened;

void RecordOpen(const std::string& file, int stretch)
{
    std::lock_guard<std::mutex> lock(g_openedMutex);
    g_opened.push_back({file, stretch});
}

std::vector<std::pair<std::string, int>> TakeOpened()
{
    std::lock_guard<std::mutex> lock(g_openedMutex);
    auto opened = g_opened;
    g_opened.clear();
    return opened;
}

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

plat::Dialog* FindWindow(const std::string& title, unsigned needs = 0)
{
    plat::Dialog* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = dynamic_cast<plat::Dialog*>(w);
        if (d && d->isVisible() && d->windowTitle().toStdString() == title && (needs == 0 || d->Control(needs)))
            found = d;
    }
    return found;
}

void Click(plat::Dialog* d, unsigned id)
{
    ASSERT_NE(d->Control(id), nullptr);
    qobject_cast<QAbstractButton*>(d->Control(id))->click();
}

void Shot(QWidget* w, const char* name)
{
    if (const char* shots = std::getenv("SUITE_SHOT_DIR"))
        w->grab().save(QString::fromStdString(std::string(shots) + "/" + name));
}

bool FinishJob(const std::string& title, unsigned button)
{
    plat::Dialog* meter = nullptr;
    const bool done = testsupport::PumpUntil(
        [&] {
            meter = FindWindow(title, button);
            return meter && meter->Control(button)->isVisible();
        },
        20s);
    if (!done)
        return false;
    Click(meter, button);
    return true;
}

// A layer file closed with its statistics.
void MakeLayer(const std::string& path, int type, int width, int height, const std::vector<double>& components)
{
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(path.c_str(), width, height, type, 7), nullptr);
    for (int y = 0; y < height; ++y) {
        const int perRow = int(components.size()) / height;
        if (IsComplexType(type)) {
            std::vector<double> re, im;
            for (int x = 0; x < perRow; x += 2) {
                re.push_back(components[std::size_t(y * perRow + x)]);
                im.push_back(components[std::size_t(y * perRow + x + 1)]);
            }
            layer.SetLineFromDouble(y, re.data(), 1);
            layer.SetLineFromDouble(y, im.data(), 2);
        } else {
            layer.SetLineFromDouble(y, components.data() + y * perRow, 1);
        }
    }
    layer.CloseLayer();
}

bool ReadOnly(const CInFileCtrl& ctrl)
{
    return ctrl.FileNameEdit()->isReadOnly();
}

bool Enabled(const CInFileCtrl& ctrl)
{
    return ctrl.BrowseButton()->isEnabled();
}

class ComplexDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetResultOpener(RecordOpen);
        TakeOpened();
    }
    void TearDown() override
    {
        for (const char* title : {"Operations with complex files", "Change data type"})
            while (plat::Dialog* d = FindWindow(title))
                Click(d, 2);
        testsupport::PumpUntil([] { return false; }, 50ms);
        SetResultOpener(nullptr);
    }

    testsupport::TempDir m_dir;
};

}  // namespace

TEST_F(ComplexDialogsTest, ComplexArrangementsAndRefusals)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    ExternFunction().LaunchComplex();
    plat::Dialog* d = FindWindow("Operations with complex files");
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(boxes.Calls().empty());
    // The dialog object behind the window: the launcher's own.
    CComplexDlg* dlg = OpenComplexDialog();
    ASSERT_NE(dlg, nullptr);
    Click(d, CComplexDlg::IDC_CLOSE);
    d = dlg->Window();

    auto radio = [&](unsigned id) { return d->ControlAs<QRadioButton>(id); };
    auto check = [&](unsigned id) { return d->ControlAs<QCheckBox>(id); };
    // Divide, amplitude and phase, both writes on.
    EXPECT_TRUE(radio(CComplexDlg::IDC_DIVIDE)->isChecked());
    EXPECT_TRUE(radio(CComplexDlg::IDC_AMP_PHASE)->isChecked());
    EXPECT_EQ(dlg->Action(), 1);
    EXPECT_EQ(d->ControlText(CComplexDlg::IDC_LABEL1), "Amplitude");
    EXPECT_EQ(d->ControlText(CComplexDlg::IDC_LABEL2), "Phase");
    EXPECT_TRUE(check(CComplexDlg::IDC_WRITE1)->isChecked() && check(CComplexDlg::IDC_WRITE1)->isEnabled());
    EXPECT_TRUE(check(CComplexDlg::IDC_WRITE2)->isChecked() && check(CComplexDlg::IDC_WRITE2)->isEnabled());
    EXPECT_TRUE(ReadOnly(dlg->ComplexFile()));
    EXPECT_FALSE(ReadOnly(dlg->Component1()));
    EXPECT_TRUE(Enabled(dlg->Component1()) && Enabled(dlg->Component2()));
    EXPECT_EQ(radio(CComplexDlg::IDC_JOIN)->toolTip().toStdString(), "Creating Complex file");
    EXPECT_EQ(radio(CComplexDlg::IDC_DIVIDE)->toolTip().toStdString(), "Division of Complex file");
    Shot(d, "complex_dialog_divide.png");

    // A write check turns its component and label on and off.
    Click(d, CComplexDlg::IDC_WRITE1);
    EXPECT_FALSE(Enabled(dlg->Component1()));
    EXPECT_FALSE(d->Control(CComplexDlg::IDC_LABEL1)->isEnabled());
    EXPECT_TRUE(Enabled(dlg->Component2()));
    Click(d, CComplexDlg::IDC_WRITE1);
    EXPECT_TRUE(Enabled(dlg->Component1()));

    Click(d, CComplexDlg::IDC_RE_IM);
    EXPECT_EQ(d->ControlText(CComplexDlg::IDC_LABEL1), "Real");
    EXPECT_EQ(d->ControlText(CComplexDlg::IDC_LABEL2), "Imaginary");

    // Join: components chosen as existing files, the complex file typed.
    Click(d, CComplexDlg::IDC_WRITE2);
    Click(d, CComplexDlg::IDC_JOIN);
    EXPECT_EQ(dlg->Action(), 0);
    EXPECT_TRUE(ReadOnly(dlg->Component1()) && ReadOnly(dlg->Component2()));
    EXPECT_TRUE(Enabled(dlg->Component1()) && Enabled(dlg->Component2()));
    EXPECT_TRUE(d->Control(CComplexDlg::IDC_LABEL2)->isEnabled());
    EXPECT_FALSE(check(CComplexDlg::IDC_WRITE1)->isEnabled());
    EXPECT_FALSE(check(CComplexDlg::IDC_WRITE2)->isEnabled());
    EXPECT_FALSE(ReadOnly(dlg->ComplexFile()));
    Shot(d, "complex_dialog_join.png");

    const std::string caption = "Operation with complex files";
    const std::string unable = "Unable to complete the operation:\n";
    Click(d, CComplexDlg::IDC_EXECUTE);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls().back().text, unable + "It is neccesary to input complex file name");
    EXPECT_EQ(boxes.Calls().back().caption, caption);
    EXPECT_EQ(boxes.Calls().back().type, unsigned(plat::MB_OK | plat::MB_ICONEXCLAMATION));

    const std::string a = m_dir.File("re.rdp"), b = m_dir.File("im.rdp"), c = m_dir.File("c.rdp");
    MakeLayer(a, SINT16, 2, 1, {1, -2});
    MakeLayer(b, SINT16, 2, 1, {3, 4});
    dlg->ComplexFile().SetPathName(c.c_str());
    Click(d, CComplexDlg::IDC_EXECUTE);
    EXPECT_EQ(boxes.Calls().back().text, unable + "It is neccesary to input component file name");
    dlg->Component1().SetPathName(a.c_str());
    dlg->Component2().SetPathName(b.c_str());
    dlg->ComplexFile().SetPathName((m_dir.Path() + "/./re.rdp").c_str());
    Click(d, CComplexDlg::IDC_EXECUTE);
    EXPECT_EQ(boxes.Calls().back().text, unable + "File names shouldn't match");
    const std::size_t refusals = boxes.Calls().size();

    dlg->ComplexFile().SetPathName(c.c_str());
    Click(d, CComplexDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob("Creating Complex file", CMeterDialog::IDC_VIEW));
    EXPECT_EQ(boxes.Calls().size(), refusals);
    EXPECT_EQ(TakeOpened(), (std::vector<std::pair<std::string, int>>{{c, 2}}));
    CRDPLayer joined;
    ASSERT_NE(joined.OpenLayer(c.c_str(), 0), nullptr);
    EXPECT_EQ(joined.Type(), CSINT16);
    joined.CloseLayer();

    // Divide with write #2 alone: one file written, and View opens it.
    Click(d, CComplexDlg::IDC_DIVIDE);
    EXPECT_FALSE(Enabled(dlg->Component2()));  // its check was turned off above
    Click(d, CComplexDlg::IDC_WRITE2);
    Click(d, CComplexDlg::IDC_WRITE1);
    EXPECT_FALSE(Enabled(dlg->Component1()));
    EXPECT_TRUE(Enabled(dlg->Component2()));
    dlg->ComplexFile().SetPathName(c.c_str());
    const std::string two = m_dir.File("two.rdp");
    dlg->Component2().SetPathName(two.c_str());
    Click(d, CComplexDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob("Division of Complex file", CMeterDialog::IDC_VIEW));
    EXPECT_EQ(TakeOpened(), (std::vector<std::pair<std::string, int>>{{two, 2}}));
    EXPECT_FALSE(Exists(m_dir.File("one.rdp")));
    EXPECT_EQ(FindWindow("Operations with complex files"), d);
}

TEST_F(ComplexDialogsTest, TypeChangeListsAndFollowMode)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    ExternFunction().LaunchTypeChange();
    ASSERT_NE(FindWindow("Change data type"), nullptr);
    Click(FindWindow("Change data type"), CTypeChangeDlg::IDC_CLOSE);
    CTypeChangeDlg* dlg = OpenTypeChangeDialog();
    ASSERT_NE(dlg, nullptr);
    plat::Dialog* d = dlg->Window();
    auto* list = d->ControlAs<QComboBox>(CTypeChangeDlg::IDC_NEW_TYPE);
    auto items = [&] {
        std::vector<std::string> texts;
        for (int i = 0; i < list->count(); ++i)
            texts.push_back(list->itemText(i).toStdString());
        return texts;
    };
    EXPECT_EQ(items(), (std::vector<std::string>{"8-bit unsigned int", "8-bit signed int", "16-bit unsigned int",
                                                 "16-bit signed int", "32-bit unsigned int", "32-bit signed int",
                                                 "32-bit float", "64-bit float"}));
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_NEW_MIN), "0");
    EXPECT_EQ(list->toolTip().toStdString(), "New data type");
    EXPECT_EQ(d->Control(CTypeChangeDlg::IDC_NEW_MAX)->toolTip().toStdString(), "New max");

    auto choose = [&](const std::string& path) {
        dlg->InputFile().SetPathName(path.c_str());
        d->Handle().SendMessage(WM_INFILE_CHOSEN, CTypeChangeDlg::IDC_INPUT, 0);
    };
    auto select = [&](int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    };

    const std::string f32 = m_dir.File("f32.rdp");
    MakeLayer(f32, FLOAT32, 3, 1, {-300, 50, 10});
    choose(f32);
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_OLD_MIN), "-300.000000");
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_OLD_MAX), "50.000000");
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_NEW_MIN), "-300");
    EXPECT_EQ(list->count(), 8);
    EXPECT_EQ(list->itemText(0).toStdString(), GetDataTypeName(UINT8, 0));
    EXPECT_EQ(list->currentIndex(), FLOAT32 - 1);
    EXPECT_FALSE(d->ControlAs<QLineEdit>(CTypeChangeDlg::IDC_NEW_MAX)->isReadOnly());
    select(SINT8 - 1);
    EXPECT_EQ(dlg->NewType(), SINT8);
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_NEW_MIN), "-128");
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_NEW_MAX), "50");
    Shot(d, "type_change_dialog.png");
    select(-1);
    EXPECT_FALSE(d->Control(CTypeChangeDlg::IDC_EXECUTE)->isEnabled());
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_NEW_MAX), "0");

    struct Source {
        int type;
        int entries;
        int selected;
    };
    const Source sources[] = {{CSINT16, 5, 1}, {CFLOAT64, 5, 4}, {CUINT8, 5, -1}, {UINT16, 8, 2}};
    for (const Source& s : sources) {
        SCOPED_TRACE(s.type);
        const std::string path = m_dir.File("src" + std::to_string(s.type) + ".rdp");
        MakeLayer(path, s.type, 2, 1, IsComplexType(s.type) ? std::vector<double>{3, 4, 0, 1} : std::vector<double>{1, 2});
        choose(path);
        EXPECT_EQ(list->count(), s.entries);
        EXPECT_EQ(list->currentIndex(), s.selected);
        EXPECT_EQ(dlg->NewType(), s.type);
        EXPECT_EQ(dlg->IsComplexSource(), IsComplexType(s.type));
    }
    EXPECT_EQ(list->itemText(0).toStdString(), GetDataTypeName(UINT8, 0));

    // A constant source: the new maximum follows the new minimum.
    const std::string constant = m_dir.File("four.rdp");
    MakeLayer(constant, SINT16, 2, 2, {4, 4, 4, 4});
    choose(constant);
    EXPECT_EQ(dlg->Equal(), 1);
    EXPECT_TRUE(d->ControlAs<QLineEdit>(CTypeChangeDlg::IDC_NEW_MAX)->isReadOnly());
    d->ControlAs<QLineEdit>(CTypeChangeDlg::IDC_NEW_MIN)->setText("8");
    EXPECT_EQ(d->ControlText(CTypeChangeDlg::IDC_NEW_MAX), "8");
    const std::string eight = m_dir.File("eight.rdp");
    dlg->OutputFile().SetPathName(eight.c_str());
    Click(d, CTypeChangeDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob("File type conversion", CMeterDialog::IDC_VIEW));
    EXPECT_EQ(TakeOpened(), (std::vector<std::pair<std::string, int>>{{eight, 2}}));
    CRDPLayer result;
    ASSERT_NE(result.OpenLayer(eight.c_str(), 0), nullptr);
    EXPECT_EQ(result.Min(), 8);
    EXPECT_EQ(result.Max(), 8);
    result.CloseLayer();
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(ComplexDialogsTest, TypeChangeRefusalsAndSint32Bounds)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    CTypeChangeDlg* dlg = OpenTypeChangeDialog();
    ASSERT_NE(dlg, nullptr);
    plat::Dialog* d = dlg->Window();
    auto* list = d->ControlAs<QComboBox>(CTypeChangeDlg::IDC_NEW_TYPE);
    const std::string in = m_dir.File("in.rdp"), out = m_dir.File("out.rdp");
    MakeLayer(in, FLOAT64, 3, 1, {-5, 0, 5});
    dlg->InputFile().SetPathName(in.c_str());
    d->Handle().SendMessage(WM_INFILE_CHOSEN, CTypeChangeDlg::IDC_INPUT, 0);
    list->setCurrentIndex(SINT32 - 1);
    emit list->activated(SINT32 - 1);

    struct Case {
        const char* min;
        const char* max;
        std::string output;
        const char* text;
    };
    const Case cases[] = {
        {"-2147483649", "5", out, "New min value less than \n possible value for this range"},
        {"0", "2147483648", out, "New max value more than \n possible value for this range"},
        {"0", "5", in, "Input and Output names must not be equal"},
        {"0", "5", m_dir.Path() + "/./in.rdp", "Input and Output names must not be equal"},
        {"6", "5", out, "Min cannot exceed Max"},
        {"5", "5", out, "Invalid values of Min and Max"},
        {"five", "5", out, "Please enter a number."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        d->SetControlText(CTypeChangeDlg::IDC_NEW_MIN, c.min);
        d->SetControlText(CTypeChangeDlg::IDC_NEW_MAX, c.max);
        dlg->OutputFile().SetPathName(c.output.c_str());
        const std::size_t before = boxes.Calls().size();
        Click(d, CTypeChangeDlg::IDC_EXECUTE);
        ASSERT_EQ(boxes.Calls().size(), before + 1);
        EXPECT_EQ(boxes.Calls().back().text, c.text);
        EXPECT_FALSE(Exists(out));
    }

    d->SetControlText(CTypeChangeDlg::IDC_NEW_MIN, "-2147483648");
    d->SetControlText(CTypeChangeDlg::IDC_NEW_MAX, "2147483647");
    dlg->OutputFile().SetPathName(out.c_str());
    const std::size_t before = boxes.Calls().size();
    Click(d, CTypeChangeDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob("File type conversion", CMeterDialog::IDC_VIEW));
    EXPECT_EQ(boxes.Calls().size(), before);
    CRDPLayer result;
    ASSERT_NE(result.OpenLayer(out.c_str(), 0), nullptr);
    EXPECT_EQ(result.Type(), SINT32);
    EXPECT_EQ(result.Min(), -2147483648.0);
    EXPECT_EQ(result.Max(), 2147483647.0);
}
