#pragma once
// Ids of the texts of the TIFF and raw exports and their options sheet (module kMirvaneModule).

#include <string>

enum ExportStringId : unsigned {
    IDS_EXP_CREATE_FAILED = 3053,
    IDS_EXP_OPEN_FAILED = 3075,
    IDS_EXP_WRITING_RASTER = 3085,
    IDS_EXP_RAW_TITLE = 3086,
    IDS_EXP_SAVING_INFO = 3087,
    IDS_EXP_TIFF_TITLE = 3088,
    IDS_EXP_PREPARING = 3089,
    IDS_EXP_WRITING_PARAMS = 3090,
    IDS_EXP_UNSUPPORTED = 3091,
    IDS_EXP_UNKNOWN_ERROR = 3117,
};

std::string LoadExportString(unsigned id);
