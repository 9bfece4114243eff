#include "bars/ViewerBars.h"

#include "platform/windows/BarResources.h"
#include "PellionModule.h"
#include "platform/resources/StringTable.h"

namespace {

#include "bars/art/toolbar234.xpm"
#include "bars/art/toolbar239.xpm"

using plat::MF_POPUP;

const plat::MenuEntry kViewerMenu[] = {
    {0, 0, "&File", MF_POPUP},
    {1, ID_MENU_OPEN, "&Open ..."},
    {1, ID_MENU_OPEN_TRUECOLOR, "Open &RGB..."},
    {1, ID_MENU_SAVEAS, "Save as .BMP"},
    {1, ID_MENU_CLOSE, "&Close"},
    {0, 0, "&Zoom", MF_POPUP},
    {1, ID_MENU_ZOOM_IN, "Zoom &in"},
    {1, ID_MENU_ZOOM_OUT, "Zoom &out"},
    {1, ID_MENU_DEFAULT_ZOOM, "&Default  zoom"},
    {1, ID_MENU_FIT, "&Fit in the window"},
    {0, 0, "&Image", MF_POPUP},
    {1, ID_MENU_CENTER, "&Center"},
    {1, ID_MENU_EQUALIZE, "&Equalize contrast"},
    {1, ID_MENU_ADJUST, "&Brightness / Contrast"},
    {1, ID_MENU_PALETTE, "&Palette"},
    {1, ID_MENU_FRAME, "&Frame selection"},
    {0, 0, "&Analysis", MF_POPUP},
    {1, ID_MENU_STATISTICS, "&Statistics"},
    {1, ID_MENU_PROFILE_X, "Profile along &X axis"},
    {1, ID_MENU_PROFILE_Y, "Profile along &Y axis"},
    {0, 0, "Help", MF_POPUP},
    {1, ID_MENU_HELP, "Help inquiry"},
};

const plat::MenuEntry kViewRectMenu[] = {
    {0, 0, "Image", MF_POPUP},
    {1, ID_VR_CM_INC_SCALE, "Zoom in"},
    {1, ID_VR_CM_DEC_SCALE, "Zoom out"},
    {1, ID_VR_CM_FIT, "Fit in the window"},
    {1, ID_VR_CM_REAL_SCALE, "1:1 Scale"},
    {1, ID_VR_CM_SAVE_SELECTION, "Save selection"},
};

const unsigned kViewerToolBar[] = {
    ID_BUTTON_LOAD,  ID_BUTTON_LOAD_RGB, ID_BUTTON_CLOSE,  ID_BUTTON_ARROW,  ID_BUTTON_PLUS,
    ID_BUTTON_MINUS, ID_BUTTON_SREZ_X,   ID_BUTTON_SREZ_Y, ID_BUTTON_FIT,    ID_BUTTON_REAL_SCALE,
    ID_BUTTON_HIST,  ID_BUTTON_POINTER,  ID_BUTTON_MARK,   ID_BUTTON_ADJUST,
};

// Each menu command with a tool-bar button, then the image window's context commands,
// in the order of the pictures in the strip.
const unsigned kMenuImages[] = {
    ID_MENU_OPEN,       ID_MENU_OPEN_TRUECOLOR, ID_MENU_CLOSE,     ID_MENU_CENTER,     ID_MENU_ZOOM_IN,
    ID_MENU_ZOOM_OUT,   ID_MENU_PROFILE_X,      ID_MENU_PROFILE_Y, ID_MENU_FIT,        ID_MENU_DEFAULT_ZOOM,
    ID_MENU_STATISTICS, ID_MENU_FRAME,          ID_MENU_ADJUST,    ID_VR_CM_INC_SCALE, ID_VR_CM_DEC_SCALE,
    ID_VR_CM_FIT,       ID_VR_CM_REAL_SCALE,
};

const plat::MenuResource kMenus[] = {
    {IDR_VIEWER_MENU, kViewerMenu, std::size(kViewerMenu)},
    {IDR_VIEWRECT_MENU, kViewRectMenu, std::size(kViewRectMenu)},
};

const plat::ToolBarResource kToolBars[] = {
    {IDR_VIEWER_TOOLBAR, 16, 15, kToolBar234Xpm, kViewerToolBar, std::size(kViewerToolBar)},
    {IDR_MENU_IMAGES, 16, 15, kToolBar239Xpm, kMenuImages, std::size(kMenuImages)},
};

// Tool tips: the text after "\n".
const plat::StringEntry kToolTips[] = {
    {ID_BUTTON_LOAD, "\nOpen file"},
    {ID_BUTTON_LOAD_RGB, "\nOpen RGB"},
    {ID_BUTTON_CLOSE, "\nClose file"},
    {ID_BUTTON_ARROW, "\nCenter"},
    {ID_BUTTON_PLUS, "\nZoom in"},
    {ID_BUTTON_MINUS, "\nZoom out"},
    {ID_BUTTON_SREZ_X, "\nProfile along X axis"},
    {ID_BUTTON_SREZ_Y, "\nProfile along Y axis"},
    {ID_BUTTON_FIT, "\nFit in the window"},
    {ID_BUTTON_REAL_SCALE, "\nDefault zoom"},
    {ID_BUTTON_HIST, "\nStatisticses"},
    {ID_BUTTON_POINTER, "\nInquire cursor"},
    {ID_BUTTON_MARK, "\nFrame selection"},
    {ID_BUTTON_ADJUST, "\nContrast/Brightness"},
};

const plat::BarResourceRegistration kBars(kPellionModule, kMenus, std::size(kMenus), kToolBars, std::size(kToolBars));
const plat::StringTableRegistration kTips(kPellionModule, kToolTips);

}  // namespace
