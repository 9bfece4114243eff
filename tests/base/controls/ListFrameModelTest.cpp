// The grid's model without a window: set-up, rows and cells, colours, the active and
// top rows, scrolling, hit tests, the width drag and the keys.

#include <gtest/gtest.h>

#include "controls/ListFrameModel.h"

namespace {

using M = CListFrameModel;

// 5 columns over 300 x 200 pixels: header 17, rows 15 apart, 12 rows a page.
M Grid(int rows, int columns = 5)
{
    M m;
    EXPECT_TRUE(m.InitList(columns, false, false, 300, 200));
    for (int i = 0; i < rows; ++i)
        m.AddRow();
    m.UpdateBars();
    return m;
}

TEST(ListFrameModel, SetUpAndCallsBeforeIt)
{
    M none;
    EXPECT_EQ(none.AddRow(), 0);
    EXPECT_EQ(none.InsertRow(0), -1);
    EXPECT_EQ(none.DeleteRow(0), 0);
    EXPECT_EQ(none.DeleteAllRows(), 0);
    EXPECT_EQ(none.SetItem(0, 0, "x"), 0);
    EXPECT_EQ(none.GetItem(0, 0), "");
    EXPECT_EQ(none.GetIndex(0, "x"), -1);
    EXPECT_EQ(none.SetColName(0, "A", 10), 0);
    EXPECT_EQ(none.GetCol(0), nullptr);
    int row = 0;
    bool inv = false;
    EXPECT_FALSE(none.PlanActive(row, inv));

    M m = Grid(0);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(m.Width(c), 58);
    EXPECT_EQ(m.TotalWidth(), 295);
    EXPECT_EQ(m.HeaderHeight(), 17);
    EXPECT_EQ(m.RowsPerPage(), (200 - 17) / 15);
    EXPECT_EQ(m.ActiveRow(), -1);

    // No columns is refused instead of dividing by zero.
    M zero;
    EXPECT_FALSE(zero.InitList(0, false, false, 300, 200));
    EXPECT_FALSE(zero.Ready());
    EXPECT_EQ(zero.AddRow(), 0);

    M noHeader;
    ASSERT_TRUE(noHeader.InitList(2, true, true, 100, 150));
    EXPECT_EQ(noHeader.HeaderHeight(), 0);
    EXPECT_EQ(noHeader.RowsPerPage(), 10);
}

TEST(ListFrameModel, RowsCellsAndColours)
{
    M m = Grid(0);
    EXPECT_EQ(m.AddRow(), 1);
    EXPECT_EQ(m.ActiveRow(), 0);
    EXPECT_EQ(m.GetItem(3, 0), " ");
    m.AddRow();
    m.AddRow();
    for (int r = 0; r < 3; ++r)
        m.SetItem(0, r, "r" + std::to_string(r));
    m.SetItemColor(1, 1, 0x123456);
    EXPECT_EQ(m.InsertRow(0), 0);
    EXPECT_EQ(m.Rows(), 4);
    EXPECT_EQ(m.GetItem(0, 0), "");
    EXPECT_EQ(m.GetItem(0, 1), "r0");
    EXPECT_EQ(m.GetItem(0, 2), "r1");
    EXPECT_EQ(m.ColorIsNoWhite(1, 2), 1) << "colours move down with their rows";
    EXPECT_EQ(m.ItemColor(1, 2), 0x123456u);
    EXPECT_EQ(m.ColorIsNoWhite(1, 1), 0);
    EXPECT_EQ(m.InsertRow(10), 4) << "past the end appends";
    EXPECT_EQ(m.InsertRow(-1), -1);
    EXPECT_EQ(m.GetIndex(0, "r1"), 2);
    EXPECT_EQ(m.GetIndex(0, "zz"), -1);
    EXPECT_EQ(m.GetIndex(7, "r1"), -1);
    ASSERT_NE(m.GetCol(0), nullptr);
    EXPECT_EQ(m.GetCol(0)->size(), 5u);
    EXPECT_EQ(m.GetCol(5), nullptr);
    EXPECT_EQ(m.SetItem(5, 0, "x"), 0);
    EXPECT_EQ(m.SetItem(0, 5, "x"), 0);
    m.ClearItemColor(1, 2);
    EXPECT_EQ(m.ColorIsNoWhite(1, 2), 0);
    m.SetItemColor(9, 9, 1);
    EXPECT_EQ(m.ColorIsNoWhite(9, 9), 0);

    // The active row moves one up whenever it is not 0.
    M d = Grid(8);
    d.SetActiveRow(2);
    EXPECT_EQ(d.DeleteRow(5), 1);
    EXPECT_EQ(d.ActiveRow(), 1);
    EXPECT_EQ(d.DeleteRow(-1), 0);
    EXPECT_EQ(d.DeleteRow(7), 0);
    EXPECT_EQ(d.DeleteAllRows(), 1);
    EXPECT_EQ(d.ActiveRow(), -1);
    EXPECT_EQ(d.DeleteAllRows(), 0);
    EXPECT_EQ(d.AddRow(), 1);
    EXPECT_EQ(d.ColorIsNoWhite(0, 0), 0);

    // A second set-up starts without rows.
    ASSERT_TRUE(d.InitList(2, false, false, 300, 200));
    EXPECT_EQ(d.Rows(), 0);
    EXPECT_EQ(d.GetItem(0, 0), "");
    EXPECT_EQ(d.AddRow(), 1);

    m.SetEditMode(-1, 2);
    m.SetEditMode(0, 0);
    m.SetEditMode(9, 3);
    EXPECT_EQ(m.EditMode(0), 0);
    EXPECT_EQ(m.EditMode(4), 2);
}

TEST(ListFrameModel, ActiveRowAndScrolling)
{
    M m = Grid(40);
    const int page = m.VisibleRows();
    ASSERT_EQ(page, 12);
    int row = 20;
    bool inv = false;
    ASSERT_TRUE(m.PlanActive(row, inv));
    EXPECT_TRUE(inv);
    EXPECT_EQ(m.TopRow(), 20 - page + 1);
    row = 99;
    ASSERT_TRUE(m.PlanActive(row, inv));
    EXPECT_EQ(row, 39);
    row = 3;
    ASSERT_TRUE(m.PlanActive(row, inv));
    EXPECT_EQ(m.TopRow(), 3);
    row = -2;
    EXPECT_FALSE(m.PlanActive(row, inv));

    const struct {
        int code, pos, wantTop;
    } steps[] = {
        {M::SB_TOP, 0, 0},          {M::SB_LINEDOWN, 0, 1},     {M::SB_LINEUP, 0, 0},
        {M::SB_LINEUP, 0, 0},       {M::SB_PAGEDOWN, 0, 12},    {M::SB_THUMBTRACK, 20, 19},
        {M::SB_BOTTOM, 0, 40 - 12}, {M::SB_PAGEUP, 0, 28 - 12}, {M::SB_THUMBPOSITION, 1000, 28},
    };
    for (const auto& s : steps) {
        m.VScroll(s.code, s.pos);
        EXPECT_EQ(m.TopRow(), s.wantTop) << s.code << " " << s.pos;
    }
    EXPECT_EQ(m.VertBar().nPos, 29);
    EXPECT_EQ(m.VertBar().nMax, 40);

    // Nothing to scroll: no rows, columns within the client.
    M empty = Grid(0);
    EXPECT_FALSE(empty.VScroll(M::SB_LINEDOWN, 0));
    EXPECT_EQ(empty.TopRow(), 0);
    EXPECT_FALSE(empty.HScroll(M::SB_PAGEDOWN, 0));
    EXPECT_EQ(empty.Offset(), 0);

    // Wide columns scroll by 5 pixels a line up to total - client.
    ASSERT_EQ(m.SetColName(0, "Wide", 400), 1);
    m.UpdateBars();
    EXPECT_EQ(m.TotalWidth(), 401 + 4 * 59);
    EXPECT_EQ(m.VisibleRows(), 11) << "a needed horizontal bar takes a row";
    m.HScroll(M::SB_LINEDOWN, 0);
    EXPECT_EQ(m.Offset(), 5);
    m.HScroll(M::SB_BOTTOM, 0);
    EXPECT_EQ(m.Offset(), m.TotalWidth() - 300);
    m.HScroll(M::SB_PAGEUP, 0);
    EXPECT_EQ(m.Offset(), m.TotalWidth() - 600);
    m.HScroll(M::SB_TOP, 0);
    EXPECT_EQ(m.Offset(), 0);

    M v = Grid(30);
    v.SetActiveRow(25);
    EXPECT_TRUE(v.VisibleActiveIndex());
    EXPECT_EQ(v.TopRow(), 25 - 12);
    v.SetActiveRow(-1);
    EXPECT_FALSE(v.VisibleActiveIndex());
}

TEST(ListFrameModel, HitTestsAndWidthDrag)
{
    M m = Grid(3);
    // Column 0 ends at 57, its grid line at 58, its border (one past) at 59.
    EXPECT_EQ(m.BorderAt(58), 0);
    EXPECT_EQ(m.BorderAt(60), 0);
    EXPECT_EQ(m.BorderAt(61), -1);
    EXPECT_EQ(m.BorderAt(118), 1);
    EXPECT_EQ(m.ColumnAt(10), 0);
    EXPECT_EQ(m.ColumnAt(56), 1);
    EXPECT_EQ(m.ColumnAt(1000), 4);
    EXPECT_EQ(m.RowAt(5), -1);
    EXPECT_EQ(m.RowAt(17), 0);
    EXPECT_EQ(m.RowAt(17 + 15), 1);
    EXPECT_EQ(m.DragLineBottom(), 17 + 15 * 3);
    EXPECT_EQ(m.ColumnX(2), 118);
    EXPECT_EQ(m.RowY(2), 17 + 30);

    ASSERT_EQ(m.SetColName(1, "B", 20), 1);
    EXPECT_EQ(m.EndDrag(1, -30), 2);
    ASSERT_EQ(m.SetColName(1, "B", 20), 1);
    EXPECT_EQ(m.EndDrag(1, -19), 1);
    EXPECT_EQ(m.EndDrag(1, 10), 11);
    EXPECT_EQ(m.EndDrag(9, 10), 0);

    // A narrower total brings a scrolled offset back.
    M w = Grid(1);
    w.SetColName(0, "Wide", 500);
    w.HScroll(M::SB_BOTTOM, 0);
    ASSERT_GT(w.Offset(), 0);
    w.EndDrag(0, -400);
    EXPECT_EQ(w.Offset(), w.TotalWidth() - 300) << "the columns still fill the client";
    w.EndDrag(0, -90);
    EXPECT_EQ(w.Offset(), 0);
}

TEST(ListFrameModel, Keys)
{
    M m = Grid(30);
    m.SetActiveRow(20);
    const struct {
        int vk, activate, notice;
    } keys[] = {{33, 20 - 12 + 1, 38}, {34, 20 + 12 - 1, 38}, {38, 19, 38}, {40, 21, 38}, {13, -1, 0}, {65, -1, 65}};
    for (const auto& k : keys) {
        const M::KeyAction a = m.Key(k.vk);
        EXPECT_EQ(a.activate, k.activate) << k.vk;
        EXPECT_EQ(a.notice, k.notice) << k.vk;
    }
    m.SetActiveRow(0);
    EXPECT_EQ(m.Key(38).notice, 0) << "Up on the first row";
    EXPECT_EQ(m.Key(33).activate, 0);
    m.SetActiveRow(29);
    EXPECT_EQ(m.Key(40).notice, 0) << "Down on the last row";
}

}  // namespace
