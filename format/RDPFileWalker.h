#pragma once
// Walks along the chains of a raster layer file, open as a plat::File or mapped in
// memory. Every walk reads with complete-read checks, is bounded by the size taken
// when the walker was made (the file's, or the mapping's), and ends as not found on a
// chain that loops back to an earlier header or record. Read errors of a file throw
// plat::FileException*.
//
// Reads of an open file go through a few cached blocks: a walk meets one small
// record after another, mostly close together. Any change made through the same
// plat::File (a write, a new length) drops the blocks before the next read.

#include <cstdint>
#include <optional>
#include <unordered_set>

#include "platform/files/File.h"
#include "format/RDPFile.h"

// Offsets or tag numbers a walk has met. Chains are mostly short: the first ones
// are kept in place and searched in turn, without an allocation; a long chain
// goes on in a hash set.
template <class T>
class RDPWalkSet final {
public:
    // True when value was not met before; it is met from now on.
    bool Add(T value)
    {
        if (Has(value))
            return false;
        if (m_count < kInPlace)
            m_inPlace[m_count++] = value;
        else
            m_more.insert(value);
        return true;
    }
    bool Has(T value) const
    {
        for (int i = 0; i < m_count; ++i)
            if (m_inPlace[i] == value)
                return true;
        return !m_more.empty() && m_more.count(value) != 0;
    }

private:
    static constexpr int kInPlace = 32;
    T m_inPlace[kInPlace];
    int m_count = 0;
    std::unordered_set<T> m_more;
};

class RDPFileWalker final {
public:
    // A tag header and where it lies.
    struct Header {
        std::int64_t offset = 0;
        RDPTagHeader fields{};
    };
    // What a walk along a tag chain has met so far.
    struct Trail {
        RDPWalkSet<std::int64_t> offsets;
        RDPWalkSet<std::int32_t> tags;
    };

    // Reads the file header. Valid() only when the file holds at least
    // kRDPMinFileSize bytes and starts with the magic.
    explicit RDPFileWalker(plat::File& file);
    // The same walks over size bytes of a file's image in memory.
    RDPFileWalker(const void* image, std::int64_t size);
    RDPFileWalker(const RDPFileWalker&) = delete;
    RDPFileWalker& operator=(const RDPFileWalker&) = delete;

    bool Valid() const { return m_valid; }
    std::int32_t Version() const { return m_header.version; }
    std::int64_t Size() const { return m_size; }

    // Offset of the layer's first tag header.
    std::optional<std::int64_t> FirstTagHeader(int layer);
    // Offset of the layer's record (version 3 only).
    std::optional<std::int64_t> LayerRecord(int layer);
    // The first header carrying tag; its payload offset is not checked.
    std::optional<Header> TagPayload(int layer, int tag);
    // The first header carrying tag, matched before its next offset is looked at;
    // trail, when given, receives the headers walked, the match included.
    std::optional<Header> TagHeader(int layer, int tag, Trail* trail = nullptr);
    // The header whose next offset is 0 (where a new tag is linked).
    std::optional<Header> LastTagHeader(int layer);
    // Records along the chain; 0 for a broken chain or an unknown version.
    int CountLayers();
    // Headers along the layer's chain; 0 when the layer is absent or the chain broken.
    int CountTags(int layer);

    // True when n bytes at offset were read completely.
    bool ReadAt(std::int64_t offset, void* buf, unsigned n);
    bool ReadHeader(std::int64_t offset, RDPTagHeader& header) { return ReadAt(offset, &header, sizeof header); }

    // A next offset that leads somewhere inside the file.
    bool Inside(std::int64_t offset) const { return offset > 0 && offset <= m_size; }

private:
    enum class WalkStep {
        Found,
        Fail,
        Next
    };
    template <class Step>
    std::optional<Header> WalkTags(int layer, RDPWalkSet<std::int64_t>& visited, Step step);
    bool ReadCached(std::int64_t offset, unsigned char* out, unsigned n);

    // A block of the open file as last read; bytes counts what arrived.
    struct Block {
        std::int64_t start = -1;
        unsigned bytes = 0;
        unsigned lastUse = 0;
        unsigned char data[4096];
    };
    static constexpr unsigned kBlockSize = sizeof(Block::data);

    plat::File* m_file = nullptr;
    Block m_blocks[4];
    unsigned m_uses = 0;
    std::uint64_t m_fileChanges = 0;  // the file's change count the blocks were read at
    const unsigned char* m_image = nullptr;
    std::int64_t m_size = 0;
    RDPFileHeader m_header{};
    bool m_valid = false;
};
