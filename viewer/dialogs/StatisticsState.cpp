#include "dialogs/StatisticsState.h"

#include <cstdlib>

#include "view/VirtualView.h"

namespace {

// The view's answer, or none without a view.
template <class R, class F>
R Ask(CVirtualView* view, R none, F&& answer)
{
    return view ? R(answer(*view)) : none;
}

}  // namespace

int CActiveViewQueries::ImageWidth(int)
{
    return Ask(GetActiveView(), 0, [](CVirtualView& v) { return v.GetWidth(); });
}

int CActiveViewQueries::ImageHeight(int)
{
    return Ask(GetActiveView(), 0, [](CVirtualView& v) { return v.GetHeight(); });
}

double CActiveViewQueries::Min(int channel)
{
    return Ask(GetActiveView(), 0.0, [&](CVirtualView& v) { return v.Min(channel); });
}

double CActiveViewQueries::Max(int channel)
{
    return Ask(GetActiveView(), 0.0, [&](CVirtualView& v) { return v.Max(channel); });
}

double CActiveViewQueries::Mean(int channel)
{
    return Ask(GetActiveView(), 0.0, [&](CVirtualView& v) { return v.Mean(channel); });
}

double CActiveViewQueries::StDev(int channel)
{
    return Ask(GetActiveView(), 0.0, [&](CVirtualView& v) { return v.StDev(channel); });
}

std::string CActiveViewQueries::GetStringSizePixel(int channel)
{
    return Ask(GetActiveView(), std::string(), [&](CVirtualView& v) { return v.GetStringSizePixel(channel); });
}

std::string CActiveViewQueries::GetStringTypeData(int channel)
{
    return Ask(GetActiveView(), std::string(), [&](CVirtualView& v) { return v.GetStringTypeData(channel); });
}

int CActiveViewQueries::GetColorMode()
{
    return Ask(GetActiveView(), 0, [](CVirtualView& v) { return v.GetColorMode(); });
}

std::uint32_t* CActiveViewQueries::GetHistAddr(int channel)
{
    return Ask(GetActiveView(), static_cast<std::uint32_t*>(nullptr),
               [&](CVirtualView& v) { return v.GetHistAddr(channel); });
}

CVirtualView* CActiveViewQueries::GetActiveView()
{
    return m_active ? m_active() : nullptr;
}

std::uint32_t* StatisticsState::Hist() const
{
    if (m_nColorMode == 1)
        return HistOf(1);
    if (m_nColorMode == 2 && m_nChannelShown >= 1 && m_nChannelShown <= 3)
        return HistOf(ChannelOf(m_nChannelShown));
    return nullptr;
}

double& StatisticsState::LowRef(int shown)
{
    return shown == 1 ? m_dRedLow : shown == 2 ? m_dGreenLow : shown == 3 ? m_dBlueLow : m_dRangeLow;
}

double& StatisticsState::HighRef(int shown)
{
    return shown == 1 ? m_dRedHigh : shown == 2 ? m_dGreenHigh : shown == 3 ? m_dBlueHigh : m_dRangeHigh;
}

std::uint32_t& StatisticsState::MaxRef(int shown)
{
    return shown == 1 ? m_nMaxRed : shown == 2 ? m_nMaxGreen : shown == 3 ? m_nMaxBlue : m_nMaxCount;
}

CSize StatisticsLayout::OnSize(int cx, int cy)
{
    m_cxPrev = m_cx;
    m_cyPrev = m_cy;
    m_cx = cx;
    m_cy = cy;
    const int dx = cx - m_cxPrev;
    const int dy = cy - m_cyPrev;
    m_rcChart.right = std::abs(m_rcChart.right + dx);
    m_rcChart.bottom = std::abs(m_rcChart.bottom + dy);
    m_rcGrip = CRect(std::abs(m_rcGrip.left + dx), std::abs(m_rcGrip.top + dy), std::abs(m_rcGrip.right + dx),
                     std::abs(m_rcGrip.bottom + dy));
    m_rcHistGroup.right += dx;
    m_rcFileGroup.right += dx;
    return {dx, dy};
}
