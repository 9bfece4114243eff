#pragma once
// The layer view of a vector overlay: no samples, no pyramid, no palette; it draws the
// overlay's shown layers over the image at the window's zoom and scroll position.

#include "view/VirtualView.h"

class CVectorImage;

class CVectorView final : public CVirtualView {
public:
    CVectorView();
    // The overlay stays with its owner.
    ~CVectorView() override;

    // image is not owned and must outlive the view; width and height are those of the
    // image window's raster layers.
    void Attach(int index, CVectorImage* image, int width, int height);
    CVectorImage* GetImage() const { return m_pImage; }

    // x, y in pixels of the zoomed image; reduction in image pixels per window pixel.
    void PaintScaled(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                     void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) override;
    // Scrolled strips and bitmap export leave the overlay out.
    void RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction, int wholeImage,
                   unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter) override;
    void PaintDirect(plat::DeviceContext* dc, int x, int y, int dstX, int dstY, int width, int height, double reduction,
                     int fit, void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) override;
    void SetScale(double reduction) override;
    std::string GetLayerName() override;

private:
    CVectorImage* m_pImage = nullptr;
};
