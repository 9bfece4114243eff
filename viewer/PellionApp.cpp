#include "PellionApp.h"

#include "platform/resources/Splash.h"

int PellionProcessAttach()
{
    plat::SendSplashNotice(1, "Pellion Module Initializing...");
    // The library's string tables, menus and tool bars join the host's chain through
    // their own static registrations; nothing else needs keeping.
    return 1;
}

namespace {
const int kAttached = PellionProcessAttach();
}  // namespace
