#include "dialogs/FileMasks.h"

const char AppName[] = "Velmora";

std::string DefaultLayerFilter()
{
    return std::string(AppName) + " Files (*.rdp)|*.rdp|All Files (*.*)|*.*||";
}
