#pragma once
// A layer's picture as its view's RenderRGB paints it, for a job on another thread.
// It holds what it reads (the display pyramid and its mapping, the palette or the
// channels and their levels) by shared ownership, so the layer may be closed while
// the job still renders; palette and levels are those of the moment it was taken.

#include <cstddef>

class CMeterInfoBase;

class CRenderSource {
public:
    CRenderSource() = default;
    virtual ~CRenderSource();
    CRenderSource(const CRenderSource&) = delete;
    CRenderSource& operator=(const CRenderSource&) = delete;

    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    // As CVirtualView::RenderRGB; a meter's cancel reaches the caller.
    virtual void RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction,
                           int wholeImage, unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter) const = 0;
};
