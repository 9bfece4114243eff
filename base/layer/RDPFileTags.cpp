#include "layer/RDPFileTags.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/files/File.h"
#include "format/RDPFileWalker.h"
#include "format/RDPLayerLayout.h"

namespace {

// Runs one call on an open file; every failure of the file becomes the result 0.
template <class Body>
int WithFile(const char* name, bool write, Body body)
{
    if (name == nullptr)
        return 0;
    try {
        plat::File file;
        if (!file.Open(name, write ? plat::File::modeReadWrite : plat::File::modeRead))
            return 0;
        return body(file);
    } catch (plat::Exception* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
    return 0;
}

// Offset and stored length of a payload that lies wholly inside the file; a length
// word below 4 or a payload running past the end counts as absent.
struct Payload {
    std::int64_t offset = 0;
    std::int32_t length = 0;
};

std::optional<Payload> ReadPayload(RDPFileWalker& walk, std::int32_t offset)
{
    Payload p{offset, 0};
    if (!walk.Inside(offset) || !walk.ReadAt(offset, &p.length, sizeof p.length))
        return std::nullopt;
    if (p.length < 4 || offset + std::int64_t(p.length) > walk.Size())
        return std::nullopt;
    return p;
}

std::optional<Payload> FindPayload(RDPFileWalker& walk, int layer, int tag)
{
    const auto h = walk.TagPayload(layer, tag);
    if (!h)
        return std::nullopt;
    return ReadPayload(walk, h->fields.payload);
}

void WriteAt(plat::File& file, std::int64_t offset, const void* buf, unsigned n)
{
    file.Seek(offset, plat::File::begin);
    file.Write(buf, n);
}

void ZeroAt(plat::File& file, std::int64_t offset, std::int64_t n)
{
    static const char kZeros[65536] = {};
    file.Seek(offset, plat::File::begin);
    while (n > 0) {
        const unsigned part = unsigned(std::min<std::int64_t>(n, sizeof kZeros));
        file.Write(kZeros, part);
        n -= part;
    }
}

// Writes a payload of len bytes at offset: len as its length word, then the caller's
// bytes after the caller's own length word.
void WritePayload(plat::File& file, std::int64_t offset, std::int32_t len, const void* buf)
{
    WriteAt(file, offset, &len, sizeof len);
    WriteAt(file, offset + 4, static_cast<const char*>(buf) + 4, unsigned(len - 4));
}

// Grows the file from size to size + grow and runs write; on any failure the file
// is cut back to size, so it is left as it was.
template <class Write>
int Append(plat::File& file, std::int64_t size, std::int64_t grow, Write write)
{
    if (size + grow > kRDPMaxFileSize)
        return 0;
    try {
        file.SetLength(size + grow);
        write();
        return 1;
    } catch (plat::Exception* e) {
        e->Delete();
    }
    try {
        file.SetLength(size);
    } catch (plat::Exception* e) {
        e->Delete();
    }
    return 0;
}

}  // namespace

int GetVersion(const char* file)
{
    return WithFile(file, false, [](plat::File& f) {
        RDPFileHeader header{};
        if (f.GetLength() < std::int64_t(sizeof header) || f.Read(&header, sizeof header) != sizeof header)
            return 0;
        if (std::memcmp(header.magic, kRDPMagic, sizeof kRDPMagic) != 0)
            return 0;
        return int(header.version);
    });
}

int GetNumLayer(const char* file)
{
    return WithFile(file, false, [](plat::File& f) { return RDPFileWalker(f).CountLayers(); });
}

int GetTag(const char* file, int layer, int tag, int maxlen, void* buf)
{
    if (buf == nullptr || maxlen < 0)
        return 0;
    return WithFile(file, false, [&](plat::File& f) {
        RDPFileWalker walk(f);
        const auto p = FindPayload(walk, layer, tag);
        if (!p)
            return 0;
        const unsigned n = unsigned(std::min(p->length, std::int32_t(maxlen)));
        return walk.ReadAt(p->offset, buf, n) ? 1 : 0;
    });
}

int GetTag(const char* file, int tag, int maxlen, void* buf)
{
    return GetTag(file, 0, tag, maxlen, buf);
}

int SetTag(const char* file, int layer, int tag, int len, const void* buf)
{
    // A payload is at least its length word; the caller's bytes are never read past len.
    if (buf == nullptr || len < 4)
        return 0;
    return WithFile(file, true, [&](plat::File& f) {
        RDPFileWalker walk(f);
        const std::int64_t size = walk.Size();
        // Nothing is written over another part of the file's structure, and nothing
        // is appended where a chain or payload reaching past the end would take it in.
        const RDPLayoutMap map(walk);

        if (const auto h = walk.TagPayload(layer, tag)) {
            const auto p = ReadPayload(walk, h->fields.payload);
            if (p && len <= p->length) {
                if (!map.MayWritePayload(p->offset, p->offset + p->length, h->offset))
                    return 0;
                // In place: the stored length stays, the rest of the old payload is cleared.
                WriteAt(f, p->offset + 4, static_cast<const char*>(buf) + 4, unsigned(len - 4));
                ZeroAt(f, p->offset + len, p->length - len);
                return 1;
            }
            // Too small (or unreadable): the new payload goes to the end of the file and
            // the header is pointed at it; the old bytes stay as dead space.
            if (!map.WithinFile() || !map.MayWriteHeader(h->offset))
                return 0;
            return Append(f, size, len, [&] {
                WritePayload(f, size, len, buf);
                const std::int32_t payload = std::int32_t(size);
                WriteAt(f, h->offset + offsetof(RDPTagHeader, payload), &payload, sizeof payload);
            });
        }

        const auto last = walk.LastTagHeader(layer);
        if (!last || !map.WithinFile() || !map.MayWriteHeader(last->offset))
            return 0;
        // The new header and payload are complete before the chain leads to them.
        return Append(f, size, std::int64_t(sizeof(RDPTagHeader)) + len, [&] {
            const RDPTagHeader header{tag, std::int32_t(size + sizeof header), 0};
            WriteAt(f, size, &header, sizeof header);
            WritePayload(f, size + std::int64_t(sizeof header), len, buf);
            const std::int32_t next = std::int32_t(size);
            WriteAt(f, last->offset + offsetof(RDPTagHeader, next), &next, sizeof next);
        });
    });
}

int SetTag(const char* file, int tag, int len, const void* buf)
{
    return SetTag(file, 0, tag, len, buf);
}

int GetSizeTag(const char* file, int layer, int tag)
{
    return WithFile(file, false, [&](plat::File& f) {
        RDPFileWalker walk(f);
        const auto p = FindPayload(walk, layer, tag);
        return p ? int(p->length) : 0;
    });
}

int GetSizeTag(const char* file, int tag)
{
    return GetSizeTag(file, 0, tag);
}

// A header whose number was met earlier along the chain ends GetNextTag and
// GetNextNoReservedTag with 0: a caller stepping by tag number would otherwise
// come back to that earlier header and go round for ever.
int GetNextTag(const char* file, int layer, int tag)
{
    return WithFile(file, false, [&](plat::File& f) {
        RDPFileWalker walk(f);
        RDPFileWalker::Trail trail;
        const auto h = walk.TagHeader(layer, tag, &trail);
        if (!h || !walk.Inside(h->fields.next) || trail.offsets.Has(h->fields.next))
            return 0;
        RDPTagHeader next{};
        if (!walk.ReadHeader(h->fields.next, next) || trail.tags.Has(next.tag))
            return 0;
        return int(next.tag);
    });
}

int GetNextTag(const char* file, int tag)
{
    return GetNextTag(file, 0, tag);
}

int GetNextNoReservedTag(const char* file, int layer, int tag)
{
    return WithFile(file, false, [&](plat::File& f) {
        RDPFileWalker walk(f);
        RDPFileWalker::Trail trail;
        const auto h = walk.TagHeader(layer, tag, &trail);
        if (!h)
            return 0;
        RDPTagHeader cur = h->fields;
        for (;;) {
            const std::int64_t at = cur.next;
            if (!walk.Inside(at) || !trail.offsets.Add(at) || !walk.ReadHeader(at, cur))
                return 0;
            const bool metBefore = !trail.tags.Add(cur.tag);
            if (cur.tag < kFirstUserTag)
                continue;
            UserTagPrefix prefix{};
            if (!walk.Inside(cur.payload) || !walk.ReadAt(cur.payload, &prefix, sizeof prefix))
                return 0;
            if (prefix.copyFlag == 0)
                continue;
            return metBefore ? 0 : int(cur.tag);
        }
    });
}

int GetNextNoReservedTag(const char* file, int tag)
{
    return GetNextNoReservedTag(file, 0, tag);
}

int GetNumTag(const char* file, int layer)
{
    return WithFile(file, false, [&](plat::File& f) { return RDPFileWalker(f).CountTags(layer); });
}

int GetNumTag(const char* file)
{
    return GetNumTag(file, 0);
}

int CopyTag(const char* dst, int dstLayer, const char* src, int srcLayer)
{
    const int n = GetNumTag(src, srcLayer);
    if (n == 0)
        return 0;
    std::vector<int> tags;
    try {
        for (int t = GetNextNoReservedTag(src, srcLayer, 0); t != 0 && int(tags.size()) < n;
             t = GetNextNoReservedTag(src, srcLayer, t))
            tags.push_back(t);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return tags.empty() ? 0 : CopyTag(dst, dstLayer, src, srcLayer, tags.data(), int(tags.size()));
}

int CopyTag(const char* dst, const char* src)
{
    return CopyTag(dst, 0, src, 0);
}

int CopyTag(const char* dst, int dstLayer, const char* src, int srcLayer, const int* tags, int count)
{
    if (tags == nullptr || count <= 0)
        return 0;
    std::vector<char> scratch;
    int written = 0;
    for (int i = 0; i < count; ++i) {
        const int size = GetSizeTag(src, srcLayer, tags[i]);
        if (size == 0)
            continue;
        try {
            if (scratch.size() < size_t(size))
                scratch.resize(size_t(size));
        } catch (const std::bad_alloc&) {
            continue;
        }
        if (GetTag(src, srcLayer, tags[i], size, scratch.data()) == 0)
            continue;
        written += SetTag(dst, dstLayer, tags[i], size, scratch.data());
    }
    return written;
}

int CopyTag(const char* dst, const char* src, const int* tags, int count)
{
    return CopyTag(dst, 0, src, 0, tags, count);
}

int DeleteTag(const char*, int, int)
{
    // The format has no deletion: a tag stays in its chain.
    return 0;
}

int DeleteTag(const char* file, int tag)
{
    return DeleteTag(file, 0, tag);
}
