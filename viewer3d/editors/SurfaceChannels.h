#pragma once
// The channel computations of the surface editor on a plain node array: a
// linear fill, the area-weighted resampling of a raster layer onto the node
// grid and the linear mapping of a channel's range onto [Min, Max]. All in
// 32-bit floats; rows in order, columns in order within a row.

#include <cstdint>
#include <functional>
#include <vector>

// Channel k (0 x, 1 y, 2 z, 3 red, 4 green, 5 blue) of a grid of nodes that
// are NodeFloats floats long, RowBytes apart from row to row.
struct TSNodeChannel {
    unsigned char* Nodes = nullptr;
    std::int64_t RowBytes = 0;
    std::int32_t XCount = 0;
    std::int32_t YCount = 0;
    std::int32_t Channel = 0;
    std::int32_t NodeFloats = 12;

    float* Row(std::int32_t J) const
    {
        return reinterpret_cast<float*>(Nodes + std::int64_t(J) * RowBytes) + Channel;
    }
};

// Called after each row of nodes (may throw to break the pass off).
using TSRowDone = std::function<void()>;
// Reads layer row Row into Buffer (W floats).
using TSLayerRowReader = std::function<void(std::int32_t Row, float* Buffer)>;

// Channel 0 runs from Min to Max across the columns, channel 1 across the
// rows; the others take Max everywhere.
void LinearFillChannel(const TSNodeChannel& C, double Min, double Max, const TSRowDone& RowDone);

// The area-weighted mean of a W x H layer over each node's cell. Nothing for
// a layer less than one sample wide or without rows.
void ResampleChannel(const TSNodeChannel& C, std::int32_t W, std::int32_t H, const TSLayerRowReader& ReadRow,
                     const TSRowDone& RowDone);

// The channel's range among its finite values mapped linearly onto
// [Min, Max]; all equal (or none finite): every value becomes Max. Two passes.
void MinMaxChannel(const TSNodeChannel& C, double Min, double Max, const TSRowDone& RowDone);

// The pieces of one row in the horizontal resampling: sample Sample goes into
// node Node with weight Weight (overlap in node units).
struct TSResamplePiece {
    std::int32_t Node;
    std::int32_t Sample;
    float Weight;
};
std::vector<TSResamplePiece> ResamplePieces(std::int32_t Nodes, std::int32_t Samples);
