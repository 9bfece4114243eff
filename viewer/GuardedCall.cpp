#include "GuardedCall.h"

#include <exception>
#include <string>

#include "platform/errors/FaultGuard.h"
#include "platform/dialogs/MessageBox.h"
#include "jobs/ExceptionCodeName.h"
#include "layer/RDPExcept.h"

namespace {

std::optional<int> Guarded(const char* caption, const std::function<int()>& fn, bool passCancel, bool ownText)
{
    std::string text;
    try {
        return plat::CallFaultGuarded(fn);
    } catch (plat::Exception* e) {
        std::string msg;
        if (passCancel && GetError(e, msg) == RDP_CANCEL)
            throw;
        if (ownText) {
            char buf[512] = {};
            if (e->GetErrorMessage(buf, sizeof buf))
                text = buf;
        }
        e->Delete();
    } catch (const plat::HardwareFault& fault) {
        if (const char* name = ExceptionCodeName(fault.code))
            text = name;
    } catch (const std::exception& e) {
        if (ownText)
            text = e.what();
    }
    plat::MessageBox(plat::WindowHandle(), text, caption, plat::MB_OK | plat::MB_SYSTEMMODAL);
    return std::nullopt;
}

}  // namespace

int GuardedViewerCall(const char* caption, const std::function<int()>& fn, bool passCancel)
{
    return Guarded(caption, fn, passCancel, false).value_or(0);
}

std::optional<int> GuardedViewerCallWithText(const char* caption, const std::function<int()>& fn)
{
    return Guarded(caption, fn, false, true);
}
