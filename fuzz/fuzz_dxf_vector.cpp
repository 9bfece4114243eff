// Arbitrary bytes as a DXF text read into a layer of a vector overlay, in memory. A
// refusal changes nothing; an accepted text appends its points and two-vertex lines to
// that layer alone. What was read is written back through the DXF writer and read into a
// fresh overlay: the same entities, their coordinates as the writer's 6 digits give them,
// and writing and reading that again changes nothing more.
//
// With FUZZ_SEEDS set to a folder, the first run writes drawings of the writer there.

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "vector/VectorDXF.h"
#include "vector/VectorImage.h"

namespace {

struct Layer {
    plat::ColorRef colour = 0;
    std::vector<VectorVertex> points;
    std::vector<std::vector<VectorVertex>> lines;
};

bool SameVertex(const VectorVertex& a, const VectorVertex& b)
{
    return a.x == b.x && a.y == b.y;
}

bool SameLayer(const Layer& a, const Layer& b)
{
    if (a.colour != b.colour || a.points.size() != b.points.size() || a.lines.size() != b.lines.size())
        return false;
    for (std::size_t k = 0; k < a.points.size(); ++k)
        if (!SameVertex(a.points[k], b.points[k]))
            return false;
    for (std::size_t k = 0; k < a.lines.size(); ++k) {
        if (a.lines[k].size() != b.lines[k].size())
            return false;
        for (std::size_t j = 0; j < a.lines[k].size(); ++j)
            if (!SameVertex(a.lines[k][j], b.lines[k][j]))
                return false;
    }
    return true;
}

Layer Model(CVectorImage& image, int layer)
{
    Layer out;
    out.colour = image.GetColor(layer);
    for (const CVectorImage::Point* p = image.SetFirstPoint(layer); p; p = image.GetNextPoint())
        out.points.push_back({p->x, p->y});
    for (const CVectorImage::Line* l = image.SetFirstLine(layer); l; l = image.GetNextLine())
        out.lines.emplace_back(l->Vertices(), l->Vertices() + l->n);
    return out;
}

// A coordinate as the writer prints it (%g, 6 digits) and the reader takes it back.
float Printed(float v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, double(v), std::chars_format::general, 6);
    double d = 0.0;
    std::from_chars(buf, r.ptr, d);
    return float(d);
}

Layer PrintedLayer(const Layer& in, plat::ColorRef colour)
{
    Layer out;
    out.colour = colour;
    for (const VectorVertex& v : in.points)
        out.points.push_back({Printed(v.x), Printed(v.y)});
    // The writer gives a LINE per segment.
    for (const auto& line : in.lines)
        for (std::size_t j = 0; j + 1 < line.size(); ++j)
            out.lines.push_back({{Printed(line[j].x), Printed(line[j].y)}, {Printed(line[j + 1].x), Printed(line[j + 1].y)}});
    return out;
}

// An overlay of two layers; layer 0 holds a point and a three-vertex line.
void Prepare(CVectorImage& image)
{
    FUZZ_CHECK(image.Create("input.rdp", 4096) == 1);
    FUZZ_CHECK(image.AddLayer(0x0000FF) == 1);
    FUZZ_CHECK(image.AddLayer(0x00FF00) == 1);
    image.Add(0, CVectorImage::Point{1.5f, -2.0f, 0});
    CVectorImage::LineRecord line({{0.0f, 0.0f}, {10.0f, 5.0f}, {-3.25f, 7.0f}});
    image.Add(0, line.Get());
}

void WriteSeeds(const std::string& dir)
{
    CVectorImage image;
    Prepare(image);
    image.Add(1, CVectorImage::Point{123.456f, 7.0f, 0});
    CVectorImage::LineRecord line({{1e-3f, 2e5f}, {-4.0f, 0.5f}});
    image.Add(1, line.Get());
    const std::string all = VectorToDXFText(&image, 640, 480, -1);
    fuzzsupport::WriteFile(dir + "/drawing.dxf", all.data(), all.size());
    const std::string one = VectorToDXFText(&image, 640, 480, 1);
    fuzzsupport::WriteFile(dir + "/layer1.dxf", one.data(), one.size());
    std::string lf;
    for (char c : one)
        if (c != '\r')
            lf += c;
    fuzzsupport::WriteFile(dir + "/layer1_lf.dxf", lf.data(), lf.size());
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
    // An exact copy, so that a read past the text is a read past this block.
    const std::vector<char> bytes(data, data + size);
    const std::string_view text(bytes.data(), bytes.size());
    fuzzsupport::Dice dice(data, size);

    CVectorImage image;
    Prepare(image);
    const Layer before0 = Model(image, 0), before1 = Model(image, 1);
    const int used = image.GetUsedSize();
    // Mostly layer 1; now and then a layer the overlay lacks.
    const int pick = int(dice.Next(8));
    const int layer = pick == 0 ? 2 : pick == 1 ? -1 : 1;

    fuzzsupport::g_step = "read";
    std::string reason;
    const int ok = DXFTextToVector(&image, text, layer, &reason, "input.dxf");
    FUZZ_CHECK(SameLayer(Model(image, 0), before0));
    if (ok != 1) {
        FUZZ_CHECK(ok == 0);
        FUZZ_CHECK(!reason.empty());
        FUZZ_CHECK(image.GetUsedSize() == used);
        FUZZ_CHECK(SameLayer(Model(image, 1), before1));
        return 0;
    }
    FUZZ_CHECK(layer == 1);
    const Layer read = Model(image, 1);
    FUZZ_CHECK(read.colour == before1.colour);
    for (const auto& line : read.lines)
        FUZZ_CHECK(line.size() == 2);
    // Nothing was there before: the layer holds exactly what was read.
    FUZZ_CHECK(before1.points.empty() && before1.lines.empty());

    fuzzsupport::g_step = "write and read again";
    const std::string written = VectorToDXFText(&image, 100, 100, 1);
    CVectorImage again;
    FUZZ_CHECK(again.Create("again.rdp", 4096) == 1 && again.AddLayer(0x00FF00) == 1);
    std::string why;
    FUZZ_CHECK(DXFTextToVector(&again, written, 0, &why, "written.dxf") == 1);
    FUZZ_CHECK(why.empty());
    const Layer reread = Model(again, 0);
    FUZZ_CHECK(SameLayer(reread, PrintedLayer(read, 0x00FF00)));

    fuzzsupport::g_step = "write and read a third time";
    const std::string rewritten = VectorToDXFText(&again, 100, 100, 0);
    CVectorImage third;
    FUZZ_CHECK(third.Create("third.rdp", 4096) == 1 && third.AddLayer(0x00FF00) == 1);
    FUZZ_CHECK(DXFTextToVector(&third, rewritten, 0, &why, "rewritten.dxf") == 1);
    FUZZ_CHECK(why.empty());
    FUZZ_CHECK(SameLayer(Model(third, 0), reread));
    return 0;
}
