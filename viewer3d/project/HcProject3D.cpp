#include "viewer3d/project/HcProject3D.h"

#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr char kDescription[] = "Standart Halcyte 3D project";
constexpr char kCaption[] = "Halcyte 3D Project";
constexpr char kViewersCategory[] = "Viewers";
constexpr char kStandardViewer[] = "Standart Viewer 3D";
constexpr char kDrawingSystemClass[] = "TSDrawingSystem3D";

// Storage grows in whole blocks.
constexpr std::size_t kDepositoryBlock = 2048;
constexpr std::size_t kViewerBlock = 1024;

// How long a pause waits for the render's worker at a time.
constexpr std::int32_t kStopWaitMs = 2000;
constexpr std::int32_t kPauseStepMs = 5;

template <class T>
void ReserveBlocks(std::vector<T>& Items, std::size_t N, std::size_t Block)
{
    if (N > Items.capacity())
        Items.reserve((N + Block - 1) / Block * Block);
}

// The event as its first sender announced it.
TSEventRecord Unwrap(TObject* Sender, std::int32_t Code, TSParam Param)
{
    if (Code == ecMemberEvent && Param != 0)
        return *reinterpret_cast<const TSEventRecord*>(Param);
    return {Sender, Code, Param};
}

}  // namespace

constinit const TSClassInfo THalcyte3DProject::ClassInfo{"THalcyte3DProject", &TSProject::ClassInfo,
                                                         &TSNewObject<THalcyte3DProject>};

// ---------------------------------------------------------------------------
// Life

void THalcyte3DProject::Initialize()
{
    TSProject::Initialize();
    SetDescription(kDescription);
    m_thread = TSObject::Create<TSThread>(this);
    m_customObjects = TSObject::Create<TSCustomChangeObjectList>();
    m_customObjects->SetName("Custom Objects");
    m_objects = TSObject::Create<TSCustomConstruction3DList>();
    m_objects->SetName("Objects");
    m_lights = TSObject::Create<TSCustomLightSystem3DList>();
    m_lights->SetName("Lights");
    m_cameras = TSObject::Create<TSCustomProjectionSystem3DList>();
    m_cameras->SetName("Cameras");
    m_customObjects->Events.Add(CustomHandler());
    m_objects->Events.Add(MemberHandler());
    m_lights->Events.Add(MemberHandler());
    m_cameras->Events.Add(MemberHandler());
}

THalcyte3DProject::~THalcyte3DProject()
{
    // The render draws into what goes below: it leaves first.
    if (m_thread != nullptr)
        while (!m_thread->Terminate(kStopWaitMs)) {
        }
    {
        std::lock_guard windows(m_windowsLock);
        m_windowOrder.clear();
    }
    {
        std::lock_guard folders(m_foldersLock);
        m_currentFolders.reset();
        m_storedFolders.reset();
    }
    SetDepositoryCount(0);
    SetViewerCount(0);
    ReplaceList(m_cameras, static_cast<TSCustomProjectionSystem3DList*>(nullptr), MemberHandler());
    ReplaceList(m_lights, static_cast<TSCustomLightSystem3DList*>(nullptr), MemberHandler());
    ReplaceList(m_objects, static_cast<TSCustomConstruction3DList*>(nullptr), MemberHandler());
    ReplaceList(m_customObjects, static_cast<TSCustomChangeObjectList*>(nullptr), CustomHandler());
    delete m_thread;
    m_thread = nullptr;
}

template <class List>
void THalcyte3DProject::ReplaceList(List*& Field, List* Fresh, TSEventHandler Handler)
{
    List* old = std::exchange(Field, Fresh);
    if (Fresh != nullptr)
        Fresh->Events.Add(Handler);
    if (old == nullptr)
        return;
    old->Events.Remove(Handler);
    try {
        old->Clear();
    } catch (...) {
        // The list goes anyway.
    }
    delete old;
}

// Loading replaces the lists too (HcProject3DFile.cpp).
template void THalcyte3DProject::ReplaceList(TSCustomChangeObjectList*&, TSCustomChangeObjectList*, TSEventHandler);
template void THalcyte3DProject::ReplaceList(TSCustomConstruction3DList*&, TSCustomConstruction3DList*, TSEventHandler);
template void THalcyte3DProject::ReplaceList(TSCustomLightSystem3DList*&, TSCustomLightSystem3DList*, TSEventHandler);
template void THalcyte3DProject::ReplaceList(TSCustomProjectionSystem3DList*&, TSCustomProjectionSystem3DList*,
                                             TSEventHandler);

std::vector<TSCustomChangeObject*> THalcyte3DProject::Lists() const
{
    return {m_customObjects, m_objects, m_lights, m_cameras};
}

// ---------------------------------------------------------------------------
// Settings

bool THalcyte3DProject::IsStopAtOnce(bool Mode) const
{
    return (m_stopAtOnce.load() & (Mode ? 1 : 2)) != 0;
}

void THalcyte3DProject::SetMode(std::uint8_t Mode)
{
    m_renderMode = Mode;
}

void THalcyte3DProject::SetStopAtOnce(bool Mode, bool On)
{
    const std::int32_t bit = Mode ? 1 : 2;
    if (On)
        m_stopAtOnce.fetch_or(bit);
    else
        m_stopAtOnce.fetch_and(~bit);
}

void THalcyte3DProject::SetPauseWait(bool Mode, std::int32_t Ms)
{
    m_pauseWait[Mode ? 1 : 0] = Ms;
}

bool THalcyte3DProject::IsDirty() const
{
    std::lock_guard viewers(m_viewersLock);
    return m_dirty;
}

// ---------------------------------------------------------------------------
// Filing objects

bool THalcyte3DProject::Holds(TSCustomChangeObject* List, TObject* Object)
{
    TSHolderQuery query{Object, nullptr};
    return List != nullptr && Object != nullptr && List->Process(ocFindHolder, reinterpret_cast<TSParam>(&query)) > 0;
}

void THalcyte3DProject::AddObject(TObject* Parent, TObject* Object)
{
    if (IsDestroying() || Object == nullptr || Object == this)
        return;
    auto* object = dynamic_cast<TSCustomChangeObject*>(Object);
    if (object == nullptr)
        return;
    for (TSCustomChangeObject* list : Lists())
        if (object == list)
            return;
    // Not the project's own lock: filing takes the lists' locks, and a list
    // announces its changes (which pause the render) holding its lock.
    std::lock_guard guard(m_fileLock);
    if (auto* drawSystem = dynamic_cast<TSCustomDrawSystem3D*>(object)) {
        if (ViewerIndex(drawSystem) < 0) {
            AddViewer(drawSystem);
            CreateDepository(drawSystem);
        }
    } else if (dynamic_cast<TSCustomLightSystem3D*>(object) != nullptr) {
        FileInList(m_lights, &TSCustomLightSystem3DList::ClassInfo, Parent, object);
    } else if (dynamic_cast<TSCustomProjectionSystem3D*>(object) != nullptr) {
        FileInList(m_cameras, &TSCustomConstruction3DList::ClassInfo, Parent, object);
    } else if (dynamic_cast<TSCustomConstruction3D*>(object) != nullptr) {
        FileInList(m_objects, &TSCustomConstruction3DList::ClassInfo, Parent, object);
    } else {
        FileInList(m_customObjects, &TSCustomChangeObjectList::ClassInfo, Parent, object);
    }
}

void THalcyte3DProject::FileInList(TSCustomChangeObject* Family, TSClass ListClass, TObject* Parent,
                                   TSCustomChangeObject* Object)
{
    if (Holds(Family, Object))
        return;
    TSCustomChangeObject* target = Family;
    auto* parent = dynamic_cast<TSCustomChangeObject*>(Parent);
    if (parent != nullptr && parent->InheritsFrom(ListClass) && Holds(Family, parent))
        target = parent;
    // Custom objects are not drawn: a change of the project brackets them
    // instead of a pause.
    const bool custom = Family == m_customObjects;
    if (custom)
        BeginChange(false, 0);
    else
        PauseRendering();
    try {
        if (auto* list = dynamic_cast<TSCustomChangeObjectList*>(target))
            list->Add(Object);
        else if (auto* list = dynamic_cast<TSCustomLightSystem3DList*>(target))
            list->Add(Object);
        else if (auto* list = dynamic_cast<TSCustomConstruction3DList*>(target))
            list->Add(Object);
        CreateDepository(Object);
    } catch (...) {
        custom ? EndChange(false, 0) : ResumeRendering();
        throw;
    }
    custom ? EndChange(false, 0) : ResumeRendering();
}

// ---------------------------------------------------------------------------
// Depositories

TSObject* THalcyte3DProject::FindDepository(TObject* Object) const
{
    if (Object == nullptr)
        return nullptr;
    std::lock_guard guard(m_depositoryLock);
    for (const TSDepositoryPair& pair : m_depositories)
        if (pair.Object == Object)
            return pair.Depository;
    return nullptr;
}

TSObject* THalcyte3DProject::CreateDepository(TObject* Object)
{
    if (Object == nullptr)
        return nullptr;
    std::lock_guard guard(m_depositoryLock);
    if (TSObject* existing = FindDepository(Object))
        return existing;
    TSClass depositoryClass = FindDepositoryClass(Object->ClassType());
    if (depositoryClass == nullptr || !depositoryClass->InheritsFrom(&TSObject::ClassInfo))
        return nullptr;
    std::unique_ptr<TSObject> depository(TSObject::Create(depositoryClass));
    if (!depository)
        return nullptr;
    TObject* edited = Object;  // by reference: a depository may answer nil
    TSParameterRecord record{dpSetObject, &edited};
    depository->Process(ocSetParameter, reinterpret_cast<TSParam>(&record));
    ReserveBlocks(m_depositories, m_depositories.size() + 1, kDepositoryBlock);
    m_depositories.push_back({depository.get(), dynamic_cast<TSObject*>(Object), 0});
    return depository.release();
}

void THalcyte3DProject::RemoveDepository(TObject* Object)
{
    if (Object == nullptr)
        return;
    TSObject* depository = nullptr;
    // The render may be applying it: it stops before the depository goes.
    PauseRendering();
    {
        std::lock_guard guard(m_depositoryLock);
        const auto at = std::find_if(m_depositories.begin(), m_depositories.end(),
                                     [Object](const TSDepositoryPair& Pair) { return Pair.Object == Object; });
        if (at != m_depositories.end()) {
            depository = at->Depository;
            m_depositories.erase(at);
        }
    }
    delete depository;
    ResumeRendering();
}

std::int32_t THalcyte3DProject::DepositoryCount() const
{
    std::lock_guard guard(m_depositoryLock);
    return static_cast<std::int32_t>(m_depositories.size());
}

TSDepositoryPair THalcyte3DProject::GetDepositoryPair(std::int32_t Index) const
{
    std::lock_guard guard(m_depositoryLock);
    if (Index < 0 || Index >= static_cast<std::int32_t>(m_depositories.size()))
        return {};
    return m_depositories[static_cast<std::size_t>(Index)];
}

void THalcyte3DProject::SetDepositoryCount(std::int32_t N)
{
    N = std::max(N, 0);
    std::vector<TSObject*> going;
    {
        std::lock_guard guard(m_depositoryLock);
        for (std::size_t i = static_cast<std::size_t>(N); i < m_depositories.size(); ++i)
            going.push_back(m_depositories[i].Depository);
        ReserveBlocks(m_depositories, static_cast<std::size_t>(N), kDepositoryBlock);
        m_depositories.resize(static_cast<std::size_t>(N));
    }
    for (TSObject* depository : going)
        delete depository;
}

template <class L>
void THalcyte3DProject::LockForRender(L& Lock, TSThread* Thread)
{
    if (Thread == nullptr) {
        Lock.lock();
        return;
    }
    // Whoever holds it may be waiting for this render to stop.
    while (!Lock.try_lock()) {
        Thread->CheckTerminated();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void THalcyte3DProject::ApplyDepositories(TSCustomDrawSystem3D* DrawSystem, TSThread* Thread)
{
    std::vector<TSDepositoryPair> pairs;
    LockForRender(m_depositoryLock, Thread);
    pairs = m_depositories;
    m_depositoryLock.unlock();
    TSApplyRecord apply{DrawSystem, m_renderMode.load()};
    for (const TSDepositoryPair& pair : pairs) {
        if (pair.Depository == nullptr || pair.Object == nullptr)
            continue;
        // The depository changes its object under the object's lock, which a
        // thread pausing the render may hold.
        auto* object = dynamic_cast<TSCustomChangeObject*>(pair.Object);
        TSObjectLock held;
        if (object != nullptr) {
            TSLockable lock{*object};
            LockForRender(lock, Thread);
            held.Adopt(*object);
        }
        TSParameterRecord record{dpApplyRecord, &apply};
        pair.Depository->Process(ocSetParameter, reinterpret_cast<TSParam>(&record));
        if (Thread != nullptr)
            Thread->CheckTerminated();
    }
}

// ---------------------------------------------------------------------------
// Viewers

std::int32_t THalcyte3DProject::AddViewer(TSCustomDrawSystem3D* DrawSystem)
{
    if (DrawSystem == nullptr)
        return -1;
    TSObjectLock guard(*this);
    if (const std::int32_t index = ViewerIndex(DrawSystem); index >= 0)
        return index;
    BeginChange(false, 0);
    std::int32_t index = -1;
    try {
        {
            std::lock_guard viewers(m_viewersLock);
            ReserveBlocks(m_viewers, m_viewers.size() + 1, kViewerBlock);
            m_viewers.push_back({DrawSystem, nullptr, 0, 0});
            index = static_cast<std::int32_t>(m_viewers.size()) - 1;
        }
        DrawSystem->Events.Add(MemberHandler());
        Events.Notify(this, ecViewersChanged, reinterpret_cast<TSParam>(this));
    } catch (...) {
        EndChange(false, 0);
        throw;
    }
    EndChange(false, 0);
    return index;
}

void THalcyte3DProject::RemoveViewer(std::int32_t Index)
{
    if (IsDestroying())
        return;
    // The render may be drawing into it.
    PauseRendering();
    TSCustomDrawSystem3D* drawSystem = nullptr;
    bool removed = false;
    {
        std::lock_guard viewers(m_viewersLock);
        if (Index >= 0 && Index < static_cast<std::int32_t>(m_viewers.size())) {
            drawSystem = m_viewers[static_cast<std::size_t>(Index)].DrawSystem;
            m_viewers.erase(m_viewers.begin() + Index);
            removed = true;
        }
    }
    if (drawSystem != nullptr && !drawSystem->IsDestroying()) {
        drawSystem->Events.Remove(MemberHandler());
        delete drawSystem;
    }
    if (removed)
        Events.Notify(this, ecViewersChanged, reinterpret_cast<TSParam>(this));
    ResumeRendering();
}

void THalcyte3DProject::SetViewerCount(std::int32_t N)
{
    N = std::max(N, 0);
    std::vector<TSCustomDrawSystem3D*> going;
    {
        std::lock_guard viewers(m_viewersLock);
        for (std::size_t i = static_cast<std::size_t>(N); i < m_viewers.size(); ++i)
            going.push_back(m_viewers[i].DrawSystem);
        ReserveBlocks(m_viewers, static_cast<std::size_t>(N), kViewerBlock);
        m_viewers.resize(static_cast<std::size_t>(N));
    }
    for (TSCustomDrawSystem3D* drawSystem : going)
        if (drawSystem != nullptr) {
            drawSystem->Events.Remove(MemberHandler());
            if (!drawSystem->IsDestroying())
                delete drawSystem;
        }
}

std::int32_t THalcyte3DProject::ViewerIndex(const TObject* DrawSystem) const
{
    if (DrawSystem == nullptr)
        return -1;
    std::lock_guard viewers(m_viewersLock);
    for (std::size_t i = m_viewers.size(); i-- > 0;)
        if (m_viewers[i].DrawSystem == DrawSystem)
            return static_cast<std::int32_t>(i);
    return -1;
}

std::int32_t THalcyte3DProject::ViewerCount() const
{
    std::lock_guard viewers(m_viewersLock);
    return static_cast<std::int32_t>(m_viewers.size());
}

TSViewerEntry THalcyte3DProject::GetViewerEntry(std::int32_t Index) const
{
    std::lock_guard viewers(m_viewersLock);
    if (Index < 0 || Index >= static_cast<std::int32_t>(m_viewers.size()))
        return {};
    return m_viewers[static_cast<std::size_t>(Index)];
}

TSCustomDrawSystem3D* THalcyte3DProject::GetViewer(std::int32_t Index) const
{
    return GetViewerEntry(Index).DrawSystem;
}

TSCustomProjectionSystem3D* THalcyte3DProject::GetCamera(const TObject* DrawSystem) const
{
    const std::int32_t index = ViewerIndex(DrawSystem);
    return index < 0 ? nullptr : GetViewerEntry(index).Camera;
}

void THalcyte3DProject::SetCamera(TSCustomDrawSystem3D* DrawSystem, TObject* Camera)
{
    BeginChange(true, 0);
    try {
        auto* camera = Holds(m_cameras, Camera) ? dynamic_cast<TSCustomProjectionSystem3D*>(Camera) : nullptr;
        bool changed = false;
        {
            std::lock_guard viewers(m_viewersLock);
            for (std::size_t i = m_viewers.size(); i-- > 0;)
                if (m_viewers[i].DrawSystem == DrawSystem && DrawSystem != nullptr) {
                    changed = m_viewers[i].Camera != camera;
                    m_viewers[i].Camera = camera;
                    break;
                }
        }
        if (changed)
            Invalidate(DrawSystem);
    } catch (...) {
        EndChange(true, 0);
        throw;
    }
    EndChange(true, 0);
}

// ---------------------------------------------------------------------------
// Events

void THalcyte3DProject::MemberEvent(TObject* Sender, std::int32_t Code, TSParam Param)
{
    if (IsDestroying() || Sender == nullptr)
        return;
    TSEventRecord record = Unwrap(Sender, Code, Param);
    // What the render itself causes (a depository applying its record) is
    // part of the picture being made, not a change to draw again.
    if (!InRenderThread()) {
        switch (record.Code) {
        case ecDestroying:
            ObjectDestroyed(record.Sender);
            break;
        case ecUpdateBegin:
        case ecBeginChange:
            PauseRendering();
            break;
        case ecUpdateEnd:
            // A moved object is drawn again where it went: a camera in its
            // viewers, anything else in all of them.
            Invalidate(record.Sender);
            ResumeRendering();
            break;
        case ecEndChange:
            ResumeRendering();
            break;
        case ecInvalidate:
            Invalidate(reinterpret_cast<TObject*>(record.Param));
            break;
        default:
            break;
        }
    }
    Events.Notify(this, ecRelayedEvent, reinterpret_cast<TSParam>(&record));
}

void THalcyte3DProject::CustomObjectEvent(TObject* Sender, std::int32_t Code, TSParam Param)
{
    if (IsDestroying() || Sender == nullptr)
        return;
    TSEventRecord record = Unwrap(Sender, Code, Param);
    if (record.Code == ecDestroying) {
        BeginChange(true, 0);
        try {
            RemoveDepository(record.Sender);
        } catch (...) {
            EndChange(true, 0);
            throw;
        }
        EndChange(true, 0);
    }
    Events.Notify(this, ecRelayedEvent, reinterpret_cast<TSParam>(&record));
}

void THalcyte3DProject::ObjectDestroyed(TObject* Object)
{
    BeginChange(true, 0);
    // Nothing may draw what goes now.
    PauseRendering();
    try {
        RemoveDepository(Object);
        if (const std::int32_t index = ViewerIndex(Object); index >= 0) {
            RemoveViewer(index);
        } else {
            std::vector<TSCustomDrawSystem3D*> lost;
            {
                std::lock_guard viewers(m_viewersLock);
                for (TSViewerEntry& entry : m_viewers)
                    if (entry.Camera != nullptr && entry.Camera == Object) {
                        entry.Camera = nullptr;
                        lost.push_back(entry.DrawSystem);
                    }
            }
            for (TSCustomDrawSystem3D* drawSystem : lost)
                Invalidate(drawSystem);
        }
    } catch (...) {
        ResumeRendering();
        EndChange(true, 0);
        throw;
    }
    ResumeRendering();
    EndChange(true, 0);
}

// ---------------------------------------------------------------------------
// Rendering

bool THalcyte3DProject::InRenderThread() const
{
    return m_renderThread.load() == std::this_thread::get_id();
}

void THalcyte3DProject::DoPauseBegin()
{
    Events.Notify(this, ecPauseBegin, 0);
}

void THalcyte3DProject::DoPauseEnd()
{
    Events.Notify(this, ecPauseEnd, 0);
}

void THalcyte3DProject::Invalidate(TObject* Object)
{
    {
        std::lock_guard viewers(m_viewersLock);
        m_dirty = true;
        ++m_invalidations;
        bool matched = false;
        // Every viewer of a drawing system or camera, not only the first.
        if (Object != nullptr)
            for (TSViewerEntry& entry : m_viewers)
                if (entry.DrawSystem == Object || (entry.Camera != nullptr && entry.Camera == Object)) {
                    entry.Flags |= 1;
                    matched = true;
                }
        if (!matched)
            m_redrawAll = true;
    }
    if (!IsChanging() && !IsPaused())
        QueueMakeImage();
}

void THalcyte3DProject::QueueMakeImage()
{
    if (IsDestroying() || IsChanging() || IsPaused() || m_thread == nullptr || !IsDirty())
        return;
    // From inside the render the new one follows it; from anywhere else it
    // replaces the running one.
    m_thread->QueueJob(!InRenderThread(), std::unique_ptr<TSThreadParams>(),
                       TSThreadJob::Of<&THalcyte3DProject::RenderJob>(this));
}

void THalcyte3DProject::RenderJob(TSThread* Thread, TSThreadParams*)
{
    struct Mark {
        std::atomic<std::thread::id>& Id;
        ~Mark() { Id = std::thread::id(); }
    } mark{m_renderThread};
    m_renderThread = std::this_thread::get_id();
    try {
        RenderDue(Thread);
    } catch (...) {
        // A stopped or failed render leaves the viewers due for the next one.
        if (!IsDestroying())
            Events.Notify(this, ecRenderFailed, 1);
    }
}

void THalcyte3DProject::RenderDue(TSThread* Thread)
{
    std::uint64_t started = 0;
    {
        std::lock_guard viewers(m_viewersLock);
        started = m_invalidations;
    }
    MakeImage(Thread);
    std::lock_guard viewers(m_viewersLock);
    // A change marked after the start is drawn by the render it queued.
    if (m_invalidations == started) {
        m_redrawAll = false;
        m_dirty = false;
    }
}

void THalcyte3DProject::MakeImage(TSThread* Thread)
{
    struct Job {
        TSCustomDrawSystem3D* DrawSystem;
        TSCustomProjectionSystem3D* Camera;
        bool Draw;
    };
    std::vector<Job> jobs;
    {
        std::lock_guard viewers(m_viewersLock);
        for (TSViewerEntry& entry : m_viewers) {
            jobs.push_back({entry.DrawSystem, entry.Camera, (entry.Flags & 1) != 0 || m_redrawAll});
            entry.Flags &= ~1;
        }
    }
    std::size_t at = 0;
    try {
        for (; at < jobs.size(); ++at) {
            const Job& job = jobs[at];
            if (!job.Draw || job.DrawSystem == nullptr || job.DrawSystem->IsDestroying() || !job.DrawSystem->Enabled())
                continue;
            if (Thread != nullptr) {
                // The name sits behind the drawing system's lock, which a
                // thread pausing this render may hold.
                TSLockable lock{*job.DrawSystem};
                LockForRender(lock, Thread);
                std::lock_guard held(lock, std::adopt_lock);
                Thread->SetMessage("Make Image : " + job.DrawSystem->Name());
            }
            ApplyDepositories(job.DrawSystem, Thread);
            job.DrawSystem->BeginDraw(0);
            try {
                if (job.Camera != nullptr) {
                    TSRenderContext context{job.Camera, m_lights, m_objects, job.DrawSystem, Thread};
                    m_objects->Draw(context);
                    m_cameras->Draw(context);
                    m_lights->Draw(context);
                }
            } catch (...) {
                job.DrawSystem->EndDraw(0);
                throw;
            }
            job.DrawSystem->EndDraw(0);
        }
        at = jobs.size();
        if (Thread != nullptr)
            Thread->CheckTerminated();
    } catch (...) {
        // What was not drawn stays due.
        std::lock_guard viewers(m_viewersLock);
        for (std::size_t i = at; i < jobs.size(); ++i)
            if (jobs[i].Draw)
                for (TSViewerEntry& entry : m_viewers)
                    if (entry.DrawSystem == jobs[i].DrawSystem)
                        entry.Flags |= 1;
        throw;
    }
}

void THalcyte3DProject::PauseRendering()
{
    if (IsDestroying())
        return;
    // A lock of its own, never the project's: objects announce their changes
    // holding their own locks, and the project's lock is held while it calls
    // them.
    std::lock_guard guard(m_pauseLock);
    if (++m_pauseCount == 1)
        DoPauseBegin();
    // The render's own changes cannot wait for the render.
    if (InRenderThread() || m_thread == nullptr)
        return;
    const bool mode = m_renderMode.load() != 0;
    std::int32_t wait = IsStopAtOnce(mode) ? 0 : PauseWait(mode);
    while (wait > 0 && m_thread->State() == tsRunning) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPauseStepMs));
        wait -= kPauseStepMs;
    }
    // No change may run under a drawing render: return only once it has left.
    while (!m_thread->Terminate(kStopWaitMs)) {
    }
}

void THalcyte3DProject::ResumeRendering()
{
    if (IsDestroying())
        return;
    std::lock_guard guard(m_pauseLock);
    std::int32_t count = m_pauseCount.load();
    while (count > 0 && !m_pauseCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count != 1)
        return;
    DoPauseEnd();
    if (!IsChanging())
        QueueMakeImage();
}

void THalcyte3DProject::DoEndChange(std::int32_t Param)
{
    TSProject::DoEndChange(Param);
    if (!IsChanging() && !IsPaused())
        QueueMakeImage();
}

// ---------------------------------------------------------------------------
// Questions of the administrator

std::int32_t THalcyte3DProject::FindHolder(TSHolderQuery* Query, TObject** Holder)
{
    if (Query == nullptr || Query->Object == nullptr)
        return 0;
    for (TSCustomChangeObject* list : Lists())
        if (Query->Object == list) {
            if (Holder != nullptr)
                *Holder = this;
            return 1;
        }
    if (ViewerIndex(Query->Object) >= 0) {
        if (Holder != nullptr)
            *Holder = this;
        return 1;
    }
    for (TSCustomChangeObject* list : Lists())
        if (list != nullptr && list->Process(ocFindHolder, reinterpret_cast<TSParam>(Query)) > 0) {
            if (Holder != nullptr)
                *Holder = Query->Holder;
            return 1;
        }
    return 0;
}

std::int32_t THalcyte3DProject::Process(std::int32_t Code, TSParam Param)
{
    const std::int32_t inherited = TSProject::Process(Code, Param);
    if (inherited >= 0)
        return inherited;
    switch (Code) {
    case pcCreateObject: {
        auto* request = reinterpret_cast<TSCreateObjectRecord*>(Param);
        if (request == nullptr || request->Class == nullptr ||
            !request->Class->InheritsFrom(&TSCustomChangeObject::ClassInfo))
            return -1;
        std::unique_ptr<TSObject> made(TSObject::Create(request->Class));
        if (!made)
            return -1;
        AddObject(request->Parent, made.get());
        TSHolderQuery query{made.get(), nullptr};
        // An object the project did not take is not left without owner.
        if (FindHolder(&query, &query.Holder) <= 0)
            return -1;
        request->Created = made.release();
        return 0;
    }
    case pcCanDelete: {
        auto* object = reinterpret_cast<TObject*>(Param);
        for (TSCustomChangeObject* list : Lists())
            if (object != nullptr && object == list)
                return 0;
        return -1;
    }
    case pcOpenEditor: {
        auto* object = reinterpret_cast<TObject*>(Param);
        if (object == nullptr || object == this)
            return -1;
        TSCommandRecord record;
        record.Project = this;
        record.Object = object;
        record.Depository = FindDepository(object);
        record.Command = icOpen;
        DispatchInterfaceCommand(object->ClassType(), record);
        return 0;
    }
    case pcFindDepository: {
        auto* slot = reinterpret_cast<TSObject**>(Param);
        if (slot == nullptr)
            return -1;
        *slot = FindDepository(*slot);
        return 0;
    }
    default:
        return -1;
    }
}

void THalcyte3DProject::BuildTree(TSDataBranch* Branch)
{
    if (Branch == nullptr)
        return;
    // Objects' locks come before the tree lock: none is held across the calls.
    auto describe = [this](TSDataBranch* Parent, TObject* Object, const std::string& Name) {
        TSDataBranch* child = TSDataBranch::Create(Name, Object, false);
        Parent->AddChild(child);
        TSCommandRecord record;
        record.Project = this;
        record.Object = Object;
        record.Command = icDescribe;
        record.Param = reinterpret_cast<TSParam>(child);
        DispatchInterfaceCommand(Object->ClassType(), record);
    };
    Branch->SetName(Name());
    Branch->SetData(this);
    Branch->SetCount(0);
    Branch->SetExpanded(true);
    TSDataBranch* viewers = TSDataBranch::Create(kViewersCategory, {}, true);
    Branch->AddChild(viewers);
    for (std::int32_t i = 0, n = ViewerCount(); i < n; ++i)
        if (TSCustomDrawSystem3D* drawSystem = GetViewer(i))
            describe(viewers, drawSystem, drawSystem->Name());
    TSDataBranch* scene = TSDataBranch::Create("Scene", {}, true);
    Branch->AddChild(scene);
    for (TSCustomChangeObject* list :
         {static_cast<TSCustomChangeObject*>(m_objects), static_cast<TSCustomChangeObject*>(m_lights),
          static_cast<TSCustomChangeObject*>(m_cameras)})
        describe(scene, list, list->Name());
    describe(Branch, m_customObjects, m_customObjects->Name());
}

std::int32_t HalcyteProjectCommand(TSCommandRecord* Record)
{
    if (Record == nullptr || Record->Command != icDescribe || Record->Object == nullptr)
        return -1;
    auto* project = dynamic_cast<THalcyte3DProject*>(Record->Object);
    if (project == nullptr)
        return -1;
    project->BuildTree(reinterpret_cast<TSDataBranch*>(Record->Param));
    return 0;
}

// ---------------------------------------------------------------------------
// The unit

void HcProject3DInitialization()
{
    RegisterRTDClass(&THalcyte3DProject::ClassInfo);
    RegisterInterfaceHandler(&THalcyte3DProject::ClassInfo, &HalcyteProjectCommand);
    SetInterfaceCaption(&THalcyte3DProject::ClassInfo, kCaption);
    // Offered only once the drawing system's unit has registered its class.
    if (TSClass viewer = FindRTDClass(kDrawingSystemClass)) {
        std::lock_guard guard(TreeLock());
        GetInterfaceEntry(&THalcyte3DProject::ClassInfo, ikCategories, true)
            ->ForceChild(kViewersCategory, true)
            ->ForceChild(kStandardViewer, true)
            ->SetData(viewer);
    }
    StartWindowStackWatch();
}

void HcProject3DFinalization()
{
    StopWindowStackWatch();
    UnregisterInterfaceHandler(&THalcyte3DProject::ClassInfo, &HalcyteProjectCommand);
    UnregisterRTDClass(&THalcyte3DProject::ClassInfo);
}
