#pragma once
// The shell program's application object: start-up, the commands of other processes,
// the program's end and the last-resort crash message.

#include <QApplication>
#include <functional>
#include <string>

class CQuorvexDlg;

class CShellApp final {
public:
    // The start-up sequence, the main window's whole run included; always false (0):
    // when it returns, the program ends.
    int InitInstance(int argc, char** argv);
    int ExitInstance();
    // An execute string from another process: its commands act on the main window.
    int OnDDECommand(const char* command);

private:
    int m_exitCode = 0;  // 1 when a shell holds the channel but would not take the command line
};

// A new main window (hidden); it lives until the program ends.
CQuorvexDlg* CreateMainDialog();
// Runs the main window until it ends; 1.
int RunMainDialog(CQuorvexDlg* dialog);
// The main window made at start-up, or null.
CQuorvexDlg* MainDialog();

// The crash message for a fault code: string 113, the code's name (nothing for an
// unnamed code or a C++ exception, code 0) and string 109, run together.
std::string CrashText(unsigned code);
// Shows the crash message in a topmost box "Quorvex", owned by the main window while it
// exists.
void ShowCrashMessage(unsigned code);

// From here on a fatal signal writes the crash message to standard error.
void InstallCrashReport();

// An execute string that another process sent: its commands run through open unless a
// modal dialog is open, in which case it is dropped. Answers whether it ran.
bool DeliverShellCommand(const std::string& command, const std::function<void(const std::string&)>& open);

// The application object: an exception escaping an event handler shows the crash
// message and ends the program.
class CShellApplication final : public QApplication {
public:
    CShellApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// What main runs: the program's exit code.
int ShellMain(int argc, char** argv);
