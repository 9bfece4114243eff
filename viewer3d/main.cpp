#include "viewer3d/Halcyte3DMain.h"

int main(int argc, char** argv)
{
    return Halcyte3DMain(argc, argv);
}
