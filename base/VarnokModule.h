#pragma once
// Name under which the base library registers its resources.
inline constexpr const char* kVarnokModule = "Varnok";
