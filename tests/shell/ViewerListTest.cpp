#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "HoverWatch.h"
#include "ViewerList.h"

TEST(ViewerListTest, NoticesKeepTheListOfOpenViewers)
{
    using V = CViewerList::Viewer;
    struct Case {
        const char* name;
        std::vector<std::pair<V, long>> notices;  // viewer, code
        std::vector<V> list;
    } const cases[] = {
        {"created in order", {{10, 5}, {20, 5}, {30, 5}}, {10, 20, 30}},
        {"closed leaves", {{10, 5}, {20, 5}, {10, 1}}, {20}},
        {"unknown close ignored", {{10, 5}, {99, 1}}, {10}},
        {"ready and failed ignored", {{10, 5}, {10, 2}, {10, 3}, {10, 4}}, {10}},
        {"first equal entry only", {{10, 5}, {20, 5}, {10, 5}, {10, 1}}, {20, 10}},
        {"second close of the same viewer ignored", {{10, 5}, {10, 1}, {10, 1}}, {}},
    };
    for (const Case& c : cases) {
        CViewerList list;
        for (const auto& [viewer, code] : c.notices)
            list.Notify(viewer, code);
        EXPECT_EQ(list.Viewers(), c.list) << c.name;
    }
}

TEST(HoverWatchTest, TheRecordedControlIsToldWhenTheMouseLeaves)
{
    CHoverWatch watch;
    EXPECT_EQ(watch.Hover(1), 0u);     // nobody before
    EXPECT_EQ(watch.Hover(1), 0u);     // the same control again is not told to leave
    EXPECT_EQ(watch.Hover(2), 1u);     // the previous control is told
    EXPECT_EQ(watch.Check(true), 0u);  // cursor still inside
    EXPECT_EQ(watch.Recorded(), 2u);
    EXPECT_EQ(watch.Check(false), 2u);  // outside: told and forgotten
    EXPECT_EQ(watch.Recorded(), 0u);
    EXPECT_EQ(watch.Check(false), 0u);
}
