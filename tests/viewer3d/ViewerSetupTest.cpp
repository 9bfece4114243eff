// The viewer set-up: the curve editor's mapping, hit test and drag machine
// without widgets, and the window on an offscreen drawing system: the grid,
// structural and light Apply, a failing Apply, the colours and the record;
// and settings applied while the project renders.

#include "EditorTestSupport.h"
#include "PumpUntil.h"
#include "Viewer3DTestSupport.h"

#include "viewer3d/drawing/SDrawing3D.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/forms/SViewer3DSetupUn.h"
#include "viewer3d/forms/SetupCurves.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/render/SCanvas3D.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SSurfaces3D.h"
#include "platform/dialogs/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using editortest::BytesStream;
using editortest::EventLog;

namespace {

// A canvas that only counts what is drawn.
struct CountingCanvas final : TSCurveCanvas {
    int Lines = 0;
    int Texts = 0;
    void Line(TSIntPoint, TSIntPoint, std::int32_t) override { ++Lines; }
    void Text(std::int32_t, std::int32_t, std::int32_t, std::int32_t, const std::string&, std::int32_t) override
    {
        ++Texts;
    }
    void Fill(std::int32_t) override {}
    std::int32_t Height() const override { return 146; }
    TSIntPoint TextSize() const override { return {28, 13}; }
};

TEST(SetupCurves, TheMappingOfA300By146Box)
{
    const TSCurveLayout l = ComputeCurveLayout(300, 146, 28, 13);
    EXPECT_EQ(l.PlotLeft, 9 + 28 + 2);
    EXPECT_EQ(l.PlotTop, 9);
    EXPECT_EQ(l.PlotRight, 290);
    EXPECT_EQ(l.PlotBottom, 136 - 13 - 2);
    EXPECT_EQ(l.Background, 0xC0C0C0);
    EXPECT_EQ(l.CursorX, -1);
    struct Row {
        TSIntPoint Curve, Screen;
    } rows[] = {
        {{0, 0}, {39, 121}},          {{32768, 65535}, {290, 9}},   {{16384, 32767}, {164, 66}},
        {{-5, 70000}, {39, 9}},       {{40000, -1}, {290, 121}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(CurveToScreen(l, r.Curve), r.Screen) << r.Curve.X << "," << r.Curve.Y;
    EXPECT_EQ(ScreenToCurve(l, {39, 121}), (TSIntPoint{0, 0}));
    EXPECT_EQ(ScreenToCurve(l, {290, 9}), (TSIntPoint{32768, 65535}));
    EXPECT_TRUE(InPlot(l, {39, 9}));
    EXPECT_FALSE(InPlot(l, {38, 9}));

    TSCnv3DIITransformer curve;
    curve.AddPoint(0, 0);
    curve.AddPoint(32768, 65535);
    EXPECT_EQ(HitTestCurvePoint(l, &curve, {41, 119}), 0);
    EXPECT_EQ(HitTestCurvePoint(l, &curve, {43, 121}), -1);  // 4 away: out
    EXPECT_EQ(HitTestCurvePoint(l, &curve, {290, 9}), 1);
    EXPECT_EQ(HitTestCurvePoint(l, nullptr, {290, 9}), -1);
}

TEST(SetupCurves, TheDragMachine)
{
    CountingCanvas canvas;
    TSCnv3DIITransformer curve;
    curve.AddPoint(0, 0);
    curve.AddPoint(32768, 65535);
    TSCurveEditorCore e;
    e.Layout = ComputeCurveLayout(300, 146, 28, 13);
    e.Curve = &curve;
    e.Canvas = &canvas;
    int applied = 0;
    e.OnApply = [&] { ++applied; };

    // A press on empty space adds a point and drags it.
    e.TrackMouse({100, 100});
    EXPECT_EQ(e.HotIndex, -1);
    e.SetDragging(true);
    EXPECT_TRUE(e.Dragging);
    ASSERT_EQ(curve.Count(), 3);
    EXPECT_EQ(e.HotIndex, 1);
    e.TrackMouse({120, 90});
    EXPECT_EQ(curve.Count(), 3);
    // Where the mouse is, but for the truncation of the two mappings.
    const TSIntPoint moved = CurveToScreen(e.Layout, {curve.GetPointX(1), curve.GetPointY(1)});
    EXPECT_NEAR(moved.X, 120, 1);
    EXPECT_NEAR(moved.Y, 90, 1);
    // Out of the plot: gone; back in: there again.
    e.TrackMouse({120, 140});
    EXPECT_EQ(curve.Count(), 2);
    EXPECT_EQ(e.HotIndex, -1);
    e.TrackMouse({150, 60});
    EXPECT_EQ(curve.Count(), 3);
    EXPECT_EQ(e.HotIndex, 1);
    EXPECT_EQ(applied, 0);  // nothing reaches the drawing system during the drag
    e.SetDragging(false);
    EXPECT_EQ(applied, 1);
    EXPECT_FALSE(e.Dragging);

    // The end points slide along their border only.
    e.TrackMouse({39, 121});
    EXPECT_EQ(e.HotIndex, 0);
    e.SetDragging(true);
    e.TrackMouse({200, 50});
    EXPECT_EQ(curve.GetPointX(0), 0);
    EXPECT_NEAR(CurveToScreen(e.Layout, {curve.GetPointX(0), curve.GetPointY(0)}).Y, 50, 1);
    e.TrackMouse({200, -20});  // clamped to the top
    EXPECT_EQ(curve.GetPointY(0), 65535);
    e.SetDragging(false);
    EXPECT_EQ(applied, 2);
    EXPECT_EQ(curve.Count(), 3);

    // A press outside the plot on empty space starts nothing; a release without drag does nothing.
    e.TrackMouse({2, 2});
    e.SetDragging(true);
    EXPECT_FALSE(e.Dragging);
    e.SetDragging(false);
    EXPECT_EQ(applied, 2);
    EXPECT_GT(canvas.Lines, 0);
}

// A drawing system whose palette can be made to fail.
class TFailingDrawingSystem final : public TSDrawingSystem3D {
    S_CLASS(TFailingDrawingSystem)
public:
    bool Fail = false;
    void BuildPalette() override
    {
        if (Fail)
            throw EInvalidOperation("the palette could not be built");
        TSDrawingSystem3D::BuildPalette();
    }
};
constinit const TSClassInfo TFailingDrawingSystem::ClassInfo{"TFailingDrawingSystem", &TSDrawingSystem3D::ClassInfo,
                                                             &TSNewObject<TFailingDrawingSystem>};

class ViewerSetup : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        System.reset(TSObject::Create<TFailingDrawingSystem>());
        System->BeginChange();
        System->SetSize(40, 30);
        System->SetColorDepth(5);
        System->Canvas()->SetChannelEnabled(2, true);
        System->EndChange();
        Form = std::make_unique<TSViewer3DSetup>();
        Form->SetDrawingSystem(System.get());
        Form->show();
    }
    void TearDown() override
    {
        Form.reset();
        System.reset();
        Viewer3DTest::TearDown();
    }
    std::unique_ptr<TFailingDrawingSystem> System;
    std::unique_ptr<TSViewer3DSetup> Form;
};

TEST_F(ViewerSetup, ThePropertyPageShowsAndAppliesStructurallyOrLightly)
{
    EXPECT_EQ(Form->Caption()->height(), 24);
    EXPECT_EQ(Form->WidthEdit()->text(), "40");
    EXPECT_EQ(Form->HeightEdit()->text(), "30");
    EXPECT_EQ(Form->ColorBox()->currentIndex(), 5);
    EXPECT_TRUE(Form->PlaneBox(0)->isChecked());
    EXPECT_TRUE(Form->PlaneBox(1)->isChecked());
    EXPECT_FALSE(Form->PlaneBox(2)->isChecked());
    EXPECT_FALSE(Form->ApplyBtn()->isEnabled());
    EXPECT_TRUE(Form->DisplayLabel()->text().startsWith(" "));

    // Keys: digits and backspace, four at most; nothing changes before Apply.
    Form->WidthEdit()->clear();
    QTest::keyClicks(Form->WidthEdit(), "6a-43");
    EXPECT_EQ(Form->WidthEdit()->text(), "643");
    QTest::keyClicks(Form->WidthEdit(), "21");
    EXPECT_EQ(Form->WidthEdit()->text(), "6432");
    EXPECT_TRUE(Form->ApplyBtn()->isEnabled());
    EXPECT_EQ(System->Width(), 40);
    Form->CancelBtnClick();
    EXPECT_EQ(Form->WidthEdit()->text(), "40");
    EXPECT_FALSE(Form->ApplyBtn()->isEnabled());

    EventLog log;
    System->Events.Add(log.Handler());
    // Light: the format and the visible channels, inside one update.
    Form->ColorBox()->setCurrentIndex(4);
    Form->VisibleBox(2)->setChecked(false);
    Form->ApplyBtnClick();
    EXPECT_EQ(System->ColorDepth(), 4);
    EXPECT_FALSE(System->GetChannelEnabled(3));
    EXPECT_EQ(log.Count(ecBeginChange), 0);
    EXPECT_EQ(log.Count(ecDrawUpdateBegin), 1);
    EXPECT_EQ(log.Count(ecDrawUpdateEnd), 1);
    EXPECT_FALSE(Form->ApplyBtn()->isEnabled());

    // Structural: a new size and a third plane, rebuilt in one change; Return applies.
    log.Clear();
    Form->WidthEdit()->setText("64");
    Form->PlaneBox(2)->setChecked(true);
    QTest::keyClick(Form->WidthEdit(), Qt::Key_Return);
    EXPECT_EQ(System->Width(), 64);
    EXPECT_EQ(System->Height(), 30);
    EXPECT_TRUE(System->Canvas()->GetChannelEnabled(3));
    EXPECT_EQ(log.Count(ecBeginChange), 1);
    EXPECT_EQ(log.Count(ecEndChange), 1);
    // "32 bit (TrueColor)" is format 5 here.
    Form->ColorBox()->setCurrentIndex(5);
    Form->ApplyBtnClick();
    EXPECT_EQ(System->ColorDepth(), 5);
    System->Events.Remove(log.Handler());
}

TEST_F(ViewerSetup, AFailingApplyClosesItsBracketAndReports)
{
    System->Fail = true;
    Form->WidthEdit()->setText("50");
    Form->ColorBox()->setCurrentIndex(3);
    Form->ApplyBtnClick();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_NE(Boxes()[0].text.find("palette could not be built"), std::string::npos);
    EXPECT_FALSE(System->IsChanging());
    EXPECT_FALSE(System->IsUpdating());
    EXPECT_EQ(Form->WidthEdit()->text(), "50");  // the page keeps the user's values
    EXPECT_TRUE(Form->ApplyBtn()->isEnabled());
    System->Fail = false;
    Form->ApplyBtnClick();
    EXPECT_EQ(System->Width(), 50);
    EXPECT_EQ(System->ColorDepth(), 3);
}

TEST_F(ViewerSetup, CurvePagesShowTheCurvesAndApplyADragOnce)
{
    TSCnv3DIITransformer* red = System->Curve(coRed);
    red->Clear();
    red->AddPoint(0, 0);
    red->AddPoint(32768, 65535);
    Form->LoadCurves();
    Form->PageControl()->setCurrentIndex(1);
    QTableWidget* grid = Form->Grid(coRed);
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(0, 0)->text(), "  X");
    EXPECT_EQ(grid->item(1, 0)->text(), "0");
    EXPECT_EQ(grid->item(1, 1)->text(), "0");
    EXPECT_EQ(grid->item(2, 0)->text(), "1000");
    EXPECT_EQ(grid->item(2, 1)->text(), "1000");

    EventLog log;
    System->Events.Add(log.Handler());
    TSCurveBox* box = Form->PaintBox(coRed);
    const TSCurveLayout& l = Form->Editor().Layout;
    const QPoint start((l.PlotLeft + l.PlotRight) / 2, (l.PlotTop + l.PlotBottom) / 4 + l.PlotTop / 2);
    QTest::mouseMove(box, start);
    QTest::mousePress(box, Qt::LeftButton, {}, start);
    QTest::mouseMove(box, start + QPoint(10, 5));
    EXPECT_EQ(log.Count(ecDrawUpdateEnd), 0);
    QTest::mouseRelease(box, Qt::LeftButton, {}, start + QPoint(10, 5));
    EXPECT_EQ(log.Count(ecDrawUpdateEnd), 1);  // one ApplyCurves per drag
    EXPECT_EQ(red->Count(), 3);
    EXPECT_EQ(grid->rowCount(), 4);
    editortest::KeepShot(Form.get(), "setup-curve-page.png");
    // The box shows the curve: its pixels are not all background.
    const QImage& buffer = box->Buffer();
    int drawn = 0;
    for (int y = 0; y < buffer.height(); ++y)
        for (int x = 0; x < buffer.width(); ++x)
            drawn += buffer.pixel(x, y) != QColor(0xC0, 0xC0, 0xC0).rgb();
    EXPECT_GT(drawn, 100);

    // A source choice takes effect at once.
    Form->SourceBox(coRed)->setCurrentIndex(2);
    EXPECT_EQ(System->ColorSource(coRed), 2);
    System->Events.Remove(log.Handler());
    Form->PageControl()->setCurrentIndex(0);
    editortest::KeepShot(Form.get(), "setup-property-page.png");
}

TEST_F(ViewerSetup, ColoursFollowTheEditsAndTheBars)
{
    Form->PageControl()->setCurrentIndex(4);
    Form->ColorTypeBox()->setCurrentIndex(0);
    Form->ColourEdit(0)->setText("500");
    EXPECT_EQ(Form->TrackBar(0)->value(), 500);
    EXPECT_DOUBLE_EQ(System->BackgroundColor()[0], 0.5);
    Form->ColourEdit(0)->setText("1200");
    EXPECT_EQ(Form->TrackBar(0)->value(), 500);
    EXPECT_DOUBLE_EQ(System->BackgroundColor()[0], 0.5);
    Form->TrackBar(2)->setValue(250);
    EXPECT_DOUBLE_EQ(System->BackgroundColor()[2], 0.25);
    Form->ColorTypeBox()->setCurrentIndex(2);
    Form->TrackBar(1)->setValue(750);
    EXPECT_DOUBLE_EQ(System->EndPaletteColor()[1], 0.75);
    // The edits follow when the drawing system announces the end of an update.
    System->BeginUpdate();
    System->SetEndPaletteColor({0.1, 0.2, 0.3});
    System->EndUpdate();
    ASSERT_TRUE(testsupport::PumpUntil([this] { return Form->ColourEdit(2)->text() == "300"; }, 5s));
    editortest::KeepShot(Form.get(), "setup-colours-page.png");
}

TEST_F(ViewerSetup, TheSixteenByteRecord)
{
    Form->move(120, 80);
    Form->Caption()->SetPinned(true);
    BytesStream s;
    EXPECT_EQ(Form->SaveState(nullptr), 16);
    EXPECT_EQ(Form->SaveState(&s), 16);
    ASSERT_EQ(s.Bytes.size(), 16u);
    std::int32_t v[4];
    std::memcpy(v, s.Bytes.data(), 16);
    EXPECT_EQ(v[0], 120);
    EXPECT_EQ(v[1], 80);
    EXPECT_EQ(v[3], 3);
    TSViewer3DSetup other;
    s.Pos = 0;
    EXPECT_EQ(other.LoadState(&s), 16);
    EXPECT_TRUE(other.Pinned());
    EXPECT_FALSE(other.isVisible());  // no project: not shown
    EXPECT_EQ(other.LoadState(nullptr), -1);
}

// Settings applied from the GUI thread while the project's render draws with
// the same drawing system (run under ThreadSanitizer as well).
TEST_F(Viewer3DTest, SetupAppliesWhileTheProjectRenders)
{
    std::unique_ptr<THalcyte3DProject> project(TSObject::Create<THalcyte3DProject>());
    auto* system = TSDrawingSystem3D::CreateOffscreen(nullptr);
    project->AddViewer(system);
    system->BeginChange();
    system->SetSize(96, 96);
    system->SetColorDepth(5);
    system->EndChange();
    TSCreateObjectRecord make{nullptr, &TSSurface3D::ClassInfo, nullptr};
    ASSERT_EQ(project->Process(pcCreateObject, reinterpret_cast<TSParam>(&make)), 0);
    auto* surface = dynamic_cast<TSSurface3D*>(make.Created);
    TSCreateObjectRecord eye{nullptr, &TSEyeSystem3D::ClassInfo, nullptr};
    ASSERT_EQ(project->Process(pcCreateObject, reinterpret_cast<TSParam>(&eye)), 0);
    project->SetCamera(system, eye.Created);
    surface->SetGridSize(64, 64);
    surface->BeginUpdate();
    for (int j = 0; j < 64; ++j)
        for (int i = 0; i < 64; ++i) {
            surface->Node(i, j).Position = {float(i - 32), float(j - 32), 200.0f};
            surface->Node(i, j).Color = {1, 0.5f, 0.25f};
        }
    surface->EndUpdate();

    TSViewer3DSetup form;
    form.SetDrawingSystem(system);
    form.show();
    for (int round = 0; round < 12; ++round) {
        project->Invalidate(nullptr);
        switch (round % 4) {
        case 0:
            form.ColorBox()->setCurrentIndex(round % 8 == 0 ? 4 : 5);
            form.ApplyBtnClick();
            break;
        case 1:
            form.WidthEdit()->setText(round % 8 == 1 ? "80" : "96");
            form.ApplyBtnClick();
            break;
        case 2:
            form.SourceBox(coGreen)->setCurrentIndex(round % 8 == 2 ? 1 : 2);
            break;
        default:
            form.TrackBar(0)->setValue(100 * round);
            break;
        }
        testsupport::PumpUntil([] { return false; }, 5ms);
    }
    EXPECT_TRUE(testsupport::PumpUntil(
        [&] { return !project->IsDirty() && !project->Thread()->HasWorker(); }, 30s));
    EXPECT_TRUE(Boxes().empty());
    form.SetDrawingSystem(nullptr);
    project.reset();
}

}  // namespace
