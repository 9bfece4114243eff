#include "MirvaneStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_ADVANCED_OPTIONS, "Advanced Options"},
    {IDS_SELECT_INPUT, "You should select an input file"},
    {IDS_CONVERSION_CAPTION, "File Conversion"},
    {IDS_SELECT_OUTPUT, "You should select an output file"},
    {IDS_NAMES_EMPTY, "File names are Empty"},
    {IDS_INPUT_NOT_FOUND, "Unable to found the input file"},
    {IDS_FILE_WITH_NAME, "File with name"},
    {IDS_ALREADY_EXISTS, "already exists"},
    {IDS_REPLACE_IT, "Replace it?"},
    {IDS_UNIT_GB, "Gb"},
    {IDS_UNIT_MB, "Mb"},
    {IDS_UNIT_KB, "Kb"},
    {IDS_UNIT_BYTE, "byte"},
    {IDS_CANNOT_SHOW_DIALOG, "Unable to show dialog box"},
    {IDS_IMPEXP_HELP_TOPIC, "HD_ImpExp.HTM"},
    {IDS_FORMAT_NAME_FIRST + 0, "Binary data"},
    {IDS_FORMAT_NAME_FIRST + 1, "Format TIFF "},
    {IDS_FORMAT_NAME_FIRST + 2, "CEOS RadarSAT"},
    {IDS_FORMAT_NAME_FIRST + 3, "CEOS ERS"},
    {IDS_FORMAT_NAME_FIRST + 4, "CEOS SIR-C"},
    {IDS_FORMAT_NAME_FIRST + 5, "ASCII data"},
    {IDS_FORMAT_NAME_FIRST + 6, "Windows Bitmap"},
    {IDS_FORMAT_NAME_FIRST + 7, "Format Velmora"},
    {IDS_FORMAT_NAME_FIRST + 8, "All files"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadMirvaneString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
