#pragma once
// The viewer library's fault guards: a fault or an exception inside a guarded call is
// reported in a system-modal box without owner, under the guard's own caption, with the
// fault code's name as its text (empty for a framework exception).

#include <functional>
#include <optional>

// Runs fn and returns its result, or 0 after the report. passCancel lets the meter's
// cancel leave as the cancel exception instead.
int GuardedViewerCall(const char* caption, const std::function<int()>& fn, bool passCancel = false);

// As above, but an exception that carries a text of its own shows that text (a fault
// still shows its code's name), and a report answers nothing, so the caller can tell
// it from a result of 0.
std::optional<int> GuardedViewerCallWithText(const char* caption, const std::function<int()>& fn);
