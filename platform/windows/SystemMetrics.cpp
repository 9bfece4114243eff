#include "platform/windows/SystemMetrics.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>

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
    case SM_CXICON:
    case SM_CYICON:
        return QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize) : 32;
    case SM_CYMENU: {
        // What the style gives a menu bar of one line.
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return 0;
        QMenuBar bar;
        bar.addAction(QStringLiteral("X"));
        return bar.sizeHint().height();
    }
    case SM_CXVIRTUALSCREEN:
        return desktop.width();
    case SM_CYVIRTUALSCREEN:
        return desktop.height();
    }
    return 0;
}

}  // namespace plat
