#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using Events = std::vector<std::pair<std::int32_t, TSParam>>;

// A list that notes the calls of its two slots.
class TLoggedList final : public TSObjectsList {
public:
    using TSObjectsList::TSObjectsList;
    std::vector<std::string> Calls;

    void SetCount(std::int32_t N) override
    {
        Calls.push_back("count " + std::to_string(N));
        TSObjectsList::SetCount(N);
    }
    void SetItem(std::int32_t Index, TObject* Item) override
    {
        Calls.push_back("item " + std::to_string(Index));
        TSObjectsList::SetItem(Index, Item);
    }
};

}  // namespace

TEST(SObjectsList, AddRemoveTable)
{
    TObject a, b, c;
    TObject* const objs[] = {&a, &b, &c};
    auto P = [&](char n) { return reinterpret_cast<TSParam>(objs[n - 'a']); };

    // +x adds x, -x removes x, +0/-0 pass nullptr.
    struct Case {
        const char* ops;
        Events events;
        const char* items;
    };
    const Case cases[] = {
        {"+a +b", {{6, P('a')}, {6, P('b')}}, "ab"},
        {"+a +a", {{6, P('a')}, {6, P('a')}}, "a"},
        {"+0 -0", {}, ""},
        {"+a -b", {{6, P('a')}, {7, P('b')}}, "a"},
        {"+a +b +c -b", {{6, P('a')}, {6, P('b')}, {6, P('c')}, {7, P('b')}}, "ac"},
        {"+a -a +a", {{6, P('a')}, {7, P('a')}, {6, P('a')}}, "a"},
        {"+c +b +a -c -a", {{6, P('c')}, {6, P('b')}, {6, P('a')}, {7, P('c')}, {7, P('a')}}, "b"},
    };
    for (const auto& c : cases) {
        EventLog log;  // outlives the list, which announces its end
        TSObjectsList list("test");
        list.Events.Add(log.Handler());
        std::string ops = c.ops;
        for (std::size_t i = 0; i < ops.size(); i += 3) {
            TObject* item = ops[i + 1] == '0' ? nullptr : objs[ops[i + 1] - 'a'];
            if (ops[i] == '+')
                list.Add(item);
            else
                list.Remove(item);
        }
        EXPECT_EQ(log.Codes(), c.events) << c.ops;
        std::string items;
        for (std::int32_t i = 0; i < list.Count(); ++i)
            items += static_cast<char>('a' + (std::find(std::begin(objs), std::end(objs), list.GetItem(i)) - objs));
        EXPECT_EQ(items, c.items) << c.ops;
        for (std::int32_t i = 0; i < list.Count(); ++i)
            EXPECT_EQ(list.IndexOf(list.GetItem(i)), i);
    }
}

TEST(SObjectsList, CountAndItemSlots)
{
    TObject a, b;
    TLoggedList list("slots");
    // Add and Remove change the list through the two slots.
    list.Add(&a);
    list.Add(&b);
    list.Add(&a);
    list.Remove(&a);
    EXPECT_EQ(list.Calls, (std::vector<std::string>{"count 1", "item 0", "count 2", "item 1", "count 1"}));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.GetItem(0), &b);

    struct Case {
        const char* what;
        std::function<void(TSObjectsList&)> act;
        std::vector<TObject*> items;
    };
    const Case cases[] = {
        {"grow with empty places", [](TSObjectsList& l) { l.SetCount(3); }, {&b, nullptr, nullptr}},
        {"negative count", [](TSObjectsList& l) { l.SetCount(-1); }, {&b}},
        {"count beyond the most", [](TSObjectsList& l) { l.SetCount(TSObjectsList::MaxCount + 1); }, {&b}},
        {"shrink to nothing", [](TSObjectsList& l) { l.SetCount(0); }, {}},
        {"item in range",
         [&](TSObjectsList& l) {
             l.SetCount(2);
             l.SetItem(1, &a);
         },
         {&b, &a}},
        {"item out of range",
         [&](TSObjectsList& l) {
             l.SetItem(-1, &a);
             l.SetItem(1, &a);
         },
         {&b}},
        {"item replaced by nil", [](TSObjectsList& l) { l.SetItem(0, nullptr); }, {nullptr}},
    };
    for (const auto& c : cases) {
        TSObjectsList l("table");
        l.Add(&b);
        c.act(l);
        std::vector<TObject*> items;
        for (std::int32_t i = 0; i < l.Count(); ++i)
            items.push_back(l.GetItem(i));
        EXPECT_EQ(items, c.items) << c.what;
        for (TObject* x : {&a, &b}) {
            const auto last = std::find(items.rbegin(), items.rend(), x);
            const std::int32_t at = last == items.rend() ? -1 : static_cast<std::int32_t>(items.rend() - last) - 1;
            EXPECT_EQ(l.IndexOf(x), at) << c.what;
        }
    }

    // What the slots put in or took out, Add and Remove see.
    TSObjectsList l("seen");
    l.SetCount(2);
    l.SetItem(1, &a);
    l.Add(&a);
    EXPECT_EQ(l.Count(), 2) << "a listed item is not added again";
    l.SetCount(1);
    l.Add(&a);
    EXPECT_EQ(l.Count(), 2) << "an item cut off may be added again";
    EXPECT_EQ(l.IndexOf(&a), 1);
    l.SetItem(1, nullptr);
    l.Add(&a);
    EXPECT_EQ(l.IndexOf(&a), 2);
    l.Remove(&a);
    EXPECT_EQ(l.Count(), 2);
    EXPECT_EQ(l.IndexOf(&a), -1);
}

TEST(SObjectsList, LookupsAndOwnership)
{
    auto* list = new TSObjectsList("Global List of STest");
    EXPECT_EQ(list->Name(), "Global List of STest");
    // Items belong to their creators; the list frees none of them.
    std::unique_ptr<TSObject> x(TSObject::Create<TSObject>());
    std::unique_ptr<TSObject> y(TSObject::Create<TSObject>());
    list->Add(x.get());
    list->Add(y.get());
    EXPECT_EQ(list->IndexOf(nullptr), -1);
    EXPECT_EQ(list->IndexOf(y.get()), 1);
    EXPECT_EQ(list->GetItem(-1), nullptr);
    EXPECT_EQ(list->GetItem(2), nullptr);

    EventLog log;
    list->Events.Add(log.Handler());
    delete list;
    EXPECT_EQ(log.Codes(), (Events{{ecDestroying, 0}}));
    EXPECT_FALSE(x->IsDestroying());
}

TEST(SObjectsList, ListsRegisterThemselves)
{
    TSObjectsList* lists = GlobalObjectsLists();
    ASSERT_NE(lists, nullptr);
    EXPECT_EQ(lists->Name(), "Global List of SObjectsList");
    EXPECT_EQ(lists->IndexOf(lists), -1);
    const std::int32_t before = lists->Count();
    auto* list = new TSObjectsList("mine");
    EXPECT_EQ(lists->Count(), before + 1);
    EXPECT_EQ(lists->GetItem(lists->IndexOf(list)), list);
    delete list;
    EXPECT_EQ(lists->Count(), before);
    EXPECT_EQ(lists->IndexOf(list), -1);
}

TEST(SObjectsList, FullListRefusesAndKeepsItsItems)
{
    EventLog log;
    TSObjectsList list("big");
    // The list never looks at what it holds, so distinct addresses will do.
    auto fake = [](std::int64_t i) { return reinterpret_cast<TObject*>(static_cast<std::uintptr_t>(16 * (i + 1))); };
    for (std::int64_t i = 0; i < TSObjectsList::MaxCount; ++i)
        list.Add(fake(i));
    ASSERT_EQ(list.Count(), TSObjectsList::MaxCount);

    list.Events.Add(log.Handler());
    try {
        list.Add(fake(TSObjectsList::MaxCount));
        ADD_FAILURE() << "a full list grew";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(std::string(e.what()), "big: List is full");
    }
    EXPECT_TRUE(log.Entries.empty());
    EXPECT_EQ(list.Count(), TSObjectsList::MaxCount);
    EXPECT_EQ(list.GetItem(TSObjectsList::MaxCount - 1), fake(TSObjectsList::MaxCount - 1));
    EXPECT_EQ(list.IndexOf(fake(TSObjectsList::MaxCount)), -1);

    // What is listed already may be added again; a freed place takes a new item.
    list.Add(fake(5));
    list.Remove(fake(0));
    list.Add(fake(TSObjectsList::MaxCount));
    EXPECT_EQ(list.IndexOf(fake(TSObjectsList::MaxCount)), TSObjectsList::MaxCount - 1);
}

TEST(SObjectsList, ConcurrentRegistration)
{
    TSObjectsList list("shared");
    constexpr int kThreads = 4, kEach = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&list] {
            std::vector<std::unique_ptr<TSObject>> mine;
            for (int i = 0; i < kEach; ++i) {
                mine.emplace_back(TSObject::Create<TSObject>());
                list.Add(mine.back().get());
            }
            for (auto& o : mine)
                list.Remove(o.get());
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(list.Count(), 0);
}
