#pragma once
// Whether a layer of a raster layer file can be bound. A binding writes the pixels,
// the statistics, the phase statistics and the preview in place, so each of those
// payloads must lie inside the file and overlap no file header, layer record, tag
// header or other tag payload of the file's chains: a row write can then never
// change the file's structure.

#include <cstdint>
#include <optional>
#include <vector>

#include "format/RDPFile.h"
#include "format/RDPFileWalker.h"

// Where the parts of a bindable layer lie (absolute offsets of payloads, each at
// its length word).
struct RDPLayerLayout {
    LayerHeaderTag fields{};  // tag 0 as stored
    int sampleSize = 0;
    std::int64_t header = 0;       // tag 0
    std::int64_t pixels = 0;       // the tag tag 0 names: length word, then the samples
    std::int64_t statistics = 0;   // tag 2
    std::int64_t phase = 0;        // tag 3; 0 when absent
    std::int64_t preview = 0;      // tag 4; 0 when absent
    std::int32_t phaseLength = 0;  // stored length of tag 3
};

// Why a layer cannot be bound.
enum class RDPLayoutFault {
    None,
    NoLayer,       // not a layer file, a broken or looping record chain, no such layer
    NoHeader,      // tag 0 missing or short
    BadShape,      // width, height or sample type unusable, or too large for the file
    NoPixels,      // the pixel tag missing or shorter than the samples
    NoStatistics,  // tag 2 missing or short
    BadPreview,    // tag 4 present but short or outside the file
    Overlap,       // a payload written in place overlaps the file's structure
};

// The structure of a whole file: its header, layer records, and every tag header and
// payload along the chains of its layers. Built once, it checks any of its layers.
class RDPLayoutMap final {
public:
    explicit RDPLayoutMap(RDPFileWalker& walk);

    // The layout of layer when it can be bound; otherwise nothing, with *why set.
    std::optional<RDPLayerLayout> Check(int layer, RDPLayoutFault* why = nullptr) const;
    // Layers along the record chain (0 when it is broken, as GetNumLayer counts).
    int Layers() const { return m_layers; }
    // Whether no link or payload along the chains reaches past the end of the file.
    // Bytes appended to a file where one does would be taken into that chain or
    // payload, changing a layer that was never written to.
    bool WithinFile() const { return m_withinFile; }
    // Whether the payload of the tag whose header is at header may be written over
    // [begin, end): the bytes meet no file header, layer record, tag header or other
    // payload.
    bool MayWritePayload(std::int64_t begin, std::int64_t end, std::int64_t header) const;
    // Whether the tag header at header may be changed (relinked): it meets no file
    // header, layer record, other tag header or payload.
    bool MayWriteHeader(std::int64_t header) const;
    // Whether the layer record at offset may be rewritten: it meets no tag header or
    // payload.
    bool MayWriteRecord(std::int64_t offset) const;

private:
    struct Region {
        std::int64_t begin = 0;
        std::int64_t end = 0;
    };
    struct Tag {
        std::int64_t header = 0;
        RDPTagHeader fields{};
        std::int32_t length = 0;  // stored length word; 0 when it cannot be read
    };

    std::optional<Tag> Find(int layer, std::int32_t tag) const;
    bool Overlaps(const Region& written, std::int64_t ownHeader) const;
    // Whether written meets the fixed regions, a tag header other than skipHeader, or
    // a payload other than that of payloadOf.
    bool Meets(const Region& written, std::int64_t skipHeader, std::int64_t payloadOf, bool fixed = true) const;

    RDPFileWalker& m_walk;
    int m_layers = 0;
    bool m_withinFile = true;
    std::vector<std::vector<Tag>> m_tags;  // per layer, in chain order
    std::vector<Region> m_fixed;           // file header and layer records
};

// One layer checked on its own.
std::optional<RDPLayerLayout> CheckLayer(RDPFileWalker& walk, int layer, RDPLayoutFault* why = nullptr);
