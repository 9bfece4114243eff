#include "GuardedCall.h"

#include <exception>
#include <string>

#include "FaultGuard.h"
#include "MessageBox.h"
#include "jobs/ExceptionCodeName.h"
#include "layer/RDPExcept.h"

int GuardedViewerCall(const char* caption, const std::function<int()>& fn, bool passCancel)
{
    const char* name = nullptr;
    try {
        return plat::CallFaultGuarded(fn);
    } catch (plat::Exception* e) {
        std::string msg;
        if (passCancel && GetError(e, msg) == RDP_CANCEL)
            throw;
        e->Delete();
    } catch (const plat::HardwareFault& fault) {
        name = ExceptionCodeName(fault.code);
    } catch (const std::exception&) {
    }
    plat::MessageBox(plat::WindowHandle(), name ? name : "", caption, plat::MB_OK | plat::MB_SYSTEMMODAL);
    return 0;
}
