#pragma once
// The viewer's palette editor (template 204): the active layer's display palette as a
// grid of 256 rows (index, a colour swatch, red, green, blue). Typed components go into
// the dialog's own copy at once; "Apply" (or Enter) hands the copy to the viewer,
// "Close" (Escape, the close box) hides the window. Every show and hide reloads the
// copy from the viewer, so edits that were not applied are dropped.

#include "PalitraTag.h"
#include "frame/ToolDialog.h"

class CFrameViewer;
class CListFrame;

class CPaletteDlg final : public CToolDialog {
public:
    enum Control : unsigned {
        IDC_PALETTE_GRID = 2016,
    };
    enum Column : int {
        COL_INDEX = 0,
        COL_COLOR = 1,
        COL_RED = 2,
        COL_GREEN = 3,
        COL_BLUE = 4,
    };

    explicit CPaletteDlg(CFrameViewer* viewer) : m_pViewer(viewer) {}

    void Create(QWidget* parent, plat::WindowHandle frame);

    CListFrame* Grid() const { return m_pGrid; }
    const PalitraTag& Palette() const { return m_palette; }
    // "Apply": the viewer takes the edited palette; the window stays.
    void OnOK();
    // Reloads the grid from the viewer's palette.
    void Reload();

    static const plat::DialogTemplate& Template();

private:
    plat::LResult OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam);
    // A cell of the open editor changed.
    void OnCommit();

    CFrameViewer* m_pViewer = nullptr;
    PalitraTag m_palette;
    CListFrame* m_pGrid = nullptr;
};
