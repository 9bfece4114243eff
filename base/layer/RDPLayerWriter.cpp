#include "layer/RDPLayerWriter.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <iterator>
#include <vector>

#include "platform/errors/Exception.h"
#include "platform/files/File.h"
#include "platform/files/ReplacingFile.h"
#include "format/RDPFileWalker.h"
#include "format/RDPLayerLayout.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"

namespace rdpwrite {

namespace {

// Bytes from a layer's first tag header up to the pixels.
constexpr std::int64_t kHeadBytes = 2 * sizeof(RDPTagHeader) + sizeof(LayerHeaderTag) + sizeof(PixelDataTag);
// A fresh file leaves four bytes after the pixels that belong to no tag.
constexpr std::int64_t kFreshSpare = 4;

// The reserved tags behind the pixels, in chain order, with their payload lengths.
struct ReservedTag {
    std::int32_t tag;
    std::int32_t length;
};

std::vector<ReservedTag> ReservedTags(const LayerShape& shape)
{
    const bool complex = IsComplexType(shape.type) != 0;
    std::vector<ReservedTag> tags{{kTagStatistics, std::int32_t(sizeof(StatisticsTag))}};
    if (complex)
        tags.push_back({kTagPhaseStatistics, std::int32_t(sizeof(StatisticsTag))});
    if (shape.preview)
        tags.push_back({kTagPreview, complex ? kPreviewLengthComplex : kPreviewLengthReal});
    return tags;
}

// Bytes of a layer's tag chain, from its first tag header to its last payload's end.
std::int64_t ChainBytes(const LayerShape& shape, std::int64_t spare)
{
    std::int64_t n = kHeadBytes + shape.pixelBytes + spare;
    for (const ReservedTag& t : ReservedTags(shape))
        n += std::int64_t(sizeof(RDPTagHeader)) + t.length;
    return n;
}

template <class T>
void PutAt(plat::File& file, std::int64_t offset, const T& value)
{
    file.Seek(offset, plat::File::begin);
    file.Write(&value, sizeof value);
}

std::int32_t Offset(std::int64_t v)
{
    return std::int32_t(v);  // callers check the file's size against kRDPMaxFileSize first
}

// Writes a layer's tag chain at `at` into a file already holding zeros there: tags 0
// and 1, spare bytes behind the pixels, then the reserved tags. Every byte not
// written here stays zero, as the pixels, statistics and preview start.
void WriteChain(plat::File& file, std::int64_t at, const LayerShape& shape, std::int64_t spare)
{
    const std::int64_t tag0 = at + sizeof(RDPTagHeader);
    const std::int64_t header1 = tag0 + sizeof(LayerHeaderTag);
    const std::int64_t pixels = header1 + sizeof(RDPTagHeader);
    std::int64_t next = pixels + sizeof(PixelDataTag) + shape.pixelBytes + spare;

    PutAt(file, at, RDPTagHeader{kTagLayerHeader, Offset(tag0), Offset(header1)});
    PutAt(file, tag0,
          LayerHeaderTag{std::int32_t(sizeof(LayerHeaderTag)), shape.width, shape.height, shape.type, 0, kTagPixels});
    PutAt(file, header1, RDPTagHeader{kTagPixels, Offset(pixels), Offset(next)});
    PutAt(file, pixels, PixelDataTag{Offset(shape.pixelBytes + 4)});

    const std::vector<ReservedTag> tags = ReservedTags(shape);
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const std::int64_t header = next;
        const std::int64_t payload = header + sizeof(RDPTagHeader);
        next = i + 1 < tags.size() ? payload + tags[i].length : 0;
        PutAt(file, header, RDPTagHeader{tags[i].tag, Offset(payload), Offset(next)});
        PutAt(file, payload, tags[i].length);
    }
}

// Runs body; any failure of the file becomes false.
template <class Body>
bool Guarded(Body body)
{
    try {
        return body();
    } catch (plat::Exception* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
    return false;
}

struct ChainRecord {
    std::int64_t offset = 0;
    RDPLayerRecord fields{};
};

// The layer records of a version-3 file in chain order; empty for a broken or
// looping chain.
std::vector<ChainRecord> ReadChain(RDPFileWalker& walk)
{
    std::vector<ChainRecord> chain;
    if (!walk.Valid() || walk.Version() != kRDPVersion3)
        return chain;
    RDPWalkSet<std::int64_t> visited;
    std::int64_t at = sizeof(RDPFileHeader);
    while (visited.Add(at)) {
        ChainRecord r{at, {}};
        if (!walk.ReadAt(at, &r.fields, sizeof r.fields))
            break;
        chain.push_back(r);
        if (r.fields.next == 0)
            return chain;
        if (!walk.Inside(r.fields.next))
            break;
        at = r.fields.next;
    }
    return {};
}

// Whether the records are numbered 0, 1, 2 ... in chain order and lie apart from
// each other and from the file header: only then may one be rewritten without
// writing over another.
bool NumberedApart(const std::vector<ChainRecord>& chain)
{
    std::vector<std::int64_t> at;
    at.reserve(chain.size());
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (chain[i].fields.number != std::int32_t(i))
            return false;
        at.push_back(chain[i].offset);
    }
    std::sort(at.begin(), at.end());
    if (at.empty() || at.front() < std::int64_t(sizeof(RDPFileHeader)))
        return false;
    for (std::size_t i = 1; i < at.size(); ++i)
        if (at[i] - at[i - 1] < std::int64_t(sizeof(RDPLayerRecord)))
            return false;
    return true;
}

}  // namespace

std::optional<LayerShape> MakeShape(int width, int height, int type, bool preview)
{
    const int size = GetDataTypeSize(type);
    if (width < 1 || height < 1 || size == 0)
        return std::nullopt;
    return LayerShape{width, height, type, preview, std::int64_t(width) * height * size};
}

std::int64_t FreshFileSize(const LayerShape& shape)
{
    return std::int64_t(sizeof(RDPFileHeader) + sizeof(RDPLayerRecord)) + ChainBytes(shape, kFreshSpare);
}

bool WriteFreshFile(const char* path, const LayerShape& shape)
{
    const std::int64_t size = FreshFileSize(shape);
    if (path == nullptr || *path == '\0' || size > kRDPMaxFileSize)
        return false;
    return Guarded([&] {
        plat::ReplacingFile out(path);
        if (!WriteFreshLayer(out.Out(), shape))
            return false;
        out.Commit();
        return true;
    });
}

bool WriteFreshLayer(plat::File& f, const LayerShape& shape)
{
    const std::int64_t size = FreshFileSize(shape);
    if (size > kRDPMaxFileSize || !f.IsOpen())
        return false;
    return Guarded([&] {
        if (f.GetLength() != 0)
            return false;
        f.Reserve(size);
        RDPFileHeader header{{}, kRDPVersion3, 0};
        std::copy(std::begin(kRDPMagic), std::end(kRDPMagic), header.magic);
        PutAt(f, 0, header);
        const std::int64_t chain = sizeof(RDPFileHeader) + sizeof(RDPLayerRecord);
        PutAt(f, sizeof(RDPFileHeader), RDPLayerRecord{0, Offset(chain), 0, 1, 0});
        WriteChain(f, chain, shape, kFreshSpare);
        return true;
    });
}

std::optional<int> AppendLayer(const char* path, const LayerShape& shape)
{
    std::optional<int> result;
    Guarded([&] {
        plat::File f;
        if (!f.Open(path, plat::File::modeReadWrite))
            return false;
        RDPFileWalker walk(f);
        const std::vector<ChainRecord> chain = ReadChain(walk);
        if (chain.empty())
            return false;
        const int n = int(chain.size());
        // Linking behind a record that is not the last would cut off the layers after it.
        ChainRecord last = chain.back();
        if (!NumberedApart(chain))
            return false;
        // The new layer goes behind the end of the file: only where every layer lies
        // inside the file and over nothing else can no layer's rows reach it, and
        // only where no chain or payload reaches past the end can none take it in.
        const RDPLayoutMap layout(walk);
        if (!layout.WithinFile() || !layout.MayWriteRecord(last.offset))
            return false;
        for (int i = 0; i < n; ++i)
            if (!layout.Check(i))
                return false;
        const std::int64_t end = walk.Size();
        const std::int64_t grow = std::int64_t(sizeof(RDPLayerRecord)) + ChainBytes(shape, 0);
        if (end + grow > kRDPMaxFileSize)
            return false;
        const bool written = Guarded([&] {
            f.Reserve(end + grow);
            PutAt(f, end, RDPLayerRecord{n, Offset(end + sizeof(RDPLayerRecord)), 0, 1, 0});
            WriteChain(f, end + sizeof(RDPLayerRecord), shape, 0);
            // Last of all: until now no reader can reach the new layer.
            last.fields.next = Offset(end);
            PutAt(f, last.offset, last.fields);
            return true;
        });
        if (!written) {
            // A reservation that failed part-way may have grown the file.
            Guarded([&] {
                f.SetLength(end);
                return true;
            });
            return false;
        }
        f.Close();
        result = n;
        return true;
    });
    return result;
}

bool UnlinkLayer(const char* path, int layer)
{
    return Guarded([&] {
        plat::File f;
        if (!f.Open(path, plat::File::modeReadWrite))
            return false;
        RDPFileWalker walk(f);
        std::vector<ChainRecord> chain = ReadChain(walk);
        // Renumbering rewrites every record behind the one taken out.
        if (!NumberedApart(chain))
            return false;
        std::size_t b = 0;
        while (b < chain.size() && chain[b].fields.number != layer)
            ++b;
        if (b == chain.size())
            return false;
        // Nor may a record that is rewritten lie under a tag: the one before it (or
        // record 0, which takes layer 1's place) and those renumbered behind it.
        const RDPLayoutMap layout(walk);
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const bool written = b > 0 ? i == b - 1 || i > b : i == 0 || i > 1;
            if (written && !layout.MayWriteRecord(chain[i].offset))
                return false;
        }

        std::size_t renumberFrom = b + 1;
        if (b > 0) {
            ChainRecord& prev = chain[b - 1];
            prev.fields.next = b + 1 < chain.size() ? Offset(chain[b + 1].offset) : 0;
            PutAt(f, prev.offset, prev.fields);
        } else {
            // The chain must start at offset 12: layer 1's record moves there as layer 0.
            if (chain.size() < 2)
                return false;
            RDPLayerRecord first = chain[1].fields;
            first.number = 0;
            PutAt(f, chain[0].offset, first);
            renumberFrom = 2;
        }
        for (std::size_t i = renumberFrom; i < chain.size(); ++i) {
            chain[i].fields.number -= 1;
            PutAt(f, chain[i].offset, chain[i].fields);
        }
        f.Close();
        return true;
    });
}

}  // namespace rdpwrite
