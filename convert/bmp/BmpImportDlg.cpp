#include "bmp/BmpImportDlg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <memory>
#include <vector>

#include "ConversionJobEnd.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/MessageBox.h"
#include "bmp/BmpImport.h"
#include "bmp/BmpStrings.h"

namespace {

using plat::ControlKind;
using plat::IDC_STATIC;
using D = CBmpImportDlg;

const plat::ControlTemplate kControls[] = {
    {IDC_STATIC, ControlKind::Static, 8, 10, 40, 9, "File size", plat::CS_NONE},
    {D::IDC_FILE_SIZE, ControlKind::Edit, 50, 8, 80, 12, "", plat::CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 8, 26, 40, 9, "File type", plat::CS_NONE},
    {D::IDC_FILE_TYPE, ControlKind::Edit, 50, 24, 110, 12, "", plat::CS_READONLY},
    {IDC_STATIC, ControlKind::Static, 8, 42, 80, 9, "Red Channel", plat::CS_NONE},
    {D::IDC_RED, ControlKind::Static, 8, 52, 210, 24, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 80, 80, 9, "Green Channel", plat::CS_NONE},
    {D::IDC_GREEN, ControlKind::Static, 8, 90, 210, 24, "", plat::CS_NONE},
    {IDC_STATIC, ControlKind::Static, 8, 118, 80, 9, "Blue Channel", plat::CS_NONE},
    {D::IDC_BLUE, ControlKind::Static, 8, 128, 210, 24, "", plat::CS_NONE},
    {D::IDC_EXECUTE, ControlKind::PushButton, 226, 8, 50, 14, "Execute", plat::CS_NONE},
    {D::IDC_CLOSE, ControlKind::PushButton, 226, 26, 50, 14, "Close", plat::CS_NONE},
    {D::IDC_HELP, ControlKind::PushButton, 226, 44, 50, 14, "Help", plat::CS_NONE},
};

const plat::DialogTemplate kTemplate = {
    D::IDD, "BMP Import", "MS Sans Serif", 8, 282, 158, kControls, std::size(kControls),
};

// The folder of a path (up to and including its last '/') and its file name.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

}  // namespace

const plat::DialogTemplate& CBmpImportDlg::Template()
{
    return kTemplate;
}

CBmpImportDlg::CBmpImportDlg(std::string input, std::string output, int bitCount, std::string sizeText,
                             std::string kindText)
    : ConverterDialog(std::move(input), std::move(output)),
      m_bitCount(bitCount),
      m_sizeText(std::move(sizeText)),
      m_kindText(std::move(kindText))
{}

CBmpImportDlg::~CBmpImportDlg() = default;

bool CBmpImportDlg::Create()
{
    // The Help button is there but does nothing.
    return CreateFrame(kTemplate, nullptr, Buttons{IDC_EXECUTE, IDC_CLOSE, 0});
}

void CBmpImportDlg::OnInitDialog()
{
    m_wnd->SetControlText(IDC_FILE_SIZE, m_sizeText);
    m_wnd->SetControlText(IDC_FILE_TYPE, m_kindText);
    const unsigned ids[3] = {IDC_RED, IDC_GREEN, IDC_BLUE};
    const std::vector<std::string> names = BmpChannelNames(m_output);
    m_mode = m_bitCount == 8 ? 1 : (m_bitCount == 16 || m_bitCount == 24 || m_bitCount == 32) ? 3 : 0;
    for (int i = 0; i < 3; ++i) {
        CInFileCtrl& ctrl = Channel(i);
        ctrl.SubclassDlgItem(ids[i], m_wnd);
        if (m_mode == 3) {
            const auto [folder, file] = SplitPath(names[std::size_t(i)]);
            ctrl.Create(0, folder.c_str(), file.c_str());
            ctrl.SetPathName(names[std::size_t(i)].c_str());
        } else {
            ctrl.Create(0, nullptr, nullptr);
            ctrl.EnableWindow(0);
        }
    }
}

void CBmpImportDlg::OnExecute()
{
    if (m_mode == 0)
        return;
    auto job = std::make_unique<BmpImportJob>();
    job->input = m_input;
    job->output = m_output;
    job->red = m_red.GetPathName();
    job->green = m_green.GetPathName();
    job->blue = m_blue.GetPathName();
    job->bitCount = m_bitCount;
    std::vector<std::string> outputs = BmpOutputNames(*job);
    const std::string caption = LoadBmpString(IDS_BMP_CAPTION);
    for (const std::string& name : outputs)
        if (name.empty()) {
            plat::MessageBox(m_wnd->Handle(), LoadBmpString(IDS_BMP_CREATE_FAILED), caption,
                             plat::MB_OK | plat::MB_ICONWARNING);
            return;
        }
    if (!ConfirmFiles({m_input}, outputs, caption, {m_output}))
        return;
    RunConversion(caption, BmpImportWorker, job.release(), std::move(outputs), 0);
}

std::string CBmpImportDlg::HelpTopic() const
{
    return {};
}

int ProbeBmpForImport(const std::string& input, int* bitCount, std::string* sizeText, std::string* kindText)
{
    const int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return IDS_BMP_OPEN_FAILED;
    struct stat st {};
    unsigned char head[66] = {};
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        got = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    if (got < 0)
        return IDS_BMP_OPEN_FAILED;
    BmpInfo info;
    if (const int id = CheckBmp(head, got, st.st_size, &info))
        return id;
    *bitCount = info.bitCount;
    *sizeText = std::to_string(info.width) + " x " + std::to_string(info.height);
    *kindText = BmpKindText(info.bitCount);
    return 0;
}

void OpenBmpImportDialog(const std::string& input, const std::string& output, int bitCount,
                         const std::string& sizeText, const std::string& kindText)
{
    auto* dlg = new CBmpImportDlg(input, output, bitCount, sizeText, kindText);
    if (!dlg->Create())
        delete dlg;
}

int LaunchBmpImport(const char* input, const char* output)
{
    const std::string in = input ? input : "";
    int bitCount = 0;
    std::string sizeText, kindText;
    if (const int id = ProbeBmpForImport(in, &bitCount, &sizeText, &kindText)) {
        const std::string caption = LoadBmpString(IDS_BMP_CAPTION);
        if (id == IDS_BMP_OPEN_FAILED)
            plat::MessageBox({}, LoadBmpString(IDS_BMP_OPEN_FAILED) + in, caption,
                             plat::MB_OKCANCEL | plat::MB_ICONERROR);
        else
            plat::MessageBox({}, LoadBmpString(unsigned(id)) + "\n" + in, caption, plat::MB_OKCANCEL);
        return 0;
    }
    OpenBmpImportDialog(in, output ? output : "", bitCount, sizeText, kindText);
    return 1;
}
