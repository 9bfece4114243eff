#pragma once
// One named job on a thread of its own. The job list makes it, starts its thread and
// lets it run once its priority is set; from then on the job's thread owns it: it runs
// the job inside the crash guard, ends or closes the progress window, takes the job off
// its list and frees it.

#include <latch>
#include <list>
#include <memory>
#include <string>
#include <sys/types.h>

#include "platform/windows/WindowHandle.h"

class CMeterInfo;
class CThreadList;
struct ThreadListState;

class CThread final {
public:
    using MeteredJob = void (*)(void* data, CMeterInfo* meter);
    using PlainJob = void (*)(void* data);
    using DoneFunction = void (*)(void* data);

    CThread() = default;
    ~CThread() = default;
    // Listed by address and shared with its thread: neither copied nor moved.
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // A metered job; done only tells whether the window offers View (the meter keeps
    // the completion function with its data). Priority code 1. GUI thread, before start.
    void SetData(std::string name, MeteredJob job, void* data, CThreadList* list, CMeterInfo* meter, DoneFunction done);
    // A plain job: no meter, no completion function.
    void SetData(std::string name, PlainJob job, void* data, CThreadList* list, CMeterInfo* meter, DoneFunction done);

    // The thread body: the job inside the crash guard, the end of the job, the job off
    // its list. Always 0.
    int InitInstance();

    const std::string& Name() const { return m_name; }

private:
    friend class CThreadList;

    // Entry of the job's thread: waits until its list lets it run, runs, frees the job.
    void ThreadMain();
    // The job function has left: an Abort question still open is answered first, and
    // from then on none is asked.
    void JobEnded();
    // Completed or closed, decided and shown in one step on the GUI thread.
    void EndOfMeteredJob();
    void ReportFault(const char* codeName, bool quiet);

    std::string m_name;
    MeteredJob m_meteredJob = nullptr;
    DoneFunction m_done = nullptr;
    PlainJob m_plainJob = nullptr;
    CMeterInfo* m_meter = nullptr;
    int m_priority = 1;  // 1 normal, 2 above normal, 3 below normal
    void* m_data = nullptr;
    CThreadList* m_list = nullptr;

    // The progress window's handle, which outlives the window (and its meter).
    plat::WindowHandle m_window;
    // Kept by the job so that it can take itself off even when its list is gone.
    std::shared_ptr<ThreadListState> m_listState;
    std::list<CThread*>::iterator m_position;
    bool m_listed = false;  // guarded by the list's mutex
    pid_t m_tid = 0;        // written before m_started is counted down
    std::latch m_started{1};
    std::latch m_go{1};
};
