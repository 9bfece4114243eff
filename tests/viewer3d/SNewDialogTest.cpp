// The new-object dialog: categories, leaves with their images, Ok and double clicks.

#include "Viewer3DTestSupport.h"

#include "viewer3d/forms/SFlatCaption.h"
#include "viewer3d/project/SNodes.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

namespace {

class NewDialog : public Viewer3DTest {
protected:
    // Root: "Cat A" (leaves a1, a2), leaf x, "Cat B" (leaf b1, "Cat C" (leaf c1), leaf b2)
    NewDialog()
    {
        auto add = [](TSDataBranch* Parent, const char* Name) {
            TSDataBranch* child = TSDataBranch::Create(Name, &TTestAdminItem::ClassInfo);
            Parent->AddChild(child);
            return child;
        };
        TSDataBranch* a = add(Tree.get(), "Cat A");
        add(a, "a1");
        add(a, "a2");
        Leaf = add(Tree.get(), "x");
        TSDataBranch* b = add(Tree.get(), "Cat B");
        add(b, "b1");
        TSDataBranch* c = add(b, "Cat C");
        add(c, "c1");
        add(b, "b2");
        B = b;
    }
    std::unique_ptr<TSDataBranch> Tree{TSDataBranch::Create("root")};
    TSDataBranch* Leaf = nullptr;
    TSDataBranch* B = nullptr;
};

std::vector<std::string> ListTexts(const TSNewDialog& Dialog)
{
    std::vector<std::string> texts;
    for (int i = 0; i < Dialog.ListView1()->count(); ++i)
        texts.push_back(Dialog.ListView1()->item(i)->text().toStdString());
    return texts;
}

TEST_F(NewDialog, ALeafAsInitialBranchSelectsTheFirstCategory)
{
    TSNewDialog dialog;
    EXPECT_EQ(dialog.Caption()->Text(), "SNew Dialog");
    dialog.ShowTree(Tree.get());
    ASSERT_EQ(dialog.TreeView1()->topLevelItemCount(), 2);  // categories only
    EXPECT_EQ(dialog.TreeView1()->topLevelItem(1)->childCount(), 1);
    EXPECT_TRUE(dialog.TreeView1()->topLevelItem(1)->isExpanded());
    dialog.SelectBranch(Leaf);
    EXPECT_EQ(BranchOfNode(dialog.TreeView1()->currentItem()), Tree->GetChild(0));
    EXPECT_EQ(ListTexts(dialog), (std::vector<std::string>{"a1", "a2"}));
}

TEST_F(NewDialog, LeavesTakeTheImageOfTheirPlaceAmongAllSiblings)
{
    TSNewDialog dialog;
    dialog.ShowTree(Tree.get());
    dialog.SelectBranch(B);
    ASSERT_EQ(ListTexts(dialog), (std::vector<std::string>{"b1", "b2"}));
    EXPECT_EQ(dialog.ListView1()->item(0)->data(TSNewDialog::ImageIndexRole).toInt(), 0);
    EXPECT_EQ(dialog.ListView1()->item(1)->data(TSNewDialog::ImageIndexRole).toInt(), 2);
    // A leaf after one category: image 1.
    std::unique_ptr<TSDataBranch> tree(TSDataBranch::Create("root"));
    TSDataBranch* group = TSDataBranch::Create("group");
    tree->AddChild(group);
    TSDataBranch* inner = TSDataBranch::Create("inner");
    group->AddChild(inner);
    inner->AddChild(TSDataBranch::Create("deep"));
    group->AddChild(TSDataBranch::Create("leaf"));
    dialog.ShowTree(tree.get());
    dialog.SelectBranch(group);
    ASSERT_EQ(ListTexts(dialog), std::vector<std::string>{"leaf"});
    EXPECT_EQ(dialog.ListView1()->item(0)->data(TSNewDialog::ImageIndexRole).toInt(), 1);
}

TEST_F(NewDialog, OkNeedsASelection)
{
    struct Case {
        const char* Name;
        bool SelectFirst;
        bool PressOk;
        bool Result;
    };
    const Case cases[] = {
        {"Ok with a leaf", true, true, true},
        {"Ok without a leaf", false, true, false},
        {"Cancel with a leaf", true, false, false},
    };
    for (const Case& c : cases) {
        bool okEnabled = false;
        WhenNewDialog([&](TSNewDialog& Dialog) {
            if (c.SelectFirst)
                Dialog.ListView1()->item(0)->setSelected(true);
            okEnabled = Dialog.OkBtn()->isEnabled();
            if (c.PressOk)
                Dialog.done(1);  // as Ok would, enabled or not
            else
                Dialog.CancelBtn()->click();
        });
        TSDataBranch* chosen = Leaf;
        const bool result = TSNewDialog::Execute(Tree.get(), B, chosen);
        EXPECT_EQ(result, c.Result) << c.Name;
        EXPECT_EQ(okEnabled, c.SelectFirst) << c.Name;
        if (c.Result) {
            ASSERT_NE(chosen, nullptr);
            EXPECT_EQ(chosen->Name(), "b1") << c.Name;
        } else {
            EXPECT_EQ(chosen, nullptr) << c.Name;
        }
    }
}

TEST_F(NewDialog, ADoubleClickClosesOnAnItemOnly)
{
    TSNewDialog dialog;
    dialog.ShowTree(Tree.get());
    dialog.SelectBranch(B);
    dialog.show();
    QCoreApplication::processEvents();
    QWidget* viewport = dialog.ListView1()->viewport();
    auto doubleClick = [&](QPoint At) {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                  QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, QPointF(At), viewport->mapToGlobal(QPointF(At)), Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        }
    };
    doubleClick(QPoint(viewport->width() - 3, viewport->height() - 3));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    const QRect item = dialog.ListView1()->visualItemRect(dialog.ListView1()->item(1));
    doubleClick(item.center());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(dialog.ChosenBranch()->Name(), "b2");
}

}  // namespace
