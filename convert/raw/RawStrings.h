#pragma once
// Ids of the conversion library's texts that the raw import uses (module kMirvaneModule).

#include <string>

enum RawStringId : unsigned {
    IDS_RAW_IMPORT_SUCCESSFUL = 3036,
    IDS_RAW_IMPORTING_BREAK = 3037,
    IDS_RAW_DATA_CONVERSION = 3052,
    IDS_RAW_CREATE_FAILED = 3053,
    IDS_RAW_NEED_IMAGE_WIDTH = 3054,
    IDS_RAW_NEED_WINDOW_WIDTH = 3055,
    IDS_RAW_NEED_WINDOW_HEIGHT = 3056,
    IDS_RAW_BAD_RECORD_LENGTH = 3057,
    IDS_RAW_WINDOW_TOO_WIDE = 3058,
    IDS_RAW_WINDOW_X_OUTSIDE = 3059,
    IDS_RAW_CANNOT_OPEN_VIEWER = 3060,
    IDS_RAW_SENSELESS = 3094,
    IDS_RAW_BAD_RATE = 3095,
    IDS_RAW_HELP_TOPIC = 3120,
    IDS_RAW_WINDOW_TOO_HIGH = 3260,
    IDS_RAW_INPUT_SHORT = 3261,
};

// The text of id, the host program's own first.
std::string LoadRawString(unsigned id);
