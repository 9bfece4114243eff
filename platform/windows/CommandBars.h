#pragma once
// Menus and tool bars built from resource tables of command ids. Every action carries
// its command id; a chosen command goes to the owner's command handler; enable, check
// and press states are set by command id over a window's menus and tool bars.

#include <QList>
#include <QPixmap>
#include <functional>

#include "platform/windows/BarResources.h"

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace plat {

using CommandHandler = std::function<void(unsigned id)>;

// The command id an action was built with; 0 for a popup title, a separator or a
// foreign action.
unsigned CommandId(const QAction* action);

// Fills bar with the titles and popups of menu.
void BuildMenuBar(QMenuBar* bar, const MenuResource& menu, const CommandHandler& handler);
// Fills popup with the items of the position-th top-level popup of menu (a context menu);
// false when menu has no such popup.
bool BuildPopupMenu(QMenu* popup, const MenuResource& menu, int position, const CommandHandler& handler);

// The strip of a tool bar with 0xC0C0C0 made transparent; null when it cannot be read.
QPixmap ToolBarStrip(const ToolBarResource& bar);
// Image i of a strip (null pixmap when out of range).
QPixmap StripImage(const QPixmap& strip, int width, int height, int i);

// Fills bar with the buttons of resource bar; each button's tool tip is the text after
// "\n" of the string with its id (module: where to look it up, host first).
void BuildToolBar(QToolBar* bar, const ToolBarResource& resource, const CommandHandler& handler,
                  const char* module = nullptr);

// Every action with that command id in root's menus and tool bars (root and its
// children, the popups of its menus included).
QList<QAction*> CommandActions(QWidget* root, unsigned id);
void EnableCommand(QWidget* root, unsigned id, bool enable);
void CheckCommand(QWidget* root, unsigned id, bool checked);

// The state an update handler sets for one command.
struct CmdUI {
    unsigned id = 0;
    bool enabled = true;
    bool checked = false;
};
using UpdateHandler = std::function<void(CmdUI&)>;

// Runs update for each command action from the last to the first (submenus' actions
// included) and applies the states it sets.
void UpdateCommands(const QList<QAction*>& actions, const UpdateHandler& update);

}  // namespace plat
