#pragma once
// Which bar control has the mouse, so that a highlighted control returns to flat even
// when the mouse leaves the window too fast for the control to notice.

#include <cstdint>

class CHoverWatch final {
public:
    using Control = std::uintptr_t;  // 0: none

    // control reports the mouse over it: answers the control that must be told the
    // mouse left (the one recorded before, when another), and records control.
    Control Hover(Control control);
    // On a mouse move or a timer tick: when a control is recorded and the cursor lies
    // outside it, answers it (to be told) and forgets it; else 0.
    Control Check(bool cursorInsideRecorded);
    Control Recorded() const { return m_control; }
    void Forget() { m_control = 0; }

private:
    Control m_control = 0;
};
