#pragma once
// 8-bit display pyramid of a raster layer: level 0 at full size and a stack of
// halved levels, each cut into 256 x 256 tiles that lie contiguously in a block
// the caller keeps mapped (normally the display cache file). Region extraction
// at any reduction or magnification reads it tile by tile.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/threads/ParallelFor.h"

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

// Bytes of the display cache file of a width x height layer: header, histogram
// and levels. A cache file of any other length is not valid.
int64_t GetDisplayCacheSize(int width, int height);

struct PyramidLevel;  // pyramid/PyramidLevel.h

// Not copyable or movable: its tables point into buffers it owns and the
// caller's mapped block.
class CDisplayPyramid final {
public:
    CDisplayPyramid();
    ~CDisplayPyramid();
    CDisplayPyramid(const CDisplayPyramid&) = delete;
    CDisplayPyramid& operator=(const CDisplayPyramid&) = delete;

    void Free();

    // Builds every level into levels (GetViewerTempSize bytes) and the display
    // histogram into the 1024 bytes before it. When cacheHeader is given, levels
    // lies in a display cache file right after its header and histogram: the
    // header's time is cleared first and written back only after the levels and
    // histogram are complete, so a build that fails or is cancelled leaves a file
    // no look-up accepts. Nothing is flushed to disk: a cache can be built again. Returns 0 for arguments it refuses; a
    // cancel from the meter and other failures leave as exceptions. A mapped levels block must have its file space
    // reserved (CMemoryMap, plat::ReplacingFile::Map): a write into a sparse file on a full disk ends the process with
    // SIGBUS.
    int Build(unsigned char* levels, const void* samples, int width, int height, ptrdiff_t rowBytes, int type,
              int phase, double lo, double hi, CMeterInfoBase* meter, unsigned char* cacheHeader = nullptr);

    // Lays the tables over levels that an earlier build wrote; reads no pixel.
    // length is how many bytes the caller's mapping holds from levels on (for a
    // cache file mapped whole: its length - kDisplayCacheLevelsOffset); 0 when it
    // is shorter than GetViewerTempSize.
    int Attach(unsigned char* levels, int width, int height, int64_t length);

    static int64_t GetDataSize(int width, int height) { return GetViewerTempSize(width, height); }

    // Regions make their own resampling tables for the reduction they are asked
    // at, so regions at any reductions can be read on several threads at once;
    // SetScale prepares nothing and stays for callers that announce a zoom.
    void SetScale(double reduction);
    // ready, if given, hears of the output rows as they come (PyramidLevel::ExtractRegion);
    // a painter draws them while they are still in the cache.
    int GetRegion(unsigned char* dest, int rowBytes, int x, int y, int width, int height, double reduction, int fit,
                  int pixelStep, int bottomUp, CMeterInfoBase* meter,
                  const plat::FunctionRef<void(int64_t, int64_t)>* ready = nullptr) const;
    int GetLine(uint32_t* out, int width, int height, int index) const;

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int LevelCount() const { return m_nLevelCount; }
    const PyramidLevel& Level(int k) const;
    int64_t TotalSize() const { return m_nTotalSize; }

    // Level that serves a reduction: the coarsest whose step does not exceed it,
    // else the top one.
    int ChooseLevel(double reduction) const;

private:
    void Prepare(unsigned char* levels, int width, int height);

    int m_nLargerSide = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    unsigned char* m_pData = nullptr;
    int64_t m_nTotalSize = 0;
    int m_nLevelCount = 0;
    std::unique_ptr<PyramidLevel[]> m_pLevels;
};
