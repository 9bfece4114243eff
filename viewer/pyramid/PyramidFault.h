#pragma once
// Fault guard of the display pyramid's attach and region extraction.

#include <functional>

// Runs fn and returns its result. The meter's cancel leaves as the cancel
// exception; any other exception is reported under the caption "Error !" and
// gives 0.
int GuardPyramidCall(const std::function<int()>& fn);
