// The typed edit field's rules without a window: the change filter by mode, the date
// check with its boxes, the caret rules and the number readers.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "controls/DisEditFilter.h"

namespace {

using namespace disedit;

std::string Narrow(const std::u16string& s)
{
    return std::string(s.begin(), s.end());
}

struct FilterCase {
    const char* name;
    int mode;
    int limit;
    bool password;
    bool dotRestore;
    const char16_t* text;
    int caret;  // -1: at the end
    const char16_t* want;
    int wantCaret;
    std::vector<unsigned> boxes;
};

TEST(DisEditFilter, TextAndNumbersByMode)
{
    const FilterCase cases[] = {
        {"integer kept", MODE_INTEGER, 0, false, false, u"0012", -1, u"0012", 4, {}},
        {"integer letter at the end", MODE_INTEGER, 0, false, false, u"12a", -1, u"12", 2, {}},
        {"integer letters between", MODE_INTEGER, 0, false, false, u"a1b2", -1, u"12", 2, {}},
        {"integer leading zeros", MODE_INTEGER, 0, false, false, u"007x", -1, u"7", 1, {}},
        {"integer minus dropped", MODE_INTEGER, 0, false, false, u"-5", -1, u"5", 1, {}},
        {"integer overflowing paste", MODE_INTEGER, 0, false, false, u"12345678901x", -1, u"12345678901", 11, {}},
        {"integer runs over words", MODE_INTEGER, 0, false, false, u"12 34", -1, u"1234", 4, {}},
        {"integer caret at the start", MODE_INTEGER, 0, false, false, u"x1", 0, u"1", 0, {}},
        {"integer limit", MODE_INTEGER, 3, false, false, u"12345", -1, u"123", 3, {}},
        {"real kept", MODE_REAL, 0, false, false, u"1.5", -1, u"1.5", 3, {}},
        {"real letter at the end", MODE_REAL, 0, false, false, u"1.5x", -1, u"1.5", 3, {}},
        {"real exponent begun", MODE_REAL, 0, false, false, u"1e", -1, u"1", 1, {}},
        {"real lone minus", MODE_REAL, 0, false, false, u"-", -1, u"", 0, {}},
        {"real minus inside", MODE_REAL, 0, false, false, u"12-3", 2, u"12", 1, {}},
        {"real letter inside", MODE_REAL, 0, false, false, u"1a2", 2, u"12", 1, {}},
        {"real infinity is no number", MODE_REAL, 0, false, false, u"inf", -1, u"", 0, {}},
        {"real too large is no number", MODE_REAL, 0, false, false, u"1e999", -1, u"", 0, {}},
        {"text limit", MODE_TEXT, 5, false, false, u"abcdefgh", -1, u"abcde", 5, {}},
        {"text without limit", MODE_TEXT, 0, false, false, u"abcdefgh", -1, u"abcdefgh", 8, {}},
        {"password", MODE_TEXT, 0, true, false, u"ab-c", -1, u"abc", 3, {}},
        {"password over integer", MODE_INTEGER, 0, true, false, u"a_1\u0439", -1, u"a_1", 3, {}},
        {"display keeps all", MODE_DISPLAY, 0, false, false, u"x-1", 1, u"x-1", 1, {}},
    };
    for (const FilterCase& c : cases) {
        FilterInput in;
        in.text = c.text;
        in.caret = c.caret < 0 ? int(in.text.size()) : c.caret;
        in.mode = c.mode;
        in.limit = c.limit;
        in.password = c.password;
        in.dotRestore = c.dotRestore;
        const FilterResult r = FilterChange(in);
        EXPECT_EQ(Narrow(r.text), Narrow(c.want)) << c.name;
        EXPECT_EQ(Narrow(r.value), Narrow(c.want)) << c.name;
        EXPECT_EQ(r.caret, c.wantCaret) << c.name;
        EXPECT_EQ(r.boxes, c.boxes) << c.name;
    }
}

TEST(DisEditFilter, DateTypingOverwritesAndRestoresDots)
{
    const FilterCase cases[] = {
        // A digit typed at 1 of "01.01.2000" lands between the day's digits.
        {"second day digit skips the dot", MODE_DATE, 0, false, false, u"051.01.2000", 2, u"05.01.2000", 3, {}},
        {"second month digit lands at 8", MODE_DATE, 0, false, false, u"05.021.2000", 5, u"05.02.2000", 8, {}},
        {"year digit", MODE_DATE, 0, false, false, u"05.02.12000", 7, u"05.02.1000", 7, {}},
        {"Delete of a dot restored", MODE_DATE, 0, false, true, u"0501.2000", 2, u"05.01.2000", 3, {}},
        {"Backspace of the first dot restored", MODE_DATE, 0, false, true, u"0501.2000", 2, u"05.01.2000", 3, {}},
        {"Backspace of the second dot restored", MODE_DATE, 0, false, true, u"05.012000", 5, u"05.01.2000", 8, {}},
        {"empty", MODE_DATE, 0, false, false, u"", 0, u"01.01.1900", 0, {}},
        {"bad day corrected", MODE_DATE, 0, false, false, u"45.01.2000", 0, u"31.01.2000", 0, {IDS_BAD_DAY}},
    };
    for (const FilterCase& c : cases) {
        FilterInput in;
        in.text = c.text;
        in.caret = c.caret;
        in.mode = c.mode;
        in.dotRestore = c.dotRestore;
        const FilterResult r = FilterChange(in);
        EXPECT_EQ(Narrow(r.text), Narrow(c.want)) << c.name;
        EXPECT_EQ(Narrow(r.value), Narrow(c.want)) << c.name << ": the value follows the corrected text";
        EXPECT_EQ(r.caret, c.wantCaret) << c.name;
        EXPECT_EQ(r.boxes, c.boxes) << c.name;
    }
}

TEST(DisEditFilter, DateCheck)
{
    const struct {
        const char16_t* text;
        const char16_t* want;
        bool valid;
        std::vector<unsigned> boxes;
    } cases[] = {
        {u"", u"01.01.1900", true, {}},
        {u"05.06.2001", u"05.06.2001", true, {}},
        {u"35.01.2000", u"31.01.2000", false, {}},
        {u"45.01.2000", u"31.01.2000", false, {IDS_BAD_DAY}},
        {u"-1.01.2000", u"01.01.2000", false, {IDS_BAD_DAY}},
        {u"00.05.2000", u"01.05.2000", false, {}},
        {u"31.04.2000", u"30.04.2000", false, {}},
        {u"30.02.2001", u"29.02.2001", false, {}},
        {u"10.13.2000", u"10.12.2000", false, {}},
        {u"10.25.2000", u"10.12.2000", false, {IDS_BAD_MONTH}},
        {u"01.01.19", u"01.01.1900", true, {}},
        {u"1/2/2003", u"01.02.2003", true, {}},
        {u"1,2,2003", u"01.02.2003", true, {}},
        {u"01.01.12000", u"01.01.1900", false, {IDS_BAD_YEAR}},
        {u"99.99.99999", u"31.12.1900", false, {IDS_BAD_DAY, IDS_BAD_MONTH, IDS_BAD_YEAR}},
        // Parts that are no numbers read 0; a number beyond int saturates.
        {u"ab.cd.ef", u"01.01.0000", false, {}},
        {u"99999999999.1.2000", u"31.01.2000", false, {IDS_BAD_DAY}},
    };
    for (const auto& c : cases) {
        const DateCheck r = CheckDate(c.text);
        EXPECT_EQ(Narrow(r.text), Narrow(c.want)) << Narrow(c.text);
        EXPECT_EQ(r.valid, c.valid) << Narrow(c.text);
        EXPECT_EQ(r.boxes, c.boxes) << Narrow(c.text);
    }
}

TEST(DisEditFilter, CaretRulesAndReaders)
{
    const int set[][2] = {{0, 0}, {2, 3}, {4, 4}, {5, 8}, {6, 6}, {10, 9}};
    for (const auto& s : set)
        EXPECT_EQ(DateCaret(s[0]), s[1]) << s[0];
    const int focus[][2] = {{2, 3}, {5, 6}, {10, 9}, {7, 7}};
    for (const auto& f : focus)
        EXPECT_EQ(DateFocusCaret(f[0]), f[1]) << f[0];
    // Right from 1 to 2 jumps to 3, left from 3 to 2 jumps to 1; the end goes to 9.
    const int keys[][3] = {{1, 2, 3}, {3, 2, 1}, {4, 5, 6}, {6, 5, 4}, {9, 10, 9}, {0, 1, 1}};
    for (const auto& k : keys)
        EXPECT_EQ(DateKeyCaret(k[0], k[1]), k[2]) << k[0] << " to " << k[1];

    const struct {
        const char* text;
        int want;
    } ints[] = {{"", 0}, {"  42x", 42}, {"-7", -7}, {"+8", 8}, {"x1", 0}, {"4294967297", INT_MAX},
                {"-99999999999", INT_MIN}, {"2147483647", INT_MAX}};
    for (const auto& i : ints)
        EXPECT_EQ(ReadInt(std::string(i.text)), i.want) << i.text;
    EXPECT_DOUBLE_EQ(ReadDouble(u" 2.5e1z"), 25.0);
    EXPECT_DOUBLE_EQ(ReadDouble(u"-0.5"), -0.5);
    EXPECT_DOUBLE_EQ(ReadDouble(u"nan"), 0.0);
    EXPECT_DOUBLE_EQ(ReadDouble(u"--1"), 0.0);
    EXPECT_EQ(FormatDouble(1.5), "1.5");
    EXPECT_EQ(FormatDouble(1000000.0), "1e+06");
    EXPECT_EQ(FormatDouble(0.1), "0.1");
}

}  // namespace
