#include "MenuBarButton.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>

#include "BarMessages.h"
#include "BarPage.h"
#include "platform/paint/PaintExtras.h"
#include "platform/paint/SysColors.h"

using plat::GetSysColor;

namespace {

class MenuHookFilter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The state of the hook while a popup is open; one per program (the GUI thread's).
struct MenuHook {
    QPointer<CMenuBarButton> tracking;
    QPointer<QMenu> menu;
    MenuHookFilter* filter = nullptr;
    bool buttonDown = false;
    bool clickedOwnButton = false;
    bool switching = false;  // a press went to another button; the popup is closing
};

MenuHook g_hook;

plat::LParam MakePoint(QPoint p)
{
    return static_cast<plat::LParam>((p.x() & 0xFFFF) | ((p.y() & 0xFFFF) << 16));
}

bool MenuHookFilter::eventFilter(QObject*, QEvent* event)
{
    CMenuBarButton* tracking = g_hook.tracking;
    if (!tracking)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        if (g_hook.switching)
            return false;
        const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        QWidget* under = QApplication::widgetAt(global);
        auto* other = dynamic_cast<CMenuBarButton*>(under);
        if (!other || other == tracking || other->parentWidget() != tracking->parentWidget())
            return false;
        // Another button of the same page: its popup takes the place of this one.
        g_hook.switching = true;
        tracking->Handle().PostMessage(WM_BAR_LEAVE);
        other->Handle().PostMessage(WM_BAR_LBUTTONDOWN, 0, MakePoint(tracking->mapFromGlobal(global)));
        if (g_hook.menu)
            g_hook.menu->hide();
        return false;
    }
    case QEvent::MouseButtonPress: {
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        g_hook.buttonDown = true;
        const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        g_hook.clickedOwnButton = QApplication::widgetAt(global) == tracking;
        if (!g_hook.clickedOwnButton)
            return false;
        // A click on the open popup's own button closes the popup; the button then gets
        // the press, which must not open it again.
        tracking->Handle().PostMessage(WM_BAR_LBUTTONDOWN, 0, MakePoint(tracking->mapFromGlobal(global)));
        if (g_hook.menu)
            g_hook.menu->hide();
        return true;
    }
    case QEvent::MouseButtonRelease:
        g_hook.buttonDown = false;
        return false;
    default:
        return false;
    }
}

}  // namespace

CMenuBarButton::CMenuBarButton(CBarPage* page) : CBarWindow(page), m_page(page) {}

CMenuBarButton* CMenuBarButton::Tracking()
{
    return g_hook.tracking;
}

int CMenuBarButton::Create(const std::string& caption, CRect* rect, unsigned id, const QFont* const* font,
                           int fontHeight, int popupIndex, int* width)
{
    m_font = font;
    m_fontHeight = fontHeight;
    m_caption = caption;
    m_id = id;
    m_popupIndex = popupIndex;
    const QFontMetrics metrics(font && *font ? **font : this->font());
    const int textWidth = metrics.horizontalAdvance(QString::fromStdString(caption));
    const int textHeight = metrics.height();
    rect->right = rect->left + MenuBarButtonWidth(textWidth);
    *width = rect->Width();
    setGeometry(rect->left, rect->top, rect->Width(), rect->Height());
    m_captionRect = CRect(4, 2, textWidth + 4, textHeight + 2);
    m_pressedCaptionRect = CRect(5, 3, textWidth + 5, textHeight + 3);
    show();
    return 1;
}

void CMenuBarButton::OnPaint(plat::DeviceContext& dc)
{
    const plat::ColorRef face = GetSysColor(plat::COLOR_BTNFACE);
    const plat::Rect client = ClientRect();
    dc.FillRect(client, face);
    if (m_font && *m_font)
        dc.SelectFont(**m_font);
    dc.SetBkColor(face);
    dc.SetBkMode(plat::TRANSPARENT);
    dc.SetTextColor(GetSysColor(plat::COLOR_MENUTEXT));
    const plat::ColorRef light = GetSysColor(plat::COLOR_3DHILIGHT);
    const plat::ColorRef shadow = GetSysColor(plat::COLOR_3DSHADOW);
    switch (m_flags.state) {
    case kBarRaised:
        dc.DrawText(m_caption, m_captionRect, m_format);
        plat::Draw3dRect(dc, client, light, shadow);
        break;
    case kBarPressed:
        dc.DrawText(m_caption, m_pressedCaptionRect, m_format);
        plat::Draw3dRect(dc, client, shadow, light);
        break;
    default:
        dc.DrawText(m_caption, m_captionRect, m_format);
        plat::Draw3dRect(dc, client, face, face);
        break;
    }
}

plat::LResult CMenuBarButton::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    switch (msg) {
    case WM_BAR_LEAVE:
        if (m_flags.Leave())
            Invalidate();
        return 0;
    case WM_BAR_MENU_CLOSED:
        m_flags.MenuClosed();
        Invalidate();
        UpdateWindow();
        return 0;
    case WM_BAR_LBUTTONDOWN:
        OnLButtonDown();
        return 0;
    default:
        return CBarWindow::OnMessage(msg, wParam, lParam);
    }
}

void CMenuBarButton::mouseMoveEvent(QMouseEvent*)
{
    if (m_flags.HitTest(true))
        Invalidate();
    if (m_flags.MouseMove())
        ParentHandle().SendMessage(WM_BAR_HOVER, AsParam(this));
}

void CMenuBarButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OnLButtonDown();
}

void CMenuBarButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_flags.Release())
        Invalidate();
}

void CMenuBarButton::OnLButtonDown()
{
    // A popup still on its way out: this press waits until it has gone, so popups never
    // nest.
    if (g_hook.tracking) {
        Handle().PostMessage(WM_BAR_LBUTTONDOWN);
        return;
    }
    const bool open = m_flags.Press();
    Invalidate();
    if (!open)
        return;
    UpdateWindow();
    TrackMenu();
    if (m_flags.left)
        m_flags.menuOpen = 0;
}

void CMenuBarButton::TrackMenu()
{
    g_hook.tracking = this;
    if (!g_hook.filter) {
        g_hook.filter = new MenuHookFilter;
        qApp->installEventFilter(g_hook.filter);
        g_hook.buttonDown = false;
        g_hook.clickedOwnButton = false;
        g_hook.switching = false;
    }
    const QPoint below = mapToGlobal(QPoint(0, height()));
    QMenu* menu = m_page->PopupMenu(m_popupIndex);
    m_page->SetOpenPopupButton(this);
    g_hook.menu = menu;
    if (menu)
        menu->exec(below);
    if (g_hook.clickedOwnButton)
        m_flags.closedByClick = 1;
    if (g_hook.filter) {
        qApp->removeEventFilter(g_hook.filter);
        delete g_hook.filter;
        g_hook.filter = nullptr;
    }
    g_hook.buttonDown = false;
    g_hook.clickedOwnButton = false;
    g_hook.switching = false;
    g_hook.menu = nullptr;
    g_hook.tracking = nullptr;
}
