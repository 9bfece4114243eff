#pragma once
// The running jobs of the process in start order. One mutex guards the list: the GUI
// thread appends, each job's thread removes its own entry as its last act.
//
// Stopping all jobs is cooperative: TerminateAllFlag makes every meter's next report
// throw the cancel exception, each job unwinds through its own handlers, and the list
// waits a bounded time for them to go. No thread is killed.

#include <chrono>
#include <memory>
#include <string>

#include "jobs/Thread.h"

class CThreadList final {
public:
    // How long TerminateAll waits for the jobs to end.
    static constexpr std::chrono::milliseconds kTerminateWait{5000};

    CThreadList();
    // TerminateAll.
    ~CThreadList();
    // Its jobs point back at it: neither copied nor moved.
    CThreadList(const CThreadList&) = delete;
    CThreadList& operator=(const CThreadList&) = delete;

    // Starts a metered job with its progress window titled name; 1 on success, 0 when
    // the thread could not be made (the window is closed and the user told). GUI thread.
    int RunThread(std::string name, CThread::MeteredJob job, void* data, CThread::DoneFunction done, void* doneData,
                  int priority);
    // Starts a plain job, no window; same results.
    int RunThread(std::string name, CThread::PlainJob job, void* data, int priority);

    // Job at list index: 1 normal, 2 above normal, 3 below normal; other codes leave the
    // thread's priority alone, and so does a raise the system does not permit. 1, or 0
    // for no such index.
    int SetPriority(int index, int code);
    // The priority code of the job's thread, its raw nice value when it matches no code,
    // 0 for no such index.
    int GetPriority(int index) const;
    // The job's name, "" for no such index.
    std::string GetName(int index) const;
    // Index of the n-th job (from 1, in list order) named exactly name, or -1.
    int GetIndex(const std::string& name, int n) const;
    int GetCount() const;

    // Sets TerminateAllFlag for good and waits up to kTerminateWait for every job to
    // end; on the GUI thread it keeps serving the jobs' window calls meanwhile. Jobs
    // still running then are taken off the list and left to end on their own. True
    // when every job ended.
    bool TerminateAll();

    // Takes job off its list if it is still listed; any thread.
    static void Remove(CThread* job);
    // The library is going: jobs end without touching a window or asking anybody.
    static bool Unloading();

private:
    // TerminateAll; when unloading, the windows are left as they are (the window
    // system may be half torn down by then) and only the jobs' own calls are served.
    bool Stop(bool unloading);
    int Start(std::string name, CThread::MeteredJob metered, CThread::PlainJob plain, void* data,
              CThread::DoneFunction done, void* doneData, int priority);
    // Lists job and starts its thread behind the latch; false when no thread was made.
    bool Launch(CThread* job, int priority);

    std::shared_ptr<ThreadListState> m_state;
};

// The process-wide job list; made at first use and stopped when the library unloads.
CThreadList& GlobalThreadList();
