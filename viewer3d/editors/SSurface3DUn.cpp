#include "viewer3d/editors/SSurface3DUn.h"

#include "viewer3d/editors/EditorParts.h"
#include "viewer3d/editors/SurfaceChannels.h"
#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SDepositoryComponent.h"
#include "viewer3d/forms/SFinderLayerUn.h"
#include "viewer3d/forms/SFinderReflectionUn.h"
#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/forms/SThreadFormUn.h"
#include "viewer3d/project/HcProject3D.h"

#include "engine3d/files/SLayers.h"
#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"
#include "engine3d/model/SThreads.h"
#include "engine3d/scene/SClasses3D.h"
#include "engine3d/scene/SSurfaces3D.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/threads/GuiThread.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

constexpr char kErrorCaption[] = "Halcyte3D";

bool InGuiThread()
{
    return QCoreApplication::instance() != nullptr && QThread::currentThread() == QCoreApplication::instance()->thread();
}

std::string PropertiesCaption(TSCustomConstruction3D* Construction)
{
    return (Construction ? Construction->Name() : std::string()) + " : Properties";
}

std::string LawName(TSCustomReflectionLaw* Law)
{
    return Law ? Law->Name() : std::string(kNoReflectionLaw);
}

// Opens FileName's keeper read-only; nullptr when no reader takes it.
std::unique_ptr<TSFileLayerKeeper> OpenKeeper(const std::string& FileName)
{
    std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(nullptr, FileName));
    if (keeper)
        keeper->Open(FileName, 3, 0, true);
    return keeper;
}

// The node channel view of a surface.
TSNodeChannel ChannelOf(TSSurface3D* Surface, std::int32_t Channel)
{
    TSNodeChannel c;
    c.Nodes = Surface->NodeArray();
    c.RowBytes = Surface->RowStride();
    c.XCount = Surface->Width();
    c.YCount = Surface->Height();
    c.Channel = Channel;
    c.NodeFloats = std::int32_t(sizeof(TSSurfaceNode) / sizeof(float));
    return c;
}

}  // namespace

// ---------------------------------------------------------------------------
// Plain decisions

TSSurfaceApplyPlan PlanSurfaceApply(std::int32_t GridWidth, std::int32_t GridHeight, std::int32_t XCount,
                                    std::int32_t YCount, const std::array<bool, 6>& Same,
                                    const std::array<bool, 6>& Stale)
{
    TSSurfaceApplyPlan plan;
    plan.Dimensions = XCount != GridWidth || YCount != GridHeight;
    plan.Changed = plan.Dimensions;
    for (std::size_t i = 0; i < 6; ++i) {
        plan.Due[i] = plan.Dimensions || !Same[i] || Stale[i];
        plan.Changed = plan.Changed || plan.Due[i];
    }
    return plan;
}

bool SurfaceGridFits(std::int32_t XCount, std::int32_t YCount)
{
    if (XCount < 0 || YCount < 0)
        return false;
    const auto padded = [](std::int64_t N) { return (N + 15) / 16 * 16; };
    const std::int64_t stride = padded(XCount) * std::int64_t(sizeof(TSSurfaceNode));
    const std::int64_t rows = padded(YCount);
    return stride == 0 || rows <= TSSurface3D::MaxArraySize / stride;
}

// ---------------------------------------------------------------------------
// TSSurface3D_Depository

constinit const TSClassInfo TSSurface3D_Depository::ClassInfo{
    "TSSurface3D_Depository", &TSDepositoryCustomConstruction3D::ClassInfo, &TSNewObject<TSSurface3D_Depository>};

void TSSurface3D_Depository::Initialize()
{
    TSDepositoryCustomConstruction3D::Initialize();
    XCount = 0;
    YCount = 0;
    Channels = {};
    ReflectionNote.clear();
    Attenuation[0] = 1.0;
    Attenuation[1] = 0.0;
    Attenuation[2] = 0.0;
    State = TSSurfaceWindowState{};
    m_law = nullptr;
    m_form = nullptr;
    m_busy = false;
    m_stale = {};
    m_apply = std::make_shared<ApplyState>();
    m_apply->Owner = this;
}

TSSurface3D_Depository::~TSSurface3D_Depository()
{
    Finalize();
    // A running Apply stops and ends before anything it uses goes.
    StopApply();
    {
        std::lock_guard guard(m_apply->Lock);
        m_apply->Owner = nullptr;
    }
    FreeForm();
    delete std::exchange(m_law, nullptr);
}

TSSurface3D* TSSurface3D_Depository::Surface() const
{
    return dynamic_cast<TSSurface3D*>(Construction());
}

void TSSurface3D_Depository::SetReflectionLaw(TSCustomReflectionLaw* Law)
{
    if (Law == m_law)
        return;
    delete std::exchange(m_law, Law);
}

void TSSurface3D_Depository::FreeForm()
{
    TSSurface3DForm* form = m_form;
    if (form != nullptr && form->WorkingCopy() != this)
        delete form;  // its destructor clears m_form
    m_form = nullptr;
}

void TSSurface3D_Depository::InitRecord(void* Data)
{
    if (Data != nullptr) {
        const TSSurfaceRecord fresh;
        std::memcpy(Data, &fresh, sizeof fresh);
    }
}

bool TSSurface3D_Depository::CopyRecord(void* Dest, const void* Source)
{
    if (Dest == nullptr || Source == nullptr || Dest == Source)
        return false;
    if (std::memcmp(Dest, Source, 16) == 0)
        return false;
    std::memcpy(Dest, Source, 16);
    return true;
}

void TSSurface3D_Depository::ApplyRecord()
{
    TSSurface3D* surface = Surface();
    const void* data = surface ? GetRecordData(CurrentRecord()) : nullptr;
    if (data == nullptr)
        return;  // no record: the surface keeps its settings
    TSSurfaceRecord record;
    std::memcpy(&record, data, sizeof record);
    TSSurfaceDrawSettings settings;
    settings.Enabled = record.Enabled != 0;
    settings.Visible = record.Visible != 0;
    settings.Smooth = record.Smooth != 0;
    settings.Lighting = record.Lighting;
    settings.DrawMode = record.DrawMode;
    settings.GridStep = record.GridStep;
    surface->ApplyDrawSettings(&settings);
}

void TSSurface3D_Depository::SetConstruction(TSCustomConstruction3D* Value)
{
    if (Value != nullptr && dynamic_cast<TSSurface3D*>(Value) == nullptr)
        Value = nullptr;
    if (Value != Construction())
        StopApply();
    TSDepositoryCustomConstruction3D::SetConstruction(Value);
    if (m_form != nullptr && m_form->WorkingCopy() != this)
        m_form->Component()->SetConstruction(Value);
}

void TSSurface3D_Depository::Assign(TPersistent* Source)
{
    if (Source == nullptr)
        return;
    TSDepositoryCustomConstruction3D::Assign(Source);
    auto* other = dynamic_cast<TSSurface3D_Depository*>(Source);
    if (other == nullptr || other == this)
        return;
    XCount = other->XCount;
    YCount = other->YCount;
    Channels = other->Channels;
    ReflectionNote = other->ReflectionNote;
    SetReflectionLaw(other->m_law ? dynamic_cast<TSCustomReflectionLaw*>(other->m_law->Clone(nullptr)) : nullptr);
    std::copy(std::begin(other->Attenuation), std::end(other->Attenuation), std::begin(Attenuation));
    State = other->State;
}

bool TSSurface3D_Depository::SameChannel(std::int32_t I, const TSSurface3D_Depository* Other) const
{
    if (Other == nullptr || I < 0 || I >= ChannelCount)
        return false;
    const TSSurfaceChannel& a = Channels[std::size_t(I)];
    const TSSurfaceChannel& b = Other->Channels[std::size_t(I)];
    if (a.FromFile != b.FromFile || a.Max != b.Max || a.Min != b.Min)
        return false;
    return a.FromFile == 0 || (a.FileName == b.FileName && a.LayerIndex == b.LayerIndex);
}

void TSSurface3D_Depository::CopyChannelFrom(std::int32_t I, const TSSurface3D_Depository* Source)
{
    Channels[std::size_t(I)] = Source->Channels[std::size_t(I)];
}

void TSSurface3D_Depository::Progress(TSThread* Thread, const std::string& What, std::int32_t Channel,
                                      std::int32_t Rows)
{
    if (Thread == nullptr)
        return;
    TSSurface3D* surface = Surface();
    Thread->SetMessage((surface ? surface->Name() : std::string()) + " : " + What + " ( Layer " +
                       std::to_string(Channel) + " )");
    Thread->SetRange(0, Rows, 0);
}

void TSSurface3D_Depository::LinearFill(TSThread* Thread, std::int32_t Channel)
{
    TSSurface3D* surface = Surface();
    if (surface == nullptr || Channel < 0 || Channel >= ChannelCount || surface->IsEmpty())
        return;
    Progress(Thread, "Linear fill", Channel, surface->Height());
    const TSSurfaceChannel& c = Channels[std::size_t(Channel)];
    LinearFillChannel(ChannelOf(surface, Channel), c.Min, c.Max, [Thread] {
        if (Thread)
            Thread->Step(1);
    });
}

void TSSurface3D_Depository::ResampleLayer(TSThread* Thread, TSLayer* Layer, std::int32_t Channel)
{
    TSSurface3D* surface = Surface();
    if (surface == nullptr || Layer == nullptr || Channel < 0 || Channel >= ChannelCount || surface->IsEmpty())
        return;
    const std::int32_t w = Layer->Width();
    const std::int32_t h = Layer->Height();
    if (w < 1 || h < 1)
        return;
    if (Thread)
        Thread->SetRange(0, surface->Height(), 0);
    ResampleChannel(
        ChannelOf(surface, Channel), w, h,
        [Layer, w](std::int32_t Row, float* Buffer) { Layer->ReadRow(Row, Buffer, w, 4, stFloat32); },
        [Thread] {
            if (Thread)
                Thread->Step(1);
        });
}

void TSSurface3D_Depository::MinMaxCorrection(TSThread* Thread, std::int32_t Channel)
{
    TSSurface3D* surface = Surface();
    if (surface == nullptr || Channel < 0 || Channel >= ChannelCount || surface->IsEmpty())
        return;
    Progress(Thread, "MinMax correction", Channel, 2 * surface->Height());
    const TSSurfaceChannel& c = Channels[std::size_t(Channel)];
    MinMaxChannel(ChannelOf(surface, Channel), c.Min, c.Max, [Thread] {
        if (Thread)
            Thread->Step(1);
    });
}

void TSSurface3D_Depository::TranslateLayer(TSThread* Thread, std::int32_t Channel)
{
    if (Channel < 0 || Channel >= ChannelCount)
        return;
    const TSSurfaceChannel& c = Channels[std::size_t(Channel)];
    std::unique_ptr<TSFileLayerKeeper> keeper;
    if (c.FromFile != 0 && c.LayerIndex >= 0)
        keeper.reset(CreateForFile(nullptr, c.FileName));
    if (!keeper) {
        LinearFill(Thread, Channel);
        return;
    }
    try {
        keeper->Open(c.FileName, 3, 0, true);
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception&) {
        return;  // an unopened file leaves the channel as it was
    }
    TSLayer* layer = c.LayerIndex < keeper->Count() ? keeper->GetLayer(c.LayerIndex) : nullptr;
    if (layer == nullptr || keeper->Closed())
        return;
    layer->BeginUpdate();
    try {
        Progress(Thread, "Translation", Channel, Surface() ? Surface()->Height() : 0);
        ResampleLayer(Thread, layer, Channel);
        MinMaxCorrection(Thread, Channel);
    } catch (...) {
        layer->EndUpdate();
        throw;
    }
    layer->EndUpdate();
}

void TSSurface3D_Depository::RefreshLayerText(std::int32_t Channel)
{
    if (Channel < 0 || Channel >= ChannelCount)
        return;
    TSSurfaceChannel& c = Channels[std::size_t(Channel)];
    if (c.FromFile == 0)
        return;
    try {
        std::unique_ptr<TSFileLayerKeeper> keeper = OpenKeeper(c.FileName);
        if (!keeper)
            return;
        c.LayerIndex = std::clamp(c.LayerIndex, 0, std::max(0, keeper->Count() - 1));
        TSLayer* layer = keeper->Count() > 0 ? keeper->GetLayer(c.LayerIndex) : nullptr;
        if (layer != nullptr)
            layer->GetDescription(c.LayerDescription);
        else
            c.LayerDescription = kNoLayer;
    } catch (const std::exception&) {
        c.LayerDescription = kNoLayer;
    }
}

void TSSurface3D_Depository::ApplySettings(TSThread* Thread, TSSurface3D_Depository* Source)
{
    TSSurface3D* surface = Surface();
    if (surface == nullptr || Source == nullptr || Source == this)
        return;
    InChange(*surface, true, [&] {
        XCount = Source->XCount;
        YCount = Source->YCount;
        std::array<bool, 6> same{};
        for (std::int32_t i = 0; i < ChannelCount; ++i)
            same[std::size_t(i)] = SameChannel(i, Source);
        const TSSurfaceApplyPlan plan =
            PlanSurfaceApply(surface->Width(), surface->Height(), XCount, YCount, same, m_stale);
        if (plan.Changed)
            surface->BeginUpdate();
        try {
            if (plan.Dimensions) {
                if (Thread)
                    Thread->SetMessage(surface->Name() + " : Change dimentions...");
                surface->SetGridSize(XCount, YCount);
            }
            // Every due channel counts as unfinished until it is computed, so
            // that an Apply broken off computes it again.
            for (std::size_t i = 0; i < 6; ++i)
                if (plan.Due[i]) {
                    CopyChannelFrom(std::int32_t(i), Source);
                    m_stale[i] = true;
                }
            for (std::int32_t i = 0; i < ChannelCount; ++i)
                if (plan.Due[std::size_t(i)]) {
                    TranslateLayer(Thread, i);
                    m_stale[std::size_t(i)] = false;
                }
            if (Thread)
                Thread->SetMessage(surface->Name() + " : Set Additional Settings...");
            ReflectionNote = Source->ReflectionNote;
            SetReflectionLaw(Source->m_law ? dynamic_cast<TSCustomReflectionLaw*>(Source->m_law->Clone(nullptr))
                                           : nullptr);
            surface->SetReflectionLaw(m_law);
            std::copy(std::begin(Source->Attenuation), std::end(Source->Attenuation), std::begin(Attenuation));
            surface->SetAttenuation(Attenuation[0], Attenuation[1], Attenuation[2]);
            if (CopyFrom(Source) || plan.Changed)
                surface->Events.Notify(surface, 4100, 0);
            State = Source->State;
        } catch (...) {
            if (plan.Changed)
                surface->EndUpdate();
            throw;
        }
        if (plan.Changed)
            surface->EndUpdate();
    });
}

bool TSSurface3D_Depository::ApplyRunning() const
{
    std::lock_guard guard(m_apply->Lock);
    return m_apply->Running;
}

bool TSSurface3D_Depository::StartApply(TSSurface3D_Depository* Source)
{
    if (Source == nullptr || Busy() || Source->Busy() || Surface() == nullptr)
        return false;
    {
        std::lock_guard guard(m_apply->Lock);
        if (m_apply->Running)
            return false;
        m_apply->Running = true;
        m_apply->Thread = nullptr;
    }
    SetBusy(true);
    Source->SetBusy(true);
    auto params = std::make_unique<TSThreadParams>();
    TSSurface3D_Depository* source = Source;
    params->SetData(&source, sizeof source);
    TSThreadForm* form = nullptr;
    try {
        form = RunInThreadForm("Apply changes ...", std::move(params), false, {},
                               TSThreadJob::Of<&TSSurface3D_Depository::ApplyJob>(this));
    } catch (...) {
        form = nullptr;
    }
    if (form == nullptr) {
        {
            std::lock_guard guard(m_apply->Lock);
            m_apply->Running = false;
        }
        m_apply->Ended.notify_all();
        SetBusy(false);
        Source->SetBusy(false);
        return false;
    }
    return true;
}

void TSSurface3D_Depository::ApplyJob(TSThread* Thread, TSThreadParams* Params)
{
    TSSurface3D_Depository* source = nullptr;
    if (Params == nullptr || Params->GetData(&source, sizeof source) != std::int32_t(sizeof source))
        source = nullptr;
    std::shared_ptr<ApplyState> state = m_apply;
    const auto finish = [&state, Thread](std::string Error, bool Aborted) {
        // The end reaches the GUI thread; the depository may be gone by then.
        std::weak_ptr<ApplyState> weak = state;
        plat::PostToGuiThread(
            [weak, Error, Aborted] {
                if (std::shared_ptr<ApplyState> s = weak.lock()) {
                    TSSurface3D_Depository* owner = nullptr;
                    {
                        std::lock_guard guard(s->Lock);
                        owner = s->Owner;
                    }
                    if (owner != nullptr)
                        owner->ApplyEnded(Error, Aborted);
                }
            });
        {
            std::lock_guard guard(state->Lock);
            state->Running = false;
            state->Thread = nullptr;
        }
        state->Ended.notify_all();
        (void)Thread;
    };
    if (source == nullptr) {
        finish({}, false);
        return;
    }
    {
        std::lock_guard guard(state->Lock);
        state->Thread = Thread;
    }
    try {
        ApplySettings(Thread, source);
    } catch (const EAbort&) {
        finish({}, true);
        throw;
    } catch (const std::exception& e) {
        finish(e.what(), false);
        throw;
    }
    finish({}, false);
}

void TSSurface3D_Depository::StopApply()
{
    std::shared_ptr<ApplyState> state = m_apply;
    if (!state)
        return;
    std::unique_lock lock(state->Lock);
    while (state->Running) {
        if (state->Thread != nullptr)
            state->Thread->RequestTerminate();
        // The worker may not have taken the job yet: ask again until it ends.
        state->Ended.wait_for(lock, std::chrono::milliseconds(20));
    }
}

void TSSurface3D_Depository::ApplyEnded(const std::string& Error, bool Aborted)
{
    SetBusy(false);
    if (m_form != nullptr && m_form->WorkingCopy() != this) {
        m_form->WorkingCopy()->SetBusy(false);
        m_form->JobEnded(Error, Aborted);
    } else if (!Error.empty() && QApplication::instance() != nullptr) {
        plat::MessageBox(plat::WindowHandle(), Error, kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
    }
}

void TSSurface3D_Depository::CreateForm(bool Visible)
{
    m_form = new TSSurface3DForm();
    m_form->SetDepository(this);
    m_form->Component()->SetConstruction(Construction());
    m_form->WorkingCopy()->Assign(this);
    m_form->Caption()->SetText(PropertiesCaption(Construction()));
    m_form->RestoreFormState(Visible);
}

std::int32_t TSSurface3D_Depository::Edit(TSParam Param)
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

void TSSurface3D_Depository::ConstructionEvent(TObject* Sender, std::int32_t Code, TSParam)
{
    if (Code == ecDestroying && Sender != nullptr) {
        // The surface goes: a running Apply on it ends first.
        StopApply();
        return;
    }
    if (m_form == nullptr || Construction() == nullptr || Code != ecChanged || m_form->WorkingCopy() == this)
        return;
    const std::string text = PropertiesCaption(Construction());
    QPointer<QWidget> form(m_form);
    auto rename = [form, text] {
        if (form)
            static_cast<TSSurface3DForm*>(form.data())->Caption()->SetText(text);
    };
    if (InGuiThread())
        rename();
    else
        QMetaObject::invokeMethod(m_form, rename, Qt::QueuedConnection);
}

void TSSurface3D_Depository::DrawSystemEvent(TObject*, std::int32_t Code, TSParam)
{
    if (m_form == nullptr || (Code != ecDestroying && Code != ecChanged) || m_form->WorkingCopy() != this)
        return;
    QPointer<QWidget> form(m_form);
    auto refresh = [form] {
        if (form)
            static_cast<TSSurface3DForm*>(form.data())->Component()->RefreshAll();
    };
    if (InGuiThread())
        refresh();
    else
        QMetaObject::invokeMethod(m_form, refresh, Qt::QueuedConnection);
}

std::int32_t TSSurface3D_Depository::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    if (Busy())
        throw EInvalidOperation(ObjectErrorText(this, sCantSave, sBusy));
    std::int32_t bytes = TSDepositoryCustomConstruction3D::Save(Stream);
    bytes += Stream->WriteInt32(XCount);
    bytes += Stream->WriteInt32(YCount);
    for (const TSSurfaceChannel& c : Channels) {
        bytes += Stream->WriteInt32(c.FromFile != 0 ? 1 : 0);
        Stream->Write(&c.Max, 8);
        Stream->Write(&c.Min, 8);
        bytes += 16;
        bytes += Stream->WriteInt32(c.LayerIndex);
        bytes += WriteStreamString(Stream, c.FileName);
    }
    bytes += WriteStreamString(Stream, ReflectionNote);
    bytes += Stream->WriteObject(m_law);
    Stream->Write(Attenuation, 24);
    bytes += 24;
    if (m_form != nullptr && m_form->WorkingCopy() != this && InGuiThread()) {
        State.Left = m_form->x();
        State.Top = m_form->y();
        State.WindowOrder = WindowStackOrder(m_form);
    } else if (m_form == nullptr) {
        State.WindowOrder = 0;
    }
    const std::int32_t fields[8] = {State.Left,         State.Top,           State.Pinned ? 1 : 0,
                                    State.Page,         State.ChannelIndex,  State.CurrentDrawing,
                                    State.CurrentRecord, State.WindowOrder};
    Stream->Write(fields, sizeof fields);
    return bytes + 32;
}

std::int32_t TSSurface3D_Depository::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    if (Busy())
        throw EInvalidOperation(ObjectErrorText(this, sCantLoad, sBusy));
    const auto invalid = [this] { return EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue)); };
    FreeForm();
    std::int32_t bytes = TSDepositoryCustomConstruction3D::Load(Stream);
    XCount = Stream->ReadInt32();
    YCount = Stream->ReadInt32();
    bytes += 8;
    if (XCount < 0 || YCount < 0 || !SurfaceGridFits(XCount, YCount))
        throw invalid();
    for (TSSurfaceChannel& c : Channels) {
        c.FromFile = Stream->ReadInt32() != 0 ? 1 : 0;
        Stream->Read(&c.Max, 8);
        Stream->Read(&c.Min, 8);
        c.LayerIndex = Stream->ReadInt32();
        bytes += 24 + ReadStreamString(Stream, c.FileName);
        c.LayerDescription.clear();
        if (c.LayerIndex < 0)
            throw invalid();
    }
    bytes += ReadStreamString(Stream, ReflectionNote);
    SetReflectionLaw(nullptr);
    TSObject* law = nullptr;
    bytes += Stream->ReadObject(law, &TSSimpleDiffuseReflection::ClassInfo);
    auto* reflection = dynamic_cast<TSCustomReflectionLaw*>(law);
    if (reflection == nullptr)
        delete law;
    SetReflectionLaw(reflection);
    Stream->Read(Attenuation, 24);
    std::int32_t fields[8] = {};
    Stream->Read(fields, sizeof fields);
    State = {fields[0], fields[1], fields[2] != 0 ? 1 : 0, fields[3], fields[4], fields[5], fields[6], fields[7]};
    m_stale = {};
    return bytes + 24 + 32;
}

std::int32_t TSSurface3D_Depository::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::int32_t result = std::max(0, TSDepositoryCustomConstruction3D::Link(Stream));
    if (m_law != nullptr)
        result += std::max(0, m_law->Link(Stream));
    auto* project = dynamic_cast<THalcyte3DProject*>(Stream->GetProject());
    if (project == nullptr)
        return result;
    for (TSSurfaceChannel& c : Channels) {
        bool found = false;
        try {
            if (c.FromFile != 0 && !c.FileName.empty() && project->RelocateFile(c.FileName, 0)) {
                if (std::unique_ptr<TSFileLayerKeeper> keeper = OpenKeeper(c.FileName); keeper && keeper->Count() > 0) {
                    c.LayerIndex = std::clamp(c.LayerIndex, 0, keeper->Count() - 1);
                    if (TSLayer* layer = keeper->GetLayer(c.LayerIndex)) {
                        layer->GetDescription(c.LayerDescription);
                        found = true;
                    }
                }
            }
        } catch (const std::exception&) {
            found = false;
        }
        if (!found) {
            c.FromFile = 0;
            c.FileName.clear();
            c.LayerDescription = kNoLayer;
        }
    }
    if (TSSurface3D* surface = Surface()) {
        TSThread* thread = Stream->GetThread();
        if (thread != nullptr)
            thread->SetMessage(surface->Name() + " : Change dimentions...");
        TSEventManager& events = surface->Events;
        const bool wasDisabled = events.IsDisabled();
        events.SetDisabled(true);
        surface->BeginUpdate();
        try {
            surface->SetGridSize(XCount, YCount);
            for (std::int32_t i = 0; i < ChannelCount; ++i)
                TranslateLayer(thread, i);
            surface->SetReflectionLaw(m_law);
            surface->SetAttenuation(Attenuation[0], Attenuation[1], Attenuation[2]);
        } catch (...) {
            surface->EndUpdate();
            events.SetDisabled(wasDisabled);
            throw;
        }
        surface->EndUpdate();
        events.SetDisabled(wasDisabled);
    }
    if (State.WindowOrder != 0 && m_form == nullptr && Construction() != nullptr && InGuiThread()) {
        CreateForm(false);
        project->RegisterWindow(m_form, State.WindowOrder);
    }
    return result;
}

// ---------------------------------------------------------------------------
// TSSurface3DForm

namespace {

QLineEdit* NumberEdit(QWidget* Parent, const char* Name)
{
    auto* edit = new QLineEdit(Parent);
    edit->setObjectName(Name);
    edit->setFixedWidth(96);
    return edit;
}

}  // namespace

TSSurface3DForm::TSSurface3DForm() : QWidget(nullptr, Qt::Dialog)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->setSizeConstraint(QLayout::SetFixedSize);
    m_caption = new TSFlatCaption(this);
    m_caption->ShowButtons({fccClose, fccScreenPin});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);
    m_pages = new QTabWidget(this);
    m_pages->setObjectName("PageControl1");
    m_pages->setDocumentMode(true);
    column->addWidget(m_pages);

    // General
    auto* general = new QWidget();
    auto* g = new QGridLayout(general);
    auto* dims = new QGroupBox(" Dimention ", general);
    dims->setObjectName("DimentonBox");
    auto* dimsForm = new QFormLayout(dims);
    m_xEdit = NumberEdit(dims, "XEdit");
    m_yEdit = NumberEdit(dims, "YEdit");
    dimsForm->addRow("X Vortex Count", m_xEdit);
    dimsForm->addRow("Y Vortex Count", m_yEdit);
    g->addWidget(dims, 0, 0);
    m_layerList = new QListWidget(general);
    m_layerList->setObjectName("LayerList");
    for (const char* name : {"X Layer", "Y Layer", "Z Layer", "Red Layer", "Green Layer", "Blue Layer"})
        m_layerList->addItem(name);
    m_layerList->setFixedSize(120, 110);
    g->addWidget(m_layerList, 1, 0, 2, 1);
    auto* fill = new QGroupBox(" Fill Type ", general);
    fill->setObjectName("FillBox");
    auto* fillRow = new QHBoxLayout(fill);
    m_fillBox = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(i == 0 ? "Linear" : "From file", fill);
        m_fillBox->addButton(radio, i);
        fillRow->addWidget(radio);
    }
    g->addWidget(fill, 0, 1);
    auto* channel = new QGridLayout();
    m_maxEdit = NumberEdit(general, "MaxEdit");
    m_minEdit = NumberEdit(general, "MinEdit");
    channel->addWidget(new QLabel("Max", general), 0, 0);
    channel->addWidget(m_maxEdit, 0, 1);
    channel->addWidget(new QLabel("Min", general), 1, 0);
    channel->addWidget(m_minEdit, 1, 1);
    m_fileText = new QLineEdit(general);
    m_fileText->setObjectName("FileText");
    m_fileText->setReadOnly(true);
    m_fileText->setMinimumWidth(220);
    m_fileBtn = new QPushButton("...", general);
    m_fileBtn->setObjectName("FileBtn");
    m_fileBtn->setFixedWidth(28);
    m_layerText = new QLineEdit(general);
    m_layerText->setObjectName("LayerText");
    m_layerText->setReadOnly(true);
    m_layerBtn = new QPushButton("...", general);
    m_layerBtn->setObjectName("LayerBtn");
    m_layerBtn->setFixedWidth(28);
    channel->addWidget(new QLabel("File", general), 2, 0);
    channel->addWidget(m_fileText, 2, 1);
    channel->addWidget(m_fileBtn, 2, 2);
    channel->addWidget(new QLabel("Layer", general), 3, 0);
    channel->addWidget(m_layerText, 3, 1);
    channel->addWidget(m_layerBtn, 3, 2);
    g->addLayout(channel, 1, 1);
    g->setRowStretch(2, 1);
    m_pages->addTab(general, "General");

    // Drawing
    auto* drawing = new QWidget();
    auto* d = new QHBoxLayout(drawing);
    auto* settings = new QVBoxLayout();
    m_enabledBox = new QCheckBox("Enabled", drawing);
    m_visibleBox = new QCheckBox("Visible", drawing);
    m_smoothBox = new QCheckBox("Smooth", drawing);
    m_enabledBox->setObjectName("EnabledBox");
    m_visibleBox->setObjectName("VisibleBox");
    m_smoothBox->setObjectName("SmoothBox");
    settings->addWidget(m_enabledBox);
    settings->addWidget(m_visibleBox);
    settings->addWidget(m_smoothBox);
    auto* drawForm = new QFormLayout();
    m_lightBox = new QComboBox(drawing);
    m_lightBox->setObjectName("LightBox");
    m_lightBox->addItems({"No light", "Scene light"});
    m_drawBox = new QComboBox(drawing);
    m_drawBox->setObjectName("DrawBox");
    m_drawBox->addItems({"Points", "Lines", "Triangles"});
    m_stepEdit = NumberEdit(drawing, "StepEdit");
    drawForm->addRow("Lighting", m_lightBox);
    drawForm->addRow("Drawing", m_drawBox);
    drawForm->addRow("Step", m_stepEdit);
    settings->addLayout(drawForm);
    settings->addStretch(1);
    d->addLayout(settings);
    m_component = new TSDepositoryComponent(drawing);
    m_component->setObjectName("SDepositoryComponent1");
    TSDepositoryMetrics metrics = m_component->Metrics();
    metrics.BevelPos = 135;
    m_component->SetMetrics(metrics);
    m_component->setFixedSize(256, 128);
    d->addWidget(m_component, 0, Qt::AlignTop);
    m_pages->addTab(drawing, "Drawing");

    // Additional
    auto* additional = new QWidget();
    auto* a = new QHBoxLayout(additional);
    auto* attenuation = new QGroupBox(" Attenuation ", additional);
    attenuation->setObjectName("AttenuationBox");
    auto* aForm = new QFormLayout(attenuation);
    const char* aNames[3] = {"AEdit1", "AEdit2", "AEdit3"};
    const char* aCaptions[3] = {"Constant", "Linear", "Quadratic"};
    for (int i = 0; i < 3; ++i) {
        m_aEdits[i] = NumberEdit(attenuation, aNames[i]);
        aForm->addRow(aCaptions[i], m_aEdits[i]);
    }
    a->addWidget(attenuation, 0, Qt::AlignTop);
    auto* reflection = new QGroupBox("Reflection", additional);
    reflection->setObjectName("ReflectionBox");
    auto* r = new QGridLayout(reflection);
    m_reflectionEdit = new QLineEdit(reflection);
    m_reflectionEdit->setObjectName("ReflectionEdit");
    m_reflectionMemo = new QPlainTextEdit(reflection);
    m_reflectionMemo->setObjectName("ReflectionMemo");
    m_reflectionMemo->setFixedHeight(60);
    m_changeBtn = new QPushButton("Change", reflection);
    m_propertiesBtn = new QPushButton("Properties", reflection);
    r->addWidget(m_reflectionEdit, 0, 0, 1, 2);
    r->addWidget(m_reflectionMemo, 1, 0, 1, 2);
    r->addWidget(m_changeBtn, 2, 0);
    r->addWidget(m_propertiesBtn, 2, 1);
    a->addWidget(reflection);
    m_pages->addTab(additional, "Additional");

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

    for (QLineEdit* e : {m_xEdit, m_yEdit, m_stepEdit})
        FilterIntegerKeys(e, 7);
    for (QLineEdit* e : {m_maxEdit, m_minEdit, m_aEdits[0], m_aEdits[1], m_aEdits[2]})
        FilterRealKeys(e);
    for (QLineEdit* e : {m_xEdit, m_yEdit, m_stepEdit})
        connect(e, &QLineEdit::textChanged, this, [this, e] { IntegerEdited(e); });
    for (QLineEdit* e : {m_maxEdit, m_minEdit, m_aEdits[0], m_aEdits[1], m_aEdits[2]})
        connect(e, &QLineEdit::textChanged, this, [this, e] { RealEdited(e); });
    connect(m_layerList, &QListWidget::currentRowChanged, this, [this](int Row) {
        if (Ignoring() || Row < 0)
            return;
        m_workingCopy->State.ChannelIndex = Row;
        ShowGeneral();
    });
    connect(m_fillBox, &QButtonGroup::idClicked, this, [this](int Id) { FillChanged(Id); });
    connect(m_enabledBox, &QCheckBox::toggled, this, [this] { CheckChanged(m_enabledBox, 0); });
    connect(m_visibleBox, &QCheckBox::toggled, this, [this] { CheckChanged(m_visibleBox, 1); });
    connect(m_smoothBox, &QCheckBox::toggled, this, [this] { CheckChanged(m_smoothBox, 2); });
    connect(m_lightBox, &QComboBox::currentIndexChanged, this, [this](int Index) {
        if (Ignoring() || Index < 0)
            return;
        if (TSSurfaceRecord* record = CurrentRecord()) {
            record->Lighting = Index;
            Changed();
        }
    });
    connect(m_drawBox, &QComboBox::currentIndexChanged, this, [this](int Index) {
        if (Ignoring() || Index < 0)
            return;
        if (TSSurfaceRecord* record = CurrentRecord()) {
            record->DrawMode = Index + 1;
            Changed();
        }
    });
    connect(m_reflectionEdit, &QLineEdit::textEdited, this, [this](const QString& Text) {
        if (Ignoring())
            return;
        if (TSCustomReflectionLaw* law = m_workingCopy->ReflectionLaw())
            law->SetName(Text.toStdString());
        Changed();
    });
    connect(m_reflectionMemo, &QPlainTextEdit::textChanged, this, [this] {
        if (!Ignoring())
            Changed();
    });
    connect(m_fileBtn, &QPushButton::clicked, this, [this] { FileBtnClick(); });
    connect(m_layerBtn, &QPushButton::clicked, this, [this] { LayerBtnClick(); });
    connect(m_changeBtn, &QPushButton::clicked, this, [this] { ChangeBtnClick(); });
    connect(m_propertiesBtn, &QPushButton::clicked, this, [this] { PropertiesBtnClick(); });
    connect(m_resetBtn, &QPushButton::clicked, this, [this] { ResetBtnClick(); });
    connect(m_applyBtn, &QPushButton::clicked, this, [this] { ApplyBtnClick(); });
    connect(m_closeBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(); });

    m_workingCopy = TSObject::Create<TSSurface3D_Depository>(nullptr);
    m_workingCopy->SetForm(this);
    m_component->OnChange = [this] { Changed(); };
    m_component->OnCurrentRecordChange = [this] { ShowDrawing(); };
    m_component->SetDepository(m_workingCopy);
    adjustSize();  // the caption bar lays its text out at the final width
}

TSSurface3DForm::~TSSurface3DForm()
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

void TSSurface3DForm::Detach()
{
    TSSurface3D_Depository* depository = m_depository;
    if (depository == nullptr)
        return;
    m_depository = nullptr;
    depository->SetForm(nullptr);
    const TSSurfaceWindowState& from = m_workingCopy->State;
    TSSurfaceWindowState& to = depository->State;
    to.Left = from.Left;
    to.Top = from.Top;
    to.Pinned = from.Pinned;
    to.Page = from.Page;
    to.ChannelIndex = from.ChannelIndex;
    to.CurrentDrawing = from.CurrentDrawing;
    to.CurrentRecord = from.CurrentRecord;
}

bool TSSurface3DForm::Ignoring() const
{
    return m_updating != 0 || m_workingCopy == nullptr || m_workingCopy->Busy();
}

TSSurfaceChannel* TSSurface3DForm::CurrentChannel() const
{
    const std::int32_t i = m_workingCopy->State.ChannelIndex;
    return i >= 0 && i < TSSurface3D_Depository::ChannelCount ? &m_workingCopy->Channels[std::size_t(i)] : nullptr;
}

TSSurfaceRecord* TSSurface3DForm::CurrentRecord() const
{
    return static_cast<TSSurfaceRecord*>(m_workingCopy->GetRecordData(m_component->CurrentRecord()));
}

void TSSurface3DForm::Changed()
{
    m_applyBtn->setEnabled(true);
}

void TSSurface3DForm::RestoreFormState(bool Visible)
{
    const TSSurfaceWindowState& state = m_workingCopy->State;
    {
        TSFlagScope updating(m_updating);
        m_pages->setCurrentIndex(std::clamp(state.Page, 0, 2));
        m_caption->SetPinned(state.Pinned != 0);
        m_component->RefreshAll();
        m_component->SetCurrentDrawing(state.CurrentDrawing);
        m_component->SetCurrentRecord(state.CurrentRecord);
    }
    ShowAll();
    PlaceWindow(this, state.Left, state.Top, -1, -1, state.Pinned != 0, Visible);
}

void TSSurface3DForm::ShowAll()
{
    ShowGeneral();
    ShowDrawing();
    ShowAdditional();
}

void TSSurface3DForm::ShowGeneral()
{
    TSFlagScope updating(m_updating);
    m_xEdit->setText(QString::number(m_workingCopy->XCount));
    m_yEdit->setText(QString::number(m_workingCopy->YCount));
    m_layerList->setCurrentRow(std::clamp(m_workingCopy->State.ChannelIndex, 0, 5));
    const TSSurfaceChannel* c = CurrentChannel();
    if (c == nullptr)
        return;
    m_fillBox->button(c->FromFile != 0 ? 1 : 0)->setChecked(true);
    m_maxEdit->setText(QString::fromStdString(FormatReal(c->Max, 12, 6)));
    m_minEdit->setText(QString::fromStdString(FormatReal(c->Min, 12, 6)));
    m_fileText->setText(QString::fromStdString(c->FileName));
    m_layerText->setText(QString::fromStdString(c->LayerDescription));
    m_fileBtn->setEnabled(c->FromFile != 0);
    m_layerBtn->setEnabled(c->FromFile != 0);
}

void TSSurface3DForm::ShowDrawing()
{
    TSFlagScope updating(m_updating);
    const TSSurfaceRecord* record = CurrentRecord();
    m_enabledBox->setChecked(record && record->Enabled != 0);
    m_visibleBox->setChecked(record && record->Visible != 0);
    m_smoothBox->setChecked(record && record->Smooth != 0);
    m_lightBox->setCurrentIndex(record ? std::clamp(record->Lighting, 0, 1) : 0);
    m_drawBox->setCurrentIndex(record ? std::clamp(record->DrawMode - 1, 0, 2) : 0);
    m_stepEdit->setText(record ? QString::number(record->GridStep) : QString("0"));
}

void TSSurface3DForm::ShowAdditional()
{
    TSFlagScope updating(m_updating);
    for (int i = 0; i < 3; ++i)
        m_aEdits[i]->setText(QString::fromStdString(FormatReal(m_workingCopy->Attenuation[i], 12, 6)));
    m_reflectionEdit->setText(QString::fromStdString(LawName(m_workingCopy->ReflectionLaw())));
    m_reflectionMemo->setPlainText(QString::fromStdString(m_workingCopy->ReflectionNote));
}

void TSSurface3DForm::IntegerEdited(QLineEdit* Edit)
{
    if (Ignoring())
        return;
    std::int32_t v = 0;
    if (!TryParseInteger(Edit->text().toStdString(), v))
        return;
    if (Edit == m_xEdit)
        m_workingCopy->XCount = v;
    else if (Edit == m_yEdit)
        m_workingCopy->YCount = v;
    else if (TSSurfaceRecord* record = CurrentRecord())
        record->GridStep = v;
    else
        return;
    Changed();
}

void TSSurface3DForm::RealEdited(QLineEdit* Edit)
{
    if (Ignoring())
        return;
    double v = 0;
    if (!TryParseReal(Edit->text().toStdString(), v))
        return;
    TSSurfaceChannel* c = CurrentChannel();
    if (Edit == m_maxEdit && c)
        c->Max = v;
    else if (Edit == m_minEdit && c)
        c->Min = v;
    else if (Edit == m_aEdits[0] || Edit == m_aEdits[1] || Edit == m_aEdits[2])
        m_workingCopy->Attenuation[Edit == m_aEdits[0] ? 0 : Edit == m_aEdits[1] ? 1 : 2] = v;
    else
        return;
    Changed();
}

void TSSurface3DForm::FillChanged(int Id)
{
    if (Ignoring())
        return;
    TSSurfaceChannel* c = CurrentChannel();
    if (c == nullptr)
        return;
    c->FromFile = Id == 1 ? 1 : 0;
    m_fileBtn->setEnabled(c->FromFile != 0);
    m_layerBtn->setEnabled(c->FromFile != 0);
    Changed();
}

void TSSurface3DForm::CheckChanged(QCheckBox* Box, std::size_t Offset)
{
    if (Ignoring())
        return;
    auto* record = reinterpret_cast<std::uint8_t*>(CurrentRecord());
    if (record == nullptr)
        return;
    const bool checked = Box->isChecked();
    if ((record[Offset] != 0) != checked) {
        record[Offset] = checked ? 1 : 0;
        Changed();
    }
}

void TSSurface3DForm::FileBtnClick()
{
    TSSurfaceChannel* c = CurrentChannel();
    if (Ignoring() || c == nullptr)
        return;
    plat::FileDialogRequest request;
    request.filter = "RDP files|*.rdp|All files|*.*";
    request.fileName = c->FileName;
    request.flags = plat::OFN_FILEMUSTEXIST | plat::OFN_PATHMUSTEXIST;
    const plat::FileDialogResult result = plat::FileDialog(plat::WindowHandle::Of(this), request);
    if (!result.ok || result.Path().empty())
        return;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(result.Path(), ec);
    c->FileName = ec ? result.Path() : full.lexically_normal().string();
    c->LayerIndex = 1;
    m_workingCopy->RefreshLayerText(m_workingCopy->State.ChannelIndex);
    {
        TSFlagScope updating(m_updating);
        m_fileText->setText(QString::fromStdString(c->FileName));
        m_layerText->setText(QString::fromStdString(c->LayerDescription));
    }
    Changed();
}

void TSSurface3DForm::LayerBtnClick()
{
    TSSurfaceChannel* c = CurrentChannel();
    if (Ignoring() || c == nullptr)
        return;
    std::int32_t index = c->LayerIndex;
    if (!TSLayerFinderForm::Execute(c->FileName, index))
        return;
    c->LayerIndex = index;
    m_workingCopy->RefreshLayerText(m_workingCopy->State.ChannelIndex);
    {
        TSFlagScope updating(m_updating);
        m_layerText->setText(QString::fromStdString(c->LayerDescription));
    }
    Changed();
}

void TSSurface3DForm::ChangeBtnClick()
{
    if (Ignoring())
        return;
    TSCustomReflectionLaw* old = m_workingCopy->ReflectionLaw();
    TSClass cls = old ? old->ClassType() : nullptr;
    if (!TSFinderReflectionForm::Execute(&TSSimpleDiffuseReflection::ClassInfo, cls))
        return;
    TSCustomReflectionLaw* law = nullptr;
    if (cls != nullptr) {
        try {
            law = dynamic_cast<TSCustomReflectionLaw*>(TSObject::Create(cls, nullptr));
        } catch (const std::exception&) {
            law = nullptr;
        }
    }
    m_workingCopy->SetReflectionLaw(law);
    {
        TSFlagScope updating(m_updating);
        m_reflectionEdit->setText(QString::fromStdString(LawName(law)));
    }
    Changed();
}

void TSSurface3DForm::LawEvent(TObject*, std::int32_t Code, TSParam)
{
    if (Code == 4100)
        Changed();
}

void TSSurface3DForm::PropertiesBtnClick()
{
    TSCustomReflectionLaw* law = m_workingCopy->ReflectionLaw();
    if (Ignoring() || law == nullptr)
        return;
    const TSEventHandler handler = TSEventHandler::Of<&TSSurface3DForm::LawEvent>(this);
    law->Events.Add(handler);
    TSCommandRecord record;
    record.Object = law;
    record.Command = icOpen;
    try {
        DispatchInterfaceCommand(law->ClassType(), record);
    } catch (...) {
        law->Events.Remove(handler);
        throw;
    }
    law->Events.Remove(handler);
}

void TSSurface3DForm::ApplyBtnClick()
{
    if (m_depository == nullptr || m_depository->Busy() || m_workingCopy->Busy())
        return;
    if (!SurfaceGridFits(m_workingCopy->XCount, m_workingCopy->YCount)) {
        plat::MessageBox(plat::WindowHandle::Of(this),
                         "A grid of " + std::to_string(m_workingCopy->XCount) + " x " +
                             std::to_string(m_workingCopy->YCount) + " nodes is too large for a surface.",
                         kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    m_applyBtn->setEnabled(false);
    m_component->SetLocked(true);
    if (!m_depository->StartApply(m_workingCopy)) {
        m_component->SetLocked(false);
        m_applyBtn->setEnabled(true);
    }
}

void TSSurface3DForm::JobEnded(const std::string& Error, bool Aborted)
{
    m_component->SetLocked(false);
    if (!Error.empty() || Aborted)
        m_applyBtn->setEnabled(true);
    if (!Error.empty())
        plat::MessageBox(plat::WindowHandle::Of(this), Error, kErrorCaption, plat::MB_OK | plat::MB_ICONERROR);
    if (!isVisible())
        CloseForGood();  // closed while the job ran
}

void TSSurface3DForm::ResetBtnClick()
{
    if (m_depository == nullptr || m_depository->Busy() || m_workingCopy->Busy())
        return;
    const std::int32_t page = m_workingCopy->State.Page;
    const std::int32_t channel = m_workingCopy->State.ChannelIndex;
    m_workingCopy->Assign(m_depository);
    m_workingCopy->State.Page = page;
    m_workingCopy->State.ChannelIndex = channel;
    {
        TSFlagScope updating(m_updating);
        m_component->RefreshAll();
    }
    ShowAll();
    m_applyBtn->setEnabled(false);
}

void TSSurface3DForm::CloseBtnClick()
{
    close();
}

void TSSurface3DForm::closeEvent(QCloseEvent* Event)
{
    if (m_depository != nullptr && m_depository->Busy()) {
        Event->ignore();
        hide();  // the Apply job closes the window when it ends
        return;
    }
    Event->accept();
    CloseForGood();
}

void TSSurface3DForm::CloseForGood()
{
    TSSurfaceWindowState& state = m_workingCopy->State;
    state.Left = x();
    state.Top = y();
    state.Pinned = m_caption->IsPinned() ? 1 : 0;
    state.CurrentDrawing = m_component->CurrentDrawing();
    state.CurrentRecord = m_component->CurrentRecord();
    state.Page = m_pages->currentIndex();
    Detach();
    hide();
    deleteLater();
}

void SSurface3DUnInitialization()
{
    RegisterRTDClass(&TSSurface3D_Depository::ClassInfo);
    RegisterDepositoryClass(&TSSurface3D_Depository::ClassInfo, &TSSurface3D::ClassInfo);
}

void SSurface3DUnFinalization()
{
    UnregisterDepositoryClass(&TSSurface3D_Depository::ClassInfo, &TSSurface3D::ClassInfo);
    UnregisterRTDClass(&TSSurface3D_Depository::ClassInfo);
}
