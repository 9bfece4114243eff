#pragma once
// The tag tree control: a CTagTree (items with text and data, tab-indented load and store,
// copies, search) shown by a tree widget once Create made one, whose branches the user
// moves (or, with Ctrl, copies) by dragging them onto another item. Without a window it
// is the tree alone, as the View Parameters dialog keeps its dictionary.

#include <QCursor>
#include <QPoint>
#include <QPointer>
#include <unordered_map>
#include <vector>

#include "tags/TagTree.h"

class QIcon;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class CTagTreeCtrl : public CTagTree {
public:
    CTagTreeCtrl() = default;
    ~CTagTreeCtrl() override;

    // The window, a child of parent; item texts are shown from code page 1251.
    QTreeWidget* Create(QWidget* parent);
    QTreeWidget* Window() const;
    // Images by index for the items' image and selected image; none at start.
    void SetImageList(std::vector<QIcon> images);

    // Every item may be dragged.
    virtual bool CanDragItem(TagItem item) { return true; }
    // hit, except null over the dragged item or its parent.
    TagItem GetDropTarget(TagItem hit) const;

    bool IsDragging() const { return m_dragging; }
    TagItem DraggedItem() const { return m_dragged; }
    // The item under a point of the window's viewport, or null.
    TagItem HitTest(const QPoint& at) const;
    // The window's item that shows item, or null.
    QTreeWidgetItem* ShownItem(TagItem item) const;

    // The window's mouse, in viewport coordinates: a drag begins when the pressed item
    // is moved further than the platform's drag distance; then moves and the release.
    void OnBeginDrag(TagItem item, const QPoint& at);
    void OnMouseMove(const QPoint& at, bool ctrl);
    void OnLButtonUp(const QPoint& at, bool ctrl);

protected:
    void OnTreeChanged() override;

private:
    class View;
    friend class View;
    void Rebuild();
    QIcon Image(int index) const;
    void EndDrag();

    QPointer<QTreeWidget> m_view;
    std::unordered_map<TagItem, QTreeWidgetItem*> m_shown;
    std::vector<QIcon> m_images;
    bool m_syncing = false;  // the window tells the tree of a change it made itself

    QLabel* m_dragImage = nullptr;  // child of the viewport while dragging
    bool m_dragging = false;
    TagItem m_dragged = nullptr;
    TagItem m_dropTarget = nullptr;
    QCursor m_dragCursor;
};
