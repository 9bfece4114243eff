#include "raw/PreviewParamDlg.h"

#include <QLineEdit>

#include <algorithm>
#include <iterator>

#include "platform/dialogs/Dialog.h"
#include "FormatTable.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/SpinButton.h"
#include "raw/RawStrings.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CPreviewParamDlg;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 8, 10, 56, 9, "Sampling Rate", plat::CS_NONE},
    {D::IDC_RATE, ControlKind::Edit, 66, 8, 48, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 66, 28, 56, 9, "Initial", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 126, 28, 56, 9, "New", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 41, 56, 9, "Width", plat::CS_NONE},
    {D::IDC_INIT_WIDTH, ControlKind::Static, 66, 40, 56, 11, "", plat::CS_SUNKEN},
    {D::IDC_NEW_WIDTH, ControlKind::Static, 126, 40, 56, 11, "", plat::CS_SUNKEN},
    {IDC_STATIC, ControlKind::Static, 8, 55, 56, 9, "Height", plat::CS_NONE},
    {D::IDC_INIT_HEIGHT, ControlKind::Static, 66, 54, 56, 11, "", plat::CS_SUNKEN},
    {D::IDC_NEW_HEIGHT, ControlKind::Static, 126, 54, 56, 11, "", plat::CS_SUNKEN},
    {IDC_STATIC, ControlKind::Static, 8, 69, 56, 9, "File Size", plat::CS_NONE},
    {D::IDC_INIT_SIZE, ControlKind::Static, 66, 68, 56, 11, "", plat::CS_SUNKEN},
    {D::IDC_NEW_SIZE, ControlKind::Static, 126, 68, 56, 11, "", plat::CS_SUNKEN},
    {plat::IDOK, ControlKind::PushButton, 76, 88, 50, 14, "OK", plat::CS_NONE},
    {plat::IDCANCEL, ControlKind::PushButton, 132, 88, 50, 14, "Cancel", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "Parameters of Preview", "MS Sans Serif", 8, 190, 110, kControls, std::size(kControls),
};

}  // namespace

const plat::DialogTemplate& CPreviewParamDlg::Template()
{
    return kTemplate;
}

CPreviewParamDlg::CPreviewParamDlg(plat::WindowHandle parent) : m_parent(std::move(parent)) {}

CPreviewParamDlg::~CPreviewParamDlg()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

int CPreviewParamDlg::DoModal()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
    m_wnd = new plat::Dialog(kTemplate, m_parent.Widget());
    m_result = plat::IDCANCEL;
    m_wnd->OnClicked(plat::IDOK, [this] { OnOK(); });
    m_wnd->SetOkHandler([this] { OnOK(); });
    const auto cancel = [this] {
        m_result = plat::IDCANCEL;
        m_wnd->done(QDialog::Rejected);
    };
    m_wnd->OnClicked(plat::IDCANCEL, cancel);
    m_wnd->SetCancelHandler(cancel);
    if (!OnInitDialog())
        return plat::IDCANCEL;
    m_wnd->OnChanged(IDC_RATE, [this] { OnRateChange(); });
    m_wnd->exec();
    return m_result;
}

bool CPreviewParamDlg::OnInitDialog()
{
    const int half = Rate().Half();
    if (half <= 1) {
        plat::MessageBox(m_parent, LoadRawString(IDS_RAW_SENSELESS), "", plat::MB_OK);
        return false;
    }
    m_spin = new plat::SpinButton(m_wnd->ControlAs<QLineEdit>(IDC_RATE));
    m_spin->SetRange(1, half);
    m_step = std::clamp(m_step, 1, half);
    m_spin->SetPos(m_step);
    m_wnd->SetControlText(IDC_INIT_WIDTH, Rate().InitialWidth());
    m_wnd->SetControlText(IDC_INIT_HEIGHT, Rate().InitialHeight());
    m_wnd->SetControlText(IDC_INIT_SIZE, FormatFileSize(Rate().InitialSize()));
    ShowNewSizes();
    return true;
}

void CPreviewParamDlg::ShowNewSizes()
{
    m_wnd->SetControlText(IDC_NEW_WIDTH, std::to_string(Rate().NewWidth(m_step)));
    m_wnd->SetControlText(IDC_NEW_HEIGHT, std::to_string(Rate().NewHeight(m_step)));
    m_wnd->SetControlText(IDC_NEW_SIZE, FormatFileSize(Rate().NewSize(m_step)));
}

void CPreviewParamDlg::ClearNewSizes()
{
    m_wnd->SetControlText(IDC_NEW_WIDTH, "");
    m_wnd->SetControlText(IDC_NEW_HEIGHT, "");
    m_wnd->SetControlText(IDC_NEW_SIZE, "");
}

// A rate that leaves no row or column is no rate: it would make an empty preview.
void CPreviewParamDlg::OnRateChange()
{
    const long long value = ReadDecimal(m_wnd->ControlText(IDC_RATE));
    if (!Rate().Valid(value)) {
        ClearNewSizes();
        return;
    }
    m_step = int(value);
    ShowNewSizes();
}

void CPreviewParamDlg::OnOK()
{
    const long long value = ReadDecimal(m_wnd->ControlText(IDC_RATE));
    if (!Rate().Valid(value)) {
        ClearNewSizes();
        plat::MessageBox(m_wnd->Handle(), LoadRawString(IDS_RAW_BAD_RATE), "", plat::MB_OK);
        return;
    }
    m_step = int(value);
    m_result = plat::IDOK;
    m_wnd->done(QDialog::Accepted);
    m_wnd->hide();
}
