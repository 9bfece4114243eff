// The viewer's main road through the running program: a project made with
// New, a surface, a light, a camera and a viewer, the camera picked in the
// popup, the surface's heights read from a raster layer file that numpy
// wrote, the picture rendered, saved as a bitmap file (read back by GDAL),
// shown below the window's strip, and the viewer kept by a project file.

#include "Viewer3DTestSupport.h"

#include "Command.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "TempDir.h"

#include "viewer3d/Halcyte3DMain.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/forms/SAdministratorUn.h"
#include "viewer3d/forms/SCameraSelectUn.h"
#include "viewer3d/forms/SViewer3DUn.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/files/SLayers.h"
#include "engine3d/render/SMemBitmapView.h"
#include "engine3d/scene/SSurfaces3D.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <filesystem>
#include <fstream>
#include <memory>
#include <tuple>
#include <vector>

using namespace std::chrono_literals;

namespace {

QTreeWidgetItem* ItemNamed(QTreeWidget* Tree, const std::string& Text)
{
    for (QTreeWidgetItemIterator it(Tree); *it; ++it)
        if ((*it)->text(0).toStdString() == Text)
            return *it;
    return nullptr;
}

// New under the node named Under (the project's own node when empty).
void NewUnder(TSAdministrator& Admin, const std::string& Under, const std::string& Category, const std::string& Leaf)
{
    QTreeWidgetItem* node = Under.empty() ? Admin.TreeView1()->topLevelItem(0) : ItemNamed(Admin.TreeView1(), Under);
    ASSERT_NE(node, nullptr) << Under;
    Admin.TreeView1()->setCurrentItem(node);
    ChooseInNewDialog(Category, Leaf);
    Admin.NewBtnClick();
}

void PickCamera(TSAdministrator& Admin, THalcyte3DProject& Project, TSDrawingSystem3D& System)
{
    QMenu menu;
    TSCommandRecord record;
    record.Project = &Project;
    record.Object = &System;
    record.Command = icPopupMenu;
    record.Param = reinterpret_cast<TSParam>(&menu);
    ASSERT_EQ(DispatchInterfaceCommand(System.ClassType(), record), 0);
    QAction* pick = nullptr;
    for (QAction* a : menu.actions())
        if (a->text() == "Select Camera...")
            pick = a;
    ASSERT_NE(pick, nullptr);
    testsupport::WhenShown<TSSelectCameraForm>(
        [] { return dynamic_cast<TSSelectCameraForm*>(QApplication::activeModalWidget()); },
        [](TSSelectCameraForm& form) {
            QTreeWidgetItem* cameras = form.Tree()->topLevelItem(0);
            if (cameras != nullptr && cameras->childCount() > 0)
                form.Tree()->setCurrentItem(cameras->child(0));
            form.OkButton()->click();
        });
    pick->trigger();
}

std::string EndToEndCheck(const std::string& Mode, const std::string& Path)
{
    return testsupport::CommandOutput("/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer3d/viewer_end_to_end.py " +
                                      Mode + " '" + Path + "' 2>&1");
}

// A grid of the layer's size over -10..10 in X and Y, the heights as Z,
// read row by row as 32-bit floats.
void FillFromHeightField(TSSurface3D& Surface, const std::string& Path)
{
    ASSERT_EQ(EndToEndCheck("field", Path), "ok\n");
    std::vector<double> heights(std::filesystem::file_size(Path + ".f64") / 8);
    std::ifstream(Path + ".f64", std::ios::binary)
        .read(reinterpret_cast<char*>(heights.data()), static_cast<std::streamsize>(heights.size() * 8));

    std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(nullptr, Path));
    ASSERT_NE(keeper, nullptr);
    keeper->Open(Path, 3, 0, true);
    ASSERT_EQ(keeper->Count(), 1);
    TSLayer* layer = keeper->GetLayer(0);
    const int w = layer->Width();
    const int h = layer->Height();
    ASSERT_EQ(std::size_t(w) * std::size_t(h), heights.size());
    Surface.SetGridSize(w, h);
    std::vector<float> row(static_cast<std::size_t>(w));
    layer->BeginUpdate();
    Surface.BeginUpdate();
    for (int j = 0; j < h; ++j) {
        layer->ReadRow(j, row.data(), w, 4, stFloat32);
        for (int i = 0; i < w; ++i) {
            TSSurfaceNode& node = Surface.Node(i, j);
            node.Position = {-10.0f + 20.0f * float(i) / float(w - 1), -10.0f + 20.0f * float(j) / float(h - 1),
                             row[std::size_t(i)]};
            node.Color = {0.5f, 0.25f, 1};
        }
    }
    Surface.EndUpdate();
    layer->EndUpdate();
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            EXPECT_EQ(Surface.Node(i, j).Position.Z, float(heights[std::size_t(j * w + i)])) << i << "," << j;
}

void Script(TSAdministrator& Admin, const std::string& Folder)
{
    NewUnder(Admin, " - NO PROJECT - ", "Projects", "Halcyte 3D Project");
    auto* project = dynamic_cast<THalcyte3DProject*>(Admin.Project());
    ASSERT_NE(project, nullptr);
    NewUnder(Admin, "Objects", "Standart Objects", "Surface 3D");
    NewUnder(Admin, "Lights", "Standart Objects", "Flat Spring Light");
    NewUnder(Admin, "Cameras", "Standart Objects", "Eye System");
    NewUnder(Admin, "", "Viewers", "Standart Viewer 3D");
    ASSERT_EQ(project->Objects()->Count(), 1);
    ASSERT_EQ(project->Lights()->Count(), 1);
    ASSERT_EQ(project->Cameras()->Count(), 1);
    ASSERT_EQ(project->ViewerCount(), 1);
    auto* system = dynamic_cast<TSDrawingSystem3D*>(project->GetViewer(0));
    auto* surface = dynamic_cast<TSSurface3D*>(project->Objects()->GetItem(0));
    ASSERT_NE(system, nullptr);
    ASSERT_NE(surface, nullptr);
    PickCamera(Admin, *project, *system);
    ASSERT_EQ(project->GetCamera(system), project->Cameras()->GetItem(0));

    // What the editors will do: the surface's nodes from a height field, the
    // light, the viewer's set-up.
    FillFromHeightField(*surface, Folder + "/heights.rdp");
    auto* light = dynamic_cast<TSFlatSpringLight3D*>(project->Lights()->GetItem(0));
    ASSERT_NE(light, nullptr);
    light->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});  // head-on
    system->BeginChange();
    system->SetSize(64, 64);
    system->SetBackgroundColor({0, 0, 1});
    system->SetColorDepth(5);
    system->Canvas()->SetChannelEnabled(2, true);
    system->Canvas()->SetChannelEnabled(3, true);
    system->EndChange();

    // A title that fits the 64-pixel picture: the first opening widens a picture
    // narrower than its title.
    system->SetName("V");
    QCoreApplication::processEvents();  // the window hears of the new name
    TSCommandRecord open;
    open.Project = project;
    open.Object = system;
    open.Command = icOpen;
    DispatchInterfaceCommand(system->ClassType(), open);
    auto* view = dynamic_cast<TSViewer3D*>(system->Viewer());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(testsupport::PumpUntil(
        [&] {
            return view->isVisible() && view->size() == QSize(64, 88) && !project->IsDirty() &&
                   MemoryBitmapImage(*system->Bitmap()).pixel(32, 32) == 0xFF8040FFu;
        },
        20s))
        << std::hex << MemoryBitmapImage(*system->Bitmap()).pixel(32, 32) << std::dec << " size "
        << view->size().width() << "x" << view->size().height() << " dirty " << project->IsDirty() << " visible "
        << view->isVisible();
    view->SaveBitmap();
    const QImage file(QString::fromStdString(Folder + "/picture.bmp"));
    ASSERT_EQ(file.size(), QSize(64, 64));
    const QImage shot = view->grab().toImage();
    for (auto [x, y, rgb] : {std::tuple{32, 32, 0x8040FFu},
                             {22, 21, 0x8040FFu},
                             {42, 41, 0x8040FFu},
                             {21, 32, 0x0000FFu},
                             {32, 42, 0x0000FFu}}) {
        EXPECT_EQ(file.pixel(x, y) & 0xFFFFFF, rgb) << x << "," << y;
        EXPECT_EQ(shot.pixel(x, y + 24) & 0xFFFFFF, rgb) << x << "," << y;
    }
    EXPECT_EQ(EndToEndCheck("picture", Folder + "/picture.bmp"), "ok\n");

    // The viewer, its camera and its window through the project file.
    view->move(100, 120);
    QCoreApplication::processEvents();
    const QPoint at = view->pos();
    const std::string path = Folder + "/scene.hcp";
    std::unique_ptr<THalcyte3DProject> loaded = SaveAndLoad(*project, path);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->ViewerCount(), 1);
    auto* again = dynamic_cast<TSDrawingSystem3D*>(loaded->GetViewer(0));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Name(), system->Name());
    EXPECT_EQ(again->Width(), 64);
    EXPECT_EQ(again->ColorDepth(), 5);
    EXPECT_EQ(again->BackgroundColor(), (TSColor3{0, 0, 1}));
    EXPECT_TRUE(again->Canvas()->GetChannelEnabled(2));
    EXPECT_TRUE(again->Canvas()->GetChannelEnabled(3));
    EXPECT_EQ(loaded->GetCamera(again), loaded->Cameras()->GetItem(0));
    auto* loadedView = dynamic_cast<TSViewer3D*>(again->Viewer());
    ASSERT_NE(loadedView, nullptr);
    EXPECT_TRUE(loadedView->isVisible());
    EXPECT_EQ(loadedView->pos(), at);
    EXPECT_EQ(loadedView->size(), QSize(64, 88));
}

}  // namespace

TEST(ViewerEndToEnd, NewProjectRendersIntoItsViewerAndSavesThePicture)
{
    testsupport::TempDir dir;
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    plat::FileDialogResult answer;
    answer.ok = true;
    answer.paths = {dir.File("picture")};
    plat::ScopedFileDialogAnswerer files(answer);
    bool ran = false;
    const auto shownAdministrator = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* admin = dynamic_cast<TSAdministrator*>(w); admin && admin->isVisible())
                return admin;
        return static_cast<TSAdministrator*>(nullptr);
    };
    EXPECT_EQ(testsupport::RunModal([&] { return shownAdministrator() != nullptr; },
                                    {testsupport::Once([&] {
                                        TSAdministrator* admin = shownAdministrator();
                                        ran = true;
                                        Script(*admin, dir.Path());
                                        admin->close();
                                    })},
                                    [] { return RunHalcyte3D(); }, testsupport::kModalLimit,
                                    testsupport::CloseTopLevelWindows),
              0);
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    EXPECT_TRUE(ran);
}
