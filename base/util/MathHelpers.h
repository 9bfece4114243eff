#pragma once
// Scalar maths shared by the layer code and the viewers.

#include <bit>
#include <cstdint>

// The phase range's upper end as the files store it (not 2 pi to full precision).
inline constexpr double kPhaseMax = 6.28318530717958;
static_assert(std::bit_cast<std::uint64_t>(kPhaseMax) == 0x401921FB54442D11ull);

// Nearest integer, ties to even, whatever rounding mode the caller has set (the
// mode is left as it was); -2147483648 for a value outside the int range or NaN.
int Round(double x);
int Round(float x);

// Phase of a + ib in [0, kPhaseMax]: atan2(b, a), plus kPhaseMax when b is negative
// (or a negative zero).
double Arg(double a, double b);
double Arg(float a, float b);
double Arg(char a, char b);  // char taken as signed
double Arg(short a, short b);
double Arg(int a, int b);
// Unsigned parts: atan2(b, a) alone.
double Arg(unsigned char a, unsigned char b);
double Arg(unsigned short a, unsigned short b);
double Arg(unsigned int a, unsigned int b);

double Fabs(double x);
double Fabs(float x);
// NaN for a negative argument.
double Sqrt(double x);
