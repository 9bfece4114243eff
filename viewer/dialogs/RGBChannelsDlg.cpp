#include "dialogs/RGBChannelsDlg.h"

#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "ViewerStrings.h"
#include "dialogs/FileMasks.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::GroupBox, 7, 5, 174, 48, "Red Channel", plat::CS_NONE},
    {CRGBChannelsDlg::IDC_RED_FILE, ControlKind::Static, 12, 17, 164, 31, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 7, 56, 174, 48, "Green Channel", plat::CS_NONE},
    {CRGBChannelsDlg::IDC_GREEN_FILE, ControlKind::Static, 12, 68, 164, 31, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 7, 107, 174, 48, "Blue Channel", plat::CS_NONE},
    {CRGBChannelsDlg::IDC_BLUE_FILE, ControlKind::Static, 12, 119, 164, 31, "", plat::CS_NONE},
    {plat::IDOK, ControlKind::PushButton, 38, 162, 50, 14, "Open", plat::CS_NONE},
    {plat::IDCANCEL, ControlKind::PushButton, 100, 162, 50, 14, "Cancel", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    CRGBChannelsDlg::IDD, "RGB Channels", "MS Sans Serif", 8, 188, 183, kControls, std::size(kControls),
};

constexpr unsigned kFieldIds[3] = {CRGBChannelsDlg::IDC_RED_FILE, CRGBChannelsDlg::IDC_GREEN_FILE,
                                   CRGBChannelsDlg::IDC_BLUE_FILE};

}  // namespace

const plat::DialogTemplate& CRGBChannelsDlg::Template()
{
    return kTemplate;
}

CRGBChannelsDlg::CRGBChannelsDlg(plat::WindowHandle parent, int mode) : m_mode(mode), m_parent(std::move(parent)) {}

CRGBChannelsDlg::~CRGBChannelsDlg()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

void CRGBChannelsDlg::Create()
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
    m_wnd->SetMessageHandler([this](unsigned msg, plat::WParam, plat::LParam) {
        if (msg == WM_INFILE_CHOSEN)
            OnFileChosen();
        return plat::LResult(0);
    });
    for (int c = 0; c < 3; ++c) {
        m_files[c].SubclassDlgItem(kFieldIds[c], m_wnd);
        m_files[c].Create(m_mode, nullptr, nullptr, 0);
    }
    m_wnd->Control(plat::IDOK)->setEnabled(m_mode == 0);
}

int CRGBChannelsDlg::DoModal()
{
    Create();
    m_wnd->exec();
    return m_result;
}

bool CRGBChannelsDlg::AllReady() const
{
    return m_files[0].DataReady() && m_files[1].DataReady() && m_files[2].DataReady();
}

void CRGBChannelsDlg::OnFileChosen()
{
    if (m_wnd)
        m_wnd->Control(plat::IDOK)->setEnabled(m_mode == 0 || AllReady());
}

void CRGBChannelsDlg::OnOK()
{
    if (!m_wnd || !m_wnd->Control(plat::IDOK)->isEnabled())
        return;
    if (!AllReady()) {
        plat::MessageBox(m_wnd->Handle(), LoadViewerString(IDS_ENTER_FILE_NAMES), AppName, plat::MB_OK);
        return;
    }
    const CInFileCtrl& red = m_files[0];
    for (int c = 1; c < 3; ++c)
        if (m_files[c].Width() != red.Width() || m_files[c].Height() != red.Height()) {
            plat::MessageBox(m_wnd->Handle(), LoadViewerString(IDS_FILES_NOT_SAME_SIZE), AppName, plat::MB_OK);
            return;
        }
    m_result = plat::IDOK;
    m_wnd->done(QDialog::Accepted);
    m_wnd->hide();
}

std::string CRGBChannelsDlg::PathOf(int channel) const
{
    return AllReady() ? m_files[channel].GetPathName() : std::string();
}

std::string CRGBChannelsDlg::GetRedFileName() const
{
    return PathOf(0);
}

std::string CRGBChannelsDlg::GetGreenFileName() const
{
    return PathOf(1);
}

std::string CRGBChannelsDlg::GetBlueFileName() const
{
    return PathOf(2);
}
