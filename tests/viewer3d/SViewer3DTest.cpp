// The viewer window of a drawing system: fitting the image, resizing it,
// captions, saving the picture, its state record, the popup entries and the
// camera picker.

#include "Viewer3DTestSupport.h"

#include "ModalDriver.h"
#include "PumpUntil.h"
#include "TempDir.h"

#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/forms/SCameraSelectUn.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/forms/SViewer3DSetupUn.h"
#include "viewer3d/forms/SViewer3DUn.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/render/SMemBitmapView.h"
#include "engine3d/scene/SSurfaces3D.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstring>
#include <filesystem>
#include <memory>
#include <tuple>

using namespace std::chrono_literals;

namespace {

class StateStream final : public TSObjectsStream {
public:
    std::vector<unsigned char> Bytes;
    std::int32_t Pos = 0;

    void Read(void* Buffer, std::int32_t Count) override
    {
        if (Count < 0 || std::size_t(Pos) + std::size_t(Count) > Bytes.size())
            throw EStreamError("read past the end");
        std::memcpy(Buffer, Bytes.data() + Pos, std::size_t(Count));
        Pos += Count;
    }
    void Write(const void* Buffer, std::int32_t Count) override
    {
        Bytes.resize(std::size_t(Pos) + std::size_t(Count));
        std::memcpy(Bytes.data() + Pos, Buffer, std::size_t(Count));
        Pos += Count;
    }
    std::int64_t Remaining() const override { return std::int64_t(Bytes.size()) - Pos; }
};

// Once the camera picker runs modally, Act gets it.
void WhenPicker(std::function<void(TSSelectCameraForm&)> Act)
{
    testsupport::WhenShown<TSSelectCameraForm>(
        [] { return dynamic_cast<TSSelectCameraForm*>(QApplication::activeModalWidget()); }, std::move(Act));
}

void DrawSquare(TSDrawingSystem3D& S, double Half, double R, double G, double B)
{
    auto v = [&](double X, double Y) { return TSVertex3D{X, Y, 100, R, G, B}; };
    S.BeginDraw(0);
    S.DrawTriangle(v(-Half, -Half), v(Half, -Half), v(Half, Half));
    S.DrawTriangle(v(-Half, -Half), v(Half, Half), v(-Half, Half));
    S.EndDraw(0);
}

}  // namespace

class ViewerWindow : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        System.reset(TSObject::Create<TSDrawingSystem3D>());
        ASSERT_NE(System, nullptr);
        View = dynamic_cast<TSViewer3D*>(System->Viewer());
        ASSERT_NE(View, nullptr);
    }
    void TearDown() override
    {
        System.reset();
        Viewer3DTest::TearDown();
    }
    bool Fitted()
    {
        return testsupport::PumpUntil([this] { return View->size() == QSize(System->Width(), System->Height() + 24); },
                                      5s);
    }

    std::unique_ptr<TSDrawingSystem3D> System;
    TSViewer3D* View = nullptr;
};

TEST_F(ViewerWindow, FitsTheImageBelowItsStripAndFollowsAUserResize)
{
    EXPECT_TRUE(View->windowFlags().testFlag(Qt::Tool));
    EXPECT_FALSE(View->isVisible());
    View->show();
    ASSERT_TRUE(Fitted());
    EXPECT_EQ(View->size(), QSize(128, 128 + 24));
    View->resize(300, 224);
    QCoreApplication::processEvents();
    EXPECT_EQ(System->Width(), 300);
    EXPECT_EQ(System->Height(), 200);
    ASSERT_TRUE(Fitted());
    EXPECT_EQ(View->size(), QSize(300, 224));
    // A new size of the drawing system fits the window again.
    System->SetSize(64, 32);
    ASSERT_TRUE(Fitted());
    EXPECT_EQ(View->size(), QSize(64, 56));
}

TEST_F(ViewerWindow, CaptionsFollowTheName)
{
    EXPECT_EQ(View->CaptionText(), System->Name());
    System->SetName("Front view");
    ASSERT_TRUE(testsupport::PumpUntil([this] { return View->CaptionText() == "Front view"; }, 5s));
    EXPECT_EQ(View->windowTitle().toStdString(), "Front view");
    EXPECT_EQ(View->SetupForm()->CaptionText(), "Front view : Setup");
    View->SetDrawingSystem(nullptr);
    EXPECT_EQ(View->CaptionText(), "Viewer3D");
    View->SetDrawingSystem(System.get());
}

TEST_F(ViewerWindow, TheFirstOpeningWidensANarrowPictureUntilItsTitleShowsWhole)
{
    struct Case {
        const char* name;
        bool widened;
    };
    for (const Case& c : {Case{"V", false}, Case{"Drawing system of the northern test site, lit from the west", true}}) {
        SCOPED_TRACE(c.name);
        System.reset(TSObject::Create<TSDrawingSystem3D>());
        View = dynamic_cast<TSViewer3D*>(System->Viewer());
        ASSERT_NE(View, nullptr);
        System->SetName(c.name);
        ASSERT_TRUE(testsupport::PumpUntil([this, &c] { return View->CaptionText() == c.name; }, 5s));
        View->ShowViewer();
        ASSERT_TRUE(Fitted());
        const int need = View->Caption()->WidthShowingText();
        EXPECT_EQ(System->Width() > 128, c.widened);
        EXPECT_GE(View->width(), need);
        EXPECT_EQ(System->Height(), 128);
        // Only the first opening: a narrower size chosen later stays.
        System->SetSize(100, 100);
        ASSERT_TRUE(Fitted());
        View->close();
        View->ShowViewer();
        ASSERT_TRUE(Fitted());
        EXPECT_EQ(System->Width(), 100);
    }
}

TEST_F(ViewerWindow, ClosingHidesTheWindowAndItsSetup)
{
    View->show();
    View->ShowSetup();
    EXPECT_TRUE(View->SetupForm()->isVisible());
    View->close();
    EXPECT_FALSE(View->isVisible());
    EXPECT_FALSE(View->SetupForm()->isVisible());
    View->show();
    EXPECT_TRUE(View->SetupForm()->isVisible());
}

TEST_F(ViewerWindow, ShowsThePictureBelowTheStrip)
{
    System->SetSize(64, 64);
    System->SetBackgroundColor({0, 0, 1});
    System->SetColorDepth(5);
    System->Canvas()->SetChannelEnabled(2, true);
    System->Canvas()->SetChannelEnabled(3, true);
    System->ApplyChannelSetup();
    DrawSquare(*System, 10, 0.5, 0.25, 1);
    View->show();
    ASSERT_TRUE(Fitted());
    QCoreApplication::processEvents();
    const QImage shot = View->grab().toImage();
    const QImage picture = MemoryBitmapImage(*System->Bitmap());
    ASSERT_EQ(picture.size(), QSize(64, 64));
    for (int y = 0; y < 64; y += 7)
        for (int x = 0; x < 64; x += 7)
            ASSERT_EQ(shot.pixel(x, y + 24) & 0xFFFFFF, picture.pixel(x, y) & 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(shot.pixel(32, 24 + 32) & 0xFFFFFF, 0x8040FFu);
    EXPECT_EQ(shot.pixel(2, 24 + 2) & 0xFFFFFF, 0x0000FFu);
    if (const char* where = std::getenv("VIEWER_SHOT"))
        View->grab().save(QString::fromLocal8Bit(where));
}

TEST_F(ViewerWindow, SavesThePictureAddingBmpToANameWithoutExtension)
{
    testsupport::TempDir dir;
    System->SetColorDepth(5);
    struct Case {
        std::string Chosen;
        std::string Written;
    };
    const Case cases[] = {
        {"pic", "pic.bmp"},
        {"pic.img", "pic.img"},
        {"dot.dir/name", "dot.dir/name.bmp"},
    };
    std::filesystem::create_directory(dir.File("dot.dir"));
    for (const Case& c : cases) {
        AnswerFileDialog(dir.File(c.Chosen));
        View->SaveBitmap();
        EXPECT_TRUE(std::filesystem::exists(dir.File(c.Written))) << c.Written;
        ASSERT_EQ(FileRequests().size(), 1u);
        EXPECT_EQ(FileRequests()[0].title, "Save As Bitmap");
        EXPECT_EQ(FileRequests()[0].filter, "Bitmap file (*.bmp)|*.bmp");
        EXPECT_EQ(FileRequests()[0].flags & plat::OFN_OVERWRITEPROMPT, 0u);
    }
    // While the drawing system updates, the user is told and nothing is written.
    AnswerFileDialog(dir.File("busy"));
    System->BeginUpdate();
    const std::size_t boxes = Boxes().size();
    View->SaveBitmap();
    System->EndUpdate();
    EXPECT_FALSE(std::filesystem::exists(dir.File("busy.bmp")));
    ASSERT_EQ(Boxes().size(), boxes + 1);
}

// A drawing system that drew nothing shows black below the strip: Save as
// Bitmap writes that, with no error.
TEST_F(ViewerWindow, APictureOfNothingIsSavedAsTheBlackItShows)
{
    testsupport::TempDir dir;
    View->show();
    ASSERT_TRUE(Fitted());
    QCoreApplication::processEvents();
    ASSERT_EQ(System->Bitmap()->Bits(), nullptr);
    const std::size_t boxes = Boxes().size();
    AnswerFileDialog(dir.File("nothing"));
    View->SaveBitmap();
    EXPECT_EQ(Boxes().size(), boxes);
    const QImage file(QString::fromStdString(dir.File("nothing.bmp")));
    ASSERT_FALSE(file.isNull());
    const QImage shot = View->grab().toImage();
    ASSERT_EQ(file.size(), QSize(shot.width(), shot.height() - 24));
    for (int y = 0; y < file.height(); y += 5)
        for (int x = 0; x < file.width(); x += 5)
            ASSERT_EQ(file.pixel(x, y) & 0xFFFFFF, shot.pixel(x, y + 24) & 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(file.pixel(0, 0) & 0xFFFFFF, 0u);
}

TEST_F(ViewerWindow, StateRecordKeepsPlaceAndWindowState)
{
    struct Case {
        const char* Name;
        bool Visible;
        Qt::WindowStates State;
        std::int32_t Flags;
    };
    const Case cases[] = {
        {"normal", true, Qt::WindowNoState, 1 | 4},
        {"maximised", true, Qt::WindowMaximized, 1 | 8},
        {"minimised", true, Qt::WindowMinimized, 1},
        {"hidden", false, Qt::WindowNoState, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        View->setWindowState(Qt::WindowNoState);
        View->setVisible(c.Visible);
        View->setWindowState(c.State);
        QCoreApplication::processEvents();
        StateStream stream;
        ASSERT_EQ(View->SaveState(&stream), 40);
        std::int32_t flags = 0;
        std::memcpy(&flags, stream.Bytes.data() + 16, 4);
        EXPECT_EQ(flags & 13, c.Flags);

        std::unique_ptr<TSDrawingSystem3D> other(TSObject::Create<TSDrawingSystem3D>());
        auto* view = dynamic_cast<TSViewer3D*>(other->Viewer());
        stream.Pos = 0;
        ASSERT_EQ(view->LoadState(&stream), 40);
        EXPECT_EQ(view->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized),
                  c.State & (Qt::WindowMaximized | Qt::WindowMinimized));
        // Shown only by the project after a load.
        EXPECT_FALSE(view->isVisible());
    }
}

class ViewerInProject : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        Project.reset(TSObject::Create<THalcyte3DProject>());
        System = Make<TSDrawingSystem3D>();
        Camera = Make<TSEyeSystem3D>();
        ASSERT_NE(System, nullptr);
        ASSERT_NE(Camera, nullptr);
        Project->SetCamera(System, Camera);
    }
    void TearDown() override
    {
        Project.reset();
        Viewer3DTest::TearDown();
    }
    template <class T>
    T* Make()
    {
        TSCreateObjectRecord request{nullptr, &T::ClassInfo, nullptr};
        EXPECT_EQ(Project->Process(pcCreateObject, reinterpret_cast<TSParam>(&request)), 0);
        return dynamic_cast<T*>(request.Created);
    }
    // The popup of the drawing system's node.
    std::unique_ptr<QMenu> Popup()
    {
        auto menu = std::make_unique<QMenu>();
        TSCommandRecord record;
        record.Project = Project.get();
        record.Object = System;
        record.Command = icPopupMenu;
        record.Param = reinterpret_cast<TSParam>(menu.get());
        EXPECT_EQ(DispatchInterfaceCommand(System->ClassType(), record), 0);
        return menu;
    }
    static QAction* Entry(QMenu& Menu, const QString& Text)
    {
        for (QAction* a : Menu.actions())
            if (a->text() == Text)
                return a;
        return nullptr;
    }

    std::unique_ptr<THalcyte3DProject> Project;
    TSDrawingSystem3D* System = nullptr;
    TSEyeSystem3D* Camera = nullptr;
};

TEST_F(ViewerInProject, PopupOffersSetupAndCameraAfterOpen)
{
    auto menu = Popup();
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts, (QStringList{"Open", "Setup...", "Select Camera...", "-", "Cut", "Copy", "Paste"}));
    Entry(*menu, "Setup...")->trigger();
    auto* view = dynamic_cast<TSViewer3D*>(System->Viewer());
    EXPECT_TRUE(view->SetupForm()->isVisible());

    TSCommandRecord open;
    open.Object = System;
    open.Command = icOpen;
    EXPECT_EQ(DispatchInterfaceCommand(System->ClassType(), open), 0);
    EXPECT_TRUE(view->isVisible());
    TSCommandRecord none;
    none.Command = icOpen;
    EXPECT_EQ(DrawingSystemCommand(&none), -1);
}

TEST_F(ViewerInProject, PickerCancelKeepsTheCameraAndTheListNodeRemovesIt)
{
    auto menu = Popup();
    QAction* pick = Entry(*menu, "Select Camera...");
    ASSERT_NE(pick, nullptr);

    bool selected = false;
    WhenPicker([&](TSSelectCameraForm& Form) {
        // The current camera comes selected.
        selected = Form.Tree()->currentItem() != nullptr && Form.Tree()->currentItem()->parent() != nullptr;
        Form.CancelButton()->click();
    });
    pick->trigger();
    EXPECT_TRUE(selected);
    EXPECT_EQ(Project->GetCamera(System), Camera);

    WhenPicker([](TSSelectCameraForm& Form) {
        ASSERT_GE(Form.Tree()->topLevelItemCount(), 1);
        Form.Tree()->setCurrentItem(Form.Tree()->topLevelItem(0));  // "Cameras"
        Form.OkButton()->click();
    });
    pick->trigger();
    EXPECT_EQ(Project->GetCamera(System), nullptr);

    WhenPicker([](TSSelectCameraForm& Form) {
        QTreeWidgetItem* cameras = Form.Tree()->topLevelItem(0);
        ASSERT_GE(cameras->childCount(), 1);
        Form.Tree()->setCurrentItem(cameras->child(0));
        Form.OkButton()->click();
    });
    pick->trigger();
    EXPECT_EQ(Project->GetCamera(System), Camera);

    TSCustomProjectionSystem3D* kept = Camera;
    EXPECT_FALSE(SelectCamera("Select Camera", nullptr, kept));
    EXPECT_EQ(kept, Camera);
}

// A lit surface rendered by the project into its viewer, saved as a bitmap
// through the window, and the viewer, camera and window state through the
// project file.
TEST_F(ViewerInProject, RendersSavesAndKeepsItsStateInTheProjectFile)
{
    testsupport::TempDir dir;
    auto* light = Make<TSFlatSpringLight3D>();
    auto* surface = Make<TSSurface3D>();
    ASSERT_NE(light, nullptr);
    ASSERT_NE(surface, nullptr);
    std::unique_ptr<TSSimpleDiffuseReflection> law(TSObject::Create<TSSimpleDiffuseReflection>());
    surface->SetReflectionLaw(law.get());
    surface->SetGridSize(2, 2);
    surface->BeginUpdate();
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            surface->Node(i, j).Position = {i == 0 ? -10.0f : 10.0f, j == 0 ? -10.0f : 10.0f, -1000.0f};
            surface->Node(i, j).Color = {1, 1, 1};
        }
    surface->EndUpdate();
    System->SetName("Main view");
    System->BeginChange();
    System->SetSize(64, 64);
    System->SetBackgroundColor({0, 0, 1});
    System->SetColorDepth(5);
    System->Canvas()->SetChannelEnabled(2, true);
    System->Canvas()->SetChannelEnabled(3, true);
    System->EndChange();
    auto* view = dynamic_cast<TSViewer3D*>(System->Viewer());
    view->show();
    // The light at +X lights the surface half.
    ASSERT_TRUE(testsupport::PumpUntil(
        [&] {
            return !Project->Thread()->HasWorker() && !Project->IsDirty() && view->size() == QSize(64, 64 + 24) &&
                   MemoryBitmapImage(*System->Bitmap()).pixel(32, 32) == 0xFF808080u;
        },
        20s));
    AnswerFileDialog(dir.File("shot"));
    view->SaveBitmap();
    const QImage file(QString::fromStdString(dir.File("shot.bmp")));
    ASSERT_EQ(file.size(), QSize(64, 64));
    const QImage shot = view->grab().toImage();
    // Top row first: the square's canvas rows 22..42 are rows 41..21 here.
    for (auto [x, y, rgb] : {std::tuple{32, 32, 0x808080u},
                             {22, 21, 0x808080u},
                             {42, 41, 0x808080u},
                             {21, 32, 0x0000FFu},
                             {43, 32, 0x0000FFu},
                             {32, 42, 0x0000FFu},
                             {2, 2, 0x0000FFu}}) {
        EXPECT_EQ(file.pixel(x, y) & 0xFFFFFF, rgb) << x << "," << y;
        EXPECT_EQ(shot.pixel(x, y + 24) & 0xFFFFFF, rgb) << x << "," << y;
    }

    view->move(100, 120);
    QCoreApplication::processEvents();
    const QPoint at = view->pos();
    const std::string path = dir.File("p.hcp");
    std::unique_ptr<THalcyte3DProject> loaded = SaveAndLoad(*Project, path);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->ViewerCount(), 1);
    auto* again = dynamic_cast<TSDrawingSystem3D*>(loaded->GetViewer(0));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Name(), "Main view");
    EXPECT_EQ(again->Width(), 64);
    EXPECT_EQ(again->ColorDepth(), 5);
    EXPECT_TRUE(again->Canvas()->GetChannelEnabled(3));
    ASSERT_NE(loaded->GetCamera(again), nullptr);
    EXPECT_EQ(loaded->Cameras()->IndexOf(loaded->GetCamera(again)), 0);
    auto* loadedView = dynamic_cast<TSViewer3D*>(again->Viewer());
    ASSERT_NE(loadedView, nullptr);
    EXPECT_TRUE(loadedView->isVisible());
    EXPECT_EQ(loadedView->pos(), at);
    EXPECT_EQ(loadedView->CaptionText(), "Main view");
    // Drawn once by the load (the surface's nodes come from its layer file, not the project's).
    EXPECT_EQ(MemoryBitmapImage(*again->Bitmap()).pixel(2, 2), 0xFF0000FFu);
}
