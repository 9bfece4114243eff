#pragma once
// The progress window behind CMeterInfo: a modeless dialog with a caption bar, a text
// line and the buttons Abort, OK and View. Its operations may be called from a worker
// thread; the work on the window itself is carried out by the GUI thread.

#include <QPointer>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dialogs/Dialog.h"
#include "platform/threads/PauseGate.h"
#include "platform/windows/WindowHandle.h"
#include "jobs/CaptionProgressCtrl.h"

class CMeterInfo;
class CThread;

class CMeterDialog final {
public:
    enum : unsigned {
        IDD = 503,
        IDC_BAR = 5080,
        IDC_TEXT = 5081,
        IDC_ABORT = 5083,
        IDC_OK = 5084,
        IDC_BLANK = 5085,
        IDC_VIEW = 5086,
        IDC_RES_OK = 5087,
    };
    enum : unsigned {
        WM_METER_CLOSE = plat::WM_USER + 504
    };

    CMeterDialog(std::string caption, CMeterInfo* owner);
    // Destroys the window if it still exists.
    ~CMeterDialog();

    // Owns its window: neither copied nor moved.
    CMeterDialog(const CMeterDialog&) = delete;
    CMeterDialog& operator=(const CMeterDialog&) = delete;

    // Creates the window from template 503, hidden; false when it already exists.
    bool Create();
    // The window, or null when there is none. GUI thread only.
    plat::Dialog* Window() const { return m_wnd; }
    plat::WindowHandle Handle() const { return m_handle; }
    CCaptionProgressCtrl& Bar() { return m_bar; }

    void ShowWindow(int cmdShow);
    void ShowControl(unsigned id, int cmdShow);

    void SetCaption(const std::string& caption);
    std::string GetCaption();
    void SetText(const std::string& text);
    // Shows text whole: the line wraps and grows, and what lies below it moves down.
    void SetWrappedText(const std::string& text);
    std::string GetText();
    void SetPos(double pos);
    void StepIt();
    void SetRange(double lo, double hi);
    void GetRange(double* lo, double* hi);
    void GetPos(double* pos);
    void SetStep(double step);
    double Max();

    void ThreadParent(CThread* worker);
    // The recorded worker's job has returned or failed. Waits for an Abort question
    // still open to be answered; from then on Abort asks nothing, as the end of the job
    // decides what the window shows. Worker thread.
    void JobEnded();
    bool CancelMode();
    void DeleteOnClose() { m_closeAtEnd = 1; }
    bool IsDeleteOnClose();
    void SetEndText(const std::string& text);
    std::string EndText();

private:
    // The text line is shown while it has a text. GUI thread, with the window.
    void ShowTextLine();
    void OnInitDialog();
    void OnAbort();
    void OnView();
    // The close box (and a quit of the application): what OK does where OK is offered;
    // nothing while the job runs.
    void OnClose();
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);
    // Destroys the window; the owning meter, and so this object, is freed with it.
    void DestroyWindow();
    void UpdateBar();
    // The recorded worker waits here while the Abort question is open.
    void PassGate();
    bool Cancelled() const;
    void ThrowIfCancelled();

    std::string m_caption;
    std::string m_endText;  // GUI thread
    double m_pos = 0;
    double m_lo = 0;
    double m_hi = 100;
    double m_scale = 1;  // percent per range unit
    double m_step = 1;
    CMeterInfo* m_owner = nullptr;
    std::atomic<CThread*> m_worker = nullptr;
    std::atomic<int> m_closeAtEnd = 0;
    std::atomic<int> m_cancel = 0;
    CCaptionProgressCtrl m_bar;

    std::atomic<std::thread::id> m_workerId{};
    plat::PauseGate m_gate;
    // Orders Abort's question against the end of the job: the gate is closed, and the
    // end recorded, only under it.
    std::mutex m_endMutex;
    bool m_jobEnded = false;
    QPointer<plat::Dialog> m_wnd;
    plat::WindowHandle m_handle;
    // Cleared when this object goes, for a handler that outlives it on the stack.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
