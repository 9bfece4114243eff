// Arbitrary bytes as the raw import dialog's fields and a small data file behind them.
// Execute's checks run on the fields; a set that passes them (or the preview's whole-image
// description at a step) goes through ReadToRdp. Whatever it answers, either nothing was
// written, or the layer file holds exactly the described shape and type, every sample
// taken from its place in the data (0 past the data's end), byte order applied.
//
// Input: two bytes choosing which fields are taken whole, twelve 32-bit fields (taken
// whole, else as a small number), one byte for the preview step, then the data file.
// With FUZZ_SEEDS set to a folder, the first run writes a few descriptions there.

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "files/OrderFile.h"
#include "layer/DataTypes.h"
#include "layer/RDPLayer.h"
#include "platform/dialogs/MessageBox.h"
#include "raw/RawImportForm.h"

namespace {

constexpr std::size_t kFieldBytes = 2 + 12 * 4 + 1;
// Larger layers are described but not written: an execution stays cheap.
constexpr std::uint64_t kMaxLayerBytes = 1 << 12;

int g_boxes = 0;

const std::string& Folder()
{
    static const std::string dir = fuzzsupport::ScratchName("fuzz_raw_import");
    return dir;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

RawImportFields FieldsOf(const std::uint8_t* data, int& step)
{
    const unsigned whole = unsigned(data[0]) | unsigned(data[1]) << 8;
    std::int32_t v[12];
    for (int i = 0; i < 12; ++i) {
        std::memcpy(&v[i], data + 2 + 4 * i, 4);
        if (!(whole & (1u << i)))
            v[i] = std::int32_t(std::int8_t(v[i] & 0xFF)) / 4;  // -32 .. 31
    }
    step = 1 + data[kFieldBytes - 1] % 5;
    RawImportFields f;
    f.pixelsPerRecord = v[0];
    f.headerSize = v[1];
    f.prefixSize = v[2];
    f.componentPos = v[3];
    f.dataKind = v[4];
    f.recordLength = v[5];
    f.windowX = v[6];
    f.windowY = v[7];
    f.windowHeight = v[8];
    f.windowWidth = v[9];
    f.byteOrder = v[10];
    f.records = v[11];
    return f;
}

// The layer's bytes as the description reads them from data.
std::vector<unsigned char> Expected(const ImportParams& p, const std::vector<unsigned char>& data)
{
    const std::int64_t width = p.windowWidth / p.step, height = p.windowHeight / p.step;
    const std::int64_t pixel = std::int64_t(p.components) * p.componentSize;
    const std::int64_t readBytes = std::int64_t(p.windowWidth) * pixel;
    std::vector<unsigned char> out;
    std::vector<unsigned char> row(std::size_t(readBytes), 0);
    for (std::int64_t r = 0; r < height; ++r) {
        const std::int64_t at = p.RowOffset(r);
        const std::int64_t got = std::clamp<std::int64_t>(std::int64_t(data.size()) - at, 0, readBytes);
        const std::int64_t kept = got - got % p.componentSize;
        for (std::int64_t q = 0; q < readBytes; ++q)
            row[std::size_t(q)] = q < kept ? data[std::size_t(at + q)] : 0;
        if (p.byteOrder == COrderFile::kReverseOrder)
            for (std::int64_t q = 0; q + p.componentSize <= readBytes; q += p.componentSize)
                std::reverse(row.begin() + q, row.begin() + q + p.componentSize);
        for (std::int64_t j = 0; j < width; ++j) {
            const auto from = row.begin() + j * p.step * pixel;
            out.insert(out.end(), from, from + pixel);
        }
    }
    return out;
}

void Import(ImportParams p, const std::vector<unsigned char>& data, const std::string& output)
{
    std::remove(output.c_str());
    p.pixelSize = p.components * p.componentSize;
    const bool readable = p.Readable();
    const bool small = readable && std::uint64_t(p.windowWidth / p.step) * std::uint64_t(p.windowHeight / p.step) *
                                           std::uint64_t(p.pixelSize) <= kMaxLayerBytes;
    if (readable && !small)
        return;
    ReadOutcome outcome;
    const int ok = p.ReadToRdp(output, nullptr, &outcome);
    FUZZ_CHECK(g_boxes == 0);
    FUZZ_CHECK(ok == (readable ? 1 : 0));
    if (ok != 1) {
        FUZZ_CHECK(!Exists(output));
        return;
    }
    CRDPLayer layer;
    void** rows = layer.OpenLayer(output.c_str(), 0);
    FUZZ_CHECK(rows != nullptr);
    FUZZ_CHECK(layer.Width() == p.windowWidth / p.step && layer.Height() == p.windowHeight / p.step);
    FUZZ_CHECK(layer.Type() == p.LayerType() && layer.SampleSize() == p.pixelSize);
    const std::vector<unsigned char> expected = Expected(p, data);
    const std::size_t rowBytes = std::size_t(layer.Width()) * std::size_t(p.pixelSize);
    bool shortInput = false;
    for (int r = 0; r < layer.Height(); ++r) {
        FUZZ_CHECK(std::memcmp(rows[r], expected.data() + std::size_t(r) * rowBytes, rowBytes) == 0);
        shortInput = shortInput || p.RowOffset(r) + std::int64_t(p.windowWidth) * p.pixelSize > std::int64_t(data.size());
    }
    FUZZ_CHECK(outcome.shortInput == shortInput);
    layer.CloseLayer();
}

void WriteSeeds(const std::string& dir)
{
    // 4 x 3 records of 16-bit samples behind a 6-byte header, 2-byte prefixes; the window
    // skips a pixel and a record.
    auto field = [](std::vector<unsigned char>& out, std::int32_t v) {
        const auto* b = reinterpret_cast<const unsigned char*>(&v);
        out.insert(out.end(), b, b + 4);
    };
    const std::int32_t sets[][12] = {
        {4, 6, 2, 2, 0, 10, 1, 1, 2, 3, 0, 3},
        {4, 6, 2, 2, 0, 10, 1, 1, 2, 3, 1, 3},
        {2, 0, 0, 3, 1, 16, 0, 0, 4, 2, 1, 4},
        {3, 1, 0, 6, 0, 12, 0, 0, 5, 3, 0, 5},
    };
    int n = 0;
    for (const auto& set : sets) {
        std::vector<unsigned char> out = {0xFF, 0x0F};
        for (std::int32_t v : set)
            field(out, v);
        out.push_back(std::uint8_t(n));
        for (int i = 0; i < 60; ++i)
            out.push_back(std::uint8_t(i * 7 + n));
        fuzzsupport::WriteFile(dir + "/fields" + std::to_string(n++), out.data(), out.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    plat::SetMessageBoxAnswerer([](const plat::MessageBoxCall& call) {
        std::fprintf(stderr, "message box: %s\n", call.text.c_str());
        ++g_boxes;
        return plat::IDOK;
    });
    if (const char* seeds = std::getenv("FUZZ_SEEDS"))
        WriteSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kFieldBytes)
        return 0;
    int step = 1;
    const RawImportFields fields = FieldsOf(data, step);
    const std::vector<unsigned char> bytes(data + kFieldBytes, data + size);
    const std::string input = Folder() + "/data.raw", output = Folder() + "/out.rdp";
    fuzzsupport::WriteFile(input, bytes.data(), bytes.size());

    fuzzsupport::g_step = "checks";
    const unsigned refusal = fields.CheckExecute();
    if (refusal == 0) {
        // What the checks let through describes a window inside the records.
        FUZZ_CHECK(fields.pixelsPerRecord != 0 && fields.windowWidth != 0 && fields.windowHeight != 0);
        FUZZ_CHECK(std::uint64_t(std::uint32_t(fields.windowX)) + std::uint32_t(fields.windowWidth) <=
                   std::uint32_t(fields.pixelsPerRecord));
        FUZZ_CHECK(fields.recordLength >= 0 && fields.MinimumRecordLength() <= fields.recordLength);
        fuzzsupport::g_step = "import";
        Import(fields.Params(input), bytes, output);
    }
    if (fields.pixelsPerRecord > 0 && fields.records > 0) {
        fuzzsupport::g_step = "preview";
        Import(fields.PreviewParams(input, step), bytes, output);
    }
    return 0;
}
