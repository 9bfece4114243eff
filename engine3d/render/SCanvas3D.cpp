#include "engine3d/render/SCanvas3D.h"

#include "engine3d/model/GeneralProc.h"

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
    if (m_zBuffer.Data != nullptr)
        FillPattern2D(m_zBuffer.Data, m_zBuffer.RowBytes, m_zBuffer.Height, m_zBuffer.RowBytes,
                      static_cast<std::uint32_t>(m_limits.Far));
    for (auto& plane : m_planes)
        if (plane.Exists && plane.Data != nullptr)
            std::memset(plane.Data, 0xFF, static_cast<std::size_t>(plane.RowBytes * plane.Height));
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
    FillPattern2D(dst, w * bpp, h, Target->RowBytes, 0);
    if (m_released)
        return;
    static constexpr void (*kBlits[4])(const void*, void*, const std::uint32_t*, std::int32_t, std::int32_t,
                                       std::ptrdiff_t, std::ptrdiff_t) = {&BlitIndices8, &BlitIndices16, &BlitIndices24,
                                                                          &BlitIndices32};
    for (int k = 0; k < 3; ++k) {
        const TSCanvasBuffer& plane = m_planes[k];
        const auto* table = static_cast<const std::uint32_t*>(m_colorTables[k].Data);
        if (!plane.Exists || plane.Data == nullptr || table == nullptr)
            continue;
        const unsigned char* src = plane.Data + sy * plane.RowBytes + sx * 2;
        kBlits[bpp - 1](src, dst, table, std::int32_t(w), std::int32_t(h), plane.RowBytes, Target->RowBytes);
    }
}

std::int32_t TSCanvas3D::PlaneValue(std::int32_t Plane, const TSCanvasPoint& P) const
{
    const TSChannelMix& mix = m_mix[Plane];
    if (mix.Enabled) {
        const std::int32_t row[3] = {mix.K1, mix.K2, mix.K3};
        return MixChannels(row, &P);
    }
    return (&P.C1)[Plane];
}

void TSCanvas3D::DrawPoint(const TSCanvasPoint& P)
{
    if (m_released)
        return;
    if (P.X < m_clip.Left || P.X > m_clip.Right || P.Y < m_clip.Top || P.Y > m_clip.Bottom)
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
    TSCanvasPoint a = P1, b = P2;
    for (int k = 0; k < 3; ++k) {
        if (!m_planes[k].Exists)
            continue;
        std::int32_t va = PlaneValue(k, P1), vb = PlaneValue(k, P2);
        if (!Smooth)
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

    TSEdgeRow& params = EdgeRows()[0];
    params.XL = top->X;
    params.XR = bottom->X;
    params.ZL = top->Z;
    params.ZR = bottom->Z;
    const TSLineKernel line = Smooth ? &StepLineSmooth : &StepLineFlat;
    const std::int32_t rows = bottom->Y - top->Y + 1;
    auto* zRow = reinterpret_cast<std::int32_t*>(m_zBuffer.Data + top->Y * m_zBuffer.RowBytes);
    for (int k = 0; k < 3; ++k) {
        const TSCanvasBuffer& plane = m_planes[k];
        if (!plane.Exists)
            continue;
        params.V1L = (&top->C1)[k];
        params.V1R = (&bottom->C1)[k];
        line(m_zBuffer.RowBytes, plane.RowBytes, rows, zRow,
             reinterpret_cast<std::uint16_t*>(plane.Data + top->Y * plane.RowBytes), &params);
    }
}

void TSCanvas3D::ScanEdge(const TSCanvasPoint& From, const TSCanvasPoint& To, int Side)
{
    TSCanvasPoint top = From, bottom = To;
    if (To.Y < From.Y)
        std::swap(top, bottom);
    if (top.Y > m_rowMax || bottom.Y < m_rowMin)
        return;
    if (top.Y < m_rowMin)
        ClipCanvasPoint(&top, &bottom, &top, 1, m_rowMin);
    if (bottom.Y > m_rowMax)
        ClipCanvasPoint(&top, &bottom, &bottom, 1, m_rowMax);
    auto* row = reinterpret_cast<std::int32_t*>(EdgeRows() + (top.Y - m_rowMin));
    const std::int32_t count = bottom.Y - top.Y + 1;
    StepEdgeColumn(row + efX + Side, count, top.X, bottom.X);
    StepEdgeColumn(row + efZ + Side, count, top.Z, bottom.Z);
    for (int k = 0; k < 3; ++k)
        if (m_planes[k].Exists)
            StepEdgeColumn(row + ValueField(k, Side), count, (&top.C1)[k], (&bottom.C1)[k]);
}

void TSCanvas3D::DrawTriangle(const TSCanvasPoint& P1, const TSCanvasPoint& P2, const TSCanvasPoint& P3)
{
    if (m_released || ClipEmpty())
        return;
    const std::int32_t zMin = std::min({P1.Z, P2.Z, P3.Z});
    if (zMin < m_limits.Near || zMin > m_limits.Far)
        return;
    if (std::max({P1.Y, P2.Y, P3.Y}) < m_clip.Top || std::min({P1.Y, P2.Y, P3.Y}) > m_clip.Bottom)
        return;

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
        if (!Smooth)
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
    m_rowMin = std::max(rowMin, m_clip.Top);
    m_rowMax = std::min(rowMax, m_clip.Bottom);

    const bool flat = le.Y == re.Y && lc.Y == mc.Y && mc.Y == rc.Y;
    if (flat || le.Y != lc.Y)
        ScanEdge(le, lc, 0);
    if (flat || re.Y != rc.Y)
        ScanEdge(re, rc, 1);
    if (le.Y != re.Y)
        ScanEdge(le, re, ((le.Y > re.Y) != f) ? 1 : 0);
    if (lc.Y != mc.Y)
        ScanEdge(lc, mc, ((mc.Y > lc.Y) != f) ? 1 : 0);
    if (mc.Y != rc.Y)
        ScanEdge(mc, rc, ((rc.Y > mc.Y) != f) ? 1 : 0);

    const TSSpanKernel spans = Smooth ? &FillSpansSmooth : &FillSpansFlat;
    const std::int32_t rows = m_rowMax - m_rowMin + 1;
    auto* zRow = reinterpret_cast<std::int32_t*>(m_zBuffer.Data + m_rowMin * m_zBuffer.RowBytes);
    for (int k = 0; k < 3; ++k) {
        const TSCanvasBuffer& plane = m_planes[k];
        if (plane.Exists)
            spans(k, m_zBuffer.RowBytes, plane.RowBytes, rows, zRow,
                  reinterpret_cast<std::uint16_t*>(plane.Data + m_rowMin * plane.RowBytes), EdgeRows());
    }
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
