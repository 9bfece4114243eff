// The tag tree without a window: tab-indented load and store, pre-order walks, copies,
// deletion and search; the embedded dictionary and field-description resources.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "TempDir.h"
#include "tags/Cp1251.h"
#include "tags/FieldDescriptions.h"
#include "tags/TagResources.h"
#include "tags/TagTree.h"

namespace {

// Every item in pre-order as "level:text=data".
std::vector<std::string> Items(const CTagTree& tree)
{
    std::vector<std::string> out;
    for (TagItem n = tree.GetRootItem(); n; n = CTagTree::GetNextItemPreorder(n))
        out.push_back(std::to_string(CTagTree::GetItemLevel(n)) + ":" + n->text + "=" + *n->data);
    return out;
}

TagItem Child(const CTagTree& tree, TagItem parent, int index)
{
    TagItem c = tree.GetChildItem(parent);
    while (c && index-- > 0)
        c = tree.GetNextSiblingItem(c);
    return c;
}

TEST(TagTree, LoadsRelativeDepthsAndStoresTheTreeBack)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> items;
        std::string stored;  // what Store writes back
    };
    const Case cases[] = {
        {"three lines",
         "Tags\t\r\n\t301\tdescription\r\n\t\tName\tWinGeoCoord\r\n",
         {"0:Tags=", "1:301=description", "2:Name=WinGeoCoord"},
         "Tags\t\r\n\t301\tdescription\r\n\t\tName\tWinGeoCoord\r\n"},
        {"first line indented",
         "\tTags\t\r\n\t\t301\tdescription\r\n\t\t\tName\tWinGeoCoord\r\n",
         {"0:Tags=", "1:301=description", "2:Name=WinGeoCoord"},
         "Tags\t\r\n\t301\tdescription\r\n\t\tName\tWinGeoCoord\r\n"},
        {"three levels deeper",
         "a\tx\r\n\t\t\tb\ty\r\n\tc\tz\r\n",
         {"0:a=x", "1:b=y", "1:c=z"},
         "a\tx\r\n\tb\ty\r\n\tc\tz\r\n"},
        {"shallower than the first",
         "\t\ta\t1\n\t\t\tb\t2\nc\t3\n\td\t4\n",
         {"0:a=1", "1:b=2", "0:c=3", "0:d=4"},
         "a\t1\r\n\tb\t2\r\nc\t3\r\nd\t4\r\n"},
        {"LF only, no TAB, empty lines",
         "root\n\n\tleaf\n\r\n\tother\tdata\twith tab\n",
         {"0:root=", "1:leaf=", "1:other=data\twith tab"},
         "root\t\r\n\tleaf\t\r\n\tother\tdata\twith tab\r\n"},
        {"no end of line at the end", "a\tb", {"0:a=b"}, "a\tb\r\n"},
        {"nothing", "\r\n\n", {}, ""},
    };
    for (const Case& c : cases) {
        CTagTree tree;
        tree.Load(c.text);
        EXPECT_EQ(Items(tree), c.items) << c.name;
        EXPECT_EQ(tree.GetCount(), c.items.size()) << c.name;
        EXPECT_EQ(tree.Store(), c.stored) << c.name;
    }
}

TEST(TagTree, ResourcesHaveTheirSizesAndTheDictionaryRoundTrips)
{
    const std::string& english = TagDictionaryResource(false);
    const std::string& russian = TagDictionaryResource(true);
    EXPECT_EQ(english.size(), 10484u);
    EXPECT_EQ(russian.size(), 10602u);
    EXPECT_EQ(FieldDescriptionsResource().size(), 2214u);
    for (const std::string* bytes : {&english, &russian}) {
        CTagTree tree;
        tree.Load(*bytes);
        EXPECT_EQ(tree.Store(), *bytes);
        TagItem root = tree.GetRootItem();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->text, "Tags");
        std::vector<std::string> tags;
        for (TagItem t = tree.GetChildItem(root); t; t = tree.GetNextSiblingItem(t))
            tags.push_back(t->text);
        EXPECT_EQ(tags, (std::vector<std::string>{"301", "302", "303", "307", "305", "300"}));
        EXPECT_EQ(tree.GetNextSiblingItem(root), nullptr);
    }
    EXPECT_EQ(english.rfind("Tags\t\r\n\t301\tWindow Geo Coordinates\r\n\t\tName\tWinGeoCoord\r\n", 0), 0u);
}

// Python's own code page 1251 codec reads the Russian dictionary's texts.
TEST(TagTree, RussianTextsAreCodePage1251)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("ru.tfd");
    std::ofstream(path, std::ios::binary) << TagDictionaryResource(true);
    const auto run = testsupport::RunCommand(
        "/usr/bin/python3 -c \"import sys; t=open(sys.argv[1],'rb').read().decode('cp1251'); "
        "l=[x for x in t.split('\\r\\n') if x.startswith('\\t303') or x.startswith('\\t\\tCaption')]; "
        "sys.stdout.buffer.write('\\n'.join(l[:3]).encode('utf-8'))\" " +
        path);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output,
              "\t\tCaption\tГеографические координаты окна\n"
              "\t\tCaption\tГеографические координаты кадра\n"
              "\t303\tЛогические координаты окна и размеры снимка");
    EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251("Длина всего тега")), "Длина всего тега");
    EXPECT_EQ(Utf8ToCp1251("Тип").size(), 3u);
}

TEST(TagTree, WalksInPreOrderBothWays)
{
    CTagTree tree;
    tree.Load("a\n\tb\n\t\tc\n\td\ne\n\tf\n\t\tg\n");
    std::vector<std::string> down, up;
    for (TagItem n = tree.GetRootItem(); n; n = CTagTree::GetNextItemPreorder(n))
        down.push_back(n->text);
    for (TagItem n = tree.GetLastItem(nullptr); n; n = tree.GetPrevItemPreorder(n))
        up.push_back(n->text);
    EXPECT_EQ(down, (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_EQ(up, (std::vector<std::string>{"g", "f", "e", "d", "c", "b", "a"}));
    TagItem a = tree.GetRootItem();
    EXPECT_EQ(tree.GetLastItem(a)->text, "d");
    EXPECT_EQ(tree.GetLastItem(Child(tree, a, 1))->text, "d");  // a leaf is its own last item
    EXPECT_EQ(CTagTree::GetItemLevel(Child(tree, Child(tree, a, 0), 0)), 2);
    EXPECT_EQ(tree.GetLastItem(nullptr)->text, "g");
    CTagTree empty;
    EXPECT_EQ(empty.GetLastItem(nullptr), nullptr);
}

TEST(TagTree, FindItemAsATable)
{
    CTagTree tree;
    // 0 Tags, 1 Alpha beta, 2 alpha_x, 3 the ALPHA, 4 betalpha, 5 alpha
    tree.Load("Tags\n\tAlpha beta\n\t\talpha_x\n\tthe ALPHA\n\t\tbetalpha\n\talpha\n");
    std::vector<TagItem> items;
    for (TagItem n = tree.GetRootItem(); n; n = CTagTree::GetNextItemPreorder(n))
        items.push_back(n);
    const auto index = [&](TagItem n) {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == n)
                return int(i);
        return -1;
    };
    struct Case {
        const char* text;
        bool matchCase, down, wholeWord;
        int start;  // -1: none given
        int selected;  // -1: nothing selected
        int found;     // -1: null
    };
    const Case cases[] = {
        {"alpha", false, true, false, 0, -1, 1},    // any case, after the start
        {"alpha", true, true, false, 0, -1, 2},     // case: "Alpha" passed over
        {"ALPHA", true, true, false, 0, -1, 3},
        {"alpha", false, true, true, 1, -1, 3},     // "alpha_x" is no whole word
        {"alpha", false, true, true, 3, -1, 5},     // nor is "betalpha"
        {"alpha", false, true, true, 5, -1, 1},     // wraps to the top
        {"alpha", false, false, true, 1, -1, 5},    // up, wrapping to the last item
        {"alpha", false, false, false, 3, -1, 2},   // up
        {"beta", false, true, true, 0, -1, 1},      // between blanks
        {"alpha", false, true, true, 5, 3, 1},      // a given start beats the selection
        {"alpha", false, true, false, -1, 3, 4},    // the selection is the start
        {"alpha", false, true, false, -1, -1, 1},   // no start: from the first root down
        {"alpha", false, false, false, -1, -1, 5},  // no start: from the last item up
        {"gamma", false, true, false, 2, -1, -1},   // no match: ends
        {"gamma", false, false, false, -1, -1, -1},
        {"Tags", true, true, false, 0, -1, -1},     // the start is never examined
        {"", false, true, false, 0, -1, -1},
    };
    for (const Case& c : cases) {
        tree.SelectItem(c.selected < 0 ? nullptr : items[size_t(c.selected)]);
        TagItem got = tree.FindItem(c.text, c.matchCase, c.down, c.wholeWord,
                                    c.start < 0 ? nullptr : items[size_t(c.start)]);
        EXPECT_EQ(index(got), c.found) << c.text << " from " << c.start << (c.down ? " down" : " up");
    }
    // Code page 1251 letters compare in either case and make no word boundary.
    CTagTree ru;
    ru.Load(Utf8ToCp1251("a\n\tШИРОТА\n\tширотаx\n"));
    EXPECT_EQ(ru.FindItem(Utf8ToCp1251("широта"), false, true, true, nullptr), Child(ru, ru.GetRootItem(), 0));
    EXPECT_EQ(ru.FindItem(Utf8ToCp1251("широта"), true, true, false, nullptr), Child(ru, ru.GetRootItem(), 1));
    EXPECT_EQ(ru.FindItem(Utf8ToCp1251("ШИРОТ"), false, true, true, nullptr), nullptr);
}

// A finder that may not answer some items.
class PickyTree final : public CTagTree {
public:
    bool IsFindValid(TagItem item) override { return item->text != "skip me"; }
};

TEST(TagTree, FindItemPassesOverItemsItMayNotAnswer)
{
    PickyTree tree;
    tree.Load("root\n\tskip me\n\tme too\n");
    EXPECT_EQ(tree.FindItem("me", false, true, false, nullptr)->text, "me too");
}

TEST(TagTree, CopiesShareTheDataThatOutlivesTheSource)
{
    CTagTree tree;
    tree.Load("a\tA\n\tb\tB\n\t\tc\tC\n\td\tD\nz\tZ\n");
    TagItem a = tree.GetRootItem(), b = Child(tree, a, 0), z = tree.GetNextSiblingItem(a);
    TagItem copy = tree.CopyBranch(b, z, kTagLast);
    EXPECT_EQ(Items(tree), (std::vector<std::string>{"0:a=A", "1:b=B", "2:c=C", "1:d=D", "0:z=Z", "1:b=B", "2:c=C"}));
    EXPECT_EQ(CTagTree::GetItemData(copy).get(), CTagTree::GetItemData(b).get());
    const TagData kept = CTagTree::GetItemData(Child(tree, copy, 0));
    tree.DeleteItem(a);
    EXPECT_EQ(Items(tree), (std::vector<std::string>{"0:z=Z", "1:b=B", "2:c=C"}));
    EXPECT_EQ(*CTagTree::GetItemData(Child(tree, copy, 0)), "C");  // still alive
    EXPECT_EQ(kept.use_count(), 2);
    EXPECT_EQ(tree.GetCount(), 3u);

    // Into its own branch: what was there before, once.
    tree.CopyBranch(copy, Child(tree, copy, 0), kTagFirst);
    EXPECT_EQ(Items(tree),
              (std::vector<std::string>{"0:z=Z", "1:b=B", "2:c=C", "3:b=B", "4:c=C"}));
    // Deleting the selected item leaves no selection.
    tree.SelectItem(Child(tree, copy, 0));
    tree.DeleteItem(copy);
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    tree.DeleteAllItems();
    EXPECT_EQ(tree.GetCount(), 0u);
    EXPECT_EQ(tree.GetRootItem(), nullptr);
}

// Walks, copies, deletion and the end of a tree far deeper than a stack could recurse.
TEST(TagTree, AVeryDeepTreeNeedsNoStack)
{
    constexpr int kDepth = 100000;
    auto tree = std::make_unique<CTagTree>();
    TagItem deepest = nullptr;
    for (int i = 0; i < kDepth; ++i)
        deepest = tree->InsertItem("n", nullptr, deepest);
    TagItem root = tree->GetRootItem();
    EXPECT_EQ(tree->GetLastItem(nullptr), deepest);
    EXPECT_EQ(CTagTree::GetItemLevel(deepest), kDepth - 1);
    TagItem copy = tree->CopyBranch(root, nullptr, kTagLast);
    EXPECT_EQ(tree->GetCount(), size_t(2 * kDepth));
    EXPECT_EQ(tree->FindItem("absent", false, true, false, root), nullptr);
    tree->DeleteItem(copy);
    EXPECT_EQ(tree->GetCount(), size_t(kDepth));
    tree.reset();

    // Store and load of a deep chain (each line needs its depth in TABs).
    CTagTree chain;
    TagItem at = nullptr;
    for (int i = 0; i < 3000; ++i)
        at = chain.InsertItem("x", std::make_shared<const std::string>("y"), at);
    const std::string text = chain.Store();
    CTagTree back;
    back.Load(text);
    EXPECT_EQ(back.GetCount(), 3000u);
    EXPECT_EQ(back.Store(), text);
}

TEST(FieldDescriptions, TheResourceIndexesItsFiveRecords)
{
    CFieldDescriptions index;
    ASSERT_TRUE(index.Index(FieldDescriptionsResource()));
    struct Row {
        size_t start;
        std::uint32_t size, tag;
        size_t fields;
    };
    const Row rows[] = {{8, 411, 301, 10}, {419, 413, 302, 10}, {832, 240, 303, 6}, {1072, 146, 307, 5},
                        {1218, 996, 305, 30}};
    ASSERT_EQ(index.Records().size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const SntdRecord& r = index.Records()[i];
        EXPECT_EQ(r.start, rows[i].start) << i;
        EXPECT_EQ(r.size, rows[i].size) << i;
        EXPECT_EQ(r.tag, rows[i].tag) << i;
        EXPECT_EQ(r.fields.size(), rows[i].fields) << i;
    }
    const SntdRecord* common = index.Find(305);
    ASSERT_NE(common, nullptr);
    EXPECT_EQ(Cp1251ToUtf8(common->name), "Общие параметры");
    EXPECT_EQ(common->fields[10].name, "SRGR coefficients");
    EXPECT_EQ(common->fields[10].offset, 76u);
    EXPECT_EQ(common->fields[10].size, 48u);
    EXPECT_EQ(common->fields[29].offset, 256u);
    EXPECT_EQ(Cp1251ToUtf8(index.Find(307)->fields[2].name), "платформа");
}

TEST(FieldDescriptions, UnsoundBytesLeaveTheResourceUnused)
{
    const std::string good = FieldDescriptionsResource();
    const auto put = [](std::string s, size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
        return s;
    };
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"wrong magic", "SNTX" + good.substr(4)},
        {"short header", good.substr(0, 7)},
        {"cut in a record", good.substr(0, 1000)},
        {"one record more than there are", put(good, 4, 6)},
        {"a huge count", put(good, 4, 0xFFFFFFFFu)},
        {"record size below its head", put(good, 8, 12)},
        {"record size beyond the bytes", put(good, 1218, 997)},
        {"record name beyond the record", put(good, 16, 500)},
        {"record name without its NUL", put(good, 16, 30)},
        {"more fields than the record holds", put(good, 8 + 12 + 31, 11)},
        {"field name of length 0", put(good, 8 + 12 + 31 + 4, 0)},
    };
    for (const Case& c : cases) {
        CFieldDescriptions index;
        EXPECT_FALSE(index.Index(c.bytes)) << c.name;
        EXPECT_FALSE(index.Parsed()) << c.name;
        EXPECT_TRUE(index.Records().empty()) << c.name;
    }
    CFieldDescriptions none;
    EXPECT_TRUE(none.Index(std::string("SNTD\0\0\0\0", 8)));
    EXPECT_TRUE(none.Records().empty());
}

}  // namespace
