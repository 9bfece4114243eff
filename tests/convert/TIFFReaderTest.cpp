#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TiffFixture.h"
#include "files/OrderFile.h"
#include "tiff/TIFFReader.h"

using tifftest::Bytes;
using tifftest::TiffBuilder;

namespace {

struct Outcome {
    int directory = 0;    // ReadDirectory
    int interpreted = 1;  // InterpretTags
    int check = 0;        // CheckInput's string id
    int bytesPerPixel = 1;
};

Outcome Examine(const std::string& path, std::string* why = nullptr, CTIFFReader* out = nullptr)
{
    CTIFFReader reader(path);
    Outcome o;
    o.directory = reader.ReadDirectory();
    o.interpreted = reader.InterpretTags();
    o.check = -1;
    o.bytesPerPixel = 0;
    if (o.interpreted == 1)
        o.check = reader.CheckInput(&o.bytesPerPixel);
    if (why)
        *why = reader.Refusal();
    if (out)
        *out = reader;
    return o;
}

// A width x height image of the given samples, uncompressed, rowsPerStrip rows a strip.
Bytes Image(bool big, std::uint32_t w, std::uint32_t h, std::vector<std::uint32_t> bits, std::uint32_t compression = 1,
            std::uint32_t rows = 0, const std::function<void(TiffBuilder&)>& more = {})
{
    TiffBuilder b(big);
    std::uint32_t depth = 0;
    for (auto v : bits)
        depth += v;
    if (rows == 0)
        rows = h;
    std::vector<Bytes> strips;
    for (std::uint32_t top = 0; top < h; top += rows)
        strips.push_back(tifftest::Noise(std::size_t(w) * std::min(rows, h - top) * depth / 8, top));
    b.Image(w, h, bits, compression, bits.size() == 3 ? 2 : 1, rows, strips);
    if (more)
        more(b);
    return b.Build();
}

}  // namespace

TEST(TIFFReader, DirectoriesInEitherByteOrder)
{
    testsupport::TempDir dir;
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TiffBuilder b(big);
        b.Image(300, 70, {16}, 1, 1, 16, {Bytes(300 * 2 * 16), Bytes(9600), Bytes(9600), Bytes(9600), Bytes(3600)});
        // A colour map of 16-bit values out of line, and a field of each of types 6 to 12.
        std::vector<std::uint32_t> map;
        for (std::uint32_t i = 0; i < 3 * 4; ++i)
            map.push_back(0x0102 * (i + 1));
        b.Add(320, 3, map);
        for (std::uint16_t type = 6; type <= 12; ++type)
            b.Raw(std::uint16_t(40000 + type), type, 3, 8);
        const std::string path = dir.File(big ? "mm.tif" : "ii.tif");
        tifftest::WriteFile(path, b.Build());
        CTIFFReader r;
        std::string why;
        const Outcome o = Examine(path, &why, &r);
        ASSERT_EQ(o.interpreted, 1) << why;
        EXPECT_EQ(o.check, 0) << why;
        EXPECT_EQ(r.ByteOrder(), big ? 2 : 1);
        EXPECT_EQ(r.Width(), 300u);
        EXPECT_EQ(r.Height(), 70u);
        EXPECT_EQ(r.RowsPerStrip(), 16u);
        EXPECT_EQ(r.StripOffsets().size(), 5u);
        EXPECT_EQ(r.StripByteCounts()[4], 3600u);
        EXPECT_EQ(r.GetDepth(), 16);
        EXPECT_EQ(r.ColorMapEntries(), 4u);
        ASSERT_EQ(r.ColorMap().size(), 12u);
        EXPECT_EQ(r.ColorMap()[11], 0x0102 * 12);
        EXPECT_EQ(r.Directory().count, int(r.Directory().entries.size()));
    }
}

// Every refusal of the checks, each with its text's id and a reason.
TEST(TIFFReader, ChecksAcceptAndRefuseAsTheTableSays)
{
    testsupport::TempDir dir;
    struct Case {
        const char* name;
        std::function<Bytes()> make;
        Outcome expect;
        const char* reason;  // part of the refusal's reason
    };
    auto noStripCounts = [](int strips) {
        TiffBuilder b;
        b.Long(256, 10);
        b.Long(257, 4);
        b.Short(258, 8);
        b.Long(278, 4 / std::uint32_t(strips));
        std::vector<std::uint32_t> offsets;
        for (int i = 0; i < strips; ++i)
            offsets.push_back(b.Data(Bytes(40 / strips, 1)));
        b.Add(273, 4, offsets);
        return b.Build();
    };
    const std::vector<Case> cases = {
        {"8-bit grey", [] { return Image(false, 10, 4, {8}); }, {0, 1, 0, 1}, ""},
        {"one strip without 279", [&] { return noStripCounts(1); }, {0, 1, 0, 1}, ""},
        {"two strips without 279", [&] { return noStripCounts(2); }, {0, 0, -1, 0}, "without StripByteCounts"},
        {"8,8,8 uncompressed",
         [] {
             return Image(false, 10, 4, {8, 8, 8});
         },
         {0, 1, 0, 3},
         ""},
        {"8,8,8 LZW",
         [] {
             return Image(false, 10, 4, {8, 8, 8}, 5);
         },
         {0, 1, 3091, 3},
         "compressed"},
        {"depth 12", [] { return Image(false, 10, 4, {12}); }, {0, 1, 3099, 0}, "depth 12"},
        {"depth 40",
         [] {
             return Image(false, 10, 4, {8, 8, 8, 8, 8});
         },
         {0, 1, 3091, 5},
         "5 samples"},
        {"16-byte pixels",
         [] {
             return Image(false, 2, 2, {64, 64});
         },
         {0, 1, 3091, 16},
         "2 samples"},
        {"64-bit integer", [] { return Image(false, 2, 2, {64}); }, {0, 1, 3091, 8}, "sample format 1"},
        {"64-bit float",
         [] { return Image(false, 2, 2, {64}, 1, 0, [](TiffBuilder& b) { b.Short(339, 3); }); },
         {0, 1, 0, 8},
         ""},
        {"16-bit float",
         [] { return Image(false, 2, 2, {16}, 1, 0, [](TiffBuilder& b) { b.Short(339, 3); }); },
         {0, 1, 3091, 2},
         "sample format 3"},
        {"PackBits", [] { return Image(false, 10, 4, {8}, 32773); }, {0, 1, 3091, 1}, "compression 32773"},
        {"Deflate", [] { return Image(false, 10, 4, {8}, 8); }, {0, 1, 3091, 1}, "compression 8"},
        {"predictor 2",
         [] { return Image(false, 10, 4, {8}, 5, 0, [](TiffBuilder& b) { b.Short(317, 2); }); },
         {0, 1, 3091, 1},
         "predictor 2"},
        {"separate planes",
         [] {
             return Image(false, 10, 4, {8, 8, 8}, 1, 0, [](TiffBuilder& b) { b.Short(284, 2); });
         },
         {0, 1, 3091, 3},
         "planar"},
        {"separate plane of one sample",
         [] { return Image(false, 10, 4, {8}, 1, 0, [](TiffBuilder& b) { b.Short(284, 2); }); },
         {0, 1, 0, 1},
         ""},
        {"BigTIFF", [] { return Image(false, 10, 4, {8}); }, {-1, 0, -1, 0}, "BigTIFF"},
        {"no byte-order mark",
         [] {
             Bytes f = Image(false, 10, 4, {8});
             f[0] = 'X';
             return f;
         },
         {-1, 0, -1, 0},
         "II or MM"},
        {"directory past the end",
         [] {
             Bytes f = Image(false, 10, 4, {8});
             f[4] = 0xF0;
             f[5] = 0xFF;
             f[6] = 0xFF;
             return f;
         },
         {-1, 0, -1, 0},
         "outside the file"},
        {"entry count past the end",
         [] {
             TiffBuilder b;
             b.Long(256, 1);
             return b.Build(42, 0xFFFF);
         },
         {-1, 0, -1, 0},
         "past the end"},
        {"strip offset past the end",
         [] {
             TiffBuilder b;
             b.Image(10, 4, {8}, 1, 1, 4, {Bytes(40)});
             b.Raw(273, 4, 1, 0x7FFFFFF0);
             return b.Build();
         },
         {0, 0, -1, 0},
         "past the end"},
        {"strip counts that overflow 32 bits",
         [] {
             TiffBuilder b;
             b.Image(10, 4, {8}, 1, 1, 4, {Bytes(40)});
             b.Raw(279, 4, 1, 0xFFFFFFF0);
             return b.Build();
         },
         {0, 0, -1, 0},
         "past the end"},
        {"strip count array past the end",
         [] {
             TiffBuilder b;
             b.Image(10, 4, {8}, 1, 1, 1, {Bytes(10), Bytes(10), Bytes(10), Bytes(10)});
             b.Raw(279, 4, 0x40000000, 8);
             return b.Build();
         },
         {0, 0, -1, 0},
         "past the end"},
        {"offsets and counts disagree",
         [] {
             TiffBuilder b;
             b.Image(10, 4, {8}, 1, 1, 2, {Bytes(20), Bytes(20)});
             b.Add(279, 4, {20, 20, 20});
             return b.Build();
         },
         {0, 0, -1, 0},
         "strip byte counts"},
        {"strips do not cover the image",
         [] {
             TiffBuilder b;
             b.Image(10, 4, {8}, 1, 1, 1, {Bytes(10), Bytes(10)});
             return b.Build();
         },
         {0, 0, -1, 0},
         "strip offsets for 4 strips"},
        {"short uncompressed strip",
         [] {
             TiffBuilder b;
             b.Image(10, 4, {8}, 1, 1, 2, {Bytes(20), Bytes(19)});
             return b.Build();
         },
         {0, 1, 3098, 1},
         "strip 1 holds 19"},
        {"LZW strip that cannot expand to its rows",
         [] {
             TiffBuilder b;
             b.Image(46000, 46000, {8}, 5, 1, 46000, {Bytes(10, 0x80)});
             return b.Build();
         },
         {0, 1, 3098, 1},
         "strip 0 holds 10 bytes for 46000 rows"},
        {"LZW strip that can just expand to its rows",
         [] {
             TiffBuilder b;
             b.Image(4096, 8, {8}, 5, 1, 8, {Bytes(9, 0x80)});
             return b.Build();
         },
         {0, 1, 0, 1},
         ""},
        {"second LZW strip too short",
         [] {
             TiffBuilder b;
             b.Image(4096, 16, {8}, 5, 1, 8, {Bytes(9, 0x80), Bytes(8, 0x80)});
             return b.Build();
         },
         {0, 1, 3098, 1},
         "strip 1 holds 8 bytes"},
        {"RowsPerStrip 0",
         [] { return Image(false, 10, 4, {8}, 1, 0, [](TiffBuilder& b) { b.Long(278, 0); }); },
         {0, 0, -1, 0},
         "RowsPerStrip"},
        {"fewer BitsPerSample than samples",
         [] {
             return Image(false, 10, 4, {8, 8, 8}, 1, 0, [](TiffBuilder& b) { b.Add(258, 3, {8}); });
         },
         {0, 0, -1, 0},
         "BitsPerSample"},
        {"colour map not in threes",
         [] { return Image(false, 10, 4, {8}, 1, 0, [](TiffBuilder& b) {
                  b.Add(320, 3, {1, 2, 3, 4});
              }); },
         {0, 0, -1, 0},
         "three per entry"},
        {"colour map past the end",
         [] { return Image(false, 10, 4, {8}, 1, 0, [](TiffBuilder& b) { b.Raw(320, 3, 768, 0x7FFFFF00); }); },
         {0, 0, -1, 0},
         "past the end"},
        {"width as a rational",
         [] { return Image(false, 10, 4, {8}, 1, 0, [](TiffBuilder& b) { b.Raw(256, 5, 1, 8); }); },
         {0, 0, -1, 0},
         "field type 5"},
        {"no width",
         [] { return Image(false, 10, 4, {8}, 1, 0, [](TiffBuilder& b) { b.Long(256, 0); }); },
         {0, 0, -1, 0},
         "no width"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("case.tif");
        Bytes file = c.make();
        if (std::string(c.name) == "BigTIFF")
            file[2] = 43;  // II: version is little-endian
        tifftest::WriteFile(path, file);
        std::string why;
        const Outcome o = Examine(path, &why);
        EXPECT_EQ(o.directory, c.expect.directory);
        EXPECT_EQ(o.interpreted, c.expect.interpreted) << why;
        EXPECT_EQ(o.check, c.expect.check) << why;
        if (o.check != -1 && o.check != 3099) {
            EXPECT_EQ(o.bytesPerPixel, c.expect.bytesPerPixel);
        }
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
}

// Checking a reader that has not interpreted its tags refuses, reading nothing.
TEST(TIFFReader, CheckBeforeTheTagsAreReadRefuses)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("t.tif");
    tifftest::WriteFile(path, Image(false, 10, 4, {8}));
    CTIFFReader fresh(path);
    int bpp = -7;
    EXPECT_EQ(fresh.CheckInput(&bpp), 3098);
    EXPECT_NE(fresh.Refusal().find("not been interpreted"), std::string::npos) << fresh.Refusal();
    CTIFFReader directoryOnly(path);
    ASSERT_EQ(directoryOnly.ReadDirectory(), 0);
    EXPECT_EQ(directoryOnly.CheckInput(&bpp), 3098);
    ASSERT_EQ(directoryOnly.InterpretTags(), 1);
    EXPECT_EQ(directoryOnly.CheckInput(&bpp), 0) << directoryOnly.Refusal();
    EXPECT_EQ(bpp, 1);
}

TEST(TIFFReader, MissingFileAndLayerTypes)
{
    CTIFFReader missing("/nonexistent/none.tif");
    EXPECT_EQ(missing.ReadDirectory(), 1);
    EXPECT_EQ(missing.InterpretTags(), 0);

    testsupport::TempDir dir;
    struct Case {
        std::vector<std::uint32_t> bits;
        int format;  // 0: no tag
        int out;
        int type;
    };
    const std::vector<Case> cases = {
        {{8}, 0, 1, 1},    {{8}, 2, 1, 2},       {{16}, 1, 2, 3},      {{16}, 2, 2, 4},
        {{32}, 0, 4, 5},   {{32}, 2, 4, 6},      {{32}, 3, 4, 7},      {{64}, 3, 8, 8},
        {{8, 8}, 0, 2, 3}, {{8, 8, 8}, 0, 4, 5}, {{8, 8, 8}, 0, 3, 1}, {{16, 16}, 1, 4, 5},
    };
    for (const Case& c : cases) {
        const std::string path = dir.File("t.tif");
        tifftest::WriteFile(path, Image(false, 3, 2, c.bits, 1, 0, [&](TiffBuilder& b) {
                                if (c.format)
                                    b.Add(339, 3, std::vector<std::uint32_t>(c.bits.size(), std::uint32_t(c.format)));
                            }));
        CTIFFReader r;
        std::string why;
        const Outcome o = Examine(path, &why, &r);
        ASSERT_EQ(o.check, 0) << why;
        EXPECT_EQ(r.LayerType(c.out), c.type) << c.bits.size() << " x " << c.bits[0] << " format " << c.format;
    }
}

// Values in the value field or out of line, of each unsigned type, in either
// byte order; and an entry written back as 12 little-endian bytes.
TEST(TIFFReader, EntryValuesAndWrite)
{
    testsupport::TempDir dir;
    struct Case {
        std::uint16_t type;
        std::vector<std::uint32_t> values;
    };
    const std::vector<Case> cases = {
        {1, {7}},          {1, {1, 2, 3, 4}},     {1, {9, 8, 7, 6, 5}},
        {3, {0xBEEF}},     {3, {0x0102, 0xA0B0}}, {3, {1, 0xFFFF, 3}},
        {4, {0xDEADBEEF}}, {4, {1, 0x80000000}},
    };
    for (bool big : {false, true}) {
        TiffBuilder b(big);
        b.Image(2, 2, {8}, 1, 1, 2, {Bytes(4)});
        for (std::size_t i = 0; i < cases.size(); ++i)
            b.Add(std::uint16_t(50000 + i), cases[i].type, cases[i].values);
        const std::string path = dir.File("values.tif");
        tifftest::WriteFile(path, b.Build());
        CTIFFReader r(path);
        ASSERT_EQ(r.ReadDirectory(), 0);
        COrderFile file;
        ASSERT_TRUE(file.Open(path.c_str(), plat::File::modeRead));
        for (const TIFFDirEntry& e : r.Directory().entries) {
            if (e.tag < 50000)
                continue;
            const Case& c = cases[e.tag - 50000];
            SCOPED_TRACE(std::to_string(e.tag) + (big ? " MM" : " II"));
            std::vector<std::uint32_t> got;
            std::string why;
            ASSERT_TRUE(e.FetchValues(got, file, file.GetLength(), big ? 2 : 1, &why)) << why;
            EXPECT_EQ(got, c.values);
            if (c.values.size() == 1) {
                EXPECT_EQ(e.value, c.values[0]);
            }
        }
    }

    TIFFDirEntry e;
    e.Set(273, TIFF_LONG, 3, 0x01020304);
    const std::string out = dir.File("entry.bin");
    {
        plat::File f(out.c_str(), plat::File::modeCreate | plat::File::modeWrite);
        e.Write(f);
    }
    EXPECT_EQ(tifftest::ReadFile(out), (Bytes{0x11, 0x01, 4, 0, 3, 0, 0, 0, 4, 3, 2, 1}));
}
