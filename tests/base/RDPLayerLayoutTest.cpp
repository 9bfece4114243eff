#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/files/File.h"
#include "RdpFileBuilder.h"
#include "format/RDPLayerLayout.h"

namespace {

using rdptest::RdpFileBuilder;
using rdptest::UserPayload;

// Files the suite writes bind, whatever their type, preview and layer count, and
// the layout names the payloads where the builder put them.
TEST(RDPLayerLayout, WrittenFilesBind)
{
    for (int type = 1; type <= 16; ++type) {
        for (bool preview : {false, true}) {
            SCOPED_TRACE(testing::Message() << type << (preview ? " with preview" : ""));
            auto b = RdpFileBuilder::Fresh(5, 3, type, preview);
            b.AddLayer(2, 7, type, !preview);
            b.AddTag(1, 300, UserPayload(1, "after"));
            RDPFileWalker walk(b.bytes.data(), b.Size());
            const RDPLayoutMap map(walk);
            EXPECT_EQ(map.Layers(), 2);
            for (int layer : {0, 1}) {
                RDPLayoutFault why = RDPLayoutFault::Overlap;
                const auto l = map.Check(layer, &why);
                ASSERT_TRUE(l.has_value()) << layer;
                EXPECT_EQ(why, RDPLayoutFault::None);
                EXPECT_EQ(l->header, b.Get32(b.TagHeader(layer, 0) + 4));
                EXPECT_EQ(l->pixels, b.Get32(b.TagHeader(layer, 1) + 4));
                EXPECT_EQ(l->statistics, b.Get32(b.TagHeader(layer, 2) + 4));
                EXPECT_EQ(l->phase != 0, IsComplexType(type) != 0);
                EXPECT_EQ(l->preview != 0, layer == 0 ? preview : !preview);
                EXPECT_EQ(l->fields.width, layer == 0 ? 5 : 2);
                EXPECT_EQ(l->sampleSize, GetDataTypeSize(type));
            }
            EXPECT_FALSE(map.Check(2).has_value());
            EXPECT_FALSE(map.Check(-1).has_value());
        }
    }
    auto v2 = RdpFileBuilder::Version2(3, 2, SINT16);
    RDPFileWalker walk(v2.bytes.data(), v2.Size());
    EXPECT_TRUE(CheckLayer(walk, 0).has_value());
    EXPECT_FALSE(CheckLayer(walk, 1).has_value());
}

// Each refusal names its reason. Layer 0 of a fresh 4 x 3 UINT8 file with preview
// and a second layer behind it: tag 1's payload at 80, pixels 84 to 95, tag 2's
// header at 100.
TEST(RDPLayerLayout, RefusalsSayWhy)
{
    using Edit = std::function<void(RdpFileBuilder&)>;
    const auto tag0 = [](RdpFileBuilder& b) { return b.Get32(b.TagHeader(0, 0) + 4); };
    const auto payload = [](RdpFileBuilder& b, int layer, int tag) { return b.Get32(b.TagHeader(layer, tag) + 4); };
    const struct {
        const char* name;
        Edit edit;
        RDPLayoutFault why;
    } kCases[] = {
        {"wrong magic", [](RdpFileBuilder& b) { b.bytes[1] = 'x'; }, RDPLayoutFault::NoLayer},
        {"looping records", [](RdpFileBuilder& b) { b.Put32(b.RecordOffset(1) + 8, 12); }, RDPLayoutFault::NoLayer},
        {"record cut off", [](RdpFileBuilder& b) { b.Put32(20, std::int32_t(b.Size() - 10)); },
         RDPLayoutFault::NoLayer},
        {"no tag 0", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 0), 99); }, RDPLayoutFault::NoHeader},
        {"zero height", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 8, 0); }, RDPLayoutFault::BadShape},
        {"more samples than bytes", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 8, 1 << 28); },
         RDPLayoutFault::BadShape},
        {"pixel tag absent", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 20, 77); }, RDPLayoutFault::NoPixels},
        {"pixels short", [&](RdpFileBuilder& b) { b.Put32(payload(b, 0, 1), 15); }, RDPLayoutFault::NoPixels},
        {"tag 2 short", [&](RdpFileBuilder& b) { b.Put32(payload(b, 0, 2), 1000); }, RDPLayoutFault::NoStatistics},
        {"tag 4 short", [&](RdpFileBuilder& b) { b.Put32(payload(b, 0, 4), 4000); }, RDPLayoutFault::BadPreview},
        {"pixel tag 0", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 20, 0); }, RDPLayoutFault::Overlap},
        {"pixel tag 2", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 20, 2); }, RDPLayoutFault::Overlap},
        {"pixel tag 4", [&](RdpFileBuilder& b) { b.Put32(tag0(b) + 20, 4); }, RDPLayoutFault::Overlap},
        {"pixels over the file header", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 1) + 4, 8), b.Put32(8, 16); },
         RDPLayoutFault::Overlap},
        {"pixels over tag 2's header", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 1) + 4, 88), b.Put32(88, 16); },
         RDPLayoutFault::Overlap},
        {"pixels over a user tag",
         [&](RdpFileBuilder& b) {
             const std::int32_t at = payload(b, 0, 300) + 2;
             b.Put32(b.TagHeader(0, 1) + 4, at), b.Put32(at, 16);
         },
         RDPLayoutFault::Overlap},
        {"pixels over the next layer's record",
         [](RdpFileBuilder& b) {
             const std::int32_t at = std::int32_t(b.RecordOffset(1)) - 8;
             b.Put32(b.TagHeader(0, 1) + 4, at), b.Put32(at, 16);
         },
         RDPLayoutFault::Overlap},
        {"next layer's pixels over this layer's statistics",
         [&](RdpFileBuilder& b) {
             const std::int32_t at = payload(b, 0, 2) + 100;
             b.Put32(b.TagHeader(1, 1) + 4, at), b.Put32(at, 2 * 2 + 4);
         },
         RDPLayoutFault::Overlap},
        {"statistics over the preview",
         [&](RdpFileBuilder& b) {
             const std::int32_t at = payload(b, 0, 4) + 8;
             b.Put32(b.TagHeader(0, 2) + 4, at), b.Put32(at, 1064);
         },
         RDPLayoutFault::Overlap},
    };
    rdptest::TempDir dir;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        auto b = RdpFileBuilder::Fresh(4, 3, UINT8, true);
        b.AddTag(0, 300, UserPayload(1, "a user tag of some length"));
        b.AddLayer(2, 2, UINT8);
        c.edit(b);
        RDPFileWalker inMemory(b.bytes.data(), b.Size());
        RDPLayoutFault why = RDPLayoutFault::None;
        EXPECT_FALSE(CheckLayer(inMemory, 0, &why).has_value());
        EXPECT_EQ(why, c.why);
        // The same answer from the file itself.
        const std::string path = dir.File("l.rdp");
        b.Save(path);
        plat::File file(path.c_str(), plat::File::modeRead);
        RDPFileWalker onFile(file);
        why = RDPLayoutFault::None;
        EXPECT_FALSE(CheckLayer(onFile, 0, &why).has_value());
        EXPECT_EQ(why, c.why);
    }
}

}  // namespace
