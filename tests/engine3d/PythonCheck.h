#pragma once
// Runs one of this folder's Python checks with the system's interpreter (the
// one that has numpy and GDAL) and hands back what it printed.

#include "Command.h"
#include <cstdio>
#include <string>

// The check's output, or "failed: " and its output when it exits with an error.
inline std::string RunPythonCheck(const std::string& Script, const std::string& Argument)
{
    const std::string cmd =
        "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/engine3d/" + Script + " '" + Argument + "' 2>&1";
    const testsupport::CommandResult run = testsupport::RunCommand(cmd);
    return run.status == 0 ? run.output : "failed: " + run.output;
}
