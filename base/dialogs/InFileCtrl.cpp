#include "dialogs/InFileCtrl.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>
#include <vector>

#include "VarnokApp.h"
#include "dialogs/DialogArt.h"
#include "dialogs/FileMasks.h"
#include "dialogs/FilePreview.h"
#include "dialogs/InfoFileDialog.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "settings/SNRegKey.h"

namespace {

// Splits UTF-8 text into its code points, each as its bytes.
std::vector<std::string> CodePoints(const std::string& text)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
            ++n;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

std::string Join(const std::vector<std::string>& parts, size_t from, size_t to)
{
    std::string out;
    for (size_t i = from; i < to; ++i)
        out += parts[i];
    return out;
}

bool IsRegularFile(const std::string& path)
{
    return !path.empty() && QFileInfo(QString::fromStdString(path)).isFile();
}

std::string WithSlash(std::string folder)
{
    if (folder.empty())
        folder = QDir::currentPath().toStdString();
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace

std::string ShortenFolder(const std::string& folder, int lineWidth, int dpi,
                          const std::function<int(const std::string&)>& measure)
{
    const auto fits = [&](const std::string& text) { return int(double(measure(text)) * dpi / 96.0) < lineWidth; };
    std::string shown = folder;
    const std::vector<std::string> chars = CodePoints(folder);
    size_t firstEnd = chars.size() / 2, secondBegin = chars.size() / 2;
    while (!fits(shown)) {
        if (firstEnd == 0 || secondBegin >= chars.size())
            break;
        --firstEnd;
        ++secondBegin;
        if (firstEnd == 0 || secondBegin >= chars.size())
            break;
        shown = Join(chars, 0, firstEnd) + " ... " + Join(chars, secondBegin, chars.size());
    }
    return shown;
}

std::string SavePathFor(const std::string& folder, const std::string& typed)
{
    if (!typed.empty() && typed[0] == '/')
        return typed;
    return folder + typed;
}

bool IsUsableTypedName(const std::string& typed)
{
    return !typed.empty() && (typed[0] != '.' || (typed.size() > 1 && typed[1] == '.'));
}

CInFileCtrl::CInFileCtrl() : m_filter(DefaultLayerFilter())
{
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
        key.GetStringValue(m_folder, "WorkDir");
}

CInFileCtrl::~CInFileCtrl()
{
    delete m_window.data();
}

bool CInFileCtrl::SubclassDlgItem(unsigned id, plat::Dialog* parent)
{
    if (!parent || !parent->Control(id) || m_window)
        return false;
    m_window = new QWidget;
    parent->ReplaceControl(id, m_window);
    m_id = id;
    m_parent = parent->Handle();
    return true;
}

int CInFileCtrl::Create(int mode, const char* path, const char* file, int)
{
    if (!m_window)
        return 0;
    if (path && *path)
        m_folder = path;
    m_folder = WithSlash(m_folder);
    m_mode = mode;
    m_scale = m_window->logicalDpiX() * 5.0 / 288.0;

    const double u = m_scale;
    const int w = m_window->width();
    const int line = int(u * 8), h = int(u * 15), gap = int(u * 5);
    m_folderLine = static_cast<QLineEdit*>(
        plat::MakeControl(plat::ControlKind::Edit, plat::CS_READONLY | plat::CS_NOBORDER, nullptr, m_window));
    m_folderLine->setGeometry(0, 0, w, line);
    m_folderLine->setFocusPolicy(Qt::NoFocus);
    m_nameEdit = static_cast<QLineEdit*>(plat::MakeControl(plat::ControlKind::Edit, plat::CS_NONE, nullptr, m_window));
    m_nameEdit->setGeometry(0, line, w - h - gap, h);
    m_browse =
        static_cast<QPushButton*>(plat::MakeControl(plat::ControlKind::IconButton, plat::CS_NONE, nullptr, m_window));
    m_browse->setGeometry(w - h, line, h, h);
    QObject::connect(m_browse, &QPushButton::clicked, m_window, [this] { OnBrowse(); });
    QObject::connect(m_nameEdit, &QLineEdit::textChanged, m_window, [this] { OnChangeFileName(); });

    SetOpenMode(mode);
    if (mode == 0 && file && *file)
        m_fileName = file;
    Redisplay();
    return 1;
}

int CInFileCtrl::SetOpenMode(int mode)
{
    m_mode = mode;
    if (!m_window)
        return 1;
    m_nameEdit->setReadOnly(mode == 1);
    plat::SetButtonIcon(m_browse, BrowseIcon(mode == 1 ? kOpenIconId : kSaveIconId));
    if (mode == 1 && !m_infoLine) {
        const int line = int(m_scale * 8), h = int(m_scale * 15);
        m_infoLine = static_cast<QLineEdit*>(
            plat::MakeControl(plat::ControlKind::Edit, plat::CS_READONLY | plat::CS_NOBORDER, nullptr, m_window));
        m_infoLine->setGeometry(0, line + h, m_window->width(), line);
        m_infoLine->setFocusPolicy(Qt::NoFocus);
    }
    if (m_infoLine)
        m_infoLine->setVisible(mode == 1);
    // Focus given to the control goes to the part the mode works with.
    m_window->setFocusPolicy(Qt::StrongFocus);
    m_window->setFocusProxy(mode == 1 ? static_cast<QWidget*>(m_browse) : m_nameEdit);
    return 1;
}

int CInFileCtrl::EnableWindow(int enable)
{
    if (!m_window)
        return 0;
    const bool wasDisabled = !m_browse->isEnabled();
    m_window->setEnabled(enable != 0);
    m_nameEdit->setEnabled(enable != 0);
    m_browse->setEnabled(enable != 0);
    m_window->update();
    return wasDisabled ? 1 : 0;
}

void CInFileCtrl::ClearAll()
{
    m_ready = 0;
    m_sigma = 2.0f;
    m_trimMethod = 2;
    m_previewMode = 0;
    m_min = m_max = 0;
    m_width = m_height = m_type = 0;
    m_pathName.clear();
    m_fileName.clear();
    m_info.clear();
    if (m_nameEdit)
        SetEditText(m_nameEdit, "");
    if (m_infoLine)
        SetEditText(m_infoLine, "");
}

void CInFileCtrl::SetOnlyPath(const char* folder)
{
    ClearAll();
    m_folder = WithSlash(folder ? folder : "");
    Redisplay();
}

void CInFileCtrl::SetPathName(const char* path)
{
    ClearAll();
    const std::string full = path ? path : "";
    const size_t slash = full.rfind('/');
    if (slash != std::string::npos) {
        m_folder = full.substr(0, slash + 1);
        m_fileName = full.substr(slash + 1);
    } else {
        m_fileName = full;
    }
    m_pathName = m_folder + m_fileName;
    m_ready = m_mode == 0 ? IsUsableTypedName(m_fileName) : IsRegularFile(m_pathName);
    Redisplay();
}

void CInFileCtrl::SetFileName(const char* name)
{
    const std::string given = name ? name : "";
    m_pathName = m_folder + given;
    if (m_mode == 0) {
        m_fileName = given;
        m_ready = IsUsableTypedName(given);
    } else if (IsRegularFile(m_pathName)) {
        m_fileName = given;
        m_ready = 1;
    } else {
        m_fileName.clear();
        m_ready = 0;
    }
    Redisplay();
}

std::string CInFileCtrl::GetPathName() const
{
    if (!m_ready)
        return {};
    return m_mode == 1 ? m_pathName : SavePathFor(m_folder, m_fileName);
}

std::string CInFileCtrl::GetFileName() const
{
    if (!m_ready)
        return {};
    if (m_mode == 1)
        return m_fileName;
    const size_t slash = m_fileName.rfind('/');
    return slash == std::string::npos ? m_fileName : m_fileName.substr(slash + 1);
}

void CInFileCtrl::OnBrowse()
{
    CInfoFileDialog dlg(m_mode, m_mode == 1 ? nullptr : "rdp", nullptr,
                        plat::OFN_OVERWRITEPROMPT | plat::OFN_HIDEREADONLY | plat::OFN_SHAREAWARE, m_filter.c_str(),
                        m_parent);
    dlg.SetFilterIndex(m_filterIndex);
    dlg.SetInitialDir(m_folder);
    if (dlg.DoModal() != plat::IDOK)
        return;
    m_filterIndex = dlg.GetFilterIndex();
    m_trimMethod = dlg.TrimMethod();
    m_sigma = dlg.Sigma();
    m_previewMode = dlg.PreviewMode();
    m_pathName = dlg.GetPathName();
    m_fileName = dlg.GetFileName();
    m_folder = m_pathName.substr(0, m_pathName.size() - m_fileName.size());
    m_ready = 1;
    if (m_mode == 1)
        ReadFileInfo();
    Redisplay();
    m_parent.PostMessage(WM_INFILE_CHOSEN, plat::WParam(m_id), plat::LParam(reinterpret_cast<std::intptr_t>(this)));
}

void CInFileCtrl::ReadFileInfo()
{
    // Tags count only as far as their stored lengths go.
    m_info.clear();
    m_width = m_height = m_type = 0;
    m_min = m_max = 0;
    std::int32_t header[6] = {};
    if (GetTag(m_pathName.c_str(), 0, sizeof header, header) == 0 || header[0] < kLayerHeaderNeeds)
        return;
    m_width = header[1];
    m_height = header[2];
    m_type = header[3];
    m_info = GetDataTypeName(m_type, 0) + ", " + std::to_string(m_width) + "x" + std::to_string(m_height);
    std::vector<unsigned char> stats(size_t(kStatisticsNeeds), 0);
    std::int32_t length = 0;
    if (GetTag(m_pathName.c_str(), 2, kStatisticsNeeds, stats.data()) != 0) {
        std::memcpy(&length, stats.data(), 4);
        if (length >= kStatisticsNeeds) {
            std::memcpy(&m_min, stats.data() + 8, 8);
            std::memcpy(&m_max, stats.data() + 16, 8);
        }
    }
}

void CInFileCtrl::OnChangeFileName()
{
    if (m_changeGuard || m_mode != 0 || !m_nameEdit)
        return;
    m_fileName = m_nameEdit->text().toStdString();
    m_ready = IsUsableTypedName(m_fileName) ? 1 : 0;
}

void CInFileCtrl::SetEditText(QLineEdit* edit, const std::string& text)
{
    ++m_changeGuard;
    edit->setText(QString::fromStdString(text));
    edit->setCursorPosition(0);
    --m_changeGuard;
}

void CInFileCtrl::Redisplay()
{
    if (!m_window)
        return;
    SetEditText(m_nameEdit, m_fileName);
    if (m_mode == 1 && m_infoLine)
        SetEditText(m_infoLine, m_info);
    const QFontMetrics metrics(m_folderLine->font());
    m_shownFolder =
        ShortenFolder(m_folder, m_folderLine->width(), m_window->logicalDpiX(),
                      [&](const std::string& text) { return metrics.horizontalAdvance(QString::fromStdString(text)); });
    SetEditText(m_folderLine, m_shownFolder);
}
