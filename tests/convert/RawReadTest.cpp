// ReadToRdp: windows of described binary rasters copied into raster layer files,
// against a reading of the same bytes made here sample by sample.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FakeMeter.h"
#include "platform/dialogs/MessageBox.h"
#include "TempDir.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "raw/ImportParams.h"

namespace {

using Bytes = std::vector<unsigned char>;

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A file of n bytes, each a function of its offset.
Bytes Pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i * 131 + (i >> 8) * 17 + 7) & 0xFF);
    return b;
}

ImportParams Describe(const std::string& file, int type, int components, int order, int header, int prefix,
                      int ppr, int padding)
{
    ImportParams p;
    p.dataFile = file;
    p.componentType = type;
    p.components = components;
    p.componentSize = GetDataTypeSize(type);
    p.byteOrder = order;
    p.headerSize = header;
    p.prefixSize = prefix;
    p.pixelsPerRecord = ppr;
    p.recordLength = prefix + ppr * p.componentSize * components + padding;
    return p;
}

// What the layer must hold: each window pixel's components from the file, reversed
// for order 2; components the file lacks (even in part) are 0.
Bytes Expected(const Bytes& file, const ImportParams& p)
{
    const int pixel = p.components * p.componentSize;
    const int w = p.windowWidth / p.step, h = p.windowHeight / p.step;
    Bytes out;
    for (std::int64_t r = 0; r < h; ++r)
        for (std::int64_t j = 0; j < w; ++j) {
            const std::int64_t at = std::int64_t(p.headerSize) + (p.windowY + r * p.step) * p.recordLength +
                                    p.prefixSize + (p.windowX + j * p.step) * std::int64_t(pixel);
            for (int c = 0; c < p.components; ++c) {
                const std::int64_t o = at + c * p.componentSize;
                Bytes comp(std::size_t(p.componentSize), 0);
                if (o + p.componentSize <= std::int64_t(file.size()))
                    std::memcpy(comp.data(), file.data() + o, comp.size());
                if (p.byteOrder == 2)
                    std::reverse(comp.begin(), comp.end());
                out.insert(out.end(), comp.begin(), comp.end());
            }
        }
    return out;
}

Bytes LayerBytes(const std::string& path, int* width, int* height, int* type)
{
    CRDPLayer layer;
    if (layer.OpenLayer(path.c_str(), 0) == nullptr)
        return {};
    *width = layer.Width();
    *height = layer.Height();
    *type = layer.Type();
    const unsigned char* p = layer.Pixels();
    return Bytes(p, p + layer.TotalSize());
}

class RawReadTest : public ::testing::Test {
protected:
    testsupport::TempDir m_dir;
};

}  // namespace

TEST_F(RawReadTest, WindowsOfEveryTypeOrderKindPrefixAndStep)
{
    struct Window {
        int x, y, w, h;
    };
    const int ppr = 11, records = 9, header = 84;
    for (int type = UINT8; type <= FLOAT64; ++type)
        for (int components : {1, 2}) {
            if (components == 2 && GetComplexType(type, 2) == 0)
                continue;
            for (int order : {1, 2})
                for (int prefix : {0, 12})
                    for (const Window& win : {Window{0, 0, ppr, records}, Window{3, 2, 7, 6}})
                        for (int step : {1, 3}) {
                            SCOPED_TRACE(testing::Message() << "type " << type << " components " << components
                                                            << " order " << order << " prefix " << prefix << " window "
                                                            << win.x << "," << win.y << " step " << step);
                            const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp");
                            ImportParams p = Describe(in, type, components, order, header, prefix, ppr, 5);
                            const Bytes file = Pattern(std::size_t(header + records * p.recordLength));
                            WriteBytes(in, file);
                            p.windowX = win.x;
                            p.windowY = win.y;
                            p.windowWidth = win.w;
                            p.windowHeight = win.h;
                            p.step = step;
                            testsupport::FakeMeter meter;
                            ReadOutcome outcome;
                            ASSERT_EQ(p.ReadToRdp(out, &meter, &outcome), 1);
                            EXPECT_FALSE(outcome.shortInput);
                            EXPECT_EQ(meter.texts.front(), "Data Conversion...");
                            EXPECT_EQ(meter.ranges.front(), (std::pair<double, double>(0.0, double(win.h / step))));
                            int w = 0, h = 0, t = 0;
                            const Bytes layer = LayerBytes(out, &w, &h, &t);
                            EXPECT_EQ(w, win.w / step);
                            EXPECT_EQ(h, win.h / step);
                            EXPECT_EQ(t, GetComplexType(type, components));
                            EXPECT_EQ(layer, Expected(file, p));
                        }
        }
}

TEST_F(RawReadTest, SizesOrderAndComplexTypes)
{
    const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp");
    // Width 1001 at step 2 gives 500 columns; height 3 at step 2 one row.
    {
        ImportParams p = Describe(in, UINT8, 1, 1, 0, 0, 1001, 0);
        WriteBytes(in, Pattern(1001 * 3));
        p.windowWidth = 1001;
        p.windowHeight = 3;
        p.step = 2;
        ASSERT_EQ(p.ReadToRdp(out, nullptr), 1);
        int w = 0, h = 0, t = 0;
        LayerBytes(out, &w, &h, &t);
        EXPECT_EQ(w, 500);
        EXPECT_EQ(h, 1);
    }
    // Motorola: bytes of 8-bit samples stay; FLOAT32 and each complex component turn.
    const unsigned char be[] = {0x3F, 0xC0, 0x00, 0x00, 0xC0, 0x10, 0x00, 0x00};  // 1.5f, -2.25f
    WriteBytes(in, Bytes(std::begin(be), std::end(be)));
    struct Case {
        int type, components, width;
        int layerType;
        Bytes want;
    };
    float f[2] = {1.5f, -2.25f};
    Bytes floats(8);
    std::memcpy(floats.data(), f, 8);
    const Case cases[] = {
        {UINT8, 1, 8, UINT8, Bytes(std::begin(be), std::end(be))},
        {SINT8, 2, 4, CSINT8, Bytes(std::begin(be), std::end(be))},
        {FLOAT32, 1, 2, FLOAT32, floats},
        {FLOAT32, 2, 1, CFLOAT32, floats},
        {SINT16, 2, 2, CSINT16, {0xC0, 0x3F, 0x00, 0x00, 0x10, 0xC0, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type * 10 + c.components);
        ImportParams p = Describe(in, c.type, c.components, 2, 0, 0, c.width, 0);
        p.windowWidth = c.width;
        p.windowHeight = 1;
        ASSERT_EQ(p.ReadToRdp(out, nullptr), 1);
        int w = 0, h = 0, t = 0;
        EXPECT_EQ(LayerBytes(out, &w, &h, &t), c.want);
        EXPECT_EQ(t, c.layerType);
    }
}

// The data ends inside the window: what arrived is kept, whole components only, the
// rest is 0, and the caller learns of it.
TEST_F(RawReadTest, ShortInputKeepsWhatArrivedAndZeroesTheRest)
{
    const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp");
    struct Case {
        int type, components, order, cut;  // cut: bytes of the whole file kept
    };
    const int ppr = 6, records = 5, header = 10;
    const Case cases[] = {
        {UINT8, 1, 1, 30},     {SINT16, 1, 2, 51},  {SINT16, 2, 1, 67}, {FLOAT64, 1, 2, 101},
        {FLOAT32, 2, 2, 7},    {UINT32, 1, 1, 0},   {UINT16, 1, 1, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << "/" << c.components << " cut " << c.cut);
        ImportParams p = Describe(in, c.type, c.components, c.order, header, 4, ppr, 2);
        Bytes file = Pattern(std::size_t(header + records * p.recordLength));
        file.resize(std::size_t(c.cut));
        WriteBytes(in, file);
        p.windowX = 1;
        p.windowWidth = ppr - 1;
        p.windowHeight = records;
        ReadOutcome outcome;
        ASSERT_EQ(p.ReadToRdp(out, nullptr, &outcome), 1);
        EXPECT_TRUE(outcome.shortInput);
        int w = 0, h = 0, t = 0;
        EXPECT_EQ(LayerBytes(out, &w, &h, &t), Expected(file, p));
    }
    // A window ending with the data is whole, though the last record's padding is missing.
    ImportParams p = Describe(in, UINT8, 1, 1, 0, 0, 4, 3);
    Bytes file = Pattern(std::size_t(2 * p.recordLength - 3));
    WriteBytes(in, file);
    p.windowWidth = 4;
    p.windowHeight = 2;
    ReadOutcome outcome;
    ASSERT_EQ(p.ReadToRdp(out, nullptr, &outcome), 1);
    EXPECT_FALSE(outcome.shortInput);
}

// The statistics, extremes and preview stored with an import are the bytes the
// layer's own closing passes make from its rows, whether the reader gathered them
// while reading or left them to the close.
TEST_F(RawReadTest, StoredStatisticsEqualTheClosingPasses)
{
    struct Case {
        int type, components, order, ppr, records;
        int x, y, w, h, step;
        int cut;  // bytes of the file kept, -1 all
        bool loud;  // 16-bit samples near the extremes: the sum of squares passes 2^53
    };
    const Case cases[] = {
        {SINT16, 1, 2, 1200, 700, 0, 0, 1200, 700, 1, -1, false},  // more than one thread
        {UINT16, 1, 1, 50, 30, 3, 2, 40, 25, 1, -1, false},
        {UINT8, 1, 1, 33, 20, 0, 0, 33, 20, 3, -1, false},
        {SINT8, 1, 2, 33, 20, 1, 1, 30, 18, 1, -1, false},
        {SINT16, 1, 2, 60, 40, 0, 0, 60, 40, 1, 2500, false},  // short: zeros
        {UINT8, 1, 1, 60, 40, 0, 0, 60, 40, 4, 1000, false},
        {SINT16, 1, 1, 4000, 2400, 0, 0, 4000, 2400, 1, -1, true},
        {FLOAT32, 1, 2, 40, 30, 0, 0, 40, 30, 1, -1, false},  // left to the close
        {SINT16, 2, 1, 40, 30, 0, 0, 40, 30, 2, -1, false},
        {SINT16, 1, 2, 600000, 3, 0, 0, 600000, 3, 1, -1, false},  // rows past a thread's buffer
        {UINT8, 1, 1, 1100000, 3, 5, 0, 1099990, 3, 1, 2000000, false},
    };
    const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp"), ref = m_dir.File("ref.rdp");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << "/" << c.components << " " << c.ppr << "x"
                                        << c.records << " step " << c.step << " cut " << c.cut);
        ImportParams p = Describe(in, c.type, c.components, c.order, 16, 4, c.ppr, 0);
        Bytes file = Pattern(std::size_t(16 + std::int64_t(c.records) * p.recordLength));
        if (c.loud)
            for (std::int64_t k = 0; k < std::int64_t(c.ppr) * c.records; ++k) {
                // Random magnitudes of 31744 to 32767, so that rounding while adding
                // the rows' sums shows in the deviation.
                std::uint64_t z = std::uint64_t(k) * 0x9E3779B97F4A7C15u;
                z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
                z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
                z ^= z >> 31;
                const int magnitude = 31744 + int(z & 1023);
                const auto v = static_cast<std::uint16_t>((z >> 10) & 1 ? -magnitude : magnitude);
                const std::int64_t at = 16 + k / c.ppr * p.recordLength + 4 + k % c.ppr * 2;
                file[std::size_t(at)] = static_cast<unsigned char>(v);
                file[std::size_t(at + 1)] = static_cast<unsigned char>(v >> 8);
            }
        if (c.cut >= 0)
            file.resize(std::size_t(c.cut));
        WriteBytes(in, file);
        p.windowX = c.x;
        p.windowY = c.y;
        p.windowWidth = c.w;
        p.windowHeight = c.h;
        p.step = c.step;
        ReadOutcome outcome;
        ASSERT_EQ(p.ReadToRdp(out, nullptr, &outcome), 1);
        EXPECT_EQ(outcome.shortInput, c.cut >= 0);
        int w = 0, h = 0, t = 0;
        if (!c.loud)
            EXPECT_EQ(LayerBytes(out, &w, &h, &t), Expected(file, p));
        {
            CRDPLayer imported;
            ASSERT_NE(imported.OpenLayer(out.c_str(), 0), nullptr);
            CRDPLayer closed;
            ASSERT_NE(closed.CreateLayer(ref.c_str(), imported.Width(), imported.Height(), imported.Type(), 7), nullptr);
            std::memcpy(closed.Pixels(), imported.Pixels(), std::size_t(imported.TotalSize()));
            closed.CloseLayer();
        }
        for (int tag : {kTagStatistics, kTagPhaseStatistics, kTagPreview}) {
            Bytes a(2 * kPreviewLengthReal), b(a.size());
            EXPECT_EQ(GetTag(out.c_str(), tag, int(a.size()), a.data()), GetTag(ref.c_str(), tag, int(b.size()), b.data()));
            EXPECT_EQ(a, b) << "tag " << tag;
        }
    }
}

// Descriptions that would read before the data, past the record, or give an empty
// layer make nothing, say nothing and answer 0.
TEST_F(RawReadTest, RefusedDescriptionsMakeNothing)
{
    const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp");
    WriteBytes(in, Pattern(4096));
    const ImportParams good = [&] {
        ImportParams p = Describe(in, SINT16, 1, 1, 16, 4, 20, 0);
        p.windowWidth = 20;
        p.windowHeight = 10;
        return p;
    }();
    struct Case {
        const char* name;
        void (*spoil)(ImportParams&);
    };
    const Case cases[] = {
        {"step 0", [](ImportParams& p) { p.step = 0; }},
        {"step -3", [](ImportParams& p) { p.step = -3; }},
        {"step above the width", [](ImportParams& p) { p.step = 21; p.windowHeight = 40; }},
        {"step above the height", [](ImportParams& p) { p.step = 11; }},
        {"negative header", [](ImportParams& p) { p.headerSize = -1; }},
        {"negative prefix", [](ImportParams& p) { p.prefixSize = -4; }},
        {"negative record length", [](ImportParams& p) { p.recordLength = -40; }},
        {"negative X", [](ImportParams& p) { p.windowX = -1; }},
        {"negative Y", [](ImportParams& p) { p.windowY = -1; }},
        {"zero width", [](ImportParams& p) { p.windowWidth = 0; }},
        {"negative height", [](ImportParams& p) { p.windowHeight = -10; }},
        {"X + width past the record", [](ImportParams& p) { p.windowX = 1; }},
        {"three components", [](ImportParams& p) { p.components = 3; }},
        {"no component type", [](ImportParams& p) { p.componentType = 0; }},
        {"component size not the type's", [](ImportParams& p) { p.componentSize = 4; }},
    };
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImportParams p = good;
        c.spoil(p);
        testsupport::FakeMeter meter;
        EXPECT_EQ(p.ReadToRdp(out, &meter), 0);
        EXPECT_FALSE(Exists(out));
        EXPECT_TRUE(meter.ranges.empty());
        std::remove(out.c_str());
    }
    EXPECT_TRUE(boxes.Calls().empty());
    ImportParams p = good;
    p.dataFile = m_dir.File("missing.raw");
    EXPECT_EQ(p.ReadToRdp(out, nullptr), 0);
    EXPECT_FALSE(Exists(out));
    p = good;
    ASSERT_EQ(p.ReadToRdp(out, nullptr), 1);
}

// A cancel at any report, reading or finishing, leaves no output and no message.
TEST_F(RawReadTest, AbortRemovesTheOutputSilently)
{
    const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp");
    ImportParams p = Describe(in, FLOAT32, 2, 2, 0, 0, 300, 0);
    WriteBytes(in, Pattern(std::size_t(p.recordLength) * 1200));
    p.windowWidth = 300;
    p.windowHeight = 1200;
    testsupport::FakeMeter whole;
    ASSERT_EQ(p.ReadToRdp(out, &whole), 1);
    // Reports while reading and while finishing (their count varies with the threads).
    ASSERT_GE(whole.Reports(), 2500);
    std::remove(out.c_str());
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    for (int at : {1, 2, 3, 700, 1900, 2450}) {
        SCOPED_TRACE(at);
        testsupport::FakeMeter meter;
        meter.failAt = at;
        EXPECT_EQ(p.ReadToRdp(out, &meter), 0);
        EXPECT_FALSE(Exists(out));
    }
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(RawReadTest, UnwritableFolderSaysSo)
{
    const std::string in = m_dir.File("in.raw");
    ImportParams p = Describe(in, UINT8, 1, 1, 0, 0, 8, 0);
    WriteBytes(in, Pattern(64));
    p.windowWidth = 8;
    p.windowHeight = 8;
    std::vector<std::string> outputs = {m_dir.File("missing/out.rdp"), m_dir.File("in.raw/out.rdp")};
    for (const std::string& out : outputs) {
        SCOPED_TRACE(out);
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        EXPECT_EQ(p.ReadToRdp(out, nullptr), 0);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, "ReadToRdp:Unable to create the output file");
        EXPECT_EQ(boxes.Calls()[0].type, unsigned(plat::MB_OK));
        EXPECT_FALSE(Exists(out));
    }
}

// Records past 4 GiB of a sparse 5 GiB file, by a window and by a subsampling step.
TEST_F(RawReadTest, RecordsPastFourGigabytes)
{
    const std::string in = m_dir.File("big.raw"), out = m_dir.File("out.rdp");
    ImportParams p = Describe(in, SINT16, 1, 2, 1024, 12, 1000, 0);  // records of 2012 bytes
    const std::int64_t size = std::int64_t(5) << 30;
    const int records = int((size - 1024) / p.recordLength);
    const int k0 = 2200000;  // its record starts past 2^32
    ASSERT_GT(std::int64_t(1024) + std::int64_t(k0) * p.recordLength, std::int64_t(1) << 32);
    const int fd = ::open(in.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    for (int k = k0; k < k0 + 3; ++k) {
        Bytes rec(std::size_t(p.recordLength - 12));
        for (int j = 0; j < 1000; ++j) {
            const int v = (k - k0 + 1) * 1000 + j - 2000;
            rec[std::size_t(2 * j)] = static_cast<unsigned char>(std::uint16_t(v) >> 8);
            rec[std::size_t(2 * j + 1)] = static_cast<unsigned char>(v & 0xFF);
        }
        const std::int64_t at = 1024 + std::int64_t(k) * p.recordLength + 12;
        ASSERT_EQ(::pwrite(fd, rec.data(), rec.size(), at), ssize_t(rec.size()));
    }
    ::close(fd);

    auto value = [](const Bytes& layer, std::size_t i) {
        std::int16_t v;
        std::memcpy(&v, layer.data() + 2 * i, 2);
        return int(v);
    };
    // A window over the three written records.
    p.records = records;
    p.windowX = 100;
    p.windowY = k0 - 1;
    p.windowWidth = 500;
    p.windowHeight = 5;
    ASSERT_EQ(p.ReadToRdp(out, nullptr), 1);
    int w = 0, h = 0, t = 0;
    Bytes layer = LayerBytes(out, &w, &h, &t);
    ASSERT_EQ(layer.size(), std::size_t(500 * 5 * 2));
    for (int r = 0; r < 5; ++r)
        for (int j = 0; j < 500; j += 99) {
            const int want = r >= 1 && r <= 3 ? r * 1000 + 100 + j - 2000 : 0;
            EXPECT_EQ(value(layer, std::size_t(r * 500 + j)), want) << r << "," << j;
        }
    // The whole file at step 1000: row k0 / 1000 is record k0.
    p.windowX = 0;
    p.windowY = 0;
    p.windowWidth = 1000;
    p.windowHeight = records;
    p.step = 1000;
    ReadOutcome outcome;
    ASSERT_EQ(p.ReadToRdp(out, nullptr, &outcome), 1);
    EXPECT_FALSE(outcome.shortInput);
    layer = LayerBytes(out, &w, &h, &t);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, records / 1000);
    for (int r = 0; r < h; ++r)
        EXPECT_EQ(value(layer, std::size_t(r)), r == k0 / 1000 ? -1000 : 0) << r;
}

namespace {

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// An output that is the data file, by any name, is refused before anything is
// written: the data file stays byte for byte and nothing else appears.
TEST_F(RawReadTest, AnOutputThatIsTheInputIsRefused)
{
    const std::string in = m_dir.File("x.rdp");
    const Bytes data = Pattern(64 * 32);
    WriteBytes(in, data);
    ASSERT_EQ(::symlink(in.c_str(), m_dir.File("link.rdp").c_str()), 0);
    ImportParams p = Describe(in, UINT8, 1, 1, 0, 0, 64, 0);
    p.windowWidth = 64;
    p.windowHeight = 32;
    const std::vector<std::string> before = FolderEntries(m_dir.Path());
    for (const std::string& out : {in, m_dir.Path() + "/./x.rdp", m_dir.File("link.rdp")}) {
        SCOPED_TRACE(out);
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        testsupport::FakeMeter meter;
        EXPECT_EQ(p.ReadToRdp(out, &meter), 0);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text.rfind("The output file is an input of this conversion:\n" + out, 0), 0u)
            << boxes.Calls()[0].text;
        EXPECT_TRUE(meter.ranges.empty());
        std::ifstream back(in, std::ios::binary);
        EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(back), {}), data);
        EXPECT_EQ(FolderEntries(m_dir.Path()), before);
    }
}

// A cancel or a failure at any report of an import over an existing file leaves
// that file byte for byte and no temporary beside it.
TEST_F(RawReadTest, CancelOrFailureOverAnExistingFileKeepsIt)
{
    const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp");
    ImportParams p = Describe(in, SINT16, 1, 2, 0, 0, 200, 0);
    WriteBytes(in, Pattern(std::size_t(p.recordLength) * 900));
    p.windowWidth = 200;
    p.windowHeight = 900;
    testsupport::FakeMeter whole;
    ASSERT_EQ(p.ReadToRdp(out, &whole), 1);
    const int reports = whole.Reports();
    ASSERT_GE(reports, 100);
    const Bytes old = Pattern(777);
    WriteBytes(out, old);
    const std::vector<std::string> before = FolderEntries(m_dir.Path());
    plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
    using Fault = testsupport::FakeMeter::Fault;
    for (const Fault fault : {Fault::Cancel, Fault::Memory, Fault::BadAlloc, Fault::Foreign})
        for (int at : {1, 2, reports / 2, reports * 9 / 10}) {
            SCOPED_TRACE(testing::Message() << int(fault) << " at " << at);
            testsupport::FakeMeter meter;
            meter.failAt = at;
            meter.fault = fault;
            EXPECT_EQ(p.ReadToRdp(out, &meter), 0);
            std::ifstream back(out, std::ios::binary);
            EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(back), {}), old);
            EXPECT_EQ(FolderEntries(m_dir.Path()), before);
        }
    EXPECT_TRUE(boxes.Calls().empty());
    // Whole, the import replaces the file.
    ASSERT_EQ(p.ReadToRdp(out, nullptr), 1);
    int w = 0, h = 0, t = 0;
    EXPECT_EQ(LayerBytes(out, &w, &h, &t).size(), std::size_t(200 * 900 * 2));
    EXPECT_EQ(FolderEntries(m_dir.Path()), before);
}

namespace {

// A meter whose process is killed at its n-th position report.
class KillingMeter final : public CMeterInfoBase {
public:
    explicit KillingMeter(int n) : m_n(n) {}
    void SetCaption(const char*) override {}
    void SetText(const char*) override {}
    void SetPos(double) override
    {
        if (++m_reports == m_n)
            ::raise(SIGKILL);
    }
    void SetRange(double, double) override {}
    void GetRange(double* lo, double* hi) override { *lo = 0, *hi = 1; }
    void GetPos(double* pos) override { *pos = 0; }
    void SetStep(double) override {}
    void StepIt() override { SetPos(0); }
    std::string GetCaption() override { return {}; }
    std::string GetText() override { return {}; }

private:
    int m_n;
    int m_reports = 0;
};

}  // namespace

// An import killed half-way leaves the old file whole under its name; its
// temporary goes when the same file is written next.
TEST_F(RawReadTest, AKilledImportLeavesTheOldFile)
{
    const std::string in = m_dir.File("in.raw"), out = m_dir.File("out.rdp");
    ImportParams p = Describe(in, UINT8, 1, 1, 0, 0, 300, 0);
    WriteBytes(in, Pattern(300 * 400));
    p.windowWidth = 300;
    p.windowHeight = 400;
    const Bytes old = Pattern(555);
    WriteBytes(out, old);
    const int status = testsupport::RunInChild([&] { return p.ReadToRdp(out, new KillingMeter(100)); });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    std::ifstream back(out, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(back), {}), old);
    EXPECT_EQ(FolderEntries(m_dir.Path()).size(), 3u) << "the killed writer's temporary";
    ASSERT_EQ(p.ReadToRdp(out, nullptr), 1);
    EXPECT_EQ(FolderEntries(m_dir.Path()), (std::vector<std::string>{"in.raw", "out.rdp"}));
}
