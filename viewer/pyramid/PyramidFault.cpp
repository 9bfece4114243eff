#include "pyramid/PyramidFault.h"

#include "GuardedCall.h"

int GuardPyramidCall(const std::function<int()>& fn)
{
    return GuardedViewerCall("Error !", fn, true);
}
