#pragma once
// 8-bit display pyramid of a raster layer: level 0 at full size and a stack of
// halved levels, each cut into 256 x 256 tiles that lie contiguously in a block
// the caller keeps mapped (normally the display cache file). Region extraction
// at any reduction or magnification reads it tile by tile.

#include <cstddef>
#include <cstdint>
#include <memory>

class CMeterInfoBase;

// Bytes of a display cache file in front of the levels: the 12-byte header
// (flag, source modification time) and the 256-bin display histogram.
inline constexpr int kDisplayCacheHeaderSize = 12;  // CTempInfoStruct
inline constexpr int kDisplayHistogramSize = 1024;
inline constexpr int kDisplayCacheLevelsOffset = kDisplayCacheHeaderSize + kDisplayHistogramSize;

// Number of levels of the pyramid of a width x height layer; 0 for an empty size.
int PyramidLevelCount(int width, int height);

// Bytes of all levels of the pyramid of a width x height layer; 0 for an empty
// size. 64-bit: a layer of any int size is counted exactly.
int64_t GetViewerTempSize(int width, int height);

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
    int ScaleToDisplay(unsigned char* dest, uint32_t* histogram, const void* samples, ptrdiff_t rowBytes,
                       int type, int phase, double lo, double hi, int x0, int y0, int x1, int y1);

    // 2 x 2 average of the level-below tiles that this tile covers; the last
    // three may be null at the right and bottom edges.
    int Reduce(unsigned char* dest, const PyramidTile* topLeft, const PyramidTile* topRight,
               const PyramidTile* bottomLeft, const PyramidTile* bottomRight);

    // Output rectangle of cols x rows from (xoff, yoff) of the tile; dest is the
    // first output pixel, rowBytes may be negative (bottom-up).
    void CopyRows(unsigned char* dest, ptrdiff_t rowBytes, int pixelStep, int xoff, int yoff, int cols,
                  int rows) const;
    // Same, each source pixel replicated factor x factor times; cols and rows are
    // output pixels and never reach beyond the tile.
    void CopyMagnified(unsigned char* dest, ptrdiff_t rowBytes, int pixelStep, int xoff, int yoff, int cols,
                       int rows, int factor) const;
};

// Resampling tables, sized from the larger side of the layer and indexed by
// output coordinate on either axis. The row scratch of the resampling path
// belongs to each call, so regions can be read on several threads at once.
struct PyramidWork {
    uint32_t* pairs = nullptr;      // larger side x (i0, i1)
    uint32_t* fractions = nullptr;  // larger side, weight of i1 in units of 2^-32
    int entries = 0;                // entries that the last SetScale filled
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

    int BuildBase(unsigned char* levels, const void* samples, int width, int height, ptrdiff_t rowBytes,
                  int type, int phase, double lo, double hi, CMeterInfoBase* meter);
    int BuildReduced(unsigned char* data, const PyramidLevel& previous, CMeterInfoBase* meter);

    int ExtractRegion(unsigned char* dest, int rowBytes, int x, int y, int width, int height, double reduction,
                      PyramidWork& work, int pixelStep, int bottomUp, CMeterInfoBase* meter) const;
    int GetLine(uint32_t* out, int width, int height, int index, PyramidWork& work) const;
};

// Not copyable or movable: its tables point into buffers it owns and the
// caller's mapped block.
class CDisplayPyramid final {
public:
    CDisplayPyramid() = default;
    ~CDisplayPyramid();
    CDisplayPyramid(const CDisplayPyramid&) = delete;
    CDisplayPyramid& operator=(const CDisplayPyramid&) = delete;

    void Free();

    // Builds every level into levels (GetViewerTempSize bytes) and the display
    // histogram into the 1024 bytes before it. When cacheHeader is given, levels
    // lies in a display cache file right after its header and histogram: the
    // header's time is cleared first and written back only after the levels and
    // histogram are flushed, so a build that fails or is cancelled leaves a file
    // no look-up accepts. Returns 0 for arguments it refuses; a cancel from the
    // meter and other failures leave as exceptions. A mapped levels block must have
    // its file space reserved (CMemoryMap, plat::ReplacingFile::Map): a write into a
    // sparse file on a full disk ends the process with SIGBUS.
    int Build(unsigned char* levels, const void* samples, int width, int height, ptrdiff_t rowBytes, int type,
              int phase, double lo, double hi, CMeterInfoBase* meter, unsigned char* cacheHeader = nullptr);

    // Lays the tables over levels that an earlier build wrote; reads no pixel.
    int Attach(unsigned char* levels, int width, int height);

    static int64_t GetDataSize(int width, int height) { return GetViewerTempSize(width, height); }

    void SetScale(double reduction);
    int GetRegion(unsigned char* dest, int rowBytes, int x, int y, int width, int height, double reduction,
                  int fit, int pixelStep, int bottomUp, CMeterInfoBase* meter);
    int GetLine(uint32_t* out, int width, int height, int index);

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int LevelCount() const { return m_nLevelCount; }
    const PyramidLevel& Level(int k) const { return m_pLevels[k]; }
    int64_t TotalSize() const { return m_nTotalSize; }

    // Level that serves a reduction: the coarsest whose step does not exceed it,
    // else the top one.
    int ChooseLevel(double reduction) const;

private:
    void Prepare(unsigned char* levels, int width, int height);

    int m_nLargerSide = 0;
    std::unique_ptr<uint32_t[]> m_pWorkBuffer;
    PyramidWork m_Work;
    double m_dTableReduction = 0.0;  // reduction the tables were built for
    int m_nWidth = 0;
    int m_nHeight = 0;
    unsigned char* m_pData = nullptr;
    int64_t m_nTotalSize = 0;
    int m_nLevelCount = 0;
    std::unique_ptr<PyramidLevel[]> m_pLevels;
};
