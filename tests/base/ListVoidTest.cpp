#include <gtest/gtest.h>

#include <vector>

#include "util/ListVoid.h"

namespace {

int g_items[8];
void* Item(int i)
{
    return &g_items[i];
}

std::vector<void*> Contents(const CListVoid& list)
{
    std::vector<void*> out;
    for (int i = 0; void* p = list.GetElementAddress(i); ++i)
        out.push_back(p);
    return out;
}

int IsKey(void* data, void* key, int)
{
    return data == key ? 1 : 0;
}

}  // namespace

TEST(ListVoid, EmptyListHasNothing)
{
    CListVoid list;
    EXPECT_EQ(list.GetElementAddress(0), nullptr);
    EXPECT_EQ(list.GetElementAddress(-1), nullptr);
    EXPECT_EQ(list.GetElementWithProperty(IsKey, nullptr, 0), nullptr);
    EXPECT_EQ(list.DeleteElement(Item(0)), 0);
    EXPECT_EQ(list.EndElement(), &list);
    EXPECT_EQ(list.Add(nullptr), 1);
    EXPECT_EQ(list.GetElementAddress(0), nullptr);
}

TEST(ListVoid, DeletedNodeMovesToTheEndAndIsReused)
{
    CListVoid list;
    for (int i : {0, 1, 2})
        ASSERT_EQ(list.Add(Item(i)), 0);
    ASSERT_EQ(list.DeleteElement(Item(1)), 1);
    CListVoid* spare = list.EndElement();
    ASSERT_EQ(list.Add(Item(3)), 0);
    EXPECT_EQ(list.EndElement(), spare);  // no node was allocated
    EXPECT_EQ(Contents(list), (std::vector<void*>{Item(0), Item(2), Item(3)}));
}

TEST(ListVoid, DeleteKeepsTheOrderOfTheOthers)
{
    struct Case {
        int deleted;
        int result;
        std::vector<int> left;
    };
    const Case cases[] = {
        {0, 1, {1, 2}},
        {1, 1, {0, 2}},
        {2, 1, {0, 1}},
        {5, 0, {0, 1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deleted);
        CListVoid list;
        for (int i : {0, 1, 2})
            list.Add(Item(i));
        EXPECT_EQ(list.DeleteElement(Item(c.deleted)), c.result);
        std::vector<void*> expected;
        for (int i : c.left)
            expected.push_back(Item(i));
        EXPECT_EQ(Contents(list), expected);
    }
}

TEST(ListVoid, DeletingEverythingLeavesAnEmptyReusableList)
{
    CListVoid list;
    for (int i : {0, 1, 2})
        list.Add(Item(i));
    for (int i : {1, 0, 2})
        EXPECT_EQ(list.DeleteElement(Item(i)), 1);
    EXPECT_TRUE(Contents(list).empty());
    EXPECT_EQ(list.GetElementWithProperty(IsKey, Item(0), 0), nullptr);
    list.Add(Item(4));
    EXPECT_EQ(Contents(list), std::vector<void*>{Item(4)});
}

TEST(ListVoid, PropertySearchGoesInChainOrderAndSeesEmptiedNodes)
{
    CListVoid list;
    for (int i : {0, 1, 2})
        list.Add(Item(i));
    list.DeleteElement(Item(2));
    EXPECT_EQ(list.GetElementWithProperty(IsKey, Item(1), 0), Item(1));
    EXPECT_EQ(list.GetElementWithProperty(IsKey, Item(2), 0), nullptr);

    static std::vector<void*> seen;
    seen.clear();
    auto record = [](void* data, void*, int user) {
        seen.push_back(data);
        return user;
    };
    EXPECT_EQ(list.GetElementWithProperty(record, nullptr, 0), nullptr);
    EXPECT_EQ(seen, (std::vector<void*>{Item(0), Item(1), nullptr}));
    EXPECT_EQ(list.GetElementWithProperty(record, nullptr, 1), Item(0));
    EXPECT_EQ(list.GetElementWithProperty(nullptr, nullptr, 0), nullptr);
}

TEST(ListVoid, CopiesOwnTheirNodes)
{
    CListVoid list;
    for (int i : {0, 1, 2})
        list.Add(Item(i));
    {
        CListVoid copy(list);
        copy.DeleteElement(Item(0));
        CListVoid assigned;
        assigned.Add(Item(5));
        assigned = list;
        assigned.Add(Item(3));
        EXPECT_EQ(Contents(copy), (std::vector<void*>{Item(1), Item(2)}));
        EXPECT_EQ(Contents(assigned), (std::vector<void*>{Item(0), Item(1), Item(2), Item(3)}));
    }
    EXPECT_EQ(Contents(list), (std::vector<void*>{Item(0), Item(1), Item(2)}));
}

// Made from a pointer to a list, a list holds that list's data, not the pointer.
TEST(ListVoid, MadeFromAListPointer)
{
    CListVoid list;
    for (int i : {0, 1, 2})
        list.Add(Item(i));
    CListVoid* source = &list;
    {
        CListVoid copy(source);
        EXPECT_EQ(Contents(copy), (std::vector<void*>{Item(0), Item(1), Item(2)}));
        copy.DeleteElement(Item(1));
        copy.Add(Item(4));
        EXPECT_EQ(Contents(copy), (std::vector<void*>{Item(0), Item(2), Item(4)}));
    }
    EXPECT_EQ(Contents(list), (std::vector<void*>{Item(0), Item(1), Item(2)}));
    CListVoid none(static_cast<CListVoid*>(nullptr));
    EXPECT_EQ(none.GetElementAddress(0), nullptr);
    CListVoid empty(nullptr);
    EXPECT_EQ(empty.GetElementAddress(0), nullptr);
}
