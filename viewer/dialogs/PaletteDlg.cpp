#include "dialogs/PaletteDlg.h"

#include "platform/windows/ClientEdge.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogTemplate.h"
#include "platform/dialogs/MessageBox.h"
#include "ViewerStrings.h"
#include "controls/ControlMessages.h"
#include "controls/ListFrame.h"
#include "dialogs/ToolDialogMath.h"
#include "frame/FrameViewer.h"

namespace {

using plat::ControlKind;

const plat::ControlTemplate kControls[] = {
    {CPaletteDlg::IDC_PALETTE_GRID, ControlKind::Static, 7, 7, 180, 100, "", plat::CS_NONE},
    {plat::IDOK, ControlKind::PushButton, 80, 114, 50, 14, "Apply", plat::CS_NONE},
    {plat::IDCANCEL, ControlKind::PushButton, 136, 114, 50, 14, "Close", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate{204, "Palette", "MS Sans Serif", 8, 193, 135, kControls, std::size(kControls)};

struct ColumnRow {
    unsigned title;
    int width;
    int editMode;  // 2: integer
};

const ColumnRow kColumns[] = {
    {IDS_PALETTE_INDEX, 50, 0}, {IDS_PALETTE_COLOR, 40, 0}, {IDS_CHANNEL_RED, 52, 2},
    {IDS_CHANNEL_GREEN, 52, 2}, {IDS_CHANNEL_BLUE, 60, 2},
};

plat::ColorRef EntryColour(const unsigned char rgb[3])
{
    return plat::Rgb(rgb[0], rgb[1], rgb[2]);
}

}  // namespace

const plat::DialogTemplate& CPaletteDlg::Template()
{
    return kTemplate;
}

void CPaletteDlg::Create(QWidget* parent, plat::WindowHandle frame)
{
    plat::Dialog* dlg = MakeWindow(kTemplate, parent, std::move(frame), 0);
    // The grid in the list view's place, in a sunken edge as the list view has.
    auto* grid = new CListFrame(dlg);
    QWidget* placeholder = dlg->Control(IDC_PALETTE_GRID);
    grid->setGeometry(placeholder->geometry().adjusted(plat::ClientEdge::kWidth, plat::ClientEdge::kWidth,
                                                       -plat::ClientEdge::kWidth, -plat::ClientEdge::kWidth));
    dlg->ReplaceControl(IDC_PALETTE_GRID, plat::ClientEdge::Around(grid));
    m_pGrid = grid;

    m_pGrid->InitList(dlg, int(std::size(kColumns)), 0, 1);
    for (int c = 0; c < int(std::size(kColumns)); ++c) {
        m_pGrid->SetColName(c, LoadViewerString(kColumns[c].title), kColumns[c].width);
        if (kColumns[c].editMode != 0)
            m_pGrid->SetEditMode(c, kColumns[c].editMode);
    }
    for (int i = 0; i < 256; ++i) {
        m_pGrid->AddRow();
        m_pGrid->SetItem(COL_INDEX, i, std::to_string(i));
    }

    dlg->SetMessageHandler([this](unsigned msg, plat::WParam w, plat::LParam l) { return OnMessage(msg, w, l); });
    dlg->SetShowHandler([this](bool) { Reload(); });
    dlg->SetOkHandler([this] { OnOK(); });
    dlg->SetCancelHandler([this] { Show(false); });
    dlg->OnClicked(plat::IDOK, [this] { OnOK(); });
    dlg->OnClicked(plat::IDCANCEL, [this] { Show(false); });
}

void CPaletteDlg::Reload()
{
    if (!m_pGrid || !m_pViewer || !m_pViewer->GetViewRect())
        return;
    m_pViewer->GetPalitra(&m_palette);
    for (int i = 0; i < 256; ++i) {
        for (int k = 0; k < 3; ++k)
            m_pGrid->SetItem(COL_RED + k, i, std::to_string(m_palette.entries[i][k]));
        m_pGrid->SetItemColor(COL_COLOR, i, EntryColour(m_palette.entries[i]));
    }
    m_pGrid->Invalidate();
}

void CPaletteDlg::OnOK()
{
    if (m_pViewer && m_pViewer->GetViewRect())
        m_pViewer->SetPalitra(&m_palette);
}

plat::LResult CPaletteDlg::OnMessage(unsigned msg, plat::WParam, plat::LParam lParam)
{
    // The grid is only compared: a posted notice may outlive its sender.
    if (msg == WM_LISTFRAME_EDITCHANGE && lParam == plat::LParam(m_pGrid))
        OnCommit();
    return 0;
}

void CPaletteDlg::OnCommit()
{
    int col = 0, row = 0;
    if (!m_pGrid->GetEditItem(&col, &row) || row < 0 || row > 255)
        return;
    const PaletteCommit commit = CommitPaletteText(m_pGrid->GetItem(col, row));
    // The corrected text goes into the open editor too, which reports the cell again.
    if (commit.corrected)
        m_pGrid->SetItem(col, row, *commit.corrected);
    if (col >= COL_RED && col <= COL_BLUE)
        m_palette.entries[row][col - COL_RED] = commit.value;
    m_pGrid->SetItemColor(COL_COLOR, row, EntryColour(m_palette.entries[row]));
    m_pGrid->SetActiveIndex(m_pGrid->GetActiveIndex());
}
