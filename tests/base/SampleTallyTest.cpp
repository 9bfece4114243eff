// Statistics tallied by a layer's writer against the closing passes over the same rows:
// the stored minimum, maximum, statistics and preview must be the same bytes.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "RdpFileBuilder.h"
#include "layer/DataTypes.h"
#include "layer/RDPFileTags.h"
#include "layer/RDPLayer.h"
#include "layer/SampleTally.h"

namespace {

using rdptest::Bytes;

// Samples of one row: a spread over the whole range of the type with its extremes,
// a run of equal values and, for 16 bits, squares near 2^30.
Bytes RowBytes(int type, int width, int row)
{
    const int size = GetDataTypeSize(type);
    const bool isSigned = type == SINT8 || type == SINT16;
    const std::uint32_t top = std::uint32_t(1) << (8 * size - 1);
    const std::uint32_t lowest = isSigned ? top : 0;
    const std::uint32_t highest = isSigned ? top - 1 : 2 * top - 1;
    Bytes b(std::size_t(width) * std::size_t(size));
    for (int x = 0; x < width; ++x) {
        std::uint32_t v = std::uint32_t(x) * 2654435761u + std::uint32_t(row) * 40503u;
        v ^= v >> 13;
        if (x % 17 < 4)
            v = lowest;
        if (x == width - 1 && row == 0)
            v = highest;
        std::memcpy(b.data() + std::size_t(x) * std::size_t(size), &v, std::size_t(size));
    }
    return b;
}

// Tags 2 and 4 of the file's layer.
Bytes FinishedTags(const std::string& path)
{
    Bytes stats(sizeof(StatisticsTag)), preview(kPreviewLengthReal);
    GetTag(path.c_str(), kTagStatistics, int(stats.size()), stats.data());
    GetTag(path.c_str(), kTagPreview, int(preview.size()), preview.data());
    stats.insert(stats.end(), preview.begin(), preview.end());
    return stats;
}

class SampleTallyTest : public rdptest::FileTest {
protected:
    // Writes the rows, tallies them (in slots by row, each row once unless told)
    // when tally is set, and closes; answers whether the layer took the tally.
    bool Write(const std::string& path, int type, int width, int height, int flags, bool tally, int skipRow = -1,
               int twiceRow = -1)
    {
        CRDPLayer layer;
        void** rows = layer.CreateLayer(path.c_str(), width, height, type, flags);
        EXPECT_NE(rows, nullptr);
        if (rows == nullptr)
            return false;
        SampleTally t(type, width, height, 3);
        for (int r = 0; r < height; ++r) {
            const Bytes b = RowBytes(type, width, r);
            std::memcpy(rows[r], b.data(), b.size());
            if (r != skipRow)
                t.AddRow(r % 3, r, rows[r]);
            if (r == twiceRow)
                t.AddRow((r + 1) % 3, r, rows[r]);
        }
        const bool taken = tally && layer.TakeTally(t);
        layer.CloseLayer();
        return taken;
    }
};

}  // namespace

TEST_F(SampleTallyTest, TalliedStatisticsEqualTheClosingPasses)
{
    struct Case {
        int type, width, height, flags;
    };
    const Case cases[] = {
        {UINT8, 37, 11, 7},   {SINT8, 37, 11, 7},   {UINT16, 301, 40, 7}, {SINT16, 301, 40, 7},
        {SINT16, 1, 1, 7},    {UINT8, 250, 3, 5},   {SINT16, 64, 9, 4},   {UINT16, 64, 9, 1},
        {SINT8, 5, 400, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " " << c.width << "x" << c.height << " flags "
                                        << c.flags);
        const std::string tallied = dir.File("tallied.rdp"), closed = dir.File("closed.rdp");
        EXPECT_TRUE(Write(tallied, c.type, c.width, c.height, c.flags, true));
        Write(closed, c.type, c.width, c.height, c.flags, false);
        EXPECT_EQ(FinishedTags(tallied), FinishedTags(closed));
    }
}

// Where a tally cannot stand for the rows, the layer refuses it and its close
// computes as ever.
TEST_F(SampleTallyTest, TallyThatCannotStandForTheRowsIsRefused)
{
    const std::string refused = dir.File("refused.rdp"), closed = dir.File("closed.rdp");
    Write(closed, SINT16, 40, 6, 7, false);
    EXPECT_FALSE(Write(refused, SINT16, 40, 6, 7, true, 2));
    EXPECT_EQ(FinishedTags(refused), FinishedTags(closed));
    EXPECT_FALSE(Write(refused, SINT16, 40, 6, 7, true, -1, 4));
    EXPECT_EQ(FinishedTags(refused), FinishedTags(closed));

    // Another shape or type.
    CRDPLayer layer;
    ASSERT_NE(layer.CreateLayer(refused.c_str(), 4, 2, UINT8, 7), nullptr);
    SampleTally wider(UINT8, 5, 2, 1), other(SINT8, 4, 2, 1);
    const unsigned char row[5] = {1, 2, 3, 4, 5};
    for (int r = 0; r < 2; ++r) {
        wider.AddRow(0, r, row);
        other.AddRow(0, r, row);
    }
    EXPECT_FALSE(layer.TakeTally(wider));
    EXPECT_FALSE(layer.TakeTally(other));
    layer.CloseLayer();

    // Only 8- and 16-bit integers are tallied, 16 bits up to a width whose row sums
    // stay exact.
    EXPECT_TRUE(SampleTally::Supports(SINT16, 1 << 23));
    EXPECT_FALSE(SampleTally::Supports(SINT16, (1 << 23) + 1));
    EXPECT_TRUE(SampleTally::Supports(UINT8, 1 << 30));
    for (int type : {int(UINT32), int(SINT32), int(FLOAT32), int(FLOAT64), int(CSINT16), int(CUINT8), 0})
        EXPECT_FALSE(SampleTally::Supports(type, 16)) << type;
}
