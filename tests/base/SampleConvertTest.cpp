#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "format/SampleConvert.h"
#include "layer/DataTypes.h"
#include "layer/SampleStats.h"
#include "util/MathHelpers.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(SampleConvert, TruncationTowardZeroKeepsTheLowBytes)
{
    struct Case {
        double v;
        int64_t trunc;
        uint8_t u8;
        int16_t s16;
    };
    const Case cases[] = {
        {300.7, 300, 44, 300},
        {-1.5, -1, 255, -1},
        {2.9, 2, 2, 2},
        {-0.9, 0, 0, 0},
        {65537.0, 65537, 1, 1},
        {-32769.0, -32769, 255, 32767},
        {kNaN, 0, 0, 0},
        {kInf, 0, 0, 0},
        {-kInf, 0, 0, 0},
        {9223372036854775808.0, 0, 0, 0},
        {-9223372036854775808.0, INT64_MIN, 0, 0},
        {1e300, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        EXPECT_EQ(sample::TruncToInt64(c.v), c.trunc);
        EXPECT_EQ(sample::FromDouble<uint8_t>(c.v), c.u8);
        EXPECT_EQ(sample::FromDouble<int16_t>(c.v), c.s16);
    }
    EXPECT_EQ(sample::FromDouble<float>(0.1), 0.1f);
    EXPECT_EQ(sample::FromDouble<uint32_t>(4294967295.0), 4294967295u);
}

// Saturating stores: truncated toward zero and clamped to the component's range,
// NaN giving 0; floats as the plain store.
TEST(SampleConvert, SaturateFromDoubleClampsIntegers)
{
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        double v;
        uint8_t u8;
        int8_t s8;
        int16_t s16;
        uint16_t u16;
        uint32_t u32;
        int32_t s32;
    };
    const Case cases[] = {
        {0.0, 0, 0, 0, 0, 0, 0},
        {360.6, 255, 127, 360, 360, 360, 360},
        {254.9, 254, 127, 254, 254, 254, 254},
        {-0.9, 0, 0, 0, 0, 0, 0},
        {-1.5, 0, -1, -1, 0, 0, -1},
        {-200.0, 0, -128, -200, 0, 0, -200},
        {56568.54, 255, 127, 32767, 56568, 56568, 56568},
        {70000.0, 255, 127, 32767, 65535, 70000, 70000},
        {-40000.0, 0, -128, -32768, 0, 0, -40000},
        {4294967296.0, 255, 127, 32767, 65535, 4294967295u, 2147483647},
        {-2147483649.0, 0, -128, -32768, 0, 0, INT32_MIN},
        {kNaN, 0, 0, 0, 0, 0, 0},
        {kInf, 255, 127, 32767, 65535, 4294967295u, 2147483647},
        {-kInf, 0, -128, -32768, 0, 0, INT32_MIN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        EXPECT_EQ(sample::SaturateFromDouble<uint8_t>(c.v), c.u8);
        EXPECT_EQ(sample::SaturateFromDouble<int8_t>(c.v), c.s8);
        EXPECT_EQ(sample::SaturateFromDouble<int16_t>(c.v), c.s16);
        EXPECT_EQ(sample::SaturateFromDouble<uint16_t>(c.v), c.u16);
        EXPECT_EQ(sample::SaturateFromDouble<uint32_t>(c.v), c.u32);
        EXPECT_EQ(sample::SaturateFromDouble<int32_t>(c.v), c.s32);
    }
    EXPECT_EQ(sample::SaturateFromDouble<float>(0.1), 0.1f);
    EXPECT_EQ(sample::SaturateFromDouble<double>(-1e300), -1e300);
}

// One sample of every pair of interest, converted by the shared rules.
template <int S, int D>
std::vector<unsigned char> Convert(const void* src)
{
    std::vector<unsigned char> out(16, 0xCC);
    sample::Dispatch(S, [&](auto s) {
        sample::Dispatch(D, [&](auto d) { sample::ConvertSample<decltype(d), decltype(s)>(src, out.data()); });
    });
    return out;
}

template <class T>
T At(const std::vector<unsigned char>& b, int index = 0)
{
    return sample::Load<T>(b.data() + index * sizeof(T));
}

TEST(SampleConvert, ConversionRulesBetweenTypes)
{
    const int8_t sm1 = -1;
    EXPECT_EQ(At<uint8_t>(Convert<2, 1>(&sm1)), 255);
    const uint16_t u300 = 300;
    EXPECT_EQ(At<uint8_t>(Convert<3, 1>(&u300)), 44);
    const uint8_t u200 = 200;
    EXPECT_EQ(At<int16_t>(Convert<1, 4>(&u200)), 200);
    EXPECT_EQ(At<uint32_t>(Convert<2, 5>(&sm1)), 0xFFFFFFFFu);
    const uint32_t big = 4294967295u;
    EXPECT_EQ(At<double>(Convert<5, 8>(&big)), 4294967295.0);
    EXPECT_EQ(At<int16_t>(Convert<5, 4>(&big)), -1);
    const uint32_t four = 4000000000u;
    EXPECT_EQ(At<float>(Convert<5, 7>(&four)), 4.0e9f);
    const float f = 300.7f;
    EXPECT_EQ(At<uint8_t>(Convert<7, 1>(&f)), 44);
    const float nanF = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(At<int32_t>(Convert<7, 6>(&nanF)), 0);

    const int16_t c16[2] = {3, -4};
    EXPECT_EQ(At<uint8_t>(Convert<14, 1>(c16)), 5);
    EXPECT_EQ(At<float>(Convert<14, 9>(c16), 0), 3.0f);
    EXPECT_EQ(At<float>(Convert<14, 9>(c16), 1), -4.0f);
    EXPECT_EQ(At<float>(Convert<14, 7>(c16)), 5.0f);
    const float cf[2] = {1.9f, -1.9f};
    EXPECT_EQ(At<int8_t>(Convert<9, 12>(cf), 0), 1);
    EXPECT_EQ(At<int8_t>(Convert<9, 12>(cf), 1), -1);
    const double d = 2.5;
    EXPECT_EQ(At<double>(Convert<8, 10>(&d), 0), 2.5);
    EXPECT_EQ(At<double>(Convert<8, 10>(&d), 1), 0.0);
    const float fbits = -0.0f;
    const auto out = Convert<7, 9>(&fbits);
    EXPECT_EQ(std::memcmp(out.data(), &fbits, 4), 0);
    EXPECT_EQ(At<float>(out, 1), 0.0f);
}

TEST(SampleConvert, StoreAndRowsPerType)
{
    struct Case {
        int type;
        double value;
        double readBack;  // the stored sample read as a double (real part)
    };
    const Case cases[] = {
        {1, 2.9, 2},
        {1, -1.0, 255},
        {2, -1.5, -1},
        {3, 65536.0 + 7, 7},
        {4, -2.7, -2},
        {5, -1.0, 4294967295.0},
        {6, 1e10, 1410065408},
        {7, 0.1, double(0.1f)},
        {8, 0.1, 0.1},
        {9, -3.25, -3.25},
        {10, 1e300, 1e300},
        {11, 257.9, 1},
        {12, -128.5, -128},
        {13, 70000, 4464},
        {14, -1.5, -1},
        {15, 3.99, 3},
        {16, -2147483649.0, 2147483647},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        unsigned char row[3 * 16];
        std::memset(row, 0xAB, sizeof row);
        const double in[3] = {c.value, c.value, c.value};
        ASSERT_TRUE(sample::RowFromDouble(c.type, in, row, 3, 1));
        double out[3] = {};
        ASSERT_TRUE(sample::RowToDouble(c.type, row, out, 3, 1));
        for (double v : out)
            EXPECT_EQ(v, c.readBack);
        unsigned char one[16];
        ASSERT_TRUE(sample::StoreDouble(c.type, c.value, one));
        double first = 0;
        ASSERT_TRUE(sample::RowToDouble(c.type, one, &first, 1, 1));
        EXPECT_EQ(first, c.readBack);
        if (c.type >= 9) {
            // The row write left the imaginary parts alone; StoreDouble zeroes them.
            const int half = GetDataTypeSize(c.type) / 2;
            for (int i = 0; i < 3; ++i)
                for (int b = 0; b < half; ++b)
                    EXPECT_EQ(row[i * 2 * half + half + b], 0xAB);
            ASSERT_TRUE(sample::RowToDouble(c.type, one, &first, 1, 2));
            EXPECT_EQ(first, 0.0);
            EXPECT_FALSE(sample::RowToDouble(c.type, row, out, 3, 3));
            EXPECT_FALSE(sample::RowFromDouble(c.type, in, row, 3, 0));
            EXPECT_FALSE(sample::StoreComplex(c.type - 8, {1, 1}, one));
        }
    }
    EXPECT_FALSE(sample::RowToDouble(0, nullptr, nullptr, 0, 1));
    EXPECT_FALSE(sample::StoreDouble(17, 1.0, nullptr));
}

TEST(SampleConvert, PhaseMatchesAtan2WithTheSignRule)
{
    const struct {
        double re, im, expected;
    } cases[] = {
        {1, 0, 0.0},
        {1, -0.0, kPhaseMax},
        {-1, -0.0, std::atan2(-0.0, -1.0) + kPhaseMax},
        {-1, 0, std::atan2(0.0, -1.0)},
        {0, 0, 0.0},
        {-0.0, 0, std::atan2(0.0, -0.0)},
        {0, -1, std::atan2(-1.0, 0.0) + kPhaseMax},
        {kInf, kInf, std::atan2(kInf, kInf)},
        {-kInf, -kInf, std::atan2(-kInf, -kInf) + kPhaseMax},
        {3, kInf, std::atan2(kInf, 3.0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.re << ", " << c.im);
        EXPECT_NEAR(sample::PhaseOf(c.re, c.im), c.expected, 1e-15);
    }
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1000, 1000);
    std::uniform_int_distribution<int> e(-30, 30);
    double worst = 0;
    for (int i = 0; i < 200000; ++i) {
        const double re = std::ldexp(u(rng), e(rng));
        const double im = std::ldexp(u(rng), e(rng));
        worst = std::max(worst, std::fabs(sample::PhaseOf(re, im) - Arg(re, im)));
    }
    EXPECT_LE(worst, 2e-15);
}

// Extremes and histograms per kind on small rows, against a direct computation.
TEST(SampleStats, ExtremesAndHistogramsPerType)
{
    for (int type = 1; type <= 16; ++type) {
        SCOPED_TRACE(type);
        const bool complex = type >= 9;
        std::vector<double> re = {3, 200, 7, 100, 0};
        std::vector<double> im = {4, -1, 0, 2, 0};
        unsigned char row[5 * 16];
        ASSERT_TRUE(sample::RowFromDouble(type, re.data(), row, 5, 1));
        if (complex) {
            ASSERT_TRUE(sample::RowFromDouble(type, im.data(), row, 5, 2));
        }
        std::vector<double> v(5);
        sample::RowToDouble(type, row, v.data(), 5, 1);
        if (complex) {
            std::vector<double> w(5);
            sample::RowToDouble(type, row, w.data(), 5, 2);
            for (int i = 0; i < 5; ++i)
                v[size_t(i)] = std::sqrt(v[size_t(i)] * v[size_t(i)] + w[size_t(i)] * w[size_t(i)]);
        }
        const double mn = *std::min_element(v.begin(), v.end());
        const double mx = *std::max_element(v.begin(), v.end());
        sample::Dispatch(type, [&](auto k) {
            using K = decltype(k);
            sample::Extremes<K> ex;
            ex.Row(row, 5);
            double a = 0, b = 0;
            ASSERT_TRUE(ex.Result(a, b));
            EXPECT_DOUBLE_EQ(a, mn);
            EXPECT_DOUBLE_EQ(b, mx);

            sample::Histogram values, phases;
            sample::Sums sums, phaseSums;
            sample::StatsRow<K>(row, 5, a, b, sample::HistogramScale(a, b), values, &phases, sums, &phaseSums);
            uint32_t counts[256] = {};
            values.AddCounts(counts);
            uint32_t expected[256] = {};
            // The maximum falls into the top bin; the rest truncate (x - mn) x 255 / range.
            for (double x : v)
                ++expected[x == mx ? 255 : int((x - mn) * (255.0 / (mx - mn)))];
            for (int bin = 0; bin < 256; ++bin)
                EXPECT_EQ(counts[bin], expected[bin]) << bin;
            double mean = 0, sd = 0;
            sample::MeanStdDev(sums, values.Counted(), mean, sd);
            double s = 0;
            for (double x : v)
                s += x;
            EXPECT_NEAR(mean, s / 5, 1e-9);
            EXPECT_EQ(phases.Counted(), complex ? 5 : 0);
        });
    }
}

TEST(SampleStats, NaNIsSkippedAndBinsStayInRange)
{
    const float row[] = {NAN, 1.0f, NAN, 3.0f, INFINITY, -INFINITY};
    sample::Extremes<sample::Kind<float, false>> ex;
    ex.Row(reinterpret_cast<const unsigned char*>(row), 4);
    double mn = 0, mx = 0;
    ASSERT_TRUE(ex.Result(mn, mx));
    EXPECT_EQ(mn, 1.0);
    EXPECT_EQ(mx, 3.0);

    sample::Extremes<sample::Kind<float, false>> none;
    none.Row(reinterpret_cast<const unsigned char*>(row), 1);
    EXPECT_FALSE(none.Result(mn, mx));

    // A stale range (samples outside it), an empty range and an infinite one.
    const struct {
        double mn, mx;
    } ranges[] = {{2, 2}, {10, 20}, {-kInf, 5}, {0, kInf}, {5, 1}, {kNaN, kNaN}};
    for (const auto& r : ranges) {
        SCOPED_TRACE(r.mn);
        sample::Histogram h;
        sample::Sums sums;
        sample::StatsRow<sample::Kind<float, false>>(reinterpret_cast<const unsigned char*>(row), 6, r.mn, r.mx,
                                                     sample::HistogramScale(r.mn, r.mx), h, nullptr, sums, nullptr);
        EXPECT_EQ(h.Counted(), 4);
        EXPECT_EQ(h.bins[0][256] + h.bins[2][256], 2u);
    }
    sample::Histogram equal;
    sample::Sums sums;
    sample::StatsRow<sample::Kind<float, false>>(reinterpret_cast<const unsigned char*>(row + 1), 1, 1.0, 1.0,
                                                 sample::HistogramScale(1.0, 1.0), equal, nullptr, sums, nullptr);
    EXPECT_EQ(sums.sum, 1.0);
    uint32_t counts[256] = {};
    equal.AddCounts(counts);
    EXPECT_EQ(counts[0], 1u);
}

// The maximum always lands in bin 255, even where 255 / range rounds down.
TEST(SampleStats, MaximumFallsIntoTheTopBin)
{
    const struct {
        double mn, mx;
    } ranges[] = {{0, 200}, {0, 255}, {0, 3}, {-7, 93}, {0.1, 0.7}, {1e-300, 3e-300}, {-1e30, 1e30}, {0, 1e-310}};
    for (const auto& r : ranges) {
        SCOPED_TRACE(r.mx);
        const float row[2] = {float(r.mn), float(r.mx)};
        const double mn = double(row[0]), mx = double(row[1]);
        if (!(mx > mn))
            continue;  // not representable as float: nothing to test
        sample::Histogram h;
        sample::Sums sums;
        sample::StatsRow<sample::Kind<float, false>>(reinterpret_cast<const unsigned char*>(row), 2, mn, mx,
                                                     sample::HistogramScale(mn, mx), h, nullptr, sums, nullptr);
        uint32_t counts[256] = {};
        h.AddCounts(counts);
        EXPECT_EQ(counts[0], 1u);
        EXPECT_EQ(counts[255], 1u);
    }
    // Values just below the maximum stay below the top bin.
    const double scale = sample::HistogramScale(0.0, 200.0);
    EXPECT_EQ(sample::ValueBin(199.0, 0.0, 200.0, scale), 253);
}

// Every value below the maximum takes the truncation of (v - mn) x (255 / range)
// with the quotient as it rounds (21 of 105 is bin 50, not 51), for every pair of
// byte values.
TEST(SampleStats, ValuesBelowTheMaximumKeepTheTruncatedBin)
{
    for (int mx = 1; mx < 256; ++mx) {
        std::vector<unsigned char> row(size_t(mx) + 1);
        for (int v = 0; v <= mx; ++v)
            row[size_t(v)] = static_cast<unsigned char>(v);
        sample::Histogram h;
        sample::Sums sums;
        const double scale = sample::HistogramScale(0.0, mx);
        sample::StatsRow<sample::Kind<uint8_t, false>>(row.data(), mx + 1, 0.0, mx, scale, h, nullptr, sums, nullptr);
        uint32_t counts[256] = {};
        h.AddCounts(counts);
        uint32_t expected[256] = {};
        for (int v = 0; v < mx; ++v)
            ++expected[int(v * (255.0 / mx))];
        ++expected[255];
        for (int bin = 0; bin < 256; ++bin)
            ASSERT_EQ(counts[bin], expected[bin]) << "maximum " << mx << ", bin " << bin;
    }
}

}  // namespace
