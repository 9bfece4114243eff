#include "jobs/Thread.h"

#include <unistd.h>

#include "platform/errors/FaultGuard.h"
#include "platform/threads/GuiThread.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/resources/StringTable.h"
#include "VarnokModule.h"
#include "jobs/ExceptionCodeName.h"
#include "jobs/MeterDialog.h"
#include "jobs/MeterInfo.h"
#include "jobs/ThreadList.h"
#include "layer/RDPExcept.h"

void CThread::SetData(std::string name, MeteredJob job, void* data, CThreadList* list, CMeterInfo* meter,
                      DoneFunction done)
{
    m_name = std::move(name);
    m_meteredJob = job;
    m_plainJob = nullptr;
    m_data = data;
    m_list = list;
    m_meter = meter;
    m_window = meter ? meter->GetHWND() : plat::WindowHandle();
    m_done = done;
    m_priority = 1;
}

void CThread::SetData(std::string name, PlainJob job, void* data, CThreadList* list, CMeterInfo* meter,
                      DoneFunction done)
{
    SetData(std::move(name), MeteredJob(nullptr), data, list, meter, done);
    m_plainJob = job;
}

void CThread::ThreadMain()
{
    m_tid = ::gettid();
    m_started.count_down();
    m_go.wait();
    InitInstance();
    delete this;
}

int CThread::InitInstance()
{
    try {
        try {
            if (m_meteredJob) {
                m_meter->ThreadParent(this);
                // Whatever way the job leaves, an Abort question still open is answered
                // before its end is handled.
                struct Ended {
                    CThread* job;
                    ~Ended() { job->JobEnded(); }
                };
                {
                    Ended ended{this};
                    // Arithmetic faults of the job arrive here as exceptions.
                    plat::CallFaultGuarded([this] { m_meteredJob(m_data, m_meter); });
                }
                EndOfMeteredJob();
            } else if (m_plainJob) {
                plat::CallFaultGuarded([this] { m_plainJob(m_data); });
            }
        } catch (plat::Exception* e) {
            std::string ignored;
            // A job stopped with all the others is not a failure to report.
            const bool stopped = GetError(e, ignored) == RDP_CANCEL && TerminateAllFlag != 0;
            e->Delete();
            ReportFault(nullptr, stopped);
        } catch (const plat::HardwareFault& fault) {
            ReportFault(ExceptionCodeName(fault.code), false);
        } catch (...) {
            ReportFault(nullptr, false);
        }
    } catch (...) {
        // A failure while reporting the first one is dropped.
    }
    CThreadList::Remove(this);
    return 0;
}

void CThread::JobEnded()
{
    // While the job runs nobody but the job's thread closes the window, so when it
    // exists here so does the meter.
    if (m_window.IsWindow())
        m_meter->GetCWND()->JobEnded();
}

void CThread::EndOfMeteredJob()
{
    // While the job runs nobody but the job's thread closes the window, so when it
    // exists here it stays, and so does the meter, until the step below. An Abort
    // question is no longer asked (JobEnded).
    if (!m_window.IsWindow() || CThreadList::Unloading())
        return;
    plat::CallOnGuiThread([this] {
        // One step on the GUI thread: nothing the user does can come between the
        // decision and what the window shows.
        if (!m_window.IsWindow() || CThreadList::Unloading())
            return;
        if (m_meter->IsDeleteOnClose() || m_meter->CancelMode()) {
            m_window.SendMessage(CMeterDialog::WM_METER_CLOSE);
            return;
        }
        try {
            static_cast<CMeterInfoBase*>(m_meter)->SetPos(m_meter->Max());
        } catch (plat::Exception* e) {
            // All jobs were stopped from another thread just now.
            e->Delete();
            m_window.SendMessage(CMeterDialog::WM_METER_CLOSE);
            return;
        }
        m_meter->ShowCancel(plat::SW_HIDE);
        m_meter->ShowOK(plat::SW_SHOW);
        const std::string end = m_meter->EndText();
        if (end.empty())
            m_meter->SetText(plat::LoadString(5050, kVarnokModule).c_str());
        else
            m_meter->GetCWND()->SetWrappedText(end);
        if (m_done)
            m_meter->ShowResButton();
    });
}

void CThread::ReportFault(const char* codeName, bool quiet)
{
    if (CThreadList::Unloading())
        return;
    if (!quiet) {
        std::string text = "        Error !\n";
        if (codeName)
            text += codeName;
        plat::MessageBox(plat::WindowHandle(), text, "Thread manager", plat::MB_OK | plat::MB_SYSTEMMODAL);
    }
    if (!m_meteredJob)
        return;
    // Through the handle: the window, and the meter with it, may be gone already.
    plat::CallOnGuiThread([this] {
        if (!CThreadList::Unloading())
            m_window.SendMessage(CMeterDialog::WM_METER_CLOSE);
    });
}
