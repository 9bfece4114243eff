// links: Mirvane
// Decoding an 8000 x 8000 8-bit LZW TIFF of noise in 16-row strips (made by
// `tiffcp -c lzw -r 16`) into a new raster layer, against `tiffcp -c none` of the
// same file, per core (both pinned to one core; goal: at most 1 time) and on all
// cores (tiffcp has one thread); the dialog-less import (statistics and preview
// included) against the real limit, `cp` of the uncompressed TIFF (a file of the
// new layer's size; goal on all cores: at most 1.5 times). Medians of three.
//
//   build-rel/bin/bench_tiff_import [folder for the test files, about 300 MB]

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCompare.h"
#include "platform/threads/ParallelFor.h"
#include "files/OrderFile.h"
#include "layer/RDPLayer.h"
#include "tiff/TiffImport.h"

namespace {

constexpr std::uint32_t kSide = 8000;

void Put(std::vector<unsigned char>& out, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// An uncompressed one-strip TIFF of noise.
bool WriteNoiseTiff(const std::string& path)
{
    std::vector<unsigned char> pixels(std::size_t(kSide) * kSide);
    std::uint32_t s = 2463534242u;
    for (auto& p : pixels) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        p = static_cast<unsigned char>(s >> 11);
    }
    std::vector<unsigned char> head{'I', 'I', 42, 0};
    const std::uint32_t ifd = 8 + std::uint32_t(pixels.size());
    Put(head, ifd, 4);
    std::vector<unsigned char> dir;
    const std::uint32_t entries[][3] = {{256, 4, kSide}, {257, 4, kSide}, {258, 3, 8},
                                        {259, 3, 1},     {262, 3, 1},     {273, 4, 8},
                                        {277, 3, 1},     {278, 4, kSide}, {279, 4, kSide * kSide}};
    Put(dir, std::size(entries), 2);
    for (const auto& e : entries) {
        Put(dir, e[0], 2);
        Put(dir, e[1], 2);
        Put(dir, 1, 4);
        Put(dir, e[2], 4);
    }
    Put(dir, 0, 4);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
    out.write(reinterpret_cast<const char*>(pixels.data()), std::streamsize(pixels.size()));
    out.write(reinterpret_cast<const char*>(dir.data()), std::streamsize(dir.size()));
    return bool(out);
}

// Decodes the whole image into a new layer without statistics or preview.
bool Decode(const std::string& in, const std::string& out)
{
    CTIFFReader reader(in);
    int bpp = 0;
    if (reader.ReadDirectory() != 0 || reader.InterpretTags() != 1 || reader.CheckInput(&bpp) != 0)
        return false;
    CRDPLayer layer;
    if (layer.CreateLayer(out.c_str(), int(kSide), int(kSide), reader.LayerType(bpp), 0) == nullptr)
        return false;
    COrderFile file;
    if (!file.Open(in.c_str(), plat::File::modeRead))
        return false;
    unsigned char* pixels[1] = {layer.Pixels()};
    reader.ReadStrips(&file, pixels, nullptr, 0, 0, int(kSide), int(kSide), bpp, bpp);
    return layer.CloseLayer() == 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::Folder(argc, argv);
    bench::Require({"tiffcp", "cp", "taskset"});
    const std::string raw = dir + "/bench_tiff_noise.tif";
    const std::string lzw = dir + "/bench_tiff_noise_lzw.tif";
    const std::string plain = dir + "/bench_tiff_plain.tif";
    const std::string out = dir + "/bench_tiff_out.rdp";
    if (!WriteNoiseTiff(raw)) {
        std::fprintf(stderr, "cannot write %s\n", raw.c_str());
        return 2;
    }
    bench::Run("tiffcp -c lzw -r 16 " + bench::Quote(raw) + " " + bench::Quote(lzw));
    std::printf("8000 x 8000 noise, LZW in 16-row strips: %lld bytes\n",
                static_cast<long long>(std::filesystem::file_size(lzw)));

    bool ok = true;
    auto removeOut = [&] {
        std::filesystem::remove(out);
        std::filesystem::remove(plain);
    };
    const int threads = plat::ParallelThreads();
    const bench::Timings tiffcp =
        bench::Tool("tiffcp -c none " + bench::Quote(lzw) + " " + bench::Quote(plain), removeOut);
    const bench::Timings ours = bench::Ours([&] { ok = Decode(lzw, out) && ok; }, removeOut);
    const std::string copied = dir + "/bench_tiff_copy.tif";
    const bench::Timings cp = bench::Tool("cp " + bench::Quote(raw) + " " + bench::Quote(copied),
                                          [&] { std::filesystem::remove(copied); });
    std::string error;
    const bench::Timings import =
        bench::Ours([&] { ok = ImportTIFFFile(lzw, out, nullptr, &error) == 0 && ok; }, removeOut);
    if (!ok) {
        std::fprintf(stderr, "decoding failed %s\n", error.c_str());
        return 2;
    }
    bool met = bench::CompareBoth("  LZW decoding into a layer against tiffcp", "ours", ours, threads,
                                  "tiffcp -c none", tiffcp, 1, {1.0, true}, {1.0, true});
    met = bench::CompareBoth("  import with statistics and preview against cp of a file of the layer's size", "ours",
                             import, threads, "cp", cp, 1, {}, {1.5, true}) &&
          met;
    removeOut();
    std::filesystem::remove(raw);
    std::filesystem::remove(lzw);
    return met ? 0 : 1;
}
