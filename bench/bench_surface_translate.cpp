// links: viewer3dCore
// The surface editor's translation of a layer onto the node grid: an 8000 x
// 8000 FLOAT32 layer of a raster layer file resampled onto a 1000 x 1000 grid
// (area-weighted mean) and its range mapped onto [Min, Max], rows in order on
// one thread, as an Apply does it. Medians of three, against:
//  - a plain pass reading the layer's rows through the same layer reader into
//    one row buffer (goal: the translation within 2 times that, per core);
//  - the real limit: a vectorised read pass over the mapped samples, and `cp`
//    of the file;
//  - `gdal_translate -r average -outsize 1000 1000` of a raw VRT band over the
//    same samples to a FLOAT32 file, at GDAL's fastest block cache.
//
//   build-rel/bin/bench_surface_translate [folder for the 256 MB test file]

#include "BenchCompare.h"

#include "viewer3d/editors/SSurface3DUn.h"

#include "engine3d/files/SLayers.h"
#include "engine3d/model/EngineUnits.h"
#include "engine3d/scene/SSurfaces3D.h"
#include "platform/threads/ParallelFor.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 8000;
constexpr int kGrid = 1000;

// A one-layer file (version 3) of FLOAT32 samples in a fixed pseudo-random
// pattern; returns the samples' offset.
int64_t WriteLayerFile(const std::string& path, int w, int h)
{
    const int64_t p = int64_t(w) * h * 4;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto put = [&](std::initializer_list<int32_t> words) {
        for (int32_t v : words)
            out.write(reinterpret_cast<const char*>(&v), 4);
    };
    out.write("RDPR", 4);
    put({3, 0, 0, 32, 0, 1, 0, 0, 44, 68, 24, w, h, 7, 0, 1});
    put({1, 80, int32_t(88 + p), int32_t(p + 4)});
    std::vector<float> row(static_cast<std::size_t>(w));
    uint32_t x = 12345;
    for (int y = 0; y < h; ++y) {
        for (float& v : row) {
            x = x * 1664525u + 1013904223u;
            v = float(int32_t(x >> 8) % 20000) * 0.05f;
        }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size() * 4));
    }
    put({0, 0, 0, 0});
    return 84;
}

void WriteVrt(const std::string& vrt, const std::string& raw, int w, int h, int64_t offset)
{
    std::ofstream out(vrt, std::ios::trunc);
    out << "<VRTDataset rasterXSize=\"" << w << "\" rasterYSize=\"" << h << "\">\n"
        << "  <VRTRasterBand dataType=\"Float32\" band=\"1\" subClass=\"VRTRawRasterBand\">\n"
        << "    <SourceFilename relativeToVRT=\"0\">" << raw << "</SourceFilename>\n"
        << "    <ImageOffset>" << offset << "</ImageOffset>\n"
        << "    <PixelOffset>4</PixelOffset>\n"
        << "    <LineOffset>" << int64_t(w) * 4 << "</LineOffset>\n"
        << "    <ByteOrder>LSB</ByteOrder>\n"
        << "  </VRTRasterBand>\n</VRTDataset>\n";
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = bench::Folder(argc, argv);
    bench::Require({"gdal_translate", "taskset", "cp"});
    StartEngineUnits();
    const std::string path = folder + "/bench_surface_translate.rdp";
    const std::string vrt = folder + "/bench_surface_translate.vrt";
    const std::string out = folder + "/bench_surface_translate_out.tif";
    const std::string copy = folder + "/bench_surface_translate_copy.rdp";
    const int64_t offset = WriteLayerFile(path, kSide, kSide);
    WriteVrt(vrt, path, kSide, kSide, offset);
    const int threads = plat::ParallelThreads();

    std::unique_ptr<TSFileLayerKeeper> keeper(CreateForFile(nullptr, path));
    keeper->Open(path, 3, 0, true);
    TSLayer* layer = keeper->GetLayer(0);
    if (layer == nullptr || layer->Width() != kSide) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    layer->BeginUpdate();

    // The plain pass: the file opened as the translation opens it, every row
    // through the reader into one buffer.
    std::vector<float> row(static_cast<std::size_t>(kSide));
    volatile float sink = 0;
    const auto readRows = [&] {
        std::unique_ptr<TSFileLayerKeeper> file(CreateForFile(nullptr, path));
        file->Open(path, 3, 0, true);
        TSLayer* l = file->GetLayer(0);
        l->BeginUpdate();
        for (int y = 0; y < kSide; ++y) {
            l->ReadRow(y, row.data(), kSide, 4, stFloat32);
            sink = sink + row[size_t(y) % size_t(kSide)];
        }
        l->EndUpdate();
    };
    // The same pass with the rows shared among the threads (the all-core line).
    const auto readRowsAll = [&] {
        plat::ParallelFor(kSide, 64, threads, [&](int64_t b, int64_t e, int) {
            std::vector<float> r(static_cast<std::size_t>(kSide));
            for (int64_t y = b; y < e; ++y)
                layer->ReadRow(int32_t(y), r.data(), kSide, 4, stFloat32);
        });
    };
    readRows();

    std::unique_ptr<TSSurface3D> surface(TSObject::Create<TSSurface3D>());
    surface->SetGridSize(kGrid, kGrid);
    std::unique_ptr<TSSurface3D_Depository> depository(TSObject::Create<TSSurface3D_Depository>());
    TObject* construction = surface.get();
    depository->SetParameter(diConstruction, &construction);
    TSSurfaceChannel& z = depository->Channels[2];
    z.FromFile = 1;
    z.FileName = path;
    z.LayerIndex = 0;
    z.Min = 0;
    z.Max = 100;
    const auto translate = [&] { depository->TranslateLayer(nullptr, 2); };

    bench::Timings ours, reader;
    ours.all = bench::Median(3, translate);
    reader.all = bench::Median(3, readRowsAll);
    {
        bench::OneCore pin;
        ours.one = bench::Median(3, translate);
        reader.one = bench::Median(3, readRows);
    }
    const auto* rdp = dynamic_cast<TSRDPLayer*>(layer);
    const bench::Timings limit =
        rdp && rdp->Data() ? bench::ReadPasses(rdp->Data(), int64_t(kSide) * kSide * 4) : bench::Timings{};
    layer->EndUpdate();
    const float corner = surface->Node(0, 0).Position.Z;

    bench::Timings cp;
    cp.all = bench::Median(3, [&] { bench::Run("cp " + bench::Quote(path) + " " + bench::Quote(copy)); });
    cp.one = bench::Median(3, [&] { bench::Run(bench::OnOneCore("cp " + bench::Quote(path) + " " + bench::Quote(copy))); });
    const bench::GdalTimings gdal = bench::Gdal("gdal_translate -q -ot Float32 -of GTiff -r average -outsize " +
                                                std::to_string(kGrid) + " " + std::to_string(kGrid) + " " +
                                                bench::Quote(vrt) + " " + bench::Quote(out));

    std::printf("%d x %d FLOAT32 onto %d x %d nodes: node (0, 0) %.6g [load %s]\n", kSide, kSide, kGrid, kGrid,
                double(corner), bench::Load().c_str());
    // The translation runs on one thread by design (rows in order); its
    // all-core time is that thread's.
    const bool met = bench::CompareBoth("translation to the reader's row pass", "translation", ours, 1, "row pass",
                                        reader, threads, {2.0, true}, {});
    bench::CompareBoth("  translation to the read pass over the samples", "translation", ours, 1, "read pass", limit,
                       threads, {}, {});
    bench::CompareBoth("  cp of the file to the translation", "cp", cp, 1, "translation", ours, 1, {}, {});
    bench::CompareBoth("  gdal_translate -r average to the translation", "gdal_translate", gdal.t, threads,
                       "translation", ours, 1, {}, {});

    keeper.reset();
    depository.reset();
    surface.reset();
    for (const std::string& f : {path, vrt, out, copy})
        std::filesystem::remove(f);
    StopEngineUnits();
    return met ? 0 : 1;
}
