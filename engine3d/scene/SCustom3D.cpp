#include "engine3d/scene/SCustom3D.h"

#include "engine3d/model/SRTDRegistry.h"

#include "platform/resources/StringTable.h"

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
    &TSDepositoryCustomConstruction3D::ClassInfo,
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
void TSCustomDrawSystem3D::DrawTriangles(const TSVertex3DSingle* const* Vertices, std::int64_t Count)
{
    for (std::int64_t i = 0; i < Count; ++i)
        DrawTriangle(*Vertices[3 * i], *Vertices[3 * i + 1], *Vertices[3 * i + 2]);
}
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

// ---------------------------------------------------------------------------
// TSDepositoryCustomConstruction3D

constinit const TSClassInfo TSDepositoryCustomConstruction3D::ClassInfo{
    "TSDepositoryCustomConstruction3D", &TSObject::ClassInfo, &TSNewObject<TSDepositoryCustomConstruction3D>};

void TSDepositoryCustomConstruction3D::Initialize()
{
    TSObject::Initialize();
    m_construction = nullptr;
    m_constructionId = 0;
    m_current = 0;
    m_defaultOrdinary = 0;
    m_defaultSpecial = 0;
}

TSDepositoryCustomConstruction3D::~TSDepositoryCustomConstruction3D()
{
    Finalize();
    SetRecordCount(0);
    SetEntryCount(0);
    SetConstruction(nullptr);
}

std::int32_t TSDepositoryCustomConstruction3D::Edit(TSParam)
{
    return -1;
}

void TSDepositoryCustomConstruction3D::ConstructionEvent(TObject*, std::int32_t, TSParam) {}
void TSDepositoryCustomConstruction3D::DrawSystemEvent(TObject*, std::int32_t, TSParam) {}

std::int32_t TSDepositoryCustomConstruction3D::RecordSize()
{
    return 0;
}

void TSDepositoryCustomConstruction3D::InitRecord(void* Data)
{
    if (Data != nullptr)
        std::fill_n(static_cast<std::uint8_t*>(Data), RecordSize(), std::uint8_t(0));
}

void TSDepositoryCustomConstruction3D::DoneRecord(void*) {}

bool TSDepositoryCustomConstruction3D::CopyRecord(void* Dest, const void* Source)
{
    if (Dest != nullptr && Source != nullptr && Dest != Source)
        std::copy_n(static_cast<const std::uint8_t*>(Source), RecordSize(), static_cast<std::uint8_t*>(Dest));
    return true;
}

std::int32_t TSDepositoryCustomConstruction3D::WriteRecord(TSObjectsStream* Stream, const void* Data)
{
    Stream->Write(Data, RecordSize());
    return RecordSize();
}

std::int32_t TSDepositoryCustomConstruction3D::ReadRecord(TSObjectsStream* Stream, void* Data)
{
    Stream->Read(Data, RecordSize());
    return RecordSize();
}

void TSDepositoryCustomConstruction3D::ApplyRecord() {}

TSCustomConstruction3D* TSDepositoryCustomConstruction3D::Construction() const
{
    std::lock_guard guard(m_storeLock);
    return m_construction;
}

std::int32_t TSDepositoryCustomConstruction3D::CurrentRecord() const
{
    std::lock_guard guard(m_storeLock);
    return m_current;
}

std::int32_t TSDepositoryCustomConstruction3D::RecordCount() const
{
    std::lock_guard guard(m_storeLock);
    return std::int32_t(m_names.size());
}

std::int32_t TSDepositoryCustomConstruction3D::EntryCount() const
{
    std::lock_guard guard(m_storeLock);
    return std::int32_t(m_entries.size());
}

void TSDepositoryCustomConstruction3D::SetConstruction(TSCustomConstruction3D* Value)
{
    {
        std::lock_guard guard(m_storeLock);
        if (m_construction != nullptr)
            m_construction->Events.Remove(OfConstruction());
        m_construction = Value;
        if (Value != nullptr)
            Value->Events.Add(OfConstruction());
    }
    if (!IsDestroying())
        ApplyRecord();
}

void TSDepositoryCustomConstruction3D::ConstructionHandler(TObject* Sender, std::int32_t Code, TSParam Param)
{
    if (IsDestroying())
        return;
    if (Code == ecDestroying) {
        std::lock_guard guard(m_storeLock);
        if (Sender == m_construction) {
            m_construction->Events.Remove(OfConstruction());
            m_construction = nullptr;
        }
    }
    ConstructionEvent(Sender, Code, Param);
}

void TSDepositoryCustomConstruction3D::DrawSystemHandler(TObject* Sender, std::int32_t Code, TSParam Param)
{
    if (IsDestroying())
        return;
    if (Code == ecDestroying) {
        std::lock_guard guard(m_storeLock);
        for (std::int32_t i = EntryCount() - 1; i >= 0; --i)
            if (m_entries[std::size_t(i)].DrawSystem == Sender)
                DeleteDrawSystem(i);
    }
    DrawSystemEvent(Sender, Code, Param);
}

void TSDepositoryCustomConstruction3D::Subscribe(TSCustomDrawSystem3D* DS)
{
    if (DS != nullptr)
        DS->Events.Add(OfDrawSystem());
}

void TSDepositoryCustomConstruction3D::Unsubscribe(TSCustomDrawSystem3D* DS)
{
    if (DS != nullptr)
        DS->Events.Remove(OfDrawSystem());
}

std::uint8_t* TSDepositoryCustomConstruction3D::RecordBytes(std::int32_t Index)
{
    return m_data.data() + std::size_t(Index) * std::size_t(std::max(0, RecordSize()));
}

void TSDepositoryCustomConstruction3D::SetRecordCount(std::int32_t N)
{
    N = std::max(N, 0);
    {
        std::lock_guard guard(m_storeLock);
        const std::int32_t count = RecordCount();
        if (N == count)
            return;
        const std::size_t size = std::size_t(std::max(0, RecordSize()));
        for (std::int32_t i = N; i < count; ++i) {
            m_names[std::size_t(i)].clear();
            DoneRecord(RecordBytes(i));
        }
        m_names.resize(std::size_t(N));
        m_data.resize(std::size_t(N) * size);
        for (std::int32_t i = count; i < N; ++i)
            InitRecord(RecordBytes(i));
        if (N > m_current)
            return;
    }
    SelectRecord(N - 1);
}

void* TSDepositoryCustomConstruction3D::GetRecordData(std::int32_t Index)
{
    std::lock_guard guard(m_storeLock);
    return Index >= 0 && Index < RecordCount() ? RecordBytes(Index) : nullptr;
}

void TSDepositoryCustomConstruction3D::SetRecordName(std::int32_t Index, const std::string& S)
{
    std::lock_guard guard(m_storeLock);
    if (Index >= 0 && Index < RecordCount())
        m_names[std::size_t(Index)] = S;
}

std::string TSDepositoryCustomConstruction3D::GetRecordName(std::int32_t Index) const
{
    std::lock_guard guard(m_storeLock);
    return Index >= 0 && Index < RecordCount() ? m_names[std::size_t(Index)] : std::string();
}

void TSDepositoryCustomConstruction3D::SelectRecord(std::int32_t Index)
{
    {
        std::lock_guard guard(m_storeLock);
        if (Index < 0 || Index >= RecordCount())
            Index = -1;
        if (Index == m_current)
            return;
        m_current = Index;
    }
    if (Index >= 0)
        ApplyRecord();
}

void TSDepositoryCustomConstruction3D::DeleteRecord(std::int32_t Index)
{
    std::unique_lock guard(m_storeLock);
    const std::int32_t count = RecordCount();
    if (Index < 0 || Index >= count)
        return;
    if (Index < m_current)
        --m_current;
    else if (Index == m_current)
        m_current = count - 1;
    // Every choice stays on its record: the deleted one's become -1.
    const auto renumber = [Index](std::int32_t& Choice) {
        if (Choice == Index)
            Choice = -1;
        else if (Choice > Index)
            --Choice;
    };
    for (TSDrawSystemEntry& e : m_entries) {
        renumber(e.Special);
        renumber(e.Ordinary);
    }
    renumber(m_defaultOrdinary);
    renumber(m_defaultSpecial);
    if (Index != count - 1) {
        std::rotate(m_names.begin() + Index, m_names.begin() + Index + 1, m_names.end());
        const std::size_t size = std::size_t(std::max(0, RecordSize()));
        std::rotate(m_data.begin() + std::ptrdiff_t(Index * size), m_data.begin() + std::ptrdiff_t((Index + 1) * size),
                    m_data.end());
    }
    // The last place goes with the lock released: the record applied then is
    // applied outside it.
    guard.unlock();
    SetRecordCount(count - 1);
}

void TSDepositoryCustomConstruction3D::SetEntryCount(std::int32_t N)
{
    std::lock_guard guard(m_storeLock);
    N = std::max(N, 0);
    if (N == EntryCount())
        return;
    for (std::size_t i = std::size_t(N); i < m_entries.size(); ++i) {
        Unsubscribe(m_entries[i].DrawSystem);
        m_entries[i].DrawSystem = nullptr;
    }
    m_entries.resize(std::size_t(N));
}

TSCustomDrawSystem3D* TSDepositoryCustomConstruction3D::GetDrawSystem(std::int32_t Index) const
{
    std::lock_guard guard(m_storeLock);
    return Index >= 0 && Index < EntryCount() ? m_entries[std::size_t(Index)].DrawSystem : nullptr;
}

std::int32_t TSDepositoryCustomConstruction3D::FindDrawSystem(TSCustomDrawSystem3D* DS) const
{
    if (DS == nullptr)
        return -1;
    std::lock_guard guard(m_storeLock);
    for (std::int32_t i = EntryCount() - 1; i >= 0; --i)
        if (m_entries[std::size_t(i)].DrawSystem == DS)
            return i;
    return -1;
}

std::int32_t TSDepositoryCustomConstruction3D::AddDrawSystem(TSCustomDrawSystem3D* DS)
{
    if (DS == nullptr)
        return -1;
    std::lock_guard guard(m_storeLock);
    if (const std::int32_t at = FindDrawSystem(DS); at >= 0)
        return at;
    SetEntryCount(EntryCount() + 1);
    m_entries.back().DrawSystem = DS;
    Subscribe(DS);
    return EntryCount() - 1;
}

void TSDepositoryCustomConstruction3D::DeleteDrawSystem(std::int32_t Index)
{
    std::lock_guard guard(m_storeLock);
    if (Index < 0 || Index >= EntryCount())
        return;
    std::rotate(m_entries.begin() + Index, m_entries.begin() + Index + 1, m_entries.end());
    SetEntryCount(EntryCount() - 1);
}

void TSDepositoryCustomConstruction3D::SetDrawSystemRecord(std::int32_t Index, bool Special, std::int32_t Record)
{
    std::lock_guard guard(m_storeLock);
    if (Record >= RecordCount())
        Record = -1;
    if (Index >= 0 && Index < EntryCount())
        (Special ? m_entries[std::size_t(Index)].Special : m_entries[std::size_t(Index)].Ordinary) = Record;
    else
        (Special ? m_defaultSpecial : m_defaultOrdinary) = Record;
}

std::int32_t TSDepositoryCustomConstruction3D::GetDrawSystemRecord(std::int32_t Index, bool Special) const
{
    std::lock_guard guard(m_storeLock);
    if (Index >= 0 && Index < EntryCount())
        return Special ? m_entries[std::size_t(Index)].Special : m_entries[std::size_t(Index)].Ordinary;
    return Special ? m_defaultSpecial : m_defaultOrdinary;
}

bool TSDepositoryCustomConstruction3D::CopyFrom(TSDepositoryCustomConstruction3D* Source)
{
    if (Source == nullptr || Source == this)
        return false;
    bool changed = false;
    std::int32_t current = 0;
    std::int32_t records = 0;
    {
        std::scoped_lock guard(m_storeLock, Source->m_storeLock);
        bool entriesDiffer = Source->EntryCount() != EntryCount();
        for (std::int32_t i = 0; !entriesDiffer && i < EntryCount(); ++i) {
            const TSDrawSystemEntry& a = m_entries[std::size_t(i)];
            const TSDrawSystemEntry& b = Source->m_entries[std::size_t(i)];
            entriesDiffer = a.DrawSystem != b.DrawSystem || a.Special != b.Special || a.Ordinary != b.Ordinary;
        }
        if (entriesDiffer) {
            SetEntryCount(0);
            m_entries = Source->m_entries;
            for (TSDrawSystemEntry& e : m_entries)
                Subscribe(e.DrawSystem);
            changed = true;
        } else {
            changed = m_defaultOrdinary != Source->m_defaultOrdinary || m_defaultSpecial != Source->m_defaultSpecial ||
                      m_current != Source->m_current;
        }
        m_defaultOrdinary = Source->m_defaultOrdinary;
        m_defaultSpecial = Source->m_defaultSpecial;
        m_current = current = Source->m_current;
        records = Source->RecordCount();
    }
    // Resized without the lock: a record it applies is applied outside it.
    if (RecordCount() != records) {
        SetRecordCount(records);
        changed = true;
    }
    std::scoped_lock guard(m_storeLock, Source->m_storeLock);
    m_current = current;
    const std::int32_t common = std::min(RecordCount(), Source->RecordCount());
    for (std::int32_t i = 0; i < common; ++i) {
        if (m_names[std::size_t(i)] != Source->m_names[std::size_t(i)]) {
            m_names[std::size_t(i)] = Source->m_names[std::size_t(i)];
            changed = true;
        }
        if (CopyRecord(RecordBytes(i), Source->RecordBytes(i)))
            changed = true;
    }
    return changed;
}

void TSDepositoryCustomConstruction3D::Assign(TPersistent* Source)
{
    if (Source == nullptr)
        return;
    if (auto* other = dynamic_cast<TSDepositoryCustomConstruction3D*>(Source)) {
        if (other->RecordSize() == RecordSize())
            CopyFrom(other);
        return;
    }
    TSObject::Assign(Source);
}

std::int32_t TSDepositoryCustomConstruction3D::Save(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::lock_guard guard(m_storeLock);
    const std::int32_t head[5] = {std::int32_t(Stream->ObjectIdentity(m_construction)), m_current,
                                  m_defaultOrdinary, m_defaultSpecial, RecordCount()};
    Stream->Write(head, sizeof(head));
    std::int32_t bytes = sizeof(head);
    for (std::int32_t i = 0; i < RecordCount(); ++i) {
        bytes += WriteStreamString(Stream, m_names[std::size_t(i)]);
        bytes += WriteRecord(Stream, RecordBytes(i));
    }
    const std::int32_t entries = EntryCount();
    Stream->Write(&entries, 4);
    for (const TSDrawSystemEntry& e : m_entries) {
        const std::int32_t row[3] = {std::int32_t(Stream->ObjectIdentity(e.DrawSystem)), e.Special, e.Ordinary};
        Stream->Write(row, sizeof(row));
    }
    return bytes + 4 + 12 * entries;
}

std::int32_t TSDepositoryCustomConstruction3D::Load(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::lock_guard guard(m_storeLock);
    if (m_construction != nullptr)
        m_construction->Events.Remove(OfConstruction());
    m_construction = nullptr;
    SetEntryCount(0);
    SetRecordCount(0);
    const auto invalid = [this] { return EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue)); };
    std::int32_t head[5] = {};
    Stream->Read(head, sizeof(head));
    m_constructionId = std::uint32_t(head[0]);
    m_current = head[1];
    m_defaultOrdinary = head[2];
    m_defaultSpecial = head[3];
    const std::int32_t n = head[4];
    // A count the bytes left cannot hold is refused before anything is allocated.
    const std::int64_t stride = 4 + std::int64_t(std::max(0, RecordSize()));
    if (n < 0 || (Stream->Remaining() >= 0 && n > Stream->Remaining() / stride))
        throw invalid();
    SetRecordCount(n);
    std::int32_t bytes = sizeof(head);
    for (std::int32_t i = 0; i < n; ++i) {
        bytes += ReadStreamString(Stream, m_names[std::size_t(i)]);
        bytes += ReadRecord(Stream, RecordBytes(i));
    }
    std::int32_t m = 0;
    Stream->Read(&m, 4);
    if (m < 0 || (Stream->Remaining() >= 0 && m > Stream->Remaining() / 12))
        throw invalid();
    SetEntryCount(m);
    for (TSDrawSystemEntry& e : m_entries) {
        std::int32_t row[3] = {};
        Stream->Read(row, sizeof(row));
        e.DrawSystem = nullptr;
        e.DrawSystemId = std::uint32_t(row[0]);
        e.Special = row[1];
        e.Ordinary = row[2];
    }
    return bytes + 4 + 12 * m;
}

std::int32_t TSDepositoryCustomConstruction3D::Link(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return -1;
    std::lock_guard guard(m_storeLock);
    auto* construction = dynamic_cast<TSCustomConstruction3D*>(
        Stream->FindObject(m_constructionId, &TSCustomConstruction3D::ClassInfo));
    m_constructionId = 0;
    if (construction != nullptr) {
        m_construction = construction;
        construction->Events.Add(OfConstruction());
    }
    for (TSDrawSystemEntry& e : m_entries) {
        e.DrawSystem = dynamic_cast<TSCustomDrawSystem3D*>(
            Stream->FindObject(e.DrawSystemId, &TSCustomDrawSystem3D::ClassInfo));
        e.DrawSystemId = 0;
        Subscribe(e.DrawSystem);
    }
    return EntryCount() + 1;
}

std::int32_t TSDepositoryCustomConstruction3D::SetParameter(std::int32_t Id, void* Data)
{
    if (Id == diConstruction) {
        auto** slot = static_cast<TObject**>(Data);
        TObject* object = slot ? *slot : nullptr;
        if (object != static_cast<TObject*>(Construction())) {
            auto* construction = dynamic_cast<TSCustomConstruction3D*>(object);
            if (construction == nullptr && slot != nullptr)
                *slot = nullptr;
            SetConstruction(construction);
        }
        return 0;
    }
    if (Id == diApply) {
        const auto* apply = static_cast<const TSDepositoryApply*>(Data);
        // Held across ApplyRecord: the editor's changes wait, and the record
        // the editor shows is current again afterwards.
        std::lock_guard guard(m_storeLock);
        if (apply == nullptr || m_construction == nullptr)
            return 0;
        TSEventManager& events = m_construction->Events;
        const bool wasDisabled = events.IsDisabled();
        events.SetDisabled(true);
        struct Restore {
            TSEventManager& Events;
            bool Was;
            ~Restore() { Events.SetDisabled(Was); }
        } restore{events, wasDisabled};
        struct KeepCurrent {
            std::int32_t& Current;
            std::int32_t Was;
            ~KeepCurrent() { Current = Was; }
        } keep{m_current, m_current};
        // Unchecked: a choice past the records makes ApplyRecord find no data.
        m_current = GetDrawSystemRecord(FindDrawSystem(apply->DrawSystem), apply->Special != 0);
        ApplyRecord();
        return 0;
    }
    return -1;
}

std::int32_t TSDepositoryCustomConstruction3D::GetParameter(std::int32_t Id, void* Data)
{
    if (Id == diConstruction && Data != nullptr) {
        *static_cast<TObject**>(Data) = Construction();
        return 0;
    }
    return -1;
}

std::int32_t TSDepositoryCustomConstruction3D::Process(std::int32_t Code, TSParam Param)
{
    const std::int32_t result = TSObject::Process(Code, Param);
    if (result < 0 && Code == 4098)
        Edit(Param);
    return result;
}
