#pragma once
// Start-up notices for a splash window. The suite creates none and none is looked
// for on this system, so a notice goes nowhere unless a test listens.

#include <functional>
#include <string>

class QWidget;

namespace plat {

// code 1 marks a progress notice, 0 the end of start-up; sender is the window that
// sends the last notice (null otherwise). Answers whether anyone received it.
bool SendSplashNotice(unsigned long code, const std::string& text, QWidget* sender = nullptr);

// Tests install a listener in place of a splash window; returns the previous one.
using SplashListener = std::function<void(unsigned long code, const std::string& text, QWidget* sender)>;
SplashListener SetSplashListener(SplashListener listener);

}  // namespace plat
