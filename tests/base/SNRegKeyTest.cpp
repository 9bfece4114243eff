#include <gtest/gtest.h>

#include <cstring>

#include "ScopedEnvFolder.h"
#include "settings/SNRegKey.h"

namespace {

constexpr const char* kGeneral = "SOFTWARE\\Tolvek\\Quorvex\\Settings\\General";

class SNRegKeyTest : public ::testing::Test {
protected:
    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
};

TEST_F(SNRegKeyTest, EachValueReadThroughEachGetter)
{
    CSNRegKey w;
    ASSERT_EQ(w.Create(HKEY_CURRENT_USER, kGeneral), 1);
    const DWORD number = 0x01020304;
    const unsigned char two[] = {1, 2};
    const unsigned char withNul[] = {'h', 'i', 0, 'x'};
    ASSERT_EQ(w.SetStringValue("abc", "String"), 1);
    ASSERT_EQ(w.SetStringValue("", "EmptyString"), 1);
    ASSERT_EQ(w.SetDWORDValue(&number, "Number"), 1);
    ASSERT_EQ(w.SetBinaryValue(two, 2, "Short"), 1);
    ASSERT_EQ(w.SetBinaryValue(nullptr, 0, "NoBytes"), 1);
    ASSERT_EQ(w.SetBinaryValue(withNul, 4, "WithNul"), 1);
    w.Close();

    // The getters do not check the stored type; what they hand back is always whole.
    struct Case {
        const char* name;
        std::string text;
        DWORD dword;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"String", "abc", 0x00636261, {'a', 'b', 'c', 0}},
        {"EmptyString", "", 0, {0}},
        {"Number", "\x04\x03\x02\x01", 0x01020304, {4, 3, 2, 1}},
        {"Short", "\x01\x02", 0x0201, {1, 2}},
        {"NoBytes", "", 0, {}},
        {"WithNul", "hi", 0x78006968, {'h', 'i', 0, 'x'}},
    };
    CSNRegKey r;
    ASSERT_EQ(r.Open(HKEY_CURRENT_USER, kGeneral), 1);
    for (const auto& c : cases) {
        std::string text = "old";
        EXPECT_EQ(r.GetStringValue(text, c.name), 1) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
        auto d = r.GetDWORDValue(c.name);
        ASSERT_NE(d, nullptr) << c.name;
        EXPECT_EQ(*d, c.dword) << c.name;
        size_t size = 99;
        auto b = r.GetBinaryValue(c.name, &size);
        ASSERT_NE(b, nullptr) << c.name;
        ASSERT_EQ(size, c.bytes.size()) << c.name;
        EXPECT_EQ(std::vector<unsigned char>(b.get(), b.get() + size), c.bytes) << c.name;
    }
}

TEST_F(SNRegKeyTest, MissingValuesAndKeysLeaveTheCallerAlone)
{
    CSNRegKey k;
    std::string text = "kept";
    EXPECT_EQ(k.GetStringValue(text, "HelpFile"), 0);  // nothing open
    EXPECT_EQ(k.Open(HKEY_CURRENT_USER, kGeneral), 0);
    EXPECT_EQ(k.Open(HKEY_CURRENT_USER, nullptr), 0);
    EXPECT_EQ(k.Create(HKEY_CURRENT_USER, nullptr), 0);
    ASSERT_EQ(k.Create(HKEY_CURRENT_USER, kGeneral), 1);
    EXPECT_EQ(k.GetStringValue(text, "HelpFile"), 0);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(k.GetStringValue(text, nullptr), 0);
    EXPECT_EQ(k.GetDWORDValue("HelpFile"), nullptr);
    EXPECT_EQ(k.GetBinaryValue("HelpFile"), nullptr);
    EXPECT_EQ(k.SetStringValue(nullptr, "A"), 0);
    EXPECT_EQ(k.SetStringValue("x", nullptr), 0);
    EXPECT_EQ(k.SetDWORDValue(nullptr, "A"), 0);
    EXPECT_EQ(k.SetBinaryValue("x", -1, "A"), 0);
    k.Close();
    EXPECT_EQ(k.SetStringValue("x", "A"), 0);
}

TEST_F(SNRegKeyTest, ReadKeysCannotWriteAndKeysReopen)
{
    {
        CSNRegKey w;
        ASSERT_EQ(w.Create(HKEY_CURRENT_USER, kGeneral), 1);
        ASSERT_EQ(w.SetStringValue("/data/work", "WorkDir"), 1);
    }
    CSNRegKey k;
    ASSERT_EQ(k.Open(HKEY_CURRENT_USER, kGeneral), 1);
    EXPECT_EQ(k.SetStringValue("/elsewhere", "WorkDir"), 0);
    // Opening an open object closes the old key first.
    ASSERT_EQ(k.Create(HKEY_CURRENT_USER, "SOFTWARE\\Tolvek\\Quorvex\\Settings\\Export\\RAW"), 1);
    EXPECT_EQ(k.SetStringValue("1", "Save Info"), 1);
    std::string text;
    EXPECT_EQ(k.GetStringValue(text, "WorkDir"), 0);
    ASSERT_EQ(k.Create(HKEY_CURRENT_USER, kGeneral), 1);  // an existing key keeps its values
    EXPECT_EQ(k.GetStringValue(text, "WorkDir"), 1);
    EXPECT_EQ(text, "/data/work");
}

}  // namespace
