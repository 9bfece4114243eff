#pragma once
// Draws into a back buffer the size of the target's clip box, in the target's
// coordinates, and copies the buffer to the target when it goes out of scope, so the
// target sees one finished picture.

#include "platform/paint/DeviceContext.h"

class CBufferedDC final : public plat::DeviceContext {
public:
    explicit CBufferedDC(plat::DeviceContext* target);
    ~CBufferedDC() override;

    // Bound to its target: neither copied nor moved.
    CBufferedDC(const CBufferedDC&) = delete;
    CBufferedDC& operator=(const CBufferedDC&) = delete;

private:
    plat::DeviceContext* m_target;
    plat::Rect m_rect;  // the target's clip box
    bool m_inUse = false;
};
