#pragma once
// Ids of the viewer library's string table (module kPellionModule).

#include <string>

enum ViewerStringId : unsigned {
    IDS_TYPE_UNSIGNED = 202,
    IDS_TYPE_SIGNED = 203,
    IDS_TYPE_FLOAT = 208,
    IDS_TYPE_COMPLEX_FLOAT = 210,
    IDS_BUILDING_HISTOGRAM = 213,
    IDS_TYPE_COMPLEX_UNSIGNED = 214,
    IDS_TYPE_COMPLEX_SIGNED = 215,
    IDS_SIZE_8 = 220,
    IDS_SIZE_16 = 221,
    IDS_SIZE_32 = 222,
    IDS_SIZE_64 = 223,
    IDS_SIZE_128 = 224,
    IDS_PREPARING_RASTER = 34864,
    IDS_ERROR_CREATING_FILE = 34867,
    IDS_VIEWER_TITLE = 34799,
    IDS_ERROR_OPENING_FILE = 34866,
    IDS_PROFILE_ALONG_X = 34879,
    IDS_PROFILE_ALONG_Y = 34880,
    IDS_SAVING_SEGMENT = 34881,
    IDS_LONGITUDE = 34882,
    IDS_LATITUDE = 34883,
    IDS_HELP_TOPIC = 34884,
    IDS_FILES_NOT_SAME_SIZE = 34885,
    IDS_ENTER_FILE_NAMES = 34888,
};

// The text of id, the host program's own first.
std::string LoadViewerString(unsigned id);
