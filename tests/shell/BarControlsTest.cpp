#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <chrono>
#include <memory>
#include <tuple>
#include <vector>

#include "BarMessages.h"
#include "BarPage.h"
#include "FlatButton.h"
#include "platform/windows/MainWindow.h"
#include "MenuBarButton.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "QuorvexArt.h"
#include "QuorvexDlg.h"
#include "QuorvexStrings.h"
#include "ScopedEnvFolder.h"
#include "platform/paint/SysColors.h"

using namespace std::chrono_literals;
using testsupport::PumpUntil;

namespace {

void SendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button = Qt::NoButton,
               Qt::MouseButtons held = Qt::NoButton)
{
    const QPointF global = w->mapToGlobal(QPointF(local));
    QMouseEvent e(type, QPointF(local), global, button,
                  held | (type == QEvent::MouseButtonPress ? button : Qt::NoButton), Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QRgb Pixel(QWidget* w, int x, int y)
{
    return w->grab().toImage().pixel(x, y) & 0xFFFFFF;
}

QRgb Sys(int index)
{
    const plat::ColorRef c = plat::GetSysColor(index);
    return qRgb(plat::GetRValue(c), plat::GetGValue(c), plat::GetBValue(c)) & 0xFFFFFF;
}

// Whether some pixel of the rectangle is coloured (not grey).
bool Coloured(const QImage& image, const QRect& r)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))
                return true;
        }
    return false;
}

// A window that records the private messages sent or posted to it.
struct Recorder {
    QWidget widget;
    plat::WindowHandle handle;
    std::vector<std::tuple<unsigned, plat::WParam, plat::LParam>> messages;

    Recorder()
    {
        handle = plat::WindowHandle::Attach(&widget, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            messages.emplace_back(msg, w, l);
            return plat::LResult(0);
        });
    }
    int Count(unsigned msg, plat::WParam w = ~plat::WParam(0)) const
    {
        int n = 0;
        for (const auto& [m, wp, lp] : messages)
            n += m == msg && (w == ~plat::WParam(0) || wp == w);
        return n;
    }
};

}  // namespace

TEST(BarControlsTest, TheToolStripsAreThreeImagesOnTheMaskColour)
{
    for (const char* name : {"IDB_BITMAP_TOOL_FILES", "IDB_BITMAP_TOOL_FILES_GRAY"}) {
        SCOPED_TRACE(name);
        const QImage strip = QuorvexBitmap(name);
        ASSERT_EQ(strip.size(), QSize(96, 32));
        const QPoint inside[3] = {{10, 10}, {16, 10}, {6, 10}};  // a point of each picture
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(strip.pixel(32 * i, 0) & 0xFFFFFF, kToolMaskColor);
            EXPECT_NE(strip.pixel(32 * i + inside[i].x(), inside[i].y()) & 0xFFFFFF, kToolMaskColor);
        }
    }
    EXPECT_TRUE(QuorvexBitmap("IDB_BITMAP_TOOL_MAIN").isNull());
}

TEST(BarControlsTest, AToolButtonRisesSinksAndSendsItsIdOnlyWhenReleasedOverIt)
{
    Recorder up;
    QWidget host;
    host.resize(300, 80);
    QFont font;
    font.setPixelSize(11);
    const QFont* fontRef = &font;
    auto* page = new CBarPage(&host, &fontRef, -11);
    page->SetParentHandle(up.handle);
    ASSERT_EQ(page->BuildToolButtons("IDB_BITMAP_TOOL_FILES", "IDB_BITMAP_TOOL_FILES_GRAY",
                                     {"View", "3D Viewer", "Import Export"},
                                     {ID_FILES_VIEW, ID_FILES_3DVIEWER, ID_FILES_IMPORTEXPORT}, 74, 65),
              222);
    page->setGeometry(2, 2, 222, 65);
    host.show();
    CFlatButton* view = page->ToolButtons()[0];
    EXPECT_EQ(view->geometry(), QRect(0, 0, 74, 65));
    EXPECT_EQ(page->ToolButtons()[2]->geometry(), QRect(148, 0, 74, 65));
    const QRect icon(21, 3, 32, 32);

    // Flat: no edge, the grey icon.
    EXPECT_EQ(view->State(), kBarFlat);
    QImage image = view->grab().toImage();
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, Sys(plat::COLOR_BTNFACE));
    EXPECT_FALSE(Coloured(image, icon));

    // The mouse over it: raised, the colour icon, one hover report up the chain.
    SendMouse(view, QEvent::MouseMove, {37, 30});
    SendMouse(view, QEvent::MouseMove, {38, 31});
    EXPECT_EQ(view->State(), kBarRaised);
    image = view->grab().toImage();
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, Sys(plat::COLOR_3DHILIGHT));
    EXPECT_EQ(image.pixel(73, 64) & 0xFFFFFF, Sys(plat::COLOR_3DSHADOW));
    EXPECT_TRUE(Coloured(image, icon));
    EXPECT_EQ(up.Count(WM_BAR_HOVER), 1);
    EXPECT_EQ(up.Count(WM_BAR_HOVER, CBarWindow::AsParam(view)), 1);

    // Pressed: sunken, icon and caption 2 pixels down and right.
    SendMouse(view, QEvent::MouseButtonPress, {38, 31}, Qt::LeftButton);
    EXPECT_EQ(view->State(), kBarPressed);
    image = view->grab().toImage();
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, Sys(plat::COLOR_3DSHADOW));
    EXPECT_EQ(image.pixel(73, 64) & 0xFFFFFF, Sys(plat::COLOR_3DHILIGHT));
    SendMouse(view, QEvent::MouseButtonRelease, {38, 31}, Qt::LeftButton);
    EXPECT_EQ(view->State(), kBarRaised);
    ASSERT_TRUE(PumpUntil([&] { return up.Count(plat::WM_COMMAND) == 1; }, 5s));
    EXPECT_EQ(up.Count(plat::WM_COMMAND, ID_FILES_VIEW), 1);

    // Pressed, dragged off and released outside: no command; flat after the next move.
    SendMouse(view, QEvent::MouseButtonPress, {38, 31}, Qt::LeftButton);
    SendMouse(view, QEvent::MouseMove, {120, 31}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(view->State(), kBarFlat);
    SendMouse(view, QEvent::MouseButtonRelease, {120, 31}, Qt::LeftButton);
    SendMouse(view, QEvent::MouseMove, {121, 31});
    PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(up.Count(plat::WM_COMMAND), 1);
    EXPECT_EQ(view->State(), kBarFlat);

    // Told that the mouse left, it reports the next hover again.
    EXPECT_EQ(up.Count(WM_BAR_HOVER, CBarWindow::AsParam(view)), 1);
    view->Handle().SendMessage(WM_BAR_LEAVE);
    SendMouse(view, QEvent::MouseMove, {37, 30});
    EXPECT_EQ(up.Count(WM_BAR_HOVER, CBarWindow::AsParam(view)), 2);
    // Another button taking the mouse: the page tells the first one it left.
    SendMouse(page->ToolButtons()[1], QEvent::MouseMove, {10, 10});
    EXPECT_EQ(view->State(), kBarFlat);
    EXPECT_EQ(page->ToolButtons()[1]->State(), kBarRaised);
}

TEST(BarControlsTest, AHeldArrowRepeatsAndAddsTenOnRelease)
{
    Recorder up;
    QWidget host;
    auto* arrow = new CArrowButton(&host);
    arrow->SetParentHandle(up.handle);
    ASSERT_TRUE(arrow->Create(">", CRect(0, 0, 10, 19), IDC_TOOL_RIGHT, 1));
    host.show();
    // The black triangle.
    const QImage image = arrow->grab().toImage();
    EXPECT_EQ(image.pixel(6, 9) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(4, 7) & 0xFFFFFF, 0u);
    EXPECT_NE(image.pixel(5, 7) & 0xFFFFFF, 0u);

    SendMouse(arrow, QEvent::MouseButtonPress, {5, 9}, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return up.Count(WM_BAR_SCROLL) >= 3; }, 5s));
    SendMouse(arrow, QEvent::MouseButtonRelease, {5, 9}, Qt::LeftButton);
    PumpUntil([] { return false; }, 50ms);
    std::vector<plat::LParam> steps;
    for (const auto& [msg, w, l] : up.messages)
        if (msg == WM_BAR_SCROLL) {
            EXPECT_EQ(w, IDC_TOOL_RIGHT);
            steps.push_back(l);
        }
    ASSERT_GE(steps.size(), 4u);
    for (std::size_t i = 0; i + 1 < steps.size(); ++i)
        EXPECT_EQ(steps[i], plat::LParam(i + 1));
    EXPECT_EQ(steps.back(), 10);

    // Released outside: no last step, and the timer has stopped.
    up.messages.clear();
    SendMouse(arrow, QEvent::MouseButtonPress, {5, 9}, Qt::LeftButton);
    SendMouse(arrow, QEvent::MouseMove, {40, 9}, Qt::NoButton, Qt::LeftButton);
    SendMouse(arrow, QEvent::MouseButtonRelease, {40, 9}, Qt::LeftButton);
    PumpUntil([] { return false; }, 60ms);
    EXPECT_EQ(up.Count(WM_BAR_SCROLL, IDC_TOOL_RIGHT), 0);
}

namespace {

class ShellBarsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dlg = std::make_unique<CQuorvexDlg>();
        plat::SetMainWindow(m_dlg->Handle());
        m_dlg->OnInitDialog();
        m_dlg->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        m_dlg.reset();
        plat::SetMainWindow({});
    }
    CMenuBarButton* MenuButton(int i) const { return m_dlg->MenuPage()->MenuButtons()[i]; }
    static QMenu* OpenPopup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    static QStringList Items(QMenu* menu)
    {
        QStringList items;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                items << a->text();
        return items;
    }
    // Runs step every 10 ms from inside whatever loop runs, until it answers true; closes
    // any popup left open after limit, so no test waits for ever. Stops when the answer
    // goes.
    [[nodiscard]] static std::unique_ptr<QTimer> Drive(std::function<bool()> step,
                                                       std::chrono::milliseconds limit = 10s)
    {
        auto timer = std::make_unique<QTimer>();
        QTimer* t = timer.get();
        const auto end = std::chrono::steady_clock::now() + limit;
        QObject::connect(t, &QTimer::timeout, [t, step, end] {
            const bool late = std::chrono::steady_clock::now() > end;
            if (step() || late) {
                if (late)
                    if (QMenu* menu = OpenPopup())
                        menu->hide();
                t->stop();
            }
        });
        t->start(10);
        return timer;
    }

    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
    std::unique_ptr<CQuorvexDlg> m_dlg;
};

}  // namespace

TEST_F(ShellBarsTest, TheBarsAreBuiltFromTheMenuTables)
{
    QStringList captions;
    for (CMenuBarButton* b : m_dlg->MenuPage()->MenuButtons()) {
        captions << QString::fromStdString(b->Caption());
        const QFontMetrics metrics(m_dlg->MenuPage()->MenuButtons()[0]->font());
        EXPECT_EQ(b->CaptionRect().left, 4);
        EXPECT_EQ(b->width(), b->CaptionRect().right - 4 + 8);
    }
    EXPECT_EQ(captions, QStringList({"File", "Preferences", "?"}));
    std::vector<std::string> texts;
    for (CFlatButton* b : m_dlg->ToolButtons()) {
        texts.push_back(b->Caption());
        EXPECT_EQ(b->width(), m_dlg->Layout().buttonWidth);
        EXPECT_EQ(b->height(), m_dlg->Layout().buttonHeight);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"View", "3D Viewer", "Import Export"}));
    // Frames: the menu bar's at the top, the tool bar's overlapping it by the margin.
    EXPECT_EQ(m_dlg->MenuFrame()->geometry(), QRect(0, 0, m_dlg->width(), m_dlg->Layout().menuFrame.height));
    EXPECT_EQ(m_dlg->ToolFrame()->y(), m_dlg->Layout().toolFrame.top);
    EXPECT_EQ(m_dlg->ToolFrame()->width(), m_dlg->width());
    // The window fits its bars: no arrows.
    EXPECT_FALSE(m_dlg->ToolFrame()->RightArrow()->isVisible());
    EXPECT_FALSE(m_dlg->MenuFrame()->LeftArrow()->isVisible());
    // The etched border: two pixels on every side.
    const QImage frame = m_dlg->ToolFrame()->grab().toImage();
    EXPECT_EQ(frame.pixel(0, 10) & 0xFFFFFF, Sys(plat::COLOR_3DSHADOW));
    EXPECT_EQ(frame.pixel(1, 10) & 0xFFFFFF, Sys(plat::COLOR_3DHILIGHT));
    EXPECT_EQ(frame.pixel(frame.width() - 1, 10) & 0xFFFFFF, Sys(plat::COLOR_3DHILIGHT));
    EXPECT_EQ(frame.pixel(frame.width() - 2, 10) & 0xFFFFFF, Sys(plat::COLOR_3DSHADOW));
}

TEST_F(ShellBarsTest, ACommandFromAToolButtonReachesTheMainWindowThroughTheChain)
{
    plat::ScopedMessageBoxAnswerer ok(plat::IDOK);
    m_dlg->SetProgramFolder("/nonexistent");
    CFlatButton* button = m_dlg->ToolButtons()[1];  // 3D Viewer
    SendMouse(button, QEvent::MouseButtonPress, {30, 30}, Qt::LeftButton);
    SendMouse(button, QEvent::MouseButtonRelease, {30, 30}, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !ok.Calls().empty(); }, 5s));
    EXPECT_EQ(ok.Calls()[0].text, "Unable load 3D Viwer");
}

TEST_F(ShellBarsTest, TheWatchdogFlattensAButtonTheMouseLeftQuickly)
{
    CFlatButton* button = m_dlg->ToolButtons()[0];
    const QPoint centre = button->mapToGlobal(QPoint(37, 30));
    QCursor::setPos(centre);
    if (QCursor::pos() != centre)
        GTEST_SKIP() << "this platform does not move the cursor";
    SendMouse(button, QEvent::MouseMove, {37, 30});
    ASSERT_EQ(button->State(), kBarRaised);
    // Gone without a move over the bars.
    QCursor::setPos(m_dlg->mapToGlobal(QPoint(m_dlg->width() + 300, 600)));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PumpUntil([&] { return button->State() == kBarFlat; }, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

TEST_F(ShellBarsTest, MenuPopupsOpenBelowSlideAndClose)
{
    CMenuBarButton* file = MenuButton(0);
    CMenuBarButton* prefs = MenuButton(1);
    QStringList seen;
    QPoint fileMenuAt;
    int phase = 0;
    auto driver = Drive([&] {
        QMenu* menu = OpenPopup();
        if (phase == 0 && menu && menu->isVisible()) {
            seen << Items(menu).join(',');
            fileMenuAt = menu->pos();
            EXPECT_EQ(file->Flags().state, kBarPressed);
            // Slide onto "Preferences".
            const QPoint over = prefs->mapToGlobal(QPoint(prefs->width() / 2, prefs->height() / 2));
            QMouseEvent move(QEvent::MouseMove, QPointF(menu->mapFromGlobal(over)), QPointF(over), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(menu, &move);
            phase = 1;
        } else if (phase == 1 && menu && menu->isVisible() && Items(menu) == QStringList({"Common"})) {
            seen << Items(menu).join(',');
            EXPECT_EQ(prefs->Flags().state, kBarPressed);
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(menu, &esc);
            phase = 2;
            return true;
        }
        return false;
    });
    SendMouse(file, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return phase == 2 && !OpenPopup() && !CMenuBarButton::Tracking(); }, 10s));
    EXPECT_EQ(seen, QStringList({"Open,3D Viewer,Import / Export,Exit", "Common"}));
    EXPECT_EQ(fileMenuAt, file->mapToGlobal(QPoint(0, file->height())));
    EXPECT_EQ(prefs->Flags().menuOpen, 0);
    EXPECT_NE(prefs->Flags().state, kBarPressed);
    EXPECT_EQ(file->Flags().menuOpen, 0);
}

TEST_F(ShellBarsTest, AClickOnTheOpenPopupsButtonClosesItForGood)
{
    CMenuBarButton* file = MenuButton(0);
    int opened = 0;
    auto driver = Drive([&] {
        QMenu* menu = OpenPopup();
        if (!menu || !menu->isVisible())
            return false;
        ++opened;
        const QPoint over = file->mapToGlobal(QPoint(5, 5));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(menu->mapFromGlobal(over)), QPointF(over), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(menu, &press);
        return true;
    });
    SendMouse(file, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    PumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(OpenPopup(), nullptr);
    EXPECT_EQ(file->Flags().menuOpen, 0);
    EXPECT_EQ(file->Flags().closedByClick, 0);  // used by the press that closed it

    // The next click opens it again.
    bool again = false;
    auto reopen = Drive([&] {
        QMenu* menu = OpenPopup();
        if (!menu || !menu->isVisible())
            return false;
        again = true;
        menu->hide();
        return true;
    });
    SendMouse(file, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton);
    SendMouse(file, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_TRUE(again);
}

TEST_F(ShellBarsTest, ExitFromTheFilePopupEndsTheWindow)
{
    CMenuBarButton* file = MenuButton(0);
    auto driver = Drive([&] {
        QMenu* menu = OpenPopup();
        if (!menu || !menu->isVisible())
            return false;
        for (QAction* a : menu->actions())
            if (a->text() == "Exit")
                menu->setActiveAction(a);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(menu, &enter);
        return true;
    });
    SendMouse(file, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !m_dlg->isVisible(); }, 10s));
    EXPECT_EQ(m_dlg->result(), int(QDialog::Accepted));
}

TEST_F(ShellBarsTest, ANarrowWindowShowsTheRightArrowAndHoldingItScrolls)
{
    m_dlg->resize(120, m_dlg->height());
    QApplication::processEvents();
    CBarFrame* frame = m_dlg->ToolFrame();
    ASSERT_EQ(frame->width(), 120);
    EXPECT_TRUE(frame->RightArrow()->isVisible());
    EXPECT_FALSE(frame->LeftArrow()->isVisible());
    EXPECT_EQ(frame->RightArrow()->geometry(), QRect(120 - 2 - 10, 2, 10, frame->height() - 4));
    // The page is clipped short of the arrow.
    const QRegion mask = frame->Page()->mask();
    EXPECT_EQ(mask.boundingRect(), QRect(0, 0, 120 - 4 - 10, frame->height() - 4));

    CArrowButton* right = frame->RightArrow();
    SendMouse(right, QEvent::MouseButtonPress, {5, 10}, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return frame->Scroll().rightHidden; }, 10s));
    SendMouse(right, QEvent::MouseButtonRelease, {5, 10}, Qt::LeftButton);
    PumpUntil([] { return false; }, 50ms);
    EXPECT_EQ(frame->Page()->x() + frame->Page()->width(), 120 - 2);
    EXPECT_TRUE(frame->LeftArrow()->isVisible());
    EXPECT_FALSE(frame->RightArrow()->isVisible());

    // Back with the left arrow until the page sits at the margin again.
    CArrowButton* left = frame->LeftArrow();
    SendMouse(left, QEvent::MouseButtonPress, {5, 10}, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return frame->Scroll().leftHidden; }, 10s));
    SendMouse(left, QEvent::MouseButtonRelease, {5, 10}, Qt::LeftButton);
    EXPECT_EQ(frame->Page()->x(), 2);

    // Wide again: no arrows.
    m_dlg->resize(m_dlg->Layout().windowWidth + 50, m_dlg->height());
    QApplication::processEvents();
    EXPECT_FALSE(frame->RightArrow()->isVisible());
    EXPECT_FALSE(frame->LeftArrow()->isVisible());
}
