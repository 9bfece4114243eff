#include "PyramidFault.h"

#include <cstdio>
#include <exception>
#include <new>

#include "RDPExcept.h"

namespace {

// A fault names no exception code here, so the text is empty as for every
// framework exception.
void ReportFault(const char* text)
{
    std::fprintf(stderr, "Error !: %s\n", text);
}

}  // namespace

int GuardPyramidCall(const std::function<int()>& fn)
{
    try {
        return fn();
    } catch (plat::Exception* e) {
        std::string msg;
        if (GetError(e, msg) == RDP_CANCEL)
            throw;
        e->Delete();
    } catch (const std::exception&) {
    }
    ReportFault("");
    return 0;
}
