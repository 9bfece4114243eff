#pragma once
// Ids of the conversion library's texts that the ASCII import and export use
// (module kMirvaneModule).

#include <string>

enum AsciiStringId : unsigned {
    IDS_ASCII_CREATE_FAILED = 3053,
    IDS_ASCII_OPEN_FAILED = 3075,
    IDS_ASCII_EXPORT_TITLE = 3084,
    IDS_ASCII_WRITING_RASTER = 3085,
    IDS_ASCII_DIFFERENT_COLUMNS = 3116,
    IDS_ASCII_HELP_TOPIC = 3122,
};

// The text of id, the host program's own first.
std::string LoadAsciiString(unsigned id);
