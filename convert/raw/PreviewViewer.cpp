#include "raw/PreviewViewer.h"

#include <atomic>

namespace {

std::atomic<PreviewViewerOpener> g_opener{nullptr};

}  // namespace

void SetPreviewViewerOpener(PreviewViewerOpener opener)
{
    g_opener.store(opener);
}

PreviewViewer* OpenPreviewViewer(const PreviewViewerRequest& request)
{
    const PreviewViewerOpener open = g_opener.load();
    return open ? open(request) : nullptr;
}
