#include "jobs/ExceptionCodeName.h"

#include "platform/errors/FaultGuard.h"

namespace {

struct CodeName {
    unsigned code;
    const char* name;
};

const CodeName kNames[] = {
    {plat::FAULT_ACCESS_VIOLATION, "EXCEPTION_ACCESS_VIOLATION"},
    {plat::FAULT_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR"},
    {plat::FAULT_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {plat::FAULT_FLT_DENORMAL_OPERAND, "EXCEPTION_FLT_DENORMAL_OPERAND"},
    {plat::FAULT_FLT_DIVIDE_BY_ZERO, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
    {plat::FAULT_FLT_INEXACT_RESULT, "EXCEPTION_FLT_INEXACT_RESULT"},
    {plat::FAULT_FLT_INVALID_OPERATION, "EXCEPTION_FLT_INVALID_OPERATION"},
    {plat::FAULT_FLT_OVERFLOW, "EXCEPTION_FLT_OVERFLOW"},
    {plat::FAULT_FLT_UNDERFLOW, "EXCEPTION_FLT_UNDERFLOW"},
    {plat::FAULT_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {plat::FAULT_INT_OVERFLOW, "EXCEPTION_INT_OVERFLOW"},
    {plat::FAULT_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW"},
};

}  // namespace

const char* ExceptionCodeName(unsigned code)
{
    // Called from signal handlers too: a plain walk, nothing allocated.
    for (const CodeName& entry : kNames)
        if (entry.code == code)
            return entry.name;
    return nullptr;
}
