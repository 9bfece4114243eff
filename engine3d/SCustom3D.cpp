#include "SCustom3D.h"

#include "SRTDRegistry.h"

#include <StringTable.h>

#include <algorithm>
#include <atomic>

namespace {

const plat::StringEntry kStrings[] = {
    {sInvalidObject, "Invalid Object"},
};

std::atomic<TSObjectsList*> gLaws{nullptr};
std::atomic<TSObjectsList*> gDrawSystems{nullptr};
std::atomic<TSObjectsList*> gConstructions{nullptr};
std::atomic<bool> gStringsRegistered{false};

// The classes of the unit, in registration order.
const TSClass kClasses[] = {
    &TSCustomReflectionLaw::ClassInfo,  &TSCustomDrawSystem3D::ClassInfo,       &TSCustomObject3D::ClassInfo,
    &TSCustomConstruction3D::ClassInfo, &TSCustomProjectionSystem3D::ClassInfo, &TSCustomLightSystem3D::ClassInfo,
};

void StartList(std::atomic<TSObjectsList*>& List, const char* Name)
{
    if (List.load() != nullptr)
        return;
    auto* list = new TSObjectsList(Name);
    TSObjectsList* expected = nullptr;
    if (!List.compare_exchange_strong(expected, list))
        delete list;
}

void Join(std::atomic<TSObjectsList*>& List, TObject* Object)
{
    if (TSObjectsList* list = List.load())
        list->Add(Object);
}

void Leave(std::atomic<TSObjectsList*>& List, TObject* Object)
{
    if (TSObjectsList* list = List.load())
        list->Remove(Object);
}

// The setter pattern of the scene classes: under the lock, only on a change,
// the new value stored and the reaction run inside a change bracket that
// closes also when the reaction fails.
template <class Reaction>
void ChangeFlag(TSCustomChangeObject& Object, std::atomic<bool>& Flag, bool Value, Reaction&& React)
{
    TSObjectLock guard(Object);
    if (Flag.load() == Value)
        return;
    InChange(Object, false, [&] {
        Flag.store(Value);
        if (!Object.IsDestroying())
            React();
    });
}

}  // namespace

TSObjectsList* GlobalReflectionLawsList()
{
    return gLaws.load();
}

TSObjectsList* GlobalDrawSystemsList()
{
    return gDrawSystems.load();
}

TSObjectsList* GlobalConstructionsList()
{
    return gConstructions.load();
}

void SCustom3DInitialization()
{
    if (!gStringsRegistered.exchange(true))
        plat::RegisterStrings(kHalcyteModule, kStrings, std::size(kStrings));
    StartList(gLaws, "Global List of SCustomReflectionLaw");
    StartList(gDrawSystems, "Global List of SCustomDrawSystem3D");
    StartList(gConstructions, "Global List of SCustomConstruction3D");
    for (TSClass c : kClasses)
        RegisterRTDClass(c);
}

void SCustom3DFinalization()
{
    for (auto c = std::rbegin(kClasses); c != std::rend(kClasses); ++c)
        UnregisterRTDClass(*c);
    delete gConstructions.exchange(nullptr);
    delete gDrawSystems.exchange(nullptr);
    delete gLaws.exchange(nullptr);
    if (gStringsRegistered.exchange(false))
        plat::UnregisterStrings(kStrings);
}

// ---------------------------------------------------------------------------
// TSCustomReflectionLaw

constinit const TSClassInfo TSCustomReflectionLaw::ClassInfo{"TSCustomReflectionLaw", &TSCustomChangeObject::ClassInfo,
                                                             &TSNewObject<TSCustomReflectionLaw>};

void TSCustomReflectionLaw::Initialize()
{
    TSCustomChangeObject::Initialize();
    Join(gLaws, this);
}

TSCustomReflectionLaw::~TSCustomReflectionLaw()
{
    Finalize();
    Leave(gLaws, this);
}

void TSCustomReflectionLaw::AddAmbient(const TSVector3DSingle&) {}
void TSCustomReflectionLaw::AddAmbient(const TSVector3D&) {}
void TSCustomReflectionLaw::AddRed(const TSVector3DSingle&, float) {}
void TSCustomReflectionLaw::AddRed(const TSVector3D&, double) {}
void TSCustomReflectionLaw::AddGreen(const TSVector3DSingle&, float) {}
void TSCustomReflectionLaw::AddGreen(const TSVector3D&, double) {}
void TSCustomReflectionLaw::AddBlue(const TSVector3DSingle&, float) {}
void TSCustomReflectionLaw::AddBlue(const TSVector3D&, double) {}

// ---------------------------------------------------------------------------
// TSCustomDrawSystem3D

constinit const TSClassInfo TSCustomDrawSystem3D::ClassInfo{"TSCustomDrawSystem3D", &TSCustomChangeObject::ClassInfo,
                                                            &TSNewObject<TSCustomDrawSystem3D>};

void TSCustomDrawSystem3D::Initialize()
{
    TSCustomChangeObject::Initialize();
    m_enabled = true;
    m_drawNesting = 0;
    m_smooth = false;
    Join(gDrawSystems, this);
}

TSCustomDrawSystem3D::~TSCustomDrawSystem3D()
{
    Finalize();
    Leave(gDrawSystems, this);
}

void TSCustomDrawSystem3D::BeginDraw(std::int32_t Param)
{
    if (++m_drawNesting == 1 && !IsDestroying())
        DoBeginDraw(Param);
}

void TSCustomDrawSystem3D::EndDraw(std::int32_t Param)
{
    std::int32_t nesting = m_drawNesting.load();
    while (nesting > 0 && !m_drawNesting.compare_exchange_weak(nesting, nesting - 1)) {
    }
    if (nesting == 1 && !IsDestroying())
        DoEndDraw(Param);
}

void TSCustomDrawSystem3D::SetEnabled(bool Value)
{
    ChangeFlag(*this, m_enabled, Value, [this] { EnabledChanged(); });
}

void TSCustomDrawSystem3D::DoBeginDraw(std::int32_t Param)
{
    Events.Notify(this, ecBeginDraw, Param);
}

void TSCustomDrawSystem3D::DoEndDraw(std::int32_t Param)
{
    Events.Notify(this, ecEndDraw, Param);
}

void TSCustomDrawSystem3D::EnabledChanged() {}

void TSCustomDrawSystem3D::SetSmooth(bool Value)
{
    m_smooth = Value;
}

void TSCustomDrawSystem3D::Clear() {}
void TSCustomDrawSystem3D::DrawPoint(const TSVertex3DSingle&) {}
void TSCustomDrawSystem3D::DrawPoint(const TSVertex3D&) {}
void TSCustomDrawSystem3D::DrawLine(const TSVertex3DSingle&, const TSVertex3DSingle&) {}
void TSCustomDrawSystem3D::DrawLine(const TSVertex3D&, const TSVertex3D&) {}
void TSCustomDrawSystem3D::DrawTriangle(const TSVertex3DSingle&, const TSVertex3DSingle&, const TSVertex3DSingle&) {}
void TSCustomDrawSystem3D::DrawTriangle(const TSVertex3D&, const TSVertex3D&, const TSVertex3D&) {}
void TSCustomDrawSystem3D::DrawQuad(const TSVertex3DSingle&, const TSVertex3DSingle&, const TSVertex3DSingle&,
                                    const TSVertex3DSingle&)
{}
void TSCustomDrawSystem3D::DrawQuad(const TSVertex3D&, const TSVertex3D&, const TSVertex3D&, const TSVertex3D&) {}

std::int32_t TSCustomDrawSystem3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t name = TSCustomChangeObject::Save(Stream);
    return name + Stream->WriteInt32((Enabled() ? 1 : 0) | (Smooth() ? 2 : 0));
}

std::int32_t TSCustomDrawSystem3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t name = TSCustomChangeObject::Load(Stream);
    const std::int32_t flags = Stream->ReadInt32();
    m_enabled = (flags & 1) != 0;
    m_smooth = (flags & 2) != 0;
    return name + 4;
}

// ---------------------------------------------------------------------------
// TSCustomObject3D

constinit const TSClassInfo TSCustomObject3D::ClassInfo{"TSCustomObject3D", &TSCustomChangeObject::ClassInfo,
                                                        &TSNewObject<TSCustomObject3D>};

void TSCustomObject3D::Initialize()
{
    TSCustomChangeObject::Initialize();
    ReplaceFrame(TSObject::Create<TSBasis3D>(this));
}

TSCustomObject3D::~TSCustomObject3D()
{
    Finalize();
    ReplaceFrame(nullptr);
}

TSBasis3D* TSCustomObject3D::Frame() const
{
    return m_frame.load();
}

void TSCustomObject3D::ReplaceFrame(TSBasis3D* Frame)
{
    TSBasis3D* old = m_frame.exchange(Frame);
    if (old != nullptr) {
        old->Events.Remove(FrameHandler());
        delete old;
    }
    if (Frame != nullptr) {
        Frame->SetName(Name());
        Frame->Events.Add(FrameHandler());
    }
}

void TSCustomObject3D::FrameEvent(TObject* Sender, std::int32_t EventCode, TSParam)
{
    if (IsDestroying() || Sender == nullptr || Sender != m_frame.load())
        return;
    switch (EventCode) {
    case ecBeginTransform:
        DoUpdateBegin();
        break;
    case ecEndTransform:
        DoUpdateEnd();
        break;
    case ecInvalidate:
        Invalidate(reinterpret_cast<TSParam>(this));
        break;
    default:
        break;
    }
}

void TSCustomObject3D::Changed()
{
    if (TSBasis3D* frame = Frame())
        frame->SetName(Name());
    TSCustomChangeObject::Changed();
}

void TSCustomObject3D::DoUpdateBegin()
{
    Events.Notify(this, ecUpdateBegin, 0);
}

void TSCustomObject3D::DoUpdateEnd()
{
    Events.Notify(this, ecUpdateEnd, 0);
}

void TSCustomObject3D::Invalidate(TSParam Param)
{
    Events.Notify(this, ecInvalidate, Param);
}

void TSCustomObject3D::GetLowerBound(TSVector3D& B)
{
    B = {-1, -1, -1};
}

void TSCustomObject3D::GetUpperBound(TSVector3D& B)
{
    B = {1, 1, 1};
}

std::int32_t TSCustomObject3D::BeginOperation(std::int32_t Operation)
{
    if (Operation != ocSave && Operation != ocLoad)
        return -1;
    TSBasis3D* frame = Frame();
    return 1 + std::max(0, frame ? frame->Process(ocBeginOperation, Operation) : 0);
}

std::int32_t TSCustomObject3D::EndOperation(std::int32_t Operation)
{
    if (Operation != ocSave && Operation != ocLoad)
        return -1;
    TSBasis3D* frame = Frame();
    return 1 + std::max(0, frame ? frame->Process(ocEndOperation, Operation) : 0);
}

std::int32_t TSCustomObject3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t name = TSCustomChangeObject::Save(Stream);
    return name + Stream->WriteObject(Frame());
}

std::int32_t TSCustomObject3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t name = TSCustomChangeObject::Load(Stream);
    TSObject* object = nullptr;
    const std::int32_t record = Stream->ReadObject(object, &TSBasis3D::ClassInfo);
    auto* frame = dynamic_cast<TSBasis3D*>(object);
    if (frame == nullptr) {
        delete object;
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidObject));
    }
    ReplaceFrame(frame);
    return name + record;
}

std::int32_t TSCustomObject3D::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSBasis3D* frame = Frame();
    return frame ? frame->Process(ocLink, reinterpret_cast<TSParam>(Stream)) : -1;
}

// ---------------------------------------------------------------------------
// TSCustomConstruction3D

constinit const TSClassInfo TSCustomConstruction3D::ClassInfo{"TSCustomConstruction3D", &TSCustomObject3D::ClassInfo,
                                                              &TSNewObject<TSCustomConstruction3D>};

void TSCustomConstruction3D::Initialize()
{
    TSCustomObject3D::Initialize();
    m_enabled = true;
    m_visible = true;
    Join(gConstructions, this);
}

TSCustomConstruction3D::~TSCustomConstruction3D()
{
    Finalize();
    Leave(gConstructions, this);
}

void TSCustomConstruction3D::SetEnabled(bool Value)
{
    ChangeFlag(*this, m_enabled, Value, [this] { Refresh(); });
}

void TSCustomConstruction3D::SetVisible(bool Value)
{
    ChangeFlag(*this, m_visible, Value, [this] { RefreshIfEnabled(); });
}

void TSCustomConstruction3D::Refresh()
{
    Invalidate(0);
}

void TSCustomConstruction3D::RefreshIfEnabled()
{
    if (Enabled())
        Invalidate(0);
}

void TSCustomConstruction3D::TestOcclusion(TSOcclusionQuerySingle&) {}
void TSCustomConstruction3D::TestOcclusion(TSOcclusionQuery&) {}

void TSCustomConstruction3D::Draw(TSRenderContext& Context)
{
    // Without a camera there is nowhere to project to.
    if (!Enabled() || !Visible() || Context.Camera == nullptr)
        return;
    TSBasis3D* frame = Frame();
    if (frame == nullptr)
        return;
    TSVector3DSingle origin;
    frame->GetOriginSingle(origin);
    TSVector3DSingle projected;
    Context.Camera->ProjectWorldPoint(origin, projected);
    const TSVertex3DSingle vertex{projected.X, projected.Y, projected.Z, 1, 1, 1};
    if (Context.DrawSystem != nullptr)
        Context.DrawSystem->DrawPoint(vertex);
}

TSCustomConstruction3D* TSCustomConstruction3D::CreateDerived(TObject*)
{
    return nullptr;
}

std::int32_t TSCustomConstruction3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomObject3D::Save(Stream);
    return base + Stream->WriteInt32((Enabled() ? 1 : 0) | (Visible() ? 2 : 0));
}

std::int32_t TSCustomConstruction3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomObject3D::Load(Stream);
    const std::int32_t flags = Stream->ReadInt32();
    m_enabled = (flags & 1) != 0;
    m_visible = (flags & 2) != 0;
    return base + 4;
}

// ---------------------------------------------------------------------------
// TSCustomProjectionSystem3D

constinit const TSClassInfo TSCustomProjectionSystem3D::ClassInfo{
    "TSCustomProjectionSystem3D", &TSCustomConstruction3D::ClassInfo, &TSNewObject<TSCustomProjectionSystem3D>};

void TSCustomProjectionSystem3D::Initialize()
{
    TSCustomConstruction3D::Initialize();
    StoreVisible(false);
}

void TSCustomProjectionSystem3D::ProjectPoint(const TSVector3DSingle& Local, TSVector3DSingle& Projected)
{
    Projected = Local;
}

void TSCustomProjectionSystem3D::ProjectPoint(const TSVector3D& Local, TSVector3D& Projected)
{
    Projected = Local;
}

void TSCustomProjectionSystem3D::ViewVector(const TSVector3DSingle& World, TSVector3DSingle& V)
{
    TSVector3DSingle origin;
    if (TSBasis3D* frame = Frame())
        frame->GetOriginSingle(origin);
    V = {World.X - origin.X, World.Y - origin.Y, World.Z - origin.Z};
}

void TSCustomProjectionSystem3D::ViewVector(const TSVector3D& World, TSVector3D& V)
{
    TSVector3D origin;
    if (TSBasis3D* frame = Frame())
        frame->GetOrigin(origin);
    SubVector3D(World, origin, V);
}

void TSCustomProjectionSystem3D::ProjectWorldPoint(const TSVector3DSingle& World, TSVector3DSingle& Projected)
{
    TSVector3DSingle local = World;
    if (TSBasis3D* frame = Frame())
        frame->PointFromWorldSingle(World, local);
    ProjectPoint(local, Projected);
}

// ---------------------------------------------------------------------------
// TSCustomLightSystem3D

constinit const TSClassInfo TSCustomLightSystem3D::ClassInfo{
    "TSCustomLightSystem3D", &TSCustomConstruction3D::ClassInfo, &TSNewObject<TSCustomLightSystem3D>};

void TSCustomLightSystem3D::Initialize()
{
    TSCustomConstruction3D::Initialize();
    StoreVisible(false);
    m_castsShadows = false;
}

void TSCustomLightSystem3D::RefreshLighting()
{
    if (Enabled())
        Invalidate(0);
}

void TSCustomLightSystem3D::LightVertex(TSLightingRequestSingle&) {}
void TSCustomLightSystem3D::LightVertex(TSLightingRequest&) {}

std::int32_t TSCustomLightSystem3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomConstruction3D::Save(Stream);
    return base + Stream->WriteInt32(CastsShadows() ? 1 : 0);
}

std::int32_t TSCustomLightSystem3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    TSObjectLock guard(*this);
    const std::int32_t base = TSCustomConstruction3D::Load(Stream);
    // Only the low byte carries the flag.
    m_castsShadows = (Stream->ReadInt32() & 0xFF) != 0;
    return base + 4;
}
