#include "ReplacingFile.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

#include "Exception.h"

namespace plat {

namespace {

std::string TempName(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.%08x.part", int(::getpid()), counter++, unsigned(rng()));
    // Hidden, so that folder listings and file masks do not offer a half-written file.
    return folder + "." + name + suffix;
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& path) : m_path(path)
{
    int error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = TempName(path);
        if (m_file.Open(m_temp.c_str(), File::modeReadWrite | File::modeCreateNew, &error))
            return;
        if (error != EEXIST)
            break;
    }
    m_temp.clear();
    FileException::ThrowOsError(error, path);
}

ReplacingFile::~ReplacingFile()
{
    if (m_committed || m_temp.empty())
        return;
    try {
        m_file.Close();
    } catch (Exception* e) {
        e->Delete();
    }
    ::unlink(m_temp.c_str());
}

void ReplacingFile::Commit()
{
    m_file.Close();
    if (std::rename(m_temp.c_str(), m_path.c_str()) != 0)
        FileException::ThrowOsError(errno, m_path);
    m_committed = true;
}

}  // namespace plat
