#include "ResultViewer.h"

#include <atomic>
#include <memory>

namespace {

std::atomic<ResultOpener> g_opener{nullptr};

}  // namespace

void SetResultOpener(ResultOpener opener)
{
    g_opener.store(opener);
}

void OpenResultInViewer(void* data)
{
    const std::unique_ptr<std::string> file(static_cast<std::string*>(data));
    if (const ResultOpener open = g_opener.load())
        open(*file, 2);
}
