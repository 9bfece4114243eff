#include "DesktopOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

#include <mutex>

namespace plat {
namespace {

std::mutex& Lock()
{
    static std::mutex m;
    return m;
}

DesktopOpener& Opener()
{
    static DesktopOpener opener;
    return opener;
}

}  // namespace

DesktopOpener SetDesktopOpener(DesktopOpener opener)
{
    std::lock_guard<std::mutex> g(Lock());
    std::swap(Opener(), opener);
    return opener;
}

bool OpenWithDesktop(const std::string& path)
{
    DesktopOpener opener;
    {
        std::lock_guard<std::mutex> g(Lock());
        opener = Opener();
    }
    if (opener)
        return opener(path);

    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists())
        return false;
    const QString full = info.absoluteFilePath();
    // Without a GUI application object the desktop services are not there.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
        return QDesktopServices::openUrl(QUrl::fromLocalFile(full));
    return QProcess::startDetached(QStringLiteral("xdg-open"), {full});
}

}  // namespace plat
