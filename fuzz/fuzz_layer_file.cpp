// Arbitrary bytes as a raster layer file, read and written: the file-level tag
// functions, a transform history step, every layer that binds (up to four,
// read-only and writable) with its statistics, preview, rows and tags, ReadData
// between layers, CopyTag both ways, AddLayer and DestroyLayer. (ReadData into
// complex double is checked by fuzz_layer_read.)
//
// Memory errors are not all that is looked for. After every write the file must
// still hold itself together: the layer chain walks to the same count, every
// layer that bound before binds again with the same shape, and what was written
// (a row, a tag, a history step, copied tags) reads back equal. A call that
// refuses leaves the file's bytes as they were.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "LayerFuzz.h"
#include "platform/threads/ParallelFor.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "layer/Transform.h"

namespace {

using fuzzsupport::Dice;
using fuzzsupport::ReadFile;
using fuzzsupport::WriteFile;

constexpr int kMaxLayers = 4;

struct Shape {
    bool binds = false;
    int width = 0, height = 0, type = 0;
    bool operator==(const Shape&) const = default;
};

struct Snapshot {
    int layers = 0;
    Shape shape[kMaxLayers];
};

Snapshot Take(const char* file, CRDPLayer* hold = nullptr);

struct Paths {
    std::string file;   // the input
    std::string fresh;  // a well-formed one-layer file, written anew for each input
    std::vector<uint8_t> freshBytes;
    Snapshot freshShape;  // what its bytes hold, taken once
};

const Paths& Scratch()
{
    static const Paths paths = [] {
        Paths p;
        const std::string dir = fuzzsupport::ScratchName("fuzz_layer");
        p.file = dir + "/input.rdp";
        p.fresh = dir + "/fresh.rdp";
        CRDPLayer made;
        if (made.CreateLayer(p.fresh.c_str(), 5, 3, FLOAT32, 1) == nullptr)
            abort();
        made.CloseLayer();
        p.freshBytes = ReadFile(p.fresh);
        p.freshShape = Take(p.fresh.c_str());
        FUZZ_CHECK(p.freshShape.layers == 1 && p.freshShape.shape[0].binds);
        return p;
    }();
    return paths;
}

// Binds read-only: a check must not write. With keep empty, the binding is made
// there and stays.
Shape ShapeOf(const char* file, int layer, CRDPLayer* keep = nullptr)
{
    Shape s;
    CRDPLayer own;
    CRDPLayer& l = keep != nullptr && keep->IsEmpty() ? *keep : own;
    try {
        if (l.OpenLayerEx(file, layer, 0) != nullptr) {
            s = Shape{true, l.Width(), l.Height(), l.Type()};
            FUZZ_CHECK(!l.IsWritable());
        }
    } catch (plat::Exception* e) {
        e->Delete();
    }
    if (&l == &own)
        l.CloseLayer();
    return s;
}

// With hold given (and empty), the first layer that binds stays bound there, so
// that a binding made next shares its view.
Snapshot Take(const char* file, CRDPLayer* hold)
{
    Snapshot s;
    s.layers = GetNumLayer(file);
    // The first layer that binds stays bound until the last is looked at, so that
    // the others share its view of the file: the check maps the file once.
    CRDPLayer held;
    for (int i = 0; i < kMaxLayers && i < s.layers; ++i)
        s.shape[i] = ShapeOf(file, i, hold != nullptr ? hold : &held);
    return s;
}

// What the input holds as the last check saw it: every step leaves it either
// checked (ExpectWhole) or byte for byte as it was, so the last step starts from
// here without a walk of its own. Empty when a step replaced the file.
std::optional<Snapshot> g_now;

// The chain holds the same layers and each one that bound binds as it did.
// Returns what the check saw.
Snapshot ExpectWhole(const char* file, const Snapshot& before, CRDPLayer* hold = nullptr)
{
    const Snapshot after = Take(file, hold);
    const auto show = [&] {
        std::fprintf(stderr, "layers %d -> %d\n", before.layers, after.layers);
        for (int i = 0; i < kMaxLayers; ++i)
            std::fprintf(stderr, "  %d: %d %dx%d type %d -> %d %dx%d type %d\n", i, before.shape[i].binds,
                         before.shape[i].width, before.shape[i].height, before.shape[i].type, after.shape[i].binds,
                         after.shape[i].width, after.shape[i].height, after.shape[i].type);
    };
    if (after.layers != before.layers)
        show();
    FUZZ_CHECK(after.layers == before.layers);
    for (int i = 0; i < kMaxLayers; ++i) {
        if (before.shape[i].binds && !(after.shape[i] == before.shape[i]))
            show();
        if (before.shape[i].binds)
            FUZZ_CHECK(after.shape[i] == before.shape[i]);
    }
    return after;
}

// One step onto the history of layer 0, written back into the same file.
void History(const char* file, const Snapshot& before, Dice& dice)
{
    fuzzsupport::g_step = "History";
    TransformTag prior;
    const int size = GetSizeTag(file, kTransformTagNumber);
    const bool readable =
        size == 0 || (size >= kTransformTagSize && GetTag(file, kTransformTagNumber, kTransformTagSize, &prior) == 1);
    const SPoint origin{double(dice.Next(7)), -double(dice.Next(5))};
    const std::vector<uint8_t> bytes = ReadFile(file);
    if (SaveSubsetTransform(origin, file, file) != 1) {
        FUZZ_CHECK(ReadFile(file) == bytes);
        return;
    }
    FUZZ_CHECK(before.layers > 0 && readable);
    g_now = ExpectWhole(file, before);
    TransformMatrix step, expected;
    SubsetTransform(&origin, &step);
    CalcMultiplicationTransform(&prior.matrix, &step, &expected);
    TransformTag now;
    FUZZ_CHECK(GetTag(file, kTransformTagNumber, kTransformTagSize, &now) == 1);
    FUZZ_CHECK(std::memcmp(&now.matrix, &expected, sizeof expected) == 0);
}

// Reads and writes through a writable binding of layer number, then checks that
// what was written is there when the layer is bound again.
void Layer(const char* file, int number, const Snapshot& before, Dice& dice)
{
    fuzzsupport::g_step = "Layer";
    CRDPLayer layer;
    try {
        if (layer.OpenLayerEx(file, number, 1) == nullptr)
            return;
    } catch (plat::Exception* e) {
        e->Delete();
        return;
    }
    FUZZ_CHECK(number < kMaxLayers && before.shape[number].binds);
    FUZZ_CHECK((Shape{true, layer.Width(), layer.Height(), layer.Type()}) == before.shape[number]);
    const int width = layer.Width();
    std::vector<double> pattern(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        pattern[size_t(x)] = double(x % 100);
    const unsigned char user[16] = {16, 0, 0, 0, 1, 0, 0, 0, 'f', 'u', 'z', 'z', 0, 1, 2, 3};
    bool wroteRow = false, wroteTag = false;
    try {
        layer.MaxMinCount(nullptr);
        layer.StatsCalc();
        // The preview costs the same 40000 samples whatever the layer: not every time.
        static unsigned char previewBytes[80000];
        if (dice.Next(8) == 0)
            layer.RescaleToPreview(previewBytes);
        std::vector<double> row(static_cast<size_t>(width));
        layer.GetDoubleLine(layer.Height() - 1, row.data(), 1);
        const RECT rect{-1, 1, width, 2};
        layer.SetValue(COMPLEX_FLOAT64{1.5, -2.5}, &rect);
        layer.GetTag(201);
        char small[16];
        layer.GetTag(3, sizeof small, small);
        layer.SetLineFromDouble(0, pattern.data(), 1);
        wroteRow = true;
        wroteTag = layer.SetTag(300, sizeof user, user) == 1;
    } catch (plat::Exception* e) {
        e->Delete();
    }
    layer.CloseLayer();
    // The binding that reads back shares the view the check made.
    CRDPLayer view;
    g_now = ExpectWhole(file, before, &view);

    CRDPLayer again;
    try {
        FUZZ_CHECK(again.OpenLayerEx(file, number, 0) != nullptr);
        if (wroteRow) {
            std::vector<double> row(static_cast<size_t>(width));
            again.GetDoubleLine(0, row.data(), 1);
            FUZZ_CHECK(row == pattern);
        }
        if (wroteTag) {
            unsigned char back[16] = {};
            FUZZ_CHECK(again.GetTag(300, sizeof back, back) != nullptr);
            FUZZ_CHECK(std::memcmp(back + 4, user + 4, sizeof user - 4) == 0);
        }
    } catch (plat::Exception* e) {
        e->Delete();
        FUZZ_CHECK(!"a layer that bound no longer reads");
    }
    again.CloseLayer();
}

// ReadData from one layer of the file into another, through a writable binding.
void BetweenLayers(const char* file, const Snapshot& before, Dice& dice)
{
    fuzzsupport::g_step = "BetweenLayers";
    if (before.layers < 2)
        return;
    const int from = int(dice.Next(uint32_t(std::min(before.layers, kMaxLayers))));
    const int to = (from + 1) % std::min(before.layers, kMaxLayers);
    CRDPLayer src, dst;
    try {
        if (src.OpenLayerEx(file, from, 0) == nullptr || dst.OpenLayerEx(file, to, 1) == nullptr)
            return;
        dst.ReadData(&src, CPoint{0, 0}, CPoint{int(dice.Next(3)), 0}, CSize{-1, -1});
    } catch (plat::Exception* e) {
        e->Delete();
    }
    src.CloseLayer();
    dst.CloseLayer();
    g_now = ExpectWhole(file, before);
}

// Tags one way into a fresh file and the other way into the input.
void CopyTags(const Paths& p, const Snapshot& before, Dice& dice)
{
    fuzzsupport::g_step = "CopyTags";
    const int layer = int(dice.Next(uint32_t(std::min(std::max(before.layers, 1), kMaxLayers))));
    // The same bytes each time: what they hold is known.
    WriteFile(p.fresh, p.freshBytes.data(), p.freshBytes.size());
    const Snapshot& fresh = p.freshShape;

    if (CopyTag(p.fresh.c_str(), 0, p.file.c_str(), layer) > 0) {
        ExpectWhole(p.fresh.c_str(), fresh);
        std::vector<char> a, b;
        int n = 0;
        for (int t = GetNextNoReservedTag(p.file.c_str(), layer, 0); t != 0 && n < 16;
             t = GetNextNoReservedTag(p.file.c_str(), layer, t), ++n) {
            const int size = GetSizeTag(p.file.c_str(), layer, t);
            if (size < 4)
                continue;
            a.assign(size_t(size), 0);
            b.assign(size_t(size), 1);
            if (GetTag(p.file.c_str(), layer, t, size, a.data()) != 1)
                continue;
            FUZZ_CHECK(GetSizeTag(p.fresh.c_str(), 0, t) == size);
            FUZZ_CHECK(GetTag(p.fresh.c_str(), 0, t, size, b.data()) == 1);
            FUZZ_CHECK(std::memcmp(a.data() + 4, b.data() + 4, size_t(size) - 4) == 0);
        }
    }

    const unsigned char tag[24] = {24, 0, 0, 0, 1, 0, 0, 0, 'c', 'o', 'p', 'y'};
    FUZZ_CHECK(SetTag(p.fresh.c_str(), 0, 301 + int(dice.Next(3)), sizeof tag, tag) == 1);
    const std::vector<uint8_t> bytes = ReadFile(p.file);
    if (CopyTag(p.file.c_str(), layer, p.fresh.c_str(), 0) > 0)
        g_now = ExpectWhole(p.file.c_str(), before);
    else
        FUZZ_CHECK(ReadFile(p.file) == bytes);
}

// A layer appended and taken out again; a refused append changes nothing.
void AddAndDestroy(const char* file, const Snapshot& before, Dice& dice)
{
    fuzzsupport::g_step = "AddAndDestroy";
    const int width = 1 + int(dice.Next(40));
    const int height = 1 + int(dice.Next(6));
    const int type = 1 + int(dice.Next(16));
    const int flags = int(dice.Next(8));
    const std::vector<uint8_t> bytes = ReadFile(file);
    CRDPLayer added;
    void** rows = nullptr;
    try {
        rows = added.AddLayer(file, width, height, type, flags);
    } catch (plat::Exception* e) {
        e->Delete();
    }
    if (rows == nullptr) {
        FUZZ_CHECK(ReadFile(file) == bytes);
        return;
    }
    const int number = added.LayerNumber();
    FUZZ_CHECK(number == std::max(before.layers, 0) || (before.layers <= 0 && number == 0));
    try {
        added.CloseLayer();
    } catch (plat::Exception* e) {
        e->Delete();
        FUZZ_CHECK(!"closing an added layer threw");
    }
    if (before.layers <= 0) {
        g_now.reset();
        return;  // the input was no layer file: a new one replaced it
    }
    Snapshot grown = before;
    grown.layers = before.layers + 1;
    if (number < kMaxLayers)
        grown.shape[number] = Shape{true, width, height, type};
    fuzzsupport::g_step = "AddLayer";
    ExpectWhole(file, grown);

    CRDPLayer again;
    try {
        FUZZ_CHECK(again.OpenLayerEx(file, number, 1) != nullptr);
        again.DestroyLayer();
    } catch (plat::Exception* e) {
        e->Delete();
        FUZZ_CHECK(!"an added layer does not bind");
    }
    fuzzsupport::g_step = "DestroyLayer";
    g_now = ExpectWhole(file, before);
}

// Destroying a read-only binding only unbinds; a writable one takes the layer out.
void Destroy(const char* file, const Snapshot& before, Dice& dice)
{
    fuzzsupport::g_step = "Destroy";
    if (before.layers < 2)
        return;
    const int number = int(dice.Next(uint32_t(std::min(before.layers, kMaxLayers))));
    const bool writable = dice.Next(2) == 0;
    const std::vector<uint8_t> bytes = ReadFile(file);
    CRDPLayer layer;
    try {
        if (layer.OpenLayerEx(file, number, writable ? 1 : 0) == nullptr)
            return;
        layer.DestroyLayer();
    } catch (plat::Exception* e) {
        e->Delete();
    }
    FUZZ_CHECK(layer.IsEmpty());
    if (!writable) {
        FUZZ_CHECK(ReadFile(file) == bytes);
        return;
    }
    if (GetNumLayer(file) == before.layers) {
        FUZZ_CHECK(ReadFile(file) == bytes);  // refused
        return;
    }
    Snapshot shrunk;
    shrunk.layers = before.layers - 1;
    for (int i = 0, j = 0; i < kMaxLayers; ++i)
        if (i != number && j < kMaxLayers)
            shrunk.shape[j++] = before.shape[i];
    // A layer past the fourth moves into view unchecked.
    if (before.layers > kMaxLayers)
        shrunk.shape[kMaxLayers - 1] = Shape{};
    g_now = ExpectWhole(file, shrunk);
}

// With LAYER_FUZZ_SEEDS set to a folder, files of one to four layers of every
// kind, with user tags and a history, are written there to start a corpus from.
void WriteSeeds(const char* dir)
{
    static const int kTypes[] = {UINT8, SINT16, FLOAT32, FLOAT64, CFLOAT32, CFLOAT64, CSINT16, CUINT32};
    int n = 0;
    for (int layers = 1; layers <= 4; ++layers)
        for (int t = 0; t < 8; t += layers) {
            const std::string path = std::string(dir) + "/layers" + std::to_string(n++) + ".rdp";
            for (int k = 0; k < layers; ++k) {
                CRDPLayer l;
                const int type = kTypes[(t + k) % 8];
                void** rows = k == 0 ? l.CreateLayer(path.c_str(), 3 + k, 2, type, 1 | 4)
                                     : l.AddLayer(path.c_str(), 2, 1 + k, type, 1);
                if (rows == nullptr)
                    abort();
                std::vector<double> row(static_cast<size_t>(l.Width()));
                for (size_t x = 0; x < row.size(); ++x)
                    row[x] = double(x * 3 + size_t(k));
                l.SetLineFromDouble(0, row.data(), 1);
                l.CloseLayer();
            }
            const unsigned char tag[16] = {16, 0, 0, 0, 1, 0, 0, 0, 'u', 's', 'e', 'r'};
            SetTag(path.c_str(), 0, 300, sizeof tag, tag);
            if (t % 2 == 0)
                SaveRotateTransform(SPoint{1, 2}, 0.5, path, path);
        }
}

}  // namespace

// One thread: the inputs are far below what the parallel loops share out, and
// helper threads that ever ran make every unmapping interrupt their processors.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    plat::SetParallelThreadLimit(1);
    if (const char* dir = std::getenv("LAYER_FUZZ_SEEDS"))
        WriteSeeds(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Paths& p = Scratch();
    const char* file = p.file.c_str();
    WriteFile(p.file, data, size);
    Dice dice(data, size);

    const Snapshot before = Take(file);
    g_now = before;
    fuzzsupport::ReadFileLevel(file, before.layers, kMaxLayers);
    History(file, before, dice);
    for (int number = 0; number < kMaxLayers && number < before.layers; ++number) {
        if (!before.shape[number].binds)
            continue;
        Layer(file, number, before, dice);
    }
    BetweenLayers(file, before, dice);
    CopyTags(p, before, dice);
    switch (dice.Next(3)) {
    case 0:
        AddAndDestroy(file, before, dice);
        break;
    case 1:
        Destroy(file, before, dice);
        break;
    default:
        break;
    }
    // The file-level writer last: it appends to the file.
    if (before.layers > 0) {
        const Snapshot now = g_now ? *g_now : Take(file);
        const unsigned char tag[12] = {12, 0, 0, 0, 1, 0, 0, 0, 7, 7, 7, 7};
        fuzzsupport::g_step = "SetTag";
        if (SetTag(file, 0, 300, sizeof tag, tag) == 1)
            ExpectWhole(file, now);
    }
    return 0;
}
