#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <vector>

#include "platform/windows/BarResources.h"
#include "platform/windows/CommandBars.h"
#include "platform/resources/StringTable.h"

namespace {

using plat::MF_GRAYED;
using plat::MF_POPUP;

const plat::MenuEntry kMenuRows[] = {
    {0, 0, "&File", MF_POPUP}, {1, 101, "&Open\tCtrl+O"},
    {1, 0, nullptr},           {1, 0, "&Recent", MF_POPUP},
    {2, 111, "One"},           {2, 112, "Two", MF_GRAYED},
    {1, 102, "E&xit"},         {0, 0, "&View", MF_POPUP},
    {1, 201, "&Zoom"},         {0, 301, "&Go"},
};
const plat::MenuResource kLibMenu{7001, kMenuRows, std::size(kMenuRows)};
const plat::MenuEntry kHostRows[] = {{0, 0, "Host", MF_POPUP}, {1, 1, "Only"}};
const plat::MenuResource kHostMenu{7001, kHostRows, std::size(kHostRows)};

// Two 2 x 1 images: red, then the transparent grey and blue.
const char* const kStrip[] = {"4 1 3 1", "r c #FF0000", ". c #C0C0C0", "b c #0000FF", "r.rb"};
const unsigned kButtons[] = {401, 0, 402};
const plat::ToolBarResource kBar{7002, 2, 1, kStrip, kButtons, std::size(kButtons)};
const plat::StringEntry kTips[] = {{401, "Opens a file\nOpen"}, {402, "no new line"}};

QStringList Texts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (QAction* a : actions)
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

TEST(BarResources, FoundHostFirstThenModuleThenAny)
{
    const plat::MenuResource otherMenu{7001, kMenuRows, 1};
    plat::RegisterMenu("TestBarsLib", kLibMenu);
    plat::RegisterMenu("TestBarsOther", otherMenu);
    plat::RegisterToolBar("TestBarsLib", kBar);
    EXPECT_EQ(plat::FindMenu(7001, "TestBarsLib"), &kLibMenu);
    EXPECT_EQ(plat::FindMenu(7001, "TestBarsOther"), &otherMenu);
    EXPECT_EQ(plat::FindMenu(7001, "Nobody"), &kLibMenu);
    EXPECT_EQ(plat::FindMenu(7999, "TestBarsLib"), nullptr);
    EXPECT_EQ(plat::FindToolBar(7002, "TestBarsOther"), &kBar);
    {
        plat::BarResourceRegistration host("TestBarsHost", &kHostMenu, 1, nullptr, 0, true);
        EXPECT_EQ(plat::FindMenu(7001, "TestBarsLib"), &kHostMenu);
    }
    EXPECT_EQ(plat::FindMenu(7001, "TestBarsLib"), &kLibMenu);
    plat::UnregisterMenu(otherMenu);
    plat::UnregisterMenu(kLibMenu);
    plat::UnregisterToolBar(kBar);
    EXPECT_EQ(plat::FindMenu(7001, "TestBarsLib"), nullptr);
    EXPECT_EQ(plat::FindToolBar(7002), nullptr);
}

TEST(CommandBars, MenuBarFollowsTheTableAndRoutesCommands)
{
    std::vector<unsigned> chosen;
    QMenuBar bar;
    plat::BuildMenuBar(&bar, kLibMenu, [&](unsigned id) { chosen.push_back(id); });

    ASSERT_EQ(Texts(bar.actions()), QStringList({"&File", "&View", "&Go"}));
    QMenu* file = bar.actions()[0]->menu();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Texts(file->actions()), QStringList({"&Open\tCtrl+O", "-", "&Recent", "E&xit"}));
    QMenu* recent = file->actions()[2]->menu();
    ASSERT_NE(recent, nullptr);
    EXPECT_EQ(Texts(recent->actions()), QStringList({"One", "Two"}));
    EXPECT_TRUE(recent->actions()[0]->isEnabled());
    EXPECT_FALSE(recent->actions()[1]->isEnabled());
    EXPECT_EQ(plat::CommandId(file->actions()[0]), 101u);
    EXPECT_EQ(plat::CommandId(file->actions()[1]), 0u);  // separator
    EXPECT_EQ(plat::CommandId(file->actions()[2]), 0u);  // popup title
    EXPECT_EQ(plat::CommandId(bar.actions()[2]), 301u);  // a title that is a command

    file->actions()[3]->trigger();
    recent->actions()[0]->trigger();
    bar.actions()[2]->trigger();
    EXPECT_EQ(chosen, (std::vector<unsigned>{102, 111, 301}));

    QMenu context;
    EXPECT_TRUE(plat::BuildPopupMenu(&context, kLibMenu, 1, {}));
    EXPECT_EQ(Texts(context.actions()), QStringList({"&Zoom"}));
    QMenu none;
    EXPECT_FALSE(plat::BuildPopupMenu(&none, kLibMenu, 2, {}));  // "&Go" has no popup
    EXPECT_FALSE(plat::BuildPopupMenu(&none, kLibMenu, 5, {}));
    EXPECT_TRUE(none.actions().isEmpty());
}

TEST(CommandBars, ToolBarImagesTipsAndStatesByCommand)
{
    plat::StringTableRegistration tips("TestBarsTips", kTips);
    QWidget window;
    auto* menuBar = new QMenuBar(&window);
    plat::BuildMenuBar(menuBar, kLibMenu, {});
    auto* toolBar = new QToolBar(&window);
    std::vector<unsigned> clicked;
    plat::BuildToolBar(
        toolBar, kBar, [&](unsigned id) { clicked.push_back(id); }, "TestBarsTips");

    const QList<QAction*> buttons = toolBar->actions();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_TRUE(buttons[1]->isSeparator());
    EXPECT_EQ(buttons[0]->toolTip(), "Open");
    EXPECT_EQ(buttons[2]->toolTip(), "no new line");
    buttons[2]->trigger();
    EXPECT_EQ(clicked, std::vector<unsigned>{402});

    // The strip's grey is transparent; each button shows its own image.
    const QImage first = buttons[0]->icon().pixmap(QSize(2, 1)).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage second = buttons[2]->icon().pixmap(QSize(2, 1)).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(first.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(first.pixel(1, 0)), 0);
    EXPECT_EQ(second.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(second.pixel(1, 0), qRgb(0, 0, 255));
    EXPECT_TRUE(plat::StripImage(plat::ToolBarStrip(kBar), 2, 1, 2).isNull());

    // States by command id reach every menu and tool bar of the window.
    const plat::MenuEntry one[] = {{0, 0, "T", MF_POPUP}, {1, 402, "Same command"}};
    auto* second_bar = new QMenuBar(&window);
    plat::BuildMenuBar(second_bar, plat::MenuResource{1, one, 2}, {});
    ASSERT_EQ(plat::CommandActions(&window, 402).size(), 2);
    plat::EnableCommand(&window, 402, false);
    plat::CheckCommand(&window, 402, true);
    for (QAction* a : plat::CommandActions(&window, 402)) {
        EXPECT_FALSE(a->isEnabled());
        EXPECT_TRUE(a->isChecked());
    }
    EXPECT_TRUE(buttons[0]->isEnabled());
}

TEST(CommandBars, UpdateRunsLastItemFirstThroughSubmenus)
{
    QMenuBar bar;
    plat::BuildMenuBar(&bar, kLibMenu, {});
    std::vector<unsigned> asked;
    plat::UpdateCommands(bar.actions(), [&](plat::CmdUI& ui) {
        asked.push_back(ui.id);
        ui.enabled = ui.id != 101;
        ui.checked = ui.id == 201;
    });
    EXPECT_EQ(asked, (std::vector<unsigned>{301, 201, 102, 112, 111, 101}));
    EXPECT_FALSE(plat::CommandActions(&bar, 101)[0]->isEnabled());
    EXPECT_TRUE(plat::CommandActions(&bar, 112)[0]->isEnabled());  // greyed in the table, enabled by the update
    EXPECT_TRUE(plat::CommandActions(&bar, 201)[0]->isChecked());
}

}  // namespace
