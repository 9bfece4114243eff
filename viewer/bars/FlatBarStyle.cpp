#include "bars/FlatBarStyle.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

#include "bars/BarPainting.h"
#include "bars/BitmapMenu.h"
#include "bars/SpawnFrameWnd.h"

namespace {

const QAction* ActionAt(const QWidget* widget, const QRect& rect)
{
    if (auto* menu = qobject_cast<const QMenu*>(widget))
        return menu->actionAt(rect.center());
    if (auto* bar = qobject_cast<const QMenuBar*>(widget))
        return bar->actionAt(rect.center());
    return nullptr;
}

// Qt measures an item before it places it, so the option's rectangle may be stale: the
// action is the one whose text the option shows (items with equal texts measure alike).
const QAction* MeasuredAction(const QWidget* widget, const QStyleOption* option)
{
    auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (mi == nullptr || widget == nullptr)
        return nullptr;
    const bool separator = mi->menuItemType == QStyleOptionMenuItem::Separator;
    for (const QAction* a : widget->actions()) {
        if (CBitmapMenu::ItemOf(a) == nullptr || a->isSeparator() != separator)
            continue;
        if (separator)
            return a;
        QString text = a->text();
        if (qobject_cast<const QMenu*>(widget) && !text.contains(QLatin1Char('\t')) && !a->shortcut().isEmpty())
            text += QLatin1Char('\t') + a->shortcut().toString(QKeySequence::NativeText);
        if (text == mi->text)
            return a;
    }
    return nullptr;
}

}  // namespace

FlatBarStyle::FlatBarStyle(const CBitmapMenu& painter)
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), m_painter(painter)
{}

int FlatBarStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_MenuPanelWidth:
        return kPopupBorder;
    case PM_MenuHMargin:
    case PM_MenuVMargin:
    case PM_MenuBarPanelWidth:
    case PM_MenuBarItemSpacing:
    case PM_MenuBarVMargin:
        return 0;
    case PM_MenuBarHMargin:
        return 2;
    case PM_ToolBarItemMargin:
    case PM_ToolBarFrameWidth:
    case PM_ToolBarItemSpacing:
        return 0;
    case PM_ToolBarSeparatorExtent:
        return 8;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int FlatBarStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* returnData) const
{
    switch (hint) {
    case SH_UnderlineShortcut:
    case SH_MenuBar_AltKeyNavigation:
    case SH_Menu_MouseTracking:
    case SH_MenuBar_MouseTracking:
        return 1;
    case SH_Menu_FlashTriggeredItem:
    case SH_Menu_FadeOutOnHide:
    case SH_Menu_Scrollable:
        return 0;
    default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

QSize FlatBarStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                     const QWidget* widget) const
{
    if (type == CT_MenuItem || type == CT_MenuBarItem) {
        QSize s;
        if (m_painter.MeasureItem(MeasuredAction(widget, option), s))
            return type == CT_MenuBarItem ? s + QSize(kTitlePadX, kTitlePadY) : s;
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

void FlatBarStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const
{
    switch (element) {
    case CE_MenuItem: {
        const QAction* action = ActionAt(widget, option->rect);
        if (CBitmapMenu::ItemOf(action) == nullptr)
            break;
        auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        MenuItemState state;
        state.selected = option->state & State_Selected;
        state.disabled = !(option->state & State_Enabled);
        state.checked = mi && mi->checkType != QStyleOptionMenuItem::NotCheckable && mi->checked;
        // Items are drawn as if the popup's client area began at the border's inside.
        painter->save();
        painter->translate(kPopupBorder, 0);
        const QRect r = option->rect.translated(-kPopupBorder, 0);
        m_painter.DrawItem(*painter, action, r, state);
        painter->restore();
        if (mi && mi->menuItemType == QStyleOptionMenuItem::SubMenu) {
            QStyleOption arrow = *option;
            arrow.rect = QRect(option->rect.right() - 14, option->rect.top(), 12, option->rect.height());
            if (state.selected)
                arrow.palette.setColor(QPalette::ButtonText, option->palette.color(QPalette::HighlightedText));
            proxy()->drawPrimitive(PE_IndicatorArrowRight, &arrow, painter, widget);
        }
        return;
    }
    case CE_MenuBarItem: {
        const QAction* action = ActionAt(widget, option->rect);
        if (CBitmapMenu::ItemOf(action) == nullptr)
            break;
        MenuItemState state;
        state.selected = option->state & State_Sunken;  // its menu is open
        state.disabled = !(option->state & State_Enabled);
        m_painter.DrawItem(*painter, action, option->rect, state);
        const auto* frame = widget ? qobject_cast<const CSpawnFrameWnd*>(widget->window()) : nullptr;
        if (!state.selected && frame && frame->HotRect() == option->rect)
            bars::Draw3dRect(*painter, option->rect, m_painter.LightColor(), m_painter.DarkColor());
        return;
    }
    case CE_MenuBarEmptyArea:
    case CE_MenuEmptyArea:
        painter->fillRect(option->rect, m_painter.MenuColor());
        return;
    default:
        break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void FlatBarStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    switch (element) {
    case PE_PanelMenu:
    case PE_PanelMenuBar:
        painter->fillRect(option->rect, m_painter.MenuColor());
        return;
    case PE_FrameMenu: {
        // The classic raised popup border: light and dark edges, then an inner pair.
        const QRect r = option->rect;
        bars::Draw3dRect(*painter, r, m_painter.MenuColor(), Qt::black);
        bars::Draw3dRect(*painter, r.adjusted(1, 1, -1, -1), m_painter.LightColor(), m_painter.DarkColor());
        return;
    }
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
