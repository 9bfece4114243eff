// links: Varnok
// Minimum/maximum plus statistics of a layer against one plain read pass over
// the same pixels and against `gdalinfo -stats -hist` on a raw VRT band over the
// same file. Goals: at most 3 times the plain pass, at least 2 times faster than
// gdalinfo. Prints the times and ratios; exits 1 when a goal is missed.
//
//   build-rel/bin/bench_layer_stats [folder for the 256 MB test files]

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

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

void WriteVrt(const std::string& vrt, const std::string& raw, int w, int h, int type, int64_t offset)
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

// Sum of every sample (both parts of a complex one), row by row.
double PlainPass(CRDPLayer& layer)
{
    const int n = layer.Width() * (layer.IsComplex() ? 2 : 1);
    double sum = 0.0;
    for (int y = 0; y < layer.Height(); ++y) {
        const auto* row = static_cast<const unsigned char*>(layer.Rows()[y]);
        for (int i = 0; i < n; ++i) {
            float v;
            std::memcpy(&v, row + 4 * i, 4);
            sum += v;
        }
    }
    return sum;
}

bool Run(const std::string& folder, const char* name, int w, int h, int type)
{
    const std::string path = folder + "/bench_layer_stats_" + name + ".rdp";
    const std::string vrt = folder + "/bench_layer_stats_" + name + ".vrt";
    const int64_t offset = WriteLayerFile(path, w, h, type);
    WriteVrt(vrt, path, w, h, type, offset);

    CRDPLayer layer;
    if (layer.OpenLayer(path.c_str(), 1) == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    volatile double sink = PlainPass(layer);  // maps every page before timing

    constexpr int kRuns = 3;
    double plain = 1e30, stats = 1e30, gdal = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        auto t = Clock::now();
        sink = PlainPass(layer);
        plain = std::min(plain, Seconds(t));

        t = Clock::now();
        layer.MaxMinCount(nullptr);
        layer.StatsCalc();
        stats = std::min(stats, Seconds(t));

        const std::string cmd = "GDAL_PAM_ENABLED=NO gdalinfo -stats -hist '" + vrt + "' > /dev/null 2>&1";
        t = Clock::now();
        const int rc = std::system(cmd.c_str());
        gdal = std::min(gdal, Seconds(t));
        if (rc != 0) {
            std::fprintf(stderr, "gdalinfo failed (%d)\n", rc);
            return false;
        }
    }
    (void)sink;
    std::printf("%s %dx%d: min/max %.6g %.6g, mean %.6g, sd %.6g\n", name, w, h, layer.Min(), layer.Max(),
                layer.Mean(), layer.StdDev());
    layer.CloseLayer();
    std::filesystem::remove(path);
    std::filesystem::remove(vrt);

    const double toPlain = stats / plain;
    const double fromGdal = gdal / stats;
    const bool ok = toPlain <= 3.0 && fromGdal >= 2.0;
    std::printf("  plain pass %.3f s, MaxMinCount+StatsCalc %.3f s, gdalinfo %.3f s\n", plain, stats, gdal);
    std::printf("  ratio to plain pass %.2f (goal <= 3), gdalinfo / ours %.2f (goal >= 2): %s\n", toPlain, fromGdal,
                ok ? "met" : "MISSED");
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    bool ok = Run(folder, "float32", 8000, 8000, FLOAT32);
    ok = Run(folder, "cfloat32", 4000, 4000, CFLOAT32) && ok;
    return ok ? 0 : 1;
}
