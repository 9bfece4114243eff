// links: Varnok
// Window copy of a whole 8000 x 8000 layer, every comparison per core (both
// sides on one pinned core) and on all cores, median of three.
//  - Same type (FLOAT32): ReadData between two bound layers against a memcpy
//    of the same bytes between the same two mappings on as many threads
//    (goal: at most 1.5 times).
//  - Into a new layer: UINT16 to FLOAT32, SINT16 to FLOAT64 and CFLOAT32 to
//    FLOAT32 (amplitude): the new layer created, filled with ReadData and
//    closed (its page faults included), against the real limit, `cp` of a
//    file of the output's size to a new file (goal, UINT16 to FLOAT32: at most
//    1.5 times), and against gdal_translate at its fastest block cache of the
//    same pixels to an ENVI file whose pixels are byte for byte ours (the
//    amplitude through GDAL's `mod` pixel function in a VRT; goal, UINT16 to
//    FLOAT32: at least 3 times faster per core), source pages in memory for all.
//
//   build-rel/bin/bench_readdata [folder for the test files, about 2 GB; run it
//   on a disk and on a tmpfs]

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
#include "layer/RDPLayer.h"

namespace {

constexpr int kSide = 8000;
constexpr int kRuns = 3;

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
    case UINT16:
        return "UInt16";
    case SINT16:
        return "Int16";
    case FLOAT32:
        return "Float32";
    case FLOAT64:
        return "Float64";
    case CFLOAT32:
        return "CFloat32";
    default:
        return "Byte";
    }
}

void WriteRawVrt(const std::string& vrt, const std::string& raw, int type)
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

// The amplitude of a complex raw VRT band as a derived band.
void WriteModVrt(const std::string& vrt, const std::string& rawVrt, int to)
{
    std::ofstream out(vrt, std::ios::trunc);
    out << "<VRTDataset rasterXSize=\"" << kSide << "\" rasterYSize=\"" << kSide << "\">\n"
        << "  <VRTRasterBand dataType=\"" << GdalName(to) << "\" band=\"1\" subClass=\"VRTDerivedRasterBand\">\n"
        << "    <PixelFunctionType>mod</PixelFunctionType>\n"
        << "    <SourceTransferType>CFloat32</SourceTransferType>\n"
        << "    <SimpleSource><SourceFilename relativeToVRT=\"0\">" << rawVrt
        << "</SourceFilename><SourceBand>1</SourceBand></SimpleSource>\n"
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
    auto* to = static_cast<unsigned char*>(dst.Pixels());
    const auto* from = static_cast<const unsigned char*>(src.Pixels());
    std::memcpy(to, from, bytes);  // maps every page before timing
    int copyThreads = plat::ParallelThreads();
    const auto copy = [&] {
        plat::ParallelFor(std::int64_t(bytes), std::int64_t(1) << 20, copyThreads,
                          [&](std::int64_t b, std::int64_t e, int) { std::memcpy(to + b, from + b, size_t(e - b)); });
    };
    bench::Timings copied;
    copied.all = bench::Median(kRuns, copy);
    {
        bench::OneCore pin;
        copyThreads = 1;
        copied.one = bench::Median(kRuns, copy);
    }
    const bench::Timings ours = bench::Ours([&] { dst.ReadData(&src, {0, 0}, {0, 0}, {-1, 0}); });
    src.DestroyLayer();
    dst.DestroyLayer();
    std::printf("FLOAT32 to FLOAT32 %d x %d (%.0f MB) between bound layers:\n", kSide, kSide, bytes / 1e6);
    const int threads = plat::ParallelThreads();
    return bench::CompareBoth("  ReadData to memcpy", "ReadData", ours, threads, "memcpy", copied, threads,
                              {1.5, true}, {1.5, true});
}

bool Converted(const std::string& folder, int from, int to)
{
    const std::string name = std::string(GetDataTypeName(from, 1)) + "_" + GetDataTypeName(to, 1);
    const std::string stem = folder + "/bench_readdata_" + name;
    const std::string srcPath = stem + ".rdp", dstPath = stem + "_out.rdp";
    const std::string rawVrt = stem + ".vrt", modVrt = stem + "_mod.vrt", envi = stem + ".envi";
    const std::string filler = stem + "_size.bin", copied = stem + "_copy.bin";
    CRDPLayer src;
    if (!MakeSource(src, srcPath, from)) {
        std::fprintf(stderr, "cannot create %s\n", srcPath.c_str());
        return false;
    }
    const bool amplitude = IsComplexType(from) && !IsComplexType(to);
    WriteRawVrt(rawVrt, srcPath, from);
    if (amplitude)
        WriteModVrt(modVrt, rawVrt, to);
    const std::string gdalArgs = "gdal_translate -q -ot " + std::string(GdalName(to)) + " -of ENVI " +
                                 bench::Quote(amplitude ? modVrt : rawVrt) + " " + bench::Quote(envi) +
                                 " > /dev/null 2>&1";
    const std::int64_t outBytes = std::int64_t(kSide) * kSide * GetDataTypeSize(to);
    {
        std::vector<char> block(1 << 20, 1);
        std::ofstream out(filler, std::ios::binary);
        for (std::int64_t n = 0; n < outBytes; n += std::int64_t(block.size()))
            out.write(block.data(), std::streamsize(std::min<std::int64_t>(outBytes - n, std::int64_t(block.size()))));
    }

    double readData = 1e30;
    const auto ours = [&] {
        CRDPLayer dst;
        if (dst.CreateLayer(dstPath.c_str(), kSide, kSide, to, 0) == nullptr) {
            std::fprintf(stderr, "cannot create %s\n", dstPath.c_str());
            std::exit(2);
        }
        readData = std::min(readData, bench::Seconds([&] { dst.ReadData(&src, {0, 0}, {0, 0}, {-1, 0}); }));
        dst.CloseLayer();
    };
    const auto removeOurs = [&] { std::filesystem::remove(dstPath); };
    ours();  // pages of the source and the tools in memory for every side
    const int threads = plat::ParallelThreads();
    const bench::Timings oursT = bench::Ours(ours, removeOurs);
    const bench::Timings cp = bench::Tool("cp " + bench::Quote(filler) + " " + bench::Quote(copied),
                                          [&] { std::filesystem::remove(copied); });
    const bench::GdalTimings gdal = bench::Gdal(gdalArgs, [&] { std::filesystem::remove(envi); });

    // The pixels GDAL wrote are ours byte for byte.
    const std::string cmp =
        "cmp -s -n " + std::to_string(outBytes) + " -i 84:0 " + bench::Quote(dstPath) + " " + bench::Quote(envi);
    const bool same = std::system(cmp.c_str()) == 0;

    src.DestroyLayer();
    for (const std::string& f :
         {dstPath, rawVrt, modVrt, envi, stem + ".hdr", envi + ".hdr", envi + ".aux.xml", filler, copied})
        std::filesystem::remove(f);

    std::printf(
        "%s to %s %d x %d into a new layer (create + ReadData + close; ReadData alone %.3f s on all threads), GDAL's "
        "output %s ours:\n",
        GetDataTypeName(from, 1).c_str(), GetDataTypeName(to, 1).c_str(), kSide, kSide, readData,
        same ? "byte-identical to" : "DIFFERENT from");
    // The goals are set on UINT16 to FLOAT32; the other conversions are shown beside it.
    const bool judged = from == UINT16 && to == FLOAT32;
    const bool toCp = bench::CompareBoth("  to cp of the output's size", "ours", oursT, threads, "cp", cp, 1,
                                         {judged ? 1.5 : 0, true}, {judged ? 1.5 : 0, true});
    const bool toGdal = bench::CompareBoth("  against gdal_translate", "gdal_translate", gdal.t, threads, "ours", oursT,
                                           threads, {judged ? 3.0 : 0, false}, {});
    return toCp && toGdal && same;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = bench::Folder(argc, argv);
    bench::Require({"gdal_translate", "cp", "cmp", "taskset"});
    bool ok = SameType(folder);
    ok = Converted(folder, UINT16, FLOAT32) && ok;
    ok = Converted(folder, SINT16, FLOAT64) && ok;
    ok = Converted(folder, CFLOAT32, FLOAT32) && ok;
    return ok ? 0 : 1;
}
