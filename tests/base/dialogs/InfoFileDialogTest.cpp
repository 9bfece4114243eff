#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "ModalDriver.h"
#include "PreviewFixture.h"
#include "PumpUntil.h"
#include "dialogs/DialogArt.h"
#include "dialogs/FileMasks.h"
#include "dialogs/InfoFileDialog.h"
#include "dialogs/PreviewOptionsPane.h"
#include "dialogs/PreviewPane.h"
#include "files/TempFiles.h"
#include "layer/DataTypes.h"

namespace {

using namespace previewtest;
using namespace std::chrono_literals;

// Preview values of the quadrants: bottom-left, bottom-right, top-left, top-right.
constexpr unsigned char kQuadrant[4] = {10, 20, 30, 40};

Bytes QuadrantPreview()
{
    const std::int32_t length = kAmplitudePreviewNeeds;
    Bytes p(size_t(length), 0);
    std::memcpy(p.data(), &length, 4);
    for (int row = 0; row < kPreviewPictureSide; ++row)  // row 0 is the bottom one
        for (int col = 0; col < kPreviewPictureSide; ++col)
            p[size_t(4 + row * kPreviewPictureSide + col)] = kQuadrant[(row >= 100 ? 2 : 0) + (col >= 100 ? 1 : 0)];
    return p;
}

// Moves the browser's list cursor to path as a click does, once the list has loaded it;
// true when the panel has followed.
bool PointAt(CInfoFileDialog& dlg, const std::string& path)
{
    if (dlg.CurrentName() == path)
        return true;
    auto* view = dlg.Browser()->findChild<QAbstractItemView*>("listView");
    auto* files = dlg.Browser()->findChild<QFileSystemModel*>();
    if (!view || !files || view->model() != files)
        return false;
    const QModelIndex index = files->index(QString::fromStdString(path));
    if (index.isValid())
        view->setCurrentIndex(index);
    return false;
}

// With INFO_FILE_DIALOG_SHOTS set, saves a picture of the window as <that>-<name>.png.
void Shot(CInfoFileDialog& dlg, const char* name)
{
    if (const char* prefix = std::getenv("INFO_FILE_DIALOG_SHOTS"))
        dlg.Window()->grab().save(QString::fromUtf8(prefix) + "-" + name + ".png");
}

class InfoFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        quad = dir.File("quad.rdp");
        RdpFileBuilder q = RdpFileBuilder::Fresh(300, 200, UINT8);
        q.AddTag(0, 4, QuadrantPreview());
        q.AddTag(0, 201, PalettePayload());
        q.Save(quad);
        unsigned char header[kTempInfoSize];
        CTempInfoStruct(3.5, 0).Store(header);
        std::ofstream(dir.File("quad.tmp"), std::ios::binary).write(reinterpret_cast<char*>(header), sizeof header);

        complex = dir.File("cplx.rdp");
        Layer(64, 32, CFLOAT32, kPhasePreviewNeeds).Save(complex);
        text = dir.File("notes.txt");
        std::ofstream(text) << "not a layer";
        std::filesystem::create_directory(dir.File("sub"));
    }

    // Moves the browser's selection to path and waits until the panel has followed.
    static bool Select(CInfoFileDialog& dlg, const std::string& path)
    {
        return testsupport::PumpUntil([&] { return PointAt(dlg, path); }, 20s);
    }

    static QRadioButton* Radio(CInfoFileDialog& dlg, unsigned id) { return dlg.Window()->ControlAs<QRadioButton>(id); }
    static std::string Text(CInfoFileDialog& dlg, unsigned id) { return dlg.Window()->ControlText(id); }

    rdptest::TempDir dir;
    std::string quad, complex, text;
};

TEST_F(InfoFileDialogTest, ShowsThePreviewOfTheFileUnderTheCursor)
{
    CInfoFileDialog dlg(1, nullptr, nullptr, plat::OFN_HIDEREADONLY, DefaultLayerFilter().c_str());
    dlg.SetInitialDir(dir.Path());
    dlg.SetFilterIndex(2);  // every file, so that the text file is listed
    dlg.Create(nullptr);
    dlg.Window()->show();
    EXPECT_EQ(dlg.Window()->windowTitle(), "Open");
    EXPECT_EQ(dlg.PreviewPane()->Bitmap(), DefaultPreviewPicture().data());
    Shot(dlg, "start");

    ASSERT_TRUE(Select(dlg, quad));
    EXPECT_EQ(Text(dlg, 5013), "300x200");
    EXPECT_EQ(Text(dlg, 5012), GetDataTypeName(UINT8, 0));
    EXPECT_FALSE(Radio(dlg, 5064)->isEnabled());
    EXPECT_FALSE(Radio(dlg, 5065)->isEnabled());

    // The picture fills the pane, bottom-left value at the bottom left, in the palette's colours.
    QWidget* pane = dlg.PreviewPane()->Window();
    EXPECT_TRUE(pane->isVisible());
    const QImage shot = pane->grab().toImage();
    const int w = shot.width(), h = shot.height();
    const struct {
        int x, y;
        unsigned char value;
    } centres[] = {{w / 4, 3 * h / 4, 10}, {3 * w / 4, 3 * h / 4, 20}, {w / 4, h / 4, 30}, {3 * w / 4, h / 4, 40}};
    for (const auto& c : centres) {
        const plat::ColorRef want = PaletteColor(c.value);
        EXPECT_EQ(shot.pixelColor(c.x, c.y),
                  QColor(int(plat::GetRValue(want)), int(plat::GetGValue(want)), int(plat::GetBValue(want))))
            << int(c.value);
    }
    Shot(dlg, "preview");

    // Every selection sets the options to "Selected Dispersion" with the cache's factor.
    auto* tabs = dlg.Window()->ControlAs<QTabWidget>(5004);
    tabs->setCurrentIndex(1);
    plat::Dialog* options = dlg.OptionsPane()->Window();
    EXPECT_TRUE(options->isVisible());
    EXPECT_FALSE(pane->isVisible());
    EXPECT_EQ(options->ControlAs<QComboBox>(5009)->currentText(), "Selected Dispersion");
    EXPECT_EQ(options->ControlText(5010), "3.5");
    EXPECT_TRUE(options->Control(5010)->isEnabled());
    Shot(dlg, "options");
    tabs->setCurrentIndex(0);
    EXPECT_TRUE(pane->isVisible());

    // Complex data: both radios; Phase shows the second half.
    ASSERT_TRUE(Select(dlg, complex));
    EXPECT_EQ(options->ControlText(5010), "2");
    EXPECT_EQ(Text(dlg, 5013), "64x32");
    EXPECT_TRUE(Radio(dlg, 5065)->isEnabled());
    ASSERT_NE(dlg.PreviewPane()->Bitmap(), nullptr);
    EXPECT_EQ(0, std::memcmp(dlg.PreviewPane()->Bitmap(), Half(1).data(), size_t(kPreviewPictureBytes)));
    Radio(dlg, 5065)->click();
    EXPECT_EQ(0, std::memcmp(dlg.PreviewPane()->Bitmap(), Half(2).data(), size_t(kPreviewPictureBytes)));
    Radio(dlg, 5064)->click();
    EXPECT_EQ(0, std::memcmp(dlg.PreviewPane()->Bitmap(), Half(1).data(), size_t(kPreviewPictureBytes)));

    // A folder keeps the texts and shows the default picture.
    ASSERT_TRUE(Select(dlg, dir.File("sub")));
    EXPECT_EQ(Text(dlg, 5013), "64x32");
    EXPECT_EQ(dlg.PreviewPane()->Bitmap(), DefaultPreviewPicture().data());

    // A file without a layer header empties the texts and disables both radios.
    ASSERT_TRUE(Select(dlg, text));
    EXPECT_EQ(Text(dlg, 5013), "");
    EXPECT_EQ(Text(dlg, 5012), "");
    EXPECT_FALSE(Radio(dlg, 5064)->isEnabled());
    EXPECT_FALSE(Radio(dlg, 5065)->isEnabled());
    EXPECT_EQ(dlg.PreviewPane()->Bitmap(), DefaultPreviewPicture().data());
    dlg.Destroy();
    EXPECT_EQ(dlg.Window(), nullptr);
}

using Step = std::function<bool(CInfoFileDialog&)>;

// Runs DoModal on the real window, each step driven from inside its loop once the one
// before it says it is done; a deadline ends a loop that never closes.
int DriveModal(CInfoFileDialog& dlg, std::vector<Step> steps)
{
    std::vector<testsupport::ModalSteps::Step> bound;
    for (Step& step : steps)
        bound.push_back([&dlg, step = std::move(step)] { return step(dlg); });
    plat::FileDialogAnswerer previous = plat::SetFileDialogAnswerer({});
    const int result = testsupport::RunModal([&dlg] { return testsupport::IsActiveModal(dlg.Window()); },
                                             std::move(bound), [&dlg] { return dlg.DoModal(); });
    plat::SetFileDialogAnswerer(std::move(previous));
    return result;
}

Step SelectStep(const std::string& path)
{
    return [path](CInfoFileDialog& dlg) { return PointAt(dlg, path); };
}

// Types name and presses the browser's Open or Save button; done once the dialog has
// answered (closed, or asked through a box), else tried again: a directory listing that
// arrives late may take the typed name back.
Step TypeAndAccept(const std::string& name, const plat::ScopedMessageBoxAnswerer& boxes)
{
    return [name, &boxes](CInfoFileDialog& dlg) {
        const size_t asked = boxes.Calls().size();
        dlg.Browser()->selectFile(QString::fromStdString(name));
        static_cast<QDialog*>(dlg.Browser())->accept();
        return !dlg.Window()->isVisible() || boxes.Calls().size() > asked;
    };
}

bool PressKey(CInfoFileDialog& dlg, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(dlg.Window(), &press);
    return true;
}

TEST_F(InfoFileDialogTest, OkHandsBackPathFilterModeSigmaAndTrim)
{
    CInfoFileDialog dlg(1, nullptr, nullptr, plat::OFN_HIDEREADONLY, DefaultLayerFilter().c_str());
    dlg.SetInitialDir(dir.Path());
    dlg.SetFilterIndex(2);
    ASSERT_EQ(DriveModal(dlg, {SelectStep(complex),
                               [](CInfoFileDialog& d) {
                                   d.Window()->ControlAs<QRadioButton>(5065)->click();
                                   plat::Dialog* options = d.OptionsPane()->Window();
                                   options->SetControlText(5010, "1.25");
                                   return true;
                               },
                               [](CInfoFileDialog& d) { return PressKey(d, Qt::Key_Return); }}),
              plat::IDOK);
    EXPECT_EQ(dlg.GetPathName(), complex);
    EXPECT_EQ(dlg.GetFileName(), "cplx.rdp");
    EXPECT_EQ(dlg.GetFilterIndex(), 2);
    EXPECT_EQ(dlg.PreviewMode(), 1);
    EXPECT_FLOAT_EQ(dlg.Sigma(), 1.25f);
    EXPECT_EQ(dlg.TrimMethod(), TRIM_SELECTED_DISPERSION);
    EXPECT_EQ(dlg.Window(), nullptr);

    // The user's trim choice comes back as well.
    ASSERT_EQ(DriveModal(dlg, {SelectStep(quad),
                               [](CInfoFileDialog& d) {
                                   auto* list = d.OptionsPane()->Window()->ControlAs<QComboBox>(5009);
                                   list->setCurrentIndex(TRIM_NONE);
                                   emit list->activated(TRIM_NONE);
                                   EXPECT_FALSE(d.OptionsPane()->Window()->Control(5010)->isEnabled());
                                   return true;
                               },
                               [](CInfoFileDialog& d) { return PressKey(d, Qt::Key_Return); }}),
              plat::IDOK);
    EXPECT_EQ(dlg.GetPathName(), quad);
    EXPECT_EQ(dlg.PreviewMode(), 1);  // the radio keeps its state
    EXPECT_FLOAT_EQ(dlg.Sigma(), 3.5f);
    EXPECT_EQ(dlg.TrimMethod(), TRIM_NONE);
}

TEST_F(InfoFileDialogTest, CancelLeavesTheCallersValues)
{
    CInfoFileDialog dlg(1, nullptr, nullptr, 0, nullptr);
    dlg.SetInitialDir(dir.Path());
    {
        plat::FileDialogResult answer;
        answer.ok = true;
        answer.paths = {quad};
        answer.filterIndex = 1;
        answer.options = {{"mode", "1"}, {"sigma", "2.75"}, {"trim", "0"}};
        plat::ScopedFileDialogAnswerer answerer(answer);
        ASSERT_EQ(dlg.DoModal(), plat::IDOK);
    }
    for (int key : {int(Qt::Key_Escape), 0}) {
        EXPECT_EQ(DriveModal(dlg, {SelectStep(complex),
                                   [key](CInfoFileDialog& d) {
                                       d.OptionsPane()->Window()->SetControlText(5010, "9");
                                       if (key)
                                           return PressKey(d, key);
                                       d.Window()->close();  // the caption's close box
                                       return true;
                                   }}),
                  plat::IDCANCEL);
        EXPECT_EQ(dlg.GetPathName(), quad);
        EXPECT_EQ(dlg.PreviewMode(), 1);
        EXPECT_FLOAT_EQ(dlg.Sigma(), 2.75f);
        EXPECT_EQ(dlg.TrimMethod(), TRIM_AUTO);
    }
}

TEST_F(InfoFileDialogTest, AsksBeforeReplacingAndChecksWhatItOpens)
{
    CInfoFileDialog save(0, "rdp", nullptr, plat::OFN_OVERWRITEPROMPT | plat::OFN_HIDEREADONLY,
                         DefaultLayerFilter().c_str());
    save.SetInitialDir(dir.Path());
    {  // No: the dialog stays; then cancelled
        plat::ScopedMessageBoxAnswerer boxes(plat::IDNO);
        EXPECT_EQ(DriveModal(save, {TypeAndAccept("quad", boxes),
                                    [](CInfoFileDialog& d) { return PressKey(d, Qt::Key_Escape); }}),
                  plat::IDCANCEL);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, quad + " already exists.\nDo you want to replace it?");
        EXPECT_EQ(boxes.Calls()[0].caption, "Save As");
    }
    {  // Yes: chosen, with the default extension
        plat::ScopedMessageBoxAnswerer boxes(plat::IDYES);
        EXPECT_EQ(DriveModal(save, {TypeAndAccept("quad", boxes)}), plat::IDOK);
        EXPECT_EQ(save.GetPathName(), quad);
        EXPECT_EQ(boxes.Calls().size(), 1u);
    }
    {  // a new name needs no question
        plat::ScopedMessageBoxAnswerer boxes(plat::IDNO);
        EXPECT_EQ(DriveModal(save, {TypeAndAccept("fresh", boxes)}), plat::IDOK);
        EXPECT_EQ(save.GetPathName(), dir.File("fresh.rdp"));
        EXPECT_TRUE(boxes.Calls().empty());
    }
    {  // opening a name that is not there says so and stays open
        CInfoFileDialog open(1, nullptr, nullptr, 0, nullptr);
        open.SetInitialDir(dir.Path());
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        EXPECT_EQ(DriveModal(open, {TypeAndAccept("absent.rdp", boxes),
                                    [](CInfoFileDialog& d) { return PressKey(d, Qt::Key_Escape); }}),
                  plat::IDCANCEL);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, "absent.rdp\nFile not found.\nPlease verify the correct file name was given.");
    }
}

TEST_F(InfoFileDialogTest, ATestAnswererAnswersDoModal)
{
    CInfoFileDialog dlg(0, "rdp", "start.rdp", plat::OFN_OVERWRITEPROMPT, "Layers|*.rdp||");
    dlg.SetInitialDir(dir.Path());
    dlg.SetFilterIndex(0);
    plat::FileDialogResult answer;
    answer.ok = true;
    answer.paths = {dir.File("out.rdp")};
    answer.filterIndex = 1;
    answer.options = {{"mode", "1"}, {"sigma", "4"}, {"trim", "3"}};
    plat::ScopedFileDialogAnswerer answerer(answer);
    ASSERT_EQ(dlg.DoModal(), plat::IDOK);
    EXPECT_EQ(dlg.GetPathName(), dir.File("out.rdp"));
    EXPECT_EQ(dlg.PreviewMode(), 1);
    EXPECT_FLOAT_EQ(dlg.Sigma(), 4.0f);
    EXPECT_EQ(dlg.TrimMethod(), 3);
    const auto calls = answerer.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, kInfoFileDialogKind);
    EXPECT_TRUE(calls[0].save);
    EXPECT_EQ(calls[0].title, "Save As");
    EXPECT_EQ(calls[0].filter, "Layers|*.rdp||");
    EXPECT_EQ(calls[0].filterIndex, 1);
    EXPECT_EQ(calls[0].folder, dir.Path());
    EXPECT_EQ(calls[0].fileName, "start.rdp");
    EXPECT_EQ(calls[0].defaultExt, "rdp");
    EXPECT_EQ(calls[0].flags, unsigned(plat::OFN_OVERWRITEPROMPT));

    // Cancelled, or options left out: the values stay.
    answer.options.clear();
    answer.paths = {dir.File("other.rdp")};
    plat::ScopedFileDialogAnswerer partial(answer);
    ASSERT_EQ(dlg.DoModal(), plat::IDOK);
    EXPECT_EQ(dlg.GetPathName(), dir.File("other.rdp"));
    EXPECT_EQ(dlg.PreviewMode(), 1);
    EXPECT_FLOAT_EQ(dlg.Sigma(), 4.0f);
    plat::ScopedFileDialogAnswerer cancel(plat::FileDialogResult{});
    EXPECT_EQ(dlg.DoModal(), plat::IDCANCEL);
    EXPECT_EQ(dlg.GetPathName(), dir.File("other.rdp"));
}

TEST(PreviewOptions, SigmaTextsParseAsNumbersOnly)
{
    struct Case {
        const char* text;
        bool ok;
        float value;
    };
    const Case cases[] = {{"2", true, 2.0f}, {" 1.5 ", true, 1.5f}, {"3e0", true, 3.0f}, {"", false, 0},
                          {"abc", false, 0}, {"1.5x", false, 0},    {"1e99", false, 0},  {"nan", false, 0}};
    for (const Case& c : cases) {
        float v = -1;
        EXPECT_EQ(ParseSigma(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_FLOAT_EQ(v, c.value) << c.text;
        }
    }
    EXPECT_EQ(FormatSigma(2.0f), "2");
    EXPECT_EQ(FormatSigma(2.5f), "2.5");
}

}  // namespace
