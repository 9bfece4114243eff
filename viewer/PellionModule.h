#pragma once
// Name under which the viewer library registers its resources.
inline constexpr const char* kPellionModule = "Pellion";
const char* PellionModuleName();
