#pragma once
// Ids of the conversion library's texts that the bitmap import uses (module kMirvaneModule).

#include <string>

enum BmpStringId : unsigned {
    IDS_BMP_CREATE_FAILED = 3053,
    IDS_BMP_OPEN_FAILED = 3075,
    IDS_BMP_WRITING_RASTER = 3085,
    IDS_BMP_UNSUPPORTED = 3091,
    IDS_BMP_INVALID = 3098,
    IDS_BMP_CAPTION = 3125,
};

// The text of id, the host program's own first.
std::string LoadBmpString(unsigned id);
