#include "ShellApp.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include <unistd.h>

#include "platform/errors/FaultGuard.h"
#include "platform/files/File.h"
#include "platform/windows/MainWindow.h"
#include "platform/dialogs/MessageBox.h"
#include "QuorvexDlg.h"
#include "QuorvexStrings.h"
#include "ShellChannel.h"
#include "ShellCommands.h"
#include "platform/resources/Splash.h"
#include "platform/resources/StringTable.h"
#include "platform/files/TempRegistry.h"
#include "jobs/ExceptionCodeName.h"
#include "jobs/MeterInfo.h"
#include "jobs/Run.h"

namespace {

CQuorvexDlg* g_mainDialog = nullptr;
// String 113, loaded at start-up so that a crash needs no look-up.
std::string g_crashText;

std::string LimitedString(unsigned id)
{
    std::string text = plat::LoadString(id, kQuorvexModule);
    if (text.size() > 255)
        text.resize(255);
    return text;
}

void OpenOnMainDialog(const std::string& path)
{
    if (g_mainDialog)
        g_mainDialog->OpenFileInViewer(path);
}

// The whole command line, program path included, as one text.
std::string JoinedCommandLine(int argc, char** argv)
{
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (i)
            line += ' ';
        line += argv[i];
    }
    return line;
}

// Hands text to the shell that holds the channel; it may still be starting, so a
// missing socket is asked again for a while.
ForwardResult HandToRunningShell(const std::string& path, const std::string& text)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        const ForwardResult result = ForwardToRunningShell(path, text);
        if (result != ForwardResult::NoShell || std::chrono::steady_clock::now() > end)
            return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

[[noreturn]] void EndAfterCrash(unsigned code)
{
    ShowCrashMessage(code);
    // The jobs remove what they half wrote before the program goes.
    TerminateAllThreads();
    std::fflush(nullptr);
    ::_exit(1);
}

}  // namespace

std::string CrashText(unsigned code)
{
    std::string text = g_crashText.empty() ? LimitedString(IDS_CRASH_BEGIN) : g_crashText;
    if (const char* name = code ? ExceptionCodeName(code) : nullptr)
        text += name;
    text += LimitedString(IDS_CRASH_END);
    return text;
}

void InstallCrashReport()
{
    g_crashText = LimitedString(IDS_CRASH_BEGIN);
    // A fatal signal cannot show a window: the same text goes to standard error.
    plat::InstallFaultHandlers(ExceptionCodeName);
    plat::SetFatalFaultText(g_crashText.c_str(), LimitedString(IDS_CRASH_END).c_str());
}

bool DeliverShellCommand(const std::string& command, const std::function<void(const std::string&)>& open)
{
    // The sender has its acknowledgement already; a modal dialog drops the command.
    if (QApplication::activeModalWidget())
        return false;
    ParseShellCommands(command, open);
    return true;
}

void ShowCrashMessage(unsigned code)
{
    const plat::WindowHandle owner = g_mainDialog ? g_mainDialog->Handle() : plat::WindowHandle();
    plat::MessageBox(owner, CrashText(code), "Quorvex", plat::MB_OK | plat::MB_TOPMOST);
}

CShellApplication::CShellApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool CShellApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const plat::HardwareFault& fault) {
        EndAfterCrash(fault.code);
    } catch (...) {
        EndAfterCrash(0);
    }
}

CQuorvexDlg* CreateMainDialog()
{
    return new CQuorvexDlg;
}

CQuorvexDlg* MainDialog()
{
    return g_mainDialog;
}

int RunMainDialog(CQuorvexDlg* dialog)
{
    // The progress window class is set up once, hidden, before any job needs it.
    auto meter = std::make_unique<CMeterInfo>(std::string());
    meter->Create();
    meter->ShowWindow(plat::SW_HIDE);
    dialog->DoModal();
    return 1;
}

int CShellApp::InitInstance(int argc, char** argv)
{
    plat::SendSplashNotice(1, "Main Dialog Initializing...");
    InstallCrashReport();

    try {
        // One shell per user: whoever takes the channel's lock is the shell; a start that
        // finds it taken hands its command line to that shell and ends.
        std::string channelError;
        const std::string channelPath = ShellChannelPath(&channelError);
        const std::string commandLine = JoinedCommandLine(argc, argv);
        auto channel = std::make_unique<CShellChannel>();
        if (channelPath.empty()) {
            std::fprintf(
                stderr,
                "Quorvex: no private place for the command channel (%s); other starts will not reach this one.\n",
                channelError.c_str());
        } else if (!channel->Listen(channelPath, [](const std::string& command) {
                       DeliverShellCommand(command, OpenOnMainDialog);
                   })) {
            if (channel->Why() == CShellChannel::Refusal::Taken) {
                const ForwardResult sent = HandToRunningShell(channelPath, commandLine);
                if (sent == ForwardResult::Sent)
                    return 0;
                std::fprintf(stderr, "Quorvex: the running shell at %s does not answer.\n", channelPath.c_str());
                m_exitCode = 1;
                return 0;
            }
            std::fprintf(stderr, "Quorvex: cannot listen (%s); other starts will not reach this one.\n",
                         channel->Error().c_str());
        }

        CQuorvexDlg* dialog = CreateMainDialog();
        g_mainDialog = dialog;
        plat::SetMainWindow(dialog->Handle());

        try {
            plat::CallFaultGuarded([&] { ParseShellCommands(commandLine, OpenOnMainDialog); });
        } catch (...) {
            // A bad command line does not stop the start.
        }

        RunMainDialog(dialog);
        channel.reset();
    } catch (const plat::HardwareFault& fault) {
        EndAfterCrash(fault.code);
    } catch (...) {
        EndAfterCrash(0);
    }
    return 0;
}

int CShellApp::ExitInstance()
{
    return m_exitCode;
}

int CShellApp::OnDDECommand(const char* command)
{
    ParseShellCommands(command ? command : "", OpenOnMainDialog);
    return 1;
}

int ShellMain(int argc, char** argv)
{
    plat::IgnoreFileSizeSignal();
    // Temporaries of writers that were killed.
    plat::RemoveOrphanedTemporaries();
    QuorvexRegisterStrings();
    CShellApplication app(argc, argv);
    CShellApp shell;
    shell.InitInstance(argc, argv);
    return shell.ExitInstance();
}
