#include <gtest/gtest.h>

#include "platform/resources/StringTable.h"

namespace {

const plat::StringEntry kLib[] = {{1, "lib one"}, {2, "lib two"}};
const plat::StringEntry kOther[] = {{3, "other three"}, {2, "other two"}};
const plat::StringEntry kHost[] = {{2, "host two"}};

TEST(StringTable, HostFirstThenAskingModuleThenOthers)
{
    plat::RegisterStrings("TestLib", kLib, 2);
    plat::RegisterStrings("TestOther", kOther, 2);

    struct Case {
        unsigned id;
        const char* module;
        const char* text;
        bool found;
    } cases[] = {
        {1, "TestLib", "lib one", true},     {2, "TestLib", "lib two", true}, {2, "TestOther", "other two", true},
        {3, "TestLib", "other three", true}, {9, "TestLib", "", false},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(plat::LoadString(c.id, c.module, &found), c.text) << c.id;
        EXPECT_EQ(found, c.found);
    }

    {
        plat::StringTableRegistration host("TestHost", kHost, true);
        EXPECT_EQ(plat::LoadString(2, "TestLib"), "host two");
        EXPECT_EQ(plat::LoadString(2, "TestOther"), "host two");
    }
    EXPECT_EQ(plat::LoadString(2, "TestLib"), "lib two");

    plat::UnregisterStrings(kLib);
    plat::UnregisterStrings(kOther);
    EXPECT_EQ(plat::LoadString(1, "TestLib"), "");
}

}  // namespace
