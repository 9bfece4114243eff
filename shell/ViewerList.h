#pragma once
// The open image viewers as the main window learns of them from their notices
// (WM_USER+500): code 5 a viewer was created, code 1 a viewer was closed.

#include <cstdint>
#include <vector>

class CViewerList final {
public:
    using Viewer = std::uintptr_t;

    enum : long {
        kClosed = 1,
        kReady = 2,
        kFailed = 3,
        kCreated = 5,
    };

    // Applies one notice; other codes change nothing.
    void Notify(Viewer viewer, long code);
    const std::vector<Viewer>& Viewers() const { return m_viewers; }
    bool Contains(Viewer viewer) const;

private:
    std::vector<Viewer> m_viewers;  // in order of creation; not owned
};
