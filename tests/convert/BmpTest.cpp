// The bitmap import without windows: the header check against the file's length,
// the converters for every depth, row order, width and header version, the job
// on the conversion road, and bitmaps written by GDAL and ImageMagick.

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "FakeMeter.h"
#include "PalitraTag.h"
#include "TempDir.h"
#include "bmp/BmpFormat.h"
#include "bmp/BmpImport.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = static_cast<unsigned char>(v >> (8 * i));
}

void Put16(Bytes& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

struct BmpSpec {
    int bits = 24;
    int width = 3;
    int height = 2;  // negative: top-down
    std::uint32_t headerSize = 40;
    std::uint32_t compression = 0;
    std::uint32_t used = 0;
    std::uint32_t masks[3] = {0, 0, 0};
    int tableEntries = -1;  // -1: as used says (0: 256)
};

// The stored bytes of pixel x of image row y (top-down), the same for every build.
unsigned char PixelByte(int x, int y, int k)
{
    return static_cast<unsigned char>(x * 53 + y * 31 + k * 101 + 7);
}

Bytes BuildBmp(const BmpSpec& s)
{
    const int bpp = s.bits / 8;
    const int rows = s.height < 0 ? -s.height : s.height;
    const std::size_t rowBytes = std::size_t((s.width * bpp + 3) / 4 * 4);
    const bool maskAfter = s.compression == 3 && s.headerSize == 40;
    const int entries = s.bits == 8 ? (s.tableEntries >= 0 ? s.tableEntries : (s.used ? int(s.used) : 256)) : 0;
    const std::size_t table = 14 + s.headerSize + (maskAfter ? 12 : 0);
    const std::size_t offset = table + std::size_t(entries) * 4;
    Bytes b(offset + rowBytes * std::size_t(rows), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, std::uint32_t(b.size()));
    Put32(b, 10, std::uint32_t(offset));
    Put32(b, 14, s.headerSize);
    Put32(b, 18, std::uint32_t(s.width));
    Put32(b, 22, std::uint32_t(s.height));
    Put16(b, 26, 1);
    Put16(b, 28, std::uint16_t(s.bits));
    Put32(b, 30, s.compression);
    Put32(b, 46, s.used);
    if (s.compression == 3)
        for (int c = 0; c < 3; ++c)
            Put32(b, 54 + 4 * std::size_t(c), s.masks[c]);
    for (int k = 0; k < entries; ++k)
        for (int c = 0; c < 4; ++c)
            b[table + 4 * std::size_t(k) + std::size_t(c)] = static_cast<unsigned char>(k * 3 + c * 70 + 1);
    for (int y = 0; y < rows; ++y) {
        const int stored = s.height < 0 ? y : rows - 1 - y;
        for (int x = 0; x < s.width; ++x)
            for (int k = 0; k < bpp; ++k)
                b[offset + std::size_t(stored) * rowBytes + std::size_t(x * bpp + k)] = PixelByte(x, y, k);
    }
    return b;
}

// What the layers must hold at (x, y): red, green, blue (or the index in [0]).
void Expected(const BmpSpec& s, int x, int y, unsigned char out[3])
{
    const unsigned b0 = PixelByte(x, y, 0), b1 = PixelByte(x, y, 1), b2 = PixelByte(x, y, 2);
    if (s.bits == 8) {
        out[0] = static_cast<unsigned char>(b0);
        return;
    }
    if (s.bits == 24 || (s.bits == 32 && s.compression == 0)) {
        out[0] = static_cast<unsigned char>(b2);
        out[1] = static_cast<unsigned char>(b1);
        out[2] = static_cast<unsigned char>(b0);
        return;
    }
    if (s.bits == 32) {  // the masks of these tests: red, green, blue in bytes 0, 1, 2
        out[0] = static_cast<unsigned char>(b0);
        out[1] = static_cast<unsigned char>(b1);
        out[2] = static_cast<unsigned char>(b2);
        return;
    }
    const unsigned p = b0 | b1 << 8;
    if (s.compression == 3) {  // 5-6-5
        out[0] = static_cast<unsigned char>(p >> 11);
        out[1] = static_cast<unsigned char>((p >> 5) & 63);
        out[2] = static_cast<unsigned char>(p & 31);
    } else {
        out[0] = static_cast<unsigned char>((p >> 10) & 31);
        out[1] = static_cast<unsigned char>((p >> 5) & 31);
        out[2] = static_cast<unsigned char>(p & 31);
    }
}

void WriteFile(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

Bytes LayerBytes(const std::string& path, int* width = nullptr, int* height = nullptr)
{
    CRDPLayer layer;
    Bytes out;
    if (!layer.OpenLayer(path.c_str(), 0))
        return out;
    EXPECT_EQ(layer.Type(), UINT8);
    if (width)
        *width = layer.Width();
    if (height)
        *height = layer.Height();
    for (int y = 0; y < layer.Height(); ++y) {
        const auto* row = static_cast<const unsigned char*>(layer.Rows()[y]);
        out.insert(out.end(), row, row + layer.Width());
    }
    return out;
}

int Check(const Bytes& b)
{
    BmpInfo info;
    return CheckBmp(b.data(), std::int64_t(b.size()), std::int64_t(b.size()), &info);
}

BmpImportJob JobFor(const testsupport::TempDir& dir, const std::string& input, int bits)
{
    const std::vector<std::string> names = BmpChannelNames(dir.File("out.rdp"));
    return BmpImportJob{input, dir.File("out.rdp"), names[0], names[1], names[2], bits};
}

}  // namespace

TEST(BmpFormat, RefusedHeaders)
{
    struct Case {
        const char* name;
        Bytes bytes;
        int id;
    };
    auto with = [](BmpSpec s, auto change) {
        Bytes b = BuildBmp(s);
        change(b);
        return b;
    };
    BmpSpec pal8;
    pal8.bits = 8;
    BmpSpec mask16;
    mask16.bits = 16;
    mask16.compression = 3;
    mask16.masks[0] = 0xF800;
    mask16.masks[1] = 0x07E0;
    mask16.masks[2] = 0x001F;
    const Bytes good = BuildBmp(BmpSpec());
    const Bytes masked = BuildBmp(mask16);
    const std::vector<Case> cases = {
        {"good", good, 0},
        {"empty", {}, 3098},
        {"no BM", with(BmpSpec(), [](Bytes& b) { b[0] = 'X'; }), 3098},
        {"file header only", Bytes(good.begin(), good.begin() + 14), 3098},
        {"4 bits", with(BmpSpec(), [](Bytes& b) { Put16(b, 28, 4); }), 3091},
        {"1 bit", with(BmpSpec(), [](Bytes& b) { Put16(b, 28, 1); }), 3091},
        {"run-length", with(BmpSpec(), [](Bytes& b) { Put32(b, 30, 1); }), 3091},
        {"JPEG", with(BmpSpec(), [](Bytes& b) { Put32(b, 30, 4); }), 3091},
        {"12-byte header", with(BmpSpec(), [](Bytes& b) { Put32(b, 14, 12); }), 3091},
        {"header past the end", with(BmpSpec(), [](Bytes& b) { Put32(b, 14, 4000); }), 3098},
        {"width 0", with(BmpSpec(), [](Bytes& b) { Put32(b, 18, 0); }), 3098},
        {"width negative", with(BmpSpec(), [](Bytes& b) { Put32(b, 18, 0xFFFFFFFF); }), 3098},
        {"height 0", with(BmpSpec(), [](Bytes& b) { Put32(b, 22, 0); }), 3098},
        {"height -2^31", with(BmpSpec(), [](Bytes& b) { Put32(b, 22, 0x80000000u); }), 3098},
        {"huge width", with(BmpSpec(), [](Bytes& b) { Put32(b, 18, 0x7FFFFFFF); }), 3098},
        {"huge height", with(BmpSpec(), [](Bytes& b) { Put32(b, 22, 0x7FFFFFFF); }), 3098},
        {"huge width and height", with(BmpSpec(), [](Bytes& b) {
             Put16(b, 28, 32);
             Put32(b, 18, 0x7FFFFFFF);
             Put32(b, 22, 0x80000001u);
         }),
         3098},
        {"pixels past the end", with(BmpSpec(), [](Bytes& b) { Put32(b, 10, 0xFFFFFFF0u); }), 3098},
        {"one byte short", Bytes(good.begin(), good.end() - 1), 3098},
        {"colour table short", with(pal8, [](Bytes& b) { b.resize(54 + 1000); Put32(b, 10, 54); Put32(b, 22, 1); }),
         3098},
        {"masks past the end", Bytes(masked.begin(), masked.begin() + 60), 3098},
        {"masks inside", masked, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check(c.bytes), c.id);
    }
}

TEST(BmpFormat, KindTextsAndChannelNames)
{
    const std::pair<int, const char*> kinds[] = {{8, "8 bit, 256 Colors"},      {16, "16 bit, 65k High Color"},
                                                 {24, "24 bit, 16M True Color"}, {32, "32 bit, 16M True Color"},
                                                 {4, "undefined..."},            {0, "undefined..."}};
    for (const auto& [bits, text] : kinds)
        EXPECT_EQ(BmpKindText(bits), text);
    const std::pair<std::string, std::string> names[] = {
        {"/d/scene.rdp", "/d/scene_R.rdp"}, {"/d.x/scene", "/d.x/scene_R"}, {"scene", "scene_R"},
        {"/d/a.b.c", "/d/a.b_R.c"},         {"a.rdp", "a_R.rdp"},
    };
    for (const auto& [output, red] : names) {
        const std::vector<std::string> got = BmpChannelNames(output);
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0], red);
        std::string green = red, blue = red;
        green[red.rfind("_R") + 1] = 'G';
        blue[red.rfind("_R") + 1] = 'B';
        EXPECT_EQ(got[1], green);
        EXPECT_EQ(got[2], blue);
    }
}

TEST(BmpImport, EveryDepthOrderWidthAndHeader)
{
    testsupport::TempDir dir;
    std::vector<BmpSpec> specs;
    for (int bits : {8, 16, 24, 32})
        for (int order : {1, -1})
            for (int width = 1; width <= 5; ++width)
                for (std::uint32_t header : {40u, 108u, 124u}) {
                    BmpSpec s;
                    s.bits = bits;
                    s.width = width;
                    s.height = 3 * order;
                    s.headerSize = header;
                    specs.push_back(s);
                }
    // Bit fields: 5-6-5 and 32-bit channels in other bytes, after a 40-byte header and inside a V5 one.
    for (std::uint32_t header : {40u, 124u}) {
        BmpSpec s565;
        s565.bits = 16;
        s565.compression = 3;
        s565.headerSize = header;
        s565.masks[0] = 0xF800;
        s565.masks[1] = 0x07E0;
        s565.masks[2] = 0x001F;
        specs.push_back(s565);
        BmpSpec s32 = s565;
        s32.bits = 32;
        s32.masks[0] = 0x0000FF;
        s32.masks[1] = 0x00FF00;
        s32.masks[2] = 0xFF0000;
        specs.push_back(s32);
    }
    for (const BmpSpec& s : specs) {
        SCOPED_TRACE(std::to_string(s.bits) + " bits, width " + std::to_string(s.width) + ", height " +
                     std::to_string(s.height) + ", header " + std::to_string(s.headerSize) + ", compression " +
                     std::to_string(s.compression));
        const Bytes file = BuildBmp(s);
        ASSERT_EQ(Check(file), 0);
        const Bytes shorter(file.begin(), file.end() - 1);
        EXPECT_EQ(Check(shorter), 3098);
        const std::string in = dir.File("in.bmp");
        WriteFile(in, file);
        const BmpImportJob job = JobFor(dir, in, s.bits);
        testsupport::FakeMeter meter;
        std::string error;
        ASSERT_EQ(BmpToRdp(job, &meter, &error), 0) << error;
        const int rows = s.height < 0 ? -s.height : s.height;
        EXPECT_EQ(meter.text, "Writing raster");
        EXPECT_EQ(meter.positions.size(), std::size_t(rows));
        const std::vector<std::string> names = BmpOutputNames(job);
        ASSERT_EQ(names.size(), s.bits == 8 ? 1u : 3u);
        for (std::size_t c = 0; c < names.size(); ++c) {
            int w = 0, h = 0;
            const Bytes got = LayerBytes(names[c], &w, &h);
            EXPECT_EQ(w, s.width);
            EXPECT_EQ(h, rows);
            Bytes want;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < s.width; ++x) {
                    unsigned char px[3];
                    Expected(s, x, y, px);
                    want.push_back(px[c]);
                }
            EXPECT_EQ(got, want) << "channel " << c;
        }
        if (s.bits != 8)
            EXPECT_FALSE(Exists(dir.File("out.rdp")));
        for (const std::string& name : names)
            ::unlink(name.c_str());
        // A file cut by one byte is refused by the job too, and nothing is written.
        WriteFile(in, shorter);
        EXPECT_EQ(BmpToRdp(job, nullptr, &error), -1);
        EXPECT_EQ(error, "Invalid format of the input file\n" + in);
        for (const std::string& name : names)
            EXPECT_FALSE(Exists(name));
    }
}

TEST(BmpImport, SixteenBitPixelsAndPalettes)
{
    testsupport::TempDir dir;
    // 0x7FFF gives 31, 31, 31; 0x001F blue 31 only; bit 15 is ignored.
    Bytes file = BuildBmp([] {
        BmpSpec s;
        s.bits = 16;
        s.width = 3;
        s.height = 1;
        return s;
    }());
    const std::size_t at = file.size() - 8;
    Put16(file, at, 0x7FFF);
    Put16(file, at + 2, 0x001F);
    Put16(file, at + 4, 0x8000 | (1 << 10) | (2 << 5) | 3);
    const std::string in = dir.File("p16.bmp");
    WriteFile(in, file);
    const BmpImportJob job = JobFor(dir, in, 16);
    std::string error;
    ASSERT_EQ(BmpToRdp(job, nullptr, &error), 0) << error;
    EXPECT_EQ(LayerBytes(job.red), (Bytes{31, 0, 1}));
    EXPECT_EQ(LayerBytes(job.green), (Bytes{31, 0, 2}));
    EXPECT_EQ(LayerBytes(job.blue), (Bytes{31, 31, 3}));

    struct Case {
        std::uint32_t used;
        int entries;  // in the file
        int filled;   // palette entries from the file
    };
    for (const Case& c : {Case{16, 16, 16}, Case{0, 256, 256}, Case{300, 300, 256}, Case{1, 1, 1}}) {
        SCOPED_TRACE("colours used " + std::to_string(c.used));
        BmpSpec s;
        s.bits = 8;
        s.width = 5;
        s.height = 2;
        s.used = c.used;
        s.tableEntries = c.entries;
        const Bytes bmp = BuildBmp(s);
        WriteFile(in, bmp);
        const BmpImportJob pal = JobFor(dir, in, 8);
        ASSERT_EQ(BmpToRdp(pal, nullptr, &error), 0) << error;
        PalitraTag tag;
        ASSERT_EQ(GetTag(pal.output.c_str(), kPalitraTagNumber, int(sizeof tag), &tag), 1);
        EXPECT_EQ(tag.length, kPalitraTagSize);
        EXPECT_EQ(tag.flag, 1);
        for (int k = 0; k < 256; ++k) {
            const std::size_t e = 54 + 4 * std::size_t(k);
            const unsigned char want[3] = {k < c.filled ? bmp[e + 2] : (unsigned char)0,
                                           k < c.filled ? bmp[e + 1] : (unsigned char)0,
                                           k < c.filled ? bmp[e] : (unsigned char)0};
            ASSERT_EQ(std::memcmp(tag.entries[k], want, 3), 0) << k;
        }
    }
}

TEST(BmpImport, CancelOrFailureLeavesTheOldFiles)
{
    testsupport::TempDir dir;
    BmpSpec s;
    s.width = 4;
    s.height = 3;
    const std::string in = dir.File("in.bmp");
    WriteFile(in, BuildBmp(s));
    const BmpImportJob job = JobFor(dir, in, 24);
    for (const std::string& name : BmpOutputNames(job))
        std::ofstream(name) << "old " << name;
    for (int fail = 1; fail <= 3; ++fail) {
        SCOPED_TRACE("cancel at report " + std::to_string(fail));
        testsupport::FakeMeter meter;
        meter.failAt = fail;
        std::string error = "x";
        EXPECT_EQ(BmpToRdp(job, &meter, &error), -1);
        EXPECT_EQ(error, "");
        for (const std::string& name : BmpOutputNames(job))
            EXPECT_EQ(ReadAll(name), "old " + name);
    }
    struct Case {
        const char* name;
        BmpImportJob job;
        std::string error;
    };
    BmpImportJob changed = job;
    changed.bitCount = 8;  // the file is no longer what the dialog saw
    BmpImportJob missing = job;
    missing.input = dir.File("none.bmp");
    BmpImportJob overInput = job;
    overInput.green = dir.Path() + "/./in.bmp";
    BmpImportJob twice = job;
    twice.blue = job.red;
    const std::vector<Case> cases = {
        {"changed", changed, "Invalid format of the input file\n" + in},
        {"missing", missing, "Unable to open file" + missing.input},
        {"over its input", overInput, ""},
        {"two channels in one file", twice, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_EQ(BmpToRdp(c.job, nullptr, &error), -1);
        if (c.error.empty())
            EXPECT_NE(error, "");
        else
            EXPECT_EQ(error, c.error);
        for (const std::string& name : BmpOutputNames(job))
            EXPECT_EQ(ReadAll(name), "old " + name);
        EXPECT_EQ(ReadAll(in).size(), BuildBmp(s).size());
    }
}

TEST(BmpWorld, BitmapsOfGdalAndImageMagick)
{
    testsupport::TempDir dir;
    const std::string script = std::string(SUITE_SOURCE_DIR) + "/tests/convert/bmp_world.py";
    std::istringstream lines(testsupport::CommandOutput("/usr/bin/python3 " + script + " make " + dir.Path()));
    std::string name, kind;
    int files = 0;
    while (lines >> name >> kind) {
        SCOPED_TRACE(name);
        ++files;
        const std::string in = dir.File(name);
        const std::string exp = ReadAll(in + ".exp");
        BmpInfo info;
        const std::string head = ReadAll(in);
        ASSERT_EQ(CheckBmp(reinterpret_cast<const unsigned char*>(head.data()), std::int64_t(head.size()),
                           std::int64_t(head.size()), &info),
                  0);
        const std::vector<std::string> names = BmpChannelNames(dir.File(name + ".rdp"));
        const BmpImportJob job{in, dir.File(name + ".rdp"), names[0], names[1], names[2], info.bitCount};
        std::string error;
        ASSERT_EQ(BmpToRdp(job, nullptr, &error), 0) << error;
        const std::size_t plane = std::size_t(info.width) * std::size_t(info.height);
        if (kind == "rgb") {
            ASSERT_EQ(exp.size(), 3 * plane);
            for (int c = 0; c < 3; ++c) {
                const Bytes got = LayerBytes(BmpOutputNames(job)[std::size_t(c)]);
                EXPECT_EQ(std::string(got.begin(), got.end()), exp.substr(std::size_t(c) * plane, plane)) << c;
            }
            continue;
        }
        ASSERT_EQ(info.bitCount, 8);
        const Bytes index = LayerBytes(job.output);
        PalitraTag tag;
        ASSERT_EQ(GetTag(job.output.c_str(), kPalitraTagNumber, int(sizeof tag), &tag), 1);
        if (kind == "pal") {
            ASSERT_EQ(exp.size(), plane + 768);
            EXPECT_EQ(std::string(index.begin(), index.end()), exp.substr(0, plane));
            EXPECT_EQ(std::memcmp(tag.entries, exp.data() + plane, 768), 0);
        } else {
            ASSERT_EQ(exp.size(), 3 * plane);
            for (std::size_t i = 0; i < plane; ++i)
                for (std::size_t c = 0; c < 3; ++c)
                    ASSERT_EQ(tag.entries[index[i]][c], static_cast<unsigned char>(exp[c * plane + i])) << i;
        }
    }
    EXPECT_EQ(files, 9);
}
