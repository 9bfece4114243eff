#pragma once
// Hardware faults inside guarded code. An arithmetic fault (SIGFPE), or a read of a
// mapped page that lies past the end of its file because another program cut the file
// short (SIGBUS), raised while the faulting thread runs a function under
// CallFaultGuarded abandons that function where it stands and is thrown from
// CallFaultGuarded as a HardwareFault carrying the code a structured-exception guard
// would see; the caller catches it like any exception. The
// signal handler only jumps back to the guard, so everything that reports the fault
// runs on the normal path, outside the handler. As with such a guard, the frames
// abandoned between the guard and the fault run no destructors and release nothing.
//
// Any other fatal signal (segmentation fault, illegal instruction, other bus errors),
// and either fault outside a guard, is a bug: its name goes to standard error and the
// previous disposition of the signal (a sanitizer's report, or the default end of the
// program) takes over.

#include <type_traits>
#include <utility>

namespace plat {

// Codes of the hardware faults, as structured-exception guards name them.
enum : unsigned {
    FAULT_ACCESS_VIOLATION = 0xC0000005,
    FAULT_IN_PAGE_ERROR = 0xC0000006,
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

// The report of a fatal fault becomes before, the fault's name (nothing when it has
// none) and after, run together on one line, in place of "Fatal fault: <name>". Each
// text is cut to 255 bytes; null leaves the report as it was.
void SetFatalFaultText(const char* before, const char* after);

// Runs call(context) under the guard; see above. Exceptions of call pass unchanged.
// Guards nest: a fault goes to the innermost guard of its thread.
void CallFaultGuardedRaw(void (*call)(void*), void* context);

// Runs fn under the guard and answers its result.
template <class F>
auto CallFaultGuarded(F&& fn) -> decltype(fn())
{
    using R = decltype(fn());
    if constexpr (std::is_void_v<R>) {
        CallFaultGuardedRaw([](void* f) { (*static_cast<std::remove_reference_t<F>*>(f))(); },
                            const_cast<void*>(static_cast<const void*>(&fn)));
    } else {
        struct Call {
            std::remove_reference_t<F>* fn;
            R result{};
        } call{&fn};
        CallFaultGuardedRaw(
            [](void* c) {
                auto* self = static_cast<Call*>(c);
                self->result = (*self->fn)();
            },
            &call);
        return std::move(call.result);
    }
}

}  // namespace plat
