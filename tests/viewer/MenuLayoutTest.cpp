#include <gtest/gtest.h>

#include <string>

#include "bars/MenuLayout.h"

namespace {

using namespace bars;

TEST(MenuLayout, ItemSizes)
{
    struct Case {
        int code;
        bool empty;
        Size text, image, expected;
    } cases[] = {
        {kSeparator, true, {0, 0}, {16, 15}, {10, 6}},
        {kSeparator, false, {50, 13}, {16, 15}, {10, 6}},
        {34777, true, {0, 13}, {16, 15}, {100, 20}},
        {34777, false, {50, 13}, {16, 15}, {50 + 17 + 20, 20}},  // image height + 5 wins
        {34777, false, {50, 24}, {16, 15}, {50 + 17 + 24, 24}},  // text height wins
        {34777, false, {50, 13}, {30, 15}, {50 + 17 + 30, 20}},  // a wide image
        {kSubmenuTitle, false, {40, 13}, {20, 20}, {40 + 17 + 25, 25}},
        {kMenuBarTitle, false, {33, 14}, {16, 15}, {33, 14}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MeasureMenuItem(c.code, c.empty, c.text, c.image), c.expected) << c.code << " " << c.text.cx;
}

TEST(MenuLayout, ItemGeometryAndTextBox)
{
    // A popup item at x 0: image box square, text area one pixel right of it.
    MenuItemGeometry g = MenuItemLayout({0, 40, 120, 60});
    EXPECT_EQ(g.imageBox, (Box{0, 40, 20, 60}));
    EXPECT_EQ(g.textArea, (Box{21, 40, 120, 60}));
    // An item that does not start at 0 counts its left edge twice.
    g = MenuItemLayout({5, 0, 100, 20});
    EXPECT_EQ(g.imageBox, (Box{5, 0, 25, 20}));
    EXPECT_EQ(g.textArea.left, 5 + 25 + 1);

    EXPECT_EQ(MenuTextBox({21, 40, 120, 60}, 14), (Box{23, 43, 105, 60}));
    EXPECT_EQ(SplitAtTab("&Open\tCtrl+O"), std::make_pair(std::string("&Open"), std::string("Ctrl+O")));
    EXPECT_EQ(SplitAtTab("a\tb\tc"), std::make_pair(std::string("a"), std::string("b\tc")));
    EXPECT_EQ(SplitAtTab("plain"), std::make_pair(std::string("plain"), std::string()));
}

TEST(MenuLayout, ItemRecords)
{
    const auto find = [](int id) { return id == 34777 ? 3 : -1; };
    struct Case {
        int code;
        int image;
    } cases[] = {{34777, 3},
                 {34999, -1},
                 {kSubmenuTitle, kSubmenuTitle},
                 {kSeparator, kSeparator},
                 {kMenuBarTitle, kMenuBarTitle}};
    for (const Case& c : cases) {
        const MenuItemRecord r = MakeMenuItem("&Open", c.code, find);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.image, c.image) << c.code;
        EXPECT_STREQ(r.text, "&Open");
    }
    // At most 127 bytes are kept, and a cut never splits a character.
    const std::string longText(200, 'x');
    EXPECT_EQ(std::string(MakeMenuItem(longText.c_str(), 1, find).text), std::string(127, 'x'));
    const std::string cyrillic = std::string(126, 'x') + "\xD0\x96"
                                                         "tail";  // the letter straddles byte 127
    EXPECT_EQ(std::string(MakeMenuItem(cyrillic.c_str(), 1, find).text), std::string(126, 'x'));
    EXPECT_STREQ(MakeMenuItem(nullptr, kSeparator, find).text, "");
}

TEST(MenuLayout, LettersPickTheLowestMarkedItem)
{
    const std::vector<const char*> texts = {"&Open", nullptr, "&Close", "Sa&ve", "&others", "No mark", "Trailing&"};
    struct Case {
        unsigned ch;
        int position;
    } cases[] = {
        {'o', 4},                                   // "&Open" and "&others": the lower one
        {'O', 4},  {'c', 2},  {'v', 3}, {'s', -1},  // "Sa&ve" marks v, not s
        {'n', -1}, {'z', -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MenuCharMatch(texts, c.ch), c.position) << char(c.ch);
    EXPECT_EQ(MenuCharMatch({}, 'a'), -1);
}

TEST(MenuLayout, ToolBarImageOffsetsAndButtonLooks)
{
    EXPECT_EQ(ToolBarImageOffsets({23, 21}, {16, 15}, false, 2), (Size{3, 3}));
    EXPECT_EQ(ToolBarImageOffsets({23, 40}, {16, 15}, true, 2), (Size{3, 2}));

    struct Case {
        bool pressed, hot, enabled;
        bool light;
        ButtonFrame frame;
        bool inner;
        int shift;
    } cases[] = {
        {false, false, true, false, ButtonFrame::Face, false, 0},
        {false, true, true, false, ButtonFrame::Raised, false, 0},
        {false, true, false, false, ButtonFrame::None, false, 0},
        {false, false, false, false, ButtonFrame::None, false, 0},
        {true, false, true, true, ButtonFrame::Sunken, true, 1},
        {true, true, true, false, ButtonFrame::Sunken, false, 1},
        {true, false, false, true, ButtonFrame::Sunken, true, 1},
    };
    for (const Case& c : cases) {
        const ButtonLook look = ToolButtonLook(c.pressed, c.hot, c.enabled);
        SCOPED_TRACE(testing::Message() << c.pressed << c.hot << c.enabled);
        EXPECT_EQ(look.lightBackground, c.light);
        EXPECT_EQ(look.frame, c.frame);
        EXPECT_EQ(look.innerFaceFrame, c.inner);
        EXPECT_EQ(look.shift, c.shift);
    }
}

}  // namespace
