#include "typechange/TypeChangeStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_TC_CREATE_FAILED, "Unable to create the output file"},
    {IDS_TC_OPEN_FAILED, "Unable to open file"},
    {IDS_TC_MIN_BELOW, "New min value less than \n possible value for this range"},
    {IDS_TC_MIN_ABOVE, "New min value more than \n possible value for this range"},
    {IDS_TC_MAX_BELOW, "New max value less than \n possible value for this range"},
    {IDS_TC_MAX_ABOVE, "New max value more than \n possible value for this range"},
    {IDS_TC_NAMES_EQUAL, "Input and Output names must not be equal"},
    {IDS_TC_MIN_EXCEEDS_MAX, "Min cannot exceed Max"},
    {IDS_TC_INVALID_MIN_MAX, "Invalid values of Min and Max"},
    {IDS_TC_TITLE, "File type conversion"},
    {IDS_TC_TIP_INPUT, "Select input file"},
    {IDS_TC_TIP_OUTPUT, "Select file to save the results"},
    {IDS_TC_TIP_TYPE, "New data type"},
    {IDS_TC_TIP_MIN, "New min"},
    {IDS_TC_TIP_MAX, "New max"},
    {IDS_TC_HELP_TOPIC, "change_type.HTM"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadTypeChangeString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
