#include "platform/windows/CommandBars.h"

#include <QAction>
#include <QBitmap>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "platform/resources/StringTable.h"

namespace plat {
namespace {

constexpr const char* kCommandProperty = "plat.command";

QAction* CommandAction(QObject* parent, const QString& text, unsigned id, const CommandHandler& handler)
{
    auto* action = new QAction(text, parent);
    action->setProperty(kCommandProperty, id);
    QObject::connect(action, &QAction::triggered, action, [handler, id] {
        if (handler)
            handler(id);
    });
    return action;
}

// Adds rows [begin, end) of one level (depth) to menu; rows deeper than depth belong to
// the popup row before them. Answers the row after the last one used.
std::size_t AddRows(QMenu* menu, const MenuEntry* rows, std::size_t begin, std::size_t end, int depth,
                    const CommandHandler& handler)
{
    std::size_t i = begin;
    while (i < end && rows[i].depth >= depth) {
        const MenuEntry& row = rows[i];
        if (row.depth > depth) {  // a row without its popup: skipped
            ++i;
            continue;
        }
        if (row.flags & MF_POPUP) {
            QMenu* sub = menu->addMenu(QString::fromUtf8(row.text ? row.text : ""));
            i = AddRows(sub, rows, i + 1, end, depth + 1, handler);
            sub->menuAction()->setEnabled(!(row.flags & MF_GRAYED));
            continue;
        }
        if (row.id == 0 && row.text == nullptr) {
            menu->addSeparator();
        } else {
            QAction* action = CommandAction(menu, QString::fromUtf8(row.text ? row.text : ""), row.id, handler);
            action->setEnabled(!(row.flags & MF_GRAYED));
            menu->addAction(action);
        }
        ++i;
    }
    return i;
}

}  // namespace

unsigned CommandId(const QAction* action)
{
    return action ? action->property(kCommandProperty).toUInt() : 0;
}

void BuildMenuBar(QMenuBar* bar, const MenuResource& menu, const CommandHandler& handler)
{
    std::size_t i = 0;
    while (i < menu.count) {
        const MenuEntry& row = menu.entries[i];
        if (row.depth != 0) {
            ++i;
            continue;
        }
        const QString text = QString::fromUtf8(row.text ? row.text : "");
        if (row.flags & MF_POPUP) {
            QMenu* sub = bar->addMenu(text);
            i = AddRows(sub, menu.entries, i + 1, menu.count, 1, handler);
            sub->menuAction()->setEnabled(!(row.flags & MF_GRAYED));
            continue;
        }
        // A title without a popup runs its command itself (0: none).
        QAction* action = CommandAction(bar, text, row.id, handler);
        action->setEnabled(!(row.flags & MF_GRAYED));
        bar->addAction(action);
        ++i;
    }
}

bool BuildPopupMenu(QMenu* popup, const MenuResource& menu, int position, const CommandHandler& handler)
{
    int seen = 0;
    for (std::size_t i = 0; i < menu.count; ++i) {
        const MenuEntry& row = menu.entries[i];
        if (row.depth != 0)
            continue;
        if (seen++ != position)
            continue;
        if (!(row.flags & MF_POPUP))
            return false;
        AddRows(popup, menu.entries, i + 1, menu.count, 1, handler);
        return true;
    }
    return false;
}

QPixmap ToolBarStrip(const ToolBarResource& bar)
{
    if (bar.strip == nullptr)
        return {};
    QPixmap strip(bar.strip);
    if (strip.isNull())
        return {};
    strip.setMask(strip.createMaskFromColor(QColor(0xC0, 0xC0, 0xC0)));
    return strip;
}

QPixmap StripImage(const QPixmap& strip, int width, int height, int i)
{
    if (i < 0 || width <= 0 || (i + 1) * width > strip.width())
        return {};
    return strip.copy(i * width, 0, width, height);
}

void BuildToolBar(QToolBar* bar, const ToolBarResource& resource, const CommandHandler& handler, const char* module)
{
    const QPixmap strip = ToolBarStrip(resource);
    bar->setIconSize(QSize(resource.imageWidth, resource.imageHeight));
    int image = 0;
    for (std::size_t i = 0; i < resource.count; ++i) {
        const unsigned id = resource.ids[i];
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        const std::string tip = LoadString(id, module);
        const auto cut = tip.find('\n');
        QAction* action = CommandAction(bar, QString(), id, handler);
        action->setToolTip(QString::fromStdString(cut == std::string::npos ? tip : tip.substr(cut + 1)));
        action->setIcon(QIcon(StripImage(strip, resource.imageWidth, resource.imageHeight, image++)));
        bar->addAction(action);
    }
}

QList<QAction*> CommandActions(QWidget* root, unsigned id)
{
    QList<QAction*> found;
    if (root == nullptr || id == 0)
        return found;
    const auto collect = [&](QWidget* w) {
        for (QAction* a : w->actions())
            if (CommandId(a) == id && !found.contains(a))
                found.append(a);
    };
    collect(root);
    for (QWidget* w : root->findChildren<QWidget*>())
        collect(w);
    return found;
}

void EnableCommand(QWidget* root, unsigned id, bool enable)
{
    for (QAction* a : CommandActions(root, id))
        a->setEnabled(enable);
}

void CheckCommand(QWidget* root, unsigned id, bool checked)
{
    for (QAction* a : CommandActions(root, id)) {
        a->setCheckable(true);
        a->setChecked(checked);
    }
}

void UpdateCommands(const QList<QAction*>& actions, const UpdateHandler& update)
{
    for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
        QAction* a = *it;
        if (QMenu* sub = a->menu()) {
            UpdateCommands(sub->actions(), update);
            continue;
        }
        const unsigned id = CommandId(a);
        if (id == 0)
            continue;
        CmdUI ui{id, a->isEnabled(), a->isChecked()};
        update(ui);
        a->setEnabled(ui.enabled);
        if (ui.checked != a->isChecked()) {
            a->setCheckable(true);
            a->setChecked(ui.checked);
        }
    }
}

}  // namespace plat
