#pragma once
// The grid's data and arithmetic without a window: columns of texts with titles,
// widths and edit modes, cell colours, the active and top row, the page, the
// horizontal offset, scrolling, hit tests and the width drag. Pixels throughout.

#include <cstdint>
#include <string>
#include <vector>

class CListFrameModel final {
public:
    using ColorRef = std::uint32_t;

    static constexpr int kDefaultRowHeight = 14;

    // Scroll requests (the SB_ codes).
    enum ScrollCode : int {
        SB_LINEUP = 0,
        SB_LINEDOWN = 1,
        SB_PAGEUP = 2,
        SB_PAGEDOWN = 3,
        SB_THUMBPOSITION = 4,
        SB_THUMBTRACK = 5,
        SB_TOP = 6,
        SB_BOTTOM = 7,
    };

    struct Bar {
        int nMin = 0;
        int nMax = 0;
        int nPage = 0;
        int nPos = 0;
    };

    // Sets the grid up over a client area of clientWidth x clientHeight; the rows go.
    // False (and not ready) with fewer than one column.
    bool InitList(int columns, bool noHeader, bool noGrid, int clientWidth, int clientHeight,
                  int rowHeight = kDefaultRowHeight);
    bool Ready() const { return m_bReady; }

    int SetColName(int col, const std::string& title, int width);
    void SetEditMode(int col, int mode);
    int EditMode(int col) const;
    const std::string& Title(int col) const;
    int Width(int col) const;

    int AddRow();
    int InsertRow(int row);
    int DeleteRow(int row);
    int DeleteAllRows();
    int SetItem(int col, int row, const std::string& text);
    std::string GetItem(int col, int row) const;
    int GetIndex(int col, const std::string& text) const;
    // The texts of a column; null out of range or before InitList.
    const std::vector<std::string>* GetCol(int col) const;
    bool InRange(int col, int row) const;

    void SetItemColor(int col, int row, ColorRef colour);
    void ClearItemColor(int col, int row);
    int ColorIsNoWhite(int col, int row) const;
    ColorRef ItemColor(int col, int row) const;

    int Columns() const { return m_nColumns; }
    int Rows() const { return m_nRows; }
    int ActiveRow() const { return m_nActive; }
    void SetActiveRow(int row) { m_nActive = row; }
    int TopRow() const { return m_nTop; }
    void SetTopRow(int row) { m_nTop = row; }
    int RowsPerPage() const { return m_nRowsPerPage; }
    int VisibleRows() const { return m_nVisibleRows; }
    int TotalWidth() const { return m_nTotalWidth; }
    int ClientWidth() const { return m_nClientWidth; }
    int ClientHeight() const { return m_nClientHeight; }
    int RowHeight() const { return m_nRowHeight; }
    int HeaderHeight() const { return m_nHeaderHeight; }
    int Offset() const { return m_nOffset; }
    bool NoHeader() const { return m_bNoHeader; }
    bool NoGrid() const { return m_bNoGrid; }

    // Left x of a column and top y of a row on the client area.
    int ColumnX(int col) const;
    int RowY(int row) const;

    // What SetActiveIndex does to the top row before it paints: false when no row can
    // become active; row becomes the row that will be; invalidate tells whether the top
    // row moved.
    bool PlanActive(int& row, bool& invalidate);
    // Brings the active row into view: false without one.
    bool VisibleActiveIndex();

    // Scroll requests; true when the position changed.
    bool VScroll(int code, int pos);
    bool HScroll(int code, int pos);
    // Visible rows from the width, and the two bars' ranges.
    void UpdateBars();
    Bar VertBar() const;
    Bar HorzBar() const;

    // The column whose right border lies within a pixel of x, -1 for none.
    int BorderAt(int x) const;
    // The column under x: the first whose border - 3 lies right of x, else the last.
    int ColumnAt(int x) const;
    // The row under y (may be past the last row); -1 on the header.
    int RowAt(int y) const;
    // Bottom of the drag line: the end of the last row.
    int DragLineBottom() const;
    // The end of a width drag of col by dx pixels: its new width.
    int EndDrag(int col, int dx);

    // A key in the grid: the row to make active (-1 none) and the WM_USER+554 wParam to
    // post (0 none).
    struct KeyAction {
        int activate = -1;
        int notice = 0;
    };
    KeyAction Key(int vk) const;

private:
    struct CellColour {
        ColorRef colour = 0;
        bool set = false;
    };
    void SumWidths();
    // Border right of column col: one past its grid line.
    int Border(int col) const;

    std::vector<int> m_editModes;
    std::vector<std::vector<std::string>> m_cols;  // per column, one text a row
    std::vector<std::vector<CellColour>> m_colours;  // per row, one a column
    std::vector<std::string> m_titles;
    std::vector<int> m_widths;
    bool m_bReady = false;
    bool m_bNoHeader = false;
    bool m_bNoGrid = false;
    int m_nColumns = 0;
    int m_nRows = 0;
    int m_nRowsPerPage = 0;
    int m_nVisibleRows = 0;
    int m_nTotalWidth = 0;
    int m_nClientWidth = 0;
    int m_nClientHeight = 0;
    int m_nActive = -1;
    int m_nTop = 0;
    int m_nRowHeight = kDefaultRowHeight;
    int m_nHeaderHeight = 0;
    int m_nOffset = 0;
};
