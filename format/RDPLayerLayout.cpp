#include "format/RDPLayerLayout.h"

#include <algorithm>

#include "format/SampleConvert.h"

namespace {

bool Intersect(std::int64_t b1, std::int64_t e1, std::int64_t b2, std::int64_t e2)
{
    return b1 < e2 && b2 < e1;
}

}  // namespace

RDPLayoutMap::RDPLayoutMap(RDPFileWalker& walk) : m_walk(walk)
{
    if (!walk.Valid())
        return;
    // Room for the usual few layers and tags at once: the map is made for every binding.
    constexpr size_t kUsual = 8;
    m_fixed.reserve(kUsual);
    m_fixed.push_back({0, std::int64_t(sizeof(RDPFileHeader))});

    // First tag header of each layer along the record chain.
    std::vector<std::int64_t> firsts;
    firsts.reserve(kUsual);
    if (walk.Version() == kRDPVersion2) {
        firsts.push_back(sizeof(RDPFileHeader));
    } else if (walk.Version() == kRDPVersion3) {
        RDPWalkSet<std::int64_t> visited;
        std::int64_t at = sizeof(RDPFileHeader);
        bool whole = false;
        while (visited.Add(at)) {
            RDPLayerRecord rec{};
            if (!walk.ReadAt(at, &rec, sizeof rec))
                break;
            m_fixed.push_back({at, at + std::int64_t(sizeof rec)});
            firsts.push_back(rec.firstTag);
            if (rec.next == 0) {
                whole = true;
                break;
            }
            if (!walk.Inside(rec.next))
                break;
            at = rec.next;
        }
        if (!whole)
            return;
    } else {
        return;
    }
    m_layers = int(firsts.size());

    // Every header and payload the chains reach, whatever layer they belong to.
    RDPWalkSet<std::int64_t> visited;
    const std::int64_t size = walk.Size();
    m_tags.reserve(firsts.size());
    for (std::int64_t at : firsts) {
        std::vector<Tag>& chain = m_tags.emplace_back();
        chain.reserve(kUsual);
        if (at > size)
            m_withinFile = false;
        while (walk.Inside(at) && visited.Add(at)) {
            Tag t{at, {}, 0};
            if (!walk.ReadHeader(at, t.fields)) {
                m_withinFile = false;
                break;
            }
            if (walk.Inside(t.fields.payload) && !walk.ReadAt(t.fields.payload, &t.length, sizeof t.length))
                t.length = 0;
            const std::int64_t payload = t.fields.payload;
            if (payload > size || (walk.Inside(payload) && payload + std::max<std::int64_t>(t.length, 4) > size))
                m_withinFile = false;
            chain.push_back(t);
            if (t.fields.next == 0)
                break;
            if (t.fields.next > size)
                m_withinFile = false;
            at = t.fields.next;
        }
    }
}

std::optional<RDPLayerLayout> RDPLayoutMap::Check(int layer, RDPLayoutFault* why) const
{
    auto fail = [why](RDPLayoutFault f) -> std::optional<RDPLayerLayout> {
        if (why)
            *why = f;
        return std::nullopt;
    };
    if (why)
        *why = RDPLayoutFault::None;
    if (m_layers == 0 || layer < 0 || layer >= m_layers)
        return fail(RDPLayoutFault::NoLayer);

    const std::int64_t size = m_walk.Size();
    // Payload of a tag with a length word of at least minLength, wholly inside the file.
    auto payload = [&](std::int32_t tag, std::int64_t minLength, std::int64_t& at, std::int64_t& header,
                       std::int32_t& length) {
        const auto h = Find(layer, tag);
        if (!h)
            return false;
        at = h->fields.payload;
        header = h->header;
        length = h->length;
        return at > 0 && length >= 4 && length >= minLength && at + std::int64_t(length) <= size;
    };

    RDPLayerLayout out;
    std::int64_t headerOfTag0 = 0, headerOfPixels = 0, headerOfStats = 0, headerOfPhase = 0, headerOfPreview = 0;
    std::int32_t length = 0;
    if (!payload(kTagLayerHeader, sizeof(LayerHeaderTag), out.header, headerOfTag0, length) ||
        !m_walk.ReadAt(out.header, &out.fields, sizeof out.fields))
        return fail(RDPLayoutFault::NoHeader);
    const LayerHeaderTag& f = out.fields;
    bool complex = false;
    sample::Dispatch(f.type, [&](auto kind) {
        out.sampleSize = decltype(kind)::size;
        complex = decltype(kind)::complex;
    });
    if (f.width <= 0 || f.height <= 0 || out.sampleSize == 0 ||
        std::int64_t(f.width) * f.height > size / out.sampleSize)
        return fail(RDPLayoutFault::BadShape);
    const std::int64_t pixelBytes = std::int64_t(f.width) * f.height * out.sampleSize;
    if (!payload(f.pixelTag, pixelBytes + 4, out.pixels, headerOfPixels, length))
        return fail(RDPLayoutFault::NoPixels);
    if (!payload(kTagStatistics, sizeof(StatisticsTag), out.statistics, headerOfStats, length))
        return fail(RDPLayoutFault::NoStatistics);
    const std::int32_t previewLength = complex ? kPreviewLengthComplex : kPreviewLengthReal;
    if (Find(layer, kTagPreview) && !payload(kTagPreview, previewLength, out.preview, headerOfPreview, length))
        return fail(RDPLayoutFault::BadPreview);
    // The phase statistics are written over their whole stored length; one that
    // cannot be reached is refused when it is written, not here.
    if (complex && !payload(kTagPhaseStatistics, 4, out.phase, headerOfPhase, out.phaseLength))
        out.phase = 0, out.phaseLength = 0;

    // What the binding writes in place, each with the header that owns it.
    struct Written {
        Region region;
        std::int64_t header;
    };
    std::vector<Written> written{
        {{out.pixels, out.pixels + 4 + pixelBytes}, headerOfPixels},
        {{out.statistics, out.statistics + std::int64_t(sizeof(StatisticsTag))}, headerOfStats}};
    if (out.phase)
        written.push_back({{out.phase, out.phase + out.phaseLength}, headerOfPhase});
    if (out.preview)
        written.push_back({{out.preview, out.preview + previewLength}, headerOfPreview});
    for (const Written& w : written)
        if (Overlaps(w.region, w.header))
            return fail(RDPLayoutFault::Overlap);
    // Nor may they overlap each other or tag 0 (a pixel tag numbered 0 or 2 names
    // one of those very payloads).
    written.push_back({{out.header, out.header + std::int64_t(sizeof(LayerHeaderTag))}, headerOfTag0});
    for (size_t i = 0; i < written.size(); ++i)
        for (size_t j = i + 1; j < written.size(); ++j)
            if (Intersect(written[i].region.begin, written[i].region.end, written[j].region.begin,
                          written[j].region.end))
                return fail(RDPLayoutFault::Overlap);
    return out;
}

// The first header carrying tag along the layer's chain, found as every walk
// finds it (the file's own walk, so that the rules for broken chains agree).
std::optional<RDPLayoutMap::Tag> RDPLayoutMap::Find(int layer, std::int32_t tag) const
{
    const auto h = m_walk.TagPayload(layer, tag);
    if (!h)
        return std::nullopt;
    Tag t{h->offset, h->fields, 0};
    if (!m_walk.Inside(t.fields.payload) || !m_walk.ReadAt(t.fields.payload, &t.length, sizeof t.length))
        t.length = 0;
    return t;
}

bool RDPLayoutMap::Overlaps(const Region& w, std::int64_t ownHeader) const
{
    return Meets(w, -1, ownHeader);
}

bool RDPLayoutMap::Meets(const Region& w, std::int64_t skipHeader, std::int64_t payloadOf, bool fixed) const
{
    for (const Region& r : m_fixed)
        if (fixed && Intersect(w.begin, w.end, r.begin, r.end))
            return true;
    const std::int64_t size = m_walk.Size();
    for (const auto& chain : m_tags) {
        for (const Tag& t : chain) {
            if (t.header != skipHeader &&
                Intersect(w.begin, w.end, t.header, t.header + std::int64_t(sizeof(RDPTagHeader))))
                return true;
            if (t.header == payloadOf || !m_walk.Inside(t.fields.payload))
                continue;
            // A payload whose length cannot be read covers at least its length word.
            const std::int64_t length = std::max<std::int64_t>(t.length, 4);
            const std::int64_t end = std::min(size, t.fields.payload + length);
            if (Intersect(w.begin, w.end, t.fields.payload, end))
                return true;
        }
    }
    return false;
}

bool RDPLayoutMap::MayWritePayload(std::int64_t begin, std::int64_t end, std::int64_t header) const
{
    return m_layers > 0 && !Overlaps({begin, end}, header);
}

bool RDPLayoutMap::MayWriteHeader(std::int64_t header) const
{
    return m_layers > 0 && !Meets({header, header + std::int64_t(sizeof(RDPTagHeader))}, header, -1);
}

bool RDPLayoutMap::MayWriteRecord(std::int64_t offset) const
{
    return m_layers > 0 && !Meets({offset, offset + std::int64_t(sizeof(RDPLayerRecord))}, -1, -1, false);
}

std::optional<RDPLayerLayout> CheckLayer(RDPFileWalker& walk, int layer, RDPLayoutFault* why)
{
    return RDPLayoutMap(walk).Check(layer, why);
}
