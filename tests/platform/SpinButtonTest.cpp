#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

#include "platform/dialogs/SpinButton.h"

namespace {

void Key(QWidget* w, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

}  // namespace

TEST(SpinButton, StepsItsBuddyWithinTheRangeWhileTheEditStaysFree)
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(10, 10, 80, 20);
    auto* spin = new plat::SpinButton(edit);
    // Aligned right: the arrows take the right end of the edit's place.
    EXPECT_EQ(spin->geometry().right(), 89);
    EXPECT_EQ(edit->geometry().right() + 1, spin->geometry().left());
    spin->SetRange(1, 5);
    spin->SetPos(4);
    EXPECT_EQ(edit->text(), "4");

    struct Case {
        const char* typed;  // nullptr: leave the text
        int delta;
        const char* after;
    };
    const Case cases[] = {
        {nullptr, 1, "5"}, {nullptr, 1, "5"},  // stops at the upper end
        {"1", -1, "1"},                        // and at the lower end
        {"40", 1, "5"},                        // a typed value above the range comes back into it
        {"-7", -1, "1"},  {"abc", 1, "2"},     // no number: from the last position
        {" 3 ", 1, "4"},
    };
    for (const Case& c : cases) {
        if (c.typed)
            edit->setText(c.typed);
        if (c.delta > 0)
            spin->UpArrow()->click();
        else
            spin->DownArrow()->click();
        EXPECT_EQ(edit->text().toStdString(), c.after) << (c.typed ? c.typed : "") << " " << c.delta;
    }
    // Typing leaves the text as it is, even outside the range.
    edit->setText("99");
    EXPECT_EQ(spin->Pos(), 99);
    EXPECT_EQ(edit->text(), "99");
    // The arrow keys in the edit step too.
    edit->setText("2");
    Key(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), "3");
    Key(edit, Qt::Key_Down);
    Key(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), "1");
}
