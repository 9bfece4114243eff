#include "ceos/CeosStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_CEOS_GEO_PARAMS, "Writing geographic parameters"},
    {IDS_CEOS_ORBIT_PARAMS, "Writing ballictic parameters"},
    {IDS_CEOS_CREATE_FAILED, "Unable to create the output file"},
    {IDS_CEOS_BAD_WINDOW, "Window parameters \ndo not correspond to image parameters "},
    {IDS_CEOS_CANNOT_SHOW_INFO, "Unable to show additional information"},
    {IDS_CEOS_OPEN_FAILED, "Unable to open file"},
    {IDS_CEOS_UNSUPPORTED, "Unsupported data type"},
    {IDS_CEOS_CANNOT_SHOW_DIALOG, "Unable to show dialog box"},
    {IDS_CEOS_UNCOMPRESSING, "Reading and uncompressing data"},
    {IDS_CEOS_INVALID, "Invalid format of the input file"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadCeosString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
