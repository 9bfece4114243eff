#pragma once
// Reader of baseline TIFF files: the first image file directory, its tags, the
// checks that decide whether the image can be imported, and the strip readers
// that put a window of the image into the pixel memory of raster layers.
//
// Everything the file says is checked against the file before it is used: the
// reader refuses with a reason rather than read outside the file or an array.

#include <cstdint>
#include <string>
#include <vector>

#include "tiff/TIFFDirEntry.h"

class COrderFile;
class CMeterInfoBase;

class SampleTally;

class CTIFFReader final {
public:
    explicit CTIFFReader(std::string fileName = {}) : m_fileName(std::move(fileName)) {}
    // A plain value: copies duplicate every array.
    CTIFFReader(const CTIFFReader&) = default;
    CTIFFReader& operator=(const CTIFFReader&) = default;

    // 0 read, 1 the file cannot be opened, -1 not a TIFF this reader knows (the
    // reason is kept).
    int ReadDirectory();
    // 1 usable, 0 not (the reason is kept). Needs a directory read.
    int InterpretTags();
    // Bits per pixel: the sum of the bits of the samples.
    int GetDepth() const;

    // Whether the interpreted image can be imported. 0 when it can, with its bytes
    // per pixel; else the id of the refusal's text (3091, 3098, 3099), the reason kept.
    int CheckInput(int* bytesPerPixel);
    // Sample type of the output layer for outBytesPerPixel (3: three UINT8 planes).
    int LayerType(int outBytesPerPixel) const;

    // Reads the window (x, y, w, h) into the pixel memory of one layer (w x h
    // pixels of outBytesPerPixel) or, with outBytesPerPixel 3, of three UINT8
    // planes. file is the TIFF open for reading. Damage throws CRDPExcept with
    // cause 6 and the reason; the meter's cancel passes through. tallies, when
    // given, holds a tally per layer (or null), each for up to ParallelThreads()
    // slots: every window row is counted there while it is in the cache.
    void ReadStrips(COrderFile* file, unsigned char* const* pixels, CMeterInfoBase* meter, int x, int y, int w, int h,
                    int bytesPerPixel, int outBytesPerPixel, SampleTally* const* tallies = nullptr) const;

    // Why the last refusal was made; "" when there was none.
    const std::string& Refusal() const { return m_refusal; }
    const std::string& FileName() const { return m_fileName; }

    std::uint32_t Width() const { return m_width; }
    std::uint32_t Height() const { return m_height; }
    std::uint32_t Compression() const { return m_compression; }
    std::uint32_t Photometric() const { return m_photometric; }
    std::uint32_t SamplesPerPixel() const { return m_samples; }
    const std::vector<std::uint16_t>& BitsPerSample() const { return m_bits; }
    const std::vector<std::uint16_t>& ColorMap() const { return m_colorMap; }
    std::uint32_t ColorMapEntries() const { return m_colorMapEntries; }
    std::uint32_t RowsPerStrip() const { return m_rowsPerStrip; }
    int ByteOrder() const { return m_byteOrder; }
    const TIFFDirectory& Directory() const { return m_directory; }
    const std::vector<std::uint32_t>& StripOffsets() const { return m_stripOffsets; }
    const std::vector<std::uint32_t>& StripByteCounts() const { return m_stripByteCounts; }

private:
    struct StripPlan;     // the window, its strips and where their rows go
    struct StripScratch;  // one thread's buffers and string table
    // The strip readers: strips [begin, end) of the window, uncompressed (each
    // row's window read alone) or LZW (decoded up to the window's last row).
    void ReadRows(COrderFile* file, const StripPlan& plan, std::int64_t begin, std::int64_t end,
                  StripScratch& scratch) const;
    void ReadLZWStrips(COrderFile* file, const StripPlan& plan, std::int64_t begin, std::int64_t end,
                       StripScratch& scratch) const;

    bool Refuse(std::string why);
    // Bytes of one sample of the layer, for the byte order's reversal.
    int SampleBytes() const;

    std::string m_fileName;
    std::uint16_t m_mark = 0;
    std::uint16_t m_version = 0;
    std::uint32_t m_firstDirectory = 0;
    TIFFDirectory m_directory;
    std::uint32_t m_stripCount = 0;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::uint32_t m_photometric = 0;
    std::uint32_t m_colorMapEntries = 0;
    std::vector<std::uint16_t> m_colorMap;
    std::uint32_t m_samples = 0;
    std::vector<std::uint16_t> m_bits;
    std::vector<std::uint32_t> m_stripOffsets;
    std::vector<std::uint32_t> m_stripByteCounts;
    std::uint32_t m_compression = 1;
    int m_byteOrder = 0;

    // Tags the import refuses or follows beyond the baseline reading.
    std::uint32_t m_rowsPerStrip = 0;  // 0 until read: the whole height
    std::uint32_t m_predictor = 1;
    std::uint32_t m_planar = 1;
    std::vector<std::uint16_t> m_sampleFormat;
    bool m_haveSamplesTag = false;
    bool m_haveByteCounts = false;
    std::int64_t m_fileSize = 0;

    std::string m_refusal;
};
