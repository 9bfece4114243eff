// The editors of lights, eye systems and the diffuse law: records, streams,
// the windows on the offscreen platform and the two modal dialogs.

#include "EditorTestSupport.h"
#include "ModalDriver.h"
#include "TempDir.h"
#include "Viewer3DTestSupport.h"

#include "viewer3d/editors/EditorParts.h"
#include "viewer3d/editors/SAmbientLight3DUn.h"
#include "viewer3d/editors/SDiffuseReflectionUn.h"
#include "viewer3d/editors/SEyeSystem3DUn.h"
#include "viewer3d/editors/SPointSpringLight3DUn.h"
#include "viewer3d/forms/SDepositoryComponent.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/scene/SClasses3D.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using editortest::BytesStream;
using editortest::EventLog;

namespace {

TEST(EditorKeys, RealAndIntegerFilters)
{
    struct Row {
        const char* Text;
        char Key;
        bool Real;
    } rows[] = {
        {"", '1', true},          {"", '-', true},           {"-1", '-', false},   {"1.5", '.', false},
        {"1", 'a', false},        {"1", ' ', false},         {"", kBackspace, true},
        {"1234567890123", '1', false},                       {"1234567890123", kBackspace, true},
        {"123456789012", '1', true},
    };
    for (const Row& r : rows)
        EXPECT_EQ(AcceptRealKey(r.Text, r.Key), r.Real) << r.Text << " + " << int(r.Key);
    EXPECT_TRUE(AcceptIntegerKey("999", '9', 4));
    EXPECT_FALSE(AcceptIntegerKey("9999", '9', 4));
    EXPECT_TRUE(AcceptIntegerKey("9999", kBackspace, 4));
    EXPECT_FALSE(AcceptIntegerKey("1", '-', 7));
    EXPECT_TRUE(AcceptIntegerKey("123456", '7', 7));
    EXPECT_FALSE(AcceptIntegerKey("1234567", '8', 7));
}

class LightEditors : public Viewer3DTest {
protected:
    void SetUp() override
    {
        Viewer3DTest::SetUp();
        Project.reset(TSObject::Create<THalcyte3DProject>());
        Project->SetName("P");
    }
    void TearDown() override
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (dynamic_cast<TSLightEditorForm*>(w) != nullptr)
                w->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Project.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Viewer3DTest::TearDown();
    }
    template <class T>
    T* Make()
    {
        TSCreateObjectRecord request{nullptr, &T::ClassInfo, nullptr};
        EXPECT_EQ(Project->Process(pcCreateObject, reinterpret_cast<TSParam>(&request)), 0);
        return dynamic_cast<T*>(request.Created);
    }
    template <class D>
    D* DepositoryOf(TObject* Object) const
    {
        return dynamic_cast<D*>(Project->FindDepository(Object));
    }
    static std::vector<TSLightEditorForm*> OpenForms()
    {
        std::vector<TSLightEditorForm*> forms;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = dynamic_cast<TSLightEditorForm*>(w); f != nullptr && f->Depository() != nullptr)
                forms.push_back(f);
        return forms;
    }

    std::unique_ptr<THalcyte3DProject> Project;
};

TEST_F(LightEditors, RegisteredForTheirLightsAndMadeByTheProject)
{
    EXPECT_EQ(FindDepositoryClass(&TSAmbientLight3D::ClassInfo), &TSAmbientLight3D_Depository::ClassInfo);
    EXPECT_EQ(FindDepositoryClass(&TSFlatSpringLight3D::ClassInfo), &TSAmbientLight3D_Depository::ClassInfo);
    EXPECT_EQ(FindDepositoryClass(&TSPointSpringLight3D::ClassInfo), &TSPointSpringLight3D_Depository::ClassInfo);
    EXPECT_EQ(FindDepositoryClass(&TSEyeSystem3D::ClassInfo), &TSEyeSystem3D_Depository::ClassInfo);
    EXPECT_NE(FindRTDClass("TSPointSpringLight3D_Depository"), nullptr);

    auto* ambient = Make<TSAmbientLight3D>();
    auto* point = Make<TSPointSpringLight3D>();
    auto* eye = Make<TSEyeSystem3D>();
    auto* a = DepositoryOf<TSAmbientLight3D_Depository>(ambient);
    auto* p = DepositoryOf<TSPointSpringLight3D_Depository>(point);
    auto* e = DepositoryOf<TSEyeSystem3D_Depository>(eye);
    ASSERT_TRUE(a && p && e);
    EXPECT_EQ(a->Construction(), ambient);
    EXPECT_EQ(p->Construction(), point);
    EXPECT_EQ(e->EyeSystem(), eye);
    EXPECT_EQ(a->RecordSize(), 28);
    EXPECT_EQ(p->RecordSize(), 68);
    // A light of another kind is not taken.
    TObject* wrong = point;
    a->SetParameter(diConstruction, &wrong);
    EXPECT_EQ(a->Construction(), nullptr);
}

TEST_F(LightEditors, NewRecordsCopyAndApplyPerClass)
{
    auto* flat = Make<TSFlatSpringLight3D>();
    auto* ambient = Make<TSAmbientLight3D>();
    auto* point = Make<TSPointSpringLight3D>();
    auto* f = DepositoryOf<TSAmbientLight3D_Depository>(flat);
    auto* a = DepositoryOf<TSAmbientLight3D_Depository>(ambient);
    auto* p = DepositoryOf<TSPointSpringLight3D_Depository>(point);

    p->SetRecordCount(1);
    const void* rec = p->GetRecordData(0);
    const double fresh[8] = {1, 1, 1, 1, 0, 0, 0, -1};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(TSLightDepositoryBase::Value(rec, i * 8), fresh[i]) << i;
    EXPECT_EQ(static_cast<const std::uint8_t*>(rec)[64], 1);

    // CopyRecord: exact comparison of every field.
    std::vector<std::uint8_t> x(68), y(68);
    p->InitRecord(x.data());
    p->InitRecord(y.data());
    EXPECT_FALSE(p->CopyRecord(x.data(), y.data()));
    for (int offset : {0, 8, 16, 24, 32, 40, 48, 56}) {
        TSLightDepositoryBase::SetValue(y.data(), offset, TSLightDepositoryBase::Value(y.data(), offset) + 1e-12);
        EXPECT_TRUE(p->CopyRecord(x.data(), y.data())) << offset;
        EXPECT_EQ(x, y);
    }
    y[64] = 0;
    EXPECT_TRUE(p->CopyRecord(x.data(), y.data()));
    EXPECT_EQ(x[64], 0);

    // ApplyRecord of each class.
    for (TSAmbientLight3D_Depository* d : {f, a}) {
        d->SetRecordCount(1);
        void* r = d->GetRecordData(0);
        TSLightDepositoryBase::SetValue(r, 0, 0.25);
        TSLightDepositoryBase::SetValue(r, 8, 0.5);
        TSLightDepositoryBase::SetValue(r, 16, 0.75);
        static_cast<std::uint8_t*>(r)[24] = 0;
        d->ApplyRecord();
    }
    EXPECT_DOUBLE_EQ(flat->Color().X, 0.25);
    EXPECT_DOUBLE_EQ(flat->Color().Z, 0.75);
    EXPECT_DOUBLE_EQ(ambient->Color().Y, 0.5);
    EXPECT_FALSE(flat->Enabled());
    EXPECT_FALSE(ambient->Enabled());
    void* r = p->GetRecordData(0);
    const double values[8] = {0.1, 0.2, 0.3, 2, 0.5, 0.25, 3, 0.5};
    for (int i = 0; i < 8; ++i)
        TSLightDepositoryBase::SetValue(r, i * 8, values[i]);
    p->ApplyRecord();
    const TSPointSpringLight3D::Values v = point->Snapshot();
    EXPECT_DOUBLE_EQ(v.Color.Y, 0.2);
    EXPECT_DOUBLE_EQ(v.Constant, 2);
    EXPECT_DOUBLE_EQ(v.Quadratic, 0.25);
    EXPECT_DOUBLE_EQ(v.SpotExponent, 3);
    EXPECT_DOUBLE_EQ(v.SpotCutOff, 0.5);
    // Without records nothing happens.
    p->SetRecordCount(0);
    p->ApplyRecord();
    EXPECT_DOUBLE_EQ(point->Snapshot().Constant, 2);
}

TEST_F(LightEditors, StreamsCarryRecordsAndA24ByteTrailer)
{
    auto* point = Make<TSPointSpringLight3D>();
    auto* p = DepositoryOf<TSPointSpringLight3D_Depository>(point);
    p->SetRecordCount(2);
    p->SetRecordName(1, "Warm");
    auto* r = static_cast<std::uint8_t*>(p->GetRecordData(1));
    TSLightDepositoryBase::SetValue(r, 24, 4.5);
    r[65] = 0x55;  // padding: not written
    p->State = {10, 20, 1, -1, 1, 0};

    std::unique_ptr<TSPointSpringLight3D_Depository> bare(TSObject::Create<TSPointSpringLight3D_Depository>());
    bare->SetRecordCount(2);
    bare->SetRecordName(1, "Warm");
    BytesStream base;
    const std::int32_t inherited = bare->TSDepositoryCustomConstruction3D::Save(&base);
    BytesStream s;
    EXPECT_EQ(p->Save(&s), inherited + 24);
    ASSERT_EQ(std::int32_t(s.Bytes.size()), inherited + 24);
    std::int32_t tail[6];
    std::memcpy(tail, s.Bytes.data() + s.Bytes.size() - 24, 24);
    EXPECT_EQ(tail[0], 10);
    EXPECT_EQ(tail[1], 20);
    EXPECT_EQ(tail[2], 1);
    EXPECT_EQ(tail[3], -1);
    EXPECT_EQ(tail[4], 1);
    EXPECT_EQ(tail[5], 0);
    EXPECT_EQ(p->Save(nullptr), -1);
    EXPECT_EQ(p->Load(nullptr), -1);

    s.Pos = 0;
    std::unique_ptr<TSPointSpringLight3D_Depository> back(TSObject::Create<TSPointSpringLight3D_Depository>());
    EXPECT_EQ(back->Load(&s), inherited + 24);
    EXPECT_EQ(back->RecordCount(), 2);
    EXPECT_EQ(back->GetRecordName(1), "Warm");
    const auto* b = static_cast<const std::uint8_t*>(back->GetRecordData(1));
    EXPECT_EQ(TSLightDepositoryBase::Value(b, 24), 4.5);
    EXPECT_EQ(b[65], 0);
    EXPECT_EQ(back->State, (TSEditorWindowState{10, 20, 1, -1, 1, 0}));

    // Through a project file.
    testsupport::TempDir dir;
    auto* ambient = Make<TSAmbientLight3D>();
    auto* a = DepositoryOf<TSAmbientLight3D_Depository>(ambient);
    a->SetRecordCount(1);
    TSLightDepositoryBase::SetValue(a->GetRecordData(0), 8, 0.125);
    const auto loaded = SaveAndLoad(*Project, dir.File("lights.hcp"));
    ASSERT_NE(loaded, nullptr);
    TSAmbientLight3D_Depository* la = nullptr;
    TSPointSpringLight3D_Depository* lp = nullptr;
    for (std::int32_t i = 0; i < loaded->DepositoryCount(); ++i) {
        const TSDepositoryPair pair = loaded->GetDepositoryPair(i);
        la = la ? la : dynamic_cast<TSAmbientLight3D_Depository*>(pair.Depository);
        lp = lp ? lp : dynamic_cast<TSPointSpringLight3D_Depository*>(pair.Depository);
    }
    ASSERT_TRUE(la && lp);
    EXPECT_EQ(TSLightDepositoryBase::Value(la->GetRecordData(0), 8), 0.125);
    EXPECT_NE(la->Construction(), nullptr);
    EXPECT_EQ(lp->GetRecordName(1), "Warm");
    EXPECT_EQ(lp->State.Left, 10);
}

TEST_F(LightEditors, ApplyAnnouncesOneRedrawEvenForEqualRecords)
{
    auto* ambient = Make<TSAmbientLight3D>();
    auto* a = DepositoryOf<TSAmbientLight3D_Depository>(ambient);
    std::unique_ptr<TSAmbientLight3D_Depository> copy(TSObject::Create<TSAmbientLight3D_Depository>());
    copy->Assign(a);
    EventLog log;
    ambient->Events.Add(log.Handler());
    for (int round = 1; round <= 2; ++round) {
        a->ApplySettings(copy.get());
        EXPECT_EQ(log.Count(4100), round);
        EXPECT_EQ(log.Count(ecBeginChange), round);
        EXPECT_EQ(log.Count(ecEndChange), round);
    }
    copy->SetRecordCount(1);
    copy->State.Left = 77;
    a->ApplySettings(copy.get());
    EXPECT_EQ(a->RecordCount(), 1);
    EXPECT_EQ(a->State.Left, 77);
    ambient->Events.Remove(log.Handler());
}

TEST_F(LightEditors, TheWindowEditsAWorkingCopyUntilApply)
{
    auto* point = Make<TSPointSpringLight3D>();
    point->SetName("Lamp");
    auto* p = DepositoryOf<TSPointSpringLight3D_Depository>(point);
    EXPECT_EQ(p->OpenEditor(0), -1);  // not its light: nothing opens
    Project->Process(pcOpenEditor, reinterpret_cast<TSParam>(point));
    Project->Process(pcOpenEditor, reinterpret_cast<TSParam>(point));
    ASSERT_EQ(OpenForms().size(), 1u);
    TSLightEditorForm* form = p->Form();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Caption()->Text(), "Lamp : Properties");
    EXPECT_EQ(form->Caption()->height(), 24);
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());
    EXPECT_EQ(form->ValueEditCount(), 8u);

    // A new record shows the new values.
    form->Component()->AddRecordBtnClick();
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    const char* expected[8] = {"1", "1", "1", "1", "0", "0", "0", "-1"};
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(form->ValueEdit(i)->text().toStdString(), expected[i]) << i;
    EXPECT_TRUE(form->EnabledBox()->isChecked());
    editortest::KeepShot(form, "point-light-editor.png");
    form->ApplyBtnClick();
    EXPECT_EQ(p->RecordCount(), 1);

    // Keys as the user types them.
    QLineEdit* edit = form->ValueEdit(3);
    edit->clear();
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());  // an empty text changes nothing
    EXPECT_EQ(TSLightDepositoryBase::Value(form->WorkingCopy()->GetRecordData(0), 24), 1.0);
    QTest::keyClicks(edit, "-1.5.-x");
    EXPECT_EQ(edit->text(), "-1.5");
    EXPECT_EQ(TSLightDepositoryBase::Value(form->WorkingCopy()->GetRecordData(0), 24), -1.5);
    EXPECT_TRUE(form->ApplyBtn()->isEnabled());
    edit->setText("1234567890123");
    QTest::keyClicks(edit, "4");
    EXPECT_EQ(edit->text(), "1234567890123");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "123456789012");
    form->EnabledBox()->setChecked(false);
    EXPECT_EQ(static_cast<std::uint8_t*>(form->WorkingCopy()->GetRecordData(0))[64], 0);
    // The depository is untouched until Apply; Reset takes it back.
    EXPECT_EQ(TSLightDepositoryBase::Value(p->GetRecordData(0), 24), 1.0);
    form->ResetBtnClick();
    EXPECT_FALSE(form->ApplyBtn()->isEnabled());
    EXPECT_EQ(form->ValueEdit(3)->text(), "1");
    EXPECT_TRUE(form->EnabledBox()->isChecked());

    QTest::keyClicks(form->ValueEdit(0), "2");  // "12"
    form->ApplyBtnClick();
    EXPECT_EQ(TSLightDepositoryBase::Value(p->GetRecordData(0), 0), 12.0);

    // Close without Apply: records unchanged, window state kept.
    form->ValueEdit(1)->setText("5");
    form->move(33, 44);
    form->CloseBtnClick();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(p->Form(), nullptr);
    EXPECT_TRUE(OpenForms().empty());
    EXPECT_EQ(TSLightDepositoryBase::Value(p->GetRecordData(0), 8), 1.0);
    EXPECT_EQ(p->State.CurrentRecord, 0);
    EXPECT_EQ(p->State.CurrentDrawing, -1);

    // Reopened: at its place.
    Project->Process(pcOpenEditor, reinterpret_cast<TSParam>(point));
    ASSERT_NE(p->Form(), nullptr);
    EXPECT_EQ(p->Form()->ValueEdit(0)->text(), "12");
}

TEST_F(LightEditors, AWindowOpenAtSaveReopensAfterTheLoad)
{
    testsupport::TempDir dir;
    auto* ambient = Make<TSAmbientLight3D>();
    auto* closed = Make<TSFlatSpringLight3D>();
    auto* a = DepositoryOf<TSAmbientLight3D_Depository>(ambient);
    a->SetRecordCount(1);
    a->State.Pinned = 1;  // the pin is kept when the window closes, not at save time
    Project->Process(pcOpenEditor, reinterpret_cast<TSParam>(ambient));
    ASSERT_NE(a->Form(), nullptr);
    EXPECT_TRUE(a->Form()->Caption()->IsPinned());
    const std::string path = dir.File("open.hcp");
    Project->SaveToFileName(path);
    EXPECT_NE(a->State.WindowOrder, 0);
    EXPECT_EQ(DepositoryOf<TSAmbientLight3D_Depository>(closed)->State.WindowOrder, 0);
    a->Form()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    std::unique_ptr<THalcyte3DProject> loaded(dynamic_cast<THalcyte3DProject*>(CreateProjectFromFile(path)));
    ASSERT_NE(loaded, nullptr);
    loaded->LoadFromFileName(path);
    std::vector<TSLightEditorForm*> forms = OpenForms();
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_TRUE(forms[0]->isVisible());
    editortest::KeepShot(forms[0], "ambient-light-editor.png");
    EXPECT_TRUE(forms[0]->Caption()->IsPinned());
    EXPECT_EQ(forms[0]->Depository()->Construction()->ClassType(), &TSAmbientLight3D::ClassInfo);
    // Loading again frees the window first.
    loaded->LoadFromFileName(path);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(OpenForms().size(), 1u);
    loaded.reset();
    EXPECT_TRUE(OpenForms().empty());
}

// ---------------------------------------------------------------------------
// The two dialogs

TSEyeSystem3DForm* ActiveEyeForm()
{
    auto* form = dynamic_cast<TSEyeSystem3DForm*>(QApplication::activeModalWidget());
    return testsupport::IsActiveModal(form) ? form : nullptr;
}

TEST_F(LightEditors, TheEyeDialogChangesBothValuesInOneBracket)
{
    auto* eye = Make<TSEyeSystem3D>();
    eye->SetName("Eye");
    auto* e = DepositoryOf<TSEyeSystem3D_Depository>(eye);
    EventLog log;
    eye->Events.Add(log.Handler());
    std::string caption, distance, scale;
    const auto run = [&](const char* d, const char* s, bool ok) {
        return testsupport::RunModal([] { return ActiveEyeForm() != nullptr; },
                                     {testsupport::Once([&] {
                                         TSEyeSystem3DForm* form = ActiveEyeForm();
                                         caption = form->Caption()->Text();
                                         editortest::KeepShot(form, "eye-dialog.png");
                                         distance = form->Edit1()->text().toStdString();
                                         scale = form->Edit2()->text().toStdString();
                                         form->Edit1()->setText(d);
                                         form->Edit2()->setText(s);
                                         (ok ? form->OkBtn() : form->CancelBtn())->click();
                                     })},
                                     [&] { return e->Process(4098, 0); });
    };
    EXPECT_EQ(run("500", "2", false), 0);
    EXPECT_EQ(caption, "Eye : Properties");
    EXPECT_EQ(distance, "1000");
    EXPECT_EQ(scale, "1000");
    EXPECT_EQ(eye->ScreenDistance(), 1000);
    EXPECT_EQ(log.Count(ecBeginChange), 0);
    EXPECT_EQ(run("500", "", true), 0);
    EXPECT_EQ(eye->ScreenDistance(), 500);
    EXPECT_EQ(eye->DepthScale(), 1000);
    log.Clear();
    EXPECT_EQ(run("250", "2.5", true), 0);
    EXPECT_EQ(eye->ScreenDistance(), 250);
    EXPECT_EQ(eye->DepthScale(), 2.5);
    EXPECT_EQ(log.Count(ecBeginChange), 1);
    EXPECT_EQ(log.Count(ecEndChange), 1);
    eye->Events.Remove(log.Handler());

    // Stream: the identity only; without an eye system 4098 opens nothing.
    BytesStream s;
    EXPECT_EQ(e->Save(&s), 4);
    EXPECT_EQ(s.Bytes.size(), 4u);
    std::unique_ptr<TSEyeSystem3D_Depository> bare(TSObject::Create<TSEyeSystem3D_Depository>());
    EXPECT_EQ(bare->Process(4098, 0), 0);
    TObject* other = Make<TSAmbientLight3D>();
    EXPECT_EQ(bare->SetParameter(4096, &other), 0);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(bare->SetParameter(4095, &other), -1);
}

TSSimpleDiffuseReflectionForm* ActiveLawForm()
{
    auto* form = dynamic_cast<TSSimpleDiffuseReflectionForm*>(QApplication::activeModalWidget());
    return testsupport::IsActiveModal(form) ? form : nullptr;
}

TEST_F(LightEditors, TheLawDialogShowsAndSetsItsSixCoefficients)
{
    std::unique_ptr<TSSimpleDiffuseReflection> law(TSObject::Create<TSSimpleDiffuseReflection>());
    TSCommandRecord record;
    record.Object = law.get();
    record.Command = icOpen;
    std::vector<std::string> texts;
    const auto run = [&](std::vector<const char*> edits, bool ok) {
        return testsupport::RunModal([] { return ActiveLawForm() != nullptr; },
                                     {testsupport::Once([&] {
                                         TSSimpleDiffuseReflectionForm* form = ActiveLawForm();
                                         texts.clear();
                                         editortest::KeepShot(form, "law-dialog.png");
                                         for (int i = 0; i < 6; ++i) {
                                             texts.push_back(form->Edit(i)->text().toStdString());
                                             form->Edit(i)->setText(edits[std::size_t(i)]);
                                         }
                                         (ok ? form->OkBtn() : form->CancelBtn())->click();
                                     })},
                                     [&] { return DispatchInterfaceCommand(law->ClassType(), record); });
    };
    EXPECT_EQ(run({"1", "1", "1", "1", "1", "1"}, false), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{"0.5", "0.5", "0", "1", "0", "0"}));
    EXPECT_EQ(law->AttenuationConstant(), 0.5);
    EXPECT_EQ(run({"0.25", "", "0.125", "2", "x", "3"}, true), 0);
    EXPECT_EQ(law->AttenuationConstant(), 0.25);
    EXPECT_EQ(law->AttenuationLinear(), 0.5);  // did not parse: kept
    EXPECT_EQ(law->AttenuationQuadratic(), 0.125);
    EXPECT_EQ(law->RadiationConstant(), 2);
    EXPECT_EQ(law->RadiationLinear(), 0);
    EXPECT_EQ(law->RadiationQuadratic(), 3);

    // Other commands and other objects are not the routine's.
    record.Command = 2;
    EXPECT_EQ(EditSimpleDiffuseReflection(&record), -1);
    std::unique_ptr<TSAmbientLight3D> light(TSObject::Create<TSAmbientLight3D>());
    record.Object = light.get();
    record.Command = icOpen;
    EXPECT_EQ(EditSimpleDiffuseReflection(&record), -1);
    record.Object = nullptr;
    EXPECT_EQ(EditSimpleDiffuseReflection(&record), -1);
}

}  // namespace
