#include "VarnokApp.h"

#include "platform/files/File.h"
#include "platform/resources/Splash.h"
#include "platform/resources/StringTable.h"
#include "VarnokModule.h"

int VarnokProcessAttach()
{
    plat::SendSplashNotice(1, "Varnok Module Initializing...");
    // A write past the file-size limit fails with an error and is cleaned up,
    // rather than ending the host program half-way.
    plat::IgnoreFileSizeSignal();
    // The library's string tables join the host's chain through their own static
    // registrations; nothing else needs keeping.
    return 1;
}

namespace {
const int kAttached = VarnokProcessAttach();
}  // namespace

std::string GetAppRegKey()
{
    return plat::LoadString(115, kVarnokModule);
}

std::string GetGeneralSettingsKey()
{
    return GetAppRegKey() + "\\Settings\\General";
}
