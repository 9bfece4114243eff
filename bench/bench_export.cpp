// links: Mirvane
// Exporting an 8000 x 8000 FLOAT32 layer, file to complete output: the TIFF of
// its own samples against `gdal_translate -of GTiff -co BLOCKYSIZE=2` from a VRT
// raw band over the same samples (goal: 4 times faster) and against `cp` of a file
// of the output's size made durable (goal: within 2 times); the grey TIFF with the two-sigma
// clip against `gdal_translate -ot Byte -scale lo hi 0 255` (goal: 4 times faster);
// the raw export against `cp` and `sync` (within 1.5 times) and `gdal_translate -of ENVI`
// (4 times faster). Our exports make their output durable before it replaces an
// old file, so every reference's output is synced too; the plain copy left in
// the page cache is printed beside. Per core (both sides pinned to one core) and
// on all cores, medians of three; GDAL at its fastest block cache.
//
//   build-rel/bin/bench_export [folder for the test files, about 1.5 GB]

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "platform/threads/ParallelFor.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "raw/RawExport.h"
#include "tiff/TiffExport.h"

namespace {

constexpr int kSide = 8000;

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::Folder(argc, argv);
    bench::Require({"gdal_translate", "cp", "sync", "taskset"});
    const std::string layerFile = dir + "/bench_export.rdp";
    const std::string samples = dir + "/bench_export_samples.raw";
    const std::string vrt = dir + "/bench_export.vrt";
    const std::string out = dir + "/bench_export_out";
    {
        CRDPLayer layer;
        if (layer.CreateLayer(layerFile.c_str(), kSide, kSide, FLOAT32, 7) == nullptr) {
            std::fprintf(stderr, "cannot write %s\n", layerFile.c_str());
            return 2;
        }
        std::uint32_t s = 2463534242u;
        std::ofstream raw(samples, std::ios::binary);
        for (int y = 0; y < kSide; ++y) {
            auto* row = static_cast<unsigned char*>(layer.Rows()[y]);
            for (int x = 0; x < kSide; ++x) {
                s ^= s << 13;
                s ^= s >> 17;
                s ^= s << 5;
                const float v = float(s >> 8) / 65536.0f;
                std::memcpy(row + 4 * x, &v, 4);
            }
            raw.write(reinterpret_cast<const char*>(row), kSide * 4);
        }
        layer.CloseLayer();
    }
    std::ofstream(vrt) << "<VRTDataset rasterXSize=\"" << kSide << "\" rasterYSize=\"" << kSide
                       << "\"><VRTRasterBand dataType=\"Float32\" band=\"1\" subClass=\"VRTRawRasterBand\">"
                       << "<SourceFilename relativetoVRT=\"0\">" << samples << "</SourceFilename>"
                       << "<ImageOffset>0</ImageOffset><PixelOffset>4</PixelOffset><LineOffset>" << kSide * 4
                       << "</LineOffset><ByteOrder>LSB</ByteOrder></VRTRasterBand></VRTDataset>\n";
    CRDPLayer stats;
    stats.OpenLayer(layerFile.c_str(), 0);
    const double lo = std::max(stats.Min(), stats.Mean() - 2 * stats.StdDev());
    const double hi = std::min(stats.Max(), stats.Mean() + 2 * stats.StdDev());
    stats.CloseLayer();

    bool ok = true;
    std::string error;
    auto clean = [&] {
        for (const char* ext : {".tif", ".raw", ".raw.txt", ".hdr", ".aux.xml", ".copy"})
            std::filesystem::remove(out + ext);
    };
    const int threads = plat::ParallelThreads();
    const auto gdal = [&](const std::string& options, const std::string& to) {
        return bench::Gdal("gdal_translate -q " + options + bench::Quote(vrt) + " " + bench::Quote(to) +
                               " && sync " + bench::Quote(to),
                           clean);
    };
    const bench::Timings tiff2 =
        bench::Ours([&] { ok = RunTiffExport({layerFile, out + ".tif", 0, 2}, nullptr, &error) == 0 && ok; }, clean);
    const bench::GdalTimings gdal2 = gdal("-of GTiff -co BLOCKYSIZE=2 ", out + ".tif");
    const bench::Timings tiff1 =
        bench::Ours([&] { ok = RunTiffExport({layerFile, out + ".tif", 1, 1}, nullptr, &error) == 0 && ok; }, clean);
    char scale[128];
    std::snprintf(scale, sizeof scale, "-ot Byte -scale %.17g %.17g 0 255 ", lo, hi);
    const bench::GdalTimings gdal1 = gdal(scale, out + ".tif");
    const bench::Timings raw =
        bench::Ours([&] { ok = RunRawExport({layerFile, out + ".raw", 1}, nullptr, &error) == 0 && ok; }, clean);
    const bench::GdalTimings envi = gdal("-of ENVI ", out + ".raw");
    const bench::Timings cp = bench::Tool("sh -c " + bench::Quote("cp " + bench::Quote(samples) + " " +
                                                                   bench::Quote(out + ".copy") + " && sync " +
                                                                   bench::Quote(out + ".copy")),
                                          clean);
    const bench::Timings plainCp =
        bench::Tool("cp " + bench::Quote(samples) + " " + bench::Quote(out + ".copy"), clean);
    if (!ok) {
        std::fprintf(stderr, "export failed: %s\n", error.c_str());
        return 2;
    }
    const bench::Goal faster{4.0, false};
    bool met = true;
    met &= bench::CompareBoth("Color 2 TIFF", "gdal_translate", gdal2.t, threads, "ours", tiff2, threads, faster,
                              faster);
    met &= bench::CompareBoth("Color 2 TIFF to the real limit", "ours", tiff2, threads, "cp + sync", cp, 1,
                              {2.0, true}, {2.0, true});
    met &= bench::CompareBoth("Color 1 TIFF, two-sigma clip", "gdal_translate -scale", gdal1.t, threads, "ours", tiff1,
                              threads, faster, faster);
    met &= bench::CompareBoth("RAW to the real limit", "ours", raw, threads, "cp + sync", cp, 1, {1.5, true},
                              {1.5, true});
    bench::CompareBoth("RAW against a copy left in the page cache", "ours", raw, threads, "cp", plainCp, 1, {}, {});
    met &= bench::CompareBoth("RAW", "gdal_translate -of ENVI", envi.t, threads, "ours", raw, threads, faster, faster);
    clean();
    for (const std::string& f : {layerFile, samples, vrt})
        std::filesystem::remove(f);
    return met ? 0 : 1;
}
