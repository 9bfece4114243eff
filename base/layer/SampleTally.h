#pragma once
// The statistics of a new layer gathered by its writer while each row it writes is
// still in the cache, so that closing the layer need not read every row twice more
// (CRDPLayer::TakeTally). Only 8- and 16-bit integer samples are tallied, every value
// counted in a table of its own, and only where a row's sums are exact in a double:
// then minimum, maximum, histogram, mean and deviation equal, bit for bit, what the
// closing passes compute from the same rows.

#include <cstdint>
#include <memory>
#include <vector>

#include "layer/SampleStats.h"

class SampleTally final {
public:
    // Whether rows of this sample type code and width can be tallied.
    static bool Supports(int type, int width);

    // For a layer of height rows written by up to slots threads at once (the slots
    // of plat::ParallelFor). Supports(type, width) must hold; otherwise no row is
    // taken and the tally never completes.
    SampleTally(int type, int width, int height, int slots);
    // Holds a table per slot: moved, never copied.
    SampleTally(SampleTally&&) = default;
    SampleTally& operator=(SampleTally&&) = default;
    SampleTally(const SampleTally&) = delete;
    SampleTally& operator=(const SampleTally&) = delete;
    ~SampleTally();

    // Counts row (width samples, unaligned) as written by the thread in slot. Rows
    // may come in any order and from any slot, each row once; a row counted again
    // spoils the tally. May throw std::bad_alloc (a slot's first row).
    void AddRow(int slot, std::int64_t row, const void* samples);

    // Merges the slots' counts once all rows are in; true when every row was
    // counted exactly once, the only state in which the results below hold.
    bool Finish();

    int Type() const { return m_type; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Smallest and largest sample.
    void Extremes(double& mn, double& mx) const;
    // The 256-bin histogram over [mn, mx] (sample::ValueBin).
    void Histogram(double mn, double mx, std::uint32_t counts[256]) const;
    // Mean and standard deviation from the rows' sums added in row order.
    void MeanStdDev(double& mean, double& stdDev) const;

private:
    struct Slot;

    int m_type = 0;
    int m_width = 0;
    int m_height = 0;
    int m_values = 0;  // entries of a table: 256 or 65536
    bool m_supported = false;
    bool m_finished = false;
    bool m_complete = false;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<sample::Sums> m_rowSums;
    std::vector<std::uint8_t> m_rowSeen;
    std::vector<std::uint64_t> m_counts;  // merged, by value index
};
