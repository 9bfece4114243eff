#pragma once
// "Statistics": the modeless window of a viewer frame that shows the active layer's
// size, type, minimum, maximum, mean and standard deviation (per channel for a
// three-channel layer) over its display histogram chart. It only reads; closing it
// sends WM_VIEWER_DLGCMD (wParam 4) to the frame, which hides it.

#include <QIcon>
#include <QPointer>
#include <cstdint>
#include <map>
#include <string>

#include "platform/dialogs/Dialog.h"
#include "platform/windows/WindowHandle.h"
#include "dialogs/HistogramWnd.h"
#include "dialogs/StatisticsState.h"

class CStatisticsDlg final {
public:
    enum : unsigned {
        IDD = 203,
        IDI_STATISTICS = 233,
        IDC_CHANNEL = 1006,
        IDC_FILL = 1009,
        IDC_SIZE = 1012,
        IDC_DATA_TYPE = 1013,
        IDC_MIN = 1014,
        IDC_MAX = 1015,
        IDC_MEAN = 1016,
        IDC_STDEV = 1017,
        IDC_CHART = 1019,
        IDC_GRIP = 1021,
        IDC_FILE_GROUP = 1024,
        IDC_HIST_GROUP = 1025,
    };
    // wParam of WM_VIEWER_DLGCMD: the window was closed.
    static constexpr plat::WParam kClosed = 4;

    // viewer answers every query; it must outlive the window.
    explicit CStatisticsDlg(CStatisticsQueries* viewer);
    ~CStatisticsDlg();
    // Owns its window: neither copied nor moved.
    CStatisticsDlg(const CStatisticsDlg&) = delete;
    CStatisticsDlg& operator=(const CStatisticsDlg&) = delete;

    // Builds the window from template 203, hidden, under parent; nonzero on success.
    int Create(plat::WindowHandle parent);

    // Handlers.
    void OnInitDialog();
    void RefreshStatistics();
    void OnPaint();
    void OnSelchangeChannel();
    void OnFill();
    void OnSize(int cx, int cy);
    void OnClose();

    // The largest of the first n counts.
    static std::uint32_t MaxCount(const std::uint32_t* counts, int n);

    plat::Dialog* Window() const { return m_wnd.data(); }
    CHistogramWnd& Chart() { return m_chart; }
    StatisticsState& State() { return m_state; }
    const StatisticsLayout& Layout() const { return m_layout; }
    // The stored text of a read-out or file field.
    std::string Text(unsigned id) const;
    static const plat::DialogTemplate& Template();
    static QIcon Icon();

private:
    // Data exchange: the stored texts, the combo's choice and the check box to the
    // controls (save false), or the choice and the check box back (save true).
    void UpdateData(bool save);
    void SetText(unsigned id, const std::string& text);
    void ShowText(unsigned id, const std::string& text);
    void ClearFileTexts();
    void ReadChannel(int shown);
    void PlaceControls(bool repaintChart);

    struct Channel {
        bool hasHistogram = false;
        double low = 0.0, high = 0.0, mean = 0.0, stdev = 0.0;
        std::string type;
    };

    StatisticsState m_state;
    StatisticsLayout m_layout;
    CHistogramWnd m_chart;
    plat::WindowHandle m_parent;
    QPointer<plat::Dialog> m_wnd;  // null once its parent took it along
    Channel m_channels[3];         // red, green, blue as last read
    std::string m_strSize;         // the Size text as last refreshed
    std::map<unsigned, std::string> m_texts;
    QRect m_rcWindowInit;
    bool m_bPlaced = false;  // m_rcWindowInit holds the place of the first show
    CRect m_rcChartInit;
    CRect m_rcGripInit;
    CRect m_rcHistGroupInit;
    CRect m_rcFileGroupInit;
    int m_nMinWidth = 0;
    int m_nMinHeight = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    QIcon m_hIcon;
};
