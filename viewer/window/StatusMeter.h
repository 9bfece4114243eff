#pragma once
// Progress sink that moves the progress bar of the viewer's status bar. It shows no
// text, keeps no position and never cancels. Called from a worker, it posts to the
// bar and waits for nothing; on the GUI thread it acts at once. A bar that is gone
// takes nothing.

#include "platform/windows/WindowHandle.h"
#include "jobs/MeterInfoBase.h"

class CStatusMeter final : public CMeterInfoBase {
public:
    CStatusMeter() = default;
    ~CStatusMeter() = default;
    CStatusMeter(const CStatusMeter&) = delete;
    CStatusMeter& operator=(const CStatusMeter&) = delete;

    // Binds the bar (a plat::ProgressCtrl's handle).
    void SetProgressCtrl(plat::WindowHandle progress) { m_pProgress = std::move(progress); }

    void SetCaption(const char* caption) override;
    void SetText(const char* text) override;
    void SetPos(double pos) override;
    // Range from the low 16 bits of trunc(lo) and trunc(hi), then step 1.
    void SetRange(double lo, double hi) override;
    void GetRange(double* lo, double* hi) override;
    void GetPos(double* pos) override;
    void SetStep(double step) override;
    void StepIt() override;
    std::string GetCaption() override;
    std::string GetText() override;

private:
    void Deliver(unsigned msg, plat::WParam wParam, plat::LParam lParam) const;

    plat::WindowHandle m_pProgress;
};
