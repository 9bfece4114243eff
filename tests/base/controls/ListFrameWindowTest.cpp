// The grid offscreen: its painting (titles, active row, cell colours, grid lines),
// clicks, keys, the width drag with its inverted line, scrolling and the in-place
// editor, with the notices recorded at a test parent.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogTemplate.h"
#include "platform/windows/VirtualKey.h"
#include "platform/windows/WindowHandle.h"
#include "controls/ControlMessages.h"
#include "controls/DisEdit.h"
#include "controls/ListFrame.h"

namespace {

struct Notice {
    unsigned msg;
    plat::WParam w;
    plat::LParam l;
};

unsigned Pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFFu;
}

class ListFrameWindowTest : public ::testing::Test {
protected:
    ListFrameWindowTest()
    {
        m_hParent = plat::WindowHandle::Attach(&m_parent, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            m_notices.push_back({msg, w, l});
            return plat::LResult(0);
        });
        const int ext = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        m_parent.resize(400, 300);
        m_other = new QLineEdit(&m_parent);
        m_other->setGeometry(0, 260, 100, 20);
        m_grid = new CListFrame(&m_parent);
        // A grid area of 300 x 200 pixels inside the bars.
        m_grid->setGeometry(0, 0, 300 + ext, 200 + ext);
        m_parent.show();
        QApplication::setActiveWindow(&m_parent);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_parent));
        EXPECT_EQ(m_grid->InitList(&m_parent, 5, 0, 0), 1);
        const char* titles[] = {"Index", "A", "B", "C", "D"};
        for (int c = 0; c < 5; ++c)
            m_grid->SetColName(c, titles[c], 58);
        for (int r = 0; r < 30; ++r) {
            m_grid->AddRow();
            m_grid->SetItem(0, r, std::to_string(r));
            m_grid->SetItem(2, r, std::to_string(r * 10));
        }
        m_grid->SetEditMode(2, 2);
        m_grid->UpdateList();
    }

    std::vector<Notice> Notices()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return std::exchange(m_notices, {});
    }

    // The only notice that came, or {0, 0, 0}.
    Notice One()
    {
        const std::vector<Notice> n = Notices();
        EXPECT_EQ(n.size(), 1u);
        return n.size() == 1 ? n[0] : Notice{0, 0, 0};
    }

    QImage Screen()
    {
        m_grid->UpdateWindow();
        return m_grid->Buffer().copy();
    }

    // A point inside row r, column c.
    QPoint Cell(int c, int r) const
    {
        const CListFrameModel& m = m_grid->Model();
        return QPoint(m.ColumnX(c) + 10, m.RowY(r) + 5);
    }

    QWidget m_parent;
    plat::WindowHandle m_hParent;
    QLineEdit* m_other = nullptr;
    CListFrame* m_grid = nullptr;
    std::vector<Notice> m_notices;
};

TEST_F(ListFrameWindowTest, PaintsTitlesRowsColoursAndLines)
{
    m_grid->SetItemColor(1, 2, 0x0000FF);
    m_grid->UpdateList();
    m_other->setFocus();
    QImage s = Screen();
    s.save(QString::fromUtf8(::testing::TempDir().c_str()) + "listframe.png");
    // The raised title box of column 0 over (0, 0, 58, 16).
    EXPECT_EQ(Pixel(s, 30, 16), 0x000000u) << "box bottom";
    EXPECT_EQ(Pixel(s, 58, 8), 0x000000u) << "box right";
    EXPECT_EQ(Pixel(s, 30, 0), 0xD8D8D8u) << "box top";
    EXPECT_EQ(Pixel(s, 0, 8), 0xD8D8D8u) << "box left";
    EXPECT_EQ(Pixel(s, 30, 15), 0x606060u) << "inner bottom";
    EXPECT_EQ(Pixel(s, 57, 8), 0x606060u) << "inner right";
    EXPECT_EQ(Pixel(s, 30, 1), 0xFFFFFFu) << "inner top";
    EXPECT_EQ(Pixel(s, 1, 8), 0xFFFFFFu) << "inner left";
    EXPECT_EQ(Pixel(s, 55, 8), 0xC0C0C0u) << "face";
    // Row 0 is active: grey without the focus, its text white.
    EXPECT_EQ(Pixel(s, 50, 20), 0x909090u);
    EXPECT_EQ(Pixel(s, 50, 17 + 15 + 5), 0xFFFFFFu) << "row 1";
    // Row 2's cell of column 1 in its own colour (red), its text in the inverse.
    EXPECT_EQ(Pixel(s, 59 + 50, 17 + 30 + 5), 0xFF0000u);
    // Grid lines right of each cell and under each row.
    EXPECT_EQ(Pixel(s, 58, 17 + 15 + 5), 0xC0C0C0u);
    EXPECT_EQ(Pixel(s, 117, 17 + 15 + 5), 0xC0C0C0u);
    EXPECT_EQ(Pixel(s, 40, 17 + 14), 0xC0C0C0u);
    // Past the last column the rows are white.
    EXPECT_EQ(Pixel(s, 297, 17 + 15 + 5), 0xFFFFFFu);

    // With the focus the active row turns black.
    m_grid->setFocus();
    s = Screen();
    EXPECT_EQ(Pixel(s, 50, 20), 0x000000u);
    m_other->setFocus();
    EXPECT_EQ(Pixel(Screen(), 50, 20), 0x909090u);
}

TEST_F(ListFrameWindowTest, ClicksAndKeysMoveTheActiveRow)
{
    Notices();
    QTest::mouseClick(m_grid, Qt::LeftButton, {}, Cell(1, 0));
    Notice n = One();
    EXPECT_EQ(n.msg, WM_LISTFRAME_SAMEROW);
    EXPECT_EQ(n.w, 38u);
    EXPECT_EQ(n.l, plat::LParam(m_grid));
    EXPECT_EQ(m_grid->GetActiveIndex(), 0);
    EXPECT_EQ(m_grid->GetLastActiveColIndex(), 1);

    QTest::mouseClick(m_grid, Qt::LeftButton, {}, Cell(3, 3));
    n = One();
    EXPECT_EQ(n.msg, WM_LISTFRAME_ROW);
    EXPECT_EQ(n.w, 38u);
    EXPECT_EQ(m_grid->GetActiveIndex(), 3);
    EXPECT_EQ(m_grid->GetLastActiveColIndex(), 3);
    QImage s = Screen();
    EXPECT_EQ(Pixel(s, 50, m_grid->Model().RowY(3) + 5), 0x000000u) << "the fill moved, focused";
    EXPECT_EQ(Pixel(s, 50, m_grid->Model().RowY(0) + 5), 0xFFFFFFu);

    const struct {
        Qt::Key key;
        int active;
        unsigned msg;
        plat::WParam w;
    } keys[] = {
        {Qt::Key_PageDown, 3 + 12 - 1, WM_LISTFRAME_ROW, 38}, {Qt::Key_PageUp, 3, WM_LISTFRAME_ROW, 38},
        {Qt::Key_Up, 2, WM_LISTFRAME_ROW, 38},                {Qt::Key_Down, 3, WM_LISTFRAME_ROW, 38},
        {Qt::Key_Return, 3, WM_LISTFRAME_ROW, 13},            {Qt::Key_A, 3, WM_LISTFRAME_ROW, 'A'},
    };
    for (const auto& k : keys) {
        QTest::keyClick(m_grid, k.key);
        EXPECT_EQ(m_grid->GetActiveIndex(), k.active) << k.key;
        n = One();
        EXPECT_EQ(n.msg, k.msg) << k.key;
        EXPECT_EQ(n.w, k.w) << k.key;
    }
    EXPECT_EQ(m_grid->Model().TopRow(), 2) << "PgDn scrolled down, Up a row back";
    m_grid->SetActiveIndex(0);
    QTest::keyClick(m_grid, Qt::Key_Up);
    EXPECT_TRUE(Notices().empty()) << "Up on the first row";
}

TEST_F(ListFrameWindowTest, BorderDragInvertsItsLineAndSetsTheWidth)
{
    const struct {
        int drag, width;
    } drags[] = {{-30, 2}, {-19, 1}, {15, 35}};
    for (const auto& d : drags) {
        m_grid->SetColName(1, "A", 20);
        m_grid->UpdateList();
        const int border = m_grid->Model().ColumnX(1) + 20 + 1;
        const QImage before = Screen();
        QTest::mousePress(m_grid, Qt::LeftButton, {}, QPoint(border, 5));
        EXPECT_TRUE(m_grid->IsDragging());
        QImage s = Screen();
        EXPECT_EQ(Pixel(s, border, 5), ~Pixel(before, border, 5) & 0xFFFFFFu) << "the line inverts";
        EXPECT_EQ(Pixel(s, border, 17 + 20), ~Pixel(before, border, 17 + 20) & 0xFFFFFFu);
        QTest::mouseMove(m_grid, QPoint(border + d.drag, 5));
        s = Screen();
        EXPECT_EQ(Pixel(s, border, 5), Pixel(before, border, 5)) << "the old line is gone";
        EXPECT_EQ(Pixel(s, border + d.drag, 5), ~Pixel(before, border + d.drag, 5) & 0xFFFFFFu);
        QTest::mouseRelease(m_grid, Qt::LeftButton, {}, QPoint(border + d.drag, 5));
        EXPECT_FALSE(m_grid->IsDragging());
        EXPECT_EQ(m_grid->Model().Width(1), d.width) << d.drag;
        EXPECT_EQ(m_grid->Model().TotalWidth(), 4 * 59 + d.width + 1);
    }
}

TEST_F(ListFrameWindowTest, ScrollBarsScrollTheRows)
{
    QScrollBar* v = m_grid->Bar(plat::SB_VERT);
    QScrollBar* h = m_grid->Bar(plat::SB_HORZ);
    EXPECT_TRUE(v->isVisible());
    EXPECT_TRUE(v->isEnabled());
    EXPECT_TRUE(h->isVisible());
    EXPECT_FALSE(h->isEnabled()) << "the columns fit";
    v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(m_grid->Model().TopRow(), 1);
    EXPECT_EQ(v->value(), 2);
    v->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(m_grid->Model().TopRow(), 30 - 12);
    // The first row shown is now row 18.
    EXPECT_EQ(m_grid->GetItem(0, m_grid->Model().RowAt(17)), "18");
    v->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(m_grid->Model().TopRow(), 18 - 12);

    m_grid->SetColName(0, "Index", 200);
    m_grid->UpdateList();
    EXPECT_TRUE(h->isEnabled());
    h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(m_grid->Model().Offset(), 5);
}

TEST_F(ListFrameWindowTest, EditorOpensChangesAndCloses)
{
    m_grid->SetActiveIndex(4);
    Notices();
    // A double click on a column that is not editable opens nothing.
    QTest::mouseDClick(m_grid, Qt::LeftButton, {}, Cell(1, 4));
    EXPECT_FALSE(m_grid->IsEditorShown());
    Notices();

    QTest::mouseDClick(m_grid, Qt::LeftButton, {}, Cell(2, 4));
    ASSERT_TRUE(m_grid->IsEditorShown()) << m_grid->GetLastActiveColIndex() << " " << m_grid->GetActiveIndex();
    std::vector<Notice> n = Notices();
    const auto has = [&](unsigned msg, plat::WParam w) {
        return std::any_of(n.begin(), n.end(), [&](const Notice& x) { return x.msg == msg && x.w == w; });
    };
    EXPECT_TRUE(has(WM_LISTFRAME_ROW, 13));
    EXPECT_TRUE(has(WM_LISTFRAME_EDITOPEN, 0));
    int col = -1, row = -1;
    ASSERT_EQ(m_grid->GetEditItem(&col, &row), 1);
    EXPECT_EQ(col, 2);
    EXPECT_EQ(row, 4);
    CDisEdit* editor = m_grid->Editor();
    EXPECT_EQ(editor->text().toStdString(), "40");
    EXPECT_EQ(editor->Mode(), 2);
    EXPECT_EQ(editor->GetCurPos(), 2);
    EXPECT_EQ(QApplication::focusWidget(), editor);
    EXPECT_EQ(editor->geometry(), QRect(m_grid->Model().ColumnX(2), m_grid->Model().RowY(4), 57, 13));

    // A letter leaves the cell; each change posts 558.
    QTest::keyClicks(editor, "x");
    EXPECT_EQ(m_grid->GetItem(2, 4), "40");
    n = Notices();
    EXPECT_TRUE(has(WM_LISTFRAME_EDITCHANGE, 0));
    QTest::keyClicks(editor, "5");
    EXPECT_EQ(m_grid->GetItem(2, 4), "405");
    n = Notices();
    EXPECT_TRUE(has(WM_LISTFRAME_EDITCHANGE, 0));

    // Another cell's text does not flow through the editor; the edited cell's does.
    m_grid->SetItem(2, 7, "777");
    EXPECT_EQ(editor->text().toStdString(), "405");
    EXPECT_EQ(m_grid->GetItem(2, 4), "405");
    m_grid->SetItem(2, 4, "9");
    EXPECT_EQ(editor->text().toStdString(), "9");
    EXPECT_EQ(m_grid->GetItem(2, 4), "9");

    // The cell went away under the editor: nothing is written anywhere.
    m_grid->DeleteAllRows();
    QTest::keyClicks(editor, "1");
    EXPECT_EQ(m_grid->GetRows(), 0);
    m_grid->AddRow();

    // Losing the focus closes it.
    Notices();
    m_other->setFocus();
    EXPECT_FALSE(m_grid->IsEditorShown());
    EXPECT_FALSE(editor->isVisible());
    n = Notices();
    EXPECT_TRUE(has(WM_LISTFRAME_EDITCLOSE, 0));
    EXPECT_EQ(m_grid->GetEditItem(&col, &row), 0);
}

TEST(ListFrameWindow, RefusesNoColumnsAndPaintsNothingBeforeSetUp)
{
    QWidget parent;
    auto* grid = new CListFrame(&parent);
    grid->resize(200, 100);
    parent.show();
    EXPECT_EQ(grid->InitList(&parent, 0, 0, 0), 0);
    EXPECT_EQ(grid->AddRow(), 0);
    EXPECT_EQ(grid->SetActiveIndex(0), 0);
    EXPECT_EQ(grid->VisibleActiveIndex(), 0);
    grid->UpdateWindow();
    EXPECT_EQ(Pixel(grid->Buffer(), 20, 20), 0xFFFFFFu);
    EXPECT_FALSE(grid->Bar(plat::SB_VERT)->isEnabled());
}

}  // namespace

namespace {

const plat::ControlTemplate kGridRows[] = {
    {2016, plat::ControlKind::Static, 7, 7, 180, 100, "", plat::CS_NONE},
};
const plat::DialogTemplate kGridDialog{901, "Grid", "MS Sans Serif", 8, 193, 135, kGridRows, std::size(kGridRows)};

// In a dialog: Enter on the grid is the grid's alone; Enter in its editor is the dialog's OK.
TEST(ListFrameWindow, EnterInADialog)
{
    plat::Dialog dialog(kGridDialog);
    std::vector<Notice> notices;
    dialog.SetMessageHandler([&](unsigned msg, plat::WParam w, plat::LParam l) {
        notices.push_back({msg, w, l});
        return plat::LResult(0);
    });
    int oks = 0;
    dialog.SetOkHandler([&] { ++oks; });
    CListFrame* grid = CListFrame::SubclassDlgItem(2016, &dialog);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(dialog.Control(2016), grid);
    ASSERT_EQ(grid->InitList(&dialog, 3, 0, 0), 1);
    grid->SetEditMode(1, 1);
    grid->AddRow();
    grid->AddRow();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    grid->setFocus();
    QCoreApplication::processEvents();
    notices.clear();
    QTest::keyClick(grid, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(oks, 0);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, WM_LISTFRAME_ROW);
    EXPECT_EQ(notices[0].w, 13u);

    grid->OpenEditor(1, 1);
    ASSERT_TRUE(grid->IsEditorShown());
    QCoreApplication::processEvents();
    notices.clear();
    QTest::keyClick(grid->Editor(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(oks, 1);
    for (const Notice& n : notices)
        EXPECT_NE(n.msg, WM_LISTFRAME_ROW) << "the grid does not see the editor's Enter";
}

}  // namespace
