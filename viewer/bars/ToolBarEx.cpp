#include "bars/ToolBarEx.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolButton>

#include "platform/windows/BarResources.h"
#include "PellionModule.h"
#include "platform/paint/SysColors.h"
#include "bars/BarPainting.h"
#include "bars/MenuLayout.h"

namespace {

constexpr const char* kImageProperty = "bars.image";

using bars::ToQColor;

// Room for the double gripper before the first button.
constexpr int kGripperRoom = 12;

}  // namespace

CToolBarEx::CToolBarEx(QWidget* owner) : QToolBar(owner), m_owner(owner)
{
    setMovable(false);
    setFloatable(false);
    setMouseTracking(true);
    // The double gripper lies before the first button, in room a blank widget keeps.
    auto* lead = new QWidget(this);
    lead->setFixedSize(kGripperRoom, 1);
    m_lead = addWidget(lead);
    m_labelFont = QApplication::font();
    m_labelFont.setPixelSize(6);
    ReadColors();
}

CToolBarEx::~CToolBarEx() = default;

QList<QAction*> CToolBarEx::Buttons() const
{
    QList<QAction*> all = actions();
    all.removeOne(m_lead);
    return all;
}

void CToolBarEx::ReadColors()
{
    m_clrFace = ToQColor(plat::GetSysColor(plat::COLOR_3DFACE));
    m_clrLight = ToQColor(plat::GetSysColor(plat::COLOR_3DHILIGHT));
    m_clrDark = ToQColor(plat::GetSysColor(plat::COLOR_3DSHADOW));
    m_clrLightFill = ToQColor(plat::GetSysColor(plat::COLOR_3DLIGHT));
    if (m_clrLightFill == m_clrFace)
        m_clrLightFill = m_clrLight;
}

bool CToolBarEx::LoadToolBar(unsigned id, const plat::CommandHandler& handler)
{
    const plat::ToolBarResource* resource = plat::FindToolBar(id, kPellionModule);
    if (resource == nullptr)
        return false;
    m_imageSize = QSize(resource->imageWidth, resource->imageHeight);
    m_strip = plat::ToolBarStrip(*resource);
    const int first = int(Buttons().size());
    plat::BuildToolBar(this, *resource, handler, kPellionModule);
    int image = 0;
    const QList<QAction*> all = Buttons();
    for (int i = first; i < all.size(); ++i)
        if (!all[i]->isSeparator())
            all[i]->setProperty(kImageProperty, image++);
    for (QAction* a : all)
        if (QWidget* w = widgetForAction(a); w && !a->isSeparator())
            w->setFixedSize(ButtonSize());
    return true;
}

void CToolBarEx::SetFlat(bool flat)
{
    m_flat = flat;
    update();
    for (QAction* a : Buttons())
        if (QWidget* w = widgetForAction(a))
            w->update();
}

int CToolBarEx::ButtonCount() const
{
    return int(Buttons().size());
}

QAction* CToolBarEx::ButtonAction(int index) const
{
    const QList<QAction*> all = Buttons();
    return index >= 0 && index < all.size() ? all[index] : nullptr;
}

unsigned CToolBarEx::ButtonId(int index) const
{
    return plat::CommandId(ButtonAction(index));
}

QRect CToolBarEx::ButtonRect(int index) const
{
    QAction* a = ButtonAction(index);
    QWidget* w = a ? widgetForAction(a) : nullptr;
    return w ? w->geometry() : QRect();
}

void CToolBarEx::actionEvent(QActionEvent* event)
{
    QToolBar::actionEvent(event);
    if (event->type() != QEvent::ActionAdded || event->action() == m_lead)
        return;
    if (QWidget* w = widgetForAction(event->action())) {
        w->installEventFilter(this);
        w->setMouseTracking(true);
        // The bar tracks the hover itself; the button repaints nothing on entering.
        if (auto* button = qobject_cast<QToolButton*>(w)) {
            button->setAutoRaise(false);
            button->setFixedSize(ButtonSize());
        }
    }
}

bool CToolBarEx::eventFilter(QObject* watched, QEvent* event)
{
    auto* w = qobject_cast<QWidget*>(watched);
    if (w != nullptr && w->parentWidget() == this) {
        // The bar paints its buttons, so they draw nothing of their own.
        if (event->type() == QEvent::Paint && m_flat)
            return true;
        // Nor do they repaint on hover events (styles turn them on): the bar's own
        // hover tracking decides what is repainted.
        if (m_flat && (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave ||
                       event->type() == QEvent::HoverMove))
            return true;
        if (event->type() == QEvent::MouseMove)
            HoverAt(w->mapToParent(static_cast<QMouseEvent*>(event)->position().toPoint()));
    }
    return QToolBar::eventFilter(watched, event);
}

void CToolBarEx::mouseMoveEvent(QMouseEvent* event)
{
    HoverAt(event->position().toPoint());
    QToolBar::mouseMoveEvent(event);
}

void CToolBarEx::leaveEvent(QEvent* event)
{
    ClearHover();
    QToolBar::leaveEvent(event);
}

void CToolBarEx::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        ReadColors();
    QToolBar::changeEvent(event);
}

void CToolBarEx::HoverAt(const QPoint& q)
{
    m_cursor = q;
    if (!m_flat)
        return;
    const int previous = m_hotButton;
    m_hotButton = -1;
    const QList<QAction*> all = Buttons();
    for (int i = 0; i < all.size(); ++i) {
        if (all[i]->isSeparator() || !all[i]->isEnabled())
            continue;
        const QRect r = ButtonRect(i);
        if (r.contains(q)) {
            if (i != previous)
                update(r);
            m_hotButton = i;
        } else if (i == previous) {
            update(r);
        }
    }
}

void CToolBarEx::ClearHover()
{
    m_cursor.reset();
    if (m_hotButton >= 0)
        update(ButtonRect(m_hotButton));
    m_hotButton = -1;
}

void CToolBarEx::OnUpdateCmdUI(const plat::UpdateHandler& update)
{
    if (!update)
        return;
    struct Kept {
        bool enabled, checked, visible;
        bool operator==(const Kept&) const = default;
    };
    const QList<QAction*> all = Buttons();
    std::vector<Kept> before;
    for (QAction* a : all)
        before.push_back({a->isEnabled(), a->isChecked(), a->isVisible()});
    plat::UpdateCommands(all, update);
    if (!m_flat)
        return;
    for (int i = 0; i < all.size(); ++i)
        if (!(Kept{all[i]->isEnabled(), all[i]->isChecked(), all[i]->isVisible()} == before[std::size_t(i)]))
            this->update(ButtonRect(i));
}

unsigned CToolBarEx::Notify(CToolBarCustomDraw& cd) const
{
    if (!m_customDraw || m_owner.isNull())
        return 0;
    cd.owner = m_owner;
    return m_customDraw(cd);
}

void CToolBarEx::DrawGripper(QPainter& p) const
{
    const QRect inner = rect().adjusted(4, 4, -4, -4);
    if (orientation() == Qt::Horizontal) {
        bars::Draw3dRect(p, QRect(inner.left(), inner.top(), 3, inner.height()), m_clrLight, m_clrDark);
        bars::Draw3dRect(p, QRect(inner.left() + 3, inner.top(), 3, inner.height()), m_clrLight, m_clrDark);
    } else {
        bars::Draw3dRect(p, QRect(inner.left(), inner.top(), inner.width(), 3), m_clrLight, m_clrDark);
        bars::Draw3dRect(p, QRect(inner.left(), inner.top() + 3, inner.width(), 3), m_clrLight, m_clrDark);
    }
}

void CToolBarEx::DrawButton(QPainter& p, QAction* action, const QRect& button, int image)
{
    auto* tool = qobject_cast<QToolButton*>(widgetForAction(action));
    const bool pressed = action->isChecked() || (tool && tool->isDown());
    const bool enabled = action->isEnabled();
    const bool hot = m_cursor && button.contains(*m_cursor);
    const bars::ButtonLook look = bars::ToolButtonLook(pressed, hot, enabled);
    const bars::Size offsets = bars::ToolBarImageOffsets({button.width(), button.height()},
                                                         {m_imageSize.width(), m_imageSize.height()}, false, 0);

    QRect r = button;
    p.fillRect(r, look.lightBackground ? m_clrLightFill : m_clrFace);
    switch (look.frame) {
    case bars::ButtonFrame::Sunken:
        bars::Draw3dRect(p, r, m_clrDark, m_clrLight);
        if (look.innerFaceFrame) {
            r.adjust(1, 1, -1, -1);
            bars::Draw3dRect(p, r, m_clrFace, m_clrFace);
        }
        break;
    case bars::ButtonFrame::Raised:
        bars::Draw3dRect(p, r, m_clrLight, m_clrDark);
        break;
    case bars::ButtonFrame::Face:
        bars::Draw3dRect(p, r, m_clrFace, m_clrFace);
        break;
    case bars::ButtonFrame::None:
        break;
    }
    const QPixmap picture = image >= 0 ? plat::StripImage(m_strip, m_imageSize.width(), m_imageSize.height(), image)
                                       : action->icon().pixmap(m_imageSize);
    const int x = r.left() + offsets.cx + look.shift;
    const int y = r.top() + offsets.cy + look.shift;
    if (enabled) {
        p.drawPixmap(x, y, picture);
        return;
    }
    // Disabled: the button as drawn is turned into its embossed mask.
    QImage drawn(button.size(), QImage::Format_RGB32);
    drawn.fill(m_clrFace);
    {
        QPainter q(&drawn);
        q.drawPixmap(x - button.left(), y - button.top(), picture);
    }
    p.fillRect(button, m_clrFace);
    bars::PaintEmbossed(p, button.left(), button.top(), bars::EmbossMask(drawn, m_clrFace.rgb(), m_clrLight.rgb()),
                        m_clrLight, m_clrDark);
}

void CToolBarEx::paintEvent(QPaintEvent* event)
{
    if (!m_flat) {
        QToolBar::paintEvent(event);
        return;
    }
    const QRect update = event->rect();
    if (update.isEmpty())
        return;
    QPainter p(this);
    p.fillRect(update, m_clrFace);
    DrawGripper(p);
    const QFont oldFont = p.font();
    p.setFont(m_labelFont);

    CToolBarCustomDraw cd;
    cd.bar = this;
    cd.dc = &p;
    cd.drawStage = CDDS_PREPAINT;
    cd.prePaintAnswer = Notify(cd);

    const QList<QAction*> all = Buttons();
    for (int i = 0; i < all.size(); ++i) {
        QAction* a = all[i];
        if (!a->isVisible())
            continue;
        const QRect r = ButtonRect(i);
        if (r.isEmpty())
            continue;
        if (a->isSeparator()) {
            if (r.width() < 9 && orientation() == Qt::Horizontal) {
                const int m = r.left() + r.width() / 2;
                bars::Draw3dRect(p, QRect(m - 1, r.top(), 2, r.height()), m_clrDark, m_clrLight);
            } else if (orientation() == Qt::Vertical) {
                bars::Draw3dRect(p, QRect(r.left(), r.top() + r.height() / 2 - 1, r.width(), 2), m_clrDark, m_clrLight);
            }
            continue;
        }
        if (!r.intersects(update))
            continue;
        cd.rc = r;
        cd.itemSpec = plat::CommandId(a);
        auto* tool = qobject_cast<QToolButton*>(widgetForAction(a));
        const bool pressed = a->isChecked() || (tool && tool->isDown());
        cd.itemState = (a->isEnabled() ? 0u : unsigned(CDIS_DISABLED)) | (pressed ? unsigned(CDIS_CHECKED) : 0u);
        cd.itemAnswer = 0;
        if (cd.prePaintAnswer & CDRF_NOTIFYITEMDRAW) {
            cd.drawStage = CDDS_ITEMPREPAINT;
            cd.itemAnswer = Notify(cd);
            if (cd.itemAnswer & CDRF_SKIPDEFAULT)
                continue;
        }
        bool ok = false;
        const int image = a->property(kImageProperty).toInt(&ok);
        DrawButton(p, a, r, ok ? image : -1);
        if (cd.itemAnswer & CDRF_NOTIFYPOSTPAINT) {
            cd.drawStage = CDDS_ITEMPOSTPAINT;
            Notify(cd);
        }
    }
    p.setFont(oldFont);
    if (cd.prePaintAnswer & CDRF_NOTIFYPOSTPAINT) {
        cd.drawStage = CDDS_POSTPAINT;
        cd.rc = QRect();
        cd.itemSpec = cd.itemState = 0;
        Notify(cd);
    }
}
