#include "platform/files/MappedFile.h"

#include "platform/files/Fd.h"
#include "platform/files/File.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace plat {

namespace {

FileId IdOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_view(std::exchange(other.m_view, nullptr)),
      m_length(std::exchange(other.m_length, 0)),
      m_writable(std::exchange(other.m_writable, false)),
      m_id(std::exchange(other.m_id, {}))
{}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_view = std::exchange(other.m_view, nullptr);
        m_length = std::exchange(other.m_length, 0);
        m_writable = std::exchange(other.m_writable, false);
        m_id = std::exchange(other.m_id, {});
    }
    return *this;
}

MappedFile::~MappedFile()
{
    Reset();
}

void MappedFile::Reset()
{
    if (m_view != nullptr)
        ::munmap(m_view, static_cast<size_t>(m_length));
    m_view = nullptr;
    m_length = 0;
    m_writable = false;
    m_id = {};
}

MappedFile MappedFile::Open(const std::string& path, std::int64_t length, bool writable)
{
    if (length < 0)
        return {};
    if (writable) {
        if (const int refused = WriteProtection(path.c_str())) {
            errno = refused;
            return {};
        }
    }
    // O_NONBLOCK: opening a FIFO must not hang; it is refused below as not regular.
    Fd fd(::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.fd < 0)
        return {};
    int error = 0;
    MappedFile result = MapDescriptor(fd.fd, length, writable, error);
    errno = error;
    return result;
}

MappedFile MappedFile::MapDescriptor(int fd, std::int64_t length, bool writable, int& error)
{
    MappedFile result;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = errno;
        return result;
    }
    error = EINVAL;
    if (length < 0 || !S_ISREG(st.st_mode))
        return result;
    if (length == 0)
        length = st.st_size;
    if (length == 0 || length > st.st_size)
        return result;
    // Reserved first: a full disk fails here, never as SIGBUS on a later write
    // into a sparse file.
    if (writable && (error = ::posix_fallocate(fd, 0, length)) != 0)
        return result;
    void* view =
        ::mmap(nullptr, static_cast<size_t>(length), writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        error = errno;
        return result;
    }
    error = 0;
    result.m_view = view;
    result.m_length = length;
    result.m_writable = writable;
    result.m_id = IdOf(st);
    return result;
}

std::string MappedFile::FullPath(const std::string& name)
{
    if (name.empty())
        return {};
    // Into a buffer of our own: an allocated result costs a page-sized block each time.
    char real[PATH_MAX];
    if (::realpath(name.c_str(), real) != nullptr)
        return real;
    size_t slash = name.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.empty() || base == "." || base == "..")
        return {};
    if (::realpath(folder.c_str(), real) == nullptr)
        return {};
    std::string full(real);
    if (full != "/")
        full += '/';
    return full + base;
}

std::int64_t MappedFile::FileLength(const std::string& path, FileId* id)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    if (id != nullptr)
        *id = IdOf(st);
    return st.st_size;
}

bool MappedFile::RemoveIfSame(const std::string& path, const FileId& id)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !(IdOf(st) == id))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool IsInMemory(const void* p)
{
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
    unsigned char resident = 0;
    return p != nullptr && ::mincore(reinterpret_cast<void*>(begin), std::size_t(page), &resident) == 0 &&
           (resident & 1) != 0;
}

void PrefaultForWrite(void* p, std::int64_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    if (p == nullptr || bytes <= 0)
        return;
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(p) + std::uintptr_t(bytes);
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace plat
