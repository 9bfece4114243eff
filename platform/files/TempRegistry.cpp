#include "platform/files/TempRegistry.h"

#include "platform/files/Fd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace plat {

namespace {

struct Entry {
    long long pid = 0;
    unsigned long long start = 0;  // the writer's start time, in clock ticks after boot
    std::string path;
};

std::string StateFolder()
{
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return {};
    return std::string(home) + "/.local/state";
}

// Makes folder and its parents, private where it makes them.
bool MakeFolders(const std::string& folder)
{
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/')
            continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Field 22 of /proc/<pid>/stat; 0 when it cannot be read.
unsigned long long StartTime(long long pid)
{
    Fd fd(::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0)
        return 0;
    char buf[1024];
    const ssize_t n = ::read(fd.fd, buf, sizeof buf - 1);
    if (n <= 0)
        return 0;
    buf[n] = 0;
    // The command name may hold spaces and parentheses: fields follow the last ')'.
    const char* p = std::strrchr(buf, ')');
    if (p == nullptr)
        return 0;
    std::istringstream fields(p + 1);
    std::string field;
    for (int i = 3; i <= 22; ++i) {
        if (!(fields >> field))
            return 0;
    }
    return std::strtoull(field.c_str(), nullptr, 10);
}

bool WriterAlive(const Entry& e)
{
    if (e.pid <= 0)
        return false;
    if (::kill(pid_t(e.pid), 0) != 0 && errno == ESRCH)
        return false;
    // The process id may have been given to another process since.
    const unsigned long long start = StartTime(e.pid);
    return start == 0 || e.start == 0 || start == e.start;
}

std::vector<Entry> Parse(const std::string& text)
{
    std::vector<Entry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        Entry e;
        if (!(in >> e.pid >> e.start))
            continue;
        if (in.get() != ' ')
            continue;
        std::getline(in, e.path);
        if (!e.path.empty() && e.path[0] == '/')
            entries.push_back(std::move(e));
    }
    return entries;
}

std::string Format(const std::vector<Entry>& entries)
{
    std::string text;
    for (const Entry& e : entries)
        text += std::to_string(e.pid) + " " + std::to_string(e.start) + " " + e.path + "\n";
    return text;
}

// Runs edit over the list under an exclusive lock; edit answers whether it changed it.
template <class Edit>
void EditList(Edit&& edit)
{
    const std::string list = TemporariesListPath();
    if (list.empty() || !MakeFolders(list.substr(0, list.rfind('/'))))
        return;
    Fd fd(::open(list.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.fd < 0)
        return;
    while (::flock(fd.fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return;
    }
    std::string text;
    char buf[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd.fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
        at += n;
    }
    std::vector<Entry> entries = Parse(text);
    if (!edit(entries))
        return;
    const std::string out = Format(entries);
    if (::ftruncate(fd.fd, 0) != 0)
        return;
    for (size_t done = 0; done < out.size();) {
        const ssize_t n = ::pwrite(fd.fd, out.data() + done, out.size() - done, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

// The absolute form of path, for a list that any working folder reads.
std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    std::vector<char> cwd(4096);
    if (::getcwd(cwd.data(), cwd.size()) == nullptr)
        return {};
    return std::string(cwd.data()) + "/" + path;
}

}  // namespace

std::string TemporariesListPath()
{
    const std::string state = StateFolder();
    return state.empty() ? std::string() : state + "/Tolvek/temporaries";
}

void RecordTemporary(const std::string& path)
{
    const std::string full = Absolute(path);
    struct stat st {};
    if (full.empty() || full.find('\n') != std::string::npos || ::lstat(full.c_str(), &st) != 0)
        return;
    Entry e;
    e.pid = ::getpid();
    e.start = StartTime(e.pid);
    e.path = full;
    EditList([&](std::vector<Entry>& entries) {
        entries.push_back(e);
        return true;
    });
}

void ForgetTemporary(const std::string& path)
{
    const std::string full = Absolute(path);
    if (full.empty())
        return;
    const long long self = ::getpid();
    EditList([&](std::vector<Entry>& entries) {
        const size_t before = entries.size();
        std::erase_if(entries, [&](const Entry& e) { return e.pid == self && e.path == full; });
        return entries.size() != before;
    });
}

int RemoveOrphanedTemporaries()
{
    int removed = 0;
    EditList([&](std::vector<Entry>& entries) {
        std::vector<bool> alive(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            alive[i] = WriterAlive(entries[i]);
        std::vector<Entry> kept;
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            if (alive[i]) {
                kept.push_back(e);
                continue;
            }
            bool claimed = false;
            for (size_t k = 0; k < entries.size(); ++k)
                claimed = claimed || (alive[k] && entries[k].path == e.path);
            struct stat st {};
            if (!claimed && ::lstat(e.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
                ::unlink(e.path.c_str()) == 0)
                ++removed;
        }
        const bool changed = kept.size() != entries.size();
        entries = std::move(kept);
        return changed;
    });
    return removed;
}

}  // namespace plat
