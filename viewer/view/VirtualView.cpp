#include "view/VirtualView.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/paint/BitmapInfo.h"
#include "platform/paint/DeviceContext.h"
#include "util/DoubleToInt.h"
#include "util/MathHelpers.h"
#include "view/RenderSource.h"

CRenderSource::~CRenderSource() = default;

CVirtualView::~CVirtualView() = default;

void CVirtualView::SetBrightness(int, int) {}

void CVirtualView::SetContrast(int) {}

void CVirtualView::EqualizeHistogram() {}

void CVirtualView::GetPalitra(PalitraTag*) {}

void CVirtualView::SetPalitra(PalitraTag*) {}

std::uint32_t* CVirtualView::GetHistAddr(int)
{
    return nullptr;
}

double CVirtualView::GetRangeMin(int)
{
    return -1.0;
}

double CVirtualView::GetRangeMax(int)
{
    return -1.0;
}

std::string CVirtualView::GetFileName(int)
{
    return {};
}

FileFailure CVirtualView::GetOpenFailure()
{
    return {};
}

std::string CVirtualView::GetValueString(int, int)
{
    return {};
}

double CVirtualView::Min(int)
{
    return 0.0;
}

double CVirtualView::Max(int)
{
    return 0.0;
}

double CVirtualView::Mean(int)
{
    return 0.0;
}

double CVirtualView::StDev(int)
{
    return 0.0;
}

std::string CVirtualView::GetStringSizePixel(int)
{
    return "CVirtualView";
}

std::string CVirtualView::GetStringTypeData(int)
{
    return "CVirtualView";
}

void CVirtualView::ShowProfile(int, int) {}

void CVirtualView::SaveSegment(const RECT*) {}

std::shared_ptr<CRenderSource> CVirtualView::GetRenderSource()
{
    return nullptr;
}

// The same origin and factor as the pyramid's replication: origin truncated, factor rounded.
CVirtualView::MagnifiedSource CVirtualView::SourceOfMagnified(int x, int y, int width, int height, double reduction,
                                                              int layerWidth, int layerHeight)
{
    MagnifiedSource s;
    if (!(reduction > 0.0 && reduction < 1.0) || width <= 0 || height <= 0 || x < 0 || y < 0)
        return s;
    const double left = std::trunc(x * reduction), top = std::trunc(y * reduction);
    if (!(left < layerWidth) || !(top < layerHeight))
        return s;
    s.factor = std::max(Round(1.0 / reduction), 1);
    s.x = int(left);
    s.y = int(top);
    s.width = int(std::min<std::int64_t>((std::int64_t(width) + s.factor - 1) / s.factor, layerWidth - s.x));
    s.height = int(std::min<std::int64_t>((std::int64_t(height) + s.factor - 1) / s.factor, layerHeight - s.y));
    return s;
}

void CVirtualView::DrawMagnified(plat::DeviceContext* dc, const MagnifiedSource& source, int width, int height,
                                 const void* bits, std::size_t bitsBytes, const plat::BitmapInfo& info)
{
    DrawMagnified(dc, source, width, height, bits, bitsBytes, info,
                  [](plat::RowsReady ready) { ready(0, INT64_MAX); });
}

void CVirtualView::DrawMagnified(plat::DeviceContext* dc, const MagnifiedSource& source, int width, int height,
                                 const void* bits, std::size_t bitsBytes, const plat::BitmapInfo& info,
                                 plat::FunctionRef<void(plat::RowsReady)> make)
{
    const std::int64_t w = std::min<std::int64_t>(width, std::int64_t(source.width) * source.factor);
    const std::int64_t h = std::min<std::int64_t>(height, std::int64_t(source.height) * source.factor);
    const std::int64_t spreadW = std::int64_t(source.width) * source.factor;
    const std::int64_t spreadH = std::int64_t(source.height) * source.factor;
    const plat::Rect before = dc->GetClipBox();
    if (w <= 0 || h <= 0 || spreadW > INT_MAX || spreadH > INT_MAX || before.IsEmpty()) {
        make([](std::int64_t, std::int64_t) {});
        return;
    }
    // A whole number of factors wide keeps every source pixel exactly factor pixels
    // wide; the clip cuts the last ones at the region's edge.
    dc->IntersectClipRect(plat::Rect{0, 0, int(w), int(h)});
    dc->StretchDIBits(0, 0, int(spreadW), int(spreadH), 0, 0, source.width, source.height, bits, bitsBytes, info,
                      make);
    dc->SelectClipRect(before);
}

void CVirtualView::PaintZoomed(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                               void* bits, std::size_t bitsBytes, plat::BitmapInfo& info, const PaintPixels& pixels)
{
    auto fits = [&](std::int64_t rowBytes, std::int64_t w, std::int64_t h) {
        return w > 0 && h > 0 && rowBytes <= INT_MAX && rowBytes >= pixels.pixelBytes * w &&
               std::uint64_t(rowBytes) * std::uint64_t(h) <= bitsBytes;
    };
    auto* buffer = static_cast<unsigned char*>(bits);
    const bool fresh = !m_bRegionValid;
    if (reduction < 1.0 && fit) {
        const std::int64_t rowBytes = pixels.rowBytes(m_nWidth);
        if (!fits(rowBytes, m_nWidth, m_nHeight))
            return;
        const int sx = TruncToInt(x * reduction), sy = TruncToInt(y * reduction);
        const int w = std::min(width, TruncToInt(m_nWidth / reduction) + 1);
        const int h = std::min(height, TruncToInt(m_nHeight / reduction) + 1);
        if (fresh)
            pixels.extract(buffer, int(rowBytes), 0, 0, m_nWidth, m_nHeight, reduction, fit,
                           [](std::int64_t, std::int64_t) {});
        info.width = int(rowBytes / pixels.pixelBytes);
        info.height = m_nHeight;
        dc->StretchDIBits(0, h - 1, w, -h, sx, sy, TruncToInt(w * reduction), TruncToInt(h * reduction), bits,
                          bitsBytes, info);
    } else if (reduction < 1.0) {
        // The colours are looked up once per source pixel; drawing spreads each one
        // over factor pixels and repeats rows.
        const MagnifiedSource source = SourceOfMagnified(x, y, width, height, reduction, m_nWidth, m_nHeight);
        const std::int64_t rowBytes = pixels.rowBytes(source.width);
        if (!fits(rowBytes, source.width, source.height))
            return;
        info.width = int(rowBytes / pixels.pixelBytes);
        info.height = -source.height;
        // A fresh region is drawn band by band as it is read.
        const auto make = [&](plat::RowsReady ready) {
            if (fresh)
                pixels.extract(buffer, int(rowBytes), source.x, source.y, source.width, source.height, 1.0, 0, ready);
            else
                ready(0, source.height);
        };
        DrawMagnified(dc, source, std::min(width, TruncToInt(m_nWidth / reduction)),
                      std::min(height, TruncToInt(m_nHeight / reduction)), bits,
                      std::size_t(rowBytes) * std::size_t(source.height), info, make);
    } else {
        const std::int64_t rowBytes = pixels.rowBytes(width);
        if (!fits(rowBytes, width, height))
            return;
        const int w = std::min(width, TruncToInt(m_nWidth / reduction));
        const int h = std::min(height, TruncToInt(m_nHeight / reduction));
        info.width = int(rowBytes / pixels.pixelBytes);
        info.height = -h;
        const auto make = [&](plat::RowsReady ready) {
            if (fresh)
                pixels.extract(buffer, int(rowBytes), x, y, width, height, reduction, fit, ready);
            else
                ready(0, h);
        };
        if (w > 0 && h > 0)
            dc->SetDIBitsToDevice(0, 0, w, h, 0, 0, bits, std::size_t(rowBytes) * std::size_t(h), info, make);
        else
            make([](std::int64_t, std::int64_t) {});
    }
    m_bRegionValid = 1;
}
