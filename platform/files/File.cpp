#include "platform/files/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "platform/errors/Exception.h"

namespace plat {

namespace {

// One system call moves at most this much, whatever the caller asked for.
constexpr size_t kChunk = 1u << 30;

}  // namespace

File::File(const char* name, unsigned flags)
{
    int error = 0;
    if (!Open(name, flags, &error))
        FileException::ThrowOsError(error, name ? name : "");
}

File::~File()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool File::Open(const char* name, unsigned flags, int* osError)
{
    ++m_changes;
    Close();
    if (name == nullptr || *name == '\0') {
        if (osError)
            *osError = ENOENT;
        return false;
    }
    // O_NONBLOCK: opening a FIFO must not wait for its other end; it is refused below.
    int oflags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (flags & modeReadWrite)
        oflags |= O_RDWR;
    else if (flags & modeWrite)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (flags & modeCreateNew) {
        oflags |= O_CREAT | O_EXCL;
    } else if (flags & modeCreate) {
        oflags |= O_CREAT;
        if (!(flags & modeNoTruncate))
            oflags |= O_TRUNC;
    }
    // Checked before the open: O_TRUNC would already have cut the file.
    if ((oflags & O_ACCMODE) != O_RDONLY && !(flags & modeCreateNew)) {
        if (const int refused = WriteProtection(name)) {
            if (osError)
                *osError = refused;
            return false;
        }
    }
    int fd;
    do
        fd = ::open(name, oflags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (osError)
            *osError = errno;
        return false;
    }
    // Only regular files: a FIFO, device or folder would block or mislead the reader.
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    // The status flags asked for are known: set without reading them first.
    else if (::fcntl(fd, F_SETFL, oflags & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        if (osError)
            *osError = error;
        return false;
    }
    m_fd = fd;
    m_path = name;
    return true;
}

void File::Close()
{
    if (m_fd < 0)
        return;
    ++m_changes;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        Fail(errno);
}

unsigned File::Read(void* buf, unsigned n)
{
    return ReadFrom(-1, buf, n);
}

unsigned File::ReadAt(std::int64_t offset, void* buf, unsigned n)
{
    if (offset < 0)
        Fail(EINVAL);
    return ReadFrom(offset, buf, n);
}

unsigned File::ReadFrom(std::int64_t offset, void* buf, unsigned n)
{
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        const size_t part = std::min<size_t>(n - done, kChunk);
        const ssize_t got =
            offset < 0 ? ::read(m_fd, p + done, part) : ::pread(m_fd, p + done, part, off_t(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno);
        }
        if (got == 0)
            break;
        done += size_t(got);
    }
    return unsigned(done);
}

void File::Write(const void* buf, unsigned n)
{
    ++m_changes;
    const auto* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        const ssize_t put = ::write(m_fd, p + done, std::min<size_t>(n - done, kChunk));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno);
        }
        if (put == 0)
            Fail(ENOSPC);
        done += size_t(put);
    }
}

std::int64_t File::Seek(std::int64_t offset, SeekPosition from)
{
    const int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
    const off_t pos = ::lseek(m_fd, off_t(offset), whence);
    if (pos < 0)
        Fail(errno);
    return pos;
}

std::int64_t File::GetPosition() const
{
    const off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0)
        Fail(errno);
    return pos;
}

std::int64_t File::GetLength() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        Fail(errno);
    return st.st_size;
}

void File::SetLength(std::int64_t length)
{
    ++m_changes;
    if (length < 0)
        Fail(EINVAL);
    int rc;
    do
        rc = ::ftruncate(m_fd, off_t(length));
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
        Fail(errno);
}

void File::Reserve(std::int64_t length)
{
    ++m_changes;
    const std::int64_t size = GetLength();
    if (length <= size)
        return;
    int rc;
    do
        rc = ::posix_fallocate(m_fd, off_t(size), off_t(length - size));
    while (rc == EINTR);
    if (rc != 0)
        Fail(rc);
}

int WriteProtection(const char* path)
{
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return (st.st_mode & 0222) == 0 ? EACCES : 0;
}

void IgnoreFileSizeSignal()
{
    ::signal(SIGXFSZ, SIG_IGN);
}

void File::Fail(int osError) const
{
    FileException::ThrowOsError(osError, m_path);
}

}  // namespace plat
