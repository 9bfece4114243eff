#include "engine3d/model/GeneralProc.h"
#include "engine3d/model/SClassLib.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <numeric>
#include <vector>

TEST(GeneralProc, MinMax)
{
    EXPECT_EQ(IntMin(3, -2), -2);
    EXPECT_EQ(IntMax(3, -2), 3);
    EXPECT_EQ(IntMin3(5, INT_MIN, 0), INT_MIN);
    EXPECT_EQ(IntMax3(5, INT_MAX, 0), INT_MAX);
    EXPECT_EQ(IntMin3(1, 2, -3), -3);
    EXPECT_EQ(IntMax3(-1, -2, -3), -1);
}

TEST(GeneralProc, IntMulDiv)
{
    struct Case {
        std::int32_t x, y, z, expected;
    };
    const Case cases[] = {
        {3, 10, 4, 7},
        {-3, 10, 4, -7},
        {3, -10, -4, 7},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},  // the product needs 64 bits
        {INT_MIN, 2, 4, INT_MIN / 2},
        {0, 5, -1, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IntMulDiv(c.x, c.y, c.z), c.expected) << c.x << "*" << c.y << "/" << c.z;

    EXPECT_THROW(IntMulDiv(1, 1, 0), EIntDivision);
    EXPECT_THROW(IntMulDiv(INT_MAX, 2, 1), EIntDivision);
    EXPECT_THROW(IntMulDiv(INT_MIN, -1, 1), EIntDivision);
}

TEST(GeneralProc, FillPattern32FillsExactlyCountBytes)
{
    const std::uint8_t pattern[4] = {0x11, 0x22, 0x33, 0x44};
    std::uint32_t value;
    std::memcpy(&value, pattern, 4);
    for (int count = -1; count <= 9; ++count) {
        std::vector<std::uint8_t> buf(16, 0xEE);
        FillPattern32(buf.data() + 2, count, value);
        for (int i = 0; i < 16; ++i) {
            const int at = i - 2;
            const std::uint8_t expected = (at >= 0 && at < count) ? pattern[at % 4] : 0xEE;
            EXPECT_EQ(buf[i], expected) << "count " << count << " byte " << i;
        }
    }
}

TEST(GeneralProc, FillPattern2DRowsAndStride)
{
    std::vector<std::uint8_t> buf(4 * 8, 0);
    FillPattern2D(buf.data(), 5, 3, 8, 0x04030201u);
    const std::uint8_t row[8] = {1, 2, 3, 4, 1, 0, 0, 0};
    for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(buf[r * 8 + i], r < 3 ? row[i] : 0) << r << "," << i;

    // Bottom-up: a negative stride walks upward from the last row.
    std::vector<std::uint8_t> up(3 * 4, 0);
    FillPattern2D(up.data() + 8, 2, 2, -4, 0x0000BBAAu);
    const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 0xAA, 0xBB, 0, 0, 0xAA, 0xBB, 0, 0};
    EXPECT_EQ(up, expected);

    std::vector<std::uint8_t> untouched(8, 7);
    FillPattern2D(untouched.data(), 0, 2, 4, 0);
    FillPattern2D(untouched.data(), 4, 0, 4, 0);
    EXPECT_EQ(untouched, std::vector<std::uint8_t>(8, 7));
}

TEST(GeneralProc, MoveBlockMatchesCopyThroughTemporary)
{
    struct Case {
        int dest, source, count;
    };
    const Case cases[] = {
        {0, 5, 20},  // downward overlap
        {5, 0, 20},  // upward overlap: destination inside the source
        {1, 0, 31}, {0, 1, 31}, {3, 7, 13}, {7, 3, 13}, {0, 16, 16}, {4, 4, 10}, {2, 9, 0}, {2, 9, -3},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> buf(40);
        std::iota(buf.begin(), buf.end(), 1);
        std::vector<std::uint8_t> expected = buf;
        if (c.count > 0) {
            std::vector<std::uint8_t> tmp(buf.begin() + c.source, buf.begin() + c.source + c.count);
            std::copy(tmp.begin(), tmp.end(), expected.begin() + c.dest);
        }
        MoveBlock(buf.data() + c.dest, buf.data() + c.source, c.count);
        EXPECT_EQ(buf, expected) << c.dest << " <- " << c.source << " x" << c.count;
    }
}
