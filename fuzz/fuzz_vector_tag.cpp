// Arbitrary bytes as the payload of tag 500, opened as a vector overlay. A refused block
// leaves the object empty. An accepted one hands out only records inside its data, saves
// into a layer file on tmpfs and opens from there to the same model; layers, points and
// lines added to it (one of them a line the overlay handed out) join that model and
// nothing else changes; painting it at any zoom and origin stays inside the block.
//
// With FUZZ_SEEDS set to a folder, the first run writes blocks of the overlay there.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "platform/paint/DeviceContext.h"
#include "vector/VectorImage.h"

namespace {

struct Layer {
    plat::ColorRef colour = 0;
    std::vector<VectorVertex> points;
    std::vector<std::vector<VectorVertex>> lines;
};

bool SameBits(const VectorVertex& a, const VectorVertex& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameLayer(const Layer& a, const Layer& b)
{
    if (a.colour != b.colour || a.points.size() != b.points.size() || a.lines.size() != b.lines.size())
        return false;
    for (std::size_t k = 0; k < a.points.size(); ++k)
        if (!SameBits(a.points[k], b.points[k]))
            return false;
    for (std::size_t k = 0; k < a.lines.size(); ++k) {
        if (a.lines[k].size() != b.lines[k].size())
            return false;
        for (std::size_t j = 0; j < a.lines[k].size(); ++j)
            if (!SameBits(a.lines[k][j], b.lines[k][j]))
                return false;
    }
    return true;
}

// The model, each record handed out checked to lie inside [first, end) of the block,
// whose start is found from the first record and its offset.
std::vector<Layer> Model(CVectorImage& image, const unsigned char* base)
{
    std::vector<Layer> out;
    const std::int64_t first = CVectorImage::kHeaderSize + std::int64_t(CVectorImage::kLayerRecordSize) * image.GetNumLayer();
    const std::int64_t end = image.GetUsedSize();
    auto inside = [&](const void* p, std::int64_t size) {
        if (base == nullptr)
            return;
        const std::int64_t at = static_cast<const unsigned char*>(p) - base;
        FUZZ_CHECK(at >= first && at + size <= end);
    };
    for (int i = 0; i < image.GetNumLayer(); ++i) {
        Layer layer;
        layer.colour = image.GetColor(i);
        for (const CVectorImage::Point* p = image.SetFirstPoint(i); p; p = image.GetNextPoint()) {
            inside(p, CVectorImage::kPointSize);
            layer.points.push_back({p->x, p->y});
        }
        for (const CVectorImage::Line* l = image.SetFirstLine(i); l; l = image.GetNextLine()) {
            inside(l, 8);
            FUZZ_CHECK(l->n >= 1);
            inside(l, 8 + 8 * std::int64_t(l->n));
            layer.lines.emplace_back(l->Vertices(), l->Vertices() + l->n);
        }
        out.push_back(std::move(layer));
    }
    return out;
}

bool SameModel(const std::vector<Layer>& a, const std::vector<Layer>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!SameLayer(a[i], b[i]))
            return false;
    return true;
}

// The block's start: a record handed out less its offset, read from the block's layer records.
const unsigned char* BaseOf(CVectorImage& image, const std::vector<unsigned char>& bytes)
{
    for (int i = 0; i < image.GetNumLayer(); ++i) {
        std::int32_t offset = 0;
        if (const CVectorImage::Point* p = image.SetFirstPoint(i)) {
            std::memcpy(&offset, bytes.data() + CVectorImage::kHeaderSize + CVectorImage::kLayerRecordSize * i + 12, 4);
            return reinterpret_cast<const unsigned char*>(p) - offset;
        }
        if (const CVectorImage::Line* l = image.SetFirstLine(i)) {
            std::memcpy(&offset, bytes.data() + CVectorImage::kHeaderSize + CVectorImage::kLayerRecordSize * i + 16, 4);
            return reinterpret_cast<const unsigned char*>(l) - offset;
        }
    }
    return nullptr;
}

const std::string& ScratchFile()
{
    static const std::string path = fuzzsupport::ScratchName("fuzz_vector_tag") + "/layer.rdp";
    return path;
}

// A small layer file without an overlay, made once.
const std::vector<std::uint8_t>& EmptyLayerFile()
{
    static const std::vector<std::uint8_t> bytes = [] {
        const std::string path = ScratchFile();
        CRDPLayer layer;
        FUZZ_CHECK(layer.CreateLayer(path.c_str(), 4, 3, 1, 0) != nullptr);
        FUZZ_CHECK(layer.CloseLayer() == 1);
        return fuzzsupport::ReadFile(path);
    }();
    return bytes;
}

void WriteSeeds(const std::string& dir)
{
    const std::string path = dir + "/layer.rdp";
    {
        CVectorImage image;
        image.Create(path.c_str(), 0);
        image.AddLayer(0x0000FF);
        image.AddLayer(0x00FF00);
        image.AddLayer(0xFF0000);
        image.Add(0, CVectorImage::Point{1.0f, 2.0f, 0});
        image.Add(1, CVectorImage::Point{-3.5f, 40.0f, 0});
        CVectorImage::LineRecord a({{0.0f, 0.0f}, {10.0f, 5.0f}, {-3.0f, 7.0f}});
        image.Add(1, a.Get());
        CVectorImage::LineRecord b({{100.0f, 100.0f}});
        image.Add(2, b.Get());
        image.Add(0, CVectorImage::Point{5.0f, 6.0f, 0});
        image.Add(2, a.Get());
        const int size = image.GetUsedSize();
        std::vector<unsigned char> block(std::size_t(size), 0);
        CRDPLayer layer;
        FUZZ_CHECK(layer.CreateLayer(path.c_str(), 4, 3, 1, 0) != nullptr);
        FUZZ_CHECK(layer.CloseLayer() == 1);
        FUZZ_CHECK(image.Save() == 1);
        FUZZ_CHECK(GetSizeTag(path.c_str(), kVectorTagNumber) == size);
        FUZZ_CHECK(GetTag(path.c_str(), kVectorTagNumber, size, block.data()) == 1);
        fuzzsupport::WriteFile(dir + "/three_layers.bin", block.data(), block.size());
    }
    {
        CVectorImage image;
        image.Create(path.c_str(), 0);
        image.AddLayer(0x123456);
        const int size = image.GetUsedSize();
        FUZZ_CHECK(image.Save() == 1);
        std::vector<unsigned char> block(std::size_t(size), 0);
        FUZZ_CHECK(GetTag(path.c_str(), kVectorTagNumber, size, block.data()) == 1);
        fuzzsupport::WriteFile(dir + "/one_layer.bin", block.data(), block.size());
    }
    std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (const char* seeds = std::getenv("FUZZ_SEEDS"))
        WriteSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    const std::vector<unsigned char> bytes(data, data + size);
    fuzzsupport::Dice dice(data, size);
    const std::string& file = ScratchFile();

    fuzzsupport::g_step = "open";
    CVectorImage image;
    if (image.OpenBytes(bytes.data(), int(size), file.c_str()) != 1) {
        FUZZ_CHECK(!image.IsOpen() && image.GetNumLayer() == 0 && image.GetUsedSize() == 0);
        FUZZ_CHECK(!image.GetReason().empty());
        FUZZ_CHECK(image.SetFirstPoint(0) == nullptr && image.SetFirstLine(0) == nullptr);
        return 0;
    }
    const int layers = image.GetNumLayer();
    const int used = image.GetUsedSize();
    FUZZ_CHECK(used >= CVectorImage::kHeaderSize + CVectorImage::kLayerRecordSize * layers && used <= int(size));
    const std::vector<Layer> model = Model(image, BaseOf(image, bytes));

    fuzzsupport::g_step = "save and open";
    const auto& empty = EmptyLayerFile();
    fuzzsupport::WriteFile(file, empty.data(), empty.size());
    FUZZ_CHECK(image.Save() == 1);
    FUZZ_CHECK(!image.IsOpen());
    CVectorImage again;
    FUZZ_CHECK(again.Open(file.c_str()) == 1);
    FUZZ_CHECK(again.GetNumLayer() == layers && again.GetUsedSize() == used);
    std::vector<Layer> expected = model;
    FUZZ_CHECK(SameModel(Model(again, nullptr), expected));

    fuzzsupport::g_step = "add";
    const int steps = int(dice.Next(6));
    for (int s = 0; s < steps; ++s) {
        const int n = again.GetNumLayer();
        const int layer = int(dice.Next(std::uint32_t(n + 2))) - 1;  // -1 and n do not exist
        const bool exists = layer >= 0 && layer < n;
        switch (dice.Next(4)) {
        case 0: {
            const plat::ColorRef colour = dice.Next(0x1000000);
            FUZZ_CHECK(again.AddLayer(colour) == 1);
            expected.push_back({colour, {}, {}});
            break;
        }
        case 1: {
            const CVectorImage::Point p{float(dice.Next(2000)) - 1000.0f, float(dice.Next(2000)) * 0.5f, 0};
            again.Add(layer, p);
            if (exists)
                expected[std::size_t(layer)].points.push_back({p.x, p.y});
            break;
        }
        case 2: {
            std::vector<VectorVertex> v(dice.Next(4));  // an empty line is refused
            for (auto& x : v)
                x = {float(dice.Next(300)), -float(dice.Next(300))};
            CVectorImage::LineRecord line(v);
            again.Add(layer, line.Get());
            if (exists && !v.empty())
                expected[std::size_t(layer)].lines.push_back(v);
            break;
        }
        default: {
            // A line the overlay handed out, added to its own block (which may move).
            const int from = int(dice.Next(std::uint32_t(n)));
            if (const CVectorImage::Line* l = again.SetFirstLine(from)) {
                const std::vector<VectorVertex> v(l->Vertices(), l->Vertices() + l->n);
                again.Add(layer, *l);
                if (exists)
                    expected[std::size_t(layer)].lines.push_back(v);
            }
            break;
        }
        }
    }
    FUZZ_CHECK(SameModel(Model(again, nullptr), expected));

    fuzzsupport::g_step = "paint";
    static const double zooms[] = {1.0, 0.25, 3.0, 1e-6, 1e6, 0.0, -1.0};
    plat::DeviceContext dc(24, 16);
    again.SetPaintMode(1, -1);
    const double zoom = zooms[dice.Next(7)];
    const CPoint origin{int(dice.Next(400)) - 200, int(dice.Next(400)) - 200};
    const int layer = int(dice.Next(std::uint32_t(again.GetNumLayer() + 1))) - 1;
    again.Paint(&dc, zoom, origin, layer);
    FUZZ_CHECK(SameModel(Model(again, nullptr), expected));
    return 0;
}
