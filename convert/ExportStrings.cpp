#include "ExportStrings.h"

#include "MirvaneModule.h"
#include "platform/resources/StringTable.h"

namespace {

// 3053, 3075, 3091 and 3117 come with the TIFF import's table.
const plat::StringEntry kStrings[] = {
    {IDS_EXP_WRITING_RASTER, "Writing raster"},
    {IDS_EXP_RAW_TITLE, "Export into RAW"},
    {IDS_EXP_SAVING_INFO, "Saving information"},
    {IDS_EXP_TIFF_TITLE, "Export into TIFF"},
    {IDS_EXP_PREPARING, "Preparing data"},
    {IDS_EXP_WRITING_PARAMS, "Writing parameters"},
};
const plat::StringTableRegistration kRegistration(kMirvaneModule, kStrings);

}  // namespace

std::string LoadExportString(unsigned id)
{
    return plat::LoadString(id, kMirvaneModule);
}
