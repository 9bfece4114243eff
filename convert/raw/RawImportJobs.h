#pragma once
// The raw import's two jobs for Run: the import into the user's file and the
// preview into the dialog's temporary file, which reports back by a posted message.

#include <memory>
#include <mutex>
#include <string>

#include "platform/windows/WindowHandle.h"
#include "raw/ImportParams.h"

class CMeterInfo;

// Posted to the dialog when a preview job ends: wParam 1 when the preview file was
// written, 0 when not; lParam 0.
inline constexpr unsigned WM_PREVIEW_READY = plat::WM_USER + 30;

struct ImportJob {
    ImportParams params;
    std::string outputFile;
};

// What a dialog and its preview job share about the preview file: whichever of the
// two ends last removes it, so it neither outlives the dialog nor goes while a
// job still writes it.
struct PreviewFileShare {
    std::mutex mutex;
    bool dialogGone = false;
    int jobsRunning = 0;
};

struct PreviewJob {
    std::string unused;  // stays empty
    std::string previewFile;
    ImportParams params;
    plat::WindowHandle owner;
    std::shared_ptr<PreviewFileShare> share;  // may be null: nobody to share with
};

// The progress text an import ends with: "Import successful.", the short-input
// notice, or "Importing break".
std::string ImportEndText(int result, const ReadOutcome& outcome);

// Job functions for Run; each takes over and frees its heap job block.
void RawImportWorker(void* job, CMeterInfo* meter);
void PreviewWorker(void* job, CMeterInfo* meter);

// A new, empty file "#preview<n>.rdp" in folder (the temporary folder when empty),
// made by an exclusive create, so that no two dialogs share one; "" when the folder
// takes none.
std::string MakePreviewFile(const std::string& folder = {});
// The user's temporary folder, without a trailing '/'.
std::string TempFolder();
