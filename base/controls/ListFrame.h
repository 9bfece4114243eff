#pragma once
// A small grid that draws itself: raised column titles, rows of text cells, optional
// grid lines, an active row in a dark fill, cells with their own colours, columns whose
// width the user drags, scrolling by rows and by pixels, and an in-place CDisEdit over
// a cell of an editable column on a double click. It keeps its data itself
// (ListFrameModel.h) and reports to the window it lies in with WM_LISTFRAME_ROW to
// WM_LISTFRAME_EDITCHANGE (ControlMessages.h), lParam the grid.

#include <QPoint>
#include <string>
#include <vector>

#include "platform/paint/BufferedWindow.h"
#include "controls/ListFrameModel.h"

class CDisEdit;
class QScrollBar;

namespace plat {
class Dialog;
}

class CListFrame : public plat::BufferedWindow {
public:
    static constexpr unsigned kEditorId = 250;

    explicit CListFrame(QWidget* parent = nullptr);
    ~CListFrame() override;
    // A widget is neither copied nor moved.
    CListFrame(const CListFrame&) = delete;
    CListFrame& operator=(const CListFrame&) = delete;

    // A new grid in the place of control id of dialog (a list view's placeholder).
    static CListFrame* SubclassDlgItem(unsigned id, plat::Dialog* dialog);

    // 1 on success, 0 with fewer than one column (the grid then stays not ready).
    int InitList(QWidget* owner, int columns, int noHeader, int noGrid);
    int SetColName(int col, const std::string& title, int width);
    void SetEditMode(int col, int mode) { m_model.SetEditMode(col, mode); }
    int AddRow() { return m_model.AddRow(); }
    int InsertRow(int row) { return m_model.InsertRow(row); }
    int DeleteRow(int row) { return m_model.DeleteRow(row); }
    int DeleteAllRows() { return m_model.DeleteAllRows(); }
    // The cell := text; the open editor follows when it edits that very cell.
    int SetItem(int col, int row, const std::string& text);
    std::string GetItem(int col, int row) const { return m_model.GetItem(col, row); }
    int GetIndex(int col, const std::string& text) const { return m_model.GetIndex(col, text); }
    void SetItemColor(int col, int row, plat::ColorRef colour) { m_model.SetItemColor(col, row, colour); }
    void ClearItemColor(int col, int row) { m_model.ClearItemColor(col, row); }
    int ColorIsNoWhite(int col, int row) const { return m_model.ColorIsNoWhite(col, row); }
    int SetActiveIndex(int row);
    int GetActiveIndex() const { return m_model.ActiveRow(); }
    int GetLastActiveColIndex() const { return m_nLastActiveCol; }
    int GetRows() const { return m_model.Rows(); }
    const std::vector<std::string>* GetCol(int col) const { return m_model.GetCol(col); }
    int GetEditItem(int* col, int* row) const;
    int VisibleActiveIndex();
    // Paints everything now (a or b -1) and sets the scroll bars.
    void UpdateList(plat::DeviceContext* dc = nullptr, bool erase = true, int a = -1, int b = -1);
    int RectPaint(plat::DeviceContext& dc, const plat::Rect& r);
    int EnableWindow(int enable);

    const CListFrameModel& Model() const { return m_model; }
    CDisEdit* Editor() const { return m_pEditor; }
    bool IsEditorShown() const { return m_bEditorShown; }
    bool IsDragging() const { return m_bDragging; }
    plat::ColorRef ActiveFill() const { return m_crActive; }
    QScrollBar* Bar(plat::ScrollBar bar) const { return m_pBar[bar == plat::SB_VERT]; }
    const plat::WindowHandle& Handle() const { return m_hWnd; }
    // The grid's area, without its scroll bars.
    plat::Rect GridRect() const;

    // The editor opens on (col, row) as a double click opens it; closes as focus loss closes it.
    void OpenEditor(int col, int row);
    void CloseEditor();
    void OnVScroll(int code, int pos = 0);
    void OnHScroll(int code, int pos = 0);

protected:
    void OnPaint(plat::DeviceContext& dc) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Post(unsigned msg, plat::WParam wParam) const;
    // A left press at (x, y): a width drag, or the row and column under it.
    void Press(int x, int y);
    void DrawRow(plat::DeviceContext& dc, int row, bool active);
    void DrawDragLine(int x);
    void SyncBars();
    void PlaceBars();
    void OnBarAction(plat::ScrollBar bar, int action);
    void CommitEditor();

    CListFrameModel m_model;
    bool m_bEditorShown = false;
    CDisEdit* m_pEditor = nullptr;
    std::string m_strEditorText;
    int m_nEditCol = -1;
    int m_nEditRow = -1;
    QWidget* m_pOwner = nullptr;
    bool m_bEnabled = true;
    plat::ColorRef m_crGrid = 0xC0C0C0;
    plat::ColorRef m_crShadow = 0x606060;
    plat::ColorRef m_crLight = 0xD8D8D8;
    plat::ColorRef m_crActive = 0x909090;
    bool m_bDragging = false;
    int m_nDragCol = -1;
    int m_nLastX = 0;
    int m_nStartX = 0;
    int m_nLastActiveCol = 0;
    QPoint m_ptLastPress{-1, -1};
    QScrollBar* m_pBar[2] = {nullptr, nullptr};  // horizontal, vertical
    QWidget* m_pBarCorner = nullptr;
    plat::WindowHandle m_hWnd;
};
