#include "engine3d/scene/SScene3D.h"

#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include <unistd.h>

namespace {

std::atomic<TSObjectsList*> gScenes{nullptr};
std::atomic<std::uint64_t> gSceneCounter{0};

// How long a change waits for the image in the making to stop.
constexpr std::int32_t kStopWaitMs = kThreadDestroyWaitMs;

std::string NewSceneName()
{
    const auto ticks =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return "TSScene3D #" + std::to_string(gSceneCounter.fetch_add(1)) + "/ PrID #" + std::to_string(getpid()) +
           "/ ThID #" + std::to_string(gettid()) + "/ Time #" + std::to_string(ticks);
}

// Marks the calling thread as the one that makes an image, for a scope.
class ThreadMark {
public:
    explicit ThreadMark(std::atomic<std::thread::id>& Mark) : m_mark(Mark) { m_mark = std::this_thread::get_id(); }
    ~ThreadMark() { m_mark = std::thread::id(); }
    ThreadMark(const ThreadMark&) = delete;
    ThreadMark& operator=(const ThreadMark&) = delete;

private:
    std::atomic<std::thread::id>& m_mark;
};

}  // namespace

TSObjectsList* GlobalScenesList()
{
    return gScenes.load();
}

void SScene3DInitialization()
{
    if (gScenes.load() == nullptr)
        gScenes.store(new TSObjectsList("Global List of SScene3D"));
}

void SScene3DFinalization()
{
    delete gScenes.exchange(nullptr);
}

constinit const TSClassInfo TSSimpleScene3D::ClassInfo{"TSSimpleScene3D", &TSCustomChangeObject::ClassInfo,
                                                       &TSNewObject<TSSimpleScene3D>};

void TSSimpleScene3D::Initialize()
{
    TSCustomChangeObject::Initialize();
    SetName(NewSceneName());
    m_thread = TSObject::Create<TSThread>(this);
    m_objects = TSObject::Create<TSCustomConstruction3DList>(this);
    m_objects->SetName("Objects");
    m_lights = TSObject::Create<TSCustomLightSystem3DList>(this);
    m_lights->SetName("Lights");
    m_lights->SetVisible(false);
    m_cameras = TSObject::Create<TSCustomConstruction3DList>(this);
    m_cameras->SetName("Cameras");
    m_cameras->SetVisible(false);
    for (TSCustomChangeObject* list :
         {static_cast<TSCustomChangeObject*>(m_objects), static_cast<TSCustomChangeObject*>(m_lights),
          static_cast<TSCustomChangeObject*>(m_cameras)})
        list->Events.Add(Handler());
    if (TSObjectsList* scenes = GlobalScenesList())
        scenes->Add(this);
}

TSSimpleScene3D::~TSSimpleScene3D()
{
    Finalize();
    if (TSObjectsList* scenes = GlobalScenesList())
        scenes->Remove(this);
    // No image may still draw what is freed below: however long it takes to
    // stop, it is waited for.
    StopImage(true);
    if (TSCustomDrawSystem3D* drawSystem = m_drawSystem.exchange(nullptr)) {
        drawSystem->Events.Remove(Handler());
        delete drawSystem;
    }
    // A camera taken out of Cameras outlives the scene.
    if (TSCustomConstruction3D* camera = m_camera.exchange(nullptr))
        camera->Events.Remove(Handler());
    FreeList(m_objects);
    FreeList(m_lights);
    FreeList(m_cameras);
    delete m_thread;
}

template <class List>
void TSSimpleScene3D::FreeList(List*& Owned)
{
    List* list = std::exchange(Owned, nullptr);
    if (list == nullptr)
        return;
    list->Events.Remove(Handler());
    try {
        list->Clear();
    } catch (...) {
        // The list goes anyway.
    }
    delete list;
}

bool TSSimpleScene3D::IsImageDue() const
{
    std::lock_guard due(m_dueLock);
    return m_due;
}

// ---------------------------------------------------------------------------
// Watching

void TSSimpleScene3D::SceneEvent(TObject* Sender, std::int32_t EventCode, TSParam Param)
{
    if (IsDestroying())
        return;
    if (EventCode == ecDestroying) {
        if (Sender != nullptr && Sender == m_drawSystem.load())
            SetDrawSystem(nullptr);
        else if (Sender != nullptr && Sender == m_camera.load())
            SetCamera(nullptr);
        return;
    }
    std::int32_t code = EventCode;
    TSParam param = Param;
    if (EventCode == ecMemberEvent && Param != 0) {
        const auto* record = reinterpret_cast<const TSEventRecord*>(Param);
        code = record->Code;
        param = record->Param;
        // A member going may be the one being drawn.
        if (code == ecDestroying) {
            StopImage();
            return;
        }
    }
    switch (code) {
    case ecBeginChange:
    case ecUpdateBegin:
        SourceBegins(Sender);
        break;
    case ecEndChange:
    case ecUpdateEnd:
        SourceEnds(Sender);
        break;
    case ecInvalidate:
        Invalidate(param);
        break;
    default:
        break;
    }
}

void TSSimpleScene3D::SourceBegins(TObject* Source)
{
    {
        std::lock_guard updates(m_updateLock);
        ++m_openUpdates[Source];
    }
    BeginUpdate(0);
}

void TSSimpleScene3D::SourceEnds(TObject* Source)
{
    {
        std::lock_guard updates(m_updateLock);
        // An end whose beginning the scene did not see closes nothing.
        const auto open = m_openUpdates.find(Source);
        if (open == m_openUpdates.end())
            return;
        if (--open->second <= 0)
            m_openUpdates.erase(open);
    }
    EndUpdate(0);
}

void TSSimpleScene3D::CloseSource(TObject* Source)
{
    std::int32_t open = 0;
    {
        std::lock_guard updates(m_updateLock);
        const auto at = m_openUpdates.find(Source);
        if (at == m_openUpdates.end())
            return;
        open = at->second;
        m_openUpdates.erase(at);
    }
    for (std::int32_t i = 0; i < open; ++i)
        EndUpdate(0);
}

// ---------------------------------------------------------------------------
// Updates and changes

// The nesting has a small lock of its own: the watched objects announce their
// updates holding their own locks (a frame its lock while it transforms), and
// an image drawn under the scene's lock takes those locks.
void TSSimpleScene3D::BeginUpdate(TSParam Param)
{
    if (IsDestroying())
        return;
    bool first = false;
    {
        std::lock_guard updates(m_updateLock);
        first = ++m_updateNesting == 1;
    }
    if (first)
        DoBeginUpdate(Param);
}

void TSSimpleScene3D::EndUpdate(TSParam Param)
{
    if (IsDestroying())
        return;
    {
        std::lock_guard updates(m_updateLock);
        if (m_updateNesting.load() <= 0 || --m_updateNesting > 0)
            return;
    }
    DoEndUpdate(Param);
    Redraw();
}

void TSSimpleScene3D::DoBeginUpdate(TSParam Param)
{
    Events.Notify(this, ecSceneUpdateBegin, Param);
}

void TSSimpleScene3D::DoEndUpdate(TSParam Param)
{
    Events.Notify(this, ecSceneUpdateEnd, Param);
}

void TSSimpleScene3D::DoEndChange(std::int32_t Param)
{
    TSCustomChangeObject::DoEndChange(Param);
    Redraw();
}

void TSSimpleScene3D::SetAsynchronous(bool Value)
{
    TSObjectLock guard(*this);
    m_asynchronous = Value;
}

void TSSimpleScene3D::SetDrawSystem(TSCustomDrawSystem3D* DrawSystem)
{
    if (DrawSystem == m_drawSystem.load() || IsDestroying())
        return;
    // Within the update no new image starts; the one in the making stops
    // before its drawing system changes hands.
    BeginUpdate(0);
    try {
        StopImage();
        TSObjectLock guard(*this);
        TSCustomDrawSystem3D* old = m_drawSystem.load();
        if (DrawSystem != old) {
            if (old != nullptr) {
                old->Events.Remove(Handler());
                CloseSource(old);
            }
            if (DrawSystem != nullptr)
                DrawSystem->Events.Add(Handler());
            m_drawSystem = DrawSystem;
            Invalidate(0);
        }
    } catch (...) {
        EndUpdate(0);
        throw;
    }
    EndUpdate(0);
}

void TSSimpleScene3D::SetCamera(TSCustomConstruction3D* Camera)
{
    if (Camera == m_camera.load() || IsDestroying())
        return;
    if (Camera != nullptr && (m_cameras == nullptr || m_cameras->IndexOf(Camera) < 0))
        return;
    BeginUpdate(0);
    try {
        StopImage();
        TSObjectLock guard(*this);
        TSCustomConstruction3D* old = m_camera.load();
        if (Camera != old && (Camera == nullptr || m_cameras->IndexOf(Camera) >= 0)) {
            if (old != nullptr) {
                old->Events.Remove(Handler());
                CloseSource(old);
            }
            if (Camera != nullptr)
                Camera->Events.Add(Handler());
            m_camera = Camera;
            Invalidate(0);
        }
    } catch (...) {
        EndUpdate(0);
        throw;
    }
    EndUpdate(0);
}

// ---------------------------------------------------------------------------
// Image making

void TSSimpleScene3D::Invalidate(TSParam Param)
{
    bool first = false;
    {
        std::lock_guard due(m_dueLock);
        first = !m_due;
        m_due = true;
        ++m_generation;
    }
    if (first)
        Events.Notify(this, ecInvalidate, Param);
    if (!IsChanging() && !IsUpdating())
        Redraw();
}

bool TSSimpleScene3D::InImageThread() const
{
    const std::thread::id me = std::this_thread::get_id();
    return m_painter.load() == me || m_jobThread.load() == me;
}

bool TSSimpleScene3D::CanDraw() const
{
    return CanDraw(m_drawSystem.load(), dynamic_cast<TSCustomProjectionSystem3D*>(m_camera.load()));
}

bool TSSimpleScene3D::CanDraw(const TSCustomDrawSystem3D* DrawSystem, const TSCustomProjectionSystem3D* Camera)
{
    // One that is going counts as gone.
    return DrawSystem != nullptr && Camera != nullptr && !DrawSystem->IsDestroying() && !Camera->IsDestroying();
}

void TSSimpleScene3D::QueueImage()
{
    m_thread->QueueJob(true, std::unique_ptr<TSThreadParams>(), TSThreadJob::Of<&TSSimpleScene3D::ImageJob>(this));
}

void TSSimpleScene3D::Redraw()
{
    if (IsDestroying() || IsChanging() || IsUpdating() || m_thread == nullptr)
        return;
    if (!IsImageDue() || !CanDraw())
        return;
    if (m_asynchronous) {
        QueueImage();
        return;
    }
    // Inside its own image the scene cannot draw again; the image stays due.
    if (InImageThread())
        return;
    // Two threads never draw into one drawing system: the worker's image stops
    // first. A worker that does not stop in time gets the image queued behind it.
    if (m_thread->HasWorker() && !m_thread->Terminate(kStopWaitMs)) {
        QueueImage();
        return;
    }
    MakeImageJob(nullptr, nullptr);
}

void TSSimpleScene3D::StopImage(bool Unbounded)
{
    if (m_thread == nullptr || InImageThread())
        return;
    while (m_thread->HasWorker() && !m_thread->Terminate(kStopWaitMs) && Unbounded)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // A synchronous image of another thread ends by itself.
    std::unique_lock drawing(m_drawingLock);
    if (Unbounded)
        m_drawingEnded.wait(drawing, [this] { return !m_drawing; });
    else
        m_drawingEnded.wait_for(drawing, std::chrono::milliseconds(kStopWaitMs), [this] { return !m_drawing; });
}

void TSSimpleScene3D::ImageJob(TSThread* Thread, TSThreadParams* Params)
{
    ThreadMark mark(m_jobThread);
    MakeImageJob(Thread, Params);
}

std::int32_t TSSimpleScene3D::MakeImageJob(TSThread* Thread, TSThreadParams*)
{
    // An update or change that began after the image was asked for redraws
    // at its end.
    if (!IsImageDue() || IsUpdating() || IsChanging() || IsDestroying())
        return 0;
    try {
        MakeImage(Thread);
    } catch (...) {
        if (!IsDestroying())
            Events.Notify(this, ecImageFailed, 1);
    }
    return 0;
}

// Waits for the image of another thread, then holds the drawing for a scope.
class TSSimpleScene3D::DrawingTurn {
public:
    explicit DrawingTurn(TSSimpleScene3D& Scene) : m_scene(Scene)
    {
        std::unique_lock drawing(m_scene.m_drawingLock);
        m_scene.m_drawingEnded.wait(drawing, [this] { return !m_scene.m_drawing; });
        m_scene.m_drawing = true;
    }
    ~DrawingTurn()
    {
        {
            std::lock_guard drawing(m_scene.m_drawingLock);
            m_scene.m_drawing = false;
        }
        m_scene.m_drawingEnded.notify_all();
    }
    DrawingTurn(const DrawingTurn&) = delete;
    DrawingTurn& operator=(const DrawingTurn&) = delete;

private:
    TSSimpleScene3D& m_scene;
};

void TSSimpleScene3D::MakeImage(TSThread* Thread)
{
    if (m_painter.load() == std::this_thread::get_id())
        return;
    DrawingTurn turn(*this);
    ThreadMark mark(m_painter);
    TSCustomDrawSystem3D* drawSystem = m_drawSystem.load();
    auto* camera = dynamic_cast<TSCustomProjectionSystem3D*>(m_camera.load());
    if (!CanDraw(drawSystem, camera))
        return;
    std::uint64_t generation = 0;
    {
        std::lock_guard due(m_dueLock);
        generation = m_generation;
    }
    TSRenderContext context{camera, m_lights, m_objects, drawSystem, Thread};
    try {
        drawSystem->BeginDraw(0);
        if (Thread != nullptr)
            Thread->SetMessage("MakeImage.1");
        m_objects->Draw(context);
        if (Thread != nullptr)
            Thread->SetMessage("MakeImage.2");
        m_lights->Draw(context);
        if (Thread != nullptr)
            Thread->SetMessage("MakeImage.3");
        m_cameras->Draw(context);
    } catch (...) {
        drawSystem->EndDraw(0);
        throw;
    }
    drawSystem->EndDraw(0);
    std::lock_guard due(m_dueLock);
    if (m_generation == generation)
        m_due = false;
}
