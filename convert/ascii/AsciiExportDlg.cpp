#include "ascii/AsciiExportDlg.h"

#include <QRadioButton>

#include <iterator>

#include "platform/dialogs/Dialog.h"
#include "ascii/AsciiJobs.h"
#include "ascii/AsciiStrings.h"
#include "jobs/Run.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CAsciiExportDlg;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::GroupBox, 6, 4, 120, 40, "Output File Format", plat::CS_NONE},
    {D::IDC_COLUMNS, ControlKind::RadioButton, 12, 16, 110, 10, "Three columns ( X Y Z)", plat::CS_GROUP},
    {D::IDC_MATRIX, ControlKind::RadioButton, 12, 29, 110, 10, "2-D Matrix", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 6, 48, 120, 68, "Symbol-delimiter", plat::CS_NONE},
    {D::IDC_SPACE, ControlKind::RadioButton, 12, 60, 60, 10, "Space", plat::CS_GROUP},
    {D::IDC_TAB, ControlKind::RadioButton, 12, 73, 60, 10, "Tab", plat::CS_NONE},
    {D::IDC_COMMA, ControlKind::RadioButton, 12, 86, 60, 10, "Comma", plat::CS_NONE},
    {D::IDC_OTHER, ControlKind::RadioButton, 12, 99, 50, 10, "Other...", plat::CS_NONE},
    {D::IDC_OTHER_TEXT, ControlKind::Edit, 64, 98, 40, 12, "", plat::CS_NONE},
    {D::IDC_EXECUTE, ControlKind::PushButton, 134, 8, 50, 14, "Execute", plat::CS_NONE},
    {D::IDC_CLOSE, ControlKind::PushButton, 134, 26, 50, 14, "Close", plat::CS_NONE},
    {D::IDC_HELP, ControlKind::PushButton, 134, 44, 50, 14, "Help", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "Export ASCII", "MS Sans Serif", 8, 190, 122, kControls, std::size(kControls),
};

}  // namespace

const plat::DialogTemplate& CAsciiExportDlg::Template()
{
    return kTemplate;
}

CAsciiExportDlg::CAsciiExportDlg(std::string input, std::string output)
    : ConverterDialog(std::move(input), std::move(output))
{}

CAsciiExportDlg::~CAsciiExportDlg() = default;

bool CAsciiExportDlg::Create()
{
    // The Help button is there but does nothing.
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, 0});
}

void CAsciiExportDlg::OnInitDialog()
{
    m_wnd->ControlAs<QRadioButton>(m_layout == 2 ? IDC_MATRIX : IDC_COLUMNS)->setChecked(true);
    unsigned delimiter = IDC_OTHER;
    if (m_delimiter == " ")
        delimiter = IDC_SPACE;
    else if (m_delimiter == "\t")
        delimiter = IDC_TAB;
    else if (m_delimiter == ",")
        delimiter = IDC_COMMA;
    else
        m_wnd->SetControlText(IDC_OTHER_TEXT, m_delimiter);
    m_wnd->ControlAs<QRadioButton>(delimiter)->setChecked(true);
}

void CAsciiExportDlg::OnExecute()
{
    auto checked = [&](unsigned id) { return m_wnd->ControlAs<QRadioButton>(id)->isChecked(); };
    m_layout = checked(IDC_MATRIX) ? 2 : 1;
    if (checked(IDC_SPACE))
        m_delimiter = " ";
    else if (checked(IDC_TAB))
        m_delimiter = "\t";
    else if (checked(IDC_COMMA))
        m_delimiter = ",";
    else
        m_delimiter = m_wnd->ControlText(IDC_OTHER_TEXT);
    const std::string title = LoadAsciiString(IDS_ASCII_EXPORT_TITLE) + ": " + m_input + " -> " + m_output;
    // The import/export dialog asked about the output already.
    if (!ConfirmFiles({m_input}, {m_output}, LoadAsciiString(IDS_ASCII_EXPORT_TITLE), {m_output}))
        return;
    Run(title, AsciiExportWorker, new AsciiExportJob{m_input, m_output, m_layout, m_delimiter});
}

std::string CAsciiExportDlg::HelpTopic() const
{
    return {};
}

int LaunchAsciiExport(const char* output, const char* input)
{
    auto* dlg = new CAsciiExportDlg(input ? input : "", output ? output : "");
    if (!dlg->Create()) {
        delete dlg;
        return 0;
    }
    return 1;
}
