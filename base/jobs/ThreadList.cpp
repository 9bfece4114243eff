#include "jobs/ThreadList.h"

#include <QCoreApplication>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/errors/Exception.h"
#include "platform/errors/FaultGuard.h"
#include "platform/threads/GuiThread.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/threads/ThreadNice.h"
#include "jobs/ExceptionCodeName.h"
#include "jobs/MeterDialog.h"
#include "jobs/MeterInfo.h"

struct ThreadListState {
    mutable std::mutex mutex;
    std::condition_variable removed;
    std::list<CThread*> jobs;
};

namespace {

std::atomic<bool> g_unloading = false;

// Nice offsets from the process's own value for the codes 1 to 3: about three to one in
// CPU share per step.
constexpr int kNiceStep = 5;

std::optional<int> NiceOffset(int code)
{
    switch (code) {
    case 1:
        return 0;
    case 2:
        return -kNiceStep;
    case 3:
        return kNiceStep;
    default:
        return std::nullopt;
    }
}

// A raise the system refuses leaves the thread as it is.
void ApplyPriority(pid_t tid, int code)
{
    if (std::optional<int> offset = NiceOffset(code))
        plat::SetThreadNice(int(tid), plat::ProcessNice() + *offset);
}

int ReadPriority(pid_t tid)
{
    const std::optional<int> nice = plat::ThreadNice(int(tid));
    if (!nice)
        return 0;
    for (int code = 1; code <= 3; ++code)
        if (*nice == plat::ProcessNice() + *NiceOffset(code))
            return code;
    return *nice;
}

// The job at index, or null. Under the list's mutex.
CThread* At(const std::list<CThread*>& jobs, int index)
{
    if (index < 0 || size_t(index) >= jobs.size())
        return nullptr;
    return *std::next(jobs.begin(), index);
}

void CloseMeter(CMeterInfo* meter)
{
    plat::WindowHandle window = meter->GetHWND();
    if (window.IsWindow())
        window.SendMessage(CMeterDialog::WM_METER_CLOSE);  // frees the meter
    else
        delete meter;
}

}  // namespace

CThreadList::CThreadList() : m_state(std::make_shared<ThreadListState>()) {}

CThreadList::~CThreadList()
{
    Stop(true);
}

int CThreadList::RunThread(std::string name, CThread::MeteredJob job, void* data, CThread::DoneFunction done,
                           void* doneData, int priority)
{
    return Start(std::move(name), job, nullptr, data, done, doneData, priority);
}

int CThreadList::RunThread(std::string name, CThread::PlainJob job, void* data, int priority)
{
    return Start(std::move(name), nullptr, job, data, nullptr, nullptr, priority);
}

int CThreadList::Start(std::string name, CThread::MeteredJob metered, CThread::PlainJob plain, void* data,
                       CThread::DoneFunction done, void* doneData, int priority)
{
    plat::InstallFaultHandlers(ExceptionCodeName);
    CThread* job = nullptr;
    CMeterInfo* meter = nullptr;
    try {
        job = new CThread;
        if (metered) {
            meter = new CMeterInfo(name, done, doneData);
            meter->Create();
            meter->ShowWindow(plat::SW_SHOW);
            job->SetData(std::move(name), metered, data, this, meter, done);
        } else {
            job->SetData(std::move(name), plain, data, this, nullptr, nullptr);
        }
        if (Launch(job, priority))
            return 1;
    } catch (plat::Exception* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
    // Nothing of a job that never ran stays open: the user could not close it.
    if (meter)
        CloseMeter(meter);
    delete job;
    plat::MessageBox(plat::WindowHandle(), "Error in thread create !", "", plat::MB_OK);
    return 0;
}

bool CThreadList::Launch(CThread* job, int priority)
{
    {
        std::lock_guard lock(m_state->mutex);
        job->m_listState = m_state;
        job->m_position = m_state->jobs.insert(m_state->jobs.end(), job);
        job->m_listed = true;
    }
    try {
        std::thread([job] { job->ThreadMain(); }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(m_state->mutex);
        m_state->jobs.erase(job->m_position);
        job->m_listed = false;
        return false;
    }
    // The job waits at the latch until it is listed and its priority set, so that even
    // a job that ends at once is never freed under this thread.
    job->m_started.wait();
    ApplyPriority(job->m_tid, priority);
    job->m_go.count_down();
    return true;
}

void CThreadList::Remove(CThread* job)
{
    std::shared_ptr<ThreadListState> state = job->m_listState;
    if (!state)
        return;
    std::lock_guard lock(state->mutex);
    if (job->m_listed) {
        state->jobs.erase(job->m_position);
        job->m_listed = false;
    }
    state->removed.notify_all();
}

int CThreadList::SetPriority(int index, int code)
{
    std::lock_guard lock(m_state->mutex);
    CThread* job = At(m_state->jobs, index);
    if (!job)
        return 0;
    // A listed job's thread is alive: it takes this mutex to leave the list.
    job->m_priority = code;
    ApplyPriority(job->m_tid, code);
    return 1;
}

int CThreadList::GetPriority(int index) const
{
    std::lock_guard lock(m_state->mutex);
    CThread* job = At(m_state->jobs, index);
    return job ? ReadPriority(job->m_tid) : 0;
}

std::string CThreadList::GetName(int index) const
{
    std::lock_guard lock(m_state->mutex);
    CThread* job = At(m_state->jobs, index);
    return job ? job->Name() : std::string();
}

int CThreadList::GetIndex(const std::string& name, int n) const
{
    std::lock_guard lock(m_state->mutex);
    int index = 0;
    int seen = 0;
    for (CThread* job : m_state->jobs) {
        if (job->Name() == name && ++seen == n)
            return index;
        ++index;
    }
    return -1;
}

int CThreadList::GetCount() const
{
    std::lock_guard lock(m_state->mutex);
    return int(m_state->jobs.size());
}

bool CThreadList::TerminateAll()
{
    return Stop(false);
}

bool CThreadList::Unloading()
{
    return g_unloading;
}

bool CThreadList::Stop(bool unloading)
{
    TerminateAllFlag = 1;
    if (unloading)
        g_unloading = true;
    const auto deadline = std::chrono::steady_clock::now() + kTerminateWait;
    // Jobs end through window calls that the GUI thread carries out: waiting there
    // without serving them would hold every job until the deadline.
    const bool serve = QCoreApplication::instance() != nullptr && plat::IsGuiThread();
    std::unique_lock lock(m_state->mutex);
    if (serve && unloading) {
        // A call still under way may redraw a bar; nothing may paint any more.
        for (CThread* job : m_state->jobs)
            if (QWidget* window = job->m_window.Widget())
                window->setUpdatesEnabled(false);
    }
    while (!m_state->jobs.empty() && std::chrono::steady_clock::now() < deadline) {
        if (!serve) {
            m_state->removed.wait_until(lock, deadline);
            continue;
        }
        lock.unlock();
        if (unloading)
            QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        lock.lock();
        if (!m_state->jobs.empty())
            m_state->removed.wait_for(lock, std::chrono::milliseconds(2));
    }
    const bool allEnded = m_state->jobs.empty();
    // Jobs still running are left to end on their own; they find themselves unlisted.
    for (CThread* job : m_state->jobs)
        job->m_listed = false;
    m_state->jobs.clear();
    return allEnded;
}

CThreadList& GlobalThreadList()
{
    // Made at the first job, so that it goes before anything made earlier when the
    // library unloads or the process exits.
    static CThreadList list;
    return list;
}
