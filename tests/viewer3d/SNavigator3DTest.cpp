// The navigator window and its container, offscreen: registration and opening, the
// controls' edge cases, the auto-repeat schedule driven tick by tick, drags synthesized
// over the preview, the frame picker, the state record through a project file, and
// the preview's picture against an independent projection of the dial.

#include "Command.h"
#include "ModalDriver.h"
#include "TempDir.h"
#include "Viewer3DTestSupport.h"

#include "viewer3d/Halcyte3DMain.h"
#include "viewer3d/forms/SAdministratorUn.h"
#include "viewer3d/forms/SDrawingsFinderUn.h"
#include "viewer3d/forms/SFinder3DUn.h"
#include "viewer3d/forms/SFinderLayerUn.h"
#include "viewer3d/forms/SFinderReflectionUn.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/forms/SNavigator3DUn.h"
#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/project/SNodes.h"

#include "engine3d/geometry/SBasis3D.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SScene3D.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <cstdlib>
#include <sstream>

namespace {

TSMatrix3D Rotation(const TSVector3D& Axis, double Angle)
{
    TSMatrix3D m;
    AxisRotationMatrix3D(Axis, m, Angle);
    return m;
}

TSMatrix3D Mul(const TSMatrix3D& A, const TSMatrix3D& B)
{
    TSMatrix3D r;
    MulMatrix3D(A, B, r);
    return r;
}

bool Near(const TSMatrix3D& A, const TSMatrix3D& B, double T = 1e-9)
{
    for (int k = 0; k < 9; ++k)
        if (!(std::abs(A.M[k] - B.M[k]) <= T))
            return false;
    return true;
}

bool Near(const TSVector3D& A, const TSVector3D& B, double T = 1e-9)
{
    return std::abs(A.X - B.X) <= T && std::abs(A.Y - B.Y) <= T && std::abs(A.Z - B.Z) <= T;
}

double Number(QLineEdit* Edit)
{
    double v = 0;
    EXPECT_TRUE(TryParseReal(Edit->text().toStdString(), v)) << Edit->text().toStdString();
    return v;
}

void Type(QLineEdit* Edit, const QString& Text)
{
    Edit->setFocus();
    Edit->selectAll();
    Edit->setText(Text);
}

void SendMouse(QWidget* W, QEvent::Type Type, QPoint At, Qt::MouseButton Button, Qt::MouseButtons Buttons)
{
    QMouseEvent e(Type, QPointF(At), W->mapToGlobal(QPointF(At)), Button, Buttons, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
}

void Drag(QWidget* Box, QPoint From, QPoint To)
{
    SendMouse(Box, QEvent::MouseMove, From, Qt::NoButton, Qt::NoButton);
    SendMouse(Box, QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
    SendMouse(Box, QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton);
    SendMouse(Box, QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton);
}

void Key(QWidget* W, Qt::Key K, const QString& Text)
{
    QKeyEvent press(QEvent::KeyPress, K, Qt::NoModifier, Text);
    QApplication::sendEvent(W, &press);
}

// A frame whose transforms fail, as a broken member's would.
class TFailingFrame final : public TSBasis3D {
    S_CLASS(TFailingFrame)
public:
    static inline bool Fail = false;

protected:
    void DoBeginTransform() override
    {
        if (Fail)
            throw EInvalidOperation("transform refused");
        TSBasis3D::DoBeginTransform();
    }
};

}  // namespace

constinit const TSClassInfo TFailingFrame::ClassInfo{"TFailingFrame", &TSBasis3D::ClassInfo,
                                                     &TSNewObject<TFailingFrame>};

namespace {

class Navigator : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        Project.reset(TSObject::Create<THalcyte3DProject>());
        Project->SetName("P");
        Container = Make<TSNavigator3DContainerObject>();
        ASSERT_NE(Container, nullptr);
        Window = Container->Window();
        ASSERT_NE(Window, nullptr);
        Camera = Make<TSEyeSystem3D>();
        Light = Make<TSPointSpringLight3D>();
    }
    void TearDown() override
    {
        TFailingFrame::Fail = false;
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
    // Frames placed at Origin with the identity.
    static void Place(TSBasis3D* Frame, const TSVector3D& Origin, const TSMatrix3D* Matrix = nullptr)
    {
        TSMatrix3D m;
        IdentityMatrix3D(m);
        Frame->SetPlacement(Matrix ? *Matrix : m, Origin);
    }

    std::unique_ptr<THalcyte3DProject> Project;
    TSNavigator3DContainerObject* Container = nullptr;
    TSNavigator3D* Window = nullptr;
    TSEyeSystem3D* Camera = nullptr;
    TSPointSpringLight3D* Light = nullptr;
};

TEST_F(Navigator, RegisteredOfferedAndOpenedCentred)
{
    EXPECT_EQ(FindRTDClass("TSNavigator3DContainerObject"), &TSNavigator3DContainerObject::ClassInfo);
    std::string caption;
    GetInterfaceCaption(&TSNavigator3DContainerObject::ClassInfo, caption);
    EXPECT_EQ(caption, "Navigator 3D");
    {
        std::lock_guard guard(TreeLock());
        TSDataBranch* tree = GetInterfaceEntry(&TSCustomChangeObjectList::ClassInfo, ikCategories, false);
        ASSERT_NE(tree, nullptr);
        TSDataBranch* leaf = tree->FindPath("Standart Objects\\Navigator 3D", true, '\\');
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->Data().AsClass(), &TSNavigator3DContainerObject::ClassInfo);
    }
    EXPECT_GE(Project->CustomObjects()->IndexOf(Container), 0);

    // A new window sits in the middle of the screen, its caption the container's name.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(Window->x(), screen.x() + (screen.width() - Window->width()) / 2);
    EXPECT_EQ(Window->y(), screen.y() + (screen.height() - Window->height()) / 2);
    EXPECT_EQ(Window->windowTitle().toStdString(), Container->Name());
    Container->SetName("Walk");
    EXPECT_EQ(Window->windowTitle(), "Walk");

    // Opening through the project, as the administrator does.
    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(Project->Process(pcOpenEditor, reinterpret_cast<TSParam>(Container)), 0);
    EXPECT_TRUE(Window->isVisible());
    // The report is hidden behind the edge until More is down.
    const int narrow = Window->width();
    Window->MoreBtn()->click();
    EXPECT_EQ(Window->width(), Window->MoreMemo()->x() + Window->MoreMemo()->width() + 1);
    EXPECT_GT(Window->width(), narrow);
    Window->MoreBtn()->click();
    EXPECT_EQ(Window->width(), narrow);
}

TEST_F(Navigator, WithoutFramesEverythingReadsZeroAndApplyDoesNothing)
{
    Window->show();
    for (int tag = 1; tag <= TSNavigator3D::kEditCount; ++tag)
        EXPECT_EQ(Number(Window->Edit(tag)), 0) << tag;
    EXPECT_EQ(Window->MasterLabel()->text(), "- No Object -");
    EXPECT_EQ(Window->SlaveLabel()->text(), "- No Object -");
    Window->ApplyBtn()->click();
    EXPECT_EQ(Window->Slave(), nullptr);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(Window->MoreMemo()->toPlainText().startsWith(" Slave Direct Basis Informations"));
}

TEST_F(Navigator, FramesAnglesDistancesAndTheSlaveRefusedAsMaster)
{
    Place(Light->Frame(), {1, 2, 3});
    Place(Camera->Frame(), {1, 2, 7});
    Window->show();
    Window->SetMaster(Light->Frame());
    Window->SetSlave(Camera->Frame());
    EXPECT_EQ(Window->MasterLabel()->text().toStdString(), Light->Frame()->Name());
    EXPECT_EQ(Number(Window->Edit(3)), 4);
    EXPECT_EQ(Number(Window->Edit(7)), 4);

    // The slave's frame cannot also be the master.
    Window->SetMaster(Camera->Frame());
    EXPECT_EQ(Window->Master(), Light->Frame());

    // Angles typed in convention 1 read back; with alpha 0 beta and gamma fold into one.
    struct Case {
        double A, B, C;
        double WantA, WantB, WantC;
    };
    for (const Case& c : {Case{30, 40, 50, 30, 40, 50}, Case{0, 40, 50, 0, 0, 90}, Case{0, 150, 100, 0, 0, -110}}) {
        const double applied = Number(Window->Edit(5));
        Type(Window->Edit(4), QString::number(c.A));
        Type(Window->Edit(5), QString::number(c.B));
        Type(Window->Edit(6), QString::number(c.C));
        Window->ResetBtn()->click();  // drops the typed values: the slave has not moved
        EXPECT_EQ(Number(Window->Edit(5)), applied);
        Type(Window->Edit(4), QString::number(c.A));
        Type(Window->Edit(5), QString::number(c.B));
        Type(Window->Edit(6), QString::number(c.C));
        Window->ApplyBtn()->click();
        Window->ResetBtn()->click();
        EXPECT_NEAR(Number(Window->Edit(4)), c.WantA, 1e-9);
        EXPECT_NEAR(Number(Window->Edit(5)), c.WantB, 1e-9);
        EXPECT_NEAR(Number(Window->Edit(6)), c.WantC, 1e-9);
    }

    // Mirror twice gives the orientation back.
    const TSMatrix3D before = Window->Relation().RelativeMatrix;
    Window->InverseBtn()->click();
    EXPECT_LT(MatrixDeterminant3D(Window->Relation().RelativeMatrix), 0);
    Window->InverseBtn()->click();
    EXPECT_TRUE(Near(Window->Relation().RelativeMatrix, before, 1e-9));

    // Plus moves the slave at once: 4 becomes 5.
    Window->ResetBtn()->click();
    Window->PlusBtn()->click();
    EXPECT_NEAR(Number(Window->Edit(7)), 5, 1e-12);
    TSVector3D d;
    SubVector3D(Camera->Frame()->Origin(), Light->Frame()->Origin(), d);
    EXPECT_NEAR(VectorLength3D(d), 5, 1e-9);
    Window->MinusBtn()->click();
    EXPECT_NEAR(Number(Window->Edit(7)), 4, 1e-12);

    // A distance of 0.01 or less is not scaled.
    Place(Camera->Frame(), {1, 2, 3.005});
    EXPECT_NEAR(Number(Window->Edit(7)), 0.005, 1e-12);
    Type(Window->Edit(7), "2.5");
    EXPECT_NEAR(Window->Relation().Distance(), 0.005, 1e-12);

    // A frame that goes is dropped.
    Project->Lights()->Delete(Project->Lights()->IndexOf(Light));
    delete Light;
    EXPECT_EQ(Window->Master(), nullptr);
    EXPECT_EQ(Window->MasterLabel()->text(), "- No Object -");
}

// With Fixer down and the slave shown in master coordinates, turning the slave by
// its angles moves it around the master: the master stays where the slave saw it.
TEST_F(Navigator, FixerKeepsTheMasterInTheSlavesView)
{
    Place(Light->Frame(), {1, 1, 1});
    Place(Camera->Frame(), {1, 1, 6});
    Window->show();
    Window->SetMaster(Light->Frame());
    Window->SetSlave(Camera->Frame());
    Window->FixerBtn()->click();
    ASSERT_FALSE(Window->MSBtn()->isChecked());
    auto seen = [](TSBasis3D* From, TSBasis3D* Target) {
        TSVector3D local;
        From->PointFromWorld(Target->Origin(), local);
        return local;
    };
    const TSVector3D before = seen(Camera->Frame(), Light->Frame());
    Type(Window->Edit(4), "35");
    Type(Window->Edit(5), "-20");
    Type(Window->Edit(6), "60");
    Window->ApplyBtn()->click();
    EXPECT_TRUE(Near(seen(Camera->Frame(), Light->Frame()), before, 1e-9));
    // The distance is kept, the slave has turned and moved.
    TSVector3D d;
    SubVector3D(Camera->Frame()->Origin(), Light->Frame()->Origin(), d);
    EXPECT_NEAR(VectorLength3D(d), 5, 1e-9);
    EXPECT_FALSE(Near(Camera->Frame()->Origin(), {1, 1, 6}, 1e-3));
}

TEST_F(Navigator, EditsTakeOnlyNumberKeys)
{
    QLineEdit* edit = Window->Edit(1);
    // Only the filter: the relation stays out of it.
    const QSignalBlocker quiet(edit);
    edit->clear();
    struct Stroke {
        Qt::Key K;
        const char* Text;
    };
    for (const Stroke& s : {Stroke{Qt::Key_A, "a"}, Stroke{Qt::Key_Minus, "-"}, Stroke{Qt::Key_Minus, "-"},
                            Stroke{Qt::Key_1, "1"}, Stroke{Qt::Key_Period, "."}, Stroke{Qt::Key_Period, "."},
                            Stroke{Qt::Key_Comma, ","}, Stroke{Qt::Key_5, "5"}})
        Key(edit, s.K, s.Text);
    EXPECT_EQ(edit->text(), "-1.5");
    for (int i = 0; i < 20; ++i)
        Key(edit, Qt::Key_7, "7");
    EXPECT_EQ(edit->text().size(), 13);
    Key(edit, Qt::Key_Backspace, "\b");
    EXPECT_EQ(edit->text().size(), 12);
}

TEST_F(Navigator, RepeatDoublesEveryNineStepsUpTo512Times)
{
    Window->show();
    Window->SetSlave(Camera->Frame());
    Place(Camera->Frame(), {0, 0, 0});
    Window->IncBar()->setValue(2);
    EXPECT_EQ(Window->IncLabel()->text(), "Step : 1e-2");
    // Up of EditX: the first step runs at once, then one per tick.
    emit Window->SpeedButton(1)->pressed();
    EXPECT_TRUE(Window->Timer1()->isActive());
    EXPECT_EQ(Window->Timer1()->interval(), 100);
    EXPECT_EQ(Project->RenderMode(), 1);
    std::vector<double> values{Number(Window->Edit(1))};
    for (int tick = 1; tick < 100; ++tick) {
        Window->RepeatStep();
        values.push_back(Number(Window->Edit(1)));
    }
    emit Window->SpeedButton(1)->released();
    EXPECT_FALSE(Window->Timer1()->isActive());
    EXPECT_EQ(Project->RenderMode(), 0);
    EXPECT_NEAR(values[0], 0.01, 1e-9);
    for (std::size_t n = 1; n < values.size(); ++n) {
        const std::size_t k = n == 0 ? 0 : n - 1;
        const double want = 0.01 * std::ldexp(1.0, int(std::min<std::size_t>(9, k / 9)));
        EXPECT_NEAR(values[n] - values[n - 1], want, 2e-6) << "step " << n;
    }
    EXPECT_NEAR(values[83] - values[82], 5.12, 1e-6);
    // The slave followed each step.
    EXPECT_NEAR(Camera->Frame()->Origin().X, values.back(), 1e-6);

    // Down of the distance with step 1: the first step is -1.
    Place(Camera->Frame(), {0, 0, 4});
    Window->IncBar()->setValue(0);
    EXPECT_EQ(Window->IncLabel()->text(), "Step :  1");
    emit Window->SpeedButton(14)->pressed();
    emit Window->SpeedButton(14)->released();
    EXPECT_NEAR(Camera->Frame()->Origin().Z, 3, 1e-12);
}

TEST_F(Navigator, DragsTiltInsideTheCircleAndSpinOutside)
{
    Window->show();
    Window->SetSlave(Camera->Frame());
    QWidget* box = Window->PaintBox();
    ASSERT_EQ(box->width(), 160);
    const TSMatrix3D start = Camera->Frame()->Matrix();

    // Inside the unit circle: one degree per pixel about (dy, dx, 0).
    Drag(box, {80, 80}, {110, 40});
    const TSMatrix3D tilt = Mul(Rotation({-40, 30, 0}, 50 * std::numbers::pi / 180), start);
    EXPECT_TRUE(Near(Window->Relation().RelativeMatrix, tilt));
    EXPECT_TRUE(Near(Camera->Frame()->Matrix(), tilt));
    EXPECT_EQ(Project->RenderMode(), 0);

    // Outside: the angle swept around the centre, about the view axis.
    Drag(box, {150, 80}, {80, 10});
    const TSMatrix3D spin = Mul(Rotation({0, 0, 1}, std::numbers::pi / 2), tilt);
    EXPECT_TRUE(Near(Window->Relation().RelativeMatrix, spin));
    EXPECT_TRUE(Near(Camera->Frame()->Matrix(), spin));

    // Right-button drags do nothing.
    SendMouse(box, QEvent::MouseButtonPress, {80, 80}, Qt::RightButton, Qt::RightButton);
    SendMouse(box, QEvent::MouseMove, {100, 100}, Qt::NoButton, Qt::RightButton);
    EXPECT_TRUE(Near(Camera->Frame()->Matrix(), spin));
}

TEST_F(Navigator, AFailingSlaveGoesToTheErrorBox)
{
    std::unique_ptr<TFailingFrame> frame(TSObject::Create<TFailingFrame>());
    Window->SetSlave(frame.get());
    Type(Window->Edit(1), "2");
    TFailingFrame::Fail = true;
    Window->ApplyBtn()->click();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].text.find("transform refused"), std::string::npos);
    EXPECT_NEAR(Window->Relation().RelativePosition.X, 2, 1e-12);
    TFailingFrame::Fail = false;
    Window->SetSlave(nullptr);
}

TEST_F(Navigator, PickerOffersTheProjectsFrames)
{
    // The tree: the project, then the frames of cameras, lights and objects.
    std::unique_ptr<TSDataBranch> root(TSDataBranch::Create(""));
    TSObject3DFinder::FillFrameTree(Project.get(), root.get());
    ASSERT_EQ(root->Count(), 1);
    auto* top = static_cast<TSDataBranch*>(root->GetChild(0));
    EXPECT_EQ(top->Name(), "P");
    ASSERT_EQ(top->Count(), 3);
    EXPECT_EQ(static_cast<TSDataBranch*>(top->GetChild(0))->Data().As<TObject>(), Project->Cameras()->Frame());
    EXPECT_EQ(static_cast<TSDataBranch*>(top->GetChild(1))->Data().As<TObject>(), Project->Lights()->Frame());
    EXPECT_NE(root->FindByData(Camera->Frame()), nullptr);
    EXPECT_NE(root->FindByData(Light->Frame()), nullptr);

    TSBasis3D* frame = nullptr;
    EXPECT_FALSE(TSObject3DFinder::Execute("Chose Master Basis", nullptr, frame));

    // The master button: choose the light's frame and confirm.
    testsupport::WhenShown<TSObject3DFinder>(
        [] { return dynamic_cast<TSObject3DFinder*>(QApplication::activeModalWidget()); },
        [&](TSObject3DFinder& Finder) {
            EXPECT_EQ(Finder.windowTitle(), "Chose Master Basis");
            EXPECT_EQ(Finder.CancelBtn()->geometry().right(), Finder.width() - 8 - 1);
            EXPECT_EQ(Finder.OkBtn()->geometry().right(), Finder.CancelBtn()->x() - 4 - 1);
            TSDataBranch* branch = Finder.Root()->FindByData(Light->Frame());
            Finder.Tree()->setCurrentItem(NodeOfBranch(branch, Finder.Tree()));
            Finder.OkBtn()->click();
        });
    Window->MasterBtn()->click();
    EXPECT_EQ(Window->Master(), Light->Frame());

    // Cancel keeps the choice; the current frame is preselected.
    testsupport::WhenShown<TSObject3DFinder>(
        [] { return dynamic_cast<TSObject3DFinder*>(QApplication::activeModalWidget()); },
        [&](TSObject3DFinder& Finder) {
            EXPECT_EQ(BranchOfNode(Finder.Tree()->currentItem()), Finder.Root()->FindByData(Light->Frame()));
            Finder.CancelBtn()->click();
        });
    Window->MasterBtn()->click();
    EXPECT_EQ(Window->Master(), Light->Frame());

    // Ok on a node without a frame clears the choice.
    testsupport::WhenShown<TSObject3DFinder>(
        [] { return dynamic_cast<TSObject3DFinder*>(QApplication::activeModalWidget()); },
        [&](TSObject3DFinder& Finder) {
            Finder.Tree()->setCurrentItem(Finder.Tree()->topLevelItem(0));
            Finder.OkBtn()->click();
        });
    Window->MasterBtn()->click();
    EXPECT_EQ(Window->Master(), nullptr);
}

TEST_F(Navigator, StateRecordThroughAProjectFile)
{
    testsupport::TempDir dir;
    Place(Light->Frame(), {1, 0, 0});
    Place(Camera->Frame(), {1, 0, 5});
    Window->SetMaster(Light->Frame());
    Window->SetSlave(Camera->Frame());
    Window->ConventionButton(2)->click();
    Window->IncBar()->setValue(3);
    Window->MSBtn()->click();
    Window->FixerBtn()->click();
    Window->Caption()->SetPinned(true);
    Window->show();
    Window->move(123, 77);
    QApplication::processEvents();
    const std::int32_t order = WindowStackOrder(Window);
    EXPECT_NE(order, 0);

    const std::string path = dir.File("nav.h3d");
    std::unique_ptr<THalcyte3DProject> loaded = SaveAndLoad(*Project, path);
    // An independent reader finds the record and the frames it names.
    const testsupport::CommandResult read = testsupport::RunCommand(
        "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer3d/navigator_record_check.py '" + path + "' 2>&1");
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.output, "navigator master lights/0 slave cameras/0 convention 2 step 3 flags 13 order " +
                               std::to_string(order) + " left 123 top 77\n");
    ASSERT_NE(loaded, nullptr);
    TSNavigator3DContainerObject* copy = nullptr;
    for (std::int32_t i = 0; i < loaded->CustomObjects()->Count(); ++i)
        if (auto* c = dynamic_cast<TSNavigator3DContainerObject*>(loaded->CustomObjects()->GetItem(i)))
            copy = c;
    ASSERT_NE(copy, nullptr);
    TSNavigator3D* w = copy->Window();
    ASSERT_NE(w->Master(), nullptr);
    ASSERT_NE(w->Slave(), nullptr);
    EXPECT_EQ(w->Master(), dynamic_cast<TSCustomObject3D*>(loaded->Lights()->GetItem(0))->Frame());
    EXPECT_EQ(w->Slave(), dynamic_cast<TSCustomObject3D*>(loaded->Cameras()->GetItem(0))->Frame());
    EXPECT_EQ(w->Convention(), 2);
    EXPECT_EQ(w->IncBar()->value(), 3);
    EXPECT_TRUE(w->MSBtn()->isChecked());
    EXPECT_TRUE(w->FixerBtn()->isChecked());
    EXPECT_FALSE(w->MoreBtn()->isChecked());
    EXPECT_EQ(w->pos(), QPoint(123, 77));
    // Pinned, and shown again at the end of the load as it was saved.
    EXPECT_TRUE(w->Caption()->IsPinned());
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle().toStdString(), copy->Name());
    EXPECT_TRUE(Near(w->Relation().RelativePosition, {0, 0, 5}));
    loaded.reset();

    // A convention or step exponent out of range fails the load.
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::int32_t marker[2] = {123, 77};
    const std::size_t at = bytes.find(std::string(reinterpret_cast<const char*>(marker), 8));
    ASSERT_NE(at, std::string::npos);
    for (auto [offset, value] : {std::pair{16, 4}, std::pair{12, 7}}) {
        std::string bad = bytes;
        std::memcpy(bad.data() + at - offset, &value, 4);
        const std::string badPath = dir.File("bad.h3d");
        std::ofstream(badPath, std::ios::binary) << bad;
        std::unique_ptr<TSProject> fresh(CreateProjectFromFile(badPath));
        ASSERT_NE(fresh, nullptr);
        try {
            fresh->LoadFromFileName(badPath);
            ADD_FAILURE() << "a bad record loaded";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find("Invalid Value"), std::string::npos) << e.what();
        }
    }
}

class Pickers : public Viewer3DTest {};

// Every picker has its caption, Ok and Cancel at the bottom right (Cancel 8 pixels
// from the edge, Ok 4 pixels left of it), and a double click that confirms.
TEST_F(Pickers, ShareOneFrame)
{
    TSFinderReflectionForm reflection;
    TSDrawingFinderForm drawing;
    TSLayerFinderForm layer;
    TSObject3DFinder frame;
    struct Row {
        QDialog* Form;
        QPushButton* Ok;
        QPushButton* Cancel;
        const char* Title;
    } rows[] = {{&reflection, reflection.OkBtn(), reflection.CancelBtn(), "Select Reflection Law"},
                {&drawing, drawing.OkBtn(), drawing.CancelBtn(), "Select Drawing"},
                {&layer, layer.OkBtn(), layer.CancelBtn(), "Select Layer"},
                {&frame, frame.OkBtn(), frame.CancelBtn(), "Select Object"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Title);
        r.Form->show();
        QApplication::processEvents();
        EXPECT_EQ(r.Form->windowTitle(), r.Title);
        EXPECT_EQ(r.Ok->text(), "Ok");
        EXPECT_EQ(r.Cancel->text(), "Cancel");
        EXPECT_EQ(r.Cancel->geometry().right(), r.Form->width() - 8 - 1);
        EXPECT_EQ(r.Ok->geometry().right(), r.Cancel->x() - 4 - 1);
        EXPECT_GT(r.Ok->y(), r.Form->height() / 2);
        bool captioned = false;
        for (QObject* child : r.Form->children())
            captioned = captioned || dynamic_cast<TSFlatCaption*>(child) != nullptr;
        EXPECT_TRUE(captioned);
        r.Form->hide();
    }
    // A double click anywhere on a list confirms.
    std::vector<std::pair<std::string, TSClass>> lines;
    testsupport::WhenShown<TSFinderReflectionForm>(
        [] { return dynamic_cast<TSFinderReflectionForm*>(QApplication::activeModalWidget()); },
        [](TSFinderReflectionForm& Form) {
            QListWidgetItem* item = Form.List()->item(Form.List()->count() - 1);
            Form.List()->setCurrentItem(item);
            emit Form.List()->itemDoubleClicked(item);
        });
    TSClass chosen = nullptr;
    ASSERT_TRUE(ReflectionChoices(&TSCustomReflectionLaw::ClassInfo, lines));
    EXPECT_EQ(TSFinderReflectionForm::Execute(&TSCustomReflectionLaw::ClassInfo, chosen), lines.size() > 1);
    EXPECT_EQ(chosen, lines.back().second);
}

TEST_F(Navigator, PreviewShowsTheDialWhereNumpyProjectsIt)
{
    Window->show();
    QApplication::processEvents();
    const QImage picture = Window->PaintBox()->grab().toImage();
    ASSERT_EQ(picture.size(), QSize(160, 160));
    const testsupport::CommandResult run = testsupport::RunCommand(
        "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer3d/navigator_preview_check.py 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    std::istringstream lines(run.output);
    int x = 0, y = 0, tips = 0;
    const QRgb background = picture.pixel(2, 2);
    while (lines >> x >> y) {
        ++tips;
        ASSERT_TRUE(picture.rect().contains(x, y)) << x << "," << y;
        bool lit = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                lit = lit || picture.pixel(x + dx, y + dy) != background;
        EXPECT_TRUE(lit) << "tip at " << x << "," << y;
    }
    EXPECT_EQ(tips, 4);
    // The centre is empty: the frame model shows orientation only, and its axes start
    // at the middle but leave a dark ring between the circles and the dial.
    EXPECT_EQ(picture.pixel(80 + 75, 80 + 20), background);
}

QTreeWidgetItem* ItemNamed(QTreeWidget* Tree, const std::string& Text)
{
    for (QTreeWidgetItemIterator it(Tree); *it; ++it)
        if ((*it)->text(0).toStdString() == Text)
            return *it;
    return nullptr;
}

// New under the node named Under.
void NewUnder(TSAdministrator& Admin, const std::string& Under, const std::string& Category, const std::string& Leaf)
{
    QTreeWidgetItem* node = ItemNamed(Admin.TreeView1(), Under);
    ASSERT_NE(node, nullptr) << Under;
    Admin.TreeView1()->setCurrentItem(node);
    ChooseInNewDialog(Category, Leaf);
    Admin.NewBtnClick();
}

// As a user would: a new project, a camera, a light and a navigator made with New,
// the navigator opened by a double click, the camera chosen as slave in the picker,
// turned by typed angles and a drag. With NAVIGATOR_SCREENSHOT set the window's
// picture is written there.
void NavigatorScript(TSAdministrator& Admin)
{
    NewUnder(Admin, " - NO PROJECT - ", "Projects", "Halcyte 3D Project");
    auto* project = dynamic_cast<THalcyte3DProject*>(Admin.Project());
    ASSERT_NE(project, nullptr);
    NewUnder(Admin, "Cameras", "Standart Objects", "Eye System");
    NewUnder(Admin, "Lights", "Standart Objects", "Point Spring Light");
    NewUnder(Admin, "Custom Objects", "Standart Objects", "Navigator 3D");
    ASSERT_EQ(project->CustomObjects()->Count(), 1);
    auto* container = dynamic_cast<TSNavigator3DContainerObject*>(project->CustomObjects()->GetItem(0));
    ASSERT_NE(container, nullptr);
    TSNavigator3D* window = container->Window();

    QTreeWidgetItem* item = ItemNamed(Admin.TreeView1(), container->Name());
    ASSERT_NE(item, nullptr);
    Admin.TreeView1()->setCurrentItem(item);
    Admin.TreeView1DblClick(Admin.TreeView1()->visualItemRect(item).center());
    ASSERT_TRUE(window->isVisible());

    auto* camera = dynamic_cast<TSCustomObject3D*>(project->Cameras()->GetItem(0));
    auto* light = dynamic_cast<TSCustomObject3D*>(project->Lights()->GetItem(0));
    light->Frame()->SetPlacement(Rotation({0, 0, 1}, 0), {0, 0, 0});
    camera->Frame()->SetPlacement(Rotation({1, 0, 0}, std::numbers::pi), {0, 0, 6});
    for (auto [button, frame] : {std::pair{window->MasterBtn(), light->Frame()}, std::pair{window->SlaveBtn(), camera->Frame()}}) {
        testsupport::WhenShown<TSObject3DFinder>(
            [] { return dynamic_cast<TSObject3DFinder*>(QApplication::activeModalWidget()); },
            [frame](TSObject3DFinder& Finder) {
                Finder.Tree()->setCurrentItem(NodeOfBranch(Finder.Root()->FindByData(frame), Finder.Tree()));
                Finder.OkBtn()->click();
            });
        button->click();
    }
    ASSERT_EQ(window->Master(), light->Frame());
    ASSERT_EQ(window->Slave(), camera->Frame());
    EXPECT_EQ(window->SlaveLabel()->text().toStdString(), camera->Frame()->Name());
    EXPECT_NEAR(Number(window->Edit(7)), 6, 1e-12);

    Type(window->Edit(4), "150");
    Type(window->Edit(5), "20");
    Type(window->Edit(6), "-30");
    window->ApplyBtn()->click();
    Drag(window->PaintBox(), {80, 80}, {95, 70});
    window->MoreBtn()->click();
    QApplication::processEvents();
    EXPECT_TRUE(Near(camera->Frame()->Matrix(), window->Relation().RelativeMatrix, 1e-9));

    const QImage preview = window->PaintBox()->grab().toImage();
    int lit = 0;
    for (int y = 0; y < preview.height(); ++y)
        for (int x = 0; x < preview.width(); ++x)
            lit += preview.pixel(x, y) != preview.pixel(0, 0) ? 1 : 0;
    EXPECT_GT(lit, 500);
    if (const char* shot = std::getenv("NAVIGATOR_SCREENSHOT"))
        window->grab().save(shot);
}

}  // namespace

TEST(NavigatorEndToEnd, MadeOpenedAndTurnedThroughTheAdministrator)
{
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
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
                                        NavigatorScript(*admin);
                                        admin->close();
                                    })},
                                    [] { return RunHalcyte3D(); }, testsupport::kModalLimit,
                                    testsupport::CloseTopLevelWindows),
              0);
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(boxes.Calls().empty());
}
