#pragma once
// Conversions between the sixteen sample types, shared by every operation that
// reads or writes samples of a layer.
//
// Float to integer goes through an explicit truncation toward zero to 64 bits and
// keeps the low bytes; NaN and values outside the 64-bit range give 0. A plain
// cast of such a value would be undefined behaviour.
//
// Samples in a mapped layer file need not be aligned to their size (pixel data
// starts at offset 84 of a fresh file), so every access goes through memcpy.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

// A complex value as the layer's fill operations take it.
struct COMPLEX_FLOAT64 {
    double re = 0.0;
    double im = 0.0;
};

namespace sample {

inline int64_t TruncToInt64(double v)
{
    // Both bounds are exact doubles; NaN fails both comparisons.
    if (v >= -9223372036854775808.0 && v < 9223372036854775808.0)
        return static_cast<int64_t>(v);
    return 0;
}

// Low bytes of a 64-bit value (two's complement), as integer stores keep them.
template <class I>
constexpr I LowBytes(int64_t v)
{
    return static_cast<I>(static_cast<uint64_t>(v));
}

// A double stored into component type C: integers take the truncation toward zero
// in their low bytes, float the nearest float, double itself.
template <class C>
inline C FromDouble(double v)
{
    if constexpr (std::is_integral_v<C>)
        return LowBytes<C>(TruncToInt64(v));
    else
        return static_cast<C>(v);
}

// A double stored into component type C saturating: integers take the value
// truncated toward zero and clamped to C's range (NaN gives 0), float the nearest
// float, double itself. Written as selects so that row loops vectorise.
template <class C>
inline C SaturateFromDouble(double v)
{
    if constexpr (std::is_integral_v<C>) {
        static_assert(sizeof(C) <= 4, "32-bit components at most");
        constexpr double lo = double(std::numeric_limits<C>::min());
        constexpr double hi = double(std::numeric_limits<C>::max());
        const double c = v != v ? 0.0 : v < lo ? lo : v > hi ? hi : v;
        return static_cast<C>(c);
    } else {
        return static_cast<C>(v);
    }
}

// One component of type S converted to component type D: integer to integer keeps
// the low bytes (sign- or zero-extended by the source's signedness when wider),
// integer to float rounds to nearest, float to integer truncates as FromDouble.
template <class D, class S>
inline D ConvertComponent(S v)
{
    if constexpr (std::is_floating_point_v<S> && std::is_integral_v<D>)
        return FromDouble<D>(static_cast<double>(v));
    else
        return static_cast<D>(v);
}

template <class C>
inline C Load(const void* p)
{
    C v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class C>
inline void Store(void* p, C v)
{
    std::memcpy(p, &v, sizeof v);
}

// Squared amplitude and amplitude of a complex sample, in double precision.
template <class C>
inline double SquaredAmplitude(C re, C im)
{
    const double r = static_cast<double>(re);
    const double i = static_cast<double>(im);
    return r * r + i * i;
}

template <class C>
inline double Amplitude(C re, C im)
{
    return std::sqrt(SquaredAmplitude(re, im));
}

// The shape of one sample type: its component type and whether it is complex.
template <class C, bool Complex>
struct Kind {
    using Component = C;
    static constexpr bool complex = Complex;
    static constexpr int size = int(sizeof(C)) * (Complex ? 2 : 1);
};

// Calls f(Kind<...>{}) for the sample type code (1 to 16) so that an operation
// dispatches on the type once and runs a loop compiled for it. Returns false,
// without calling f, for any other code.
template <class F>
inline bool Dispatch(int type, F&& f)
{
    // clang-format off
    switch (type) {
    case 1: f(Kind<uint8_t, false>{}); return true;
    case 2: f(Kind<int8_t, false>{}); return true;
    case 3: f(Kind<uint16_t, false>{}); return true;
    case 4: f(Kind<int16_t, false>{}); return true;
    case 5: f(Kind<uint32_t, false>{}); return true;
    case 6: f(Kind<int32_t, false>{}); return true;
    case 7: f(Kind<float, false>{}); return true;
    case 8: f(Kind<double, false>{}); return true;
    case 9: f(Kind<float, true>{}); return true;
    case 10: f(Kind<double, true>{}); return true;
    case 11: f(Kind<uint8_t, true>{}); return true;
    case 12: f(Kind<int8_t, true>{}); return true;
    case 13: f(Kind<uint16_t, true>{}); return true;
    case 14: f(Kind<int16_t, true>{}); return true;
    case 15: f(Kind<uint32_t, true>{}); return true;
    case 16: f(Kind<int32_t, true>{}); return true;
    default: return false;
    }
    // clang-format on
}

// One sample of kind S at src converted to kind D at dst:
// real to real and complex to complex component by component, real to complex
// with a zero imaginary part, complex to real through the amplitude.
template <class D, class S>
inline void ConvertSample(const void* src, void* dst)
{
    using SC = typename S::Component;
    using DC = typename D::Component;
    const auto* s = static_cast<const unsigned char*>(src);
    auto* d = static_cast<unsigned char*>(dst);
    if constexpr (S::complex && !D::complex) {
        const double a = Amplitude(Load<SC>(s), Load<SC>(s + sizeof(SC)));
        Store(d, FromDouble<DC>(a));
    } else {
        Store(d, ConvertComponent<DC>(Load<SC>(s)));
        if constexpr (D::complex) {
            if constexpr (S::complex)
                Store(d + sizeof(DC), ConvertComponent<DC>(Load<SC>(s + sizeof(SC))));
            else
                Store(d + sizeof(DC), DC(0));
        }
    }
}

// Writes one sample of the given type from a double (complex types: real part
// the value, imaginary part 0). False for an unknown type.
bool StoreDouble(int type, double value, void* dst);

// Writes one sample of a complex type from re and im; false for other types.
bool StoreComplex(int type, COMPLEX_FLOAT64 value, void* dst);

// A row of n samples of the given type to doubles and back. For complex types
// part 1 is the real and part 2 the imaginary component; the other component
// is neither read nor written. Real types ignore part. False for an unknown
// type or, on a complex type, a part other than 1 or 2.
bool RowToDouble(int type, const void* src, double* dst, int64_t n, unsigned part);
bool RowFromDouble(int type, const double* src, void* dst, int64_t n, unsigned part);

}  // namespace sample
