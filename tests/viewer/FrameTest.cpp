#include <gtest/gtest.h>

#include <QFocusEvent>
#include <memory>

#include "OverlayTestView.h"
#include "window/Frame.h"
#include "window/ViewerMessages.h"

namespace {

using overlaytest::NotifyWindow;
using overlaytest::View;

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0);

// Bounding rectangle of the pixels of one colour.
plat::Rect Bounds(const QImage& image, QRgb color)
{
    plat::Rect r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == color)
                r = plat::Rect{std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1),
                               std::max(r.bottom, y + 1)};
    return r.left == INT_MAX ? plat::Rect{} : r;
}

// A shown 200 x 150 view over an image of 100 x 80 pixels.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.show();
        view.FreshRender();
        Make(1.0);
    }
    void Make(double zoom)
    {
        view.frame = nullptr;
        view.FreshRender();
        frame = std::make_unique<CFrame>(view.handle, nullptr);
        frame->m_rcImage = CRect(0, 0, 99, 79);
        frame->SetOldCursor(3);
        frame->SetScale(zoom);
        view.frame = frame.get();
    }
    // The default frame (37, 30, 61, 49) grown by 20 on each side.
    void Big()
    {
        frame->SetFrame(CRect());
        frame->ClearAll();
        frame->FrameChange(CSize{-20, -20}, 1);
        frame->FrameChange(CSize{20, 20}, 3);
        frame->Paint(nullptr);
    }
    // After any sequence the buffer is the picture with the overlay drawn once.
    void ExpectNoTrails()
    {
        const QImage now = view.Buffer().copy();
        const QImage fresh = view.FreshRender();
        EXPECT_EQ(now, fresh);
        if (now != fresh)
            for (int y = 0, shown = 0; y < now.height(); ++y)
                for (int x = 0; x < now.width(); ++x)
                    if (now.pixel(x, y) != fresh.pixel(x, y) && shown++ < 10)
                        ADD_FAILURE() << "differs at " << x << "," << y << std::hex << " " << now.pixel(x, y) << " "
                                      << fresh.pixel(x, y);
        EXPECT_NE(now, view.PictureImage().copy(0, 0, now.width(), now.height()));
    }

    View view{200, 150};
    std::unique_ptr<CFrame> frame;
};

TEST(Frame, StartsEmptyAndWorksWithoutAWindow)
{
    CFrame frame(plat::WindowHandle(), nullptr);
    EXPECT_EQ(frame.Scale(), 1.0);
    EXPECT_EQ(frame.BegPoint(), (CSize{0, 0}));
    EXPECT_EQ(frame.m_rcImage, CRect(0, 0, 0, 0));
    EXPECT_FALSE(frame.IsShown());
    EXPECT_EQ(frame.Paint(nullptr), 1);
    EXPECT_EQ(frame.MouseMove(CPoint{1, 1}), 1);
    EXPECT_EQ(frame.MouseDown(CPoint{1, 1}), 0);
    EXPECT_EQ(frame.MouseUp(CPoint{1, 1}), 1);
    EXPECT_EQ(frame.RMouseDown(), 0);

    // Geometry needs no window.
    frame.m_rcImage = CRect(0, 0, 99, 79);
    frame.SetPoint(1, CPoint{10, 20});
    EXPECT_TRUE(frame.IsShown());
    EXPECT_EQ(frame.GetPoint(1), (CPoint{10, 20}));
    frame.SetScale(0.0);  // ignored
    frame.SetScale(-2.0);
    EXPECT_EQ(frame.Scale(), 1.0);
    frame.SetScale(4.0);
    EXPECT_EQ(frame.Scale(), 0.25);
    EXPECT_EQ(frame.WindowPoint(CPoint{7, 8}, 1, 0), (CPoint{1, 2}));
    EXPECT_EQ(frame.ImagePoint(CPoint{3, 5}), (CPoint{12, 20}));
    frame.ClearPoint(1);
    EXPECT_FALSE(frame.IsShown());
}

TEST_F(FrameTest, DefaultFrameAndMarkersAtFourZooms)
{
    struct Case {
        double zoom;  // image pixels per window pixel
        int width, height, size, arm;
    } cases[] = {
        {1.0, 24, 19, 10, 10},
        {0.5, 12, 9, 10, 20},
        {4.0, 24, 19, 20, 5},
        {3.0, 24, 19, 15, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zoom);
        Make(c.zoom);
        frame->SetFrame(CRect(-1, -1, -1, -1));
        const CRect first = frame->GetFrame();
        EXPECT_EQ(frame->m_nWidth, c.width);
        EXPECT_EQ(frame->m_nHeight, c.height);
        EXPECT_EQ(first.Width(), c.width);
        EXPECT_GE(first.left, 0);
        EXPECT_LE(first.bottom, 79);
        EXPECT_FALSE(frame->IsPointShown(1));
        frame->SetFrame(CRect(5, 5, 50, 50));  // the rectangle is not read
        EXPECT_EQ(frame->GetFrame(), first);
        EXPECT_EQ(frame->TopRight(), (CPoint{first.right, first.top}));
        EXPECT_EQ(frame->BottomLeft(), (CPoint{first.left, first.bottom}));

        // The outline runs over the outermost window pixels of the selected image pixels.
        const double s = 1.0 / c.zoom;
        const plat::Rect outline{int(first.left * s), int(first.top * s), int((first.right + 1) * s),
                                 int((first.bottom + 1) * s)};
        const QImage& buffer = view.Buffer();
        EXPECT_EQ(Bounds(buffer, kRed), outline);
        for (int x = outline.left; x < outline.right; ++x)
            EXPECT_TRUE(buffer.pixel(x, outline.top) == kRed && buffer.pixel(x, outline.bottom - 1) == kRed) << x;
        for (int y = outline.top; y < outline.bottom; ++y)
            EXPECT_TRUE(buffer.pixel(outline.left, y) == kRed && buffer.pixel(outline.right - 1, y) == kRed) << y;
        EXPECT_NE(buffer.pixel(outline.left + 1, outline.top + 1), kRed);
        ExpectNoTrails();

        // Marker 1 alone: a square of half side A around its centre.
        frame->ClearFrame();
        EXPECT_FALSE(frame->IsShown());
        EXPECT_EQ(view.Buffer(), view.PictureImage());
        EXPECT_EQ(frame->MarkerSize(), c.size);
        EXPECT_EQ(frame->MarkerArm(), c.arm);
        frame->SetPoint(1, CPoint{60, 50});
        const CPoint z = frame->MarkerCentre(frame->GetPoint(1));
        EXPECT_EQ(Bounds(view.Buffer(), kRed),
                  (plat::Rect{z.x - c.arm, z.y - c.arm, z.x + c.arm + 1, z.y + c.arm + 1}));
        ExpectNoTrails();
        frame->ClearPoint(1);
    }
    // At zoom 1 and 0.5 the outline columns are exact multiples of the scale.
    Make(0.5);
    frame->SetFrame(CRect());
    const CRect f = frame->GetFrame();
    EXPECT_EQ(Bounds(view.Buffer(), kRed), (plat::Rect{2 * f.left, 2 * f.top, 2 * f.right + 2, 2 * f.bottom + 2}));
}

TEST_F(FrameTest, MarkerTwoIsGreenOverTheFrame)
{
    frame->SetFrame(CRect());
    const CRect f = frame->GetFrame();
    ASSERT_EQ(f, CRect(37, 30, 61, 49));
    frame->SetPoint(2, CPoint{f.left, f.top});  // its arm lies on the frame's top edge
    const QImage& buffer = view.Buffer();
    EXPECT_EQ(buffer.pixel(f.left + 5, f.top), kGreen);
    EXPECT_EQ(buffer.pixel(f.left + 15, f.top), kRed);
    EXPECT_EQ(buffer.pixel(f.left, f.top - 5), kGreen);
    EXPECT_NE(buffer.pixel(f.left, f.top - 1), kGreen);  // the open centre of the cross
    ExpectNoTrails();

    // Clearing the only marker hides everything and draws nothing.
    frame->ClearFrame();
    EXPECT_TRUE(frame->IsShown());
    frame->ClearPoint(2);
    EXPECT_FALSE(frame->IsShown());
    EXPECT_EQ(view.Buffer(), view.PictureImage());
    EXPECT_EQ(frame->Paint(nullptr), 1);
}

TEST_F(FrameTest, HoverFindsMarkersEdgesAndInside)
{
    struct Case {
        double zoom;
        CPoint at;  // window pixels
        int hit, edge, cursor;
    } cases[] = {
        // zoom 1: frame (17, 10, 81, 69), tolerances 3 and 10
        {1.0, {49, 39}, 3, 0, 7},
        {1.0, {81, 10}, 4, 2, 11},
        {1.0, {81, 65}, 4, 3, 10},
        {1.0, {83, 35}, 4, 6, 9},
        {1.0, {84, 35}, 0, 0, 3},
        {1.0, {16, 11}, 4, 1, 10},
        {1.0, {17, 68}, 4, 4, 11},
        {1.0, {18, 35}, 4, 8, 9},
        {1.0, {50, 68}, 4, 7, 8},
        {1.0, {50, 11}, 4, 5, 8},
        {1.0, {25, 12}, 4, 1, 10},
        {1.0, {14, 35}, 0, 0, 3},
        {1.0, {12, 35}, 0, 0, 3},  // five left of the frame
        // zoom 0.5: frame (75, 60, 99, 79), tolerances 6 and 20 image pixels
        {0.5, {44, 35}, 3, 0, 7},
        {0.5, {35, 35}, 4, 1, 10},  // image x 70: five left of the frame
        {0.5, {34, 35}, 0, 0, 3},
        {0.5, {44, 38}, 4, 3, 10},
        {0.5, {49, 35}, 4, 2, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.zoom << " at " << c.at.x << "," << c.at.y);
        Make(1.0 / c.zoom);
        if (c.zoom == 1.0)
            Big();
        else
            frame->SetFrame(CRect());
        ASSERT_EQ(frame->GetFrame(), c.zoom == 1.0 ? CRect(17, 10, 81, 69) : CRect(75, 60, 99, 79));
        view.Move(c.at.x, c.at.y);
        EXPECT_EQ(frame->Hit(), c.hit);
        if (c.hit == 4) {
            EXPECT_EQ(frame->Edge(), c.edge);
        }
        EXPECT_EQ(frame->Cursor(), c.cursor);
    }

    // A marker inside the frame is hit before the frame, strictly within L.
    Make(1.0);
    Big();
    frame->SetPoint(1, CPoint{49, 39});
    for (auto [x, hit] : {std::pair{49, 1}, {58, 1}, {59, 3}, {40, 1}, {39, 3}}) {
        view.Move(x, 39);
        EXPECT_EQ(frame->Hit(), hit) << x;
    }
}

TEST_F(FrameTest, LeavingSendsTheToolCursorOnce)
{
    frame->SetFrame(CRect());
    view.messages.clear();
    view.Move(49, 39);
    view.Move(50, 39);
    view.Move(150, 120);
    view.Move(160, 120);
    std::vector<plat::WParam> sent;
    for (const auto& m : view.messages)
        if (m.msg == WM_VIEWER_CURSOR)
            sent.push_back(m.wp);
    EXPECT_EQ(sent, (std::vector<plat::WParam>{7, 3}));
    EXPECT_EQ(view.cursor().shape(), Qt::SizeAllCursor);  // the view sets only codes 7 to 11
}

TEST_F(FrameTest, FrameDragStopsAtTheImageEdgeAndComesBackPastTheAnchor)
{
    NotifyWindow notify;
    frame->SetFrame(CRect());
    frame->m_pNotifyWnd = notify.handle;
    EXPECT_EQ(notify.Notices(), 0);
    view.Move(49, 39);
    view.Press(49, 39);
    EXPECT_EQ(frame->Drag(), 3);
    EXPECT_TRUE(view.HasCapture());
    EXPECT_TRUE(view.IsCursorShown());
    EXPECT_EQ(frame->RMouseDown(), 1);

    struct Step {
        int x;
        int left;
    } steps[] = {{0, 0}, {5, 0}, {12, 0}, {15, 3}, {10, 0}, {60, 48}, {199, 75}};
    int n = 0;
    for (const Step& s : steps) {
        view.Move(s.x, 41);
        EXPECT_EQ(frame->GetFrame().left, s.left) << s.x;
        EXPECT_EQ(frame->GetFrame().top, 32);
        EXPECT_EQ(notify.Notices(), ++n);  // one per step, limited or not
    }
    EXPECT_EQ(frame->GetFrame().right, 99);
    view.Release(199, 41);
    EXPECT_EQ(frame->Drag(), 0);
    EXPECT_FALSE(view.HasCapture());
    EXPECT_EQ(frame->RMouseDown(), 0);
    EXPECT_EQ(frame->GetPoint(1), (CPoint{49, 39}));  // the hidden marker stays
    ExpectNoTrails();

    // Without a notify window nothing is posted; a gone one takes nothing.
    frame->m_pNotifyWnd = plat::WindowHandle();
    view.Move(80, 40);
    view.Press(80, 40);
    view.Move(70, 40);
    view.Release(70, 40);
    EXPECT_EQ(notify.Notices(), n);
    {
        NotifyWindow gone;
        frame->m_pNotifyWnd = gone.handle;
    }
    view.Press(70, 40);
    view.Move(69, 40);
    view.Release(69, 40);
    EXPECT_EQ(frame->GetFrame().left, 64);
    ExpectNoTrails();
}

TEST_F(FrameTest, StretchingKeepsTwoPixelsAndIgnoresTheOtherAxis)
{
    struct Case {
        const char* name;
        CPoint hover, to;
        CRect result;
    } cases[] = {
        {"left edge right", {18, 35}, {150, 0}, CRect(79, 10, 81, 69)},
        {"left edge out", {18, 35}, {-40, 35}, CRect(0, 10, 81, 69)},
        {"top side", {50, 11}, {90, 4}, CRect(17, 3, 81, 69)},
        {"top side down", {50, 11}, {10, 140}, CRect(17, 67, 81, 69)},
        {"bottom-right corner out", {81, 69}, {199, 149}, CRect(17, 10, 99, 79)},
        {"top-right corner in", {81, 10}, {0, 149}, CRect(17, 67, 19, 69)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make(1.0);
        Big();
        view.Move(c.hover.x, c.hover.y);
        ASSERT_EQ(frame->Hit(), 4);
        view.Press(c.hover.x, c.hover.y);
        EXPECT_EQ(frame->Drag(), 4);
        view.Move((c.hover.x + c.to.x) / 2, (c.hover.y + c.to.y) / 2);
        view.Move(c.to.x, c.to.y);
        view.Release(c.to.x, c.to.y);
        EXPECT_EQ(frame->GetFrame(), c.result);
        EXPECT_EQ(frame->m_nWidth, c.result.Width());
        EXPECT_EQ(frame->m_nHeight, c.result.Height());
        EXPECT_EQ(frame->TopRight(), (CPoint{c.result.right, c.result.top}));
        ExpectNoTrails();
    }
}

TEST_F(FrameTest, MarkerOneTakesTheFrameMarkerTwoStaysInTheImage)
{
    NotifyWindow notify;
    frame->SetPoint(1, CPoint{49, 39});
    frame->SetFrame(CRect());
    frame->SetPoint(2, CPoint{20, 20});
    frame->m_pNotifyWnd = notify.handle;
    const CRect before = frame->GetFrame();

    view.Move(52, 41);
    ASSERT_EQ(frame->Hit(), 1);
    view.Press(52, 41);
    EXPECT_EQ(frame->Drag(), 1);
    EXPECT_FALSE(view.IsCursorShown());
    EXPECT_EQ(frame->GetPoint(1), (CPoint{52, 41}));  // onto the pressed pixel
    view.Move(60, 45);
    EXPECT_EQ(frame->GetPoint(1), (CPoint{60, 45}));
    EXPECT_EQ(frame->GetFrame(), CRect(before.left + 11, before.top + 6, before.right + 11, before.bottom + 6));
    view.Move(0, 0);  // the frame stops at the image's corner, the marker keeps its place in it
    EXPECT_EQ(frame->GetFrame().left, 0);
    EXPECT_EQ(frame->GetFrame().top, 0);
    EXPECT_EQ(frame->GetPoint(1), (CPoint{12, 9}));
    view.Release(0, 0);
    EXPECT_TRUE(view.IsCursorShown());
    EXPECT_EQ(notify.Notices(), 3);
    EXPECT_EQ(frame->GetPoint(2), (CPoint{20, 20}));
    ExpectNoTrails();

    view.Move(21, 19);
    ASSERT_EQ(frame->Hit(), 2);
    view.Press(21, 19);
    EXPECT_EQ(frame->Drag(), 2);
    view.Move(150, 140);
    EXPECT_EQ(frame->GetPoint(2), (CPoint{99, 79}));
    view.Move(-30, 5);
    EXPECT_EQ(frame->GetPoint(2), (CPoint{0, 5}));
    view.Release(-30, 5);
    EXPECT_EQ(frame->GetPoint(1), (CPoint{12, 9}));
    EXPECT_EQ(frame->GetFrame().left, 0);
    ExpectNoTrails();
}

TEST_F(FrameTest, DragEndsWhenTheViewLosesCaptureOrFocus)
{
    frame->SetPoint(1, CPoint{49, 39});
    view.Move(49, 39);
    view.Press(49, 39);
    ASSERT_EQ(frame->Drag(), 1);
    ASSERT_FALSE(view.IsCursorShown());
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&view, &out);
    EXPECT_EQ(frame->Drag(), 0);
    EXPECT_FALSE(view.HasCapture());
    EXPECT_TRUE(view.IsCursorShown());
    view.Move(80, 60);  // only hovers now
    EXPECT_EQ(frame->GetPoint(1), (CPoint{49, 39}));

    // Hidden during a drag: the button-up still ends it.
    frame->SetFrame(CRect());
    view.Move(40, 33);
    view.Press(40, 33);
    ASSERT_TRUE(view.HasCapture());
    frame->ClearFrame();
    frame->ClearPoint(1);
    EXPECT_EQ(frame->RMouseDown(), 0);
    EXPECT_EQ(frame->MouseUp(CPoint{40, 33}), 1);
    EXPECT_EQ(frame->Drag(), 0);
    EXPECT_FALSE(view.HasCapture());
    EXPECT_EQ(view.Buffer(), view.PictureImage());
}

TEST_F(FrameTest, MaxFrameCoversTheImage)
{
    NotifyWindow notify;
    frame->SetFrame(CRect());
    frame->m_pNotifyWnd = notify.handle;
    EXPECT_EQ(frame->SetMaxFrame(), 1);
    EXPECT_EQ(frame->GetFrame(), CRect(0, 0, 99, 79));
    EXPECT_EQ(frame->m_nWidth, 99);
    EXPECT_EQ(notify.Notices(), 3);
    EXPECT_EQ(Bounds(view.Buffer(), kRed), (plat::Rect{0, 0, 100, 80}));
    ExpectNoTrails();
}

TEST_F(FrameTest, ScrolledViewShiftsTheOrigin)
{
    view.SetScrollInfo(plat::SB_HORZ, plat::ScrollInfo{0, 400, 200, 30, 30});
    view.SetScrollInfo(plat::SB_VERT, plat::ScrollInfo{0, 400, 150, 20, 20});
    frame->SetScale(0.5);  // two window pixels per image pixel
    EXPECT_EQ(frame->BegPoint(), (CSize{-15, -10}));
    EXPECT_EQ(frame->WindowPoint(CPoint{15, 10}, 0, 0), (CPoint{0, 0}));
    EXPECT_EQ(frame->WindowPoint(CPoint{15, 10}, 1, 1), (CPoint{1, 1}));
    EXPECT_EQ(frame->ImagePoint(CPoint{3, 3}), (CPoint{16, 11}));
}

TEST(FrameTwin, TwinMirrorsFrameMovesAndGetsItsOwnNotices)
{
    View one(200, 150), two(200, 150);
    one.show();
    two.show();
    one.FreshRender();
    two.FreshRender();
    NotifyWindow notifyOne, notifyTwo;
    auto a = std::make_unique<CFrame>(one.handle, nullptr);
    CFrame b(two.handle, a.get());
    one.frame = a.get();
    two.frame = &b;
    for (CFrame* f : {a.get(), &b}) {
        f->m_rcImage = CRect(0, 0, 99, 79);
        f->SetFrame(CRect());
    }
    a->m_pNotifyWnd = notifyOne.handle;
    b.m_pNotifyWnd = notifyTwo.handle;
    one.Move(49, 39);
    one.Press(49, 39);
    one.Move(45, 37);
    one.Move(-50, 37);
    one.Release(-50, 37);
    EXPECT_EQ(a->GetFrame(), CRect(0, 28, 24, 47));
    EXPECT_EQ(b.GetFrame(), a->GetFrame());
    EXPECT_EQ(notifyOne.Notices(), 2);
    EXPECT_EQ(notifyTwo.Notices(), 2);
    EXPECT_EQ(one.Buffer(), two.Buffer());
    EXPECT_EQ(two.Buffer(), two.FreshRender());

    a.reset();  // the twin forgets it
    b.MoveFrame(CSize{1, 0});
    EXPECT_EQ(b.TestFrameOut(CSize{-5, 0}), (CSize{-1, 0}));
}

}  // namespace
