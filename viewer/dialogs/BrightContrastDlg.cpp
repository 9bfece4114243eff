#include "dialogs/BrightContrastDlg.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogTemplate.h"
#include "platform/dialogs/SpinButton.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::GroupBox, 7, 4, 60, 46, "Brightness", plat::CS_NONE},
    {CBrightContrastDlg::IDC_BRIGHTNESS, ControlKind::Edit, 14, 22, 46, 13, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 73, 4, 60, 46, "Contrast", plat::CS_NONE},
    {CBrightContrastDlg::IDC_CONTRAST, ControlKind::Edit, 80, 22, 46, 13, "", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate{202, "Brightness and contrast", "MS Sans Serif", 8, 140, 58,
                                     kControls, std::size(kControls)};

// Digits only for typing; the program and the arrows may write any number.
plat::SpinButton* NumberField(plat::Dialog* dlg, unsigned id, int lower, int upper)
{
    auto* edit = dlg->ControlAs<QLineEdit>(id);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    auto* spin = new plat::SpinButton(edit);
    spin->SetRange(lower, upper);
    spin->SetPos(0);
    return spin;
}

}  // namespace

const plat::DialogTemplate& CBrightContrastDlg::Template()
{
    return kTemplate;
}

void CBrightContrastDlg::Create(QWidget* parent, plat::WindowHandle frame)
{
    plat::Dialog* dlg = MakeWindow(kTemplate, parent, std::move(frame), REQ_ADJUST_CLOSED);
    // The members into the fields before anyone listens, as a data exchange writes them.
    SetText(IDC_BRIGHTNESS, std::to_string(m_nBrightness));
    SetText(IDC_CONTRAST, std::to_string(m_nContrast));
    dlg->OnChanged(IDC_BRIGHTNESS, [this] { OnChange(REQ_BRIGHTNESS); });
    dlg->OnChanged(IDC_CONTRAST, [this] { OnChange(REQ_CONTRAST); });
    m_spinBrightness = NumberField(dlg, IDC_BRIGHTNESS, -200, 200);
    m_spinContrast = NumberField(dlg, IDC_CONTRAST, -127, 127);
    // The arrows' first "0" is a change the frame hears, even before its image window exists.
    OnChange(REQ_BRIGHTNESS);
    OnChange(REQ_CONTRAST);
}

void CBrightContrastDlg::UpdateData()
{
    if (ReadInt(IDC_BRIGHTNESS, m_nBrightness))
        ReadInt(IDC_CONTRAST, m_nContrast);
}

void CBrightContrastDlg::OnChange(int code)
{
    UpdateData();
    SendToFrame(code, code == REQ_BRIGHTNESS ? m_nBrightness : m_nContrast);
}
