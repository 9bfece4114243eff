#include "jobs/CaptionProgressCtrl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "jobs/BufferedDC.h"
#include "util/DoubleToInt.h"

CCaptionProgressCtrl::CCaptionProgressCtrl() = default;

CCaptionProgressCtrl::~CCaptionProgressCtrl()
{
    if (m_wnd) {
        m_wnd->SetPaintHandler({});
        m_wnd->SetResizeHandler({});
    }
}

void CCaptionProgressCtrl::Attach(plat::CustomControl* window)
{
    m_wnd = window;
    if (!window)
        return;
    window->SetPaintHandler([this](plat::DeviceContext& dc) { OnPaint(dc); });
    window->SetResizeHandler([this] { OnSize(); });
    m_barWidth = -1;
}

int CCaptionProgressCtrl::BarWidth(int clientWidth) const
{
    // An empty range has no filled part; the painting draws nothing for it either.
    if (m_min >= m_max)
        return 0;
    double fraction = (double(m_pos) - m_min) / (double(m_max) - m_min);
    return TruncToInt(clientWidth * fraction);
}

int CCaptionProgressCtrl::SetPos(int pos)
{
    if (!m_wnd)
        return -1;
    int old = m_pos;
    m_pos = pos;
    int bar = BarWidth(m_wnd->ClientRect().Width());
    if (bar != m_barWidth) {
        m_barWidth = bar;
        m_wnd->UpdateNow();
    }
    return old;
}

int CCaptionProgressCtrl::StepIt()
{
    return SetPos(int((long long)m_pos + m_step));
}

int CCaptionProgressCtrl::OffsetPos(int n)
{
    return SetPos(int((long long)m_pos + n));
}

int CCaptionProgressCtrl::SetStep(int n)
{
    return std::exchange(m_step, n);
}

void CCaptionProgressCtrl::SetRange(int min, int max)
{
    m_min = min;
    m_max = max;
}

void CCaptionProgressCtrl::SetShowText(bool show)
{
    if (show == m_showText)
        return;
    m_showText = show;
    if (m_wnd)
        m_wnd->Invalidate();
}

void CCaptionProgressCtrl::SetWindowText(const char* text)
{
    if (!m_wnd)
        return;
    std::string value = text ? text : "";
    m_wnd->SetText(value);
    if (value != m_caption) {
        m_caption = value;
        m_wnd->Invalidate();
    }
}

int CCaptionProgressCtrl::GetWindowText(char* buf, int max) const
{
    if (!buf || max <= 0)
        return 0;
    int count = int(std::min<std::size_t>(m_caption.size(), std::size_t(max - 1)));
    std::memcpy(buf, m_caption.data(), std::size_t(count));
    buf[count] = '\0';
    return count;
}

void CCaptionProgressCtrl::OnSize()
{
    m_barWidth = -1;
}

void CCaptionProgressCtrl::OnPaint(plat::DeviceContext& paintDC)
{
    if (m_min >= m_max)
        return;
    double fraction = (double(m_pos) - m_min) / (double(m_max) - m_min);
    plat::Rect client = m_wnd->ClientRect();
    plat::Rect filled = client;
    // Past either end the filled part stops at the client's edge.
    filled.right =
        int(std::clamp<long long>((long long)client.left + BarWidth(client.Width()), client.left, client.right));
    plat::Rect rest = client;
    rest.left = filled.right;

    CBufferedDC dc(&paintDC);
    dc.FillRect(filled, m_barColor);
    dc.FillRect(rest, m_bkColor);
    if (!m_showText)
        return;

    std::string text = m_caption;
    if (text.empty()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%d%%", TruncToInt(fraction * 100));
        text = buf;
    }
    const unsigned format = plat::DT_CENTER | plat::DT_VCENTER | plat::DT_SINGLELINE;
    dc.SetBkMode(plat::TRANSPARENT);
    dc.SelectClipRect(filled);
    dc.SetTextColor(m_barTextColor);
    dc.DrawText(text, client, format);
    dc.SelectClipRect(rest);
    dc.SetTextColor(m_textColor);
    dc.DrawText(text, client, format);
}
