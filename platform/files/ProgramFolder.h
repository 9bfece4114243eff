#pragma once
// Where the running program lies: the programs and files of the suite sit beside it.

#include <string>

namespace plat {

// The folder of the running program's file, without a trailing '/' ("/" at the root,
// "." when it cannot be read).
std::string ProgramFolder();

}  // namespace plat
