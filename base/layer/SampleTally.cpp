#include "layer/SampleTally.h"

#include <algorithm>
#include <type_traits>

#include "format/SampleConvert.h"
#include "layer/DataTypes.h"

namespace {

// Two tables filled alternately: equal neighbours, common in real images, then do
// not wait for each other's increment.
constexpr int kCopies = 2;

// A 16-bit square is at most 2^30: a row's sum of squares stays exact in a double
// (below 2^53) up to this width, and so does every partial sum of it, in whatever
// order the closing pass adds them.
constexpr int kMaxExactWidth16 = 1 << 23;

template <class C>
using Index = std::make_unsigned_t<C>;

// A row's sums. Every term and every partial sum is an integer below 2^53, so
// they are exact in whatever order they are added: the same doubles as the
// closing pass's.
template <class C>
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
sample::Sums RowSums(const unsigned char* p, std::int64_t n)
{
    double s = 0.0;
    double s2 = 0.0;
#pragma omp simd reduction(+ : s, s2)
    for (std::int64_t i = 0; i < n; ++i) {
        const double v = sample::Load<C>(p + i * std::int64_t(sizeof(C)));
        s += v;
        s2 += v * v;
    }
    return {s, s2};
}

template <class C>
void CountRow(const unsigned char* p, std::int64_t n, std::uint32_t* table, int values)
{
    std::uint32_t* const t0 = table;
    std::uint32_t* const t1 = table + values;
    std::int64_t i = 0;
    for (; i + 2 <= n; i += 2) {
        ++t0[Index<C>(sample::Load<C>(p + i * std::int64_t(sizeof(C))))];
        ++t1[Index<C>(sample::Load<C>(p + (i + 1) * std::int64_t(sizeof(C))))];
    }
    for (; i < n; ++i)
        ++t0[Index<C>(sample::Load<C>(p + i * std::int64_t(sizeof(C))))];
}

// Calls f with a value of the component type of a tallied type code.
template <class F>
void ForTallied(int type, F&& f)
{
    switch (type) {
    case UINT8: f(std::uint8_t{}); break;
    case SINT8: f(std::int8_t{}); break;
    case UINT16: f(std::uint16_t{}); break;
    case SINT16: f(std::int16_t{}); break;
    default: break;
    }
}

}  // namespace

struct SampleTally::Slot {
    std::unique_ptr<std::uint32_t[]> table;  // kCopies tables of m_values counts
};

bool SampleTally::Supports(int type, int width)
{
    if (width < 1)
        return false;
    if (type == UINT8 || type == SINT8)
        return true;
    return (type == UINT16 || type == SINT16) && width <= kMaxExactWidth16;
}

SampleTally::SampleTally(int type, int width, int height, int slots)
    : m_type(type), m_width(width), m_height(height)
{
    // A table's counts are 32-bit: no value may be counted 2^32 times.
    m_supported = Supports(type, width) && height >= 1 && slots >= 1 &&
                  std::int64_t(width) * height < (std::int64_t(1) << 32);
    if (!m_supported)
        return;
    m_values = type == UINT8 || type == SINT8 ? 256 : 65536;
    m_slots.resize(std::size_t(slots));
    m_rowSums.resize(std::size_t(height));
    m_rowSeen.resize(std::size_t(height));
}

SampleTally::~SampleTally() = default;

void SampleTally::AddRow(int slot, std::int64_t row, const void* samples)
{
    if (!m_supported || slot < 0 || slot >= int(m_slots.size()) || row < 0 || row >= m_height)
        return;
    std::unique_ptr<Slot>& s = m_slots[std::size_t(slot)];
    if (!s) {
        auto fresh = std::make_unique<Slot>();
        fresh->table = std::make_unique<std::uint32_t[]>(std::size_t(kCopies) * std::size_t(m_values));
        s = std::move(fresh);
    }
    const auto* p = static_cast<const unsigned char*>(samples);
    ForTallied(m_type, [&](auto component) {
        using C = decltype(component);
        m_rowSums[std::size_t(row)] = RowSums<C>(p, m_width);
        CountRow<C>(p, m_width, s->table.get(), m_values);
    });
    // Distinct rows are distinct bytes: slots never share one.
    std::uint8_t& seen = m_rowSeen[std::size_t(row)];
    seen = seen == 0 ? 1 : 2;
}

bool SampleTally::Finish()
{
    if (m_finished)
        return m_complete;
    m_finished = true;
    if (!m_supported)
        return false;
    m_complete = std::all_of(m_rowSeen.begin(), m_rowSeen.end(), [](std::uint8_t seen) { return seen == 1; });
    m_counts.assign(std::size_t(m_values), 0);
    for (const auto& s : m_slots)
        if (s)
            for (int k = 0; k < kCopies; ++k)
                for (int v = 0; v < m_values; ++v)
                    m_counts[std::size_t(v)] += s->table[std::size_t(k) * std::size_t(m_values) + std::size_t(v)];
    m_slots.clear();
    return m_complete;
}

void SampleTally::Extremes(double& mn, double& mx) const
{
    mn = mx = 0.0;
    bool any = false;
    ForTallied(m_type, [&](auto component) {
        using C = decltype(component);
        for (std::size_t i = 0; i < m_counts.size(); ++i) {
            if (m_counts[i] == 0)
                continue;
            const double v = static_cast<C>(Index<C>(i));
            mn = any ? std::min(mn, v) : v;
            mx = any ? std::max(mx, v) : v;
            any = true;
        }
    });
}

void SampleTally::Histogram(double mn, double mx, std::uint32_t counts[256]) const
{
    std::fill(counts, counts + 256, 0u);
    const double scale = sample::HistogramScale(mn, mx);
    ForTallied(m_type, [&](auto component) {
        using C = decltype(component);
        for (std::size_t i = 0; i < m_counts.size(); ++i)
            if (m_counts[i] != 0) {
                const double v = static_cast<C>(Index<C>(i));
                counts[sample::ValueBin(v, mn, mx, scale)] += std::uint32_t(m_counts[i]);
            }
    });
}

void SampleTally::MeanStdDev(double& mean, double& stdDev) const
{
    std::int64_t n = 0;
    for (std::uint64_t c : m_counts)
        n += std::int64_t(c);
    sample::MeanStdDev(sample::RowOrderTotal(m_rowSums.data(), std::int64_t(m_rowSums.size())), n, mean, stdDev);
}
