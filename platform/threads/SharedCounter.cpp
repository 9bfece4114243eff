#include "platform/threads/SharedCounter.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

// A folder only this user can reach, so nobody else can plant or read the counter.
std::string RuntimeFolder()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0)
        return {};
    return dir;
}

namespace {

bool FullIo(ssize_t (*io)(int, void*, size_t, off_t), int fd, unsigned char* buf, size_t n, size_t* done)
{
    *done = 0;
    while (*done < n) {
        ssize_t r = io(fd, buf + *done, n - *done, static_cast<off_t>(*done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return r == 0;
        *done += static_cast<size_t>(r);
    }
    return true;
}

ssize_t Write(int fd, void* buf, size_t n, off_t off)
{
    return pwrite(fd, buf, n, off);
}

}  // namespace

std::uint64_t NextSharedCount(const char* name)
{
    static std::atomic<std::uint64_t> local{0};

    const std::string folder = RuntimeFolder();
    if (folder.empty())
        return ++local;
    const std::string path = folder + "/" + name;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return ++local;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            return ++local;
        }
    }
    unsigned char buf[8] = {};
    size_t got = 0;
    std::uint64_t value = 0;
    if (FullIo(pread, fd, buf, sizeof buf, &got)) {
        // A short or missing count reads as its bytes so far, the rest zero.
        for (int i = 7; i >= 0; --i)
            value = (value << 8) | buf[i];
    }
    ++value;
    for (int i = 0; i < 8; ++i)
        buf[i] = static_cast<unsigned char>(value >> (8 * i));
    size_t put = 0;
    const bool stored = FullIo(Write, fd, buf, sizeof buf, &put) && put == sizeof buf;
    close(fd);  // releases the lock
    if (!stored)
        return ++local;
    return value;
}

}  // namespace plat
