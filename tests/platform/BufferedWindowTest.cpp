#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <memory>

#include "platform/paint/BufferedWindow.h"
#include "platform/windows/ClientEdge.h"
#include "platform/paint/DeviceContext.h"
#include "platform/windows/SystemMetrics.h"

namespace {

using plat::Rect;
using plat::Rgb;

const plat::ColorRef kRed = Rgb(255, 0, 0), kBlue = Rgb(0, 0, 255), kWhite = Rgb(255, 255, 255);

plat::ColorRef At(const QImage& image, int x, int y)
{
    QRgb p = image.pixel(x, y);
    return Rgb(unsigned(qRed(p)), unsigned(qGreen(p)), unsigned(qBlue(p)));
}

// Paints blue where it is asked to and counts the calls.
class TestWindow final : public plat::BufferedWindow {
public:
    int paints = 0;
    Rect lastPaint;
    int lost = 0;

protected:
    void OnPaint(plat::DeviceContext& dc) override
    {
        ++paints;
        lastPaint = dc.GetClipBox();
        dc.FillRect(Rect{-1000, -1000, 1000, 1000}, kBlue);
    }
    void OnCaptureLost() override { ++lost; }
};

TEST(BufferedWindow, OwnerPaintsOnlyWhereInvalidated)
{
    TestWindow w;
    w.resize(40, 30);
    const QImage& buffer = w.Buffer();
    ASSERT_EQ(buffer.size(), QSize(40, 30));
    w.UpdateWindow();
    EXPECT_EQ(w.paints, 1);  // a new buffer is all exposed
    EXPECT_EQ(w.lastPaint, (Rect{0, 0, 40, 30}));
    w.UpdateWindow();
    EXPECT_EQ(w.paints, 1);  // nothing pending

    {
        plat::DeviceContext dc(w);  // drawing outside a paint: straight into the buffer
        dc.FillRect(Rect{0, 0, 40, 30}, kWhite);
    }
    w.InvalidateRect(Rect{5, 6, 10, 8});
    w.InvalidateRect(Rect{30, 20, 100, 100});
    w.UpdateWindow();
    EXPECT_EQ(w.paints, 2);
    EXPECT_EQ(w.lastPaint, (Rect{5, 6, 40, 30}));
    EXPECT_EQ(At(w.Buffer(), 5, 6), kBlue);
    EXPECT_EQ(At(w.Buffer(), 4, 6), kWhite);

    // A paint event paints what is pending, then shows the buffer.
    w.Invalidate();
    w.show();
    const QImage shown = w.grab().toImage();
    EXPECT_EQ(w.paints, 3);
    EXPECT_EQ(At(shown, 0, 0), kBlue);
}

TEST(BufferedWindow, BufferKeepsItsCornerAcrossResizes)
{
    TestWindow w;
    w.resize(20, 20);
    w.UpdateWindow();
    plat::DeviceContext kept(w);
    kept.FillRect(Rect{0, 0, 20, 20}, kWhite);
    kept.FillRect(Rect{18, 18, 20, 20}, kRed);

    w.resize(30, 10);  // wider, lower
    const QImage& buffer = w.Buffer();
    ASSERT_EQ(buffer.size(), QSize(30, 10));
    EXPECT_EQ(At(buffer, 19, 9), kWhite);
    w.UpdateWindow();
    EXPECT_EQ(w.lastPaint, (Rect{20, 0, 30, 10}));  // only the exposed strip

    // A context taken before the resize draws on the new buffer.
    kept.FillRect(Rect{25, 5, 26, 6}, kRed);
    EXPECT_EQ(At(w.Buffer(), 25, 5), kRed);
    EXPECT_EQ(kept.GetClipBox(), (Rect{0, 0, 30, 10}));

    // Lines and copies reach the buffer; a memory context reads from it.
    kept.SelectPen(plat::Pen{plat::Pen::Solid, 0, kRed});
    kept.MoveTo(0, 0);
    kept.LineTo(3, 0);
    plat::DeviceContext copy(4, 1);
    copy.BitBlt(0, 0, 4, 1, kept, 0, 0);
    EXPECT_EQ(At(copy.Image(), 2, 0), kRed);
    EXPECT_EQ(At(copy.Image(), 3, 0), kWhite);
}

// A scrolled rectangle moves in the buffer; outside it and where it was uncovered
// nothing changes, and no paint of the owner runs.
TEST(BufferedWindow, ScrollRectMovesTheBufferWithinTheRectangle)
{
    TestWindow w;
    w.resize(20, 10);
    w.show();
    w.UpdateWindow();
    const int paints = w.paints;
    plat::DeviceContext dc(w);
    dc.FillRect(Rect{0, 0, 20, 10}, kWhite);
    dc.FillRect(Rect{2, 3, 4, 5}, kRed);
    dc.FillRect(Rect{16, 0, 20, 10}, kBlue);  // outside the scrolled part

    w.ScrollRect(-2, 1, Rect{0, 0, 16, 10});
    const QImage& b = w.Buffer();
    EXPECT_EQ(At(b, 0, 4), kRed);
    EXPECT_EQ(At(b, 1, 5), kRed);
    EXPECT_EQ(At(b, 2, 5), kWhite);
    EXPECT_EQ(At(b, 14, 5), kWhite);  // uncovered: as it was
    EXPECT_EQ(At(b, 16, 5), kBlue);
    EXPECT_EQ(At(b, 15, 5), kWhite);
    QApplication::processEvents();
    EXPECT_EQ(w.paints, paints);
}

// Steps of every size and direction, many the same way in a row: the buffer always
// holds what moving the pixels of the rectangle by hand gives, the rest as it was;
// a copy of the buffer taken before a step keeps what it showed.
TEST(BufferedWindow, ScrollStepsMatchMovingThePixelsByHand)
{
    TestWindow w;
    w.resize(50, 40);
    w.show();
    w.UpdateWindow();
    {
        plat::DeviceContext dc(w);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x)
                dc.SetPixel(x, y, Rgb(unsigned(x * 5), unsigned(y * 6), unsigned((x * 7 + y * 3) % 256)));
    }
    QImage expected = w.Buffer().copy();
    const QRect rect(0, 0, 44, 36);  // the part a window's bars leave
    const auto byHand = [&](int dx, int dy) {
        const QImage before = expected.copy();
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                if (rect.contains(x - dx, y - dy))
                    expected.setPixel(x, y, before.pixel(x - dx, y - dy));
    };
    const struct Run {
        int dx, dy, steps;
    } runs[] = {{4, 0, 45}, {-4, 0, 50}, {0, 3, 50}, {0, -3, 60}, {5, -2, 30}, {-1, 1, 3}, {40, 0, 1}, {0, -35, 1}};
    int step = 0;
    for (const Run& r : runs)
        for (int i = 0; i < r.steps; ++i, ++step) {
            w.ScrollRect(r.dx, r.dy, Rect{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1});
            byHand(r.dx, r.dy);
            ASSERT_TRUE(w.Buffer() == expected) << "step " << step << " by " << r.dx << "," << r.dy;
        }
    const QImage held = w.Buffer();
    const QImage snapshot = held.copy();
    w.ScrollRect(3, 2, Rect{0, 0, 44, 36});
    byHand(3, 2);
    EXPECT_TRUE(held == snapshot) << "a held copy keeps its pixels";
    EXPECT_TRUE(w.Buffer() == expected);
    for (int i = 0; i < 40; ++i) {
        w.ScrollRect(-4, 1, Rect{0, 0, 44, 36});
        byHand(-4, 1);
    }
    EXPECT_TRUE(held == snapshot);
    EXPECT_TRUE(w.Buffer() == expected);
}

TEST(BufferedWindow, ContextOfAGoneWindowDrawsNothing)
{
    auto w = std::make_unique<TestWindow>();
    w->resize(10, 10);
    plat::DeviceContext dc(*w);
    EXPECT_TRUE(dc.IsValid());
    w.reset();
    EXPECT_FALSE(dc.IsValid());
    EXPECT_TRUE(dc.GetClipBox().IsEmpty());
    dc.FillRect(Rect{0, 0, 10, 10}, kRed);
    dc.MoveTo(0, 0);
    dc.LineTo(5, 0);
    plat::DeviceContext other(2, 2);
    other.BitBlt(0, 0, 2, 2, dc, 0, 0);
    SUCCEED();
}

TEST(BufferedWindow, CaptureEndsOnReleaseFocusLossOrAnotherGrab)
{
    TestWindow w;
    w.resize(20, 20);
    w.show();
    w.SetCapture();
    EXPECT_TRUE(w.HasCapture());
    EXPECT_EQ(QWidget::mouseGrabber(), &w);
    w.ReleaseCapture();
    EXPECT_FALSE(w.HasCapture());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(w.lost, 0);

    w.SetCapture();
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&w, &out);
    EXPECT_FALSE(w.HasCapture());
    EXPECT_EQ(w.lost, 1);

    w.SetCapture();
    QWidget other;
    other.resize(5, 5);
    other.show();
    other.grabMouse();
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    EXPECT_FALSE(w.HasCapture());
    EXPECT_EQ(w.lost, 2);
    EXPECT_EQ(QWidget::mouseGrabber(), &other);
    other.releaseMouse();
}

TEST(BufferedWindow, CursorCodesAndHiddenCursor)
{
    TestWindow w;
    const struct {
        int code;
        Qt::CursorShape shape;
    } codes[] = {{7, Qt::SizeAllCursor},
                 {8, Qt::SizeVerCursor},
                 {9, Qt::SizeHorCursor},
                 {10, Qt::SizeFDiagCursor},
                 {11, Qt::SizeBDiagCursor}};
    for (const auto& c : codes) {
        EXPECT_TRUE(w.SetCursorCode(c.code));
        EXPECT_EQ(w.cursor().shape(), c.shape);
    }
    EXPECT_FALSE(w.SetCursorCode(6));
    EXPECT_FALSE(w.SetCursorCode(12));
    EXPECT_EQ(w.cursor().shape(), Qt::SizeBDiagCursor);

    w.ShowCursor(false);
    EXPECT_FALSE(w.IsCursorShown());
    EXPECT_EQ(w.cursor().shape(), Qt::BlankCursor);
    w.SetCursorCode(8);  // remembered, still hidden
    EXPECT_EQ(w.cursor().shape(), Qt::BlankCursor);
    w.ShowCursor(true);
    EXPECT_EQ(w.cursor().shape(), Qt::SizeVerCursor);
}

TEST(BufferedWindow, ScrollInformationPerBar)
{
    TestWindow w;
    EXPECT_EQ(w.GetScrollInfo(plat::SB_HORZ), plat::ScrollInfo{});
    w.SetScrollInfo(plat::SB_HORZ, plat::ScrollInfo{0, 999, 100, 40, 45});
    w.SetScrollInfo(plat::SB_VERT, plat::ScrollInfo{0, 499, 50, 7, 7});
    EXPECT_EQ(w.GetScrollInfo(plat::SB_HORZ).nTrackPos, 45);
    EXPECT_EQ(w.GetScrollInfo(plat::SB_VERT).nPos, 7);
    EXPECT_EQ(w.GetScrollInfo(plat::SB_VERT).nMax, 499);
}

// A sunken edge lies around the window; the window's rectangle stays its client area.
TEST(BufferedWindow, AClientEdgeLiesAroundTheClientArea)
{
    auto* w = new TestWindow;  // the edge owns it
    std::unique_ptr<plat::ClientEdge> edge(plat::ClientEdge::Around(w));
    const int b = plat::ClientEdge::kWidth;
    edge->resize(40 + 2 * b, 30 + 2 * b);
    edge->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(edge->Client(), w);
    EXPECT_EQ(w->geometry(), QRect(b, b, 40, 30));
    EXPECT_EQ(w->ClientRect(), (Rect{0, 0, 40, 30}));
    EXPECT_EQ(w->Buffer().size(), QSize(40, 30));
    {
        plat::DeviceContext dc(*w);
        dc.FillRect(Rect{0, 0, 40, 30}, kWhite);
        dc.FillRect(Rect{0, 0, 1, 1}, kRed);
    }
    const QImage shown = edge->grab().toImage();
    EXPECT_EQ(At(shown, b, b), kRed) << "client (0, 0) lies inside the border";
    EXPECT_EQ(At(shown, b + 39, b + 29), kWhite);
    for (int i = 0; i < b; ++i) {
        EXPECT_NE(At(shown, i, 15), kWhite) << "left border " << i;
        EXPECT_NE(At(shown, 20, i), kWhite) << "top border " << i;
        // Sunken: shadow above and left, light below and right.
        EXPECT_EQ(At(shown, i, 15), At(shown, 20, i)) << i;
        EXPECT_EQ(At(shown, 43 - i, 15), At(shown, 20, 33 - i)) << i;
        EXPECT_NE(At(shown, i, 15), At(shown, 43 - i, 15)) << i;
    }
    // What reached the screen (the window's rows copied straight into the screen's
    // pixels, at the window's place in the edge) is what the painter draws.
    w->Invalidate();
    QCoreApplication::processEvents();
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(edge->winId()).toImage();
    const QImage painted = edge->grab().toImage();
    EXPECT_EQ(At(screen, b, b), kBlue);
    EXPECT_EQ(At(screen, 0, 0), At(shown, 0, 0)) << "the border stays";
    EXPECT_TRUE(screen.convertToFormat(QImage::Format_RGB32) == painted.convertToFormat(QImage::Format_RGB32));
    // Resizing the edge resizes the client area with it.
    edge->resize(60 + 2 * b, 50 + 2 * b);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->geometry(), QRect(b, b, 60, 50));
}

TEST(SystemMetrics, VirtualDesktop)
{
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop |= screen->geometry();
    ASSERT_FALSE(desktop.isEmpty());
    EXPECT_EQ(plat::GetSystemMetrics(plat::SM_CXVIRTUALSCREEN), desktop.width());
    EXPECT_EQ(plat::GetSystemMetrics(plat::SM_CYVIRTUALSCREEN), desktop.height());
}

TEST(SystemMetrics, MenuLineAndLargeIcon)
{
    QMenuBar bar;
    bar.addAction("File");
    EXPECT_EQ(plat::GetSystemMetrics(plat::SM_CYMENU), bar.sizeHint().height());
    EXPECT_GT(plat::GetSystemMetrics(plat::SM_CYMENU), 0);
    EXPECT_GT(plat::GetSystemMetrics(plat::SM_CXICON), 0);
    EXPECT_EQ(plat::GetSystemMetrics(plat::SM_CXICON), plat::GetSystemMetrics(plat::SM_CYICON));
}

}  // namespace
