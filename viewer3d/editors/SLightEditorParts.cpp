#include "viewer3d/editors/SLightEditorParts.h"

#include "viewer3d/editors/EditorParts.h"
#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SDepositoryComponent.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/HcProject3D.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <cstring>

namespace {

bool InGuiThread()
{
    return QCoreApplication::instance() != nullptr && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs Act on the GUI thread: at once there, queued to Form from elsewhere.
template <class F>
void OnGuiThread(QWidget* Form, F&& Act)
{
    if (InGuiThread()) {
        Act(Form);
        return;
    }
    QPointer<QWidget> form(Form);
    QMetaObject::invokeMethod(
        Form, [form, act = std::forward<F>(Act)]() mutable {
            if (form)
                act(form.data());
        },
        Qt::QueuedConnection);
}

std::string PropertiesCaption(TSCustomConstruction3D* Construction)
{
    return (Construction ? Construction->Name() : std::string()) + " : Properties";
}

}  // namespace

// ---------------------------------------------------------------------------
// TSLightDepositoryBase

void TSLightDepositoryBase::Initialize()
{
    TSDepositoryCustomConstruction3D::Initialize();
    m_form = nullptr;
    State = TSEditorWindowState{};
}

TSLightDepositoryBase::~TSLightDepositoryBase()
{
    Finalize();
    FreeForm();
}

void TSLightDepositoryBase::FreeForm()
{
    TSLightEditorForm* form = m_form;
    if (form != nullptr && form->WorkingCopy() != this)
        delete form;  // its destructor clears m_form
    m_form = nullptr;
}

double TSLightDepositoryBase::Value(const void* Data, std::int32_t Offset)
{
    double v = 0;
    std::memcpy(&v, static_cast<const std::uint8_t*>(Data) + Offset, sizeof v);
    return v;
}

void TSLightDepositoryBase::SetValue(void* Data, std::int32_t Offset, double V)
{
    std::memcpy(static_cast<std::uint8_t*>(Data) + Offset, &V, sizeof V);
}

void TSLightDepositoryBase::InitRecord(void* Data)
{
    if (Data == nullptr)
        return;
    const TSLightRecordLayout& layout = Layout();
    std::memset(Data, 0, std::size_t(layout.Size));
    for (std::size_t i = 0; i < layout.Fields.size(); ++i)
        SetValue(Data, layout.Fields[i].Offset, layout.NewRecord[i]);
    static_cast<std::uint8_t*>(Data)[layout.EnabledOffset] = 1;
}

bool TSLightDepositoryBase::CopyRecord(void* Dest, const void* Source)
{
    if (Dest == nullptr || Source == nullptr || Dest == Source)
        return false;
    const TSLightRecordLayout& layout = Layout();
    bool differs = static_cast<const std::uint8_t*>(Dest)[layout.EnabledOffset] !=
                   static_cast<const std::uint8_t*>(Source)[layout.EnabledOffset];
    for (const TSLightValueField& f : layout.Fields)
        differs = differs || Value(Dest, f.Offset) != Value(Source, f.Offset);
    if (differs)
        std::memcpy(Dest, Source, std::size_t(layout.Size));
    return differs;
}

std::int32_t TSLightDepositoryBase::WriteRecord(TSObjectsStream* Stream, const void* Data)
{
    const TSLightRecordLayout& layout = Layout();
    std::vector<std::uint8_t> bytes(std::size_t(layout.Size), 0);
    std::memcpy(bytes.data(), Data, std::size_t(layout.EnabledOffset) + 1);
    Stream->Write(bytes.data(), layout.Size);
    return layout.Size;
}

std::int32_t TSLightDepositoryBase::ReadRecord(TSObjectsStream* Stream, void* Data)
{
    const TSLightRecordLayout& layout = Layout();
    Stream->Read(Data, layout.Size);
    // The bytes after Enabled mean nothing.
    std::memset(static_cast<std::uint8_t*>(Data) + layout.EnabledOffset + 1, 0,
                std::size_t(layout.Size - layout.EnabledOffset - 1));
    return layout.Size;
}

void TSLightDepositoryBase::Assign(TPersistent* Source)
{
    if (Source == nullptr)
        return;
    TSDepositoryCustomConstruction3D::Assign(Source);
    auto* other = dynamic_cast<TSLightDepositoryBase*>(Source);
    if (other != nullptr && other->ClassType() == ClassType())
        State = other->State;
}

void TSLightDepositoryBase::SetConstruction(TSCustomConstruction3D* Value)
{
    if (Value != nullptr && !Accepts(Value))
        Value = nullptr;
    TSDepositoryCustomConstruction3D::SetConstruction(Value);
    if (m_form != nullptr && m_form->WorkingCopy() != this)
        m_form->Component()->SetConstruction(Value);
}

void TSLightDepositoryBase::CreateForm(bool Visible)
{
    m_form = NewForm();
    m_form->SetDepository(this);
    m_form->Component()->SetConstruction(Construction());
    m_form->WorkingCopy()->Assign(this);
    m_form->Caption()->SetText(PropertiesCaption(Construction()));
    m_form->RestoreFormState(Visible);
}

std::int32_t TSLightDepositoryBase::Edit(TSParam Param)
{
    if (reinterpret_cast<TObject*>(Param) != static_cast<TObject*>(Construction()))
        return -1;
    if (m_form == nullptr) {
        CreateForm(true);
    } else {
        m_form->show();
        m_form->raise();
        m_form->activateWindow();
    }
    return 0;
}

void TSLightDepositoryBase::ConstructionEvent(TObject*, std::int32_t Code, TSParam)
{
    if (m_form == nullptr || Construction() == nullptr || Code != ecChanged || m_form->WorkingCopy() == this)
        return;
    const std::string text = PropertiesCaption(Construction());
    OnGuiThread(m_form, [text](QWidget* w) { static_cast<TSLightEditorForm*>(w)->Caption()->SetText(text); });
}

void TSLightDepositoryBase::DrawSystemEvent(TObject*, std::int32_t Code, TSParam)
{
    if (m_form == nullptr || (Code != ecDestroying && Code != ecChanged) || m_form->WorkingCopy() != this)
        return;
    OnGuiThread(m_form, [](QWidget* w) { static_cast<TSLightEditorForm*>(w)->Component()->RefreshAll(); });
}

void TSLightDepositoryBase::ApplySettings(TSLightDepositoryBase* Source)
{
    TSCustomConstruction3D* construction = Construction();
    if (construction == nullptr || Source == nullptr)
        return;
    InChange(*construction, true, [&] {
        CopyFrom(Source);
        construction->Events.Notify(construction, 4100, 0);
        State = Source->State;
    });
}

std::int32_t TSLightDepositoryBase::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    const std::int32_t bytes = TSDepositoryCustomConstruction3D::Save(Stream);
    if (m_form != nullptr && m_form->WorkingCopy() != this && InGuiThread()) {
        State.Left = m_form->x();
        State.Top = m_form->y();
        State.WindowOrder = WindowStackOrder(m_form);
    } else if (m_form == nullptr) {
        State.WindowOrder = 0;
    }
    const std::int32_t fields[6] = {State.Left, State.Top, State.Pinned ? 1 : 0, State.CurrentDrawing,
                                    State.CurrentRecord, State.WindowOrder};
    Stream->Write(fields, sizeof fields);
    return bytes + 24;
}

std::int32_t TSLightDepositoryBase::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    FreeForm();
    const std::int32_t bytes = TSDepositoryCustomConstruction3D::Load(Stream);
    std::int32_t fields[6] = {};
    Stream->Read(fields, sizeof fields);
    State.Left = fields[0];
    State.Top = fields[1];
    State.Pinned = fields[2] != 0 ? 1 : 0;
    State.CurrentDrawing = fields[3];
    State.CurrentRecord = fields[4];
    State.WindowOrder = fields[5];
    return bytes + 24;
}

std::int32_t TSLightDepositoryBase::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    const std::int32_t result = TSDepositoryCustomConstruction3D::Link(Stream);
    if (State.WindowOrder != 0 && Construction() != nullptr && m_form == nullptr && InGuiThread())
        if (auto* project = dynamic_cast<THalcyte3DProject*>(Stream->GetProject())) {
            CreateForm(false);
            project->RegisterWindow(m_form, State.WindowOrder);
        }
    return result;
}

// ---------------------------------------------------------------------------
// TSLightEditorForm

TSLightEditorForm::TSLightEditorForm(TSClass DepositoryClass, const TSLightRecordLayout& Layout)
    : QWidget(nullptr, Qt::Dialog), m_layout(Layout)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->setSizeConstraint(QLayout::SetFixedSize);
    m_caption = new TSFlatCaption(this);
    m_caption->ShowButtons({fccClose, fccScreenPin});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);

    auto* body = new QHBoxLayout();
    body->setContentsMargins(4, 0, 4, 0);
    m_component = new TSDepositoryComponent(this);
    m_component->setObjectName("SDepositoryComponent1");
    TSDepositoryMetrics metrics = m_component->Metrics();
    metrics.BevelPos = 135;
    m_component->SetMetrics(metrics);
    m_component->setFixedSize(256, 128);
    body->addWidget(m_component, 0, Qt::AlignTop);

    auto* values = new QVBoxLayout();
    QFormLayout* form = nullptr;
    const char* group = "";
    for (const TSLightValueField& f : Layout.Fields) {
        const bool sameGroup = (f.Group == nullptr && group == nullptr) ||
                               (f.Group != nullptr && group != nullptr && std::strcmp(f.Group, group) == 0);
        if (form == nullptr || !sameGroup) {
            group = f.Group;
            form = new QFormLayout();
            form->setContentsMargins(4, 2, 4, 2);
            if (f.Group != nullptr) {
                auto* box = new QGroupBox(QString::fromUtf8(f.Group), this);
                box->setLayout(form);
                values->addWidget(box);
            } else {
                values->addLayout(form);
            }
        }
        auto* edit = new QLineEdit(this);
        edit->setObjectName(f.EditName);
        edit->setFixedWidth(96);
        FilterRealKeys(edit);
        form->addRow(QString::fromUtf8(f.Caption), edit);
        const std::size_t index = m_edits.size();
        m_edits.push_back(edit);
        connect(edit, &QLineEdit::textChanged, this, [this, index] { ValueEditChange(index); });
    }
    m_enabledBox = new QCheckBox("Enabled", this);
    m_enabledBox->setObjectName("EnabledBox");
    values->addWidget(m_enabledBox);
    values->addStretch(1);
    body->addLayout(values);
    column->addLayout(body);

    auto* panel = new QHBoxLayout();
    panel->setContentsMargins(4, 0, 4, 4);
    m_resetBtn = new QPushButton("Reset", this);
    m_applyBtn = new QPushButton("Apply", this);
    m_closeBtn = new QPushButton("Close", this);
    m_resetBtn->setObjectName("ResetBtn");
    m_applyBtn->setObjectName("ApplyBtn");
    m_closeBtn->setObjectName("CloseBtn");
    panel->addWidget(m_resetBtn);
    panel->addStretch(1);
    panel->addWidget(m_applyBtn);
    panel->addWidget(m_closeBtn);
    column->addLayout(panel);
    m_applyBtn->setEnabled(false);

    connect(m_enabledBox, &QCheckBox::toggled, this, [this] { EnabledBoxClick(); });
    connect(m_resetBtn, &QPushButton::clicked, this, [this] { ResetBtnClick(); });
    connect(m_applyBtn, &QPushButton::clicked, this, [this] { ApplyBtnClick(); });
    connect(m_closeBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(); });

    m_workingCopy = dynamic_cast<TSLightDepositoryBase*>(TSObject::Create(DepositoryClass, nullptr));
    m_workingCopy->SetForm(this);
    m_component->OnChange = [this] { SDepositoryComponent1Change(); };
    m_component->OnCurrentRecordChange = [this] { SDepositoryComponent1CurrentRecordChange(); };
    m_component->SetDepository(m_workingCopy);
    adjustSize();  // the caption bar lays its text out at the final width
}

TSLightEditorForm::~TSLightEditorForm()
{
    Detach();
    m_component->OnChange = nullptr;
    m_component->OnCurrentRecordChange = nullptr;
    m_component->SetConstruction(nullptr);
    m_component->SetDepository(nullptr);
    m_workingCopy->SetForm(nullptr);
    delete m_workingCopy;
    m_workingCopy = nullptr;
}

void TSLightEditorForm::Detach()
{
    TSLightDepositoryBase* depository = m_depository;
    if (depository == nullptr)
        return;
    m_depository = nullptr;
    depository->SetForm(nullptr);
    TSEditorWindowState& to = depository->State;
    const TSEditorWindowState& from = m_workingCopy->State;
    to.Left = from.Left;
    to.Top = from.Top;
    to.Pinned = from.Pinned;
    to.CurrentDrawing = from.CurrentDrawing;
    to.CurrentRecord = from.CurrentRecord;
}

void TSLightEditorForm::RestoreFormState(bool Visible)
{
    const TSEditorWindowState& state = m_workingCopy->State;
    m_caption->SetPinned(state.Pinned != 0);
    m_component->RefreshAll();
    m_component->SetCurrentDrawing(state.CurrentDrawing);
    m_component->SetCurrentRecord(state.CurrentRecord);
    PlaceWindow(this, state.Left, state.Top, -1, -1, state.Pinned != 0, Visible);
}

void TSLightEditorForm::closeEvent(QCloseEvent* Event)
{
    TSEditorWindowState& state = m_workingCopy->State;
    state.Left = x();
    state.Top = y();
    state.Pinned = m_caption->IsPinned() ? 1 : 0;
    state.CurrentDrawing = m_component->CurrentDrawing();
    state.CurrentRecord = m_component->CurrentRecord();
    Detach();
    Event->accept();
    deleteLater();
}

void TSLightEditorForm::SDepositoryComponent1CurrentRecordChange()
{
    TSFlagScope updating(m_updating);
    void* record = m_workingCopy->GetRecordData(m_component->CurrentRecord());
    for (std::size_t i = 0; i < m_edits.size(); ++i)
        m_edits[i]->setText(record ? QString::fromStdString(FormatReal(
                                         TSLightDepositoryBase::Value(record, m_layout.Fields[i].Offset), 12, 6))
                                   : QString());
    m_enabledBox->setChecked(record != nullptr && static_cast<std::uint8_t*>(record)[m_layout.EnabledOffset] != 0);
}

void TSLightEditorForm::SDepositoryComponent1Change()
{
    m_applyBtn->setEnabled(true);
}

void TSLightEditorForm::ValueEditChange(std::size_t Index)
{
    if (m_updating || Index >= m_edits.size())
        return;
    void* record = m_workingCopy->GetRecordData(m_component->CurrentRecord());
    if (record == nullptr)
        return;
    double v = 0;
    if (!TryParseReal(m_edits[Index]->text().toStdString(), v))
        return;
    TSLightDepositoryBase::SetValue(record, m_layout.Fields[Index].Offset, v);
    m_applyBtn->setEnabled(true);
}

void TSLightEditorForm::EnabledBoxClick()
{
    if (m_updating)
        return;
    auto* record = static_cast<std::uint8_t*>(m_workingCopy->GetRecordData(m_component->CurrentRecord()));
    if (record == nullptr)
        return;
    const std::uint8_t checked = m_enabledBox->isChecked() ? 1 : 0;
    if ((record[m_layout.EnabledOffset] != 0) != (checked != 0)) {
        record[m_layout.EnabledOffset] = checked;
        m_applyBtn->setEnabled(true);
    }
}

void TSLightEditorForm::ApplyBtnClick()
{
    if (m_depository != nullptr)
        m_depository->ApplySettings(m_workingCopy);
    m_applyBtn->setEnabled(false);
}

void TSLightEditorForm::ResetBtnClick()
{
    if (m_depository == nullptr)
        return;
    m_workingCopy->Assign(m_depository);
    m_component->RefreshAll();
    m_applyBtn->setEnabled(false);
}

void TSLightEditorForm::CloseBtnClick()
{
    close();
}
