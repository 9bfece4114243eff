// links: Mirvane
// Complex files and the sample-type change on 8000 x 8000 layers, file to complete
// files with closing statistics, outputs made durable on both sides:
// - dividing a CFLOAT32 file into amplitude (FLOAT32) and phase (FLOAT64) against
//   `gdal_translate -of ENVI` of the `mod` and `phase` VRT pixel-function bands over
//   the same payload (goal: 4 times faster);
// - joining two FLOAT32 files as real and imaginary against `gdal_translate -of ENVI`
//   of the `complex` VRT band (goal: 4 times faster);
// - FLOAT32 to UINT8 over the source's range against
//   `gdal_translate -of ENVI -ot Byte -scale` (goal: 4 times faster).
// The real limit is printed beside: a read pass over the inputs and `cp` + `sync` of
// a file of the outputs' size. Per core (both sides pinned to one core) and on all
// cores, medians of three; GDAL at its fastest block cache.
//
//   build-rel/bin/bench_complex [folder for the files, about 3 GB]

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchCompare.h"
#include "complex/ComplexOps.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "platform/threads/ParallelFor.h"
#include "typechange/TypeChange.h"

namespace {

constexpr int kSide = 8000;
constexpr int kPayload = 84;  // the pixels of a fresh one-layer file

// A layer of random samples in [-1000, 1000) (each component).
bool MakeLayer(const std::string& path, int type, std::uint32_t seed)
{
    CRDPLayer layer;
    if (!layer.CreateLayer(path.c_str(), kSide, kSide, type, 7))
        return false;
    const int parts = IsComplexType(type) ? 2 : 1;
    void** rows = layer.Rows();
    plat::ParallelFor(kSide, 64, plat::ParallelThreads(), [&](std::int64_t b, std::int64_t e, int) {
        for (std::int64_t y = b; y < e; ++y) {
            std::uint32_t s = seed ^ std::uint32_t(y * 2654435761u);
            auto* row = static_cast<unsigned char*>(rows[y]);
            for (int x = 0; x < kSide * parts; ++x) {
                s ^= s << 13;
                s ^= s >> 17;
                s ^= s << 5;
                const float v = float(s >> 8) / 8388.608f - 1000.0f;
                std::memcpy(row + 4 * x, &v, 4);
            }
        }
    });
    layer.CloseLayer();
    return true;
}

std::string RawVrt(const std::string& dir, const std::string& name, const std::string& file, const char* type,
                   int pixelBytes)
{
    const std::string path = dir + "/" + name;
    std::ofstream(path) << "<VRTDataset rasterXSize=\"" << kSide << "\" rasterYSize=\"" << kSide
                        << "\"><VRTRasterBand dataType=\"" << type
                        << "\" band=\"1\" subClass=\"VRTRawRasterBand\"><SourceFilename relativetoVRT=\"0\">" << file
                        << "</SourceFilename><ImageOffset>" << kPayload << "</ImageOffset><PixelOffset>"
                        << pixelBytes << "</PixelOffset><LineOffset>" << std::int64_t(kSide) * pixelBytes
                        << "</LineOffset><ByteOrder>LSB</ByteOrder></VRTRasterBand></VRTDataset>\n";
    return path;
}

std::string DerivedVrt(const std::string& dir, const std::string& name, const char* type, const char* function,
                       const char* transfer, std::initializer_list<std::string> sources)
{
    const std::string path = dir + "/" + name;
    std::ofstream out(path);
    out << "<VRTDataset rasterXSize=\"" << kSide << "\" rasterYSize=\"" << kSide << "\"><VRTRasterBand dataType=\""
        << type << "\" band=\"1\" subClass=\"VRTDerivedRasterBand\"><PixelFunctionType>" << function
        << "</PixelFunctionType><SourceTransferType>" << transfer << "</SourceTransferType>";
    for (const std::string& s : sources)
        out << "<SimpleSource><SourceFilename relativeToVRT=\"0\">" << s
            << "</SourceFilename><SourceBand>1</SourceBand></SimpleSource>";
    out << "</VRTRasterBand></VRTDataset>\n";
    return path;
}

std::int64_t FileSize(const std::string& path)
{
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : std::int64_t(n);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::Folder(argc, argv) + "/bench_complex";
    bench::Require({"gdal_translate", "cp", "sync", "taskset"});
    std::filesystem::create_directories(dir);
    const std::string cpx = dir + "/cpx.rdp", re = dir + "/re.rdp", im = dir + "/im.rdp";
    if (!MakeLayer(cpx, CFLOAT32, 1u) || !MakeLayer(re, FLOAT32, 2u) || !MakeLayer(im, FLOAT32, 3u)) {
        std::fprintf(stderr, "cannot write the inputs in %s\n", dir.c_str());
        return 2;
    }
    const std::string cpxVrt = RawVrt(dir, "cpx.vrt", cpx, "CFloat32", 8);
    const std::string reVrt = RawVrt(dir, "re.vrt", re, "Float32", 4);
    const std::string imVrt = RawVrt(dir, "im.vrt", im, "Float32", 4);
    const std::string modVrt = DerivedVrt(dir, "mod.vrt", "Float32", "mod", "CFloat32", {cpxVrt});
    const std::string phaseVrt = DerivedVrt(dir, "phase.vrt", "Float64", "phase", "CFloat32", {cpxVrt});
    const std::string complexVrt = DerivedVrt(dir, "complex.vrt", "CFloat32", "complex", "CFloat32", {reVrt, imVrt});
    double lo = 0, hi = 0;
    {
        CRDPLayer layer;
        layer.OpenLayer(re.c_str(), 0);
        lo = layer.Min();
        hi = layer.Max();
    }

    const std::string amp = dir + "/amp.rdp", phase = dir + "/phase.rdp", joined = dir + "/joined.rdp";
    const std::string bytes = dir + "/bytes.rdp";
    const std::string gAmp = dir + "/g_amp.raw", gPhase = dir + "/g_phase.raw", gJoined = dir + "/g_joined.raw";
    const std::string gBytes = dir + "/g_bytes.raw", copy = dir + "/copy";
    auto clean = [&] {
        for (const std::string& f : {amp, phase, joined, bytes, gAmp, gPhase, gJoined, gBytes, copy})
            for (const char* ext : {"", ".hdr", ".aux.xml"})
                std::filesystem::remove(f + ext);
        bench::Run("sync");
    };
    const auto q = bench::Quote;
    const int threads = plat::ParallelThreads();
    bool ok = true;
    std::string error;

    // Dividing into amplitude and phase.
    const bench::Timings divide = bench::Ours(
        [&] { ok = DivideComplexFile({amp, phase, cpx, 0, 1, 1}, nullptr, &error) == 0 && ok; }, clean);
    const std::int64_t divideOut = FileSize(amp) + FileSize(phase);
    const bench::GdalTimings gDivide =
        bench::Gdal("gdal_translate -q -of ENVI " + q(modVrt) + " " + q(gAmp) + " && gdal_translate -q -of ENVI " +
                        q(phaseVrt) + " " + q(gPhase) + " && sync " + q(gAmp) + " " + q(gPhase),
                    clean);

    // Joining real and imaginary parts.
    const bench::Timings join =
        bench::Ours([&] { ok = JoinComplexFiles({re, im, joined, 1, 1, 1}, nullptr, &error) == 0 && ok; }, clean);
    const std::int64_t joinOut = FileSize(joined);
    const bench::GdalTimings gJoin = bench::Gdal(
        "gdal_translate -q -of ENVI " + q(complexVrt) + " " + q(gJoined) + " && sync " + q(gJoined), clean);

    // FLOAT32 to UINT8 over the source's range.
    const bench::Timings change = bench::Ours(
        [&] {
            TypeChangeJob job;
            job.input = re;
            job.output = bytes;
            job.newType = UINT8;
            job.newMin = 0;
            job.newMax = 255;
            const std::string failure = PrepareTypeChange(job);
            ok = failure.empty() && RunTypeChange(job, nullptr, &error) == 0 && ok;
            if (!failure.empty())
                error = failure;
        },
        clean);
    char scale[160];
    std::snprintf(scale, sizeof scale, "-ot Byte -scale %.17g %.17g 0 255 ", lo, hi);
    const bench::GdalTimings gChange = bench::Gdal(
        "gdal_translate -q -of ENVI " + std::string(scale) + q(reVrt) + " " + q(gBytes) + " && sync " + q(gBytes),
        clean);
    if (!ok) {
        std::fprintf(stderr, "a job failed: %s\n", error.c_str());
        return 2;
    }

    // The real limit: the inputs read once in memory, and a durable copy of the outputs' size.
    bench::Timings readCpx{}, readParts{};
    {
        CRDPLayer a, b, c;
        a.OpenLayer(cpx.c_str(), 0);
        b.OpenLayer(re.c_str(), 0);
        c.OpenLayer(im.c_str(), 0);
        readCpx = bench::ReadPasses(a.Pixels(), a.TotalSize());
        const bench::Timings r1 = bench::ReadPasses(b.Pixels(), b.TotalSize());
        const bench::Timings r2 = bench::ReadPasses(c.Pixels(), c.TotalSize());
        readParts = {r1.one + r2.one, r1.all + r2.all};
    }
    auto copyOf = [&](std::int64_t size) {
        // A source of the outputs' size: the complex input cut or repeated.
        const std::string source = dir + "/copy_source";
        bench::Run("head -c " + std::to_string(size) + " " + q(cpx) + " " + q(cpx) + " > " + q(source));
        const bench::Timings t = bench::Tool("sh -c " + q("cp " + q(source) + " " + q(copy) + " && sync " + q(copy)),
                                             clean);
        std::filesystem::remove(source);
        return t;
    };
    const bench::Timings cpDivide = copyOf(divideOut);
    const bench::Timings cpJoin = copyOf(joinOut);

    const bench::Goal faster{4.0, false};
    bool met = true;
    met &= bench::CompareBoth("Divide CFLOAT32 into amplitude and phase", "gdal_translate mod + phase", gDivide.t,
                              threads, "ours", divide, threads, faster, faster);
    bench::CompareBoth("Divide against a durable copy of its outputs", "ours", divide, threads, "cp + sync", cpDivide,
                       1, {}, {});
    bench::CompareBoth("Divide against a read pass of its input", "ours", divide, threads, "read pass", readCpx,
                       threads, {}, {});
    met &= bench::CompareBoth("Join FLOAT32 as real and imaginary", "gdal_translate complex", gJoin.t, threads, "ours",
                              join, threads, faster, faster);
    bench::CompareBoth("Join against a durable copy of its output", "ours", join, threads, "cp + sync", cpJoin, 1, {},
                       {});
    bench::CompareBoth("Join against a read pass of its inputs", "ours", join, threads, "read pass", readParts,
                       threads, {}, {});
    met &= bench::CompareBoth("FLOAT32 to UINT8", "gdal_translate -ot Byte -scale", gChange.t, threads, "ours", change,
                              threads, faster, faster);
    clean();
    std::filesystem::remove_all(dir);
    return met ? 0 : 1;
}
