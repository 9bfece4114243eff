// The program's start: in process, and the built program on its own.

#include "ChildProcess.h"
#include "ModalDriver.h"
#include "PumpUntil.h"
#include "ScopedEnvFolder.h"
#include "TempDir.h"

#include "viewer3d/Halcyte3DMain.h"
#include "viewer3d/forms/SAdministratorUn.h"
#include "viewer3d/Viewer3DUnits.h"

#include "engine3d/model/SRTDRegistry.h"
#include "platform/files/TempRegistry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

TSAdministrator* ShownAdministrator()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* admin = dynamic_cast<TSAdministrator*>(w); admin && admin->isVisible())
            return admin;
    return nullptr;
}

TEST(Halcyte3DStart, RunsTheUnitsAroundTheAdministratorUntilItCloses)
{
    std::string caption, node;
    bool registryDuringRun = false;
    EXPECT_EQ(testsupport::RunModal(
                  [] { return ShownAdministrator() != nullptr; },
                  {testsupport::Once([&] {
                      TSAdministrator* admin = ShownAdministrator();
                      caption = admin->CaptionText();
                      node = admin->TreeView1()->topLevelItem(0)->text(0).toStdString();
                      registryDuringRun = RTDRegistry() != nullptr;
                      admin->close();
                  })},
                  [] { return RunHalcyte3D(); }, testsupport::kModalLimit, testsupport::CloseTopLevelWindows),
              0);
    // The closing main form also asked the application to quit as its last
    // window; that request must not end the next test's modal loops.
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    EXPECT_EQ(caption, " SAdminstrator");
    EXPECT_EQ(node, " - NO PROJECT - ");
    EXPECT_TRUE(registryDuringRun);
    EXPECT_EQ(RTDRegistry(), nullptr);  // the units ended with the program
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(dynamic_cast<TSAdministrator*>(w), nullptr);
}

TEST(Halcyte3DStart, TheUnitTablesStartTheEngineFirstAndCanRunAgain)
{
    ASSERT_FALSE(Viewer3DUnits().empty());
    for (int round = 0; round < 2; ++round) {
        StartViewer3DUnits();
        StartViewer3DUnits();  // once is enough
        EXPECT_NE(RTDRegistry(), nullptr);
        StopViewer3DUnits();
        EXPECT_EQ(RTDRegistry(), nullptr);
    }
}

TEST(Halcyte3DStart, TheBuiltProgramRunsOffscreenUntilStopped)
{
    const std::string program = std::string(SUITE_BIN_DIR) + "/Halcyte3D";
    ASSERT_EQ(::access(program.c_str(), X_OK), 0) << program;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A temporary whose writer was killed: the start removes it.
    ScopedEnvFolder state("XDG_STATE_HOME");
    testsupport::TempDir dir;
    const std::string orphan = dir.File(".project.hcp.1.0.1.part");
    ASSERT_TRUE(testsupport::ExitedWith(testsupport::RunInChild([&] {
                                            std::FILE* f = std::fopen(orphan.c_str(), "w");
                                            if (f == nullptr)
                                                return 1;
                                            std::fclose(f);
                                            plat::RecordTemporary(orphan);
                                            return 0;
                                        }),
                                        0));
    ASSERT_EQ(::access(orphan.c_str(), F_OK), 0);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    // Still running after a while: it waits in its loop for the user.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 30 && ended == 0; ++i) {
        std::this_thread::sleep_for(100ms);
        ended = ::waitpid(pid, &status, WNOHANG);
    }
    EXPECT_EQ(ended, 0) << "ended early with status " << status;
    EXPECT_NE(::access(orphan.c_str(), F_OK), 0) << orphan;
    if (ended == 0) {
        ::kill(pid, SIGTERM);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    }
}

}  // namespace
