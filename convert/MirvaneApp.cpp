#include "MirvaneApp.h"

#include "platform/resources/Splash.h"

int MirvaneProcessAttach()
{
    plat::SendSplashNotice(1, "Mirvane Module Initializing...");
    // The library's string tables join the host's chain through their own static
    // registrations; nothing else needs keeping.
    return 1;
}

namespace {
const int kAttached = MirvaneProcessAttach();
}  // namespace
