#include "ResultViewers.h"

#include <atomic>
#include <memory>

#include "frame/ViewResult.h"

namespace {

std::atomic<ResultOpener> g_opener{nullptr};

void OpenOne(const std::string& file, int stretchType = 2)
{
    if (const ResultOpener open = g_opener.load()) {
        open(file, stretchType);
        return;
    }
    ViewResultParam param;
    param.fSigma = 2.0f;
    param.nStretchType = stretchType;
    param.strFileName = file;
    ViewerCreate(&param);
}

}  // namespace

void SetResultOpener(ResultOpener opener)
{
    g_opener.store(opener);
}

ResultOpener InstalledResultOpener()
{
    return g_opener.load();
}

void OpenResultInViewer(void* data)
{
    const std::unique_ptr<std::string> file(static_cast<std::string*>(data));
    if (file)
        OpenOne(*file);
}

void OpenResultsInViewer(void* data)
{
    const std::unique_ptr<ResultFileList> list(static_cast<ResultFileList*>(data));
    if (!list)
        return;
    for (const std::string& file : list->names)
        OpenOne(file, list->stretchType);
}
