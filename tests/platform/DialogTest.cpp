#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "platform/dialogs/CustomControl.h"
#include "platform/dialogs/Dialog.h"

namespace {

using plat::ControlKind;

const plat::ControlTemplate kRows[] = {
    {10, ControlKind::PushButton, 4, 8, 40, 14, "Go", plat::CS_NONE},
    {11, ControlKind::Static, 8, 24, 60, 12, "line", plat::CS_SUNKEN},
    {12, ControlKind::ProgressBar, 8, 40, 80, 10, nullptr, plat::CS_BORDER},
    {13, ControlKind::PushButton, 50, 8, 40, 14, "Later", plat::CS_HIDDEN},
};
const plat::DialogTemplate kTemplate = {900, "Title", "MS Sans Serif", 8, 100, 60, kRows, std::size(kRows)};

TEST(DialogBaseUnits, ComeFromTheFontMetrics)
{
    QFont font("MS Sans Serif", 8);
    plat::DialogBaseUnits u = plat::DialogBaseUnits::ForFont(font);
    QFontMetrics fm(font);
    EXPECT_GT(u.x, 0);
    EXPECT_EQ(u.y, fm.height());
    int avg = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_NEAR(u.x, avg / 52.0, 0.51);
    EXPECT_EQ(u.ToPixelsX(4), u.x);
    EXPECT_EQ(u.ToPixelsY(8), u.y);
    EXPECT_EQ(u.ToPixelsX(0), 0);
}

TEST(Dialog, BuildsTheControlsOfItsTemplate)
{
    plat::Dialog dlg(kTemplate);
    plat::DialogBaseUnits u = dlg.BaseUnits();
    EXPECT_EQ(dlg.windowTitle(), "Title");
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.width(), u.ToPixelsX(100));
    EXPECT_EQ(dlg.height(), u.ToPixelsY(60));

    struct Case {
        unsigned id;
        const char* text;
        bool hidden;
    } cases[] = {{10, "Go", false}, {11, "line", false}, {12, "", false}, {13, "Later", true}};
    for (const Case& c : cases) {
        QWidget* w = dlg.Control(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        const plat::ControlTemplate& row =
            *std::find_if(std::begin(kRows), std::end(kRows), [&](const auto& r) { return r.id == c.id; });
        EXPECT_EQ(w->geometry(),
                  QRect(u.ToPixelsX(row.x), u.ToPixelsY(row.y), u.ToPixelsX(row.cx), u.ToPixelsY(row.cy)))
            << c.id;
        EXPECT_EQ(dlg.ControlText(c.id), c.text) << c.id;
        EXPECT_EQ(w->isHidden(), c.hidden) << c.id;
    }
    EXPECT_NE(dlg.ControlAs<QPushButton>(10), nullptr);
    EXPECT_NE(dlg.ControlAs<QLabel>(11), nullptr);
    EXPECT_NE(dlg.ControlAs<plat::CustomControl>(12), nullptr);
    EXPECT_EQ(dlg.Control(99), nullptr);
    EXPECT_EQ(dlg.ControlText(99), "");

    dlg.SetControlText(11, "new text");
    EXPECT_EQ(dlg.ControlText(11), "new text");
    dlg.ShowControl(13, plat::SW_SHOW);
    dlg.ShowControl(10, plat::SW_HIDE);
    EXPECT_FALSE(dlg.Control(13)->isHidden());
    EXPECT_TRUE(dlg.Control(10)->isHidden());
}

TEST(Dialog, RoutesClicksKeysAndTheCloseBox)
{
    plat::Dialog dlg(kTemplate);
    dlg.show();
    std::vector<std::string> log;
    dlg.OnClicked(10, [&] { log.push_back("go"); });
    dlg.SetOkHandler([&] { log.push_back("ok"); });
    dlg.SetCancelHandler([&] { log.push_back("cancel"); });

    dlg.ControlAs<QPushButton>(10)->click();
    dlg.ControlAs<QPushButton>(13)->click();  // no handler: nothing happens
    dlg.ControlAs<QPushButton>(10)->setFocus();
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg.focusWidget() ? dlg.focusWidget() : &dlg, &press);
    }
    dlg.close();
    EXPECT_EQ(log, (std::vector<std::string>{"go", "ok", "cancel", "cancel"}));
    EXPECT_TRUE(dlg.isVisible());
}

TEST(Dialog, WithoutHandlersEscapeHides)
{
    plat::Dialog dlg(kTemplate);
    dlg.show();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg, &press);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(Dialog, DestroyWindowEndsHandleAndHandlersAtOnce)
{
    auto* dlg = new plat::Dialog(kTemplate);
    int messages = 0, clicks = 0;
    dlg->SetMessageHandler([&](unsigned, plat::WParam, plat::LParam) -> plat::LResult { return ++messages; });
    dlg->OnClicked(10, [&] { ++clicks; });
    plat::WindowHandle h = dlg->Handle();
    EXPECT_EQ(h.SendMessage(plat::WM_USER + 1), 1);
    QPointer<plat::Dialog> alive = dlg;

    dlg->DestroyWindow();
    EXPECT_FALSE(h.IsWindow());
    EXPECT_EQ(h.SendMessage(plat::WM_USER + 1), 0);
    dlg->ControlAs<QPushButton>(10)->click();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(messages, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

const plat::ControlTemplate kFormRows[] = {
    {20, ControlKind::Edit, 4, 4, 60, 12, "typed", plat::CS_NONE},
    {21, ControlKind::Edit, 4, 18, 60, 12, "fixed", plat::CS_READONLY | plat::CS_NOBORDER},
    {plat::IDC_STATIC, ControlKind::GroupBox, 70, 4, 80, 40, "Mode", plat::CS_NONE},
    {22, ControlKind::RadioButton, 74, 14, 60, 10, "A", plat::CS_GROUP},
    {23, ControlKind::RadioButton, 74, 26, 60, 10, "B", plat::CS_NONE},
    {24, ControlKind::RadioButton, 74, 38, 60, 10, "C", plat::CS_GROUP},
    {25, ControlKind::DropDownList, 4, 34, 60, 60, nullptr, plat::CS_DISABLED},
    {26, ControlKind::TabControl, 4, 50, 100, 40, nullptr, plat::CS_NONE},
    {27, ControlKind::Static, 110, 50, 30, 20, nullptr, plat::CS_NONE},
    {28, ControlKind::IconButton, 110, 74, 14, 14, nullptr, plat::CS_NONE},
};
const plat::DialogTemplate kFormTemplate = {901, "Form", "MS Sans Serif", 8, 160, 100, kFormRows, std::size(kFormRows)};

TEST(Dialog, BuildsEditsRadiosListsTabsAndGroups)
{
    plat::Dialog dlg(kFormTemplate);
    const plat::DialogBaseUnits u = dlg.BaseUnits();
    ASSERT_NE(dlg.ControlAs<QLineEdit>(20), nullptr);
    EXPECT_FALSE(dlg.ControlAs<QLineEdit>(20)->isReadOnly());
    EXPECT_TRUE(dlg.ControlAs<QLineEdit>(21)->isReadOnly());
    EXPECT_FALSE(dlg.ControlAs<QLineEdit>(21)->hasFrame());
    EXPECT_EQ(dlg.ControlText(21), "fixed");
    EXPECT_EQ(dlg.ControlText(plat::IDC_STATIC), "Mode");
    EXPECT_EQ(dlg.ControlText(23), "B");
    ASSERT_NE(dlg.ControlAs<QComboBox>(25), nullptr);
    EXPECT_FALSE(dlg.Control(25)->isEnabled());
    // The list box is one line high; its template height is the dropped list's.
    EXPECT_LT(dlg.Control(25)->height(), u.ToPixelsY(60));
    EXPECT_NE(dlg.ControlAs<QTabWidget>(26), nullptr);
    EXPECT_NE(dlg.ControlAs<QPushButton>(28), nullptr);

    // A and B exclude each other; C is a group of its own.
    dlg.ControlAs<QRadioButton>(22)->click();
    dlg.ControlAs<QRadioButton>(24)->click();
    EXPECT_TRUE(dlg.ControlAs<QRadioButton>(22)->isChecked());
    dlg.ControlAs<QRadioButton>(23)->click();
    EXPECT_FALSE(dlg.ControlAs<QRadioButton>(22)->isChecked());
    EXPECT_TRUE(dlg.ControlAs<QRadioButton>(24)->isChecked());
}

TEST(Dialog, RoutesChangesSelectionsAndRadioClicks)
{
    plat::Dialog dlg(kFormTemplate);
    std::vector<std::string> log;
    dlg.OnChanged(20, [&] { log.push_back("changed " + dlg.ControlText(20)); });
    dlg.OnSelChange(25, [&] { log.push_back("list " + std::to_string(dlg.ControlAs<QComboBox>(25)->currentIndex())); });
    dlg.OnSelChange(26, [&] { log.push_back("tab " + std::to_string(dlg.ControlAs<QTabWidget>(26)->currentIndex())); });
    dlg.OnClicked(23, [&] { log.push_back("radio"); });

    dlg.SetControlText(20, "x");
    dlg.ControlAs<QLineEdit>(20)->end(false);
    dlg.ControlAs<QLineEdit>(20)->insert("y");
    auto* list = dlg.ControlAs<QComboBox>(25);
    list->addItems({"a", "b"});
    list->setCurrentIndex(0);  // the program's choice is no notice
    emit list->activated(1);
    auto* tabs = dlg.ControlAs<QTabWidget>(26);
    tabs->addTab(new QWidget, "one");
    tabs->addTab(new QWidget, "two");
    tabs->setCurrentIndex(1);
    dlg.ControlAs<QRadioButton>(23)->click();
    EXPECT_EQ(log, (std::vector<std::string>{"changed x", "changed xy", "list 0", "tab 0", "tab 1", "radio"}));
}

TEST(Dialog, AControlTakesOverAStaticsPlace)
{
    plat::Dialog dlg(kFormTemplate);
    QPointer<QWidget> old = dlg.Control(27);
    const QRect place = old->geometry();
    auto* edit = new QLineEdit;
    dlg.ReplaceControl(27, edit);
    EXPECT_EQ(dlg.Control(27), edit);
    EXPECT_EQ(edit->parentWidget(), &dlg);
    EXPECT_EQ(edit->geometry(), place);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    delete edit;  // a control that goes is found no more
    EXPECT_EQ(dlg.Control(27), nullptr);
    dlg.ReplaceControl(27, new QLineEdit);
}

TEST(Dialog, GrowingAPlaceholderMovesWhatLiesRightAndBelow)
{
    plat::Dialog dlg(kFormTemplate);
    const QSize size = dlg.size();
    const QRect place = dlg.Control(20)->geometry(), right = dlg.Control(22)->geometry(),
                below = dlg.Control(25)->geometry(), belowRight = dlg.Control(27)->geometry();
    dlg.GrowControl(20, place.width() + 30, place.height() + 7);
    EXPECT_EQ(dlg.Control(20)->geometry(), place.adjusted(0, 0, 30, 7));
    EXPECT_EQ(dlg.Control(22)->geometry(), right.translated(30, 0));
    EXPECT_EQ(dlg.Control(25)->geometry(), below.translated(0, 7));
    EXPECT_EQ(dlg.Control(27)->geometry(), belowRight.translated(30, 7));
    EXPECT_EQ(dlg.size(), size + QSize(30, 7));
    dlg.GrowControl(20, 1, 1);  // big enough already
    EXPECT_EQ(dlg.size(), size + QSize(30, 7));
}

TEST(Dialog, APaneLiesInsideItsParentAndPassesEnterAndEscapeOn)
{
    plat::Dialog outer(kTemplate);
    std::vector<std::string> log;
    outer.SetOkHandler([&] { log.push_back("ok"); });
    outer.SetCancelHandler([&] { log.push_back("cancel"); });
    auto* pane = new plat::Dialog(kFormTemplate, &outer, plat::DialogRole::Pane);
    EXPECT_FALSE(pane->isWindow());
    outer.show();
    pane->show();
    EXPECT_TRUE(pane->isVisible());
    bool painted = false;
    pane->SetPaintHandler([&](plat::DeviceContext& dc) {
        painted = true;
        dc.FillRect(plat::Rect{0, 0, 4, 4}, 0xFF);
    });
    const QImage shot = pane->grab().toImage();
    EXPECT_TRUE(painted);
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(255, 0, 0));
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(pane->Control(20), &press);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"ok", "cancel"}));
    EXPECT_TRUE(pane->isVisible());
}

}  // namespace
