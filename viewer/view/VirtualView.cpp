#include "view/VirtualView.h"

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
