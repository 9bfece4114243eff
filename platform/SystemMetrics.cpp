#include "SystemMetrics.h"

#include <QGuiApplication>
#include <QScreen>

namespace plat {

int GetSystemMetrics(SystemMetric index)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 0;
    const QRect desktop = screen->virtualGeometry();
    switch (index) {
    case SM_CXVIRTUALSCREEN:
        return desktop.width();
    case SM_CYVIRTUALSCREEN:
        return desktop.height();
    }
    return 0;
}

}  // namespace plat
