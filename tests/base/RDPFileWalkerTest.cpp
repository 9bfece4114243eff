#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files/File.h"
#include "RdpFileBuilder.h"
#include "format/RDPFileWalker.h"

namespace {

using rdptest::RdpFileBuilder;
using rdptest::UserPayload;

// The walks give the same answers over a file and over its image in memory.
TEST(RDPFileWalker, MemoryImageAndFileAgree)
{
    rdptest::TempDir dir;
    auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
    const std::int64_t second = b.AddLayer(2, 2, CSINT8, true);
    b.AddTag(1, 300, UserPayload(1, "three hundred"));
    const std::string path = dir.File("w.rdp");
    b.Save(path);

    plat::File file(path.c_str(), plat::File::modeRead);
    RDPFileWalker onFile(file);
    RDPFileWalker inMemory(b.bytes.data(), b.Size());
    for (RDPFileWalker* w : {&onFile, &inMemory}) {
        ASSERT_TRUE(w->Valid());
        EXPECT_EQ(w->Version(), 3);
        EXPECT_EQ(w->Size(), b.Size());
        EXPECT_EQ(w->CountLayers(), 2);
        EXPECT_EQ(w->FirstTagHeader(0), 32);
        EXPECT_EQ(w->FirstTagHeader(1), second + 20);
        EXPECT_EQ(w->FirstTagHeader(2), std::nullopt);
        EXPECT_EQ(w->LayerRecord(1), second);
        EXPECT_EQ(w->LayerRecord(2), std::nullopt);
        EXPECT_EQ(w->CountTags(1), 6);
        const auto h = w->TagPayload(1, 300);
        ASSERT_TRUE(h.has_value());
        EXPECT_EQ(h->offset, b.TagHeader(1, 300));
        EXPECT_EQ(h->fields.payload, h->offset + 12);
        EXPECT_EQ(w->TagHeader(1, 4)->offset, b.TagHeader(1, 4));
        EXPECT_EQ(w->LastTagHeader(1)->offset, b.TagHeader(1, 300));
        EXPECT_EQ(w->LastTagHeader(0)->offset, b.TagHeader(0, 2));
    }
}

TEST(RDPFileWalker, MemoryImageIsBoundedAndLoopsEnd)
{
    auto b = RdpFileBuilder::Fresh(1, 1, UINT8);
    b.AddTag(0, 5, UserPayload(1, "x"));
    b.Put32(b.TagHeader(0, 5) + 8, 32);  // back to tag 0
    RDPFileWalker loop(b.bytes.data(), b.Size());
    EXPECT_EQ(loop.CountTags(0), 0);
    EXPECT_EQ(loop.TagPayload(0, 9), std::nullopt);
    EXPECT_EQ(loop.LastTagHeader(0), std::nullopt);
    EXPECT_EQ(loop.TagHeader(0, 9), std::nullopt);

    // A mapping shorter than the chain: nothing past its end is read.
    RDPFileWalker cut(b.bytes.data(), b.TagHeader(0, 5) + 11);
    EXPECT_EQ(cut.CountTags(0), 0);
    EXPECT_EQ(cut.TagPayload(0, 5), std::nullopt);
    EXPECT_TRUE(cut.TagPayload(0, 1).has_value());

    RDPFileWalker none(nullptr, 100);
    EXPECT_FALSE(none.Valid());
    EXPECT_EQ(none.FirstTagHeader(0), std::nullopt);
    RDPFileWalker small(b.bytes.data(), 31);
    EXPECT_FALSE(small.Valid());
}

// A file spread over more blocks than the walker keeps, with a header across a
// block boundary and a payload longer than a block: every walk over the open file
// answers as over its image.
TEST(RDPFileWalker, FileWalksAcrossManyBlocksAgreeWithTheImage)
{
    rdptest::TempDir dir;
    auto b = RdpFileBuilder::Fresh(70, 70, UINT8);
    for (int i = 0; i < 6; ++i)
        b.AddLayer(60, 70 + i, UINT8);
    b.AppendZeros(2 * 4096 - 6 - b.Size() % 4096);
    const std::int64_t across = b.AddTag(3, 300, UserPayload(1, std::string(5000, 'y')));
    ASSERT_EQ(across % 4096, 4096 - 6);
    b.AddTag(0, 301, UserPayload(1, "last"));
    const std::string path = dir.File("blocks.rdp");
    b.Save(path);

    plat::File file(path.c_str(), plat::File::modeRead);
    RDPFileWalker onFile(file);
    RDPFileWalker inMemory(b.bytes.data(), b.Size());
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(onFile.CountLayers(), 7);
        for (int layer = 6; layer >= 0; --layer) {
            EXPECT_EQ(onFile.CountTags(layer), inMemory.CountTags(layer)) << layer;
            EXPECT_EQ(onFile.LastTagHeader(layer)->offset, inMemory.LastTagHeader(layer)->offset) << layer;
            for (std::int32_t tag : {0, 1, 2, 300, 301}) {
                const auto a = onFile.TagPayload(layer, tag);
                const auto m = inMemory.TagPayload(layer, tag);
                ASSERT_EQ(a.has_value(), m.has_value()) << layer << " " << tag;
                if (a)
                    EXPECT_EQ(a->offset, m->offset);
            }
        }
    }
    EXPECT_EQ(onFile.TagPayload(3, 300)->offset, across);
    std::vector<unsigned char> got(5008), want(b.bytes.begin() + across + 12, b.bytes.begin() + across + 12 + 5008);
    ASSERT_TRUE(onFile.ReadAt(across + 12, got.data(), unsigned(got.size())));
    EXPECT_EQ(got, want);
    unsigned char tail[8];
    EXPECT_FALSE(onFile.ReadAt(b.Size() - 4, tail, 8));
    EXPECT_TRUE(onFile.ReadAt(b.Size(), tail, 0));
}

// A change written through the same file between two walks is seen by the second.
TEST(RDPFileWalker, FileWalkSeesWhatWasWrittenMeanwhile)
{
    rdptest::TempDir dir;
    auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
    const std::int64_t header = b.AddTag(0, 300, UserPayload(1, "renumbered"));
    const std::string path = dir.File("w.rdp");
    b.Save(path);

    plat::File file(path.c_str(), plat::File::modeReadWrite);
    RDPFileWalker walk(file);
    ASSERT_TRUE(walk.TagPayload(0, 300).has_value());
    const std::int32_t renumbered = 301;
    file.Seek(header, plat::File::begin);
    file.Write(&renumbered, sizeof renumbered);
    EXPECT_EQ(walk.TagPayload(0, 300), std::nullopt);
    EXPECT_EQ(walk.TagPayload(0, 301)->offset, header);
}

// Chains longer than the walk keeps in place: a loop back to any header ends the
// walk, and a long chain without one counts whole.
TEST(RDPFileWalker, LongChainsLoopingAnywhereEnd)
{
    constexpr int kTags = 40;
    for (int loopTo : {-1, 0, 20, 33, 39}) {
        auto b = RdpFileBuilder::Fresh(1, 1, UINT8);
        std::vector<std::int64_t> headers;
        for (int i = 0; i < kTags; ++i)
            headers.push_back(b.AddTag(0, 300 + i, UserPayload(1, "t")));
        if (loopTo >= 0)
            b.Put32(headers.back() + 8, std::int32_t(headers[size_t(loopTo)]));
        RDPFileWalker w(b.bytes.data(), b.Size());
        SCOPED_TRACE(loopTo);
        EXPECT_EQ(w.CountTags(0), loopTo < 0 ? kTags + 3 : 0);
        EXPECT_EQ(w.TagPayload(0, 9), std::nullopt);
        EXPECT_EQ(w.LastTagHeader(0).has_value(), loopTo < 0);
        EXPECT_EQ(w.TagPayload(0, 300 + kTags - 1)->offset, headers.back());
    }
}

}  // namespace
