#pragma once
// Writes the structure of layers into raster layer files: a fresh one-layer file, a
// layer appended to a version-3 file, and a layer taken out of its file's chain.
// Pixels, statistics and preview are left as zero bytes for the layer's binding to
// fill. No function throws; each leaves the file as it was when it fails.

#include <cstdint>
#include <optional>

namespace plat {
class File;
}

namespace rdpwrite {

// What a new layer is made of.
struct LayerShape {
    int width = 0;
    int height = 0;
    int type = 0;
    bool preview = false;         // tag 4 is made
    std::int64_t pixelBytes = 0;  // width x height x sample size
};

// The shape of a layer, or nothing when width or height is below 1 or the type
// is not a sample type code. Sizes are 64-bit: nothing here can overflow.
std::optional<LayerShape> MakeShape(int width, int height, int type, bool preview);

// Size of a freshly created file of that shape; above kRDPMaxFileSize its offsets
// cannot be written.
std::int64_t FreshFileSize(const LayerShape& shape);

// Writes a fresh one-layer file at path. The file is written in full under a
// temporary name beside path and renamed onto it, so an existing file is replaced
// only by a complete new one and is never truncated under a mapping. False when the
// file would be too large for the format or cannot be written.
bool WriteFreshFile(const char* path, const LayerShape& shape);

// Writes a fresh one-layer file of that shape into f, an empty file open for
// writing (the temporary of a replacing output). False when the file would be too
// large for the format, f is not empty, or a write fails.
bool WriteFreshLayer(plat::File& f, const LayerShape& shape);

// Appends a layer to the version-3 file at path and returns its number. The new
// layer, all its reserved tags included, is written behind the end of the file
// before the last layer record is linked to it, so no reader ever meets half a
// layer. Nothing when the file is not a readable version-3 file, its records are
// not numbered 0, 1, 2 ... in order or overlap each other, the file header or a tag, one of its layers could not be
// bound or a link or payload of its chains reaches past its end (see RDPLayerLayout.h), the result would be too large
// for the format, or a write fails (the file is then cut back to its old size).
std::optional<int> AppendLayer(const char* path, const LayerShape& shape);

// Takes the layer numbered layer out of the chain of the version-3 file at path and
// numbers the layers behind it down by one; its bytes stay in the file. Layer 0 is
// replaced by a copy of layer 1's record, since the chain starts at offset 12.
// False when the layer is not in a readable chain, the chain's records are not
// numbered 0, 1, 2 ... in order or overlap each other, the file header or a tag,
// or a write fails part-way.
bool UnlinkLayer(const char* path, int layer);

}  // namespace rdpwrite
