#pragma once
// Runs a piece of a test in a child process: for code that may end the process
// (a signal) or hang (an alarm ends it), without taking the test program along.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

namespace testsupport {

// Forks; the child runs body and exits with its answer (2 when it throws), or is
// ended by SIGALRM after `seconds`. Answers the child's wait status (-1: no child).
// The child must report through its exit code: its test assertions are lost.
inline int RunInChild(const std::function<int()>& body, unsigned seconds = 10)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::alarm(seconds);
        int code = 2;
        try {
            code = body();
        } catch (...) {
        }
        std::_Exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

// Whether a wait status says the child exited with code.
inline bool ExitedWith(int status, int code)
{
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

}  // namespace testsupport
