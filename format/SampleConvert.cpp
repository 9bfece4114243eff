#include "format/SampleConvert.h"

namespace sample {

bool StoreDouble(int type, double value, void* dst)
{
    return Dispatch(type, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        auto* d = static_cast<unsigned char*>(dst);
        Store(d, FromDouble<C>(value));
        if constexpr (K::complex)
            Store(d + sizeof(C), C(0));
    });
}

bool StoreComplex(int type, COMPLEX_FLOAT64 value, void* dst)
{
    bool stored = false;
    Dispatch(type, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        if constexpr (K::complex) {
            auto* d = static_cast<unsigned char*>(dst);
            Store(d, FromDouble<C>(value.re));
            Store(d + sizeof(C), FromDouble<C>(value.im));
            stored = true;
        }
    });
    return stored;
}

namespace {

// Byte offset of the component a row access reads or writes; -1 when part is
// not valid for the type.
template <class K>
int PartOffset(unsigned part)
{
    if constexpr (!K::complex)
        return 0;
    if (part == 1)
        return 0;
    if (part == 2)
        return int(sizeof(typename K::Component));
    return -1;
}

}  // namespace

bool RowToDouble(int type, const void* src, double* dst, int64_t n, unsigned part)
{
    bool ok = false;
    Dispatch(type, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        const int off = PartOffset<K>(part);
        if (off < 0)
            return;
        const auto* s = static_cast<const unsigned char*>(src) + off;
        for (int64_t i = 0; i < n; ++i)
            dst[i] = static_cast<double>(Load<C>(s + i * K::size));
        ok = true;
    });
    return ok;
}

bool RowFromDouble(int type, const double* src, void* dst, int64_t n, unsigned part)
{
    bool ok = false;
    Dispatch(type, [&](auto k) {
        using K = decltype(k);
        using C = typename K::Component;
        const int off = PartOffset<K>(part);
        if (off < 0)
            return;
        auto* d = static_cast<unsigned char*>(dst) + off;
        if constexpr (std::is_same_v<C, double> && !K::complex) {
            std::memcpy(d, src, size_t(n) * sizeof(double));
        } else {
            for (int64_t i = 0; i < n; ++i)
                Store(d + i * K::size, FromDouble<C>(src[i]));
        }
        ok = true;
    });
    return ok;
}

}  // namespace sample
