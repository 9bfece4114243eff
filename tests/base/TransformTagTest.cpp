#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "ChildProcess.h"
#include "RdpFileBuilder.h"
#include "layer/RDPFileTags.h"
#include "layer/Transform.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, std::int32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

// A freshly created one-layer file of 3 x 2 bytes, laid out as the library writes it.
Bytes FreshLayerFile()
{
    const int w = 3, h = 2, p = w * h;
    Bytes b{'R', 'D', 'P', 'R'};
    for (int v : {3, 0, 0, 32, 0, 1, 0, 0, 44, 68, 24, w, h, 1, 0, 1, 1, 80, 88 + p, p + 4})
        Put32(b, v);
    b.resize(b.size() + p + 4);
    for (int v : {2, 100 + p, 0, 1064})
        Put32(b, v);
    b.resize(b.size() + 1060);
    return b;
}

Bytes Read(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void Write(const std::string& path, const Bytes& b)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

class TransformHistory : public ::testing::Test {
protected:
    std::string Layer(const char* name)
    {
        const std::string path = Path(name);
        Write(path, FreshLayerFile());
        EXPECT_EQ(GetNumLayer(path.c_str()), 1);
        return path;
    }
    std::string Path(const char* name) const { return dir_.File(name); }

    rdptest::TempDir dir_;
};

TransformTag History(const std::string& file)
{
    TransformTag rec;
    EXPECT_EQ(GetSizeTag(file.c_str(), 308), 56);
    EXPECT_EQ(GetTag(file.c_str(), 308, 56, &rec), 1);
    return rec;
}

std::vector<double> Flat(const TransformMatrix& m)
{
    return {m.a, m.b, m.c, m.d, m.e, m.f};
}

TEST_F(TransformHistory, SubsetExtendedTwiceAcrossFiles)
{
    const std::string a = Layer("a.rdp"), b = Layer("b.rdp"), c = Layer("c.rdp");
    const auto before = Read(b).size();
    ASSERT_EQ(SaveSubsetTransform({100, 50}, a, b), 1);

    // Appended at the end of b: header, then the 56-byte little-endian record.
    const Bytes raw = Read(b);
    ASSERT_EQ(raw.size(), before + 12 + 56);
    std::int32_t words[2];
    double m[6];
    std::memcpy(words, raw.data() + before + 12, sizeof words);
    std::memcpy(m, raw.data() + before + 20, sizeof m);
    EXPECT_EQ(words[0], 56);
    EXPECT_EQ(words[1], 1);
    EXPECT_EQ(std::vector<double>(m, m + 6), (std::vector<double>{1, 0, 0, 1, -100, -50}));

    ASSERT_EQ(SaveSubsetTransform({10, 10}, b, c), 1);
    const TransformTag rec = History(c);
    EXPECT_EQ(rec.length, 56);
    EXPECT_EQ(rec.flag, 1);
    EXPECT_EQ(Flat(rec.matrix), (std::vector<double>{1, 0, 0, 1, -110, -60}));
    EXPECT_EQ(GetSizeTag(a.c_str(), 308), 0);  // the source is only read
}

TEST_F(TransformHistory, MixedStepsComposeInOrderAndOverwriteInPlace)
{
    const std::string a = Layer("a.rdp"), b = Layer("b.rdp"), c = Layer("c.rdp");
    const SPoint centre{20, 30};
    const double angle = std::numbers::pi / 6;
    ASSERT_EQ(SaveRotateTransform(centre, angle, a, b), 1);
    ASSERT_EQ(SaveDegradeTransform(0.5, 0.25, b, c), 1);

    // c maps a source pixel as the rotation followed by the scaling does.
    TransformMatrix rot, scale;
    RotateTransform(&centre, angle, &rot);
    DegradeTransform(0.5, 0.25, &scale);
    const TransformTag rec = History(c);
    for (SPoint p : {SPoint{0, 0}, SPoint{17, -4}, SPoint{250, 120}}) {
        SPoint viaSteps, viaHistory;
        DirectTransformPoint(&rot, &p, &viaSteps);
        DirectTransformPoint(&scale, &viaSteps, &viaSteps);
        DirectTransformPoint(&rec.matrix, &p, &viaHistory);
        EXPECT_NEAR(viaHistory.x, viaSteps.x, 1e-12);
        EXPECT_NEAR(viaHistory.y, viaSteps.y, 1e-12);
    }

    // A second save into c replaces its record without growing the file; saving into
    // the source itself extends its own history.
    const auto size = Read(c).size();
    ASSERT_EQ(SaveSubsetTransform({1, 2}, a, c), 1);
    EXPECT_EQ(Read(c).size(), size);
    EXPECT_EQ(Flat(History(c).matrix), (std::vector<double>{1, 0, 0, 1, -1, -2}));
    ASSERT_EQ(SaveSubsetTransform({3, 4}, c, c), 1);
    EXPECT_EQ(Flat(History(c).matrix), (std::vector<double>{1, 0, 0, 1, -4, -6}));

    // The copy flag lets the history travel with the file's other user tags.
    const std::string d = Layer("d.rdp");
    EXPECT_EQ(CopyTag(d.c_str(), c.c_str()), 1);
    EXPECT_EQ(Flat(History(d).matrix), (std::vector<double>{1, 0, 0, 1, -4, -6}));
}

TEST_F(TransformHistory, FailuresReportZeroAndLeaveTheTargetAlone)
{
    const std::string a = Layer("a.rdp"), b = Layer("b.rdp");
    ASSERT_EQ(SaveSubsetTransform({5, 5}, a, b), 1);
    const Bytes kept = Read(b);

    // A source whose tag 308 is shorter than the record.
    const std::string shortRec = Layer("short.rdp");
    const std::int32_t stub[5] = {20, 1, 0, 0, 0};
    ASSERT_EQ(SetTag(shortRec.c_str(), 308, 20, stub), 1);
    const Bytes shortKept = Read(shortRec);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::string missing = dir_.File("missing.rdp");
    const std::string notLayer = Path("text.rdp");
    Write(notLayer, Bytes(64, 'x'));
    const struct {
        const char* name;
        int result;
    } cases[] = {
        {"missing source", SaveSubsetTransform({1, 1}, missing, b)},
        {"source not a layer file", SaveSubsetTransform({1, 1}, notLayer, b)},
        {"damaged source record", SaveSubsetTransform({1, 1}, shortRec, b)},
        {"zero x scale", SaveDegradeTransform(0, 2, a, b)},
        {"zero y scale", SaveDegradeTransform(2, 0, a, b)},
        {"infinite scale", SaveDegradeTransform(inf, 1, a, b)},
        {"angle not a number", SaveRotateTransform({0, 0}, nan, a, b)},
        {"origin not a number", SaveSubsetTransform({nan, 0}, a, b)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, 0);
        EXPECT_EQ(Read(b), kept);
        EXPECT_EQ(Read(shortRec), shortKept);
    }
    EXPECT_EQ(SaveSubsetTransform({1, 1}, a, missing), 0);
    // A longer source record still starts with the history.
    const std::string longRec = Layer("long.rdp");
    TransformTag wide[2];
    wide[0].matrix = {1, 0, 0, 1, -7, -8};
    ASSERT_EQ(SetTag(longRec.c_str(), 308, 64, wide), 1);
    ASSERT_EQ(SaveSubsetTransform({1, 1}, longRec, b), 1);
    EXPECT_EQ(Flat(History(b).matrix), (std::vector<double>{1, 0, 0, 1, -8, -9}));
    // A target whose record is too short gets a whole one.
    ASSERT_EQ(SaveSubsetTransform({1, 1}, a, shortRec), 1);
    EXPECT_EQ(Flat(History(shortRec).matrix), (std::vector<double>{1, 0, 0, 1, -1, -1}));
    EXPECT_EQ(std::fopen(missing.c_str(), "rb"), nullptr);
}

TEST_F(TransformHistory, AFifoIsRefusedAsSourceOrTarget)
{
    const std::string a = Layer("a.rdp");
    const Bytes kept = Read(a);
    const std::string fifo = Path("fifo.rdp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const struct {
        const char* name;
        std::function<int()> save;
    } cases[] = {
        {"subset from",
         [&] {
             return SaveSubsetTransform({1, 1}, fifo, a);
         }},
        {"subset to",
         [&] {
             return SaveSubsetTransform({1, 1}, a, fifo);
         }},
        {"rotate to",
         [&] {
             return SaveRotateTransform({0, 0}, 0.5, a, fifo);
         }},
        {"degrade from", [&] { return SaveDegradeTransform(2, 2, fifo, a); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // In a child: an open that waits for the FIFO's other end would hang the test.
        const int status = testsupport::RunInChild([&] { return c.save() == 0 ? 0 : 1; }, 3);
        EXPECT_TRUE(testsupport::ExitedWith(status, 0)) << "wait status " << status;
    }
    EXPECT_EQ(Read(a), kept);
}

}  // namespace
