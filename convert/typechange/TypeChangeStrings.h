#pragma once
// Ids of the conversion library's texts that the sample-type change uses
// (module kMirvaneModule).

#include <string>

enum TypeChangeStringId : unsigned {
    IDS_TC_CREATE_FAILED = 3053,
    IDS_TC_OPEN_FAILED = 3075,
    IDS_TC_MIN_BELOW = 3101,
    IDS_TC_MIN_ABOVE = 3102,
    IDS_TC_MAX_BELOW = 3103,
    IDS_TC_MAX_ABOVE = 3104,
    IDS_TC_NAMES_EQUAL = 3105,
    IDS_TC_MIN_EXCEEDS_MAX = 3106,
    IDS_TC_INVALID_MIN_MAX = 3107,
    IDS_TC_TITLE = 3108,
    IDS_TC_TIP_INPUT = 3109,
    IDS_TC_TIP_OUTPUT = 3110,
    IDS_TC_TIP_TYPE = 3111,
    IDS_TC_TIP_MIN = 3113,
    IDS_TC_TIP_MAX = 3114,
    IDS_TC_HELP_TOPIC = 3124,
};

// The text of id, the host program's own first.
std::string LoadTypeChangeString(unsigned id);
