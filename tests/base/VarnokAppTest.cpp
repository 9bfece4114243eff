#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include <csignal>

#include "ChildProcess.h"
#include "platform/resources/DesktopOpen.h"
#include "ScopedEnvFolder.h"
#include "platform/resources/Splash.h"
#include "platform/resources/StringTable.h"
#include "VarnokApp.h"
#include "files/FileNames.h"
#include "settings/HelpSystem.h"
#include "settings/SNRegKey.h"

namespace {

const plat::StringEntry kHostStrings[] = {{115, "SOFTWARE\\Tolvek\\Quorvex"}};

TEST(VarnokStartUp, IgnoresTheFileSizeSignalSoWritesFailWithAnError)
{
    // In a child, which may change its signals as it likes.
    const int status = testsupport::RunInChild([] {
        std::signal(SIGXFSZ, SIG_DFL);
        VarnokProcessAttach();
        struct sigaction now {};
        ::sigaction(SIGXFSZ, nullptr, &now);
        return now.sa_handler == SIG_IGN ? 0 : 1;
    });
    EXPECT_TRUE(testsupport::ExitedWith(status, 0)) << "wait status " << status;
}

TEST(VarnokStartUp, AnnouncesItselfOnlyWhenSomeoneListens)
{
    EXPECT_EQ(VarnokProcessAttach(), 1);  // no splash window: nothing to send
    EXPECT_FALSE(plat::SendSplashNotice(1, "x"));

    struct Notice {
        unsigned long code;
        std::string text;
        QWidget* sender;
    };
    std::vector<Notice> seen;
    plat::SetSplashListener([&](unsigned long code, const std::string& text, QWidget* sender) {
        seen.push_back({code, text, sender});
    });
    EXPECT_EQ(VarnokProcessAttach(), 1);
    plat::SetSplashListener({});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, 1u);
    EXPECT_EQ(seen[0].text, "Varnok Module Initializing...");
    EXPECT_EQ(seen[0].sender, nullptr);
}

TEST(VarnokStartUp, ApplicationKeyIsTheHostsString115)
{
    EXPECT_EQ(GetAppRegKey(), "");
    EXPECT_EQ(GetGeneralSettingsKey(), "\\Settings\\General");
    plat::StringTableRegistration host("TestHost", kHostStrings, true);
    EXPECT_EQ(GetAppRegKey(), "SOFTWARE\\Tolvek\\Quorvex");
    EXPECT_EQ(GetGeneralSettingsKey(), "SOFTWARE\\Tolvek\\Quorvex\\Settings\\General");
}

std::string ProgramFolder()
{
    return std::filesystem::canonical("/proc/self/exe").parent_path().string();
}

TEST(HelpSystem, OpensTheConfiguredHelpFileOrTheDefault)
{
    ScopedEnvFolder config("XDG_CONFIG_HOME");
    plat::StringTableRegistration host("TestHost", kHostStrings, true);
    const std::string key = GetGeneralSettingsKey();

    struct Case {
        const char* label;
        bool makeKey;
        const char* helpFile;  // null: value missing
        std::string opened;
    } cases[] = {
        {"no key", false, nullptr, ProgramFolder() + "/Velmora.chm"},
        {"no value", true, nullptr, ProgramFolder() + "/Velmora.chm"},
        {"empty value", true, "", ProgramFolder() + "/Velmora.chm"},
        {"bare name", true, "guide.chm", ProgramFolder() + "/guide.chm"},
        {"full path", true, "/opt/help/manual.chm", "/opt/help/manual.chm"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(config.Path() + "/Tolvek");
        if (c.makeKey) {
            CSNRegKey w;
            ASSERT_EQ(w.Create(HKEY_CURRENT_USER, key.c_str()), 1);
            if (c.helpFile) {
                ASSERT_EQ(w.SetStringValue(c.helpFile, "HelpFile"), 1);
            }
        }
        std::vector<std::string> opened;
        plat::SetDesktopOpener([&](const std::string& path) {
            opened.push_back(path);
            return true;
        });
        EXPECT_EQ(CallHelpSystem(nullptr, "2d_viewer.htm"), 1) << c.label;
        plat::SetDesktopOpener([](const std::string&) { return false; });
        EXPECT_EQ(CallHelpSystem(nullptr, nullptr), 0) << c.label;
        plat::SetDesktopOpener({});
        EXPECT_EQ(opened, std::vector<std::string>{c.opened}) << c.label;
    }
}

TEST(HelpSystem, MissingHelpFileStartsNothing)
{
    ScopedEnvFolder config("XDG_CONFIG_HOME");
    plat::StringTableRegistration host("TestHost", kHostStrings, true);
    CSNRegKey w;
    ASSERT_EQ(w.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()), 1);
    ASSERT_EQ(w.SetStringValue((config.Path() + "/none.chm").c_str(), "HelpFile"), 1);
    EXPECT_EQ(CallHelpSystem(nullptr, nullptr), 0);
}

TEST(FileNames, FileNameWithoutExtension)
{
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"data.dir/image", "data.dir/image"},
        {"data/image.rdp", "data/image"},
        {"image", "image"},
        {"a/b.c/d", "a/b.c/d"},
        {"a.b/c.d.e", "a.b/c.d"},
        {"/x/name.", "/x/name"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileNameWOExt(c.path), c.expected) << c.path;
}

TEST(FileNames, FileExistsWithWildcards)
{
    ScopedEnvFolder dir("SUITE_TEST_FOLDER");
    const std::string d = dir.Path();
    std::filesystem::create_directory(d + "/sub.d");
    for (const char* name : {"/img1.rdp", "/a[1].rdp"})
        std::ofstream(d + name) << "x";
    struct Case {
        std::string name;
        int expected;
    } cases[] = {
        {d + "/img1.rdp", 1},   {d + "/sub.d", 1}, {d + "/img2.rdp", 0}, {d + "/*.rdp", 1}, {d + "/img?.rdp", 1},
        {d + "/img??.rdp", 0},  {d + "/*.xyz", 0}, {d + "/a[1].rdp", 1}, {d + "/a[1]*", 1}, {d + "/[a]*", 0},
        {d + "/none/*.rdp", 0}, {d + "/*", 1},     {d + "/sub*", 1},     {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsFileExist(c.name.c_str()), c.expected) << c.name;
    EXPECT_EQ(IsFileExist(nullptr), 0);
}

}  // namespace
