// links: Mirvane
// The CEOS imports on products made here (a 720-byte descriptor, 12-byte record
// prefixes, a small leader):
// - a complex SINT16 product of 16384 lines of 8192 pixels (537 MB) imported whole
//   with its leader's tags, statistics and preview at closing included, against
//   `gdal_translate -stats -of ENVI -co INTERLEAVE=BIP` from a VRT of two raw Int16
//   bands (MSB; real and imaginary parts, which ENVI stores pixel-interleaved as the
//   same bytes) over the data file at its fastest block cache (goal: GDAL at least 2
//   times slower), and
//   against `cp --reflink=never` of the data file (goal: at most 2 times the copy);
// - a compressed SIR-C product of 8192 x 8192 pixels decoded into complex doubles
//   (1 GiB), against `cp --reflink=never` of a file of the output's size (goal: at
//   most 2 times the copy).
// Per core (both sides pinned to one core) and on all cores; each side three times
// after a sync with its input in the page cache, the median counts. The lines are
// halved until the files fit the disk and the memory comfortably.
//
//   build-rel/bin/bench_ceos [folder for the files, about 4 GB at full size]

#include <sys/statvfs.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "ceos/CeosDescriptor.h"
#include "ceos/CeosImport.h"
#include "platform/threads/ParallelFor.h"

namespace {

constexpr int kDescriptor = 720;
constexpr int kPrefix = 12;

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
    std::string key, unit;
    std::int64_t kb = 0;
    while (info >> key >> kb >> unit)
        if (key == "MemAvailable:")
            return kb * 1024;
    return 0;
}

void Field(std::vector<char>& d, int offset, int width, long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%*lld", width, value);
    std::memcpy(d.data() + offset, text, std::size_t(width));
}

// A descriptor record, then records of a prefix and groups of 4 bytes from fill.
template <typename Fill>
bool WriteProduct(const std::string& path, int lines, int pixels, int maxValue, int statedRecordLength, Fill fill)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> d(kDescriptor, ' ');
    const unsigned char length[4] = {0, 0, kDescriptor >> 8, kDescriptor & 0xff};
    std::memcpy(d.data() + 8, length, 4);
    Field(d, 180, 6, lines);
    Field(d, 186, 6, statedRecordLength);
    Field(d, 224, 8, 4);
    Field(d, 248, 8, pixels);
    Field(d, 440, 8, maxValue);
    out.write(d.data(), kDescriptor);
    std::vector<unsigned char> record(std::size_t(kPrefix + 4 * pixels));
    for (int r = 0; r < lines && out; ++r) {
        for (int x = 0; x < pixels; ++x)
            fill(r, x, &record[std::size_t(kPrefix + 4 * x)]);
        out.write(reinterpret_cast<const char*>(record.data()), std::streamsize(record.size()));
    }
    return bool(out);
}

bool WriteLeader(const std::string& path)
{
    std::vector<char> l(720 + 1886, ' ');
    const unsigned char first[12] = {0, 0, 0, 1, 18, 192, 18, 20, 0, 0, 720 >> 8, 720 & 0xff};
    const unsigned char dss[12] = {0, 0, 0, 2, 18, 10, 18, 20, 0, 0, 1886 >> 8, 1886 & 0xff};
    std::memcpy(l.data(), first, 12);
    std::memcpy(l.data() + 720, dss, 12);
    std::memcpy(l.data() + 48, "ERS2 SAR SLC", 12);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(l.data(), std::streamsize(l.size()));
    return bool(out);
}

ImportParams Describe(const std::string& data, CeosFileInfo* info)
{
    std::vector<unsigned char> head(kDescriptor);
    std::ifstream(data, std::ios::binary).read(reinterpret_cast<char*>(head.data()), kDescriptor);
    if (DescribeCeosFile(head.data(), kDescriptor, CeosMission::SirC, data, info) != 0 &&
        DescribeCeosFile(head.data(), kDescriptor, CeosMission::Ers, data, info) != 0) {
        std::fprintf(stderr, "the product's descriptor is refused\n");
        std::exit(2);
    }
    ImportParams p = info->params;
    p.windowWidth = p.pixelsPerRecord;
    p.windowHeight = p.records;
    return p;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::Folder(argc, argv);
    bench::Require({"gdal_translate", "cp", "taskset"});
    int lines = 16384, pixels = 8192, sircLines = 8192;
    auto csint16 = [&] { return std::int64_t(lines) * (kPrefix + 4 * std::int64_t(pixels)); };
    auto sircOut = [&] { return std::int64_t(sircLines) * 8192 * 16; };
    while (lines > 256 && (FreeDisk(dir) < 4 * csint16() || AvailableMemory() < 3 * csint16()))
        lines /= 2;
    while (sircLines > 256 && (FreeDisk(dir) < 3 * sircOut() || AvailableMemory() < 3 * sircOut()))
        sircLines /= 2;
    const std::string data = dir + "/bench_ceos_dat.001";
    const std::string leader = dir + "/lea_01.001";
    const std::string out = dir + "/bench_ceos_out.rdp";
    const std::string vrt = dir + "/bench_ceos.vrt";
    const std::string envi = dir + "/bench_ceos_out.envi";
    const std::string copy = dir + "/bench_ceos_copy";
    const std::string sirc = dir + "/bench_ceos_sirc.001";
    const std::string sized = dir + "/bench_ceos_sized";
    bool ok = WriteLeader(leader);
    // Complex SINT16, big-endian.
    ok = ok && WriteProduct(data, lines, pixels, 32767, kPrefix + 4 * pixels, [](int r, int x, unsigned char* g) {
             const auto re = static_cast<std::uint16_t>(std::int16_t((x * 7 + r * 13) % 20000 - 10000));
             const auto im = static_cast<std::uint16_t>(std::int16_t((x * 3 - r * 5) % 15000));
             g[0] = static_cast<unsigned char>(re >> 8);
             g[1] = static_cast<unsigned char>(re);
             g[2] = static_cast<unsigned char>(im >> 8);
             g[3] = static_cast<unsigned char>(im);
         });
    // Compressed SIR-C: the descriptor states 12 bytes less per record.
    ok = ok && WriteProduct(sirc, sircLines, 8192, 0, 4 * 8192, [](int r, int x, unsigned char* g) {
             g[0] = static_cast<unsigned char>((x + r) % 16 - 8);
             g[1] = static_cast<unsigned char>(x * 3 + r);
             g[2] = static_cast<unsigned char>(x * 5 - r);
             g[3] = static_cast<unsigned char>(x - 7 * r);
         });
    if (!ok) {
        std::fprintf(stderr, "cannot write the products in %s\n", dir.c_str());
        return 2;
    }
    {
        std::ofstream v(vrt);
        // ENVI has no complex 16-bit type: the real and imaginary parts as two Int16
        // bands written pixel-interleaved give the same bytes as the complex samples.
        v << "<VRTDataset rasterXSize=\"" << pixels << "\" rasterYSize=\"" << lines << "\">";
        for (int band = 1; band <= 2; ++band)
            v << "<VRTRasterBand dataType=\"Int16\" band=\"" << band << "\" subClass=\"VRTRawRasterBand\">"
              << "<SourceFilename relativeToVRT=\"0\">" << data << "</SourceFilename>"
              << "<ImageOffset>" << kDescriptor + kPrefix + 2 * (band - 1) << "</ImageOffset><PixelOffset>4</PixelOffset>"
              << "<LineOffset>" << kPrefix + 4 * pixels << "</LineOffset><ByteOrder>MSB</ByteOrder>"
              << "</VRTRasterBand>";
        v << "</VRTDataset>\n";
    }
    {
        // A file of the decoded output's size for the copy.
        std::ofstream s(sized, std::ios::binary | std::ios::trunc);
        std::vector<char> block(1 << 20, 'x');
        for (std::int64_t done = 0; done < sircOut(); done += std::int64_t(block.size()))
            s.write(block.data(), std::streamsize(block.size()));
    }
    auto removeOutputs = [&] {
        for (const std::string& f : {out, envi, dir + "/bench_ceos_out.hdr", envi + ".aux.xml", copy})
            std::filesystem::remove(f);
    };
    auto warm = [&](const std::string& in) {
        return [&, in] {
            removeOutputs();
            bench::Run("sync");
            bench::Run("cat " + bench::Quote(in) + " > /dev/null");
        };
    };
    const int threads = plat::ParallelThreads();

    std::printf("complex SINT16: %d lines of %d pixels, %lld bytes\n", lines, pixels,
                static_cast<long long>(kDescriptor + csint16()));
    CeosFileInfo info;
    const ImportParams p = Describe(data, &info);
    bool imported = true;
    const bench::Timings ours = bench::Ours([&] { imported = CeosImportToRdp(p, out, nullptr).result == 1 && imported; },
                                            warm(data));
    const bench::GdalTimings gdal =
        bench::Gdal("gdal_translate -q -stats -of ENVI -co INTERLEAVE=BIP " + bench::Quote(vrt) + " " + bench::Quote(envi), warm(data));
    const bench::Timings cp = bench::Tool("cp --reflink=never " + bench::Quote(data) + " " + bench::Quote(copy), warm(data));

    std::printf("compressed SIR-C: %d lines of 8192 pixels, %lld bytes out\n", sircLines,
                static_cast<long long>(sircOut()));
    CeosFileInfo sircInfo;
    const ImportParams s = Describe(sirc, &sircInfo);
    const bench::Timings decode = bench::Ours(
        [&] { imported = SirCImportToRdp(s, out, sircInfo.groupBytes, nullptr).result == 1 && imported; }, warm(sirc));
    const bench::Timings cpSized =
        bench::Tool("cp --reflink=never " + bench::Quote(sized) + " " + bench::Quote(copy), warm(sized));
    removeOutputs();
    for (const std::string& f : {data, leader, vrt, sirc, sized})
        std::filesystem::remove(f);
    if (!imported || !sircInfo.compressed) {
        std::fprintf(stderr, "an import failed\n");
        return 2;
    }
    const bool fast = bench::CompareBoth("  CSINT16 import against GDAL", "gdal_translate", gdal.t, threads, "ours",
                                         ours, threads, {2.0, false}, {2.0, false});
    const bool near = bench::CompareBoth("  CSINT16 import against the copy", "ours", ours, threads, "cp", cp, 1,
                                         {2.0, true}, {2.0, true});
    const bool decoded = bench::CompareBoth("  SIR-C decoding against a copy of its output's size", "ours", decode,
                                            threads, "cp", cpSized, 1, {2.0, true}, {2.0, true});
    return fast && near && decoded ? 0 : 1;
}
