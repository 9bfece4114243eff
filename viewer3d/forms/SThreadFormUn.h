#pragma once
// The progress window of a long job: a frameless strip on top of the other
// windows with the job's title, its message, a progress bar with a percentage
// and "Break". It owns the TSThread that runs the job and frees itself (with
// the thread) once the job has ended.

#include "engine3d/model/SThreads.h"
#include "platform/paint/DeviceContext.h"
#include "platform/windows/WindowHandle.h"

#include <QWidget>

#include <memory>
#include <string>

class QLabel;
class QToolButton;

class TSThreadForm final : public QWidget {
public:
    // WM_USER: wParam a thread event code, lParam its Param.
    static constexpr unsigned WM_THREADEVENT = plat::WM_USER;

    TSThreadForm();
    ~TSThreadForm() override;
    TSThreadForm(const TSThreadForm&) = delete;
    TSThreadForm& operator=(const TSThreadForm&) = delete;

    TSThread* Thread() const { return m_thread; }
    plat::WindowHandle Handle() const { return m_handle; }
    QLabel* NameText() const { return m_nameText; }
    QLabel* TaskText() const { return m_taskText; }
    QToolButton* BreakBtn() const { return m_breakBtn; }
    // The bar's rectangle in client coordinates.
    plat::Rect BarRect() const { return m_barRect; }
    // The progress the last paint showed; -1 before the first.
    std::int32_t PaintedProgress() const { return m_paintedProgress; }

    void BreakBtnClick();

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void RelayThreadEvent(TObject* Sender, std::int32_t Code, TSParam Param);
    plat::LResult WMThreadEvent(unsigned Msg, plat::WParam Code, plat::LParam Param);

    TSThread* m_thread = nullptr;
    plat::WindowHandle m_handle;
    QLabel* m_nameText = nullptr;
    QLabel* m_taskText = nullptr;
    QToolButton* m_breakBtn = nullptr;
    plat::Rect m_barRect;
    std::int32_t m_paintedProgress = -1;
    // Where the mouse took the strip, while it follows the mouse.
    QPoint m_dragOffset;
    bool m_dragging = false;
};

// Runs Job on the form's worker thread; the caller goes on at once. Handler,
// when it has a routine, hears the thread's events (in the worker's thread).
// The form belongs to itself.
TSThreadForm* RunInThreadForm(const std::string& Caption, std::unique_ptr<TSThreadParams> Params, bool StartSuspended,
                              TSEventHandler Handler, TSThreadJob Job);
// Runs Job in the calling (GUI) thread behind the window, which is painted as
// the job reports; returns when the job has ended. The window is then closing
// and goes when the event loop next runs.
TSThreadForm* RunSynchronouslyInForm(const std::string& Caption, std::unique_ptr<TSThreadParams> Params,
                                     TSEventHandler Handler, TSThreadJob Job);

// Start and end of the unit: the register of live progress windows; the end
// frees those still open, with their threads, before the thread unit ends.
void SThreadFormUnInitialization();
void SThreadFormUnFinalization();
