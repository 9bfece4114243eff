#pragma once
// The image viewer that shows an import's preview, as the import dialogs use it: a
// CFrameViewer hosted by the dialog, reporting to its host window with WM_USER+500
// notices (lParam 1 closed, 2 shown, 3 loading failed, and
// 4 from its selection frame when the user moved it).

#include <string>

#include "platform/windows/WindowHandle.h"
#include "raw/RawImportForm.h"
#include "window/ViewerMessages.h"

// lParam of WM_VIEWER_NOTIFY as the import dialogs read it.
enum : int {
    VIEWER_CLOSED = 1,
    VIEWER_READY = 2,
    VIEWER_FAILED = 3,
    VIEWER_FRAME_MOVED = 4,
};

// Command mask bits of EnableMenuItems.
enum : int {
    VIEWER_CMD_OPEN = 0x1,
    VIEWER_CMD_CLOSE = 0x2,
    VIEWER_CMD_FRAME = 0x1000,
};

// A viewer window; it deletes itself when its window is destroyed (after posting
// VIEWER_CLOSED with wParam ClosedKey() to its host).
class PreviewViewer {
public:
    // The wParam of this viewer's closed notice.
    virtual plat::WParam ClosedKey() const = 0;
    virtual void Activate() = 0;
    virtual void DestroyWindow() = 0;
    virtual void EnableMenuItems(int enable, int mask) = 0;
    // Shows the default selection frame and sends its notices to window.
    virtual void ShowDefaultFrame(const plat::WindowHandle& window) = 0;
    // The selection frame in image pixels, edges included.
    virtual PreviewFrame Frame() const = 0;

protected:
    ~PreviewViewer() = default;
};

struct PreviewViewerRequest {
    plat::WindowHandle host;
    int id = 0;
    int phaseMode = 0;
    double sigma = 2.0;
    int stretchType = 2;
    std::string file;
};

// Makes and shows a viewer loading the request's file; null when none can be made.
using PreviewViewerOpener = PreviewViewer* (*)(const PreviewViewerRequest& request);
// Tests put a stand-in in place of the image viewer; null restores it.
void SetPreviewViewerOpener(PreviewViewerOpener opener);
PreviewViewer* OpenPreviewViewer(const PreviewViewerRequest& request);
