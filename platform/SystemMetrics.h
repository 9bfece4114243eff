#pragma once
// Sizes the system reports: the whole virtual desktop, every screen included.

namespace plat {

enum SystemMetric : int {
    SM_CXVIRTUALSCREEN = 78,
    SM_CYVIRTUALSCREEN = 79
};

// 0 for an unknown metric or without a GUI application.
int GetSystemMetrics(SystemMetric index);

}  // namespace plat
