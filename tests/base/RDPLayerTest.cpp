#include "Command.h"
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "FakeMeter.h"
#include "platform/dialogs/MessageBox.h"
#include "RdpFileBuilder.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "util/MathHelpers.h"

// Marks a bound layer as created here, as the layer creators will, so that
// closing it finalises it by its flags.
struct RDPLayerTestAccess {
    static void MarkCreated(CRDPLayer& layer, int flags)
    {
        layer.m_bCreated = 1;
        layer.m_nFlags = flags;
    }
};

namespace {

using rdptest::Bytes;
using rdptest::CauseOf;
using rdptest::RdpFileBuilder;
using rdptest::TempDir;

using testsupport::FakeMeter;

int64_t PixelOffset(const RdpFileBuilder& b)
{
    return b.Get32(b.TagHeader(0, 1) + 4) + 4;
}

// A fresh layer file whose pixels are given as doubles (real parts) and,
// for complex types, imaginary parts.
std::string MakeLayer(const TempDir& dir, const std::string& name, int w, int h, int type,
                      const std::vector<double>& re, const std::vector<double>& im = {}, bool preview = false)
{
    RdpFileBuilder b = RdpFileBuilder::Fresh(w, h, type, preview);
    const std::string path = dir.File(name);
    b.Save(path);
    if (!re.empty()) {
        CRDPLayer layer;
        EXPECT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
        std::vector<double> row(static_cast<size_t>(w));
        for (int y = 0; y < h; ++y) {
            std::copy(re.begin() + y * w, re.begin() + (y + 1) * w, row.begin());
            layer.SetLineFromDouble(y, row.data(), 1);
            if (!im.empty()) {
                std::copy(im.begin() + y * w, im.begin() + (y + 1) * w, row.begin());
                layer.SetLineFromDouble(y, row.data(), 2);
            }
        }
        layer.CloseLayer();
    }
    return path;
}

StatisticsTag ReadStats(const std::string& path, int tag = kTagStatistics)
{
    StatisticsTag s{};
    EXPECT_EQ(GetTag(path.c_str(), tag, sizeof s, &s), 1);
    return s;
}

TEST(RDPLayer, OpensEveryTypeWithRowsIntoThePixels)
{
    TempDir dir;
    for (int type = 1; type <= 16; ++type) {
        SCOPED_TRACE(type);
        RdpFileBuilder b = RdpFileBuilder::Fresh(5, 3, type);
        const std::string path = dir.File("t" + std::to_string(type) + ".rdp");
        b.Save(path);
        CRDPLayer layer;
        void** rows = layer.OpenLayer(path.c_str(), 0);
        ASSERT_NE(rows, nullptr);
        EXPECT_EQ(layer.Width(), 5);
        EXPECT_EQ(layer.Height(), 3);
        EXPECT_EQ(layer.Type(), type);
        EXPECT_EQ(layer.SampleSize(), GetDataTypeSize(type));
        EXPECT_EQ(layer.IsComplex(), type >= 9 ? 1 : 0);
        EXPECT_EQ(layer.FileName(), std::filesystem::absolute(path).string());
        const auto* header = static_cast<unsigned char*>(layer.GetTag(kTagLayerHeader));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(layer.Pixels() - header, PixelOffset(b) - 44);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rows[i], layer.Pixels() + i * 5 * layer.SampleSize());
        int32_t first[2] = {};
        EXPECT_EQ(layer.GetTag(kTagLayerHeader, 8, first), first);
        EXPECT_EQ(first[0], 24);
        EXPECT_EQ(first[1], 5);
        EXPECT_EQ(layer.PreviewBytes(), nullptr);
        EXPECT_EQ(layer.CloseLayer(), 1);
        EXPECT_EQ(layer.CloseLayer(), 0);
        EXPECT_TRUE(layer.IsEmpty());
        EXPECT_EQ(layer.Type(), -1);
    }
}

TEST(RDPLayer, BindingStatesAndLayers)
{
    TempDir dir;
    RdpFileBuilder b = RdpFileBuilder::Fresh(4, 4, UINT8, true);
    b.AddLayer(2, 3, FLOAT64);
    const std::string path = dir.File("two.rdp");
    b.Save(path);
    RdpFileBuilder::Version2(3, 2, SINT16).Save(dir.File("v2.rdp"));

    CRDPLayer layer;
    EXPECT_EQ(layer.OpenLayerEx(path.c_str(), 2, 0), nullptr);
    EXPECT_TRUE(layer.IsEmpty());
    ASSERT_NE(layer.OpenLayerEx(path.c_str(), 1, 0), nullptr);
    EXPECT_EQ(layer.Width(), 2);
    EXPECT_EQ(layer.Type(), FLOAT64);
    EXPECT_EQ(layer.LayerNumber(), 1);
    EXPECT_EQ(CauseOf([&] { layer.OpenLayerEx(path.c_str(), 0, 0); }), RDP_OPEN_FILE);
    EXPECT_EQ(CauseOf([&] { layer.CreateTempLayer(2, 2, UINT8); }), RDP_ALREADY_USED);
    layer.CloseLayer();

    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    ASSERT_NE(layer.PreviewBytes(), nullptr);
    EXPECT_EQ(layer.PreviewBytes(), layer.PreviewTag() + 4);
    layer.CloseLayer();

    ASSERT_NE(layer.OpenLayer(dir.File("v2.rdp").c_str(), 0), nullptr);
    EXPECT_EQ(layer.Type(), SINT16);
    layer.CloseLayer();
    EXPECT_EQ(layer.OpenLayerEx(dir.File("v2.rdp").c_str(), 1, 0), nullptr);
    EXPECT_EQ(layer.OpenLayer(dir.File("missing.rdp").c_str(), 0), nullptr);
}

// Malformed files: each gives NULL and leaves the object reusable.
TEST(RDPLayer, MalformedFilesGiveNull)
{
    using Edit = std::function<void(RdpFileBuilder&)>;
    const auto tag0 = [](RdpFileBuilder& b) { return b.Get32(b.TagHeader(0, 0) + 4); };
    const struct {
        const char* name;
        Edit edit;
    } cases[] = {
        {"wrong magic", [](RdpFileBuilder& b) { b.bytes[0] = 'X'; }},
        {"unknown version", [](RdpFileBuilder& b) { b.Put32(4, 4); }},
        {"short pixel tag", [](RdpFileBuilder& b) { b.Put32(PixelOffset(b) - 4, 4 * 3 - 1 + 4); }},
        {"pixel length past the end", [](RdpFileBuilder& b) { b.Put32(PixelOffset(b) - 4, 0x7FFFFFF0); }},
        {"huge width", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 4, 0x7FFFFFFF); }},
        {"huge width and height",
         [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 4, 0x7FFFFFFF), b.Put32(tag0(b) + 8, 0x7FFFFFFF); }},
        {"zero width", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 4, 0); }},
        {"negative height", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 8, -3); }},
        {"type 0", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 12, 0); }},
        {"type 17", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 12, 17); }},
        {"missing pixel tag", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 20, 77); }},
        {"short layer header", [&](RdpFileBuilder& b) { b.Put32(tag0(b), 20); }},
        {"missing tag 2", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 2), 9); }},
        {"short tag 2", [](RdpFileBuilder& b) { b.Put32(b.Get32(b.TagHeader(0, 2) + 4), 1000); }},
        {"tag 2 past the end", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 2) + 4, int32_t(b.Size() - 100)); }},
        {"tag 2 payload outside", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 2) + 4, 0x7FFFFF00); }},
        {"short tag 4", [](RdpFileBuilder& b) { b.Put32(b.Get32(b.TagHeader(0, 4) + 4), 40000); }},
        {"looping chain", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 1) + 8, int32_t(b.TagHeader(0, 0))); }},
        {"chain into itself", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 1) + 8, int32_t(b.TagHeader(0, 1))); }},
        {"chain outside", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 1) + 8, 0x7FFFFFF0); }},
        {"first tag outside", [](RdpFileBuilder& b) { b.Put32(16, int32_t(b.Size() - 4)); }},
        {"looping layer records", [](RdpFileBuilder& b) { b.Put32(12, 5), b.Put32(20, 12); }},
        {"cut short", [](RdpFileBuilder& b) { b.bytes.resize(size_t(PixelOffset(b) + 2)); }},
        {"header only", [](RdpFileBuilder& b) { b.bytes.resize(12); }},
        // A payload written in place over the file's own structure.
        {"pixel tag 0", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 20, 0); }},
        {"pixel tag 2", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 20, 2); }},
        {"pixels over the layer record",
         [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 1) + 4, 28), b.Put32(28, 16); }},
        {"pixels over tag 2's header", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 1) + 4, 88), b.Put32(88, 16); }},
        {"pixels over tag 2's payload",
         [](RdpFileBuilder& b) {
             const int32_t at = b.Get32(b.TagHeader(0, 2) + 4) + 8;
             b.Put32(b.TagHeader(0, 1) + 4, at), b.Put32(at, 16);
         }},
        {"tag 2 over the preview",
         [](RdpFileBuilder& b) {
             const int32_t at = b.Get32(b.TagHeader(0, 4) + 4) + 8;
             b.Put32(b.TagHeader(0, 2) + 4, at), b.Put32(at, 1064);
         }},
        // GetNumLayer counts no layers in these (below): none binds either.
        {"record chain loops back to layer 0", [](RdpFileBuilder& b) { b.Put32(20, 12); }},
        {"next record cut off", [](RdpFileBuilder& b) { b.Put32(20, int32_t(b.Size() - 10)); }},
    };
    const size_t kUncounted = 2;  // the last rows
    TempDir dir;
    const std::string good = dir.File("good.rdp");
    RdpFileBuilder::Fresh(4, 3, UINT8, true).Save(good);
    CRDPLayer layer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RdpFileBuilder b = RdpFileBuilder::Fresh(4, 3, UINT8, true);
        c.edit(b);
        const std::string path = dir.File("bad.rdp");
        b.Save(path);
        EXPECT_EQ(layer.OpenLayer(path.c_str(), 0), nullptr);
        EXPECT_TRUE(layer.IsEmpty());
        EXPECT_EQ(layer.OpenLayer(path.c_str(), 1), nullptr);
        ASSERT_NE(layer.OpenLayer(good.c_str(), 0), nullptr);
        layer.CloseLayer();
        if (&c >= std::end(cases) - kUncounted) {
            EXPECT_EQ(GetNumLayer(path.c_str()), 0);
        }
        std::remove(path.c_str());
    }
}

TEST(RDPLayer, TagsInTheMapping)
{
    TempDir dir;
    RdpFileBuilder b = RdpFileBuilder::Fresh(3, 2, UINT8, true);
    b.AddTag(0, 300, rdptest::UserPayload(1, "abcdefgh"));
    b.AddTag(0, 301, rdptest::UserPayload(1, "xy"));
    const int64_t last = b.TagHeader(0, 301);
    b.Put32(b.Get32(last + 4), 1 << 20);  // tag 301 claims more than the file holds
    const std::string path = dir.File("tags.rdp");
    b.Save(path);
    const Bytes before = rdptest::Load(path);

    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    EXPECT_EQ(layer.SetTag(201, 8, "12345678"), 0);
    EXPECT_EQ(layer.GetTag(201), nullptr);
    EXPECT_EQ(layer.SetTag(300, 8, nullptr), 0);

    char buf[16] = {};
    EXPECT_EQ(layer.GetTag(300, 10, buf), buf);
    EXPECT_EQ(std::string(buf + 8, 2), "ab");
    // Longer than the stored tag: refused, nothing cut.
    EXPECT_EQ(layer.SetTag(300, 17, "....XXXXzzzzzzzzz"), 0);
    EXPECT_EQ(rdptest::Load(path), before);
    // Shorter: only len bytes read, the rest zero.
    EXPECT_EQ(layer.SetTag(300, 10, "....\1\0\0\0QQ"), 1);
    char stored[16] = {};
    layer.GetTag(300, 16, stored);
    EXPECT_EQ(sample::Load<int32_t>(stored), 16);
    EXPECT_EQ(std::string(stored + 8, 8), std::string("QQ\0\0\0\0\0\0", 8));
    EXPECT_EQ(layer.SetTag(300, 3, "..."), 0);

    EXPECT_EQ(CauseOf([&] { layer.GetTag(301); }), RDP_MEMORY);
    EXPECT_EQ(CauseOf([&] { layer.SetTag(301, 10, "0123456789"); }), RDP_MEMORY);
    layer.CloseLayer();

    // Writes through a read-only binding are refused.
    ASSERT_NE(layer.OpenLayer(path.c_str(), 0), nullptr);
    EXPECT_FALSE(layer.IsWritable());
    const Bytes readOnly = rdptest::Load(path);
    const RECT all{0, 0, 2, 1};
    const double row[3] = {1, 2, 3};
    const unsigned counts[256] = {};
    const std::function<void()> writes[] = {
        [&] { layer.SetTag(300, 16, stored); }, [&] { layer.SetValue(5.0, &all); },
        [&] { layer.SetZero(nullptr); },        [&] { layer.SetLineFromDouble(0, row, 1); },
        [&] { layer.MaxMinCount(nullptr); },    [&] { layer.StatsCalc(); },
        [&] { layer.SetHistogram(counts); },    [&] { layer.SetMin(1.0); },
        [&] { layer.SetStatsReady(1); },        [&] { layer.RescaleToPreview(layer.PreviewBytes()); },
    };
    for (const auto& w : writes)
        EXPECT_EQ(CauseOf(w), RDP_MEMORY);
    // A preview into the caller's own memory writes nothing of the file.
    std::vector<unsigned char> own(40000, 0xCD);
    layer.RescaleToPreview(own.data());
    EXPECT_EQ(std::count(own.begin(), own.end(), 0), 40000);
    layer.CloseLayer();
    EXPECT_EQ(rdptest::Load(path), readOnly);
}

// Tags that the path-based functions move or append while a layer is bound stay
// within its reach, for reading and writing; a file replaced under the same name is
// never taken for the bound one.
TEST(RDPLayer, TagsMovedOrAddedWhileBound)
{
    TempDir dir;
    RdpFileBuilder b = RdpFileBuilder::Fresh(3, 2, UINT8);
    b.AddTag(0, 500, rdptest::UserPayload(1, "short"));
    const std::string path = dir.File("v.rdp");
    b.Save(path);
    CRDPLayer layer, reader;
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    ASSERT_NE(reader.OpenLayer(path.c_str(), 0), nullptr);

    // A longer payload moves to the end of the file, beyond the bound view.
    const Bytes longer = rdptest::UserPayload(1, std::string(5000, 'v'));
    ASSERT_EQ(SetTag(path.c_str(), 500, int(longer.size()), longer.data()), 1);
    ASSERT_EQ(rdptest::FileSize(path), b.Size() + int64_t(longer.size()));
    for (CRDPLayer* l : {&layer, &reader}) {
        const auto* p = static_cast<const unsigned char*>(l->GetTag(500));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(sample::Load<int32_t>(p), int32_t(longer.size()));
        EXPECT_EQ(p[longer.size() - 1], 'v');
    }
    const Bytes written = rdptest::UserPayload(1, std::string(5000, 'w'));
    EXPECT_EQ(layer.SetTag(500, int(written.size()), written.data()), 1);
    Bytes back(written.size());
    ASSERT_EQ(GetTag(path.c_str(), 500, int(back.size()), back.data()), 1);
    EXPECT_EQ(back, written);
    EXPECT_EQ(CauseOf([&] { reader.SetTag(500, int(written.size()), written.data()); }), RDP_MEMORY);

    // A tag appended behind it, and the one it was linked behind.
    const Bytes added = rdptest::UserPayload(1, "added");
    ASSERT_EQ(SetTag(path.c_str(), 501, int(added.size()), added.data()), 1);
    for (CRDPLayer* l : {&layer, &reader}) {
        EXPECT_NE(l->GetTag(501), nullptr);
        EXPECT_NE(l->GetTag(500), nullptr);
        EXPECT_EQ(l->GetTag(502), nullptr);
    }
    static_cast<unsigned char*>(layer.Rows()[1])[2] = 42;
    EXPECT_EQ(static_cast<unsigned char*>(reader.Rows()[1])[2], 42);
    reader.CloseLayer();

    // Replaced by a larger file of the same name: its tags are not the bound layer's.
    {
        RdpFileBuilder other = RdpFileBuilder::Fresh(90, 90, UINT8);
        other.AddTag(0, 600, rdptest::UserPayload(1, "other file"));
        const std::string next = dir.File("next.rdp");
        other.Save(next);
        ASSERT_EQ(std::rename(next.c_str(), path.c_str()), 0);
    }
    EXPECT_EQ(layer.GetTag(600), nullptr);
    EXPECT_NE(layer.GetTag(501), nullptr);
    layer.CloseLayer();
}

TEST(RDPLayer, UnboundLayerOperationsThrowCause3)
{
    CRDPLayer layer;
    double line[4];
    unsigned char preview[80000];
    const std::function<void()> ops[] = {
        [&] { layer.MaxMinCount(nullptr); },
        [&] { layer.StatsCalc(); },
        [&] { layer.SetHistogram(nullptr); },
        [&] { layer.RescaleToPreview(preview); },
        [&] { layer.SetValue(1.0, nullptr); },
        [&] {
            layer.SetValue(COMPLEX_FLOAT64{1, 1}, nullptr);
        },
        [&] { layer.SetZero(nullptr); },
        [&] { layer.GetDoubleLine(0, line, 1); },
        [&] { layer.SetLineFromDouble(0, line, 1); },
    };
    for (const auto& op : ops)
        EXPECT_EQ(CauseOf(op), RDP_EMPTY_LAYER);
    EXPECT_EQ(layer.IsComplex(), 0);
    EXPECT_EQ(layer.GetTag(0), nullptr);
    EXPECT_EQ(layer.SetTag(0, 4, "1234"), 0);
    EXPECT_EQ(layer.Min(), 0.0);
    EXPECT_EQ(layer.HistAdr(), nullptr);
}

// Extremes of small layers, per sample type where they apply.
TEST(RDPLayer, MaxMinCountPerType)
{
    TempDir dir;
    const struct {
        int type;
        std::vector<double> re, im;
        double mn, mx;
    } cases[] = {
        {UINT8, {3, 200, 7}, {}, 3, 200},
        {SINT8, {3, -100, 7}, {}, -100, 7},
        {UINT16, {3, 65535, 7}, {}, 3, 65535},
        {SINT16, {-3, 200, -32768}, {}, -32768, 200},
        {UINT32, {4294967295.0, 0, 7}, {}, 0, 4294967295.0},
        {SINT32, {-2147483648.0, 5, 7}, {}, -2147483648.0, 7},
        {FLOAT32, {NAN, -1.5, 7.25}, {}, -1.5, 7.25},
        {FLOAT64, {1e300, NAN, -1e-300}, {}, -1e-300, 1e300},
        {CFLOAT32, {3, 0, NAN}, {4, -1, 1}, 1, 5},
        {CFLOAT64, {3, 0, 6}, {4, -1, 8}, 1, 10},
        {CUINT8, {3, 0, 255}, {4, 1, 255}, 1, std::sqrt(2.0) * 255},
        {CSINT8, {3, 0, -128}, {4, -1, 0}, 1, 128},
        {CUINT16, {3, 0, 6}, {4, 1, 8}, 1, 10},
        {CSINT16, {3, 0, 6}, {4, -1, -8}, 1, 10},
        {CUINT32, {3, 0, 6}, {4, 1, 8}, 1, 10},
        {CSINT32, {3, 0, 6}, {4, -1, -8}, 1, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const std::string path = MakeLayer(dir, "m.rdp", 3, 1, c.type, c.re, c.im);
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
        EXPECT_EQ(layer.MaxMinCount(nullptr), 1);
        EXPECT_DOUBLE_EQ(layer.Min(), c.mn);
        EXPECT_DOUBLE_EQ(layer.Max(), c.mx);
        EXPECT_EQ(layer.StatsReady(), 0);
        layer.CloseLayer();
    }
}

TEST(RDPLayer, MaxMinCountReadsOnlyTheRectangle)
{
    TempDir dir;
    std::vector<double> v(30);
    for (int i = 0; i < 30; ++i)
        v[size_t(i)] = i;
    v[0] = -50, v[29] = 500;  // outside the rectangle below
    const std::string path = MakeLayer(dir, "r.rdp", 10, 3, SINT16, v);
    CRDPLayer layer;
    FakeMeter meter;
    layer.SetMeterInfo(&meter);
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    const RECT two{4, -5, 5, 99};
    layer.MaxMinCount(&two);
    EXPECT_EQ(layer.Min(), 4);
    EXPECT_EQ(layer.Max(), 25);
    EXPECT_EQ(meter.steps, 3);
    // Off the layer or inverted: nothing read, nothing stored.
    const RECT off[] = {{10, 0, 20, 2}, {0, 3, 9, 9}, {5, 0, 4, 2}, {-9, -9, -1, -1}};
    for (const RECT& r : off) {
        layer.MaxMinCount(&r);
        EXPECT_EQ(layer.Min(), 4);
        EXPECT_EQ(layer.Max(), 25);
    }
    EXPECT_EQ(meter.steps, 3);
    layer.MaxMinCount(nullptr);
    EXPECT_EQ(layer.Min(), -50);
    EXPECT_EQ(layer.Max(), 500);
}

TEST(RDPLayer, StatsCalcEdgeCases)
{
    TempDir dir;
    CRDPLayer layer;
    // 0 and 255 land in the end bins; mean and deviation 127.5.
    std::string path = MakeLayer(dir, "a.rdp", 2, 1, UINT8, {0, 255});
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    layer.MaxMinCount(nullptr);
    layer.StatsCalc();
    EXPECT_EQ(layer.StatsReady(), 1);
    EXPECT_EQ(layer.Mean(), 127.5);
    EXPECT_EQ(layer.StdDev(), 127.5);
    unsigned hist[256];
    std::memcpy(hist, layer.HistAdr(), sizeof hist);
    EXPECT_EQ(hist[0], 1u);
    EXPECT_EQ(hist[255], 1u);
    layer.CloseLayer();

    // Only the maximum is moved into the top bin: 21 of 105 truncates to 50.
    path = MakeLayer(dir, "t.rdp", 3, 1, UINT8, {0, 21, 105});
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    layer.MaxMinCount(nullptr);
    layer.StatsCalc();
    std::memcpy(hist, layer.HistAdr(), sizeof hist);
    EXPECT_EQ(hist[0], 1u);
    EXPECT_EQ(hist[50], 1u);
    EXPECT_EQ(hist[255], 1u);
    layer.CloseLayer();

    // Every sample equal: all in bin 0, for every type.
    for (int type = 1; type <= 16; ++type) {
        SCOPED_TRACE(type);
        path = MakeLayer(dir, "s.rdp", 3, 2, type, std::vector<double>(6, 7.0),
                         type >= 9 ? std::vector<double>(6, 0.0) : std::vector<double>{});
        ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
        layer.MaxMinCount(nullptr);
        layer.StatsCalc();
        EXPECT_EQ(layer.Min(), 7.0);
        EXPECT_EQ(layer.Mean(), 7.0);
        EXPECT_EQ(layer.StdDev(), 0.0);
        std::memcpy(hist, layer.HistAdr(), sizeof hist);
        EXPECT_EQ(hist[0], 6u);
        layer.CloseLayer();
    }

    // Stale statistics (never computed): bins stay in range, NaN is skipped.
    path = MakeLayer(dir, "n.rdp", 4, 1, FLOAT32, {NAN, -2, 5, 9});
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    layer.StatsCalc();
    std::memcpy(hist, layer.HistAdr(), sizeof hist);
    EXPECT_EQ(hist[0], 3u);
    EXPECT_EQ(layer.Mean(), 4.0);
    layer.SetMin(2.0), layer.SetMax(3.0);
    layer.StatsCalc();
    std::memcpy(hist, layer.HistAdr(), sizeof hist);
    EXPECT_EQ(hist[0], 1u);
    EXPECT_EQ(hist[255], 2u);
    layer.CloseLayer();

    // Phase statistics of complex data into tag 3.
    path = MakeLayer(dir, "c.rdp", 2, 1, CFLOAT32, {0, 1}, {-1, 0});
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    layer.MaxMinCount(nullptr);
    layer.StatsCalc();
    layer.CloseLayer();
    const StatisticsTag phase = ReadStats(path, kTagPhaseStatistics);
    EXPECT_EQ(phase.computed, 1);
    EXPECT_EQ(phase.minimum, 0.0);
    EXPECT_EQ(phase.maximum, kPhaseMax);
    EXPECT_EQ(phase.histogram[191], 1u);
    EXPECT_EQ(phase.histogram[0], 1u);
    EXPECT_NEAR(phase.mean, Arg(0.0f, -1.0f) / 2, 1e-12);
}

// An odd number of pixel bytes puts the statistics tag at an odd offset: the
// histogram handed out is still aligned and holds what the file stores.
TEST(RDPLayer, HistogramAddressIsAlignedWhereverTheTagLies)
{
    TempDir dir;
    for (int w : {3, 4, 5, 6}) {
        SCOPED_TRACE(w);
        RdpFileBuilder b = RdpFileBuilder::Fresh(w, 1, UINT8);
        const std::int64_t stats = b.Get32(b.TagHeader(0, kTagStatistics) + 4);
        b.Put32(stats + std::int64_t(offsetof(StatisticsTag, computed)), 1);
        for (int k = 0; k < kHistogramBins; ++k)
            b.Put32(stats + std::int64_t(offsetof(StatisticsTag, histogram)) + 4 * k, 3 * k + w);
        const std::string path = dir.File("h.rdp");
        b.Save(path);
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayer(path.c_str(), 0), nullptr);
        const unsigned* hist = layer.HistAdr();
        ASSERT_NE(hist, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(hist) % alignof(unsigned), 0u);
        EXPECT_EQ(hist[0], unsigned(w));
        EXPECT_EQ(hist[255], unsigned(3 * 255 + w));
        layer.CloseLayer();
    }
}

TEST(RDPLayer, PreviewSamplesEveryOtherSampleBottomUp)
{
    TempDir dir;
    std::vector<double> v(400 * 400, 1.0);
    v[0] = 9.0;
    v[2] = 50.0;
    v[1] = 1000.0;  // never sampled
    const std::string path = MakeLayer(dir, "p.rdp", 400, 400, FLOAT32, v);
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    layer.SetMin(1.0);
    layer.SetMean(2.0);
    layer.SetStdDev(4.0);  // clip at 10
    std::vector<unsigned char> buf(40000, 0xEE);
    layer.RescaleToPreview(buf.data());
    EXPECT_EQ(buf[39800], int((9.0 - 1.0) * (255.0 / 9.0)));
    EXPECT_EQ(buf[39801], 255);  // 50 clipped to 10
    EXPECT_EQ(buf[0], 0);

    // Without statistics the bytes are defined and bounded (all 0 here).
    layer.SetMean(0), layer.SetStdDev(0), layer.SetMin(0);
    layer.RescaleToPreview(buf.data());
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0), 40000);
    layer.SetMin(std::numeric_limits<double>::quiet_NaN());
    layer.RescaleToPreview(buf.data());
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0), 40000);
}

TEST(RDPLayer, FillsPerType)
{
    TempDir dir;
    const struct {
        int type;
        double value;
        double re, im;  // read back
    } cases[] = {
        {UINT8, 2.9, 2, 0},
        {UINT8, -1.0, 255, 0},
        {SINT8, -1.5, -1, 0},
        {UINT16, 70000, 4464, 0},
        {SINT16, 40000, -25536, 0},
        {UINT32, -1, 4294967295.0, 0},
        {SINT32, 3e9, -1294967296, 0},
        {FLOAT32, 0.1, double(0.1f), 0},
        {FLOAT64, 1e300, 1e300, 0},
        {CFLOAT32, 2.5, 2.5, 0},
        {CFLOAT64, -3, -3, 0},
        {CUINT8, 256.5, 0, 0},
        {CSINT8, 127.9, 127, 0},
        {CUINT16, 9.9, 9, 0},
        {CSINT16, -7.7, -7, 0},
        {CUINT32, 1e20, 0, 0},
        {CSINT32, -0.5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.value);
        const std::string path = MakeLayer(dir, "f.rdp", 4, 3, c.type, std::vector<double>(12, 1.0));
        CRDPLayer layer;
        FakeMeter meter;
        layer.SetMeterInfo(&meter);
        ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
        const RECT r{1, -2, 9, 1};
        EXPECT_EQ(layer.SetValue(c.value, &r), 1);
        EXPECT_EQ(meter.ranges.front(), std::make_pair(0.0, 2.0));
        EXPECT_EQ(meter.ranges.back(), std::make_pair(0.0, 100.0));
        EXPECT_EQ(meter.positions, std::vector<double>{1.0});
        for (int y = 0; y < 3; ++y) {
            double re[4], im[4] = {};
            layer.GetDoubleLine(y, re, 1);
            if (c.type >= 9)
                layer.GetDoubleLine(y, im, 2);
            for (int x = 0; x < 4; ++x) {
                const bool inside = x >= 1 && y <= 1;
                EXPECT_EQ(re[x], inside ? c.re : 1.0) << x << "," << y;
                EXPECT_EQ(im[x], inside ? c.im : 0.0) << x << "," << y;
            }
        }
        // Off the layer or inverted: nothing written anywhere.
        const Bytes before = rdptest::Load(path);
        const RECT off[] = {{4, 0, 9, 2}, {0, 3, 3, 9}, {3, 0, 2, 2}, {-5, -5, -1, -1}, {0, 2, 3, 1}};
        for (const RECT& o : off) {
            layer.SetValue(c.value, &o);
            layer.SetZero(&o);
            layer.SetValue(COMPLEX_FLOAT64{3, 4}, &o);
        }
        EXPECT_EQ(rdptest::Load(path), before);
        layer.CloseLayer();
    }
}

TEST(RDPLayer, ComplexFillsZeroFillsAndRows)
{
    TempDir dir;
    CRDPLayer layer;
    std::string path = MakeLayer(dir, "c.rdp", 2, 2, CSINT16, {5, 5, 5, 5}, {6, 6, 6, 6});
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    EXPECT_EQ(layer.SetValue(COMPLEX_FLOAT64{1.5, -2.5}, nullptr), 1);
    double re[2], im[2];
    layer.GetDoubleLine(1, re, 1);
    layer.GetDoubleLine(1, im, 2);
    EXPECT_EQ(re[1], 1);
    EXPECT_EQ(im[1], -2);
    const RECT one{1, 0, 1, 0};
    EXPECT_EQ(layer.SetValue(0.0, &one), 1);  // a zero value is a zero fill
    layer.GetDoubleLine(0, re, 1);
    layer.GetDoubleLine(0, im, 2);
    EXPECT_EQ(re[0], 1);
    EXPECT_EQ(re[1], 0);
    EXPECT_EQ(im[1], 0);
    EXPECT_EQ(CauseOf([&] { layer.GetDoubleLine(-1, re, 1); }), RDP_NEGATIVE_COORD);
    EXPECT_EQ(CauseOf([&] { layer.GetDoubleLine(2, re, 1); }), RDP_NEGATIVE_COORD);
    EXPECT_EQ(CauseOf([&] { layer.SetLineFromDouble(2, re, 1); }), RDP_NEGATIVE_COORD);
    EXPECT_EQ(CauseOf([&] { layer.GetDoubleLine(0, re, 3); }), RDP_NEGATIVE_COORD);
    EXPECT_EQ(layer.SetZero(nullptr), 1);
    layer.GetDoubleLine(1, re, 1);
    EXPECT_EQ(re[0], 0);
    layer.CloseLayer();

    path = MakeLayer(dir, "f.rdp", 2, 1, FLOAT32, {4, 4});
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    EXPECT_EQ(layer.SetValue(COMPLEX_FLOAT64{1.5, -2.5}, nullptr), 1);
    layer.GetDoubleLine(0, re, 7);  // real layers ignore the part
    EXPECT_EQ(re[0], 4);
    layer.CloseLayer();

    path = MakeLayer(dir, "d.rdp", 2, 1, CFLOAT64, {1.25, -2}, {3.5, 1e-300});
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    layer.GetDoubleLine(0, im, 2);
    EXPECT_EQ(im[0], 3.5);
    EXPECT_EQ(im[1], 1e-300);
    layer.CloseLayer();
}

TEST(RDPLayer, FinalisationByCreationFlags)
{
    TempDir dir;
    std::vector<double> v(100 * 100);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = double((i * 37) % 251);
    for (int flags = 0; flags <= 7; ++flags) {
        SCOPED_TRACE(flags);
        const std::string path = MakeLayer(dir, "fin.rdp", 100, 100, UINT8, v, {}, true);
        FakeMeter meter;
        {
            CRDPLayer layer(&meter);
            ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
            RDPLayerTestAccess::MarkCreated(layer, flags);
            EXPECT_EQ(layer.CloseLayer(), 1);
        }
        const int total = (flags & 2 ? 200 : 0) + (flags & 1 ? 100 : 0) + (flags & 4 ? 100 : 0);
        if (flags == 0) {
            EXPECT_TRUE(meter.ranges.empty());
            EXPECT_TRUE(meter.texts.empty());
        } else {
            ASSERT_EQ(meter.ranges.size(), 2u);
            EXPECT_EQ(meter.ranges[0], std::make_pair(0.0, double(total)));
            EXPECT_EQ(meter.ranges[1], std::make_pair(0.0, 100.0));
            EXPECT_EQ(meter.texts, (std::vector<std::string>{"Calculating statisticses ...", "before"}));
            EXPECT_EQ(meter.steps, total);
        }
        const StatisticsTag s = ReadStats(path);
        EXPECT_EQ(s.maximum, flags & 4 ? 250.0 : 0.0);
        EXPECT_EQ(s.computed, flags & 1 ? 1 : 0);
        std::vector<unsigned char> preview(40004);
        GetTag(path.c_str(), kTagPreview, 40004, preview.data());
        // A preview needs the statistics; without them its bytes are all 0.
        EXPECT_EQ(std::count(preview.begin() + 4, preview.end(), 0) < 40000, (flags & 3) == 3);
    }

    // Statistics already computed are not recomputed.
    const std::string path = MakeLayer(dir, "done.rdp", 100, 100, UINT8, v, {}, true);
    FakeMeter meter;
    CRDPLayer layer(&meter);
    ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
    layer.SetStatsReady(1);
    RDPLayerTestAccess::MarkCreated(layer, 1);
    layer.CloseLayer();
    EXPECT_TRUE(meter.ranges.empty());
}

// Whatever stops the finalisation (a cancel, an exhausted heap, an exception of
// nobody's library), the layer is unbound and the failure comes out as the
// library's exception; the destructor shows it and throws nothing.
TEST(RDPLayer, FailedFinalisationStillUnbinds)
{
    TempDir dir;
    const struct {
        FakeMeter::Fault fault;
        int cause;
    } kCases[] = {{FakeMeter::Fault::Cancel, RDP_CANCEL},
                  {FakeMeter::Fault::Memory, RDP_FOREIGN},
                  {FakeMeter::Fault::BadAlloc, RDP_MEMORY},
                  {FakeMeter::Fault::Foreign, RDP_FOREIGN}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.cause);
        const std::string path = MakeLayer(dir, "x.rdp", 10, 10, FLOAT32, std::vector<double>(100, 3.0), {}, true);
        FakeMeter meter;
        meter.failAt = 16;
        meter.fault = c.fault;
        CRDPLayer layer(&meter);
        ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
        RDPLayerTestAccess::MarkCreated(layer, 7);
        EXPECT_EQ(CauseOf([&] { layer.CloseLayer(); }), c.cause);
        EXPECT_TRUE(layer.IsEmpty());
        EXPECT_EQ(meter.text, "before");
        EXPECT_EQ(meter.ranges.back(), std::make_pair(0.0, 100.0));
        EXPECT_EQ(ReadStats(path).computed, 0);

        meter.steps = 0;
        plat::ScopedMessageBoxAnswerer boxes(plat::IDOK);
        {
            CRDPLayer other(&meter);
            ASSERT_NE(other.OpenLayer(path.c_str(), 1), nullptr);
            RDPLayerTestAccess::MarkCreated(other, 7);
        }
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, "Error closing object  !");
        EXPECT_EQ(boxes.Calls()[0].caption, "");
        EXPECT_FALSE(boxes.Calls()[0].owned);
    }
}

TEST(RDPLayer, TemporaryLayers)
{
    TempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    {
        CRDPLayer heap;
        void** rows = heap.CreateTempLayer(1024, 1024, UINT8);
        ASSERT_NE(rows, nullptr);
        EXPECT_TRUE(heap.IsTemp());
        EXPECT_TRUE(heap.FileName().empty());
        EXPECT_EQ(heap.GetTag(kTagStatistics), nullptr);
        static_cast<unsigned char*>(rows[1023])[1023] = 9;
        static_cast<unsigned char*>(rows[5])[0] = 200;
        heap.MaxMinCount(nullptr);
        EXPECT_EQ(heap.Min(), 0);
        EXPECT_EQ(heap.Max(), 200);
        EXPECT_EQ(CauseOf([&] { heap.StatsCalc(); }), RDP_EMPTY_LAYER);
        EXPECT_EQ(heap.HistAdr(), nullptr);
        EXPECT_EQ(heap.CloseLayer(), 1);

        CRDPLayer file;
        rows = file.CreateTempLayer(1024, 1025, UINT8);
        ASSERT_NE(rows, nullptr);
        const std::string name = file.FileName();
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(std::filesystem::path(name).parent_path(), std::filesystem::current_path());
        EXPECT_EQ(rdptest::FileSize(name), 1024 * 1025);
        static_cast<unsigned char*>(rows[1024])[1023] = 7;
        double line[1024];
        file.GetDoubleLine(1024, line, 1);
        EXPECT_EQ(line[1023], 7.0);
        EXPECT_EQ(file.CloseLayer(), 1);
        EXPECT_FALSE(std::filesystem::exists(name));

        CRDPLayer bad;
        EXPECT_EQ(bad.CreateTempLayer(0, 5, UINT8), nullptr);
        EXPECT_EQ(bad.CreateTempLayer(5, 5, 17), nullptr);
        EXPECT_EQ(CauseOf([&] { bad.CreateTempLayer(0x7FFFFFFF, 0x7FFFFFFF, CFLOAT64); }), RDP_MEMORY);
        EXPECT_TRUE(bad.IsEmpty());
    }
    std::filesystem::current_path(cwd);
}

TEST(RDPLayer, CopiesShareTheBindingAndReleaseItOnce)
{
    TempDir dir;
    const std::string path = MakeLayer(dir, "c.rdp", 3, 2, UINT8, {1, 2, 3, 4, 5, 6});
    CRDPLayer* original = new CRDPLayer;
    void** rows = original->OpenLayer(path.c_str(), 1);
    ASSERT_NE(rows, nullptr);
    CRDPLayer copy(*original);
    CRDPLayer assigned;
    assigned = *original;
    EXPECT_EQ(copy.Rows(), rows);
    delete original;  // closes its own use only
    EXPECT_EQ(static_cast<unsigned char*>(copy.Rows()[1])[2], 6);
    EXPECT_EQ(copy.CloseLayer(), 1);
    EXPECT_EQ(static_cast<unsigned char*>(assigned.Rows()[0])[0], 1);
    EXPECT_EQ(assigned.CloseLayer(), 1);

    CRDPLayer temp;
    temp.CreateTempLayer(4, 4, FLOAT64);
    CRDPLayer tempCopy = temp;
    temp.CloseLayer();
    double line[4] = {1, 2, 3, 4};
    tempCopy.SetLineFromDouble(3, line, 1);
}

TEST(RDPLayer, DeleteTMPRemovesOnlyTheFilesOwnCaches)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("a.b"));
    const auto touch = [](const std::string& p) { std::fclose(std::fopen(p.c_str(), "w")); };
    const std::string path = MakeLayer(dir, "a.b/img.rdp", 2, 2, UINT8, {});
    for (const char* name : {"a.b/img.tmp", "a.b/img.tmf", "a.tmp", "a.tmf", "a.b/noext.tmp", "x.tmp", "x.tmf"})
        touch(dir.File(name));
    touch(dir.File("a.b/noext"));

    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayer(path.c_str(), 0), nullptr);
    EXPECT_EQ(layer.DeleteTMP(1, ""), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.b/img.tmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("a.b/img.tmf")));
    EXPECT_EQ(layer.DeleteTMP(0, ""), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.b/img.tmf")));
    EXPECT_EQ(layer.DeleteTMP(0, ""), 0);
    layer.CloseLayer();

    EXPECT_EQ(layer.DeleteTMP(0, dir.File("a.b/noext")), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.b/noext.tmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("a.tmp")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("a.tmf")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("a.b/noext")));
    EXPECT_EQ(layer.DeleteTMP(0, dir.File("x.rdp")), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.tmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.tmf")));
}

// Tags 2, 3 and 4 of finalised layers, checked independently with numpy.
TEST(RDPLayer, StatisticsAndPreviewAgreeWithNumpy)
{
    TempDir dir;
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(100.0, 30.0);
    const struct {
        int type;
        int w, h;
        int cycle;  // samples 0, 1 .. cycle - 1 over and over; 0: normally distributed
    } cases[] = {{FLOAT32, 237, 301, 0},
                 {SINT16, 450, 199, 0},
                 {UINT8, 640, 401, 0},
                 {CSINT16, 211, 233, 0},
                 {CFLOAT32, 199, 203, 0},
                 // Maxima whose 255 / range rounds: every value below them keeps its bin.
                 {UINT8, 106, 3, 106},
                 {UINT16, 201, 2, 201},
                 {FLOAT64, 187, 2, 187},
                 // Large enough to be shared out among threads.
                 {FLOAT32, 1100, 1001, 0},
                 {CFLOAT32, 1030, 1021, 0}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        std::vector<double> re(size_t(c.w) * c.h), im(c.type >= 9 ? re.size() : 0);
        for (size_t i = 0; i < re.size(); ++i)
            re[i] = c.cycle ? double(int(i) % c.cycle) : std::round(normal(rng) * 4) / 4;
        for (double& x : im)
            x = std::round(normal(rng) - 100);
        const std::string path = MakeLayer(dir, "np" + std::to_string(n++) + ".rdp", c.w, c.h, c.type, re, im, true);
        {
            CRDPLayer layer;
            ASSERT_NE(layer.OpenLayer(path.c_str(), 1), nullptr);
            RDPLayerTestAccess::MarkCreated(layer, 7);
        }
        const std::string cmd =
            "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/base/layer_stats_check.py '" + path + "' 2>&1";
        const testsupport::CommandResult run = testsupport::RunCommand(cmd);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output, "OK\n");
    }
}

}  // namespace
