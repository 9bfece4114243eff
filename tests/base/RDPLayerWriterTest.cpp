#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RdpFileBuilder.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayerWriter.h"

namespace {

using rdptest::Bytes;
using rdptest::FileSize;
using rdptest::Load;
using rdptest::RdpFileBuilder;

class RDPLayerWriterTest : public rdptest::FileTest {
protected:
    static rdpwrite::LayerShape Shape(int w, int h, int type, bool preview = false)
    {
        const auto s = rdpwrite::MakeShape(w, h, type, preview);
        EXPECT_TRUE(s.has_value());
        return s.value_or(rdpwrite::LayerShape{});
    }
};

struct ShapeCase {
    int w, h, type;
    bool preview;
};
constexpr ShapeCase kShapes[] = {
    {3, 2, UINT8, false},   {3, 2, UINT8, true},     {3, 2, CFLOAT32, false}, {4, 1, CSINT16, true},
    {1, 1, FLOAT64, false}, {5, 7, CFLOAT64, false}, {2, 3, UINT32, true},
};

TEST_F(RDPLayerWriterTest, FreshFileIsTheLaidOutLayerByteForByte)
{
    for (const auto& c : kShapes) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " type " << c.type << " preview " << c.preview);
        const auto shape = Shape(c.w, c.h, c.type, c.preview);
        const std::string path = dir.File("fresh.rdp");
        ASSERT_TRUE(rdpwrite::WriteFreshFile(path.c_str(), shape));
        const auto want = RdpFileBuilder::Fresh(c.w, c.h, c.type, c.preview);
        EXPECT_EQ(Load(path), want.bytes);
        EXPECT_EQ(rdpwrite::FreshFileSize(shape), want.Size());
    }
    EXPECT_EQ(Entries(), 1);  // no temporary left beside it
}

TEST_F(RDPLayerWriterTest, TheThreeByTwoByteLayerIs1170Bytes)
{
    const std::string path = dir.File("small.rdp");
    ASSERT_TRUE(rdpwrite::WriteFreshFile(path.c_str(), Shape(3, 2, UINT8)));
    EXPECT_EQ(FileSize(path), 1170);
    EXPECT_EQ(GetNumLayer(path.c_str()), 1);
    EXPECT_EQ(GetNextTag(path.c_str(), 0), 1);
    EXPECT_EQ(GetSizeTag(path.c_str(), kTagStatistics), 1064);
}

TEST_F(RDPLayerWriterTest, ShapesRefuseEmptySidesUnknownTypesAndUnaddressableFiles)
{
    EXPECT_FALSE(rdpwrite::MakeShape(0, 2, UINT8, false));
    EXPECT_FALSE(rdpwrite::MakeShape(3, -1, UINT8, false));
    EXPECT_FALSE(rdpwrite::MakeShape(3, 2, 0, false));
    EXPECT_FALSE(rdpwrite::MakeShape(3, 2, 17, false));
    // 65536 x 65536 x 16 bytes overflows 32 bits many times over; in 64 bits it is exact.
    const auto huge = rdpwrite::MakeShape(65536, 65536, CFLOAT64, false);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->pixelBytes, std::int64_t(1) << 36);

    // The largest pixel block a real layer without preview can have, and one byte more.
    const std::int64_t room = kRDPMaxFileSize - 1164;
    EXPECT_EQ(rdpwrite::FreshFileSize(Shape(int(room), 1, UINT8)), kRDPMaxFileSize);
    const std::string path = dir.File("big.rdp");
    EXPECT_FALSE(rdpwrite::WriteFreshFile(path.c_str(), Shape(int(room) + 1, 1, UINT8)));
    EXPECT_FALSE(rdpwrite::WriteFreshFile(path.c_str(), *huge));
    EXPECT_EQ(Entries(), 0);
}

TEST_F(RDPLayerWriterTest, AFailedFreshFileLeavesTheOldFileAndNoTemporary)
{
    const std::string path = Save(RdpFileBuilder::Fresh(2, 2, SINT16));
    const Bytes before = Load(path);
    const auto tooBig = Shape(kRDPMaxFileSize / 2, 1, UINT16);
    EXPECT_FALSE(rdpwrite::WriteFreshFile(path.c_str(), tooBig));
    EXPECT_EQ(Load(path), before);
    EXPECT_FALSE(rdpwrite::WriteFreshFile(dir.File("no/such/folder.rdp").c_str(), Shape(1, 1, UINT8)));
    EXPECT_FALSE(rdpwrite::WriteFreshFile("", Shape(1, 1, UINT8)));
    EXPECT_EQ(Entries(), 1);

    // A good one replaces it.
    EXPECT_TRUE(rdpwrite::WriteFreshFile(path.c_str(), Shape(3, 2, UINT8)));
    EXPECT_EQ(Load(path), RdpFileBuilder::Fresh(3, 2, UINT8).bytes);
}

TEST_F(RDPLayerWriterTest, AppendedLayersAreLaidOutBehindTheFile)
{
    for (const auto& c : kShapes) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " type " << c.type << " preview " << c.preview);
        auto want = RdpFileBuilder::Fresh(3, 2, UINT8);
        want.AddLayer(4, 4, CFLOAT32, true);
        const std::string path = Save(want);
        want.AddLayer(c.w, c.h, c.type, c.preview);

        EXPECT_EQ(rdpwrite::AppendLayer(path.c_str(), Shape(c.w, c.h, c.type, c.preview)), 2);
        EXPECT_EQ(Load(path), want.bytes);
        EXPECT_EQ(GetNumLayer(path.c_str()), 3);
        EXPECT_EQ(GetNumTag(path.c_str(), 2), 3 + IsComplexType(c.type) + (c.preview ? 1 : 0));
    }
}

TEST_F(RDPLayerWriterTest, AppendRefusesWhatItCannotExtendAndLeavesItUntouched)
{
    auto renumbered = RdpFileBuilder::Fresh(3, 2, UINT8);
    renumbered.AddLayer(1, 1, UINT8);
    renumbered.Put32(renumbered.RecordOffset(1), 5);  // last record not numbered 1
    auto looping = RdpFileBuilder::Fresh(3, 2, UINT8);
    looping.Put32(20, 12);
    auto broken = RdpFileBuilder::Fresh(3, 2, UINT8);
    broken.Put32(20, 5000);
    RdpFileBuilder text;
    text.bytes.assign(40, 'x');

    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case kCases[] = {
        {"version 2", RdpFileBuilder::Version2(3, 2, UINT8).bytes},
        {"version 4",
         [] {
             auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
             b.Put32(4, 4);
             return b.bytes;
         }()},
        {"header only", RdpFileBuilder().bytes},
        {"not a layer file", text.bytes},
        {"empty", {}},
        {"renumbered", renumbered.bytes},
        {"looping records", looping.bytes},
        {"record beyond the end", broken.bytes},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.File("bad.rdp");
        RdpFileBuilder b;
        b.bytes = c.bytes;
        b.Save(path);
        EXPECT_FALSE(rdpwrite::AppendLayer(path.c_str(), Shape(3, 2, UINT8)));
        EXPECT_EQ(Load(path), c.bytes);
    }
    EXPECT_FALSE(rdpwrite::AppendLayer(dir.File("missing.rdp").c_str(), Shape(3, 2, UINT8)));
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.rdp")));
}

TEST_F(RDPLayerWriterTest, AppendRefusesToGrowPastThirtyTwoBitOffsets)
{
    const std::string path = Save(RdpFileBuilder::Fresh(3, 2, UINT8));
    const std::int64_t room = kRDPMaxFileSize - 1170 - 20 - 52 - 12 - 1064;
    EXPECT_FALSE(rdpwrite::AppendLayer(path.c_str(), Shape(int(room) + 1, 1, UINT8)));
    EXPECT_EQ(FileSize(path), 1170);
    EXPECT_EQ(GetNumLayer(path.c_str()), 1);
}

// Record offsets of a chain and the layer header width of every layer, which the
// fixtures make unique per layer.
std::vector<int> Widths(const std::string& path)
{
    std::vector<int> widths;
    const int n = GetNumLayer(path.c_str());
    for (int i = 0; i < n; ++i) {
        LayerHeaderTag head{};
        widths.push_back(GetTag(path.c_str(), i, kTagLayerHeader, sizeof head, &head) ? head.width : -1);
    }
    return widths;
}

TEST_F(RDPLayerWriterTest, UnlinkRelinksAndRenumbersTheChain)
{
    struct Case {
        int layers;
        int removed;
        std::vector<int> widths;  // widths of the layers left, in order
    };
    const Case kCases[] = {
        {3, 1, {1, 3}}, {3, 2, {1, 2}}, {3, 0, {2, 3}}, {2, 0, {2}}, {2, 1, {1}}, {4, 0, {2, 3, 4}}, {4, 1, {1, 3, 4}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.layers << " layers, removing " << c.removed);
        auto b = RdpFileBuilder::Fresh(1, 1, UINT8);
        for (int i = 1; i < c.layers; ++i)
            b.AddLayer(i + 1, 1, UINT8);
        const std::string path = Save(b);
        ASSERT_EQ(Widths(path), [&] {
            std::vector<int> w;
            for (int i = 1; i <= c.layers; ++i)
                w.push_back(i);
            return w;
        }());

        EXPECT_TRUE(rdpwrite::UnlinkLayer(path.c_str(), c.removed));
        EXPECT_EQ(Widths(path), c.widths);
        EXPECT_EQ(GetVersion(path.c_str()), 3);
        EXPECT_EQ(FileSize(path), b.Size());  // the file never shrinks
        // Numbers along the chain are consecutive again.
        const Bytes bytes = Load(path);
        RdpFileBuilder after;
        after.bytes = bytes;
        for (int i = 0; i < int(c.widths.size()); ++i)
            EXPECT_EQ(after.Get32(after.RecordOffset(i)), i);
        // A layer appended afterwards takes the next number.
        EXPECT_EQ(rdpwrite::AppendLayer(path.c_str(), Shape(9, 1, UINT8)), int(c.widths.size()));
    }
}

TEST_F(RDPLayerWriterTest, UnlinkRefusesWhatIsNotInTheChain)
{
    const std::string one = Save(RdpFileBuilder::Fresh(3, 2, UINT8), "one.rdp");
    const std::string v2 = Save(RdpFileBuilder::Version2(3, 2, UINT8), "v2.rdp");
    auto two = RdpFileBuilder::Fresh(3, 2, UINT8);
    two.AddLayer(1, 1, UINT8);
    const std::string twoPath = Save(two, "two.rdp");
    const Bytes oneBefore = Load(one), v2Before = Load(v2);

    EXPECT_FALSE(rdpwrite::UnlinkLayer(one.c_str(), 0));  // the only layer: the caller removes the file
    EXPECT_FALSE(rdpwrite::UnlinkLayer(v2.c_str(), 0));
    EXPECT_FALSE(rdpwrite::UnlinkLayer(twoPath.c_str(), 2));
    EXPECT_FALSE(rdpwrite::UnlinkLayer(twoPath.c_str(), -1));
    EXPECT_FALSE(rdpwrite::UnlinkLayer(dir.File("missing.rdp").c_str(), 0));
    EXPECT_EQ(Load(one), oneBefore);
    EXPECT_EQ(Load(v2), v2Before);
    EXPECT_EQ(Load(twoPath), two.bytes);
}

}  // namespace
