#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "platform/dialogs/FileDialog.h"
#include "PreviewFixture.h"
#include "PumpUntil.h"
#include "ScopedEnvFolder.h"
#include "platform/resources/StringTable.h"
#include "VarnokApp.h"
#include "dialogs/FileMasks.h"
#include "dialogs/InFileCtrl.h"
#include "dialogs/InfoFileDialog.h"
#include "layer/DataTypes.h"
#include "settings/SNRegKey.h"

namespace {

using namespace previewtest;
using namespace std::chrono_literals;

constexpr unsigned kFieldId = 1200;

const plat::ControlTemplate kRows[] = {
    {kFieldId, plat::ControlKind::Static, 8, 8, 200, 40, nullptr, plat::CS_NONE},
    {plat::IDOK, plat::ControlKind::PushButton, 8, 60, 50, 14, "OK", plat::CS_NONE},
};
const plat::DialogTemplate kTemplate = {700, "Export", "MS Sans Serif", 8, 220, 80, kRows, std::size(kRows)};

const plat::StringEntry kHostStrings[] = {{115, "SOFTWARE\\Tolvek\\Quorvex"}};

// A dialog holding the field; its private messages are recorded.
class InFileCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog = new plat::Dialog(kTemplate);
        dialog->SetMessageHandler([this](unsigned msg, plat::WParam wp, plat::LParam lp) -> plat::LResult {
            messages.push_back({msg, wp, lp});
            return 0;
        });
    }
    void TearDown() override { delete dialog; }

    void Make(CInFileCtrl& ctrl, int mode, const char* folder, const char* file = nullptr)
    {
        ASSERT_TRUE(ctrl.SubclassDlgItem(kFieldId, dialog));
        ASSERT_EQ(ctrl.Create(mode, folder, file, 0), 1);
    }
    void Type(CInFileCtrl& ctrl, const std::string& text)
    {
        ctrl.FileNameEdit()->setText(QString::fromStdString(text));
    }

    // A layer with statistics minimum -1.5 and maximum 7.25.
    std::string LayerWithStatistics(const char* name, std::int32_t statsLength = kStatisticsNeeds)
    {
        RdpFileBuilder b = RdpFileBuilder::Fresh(30, 20, SINT16);
        const std::int64_t stats = b.Get32(b.TagHeader(0, 2) + 4);
        const double lo = -1.5, hi = 7.25;
        std::memcpy(b.bytes.data() + stats + 8, &lo, 8);
        std::memcpy(b.bytes.data() + stats + 16, &hi, 8);
        b.Put32(stats, statsLength);
        b.Save(dir.File(name));
        return dir.File(name);
    }

    struct Message {
        unsigned msg;
        plat::WParam wp;
        plat::LParam lp;
    };
    ScopedEnvFolder config{"XDG_CONFIG_HOME"};
    plat::StringTableRegistration host{"TestHost", kHostStrings, true};
    rdptest::TempDir dir;
    plat::Dialog* dialog = nullptr;
    std::vector<Message> messages;
};

TEST_F(InFileCtrlTest, LaysOutItsPartsInUnitsOfTheScreensDpi)
{
    CInFileCtrl ctrl;
    Make(ctrl, 1, dir.Path().c_str());
    QWidget* field = ctrl.Window();
    ASSERT_EQ(dialog->Control(kFieldId), field);
    const double u = field->logicalDpiX() * 5.0 / 288.0;
    const int w = field->width(), line = int(u * 8), h = int(u * 15);
    EXPECT_EQ(ctrl.FolderLine()->geometry(), QRect(0, 0, w, line));
    EXPECT_EQ(ctrl.FileNameEdit()->geometry(), QRect(0, line, w - h - int(u * 5), h));
    EXPECT_EQ(ctrl.BrowseButton()->geometry(), QRect(w - h, line, h, h));
    ASSERT_NE(ctrl.InfoLine(), nullptr);
    EXPECT_EQ(ctrl.InfoLine()->geometry(), QRect(0, line + h, w, line));
    EXPECT_TRUE(ctrl.FileNameEdit()->isReadOnly());
    EXPECT_FALSE(ctrl.BrowseButton()->icon().isNull());
    EXPECT_EQ(ctrl.GetOnlyPath(), dir.Path() + "/");
    EXPECT_EQ(field->focusProxy(), ctrl.BrowseButton());

    ctrl.SetOpenMode(0);
    EXPECT_FALSE(ctrl.FileNameEdit()->isReadOnly());
    EXPECT_TRUE(ctrl.InfoLine()->isHidden());
    EXPECT_EQ(field->focusProxy(), ctrl.FileNameEdit());

    EXPECT_EQ(ctrl.EnableWindow(0), 0);
    EXPECT_FALSE(ctrl.BrowseButton()->isEnabled());
    EXPECT_FALSE(ctrl.FileNameEdit()->isEnabled());
    EXPECT_NE(ctrl.EnableWindow(1), 0);
    EXPECT_TRUE(ctrl.BrowseButton()->isEnabled());

    dialog->show();
    if (const char* shot = std::getenv("INFO_FILE_DIALOG_SHOTS"))
        dialog->grab().save(QString::fromUtf8(shot) + "-field.png");
}

TEST_F(InFileCtrlTest, StartsInTheWorkFolderElseTheCurrentOne)
{
    {
        CInFileCtrl ctrl;
        Make(ctrl, 0, nullptr);
        EXPECT_EQ(ctrl.GetOnlyPath(), QDir::currentPath().toStdString() + "/");
    }
    // Its place went with it; the next field gets a fresh dialog.
    EXPECT_EQ(dialog->Control(kFieldId), nullptr);
    delete dialog;
    dialog = new plat::Dialog(kTemplate);
    CSNRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()), 1);
    ASSERT_EQ(key.SetStringValue(dir.Path().c_str(), "WorkDir"), 1);
    CInFileCtrl ctrl;
    Make(ctrl, 0, nullptr, "start.rdp");
    EXPECT_EQ(ctrl.GetOnlyPath(), dir.Path() + "/");
    // The start name is shown but not yet chosen.
    EXPECT_EQ(ctrl.FileNameEdit()->text(), "start.rdp");
    EXPECT_EQ(ctrl.DataReady(), 0);
    EXPECT_EQ(ctrl.GetPathName(), "");
}

TEST_F(InFileCtrlTest, SaveModeTakesTypedNamesInItsFolder)
{
    CInFileCtrl ctrl;
    Make(ctrl, 0, "/work/data/");
    const struct {
        const char* typed;
        bool ready;
        const char* path;
        const char* file;
    } cases[] = {
        {"out.rdp", true, "/work/data/out.rdp", "out.rdp"},
        {"/abs/out.rdp", true, "/abs/out.rdp", "out.rdp"},
        {"../out.rdp", true, "/work/data/../out.rdp", "out.rdp"},
        {"sub/out.rdp", true, "/work/data/sub/out.rdp", "out.rdp"},
        {"a:b.rdp", true, "/work/data/a:b.rdp", "a:b.rdp"},
        {".rdp", false, "", ""},
        {".", false, "", ""},
        {"", false, "", ""},
    };
    for (const auto& c : cases) {
        Type(ctrl, c.typed);
        EXPECT_EQ(ctrl.DataReady(), c.ready ? 1 : 0) << c.typed;
        EXPECT_EQ(ctrl.GetPathName(), c.path) << c.typed;
        EXPECT_EQ(ctrl.GetFileName(), c.file) << c.typed;
        // Save mode has no file values.
        EXPECT_EQ(ctrl.Width(), 0);
        EXPECT_EQ(ctrl.Sigma(), 0.0f);
    }
    // The control's own writes are no typing.
    ctrl.SetOpenMode(1);
    Type(ctrl, "typed.rdp");
    EXPECT_EQ(ctrl.DataReady(), 0);
}

TEST_F(InFileCtrlTest, ShortensTheFolderInTheMiddleUntilItFits)
{
    const auto measure = [](const std::string& text) { return int(text.size()) * 10; };  // 10 px a byte
    EXPECT_EQ(ShortenFolder("/a/b/", 51, 96, measure), "/a/b/");
    EXPECT_EQ(ShortenFolder("/a/b/", 50, 96, measure), "/ ... b/");  // 80 px: does not fit, stops when a half empties
    // 160 px; the first steps are wider still (190, 170), the third fits in 151.
    EXPECT_EQ(ShortenFolder("/home/user/data/", 151, 96, measure), "/home ... data/");
    EXPECT_EQ(ShortenFolder("/home/user/data/", 120, 96, measure), "/ho ... ta/");
    // The width counts at the screen's dpi: at 144 dpi every text is half as wide again.
    EXPECT_EQ(ShortenFolder("/home/user/data/", 241, 144, measure), "/home/user/data/");
    EXPECT_EQ(ShortenFolder("/home/user/data/", 239, 144, measure), "/home ... data/");
    // Characters, not bytes: a two-byte letter is never cut.
    const auto chars = [](const std::string& text) {
        int n = 0;
        for (unsigned char c : text)
            n += (c & 0xC0) != 0x80;
        return n * 10;
    };
    EXPECT_EQ(ShortenFolder("/дата/файлы/", 100, 96, chars), "/д ... ы/");
    EXPECT_EQ(ShortenFolder("", 10, 96, measure), "");
}

TEST_F(InFileCtrlTest, BrowsePostsOneMessageAndReadsTheLayer)
{
    const std::string layer = LayerWithStatistics("in.rdp");
    CInFileCtrl ctrl;
    Make(ctrl, 1, "/elsewhere/");
    ctrl.SetDefaultFilter(2);
    const auto values = [&] {
        return std::vector<double>{ctrl.Sigma(),
                                   double(ctrl.HistStretchType()),
                                   double(ctrl.FazaMode()),
                                   ctrl.Min(),
                                   ctrl.Max(),
                                   double(ctrl.Width()),
                                   double(ctrl.Height()),
                                   double(ctrl.Type()),
                                   double(ctrl.GetSelectedFilter())};
    };
    EXPECT_EQ(values(), std::vector<double>(9, 0.0));

    {  // cancelled: nothing changes, nothing is posted
        plat::ScopedFileDialogAnswerer cancel(plat::FileDialogResult{});
        ctrl.BrowseButton()->click();
        EXPECT_EQ(cancel.Calls().size(), 1u);
        QCoreApplication::processEvents();
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(ctrl.DataReady(), 0);
    }

    plat::FileDialogResult answer;
    answer.ok = true;
    answer.paths = {layer};
    answer.filterIndex = 2;
    answer.options = {{"mode", "1"}, {"sigma", "3"}, {"trim", "3"}};
    plat::ScopedFileDialogAnswerer answerer(answer);
    ctrl.BrowseButton()->click();
    const auto calls = answerer.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, kInfoFileDialogKind);
    EXPECT_FALSE(calls[0].save);
    EXPECT_EQ(calls[0].folder, "/elsewhere/");
    EXPECT_EQ(calls[0].filter, DefaultLayerFilter());
    EXPECT_EQ(calls[0].filterIndex, 2);
    EXPECT_EQ(calls[0].flags, unsigned(plat::OFN_OVERWRITEPROMPT | plat::OFN_HIDEREADONLY | plat::OFN_SHAREAWARE));

    ASSERT_TRUE(testsupport::PumpUntil([&] { return !messages.empty(); }, 5s));
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].msg, WM_INFILE_CHOSEN);
    EXPECT_EQ(messages[0].wp, kFieldId);
    EXPECT_EQ(messages[0].lp, plat::LParam(reinterpret_cast<std::intptr_t>(&ctrl)));

    EXPECT_EQ(ctrl.DataReady(), 1);
    EXPECT_EQ(ctrl.GetPathName(), layer);
    EXPECT_EQ(ctrl.GetFileName(), "in.rdp");
    EXPECT_EQ(ctrl.GetOnlyPath(), dir.Path() + "/");
    EXPECT_EQ(values(), (std::vector<double>{3.0, 3, 1, -1.5, 7.25, 30, 20, SINT16, 2}));
    EXPECT_EQ(ctrl.Info(), GetDataTypeName(SINT16, 0) + ", 30x20");
    EXPECT_EQ(ctrl.InfoLine()->text().toStdString(), ctrl.Info());
    EXPECT_EQ(ctrl.FileNameEdit()->text(), "in.rdp");
    dialog->show();
    if (const char* shot = std::getenv("INFO_FILE_DIALOG_SHOTS"))
        dialog->grab().save(QString::fromUtf8(shot) + "-chosen.png");

    ctrl.ClearAll();
    EXPECT_EQ(values(), std::vector<double>(9, 0.0));
    EXPECT_EQ(ctrl.GetPathName(), "");
    EXPECT_EQ(ctrl.InfoLine()->text(), "");
    EXPECT_EQ(ctrl.GetOnlyPath(), dir.Path() + "/");  // the folder stays
}

TEST_F(InFileCtrlTest, ShortOrMissingTagsGiveEmptyInfoAndZeros)
{
    const std::string shortStats = LayerWithStatistics("short.rdp", 40);
    RdpFileBuilder().Save(dir.File("bare.rdp"));
    const struct {
        std::string path;
        const char* info;
        double min, max;
        int width;
    } cases[] = {
        {shortStats, "", -0.0, 0.0, 30},
        {dir.File("bare.rdp"), "", 0.0, 0.0, 0},
    };
    for (const auto& c : cases) {
        CInFileCtrl ctrl;
        Make(ctrl, 1, dir.Path().c_str());
        plat::FileDialogResult answer;
        answer.ok = true;
        answer.paths = {c.path};
        plat::ScopedFileDialogAnswerer answerer(answer);
        ctrl.OnBrowse();
        EXPECT_EQ(ctrl.DataReady(), 1) << c.path;
        EXPECT_EQ(ctrl.Width(), c.width) << c.path;
        EXPECT_EQ(ctrl.Min(), 0.0) << c.path;
        EXPECT_EQ(ctrl.Max(), 0.0) << c.path;
        if (c.width)
            EXPECT_EQ(ctrl.Info(), GetDataTypeName(SINT16, 0) + ", 30x20");
        else
            EXPECT_EQ(ctrl.Info(), "");
        delete dialog;
        dialog = new plat::Dialog(kTemplate);
    }
}

TEST_F(InFileCtrlTest, SetNamesWithExistingAndMissingFiles)
{
    const std::string layer = LayerWithStatistics("have.rdp");
    const struct {
        int mode;
        bool path;  // SetPathName, else SetFileName
        std::string given;
        bool ready;
        std::string pathName, fileName;
    } cases[] = {
        {1, false, "have.rdp", true, layer, "have.rdp"},
        {1, false, "missing.rdp", false, "", ""},
        {1, false, "", false, "", ""},
        {0, false, "have.rdp", true, layer, "have.rdp"},
        {0, false, "missing.rdp", true, dir.File("missing.rdp"), "missing.rdp"},
        {1, true, layer, true, layer, "have.rdp"},
        {1, true, dir.File("missing.rdp"), false, "", ""},
        {1, true, dir.Path(), false, "", ""},  // a folder is no file
        {0, true, layer, true, layer, "have.rdp"},
        {0, true, dir.File("new.rdp"), true, dir.File("new.rdp"), "new.rdp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given + (c.path ? " by path" : " by name") + " mode " + std::to_string(c.mode));
        CInFileCtrl ctrl;
        Make(ctrl, c.mode, dir.Path().c_str());
        if (c.path)
            ctrl.SetPathName(c.given.c_str());
        else
            ctrl.SetFileName(c.given.c_str());
        EXPECT_EQ(ctrl.DataReady(), c.ready ? 1 : 0);
        EXPECT_EQ(ctrl.GetPathName(), c.pathName);
        EXPECT_EQ(ctrl.GetFileName(), c.fileName);
        // Setting a name reads no tags.
        EXPECT_EQ(ctrl.Width(), 0);
        delete dialog;
        dialog = new plat::Dialog(kTemplate);
    }

    CInFileCtrl ctrl;
    Make(ctrl, 0, dir.Path().c_str());
    ctrl.SetOnlyPath("/other");
    EXPECT_EQ(ctrl.GetOnlyPath(), "/other/");
    EXPECT_EQ(ctrl.DataReady(), 0);
}

TEST_F(InFileCtrlTest, NoMessageReachesAParentThatIsGone)
{
    const std::string layer = LayerWithStatistics("in.rdp");
    CInFileCtrl ctrl;
    Make(ctrl, 1, dir.Path().c_str());
    plat::FileDialogResult answer;
    answer.ok = true;
    answer.paths = {layer};
    plat::ScopedFileDialogAnswerer answerer(answer);
    ctrl.OnBrowse();
    delete dialog;  // the field's window goes with it
    dialog = nullptr;
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ctrl.Window(), nullptr);
    EXPECT_EQ(ctrl.GetPathName(), layer);
}

}  // namespace
