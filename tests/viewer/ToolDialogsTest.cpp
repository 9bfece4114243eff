// The viewer frame's tool dialogs: brightness and contrast, cursor position, channel
// levels and the palette editor. Each dialog alone against a recording frame (what it
// sends, step by step), then inside a real viewer (what the image shows).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/CommandBars.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "RasterViewTestSupport.h"
#include "platform/dialogs/SpinButton.h"
#include "bars/ViewerBars.h"
#include "controls/DisEdit.h"
#include "controls/ListFrame.h"
#include "dialogs/BrightContrastDlg.h"
#include "dialogs/CursorPosDlg.h"
#include "dialogs/PaletteDlg.h"
#include "dialogs/RGBLevelsDlg.h"
#include "dialogs/ToolDialogMath.h"
#include "frame/FrameViewer.h"
#include "window/ViewRect.h"
#include "window/ViewerMessages.h"

namespace {

using namespace rvtest;
using Request = std::pair<int, int>;  // code, value

// Stands for the frame: records every request it is sent.
class RecordingFrame final {
public:
    RecordingFrame()
    {
        widget.resize(200, 100);
        handle = plat::WindowHandle::Attach(&widget, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            if (msg == WM_VIEWER_DLGCMD)
                requests.emplace_back(int(w), int(l));
            return plat::LResult(1);
        });
    }
    std::vector<Request> Take() { return std::exchange(requests, {}); }

    QWidget widget;
    plat::WindowHandle handle;
    std::vector<Request> requests;
};

QLineEdit* Edit(CToolDialog& dlg, unsigned id)
{
    return dlg.Window()->ControlAs<QLineEdit>(id);
}

// Replaces a field's text as a user would: select all, then type.
void Retype(QLineEdit* edit, const char* text)
{
    edit->setFocus();
    edit->selectAll();
    if (*text)
        QTest::keyClicks(edit, text);
    else
        QTest::keyClick(edit, Qt::Key_Backspace);
}

TEST(ToolDialogMath, ReadsLabelsAndCommits)
{
    const struct {
        const char* text;
        bool ok;
        int value;
    } ints[] = {{"12", true, 12}, {" -7 ", true, -7}, {"+5", true, 5}, {"", false, 0}, {"1x", false, 0},
                {"2147483648", false, 0}, {"-2147483648", true, INT_MIN}, {"+-1", false, 0}};
    for (const auto& i : ints) {
        const std::optional<int> v = ParseDialogInt(i.text);
        EXPECT_EQ(v.has_value(), i.ok) << i.text;
        if (v)
            EXPECT_EQ(*v, i.value) << i.text;
    }
    EXPECT_EQ(LevelLabel("Red", 254), "Red: 254");
    const struct {
        const char* text;
        int value;
        const char* corrected;
    } commits[] = {{"17", 17, nullptr}, {"300", 255, "255"}, {"-4", 0, "0"}, {"", 0, nullptr},
                   {"4294967297", 255, "255"}, {"-4294967297", 0, "0"}, {"255", 255, nullptr}};
    for (const auto& c : commits) {
        const PaletteCommit r = CommitPaletteText(c.text);
        EXPECT_EQ(r.value, c.value) << c.text;
        EXPECT_EQ(r.corrected.has_value(), c.corrected != nullptr) << c.text;
        if (c.corrected && r.corrected)
            EXPECT_EQ(*r.corrected, c.corrected) << c.text;
    }
}

TEST(BrightContrastDlgTest, ArrowsTypingAndClosing)
{
    RecordingFrame frame;
    CBrightContrastDlg dlg;
    dlg.Create(&frame.widget, frame.handle);
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_BRIGHTNESS, 0}, {REQ_CONTRAST, 0}})) << "the first values";
    EXPECT_EQ(dlg.Text(CBrightContrastDlg::IDC_BRIGHTNESS), "0");
    dlg.Show(true);

    // The arrows step by one within their ranges, one request per step.
    const struct {
        plat::SpinButton* spin;
        int code, from, up, down;
    } spins[] = {{dlg.BrightnessSpin(), REQ_BRIGHTNESS, 198, 200, -200},
                 {dlg.ContrastSpin(), REQ_CONTRAST, 125, 127, -127}};
    for (const auto& s : spins) {
        s.spin->SetPos(s.from);
        frame.Take();
        for (int i = 0; i < 3; ++i)
            s.spin->UpArrow()->click();
        EXPECT_EQ(frame.Take(), (std::vector<Request>{{s.code, s.up - 1}, {s.code, s.up}})) << s.code;
        s.spin->SetPos(s.down + 1);
        frame.Take();
        for (int i = 0; i < 3; ++i)
            s.spin->DownArrow()->click();
        EXPECT_EQ(frame.Take(), (std::vector<Request>{{s.code, s.down}})) << s.code;
    }
    EXPECT_EQ(dlg.Brightness(), -200);
    EXPECT_EQ(dlg.Contrast(), -127);

    // A typed value goes out unchanged, past the arrows' range.
    QLineEdit* bright = Edit(dlg, CBrightContrastDlg::IDC_BRIGHTNESS);
    QLineEdit* contrast = Edit(dlg, CBrightContrastDlg::IDC_CONTRAST);
    contrast->setText("5");
    frame.Take();
    Retype(bright, "300");
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_BRIGHTNESS, 3}, {REQ_BRIGHTNESS, 30}, {REQ_BRIGHTNESS, 300}}));
    // Typing takes digits only.
    QTest::keyClicks(bright, "-x");
    EXPECT_EQ(bright->text().toStdString(), "300");
    EXPECT_TRUE(frame.Take().empty());

    // An empty field: the box, and the value it held before.
    {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        Retype(bright, "");
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, "Please enter an integer.");
        EXPECT_TRUE(boxes.Calls()[0].owned);
        EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_BRIGHTNESS, 300}}));
        // The brightness field is read first: its fault stops the contrast's reading.
        Retype(contrast, "9");
        EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_CONTRAST, 5}}));
        EXPECT_EQ(boxes.Calls().size(), 2u);
    }
    Retype(bright, "7");
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_BRIGHTNESS, 7}}));
    EXPECT_EQ(dlg.Contrast(), 9);

    // Enter and Escape leave it open and send nothing; the close box asks the frame.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QTest::keyClick(dlg.Window(), key);
        EXPECT_TRUE(dlg.IsShown()) << key;
    }
    EXPECT_TRUE(frame.Take().empty());
    dlg.Window()->close();
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_ADJUST_CLOSED, 0}}));
    EXPECT_TRUE(dlg.IsShown()) << "only the frame hides it";
}

TEST(CursorPosDlgTest, ArrowsSkipAndClosing)
{
    RecordingFrame frame;
    CCursorPosDlg dlg;
    dlg.Create(&frame.widget, frame.handle);
    EXPECT_EQ(dlg.Text(IDC_CURSOR_X), "0");
    dlg.XSpin()->DownArrow()->click();
    EXPECT_EQ(dlg.Text(IDC_CURSOR_X), "0");
    dlg.YSpin()->SetPos(31999);
    dlg.YSpin()->UpArrow()->click();
    dlg.YSpin()->UpArrow()->click();
    EXPECT_EQ(dlg.Text(IDC_CURSOR_Y), "32000");
    EXPECT_TRUE(frame.Take().empty()) << "the fields are the frame's to read";
    dlg.SetPixelLimits(10, 10);
    dlg.XSpin()->SetPos(9);
    dlg.XSpin()->UpArrow()->click();
    dlg.XSpin()->UpArrow()->click();
    EXPECT_EQ(dlg.Text(IDC_CURSOR_X), "10");

    auto* skip = dlg.Window()->ControlAs<QAbstractButton>(IDC_SKIP_TO_PIXEL);
    dlg.SetText(IDC_CURSOR_X, "5");
    dlg.SetText(IDC_CURSOR_Y, "7");
    skip->click();
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_SKIP_TO_PIXEL, 0}}));
    EXPECT_EQ(dlg.X(), 5);
    EXPECT_EQ(dlg.Y(), 7);
    {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        dlg.SetText(IDC_CURSOR_X, "");
        dlg.SetText(IDC_CURSOR_Y, "");
        skip->click();
        EXPECT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_SKIP_TO_PIXEL, 0}}));
        EXPECT_EQ(dlg.X(), 5);
        EXPECT_EQ(dlg.Y(), 7);
    }
    dlg.Show(true);
    QTest::keyClick(dlg.Window(), Qt::Key_Escape);
    EXPECT_TRUE(dlg.IsShown());
    dlg.Window()->close();
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_CURSOR_CLOSED, 0}}));
}

TEST(RGBLevelsDlgTest, SlidersSendEachPositionAndNameIt)
{
    RecordingFrame frame;
    CRGBLevelsDlg dlg;
    dlg.Create(&frame.widget, frame.handle);
    const char* start[] = {"Красный: 255", "Зеленый: 255", "Синий: 255"};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(dlg.Label(c)->text().toStdString(), start[c]);
        EXPECT_EQ(dlg.Slider(c)->value(), 255);
        EXPECT_EQ(dlg.Slider(c)->maximum(), 255);
        EXPECT_EQ(dlg.Slider(c)->minimum(), 0);
    }
    dlg.Show(true);
    QApplication::setActiveWindow(dlg.Window());
    dlg.Slider(0)->setFocus();
    QTest::keyClick(dlg.Slider(0), Qt::Key_Left);
    EXPECT_EQ(dlg.Label(0)->text().toStdString(), "Red: 254");
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_RED_LEVEL, 254}}));
    QTest::keyClick(dlg.Slider(0), Qt::Key_Home);
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_RED_LEVEL, 0}}));
    EXPECT_EQ(dlg.Label(0)->text().toStdString(), "Red: 0");
    QTest::keyClick(dlg.Slider(2), Qt::Key_PageDown);
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_BLUE_LEVEL, 255 - dlg.Slider(2)->pageStep()}}));

    // A drag sends every position it passes and nothing at the release.
    QSlider* green = dlg.Slider(1);
    green->setSliderDown(true);
    for (int p : {200, 150, 120})
        green->setSliderPosition(p);
    green->setSliderDown(false);
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_GREEN_LEVEL, 200}, {REQ_GREEN_LEVEL, 150}, {REQ_GREEN_LEVEL, 120}}));
    EXPECT_EQ(dlg.Label(1)->text().toStdString(), "Green: 120");
    EXPECT_EQ(dlg.Label(2)->text().toStdString(), "Blue: " + std::to_string(255 - dlg.Slider(2)->pageStep()));

    QTest::keyClick(dlg.Window(), Qt::Key_Return);
    EXPECT_TRUE(dlg.IsShown());
    dlg.Window()->close();
    EXPECT_EQ(frame.Take(), (std::vector<Request>{{REQ_ADJUST_CLOSED, 0}}));
}

// ---- inside a viewer -----------------------------------------------------------------

unsigned Rgb(const QImage& image, QPoint at)
{
    return image.pixel(at) & 0xFFFFFFu;
}

unsigned Grey(int v)
{
    return unsigned(v) * 0x010101u;
}

class ToolDialogsViewerTest : public ViewFixture {
protected:
    ~ToolDialogsViewerTest() override
    {
        for (QPointer<CFrameViewer>& v : m_viewers)
            if (v)
                v->DestroyWindow();
        EXPECT_TRUE(WaitForNoJobs());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    // A UINT8 layer shown with stretch None: the grey of each pixel is its sample.
    CFrameViewer* Open(int w, int h, const std::function<double(int, int)>& sample)
    {
        const std::string path = File("layer" + std::to_string(m_viewers.size()) + ".rdp");
        WriteLayer(path, w, h, UINT8, [&](int x, int y, int) { return sample(x, y); });
        auto* v = new CFrameViewer();
        const RECT place{10, 10, 10 + 480, 10 + 360};
        EXPECT_EQ(v->Create(m_host.handle, 1, 0, 2.0, 1, path.c_str(), &place), 1);
        m_viewers.emplace_back(v);
        EXPECT_TRUE(m_host.WaitFor(m_viewers.size()));
        return v;
    }

    static void Choose(CFrameViewer* v, unsigned id)
    {
        const QList<QAction*> actions = plat::CommandActions(v, id);
        ASSERT_FALSE(actions.isEmpty()) << id;
        actions.front()->trigger();
    }

    static QImage Screen(CFrameViewer* v)
    {
        v->GetViewRect()->UpdateWindow();
        return v->GetViewRect()->Buffer().copy();
    }

    // Where image pixel (x, y) shows.
    static QPoint At(CFrameViewer* v, int x, int y)
    {
        const CPoint p = v->GetViewRect()->ImageToScreen(CPoint{x, y});
        return QPoint(p.x, p.y);
    }

    plat::ScopedMessageBoxAnswerer m_boxes{plat::IDOK};
    NoticeWindow m_host;
    std::vector<QPointer<CFrameViewer>> m_viewers;
};

TEST_F(ToolDialogsViewerTest, BrightnessAndContrastReachTheImage)
{
    CFrameViewer* v = Open(60, 40, [](int, int) { return 100.0; });
    Choose(v, ID_MENU_ADJUST);
    ASSERT_TRUE(v->BrightContrastDlg().IsShown());
    const QPoint p = At(v, 20, 20);
    EXPECT_EQ(Rgb(Screen(v), p), Grey(100));
    QLineEdit* bright = Edit(v->BrightContrastDlg(), CBrightContrastDlg::IDC_BRIGHTNESS);
    QLineEdit* contrast = Edit(v->BrightContrastDlg(), CBrightContrastDlg::IDC_CONTRAST);
    Retype(bright, "50");
    EXPECT_EQ(Rgb(Screen(v), p), Grey(150));
    // The largest int: computed wide, it clamps to white instead of wrapping to black.
    bright->setFocus();
    bright->selectAll();
    bright->insert("2147483647");
    EXPECT_EQ(Rgb(Screen(v), p), Grey(255));
    Retype(bright, "0");
    EXPECT_EQ(Rgb(Screen(v), p), Grey(100));
    Retype(contrast, "50");
    const double k = 50.0 * -255.0 / (2.0 * 50.0 - 255.0);
    const int want = int(std::nearbyint(100.0 + (100.0 * 0.00784313725490196 - 1.0) * k));
    EXPECT_EQ(Rgb(Screen(v), p), Grey(want));
    EXPECT_LT(want, 100);
    QImage shot = v->BrightContrastDlg().Window()->grab().toImage();
    shot.save(QString::fromUtf8(::testing::TempDir().c_str()) + "bright_contrast.png");

    // The close box: the frame hears 3 and hides it.
    v->BrightContrastDlg().Window()->close();
    EXPECT_FALSE(v->BrightContrastDlg().IsShown());
    EXPECT_FALSE(v->GetFlags() & FF_ADJUST);
}

TEST_F(ToolDialogsViewerTest, CursorPositionFollowsAndSkips)
{
    CFrameViewer* v = Open(60, 40, [](int x, int y) { return double((x * 3 + y) % 200); });
    Choose(v, ID_BUTTON_POINTER);
    CCursorPosDlg& dlg = v->CursorPosDlg();
    ASSERT_TRUE(dlg.IsShown());
    v->Handle().SendMessage(WM_VIEWER_POINTER, 12, 9);
    EXPECT_EQ(dlg.Text(IDC_CURSOR_X), "12");
    EXPECT_EQ(dlg.Text(IDC_CURSOR_Y), "9");
    EXPECT_EQ(dlg.Text(IDC_CURSOR_VALUE), std::to_string((12 * 3 + 9) % 200));

    auto* skip = dlg.Window()->ControlAs<QAbstractButton>(IDC_SKIP_TO_PIXEL);
    dlg.SetText(IDC_CURSOR_X, "5");
    dlg.SetText(IDC_CURSOR_Y, "7");
    const QImage before = Screen(v);
    skip->click();
    const CPoint centre = v->GetViewRect()->GetCross().GetCentre();
    EXPECT_EQ(QPoint(centre.x, centre.y), At(v, 5, 7));
    EXPECT_EQ(dlg.Text(IDC_CURSOR_VALUE), std::to_string((5 * 3 + 7) % 200));
    // The cross-hair is drawn through the new centre.
    const QImage after = Screen(v);
    after.save(QString::fromUtf8(::testing::TempDir().c_str()) + "cursor_skip.png");
    int changed = 0;
    for (int x = 0; x < after.width() - 20; ++x)
        changed += Rgb(after, QPoint(x, centre.y)) != Rgb(before, QPoint(x, centre.y));
    EXPECT_GT(changed, 10);

    {
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        dlg.SetText(IDC_CURSOR_X, "");
        dlg.SetText(IDC_CURSOR_Y, "");
        skip->click();
        EXPECT_EQ(boxes.Calls().size(), 1u);
    }
    EXPECT_EQ(dlg.X(), 5);
    EXPECT_EQ(dlg.Y(), 7);
    const CPoint origin = v->GetViewRect()->GetCross().GetCentre();
    EXPECT_EQ(QPoint(origin.x, origin.y), At(v, 0, 0));

    // A long number saturates instead of wrapping to a small pixel.
    dlg.SetText(IDC_CURSOR_X, "4294967297");
    dlg.SetText(IDC_CURSOR_Y, "3");
    skip->click();
    EXPECT_NE(dlg.Text(IDC_CURSOR_X), "1");

    dlg.Window()->close();
    EXPECT_FALSE(dlg.IsShown());
    EXPECT_FALSE(v->GetFlags() & FF_POINTER);
}

TEST_F(ToolDialogsViewerTest, LevelsDarkenTheRedOfAWhitePixel)
{
    std::string files[3];
    for (int c = 0; c < 3; ++c) {
        files[c] = File("c" + std::to_string(c) + ".rdp");
        WriteLayer(files[c], 40, 30, UINT8, [](int, int, int) { return 255.0; });
    }
    auto* v = new CFrameViewer();
    const RECT place{10, 10, 10 + 480, 10 + 360};
    ASSERT_EQ(v->Create(m_host.handle, 2, 0, 2.0, 1, "", &place), 1);
    m_viewers.emplace_back(v);
    ASSERT_GE(v->LoadNewLayer(files[0].c_str(), files[1].c_str(), files[2].c_str()), 0);
    ASSERT_TRUE(m_host.WaitFor(1));
    Choose(v, ID_MENU_ADJUST);
    CRGBLevelsDlg& dlg = v->RGBLevelsDlg();
    ASSERT_TRUE(dlg.IsShown());
    const QPoint p = At(v, 10, 10);
    EXPECT_EQ(Rgb(Screen(v), p), 0xFFFFFFu);
    QApplication::setActiveWindow(dlg.Window());
    dlg.Slider(0)->setFocus();
    QTest::keyClick(dlg.Slider(0), Qt::Key_Left);
    EXPECT_EQ(dlg.Label(0)->text().toStdString(), "Red: 254");
    const QImage shot = Screen(v);
    EXPECT_EQ(Rgb(shot, p), 0xFDFFFFu) << "red 253, green and blue 255";
    dlg.Window()->grab().toImage().save(QString::fromUtf8(::testing::TempDir().c_str()) + "rgb_levels.png");
}

TEST_F(ToolDialogsViewerTest, PaletteEditsAppliesAndReloads)
{
    CFrameViewer* v = Open(60, 40, [](int x, int) { return double(x); });
    Choose(v, ID_MENU_PALETTE);
    CPaletteDlg& dlg = v->PaletteDlg();
    ASSERT_TRUE(dlg.IsShown());
    CListFrame* grid = dlg.Grid();
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->GetRows(), 256);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(grid->GetItem(0, i), std::to_string(i));
    EXPECT_EQ(grid->GetItem(2, 5), "5");
    EXPECT_EQ(grid->GetItem(4, 200), "200");

    const CListFrameModel& m = grid->Model();
    const auto swatch = [&](int row) {
        grid->UpdateWindow();
        return Rgb(grid->Buffer(), QPoint(m.ColumnX(1) + m.Width(1) / 2, m.RowY(row) + m.RowHeight() / 2));
    };
    for (int row = m.TopRow(); row < m.TopRow() + m.VisibleRows(); ++row)
        EXPECT_EQ(swatch(row), Grey(row)) << row;
    dlg.Window()->grab().toImage().save(QString::fromUtf8(::testing::TempDir().c_str()) + "palette.png");

    // Row 5's red: 300 becomes 255, in the cell, the entry and the swatch at once.
    QApplication::setActiveWindow(dlg.Window());
    QTest::mouseDClick(grid, Qt::LeftButton, {}, QPoint(m.ColumnX(2) + 10, m.RowY(5) + 5));
    ASSERT_TRUE(grid->IsEditorShown());
    CDisEdit* editor = grid->Editor();
    editor->selectAll();
    QTest::keyClicks(editor, "300");
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->GetItem(2, 5), "255");
    EXPECT_EQ(editor->text().toStdString(), "255");
    EXPECT_EQ(dlg.Palette().entries[5][0], 255);
    EXPECT_EQ(swatch(5), 0x050505u | 0xFF0000u);
    const QPoint sample5 = At(v, 5, 3);
    EXPECT_EQ(Rgb(Screen(v), sample5), Grey(5)) << "the image waits for Apply";

    // A letter leaves the cell; a long number gives 255, not what atoi wraps it to.
    QTest::keyClicks(editor, "x");
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->GetItem(2, 5), "255");
    editor->selectAll();
    editor->insert("4294967297");
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->GetItem(2, 5), "255");
    EXPECT_EQ(dlg.Palette().entries[5][0], 255);

    // Apply: the image takes the palette.
    dlg.Window()->ControlAs<QAbstractButton>(plat::IDOK)->click();
    EXPECT_TRUE(dlg.IsShown());
    EXPECT_EQ(Rgb(Screen(v), sample5), 0xFF0505u);

    // An edit that is not applied is gone after Close and reopening.
    QTest::mouseDClick(grid, Qt::LeftButton, {}, QPoint(m.ColumnX(3) + 10, m.RowY(6) + 5));
    ASSERT_TRUE(grid->IsEditorShown());
    grid->Editor()->selectAll();
    QTest::keyClicks(grid->Editor(), "0");
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.Palette().entries[6][1], 0);
    dlg.Window()->ControlAs<QAbstractButton>(plat::IDCANCEL)->click();
    EXPECT_FALSE(dlg.IsShown());
    Choose(v, ID_MENU_PALETTE);
    ASSERT_TRUE(dlg.IsShown());
    EXPECT_EQ(grid->GetItem(3, 6), "6");
    EXPECT_EQ(dlg.Palette().entries[6][1], 6);
    EXPECT_EQ(grid->GetItem(2, 5), "255") << "the applied edit stays";
    EXPECT_EQ(swatch(6), Grey(6));

    // Escape and the close box hide it too.
    QTest::keyClick(dlg.Window(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.IsShown());
    Choose(v, ID_MENU_PALETTE);
    dlg.Window()->close();
    EXPECT_FALSE(dlg.IsShown());
}

}  // namespace
