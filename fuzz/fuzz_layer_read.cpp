// Arbitrary bytes as a raster layer file, read only: the file-level tag functions,
// the transform history, and every layer that binds read-only (up to four) with
// its rows, tags and preview, ReadData into a complex double layer (each sample
// arrives exactly) and the statistics kernels over a copy of its samples. Nothing
// may change the file. The writers have their own target (fuzz_layer_file).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "LayerFuzz.h"
#include "platform/threads/ParallelFor.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "layer/Transform.h"

namespace {

using fuzzsupport::Dice;

constexpr int kMaxLayers = 4;

struct Paths {
    std::string file;
    std::string unwritable;  // a history step is read, then refused here
};

const Paths& Scratch()
{
    static const Paths paths = [] {
        const std::string dir = fuzzsupport::ScratchName("fuzz_read");
        return Paths{dir + "/input.rdp", dir + "/missing/out.rdp"};
    }();
    return paths;
}

bool SameDouble(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

// The first layer that binds stays bound in held until the input is done, so that
// the others share its view of the file: every binding maps and unmaps it otherwise.
void Layer(const char* file, int number, Dice& dice, CRDPLayer& held)
{
    CRDPLayer own;
    CRDPLayer& src = held.IsEmpty() ? held : own;
    try {
        if (src.OpenLayerEx(file, number, 0) == nullptr)
            return;
    } catch (plat::Exception* e) {
        e->Delete();
        return;
    }
    FUZZ_CHECK(!src.IsWritable() && src.Width() > 0 && src.Height() > 0);
    const int width = src.Width();
    try {
        src.Min(), src.Max(), src.Mean(), src.StdDev(), src.StatsReady();
        // The histogram may lie unaligned in the file: copied, never read in place.
        unsigned counts[256];
        if (const unsigned* hist = src.HistAdr())
            std::memcpy(counts, hist, sizeof counts);
        src.GetTag(201);
        char small[16];
        src.GetTag(3, sizeof small, small);
        static unsigned char previewBytes[80000];
        if (dice.Next(16) == 0)
            src.RescaleToPreview(previewBytes);

        // Every sample arrives exactly in a complex double layer.
        const int w = std::min(width, 1 + int(dice.Next(64)));
        const int h = std::min(src.Height(), 1 + int(dice.Next(8)));
        const CPoint at{int(dice.Next(2)), int(dice.Next(2))};
        CRDPLayer wide;
        FUZZ_CHECK(wide.CreateTempLayer(w, h, CFLOAT64) != nullptr);
        FUZZ_CHECK(wide.ReadData(&src, at, CPoint{0, 0}, CSize{-1, -1}) == 1);
        const int cols = std::min(w, width - at.x);
        const int rows = std::min(h, src.Height() - at.y);
        std::vector<double> re(static_cast<size_t>(width)), im(static_cast<size_t>(width));
        std::vector<double> dre(static_cast<size_t>(w)), dim(static_cast<size_t>(w));
        for (int y = 0; y < rows; ++y) {
            src.GetDoubleLine(y + at.y, re.data(), 1);
            if (src.IsComplex())
                src.GetDoubleLine(y + at.y, im.data(), 2);
            wide.GetDoubleLine(y, dre.data(), 1);
            wide.GetDoubleLine(y, dim.data(), 2);
            for (int x = 0; x < cols; ++x) {
                FUZZ_CHECK(SameDouble(dre[size_t(x)], re[size_t(x + at.x)]));
                FUZZ_CHECK(SameDouble(dim[size_t(x)], src.IsComplex() ? im[size_t(x + at.x)] : 0.0));
            }
        }

        // The statistics kernels over a copy of the samples in their own type.
        CRDPLayer copy;
        FUZZ_CHECK(copy.CreateTempLayer(w, h, src.Type()) != nullptr);
        FUZZ_CHECK(copy.ReadData(&src, CPoint{0, 0}, CPoint{0, 0}, CSize{-1, -1}) == 1);
        const RECT rect{int(dice.Next(3)) - 1, 0, w - 1 + int(dice.Next(3)), h - 1};
        copy.MaxMinCount(dice.Next(2) ? &rect : nullptr);
        std::vector<double> row(static_cast<size_t>(w));
        copy.GetDoubleLine(h - 1, row.data(), 1);
    } catch (plat::Exception* e) {
        e->Delete();
    }
}

}  // namespace

// One thread: the inputs are far below what the parallel loops share out, and
// helper threads that ever ran make every unmapping interrupt their processors.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    plat::SetParallelThreadLimit(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Paths& p = Scratch();
    const char* file = p.file.c_str();
    fuzzsupport::WriteFile(p.file, data, size);
    Dice dice(data, size);

    const int layers = GetNumLayer(file);
    fuzzsupport::ReadFileLevel(file, layers, kMaxLayers);
    // The history is read, the step composed, and the write refused.
    FUZZ_CHECK(SaveSubsetTransform(SPoint{1, 2}, p.file, p.unwritable) == 0);
    CRDPLayer held;
    for (int number = 0; number < kMaxLayers && number < layers; ++number)
        Layer(file, number, dice, held);
    const std::vector<uint8_t> after = fuzzsupport::ReadFile(p.file);
    FUZZ_CHECK(after.size() == size && std::equal(after.begin(), after.end(), data));
    return 0;
}
