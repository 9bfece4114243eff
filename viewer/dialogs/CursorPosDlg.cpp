#include "dialogs/CursorPosDlg.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogTemplate.h"
#include "platform/dialogs/SpinButton.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 7, 9, 20, 8, "X:", plat::CS_NONE},
    {IDC_CURSOR_X, ControlKind::Edit, 30, 7, 58, 13, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 7, 27, 20, 8, "Y:", plat::CS_NONE},
    {IDC_CURSOR_Y, ControlKind::Edit, 30, 25, 58, 13, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 7, 45, 22, 8, "Value", plat::CS_NONE},
    {IDC_CURSOR_VALUE, ControlKind::Edit, 30, 43, 58, 13, "", plat::CS_READONLY},
    {IDC_SKIP_TO_PIXEL, ControlKind::PushButton, 18, 66, 60, 14, "Skip to pixel", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate{205, "Cursor position", "MS Sans Serif", 8, 96, 90, kControls,
                                     std::size(kControls)};

}  // namespace

const plat::DialogTemplate& CCursorPosDlg::Template()
{
    return kTemplate;
}

void CCursorPosDlg::Create(QWidget* parent, plat::WindowHandle frame)
{
    plat::Dialog* dlg = MakeWindow(kTemplate, parent, std::move(frame), REQ_CURSOR_CLOSED);
    m_editValue = dlg->ControlAs<QLineEdit>(IDC_CURSOR_VALUE);
    m_editX = dlg->ControlAs<QLineEdit>(IDC_CURSOR_X);
    m_editY = dlg->ControlAs<QLineEdit>(IDC_CURSOR_Y);
    SetText(IDC_CURSOR_X, std::to_string(m_nX));
    SetText(IDC_CURSOR_Y, std::to_string(m_nY));
    plat::SpinButton** spins[] = {&m_spinX, &m_spinY};
    QLineEdit* edits[] = {m_editX, m_editY};
    for (int i = 0; i < 2; ++i) {
        // Digits only for typing; the frame and the arrows write what they like.
        edits[i]->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edits[i]));
        *spins[i] = new plat::SpinButton(edits[i]);
        (*spins[i])->SetRange(0, kMaxPixel);
        (*spins[i])->SetPos(0);
    }
    dlg->OnClicked(IDC_SKIP_TO_PIXEL, [this] { OnSkipToPixel(); });
}

void CCursorPosDlg::SetPixelLimits(int maxX, int maxY)
{
    if (m_spinX)
        m_spinX->SetRange(0, maxX);
    if (m_spinY)
        m_spinY->SetRange(0, maxY);
}

void CCursorPosDlg::OnSkipToPixel()
{
    // The fields into the members, X first, up to one without a number.
    if (ReadInt(IDC_CURSOR_X, m_nX))
        ReadInt(IDC_CURSOR_Y, m_nY);
    SendToFrame(REQ_SKIP_TO_PIXEL, 0);
}
