// Arbitrary bytes as a raster layer file: the file-level tag functions, then
// every layer that binds, with its statistics, preview and rows.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <algorithm>
#include <vector>

#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"

namespace {

const std::string& ScratchFile()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_layer_XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0)
            close(fd);
        return pattern;
    }();
    return path;
}

void Write(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            abort();
        done += size_t(n);
    }
    close(fd);
}

void FileLevel(const char* file)
{
    GetVersion(file);
    const int layers = GetNumLayer(file);
    for (int layer = 0; layer < 3 && layer <= layers; ++layer) {
        GetNumTag(file, layer);
        // Iterate the chain the documented way, bounded.
        static unsigned char buf[1 << 16];
        int tag = 0;
        for (int i = 0; i < 8; ++i) {
            GetSizeTag(file, layer, tag);
            GetTag(file, layer, tag, sizeof buf, buf);
            tag = GetNextTag(file, layer, tag);
            if (tag == 0)
                break;
        }
        GetNextNoReservedTag(file, layer, 0);
    }
}

void Layer(const char* file, int number, bool preview)
{
    CRDPLayer layer;
    if (layer.OpenLayerEx(file, number, 1) == nullptr)
        return;
    try {
        layer.MaxMinCount(nullptr);
        layer.StatsCalc();
        // The preview costs the same 40000 samples whatever the layer: not every time.
        static unsigned char previewBytes[80000];
        if (preview)
            layer.RescaleToPreview(previewBytes);
        std::vector<double> row(size_t(layer.Width()));
        layer.GetDoubleLine(layer.Height() - 1, row.data(), 1);
        layer.SetLineFromDouble(0, row.data(), layer.IsComplex() ? 2 : 1);
        const RECT rect{-1, 1, layer.Width(), 2};
        layer.SetValue(COMPLEX_FLOAT64{1.5, -2.5}, &rect);
        layer.GetTag(201);
        char small[16];
        layer.GetTag(3, sizeof small, small);
        layer.SetTag(300, sizeof small, small);
    } catch (plat::Exception* e) {
        e->Delete();
    }
    layer.CloseLayer();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = ScratchFile();
    Write(path, data, size);
    FileLevel(path.c_str());
    for (int number = 0; number < 2; ++number)
        Layer(path.c_str(), number, size % 8 == 0);
    // The file-level writer last: it appends to the file.
    const unsigned char tag[12] = {12, 0, 0, 0, 1, 0, 0, 0, 7, 7, 7, 7};
    SetTag(path.c_str(), 0, 300, sizeof tag, tag);
    return 0;
}
