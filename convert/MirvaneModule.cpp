#include "MirvaneModule.h"

const char* MirvaneModuleName()
{
    return kMirvaneModule;
}
