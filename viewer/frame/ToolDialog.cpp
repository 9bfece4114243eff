#include "frame/ToolDialog.h"

#include "Dialog.h"
#include "DialogTemplate.h"
#include "MessageBox.h"
#include "window/ViewerMessages.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;

const plat::ControlTemplate kBrightContrast[] = {
    {IDC_STATIC, ControlKind::GroupBox, 7, 4, 60, 46, "Brightness", plat::CS_NONE},
    {2022, ControlKind::Edit, 14, 22, 40, 13, "0", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 73, 4, 60, 46, "Contrast", plat::CS_NONE},
    {2020, ControlKind::Edit, 80, 22, 40, 13, "0", plat::CS_NONE},
};

const plat::ControlTemplate kCursorPos[] = {
    {IDC_STATIC, ControlKind::Static, 7, 9, 20, 8, "X:", plat::CS_NONE},
    {IDC_CURSOR_X, ControlKind::Edit, 30, 7, 58, 13, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 7, 27, 20, 8, "Y:", plat::CS_NONE},
    {IDC_CURSOR_Y, ControlKind::Edit, 30, 25, 58, 13, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 7, 45, 22, 8, "Value", plat::CS_NONE},
    {IDC_CURSOR_VALUE, ControlKind::Edit, 30, 43, 58, 13, "", plat::CS_READONLY},
    {IDC_SKIP_TO_PIXEL, ControlKind::PushButton, 18, 66, 60, 14, "Skip to pixel", plat::CS_NONE},
};

const plat::ControlTemplate kRGBLevels[] = {
    {1016, ControlKind::Static, 10, 4, 216, 8, "Красный: 255", plat::CS_NONE},
    {1018, ControlKind::Static, 10, 32, 216, 8, "Зеленый: 255", plat::CS_NONE},
    {1020, ControlKind::Static, 10, 60, 216, 8, "Синий: 255", plat::CS_NONE},
};

const plat::ControlTemplate kPalette[] = {
    {plat::IDCANCEL, ControlKind::PushButton, 136, 114, 50, 14, "Close", plat::CS_NONE},
};

const plat::DialogTemplate kTemplates[] = {
    {202, "Brightness and contrast", "MS Sans Serif", 8, 140, 58, kBrightContrast, std::size(kBrightContrast)},
    {203, "Statistics", "MS Sans Serif", 8, 295, 246, nullptr, 0},
    {204, "Palette", "MS Sans Serif", 8, 193, 135, kPalette, std::size(kPalette)},
    {205, "Cursor position", "MS Sans Serif", 8, 96, 90, kCursorPos, std::size(kCursorPos)},
    {207, "Яркость", "MS Sans Serif", 8, 236, 90, kRGBLevels, std::size(kRGBLevels)},
};

}  // namespace

const plat::DialogTemplate& CToolDialog::BrightContrastTemplate()
{
    return kTemplates[0];
}
const plat::DialogTemplate& CToolDialog::StatisticsTemplate()
{
    return kTemplates[1];
}
const plat::DialogTemplate& CToolDialog::PaletteTemplate()
{
    return kTemplates[2];
}
const plat::DialogTemplate& CToolDialog::CursorPosTemplate()
{
    return kTemplates[3];
}
const plat::DialogTemplate& CToolDialog::RGBLevelsTemplate()
{
    return kTemplates[4];
}

CToolDialog::CToolDialog(const plat::DialogTemplate& tmpl, int closeCode) : m_template(tmpl), m_nCloseCode(closeCode) {}

CToolDialog::~CToolDialog()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

void CToolDialog::Create(QWidget* parent, plat::WindowHandle frame)
{
    m_hFrame = std::move(frame);
    m_wnd = new plat::Dialog(m_template, parent);
    // A tool window: it floats over its frame without taking the task bar.
    m_wnd->setWindowFlag(Qt::Tool, true);
    const auto close = [this] {
        if (m_nCloseCode != 0)
            m_hFrame.SendMessage(WM_VIEWER_DLGCMD, plat::WParam(m_nCloseCode), 0);
        else
            Show(false);
    };
    m_wnd->SetCancelHandler(close);
    m_wnd->SetOkHandler([] {});
    if (m_template.id == 204)
        m_wnd->OnClicked(plat::IDCANCEL, close);
    if (m_template.id == 205)
        m_wnd->OnClicked(IDC_SKIP_TO_PIXEL,
                         [this] { m_hFrame.SendMessage(WM_VIEWER_DLGCMD, plat::WParam(REQ_SKIP_TO_PIXEL), 0); });
}

void CToolDialog::Show(bool show)
{
    if (m_wnd)
        m_wnd->setVisible(show);
}

bool CToolDialog::IsShown() const
{
    return m_wnd && m_wnd->isVisible();
}

std::string CToolDialog::Text(unsigned id) const
{
    return m_wnd ? m_wnd->ControlText(id) : std::string();
}

void CToolDialog::SetText(unsigned id, const std::string& text)
{
    if (m_wnd)
        m_wnd->SetControlText(id, text);
}
