#include "tiff/TIFFImportDlg.h"

#include <QCheckBox>

#include <cstdio>
#include <memory>
#include <vector>

#include "ConversionJobEnd.h"
#include "platform/dialogs/Dialog.h"
#include "EditNumbers.h"
#include "platform/dialogs/MessageBox.h"
#include "tiff/TiffImport.h"
#include "tiff/TiffStrings.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 10, 10, 36, 9, "Width", plat::CS_NONE},
    {CTIFFImportDlg::IDC_IMAGE_WIDTH, ControlKind::Static, 48, 9, 52, 11, "Not Defined", plat::CS_SUNKEN},
    {IDC_STATIC, ControlKind::Static, 10, 24, 36, 9, "Height", plat::CS_NONE},
    {CTIFFImportDlg::IDC_IMAGE_HEIGHT, ControlKind::Static, 48, 23, 52, 11, "Not Defined", plat::CS_SUNKEN},
    {CTIFFImportDlg::IDC_DATA_TYPE, ControlKind::Static, 10, 39, 150, 9, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 6, 52, 156, 64, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 12, 64, 34, 9, "Delta X", plat::CS_NONE},
    {CTIFFImportDlg::IDC_DELTA_X, ControlKind::Edit, 46, 62, 34, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 12, 81, 34, 9, "Delta Y", plat::CS_NONE},
    {CTIFFImportDlg::IDC_DELTA_Y, ControlKind::Edit, 46, 79, 34, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 88, 64, 30, 9, "Width", plat::CS_NONE},
    {CTIFFImportDlg::IDC_WIN_WIDTH, ControlKind::Edit, 120, 62, 36, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 88, 81, 30, 9, "Height", plat::CS_NONE},
    {CTIFFImportDlg::IDC_WIN_HEIGHT, ControlKind::Edit, 120, 79, 36, 12, "", plat::CS_NONE},
    {CTIFFImportDlg::IDC_SEPARATE, ControlKind::CheckBox, 12, 98, 140, 10, "Write R,G,B Separate", plat::CS_NONE},
    {CTIFFImportDlg::IDC_EXECUTE, ControlKind::PushButton, 170, 8, 50, 14, "Execute", plat::CS_NONE},
    {CTIFFImportDlg::IDC_CLOSE, ControlKind::PushButton, 170, 26, 50, 14, "Close", plat::CS_NONE},
    {CTIFFImportDlg::IDC_HELP, ControlKind::PushButton, 170, 44, 50, 14, "Help", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    CTIFFImportDlg::IDD, "Import TIFF", "MS Sans Serif", 8, 228, 122, kControls, std::size(kControls),
};

}  // namespace

const plat::DialogTemplate& CTIFFImportDlg::Template()
{
    return kTemplate;
}

CTIFFImportDlg::CTIFFImportDlg(std::string input, std::string output)
    : ConverterDialog(std::move(input), std::move(output)), m_reader(m_input)
{}

CTIFFImportDlg::~CTIFFImportDlg() = default;

bool CTIFFImportDlg::Create()
{
    // Shown first: a refused input is told in a box over the dialog.
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, IDC_HELP}, true);
}

int CTIFFImportDlg::Box(const std::string& text, unsigned type) const
{
    return plat::MessageBox(m_wnd->Handle(), text, LoadTiffString(IDS_TIFF_CAPTION), type);
}

int CTIFFImportDlg::CheckInput()
{
    m_outBytesPerPixel = 0;
    if (const int id = CheckTiffImport(m_reader, &m_bytesPerPixel))
        return id;
    m_outBytesPerPixel = m_bytesPerPixel == 3 ? 3 : m_bytesPerPixel;
    return 0;
}

void CTIFFImportDlg::OnInitDialog()
{
    m_wnd->OnClicked(IDC_SEPARATE, [this] { OnSeparate(); });
    const std::string undefined = LoadTiffString(IDS_TIFF_UNDEFINED);
    m_wnd->SetControlText(IDC_IMAGE_WIDTH, undefined);
    m_wnd->SetControlText(IDC_IMAGE_HEIGHT, undefined);
    const int refusal = CheckInput();
    // A file whose tags could not be read has no size to show.
    if (refusal == 0 || m_reader.Width() > 0) {
        m_wnd->SetControlText(IDC_IMAGE_WIDTH, std::to_string(m_reader.Width()));
        m_wnd->SetControlText(IDC_IMAGE_HEIGHT, std::to_string(m_reader.Height()));
    }
    m_wnd->SetControlText(IDC_DELTA_X, "0");
    m_wnd->SetControlText(IDC_DELTA_Y, "0");
    m_wnd->SetControlText(IDC_WIN_WIDTH, std::to_string(m_reader.Width()));
    m_wnd->SetControlText(IDC_WIN_HEIGHT, std::to_string(m_reader.Height()));
    char type[96];
    std::snprintf(type, sizeof type, "Depth: %d bit, Samples: %d", m_reader.GetDepth(),
                  int(m_reader.SamplesPerPixel()));
    m_wnd->SetControlText(IDC_DATA_TYPE, type);
    auto* separate = m_wnd->ControlAs<QCheckBox>(IDC_SEPARATE);
    const bool rgb = refusal == 0 && m_bytesPerPixel == 3;
    separate->setChecked(rgb);
    separate->setEnabled(rgb);
    m_wnd->Control(IDC_EXECUTE)->setEnabled(refusal == 0);
    if (refusal != 0)
        Box(TiffRefusalText(refusal, m_reader.Refusal()), plat::MB_OK | plat::MB_ICONWARNING);
}

void CTIFFImportDlg::OnSeparate()
{
    m_outBytesPerPixel = m_wnd->ControlAs<QCheckBox>(IDC_SEPARATE)->isChecked() ? 3 : 4;
}

void CTIFFImportDlg::OnExecute()
{
    if (!m_wnd->Control(IDC_EXECUTE)->isEnabled())
        return;
    int x = -1, y = -1, w = 0, h = 0;
    const bool numbers =
        ParseIntField(m_wnd->ControlText(IDC_DELTA_X), &x) && ParseIntField(m_wnd->ControlText(IDC_DELTA_Y), &y) &&
        ParseIntField(m_wnd->ControlText(IDC_WIN_WIDTH), &w) && ParseIntField(m_wnd->ControlText(IDC_WIN_HEIGHT), &h);
    if (!numbers || !TiffWindowFits(x, y, w, h, m_reader.Width(), m_reader.Height())) {
        Box(LoadTiffString(IDS_TIFF_BAD_WINDOW), plat::MB_OK | plat::MB_ICONERROR);
        return;
    }
    if (m_reader.Compression() == 5 &&
        Box(LoadTiffString(IDS_TIFF_LZW_QUESTION), plat::MB_YESNO | plat::MB_ICONQUESTION) != plat::IDYES)
        return;
    auto job = std::make_unique<TiffImportJob>(m_input, m_output, m_reader);
    job->bytesPerPixel = m_bytesPerPixel;
    job->outBytesPerPixel = m_bytesPerPixel == 3 ? m_outBytesPerPixel : m_bytesPerPixel;
    job->separate = m_bytesPerPixel == 3 && m_outBytesPerPixel == 3;
    job->x = x;
    job->y = y;
    job->width = w;
    job->height = h;
    // Every file the import writes is asked about, the planes "_R", "_G", "_B" too;
    // the import/export dialog asked about the output's own name.
    std::vector<std::string> outputs = TiffOutputNames(*job);
    if (!ConfirmFiles({m_input}, outputs, LoadTiffString(IDS_TIFF_CAPTION), {m_output}))
        return;
    RunConversion(LoadTiffString(IDS_TIFF_CAPTION), TiffImportWorker, job.release(), std::move(outputs), 0);
}

std::string CTIFFImportDlg::HelpTopic() const
{
    return LoadTiffString(IDS_TIFF_HELP_TOPIC);
}

int LaunchTiffImport(const char* input, const char* output)
{
    auto* dlg = new CTIFFImportDlg(input ? input : "", output ? output : "");
    if (!dlg->Create())
        return 0;
    return 1;
}
