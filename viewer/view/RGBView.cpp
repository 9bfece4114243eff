#include "view/RGBView.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "platform/errors/Exception.h"
#include "FileProblems.h"
#include "platform/threads/GuiThread.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/threads/ParallelFor.h"
#include "ViewerStrings.h"
#include "dialogs/RGBChannelsDlg.h"
#include "jobs/MeterInfo.h"
#include "jobs/ThreadList.h"
#include "layer/RDPFileTags.h"
#include "layer/Transform.h"
#include "util/DoubleToInt.h"
#include "view/RGBViewMath.h"
#include "view/RenderSource.h"
#include "view/SegmentSave.h"
#include "window/ViewerMessages.h"

namespace {

constexpr int kReady = 2;
constexpr int kFailed = 3;

// Index 0..2 of channel 3..5 (red, green, blue); -1 for any other.
int ChannelIndex(int channel)
{
    return channel >= 3 && channel <= 5 ? channel - 3 : -1;
}

// A channel's own answer for its band, or none without that channel.
template <class T, class Ask>
T AnswerOf(CRasterView* view, T none, Ask ask)
{
    return view ? ask(*view) : none;
}

}  // namespace

// Everything one preparation needs, owned by the job.
struct CRGBView::PrepareJob {
    std::shared_ptr<RGBViewShared> shared;
    CRGBView* view = nullptr;  // touched on the GUI thread only, and only while it is open
    std::string files[3];
    CMeterInfoBase* meter = nullptr;
    plat::WindowHandle status;
    plat::WindowHandle notify;
    int index = 0;
};

CRGBView::CRGBView()
{
    m_nKind = 1;
    m_nColorMode = 2;
}

CRGBView::~CRGBView()
{
    m_pShared->m_bClosed.store(true);
}

int CRGBView::OpenImage(int index, plat::WindowHandle notifyWnd, const char* red, const char* green, const char* blue,
                        CMeterInfoBase* meter, plat::WindowHandle statusWnd)
{
    // The channels belong to a running job until it ends.
    if (IsBusy())
        return 0;
    m_pNotifyWnd = notifyWnd;
    m_nIndex = index;
    m_strFile[0] = red ? red : "";
    m_strFile[1] = green ? green : "";
    m_strFile[2] = blue ? blue : "";
    m_strLayerName = RGBLayerName(m_strFile[0], m_strFile[1], m_strFile[2]);

    auto job = std::make_unique<PrepareJob>();
    job->shared = m_pShared;
    job->view = this;
    for (int c = 0; c < 3; ++c)
        job->files[c] = m_strFile[c];
    job->meter = meter;
    job->status = statusWnd;
    job->notify = notifyWnd;
    job->index = index;
    m_pShared->m_bBusy.store(1);
    if (!GlobalThreadList().RunThread("Open Image", &CRGBView::PrepareJobEntry, job.get(), 1)) {
        m_pShared->m_bBusy.store(0);
        return 0;
    }
    job.release();
    return 1;
}

void CRGBView::PrepareJobEntry(void* data)
{
    std::unique_ptr<PrepareJob> job(static_cast<PrepareJob*>(data));
    PrepareChannels(*job);
}

// Any failure, an exception of a file that is no layer file included, ends in the
// failed notice with busy cleared. Three files of different sizes fail too: they
// may have changed since the dialog compared them.
int CRGBView::PrepareChannels(PrepareJob& job)
{
    RGBViewShared& shared = *job.shared;
    int ok = 0;
    try {
        for (int c = 0; c < 3; ++c) {
            shared.m_bReady[c] = false;
            shared.m_pChannels[c].reset();
        }
        for (auto& channel : shared.m_pChannels)
            channel = std::make_unique<CRasterView>();
        const std::shared_ptr<CMeterInfoBase> meter =
            MakeJobMeter(std::shared_ptr<const std::atomic<bool>>(job.shared, &shared.m_bClosed), job.meter);
        ok = 1;
        for (int c = 0; c < 3 && ok; ++c)
            shared.m_bReady[c] = ok = shared.m_pChannels[c]->PrepareFile(job.files[c].c_str(), meter.get(), job.status);
        for (int c = 1; c < 3 && ok; ++c)
            ok = shared.m_pChannels[c]->GetWidth() == shared.m_pChannels[0]->GetWidth() &&
                 shared.m_pChannels[c]->GetHeight() == shared.m_pChannels[0]->GetHeight();
    } catch (plat::Exception* e) {
        e->Delete();
        ok = 0;
    } catch (...) {
        ok = 0;
    }
    const int width = ok ? shared.m_pChannels[0]->GetWidth() : 0;
    const int height = ok ? shared.m_pChannels[0]->GetHeight() : 0;
    shared.m_failure = {};
    if (!ok) {
        shared.m_failure.reason = "The picture could not be prepared";
        bool allReady = true;
        for (int c = 0; c < 3 && allReady; ++c) {
            if (shared.m_bReady[c])
                continue;
            allReady = false;
            shared.m_failure.file = job.files[c];
            if (shared.m_pChannels[c] && !shared.m_pChannels[c]->GetOpenFailure().reason.empty())
                shared.m_failure.reason = shared.m_pChannels[c]->GetOpenFailure().reason;
        }
        if (allReady) {
            // The first channel whose size differs from the red one's.
            for (int c = 2; c >= 1; --c)
                if (shared.m_pChannels[c]->GetWidth() != shared.m_pChannels[0]->GetWidth() ||
                    shared.m_pChannels[c]->GetHeight() != shared.m_pChannels[0]->GetHeight())
                    shared.m_failure.file = job.files[c];
            shared.m_failure.reason = "Its size differs from the red channel's";
        }
    }
    shared.m_bBusy.store(0);
    if (job.notify) {
        std::shared_ptr<RGBViewShared> keep = job.shared;
        plat::PostToGuiThread([keep, view = job.view, notify = job.notify, index = job.index, ok, width, height] {
            if (keep->m_bClosed.load())
                return;
            if (ok) {
                view->m_nWidth = width;
                view->m_nHeight = height;
            }
            notify.SendMessage(WM_VIEWER_NOTIFY, plat::WParam(index), plat::LParam(ok ? kReady : kFailed));
        });
    }
    return ok;
}

FileFailure CRGBView::GetOpenFailure()
{
    return IsBusy() ? FileFailure{} : m_pShared->m_failure;
}

// ---- answers -----------------------------------------------------------------

CRasterView* CRGBView::GetChannel(int channel) const
{
    const int c = ChannelIndex(channel);
    if (c < 0 || IsBusy() || !m_pShared->m_bReady[c])
        return nullptr;
    return m_pShared->m_pChannels[c].get();
}

bool CRGBView::Channels(CRasterView* (&out)[3]) const
{
    for (int c = 0; c < 3; ++c)
        if ((out[c] = GetChannel(3 + c)) == nullptr)
            return false;
    return true;
}

int CRGBView::GetLevel(int channel) const
{
    const int c = ChannelIndex(channel);
    return c < 0 ? -1 : m_nLevel[c];
}

void CRGBView::SetBrightness(int value, int channel)
{
    if (const int c = ChannelIndex(channel); c >= 0)
        m_nLevel[c] = std::clamp(value, 0, 255);
    m_bRegionValid = 0;
}

std::uint32_t* CRGBView::GetHistAddr(int channel)
{
    return AnswerOf(GetChannel(channel), static_cast<std::uint32_t*>(nullptr),
                    [](CRasterView& v) { return v.GetHistAddr(1); });
}

double CRGBView::GetRangeMin(int channel)
{
    return AnswerOf(GetChannel(channel), -1.0, [](CRasterView& v) { return v.GetRangeMin(1); });
}

double CRGBView::GetRangeMax(int channel)
{
    return AnswerOf(GetChannel(channel), -1.0, [](CRasterView& v) { return v.GetRangeMax(1); });
}

std::string CRGBView::GetFileName(int channel)
{
    return AnswerOf(GetChannel(channel), std::string(), [](CRasterView& v) { return v.GetFileName(1); });
}

double CRGBView::Min(int channel)
{
    return AnswerOf(GetChannel(channel), -1.0, [](CRasterView& v) { return v.Min(1); });
}

double CRGBView::Max(int channel)
{
    return AnswerOf(GetChannel(channel), -1.0, [](CRasterView& v) { return v.Max(1); });
}

double CRGBView::Mean(int channel)
{
    return AnswerOf(GetChannel(channel), -1.0, [](CRasterView& v) { return v.Mean(1); });
}

double CRGBView::StDev(int channel)
{
    return AnswerOf(GetChannel(channel), -1.0, [](CRasterView& v) { return v.StDev(1); });
}

std::string CRGBView::GetStringSizePixel(int channel)
{
    return AnswerOf(GetChannel(channel), std::string(), [](CRasterView& v) { return v.GetStringSizePixel(1); });
}

std::string CRGBView::GetStringTypeData(int channel)
{
    return AnswerOf(GetChannel(channel), std::string(), [](CRasterView& v) { return v.GetStringTypeData(1); });
}

std::string CRGBView::GetValueString(int x, int y)
{
    CRasterView* channels[3];
    if (!Channels(channels))
        return {};
    return RGBValueString(channels[0]->GetValueString(x, y), channels[1]->GetValueString(x, y),
                          channels[2]->GetValueString(x, y));
}

// ---- painting ----------------------------------------------------------------

void CRGBView::ApplyLevels(unsigned char* buffer, int rowBytes, int width, int height) const
{
    ::ApplyLevels(buffer, rowBytes, width, height, m_nLevel[2], m_nLevel[1], m_nLevel[0]);
}

// Reduced or 1:1 top-down regions come out the same in bands of rows, so the three
// channels are extracted band by band on the parallel loop, the three of a band on
// one thread (a channel's bytes are spread with the pixels' other bytes read and
// written back). A magnification (its
// replication is phased from the region's first row), a bottom-up region and a
// metered one are extracted whole, channel after channel.
void CRGBView::ExtractPlanes(CRasterView* const (&channels)[3], unsigned char* buffer, int rowBytes, int x, int y,
                             int width, int height, double reduction, int fit, int bottomUp, CMeterInfoBase* meter)
{
    constexpr int kBand = 64;
    if (reduction < 1.0 || bottomUp || meter != nullptr || height <= kBand) {
        for (int c = 0; c < 3; ++c)
            channels[c]->GetRegion(buffer + RGBPlaneOffset(3 + c), rowBytes, x, y, width, height, reduction, fit, 3,
                                   bottomUp, meter);
        return;
    }
    const std::int64_t bands = (height + kBand - 1) / kBand;
    const int threads = plat::ParallelThreadsFor(std::int64_t(rowBytes) * height);
    plat::ParallelFor(bands, 1, threads, [&](std::int64_t first, std::int64_t end, int) {
        for (std::int64_t band = first; band < end; ++band) {
            const int top = int(band) * kBand;
            for (int c = 0; c < 3; ++c)
                channels[c]->GetRegion(buffer + std::int64_t(top) * rowBytes + RGBPlaneOffset(3 + c), rowBytes, x,
                                       y + top, width, std::min(kBand, height - top), reduction, fit, 3, 0, nullptr);
        }
    });
}

void CRGBView::SetScale(double reduction)
{
    if (!IsBusy())
        for (auto& channel : m_pShared->m_pChannels)
            if (channel)
                channel->SetScale(reduction);
    m_bRegionValid = 0;
}

void CRGBView::PaintDirect(plat::DeviceContext* dc, int x, int y, int dstX, int dstY, int width, int height,
                           double reduction, int fit, void* bits, std::size_t bitsBytes, plat::BitmapInfo* info)
{
    if (!m_bShown || IsBusy())
        return;
    m_bRegionValid = 0;
    CRasterView* channels[3];
    if (!Channels(channels) || dc == nullptr || bits == nullptr || info == nullptr || width <= 0 || height <= 0 ||
        !(reduction > 0.0) || !std::isfinite(reduction))
        return;
    const std::int64_t rowBytes = RGBRowBytes(width);
    if (rowBytes > INT_MAX ||
        !RGBExtractionFits(rowBytes, width, height, reduction, fit, m_nWidth, m_nHeight, bitsBytes))
        return;
    auto* buffer = static_cast<unsigned char*>(bits);
    info->bitCount = 24;
    ExtractPlanes(channels, buffer, int(rowBytes), x, y, width, height, reduction, fit, 0, nullptr);
    info->width = int(rowBytes / 3);
    info->height = -height;
    ApplyLevels(buffer, int(rowBytes), width, height);
    dc->SetDIBitsToDevice(dstX, dstY, width, height, 0, 0, bits, std::size_t(rowBytes) * std::size_t(height), *info);
}

void CRGBView::PaintScaled(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                           void* bits, std::size_t bitsBytes, plat::BitmapInfo* info)
{
    CRasterView* channels[3];
    if (!m_bShown || IsBusy() || !Channels(channels))
        return;
    if (dc == nullptr || bits == nullptr || info == nullptr || width <= 0 || height <= 0 || !(reduction > 0.0) ||
        !std::isfinite(reduction))
        return;
    info->bitCount = 24;
    // The three channels are extracted and levelled whole, then drawn.
    const auto extract = [&](unsigned char* buffer, int rowBytes, int rx, int ry, int rw, int rh, double r, int f,
                             plat::RowsReady ready) {
        ExtractPlanes(channels, buffer, rowBytes, rx, ry, rw, rh, r, f, 0, nullptr);
        ApplyLevels(buffer, rowBytes, rw, rh);
        ready(0, rh);
    };
    PaintZoomed(dc, x, y, width, height, reduction, fit, bits, bitsBytes, *info, PaintPixels{3, &RGBRowBytes, extract});
}

// The channels' block and the levels of the moment the source was taken.
class CRGBView::Render final : public CRenderSource {
public:
    Render(std::shared_ptr<RGBViewShared> shared, const int (&levels)[3], int width, int height)
        : m_pShared(std::move(shared)), m_nLevel{levels[0], levels[1], levels[2]}, m_nWidth(width), m_nHeight(height)
    {}

    int GetWidth() const override { return m_nWidth; }
    int GetHeight() const override { return m_nHeight; }

    void RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction, int wholeImage,
                   unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter) const override
    {
        if (m_pShared->m_bBusy.load() || out == nullptr || width <= 0 || height <= 0)
            return;
        CRasterView* channels[3];
        for (int c = 0; c < 3; ++c)
            if (!m_pShared->m_bReady[c] || (channels[c] = m_pShared->m_pChannels[c].get()) == nullptr)
                return;
        if (!RGBExtractionFits(rowBytes, width, height, reduction, wholeImage, m_nWidth, m_nHeight, outBytes))
            return;
        const bool whole = reduction < 1.0 && wholeImage;
        const int w = whole ? m_nWidth : width, h = whole ? m_nHeight : height;
        if (meter)
            meter->SetRange(0, 3.0 * height);
        ExtractPlanes(channels, out, rowBytes, x, y, width, height, reduction, wholeImage, bottomUp, meter);
        ::ApplyLevels(out, rowBytes, w, h, m_nLevel[2], m_nLevel[1], m_nLevel[0]);
    }

private:
    std::shared_ptr<RGBViewShared> m_pShared;
    int m_nLevel[3];  // red, green, blue
    int m_nWidth;
    int m_nHeight;
};

std::shared_ptr<CRenderSource> CRGBView::GetRenderSource()
{
    return std::make_shared<Render>(m_pShared, m_nLevel, m_nWidth, m_nHeight);
}

void CRGBView::RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction,
                         int wholeImage, unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter)
{
    GetRenderSource()->RenderRGB(x, y, width, height, rowBytes, bottomUp, reduction, wholeImage, out, outBytes, meter);
}

// ---- segments ----------------------------------------------------------------

void CRGBView::SaveSegment(const RECT* rect)
{
    CRasterView* channels[3];
    if (rect == nullptr || !Channels(channels))
        return;
    CRGBChannelsDlg dialog(m_pNotifyWnd, 0);
    if (dialog.DoModal() != plat::IDOK)
        return;
    auto params = std::make_unique<SegmentParams>();
    params->m_strOutput[0] = dialog.GetRedFileName();
    params->m_strOutput[1] = dialog.GetGreenFileName();
    params->m_strOutput[2] = dialog.GetBlueFileName();
    for (int c = 0; c < 3; ++c) {
        params->m_strSource[c] = channels[c]->GetFileName(1);
        params->m_Source[c] = *channels[c]->GetLayer();
    }
    params->m_Rect = *rect;
    if (GlobalThreadList().RunThread(LoadViewerString(IDS_SAVING_SEGMENT), &CRGBView::SaveSegmentEntry, params.get(),
                                     nullptr, nullptr, 1))
        params.release();
}

void CRGBView::SaveSegmentEntry(void* data, CMeterInfo* meter)
{
    SaveSegmentJob(static_cast<SegmentParams*>(data), meter);
}

void CRGBView::SaveSegmentJob(SegmentParams* params, CMeterInfoBase* meter)
{
    std::unique_ptr<SegmentParams> own(params);
    if (!own)
        return;
    std::vector<SegmentPlane> planes(3);
    for (int c = 0; c < 3; ++c) {
        planes[std::size_t(c)].output = own->m_strOutput[c];
        planes[std::size_t(c)].source = own->m_strSource[c];
        planes[std::size_t(c)].layer = own->m_Source[c];
    }
    SaveSegmentPlanes(planes, own->m_Rect, meter);
}
