// Profile windows opened from a raster view, offscreen: scroll range and page, the
// polyline in the back buffer, the read-out panes and the closing rules.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QScrollBar>
#include <chrono>

#include "RasterViewTestSupport.h"
#include "platform/windows/StatusBar.h"
#include "view/RasterView.h"
#include "window/ProfileFrame.h"
#include "window/ProfileView.h"

namespace {

using namespace rvtest;
using namespace std::chrono_literals;

constexpr int kW = 1000, kH = 20;

// Row 5 runs flat for ten columns at a time; its first run is 128.
int Sample(int x, int y)
{
    return y == 5 ? (x / 10 * 37 + 128) % 256 : (x + 3 * y) % 256;
}

QRgb Pixel(plat::BufferedWindow* client, int x, int y)
{
    return client->Buffer().pixel(x, y) | 0xFF000000u;
}

class ProfileWindow : public ViewFixture {
protected:
    void SetUp() override
    {
        const std::string path = File("profile.rdp");
        WriteLayer(path, kW, kH, UINT8, [](int x, int y, int) { return double(Sample(x, y)); });
        ASSERT_EQ(m_view->OpenLayer(0, m_notify.handle, path.c_str(), 0, 2.0, 1, nullptr, {}), 1);
        ASSERT_TRUE(m_notify.WaitFor(1));
        m_view->SetShown(1);
    }
    void TearDown() override
    {
        m_view.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ViewFixture::TearDown();
    }

    // Resizes frame until its drawing client is width x height.
    static bool SizeClient(CProfileFrame* frame, int width, int height)
    {
        plat::BufferedWindow* client = frame->ProfileView()->Client();
        return testsupport::PumpUntil(
            [&] {
                if (client->width() == width && client->height() == height)
                    return true;
                frame->resize(frame->width() + width - client->width(), frame->height() + height - client->height());
                return false;
            },
            10s);
    }

    NoticeWindow m_notify;
    std::unique_ptr<CRasterView> m_view = std::make_unique<CRasterView>();
};

TEST_F(ProfileWindow, AlongXScrollsDrawsAndReadsOutTheRow)
{
    m_view->ShowProfile(1, 5);
    ASSERT_EQ(m_view->OpenProfiles().size(), 1u);
    CProfileFrame* frame = m_view->OpenProfiles()[0];
    EXPECT_EQ(frame->windowTitle().toStdString(), "Profile along X axis with Y=5");
    EXPECT_TRUE(frame->isWindow());
    EXPECT_FALSE(frame->windowIcon().isNull());
    ASSERT_EQ(frame->Count(), kW);
    for (int x = 0; x < kW; ++x)
        ASSERT_EQ(frame->Values()[x], std::uint32_t(Sample(x, 5))) << x;

    ASSERT_TRUE(SizeClient(frame, 400, 512));
    CProfileView* view = frame->ProfileView();
    plat::BufferedWindow* client = view->Client();
    EXPECT_EQ(client->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(view->GetScrollInfo(), (plat::ScrollInfo{0, kW, 400, 0, 0}));
    EXPECT_DOUBLE_EQ(view->Scale(), 2.0);

    // One value a pixel, level v at B - trunc(v h / 256); the first run (128) lies 256
    // pixels above the bottom of the 512-pixel client.
    client->UpdateWindow();
    const QRgb dark = qRgb(10, 10, 10), white = qRgb(255, 255, 255);
    auto row = [](int v) { return 512 - v * 2; };
    EXPECT_EQ(Pixel(client, 5, 256), dark);
    for (int i = 0; i < 400; ++i)
        if (i % 10 != 0 && i % 10 != 9)
            ASSERT_EQ(Pixel(client, i, row(Sample(i, 5))), dark) << i;
    EXPECT_EQ(Pixel(client, 5, 255), white);
    EXPECT_EQ(Pixel(client, 5, 257), white);

    // Paging right near the end stops where the last page starts: count - page + 1.
    struct Step {
        int code, thumb, pos;
    } steps[] = {
        {plat::SB_LINERIGHT, 0, 1},          {plat::SB_PAGERIGHT, 0, 11},  {plat::SB_LINELEFT, 0, 10},
        {plat::SB_PAGELEFT, 0, 0},           {plat::SB_PAGELEFT, 0, 0},    {plat::SB_THUMBTRACK, 595, 595},
        {plat::SB_PAGERIGHT, 0, 601},        {plat::SB_PAGERIGHT, 0, 601}, {plat::SB_LEFT, 0, 0},
        {plat::SB_THUMBPOSITION, 5000, 601}, {plat::SB_RIGHT, 0, 601},     {plat::SB_ENDSCROLL, 0, 601},
    };
    for (const Step& s : steps) {
        view->OnHScroll(s.code, s.thumb);
        EXPECT_EQ(view->GetScrollInfo().nPos, s.pos) << "code " << s.code;
        EXPECT_EQ(view->ScrollBar()->value(), s.pos);
        EXPECT_LE(view->ScrollBar()->maximum(), kW);
    }
    EXPECT_EQ(view->ScrollBar()->maximum(), 601);
    EXPECT_EQ(view->ScrollBar()->pageStep(), 400);

    // At the end values 601 .. 999 are drawn; the last column has none.
    for (int i = 0; i < 399; ++i)
        if ((601 + i) % 10 != 0 && (601 + i) % 10 != 9)
            ASSERT_EQ(Pixel(client, i, row(Sample(601 + i, 5))), dark) << i;
    for (int y = 0; y < 512; ++y)
        ASSERT_EQ(Pixel(client, 399, y), white) << y;

    // The read-out names the position and the source value; past the edge the value is 0.
    plat::StatusBar* bar = frame->StatusBar();
    EXPECT_EQ(bar->PartCount(), 2);
    view->OnMouseMove(7, 100);
    EXPECT_EQ(bar->Text(0), "X=608");
    EXPECT_EQ(bar->Text(1), "Z=" + std::to_string(Sample(608, 5)));
    view->OnMouseMove(399, 100);
    EXPECT_EQ(bar->Text(0), "X=1000");
    EXPECT_EQ(bar->Text(1), "Z=0");
}

TEST_F(ProfileWindow, AlongYReadsTheColumn)
{
    m_view->ShowProfile(0, 7);
    ASSERT_EQ(m_view->OpenProfiles().size(), 1u);
    CProfileFrame* frame = m_view->OpenProfiles()[0];
    EXPECT_EQ(frame->windowTitle().toStdString(), "Profile along Y axis with X=7");
    ASSERT_EQ(frame->Count(), kH);
    for (int y = 0; y < kH; ++y)
        ASSERT_EQ(frame->Values()[y], std::uint32_t(Sample(7, y))) << y;
    ASSERT_TRUE(SizeClient(frame, 300, 256));
    CProfileView* view = frame->ProfileView();
    // Everything fits: the bar stays, disabled, and nothing scrolls.
    EXPECT_FALSE(view->ScrollBar()->isEnabled());
    view->OnHScroll(plat::SB_PAGERIGHT, 0);
    EXPECT_EQ(view->GetScrollInfo().nPos, 0);
    view->OnMouseMove(3, 10);
    EXPECT_EQ(frame->StatusBar()->Text(0), "Y=3");
    EXPECT_EQ(frame->StatusBar()->Text(1), "Z=" + std::to_string(Sample(7, 3)));
}

TEST_F(ProfileWindow, ClosedFramesGoAndTheViewClosesOnlyTheOpenOnes)
{
    m_view->ShowProfile(1, 1);
    m_view->ShowProfile(1, 2);
    m_view->ShowProfile(0, 3);
    std::vector<CProfileFrame*> open = m_view->OpenProfiles();
    ASSERT_EQ(open.size(), 3u);
    QPointer<CProfileFrame> first = open[0], second = open[1], third = open[2];

    // The user closes one: it deletes itself and the view forgets it.
    ASSERT_TRUE(second->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(m_view->OpenProfiles().size(), 2u);

    // A closed frame's late pointer move asks the layer view nothing.
    third->ProfileView()->OnMouseMove(1, 1);
    third->DestroyWindow();
    third->ProfileView()->OnMouseMove(2, 1);
    EXPECT_EQ(third->StatusBar()->Text(1), "Z=");

    // The view's end closes what is still open.
    m_view.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(third.isNull());
}

}  // namespace
