#include "TempBeside.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

namespace plat {

int CreateTempBeside(const std::string& path, std::string& temp,
                     const std::function<int(const std::string& name)>& create)
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // Cut the name so that the suffix still fits the folder's name limit.
    const std::string stem = folder + "." + path.substr(folder.size()).substr(0, 100) + "." +
                             std::to_string(::getpid()) + ".";
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temp = stem + std::to_string(counter++) + "." + std::to_string(rng() & 0xffffff) + ".part";
        error = create(temp);
    }
    if (error != 0)
        temp.clear();
    return error;
}

}  // namespace plat
