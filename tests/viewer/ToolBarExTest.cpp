#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <chrono>
#include <map>

#include "platform/windows/BarResources.h"
#include "PumpUntil.h"
#include "platform/paint/SysColors.h"
#include "bars/ToolBarEx.h"
#include "bars/ViewerBars.h"

namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;

QColor Sys(int index)
{
    const plat::ColorRef c = plat::GetSysColor(index);
    return QColor(int(plat::GetRValue(c)), int(plat::GetGValue(c)), int(plat::GetBValue(c)));
}

class FlatToolBar : public testing::Test {
protected:
    void SetUp() override
    {
        bar = new CToolBarEx(&owner);
        ASSERT_TRUE(bar->LoadToolBar(IDR_VIEWER_TOOLBAR, {}));
        owner.addToolBar(Qt::TopToolBarArea, bar);
        owner.resize(500, 200);
        owner.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
        strip =
            plat::ToolBarStrip(*plat::FindToolBar(IDR_VIEWER_TOOLBAR)).toImage().convertToFormat(QImage::Format_ARGB32);
    }

    int Index(unsigned id) const
    {
        for (int i = 0; i < bar->ButtonCount(); ++i)
            if (bar->ButtonId(i) == id)
                return i;
        return -1;
    }
    QImage Grab() const { return bar->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QColor At(const QImage& image, QPoint p) const { return QColor(image.pixel(p)); }
    // Whether button index's image lies shift pixels right and down of its unpressed place.
    bool ImageAt(const QImage& image, int index, int shift) const
    {
        const QRect r = bar->ButtonRect(index);
        const int x0 = r.left() + (r.width() - 16) / 2 + shift, y0 = r.top() + (r.height() - 15) / 2 + shift;
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 16; ++x) {
                const QRgb want = strip.pixel(index * 16 + x, y);
                if (qAlpha(want) == 255 && image.pixel(x0 + x, y0 + y) != (want | 0xFF000000u))
                    return false;
            }
        return true;
    }
    void MoveOff() { QTest::mouseMove(&owner, QPoint(250, 150)); }

    QMainWindow owner;
    CToolBarEx* bar = nullptr;
    QImage strip;
    const QColor face = Sys(plat::COLOR_3DFACE), light = Sys(plat::COLOR_3DHILIGHT), dark = Sys(plat::COLOR_3DSHADOW);
};

TEST_F(FlatToolBar, ButtonsFromTheResource)
{
    ASSERT_EQ(bar->ButtonCount(), 14);
    EXPECT_EQ(bar->ButtonId(0), unsigned(ID_BUTTON_LOAD));
    EXPECT_EQ(bar->ButtonId(13), unsigned(ID_BUTTON_ADJUST));
    EXPECT_EQ(bar->ButtonRect(0).size(), QSize(23, 21));
    EXPECT_EQ(bar->ButtonAction(4)->toolTip(), "Zoom in");
    EXPECT_FALSE(bar->isMovable());
    EXPECT_FALSE(bar->isFloatable());
    EXPECT_GE(bar->ButtonRect(0).left(), 10);  // room for the double gripper
    const QImage image = Grab();
    for (int i = 0; i < 14; ++i)
        EXPECT_TRUE(ImageAt(image, i, 0)) << i;
    EXPECT_FALSE(CToolBarEx(nullptr).LoadToolBar(4711, {}));
}

TEST_F(FlatToolBar, HoverFramesEnabledButtonsOnlyAndLeavingClearsIt)
{
    const int centre = Index(ID_BUTTON_ARROW), close = Index(ID_BUTTON_CLOSE);
    bar->ButtonAction(close)->setEnabled(false);
    QApplication::processEvents();

    QTest::mouseMove(bar, bar->ButtonRect(centre).center());
    EXPECT_EQ(bar->HotButton(), centre);
    QImage image = Grab();
    const QRect r = bar->ButtonRect(centre);
    EXPECT_EQ(At(image, r.topLeft()), light);
    EXPECT_EQ(At(image, r.bottomRight()), dark);

    // A disabled button: no frame, not hot, not repainted, and embossed instead of its picture.
    MoveOff();
    QApplication::processEvents();
    std::map<unsigned, int> painted;
    bar->SetCustomDraw([&](const CToolBarCustomDraw& cd) -> unsigned {
        if (cd.drawStage == CDDS_ITEMPREPAINT)
            ++painted[cd.itemSpec];
        return CDRF_NOTIFYITEMDRAW;
    });
    QTest::mouseMove(bar, bar->ButtonRect(close).center());
    EXPECT_EQ(bar->HotButton(), -1);
    QApplication::processEvents();
    EXPECT_EQ(painted.count(ID_BUTTON_CLOSE), 0u);
    image = Grab();
    const QRect d = bar->ButtonRect(close);
    EXPECT_EQ(At(image, d.topLeft()), face);
    EXPECT_EQ(At(image, d.bottomRight() - QPoint(0, 0)), face);
    EXPECT_EQ(At(image, r.topLeft()), face);  // the old frame is gone
    EXPECT_FALSE(ImageAt(image, close, 0));
    int embossed = 0;
    for (int y = d.top(); y < d.bottom(); ++y)
        for (int x = d.left(); x < d.right(); ++x)
            embossed += At(image, {x, y}) == dark && At(image, {x + 1, y + 1}) == light;
    EXPECT_GT(embossed, 5);

    QTest::mouseMove(bar, bar->ButtonRect(centre).center());
    ASSERT_EQ(bar->HotButton(), centre);
    MoveOff();
    EXPECT_TRUE(PumpUntil([&] { return bar->HotButton() == -1 && At(Grab(), r.topLeft()) == face; }, 250ms));
}

TEST_F(FlatToolBar, CheckedButtonAwayFromAndUnderTheMouse)
{
    const int zoom = Index(ID_BUTTON_PLUS);
    plat::CheckCommand(bar, ID_BUTTON_PLUS, true);
    const QRect r = bar->ButtonRect(zoom);
    QColor lightFill = Sys(plat::COLOR_3DLIGHT);
    if (lightFill == face)
        lightFill = light;

    MoveOff();
    QImage image = Grab();
    EXPECT_EQ(At(image, r.topLeft()), dark);  // sunken
    EXPECT_EQ(At(image, r.bottomRight()), light);
    EXPECT_EQ(At(image, r.topLeft() + QPoint(1, 1)), face);  // the face frame inside
    EXPECT_EQ(At(image, r.topLeft() + QPoint(2, 2)), lightFill);
    EXPECT_TRUE(ImageAt(image, zoom, 2));

    QTest::mouseMove(bar, r.center());
    image = Grab();
    EXPECT_EQ(At(image, r.topLeft()), dark);
    EXPECT_EQ(At(image, r.topLeft() + QPoint(1, 1)), face);
    EXPECT_EQ(At(image, r.topLeft() + QPoint(2, 2)), face);
    EXPECT_TRUE(ImageAt(image, zoom, 1));
}

TEST_F(FlatToolBar, OwnerCanSkipAButtonAndIsToldEveryStage)
{
    std::map<unsigned, int> stages;
    std::map<unsigned, unsigned> states;
    int skips = 0;
    bar->SetCustomDraw([&](const CToolBarCustomDraw& cd) -> unsigned {
        ++stages[cd.drawStage];
        EXPECT_EQ(cd.owner, &owner);
        if (cd.drawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        if (cd.drawStage == CDDS_ITEMPREPAINT) {
            states[cd.itemSpec] = cd.itemState;
            EXPECT_EQ(cd.rc, bar->ButtonRect(Index(cd.itemSpec)));
            skips += cd.itemSpec == ID_BUTTON_MINUS;
            return cd.itemSpec == ID_BUTTON_MINUS ? CDRF_SKIPDEFAULT : CDRF_NOTIFYPOSTPAINT;
        }
        return CDRF_DODEFAULT;
    });
    bar->ButtonAction(Index(ID_BUTTON_HIST))->setEnabled(false);
    plat::CheckCommand(bar, ID_BUTTON_MARK, true);
    const QImage image = Grab();

    EXPECT_FALSE(ImageAt(image, Index(ID_BUTTON_MINUS), 0));
    const QRect skipped = bar->ButtonRect(Index(ID_BUTTON_MINUS));
    for (int y = skipped.top(); y <= skipped.bottom(); ++y)
        for (int x = skipped.left(); x <= skipped.right(); ++x)
            ASSERT_EQ(At(image, {x, y}), face) << x << "," << y;
    EXPECT_TRUE(ImageAt(image, Index(ID_BUTTON_PLUS), 0));
    EXPECT_TRUE(ImageAt(image, Index(ID_BUTTON_ADJUST), 0));

    EXPECT_EQ(states[ID_BUTTON_HIST], unsigned(CDIS_DISABLED));
    EXPECT_EQ(states[ID_BUTTON_MARK], unsigned(CDIS_CHECKED));
    EXPECT_EQ(states[ID_BUTTON_LOAD], 0u);
    EXPECT_GE(stages[CDDS_PREPAINT], 1);
    EXPECT_EQ(stages[CDDS_POSTPAINT], stages[CDDS_PREPAINT]);
    EXPECT_GE(skips, 1);
    EXPECT_EQ(stages[CDDS_ITEMPOSTPAINT], stages[CDDS_ITEMPREPAINT] - skips);  // all but the skipped
}

TEST_F(FlatToolBar, UpdateRepaintsOnlyChangedButtons)
{
    std::map<unsigned, int> painted;
    bar->SetCustomDraw([&](const CToolBarCustomDraw& cd) -> unsigned {
        if (cd.drawStage == CDDS_ITEMPREPAINT)
            ++painted[cd.itemSpec];
        return CDRF_NOTIFYITEMDRAW;
    });
    bar->update();
    ASSERT_TRUE(PumpUntil([&] { return !painted.empty(); }, 2s));
    QApplication::processEvents();
    painted.clear();

    const auto same = [](plat::CmdUI&) {};
    bar->OnUpdateCmdUI(same);
    QApplication::processEvents();
    EXPECT_TRUE(painted.empty());

    bar->OnUpdateCmdUI([](plat::CmdUI& ui) {
        if (ui.id == ID_BUTTON_HIST)
            ui.enabled = false;
    });
    ASSERT_TRUE(PumpUntil([&] { return !painted.empty(); }, 2s));
    QApplication::processEvents();
    EXPECT_EQ(painted.size(), 1u);
    EXPECT_EQ(painted.count(ID_BUTTON_HIST), 1u);
    EXPECT_FALSE(bar->ButtonAction(Index(ID_BUTTON_HIST))->isEnabled());
}

}  // namespace
