#include "PreferencesDlg.h"

#include <QFileDialog>

#include <unistd.h>

#include "BarGeometry.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "QuorvexStrings.h"
#include "platform/resources/StringTable.h"
#include "VarnokApp.h"
#include "settings/SNRegKey.h"

namespace {

using plat::ControlKind;

const plat::ControlTemplate kControls[] = {
    {plat::IDC_STATIC, ControlKind::GroupBox, 7, 5, 236, 34, "Temp Directory", plat::CS_NONE},
    {CPreferencesDlg::IDC_TEMP_DIR, ControlKind::Edit, 14, 20, 168, 13, "", plat::CS_NONE},
    {CPreferencesDlg::IDC_BROWSE_TEMP, ControlKind::PushButton, 188, 19, 48, 14, "Browse", plat::CS_NONE},
    {plat::IDC_STATIC, ControlKind::GroupBox, 7, 42, 236, 34, "Work Directory", plat::CS_NONE},
    {CPreferencesDlg::IDC_WORK_DIR, ControlKind::Edit, 14, 57, 168, 13, "", plat::CS_NONE},
    {CPreferencesDlg::IDC_BROWSE_WORK, ControlKind::PushButton, 188, 56, 48, 14, "Browse", plat::CS_NONE},
    {plat::IDC_STATIC, ControlKind::GroupBox, 7, 79, 236, 34, "Help File Location", plat::CS_NONE},
    {CPreferencesDlg::IDC_HELP_FILE, ControlKind::Edit, 14, 94, 168, 13, "", plat::CS_NONE},
    {CPreferencesDlg::IDC_BROWSE_HELP, ControlKind::PushButton, 188, 93, 48, 14, "Browse", plat::CS_NONE},
    {plat::IDOK, ControlKind::PushButton, 69, 121, 50, 14, "OK", plat::CS_NONE},
    {plat::IDCANCEL, ControlKind::PushButton, 131, 121, 50, 14, "Cancel", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    CPreferencesDlg::IDD, "Preferences", "MS Sans Serif", 8, 250, 142, kControls, std::size(kControls),
};

std::string Text(unsigned id)
{
    return plat::LoadString(id, kQuorvexModule);
}

}  // namespace

bool CFolderPicker::Browse()
{
    plat::FileDialogRequest request;
    request.kind = "Folder";
    request.title = m_title.empty() ? "Open" : m_title;
    request.folder = m_initialFolder;  // empty: the current folder
    const plat::FileDialogResult result = plat::FileDialog(
        plat::WindowHandle(), request, [](const plat::WindowHandle& owner, const plat::FileDialogRequest& r) {
            plat::FileDialogResult chosen;
            const QString folder = QFileDialog::getExistingDirectory(
                owner.Widget(), QString::fromStdString(r.title), QString::fromStdString(plat::StartFolder(r.folder)),
                QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
            if (!folder.isEmpty()) {
                chosen.ok = true;
                chosen.paths.push_back(folder.toStdString());
            }
            return chosen;
        });
    if (!result.ok || result.Path().empty())
        return false;
    m_path = result.Path();
    return true;
}

const plat::DialogTemplate& CPreferencesDlg::Template()
{
    return kTemplate;
}

CPreferencesDlg::~CPreferencesDlg()
{
    if (m_wnd)
        m_wnd->DestroyWindow();
}

void CPreferencesDlg::Create()
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
    m_wnd->OnClicked(IDC_BROWSE_TEMP, [this] { OnBrowseTempDir(); });
    m_wnd->OnClicked(IDC_BROWSE_WORK, [this] { OnBrowseWorkDir(); });
    m_wnd->OnClicked(IDC_BROWSE_HELP, [this] { OnBrowseHelpFile(); });
    OnInitDialog();
}

int CPreferencesDlg::DoModal()
{
    Create();
    m_wnd->exec();
    return m_result;
}

void CPreferencesDlg::ToEdits()
{
    m_wnd->SetControlText(IDC_TEMP_DIR, m_tempDir);
    m_wnd->SetControlText(IDC_HELP_FILE, m_helpFile);
    m_wnd->SetControlText(IDC_WORK_DIR, m_workDir);
}

void CPreferencesDlg::FromEdits()
{
    m_tempDir = m_wnd->ControlText(IDC_TEMP_DIR);
    m_helpFile = m_wnd->ControlText(IDC_HELP_FILE);
    m_workDir = m_wnd->ControlText(IDC_WORK_DIR);
}

void CPreferencesDlg::OnInitDialog()
{
    CSNRegKey key;
    if (!key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
        return;
    key.GetStringValue(m_tempDir, "TempDir");
    key.GetStringValue(m_helpFile, "HelpFile");
    key.GetStringValue(m_workDir, "WorkDir");
    key.Close();
    ToEdits();
}

void CPreferencesDlg::OnOK()
{
    FromEdits();
    CSNRegKey key;
    // A key that cannot be made loses the writes; the dialog closes all the same.
    if (key.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str())) {
        key.SetStringValue(m_tempDir.c_str(), "TempDir");
        key.SetStringValue(m_helpFile.c_str(), "HelpFile");
        key.SetStringValue(m_workDir.c_str(), "WorkDir");
        key.Close();
    }
    // Programs started from here on begin in the work folder.
    if (::chdir(m_workDir.c_str()) != 0) {
        // A folder that is not there leaves the current one.
    }
    m_result = plat::IDOK;
    m_wnd->done(QDialog::Accepted);
}

void CPreferencesDlg::OnBrowseTempDir()
{
    CFolderPicker picker(Text(IDS_SELECT_TEMP_FOLDER));
    if (!picker.Browse())
        return;
    m_tempDir = ChosenFolder(picker.Path());
    ToEdits();
}

void CPreferencesDlg::OnBrowseWorkDir()
{
    CFolderPicker picker(Text(IDS_SELECT_WORK_FOLDER));
    if (!picker.Browse())
        return;
    m_workDir = ChosenFolder(picker.Path());
    ToEdits();
}

void CPreferencesDlg::OnBrowseHelpFile()
{
    plat::FileDialogRequest request;
    request.filter = Text(IDS_HELP_FILES) + " *.chm|*.chm||";
    request.flags = plat::OFN_HIDEREADONLY | plat::OFN_OVERWRITEPROMPT | plat::OFN_SHAREAWARE;
    const plat::FileDialogResult result = plat::FileDialog(m_wnd->Handle(), request);
    if (result.ok)
        m_helpFile = result.Path();
    ToEdits();
}
