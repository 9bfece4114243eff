#pragma once
// Inside of the display pyramid: tiles, levels and the resampling of one
// region. Not part of the library's interface; the pyramid's own sources and
// its tests use it.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/threads/ParallelFor.h"

class CMeterInfoBase;

inline constexpr int kPyramidTile = 256;

struct PyramidTile {
    int x0 = 0;  // corners in level-0 pixels, inclusive
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    int width = 0;  // in pixels of the tile's own level
    int height = 0;
    int size = 0;  // width x height bytes
    int step = 0;  // level-0 pixels per tile pixel, each way
    unsigned char* data = nullptr;

    void Set(unsigned char* data, int step, int x0, int y0, int x1, int y1);

    // Converts the level-0 rectangle (x0, y0)-(x1, y1) of the samples to display
    // values at dest, counting real and amplitude values into histogram.
    int ScaleToDisplay(unsigned char* dest, uint32_t* histogram, const void* samples, ptrdiff_t rowBytes, int type,
                       int phase, double lo, double hi, int x0, int y0, int x1, int y1);

    // 2 x 2 average of the level-below tiles that this tile covers; the last
    // three may be null at the right and bottom edges.
    int Reduce(unsigned char* dest, const PyramidTile* topLeft, const PyramidTile* topRight,
               const PyramidTile* bottomLeft, const PyramidTile* bottomRight);

    // Output rectangle of cols x rows from (xoff, yoff) of the tile; dest is the
    // first output pixel, rowBytes may be negative (bottom-up).
    void CopyRows(unsigned char* dest, ptrdiff_t rowBytes, int pixelStep, int xoff, int yoff, int cols, int rows) const;
    // Same, each source pixel replicated factor x factor times; cols and rows are
    // output pixels and never reach beyond the tile.
    void CopyMagnified(unsigned char* dest, ptrdiff_t rowBytes, int pixelStep, int xoff, int yoff, int cols, int rows,
                       int factor) const;
};

struct PyramidLevel;

// Bilinear resampling of a level at one reduction, in 32.32 fixed point with
// both corners aligned. It serves both axes: output coordinate e maps onto the
// source pair (i0, i1) of the level with the weight of i1. Each region makes
// its own from the reduction asked, so nothing is shared between calls.
struct PyramidWork {
    uint32_t whole = 0;     // step (N - 1) / (n - 1): whole part
    uint32_t fraction = 0;  // and fraction in units of 2^-32
    uint32_t last = 0;      // N - 1
    int entries = 0;        // n, the output coordinates served

    // The tables of level for reduction (above its step; else none), N the
    // level's larger side, n = trunc(N / s) + 1 at most largerSide.
    static PyramidWork For(const PyramidLevel& level, double reduction, int largerSide);

    // Entry e (below entries), the same as adding the step e times.
    void Entry(int64_t e, uint32_t& i0, uint32_t& i1, uint32_t& weight) const
    {
        if (e == 0 || entries <= 1) {
            i0 = i1 = weight = 0;
            return;
        }
        const uint64_t sum = uint64_t(e) * fraction;
        weight = uint32_t(sum);
        i0 = uint32_t(uint64_t(e) * whole + (sum >> 32));
        i1 = e == entries - 1 ? last : i0 + 1;
    }
};

struct PyramidLevel {
    PyramidLevel() = default;
    PyramidLevel(const PyramidLevel&) = delete;
    PyramidLevel& operator=(const PyramidLevel&) = delete;

    int fullWidth = 0;  // level 0
    int fullHeight = 0;
    int width = 0;  // this level
    int height = 0;
    std::unique_ptr<PyramidTile[]> tiles;  // tilesAcross x tilesDown, row-major
    int tilesAcross = 0;
    int tilesDown = 0;
    int step = 0;

    int64_t ByteSize() const { return int64_t(width) * height; }
    const PyramidTile& Tile(int row, int col) const { return tiles[size_t(row) * tilesAcross + col]; }

    // Tile table over the level's bytes at data.
    void Layout(unsigned char* data, int fullWidth, int fullHeight, int step);

    int BuildBase(unsigned char* levels, const void* samples, int width, int height, ptrdiff_t rowBytes, int type,
                  int phase, double lo, double hi, CMeterInfoBase* meter);
    int BuildReduced(unsigned char* data, const PyramidLevel& previous, CMeterInfoBase* meter);

    // ready, if given, hears of every output row once it is in dest, rows counted in
    // memory order: runs of rows from the threads that made them, and at the end, from
    // the caller, the rows the region left as they were.
    int ExtractRegion(unsigned char* dest, int rowBytes, int x, int y, int width, int height, double reduction,
                      const PyramidWork& work, int pixelStep, int bottomUp, CMeterInfoBase* meter,
                      const plat::FunctionRef<void(int64_t, int64_t)>* ready = nullptr) const;
    int GetLine(uint32_t* out, int width, int height, int index) const;

private:
    // ExtractRegion's work; reported: how many leading rows ready heard of.
    int ExtractRows(unsigned char* dest, int rowBytes, int x, int y, int width, int height, double reduction,
                    const PyramidWork& work, int pixelStep, int bottomUp, CMeterInfoBase* meter,
                    const plat::FunctionRef<void(int64_t, int64_t)>* ready, int& reported) const;
};
