#pragma once
// Sizes the system reports: the whole virtual desktop, every screen included, the
// height of a menu bar line and the size of a large icon.

namespace plat {

enum SystemMetric : int {
    SM_CXICON = 11,
    SM_CYICON = 12,
    SM_CYMENU = 15,
    SM_CXVIRTUALSCREEN = 78,
    SM_CYVIRTUALSCREEN = 79
};

// 0 for an unknown metric or without a GUI application.
int GetSystemMetrics(SystemMetric index);

}  // namespace plat
