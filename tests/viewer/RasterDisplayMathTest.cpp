#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "format/SampleConvert.h"
#include "view/RasterDisplayMath.h"

namespace {

void GreyRamp(PaletteEntries& p)
{
    for (int i = 0; i < 256; ++i)
        p[i][0] = p[i][1] = p[i][2] = static_cast<unsigned char>(i);
}

TEST(DisplayPalette, BrightnessAndContrastFollowTheirOwnK)
{
    PaletteEntries grey, out;
    GreyRamp(grey);
    struct Case {
        const char* what;
        double K;
        int b;
        std::vector<std::pair<int, int>> entries;  // source level, display level
    } cases[] = {
        {"contrast 100", ContrastK(100), 0, {{0, 0}, {64, 0}, {128, 130}, {200, 255}, {255, 255}}},
        {"brightness after contrast 100", 100.0, 0, {{0, 0}, {64, 14}, {128, 128}, {200, 255}, {255, 255}}},
        {"contrast -127", ContrastK(-127), 0, {{0, 127}, {1, 127}, {127, 127}, {128, 128}, {255, 128}}},
        {"brightness 40", 0.0, 40, {{0, 40}, {100, 140}, {215, 255}, {255, 255}}},
        {"brightness -300", 0.0, -300, {{0, 0}, {255, 0}}},
        {"contrast 127 with brightness -10", ContrastK(127), -10, {{0, 0}, {127, 0}, {128, 245}, {255, 255}}},
    };
    for (const Case& c : cases) {
        BuildDisplayPalette(grey, c.K, c.b, out);
        for (auto [level, want] : c.entries)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(out[level][k], want) << c.what << ", level " << level;
    }
    EXPECT_NEAR(ContrastK(100), 463.6363636, 1e-6);
    EXPECT_EQ(ContrastK(-50), -50.0);
    EXPECT_EQ(ContrastK(0), 0.0);
}

TEST(DisplayPalette, EachColourByteIsMappedOnItsOwn)
{
    PaletteEntries source{}, out;
    source[7][0] = 200;
    source[7][1] = 10;
    source[7][2] = 128;
    BuildDisplayPalette(source, 100.0, 5, out);
    EXPECT_EQ(out[7][0], 255);  // 200 + 56.9 + 5
    EXPECT_EQ(out[7][1], 0);    // 10 - 92.2 + 5
    EXPECT_EQ(out[7][2], 133);  // 128 + 0.4 + 5
}

TEST(Equalisation, MapsBinsToLevelsThatShareTheSamples)
{
    struct Case {
        const char* what;
        std::function<std::uint32_t(int bin)> count;
        std::function<int(int bin)> level;
    } cases[] = {
        {"all zero: black", [](int) { return 0u; }, [](int) { return 0; }},
        {"flat: the ramp", [](int) { return 1000u; }, [](int i) { return i; }},
        {"all in bin 100", [](int i) { return i == 100 ? 256000u : 0u; },
         [](int i) { return i < 100    ? 0
                            : i == 100 ? 127
                                       : 255; }},
        // Past 2^31 samples the sums and the doubled allowance need 64 bits.
        {"flat, full bins", [](int) { return 0xFFFFFFFFu; }, [](int i) { return i; }},
        {"bin 100 past 2^31", [](int i) { return i == 100 ? 0xFFFFFFFFu : 0u; },
         [](int i) { return i < 100    ? 0
                            : i == 100 ? 127
                                       : 255; }},
        {"two halves past 2^31", [](int i) { return i == 0 || i == 255 ? 0x90000000u : 0u; },
         [](int i) { return i == 0     ? 63
                            : i == 255 ? 191
                                       : 127; }},
    };
    for (const Case& c : cases) {
        std::uint32_t hist[256];
        for (int i = 0; i < 256; ++i)
            hist[i] = c.count(i);
        unsigned char map[256];
        std::memset(map, 0xAA, sizeof map);
        EqualizationMap(hist, map);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(map[i], c.level(i)) << c.what << ", bin " << i;
    }
}

template <class C>
std::vector<unsigned char> Row(std::initializer_list<C> components)
{
    std::vector<unsigned char> bytes(components.size() * sizeof(C));
    size_t i = 0;
    for (C c : components)
        sample::Store(bytes.data() + sizeof(C) * i++, c);
    return bytes;
}

TEST(SampleReadOut, EveryTypeReadsItsSampleAsText)
{
    struct Case {
        const char* what;
        int type;
        std::vector<unsigned char> row;  // two samples; the second is read
        int phase;
        std::string text;
    } cases[] = {
        {"UINT8", 1, Row<std::uint8_t>({1, 250}), 0, "250"},
        {"SINT8", 2, Row<std::int8_t>({1, -5}), 0, "-5"},
        {"UINT16", 3, Row<std::uint16_t>({1, 65535}), 0, "65535"},
        {"SINT16", 4, Row<std::int16_t>({1, -32768}), 0, "-32768"},
        {"UINT32 without sign", 5, Row<std::uint32_t>({1, 4000000000u}), 0, "4e+09"},
        {"SINT32", 6, Row<std::int32_t>({1, -123456}), 0, "-123456"},
        {"FLOAT32", 7, Row<float>({1, 2.5f}), 0, "2.5"},
        {"FLOAT64", 8, Row<double>({1, 0.1}), 0, "0.1"},
        {"CFLOAT32 amplitude", 9, Row<float>({0, 0, 3, 4}), 0, "5"},
        {"CFLOAT64 amplitude", 10, Row<double>({0, 0, -6, 8}), 0, "10"},
        {"CUINT8 amplitude", 11, Row<std::uint8_t>({0, 0, 5, 12}), 0, "13"},
        {"CSINT8 phase", 12, Row<std::int8_t>({0, 0, 0, -1}), 1, "4.71239"},
        {"CUINT16 phase", 13, Row<std::uint16_t>({0, 0, 0, 7}), 1, "1.5708"},
        {"CSINT16 amplitude", 14, Row<std::int16_t>({0, 0, -3, -4}), 0, "5"},
        {"CUINT32 amplitude", 15, Row<std::uint32_t>({0, 0, 4000000000u, 0}), 0, "4e+09"},
        {"CSINT32 phase", 16, Row<std::int32_t>({0, 0, -1, 0}), 1, "3.14159"},
        {"type 0", 0, Row<double>({1, 2}), 0, "0"},
        {"type 17", 17, Row<double>({1, 2}), 0, "0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatValue(SampleValue(c.row.data(), 1, c.type, c.phase)), c.text) << c.what;
}

TEST(BgrExpansion, LevelsAtTheEndBecomePixelsInPlace)
{
    PaletteEntries palette;
    for (int i = 0; i < 256; ++i) {
        palette[i][0] = static_cast<unsigned char>(i);        // red
        palette[i][1] = static_cast<unsigned char>(255 - i);  // green
        palette[i][2] = static_cast<unsigned char>(i / 2);    // blue
    }
    constexpr int w = 5, h = 3;
    for (int rowBytes : {3 * w, 3 * w + 1, 3 * w + 9}) {
        // Stale bytes everywhere: the row padding must come out as zeros.
        std::vector<unsigned char> out(size_t(rowBytes) * h, 0xEE);
        unsigned char* levels = out.data() + out.size() - w * h;
        for (int i = 0; i < w * h; ++i)
            levels[i] = static_cast<unsigned char>(17 * i + 3);
        std::vector<int> rowsDone;
        ASSERT_TRUE(
            ExpandLevelsToBGR(out.data(), out.size(), w, h, rowBytes, palette, [&](int r) { rowsDone.push_back(r); }));
        EXPECT_EQ(rowsDone, (std::vector<int>{0, 1, 2}));
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const int v = 17 * (r * w + x) + 3;
                const unsigned char* px = out.data() + r * rowBytes + 3 * x;
                EXPECT_EQ(px[0], v / 2) << rowBytes << " " << r << "," << x;
                EXPECT_EQ(px[1], 255 - v);
                EXPECT_EQ(px[2], v);
            }
        for (int r = 0; r < h; ++r)
            for (int k = 3 * w; k < rowBytes; ++k)
                EXPECT_EQ(out[size_t(r * rowBytes + k)], 0) << rowBytes << " row " << r << " byte " << k;
    }
    // Rows narrower than three bytes a pixel, or a buffer too short, are refused untouched.
    std::vector<unsigned char> small(3 * w * h - 1, 9);
    EXPECT_FALSE(ExpandLevelsToBGR(small.data(), small.size(), w, h, 3 * w, palette, [](int) {}));
    EXPECT_FALSE(ExpandLevelsToBGR(small.data(), small.size(), w, h, 3 * w - 1, palette, [](int) {}));
    EXPECT_EQ(small, std::vector<unsigned char>(small.size(), 9));
}

}  // namespace
