#include "platform/dialogs/FileDialog.h"

#include <algorithm>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "platform/threads/GuiThread.h"
#include "platform/resources/Hook.h"
#include "platform/dialogs/MessageBox.h"

namespace plat {

namespace {

Hook<FileDialogAnswerer> g_answerer;

std::string Trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

QStringList ToQt(const std::vector<std::string>& list)
{
    QStringList out;
    for (const auto& s : list)
        out << QString::fromStdString(s);
    return out;
}

void ReportMissingFile(const WindowHandle& owner, const std::string& path, const std::string& title)
{
    const size_t slash = path.rfind('/');
    MessageBox(owner,
               path.substr(slash == std::string::npos ? 0 : slash + 1) +
                   "\nFile not found.\nPlease verify the correct file name was given.",
               title, MB_OK | MB_ICONWARNING);
}

FileDialogResult ShowStandard(const WindowHandle& owner, const FileDialogRequest& request)
{
    const std::vector<std::string> names = QtNameFilters(ParseFileFilter(request.filter));
    QFileDialog dialog(owner.Widget());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The overwrite question goes through the message box, after the default extension.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const std::string title = !request.title.empty() ? request.title : request.save ? "Save As" : "Open";
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.save)
        dialog.setFileMode(QFileDialog::AnyFile);
    else
        // One file: any name is taken and checked here, so the missing-file box is ours.
        dialog.setFileMode((request.flags & OFN_ALLOWMULTISELECT) ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    dialog.setNameFilters(ToQt(names));
    const int start = std::clamp(request.filterIndex, 1, int(names.size()));
    dialog.selectNameFilter(QString::fromStdString(names[size_t(start - 1)]));
    dialog.setDirectory(QString::fromStdString(StartFolder(request.folder)));
    if (!request.fileName.empty())
        dialog.selectFile(QString::fromStdString(request.fileName));

    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return {};
        FileDialogResult result;
        result.ok = true;
        const QStringList chosen = dialog.selectedFiles();
        for (const QString& file : chosen)
            result.paths.push_back(file.toStdString());
        if (result.paths.empty())
            return {};
        const QString filter = dialog.selectedNameFilter();
        result.filterIndex = start;
        for (size_t i = 0; i < names.size(); ++i) {
            if (QString::fromStdString(names[i]) == filter) {
                result.filterIndex = int(i) + 1;
                break;
            }
        }
        if (!request.save && !QFileInfo(QString::fromStdString(result.paths[0])).isFile()) {
            ReportMissingFile(owner, result.paths[0], title);
            continue;
        }
        if (request.save) {
            result.paths.resize(1);
            result.paths[0] = WithDefaultExtension(result.paths[0], request.defaultExt);
            if ((request.flags & OFN_OVERWRITEPROMPT) && QFileInfo::exists(QString::fromStdString(result.paths[0])) &&
                !ConfirmOverwrite(owner, result.paths[0], title))
                continue;
        }
        return result;
    }
}

}  // namespace

FileDialogResult FileDialog(const WindowHandle& owner, const FileDialogRequest& request, const FileDialogShow& show)
{
    FileDialogResult result;
    CallOnGuiThread([&] {
        FileDialogRequest call = request;
        call.owned = owner.Widget() != nullptr;
        if (const FileDialogAnswerer answerer = g_answerer.Get())
            result = answerer(call);
        else if (show)
            result = show(owner, call);
        else
            result = ShowStandard(owner, call);
    });
    return result;
}

FileDialogAnswerer SetFileDialogAnswerer(FileDialogAnswerer answerer)
{
    return g_answerer.Set(std::move(answerer));
}

ScopedFileDialogAnswerer::ScopedFileDialogAnswerer(FileDialogResult answer, FileDialogAnswerer decide)
{
    m_previous = SetFileDialogAnswerer([this, answer = std::move(answer), decide](const FileDialogRequest& request) {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(request);
        }
        return decide ? decide(request) : answer;
    });
}

ScopedFileDialogAnswerer::~ScopedFileDialogAnswerer()
{
    SetFileDialogAnswerer(std::move(m_previous));
}

std::vector<FileDialogRequest> ScopedFileDialogAnswerer::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<FileFilter> ParseFileFilter(const std::string& filter)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t bar = filter.find('|', from);
        parts.push_back(filter.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos)
            break;
        from = bar + 1;
    }
    std::vector<FileFilter> out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty())
            break;  // the closing "||"
        FileFilter f;
        f.description = parts[i];
        size_t p = 0;
        const std::string& list = parts[i + 1];
        while (p <= list.size()) {
            size_t semi = list.find(';', p);
            if (semi == std::string::npos)
                semi = list.size();
            std::string pattern = Trimmed(list.substr(p, semi - p));
            if (pattern == "*.*")
                pattern.resize(1);  // "*"
            if (!pattern.empty())
                f.patterns.push_back(pattern);
            p = semi + 1;
        }
        if (!f.patterns.empty())
            out.push_back(std::move(f));
    }
    return out;
}

std::vector<std::string> QtNameFilters(const std::vector<FileFilter>& filters)
{
    std::vector<std::string> out;
    for (const FileFilter& f : filters) {
        // A description that shows its patterns already ("Text (*.txt)") gets ours instead.
        std::string description = f.description;
        if (!description.empty() && description.back() == ')') {
            const size_t open = description.rfind('(');
            if (open != std::string::npos)
                description = Trimmed(description.substr(0, open));
        }
        std::string patterns;
        for (const std::string& p : f.patterns)
            patterns += (patterns.empty() ? "" : " ") + p;
        out.push_back((description.empty() ? patterns : description) + " (" + patterns + ")");
    }
    if (out.empty())
        out.push_back("All Files (*)");
    return out;
}

std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt)
{
    if (defaultExt.empty() || path.empty() || path.back() == '/')
        return path;
    const size_t slash = path.rfind('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.find('.', 1) != std::string::npos)
        return path;
    return path + "." + defaultExt;
}

bool ConfirmOverwrite(const WindowHandle& owner, const std::string& path, const std::string& title)
{
    const std::string text = path + " already exists.\nDo you want to replace it?";
    return MessageBox(owner, text, title, MB_YESNO | MB_ICONWARNING) == IDYES;
}

std::string StartFolder(const std::string& folder)
{
    QString dir = QString::fromStdString(folder);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::currentPath();
    std::string out = QDir::cleanPath(QFileInfo(dir).absoluteFilePath()).toStdString();
    if (out.empty() || out.back() != '/')
        out += '/';
    return out;
}

}  // namespace plat
