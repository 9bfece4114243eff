#include "platform/files/ProgramFolder.h"

#include <climits>

#include <unistd.h>

namespace plat {

std::string ProgramFolder()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    const std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace plat
