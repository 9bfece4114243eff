#include "util/MathHelpers.h"

#include <cfenv>
#include <climits>
#include <cmath>

namespace {

double SignedArg(double a, double b)
{
    double phase = std::atan2(b, a);
    if (std::signbit(b))
        phase += kPhaseMax;
    return phase;
}

}  // namespace

int Round(double x)
{
    // The volatiles keep the conversion between the two mode switches.
    volatile double in = x;
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    volatile double out = std::nearbyint(in);
    std::fesetround(saved);
    const double r = out;
    if (!(r >= double(INT_MIN) && r <= double(INT_MAX)))
        return INT_MIN;
    return int(r);
}

int Round(float x)
{
    return Round(double(x));
}

double Arg(double a, double b)
{
    return SignedArg(a, b);
}
double Arg(float a, float b)
{
    return SignedArg(a, b);
}
double Arg(char a, char b)
{
    return SignedArg(static_cast<signed char>(a), static_cast<signed char>(b));
}
double Arg(short a, short b)
{
    return SignedArg(a, b);
}
double Arg(int a, int b)
{
    return SignedArg(a, b);
}

double Arg(unsigned char a, unsigned char b)
{
    return std::atan2(double(b), double(a));
}
double Arg(unsigned short a, unsigned short b)
{
    return std::atan2(double(b), double(a));
}
double Arg(unsigned int a, unsigned int b)
{
    return std::atan2(double(b), double(a));
}

double Fabs(double x)
{
    return std::fabs(x);
}
double Fabs(float x)
{
    return std::fabs(double(x));
}

double Sqrt(double x)
{
    return std::sqrt(x);
}
