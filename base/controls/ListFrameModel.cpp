#include "controls/ListFrameModel.h"

#include <algorithm>
#include <climits>

namespace {

const std::string kEmpty;

int Clamp(long long v)
{
    return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

bool CListFrameModel::InitList(int columns, bool noHeader, bool noGrid, int clientWidth, int clientHeight,
                               int rowHeight)
{
    m_bReady = false;
    m_cols.clear();
    m_colours.clear();
    m_nRows = 0;
    m_nActive = -1;
    m_nTop = 0;
    m_nOffset = 0;
    if (columns < 1)
        return false;
    m_editModes.assign(std::size_t(columns), 0);
    m_cols.assign(std::size_t(columns), {});
    m_titles.assign(std::size_t(columns), std::string());
    m_bNoHeader = noHeader;
    m_bNoGrid = noGrid;
    m_nColumns = columns;
    m_nClientWidth = std::max(clientWidth, 0);
    m_nClientHeight = std::max(clientHeight, 0);
    m_widths.assign(std::size_t(columns), m_nClientWidth / columns - 2);
    SumWidths();
    m_nRowHeight = rowHeight > 0 ? rowHeight : kDefaultRowHeight;
    m_nHeaderHeight = noHeader ? 0 : m_nRowHeight + 3;
    m_nRowsPerPage = std::max(0, (m_nClientHeight - m_nHeaderHeight) / (m_nRowHeight + 1));
    m_nVisibleRows = m_nRowsPerPage;
    m_bReady = true;
    return true;
}

void CListFrameModel::SumWidths()
{
    long long total = 0;
    for (int w : m_widths)
        total += (long long)w + 1;
    m_nTotalWidth = Clamp(total);
}

int CListFrameModel::SetColName(int col, const std::string& title, int width)
{
    if (!m_bReady || col < 0 || col >= m_nColumns)
        return 0;
    m_titles[std::size_t(col)] = title;
    m_widths[std::size_t(col)] = width;
    SumWidths();
    return 1;
}

void CListFrameModel::SetEditMode(int col, int mode)
{
    if (col == -1)
        std::fill(m_editModes.begin(), m_editModes.end(), mode);
    else if (col >= 0 && col < int(m_editModes.size()))
        m_editModes[std::size_t(col)] = mode;
}

int CListFrameModel::EditMode(int col) const
{
    return col >= 0 && col < int(m_editModes.size()) ? m_editModes[std::size_t(col)] : 0;
}

const std::string& CListFrameModel::Title(int col) const
{
    return col >= 0 && col < int(m_titles.size()) ? m_titles[std::size_t(col)] : kEmpty;
}

int CListFrameModel::Width(int col) const
{
    return col >= 0 && col < int(m_widths.size()) ? m_widths[std::size_t(col)] : 0;
}

// ---- rows and cells ------------------------------------------------------------------

int CListFrameModel::AddRow()
{
    if (!m_bReady)
        return 0;
    for (auto& col : m_cols)
        col.push_back(" ");
    m_colours.emplace_back(std::size_t(m_nColumns));
    ++m_nRows;
    if (m_nRows == 1)
        m_nActive = 0;
    return m_nRows;
}

int CListFrameModel::InsertRow(int row)
{
    if (!m_bReady || row < 0)
        return -1;
    if (row >= m_nRows) {
        AddRow();
        return m_nRows - 1;
    }
    for (auto& col : m_cols)
        col.insert(col.begin() + row, std::string());
    m_colours.insert(m_colours.begin() + row, std::vector<CellColour>(std::size_t(m_nColumns)));
    ++m_nRows;
    return row;
}

int CListFrameModel::DeleteRow(int row)
{
    if (!m_bReady || row < 0 || row >= m_nRows || m_nRows == 0)
        return 0;
    for (auto& col : m_cols)
        col.erase(col.begin() + row);
    m_colours.erase(m_colours.begin() + row);
    --m_nRows;
    if (m_nRows == 0)
        m_nActive = -1;
    else if (m_nActive != 0)
        --m_nActive;
    if (m_nTop > m_nRows - m_nRowsPerPage)
        m_nTop = std::max(0, m_nRows - m_nRowsPerPage);
    return 1;
}

int CListFrameModel::DeleteAllRows()
{
    if (!m_bReady || m_nRows == 0)
        return 0;
    for (auto& col : m_cols)
        col.clear();
    m_colours.clear();
    m_nRows = 0;
    m_nActive = -1;
    m_nTop = 0;
    return 1;
}

bool CListFrameModel::InRange(int col, int row) const
{
    return m_bReady && col >= 0 && col < m_nColumns && row >= 0 && row < m_nRows;
}

int CListFrameModel::SetItem(int col, int row, const std::string& text)
{
    if (!InRange(col, row))
        return 0;
    m_cols[std::size_t(col)][std::size_t(row)] = text;
    return 1;
}

std::string CListFrameModel::GetItem(int col, int row) const
{
    return InRange(col, row) ? m_cols[std::size_t(col)][std::size_t(row)] : std::string();
}

int CListFrameModel::GetIndex(int col, const std::string& text) const
{
    if (!m_bReady || col < 0 || col >= m_nColumns)
        return -1;
    const auto& texts = m_cols[std::size_t(col)];
    const auto it = std::find(texts.begin(), texts.end(), text);
    return it == texts.end() ? -1 : int(it - texts.begin());
}

const std::vector<std::string>* CListFrameModel::GetCol(int col) const
{
    return m_bReady && col >= 0 && col < m_nColumns ? &m_cols[std::size_t(col)] : nullptr;
}

void CListFrameModel::SetItemColor(int col, int row, ColorRef colour)
{
    if (InRange(col, row))
        m_colours[std::size_t(row)][std::size_t(col)] = CellColour{colour, true};
}

void CListFrameModel::ClearItemColor(int col, int row)
{
    if (InRange(col, row))
        m_colours[std::size_t(row)][std::size_t(col)].set = false;
}

int CListFrameModel::ColorIsNoWhite(int col, int row) const
{
    return InRange(col, row) && m_colours[std::size_t(row)][std::size_t(col)].set ? 1 : 0;
}

CListFrameModel::ColorRef CListFrameModel::ItemColor(int col, int row) const
{
    return ColorIsNoWhite(col, row) ? m_colours[std::size_t(row)][std::size_t(col)].colour : 0xFFFFFF;
}

// ---- geometry ------------------------------------------------------------------------

int CListFrameModel::ColumnX(int col) const
{
    long long x = -(long long)m_nOffset;
    for (int i = 0; i < col && i < m_nColumns; ++i)
        x += (long long)m_widths[std::size_t(i)] + 1;
    return Clamp(x);
}

int CListFrameModel::RowY(int row) const
{
    return Clamp((long long)m_nHeaderHeight + ((long long)row - m_nTop) * (m_nRowHeight + 1));
}

int CListFrameModel::Border(int col) const
{
    return Clamp((long long)ColumnX(col) + m_widths[std::size_t(col)] + 1);
}

bool CListFrameModel::PlanActive(int& row, bool& invalidate)
{
    invalidate = false;
    if (!m_bReady)
        return false;
    if (row >= m_nRows)
        row = m_nRows - 1;
    if (row < 0)
        return false;
    if (row < m_nTop) {
        m_nTop = row;
        invalidate = true;
    } else if (row > m_nTop + m_nVisibleRows - 1 && row != 0) {
        m_nTop = std::max(0, row - m_nVisibleRows + 1);
        invalidate = true;
    }
    return true;
}

bool CListFrameModel::VisibleActiveIndex()
{
    if (m_nActive < 0)
        return false;
    if (m_nActive > m_nTop + m_nVisibleRows || m_nActive < m_nTop)
        m_nTop = std::max(0, m_nActive - m_nVisibleRows);
    return true;
}

// ---- scrolling -----------------------------------------------------------------------

bool CListFrameModel::VScroll(int code, int pos)
{
    const int old = m_nTop + 1;
    long long p = old;
    switch (code) {
    case SB_LINEUP: p = old - 1LL; break;
    case SB_LINEDOWN: p = old + 1LL; break;
    case SB_PAGEUP: p = (long long)old - m_nRowsPerPage; break;
    case SB_PAGEDOWN: p = (long long)old + m_nRowsPerPage; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: p = pos; break;
    case SB_TOP: p = 0; break;
    case SB_BOTTOM: p = m_nRows; break;
    default: break;
    }
    // Without rows the range is empty: the top row stays 0.
    p = std::clamp<long long>(p, 1, std::max(1, m_nRows));
    m_nTop = int(p - 1);
    if (m_nTop > m_nRows - m_nVisibleRows)
        m_nTop = std::max(0, m_nRows - m_nVisibleRows);
    return m_nTop + 1 != old;
}

bool CListFrameModel::HScroll(int code, int pos)
{
    const int old = m_nOffset + 1;
    long long p = old;
    switch (code) {
    case SB_LINEUP: p = old - 5LL; break;
    case SB_LINEDOWN: p = old + 5LL; break;
    case SB_PAGEUP: p = (long long)old - m_nClientWidth; break;
    case SB_PAGEDOWN: p = (long long)old + m_nClientWidth; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: p = pos; break;
    case SB_TOP: p = 1; break;
    case SB_BOTTOM: p = m_nTotalWidth; break;
    default: break;
    }
    p = std::clamp<long long>(p, 1, std::max(1, m_nTotalWidth));
    // Columns narrower than the client leave nothing to scroll: the offset stays 0.
    m_nOffset = int(std::clamp<long long>(p - 1, 0, std::max(0LL, (long long)m_nTotalWidth - m_nClientWidth)));
    return m_nOffset + 1 != old;
}

void CListFrameModel::UpdateBars()
{
    m_nVisibleRows = m_nTotalWidth > m_nClientWidth ? m_nRowsPerPage - 1 : m_nRowsPerPage;
}

CListFrameModel::Bar CListFrameModel::VertBar() const
{
    return Bar{1, m_nRows, m_nVisibleRows, m_nTop + 1};
}

CListFrameModel::Bar CListFrameModel::HorzBar() const
{
    return Bar{1, Clamp((long long)m_nTotalWidth + 1), m_nClientWidth, m_nOffset + 1};
}

// ---- mouse ---------------------------------------------------------------------------

int CListFrameModel::BorderAt(int x) const
{
    for (int i = 0; i < m_nColumns; ++i) {
        const int border = Border(i);
        if ((long long)border - 1 <= x && x <= (long long)border + 1)
            return i;
    }
    return -1;
}

int CListFrameModel::ColumnAt(int x) const
{
    for (int i = 0; i < m_nColumns; ++i)
        if ((long long)Border(i) - 3 > x)
            return i;
    return m_nColumns - 1;
}

int CListFrameModel::RowAt(int y) const
{
    if (y < m_nHeaderHeight)
        return -1;
    return m_nTop + (y - m_nHeaderHeight) / (m_nRowHeight + 1);
}

int CListFrameModel::DragLineBottom() const
{
    return Clamp((long long)m_nHeaderHeight + (long long)(m_nRowHeight + 1) * (m_nRows - m_nTop));
}

int CListFrameModel::EndDrag(int col, int dx)
{
    if (col < 0 || col >= m_nColumns)
        return 0;
    int& w = m_widths[std::size_t(col)];
    const long long next = (long long)w + dx;
    w = next < 0 ? 2 : Clamp(next);
    SumWidths();
    const long long shown = (long long)m_nTotalWidth - m_nOffset;
    if (m_nClientWidth > shown)
        m_nOffset = int(std::max(0LL, m_nOffset - (m_nClientWidth - shown)));
    return w;
}

// ---- keys ----------------------------------------------------------------------------

CListFrameModel::KeyAction CListFrameModel::Key(int vk) const
{
    KeyAction a;
    switch (vk) {
    case 13:
        break;
    case 33:
        a.activate = std::max(0, m_nActive - m_nRowsPerPage + 1);
        a.notice = 38;
        break;
    case 34:
        a.activate = m_nActive + m_nRowsPerPage - 1;
        a.notice = 38;
        break;
    case 38:
        if (m_nActive > 0) {
            a.activate = m_nActive - 1;
            a.notice = 38;
        }
        break;
    case 40:
        if (m_nActive < m_nRows - 1) {
            a.activate = m_nActive + 1;
            a.notice = 38;
        }
        break;
    default:
        a.notice = vk;
        break;
    }
    return a;
}
