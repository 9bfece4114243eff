#include "engine3d/model/SInterfaceMenu.h"

#include "engine3d/model/SInterface.h"

#include <QAction>
#include <QMenu>

// The entries go to positions 0 to 4, owned by the menu.
void InsertEditMenuEntries(QMenu* Menu)
{
    const QList<QAction*> present = Menu->actions();
    QAction* before = present.isEmpty() ? nullptr : present.first();
    for (const TSEditMenuEntry& entry : EditMenuEntries()) {
        auto* action = new QAction(Menu);
        if (entry.Tag == 0) {
            action->setSeparator(true);
        } else {
            action->setText(QString::fromUtf8(entry.Text));
            action->setData(entry.Tag);
            const std::int32_t tag = entry.Tag;
            QObject::connect(action, &QAction::triggered, action, [tag] { ClickEditMenuEntry(tag); });
        }
        Menu->insertAction(before, action);
    }
}

void SInterfaceMenuInitialization()
{
    SetEditMenuInserter([](void* Menu) { InsertEditMenuEntries(static_cast<QMenu*>(Menu)); });
}

void SInterfaceMenuFinalization()
{
    SetEditMenuInserter(nullptr);
}
