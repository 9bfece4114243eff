#pragma once
// Nice values of single threads (Linux schedules each thread with its own).
// The one place that reads or sets them.

#include <optional>

namespace plat {

// The kernel's id of the calling thread.
int CurrentThreadId();

// Nice value of the process (its main thread); 0 when it cannot be read.
int ProcessNice();

// Nice value of the thread tid; none when it cannot be read.
std::optional<int> ThreadNice(int tid);

// Sets the nice value of thread tid, clamped to -20 .. 19. False when the
// system refuses (a raise needs the privilege); the thread keeps its value.
bool SetThreadNice(int tid, int nice);

}  // namespace plat
