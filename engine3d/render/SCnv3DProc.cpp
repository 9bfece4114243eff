#include "engine3d/render/SCnv3DProc.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Carries of an error walk after K steps: E starts at E0 in (0, N], each step
// takes R (0 <= R <= N) and a step that leaves E <= 0 adds N back.
inline std::int64_t Carries(std::int64_t K, std::int64_t R, std::int64_t E0, std::int64_t N)
{
    return (K * R - E0 + N) / N;
}

// The first step after which such a walk has made Count >= 1 carries; past
// Limit when it never does within Limit steps.
inline std::int64_t FirstCarry(std::int64_t Count, std::int64_t R, std::int64_t E0, std::int64_t N,
                               std::int64_t Limit)
{
    if (R <= 0)
        return Limit + 1;
    const std::int64_t need = (Count - 1) * N + E0;
    return (need + R - 1) / R;
}

// The integer stepper. V and the step wrap as 32-bit unsigned values, so a walk
// across the whole int32 range stays defined; E lies in (-N, N].
struct TStepper {
    std::uint32_t V = 0;
    std::uint32_t Step = 0;  // S*Q
    std::uint32_t Unit = 0;  // S
    std::int32_t R = 0;
    std::int32_t N = 0;
    std::int32_t E = 0;

    // N >= 1. The divisions of one- and two-step walks, the common case of
    // small triangles, are shifts.
    void Start(std::int32_t V1, std::int32_t V2, std::int32_t Steps, std::int32_t E0)
    {
        const bool down = V2 < V1;
        const std::uint32_t d = down ? std::uint32_t(V1) - std::uint32_t(V2) : std::uint32_t(V2) - std::uint32_t(V1);
        std::uint32_t q, r;
        if (Steps == 1) {
            q = d;
            r = 0;
        } else if (Steps == 2) {
            q = d >> 1;
            r = d & 1;
        } else {
            q = d / std::uint32_t(Steps);
            r = d % std::uint32_t(Steps);
        }
        V = std::uint32_t(V1);
        Step = down ? 0u - q : q;
        Unit = down ? 0xFFFFFFFFu : 1u;
        R = std::int32_t(r);
        N = Steps;
        E = E0;
    }
    // K >= 0 steps at once: the walk's value and error after them.
    void Skip(std::int64_t K)
    {
        if (K <= 0)
            return;
        const std::int64_t carries = Carries(K, R, E, N);
        V += std::uint32_t(K) * Step + std::uint32_t(carries) * Unit;
        E = std::int32_t(E - K * R + carries * N);
    }
    void Next()
    {
        V += Step;
        E -= R;
        if (E <= 0) {
            V += Unit;
            E += N;
        }
    }
    std::int32_t Value() const { return std::int32_t(V); }
};

template <int Bytes>
void BlitIndices(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                 std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride)
{
    if (Width < 1 || Rows < 1)
        return;
    const auto* srcRow = static_cast<const unsigned char*>(Src);
    auto* dstRow = static_cast<unsigned char*>(Dst);
    for (std::int32_t y = 0; y < Rows; ++y) {
        const auto* src = reinterpret_cast<const std::uint16_t*>(srcRow);
        unsigned char* dst = dstRow;
        for (std::int32_t x = 0; x < Width; ++x, dst += Bytes) {
            const std::uint32_t value = Table[src[x]];
            if constexpr (Bytes == 1) {
                dst[0] |= static_cast<unsigned char>(value);
            } else if constexpr (Bytes == 3) {
                dst[0] |= static_cast<unsigned char>(value);
                dst[1] |= static_cast<unsigned char>(value >> 8);
                dst[2] |= static_cast<unsigned char>(value >> 16);
            } else {
                using Pixel = std::conditional_t<Bytes == 2, std::uint16_t, std::uint32_t>;
                Pixel p;
                std::memcpy(&p, dst, Bytes);
                p |= static_cast<Pixel>(value);
                std::memcpy(dst, &p, Bytes);
            }
        }
        srcRow += SrcStride;
        dstRow += DstStride;
    }
}

inline void Plot(std::int32_t* Z, std::uint16_t* Plane, std::int32_t Depth, std::int32_t Value)
{
    if (Depth <= *Z) {
        *Z = Depth;
        *Plane = static_cast<std::uint16_t>(Value);
    }
}

template <bool Smooth>
void FillSpans(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
               std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges)
{
    auto* zRow = reinterpret_cast<unsigned char*>(ZRow);
    auto* planeRow = reinterpret_cast<unsigned char*>(PlaneRow);
    for (std::int32_t y = 0; y < Rows; ++y, zRow += ZStride, planeRow += PlaneStride) {
        const TSEdgeRow& e = Edges[y];
        const std::int32_t x0 = e.XL;
        const std::int32_t x1 = e.XR;
        if (x1 < x0)
            continue;
        const std::int32_t* values = &e.V1L + 2 * ValueSlot;
        std::int32_t* z = reinterpret_cast<std::int32_t*>(zRow) + x0;
        std::uint16_t* plane = reinterpret_cast<std::uint16_t*>(planeRow) + x0;
        const std::int32_t n = x1 - x0;
        Plot(z, plane, e.ZL, values[0]);
        if (n == 0)
            continue;
        const std::int32_t e0 = (n + 1) / 2;
        TStepper depth;
        depth.Start(e.ZL, e.ZR, n, e0);
        if constexpr (Smooth) {
            TStepper value;
            value.Start(values[0], values[1], n, e0);
            for (std::int32_t i = 1; i <= n; ++i) {
                depth.Next();
                value.Next();
                Plot(z + i, plane + i, depth.Value(), value.Value());
            }
        } else {
            const std::int32_t v = values[0];
            for (std::int32_t i = 1; i <= n; ++i) {
                depth.Next();
                Plot(z + i, plane + i, depth.Value(), v);
            }
        }
    }
}

// FillSpans inside columns Left..Right: the steppers skip to the window.
template <bool Smooth>
void FillSpansIn(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                 std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges, std::int32_t Left,
                 std::int32_t Right)
{
    auto* zRow = reinterpret_cast<unsigned char*>(ZRow);
    auto* planeRow = reinterpret_cast<unsigned char*>(PlaneRow);
    for (std::int32_t y = 0; y < Rows; ++y, zRow += ZStride, planeRow += PlaneStride) {
        const TSEdgeRow& e = Edges[y];
        const std::int32_t x0 = e.XL;
        const std::int32_t x1 = e.XR;
        if (x1 < x0)
            continue;
        // Steps first .. last of the span lie inside the window.
        const std::int64_t first = std::max<std::int64_t>(0, std::int64_t(Left) - x0);
        const std::int64_t last = std::min<std::int64_t>(std::int64_t(x1) - x0, std::int64_t(Right) - x0);
        if (first > last)
            continue;
        const std::int32_t* values = &e.V1L + 2 * ValueSlot;
        std::int32_t* z = reinterpret_cast<std::int32_t*>(zRow) + x0;
        std::uint16_t* plane = reinterpret_cast<std::uint16_t*>(planeRow) + x0;
        const std::int32_t n = x1 - x0;
        if (first == 0)
            Plot(z, plane, e.ZL, values[0]);
        if (n == 0 || last == 0)
            continue;
        const std::int32_t e0 = (n + 1) / 2;
        const std::int32_t from = std::int32_t(std::max<std::int64_t>(first, 1));
        const std::int32_t to = std::int32_t(last);
        TStepper depth;
        depth.Start(e.ZL, e.ZR, n, e0);
        depth.Skip(from - 1);
        if constexpr (Smooth) {
            TStepper value;
            value.Start(values[0], values[1], n, e0);
            value.Skip(from - 1);
            for (std::int32_t i = from; i <= to; ++i) {
                depth.Next();
                value.Next();
                Plot(z + i, plane + i, depth.Value(), value.Value());
            }
        } else {
            const std::int32_t v = values[0];
            for (std::int32_t i = from; i <= to; ++i) {
                depth.Next();
                Plot(z + i, plane + i, depth.Value(), v);
            }
        }
    }
}

template <bool Smooth>
void StepLine(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
              std::uint16_t* PlaneRow, const TSEdgeRow* Params, const TSLineWindow& W)
{
    if (Rows < 1)
        return;
    const TSEdgeRow& p = *Params;
    const std::int32_t dy = Rows - 1;
    const std::int32_t dx = p.XR >= p.XL ? p.XR - p.XL : p.XL - p.XR;
    const std::int32_t sx = p.XR >= p.XL ? 1 : -1;
    const std::int32_t n = std::max(dx, dy);
    const std::int32_t e0 = (n + 1) / 2;
    const std::int32_t firstRow = std::max(W.FirstRow, 0);
    const std::int32_t lastRow = std::min(W.LastRow, dy);
    if (firstRow > lastRow)
        return;
    // The first step inside the window: rows and columns only grow along
    // the walk (columns shrink when sx < 0).
    std::int64_t start = 0;
    if (firstRow > 0)
        start = FirstCarry(firstRow, dy, e0, n, n);
    const std::int64_t before = sx > 0 ? std::int64_t(W.Left) - p.XL : std::int64_t(p.XL) - W.Right;
    if (before > 0)
        start = std::max(start, FirstCarry(before, dx, e0, n, n));
    if (start > n)
        return;
    const std::int64_t xSteps = n == 0 ? 0 : Carries(start, dx, e0, n);
    const std::int64_t ySteps = n == 0 ? 0 : Carries(start, dy, e0, n);
    std::int32_t x = std::int32_t(p.XL + sx * xSteps);
    std::int32_t row = std::int32_t(ySteps);
    auto* zRow = reinterpret_cast<unsigned char*>(ZRow) + ZStride * row;
    auto* planeRow = reinterpret_cast<unsigned char*>(PlaneRow) + PlaneStride * row;
    auto plot = [&](std::int32_t Depth, std::int32_t Value) {
        if (x >= W.Left && x <= W.Right)
            Plot(reinterpret_cast<std::int32_t*>(zRow) + x, reinterpret_cast<std::uint16_t*>(planeRow) + x, Depth,
                 Value);
    };
    auto past = [&] { return row > lastRow || (sx > 0 ? x > W.Right : x < W.Left); };
    if (n == 0) {
        if (!past())
            plot(p.ZL, p.V1L);
        return;
    }
    TStepper depth;
    depth.Start(p.ZL, p.ZR, n, e0);
    depth.Skip(start);
    TStepper value;
    if constexpr (Smooth) {
        value.Start(p.V1L, p.V1R, n, e0);
        value.Skip(start);
    }
    std::int32_t ex = std::int32_t(e0 - start * dx + xSteps * n);
    std::int32_t ey = std::int32_t(e0 - start * dy + ySteps * n);
    if (past())
        return;
    plot(depth.Value(), Smooth ? value.Value() : p.V1L);
    for (std::int64_t i = start + 1; i <= n; ++i) {
        depth.Next();
        if constexpr (Smooth)
            value.Next();
        ex -= dx;
        if (ex <= 0) {
            ex += n;
            x += sx;
        }
        ey -= dy;
        if (ey <= 0) {
            ey += n;
            ++row;
            zRow += ZStride;
            planeRow += PlaneStride;
        }
        if (past())
            return;
        plot(depth.Value(), Smooth ? value.Value() : p.V1L);
    }
}

constexpr TSLineWindow kWholeLine{0, INT32_MAX, INT32_MIN, INT32_MAX};

}  // namespace

void BlitIndices8(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                  std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride)
{
    BlitIndices<1>(Src, Dst, Table, Width, Rows, SrcStride, DstStride);
}

void BlitIndices16(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                   std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride)
{
    BlitIndices<2>(Src, Dst, Table, Width, Rows, SrcStride, DstStride);
}

void BlitIndices24(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                   std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride)
{
    BlitIndices<3>(Src, Dst, Table, Width, Rows, SrcStride, DstStride);
}

void BlitIndices32(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                   std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride)
{
    BlitIndices<4>(Src, Dst, Table, Width, Rows, SrcStride, DstStride);
}

std::int32_t InterpolatePairs(std::int32_t X, const TSIntPair* Pairs, std::int32_t Count)
{
    if (Count <= 1)
        return 0;
    if (X <= Pairs[0].X)
        return Pairs[0].Y;
    if (X >= Pairs[Count - 1].X)
        return Pairs[Count - 1].Y;
    // lo.X < X < hi.X holds throughout, whatever the order of the pairs.
    std::int32_t lo = 0;
    std::int32_t hi = Count - 1;
    while (hi - lo > 1) {
        const std::int32_t mid = lo + (hi - lo) / 2;
        if (Pairs[mid].X == X)
            return Pairs[mid].Y;
        if (Pairs[mid].X < X)
            lo = mid;
        else
            hi = mid;
    }
    const TSIntPair& a = Pairs[lo];
    const TSIntPair& b = Pairs[hi];
    const std::int64_t dy = std::int64_t(b.Y) - a.Y;
    const std::int64_t num = std::int64_t(X) - a.X;
    const std::int64_t den = std::int64_t(b.X) - a.X;
    return std::int32_t(std::int64_t(a.Y) + num * dy / den);
}

void FillLinearRun(std::int32_t* Arr, std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2)
{
    if (X1 == X2) {
        Arr[X1] = std::int32_t(std::uint32_t(Y1) + std::uint32_t(Y2)) >> 1;
        return;
    }
    if (X2 < X1) {
        std::swap(X1, X2);
        std::swap(Y1, Y2);
    }
    const std::int64_t n = std::int64_t(X2) - X1;
    const bool down = Y2 < Y1;
    const std::uint32_t d = down ? std::uint32_t(Y1) - std::uint32_t(Y2) : std::uint32_t(Y2) - std::uint32_t(Y1);
    const std::uint32_t q = std::uint32_t(d / std::uint64_t(n));
    const std::int64_t r = std::int64_t(d % std::uint64_t(n));
    const std::uint32_t step = down ? 0u - q : q;
    const std::uint32_t unit = down ? 0xFFFFFFFFu : 1u;
    std::uint32_t v = std::uint32_t(Y1);
    std::int64_t e = n / 2;
    std::int32_t* out = Arr + X1;
    for (std::int64_t i = 0; i < n; ++i) {
        out[i] = std::int32_t(v);
        v += step;
        e -= r;
        if (e <= 0) {
            v += unit;
            e += n;
        }
    }
    out[n] = Y2;
}

void ScatterChannelBits(const std::uint32_t* Src, std::uint32_t* Dst, const std::uint32_t* Masks, std::int32_t Count)
{
    for (std::int32_t i = 0; i < Count; ++i) {
        const std::uint32_t s = Src[i];
        std::uint32_t acc = 0;
        for (int b = 0; b < 16; ++b)
            if ((s >> b) & 1u)
                acc |= Masks[b];
        Dst[i] |= acc;
    }
}

void StepEdgeColumn(std::int32_t* Dest, std::int32_t Count, std::int32_t V1, std::int32_t V2)
{
    if (Count < 1)
        return;
    if (Count == 1 || V1 == V2) {
        for (std::int32_t i = 0; i < Count; ++i)
            Dest[std::ptrdiff_t(i) * kEdgeRowInts] = V1;
        return;
    }
    const std::int32_t n = Count - 1;
    TStepper s;
    s.Start(V1, V2, n, (n + 1) / 2);
    Dest[0] = V1;
    for (std::int32_t i = 1; i <= n; ++i) {
        s.Next();
        Dest[std::ptrdiff_t(i) * kEdgeRowInts] = s.Value();
    }
}

void StepEdgeColumnPart(std::int32_t* Dest, std::int32_t Count, std::int32_t V1, std::int32_t V2, std::int32_t First,
                        std::int32_t Take)
{
    Take = std::min(Take, Count - First);
    if (First < 0 || Take < 1)
        return;
    if (Count == 1 || V1 == V2) {
        for (std::int32_t i = 0; i < Take; ++i)
            Dest[std::ptrdiff_t(i) * kEdgeRowInts] = V1;
        return;
    }
    const std::int32_t n = Count - 1;
    TStepper s;
    s.Start(V1, V2, n, (n + 1) / 2);
    std::int32_t i = 0;
    if (First == 0) {
        Dest[0] = V1;
        i = 1;
    } else {
        s.Skip(First - 1);
    }
    for (; i < Take; ++i) {
        s.Next();
        Dest[std::ptrdiff_t(i) * kEdgeRowInts] = s.Value();
    }
}

void ClipCanvasPoint(const TSCanvasPoint* A, const TSCanvasPoint* B, TSCanvasPoint* Out, std::int32_t Axis,
                     std::int32_t Bound)
{
    // Fields in the order X, Y, Z, C1, C2, C3; the clipping axis is `at`.
    const std::int32_t* a = &A->X;
    const std::int32_t* b = &B->X;
    std::int32_t* out = &Out->X;
    const int at = Axis == 0 ? 0 : 1;
    const std::int64_t d = std::int64_t(b[at]) - a[at];
    const std::int64_t t = std::int64_t(Bound) - a[at];
    out[at] = Bound;
    if (d == 0)
        return;
    for (int f = 0; f < 6; ++f) {
        if (f == at)
            continue;
        const std::int32_t af = a[f];
        const std::int32_t bf = b[f];
        // The product of two 33-bit differences needs more than 64 bits.
        const __int128 step = static_cast<__int128>(std::int64_t(bf) - af) * t / d;
        out[f] = std::int32_t(std::uint32_t(af) + std::uint32_t(static_cast<std::uint64_t>(step)));
    }
}

std::int32_t MixChannels(const std::int32_t* Row, const TSCanvasPoint* P)
{
    const std::uint32_t sum = std::uint32_t(Row[0]) * std::uint32_t(P->C1) +
                              std::uint32_t(Row[1]) * std::uint32_t(P->C2) +
                              std::uint32_t(Row[2]) * std::uint32_t(P->C3);
    return std::int32_t(sum) >> 20;
}

void CopyPointTwice(TSCanvasPoint* D1, TSCanvasPoint* D2, const TSCanvasPoint* S)
{
    const TSCanvasPoint s = *S;
    *D1 = s;
    *D2 = s;
}

void FillSpansFlat(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                   std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges)
{
    FillSpans<false>(ValueSlot, ZStride, PlaneStride, Rows, ZRow, PlaneRow, Edges);
}

void FillSpansSmooth(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                     std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges)
{
    FillSpans<true>(ValueSlot, ZStride, PlaneStride, Rows, ZRow, PlaneRow, Edges);
}

void FillSpansFlatIn(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                     std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges, std::int32_t Left,
                     std::int32_t Right)
{
    FillSpansIn<false>(ValueSlot, ZStride, PlaneStride, Rows, ZRow, PlaneRow, Edges, Left, Right);
}

void FillSpansSmoothIn(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                       std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges, std::int32_t Left,
                       std::int32_t Right)
{
    FillSpansIn<true>(ValueSlot, ZStride, PlaneStride, Rows, ZRow, PlaneRow, Edges, Left, Right);
}

void StepLineFlat(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                  std::uint16_t* PlaneRow, const TSEdgeRow* Params)
{
    StepLine<false>(ZStride, PlaneStride, Rows, ZRow, PlaneRow, Params, kWholeLine);
}

void StepLineSmooth(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                    std::uint16_t* PlaneRow, const TSEdgeRow* Params)
{
    StepLine<true>(ZStride, PlaneStride, Rows, ZRow, PlaneRow, Params, kWholeLine);
}

void StepLineFlatIn(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                    std::uint16_t* PlaneRow, const TSEdgeRow* Params, const TSLineWindow& Window)
{
    StepLine<false>(ZStride, PlaneStride, Rows, ZRow, PlaneRow, Params, Window);
}

void StepLineSmoothIn(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                      std::uint16_t* PlaneRow, const TSEdgeRow* Params, const TSLineWindow& Window)
{
    StepLine<true>(ZStride, PlaneStride, Rows, ZRow, PlaneRow, Params, Window);
}
