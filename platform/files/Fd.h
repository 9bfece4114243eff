#pragma once
// A descriptor closed on every way out of a scope.

#include <unistd.h>

namespace plat {

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace plat
