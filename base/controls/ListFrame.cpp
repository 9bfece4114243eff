#include "controls/ListFrame.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "platform/dialogs/Dialog.h"
#include "platform/windows/VirtualKey.h"
#include "controls/ControlMessages.h"
#include "controls/DisEdit.h"

namespace {

int BarExtent()
{
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

// The first window from w up that has a handle.
plat::WindowHandle NoticeTarget(const QWidget* w)
{
    for (; w; w = w->parentWidget())
        if (plat::WindowHandle h = plat::WindowHandle::Of(w))
            return h;
    return {};
}

}  // namespace

CListFrame::CListFrame(QWidget* parent) : plat::BufferedWindow(parent)
{
    m_hWnd = plat::WindowHandle::Attach(this, [](unsigned, plat::WParam, plat::LParam) { return plat::LResult(0); });
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    for (plat::ScrollBar bar : {plat::SB_HORZ, plat::SB_VERT}) {
        auto* sb = new QScrollBar(bar == plat::SB_HORZ ? Qt::Horizontal : Qt::Vertical, this);
        sb->setFocusPolicy(Qt::NoFocus);
        QObject::connect(sb, &QAbstractSlider::actionTriggered, this, [this, bar](int a) { OnBarAction(bar, a); });
        m_pBar[bar == plat::SB_VERT] = sb;
    }
    m_pBarCorner = new QWidget(this);
    m_pBarCorner->setBackgroundRole(QPalette::Button);
    m_pBarCorner->setAutoFillBackground(true);
    PlaceBars();
    SyncBars();
}

CListFrame::~CListFrame()
{
    m_hWnd.Close();
}

CListFrame* CListFrame::SubclassDlgItem(unsigned id, plat::Dialog* dialog)
{
    if (!dialog || !dialog->Control(id))
        return nullptr;
    auto* grid = new CListFrame(dialog);
    dialog->ReplaceControl(id, grid);
    return grid;
}

plat::Rect CListFrame::GridRect() const
{
    const int ext = BarExtent();
    return plat::Rect{0, 0, std::max(width() - ext, 0), std::max(height() - ext, 0)};
}

void CListFrame::Post(unsigned msg, plat::WParam wParam) const
{
    NoticeTarget(parentWidget()).PostMessage(msg, wParam, plat::LParam(this));
}

// ---- set-up --------------------------------------------------------------------------

int CListFrame::InitList(QWidget* owner, int columns, int noHeader, int noGrid)
{
    CloseEditor();
    if (!m_pEditor) {
        m_pEditor = new CDisEdit(this);
        m_pEditor->Create(0, plat::Rect{0, 0, 50, 20}, this, kEditorId);
        m_pEditor->hide();
        m_pEditor->SetFont(font(), false);
        m_pEditor->SetChangeHandler([this] { CommitEditor(); });
        m_pEditor->installEventFilter(this);
    }
    m_pOwner = owner;
    m_bDragging = false;
    m_nDragCol = -1;
    const plat::Rect grid = GridRect();
    if (!m_model.InitList(columns, noHeader != 0, noGrid != 0, grid.Width(), grid.Height()))
        return 0;
    m_model.UpdateBars();
    return 1;
}

int CListFrame::SetColName(int col, const std::string& title, int width)
{
    return m_model.SetColName(col, title, width);
}

int CListFrame::SetItem(int col, int row, const std::string& text)
{
    if (!m_model.SetItem(col, row, text))
        return 0;
    // Only the cell being edited goes into the editor: another cell's text would flow
    // through it into the edited cell.
    if (m_bEditorShown && col == m_nEditCol && row == m_nEditRow)
        m_pEditor->SetWindowText(text);
    return 1;
}

int CListFrame::GetEditItem(int* col, int* row) const
{
    if (!m_bEditorShown)
        return 0;
    if (col)
        *col = m_nEditCol;
    if (row)
        *row = m_nEditRow;
    return 1;
}

int CListFrame::EnableWindow(int enable)
{
    m_bEnabled = enable != 0;
    const bool wasDisabled = !isEnabled();
    setEnabled(m_bEnabled);
    Invalidate();
    return wasDisabled ? 1 : 0;
}

// ---- painting ------------------------------------------------------------------------

void CListFrame::OnPaint(plat::DeviceContext& dc)
{
    if (!m_model.Ready()) {
        dc.FillRect(dc.GetClipBox(), m_bEnabled ? 0xFFFFFF : m_crLight);
        SyncBars();
        return;
    }
    UpdateList(&dc, true);
}

int CListFrame::RectPaint(plat::DeviceContext& dc, const plat::Rect& rc)
{
    const int l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
    const plat::Pen old = dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, 0});
    dc.MoveTo(l, b);
    dc.LineTo(r, b);
    dc.LineTo(r, t);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crLight});
    dc.LineTo(l, t);
    dc.LineTo(l, b);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crShadow});
    dc.MoveTo(l + 1, b - 1);
    dc.LineTo(r - 1, b - 1);
    dc.LineTo(r - 1, t + 1);
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, 0xFFFFFF});
    dc.LineTo(l + 1, t + 1);
    dc.LineTo(l + 1, b - 1);
    dc.FillRect(plat::Rect{l + 2, t + 2, r - 1, b - 1}, m_crGrid);
    dc.SelectPen(old);
    return 1;
}

void CListFrame::DrawRow(plat::DeviceContext& dc, int row, bool active)
{
    const CListFrameModel& m = m_model;
    const plat::Rect grid = GridRect();
    const int y = m.RowY(row), rh = m.RowHeight();
    const plat::ColorRef back = active ? m_crActive : (m_bEnabled ? 0xFFFFFF : m_crLight);
    const plat::ColorRef ink = active ? 0xFFFFFF : 0;
    dc.FillRect(plat::Rect{0, y, m.TotalWidth() - 1, y + rh}, back);
    dc.SetBkMode(plat::TRANSPARENT);
    for (int col = 0; col < m.Columns(); ++col) {
        const int x = m.ColumnX(col), w = m.Width(col);
        plat::ColorRef textColour = ink;
        if (m.ColorIsNoWhite(col, row)) {
            const plat::ColorRef colour = m.ItemColor(col, row);
            dc.FillRect(plat::Rect{x, y, x + w, y + rh}, colour);
            textColour = colour ^ 0xFFFFFF;
        }
        dc.SetTextColor(textColour);
        const plat::Rect cell{x + 1, y, x + w - 1, y + rh};
        dc.SelectClipRect(plat::Rect{std::max(cell.left, 0), cell.top, std::min(cell.right, grid.right),
                                     std::min(cell.bottom, grid.bottom)});
        dc.DrawText(m.GetItem(col, row), cell, plat::DT_LEFT);
        dc.SelectClipRect(grid);
        if (!m.NoGrid()) {
            dc.MoveTo(x + w, y);
            dc.LineTo(x + w, y + rh);
        }
        if (x + w + 1 >= grid.right)
            break;
    }
    if (!m.NoGrid()) {
        dc.MoveTo(0, y + rh);
        dc.LineTo(m.TotalWidth() - 1, y + rh);
    }
}

void CListFrame::UpdateList(plat::DeviceContext* given, bool erase, int a, int b)
{
    m_model.UpdateBars();
    if (m_model.Ready() && (a == -1 || b == -1)) {
        std::unique_ptr<plat::DeviceContext> own;
        if (!given)
            own = std::make_unique<plat::DeviceContext>(*this);
        plat::DeviceContext& dc = given ? *given : *own;
        const CListFrameModel& m = m_model;
        const plat::Rect grid = GridRect();
        dc.SelectClipRect(grid);
        const plat::Pen oldPen = dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crGrid});
        const QFont oldFont = dc.SelectFont(font());
        if (erase)
            dc.FillRect(grid, m_bEnabled ? 0xFFFFFF : m_crLight);
        if (!m.NoHeader()) {
            dc.SetBkMode(plat::TRANSPARENT);
            dc.SetTextColor(0);
            for (int col = 0; col < m.Columns(); ++col) {
                const int x = m.ColumnX(col), w = m.Width(col);
                RectPaint(dc, plat::Rect{x, 0, x + w, m.HeaderHeight() - 1});
                const plat::Rect title{x + 2, 2, x + w - 2, m.HeaderHeight() - 3};
                dc.SelectClipRect(plat::Rect{std::max(title.left, 0), title.top, std::min(title.right, grid.right),
                                             title.bottom});
                dc.DrawText(m.Title(col), title, plat::DT_LEFT);
                dc.SelectClipRect(grid);
                dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crGrid});
                if (x + w + 1 >= grid.right)
                    break;
            }
        }
        for (int row = m.TopRow(); row < m.Rows(); ++row) {
            DrawRow(dc, row, row == m.ActiveRow());
            if (m.RowY(row + 1) >= grid.bottom)
                break;
        }
        dc.SelectPen(oldPen);
        dc.SelectFont(oldFont);
        dc.SelectClipNone();
    }
    SyncBars();
}

int CListFrame::SetActiveIndex(int row)
{
    const int old = m_model.ActiveRow();
    bool invalidate = false;
    if (!m_model.PlanActive(row, invalidate))
        return 0;
    if (old == m_model.TopRow() - 1 && !m_model.NoGrid()) {
        m_model.SetActiveRow(row);
        Invalidate();
        return 1;
    }
    {
        plat::DeviceContext dc(*this, GridRect());
        dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, m_crGrid});
        dc.SelectFont(font());
        if (old >= 0 && old < m_model.Rows())
            DrawRow(dc, old, false);
        DrawRow(dc, row, true);
    }
    m_model.SetActiveRow(row);
    if (invalidate)
        Invalidate();
    if (m_bEditorShown)
        m_pEditor->update();
    SyncBars();
    return 1;
}

int CListFrame::VisibleActiveIndex()
{
    if (!m_model.VisibleActiveIndex())
        return 0;
    Invalidate();
    UpdateWindow();
    return 1;
}

// ---- scroll bars ---------------------------------------------------------------------

void CListFrame::PlaceBars()
{
    const int ext = BarExtent();
    const int w = width(), h = height();
    m_pBar[0]->setGeometry(0, std::max(h - ext, 0), std::max(w - ext, 0), ext);
    m_pBar[1]->setGeometry(std::max(w - ext, 0), 0, ext, std::max(h - ext, 0));
    m_pBarCorner->setGeometry(std::max(w - ext, 0), std::max(h - ext, 0), ext, ext);
}

void CListFrame::SyncBars()
{
    for (plat::ScrollBar bar : {plat::SB_HORZ, plat::SB_VERT}) {
        QScrollBar* sb = m_pBar[bar == plat::SB_VERT];
        const CListFrameModel::Bar b = bar == plat::SB_VERT ? m_model.VertBar() : m_model.HorzBar();
        // The last position the handlers allow: the page may not run past the end.
        const int last = bar == plat::SB_VERT ? std::max(b.nMin, m_model.Rows() - m_model.VisibleRows() + 1)
                                              : std::max(b.nMin, m_model.TotalWidth() - m_model.ClientWidth() + 1);
        const QSignalBlocker block(sb);
        sb->setRange(b.nMin, last);
        sb->setPageStep(std::max(b.nPage, 1));
        sb->setSingleStep(bar == plat::SB_VERT ? 1 : 5);
        sb->setValue(b.nPos);
        sb->setEnabled(m_model.Ready() && last > b.nMin);
        sb->show();
    }
}

void CListFrame::OnBarAction(plat::ScrollBar bar, int action)
{
    QScrollBar* sb = m_pBar[bar == plat::SB_VERT];
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: code = CListFrameModel::SB_LINEUP; break;
    case QAbstractSlider::SliderSingleStepAdd: code = CListFrameModel::SB_LINEDOWN; break;
    case QAbstractSlider::SliderPageStepSub: code = CListFrameModel::SB_PAGEUP; break;
    case QAbstractSlider::SliderPageStepAdd: code = CListFrameModel::SB_PAGEDOWN; break;
    case QAbstractSlider::SliderToMinimum: code = CListFrameModel::SB_TOP; break;
    case QAbstractSlider::SliderToMaximum: code = CListFrameModel::SB_BOTTOM; break;
    case QAbstractSlider::SliderMove: code = CListFrameModel::SB_THUMBTRACK; break;
    default: return;
    }
    const int pos = sb->sliderPosition();
    bar == plat::SB_HORZ ? OnHScroll(code, pos) : OnVScroll(code, pos);
    // Only the handler moves the position; the bar shows where it went.
    sb->setSliderPosition(bar == plat::SB_VERT ? m_model.TopRow() + 1 : m_model.Offset() + 1);
}

void CListFrame::OnVScroll(int code, int pos)
{
    CloseEditor();
    if (m_model.VScroll(code, pos)) {
        Invalidate();
        UpdateWindow();
    }
    SyncBars();
}

void CListFrame::OnHScroll(int code, int pos)
{
    CloseEditor();
    if (m_model.HScroll(code, pos))
        Invalidate();
    SyncBars();
}

void CListFrame::resizeEvent(QResizeEvent* event)
{
    plat::BufferedWindow::resizeEvent(event);
    PlaceBars();
}

// ---- mouse ---------------------------------------------------------------------------

void CListFrame::DrawDragLine(int x)
{
    plat::DeviceContext dc(*this, GridRect());
    dc.SelectPen(plat::Pen{plat::Pen::Solid, 1, 0});
    dc.SetROP2(plat::R2_NOT);
    dc.MoveTo(x, 0);
    dc.LineTo(x, m_model.DragLineBottom());
}

void CListFrame::mousePressEvent(QMouseEvent* event)
{
    if (!m_model.Ready() || event->button() != Qt::LeftButton) {
        plat::BufferedWindow::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    m_ptLastPress = at;
    Press(at.x(), at.y());
}

void CListFrame::Press(int x, int y)
{
    CloseEditor();
    setFocus(Qt::MouseFocusReason);
    if (!m_bDragging) {
        const int col = m_model.BorderAt(x);
        if (col >= 0) {
            // The press holds the mouse until its release.
            m_bDragging = true;
            m_nDragCol = col;
            m_nStartX = m_nLastX = x;
            DrawDragLine(x);
            return;
        }
    }
    m_nLastActiveCol = m_model.ColumnAt(x);
    if (!m_bDragging && y >= m_model.HeaderHeight()) {
        const int r = m_model.RowAt(y);
        if (r == m_model.ActiveRow()) {
            Post(WM_LISTFRAME_SAMEROW, 38);
        } else {
            Post(WM_LISTFRAME_ROW, 38);
            SetActiveIndex(r);
        }
    }
}

void CListFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_model.Ready() || m_model.Columns() == 0)
        return;
    const int x = event->position().toPoint().x();
    if (m_bDragging) {
        DrawDragLine(m_nLastX);
        DrawDragLine(x);
        m_nLastX = x;
        return;
    }
    setCursor(m_model.BorderAt(x) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
}

void CListFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_bDragging && event->button() == Qt::LeftButton) {
        setCursor(Qt::ArrowCursor);
        m_bDragging = false;
        m_model.EndDrag(m_nDragCol, event->position().toPoint().x() - m_nStartX);
        m_nDragCol = -1;
        Invalidate();
        SyncBars();
    }
    plat::BufferedWindow::mouseReleaseEvent(event);
}

void CListFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!m_model.Ready() || event->button() != Qt::LeftButton)
        return;
    // A double click whose second press did not come first (synthesized input) acts
    // as that press.
    const QPoint at = event->position().toPoint();
    if (at != m_ptLastPress) {
        m_ptLastPress = at;
        Press(at.x(), at.y());
        if (m_bDragging)
            return;
    }
    Post(WM_LISTFRAME_ROW, 13);
    OpenEditor(m_nLastActiveCol, m_model.ActiveRow());
}

// ---- keys and focus ------------------------------------------------------------------

void CListFrame::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    // Tab and Escape belong to the dialog.
    if (!m_model.Ready() || key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    const int vk = plat::VirtualKeyOf(event);
    if (vk == plat::VK_RETURN) {
        // One notice per press, and the dialog's OK does not run.
        Post(WM_LISTFRAME_ROW, 13);
        event->accept();
        return;
    }
    if (vk == 0) {
        event->ignore();
        return;
    }
    const CListFrameModel::KeyAction a = m_model.Key(vk);
    if (a.activate >= 0)
        SetActiveIndex(a.activate);
    if (a.notice != 0)
        Post(WM_LISTFRAME_ROW, plat::WParam(a.notice));
    event->accept();
}

void CListFrame::focusInEvent(QFocusEvent* event)
{
    m_crActive = 0;
    SetActiveIndex(m_model.ActiveRow());
    plat::BufferedWindow::focusInEvent(event);
}

void CListFrame::focusOutEvent(QFocusEvent* event)
{
    m_crActive = 0x909090;
    SetActiveIndex(m_model.ActiveRow());
    plat::BufferedWindow::focusOutEvent(event);
}

// ---- editor --------------------------------------------------------------------------

void CListFrame::OpenEditor(int col, int row)
{
    if (col < 0 || col >= m_model.Columns() || m_model.EditMode(col) == 0 || row < 0 || row >= m_model.Rows())
        return;
    m_bEditorShown = true;
    Post(WM_LISTFRAME_EDITOPEN, 0);
    m_nEditCol = col;
    m_nEditRow = row;
    m_strEditorText = m_model.GetItem(col, row);
    m_pEditor->EnableMode(m_model.EditMode(col), 0);
    m_pEditor->SetWindowText(m_strEditorText);
    m_pEditor->setGeometry(m_model.ColumnX(col), m_model.RowY(row), m_model.Width(col) - 1,
                           m_model.RowHeight() - 1);
    m_pEditor->show();
    m_pEditor->raise();
    m_pEditor->setFocus(Qt::OtherFocusReason);
    m_pEditor->SetCurPos(int(m_pEditor->text().size()));
}

void CListFrame::CloseEditor()
{
    if (!m_bEditorShown)
        return;
    m_bEditorShown = false;
    Post(WM_LISTFRAME_EDITCLOSE, 0);
    m_pEditor->hide();
}

void CListFrame::CommitEditor()
{
    // Only a cell that still exists takes the text.
    if (!m_bEditorShown || !m_model.InRange(m_nEditCol, m_nEditRow))
        return;
    m_model.SetItem(m_nEditCol, m_nEditRow, m_pEditor->GetValue());
    Post(WM_LISTFRAME_EDITCHANGE, 0);
}

bool CListFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pEditor && event->type() == QEvent::FocusOut)
        CloseEditor();
    return plat::BufferedWindow::eventFilter(watched, event);
}
