#pragma once
// Kernels of the layer statistics over rows of samples of one kind (see
// SampleConvert.h): extreme values, 256-bin histograms with sums, and the phase
// of complex samples. An operation dispatches on the sample type once and calls
// these per row; their inner loops make no calls, so the compiler vectorises them.
//
// NaN samples (float types) are skipped everywhere: they count nowhere and never
// make a bin index.

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "format/SampleConvert.h"
#include "util/MathHelpers.h"

namespace sample {

// Scale from a phase to its bin or preview byte: 255 / kPhaseMax.
inline constexpr double kPhaseToBin = 40.58451048843335;

// Phase of re + i im in [0, kPhaseMax]: atan2(im, re), plus kPhaseMax when
// im has its sign bit set. Written branch-free (a rational approximation of atan
// accurate to about one unit in the last place) so that whole rows vectorise.
inline double PhaseOf(double re, double im)
{
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kPiO2 = 1.57079632679489661923;
    constexpr double kPiO4 = 7.85398163397448309616e-1;
    constexpr double kMoreBits = 6.123233995736765886130e-17;
    constexpr double kInf = std::numeric_limits<double>::infinity();

    const double ax = std::fabs(re);
    const double ay = std::fabs(im);
    const bool swap = ay > ax;
    double num = swap ? ax : ay;  // the smaller magnitude
    double den = swap ? ay : ax;
    const bool bothInf = num == kInf;
    num = bothInf ? 1.0 : num;
    den = bothInf ? 1.0 : den;
    // atan(t), t = num / den in [0, 1]; above 0.66 reduce by pi/4.
    const bool upper = num > 0.66 * den;
    const double n2 = upper ? num - den : num;
    double d2 = upper ? num + den : den;
    d2 = d2 == 0.0 ? 1.0 : d2;
    const double x = n2 / d2;
    const double z = x * x;
    const double p =
        (((-8.750608600031904122785e-1 * z - 1.615753718733365076637e1) * z - 7.500855792314704667340e1) * z -
         1.228866684490136173410e2) *
            z -
        6.485021904942025371773e1;
    const double q =
        ((((z + 2.485846490142306297962e1) * z + 1.650270098316988542046e2) * z + 4.328810604912902668951e2) * z +
         4.853903996359136964868e2) *
            z +
        1.945506571482613964425e2;
    // Every arm is computed and then selected: a conditional floating-point
    // operation would keep the loop from vectorising.
    double r = x * (z * p / q) + x;
    const double reduced = kPiO4 + (r + 0.5 * kMoreBits);
    r = upper ? reduced : r;
    const double swapped = (kPiO2 - r) + kMoreBits;
    r = swap ? swapped : r;
    const double left = kPi - r;
    r = std::copysign(1.0, re) < 0.0 ? left : r;
    const double below = kPhaseMax - r;
    return std::copysign(1.0, im) < 0.0 ? below : r;
}

// Extreme values of real samples in their own type, of complex samples as
// squared amplitudes.
template <class K>
struct Extremes {
    using C = typename K::Component;
    using Value = std::conditional_t<K::complex, double, C>;
    static constexpr bool kFloat = std::is_floating_point_v<Value>;

    Value lo = kFloat ? std::numeric_limits<Value>::infinity() : std::numeric_limits<Value>::max();
    Value hi = kFloat ? -std::numeric_limits<Value>::infinity() : std::numeric_limits<Value>::lowest();

    void Row(const unsigned char* p, int64_t n)
    {
        Value l = lo, h = hi;
#pragma omp simd reduction(min : l) reduction(max : h)
        for (int64_t i = 0; i < n; ++i) {
            Value v;
            if constexpr (K::complex)
                v = SquaredAmplitude(Load<C>(p + i * K::size), Load<C>(p + i * K::size + sizeof(C)));
            else
                v = Load<C>(p + i * K::size);
            // A NaN compares false both ways and leaves both untouched.
            l = v < l ? v : l;
            h = v > h ? v : h;
        }
        lo = l;
        hi = h;
    }

    // Minimum and maximum (amplitudes for complex kinds); false when no sample
    // was seen (or only NaNs).
    bool Result(double& mn, double& mx) const
    {
        if (!(lo <= hi))
            return false;
        mn = static_cast<double>(lo);
        mx = static_cast<double>(hi);
        if constexpr (K::complex) {
            mn = std::sqrt(mn);
            mx = std::sqrt(mx);
        }
        return true;
    }
};

// Sum and sum of squares of the values of one row.
struct Sums {
    double sum = 0.0;
    double sum2 = 0.0;
};

// A 256-bin histogram.
struct Histogram {
    static constexpr int kSkip = 256;  // bin of a skipped (NaN) value
    static constexpr int kCopies = 4;  // interleaved copies keep equal values from stalling each other

    uint32_t bins[kCopies][kSkip + 1] = {};

    void Add(const int32_t* bin, int n)
    {
        static_assert(kCopies == 4);
        uint32_t* const b0 = bins[0];
        uint32_t* const b1 = bins[1];
        uint32_t* const b2 = bins[2];
        uint32_t* const b3 = bins[3];
        int k = 0;
        // Unrolled by the copies: no index arithmetic between the increments.
        for (; k + 4 <= n; k += 4) {
            ++b0[bin[k]];
            ++b1[bin[k + 1]];
            ++b2[bin[k + 2]];
            ++b3[bin[k + 3]];
        }
        for (; k < n; ++k)
            ++bins[k & (kCopies - 1)][bin[k]];
    }

    // Adds this histogram's counts to out.
    void AddCounts(uint32_t out[256]) const
    {
        for (int b = 0; b < 256; ++b)
            for (int k = 0; k < kCopies; ++k)
                out[b] += bins[k][b];
    }

    int64_t Counted() const
    {
        int64_t c = 0;
        for (int k = 0; k < kCopies; ++k)
            for (int b = 0; b < 256; ++b)
                c += bins[k][b];
        return c;
    }
};

// The sums of rows 0 to n - 1 added in row order, so that the total does not
// depend on how the rows were shared out among threads.
inline Sums RowOrderTotal(const Sums* rows, int64_t n)
{
    Sums all;
    for (int64_t r = 0; r < n; ++r) {
        all.sum += rows[r].sum;
        all.sum2 += rows[r].sum2;
    }
    return all;
}

// mean = sum / n and standard deviation = sqrt(|sum2 / n - mean^2|); both 0
// when nothing was counted.
inline void MeanStdDev(const Sums& s, int64_t n, double& mean, double& stdDev)
{
    if (n <= 0) {
        mean = stdDev = 0.0;
        return;
    }
    mean = s.sum / double(n);
    stdDev = std::sqrt(std::fabs(s.sum2 / double(n) - mean * mean));
}

// A value already offset and scaled held to 0..255 (NaN gives 0); its truncation
// is the bin. Kept in double so that a vector loop selects in the lanes it computes
// in and converts once.
inline double ClampBinValue(double t)
{
    t = t > 0.0 ? t : 0.0;
    return t < 255.0 ? t : 255.0;
}

// Bin of a value already offset and scaled: truncation toward zero, held to
// 0..255 (NaN gives 0).
inline int32_t ClampBin(double t)
{
    return static_cast<int32_t>(ClampBinValue(t));
}

// Histogram scale over [mn, mx]: 255 / (mx - mn), or 0 (every value in bin 0)
// when the range is empty or not finite.
inline double HistogramScale(double mn, double mx)
{
    const double range = mx - mn;
    if (!(range > 0.0) || !std::isfinite(range))
        return 0.0;
    return 255.0 / range;
}

// Bin of value x: the truncation of (x - mn) x scale, held to 0..255. The quotient
// 255 / range can round so that the maximum itself lands just below 255 (range 200
// gives 254.99...): a value at or above mx takes bin 255, and only such a value
// does. With scale 0 every value takes bin 0.
inline double ValueBinValue(double x, double mn, double mx, double scale)
{
    const double b = ClampBinValue((x - mn) * scale);
    return scale > 0.0 && x >= mx ? 255.0 : b;
}

inline int32_t ValueBin(double x, double mn, double mx, double scale)
{
    return static_cast<int32_t>(ValueBinValue(x, mn, mx, scale));
}

// Adds a row of n samples of kind K to the value histogram (ValueBin over mn, mx
// with scale, for complex kinds of the amplitude) and, for complex kinds, to the
// phase histogram; gives the row's sums (skipped samples count nowhere).
template <class K>
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
// Wider vectors where the processor has them. Not under ThreadSanitizer: the clones'
// resolver runs at relocation, before the sanitizer's run time is up, and is
// instrumented all the same.
__attribute__((target_clones("avx2", "default")))
#endif
void StatsRow(const unsigned char* p, int64_t n, double mn, double mx, double scale, Histogram& values, Histogram* phases,
              Sums& valueSums, Sums* phaseSums)
{
    using C = typename K::Component;
    constexpr int kBlock = 256;
    int32_t bin[kBlock];
    int32_t phBin[kBlock];
    double vs = 0.0, vs2 = 0.0, ps = 0.0, ps2 = 0.0;
    for (int64_t start = 0; start < n; start += kBlock) {
        const int m = int(n - start < kBlock ? n - start : kBlock);
        const unsigned char* q = p + start * K::size;
        // The sums may be reassociated (vector lanes); bins and histogram are exact.
#pragma omp simd reduction(+ : vs, vs2, ps, ps2)
        for (int i = 0; i < m; ++i) {
            double x;
            if constexpr (K::complex) {
                const double re = static_cast<double>(Load<C>(q + i * K::size));
                const double im = static_cast<double>(Load<C>(q + i * K::size + sizeof(C)));
                x = std::sqrt(re * re + im * im);
                const bool ok = x == x;
                const double a = PhaseOf(re, im);
                const double b = ClampBinValue(a * kPhaseToBin);
                const double pa = ok ? a : 0.0;
                ps += pa;
                ps2 += pa * pa;
                phBin[i] = static_cast<int32_t>(ok ? b : double(Histogram::kSkip));
            } else {
                x = static_cast<double>(Load<C>(q + i * K::size));
            }
            // Computed for every sample (ClampBinValue takes NaN), then selected,
            // so that the loop has no branch; selected as doubles and converted
            // once, so that no lane is repacked before the conversion.
            const double b = ValueBinValue(x, mn, mx, scale);
            const bool ok = x == x;
            const double v = ok ? x : 0.0;
            vs += v;
            vs2 += v * v;
            bin[i] = static_cast<int32_t>(ok ? b : double(Histogram::kSkip));
        }
        values.Add(bin, m);
        if constexpr (K::complex)
            phases->Add(phBin, m);
    }
    valueSums = {vs, vs2};
    if constexpr (K::complex)
        *phaseSums = {ps, ps2};
}

}  // namespace sample
