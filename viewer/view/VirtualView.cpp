#include "view/VirtualView.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "DeviceContext.h"
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
