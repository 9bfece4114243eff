// The complex join and divide without windows: the row kernels on the edge cases,
// Execute's checks, the jobs on the conversion road (refusals, cancels, tags), and
// every type against a numpy model and GDAL's pixel functions.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "FakeMeter.h"
#include "TempDir.h"
#include "complex/ComplexOps.h"
#include "format/SampleConvert.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "platform/threads/ParallelFor.h"
#include "util/MathHelpers.h"

namespace {

using Bytes = std::vector<unsigned char>;

bool Exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The samples of a type as bytes, each component from a double by the plain store.
Bytes SamplesOf(int type, const std::vector<double>& components)
{
    Bytes out;
    sample::Dispatch(type, [&](auto k) {
        using C = typename decltype(k)::Component;
        out.resize(components.size() * sizeof(C));
        for (std::size_t i = 0; i < components.size(); ++i)
            sample::Store(out.data() + i * sizeof(C), sample::FromDouble<C>(components[i]));
    });
    return out;
}

// One component of a sample type at index i of a row, as a double.
double ComponentAt(int type, const void* row, std::size_t i)
{
    double v = 0.0;
    sample::Dispatch(type, [&](auto k) {
        using C = typename decltype(k)::Component;
        v = double(sample::Load<C>(static_cast<const unsigned char*>(row) + i * sizeof(C)));
    });
    return v;
}

void MakeLayer(const std::string& path, int type, int width, int height, const Bytes& bytes)
{
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(path.c_str(), width, height, type, 7), nullptr) << path;
    const std::size_t row = std::size_t(layer.RowSize());
    ASSERT_EQ(bytes.size(), row * std::size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(layer.Rows()[y], bytes.data() + std::size_t(y) * row, row);
    layer.CloseLayer();
}

// The whole payload of a one-layer file, and its type and size.
Bytes LayerBytes(const std::string& path, int* type = nullptr, int* width = nullptr, int* height = nullptr)
{
    CRDPLayer layer;
    Bytes out;
    if (!layer.OpenLayer(path.c_str(), 0))
        return out;
    if (type)
        *type = layer.Type();
    if (width)
        *width = layer.Width();
    if (height)
        *height = layer.Height();
    const std::size_t row = std::size_t(layer.RowSize());
    out.resize(row * std::size_t(layer.Height()));
    for (int y = 0; y < layer.Height(); ++y)
        std::memcpy(out.data() + std::size_t(y) * row, layer.Rows()[y], row);
    return out;
}

// Files of a folder whose name does not end in one of the listed names.
std::vector<std::string> Leftovers(const std::string& folder, const std::vector<std::string>& expected)
{
    std::vector<std::string> extra;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        bool known = false;
        for (const auto& x : expected)
            known = known || name == x;
        if (!known)
            extra.push_back(name);
    }
    return extra;
}

// Random components over the range a type holds (all of it for integers).
std::vector<double> RandomComponents(int componentType, std::size_t n, std::mt19937& rng, bool phases = false)
{
    double lo = 0, hi = 0;
    switch (componentType) {
    case UINT8: lo = 0, hi = 255; break;
    case SINT8: lo = -128, hi = 127; break;
    case UINT16: lo = 0, hi = 65535; break;
    case SINT16: lo = -32768, hi = 32767; break;
    case UINT32: lo = 0, hi = 4294967295.0; break;
    case SINT32: lo = -2147483648.0, hi = 2147483647.0; break;
    default: lo = -1e6, hi = 1e6; break;
    }
    if (phases)
        lo = std::max(lo, -7.0), hi = std::min(hi, 7.0);
    std::uniform_real_distribution<double> d(lo, hi);
    std::vector<double> v(n);
    for (auto& x : v)
        x = componentType == FLOAT32 || componentType == FLOAT64 ? d(rng) : std::floor(d(rng));
    return v;
}

}  // namespace

// The edge cases of the join, one pixel each: real and imaginary copied; amplitude
// and phase through cos and sin, integer results truncated and saturated.
TEST(ComplexKernels, JoinPixels)
{
    struct Case {
        const char* what;
        int type;
        int interpretation;
        double a, b;
        double re, im;
        double tolerance;
    };
    const Case cases[] = {
        {"float amplitude 2 phase 0", FLOAT32, 0, 2.0, 0.0, 2.0, 0.0, 0.0},
        {"float amplitude 2 phase pi/2", FLOAT32, 0, 2.0, 1.5707963, 0.0, 2.0, 1e-6},
        {"SINT16 100 at 1 rad", SINT16, 0, 100, 1, 54, 84, 0},
        {"SINT16 100 at 3 rad", SINT16, 0, 100, 3, -98, 14, 0},
        {"UINT8 negative real part saturates at 0", UINT8, 0, 100, 3, 0, 14, 0},
        {"SINT8 127 at 0", SINT8, 0, 127, 0, 127, 0, 0},
        {"UINT32 full amplitude", UINT32, 0, 4294967295.0, 0, 4294967295.0, 0, 0},
        {"SINT32 negative full amplitude", SINT32, 0, -2147483648.0, 0, -2147483648.0, 0, 0},
        {"FLOAT64 NaN amplitude stays NaN", FLOAT64, 0, NAN, 0, NAN, NAN, 0},
        {"real and imaginary copied", SINT16, 1, -5, 7, -5, 7, 0},
        {"real and imaginary of UINT32", UINT32, 1, 4294967295.0, 1, 4294967295.0, 1, 0},
        {"real and imaginary of FLOAT64", FLOAT64, 1, 1e300, -1e-300, 1e300, -1e-300, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes a = SamplesOf(c.type, {c.a});
        const Bytes b = SamplesOf(c.type, {c.b});
        Bytes out(2 * a.size(), 0xCC);
        ASSERT_TRUE(JoinComplexRow(c.type, c.interpretation, a.data(), b.data(), out.data(), 1));
        const int ct = GetComplexType(c.type, 2);
        const double re = ComponentAt(ct, out.data(), 0);
        const double im = ComponentAt(ct, out.data(), 1);
        if (std::isnan(c.re)) {
            EXPECT_TRUE(std::isnan(re));
            EXPECT_TRUE(std::isnan(im));
            continue;
        }
        EXPECT_NEAR(re, c.re, c.tolerance);
        EXPECT_NEAR(im, c.im, c.tolerance);
    }
    unsigned char scratch[16] = {};
    EXPECT_FALSE(JoinComplexRow(CFLOAT32, 0, scratch, scratch, scratch, 1));
    EXPECT_FALSE(JoinComplexRow(0, 0, scratch, scratch, scratch, 1));
}

// The edge cases of the divide: the amplitude saturates in the component type (360
// of (255, 255) is 255 in a UINT8 file), the phase is in [0, 2 pi) for signed types.
TEST(ComplexKernels, DividePixels)
{
    struct Case {
        const char* what;
        int type;
        int interpretation;
        double re, im;
        double first, second;
    };
    const double kPhaseMax = 6.28318530717958;
    const Case cases[] = {
        {"CSINT16 amplitude of (3, 4)", CSINT16, 0, 3, 4, 5, std::atan2(4.0, 3.0)},
        {"CSINT16 phase of (0, -1)", CSINT16, 0, 0, -1, 1, -M_PI_2 + kPhaseMax},
        {"CUINT16 amplitude of (40000, 40000)", CUINT16, 0, 40000, 40000, 56568, M_PI_4},
        {"CUINT8 amplitude 360 saturates", CUINT8, 0, 255, 255, 255, M_PI_4},
        {"CSINT8 amplitude 181 saturates", CSINT8, 0, -128, -128, 127, std::atan2(-128.0, -128.0) + kPhaseMax},
        {"CSINT32 amplitude saturates", CSINT32, 0, 2147483647.0, 2147483647.0, 2147483647.0, M_PI_4},
        {"CUINT32 amplitude saturates", CUINT32, 0, 4294967295.0, 4294967295.0, 4294967295.0, M_PI_4},
        {"CUINT8 phase without the turn", CUINT8, 0, 0, 1, 1, M_PI_2},
        {"CFLOAT32 amplitude as a float", CFLOAT32, 0, 1, 1, double(float(std::sqrt(2.0))), M_PI_4},
        {"CFLOAT64 (0, 0)", CFLOAT64, 0, 0, 0, 0, 0},
        {"CSINT16 parts copied", CSINT16, 1, -3, 4, -3, 4},
        {"CFLOAT64 parts copied", CFLOAT64, 1, -1e300, 1e-300, -1e300, 1e-300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes in = SamplesOf(c.type, {c.re, c.im});
        const int component = ComplexComponentType(c.type);
        Bytes one(8, 0xCC), two(8, 0xCC);
        ASSERT_TRUE(DivideComplexRow(c.type, c.interpretation, in.data(), one.data(), two.data(), 1));
        EXPECT_EQ(ComponentAt(component, one.data(), 0), c.first);
        const double second = c.interpretation == 0 ? sample::Load<double>(two.data()) : ComponentAt(component, two.data(), 0);
        EXPECT_NEAR(second, c.second, 1e-12);
        // Either component alone.
        Bytes alone(8, 0xCC);
        ASSERT_TRUE(DivideComplexRow(c.type, c.interpretation, in.data(), nullptr, alone.data(), 1));
        EXPECT_EQ(alone, two);
    }
    unsigned char scratch[16] = {};
    EXPECT_FALSE(DivideComplexRow(FLOAT32, 0, scratch, scratch, scratch, 1));
    EXPECT_EQ(ComplexComponentType(CUINT8), UINT8);
    EXPECT_EQ(ComplexComponentType(FLOAT32), 0);
}

// The divide's phase equals Arg's within a few units in the last place, for every
// kind of part and for zeros of either sign, infinities and NaN.
TEST(ComplexKernels, PhaseMatchesArg)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<std::pair<double, double>> pairs = {
        {0, 0},     {-0.0, 0},   {0, -0.0},    {-0.0, -0.0}, {1, 0},      {-1, 0},     {1, -0.0},
        {-1, -0.0}, {0, 1},      {0, -1},      {1, 1},       {-1, -1},    {3, -4},     {-3, 4},
        {1e-300, 1}, {1, 1e-300}, {1e300, 1e300}, {1.7e308, 1.7e308}, {inf, 1}, {1, -inf}, {inf, inf},
        {-inf, -inf}, {nan, 1},   {1, nan},     {0.41421356237309503, 1}, {1, 0.41421356237309515},
    };
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> d(-1, 1);
    std::uniform_int_distribution<int> e(-40, 40);
    for (int i = 0; i < 20000; ++i)
        pairs.push_back({std::ldexp(d(rng), e(rng)), std::ldexp(d(rng), e(rng))});
    for (const int type : {CFLOAT64, CFLOAT32, CSINT16, CUINT8, CSINT32, CUINT32}) {
        SCOPED_TRACE(type);
        const int component = ComplexComponentType(type);
        std::vector<double> parts;
        for (const auto& [re, im] : pairs) {
            // Integer parts: the values scaled into their range (whole numbers).
            const double k = component == FLOAT32 || component == FLOAT64 ? 1.0 : 100.0;
            parts.push_back(std::isfinite(re) || k == 1.0 ? re * k : 0.0);
            parts.push_back(std::isfinite(im) || k == 1.0 ? im * k : 0.0);
        }
        const Bytes in = SamplesOf(type, parts);
        std::vector<double> phase(pairs.size());
        ASSERT_TRUE(DivideComplexRow(type, 0, in.data(), nullptr, phase.data(), std::int64_t(pairs.size())));
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            double want = 0;
            sample::Dispatch(type, [&](auto k) {
                using C = typename decltype(k)::Component;
                want = Arg(sample::Load<C>(in.data() + 2 * i * sizeof(C)),
                           sample::Load<C>(in.data() + (2 * i + 1) * sizeof(C)));
            });
            if (std::isnan(want)) {
                EXPECT_TRUE(std::isnan(phase[i])) << i;
                continue;
            }
            ASSERT_NEAR(phase[i], want, 4e-15) << i << ": " << parts[2 * i] << ", " << parts[2 * i + 1];
        }
    }
}

// Execute's checks: each refusal with its reason; names compared as files.
TEST(ComplexExecute, RefusalsAndJobs)
{
    testsupport::TempDir dir;
    const std::string a = dir.File("a.rdp"), b = dir.File("b.rdp"), c = dir.File("c.rdp");
    std::ofstream(a) << "x";
    std::ofstream(c) << "x";
    ASSERT_EQ(::symlink(a.c_str(), dir.File("link.rdp").c_str()), 0);
    const std::string relativeA = dir.Path() + "/./sub/../a.rdp";
    std::filesystem::create_directory(dir.File("sub"));

    const std::string needComplex = "It is neccesary to input complex file name";
    const std::string needComponent = "It is neccesary to input component file name";
    const std::string match = "File names shouldn't match";
    struct Case {
        const char* what;
        ComplexRequest request;
        std::string reason;
    };
    const Case cases[] = {
        {"no complex name", {0, 0, a, b, "", 1, 1}, needComplex},
        {"join without component #2", {0, 0, a, "", c, 1, 1}, needComponent},
        {"join without component #1, checks off", {0, 0, "", b, c, 0, 0}, needComponent},
        {"divide, write #1 without a name", {1, 0, "", b, c, 1, 1}, needComponent},
        {"divide, write #2 without a name", {1, 1, a, "", c, 1, 1}, needComponent},
        {"divide, both writes off", {1, 0, a, b, c, 0, 0}, needComponent},
        {"divide into one file twice", {1, 0, a, a, c, 1, 1}, match},
        {"divide into a file and its link", {1, 0, a, dir.File("link.rdp"), c, 1, 1}, match},
        {"complex named as component #1", {0, 0, a, b, a, 1, 1}, match},
        {"complex named as component #2 another way", {1, 0, b, relativeA, a, 1, 1}, match},
        {"complex a link of component #1", {0, 1, a, b, dir.File("link.rdp"), 1, 1}, match},
        {"letter case differs", {1, 0, dir.File("A.rdp"), b, a, 1, 1}, ""},
        {"divide, equal names with one write", {1, 0, a, a, c, 0, 1}, ""},
        {"join", {0, 1, a, b, c, 1, 1}, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const ComplexCheck check = CheckComplexExecute(k.request);
        EXPECT_EQ(check.reason, k.reason);
        EXPECT_EQ(check.job == nullptr, !k.reason.empty());
    }

    const ComplexCheck join = CheckComplexExecute({0, 1, a, b, c, 0, 0});
    ASSERT_TRUE(join.job);
    EXPECT_EQ(join.job->interpretation, 1);
    EXPECT_EQ(join.inputs, (std::vector<std::string>{a, b}));
    EXPECT_EQ(join.outputs, (std::vector<std::string>{c}));
    const ComplexCheck both = CheckComplexExecute({1, 0, a, b, c, 1, 1});
    EXPECT_EQ(both.inputs, (std::vector<std::string>{c}));
    EXPECT_EQ(both.outputs, (std::vector<std::string>{a, b}));
    // Write #2 alone: View opens that one file.
    const ComplexCheck second = CheckComplexExecute({1, 0, "", b, c, 0, 1});
    ASSERT_TRUE(second.job);
    EXPECT_EQ(second.outputs, (std::vector<std::string>{b}));
}

// The jobs' refusals, each with its text and nothing written.
TEST(ComplexJobs, Refusals)
{
    testsupport::TempDir dir;
    const std::string u8 = dir.File("u8.rdp"), u16 = dir.File("u16.rdp"), wide = dir.File("wide.rdp");
    const std::string cpx = dir.File("cpx.rdp"), out = dir.File("out.rdp");
    MakeLayer(u8, UINT8, 4, 3, Bytes(12, 1));
    MakeLayer(dir.File("u8b.rdp"), UINT8, 4, 3, Bytes(12, 2));
    MakeLayer(u16, UINT16, 4, 3, Bytes(24, 1));
    MakeLayer(wide, UINT8, 5, 3, Bytes(15, 1));
    MakeLayer(cpx, CUINT8, 4, 3, Bytes(24, 1));
    struct Case {
        const char* what;
        bool join;
        ComplexJob job;
        std::string text;
    };
    const Case cases[] = {
        {"join of UINT8 and UINT16", true, {u8, u16, out, 0, 1, 1}, "Data type of components should be equal"},
        {"join of different sizes", true, {u8, wide, out, 1, 1, 1}, "Size of input files should be equal"},
        {"join of a complex component", true, {cpx, u8, out, 1, 1, 1}, "Components of complex files must not be complex"},
        {"join of a missing file", true, {dir.File("none.rdp"), u8, out, 1, 1, 1},
         "Unable to open file " + dir.File("none.rdp")},
        {"join over its own input", true, {u8, dir.File("u8b.rdp"), dir.Path() + "/./u8.rdp", 1, 1, 1}, "*"},
        {"divide of a real file", false, {out, dir.File("two.rdp"), u8, 0, 1, 1},
         "The file being divided should be Complex"},
        {"divide of a missing file", false, {out, dir.File("two.rdp"), dir.File("none.rdp"), 0, 1, 1},
         "Unable to open file " + dir.File("none.rdp")},
        {"divide into one file twice", false, {dir.File("two.rdp"), dir.Path() + "/./two.rdp", cpx, 0, 1, 1}, "*"},
        {"divide into its own input", false, {dir.Path() + "/sub/../cpx.rdp", dir.File("two.rdp"), cpx, 0, 1, 1},
         "*"},
    };
    std::filesystem::create_directory(dir.File("sub"));
    const std::string before = ReadAll(u8) + ReadAll(cpx);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const int rc = c.join ? JoinComplexFiles(c.job, nullptr, &error) : DivideComplexFile(c.job, nullptr, &error);
        EXPECT_EQ(rc, -1);
        if (c.text == "*")
            EXPECT_TRUE(error.find("cpx.rdp") != std::string::npos || error.find("u8.rdp") != std::string::npos ||
                        error.find("two.rdp") != std::string::npos)
                << error;
        else
            EXPECT_EQ(error, c.text);
        EXPECT_FALSE(Exists(out));
        EXPECT_FALSE(Exists(dir.File("two.rdp")));
    }
    EXPECT_EQ(ReadAll(u8) + ReadAll(cpx), before);
    EXPECT_EQ(Leftovers(dir.Path(), {"u8.rdp", "u8b.rdp", "u16.rdp", "wide.rdp", "cpx.rdp", "sub"}),
              std::vector<std::string>{});
}

// Join of two FLOAT32 files 100 x 50 as amplitude and phase, with the tags of
// component #1 that may be copied.
TEST(ComplexJobs, JoinWritesTheComplexFileAndCopiesTags)
{
    testsupport::TempDir dir;
    const int w = 100, h = 50;
    std::vector<double> amp(std::size_t(w * h), 2.0), ph(std::size_t(w * h), 0.0);
    ph[1] = 1.5707963;
    const std::string a = dir.File("amp.rdp"), b = dir.File("ph.rdp"), c = dir.File("c.rdp");
    MakeLayer(a, FLOAT32, w, h, SamplesOf(FLOAT32, amp));
    MakeLayer(b, FLOAT32, w, h, SamplesOf(FLOAT32, ph));
    const int copied[3] = {12, 1, 7};   // length, copy flag, value
    const int kept[3] = {12, 0, 9};
    ASSERT_TRUE(SetTag(a.c_str(), 20, 12, copied));
    ASSERT_TRUE(SetTag(a.c_str(), 21, 12, kept));

    testsupport::FakeMeter meter;
    std::string error;
    ASSERT_EQ(JoinComplexFiles({a, b, c, 0, 1, 1}, &meter, &error), 0) << error;
    EXPECT_EQ(meter.texts.front(), "Convertinig...");
    ASSERT_FALSE(meter.ranges.empty());
    EXPECT_EQ(meter.ranges.front(), (std::pair<double, double>(0.0, double(h))));

    int type = 0, width = 0, height = 0;
    const Bytes got = LayerBytes(c, &type, &width, &height);
    EXPECT_EQ(type, CFLOAT32);
    EXPECT_EQ(width, w);
    EXPECT_EQ(height, h);
    ASSERT_EQ(got.size(), std::size_t(w * h * 8));
    EXPECT_EQ(ComponentAt(FLOAT32, got.data(), 0), 2.0);
    EXPECT_EQ(ComponentAt(FLOAT32, got.data(), 1), 0.0);
    EXPECT_NEAR(ComponentAt(FLOAT32, got.data(), 2), 0.0, 1e-6);
    EXPECT_NEAR(ComponentAt(FLOAT32, got.data(), 3), 2.0, 1e-6);
    int tag[3] = {};
    EXPECT_TRUE(GetTag(c.c_str(), 20, 12, tag));
    EXPECT_EQ(tag[2], 7);
    EXPECT_EQ(GetSizeTag(c.c_str(), 21), 0);
    CRDPLayer layer;
    ASSERT_TRUE(layer.OpenLayer(c.c_str(), 0));
    EXPECT_NEAR(layer.Max(), 2.0, 1e-6);  // closed with its statistics
}

// Divide with only write #2 writes and names one file; both writes give both, with
// the complex file's tags.
TEST(ComplexJobs, DivideWritesTheChosenComponents)
{
    testsupport::TempDir dir;
    const std::string cpx = dir.File("c.rdp"), one = dir.File("one.rdp"), two = dir.File("two.rdp");
    MakeLayer(cpx, CSINT16, 2, 1, SamplesOf(CSINT16, {3, 4, 0, -1}));
    const int tag[3] = {12, 1, 5};
    ASSERT_TRUE(SetTag(cpx.c_str(), 30, 12, tag));

    std::string error;
    ASSERT_EQ(DivideComplexFile({one, two, cpx, 0, 0, 1}, nullptr, &error), 0) << error;
    EXPECT_FALSE(Exists(one));
    int type = 0;
    Bytes phase = LayerBytes(two, &type);
    EXPECT_EQ(type, FLOAT64);
    ASSERT_EQ(phase.size(), 16u);
    EXPECT_NEAR(sample::Load<double>(phase.data() + 8), 4.71238898, 1e-8);

    ASSERT_EQ(DivideComplexFile({one, two, cpx, 1, 1, 1}, nullptr, &error), 0) << error;
    const Bytes re = LayerBytes(one, &type);
    EXPECT_EQ(type, SINT16);
    EXPECT_EQ(re, SamplesOf(SINT16, {3, 0}));
    EXPECT_EQ(LayerBytes(two, &type), SamplesOf(SINT16, {4, -1}));
    EXPECT_EQ(type, SINT16);
    int got[3] = {};
    EXPECT_TRUE(GetTag(one.c_str(), 30, 12, got));
    EXPECT_TRUE(GetTag(two.c_str(), 30, 12, got));
}

// When component #2 cannot be made, component #1 is not left behind either, and an
// old component #1 stays as it was.
TEST(ComplexJobs, DivideFailingSecondComponentLeavesNothing)
{
    testsupport::TempDir dir;
    const std::string cpx = dir.File("c.rdp"), one = dir.File("one.rdp");
    MakeLayer(cpx, CUINT8, 3, 2, Bytes(12, 9));
    const std::string unwritable = dir.File("missing/two.rdp");
    std::string error;
    EXPECT_EQ(DivideComplexFile({one, unwritable, cpx, 0, 1, 1}, nullptr, &error), -1);
    EXPECT_NE(error.find("two.rdp"), std::string::npos) << error;
    EXPECT_FALSE(Exists(one));
    std::ofstream(one) << "old";
    EXPECT_EQ(DivideComplexFile({one, unwritable, cpx, 0, 1, 1}, nullptr, &error), -1);
    EXPECT_EQ(ReadAll(one), "old");
    EXPECT_EQ(Leftovers(dir.Path(), {"c.rdp", "one.rdp"}), std::vector<std::string>{});
}

// A cancel at any progress report removes every output; old files stay as they were.
TEST(ComplexJobs, CancelAtAnyReportLeavesOldFiles)
{
    testsupport::TempDir dir;
    const int w = 4500, h = 20;  // over a megabyte: the rows go to several threads
    std::mt19937 rng(7);
    const std::string a = dir.File("a.rdp"), b = dir.File("b.rdp"), c = dir.File("c.rdp");
    const std::string one = dir.File("one.rdp"), two = dir.File("two.rdp");
    MakeLayer(a, FLOAT32, w, h, SamplesOf(FLOAT32, RandomComponents(FLOAT32, std::size_t(w * h), rng)));
    MakeLayer(b, FLOAT32, w, h, SamplesOf(FLOAT32, RandomComponents(FLOAT32, std::size_t(w * h), rng)));
    // The divide reads a complex file of its own.
    const std::string cpx = dir.File("cpx.rdp");
    ASSERT_EQ(JoinComplexFiles({a, b, cpx, 1, 1, 1}, nullptr, nullptr), 0);
    for (const bool join : {true, false}) {
        SCOPED_TRACE(join ? "join" : "divide");
        for (const auto& name : {c, one, two})
            std::ofstream(name) << "old " << name;
        bool finished = false;
        for (int failAt = 1; !finished && failAt < 10000; ++failAt) {
            testsupport::FakeMeter meter;
            meter.failAt = failAt;
            std::string error;
            const int rc = join ? JoinComplexFiles({a, b, c, 0, 1, 1}, &meter, &error)
                                : DivideComplexFile({one, two, cpx, 0, 1, 1}, &meter, &error);
            if (rc == 0) {
                finished = true;
                break;
            }
            EXPECT_EQ(error, "") << failAt;
            for (const auto& name : {c, one, two})
                ASSERT_TRUE(ReadAll(name) == "old " + name) << failAt << " " << name;
            ASSERT_EQ(Leftovers(dir.Path(), {"a.rdp", "b.rdp", "c.rdp", "one.rdp", "two.rdp", "cpx.rdp"}),
                      std::vector<std::string>{})
                << failAt;
        }
        EXPECT_TRUE(finished);
    }
}

// The results do not depend on how many threads the rows go to.
TEST(ComplexJobs, SameBytesOnOneThreadAndOnAll)
{
    testsupport::TempDir dir;
    const int w = 500, h = 600;
    std::mt19937 rng(3);
    const std::string cpx = dir.File("c.rdp");
    MakeLayer(cpx, CSINT16, w, h, SamplesOf(CSINT16, RandomComponents(SINT16, std::size_t(2 * w * h), rng)));
    std::vector<Bytes> results[2];
    for (const int limit : {1, 0}) {
        plat::SetParallelThreadLimit(limit);
        const std::string one = dir.File("one" + std::to_string(limit)), two = dir.File("two" + std::to_string(limit));
        const std::string joined = dir.File("j" + std::to_string(limit));
        EXPECT_EQ(DivideComplexFile({one, two, cpx, 0, 1, 1}, nullptr, nullptr), 0);
        EXPECT_EQ(JoinComplexFiles({one, one, joined, 0, 1, 1}, nullptr, nullptr), 0);
        results[limit == 1 ? 0 : 1] = {LayerBytes(one), LayerBytes(two), LayerBytes(joined)};
    }
    plat::SetParallelThreadLimit(0);
    ASSERT_EQ(results[0].size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(results[0][std::size_t(i)].empty());
        EXPECT_TRUE(results[0][std::size_t(i)] == results[1][std::size_t(i)]) << i;
    }
}

// Every real type and both interpretations against the numpy model; FLOAT32 and
// FLOAT64 against GDAL's complex, mod and phase pixel functions.
TEST(ComplexWorld, NumpyModelAndGdalPixelFunctions)
{
    testsupport::TempDir dir;
    const int w = 37, h = 23;
    const std::size_t n = std::size_t(w * h);
    std::mt19937 rng(11);
    std::ostringstream manifest;
    for (int type = UINT8; type <= FLOAT64; ++type) {
        const std::string t = std::to_string(type);
        const std::string a = dir.File("a" + t), b = dir.File("b" + t), b2 = dir.File("p" + t);
        MakeLayer(a, type, w, h, SamplesOf(type, RandomComponents(type, n, rng)));
        MakeLayer(b, type, w, h, SamplesOf(type, RandomComponents(type, n, rng)));
        MakeLayer(b2, type, w, h, SamplesOf(type, RandomComponents(type, n, rng, true)));
        for (const int interp : {0, 1}) {
            const std::string i = std::to_string(interp);
            const std::string out = dir.File("c" + t + "_" + i);
            std::string error;
            ASSERT_EQ(JoinComplexFiles({a, interp == 0 ? b2 : b, out, interp, 1, 1}, nullptr, &error), 0) << error;
            manifest << "join " << type << ' ' << interp << ' ' << w << ' ' << h << ' ' << a << ' '
                     << (interp == 0 ? b2 : b) << ' ' << out << '\n';
            // Divide a complex file of random parts over the whole range.
            const int ct = GetComplexType(type, 2);
            const std::string cpx = dir.File("x" + t + "_" + i);
            MakeLayer(cpx, ct, w, h, SamplesOf(ct, RandomComponents(type, 2 * n, rng)));
            const std::string one = dir.File("one" + t + "_" + i), two = dir.File("two" + t + "_" + i);
            ASSERT_EQ(DivideComplexFile({one, two, cpx, interp, 1, 1}, nullptr, &error), 0) << error;
            manifest << "divide " << ct << ' ' << interp << ' ' << w << ' ' << h << ' ' << cpx << ' ' << one << ' '
                     << two << '\n';
        }
    }
    const std::string list = dir.File("manifest.txt");
    std::ofstream(list) << manifest.str();
    const std::string script = std::string(SUITE_SOURCE_DIR) + "/tests/convert/complex_world.py";
    EXPECT_EQ(testsupport::CommandOutput("/usr/bin/python3 " + script + " check " + list + " 2>&1"), "ok\n");
}
