#pragma once
// The raster layer file's on-disk layout.
//
// All numbers are little-endian int32 unless said otherwise; every offset is
// absolute from the start of the file and 0 stands for no record, so a file
// stays below 2^31 bytes.

#include <cstdint>

inline constexpr char kRDPMagic[4] = {'R', 'D', 'P', 'R'};
inline constexpr std::int32_t kRDPVersion2 = 2;  // one layer, tag chain at 12; read only
inline constexpr std::int32_t kRDPVersion3 = 3;  // chain of layer records at 12
inline constexpr std::int64_t kRDPMaxFileSize = 2147483647;
// Below this size a file holds no layer (header and one layer record).
inline constexpr std::int64_t kRDPMinFileSize = 32;

// Reserved tag numbers; user tags start at kFirstUserTag.
enum RDPTagNumber : std::int32_t {
    kTagLayerHeader = 0,
    kTagPixels = 1,
    kTagStatistics = 2,
    kTagPhaseStatistics = 3,
    kTagPreview = 4,
    kFirstUserTag = 5,
};

inline constexpr int kHistogramBins = 256;
inline constexpr int kPreviewSide = 200;
// Payload lengths of the preview tag (complex types add a phase plane).
inline constexpr std::int32_t kPreviewLengthReal = 4 + kPreviewSide * kPreviewSide;
inline constexpr std::int32_t kPreviewLengthComplex = 4 + 2 * kPreviewSide * kPreviewSide;

// At offset 0.
struct RDPFileHeader {
    char magic[4];
    std::int32_t version;
    std::int32_t reserved;  // written 0, never read
};

// Version 3: one per layer, chained from offset 12.
struct RDPLayerRecord {
    std::int32_t number;    // 0, 1, 2 ... in chain order
    std::int32_t firstTag;  // offset of the layer's first tag header
    std::int32_t next;      // offset of the next record, 0 for the last
    std::int32_t one;       // written 1, never read
    std::int32_t zero;      // written 0, never read
};

struct RDPTagHeader {
    std::int32_t tag;
    std::int32_t payload;  // offset of the payload
    std::int32_t next;     // offset of the next header of the layer, 0 for the last
};

// Every payload starts with its total length (length word included); a user tag's
// second word is its copy flag (0: not copied by the copy-everything CopyTag).
struct UserTagPrefix {
    std::int32_t length;
    std::int32_t copyFlag;
};

// Tag 0.
struct LayerHeaderTag {
    std::int32_t length;  // 24
    std::int32_t width;
    std::int32_t height;
    std::int32_t type;      // sample type code
    std::int32_t reserved;  // written 0, kept but meaningless
    std::int32_t pixelTag;  // written 1
};

// Tag 1: the length word, then height rows of width samples, top row first.
struct PixelDataTag {
    std::int32_t length;  // width x height x sample size + 4
};

// Tags 2 (amplitude for complex types) and 3 (phase).
struct StatisticsTag {
    std::int32_t length;  // 1064
    std::int32_t computed;
    double minimum;
    double maximum;
    double deviation;
    double mean;
    std::uint32_t histogram[kHistogramBins];
};

// Tag 4: the scaled samples, bottom row first; complex types follow it with a
// phase plane of the same size (length kPreviewLengthComplex).
struct PreviewTag {
    std::int32_t length;
    std::uint8_t image[kPreviewSide * kPreviewSide];
};

static_assert(sizeof(RDPFileHeader) == 12);
static_assert(sizeof(RDPLayerRecord) == 20);
static_assert(sizeof(RDPTagHeader) == 12);
static_assert(sizeof(UserTagPrefix) == 8);
static_assert(sizeof(LayerHeaderTag) == 24);
static_assert(sizeof(PixelDataTag) == 4);
static_assert(sizeof(StatisticsTag) == 1064);
static_assert(sizeof(PreviewTag) == kPreviewLengthReal);
