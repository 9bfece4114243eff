#include "platform/errors/FaultGuard.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <setjmp.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr int kSignals[] = {SIGFPE, SIGSEGV, SIGILL, SIGBUS};

std::atomic<FaultNamer> g_namer = nullptr;
struct sigaction g_previous[NSIG];
// The program's own report text; read by the handler only once g_textSet is true.
char g_before[256];
char g_after[256];
std::atomic<bool> g_textSet = false;
std::once_flag g_installed;
// The innermost guard of a thread: where its handler jumps back to.
struct Guard {
    sigjmp_buf jump;
    volatile unsigned code = 0;  // written by the handler
    volatile int signal = 0;     // likewise
};

// Static TLS, so the signal handler reads it without allocating.
__attribute__((tls_model("initial-exec"))) thread_local Guard* t_guard = nullptr;

unsigned FpeCode(int siCode)
{
    switch (siCode) {
    case FPE_INTDIV:
        return FAULT_INT_DIVIDE_BY_ZERO;
    case FPE_INTOVF:
        return FAULT_INT_OVERFLOW;
    case FPE_FLTDIV:
        return FAULT_FLT_DIVIDE_BY_ZERO;
    case FPE_FLTOVF:
        return FAULT_FLT_OVERFLOW;
    case FPE_FLTUND:
        return FAULT_FLT_UNDERFLOW;
    case FPE_FLTRES:
        return FAULT_FLT_INEXACT_RESULT;
    case FPE_FLTINV:
        return FAULT_FLT_INVALID_OPERATION;
    default:
        return 0;
    }
}

unsigned SignalCode(int sig, const siginfo_t* info)
{
    switch (sig) {
    case SIGFPE:
        return FpeCode(info->si_code);
    case SIGSEGV:
        return FAULT_ACCESS_VIOLATION;
    case SIGILL:
        return FAULT_ILLEGAL_INSTRUCTION;
    case SIGBUS:
        return info->si_code == BUS_ADRERR ? unsigned(FAULT_IN_PAGE_ERROR) : 0u;
    default:
        return 0;
    }
}

// Only async-signal-safe calls from here on.
void Write(const char* text)
{
    ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

void WriteName(int sig, unsigned code)
{
    FaultNamer namer = g_namer.load();
    const char* name = namer && code ? namer(code) : nullptr;
    if (g_textSet.load()) {
        Write(g_before);
        if (name)
            Write(name);
        Write(g_after);
        Write("\n");
        return;
    }
    Write("Fatal fault: ");
    if (name) {
        Write(name);
    } else {
        char text[] = "signal 00";
        text[7] = char('0' + sig / 10 % 10);
        text[8] = char('0' + sig % 10);
        Write(text);
    }
    Write("\n");
}

void OnFault(int sig, siginfo_t* info, void*)
{
    const unsigned code = SignalCode(sig, info);
    // A fault the kernel raised (not a signal sent by someone) inside a guard: leave the
    // handler at once; the guard reports it on the normal path.
    const bool recoverable = sig == SIGFPE || code == FAULT_IN_PAGE_ERROR;
    if (Guard* guard = t_guard; recoverable && guard && info->si_code > 0) {
        guard->code = code;
        guard->signal = sig;
        siglongjmp(guard->jump, 1);
    }
    WriteName(sig, code);
    // Hand the signal to whoever had it before; a real fault recurs when we return.
    struct sigaction previous = g_previous[sig];
    if (previous.sa_handler == SIG_IGN)
        previous.sa_handler = SIG_DFL;
    ::sigaction(sig, &previous, nullptr);
    if (info->si_code <= 0)
        ::raise(sig);
}

}  // namespace

void InstallFaultHandlers(FaultNamer namer)
{
    std::call_once(g_installed, [namer] {
        g_namer = namer;
        struct sigaction action {};
        action.sa_sigaction = OnFault;
        // The guard unblocks the signal after its jump out of the handler.
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        for (int sig : kSignals)
            ::sigaction(sig, &action, &g_previous[sig]);
    });
}

void SetFatalFaultText(const char* before, const char* after)
{
    if (!before || !after)
        return;
    // Set once by the program at start-up; the handler reads the buffers after the flag.
    g_textSet = false;
    std::strncpy(g_before, before, sizeof g_before - 1);
    std::strncpy(g_after, after, sizeof g_after - 1);
    g_textSet = true;
}

void CallFaultGuardedRaw(void (*call)(void*), void* context)
{
    Guard guard;
    Guard* const outer = t_guard;
    // The mask is not saved (that would cost a system call per guard): the handler
    // runs with its signal blocked, so the fault path unblocks it; it was unblocked
    // when the fault arrived, or the fault would have ended the program.
    if (sigsetjmp(guard.jump, 0) != 0) {
        t_guard = outer;
        sigset_t caught;
        sigemptyset(&caught);
        sigaddset(&caught, guard.signal);
        ::pthread_sigmask(SIG_UNBLOCK, &caught, nullptr);
        throw HardwareFault{guard.code};
    }
    t_guard = &guard;
    struct Restore {
        Guard* outer;
        ~Restore() { t_guard = outer; }
    } restore{outer};
    call(context);
}

}  // namespace plat
