#include "platform/files/ReplacingFile.h"

#include "platform/files/Fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <random>
#include <string_view>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/files/TempRegistry.h"

namespace plat {

namespace {

// Follows symbolic links from path to the name that would be written; a dangling
// link leads to the name it points at. 0 or an errno value.
int FollowLinks(const std::string& path, std::string& target)
{
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0)
            return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(st.st_mode))
            return 0;
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), buf.data(), buf.size());
        if (n < 0)
            return errno;
        if (n == 0 || size_t(n) >= buf.size())
            return n == 0 ? ENOENT : ENAMETOOLONG;
        std::string link(buf.data(), size_t(n));
        if (link.front() != '/') {
            const size_t slash = target.rfind('/');
            link = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
        target = std::move(link);
    }
    return ELOOP;
}

// Whether tail is "<pid>.<n>.<r>.part"; pid receives the writer's process id.
bool ParseTempTail(std::string_view tail, long long& pid)
{
    constexpr std::string_view kPart = ".part";
    if (!tail.ends_with(kPart))
        return false;
    tail.remove_suffix(kPart.size());
    long long numbers[3] = {};
    for (int i = 0; i < 3; ++i) {
        const size_t dot = i < 2 ? tail.find('.') : tail.size();
        if (dot == 0 || dot == std::string_view::npos || dot > 18)
            return false;
        for (size_t k = 0; k < dot; ++k) {
            if (tail[k] < '0' || tail[k] > '9')
                return false;
            numbers[i] = numbers[i] * 10 + (tail[k] - '0');
        }
        tail.remove_prefix(i < 2 ? dot + 1 : dot);
    }
    pid = numbers[0];
    return pid > 0 && pid <= INT_MAX;
}

// Removes the temporaries named prefix + "<pid>.<n>.<r>.part" in folder whose
// writing process no longer exists (a crash, or a kill at a file-size limit).
void RemoveStaleTemps(const std::string& folder, const std::string& prefix)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return;
    const long long self = ::getpid();
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        long long pid = 0;
        if (!name.starts_with(prefix) || !ParseTempTail(name.substr(prefix.size()), pid) || pid == self)
            continue;
        // EPERM means the process lives under another user.
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// Copies the first n bytes of src to the start of dst; 0 or an errno value.
int CopyPrefix(int src, int dst, std::int64_t n)
{
    off_t in = 0;
    off_t out = 0;
    while (n > 0) {
        const ssize_t r = ::copy_file_range(src, &in, dst, &out, static_cast<size_t>(n), 0);
        if (r > 0) {
            n -= r;
            continue;
        }
        if (r == 0)
            return EIO;  // the file is shorter than it was
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        break;  // not offered for this pair of files: copy through a buffer
    }
    std::vector<char> buf(n > 0 ? 1 << 20 : 0);
    while (n > 0) {
        const size_t want = size_t(std::min<std::int64_t>(n, std::int64_t(buf.size())));
        const ssize_t r = ::pread(src, buf.data(), want, in);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return r < 0 ? errno : EIO;
        for (ssize_t done = 0; done < r;) {
            const ssize_t w = ::pwrite(dst, buf.data() + done, size_t(r - done), out + done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return w < 0 ? errno : ENOSPC;
            done += w;
        }
        in += r;
        out += r;
        n -= r;
    }
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& path, Contents contents) : m_path(path), m_contents(contents)
{
    if (path.empty() || path.back() == '/')
        FileException::ThrowOsError(path.empty() ? ENOENT : EISDIR, path);
    int error = FollowLinks(path, m_target);
    if (error != 0)
        FileException::ThrowOsError(error, path);

    struct stat old {};
    if (::stat(m_target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode))
            FileException::ThrowOsError(S_ISDIR(old.st_mode) ? EISDIR : EINVAL, path);
        // Renaming over a file would bypass its protection. A file without any write
        // permission is read-only for the superuser too, as a read-only attribute is.
        if (::access(m_target.c_str(), W_OK) != 0)
            FileException::ThrowOsError(errno, path);
        if (const int refused = WriteProtection(m_target.c_str()))
            FileException::ThrowOsError(refused, path);
        m_exists = true;
    } else if (errno != ENOENT) {
        FileException::ThrowOsError(errno, path);
    }

    const std::string folder = FolderOf(m_target);
    // Cut the name so that the suffix still fits the folder's name limit.
    const std::string prefix = "." + m_target.substr(folder.size()).substr(0, 100) + ".";
    RemoveStaleTemps(folder, prefix);

    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 rng{std::random_device{}()};
    const std::string stem = folder + prefix + std::to_string(::getpid()) + ".";
    error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        m_temp = stem + std::to_string(counter++) + "." + std::to_string(rng() & 0xffffff) + ".part";
        if (m_file.Open(m_temp.c_str(), File::modeReadWrite | File::modeCreateNew, &error))
            error = 0;
    }
    if (error != 0) {
        m_temp.clear();
        FileException::ThrowOsError(error, path);
    }
    // A kill from here on leaves the temporary for the next start to remove.
    RecordTemporary(m_temp);
    m_file.SetFilePath(path);
    if (m_exists && ::fchmod(m_file.GetHandle(), old.st_mode & 07777) != 0) {
        error = errno;
        Discard();
        FileException::ThrowOsError(error, path);
    }
}

ReplacingFile::~ReplacingFile()
{
    if (!m_committed)
        Discard();
}

MappedFile& ReplacingFile::Map(std::int64_t length, bool keep)
{
    if (!m_file.IsOpen() || m_view || length <= 0)
        FileException::ThrowOsError(EINVAL, m_path);
    m_file.Reserve(length);
    if (keep && m_exists) {
        Fd old(::open(m_target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        struct stat st {};
        int error = 0;
        if (old.fd < 0 || ::fstat(old.fd, &st) != 0)
            error = errno;
        else if (!S_ISREG(st.st_mode))
            error = EINVAL;
        else
            error = CopyPrefix(old.fd, m_file.GetHandle(), std::min<std::int64_t>(st.st_size, length));
        if (error != 0)
            FileException::ThrowOsError(error, m_path);
    }
    int error = 0;
    m_view = MappedFile::MapDescriptor(m_file.GetHandle(), length, true, error);
    if (!m_view)
        FileException::ThrowOsError(error, m_path);
    return m_view;
}

void ReplacingFile::Commit()
{
    if (m_committed)
        return;
    if (m_temp.empty())
        FileException::ThrowOsError(EINVAL, m_path);  // discarded
    if (m_contents == UserData) {
        if (m_view && ::msync(m_view.Data(), size_t(m_view.Length()), MS_SYNC) != 0)
            FileException::ThrowOsError(errno, m_path);
        if (::fsync(m_file.GetHandle()) != 0)
            FileException::ThrowOsError(errno, m_path);
    }
    m_file.Close();
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
        FileException::ThrowOsError(errno, m_path);
    m_committed = true;
    ForgetTemporary(m_temp);
    if (m_contents == UserData) {
        // The rename itself reaches the disk with its folder; a folder that cannot
        // be synced (some file systems) still holds the complete file.
        const std::string folder = FolderOf(m_target);
        Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.fd >= 0)
            ::fsync(dir.fd);
    }
}

void ReplacingFile::Discard()
{
    m_view.Reset();
    try {
        m_file.Close();
    } catch (Exception* e) {
        e->Delete();
    }
    if (!m_temp.empty() && !m_committed) {
        ::unlink(m_temp.c_str());
        ForgetTemporary(m_temp);
    }
    m_temp.clear();
}

void ReplacingFile::Flush()
{
    if (m_committed || m_temp.empty() || m_contents != UserData)
        return;
    if (m_view && ::msync(m_view.Data(), size_t(m_view.Length()), MS_SYNC) != 0)
        FileException::ThrowOsError(errno, m_path);
    if (::fsync(m_file.GetHandle()) != 0)
        FileException::ThrowOsError(errno, m_path);
}

}  // namespace plat
