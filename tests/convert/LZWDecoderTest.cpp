#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TiffFixture.h"
#include "tiff/LZWDecoder.h"

using tifftest::BitWriter;
using tifftest::Bytes;
using tifftest::LzwEncode;

namespace {

// Decodes data into need bytes; answers the bytes or, on damage, sets why.
Bytes Decode(const Bytes& data, std::size_t need, std::string* why = nullptr, std::int64_t* got = nullptr)
{
    CLZWDecoder decoder;
    Bytes out(need);
    std::string reason;
    const std::int64_t n = decoder.DecodeStrip(data.data(), data.size(), out.data(), need, &reason);
    if (why)
        *why = reason;
    if (got)
        *got = n;
    out.resize(n < 0 ? 0 : std::size_t(n));
    return out;
}

Bytes Runs()
{
    // Long runs of equal bytes grow table strings to hundreds of bytes.
    Bytes data;
    for (int run = 0; run < 40; ++run)
        data.insert(data.end(), std::size_t(300 + run * 97), static_cast<unsigned char>(run * 7));
    return data;
}

Bytes Ramp(std::size_t n)
{
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i)
        data[i] = static_cast<unsigned char>((i * 31 + i / 7) & 0xFF);
    return data;
}

}  // namespace

TEST(LZWDecoder, DecodesWhatAnEncoderWrote)
{
    struct Case {
        const char* name;
        Bytes data;
        std::vector<std::size_t> clearAt;
    };
    const std::vector<Case> cases = {
        {"one byte", {42}, {}},
        {"long runs", Runs(), {}},
        // Noise fills the table: 9- to 12-bit codes, and the encoder's Clear when full.
        {"noise past a full table", tifftest::Noise(20000, 3), {}},
        {"ramp", Ramp(9000), {}},
        {"clear in the middle", tifftest::Noise(5000, 9), {700, 2500}},
        {"clear at the start of a run", Runs(), {1, 4000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes coded = LzwEncode(c.data, c.clearAt);
        std::string why;
        EXPECT_EQ(Decode(coded, c.data.size(), &why), c.data) << why;
        // Asked for fewer bytes, it stops there, writing nothing past them.
        const std::size_t part = c.data.size() / 2 + 1;
        EXPECT_EQ(Decode(coded, part), Bytes(c.data.begin(), c.data.begin() + std::ptrdiff_t(part)));
    }
}

// Entries 510, 1022 and 2046 switch the codes that follow to 10, 11 and 12 bits;
// a Clear goes back to 9 bits and entry 258.
TEST(LZWDecoder, CodeWidthGrowsAtTheThreeBoundariesAndClearResetsIt)
{
    for (int entries : {510, 1022, 2046}) {
        SCOPED_TRACE(entries);
        // Literal codes each add one entry: after the literal that adds entry
        // `entries`, codes are a bit wider.
        BitWriter w;
        int width = 9, next = 258;
        Bytes expect;
        w.Put(256, 9);
        for (int i = 0; next <= entries; ++i) {
            const int c = i & 0xFF;
            w.Put(c, width);
            expect.push_back(static_cast<unsigned char>(c));
            if (i > 0)
                ++next;
            if (next == 511 || next == 1023 || next == 2047)
                ++width;
        }
        ASSERT_EQ(width, entries == 510 ? 10 : entries == 1022 ? 11 : 12);
        w.Put(77, width);
        expect.push_back(77);
        w.Put(256, width);  // Clear at the wide width...
        w.Put(5, 9);        // ...and 9 bits again
        w.Put(258, 9);      // the first new entry after the Clear: 5 followed by 5
        expect.insert(expect.end(), {5, 5, 5});
        w.Put(257, 9);
        std::string why;
        EXPECT_EQ(Decode(w.Take(), expect.size() + 10, &why), expect) << why;
    }
}

TEST(LZWDecoder, DamageIsRefused)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> codes;  // code, width
        const char* why;
    };
    const std::vector<Case> cases = {
        {"code above the next free code", {{256, 9}, {65, 9}, {300, 9}}, "above the next free code"},
        {"first code not a literal", {{256, 9}, {258, 9}}, "literal"},
        {"first code after a Clear not a literal", {{256, 9}, {65, 9}, {256, 9}, {259, 9}}, "literal"},
        {"strip ends without End", {{256, 9}, {65, 9}, {66, 9}}, "past the end"},
        {"first code not a literal without Clear", {{300, 9}}, "literal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        for (auto [code, width] : c.codes)
            w.Put(code, width);
        std::string why;
        std::int64_t got = 0;
        Decode(w.Take(), 100, &why, &got);
        EXPECT_EQ(got, -1);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
    // An empty strip has no code at all.
    std::string why;
    std::int64_t got = 0;
    Decode({}, 1, &why, &got);
    EXPECT_EQ(got, -1);
}

TEST(LZWDecoder, StripWithoutClearStartsAsAfterOneAndEndEndsEarly)
{
    BitWriter w;
    w.Put(65, 9);
    w.Put(66, 9);
    w.Put(258, 9);  // "AB"
    w.Put(257, 9);
    w.Put(67, 9);  // after End: never read
    std::int64_t got = 0;
    EXPECT_EQ(Decode(w.Take(), 10, nullptr, &got), (Bytes{65, 66, 65, 66}));
    EXPECT_EQ(got, 4);
}

// Without a Clear the table stops at 4096 entries; codes go on at 12 bits.
TEST(LZWDecoder, FullTableTakesNoMoreEntries)
{
    BitWriter w;
    int width = 9, next = 258;
    Bytes expect;
    w.Put(256, 9);
    for (int i = 0; i < 4200; ++i) {
        const int c = (i * 13) & 0xFF;
        w.Put(c, width);
        expect.push_back(static_cast<unsigned char>(c));
        if (i > 0 && next < 4096)
            ++next;
        if (next == 511 || next == 1023 || next == 2047)
            width = next == 511 ? 10 : next == 1023 ? 11 : 12;
    }
    ASSERT_EQ(next, 4096);
    w.Put(4095, 12);  // the last entry: what came before the 3838th literal and it
    w.Put(257, 12);
    std::string why;
    const Bytes out = Decode(w.Take(), expect.size() + 2, &why);
    ASSERT_EQ(out.size(), expect.size() + 2) << why;
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), out.begin()));
}
