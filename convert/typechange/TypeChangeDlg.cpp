#include "typechange/TypeChangeDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>

#include "ConversionJobEnd.h"
#include "ImportExportDlg.h"
#include "MirvaneStrings.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "dialogs/FileMasks.h"
#include "format/RDPFile.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "typechange/TypeChange.h"
#include "typechange/TypeChangeStrings.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CTypeChangeDlg;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 6, 4, 120, 9, "Input file", plat::CS_NONE},
    {D::IDC_INPUT, ControlKind::Static, 6, 14, 262, 36, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 6, 54, 120, 9, "Output file", plat::CS_NONE},
    {D::IDC_OUTPUT, ControlKind::Static, 6, 64, 262, 24, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 6, 96, 50, 9, "new type", plat::CS_NONE},
    {D::IDC_NEW_TYPE, ControlKind::DropDownList, 60, 94, 130, 100,
     "8-bit unsigned int\n8-bit signed int\n16-bit unsigned int\n16-bit signed int\n32-bit unsigned int\n"
     "32-bit signed int\n32-bit float\n64-bit float",
     plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 6, 112, 128, 46, "new value", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 12, 126, 20, 9, "min", plat::CS_NONE},
    {D::IDC_NEW_MIN, ControlKind::Edit, 34, 124, 94, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 12, 142, 20, 9, "max", plat::CS_NONE},
    {D::IDC_NEW_MAX, ControlKind::Edit, 34, 140, 94, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 140, 112, 128, 46, "old value", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 146, 126, 20, 9, "min", plat::CS_NONE},
    {D::IDC_OLD_MIN, ControlKind::Edit, 168, 124, 94, 12, "", plat::CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 146, 142, 20, 9, "max", plat::CS_NONE},
    {D::IDC_OLD_MAX, ControlKind::Edit, 168, 140, 94, 12, "", plat::CS_READONLY},
    {D::IDC_EXECUTE, ControlKind::PushButton, 276, 8, 50, 14, "Execute", plat::CS_NONE},
    {D::IDC_CLOSE, ControlKind::PushButton, 276, 26, 50, 14, "Close", plat::CS_NONE},
    {D::IDC_HELP, ControlKind::PushButton, 276, 44, 50, 14, "Help", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "Change data type", "MS Sans Serif", 8, 332, 164, kControls, std::size(kControls),
};

// A value as an edit bound to a double shows it.
std::string EditText(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

// An edit's text as a double (C locale, blanks around allowed); false for anything else.
bool ParseDouble(const std::string& text, double* value)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    locale_t c = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    const double v = c ? strtod_l(begin, &end, c) : std::strtod(begin, &end);
    if (c)
        freelocale(c);
    if (end == begin || errno == ERANGE)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return false;
    *value = v;
    return true;
}

}  // namespace

const plat::DialogTemplate& CTypeChangeDlg::Template()
{
    return kTemplate;
}

CTypeChangeDlg::CTypeChangeDlg() : ConverterDialog({}, {}) {}

CTypeChangeDlg::~CTypeChangeDlg() = default;

bool CTypeChangeDlg::Create()
{
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, IDC_HELP});
}

void CTypeChangeDlg::OnInitDialog()
{
    m_outputFile.SubclassDlgItem(IDC_OUTPUT, m_wnd);
    m_outputFile.Create(0, nullptr, nullptr);
    m_inputFile.SubclassDlgItem(IDC_INPUT, m_wnd);
    m_inputFile.Create(1, nullptr, nullptr);
    m_outputFile.SetFileFilter(DefaultLayerFilter().c_str());
    m_inputFile.SetFileFilter(DefaultLayerFilter().c_str());
    SetValue(IDC_NEW_MIN, 0.0);
    SetValue(IDC_NEW_MAX, 0.0);
    m_wnd->ControlAs<QComboBox>(IDC_NEW_TYPE)->setCurrentIndex(-1);

    const std::pair<unsigned, unsigned> tips[] = {
        {IDC_INPUT, IDS_TC_TIP_INPUT}, {IDC_OUTPUT, IDS_TC_TIP_OUTPUT}, {IDC_NEW_TYPE, IDS_TC_TIP_TYPE},
        {IDC_NEW_MIN, IDS_TC_TIP_MIN}, {IDC_NEW_MAX, IDS_TC_TIP_MAX},
    };
    for (const auto& [id, text] : tips)
        if (QWidget* w = m_wnd->Control(id))
            w->setToolTip(QString::fromStdString(LoadTypeChangeString(text)));
    if (QWidget* w = m_inputFile.Window())
        w->setToolTip(QString::fromStdString(LoadTypeChangeString(IDS_TC_TIP_INPUT)));
    if (QWidget* w = m_outputFile.Window())
        w->setToolTip(QString::fromStdString(LoadTypeChangeString(IDS_TC_TIP_OUTPUT)));

    m_wnd->OnSelChange(IDC_NEW_TYPE, [this] { OnTypeSelected(); });
    m_wnd->OnChanged(IDC_NEW_MIN, [this] { OnNewMinChanged(); });
    m_wnd->SetMessageHandler([this](unsigned msg, plat::WParam wp, plat::LParam) {
        if (msg == WM_INFILE_CHOSEN && wp == IDC_INPUT)
            OnInputChosen();
        return plat::LResult(0);
    });
}

void CTypeChangeDlg::SetValue(unsigned id, double value)
{
    m_wnd->SetControlText(id, EditText(value));
}

void CTypeChangeDlg::OnInputChosen()
{
    const std::string path = m_inputFile.GetPathName();
    double min = 0.0, max = 0.0;
    LayerHeaderTag header{};
    if (path.empty() || !ReadTypeChangeStatistics(path, &min, &max) ||
        !GetTag(path.c_str(), kTagLayerHeader, int(sizeof header), &header))
        return;
    m_equal = min == max ? 1 : 0;
    m_wnd->ControlAs<QLineEdit>(IDC_NEW_MAX)->setReadOnly(m_equal != 0);
    m_min = min;
    m_max = max;
    char text[512];
    std::snprintf(text, sizeof text, "%f", min);
    m_wnd->SetControlText(IDC_OLD_MIN, text);
    std::snprintf(text, sizeof text, "%f", max);
    m_wnd->SetControlText(IDC_OLD_MAX, text);
    SetValue(IDC_NEW_MIN, min);
    SetValue(IDC_NEW_MAX, max);
    m_sourceType = header.type;
    auto* combo = m_wnd->ControlAs<QComboBox>(IDC_NEW_TYPE);
    combo->clear();
    m_listTypes = NewTypeList(m_sourceType);
    for (const int type : m_listTypes)
        combo->addItem(QString::fromStdString(GetDataTypeName(type, 0)));
    combo->setCurrentIndex(NewTypeIndex(m_listTypes, m_sourceType));
    m_newType = m_sourceType;
    m_complex = IsComplexType(m_sourceType);
    m_wnd->Control(IDC_EXECUTE)->setEnabled(true);
}

void CTypeChangeDlg::OnTypeSelected()
{
    const int index = m_wnd->ControlAs<QComboBox>(IDC_NEW_TYPE)->currentIndex();
    if (index < 0) {
        m_wnd->Control(IDC_EXECUTE)->setEnabled(false);
        SetValue(IDC_NEW_MIN, 0.0);
        SetValue(IDC_NEW_MAX, 0.0);
        return;
    }
    m_wnd->Control(IDC_EXECUTE)->setEnabled(true);
    // Before an input is chosen the list holds the real types in code order.
    m_newType = index < int(m_listTypes.size()) ? m_listTypes[std::size_t(index)] : index + 1;
    double newMin = 0.0, newMax = 0.0;
    GetTypeRange(m_min, m_max, &newMin, &newMax, m_newType);
    SetValue(IDC_NEW_MIN, newMin);
    SetValue(IDC_NEW_MAX, newMax);
}

void CTypeChangeDlg::OnNewMinChanged()
{
    if (m_equal)
        m_wnd->SetControlText(IDC_NEW_MAX, m_wnd->ControlText(IDC_NEW_MIN));
}

void CTypeChangeDlg::OnExecute()
{
    TypeChangeRequest request;
    if (!ParseDouble(m_wnd->ControlText(IDC_NEW_MIN), &request.newMin) ||
        !ParseDouble(m_wnd->ControlText(IDC_NEW_MAX), &request.newMax)) {
        plat::MessageBox(m_wnd->Handle(), "Please enter a number.", "", plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return;
    }
    request.input = m_inputFile.GetPathName();
    request.output = m_outputFile.GetPathName();
    request.newType = m_newType;
    request.sourceMin = m_min;
    request.sourceMax = m_max;
    if (const unsigned id = CheckTypeChangeExecute(request)) {
        plat::MessageBox(m_wnd->Handle(), LoadTypeChangeString(id), "", plat::MB_OK);
        return;
    }
    const std::string title = LoadTypeChangeString(IDS_TC_TITLE);
    if (!ConfirmFiles({request.input}, {request.output}, title))
        return;
    auto job = std::make_unique<TypeChangeJob>();
    job->input = request.input;
    job->output = request.output;
    job->newType = request.newType;
    job->newMin = request.newMin;
    job->newMax = request.newMax;
    job->equal = m_equal;
    const std::string failure = PrepareTypeChange(*job);
    if (!failure.empty()) {
        plat::MessageBox(m_wnd->Handle(), failure, "", plat::MB_OK);
        return;
    }
    RunConversion(title, TypeChangeWorker, job.release(), {request.output}, 2);
}

std::string CTypeChangeDlg::HelpTopic() const
{
    return LoadTypeChangeString(IDS_TC_HELP_TOPIC);
}

CTypeChangeDlg* OpenTypeChangeDialog()
{
    auto* dlg = new CTypeChangeDlg;
    if (!dlg->Create()) {
        delete dlg;
        return nullptr;
    }
    return dlg;
}

void ExternFunction::LaunchTypeChange()
{
    if (!OpenTypeChangeDialog())
        plat::MessageBox(plat::WindowHandle(), LoadMirvaneString(IDS_CANNOT_SHOW_DIALOG), AppName, plat::MB_OK);
}
