#include "bars/SpawnFrameWnd.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include "platform/windows/BarResources.h"
#include "PellionModule.h"
#include "bars/FlatBarStyle.h"
#include "bars/ToolBarEx.h"

namespace {
constexpr const char* kPreparedProperty = "bars.prepared";
}

CSpawnFrameWnd::CSpawnFrameWnd(QWidget* parent) : QMainWindow(parent)
{
    m_style = new FlatBarStyle(m_menu);
    m_style->setParent(this);
}

CSpawnFrameWnd::~CSpawnFrameWnd()
{
    // The menus go with the window; they must not draw through a painter that is gone.
    delete menuWidget();
}

bool CSpawnFrameWnd::LoadMenu(unsigned id)
{
    const plat::MenuResource* resource = plat::FindMenu(id, kPellionModule);
    if (resource == nullptr)
        return false;
    auto* bar = new QMenuBar(this);
    bar->setStyle(m_style);
    plat::BuildMenuBar(bar, *resource, [this](unsigned command) { OnCommand(command); });
    bar->setMouseTracking(true);
    bar->installEventFilter(this);
    for (QAction* a : bar->actions())
        if (QMenu* popup = a->menu())
            PreparePopup(popup);
    setMenuBar(bar);
    // The bar's titles are owner-drawn from the start, as after the first menu message.
    m_menu.OwnerDrawMenu(bar);
    return true;
}

void CSpawnFrameWnd::AttachToolBar(CToolBarEx* bar)
{
    bar->setStyle(m_style);
    addToolBar(Qt::TopToolBarArea, bar);
}

void CSpawnFrameWnd::PreparePopup(QMenu* popup)
{
    if (popup == nullptr || popup->property(kPreparedProperty).toBool())
        return;
    popup->setProperty(kPreparedProperty, true);
    popup->setStyle(m_style);
    popup->installEventFilter(this);
    connect(popup, &QMenu::aboutToShow, this, [this, popup] {
        if (m_openMenus++ == 0)
            WipeHot();
        InitMenuPopup(popup);
    });
    connect(popup, &QMenu::aboutToHide, this, [this] {
        if (m_openMenus > 0)
            --m_openMenus;
    });
    for (QAction* a : popup->actions())
        if (QMenu* sub = a->menu())
            PreparePopup(sub);
}

unsigned CSpawnFrameWnd::TrackPopupMenu(QMenu* popup, const QPoint& at)
{
    PreparePopup(popup);
    QAction* chosen = popup->exec(at);
    return plat::CommandId(chosen);
}

void CSpawnFrameWnd::InitMenuPopup(QMenu* popup)
{
    if (m_update)
        m_menu.UpdateMenuCmdUI(popup, m_update);
    for (QAction* a : popup->actions())
        if (QMenu* sub = a->menu())
            PreparePopup(sub);
    m_menu.OwnerDrawMenu(popup);
}

void CSpawnFrameWnd::WipeHot()
{
    if (m_hotRect.isEmpty())
        return;
    const QRect old = m_hotRect;
    m_hotRect = QRect();
    if (QWidget* bar = menuWidget())
        bar->update(old);
}

void CSpawnFrameWnd::TrackHot(const QPoint& atBar)
{
    auto* bar = qobject_cast<QMenuBar*>(menuWidget());
    if (bar == nullptr)
        return;
    QAction* title = InMenuLoop() ? nullptr : bar->actionAt(atBar);
    if (title == nullptr || !m_menu.IsOwnerDrawnItem(title)) {
        WipeHot();
        return;
    }
    const QRect r = bar->actionGeometry(title);
    if (r == m_hotRect)
        return;
    WipeHot();
    m_hotRect = r;
    bar->update(r);
}

bool CSpawnFrameWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == menuWidget()) {
        switch (event->type()) {
        case QEvent::MouseMove:
            TrackHot(static_cast<QMouseEvent*>(event)->position().toPoint());
            break;
        case QEvent::HoverMove:
            TrackHot(static_cast<QHoverEvent*>(event)->position().toPoint());
            break;
        case QEvent::Leave:
        case QEvent::Hide:
            WipeHot();
            break;
        case QEvent::MouseButtonPress:
            // Entering the menus: titles added since are made owner-drawn now.
            if (auto* bar = qobject_cast<QMenuBar*>(menuWidget()))
                m_menu.OwnerDrawMenu(bar);
            break;
        default:
            break;
        }
        return QMainWindow::eventFilter(watched, event);
    }
    // A letter in an open menu runs the lowest item it marks.
    if (auto* popup = qobject_cast<QMenu*>(watched); popup && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto mods = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        if (mods == Qt::NoModifier && key->text().size() == 1 && key->text().at(0).isLetterOrNumber()) {
            const int position = m_menu.MenuChar(key->text().at(0).unicode(), popup);
            if (position >= 0) {
                QAction* item = popup->actions().at(position);
                if (!item->isEnabled())
                    return true;
                // Run as Return runs the active item: a command closes the menus and
                // runs, a submenu title opens its menu.
                popup->setActiveAction(item);
                QKeyEvent run(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(popup, &run);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
