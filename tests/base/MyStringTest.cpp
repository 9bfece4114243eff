#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "util/MyString.h"

namespace {

CMyString From(const std::string& bytes)
{
    CMyString s(int(bytes.size()));
    std::memcpy(s.data, bytes.data(), bytes.size());
    return s;
}

struct LineCase {
    const char* name;
    std::string bytes;
    int start;
    int max;
    char delim;
    const char* text;  // nullptr: nothing written
    int cursor;
};

TEST(MyString, GetlineCases)
{
    const LineCase kCases[] = {
        {"up to the delimiter", std::string("ab\0cd", 5), 0, 256, '\0', "ab", 3},
        {"cut by max", "abc", 0, 2, '\n', "a", 2},
        {"cut by the end of the buffer", "xyz", 0, 256, '\n', "xy", 3},
        {"delimiter first", "\nabc", 0, 256, '\n', "", 1},
        {"from the middle", "one\ntwo\n", 4, 256, '\n', "two", 8},
        {"max 1 meets the delimiter", "\nabc", 0, 1, '\n', "", 1},
        {"max 1 copies one byte", "abc", 0, 1, '\n', "", 1},
        {"max 0", "abc", 0, 0, '\n', nullptr, 0},
        {"negative max", "abc", 0, -3, '\n', nullptr, 0},
        {"at the end", "abc", 3, 256, '\n', "", 3},
        {"past the end", "abc", 7, 256, '\n', "", 7},
        {"negative cursor", "abc", -2, 256, '\n', "", -2},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        CMyString s = From(c.bytes);
        s.cursor = c.start;
        char out[8];
        std::memset(out, '#', sizeof out);
        // The line is written from out + 1, so a write before it shows at out[0].
        s.getline(out + 1, c.max, c.delim);
        EXPECT_EQ(out[0], '#');
        if (c.text == nullptr) {
            EXPECT_EQ(out[1], '#');
        } else {
            EXPECT_STREQ(out + 1, c.text);
        }
        EXPECT_EQ(s.cursor, c.cursor);
    }
}

TEST(MyString, EofWhenFewerThanTwoBytesRemain)
{
    CMyString s = From("abc");
    const int kCursorEof[][2] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {9, 1}};
    for (const auto& c : kCursorEof) {
        s.cursor = c[0];
        EXPECT_EQ(s.eof(), c[1]) << c[0];
    }
    CMyString empty;
    EXPECT_EQ(empty.eof(), 1);
    s.cursor = 2147483647;
    EXPECT_EQ(s.eof(), 1);
}

TEST(MyString, ConstructionAndFailedAllocationLeaveItEmpty)
{
    CMyString a;
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.size, 0);
    EXPECT_EQ(a.cursor, 0);
    CMyString b(16);
    EXPECT_NE(b.data, nullptr);
    EXPECT_EQ(b.size, 16);
    CMyString none(0), negative(-5);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(negative.size, 0);
}

TEST(MyString, CopiesOwnTheirBufferAndMovesHandItOver)
{
    CMyString a = From("hello");
    a.cursor = 2;
    CMyString b(a);
    ASSERT_NE(b.data, a.data);
    EXPECT_EQ(std::string(b.data, size_t(b.size)), "hello");
    EXPECT_EQ(b.cursor, 2);
    b.data[0] = 'J';
    EXPECT_EQ(a.data[0], 'h');

    CMyString c = From("xy");
    c = a;
    ASSERT_NE(c.data, a.data);
    EXPECT_EQ(std::string(c.data, size_t(c.size)), "hello");
    c = c;  // self-assignment keeps it
    EXPECT_EQ(c.size, 5);

    char* buffer = a.data;
    CMyString d(std::move(a));
    EXPECT_EQ(d.data, buffer);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.size, 0);
    CMyString e;
    e = std::move(d);
    EXPECT_EQ(e.data, buffer);
    EXPECT_EQ(d.data, nullptr);

    CMyString empty, copy(empty);
    EXPECT_EQ(copy.data, nullptr);
}

TEST(MyString, BorrowedBufferIsReadAndHandedBack)
{
    char mine[] = "k=v\nx=y\n";
    CMyString s;
    s.data = mine;
    s.size = int(sizeof mine - 1);
    char line[16];
    s.getline(line, sizeof line, '\n');
    EXPECT_STREQ(line, "k=v");
    s.getline(line, sizeof line, '\n');
    EXPECT_STREQ(line, "x=y");
    EXPECT_EQ(s.eof(), 1);
    s.data = nullptr;
}

}  // namespace
