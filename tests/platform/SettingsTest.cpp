#include <gtest/gtest.h>

#include <QSettings>

#include <filesystem>
#include <fstream>

#include "ScopedEnvFolder.h"
#include "platform/resources/Settings.h"

namespace {

using plat::SettingsKey;
using plat::SettingsRoot;
using plat::SettingsType;

constexpr SettingsRoot kUser = SettingsRoot::CurrentUser;
constexpr const char* kGeneral = "SOFTWARE\\Tolvek\\Quorvex\\Settings\\General";

class SettingsStore : public ::testing::Test {
protected:
    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
};

TEST_F(SettingsStore, KeyPathNamesFileAndGroup)
{
    struct Case {
        const char* path;
        bool ok;
        const char* file;  // below the configuration folder
        const char* group;
    } cases[] = {
        {"SOFTWARE\\Tolvek\\Quorvex\\Settings\\General", true, "/Tolvek/Quorvex.ini", "Settings/General"},
        {"software\\Tolvek\\Quorvex", true, "/Tolvek/Quorvex.ini", ""},
        {"\\Settings\\General", true, "/Settings/General.ini", ""},
        {"SOFTWARE/Tolvek//Quorvex/Settings/Export\\TIFF\\", true, "/Tolvek/Quorvex.ini", "Settings/Export/TIFF"},
        {"SOFTWARE\\Tolvek", false, "", ""},
        {"", false, "", ""},
        {"SOFTWARE\\Tolvek\\..\\x", false, "", ""},
        {"Tolvek\\.\\x", false, "", ""},
    };
    for (const auto& c : cases) {
        std::string file, group;
        ASSERT_EQ(SettingsKey::Locate(c.path, file, group), c.ok) << c.path;
        if (c.ok) {
            EXPECT_EQ(file, m_config.Path() + c.file) << c.path;
            EXPECT_EQ(group, c.group) << c.path;
        }
    }
}

TEST_F(SettingsStore, ConfigurationFolderFollowsXdgElseHome)
{
    EXPECT_EQ(SettingsKey::Folder(), m_config.Path());
    ScopedEnvFolder home("HOME");
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    std::string keep = saved ? saved : "";
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsKey::Folder(), home.Path() + "/.config");
    setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
}

TEST_F(SettingsStore, EachTypeRoundTripsThroughTheFile)
{
    SettingsKey w;
    ASSERT_TRUE(w.Create(kUser, kGeneral));
    const std::string text = "Привет, a=b; \"quoted\" \\ back  ";
    const unsigned char blob[] = {0, 1, 0x7f, 0x80, 0xff, '\n', '='};
    ASSERT_TRUE(w.SetString("Text", text));
    ASSERT_TRUE(w.SetString("Empty", ""));
    ASSERT_TRUE(w.SetNumber("Number", 0x12345678u));
    ASSERT_TRUE(w.SetNumber("Max", 0xffffffffu));
    ASSERT_TRUE(w.SetBinary("Blob", blob, sizeof blob));
    ASSERT_TRUE(w.SetBinary("NoBytes", nullptr, 0));
    ASSERT_TRUE(std::filesystem::exists(m_config.Path() + "/Tolvek/Quorvex.ini"));

    SettingsKey r;  // a second key reads what the file holds
    ASSERT_TRUE(r.Open(kUser, kGeneral));
    struct Case {
        const char* name;
        SettingsType type;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"Text", SettingsType::String, {}},
        {"Empty", SettingsType::String, {0}},
        {"Number", SettingsType::Number, {0x78, 0x56, 0x34, 0x12}},
        {"Max", SettingsType::Number, {0xff, 0xff, 0xff, 0xff}},
        {"Blob", SettingsType::Binary, {blob, blob + sizeof blob}},
        {"NoBytes", SettingsType::Binary, {}},
    };
    cases[0].bytes.assign(text.begin(), text.end());
    cases[0].bytes.push_back(0);
    for (const auto& c : cases) {
        auto v = r.Value(c.name);
        ASSERT_TRUE(v.has_value()) << c.name;
        EXPECT_EQ(v->type, c.type) << c.name;
        EXPECT_EQ(v->bytes, c.bytes) << c.name;
    }

    // Overwriting changes the type with the value.
    ASSERT_TRUE(w.SetNumber("Text", 7));
    EXPECT_EQ(r.Value("Text")->type, SettingsType::Number);
}

TEST_F(SettingsStore, StringsStopAtTheirFirstNul)
{
    SettingsKey w;
    ASSERT_TRUE(w.Create(kUser, kGeneral));
    ASSERT_TRUE(w.SetString("Cut", std::string_view("ab\0cd", 5)));
    EXPECT_EQ(w.Value("Cut")->bytes, (std::vector<unsigned char>{'a', 'b', 0}));
}

TEST_F(SettingsStore, MissingKeysAndValues)
{
    SettingsKey k;
    EXPECT_FALSE(k.Open(kUser, kGeneral));
    EXPECT_FALSE(k.IsOpen());
    EXPECT_FALSE(k.Value("HelpFile").has_value());
    EXPECT_FALSE(k.SetString("HelpFile", "x"));

    ASSERT_TRUE(k.Create(kUser, kGeneral));  // parents come with it
    k.Close();
    for (const char* path : {"SOFTWARE\\Tolvek\\Quorvex", "SOFTWARE\\Tolvek\\Quorvex\\Settings", kGeneral})
        EXPECT_TRUE(k.Open(kUser, path)) << path;
    for (const char* path : {"SOFTWARE\\Tolvek\\Quorvex\\Settings\\Other", "SOFTWARE\\Tolvek\\Other",
                             "SOFTWARE\\Tolvek\\Quorvex\\Settings\\General\\Deeper"})
        EXPECT_FALSE(k.Open(kUser, path)) << path;

    ASSERT_TRUE(k.Open(kUser, kGeneral));
    EXPECT_FALSE(k.Value("Missing").has_value());
    EXPECT_FALSE(k.Value("@").has_value());  // the key's own mark is no value
}

TEST_F(SettingsStore, ReadOnlyKeysAndBadNamesRefuseWrites)
{
    SettingsKey w;
    ASSERT_TRUE(w.Create(kUser, kGeneral));
    for (const char* name : {"", "@", "a/b", "a\\b"})
        EXPECT_FALSE(w.SetString(name, "x")) << name;
    EXPECT_FALSE(w.SetBinary("Null", nullptr, 3));

    SettingsKey r;
    ASSERT_TRUE(r.Open(kUser, kGeneral));
    EXPECT_FALSE(r.SetString("A", "x"));
    EXPECT_FALSE(r.SetNumber("A", 1));
    EXPECT_FALSE(r.SetBinary("A", "x", 1));
    EXPECT_FALSE(r.Value("A").has_value());
}

TEST_F(SettingsStore, ValuesEditedByHand)
{
    const std::string file = m_config.Path() + "/Tolvek/Quorvex.ini";
    std::filesystem::create_directories(m_config.Path() + "/Tolvek");
    std::ofstream(file) << "[Settings]\n"
                           "General\\Plain=just text\n"
                           "General\\BadNumber=dword:12\n"
                           "General\\BadHex=hex:0g\n"
                           "General\\List=a, b\n";
    SettingsKey k;
    ASSERT_TRUE(k.Open(kUser, kGeneral));
    auto plain = k.Value("Plain");
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->type, SettingsType::String);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(plain->bytes.data())), "just text");
    for (const char* name : {"BadNumber", "BadHex", "List"})
        EXPECT_FALSE(k.Value(name).has_value()) << name;
}

TEST_F(SettingsStore, UnwritableFolderFailsCleanly)
{
    // The configuration folder is a plain file: nothing can be created below it.
    const std::string blocker = m_config.Path() + "/file";
    std::ofstream(blocker) << "x";
    setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
    SettingsKey k;
    EXPECT_FALSE(k.Create(kUser, kGeneral));
    EXPECT_FALSE(k.IsOpen());
}

}  // namespace
