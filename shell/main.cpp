#include <QApplication>
#include <cstdio>

void QuorvexRegisterStrings();

int main(int argc, char** argv)
{
    QuorvexRegisterStrings();
    QApplication app(argc, argv);
    std::puts("Quorvex: the shell's main window is not built yet; the libraries are in place.");
    return 0;
}
