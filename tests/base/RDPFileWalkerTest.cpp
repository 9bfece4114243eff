#include <gtest/gtest.h>

#include "File.h"
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

}  // namespace
