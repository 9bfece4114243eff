// The caption bar: its layout, states, presses and hit test without a window
// (a fake answers what the window would), then the bar on forms of the
// offscreen platform, grabbed at key pixels, and the menus of its buttons.

#include "viewer3d/forms/SFlatCaption.h"

#include "platform/dialogs/MessageBox.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

plat::Rect R(int l, int t, int r, int b)
{
    return plat::Rect{l, t, r, b};
}

// A bar whose window is a few fields.
class FakeBar final : public TSFlatCaptionCore {
public:
    bool hooked = true;
    int show = fswNormal;
    CPoint cursor{-100, -100};
    bool covered = false;
    bool pressWaits = false;
    int menus = 0;
    std::vector<int> posted;
    std::vector<bool> pinned;

    bool Hooked() const override { return hooked; }
    int WindowShowState() const override { return show; }
    CPoint CursorPos() const override { return cursor; }
    bool CursorCovered() const override { return covered; }
    void PostSysCommand(int Command) override { posted.push_back(Command); }
    void ApplyPinned(bool Value) override { pinned.push_back(Value); }
    bool TrackButtonMenu(TSFlatCaptionButton&) override
    {
        ++menus;
        return pressWaits;
    }
    void MoveTo(const TSFlatCaptionButton& B)
    {
        cursor = CPoint{(B.Rect.left + B.Rect.right) / 2, (B.Rect.top + B.Rect.bottom) / 2};
        UpdateHover();
    }
    void MoveAway()
    {
        cursor = CPoint{-50, -50};
        UpdateHover();
    }
};

TSFlatCaptionButton* AddStandard(FakeBar& Bar, std::int32_t Position, TSFlatCaptionCommand Command)
{
    TSFlatCaptionButton* b = Bar.Buttons().Add(Position);
    b->SetCommand(Command);
    b->SetCheckButton(Command == fccScreenPin);
    return b;
}

TEST(FlatCaptionLayout, ArrangePlacesButtonsAndTheTextArea)
{
    {  // no visible button: the whole bar less the spacing
        FakeBar bar;
        AddStandard(bar, -500, fccClose)->SetVisible(false);
        bar.Arrange();
        EXPECT_EQ(bar.TextArea(), R(2, 2, 118, 22));
    }
    {  // 1, 1, 0 in this order: a selection sort places them third, second, first
        FakeBar bar;
        TSFlatCaptionButton* a = bar.Buttons().Add(1);
        TSFlatCaptionButton* b = bar.Buttons().Add(1);
        TSFlatCaptionButton* c = bar.Buttons().Add(0);
        bar.Arrange();
        EXPECT_EQ(c->Rect, R(2, 2, 22, 22));
        EXPECT_EQ(b->Rect, R(24, 2, 44, 22));
        EXPECT_EQ(a->Rect, R(46, 2, 66, 22));
        EXPECT_EQ(bar.TextArea(), R(68, 2, 118, 22));
    }
    {  // the five defaults from the right edge, an invisible one keeps its place
        FakeBar bar;
        bar.SetBarSize(200, 24);
        struct Row {
            std::int32_t Position;
            TSFlatCaptionCommand Command;
            plat::Rect Expected;
        } rows[] = {
            {-500, fccClose, R(178, 2, 198, 22)},    {-400, fccMaximize, R(156, 2, 176, 22)},
            {-300, fccMinimize, R(134, 2, 154, 22)}, {-200, fccHelp, R(112, 2, 132, 22)},
            {-100, fccScreenPin, R(90, 2, 110, 22)},
        };
        for (const Row& row : rows)
            AddStandard(bar, row.Position, row.Command);
        bar.Arrange();
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(bar.Buttons().Items(i)->Rect, rows[i].Expected) << i;
        EXPECT_EQ(bar.TextArea(), R(2, 2, 88, 22));
        bar.Buttons().Items(2)->SetVisible(false);
        bar.Arrange();
        EXPECT_EQ(bar.Buttons().Items(2)->Rect, R(134, 2, 154, 22));
        EXPECT_EQ(bar.Buttons().Items(3)->Rect, R(134, 2, 154, 22));
        EXPECT_EQ(bar.TextArea(), R(2, 2, 110, 22));
    }
}

TEST(FlatCaptionLayout, ColoursPicturesAndTheSharedStrip)
{
    TSFlatCaptionColors colors;
    EXPECT_EQ(colors.Color(13), 0u);
    EXPECT_EQ(colors.Color(-1), 0u);
    EXPECT_EQ(colors.Color(fclActive), 0xC0C0C0u);
    EXPECT_EQ(colors.Color(fclStateBase + fbsFreeIn), 0xFF0000u);
    EXPECT_EQ(colors.Color(fclStateBase + fbsDownOut), 0x000080u);
    colors.SetColor(13, 0x123456);
    EXPECT_EQ(colors.Color(13), 0u);

    TSFlatCaptionButtonImages images;
    EXPECT_EQ(images.Image(7), -1);
    images.SetImage(7, 3);
    EXPECT_EQ(images.Image(7), -1);
    images.SetImage(6, 3);
    EXPECT_EQ(images.Image(6), 3);

    // Group order: Disable, FreeOut, FreeIn, DownOut, DownIn, FixedOut, FixedIn.
    const int close[7] = {0, 1, 2, 5, 6, 3, 4};
    for (int state = 0; state < 7; ++state) {
        EXPECT_EQ(SharedImageIndex(fccClose, state), close[state]);
        EXPECT_EQ(SharedImageIndex(fccScreenPin, state), 28 + close[state]);
    }
    EXPECT_EQ(SharedImageIndex(fccMenu, 1), -1);
    EXPECT_EQ(SharedImageIndex(fccUser, 1), -1);
    EXPECT_EQ(SharedImageIndex(fccHelp, 7), -1);

    const TSImageList& strip = SharedImages();
    EXPECT_EQ(strip.Strip().Image().size(), QSize(560, 16));
    EXPECT_EQ(strip.Count(), 35);
    EXPECT_EQ(strip.Transparent(), 0x808000u);  // teal, blue-green-red
    EXPECT_EQ(strip.Strip().Image().pixel(0, 0) & 0xFFFFFF, 0x008080u);
}

TEST(FlatCaptionLayout, ButtonStatesAndPresses)
{
    FakeBar bar;
    TSFlatCaptionButton* close = AddStandard(bar, -500, fccClose);
    TSFlatCaptionButton* pin = AddStandard(bar, -100, fccScreenPin);
    bar.Arrange();
    EXPECT_EQ(close->State(), fbsFreeOut);
    bar.MoveTo(*close);
    EXPECT_EQ(close->State(), fbsFreeIn);

    // Pressed, moved off (DownOut), released off: still closes.
    bar.LeftButton(true);
    EXPECT_EQ(close->State(), fbsDownIn);
    bar.MoveAway();
    EXPECT_EQ(close->State(), fbsDownOut);
    bar.LeftButton(false);
    EXPECT_EQ(bar.posted, std::vector<int>{SC_CLOSE});
    EXPECT_EQ(close->State(), fbsFreeOut);

    // A check button released on it toggles Fixed, released off it keeps it.
    bar.MoveTo(*pin);
    bar.LeftButton(true);
    bar.LeftButton(false);
    EXPECT_TRUE(pin->Fixed());
    EXPECT_EQ(pin->State(), fbsFixedIn);
    EXPECT_EQ(bar.pinned, std::vector<bool>{true});
    bar.LeftButton(true);
    bar.MoveAway();
    bar.LeftButton(false);
    EXPECT_TRUE(pin->Fixed());
    EXPECT_EQ(bar.pinned, (std::vector<bool>{true, true}));
    EXPECT_TRUE(bar.IsPinned());

    // A covered cursor is in no button; a disabled button runs nothing.
    bar.covered = true;
    bar.MoveTo(*close);
    EXPECT_EQ(close->State(), fbsFreeOut);
    bar.covered = false;
    close->SetEnabled(false);
    bar.MoveTo(*close);
    EXPECT_EQ(close->State(), fbsDisable);
    bar.LeftButton(true);
    bar.LeftButton(false);
    EXPECT_EQ(bar.posted.size(), 1u);

    // The maximise and minimise commands follow the window's state; OnButtonClick may change one.
    FakeBar other;
    TSFlatCaptionButton* max = AddStandard(other, -400, fccMaximize);
    other.Arrange();
    other.ExecuteCommand(max, fccMaximize);
    other.show = fswMaximized;
    other.ExecuteCommand(max, fccMaximize);
    other.ExecuteCommand(max, fccMinimize);
    other.show = fswNormal;
    other.OnButtonClick = [](TSFlatCaptionCore*, TSFlatCaptionButton*, TSFlatCaptionCommand& Command) {
        Command = fccHelp;
    };
    other.ExecuteCommand(max, fccMaximize);
    EXPECT_EQ(other.posted, (std::vector<int>{SC_MAXIMIZE, SC_RESTORE, SC_MINIMIZE, SC_CONTEXTHELP}));
    other.hooked = false;
    other.ExecuteCommand(max, fccClose);
    EXPECT_EQ(other.posted.size(), 4u);
}

TEST(FlatCaptionLayout, PinsAndButtonMenus)
{
    FakeBar bar;
    TSFlatCaptionButton* pin = AddStandard(bar, -100, fccScreenPin);
    pin->SetVisible(false);
    bar.SetPinned(true);
    EXPECT_TRUE(bar.IsPinned());  // hidden, still pinned
    bar.hooked = false;
    bar.SetPinned(false);
    EXPECT_FALSE(bar.IsPinned());
    EXPECT_EQ(bar.pinned, std::vector<bool>{true});  // no window when not hooked
    bar.hooked = true;

    QMenu menu;
    TSFlatCaptionButton* check = bar.Buttons().Add(0);
    check->SetCheckButton(true);
    check->SetPopupMenu(&menu);
    bar.Arrange();
    bar.MoveTo(*check);
    bar.LeftButton(true);
    bar.LeftButton(false);
    EXPECT_EQ(bar.menus, 1);
    EXPECT_FALSE(check->Fixed());  // closed elsewhere: the button comes back up

    // Closed by a press on the button: it stays fixed until that press ends.
    bar.pressWaits = true;
    bar.LeftButton(true);
    bar.LeftButton(false);
    EXPECT_EQ(bar.menus, 2);
    EXPECT_TRUE(check->Fixed());
    bar.LeftButton(true);
    bar.LeftButton(false);
    EXPECT_EQ(bar.menus, 2);
    EXPECT_FALSE(check->Fixed());
}

TEST(FlatCaptionLayout, HitTestAndMinimumSize)
{
    FakeBar bar;
    bar.SetBarSize(200, 24);
    AddStandard(bar, -500, fccClose);
    AddStandard(bar, -400, fccMaximize);
    bar.Arrange();
    struct Row {
        CPoint Point;
        int Show;
        bool Hooked;
        int Expected;
    } rows[] = {
        {{188, 10}, fswNormal, true, 1},       {{160, 10}, fswNormal, true, 2},
        {{50, 10}, fswNormal, true, kHitText}, {{177, 10}, fswNormal, true, kHitElsewhere},
        {{50, 1}, fswNormal, true, kHitElsewhere}, {{50, 30}, fswNormal, true, kHitNone},
        {{-1, 10}, fswNormal, true, kHitNone}, {{188, 10}, fswMinimized, true, kHitNone},
        {{188, 10}, fswHidden, true, kHitNone}, {{188, 10}, fswNormal, false, kHitNone},
        {{188, 10}, fswMaximized, true, 1},
    };
    for (const Row& row : rows) {
        bar.show = row.Show;
        bar.hooked = row.Hooked;
        EXPECT_EQ(bar.HitTest(row.Point), row.Expected) << row.Point.x << "," << row.Point.y;
    }
    bar.show = fswNormal;
    bar.hooked = true;
    EXPECT_TRUE(bar.AllowsMaximize());
    EXPECT_FALSE(bar.AllowsMinimize());
    bar.Buttons().Items(1)->SetVisible(false);
    bar.Arrange();
    EXPECT_FALSE(bar.AllowsMaximize());
    // Close only: 22 + 2 x 2 + 10.
    EXPECT_EQ(bar.MinimumSize(), (CSize{36, 24}));
}

TEST(FlatCaptionLayout, ButtonPicturesTextBoxesAndBitmaps)
{
    struct ButtonRow {
        plat::Rect Button;
        TSFlatCaptionTextPos TextPos;
        int TextWidth;
        int Picture;
        plat::Rect ExpectedPicture;
        int CutLeft;
        plat::Rect ExpectedText;
    } buttons[] = {
        {R(0, 2, 20, 22), fctNone, 0, 16, R(2, 4, 18, 20), 0, R(20, 2, 20, 22)},
        {R(0, 2, 40, 22), fctLeft, 10, 16, R(18, 4, 34, 20), 0, R(4, 2, 14, 22)},
        {R(0, 2, 40, 22), fctRight, 10, 16, R(4, 4, 20, 20), 0, R(24, 2, 34, 22)},
        {R(0, 0, 10, 16), fctNone, 0, 16, R(0, 0, 10, 16), 3, R(10, 0, 10, 16)},
        {R(0, 2, 40, 22), fctLeft, 10, 0, plat::Rect{}, 0, R(15, 2, 25, 22)},
    };
    for (const ButtonRow& row : buttons) {
        const TSFlatCaptionButtonLayout l =
            LayoutFlatCaptionButton(row.Button, row.TextPos, row.TextWidth, row.Picture, row.Picture);
        EXPECT_EQ(l.Picture, row.ExpectedPicture);
        EXPECT_EQ(l.CutLeft, row.CutLeft);
        EXPECT_EQ(l.Text, row.ExpectedText);
    }

    const plat::Rect area = R(10, 2, 110, 22);
    EXPECT_EQ(FlatCaptionTextBox(area, fctLeft, 50, 10), R(13, 7, 63, 17));
    EXPECT_EQ(FlatCaptionTextBox(area, fctNone, 50, 10), R(35, 7, 85, 17));
    EXPECT_EQ(FlatCaptionTextBox(area, fctRight, 50, 10), R(57, 7, 107, 17));
    EXPECT_EQ(FlatCaptionTextBox(area, fctRight, 200, 30), R(13, 2, 107, 22));

    // Tiles cut at the edges.
    const TSFlatCaptionBackground tiles = PlaceFlatCaptionBitmap(fbmCopy, 50, 24, 20, 16);
    ASSERT_EQ(tiles.Copies.size(), 6u);
    EXPECT_EQ(tiles.Copies[2].Dest, R(40, 0, 50, 16));
    EXPECT_EQ(tiles.Copies[5].Dest, R(40, 16, 50, 24));
    // A larger bitmap shows its top-left part whatever the alignment.
    for (TSFlatCaptionBitmapPos pos : {fbmLeftTop, fbmCenterMid, fbmRightBottom}) {
        const TSFlatCaptionBackground big = PlaceFlatCaptionBitmap(pos, 100, 24, 300, 40);
        ASSERT_EQ(big.Copies.size(), 1u);
        EXPECT_EQ(big.Copies[0].Dest, R(0, 0, 100, 24));
        EXPECT_TRUE(big.Fill.empty());
    }
    const TSFlatCaptionBackground corner = PlaceFlatCaptionBitmap(fbmRightBottom, 100, 24, 20, 10);
    EXPECT_EQ(corner.Copies[0].Dest, R(80, 14, 100, 24));
    ASSERT_EQ(corner.Fill.size(), 2u);
    EXPECT_EQ(corner.Fill[0], R(0, 0, 80, 24));
    EXPECT_EQ(corner.Fill[1], R(80, 0, 100, 14));
    const TSFlatCaptionBackground centre = PlaceFlatCaptionBitmap(fbmCenterMid, 100, 24, 20, 10);
    EXPECT_EQ(centre.Copies[0].Dest, R(40, 7, 60, 17));
    EXPECT_EQ(centre.Fill.size(), 4u);
    EXPECT_TRUE(PlaceFlatCaptionBitmap(fbmStretch, 100, 24, 20, 10).Stretch);
    EXPECT_EQ(PlaceFlatCaptionBitmap(fbmNone, 100, 24, 20, 10).Fill.size(), 1u);

    EXPECT_EQ(TPopupExWindow::MenuPlace(100, 50, R(100, 50, 120, 70), CSize{80, 60}, R(0, 0, 800, 600)),
              (CPoint{100, 70}));
    // It would leave the screen below the button: above it.
    EXPECT_EQ(TPopupExWindow::MenuPlace(100, 550, R(100, 550, 120, 570), CSize{80, 60}, R(0, 0, 800, 600)),
              (CPoint{100, 490}));
    EXPECT_EQ(TPopupExWindow::MenuPlace(780, 50, R(780, 50, 800, 70), CSize{80, 60}, R(0, 0, 800, 600)),
              (CPoint{720, 70}));
}

// ---- on forms of the offscreen platform ----


// Mouse input sent straight to a widget, at a point in its coordinates.
void Mouse(QWidget* W, QEvent::Type Type, Qt::MouseButton Button, QPoint At, Qt::MouseButtons Held)
{
    QMouseEvent event(Type, QPointF(At), QPointF(W->mapToGlobal(At)), Button, Held, Qt::NoModifier);
    QCoreApplication::sendEvent(W, &event);
}
void Press(QWidget* W, QPoint At, Qt::MouseButton Button = Qt::LeftButton)
{
    Mouse(W, QEvent::MouseButtonPress, Button, At, Button);
}
void Move(QWidget* W, QPoint At, Qt::MouseButtons Held = Qt::LeftButton)
{
    Mouse(W, QEvent::MouseMove, Qt::NoButton, At, Held);
}
void Release(QWidget* W, QPoint At, Qt::MouseButton Button = Qt::LeftButton)
{
    Mouse(W, QEvent::MouseButtonRelease, Button, At, Qt::NoButton);
}
void Click(QWidget* W, QPoint At, Qt::MouseButton Button = Qt::LeftButton)
{
    Press(W, At, Button);
    Release(W, At, Button);
}
void DoubleClick(QWidget* W, QPoint At)
{
    Click(W, At);
    Mouse(W, QEvent::MouseButtonDblClick, Qt::LeftButton, At, Qt::LeftButton);
    Release(W, At);
}

constexpr QRgb kSilver = 0xC0C0C0, kGray = 0x808080, kWhite = 0xFFFFFF, kBlack = 0, kBlue = 0x0000FF;

QRgb Pixel(const QImage& Image, int X, int Y)
{
    return Image.pixel(X, Y) & 0xFFFFFF;
}

int CountColour(const QImage& Image, const QRect& Area, QRgb Colour)
{
    int n = 0;
    for (int y = Area.top(); y <= Area.bottom(); ++y)
        for (int x = Area.left(); x <= Area.right(); ++x)
            n += Pixel(Image, x, y) == Colour;
    return n;
}

struct Form {
    QPointer<QWidget> Window = new QWidget(nullptr, Qt::Tool);
    TSFlatCaption* Bar = nullptr;
    explicit Form(QSize Size = QSize(200, 150))
    {
        Window->resize(Size);
        Window->move(100, 100);
        Bar = new TSFlatCaption(Window);
        Window->show();
        QCoreApplication::processEvents();
    }
    ~Form() { delete Window.data(); }
    QImage Shot() const
    {
        Bar->UpdateWindow();
        return Window->grab().toImage();
    }
    QPoint Global(int X, int Y) const { return Bar->mapToGlobal(QPoint(X, Y)); }
    QPoint Centre(TSFlatCaptionCommand Command) const
    {
        const plat::Rect r = Bar->ButtonOf(Command)->Rect;
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void ClickButton(TSFlatCaptionCommand Command)
    {
        QCursor::setPos(Global(Centre(Command).x(), Centre(Command).y()));
        Click(Bar, Centre(Command));
        QCoreApplication::processEvents();
    }
};

class FlatCaptionForm : public ::testing::Test {
protected:
    plat::ScopedMessageBoxAnswerer boxes{plat::IDOK};
};

TEST_F(FlatCaptionForm, TakesTheWindowOverAndPaints)
{
    Form f;
    EXPECT_TRUE(f.Bar->IsHooked());
    EXPECT_TRUE(f.Window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(f.Window->windowType(), Qt::Tool);
    EXPECT_TRUE(f.Window->isVisible());
    EXPECT_EQ(f.Bar->geometry(), QRect(0, 0, 200, 24));
    f.Bar->SetText("A caption");
    f.Window->resize(260, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.Bar->width(), 260);

    QCursor::setPos(QPoint(5000, 5000));
    f.Bar->UpdateHover();
    QImage shot = f.Shot();
    EXPECT_EQ(Pixel(shot, 150, 12), kSilver);
    EXPECT_EQ(Pixel(shot, 0, 12), kGray);     // lowered bevel: shade at the left
    EXPECT_EQ(Pixel(shot, 150, 23), kWhite);  // light at the bottom
    // The close button's cross, black while the mouse is elsewhere.
    const plat::Rect close = f.Bar->ButtonOf(fccClose)->Rect;
    const QRect picture(close.left + 2, close.top + 2, 16, 16);
    EXPECT_GT(CountColour(shot, picture, kBlack), 10);
    EXPECT_EQ(CountColour(shot, picture, kBlue), 0);

    // Hovered: blue; a tick after the cursor left: black again.
    QCursor::setPos(f.Global(f.Centre(fccClose).x(), f.Centre(fccClose).y()));
    Move(f.Bar, f.Centre(fccClose), Qt::NoButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.Bar->ButtonOf(fccClose)->State(), fbsFreeIn);
    shot = f.Shot();
    EXPECT_GT(CountColour(shot, picture, kBlue), 10);
    EXPECT_EQ(f.Bar->toolTip(), "Close");
    QCursor::setPos(QPoint(5000, 5000));
    TSFlatCaption::HoverTick();
    shot = f.Shot();
    EXPECT_EQ(CountColour(shot, picture, kBlue), 0);

    // Active text black, inactive grey.
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(f.Window, &deactivate);
    const plat::Rect area = f.Bar->TextArea();
    const QRect text(area.left + 1, area.top + 1, 80, area.Height() - 2);
    shot = f.Shot();
    EXPECT_EQ(CountColour(shot, text, kBlack), 0);
    EXPECT_GT(CountColour(shot, text, kGray), 5);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(f.Window, &activate);
    EXPECT_TRUE(f.Bar->Active());
    shot = f.Shot();
    EXPECT_GT(CountColour(shot, text, kBlack), 5);

    // A long text ends at the text area, cut.
    f.Bar->SetText(std::string(200, 'W'));
    shot = f.Shot();
    EXPECT_EQ(CountColour(shot, QRect(area.right, 3, 2, 18), kBlack), 0);
}

TEST_F(FlatCaptionForm, DragsResizesAndKeepsItsMinimum)
{
    Form f;
    f.Bar->ShowButtons({fccClose});
    const QPoint before = f.Window->pos();
    Press(f.Bar, QPoint(60, 12));
    Move(f.Bar, QPoint(90, 32));
    Release(f.Bar, QPoint(90, 32));
    EXPECT_EQ(f.Window->pos(), before + QPoint(30, 20));

    EXPECT_GE(f.Window->minimumWidth(), 36);
    EXPECT_GE(f.Window->minimumHeight(), 24);
    // The right edge band of a sizeable form resizes it; not below the minimum.
    QWidget* grip = f.Window->childAt(198, 80);
    ASSERT_NE(grip, nullptr);
    EXPECT_EQ(grip->objectName(), "SFlatCaptionGrip");
    Press(grip, QPoint(1, 10));
    Move(grip, QPoint(41, 10));
    Release(grip, QPoint(41, 10));
    EXPECT_EQ(f.Window->width(), 240);
    Press(grip, QPoint(1, 10));
    Move(grip, QPoint(-500, 10));
    Release(grip, QPoint(-500, 10));
    EXPECT_EQ(f.Window->width(), 36);
    EXPECT_EQ(f.Bar->TextArea().Width(), 10);

    // A dialog border has no band; the change keeps the window shown and in place.
    f.Window->resize(200, 150);
    const QRect geometry = f.Window->geometry();
    f.Bar->SetBorder(fcbDialog);
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.Bar->IsHooked());
    EXPECT_TRUE(f.Window->isVisible());
    EXPECT_TRUE(f.Window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(f.Window->geometry(), geometry);
    QWidget* none = f.Window->childAt(198, 80);
    EXPECT_TRUE(none == nullptr || none->objectName() != "SFlatCaptionGrip");
}

TEST_F(FlatCaptionForm, UnhookGivesTheWindowBackAndTheBarMayGoFirst)
{
    Form f;
    f.Window->setMinimumSize(50, 40);
    f.Bar->Unhook(false);
    EXPECT_FALSE(f.Bar->IsHooked());
    EXPECT_FALSE(f.Window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(f.Window->windowType(), Qt::Tool);
    EXPECT_TRUE(f.Window->isVisible());
    EXPECT_EQ(f.Window->childAt(198, 80), nullptr);  // no grips left
    ASSERT_TRUE(f.Bar->Hook());
    EXPECT_TRUE(f.Window->windowFlags() & Qt::FramelessWindowHint);
    delete f.Bar;  // the form goes on without it
    f.Window->resize(220, 160);
    QCoreApplication::processEvents();
    TSFlatCaption::HoverTick();
    EXPECT_EQ(f.Window->childAt(218, 80), nullptr);
}

TEST_F(FlatCaptionForm, ButtonsMaximiseMinimiseCloseAndPin)
{
    Form f;
    f.Bar->ShowButtons({fccClose, fccMaximize, fccMinimize, fccScreenPin});
    f.ClickButton(fccMaximize);
    EXPECT_TRUE(f.Window->isMaximized());
    f.ClickButton(fccMaximize);
    EXPECT_FALSE(f.Window->isMaximized());
    // A double click on the text maximises only where a maximise button allows it.
    DoubleClick(f.Bar, QPoint(40, 12));
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.Window->isMaximized());
    f.Window->showNormal();
    QCoreApplication::processEvents();

    f.ClickButton(fccScreenPin);
    EXPECT_TRUE(f.Bar->IsPinned());
    EXPECT_TRUE(f.Window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(f.Window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(f.Window->isVisible());
    f.ClickButton(fccScreenPin);
    EXPECT_FALSE(f.Bar->IsPinned());
    EXPECT_FALSE(f.Window->windowFlags() & Qt::WindowStaysOnTopHint);

    f.ClickButton(fccMinimize);
    EXPECT_TRUE(f.Window->isMinimized());
    EXPECT_EQ(f.Bar->HitTestScreen(f.Global(40, 12)), kHitNone);
    f.Window->showNormal();
    QCoreApplication::processEvents();

    f.Bar->ShowButtons({fccClose});
    DoubleClick(f.Bar, QPoint(40, 12));
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.Window->isMaximized());

    f.ClickButton(fccClose);
    EXPECT_FALSE(f.Window->isVisible());
}

// Chooses entry Index of the menu that opens next, from inside its loop; if
// that menu is still open after two seconds, it is closed.
void ChooseInNextMenu(int Index, QPoint* Shown = nullptr)
{
    auto seen = std::make_shared<QPointer<QMenu>>();
    QTimer::singleShot(0, [Index, Shown, seen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return;
        *seen = menu;
        if (Shown)
            *Shown = menu->pos();
        menu->setActiveAction(menu->actions().value(Index));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(menu, &enter);
    });
    QTimer::singleShot(2000, [seen] {
        if (!seen->isNull() && (*seen)->isVisible())
            (*seen)->close();
    });
}

TEST_F(FlatCaptionForm, CheckButtonMenus)
{
    Form f;
    QMenu* menu = new QMenu(f.Window);
    int first = 0, second = 0;
    QAction* a = menu->addAction("First");
    QAction* b = menu->addAction("Throws");
    QAction* c = menu->addAction("Frees the form");
    a->setStatusTip("The first entry");
    SetMenuItemClick(a, [&] { ++first; });
    SetMenuItemClick(b, [&] {
        ++second;
        throw std::runtime_error("boom");
    });
    SetMenuItemClick(c, [&] { delete f.Window.data(); });
    TSFlatCaptionButton* button = f.Bar->Buttons().Add(0);
    button->SetCheckButton(true);
    button->SetPopupMenu(menu);
    button->SetHint("Menu");
    const plat::Rect r = button->Rect;
    const QPoint centre((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    auto press = [&] {
        QCursor::setPos(f.Global(centre.x(), centre.y()));
        Click(f.Bar, centre);
        QCoreApplication::processEvents();
    };

    QPoint shown;
    ChooseInNextMenu(0, &shown);
    press();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(shown, f.Global(r.left, r.bottom));  // below the button
    EXPECT_FALSE(button->Fixed());
    EXPECT_EQ(button->State(), fbsFreeIn);

    ChooseInNextMenu(1);
    press();
    EXPECT_EQ(second, 1);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "boom");
    ChooseInNextMenu(0);
    press();
    EXPECT_EQ(first, 2);
    EXPECT_FALSE(button->Fixed());

    // An entry that frees the form (and the bar and its menu).
    ChooseInNextMenu(2);
    press();
    EXPECT_TRUE(f.Window.isNull());
}

TEST_F(FlatCaptionForm, BarMenuOnTheTextAndOwnerDrawnEntries)
{
    Form f;
    QMenu menu;
    struct Swatch final : TSOwnerDrawMenuItem {
        int* Drawn;
        explicit Swatch(int* D) : Drawn(D) {}
        void Measure(plat::DeviceContext&, int& W, int& H) override
        {
            W = 60;
            H = 18;
        }
        void Draw(plat::DeviceContext& Dc, const plat::Rect& Rect, bool) override
        {
            ++*Drawn;
            Dc.DrawText("Swatch", Rect, plat::DT_SINGLELINE | plat::DT_VCENTER);
        }
    };
    int drawn = 0, chosen = 0;
    QAction* plain = menu.addAction("Plain");
    SetMenuItemClick(plain, [&] { ++chosen; });
    QAction* swatch = AddOwnerDrawItem(&menu, std::make_unique<Swatch>(&drawn));
    SetMenuItemClick(swatch, [&] { chosen += 10; });
    f.Bar->SetPopupMenu(&menu);
    ChooseInNextMenu(0);
    Click(f.Bar, QPoint(40, 12), Qt::RightButton);
    EXPECT_EQ(chosen, 1);

    QPointer<QMenu> seen;
    QTimer::singleShot(0, [&] {
        auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (open == nullptr)
            return;
        seen = open;
        QWidget* item = nullptr;
        for (QWidget* w : open->findChildren<QWidget*>())
            if (w->minimumSize() == QSize(60, 18))
                item = w;
        if (item == nullptr)
            return;
        item->grab();
        Click(item, QPoint(5, 5));
    });
    QTimer::singleShot(2000, &menu, [&seen] {
        if (seen && seen->isVisible())
            seen->close();
    });
    Click(f.Bar, QPoint(40, 12), Qt::RightButton);
    EXPECT_EQ(chosen, 11);
    EXPECT_GT(drawn, 0);
}

}  // namespace

TEST_F(FlatCaptionForm, ImageListChangesRepaintAndAListThatGoesIsForgotten)
{
    Form f;
    f.Bar->ShowButtons({fccClose});
    TSFlatCaptionButton* user = f.Bar->Buttons().Add(-300);
    user->SetCommand(fccUser);
    for (int state = 0; state < 7; ++state)
        user->Images().SetImage(state, 0);
    int paints = 0;
    f.Bar->OnDrawElement = [&](TSFlatCaptionCore*, TSFlatCaptionElement Element, TSFlatCaptionButton* Button, bool&) {
        if (Element == TSFlatCaptionElement::Button && Button != nullptr && Button->Command() == fccUser)
            ++paints;
    };
    auto red = std::make_unique<TSImageList>(16, 16, 1);
    red->Strip().FillRect(plat::Rect{0, 0, 16, 16}, 0x0000FF);
    TSImageList other(16, 16, 1);
    f.Bar->SetImages(red.get());
    EXPECT_EQ(f.Bar->Images(), red.get());
    const plat::Rect r = user->Rect;
    const QRect picture(r.left + 2, r.top + 2, 16, 16);
    EXPECT_GT(CountColour(f.Shot(), picture, 0xFF0000), 100);

    // A change of the list repaints the bar at once.
    paints = 0;
    red->Strip().FillRect(plat::Rect{0, 0, 16, 16}, 0x00FF00);
    red->Changed();
    EXPECT_GT(paints, 0);
    EXPECT_GT(CountColour(f.Window->grab().toImage(), picture, 0x00FF00), 100);

    // Another list: the first one's changes no longer reach the bar.
    f.Bar->SetImages(&other);
    paints = 0;
    red->Changed();
    EXPECT_EQ(paints, 0);
    other.SetTransparent(0x123456);
    EXPECT_GT(paints, 0);

    // A list that goes is forgotten, and the bar paints without it.
    f.Bar->SetImages(red.get());
    paints = 0;
    red.reset();
    EXPECT_EQ(f.Bar->Images(), nullptr);
    f.Shot();
    EXPECT_GT(paints, 0);
    // The bar may go before its list.
    f.Bar->SetImages(&other);
    delete f.Bar;
    other.Changed();
}

TEST_F(FlatCaptionForm, ResizeAndMouseEventsOfTheBar)
{
    Form f;
    f.Bar->ShowButtons({fccClose});
    std::vector<std::string> seen;
    f.Bar->OnResize = [&](TSFlatCaption* Sender) {
        // Before the bar re-arranges: the text area still has the old width.
        seen.push_back("resize " + std::to_string(Sender->width()) + " text " +
                       std::to_string(Sender->TextArea().right));
    };
    f.Bar->OnMouseDown = [&](TSFlatCaption* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers, QPoint Pos) {
        // After the bar's own handling: the close button is already down.
        seen.push_back("down " + std::to_string(int(Button)) + " " + std::to_string(Pos.x()) + " close " +
                       std::to_string(Sender->ButtonOf(fccClose)->Down()));
    };
    f.Bar->OnMouseMove = [&](TSFlatCaption*, Qt::KeyboardModifiers, QPoint Pos) {
        seen.push_back("move " + std::to_string(Pos.x()));
    };
    f.Bar->OnMouseUp = [&](TSFlatCaption* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers, QPoint Pos) {
        seen.push_back("up " + std::to_string(int(Button)) + " " + std::to_string(Pos.x()) + " close " +
                       std::to_string(Sender->ButtonOf(fccClose)->Down()));
    };
    const int oldRight = f.Bar->TextArea().right;
    f.Window->resize(260, 150);
    QCoreApplication::processEvents();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "resize 260 text " + std::to_string(oldRight));
    EXPECT_GT(f.Bar->TextArea().right, oldRight);

    seen.clear();
    const QPoint close = f.Centre(fccClose);
    QCursor::setPos(f.Global(close.x(), close.y()));
    Press(f.Bar, close);
    Move(f.Bar, close + QPoint(1, 0));
    // A right press and release on the text: no menu, both reported.
    Release(f.Bar, QPoint(5000, 5000), Qt::RightButton);
    EXPECT_EQ(seen, (std::vector<std::string>{"down 1 " + std::to_string(close.x()) + " close 1",
                                              "move " + std::to_string(close.x() + 1), "up 2 5000 close 1"}));
    // Releasing elsewhere lets the button go without a command.
    seen.clear();
    QCursor::setPos(QPoint(5000, 5000));
    Release(f.Bar, QPoint(5, 5));
    EXPECT_EQ(seen, (std::vector<std::string>{"up 1 5 close 0"}));
    EXPECT_TRUE(f.Window->isVisible());
}
