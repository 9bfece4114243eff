#pragma once
// Scratch files and integrity checks shared by the fuzz targets. A failed check
// is a finding: it prints what broke and aborts, so libFuzzer keeps the input.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzsupport {

// A private file in TMPDIR (default /tmp), made once per process; suffix is kept
// as the name's end so look-ups by extension see it.
inline std::string ScratchName(const char* stem)
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/" + stem + "_XXXXXX";
    char* made = mkdtemp(pattern.data());
    if (made == nullptr)
        abort();
    return pattern;
}

inline void WriteFile(const std::string& path, const void* data, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        abort();
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n <= 0)
            abort();
        done += size_t(n);
    }
    close(fd);
}

// Read straight into a block of the file's size (one more byte tells a file that
// grew meanwhile, which is then read on to its end).
inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> out;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return out;
    struct stat st {};
    out.resize(fstat(fd, &st) == 0 && st.st_size > 0 ? size_t(st.st_size) + 1 : 4096);
    size_t done = 0;
    for (;;) {
        if (done == out.size())
            out.resize(out.size() * 2);
        const ssize_t n = read(fd, out.data() + done, out.size() - done);
        if (n <= 0)
            break;
        done += size_t(n);
    }
    close(fd);
    out.resize(done);
    return out;
}

// The step of the target that runs, named in a failure's message.
inline const char* g_step = "";

// Choices taken from the input itself, so that each input replays the same way.
struct Dice {
    uint32_t state;
    Dice(const uint8_t* data, size_t size) : state(2166136261u ^ uint32_t(size))
    {
        for (size_t i = size > 64 ? size - 64 : 0; i < size; ++i)
            state = (state ^ data[i]) * 16777619u;
    }
    uint32_t Next(uint32_t n)
    {
        state = state * 1103515245u + 12345u;
        return n ? (state >> 8) % n : 0;
    }
};

[[noreturn]] inline void Fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "INTEGRITY: %s (%s:%d) in step %s\n", what, file, line, g_step);
    std::fflush(stderr);
    abort();
}

}  // namespace fuzzsupport

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            ::fuzzsupport::Fail(#cond, __FILE__, __LINE__);                                                            \
    } while (0)
