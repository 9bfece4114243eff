#pragma once
// The viewer library's menus and tool bars (module kPellionModule).

enum ViewerBarId : unsigned {
    IDR_VIEWER_MENU = 230,
    IDR_VIEWRECT_MENU = 232,  // the image window's context menu
    IDR_VIEWER_TOOLBAR = 234,
    IDR_MENU_IMAGES = 239,  // the images beside the menu commands
};

// Commands of the viewer's menu, tool bar and context menu.
enum ViewerCommand : unsigned {
    ID_MENU_OPEN_TRUECOLOR = 32771,
    ID_MENU_SAVEAS = 32772,
    ID_MENU_HELP = 32773,
    ID_MENU_FRAME = 34773,
    ID_MENU_ADJUST = 34774,
    ID_VR_CM_FIT = 34775,
    ID_VR_CM_REAL_SCALE = 34776,
    ID_MENU_OPEN = 34777,
    ID_VR_CM_INC_SCALE = 34778,
    ID_VR_CM_DEC_SCALE = 34782,
    ID_VR_CM_SAVE_SELECTION = 34783,
    ID_BUTTON_LOAD_RGB = 34784,
    ID_MENU_PALETTE = 34786,
    ID_BUTTON_ARROW = 34793,
    ID_BUTTON_PLUS = 34794,
    ID_BUTTON_MINUS = 34795,
    ID_BUTTON_HIST = 34797,
    ID_BUTTON_FIT = 34813,
    ID_BUTTON_LOAD = 34816,
    ID_BUTTON_REAL_SCALE = 34820,
    ID_BUTTON_SREZ_X = 34821,
    ID_MENU_ZOOM_OUT = 34833,
    ID_MENU_ZOOM_IN = 34834,
    ID_MENU_DEFAULT_ZOOM = 34835,
    ID_MENU_FIT = 34836,
    ID_MENU_CENTER = 34837,
    ID_MENU_STATISTICS = 34838,
    ID_MENU_PROFILE_X = 34839,
    ID_MENU_CLOSE = 34841,
    ID_BUTTON_ADJUST = 34842,
    ID_BUTTON_SREZ_Y = 34848,
    ID_MENU_PROFILE_Y = 34849,
    ID_MENU_EQUALIZE = 34850,
    ID_BUTTON_CLOSE = 34854,
    ID_BUTTON_MARK = 34860,
    ID_BUTTON_POINTER = 34861,
};
