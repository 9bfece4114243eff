#include "window/StatusMeter.h"

#include "platform/threads/GuiThread.h"
#include "platform/windows/StatusBar.h"

void CStatusMeter::Deliver(unsigned msg, plat::WParam wParam, plat::LParam lParam) const
{
    if (plat::IsGuiThread())
        m_pProgress.SendMessage(msg, wParam, lParam);
    else
        m_pProgress.PostMessage(msg, wParam, lParam);
}

void CStatusMeter::SetCaption(const char*) {}

void CStatusMeter::SetText(const char*) {}

void CStatusMeter::SetPos(double) {}

void CStatusMeter::SetRange(double lo, double hi)
{
    // Out-of-range doubles keep to what a 64-bit conversion can hold; only 16 bits stay.
    const auto word = [](double v) {
        if (!(v > -9.2e18 && v < 9.2e18))
            return 0u;
        return unsigned(static_cast<long long>(v) & 0xFFFF);
    };
    Deliver(plat::PBM_SETRANGE, 0, plat::MakeLParam(word(lo), word(hi)));
    Deliver(plat::PBM_SETSTEP, 1, 0);
}

void CStatusMeter::GetRange(double*, double*) {}

void CStatusMeter::GetPos(double*) {}

void CStatusMeter::SetStep(double) {}

void CStatusMeter::StepIt()
{
    Deliver(plat::PBM_STEPIT, 0, 0);
}

std::string CStatusMeter::GetCaption()
{
    return {};
}

std::string CStatusMeter::GetText()
{
    return {};
}
