// End to end through the editors, offscreen: a height field numpy wrote is
// given to a surface through its editor, lit by a light set in its editor,
// drawn by a viewer set up in its set-up window; the saved picture is read
// back by GDAL and compared with numpy's expectation.

#include "Command.h"
#include "PumpUntil.h"
#include "TempDir.h"
#include "Viewer3DTestSupport.h"

#include "viewer3d/drawing/SDrawing3D.h"
#include "viewer3d/editors/SAmbientLight3DUn.h"
#include "viewer3d/editors/SSurface3DUn.h"
#include "viewer3d/forms/SDepositoryComponent.h"
#include "viewer3d/forms/SViewer3DSetupUn.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/render/SMemBitmap.h"
#include "engine3d/render/SMemBitmapView.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SSurfaces3D.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

using namespace std::chrono_literals;

namespace {

std::string Check(const std::string& Mode, const std::string& Path)
{
    return testsupport::CommandOutput("/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer3d/viewer_end_to_end.py " +
                                      Mode + " '" + Path + "' 2>&1");
}

class EditorsEndToEnd : public Viewer3DTest {};

TEST_F(EditorsEndToEnd, AHeightFieldThroughTheEditorsToASavedPicture)
{
    testsupport::TempDir dir;
    const std::string heights = dir.File("heights.rdp");
    ASSERT_EQ(Check("field", heights), "ok\n");

    std::unique_ptr<THalcyte3DProject> project(TSObject::Create<THalcyte3DProject>());
    const auto make = [&](TSClass Class) {
        TSCreateObjectRecord request{nullptr, Class, nullptr};
        EXPECT_EQ(project->Process(pcCreateObject, reinterpret_cast<TSParam>(&request)), 0);
        return request.Created;
    };
    auto* surface = dynamic_cast<TSSurface3D*>(make(&TSSurface3D::ClassInfo));
    auto* light = dynamic_cast<TSFlatSpringLight3D*>(make(&TSFlatSpringLight3D::ClassInfo));
    TSObject* eye = make(&TSEyeSystem3D::ClassInfo);
    auto* system = dynamic_cast<TSDrawingSystem3D*>(make(&TSDrawingSystem3D::ClassInfo));
    ASSERT_TRUE(surface && light && eye && system);
    project->SetCamera(system, eye);
    light->Frame()->SetPlacement({{0, 0, 1, 0, 1, 0, -1, 0, 0}}, {});  // head-on

    // The viewer's set-up: 64 x 64, 32 bits, three planes, a blue background.
    TSViewer3DSetup setup;
    setup.SetDrawingSystem(system);
    setup.show();
    setup.WidthEdit()->setText("64");
    setup.HeightEdit()->setText("64");
    setup.ColorBox()->setCurrentIndex(5);
    for (int p = 0; p < 3; ++p) {
        setup.PlaneBox(p)->setChecked(true);
        setup.VisibleBox(p)->setChecked(true);
    }
    setup.EnabledBox()->setChecked(true);
    setup.ApplyBtnClick();
    ASSERT_TRUE(Boxes().empty());
    setup.PageControl()->setCurrentIndex(4);
    setup.ColorTypeBox()->setCurrentIndex(0);
    setup.ColourEdit(0)->setText("0");
    setup.ColourEdit(1)->setText("0");
    setup.ColourEdit(2)->setText("1000");
    EXPECT_EQ(system->BackgroundColor(), (TSColor3{0, 0, 1}));

    // The light: one white record, applied.
    project->Process(pcOpenEditor, reinterpret_cast<TSParam>(light));
    auto* lightDepository = dynamic_cast<TSAmbientLight3D_Depository*>(project->FindDepository(light));
    ASSERT_NE(lightDepository, nullptr);
    TSLightEditorForm* lightForm = lightDepository->Form();
    ASSERT_NE(lightForm, nullptr);
    lightForm->Component()->AddRecordBtnClick();
    lightForm->ApplyBtn()->click();
    EXPECT_EQ(lightDepository->RecordCount(), 1);
    lightForm->CloseBtn()->click();

    // The surface: a 3 x 3 grid over -10..10, heights from the file, one colour.
    project->Process(pcOpenEditor, reinterpret_cast<TSParam>(surface));
    auto* depository = dynamic_cast<TSSurface3D_Depository*>(project->FindDepository(surface));
    ASSERT_NE(depository, nullptr);
    TSSurface3DForm* form = depository->Form();
    ASSERT_NE(form, nullptr);
    form->XEdit()->setText("3");
    form->YEdit()->setText("3");
    struct Channel {
        const char* Min;
        const char* Max;
        bool File;
    } channels[6] = {{"-10", "10", false}, {"-10", "10", false}, {"-1000", "-999.875", true},
                     {"0", "0.5", false},  {"0", "0.25", false}, {"0", "1", false}};
    for (int c = 0; c < 6; ++c) {
        form->LayerList()->setCurrentRow(c);
        form->FillBox()->button(channels[c].File ? 1 : 0)->click();
        if (channels[c].File) {
            AnswerFileDialog(heights);
            form->FileBtn()->click();
            EXPECT_EQ(form->LayerText()->text().isEmpty(), false);
        }
        form->MaxEdit()->setText(channels[c].Max);
        form->MinEdit()->setText(channels[c].Min);
    }
    form->PageControl()->setCurrentIndex(1);
    form->Component()->AddRecordBtnClick();
    form->LightBox()->setCurrentIndex(1);
    form->ApplyBtn()->click();
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !depository->Busy(); }, 30s));
    ASSERT_TRUE(Boxes().empty());
    EXPECT_EQ(surface->Width(), 3);
    EXPECT_FLOAT_EQ(surface->Node(2, 2).Position.Z, -999.875f);
    form->CloseBtn()->click();

    ASSERT_TRUE(testsupport::PumpUntil(
        [&] {
            return !project->IsDirty() && !project->Thread()->HasWorker() &&
                   MemoryBitmapImage(*system->Bitmap()).pixel(32, 32) == 0xFF8040FFu;
        },
        30s))
        << std::hex << MemoryBitmapImage(*system->Bitmap()).pixel(32, 32);
    const std::string picture = dir.File("picture.bmp");
    system->Bitmap()->SaveToFile(picture);
    EXPECT_EQ(Check("picture", picture), "ok\n");
    setup.SetDrawingSystem(nullptr);
    project.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
