// Display operations of a prepared raster view: palettes, painting at any zoom,
// 24-bit rendering, the sample read-out, profiles and segment saving.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "platform/errors/Exception.h"
#include "platform/errors/FaultGuard.h"
#include "platform/dialogs/MessageBox.h"
#include "FileProblems.h"
#include "platform/dialogs/MessageBox.h"
#include "ViewerStrings.h"
#include "dialogs/FileMasks.h"
#include "dialogs/InfoFileDialog.h"
#include "jobs/MeterInfo.h"
#include "jobs/ThreadList.h"
#include "layer/RDPFileTags.h"
#include "layer/Transform.h"
#include "util/DoubleToInt.h"
#include "view/RasterDisplayMath.h"
#include "view/RasterView.h"
#include "view/RenderSource.h"
#include "view/SegmentSave.h"
#include "window/ProfileFrame.h"

namespace {

// Save dialog flags: OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_SHAREAWARE | OFN_NOREADONLYRETURN.
constexpr unsigned kSegmentDialogFlags = 0xC006;

// Bytes of a row of width pixels padded to 4 bytes.
std::int64_t PaddedRow(std::int64_t width)
{
    return (width + 3) / 4 * 4;
}

// Whether a region extraction of width x height rows rowBytes apart stays inside bytes:
// with fit and a magnification the pyramid delivers the whole layer instead.
bool ExtractionFits(std::int64_t rowBytes, std::int64_t width, std::int64_t height, double reduction, int fit,
                    int layerWidth, int layerHeight, std::uint64_t bytes)
{
    if (reduction < 1.0 && fit) {
        width = layerWidth;
        height = layerHeight;
    }
    return rowBytes >= width && std::uint64_t(rowBytes) * std::uint64_t(height) <= bytes;
}

void FillColourTable(plat::BitmapInfo& info, const PaletteEntries& palette)
{
    info.bitCount = 8;
    for (int i = 0; i < 256; ++i)
        info.colors[i] = plat::RgbQuad{palette[i][2], palette[i][1], palette[i][0], 0};
}

}  // namespace

// ---- palettes ----------------------------------------------------------------

void CRasterView::SetGreyPalettes()
{
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) {
            m_SourcePalette[i][c] = static_cast<unsigned char>(i);
            m_DisplayPalette.entries[i][c] = static_cast<unsigned char>(i);
        }
    m_bRegionValid = 0;
}

void CRasterView::SetGreyEntry(int index, int value)
{
    if (index < 0 || index > 255)
        return;
    const auto v = static_cast<unsigned char>(std::clamp(value, 0, 255));
    m_DisplayPalette.entries[index][0] = m_DisplayPalette.entries[index][1] = m_DisplayPalette.entries[index][2] = v;
    m_bRegionValid = 0;
}

// The stored contrast serves as K itself, not through ContrastK: after a positive
// contrast a brightness change draws the gentler slope the palettes always had.
void CRasterView::SetBrightness(int value, int mode)
{
    if (mode != 1)
        return;
    BuildDisplayPalette(m_SourcePalette, double(m_nContrast), value, m_DisplayPalette.entries);
    m_nBrightness = value;
    m_bRegionValid = 0;
}

void CRasterView::SetContrast(int value)
{
    BuildDisplayPalette(m_SourcePalette, ContrastK(value), m_nBrightness, m_DisplayPalette.entries);
    m_nContrast = value;
    m_bRegionValid = 0;
}

// The histogram is the job's while the layer is prepared.
void CRasterView::EqualizeHistogram()
{
    if (IsBusy())
        return;
    unsigned char map[256];
    EqualizationMap(m_pShared->m_Histogram, map);
    for (int i = 0; i < 256; ++i)
        SetGreyEntry(i, map[i]);
}

void CRasterView::GetPalitra(PalitraTag* out)
{
    if (out != nullptr)
        std::memcpy(out->entries, m_SourcePalette, sizeof m_SourcePalette);
}

void CRasterView::SetPalitra(PalitraTag* in)
{
    if (in == nullptr)
        return;
    std::memmove(m_SourcePalette, in->entries, sizeof m_SourcePalette);
    SetBrightness(m_nBrightness, 1);
    m_bRegionValid = 0;
}

void CRasterView::SetScale(double reduction)
{
    m_pShared->m_Pyramid.SetScale(reduction);
    m_bRegionValid = 0;
}

// ---- painting ----------------------------------------------------------------

void CRasterView::PaintScaled(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                              void* bits, std::size_t bitsBytes, plat::BitmapInfo* info)
{
    if (!m_bShown || IsBusy())
        return;
    if (dc == nullptr || bits == nullptr || info == nullptr || width <= 0 || height <= 0 || !(reduction > 0.0) ||
        !std::isfinite(reduction))
        return;
    FillColourTable(*info, m_DisplayPalette.entries);
    const auto extract = [this](unsigned char* buffer, int rowBytes, int rx, int ry, int rw, int rh, double r, int f,
                                plat::RowsReady ready) {
        m_pShared->m_Pyramid.GetRegion(buffer, rowBytes, rx, ry, rw, rh, r, f, 1, 0, nullptr, &ready);
    };
    PaintZoomed(dc, x, y, width, height, reduction, fit, bits, bitsBytes, *info, PaintPixels{1, &PaddedRow, extract});
}

void CRasterView::PaintDirect(plat::DeviceContext* dc, int x, int y, int dstX, int dstY, int width, int height,
                              double reduction, int fit, void* bits, std::size_t bitsBytes, plat::BitmapInfo* info)
{
    if (!m_bShown || IsBusy())
        return;
    m_bRegionValid = 0;
    if (dc == nullptr || bits == nullptr || info == nullptr || width <= 0 || height <= 0)
        return;
    const std::int64_t rowBytes = PaddedRow(width);
    if (rowBytes > INT_MAX || !ExtractionFits(rowBytes, width, height, reduction, fit, m_nWidth, m_nHeight, bitsBytes))
        return;
    info->bitCount = 8;
    m_pShared->m_Pyramid.GetRegion(static_cast<unsigned char*>(bits), int(rowBytes), x, y, width, height, reduction,
                                   fit, 1, 0, nullptr);
    info->width = int(rowBytes);
    info->height = -height;
    dc->SetDIBitsToDevice(dstX, dstY, width, height, 0, 0, bits, std::size_t(rowBytes) * std::size_t(height), *info);
}

namespace {

// The pyramid's block, the cache mapping it lies in and the display palette of the
// moment the source was taken. A caller's level block may go with the view, so a
// source that outlives the view over one reads its own copy of the levels.
class RasterRenderSource final : public CRenderSource {
public:
    RasterRenderSource(std::shared_ptr<RasterViewShared> shared, const CMemoryMap& cache, const PalitraTag& palette,
                       int width, int height)
        : m_pShared(std::move(shared)), m_Cache(cache), m_Palette(palette), m_nWidth(width), m_nHeight(height)
    {}

    // Reads from a copy of levels (the whole pyramid) instead of the shared block.
    void CopyLevels(const unsigned char* levels)
    {
        const std::int64_t size = GetViewerTempSize(m_nWidth, m_nHeight);
        if (levels == nullptr || size <= 0 || m_pShared->m_bBusy.load())
            return;
        m_Levels.assign(levels, levels + size);
        m_pOwnPyramid = std::make_unique<CDisplayPyramid>();
        if (!m_pOwnPyramid->Attach(m_Levels.data(), m_nWidth, m_nHeight, size))
            m_pOwnPyramid.reset();
    }

    int GetWidth() const override { return m_nWidth; }
    int GetHeight() const override { return m_nHeight; }

    // Rows always come bottom-up, whatever bottomUp asks.
    void RenderRGB(int x, int y, int width, int height, int rowBytes, int /*bottomUp*/, double reduction,
                   int wholeImage, unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter) const override
    {
        if (m_pShared->m_bBusy.load() || out == nullptr || width <= 0 || height <= 0)
            return;
        const std::int64_t total = std::int64_t(rowBytes) * height;
        if (std::int64_t(rowBytes) < 3 * std::int64_t(width) || std::uint64_t(total) > outBytes)
            return;
        // The levels go to the last width x height bytes, which must hold what is extracted.
        const std::int64_t levelBytes = std::int64_t(width) * height;
        if (!ExtractionFits(width, width, height, reduction, wholeImage, m_nWidth, m_nHeight,
                            std::uint64_t(levelBytes)))
            return;
        if (meter)
            meter->SetRange(0, 2.0 * height);
        unsigned char* levels = out + (total - levelBytes);
        const CDisplayPyramid& pyramid = m_pOwnPyramid ? *m_pOwnPyramid : m_pShared->m_Pyramid;
        pyramid.GetRegion(levels, width, x, y, width, height, reduction, wholeImage, 1, 1, meter);
        ExpandLevelsToBGR(out, outBytes, width, height, rowBytes, m_Palette.entries, [meter](int) {
            if (meter)
                meter->StepIt();
        });
    }

private:
    std::shared_ptr<RasterViewShared> m_pShared;
    CMemoryMap m_Cache;
    PalitraTag m_Palette;
    int m_nWidth;
    int m_nHeight;
    std::vector<unsigned char> m_Levels;
    std::unique_ptr<CDisplayPyramid> m_pOwnPyramid;
};

}  // namespace

std::shared_ptr<CRenderSource> CRasterView::GetRenderSource()
{
    auto source = std::make_shared<RasterRenderSource>(m_pShared, m_CacheMap, m_DisplayPalette, m_nWidth, m_nHeight);
    if (m_bCallerBuffers)
        source->CopyLevels(m_pLevels);
    return source;
}

void CRasterView::RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction,
                            int wholeImage, unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter)
{
    // Rendered here and now: the view's own blocks serve.
    RasterRenderSource(m_pShared, m_CacheMap, m_DisplayPalette, m_nWidth, m_nHeight)
        .RenderRGB(x, y, width, height, rowBytes, bottomUp, reduction, wholeImage, out, outBytes, meter);
}

// ---- read-out and profiles ---------------------------------------------------------

std::string CRasterView::GetValueString(int x, int y)
{
    double value = 0.0;
    if (!IsBusy() && m_pPixels != nullptr && x >= 0 && x < m_nWidth && y >= 0 && y < m_nHeight) {
        // The layer is mapped: another program may have cut the file short.
        try {
            value = plat::CallFaultGuarded([&] {
                return SampleValue(static_cast<const unsigned char*>(m_pPixels) + std::int64_t(y) * m_nRowBytes, x,
                                   m_nType, m_bPhase);
            });
        } catch (const plat::HardwareFault&) {
            return {};
        }
    }
    return FormatValue(value);
}

void CRasterView::ShowProfile(int axis, int position)
{
    const int count = axis == 1 ? m_nWidth : m_nHeight;
    if (count <= 0)
        return;
    std::erase_if(m_Profiles, [](const QPointer<CProfileFrame>& p) { return p.isNull(); });
    const std::string title =
        LoadViewerString(axis == 1 ? IDS_PROFILE_ALONG_X : IDS_PROFILE_ALONG_Y) + std::to_string(position);
    auto* frame = new CProfileFrame;
    if (!frame->Create(this, title, axis, position, count)) {
        delete frame;
        return;
    }
    m_Profiles.emplace_back(frame);
    // Display levels of the full-resolution level; none while the pyramid is built.
    if (!IsBusy()) {
        if (axis == 1)
            m_pShared->m_Pyramid.GetLine(frame->Values(), count, 1, position);
        else
            m_pShared->m_Pyramid.GetLine(frame->Values(), 1, count, position);
    }
    frame->show();
}

std::vector<CProfileFrame*> CRasterView::OpenProfiles() const
{
    std::vector<CProfileFrame*> open;
    for (const QPointer<CProfileFrame>& p : m_Profiles)
        if (p)
            open.push_back(p.data());
    return open;
}

void CRasterView::CloseProfiles()
{
    for (const QPointer<CProfileFrame>& p : m_Profiles)
        if (p)
            p->DestroyWindow();
    m_Profiles.clear();
}

// ---- segments ----------------------------------------------------------------

void CRasterView::SaveSegment(const RECT* rect)
{
    if (rect == nullptr || m_strFileName.empty() || m_Layer.Pixels() == nullptr)
        return;
    const std::string filter = DefaultLayerFilter();
    CInfoFileDialog dialog(0, "rdp", nullptr, kSegmentDialogFlags, filter.c_str(), m_pNotifyWnd);
    if (dialog.DoModal() != plat::IDOK)
        return;
    auto params =
        std::make_unique<RasterSegmentParams>(RasterSegmentParams{dialog.GetPathName(), m_strFileName, *rect, m_Layer});
    if (GlobalThreadList().RunThread(LoadViewerString(IDS_SAVING_SEGMENT), &CRasterView::SaveSegmentEntry, params.get(),
                                     nullptr, nullptr, 1))
        params.release();
}

void CRasterView::SaveSegmentEntry(void* data, CMeterInfo* meter)
{
    SaveSegmentJob(static_cast<RasterSegmentParams*>(data), meter);
}

void CRasterView::SaveSegmentJob(RasterSegmentParams* params, CMeterInfoBase* meter)
{
    std::unique_ptr<RasterSegmentParams> own(params);
    if (!own)
        return;
    std::vector<SegmentPlane> planes(1);
    planes[0].output = own->m_strOutput;
    planes[0].source = own->m_strSource;
    planes[0].layer = own->m_Source;
    SaveSegmentPlanes(planes, own->m_Rect, meter);
}
