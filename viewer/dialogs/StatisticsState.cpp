#include "dialogs/StatisticsState.h"

#include <cstdlib>

#include "view/VirtualView.h"

int CActiveViewQueries::ImageWidth(int)
{
    CVirtualView* view = GetActiveView();
    return view ? view->GetWidth() : 0;
}

int CActiveViewQueries::ImageHeight(int)
{
    CVirtualView* view = GetActiveView();
    return view ? view->GetHeight() : 0;
}

double CActiveViewQueries::Min(int channel)
{
    CVirtualView* view = GetActiveView();
    return view ? view->Min(channel) : 0.0;
}

double CActiveViewQueries::Max(int channel)
{
    CVirtualView* view = GetActiveView();
    return view ? view->Max(channel) : 0.0;
}

double CActiveViewQueries::Mean(int channel)
{
    CVirtualView* view = GetActiveView();
    return view ? view->Mean(channel) : 0.0;
}

double CActiveViewQueries::StDev(int channel)
{
    CVirtualView* view = GetActiveView();
    return view ? view->StDev(channel) : 0.0;
}

std::string CActiveViewQueries::GetStringSizePixel(int channel)
{
    CVirtualView* view = GetActiveView();
    return view ? view->GetStringSizePixel(channel) : std::string();
}

std::string CActiveViewQueries::GetStringTypeData(int channel)
{
    CVirtualView* view = GetActiveView();
    return view ? view->GetStringTypeData(channel) : std::string();
}

int CActiveViewQueries::GetColorMode()
{
    CVirtualView* view = GetActiveView();
    return view ? view->GetColorMode() : 0;
}

std::uint32_t* CActiveViewQueries::GetHistAddr(int channel)
{
    CVirtualView* view = GetActiveView();
    return view ? view->GetHistAddr(channel) : nullptr;
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
