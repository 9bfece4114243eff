#pragma once
// Hardware faults inside guarded code. An arithmetic fault (SIGFPE) raised while the
// faulting thread is inside a FaultScope is thrown as a HardwareFault carrying the code
// a structured-exception guard would see; the guard catches it like any exception. Code
// compiled with -fnon-call-exceptions unwinds through its own cleanups; elsewhere the
// throw passes only frames that have none.
//
// Any other fatal signal (segmentation fault, illegal instruction, bus error), and an
// arithmetic fault outside a scope, is a bug: its name goes to standard error and the
// previous disposition of the signal (a sanitizer's report, or the default end of the
// program) takes over.

namespace plat {

// Codes of the hardware faults, as structured-exception guards name them.
enum : unsigned {
    FAULT_ACCESS_VIOLATION = 0xC0000005,
    FAULT_ILLEGAL_INSTRUCTION = 0xC000001D,
    FAULT_FLT_DENORMAL_OPERAND = 0xC000008D,
    FAULT_FLT_DIVIDE_BY_ZERO = 0xC000008E,
    FAULT_FLT_INEXACT_RESULT = 0xC000008F,
    FAULT_FLT_INVALID_OPERATION = 0xC0000090,
    FAULT_FLT_OVERFLOW = 0xC0000091,
    FAULT_FLT_STACK_CHECK = 0xC0000092,
    FAULT_FLT_UNDERFLOW = 0xC0000093,
    FAULT_INT_DIVIDE_BY_ZERO = 0xC0000094,
    FAULT_INT_OVERFLOW = 0xC0000095,
    FAULT_STACK_OVERFLOW = 0xC00000FD,
};

struct HardwareFault {
    unsigned code = 0;
};

// The name of a fault code, or null when it has none.
using FaultNamer = const char* (*)(unsigned code);

// Installs the handlers once per process; later calls do nothing. namer turns a code
// into the name written to standard error (null: the signal's number is written).
void InstallFaultHandlers(FaultNamer namer);

// While one exists on a thread, arithmetic faults of that thread are thrown.
class FaultScope final {
public:
    FaultScope();
    ~FaultScope();
    // Bound to its thread and its stack frame: neither copied nor moved.
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
};

}  // namespace plat
