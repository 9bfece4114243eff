#include "raw/PreviewViewer.h"

#include <QObject>
#include <QPointer>

#include <atomic>

#include "frame/FrameViewer.h"
#include "window/Frame.h"
#include "window/ViewRect.h"

static_assert(int(VIEWER_CLOSED) == int(VN_CLOSED) && int(VIEWER_READY) == int(VN_READY) &&
              int(VIEWER_FAILED) == int(VN_FAILED));
static_assert(VIEWER_FRAME_MOVED == VIEWER_NOTIFY_FRAME);

namespace {

std::atomic<PreviewViewerOpener> g_opener{nullptr};

// The preview face of a CFrameViewer. A child object of the viewer's window, it goes
// with the viewer; the viewer's closed notice carries the viewer's own address.
class FramePreviewViewer final : public QObject, public PreviewViewer {
public:
    explicit FramePreviewViewer(CFrameViewer* viewer) : QObject(viewer), m_viewer(viewer), m_key(plat::WParam(viewer))
    {}

    plat::WParam ClosedKey() const override { return m_key; }

    void Activate() override
    {
        if (!m_viewer)
            return;
        m_viewer->showNormal();
        m_viewer->raise();
        m_viewer->activateWindow();
    }

    void DestroyWindow() override
    {
        if (m_viewer)
            m_viewer->DestroyWindow();
    }

    void EnableMenuItems(int enable, int mask) override
    {
        if (m_viewer)
            m_viewer->EnableMenuItems(enable, mask);
    }

    void ShowDefaultFrame(const plat::WindowHandle& window) override
    {
        if (CFrame* frame = SelectionFrame()) {
            frame->SetFrame(CRect());
            frame->m_pNotifyWnd = window;
        }
    }

    PreviewFrame Frame() const override
    {
        const CFrame* frame = SelectionFrame();
        if (!frame)
            return {};
        const CRect rc = frame->GetFrame();
        return {rc.left, rc.top, rc.right, rc.bottom};
    }

private:
    // The frame that the image window draws and the mouse moves.
    CFrame* SelectionFrame() const
    {
        return m_viewer && m_viewer->GetViewRect() ? &m_viewer->GetViewRect()->GetFrame() : nullptr;
    }

    QPointer<CFrameViewer> m_viewer;
    plat::WParam m_key;
};

PreviewViewer* OpenFrameViewer(const PreviewViewerRequest& request)
{
    auto* viewer = new CFrameViewer;
    if (!viewer->Create(request.host, request.id, request.phaseMode, request.sigma, request.stretchType,
                        request.file.c_str(), nullptr)) {
        delete viewer;
        return nullptr;
    }
    return new FramePreviewViewer(viewer);
}

}  // namespace

void SetPreviewViewerOpener(PreviewViewerOpener opener)
{
    g_opener.store(opener);
}

PreviewViewer* OpenPreviewViewer(const PreviewViewerRequest& request)
{
    const PreviewViewerOpener open = g_opener.load();
    return open ? open(request) : OpenFrameViewer(request);
}
