#include "settings/HelpSystem.h"

#include <string>

#include "platform/resources/DesktopOpen.h"
#include "platform/files/ProgramFolder.h"
#include "VarnokApp.h"
#include "settings/SNRegKey.h"

int CallHelpSystem(QWidget* wnd, const char* topic)
{
    std::string helpFile;
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
        key.GetStringValue(helpFile, "HelpFile");
    if (helpFile.empty())
        helpFile = "Velmora.chm";
    if (helpFile.find('/') == std::string::npos)
        helpFile = plat::ProgramFolder() + "/" + helpFile;
    return plat::OpenWithDesktop(helpFile) ? 1 : 0;
}
