#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "PalitraTag.h"

namespace {

struct Rgb {
    int r, g, b;
};

constexpr Rgb kRed{255, 0, 0}, kYellow{255, 255, 0}, kGreen{0, 255, 0}, kCyan{0, 255, 255}, kBlue{0, 0, 255};
constexpr Rgb kMark{1, 2, 3};  // what the record holds before the call

struct Run {
    int from, to;
    Rgb colour;
};

struct PaletteCase {
    const char* name;
    int first, last, bands;
    std::vector<Run> want;  // entries outside first..last must keep kMark
};

const PaletteCase kCases[] = {
    {"1 band", 0, 255, 1, {{0, 255, kRed}}},
    {"2 bands", 0, 255, 2, {{0, 127, kRed}, {128, 255, kBlue}}},
    {"3 bands", 0, 255, 3, {{0, 85, kRed}, {86, 170, kGreen}, {171, 255, kBlue}}},
    {"4 bands", 0, 255, 4, {{0, 63, kRed}, {64, 127, kYellow}, {128, 191, kGreen}, {192, 255, kBlue}}},
    {"5 bands",
     0,
     255,
     5,
     {{0, 51, kRed}, {52, 102, kYellow}, {103, 153, kGreen}, {154, 204, kCyan}, {205, 255, kBlue}}},
    {"3 bands inside", 100, 109, 3, {{100, 103, kRed}, {104, 106, kGreen}, {107, 109, kBlue}}},
    {"ramp at full range",
     0,
     255,
     -1,
     {{0, 0, kRed},
      {1, 1, {255, 3, 0}},
      {63, 63, {255, 251, 0}},
      {64, 64, kYellow},
      {65, 65, {252, 255, 0}},
      {127, 127, {4, 255, 0}},
      {128, 128, kGreen},
      {191, 191, {0, 255, 251}},
      {192, 192, kCyan},
      {254, 254, {0, 8, 255}},
      {255, 255, kBlue}}},
    {"coarse ramp", 0, 255, 8, {{31, 32, {255, 127, 0}}, {63, 63, kYellow}, {254, 255, kBlue}}},
    {"one entry, ramp", 7, 7, -1, {{7, 7, kBlue}}},
    {"one entry, 6 bands", 255, 255, 6, {{255, 255, kBlue}}},
    {"one entry, 2 bands", 0, 0, 2, {{0, 0, kRed}}},
    {"one entry, 5 bands", 9, 9, 5, {{9, 9, kRed}}},
    // Ranges whose ramp overshoots a component: it saturates instead of wrapping.
    {"clamped, 7 entries",
     10,
     16,
     -1,
     {{10, 10, kRed},
      {11, 11, {255, 145, 0}},
      {12, 12, kYellow},
      {13, 13, {110, 255, 0}},
      {14, 14, kGreen},
      {15, 15, kCyan},
      {16, 16, kBlue}}},
    {"clamped, 15 entries",
     0,
     14,
     -1,
     {{0, 0, kRed},
      {3, 3, {255, 204, 0}},
      {4, 4, kYellow},
      {7, 7, {51, 255, 0}},
      {8, 8, kGreen},
      {9, 10, {0, 255, 136}},
      {11, 11, kCyan},
      {12, 12, {0, 187, 255}},
      {13, 13, {0, 119, 255}},
      {14, 14, kBlue}}},
    {"clamped, negative bands", 0, 255, -3, {{63, 63, kYellow}, {255, 255, kBlue}}},
    // Nothing happens at all for these.
    {"no bands", 0, 255, 0, {}},
    {"first below 0", -1, 10, 3, {}},
    {"last above 255", 250, 256, 3, {}},
    {"first above last", 20, 10, -1, {}},
};

PalitraTag Marked()
{
    PalitraTag pal;
    for (auto& e : pal.entries) {
        e[0] = kMark.r;
        e[1] = kMark.g;
        e[2] = kMark.b;
    }
    return pal;
}

void ExpectEntry(const PalitraTag& pal, int i, Rgb c)
{
    EXPECT_EQ(pal.entries[i][0], c.r) << "entry " << i;
    EXPECT_EQ(pal.entries[i][1], c.g) << "entry " << i;
    EXPECT_EQ(pal.entries[i][2], c.b) << "entry " << i;
}

TEST(PalitraTag, FreshRecordHasLengthAndFlag)
{
    const PalitraTag pal;
    EXPECT_EQ(pal.length, 776);
    EXPECT_EQ(pal.flag, 1);
    unsigned char bytes[776];
    std::memcpy(bytes, &pal, sizeof bytes);
    EXPECT_EQ(bytes[0], 0x08);  // 776 little-endian
    EXPECT_EQ(bytes[1], 0x03);
    EXPECT_EQ(bytes[4], 1);
}

TEST(PalitraTag, PseudoColourCases)
{
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        PalitraTag pal = Marked();
        CreatePseudoColorPalette(&pal, c.first, c.last, c.bands);
        EXPECT_EQ(pal.length, 776);
        EXPECT_EQ(pal.flag, 1);
        for (const auto& run : c.want)
            for (int i = run.from; i <= run.to; ++i)
                ExpectEntry(pal, i, run.colour);
        for (int i = 0; i < 256; ++i)
            if (c.want.empty() || i < c.first || i > c.last)
                ExpectEntry(pal, i, kMark);
    }
}

// The finest ramp over any range runs red, yellow, green, cyan, blue without a jump
// back: red never rises, blue never falls, green rises and then falls.
TEST(PalitraTag, FinestRampIsMonotonicForEveryRangeLength)
{
    for (int n = 1; n <= 256; ++n) {
        SCOPED_TRACE(n);
        const int first = 256 - n;
        PalitraTag pal = Marked();
        CreatePseudoColorPalette(&pal, first, 255, -1);
        ExpectEntry(pal, 255, kBlue);
        if (n > 1)
            ExpectEntry(pal, first, kRed);
        bool greenFalling = false;
        for (int i = first + 1; i <= 255; ++i) {
            const auto* prev = pal.entries[i - 1];
            const auto* cur = pal.entries[i];
            ASSERT_LE(cur[0], prev[0]) << "red at " << i;
            ASSERT_GE(cur[2], prev[2]) << "blue at " << i;
            if (cur[1] < prev[1])
                greenFalling = true;
            else
                ASSERT_FALSE(greenFalling && cur[1] > prev[1]) << "green at " << i;
        }
    }
}

TEST(PalitraTag, ExtremeBandCountsStillEndInBlue)
{
    for (int bands : {INT_MIN, -1000, 6, 1000, INT_MAX}) {
        SCOPED_TRACE(bands);
        PalitraTag pal = Marked();
        CreatePseudoColorPalette(&pal, 0, 255, bands);
        ExpectEntry(pal, 255, kBlue);
    }
    CreatePseudoColorPalette(nullptr, 0, 255, 3);
}

}  // namespace
