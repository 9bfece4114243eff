#include "platform/resources/DesktopOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

#include "platform/resources/Hook.h"

namespace plat {
namespace {

Hook<DesktopOpener>& Opener()
{
    static Hook<DesktopOpener> opener;
    return opener;
}

}  // namespace

DesktopOpener SetDesktopOpener(DesktopOpener opener)
{
    return Opener().Set(std::move(opener));
}

bool OpenWithDesktop(const std::string& path)
{
    if (const DesktopOpener opener = Opener().Get())
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
