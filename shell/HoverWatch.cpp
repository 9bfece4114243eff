#include "HoverWatch.h"

#include <utility>

CHoverWatch::Control CHoverWatch::Hover(Control control)
{
    const Control previous = std::exchange(m_control, control);
    return previous != control ? previous : 0;
}

CHoverWatch::Control CHoverWatch::Check(bool cursorInsideRecorded)
{
    if (m_control == 0 || cursorInsideRecorded)
        return 0;
    return std::exchange(m_control, 0);
}
