#pragma once
// The progress window of a job as a CMeterInfoBase. Made on the heap; destroying its
// window frees it, so no pointer to it may be used after the window is gone.
//
// Cancelling: after a confirmed Abort (or once TerminateAllFlag is set) SetPos and StepIt
// throw CRDPExcept with cause 11. While the Abort question is open, the worker recorded
// by ThreadParent waits in its next SetPos, StepIt, CancelMode or IsDeleteOnClose, and
// at the end of its job; once the job has ended Abort asks nothing.
//
// The close box, and a quit of the application, close the window once it offers OK;
// while the job runs they are ignored.

#include <atomic>
#include <string>

#include "platform/windows/WindowHandle.h"
#include "jobs/MeterInfoBase.h"

class CMeterDialog;
class CThread;

// Set once when every job is stopped; from then on every meter counts as cancelled.
extern std::atomic<int> TerminateAllFlag;

class CMeterInfo final : public CMeterInfoBase {
public:
    CMeterInfo(std::string caption, void (*fn)(void*), void* data);
    explicit CMeterInfo(std::string caption);
    // Destroys the window if it still exists.
    ~CMeterInfo();

    // Owns its window: neither copied nor moved.
    CMeterInfo(const CMeterInfo&) = delete;
    CMeterInfo& operator=(const CMeterInfo&) = delete;

    void SetCaption(const char* caption) override;
    void SetText(const char* text) override;
    void SetPos(double pos) override;
    void SetRange(double lo, double hi) override;
    void GetRange(double* lo, double* hi) override;
    void GetPos(double* pos) override;
    void SetStep(double step) override;
    void StepIt() override;
    std::string GetCaption() override;
    std::string GetText() override;

    // Creates the window, hidden.
    void Create();
    void ShowWindow(int cmdShow);
    void ShowCancel(int cmdShow);
    void ShowOK(int cmdShow);
    // With a completion function: OK and View in place of Abort and the plain OK.
    void ShowResButton();
    // Runs the completion function, then closes the window (which frees this meter).
    void ResShow();
    // The job's thread closes the window at the end instead of showing the result.
    void DeleteOnClose();
    // What the window says once the job has completed, in place of "Operation
    // completed !": a result the user must not miss. Empty restores that text.
    void SetEndText(const char* text);
    std::string EndText();
    bool IsDeleteOnClose();
    bool CancelMode();
    // Called by the worker on its own thread, so that Abort holds it while it asks.
    void ThreadParent(CThread* worker);
    double Max();
    plat::WindowHandle GetHWND() const;
    CMeterDialog* GetCWND() const { return m_dlg; }
    plat::LResult SendMessage(unsigned msg);

private:
    CMeterDialog* m_dlg;
    void (*m_fn)(void*) = nullptr;
    void* m_data = nullptr;
};
