#include "files/MemoryMap.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/files/ReplacingFile.h"

CListVoid CMemoryMap::m_FileOpenList;
std::mutex CMemoryMap::m_FileOpenLock;

namespace {

// Both under m_FileOpenLock.
std::uint64_t g_lastSerial = 0;

int IsSameEntry(void* data, void* key, int)
{
    return data != nullptr && data == key ? 1 : 0;
}

// True while entry is still registered as the one with that serial; the caller
// holds m_FileOpenLock.
bool IsLive(MapFileEntry* entry, std::uint64_t serial)
{
    return entry != nullptr && CMemoryMap::m_FileOpenList.GetElementWithProperty(IsSameEntry, entry, 0) != nullptr &&
           entry->serial == serial;
}

// A view of the file that covers at least its first length bytes.
struct CoveringView {
    plat::FileId id;
    std::int64_t length = 0;
};

// Registry predicate over a CoveringView key: a view of the same file with at
// least the access asked for. A file that grew since it was mapped (a layer or tag
// appended) gets a view of its own, so that the new bytes can be reached; holders
// of the shorter view keep theirs.
int TestCovers(void* entry, void* key, int writable)
{
    if (entry == nullptr)
        return 0;
    const auto* e = static_cast<const MapFileEntry*>(entry);
    const auto* k = static_cast<const CoveringView*>(key);
    return e->view.Id() == k->id && e->writable >= writable && e->view.Length() >= k->length ? 1 : 0;
}

// Puts a new file of length bytes at path and maps it read/write; keep copies the
// old file's first bytes, which are the user's data and so reach the disk before
// the new file replaces the old one. Empty on failure.
plat::MappedFile ReplaceMapped(const std::string& path, std::int64_t length, bool keep)
{
    try {
        plat::ReplacingFile out(path, keep ? plat::ReplacingFile::UserData : plat::ReplacingFile::Regenerable);
        out.Map(length, keep);
        out.Commit();
        return out.TakeView();
    } catch (plat::Exception* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    return {};
}

// Makes an entry for a fresh view; null when out of memory.
std::unique_ptr<MapFileEntry> NewEntry(plat::MappedFile view, const std::string& path, int temporary)
{
    std::unique_ptr<MapFileEntry> entry(new (std::nothrow) MapFileEntry);
    if (entry) {
        entry->view = std::move(view);
        entry->writable = entry->view.Writable() ? 1 : 0;
        entry->temporary = temporary;
        entry->path = path;
    }
    return entry;
}

// Registers entry; on success the registry owns it. Caller holds m_FileOpenLock.
bool Register(std::unique_ptr<MapFileEntry>& entry)
{
    entry->serial = ++g_lastSerial;
    if (CMemoryMap::m_FileOpenList.Add(entry.get()) != 0)
        return false;
    entry.release();
    return true;
}

// Frees an entry that has left the registry; a temporary file goes with it.
void FreeEntry(MapFileEntry* entry)
{
    if (entry->temporary)
        plat::MappedFile::RemoveIfSame(entry->path, entry->view.Id());
    delete entry;
}

}  // namespace

CMemoryMap::CMemoryMap(const CMemoryMap& other)
{
    *this = other;
}

CMemoryMap& CMemoryMap::operator=(const CMemoryMap& other)
{
    if (this == &other)
        return *this;
    bool shared = false;
    if (other.m_entry != nullptr) {
        std::lock_guard lock(m_FileOpenLock);
        shared = IsLive(other.m_entry, other.m_serial);
        if (shared)
            ++other.m_entry->refs;
    }
    DeleteData();
    if (shared) {
        m_cursor = other.m_cursor;
        m_length = other.m_length;
        m_fileName = other.m_fileName;
        m_writable = other.m_writable;
        m_view = other.m_view;
        m_entry = other.m_entry;
        m_serial = other.m_serial;
    }
    return *this;
}

CMemoryMap::CMemoryMap(CMemoryMap&& other) noexcept
{
    *this = std::move(other);
}

CMemoryMap& CMemoryMap::operator=(CMemoryMap&& other) noexcept
{
    if (this == &other)
        return *this;
    DeleteData();
    m_cursor = other.m_cursor;
    m_length = other.m_length;
    m_fileName = std::move(other.m_fileName);
    m_writable = other.m_writable;
    m_view = other.m_view;
    m_entry = other.m_entry;
    m_serial = other.m_serial;
    other.Reset();
    return *this;
}

CMemoryMap::~CMemoryMap()
{
    DeleteData();
}

void* CMemoryMap::Open(const std::string& name, std::int64_t size, int writable)
{
    DeleteData();
    return Attach(name, size, writable ? 1 : 0);
}

void* CMemoryMap::Attach(const std::string& name, std::int64_t size, int writable)
{
    if (size < 0)
        return nullptr;
    std::string path = plat::MappedFile::FullPath(name);
    plat::FileId id;
    std::int64_t fileLength = path.empty() ? -1 : plat::MappedFile::FileLength(path, &id);
    if (fileLength < 0)
        return nullptr;
    // Not even through a view made before the file lost its write permission.
    if (writable && plat::WriteProtection(path.c_str()) != 0)
        return nullptr;
    std::int64_t viewLength = size != 0 ? size : fileLength;
    // A whole-file view shares only a view of the whole file as it is now.
    const std::int64_t covered = size != 0 ? 0 : fileLength;
    {
        std::lock_guard lock(m_FileOpenLock);
        CoveringView key{id, covered};
        auto* entry = static_cast<MapFileEntry*>(m_FileOpenList.GetElementWithProperty(TestCovers, &key, writable));
        if (entry != nullptr) {
            ++entry->refs;
            return Bind(entry, writable);
        }
    }

    if ((size == 0 && viewLength > INT_MAX) || (viewLength > fileLength && !writable))
        return nullptr;
    auto fresh = NewEntry(viewLength > fileLength ? ReplaceMapped(path, viewLength, true)
                                                  : plat::MappedFile::Open(path, viewLength, writable != 0),
                          path, 0);
    if (!fresh || !fresh->view)
        return nullptr;
    std::lock_guard lock(m_FileOpenLock);
    // Another thread may have mapped the same file meanwhile: share its view.
    CoveringView mapped{fresh->view.Id(), covered};
    auto* entry = static_cast<MapFileEntry*>(m_FileOpenList.GetElementWithProperty(TestCovers, &mapped, writable));
    if (entry != nullptr) {
        ++entry->refs;
        return Bind(entry, writable);
    }
    MapFileEntry* own = fresh.get();
    if (!Register(fresh))
        return nullptr;
    return Bind(own, writable);
}

void* CMemoryMap::Create(const std::string& name, std::int64_t size, int temporary)
{
    DeleteData();
    if (size <= 0)
        return nullptr;
    std::string path = plat::MappedFile::FullPath(name);
    if (path.empty() || path.size() >= 254)
        return nullptr;
    auto fresh = NewEntry(ReplaceMapped(path, size, false), path, temporary ? 1 : 0);
    if (!fresh || !fresh->view)
        return nullptr;
    MapFileEntry* own = fresh.get();
    {
        std::lock_guard lock(m_FileOpenLock);
        if (Register(fresh))
            return Bind(own, 1);
    }
    plat::MappedFile::RemoveIfSame(path, fresh->view.Id());
    return nullptr;
}

void* CMemoryMap::Resize(std::int64_t size)
{
    if (size <= 0)
        return nullptr;
    MapFileEntry* old = nullptr;
    {
        std::lock_guard lock(m_FileOpenLock);
        if (!IsLive(m_entry, m_serial) || m_entry->refs > 0)
            return nullptr;
        old = m_entry;
        m_FileOpenList.DeleteElement(old);
    }
    std::unique_ptr<MapFileEntry> drop(old);
    Reset();

    // The old view stays mapped until the new one exists; growing copies the file.
    std::int64_t fileLength = plat::MappedFile::FileLength(old->path);
    plat::MappedFile view;
    if (fileLength >= 0)
        view = size > fileLength ? ReplaceMapped(old->path, size, true) : plat::MappedFile::Open(old->path, size, true);
    auto fresh = NewEntry(std::move(view), old->path, old->temporary);
    if (fresh && fresh->view) {
        MapFileEntry* own = fresh.get();
        std::lock_guard lock(m_FileOpenLock);
        if (Register(fresh))
            return Bind(own, 1);
    }
    // Nothing maps the file any more: a temporary one goes now.
    if (old->temporary) {
        plat::MappedFile::RemoveIfSame(old->path, old->view.Id());
        if (fresh && fresh->view)
            plat::MappedFile::RemoveIfSame(old->path, fresh->view.Id());
    }
    return nullptr;
}

void CMemoryMap::DeleteData()
{
    MapFileEntry* drop = nullptr;
    if (m_entry != nullptr) {
        std::lock_guard lock(m_FileOpenLock);
        if (IsLive(m_entry, m_serial)) {
            if (m_entry->refs > 0) {
                --m_entry->refs;
            } else {
                m_FileOpenList.DeleteElement(m_entry);
                drop = m_entry;
            }
        }
    }
    if (drop != nullptr)
        FreeEntry(drop);
    Reset();
}

void* CMemoryMap::Bind(MapFileEntry* entry, int writable)
{
    m_cursor = 0;
    m_length = entry->view.Length();
    m_fileName = entry->path;
    m_writable = writable;
    m_view = entry->view.Data();
    m_entry = entry;
    m_serial = entry->serial;
    return m_view;
}

void CMemoryMap::Reset()
{
    m_cursor = 0;
    m_length = 0;
    m_fileName.clear();
    m_writable = 0;
    m_view = nullptr;
    m_entry = nullptr;
    m_serial = 0;
}

int CMemoryMap::Read(void* dst, int n)
{
    if (m_view == nullptr || dst == nullptr || n <= 0 || n > m_length - m_cursor)
        return 0;
    std::memcpy(dst, static_cast<const char*>(m_view) + m_cursor, static_cast<size_t>(n));
    m_cursor += n;
    return n;
}

int CMemoryMap::Write(const void* src, int n)
{
    if (m_view == nullptr || src == nullptr || !m_writable || n <= 0 || n > m_length - m_cursor)
        return 0;
    std::memcpy(static_cast<char*>(m_view) + m_cursor, src, static_cast<size_t>(n));
    m_cursor += n;
    return n;
}

long CMemoryMap::Seek(long offset, int origin)
{
    long pos = 0;
    if (__builtin_add_overflow(offset, static_cast<long>(origin), &pos))
        pos = offset < 0 ? LONG_MIN : LONG_MAX;
    if (pos >= m_length)
        pos = static_cast<long>(m_length) - 1;
    if (pos < 0)
        pos = 0;
    m_cursor = pos;
    return pos;
}

std::string CMemoryMap::GetFileName() const
{
    return m_view != nullptr ? m_fileName : std::string();
}

plat::FileId CMemoryMap::Id() const
{
    // The entry outlives this object's use of it and its view never changes.
    return m_entry != nullptr ? m_entry->view.Id() : plat::FileId{};
}

std::int64_t CMemoryMap::Length() const
{
    return m_length;
}

int GetFileLength(const char* path)
{
    if (path == nullptr)
        return -1;
    std::int64_t length = plat::MappedFile::FileLength(path);
    return length > INT_MAX ? -1 : static_cast<int>(length);
}

void DeleteAllMapping()
{
    std::vector<MapFileEntry*> all;
    {
        std::lock_guard lock(CMemoryMap::m_FileOpenLock);
        while (auto* entry = static_cast<MapFileEntry*>(CMemoryMap::m_FileOpenList.GetElementAddress(0))) {
            CMemoryMap::m_FileOpenList.DeleteElement(entry);
            all.push_back(entry);
        }
    }
    for (MapFileEntry* entry : all)
        FreeEntry(entry);
}

int TestFileList(void* entry, void* path, int)
{
    if (entry == nullptr || path == nullptr)
        return 0;
    return static_cast<const MapFileEntry*>(entry)->path == static_cast<const char*>(path) ? 1 : 0;
}
