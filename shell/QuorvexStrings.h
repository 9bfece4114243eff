#pragma once
// Ids of the shell's strings and resources.

enum : unsigned {
    IDS_ABOUTBOX = 101,
    IDS_UNABLE_LOAD_3D = 102,
    IDS_HELP_TOPIC = 104,
    IDS_SELECT_TEMP_FOLDER = 105,
    IDS_SELECT_WORK_FOLDER = 106,
    IDS_HELP_FILES = 107,
    IDS_EXIT_QUESTION = 108,
    IDS_CRASH_END = 109,
    IDS_CRASH_BEGIN = 113,
    IDS_APP_KEY = 115,
    IDS_JOBS_RUNNING = 180,
};

enum : unsigned {
    IDD_QUORVEX_DIALOG = 102,
    IDR_MAINFRAME = 128,
    IDR_MENU_BAR = 151,
    IDR_TOOL_CATEGORIES = 163,
    IDR_TOOL_BITMAPS = 164,
};

// Control ids of the bars' scroll arrows.
enum : unsigned {
    IDC_MENU_LEFT = 141,
    IDC_MENU_RIGHT = 142,
    IDC_TOOL_LEFT = 143,
    IDC_TOOL_RIGHT = 144,
};

// Commands of the menu bar and the tool bar.
enum : unsigned {
    ID_FILE_IMPORTEXPORT = 32771,
    ID_ABOUT = 32772,
    ID_FILE_OPEN = 32777,
    ID_FILE_3DVIEWER = 32793,
    ID_HELP_CONTENTS = 32795,
    ID_TOOL_MAIN = 32830,
    ID_TOOL_FILES = 32831,
    ID_FILES_VIEW = 32843,
    ID_FILES_3DVIEWER = 32844,
    ID_FILES_IMPORTEXPORT = 32845,
    ID_PREFERENCES_COMMON = 32889,
    ID_EXIT = 32896,
};

// The system menu's About item.
inline constexpr unsigned IDM_ABOUTBOX = 16;

// The shell's module name for string and menu look-ups.
inline constexpr const char* kQuorvexModule = "Quorvex";

// Referenced from the start-up so the linker keeps the resource units.
void QuorvexRegisterStrings();
