#include <QApplication>
#include <cstdio>

#include "File.h"

int main(int argc, char** argv)
{
    plat::IgnoreFileSizeSignal();
    QApplication app(argc, argv);
    std::puts("Halcyte3D: the project administrator is not built yet.");
    return 0;
}
