#include "dialogs/InfoFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>

#include "platform/dialogs/MessageBox.h"
#include "platform/resources/StringTable.h"
#include "VarnokModule.h"
#include "dialogs/DialogArt.h"
#include "dialogs/FilePreview.h"
#include "dialogs/PreviewOptionsPane.h"
#include "dialogs/PreviewPane.h"
#include "files/TempFiles.h"

namespace {

constexpr unsigned kPlaceholder = 1119, kTabs = 5004, kTypeText = 5012, kSizeText = 5013, kAmplitude = 5064,
                   kPhase = 5065;
constexpr unsigned kPreviewLabel = 5014, kOptionsLabel = 5015;

const plat::ControlTemplate kRows[] = {
    {kPlaceholder, plat::ControlKind::Static, 0, 4, 240, 144, nullptr, plat::CS_NONE},
    {kTabs, plat::ControlKind::TabControl, 248, 8, 140, 140, nullptr, plat::CS_NONE},
    {plat::IDC_STATIC, plat::ControlKind::GroupBox, 248, 148, 140, 31, nullptr, plat::CS_NONE},
    {kAmplitude, plat::ControlKind::RadioButton, 254, 156, 115, 10, "Amplitude", plat::CS_GROUP},
    {kPhase, plat::ControlKind::RadioButton, 254, 167, 115, 10, "Phase", plat::CS_NONE},
    {plat::IDC_STATIC, plat::ControlKind::Static, 4, 152, 60, 8, "File size", plat::CS_NONE},
    {plat::IDC_STATIC, plat::ControlKind::Static, 4, 164, 56, 8, "Data Type", plat::CS_NONE},
    {kSizeText, plat::ControlKind::Edit, 63, 152, 166, 12, nullptr, plat::CS_READONLY},
    {kTypeText, plat::ControlKind::Edit, 62, 165, 161, 13, nullptr, plat::CS_READONLY},
};
const plat::DialogTemplate kTemplate = {502, nullptr, "MS Sans Serif", 8, 388, 181, kRows, std::size(kRows)};

const plat::StringEntry kStrings[] = {
    {kPreviewLabel, "Preview"},
    {kOptionsLabel, "Options"},
};
const plat::StringTableRegistration kRegistration(kVarnokModule, kStrings);

// The system part of the dialog: Qt's own file dialog living inside ours. Its accept and
// reject come to us instead of closing it.
class Browser final : public QFileDialog {
public:
    explicit Browser(std::function<void(int)> done) : m_done(std::move(done)) {}
    void done(int result) override
    {
        if (m_done)
            m_done(result);
    }

private:
    std::function<void(int)> m_done;
};

int ToInt(const std::string& text, int fallback)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() || value < -1000 || value > 1000 ? fallback : int(value);
}

}  // namespace

CInfoFileDialog::CInfoFileDialog(int open, const char* defExt, const char* fileName, unsigned flags, const char* filter,
                                 const plat::WindowHandle& parent)
    : m_open(open != 0),
      m_defExt(defExt ? defExt : ""),
      m_fileName(fileName ? fileName : ""),
      m_flags(flags),
      m_filter(filter ? filter : ""),
      m_parent(parent),
      m_grey(GreyColors())
{}

CInfoFileDialog::~CInfoFileDialog()
{
    Destroy();
}

std::string CInfoFileDialog::GetFileName() const
{
    const size_t slash = m_pathName.rfind('/');
    return slash == std::string::npos ? m_pathName : m_pathName.substr(slash + 1);
}

std::string CInfoFileDialog::Title() const
{
    return !m_title.empty() ? m_title : m_open ? "Open" : "Save As";
}

plat::FileDialogRequest CInfoFileDialog::Request() const
{
    plat::FileDialogRequest request;
    request.save = !m_open;
    request.kind = kInfoFileDialogKind;
    request.title = Title();
    request.filter = m_filter;
    request.filterIndex = std::max(1, m_filterIndex);
    request.folder = m_initialDir;
    request.fileName = m_fileName;
    request.defaultExt = m_defExt;
    request.flags = m_flags;
    return request;
}

int CInfoFileDialog::DoModal()
{
    const plat::FileDialogResult result =
        plat::FileDialog(m_parent, Request(), [this](const plat::WindowHandle& owner, const plat::FileDialogRequest&) {
            return ShowModal(owner.Widget());
        });
    if (!result.ok || result.paths.empty())
        return plat::IDCANCEL;
    Take(result);
    return plat::IDOK;
}

void CInfoFileDialog::Take(const plat::FileDialogResult& result)
{
    m_pathName = result.Path();
    m_filterIndex = result.filterIndex;
    const auto option = [&](const char* name) -> const std::string* {
        const auto it = result.options.find(name);
        return it == result.options.end() ? nullptr : &it->second;
    };
    if (const std::string* mode = option("mode"))
        m_previewMode = ToInt(*mode, 0) == 1 ? 1 : 0;
    if (const std::string* sigma = option("sigma"))
        ParseSigma(*sigma, m_sigma);
    if (const std::string* trim = option("trim"))
        m_trimMethod = std::clamp(ToInt(*trim, m_trimMethod), 0, 4);
}

plat::FileDialogResult CInfoFileDialog::ShowModal(QWidget* owner)
{
    m_chosen = {};
    Create(owner);
    m_window->exec();
    Destroy();
    return m_chosen;
}

QFileDialog* CInfoFileDialog::Browser() const
{
    return m_window ? m_window->ControlAs<QFileDialog>(kPlaceholder) : nullptr;
}

void CInfoFileDialog::Create(QWidget* owner)
{
    Destroy();
    m_window = new plat::Dialog(kTemplate, owner);
    m_window->SetTitle(Title());
    m_shownMode = m_previewMode;
    m_shownFilter = std::max(1, m_filterIndex);

    // The system part takes the placeholder's place, which grows to hold it.
    auto* browser = new ::Browser([this](int result) {
        if (result == QDialog::Accepted)
            OnFileNameOK();
        else if (m_window)
            m_window->done(QDialog::Rejected);
    });
    browser->setWindowFlags(Qt::Widget);
    browser->setOption(QFileDialog::DontUseNativeDialog);
    browser->setOption(QFileDialog::DontConfirmOverwrite);
    browser->setSizeGripEnabled(false);
    browser->setAcceptMode(m_open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // Any name is taken by the browser; whether it exists is checked here, with our boxes.
    browser->setFileMode(QFileDialog::AnyFile);
    m_nameFilters = plat::QtNameFilters(plat::ParseFileFilter(m_filter));
    QStringList names;
    for (const std::string& name : m_nameFilters)
        names << QString::fromStdString(name);
    browser->setNameFilters(names);
    m_shownFilter = std::clamp(m_shownFilter, 1, int(m_nameFilters.size()));
    browser->selectNameFilter(names[m_shownFilter - 1]);
    browser->setDirectory(QString::fromStdString(plat::StartFolder(m_initialDir)));
    if (!m_fileName.empty())
        browser->selectFile(QString::fromStdString(m_fileName));
    m_window->ReplaceControl(kPlaceholder, browser);
    const QSize wanted = browser->sizeHint().expandedTo(browser->minimumSizeHint());
    m_window->GrowControl(kPlaceholder, wanted.width(), wanted.height());
    QObject::connect(browser, &QFileDialog::currentChanged, m_window,
                     [this](const QString& path) { OnFileNameChange(path.toStdString()); });
    QObject::connect(browser, &QFileDialog::filterSelected, m_window, [this](const QString& filter) {
        for (size_t i = 0; i < m_nameFilters.size(); ++i)
            if (QString::fromStdString(m_nameFilters[i]) == filter)
                m_shownFilter = int(i) + 1;
    });
    browser->show();

    // The tabs, with the panes over the tab control's page area.
    auto* tabs = m_window->ControlAs<QTabWidget>(kTabs);
    tabs->addTab(new QWidget, QString::fromStdString(plat::LoadString(kPreviewLabel, kVarnokModule)));
    tabs->addTab(new QWidget, QString::fromStdString(plat::LoadString(kOptionsLabel, kVarnokModule)));
    m_previewPane = std::make_unique<CPreviewPane>(m_window);
    m_optionsPane = std::make_unique<CPreviewOptionsPane>(m_window);
    const QPoint panes = tabs->geometry().topLeft() + QPoint(3, tabs->tabBar()->tabRect(0).height() + 5);
    m_previewPane->Window()->move(panes);
    m_optionsPane->Window()->move(panes);
    m_previewPane->Window()->show();
    m_optionsPane->Window()->hide();
    m_window->OnSelChange(kTabs, [this] { OnSelchangeTabInfofileAdvanced(); });

    m_window->ControlAs<QRadioButton>(m_shownMode == 1 ? kPhase : kAmplitude)->setChecked(true);
    m_window->OnClicked(kAmplitude, [this] { OnPreAmpl(); });
    m_window->OnClicked(kPhase, [this] { OnPreFaz(); });
    m_window->SetOkHandler([this] {
        if (QFileDialog* b = Browser())
            static_cast<QDialog*>(b)->accept();
    });
    m_window->SetCancelHandler([this] { m_window->done(QDialog::Rejected); });
    ShowDefaultPicture();
}

void CInfoFileDialog::Destroy()
{
    if (m_window) {
        // The panes' windows go with it; their objects after.
        m_window->DestroyWindow();
        delete m_window.data();
    }
    m_previewPane.reset();
    m_optionsPane.reset();
}

void CInfoFileDialog::ShowDefaultPicture()
{
    m_previewPane->SetBitmap(DefaultPreviewPicture().data(), &m_grey);
    m_previewPane->Invalidate();
}

void CInfoFileDialog::OnFileNameChange(const std::string& path)
{
    if (!m_window)
        return;
    m_currentName = path;
    m_shownMode = m_window->ControlAs<QRadioButton>(kPhase)->isChecked() ? 1 : 0;
    m_optionsPane->SetFileName(path);
    m_optionsPane->SetSigma(GetTMPFlag(path));

    const FilePreview preview = MakeFilePreview(path, m_shownMode);
    if (!preview.isFile) {
        ShowDefaultPicture();
        return;
    }
    m_window->SetControlText(kSizeText, preview.sizeText);
    m_window->SetControlText(kTypeText, preview.typeText);
    m_window->Control(kAmplitude)->setEnabled(preview.phaseAllowed);
    m_window->Control(kPhase)->setEnabled(preview.phaseAllowed);
    if (!preview.hasPicture) {
        ShowDefaultPicture();
        return;
    }
    m_preview = preview.pixels;
    m_colors = preview.colors;
    m_previewPane->SetBitmap(m_preview.data(), &m_colors);
    m_previewPane->Invalidate();
}

void CInfoFileDialog::OnFileNameOK()
{
    QFileDialog* browser = Browser();
    if (!browser)
        return;
    const QStringList files = browser->selectedFiles();
    if (files.isEmpty())
        return;
    std::string path = files.first().toStdString();
    const QFileInfo info(files.first());
    if (m_open) {
        if (!info.isFile()) {
            plat::MessageBox(m_window->Handle(),
                             info.fileName().toStdString() +
                                 "\nFile not found.\nPlease verify the correct file name was given.",
                             Title(), plat::MB_OK | plat::MB_ICONWARNING);
            return;
        }
    } else {
        path = plat::WithDefaultExtension(path, m_defExt);
        if ((m_flags & plat::OFN_OVERWRITEPROMPT) && QFileInfo::exists(QString::fromStdString(path)) &&
            !plat::ConfirmOverwrite(m_window->Handle(), path, Title()))
            return;
    }
    if (!m_optionsPane->UpdateData(true))
        return;
    m_shownMode = m_window->ControlAs<QRadioButton>(kPhase)->isChecked() ? 1 : 0;

    m_chosen = {};
    m_chosen.ok = true;
    m_chosen.paths = {path};
    m_chosen.filterIndex = m_shownFilter;
    m_chosen.options["mode"] = std::to_string(m_shownMode);
    char sigma[32];
    std::snprintf(sigma, sizeof sigma, "%.9g", double(m_optionsPane->Sigma()));
    m_chosen.options["sigma"] = sigma;
    m_chosen.options["trim"] = std::to_string(m_optionsPane->TrimMethod());
    m_window->done(QDialog::Accepted);
}

void CInfoFileDialog::OnSelchangeTabInfofileAdvanced()
{
    const bool preview = m_window->ControlAs<QTabWidget>(kTabs)->currentIndex() == 0;
    m_previewPane->Window()->setVisible(preview);
    m_optionsPane->Window()->setVisible(!preview);
}

void CInfoFileDialog::OnPreAmpl()
{
    OnFileNameChange(m_currentName);
}

void CInfoFileDialog::OnPreFaz()
{
    OnFileNameChange(m_currentName);
}
