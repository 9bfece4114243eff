#include "platform/threads/ThreadNice.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace plat {

int CurrentThreadId()
{
    return int(gettid());
}

int ProcessNice()
{
    return ThreadNice(int(getpid())).value_or(0);
}

std::optional<int> ThreadNice(int tid)
{
    // -1 is a valid nice value, so only errno tells a failure.
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, id_t(tid));
    if (errno != 0)
        return std::nullopt;
    return nice;
}

bool SetThreadNice(int tid, int nice)
{
    return setpriority(PRIO_PROCESS, id_t(tid), std::clamp(nice, -20, 19)) == 0;
}

}  // namespace plat
