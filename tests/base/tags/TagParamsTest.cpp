// The View Parameters dialog's logic without a window: field decoding, the rows of a tag
// from the dictionary, and the listing of a layer's tags.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tags/Cp1251.h"
#include "tags/TagParams.h"
#include "tags/TagResources.h"

namespace {

using Bytes = std::vector<unsigned char>;

template <class T>
void Put(Bytes& b, size_t at, T v)
{
    if (b.size() < at + sizeof v)
        b.resize(at + sizeof v);
    std::memcpy(b.data() + at, &v, sizeof v);
}

TEST(TagParams, DecodesEachTypeOnlyInsideTheTag)
{
    Bytes b(32, 0);
    Put<std::uint8_t>(b, 0, 200);
    Put<std::int16_t>(b, 2, -2);
    Put<std::int32_t>(b, 4, -7);
    Put<float>(b, 8, 2.5f);
    Put<double>(b, 12, -1.25);
    Put<std::int32_t>(b, 20, 3);
    Put<double>(b, 24, 1.5);
    const TimeWords words;
    struct Case {
        long long offset;
        int type;
        long long length;
        const char* want;
    };
    const Case cases[] = {
        {0, 1, 1, " 200 "},
        {0, 2, 1, " -56 "},
        {2, 3, 2, " 65534 "},
        {2, 4, 4, " -2 "},  // the first two bytes of a longer field
        {4, 5, 4, " 4294967289 "},
        {4, 6, 4, " -7 "},
        {8, 7, 4, " 2.500000 "},
        {12, 8, 8, " -1.250000 "},
        {20, 9, 12, " days: 3 seconds: 1.500000"},
        {0, 0, 4, ""},      // not decoded
        {0, 11, 4, ""},
        {-1, 6, 4, ""},     // before the tag
        {29, 6, 4, ""},     // a byte past its end
        {28, 6, 4, " 1073217536 "},
        {21, 9, 12, ""},
        {32, 1, 1, ""},
        {30, 10, 3, ""},    // a text running past the end
        {30, 10, -1, ""},
        {32, 10, 0, ""},    // an empty text at the very end
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeField(b.data(), b.size(), c.offset, c.type, c.length, words), c.want)
            << c.offset << " type " << c.type;

    // Texts: leading blanks cut, trailing kept, ended by the length or a NUL; code page 1251.
    const std::string text = std::string("  \t ab c  \0zz", 13) + Utf8ToCp1251("Ёж");
    Bytes t(text.begin(), text.end());
    EXPECT_EQ(DecodeField(t.data(), t.size(), 0, 10, 11, words), "ab c  ");
    EXPECT_EQ(DecodeField(t.data(), t.size(), 0, 10, 6, words), "ab");
    EXPECT_EQ(DecodeField(t.data(), t.size(), 13, 10, 2, words), "Ёж");
    EXPECT_EQ(DecodeField(t.data(), t.size(), 0, 10, 2, words), "");
    TimeWords russian{"дней", "секунд"};
    EXPECT_EQ(DecodeField(b.data(), b.size(), 20, 9, 12, russian), " дней: 3 секунд: 1.500000");
}

// The English dictionary as the dialog loads it.
struct Dictionary {
    CTagTree tree;
    CTagDictionaryIndex index;
    Dictionary()
    {
        tree.Load(TagDictionaryResource(false));
        index.Build(tree);
    }
};

std::vector<std::string> Parameters(const std::vector<ParamRow>& rows)
{
    std::vector<std::string> out;
    for (const ParamRow& r : rows)
        out.push_back(r.parameter);
    return out;
}

TEST(TagParams, RowsFollowTheDictionary)
{
    Dictionary d;
    EXPECT_EQ(d.index.Size(), 6u);
    EXPECT_EQ(TagListLabel(d.index.Find(303), 303), "LogicalCoord");
    EXPECT_EQ(TagListLabel(d.index.Find(307), 307), "Product Type");
    EXPECT_EQ(TagListLabel(d.index.Find(308), 308), "308");
    EXPECT_EQ(d.index.Find(304), nullptr);

    Bytes tag303;
    for (std::int32_t v : {24, 1, 640, 480, -16, 32})
        Put(tag303, tag303.size(), v);
    const std::vector<ParamRow> rows = BuildParamRows(d.index.Find(303), tag303.data(), tag303.size(), {});
    EXPECT_EQ(Parameters(rows), (std::vector<std::string>{"Tag Lenght", "Copy Flag", "Frame Width", "Frame Height",
                                                          "Horizontal Offset", "Vertical Offset"}));
    std::vector<std::string> values;
    for (const ParamRow& r : rows)
        values.push_back(r.value);
    EXPECT_EQ(values, (std::vector<std::string>{" 24 ", " 1 ", " 640 ", " 480 ", " -16 ", " 32 "}));

    // Groups: a heading, then their fields indented by five spaces.
    Bytes tag301(72, 0);
    const std::vector<ParamRow> corners = BuildParamRows(d.index.Find(301), tag301.data(), tag301.size(), {});
    ASSERT_EQ(corners.size(), 14u);
    EXPECT_EQ(corners[2].parameter, "Left Up Corner");
    EXPECT_TRUE(corners[2].heading);
    EXPECT_EQ(corners[2].value, "");
    EXPECT_EQ(corners[3].parameter, "     Latitude");
    EXPECT_EQ(corners[4].parameter, "     Longitude");
    EXPECT_EQ(corners[4].value, " 0.000000 ");
    EXPECT_EQ(corners[11].parameter, "Right Bottom Corner");

    // The leader tag is far longer than a short copy: its fields past the copy stay empty.
    Bytes shortLeader(800, 'x');
    Put<std::int32_t>(shortLeader, 0, 800);
    const std::vector<ParamRow> leader = BuildParamRows(d.index.Find(300), shortLeader.data(), shortLeader.size(), {});
    ASSERT_EQ(leader.size(), 90u);
    EXPECT_EQ(leader[0].value, " 800 ");
    EXPECT_EQ(leader[2].parameter, "Scene identifier");
    EXPECT_EQ(leader[2].value, std::string(16, 'x'));
    EXPECT_EQ(leader[3].value, std::string(32, 'x'));  // 764 + 32 ends inside
    EXPECT_EQ(leader[4].value, "");                    // 796 + 32 does not
    EXPECT_EQ(leader[89].value, "");
}

TEST(TagParams, NodesOfAnyShapeMakeRowsWithoutReadingOutside)
{
    CTagTree tree;
    // A field without all three leaves, a leaf triple straight under the tag, a field
    // named like a leaf, repeated leaves, a group of groups.
    tree.Load("Tags\n\t9\tnine\n\t\tLength\t4\n\t\tType\t6\n\t\tOffset\t0\n\t\thalf\tno type\n\t\t\tLength\t4\n"
              "\t\tLength\tnamed\n\t\t\tLength\t2\n\t\t\tType\t3\n\t\t\tOffset\t2\n\t\t\tType\t1\n"
              "\t\tg\tgroup\n\t\t\th\tinner\n\t\t\t\tf\tdeep\n\t\t\t\t\tLength\t1\n\t\t\t\t\tType\t1\n"
              "\t\t\t\t\tOffset\t99999999999999999999\n");
    CTagDictionaryIndex index;
    index.Build(tree);
    Bytes tag;
    Put<std::int32_t>(tag, 0, 0x00050004);
    const std::vector<ParamRow> rows = BuildParamRows(index.Find(9), tag.data(), tag.size(), {});
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].parameter, "nine");
    EXPECT_EQ(rows[0].value, " 327684 ");
    EXPECT_EQ(rows[1].parameter, "named");
    EXPECT_EQ(rows[1].value, " 5 ");
    EXPECT_EQ(rows[2].parameter, "group");
    EXPECT_TRUE(rows[2].heading);
    EXPECT_EQ(rows[3].parameter, "     inner");
    EXPECT_TRUE(rows[3].heading);
    EXPECT_EQ(rows[4].parameter, "          deep");
    EXPECT_EQ(rows[4].value, "");
    EXPECT_TRUE(BuildParamRows(nullptr, tag.data(), tag.size(), {}).empty());
    EXPECT_EQ(TagListLabel(index.Find(9), 9), "NoName 9");
}

TEST(TagParams, ListingEndsAtTheCountOrARepeatedNumber)
{
    struct Case {
        const char* name;
        std::map<int, int> next;
        int count;
        std::vector<int> listed;
    };
    const Case cases[] = {
        {"a chain", {{0, 1}, {1, 2}, {2, 301}, {301, 0}}, 4, {1, 2, 301}},
        {"a loop", {{0, 1}, {1, 2}, {2, 1}}, 50, {1, 2}},
        {"back to 0", {{0, 1}, {1, 0}}, 50, {1}},
        {"more than counted", {{0, 1}, {1, 2}, {2, 3}, {3, 4}}, 2, {1, 2}},
        {"a broken chain", {{0, 1}, {1, 2}}, 0, {}},
        {"negative numbers", {{0, -5}, {-5, 7}}, 3, {-5, 7}},
    };
    for (const Case& c : cases) {
        TagSource source;
        source.nextTag = [&](int t) {
            const auto it = c.next.find(t);
            return it == c.next.end() ? 0 : it->second;
        };
        source.numTag = [&] { return c.count; };
        source.readTag = [](int) { return Bytes(); };
        EXPECT_EQ(ListLayerTags(source), c.listed) << c.name;
    }
}

}  // namespace
