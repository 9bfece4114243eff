#include "ConversionJobEnd.h"

#include <sys/stat.h>

#include <memory>
#include <new>

#include "ResultViewers.h"
#include "jobs/MeterInfo.h"
#include "jobs/Run.h"
#include "layer/RDPExcept.h"
#include "platform/dialogs/MessageBox.h"

void EndConversionJob(CMeterInfo* meter, const ConversionEnd& end)
{
    if (!meter)
        return;
    if (!end.text.empty())
        meter->SetText(end.text.c_str());
    bool viewable = end.done;
    for (const std::string& file : end.outputs) {
        struct stat st {};
        viewable = viewable && ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    // Nothing to view: the window closes instead of offering View for files
    // that are not there.
    if (!viewable)
        meter->DeleteOnClose();
    else if (!end.endText.empty())
        meter->SetEndText(end.endText.c_str());
}

std::string ConversionFailureText()
{
    try {
        throw;
    } catch (plat::Exception* e) {
        std::string message;
        const int cause = GetError(e, message);
        e->Delete();
        return cause == RDP_CANCEL ? std::string() : message.empty() ? std::string("Unknown Error") : message;
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (...) {
        return "Unknown Error";
    }
}

void ShowConversionFailure(const std::string& text)
{
    if (!text.empty())
        plat::MessageBox({}, text, "", plat::MB_OK | plat::MB_ICONEXCLAMATION);
}

void RunConversion(const std::string& name, void (*job)(void*, CMeterInfo*), void* data,
                   std::vector<std::string> outputs, int stretchType)
{
    auto results = std::make_unique<ResultFileList>();
    results->names = std::move(outputs);
    results->stretchType = stretchType;
    Run(name, job, data, OpenResultsInViewer, results.release());
}
