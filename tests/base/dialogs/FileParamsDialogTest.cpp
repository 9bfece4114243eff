// The View Parameters dialog, offscreen, on raster layer files the tests write: the tag
// tree, the rows of product tags whose payloads and expected values come from Python's
// struct module, the dictionary file it writes, and the file dialog's "View" button.

#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "../RdpFileBuilder.h"
#include "Command.h"
#include "platform/dialogs/MessageBox.h"
#include "ModalDriver.h"
#include "ScopedEnvFolder.h"
#include "dialogs/FileParamsDialog.h"
#include "dialogs/PreviewOptionsPane.h"
#include "tags/TagResources.h"

namespace {

using rdptest::Bytes;
using rdptest::RdpFileBuilder;

std::vector<std::string> Children(QTreeWidgetItem* root)
{
    std::vector<std::string> out;
    for (int i = 0; root && i < root->childCount(); ++i)
        out.push_back(root->child(i)->text(0).toStdString());
    return out;
}

// True when the picture holds the image somewhere in area.
bool Shows(const QImage& picture, const QImage& image, const QRect& area)
{
    const QImage p = picture.convertToFormat(QImage::Format_ARGB32), m = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = area.top(); y + m.height() <= area.bottom() + 1 && y + m.height() <= p.height(); ++y)
        for (int x = area.left(); x + m.width() <= area.right() + 1 && x + m.width() <= p.width(); ++x) {
            bool same = true;
            for (int j = 0; same && j < m.height(); ++j)
                for (int i = 0; same && i < m.width(); ++i)
                    if (qAlpha(m.pixel(i, j)) == 255 && m.pixel(i, j) != p.pixel(x + i, y + j))
                        same = false;
            if (same)
                return true;
        }
    return false;
}

class FileParamsDialogTest : public ::testing::Test {
protected:
    std::string Fixture(const char* name, RdpFileBuilder b)
    {
        const std::string path = dir.File(name);
        b.Save(path);
        return path;
    }
    std::vector<std::string> Rows(CFileParamsDialog& dlg, int column)
    {
        std::vector<std::string> out;
        QTreeWidget* list = dlg.ParamList();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out.push_back(list->topLevelItem(i)->text(column).toStdString());
        return out;
    }
    void Select(CFileParamsDialog& dlg, int child)
    {
        QTreeWidgetItem* root = dlg.LayerTree()->topLevelItem(0);
        dlg.LayerTree()->setCurrentItem(child < 0 ? root : root->child(child));
    }
    static std::string Label(CFileParamsDialog& dlg) { return dlg.Window()->ControlText(CFileParamsDialog::IDC_TAG_NAME); }

    ScopedEnvFolder runtime{"XDG_RUNTIME_DIR"};
    rdptest::TempDir dir;
};

TEST_F(FileParamsDialogTest, ReservedTagsOnlyListTheirNumbers)
{
    struct Case {
        const char* name;
        std::string path;
        std::vector<std::string> children;
    };
    const Case cases[] = {
        {"real with preview", Fixture("real.rdp", RdpFileBuilder::Fresh(4, 3, UINT8, true)), {"1", "2", "4"}},
        {"complex", Fixture("cplx.rdp", RdpFileBuilder::Fresh(4, 3, CFLOAT32)), {"1", "2", "3"}},
        {"not a layer file", Fixture("text.rdp", RdpFileBuilder()), {}},
        {"no file", dir.File("absent.rdp"), {}},
    };
    for (const Case& c : cases) {
        CFileParamsDialog dlg;
        dlg.m_filePath = c.path;
        dlg.Create(nullptr);
        ASSERT_EQ(dlg.LayerTree()->topLevelItemCount(), 1) << c.name;
        QTreeWidgetItem* root = dlg.LayerTree()->topLevelItem(0);
        EXPECT_EQ(root->text(0), "Layer 1");
        EXPECT_FALSE(root->isExpanded());
        EXPECT_EQ(Children(root), c.children) << c.name;
        for (int i = -1; i < root->childCount(); ++i) {
            Select(dlg, i);
            EXPECT_EQ(dlg.ParamList()->topLevelItemCount(), 0) << c.name << i;
            EXPECT_EQ(Label(dlg), "") << c.name << i;
        }
        EXPECT_EQ(dlg.ParamList()->headerItem()->text(0), "Parameter");
        EXPECT_EQ(dlg.ParamList()->headerItem()->text(1), "Value");
        EXPECT_EQ(dlg.ParamList()->columnWidth(0), 200);
        EXPECT_EQ(dlg.Window()->windowTitle(), "View Parameters");
    }
}

TEST_F(FileParamsDialogTest, ProductTagsShowTheValuesPythonPacked)
{
    const auto run = testsupport::RunCommand("/usr/bin/python3 " SUITE_SOURCE_DIR
                                             "/tests/base/dialogs/tag_payloads.py " +
                                             dir.Path());
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<int, std::vector<std::string>> expected;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        expected[std::stoi(line.substr(0, tab))].push_back(line.substr(tab + 1));
    }
    RdpFileBuilder b = RdpFileBuilder::Fresh(8, 4, UINT8);
    for (int tag : {301, 303, 305, 300})
        b.AddTag(0, tag, rdptest::Load(dir.File(std::to_string(tag) + ".bin")));
    b.AddTag(0, 308, rdptest::UserPayload(1, std::string(48, '\0')));
    b.AddTag(0, 303, rdptest::UserPayload(1, "again"));  // a repeated number ends the list
    b.AddTag(0, 999, rdptest::UserPayload(1, "after"));
    CFileParamsDialog dlg;
    dlg.m_filePath = Fixture("product.rdp", b);
    dlg.Create(nullptr);
    dlg.Window()->show();
    QTreeWidgetItem* root = dlg.LayerTree()->topLevelItem(0);
    EXPECT_EQ(Children(root), (std::vector<std::string>{"1", "2", "WinGeoCoord", "LogicalCoord", "CommonParam",
                                                        "LeaderFile", "308"}));
    root->setExpanded(true);

    struct Case {
        int child, tag;
        const char* label;
    };
    for (const Case& c : {Case{2, 301, "Window Geo Coordinates"}, Case{3, 303, "Logical window Coord and Frame Size"},
                          Case{4, 305, "Common Parameters"}, Case{5, 300, "Leader File"}}) {
        Select(dlg, c.child);
        EXPECT_EQ(Label(dlg), c.label);
        std::vector<std::string> values = Rows(dlg, 1);
        if (c.tag == 300) {
            // Python checked the fields inside the short copy; the rest are empty.
            ASSERT_EQ(values.size(), 90u);
            for (size_t i = expected[300].size(); i < values.size(); ++i)
                EXPECT_EQ(values[i], "") << i;
            values.resize(expected[300].size());
        }
        EXPECT_EQ(values, expected[c.tag]) << c.tag;
    }
    Select(dlg, 3);
    EXPECT_EQ(Rows(dlg, 0), (std::vector<std::string>{"Tag Lenght", "Copy Flag", "Frame Width", "Frame Height",
                                                      "Horizontal Offset", "Vertical Offset"}));
    Select(dlg, 2);
    const std::vector<std::string> corners = Rows(dlg, 0);
    ASSERT_EQ(corners.size(), 14u);
    EXPECT_EQ(corners[2], "Left Up Corner");
    EXPECT_EQ(corners[3], "     Latitude");
    EXPECT_EQ(corners[13], "     Longitude");
    if (const char* shots = std::getenv("SUITE_SCREENSHOT_DIR"))
        dlg.Window()->grab().save(QString::fromUtf8(shots) + "/view-parameters.png");

    // The tree shows the layer's image, the tags' image and the selected tag's image.
    QApplication::processEvents();
    QTreeWidget* tree = dlg.LayerTree();
    const QImage shot = tree->viewport()->grab().toImage();
    const std::vector<QIcon> images = CFileParamsDialog::LayerTreeImages();
    const QSize size = tree->iconSize().isValid() ? tree->iconSize() : QSize(16, 16);
    const auto image = [&](int i) { return images[size_t(i)].pixmap(size).toImage(); };
    EXPECT_TRUE(Shows(shot, image(0), tree->visualItemRect(root)));
    EXPECT_TRUE(Shows(shot, image(3), tree->visualItemRect(root->child(2))));
    EXPECT_FALSE(Shows(shot, image(2), tree->visualItemRect(root->child(2))));
    EXPECT_TRUE(Shows(shot, image(2), tree->visualItemRect(root->child(3))));

    // The unknown tag: its number, an empty list.
    Select(dlg, 6);
    EXPECT_EQ(Label(dlg), "");
    EXPECT_EQ(dlg.ParamList()->topLevelItemCount(), 0);
}

TEST_F(FileParamsDialogTest, EachOpeningWritesTheDictionaryFile)
{
    const bool russian = QLocale().language() == QLocale::Russian;
    RdpFileBuilder b = RdpFileBuilder::Fresh(4, 3, UINT8);
    b.AddTag(0, 303, rdptest::UserPayload(1, std::string(16, '\0')));
    const std::string layer = Fixture("l.rdp", b);
    const std::string tfd = runtime.Path() + "/tags.tfd";
    for (int opening = 0; opening < 2; ++opening) {
        std::ofstream(tfd, std::ios::binary) << "junk\tdata\r\n";
        CFileParamsDialog dlg;
        dlg.m_filePath = layer;
        dlg.Create(nullptr);
        EXPECT_EQ(dlg.DictionaryPath(), tfd);
        const Bytes written = rdptest::Load(tfd);
        EXPECT_EQ(std::string(written.begin(), written.end()), TagDictionaryResource(russian));
        EXPECT_EQ(dlg.Dictionary().GetCount(), 551u);
        EXPECT_TRUE(dlg.FieldDescriptions().Parsed());
    }
    // A folder that cannot take the file: the dictionary comes from the embedded bytes.
    for (const std::string& folder : {dir.File("missing/deeper"), dir.File("l.rdp")}) {
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        CFileParamsDialog dlg;
        dlg.m_filePath = layer;
        dlg.Create(nullptr);
        EXPECT_EQ(dlg.DictionaryPath(), "") << folder;
        EXPECT_EQ(Children(dlg.LayerTree()->topLevelItem(0)), (std::vector<std::string>{"1", "2", "LogicalCoord"}));
    }
}

// "View" in the file dialog's options pane opens the dialog for the pane's file, modally.
TEST_F(FileParamsDialogTest, TheViewButtonOpensItForTheFile)
{
    RdpFileBuilder b = RdpFileBuilder::Fresh(4, 3, UINT8);
    b.AddTag(0, 307, rdptest::UserPayload(1, std::string(12, '\0')));
    QWidget owner;
    CPreviewOptionsPane pane(&owner);
    pane.SetFileName(Fixture("p.rdp", b));
    owner.show();
    std::vector<std::string> listed;
    const auto shown = [] {
        auto* d = dynamic_cast<plat::Dialog*>(QApplication::activeModalWidget());
        return d != nullptr && d->windowTitle() == "View Parameters" ? d : nullptr;
    };
    testsupport::RunModal([&] { return shown() != nullptr; },
                          {testsupport::Once([&] {
                              plat::Dialog* d = shown();
                              auto* tree = d->ControlAs<QTreeWidget>(CFileParamsDialog::IDC_LAYER_TREE);
                              listed = Children(tree->topLevelItem(0));
                              qobject_cast<QPushButton*>(d->Control(plat::IDOK))->click();
                          })},
                          [&] {
                              qobject_cast<QPushButton*>(pane.Window()->Control(5011))->click();
                              return 0;
                          });
    EXPECT_EQ(listed, (std::vector<std::string>{"1", "2", "Product Type"}));
}

}  // namespace
