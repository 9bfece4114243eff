#include "format/RowConvert.h"

#include <cstring>

#include "format/SampleConvert.h"

namespace sample {

namespace {

template <class S>
void CopyRow(const unsigned char* src, unsigned char* dst, std::int64_t n)
{
    std::memmove(dst, src, std::size_t(n) * S::size);
}

// The loop body is the inlined rule of the pair and nothing else, so the compiler
// vectorises it, whatever the build's optimisation level.
template <class D, class S>
void ConvertRow(const unsigned char* __restrict src, unsigned char* __restrict dst, std::int64_t n)
{
#pragma omp simd
    for (std::int64_t i = 0; i < n; ++i)
        ConvertSample<D, S>(src + i * S::size, dst + i * D::size);
}

}  // namespace

RowConverter GetRowConverter(int srcType, int dstType)
{
    RowConverter converter = nullptr;
    Dispatch(srcType, [&](auto s) {
        Dispatch(dstType, [&](auto d) {
            using S = decltype(s);
            using D = decltype(d);
            if constexpr (std::is_same_v<S, D>)
                converter = &CopyRow<S>;
            else
                converter = &ConvertRow<D, S>;
        });
    });
    return converter;
}

}  // namespace sample
