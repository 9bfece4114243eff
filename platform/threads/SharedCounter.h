#pragma once
// A counter shared by every process of the user: a small file in the user's runtime
// folder ($XDG_RUNTIME_DIR, else a private folder /tmp/runtime-<uid>), read and
// incremented under an exclusive lock. It starts at 0 when the runtime folder is
// new (after a fresh log-in) and only grows.

#include <cstdint>
#include <string>

namespace plat {

// Adds 1 to the counter called name and answers the new value. When the file cannot
// be used the count goes on in this process alone, so callers must still guard
// against clashes themselves.
std::uint64_t NextSharedCount(const char* name);

// The user's runtime folder; empty when there is none this user alone may use.
std::string RuntimeFolder();

}  // namespace plat
