#include "settings/HelpSystem.h"

#include <climits>
#include <string>

#include <unistd.h>

#include "DesktopOpen.h"
#include "VarnokApp.h"
#include "settings/SNRegKey.h"

namespace {

std::string ProgramFolder()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    const std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace

int CallHelpSystem(QWidget* wnd, const char* topic)
{
    std::string helpFile;
    CSNRegKey key;
    if (key.Open(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()))
        key.GetStringValue(helpFile, "HelpFile");
    if (helpFile.empty())
        helpFile = "Velmora.chm";
    if (helpFile.find('/') == std::string::npos)
        helpFile = ProgramFolder() + "/" + helpFile;
    return plat::OpenWithDesktop(helpFile) ? 1 : 0;
}
