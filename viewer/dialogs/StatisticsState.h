#pragma once
// What the statistics window and its histogram chart share: the viewer they ask, the
// channel on show, the largest counts and value ranges as last read, and a way to
// write the read-outs. Histogram addresses are never kept: each use asks the viewer,
// so closing or replacing the layer leaves nothing that points into it.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/paint/Geometry.h"

class CVirtualView;

// The viewer's queries about its active layer, as the statistics window uses them.
// A viewer frame implements them by forwarding to its image window.
class CStatisticsQueries {
public:
    virtual ~CStatisticsQueries() = default;
    virtual int ImageWidth(int channel) = 0;
    virtual int ImageHeight(int channel) = 0;
    virtual double Min(int channel) = 0;
    virtual double Max(int channel) = 0;
    virtual double Mean(int channel) = 0;
    virtual double StDev(int channel) = 0;
    virtual std::string GetStringSizePixel(int channel) = 0;
    virtual std::string GetStringTypeData(int channel) = 0;
    // 1 single band, 2 three channels, 0 no active layer.
    virtual int GetColorMode() = 0;
    // 256 counts, or null.
    virtual std::uint32_t* GetHistAddr(int channel) = 0;
    // The active layer view, or null.
    virtual CVirtualView* GetActiveView() = 0;
};

// The queries answered from whatever layer view active() gives at the time of asking,
// with the empty answers when it gives none.
class CActiveViewQueries final : public CStatisticsQueries {
public:
    explicit CActiveViewQueries(std::function<CVirtualView*()> active) : m_active(std::move(active)) {}

    int ImageWidth(int channel) override;
    int ImageHeight(int channel) override;
    double Min(int channel) override;
    double Max(int channel) override;
    double Mean(int channel) override;
    double StDev(int channel) override;
    std::string GetStringSizePixel(int channel) override;
    std::string GetStringTypeData(int channel) override;
    int GetColorMode() override;
    std::uint32_t* GetHistAddr(int channel) override;
    CVirtualView* GetActiveView() override;

private:
    std::function<CVirtualView*()> m_active;
};

// Read-outs of the statistics window.
enum StatisticsReadout : unsigned {
    IDC_HIST_VALUE = 2002,
    IDC_HIST_OCCURENCIES = 2003,
    IDC_HIST_Y = 1010,
    IDC_HIST_PERCENTAGE = 1011,
    IDC_HIST_SELECTED = 1018,
    IDC_HIST_LEFT_VALUE = 1022,
    IDC_HIST_RIGHT_VALUE = 1023,
};

struct StatisticsState {
    CStatisticsQueries* m_pViewer = nullptr;
    int m_nColorMode = 0;     // 1 single band, 2 three channels
    int m_nChannel = 0;       // combo selection: 0 three channels, 1 red, 2 green, 3 blue
    int m_nChannelShown = 0;  // the channel case the last combo change applied
    int m_bFill = 1;          // 1 columns, 0 outline
    std::uint32_t m_nMaxCount = 0;
    std::uint32_t m_nMaxRed = 0;
    std::uint32_t m_nMaxGreen = 0;
    std::uint32_t m_nMaxBlue = 0;
    double m_dRangeHigh = 0.0;
    double m_dRangeLow = 0.0;
    double m_dRedHigh = 0.0;
    double m_dRedLow = 0.0;
    double m_dGreenHigh = 0.0;
    double m_dGreenLow = 0.0;
    double m_dBlueHigh = 0.0;
    double m_dBlueLow = 0.0;
    double m_dCurLow = 0.0;
    double m_dCurHigh = 0.0;
    double m_dTotal = 0.0;
    // Writes a read-out's edit; with store its text is kept too, and shown again when
    // the window writes its values back.
    std::function<void(unsigned id, const std::string& text, bool store)> m_setReadout;

    // One histogram on show: a single-band layer, or one channel of three.
    bool ShowsOne() const { return m_nColorMode == 1 || m_nChannel != 0; }
    // The viewer's channel (3, 4, 5) of a channel case (1, 2, 3).
    static int ChannelOf(int shown) { return shown + 2; }
    std::uint32_t* HistOf(int channel) const { return m_pViewer ? m_pViewer->GetHistAddr(channel) : nullptr; }
    // The counts on show, asked now; null with none.
    std::uint32_t* Hist() const;
    // Value range of the levels on show: the layer's, or the shown channel's.
    double ShownLow() const { return m_nColorMode == 2 ? LowOf(m_nChannelShown) : m_dRangeLow; }
    double ShownHigh() const { return m_nColorMode == 2 ? HighOf(m_nChannelShown) : m_dRangeHigh; }
    // Of a channel case 1, 2, 3; any other case names the single band's.
    double LowOf(int shown) const { return const_cast<StatisticsState*>(this)->LowRef(shown); }
    double HighOf(int shown) const { return const_cast<StatisticsState*>(this)->HighRef(shown); }
    std::uint32_t MaxOf(int shown) const { return const_cast<StatisticsState*>(this)->MaxRef(shown); }
    double& LowRef(int shown);
    double& HighRef(int shown);
    std::uint32_t& MaxRef(int shown);
    void SetReadout(unsigned id, const std::string& text, bool store) const
    {
        if (m_setReadout)
            m_setReadout(id, text, store);
    }
};

// The statistics window's growth: differences of client sizes move the size grip with
// the corner, widen both group boxes and enlarge the chart.
struct StatisticsLayout {
    CRect m_rcChart;
    CRect m_rcGrip;
    CRect m_rcHistGroup;
    CRect m_rcFileGroup;
    int m_cx = 0;
    int m_cy = 0;
    int m_cxPrev = 0;
    int m_cyPrev = 0;

    // The new client size; answers (dx, dy).
    CSize OnSize(int cx, int cy);
};
