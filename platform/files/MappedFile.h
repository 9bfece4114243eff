#pragma once
// A MAP_SHARED view of a regular file. A file that replaces another, mapped or
// not, is written through plat::ReplacingFile.

#include <cstdint>
#include <string>

namespace plat {

// Identity of a file on this machine: two paths name one file when these match.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// Owns one mapped view. Move-only, so the view is unmapped exactly once.
class MappedFile final {
public:
    MappedFile() = default;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    // Maps the first `length` bytes of an existing regular file (0: the whole file).
    // Fails on a missing, empty or non-regular file and when length exceeds the file.
    // A writable view has the file's space reserved first, so a full disk fails
    // here rather than as SIGBUS on a later write into a sparse file.
    static MappedFile Open(const std::string& path, std::int64_t length, bool writable);

    explicit operator bool() const { return m_view != nullptr; }
    void* Data() const { return m_view; }
    std::int64_t Length() const { return m_length; }
    bool Writable() const { return m_writable; }
    const FileId& Id() const { return m_id; }

    // Unmaps the view; the object is empty afterwards.
    void Reset();

    // Absolute path of name with symbolic links resolved. A name that does not
    // exist yet gets its folder resolved; empty when that folder does not exist.
    static std::string FullPath(const std::string& name);

    // Length of a regular file (symbolic links followed); -1 when it is missing or
    // not a regular file. id receives the file's identity when given.
    static std::int64_t FileLength(const std::string& path, FileId* id = nullptr);

    // Removes path only while it still names the file id, so a file that was
    // since renamed over it survives.
    static bool RemoveIfSame(const std::string& path, const FileId& id);

private:
    friend class ReplacingFile;
    // Maps the first length bytes of the regular file open at fd; on failure the
    // result is empty and error holds the errno value.
    static MappedFile MapDescriptor(int fd, std::int64_t length, bool writable, int& error);

    void* m_view = nullptr;
    std::int64_t m_length = 0;
    bool m_writable = false;
    FileId m_id;
};

// Maps the pages of bytes at p, inside a writable view, ready for writing in one
// call, so that a writer filling them from several threads takes no page fault
// each. Only a speed-up: where the system cannot, the first writes fault as usual.
void PrefaultForWrite(void* p, std::int64_t bytes);

// Whether the page holding p is in memory (for a file mapping, in the page
// cache): memory written before, where PrefaultForWrite would only cost a walk
// over pages already there.
bool IsInMemory(const void* p);

}  // namespace plat
