// links: Varnok
// Minimum/maximum plus statistics with histogram (MaxMinCount + StatsCalc) of
// a layer, pages in memory, per core (pinned, one thread a side) and on all
// cores, medians of three, against:
//  - the real limit: one vectorised read pass over the same pixels (goal on
//    FLOAT32: ours at most 3 times that, per core and on all cores);
//  - `gdalinfo -stats -hist` at its fastest block cache on a raw VRT band over
//    the same file (the amplitude through a `mod` VRT band for the complex
//    layer), written afresh before every run so that no statistics are read
//    back (goal on FLOAT32: ours at least 19.8 times faster per core).
// MaxMinCount and StatsCalc are also timed alone, to show where the time goes.
//
//   build-rel/bin/bench_layer_stats [folder for the 256 MB test files]

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "platform/threads/ParallelFor.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "layer/SampleStats.h"

namespace {

// A one-layer file laid out as a fresh layer, pixels filled with a fixed
// pseudo-random pattern; returns the pixel data's offset.
int64_t WriteLayerFile(const std::string& path, int w, int h, int type)
{
    const int64_t p = int64_t(w) * h * GetDataTypeSize(type);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto put = [&](std::initializer_list<int32_t> words) {
        for (int32_t v : words)
            out.write(reinterpret_cast<const char*>(&v), 4);
    };
    out.write("RDPR", 4);
    put({3, 0, 0, 32, 0, 1, 0, 0, 44, 68, 24, w, h, type, 0, 1});
    put({1, 80, int32_t(88 + p), int32_t(p + 4)});
    std::vector<float> row(size_t(p / h / 4));
    uint32_t x = 12345;
    for (int y = 0; y < h; ++y) {
        for (float& v : row) {
            x = x * 1664525u + 1013904223u;
            v = float(int32_t(x >> 8) % 20000) * 0.05f;
        }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size() * 4));
    }
    put({0, 2, int32_t(100 + p), 0});
    StatisticsTag stats{};
    stats.length = sizeof stats;
    out.write(reinterpret_cast<const char*>(&stats), sizeof stats);
    return 84;
}

void WriteRawVrt(const std::string& vrt, const std::string& raw, int w, int h, int type, int64_t offset)
{
    const int size = GetDataTypeSize(type);
    std::ofstream out(vrt, std::ios::trunc);
    out << "<VRTDataset rasterXSize=\"" << w << "\" rasterYSize=\"" << h << "\">\n"
        << "  <VRTRasterBand dataType=\"" << (type == CFLOAT32 ? "CFloat32" : "Float32")
        << "\" band=\"1\" subClass=\"VRTRawRasterBand\">\n"
        << "    <SourceFilename relativeToVRT=\"0\">" << raw << "</SourceFilename>\n"
        << "    <ImageOffset>" << offset << "</ImageOffset>\n"
        << "    <PixelOffset>" << size << "</PixelOffset>\n"
        << "    <LineOffset>" << int64_t(w) * size << "</LineOffset>\n"
        << "    <ByteOrder>LSB</ByteOrder>\n"
        << "  </VRTRasterBand>\n</VRTDataset>\n";
}

// What gdalinfo reads: the samples, or for a complex layer their amplitude (a
// `mod` band over a raw one), as our statistics count them.
void WriteVrt(const std::string& vrt, const std::string& raw, int w, int h, int type, int64_t offset)
{
    if (type != CFLOAT32) {
        WriteRawVrt(vrt, raw, w, h, type, offset);
        return;
    }
    WriteRawVrt(vrt + ".raw.vrt", raw, w, h, type, offset);
    std::ofstream out(vrt, std::ios::trunc);
    out << "<VRTDataset rasterXSize=\"" << w << "\" rasterYSize=\"" << h << "\">\n"
        << "  <VRTRasterBand dataType=\"Float32\" band=\"1\" subClass=\"VRTDerivedRasterBand\">\n"
        << "    <PixelFunctionType>mod</PixelFunctionType>\n"
        << "    <SourceTransferType>CFloat32</SourceTransferType>\n"
        << "    <SimpleSource><SourceFilename relativeToVRT=\"0\">" << vrt << ".raw.vrt</SourceFilename>"
        << "<SourceBand>1</SourceBand></SimpleSource>\n"
        << "  </VRTRasterBand>\n</VRTDataset>\n";
}

// The least a 256-bin histogram of FLOAT32 samples costs: each sample offset,
// scaled, held to 0..255 and counted in the kernels' own per-thread tables, and
// nothing else (no sums, no NaN or maximum test). Shows what StatsCalc cannot go below.
uint64_t HistogramPass(const CRDPLayer& layer, double mn, double scale, int threads)
{
    std::vector<sample::Histogram> tables(static_cast<size_t>(threads));
    const auto* base = static_cast<const unsigned char*>(layer.Pixels());
    const int64_t n = layer.TotalSize() / 4;
    plat::ParallelFor(n, int64_t(1) << 16, threads, [&](int64_t b, int64_t e, int slot) {
        int32_t index[256];
        for (int64_t i = b; i < e; i += 256) {
            const int m = int(std::min<int64_t>(256, e - i));
#pragma omp simd
            for (int k = 0; k < m; ++k) {
                const double v = sample::Load<float>(base + 4 * (i + k));
                index[k] = int32_t(sample::ClampBinValue((v - mn) * scale));
            }
            tables[size_t(slot)].Add(index, m);
        }
    });
    uint64_t sum = 0;
    for (const auto& t : tables)
        sum += uint64_t(t.Counted());
    return sum;
}

bool Run(const std::string& folder, const char* name, int w, int h, int type)
{
    const std::string path = folder + "/bench_layer_stats_" + name + ".rdp";
    const std::string vrt = folder + "/bench_layer_stats_" + name + ".vrt";
    const int64_t offset = WriteLayerFile(path, w, h, type);

    CRDPLayer layer;
    if (layer.OpenLayer(path.c_str(), 1) == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    const int threads = plat::ParallelThreads();
    const bench::Timings limit = bench::ReadPasses(layer.Pixels(), layer.TotalSize());
    const auto both = [&] {
        layer.MaxMinCount(nullptr);
        layer.StatsCalc();
    };
    const bench::Timings ours = bench::Ours(both);
    const bench::Timings maxMin = bench::Ours([&] { layer.MaxMinCount(nullptr); });
    const bench::Timings stats = bench::Ours([&] { layer.StatsCalc(); });
    const double scale = 255.0 / (layer.Max() - layer.Min());
    const bool real = type == FLOAT32;
    volatile uint64_t sink = 0;
    const double histogram =
        real ? bench::Median(3, [&] { sink = HistogramPass(layer, layer.Min(), scale, threads); }) : 0.0;
    (void)sink;

    // A new description before each run: GDAL keeps what it computed in the VRT.
    const bench::GdalTimings gdal = bench::Gdal("gdalinfo -stats -hist " + bench::Quote(vrt) + " > /dev/null 2>&1",
                                                [&] { WriteVrt(vrt, path, w, h, type, offset); });

    std::printf("%s %d x %d: min/max %.6g %.6g, mean %.6g, sd %.6g\n", name, w, h, layer.Min(), layer.Max(),
                layer.Mean(), layer.StdDev());
    layer.CloseLayer();
    std::filesystem::remove(path);
    std::filesystem::remove(vrt);
    std::filesystem::remove(vrt + ".raw.vrt");

    // The goals are set on FLOAT32; the complex layer is shown beside them (its
    // statistics add a phase histogram, which gdalinfo does not make).
    const bool judged = type == FLOAT32;
    const bool toLimit = bench::CompareBoth("  statistics to the read pass", "ours", ours, threads, "read pass", limit,
                                            threads, {judged ? 3.0 : 0, true}, {judged ? 3.0 : 0, true});
    bench::CompareBoth("    MaxMinCount alone", "MaxMinCount", maxMin, threads, "read pass", limit, threads, {}, {});
    bench::CompareBoth("    StatsCalc alone", "StatsCalc", stats, threads, "read pass", limit, threads, {}, {});
    if (real)
        bench::Ratio("    a bare histogram pass (the floor of StatsCalc), all cores", {"histogram", histogram, threads},
                     {"read pass", limit.all, threads});
    const bool perCore = bench::CompareBoth("  against gdalinfo", "gdalinfo", gdal.t, threads, "ours", ours, threads,
                                            {judged ? 19.8 : 0, false}, {});
    return toLimit && perCore;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = bench::Folder(argc, argv);
    bench::Require({"gdalinfo", "taskset"});
    bool ok = Run(folder, "float32", 8000, 8000, FLOAT32);
    ok = Run(folder, "cfloat32", 4000, 4000, CFLOAT32) && ok;
    return ok ? 0 : 1;
}
