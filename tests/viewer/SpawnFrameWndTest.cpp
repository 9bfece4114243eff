#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <vector>

#include "platform/windows/BarResources.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "bars/SpawnFrameWnd.h"
#include "bars/ViewerBars.h"

namespace {

using namespace std::chrono_literals;
using plat::MF_POPUP;
using testsupport::PumpUntil;

const plat::MenuEntry kRows[] = {
    {0, 0, "&File", MF_POPUP}, {1, ID_MENU_OPEN, "&Open"},
    {1, 9101, "&Alpha"},       {1, 0, nullptr},
    {1, 9102, "An&other"},     {1, 9103, "&Again"},
    {0, 0, "&Zoom", MF_POPUP}, {1, ID_MENU_ZOOM_IN, "Zoom &in"},
    {0, 0, "&Help", MF_POPUP}, {1, ID_MENU_HELP, "Help inquiry"},
};
const plat::MenuResource kMenu{9950, kRows, std::size(kRows)};

class TestFrame final : public CSpawnFrameWnd {
public:
    std::vector<unsigned> commands;

protected:
    void OnCommand(unsigned id) override { commands.push_back(id); }
};

class SpawnFrame : public testing::Test {
protected:
    void SetUp() override
    {
        plat::RegisterMenu("TestSpawnFrame", kMenu);
        frame.MenuPainter().LoadToolbarImages(IDR_MENU_IMAGES);
        ASSERT_TRUE(frame.LoadMenu(9950));
        frame.resize(400, 200);
        frame.show();
        QApplication::setActiveWindow(&frame);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        bar = frame.menuBar();
    }
    void TearDown() override
    {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        plat::UnregisterMenu(kMenu);
    }

    QAction* Title(int i) const { return bar->actions()[i]; }
    QRect TitleRect(int i) const { return bar->actionGeometry(Title(i)); }
    QImage GrabBar() const { return bar->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // Top-left and bottom-right corners of a title's rectangle in the grabbed bar.
    std::pair<QColor, QColor> Corners(const QImage& image, int i) const
    {
        const QRect r = TitleRect(i);
        return {QColor(image.pixel(r.topLeft())), QColor(image.pixel(r.bottomRight()))};
    }
    QMenu* Popup(int i) const { return Title(i)->menu(); }

    TestFrame frame;
    QMenuBar* bar = nullptr;
};

TEST_F(SpawnFrame, HoveredTitlesAreFramedOneAtATime)
{
    const CBitmapMenu& painter = frame.MenuPainter();
    const std::pair raised{painter.LightColor(), painter.DarkColor()};
    const std::pair flat{painter.MenuColor(), painter.MenuColor()};
    for (int hovered = 0; hovered < 3; ++hovered) {
        QTest::mouseMove(bar, TitleRect(hovered).center());
        EXPECT_EQ(frame.HotRect(), TitleRect(hovered));
        const QImage image = GrabBar();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Corners(image, i), i == hovered ? raised : flat) << hovered << " " << i;
    }

    // Off the bar: the frame goes at once, well within 100 ms.
    QTest::mouseMove(frame.centralWidget() ? frame.centralWidget() : static_cast<QWidget*>(&frame), QPoint(200, 150));
    const auto wiped = [&] { return frame.HotRect().isEmpty() && Corners(GrabBar(), 2) == flat; };
    EXPECT_TRUE(PumpUntil(wiped, 100ms));
}

TEST_F(SpawnFrame, OpeningAMenuWipesTheFrameAndSinksItsTitle)
{
    const CBitmapMenu& painter = frame.MenuPainter();
    QTest::mouseMove(bar, TitleRect(1).center());
    ASSERT_FALSE(frame.HotRect().isEmpty());

    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, TitleRect(1).center());
    ASSERT_TRUE(PumpUntil([&] { return Popup(1)->isVisible(); }, 2s));
    EXPECT_TRUE(frame.InMenuLoop());
    EXPECT_TRUE(frame.HotRect().isEmpty());
    QTest::mouseMove(bar, TitleRect(0).center() + QPoint(1, 0));
    EXPECT_TRUE(frame.HotRect().isEmpty());  // no frame while a menu is open
    const QImage image = GrabBar();
    const int open = bar->actions().indexOf(bar->activeAction());
    ASSERT_GE(open, 0);
    EXPECT_EQ(Corners(image, open), std::pair(painter.DarkColor(), painter.LightColor()));

    Popup(open)->close();
    EXPECT_TRUE(PumpUntil([&] { return !frame.InMenuLoop(); }, 2s));
}

TEST_F(SpawnFrame, TitleNotOwnerDrawnGetsNoFrame)
{
    QAction* late = bar->addMenu(QStringLiteral("&Late"))->menuAction();
    QApplication::processEvents();
    QTest::mouseMove(bar, bar->actionGeometry(late).center());
    EXPECT_TRUE(frame.HotRect().isEmpty());
    QTest::mouseMove(bar, TitleRect(0).center());
    EXPECT_EQ(frame.HotRect(), TitleRect(0));
}

TEST_F(SpawnFrame, AltLetterOpensItsMenu)
{
    QTest::keyClick(&frame, Qt::Key_Z, Qt::AltModifier);
    EXPECT_TRUE(PumpUntil([&] { return Popup(1)->isVisible(); }, 2s));
    EXPECT_FALSE(Popup(0)->isVisible());
}

TEST_F(SpawnFrame, LettersInAnOpenMenu)
{
    struct Case {
        Qt::Key key;
        std::vector<unsigned> ran;  // empty: the menu stays open
    } cases[] = {
        {Qt::Key_Q, {}},      // no item and no title is marked q
        {Qt::Key_A, {9103}},  // "&Alpha" and "&Again": the lower one
        {Qt::Key_T, {}},      // "An&other" marks o, not t
        {Qt::Key_O, {9102}},  // "&Open" and "An&other"
        {Qt::Key_Z, {}},      // a title's letter does not run an item
    };
    for (const Case& c : cases) {
        frame.commands.clear();
        Popup(0)->popup(bar->mapToGlobal(TitleRect(0).bottomLeft()));
        ASSERT_TRUE(PumpUntil([&] { return Popup(0)->isVisible(); }, 2s));
        QTest::keyClick(Popup(0), c.key);
        QApplication::processEvents();
        EXPECT_EQ(frame.commands, c.ran) << c.key;
        EXPECT_EQ(Popup(0)->isVisible(), c.ran.empty()) << c.key;
        Popup(0)->close();
        ASSERT_TRUE(PumpUntil([&] { return !Popup(0)->isVisible(); }, 2s));
    }
}

TEST_F(SpawnFrame, MenusAskTheUpdateHandlerWhenTheyOpen)
{
    std::vector<unsigned> asked;
    frame.SetUpdateHandler([&](plat::CmdUI& ui) {
        asked.push_back(ui.id);
        ui.enabled = ui.id != 9103;
    });
    Popup(0)->popup(bar->mapToGlobal(TitleRect(0).bottomLeft()));
    ASSERT_TRUE(PumpUntil([&] { return Popup(0)->isVisible(); }, 2s));
    EXPECT_EQ(asked, (std::vector<unsigned>{9103, 9102, 9101, ID_MENU_OPEN}));
    EXPECT_FALSE(Popup(0)->actions()[4]->isEnabled());

    // The letter picks "&Again", the lower item, which is disabled: nothing runs, the
    // menu stays.
    frame.commands.clear();
    QTest::keyClick(Popup(0), Qt::Key_A);
    QApplication::processEvents();
    EXPECT_TRUE(frame.commands.empty());
    EXPECT_TRUE(Popup(0)->isVisible());
}

TEST_F(SpawnFrame, ContextMenuAnswersTheCommandChosenByLetter)
{
    QMenu context;
    plat::BuildPopupMenu(&context, kMenu, 1, [&](unsigned id) { frame.commands.push_back(id); });
    EXPECT_EQ(testsupport::RunModal([&] { return context.isVisible(); },
                                    {testsupport::Once([&] { QTest::keyClick(&context, Qt::Key_I); })},
                                    [&] { return frame.TrackPopupMenu(&context, frame.mapToGlobal(QPoint(50, 80))); }),
              unsigned(ID_MENU_ZOOM_IN));
    EXPECT_EQ(frame.commands, std::vector<unsigned>{ID_MENU_ZOOM_IN});
    ASSERT_NE(CBitmapMenu::ItemOf(context.actions()[0]), nullptr);  // drawn by the frame's painter
    EXPECT_EQ(CBitmapMenu::ItemOf(context.actions()[0])->image, frame.MenuPainter().FindImage(ID_MENU_ZOOM_IN));
}

}  // namespace
