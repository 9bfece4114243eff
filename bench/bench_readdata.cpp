// links: Varnok
// Window copy of a whole 8000 x 8000 layer. Same type: against a memcpy of the
// same bytes between the same two mappings (goal: at most 1.5 times). UINT16 to
// FLOAT32, SINT16 to FLOAT64 and CFLOAT32 to FLOAT32 (amplitude): a new layer
// created, filled with ReadData and closed, against `gdal_translate -ot` of the
// same pixels (a raw VRT band) to an ENVI file, page cache warm (goal: at least
// 2 times faster). Prints the times and ratios; exits 1 when a goal is missed.
//
//   build-rel/bin/bench_readdata [folder for the test files, about 2 GB]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 8000;
constexpr int kRuns = 3;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A layer file of the type whose bytes are a fixed pseudo-random pattern of
// finite values; the layer stays bound in layer.
bool MakeSource(CRDPLayer& layer, const std::string& path, int type)
{
    if (layer.CreateLayer(path.c_str(), kSide, kSide, type, 0) == nullptr)
        return false;
    std::uint32_t x = 12345;
    const int size = layer.SampleSize();
    const int component = IsComplexType(type) ? size / 2 : size;
    for (int y = 0; y < kSide; ++y) {
        auto* row = static_cast<unsigned char*>(layer.Rows()[y]);
        for (std::int64_t i = 0; i < std::int64_t(kSide) * size; i += component) {
            x = x * 1664525u + 1013904223u;
            if (component == 4 && (type == FLOAT32 || type == CFLOAT32)) {
                const float v = float(std::int32_t(x >> 8) % 20000) * 0.05f;
                std::memcpy(row + i, &v, 4);
            } else {
                std::memcpy(row + i, &x, size_t(component));
            }
        }
    }
    return true;
}

const char* GdalName(int type)
{
    switch (type) {
    case UINT16: return "UInt16";
    case SINT16: return "Int16";
    case FLOAT32: return "Float32";
    case FLOAT64: return "Float64";
    case CFLOAT32: return "CFloat32";
    default: return "Byte";
    }
}

void WriteVrt(const std::string& vrt, const std::string& raw, int type)
{
    const int size = GetDataTypeSize(type);
    std::ofstream out(vrt, std::ios::trunc);
    out << "<VRTDataset rasterXSize=\"" << kSide << "\" rasterYSize=\"" << kSide << "\">\n"
        << "  <VRTRasterBand dataType=\"" << GdalName(type) << "\" band=\"1\" subClass=\"VRTRawRasterBand\">\n"
        << "    <SourceFilename relativeToVRT=\"0\">" << raw << "</SourceFilename>\n"
        << "    <ImageOffset>84</ImageOffset>\n"  // the pixels of a fresh file
        << "    <PixelOffset>" << size << "</PixelOffset>\n"
        << "    <LineOffset>" << std::int64_t(kSide) * size << "</LineOffset>\n"
        << "    <ByteOrder>LSB</ByteOrder>\n"
        << "  </VRTRasterBand>\n</VRTDataset>\n";
}

bool SameType(const std::string& folder)
{
    const std::string srcPath = folder + "/bench_readdata_same_src.rdp";
    const std::string dstPath = folder + "/bench_readdata_same_dst.rdp";
    CRDPLayer src, dst;
    if (!MakeSource(src, srcPath, FLOAT32) || dst.CreateLayer(dstPath.c_str(), kSide, kSide, FLOAT32, 0) == nullptr) {
        std::fprintf(stderr, "cannot create the layers in %s\n", folder.c_str());
        return false;
    }
    const std::size_t bytes = std::size_t(src.TotalSize());
    std::memcpy(dst.Pixels(), src.Pixels(), bytes);  // maps every page before timing

    double copy = 1e30, ours = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        auto t = Clock::now();
        std::memcpy(dst.Pixels(), src.Pixels(), bytes);
        copy = std::min(copy, Seconds(t));
        t = Clock::now();
        dst.ReadData(&src, {0, 0}, {0, 0}, {-1, 0});
        ours = std::min(ours, Seconds(t));
    }
    src.DestroyLayer();
    dst.DestroyLayer();
    const double ratio = ours / copy;
    const bool ok = ratio <= 1.5;
    std::printf("FLOAT32 to FLOAT32 %dx%d (%.0f MB): memcpy %.3f s, ReadData %.3f s\n", kSide, kSide, bytes / 1e6,
                copy, ours);
    std::printf("  ReadData / memcpy %.2f (goal <= 1.5): %s\n", ratio, ok ? "met" : "MISSED");
    return ok;
}

bool Converted(const std::string& folder, int from, int to)
{
    const std::string name = std::string(GetDataTypeName(from, 1)) + "_" + GetDataTypeName(to, 1);
    const std::string srcPath = folder + "/bench_readdata_" + name + ".rdp";
    const std::string dstPath = folder + "/bench_readdata_" + name + "_out.rdp";
    const std::string vrt = folder + "/bench_readdata_" + name + ".vrt";
    const std::string envi = folder + "/bench_readdata_" + name + ".envi";
    CRDPLayer src;
    if (!MakeSource(src, srcPath, from)) {
        std::fprintf(stderr, "cannot create %s\n", srcPath.c_str());
        return false;
    }
    WriteVrt(vrt, srcPath, from);
    const std::string cmd = "GDAL_PAM_ENABLED=NO gdal_translate -q -ot " + std::string(GdalName(to)) + " -of ENVI '" +
                            vrt + "' '" + envi + "' > /dev/null 2>&1";

    double ours = 1e30, copyOnly = 1e30, gdal = 1e30;
    for (int run = 0; run <= kRuns; ++run) {  // the first run warms the page cache
        auto t = Clock::now();
        CRDPLayer dst;
        if (dst.CreateLayer(dstPath.c_str(), kSide, kSide, to, 0) == nullptr) {
            std::fprintf(stderr, "cannot create %s\n", dstPath.c_str());
            return false;
        }
        const auto c = Clock::now();
        dst.ReadData(&src, {0, 0}, {0, 0}, {-1, 0});
        const double copied = Seconds(c);
        dst.CloseLayer();
        const double total = Seconds(t);

        t = Clock::now();
        const int rc = std::system(cmd.c_str());
        const double translated = Seconds(t);
        if (rc != 0) {
            std::fprintf(stderr, "gdal_translate failed (%d): %s\n", rc, cmd.c_str());
            return false;
        }
        if (run > 0) {
            ours = std::min(ours, total);
            copyOnly = std::min(copyOnly, copied);
            gdal = std::min(gdal, translated);
        }
    }
    src.DestroyLayer();
    // ENVI headers are named either way, depending on the GDAL version.
    for (const std::string& f : {dstPath, vrt, envi, folder + "/bench_readdata_" + name + ".hdr", envi + ".hdr", envi + ".aux.xml"})
        std::filesystem::remove(f);

    const double ratio = gdal / ours;
    const bool ok = ratio >= 2.0;
    std::printf("%s to %s %dx%d: create + ReadData + close %.3f s (ReadData alone %.3f s), gdal_translate %.3f s\n",
                GetDataTypeName(from, 1).c_str(), GetDataTypeName(to, 1).c_str(), kSide, kSide, ours, copyOnly, gdal);
    std::printf("  gdal_translate / ours %.2f (goal >= 2), on ReadData alone %.2f: %s\n", ratio, gdal / copyOnly,
                ok ? "met" : "MISSED");
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    bool ok = SameType(folder);
    ok = Converted(folder, UINT16, FLOAT32) && ok;
    ok = Converted(folder, SINT16, FLOAT64) && ok;
    ok = Converted(folder, CFLOAT32, FLOAT32) && ok;
    return ok ? 0 : 1;
}
