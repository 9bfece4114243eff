#include "view/SegmentSave.h"

#include <climits>
#include <cstdint>

#include "platform/errors/Exception.h"
#include "platform/errors/FaultGuard.h"
#include "FileProblems.h"
#include "platform/dialogs/MessageBox.h"
#include "ViewerStrings.h"
#include "conversion/ConversionJob.h"
#include "layer/RDPFileTags.h"
#include "layer/Transform.h"

namespace {

// The box names the file and the reason; without one of its own, the system's.
void TellCreationFailed(const std::string& file, std::string reason = {})
{
    if (reason.empty())
        reason = FileCreationProblem(file, 0);
    plat::MessageBox(plat::WindowHandle(), ErrorBoxText(LoadViewerString(IDS_ERROR_CREATING_FILE), file, reason), "",
                     plat::MB_OK);
}

}  // namespace

void SaveSegmentPlanes(std::vector<SegmentPlane>& planes, const RECT& rect, CMeterInfoBase* meter)
{
    const std::int64_t width = std::int64_t(rect.right) - rect.left, height = std::int64_t(rect.bottom) - rect.top;
    if (planes.empty())
        return;
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
        TellCreationFailed(planes.front().output, "The selected segment is empty or too large.");
        return;
    }
    ConversionJob job;
    for (const SegmentPlane& plane : planes)
        if (!plane.source.empty())
            job.AddInput(plane.source, false);
    for (const SegmentPlane& plane : planes)
        job.AddOutput(plane.output);
    if (!job.Open()) {
        if (job.FailureKind() == ConversionJob::Failure::Refused)
            plat::MessageBox(plat::WindowHandle(), job.Error(), "", plat::MB_OK | plat::MB_ICONEXCLAMATION);
        else
            TellCreationFailed(job.FailedPath().empty() ? planes.front().output : job.FailedPath());
        return;
    }
    std::vector<CRDPLayer> segments(planes.size(), CRDPLayer(meter));
    try {
        for (std::size_t c = 0; c < planes.size(); ++c) {
            SegmentPlane& plane = planes[c];
            if (segments[c].CreateLayer(job.Output(int(c)), int(width), int(height), plane.layer.Type(), 7) ==
                nullptr) {
                for (CRDPLayer& segment : segments)
                    segment.DestroyLayer();
                TellCreationFailed(plane.output);
                return;
            }
            segments[c].ReadData(&plane.layer, CPoint{rect.left, rect.top}, CPoint{0, 0},
                                 CSize{int(width), int(height)});
            segments[c].CloseLayer();
            const std::string written = job.WritePath(int(c));
            CopyTag(written.c_str(), plane.source.c_str());
            SaveSubsetTransform(SPoint{double(rect.left), double(rect.top)}, plane.source, written);
        }
    } catch (plat::Exception* e) {
        // A cancel or a failure of the copy: nothing is kept, nothing is said.
        e->Delete();
        for (CRDPLayer& segment : segments)
            segment.DestroyLayer();
        return;
    } catch (const plat::HardwareFault&) {
        // A source cut short under its mapping while it was copied.
        for (CRDPLayer& segment : segments)
            segment.DestroyLayer();
        std::string sources;
        for (const SegmentPlane& plane : planes)
            sources += (sources.empty() ? "" : ", ") + plane.source;
        TellCreationFailed(planes.front().output, "The source file was cut short while it was read: " + sources);
        return;
    }
    if (!job.Commit())
        TellCreationFailed(job.FailedPath().empty() ? planes.front().output : job.FailedPath(), job.Error());
}
