#pragma once
// Start-up of the base library and the application's settings key.

#include <string>

// What the library does when a process loads it; always succeeds (1).
int VarnokProcessAttach();

// The application key: the host program's string 115 ("SOFTWARE\Tolvek\Quorvex" in
// the shell); empty when no module has that string.
std::string GetAppRegKey();

// The key of the general settings ("HelpFile", "TempDir", "WorkDir").
std::string GetGeneralSettingsKey();
