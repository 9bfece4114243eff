#include "complex/ComplexDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>

#include <iterator>

#include "ConversionJobEnd.h"
#include "ImportExportDlg.h"
#include "MirvaneStrings.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "complex/ComplexStrings.h"
#include "dialogs/FileMasks.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CComplexDlg;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::GroupBox, 6, 4, 134, 38, "Action", plat::CS_NONE},
    {D::IDC_JOIN, ControlKind::RadioButton, 12, 15, 124, 10, "Join two files into one", plat::CS_GROUP},
    {D::IDC_DIVIDE, ControlKind::RadioButton, 12, 28, 124, 10, "Divide complex file", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 146, 4, 134, 38, "Components", plat::CS_NONE},
    {D::IDC_AMP_PHASE, ControlKind::RadioButton, 152, 15, 124, 10, "Amplitude and Phase", plat::CS_GROUP},
    {D::IDC_RE_IM, ControlKind::RadioButton, 152, 28, 124, 10, "Real and Imaginary", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 20, 48, 120, 9, "Complex file", plat::CS_NONE},
    {D::IDC_COMPLEX, ControlKind::Static, 20, 58, 260, 36, "Complex", plat::CS_NONE},
    {D::IDC_LABEL1, ControlKind::Static, 20, 98, 120, 9, "", plat::CS_NONE},
    {D::IDC_WRITE1, ControlKind::CheckBox, 6, 112, 10, 10, "", plat::CS_NONE},
    {D::IDC_SOURCE1, ControlKind::Static, 20, 108, 260, 36, "Source 1", plat::CS_NONE},
    {D::IDC_LABEL2, ControlKind::Static, 20, 148, 120, 9, "", plat::CS_NONE},
    {D::IDC_WRITE2, ControlKind::CheckBox, 6, 162, 10, 10, "", plat::CS_NONE},
    {D::IDC_SOURCE2, ControlKind::Static, 20, 158, 260, 36, "Source 2", plat::CS_NONE},
    {D::IDC_EXECUTE, ControlKind::PushButton, 288, 8, 50, 14, "Execute", plat::CS_NONE},
    {D::IDC_CLOSE, ControlKind::PushButton, 288, 26, 50, 14, "Close", plat::CS_NONE},
    {D::IDC_HELP, ControlKind::PushButton, 288, 44, 50, 14, "Help", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "Operations with complex files", "MS Sans Serif", 8, 344, 200, kControls, std::size(kControls),
};

}  // namespace

const plat::DialogTemplate& CComplexDlg::Template()
{
    return kTemplate;
}

CComplexDlg::CComplexDlg() : ConverterDialog({}, {}) {}

CComplexDlg::~CComplexDlg() = default;

bool CComplexDlg::Create()
{
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, IDC_HELP});
}

bool CComplexDlg::Checked(unsigned id) const
{
    const auto* button = m_wnd->ControlAs<QAbstractButton>(id);
    return button && button->isChecked();
}

void CComplexDlg::OnInitDialog()
{
    m_component2.SubclassDlgItem(IDC_SOURCE2, m_wnd);
    m_component2.Create(0, nullptr, nullptr);
    m_component1.SubclassDlgItem(IDC_SOURCE1, m_wnd);
    m_component1.Create(0, nullptr, nullptr);
    m_complex.SubclassDlgItem(IDC_COMPLEX, m_wnd);
    m_complex.Create(1, nullptr, nullptr);
    for (CInFileCtrl* ctrl : {&m_component1, &m_component2, &m_complex})
        ctrl->SetFileFilter(DefaultLayerFilter().c_str());

    m_wnd->ControlAs<QRadioButton>(IDC_AMP_PHASE)->setChecked(true);
    OnInterpretation(0);
    m_wnd->ControlAs<QRadioButton>(IDC_DIVIDE)->setChecked(true);
    m_wnd->ControlAs<QCheckBox>(IDC_WRITE1)->setChecked(true);
    m_wnd->ControlAs<QCheckBox>(IDC_WRITE2)->setChecked(true);
    OnDivide();

    m_wnd->Control(IDC_JOIN)->setToolTip(QString::fromStdString(LoadComplexString(IDS_CPX_JOIN_TITLE)));
    m_wnd->Control(IDC_DIVIDE)->setToolTip(QString::fromStdString(LoadComplexString(IDS_CPX_DIVIDE_TITLE)));

    m_wnd->OnClicked(IDC_JOIN, [this] { OnJoin(); });
    m_wnd->OnClicked(IDC_DIVIDE, [this] { OnDivide(); });
    m_wnd->OnClicked(IDC_AMP_PHASE, [this] { OnInterpretation(0); });
    m_wnd->OnClicked(IDC_RE_IM, [this] { OnInterpretation(1); });
    m_wnd->OnClicked(IDC_WRITE1, [this] { EnableByChecks(); });
    m_wnd->OnClicked(IDC_WRITE2, [this] { EnableByChecks(); });
}

void CComplexDlg::OnJoin()
{
    m_action = 0;
    for (CInFileCtrl* ctrl : {&m_component1, &m_component2}) {
        ctrl->EnableWindow(1);
        ctrl->SetOpenMode(1);
        ctrl->ClearAll();
    }
    m_wnd->Control(IDC_LABEL1)->setEnabled(true);
    m_wnd->Control(IDC_LABEL2)->setEnabled(true);
    m_wnd->Control(IDC_WRITE1)->setEnabled(false);
    m_wnd->Control(IDC_WRITE2)->setEnabled(false);
    m_complex.SetOpenMode(0);
}

void CComplexDlg::OnDivide()
{
    m_action = 1;
    m_complex.ClearAll();
    m_complex.SetOpenMode(1);
    m_wnd->Control(IDC_WRITE1)->setEnabled(true);
    m_wnd->Control(IDC_WRITE2)->setEnabled(true);
    m_component1.SetOpenMode(0);
    m_component2.SetOpenMode(0);
    EnableByChecks();
}

void CComplexDlg::EnableByChecks()
{
    if (m_action != 1)
        return;
    const bool one = Checked(IDC_WRITE1), two = Checked(IDC_WRITE2);
    m_component1.EnableWindow(one);
    m_wnd->Control(IDC_LABEL1)->setEnabled(one);
    m_component2.EnableWindow(two);
    m_wnd->Control(IDC_LABEL2)->setEnabled(two);
}

void CComplexDlg::OnInterpretation(int interpretation)
{
    m_interpretation = interpretation;
    m_label1 = LoadComplexString(interpretation == 0 ? IDS_CPX_AMPLITUDE : IDS_CPX_REAL);
    m_label2 = LoadComplexString(interpretation == 0 ? IDS_CPX_PHASE : IDS_CPX_IMAGINARY);
    m_wnd->SetControlText(IDC_LABEL1, m_label1);
    m_wnd->SetControlText(IDC_LABEL2, m_label2);
}

ComplexRequest CComplexDlg::Request() const
{
    ComplexRequest r;
    r.action = m_action;
    r.interpretation = m_interpretation;
    r.component1 = m_component1.GetPathName();
    r.component2 = m_component2.GetPathName();
    r.complex = m_complex.GetPathName();
    r.write1 = Checked(IDC_WRITE1) ? 1 : 0;
    r.write2 = Checked(IDC_WRITE2) ? 1 : 0;
    return r;
}

void CComplexDlg::OnExecute()
{
    ComplexCheck check = CheckComplexExecute(Request());
    const std::string caption = LoadComplexString(IDS_CPX_CAPTION);
    if (!check.job) {
        plat::MessageBox(m_wnd->Handle(), LoadComplexString(IDS_CPX_UNABLE) + ":\n" + check.reason, caption,
                         plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return;
    }
    if (!ConfirmFiles(check.inputs, check.outputs, caption))
        return;
    const bool join = m_action == 0;
    RunConversion(LoadComplexString(join ? IDS_CPX_JOIN_TITLE : IDS_CPX_DIVIDE_TITLE),
                  join ? JoinComplexWorker : DivideComplexWorker, check.job.release(), check.outputs, 2);
}

std::string CComplexDlg::HelpTopic() const
{
    return LoadComplexString(IDS_CPX_HELP_TOPIC);
}

CComplexDlg* OpenComplexDialog()
{
    auto* dlg = new CComplexDlg;
    if (!dlg->Create()) {
        delete dlg;
        return nullptr;
    }
    return dlg;
}

void ExternFunction::LaunchComplex()
{
    if (!OpenComplexDialog())
        plat::MessageBox(plat::WindowHandle(), LoadMirvaneString(IDS_CANNOT_SHOW_DIALOG), AppName, plat::MB_OK);
}
