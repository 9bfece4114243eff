#include "ViewerStrings.h"

#include "PellionModule.h"
#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kStrings[] = {
    {IDS_TYPE_UNSIGNED, "Unsigned integer"},
    {IDS_TYPE_SIGNED, "Signed integer"},
    {IDS_TYPE_FLOAT, "Float"},
    {IDS_TYPE_COMPLEX_FLOAT, "Complex float"},
    {IDS_BUILDING_HISTOGRAM, "Building histogram ..."},
    {IDS_TYPE_COMPLEX_UNSIGNED, "Complex unsigned integer"},
    {IDS_TYPE_COMPLEX_SIGNED, "Complex signed integer"},
    {IDS_SIZE_8, "8 bits"},
    {IDS_SIZE_16, "16 bits"},
    {IDS_SIZE_32, "32 bits"},
    {IDS_SIZE_64, "64 bits"},
    {IDS_SIZE_128, "128 bits"},
    {IDS_PREPARING_RASTER, "Preparing raster ..."},
    {IDS_ERROR_CREATING_FILE, "Error creating file !"},
    {IDS_VIEWER_TITLE, "Viewer: File not found"},
    {IDS_ERROR_OPENING_FILE, "Error opening file !"},
    {IDS_PROFILE_ALONG_X, "Profile along X axis with Y="},
    {IDS_PROFILE_ALONG_Y, "Profile along Y axis with X="},
    {IDS_SAVING_SEGMENT, "Saving segment ..."},
    {IDS_LONGITUDE, "Longitude:"},
    {IDS_LATITUDE, "Latitude:"},
    {IDS_HELP_TOPIC, "2d_viewer.htm"},
    {IDS_FILES_NOT_SAME_SIZE, "Files must be of the same size"},
    {IDS_HISTOGRAM_LEVEL, "Level"},
    {IDS_HISTOGRAM_COUNT, "Count"},
    {IDS_ENTER_FILE_NAMES, "Enter file names !"},
    {IDS_PALETTE_INDEX, "Index"},
    {IDS_PALETTE_COLOR, "Color"},
    {IDS_CHANNEL_RED, "Red"},
    {IDS_CHANNEL_GREEN, "Green"},
    {IDS_CHANNEL_BLUE, "Blue"},
};
const plat::StringTableRegistration kRegistration(kPellionModule, kStrings);

}  // namespace

std::string LoadViewerString(unsigned id)
{
    return plat::LoadString(id, kPellionModule);
}
