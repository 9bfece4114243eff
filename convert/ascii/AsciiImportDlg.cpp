#include "ascii/AsciiImportDlg.h"

#include <QComboBox>
#include <QKeySequence>
#include <QShortcut>

#include <charconv>
#include <iterator>
#include <memory>

#include "ConversionJobEnd.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "ascii/AsciiJobs.h"
#include "ascii/AsciiStrings.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CAsciiImportDlg;

const char* const kRoles = "X\nY\nZ";

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 10, 8, 44, 9, "Column A", plat::CS_NONE},
    {D::IDC_COLUMN_A, ControlKind::DropDownList, 10, 18, 44, 60, kRoles, plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 62, 8, 44, 9, "Column B", plat::CS_NONE},
    {D::IDC_COLUMN_B, ControlKind::DropDownList, 62, 18, 44, 60, kRoles, plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 114, 8, 44, 9, "Column C", plat::CS_NONE},
    {D::IDC_COLUMN_C, ControlKind::DropDownList, 114, 18, 44, 60, kRoles, plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 4, 36, 160, 52, "Test", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 10, 50, 20, 9, "Max", plat::CS_NONE},
    {D::IDC_MAX_A, ControlKind::Edit, 32, 48, 40, 12, "", plat::CS_READONLY},
    {D::IDC_MAX_B, ControlKind::Edit, 76, 48, 40, 12, "", plat::CS_READONLY},
    {D::IDC_MAX_C, ControlKind::Edit, 120, 48, 40, 12, "", plat::CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 10, 68, 20, 9, "Min", plat::CS_NONE},
    {D::IDC_MIN_A, ControlKind::Edit, 32, 66, 40, 12, "", plat::CS_READONLY},
    {D::IDC_MIN_B, ControlKind::Edit, 76, 66, 40, 12, "", plat::CS_READONLY},
    {D::IDC_MIN_C, ControlKind::Edit, 120, 66, 40, 12, "", plat::CS_READONLY},
    {D::IDC_EXECUTE, ControlKind::PushButton, 172, 8, 50, 14, "Execute", plat::CS_NONE},
    {D::IDC_CLOSE, ControlKind::PushButton, 172, 26, 50, 14, "Close", plat::CS_NONE},
    {D::IDC_STATISTICS, ControlKind::PushButton, 172, 72, 50, 14, "Statictics", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "Import ASCII", "MS Sans Serif", 8, 228, 94, kControls, std::size(kControls),
};

// A float as an edit shows it: "%.6g" in the C locale.
std::string FloatText(float v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    return std::string(buf, r.ptr);
}

}  // namespace

const plat::DialogTemplate& CAsciiImportDlg::Template()
{
    return kTemplate;
}

CAsciiImportDlg::CAsciiImportDlg(std::string input, std::string output)
    : ConverterDialog(std::move(input), std::move(output))
{}

CAsciiImportDlg::~CAsciiImportDlg() = default;

bool CAsciiImportDlg::Create()
{
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, 0});
}

void CAsciiImportDlg::OnInitDialog()
{
    for (unsigned id : {IDC_COLUMN_A, IDC_COLUMN_B, IDC_COLUMN_C})
        m_wnd->ControlAs<QComboBox>(id)->setCurrentIndex(-1);
    m_wnd->OnClicked(IDC_STATISTICS, [this] { ScanStatistics(); });
    // No Help button, but F1 opens the topic.
    auto* help = new QShortcut(QKeySequence::HelpContents, m_wnd);
    QObject::connect(help, &QShortcut::activated, m_wnd, [this] { OnHelp(); });
    ShowStatistics();
}

void CAsciiImportDlg::ShowStatistics()
{
    const unsigned minIds[3] = {IDC_MIN_A, IDC_MIN_B, IDC_MIN_C};
    const unsigned maxIds[3] = {IDC_MAX_A, IDC_MAX_B, IDC_MAX_C};
    for (int i = 0; i < 3; ++i) {
        m_wnd->SetControlText(minIds[i], FloatText(m_stats.minimum[i]));
        m_wnd->SetControlText(maxIds[i], FloatText(m_stats.maximum[i]));
    }
}

void CAsciiImportDlg::ScanStatistics()
{
    ScanAsciiStatisticsFile(m_input, &m_stats);
    ShowStatistics();
}

void CAsciiImportDlg::OnExecute()
{
    const unsigned ids[3] = {IDC_COLUMN_A, IDC_COLUMN_B, IDC_COLUMN_C};
    int roles[3];
    for (int i = 0; i < 3; ++i)
        roles[i] = m_wnd->ControlAs<QComboBox>(ids[i])->currentIndex();
    auto box = [&](const std::string& text) { plat::MessageBox(m_wnd->Handle(), text, "", plat::MB_OK); };
    AsciiImportJob job;
    if (roles[0] == roles[1] || roles[0] == roles[2] || roles[1] == roles[2]) {
        box(LoadAsciiString(IDS_ASCII_DIFFERENT_COLUMNS));
        return;
    }
    ScanStatistics();
    if (const std::string refusal = CheckAsciiImport(roles, m_stats, &job); !refusal.empty()) {
        box(refusal);
        return;
    }
    job.input = m_input;
    job.output = m_output;
    const std::string title = "Импорт ASCII";
    // The import/export dialog asked about the output already.
    if (!ConfirmFiles({m_input}, {m_output}, title, {m_output}))
        return;
    RunConversion(title, AsciiImportWorker, new AsciiImportJob(job), {m_output}, 2);
}

std::string CAsciiImportDlg::HelpTopic() const
{
    return LoadAsciiString(IDS_ASCII_HELP_TOPIC);
}

int LaunchAsciiImport(const char* output, const char* input)
{
    auto* dlg = new CAsciiImportDlg(input ? input : "", output ? output : "");
    if (!dlg->Create()) {
        delete dlg;
        return 0;
    }
    return 1;
}
