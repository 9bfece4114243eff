#include "MappedFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "TempBeside.h"

namespace plat {

namespace {

// Closes a descriptor on every way out.
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

FileId IdOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// Copies the first n bytes of src to the start of dst.
bool CopyPrefix(int src, int dst, std::int64_t n)
{
    off_t in = 0;
    off_t out = 0;
    while (n > 0) {
        ssize_t r = ::copy_file_range(src, &in, dst, &out, static_cast<size_t>(n), 0);
        if (r > 0) {
            n -= r;
            continue;
        }
        if (r == 0)
            return false;
        if (errno == EINTR)
            continue;
        break;  // not offered for this pair of files: copy through a buffer
    }
    std::vector<char> buf(n > 0 ? 1 << 20 : 0);
    while (n > 0) {
        size_t want = static_cast<size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(buf.size())));
        ssize_t r = ::pread(src, buf.data(), want, in);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        for (ssize_t done = 0; done < r;) {
            ssize_t w = ::pwrite(dst, buf.data() + done, static_cast<size_t>(r - done), out + done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
        in += r;
        out += r;
        n -= r;
    }
    return true;
}

}  // namespace

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_view(std::exchange(other.m_view, nullptr)),
      m_length(std::exchange(other.m_length, 0)),
      m_writable(std::exchange(other.m_writable, false)),
      m_id(std::exchange(other.m_id, {}))
{
}

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
    MappedFile result;
    if (length < 0)
        return result;
    // O_NONBLOCK: opening a FIFO must not hang; it is refused below as not regular.
    Fd fd(::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    if (length == 0)
        length = st.st_size;
    if (length == 0 || length > st.st_size)
        return result;
    if (writable && ::posix_fallocate(fd.fd, 0, length) != 0)
        return result;
    void* view = ::mmap(nullptr, static_cast<size_t>(length), writable ? PROT_READ | PROT_WRITE : PROT_READ,
                        MAP_SHARED, fd.fd, 0);
    if (view == MAP_FAILED)
        return result;
    result.m_view = view;
    result.m_length = length;
    result.m_writable = writable;
    result.m_id = IdOf(st);
    return result;
}

MappedFile MappedFile::Replace(const std::string& path, std::int64_t length, bool keep)
{
    MappedFile result;
    if (length <= 0 || path.empty() || path.back() == '/')
        return result;

    Fd old(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    bool exists = old.fd >= 0 || errno != ENOENT;
    struct stat oldSt {};
    bool hasOld = old.fd >= 0 && ::fstat(old.fd, &oldSt) == 0;
    if (exists && (!hasOld || !S_ISREG(oldSt.st_mode)))
        return result;
    // Renaming over a file would bypass its protection; replace only what we may write.
    if (exists && ::access(path.c_str(), W_OK) != 0)
        return result;

    std::string temp;
    int fdNum = -1;
    if (CreateTempBeside(path, temp, [&fdNum](const std::string& name) {
            fdNum = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fdNum < 0 ? errno : 0;
        }) != 0)
        return result;
    Fd fd(fdNum);

    bool ok = true;
    if (hasOld)
        ok = ::fchmod(fd.fd, oldSt.st_mode & 07777) == 0;
    // Reserving first makes a full disk fail now, never as a signal on a later write.
    ok = ok && ::posix_fallocate(fd.fd, 0, length) == 0;
    if (ok && keep && hasOld)
        ok = CopyPrefix(old.fd, fd.fd, std::min<std::int64_t>(oldSt.st_size, length));
    struct stat st {};
    ok = ok && ::fstat(fd.fd, &st) == 0;
    void* view = MAP_FAILED;
    if (ok)
        view = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED, fd.fd, 0);
    if (view != MAP_FAILED && ::rename(temp.c_str(), path.c_str()) == 0) {
        result.m_view = view;
        result.m_length = length;
        result.m_writable = true;
        result.m_id = IdOf(st);
        return result;
    }
    if (view != MAP_FAILED)
        ::munmap(view, static_cast<size_t>(length));
    ::unlink(temp.c_str());
    return result;
}

std::string MappedFile::FullPath(const std::string& name)
{
    if (name.empty())
        return {};
    if (char* real = ::realpath(name.c_str(), nullptr)) {
        std::string full(real);
        std::free(real);
        return full;
    }
    size_t slash = name.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.empty() || base == "." || base == "..")
        return {};
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return {};
    std::string full(real);
    std::free(real);
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

}  // namespace plat
