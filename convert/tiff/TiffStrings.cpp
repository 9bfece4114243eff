#include "tiff/TiffStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_TIFF_CREATE_FAILED, "Unable to create the output file"},
    {IDS_TIFF_BAD_WINDOW, "Window parameters \ndo not correspond to image parameters "},
    {IDS_TIFF_OPEN_FAILED, "Unable to open file"},
    {IDS_TIFF_UNSUPPORTED, "Unsupported data type"},
    {IDS_TIFF_CAPTION, "Import from TIFF"},
    {IDS_TIFF_UNDEFINED, "Undefined"},
    {IDS_TIFF_INVALID, "Invalid format of the input file"},
    {IDS_TIFF_UNKNOWN_TYPE, "Unknown data type in the input file"},
    {IDS_TIFF_UNKNOWN_ERROR, "Unknown Error"},
    {IDS_TIFF_WRITING_PALETTE, "Writing palette"},
    {IDS_TIFF_HELP_TOPIC, "Imp_TIFF_data.htm"},
    {IDS_TIFF_LZW_QUESTION,
     "The file is LZW-compressed.\nThe import of such format is not fully supported. \nContinue?"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadTiffString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
