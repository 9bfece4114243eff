#include <QApplication>
#include <cstdio>

#include "File.h"

void QuorvexRegisterStrings();

int main(int argc, char** argv)
{
    plat::IgnoreFileSizeSignal();
    QuorvexRegisterStrings();
    QApplication app(argc, argv);
    std::puts("Quorvex: the shell's main window is not built yet; the libraries are in place.");
    return 0;
}
