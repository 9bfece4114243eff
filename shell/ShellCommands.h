#pragma once
// The shell's command language, read from its command line and from other processes:
// a command is the text between a "[" and the next "]"; "Open" with a path in double
// quotes opens a viewer on the path, "DisableView" is accepted and does nothing.

#include <functional>
#include <string>

// What a command asks of the shell: open a viewer on the path (used exactly as written).
using ShellOpenFunction = std::function<void(const std::string& path)>;

// Finds the first open character at or after start and the first close character after
// it; out gets the text strictly between them. Answers the position just after the close
// character, or -1 (out untouched) when either is missing.
int FindDelimited(std::string& out, const std::string& text, int start, char open, char close);

// Runs one command (the text inside one pair of brackets).
void ExecuteShellCommand(const std::string& command, const ShellOpenFunction& open);

// Runs every bracketed command of text in order of appearance.
void ParseShellCommands(const std::string& text, const ShellOpenFunction& open);
