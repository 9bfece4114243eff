#include "complex/ComplexStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_CPX_CONVERTING, "Convertinig..."},
    {IDS_CPX_CREATE_FAILED, "Unable to create the output file"},
    {IDS_CPX_UNABLE, "Unable to complete the operation"},
    {IDS_CPX_NEED_COMPLEX_NAME, "It is neccesary to input complex file name"},
    {IDS_CPX_CAPTION, "Operation with complex files"},
    {IDS_CPX_NEED_COMPONENT_NAME, "It is neccesary to input component file name"},
    {IDS_CPX_NAMES_MATCH, "File names shouldn't match"},
    {IDS_CPX_JOIN_TITLE, "Creating Complex file"},
    {IDS_CPX_DIVIDE_TITLE, "Division of Complex file"},
    {IDS_CPX_OPEN_FAILED, "Unable to open file"},
    {IDS_CPX_SIZES_DIFFER, "Size of input files should be equal"},
    {IDS_CPX_COMPONENT_COMPLEX, "Components of complex files must not be complex"},
    {IDS_CPX_TYPES_DIFFER, "Data type of components should be equal"},
    {IDS_CPX_NOT_COMPLEX, "The file being divided should be Complex"},
    {IDS_CPX_AMPLITUDE, "Amplitude"},
    {IDS_CPX_PHASE, "Phase"},
    {IDS_CPX_REAL, "Real"},
    {IDS_CPX_IMAGINARY, "Imaginary"},
    {IDS_CPX_HELP_TOPIC, "complex_data_util.HTM"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadComplexString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
