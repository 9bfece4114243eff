#include "raw/RawImportDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>
#include <memory>

#include "ConversionJobEnd.h"
#include "platform/dialogs/Dialog.h"
#include "EditNumbers.h"
#include "FormatTable.h"
#include "platform/dialogs/MessageBox.h"
#include "ResultViewers.h"
#include "platform/files/TempRegistry.h"
#include "jobs/Run.h"
#include "layer/DataTypes.h"
#include "raw/PreviewParamDlg.h"
#include "raw/PreviewViewer.h"
#include "raw/RawImportJobs.h"
#include "raw/RawStrings.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CRawImportDlg;

// The preview viewer shows this dialog's file only, with a frame that stays up.
constexpr int kPreviewLockedCommands = VIEWER_CMD_OPEN | VIEWER_CMD_CLOSE | VIEWER_CMD_FRAME;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 8, 10, 108, 9, "Quantity of Horizontal points", plat::CS_NONE},
    {D::IDC_PPR, ControlKind::Edit, 118, 8, 56, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 26, 108, 9, "Quantity of Vertical points", plat::CS_NONE},
    {D::IDC_RECORDS, ControlKind::Edit, 118, 24, 56, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 42, 108, 9, "File Header Size", plat::CS_NONE},
    {D::IDC_HEADER, ControlKind::Edit, 118, 40, 56, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 58, 108, 9, "Record Header Size", plat::CS_NONE},
    {D::IDC_PREFIX, ControlKind::Edit, 118, 56, 56, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 74, 108, 9, "Record Length", plat::CS_NONE},
    {D::IDC_RECORD_LENGTH, ControlKind::Edit, 118, 72, 56, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 90, 60, 9, "Data Type", plat::CS_NONE},
    {D::IDC_DATA_KIND, ControlKind::DropDownList, 70, 88, 104, 40, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 106, 60, 9, "Component Type", plat::CS_NONE},
    {D::IDC_COMPONENT, ControlKind::DropDownList, 70, 104, 104, 90, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 184, 4, 112, 46, "Frame Position", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 192, 18, 40, 9, "Delta X", plat::CS_NONE},
    {D::IDC_DELTA_X, ControlKind::Edit, 234, 16, 54, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 192, 34, 40, 9, "Delta Y", plat::CS_NONE},
    {D::IDC_DELTA_Y, ControlKind::Edit, 234, 32, 54, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 184, 54, 112, 46, "Frame Size", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 192, 68, 40, 9, "Width", plat::CS_NONE},
    {D::IDC_WIN_WIDTH, ControlKind::Edit, 234, 66, 54, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 192, 84, 40, 9, "Height", plat::CS_NONE},
    {D::IDC_WIN_HEIGHT, ControlKind::Edit, 234, 82, 54, 12, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::GroupBox, 184, 104, 112, 30, "Data Format", plat::CS_NONE},
    {D::IDC_INTEL, ControlKind::RadioButton, 192, 117, 44, 10, "INTEL", plat::CS_GROUP},
    {D::IDC_MOTOROLA, ControlKind::RadioButton, 238, 117, 54, 10, "MOTOROLA", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 124, 60, 9, "New File Size", plat::CS_NONE},
    {D::IDC_NEW_SIZE, ControlKind::Static, 70, 123, 104, 11, "", plat::CS_SUNKEN},
    {D::IDC_PREVIEW, ControlKind::PushButton, 8, 144, 54, 14, "Preview", plat::CS_NONE},
    {D::IDC_EXECUTE, ControlKind::PushButton, 126, 144, 54, 14, "Execute", plat::CS_NONE},
    {D::IDC_CLOSE, ControlKind::PushButton, 184, 144, 54, 14, "Close", plat::CS_NONE},
    {D::IDC_HELP, ControlKind::PushButton, 242, 144, 54, 14, "Help", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "Binary File Information", "MS Sans Serif", 8, 304, 166, kControls, std::size(kControls),
};

const char* const kDataKinds[] = {"Scalar", "Complex"};

const unsigned kIntFields[] = {D::IDC_PPR,     D::IDC_RECORDS, D::IDC_HEADER,    D::IDC_PREFIX,    D::IDC_RECORD_LENGTH,
                               D::IDC_DELTA_X, D::IDC_DELTA_Y, D::IDC_WIN_WIDTH, D::IDC_WIN_HEIGHT};

int* FieldOf(RawImportFields& f, unsigned id)
{
    switch (id) {
    case D::IDC_PPR:
        return &f.pixelsPerRecord;
    case D::IDC_RECORDS:
        return &f.records;
    case D::IDC_HEADER:
        return &f.headerSize;
    case D::IDC_PREFIX:
        return &f.prefixSize;
    case D::IDC_RECORD_LENGTH:
        return &f.recordLength;
    case D::IDC_DELTA_X:
        return &f.windowX;
    case D::IDC_DELTA_Y:
        return &f.windowY;
    case D::IDC_WIN_WIDTH:
        return &f.windowWidth;
    case D::IDC_WIN_HEIGHT:
        return &f.windowHeight;
    default:
        return nullptr;
    }
}

int ClampToInt(std::int64_t v)
{
    return int(std::clamp<std::int64_t>(v, 0, std::numeric_limits<int>::max()));
}

}  // namespace

const plat::DialogTemplate& CRawImportDlg::Template()
{
    return kTemplate;
}

CRawImportDlg::CRawImportDlg(std::string input, std::string output)
    : ConverterDialog(std::move(input), std::move(output)), m_share(std::make_shared<PreviewFileShare>())
{}

CRawImportDlg::~CRawImportDlg() = default;

bool CRawImportDlg::Create()
{
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, IDC_HELP});
}

void CRawImportDlg::OnInitDialog()
{
    m_wnd->OnClicked(IDC_PREVIEW, [this] { OnPreview(); });
    m_wnd->OnSelChange(IDC_DATA_KIND, [this] { OnDataKindChange(); });
    m_wnd->OnSelChange(IDC_COMPONENT, [this] { OnRecordShapeChange(); });
    m_wnd->OnChanged(IDC_PREFIX, [this] { OnRecordShapeChange(); });
    m_wnd->OnChanged(IDC_PPR, [this] { OnPixelsPerRecordChange(); });
    m_wnd->OnChanged(IDC_RECORDS, [this] { OnRecordsChange(); });
    m_wnd->OnChanged(IDC_WIN_WIDTH, [this] { RefreshNewSize(); });
    m_wnd->OnChanged(IDC_WIN_HEIGHT, [this] { RefreshNewSize(); });
    m_wnd->SetMessageHandler([this](unsigned msg, plat::WParam wp, plat::LParam lp) { return OnMessage(msg, wp, lp); });
    auto* kinds = m_wnd->ControlAs<QComboBox>(IDC_DATA_KIND);
    kinds->clear();
    for (const char* kind : kDataKinds)
        kinds->addItem(QString::fromUtf8(kind));
    m_fields = RawImportFields();
    FillComponentList();
    ShowData();
}

void CRawImportDlg::FillComponentList()
{
    auto* list = m_wnd->ControlAs<QComboBox>(IDC_COMPONENT);
    list->clear();
    for (int i = 0; i < ComponentListSize(m_fields.dataKind); ++i)
        list->addItem(QString::fromStdString(GetDataTypeName(ComponentTypeAt(m_fields.dataKind, i), 0)));
}

int CRawImportDlg::Box(const std::string& text) const
{
    return plat::MessageBox(m_wnd->Handle(), text, "", plat::MB_OK);
}

bool CRawImportDlg::UpdateData(bool report)
{
    for (unsigned id : kIntFields) {
        int value = 0;
        if (!ParseIntField(m_wnd->ControlText(id), &value)) {
            if (!report)
                continue;
            Box("Please enter an integer.");
            m_wnd->Control(id)->setFocus();
            return false;
        }
        *FieldOf(m_fields, id) = value;
    }
    m_fields.dataKind = std::max(0, m_wnd->ControlAs<QComboBox>(IDC_DATA_KIND)->currentIndex());
    m_fields.componentPos = m_wnd->ControlAs<QComboBox>(IDC_COMPONENT)->currentIndex();
    m_fields.byteOrder = m_wnd->ControlAs<QRadioButton>(IDC_MOTOROLA)->isChecked() ? 1 : 0;
    return true;
}

void CRawImportDlg::SetInt(unsigned id, int value)
{
    const bool showing = m_showing;
    m_showing = true;
    m_wnd->SetControlText(id, std::to_string(value));
    m_showing = showing;
}

void CRawImportDlg::ShowData()
{
    for (unsigned id : kIntFields)
        SetInt(id, *FieldOf(m_fields, id));
    m_wnd->ControlAs<QComboBox>(IDC_DATA_KIND)->setCurrentIndex(m_fields.dataKind);
    m_wnd->ControlAs<QComboBox>(IDC_COMPONENT)->setCurrentIndex(m_fields.componentPos);
    m_wnd->ControlAs<QRadioButton>(m_fields.byteOrder == 0 ? IDC_INTEL : IDC_MOTOROLA)->setChecked(true);
    m_wnd->SetControlText(IDC_NEW_SIZE, FormatFileSize(m_fields.NewFileSize()));
}

void CRawImportDlg::RefreshNewSize()
{
    if (m_showing)
        return;
    UpdateData(false);
    m_wnd->SetControlText(IDC_NEW_SIZE, FormatFileSize(m_fields.NewFileSize()));
}

// The record length follows the record's shape; the user may enlarge it afterwards.
void CRawImportDlg::OnRecordShapeChange()
{
    if (m_showing)
        return;
    UpdateData(false);
    m_fields.recordLength = ClampToInt(m_fields.MinimumRecordLength());
    SetInt(IDC_RECORD_LENGTH, m_fields.recordLength);
    m_wnd->SetControlText(IDC_NEW_SIZE, FormatFileSize(m_fields.NewFileSize()));
}

void CRawImportDlg::OnDataKindChange()
{
    const int oldKind = m_fields.dataKind;
    UpdateData(false);
    if (m_fields.dataKind != oldKind) {
        const int pos = m_wnd->ControlAs<QComboBox>(IDC_COMPONENT)->currentIndex();
        m_fields.componentPos = RemapComponentPosition(oldKind, pos);
        FillComponentList();
        m_wnd->ControlAs<QComboBox>(IDC_COMPONENT)->setCurrentIndex(m_fields.componentPos);
    }
    OnRecordShapeChange();
}

void CRawImportDlg::OnPixelsPerRecordChange()
{
    if (m_showing)
        return;
    UpdateData(false);
    m_fields.windowWidth = m_fields.pixelsPerRecord;
    SetInt(IDC_WIN_WIDTH, m_fields.windowWidth);
    OnRecordShapeChange();
}

void CRawImportDlg::OnRecordsChange()
{
    if (m_showing)
        return;
    UpdateData(false);
    m_fields.windowHeight = m_fields.records;
    SetInt(IDC_WIN_HEIGHT, m_fields.windowHeight);
    m_wnd->SetControlText(IDC_NEW_SIZE, FormatFileSize(m_fields.NewFileSize()));
}

void CRawImportDlg::OnExecute()
{
    if (!UpdateData(true))
        return;
    if (const unsigned id = m_fields.CheckExecute()) {
        Box(LoadRawString(id));
        return;
    }
    // The import/export dialog asked about replacing the output before it launched this one.
    if (!ConfirmFiles({m_input}, {m_output}, "", {m_output}))
        return;
    auto job = std::make_unique<ImportJob>();
    job->params = m_fields.Params(m_input);
    job->outputFile = m_output;
    RunConversion("Импортирование", RawImportWorker, job.release(), {m_output}, 2);
}

void CRawImportDlg::OnPreview()
{
    // 1.
    if (!UpdateData(true))
        return;
    // 2.
    CPreviewParamDlg rate(m_wnd->Handle());
    const ImportParams whole = m_fields.PreviewParams(m_input, m_previewStep);
    rate.m_pixelSize = whole.pixelSize;
    rate.m_width = m_fields.pixelsPerRecord;
    rate.m_height = m_fields.records;
    rate.m_step = m_previewStep;
    if (rate.DoModal() != plat::IDOK || !m_wnd)
        return;
    // 3.
    if (rate.m_step != m_previewStep)
        m_previewReady = 0;
    // 4. The same rate shows the preview already made.
    if (m_previewReady) {
        if (m_viewerShown && m_viewer)
            m_viewer->Activate();
        else if (!OpenViewer())
            Box(LoadRawString(IDS_RAW_CANNOT_OPEN_VIEWER));
        return;
    }
    // 5.
    m_previewStep = rate.m_step;
    m_viewerShown = 0;
    if (m_previewFile.empty())
        m_previewFile = MakePreviewFile();
    if (m_previewFile.empty()) {
        Box("ReadToRdp:" + LoadRawString(IDS_RAW_CREATE_FAILED));
        return;
    }
    m_wnd->Control(IDC_PREVIEW)->setEnabled(false);
    auto job = std::make_unique<PreviewJob>();
    job->previewFile = m_previewFile;
    job->params = m_fields.PreviewParams(m_input, m_previewStep);
    job->owner = m_wnd->Handle();
    job->share = m_share;
    {
        const std::lock_guard<std::mutex> lock(m_share->mutex);
        ++m_share->jobsRunning;
    }
    Run("RAW to RDP: Preview", PreviewWorker, job.release());
}

plat::LResult CRawImportDlg::OnMessage(unsigned msg, plat::WParam wParam, plat::LParam lParam)
{
    if (msg == WM_PREVIEW_READY)
        OnPreviewReady(int(wParam));
    else if (msg == WM_VIEWER_NOTIFY)
        OnViewerNotice(wParam, int(lParam));
    return 0;
}

void CRawImportDlg::OnPreviewReady(int result)
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

bool CRawImportDlg::OpenViewer()
{
    // A viewer of an earlier preview shows other samples at another step: its frame
    // would set a wrong window.
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

void CRawImportDlg::OnViewerNotice(plat::WParam wParam, int code)
{
    switch (code) {
    case VIEWER_CLOSED:
        // Only the current viewer's going counts.
        if (m_viewer && wParam == m_viewerKey) {
            m_viewerShown = 0;
            m_viewer = nullptr;
        }
        break;
    case VIEWER_READY:
        m_viewerShown = 1;
        m_wnd->Control(IDC_PREVIEW)->setEnabled(true);
        if (m_viewer) {
            // The viewer's ready state has enabled them again.
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
        const DataWindow w = FrameToWindow(m_viewer->Frame(), m_previewStep);
        m_fields.windowX = ClampToInt(w.x);
        m_fields.windowY = ClampToInt(w.y);
        m_fields.windowWidth = ClampToInt(w.width);
        m_fields.windowHeight = ClampToInt(w.height);
        ShowData();
        break;
    }
    default:
        break;
    }
}

std::string CRawImportDlg::HelpTopic() const
{
    return LoadRawString(IDS_RAW_HELP_TOPIC);
}

void CRawImportDlg::OnClose()
{
    if (m_viewer) {
        PreviewViewer* viewer = m_viewer;
        m_viewer = nullptr;
        viewer->DestroyWindow();
    }
    // A preview job still running removes the file when it ends.
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

int LaunchRawImport(const char* input, const char* output)
{
    auto* dlg = new CRawImportDlg(input ? input : "", output ? output : "");
    if (!dlg->Create())
        return 0;
    return 1;
}
