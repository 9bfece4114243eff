#include "engine3d/model/SThreads.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/threads/ThreadNice.h"

// ---------------------------------------------------------------------------
// TSThreadParams

constinit const TSClassInfo TSThreadParams::ClassInfo{"TSThreadParams", &TPersistent::ClassInfo, nullptr};

TSThreadParams::~TSThreadParams()
{
    Clear();
}

void TSThreadParams::Clear()
{
    m_data.reset();
    m_size = 0;
}

void TSThreadParams::SetData(const void* Buffer, std::int32_t Size)
{
    if (Size <= 0 || Buffer == nullptr) {
        Clear();
        return;
    }
    try {
        auto block = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(Size));
        std::memcpy(block.get(), Buffer, static_cast<std::size_t>(Size));
        m_data = std::move(block);
        m_size = Size;
    } catch (...) {
        Clear();
        throw;
    }
}

std::int32_t TSThreadParams::GetData(void* Buffer, std::int32_t MaxSize) const
{
    const std::int32_t n = std::min(MaxSize, m_size);
    if (n <= 0 || Buffer == nullptr)
        return 0;
    std::memcpy(Buffer, m_data.get(), static_cast<std::size_t>(n));
    return n;
}

void TSThreadParams::Assign(TPersistent* Source)
{
    if (auto* source = dynamic_cast<TSThreadParams*>(Source)) {
        if (source != this)
            SetData(source->m_data.get(), source->m_size);
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------
// The unit

namespace {

std::atomic<TSObjectsList*> gThreads{nullptr};

// The nice value of the unit's start, to which thread priorities are relative.
std::atomic<int> gBaseNice{0};

// The nice value for a thread priority: the five steps around normal are five
// nice levels apart; idle and time-critical are the ends of the scale.
int NiceFor(std::int32_t Priority)
{
    if (Priority <= -15)
        return 19;
    if (Priority >= 15)
        return -20;
    return gBaseNice - 5 * std::clamp(Priority, -2, 2);
}

std::int32_t Saturate(std::int64_t Value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(Value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void SThreadsInitialization()
{
    gBaseNice = plat::ThreadNice(plat::CurrentThreadId()).value_or(0);
    gThreads.store(new TSObjectsList("Global List of SThread"));
}

void SThreadsFinalization()
{
    delete gThreads.exchange(nullptr);
}

TSObjectsList* GlobalThreadsList()
{
    return gThreads.load();
}

// ---------------------------------------------------------------------------
// TSThread

constinit const TSClassInfo TSThread::ClassInfo{"TSThread", &TSCustomChangeObject::ClassInfo, &TSNewObject<TSThread>};

// What the object and its worker threads share: how many workers may still
// touch the object, and the gate at which suspended workers wait. Workers hold
// it, so it outlives the object when they need it to.
struct TSThread::Workers {
    std::mutex Lock;
    std::condition_variable Changed;
    int Live = 0;
    // An object whose delete gave up waiting: the last worker to leave ends it.
    TSThread* Orphan = nullptr;
};

TSThread::TSThread() : m_workers(std::make_shared<Workers>()) {}

void TSThread::Initialize()
{
    TSCustomChangeObject::Initialize();
    m_madeByLibrary = (Flags() & ofConstructing) != 0;
    if (TSObjectsList* threads = GlobalThreadsList())
        threads->Add(this);
}

void TSThread::BeforeDestruction() noexcept
{
    TSCustomChangeObject::BeforeDestruction();
    // Being destroyed, the object starts no job; the running one is asked to
    // stop, and its worker is waited for because it uses the object to the end.
    {
        TSObjectLock held(*this);
        m_pending = {};
        m_terminateRequested = true;
    }
    WakeWorkers();
    // A worker deleting its own object would only wait for itself.
    if (!InJobThread()) {
        std::unique_lock lock(m_workers->Lock);
        m_workers->Changed.wait_for(lock, std::chrono::milliseconds(kThreadDestroyWaitMs),
                                    [this] { return m_workers->Live == 0; });
    }
    // The object is no longer live from here on, however long a worker keeps it.
    if (TSObjectsList* threads = GlobalThreadsList())
        threads->Remove(this);
}

bool TSThread::DestructionDeferred() noexcept
{
    std::lock_guard lock(m_workers->Lock);
    if (m_workers->Live == 0)
        return false;
    m_workers->Orphan = this;
    return true;
}

TSThread::~TSThread() = default;

std::string TSThread::Message() const
{
    TSObjectLock held(*this);
    return m_message;
}

bool TSThread::HasWorker() const
{
    TSObjectLock held(*this);
    return m_workerId != std::thread::id();
}

bool TSThread::QueueJob(bool Restart, std::unique_ptr<TSThreadParams>&& Params, TSThreadJob Job)
{
    // An object on the stack or inside another would free the memory its
    // worker runs on without waiting: such objects take no worker jobs.
    if (!m_madeByLibrary || IsDestroying() || Job.Code == nullptr)
        return false;
    TSObjectLock held(*this);
    if (IsDestroying() || m_synchronous)
        return false;
    m_pending = {std::move(Params), Job};
    Start(Restart);
    return true;
}

void TSThread::Start(bool Restart)
{
    TSObjectLock held(*this);
    if (m_pending.Routine.Code == nullptr)
        return;
    if (m_workerId != std::thread::id()) {
        // A cancel asked for earlier stands: a later job only adds its own.
        if (Restart)
            m_terminateRequested = true;
        return;
    }
    {
        std::lock_guard lock(m_workers->Lock);
        ++m_workers->Live;
    }
    std::thread worker;
    try {
        worker = std::thread([this, workers = m_workers] {
            WorkerMain();
            // The last touch of the object, unless its delete has handed its
            // end to this worker; from here on only the shared part is used.
            TSThread* orphan = nullptr;
            {
                std::lock_guard lock(workers->Lock);
                if (--workers->Live == 0)
                    std::swap(orphan, workers->Orphan);
                workers->Changed.notify_all();
            }
            if (orphan != nullptr)
                EndDestruction(orphan);
        });
    } catch (...) {
        // No worker: the job stays pending and the state as it is.
        std::lock_guard lock(m_workers->Lock);
        --m_workers->Live;
        return;
    }
    m_workerId = worker.get_id();
    m_workerTid = 0;
    worker.detach();
    m_running = std::move(m_pending);
    m_pending = {};
    m_terminateRequested = false;
}

void TSThread::WorkerMain()
{
    {
        // Blocks until the starter has recorded this worker and its job.
        TSObjectLock held(*this);
        m_workerTid = plat::CurrentThreadId();
        // Where the system refuses a priority the worker runs at the one it has.
        plat::SetThreadNice(m_workerTid, NiceFor(m_priority));
    }
    {
        std::unique_lock lock(m_workers->Lock);
        m_workers->Changed.wait(lock, [this] { return !m_suspended || m_terminateRequested; });
    }
    RunJob();

    bool fresh = false;
    std::int32_t old = tsIdle;
    {
        TSObjectLock held(*this);
        m_workerId = {};
        m_workerTid = 0;
        Start(false);
        fresh = m_workerId != std::thread::id();
        if (!fresh)
            old = m_state.exchange(tsIdle);
    }
    if (!fresh && old != tsIdle && !IsDestroying())
        DoStateChanged(old);
}

namespace {
thread_local TSThread* tCurrentThread = nullptr;
}

TSThread* TSThread::Current()
{
    return tCurrentThread;
}

void TSThread::RunJob()
{
    // A job may run another object's job synchronously: the outer one comes back after.
    TSThread* const outer = tCurrentThread;
    tCurrentThread = this;
    struct Restore {
        TSThread* Outer;
        ~Restore() { tCurrentThread = Outer; }
    } restore{outer};
    TSThreadJob job;
    TSThreadParams* params = nullptr;
    {
        TSObjectLock held(*this);
        job = m_running.Routine;
        params = m_running.Params.get();
    }
    std::int32_t end = tsDone;
    try {
        SetState(tsRunning);
        job.Code(job.Data, this, params);
    } catch (const EAbort&) {
        end = tsAborted;
    } catch (...) {
        end = m_terminateRequested ? tsAborted : tsFailed;
    }
    try {
        SetState(end);
    } catch (...) {
        // The job is over; nothing of its end may leave the runner.
    }
}

bool TSThread::RunSynchronously(std::unique_ptr<TSThreadParams>&& Params, TSThreadJob Job)
{
    if (IsDestroying() || Job.Code == nullptr)
        return false;
    {
        TSObjectLock held(*this);
        // A run inside a running job would free the Params that job still uses.
        if (IsDestroying() || m_workerId != std::thread::id() || m_synchronous)
            return false;
        m_synchronous = true;
        m_syncId = std::this_thread::get_id();
        m_running = {std::move(Params), Job};
        m_pending = {};
        // A stop asked for before the run stands: the caller may have cancelled
        // before the job got under way.
    }
    RunJob();
    TSObjectLock held(*this);
    m_synchronous = false;
    m_syncId = {};
    // The request was for this run.
    m_terminateRequested = false;
    return true;
}

void TSThread::SetState(std::int32_t NewState)
{
    const std::int32_t old = m_state.exchange(NewState);
    if (old != NewState && !IsDestroying())
        DoStateChanged(old);
    DoCheckTerminated();
}

bool TSThread::StoreProgress(std::int64_t Position)
{
    TSObjectLock held(*this);
    m_position = Saturate(Position);
    std::int32_t progress = 0;
    // At most 2^32 * 10^6 before the division: no overflow in 64 bits.
    const std::int64_t span = static_cast<std::int64_t>(m_rangeMax) - m_rangeMin;
    if (span != 0)
        progress = Saturate((static_cast<std::int64_t>(m_position) - m_rangeMin) * kProgressFull / span);
    return m_progress.exchange(progress) != progress;
}

void TSThread::SetRange(std::int32_t Min, std::int32_t Max, std::int32_t Position)
{
    bool changed = false;
    {
        TSObjectLock held(*this);
        m_rangeMin = Min;
        m_rangeMax = Max;
        changed = StoreProgress(Position);
    }
    if (changed && !IsDestroying())
        DoProgressChanged();
    DoCheckTerminated();
}

void TSThread::Step(std::int32_t Delta)
{
    bool changed = false;
    {
        TSObjectLock held(*this);
        changed = StoreProgress(static_cast<std::int64_t>(m_position) + Delta);
    }
    if (changed && !IsDestroying())
        DoProgressChanged();
    DoCheckTerminated();
}

void TSThread::SetMessage(const std::string& Text)
{
    bool changed = false;
    {
        TSObjectLock held(*this);
        if (Text != m_message) {
            m_message = Text;
            changed = true;
        }
    }
    if (changed && !IsDestroying())
        DoMessageChanged();
    DoCheckTerminated();
}

bool TSThread::CheckTerminated()
{
    return DoCheckTerminated();
}

bool TSThread::InJobThread() const
{
    const std::thread::id me = std::this_thread::get_id();
    TSObjectLock held(*this);
    return m_workerId == me || (m_synchronous && m_syncId == me);
}

bool TSThread::DoCheckTerminated()
{
    if (!InJobThread())
        return false;
    PauseWhileSuspended();
    TSObjectLock held(*this);
    if (m_terminateRequested && m_state == tsRunning)
        throw EAbort();
    return true;
}

void TSThread::PauseWhileSuspended()
{
    if (!m_suspended || m_synchronous || m_state != tsRunning)
        return;
    std::unique_lock lock(m_workers->Lock);
    m_workers->Changed.wait(lock, [this] { return !m_suspended || m_terminateRequested; });
}

void TSThread::WakeWorkers()
{
    {
        std::lock_guard lock(m_workers->Lock);
    }
    m_workers->Changed.notify_all();
}

void TSThread::RequestTerminate()
{
    m_terminateRequested = true;
    WakeWorkers();
}

bool TSThread::Terminate(std::int32_t TimeoutMs)
{
    if (IsDestroying())
        return !HasWorker();
    if (InJobThread())
        throw EAbort();
    {
        TSObjectLock held(*this);
        m_pending = {};
        m_terminateRequested = true;
    }
    WakeWorkers();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(TimeoutMs, 0));
    for (;;) {
        if (!HasWorker())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TSThread::Suspend()
{
    m_suspended = true;
}

bool TSThread::SetPriority(std::int32_t Priority)
{
    TSObjectLock held(*this);
    if (m_workerTid != 0 && !plat::SetThreadNice(m_workerTid, NiceFor(Priority)))
        return false;
    m_priority = Priority;
    return true;
}

void TSThread::DoStateChanged(std::int32_t OldState)
{
    Events.Notify(this, ecThreadState, OldState);
}

void TSThread::DoMessageChanged()
{
    Events.Notify(this, ecThreadMessage, 0);
}

void TSThread::DoProgressChanged()
{
    Events.Notify(this, ecThreadProgress, m_progress.load());
}
