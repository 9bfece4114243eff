// links: Mirvane
// Importing a whole big-endian SINT16 raster (32768 records of 32000 pixels, a 12-byte
// prefix per record, a 1 KiB header: 2.1 GB) into a new raster layer, statistics,
// minimum and maximum and the preview at closing included, against
// `gdal_translate -of ENVI -stats` from a VRT raw band over the same bytes at its
// fastest block cache (goal: GDAL at least 2 times slower) and against
// `cp --reflink=never` of the input (goal: at most 2 times the copy), per core
// (both sides pinned to one core) and on all cores. The input is warm in the page
// cache; each side runs three times after a sync, and the median counts. The
// records are halved until the files fit the disk and the memory comfortably.
//
//   build-rel/bin/bench_raw_import [folder for the files, about 8.5 GB at full size]

#include <sys/statvfs.h>

#include <algorithm>
#include <functional>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "platform/threads/ParallelFor.h"
#include "raw/ImportParams.h"

namespace {

constexpr int kPixels = 32000;
constexpr int kPrefix = 12;
constexpr int kHeader = 1024;
constexpr int kRecordLength = kPrefix + 2 * kPixels;
constexpr int kRuns = 3;

std::int64_t FreeDisk(const std::string& dir)
{
    struct statvfs s {};
    if (::statvfs(dir.c_str(), &s) != 0)
        return 0;
    return std::int64_t(s.f_bavail) * std::int64_t(s.f_frsize);
}

std::int64_t AvailableMemory()
{
    std::ifstream info("/proc/meminfo");
    std::string key;
    std::int64_t kb = 0;
    std::string unit;
    while (info >> key >> kb >> unit)
        if (key == "MemAvailable:")
            return kb * 1024;
    return 0;
}

// Header, then records of a prefix and big-endian samples of a smooth wave.
bool WriteInput(const std::string& path, int records)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> header(kHeader, 'h');
    out.write(header.data(), kHeader);
    std::vector<unsigned char> record(kRecordLength);
    for (int r = 0; r < records && out; ++r) {
        for (int i = 0; i < kPrefix; ++i)
            record[std::size_t(i)] = static_cast<unsigned char>(r >> (i % 4 * 8));
        for (int x = 0; x < kPixels; ++x) {
            const auto v = static_cast<std::uint16_t>(std::int16_t((x * 7 + r * 13) % 20000 - 10000));
            record[std::size_t(kPrefix + 2 * x)] = static_cast<unsigned char>(v >> 8);
            record[std::size_t(kPrefix + 2 * x + 1)] = static_cast<unsigned char>(v);
        }
        out.write(reinterpret_cast<const char*>(record.data()), kRecordLength);
    }
    return bool(out);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::Folder(argc, argv);
    bench::Require({"gdal_translate", "cp", "taskset"});
    int records = 32768;
    // Input, our layer and one reference output on disk at once; input and output in memory.
    auto bytes = [&] { return std::int64_t(kHeader) + std::int64_t(records) * kRecordLength; };
    while (records > 256 && (FreeDisk(dir) < 4 * bytes() || AvailableMemory() < 3 * bytes()))
        records /= 2;
    const std::string in = dir + "/bench_raw_in.raw";
    const std::string out = dir + "/bench_raw_out.rdp";
    const std::string vrt = dir + "/bench_raw_in.vrt";
    const std::string envi = dir + "/bench_raw_out.envi";
    const std::string copy = dir + "/bench_raw_copy.raw";
    if (!WriteInput(in, records)) {
        std::fprintf(stderr, "cannot write %s\n", in.c_str());
        return 2;
    }
    std::printf("%d records of %d big-endian SINT16 pixels, %d-byte prefix, %d-byte header: %lld bytes\n", records,
                kPixels, kPrefix, kHeader, static_cast<long long>(bytes()));
    {
        std::ofstream v(vrt);
        v << "<VRTDataset rasterXSize=\"" << kPixels << "\" rasterYSize=\"" << records << "\">"
          << "<VRTRasterBand dataType=\"Int16\" band=\"1\" subClass=\"VRTRawRasterBand\">"
          << "<SourceFilename relativeToVRT=\"0\">" << in << "</SourceFilename>"
          << "<ImageOffset>" << kHeader + kPrefix << "</ImageOffset><PixelOffset>2</PixelOffset>"
          << "<LineOffset>" << kRecordLength << "</LineOffset><ByteOrder>MSB</ByteOrder>"
          << "</VRTRasterBand></VRTDataset>\n";
    }
    auto removeAll = [&] {
        for (const std::string& f : {out, envi, dir + "/bench_raw_out.hdr", envi + ".aux.xml", copy})
            std::filesystem::remove(f);
    };
    // Each run starts with nothing dirty to write back and the input in the page cache.
    auto prepare = [&] {
        removeAll();
        bench::Run("sync");
        bench::Run("cat " + bench::Quote(in) + " > /dev/null");
    };

    ImportParams p;
    p.dataFile = in;
    p.headerSize = kHeader;
    p.prefixSize = kPrefix;
    p.recordLength = kRecordLength;
    p.records = records;
    p.pixelsPerRecord = kPixels;
    p.components = 1;
    p.componentSize = 2;
    p.componentType = 4;  // SINT16
    p.byteOrder = 2;
    p.windowWidth = kPixels;
    p.windowHeight = records;
    bool ok = true;
    const int threads = plat::ParallelThreads();
    const bench::Timings ours = bench::Ours([&] { ok = p.ReadToRdp(out, nullptr) == 1 && ok; }, prepare);
    const bench::GdalTimings gdal =
        bench::Gdal("gdal_translate -q -stats -of ENVI " + bench::Quote(vrt) + " " + bench::Quote(envi), prepare);
    const bench::Timings cp =
        bench::Tool("cp --reflink=never " + bench::Quote(in) + " " + bench::Quote(copy), prepare);
    removeAll();
    std::filesystem::remove(in);
    std::filesystem::remove(vrt);
    if (!ok) {
        std::fprintf(stderr, "the import failed\n");
        return 2;
    }
    const bool fast = bench::CompareBoth("  import against GDAL", "gdal_translate", gdal.t, threads, "ours", ours,
                                         threads, {2.0, false}, {2.0, false});
    const bool near =
        bench::CompareBoth("  import against the copy", "ours", ours, threads, "cp", cp, 1, {2.0, true}, {2.0, true});
    return fast && near ? 0 : 1;
}
