#include "QuorvexStrings.h"

#include "platform/windows/BarResources.h"
#include "platform/resources/StringTable.h"

// The host program's string table; the libraries find these first.
namespace {
const plat::StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About Quorvex..."},
    {IDS_UNABLE_LOAD_3D, "Unable load 3D Viwer"},
    {IDS_HELP_TOPIC, "default.htm"},
    {IDS_SELECT_TEMP_FOLDER, "Select TEMP FOLDER name"},
    {IDS_SELECT_WORK_FOLDER, "Select WORK FOLDER name"},
    {IDS_HELP_FILES, "Help Files"},
    {IDS_EXIT_QUESTION, "Exit Quorvex ?"},
    {IDS_CRASH_END, "After click button all processes will be closed."},
    {IDS_CRASH_BEGIN, "ERROR OCCURED"},
    {IDS_APP_KEY, "SOFTWARE\\Tolvek\\Quorvex"},
    {IDS_JOBS_RUNNING, "Some operations are still running.\nStop them and exit Quorvex ?"},
};
const plat::StringTableRegistration kRegistration(kQuorvexModule, kStrings, true);

using plat::MF_POPUP;

const plat::MenuEntry kMenuBar[] = {
    {0, 0, "File", MF_POPUP},
    {1, ID_FILE_OPEN, "Open"},
    {1, ID_FILE_3DVIEWER, "3D Viewer"},
    {1, ID_FILE_IMPORTEXPORT, "Import / Export"},
    {1, ID_EXIT, "Exit"},
    {0, 0, "Preferences", MF_POPUP},
    {1, ID_PREFERENCES_COMMON, "Common"},
    {0, 0, "?", MF_POPUP},
    {1, ID_HELP_CONTENTS, "Help"},
    {1, 0, nullptr},
    {1, ID_ABOUT, "About"},
};

const plat::MenuEntry kToolCategories[] = {
    {0, 0, "Files", MF_POPUP},
    {1, ID_FILES_VIEW, "View"},
    {1, ID_FILES_3DVIEWER, "3D Viewer"},
    {1, ID_FILES_IMPORTEXPORT, "Import Export"},
};

// The bitmap names of the categories; a category takes the item after its own position.
const plat::MenuEntry kToolBitmaps[] = {
    {0, ID_TOOL_MAIN, "MAIN"},
    {0, ID_TOOL_FILES, "FILES"},
};

const plat::MenuResource kMenus[] = {
    {IDR_MENU_BAR, kMenuBar, std::size(kMenuBar)},
    {IDR_TOOL_CATEGORIES, kToolCategories, std::size(kToolCategories)},
    {IDR_TOOL_BITMAPS, kToolBitmaps, std::size(kToolBitmaps)},
};
const plat::BarResourceRegistration kMenuRegistration(kQuorvexModule, kMenus, std::size(kMenus), nullptr, 0, true);
}  // namespace

void QuorvexRegisterStrings() {}
