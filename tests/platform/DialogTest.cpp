#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "CustomControl.h"
#include "Dialog.h"

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
        const plat::ControlTemplate& row = *std::find_if(std::begin(kRows), std::end(kRows),
                                                          [&](const auto& r) { return r.id == c.id; });
        EXPECT_EQ(w->geometry(), QRect(u.ToPixelsX(row.x), u.ToPixelsY(row.y), u.ToPixelsX(row.cx), u.ToPixelsY(row.cy)))
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

}  // namespace
