#pragma once
// The one entry for open and save file dialogs, callable from any thread: the dialog is
// shown on the GUI thread and the caller waits for the choice. An installed answerer takes
// the place of the dialog (tests install one, so no test ever waits for a person).

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/windows/WindowHandle.h"

namespace plat {

// Request flags.
enum : unsigned {
    OFN_OVERWRITEPROMPT = 0x2,     // save: ask before a choice replaces an existing file
    OFN_HIDEREADONLY = 0x4,        // accepted; there is no read-only box to hide
    OFN_ALLOWMULTISELECT = 0x200,  // open: several files may be chosen
    OFN_PATHMUSTEXIST = 0x800,     // accepted; the dialog only offers existing folders
    OFN_FILEMUSTEXIST = 0x1000,    // open: only existing files are accepted
    OFN_SHAREAWARE = 0x4000,       // accepted; POSIX files are always shared
};

struct FileDialogRequest {
    bool save = false;       // a save dialog, else an open dialog
    std::string kind;        // empty for the plain dialog; names an extended dialog otherwise
    std::string title;       // empty: "Open" or "Save As"
    std::string filter;      // "Text|*.txt|All|*.*||": description and pattern pairs
    int filterIndex = 1;     // start filter, from 1 (0 is taken as 1)
    std::string folder;      // start folder; empty: the current directory
    std::string fileName;    // start name, or a path ('/' first) replacing the folder
    std::string defaultExt;  // without the dot; added to a chosen name that has none
    unsigned flags = 0;
    bool owned = false;  // an owner window existed when the dialog was shown
};

struct FileDialogResult {
    bool ok = false;                             // false: cancelled, nothing chosen
    std::vector<std::string> paths;              // full paths; one unless several were allowed and chosen
    int filterIndex = 0;                         // the filter in use, from 1
    std::map<std::string, std::string> options;  // an extended dialog's own answers, by name

    std::string Path() const { return paths.empty() ? std::string() : paths.front(); }
};

// Answers a request in place of the dialog; runs on the GUI thread.
using FileDialogAnswerer = std::function<FileDialogResult(const FileDialogRequest&)>;
// Shows an extended dialog (request.kind) owned by owner, on the GUI thread.
using FileDialogShow = std::function<FileDialogResult(const WindowHandle& owner, const FileDialogRequest&)>;

// Shows the dialog owned by owner (if it still exists) and answers the choice: the
// answerer's answer when one is installed, else `show`'s, else the standard dialog's.
FileDialogResult FileDialog(const WindowHandle& owner, const FileDialogRequest& request,
                            const FileDialogShow& show = {});

// Installs answerer (an empty one restores real dialogs); answers the previous one.
FileDialogAnswerer SetFileDialogAnswerer(FileDialogAnswerer answerer);

// Installs an answerer for its lifetime that records every request and answers `answer`,
// or what `decide` answers when given; restores the previous answerer at the end.
class ScopedFileDialogAnswerer final {
public:
    explicit ScopedFileDialogAnswerer(FileDialogResult answer, FileDialogAnswerer decide = {});
    ~ScopedFileDialogAnswerer();

    // Installed once: neither copied nor moved.
    ScopedFileDialogAnswerer(const ScopedFileDialogAnswerer&) = delete;
    ScopedFileDialogAnswerer& operator=(const ScopedFileDialogAnswerer&) = delete;

    std::vector<FileDialogRequest> Calls() const;

private:
    mutable std::mutex m_mutex;
    std::vector<FileDialogRequest> m_calls;
    FileDialogAnswerer m_previous;
};

// Helpers the standard dialog and extended dialogs share.

// One filter of a filter string.
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;  // "*.*" becomes "*"
};

// Splits "A|*.x;*.y|B|*.*||" into its filters; a description without a pattern is dropped.
std::vector<FileFilter> ParseFileFilter(const std::string& filter);

// Qt name filters for the filters: "A (*.x *.y)"; one "All Files (*)" when there are none.
std::vector<std::string> QtNameFilters(const std::vector<FileFilter>& filters);

// The chosen path with defaultExt added when its name has no extension ("" adds nothing).
std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt);

// Asks through the message box whether path may be replaced; true when the user said Yes.
bool ConfirmOverwrite(const WindowHandle& owner, const std::string& path, const std::string& title);

// The folder a dialog starts in: folder when it is an existing folder, else the current
// directory; with a trailing '/'.
std::string StartFolder(const std::string& folder);

}  // namespace plat
