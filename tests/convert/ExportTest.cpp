// The TIFF and raw exports: strip layouts and headers as tables, the grey scaling,
// the settings, files read back by tiffinfo, tiffdump, tiffcp, GDAL, ImageMagick,
// numpy and iconv, cancels at every progress report, and the options sheet.

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "ExportOptionsSheet.h"
#include "FakeMeter.h"
#include "ImpExpDispatch.h"
#include "ImportExportDlg.h"
#include "platform/dialogs/MessageBox.h"
#include "PumpUntil.h"
#include "jobs/MeterDialog.h"
#include "PalitraTag.h"
#include "ScopedEnvFolder.h"
#include "TempDir.h"
#include "TiffFixture.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "raw/RawExport.h"
#include "settings/SNRegKey.h"
#include "tiff/TiffExport.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t U16(const Bytes& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8;
}
std::uint32_t U32(const Bytes& b, std::size_t at)
{
    return U16(b, at) | U16(b, at + 2) << 16;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::vector<std::string> Listing(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Has(const std::string& s, const std::string& part)
{
    return s.find(part) != std::string::npos;
}

// A layer file of w x h samples of type with values that fit every type, and its
// samples as the layer holds them.
Bytes MakeLayer(const std::string& path, int w, int h, int type, int seed = 0)
{
    CRDPLayer layer;
    EXPECT_NE(layer.CreateLayer(path.c_str(), w, h, type, 7), nullptr);
    const bool complex = IsComplexType(type) != 0;
    const int base = complex ? (type == CFLOAT32 ? FLOAT32 : type == CFLOAT64 ? FLOAT64 : type - 10) : type;
    const bool sign = base == SINT8 || base == SINT16 || base == SINT32 || base == FLOAT32 || base == FLOAT64;
    const bool flt = base == FLOAT32 || base == FLOAT64;
    std::vector<double> row(std::size_t(w), 0.0);
    Bytes samples;
    for (int y = 0; y < h; ++y) {
        for (int part = 1; part <= (complex ? 2 : 1); ++part) {
            for (int x = 0; x < w; ++x) {
                const int v = (x * 37 + y * 101 + seed + part * 13) % 200;
                row[std::size_t(x)] = (sign ? v - 100 : v) + (flt ? 0.25 : 0.0);
            }
            layer.SetLineFromDouble(y, row.data(), unsigned(part));
        }
        const auto* p = static_cast<const unsigned char*>(layer.Rows()[y]);
        samples.insert(samples.end(), p, p + layer.RowSize());
    }
    layer.CloseLayer();
    return samples;
}

void SetPalette(const std::string& path, int len = kPalitraTagSize)
{
    PalitraTag pal;
    for (int i = 0; i < 256; ++i) {
        pal.entries[i][0] = static_cast<unsigned char>(i);
        pal.entries[i][1] = 0;
        pal.entries[i][2] = static_cast<unsigned char>(255 - i);
    }
    pal.entries[128][0] = 128;
    pal.entries[128][2] = 255;
    pal.length = len;
    ASSERT_TRUE(SetTag(path.c_str(), kPalitraTagNumber, len, &pal));
}

std::string Python(const std::string& args)
{
    return tifftest::Run("/usr/bin/python3 " + std::string(SUITE_SOURCE_DIR) + "/tests/convert/export_world.py " +
                         args);
}

const char* NumpyType(int type)
{
    static const char* names[] = {"",   "u1", "i1", "u2", "i2", "u4", "i4", "f4", "f8",
                                  "f4", "f8", "u1", "i1", "u2", "i2", "u4", "i4"};
    return names[type];
}

void StoreSetting(const std::string& key, const char* name, const char* value)
{
    CSNRegKey k;
    ASSERT_TRUE(k.Create(HKEY_CURRENT_USER, key.c_str()));
    k.SetStringValue(value, name);
}

std::string ReadSetting(const std::string& key, const char* name)
{
    CSNRegKey k;
    std::string v = "<none>";
    if (k.Open(HKEY_CURRENT_USER, key.c_str()))
        k.GetStringValue(v, name);
    return v;
}

class ExportTest : public ::testing::Test {
protected:
    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
    testsupport::TempDir m_dir;
};

}  // namespace

TEST(TiffStrips, LayoutTable)
{
    struct Case {
        std::uint32_t width;
        int bytes;
        std::uint32_t rows;  // expected rows per strip
    };
    const Case cases[] = {{1, 1, 64000}, {1000, 1, 64}, {640, 1, 100}, {100, 1, 640}, {3, 16, 1333},
                          {20000, 4, 1},  {16000, 4, 1},   {16001, 4, 1},   {64000, 1, 1}, {64001, 1, 1},
                          {20000, 16, 1}, {4000, 16, 1},   {7, 2, 4571}};
    for (const Case& c : cases) {
        const std::uint64_t b = std::uint64_t(c.width) * std::uint64_t(c.bytes);
        const std::uint32_t r = b > 64000 ? 1 : std::uint32_t(64000 / b);
        ASSERT_EQ(r, c.rows) << c.width << " x " << c.bytes;
        for (std::uint32_t h : {1u, r > 1 ? r - 1 : 1u, r, r + 1, 3 * r + 2}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(h) + " bytes " + std::to_string(c.bytes));
            const TiffStripLayout l = ComputeTiffStrips(c.width, h, c.bytes);
            EXPECT_EQ(l.rowBytes, b);
            EXPECT_EQ(l.rowsPerStrip, r);
            EXPECT_EQ(l.strips, (h + r - 1) / r);
            const std::uint32_t lastRows = h % r ? h % r : r;
            EXPECT_EQ(l.lastStripBytes, std::uint64_t(std::min(lastRows, h)) * b);
            EXPECT_EQ(std::uint64_t(l.strips - 1) * r * b + l.lastStripBytes, std::uint64_t(h) * b);
        }
    }
}

TEST(TiffExportHeader, LayoutsTable)
{
    struct Case {
        const char* what;
        int width, height, type, color;
        bool palette;
        std::uint32_t entries, dataStart, strips, bits, photometric, sampleFormat;
    };
    const Case cases[] = {
        {"1000x1000 grey", 1000, 1000, UINT8, 1, false, 10, 134, 16, 8, 1, 0},
        {"100x640 inline", 100, 640, UINT8, 1, false, 10, 134, 1, 8, 1, 0},
        {"float one row a strip", 20000, 3, FLOAT32, 2, false, 11, 146, 3, 32, 1, 3},
        {"palette", 1000, 1000, UINT8, 1, true, 11, 1682, 16, 8, 3, 0},
        {"palette own samples", 10, 10, UINT8, 2, true, 11, 1682, 1, 8, 3, 0},
        {"unsigned own", 10, 10, UINT16, 3, false, 10, 134, 1, 16, 1, 0},
        {"signed own", 10, 10, SINT16, 2, false, 11, 146, 1, 16, 1, 2},
        {"complex int", 10, 10, CSINT16, 2, false, 11, 146, 1, 32, 1, 5},
        {"complex float", 10, 10, CFLOAT64, 3, false, 11, 146, 1, 128, 1, 6},
        {"grey of float", 10, 10, FLOAT64, 1, false, 10, 134, 1, 8, 1, 0},
        {"palette ignored on float", 10, 10, FLOAT32, 1, true, 10, 134, 1, 8, 1, 0},
    };
    unsigned char palette[768];
    for (int i = 0; i < 256; ++i) {
        palette[3 * i] = static_cast<unsigned char>(i);
        palette[3 * i + 1] = 0;
        palette[3 * i + 2] = 255;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TiffExportHeader h;
        ASSERT_TRUE(BuildTiffExportHeader(c.width, c.height, c.type, c.color, c.palette ? palette : nullptr, h));
        const Bytes& b = h.bytes;
        EXPECT_EQ(b[0], 'I');
        EXPECT_EQ(U16(b, 2), 42u);
        EXPECT_EQ(U32(b, 4), 8u);
        ASSERT_EQ(U16(b, 8), c.entries);
        EXPECT_EQ(U32(b, 10 + 12 * c.entries), 0u);
        const std::uint32_t tags[] = {256, 257, 258, 259, 262, 273, 277, 278, 279, 284};
        for (std::uint32_t i = 0; i < 10; ++i)
            EXPECT_EQ(U16(b, 10 + 12 * i), tags[i]);
        EXPECT_EQ(U32(b, 10 + 8), std::uint32_t(c.width));
        EXPECT_EQ(U16(b, 34 + 8), c.bits);
        EXPECT_EQ(U16(b, 58 + 8), c.photometric);
        const std::uint32_t n = h.layout.strips;
        EXPECT_EQ(n, c.strips);
        EXPECT_EQ(U32(b, 70 + 4), n);
        if (n > 1) {
            EXPECT_EQ(U32(b, 106 + 8), c.dataStart);
            EXPECT_EQ(U32(b, 70 + 8), c.dataStart + 4 * n);
            EXPECT_EQ(b.size(), c.dataStart + 8 * n);
            EXPECT_EQ(U32(b, c.dataStart + 4 * n), c.dataStart + 8 * n);
        } else {
            EXPECT_EQ(U32(b, 70 + 8), c.dataStart);
            EXPECT_EQ(U32(b, 106 + 8), h.layout.lastStripBytes);
            EXPECT_EQ(b.size(), c.dataStart);
        }
        std::size_t at = 130;
        if (h.colorMap) {
            EXPECT_EQ(U16(b, at), 320u);
            EXPECT_EQ(U32(b, at + 4), 768u);
            EXPECT_EQ(U32(b, at + 8), 146u);
            EXPECT_EQ(U16(b, 146 + 2 * 128), 32896u);        // red 128
            EXPECT_EQ(U16(b, 146 + 512 + 2 * 128), 0u);      // green 0
            EXPECT_EQ(U16(b, 146 + 1024 + 2 * 128), 65535u); // blue 255
            at += 12;
        }
        if (c.sampleFormat) {
            EXPECT_EQ(U16(b, at), 339u);
            EXPECT_EQ(U16(b, at + 8), c.sampleFormat);
        }
    }
    // The Part's own example: 16 strips, tables at 134 and 198, rows from 262.
    TiffExportHeader h;
    ASSERT_TRUE(BuildTiffExportHeader(1000, 1000, UINT8, 1, nullptr, h));
    EXPECT_EQ(U32(h.bytes, 134), 64000u);
    EXPECT_EQ(U32(h.bytes, 134 + 60), 40000u);
    EXPECT_EQ(U32(h.bytes, 198), 262u);
    EXPECT_EQ(U32(h.bytes, 198 + 4), 262u + 64000u);
    EXPECT_EQ(U16(h.bytes, 94 + 8), 64u);

    // No TIFF form: unsigned complex own samples, files past 4 GiB, bad sizes.
    for (int type : {CUINT8, CUINT16, CUINT32})
        EXPECT_FALSE(BuildTiffExportHeader(4, 4, type, 2, nullptr, h)) << type;
    EXPECT_TRUE(BuildTiffExportHeader(4, 4, CUINT16, 1, nullptr, h));
    EXPECT_FALSE(BuildTiffExportHeader(70000, 70000, UINT8, 1, nullptr, h));
    EXPECT_FALSE(BuildTiffExportHeader(0, 4, UINT8, 1, nullptr, h));
}

TEST(TiffExportScale, GreyLevels)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double low = 0, high = 0;
    // Mean 100, deviation 10, range 50..200: the window is 80..120.
    TiffScaleWindow(50, 200, 100, 10, true, &low, &high);
    EXPECT_EQ(low, 80);
    EXPECT_EQ(high, 120);
    TiffScaleWindow(90, 110, 100, 10, true, &low, &high);
    EXPECT_EQ(low, 90);
    EXPECT_EQ(high, 110);
    TiffScaleWindow(50, 200, 100, 10, false, &low, &high);
    EXPECT_EQ(low, 50);
    EXPECT_EQ(high, 200);

    struct Case {
        double v, low, high;
        bool cut;
        int want;
    };
    const Case cases[] = {
        {79.9, 80, 120, true, 0},    {120.1, 80, 120, true, 255}, {100, 80, 120, true, 128},
        {80, 80, 120, true, 0},      {120, 80, 120, true, 255},   {nan, 80, 120, true, 0},
        {0.5, 0, 255, false, 0},     {1.5, 0, 255, false, 2},     {2.5, 0, 255, false, 2},
        {300, 0, 255, false, 255},   {-40, 0, 255, false, 0},     {nan, 0, 255, false, 0},
        {7, 7, 7, false, 0},         {7, 7, 7, true, 0},          {8, 7, 7, true, 255},
        {1e308, -1e308, 1e308, false, 255},
    };
    for (const Case& c : cases) {
        unsigned char out = 99;
        ScaleRowToBytes(&c.v, &out, 1, c.low, c.high, c.cut);
        EXPECT_EQ(int(out), c.want) << c.v << " in " << c.low << ".." << c.high << (c.cut ? " cut" : "");
    }
}

TEST_F(ExportTest, SettingsAsTheExportsReadThem)
{
    TiffExportJob job = ReadTiffExportSettings();
    EXPECT_EQ(job.color, 1);
    EXPECT_EQ(job.cut2Sigma, 0);
    EXPECT_EQ(ReadRawSaveInfo(), 1);
    struct Case {
        const char *color, *cut;
        int wantColor, wantCut;
    };
    const Case cases[] = {{"7", "1", 1, 1}, {"2", "0", 2, 0}, {"3", "yes", 3, 0}, {"", "1", 1, 1}};
    for (const Case& c : cases) {
        StoreSetting(TiffExportKey(), "Color", c.color);
        StoreSetting(TiffExportKey(), "Cut2Sigma", c.cut);
        job = ReadTiffExportSettings();
        EXPECT_EQ(job.color, c.wantColor) << c.color;
        EXPECT_EQ(job.cut2Sigma, c.wantCut) << c.cut;
    }
    for (auto [value, want] : {std::pair{"0", 0}, {"1", 1}, {"word", 1}}) {
        StoreSetting(RawExportKey(), "Save Info", value);
        EXPECT_EQ(ReadRawSaveInfo(), want) << value;
    }
}

TEST_F(ExportTest, TiffFilesReadByOutsideTools)
{
    struct Case {
        const char* name;
        int w, h, type, color;
        const char* gdalType;  // null: grey levels compared by their own rule
    };
    const Case cases[] = {
        {"u8", 300, 500, UINT8, 2, "Byte"},       {"u16", 70, 1000, UINT16, 2, "UInt16"},
        {"s16", 50, 40, SINT16, 2, "Int16"},      {"u32", 17, 9, UINT32, 3, "UInt32"},
        {"s32", 17, 9, SINT32, 2, "Int32"},       {"f32", 20000, 3, FLOAT32, 2, "Float32"},
        {"f64", 33, 7, FLOAT64, 2, "Float64"},    {"ci16", 21, 13, CSINT16, 2, "CInt16"},
        {"cf32", 21, 13, CFLOAT32, 2, "CFloat32"}, {"cf64", 5, 5, CFLOAT64, 2, "CFloat64"},
        {"grey", 1000, 1000, UINT16, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = m_dir.File(std::string(c.name) + ".rdp");
        const std::string out = m_dir.File(std::string(c.name) + ".tif");
        const Bytes samples = MakeLayer(in, c.w, c.h, c.type);
        TiffExportJob job{in, out, 0, c.color};
        std::string error;
        testsupport::FakeMeter meter;
        ASSERT_EQ(RunTiffExport(job, &meter, &error), 0) << error;
        EXPECT_EQ(meter.text, "Writing raster...");
        const std::string info = tifftest::Run("tiffinfo -D " + out);
        EXPECT_FALSE(Has(info, "Warning") || Has(info, "Error") || Has(info, "error")) << info;
        const std::string copy = tifftest::Run("tiffcp " + out + " " + out + ".copy.tif");
        EXPECT_TRUE(copy.empty()) << copy;
        std::remove((out + ".copy.tif").c_str());
        std::string expect = m_dir.File(std::string(c.name) + ".expect");
        int w = c.w;
        if (c.gdalType) {
            WriteFile(expect, samples);
            const std::string seen = Python(std::string("tiff ") + out + " " + expect + " " + NumpyType(c.type) +
                                            " " + std::to_string(w) + " " + std::to_string(c.h) +
                                            (IsComplexType(c.type) ? " complex" : ""));
            EXPECT_EQ(seen, std::string("same ") + c.gdalType + "\n");
        } else {
            // Grey levels of 0..199 stored in UINT16: (v - 0) / 199 x 255, half to even.
            Bytes grey;
            for (std::size_t i = 0; i < samples.size(); i += 2) {
                const double v = samples[i] | samples[i + 1] << 8;
                grey.push_back(static_cast<unsigned char>(std::nearbyint(v / 199.0 * 255.0)));
            }
            WriteFile(expect, grey);
            EXPECT_EQ(Python("tiff " + out + " " + expect + " u1 " + std::to_string(w) + " " + std::to_string(c.h)),
                      "same Byte\n");
            const std::string im = tifftest::Run("identify -format '%w %h %z' " + out);
            EXPECT_EQ(im, "1000 1000 8") << im;
            const std::string dump = tifftest::Run("tiffdump " + out);
            EXPECT_TRUE(Has(dump, "StripOffsets (273) LONG (4) 16<262 64262")) << dump;
            EXPECT_TRUE(Has(dump, "RowsPerStrip (278) SHORT (3) 1<64>")) << dump;
        }
    }
}

TEST_F(ExportTest, PaletteLayerTiffCarriesItsColourMap)
{
    const std::string in = m_dir.File("pal.rdp"), out = m_dir.File("pal.tif");
    const Bytes samples = MakeLayer(in, 64, 30, UINT8);
    SetPalette(in);
    std::string error;
    for (int color : {2, 1}) {
        SCOPED_TRACE(color);
        ASSERT_EQ(RunTiffExport(TiffExportJob{in, out, 0, color}, nullptr, &error), 0) << error;
        const Bytes b = ReadFile(out);
        ASSERT_EQ(U16(b, 8), 11u);
        EXPECT_EQ(U32(b, 70 + 8), 1682u);
        ASSERT_EQ(b.size(), 1682u + samples.size());
        if (color == 2)
            EXPECT_TRUE(std::equal(samples.begin(), samples.end(), b.begin() + 1682));
        else  // scaled bytes beside the map: 0..199 spread over 0..255
            EXPECT_EQ(b[1682 + 0], static_cast<unsigned char>(std::nearbyint(samples[0] / 199.0 * 255.0)));
        EXPECT_EQ(Python("cmap " + out), "0,0,255 128,0,255 255,0,0\n");
        EXPECT_EQ(tifftest::Run("identify -format '%w %h' " + out), "64 30");
        const std::string dump = tifftest::Run("tiffdump " + out);
        EXPECT_TRUE(Has(dump, "Colormap (320) SHORT (3) 768<")) << dump;
    }
    // A palette tag shorter than a whole palette counts as absent.
    const std::string shortIn = m_dir.File("short.rdp");
    MakeLayer(shortIn, 8, 8, UINT8);
    SetPalette(shortIn, 200);
    ASSERT_EQ(RunTiffExport(TiffExportJob{shortIn, out, 0, 1}, nullptr, &error), 0) << error;
    EXPECT_EQ(U16(ReadFile(out), 8), 10u);
}

TEST_F(ExportTest, RawFilesAndInfoReadByNumpyAndIconv)
{
    for (int type = 1; type <= 16; ++type) {
        SCOPED_TRACE(type);
        const std::string in = m_dir.File("t" + std::to_string(type) + ".rdp");
        const std::string out = m_dir.File("t" + std::to_string(type) + ".raw");
        const Bytes samples = MakeLayer(in, 10, 3, type, type);
        std::string error;
        ASSERT_EQ(RunRawExport(RawExportJob{in, out, type == 9}, nullptr, &error), 0) << error;
        EXPECT_EQ(ReadFile(out).size(), std::size_t(30 * GetDataTypeSize(type)));
        WriteFile(out + ".expect", samples);
        EXPECT_EQ(Python(std::string("raw ") + out + " " + out + ".expect " + NumpyType(type)), "same\n");
        EXPECT_EQ(::access(RawInfoName(out).c_str(), F_OK) == 0, type == 9);
    }
    // CFLOAT32 of width 10: 80 bytes a row; the info file in code page 1251.
    const std::string cf = m_dir.File("t9.raw");
    EXPECT_EQ(ReadFile(cf).size(), 240u);
    const std::string text = tifftest::Run("iconv -f cp1251 -t utf-8 " + RawInfoName(cf));
    EXPECT_EQ(text, RawInfoText(m_dir.File("t9.rdp"), cf, 10, 3, CFLOAT32));
    EXPECT_TRUE(Has(text, "Файл сгенерирован программой Tolvek VELMORA (TM)\n")) << text;
    EXPECT_TRUE(Has(text, "Ширина: 10\nВысота: 3\nТип данных: " + GetDataTypeName(CFLOAT32, 0) + "\n")) << text;
}

TEST(RawInfo, TextAndCodePage)
{
    const std::string text = RawInfoText("/d/100%s.rdp", "/d/out.raw", 3, 2, SINT16);
    EXPECT_EQ(text, "Файл сгенерирован программой Tolvek VELMORA (TM)\n"
                    "Преобразован файл /d/100%s.rdp из формата RDP\n"
                    "В файл /d/out.raw в формат RAW\n"
                    "Ширина: 3\nВысота: 2\nТип данных: " +
                        GetDataTypeName(SINT16, 0) + "\n");
    struct Case {
        const char* in;
        std::string want;
    };
    const Case cases[] = {
        {"abc", "abc"},
        {"Ширина", "\xd8\xe8\xf0\xe8\xed\xe0"},
        {"a\xe2\x82\xac" "b", "a\x88" "b"},        // euro sign is in the code page
        {"x\xe4\xb8\xad" "y", "x?y"},               // a CJK character is not
        {"\xf0\x9f\x98\x80!", "?!"},                // nor is an emoji
        {"bad\xff" "z", "bad?z"},                   // a byte that starts no character
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToCodePage1251(c.in), c.want) << c.in;
}

TEST_F(ExportTest, ThreeByTwoSignedIsTwelveBytes)
{
    const std::string in = m_dir.File("100% s16.rdp"), out = m_dir.File("s16.raw");
    MakeLayer(in, 3, 2, SINT16);
    std::string error;
    ASSERT_EQ(RunRawExport(RawExportJob{in, out, 1}, nullptr, &error), 0) << error;
    EXPECT_EQ(ReadFile(out).size(), 12u);
    const Bytes info = ReadFile(RawInfoName(out));
    const std::string infoText(info.begin(), info.end());
    EXPECT_EQ(infoText, ToCodePage1251(RawInfoText(in, out, 3, 2, SINT16)));
    EXPECT_TRUE(Has(infoText, "100% s16.rdp")) << infoText;
}

TEST_F(ExportTest, FailuresAndCancelsLeaveOldFilesAsTheyWere)
{
    // A small layer written row by row, and a large one written in several chunks.
    const std::string in = m_dir.File("in.rdp"), large = m_dir.File("large.rdp");
    MakeLayer(in, 300, 60, FLOAT32);
    MakeLayer(large, 1100, 1000, FLOAT32);
    const Bytes old = {'o', 'l', 'd'};
    struct Case {
        const char* what;
        bool tiff;
        int color;
        int saveInfo;
    };
    for (const Case& c : {Case{"tiff grey", true, 1, 0}, Case{"tiff own", true, 2, 0}, Case{"raw", false, 0, 0},
                          Case{"raw+info", false, 0, 1}}) {
        SCOPED_TRACE(c.what);
        const std::string out = m_dir.File(std::string("out_") + c.what);
        WriteFile(out, old);
        WriteFile(RawInfoName(out), old);
        auto run = [&](CMeterInfoBase* meter, std::string* error) {
            const std::string& source = c.color == 1 ? in : large;
            return c.tiff ? RunTiffExport(TiffExportJob{source, out, 1, c.color}, meter, error)
                          : RunRawExport(RawExportJob{source, out, c.saveInfo}, meter, error);
        };
        testsupport::FakeMeter full;
        std::string error;
        const std::vector<std::string> before = Listing(m_dir.Path());
        // A dry count of the reports of a whole run, on a copy that is then put back.
        ASSERT_EQ(run(&full, &error), 0) << error;
        const int reports = full.Reports();
        ASSERT_GT(reports, 2);
        for (int k = 1; k <= reports; ++k) {
            WriteFile(out, old);
            WriteFile(RawInfoName(out), old);
            testsupport::FakeMeter meter;
            meter.failAt = k;
            EXPECT_EQ(run(&meter, &error), -1) << k;
            EXPECT_EQ(error, "") << k;
            EXPECT_EQ(ReadFile(out), old) << k;
            EXPECT_EQ(ReadFile(RawInfoName(out)), old) << k;
            EXPECT_EQ(Listing(m_dir.Path()), before) << k;
        }
        // Another fault than a cancel says so.
        testsupport::FakeMeter broken;
        broken.failAt = reports - 1;
        broken.fault = testsupport::FakeMeter::Fault::BadAlloc;
        EXPECT_EQ(run(&broken, &error), -1);
        EXPECT_TRUE(Has(error, "Unknown Error")) << error;
        EXPECT_EQ(ReadFile(out), old);
    }
    // An input that is no layer file, an output that is the input, an output in no folder.
    std::string error;
    WriteFile(m_dir.File("junk.rdp"), old);
    EXPECT_EQ(RunTiffExport(TiffExportJob{m_dir.File("junk.rdp"), m_dir.File("j.tif"), 0, 1}, nullptr, &error), -1);
    EXPECT_EQ(error, "Unable to open file " + m_dir.File("junk.rdp"));
    EXPECT_EQ(RunRawExport(RawExportJob{m_dir.File("junk.rdp"), m_dir.File("j.raw"), 1}, nullptr, &error), -1);
    EXPECT_EQ(error, "Unable to open file " + m_dir.File("junk.rdp"));
    const Bytes inBytes = ReadFile(in);
    EXPECT_EQ(RunRawExport(RawExportJob{in, m_dir.Path() + "/./in.rdp", 0}, nullptr, &error), -1);
    EXPECT_TRUE(Has(error, "in.rdp")) << error;
    EXPECT_EQ(RunTiffExport(TiffExportJob{in, in, 0, 2}, nullptr, &error), -1);
    EXPECT_EQ(ReadFile(in), inBytes);
    EXPECT_EQ(RunTiffExport(TiffExportJob{in, m_dir.File("no/such.tif"), 0, 2}, nullptr, &error), -1);
    EXPECT_TRUE(Has(error, "Unable to create the output file")) << error;
    EXPECT_FALSE(Has(Listing(m_dir.Path())[0], ".part"));
    // Complex unsigned samples have no TIFF form: refused before anything is written.
    MakeLayer(m_dir.File("cu.rdp"), 4, 4, CUINT16);
    EXPECT_EQ(RunTiffExport(TiffExportJob{m_dir.File("cu.rdp"), m_dir.File("cu.tif"), 0, 2}, nullptr, &error), -1);
    EXPECT_TRUE(Has(error, "Unsupported data type")) << error;
    EXPECT_NE(::access(m_dir.File("cu.tif").c_str(), F_OK), 0);
}

TEST_F(ExportTest, ZeroWidthRangeWritesZero)
{
    const std::string in = m_dir.File("flat.rdp"), out = m_dir.File("flat.tif");
    {
        CRDPLayer layer;
        ASSERT_NE(layer.CreateLayer(in.c_str(), 5, 4, FLOAT32, 7), nullptr);
        layer.SetValue(3.5, nullptr);
        layer.CloseLayer();
    }
    std::string error;
    for (int cut : {0, 1}) {
        ASSERT_EQ(RunTiffExport(TiffExportJob{in, out, cut, 1}, nullptr, &error), 0) << error;
        const Bytes b = ReadFile(out);
        ASSERT_EQ(b.size(), 134u + 20u);
        EXPECT_TRUE(std::all_of(b.begin() + 134, b.end(), [](unsigned char v) { return v == 0; })) << cut;
    }
}

namespace {

// Runs the sheet modally; steps run inside its loop, the last one closes it.
int RunSheet(CImpExpPropSheet& sheet, std::function<void()> steps)
{
    QTimer::singleShot(0, sheet.Window(), [&sheet, steps] {
        steps();
        if (sheet.Window()->isVisible())
            sheet.Window()->reject();
    });
    return sheet.DoModal();
}

QAbstractButton* Button(CExportPage& page, unsigned id)
{
    return page.Window() ? page.Window()->ControlAs<QAbstractButton>(id) : nullptr;
}

}  // namespace

TEST_F(ExportTest, OptionsSheetReadsStoresAndCancels)
{
    // No key: the TIFF page shows grey scale without cut; the RAW page is not shown yet.
    {
        CImpExpPropSheet sheet("Advanced Options", nullptr, 0);
        EXPECT_EQ(sheet.Tabs()->count(), 2);
        EXPECT_EQ(sheet.Tabs()->tabText(0).toStdString(), "TIFF");
        EXPECT_EQ(sheet.Tabs()->tabText(1).toStdString(), "RAW");
        CTIFFSheet& tiff = sheet.TiffPage();
        EXPECT_TRUE(Button(tiff, CTIFFSheet::IDC_GRAY_SCALE)->isChecked());
        EXPECT_FALSE(Button(tiff, CTIFFSheet::IDC_CUT_2_SIGMA)->isChecked());
        EXPECT_FALSE(Button(tiff, CTIFFSheet::IDC_BY_BYTES)->isEnabled());
        EXPECT_FALSE(sheet.RawPage().Shown());
        // OK with only the TIFF page shown stores only its values.
        const int answer = RunSheet(sheet, [&] {
            Button(tiff, CTIFFSheet::IDC_ONE_SAMPLE)->click();
            Button(tiff, CTIFFSheet::IDC_CUT_2_SIGMA)->click();
            QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
            QApplication::sendEvent(sheet.Window(), &f1);
            EXPECT_TRUE(sheet.Window()->isVisible());
            sheet.OnOK();
        });
        EXPECT_EQ(answer, 1);
        EXPECT_EQ(ReadSetting(TiffExportKey(), "Color"), "2");
        EXPECT_EQ(ReadSetting(TiffExportKey(), "Cut2Sigma"), "1");
        EXPECT_EQ(ReadSetting(RawExportKey(), "Save Info"), "<none>");
    }
    // Stored values shown; Cancel stores nothing, whatever was changed.
    StoreSetting(RawExportKey(), "Save Info", "0");
    StoreSetting(TiffExportKey(), "Color", "7");
    {
        CImpExpPropSheet sheet("Advanced Options", nullptr, 0);
        EXPECT_TRUE(Button(sheet.TiffPage(), CTIFFSheet::IDC_GRAY_SCALE)->isChecked());
        EXPECT_TRUE(Button(sheet.TiffPage(), CTIFFSheet::IDC_CUT_2_SIGMA)->isChecked());
        const int answer = RunSheet(sheet, [&] {
            sheet.Tabs()->setCurrentIndex(1);
            EXPECT_TRUE(sheet.RawPage().Shown());
            EXPECT_FALSE(Button(sheet.RawPage(), CRawSheet::IDC_SAVE_INFO)->isChecked());
            Button(sheet.RawPage(), CRawSheet::IDC_SAVE_INFO)->click();
            Button(sheet.TiffPage(), CTIFFSheet::IDC_CUT_2_SIGMA)->click();
            sheet.Window()->reject();
        });
        EXPECT_EQ(answer, 2);
        EXPECT_EQ(ReadSetting(RawExportKey(), "Save Info"), "0");
        EXPECT_EQ(ReadSetting(TiffExportKey(), "Color"), "7");
        EXPECT_EQ(ReadSetting(TiffExportKey(), "Cut2Sigma"), "1");
    }
    // OK with both pages shown stores both.
    {
        CImpExpPropSheet sheet("Advanced Options", nullptr, 0);
        RunSheet(sheet, [&] {
            sheet.Tabs()->setCurrentIndex(1);
            Button(sheet.RawPage(), CRawSheet::IDC_SAVE_INFO)->click();
            Button(sheet.TiffPage(), CTIFFSheet::IDC_CUT_2_SIGMA)->click();
            const char* shots = std::getenv("SUITE_SHOT_DIR");
            if (shots)
                sheet.Window()->grab().save(QString::fromStdString(std::string(shots) + "/export_sheet_raw.png"));
            sheet.Tabs()->setCurrentIndex(0);
            if (shots)
                sheet.Window()->grab().save(QString::fromStdString(std::string(shots) + "/export_sheet_tiff.png"));
            sheet.OnOK();
        });
        EXPECT_EQ(ReadSetting(RawExportKey(), "Save Info"), "1");
        EXPECT_EQ(ReadSetting(TiffExportKey(), "Color"), "1");
        EXPECT_EQ(ReadSetting(TiffExportKey(), "Cut2Sigma"), "0");
    }
}

namespace {

plat::Dialog* MeterWindow(const std::string& title)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = dynamic_cast<plat::Dialog*>(w);
        if (d && d->isVisible() && d->windowTitle().toStdString() == title)
            return d;
    }
    return nullptr;
}

}  // namespace

TEST_F(ExportTest, ExportsRunAsJobsFromTheDispatcher)
{
    using namespace std::chrono_literals;
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    const std::string in = m_dir.File("in.rdp");
    const Bytes samples = MakeLayer(in, 40, 30, SINT16);
    StoreSetting(TiffExportKey(), "Color", "2");
    struct Case {
        int code;
        const char* ext;
        const char* title;
    };
    for (const Case& c : {Case{1, ".tif", "Export into TIFF: %s->%s"}, Case{0, ".raw", "Export into RAW: %s -> %s"}}) {
        SCOPED_TRACE(c.ext);
        const std::string out = m_dir.File(std::string("out") + c.ext);
        ASSERT_TRUE(DispatchConversion(7, c.code, in, out));
        char title[1024];
        std::snprintf(title, sizeof title, c.title, in.c_str(), out.c_str());
        plat::Dialog* meter = nullptr;
        ASSERT_TRUE(testsupport::PumpUntil(
            [&] {
                meter = MeterWindow(title);
                return meter && meter->Control(CMeterDialog::IDC_OK) &&
                       meter->Control(CMeterDialog::IDC_OK)->isVisible();
            },
            20s));
        EXPECT_FALSE(meter->Control(CMeterDialog::IDC_VIEW)->isVisible());
        qobject_cast<QAbstractButton*>(meter->Control(CMeterDialog::IDC_OK))->click();
        const Bytes b = ReadFile(out);
        ASSERT_GE(b.size(), samples.size());
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), b.end() - std::ptrdiff_t(samples.size())));
        EXPECT_TRUE(boxes.Calls().empty());
    }
    EXPECT_EQ(::access(RawInfoName(m_dir.File("out.raw")).c_str(), F_OK), 0);

    // A failure: the message names the file, the progress window goes, nothing is written.
    const std::string junk = m_dir.File("junk.rdp");
    WriteFile(junk, {'x'});
    for (const Case& c : {Case{1, ".tif", "Export into TIFF"}, Case{0, ".raw", "Export into RAW"}}) {
        const std::size_t before = boxes.Calls().size();
        ASSERT_TRUE(DispatchConversion(7, c.code, junk, m_dir.File(std::string("j") + c.ext)));
        ASSERT_TRUE(testsupport::PumpUntil([&] { return boxes.Calls().size() > before; }, 20s));
        EXPECT_EQ(boxes.Calls().back().text, "Unable to open file " + junk);
        EXPECT_EQ(boxes.Calls().back().caption, c.title);
        testsupport::PumpUntil([&] { return false; }, 100ms);
        EXPECT_EQ(::access(m_dir.File(std::string("j") + c.ext).c_str(), F_OK), -1);
    }
}

TEST_F(ExportTest, AdvancedOpensTheSheet)
{
    using namespace std::chrono_literals;
    auto* dlg = new CImportExportDlg;
    ASSERT_TRUE(dlg->Create(nullptr));
    plat::Dialog* wnd = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<plat::Dialog*>(w); d && d->isVisible() && d->Control(CImportExportDlg::IDC_ADVANCED))
            wnd = d;
    ASSERT_NE(wnd, nullptr);
    std::string seen;
    QTimer::singleShot(0, [&] {
        if (auto* sheet = dynamic_cast<QDialog*>(QApplication::activeModalWidget())) {
            seen = sheet->windowTitle().toStdString();
            sheet->reject();
        }
    });
    qobject_cast<QAbstractButton*>(wnd->Control(CImportExportDlg::IDC_ADVANCED))->click();
    EXPECT_EQ(seen, "Advanced Options");
    qobject_cast<QAbstractButton*>(wnd->Control(CImportExportDlg::IDC_CLOSE))->click();
    testsupport::PumpUntil([] { return false; }, 50ms);
}
