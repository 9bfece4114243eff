#include "vector/VectorImage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "platform/paint/BufferedWindow.h"
#include "platform/paint/DeviceContext.h"
#include "GuardedCall.h"
#include "layer/RDPFileTags.h"

struct CVectorImage::LayerRecord {
    std::uint32_t colour;
    std::int32_t points;
    std::int32_t lines;
    std::int32_t firstPoint;
    std::int32_t firstLine;
    std::int32_t lastPoint;
    std::int32_t lastLine;
};

namespace {

struct BlockHeader {
    std::int32_t saved;     // used size, written at save
    std::int32_t copyFlag;  // 0: the copy-everything tag copy passes the overlay over
    std::int32_t reserved;
    std::int32_t layers;
    std::int32_t used;
};
static_assert(sizeof(BlockHeader) == CVectorImage::kHeaderSize);
static_assert(sizeof(CVectorImage::Point) == CVectorImage::kPointSize);
static_assert(sizeof(CVectorImage::Line) == 8);

constexpr const char* kGuardCaption = "Error";
constexpr std::int64_t kMaxBlock = INT_MAX;

BlockHeader* HeaderOf(unsigned char* block)
{
    return reinterpret_cast<BlockHeader*>(block);
}

std::int64_t LineSize(std::int64_t n)
{
    return 8 + 8 * n;
}

// Checks a block read from a file before anything of it is used: the header's
// counts, every record inside the used size and the layer records' area, every
// chain as long as its count and ending at its last link, no record shared or
// overlapping. Since the records then tile the data area exactly, new records go
// right behind them. Answers the recomputed used size, or 0 with why.
std::int64_t CheckBlock(const unsigned char* block, std::int64_t stored, std::string& why)
{
    if (stored < CVectorImage::kHeaderSize) {
        why = "the overlay is shorter than its 20-byte header";
        return 0;
    }
    BlockHeader h;
    std::memcpy(&h, block, sizeof h);
    if (h.layers < 0) {
        why = "the overlay's layer count is negative";
        return 0;
    }
    const std::int64_t data = CVectorImage::kHeaderSize + std::int64_t(CVectorImage::kLayerRecordSize) * h.layers;
    if (h.used < data || h.used > stored) {
        why = "the overlay's used size does not hold its layer records or exceeds the tag";
        return 0;
    }
    const std::int64_t used = h.used;

    struct Extent {
        std::int64_t start, end;
    };
    std::vector<Extent> records;
    std::int64_t total = data;
    auto fits = [&](std::int64_t at, std::int64_t size) { return at >= data && at <= used - size; };
    auto read32 = [&](std::int64_t at) {
        std::int32_t v;
        std::memcpy(&v, block + at, sizeof v);
        return v;
    };

    for (std::int32_t i = 0; i < h.layers; ++i) {
        const std::int64_t rec = CVectorImage::kHeaderSize + std::int64_t(CVectorImage::kLayerRecordSize) * i;
        const std::int32_t points = read32(rec + 4), lines = read32(rec + 8);
        const std::int32_t firstPoint = read32(rec + 12), firstLine = read32(rec + 16);
        const std::int32_t lastPoint = read32(rec + 20), lastLine = read32(rec + 24);
        const std::string layer = "layer " + std::to_string(i);
        if (points < 0 || lines < 0) {
            why = layer + " has a negative count";
            return 0;
        }
        // The records' total size bounds the walk, so neither a loop nor a count
        // beyond the block runs on.
        std::int64_t at = firstPoint, last = 0;
        for (std::int32_t k = 0; k < points; ++k) {
            if (!fits(at, CVectorImage::kPointSize)) {
                why = layer + ": point link " + std::to_string(at) + " leads outside the overlay's records";
                return 0;
            }
            total += CVectorImage::kPointSize;
            if (total > used) {
                why = layer + ": more records than the overlay holds";
                return 0;
            }
            records.push_back({at, at + CVectorImage::kPointSize});
            last = at;
            at = read32(at + 8);
        }
        if (at != 0 || lastPoint != last) {
            why = layer + ": the point chain does not match its count or its last link";
            return 0;
        }
        at = firstLine;
        last = 0;
        for (std::int32_t k = 0; k < lines; ++k) {
            if (!fits(at, 8)) {
                why = layer + ": line link " + std::to_string(at) + " leads outside the overlay's records";
                return 0;
            }
            const std::int32_t n = read32(at);
            if (n < 1 || !fits(at, LineSize(n))) {
                why = layer + ": a line of " + std::to_string(n) + " vertices does not fit the overlay";
                return 0;
            }
            total += LineSize(n);
            if (total > used) {
                why = layer + ": more records than the overlay holds";
                return 0;
            }
            records.push_back({at, at + LineSize(n)});
            last = at;
            at = read32(at + 4);
        }
        if (at != 0 || lastLine != last) {
            why = layer + ": the line chain does not match its count or its last link";
            return 0;
        }
    }
    std::sort(records.begin(), records.end(), [](const Extent& a, const Extent& b) { return a.start < b.start; });
    std::int64_t end = data;
    for (const Extent& r : records) {
        if (r.start < end) {
            why = "two records of the overlay overlap";
            return 0;
        }
        end = r.end;
    }
    // Disjoint records of this total size inside data..total: they fill it without gaps.
    if (end > total) {
        why = "the overlay's records leave gaps";
        return 0;
    }
    return total;
}

// A window position: truncated toward zero, limited so that sizes added to it stay ints.
constexpr double kPixelLimit = double(1 << 28);

int ToPixel(double v)
{
    return int(std::clamp(v, -kPixelLimit, kPixelLimit));
}

// Cuts the segment a-b to the square of kPixelLimit around the origin (parametric
// clipping); false when nothing of it lies inside or a coordinate is not finite.
bool ClipSegment(double& ax, double& ay, double& bx, double& by)
{
    if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by))
        return false;
    double t0 = 0.0, t1 = 1.0;
    const double dx = bx - ax, dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax + kPixelLimit, kPixelLimit - ax, ay + kPixelLimit, kPixelLimit - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1)
        return false;
    const double x0 = ax, y0 = ay;
    if (t1 < 1.0) {
        bx = x0 + t1 * dx;
        by = y0 + t1 * dy;
    }
    if (t0 > 0.0) {
        ax = x0 + t0 * dx;
        ay = y0 + t0 * dy;
    }
    return true;
}

}  // namespace

CVectorImage::LineRecord::LineRecord(const std::vector<VectorVertex>& vertices) : m_words(2 + 2 * vertices.size(), 0)
{
    m_words[0] = std::int32_t(vertices.size());
    if (!vertices.empty())
        std::memcpy(m_words.data() + 2, vertices.data(), vertices.size() * sizeof(VectorVertex));
}

CVectorImage::CVectorImage(plat::BufferedWindow* pWnd) : m_pWnd(pWnd) {}

CVectorImage::~CVectorImage() = default;

CVectorImage::LayerRecord* CVectorImage::Layer(int layer) const
{
    return reinterpret_cast<LayerRecord*>(m_pBlock.get() + kHeaderSize + std::size_t(kLayerRecordSize) * layer);
}

int CVectorImage::GetUsedSize() const
{
    return m_bOpen ? int(m_pEnd - m_pBlock.get()) : 0;
}

void CVectorImage::SetUsedSize(std::int64_t used)
{
    m_pEnd = m_pBlock.get() + used;
    HeaderOf(m_pBlock.get())->used = std::int32_t(used);
}

int CVectorImage::Create(const char* file, int size)
{
    if (m_bOpen || size < 0)
        return 0;
    // The header must fit whatever size is asked for.
    const int alloc = size == 0 ? kDefaultSize : std::max(size, int(kHeaderSize));
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[std::size_t(alloc)]);
    if (!block) {
        m_strReason = "no memory for the overlay";
        return 0;
    }
    std::memset(block.get(), 0, kHeaderSize);
    m_strFile = file ? file : "";
    m_pBlock = std::move(block);
    m_nAlloc = alloc;
    m_nLayers = 0;
    m_bOpen = 1;
    SetUsedSize(kHeaderSize);
    std::fill(m_PaintMode.begin(), m_PaintMode.end(), 0);
    m_nCurPoint = m_nCurLine = 0;
    m_strReason.clear();
    return 1;
}

int CVectorImage::Open(const char* file)
{
    if (m_bOpen || file == nullptr)
        return 0;
    return GuardedViewerCall(kGuardCaption, [&] {
        const int stored = GetSizeTag(file, kVectorTagNumber);
        if (stored <= 0) {
            m_strReason = "the file holds no vector overlay";
            return 0;
        }
        if (stored < kHeaderSize) {
            m_strReason = "the overlay is shorter than its 20-byte header";
            return 0;
        }
        const std::int64_t alloc = std::min<std::int64_t>((std::int64_t(stored) + 4095) / 4096 * 4096, kMaxBlock);
        std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[std::size_t(alloc)]);
        if (!block) {
            m_strReason = "no memory for the overlay";
            return 0;
        }
        if (!GetTag(file, kVectorTagNumber, stored, block.get())) {
            m_strReason = "the overlay cannot be read";
            return 0;
        }
        return Take(std::move(block), alloc, stored, file);
    });
}

int CVectorImage::OpenBytes(const void* data, int size, const char* file)
{
    if (m_bOpen || file == nullptr || (data == nullptr && size != 0))
        return 0;
    return GuardedViewerCall(kGuardCaption, [&] {
        if (size <= 0) {
            m_strReason = "the file holds no vector overlay";
            return 0;
        }
        if (size < kHeaderSize) {
            m_strReason = "the overlay is shorter than its 20-byte header";
            return 0;
        }
        const std::int64_t alloc = std::min<std::int64_t>((std::int64_t(size) + 4095) / 4096 * 4096, kMaxBlock);
        std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[std::size_t(alloc)]);
        if (!block) {
            m_strReason = "no memory for the overlay";
            return 0;
        }
        std::memcpy(block.get(), data, std::size_t(size));
        return Take(std::move(block), alloc, size, file);
    });
}

int CVectorImage::Take(std::unique_ptr<unsigned char[]> block, std::int64_t alloc, int stored, const char* file)
{
    std::string why;
    const std::int64_t used = CheckBlock(block.get(), stored, why);
    if (used == 0) {
        m_strReason = why;
        return 0;
    }
    const int layers = HeaderOf(block.get())->layers;
    if (std::size_t(layers) > m_PaintMode.size())
        m_PaintMode.resize(std::size_t(layers) + 5);
    std::fill(m_PaintMode.begin(), m_PaintMode.begin() + layers, 0);
    m_strFile = file;
    m_pBlock = std::move(block);
    m_nAlloc = int(alloc);
    m_nLayers = layers;
    m_bOpen = 1;
    // A shorter re-save in place leaves a stored length above the records' end;
    // what is added next goes right behind the records, where Save writes it.
    SetUsedSize(used);
    m_nCurPoint = m_nCurLine = 0;
    m_strReason.clear();
    return 1;
}

int CVectorImage::Save()
{
    if (!m_bOpen)
        return 0;
    return GuardedViewerCall(kGuardCaption, [&] {
        BlockHeader* h = HeaderOf(m_pBlock.get());
        h->saved = h->used;
        h->copyFlag = 0;
        h->reserved = 0;
        DeleteTag(m_strFile.c_str(), kVectorTagNumber);
        if (!SetTag(m_strFile.c_str(), kVectorTagNumber, h->used, m_pBlock.get())) {
            m_strReason = "the overlay cannot be written to " + m_strFile;
            return 0;
        }
        Destroy();
        m_strReason.clear();
        return 1;
    });
}

void CVectorImage::Destroy()
{
    m_pBlock.reset();
    m_pEnd = nullptr;
    m_nAlloc = 0;
    m_bOpen = 0;
    m_nLayers = 0;
    m_nCurPoint = m_nCurLine = 0;
}

int CVectorImage::Resize(int size)
{
    if (!m_bOpen || size < m_nAlloc)
        return 0;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[std::size_t(size)]);
    if (!block) {
        m_strReason = "no memory to grow the overlay";
        return 0;
    }
    const std::int64_t used = m_pEnd - m_pBlock.get();
    std::memcpy(block.get(), m_pBlock.get(), std::size_t(used));
    m_pBlock = std::move(block);
    m_pEnd = m_pBlock.get() + used;
    m_nAlloc = size;
    return 1;
}

// Room for bytes more behind the used size: at least one growth step, and as much as
// a large record needs. False, with nothing changed, when the block cannot hold it.
bool CVectorImage::Reserve(std::int64_t bytes)
{
    const std::int64_t need = std::int64_t(m_pEnd - m_pBlock.get()) + bytes;
    if (need > kMaxBlock) {
        m_strReason = "the overlay would exceed 2 GiB";
        return false;
    }
    if (need <= m_nAlloc)
        return true;
    const std::int64_t grown = std::min(std::max(std::int64_t(m_nAlloc) + kDefaultSize, need), kMaxBlock);
    return Resize(int(grown)) == 1;
}

unsigned char* CVectorImage::Append(std::int64_t bytes)
{
    if (!Reserve(bytes))
        return nullptr;
    unsigned char* at = m_pEnd;
    SetUsedSize(std::int64_t(m_pEnd - m_pBlock.get()) + bytes);
    return at;
}

int CVectorImage::AddLayer(plat::ColorRef colour)
{
    if (!m_bOpen)
        return 0;
    return GuardedViewerCall(kGuardCaption, [&] {
        if (!Reserve(kLayerRecordSize))
            return 0;
        const std::int64_t data = kHeaderSize + std::int64_t(kLayerRecordSize) * m_nLayers;
        const std::int64_t used = m_pEnd - m_pBlock.get();
        if (m_PaintMode.size() < std::size_t(m_nLayers) + 1)
            m_PaintMode.resize(std::size_t(m_nLayers) + 5, 0);
        unsigned char* b = m_pBlock.get();
        std::memmove(b + data + kLayerRecordSize, b + data, std::size_t(used - data));
        // Every record behind the layer records moved up by one record.
        for (int i = 0; i < m_nLayers; ++i) {
            LayerRecord* r = Layer(i);
            for (std::int32_t* link : {&r->firstPoint, &r->lastPoint, &r->firstLine, &r->lastLine}) {
                if (*link != 0)
                    *link += kLayerRecordSize;
            }
            for (std::int32_t at = r->firstPoint; at != 0;) {
                auto* p = reinterpret_cast<Point*>(b + at);
                if (p->next != 0)
                    p->next += kLayerRecordSize;
                at = p->next;
            }
            for (std::int32_t at = r->firstLine; at != 0;) {
                auto* l = reinterpret_cast<Line*>(b + at);
                if (l->next != 0)
                    l->next += kLayerRecordSize;
                at = l->next;
            }
        }
        const LayerRecord fresh{colour, 0, 0, 0, 0, 0, 0};
        std::memcpy(b + data, &fresh, sizeof fresh);
        SetUsedSize(used + kLayerRecordSize);
        m_PaintMode[std::size_t(m_nLayers)] = 0;
        HeaderOf(b)->layers = ++m_nLayers;
        m_nCurPoint = m_nCurLine = 0;
        return 1;
    });
}

int CVectorImage::Add(int layer, const Point& p)
{
    if (!HasLayer(layer))
        return 0;
    const Point copy{p.x, p.y, 0};  // p may lie in the block, which growth moves
    GuardedViewerCall(kGuardCaption, [&] {
        unsigned char* at = Append(kPointSize);
        if (!at)
            return 0;
        std::memcpy(at, &copy, sizeof copy);
        const std::int32_t offset = std::int32_t(at - m_pBlock.get());
        LayerRecord* r = Layer(layer);
        if (r->points == 0)
            r->firstPoint = offset;
        else
            reinterpret_cast<Point*>(m_pBlock.get() + r->lastPoint)->next = offset;
        r->lastPoint = offset;
        ++r->points;
        return 0;
    });
    return 0;
}

int CVectorImage::Add(int layer, const Line& l)
{
    if (!HasLayer(layer) || l.n < 1)
        return 0;
    GuardedViewerCall(kGuardCaption, [&] {
        // A line of this block (one handed out by the iteration) moves with it.
        const auto* source = reinterpret_cast<const unsigned char*>(&l);
        const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(source);
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(m_pBlock.get());
        const bool own = from >= base && from < reinterpret_cast<std::uintptr_t>(m_pEnd);
        const std::uintptr_t inside = from - base;
        const std::int32_t n = l.n;
        // The vertices are read only once the record is known to fit.
        unsigned char* at = Append(LineSize(n));
        if (!at)
            return 0;
        if (own)
            source = m_pBlock.get() + inside;
        const Line header{n, 0};
        std::memcpy(at, &header, sizeof header);
        std::memcpy(at + sizeof header, source + sizeof header, std::size_t(n) * sizeof(VectorVertex));
        const std::int32_t offset = std::int32_t(at - m_pBlock.get());
        LayerRecord* r = Layer(layer);
        if (r->lines == 0)
            r->firstLine = offset;
        else
            reinterpret_cast<Line*>(m_pBlock.get() + r->lastLine)->next = offset;
        r->lastLine = offset;
        ++r->lines;
        return 0;
    });
    return 0;
}

plat::ColorRef CVectorImage::GetColor(int layer) const
{
    return HasLayer(layer) ? Layer(layer)->colour : 0;
}

void CVectorImage::SetColor(int layer, plat::ColorRef colour)
{
    if (HasLayer(layer))
        Layer(layer)->colour = colour;
}

void CVectorImage::SetPaintMode(int mode, int layer)
{
    if (!m_bOpen)
        return;
    if (layer == -1)
        std::fill(m_PaintMode.begin(), m_PaintMode.begin() + m_nLayers, mode);
    else if (HasLayer(layer))
        m_PaintMode[std::size_t(layer)] = mode;
}

int CVectorImage::GetPaintMode(int layer) const
{
    return HasLayer(layer) ? m_PaintMode[std::size_t(layer)] : 0;
}

CVectorImage::Point* CVectorImage::SetFirstPoint(int layer)
{
    if (!HasLayer(layer))
        return nullptr;
    m_nCurPoint = Layer(layer)->firstPoint;
    return m_nCurPoint ? reinterpret_cast<Point*>(m_pBlock.get() + m_nCurPoint) : nullptr;
}

CVectorImage::Line* CVectorImage::SetFirstLine(int layer)
{
    if (!HasLayer(layer))
        return nullptr;
    m_nCurLine = Layer(layer)->firstLine;
    return m_nCurLine ? reinterpret_cast<Line*>(m_pBlock.get() + m_nCurLine) : nullptr;
}

CVectorImage::Point* CVectorImage::GetNextPoint()
{
    if (!m_bOpen || m_nCurPoint == 0)
        return nullptr;
    m_nCurPoint = reinterpret_cast<Point*>(m_pBlock.get() + m_nCurPoint)->next;
    return m_nCurPoint ? reinterpret_cast<Point*>(m_pBlock.get() + m_nCurPoint) : nullptr;
}

CVectorImage::Line* CVectorImage::GetNextLine()
{
    if (!m_bOpen || m_nCurLine == 0)
        return nullptr;
    m_nCurLine = reinterpret_cast<Line*>(m_pBlock.get() + m_nCurLine)->next;
    return m_nCurLine ? reinterpret_cast<Line*>(m_pBlock.get() + m_nCurLine) : nullptr;
}

int CVectorImage::LayerIsEmpty(int layer) const
{
    if (!HasLayer(layer))
        return 1;
    const LayerRecord* r = Layer(layer);
    return r->points == 0 && r->lines == 0 ? 1 : 0;
}

int CVectorImage::Paint(plat::DeviceContext* pDC, double zoom, CPoint origin, int layer)
{
    if (!m_bOpen || pDC == nullptr || !(zoom > 0.0) || !std::isfinite(zoom))
        return 0;
    if (layer == -1) {
        for (int i = 0; i < m_nLayers; ++i) {
            if (m_PaintMode[std::size_t(i)] != 0)
                PaintOneLayer(*pDC, zoom, origin, i);
        }
        return 1;
    }
    if (!HasLayer(layer))
        return 0;
    PaintOneLayer(*pDC, zoom, origin, layer);
    return 1;
}

int CVectorImage::Paint(double zoom, CPoint origin, int layer)
{
    if (!m_bOpen || m_pWnd == nullptr)
        return 0;
    plat::DeviceContext dc(*m_pWnd);
    return Paint(&dc, zoom, origin, layer);
}

void CVectorImage::PaintOneLayer(plat::DeviceContext& dc, double zoom, CPoint origin, int layer)
{
    // Wider than any window: a pen or square this size already covers it all.
    constexpr double kMaxSide = 1 << 16;
    const double inverse = 1.0 / zoom;
    const int s = inverse > 1.0 ? int(std::min(std::trunc(inverse), kMaxSide)) : 1;
    const plat::ColorRef colour = Layer(layer)->colour;
    const unsigned char* b = m_pBlock.get();
    auto wx = [&](float x) { return (double(x) - origin.x) / zoom; };
    auto wy = [&](float y) { return (double(y) - origin.y) / zoom; };

    for (std::int32_t at = Layer(layer)->firstPoint; at != 0;) {
        const auto* p = reinterpret_cast<const Point*>(b + at);
        at = p->next;
        const double x = wx(p->x), y = wy(p->y);
        if (!std::isfinite(x) || !std::isfinite(y))
            continue;
        const int px = ToPixel(x), py = ToPixel(y);
        if (s == 1)
            dc.SetPixel(px, py, colour);
        else
            dc.FillRect(plat::Rect{px, py, px + s, py + s}, colour);
    }

    const plat::Pen old = dc.SelectPen(plat::Pen{plat::Pen::Solid, s, colour});
    for (std::int32_t at = Layer(layer)->firstLine; at != 0;) {
        const auto* l = reinterpret_cast<const Line*>(b + at);
        at = l->next;
        const VectorVertex* v = l->Vertices();
        for (std::int32_t j = 0; j + 1 < l->n; ++j) {
            double ax = wx(v[j].x), ay = wy(v[j].y), bx = wx(v[j + 1].x), by = wy(v[j + 1].y);
            if (!ClipSegment(ax, ay, bx, by))
                continue;
            dc.MoveTo(ToPixel(ax), ToPixel(ay));
            dc.LineTo(ToPixel(bx), ToPixel(by));
        }
    }
    dc.SelectPen(old);
}
