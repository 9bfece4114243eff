#include "ShellLinks.h"

#include <QApplication>
#include <QDir>
#include <QProcess>

#include "frame/FrameViewer.h"

namespace {

bool OpenFrameViewer(const ViewerOpenRequest& request)
{
    auto* viewer = new CFrameViewer;
    const RECT* placement = request.placement ? &*request.placement : nullptr;
    if (!viewer->Create(request.host, request.id, request.phaseMode, request.sigma, request.stretchType,
                        request.path.c_str(), placement)) {
        delete viewer;
        return false;
    }
    return true;
}

void DestroyFrameViewer(std::uintptr_t viewer)
{
    // Only a viewer whose window is still there: a notice of its end may be on its way.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* frame = dynamic_cast<CFrameViewer*>(window);
        if (frame && plat::WParam(frame) == viewer) {
            frame->DestroyWindow();
            return;
        }
    }
}

ViewerLink StandardViewerLink()
{
    ViewerLink link;
    link.open = OpenFrameViewer;
    link.destroy = DestroyFrameViewer;
    return link;
}

// Lives on the GUI thread only.
ViewerLink& Link()
{
    static ViewerLink link = StandardViewerLink();
    return link;
}

}  // namespace

const ViewerLink& CurrentViewerLink()
{
    return Link();
}

ViewerLink SetViewerLink(ViewerLink link)
{
    ViewerLink previous = Link();
    Link() = link.open ? std::move(link) : StandardViewerLink();
    return previous;
}

std::optional<long long> StartHalcyte3D(const std::string& folder)
{
    const QString program = QString::fromStdString(folder) + QStringLiteral("/Halcyte3D");
    qint64 pid = 0;
    // Detached: the shell neither waits for it nor keeps any trace of it.
    if (!QProcess::startDetached(program, {}, QDir::currentPath(), &pid))
        return std::nullopt;
    return static_cast<long long>(pid);
}
