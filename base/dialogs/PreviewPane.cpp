#include "dialogs/PreviewPane.h"

#include "dialogs/FilePreview.h"

namespace {

const plat::ControlTemplate kRows[] = {
    {5063, plat::ControlKind::Static, 0, 0, 16, 14, nullptr, plat::CS_SUNKEN | plat::CS_HIDDEN},
};
const plat::DialogTemplate kTemplate = {531, nullptr, "MS Sans Serif", 8, 135, 124, kRows, std::size(kRows)};

}  // namespace

CPreviewPane::CPreviewPane(QWidget* parent) : m_window(new plat::Dialog(kTemplate, parent, plat::DialogRole::Pane))
{
    m_window->SetPaintHandler([this](plat::DeviceContext& dc) { OnPaint(dc); });
}

void CPreviewPane::SetBitmap(const unsigned char* rows, const std::array<plat::ColorRef, 256>* colors)
{
    m_rows = rows;
    m_colors = colors;
}

void CPreviewPane::Invalidate()
{
    m_window->update();
}

void CPreviewPane::OnPaint(plat::DeviceContext& dc)
{
    if (!m_rows || !m_colors)
        return;
    dc.StretchDIBits8(plat::Rect{0, 0, m_window->width(), m_window->height()}, kPreviewPictureSide, kPreviewPictureSide,
                      m_rows, m_colors->data());
}
