#include "platform/resources/Splash.h"

#include "platform/resources/Hook.h"

namespace plat {
namespace {

Hook<SplashListener>& Listener()
{
    static Hook<SplashListener> listener;
    return listener;
}

}  // namespace

SplashListener SetSplashListener(SplashListener listener)
{
    return Listener().Set(std::move(listener));
}

bool SendSplashNotice(unsigned long code, const std::string& text, QWidget* sender)
{
    const SplashListener listener = Listener().Get();
    if (!listener)
        return false;
    listener(code, text, sender);
    return true;
}

}  // namespace plat
