#pragma once
// A whole file as one block of memory, shared by every object of the process
// that maps the same file, and with every other process through MAP_SHARED.
//
//   CMemoryMap map;
//   auto* in = static_cast<const char*>(map.Open(path, 0, 0));   // read-only
//   auto* io = static_cast<char*>(map.Open(path, 0, 1));         // read/write
//   int64_t n = map.Length();   // bytes of this view: the only bytes that may be touched
//   map.Close();            // or let the destructor release it
//
// Open and Create give null on any failure (missing, empty or non-regular file,
// a whole-file view of a file longer than an int can count, no space) and leave the
// object empty. Views of an explicit size may pass 2 GB.
// Writes through a read/write view reach the file and every other mapper at once.
// The view stays valid until this object releases it (Close, Open, Create,
// Resize, destruction), however other objects release theirs.

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/files/MappedFile.h"
#include "util/ListVoid.h"

// One mapped file in the process-wide registry.
struct MapFileEntry {
    plat::MappedFile view;     // unmapped when the entry is freed
    int refs = 0;              // users beyond the first
    int writable = 0;          // 1 for a read/write view
    int temporary = 0;         // the file goes with the last user
    std::uint64_t serial = 0;  // tells a live entry from a freed one at the same address
    std::string path;          // full path the file was mapped by
};

// Owns one use of a registry entry. Copying makes another counted user of the
// same view (each copy releases only its own use); moving hands the use over.
class CMemoryMap final {
public:
    CMemoryMap() = default;
    CMemoryMap(const CMemoryMap& other);
    CMemoryMap& operator=(const CMemoryMap& other);
    CMemoryMap(CMemoryMap&& other) noexcept;
    CMemoryMap& operator=(CMemoryMap&& other) noexcept;
    ~CMemoryMap();

    // Maps an existing file after releasing what this object held. size 0 maps
    // the whole file; a smaller size maps its first bytes; a larger size grows the
    // file first (read/write only; the grown file replaces the old one by rename).
    // A view of the same file and at least the asked access is shared when this
    // process has one; with size 0 only a view of the whole file as it is now (a
    // file grown since it was mapped gets a new view). writable: 0 read-only,
    // 1 read/write.
    void* Open(const std::string& name, std::int64_t size, int writable);
    // Creates the file with size zero bytes (replacing any file of that name by
    // rename) and maps it read/write. temporary: the file is removed when the last
    // user of its view releases it. size 0 fails and creates nothing.
    void* Create(const std::string& name, std::int64_t size, int temporary);
    // Remaps this object's file with a view of size bytes (growing the file when
    // needed); null when nothing is mapped or another user shares the view.
    // On failure the object is left empty.
    void* Resize(std::int64_t size);
    // Releases this object's use of its view.
    void DeleteData();
    void Close() { DeleteData(); }

    // Copy n bytes between the view at the cursor and a buffer and advance the
    // cursor; n (or 0, touching nothing, when the range leaves the view or, for
    // Write, the object was opened read-only).
    int Read(void* dst, int n);
    int Write(const void* src, int n);
    // Cursor = offset + origin, kept within 0 .. length - 1; returns the cursor.
    long Seek(long offset, int origin);

    // Full path of the mapped file; empty when nothing is mapped.
    std::string GetFileName() const;
    // Bytes in this object's view (not the file's current size); 0 when empty.
    std::int64_t Length() const;
    void* AdresData() const { return m_view; }
    // Device and inode of the mapped file; zeros when nothing is mapped.
    plat::FileId Id() const;

    // The registry of the process: MapFileEntry pointers, guarded by m_FileOpenLock.
    static CListVoid m_FileOpenList;
    static std::mutex m_FileOpenLock;

private:
    void* Attach(const std::string& name, std::int64_t size, int writable);
    void* Bind(MapFileEntry* entry, int writable);
    void Reset();

    std::int64_t m_cursor = 0;
    std::int64_t m_length = 0;
    std::string m_fileName;
    int m_writable = 0;  // access this object asked for
    void* m_view = nullptr;
    MapFileEntry* m_entry = nullptr;
    std::uint64_t m_serial = 0;  // serial of m_entry when bound
};

// Length of a regular file; -1 when it is missing, not a regular file, or
// longer than an int can count.
int GetFileLength(const char* path);

// Unmaps and frees every registry entry (removing temporary files). Objects that
// still hold an entry see it gone: their release does nothing and they must not
// touch their view any more.
void DeleteAllMapping();

// Registry predicate: 1 when entry (MapFileEntry*) and path (a zero-terminated
// text) are both given and the entry was mapped by exactly that full path
// (case-sensitive), else 0; user is not used. The registry itself finds a view by
// the file's identity as well, so that a file replaced under the same name never
// shares the view of the file it replaced.
int TestFileList(void* entry, void* path, int user);
