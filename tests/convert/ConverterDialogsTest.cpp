// The ASCII import, ASCII export and bitmap import dialogs, driven offscreen: their
// controls, refusals told in boxes (answered, never shown), and jobs to the end.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "ResultViewers.h"
#include "TempDir.h"
#include "ascii/AsciiExportDlg.h"
#include "ascii/AsciiImportDlg.h"
#include "bmp/BmpImportDlg.h"
#include "dialogs/InFileCtrl.h"
#include "jobs/MeterDialog.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"

using namespace std::chrono_literals;

namespace {

std::mutex g_openedMutex;
std::vector<std::pair<std::string, int>> g_opened;

void RecordOpen(const std::string& file, int stretch)
{
    std::lock_guard<std::mutex> lock(g_openedMutex);
    g_opened.push_back({file, stretch});
}

std::vector<std::pair<std::string, int>> Opened()
{
    std::lock_guard<std::mutex> lock(g_openedMutex);
    return g_opened;
}

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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

// Waits for the progress window titled title to finish, then presses button.
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

class ConverterDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetResultOpener(RecordOpen);
        std::lock_guard<std::mutex> lock(g_openedMutex);
        g_opened.clear();
    }
    void TearDown() override
    {
        for (const char* title : {"Import ASCII", "Export ASCII", "BMP Import"})
            while (plat::Dialog* d = FindWindow(title))
                Click(d, 2);
        testsupport::PumpUntil([] { return false; }, 50ms);
        SetResultOpener(nullptr);
    }
    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_dir.File(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    testsupport::TempDir m_dir;
};

// A 24-bit (or 8-bit) bitmap of width x height, bottom-up, 40-byte header.
std::string Bitmap(int bits, int width, int height)
{
    const int row = (width * bits / 8 + 3) / 4 * 4;
    const int table = bits == 8 ? 1024 : 0;
    std::string b(std::size_t(54 + table + row * height), '\0');
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + std::size_t(i)] = char(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, std::uint32_t(b.size()), 4);
    put(10, std::uint32_t(54 + table), 4);
    put(14, 40, 4);
    put(18, std::uint32_t(width), 4);
    put(22, std::uint32_t(height), 4);
    put(26, 1, 2);
    put(28, std::uint32_t(bits), 2);
    for (std::size_t i = 54; i < b.size(); ++i)
        b[i] = char(i * 7);
    return b;
}

}  // namespace

TEST_F(ConverterDialogsTest, AsciiImportRefusalsStatisticsAndJob)
{
    const std::string in = Write("points.txt", "1 1 5.0\n3 2 7.5\n"), out = m_dir.File("grid.rdp");
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    ASSERT_EQ(LaunchAsciiImport(out.c_str(), in.c_str()), 1);
    plat::Dialog* d = FindWindow("Import ASCII");
    ASSERT_NE(d, nullptr);
    const unsigned combos[3] = {CAsciiImportDlg::IDC_COLUMN_A, CAsciiImportDlg::IDC_COLUMN_B,
                                CAsciiImportDlg::IDC_COLUMN_C};
    for (unsigned id : combos) {
        auto* box = d->ControlAs<QComboBox>(id);
        EXPECT_EQ(box->currentIndex(), -1);
        ASSERT_EQ(box->count(), 3);
        EXPECT_EQ(box->itemText(0).toStdString(), "X");
        EXPECT_EQ(box->itemText(2).toStdString(), "Z");
    }
    EXPECT_EQ(d->ControlText(CAsciiImportDlg::IDC_MAX_C), "0");
    EXPECT_EQ(d->ControlText(CAsciiImportDlg::IDC_STATISTICS), "Statictics");
    Click(d, CAsciiImportDlg::IDC_STATISTICS);
    EXPECT_EQ(d->ControlText(CAsciiImportDlg::IDC_MIN_A), "1");
    EXPECT_EQ(d->ControlText(CAsciiImportDlg::IDC_MAX_A), "3");
    EXPECT_EQ(d->ControlText(CAsciiImportDlg::IDC_MAX_C), "7.5");
    EXPECT_TRUE(d->ControlAs<QLineEdit>(CAsciiImportDlg::IDC_MIN_B)->isReadOnly());
    Shot(d, "ascii_import_dialog.png");

    struct Case {
        int roles[3];
        const char* text;
    };
    const Case refusals[] = {
        {{0, 0, 2}, "It is neccesary to select different columns"},
        {{-1, -1, 2}, "It is neccesary to select different columns"},
        {{0, 1, -1}, "Unable convert"},
        {{2, 1, 0}, "Invalid MinX"},  // X is column C: 5.0 at least
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.text);
        for (int i = 0; i < 3; ++i)
            d->ControlAs<QComboBox>(combos[i])->setCurrentIndex(c.roles[i]);
        const std::size_t before = boxes.Calls().size();
        Click(d, CAsciiImportDlg::IDC_EXECUTE);
        ASSERT_EQ(boxes.Calls().size(), before + 1);
        EXPECT_EQ(boxes.Calls().back().text, c.text);
        EXPECT_EQ(boxes.Calls().back().caption, "");
    }
    EXPECT_FALSE(Exists(out));

    for (int i = 0; i < 3; ++i)
        d->ControlAs<QComboBox>(combos[i])->setCurrentIndex(i);
    Click(d, CAsciiImportDlg::IDC_EXECUTE);
    ASSERT_TRUE(FinishJob("Импорт ASCII", CMeterDialog::IDC_VIEW));
    EXPECT_EQ(Opened(), (std::vector<std::pair<std::string, int>>{{out, 2}}));
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(out.c_str(), 0), nullptr);
    EXPECT_EQ(layer.Width(), 3);
    EXPECT_EQ(layer.Height(), 2);
    EXPECT_EQ(layer.Type(), FLOAT32);
    // The dialog stays open for another import.
    EXPECT_EQ(FindWindow("Import ASCII"), d);
}

TEST_F(ConverterDialogsTest, AsciiExportLayoutsAndDelimiters)
{
    const std::string in = m_dir.File("layer.rdp"), out = m_dir.File("out.txt");
    {
        CRDPLayer layer;
        ASSERT_NE(layer.CreateLayer(in.c_str(), 2, 2, UINT8, 0), nullptr);
        const unsigned char values[4] = {1, 2, 3, 4};
        for (int y = 0; y < 2; ++y)
            std::memcpy(layer.Rows()[y], values + 2 * y, 2);
        layer.CloseLayer();
    }
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    ASSERT_EQ(LaunchAsciiExport(out.c_str(), in.c_str()), 1);
    plat::Dialog* d = FindWindow("Export ASCII");
    ASSERT_NE(d, nullptr);
    auto radio = [&](unsigned id) { return d->ControlAs<QRadioButton>(id); };
    EXPECT_TRUE(radio(CAsciiExportDlg::IDC_COLUMNS)->isChecked());
    EXPECT_TRUE(radio(CAsciiExportDlg::IDC_SPACE)->isChecked());
    EXPECT_EQ(radio(CAsciiExportDlg::IDC_OTHER)->text().toStdString(), "Other...");
    EXPECT_EQ(radio(CAsciiExportDlg::IDC_COLUMNS)->text().toStdString(), "Three columns ( X Y Z)");
    Shot(d, "ascii_export_dialog.png");
    struct Case {
        unsigned layout, delimiter;
        const char* other;
        const char* text;
    };
    const Case cases[] = {
        {CAsciiExportDlg::IDC_COLUMNS, CAsciiExportDlg::IDC_SPACE, "", "0 0 1\n1 0 2\n0 1 3\n1 1 4\n"},
        {CAsciiExportDlg::IDC_MATRIX, CAsciiExportDlg::IDC_TAB, "", "1\t2\n3\t4\n"},
        {CAsciiExportDlg::IDC_MATRIX, CAsciiExportDlg::IDC_COMMA, "", "1,2\n3,4\n"},
        {CAsciiExportDlg::IDC_MATRIX, CAsciiExportDlg::IDC_OTHER, "", "12\n34\n"},
        {CAsciiExportDlg::IDC_COLUMNS, CAsciiExportDlg::IDC_OTHER, "; ", "0; 0; 1\n1; 0; 2\n0; 1; 3\n1; 1; 4\n"},
    };
    const std::string title = "Export into ASCII: " + in + " -> " + out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ::unlink(out.c_str());
        radio(c.layout)->setChecked(true);
        radio(c.delimiter)->setChecked(true);
        d->SetControlText(CAsciiExportDlg::IDC_OTHER_TEXT, c.other);
        Click(d, CAsciiExportDlg::IDC_EXECUTE);
        ASSERT_TRUE(FinishJob(title, CMeterDialog::IDC_OK));
        EXPECT_EQ(ReadAll(out), c.text);
    }
    EXPECT_TRUE(Opened().empty());
}

TEST_F(ConverterDialogsTest, BmpImportRefusals)
{
    std::string four = Bitmap(24, 3, 2);
    four[28] = 4;
    std::string rle = Bitmap(8, 3, 2);
    rle[30] = 1;
    struct Case {
        const char* name;
        std::string file;
        std::string text;
        unsigned type;
    };
    const std::string missing = m_dir.File("missing.bmp");
    const std::vector<Case> cases = {
        {"missing", missing, "Unable to open file" + missing, plat::MB_OKCANCEL | plat::MB_ICONERROR},
        {"not a bitmap", Write("text.bmp", "hello, world, this is no bitmap at all........................"),
         "Invalid format of the input file\n" + m_dir.File("text.bmp"), plat::MB_OKCANCEL},
        {"4 bits", Write("four.bmp", four), "Unsupported data type\n" + m_dir.File("four.bmp"), plat::MB_OKCANCEL},
        {"run-length", Write("rle.bmp", rle), "Unsupported data type\n" + m_dir.File("rle.bmp"), plat::MB_OKCANCEL},
        {"truncated", Write("short.bmp", Bitmap(24, 3, 2).substr(0, 60)),
         "Invalid format of the input file\n" + m_dir.File("short.bmp"), plat::MB_OKCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        EXPECT_EQ(LaunchBmpImport(c.file.c_str(), m_dir.File("out.rdp").c_str()), 0);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, c.text);
        EXPECT_EQ(boxes.Calls()[0].caption, "Importing bitmap");
        EXPECT_EQ(boxes.Calls()[0].type, c.type);
        EXPECT_EQ(FindWindow("BMP Import"), nullptr);
    }
}

TEST_F(ConverterDialogsTest, BmpImportEightBitAndColour)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    {
        SCOPED_TRACE("8 bits");
        const std::string in = Write("pal.bmp", Bitmap(8, 5, 2)), out = m_dir.File("pal.rdp");
        ASSERT_EQ(LaunchBmpImport(in.c_str(), out.c_str()), 1);
        plat::Dialog* d = FindWindow("BMP Import");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->ControlText(CBmpImportDlg::IDC_FILE_SIZE), "5 x 2");
        EXPECT_EQ(d->ControlText(CBmpImportDlg::IDC_FILE_TYPE), "8 bit, 256 Colors");
        Shot(d, "bmp_import_8bit.png");
        Click(d, CBmpImportDlg::IDC_EXECUTE);
        ASSERT_TRUE(FinishJob("Importing bitmap", CMeterDialog::IDC_VIEW));
        EXPECT_EQ(Opened(), (std::vector<std::pair<std::string, int>>{{out, 0}}));
        Click(d, CBmpImportDlg::IDC_CLOSE);
    }
    {
        SCOPED_TRACE("24 bits");
        {
            std::lock_guard<std::mutex> lock(g_openedMutex);
            g_opened.clear();
        }
        const std::string in = Write("rgb.bmp", Bitmap(24, 4, 3)), out = m_dir.File("scene.rdp");
        ASSERT_EQ(LaunchBmpImport(in.c_str(), out.c_str()), 1);
        plat::Dialog* d = FindWindow("BMP Import");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->ControlText(CBmpImportDlg::IDC_FILE_SIZE), "4 x 3");
        EXPECT_EQ(d->ControlText(CBmpImportDlg::IDC_FILE_TYPE), "24 bit, 16M True Color");
        Shot(d, "bmp_import_24bit.png");
        // The blue file is renamed by the user before Execute.
        const std::vector<std::string> want = {m_dir.File("scene_R.rdp"), m_dir.File("scene_G.rdp"),
                                               m_dir.File("blue.rdp")};
        QList<QLineEdit*> edits = d->findChildren<QLineEdit*>();
        QLineEdit* blue = nullptr;
        for (QLineEdit* e : edits)
            if (e->text() == "scene_B.rdp")
                blue = e;
        ASSERT_NE(blue, nullptr);
        blue->setText("blue.rdp");
        Click(d, CBmpImportDlg::IDC_EXECUTE);
        ASSERT_TRUE(FinishJob("Importing bitmap", CMeterDialog::IDC_VIEW))
            << (boxes.Calls().empty() ? std::string("no box") : boxes.Calls().back().text);
        std::vector<std::pair<std::string, int>> opened;
        for (const std::string& name : want)
            opened.push_back({name, 0});
        EXPECT_EQ(Opened(), opened);
        for (const std::string& name : want) {
            CRDPLayer layer;
            ASSERT_NE(layer.OpenLayer(name.c_str(), 0), nullptr) << name;
            EXPECT_EQ(layer.Width(), 4);
            EXPECT_EQ(layer.Height(), 3);
        }
        EXPECT_FALSE(Exists(out));
    }
}
