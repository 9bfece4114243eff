#pragma once
// Integer inner loops of the z-buffered canvas: colour-index blits, the pair
// table lookup, the integer steppers of curves, edges, spans and lines, the
// clip of a canvas vertex and the channel mix. No state, no locks, no
// allocation, no floating point; the canvas has clipped everything to its
// buffers before it calls them.
//
// Integer stepping walks V from V1 to V2 in N >= 1 steps: Q = |V2 - V1| div N,
// R = |V2 - V1| mod N, the error E starts at E0; each step V += S*Q, E -= R,
// and when E <= 0 then V += S, E += N. With E0 >= 1 the walk ends on V2.

#include <cstddef>
#include <cstdint>

// A vertex on the canvas: column, row, depth (smaller is nearer) and the
// values of index planes 1 to 3 (only their low 16 bits are stored).
struct TSCanvasPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t Z = 0;
    std::int32_t C1 = 0;
    std::int32_t C2 = 0;
    std::int32_t C3 = 0;
};

// One record of a pair table, sorted by X.
struct TSIntPair {
    std::int32_t X = 0;
    std::int32_t Y = 0;
};

// One row of the canvas edge buffer; also the parameter block of the line
// kernels (left fields: the first end, right fields: the second end).
struct TSEdgeRow {
    std::int32_t XL, XR;
    std::int32_t ZL, ZR;
    std::int32_t V1L, V1R;
    std::int32_t V2L, V2R;
    std::int32_t V3L, V3R;
};
static_assert(sizeof(TSEdgeRow) == 40);

// Int32 fields of an edge row, for StepEdgeColumn's column start.
enum TSEdgeField : int {
    efX = 0,
    efZ = 2,
    efValue = 4
};
inline constexpr int kEdgeRowInts = sizeof(TSEdgeRow) / 4;

// Bits 0..15 of a channel value go to Masks[0..15] of the output.
using TSBitMasks = std::uint32_t[16];

// Dst pixel OR= Table[Src index], cut to the pixel size. Strides in bytes.
void BlitIndices8(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                  std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride);
void BlitIndices16(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                   std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride);
void BlitIndices24(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                   std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride);
void BlitIndices32(const void* Src, void* Dst, const std::uint32_t* Table, std::int32_t Width, std::int32_t Rows,
                   std::ptrdiff_t SrcStride, std::ptrdiff_t DstStride);

// The pair table's piecewise-linear value at X; 0 for fewer than two pairs.
std::int32_t InterpolatePairs(std::int32_t X, const TSIntPair* Pairs, std::int32_t Count);

// Fills Arr[min(X1, X2)] .. Arr[max(X1, X2)] along the line between the ends.
void FillLinearRun(std::int32_t* Arr, std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2);

// Dst[i] OR= the union of Masks[b] over the set bits b 0..15 of Src[i].
void ScatterChannelBits(const std::uint32_t* Src, std::uint32_t* Dst, const std::uint32_t* Masks, std::int32_t Count);

// Writes Count values from V1 to V2 into one field of consecutive edge rows
// (Dest points at the field in the first row).
void StepEdgeColumn(std::int32_t* Dest, std::int32_t Count, std::int32_t V1, std::int32_t V2);
// Values First .. First + Take - 1 of that walk, into Take rows from Dest.
void StepEdgeColumnPart(std::int32_t* Dest, std::int32_t Count, std::int32_t V1, std::int32_t V2, std::int32_t First,
                        std::int32_t Take);

// Out = the point of segment A-B on X = Bound (Axis 0) or Y = Bound (other).
// Out may be A or B. With A and B on the same column (row) only Out.X (Out.Y)
// changes.
void ClipCanvasPoint(const TSCanvasPoint* A, const TSCanvasPoint* B, TSCanvasPoint* Out, std::int32_t Axis,
                     std::int32_t Bound);

// (K1*C1 + K2*C2 + K3*C3) in wrapping 32-bit arithmetic, shifted right
// arithmetically by 20 (the coefficients carry 20 fraction bits).
std::int32_t MixChannels(const std::int32_t* Row, const TSCanvasPoint* P);

void CopyPointTwice(TSCanvasPoint* D1, TSCanvasPoint* D2, const TSCanvasPoint* S);

// One span per row between the left and right X of each edge row, both
// included; a pixel is written when its depth is <= the stored one. ValueSlot
// 0..2 picks the plane's pair of values in the edge rows.
using TSSpanKernel = void (*)(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride,
                              std::int32_t Rows, std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges);
void FillSpansFlat(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                   std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges);
void FillSpansSmooth(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                     std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges);
// The same spans, written only in columns Left..Right; each pixel written
// gets the values the whole span gives it.
using TSSpanWindowKernel = void (*)(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride,
                                    std::int32_t Rows, std::int32_t* ZRow, std::uint16_t* PlaneRow,
                                    const TSEdgeRow* Edges, std::int32_t Left, std::int32_t Right);
void FillSpansFlatIn(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                     std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges, std::int32_t Left,
                     std::int32_t Right);
void FillSpansSmoothIn(std::int32_t ValueSlot, std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                       std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Edges, std::int32_t Left,
                       std::int32_t Right);

// A line of Rows rows downward from (Params->XL, first row) to (Params->XR,
// last row), depth from ZL to ZR, value from V1L to V1R (the flat kernel
// writes V1L throughout).
using TSLineKernel = void (*)(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                              std::uint16_t* PlaneRow, const TSEdgeRow* Params);
void StepLineFlat(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                  std::uint16_t* PlaneRow, const TSEdgeRow* Params);
void StepLineSmooth(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                    std::uint16_t* PlaneRow, const TSEdgeRow* Params);

// The part of such a line inside a window: its rows FirstRow..LastRow (0 is
// its first row, where ZRow and PlaneRow point) and the columns Left..Right.
// Each pixel written gets the values the whole line gives it.
struct TSLineWindow {
    std::int32_t FirstRow = 0;
    std::int32_t LastRow = 0;
    std::int32_t Left = 0;
    std::int32_t Right = 0;
};
using TSLineWindowKernel = void (*)(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows,
                                    std::int32_t* ZRow, std::uint16_t* PlaneRow, const TSEdgeRow* Params,
                                    const TSLineWindow& Window);
void StepLineFlatIn(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                    std::uint16_t* PlaneRow, const TSEdgeRow* Params, const TSLineWindow& Window);
void StepLineSmoothIn(std::ptrdiff_t ZStride, std::ptrdiff_t PlaneStride, std::int32_t Rows, std::int32_t* ZRow,
                      std::uint16_t* PlaneRow, const TSEdgeRow* Params, const TSLineWindow& Window);
