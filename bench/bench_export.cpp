// links: Mirvane
// Exporting an 8000 x 8000 FLOAT32 layer, file to complete output: the TIFF of
// its own samples against `gdal_translate -of GTiff -co BLOCKYSIZE=2` from a VRT
// raw band over the same samples (goal: 4 times faster) and against `cp` of a file
// of the output's size made durable (goal: within 2 times); the grey TIFF with the two-sigma
// clip against `gdal_translate -ot Byte -scale lo hi 0 255` (goal: 4 times faster);
// the raw export against `cp` and `sync` (within 1.5 times) and `gdal_translate -of ENVI`
// (4 times faster). Both sides run on one thread; GDAL with a 1 GB cache.
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
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "raw/RawExport.h"
#include "tiff/TiffExport.h"

namespace {

constexpr int kSide = 8000;
constexpr int kRuns = 3;
const std::string kGdal = "gdal_translate -q --config GDAL_CACHEMAX 1024 ";

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::Folder(argc, argv);
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
    const double tiff2 = bench::Best(
        kRuns, [&] { ok = RunTiffExport({layerFile, out + ".tif", 0, 2}, nullptr, &error) == 0 && ok; }, clean);
    const double gdal2 = bench::Best(
        kRuns, [&] { bench::Run(kGdal + "-of GTiff -co BLOCKYSIZE=2 " + vrt + " " + out + ".tif"); }, clean);
    const double tiff1 = bench::Best(
        kRuns, [&] { ok = RunTiffExport({layerFile, out + ".tif", 1, 1}, nullptr, &error) == 0 && ok; }, clean);
    char scale[128];
    std::snprintf(scale, sizeof scale, "-ot Byte -scale %.17g %.17g 0 255 ", lo, hi);
    const double gdal1 =
        bench::Best(kRuns, [&] { bench::Run(kGdal + scale + vrt + " " + out + ".tif"); }, clean);
    const double raw = bench::Best(
        kRuns, [&] { ok = RunRawExport({layerFile, out + ".raw", 1}, nullptr, &error) == 0 && ok; }, clean);
    const double envi =
        bench::Best(kRuns, [&] { bench::Run(kGdal + "-of ENVI " + vrt + " " + out + ".raw"); }, clean);
    // The exports flush their output to disk before it replaces the old file; the
    // real limit is a copy made as durable, beside the plain copy for reference.
    const double cp = bench::Best(
        kRuns,
        [&] {
            bench::Run("cp " + bench::Quote(samples) + " " + bench::Quote(out + ".copy") + " && sync " +
                       bench::Quote(out + ".copy"));
        },
        clean);
    const double plainCp = bench::Best(
        kRuns, [&] { bench::Run("cp " + bench::Quote(samples) + " " + bench::Quote(out + ".copy")); }, clean);
    if (!ok) {
        std::fprintf(stderr, "export failed: %s\n", error.c_str());
        return 2;
    }
    bool met = true;
    met &= bench::Compare("Color 2 TIFF", {"gdal_translate", gdal2, 1}, {"ours", tiff2, 1}, 4.0, false);
    met &= bench::Compare("Color 2 TIFF to the real limit", {"ours", tiff2, 1}, {"cp + sync", cp, 1}, 2.0, true);
    met &= bench::Compare("Color 1 TIFF, two-sigma clip", {"gdal_translate -scale", gdal1, 1}, {"ours", tiff1, 1},
                          4.0, false);
    met &= bench::Compare("RAW to the real limit", {"ours", raw, 1}, {"cp + sync", cp, 1}, 1.5, true);
    bench::Ratio("RAW against a copy left in the page cache", {"ours", raw, 1}, {"cp", plainCp, 1});
    met &= bench::Compare("RAW", {"gdal_translate -of ENVI", envi, 1}, {"ours", raw, 1}, 4.0, false);
    clean();
    for (const std::string& f : {layerFile, samples, vrt})
        std::filesystem::remove(f);
    return met ? 0 : 1;
}
