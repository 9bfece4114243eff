#include "jobs/MeterInfo.h"

#include "jobs/MeterDialog.h"

std::atomic<int> TerminateAllFlag = 0;

CMeterInfo::CMeterInfo(std::string caption, void (*fn)(void*), void* data)
    : m_dlg(new CMeterDialog(std::move(caption), this)), m_fn(fn), m_data(data)
{}

CMeterInfo::CMeterInfo(std::string caption) : CMeterInfo(std::move(caption), nullptr, nullptr) {}

CMeterInfo::~CMeterInfo()
{
    delete m_dlg;
}

void CMeterInfo::SetCaption(const char* caption)
{
    m_dlg->SetCaption(caption ? caption : "");
}

void CMeterInfo::SetText(const char* text)
{
    m_dlg->SetText(text ? text : "");
}

void CMeterInfo::SetPos(double pos)
{
    m_dlg->SetPos(pos);
}

void CMeterInfo::SetRange(double lo, double hi)
{
    m_dlg->SetRange(lo, hi);
}

void CMeterInfo::GetRange(double* lo, double* hi)
{
    m_dlg->GetRange(lo, hi);
}

void CMeterInfo::GetPos(double* pos)
{
    m_dlg->GetPos(pos);
}

void CMeterInfo::SetStep(double step)
{
    m_dlg->SetStep(step);
}

void CMeterInfo::StepIt()
{
    m_dlg->StepIt();
}

std::string CMeterInfo::GetCaption()
{
    return m_dlg->GetCaption();
}

std::string CMeterInfo::GetText()
{
    return m_dlg->GetText();
}

void CMeterInfo::Create()
{
    m_dlg->Create();
}

void CMeterInfo::ShowWindow(int cmdShow)
{
    m_dlg->ShowWindow(cmdShow);
}

void CMeterInfo::ShowCancel(int cmdShow)
{
    m_dlg->ShowControl(CMeterDialog::IDC_ABORT, cmdShow);
}

void CMeterInfo::ShowOK(int cmdShow)
{
    m_dlg->ShowControl(CMeterDialog::IDC_OK, cmdShow);
}

void CMeterInfo::ShowResButton()
{
    if (!m_fn)
        return;
    m_dlg->ShowControl(CMeterDialog::IDC_ABORT, plat::SW_HIDE);
    m_dlg->ShowControl(CMeterDialog::IDC_OK, plat::SW_HIDE);
    m_dlg->ShowControl(CMeterDialog::IDC_RES_OK, plat::SW_SHOW);
    m_dlg->ShowControl(CMeterDialog::IDC_VIEW, plat::SW_SHOW);
}

void CMeterInfo::ResShow()
{
    if (m_fn)
        m_fn(m_data);
    // Closing frees this meter: nothing may follow.
    SendMessage(CMeterDialog::WM_METER_CLOSE);
}

void CMeterInfo::DeleteOnClose()
{
    m_dlg->DeleteOnClose();
}

void CMeterInfo::SetEndText(const char* text)
{
    m_dlg->SetEndText(text ? text : "");
}

std::string CMeterInfo::EndText()
{
    return m_dlg->EndText();
}

bool CMeterInfo::IsDeleteOnClose()
{
    return m_dlg->IsDeleteOnClose();
}

bool CMeterInfo::CancelMode()
{
    return m_dlg->CancelMode();
}

void CMeterInfo::ThreadParent(CThread* worker)
{
    m_dlg->ThreadParent(worker);
}

double CMeterInfo::Max()
{
    return m_dlg->Max();
}

plat::WindowHandle CMeterInfo::GetHWND() const
{
    return m_dlg->Handle();
}

plat::LResult CMeterInfo::SendMessage(unsigned msg)
{
    return m_dlg->Handle().SendMessage(msg, 0, 0);
}
