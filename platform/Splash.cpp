#include "Splash.h"

#include <mutex>

namespace plat {
namespace {

std::mutex& Lock()
{
    static std::mutex m;
    return m;
}

SplashListener& Listener()
{
    static SplashListener listener;
    return listener;
}

}  // namespace

SplashListener SetSplashListener(SplashListener listener)
{
    std::lock_guard<std::mutex> g(Lock());
    std::swap(Listener(), listener);
    return listener;
}

bool SendSplashNotice(unsigned long code, const std::string& text, QWidget* sender)
{
    SplashListener listener;
    {
        std::lock_guard<std::mutex> g(Lock());
        listener = Listener();
    }
    if (!listener)
        return false;
    listener(code, text, sender);
    return true;
}

}  // namespace plat
