#include "view/VectorView.h"

#include <algorithm>
#include <climits>

#include "vector/VectorImage.h"

CVectorView::CVectorView()
{
    m_nKind = 2;
}

CVectorView::~CVectorView() = default;

void CVectorView::Attach(int index, CVectorImage* image, int width, int height)
{
    m_nIndex = index;
    m_pImage = image;
    m_nWidth = width;
    m_nHeight = height;
    m_nKind = 2;
}

void CVectorView::PaintScaled(plat::DeviceContext* dc, int x, int y, int, int, double reduction, int, void*,
                              std::size_t, plat::BitmapInfo*)
{
    if (m_pImage == nullptr || !m_bShown)
        return;
    auto toImage = [&](int v) { return int(std::clamp(v * reduction, double(INT_MIN), double(INT_MAX))); };
    const CPoint origin{toImage(x), toImage(y)};
    m_pImage->Paint(dc, reduction, origin, -1);
}

void CVectorView::RenderRGB(int, int, int, int, int, int, double, int, unsigned char*, std::size_t, CMeterInfoBase*) {}

void CVectorView::PaintDirect(plat::DeviceContext*, int, int, int, int, int, int, double, int, void*, std::size_t,
                              plat::BitmapInfo*)
{}

void CVectorView::SetScale(double) {}

std::string CVectorView::GetLayerName()
{
    return {};
}
