#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "RdpFileBuilder.h"
#include "layer/RDPFileTags.h"

namespace {

using rdptest::Bytes;
using rdptest::FileSize;
using rdptest::Load;
using rdptest::RdpFileBuilder;
using rdptest::UserPayload;
using rdptest::ZeroPayload;

class RDPFileTest : public rdptest::FileTest {
protected:
    // Fresh 3 x 2 UINT8 layer with user tags 5 (copy flag 1), 6 (flag 0), 7 (flag 1).
    static RdpFileBuilder Tagged()
    {
        auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
        b.AddTag(0, 5, UserPayload(1, "five"));
        b.AddTag(0, 6, UserPayload(0, "six, not copied"));
        b.AddTag(0, 7, UserPayload(1, "seven!!"));
        return b;
    }

    static Bytes ReadTag(const std::string& path, int layer, int tag)
    {
        const int n = GetSizeTag(path.c_str(), layer, tag);
        Bytes out(size_t(n > 0 ? n : 0));
        if (n > 0) {
            EXPECT_EQ(GetTag(path.c_str(), layer, tag, n, out.data()), 1);
        }
        return out;
    }

    static std::vector<int> Chain(const std::string& path, int layer)
    {
        std::vector<int> tags{0};
        for (int t = GetNextTag(path.c_str(), layer, 0); t != 0 && tags.size() < 100;
             t = GetNextTag(path.c_str(), layer, t))
            tags.push_back(t);
        return tags;
    }
};

// ---- layout ---------------------------------------------------------------

TEST_F(RDPFileTest, FreshThreeByTwoLayerIs1170BytesAsLaidOut)
{
    const auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
    ASSERT_EQ(b.Size(), 1170);
    const std::int32_t kWords[][2] = {
        {4, 3},   {12, 0},  {16, 32}, {20, 0}, {24, 1}, {28, 0},   {32, 0},  {36, 44},
        {40, 68}, {44, 24}, {48, 3},  {52, 2}, {56, 1}, {60, 0},   {64, 1},  {68, 1},
        {72, 80}, {76, 94}, {80, 10}, {90, 0}, {94, 2}, {98, 106}, {102, 0}, {106, 1064},
    };
    for (const auto& w : kWords)
        EXPECT_EQ(b.Get32(w[0]), w[1]) << "offset " << w[0];
    EXPECT_EQ(std::memcmp(b.bytes.data(), "RDPR", 4), 0);
    for (int i = 84; i < 94; ++i)
        EXPECT_EQ(b.bytes[size_t(i)], 0) << i;  // pixels, then the four spare bytes
}

// The file-level SetTag appends the reserved tags of a fresh layer exactly where the
// layout puts them.
TEST_F(RDPFileTest, SetTagBuildsTheFreshLayoutFromTagsZeroAndOne)
{
    struct Case {
        int w, h, type;
        bool preview;
        std::int64_t size;  // without P
    };
    const Case kCases[] = {
        {3, 2, UINT8, false, 1164},   {3, 2, UINT8, true, 41180},   {3, 2, CFLOAT32, false, 2240},
        {4, 1, CSINT16, true, 82256}, {1, 1, FLOAT64, false, 1164},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.type);
        const auto want = RdpFileBuilder::Fresh(c.w, c.h, c.type, c.preview);
        const std::int64_t p = RdpFileBuilder::PixelBytes(c.w, c.h, c.type);
        ASSERT_EQ(want.Size(), c.size + p);

        RdpFileBuilder start;
        start.bytes.assign(want.bytes.begin(), want.bytes.begin() + 88 + p);
        start.Put32(76, 0);  // tag 1 is still last
        const std::string path = Save(start);
        const Bytes stats = ZeroPayload(sizeof(StatisticsTag));
        EXPECT_EQ(SetTag(path.c_str(), kTagStatistics, int(stats.size()), stats.data()), 1);
        if (IsComplexType(c.type)) {
            EXPECT_EQ(SetTag(path.c_str(), 0, kTagPhaseStatistics, int(stats.size()), stats.data()), 1);
        }
        if (c.preview) {
            const Bytes preview = ZeroPayload(IsComplexType(c.type) ? kPreviewLengthComplex : kPreviewLengthReal);
            EXPECT_EQ(SetTag(path.c_str(), kTagPreview, int(preview.size()), preview.data()), 1);
        }
        EXPECT_EQ(Load(path), want.bytes);
    }
}

TEST_F(RDPFileTest, AppendedLayerIsLaidOutBehindTheFile)
{
    auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
    const std::int64_t e = b.AddLayer(2, 2, SINT16);
    EXPECT_EQ(e, 1170);
    EXPECT_EQ(b.Get32(20), 1170);  // record 0 now leads to record 1
    EXPECT_EQ(b.Get32(e), 1);
    EXPECT_EQ(b.Get32(e + 4), e + 20);
    EXPECT_EQ(b.Get32(e + 20 + 8), e + 56);
    EXPECT_EQ(b.Get32(e + 56 + 8), e + 72 + 8);  // tag 2 right behind the pixels
    const std::string path = Save(b);
    EXPECT_EQ(GetNumLayer(path.c_str()), 2);
    LayerHeaderTag head{};
    EXPECT_EQ(GetTag(path.c_str(), 1, kTagLayerHeader, sizeof head, &head), 1);
    EXPECT_EQ(head.length, 24);
    EXPECT_EQ(head.width, 2);
    EXPECT_EQ(head.height, 2);
    EXPECT_EQ(head.type, SINT16);
    EXPECT_EQ(head.pixelTag, 1);
    EXPECT_EQ(GetSizeTag(path.c_str(), 1, kTagPixels), 2 * 2 * 2 + 4);
}

// ---- version and layers -----------------------------------------------------

TEST_F(RDPFileTest, VersionAndLayerCount)
{
    auto three = RdpFileBuilder::Fresh(3, 2, UINT8);
    three.AddLayer(1, 1, UINT8);
    three.AddLayer(2, 1, CFLOAT64, true);
    RdpFileBuilder odd(7);
    odd.AppendZeros(40);
    auto badMagic = RdpFileBuilder::Fresh(1, 1, UINT8);
    badMagic.bytes[3] = 'X';
    auto nextBeyond = RdpFileBuilder::Fresh(1, 1, UINT8);
    nextBeyond.Put32(20, std::int32_t(nextBeyond.Size() + 1));
    auto nextAtEnd = RdpFileBuilder::Fresh(1, 1, UINT8);  // a record that cannot be read whole
    nextAtEnd.Put32(20, std::int32_t(nextAtEnd.Size() - 10));
    auto loop = RdpFileBuilder::Fresh(1, 1, UINT8);
    const std::int64_t second = loop.AddLayer(1, 1, UINT8);
    loop.Put32(second + 8, 12);
    auto selfLoop = RdpFileBuilder::Fresh(1, 1, UINT8);
    selfLoop.Put32(20, 12);
    Bytes shortFile(three.bytes.begin(), three.bytes.begin() + 31);

    struct Case {
        const char* name;
        Bytes bytes;
        int version;
        int layers;
    };
    const Case kCases[] = {
        {"v3 one layer", RdpFileBuilder::Fresh(3, 2, UINT8).bytes, 3, 1},
        {"v3 three layers", three.bytes, 3, 3},
        {"v2", RdpFileBuilder::Version2(3, 2, UINT8).bytes, 2, 1},
        {"header only", RdpFileBuilder().bytes, 3, 0},
        {"header only v2", RdpFileBuilder(2).bytes, 2, 0},
        {"unknown version", odd.bytes, 7, 0},
        {"bad magic", badMagic.bytes, 0, 0},
        {"11 bytes", Bytes(three.bytes.begin(), three.bytes.begin() + 11), 0, 0},
        {"31 bytes", shortFile, 3, 0},
        {"next beyond end", nextBeyond.bytes, 3, 0},
        {"short record", nextAtEnd.bytes, 3, 0},
        {"records loop", loop.bytes, 3, 0},
        {"record points at itself", selfLoop.bytes, 3, 0},
        {"empty", Bytes{}, 0, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        RdpFileBuilder b;
        b.bytes = c.bytes;
        const std::string path = Save(b);
        EXPECT_EQ(GetVersion(path.c_str()), c.version);
        EXPECT_EQ(GetNumLayer(path.c_str()), c.layers);
    }
    const std::string missing = dir.File("missing.rdp");
    EXPECT_EQ(GetVersion(missing.c_str()), 0);
    EXPECT_EQ(GetNumLayer(missing.c_str()), 0);
    EXPECT_EQ(GetVersion(nullptr), 0);
    EXPECT_EQ(GetNumLayer(nullptr), 0);
    EXPECT_EQ(GetVersion(dir.Path().c_str()), 0);  // a folder
}

// ---- reading tags -------------------------------------------------------------

TEST_F(RDPFileTest, GetTagCopiesUpToMaxlenOfThePayload)
{
    auto b = Tagged();
    const std::string path = Save(b);

    LayerHeaderTag head{};
    EXPECT_EQ(GetTag(path.c_str(), kTagLayerHeader, sizeof head, &head), 1);
    EXPECT_EQ(head.width, 3);
    EXPECT_EQ(head.height, 2);
    EXPECT_EQ(head.type, UINT8);

    EXPECT_EQ(ReadTag(path, 0, 5), UserPayload(1, "five"));
    EXPECT_EQ(ReadTag(path, 0, 6), UserPayload(0, "six, not copied"));

    // Shorter maxlen: only that much arrives, the rest of the buffer is untouched.
    char buf[32];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetTag(path.c_str(), 0, 7, 9, buf), 1);
    EXPECT_EQ(std::memcmp(buf + 4, "\1\0\0\0s", 5), 0);
    EXPECT_EQ(buf[9], 'x');
    // Larger maxlen: the stored length's worth.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetTag(path.c_str(), 7, sizeof buf, buf), 1);
    EXPECT_EQ(std::memcmp(buf + 8, "seven!!", 7), 0);
    EXPECT_EQ(buf[15], 'x');

    EXPECT_EQ(GetTag(path.c_str(), 7, 0, buf), 1);
    EXPECT_EQ(GetTag(path.c_str(), 7, -1, buf), 0);
    EXPECT_EQ(GetTag(path.c_str(), 7, 4, nullptr), 0);
    EXPECT_EQ(GetTag(path.c_str(), 8, 4, buf), 0);
    EXPECT_EQ(GetTag(path.c_str(), 1, 7, 4, buf), 0);  // no layer 1
    EXPECT_EQ(GetTag(path.c_str(), -1, 7, 4, buf), 0);
    EXPECT_EQ(GetTag(nullptr, 7, 4, buf), 0);

    EXPECT_EQ(GetSizeTag(path.c_str(), kTagLayerHeader), 24);
    EXPECT_EQ(GetSizeTag(path.c_str(), kTagPixels), 10);
    EXPECT_EQ(GetSizeTag(path.c_str(), kTagStatistics), 1064);
    EXPECT_EQ(GetSizeTag(path.c_str(), 0, 7), 15);
    EXPECT_EQ(GetSizeTag(path.c_str(), kTagPreview), 0);
    EXPECT_EQ(GetSizeTag(path.c_str(), 1, 0), 0);
}

TEST_F(RDPFileTest, LayersAreSeparateChains)
{
    auto b = RdpFileBuilder::Fresh(3, 2, UINT8);
    b.AddLayer(1, 1, FLOAT32);
    b.AddTag(1, 300, UserPayload(1, "layer one"));
    b.AddTag(0, 300, UserPayload(1, "layer zero"));
    b.AddLayer(1, 1, UINT8);
    const std::string path = Save(b);
    EXPECT_EQ(ReadTag(path, 0, 300), UserPayload(1, "layer zero"));
    EXPECT_EQ(ReadTag(path, 1, 300), UserPayload(1, "layer one"));
    EXPECT_EQ(GetSizeTag(path.c_str(), 2, 300), 0);
    EXPECT_EQ(GetNumTag(path.c_str(), 0), 4);
    EXPECT_EQ(GetNumTag(path.c_str(), 1), 4);
    EXPECT_EQ(GetNumTag(path.c_str(), 2), 3);
    EXPECT_EQ(GetNumTag(path.c_str(), 3), 0);
    EXPECT_EQ(GetNumTag(path.c_str(), -1), 0);
    EXPECT_EQ(Chain(path, 1), (std::vector<int>{0, 1, 2, 300}));
}

TEST_F(RDPFileTest, Version2FileHoldsOnlyLayerZero)
{
    auto b = RdpFileBuilder::Version2(3, 2, SINT8);
    b.AddTag(0, 9, UserPayload(1, "v2 tag"));
    const std::string path = Save(b);
    EXPECT_EQ(GetNumTag(path.c_str()), 4);
    EXPECT_EQ(GetNumTag(path.c_str(), 1), 0);
    EXPECT_EQ(ReadTag(path, 0, 9), UserPayload(1, "v2 tag"));
    EXPECT_EQ(GetSizeTag(path.c_str(), 1, 9), 0);
    const Bytes more = UserPayload(1, "added");
    const std::int64_t before = FileSize(path);
    EXPECT_EQ(SetTag(path.c_str(), 1, 10, int(more.size()), more.data()), 0);
    EXPECT_EQ(FileSize(path), before);
    EXPECT_EQ(SetTag(path.c_str(), 10, int(more.size()), more.data()), 1);
    EXPECT_EQ(ReadTag(path, 0, 10), more);
    EXPECT_EQ(Chain(path, 0), (std::vector<int>{0, 1, 2, 9, 10}));
}

// A stored length below 4, or a payload that runs past the end, is no tag at all.
TEST_F(RDPFileTest, BadPayloadsCountAsAbsent)
{
    struct Case {
        const char* name;
        std::int32_t payloadOffset;  // 0: keep
        std::int32_t length;         // stored length word
    };
    const Case kCases[] = {
        {"length 0", 0, 0},
        {"length 3", 0, 3},
        {"negative length", 0, -20},
        {"runs past the end", 0, 1000},
        {"payload offset beyond the file", 1 << 30, 0},
        {"payload offset negative", -8, 0},
        {"payload offset 0", -1, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        auto b = Tagged();
        const std::int64_t h = b.TagHeader(0, 7);
        const std::int64_t payload = b.Get32(h + 4);
        if (c.payloadOffset == 0)
            b.Put32(payload, c.length);
        else
            b.Put32(h + 4, c.payloadOffset == -1 ? 0 : c.payloadOffset);
        const std::string path = Save(b);
        char buf[64];
        EXPECT_EQ(GetTag(path.c_str(), 7, sizeof buf, buf), 0);
        EXPECT_EQ(GetSizeTag(path.c_str(), 7), 0);
        const int list[] = {5, 7};
        const std::string dst = Save(RdpFileBuilder::Fresh(1, 1, UINT8), "dst.rdp");
        EXPECT_EQ(CopyTag(dst.c_str(), path.c_str(), list, 2), 1);
        EXPECT_EQ(GetSizeTag(dst.c_str(), 7), 0);
        // The chain itself is sound, so the other tags stay readable.
        EXPECT_EQ(ReadTag(path, 0, 5), UserPayload(1, "five"));
    }
}

// Every prefix of a file is read without fault; a tag is seen only when its header
// chain and its whole payload lie inside the prefix.
TEST_F(RDPFileTest, TruncatedFilesLoseTheTagsTheyCut)
{
    const auto full = Tagged();
    const std::int64_t end7 = full.Size();
    const std::int64_t end5 = full.Get32(full.TagHeader(0, 5) + 4) + 12;
    // Every cut through the headers and user tags; inside the statistics payload all
    // cuts are alike, so a stride does.
    std::vector<std::int64_t> cuts;
    for (std::int64_t cut = 0; cut <= full.Size(); ++cut)
        if (cut < 120 || cut >= full.TagHeader(0, 2) + 1064 || cut % 97 == 0)
            cuts.push_back(cut);
    for (std::int64_t cut : cuts) {
        SCOPED_TRACE(cut);
        RdpFileBuilder b;
        b.bytes.assign(full.bytes.begin(), full.bytes.begin() + cut);
        const std::string path = Save(b);
        EXPECT_EQ(GetSizeTag(path.c_str(), 5) != 0, cut >= end5);
        EXPECT_EQ(GetSizeTag(path.c_str(), 7) != 0, cut >= end7);
        EXPECT_EQ(GetNumTag(path.c_str()) != 0, cut >= full.TagHeader(0, 7) + 12);
        char buf[16];
        EXPECT_EQ(GetTag(path.c_str(), 7, sizeof buf, buf), cut >= end7 ? 1 : 0);
        GetNextTag(path.c_str(), 6);
        GetNextNoReservedTag(path.c_str(), 5);
    }
}

// ---- chain walking --------------------------------------------------------------

TEST_F(RDPFileTest, NextTagAndCountFollowTheChain)
{
    const std::string fresh = Save(RdpFileBuilder::Fresh(3, 2, UINT8), "fresh.rdp");
    EXPECT_EQ(GetNextTag(fresh.c_str(), 0), 1);
    EXPECT_EQ(GetNextTag(fresh.c_str(), 1), 2);
    EXPECT_EQ(GetNextTag(fresh.c_str(), 2), 0);
    EXPECT_EQ(GetNextTag(fresh.c_str(), 3), 0);
    EXPECT_EQ(GetNumTag(fresh.c_str()), 3);
    EXPECT_EQ(GetNumTag(Save(RdpFileBuilder::Fresh(2, 2, CUINT16, true), "c.rdp").c_str()), 5);

    const std::string tagged = Save(Tagged());
    EXPECT_EQ(Chain(tagged, 0), (std::vector<int>{0, 1, 2, 5, 6, 7}));
    EXPECT_EQ(GetNumTag(tagged.c_str()), 6);
    EXPECT_EQ(GetNextNoReservedTag(tagged.c_str(), 0), 5);
    EXPECT_EQ(GetNextNoReservedTag(tagged.c_str(), 5), 7);  // 6 has copy flag 0
    EXPECT_EQ(GetNextNoReservedTag(tagged.c_str(), 6), 7);
    EXPECT_EQ(GetNextNoReservedTag(tagged.c_str(), 7), 0);
    EXPECT_EQ(GetNextNoReservedTag(tagged.c_str(), 42), 0);
    EXPECT_EQ(GetNextNoReservedTag(fresh.c_str(), 0), 0);
}

// Broken links end every walk with 0 (or no change for SetTag); loops are found.
TEST_F(RDPFileTest, BrokenAndLoopingChainsEndAsNotFound)
{
    struct Case {
        const char* name;
        void (*corrupt)(RdpFileBuilder&);
    };
    const Case kCases[] = {
        {"last header leads back to the first",
         [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 7) + 8, std::int32_t(b.FirstTagHeader(0))); }},
        {"last header leads to itself",
         [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 7) + 8, std::int32_t(b.TagHeader(0, 7))); }},
        {"middle header leads back to tag 1",
         [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 7) + 8, std::int32_t(b.TagHeader(0, 1))); }},
        {"last header leads beyond the end",
         [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 7) + 8, std::int32_t(b.Size() + 4)); }},
        {"last header leads to a short read",
         [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 7) + 8, std::int32_t(b.Size() - 4)); }},
        {"negative link", [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 7) + 8, -12); }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        auto b = Tagged();
        c.corrupt(b);
        const std::string path = Save(b);
        const Bytes before = Load(path);

        EXPECT_EQ(GetNumTag(path.c_str()), 0);
        EXPECT_EQ(GetSizeTag(path.c_str(), 8), 0);
        char buf[16];
        EXPECT_EQ(GetTag(path.c_str(), 8, sizeof buf, buf), 0);
        EXPECT_EQ(GetNextTag(path.c_str(), 7), 0);
        EXPECT_EQ(GetNextNoReservedTag(path.c_str(), 7), 0);
        const Bytes payload = UserPayload(1, "new");
        EXPECT_EQ(SetTag(path.c_str(), 8, int(payload.size()), payload.data()), 0);
        EXPECT_EQ(Load(path), before);
        // Stepping by number ends, and every header is met at most once.
        const auto chain = Chain(path, 0);
        EXPECT_LE(chain.size(), 6u);
        const std::string dst = Save(RdpFileBuilder::Fresh(1, 1, UINT8), "dst.rdp");
        EXPECT_EQ(CopyTag(dst.c_str(), path.c_str()), 0);
    }
}

TEST_F(RDPFileTest, LoopingLayerRecordsEndAsNotFound)
{
    auto b = RdpFileBuilder::Fresh(1, 1, UINT8);
    const std::int64_t second = b.AddLayer(1, 1, UINT8);
    b.Put32(second + 8, 12);
    const std::string path = Save(b);
    const Bytes before = Load(path);
    EXPECT_EQ(GetNumLayer(path.c_str()), 0);
    EXPECT_EQ(GetNumTag(path.c_str(), 5), 0);
    EXPECT_EQ(GetSizeTag(path.c_str(), 5, 0), 0);
    const Bytes payload = UserPayload(1, "x");
    EXPECT_EQ(SetTag(path.c_str(), 5, 9, int(payload.size()), payload.data()), 0);
    EXPECT_EQ(Load(path), before);
    // The layers before the loop are still reached.
    EXPECT_EQ(GetNumTag(path.c_str(), 1), 3);
}

// A chain that repeats a tag number (no loop in its offsets) would make a caller that
// steps by number go round for ever; the repeat ends the stepping instead.
TEST_F(RDPFileTest, RepeatedTagNumberEndsStepping)
{
    auto b = Tagged();
    b.AddTag(0, 5, UserPayload(1, "second five"));
    b.AddTag(0, 9, UserPayload(1, "nine"));
    const std::string path = Save(b);
    EXPECT_EQ(GetNumTag(path.c_str()), 8);
    EXPECT_EQ(Chain(path, 0), (std::vector<int>{0, 1, 2, 5, 6, 7}));
    EXPECT_EQ(GetNextNoReservedTag(path.c_str(), 7), 0);
    EXPECT_EQ(ReadTag(path, 0, 5), UserPayload(1, "five"));  // the first one counts
    EXPECT_EQ(ReadTag(path, 0, 9), UserPayload(1, "nine"));

    // A repeat among the skipped headers also counts.
    auto c = RdpFileBuilder::Fresh(1, 1, UINT8);
    c.AddTag(0, 6, UserPayload(1, "six"));
    c.AddTag(0, 5, UserPayload(0, "hidden five"));
    c.AddTag(0, 5, UserPayload(1, "shown five"));
    const std::string p2 = Save(c, "c.rdp");
    EXPECT_EQ(GetNextNoReservedTag(p2.c_str(), 0), 6);
    EXPECT_EQ(GetNextNoReservedTag(p2.c_str(), 6), 0);
}

// ---- writing tags ---------------------------------------------------------------

TEST_F(RDPFileTest, SetTagAppendsANewTagBehindTheLayersLastHeader)
{
    auto b = Tagged();
    const std::string path = Save(b);
    const std::int64_t size = FileSize(path);
    const Bytes payload = UserPayload(1, "appended");
    EXPECT_EQ(SetTag(path.c_str(), 0, 300, int(payload.size()), payload.data()), 1);
    EXPECT_EQ(FileSize(path), size + 12 + std::int64_t(payload.size()));

    RdpFileBuilder want = b;
    want.AddTag(0, 300, payload);
    EXPECT_EQ(Load(path), want.bytes);
    EXPECT_EQ(Chain(path, 0), (std::vector<int>{0, 1, 2, 5, 6, 7, 300}));

    // The first word of the caller's buffer is never used: len is the length word.
    Bytes odd = UserPayload(1, "abc");
    odd[0] = 99;
    EXPECT_EQ(SetTag(path.c_str(), 301, int(odd.size()), odd.data()), 1);
    EXPECT_EQ(GetSizeTag(path.c_str(), 301), int(odd.size()));
    // A bare length word is a valid, empty payload.
    const std::int32_t four = 4;
    EXPECT_EQ(SetTag(path.c_str(), 302, 4, &four), 1);
    EXPECT_EQ(GetSizeTag(path.c_str(), 302), 4);
}

TEST_F(RDPFileTest, SetTagRefusalsLeaveTheFileUnchanged)
{
    auto b = Tagged();
    b.AddLayer(1, 1, UINT8);
    const std::string path = Save(b);
    const Bytes before = Load(path);
    const Bytes payload = UserPayload(1, "x");
    const std::int32_t three = 3;
    struct Case {
        const char* name;
        const char* file;
        int layer, tag, len;
        const void* buf;
    };
    const std::string missing = dir.File("missing.rdp");
    const Case kCases[] = {
        {"no layer 2", path.c_str(), 2, 300, int(payload.size()), payload.data()},
        {"negative layer", path.c_str(), -1, 300, int(payload.size()), payload.data()},
        {"null buffer", path.c_str(), 0, 300, 12, nullptr},
        {"len below 4", path.c_str(), 0, 300, 3, &three},
        {"len 0 on an existing tag", path.c_str(), 0, 5, 0, payload.data()},
        {"negative len", path.c_str(), 0, 300, -8, payload.data()},
        {"missing file", missing.c_str(), 0, 300, int(payload.size()), payload.data()},
        {"null path", nullptr, 0, 300, int(payload.size()), payload.data()},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SetTag(c.file, c.layer, c.tag, c.len, c.buf), 0);
        EXPECT_EQ(Load(path), before);
    }
    EXPECT_EQ(FileSize(missing), -1);  // never created
}

// A write that would land on another part of the file's structure, or bytes appended
// where a link or payload of a chain reaches past the end (and would take them in),
// is refused: the same call on the undamaged file succeeds.
TEST_F(RDPFileTest, SetTagWritesNothingOverTheFileStructure)
{
    struct Case {
        const char* name;
        int tag;
        std::function<void(RdpFileBuilder&)> damage;
    };
    const Case kCases[] = {
        {"last header of the chain over the file header", 300,
         [](RdpFileBuilder& b) { b.Put32(b.LastTagHeader(0) + 8, 4); }},
        {"payload over the next layer's statistics", 7,
         [](RdpFileBuilder& b) { b.Put32(b.TagHeader(0, 7) + 4, b.Get32(b.TagHeader(1, 2) + 4)); }},
        // Tag 5 renumbered 64: its header reads as a payload of 64 bytes.
        {"payload over tag headers", 7,
         [](RdpFileBuilder& b) {
             const std::int64_t header5 = b.TagHeader(0, 5);
             b.Put32(header5, 64);
             b.Put32(b.TagHeader(0, 7) + 4, std::int32_t(header5));
         }},
        {"another layer's link past the end", 300,
         [](RdpFileBuilder& b) { b.Put32(b.LastTagHeader(1) + 8, std::int32_t(b.Size() + 40)); }},
        {"another layer's payload past the end", 300,
         [](RdpFileBuilder& b) {
             b.AddTag(1, 301, UserPayload(1, "note"));
             b.Put32(b.Size() - 12, 4000);
         }},
    };
    const Bytes payload = UserPayload(1, "abcd");
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        auto b = Tagged();
        b.AddLayer(1, 1, UINT8);
        const std::string clean = Save(b, "clean.rdp");
        EXPECT_EQ(SetTag(clean.c_str(), 0, c.tag, int(payload.size()), payload.data()), 1);
        c.damage(b);
        const std::string path = Save(b);
        EXPECT_EQ(SetTag(path.c_str(), 0, c.tag, int(payload.size()), payload.data()), 0);
        EXPECT_EQ(Load(path), b.bytes);
    }
}

// Overwriting reads only the caller's len bytes: a shorter payload is written and the
// rest cleared (stored length kept), a longer one moves to the end of the file.
TEST_F(RDPFileTest, SetTagOverwritesInPlaceOrMovesALongerPayload)
{
    auto b = Tagged();
    const std::string path = Save(b);
    const std::int64_t header7 = b.TagHeader(0, 7);
    const std::int64_t old7 = b.Get32(header7 + 4);

    // Same length: in place.
    auto same = std::make_unique<Bytes>(UserPayload(1, "SEVEN??"));
    EXPECT_EQ(SetTag(path.c_str(), 7, int(same->size()), same->data()), 1);
    EXPECT_EQ(FileSize(path), b.Size());
    EXPECT_EQ(ReadTag(path, 0, 7), *same);

    // Shorter: caller's bytes, then zeros; the stored length stays 15.
    auto shorter = std::make_unique<Bytes>(UserPayload(1, "ab"));
    EXPECT_EQ(SetTag(path.c_str(), 7, int(shorter->size()), shorter->data()), 1);
    EXPECT_EQ(FileSize(path), b.Size());
    Bytes expect = UserPayload(1, std::string("ab\0\0\0\0\0", 7));
    EXPECT_EQ(ReadTag(path, 0, 7), expect);
    // Even a bare length word clears the payload behind it.
    const std::int32_t four = 4;
    EXPECT_EQ(SetTag(path.c_str(), 7, 4, &four), 1);
    EXPECT_EQ(ReadTag(path, 0, 7), Bytes({15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // Longer: appended at the end, header re-pointed, old bytes left as they were.
    auto longer = std::make_unique<Bytes>(UserPayload(1, "a much longer seven"));
    const Bytes beforeLonger = Load(path);
    EXPECT_EQ(SetTag(path.c_str(), 7, int(longer->size()), longer->data()), 1);
    const Bytes after = Load(path);
    ASSERT_EQ(std::int64_t(after.size()), b.Size() + std::int64_t(longer->size()));
    EXPECT_EQ(ReadTag(path, 0, 7), *longer);
    RdpFileBuilder check;
    check.bytes = after;
    EXPECT_EQ(check.Get32(header7 + 4), b.Size());
    EXPECT_TRUE(std::equal(beforeLonger.begin() + old7, beforeLonger.end(), after.begin() + old7));
    EXPECT_EQ(Chain(path, 0), (std::vector<int>{0, 1, 2, 5, 6, 7}));
    EXPECT_EQ(GetNumTag(path.c_str()), 6);
}

// A tag whose stored payload is unreadable is repaired by a write rather than
// given a second header with the same number.
TEST_F(RDPFileTest, SetTagOnABrokenPayloadPointsTheHeaderAtANewOne)
{
    auto b = Tagged();
    b.Put32(b.Get32(b.TagHeader(0, 5) + 4), 2);
    const std::string path = Save(b);
    EXPECT_EQ(GetSizeTag(path.c_str(), 5), 0);
    const Bytes payload = UserPayload(1, "fixed");
    EXPECT_EQ(SetTag(path.c_str(), 5, int(payload.size()), payload.data()), 1);
    EXPECT_EQ(ReadTag(path, 0, 5), payload);
    EXPECT_EQ(GetNumTag(path.c_str()), 6);
}

// Offsets are 32-bit: a file may not grow to 2^31 bytes.
TEST_F(RDPFileTest, SetTagRefusesToGrowPastThirtyTwoBitOffsets)
{
    const std::string path = Save(Tagged());
    ASSERT_EQ(::truncate(path.c_str(), kRDPMaxFileSize - 20), 0);  // sparse
    const Bytes before = ReadTag(path, 0, 7);
    const Bytes small = UserPayload(1, "");  // 8 bytes + 12 of header: fits exactly
    const Bytes big = UserPayload(1, "x");
    EXPECT_EQ(SetTag(path.c_str(), 300, int(big.size()), big.data()), 0);
    EXPECT_EQ(FileSize(path), kRDPMaxFileSize - 20);
    auto longer7 = UserPayload(1, std::string(30, 'y'));
    EXPECT_EQ(SetTag(path.c_str(), 7, int(longer7.size()), longer7.data()), 0);
    EXPECT_EQ(FileSize(path), kRDPMaxFileSize - 20);
    EXPECT_EQ(ReadTag(path, 0, 7), before);
    EXPECT_EQ(SetTag(path.c_str(), 300, int(small.size()), small.data()), 1);
    EXPECT_EQ(FileSize(path), kRDPMaxFileSize);
    EXPECT_EQ(ReadTag(path, 0, 300), small);
}

TEST_F(RDPFileTest, DeleteTagDoesNothing)
{
    const std::string path = Save(Tagged());
    const Bytes before = Load(path);
    EXPECT_EQ(DeleteTag(path.c_str(), 5), 0);
    EXPECT_EQ(DeleteTag(path.c_str(), 0, 7), 0);
    EXPECT_EQ(GetSizeTag(path.c_str(), 5), 12);
    EXPECT_EQ(Load(path), before);
}

// ---- copying tags ----------------------------------------------------------------

TEST_F(RDPFileTest, CopyTagCopiesUserTagsWithTheCopyFlag)
{
    const std::string src = Save(Tagged(), "src.rdp");
    const std::string dst = Save(RdpFileBuilder::Fresh(2, 2, UINT16), "dst.rdp");
    EXPECT_EQ(CopyTag(dst.c_str(), src.c_str()), 2);
    EXPECT_EQ(Chain(dst, 0), (std::vector<int>{0, 1, 2, 5, 7}));
    EXPECT_EQ(ReadTag(dst, 0, 5), UserPayload(1, "five"));
    EXPECT_EQ(ReadTag(dst, 0, 7), UserPayload(1, "seven!!"));
    LayerHeaderTag head{};
    EXPECT_EQ(GetTag(dst.c_str(), kTagLayerHeader, sizeof head, &head), 1);
    EXPECT_EQ(head.type, UINT16);  // reserved tags stay the destination's

    // Again: both exist now and are overwritten in place.
    const std::int64_t size = FileSize(dst);
    EXPECT_EQ(CopyTag(dst.c_str(), src.c_str()), 2);
    EXPECT_EQ(FileSize(dst), size);

    const std::string none = Save(RdpFileBuilder::Fresh(1, 1, UINT8), "none.rdp");
    EXPECT_EQ(CopyTag(dst.c_str(), none.c_str()), 0);
    EXPECT_EQ(CopyTag(dst.c_str(), dir.File("missing.rdp").c_str()), 0);
    EXPECT_EQ(CopyTag(dir.File("missing.rdp").c_str(), src.c_str()), 0);
}

TEST_F(RDPFileTest, CopyTagBetweenLayers)
{
    auto s = RdpFileBuilder::Fresh(1, 1, UINT8);
    s.AddLayer(1, 1, UINT8);
    s.AddTag(1, 300, UserPayload(1, "from layer one"));
    s.AddTag(0, 301, UserPayload(1, "from layer zero"));
    const std::string src = Save(s, "src.rdp");
    auto d = RdpFileBuilder::Fresh(1, 1, UINT8);
    d.AddLayer(1, 1, UINT8);
    d.AddLayer(1, 1, UINT8);
    const std::string dst = Save(d, "dst.rdp");
    EXPECT_EQ(CopyTag(dst.c_str(), 2, src.c_str(), 1), 1);
    EXPECT_EQ(ReadTag(dst, 2, 300), UserPayload(1, "from layer one"));
    EXPECT_EQ(GetSizeTag(dst.c_str(), 0, 300), 0);
    EXPECT_EQ(CopyTag(dst.c_str(), 3, src.c_str(), 0), 0);  // no layer 3
    // Within one file.
    EXPECT_EQ(CopyTag(src.c_str(), 1, src.c_str(), 0), 1);
    EXPECT_EQ(ReadTag(src, 1, 301), UserPayload(1, "from layer zero"));
}

TEST_F(RDPFileTest, CopyTagListCopiesWhateverIsListed)
{
    auto s = Tagged();
    auto stats = ZeroPayload(sizeof(StatisticsTag));
    stats[4] = 1;  // computed
    stats[8] = 0x55;
    s.Put32(s.TagHeader(0, 2) + 4, std::int32_t(s.AppendBytes(stats.data(), stats.size())));
    const std::string src = Save(s, "src.rdp");
    const std::string dst = Save(RdpFileBuilder::Fresh(3, 2, UINT8), "dst.rdp");
    const int list[] = {6, 2, 42, 5, 5};
    EXPECT_EQ(CopyTag(dst.c_str(), src.c_str(), list, 5), 4);  // 42 is absent
    EXPECT_EQ(ReadTag(dst, 0, 6), UserPayload(0, "six, not copied"));
    EXPECT_EQ(ReadTag(dst, 0, 2), stats);
    EXPECT_EQ(Chain(dst, 0), (std::vector<int>{0, 1, 2, 6, 5}));
    EXPECT_EQ(CopyTag(dst.c_str(), src.c_str(), nullptr, 3), 0);
    EXPECT_EQ(CopyTag(dst.c_str(), src.c_str(), list, 0), 0);
    EXPECT_EQ(CopyTag(dst.c_str(), src.c_str(), list, -1), 0);
}

// Copying a payload over a tag of the same number follows SetTag: shorter ones are
// zero-filled to the stored length, longer ones move to the end.
TEST_F(RDPFileTest, CopyTagOverTagsOfOtherLengths)
{
    const std::string src = Save(Tagged(), "src.rdp");
    auto d = RdpFileBuilder::Fresh(1, 1, UINT8);
    d.AddTag(0, 5, UserPayload(1, "a longer five in the destination"));
    d.AddTag(0, 7, UserPayload(1, "7"));
    const std::string dst = Save(d, "dst.rdp");
    EXPECT_EQ(CopyTag(dst.c_str(), src.c_str()), 2);
    Bytes five = UserPayload(1, "five");
    five.resize(size_t(UserPayload(1, "a longer five in the destination").size()), 0);
    five[0] = std::uint8_t(five.size());
    EXPECT_EQ(ReadTag(dst, 0, 5), five);
    EXPECT_EQ(ReadTag(dst, 0, 7), UserPayload(1, "seven!!"));
    EXPECT_EQ(GetNumTag(dst.c_str()), 5);
}

TEST_F(RDPFileTest, EveryFileFunctionRefusesAFifoAtOnce)
{
    const std::string fifo = dir.File("fifo.rdp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string good = Save(Tagged());
    const Bytes kept = Load(good);
    const char* f = fifo.c_str();
    const char* g = good.c_str();
    char buf[64] = {};
    const int tags[] = {5, 7};
    const struct {
        const char* name;
        std::function<int()> call;
    } cases[] = {
        {"GetVersion", [&] { return GetVersion(f); }},
        {"GetNumLayer", [&] { return GetNumLayer(f); }},
        {"GetTag", [&] { return GetTag(f, 0, 5, sizeof buf, buf); }},
        {"GetTag file", [&] { return GetTag(f, 5, sizeof buf, buf); }},
        {"SetTag", [&] { return SetTag(f, 0, 9, 4, "abcd"); }},
        {"SetTag file", [&] { return SetTag(f, 9, 4, "abcd"); }},
        {"GetSizeTag", [&] { return GetSizeTag(f, 0, 5); }},
        {"GetSizeTag file", [&] { return GetSizeTag(f, 5); }},
        {"GetNextTag", [&] { return GetNextTag(f, 0, 0); }},
        {"GetNextTag file", [&] { return GetNextTag(f, 0); }},
        {"GetNextNoReservedTag", [&] { return GetNextNoReservedTag(f, 0, 0); }},
        {"GetNextNoReservedTag file", [&] { return GetNextNoReservedTag(f, 0); }},
        {"GetNumTag", [&] { return GetNumTag(f, 0); }},
        {"GetNumTag file", [&] { return GetNumTag(f); }},
        {"CopyTag from", [&] { return CopyTag(g, 0, f, 0); }},
        {"CopyTag to", [&] { return CopyTag(f, 0, g, 0); }},
        {"CopyTag file from", [&] { return CopyTag(g, f); }},
        {"CopyTag file to", [&] { return CopyTag(f, g); }},
        {"CopyTag list from", [&] { return CopyTag(g, 0, f, 0, tags, 2); }},
        {"CopyTag list to", [&] { return CopyTag(f, 0, g, 0, tags, 2); }},
        {"CopyTag file list to", [&] { return CopyTag(f, g, tags, 2); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // In a child: an open that waits for the FIFO's writer would hang the test.
        const int status = testsupport::RunInChild([&] { return c.call() == 0 ? 0 : 1; }, 3);
        EXPECT_TRUE(testsupport::ExitedWith(status, 0)) << "wait status " << status;
    }
    EXPECT_EQ(Load(good), kept);
}

}  // namespace
