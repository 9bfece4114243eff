#include "ResultViewers.h"

#include <memory>

#include "frame/ViewResult.h"

namespace {

void OpenOne(const std::string& file)
{
    ViewResultParam param;
    param.fSigma = 2.0f;
    param.nStretchType = 2;
    param.strFileName = file;
    ViewerCreate(&param);
}

}  // namespace

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
        OpenOne(file);
}
