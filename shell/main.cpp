#include "ShellApp.h"

int main(int argc, char** argv)
{
    return ShellMain(argc, argv);
}
