#include <EngineUnits.h>

#include <QApplication>
#include <cstdio>

#include "File.h"

int main(int argc, char** argv)
{
    plat::IgnoreFileSizeSignal();
    QApplication app(argc, argv);
    // The units may make windows: they start once the application exists and
    // end before it goes.
    StartEngineUnits();
    std::puts("Halcyte3D: the project administrator is not built yet.");
    StopEngineUnits();
    return 0;
}
