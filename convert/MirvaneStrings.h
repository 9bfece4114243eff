#pragma once
// Ids of the conversion library's own texts used by its front end (module kMirvaneModule).

#include <string>

enum MirvaneStringId : unsigned {
    IDS_ADVANCED_OPTIONS = 3041,
    IDS_SELECT_INPUT = 3042,
    IDS_CONVERSION_CAPTION = 3043,
    IDS_SELECT_OUTPUT = 3044,
    IDS_NAMES_EMPTY = 3045,
    IDS_INPUT_NOT_FOUND = 3046,
    IDS_FILE_WITH_NAME = 3047,
    IDS_ALREADY_EXISTS = 3048,
    IDS_REPLACE_IT = 3049,
    IDS_UNIT_GB = 3064,
    IDS_UNIT_MB = 3065,
    IDS_UNIT_KB = 3066,
    IDS_UNIT_BYTE = 3067,
    IDS_CANNOT_SHOW_DIALOG = 3092,
    IDS_IMPEXP_HELP_TOPIC = 3119,
    IDS_FORMAT_NAME_FIRST = 3127,  // nine format names, in format-code order
};

// The text of id, the host program's own first.
std::string LoadMirvaneString(unsigned id);
