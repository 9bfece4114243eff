#pragma once
// Shell commands of the tests (outside tools, Python checks, probe programs).

#include <cstdio>
#include <string>

namespace testsupport {

struct CommandResult {
    std::string output;  // what the command wrote on its standard output
    int status = -1;     // as pclose gives it; -1 when it could not start
};

inline CommandResult RunCommand(const std::string& cmd)
{
    CommandResult result;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) {
        result.output = "cannot run: " + cmd;
        return result;
    }
    char buf[4096];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, p))
        result.output.append(buf, n);
    result.status = ::pclose(p);
    return result;
}

// The output, with "exit N" appended when the command failed.
inline std::string CommandOutput(const std::string& cmd)
{
    const CommandResult r = RunCommand(cmd);
    return r.status == 0 ? r.output : r.output + "exit " + std::to_string(r.status);
}

}  // namespace testsupport
