#include "ascii/AsciiStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_ASCII_CREATE_FAILED, "Unable to create the output file"},
    {IDS_ASCII_OPEN_FAILED, "Unable to open file"},
    {IDS_ASCII_EXPORT_TITLE, "Export into ASCII"},
    {IDS_ASCII_WRITING_RASTER, "Writing raster"},
    {IDS_ASCII_DIFFERENT_COLUMNS, "It is neccesary to select different columns"},
    {IDS_ASCII_HELP_TOPIC, "Imp_ASCII_data.htm"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadAsciiString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
