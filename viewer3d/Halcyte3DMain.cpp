#include "viewer3d/Halcyte3DMain.h"

#include "viewer3d/forms/SAdministratorUn.h"
#include "viewer3d/Viewer3DUnits.h"

#include "platform/files/File.h"
#include "platform/files/TempRegistry.h"

#include <QApplication>

#include <memory>

int RunHalcyte3D()
{
    StartViewer3DUnits();
    int code = 0;
    try {
        auto administrator = std::make_unique<TSAdministrator>();
        administrator->show();
        code = QApplication::exec();
    } catch (...) {
        StopViewer3DUnits();
        throw;
    }
    StopViewer3DUnits();
    return code;
}

int Halcyte3DMain(int argc, char** argv)
{
    plat::IgnoreFileSizeSignal();
    // Temporaries of writers that were killed.
    plat::RemoveOrphanedTemporaries();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Halcyte3D");
    // The administrator ends the program when it closes; tool windows do not.
    QApplication::setQuitOnLastWindowClosed(false);
    return RunHalcyte3D();
}
