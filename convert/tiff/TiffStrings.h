#pragma once
// Ids of the conversion library's texts that the TIFF import uses (module kMirvaneModule).

#include <string>

enum TiffStringId : unsigned {
    IDS_TIFF_CREATE_FAILED = 3053,
    IDS_TIFF_BAD_WINDOW = 3061,
    IDS_TIFF_OPEN_FAILED = 3075,
    IDS_TIFF_UNSUPPORTED = 3091,
    IDS_TIFF_CAPTION = 3096,
    IDS_TIFF_UNDEFINED = 3097,
    IDS_TIFF_INVALID = 3098,
    IDS_TIFF_UNKNOWN_TYPE = 3099,
    IDS_TIFF_UNKNOWN_ERROR = 3117,
    IDS_TIFF_WRITING_PALETTE = 3118,
    IDS_TIFF_HELP_TOPIC = 3123,
    IDS_TIFF_LZW_QUESTION = 3126,
};

// The text of id, the host program's own first.
std::string LoadTiffString(unsigned id);
