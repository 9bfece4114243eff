#pragma once
// Runs one of this folder's Python checks with the system's interpreter (the
// one that has numpy and GDAL) and hands back what it printed.

#include <cstdio>
#include <string>

// The check's output, or "failed: " and its output when it exits with an error.
inline std::string RunPythonCheck(const std::string& Script, const std::string& Argument)
{
    const std::string cmd =
        "/usr/bin/python3 " SUITE_SOURCE_DIR "/tests/engine3d/" + Script + " '" + Argument + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr)
        return "failed: cannot run " + Script;
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr)
        text += buffer;
    if (::pclose(p) != 0)
        return "failed: " + text;
    return text;
}
