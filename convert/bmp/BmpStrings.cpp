#include "bmp/BmpStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_BMP_CREATE_FAILED, "Unable to create the output file"},
    {IDS_BMP_OPEN_FAILED, "Unable to open file"},
    {IDS_BMP_WRITING_RASTER, "Writing raster"},
    {IDS_BMP_UNSUPPORTED, "Unsupported data type"},
    {IDS_BMP_INVALID, "Invalid format of the input file"},
    {IDS_BMP_CAPTION, "Importing bitmap"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadBmpString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
