// Check boxes, lists with their items, size grips, growing dialogs, show notices and the
// mouse of owner-drawn controls.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSizeGrip>
#include <tuple>
#include <vector>

#include "platform/dialogs/CustomControl.h"
#include "platform/dialogs/Dialog.h"

namespace {

using plat::ControlKind;

const plat::ControlTemplate kRows[] = {
    {30, ControlKind::CheckBox, 4, 4, 50, 10, "Fill", plat::CS_NONE},
    {31, ControlKind::DropDownList, 4, 18, 70, 50, "Один\nДва\nThree", plat::CS_NONE},
    {plat::IDC_STATIC, ControlKind::GroupBox, 2, 2, 100, 40, "Frame", plat::CS_NONE},
    {32, ControlKind::SizeGrip, 105, 68, 15, 12, nullptr, plat::CS_NONE},
    {33, ControlKind::Edit, 4, 50, 60, 14, "", plat::CS_READONLY},
};
const plat::DialogTemplate kTemplate = {902, "Grow", "MS Sans Serif", 8, 120, 80, kRows, std::size(kRows)};

TEST(DialogControls, CheckBoxListItemsGripAndFrame)
{
    plat::Dialog dlg(kTemplate);
    const plat::DialogBaseUnits u = dlg.BaseUnits();
    auto* fill = dlg.ControlAs<QCheckBox>(30);
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(dlg.ControlText(30), "Fill");
    std::vector<bool> seen;
    dlg.OnClicked(30, [&] { seen.push_back(fill->isChecked()); });
    fill->click();
    fill->click();
    // An automatic check box turns itself on and off before its owner hears of it.
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));

    auto* list = dlg.ControlAs<QComboBox>(31);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0).toStdString(), "Один");
    EXPECT_EQ(list->itemText(1).toStdString(), "Два");
    EXPECT_EQ(list->itemText(2).toStdString(), "Three");
    EXPECT_EQ(list->currentIndex(), 0);

    auto* grip = dlg.ControlAs<QSizeGrip>(32);
    ASSERT_NE(grip, nullptr);
    EXPECT_EQ(grip->geometry(), QRect(u.ToPixelsX(105), u.ToPixelsY(68), u.ToPixelsX(15), u.ToPixelsY(12)));

    // Clicks over a frame reach the controls it groups, wherever it lies in the order.
    auto* frame = dlg.findChild<QGroupBox*>();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(dlg.childAt(fill->geometry().center()), fill);
    EXPECT_TRUE(dlg.ControlAs<QLineEdit>(33)->isReadOnly());
}

TEST(DialogControls, AGrowingDialogNeverShrinksBelowItsBuiltSize)
{
    plat::Dialog dlg(kTemplate);
    const QSize built = dlg.size();
    std::vector<QSize> sizes;
    std::vector<bool> shows;
    dlg.SetSizeHandler([&](int cx, int cy) { sizes.emplace_back(cx, cy); });
    dlg.SetShowHandler([&](bool shown) { shows.push_back(shown); });
    dlg.AllowGrowth();
    EXPECT_EQ(dlg.minimumSize(), built);
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
    dlg.show();
    dlg.resize(built.width() + 40, built.height() + 25);
    EXPECT_EQ(dlg.size(), QSize(built.width() + 40, built.height() + 25));
    dlg.resize(built.width() - 30, built.height() - 30);
    EXPECT_EQ(dlg.size(), built);
    QCoreApplication::processEvents();
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back(), built);
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), QSize(built.width() + 40, built.height() + 25)), sizes.end());
    dlg.hide();
    EXPECT_EQ(shows, (std::vector<bool>{true, false}));

    // Without growth the dialog keeps its size.
    plat::Dialog fixed(kTemplate);
    fixed.resize(built.width() + 40, built.height());
    EXPECT_EQ(fixed.size(), built);
}

TEST(CustomControl, MouseReachesTheOwnerInClientCoordinates)
{
    QWidget parent;
    plat::CustomControl control(&parent);
    control.setFrameStyle(QFrame::Box | QFrame::Plain);
    control.setLineWidth(2);
    control.setGeometry(10, 10, 100, 60);
    using Action = plat::CustomControl::MouseAction;
    std::vector<std::tuple<Action, int, int>> log;
    control.SetMouseHandler([&](Action a, int x, int y) { log.emplace_back(a, x, y); });
    EXPECT_TRUE(control.hasMouseTracking());

    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), QPointF(control.mapToGlobal(at)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&control, &event);
    };
    send(QEvent::MouseButtonPress, {12, 7}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {150, -20}, Qt::NoButton, Qt::LeftButton);  // dragged outside
    send(QEvent::MouseButtonRelease, {150, -20}, Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, {20, 20}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::NoButton);
    const std::vector<std::tuple<Action, int, int>> expected = {
        {Action::LeftDown, 10, 5}, {Action::Move, 148, -22}, {Action::LeftUp, 148, -22}, {Action::Move, 28, 28}};
    EXPECT_EQ(log, expected);

    control.SetMouseHandler(nullptr);
    EXPECT_FALSE(control.hasMouseTracking());
    send(QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(log.size(), expected.size());
}

}  // namespace
