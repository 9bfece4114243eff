// Arbitrary bytes as a raster layer file read by the 3D viewer's own reader:
// open, map through every layer's update, read each row of each layer in two
// buffer types, describe the layers and copy the tree.

#include "engine3d/model/EngineUnits.h"
#include "engine3d/files/SLayers.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string ScratchFile()
{
    const char* base = std::getenv("TMPDIR");
    return std::string(base && *base ? base : "/tmp") + "/fuzz3dlayer." + std::to_string(::getpid()) + ".rdp";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    static const bool started = [] {
        StartEngineUnits();
        return true;
    }();
    (void)started;
    static const std::string path = ScratchFile();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(Data, 1, Size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(nullptr, path));
    try {
        keeper->Open(path, 3, 0, true);
    } catch (const ELibraryError&) {
        return 0;
    }
    std::unique_ptr<TSDataBranch> tree(keeper->BuildTree());
    std::string text;
    for (std::int32_t k = 0; k < keeper->Count(); ++k) {
        TSLayer* layer = keeper->GetLayer(k);
        layer->BeginUpdate();
        layer->GetDescription(text);
        // Rows are read up to a bounded width: the row's samples are inside
        // the file, the buffer is the caller's.
        const std::int32_t width = std::min(layer->Width(), 4096);
        std::vector<double> row(std::max(width, 1));
        for (std::int32_t y = 0; y < std::min(layer->Height(), 4096); ++y) {
            layer->ReadRow(y, row.data(), width, 8, stFloat64);
            layer->ReadRow(y, row.data(), width, 1, stUInt8);
        }
    }
    return 0;
}
