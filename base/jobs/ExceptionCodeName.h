#pragma once
// Names of the fault codes that the crash guards of jobs, viewer loads and the display
// pyramid show after "Error !".

// The name of code, or null for a code without one (every framework exception and
// every code not in the table).
const char* ExceptionCodeName(unsigned code);
