#include "dialogs/StatisticsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QPixmap>

#include "platform/dialogs/Dialog.h"
#include "dialogs/HistogramMath.h"
#include "view/VirtualView.h"
#include "window/ViewerMessages.h"

namespace {

using plat::ControlKind;
using plat::CS_DISABLED;
using plat::CS_HIDDEN;
using plat::CS_NONE;
using plat::CS_READONLY;
using plat::IDC_STATIC;
using D = CStatisticsDlg;

const plat::ControlTemplate kControls[] = {
    {IDC_HIST_VALUE, ControlKind::Edit, 55, 131, 40, 14, "", CS_READONLY},
    {IDC_HIST_OCCURENCIES, ControlKind::Edit, 146, 94, 40, 14, "", CS_READONLY},
    {1007, ControlKind::Static, 14, 131, 21, 8, "Value:", CS_NONE},
    {1008, ControlKind::Static, 100, 94, 45, 8, "Occurencies:", CS_NONE},
    {D::IDC_CHANNEL, ControlKind::DropDownList, 14, 94, 73, 49, "3 Канала\nКрасный Канал\nЗеленый Канал\nСиний Канал",
     CS_NONE},
    {1000, ControlKind::Static, 14, 12, 33, 10, "Size:", CS_NONE},
    {1001, ControlKind::Static, 14, 25, 46, 10, "Data Type:", CS_NONE},
    {1002, ControlKind::Static, 14, 42, 37, 10, "Min:", CS_NONE},
    {1003, ControlKind::Static, 14, 58, 42, 10, "Max:", CS_NONE},
    {1004, ControlKind::Static, 138, 42, 34, 10, "Mean:", CS_NONE},
    {1005, ControlKind::Static, 138, 58, 56, 10, "St. Dev:", CS_NONE},
    {D::IDC_FILL, ControlKind::CheckBox, 14, 112, 50, 10, "Fill", CS_NONE},
    {IDC_HIST_Y, ControlKind::Edit, 117, 131, 40, 14, "", CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 100, 131, 8, 8, "Y:", CS_NONE},
    {IDC_HIST_PERCENTAGE, ControlKind::Edit, 145, 112, 40, 14, "", CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 100, 112, 41, 8, "Percentage:", CS_NONE},
    {D::IDC_SIZE, ControlKind::Edit, 48, 12, 71, 14, "", CS_READONLY},
    {D::IDC_DATA_TYPE, ControlKind::Edit, 62, 25, 185, 14, "", CS_READONLY},
    {D::IDC_MIN, ControlKind::Edit, 54, 42, 79, 14, "", CS_READONLY},
    {D::IDC_MAX, ControlKind::Edit, 60, 58, 75, 14, "", CS_READONLY},
    {D::IDC_MEAN, ControlKind::Edit, 176, 42, 79, 14, "", CS_READONLY},
    {D::IDC_STDEV, ControlKind::Edit, 194, 58, 73, 12, "", CS_READONLY},
    {D::IDC_HIST_GROUP, ControlKind::GroupBox, 7, 82, 280, 65, "Parameters of Histogram", CS_NONE},
    {D::IDC_GRIP, ControlKind::SizeGrip, 280, 234, 15, 12, nullptr, CS_NONE},
    {D::IDC_CHART, ControlKind::Static, 7, 153, 280, 86, "Static", CS_HIDDEN | CS_DISABLED},
    {D::IDC_FILE_GROUP, ControlKind::GroupBox, 7, 3, 280, 73, "Parameters of File", CS_NONE},
    {IDC_HIST_SELECTED, ControlKind::Edit, 231, 94, 38, 14, "", CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 188, 94, 37, 8, "Selected:", CS_NONE},
    {IDC_STATIC, ControlKind::Static, 188, 112, 44, 8, "Left value:", CS_NONE},
    {IDC_HIST_LEFT_VALUE, ControlKind::Edit, 235, 112, 40, 14, "", CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 188, 130, 48, 8, "Right Value:", CS_NONE},
    {IDC_HIST_RIGHT_VALUE, ControlKind::Edit, 237, 130, 40, 14, "", CS_READONLY},
};

// The size line of a large layer of wide samples.
const plat::ControlSample kSamples[] = {
    {D::IDC_SIZE, " 20000 x 20000 x 64 bits"},
};

const plat::DialogTemplate kTemplate = {
    CStatisticsDlg::IDD, "Statistics", "MS Sans Serif", 8, 295, 246, kControls, std::size(kControls),
    kSamples,           std::size(kSamples),
};

constexpr unsigned kFileFields[] = {D::IDC_SIZE, D::IDC_DATA_TYPE, D::IDC_MIN, D::IDC_MAX, D::IDC_MEAN, D::IDC_STDEV};
constexpr unsigned kReadouts[] = {IDC_HIST_VALUE,    IDC_HIST_OCCURENCIES, IDC_HIST_Y,          IDC_HIST_PERCENTAGE,
                                  IDC_HIST_SELECTED, IDC_HIST_LEFT_VALUE,  IDC_HIST_RIGHT_VALUE};

std::string Number(double value)
{
    return " " + FixedText(value, 6);
}

std::string SizeText(int width, int height, const std::string& bits)
{
    return " " + std::to_string(width) + " x " + std::to_string(height) + " x " + bits;
}

CRect FromQt(const QRect& r)
{
    return CRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

QRect ToQt(const CRect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

}  // namespace

const plat::DialogTemplate& CStatisticsDlg::Template()
{
    return kTemplate;
}

QIcon CStatisticsDlg::Icon()
{
    // Icon 233: histogram columns over a black plot in a cyan frame.
    QPixmap art(32, 32);
    art.fill(Qt::black);
    QPainter p(&art);
    p.setPen(QColor(55, 255, 255));
    p.drawRect(2, 2, 27, 27);
    const int heights[] = {3, 6, 11, 18, 23, 20, 14, 9, 6, 4, 2, 1};
    for (int i = 0; i < int(std::size(heights)); ++i)
        p.fillRect(4 + 2 * i, 29 - heights[i], 2, heights[i], QColor(255, 128, 255));
    p.end();
    return QIcon(art);
}

std::uint32_t CStatisticsDlg::MaxCount(const std::uint32_t* counts, int n)
{
    return ::MaxCount(counts, n);
}

CStatisticsDlg::CStatisticsDlg(CStatisticsQueries* viewer)
{
    m_state.m_pViewer = viewer;
    m_state.m_setReadout = [this](unsigned id, const std::string& text, bool store) {
        if (store)
            m_texts[id] = text;
        ShowText(id, text);
    };
    for (unsigned id : kFileFields)
        m_texts[id];
    for (unsigned id : kReadouts)
        m_texts[id];
    m_texts[IDC_HIST_SELECTED] = "0.0";
    m_hIcon = Icon();
}

CStatisticsDlg::~CStatisticsDlg()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

int CStatisticsDlg::Create(plat::WindowHandle parent)
{
    if (m_wnd)
        return 1;
    m_parent = std::move(parent);
    m_wnd = new plat::Dialog(kTemplate, m_parent.Widget());
    m_wnd->AllowGrowth();
    m_wnd->SetOkHandler([] {});
    m_wnd->SetCancelHandler([this] { OnClose(); });
    m_wnd->OnSelChange(IDC_CHANNEL, [this] { OnSelchangeChannel(); });
    m_wnd->OnClicked(IDC_FILL, [this] { OnFill(); });
    m_wnd->SetPaintHandler([this](plat::DeviceContext&) { OnPaint(); });
    m_wnd->SetShowHandler([this](bool shown) {
        // The place the window first appears at is the one it comes back to.
        if (shown && !m_bPlaced) {
            m_rcWindowInit.moveTopLeft(m_wnd->geometry().topLeft());
            m_bPlaced = true;
        }
        RefreshStatistics();
    });
    m_wnd->SetSizeHandler([this](int cx, int cy) { OnSize(cx, cy); });
    OnInitDialog();
    return 1;
}

void CStatisticsDlg::OnInitDialog()
{
    const CRect chart = FromQt(m_wnd->Control(IDC_CHART)->geometry());
    m_layout.m_rcChart = m_rcChartInit = chart;
    m_chart.Create(&m_state, m_wnd.data(), IDC_CHART);
    // The grip stays usable over the chart's corner.
    m_wnd->Control(IDC_GRIP)->raise();
    m_rcWindowInit = m_wnd->geometry();
    m_nMinWidth = m_wnd->width();
    m_nMinHeight = m_wnd->height();
    m_layout.m_rcGrip = m_rcGripInit = FromQt(m_wnd->Control(IDC_GRIP)->geometry());
    m_layout.m_rcHistGroup = m_rcHistGroupInit = FromQt(m_wnd->Control(IDC_HIST_GROUP)->geometry());
    m_layout.m_rcFileGroup = m_rcFileGroupInit = FromQt(m_wnd->Control(IDC_FILE_GROUP)->geometry());
    // Growth is measured from the size the window was built with.
    m_layout.m_cx = m_nMinWidth;
    m_layout.m_cy = m_nMinHeight;
    m_chart.m_nGridStep = HistogramGridStep(chart.Height());
    m_state.m_nChannel = 0;
    UpdateData(false);
    m_wnd->setWindowIcon(m_hIcon);
}

std::string CStatisticsDlg::Text(unsigned id) const
{
    auto it = m_texts.find(id);
    return it == m_texts.end() ? std::string() : it->second;
}

void CStatisticsDlg::ShowText(unsigned id, const std::string& text)
{
    // Only a change is written: an unchanged field must not ask for another paint.
    if (m_wnd && m_wnd->ControlText(id) != text)
        m_wnd->SetControlText(id, text);
}

void CStatisticsDlg::SetText(unsigned id, const std::string& text)
{
    m_texts[id] = text;
    ShowText(id, text);
}

void CStatisticsDlg::ClearFileTexts()
{
    for (unsigned id : kFileFields)
        SetText(id, "");
}

void CStatisticsDlg::UpdateData(bool save)
{
    if (!m_wnd)
        return;
    auto* combo = m_wnd->ControlAs<QComboBox>(IDC_CHANNEL);
    auto* fill = m_wnd->ControlAs<QCheckBox>(IDC_FILL);
    if (save) {
        if (combo)
            m_state.m_nChannel = combo->currentIndex();
        if (fill)
            m_state.m_bFill = fill->isChecked() ? 1 : 0;
        return;
    }
    for (const auto& [id, text] : m_texts)
        ShowText(id, text);
    if (combo && combo->currentIndex() != m_state.m_nChannel)
        combo->setCurrentIndex(m_state.m_nChannel);
    if (fill && fill->isChecked() != bool(m_state.m_bFill))
        fill->setChecked(m_state.m_bFill);
}

void CStatisticsDlg::ReadChannel(int shown)
{
    CStatisticsQueries* viewer = m_state.m_pViewer;
    Channel& channel = m_channels[shown - 1];
    const int number = StatisticsState::ChannelOf(shown);
    const std::uint32_t* counts = viewer->GetHistAddr(number);
    channel.hasHistogram = counts != nullptr;
    CVirtualView* view = viewer->GetActiveView();
    if (counts && view) {
        channel.low = view->GetRangeMin(number);
        channel.high = view->GetRangeMax(number);
        channel.mean = view->Mean(number);
        channel.stdev = view->StDev(number);
        channel.type = view->GetStringTypeData(number);
        m_state.MaxRef(shown) = MaxCount(counts, kHistogramLevels);
        m_state.LowRef(shown) = channel.low;
        m_state.HighRef(shown) = channel.high;
        m_nWidth = viewer->ImageWidth(1);
        m_nHeight = viewer->ImageHeight(1);
        m_strSize = SizeText(m_nWidth, m_nHeight, view->GetStringSizePixel(number));
        SetText(IDC_SIZE, m_strSize);
    }
    m_state.m_dCurLow = m_state.LowOf(shown);
    m_state.m_dCurHigh = m_state.HighOf(shown);
}

void CStatisticsDlg::RefreshStatistics()
{
    if (!m_wnd || !m_state.m_pViewer)
        return;
    CStatisticsQueries* viewer = m_state.m_pViewer;
    m_strSize = SizeText(viewer->ImageWidth(1), viewer->ImageHeight(1), viewer->GetStringSizePixel(1));
    SetText(IDC_SIZE, m_strSize);
    SetText(IDC_DATA_TYPE, " " + viewer->GetStringTypeData(1));
    SetText(IDC_MIN, Number(viewer->Min(1)));
    SetText(IDC_MAX, Number(viewer->Max(1)));
    SetText(IDC_MEAN, Number(viewer->Mean(1)));
    SetText(IDC_STDEV, Number(viewer->StDev(1)));
    m_state.m_nColorMode = viewer->GetColorMode();
    if (m_state.m_nColorMode == 1) {
        CVirtualView* view = viewer->GetActiveView();
        m_state.m_dRangeLow = view ? view->GetRangeMin(1) : 0.0;
        m_state.m_dRangeHigh = view ? view->GetRangeMax(1) : 0.0;
        m_nWidth = viewer->ImageWidth(1);
        m_nHeight = viewer->ImageHeight(1);
        if (const std::uint32_t* counts = viewer->GetHistAddr(1))
            m_state.m_nMaxCount = MaxCount(counts, kHistogramLevels);
        m_state.m_dCurLow = m_state.m_dRangeLow;
        m_state.m_dCurHigh = m_state.m_dRangeHigh;
        m_chart.m_bHasHistogram = 1;
    } else if (m_state.m_nColorMode == 2) {
        if (m_state.m_nChannel == 0) {
            m_chart.m_bHasHistogram = 0;
            ClearFileTexts();
            // The last channel with a histogram decides Size and the current range.
            for (int shown = 1; shown <= 3; ++shown)
                if (viewer->GetHistAddr(StatisticsState::ChannelOf(shown)))
                    ReadChannel(shown);
        } else {
            ReadChannel(m_state.m_nChannel);
            m_chart.m_bHasHistogram = 1;
        }
    }
    m_chart.Invalidate();
}

void CStatisticsDlg::OnPaint()
{
    if (!m_wnd || !m_state.m_pViewer)
        return;
    if (QWidget* combo = m_wnd->Control(IDC_CHANNEL)) {
        if (m_state.m_nColorMode == 1 && combo->isEnabled())
            combo->setEnabled(false);
        else if (m_state.m_nColorMode == 2 && !combo->isEnabled())
            combo->setEnabled(true);
    }
    if (m_state.m_nColorMode == 2) {
        // Three channels show what the refresh kept: Size alone.
        const int shown = m_state.m_nChannel;
        if (shown >= 1 && shown <= 3) {
            const Channel& channel = m_channels[shown - 1];
            if (channel.hasHistogram && m_state.HistOf(StatisticsState::ChannelOf(shown))) {
                SetText(IDC_MIN, Number(channel.low));
                SetText(IDC_MAX, Number(channel.high));
                SetText(IDC_MEAN, Number(channel.mean));
                SetText(IDC_STDEV, Number(channel.stdev));
                SetText(IDC_DATA_TYPE, " " + channel.type);
                SetText(IDC_SIZE, m_strSize);
            }
        }
    }
    // The read-outs are the chart's: a paint brings back the file fields and the choices.
    for (unsigned id : kFileFields)
        ShowText(id, Text(id));
    auto* combo = m_wnd->ControlAs<QComboBox>(IDC_CHANNEL);
    if (combo && combo->currentIndex() != m_state.m_nChannel)
        combo->setCurrentIndex(m_state.m_nChannel);
    // Counted in 64 bits: a layer of more than 2^32 pixels keeps its true total.
    m_state.m_dTotal = double(std::int64_t(m_nWidth) * std::int64_t(m_nHeight));
}

void CStatisticsDlg::OnSelchangeChannel()
{
    UpdateData(true);
    const int channel = m_state.m_nChannel;
    m_chart.m_dAnchor = m_chart.m_dMoving = 0.0;
    for (unsigned id : kReadouts)
        m_texts[id] = "0.0";
    if (channel == 0) {
        m_state.m_nChannelShown = 0;
        ClearFileTexts();
        m_chart.m_bHasHistogram = 0;
    } else if (channel >= 1 && channel <= 3) {
        m_state.m_nChannelShown = channel;
        m_chart.m_bHasHistogram = 1;
        m_state.m_dCurLow = m_state.LowOf(channel);
        m_state.m_dCurHigh = m_state.HighOf(channel);
    }
    UpdateData(false);
    m_wnd->update();
    m_chart.Invalidate();
}

void CStatisticsDlg::OnFill()
{
    UpdateData(true);
    m_chart.Invalidate();
    UpdateData(false);
}

void CStatisticsDlg::PlaceControls(bool repaintChart)
{
    if (!m_wnd || !m_chart.Window())
        return;
    m_wnd->Control(IDC_GRIP)->setGeometry(ToQt(m_layout.m_rcGrip));
    m_wnd->Control(IDC_HIST_GROUP)->setGeometry(ToQt(m_layout.m_rcHistGroup));
    m_wnd->Control(IDC_FILE_GROUP)->setGeometry(ToQt(m_layout.m_rcFileGroup));
    m_chart.Window()->setGeometry(ToQt(m_layout.m_rcChart));
    if (repaintChart)
        m_chart.Window()->update();
    m_chart.Invalidate();
}

void CStatisticsDlg::OnSize(int cx, int cy)
{
    const CSize d = m_layout.OnSize(cx, cy);
    PlaceControls(d.cx < 0 || d.cy < 0);
}

void CStatisticsDlg::OnClose()
{
    if (!m_wnd)
        return;
    // The frame answers by hiding the window; without a frame it hides itself.
    if (m_parent.IsWindow())
        m_parent.SendMessage(WM_VIEWER_DLGCMD, kClosed, 0);
    else
        m_wnd->hide();
    // The next show starts from the template's layout with no selection.
    m_wnd->setWindowState(Qt::WindowNoState);
    m_wnd->setGeometry(m_rcWindowInit);
    m_layout.m_rcChart = m_rcChartInit;
    m_layout.m_rcGrip = m_rcGripInit;
    m_layout.m_rcHistGroup = m_rcHistGroupInit;
    m_layout.m_rcFileGroup = m_rcFileGroupInit;
    m_layout.m_cx = m_layout.m_cxPrev = m_rcWindowInit.width();
    m_layout.m_cy = m_layout.m_cyPrev = m_rcWindowInit.height();
    PlaceControls(true);
    m_chart.m_dAnchor = m_chart.m_dMoving = m_chart.m_dSelectedPercent = 0.0;
    UpdateData(false);
}
