#pragma once
// Mesa's llvmpipe through OSMesa as the reference of the 3D benchmarks, where
// the machine has it (Debian libosmesa6-dev; CMake defines SUITE_HAVE_OSMESA
// for the benchmarks that name it). The drawing runs in a forked child, so
// that LP_NUM_THREADS takes effect for its screen; fork before the benchmark
// starts threads of its own.

#include <sched.h>

#include <algorithm>
#include <vector>

#ifdef SUITE_HAVE_OSMESA

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct LlvmpipeResult {
    double Seconds = 0;      // best frame
    std::int64_t Drawn = 0;  // pixels of the last frame other than the black background
};

// A Width x Height BGRA context on Threads rasteriser threads (0: none, all on
// the calling thread). Setup runs once; each of Frames frames clears colour
// and depth to black, runs Draw and reads the pixels back into memory. With
// Cpu >= 0 the child and all its threads run on that core alone.
inline bool RunLlvmpipe(int Width, int Height, int Threads, int Frames, const std::function<void()>& Setup,
                        const std::function<void()>& Draw, LlvmpipeResult& Out, int Cpu = -1)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::close(fds[0]);
        if (Cpu >= 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(Cpu, &set);
            if (::sched_setaffinity(0, sizeof set, &set) != 0)
                std::_Exit(4);
        }
        ::setenv("LP_NUM_THREADS", std::to_string(Threads).c_str(), 1);
        ::setenv("GALLIUM_DRIVER", "llvmpipe", 1);
        LlvmpipeResult r;
        r.Seconds = 1e30;
        OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_BGRA, 24, 0, 0, nullptr);
        std::vector<std::uint32_t> buffer(std::size_t(Width) * Height);
        std::vector<std::uint32_t> readBack(buffer.size());
        if (ctx == nullptr || !OSMesaMakeCurrent(ctx, buffer.data(), GL_UNSIGNED_BYTE, Width, Height))
            std::_Exit(2);
        glViewport(0, 0, Width, Height);
        glClearColor(0, 0, 0, 0);
        Setup();
        for (int f = 0; f < Frames; ++f) {
            const auto start = std::chrono::steady_clock::now();
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            Draw();
            glReadPixels(0, 0, Width, Height, GL_BGRA, GL_UNSIGNED_BYTE, readBack.data());
            r.Seconds = std::min(
                r.Seconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        r.Drawn = std::count_if(readBack.begin(), readBack.end(), [](std::uint32_t p) { return (p & 0xFFFFFF) != 0; });
        OSMesaDestroyContext(ctx);
        const bool ok = ::write(fds[1], &r, sizeof r) == sizeof r;
        std::_Exit(ok ? 0 : 3);
    }
    ::close(fds[1]);
    const bool got = ::read(fds[0], &Out, sizeof Out) == sizeof Out;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Triangle indices of a Columns x Rows grid of vertices, two a cell.
inline std::vector<GLuint> GridTriangles(GLuint Columns, GLuint Rows)
{
    std::vector<GLuint> indices;
    indices.reserve(std::size_t(Columns - 1) * (Rows - 1) * 6);
    for (GLuint j = 0; j + 1 < Rows; ++j)
        for (GLuint i = 0; i + 1 < Columns; ++i) {
            const GLuint p = j * Columns + i;
            indices.insert(indices.end(), {p, p + 1, p + Columns + 1, p + Columns + 1, p + Columns, p});
        }
    return indices;
}

}  // namespace bench

#endif

namespace bench {

// Cores this process may run on, in order.
inline std::vector<int> UsableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cores;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &set))
                cores.push_back(c);
    if (cores.empty())
        cores.push_back(0);
    return cores;
}

// Runs Fn with the calling thread on core Cpu alone, then restores its cores.
template <class Fn>
auto OnCore(int Cpu, Fn&& F)
{
    cpu_set_t old, one;
    CPU_ZERO(&old);
    ::sched_getaffinity(0, sizeof old, &old);
    CPU_ZERO(&one);
    CPU_SET(Cpu, &one);
    ::sched_setaffinity(0, sizeof one, &one);
    struct Restore {
        cpu_set_t* Set;
        ~Restore() { ::sched_setaffinity(0, sizeof *Set, Set); }
    } restore{&old};
    return F();
}

inline double Median3(double A, double B, double C)
{
    return std::max(std::min(A, B), std::min(std::max(A, B), C));
}

}  // namespace bench
