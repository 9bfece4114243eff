#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include "FakeMeter.h"
#include "platform/dialogs/MessageBox.h"
#include "PalitraTag.h"
#include "TempDir.h"
#include "TiffFixture.h"
#include "jobs/MeterInfo.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"
#include "files/OrderFile.h"
#include "tiff/TiffImport.h"

using tifftest::Bytes;
using tifftest::TiffBuilder;

namespace {

Bytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The folder's entries, hidden ones (temporaries) included.
std::vector<std::string> DirEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// A job for the window, checked as the dialog checks it.
TiffImportJob Job(const std::string& in, const std::string& out, int x, int y, int w, int h, bool separate = false)
{
    CTIFFReader reader(in);
    EXPECT_EQ(reader.ReadDirectory(), 0);
    EXPECT_EQ(reader.InterpretTags(), 1) << reader.Refusal();
    int bpp = 0;
    EXPECT_EQ(reader.CheckInput(&bpp), 0) << reader.Refusal();
    TiffImportJob job(in, out, reader);
    job.bytesPerPixel = bpp;
    job.separate = separate && bpp == 3;
    job.outBytesPerPixel = bpp == 3 ? (separate ? 3 : 4) : bpp;
    job.x = x;
    job.y = y;
    job.width = w;
    job.height = h;
    return job;
}

struct Layer {
    int width = 0, height = 0, type = 0;
    Bytes pixels;
};

Layer ReadLayer(const std::string& path)
{
    CRDPLayer layer;
    Layer out;
    if (layer.OpenLayer(path.c_str(), 0) == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return out;
    }
    out.width = layer.Width();
    out.height = layer.Height();
    out.type = layer.Type();
    out.pixels.assign(layer.Pixels(), layer.Pixels() + layer.TotalSize());
    layer.CloseLayer();
    return out;
}

// Image bytes: row r, byte i of the row.
Bytes Pattern(int w, int h, int bpp)
{
    Bytes out(std::size_t(w) * h * bpp);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<unsigned char>((i * 7 + i / 301) & 0xFF);
    return out;
}

// Strips of rows rows of an image's bytes, LZW-coded when lzw.
std::vector<Bytes> Strips(const Bytes& image, int w, int h, int bpp, int rows, bool lzw)
{
    std::vector<Bytes> out;
    const std::size_t rowBytes = std::size_t(w) * bpp;
    for (int top = 0; top < h; top += rows) {
        const int n = std::min(rows, h - top);
        Bytes s(image.begin() + std::ptrdiff_t(top * rowBytes), image.begin() + std::ptrdiff_t((top + n) * rowBytes));
        out.push_back(lzw ? tifftest::LzwEncode(s) : s);
    }
    return out;
}

// The window of an image's bytes.
Bytes Window(const Bytes& image, int w, int bpp, int x, int y, int ww, int wh)
{
    Bytes out;
    for (int r = y; r < y + wh; ++r) {
        const auto at = std::ptrdiff_t((std::size_t(r) * w + x) * bpp);
        out.insert(out.end(), image.begin() + at, image.begin() + at + std::ptrdiff_t(ww) * bpp);
    }
    return out;
}

}  // namespace

// An 8-bit window of a 300-pixel-wide image across strips, and 16-bit samples of
// either byte order, uncompressed and LZW, into window-sized layers.
TEST(TiffImport, WindowsAcrossStripsInEitherOrderAndCompression)
{
    testsupport::TempDir dir;
    struct Case {
        int bits;
        bool big;
        bool lzw;
        int rows;
        int x, y, w, h;
    };
    const std::vector<Case> cases = {
        {8, false, false, 7, 10, 20, 100, 50}, {8, true, true, 7, 10, 20, 100, 50},
        {8, false, true, 100, 0, 0, 300, 100}, {8, false, false, 1, 299, 99, 1, 1},
        {16, true, false, 9, 5, 3, 200, 60},   {16, true, true, 9, 5, 3, 200, 60},
        {16, false, true, 16, 0, 90, 300, 10}, {32, true, true, 32, 1, 1, 298, 98},
    };
    const int W = 300, H = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + (c.big ? " MM" : " II") + (c.lzw ? " LZW" : " none") + " rows " +
                     std::to_string(c.rows));
        const int bpp = c.bits / 8;
        const Bytes image = Pattern(W, H, bpp);  // as stored in the file
        TiffBuilder b(c.big);
        b.Image(W, H, {std::uint32_t(c.bits)}, c.lzw ? 5 : 1, 1, std::uint32_t(c.rows),
                Strips(image, W, H, bpp, c.rows, c.lzw));
        const std::string in = dir.File("in.tif"), out = dir.File("out.rdp");
        tifftest::WriteFile(in, b.Build());
        testsupport::FakeMeter meter;
        std::string error = "untouched";
        ASSERT_EQ(TIFFToRdp(Job(in, out, c.x, c.y, c.w, c.h), &meter, &error), 0) << error;
        EXPECT_EQ(error, "");
        const Layer layer = ReadLayer(out);
        EXPECT_EQ(layer.width, c.w);
        EXPECT_EQ(layer.height, c.h);
        EXPECT_EQ(layer.type, c.bits == 8 ? 1 : c.bits == 16 ? 3 : 5);
        Bytes expect = Window(image, W, bpp, c.x, c.y, c.w, c.h);
        if (c.big) {
            for (std::size_t i = 0; i < expect.size(); i += std::size_t(bpp))
                std::reverse(expect.begin() + std::ptrdiff_t(i), expect.begin() + std::ptrdiff_t(i) + bpp);
        }
        EXPECT_EQ(layer.pixels, expect);
    }
}

// A strip coded with more rows than RowsPerStrip gives reads only its own rows;
// one with fewer is damage, and no output is left.
TEST(TiffImport, LzwStripsArePlacedByRowsPerStrip)
{
    testsupport::TempDir dir;
    const int W = 40, H = 12, rows = 4;
    const Bytes image = Pattern(W, H, 1);
    for (int extra : {+3, -1}) {
        SCOPED_TRACE(extra);
        std::vector<Bytes> strips;
        for (int top = 0; top < H; top += rows) {
            Bytes s(image.begin() + top * W, image.begin() + (top + rows) * W);
            if (extra > 0)
                s.insert(s.end(), std::size_t(extra * W), 0xEE);
            else
                s.resize(s.size() - 1);
            strips.push_back(tifftest::LzwEncode(s));
        }
        TiffBuilder b;
        b.Image(W, H, {8}, 5, 1, rows, strips);
        const std::string in = dir.File("in.tif"), out = dir.File("out.rdp");
        tifftest::WriteFile(in, b.Build());
        std::string error;
        const int result = ImportTIFFFile(in, out, nullptr, &error);
        if (extra > 0) {
            ASSERT_EQ(result, 0) << error;
            EXPECT_EQ(ReadLayer(out).pixels, image);
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(error.rfind("Invalid format of the input file\nstrip 0", 0), 0u) << error;
            // The file of the earlier import stays as it was.
            EXPECT_EQ(ReadLayer(out).pixels, image);
            EXPECT_EQ(DirEntries(dir.Path()).size(), 2u);
        }
    }
}

// RGB: one UINT32 layer of R, G, B, 0, or three planes named after the output.
TEST(TiffImport, RgbAsOneLayerOrThreePlanes)
{
    testsupport::TempDir dir;
    const int W = 1000, H = 3;
    const Bytes image = Pattern(W, H, 3);
    TiffBuilder b(true);
    b.Image(W, H, {8, 8, 8}, 1, 2, 1, Strips(image, W, H, 3, 1, false));
    const std::string in = dir.File("rgb.tif");
    tifftest::WriteFile(in, b.Build());

    std::string error;
    ASSERT_EQ(ImportTIFFFile(in, dir.File("rgba.rdp"), nullptr, &error), 0) << error;
    const Layer rgba = ReadLayer(dir.File("rgba.rdp"));
    EXPECT_EQ(rgba.type, 5);
    Bytes expect;
    for (std::size_t i = 0; i < image.size(); i += 3)
        expect.insert(expect.end(), {image[i], image[i + 1], image[i + 2], 0});
    EXPECT_EQ(rgba.pixels, expect);

    struct Names {
        std::string output;
        std::vector<std::string> planes;
    };
    const std::vector<Names> names = {
        {dir.File("scene.rdp"), {dir.File("scene_R.rdp"), dir.File("scene_G.rdp"), dir.File("scene_B.rdp")}},
        {dir.File("scene"), {dir.File("scene_R"), dir.File("scene_G"), dir.File("scene_B")}},
        {dir.File("a.b/scene"), {dir.File("a.b/scene_R"), dir.File("a.b/scene_G"), dir.File("a.b/scene_B")}},
    };
    std::filesystem::create_directory(dir.File("a.b"));
    for (const Names& n : names) {
        SCOPED_TRACE(n.output);
        EXPECT_EQ(SeparatePlaneNames(n.output), n.planes);
        ASSERT_EQ(TIFFToRdp(Job(in, n.output, 100, 1, 900, 2, true), nullptr, &error), 0) << error;
        EXPECT_FALSE(Exists(n.output));
        for (int p = 0; p < 3; ++p) {
            const Layer plane = ReadLayer(n.planes[std::size_t(p)]);
            EXPECT_EQ(plane.type, 1);
            Bytes want;
            for (int r = 1; r < 3; ++r)
                for (int x = 100; x < 1000; ++x)
                    want.push_back(image[std::size_t((r * W + x) * 3 + p)]);
            EXPECT_EQ(plane.pixels, want) << p;
        }
    }
}

// The palette tag from the colour map's high bytes; entries past the map black;
// a map of more than 256 entries fills the 256.
TEST(TiffImport, PaletteFromTheColourMap)
{
    testsupport::TempDir dir;
    for (std::uint32_t entries : {16u, 300u}) {
        SCOPED_TRACE(entries);
        TiffBuilder b;
        b.Image(4, 2, {8}, 1, 3, 2, {Bytes{0, 1, 2, 3, 15, 14, 13, 12}});
        std::vector<std::uint32_t> map(entries * 3);
        for (std::uint32_t i = 0; i < entries; ++i) {
            map[i] = i == 0 ? 0xFF00 : (i * 0x0A0B) & 0xFFFF;
            map[entries + i] = 0x10FF;
            map[2 * entries + i] = (0xFFFF - i * 100) & 0xFFFF;
        }
        b.Add(320, 3, map);
        const std::string in = dir.File("pal.tif"), out = dir.File("pal.rdp");
        tifftest::WriteFile(in, b.Build());
        testsupport::FakeMeter meter;
        std::string error;
        ASSERT_EQ(ImportTIFFFile(in, out, &meter, &error), 0) << error;
        PalitraTag tag;
        ASSERT_EQ(GetTag(out.c_str(), 201, int(sizeof tag), &tag), 1);
        EXPECT_EQ(tag.length, 776);
        EXPECT_EQ(tag.flag, 1);
        EXPECT_EQ(tag.entries[0][0], 255);
        for (std::uint32_t i = 0; i < 256; ++i) {
            const bool mapped = i < entries;
            EXPECT_EQ(tag.entries[i][0], mapped ? map[i] >> 8 : 0u) << i;
            EXPECT_EQ(tag.entries[i][1], mapped ? 0x10u : 0u) << i;
            EXPECT_EQ(tag.entries[i][2], mapped ? map[2 * entries + i] >> 8 : 0u) << i;
        }
        EXPECT_EQ(meter.texts.back(), "Writing palette");
    }
}

// A failure or cancel at any point leaves no output: not the layer, not one of
// the three planes, no palette, no temporary; the files of an earlier import stay
// byte for byte; a cancel says nothing, damage says why.
TEST(TiffImport, FailureOrCancelLeavesNoOutput)
{
    testsupport::TempDir dir;
    const int W = 64, H = 64;
    const Bytes image = Pattern(W, H, 3);
    TiffBuilder rgb;
    rgb.Image(W, H, {8, 8, 8}, 1, 2, 8, Strips(image, W, H, 3, 8, false));
    const std::string rgbFile = dir.File("rgb.tif");
    tifftest::WriteFile(rgbFile, rgb.Build());
    TiffBuilder pal;
    pal.Image(W, H, {8}, 5, 3, 8, Strips(Pattern(W, H, 1), W, H, 1, 8, true));
    pal.Add(320, 3, std::vector<std::uint32_t>(768, 0x8000));
    const std::string palFile = dir.File("pal.tif");
    tifftest::WriteFile(palFile, pal.Build());

    // Count a clean run's reports, then fail at each of them in turn.
    for (bool planes : {false, true}) {
        SCOPED_TRACE(planes ? "planes" : "palette");
        const std::string in = planes ? rgbFile : palFile;
        const std::string out = dir.File("out.rdp");
        const std::vector<std::string> names = planes ? SeparatePlaneNames(out) : std::vector<std::string>{out};
        auto job = [&] { return Job(in, out, 0, 0, W, H, planes); };
        testsupport::FakeMeter clean;
        std::string error;
        ASSERT_EQ(TIFFToRdp(job(), &clean, &error), 0) << error;
        const int reports = clean.Reports();
        ASSERT_GT(reports, 3);
        std::vector<Bytes> kept;
        for (const std::string& name : names)
            kept.push_back(FileBytes(name));
        const std::vector<std::string> entries = DirEntries(dir.Path());
        for (int at = 1; at <= reports; at += std::max(1, reports / 12)) {
            for (auto fault : {testsupport::FakeMeter::Fault::Cancel, testsupport::FakeMeter::Fault::BadAlloc}) {
                testsupport::FakeMeter meter;
                meter.failAt = at;
                meter.fault = fault;
                error = "untouched";
                EXPECT_EQ(TIFFToRdp(job(), &meter, &error), -1) << at;
                if (fault == testsupport::FakeMeter::Fault::Cancel)
                    EXPECT_EQ(error, "") << at;
                else
                    EXPECT_EQ(error.rfind("Unknown Error", 0), 0u) << error;
                for (std::size_t i = 0; i < names.size(); ++i)
                    EXPECT_EQ(FileBytes(names[i]), kept[i]) << names[i] << " at " << at;
                EXPECT_EQ(DirEntries(dir.Path()), entries) << at;
            }
        }
    }
}

// A worker that imported nothing closes its progress window instead of offering View.
TEST(TiffImport, AFailedImportClosesItsProgressWindow)
{
    testsupport::TempDir dir;
    const int W = 8, H = 4;
    TiffBuilder grey;
    grey.Image(W, H, {8}, 1, 1, 8, Strips(Pattern(W, H, 1), W, H, 1, 8, false));
    const std::string in = dir.File("grey.tif");
    tifftest::WriteFile(in, grey.Build());
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const struct {
        std::string out;
        bool closes;
    } cases[] = {{dir.File("out.rdp"), false}, {dir.File("missing/out.rdp"), true}};
    for (const auto& c : cases) {
        CMeterInfo meter("test");
        meter.Create();
        TiffImportWorker(new TiffImportJob(Job(in, c.out, 0, 0, W, H)), &meter);
        EXPECT_EQ(meter.IsDeleteOnClose(), c.closes) << c.out;
        EXPECT_EQ(Exists(c.out), !c.closes) << c.out;
    }
    EXPECT_EQ(boxes.Calls().size(), 1u) << "the failure is told";
}

// Damage found while reading strips: 3098 with the reason, and nothing left.
TEST(TiffImport, DamagedStripsAreRefused)
{
    testsupport::TempDir dir;
    struct Case {
        const char* name;
        Bytes strip;
        const char* reason;
    };
    tifftest::BitWriter high, literal;
    high.Put(256, 9);
    high.Put(65, 9);
    high.Put(400, 9);
    literal.Put(256, 9);
    literal.Put(300, 9);
    Bytes truncated = tifftest::LzwEncode(Pattern(20, 4, 1));
    truncated.resize(truncated.size() / 2);
    const std::vector<Case> cases = {
        {"code out of range", high.Take(), "above the next free code"},
        {"first code not a literal", literal.Take(), "literal"},
        {"truncated strip", truncated, "past the end of the strip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBuilder b;
        b.Image(20, 4, {8}, 5, 1, 4, {c.strip});
        const std::string in = dir.File("bad.tif"), out = dir.File("bad.rdp");
        tifftest::WriteFile(in, b.Build());
        EXPECT_EQ(ProbeTIFFFile(in, nullptr), 1);
        std::string error;
        EXPECT_EQ(ImportTIFFFile(in, out, nullptr, &error), -1);
        EXPECT_EQ(error.rfind("Invalid format of the input file\n", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_FALSE(Exists(out));
    }
}

// A tiny LZW file that claims a large image is refused before any output is
// made; a damaged strip met while reading touches no pages of later strips.
TEST(TiffImport, StripsThatCannotFillTheImageAreRefusedEarly)
{
    testsupport::TempDir dir;
    {
        TiffBuilder b;
        b.Image(8000, 8000, {8}, 5, 1, 8000, {Bytes(10, 0x80)});
        const std::string in = dir.File("tiny.tif"), out = dir.File("tiny.rdp");
        tifftest::WriteFile(in, b.Build());
        std::string error;
        EXPECT_EQ(ImportTIFFFile(in, out, nullptr, &error), -1);
        EXPECT_EQ(error.rfind("Invalid format of the input file\n", 0), 0u) << error;
        EXPECT_NE(error.find("strip 0 holds 10 bytes"), std::string::npos) << error;
        EXPECT_FALSE(Exists(out));
    }
    // Uncompressed strips of one byte each, read by the strip reader as is.
    const int W = 4096, H = 4096, rows = 16;
    TiffBuilder b;
    b.Image(W, H, {8}, 1, 1, rows, std::vector<Bytes>(H / rows, Bytes(1, 7)));
    const std::string in = dir.File("short.tif");
    tifftest::WriteFile(in, b.Build());
    CTIFFReader reader(in);
    ASSERT_EQ(reader.ReadDirectory(), 0);
    ASSERT_EQ(reader.InterpretTags(), 1) << reader.Refusal();
    const std::size_t bytes = std::size_t(W) * H;
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    unsigned char* pixels[1] = {static_cast<unsigned char*>(memory)};
    COrderFile file;
    ASSERT_TRUE(file.Open(in.c_str(), plat::File::modeRead));
    bool damaged = false;
    try {
        reader.ReadStrips(&file, pixels, nullptr, 0, 0, W, H, 1, 1);
    } catch (CRDPExcept* e) {
        damaged = true;
        e->Delete();
    }
    EXPECT_TRUE(damaged);
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident((bytes + std::size_t(page) - 1) / std::size_t(page));
    ASSERT_EQ(::mincore(memory, bytes, resident.data()), 0);
    std::size_t touched = 0;
    for (unsigned char r : resident)
        touched += r & 1;
    // At most a strip per reading thread.
    EXPECT_LT(touched * std::size_t(page), bytes / 16) << touched << " pages";
    ::munmap(memory, bytes);
}

TEST(TiffImport, ProbeAndRefusalsOfTheDialogLessImport)
{
    testsupport::TempDir dir;
    TiffBuilder b;
    b.Image(7, 5, {8}, 1, 1, 5, {Bytes(35, 9)});
    const std::string good = dir.File("good.tif");
    tifftest::WriteFile(good, b.Build());
    ExternFileInfo info;
    info.description = "old";
    EXPECT_EQ(ProbeTIFFFile(good, &info), 1);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.formatName, "TIFF");
    EXPECT_EQ(info.description, "");
    EXPECT_EQ(ProbeTIFFFile(good, nullptr), 1);

    const std::string text = dir.File("text.tif");
    tifftest::WriteFile(text, Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    EXPECT_EQ(ProbeTIFFFile(text, &info), 0);
    EXPECT_EQ(ProbeTIFFFile(dir.File("missing.tif"), &info), 0);

    struct Case {
        std::string file;
        const char* text;
    };
    TiffBuilder deep;
    deep.Image(2, 2, {12}, 1, 1, 2, {Bytes(6)});
    tifftest::WriteFile(dir.File("deep.tif"), deep.Build());
    TiffBuilder packed;
    packed.Image(2, 2, {8}, 32773, 1, 2, {Bytes(6)});
    tifftest::WriteFile(dir.File("packed.tif"), packed.Build());
    const std::vector<Case> cases = {
        {text, "Invalid format of the input file"},
        {dir.File("missing.tif"), "Invalid format of the input file"},
        {dir.File("deep.tif"), "Unknown data type in the input file"},
        {dir.File("packed.tif"), "Unsupported data type"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(ImportTIFFFile(c.file, dir.File("o.rdp"), nullptr, &error), -1);
        EXPECT_EQ(error.rfind(c.text, 0), 0u) << error;
        EXPECT_FALSE(Exists(dir.File("o.rdp")));
    }
    // An output that cannot be made.
    std::string error;
    EXPECT_EQ(ImportTIFFFile(good, dir.File("no/such/folder.rdp"), nullptr, &error), -1);
    EXPECT_EQ(error.rfind("Unable to create the output file\n", 0), 0u) << error;
    EXPECT_NE(error.find(dir.File("no/such/folder.rdp")), std::string::npos) << error;
    // An output that is the input, through a link: refused, the input kept.
    const Bytes input = FileBytes(good);
    ASSERT_EQ(::symlink(good.c_str(), dir.File("link.rdp").c_str()), 0);
    EXPECT_EQ(ImportTIFFFile(good, dir.File("link.rdp"), nullptr, &error), -1);
    EXPECT_EQ(error, "The output file is an input of this conversion:\n" + dir.File("link.rdp") + "\n" + good);
    EXPECT_EQ(FileBytes(good), input);
}
