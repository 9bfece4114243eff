#include "ceos/CeosImportDlg.h"

#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

#include "ConversionJobEnd.h"
#include "EditNumbers.h"
#include "FormatTable.h"
#include "ceos/CeosImport.h"
#include "ceos/CeosImportJobs.h"
#include "ceos/CeosStrings.h"
#include "jobs/Run.h"
#include "layer/DataTypes.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/SpinButton.h"
#include "platform/files/TempRegistry.h"
#include "raw/PreviewParamDlg.h"
#include "raw/PreviewViewer.h"
#include "raw/RawImportJobs.h"
#include "raw/RawStrings.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CCeosImportDlg;

constexpr int kPreviewLockedCommands = VIEWER_CMD_OPEN | VIEWER_CMD_CLOSE | VIEWER_CMD_FRAME;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 8, 8, 50, 9, "DAT File", plat::CS_NONE},
    {D::IDC_DAT_FILE, ControlKind::Edit, 60, 6, 206, 12, "", plat::CS_READONLY},
    {D::IDC_DAT_BROWSE, ControlKind::PushButton, 270, 6, 18, 12, "...", plat::CS_DISABLED},
    {IDC_STATIC, ControlKind::Static, 8, 24, 50, 9, "LEADER File", plat::CS_NONE},
    {D::IDC_LEADER_FILE, ControlKind::Edit, 60, 22, 206, 12, "", plat::CS_NONE},
    {D::IDC_LEADER_BROWSE, ControlKind::PushButton, 270, 22, 18, 12, "...", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 44, 40, 9, "Width", plat::CS_NONE},
    {D::IDC_IMAGE_WIDTH, ControlKind::Static, 60, 43, 60, 11, "", plat::CS_SUNKEN},
    {IDC_STATIC, ControlKind::Static, 8, 60, 40, 9, "Height", plat::CS_NONE},
    {D::IDC_IMAGE_HEIGHT, ControlKind::Static, 60, 59, 60, 11, "", plat::CS_SUNKEN},
    {IDC_STATIC, ControlKind::Static, 8, 76, 50, 9, "Data Type", plat::CS_NONE},
    {D::IDC_DATA_TYPE, ControlKind::Static, 60, 75, 80, 11, "", plat::CS_SUNKEN},
    {IDC_STATIC, ControlKind::Static, 8, 92, 50, 9, "New File Size", plat::CS_NONE},
    {D::IDC_NEW_SIZE, ControlKind::Static, 60, 91, 80, 11, "", plat::CS_SUNKEN},
    {IDC_STATIC, ControlKind::GroupBox, 150, 38, 138, 70, "Window Parameters", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 158, 52, 40, 9, "Delta X", plat::CS_NONE},
    {D::IDC_DELTA_X, ControlKind::Edit, 200, 50, 80, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 158, 66, 40, 9, "Delta Y", plat::CS_NONE},
    {D::IDC_DELTA_Y, ControlKind::Edit, 200, 64, 80, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 158, 80, 40, 9, "Width", plat::CS_NONE},
    {D::IDC_WIN_WIDTH, ControlKind::Edit, 200, 78, 80, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 158, 94, 40, 9, "Height", plat::CS_NONE},
    {D::IDC_WIN_HEIGHT, ControlKind::Edit, 200, 92, 80, 12, "", plat::CS_NONE},
    {D::IDC_INFORMATION, ControlKind::PushButton, 8, 116, 54, 14, "Information", plat::CS_NONE},
    {D::IDC_PREVIEW, ControlKind::PushButton, 66, 116, 50, 14, "Preview", plat::CS_NONE},
    {D::IDC_EXECUTE, ControlKind::PushButton, 126, 116, 50, 14, "Execute", plat::CS_NONE},
    {D::IDC_CLOSE, ControlKind::PushButton, 182, 116, 50, 14, "Close", plat::CS_NONE},
    {D::IDC_HELP, ControlKind::PushButton, 238, 116, 50, 14, "Help", plat::CS_NONE},
};

const plat::ControlSample kSamples[] = {
    {D::IDC_DATA_TYPE, "complex FLOAT64 "},
    {D::IDC_NEW_SIZE, "1023.9 Mb"},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "Import CEOS", "MS Sans Serif", 8, 296, 138, kControls, std::size(kControls), kSamples, std::size(kSamples),
};

const unsigned kWindowEdits[4] = {D::IDC_DELTA_X, D::IDC_DELTA_Y, D::IDC_WIN_WIDTH, D::IDC_WIN_HEIGHT};

int ClampToInt(std::int64_t v)
{
    return int(std::clamp<std::int64_t>(v, 0, std::numeric_limits<int>::max()));
}

// A left press anywhere on the dialog drags it, as a press on its caption would.
class DragAnywhere final : public QObject {
public:
    explicit DragAnywhere(QWidget* window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && m_window->windowHandle()) {
            m_window->windowHandle()->startSystemMove();
            return true;
        }
        return false;
    }

private:
    QWidget* m_window;
};

int Launch(const char* dataFile, const char* outputFile, CeosMission mission)
{
    const std::string data = dataFile ? dataFile : "";
    const std::string output = outputFile ? outputFile : "";
    std::ifstream file(data, std::ios::binary);
    if (!file) {
        plat::MessageBox({}, LoadCeosString(IDS_CEOS_OPEN_FAILED) + " " + data, "", plat::MB_OK);
        return 0;
    }
    std::vector<unsigned char> head(kCeosDescriptorBytes);
    file.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    head.resize(std::size_t(std::max<std::streamsize>(file.gcount(), 0)));
    CeosFileInfo info;
    if (const unsigned refusal = DescribeCeosFile(head.data(), std::int64_t(head.size()), mission, data, &info)) {
        plat::MessageBox({}, LoadCeosString(refusal) + "\n" + data, "", plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return 0;
    }
    auto* dlg = new CCeosImportDlg(data, output, std::move(info));
    if (!dlg->Create()) {
        plat::MessageBox({}, LoadCeosString(IDS_CEOS_CANNOT_SHOW_DIALOG), "", plat::MB_OK);
        delete dlg;
        return 0;
    }
    return 1;
}

}  // namespace

std::string CeosDataTypeText(const CeosFileInfo& info)
{
    if (info.compressed)
        return "complex " + GetDataTypeName(FLOAT64, 1) + " ";
    if (info.complex)
        return "complex " + GetDataTypeName(info.sampleType, 1) + " ";
    return GetDataTypeName(info.sampleType, 1);
}

std::uint64_t CeosNewFileSize(const CeosFileInfo& info, int width, int height)
{
    const std::uint64_t pixel =
        info.compressed ? 16u : std::uint64_t(GetDataTypeSize(GetComplexType(info.sampleType, info.complex ? 2 : 1)));
    return pixel * std::uint64_t(std::max(width, 0)) * std::uint64_t(std::max(height, 0));
}

const plat::DialogTemplate& CCeosImportDlg::Template()
{
    return kTemplate;
}

CCeosImportDlg::CCeosImportDlg(std::string dataFile, std::string output, CeosFileInfo info)
    : ConverterDialog(std::move(dataFile), std::move(output)), m_file(std::move(info)),
      m_share(std::make_shared<PreviewFileShare>())
{}

CCeosImportDlg::~CCeosImportDlg() = default;

bool CCeosImportDlg::Create()
{
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, IDC_HELP});
}

void CCeosImportDlg::OnInitDialog()
{
    m_wnd->OnClicked(IDC_PREVIEW, [this] { OnPreview(); });
    m_wnd->OnClicked(IDC_INFORMATION, [this] { OnInformation(); });
    m_wnd->OnClicked(IDC_LEADER_BROWSE, [this] { OnLeaderBrowse(); });
    m_wnd->OnChanged(IDC_WIN_WIDTH, [this] { RefreshNewSize(); });
    m_wnd->OnChanged(IDC_WIN_HEIGHT, [this] { RefreshNewSize(); });
    m_wnd->SetMessageHandler([this](unsigned msg, plat::WParam wp, plat::LParam lp) { return OnMessage(msg, wp, lp); });
    m_dragger = new DragAnywhere(m_wnd);
    m_wnd->installEventFilter(m_dragger);
    m_wnd->SetControlText(IDC_IMAGE_WIDTH, std::to_string(m_file.params.pixelsPerRecord));
    m_wnd->SetControlText(IDC_IMAGE_HEIGHT, std::to_string(m_file.params.records));
    m_wnd->SetControlText(IDC_DATA_TYPE, CeosDataTypeText(m_file));
    m_wnd->SetControlText(IDC_DAT_FILE, m_input);
    m_wnd->SetControlText(IDC_LEADER_FILE, m_file.params.leaderFile);
    m_windowX = 0;
    m_windowY = 0;
    m_windowWidth = 200;
    m_windowHeight = 200;
    m_viewer = nullptr;
    m_viewerShown = 0;
    m_previewStep = 10;
    ShowWindowFields();
    for (int i = 0; i < 4; ++i) {
        m_spins[i] = new plat::SpinButton(m_wnd->ControlAs<QLineEdit>(kWindowEdits[i]));
        m_spins[i]->SetRange(0, 30000);
        int value = 0;
        ParseIntField(m_wnd->ControlText(kWindowEdits[i]), &value);
        m_showing = true;
        m_spins[i]->SetPos(value);
        m_showing = false;
    }
}

int CCeosImportDlg::Box(const std::string& text) const
{
    return plat::MessageBox(m_wnd ? m_wnd->Handle() : plat::WindowHandle(), text, "", plat::MB_OK);
}

bool CCeosImportDlg::UpdateData(bool report)
{
    int* fields[4] = {&m_windowX, &m_windowY, &m_windowWidth, &m_windowHeight};
    for (int i = 0; i < 4; ++i) {
        int value = 0;
        if (!ParseIntField(m_wnd->ControlText(kWindowEdits[i]), &value)) {
            if (!report)
                continue;
            Box("Please enter an integer.");
            m_wnd->Control(kWindowEdits[i])->setFocus();
            return false;
        }
        *fields[i] = value;
    }
    return true;
}

void CCeosImportDlg::ShowWindowFields()
{
    const bool showing = m_showing;
    m_showing = true;
    const int values[4] = {m_windowX, m_windowY, m_windowWidth, m_windowHeight};
    for (int i = 0; i < 4; ++i)
        m_wnd->SetControlText(kWindowEdits[i], std::to_string(values[i]));
    m_showing = showing;
    m_wnd->SetControlText(IDC_NEW_SIZE, FormatFileSize(CeosNewFileSize(m_file, m_windowWidth, m_windowHeight)));
}

void CCeosImportDlg::RefreshNewSize()
{
    if (m_showing)
        return;
    UpdateData(false);
    m_wnd->SetControlText(IDC_NEW_SIZE, FormatFileSize(CeosNewFileSize(m_file, m_windowWidth, m_windowHeight)));
}

void CCeosImportDlg::OnLeaderBrowse()
{
    plat::FileDialogRequest request;
    request.filter = "Все файлы|*.*||";
    request.flags = plat::OFN_HIDEREADONLY;
    const plat::FileDialogResult chosen = plat::FileDialog(m_wnd->Handle(), request);
    if (chosen.ok && m_wnd)
        m_wnd->SetControlText(IDC_LEADER_FILE, chosen.Path());
}

void CCeosImportDlg::OnInformation()
{
    UpdateData(false);
    if (!m_info.Shown())
        m_info.SetLeaderFile(m_wnd->ControlText(IDC_LEADER_FILE));
    m_info.Show();
}

void CCeosImportDlg::OnExecute()
{
    if (!UpdateData(true))
        return;
    const ImportParams& file = m_file.params;
    if (!CeosWindowFits(m_windowX, m_windowY, m_windowWidth, m_windowHeight, file.pixelsPerRecord, file.records)) {
        Box(LoadCeosString(IDS_CEOS_BAD_WINDOW));
        return;
    }
    ImportParams params = file;
    params.windowX = m_windowX;
    params.windowY = m_windowY;
    params.windowWidth = m_windowWidth;
    params.windowHeight = m_windowHeight;
    params.leaderFile = m_wnd->ControlText(IDC_LEADER_FILE);
    params.step = 1;
    std::vector<std::string> inputs = {m_input};
    if (!params.leaderFile.empty())
        inputs.push_back(params.leaderFile);
    // The import/export dialog asked about replacing the output before it launched this one.
    if (!ConfirmFiles(inputs, {m_output}, "", {m_output}))
        return;
    if (params.productKind == 3 && m_file.compressed) {
        auto job = std::make_unique<SirCJob>();
        job->params = params;
        job->outputFile = m_output;
        job->compressed = 1;
        job->groupBytes = m_file.groupBytes;
        RunConversion("SIR-C to RDP", SirCImportWorker, job.release(), {m_output}, 2);
        return;
    }
    auto job = std::make_unique<ImportJob>();
    job->params = params;
    job->outputFile = m_output;
    RunConversion("CEOS to RDP", CeosImportWorker, job.release(), {m_output}, 2);
}

void CCeosImportDlg::OnPreview()
{
    if (!UpdateData(true))
        return;
    CPreviewParamDlg rate(m_wnd->Handle());
    rate.m_pixelSize = m_file.compressed ? 16 : m_file.params.pixelSize;
    rate.m_width = m_file.params.pixelsPerRecord;
    rate.m_height = m_file.params.records;
    rate.m_step = m_previewStep;
    if (rate.DoModal() != plat::IDOK || !m_wnd)
        return;
    if (rate.m_step != m_previewStep)
        m_previewReady = 0;
    if (m_previewReady) {
        if (m_viewerShown && m_viewer)
            m_viewer->Activate();
        else if (!OpenViewer())
            Box(LoadRawString(IDS_RAW_CANNOT_OPEN_VIEWER));
        return;
    }
    m_previewStep = rate.m_step;
    m_viewerShown = 0;
    if (m_previewFile.empty())
        m_previewFile = MakePreviewFile();
    if (m_previewFile.empty()) {
        Box("ReadToRdp:" + LoadRawString(IDS_RAW_CREATE_FAILED));
        return;
    }
    m_wnd->Control(IDC_PREVIEW)->setEnabled(false);
    ImportParams params = m_file.params;
    params.windowX = 0;
    params.windowY = 0;
    params.windowWidth = params.pixelsPerRecord;
    params.windowHeight = params.records;
    params.step = m_previewStep;
    PreviewJob preview;
    preview.previewFile = m_previewFile;
    preview.params = params;
    preview.owner = m_wnd->Handle();
    preview.share = m_share;
    {
        const std::lock_guard<std::mutex> lock(m_share->mutex);
        ++m_share->jobsRunning;
    }
    if (m_file.compressed) {
        auto job = std::make_unique<SirCPreviewJob>();
        job->preview = std::move(preview);
        job->groupBytes = m_file.groupBytes;
        Run("ERS to RDP: Preview", SirCPreviewWorker, job.release());
        return;
    }
    Run("ERS to RDP: Preview", PreviewWorker, new PreviewJob(std::move(preview)));
}

plat::LResult CCeosImportDlg::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    if (msg == WM_PREVIEW_READY)
        OnPreviewReady(int(wParam));
    else if (msg == WM_VIEWER_NOTIFY)
        OnViewerNotice(wParam, int(lParam));
    return 0;
}

void CCeosImportDlg::OnPreviewReady(int result)
{
    m_viewerShown = 0;
    if (result == 1) {
        m_previewReady = 1;
        if (!OpenViewer()) {
            Box(LoadRawString(IDS_RAW_CANNOT_OPEN_VIEWER));
            m_wnd->Control(IDC_PREVIEW)->setEnabled(true);
        }
        return;
    }
    m_previewReady = 0;
    m_wnd->Control(IDC_PREVIEW)->setEnabled(true);
}

bool CCeosImportDlg::OpenViewer()
{
    if (m_viewer) {
        PreviewViewer* old = m_viewer;
        m_viewer = nullptr;
        old->DestroyWindow();
    }
    PreviewViewerRequest request;
    request.host = m_wnd->Handle();
    request.file = m_previewFile;
    m_viewer = OpenPreviewViewer(request);
    if (!m_viewer)
        return false;
    m_viewerKey = m_viewer->ClosedKey();
    m_viewer->EnableMenuItems(0, kPreviewLockedCommands);
    return true;
}

void CCeosImportDlg::OnViewerNotice(plat::WParam wParam, int code)
{
    switch (code) {
    case VIEWER_CLOSED:
        if (m_viewer && wParam == m_viewerKey) {
            m_viewerShown = 0;
            m_viewer = nullptr;
        }
        break;
    case VIEWER_READY:
        m_viewerShown = 1;
        m_wnd->Control(IDC_PREVIEW)->setEnabled(true);
        if (m_viewer) {
            m_viewer->EnableMenuItems(0, kPreviewLockedCommands);
            m_viewer->ShowDefaultFrame(m_wnd->Handle());
        }
        break;
    case VIEWER_FAILED:
        if (m_viewer) {
            PreviewViewer* failed = m_viewer;
            m_viewer = nullptr;
            failed->DestroyWindow();
        }
        m_viewerShown = 0;
        m_wnd->Control(IDC_PREVIEW)->setEnabled(true);
        break;
    case VIEWER_FRAME_MOVED: {
        if (!m_viewer)
            break;
        UpdateData(false);
        // The frame's edges are inclusive: its last column and row are in the window.
        const DataWindow w = FrameToWindow(m_viewer->Frame(), m_previewStep);
        m_windowX = ClampToInt(w.x);
        m_windowY = ClampToInt(w.y);
        m_windowWidth = ClampToInt(w.width);
        m_windowHeight = ClampToInt(w.height);
        ShowWindowFields();
        break;
    }
    default:
        break;
    }
}

void CCeosImportDlg::OnClose()
{
    if (m_viewer) {
        PreviewViewer* viewer = m_viewer;
        m_viewer = nullptr;
        viewer->DestroyWindow();
    }
    if (!m_previewFile.empty()) {
        const std::lock_guard<std::mutex> lock(m_share->mutex);
        m_share->dialogGone = true;
        if (m_share->jobsRunning == 0) {
            std::remove(m_previewFile.c_str());
            plat::ForgetTemporary(m_previewFile);
        }
    }
    ConverterDialog::OnClose();
}

int LaunchCeosRadarsatImport(const char* dataFile, const char* outputFile)
{
    return Launch(dataFile, outputFile, CeosMission::Radarsat);
}

int LaunchCeosErsImport(const char* dataFile, const char* outputFile)
{
    return Launch(dataFile, outputFile, CeosMission::Ers);
}

int LaunchCeosSirCImport(const char* dataFile, const char* outputFile)
{
    return Launch(dataFile, outputFile, CeosMission::SirC);
}
