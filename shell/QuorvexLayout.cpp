#include "QuorvexLayout.h"

#include <algorithm>

#include "util/MathHelpers.h"

QuorvexLayout ComputeQuorvexLayout(const QuorvexLayoutInput& in)
{
    QuorvexLayout out;
    const int mx = QuorvexLayout::kMarginX;
    const int my = QuorvexLayout::kMarginY;
    out.fontHeight = -Round(in.dpiY * 8.0 / 72.0);

    int y = 0;
    out.menuFrame = {y, in.cyMenu + 2 * my};
    out.contentWidth = std::max(out.contentWidth, in.menuPageWidth);
    y += in.cyMenu + my;

    out.buttonHeight = std::max(38, Round(32.0 * in.dpiY / 96.0) + 33);
    out.buttonWidth = std::max(38, Round(74.0 * in.dpiX / 96.0));
    out.toolFrame = {y, out.buttonHeight + 2 * my};
    int widest = 0;
    for (int n : in.categoryItemCounts)
        widest = std::max(widest, n);
    out.toolPageWidth = widest * out.buttonWidth;
    // A page built from a category is as wide as its own buttons.
    for (int n : in.categoryItemCounts)
        out.contentWidth = std::max(out.contentWidth, n * out.buttonWidth);
    y += out.buttonHeight + my;

    out.windowHeight = in.borderTop + y + my + in.borderBottom;
    out.windowWidth = std::min(in.screenWidth, in.borderLeft + 2 * mx + in.borderRight + out.contentWidth);
    out.windowX = (in.screenWidth - out.windowWidth) / 2;
    out.windowY = 0;
    return out;
}
