#include "raw/RawStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_RAW_IMPORT_SUCCESSFUL, "Import successful."},
    {IDS_RAW_IMPORTING_BREAK, "Importing break"},
    {IDS_RAW_DATA_CONVERSION, "Data Conversion"},
    {IDS_RAW_CREATE_FAILED, "Unable to create the output file"},
    {IDS_RAW_NEED_IMAGE_WIDTH, "It is neccesary to input the image width"},
    {IDS_RAW_NEED_WINDOW_WIDTH, "It is neccesary input width of window being cut"},
    {IDS_RAW_NEED_WINDOW_HEIGHT, "It is neccesary input height of window being cut"},
    {IDS_RAW_BAD_RECORD_LENGTH, "Invalid Record Length"},
    {IDS_RAW_WINDOW_TOO_WIDE, "Invalid width of window being cut: \nexceeding overall file width"},
    {IDS_RAW_WINDOW_X_OUTSIDE, "Invalid position of window being cut: \nexceeding overall file width"},
    {IDS_RAW_CANNOT_OPEN_VIEWER, "Unable Open Viewer"},
    {IDS_RAW_SENSELESS, "Operation is senseless"},
    {IDS_RAW_BAD_RATE, "Invalid sampling rate"},
    {IDS_RAW_HELP_TOPIC, "Imp_binary_data.htm"},
    {IDS_RAW_WINDOW_TOO_HIGH, "Invalid height of window being cut: \nexceeding overall file height"},
    {IDS_RAW_INPUT_SHORT, "The input file is shorter than described: missing samples set to 0."},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadRawString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
