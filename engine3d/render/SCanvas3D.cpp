#include "engine3d/render/SCanvas3D.h"

#include "engine3d/model/GeneralProc.h"
#include "platform/threads/ParallelFor.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::int64_t kRasterStep = 65536;
constexpr std::int64_t kEdgeStep = 16384;
constexpr std::int64_t kColorTableBytes = std::int64_t(kColorTableEntries) * 4;
// Sizes are computed in 64 bits; one block never exceeds what an int32 counts.
constexpr std::int64_t kMaxBlock = INT32_MAX;

std::atomic<TSObjectsList*> gCanvases{nullptr};
std::atomic<std::uint64_t> gCanvasCounter{0};

std::int64_t RoundUp(std::int64_t Value, std::int64_t Step)
{
    return (Value + Step - 1) / Step * Step;
}

// realloc within the library's limits; nullptr frees and answers nullptr.
void* Realloc(void* Old, std::int64_t Size)
{
    if (Size <= 0) {
        std::free(Old);
        return nullptr;
    }
    if (Size > kMaxBlock)
        throw EOutOfMemory();
    void* block = std::realloc(Old, static_cast<std::size_t>(Size));
    if (block == nullptr)
        throw EOutOfMemory();
    return block;
}

std::string CanvasName()
{
    const std::uint64_t n = gCanvasCounter.fetch_add(1);
    const auto tick =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return "TSCanvas3D #" + std::to_string(n) + "/ PrID #" + std::to_string(::getpid()) + "/ ThID #" +
           std::to_string(::syscall(SYS_gettid)) + "/ Time #" + std::to_string(static_cast<std::uint32_t>(tick));
}

// Value fields of plane k (0-based) on one side (0 left, 1 right) of an edge row.
constexpr int ValueField(int Plane, int Side)
{
    return efValue + 2 * Plane + Side;
}

}  // namespace

// A window of the canvas, inside the clip: inclusive columns and rows.
struct TSCanvas3D::Window {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

// The rows of one triangle: RowMin..RowMax as the whole canvas scans it,
// First..Last those written now, Edges the edge row of row First.
struct TSCanvas3D::RowSpan {
    std::int32_t RowMin = 0;
    std::int32_t RowMax = 0;
    std::int32_t First = 0;
    std::int32_t Last = 0;
    TSEdgeRow* Edges = nullptr;
};

namespace {

enum : std::uint8_t { pkPoint = 1, pkLine = 2, pkTriangle = 3 };

// A flush is due at this many queued primitives, or when their boxes cover
// this many pixels, so that a flush stays short.
constexpr std::size_t kQueueLimit = std::size_t(1) << 18;
constexpr std::int64_t kQueueArea = std::int64_t(1) << 24;
constexpr std::int32_t kTileSide = 64;

}  // namespace

struct TSCanvas3D::Queue {
    struct Primitive {
        TSCanvasPoint P[3];
        std::int32_t Left, Top, Right, Bottom;  // tiles touched, in tile columns and rows
        std::uint8_t Kind;
        std::uint8_t Smooth;
    };
    // The queue is binned in slices, each by one thread; a tile draws the
    // slices' lists in order, so its primitives keep the order they came in.
    struct Slice {
        std::vector<std::vector<std::uint32_t>> Bins;  // per tile
        std::vector<std::int32_t> Used;                // tiles with primitives
    };
    std::unique_ptr<Primitive[]> Items;  // kQueueLimit places
    std::size_t Count = 0;
    std::vector<Slice> Slices;
    std::vector<std::uint8_t> TileUsed;            // per tile, during a flush
    std::vector<std::int32_t> Used;                // tiles with primitives
    std::vector<std::int32_t> ColumnTile;          // per column of the clip
    std::vector<std::int32_t> RowTile;             // per row of the clip
    std::vector<std::vector<TSEdgeRow>> Edges;     // per thread slot
    TSCanvasClip Clip;
    std::int32_t AskedWidth = 0;
    std::int32_t AskedHeight = 0;
    std::int32_t TileWidth = 0;
    std::int32_t TileHeight = 0;
    std::int32_t TileColumns = 0;
    std::int32_t TileRows = 0;
    int Threads = 1;
    std::int64_t Area = 0;
};

TSObjectsList* GlobalCanvasesList()
{
    return gCanvases.load();
}

void SCanvas3DInitialization()
{
    if (gCanvases.load() != nullptr)
        return;
    auto* list = new TSObjectsList("Global List of SCanvas3D");
    TSObjectsList* expected = nullptr;
    if (!gCanvases.compare_exchange_strong(expected, list))
        delete list;
}

void SCanvas3DFinalization()
{
    delete gCanvases.exchange(nullptr);
}

// ---------------------------------------------------------------------------
// TSCanvas3D

constinit const TSClassInfo TSCanvas3D::ClassInfo{"TSCanvas3D", &TPersistent::ClassInfo, nullptr};

TSCanvas3D::TSCanvas3D() : m_name(CanvasName())
{
    ResetBuffers();
    if (TSObjectsList* list = gCanvases.load())
        list->Add(this);
}

TSCanvas3D::~TSCanvas3D()
{
    if (TSObjectsList* list = gCanvases.load())
        list->Remove(this);
    std::lock_guard guard(m_lock);
    FreeAll();
}

void TSCanvas3D::FreeAll()
{
    std::free(m_zBuffer.Data);
    for (auto& plane : m_planes)
        std::free(plane.Data);
    std::free(m_edges.Data);
    for (auto& table : m_colorTables)
        std::free(table.Data);
    ResetBuffers();
}

void TSCanvas3D::ResetBuffers()
{
    auto forget = [](TSCanvasBuffer& B) {
        B.Data = nullptr;
        B.AllocSize = 0;
        B.Width = 0;
        B.Height = 0;
        B.RowBytes = 0;
    };
    forget(m_zBuffer);
    for (auto& plane : m_planes)
        forget(plane);
    m_edges = {};
    for (auto& table : m_colorTables)
        table = {};
}

void TSCanvas3D::SetReleased(bool Release)
{
    std::lock_guard guard(m_lock);
    if (Release == m_released)
        return;
    if (Release) {
        DropQueue();
        FreeAll();
        m_released = true;
        return;
    }
    m_released = false;
    ResetBuffers();
    Reallocate(m_width, m_height);
}

void TSCanvas3D::Resize(std::int32_t Width, std::int32_t Height)
{
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    std::lock_guard guard(m_lock);
    if (Width == m_width && Height == m_height)
        return;
    Reallocate(Width, Height);
}

void TSCanvas3D::Reallocate(std::int32_t Width, std::int32_t Height)
{
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    std::lock_guard guard(m_lock);
    if (m_released) {
        m_width = Width;
        m_height = Height;
        SetReleased(false);
        return;
    }
    DropQueue();
    try {
        ResizeBuffer(m_zBuffer, Width, Height, static_cast<std::uint32_t>(m_limits.Far));
        ResizeBlock(m_edges, RoundUp((std::int64_t(Height) + 1) * std::int64_t(sizeof(TSEdgeRow)), kEdgeStep));
        // Rows the triangle filler has not written since hold columns inside
        // every canvas, never stale ones of a larger size.
        std::memset(m_edges.Data, 0, static_cast<std::size_t>(m_edges.Size));
        if (!m_planes[0].Exists && !m_planes[1].Exists && !m_planes[2].Exists)
            m_planes[0].Exists = true;
        for (int k = 0; k < 3; ++k) {
            if (!m_planes[k].Exists)
                continue;
            ResizeBuffer(m_planes[k], Width, Height, 0xFFFFFFFFu);
            if (m_colorTables[k].Size != kColorTableBytes)
                BuildColorTable(k + 1, nullptr);
        }
    } catch (...) {
        SetReleased(true);
        throw;
    }
    m_width = Width;
    m_height = Height;
    m_clip.Left = std::max(0, m_limits.XMin);
    m_clip.Top = std::max(0, m_limits.YMin);
    m_clip.Right = std::min(m_width - 1, m_limits.XMax);
    m_clip.Bottom = std::min(m_height - 1, m_limits.YMax);
    if (m_tiled)
        PlanTiles();
}

void TSCanvas3D::ResizeBuffer(TSCanvasBuffer& Buffer, std::int32_t Width, std::int32_t Height, std::uint32_t Fill)
{
    if (m_released)
        return;
    const std::int64_t rowBytes = RoundUp(std::int64_t(Buffer.ElementSize) * Width, 16);
    if (Height == Buffer.Height && rowBytes == Buffer.RowBytes)
        return;
    const std::int64_t allocSize = RoundUp(std::int64_t(Height) * rowBytes, kRasterStep);
    const std::int64_t oldRowBytes = Buffer.RowBytes;
    const std::int64_t keptRows = Buffer.Data != nullptr ? std::min<std::int64_t>(Buffer.Height, Height) : 0;
    const std::int64_t keptBytes = std::min(oldRowBytes, rowBytes);
    try {
        if (allocSize == 0) {
            Realloc(Buffer.Data, 0);
            Buffer.Data = nullptr;
        } else {
            if (allocSize > kMaxBlock)
                throw EOutOfMemory();
            if (rowBytes < oldRowBytes)
                for (std::int64_t r = 1; r < keptRows; ++r)
                    std::memmove(Buffer.Data + r * rowBytes, Buffer.Data + r * oldRowBytes, keptBytes);
            if (Buffer.Data == nullptr || allocSize != Buffer.AllocSize)
                Buffer.Data = static_cast<unsigned char*>(Realloc(Buffer.Data, allocSize));
            if (rowBytes > oldRowBytes)
                for (std::int64_t r = keptRows - 1; r >= 1; --r)
                    std::memmove(Buffer.Data + r * rowBytes, Buffer.Data + r * oldRowBytes, keptBytes);
            if (rowBytes > keptBytes && keptRows > 0)
                FillPattern2D(Buffer.Data + keptBytes, rowBytes - keptBytes, keptRows, rowBytes, Fill);
            if (Height > keptRows)
                FillPattern2D(Buffer.Data + keptRows * rowBytes, rowBytes, Height - keptRows, rowBytes, Fill);
        }
    } catch (...) {
        std::free(Buffer.Data);
        Buffer.Data = nullptr;
        Buffer.AllocSize = 0;
        throw;
    }
    Buffer.AllocSize = allocSize;
    Buffer.Width = Width;
    Buffer.Height = Height;
    Buffer.RowBytes = rowBytes;
}

void TSCanvas3D::ResizeBlock(TSCanvasBlock& Block, std::int64_t Size)
{
    if (Size <= 0) {
        std::free(Block.Data);
        Block = {};
        return;
    }
    if (Block.Data != nullptr && Size == Block.Size)
        return;
    try {
        Block.Data = Realloc(Block.Data, Size);
    } catch (...) {
        std::free(Block.Data);
        Block = {};
        throw;
    }
    Block.Size = Size;
}

void TSCanvas3D::Clear()
{
    std::lock_guard guard(m_lock);
    if (m_released)
        return;
    const std::int64_t rows = m_zBuffer.Data != nullptr ? m_zBuffer.Height : 0;
    std::int64_t bytes = m_zBuffer.RowBytes * rows;
    for (const auto& plane : m_planes)
        if (plane.Exists && plane.Data != nullptr)
            bytes += plane.RowBytes * plane.Height;
    const auto far = static_cast<std::uint32_t>(m_limits.Far);
    plat::ParallelFor(rows, 64, plat::ParallelThreadsFor(bytes), [&](std::int64_t Begin, std::int64_t End, int) {
        FillPattern2D(m_zBuffer.Data + Begin * m_zBuffer.RowBytes, m_zBuffer.RowBytes, End - Begin,
                      m_zBuffer.RowBytes, far);
        for (auto& plane : m_planes)
            if (plane.Exists && plane.Data != nullptr && Begin < plane.Height)
                std::memset(plane.Data + Begin * plane.RowBytes, 0xFF,
                            static_cast<std::size_t>(plane.RowBytes *
                                                     (std::min<std::int64_t>(End, plane.Height) - Begin)));
    });
    for (auto& plane : m_planes)
        if (plane.Exists && plane.Data != nullptr && plane.Height > rows)
            std::memset(plane.Data + rows * plane.RowBytes, 0xFF,
                        static_cast<std::size_t>(plane.RowBytes * (plane.Height - rows)));
}

bool TSCanvas3D::GetChannelEnabled(std::int32_t Channel) const
{
    return Channel >= 1 && Channel <= 3 && m_planes[Channel - 1].Exists;
}

void TSCanvas3D::SetChannelEnabled(std::int32_t Channel, bool Enabled)
{
    if (Channel < 1 || Channel > 3)
        return;
    std::lock_guard guard(m_lock);
    TSCanvasBuffer& plane = m_planes[Channel - 1];
    if (plane.Exists == Enabled || m_released)
        return;
    if (!Enabled) {
        ResizeBuffer(plane, 0, 0, 0);
        ResizeBlock(m_colorTables[Channel - 1], 0);
        plane.Exists = false;
        return;
    }
    try {
        plane.Exists = true;
        ResizeBuffer(plane, m_width, m_height, 0);
        BuildColorTable(Channel, nullptr);
    } catch (...) {
        plane.Exists = false;
        throw;
    }
}

std::uint32_t* TSCanvas3D::GetColorTable(std::int32_t Channel) const
{
    if (Channel < 1 || Channel > 3)
        return nullptr;
    return static_cast<std::uint32_t*>(m_colorTables[Channel - 1].Data);
}

std::uint32_t TSCanvas3D::DefaultColor(const TSCanvas3D& Canvas, std::int32_t Index)
{
    if (Index == kBackgroundIndex)
        return Canvas.m_background;
    if (Index >= 1 && Index <= 32768)
        return static_cast<std::uint32_t>(Index - 1) >> 8;
    return 0;
}

void TSCanvas3D::BuildColorTable(std::int32_t Channel, std::uint32_t (*Fn)(const TSCanvas3D&, std::int32_t))
{
    std::lock_guard guard(m_lock);
    if (Channel < 1 || Channel > 3 || m_released || !m_planes[Channel - 1].Exists)
        return;
    TSCanvasBlock& table = m_colorTables[Channel - 1];
    ResizeBlock(table, kColorTableBytes);
    if (Fn == nullptr)
        Fn = &DefaultColor;
    auto* entries = static_cast<std::uint32_t*>(table.Data);
    for (std::int32_t i = 0; i < kColorTableEntries; ++i)
        entries[i] = Fn(*this, i);
}

void TSCanvas3D::SetBackgroundPixel(std::uint32_t Value)
{
    std::lock_guard guard(m_lock);
    if (Value == m_background)
        return;
    m_background = Value;
    if (m_released)
        return;
    for (auto& table : m_colorTables)
        if (table.Size == kColorTableBytes)
            static_cast<std::uint32_t*>(table.Data)[kBackgroundIndex] = Value;
}

void TSCanvas3D::SetBackgroundChannels(std::uint32_t C1, std::uint32_t C2, std::uint32_t C3,
                                       const TSBitLayoutEntry* Layout)
{
    const std::uint32_t channels[3] = {C1, C2, C3};
    std::uint32_t value = 0;
    for (int i = 0; i < kBitLayoutSize; ++i) {
        const std::int32_t c = Layout[i].Channel;
        if (c >= 1 && c <= 3 && ((channels[c - 1] >> (Layout[i].Bit & 31)) & 1u))
            value |= 1u << i;
    }
    SetBackgroundPixel(value);
}

namespace {

constexpr std::int32_t kCurveEntries = 32769;

// The curve's values at 0..32768 into Values; false when it contributes nothing.
bool EvaluateCurve(const TSCnv3DIITransformer* Curve, std::int32_t* Values)
{
    if (Curve == nullptr)
        return false;
    const TSHeldLock<TSCnv3DIITransformer> held(*Curve);
    const std::int32_t count = Curve->Count();
    if (count < 1)
        return false;
    const TSIntPair* p = Curve->Points();
    const TSIntPair first = p[0];
    const TSIntPair last = p[count - 1];
    if (count == 1 || first.X >= 32768) {
        std::fill(Values, Values + kCurveEntries, first.Y);
        return true;
    }
    if (last.X <= 0) {
        std::fill(Values, Values + kCurveEntries, last.Y);
        return true;
    }
    for (std::int32_t i = 0; i + 1 < count; ++i) {
        std::int32_t x0 = p[i].X, y0 = p[i].Y;
        std::int32_t x1 = p[i + 1].X, y1 = p[i + 1].Y;
        if (x1 < 0 || x0 > 32768 || x0 > x1)
            continue;
        if (x0 < 0) {
            x0 = 0;
            y0 = Curve->Evaluate(0);
        }
        if (x1 > 32768) {
            x1 = 32768;
            y1 = Curve->Evaluate(32768);
        }
        FillLinearRun(Values, x0, y0, x1, y1);
    }
    std::fill(Values, Values + std::clamp<std::int32_t>(first.X, 0, kCurveEntries), first.Y);
    if (last.X < 32768)
        std::fill(Values + last.X + 1, Values + kCurveEntries, last.Y);
    return true;
}

}  // namespace

void TSCanvas3D::SetChannelCurves(std::int32_t Channel, const TSCnv3DIITransformer* Curve1,
                                  const TSCnv3DIITransformer* Curve2, const TSCnv3DIITransformer* Curve3,
                                  const TSBitLayoutEntry* Layout)
{
    std::uint32_t masks[3][16] = {};
    for (int i = 0; i < kBitLayoutSize; ++i) {
        const std::int32_t c = Layout[i].Channel;
        const std::int32_t b = Layout[i].Bit;
        if (c >= 1 && c <= 3 && b >= 0 && b <= 15)
            masks[c - 1][b] |= 1u << i;
    }
    if (Channel < 1 || Channel > 3)
        return;
    std::lock_guard guard(m_lock);
    if (m_released || !m_planes[Channel - 1].Exists)
        return;
    std::vector<std::int32_t> values;
    try {
        values.resize(kCurveEntries);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    ResizeBlock(m_colorTables[Channel - 1], kColorTableBytes);
    auto* table = static_cast<std::uint32_t*>(m_colorTables[Channel - 1].Data);
    std::fill(table, table + kColorTableEntries, 0u);
    const TSCnv3DIITransformer* curves[3] = {Curve1, Curve2, Curve3};
    for (int k = 0; k < 3; ++k)
        if (EvaluateCurve(curves[k], values.data()))
            ScatterChannelBits(reinterpret_cast<const std::uint32_t*>(values.data()), table, masks[k], kCurveEntries);
    table[kBackgroundIndex] = m_background;
}

void TSCanvas3D::PaintTo(const TSPaintTarget* Target, std::int32_t SrcX, std::int32_t SrcY, std::int32_t DstX,
                         std::int32_t DstY, std::int32_t Width, std::int32_t Height)
{
    if (Target == nullptr)
        return;
    std::lock_guard guard(m_lock);
    // Origins left of or above 0 move in; the size shrinks by as much.
    std::int64_t w = Width, h = Height;
    std::int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY;
    if (const std::int64_t m = std::min(sx, dx); m < 0) {
        w += m;
        sx -= m;
        dx -= m;
    }
    if (const std::int64_t m = std::min(sy, dy); m < 0) {
        h += m;
        sy -= m;
        dy -= m;
    }
    w = std::min({w, std::int64_t(Target->Width) - dx, std::int64_t(m_width) - sx});
    h = std::min({h, std::int64_t(Target->Height) - dy, std::int64_t(m_height) - sy});
    const std::int32_t bpp = Target->BytesPerPixel;
    // A target whose rows cannot hold its width takes nothing.
    if (w <= 0 || h <= 0 || Target->Bits == nullptr || bpp < 1 || bpp > 4 ||
        Target->RowBytes < std::int64_t(Target->Width) * bpp)
        return;
    auto* dst = static_cast<unsigned char*>(Target->Bits) + dy * Target->RowBytes + dx * bpp;
    static constexpr void (*kBlits[4])(const void*, void*, const std::uint32_t*, std::int32_t, std::int32_t,
                                       std::ptrdiff_t, std::ptrdiff_t) = {&BlitIndices8, &BlitIndices16, &BlitIndices24,
                                                                          &BlitIndices32};
    const bool released = m_released;
    const std::int64_t bytes = w * h * (bpp + 6);
    // Row blocks: each cleared and painted while it is in the cache.
    plat::ParallelFor(h, 32, plat::ParallelThreadsFor(bytes), [&](std::int64_t Begin, std::int64_t End, int) {
        unsigned char* out = dst + Begin * Target->RowBytes;
        FillPattern2D(out, w * bpp, End - Begin, Target->RowBytes, 0);
        if (released)
            return;
        for (int k = 0; k < 3; ++k) {
            const TSCanvasBuffer& plane = m_planes[k];
            const auto* table = static_cast<const std::uint32_t*>(m_colorTables[k].Data);
            if (!plane.Exists || plane.Data == nullptr || table == nullptr)
                continue;
            const unsigned char* src = plane.Data + (sy + Begin) * plane.RowBytes + sx * 2;
            kBlits[bpp - 1](src, out, table, std::int32_t(w), std::int32_t(End - Begin), plane.RowBytes,
                            Target->RowBytes);
        }
    });
}

[[gnu::always_inline]] inline std::int32_t TSCanvas3D::PlaneValue(std::int32_t Plane, const TSCanvasPoint& P) const
{
    const TSChannelMix& mix = m_mix[Plane];
    if (mix.Enabled) {
        const std::int32_t row[3] = {mix.K1, mix.K2, mix.K3};
        return MixChannels(row, &P);
    }
    return (&P.C1)[Plane];
}

void TSCanvas3D::DrawPointIn(const TSCanvasPoint& P, const Window& W) const
{
    if (P.X < W.Left || P.X > W.Right || P.Y < W.Top || P.Y > W.Bottom)
        return;
    if (P.Z < m_limits.Near || P.Z > m_limits.Far)
        return;
    auto* z = reinterpret_cast<std::int32_t*>(m_zBuffer.Data + P.Y * m_zBuffer.RowBytes) + P.X;
    if (P.Z > *z)
        return;
    *z = P.Z;
    for (int k = 0; k < 3; ++k) {
        const TSCanvasBuffer& plane = m_planes[k];
        if (plane.Exists)
            reinterpret_cast<std::uint16_t*>(plane.Data + P.Y * plane.RowBytes)[P.X] =
                static_cast<std::uint16_t>(PlaneValue(k, P));
    }
}

void TSCanvas3D::DrawPoint(const TSCanvasPoint& P)
{
    if (m_released)
        return;
    if (P.X < m_clip.Left || P.X > m_clip.Right || P.Y < m_clip.Top || P.Y > m_clip.Bottom)
        return;
    if (P.Z < m_limits.Near || P.Z > m_limits.Far)
        return;
    if (m_tiled) {
        Enqueue(pkPoint, &P, nullptr, nullptr, P.X, P.Y, P.X, P.Y);
        return;
    }
    DrawPointIn(P, {m_clip.Left, m_clip.Top, m_clip.Right, m_clip.Bottom});
}

void TSCanvas3D::DrawLineIn(const TSCanvasPoint& P1, const TSCanvasPoint& P2, bool SmoothLine, const Window& W) const
{
    TSCanvasPoint a = P1, b = P2;
    for (int k = 0; k < 3; ++k) {
        if (!m_planes[k].Exists)
            continue;
        std::int32_t va = PlaneValue(k, P1), vb = PlaneValue(k, P2);
        if (!SmoothLine)
            va = vb = std::int32_t((std::uint32_t(va) + std::uint32_t(vb)) / 2);
        (&a.C1)[k] = va;
        (&b.C1)[k] = vb;
    }
    TSCanvasPoint* left = &a;
    TSCanvasPoint* right = &b;
    if (b.X < a.X)
        std::swap(left, right);
    if (m_clip.Left > left->X)
        ClipCanvasPoint(left, right, left, 0, m_clip.Left);
    if (m_clip.Right < right->X)
        ClipCanvasPoint(left, right, right, 0, m_clip.Right);
    TSCanvasPoint* top = &a;
    TSCanvasPoint* bottom = &b;
    if (b.Y < a.Y)
        std::swap(top, bottom);
    if (top->Y > m_clip.Bottom || bottom->Y < m_clip.Top)
        return;
    if (top->Y < m_clip.Top)
        ClipCanvasPoint(top, bottom, top, 1, m_clip.Top);
    if (bottom->Y > m_clip.Bottom)
        ClipCanvasPoint(top, bottom, bottom, 1, m_clip.Bottom);
    if (top->Y > W.Bottom || bottom->Y < W.Top)
        return;

    TSEdgeRow params{};
    params.XL = top->X;
    params.XR = bottom->X;
    params.ZL = top->Z;
    params.ZR = bottom->Z;
    const TSLineWindowKernel line = SmoothLine ? &StepLineSmoothIn : &StepLineFlatIn;
    const std::int32_t rows = bottom->Y - top->Y + 1;
    const TSLineWindow window{W.Top - top->Y, W.Bottom - top->Y, W.Left, W.Right};
    auto* zRow = reinterpret_cast<std::int32_t*>(m_zBuffer.Data + top->Y * m_zBuffer.RowBytes);
    for (int k = 0; k < 3; ++k) {
        const TSCanvasBuffer& plane = m_planes[k];
        if (!plane.Exists)
            continue;
        params.V1L = (&top->C1)[k];
        params.V1R = (&bottom->C1)[k];
        line(m_zBuffer.RowBytes, plane.RowBytes, rows, zRow,
             reinterpret_cast<std::uint16_t*>(plane.Data + top->Y * plane.RowBytes), &params, window);
    }
}

void TSCanvas3D::DrawLine(const TSCanvasPoint& P1, const TSCanvasPoint& P2)
{
    if (m_released || ClipEmpty())
        return;
    const std::int32_t zMin = std::min(P1.Z, P2.Z);
    if (zMin < m_limits.Near || zMin > m_limits.Far)
        return;
    if (std::max(P1.X, P2.X) < m_clip.Left || std::min(P1.X, P2.X) > m_clip.Right ||
        std::max(P1.Y, P2.Y) < m_clip.Top || std::min(P1.Y, P2.Y) > m_clip.Bottom)
        return;
    if (m_tiled) {
        Enqueue(pkLine, &P1, &P2, nullptr, std::min(P1.X, P2.X), std::min(P1.Y, P2.Y), std::max(P1.X, P2.X),
                std::max(P1.Y, P2.Y));
        return;
    }
    DrawLineIn(P1, P2, Smooth != 0, {m_clip.Left, m_clip.Top, m_clip.Right, m_clip.Bottom});
}

void TSCanvas3D::ScanEdge(const TSCanvasPoint& From, const TSCanvasPoint& To, int Side, const RowSpan& Rows) const
{
    TSCanvasPoint top = From, bottom = To;
    if (To.Y < From.Y)
        std::swap(top, bottom);
    if (top.Y > Rows.RowMax || bottom.Y < Rows.RowMin)
        return;
    if (top.Y < Rows.RowMin)
        ClipCanvasPoint(&top, &bottom, &top, 1, Rows.RowMin);
    if (bottom.Y > Rows.RowMax)
        ClipCanvasPoint(&top, &bottom, &bottom, 1, Rows.RowMax);
    // The walk starts where the whole canvas starts it; only rows First..Last
    // are written.
    const std::int32_t first = std::max(top.Y, Rows.First);
    const std::int32_t last = std::min(bottom.Y, Rows.Last);
    if (first > last)
        return;
    const std::int32_t count = bottom.Y - top.Y + 1;
    const std::int32_t skip = first - top.Y;
    const std::int32_t take = last - first + 1;
    auto* row = reinterpret_cast<std::int32_t*>(Rows.Edges + (first - Rows.First));
    if (skip == 0 && take == count) {
        StepEdgeColumn(row + efX + Side, count, top.X, bottom.X);
        StepEdgeColumn(row + efZ + Side, count, top.Z, bottom.Z);
        for (int k = 0; k < 3; ++k)
            if (m_planes[k].Exists)
                StepEdgeColumn(row + ValueField(k, Side), count, (&top.C1)[k], (&bottom.C1)[k]);
        return;
    }
    StepEdgeColumnPart(row + efX + Side, count, top.X, bottom.X, skip, take);
    StepEdgeColumnPart(row + efZ + Side, count, top.Z, bottom.Z, skip, take);
    for (int k = 0; k < 3; ++k)
        if (m_planes[k].Exists)
            StepEdgeColumnPart(row + ValueField(k, Side), count, (&top.C1)[k], (&bottom.C1)[k], skip, take);
}

[[gnu::always_inline]] inline void TSCanvas3D::DrawTriangleIn(const TSCanvasPoint& P1, const TSCanvasPoint& P2, const TSCanvasPoint& P3,
                                bool SmoothFill, const Window& W, TSEdgeRow* Edges) const
{
    TSCanvasPoint v1 = P1, v2 = P2, v3 = P3;
    if (v2.X < v1.X)
        std::swap(v1, v2);
    if (v3.X < v1.X)
        std::swap(v1, v3);
    if (v2.X > v3.X)
        std::swap(v2, v3);
    if (v3.X < m_clip.Left || v1.X > m_clip.Right)
        return;

    for (int k = 0; k < 3; ++k) {
        if (!m_planes[k].Exists)
            continue;
        std::int32_t a = PlaneValue(k, v1), b = PlaneValue(k, v2), c = PlaneValue(k, v3);
        if (!SmoothFill)
            a = b = c = std::int32_t(std::uint32_t(a) + std::uint32_t(b) + std::uint32_t(c)) / 3;
        (&v1.C1)[k] = a;
        (&v2.C1)[k] = b;
        (&v3.C1)[k] = c;
    }

    // The outline: LE and RE on the long edge V1-V3, LC, MC, RC on the chain.
    TSCanvasPoint le = v1, lc = v1, mc = v2, re = v3, rc = v3;
    if (m_clip.Left > v1.X) {
        ClipCanvasPoint(&v1, &v3, &le, 0, m_clip.Left);
        if (v2.X >= m_clip.Left) {
            ClipCanvasPoint(&v1, &v2, &lc, 0, m_clip.Left);
        } else {
            ClipCanvasPoint(&v2, &v3, &lc, 0, m_clip.Left);
            mc = lc;
        }
    }
    if (m_clip.Right < v3.X) {
        ClipCanvasPoint(&le, &re, &re, 0, m_clip.Right);
        if (m_clip.Right >= mc.X) {
            ClipCanvasPoint(&mc, &rc, &rc, 0, m_clip.Right);
        } else {
            ClipCanvasPoint(&lc, &mc, &rc, 0, m_clip.Right);
            mc = rc;
        }
    }

    std::int32_t rowMin = std::min({mc.Y, le.Y, lc.Y, re.Y, rc.Y});
    std::int32_t rowMax = std::max({mc.Y, le.Y, lc.Y, re.Y, rc.Y});

    // 1 when the chain lies below the long edge (rows grow downward).
    bool f;
    if (mc.Y == rowMax || le.Y < lc.Y || re.Y < rc.Y) {
        f = true;
    } else if (mc.Y == rowMin || le.Y > lc.Y || re.Y > rc.Y) {
        f = false;
    } else {
        // Wide products: vertices far outside the canvas overflow 32 bits.
        const __int128 lhs = __int128(std::int64_t(v3.Y) - v1.Y) * (std::int64_t(v2.X) - v1.X);
        const __int128 rhs = __int128(std::int64_t(v2.Y) - v1.Y) * (std::int64_t(v3.X) - v1.X);
        f = lhs <= rhs;
    }

    if (rowMin > m_clip.Bottom || rowMax < m_clip.Top)
        return;
    RowSpan rows;
    rows.RowMin = std::max(rowMin, m_clip.Top);
    rows.RowMax = std::min(rowMax, m_clip.Bottom);
    rows.First = std::max(rows.RowMin, W.Top);
    rows.Last = std::min(rows.RowMax, W.Bottom);
    rows.Edges = Edges;
    if (rows.First > rows.Last)
        return;

    const bool flat = le.Y == re.Y && lc.Y == mc.Y && mc.Y == rc.Y;
    if (flat || le.Y != lc.Y)
        ScanEdge(le, lc, 0, rows);
    if (flat || re.Y != rc.Y)
        ScanEdge(re, rc, 1, rows);
    if (le.Y != re.Y)
        ScanEdge(le, re, ((le.Y > re.Y) != f) ? 1 : 0, rows);
    if (lc.Y != mc.Y)
        ScanEdge(lc, mc, ((mc.Y > lc.Y) != f) ? 1 : 0, rows);
    if (mc.Y != rc.Y)
        ScanEdge(mc, rc, ((rc.Y > mc.Y) != f) ? 1 : 0, rows);

    const std::int32_t count = rows.Last - rows.First + 1;
    auto* zRow = reinterpret_cast<std::int32_t*>(m_zBuffer.Data + rows.First * m_zBuffer.RowBytes);
    // Spans stay inside the outline's columns; a window holding them needs no cut.
    const bool inside = W.Left <= std::min(le.X, lc.X) && W.Right >= std::max(re.X, rc.X);
    for (int k = 0; k < 3; ++k) {
        const TSCanvasBuffer& plane = m_planes[k];
        if (!plane.Exists)
            continue;
        auto* planeRow = reinterpret_cast<std::uint16_t*>(plane.Data + rows.First * plane.RowBytes);
        if (inside)
            (SmoothFill ? &FillSpansSmooth : &FillSpansFlat)(k, m_zBuffer.RowBytes, plane.RowBytes, count, zRow,
                                                             planeRow, Edges);
        else
            (SmoothFill ? &FillSpansSmoothIn : &FillSpansFlatIn)(k, m_zBuffer.RowBytes, plane.RowBytes, count, zRow,
                                                                 planeRow, Edges, W.Left, W.Right);
    }
}

void TSCanvas3D::DrawTriangle(const TSCanvasPoint& P1, const TSCanvasPoint& P2, const TSCanvasPoint& P3)
{
    if (m_released || ClipEmpty())
        return;
    const std::int32_t zMin = std::min({P1.Z, P2.Z, P3.Z});
    if (zMin < m_limits.Near || zMin > m_limits.Far)
        return;
    const std::int32_t top = std::min({P1.Y, P2.Y, P3.Y});
    const std::int32_t bottom = std::max({P1.Y, P2.Y, P3.Y});
    if (bottom < m_clip.Top || top > m_clip.Bottom)
        return;
    if (m_tiled) {
        const std::int32_t left = std::min({P1.X, P2.X, P3.X});
        const std::int32_t right = std::max({P1.X, P2.X, P3.X});
        if (right < m_clip.Left || left > m_clip.Right)
            return;
        Enqueue(pkTriangle, &P1, &P2, &P3, left, top, right, bottom);
        return;
    }
    DrawTriangleIn(P1, P2, P3, Smooth != 0, {m_clip.Left, m_clip.Top, m_clip.Right, m_clip.Bottom}, EdgeRows());
}

void TSCanvas3D::DrawTriangles(const TSCanvasPoint* Points, const std::uint32_t* Indices, std::int64_t Count)
{
    if (m_released || ClipEmpty() || Count <= 0)
        return;
    auto vertex = [Points, Indices](std::int64_t K) -> const TSCanvasPoint& {
        return Indices != nullptr ? Points[Indices[K]] : Points[K];
    };
    if (!m_tiled) {
        for (std::int64_t i = 0; i < Count; ++i)
            DrawTriangle(vertex(3 * i), vertex(3 * i + 1), vertex(3 * i + 2));
        return;
    }
    Queue& q = *m_queue;
    const TSCanvasClip& clip = q.Clip;
    const TSCanvasLimits limits = m_limits;
    const std::uint8_t smooth = Smooth;
    std::vector<std::int64_t> area(std::size_t(q.Threads), 0);
    for (std::int64_t done = 0; done < Count;) {
        const std::int64_t n = std::min<std::int64_t>(Count - done, std::int64_t(kQueueLimit - q.Count));
        const std::size_t base = q.Count;
        std::fill(area.begin(), area.end(), 0);
        try {
            // Each place of the queue is written by the piece that holds its triangle.
            plat::ParallelFor(
                n, 4096, q.Threads,
                [&](std::int64_t Begin, std::int64_t End, int Slot) {
                    std::int64_t sum = 0;
                    for (std::int64_t i = Begin; i < End; ++i) {
                        const std::int64_t at = 3 * (done + i);
                        Queue::Primitive& item = q.Items[base + std::size_t(i)];
                        item.Kind = 0;
                        const TSCanvasPoint& a = vertex(at);
                        const TSCanvasPoint& b = vertex(at + 1);
                        const TSCanvasPoint& c = vertex(at + 2);
                        const std::int32_t zMin = std::min({a.Z, b.Z, c.Z});
                        if (zMin < limits.Near || zMin > limits.Far)
                            continue;
                        std::int32_t top = std::min({a.Y, b.Y, c.Y}), bottom = std::max({a.Y, b.Y, c.Y});
                        std::int32_t left = std::min({a.X, b.X, c.X}), right = std::max({a.X, b.X, c.X});
                        if (bottom < clip.Top || top > clip.Bottom || right < clip.Left || left > clip.Right)
                            continue;
                        left = std::max(left, clip.Left) - clip.Left;
                        right = std::min(right, clip.Right) - clip.Left;
                        top = std::max(top, clip.Top) - clip.Top;
                        bottom = std::min(bottom, clip.Bottom) - clip.Top;
                        item.P[0] = a;
                        item.P[1] = b;
                        item.P[2] = c;
                        item.Left = q.ColumnTile[std::size_t(left)];
                        item.Right = q.ColumnTile[std::size_t(right)];
                        item.Top = q.RowTile[std::size_t(top)];
                        item.Bottom = q.RowTile[std::size_t(bottom)];
                        item.Smooth = smooth;
                        item.Kind = pkTriangle;
                        sum += (std::int64_t(right) - left + 1) * (std::int64_t(bottom) - top + 1);
                    }
                    area[std::size_t(Slot)] += sum;
                },
                [&](std::int64_t) {
                    if (m_stopCheck != nullptr)
                        m_stopCheck(m_stopData);
                });
        } catch (...) {
            DropQueue();
            throw;
        }
        q.Count += std::size_t(n);
        for (std::int64_t a : area)
            q.Area += a;
        done += n;
        if (q.Count >= kQueueLimit || q.Area >= kQueueArea)
            FlushTiles();
    }
}

// ---------------------------------------------------------------------------
// Tiles

void TSCanvas3D::SetStopCheck(void (*Check)(void*), void* Data)
{
    m_stopCheck = Check;
    m_stopData = Data;
}

void TSCanvas3D::BeginTiles(int Threads, std::int32_t TileWidth, std::int32_t TileHeight)
{
    std::lock_guard guard(m_lock);
    m_tiled = false;
    DropQueue();
    if (Threads <= 1 && TileWidth == 0 && TileHeight == 0)
        return;
    if (m_queue == nullptr)
        m_queue = std::make_unique<Queue>();
    m_queue->Threads = std::max(Threads, 1);
    m_queue->AskedWidth = TileWidth;
    m_queue->AskedHeight = TileHeight;
    m_tiled = true;
    PlanTiles();
}

void TSCanvas3D::EndTiles()
{
    if (!m_tiled)
        return;
    FlushTiles();
    m_tiled = false;
}

void TSCanvas3D::DropQueue()
{
    if (m_queue == nullptr)
        return;
    Queue& q = *m_queue;
    for (auto& slice : q.Slices) {
        for (std::int32_t tile : slice.Used)
            slice.Bins[std::size_t(tile)].clear();
        slice.Used.clear();
    }
    for (std::int32_t tile : q.Used)
        q.TileUsed[std::size_t(tile)] = 0;
    q.Used.clear();
    q.Count = 0;
    q.Area = 0;
}

void TSCanvas3D::PlanTiles()
{
    Queue& q = *m_queue;
    DropQueue();
    q.Clip = m_clip;
    const std::int32_t width = ClipEmpty() ? 0 : m_clip.Right - m_clip.Left + 1;
    const std::int32_t height = ClipEmpty() ? 0 : m_clip.Bottom - m_clip.Top + 1;
    auto side = [](std::int32_t Asked, std::int32_t Whole) {
        if (Asked < 0)
            return std::max(Whole, 1);
        return Asked == 0 ? kTileSide : Asked;
    };
    q.TileWidth = side(q.AskedWidth, width);
    q.TileHeight = side(q.AskedHeight, height);
    q.TileColumns = (width + q.TileWidth - 1) / q.TileWidth;
    q.TileRows = (height + q.TileHeight - 1) / q.TileHeight;
    try {
        if (q.Items == nullptr)
            q.Items.reset(new Queue::Primitive[kQueueLimit]);
        q.ColumnTile.resize(std::size_t(width));
        q.RowTile.resize(std::size_t(height));
        for (std::int32_t x = 0; x < width; ++x)
            q.ColumnTile[std::size_t(x)] = x / q.TileWidth;
        for (std::int32_t y = 0; y < height; ++y)
            q.RowTile[std::size_t(y)] = y / q.TileHeight;
        const std::size_t tiles = std::size_t(q.TileColumns) * std::size_t(q.TileRows);
        q.Slices.resize(std::size_t(q.Threads) * 2);
        for (auto& slice : q.Slices)
            slice.Bins.resize(tiles);
        q.TileUsed.assign(tiles, 0);
        q.Edges.resize(std::size_t(q.Threads));
        for (auto& edges : q.Edges)
            edges.resize(std::size_t(std::min(q.TileHeight, std::max(height, 1))) + 1);
    } catch (const std::bad_alloc&) {
        m_queue.reset();
        m_tiled = false;
        throw EOutOfMemory();
    }
}

void TSCanvas3D::Enqueue(int Kind, const TSCanvasPoint* P1, const TSCanvasPoint* P2, const TSCanvasPoint* P3,
                         std::int32_t Left, std::int32_t Top, std::int32_t Right, std::int32_t Bottom)
{
    Queue& q = *m_queue;
    const TSCanvasClip& clip = q.Clip;
    Left = std::max(Left, clip.Left) - clip.Left;
    Right = std::min(Right, clip.Right) - clip.Left;
    Top = std::max(Top, clip.Top) - clip.Top;
    Bottom = std::min(Bottom, clip.Bottom) - clip.Top;
    Queue::Primitive& item = q.Items[q.Count++];
    item.P[0] = *P1;
    if (P2 != nullptr)
        item.P[1] = *P2;
    if (P3 != nullptr)
        item.P[2] = *P3;
    item.Left = q.ColumnTile[std::size_t(Left)];
    item.Right = q.ColumnTile[std::size_t(Right)];
    item.Top = q.RowTile[std::size_t(Top)];
    item.Bottom = q.RowTile[std::size_t(Bottom)];
    item.Kind = static_cast<std::uint8_t>(Kind);
    item.Smooth = Smooth;
    q.Area += (std::int64_t(Right) - Left + 1) * (std::int64_t(Bottom) - Top + 1);
    if (q.Count >= kQueueLimit || q.Area >= kQueueArea)
        FlushTiles();
}

void TSCanvas3D::FlushTiles()
{
    if (!m_tiled || m_queue == nullptr || m_queue->Count == 0)
        return;
    Queue& q = *m_queue;
    const TSCanvasClip& clip = q.Clip;
    const std::int64_t count = std::int64_t(q.Count);
    const std::int64_t slices = std::min<std::int64_t>(std::int64_t(q.Slices.size()), (count + 4095) / 4096);
    auto stop = [&](std::int64_t) {
        if (m_stopCheck != nullptr)
            m_stopCheck(m_stopData);
    };
    try {
        // Binning, a slice of the queue per piece.
        plat::ParallelFor(
            slices, 1, q.Threads,
            [&](std::int64_t Begin, std::int64_t End, int) {
                for (std::int64_t s = Begin; s < End; ++s) {
                    Queue::Slice& slice = q.Slices[std::size_t(s)];
                    const std::int64_t from = count * s / slices, to = count * (s + 1) / slices;
                    for (std::int64_t i = from; i < to; ++i) {
                        const Queue::Primitive& item = q.Items[std::size_t(i)];
                        if (item.Kind == 0)
                            continue;
                        for (std::int32_t r = item.Top; r <= item.Bottom; ++r)
                            for (std::int32_t c = item.Left; c <= item.Right; ++c) {
                                const std::int32_t tile = r * q.TileColumns + c;
                                auto& bin = slice.Bins[std::size_t(tile)];
                                if (bin.empty())
                                    slice.Used.push_back(tile);
                                bin.push_back(std::uint32_t(i));
                            }
                    }
                }
            },
            stop);
        for (std::int64_t s = 0; s < slices; ++s)
            for (std::int32_t tile : q.Slices[std::size_t(s)].Used)
                if (!q.TileUsed[std::size_t(tile)]) {
                    q.TileUsed[std::size_t(tile)] = 1;
                    q.Used.push_back(tile);
                }
        // Tiles in row order: neighbours of one primitive start close together.
        std::sort(q.Used.begin(), q.Used.end());
        plat::ParallelFor(
            std::int64_t(q.Used.size()), 1, q.Threads,
            [&](std::int64_t Begin, std::int64_t End, int Slot) {
                TSEdgeRow* edges = q.Edges[std::size_t(Slot)].data();
                for (std::int64_t t = Begin; t < End; ++t) {
                    const std::int32_t tile = q.Used[std::size_t(t)];
                    const std::int32_t column = tile % q.TileColumns, row = tile / q.TileColumns;
                    Window w;
                    w.Left = clip.Left + column * q.TileWidth;
                    w.Top = clip.Top + row * q.TileHeight;
                    w.Right = std::min(clip.Right, w.Left + q.TileWidth - 1);
                    w.Bottom = std::min(clip.Bottom, w.Top + q.TileHeight - 1);
                    for (std::int64_t s = 0; s < slices; ++s)
                        for (std::uint32_t index : q.Slices[std::size_t(s)].Bins[std::size_t(tile)]) {
                            const Queue::Primitive& item = q.Items[index];
                            switch (item.Kind) {
                            case pkPoint:
                                DrawPointIn(item.P[0], w);
                                break;
                            case pkLine:
                                DrawLineIn(item.P[0], item.P[1], item.Smooth != 0, w);
                                break;
                            default:
                                DrawTriangleIn(item.P[0], item.P[1], item.P[2], item.Smooth != 0, w, edges);
                                break;
                            }
                        }
                }
            },
            stop);
    } catch (...) {
        DropQueue();
        throw;
    }
    DropQueue();
}

void TSCanvas3D::Assign(TPersistent* Source)
{
    if (Source == nullptr) {
        SetReleased(true);
        return;
    }
    if (!Source->InheritsFrom(&TSCanvas3D::ClassInfo)) {
        TPersistent::Assign(Source);
        return;
    }
    auto* source = static_cast<TSCanvas3D*>(Source);
    // Released first, a canvas would copy nothing from itself.
    if (source == this)
        return;
    std::scoped_lock guard(m_lock, source->m_lock);
    SetReleased(true);
    if (source->m_released)
        return;
    for (int k = 0; k < 3; ++k) {
        m_planes[k].Exists = source->m_planes[k].Exists;
        m_mix[k] = source->m_mix[k];
    }
    m_width = source->m_width;
    m_height = source->m_height;
    m_clip = source->m_clip;
    m_limits = source->m_limits;
    Smooth = source->Smooth;
    m_background = source->m_background;
    SetReleased(false);
    auto copy = [](void* Dest, std::int64_t DestSize, const void* Src, std::int64_t SrcSize) {
        if (Dest != nullptr && Src != nullptr)
            std::memcpy(Dest, Src, static_cast<std::size_t>(std::min(DestSize, SrcSize)));
    };
    copy(m_zBuffer.Data, m_zBuffer.AllocSize, source->m_zBuffer.Data, source->m_zBuffer.AllocSize);
    for (int k = 0; k < 3; ++k) {
        if (!m_planes[k].Exists || !source->m_planes[k].Exists)
            continue;
        copy(m_planes[k].Data, m_planes[k].AllocSize, source->m_planes[k].Data, source->m_planes[k].AllocSize);
        copy(m_colorTables[k].Data, m_colorTables[k].Size, source->m_colorTables[k].Data,
             source->m_colorTables[k].Size);
    }
}

// ---------------------------------------------------------------------------
// TSCnv3DIITransformer

constinit const TSClassInfo TSCnv3DIITransformer::ClassInfo{"TSCnv3DIITransformer", &TPersistent::ClassInfo, nullptr};

void TSCnv3DIITransformer::SetCount(std::int32_t N)
{
    N = std::max(N, 0);
    std::lock_guard guard(m_lock);
    if (N == m_count || N > MaxCount)
        return;
    try {
        const std::size_t capacity = static_cast<std::size_t>(RoundUp(N, 4));
        if (capacity != m_points.size()) {
            m_points.resize(capacity);
            m_points.shrink_to_fit();
        }
    } catch (const std::bad_alloc&) {
        Clear();
        throw EOutOfMemory();
    }
    for (std::int32_t i = m_count; i < N; ++i)
        m_points[i] = i > 0 ? m_points[i - 1] : TSIntPair{};
    m_count = N;
}

void TSCnv3DIITransformer::Clear()
{
    std::lock_guard guard(m_lock);
    m_points.clear();
    m_points.shrink_to_fit();
    m_count = 0;
}

void TSCnv3DIITransformer::Assign(TPersistent* Source)
{
    if (Source == nullptr) {
        Clear();
        return;
    }
    if (!Source->InheritsFrom(&TSCnv3DIITransformer::ClassInfo)) {
        TPersistent::Assign(Source);
        return;
    }
    auto* source = static_cast<TSCnv3DIITransformer*>(Source);
    if (source == this)
        return;
    std::scoped_lock guard(m_lock, source->m_lock);
    try {
        m_points = source->m_points;
    } catch (const std::bad_alloc&) {
        Clear();
        throw EOutOfMemory();
    }
    m_count = source->m_count;
}

std::int32_t TSCnv3DIITransformer::FindIndex(std::int32_t X) const
{
    const std::int32_t count = m_count;
    const TSIntPair* p = m_points.data();
    if (count == 0 || X <= p[0].X)
        return 0;
    if (X == p[count - 1].X)
        return count - 1;
    if (X > p[count - 1].X)
        return count;
    std::int32_t lo = 0;
    std::int32_t hi = count - 1;
    while (hi - lo > 1) {
        const std::int32_t mid = lo + (hi - lo) / 2;
        if (p[mid].X == X)
            return mid;
        if (p[mid].X < X)
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

std::int32_t TSCnv3DIITransformer::AddPoint(std::int32_t X, std::int32_t Y)
{
    std::lock_guard guard(m_lock);
    std::int32_t i = 0;
    if (m_count > 0) {
        i = FindIndex(X);
        if (i == 0 && X == m_points[0].X)
            i = 1;
    }
    if (m_count >= MaxCount)
        return -1;
    SetCount(m_count + 1);
    std::copy_backward(m_points.begin() + i, m_points.begin() + m_count - 1, m_points.begin() + m_count);
    m_points[i] = {X, Y};
    return i;
}

void TSCnv3DIITransformer::DeletePoint(std::int32_t Index)
{
    std::lock_guard guard(m_lock);
    if (Index < 0 || Index >= m_count)
        return;
    std::copy(m_points.begin() + Index + 1, m_points.begin() + m_count, m_points.begin() + Index);
    SetCount(m_count - 1);
}

std::int32_t TSCnv3DIITransformer::MovePoint(std::int32_t Index, std::int32_t X, std::int32_t Y)
{
    std::lock_guard guard(m_lock);
    if (Index < 0 || Index >= m_count)
        return -1;
    if (X == m_points[Index].X) {
        m_points[Index].Y = Y;
        return Index;
    }
    std::int32_t n = FindIndex(X);
    if (X > m_points[Index].X)
        n -= 1;
    else if (n < m_count && X == m_points[n].X)
        n += 1;
    // A table loaded out of order must not send the point past the end.
    n = std::clamp(n, 0, m_count - 1);
    if (n > Index)
        std::copy(m_points.begin() + Index + 1, m_points.begin() + n + 1, m_points.begin() + Index);
    else if (n < Index)
        std::copy_backward(m_points.begin() + n, m_points.begin() + Index, m_points.begin() + Index + 1);
    m_points[n] = {X, Y};
    return n;
}

std::int32_t TSCnv3DIITransformer::GetPointX(std::int32_t Index) const
{
    if (m_count == 0)
        return 0;
    return m_points[std::clamp(Index, 0, m_count - 1)].X;
}

std::int32_t TSCnv3DIITransformer::GetPointY(std::int32_t Index) const
{
    if (m_count == 0)
        return 0;
    return m_points[std::clamp(Index, 0, m_count - 1)].Y;
}

std::int32_t TSCnv3DIITransformer::Evaluate(std::int32_t X) const
{
    return InterpolatePairs(X, m_points.data(), m_count);
}

std::int32_t TSCnv3DIITransformer::SaveToStream(TSObjectsStream* Stream) const
{
    std::lock_guard guard(m_lock);
    const std::int32_t count = m_count;
    if (Stream != nullptr) {
        Stream->Write(&count, 4);
        for (std::int32_t i = 0; i < count; ++i) {
            Stream->Write(&m_points[i].X, 4);
            Stream->Write(&m_points[i].Y, 4);
        }
    }
    return 4 + 8 * count;
}

std::int32_t TSCnv3DIITransformer::LoadFromStream(TSObjectsStream* Stream)
{
    if (Stream == nullptr)
        return 0;
    std::int32_t count = 0;
    Stream->Read(&count, 4);
    const std::int64_t remaining = Stream->Remaining();
    if (count < 0 || count > MaxCount || (remaining >= 0 && remaining < std::int64_t(count) * 8))
        throw EStreamError(ObjectErrorText(this, sCantLoad, sInvalidValue));
    std::lock_guard guard(m_lock);
    SetCount(count);
    for (std::int32_t i = 0; i < count; ++i) {
        Stream->Read(&m_points[i].X, 4);
        Stream->Read(&m_points[i].Y, 4);
    }
    return 4 + 8 * count;
}
