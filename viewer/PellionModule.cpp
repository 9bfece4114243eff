#include "PellionModule.h"

const char* PellionModuleName()
{
    return kPellionModule;
}
