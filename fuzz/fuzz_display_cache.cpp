// Arbitrary bytes as the display cache file beside a raster layer file: the
// view's look-up reads its header from disk, reuses the cache (Attach) or builds
// a new one, and regions are read from it at any reduction.
//
// The inputs either stand as the whole cache file or overlay a valid cache of the
// right length, its header kept or not. Integrity: a cache that the look-up must
// refuse is replaced by exactly the cache a clean build makes, one that it may
// accept is left byte for byte as it was, and the regions of a rebuilt cache are
// the regions of a clean one; no region is written past its rows.

#include <sanitizer/asan_interface.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/threads/ParallelFor.h"
#include "files/TempFiles.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"
#include "pyramid/DisplayPyramid.h"
#include "view/DisplayCache.h"
#include "view/RasterView.h"

namespace {

using fuzzsupport::ReadFile;
using fuzzsupport::WriteFile;

struct Source {
    std::string path;
    std::string cache;
    int width = 0, height = 0;
    std::vector<uint8_t> good;  // the cache a clean build makes
};

constexpr int kSources = 3;

Source MakeSource(const std::string& dir, int index, int width, int height, int type)
{
    Source s;
    s.path = dir + "/source" + std::to_string(index) + ".rdp";
    s.width = width;
    s.height = height;
    CRDPLayer layer;
    if (layer.CreateLayer(s.path.c_str(), width, height, type, 1) == nullptr)
        abort();
    std::vector<double> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            row[size_t(x)] = double((x * 7 + y * 13) % 251);
        layer.SetLineFromDouble(y, row.data(), 1);
    }
    layer.CloseLayer();
    CRasterView view;
    if (view.PrepareFile(s.path.c_str(), nullptr, {}) != 1)
        abort();
    s.cache = view.GetCacheName();
    s.good = ReadFile(s.cache);
    if (s.cache.empty() || int64_t(s.good.size()) != DisplayCacheLength(width, height))
        abort();
    return s;
}

const std::vector<Source>& Sources()
{
    static const std::vector<Source> sources = [] {
        const std::string dir = fuzzsupport::ScratchName("fuzz_cache");
        std::vector<Source> v;
        v.push_back(MakeSource(dir, 0, 1, 1, UINT8));
        v.push_back(MakeSource(dir, 1, 257, 9, FLOAT32));
        v.push_back(MakeSource(dir, 2, 5, 300, UINT16));
        // The sources never change: each stays bound for the whole run, so that the
        // view's binding shares that view of it rather than mapping and unmapping
        // the file for every input.
        static CRDPLayer held[kSources];
        for (int i = 0; i < kSources; ++i)
            if (held[i].OpenLayerEx(v[size_t(i)].path.c_str(), 0, 0) == nullptr)
                abort();
        return v;
    }();
    return sources;
}

// A region's buffer with guard bytes behind it, kept from one call to the next: a
// fresh heap block of some 50 KB for every region costs more than reading it. All
// but the bytes in use stay poisoned, so a write past the guard is caught as it
// would be past a block of its own.
class RegionBuffer {
public:
    // The largest region: rows of 257 samples of 4 bytes and 3 more, 300 rows.
    static constexpr size_t kCapacity = 1031 * 300 + 64;

    RegionBuffer() : m_bytes(new uint8_t[kCapacity]) { ASAN_POISON_MEMORY_REGION(m_bytes.get(), kCapacity); }
    uint8_t* Use(size_t n, uint8_t fill)
    {
        if (n > kCapacity)
            abort();
        ASAN_POISON_MEMORY_REGION(m_bytes.get(), kCapacity);
        ASAN_UNPOISON_MEMORY_REGION(m_bytes.get(), n);
        std::memset(m_bytes.get(), fill, n);
        return m_bytes.get();
    }

private:
    std::unique_ptr<uint8_t[]> m_bytes;
};

bool HeaderAccepted(const std::vector<uint8_t>& cache, const Source& s)
{
    if (cache.size() != s.good.size())
        return false;
    const CTempInfoStruct mine = CTempInfoStruct::Load(cache.data());
    const CTempInfoStruct good = CTempInfoStruct::Load(s.good.data());
    return std::memcmp(cache.data() + 8, s.good.data() + 8, 4) == 0 && TMPFlagMatches(mine.m_flag, good.m_flag);
}

}  // namespace

// One thread: the images are far below what the parallel loops share out.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    plat::SetParallelThreadLimit(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const auto& sources = Sources();
    const Source& s = sources[data[0] % kSources];
    const uint8_t mode = data[1];
    const uint8_t* body = data + 2;
    const size_t bodySize = size - 2;

    // The cache file as the input makes it.
    std::vector<uint8_t> cache;
    // Mostly a cache of the right length with its header kept, which is reused as
    // it stands: a rebuild costs a hundred look-ups.
    if ((mode & 7) == 0) {
        cache.assign(body, body + bodySize);
    } else {
        cache = s.good;
        const size_t at = (size_t(mode >> 3) * 977) % cache.size();
        std::copy_n(body, std::min(bodySize, cache.size() - at), cache.begin() + long(at));
        if ((mode & 7) >= 3)
            std::copy_n(s.good.begin(), kDisplayCacheHeaderSize, cache.begin());
        else if ((mode & 7) == 2)
            std::copy_n(s.good.begin() + 8, 4, cache.begin() + 8);  // the source's time only
    }
    WriteFile(s.cache, cache.data(), cache.size());
    const bool accepted = HeaderAccepted(cache, s);

    CRasterView view;
    int prepared = 0;
    try {
        prepared = view.PrepareFile(s.path.c_str(), nullptr, {});
    } catch (plat::Exception* e) {
        e->Delete();
    }
    FUZZ_CHECK(prepared == 1);
    FUZZ_CHECK(view.GetCacheName() == s.cache);
    FUZZ_CHECK(ReadFile(s.cache) == (accepted ? cache : s.good));

    // The same regions from the view and, for a rebuilt cache, from a clean cache in
    // memory (attached once per source: reading regions leaves it as it was).
    static std::vector<uint8_t> clean[kSources];
    static CDisplayPyramid reference[kSources];
    const size_t which = size_t(&s - sources.data());
    if (!accepted && clean[which].empty()) {
        clean[which] = s.good;
        FUZZ_CHECK(reference[which].Attach(clean[which].data() + kDisplayCacheLevelsOffset, s.width, s.height,
                                           int64_t(clean[which].size()) - kDisplayCacheLevelsOffset) == 1);
    }
    const uint8_t* plan = body;
    const size_t steps = std::min<size_t>(bodySize / 6, 4);
    for (size_t i = 0; i < steps; ++i, plan += 6) {
        const int x = plan[0] % 64 - 4;
        const int y = plan[1] % 64 - 4;
        const int width = 1 + plan[2] % 40;
        const int height = 1 + plan[3] % 40;
        static const double kReductions[] = {0.25, 0.5, 1.0, 1.5, 2.0, 3.0, 7.5, 64.0};
        const double reduction = kReductions[plan[4] & 7];
        const int fit = (plan[4] >> 3) & 1;
        const int step = 1 + ((plan[4] >> 4) & 3);
        const int bottomUp = (plan[4] >> 6) & 1;
        const int rowBytes = std::max(width, s.width) * step + (plan[5] & 3);
        const size_t rows = size_t(std::max(height, s.height));
        const size_t bytes = size_t(rowBytes) * rows;
        static RegionBuffer gotBuffer, wantBuffer;
        uint8_t* got = gotBuffer.Use(bytes + 64, 0xCD);
        const int a = view.GetRegion(got, rowBytes, x, y, width, height, reduction, fit, step, bottomUp, nullptr);
        FUZZ_CHECK(std::all_of(got + bytes, got + bytes + 64, [](uint8_t b) { return b == 0xCD; }));
        if (!accepted) {
            uint8_t* want = wantBuffer.Use(bytes + 64, 0xCD);
            const int b = reference[which].GetRegion(want, rowBytes, x, y, width, height, reduction, fit, step,
                                                     bottomUp, nullptr);
            FUZZ_CHECK(a == b);
            FUZZ_CHECK(std::memcmp(got, want, bytes + 64) == 0);
        }
    }
    return 0;
}
