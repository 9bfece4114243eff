#pragma once
// Runs of samples converted from one sample type to another by the shared
// conversion rules (SampleConvert.h). The type pair is resolved once, into a
// function whose loop over the run is compiled for that pair.

#include <cstdint>

namespace sample {

// Converts n samples at src into n samples at dst. Equal types copy bytes and may
// overlap; different types must not overlap.
using RowConverter = void (*)(const unsigned char* src, unsigned char* dst, std::int64_t n);

// The converter from srcType to dstType (codes 1 to 16); null for any other code.
RowConverter GetRowConverter(int srcType, int dstType);

}  // namespace sample
