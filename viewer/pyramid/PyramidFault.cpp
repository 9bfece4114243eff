#include "pyramid/PyramidFault.h"

#include <exception>
#include <string>

#include "jobs/ExceptionCodeName.h"
#include "FaultGuard.h"
#include "MessageBox.h"
#include "layer/RDPExcept.h"

int GuardPyramidCall(const std::function<int()>& fn)
{
    const char* name = nullptr;
    try {
        return plat::CallFaultGuarded(fn);
    } catch (plat::Exception* e) {
        std::string msg;
        if (GetError(e, msg) == RDP_CANCEL)
            throw;
        e->Delete();
    } catch (const plat::HardwareFault& fault) {
        name = ExceptionCodeName(fault.code);
    } catch (const std::exception&) {
    }
    // A framework exception names no code: the box then has an empty text.
    plat::MessageBox(plat::WindowHandle(), name ? name : "", "Error !", plat::MB_OK | plat::MB_SYSTEMMODAL);
    return 0;
}
