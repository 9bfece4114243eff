#pragma once
// Jobs on a worker thread: a TSThread runs one job at a time, keeps one
// pending job that follows or replaces it, and reports state, progress in parts
// per million and a message through its events. Cancellation is cooperative: a
// job stops with EAbort at its next progress report or check.

#include "engine3d/model/SGeneral.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

// A byte block handed to a job. Not copyable; Assign copies the bytes.
class TSThreadParams final : public TPersistent {
    S_CLASS(TSThreadParams)
public:
    TSThreadParams() = default;
    ~TSThreadParams() override;

    const unsigned char* Data() const { return m_data.get(); }
    std::int32_t Size() const { return m_size; }

    virtual void Clear();
    // Size 0 or less clears; otherwise the block becomes a copy of Size bytes
    // of Buffer (on failure it is cleared and the error passes on).
    virtual void SetData(const void* Buffer, std::int32_t Size);
    // Copies min(MaxSize, Size) bytes into Buffer; returns that count (0 when
    // nothing was copied).
    virtual std::int32_t GetData(void* Buffer, std::int32_t MaxSize) const;
    void Assign(TPersistent* Source) override;

private:
    std::unique_ptr<unsigned char[]> m_data;
    std::int32_t m_size = 0;
};

class TSThread;

// A job: Code(Data, Thread, Params). A job without Code is no job.
struct TSThreadJob {
    using Method = void (*)(void* Data, TSThread* Thread, TSThreadParams* Params);

    Method Code = nullptr;
    void* Data = nullptr;

    // The job of a member function void C::M(TSThread*, TSThreadParams*) for
    // Object: TSThreadJob::Of<&C::M>(this).
    template <auto MethodPtr, class C>
    static TSThreadJob Of(C* Object)
    {
        return {&Thunk<MethodPtr, C>, Object};
    }

private:
    template <auto MethodPtr, class C>
    static void Thunk(void* Data, TSThread* Thread, TSThreadParams* Params)
    {
        (static_cast<C*>(Data)->*MethodPtr)(Thread, Params);
    }
};

// States of a TSThread.
enum TSThreadState : std::int32_t {
    tsIdle = 0,
    tsRunning = 1,
    tsDone = 2,
    tsFailed = 4,
    tsAborted = 5,
};

// Events of a TSThread, announced in the thread that causes them (mostly the worker).
enum TSThreadEvent : std::int32_t {
    ecThreadProgress = 4096,  // Param: the new progress
    ecThreadMessage = 4097,   // Param: 0; the text is in Message
    ecThreadState = 4098,     // Param: the previous state; the new one is in State
};

// Progress at the top of a range.
inline constexpr std::int32_t kProgressFull = 1000000;

// How long `delete` of a TSThread waits for a worker that is still running.
inline constexpr std::int32_t kThreadDestroyWaitMs = 2000;

// A change object that owns at most one worker thread at a time. A worker
// exists only while a job runs. Objects are made through the class library
// (TSObject::Create<TSThread>) and ended with delete: only such an object
// takes jobs for a worker, so no worker outlives the memory it runs on.
// Deleting the object drops the pending job, asks a running one to stop and
// waits up to kThreadDestroyWaitMs for its worker; a worker still running then
// (a job that reaches no cancellation point) ends the object itself when it
// leaves. Never delete it from a synchronous run of its own.
// Not copyable or movable.
class TSThread : public TSCustomChangeObject {
    S_CLASS(TSThread)
public:
    ~TSThread() override;

    // Hands a job to the worker and takes Params (moved from) when it is
    // accepted. Ignored, leaving Params with the caller, while the object is
    // being destroyed or runs synchronously, for a job without Code, or when
    // the object was not made through the class library. With
    // Restart a running job is asked to stop and the new one follows; without
    // it the new one waits. A newer pending job replaces an older one.
    bool QueueJob(bool Restart, std::unique_ptr<TSThreadParams>&& Params, TSThreadJob Job);
    // Runs the job in the caller's thread and returns when it has ended.
    // Ignored, leaving Params with the caller, while being destroyed, for a job
    // without Code, or while a worker exists. A stop requested before the run
    // stops it at its first cancellation point; when the run has ended, the
    // request is cleared, so that it stops no later run.
    bool RunSynchronously(std::unique_ptr<TSThreadParams>&& Params, TSThreadJob Job);

    // Progress reporting from inside a job; each is a cancellation point.
    void SetRange(std::int32_t Min, std::int32_t Max, std::int32_t Position);
    void Step(std::int32_t Delta);
    void SetMessage(const std::string& Text);
    // Raises EAbort inside the running job when it was asked to stop; false
    // (and nothing else) in any other thread.
    bool CheckTerminated();
    // The thread object whose job runs on the calling thread, or nullptr.
    static TSThread* Current();

    // Asks the running job to stop at its next cancellation point.
    void RequestTerminate();
    // Stops the work: drops the pending job, asks the running one to stop and
    // waits up to TimeoutMs for its worker to end. A worker that outlives the
    // wait stays known: no other starts before it ends. Inside the job, raises
    // EAbort. Returns true when no worker is left.
    bool Terminate(std::int32_t TimeoutMs);
    // From now on every worker waits before its job and a running one pauses
    // at its next cancellation point, until it is asked to stop.
    void Suspend();
    // A thread priority (-15 idle, -2 lowest ... 0 normal ... 2 highest, 15
    // time-critical) as a nice value for the worker; kept for later workers
    // when there is no worker or the system allowed it. False when refused.
    bool SetPriority(std::int32_t Priority);

    std::int32_t State() const { return m_state.load(); }
    std::int32_t Progress() const { return m_progress.load(); }
    std::string Message() const;
    bool IsSynchronous() const { return m_synchronous.load(); }
    bool HasWorker() const;
    std::int32_t Priority() const { return m_priority.load(); }

    void Initialize() override;

protected:
    // Only the class library makes objects (TSObject::Create).
    TSThread();
    friend class TSObject;

    virtual void DoStateChanged(std::int32_t OldState);
    virtual void DoMessageChanged();
    virtual void DoProgressChanged();
    // The cancellation point.
    virtual bool DoCheckTerminated();
    // Starts the pending job (under the lock).
    virtual void Start(bool Restart);

    void BeforeDestruction() noexcept override;
    bool DestructionDeferred() noexcept override;

private:
    struct Job {
        std::unique_ptr<TSThreadParams> Params;
        TSThreadJob Routine;
    };
    struct Workers;

    void SetState(std::int32_t NewState);
    // Under the lock: the position, saturated, and the progress it gives; true
    // when the progress changed.
    bool StoreProgress(std::int64_t Position);
    void RunJob();
    void WorkerMain();
    bool InJobThread() const;
    void WakeWorkers();
    void PauseWhileSuspended();

    std::shared_ptr<Workers> m_workers;
    // Made by the class library, so ended by delete.
    bool m_madeByLibrary = false;
    // The worker that runs the current job; none while idle.
    std::thread::id m_workerId;
    int m_workerTid = 0;
    std::thread::id m_syncId;
    std::atomic<bool> m_terminateRequested{false};
    std::atomic<bool> m_suspended{false};
    std::atomic<std::int32_t> m_priority{0};
    std::atomic<bool> m_synchronous{false};
    std::string m_message;
    std::atomic<std::int32_t> m_state{tsIdle};
    std::atomic<std::int32_t> m_progress{0};
    std::int32_t m_rangeMin = 0;
    std::int32_t m_rangeMax = 0;
    std::int32_t m_position = 0;
    Job m_running;
    Job m_pending;
};

// "Global List of SThread", or nullptr while the unit does not run.
TSObjectsList* GlobalThreadsList();

// Start and end of the unit (EngineUnits.h): "Global List of SThread" and the
// nice value that thread priorities are relative to.
void SThreadsInitialization();
void SThreadsFinalization();
