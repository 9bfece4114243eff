// The depository component on the offscreen platform, its layout and button
// tables, and the reflection and drawing pickers answered from inside their loops.

#include "Viewer3DTestSupport.h"

#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/project/ProjectCommands.h"
#include "viewer3d/forms/SDepositoryComponent.h"
#include "viewer3d/drawing/SDrawing3D.h"
#include "viewer3d/forms/SDrawingsFinderUn.h"
#include "viewer3d/forms/SFinderLayerUn.h"
#include "viewer3d/forms/SFinderReflectionUn.h"

#include "engine3d/scene/SClasses3D.h"
#include "engine3d/model/SRTDRegistry.h"

#include "Command.h"
#include "TempDir.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <cstring>
#include <filesystem>

#include <cstdlib>

namespace {

class TEightByteDepository final : public TSDepositoryCustomConstruction3D {
    S_CLASS(TEightByteDepository)
public:
    std::int32_t RecordSize() override { return 8; }
};

constinit const TSClassInfo TEightByteDepository::ClassInfo{
    "TEightByteDepository", &TSDepositoryCustomConstruction3D::ClassInfo, &TSNewObject<TEightByteDepository>};

TEST(DepositoryComponentTables, LayoutAndButtons)
{
    TSDepositoryMetrics m;
    TSDepositoryPlaces p = LayoutControls(m, 256, 128, 20, 14, 40);
    EXPECT_EQ(p.Bevel, QRect(128, 0, 2, 128));
    EXPECT_EQ(p.AddDrawing, QRect(1, 1, 25, 21));
    EXPECT_EQ(p.DeleteDrawing, QRect(29, 1, 25, 21));
    EXPECT_EQ(p.NextDrawing, QRect(100, 1, 25, 21));
    EXPECT_EQ(p.PrevDrawing, QRect(72, 1, 25, 21));
    EXPECT_EQ(p.AddRecord, QRect(133, 1, 25, 21));
    EXPECT_EQ(p.DeleteRecord, QRect(161, 1, 25, 21));
    EXPECT_EQ(p.NextRecord, QRect(230, 1, 25, 21));
    EXPECT_EQ(p.PrevRecord, QRect(202, 1, 25, 21));
    EXPECT_EQ(p.SpecialBox, QRect(50, 107, 75, 20));
    EXPECT_EQ(p.OrdinaryBox, QRect(50, 84, 75, 20));
    EXPECT_EQ(p.DrawingList, QRect(1, 25, 124, 56));
    EXPECT_EQ(p.RecordList, QRect(133, 25, 122, 102));
    EXPECT_EQ(p.OrdinaryLabel, QRect(5, 87, 40, 14));
    EXPECT_EQ(p.SpecialLabel, QRect(5, 110, 40, 14));
    m.BevelPos = 135;
    p = LayoutControls(m, 256, 128, 20, 14, 40);
    EXPECT_EQ(p.Bevel.x(), 135);
    EXPECT_EQ(p.NextDrawing.x(), 107);
    EXPECT_EQ(p.AddRecord.x(), 140);
    EXPECT_EQ(p.SpecialBox.width(), 82);
    EXPECT_EQ(p.RecordList, QRect(140, 25, 115, 102));

    using B = TSDepositoryButtons;
    struct Row {
        bool Has, Locked;
        std::int32_t Entries, Records, Drawing, Record;
        B Expected;
    } rows[] = {
        {false, false, 0, 0, -1, 0, B{}},
        {true, false, 0, 0, -1, 0, B{true, false, false, false, true, false, false, false}},
        {true, false, 2, 3, 0, 1, B{true, true, true, true, true, true, true, true}},
        {true, true, 2, 3, 0, 1, B{false, false, true, true, false, false, true, true}},
        {true, false, 2, 3, 1, 2, B{true, true, true, false, true, true, true, false}},
        {true, false, 2, 3, -1, 0, B{true, false, false, true, true, true, false, true}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DepositoryButtons(r.Has, r.Locked, r.Entries, r.Records, r.Drawing, r.Record), r.Expected)
            << r.Has << r.Locked << r.Entries << r.Records << r.Drawing << r.Record;
}

class DepositoryComponent : public Viewer3DTest {};

std::vector<std::string> Items(QComboBox* Box)
{
    std::vector<std::string> out;
    for (int i = 0; i < Box->count(); ++i)
        out.push_back(Box->itemText(i).toStdString());
    return out;
}

TEST_F(DepositoryComponent, RecordsChoicesAndEvents)
{
    std::unique_ptr<TEightByteDepository> store(TSObject::Create<TEightByteDepository>());
    TSDepositoryComponent c;
    c.show();
    EXPECT_FALSE(c.AddRecordBtn()->isEnabled());  // nothing attached
    std::vector<std::string> events;
    c.OnChange = [&] { events.push_back("change"); };
    c.OnCurrentDrawingChange = [&] { events.push_back("drawing"); };
    c.OnCurrentRecordChange = [&] { events.push_back("record"); };
    c.SetDepository(store.get());
    EXPECT_EQ(events, (std::vector<std::string>{"drawing", "record"}));
    EXPECT_EQ(c.RecordList()->count(), 0);
    EXPECT_EQ(c.OrdinaryBox()->count(), 0);
    EXPECT_TRUE(c.AddRecordBtn()->isEnabled());
    EXPECT_FALSE(c.DeleteRecordBtn()->isEnabled());
    EXPECT_FALSE(c.PrevRecordBtn()->isEnabled());
    EXPECT_FALSE(c.NextRecordBtn()->isEnabled());
    EXPECT_FALSE(c.DeleteDrawingBtn()->isEnabled());  // "All Drawings"
    EXPECT_EQ(c.DrawingList()->item(0)->text(), "All Drawings");

    events.clear();
    c.AddRecordBtn()->click();
    c.AddRecordBtn()->click();
    EXPECT_EQ(store->RecordCount(), 2);
    EXPECT_EQ(store->GetRecordName(0), "No Named Record");
    EXPECT_EQ(store->GetRecordName(1), "No Named Record");
    EXPECT_EQ(c.CurrentRecord(), 1);
    EXPECT_EQ(c.RecordList()->currentRow(), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"record", "change", "record", "change"}));

    // "All Drawings": the boxes edit the defaults.
    events.clear();
    c.OrdinaryBox()->setCurrentIndex(1);
    emit c.OrdinaryBox()->activated(1);
    EXPECT_EQ(store->GetDrawSystemRecord(-1, false), 1);
    EXPECT_EQ(events, std::vector<std::string>{"change"});

    // A rename renames both boxes' items and keeps their choices.
    c.RecordList()->item(0)->setText("low");
    EXPECT_EQ(store->GetRecordName(0), "low");
    EXPECT_EQ(Items(c.OrdinaryBox()), (std::vector<std::string>{"low", "No Named Record"}));
    EXPECT_EQ(Items(c.SpecialBox()), (std::vector<std::string>{"low", "No Named Record"}));
    EXPECT_EQ(c.OrdinaryBox()->currentIndex(), 1);
    EXPECT_EQ(c.SpecialBox()->currentIndex(), 0);

    // Locked: edits refused.
    c.SetLocked(true);
    EXPECT_FALSE(c.AddRecordBtn()->isEnabled());
    c.AddRecordBtnClick();
    c.RecordList()->item(1)->setText("refused");
    emit c.SpecialBox()->activated(1);
    EXPECT_EQ(store->RecordCount(), 2);
    EXPECT_EQ(store->GetRecordName(1), "No Named Record");
    EXPECT_EQ(c.RecordList()->item(1)->text(), "No Named Record");
    EXPECT_EQ(store->GetDrawSystemRecord(-1, true), 0);
    c.SetLocked(false);

    if (const char* dir = std::getenv("SUITE_SCREENSHOT_DIR"))
        c.grab().save(QString::fromUtf8(dir) + "/depository.png");

    // Deleting the last record leaves the previous one current.
    c.DeleteRecordBtn()->click();
    EXPECT_EQ(store->RecordCount(), 1);
    EXPECT_EQ(c.CurrentRecord(), 0);
    c.SetCurrentRecord(9);
    EXPECT_EQ(c.CurrentRecord(), 0);
    c.SetDepository(nullptr);
    EXPECT_FALSE(c.AddRecordBtn()->isEnabled());
}

// Runs Step on the modal dialog that opens next, from inside its loop; if that
// dialog is still open after two seconds, it is rejected.
void WithNextDialog(std::function<void(QWidget*)> Step)
{
    auto seen = std::make_shared<QPointer<QDialog>>();
    QTimer::singleShot(0, [Step, seen] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr)
            return;
        *seen = qobject_cast<QDialog*>(dialog);
        Step(dialog);
    });
    QTimer::singleShot(2000, [seen] {
        if (!seen->isNull() && (*seen)->isVisible())
            (*seen)->reject();
    });
}

TEST_F(DepositoryComponent, DrawingsPickedFromTheProject)
{
    std::unique_ptr<THalcyte3DProject> project(TSObject::Create<THalcyte3DProject>());
    EXPECT_EQ(TSDrawingFinderForm::Execute(nullptr), nullptr);
    EXPECT_EQ(TSDrawingFinderForm::Execute(project.get()), nullptr);  // no viewers: not shown
    TSCustomDrawSystem3D* made[2] = {};
    for (int i = 0; i < 2; ++i) {
        TSCreateObjectRecord request{nullptr, &TSDrawingSystem3D::ClassInfo, nullptr};
        ASSERT_EQ(project->Process(pcCreateObject, reinterpret_cast<TSParam>(&request)), 0);
        made[i] = dynamic_cast<TSCustomDrawSystem3D*>(request.Created);
        ASSERT_NE(made[i], nullptr);
        made[i]->SetName(i == 0 ? "front" : "top");
    }
    const auto lines = DrawingChoices(project.get());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].first, "top");
    EXPECT_EQ(lines[1].second, made[1]);

    // The component of a construction in that project adds the chosen drawing once.
    std::unique_ptr<TEightByteDepository> store(TSObject::Create<TEightByteDepository>());
    store->SetRecordCount(2);
    TSDepositoryComponent c;
    c.SetConstruction(made[0]);  // any member leads to the project
    c.SetDepository(store.get());
    for (int round = 0; round < 2; ++round) {
        WithNextDialog([](QWidget* Dialog) {
            auto* form = dynamic_cast<TSDrawingFinderForm*>(Dialog);
            if (form == nullptr)
                return;
            EXPECT_EQ(form->List()->currentRow(), 0);
            if (const char* dir = std::getenv("SUITE_SCREENSHOT_DIR"))
                form->grab().save(QString::fromUtf8(dir) + "/drawing-finder.png");
            form->List()->setCurrentRow(1);
            form->OkBtn()->click();
        });
        c.AddDrawingBtn()->click();
        EXPECT_EQ(store->EntryCount(), 1);
        EXPECT_EQ(c.CurrentDrawing(), 0);
    }
    EXPECT_EQ(store->GetDrawSystem(0), made[1]);
    EXPECT_EQ(c.DrawingList()->item(1)->text(), "top");
    EXPECT_TRUE(c.DeleteDrawingBtn()->isEnabled());
    WithNextDialog([](QWidget* Dialog) {
        if (auto* form = dynamic_cast<TSDrawingFinderForm*>(Dialog))
            form->CancelBtn()->click();
    });
    c.AddDrawingBtn()->click();
    EXPECT_EQ(store->EntryCount(), 1);
    c.DeleteDrawingBtn()->click();
    EXPECT_EQ(store->EntryCount(), 0);
    EXPECT_EQ(c.CurrentDrawing(), -1);
    c.SetDepository(nullptr);
}

TEST_F(DepositoryComponent, ReflectionLawsUnderABaseClass)
{
    std::vector<std::pair<std::string, TSClass>> lines;
    ASSERT_TRUE(ReflectionChoices(&TSCustomReflectionLaw::ClassInfo, lines));
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines[0].first, "NO REFLECTION");
    EXPECT_EQ(lines[0].second, nullptr);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].second->InheritsFrom(&TSCustomReflectionLaw::ClassInfo)) << lines[i].first;

    // "NO REFLECTION" with no law: nothing changed.
    TSClass law = nullptr;
    WithNextDialog([](QWidget* Dialog) {
        if (auto* form = dynamic_cast<TSFinderReflectionForm*>(Dialog))
            form->OkBtn()->click();
    });
    EXPECT_FALSE(TSFinderReflectionForm::Execute(&TSCustomReflectionLaw::ClassInfo, law));
    EXPECT_EQ(law, nullptr);
    if (lines.size() > 1) {
        WithNextDialog([](QWidget* Dialog) {
            if (auto* form = dynamic_cast<TSFinderReflectionForm*>(Dialog)) {
                form->List()->setCurrentRow(1);
                form->OkBtn()->click();
            }
        });
        EXPECT_TRUE(TSFinderReflectionForm::Execute(&TSCustomReflectionLaw::ClassInfo, law));
        EXPECT_EQ(law, lines[1].second);
    }
}

TEST_F(DepositoryComponent, LayersOfAFileWrittenByNumpy)
{
    // A folder of this run's own: test programs may run side by side.
    const testsupport::TempDir scratch;
    const std::filesystem::path folder = scratch.Path();
    const std::string path = (folder / "two.rdp").string();
    const std::string script =
        "import sys; sys.path.insert(0, '" SUITE_SOURCE_DIR "/tests/engine3d'); import numpy as np; "
        "from rdp_layers import write_file; "
        "write_file(sys.argv[1], [(7, 2, 2, [np.zeros((2, 2), np.float32)]), "
        "(7, 3, 1, [np.ones((1, 3), np.float32)])], 3); print('ok')";
    ASSERT_EQ(testsupport::CommandOutput("/usr/bin/python3 -c \"" + script + "\" '" + path + "' 2>&1"), "ok\n");

    // The index is clamped into the file's layers; the confirmed layer's index comes back.
    std::int32_t index = 7;
    int preselected = -1;
    WithNextDialog([&preselected](QWidget* Dialog) {
        auto* form = dynamic_cast<TSLayerFinderForm*>(Dialog);
        if (form == nullptr)
            return;
        QTreeWidgetItem* file = form->Tree()->topLevelItem(0);
        if (file == nullptr || file->childCount() != 2)
            return;
        preselected = file->indexOfChild(form->Tree()->currentItem());
        form->Tree()->setCurrentItem(file->child(0));
        form->OkBtn()->click();
    });
    EXPECT_TRUE(TSLayerFinderForm::Execute(path, index));
    EXPECT_EQ(preselected, 1);
    EXPECT_EQ(index, 0);
    // The file's own branch carries no layer: no choice.
    WithNextDialog([](QWidget* Dialog) {
        if (auto* form = dynamic_cast<TSLayerFinderForm*>(Dialog)) {
            form->Tree()->setCurrentItem(form->Tree()->topLevelItem(0));
            form->OkBtn()->click();
        }
    });
    index = 1;
    EXPECT_FALSE(TSLayerFinderForm::Execute(path, index));
    EXPECT_EQ(index, 1);

    // A missing file, or one no reader takes, answers false without showing.
    bool shown = false;
    WithNextDialog([&shown](QWidget*) { shown = true; });
    EXPECT_FALSE(TSLayerFinderForm::Execute((folder / "missing.rdp").string(), index));
    const std::string text = (folder / "plain.txt").string();
    ASSERT_EQ(testsupport::CommandOutput("echo hello > '" + text + "'; echo done"), "done\n");
    EXPECT_FALSE(TSLayerFinderForm::Execute(text, index));
    QCoreApplication::processEvents();
    EXPECT_FALSE(shown);
    std::filesystem::remove_all(folder);
}

TEST_F(DepositoryComponent, AProjectFileHoldsTheStoreAsAnIndependentReaderSeesIt)
{
    RegisterRTDClass(&TEightByteDepository::ClassInfo);
    RegisterDepositoryClass(&TEightByteDepository::ClassInfo, &TSCustomConstruction3D::ClassInfo);
    // A folder of this run's own: test programs may run side by side.
    const testsupport::TempDir scratch;
    const std::filesystem::path folder = scratch.Path();
    const std::string path = (folder / "store.hcp").string();
    {
        std::unique_ptr<THalcyte3DProject> project(TSObject::Create<THalcyte3DProject>());
        TSCreateObjectRecord viewer{nullptr, &TSDrawingSystem3D::ClassInfo, nullptr};
        ASSERT_EQ(project->Process(pcCreateObject, reinterpret_cast<TSParam>(&viewer)), 0);
        TSCreateObjectRecord object{nullptr, &TSCustomConstruction3D::ClassInfo, nullptr};
        ASSERT_EQ(project->Process(pcCreateObject, reinterpret_cast<TSParam>(&object)), 0);
        auto* store = dynamic_cast<TEightByteDepository*>(project->FindDepository(object.Created));
        ASSERT_NE(store, nullptr);
        EXPECT_EQ(store->Construction(), object.Created);
        store->SetRecordCount(2);
        store->SetRecordName(0, "low");
        store->SetRecordName(1, "high");
        const std::uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        std::memcpy(store->GetRecordData(1), bytes, 8);
        const std::int32_t entry = store->AddDrawSystem(dynamic_cast<TSCustomDrawSystem3D*>(viewer.Created));
        store->SetDrawSystemRecord(entry, true, 1);
        store->SetDrawSystemRecord(-1, false, 1);
        store->SelectRecord(1);
        project->SaveToFileName(path);
    }
    const std::string output = testsupport::CommandOutput(
        "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer3d/project_check.py '" + path + "' 8 2>&1");
    // The current record is the one the last picture applied: not checked.
    for (const char* line : {"depositories 1 objects-linked True\n", "store construction-is-object True current ",
                             " defaults 1 0\nrecords low=0000000000000000 high=0102030405060708\nentries True:1:0\n"})
        EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
    std::filesystem::remove_all(folder);
    UnregisterDepositoryClass(&TEightByteDepository::ClassInfo, &TSCustomConstruction3D::ClassInfo);
    UnregisterRTDClass(&TEightByteDepository::ClassInfo);
}

}  // namespace
