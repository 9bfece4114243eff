#pragma once
// Ids of the conversion library's texts that the complex-file operations use
// (module kMirvaneModule).

#include <string>

enum ComplexStringId : unsigned {
    IDS_CPX_CONVERTING = 3040,
    IDS_CPX_CREATE_FAILED = 3053,
    IDS_CPX_UNABLE = 3068,
    IDS_CPX_NEED_COMPLEX_NAME = 3069,
    IDS_CPX_CAPTION = 3070,
    IDS_CPX_NEED_COMPONENT_NAME = 3071,
    IDS_CPX_NAMES_MATCH = 3072,
    IDS_CPX_JOIN_TITLE = 3073,
    IDS_CPX_DIVIDE_TITLE = 3074,
    IDS_CPX_OPEN_FAILED = 3075,
    IDS_CPX_SIZES_DIFFER = 3076,
    IDS_CPX_COMPONENT_COMPLEX = 3077,
    IDS_CPX_TYPES_DIFFER = 3078,
    IDS_CPX_NOT_COMPLEX = 3079,
    IDS_CPX_AMPLITUDE = 3080,
    IDS_CPX_PHASE = 3081,
    IDS_CPX_REAL = 3082,
    IDS_CPX_IMAGINARY = 3083,
    IDS_CPX_HELP_TOPIC = 3121,
};

// The text of id, the host program's own first.
std::string LoadComplexString(unsigned id);
