#include "format/RDPFileWalker.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the file's records are read as they lie");

namespace {

// Number of records in the chain from at; 0 when a record cannot be read, a link
// leaves the file or the chain loops. read(at, next) reads one record's link.
template <class Read>
int ChainLength(RDPFileWalker& walk, std::int64_t at, Read read)
{
    RDPWalkSet<std::int64_t> visited;
    int count = 0;
    while (visited.Add(at)) {
        std::int64_t next = 0;
        if (!read(at, next))
            return 0;
        ++count;
        if (next == 0)
            return count;
        if (!walk.Inside(next))
            return 0;
        at = next;
    }
    return 0;
}

}  // namespace

RDPFileWalker::RDPFileWalker(plat::File& file) : m_file(&file), m_fileChanges(file.Changes())
{
    m_size = file.GetLength();
    m_valid = m_size >= kRDPMinFileSize && ReadAt(0, &m_header, sizeof m_header) &&
              std::memcmp(m_header.magic, kRDPMagic, sizeof kRDPMagic) == 0;
}

RDPFileWalker::RDPFileWalker(const void* image, std::int64_t size)
    : m_image(static_cast<const unsigned char*>(image)), m_size(image ? std::max<std::int64_t>(size, 0) : 0)
{
    m_valid = m_size >= kRDPMinFileSize && ReadAt(0, &m_header, sizeof m_header) &&
              std::memcmp(m_header.magic, kRDPMagic, sizeof kRDPMagic) == 0;
}

bool RDPFileWalker::ReadAt(std::int64_t offset, void* buf, unsigned n)
{
    if (offset < 0 || offset + n > m_size)
        return false;
    if (m_image != nullptr) {
        std::memcpy(buf, m_image + offset, n);
        return true;
    }
    if (n == 0 || n > kBlockSize)
        return m_file->ReadAt(offset, buf, n) == n;
    // At most two blocks hold the bytes.
    auto* out = static_cast<unsigned char*>(buf);
    const std::int64_t split = std::min<std::int64_t>(offset + n, (offset / kBlockSize + 1) * kBlockSize);
    const unsigned first = unsigned(split - offset);
    return ReadCached(offset, out, first) && (first == n || ReadCached(split, out + first, n - first));
}

// n bytes at offset, all inside one block.
bool RDPFileWalker::ReadCached(std::int64_t offset, unsigned char* out, unsigned n)
{
    if (m_file->Changes() != m_fileChanges) {
        for (Block& b : m_blocks)
            b.start = -1;
        m_fileChanges = m_file->Changes();
    }
    const std::int64_t start = offset - offset % kBlockSize;
    Block* block = nullptr;
    for (Block& b : m_blocks)
        if (b.start == start)
            block = &b;
    if (block == nullptr) {
        block = &m_blocks[0];
        for (Block& b : m_blocks)
            if (b.lastUse < block->lastUse)
                block = &b;
        block->start = -1;
        block->bytes = m_file->ReadAt(start, block->data, unsigned(std::min<std::int64_t>(kBlockSize, m_size - start)));
        block->start = start;
    }
    block->lastUse = ++m_uses;
    const unsigned at = unsigned(offset - start);
    if (at + n > block->bytes)
        return false;
    std::memcpy(out, block->data + at, n);
    return true;
}

std::optional<std::int64_t> RDPFileWalker::FirstTagHeader(int layer)
{
    if (!m_valid)
        return std::nullopt;
    if (m_header.version == kRDPVersion2)
        return layer == 0 ? std::optional<std::int64_t>(sizeof(RDPFileHeader)) : std::nullopt;
    if (m_header.version != kRDPVersion3 || layer < 0)
        return std::nullopt;
    RDPWalkSet<std::int64_t> visited;
    std::int64_t at = sizeof(RDPFileHeader);
    while (visited.Add(at)) {
        RDPLayerRecord rec{};
        if (!ReadAt(at, &rec, sizeof rec))
            return std::nullopt;
        // A bad link fails the walk even when this is the record sought.
        if (rec.next != 0 && !Inside(rec.next))
            return std::nullopt;
        if (rec.number == layer)
            return Inside(rec.firstTag) ? std::optional<std::int64_t>(rec.firstTag) : std::nullopt;
        if (rec.next == 0)
            return std::nullopt;
        at = rec.next;
    }
    return std::nullopt;
}

std::optional<std::int64_t> RDPFileWalker::LayerRecord(int layer)
{
    if (!m_valid || m_header.version != kRDPVersion3 || layer < 0)
        return std::nullopt;
    RDPWalkSet<std::int64_t> visited;
    std::int64_t at = sizeof(RDPFileHeader);
    while (visited.Add(at)) {
        RDPLayerRecord rec{};
        if (!ReadAt(at, &rec, sizeof rec))
            return std::nullopt;
        if (rec.number == layer)
            return at;
        if (!Inside(rec.next))
            return std::nullopt;
        at = rec.next;
    }
    return std::nullopt;
}

// Follows the layer's tag chain until step says Found or Fail, a header cannot
// be read, a next offset leads outside the file or an offset comes round again.
template <class Step>
std::optional<RDPFileWalker::Header> RDPFileWalker::WalkTags(int layer, RDPWalkSet<std::int64_t>& visited,
                                                             Step step)
{
    const auto first = FirstTagHeader(layer);
    if (!first)
        return std::nullopt;
    Header h{*first, {}};
    while (visited.Add(h.offset)) {
        if (!ReadHeader(h.offset, h.fields))
            return std::nullopt;
        switch (step(h.fields)) {
        case WalkStep::Found:
            return h;
        case WalkStep::Fail:
            return std::nullopt;
        case WalkStep::Next:
            break;
        }
        if (!Inside(h.fields.next))
            return std::nullopt;
        h.offset = h.fields.next;
    }
    return std::nullopt;
}

std::optional<RDPFileWalker::Header> RDPFileWalker::TagPayload(int layer, int tag)
{
    RDPWalkSet<std::int64_t> visited;
    return WalkTags(layer, visited, [this, tag](const RDPTagHeader& fields) {
        if (fields.next != 0 && !Inside(fields.next))
            return WalkStep::Fail;
        if (fields.tag == tag)
            return WalkStep::Found;
        return fields.next == 0 ? WalkStep::Fail : WalkStep::Next;
    });
}

std::optional<RDPFileWalker::Header> RDPFileWalker::TagHeader(int layer, int tag, Trail* trail)
{
    Trail own;
    Trail& seen = trail ? *trail : own;
    return WalkTags(layer, seen.offsets, [&seen, tag](const RDPTagHeader& fields) {
        seen.tags.Add(fields.tag);
        return fields.tag == tag ? WalkStep::Found : WalkStep::Next;
    });
}

std::optional<RDPFileWalker::Header> RDPFileWalker::LastTagHeader(int layer)
{
    RDPWalkSet<std::int64_t> visited;
    return WalkTags(layer, visited,
                    [](const RDPTagHeader& fields) { return fields.next == 0 ? WalkStep::Found : WalkStep::Next; });
}

int RDPFileWalker::CountLayers()
{
    if (!m_valid)
        return 0;
    if (m_header.version == kRDPVersion2)
        return 1;
    if (m_header.version != kRDPVersion3)
        return 0;
    return ChainLength(*this, sizeof(RDPFileHeader), [this](std::int64_t at, std::int64_t& next) {
        RDPLayerRecord rec{};
        if (!ReadAt(at, &rec, sizeof rec))
            return false;
        next = rec.next;
        return true;
    });
}

int RDPFileWalker::CountTags(int layer)
{
    const auto first = FirstTagHeader(layer);
    if (!first)
        return 0;
    return ChainLength(*this, *first, [this](std::int64_t at, std::int64_t& next) {
        RDPTagHeader h{};
        if (!ReadHeader(at, h))
            return false;
        next = h.next;
        return true;
    });
}
