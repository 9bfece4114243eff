#pragma once
// A file opened by path with 64-bit offsets, in place of the framework's file class.
// Failures throw plat::FileException by pointer; a short read is not a failure.

#include <cstdint>
#include <string>

namespace plat {

class File {
public:
    // Open flags; the share flags are accepted and ignored (POSIX files are always shared).
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,      // create, truncating an existing file...
        modeNoTruncate = 0x2000,  // ...unless this is also given
        modeCreateNew = 0x4000,   // create; fails when the name exists
    };
    enum SeekPosition {
        begin = 0,
        current = 1,
        end = 2
    };

    File() = default;
    // Opens or throws.
    File(const char* name, unsigned flags);
    // Closes without throwing.
    virtual ~File();

    // Owns a descriptor: neither copyable nor movable.
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens name, which must be a regular file (a FIFO, device or folder is refused
    // at once, EINVAL or EISDIR); on failure returns false and, when osError is
    // given, stores errno.
    bool Open(const char* name, unsigned flags, int* osError = nullptr);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Reads up to n bytes at the position; returns how many arrived (fewer only at the end).
    virtual unsigned Read(void* buf, unsigned n);
    // Reads up to n bytes at offset in one call, leaving the position where it was;
    // returns how many arrived (fewer only at the end).
    unsigned ReadAt(std::int64_t offset, void* buf, unsigned n);
    // Writes all n bytes at the position.
    virtual void Write(const void* buf, unsigned n);

    // Moves the position and returns the new one.
    std::int64_t Seek(std::int64_t offset, SeekPosition from);
    std::int64_t GetPosition() const;
    std::int64_t GetLength() const;
    // Extends (with zero bytes) or cuts the file.
    void SetLength(std::int64_t length);
    // Extends the file to at least length bytes of zeros with their blocks allocated,
    // so that a full disk fails here rather than later through a mapping.
    void Reserve(std::int64_t length);

    const std::string& GetFilePath() const { return m_path; }
    // The name that failures report.
    void SetFilePath(const std::string& name) { m_path = name; }
    int GetHandle() const { return m_fd; }
    // Grows with every change made through this object (a write, a new length, the
    // file opened or closed), so that a reader keeping bytes it read can tell when
    // they may be stale.
    std::uint64_t Changes() const { return m_changes; }

private:
    [[noreturn]] void Fail(int osError) const;
    // At offset, or at the position when offset is negative.
    unsigned ReadFrom(std::int64_t offset, void* buf, unsigned n);

    int m_fd = -1;
    std::uint64_t m_changes = 0;
    std::string m_path;
};

// EACCES when path names an existing file that carries no write permission bit at
// all, else 0. Such a file is read-only for every user, the superuser too, as a
// read-only attribute is: no writer of the suite changes it, in place or by
// replacing it.
int WriteProtection(const char* path);

// Makes a write past the file-size limit (RLIMIT_FSIZE) fail with EFBIG instead of
// ending the process with SIGXFSZ, so the writer's clean-up runs. Called at the start
// of every program and library.
void IgnoreFileSizeSignal();

}  // namespace plat
