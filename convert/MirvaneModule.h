#pragma once
// Name under which the conversion library registers its resources.
inline constexpr const char* kMirvaneModule = "Mirvane";
const char* MirvaneModuleName();
