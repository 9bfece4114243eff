#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "platform/paint/DeviceContext.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/paint/SysColors.h"
#include "VectorTestSupport.h"
#include "layer/RDPFileTags.h"

using namespace vectortest;

namespace {

constexpr plat::ColorRef kRed = plat::Rgb(255, 0, 0);
constexpr plat::ColorRef kGreen = plat::Rgb(0, 255, 0);

class VectorImageFile : public ::testing::Test {
protected:
    void SetUp() override { MakeRasterFile(path); }
    // Every refusal is an answer, never a fault report.
    void TearDown() override { EXPECT_TRUE(boxes.Calls().empty()); }

    // The tag chain of layer 0 and the tag 500 payload, as the outside reader sees them.
    std::string Dump() const { return RunCommand(Tool("vector_block.py") + " '" + path + "'"); }

    static std::string Words(const std::vector<std::uint32_t>& words)
    {
        std::string out = "words";
        char buf[16];
        for (std::uint32_t w : words) {
            std::snprintf(buf, sizeof buf, " %08x", w);
            out += buf;
        }
        return out + "\n";
    }

    testsupport::TempDir dir;
    std::string path = dir.File("image.rdp");
    plat::ScopedMessageBoxAnswerer boxes{plat::IDOK};
};

struct LayoutCase {
    const char* name;
    std::function<void(CVectorImage&)> ops;
    std::vector<std::uint32_t> words;  // the whole payload
};

const LayoutCase kLayouts[] = {
    {"new block", [](CVectorImage&) {}, {20, 0, 0, 0, 20}},
    {"one layer", [](CVectorImage& v) { v.AddLayer(kRed); }, {48, 0, 0, 1, 48, 0xFF, 0, 0, 0, 0, 0, 0}},
    {"line of three vertices",
     [](CVectorImage& v) {
         v.AddLayer(kRed);
         AddLine(v, 0, {{0, 0}, {1, 1}, {2, 0}});
     },
     {80, 0, 0, 1, 80, 0xFF, 0, 1, 0, 48, 0, 48, 3, 0, F(0), F(0), F(1), F(1), F(2), F(0)}},
    {"a point and a line",
     [](CVectorImage& v) {
         v.AddLayer(kRed);
         v.Add(0, Pt(1.5f, 2.5f));
         AddLine(v, 0, {{3, 4}, {5, 6}});
     },
     {84, 0, 0, 1, 84, 0xFF, 1, 1, 48, 60, 48, 60, F(1.5f), F(2.5f), 0, 2, 0, F(3), F(4), F(5), F(6)}},
    // The second layer's record pushes the first layer's point up by 28 bytes.
    {"layer added behind records",
     [](CVectorImage& v) {
         v.AddLayer(kRed);
         v.Add(0, Pt(1, 2));
         v.AddLayer(kGreen);
         v.Add(1, Pt(3, 4));
         v.Add(0, Pt(5, 6));
     },
     {112, 0,  0, 2,  112, 0xFF, 2,    0,   76,   0,    100, 0,    0xFF00, 1,
      0,   88, 0, 88, 0,   F(1), F(2), 100, F(3), F(4), 0,   F(5), F(6),   0}},
    // Ignored: a layer that does not exist and a line without vertices.
    {"additions that do nothing",
     [](CVectorImage& v) {
         v.AddLayer(kRed);
         v.Add(1, Pt(1, 2));
         v.Add(-1, Pt(1, 2));
         AddLine(v, 0, {});
         AddLine(v, 1, {{1, 1}, {2, 2}});
     },
     {48, 0, 0, 1, 48, 0xFF, 0, 0, 0, 0, 0, 0}},
};

TEST_F(VectorImageFile, BlockLayoutsAsTheOutsideReaderSeesThem)
{
    for (const LayoutCase& c : kLayouts) {
        SCOPED_TRACE(c.name);
        MakeRasterFile(path);
        CVectorImage image;
        ASSERT_EQ(image.Create(path.c_str()), 1);
        c.ops(image);
        EXPECT_EQ(image.GetUsedSize(), int(c.words.size() * 4));
        ASSERT_EQ(image.Save(), 1);
        EXPECT_EQ(image.IsOpen(), 0);
        EXPECT_EQ(Dump(), "tags 0 1 2 500\n" + Words(c.words));
        ASSERT_EQ(image.Open(path.c_str()), 1) << image.GetReason();
        EXPECT_EQ(image.GetUsedSize(), int(c.words.size() * 4));
    }
}

TEST_F(VectorImageFile, SaveAndOpenGiveBackLayersColoursPointsAndLines)
{
    CVectorImage image;
    EXPECT_EQ(image.Create(path.c_str()), 1);
    EXPECT_EQ(image.Create(path.c_str()), 0) << "a block is held already";
    image.AddLayer(kRed);
    image.AddLayer(kGreen);
    image.AddLayer(plat::Rgb(1, 2, 3));
    image.Add(0, Pt(1, 2));
    AddLine(image, 2, {{1, 1}, {2, 2}, {3, 1}});
    image.Add(2, Pt(-4.25f, 1e6f));
    AddLine(image, 0, {{7, 8}});
    image.Add(0, Pt(3, 4));
    EXPECT_EQ(image.GetColor(0), 0x000000FFu);
    EXPECT_EQ(image.GetColor(3), 0u);
    EXPECT_EQ(image.LayerIsEmpty(1), 1);
    EXPECT_EQ(image.LayerIsEmpty(2), 0);
    const std::string before = Describe(image, 0) + "|" + Describe(image, 1) + "|" + Describe(image, 2);
    EXPECT_EQ(before, "p 1 2\np 3 4\nl 7 8\n||p -4.25 1e+06\nl 1 1 2 2 3 1\n");
    image.SetPaintMode(1, -1);

    ASSERT_EQ(image.Save(), 1);
    EXPECT_EQ(image.IsOpen(), 0);
    EXPECT_EQ(image.GetNumLayer(), 0);
    EXPECT_EQ(image.Save(), 0) << "nothing held";

    ASSERT_EQ(image.Open(path.c_str()), 1) << image.GetReason();
    EXPECT_EQ(image.Open(path.c_str()), 0) << "a block is held already";
    EXPECT_EQ(image.GetNumLayer(), 3);
    EXPECT_EQ(image.GetColor(1), 0x0000FF00u);
    EXPECT_EQ(image.GetColor(2), 0x00030201u);
    EXPECT_EQ(Describe(image, 0) + "|" + Describe(image, 1) + "|" + Describe(image, 2), before);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(image.GetPaintMode(i), 0) << "an opened overlay starts hidden";
    // Editing goes on where the records end.
    image.Add(1, Pt(9, 9));
    ASSERT_EQ(image.Save(), 1);
    ASSERT_EQ(image.Open(path.c_str()), 1);
    EXPECT_EQ(Describe(image, 1), "p 9 9\n");
}

TEST_F(VectorImageFile, ReSavingLargerMovesTheTagAndSmallerWritesInPlace)
{
    CVectorImage image;
    image.Create(path.c_str());
    image.AddLayer(kRed);
    ASSERT_EQ(image.Save(), 1);

    // Larger: the payload moves to the end of the file, still one tag 500.
    ASSERT_EQ(image.Open(path.c_str()), 1);
    image.Add(0, Pt(1, 2));
    image.Add(0, Pt(3, 4));
    ASSERT_EQ(image.Save(), 1);
    EXPECT_EQ(Dump(),
              "tags 0 1 2 500\n" + Words({72, 0, 0, 1, 72, 0xFF, 2, 0, 48, 0, 60, 0, F(1), F(2), 60, F(3), F(4), 0}));

    // Smaller: written in place; the stored length stays, the rest is cleared.
    image.Create(path.c_str());
    image.AddLayer(kGreen);
    ASSERT_EQ(image.Save(), 1);
    EXPECT_EQ(Dump(), "tags 0 1 2 500\n" + Words({72, 0, 0, 1, 48, 0xFF00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // What is added after opening lies right behind the records, where Save writes it.
    ASSERT_EQ(image.Open(path.c_str()), 1) << image.GetReason();
    EXPECT_EQ(image.GetUsedSize(), 48);
    image.Add(0, Pt(5, 6));
    ASSERT_EQ(image.Save(), 1);
    EXPECT_EQ(Dump(),
              "tags 0 1 2 500\n" + Words({72, 0, 0, 1, 60, 0xFF00, 1, 0, 48, 0, 48, 0, F(5), F(6), 0, 0, 0, 0}));
    ASSERT_EQ(image.Open(path.c_str()), 1);
    EXPECT_EQ(Describe(image, 0), "p 5 6\n");
}

// The overlay's copy flag is 0: copying every user tag leaves it behind, naming it copies it.
TEST_F(VectorImageFile, CopyingEveryTagLeavesTheOverlayBehind)
{
    CVectorImage image;
    image.Create(path.c_str());
    image.AddLayer(kRed);
    image.Add(0, Pt(1, 2));
    ASSERT_EQ(image.Save(), 1);
    const std::string copy = dir.File("copy.rdp");
    MakeRasterFile(copy);
    EXPECT_EQ(CopyTag(copy.c_str(), path.c_str()), 0);
    EXPECT_EQ(GetSizeTag(copy.c_str(), kVectorTagNumber), 0);
    const int tags[] = {kVectorTagNumber};
    EXPECT_EQ(CopyTag(copy.c_str(), path.c_str(), tags, 1), 1);
    ASSERT_EQ(image.Open(copy.c_str()), 1) << image.GetReason();
    EXPECT_EQ(Describe(image, 0), "p 1 2\n");
}

struct MalformedCase {
    const char* name;
    std::vector<std::int32_t> words;  // word 0 becomes the payload's length
    const char* reason;               // a part of the refusal's text
};

const std::int32_t kF1 = std::int32_t(F(1));
const MalformedCase kMalformed[] = {
    {"shorter than the header", {16, 0, 0, 0}, "shorter"},
    {"negative layer count", {20, 0, 0, -1, 20}, "negative"},
    {"layer count too large", {48, 0, 0, 2, 48, 0xFF, 0, 0, 0, 0, 0, 0}, "layer records"},
    {"used size beyond the tag", {48, 0, 0, 1, 52, 0xFF, 0, 0, 0, 0, 0, 0}, "exceeds"},
    {"negative point count", {48, 0, 0, 1, 48, 0xFF, -1, 0, 0, 0, 0, 0}, "negative count"},
    {"point link outside", {60, 0, 0, 1, 60, 0xFF, 1, 0, 52, 0, 52, 0, kF1, kF1, 0}, "point link"},
    {"point link into the layer records", {60, 0, 0, 1, 60, 0xFF, 1, 0, 20, 0, 20, 0, kF1, kF1, 0}, "point link"},
    {"point chain loops", {72, 0, 0, 1, 72, 0xFF, 2, 0, 48, 0, 60, 0, kF1, kF1, 60, kF1, kF1, 48}, "chain"},
    {"looping chain with a huge count",
     {72, 0, 0, 1, 72, 0xFF, INT_MAX, 0, 48, 0, 60, 0, kF1, kF1, 60, kF1, kF1, 48},
     "more records"},
    {"more points than counted", {72, 0, 0, 1, 72, 0xFF, 1, 0, 48, 0, 48, 0, kF1, kF1, 60, kF1, kF1, 0}, "chain"},
    {"fewer points than counted", {72, 0, 0, 1, 72, 0xFF, 3, 0, 48, 0, 60, 0, kF1, kF1, 60, kF1, kF1, 0}, "point link"},
    {"last point link wrong", {72, 0, 0, 1, 72, 0xFF, 2, 0, 48, 0, 48, 0, kF1, kF1, 60, kF1, kF1, 0}, "chain"},
    {"line of no vertices", {56, 0, 0, 1, 56, 0xFF, 0, 1, 0, 48, 0, 48, 0, 0}, "0 vertices"},
    {"line longer than the block", {64, 0, 0, 1, 64, 0xFF, 0, 1, 0, 48, 0, 48, 3, 0, kF1, kF1, kF1, kF1}, "3 vertices"},
    {"line of huge count", {64, 0, 0, 1, 64, 0xFF, 0, 1, 0, 48, 0, 48, INT_MAX, 0, kF1, kF1, kF1, kF1}, "vertices"},
    {"two layers share a point",
     {100, 0, 0, 2, 100, 0xFF, 1, 0, 76, 0, 76, 0, 0xFF, 1, 0, 76, 0, 76, 0, kF1, kF1, 0, 0, 0, 0},
     "overlap"},
    {"records leave a gap", {72, 0, 0, 1, 72, 0xFF, 1, 0, 60, 0, 60, 0, 0, 0, 0, kF1, kF1, 0}, "gaps"},
};

TEST_F(VectorImageFile, MalformedPayloadsAreRefusedAndLeaveTheObjectEmpty)
{
    for (const MalformedCase& c : kMalformed) {
        SCOPED_TRACE(c.name);
        MakeRasterFile(path);
        std::vector<std::int32_t> words = c.words;
        ASSERT_EQ(SetTag(path.c_str(), kVectorTagNumber, int(words.size() * 4), words.data()), 1);
        CVectorImage image;
        EXPECT_EQ(image.Open(path.c_str()), 0);
        EXPECT_EQ(image.IsOpen(), 0);
        EXPECT_EQ(image.GetNumLayer(), 0);
        EXPECT_EQ(image.GetFileName(), "");
        EXPECT_NE(image.GetReason().find(c.reason), std::string::npos) << image.GetReason();
        EXPECT_EQ(image.SetFirstPoint(0), nullptr);
    }
    CVectorImage image;
    EXPECT_EQ(image.Open(path.c_str()), 0);
    MakeRasterFile(path);
    EXPECT_EQ(image.Open(path.c_str()), 0) << "no tag 500";
    EXPECT_EQ(image.Open(dir.File("missing.rdp").c_str()), 0);
}

// Every word of a good block replaced by hostile values: the block is refused, or it
// opens whole and takes every use (the sanitizers watch each access).
TEST_F(VectorImageFile, DamagedWordsAreRefusedOrOpenWhole)
{
    CVectorImage image;
    image.Create(path.c_str());
    image.AddLayer(kRed);
    image.AddLayer(kGreen);
    image.Add(0, Pt(1, 2));
    AddLine(image, 0, {{1, 1}, {2, 2}});
    image.Add(1, Pt(3, 4));
    image.Add(0, Pt(5, 6));
    ASSERT_EQ(image.Save(), 1);
    std::vector<std::int32_t> words(std::size_t(GetSizeTag(path.c_str(), kVectorTagNumber)) / 4);
    ASSERT_EQ(GetTag(path.c_str(), kVectorTagNumber, int(words.size() * 4), words.data()), 1);

    const std::int32_t hostile[] = {0, 1, -1, 4, 20, 48, 76, 80, INT_MAX, INT_MIN, std::int32_t(words.size() * 4)};
    int opened = 0;
    for (std::size_t w = 1; w < words.size(); ++w) {
        for (std::int32_t v : hostile) {
            std::vector<std::int32_t> damaged = words;
            damaged[w] = v;
            ASSERT_EQ(SetTag(path.c_str(), kVectorTagNumber, int(damaged.size() * 4), damaged.data()), 1);
            CVectorImage probe;
            if (!probe.Open(path.c_str())) {
                EXPECT_FALSE(probe.GetReason().empty());
                continue;
            }
            ++opened;
            plat::DeviceContext dc(16, 16);
            probe.SetPaintMode(1, -1);
            probe.Paint(&dc, 0.5, CPoint{}, -1);
            for (int i = 0; i < probe.GetNumLayer(); ++i)
                Describe(probe, i);
            probe.AddLayer(kRed);
            probe.Add(0, Pt(7, 7));
            AddLine(probe, 1, {{0, 0}, {1, 1}});
            ASSERT_EQ(probe.Save(), 1);
            ASSERT_EQ(probe.Open(path.c_str()), 1) << "word " << w << " = " << v << ": " << probe.GetReason();
        }
    }
    EXPECT_GT(opened, 0) << "coordinates, colours and the unread words may change freely";
}

TEST_F(VectorImageFile, GrowthTakesLargeLinesAndRefusesImpossibleOnesUnchanged)
{
    CVectorImage image;
    ASSERT_EQ(image.Create(path.c_str(), 64), 1);
    image.AddLayer(kRed);
    // Larger than one growth step on its own.
    std::vector<VectorVertex> many(70000);
    for (std::size_t k = 0; k < many.size(); ++k)
        many[k] = {float(k), float(k % 7)};
    AddLine(image, 0, many);
    EXPECT_EQ(image.GetUsedSize(), 48 + 8 + 8 * 70000);
    // A line handed out by the block itself, added while the block grows again.
    image.Add(0, *image.SetFirstLine(0));
    const int used = image.GetUsedSize();
    EXPECT_EQ(used, 48 + 2 * (8 + 8 * 70000));

    // A line too large for any block: refused before its vertices are read.
    CVectorImage::Line huge{INT_MAX / 8, 0};
    image.Add(0, huge);
    EXPECT_EQ(image.GetUsedSize(), used);
    EXPECT_NE(image.GetReason().find("2 GiB"), std::string::npos);

    ASSERT_EQ(image.Save(), 1);
    ASSERT_EQ(image.Open(path.c_str()), 1);
    int lines = 0;
    for (auto* l = image.SetFirstLine(0); l; l = image.GetNextLine(), ++lines) {
        ASSERT_EQ(l->n, 70000);
        EXPECT_EQ(l->Vertices()[69999].x, 69999.0f);
    }
    EXPECT_EQ(lines, 2);
}

TEST_F(VectorImageFile, FailedSaveKeepsTheOverlayUsable)
{
    const std::string elsewhere = dir.File("later.rdp");
    CVectorImage image;
    image.Create(elsewhere.c_str());
    image.AddLayer(kRed);
    image.Add(0, Pt(1, 2));
    EXPECT_EQ(image.Save(), 0) << "the raster file does not exist yet";
    EXPECT_EQ(image.IsOpen(), 1);
    EXPECT_FALSE(image.GetReason().empty());
    image.Add(0, Pt(3, 4));
    MakeRasterFile(elsewhere);
    ASSERT_EQ(image.Save(), 1);
    ASSERT_EQ(image.Open(elsewhere.c_str()), 1);
    EXPECT_EQ(Describe(image, 0), "p 1 2\np 3 4\n");
}

TEST_F(VectorImageFile, PaintModesAndColoursIgnoreLayersOutOfRange)
{
    CVectorImage image;
    image.SetPaintMode(1, 0);  // no block
    image.Create(path.c_str());
    image.AddLayer(kRed);
    image.AddLayer(kGreen);
    image.SetPaintMode(5, 7);
    image.SetPaintMode(5, -2);
    image.SetColor(2, kGreen);
    EXPECT_EQ(image.GetPaintMode(0), 0);
    EXPECT_EQ(image.GetPaintMode(1), 0);
    image.SetPaintMode(3, -1);
    EXPECT_EQ(image.GetPaintMode(0), 3);
    EXPECT_EQ(image.GetPaintMode(1), 3);
    image.SetPaintMode(0, 1);
    EXPECT_EQ(image.GetPaintMode(1), 0);
    EXPECT_EQ(image.Paint(nullptr, 1.0, CPoint{}, 5), 0);
    image.Destroy();
    EXPECT_EQ(image.IsOpen(), 0);
    EXPECT_EQ(image.GetFileName(), path) << "the file name stays";
    EXPECT_EQ(image.GetColor(0), 0u);
    EXPECT_EQ(image.LayerIsEmpty(0), 1);
    EXPECT_EQ(image.AddLayer(kRed), 0);
}

}  // namespace
