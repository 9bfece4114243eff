#pragma once
// Ids of the conversion library's texts that the CEOS import uses (module kMirvaneModule).

#include <string>

enum CeosStringId : unsigned {
    IDS_CEOS_GEO_PARAMS = 3050,
    IDS_CEOS_ORBIT_PARAMS = 3051,
    IDS_CEOS_CREATE_FAILED = 3053,
    IDS_CEOS_BAD_WINDOW = 3061,
    IDS_CEOS_CANNOT_SHOW_INFO = 3063,
    IDS_CEOS_OPEN_FAILED = 3075,
    IDS_CEOS_UNSUPPORTED = 3091,
    IDS_CEOS_CANNOT_SHOW_DIALOG = 3092,
    IDS_CEOS_UNCOMPRESSING = 3093,
    IDS_CEOS_INVALID = 3098,
};

// The text of id, the host program's own first.
std::string LoadCeosString(unsigned id);
