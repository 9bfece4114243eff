#include "dialogs/TagTreeCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidget>

#include "tags/Cp1251.h"

namespace {

constexpr QPoint kDragHotSpot(15, 15);

TagItem ItemOf(const QTreeWidgetItem* shown)
{
    return shown ? reinterpret_cast<TagItem>(shown->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

}  // namespace

// The window: the tree widget, whose mouse drives the control's drag. Between a press and
// its release the viewport keeps the mouse (the implicit grab), so no drag object is needed.
class CTagTreeCtrl::View final : public QTreeWidget {
public:
    View(CTagTreeCtrl& ctrl, QWidget* parent) : QTreeWidget(parent), m_ctrl(ctrl)
    {
        setHeaderHidden(true);
        setColumnCount(1);
        setDragEnabled(false);
        setSelectionMode(QAbstractItemView::SingleSelection);
        connect(this, &QTreeWidget::currentItemChanged, [this](QTreeWidgetItem* now, QTreeWidgetItem* before) {
            if (m_ctrl.m_syncing)
                return;
            m_ctrl.m_syncing = true;
            m_ctrl.SelectItem(ItemOf(now));
            m_ctrl.m_syncing = false;
            // Only the images change: the items stay, the view may be inside its own handler.
            if (TagItem old = ItemOf(before))
                before->setIcon(0, m_ctrl.Image(old->image));
            if (TagItem item = ItemOf(now))
                now->setIcon(0, m_ctrl.Image(item->selectedImage));
        });
        const auto expanded = [this](QTreeWidgetItem* item, bool on) {
            if (m_ctrl.m_syncing)
                return;
            m_ctrl.m_syncing = true;
            m_ctrl.Expand(ItemOf(item), on);
            m_ctrl.m_syncing = false;
        };
        connect(this, &QTreeWidget::itemExpanded, [expanded](QTreeWidgetItem* i) { expanded(i, true); });
        connect(this, &QTreeWidget::itemCollapsed, [expanded](QTreeWidgetItem* i) { expanded(i, false); });
    }

    ~View() override
    {
        // Nothing the tree widget does while it goes reaches the control.
        QObject::disconnect(this, nullptr, nullptr, nullptr);
        m_ctrl.m_view = nullptr;
        m_ctrl.m_shown.clear();
        m_ctrl.m_dragImage = nullptr;  // a child of the viewport, going with it
        m_ctrl.m_dragging = false;
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        QTreeWidget::mousePressEvent(event);
        if (event->button() == Qt::LeftButton) {
            m_pressed = m_ctrl.HitTest(event->position().toPoint());
            m_pressAt = event->position().toPoint();
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QPoint at = event->position().toPoint();
        const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
        if (!m_ctrl.IsDragging() && m_pressed && (event->buttons() & Qt::LeftButton) &&
            (at - m_pressAt).manhattanLength() >= QApplication::startDragDistance()) {
            m_ctrl.OnBeginDrag(m_pressed, m_pressAt);
            m_pressed = nullptr;
        }
        if (m_ctrl.IsDragging()) {
            m_ctrl.OnMouseMove(at, ctrl);
            return;
        }
        QTreeWidget::mouseMoveEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        m_pressed = nullptr;
        if (event->button() == Qt::LeftButton && m_ctrl.IsDragging()) {
            m_ctrl.OnLButtonUp(event->position().toPoint(), (event->modifiers() & Qt::ControlModifier) != 0);
            return;
        }
        QTreeWidget::mouseReleaseEvent(event);
    }

private:
    CTagTreeCtrl& m_ctrl;
    TagItem m_pressed = nullptr;
    QPoint m_pressAt;
};

CTagTreeCtrl::~CTagTreeCtrl()
{
    m_syncing = true;
    if (m_view)
        delete m_view.data();
}

QTreeWidget* CTagTreeCtrl::Create(QWidget* parent)
{
    if (!m_view) {
        m_view = new View(*this, parent);
        Rebuild();
    }
    return m_view;
}

QTreeWidget* CTagTreeCtrl::Window() const
{
    return m_view;
}

void CTagTreeCtrl::SetImageList(std::vector<QIcon> images)
{
    m_images = std::move(images);
    Rebuild();
}

QIcon CTagTreeCtrl::Image(int index) const
{
    return index >= 0 && size_t(index) < m_images.size() ? m_images[size_t(index)] : QIcon();
}

TagItem CTagTreeCtrl::GetDropTarget(TagItem hit) const
{
    if (hit == m_dragged || (m_dragged && hit == m_dragged->parent))
        return nullptr;
    return hit;
}

TagItem CTagTreeCtrl::HitTest(const QPoint& at) const
{
    return m_view ? ItemOf(m_view->itemAt(at)) : nullptr;
}

QTreeWidgetItem* CTagTreeCtrl::ShownItem(TagItem item) const
{
    const auto it = m_shown.find(item);
    return it == m_shown.end() ? nullptr : it->second;
}

void CTagTreeCtrl::OnTreeChanged()
{
    if (!m_syncing)
        Rebuild();
}

void CTagTreeCtrl::Rebuild()
{
    if (!m_view)
        return;
    m_syncing = true;
    m_view->clear();
    m_shown.clear();
    const QBrush dropBrush = m_view->palette().brush(QPalette::Highlight).color().lighter(160);
    std::vector<std::pair<TagItem, QTreeWidgetItem*>> expand;
    // Pre-order, each item under the one made for its parent.
    for (TagItem n = GetRootItem(); n; n = GetNextItemPreorder(n)) {
        QTreeWidgetItem* parent = n->parent ? m_shown[n->parent] : nullptr;
        auto* shown = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_view.data());
        shown->setText(0, QString::fromStdString(Cp1251ToUtf8(n->text)));
        shown->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(n)));
        shown->setIcon(0, Image(n == GetSelectedItem() ? n->selectedImage : n->image));
        if (n == GetDropHilightItem())
            shown->setBackground(0, dropBrush);
        m_shown[n] = shown;
        if (n->expanded)
            expand.emplace_back(n, shown);
    }
    for (auto& [item, shown] : expand)
        shown->setExpanded(true);
    if (QTreeWidgetItem* selected = ShownItem(GetSelectedItem()))
        m_view->setCurrentItem(selected);
    m_syncing = false;
}

void CTagTreeCtrl::OnBeginDrag(TagItem item, const QPoint& at)
{
    m_dragged = item;
    m_dropTarget = nullptr;
    SelectItem(item);
    if (!m_view || !CanDragItem(item))
        return;
    QTreeWidgetItem* shown = ShownItem(item);
    const QRect rect = shown ? m_view->visualItemRect(shown) : QRect();
    const QPixmap image = rect.isEmpty() ? QPixmap() : m_view->viewport()->grab(rect);
    if (image.isNull())
        return;
    m_dragging = true;
    m_dragImage = new QLabel(m_view->viewport());
    m_dragImage->setPixmap(image);
    m_dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dragImage->setWindowOpacity(0.6);
    m_dragImage->resize(image.size());
    m_dragImage->move(at - kDragHotSpot);
    m_dragImage->show();
}

void CTagTreeCtrl::OnMouseMove(const QPoint& at, bool ctrl)
{
    m_dragCursor = QCursor(ctrl ? Qt::DragCopyCursor : Qt::DragMoveCursor);
    if (!m_dragging)
        return;
    m_dragImage->move(at - kDragHotSpot);
    if (TagItem hit = HitTest(at)) {
        m_dragImage->hide();
        m_dropTarget = GetDropTarget(hit);
        SelectDropTarget(m_dropTarget);
        m_dragImage->show();
    } else {
        m_dropTarget = nullptr;
        SelectDropTarget(nullptr);
    }
    m_view->viewport()->setCursor(m_dropTarget ? m_dragCursor : QCursor(Qt::ForbiddenCursor));
}

void CTagTreeCtrl::EndDrag()
{
    m_dragging = false;
    delete m_dragImage;
    m_dragImage = nullptr;
    if (m_view)
        m_view->viewport()->unsetCursor();
    SelectDropTarget(nullptr);
}

void CTagTreeCtrl::OnLButtonUp(const QPoint& at, bool ctrl)
{
    if (!m_dragging)
        return;
    EndDrag();
    TagItem target = m_dropTarget, dragged = m_dragged;
    m_dropTarget = m_dragged = nullptr;
    if (target == nullptr || target == dragged || IsInBranch(target, dragged))
        return;
    Expand(target);
    TagItem copy = CopyBranch(dragged, target, kTagLast);
    if (!ctrl)
        DeleteItem(dragged);
    SelectItem(copy);
}
