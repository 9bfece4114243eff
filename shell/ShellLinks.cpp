#include "ShellLinks.h"

#include <QDir>
#include <QObject>
#include <QProcess>

#include "AppMainWindow.h"
#include "MessageBox.h"
#include "QuorvexStrings.h"
#include "StringTable.h"

namespace {

// Until the viewer frame is linked in, a viewer cannot be made: say so.
bool NoViewer(const ViewerOpenRequest&)
{
    plat::MessageBox(plat::AppMainWindow(), plat::LoadString(IDS_NO_VIEWER, kQuorvexModule), "Quorvex",
                     plat::MB_OK | plat::MB_ICONERROR);
    return false;
}

void NoImportExport()
{
    plat::MessageBox(plat::AppMainWindow(), plat::LoadString(IDS_NO_IMPORT_EXPORT, kQuorvexModule), "Quorvex",
                     plat::MB_OK | plat::MB_ICONERROR);
}

ViewerLink StandardViewerLink()
{
    ViewerLink link;
    link.open = NoViewer;
    link.destroy = [](std::uintptr_t) {};
    link.object = [](std::uintptr_t) -> QObject* { return nullptr; };
    return link;
}

// Both live on the GUI thread only.
ViewerLink& Link()
{
    static ViewerLink link = StandardViewerLink();
    return link;
}

ImportExportLauncher& Launcher()
{
    static ImportExportLauncher launcher = NoImportExport;
    return launcher;
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

void LaunchImportExport()
{
    ImportExportLauncher launcher = Launcher();
    if (launcher)
        launcher();
}

ImportExportLauncher SetImportExportLauncher(ImportExportLauncher launcher)
{
    ImportExportLauncher previous = Launcher();
    Launcher() = launcher ? std::move(launcher) : ImportExportLauncher(NoImportExport);
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
