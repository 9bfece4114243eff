// The tag tree control's window, offscreen: branches dragged with the mouse.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QWidget>

#include "dialogs/TagTreeCtrl.h"

namespace {

class TagTreeCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.resize(300, 300);
        ctrl.Create(&host)->setGeometry(0, 0, 300, 300);
        ctrl.Load("root\n\ta\n\t\ta1\n\t\ta2\n\tb\n");
        for (TagItem n = ctrl.GetRootItem(); n; n = CTagTree::GetNextItemPreorder(n))
            ctrl.Expand(n);
        host.show();
        QApplication::processEvents();
    }

    TagItem Find(const char* text)
    {
        for (TagItem n = ctrl.GetRootItem(); n; n = CTagTree::GetNextItemPreorder(n))
            if (n->text == text)
                return n;
        return nullptr;
    }
    QPoint At(TagItem item) { return ctrl.Window()->visualItemRect(ctrl.ShownItem(item)).center(); }
    QWidget* Viewport() { return ctrl.Window()->viewport(); }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QMouseEvent event(type, QPointF(at), QPointF(Viewport()->mapToGlobal(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, mods);
        QApplication::sendEvent(Viewport(), &event);
    }
    // Presses on from, moves to to and, unless release is false, lets go there.
    void Drag(TagItem from, TagItem to, Qt::KeyboardModifiers mods = Qt::NoModifier, bool release = true)
    {
        const QPoint start = At(from);
        Mouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
        Mouse(QEvent::MouseMove, start + QPoint(0, 2), Qt::LeftButton, mods);
        Mouse(QEvent::MouseMove, At(to), Qt::LeftButton, mods);
        if (release)
            Mouse(QEvent::MouseButtonRelease, At(to), Qt::NoButton, mods);
    }
    std::string Shape()
    {
        std::string out;
        for (TagItem n = ctrl.GetRootItem(); n; n = CTagTree::GetNextItemPreorder(n))
            out += std::string(size_t(CTagTree::GetItemLevel(n)), '.') + n->text + " ";
        return out;
    }

    QWidget host;
    CTagTreeCtrl ctrl;
};

TEST_F(TagTreeCtrlTest, TheWindowShowsTheTree)
{
    QTreeWidget* view = ctrl.Window();
    ASSERT_EQ(view->topLevelItemCount(), 1);
    EXPECT_EQ(view->topLevelItem(0)->text(0), "root");
    EXPECT_EQ(view->topLevelItem(0)->child(0)->child(1)->text(0), "a2");
    EXPECT_TRUE(view->topLevelItem(0)->child(0)->isExpanded());
    ctrl.SelectItem(Find("b"));
    EXPECT_EQ(view->currentItem()->text(0), "b");
    view->setCurrentItem(view->topLevelItem(0)->child(0));  // the user selects a
    EXPECT_EQ(ctrl.GetSelectedItem(), Find("a"));
}

TEST_F(TagTreeCtrlTest, OntoItsOwnChildNothingHappens)
{
    const std::string before = Shape();
    Drag(Find("a"), Find("a1"), Qt::NoModifier, false);
    EXPECT_TRUE(ctrl.IsDragging());
    EXPECT_EQ(ctrl.GetSelectedItem(), Find("a"));  // the dragged item is selected
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::DragMoveCursor);
    Mouse(QEvent::MouseButtonRelease, At(Find("a1")), Qt::NoButton);
    EXPECT_FALSE(ctrl.IsDragging());
    EXPECT_EQ(Shape(), before);
    EXPECT_EQ(ctrl.GetDropHilightItem(), nullptr);
}

TEST_F(TagTreeCtrlTest, OverItsParentOrItselfTheCursorForbids)
{
    Drag(Find("a1"), Find("a"), Qt::NoModifier, false);
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::ForbiddenCursor);
    Mouse(QEvent::MouseMove, At(Find("a1")), Qt::LeftButton);
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::ForbiddenCursor);
    Mouse(QEvent::MouseMove, At(Find("b")), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::DragCopyCursor);
    EXPECT_EQ(ctrl.GetDropHilightItem(), Find("b"));
    const std::string before = Shape();
    Mouse(QEvent::MouseMove, At(Find("a")), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, At(Find("a")), Qt::NoButton);
    EXPECT_EQ(Shape(), before);
}

TEST_F(TagTreeCtrlTest, ADropMovesWithCtrlItCopies)
{
    ctrl.Expand(Find("b"), false);
    const TagData data = CTagTree::GetItemData(Find("a1"));
    Drag(Find("a"), Find("b"));
    EXPECT_EQ(Shape(), "root .b ..a ...a1 ...a2 ");
    TagItem moved = ctrl.GetSelectedItem();
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->text, "a");
    EXPECT_EQ(moved->parent, Find("b"));
    EXPECT_TRUE(Find("b")->expanded);
    EXPECT_TRUE(ctrl.ShownItem(Find("b"))->isExpanded());
    EXPECT_EQ(ctrl.Window()->currentItem(), ctrl.ShownItem(moved));
    EXPECT_EQ(CTagTree::GetItemData(Find("a1")), data);  // the data outlived the source

    EXPECT_FALSE(moved->expanded);  // a copy is collapsed
    ctrl.Expand(moved);
    Drag(Find("a2"), ctrl.GetRootItem(), Qt::ControlModifier);
    EXPECT_EQ(Shape(), "root .b ..a ...a1 ...a2 .a2 ");
    EXPECT_EQ(ctrl.GetSelectedItem(), ctrl.GetLastItem(nullptr));
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::ArrowCursor);
}

// The window may go before the control, and the control before its window's parent.
TEST(TagTreeCtrlLife, EitherMayGoFirst)
{
    CTagTreeCtrl ctrl;
    {
        QWidget host;
        ctrl.Create(&host);
        ctrl.Load("a\n\tb\n");
        ctrl.SelectItem(ctrl.GetLastItem(nullptr));
        host.show();
        QApplication::processEvents();
    }
    EXPECT_EQ(ctrl.Window(), nullptr);
    ctrl.InsertItem("c", nullptr);
    EXPECT_EQ(ctrl.GetCount(), 3u);

    QWidget host;
    {
        CTagTreeCtrl shown;
        shown.Create(&host);
        shown.Load("x\n\ty\n");
        shown.SelectItem(shown.GetRootItem());
    }
    EXPECT_TRUE(host.findChildren<QTreeWidget*>().isEmpty());
}

}  // namespace
