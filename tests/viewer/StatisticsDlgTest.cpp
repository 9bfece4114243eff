// The statistics window over real layers: its texts per layer and channel, growth and
// closing, the chart's fill mode, a layer replaced while it is shown, and a check of
// what it shows against numpy and gdalinfo.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <memory>

#include "Command.h"
#include "RasterViewTestSupport.h"
#include "dialogs/HistogramMath.h"
#include "dialogs/StatisticsDlg.h"
#include "view/RGBView.h"
#include "view/RasterView.h"

namespace {

using namespace rvtest;
using D = CStatisticsDlg;

std::string F(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, " %f", v);
    return text;
}

int CountColour(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) | 0xFF000000u) == (colour | 0xFF000000u);
    return n;
}

class StatisticsDlgTest : public ViewFixture {
protected:
    void SetUp() override
    {
        m_frameHandle = plat::WindowHandle::Attach(&m_frame, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            if (msg == WM_VIEWER_DLGCMD) {
                m_requests.emplace_back(w, l);
                // The frame's answer to a closed window: hide it.
                if (w == D::kClosed && m_dlg.Window())
                    m_dlg.Window()->hide();
            }
            return plat::LResult(0);
        });
    }

    void TearDown() override
    {
        ViewFixture::TearDown();
        m_view.reset();
    }

    // A single-band layer of type 64 x 48 samples, prepared and shown.
    std::unique_ptr<CRasterView> Raster(const std::string& name, int type, int w = 64, int h = 48)
    {
        const std::string path = File(name);
        WriteLayer(path, w, h, type, [type](int x, int y, int part) {
            switch (type) {
            case SINT16:
                return double((x * 97 + y * 31) % 3000 - 1500);
            case CFLOAT32:
                return part == 0 ? 30.0 * std::cos(x * 0.1) + y : 20.0 * std::sin(y * 0.3) - x * 0.5;
            default:
                return 100.0 * std::sin(x * 0.3) + 50.0 * std::cos(y * 0.2) + x * 2.5 - 17.25;
            }
        });
        auto view = std::make_unique<CRasterView>();
        const size_t before = m_notify.notices.size();
        EXPECT_EQ(view->OpenLayer(0, m_notify.handle, path.c_str(), 0, 2.0, 1, nullptr, {}), 1);
        EXPECT_TRUE(m_notify.WaitFor(before + 1));
        view->SetShown(1);
        m_paths[view.get()] = path;
        return view;
    }

    std::unique_ptr<CRGBView> ThreeChannels()
    {
        const char* names[] = {"r.rdp", "g.rdp", "b.rdp"};
        std::string paths[3];
        for (int c = 0; c < 3; ++c) {
            paths[c] = File(names[c]);
            WriteLayer(paths[c], 80, 60, UINT8, [c](int x, int y, int) {
                return double(c == 0 ? (x * 3) % 256 : c == 1 ? (x + y * 2) % 120 + 60 : (y * 4) % 200);
            });
        }
        auto view = std::make_unique<CRGBView>();
        const size_t before = m_notify.notices.size();
        EXPECT_EQ(
            view->OpenImage(3, m_notify.handle, paths[0].c_str(), paths[1].c_str(), paths[2].c_str(), nullptr, {}), 1);
        EXPECT_TRUE(m_notify.WaitFor(before + 1));
        view->SetShown(1);
        return view;
    }

    void Show()
    {
        if (!m_dlg.Window())
            ASSERT_EQ(m_dlg.Create(m_frameHandle), 1);
        m_dlg.Window()->show();
        Repaint();
    }

    void Repaint()
    {
        QApplication::processEvents();
        m_dlg.Window()->repaint();
        m_dlg.Chart().Window()->repaint();
    }

    std::string Shown(unsigned id) const { return m_dlg.Window()->ControlText(id); }

    QRect Geometry(unsigned id) const { return m_dlg.Window()->Control(id)->geometry(); }

    // Points the mouse at a display level's column; answers the read-outs.
    void PointAt(int level)
    {
        const CHistogramWnd& chart = m_dlg.Chart();
        const int x = chart.m_rcPlot.left + int(std::lround(level * chart.m_dBinWidth));
        m_dlg.Chart().OnMouseMove(x, (chart.m_rcPlot.top + chart.m_rcPlot.bottom) / 2);
    }

    NoticeWindow m_notify;
    std::unique_ptr<CVirtualView> m_view;
    std::map<const CVirtualView*, std::string> m_paths;
    CActiveViewQueries m_queries{[this] { return m_view.get(); }};
    QWidget m_frame;
    plat::WindowHandle m_frameHandle;
    std::vector<std::pair<plat::WParam, plat::LParam>> m_requests;
    CStatisticsDlg m_dlg{&m_queries};
};

TEST_F(StatisticsDlgTest, ASingleBandLayerShowsItsTextsAndDisablesTheChannels)
{
    m_view = Raster("wave.rdp", FLOAT32);
    Show();
    CVirtualView& view = *m_view;
    EXPECT_FALSE(m_dlg.Window()->Control(D::IDC_CHANNEL)->isEnabled());
    EXPECT_EQ(m_dlg.Window()->windowTitle(), "Statistics");
    EXPECT_EQ(Shown(D::IDC_SIZE), " 64 x 48 x 32 bits");
    EXPECT_EQ(Shown(D::IDC_DATA_TYPE), " Float");
    EXPECT_EQ(Shown(D::IDC_MIN), F(view.Min(1)));
    EXPECT_EQ(Shown(D::IDC_MAX), F(view.Max(1)));
    EXPECT_EQ(Shown(D::IDC_MEAN), F(view.Mean(1)));
    EXPECT_EQ(Shown(D::IDC_STDEV), F(view.StDev(1)));
    EXPECT_EQ(Shown(IDC_HIST_SELECTED), "0.0");
    EXPECT_EQ(Shown(IDC_HIST_VALUE), "");
    auto* combo = m_dlg.Window()->ControlAs<QComboBox>(D::IDC_CHANNEL);
    ASSERT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(0).toStdString(), "3 Канала");
    EXPECT_EQ(combo->itemText(2).toStdString(), "Зеленый Канал");
    EXPECT_TRUE(m_dlg.Window()->ControlAs<QCheckBox>(D::IDC_FILL)->isChecked());
    // The value axis spans the display range, not the statistics' extremes.
    const StatisticsState& state = m_dlg.State();
    EXPECT_EQ(state.m_dRangeLow, view.GetRangeMin(1));
    EXPECT_EQ(state.m_dRangeHigh, view.GetRangeMax(1));
    EXPECT_EQ(state.m_nMaxCount, MaxCount(view.GetHistAddr(1), 256));
    EXPECT_EQ(state.m_dTotal, 64.0 * 48.0);
    EXPECT_EQ(m_dlg.Chart().m_nGridStep, HistogramGridStep(Geometry(D::IDC_CHART).height()));
    EXPECT_FALSE(m_dlg.Window()->Control(D::IDC_CHART)->isHidden());
}

TEST_F(StatisticsDlgTest, ThreeChannelsThenTheGreenOne)
{
    auto rgb = ThreeChannels();
    CRGBView& view = *rgb;
    m_view = std::move(rgb);
    Show();
    EXPECT_TRUE(m_dlg.Window()->Control(D::IDC_CHANNEL)->isEnabled());
    for (unsigned id : {D::IDC_DATA_TYPE, D::IDC_MIN, D::IDC_MAX, D::IDC_MEAN, D::IDC_STDEV})
        EXPECT_EQ(Shown(id), "") << id;
    // The last channel with a histogram, blue, gives Size.
    EXPECT_EQ(Shown(D::IDC_SIZE), " 80 x 60 x 8 bits");
    EXPECT_EQ(Shown(IDC_HIST_VALUE), "0.0");
    EXPECT_EQ(Shown(IDC_HIST_Y), "0");
    EXPECT_EQ(m_dlg.State().m_dCurLow, view.GetRangeMin(5));

    m_dlg.Chart().m_dAnchor = 7;
    m_dlg.Chart().m_dMoving = 30;
    auto* combo = m_dlg.Window()->ControlAs<QComboBox>(D::IDC_CHANNEL);
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(m_dlg.Chart().m_dAnchor, 0.0);
    EXPECT_EQ(m_dlg.Chart().m_dMoving, 0.0);
    EXPECT_EQ(m_dlg.State().m_nChannelShown, 2);
    EXPECT_EQ(m_dlg.State().m_dCurLow, view.GetRangeMin(4));
    EXPECT_EQ(m_dlg.State().m_dCurHigh, view.GetRangeMax(4));
    for (unsigned id : {IDC_HIST_VALUE, IDC_HIST_OCCURENCIES, IDC_HIST_Y, IDC_HIST_PERCENTAGE, IDC_HIST_SELECTED,
                        IDC_HIST_LEFT_VALUE, IDC_HIST_RIGHT_VALUE})
        EXPECT_EQ(Shown(id), "0.0") << id;
    Repaint();
    EXPECT_EQ(Shown(D::IDC_MIN), F(view.GetRangeMin(4)));
    EXPECT_EQ(Shown(D::IDC_MAX), F(view.GetRangeMax(4)));
    EXPECT_EQ(Shown(D::IDC_MEAN), F(view.Mean(4)));
    EXPECT_EQ(Shown(D::IDC_STDEV), F(view.StDev(4)));
    EXPECT_EQ(Shown(D::IDC_DATA_TYPE), " Unsigned integer");
    const QImage chart = m_dlg.Chart().Window()->grab().toImage();
    EXPECT_GT(CountColour(chart, qRgb(0, 255, 0)), 100);
    EXPECT_EQ(CountColour(chart, qRgb(255, 0, 0)), 0);
    // The read-out reads the green channel.
    PointAt(100);
    EXPECT_EQ(m_dlg.Text(IDC_HIST_OCCURENCIES), std::to_string(view.GetHistAddr(4)[100]));

    // Back to three channels: the file fields empty, the chart shows no selection.
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    EXPECT_EQ(Shown(D::IDC_SIZE), "");
    EXPECT_EQ(Shown(D::IDC_MEAN), "");
    EXPECT_EQ(m_dlg.Chart().m_bHasHistogram, 0);
}

TEST_F(StatisticsDlgTest, GrowsButNeverShrinksAndComesBackAsBuiltAfterClosing)
{
    m_view = Raster("wave.rdp", FLOAT32);
    Show();
    plat::Dialog& wnd = *m_dlg.Window();
    const QSize built = wnd.size();
    const QPoint place = wnd.pos();
    const QRect chart = Geometry(D::IDC_CHART), grip = Geometry(D::IDC_GRIP);
    const QRect files = Geometry(D::IDC_FILE_GROUP), hist = Geometry(D::IDC_HIST_GROUP);
    const QRect combo = Geometry(D::IDC_CHANNEL);

    wnd.resize(built.width() - 60, built.height() - 40);  // dragging the border inwards
    QApplication::processEvents();
    EXPECT_EQ(wnd.size(), built);

    wnd.resize(built.width() + 200, built.height() + 100);
    QApplication::processEvents();
    EXPECT_EQ(Geometry(D::IDC_CHART), chart.adjusted(0, 0, 200, 100));
    EXPECT_EQ(Geometry(D::IDC_GRIP), grip.translated(200, 100));
    EXPECT_EQ(Geometry(D::IDC_FILE_GROUP), files.adjusted(0, 0, 200, 0));
    EXPECT_EQ(Geometry(D::IDC_HIST_GROUP), hist.adjusted(0, 0, 200, 0));
    EXPECT_EQ(Geometry(D::IDC_CHANNEL), combo);  // the rest keep their places

    wnd.showMaximized();
    QApplication::processEvents();
    const int dx = wnd.width() - built.width(), dy = wnd.height() - built.height();
    EXPECT_EQ(Geometry(D::IDC_CHART), chart.adjusted(0, 0, dx, dy));
    EXPECT_EQ(Geometry(D::IDC_FILE_GROUP), files.adjusted(0, 0, dx, 0));

    m_dlg.Chart().m_dAnchor = 12;
    m_dlg.Chart().m_dMoving = 40;
    wnd.close();  // the close box
    EXPECT_EQ(m_requests, (std::vector<std::pair<plat::WParam, plat::LParam>>{{4, 0}}));
    EXPECT_TRUE(wnd.isHidden());
    EXPECT_EQ(m_dlg.Chart().m_dAnchor, 0.0);
    EXPECT_EQ(m_dlg.Chart().m_dMoving, 0.0);

    wnd.show();
    QApplication::processEvents();
    EXPECT_EQ(wnd.size(), built);
    EXPECT_EQ(wnd.pos(), place);
    EXPECT_EQ(Geometry(D::IDC_CHART), chart);
    EXPECT_EQ(Geometry(D::IDC_GRIP), grip);
    EXPECT_EQ(Geometry(D::IDC_FILE_GROUP), files);
    // Growth after the reopening is measured from the built size again.
    wnd.resize(built.width() + 30, built.height());
    QApplication::processEvents();
    EXPECT_EQ(Geometry(D::IDC_CHART), chart.adjusted(0, 0, 30, 0));
}

TEST_F(StatisticsDlgTest, UncheckingFillRedrawsAsOutline)
{
    m_view = Raster("wave.rdp", SINT16);
    Show();
    const QRgb pen = qRgb(255, 128, 255);
    const int columns = CountColour(m_dlg.Chart().Window()->grab().toImage(), pen);
    m_dlg.Window()->ControlAs<QCheckBox>(D::IDC_FILL)->click();
    EXPECT_EQ(m_dlg.State().m_bFill, 0);
    const int outline = CountColour(m_dlg.Chart().Window()->grab().toImage(), pen);
    EXPECT_GT(outline, 0);
    EXPECT_LT(outline, columns / 2);
}

TEST_F(StatisticsDlgTest, AnotherLayerWhileShownIsReadAfreshAndNoLayerReadsNothing)
{
    m_view = Raster("first.rdp", FLOAT32);
    Show();
    // Another file replaces the first while the window is shown: the first layer and its
    // histogram are freed.
    m_view = Raster("second.rdp", SINT16, 30, 20);
    Repaint();
    PointAt(128);
    EXPECT_EQ(m_dlg.Text(IDC_HIST_OCCURENCIES), std::to_string(m_view->GetHistAddr(1)[128]));
    CHistogramWnd& chart = m_dlg.Chart();
    const CRect plot = chart.m_rcPlot;
    chart.OnLButtonDown(plot.left - 5, plot.top + 5);
    chart.OnMouseMove(plot.right + 5, plot.top + 5);
    chart.OnLButtonUp(plot.right + 5, plot.top + 5);
    double all = 0;
    for (int i = 0; i < 256; ++i)
        all += m_view->GetHistAddr(1)[i];
    // The total is still the first layer's until the next show; the sum is the second's.
    EXPECT_EQ(m_dlg.Text(IDC_HIST_SELECTED), SelectedText(100.0 * all / (64.0 * 48.0)));

    m_view.reset();  // no layer at all
    Repaint();
    chart.OnLButtonDown(plot.left - 5, plot.top + 5);
    chart.OnMouseMove(plot.right + 5, plot.top + 5);
    EXPECT_EQ(m_dlg.Text(IDC_HIST_SELECTED), "0.000%");
    PointAt(128);
    EXPECT_EQ(m_dlg.Text(IDC_HIST_OCCURENCIES), "0");
    chart.OnLButtonUp(plot.right + 5, plot.top + 5);
    // The next show reads the empty answers.
    m_dlg.Window()->hide();
    Show();
    EXPECT_EQ(Shown(D::IDC_SIZE), " 0 x 0 x ");
    EXPECT_EQ(Shown(D::IDC_MIN), F(0.0));
}

TEST_F(StatisticsDlgTest, ShownValuesAgreeWithNumpyAndGdal)
{
    for (int type : {FLOAT32, SINT16, CFLOAT32}) {
        SCOPED_TRACE(type);
        m_view = Raster("check" + std::to_string(type) + ".rdp", type);
        Show();
        std::string levels;
        for (int level : {0, 37, 128, 200, 255}) {
            PointAt(level);
            levels += " " + std::to_string(level) + ":" + m_dlg.Text(IDC_HIST_OCCURENCIES) + ":" +
                      m_dlg.Text(IDC_HIST_PERCENTAGE);
        }
        char range[128];
        std::snprintf(range, sizeof range, " %.17g %.17g", m_view->GetRangeMin(1), m_view->GetRangeMax(1));
        const std::string cmd = "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/viewer/stats_dialog_check.py '" +
                                m_paths[m_view.get()] + "'" + range + Shown(D::IDC_MIN) + Shown(D::IDC_MAX) +
                                Shown(D::IDC_MEAN) + Shown(D::IDC_STDEV) + levels + " 2>&1";
        EXPECT_EQ(testsupport::CommandOutput(cmd), "OK\n") << cmd;
        m_dlg.Window()->hide();
    }
}

TEST_F(StatisticsDlgTest, ScreenshotWithADraggedSelection)
{
    m_view = Raster("wave.rdp", FLOAT32, 256, 192);
    Show();
    QWidget* chart = m_dlg.Chart().Window();
    const CRect plot = m_dlg.Chart().m_rcPlot;
    const QPoint from(plot.left + plot.Width() / 5, plot.top + 20);
    const QPoint to(plot.left + plot.Width() / 2, plot.top + 40);
    QTest::mousePress(chart, Qt::LeftButton, {}, from);
    QTest::mouseMove(chart, to);
    QTest::mouseRelease(chart, Qt::LeftButton, {}, to);
    Repaint();
    EXPECT_NE(m_dlg.Text(IDC_HIST_SELECTED), "0.0");
    EXPECT_LT(std::stod(m_dlg.Text(IDC_HIST_LEFT_VALUE)), std::stod(m_dlg.Text(IDC_HIST_RIGHT_VALUE)));
    const QImage shot = m_dlg.Window()->grab().toImage();
    EXPECT_TRUE(shot.save(QString::fromUtf8(SUITE_BIN_DIR "/statistics_dialog.png")));
    // The band shows in the chart's part of the window.
    EXPECT_GT(CountColour(m_dlg.Chart().Window()->grab().toImage(), qRgb(50, 255, 255)), 100);
}

}  // namespace
