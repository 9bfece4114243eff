#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::puts("Halcyte3D: the project administrator is not built yet.");
    return 0;
}
