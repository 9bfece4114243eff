#pragma once
// What the shell starts outside itself: image viewers and the 3D viewer program. The
// viewers go through one narrow link, so that tests can put a recording stand-in there.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/paint/Geometry.h"
#include "platform/windows/WindowHandle.h"

// The arguments of one new image viewer, in the order the viewer frame takes them.
struct ViewerOpenRequest {
    plat::WindowHandle host;  // gets the viewer's closing notice
    int id = 0;
    int phaseMode = 0;
    double sigma = 0.0;
    int stretchType = 0;             // 0 Auto, 1 None, 2 Double Dispersion, 3 Selected Dispersion
    std::string path;                // empty: the viewer opens empty
    std::optional<CRect> placement;  // none: the viewer's default place
};

struct ViewerLink {
    // Makes a visible viewer, which announces itself to the application's main window
    // (WM_VIEWER_NOTIFY, code 5), reports its end there and to its host (code 1) and
    // deletes itself when its window goes. False when none could be made.
    std::function<bool(const ViewerOpenRequest&)> open;
    // Destroys the viewer's window (the viewer then frees itself); a viewer that is
    // gone already is left alone.
    std::function<void(std::uintptr_t viewer)> destroy;
};

// The link in use; tests replace it and get the previous one back.
const ViewerLink& CurrentViewerLink();
ViewerLink SetViewerLink(ViewerLink link);

// Starts folder/Halcyte3D detached, without arguments, in the current folder. Answers
// its process id, or none when it could not be started.
std::optional<long long> StartHalcyte3D(const std::string& folder);
