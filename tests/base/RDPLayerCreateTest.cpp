#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "RdpFileBuilder.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"

namespace {

using rdptest::Bytes;
using rdptest::CauseOf;
using rdptest::FileSize;
using rdptest::Load;
using rdptest::RdpFileBuilder;
using rdptest::UserPayload;

namespace fs = std::filesystem;

class RDPLayerCreateTest : public rdptest::FileTest {
protected:
    static void Touch(const std::string& path) { std::ofstream(path) << "cache"; }
    // Width of each layer's header along the chain.
    static std::vector<int> Widths(const std::string& path)
    {
        std::vector<int> widths;
        for (int i = 0; i < GetNumLayer(path.c_str()); ++i) {
            LayerHeaderTag head{};
            widths.push_back(GetTag(path.c_str(), i, kTagLayerHeader, sizeof head, &head) ? head.width : -1);
        }
        return widths;
    }
};

TEST_F(RDPLayerCreateTest, CreatedFilesAreTheLaidOutLayerAndBindIt)
{
    struct Case {
        int w, h, type, flags;
    };
    const Case kCases[] = {
        {3, 2, UINT8, 0}, {3, 2, UINT8, 2}, {4, 3, CFLOAT32, 0}, {2, 5, CSINT16, 3}, {7, 1, FLOAT64, 4}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " type " << c.type << " flags " << c.flags);
        const std::string path = dir.File("new.rdp");
        CRDPLayer layer;
        void** rows = layer.CreateLayer(path.c_str(), c.w, c.h, c.type, c.flags);
        ASSERT_NE(rows, nullptr);
        // Compared while bound: closing finalises by the flags.
        EXPECT_EQ(Load(path), RdpFileBuilder::Fresh(c.w, c.h, c.type, (c.flags & 2) != 0).bytes);
        EXPECT_EQ(layer.Width(), c.w);
        EXPECT_EQ(layer.Height(), c.h);
        EXPECT_EQ(layer.Type(), c.type);
        EXPECT_EQ(layer.LayerNumber(), 0);
        EXPECT_EQ(layer.CreationFlags(), c.flags);
        EXPECT_TRUE(layer.IsWritable());
        EXPECT_EQ(layer.FileName(), fs::canonical(path).string());
        EXPECT_EQ(layer.PreviewTag() != nullptr, (c.flags & 2) != 0);
        // The rows are the file's pixels at offset 84.
        const int size = GetDataTypeSize(c.type);
        std::memset(rows[c.h - 1], 0x5A, size_t(size));
        EXPECT_EQ(Load(path)[size_t(84 + (c.h - 1) * c.w * size)], 0x5A);
        EXPECT_EQ(layer.CloseLayer(), 1);
    }
    EXPECT_EQ(Entries(), 1);
}

TEST_F(RDPLayerCreateTest, FreshThreeByTwoLayerIs1170BytesAndFinalisedAtClose)
{
    const std::string small = dir.File("small.rdp");
    {
        CRDPLayer layer;
        ASSERT_NE(layer.CreateLayer(small.c_str(), 3, 2, UINT8, 0), nullptr);
    }
    EXPECT_EQ(Load(small), RdpFileBuilder::Fresh(3, 2, UINT8).bytes);
    EXPECT_EQ(FileSize(small), 1170);

    const std::string path = dir.File("flags7.rdp");
    CRDPLayer layer;
    void** rows = layer.CreateLayer(path.c_str(), 100, 100, UINT8, 7);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(FileSize(path), 41180 + 10000);
    static_cast<unsigned char*>(rows[10])[20] = 255;
    static_cast<unsigned char*>(rows[0])[0] = 3;
    ASSERT_EQ(layer.CloseLayer(), 1);

    std::vector<int> chain{0};
    for (int t = GetNextTag(path.c_str(), 0); t != 0; t = GetNextTag(path.c_str(), t))
        chain.push_back(t);
    EXPECT_EQ(chain, (std::vector<int>{0, 1, 2, 4}));
    StatisticsTag stats{};
    ASSERT_EQ(GetTag(path.c_str(), kTagStatistics, sizeof stats, &stats), 1);
    EXPECT_EQ(stats.computed, 1);
    EXPECT_EQ(stats.minimum, 0.0);
    EXPECT_EQ(stats.maximum, 255.0);
    EXPECT_EQ(stats.histogram[255], 1u);
}

TEST_F(RDPLayerCreateTest, RefusedShapesGiveNullLeaveNoFileAndKeepTheOldOne)
{
    struct Case {
        const char* what;
        int w, h, type;
    };
    const Case kCases[] = {
        {"zero width", 0, 2, UINT8},
        {"negative height", 3, -1, UINT8},
        {"type 0", 3, 2, 0},
        {"type 17", 3, 2, 17},
        {"64 GiB of pixels", 65536, 65536, CFLOAT64},
        {"one byte beyond 32-bit offsets", int(kRDPMaxFileSize - 1164 + 1), 1, UINT8},
        {"a product that wraps in 32 bits", 65536, 65537, UINT8},
    };
    const std::string kept = Save(RdpFileBuilder::Fresh(2, 2, SINT16), "kept.rdp");
    const Bytes before = Load(kept);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        CRDPLayer layer;
        EXPECT_EQ(layer.CreateLayer(dir.File("new.rdp").c_str(), c.w, c.h, c.type, 7), nullptr);
        EXPECT_EQ(layer.AddLayer(dir.File("added.rdp").c_str(), c.w, c.h, c.type, 7), nullptr);
        EXPECT_EQ(layer.CreateLayer(kept.c_str(), c.w, c.h, c.type, 0), nullptr);
        EXPECT_EQ(layer.AddLayer(kept.c_str(), c.w, c.h, c.type, 0), nullptr);
        EXPECT_TRUE(layer.IsEmpty());
        EXPECT_EQ(Load(kept), before);
        EXPECT_EQ(Entries(), 1);
        // Still usable.
        ASSERT_NE(layer.CreateLayer(dir.File("ok.rdp").c_str(), 1, 1, UINT8, 0), nullptr);
        layer.DestroyLayer();
    }
    CRDPLayer layer;
    EXPECT_EQ(layer.CreateLayer(dir.File("no/such/folder.rdp").c_str(), 3, 2, UINT8, 0), nullptr);
    EXPECT_EQ(layer.CreateLayer(nullptr, 3, 2, UINT8, 0), nullptr);
    EXPECT_EQ(layer.AddLayer(nullptr, 3, 2, UINT8, 0), nullptr);
    EXPECT_EQ(Entries(), 1);
}

TEST_F(RDPLayerCreateTest, BindingABoundObjectThrowsCause4)
{
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(dir.File("a.rdp").c_str(), 3, 2, UINT8, 0), nullptr);
    EXPECT_EQ(CauseOf([&] { layer.CreateLayer(dir.File("b.rdp").c_str(), 3, 2, UINT8, 0); }), RDP_ALREADY_USED);
    EXPECT_EQ(CauseOf([&] { layer.AddLayer(dir.File("a.rdp").c_str(), 3, 2, UINT8, 0); }), RDP_ALREADY_USED);
    EXPECT_FALSE(fs::exists(dir.File("b.rdp")));
    EXPECT_EQ(GetNumLayer(dir.File("a.rdp").c_str()), 1);
}

TEST_F(RDPLayerCreateTest, CreateReplacesAFileThatIsStillMappedAndDeletesItsCaches)
{
    const std::string path = dir.File("img.rdp");
    CRDPLayer old;
    void** oldRows = old.CreateLayer(path.c_str(), 4, 4, SINT16, 0);
    ASSERT_NE(oldRows, nullptr);
    std::memset(oldRows[3], 0x11, 8);
    Touch(dir.File("img.tmp"));
    Touch(dir.File("img.tmf"));

    CRDPLayer fresh;
    ASSERT_NE(fresh.CreateLayer(path.c_str(), 3, 2, UINT8, 0), nullptr);
    EXPECT_FALSE(fs::exists(dir.File("img.tmp")));
    EXPECT_FALSE(fs::exists(dir.File("img.tmf")));
    EXPECT_EQ(Load(path), RdpFileBuilder::Fresh(3, 2, UINT8).bytes);
    // The first object's file was replaced, not cut under its mapping.
    EXPECT_EQ(static_cast<unsigned char*>(oldRows[3])[7], 0x11);
    EXPECT_EQ(old.CloseLayer(), 1);
    EXPECT_EQ(fresh.CloseLayer(), 1);
    EXPECT_EQ(Load(path), RdpFileBuilder::Fresh(3, 2, UINT8).bytes);
    EXPECT_EQ(Entries(), 1);
}

TEST_F(RDPLayerCreateTest, AddLayerAppendsToVersion3FilesAndBindsTheNewLayer)
{
    auto want = RdpFileBuilder::Fresh(3, 2, UINT8);
    want.AddLayer(2, 2, FLOAT32, true);
    const std::string path = Save(want);
    Touch(dir.File("a.tmp"));
    const std::int64_t end = want.Size();
    want.AddLayer(5, 3, CSINT16, true);

    CRDPLayer layer;
    void** rows = layer.AddLayer(path.c_str(), 5, 3, CSINT16, 2);
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(Load(path), want.bytes);
    EXPECT_EQ(layer.LayerNumber(), 2);
    EXPECT_EQ(layer.Width(), 5);
    EXPECT_EQ(layer.Type(), CSINT16);
    EXPECT_EQ(layer.CreationFlags(), 2);
    EXPECT_FALSE(fs::exists(dir.File("a.tmp")));
    // Linked from layer 1's record; the new record lies at the old end of the file.
    EXPECT_EQ(want.Get32(want.RecordOffset(1) + 8), end);
    // Its rows are its own pixels, behind the new record and tags 0 and 1.
    std::memset(rows[0], 0x77, 4);
    EXPECT_EQ(Load(path)[size_t(end + 72)], 0x77);
    EXPECT_EQ(layer.CloseLayer(), 1);
    EXPECT_EQ(GetNumLayer(path.c_str()), 3);

    CRDPLayer reopened;
    ASSERT_NE(reopened.OpenLayerEx(path.c_str(), 2, 0), nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(reopened.Rows()[0])[3], 0x77);
    EXPECT_NE(reopened.PreviewTag(), nullptr);
}

TEST_F(RDPLayerCreateTest, AddLayerWhileEarlierLayersStayBound)
{
    const std::string path = dir.File("img.rdp");
    CRDPLayer first, second, third;
    void** rows0 = first.CreateLayer(path.c_str(), 3, 2, UINT8, 0);
    ASSERT_NE(rows0, nullptr);
    static_cast<unsigned char*>(rows0[1])[2] = 9;
    // The file grows beyond the first binding's view: the new layer needs a view
    // that reaches it.
    void** rows1 = second.AddLayer(path.c_str(), 4, 4, SINT16, 0);
    ASSERT_NE(rows1, nullptr);
    ASSERT_NE(third.AddLayer(path.c_str(), 2, 2, FLOAT32, 0), nullptr);
    EXPECT_EQ(third.LayerNumber(), 2);
    static_cast<unsigned char*>(rows1[3])[7] = 0x44;
    EXPECT_EQ(second.ReadData(&first, {0, 0}, {0, 0}, {-1, 0}), 1);
    EXPECT_EQ(static_cast<unsigned char*>(rows1[1])[4], 9);  // UINT8 9 at (2, 1) as SINT16
    EXPECT_EQ(first.CloseLayer(), 1);
    EXPECT_EQ(second.CloseLayer(), 1);
    EXPECT_EQ(third.CloseLayer(), 1);
    EXPECT_EQ(Widths(path), (std::vector<int>{3, 4, 2}));
    CRDPLayer reopened;
    ASSERT_NE(reopened.OpenLayerEx(path.c_str(), 1, 0), nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(reopened.Rows()[3])[7], 0x44);
}

TEST_F(RDPLayerCreateTest, AddLayerOnAMissingPathCreatesTheFile)
{
    const std::string path = dir.File("new.rdp");
    CRDPLayer layer;
    ASSERT_NE(layer.AddLayer(path.c_str(), 3, 2, UINT8, 0), nullptr);
    EXPECT_EQ(layer.LayerNumber(), 0);
    EXPECT_EQ(layer.CloseLayer(), 1);
    EXPECT_EQ(Load(path), RdpFileBuilder::Fresh(3, 2, UINT8).bytes);

    ASSERT_NE(layer.AddLayer(path.c_str(), 4, 1, UINT16, 0), nullptr);
    EXPECT_EQ(layer.LayerNumber(), 1);
    layer.CloseLayer();
    EXPECT_EQ(Widths(path), (std::vector<int>{3, 4}));
}

TEST_F(RDPLayerCreateTest, AddLayerLeavesFilesItCannotExtendUntouched)
{
    RdpFileBuilder notLayers;
    notLayers.bytes.assign(64, 'x');
    struct Case {
        const char* what;
        Bytes bytes;
    };
    // Two layers, the second edited.
    const auto twoLayers = [](const std::function<void(RdpFileBuilder&)>& edit) {
        auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
        b.AddLayer(4, 2, UINT8);
        edit(b);
        return b.bytes;
    };
    const Case kCases[] = {
        {"version 2", RdpFileBuilder::Version2(3, 2, UINT8).bytes},
        {"not a layer file", notLayers.bytes},
        {"empty file", {}},
        {"header only", RdpFileBuilder().bytes},
        // An appended layer must not come to lie under a layer's rows.
        {"last layer's pixels past the end", twoLayers([](RdpFileBuilder& b) {
             const std::int64_t tag0 = b.Get32(b.TagHeader(1, 0) + 4);
             b.Put32(tag0 + 8, 1000);
             b.Put32(b.Get32(b.TagHeader(1, 1) + 4), 4 * 1000 + 4);
         })},
        {"a layer without statistics", twoLayers([](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 2), 9); })},
        {"first layer's pixels over the second's record", twoLayers([](RdpFileBuilder& b) {
             const std::int32_t record = std::int32_t(b.RecordOffset(1));
             b.Put32(b.TagHeader(0, 1) + 4, record - 8), b.Put32(record - 8, 10);
         })},
        // Layers that bind, in a file cut short: what is appended would become part
        // of a chain or a payload that reaches past the end.
        {"a tag's payload runs past the end", twoLayers([](RdpFileBuilder& b) {
             b.AddTag(0, 300, UserPayload(1, "note"));
             b.Put32(b.Size() - 12, 40004);
         })},
        {"a tag's link points past the end",
         twoLayers([](RdpFileBuilder& b) { b.Put32(b.LastTagHeader(0) + 8, std::int32_t(b.Size() + 600)); })},
        {"a tag's payload lies past the end", twoLayers([](RdpFileBuilder& b) {
             b.AddTag(1, 300, UserPayload(1, "note"));
             b.Put32(b.LastTagHeader(1) + 4, std::int32_t(b.Size() + 40));
         })},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        RdpFileBuilder b;
        b.bytes = c.bytes;
        const std::string path = Save(b, "user.dat");
        const int layers = GetNumLayer(path.c_str());
        CRDPLayer layer;
        EXPECT_EQ(layer.AddLayer(path.c_str(), 3, 2, UINT8, 0), nullptr);
        EXPECT_EQ(GetNumLayer(path.c_str()), layers);
        EXPECT_TRUE(layer.IsEmpty());
        EXPECT_EQ(Load(path), c.bytes);
    }
    CRDPLayer layer;
    EXPECT_EQ(layer.AddLayer(dir.Path().c_str(), 3, 2, UINT8, 0), nullptr);  // a folder
}

TEST_F(RDPLayerCreateTest, DestroyLayerRelinksAndRenumbers)
{
    struct Case {
        int layers;
        int destroyed;
        std::vector<int> widths;  // of the layers left, in order
    };
    const Case kCases[] = {{3, 1, {1, 3}}, {3, 2, {1, 2}}, {3, 0, {2, 3}}, {2, 0, {2}}, {2, 1, {1}}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.layers << " layers, destroying " << c.destroyed);
        const std::string path = dir.File("img.rdp");
        fs::remove(path);
        for (int i = 0; i < c.layers; ++i) {
            CRDPLayer add;
            ASSERT_NE(add.AddLayer(path.c_str(), i + 1, 1, UINT8, 0), nullptr);
        }
        const std::int64_t size = FileSize(path);
        Touch(dir.File("img.tmp"));

        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayerEx(path.c_str(), c.destroyed, 1), nullptr);
        layer.DestroyLayer();
        EXPECT_TRUE(layer.IsEmpty());
        EXPECT_EQ(layer.FileName(), "");
        EXPECT_FALSE(fs::exists(dir.File("img.tmp")));
        EXPECT_EQ(Widths(path), c.widths);
        EXPECT_EQ(GetVersion(path.c_str()), 3);
        EXPECT_EQ(FileSize(path), size);  // the file never shrinks
        for (int i = 0; i < int(c.widths.size()); ++i) {
            CRDPLayer reopened;
            ASSERT_NE(reopened.OpenLayerEx(path.c_str(), i, 0), nullptr) << i;
            EXPECT_EQ(reopened.Width(), c.widths[size_t(i)]);
        }
        CRDPLayer gone;
        EXPECT_EQ(gone.OpenLayerEx(path.c_str(), int(c.widths.size()), 0), nullptr);
    }
}

TEST_F(RDPLayerCreateTest, DestroyingTheOnlyLayerDeletesTheFileAndTemporaryLayersGo)
{
    const std::string path = dir.File("only.rdp");
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(path.c_str(), 3, 2, UINT8, 7), nullptr);
    layer.DestroyLayer();
    EXPECT_TRUE(layer.IsEmpty());
    EXPECT_FALSE(fs::exists(path));

    // Large temporary layers live in a file of their own, which goes with them.
    const auto before = fs::current_path();
    fs::current_path(dir.Path());
    ASSERT_NE(layer.CreateTempLayer(1024, 1025, UINT8), nullptr);
    const std::string temp = layer.FileName();
    EXPECT_TRUE(fs::exists(temp));
    layer.DestroyLayer();
    EXPECT_FALSE(fs::exists(temp));
    fs::current_path(before);
    ASSERT_NE(layer.CreateTempLayer(4, 4, CFLOAT64), nullptr);
    layer.DestroyLayer();
    EXPECT_TRUE(layer.IsEmpty());
    layer.DestroyLayer();  // unbound: nothing
    EXPECT_EQ(Entries(), 0);
}

TEST_F(RDPLayerCreateTest, DestroyLeavesAFileWhoseChainBrokeMeanwhile)
{
    const std::string path = dir.File("img.rdp");
    for (int i = 0; i < 2; ++i) {
        CRDPLayer add;
        ASSERT_NE(add.AddLayer(path.c_str(), i + 1, 1, UINT8, 0), nullptr);
    }
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayerEx(path.c_str(), 1, 1), nullptr);
    // Someone breaks the chain behind the bound layer's back.
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        const std::int32_t far = 1 << 30;
        f.seekp(20);
        f.write(reinterpret_cast<const char*>(&far), 4);
    }
    const Bytes before = Load(path);
    layer.DestroyLayer();
    EXPECT_EQ(Load(path), before);
}

// Taking a layer out renumbers the records behind it: in a chain numbered out of
// order, or with a record over the file header, that would write over another part
// of the file. The layer is only unbound and the file left as it was.
TEST_F(RDPLayerCreateTest, DestroyLeavesAChainNumberedOutOfOrder)
{
    struct Case {
        const char* name;
        std::function<void(RdpFileBuilder&)> edit;
    };
    const Case kCases[] = {
        {"a record numbered twice", [](RdpFileBuilder& b) { b.Put32(b.RecordOffset(2), 0); }},
        // The last record at offset 2: its number is read from the magic.
        {"a record over the file header", [](RdpFileBuilder& b) { b.Put32(b.RecordOffset(2) + 8, 2); }},
        // A user tag whose payload starts at layer 0's link: every append or removal
        // would change the tag's length word.
        {"a tag's payload over a record",
         [](RdpFileBuilder& b) {
             b.AddTag(0, 300, UserPayload(1, "note"));
             b.Put32(b.Size() - 12 - 8, 20);
         }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
        b.AddLayer(4, 2, UINT8);
        b.AddLayer(2, 1, UINT8);
        c.edit(b);
        const std::string path = Save(b, "img.rdp");
        CRDPLayer layer;
        ASSERT_NE(layer.OpenLayerEx(path.c_str(), 1, 1), nullptr);
        layer.DestroyLayer();
        EXPECT_TRUE(layer.IsEmpty());
        EXPECT_EQ(Load(path), b.bytes);
        CRDPLayer added;
        EXPECT_EQ(added.AddLayer(path.c_str(), 1, 1, UINT8, 0), nullptr);
        EXPECT_EQ(Load(path), b.bytes);
    }
}

// Only the records that are rewritten must lie clear of the tags: with a tag's
// payload over layer 0's record, the last layer, appended and taken out through layer 1's
// record, still goes.
TEST_F(RDPLayerCreateTest, ALayerGoesWhenOnlyARecordItDoesNotRewriteLiesUnderATag)
{
    auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
    b.AddLayer(4, 2, UINT8);
    b.AddTag(0, 300, UserPayload(1, "note"));
    b.Put32(b.Size() - 12 - 8, 28);  // record 0's last word: a payload of 4 bytes
    const std::string path = Save(b, "img.rdp");
    CRDPLayer added;
    ASSERT_NE(added.AddLayer(path.c_str(), 2, 1, UINT8, 0), nullptr);
    added.CloseLayer();
    ASSERT_EQ(GetNumLayer(path.c_str()), 3);
    CRDPLayer layer;
    ASSERT_NE(layer.OpenLayerEx(path.c_str(), 2, 1), nullptr);
    layer.DestroyLayer();
    EXPECT_EQ(GetNumLayer(path.c_str()), 2);
    EXPECT_EQ(Widths(path), (std::vector<int>{3, 4}));
}

TEST_F(RDPLayerCreateTest, AWriteProtectedFileIsNeitherReplacedNorDestroyed)
{
    // 0444 in a writable folder: read-only for every user, as a read-only attribute.
    const std::string path = dir.File("locked.rdp");
    {
        CRDPLayer made;
        ASSERT_NE(made.CreateLayer(path.c_str(), 3, 2, UINT8, 0), nullptr);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    Touch(dir.File("locked.tmp"));
    const Bytes before = Load(path);
    const auto mode = [&] {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };

    CRDPLayer layer;
    EXPECT_EQ(layer.CreateLayer(path.c_str(), 5, 5, UINT8, 0), nullptr);
    EXPECT_TRUE(layer.IsEmpty());
    EXPECT_EQ(Load(path), before);
    EXPECT_EQ(mode(), 0444u);

    // A read-only binding only unbinds: the file and its cache stay.
    ASSERT_NE(layer.OpenLayer(path.c_str(), 0), nullptr);
    layer.DestroyLayer();
    EXPECT_TRUE(layer.IsEmpty());
    EXPECT_EQ(Load(path), before);
    EXPECT_EQ(mode(), 0444u);
    EXPECT_TRUE(fs::exists(dir.File("locked.tmp")));
    EXPECT_EQ(Entries(), 2);
    ::chmod(path.c_str(), 0644);
}

}  // namespace

// The in-place writers follow the replacing writers' rule: a file without any
// write permission bit is left as it is, whoever runs the program.
TEST_F(RDPLayerCreateTest, InPlaceWritersLeaveAWriteProtectedFileAlone)
{
    const std::string path = dir.File("guarded.rdp"), source = dir.File("source.rdp");
    for (const std::string& p : {path, source}) {
        CRDPLayer made;
        ASSERT_NE(made.CreateLayer(p.c_str(), 3, 2, UINT8, 0), nullptr);
    }
    ASSERT_EQ(SetTag(source.c_str(), 0, 1000, 8, "payload"), 1);
    CRDPLayer bound;  // bound for writing while it could still be written
    ASSERT_NE(bound.OpenLayerEx(path.c_str(), 0, 1), nullptr);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const Bytes before = Load(path);

    struct Case {
        const char* name;
        std::function<bool()> refused;
    };
    const std::vector<Case> cases = {
        {"writable OpenLayer",
         [&] {
             CRDPLayer layer;
             return layer.OpenLayerEx(path.c_str(), 0, 1) == nullptr;
         }},
        {"SetTag by path", [&] { return SetTag(path.c_str(), 0, 1000, 8, "changed") == 0; }},
        {"SetTag of the file", [&] { return SetTag(path.c_str(), 1000, 8, "changed") == 0; }},
        {"CopyTag", [&] { return CopyTag(path.c_str(), 0, source.c_str(), 0) == 0; }},
        {"AddLayer",
         [&] {
             CRDPLayer layer;
             try {
                 return layer.AddLayer(path.c_str(), 2, 2, UINT8, 0) == nullptr;
             } catch (plat::Exception* e) {
                 e->Delete();
                 return true;
             }
         }},
        {"DestroyLayer",
         [&] {
             try {
                 bound.DestroyLayer();
             } catch (plat::Exception* e) {
                 e->Delete();
             }
             return GetNumLayer(path.c_str()) == 1;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.refused());
        EXPECT_EQ(Load(path), before);
    }
    ::chmod(path.c_str(), 0644);
}
