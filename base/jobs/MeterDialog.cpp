#include "jobs/MeterDialog.h"

#include <QLabel>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "platform/threads/GuiThread.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/resources/StringTable.h"
#include "platform/paint/SysColors.h"
#include "VarnokModule.h"
#include "jobs/MeterInfo.h"
#include "layer/RDPExcept.h"
#include "util/DoubleToInt.h"

namespace {

const plat::StringEntry kStrings[] = {
    {5016, "Do you really want to stop the process?"},
    {5050, "Operation completed !"},
};
const plat::StringTableRegistration kRegistration(kVarnokModule, kStrings);

using plat::ControlKind;

const plat::ControlTemplate kControls[] = {
    {CMeterDialog::IDC_BAR, ControlKind::ProgressBar, 12, 20, 188, 12, nullptr, plat::CS_BORDER},
    {CMeterDialog::IDC_TEXT, ControlKind::Static, 12, 36, 188, 12, "", plat::CS_SUNKEN},
    {CMeterDialog::IDC_BLANK, ControlKind::Static, 92, 4, 24, 12, "", plat::CS_SUNKEN},
    {CMeterDialog::IDC_ABORT, ControlKind::PushButton, 62, 52, 80, 12, "Abort", plat::CS_NONE},
    {CMeterDialog::IDC_OK, ControlKind::PushButton, 84, 52, 40, 12, "OK", plat::CS_HIDDEN},
    {CMeterDialog::IDC_RES_OK, ControlKind::PushButton, 56, 52, 44, 12, "OK", plat::CS_HIDDEN},
    {CMeterDialog::IDC_VIEW, ControlKind::PushButton, 105, 52, 44, 12, "View", plat::CS_HIDDEN},
};

const plat::DialogTemplate kTemplate = {
    CMeterDialog::IDD, nullptr, "MS Sans Serif", 8, 212, 69, kControls, std::size(kControls),
};

// Runs fn on the GUI thread and answers its result.
template <class F>
auto OnGui(F fn) -> decltype(fn())
{
    if constexpr (std::is_void_v<decltype(fn())>) {
        plat::CallOnGuiThread(fn);
    } else {
        decltype(fn()) result{};
        plat::CallOnGuiThread([&] { result = fn(); });
        return result;
    }
}

// Percent with one decimal and a percent sign, for any magnitude.
std::string FormatPercent(double percent)
{
    int n = std::snprintf(nullptr, 0, "%.1lf%s", percent, "%");
    std::string text(std::size_t(n > 0 ? n : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, "%.1lf%s", percent, "%");
    return text;
}

}  // namespace

CMeterDialog::CMeterDialog(std::string caption, CMeterInfo* owner) : m_caption(std::move(caption)), m_owner(owner) {}

CMeterDialog::~CMeterDialog()
{
    *m_alive = false;
    OnGui([this] {
        if (m_wnd) {
            m_handle.Close();
            m_wnd->DestroyWindow();
        }
    });
}

bool CMeterDialog::Create()
{
    return OnGui([this] {
        if (m_wnd)
            return false;
        m_wnd = new plat::Dialog(kTemplate);
        m_handle = m_wnd->Handle();
        m_bar.Attach(m_wnd->ControlAs<plat::CustomControl>(IDC_BAR));
        m_wnd->OnClicked(IDC_ABORT, [this] { OnAbort(); });
        m_wnd->OnClicked(IDC_OK, [this] { DestroyWindow(); });
        m_wnd->OnClicked(IDC_RES_OK, [this] { DestroyWindow(); });
        m_wnd->OnClicked(IDC_VIEW, [this] { OnView(); });
        // While a job runs only its thread closes the window: Enter, Escape and the close
        // box do nothing. A finished window closes like OK.
        m_wnd->SetOkHandler([] {});
        m_wnd->SetCancelHandler([this] { OnClose(); });
        m_wnd->SetMessageHandler(
            [this](unsigned msg, plat::WParam wp, plat::LParam lp) { return OnMessage(msg, wp, lp); });
        OnInitDialog();
        return true;
    });
}

void CMeterDialog::OnInitDialog()
{
    m_bar.SetBkColor(plat::GetSysColor(plat::COLOR_BTNFACE));
    m_bar.SetTextColor(plat::GetSysColor(plat::COLOR_WINDOWTEXT));
    m_bar.SetBarTextColor(plat::GetSysColor(plat::COLOR_CAPTIONTEXT));
    m_wnd->SetTitle(m_caption);
    m_bar.SetPos(TruncToInt(m_pos));
    m_wnd->ShowControl(IDC_ABORT, plat::SW_SHOW);
    m_wnd->ShowControl(IDC_OK, plat::SW_HIDE);
    m_wnd->ShowControl(IDC_RES_OK, plat::SW_HIDE);
    m_wnd->ShowControl(IDC_VIEW, plat::SW_HIDE);
    // No empty frames: the blank box has nothing to show, the text line only its text.
    m_wnd->ShowControl(IDC_BLANK, plat::SW_HIDE);
    ShowTextLine();
}

void CMeterDialog::ShowTextLine()
{
    m_wnd->ShowControl(IDC_TEXT, m_wnd->ControlText(IDC_TEXT).empty() ? plat::SW_HIDE : plat::SW_SHOW);
}

void CMeterDialog::ShowWindow(int cmdShow)
{
    OnGui([&] {
        if (m_wnd)
            m_wnd->setVisible(cmdShow != plat::SW_HIDE);
    });
}

void CMeterDialog::ShowControl(unsigned id, int cmdShow)
{
    OnGui([&] {
        if (m_wnd)
            m_wnd->ShowControl(id, cmdShow);
    });
}

void CMeterDialog::SetCaption(const std::string& caption)
{
    OnGui([&] {
        m_caption = caption;
        if (m_wnd)
            m_wnd->SetTitle(caption);
    });
}

std::string CMeterDialog::GetCaption()
{
    return OnGui([this] { return m_caption; });
}

void CMeterDialog::SetText(const std::string& text)
{
    OnGui([&] {
        if (m_wnd) {
            m_wnd->SetControlText(IDC_TEXT, text);
            ShowTextLine();
        }
    });
}

void CMeterDialog::SetWrappedText(const std::string& text)
{
    OnGui([&] {
        if (!m_wnd)
            return;
        m_wnd->SetControlText(IDC_TEXT, text);
        ShowTextLine();
        if (auto* line = m_wnd->ControlAs<QLabel>(IDC_TEXT)) {
            line->setWordWrap(true);
            m_wnd->GrowControl(IDC_TEXT, line->width(), line->heightForWidth(line->width()));
        }
    });
}

std::string CMeterDialog::GetText()
{
    return OnGui([this] { return m_wnd ? m_wnd->ControlText(IDC_TEXT) : std::string(); });
}

void CMeterDialog::SetEndText(const std::string& text)
{
    OnGui([&] { m_endText = text; });
}

std::string CMeterDialog::EndText()
{
    return OnGui([this] { return m_endText; });
}

void CMeterDialog::PassGate()
{
    if (std::this_thread::get_id() == m_workerId.load())
        m_gate.Wait();
}

bool CMeterDialog::Cancelled() const
{
    return m_cancel != 0 || TerminateAllFlag != 0;
}

void CMeterDialog::ThrowIfCancelled()
{
    PassGate();
    if (Cancelled())
        AfxThrowRDPExcept(RDP_CANCEL);
}

void CMeterDialog::SetPos(double pos)
{
    ThrowIfCancelled();
    OnGui([&] {
        m_pos = pos;
        UpdateBar();
    });
}

void CMeterDialog::StepIt()
{
    ThrowIfCancelled();
    OnGui([&] {
        m_pos += m_step;
        UpdateBar();
    });
}

void CMeterDialog::UpdateBar()
{
    if (!m_wnd)
        return;
    double percent = (m_pos - m_lo) * m_scale;
    if (!std::isfinite(percent))
        percent = 0;
    m_bar.SetPos(TruncToInt(percent));
    m_bar.SetWindowText(FormatPercent(percent).c_str());
}

void CMeterDialog::SetRange(double lo, double hi)
{
    OnGui([&] {
        m_lo = lo;
        m_hi = hi;
        m_scale = 100 / (hi - lo);
        // An empty range shows 0%.
        if (!std::isfinite(m_scale))
            m_scale = 0;
        m_pos = 0;
    });
}

void CMeterDialog::GetRange(double* lo, double* hi)
{
    OnGui([&] {
        if (lo)
            *lo = m_lo;
        if (hi)
            *hi = m_hi;
    });
}

void CMeterDialog::GetPos(double* pos)
{
    OnGui([&] {
        if (pos)
            *pos = m_pos;
    });
}

void CMeterDialog::SetStep(double step)
{
    OnGui([&] { m_step = step; });
}

double CMeterDialog::Max()
{
    return OnGui([this] { return m_hi; });
}

void CMeterDialog::ThreadParent(CThread* worker)
{
    m_worker = worker;
    m_workerId = worker ? std::this_thread::get_id() : std::thread::id();
}

void CMeterDialog::JobEnded()
{
    std::unique_lock lock(m_endMutex);
    while (m_gate.IsClosed()) {
        lock.unlock();
        m_gate.Wait();
        lock.lock();
    }
    m_jobEnded = true;
}

bool CMeterDialog::CancelMode()
{
    PassGate();
    return Cancelled();
}

bool CMeterDialog::IsDeleteOnClose()
{
    PassGate();
    return m_closeAtEnd != 0;
}

void CMeterDialog::OnAbort()
{
    // The worker cannot be suspended here; it waits at its next report instead, until
    // the question is answered.
    const bool pause = m_worker != nullptr;
    {
        std::lock_guard lock(m_endMutex);
        // The job ended first: its result is on its way, there is nothing to stop.
        if (m_jobEnded)
            return;
        if (pause)
            m_gate.Close();
    }
    std::shared_ptr<bool> alive = m_alive;
    int answer = plat::MessageBox(m_handle, plat::LoadString(5016, kVarnokModule), m_caption, plat::MB_YESNO);
    if (!*alive)
        return;
    if (answer == plat::IDYES) {
        m_closeAtEnd = 1;
        m_cancel = 1;
    }
    if (pause)
        m_gate.Open();
}

void CMeterDialog::OnView()
{
    // Frees the meter and this object: nothing may follow.
    m_owner->ResShow();
}

void CMeterDialog::OnClose()
{
    if (!m_wnd)
        return;
    if (!m_wnd->Control(IDC_OK)->isHidden() || !m_wnd->Control(IDC_RES_OK)->isHidden())
        DestroyWindow();  // frees the meter and this object
}

plat::LResult CMeterDialog::OnMessage(unsigned msg, plat::WParam, plat::LParam)
{
    if (msg == WM_METER_CLOSE)
        DestroyWindow();
    return 0;
}

void CMeterDialog::DestroyWindow()
{
    if (!m_wnd)
        return;
    m_handle.Close();
    m_wnd->DestroyWindow();
    m_wnd = nullptr;
    // The window's last act frees its meter, whose destructor frees this object.
    delete m_owner;
}
