#include "ImportExportDlg.h"

#include <QComboBox>

#include <algorithm>

#include "platform/dialogs/Dialog.h"
#include "ExportOptionsSheet.h"
#include "ImpExpDispatch.h"
#include "platform/dialogs/MessageBox.h"
#include "MirvaneStrings.h"
#include "dialogs/FileMasks.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::GroupBox, 7, 5, 232, 70, "Input File", plat::CS_NONE},
    {CImportExportDlg::IDC_INPUT_FORMAT, ControlKind::DropDownList, 13, 17, 220, 120, "", plat::CS_NONE},
    {CImportExportDlg::IDC_INPUT_FILE, ControlKind::Static, 13, 34, 220, 36, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 7, 80, 232, 58, "Output File", plat::CS_NONE},
    {CImportExportDlg::IDC_OUTPUT_FORMAT, ControlKind::DropDownList, 13, 92, 220, 120, "", plat::CS_NONE},
    {CImportExportDlg::IDC_OUTPUT_FILE, ControlKind::Static, 13, 109, 220, 24, "", plat::CS_NONE},
    {CImportExportDlg::IDC_EXECUTE, ControlKind::PushButton, 246, 9, 54, 14, "Execute", plat::CS_NONE},
    {CImportExportDlg::IDC_CLOSE, ControlKind::PushButton, 246, 27, 54, 14, "Close", plat::CS_NONE},
    {CImportExportDlg::IDC_HELP, ControlKind::PushButton, 246, 45, 54, 14, "Help", plat::CS_NONE},
    // Opens the export options, which are not built: disabled until they are.
    {CImportExportDlg::IDC_ADVANCED, ControlKind::PushButton, 246, 124, 54, 14, "Advanced", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    CImportExportDlg::IDD, "Import / Export", "MS Sans Serif", 8, 307, 145, kControls, std::size(kControls),
};

// Refills a combo with the list's entries, each carrying its format code.
void FillCombo(QComboBox* combo, const FormatList& list)
{
    combo->clear();
    for (int code : list.codes)
        combo->addItem(QString::fromStdString(FormatEntryText(code)), code);
}

}  // namespace

const plat::DialogTemplate& CImportExportDlg::Template()
{
    return kTemplate;
}

CImportExportDlg::CImportExportDlg() : ConverterDialog({}, {}) {}

CImportExportDlg::~CImportExportDlg() = default;

bool CImportExportDlg::Create(QWidget* parent)
{
    return CreateFrame(kTemplate, parent, Buttons{IDC_EXECUTE, IDC_CLOSE, IDC_HELP});
}

std::string CImportExportDlg::HelpTopic() const
{
    return LoadMirvaneString(IDS_IMPEXP_HELP_TOPIC);
}

void CImportExportDlg::OnInitDialog()
{
    m_wnd->OnSelChange(IDC_INPUT_FORMAT, [this] { OnInputFormatChanged(); });
    m_wnd->OnSelChange(IDC_OUTPUT_FORMAT, [this] { OnOutputFormatChanged(); });
    m_wnd->OnClicked(IDC_ADVANCED, [this] { ShowExportOptions(m_wnd); });
    m_wnd->SetMessageHandler([this](unsigned msg, plat::WParam wp, plat::LParam) {
        if (msg == WM_INFILE_CHOSEN && wp == IDC_INPUT_FILE)
            OnInputFileChosen();
        else if (msg == WM_INFILE_CHOSEN && wp == IDC_OUTPUT_FILE)
            OnOutputFileChosen();
        return plat::LResult(0);
    });
    m_inputFile.SubclassDlgItem(IDC_INPUT_FILE, m_wnd);
    m_inputFile.Create(1, nullptr, nullptr);
    m_inputs = BuildInputList(m_fullList != 0);
    FillCombo(m_wnd->ControlAs<QComboBox>(IDC_INPUT_FORMAT), m_inputs);
    m_inputFile.SetFileFilter(m_inputs.Filter().c_str());
    SelectInput(0);
    m_inputPos = 0;
    m_inputFile.SetDefaultFilter(1);
    m_outputFile.SubclassDlgItem(IDC_OUTPUT_FILE, m_wnd);
    m_outputFile.Create(0, nullptr, nullptr);
    BuildOutputList();
    SelectOutput(0);
    m_wnd->ControlAs<QComboBox>(IDC_OUTPUT_FORMAT)->setToolTip(QString::fromUtf8("Выбор типа внешнего файла"));
}

int CImportExportDlg::InputPosition() const
{
    return m_wnd->ControlAs<QComboBox>(IDC_INPUT_FORMAT)->currentIndex();
}

int CImportExportDlg::OutputPosition() const
{
    return m_wnd->ControlAs<QComboBox>(IDC_OUTPUT_FORMAT)->currentIndex();
}

void CImportExportDlg::SelectInput(int pos)
{
    m_wnd->ControlAs<QComboBox>(IDC_INPUT_FORMAT)->setCurrentIndex(pos);
}

// Position 0, or the last one when there are fewer. The save dialog starts at the
// format the combo shows.
void CImportExportDlg::SelectOutput(int pos)
{
    auto* combo = m_wnd->ControlAs<QComboBox>(IDC_OUTPUT_FORMAT);
    pos = std::min(pos, combo->count() - 1);
    combo->setCurrentIndex(pos);
    m_outputFile.SetDefaultFilter(pos + 1);
}

void CImportExportDlg::BuildOutputList()
{
    const int inputCode = m_inputs.CodeAt(InputPosition());
    if (inputCode < 0)
        return;
    m_outputs = ::BuildOutputList(inputCode, m_fullList != 0);
    FillCombo(m_wnd->ControlAs<QComboBox>(IDC_OUTPUT_FORMAT), m_outputs);
    m_outputFile.SetFileFilter(m_outputs.Filter().c_str());
}

void CImportExportDlg::OnInputFormatChanged()
{
    BuildOutputList();
    SelectOutput(0);
    m_inputPos = InputPosition();
    m_inputFile.SetDefaultFilter(m_inputPos + 1);
}

void CImportExportDlg::OnOutputFormatChanged()
{
    m_outputFile.SetDefaultFilter(OutputPosition() + 1);
}

void CImportExportDlg::OnInputFileChosen()
{
    const int pos = m_inputFile.GetSelectedFilter() - 1;
    if (m_inputs.CodeAt(pos) >= 0) {
        SelectInput(pos);
        if (pos != m_inputPos) {
            BuildOutputList();
            SelectOutput(0);
            m_inputPos = pos;
        }
    }
    const int outputCode = m_outputs.CodeAt(OutputPosition());
    if (outputCode >= 0)
        m_outputFile.SetFileName(DeriveOutputName(m_inputFile.GetFileName(), outputCode).c_str());
}

void CImportExportDlg::OnOutputFileChosen()
{
    const int pos = m_outputFile.GetSelectedFilter() - 1;
    if (m_outputs.CodeAt(pos) >= 0)
        m_wnd->ControlAs<QComboBox>(IDC_OUTPUT_FORMAT)->setCurrentIndex(pos);
}

void CImportExportDlg::OnExecute()
{
    ExecuteRequest request;
    request.inputChosen = m_inputFile.DataReady() != 0;
    request.outputNamed = m_outputFile.DataReady() != 0;
    request.inputCode = m_inputs.CodeAt(InputPosition());
    request.outputCode = m_outputs.CodeAt(OutputPosition());
    if (request.inputChosen)
        request.inputPath = m_input = m_inputFile.GetPathName();
    if (request.outputNamed)
        request.outputPath = m_output = m_outputFile.GetPathName();
    const ExecuteVerdict verdict = CheckExecute(request);
    const std::string caption = LoadMirvaneString(IDS_CONVERSION_CAPTION);
    if (verdict.Refused()) {
        plat::MessageBox(m_wnd->Handle(), verdict.message, caption, plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return;
    }
    if (!verdict.replaceQuestion.empty() && plat::MessageBox(m_wnd->Handle(), verdict.replaceQuestion, caption,
                                                             plat::MB_YESNO | plat::MB_ICONQUESTION) != plat::IDYES)
        return;
    DispatchConversion(verdict.inputCode, verdict.outputCode, verdict.inputPath, verdict.outputPath);
}

void CImportExportDlg::Launch(QWidget* parent, int fullList)
{
    auto* dlg = new CImportExportDlg;
    dlg->SetFullList(fullList);
    if (!dlg->Create(parent)) {
        delete dlg;
        plat::MessageBox(plat::WindowHandle(), LoadMirvaneString(IDS_CANNOT_SHOW_DIALOG), AppName, plat::MB_OK);
    }
}

void ExternFunction::LaunchImport(QWidget* parent)
{
    CImportExportDlg::Launch(parent, 1);
}

void ExternFunction::LaunchImportShort(QWidget* parent)
{
    CImportExportDlg::Launch(parent, 0);
}
