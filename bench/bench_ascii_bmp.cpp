// links: Mirvane
// The ASCII export and import and the bitmap import against GDAL:
// - a 2000 x 2000 UINT16 layer as three columns against `gdal_translate -of XYZ`
//   of the same samples (a VRT raw band; the same bytes), goal at least 4 times;
// - a 2000 x 2000 FLOAT32 layer likewise against `-co DECIMAL_PRECISION=6`;
// - that UINT16 text imported (scan and job) against `gdal_translate` from XYZ to
//   ENVI, goal at least 2 times;
// - an 8000 x 8000 24-bit bitmap into three layers with closing statistics, made
//   durable before they replace anything, against `gdal_translate -stats -of ENVI`
//   followed by a sync of its output (equal work), goal at least 4 times; the
//   bare `gdal_translate -of ENVI` printed beside.
// GDAL runs at its fastest block cache (a few tried, the one used printed); each
// comparison has a per-core line (both sides pinned to one core) and an all-core
// line, each side's thread count printed, medians of three.
//
//   build-rel/bin/bench_ascii_bmp [folder for the test files, about 1 GB]

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "platform/threads/ParallelFor.h"
#include "ascii/AsciiJobs.h"
#include "bmp/BmpImport.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"

namespace {


std::uint32_t Next(std::uint32_t& s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

// A layer and its samples as a raw file with a VRT that GDAL reads them through.
bool MakeLayer(const std::string& dir, const std::string& name, int type, int side)
{
    const int size = GetDataTypeSize(type);
    std::vector<unsigned char> raw(std::size_t(side) * side * std::size_t(size));
    std::uint32_t s = 2463534242u;
    for (std::size_t i = 0; i < raw.size() / std::size_t(size); ++i) {
        if (type == FLOAT32) {
            const float v = float(Next(s) % 2000001) / 1000.0f - 1000.0f;
            std::memcpy(&raw[i * 4], &v, 4);
        } else {
            const std::uint16_t v = std::uint16_t(Next(s));
            std::memcpy(&raw[i * 2], &v, 2);
        }
    }
    CRDPLayer layer;
    if (!layer.CreateLayer((dir + "/" + name + ".rdp").c_str(), side, side, type, 0))
        return false;
    for (int y = 0; y < side; ++y)
        std::memcpy(layer.Rows()[y], raw.data() + std::size_t(y) * side * size, std::size_t(side) * size);
    layer.CloseLayer();
    std::ofstream(dir + "/" + name + ".raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(raw.data()), std::streamsize(raw.size()));
    std::ofstream(dir + "/" + name + ".vrt")
        << "<VRTDataset rasterXSize=\"" << side << "\" rasterYSize=\"" << side
        << "\"><GeoTransform>-0.5,1,0,-0.5,0,1</GeoTransform><VRTRasterBand dataType=\""
        << (type == FLOAT32 ? "Float32" : "UInt16")
        << "\" band=\"1\" subClass=\"VRTRawRasterBand\"><SourceFilename relativeToVRT=\"1\">" << name
        << ".raw</SourceFilename><ImageOffset>0</ImageOffset><PixelOffset>" << size << "</PixelOffset><LineOffset>"
        << side * size << "</LineOffset><ByteOrder>LSB</ByteOrder></VRTRasterBand></VRTDataset>";
    return true;
}

bool MakeBitmap(const std::string& path, int side)
{
    const std::int64_t row = (std::int64_t(side) * 3 + 3) / 4 * 4;
    std::vector<unsigned char> b(54 + std::size_t(row) * side);
    auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + std::size_t(i)] = static_cast<unsigned char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, std::uint32_t(b.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, std::uint32_t(side), 4);
    put(22, std::uint32_t(side), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    std::uint32_t s = 88172645u;
    for (std::size_t i = 54; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(Next(s) >> 7);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return bool(out);
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(x), {}) == std::string(std::istreambuf_iterator<char>(y), {});
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::Folder(argc, argv) + "/bench_ascii_bmp";
    std::filesystem::create_directories(dir);
    if (!MakeLayer(dir, "u16", UINT16, 2000) || !MakeLayer(dir, "f32", FLOAT32, 2000) ||
        !MakeBitmap(dir + "/rgb.bmp", 8000)) {
        std::fprintf(stderr, "cannot write the test files in %s\n", dir.c_str());
        return 2;
    }
    bench::Require({"gdal_translate", "taskset"});
    const int threads = plat::ParallelThreads();
    bool met = true, ok = true;
    std::string error;

    for (const char* name : {"u16", "f32"}) {
        const std::string ours = dir + "/" + name + "_ours.xyz", theirs = dir + "/" + name + "_gdal.xyz";
        const std::string options = std::string(name) == "f32" ? "-co DECIMAL_PRECISION=6 " : "";
        const bench::GdalTimings gdal =
            bench::Gdal("gdal_translate -q -of XYZ " + options + bench::Quote(dir + "/" + name + ".vrt") + " " +
                            bench::Quote(theirs),
                        [&] { std::filesystem::remove(theirs); });
        const bench::Timings t = bench::Ours(
            [&] { ok = AsciiExportToText(AsciiExportJob{dir + "/" + name + ".rdp", ours, 1, " "}, nullptr, &error) ==
                           0 && ok; },
            [&] { std::filesystem::remove(ours); });
        std::printf("%s: our text %s GDAL's\n", name, SameFile(ours, theirs) ? "is" : "differs from");
        const std::string what = std::string("  2000 x 2000 ") + (std::string(name) == "f32" ? "FLOAT32" : "UINT16") +
                                 " as three columns";
        met = bench::CompareBoth(what, "gdal_translate", gdal.t, threads, "ours", t, threads, {4.0, false},
                                 {4.0, false}) &&
              met;
    }

    {
        const std::string text = dir + "/u16_gdal.xyz", out = dir + "/u16_in.rdp", envi = dir + "/u16_in.envi";
        const bench::GdalTimings gdal =
            bench::Gdal("gdal_translate -q -of ENVI " + bench::Quote(text) + " " + bench::Quote(envi),
                        [&] { std::filesystem::remove(envi); });
        const bench::Timings t = bench::Ours(
            [&] {
                AsciiStatistics stats;
                ScanAsciiStatisticsFile(text, &stats);
                AsciiImportJob job;
                const int roles[3] = {0, 1, 2};
                ok = CheckAsciiImport(roles, stats, &job).empty() && ok;
                job.input = text;
                job.output = out;
                ok = AsciiImportToRdp(job, nullptr, &error) == 0 && ok;
            },
            [&] { std::filesystem::remove(out); });
        met = bench::CompareBoth("  importing that text", "gdal_translate", gdal.t, threads, "ours", t, threads,
                                 {2.0, false}, {2.0, false}) &&
              met;
    }

    {
        const std::string in = dir + "/rgb.bmp", envi = dir + "/rgb.envi";
        const BmpImportJob job{in, dir + "/rgb.rdp", dir + "/rgb_R.rdp", dir + "/rgb_G.rdp", dir + "/rgb_B.rdp", 24};
        const bench::GdalTimings gdal =
            bench::Gdal("gdal_translate -q -of ENVI " + bench::Quote(in) + " " + bench::Quote(envi),
                        [&] { std::filesystem::remove(envi); });
        // Equal work: our layers carry their statistics and are on disk before
        // they replace anything, so GDAL's output gets statistics and a sync too.
        const bench::GdalTimings gdalEqual =
            bench::Gdal("gdal_translate -q -stats -of ENVI " + bench::Quote(in) + " " + bench::Quote(envi) +
                            " && sync " + bench::Quote(envi),
                        [&] { std::filesystem::remove(envi); });
        auto remove = [&] {
            for (const std::string& name : BmpOutputNames(job))
                std::filesystem::remove(name);
        };
        const bench::Timings t = bench::Ours([&] { ok = BmpToRdp(job, nullptr, &error) == 0 && ok; }, remove);
        met = bench::CompareBoth("  8000 x 8000 24-bit bitmap into three layers, equal work (GDAL with -stats and sync)",
                                 "gdal_translate", gdalEqual.t, threads, "ours", t, threads, {4.0, false},
                                 {4.0, false}) &&
              met;
        bench::CompareBoth("    against GDAL without statistics or sync", "gdal_translate", gdal.t, threads, "ours", t,
                           threads, {}, {});
        remove();
    }
    if (!ok) {
        std::fprintf(stderr, "our side failed: %s\n", error.c_str());
        return 2;
    }
    std::filesystem::remove_all(dir);
    return met ? 0 : 1;
}
