#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <limits>

#include "util/MathHelpers.h"

namespace {

struct RoundCase {
    double x;
    int expected;
};

const RoundCase kRound[] = {
    {0.0, 0},
    {-0.0, 0},
    {0.49999, 0},
    {0.5, 0},
    {-0.5, 0},
    {1.5, 2},
    {2.5, 2},
    {3.5, 4},
    {-2.5, -2},
    {-1.5, -2},
    {-3.7, -4},
    {3.2, 3},
    {2147483647.0, INT_MAX},
    {2147483647.4, INT_MAX},
    {-2147483648.0, INT_MIN},
    {-2147483648.4, INT_MIN},
    {2147483647.5, INT_MIN},  // rounds to 2^31, outside the range
    {2147483648.0, INT_MIN},
    {1e300, INT_MIN},
    {-1e300, INT_MIN},
    {std::numeric_limits<double>::infinity(), INT_MIN},
    {-std::numeric_limits<double>::infinity(), INT_MIN},
    {std::numeric_limits<double>::quiet_NaN(), INT_MIN},
};

TEST(MathHelpers, RoundIsTiesToEvenInEveryCallerModeAndRestoresIt)
{
    const int kModes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};
    for (int mode : kModes) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const auto& c : kRound) {
            const int got = Round(c.x);
            const int gotFloat = Round(float(c.x));
            const int mode_after = std::fegetround();
            std::fesetround(FE_TONEAREST);  // gtest's own output wants the default
            EXPECT_EQ(got, c.expected) << "x=" << c.x << " mode=" << mode;
            // A float holds the small cases exactly; the big ones change value.
            if (std::fabs(c.x) < 1e6 || std::isnan(c.x)) {
                EXPECT_EQ(gotFloat, c.expected) << "x=" << c.x << " mode=" << mode;
            }
            EXPECT_EQ(mode_after, mode);
            std::fesetround(mode);
        }
    }
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(Round(2.5f), 2);
    EXPECT_EQ(Round(3e9f), INT_MIN);
}

struct ArgCase {
    const char* what;
    double got;
    double expected;
};

TEST(MathHelpers, ArgSignedTypesMapNegativeImaginaryIntoZeroToPhaseMax)
{
    const double pi = std::acos(-1.0);
    const ArgCase kCases[] = {
        {"double (1,1)", Arg(1.0, 1.0), pi / 4},
        {"double (-1,-0)", Arg(-1.0, -0.0), -pi + kPhaseMax},
        {"double (1,-0)", Arg(1.0, -0.0), kPhaseMax},
        {"double (1,0)", Arg(1.0, 0.0), 0.0},
        {"double (0,-1)", Arg(0.0, -1.0), kPhaseMax - pi / 2},
        {"double (-1,0)", Arg(-1.0, 0.0), pi},
        {"float (0,-1)", Arg(0.0f, -1.0f), kPhaseMax - pi / 2},
        {"char (1,-1)", Arg(char(1), char(-1)), kPhaseMax - pi / 4},
        {"char (-128,0)", Arg(char(-128), char(0)), pi},
        {"short (1,-1)", Arg(short(1), short(-1)), kPhaseMax - pi / 4},
        {"int (1,-1)", Arg(1, -1), 5.497787143782138},
        {"int (-1,-1)", Arg(-1, -1), kPhaseMax - 3 * pi / 4},
        {"int (0,0)", Arg(0, 0), 0.0},
    };
    for (const auto& c : kCases)
        EXPECT_NEAR(c.got, c.expected, 1e-12) << c.what;
    EXPECT_NEAR(Arg(-1.0, -0.0), 3.14159, 1e-5);
    EXPECT_EQ(Arg(1.0, -0.0), kPhaseMax);
}

TEST(MathHelpers, ArgUnsignedTypesAddNothing)
{
    const double pi = std::acos(-1.0);
    const ArgCase kCases[] = {
        {"uint (1,1)", Arg(1u, 1u), 0.7853981633974483},
        {"uchar (0,255)", Arg((unsigned char)0, (unsigned char)255), pi / 2},
        {"ushort (65535,0)", Arg((unsigned short)65535, (unsigned short)0), 0.0},
        {"uint (big,big)", Arg(4000000000u, 4000000000u), pi / 4},
    };
    for (const auto& c : kCases)
        EXPECT_NEAR(c.got, c.expected, 1e-12) << c.what;
}

TEST(MathHelpers, FabsAndSqrt)
{
    EXPECT_EQ(Fabs(-2.5), 2.5);
    EXPECT_EQ(Fabs(2.5), 2.5);
    EXPECT_EQ(Fabs(-1.25f), 1.25);
    EXPECT_FALSE(std::signbit(Fabs(-0.0)));
    EXPECT_EQ(Sqrt(16.0), 4.0);
    EXPECT_EQ(Sqrt(0.0), 0.0);
    EXPECT_TRUE(std::isnan(Sqrt(-1.0)));
}

}  // namespace
