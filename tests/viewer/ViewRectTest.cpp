// The image window with real raster layers, offscreen: notices into the first
// display, painting at several zooms, margins, scrolling and the mouse tools.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/windows/ClientEdge.h"
#include "platform/paint/DeviceContext.h"
#include "PalitraTag.h"
#include "RasterViewTestSupport.h"
#include "layer/RDPFileTags.h"
#include "vector/VectorImage.h"
#include "view/RasterView.h"
#include "view/VirtualView.h"
#include "window/ViewRect.h"

namespace {

using namespace rvtest;

int Sample(int x, int y)
{
    return (x * 7 + y * 13) % 256;
}

QRgb Grey(int v)
{
    return qRgb(v, v, v);
}

class ViewRectWindow : public ViewFixture {
protected:
    ViewRectWindow() : m_win(m_frame.handle)
    {
        m_win.resize(200, 150);
        m_win.show();
    }

    // A UINT8 layer with stretch None and a grey palette: display level = sample.
    int Load(const char* name, int w, int h)
    {
        const std::string path = File(name);
        WriteLayer(path, w, h, UINT8, [](int x, int y, int) { return double(Sample(x, y)); });
        const size_t before = m_frame.notices.size();
        const bool first = m_win.GetActive() < 0;
        const int n = m_win.LoadNewLayer(path.c_str(), 0, 2.0, 1, nullptr, {});
        if (first) {
            EXPECT_TRUE(m_frame.WaitFor(before + 1));
        } else {
            // Only the active layer's ready reaches the frame.
            EXPECT_TRUE(WaitForNoJobs());
            QCoreApplication::processEvents();
        }
        PalitraTag grey;
        for (int i = 0; i < 256; ++i)
            grey.entries[i][0] = grey.entries[i][1] = grey.entries[i][2] = static_cast<unsigned char>(i);
        if (CVirtualView* v = m_win.GetView(n))
            v->SetPalitra(&grey);
        return n;
    }

    QImage Shot()
    {
        m_win.Invalidate();
        m_win.UpdateWindow();
        return m_win.Buffer().copy();
    }

    static QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) | 0xFF000000u; }

    NoticeWindow m_frame;
    CViewRect m_win;
};

TEST_F(ViewRectWindow, ReadyReachesTheFrameInTwoHopsAndBlackShowsBefore)
{
    const std::string path = File("a.rdp");
    WriteLayer(path, 64, 48, UINT8, [](int x, int y, int) { return double(Sample(x, y)); });
    ASSERT_EQ(m_win.LoadNewLayer(path.c_str(), 0, 2.0, 1, nullptr, {}), 0);
    const QImage before = Shot();
    EXPECT_EQ(At(before, 10, 10), qRgb(0, 0, 0)) << "nothing shown yet: black";
    EXPECT_EQ(At(before, 150, 100), qRgb(0, 0, 0));
    ASSERT_TRUE(m_frame.WaitFor(1));
    EXPECT_EQ(m_frame.notices.back(), std::make_pair(0, 2));
    EXPECT_EQ(m_win.GetActive(), 0);
    EXPECT_EQ(m_win.GetScale(), 1.0);
}

TEST_F(ViewRectWindow, PaintFollowsTheCoordinateRuleWithHatchedMargins)
{
    Load("a.rdp", 64, 48);
    struct Case {
        const char* what;
        double scale;
        bool fit;
    } cases[] = {{"1:1", 1.0, false}, {"magnified 2", 0.5, false}, {"fitted 4", 0, true}};
    for (const auto& c : cases) {
        if (c.fit) {
            const auto c0 = m_win.GetClientSize();
            m_win.resize(m_win.width() - c0.cx + 256, m_win.height() - c0.cy + 192);
            m_win.FitToWindow();  // 64 x 48 in 256 x 192: 1/4
        } else
            m_win.SetScale(c.scale);
        const double s = m_win.GetScale();
        const QImage img = Shot();
        for (auto [x, y] : {std::pair{0, 0}, {5, 7}, {17, 3}, {int(63 / s), int(47 / s)}})
            EXPECT_EQ(At(img, x, y), Grey(Sample(int(x * s), int(y * s))))
                << c.what << " at " << x << "," << y << " got " << std::hex << At(img, x, y);
        if (c.fit)
            continue;  // fills the client exactly
        // Margin right of the image: the hatch, counted from the image origin.
        const int mx = int(64 / s) + 8 - (int(64 / s) % 8);
        EXPECT_EQ(At(img, mx, 0), qRgb(0, 0, 0)) << c.what << " " << mx;
        EXPECT_EQ(At(img, mx + 1, 0), qRgb(255, 255, 255)) << c.what;
    }
}

TEST_F(ViewRectWindow, ScrollStepMovesThePicture)
{
    Load("big.rdp", 400, 300);
    QImage img = Shot();
    EXPECT_EQ(At(img, 0, 0), Grey(Sample(0, 0)));
    m_win.OnHScroll(plat::SB_LINERIGHT);
    m_win.OnVScroll(plat::SB_LINERIGHT);
    EXPECT_EQ(m_win.GetScroll(plat::SB_HORZ).nPos, 1);
    img = m_win.Buffer().copy();
    for (auto [x, y] : {std::pair{0, 0}, {10, 20}, {150, 100}})
        EXPECT_EQ(At(img, x, y), Grey(Sample(x + 1, y + 1))) << x << "," << y;
    // A thumb drag moves the pixels and paints the uncovered strip.
    for (int pos : {9, 3}) {
        m_win.SetTrackPos(plat::SB_HORZ, pos);
        m_win.OnHScroll(plat::SB_THUMBTRACK);
        img = m_win.Buffer().copy();
        const int cw = m_win.GetClientSize().cx;
        for (int x : {0, 3, 7, 100, cw - 7, cw - 1})
            EXPECT_EQ(At(img, x, 5), Grey(Sample(x + pos, 5 + 1))) << "drag to " << pos << " at " << x;
    }
    m_win.OnHScroll(plat::SB_ENDSCROLL);
    img = m_win.Buffer().copy();
    EXPECT_EQ(At(img, 50, 50), Grey(Sample(53, 51)));
    m_win.OnHScroll(plat::SB_RIGHT);
    EXPECT_EQ(m_win.GetScroll(plat::SB_HORZ).nPos, 400 - m_win.GetClientSize().cx) << "clamped to the range";
}

// The wheel scrolls by the desktop's lines per notch, never past the ends; a touchpad's
// partial notches scroll their share.
TEST_F(ViewRectWindow, TheWheelScrollsThePicture)
{
    Load("big.rdp", 400, 300);
    const int line = QApplication::wheelScrollLines() * 20;
    const int lastX = 400 - m_win.GetClientSize().cx;
    const struct {
        const char* what;
        QPoint angle;
        Qt::KeyboardModifiers keys;
        int x, y;  // scroll positions after it
    } steps[] = {
        {"one notch down", {0, -120}, Qt::NoModifier, 0, line},
        {"half a notch", {0, -60}, Qt::NoModifier, 0, line + line / 2},
        {"the other half", {0, -60}, Qt::NoModifier, 0, 2 * line},
        {"Shift: across", {0, -120}, Qt::ShiftModifier, line, 2 * line},
        {"sideways", {120, 0}, Qt::NoModifier, 0, 2 * line},
        {"far up: stops at 0", {0, 1200}, Qt::NoModifier, 0, 0},
        {"far right: stops at the end", {-12000, 0}, Qt::NoModifier, lastX, 0},
    };
    for (const auto& s : steps) {
        QWheelEvent wheel(QPointF(50, 50), m_win.mapToGlobal(QPointF(50, 50)), QPoint(), s.angle, Qt::NoButton, s.keys,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&m_win, &wheel);
        EXPECT_EQ(m_win.GetScroll(plat::SB_HORZ).nPos, s.x) << s.what;
        EXPECT_EQ(m_win.GetScroll(plat::SB_VERT).nPos, s.y) << s.what;
    }
    const QImage img = m_win.Buffer().copy();
    EXPECT_EQ(At(img, 10, 10), Grey(Sample(lastX + 10, 10))) << "the picture follows";
}

// A larger window gets only its exposed strips painted, from the active layer; the
// paint the resize asks for is skipped, and the full one follows a pause in resizing.
TEST_F(ViewRectWindow, AResizePaintsOnlyTheExposedStrips)
{
    Load("big.rdp", 400, 300);
    const struct {
        const char* what;
        double scale;
        bool atEnd;  // scrolled to the image's right and bottom ends
    } cases[] = {{"1:1", 1.0, false}, {"magnified 2", 0.5, false}, {"1:1 at the end", 1.0, true}};
    const QRgb kMarker = qRgb(255, 0, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_win.resize(200, 150);
        m_win.SetScale(c.scale);
        if (c.atEnd) {
            m_win.OnHScroll(plat::SB_RIGHT);
            m_win.OnVScroll(plat::SB_RIGHT);
        }
        Shot();
        const int h0 = m_win.GetScroll(plat::SB_HORZ).nPos, v0 = m_win.GetScroll(plat::SB_VERT).nPos;
        {
            plat::DeviceContext dc(m_win);
            dc.FillRect(plat::Rect{4, 4, 6, 6}, plat::Rgb(255, 0, 0));  // gone with any full paint
        }
        const auto old = m_win.GetClientSize();
        m_win.resize(237, 173);
        const auto now = m_win.GetClientSize();
        const int h = m_win.GetScroll(plat::SB_HORZ).nPos, v = m_win.GetScroll(plat::SB_VERT).nPos;
        if (c.atEnd) {
            EXPECT_EQ(h, 400 - now.cx) << "the end stays at the edge";
            EXPECT_EQ(v, 300 - now.cy);
        } else {
            EXPECT_EQ(h, h0);
            EXPECT_EQ(v, v0);
        }
        const QImage img = m_win.Buffer().copy();
        const int mx = 4 + (h0 - h), my = 4 + (v0 - v);  // the marker moved with the picture
        EXPECT_EQ(At(img, mx, my), kMarker) << "no full paint";
        const double s = m_win.GetScale();
        auto expectRule = [&](const QImage& shot, int x, int y) {
            EXPECT_EQ(At(shot, x, y), Grey(Sample(int((x + h) * s), int((y + v) * s))))
                << "at " << x << "," << y << " got " << std::hex << At(shot, x, y);
        };
        for (auto [x, y] : {std::pair{old.cx, 0},
                            {old.cx + 1, 7},
                            {now.cx - 1, now.cy - 1},
                            {3, old.cy},
                            {50, old.cy + 5},
                            {0, 0},
                            {now.cx / 2, now.cy / 2},
                            {mx + 3, my}})
            expectRule(img, x, y);
        // The skip does not outlast the resize: the next redraw paints everything.
        m_win.SetActiveView(0, 1);
        expectRule(m_win.Buffer(), mx, my);
    }
    // Once resizing pauses, one full paint.
    m_win.SetScale(1.0);
    Shot();
    {
        plat::DeviceContext dc(m_win);
        dc.FillRect(plat::Rect{4, 4, 6, 6}, plat::Rgb(255, 0, 0));
    }
    m_win.resize(250, 180);
    EXPECT_EQ(At(m_win.Buffer(), 4, 4), kMarker);
    testsupport::PumpUntil([&] { return At(m_win.Buffer(), 4, 4) != kMarker; }, std::chrono::seconds(5));
    const int h = m_win.GetScroll(plat::SB_HORZ).nPos, v = m_win.GetScroll(plat::SB_VERT).nPos;
    EXPECT_EQ(At(m_win.Buffer(), 4, 4), Grey(Sample(4 + h, 4 + v)));
}

// Thumb-drag strips at a magnification start on whole image samples, wherever the
// client's edge falls.
TEST_F(ViewRectWindow, AMagnifiedDragStripKeepsThePixelGrid)
{
    Load("big.rdp", 400, 300);
    // A client width one past a whole number of image samples.
    m_win.resize(203, 150);
    m_win.resize(203 + (4 - m_win.GetClientSize().cx % 3) % 3, 150);
    const int cw = m_win.GetClientSize().cx;
    ASSERT_EQ(cw % 3, 1);
    m_win.SetScale(1.0 / 3);
    Shot();
    for (int pos : {30, 12}) {
        m_win.SetTrackPos(plat::SB_HORZ, pos);
        m_win.OnHScroll(plat::SB_THUMBTRACK);
        const int h = m_win.GetScroll(plat::SB_HORZ).nPos;
        const QImage img = m_win.Buffer().copy();
        for (int x : {0, 1, 2, 3, 50, cw - 4, cw - 2, cw - 1})
            EXPECT_EQ(At(img, x, 5), Grey(Sample((x + h) / 3, 5 / 3))) << "drag to " << pos << " at " << x;
    }
    m_win.OnHScroll(plat::SB_ENDSCROLL);
}

TEST_F(ViewRectWindow, BarsFollowTheHandlerOnly)
{
    Load("big.rdp", 400, 300);
    auto bars = m_win.findChildren<QScrollBar*>();
    ASSERT_EQ(bars.size(), 2);
    QScrollBar* horz = bars[0]->orientation() == Qt::Horizontal ? bars[0] : bars[1];
    EXPECT_TRUE(horz->isVisible());
    EXPECT_EQ(horz->maximum(), 400 - m_win.GetClientSize().cx);
    m_win.SetScale(0.25);
    horz->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(m_win.GetScroll(plat::SB_HORZ).nPos, 4) << "one image sample";
    EXPECT_EQ(horz->value(), 4);
    m_win.SetScale(2.0);  // 200 x 150 screen pixels: nothing to scroll across
    EXPECT_EQ(horz->isEnabled(), 200 > m_win.GetClientSize().cx);
}

TEST_F(ViewRectWindow, StatusTextsReadThePixelUnderTheMouse)
{
    Load("a.rdp", 64, 48);
    m_win.SetMouse(CPoint{10, 20});
    auto panes = m_win.GetStatusTexts();
    EXPECT_EQ(panes[0], "100 %");
    EXPECT_EQ(panes[1], "( 10, 20 )");
    EXPECT_EQ(panes[3], "") << "no geo tags";
    m_win.SetScale(0.5);
    panes = m_win.GetStatusTexts();
    EXPECT_EQ(panes[0], "200 %");
    EXPECT_EQ(panes[1], "( 5, 10 )");
}

// The zoom pane must follow a zoom made from a menu or the keyboard, with the mouse still.
TEST_F(ViewRectWindow, EveryZoomAsksTheFrameForNewStatusTexts)
{
    Load("z.rdp", 400, 300);
    const struct {
        const char* name;
        void (*zoom)(CViewRect&);
    } cases[] = {
        {"zoom in", [](CViewRect& w) { w.ZoomIn(); }},
        {"zoom out", [](CViewRect& w) { w.ZoomOut(); }},
        {"fit", [](CViewRect& w) { w.FitToWindow(); }},
        {"1:1", [](CViewRect& w) { w.RealScale(); }},
    };
    for (const auto& c : cases) {
        QCoreApplication::processEvents();
        const int before = m_frame.statusRequests;
        c.zoom(m_win);
        EXPECT_TRUE(testsupport::PumpUntil([&] { return m_frame.statusRequests > before; }, std::chrono::seconds(5)))
            << c.name << " " << m_win.GetScale() << " " << m_win.GetCount();
    }
}

TEST_F(ViewRectWindow, GeoReadOutComesFromTheFirstLayerOnly)
{
    auto tag = [&](const char* name, double lon0) {
        const std::string path = File(name);
        WriteLayer(path, 64, 48, UINT8, [](int x, int y, int) { return double(Sample(x, y)); });
        viewrect::CornerTag c;
        c.ulLon = lon0, c.ulLat = 50;
        c.urLon = lon0 + 1, c.urLat = 50;
        c.llLon = lon0, c.llLat = 49;
        viewrect::WindowTag w;
        w.width = 64, w.height = 48;
        EXPECT_EQ(SetTag(path.c_str(), 0, 302, sizeof c, &c), 1);
        EXPECT_EQ(SetTag(path.c_str(), 0, 303, sizeof w, &w), 1);
        return path;
    };
    const std::string first = tag("g1.rdp", 10), second = tag("g2.rdp", -20);
    ASSERT_EQ(m_win.LoadNewLayer(first.c_str(), 0, 2.0, 1, nullptr, {}), 0);
    ASSERT_TRUE(m_frame.WaitFor(1));
    ASSERT_TRUE(m_win.HasGeo());
    m_win.SetMouse(CPoint{32, 24});  // half-way: 10.5 degrees, 49.5 degrees
    const std::string text = m_win.GetStatusTexts()[3];
    EXPECT_EQ(text, " Longitude:  10\u00B0  30' 0''   Latitude:  49\u00B0  30' 0'' ");
    EXPECT_EQ(m_win.LoadNewLayer(second.c_str(), 0, 2.0, 1, nullptr, {}), 1);
    EXPECT_TRUE(WaitForNoJobs());
    QCoreApplication::processEvents();
    EXPECT_EQ(m_win.GetStatusTexts()[3], text) << "a second load keeps the first map";
    CVectorImage image;
    m_win.CloseView(m_win.LoadNewLayer(&image));
    EXPECT_EQ(m_win.GetActive(), 0);
    EXPECT_EQ(m_win.GetStatusTexts()[3], text) << "closing an overlay keeps the map";
}

TEST_F(ViewRectWindow, NoticesFindTheirViewAndFailedRemovesIt)
{
    Load("a.rdp", 64, 48);
    Load("b.rdp", 32, 32);
    ASSERT_EQ(m_win.GetCount(), 2);
    const int idB = m_win.GetView(1)->GetIndex();
    const int idA = m_win.GetView(0)->GetIndex();
    m_win.CloseView(0);
    ASSERT_EQ(m_win.GetCount(), 1);
    // A notice for the closed view is ignored; the one for the moved view finds it.
    m_win.Handle().SendMessage(WM_VIEWER_NOTIFY, plat::WParam(idA), 3);
    EXPECT_EQ(m_win.GetCount(), 1);
    const size_t before = m_frame.notices.size();
    m_win.Handle().SendMessage(WM_VIEWER_NOTIFY, plat::WParam(idB), 3);
    EXPECT_EQ(m_win.GetCount(), 0);
    ASSERT_TRUE(m_frame.WaitFor(before + 1));
    EXPECT_EQ(m_frame.notices.back(), std::make_pair(0, 3));
}

TEST_F(ViewRectWindow, AMissingFileFailsAndTheOthersStay)
{
    Load("a.rdp", 64, 48);
    const size_t before = m_frame.notices.size();
    EXPECT_EQ(m_win.LoadNewLayer(File("none.rdp").c_str(), 0, 2.0, 1, nullptr, {}), 0);
    ASSERT_TRUE(m_frame.WaitFor(before + 1));
    EXPECT_EQ(m_frame.notices.back(), std::make_pair(0, 3));
    EXPECT_EQ(m_win.GetCount(), 1);
    EXPECT_EQ(m_win.GetActive(), 0);
}

// A preparation that fails on its worker: the window drops the layer and tells the
// frame; whatever was active before stays active.
TEST_F(ViewRectWindow, AFailedPreparationRemovesTheLayerAndKeepsTheActiveOne)
{
    // The meter fails on the GUI thread and the job learns it at its next report: the
    // layer is large enough that the preparation still runs then, even under load.
    const std::string path = File("fails.rdp");
    WriteLayer(path, 4000, 4000, UINT8, [](int x, int y, int) { return double((x ^ y) & 255); });
    const struct {
        const char* what;
        bool overActive;
    } cases[] = {{"alone", false}, {"over an active layer", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_win.CloseAll();
        if (c.overActive)
            Load("a.rdp", 64, 48);
        const int active = m_win.GetActive(), count = m_win.GetCount();
        ThrowingMeter meter;
        meter.throwAt = 2;
        const size_t before = m_frame.notices.size();
        m_win.LoadNewLayer(path.c_str(), 0, 2.0, 0, &meter, {});
        EXPECT_EQ(m_win.GetCount(), count + 1) << "opened; its job runs";
        ASSERT_TRUE(m_frame.WaitFor(before + 1));
        EXPECT_EQ(m_frame.notices.back(), std::make_pair(0, 3));
        EXPECT_TRUE(WaitForNoJobs());
        EXPECT_EQ(m_win.GetCount(), count);
        EXPECT_EQ(m_win.GetActive(), active);
        if (c.overActive)
            EXPECT_EQ(At(Shot(), 10, 20), Grey(Sample(10, 20))) << "the active layer still shows";
    }
}

TEST_F(ViewRectWindow, AThrowingOpenIsAFailedOpen)
{
    auto throwing = [](int) -> int { throw std::runtime_error("broken layer"); };
    EXPECT_EQ(m_win.AddImageView(std::make_unique<CRasterView>(), throwing, false, 1), -1);
    EXPECT_EQ(m_win.GetCount(), 0);
    EXPECT_EQ(m_win.GetActive(), -1) << "no half-opened view stays active";
    ASSERT_TRUE(m_frame.WaitFor(1));
    EXPECT_EQ(m_frame.notices.back(), std::make_pair(0, 3));
    Load("a.rdp", 64, 48);
    EXPECT_EQ(m_win.AddImageView(std::make_unique<CRasterView>(), throwing, false, 3), -1);
    EXPECT_EQ(m_win.GetCount(), 1);
    EXPECT_EQ(m_win.GetActive(), 0);
}

TEST_F(ViewRectWindow, OverlayNeedsAnActiveLayerAndClosingItKeepsIt)
{
    CVectorImage image;
    EXPECT_EQ(m_win.LoadNewLayer(&image), -1);
    Load("a.rdp", 64, 48);
    const int overlay = m_win.LoadNewLayer(&image);
    ASSERT_EQ(overlay, 1);
    m_win.CloseView(overlay);
    EXPECT_EQ(m_win.GetCount(), 1);
    EXPECT_EQ(m_win.GetActive(), 0);
    EXPECT_EQ(m_win.SetActiveView(5, 1), 0) << "outside the stack";
}

// In its sunken edge the window keeps its client coordinates: the picture, the bars,
// the mouse and the image mapping are what they were without it.
TEST_F(ViewRectWindow, ASunkenEdgeKeepsClientCoordinates)
{
    Load("big.rdp", 400, 300);
    m_win.SetHorzScrollPos(7);
    m_win.SetVertScrollPos(5);
    const QImage before = Shot();
    const QSize size = m_win.size();
    const auto client = m_win.GetClientSize();
    const CPoint corner = m_win.ScreenToImage(CPoint{0, 0});
    QList<QRect> bars;
    for (QScrollBar* bar : m_win.findChildren<QScrollBar*>())
        bars.push_back(bar->geometry());
    // Where a centring click at client (0, 0) takes the view, without the edge.
    m_win.SetMouseTool(1);
    m_win.OnLButtonDown(CPoint{0, 0});
    const int h = m_win.GetScroll(plat::SB_HORZ).nPos, v = m_win.GetScroll(plat::SB_VERT).nPos;
    m_win.SetHorzScrollPos(7);
    m_win.SetVertScrollPos(5);

    const int b = plat::ClientEdge::kWidth;
    plat::ClientEdge* edge = plat::ClientEdge::Around(&m_win);
    edge->resize(size.width() + 2 * b, size.height() + 2 * b);
    edge->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_win.geometry(), QRect(QPoint(b, b), size));
    EXPECT_EQ(m_win.GetClientSize().cx, client.cx);
    EXPECT_EQ(m_win.GetClientSize().cy, client.cy);
    EXPECT_EQ(m_win.ScreenToImage(CPoint{0, 0}).x, corner.x);
    EXPECT_EQ(m_win.ScreenToImage(CPoint{0, 0}).y, corner.y);
    QList<QRect> barsNow;
    for (QScrollBar* bar : m_win.findChildren<QScrollBar*>())
        barsNow.push_back(bar->geometry());
    EXPECT_EQ(barsNow, bars) << "the bars lie inside the edge, where they were";
    EXPECT_EQ(Shot(), before);
    const QImage shown = edge->grab().toImage();
    EXPECT_EQ(At(shown, b, b), At(before, 0, 0));
    EXPECT_EQ(At(shown, b + 50, b + 40), At(before, 50, 40));
    // Where the bars meet, a square of the bars' colour covers the buffer's pixels.
    const QWidget* barCorner = m_win.childAt(size.width() - 2, size.height() - 2);
    ASSERT_NE(barCorner, nullptr);
    EXPECT_TRUE(barCorner->autoFillBackground());
    EXPECT_EQ(At(shown, b + size.width() - 2, b + size.height() - 2), m_win.palette().color(QPalette::Button).rgb());

    // The mouse on the edge's first inner pixel, as the window system delivers it, is
    // at client (0, 0): it reads and centres the same image pixel.
    QTest::mouseMove(edge->windowHandle(), QPoint(b, b));
    EXPECT_EQ(m_win.GetStatusTexts()[1], "( 7, 5 )");
    QTest::mouseClick(edge->windowHandle(), Qt::LeftButton, {}, QPoint(b, b));
    EXPECT_EQ(m_win.GetScroll(plat::SB_HORZ).nPos, h);
    EXPECT_EQ(m_win.GetScroll(plat::SB_VERT).nPos, v);

    m_win.setParent(nullptr);  // the fixture owns the window
    delete edge;
}

TEST_F(ViewRectWindow, ClicksPerTool)
{
    Load("big.rdp", 400, 300);
    const auto client = m_win.GetClientSize();
    m_win.SetMouseTool(1);
    m_win.OnLButtonDown(CPoint{150, 100});  // centre on screen (150, 100)
    const int h = 150 - client.cx / 2, v = 100 - client.cy / 2;
    EXPECT_EQ(m_win.GetScroll(plat::SB_HORZ).nPos, h);
    EXPECT_EQ(m_win.GetScroll(plat::SB_VERT).nPos, v);
    m_win.SetMouseTool(3);
    m_win.OnLButtonDown(CPoint{100, 80});  // the image point under the mouse goes to the middle
    EXPECT_EQ(m_win.GetScale(), 0.5);
    // Magnified positions start at whole image samples.
    EXPECT_EQ(m_win.GetScroll(plat::SB_HORZ).nPos, std::max((100 + h) * 2 - client.cx / 2, 0) / 2 * 2);
    EXPECT_EQ(m_win.GetScroll(plat::SB_VERT).nPos, std::max((80 + v) * 2 - client.cy / 2, 0) / 2 * 2);
    m_win.SetMouseTool(2);
    m_win.OnLButtonDown(CPoint{0, 0});
    EXPECT_EQ(m_win.GetScale(), 1.0);
    // Profile tools beyond the image do nothing (no window opens, nothing breaks).
    m_win.SetScale(4.0);
    m_win.SetMouseTool(4);
    m_win.OnLButtonDown(CPoint{10, 149});
    m_win.SetMouseTool(5);
    m_win.OnLButtonDown(CPoint{199, 10});
    EXPECT_EQ(m_win.GetCount(), 1);
}

}  // namespace
