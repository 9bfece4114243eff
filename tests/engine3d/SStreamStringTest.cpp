#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

std::string Text(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 7 + 1);  // every byte value, no terminator assumed
    return s;
}

}  // namespace

TEST(SStreamString, RoundTripsAndLimit)
{
    const std::size_t lengths[] = {0, 1, 255, 65531, 65532, 65533, 70000};
    for (std::size_t length : lengths) {
        const std::string s = Text(length);
        const std::size_t kept = std::min<std::size_t>(length, 65532);
        const auto expectedBytes = static_cast<std::int32_t>(kept + 4);

        EXPECT_EQ(WriteStreamString(nullptr, s), expectedBytes) << length;
        EXPECT_EQ(StringToBuffer(nullptr, s), expectedBytes) << length;

        MemoryStream stream;
        EXPECT_EQ(WriteStreamString(&stream, s), expectedBytes) << length;
        ASSERT_EQ(stream.Bytes.size(), kept + 4) << length;
        std::int32_t field = 0;
        std::memcpy(&field, stream.Bytes.data(), 4);
        EXPECT_EQ(field, static_cast<std::int32_t>(kept)) << length;

        std::vector<unsigned char> buffer(kept + 4);
        EXPECT_EQ(StringToBuffer(buffer.data(), s), expectedBytes) << length;
        EXPECT_EQ(buffer, stream.Bytes) << length;

        stream.Pos = 0;
        std::string back = "old";
        EXPECT_EQ(ReadStreamString(&stream, back), expectedBytes) << length;
        EXPECT_EQ(back, s.substr(0, kept)) << length;

        std::string fromBuffer = "old";
        EXPECT_EQ(StringFromBuffer(buffer.data(), static_cast<std::int64_t>(buffer.size()), fromBuffer), expectedBytes);
        EXPECT_EQ(fromBuffer, back) << length;
    }
}

TEST(SStreamString, BadLengthsAreRefused)
{
    const std::int32_t lengths[] = {65533, 70000, -1, INT_MIN, INT_MAX};
    for (std::int32_t n : lengths) {
        std::vector<unsigned char> bytes(8, 'x');
        std::memcpy(bytes.data(), &n, 4);
        MemoryStream stream;
        stream.Bytes = bytes;
        std::string s = "kept";
        try {
            ReadStreamString(&stream, s);
            ADD_FAILURE() << "length " << n << " accepted";
        } catch (const EStreamError& e) {
            EXPECT_STREQ(e.what(), "Invalid String Size");
        }
        EXPECT_EQ(s, "kept");
        EXPECT_THROW(StringFromBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()), s), EStreamError) << n;
        EXPECT_EQ(s, "kept");
    }
}

TEST(SStreamString, BufferReadsStayInsideTheBuffer)
{
    std::vector<unsigned char> buffer(4 + 10);
    StringToBuffer(buffer.data(), "0123456789");
    std::string s = "kept";
    struct Case {
        std::int64_t available;
        bool ok;
    };
    const Case cases[] = {{14, true}, {100, true}, {13, false}, {4, false}, {3, false}, {0, false}, {-1, false}};
    for (const auto& c : cases) {
        if (c.ok) {
            EXPECT_EQ(StringFromBuffer(buffer.data(), c.available, s), 14) << c.available;
            EXPECT_EQ(s, "0123456789");
        } else {
            EXPECT_THROW(StringFromBuffer(buffer.data(), c.available, s), EStreamError) << c.available;
        }
    }
    // A nil source empties the string; it reads nothing.
    EXPECT_EQ(StringFromBuffer(nullptr, 0, s), 0);
    EXPECT_EQ(s, "");
    s = "x";
    EXPECT_EQ(ReadStreamString(nullptr, s), 0);
    EXPECT_EQ(s, "");
}

TEST(SStreamString, CopyStringIsIndependent)
{
    std::string source = Text(100);
    std::string dest;
    CopyString(dest, source);
    EXPECT_EQ(dest, source);
    EXPECT_NE(dest.data(), source.data());
    source[0] = 'z';
    EXPECT_NE(dest[0], 'z');
    CopyString(dest, dest);
    EXPECT_EQ(dest.size(), 100u);
}
