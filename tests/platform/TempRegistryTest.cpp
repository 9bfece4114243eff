#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "ChildProcess.h"
#include "platform/files/ReplacingFile.h"
#include "ScopedEnvFolder.h"
#include "TempDir.h"
#include "platform/files/TempRegistry.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ListText()
{
    std::ifstream in(plat::TemporariesListPath());
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

void Touch(const std::string& path)
{
    std::ofstream(path) << "x";
}

}  // namespace

// A writer killed in the middle leaves its temporaries; the next start removes
// them, and keeps what a living writer still writes.
TEST(TempRegistry, TemporariesOfAKilledWriterGoAtTheNextStart)
{
    ScopedEnvFolder state("XDG_STATE_HOME");
    testsupport::TempDir dir;
    EXPECT_EQ(plat::TemporariesListPath(), state.Path() + "/Tolvek/temporaries");
    const std::string preview = dir.File("#preview7.rdp");
    const int status = testsupport::RunInChild([&] {
        plat::ReplacingFile out(dir.File("a.rdp"));
        out.Out().Write("half", 4);
        Touch(preview);
        plat::RecordTemporary(preview);
        ::raise(SIGKILL);
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    ASSERT_EQ(Names(dir.Path()).size(), 2u);

    plat::ReplacingFile mine(dir.File("b.rdp"));
    EXPECT_EQ(plat::RemoveOrphanedTemporaries(), 2);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{fs::path(mine.TempPath()).filename().string()});
    const std::string list = ListText();
    EXPECT_EQ(list.rfind(std::to_string(::getpid()) + " ", 0), 0u) << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 1) << list;
    EXPECT_NE(list.find(mine.TempPath()), std::string::npos) << list;
    // A second start finds nothing more to do.
    EXPECT_EQ(plat::RemoveOrphanedTemporaries(), 0);
    mine.Out().Write("whole", 5);
    mine.Commit();
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"b.rdp"});
    EXPECT_EQ(ListText(), "");

    // A discarded temporary is forgotten too.
    {
        plat::ReplacingFile dropped(dir.File("c.rdp"));
        EXPECT_NE(ListText(), "");
    }
    EXPECT_EQ(ListText(), "");
}

// Only regular files of this user that no living writer claims are removed.
TEST(TempRegistry, WhatIsNoLongerTheTemporaryStays)
{
    ScopedEnvFolder state("XDG_STATE_HOME");
    testsupport::TempDir dir;
    const std::string claimed = dir.File("claimed"), link = dir.File("link"), folder = dir.File("folder"),
                      gone = dir.File("gone"), target = dir.File("target");
    for (const std::string& path : {claimed, link, folder, gone})
        Touch(path);
    Touch(target);
    const int status = testsupport::RunInChild([&] {
        for (const std::string& path : {claimed, link, folder, gone})
            plat::RecordTemporary(path);
        return 0;
    });
    ASSERT_TRUE(testsupport::ExitedWith(status, 0));
    plat::RecordTemporary(claimed);  // this living process writes it now
    fs::remove(link);
    fs::create_symlink(target, link);
    fs::remove(folder);
    fs::create_directory(folder);
    fs::remove(gone);

    EXPECT_EQ(plat::RemoveOrphanedTemporaries(), 0);
    EXPECT_TRUE(fs::exists(claimed));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(fs::is_directory(folder));
    // Only the living writer's entry is left.
    const std::string list = ListText();
    EXPECT_EQ(list.rfind(std::to_string(::getpid()) + " ", 0), 0u) << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 1) << list;
    plat::ForgetTemporary(claimed);
    EXPECT_EQ(ListText(), "");
}
