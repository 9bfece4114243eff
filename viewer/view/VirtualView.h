#pragma once
// A layer of the image window: a single-band raster, a three-channel raster or a
// vector overlay. The image window owns its views and reaches them only through
// these slots. Channel arguments: 1 the band of a single-band view; 3, 4 and 5 the
// red, green and blue channels of a three-channel view. A channel a view does not
// have answers the neutral value (NULL, 0.0, an empty text; the ranges -1.0).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FileProblems.h"
#include "platform/paint/Geometry.h"
#include "platform/threads/ParallelFor.h"

class CMeterInfoBase;
class CRenderSource;
struct PalitraTag;

namespace plat {
class DeviceContext;
struct BitmapInfo;
using RowsReady = FunctionRef<void(std::int64_t first, std::int64_t end)>;  // DeviceContext.h
}  // namespace plat

class CVirtualView {
public:
    CVirtualView() = default;
    virtual ~CVirtualView();
    // Owned by the image window in place: neither copied nor moved.
    CVirtualView(const CVirtualView&) = delete;
    CVirtualView& operator=(const CVirtualView&) = delete;

    int GetKind() const { return m_nKind; }
    int GetColorMode() const { return m_nColorMode; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    void SetShown(int shown) { m_bShown = shown; }
    int IsShown() const { return m_bShown; }
    void InvalidateRegion() { m_bRegionValid = 0; }
    int IsRegionValid() const { return m_bRegionValid; }
    int GetIndex() const { return m_nIndex; }

    // mode 1: brightness of a single-band layer; 3, 4, 5: level of a channel.
    virtual void SetBrightness(int value, int mode);
    // value -127 .. 127.
    virtual void SetContrast(int value);
    virtual void EqualizeHistogram();
    // The 256 entries of the source palette into out; its header is left alone.
    virtual void GetPalitra(PalitraTag* out);
    // in's 256 entries become the source palette.
    virtual void SetPalitra(PalitraTag* in);
    // 256 bins of 32 bits.
    virtual std::uint32_t* GetHistAddr(int channel);
    // Data values shown as display levels 0 and 255.
    virtual double GetRangeMin(int channel);
    virtual double GetRangeMax(int channel);
    virtual std::string GetFileName(int channel);
    virtual std::string GetValueString(int x, int y);
    virtual double Min(int channel);
    virtual double Max(int channel);
    virtual double Mean(int channel);
    virtual double StDev(int channel);
    // Sample width ("8 bits" ... "128 bits") and data type texts.
    virtual std::string GetStringSizePixel(int channel);
    virtual std::string GetStringTypeData(int channel);
    // A region as 24-bit pixels (blue, green, red) into out (outBytes long), rows
    // rowBytes apart.
    virtual void RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction,
                           int wholeImage, unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter) = 0;
    // What RenderRGB reads, for a job that outlives the view; null when the view
    // renders nothing (a vector layer).
    virtual std::shared_ptr<CRenderSource> GetRenderSource();
    // A region into the caller's 8-bit buffer bits (bitsBytes long), drawn 1:1 at
    // (dstX, dstY) with the colours info already holds.
    virtual void PaintDirect(plat::DeviceContext* dc, int x, int y, int dstX, int dstY, int width, int height,
                             double reduction, int fit, void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) = 0;
    // The visible part of the layer at the current zoom.
    virtual void PaintScaled(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                             void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) = 0;
    virtual void SetScale(double reduction) = 0;
    virtual std::string GetLayerName() = 0;
    // axis 1: along X through row position; 0: along Y through column position.
    virtual void ShowProfile(int axis, int position);
    virtual void SaveSegment(const RECT* rect);

    // What stopped the last open or preparation: the file and the reason, for the box.
    virtual FileFailure GetOpenFailure();

protected:
    // The source pixels behind a region magnified by a whole factor: output pixel
    // (i, j) shows source (x + i / factor, y + j / factor). Empty off the layer.
    struct MagnifiedSource {
        int x = 0, y = 0, width = 0, height = 0, factor = 1;
    };
    static MagnifiedSource SourceOfMagnified(int x, int y, int width, int height, double reduction, int layerWidth,
                                             int layerHeight);
    // Draws the picture of source (rows as info says) spread by its factor from the
    // client's top-left corner, no further than width x height.
    static void DrawMagnified(plat::DeviceContext* dc, const MagnifiedSource& source, int width, int height,
                              const void* bits, std::size_t bitsBytes, const plat::BitmapInfo& info);
    // The same for a picture that make writes while it is drawn (DeviceContext::StretchDIBits);
    // make runs whatever is drawn.
    static void DrawMagnified(plat::DeviceContext* dc, const MagnifiedSource& source, int width, int height,
                              const void* bits, std::size_t bitsBytes, const plat::BitmapInfo& info,
                              plat::FunctionRef<void(plat::RowsReady)> make);

    // How a view's pixels reach the paint buffer: pixelBytes a pixel, rows padded as
    // rowBytes says; extract puts the region (x, y, width, height at reduction and
    // fit) into rows rowBytes apart and reports rows as they are done.
    struct PaintPixels {
        int pixelBytes;
        std::int64_t (*rowBytes)(std::int64_t width);
        plat::FunctionRef<void(unsigned char* buffer, int rowBytes, int x, int y, int width, int height,
                               double reduction, int fit, plat::RowsReady ready)>
            extract;
    };
    // The three zoom cases of PaintScaled: magnified to fit (the whole image goes into
    // the buffer once and is stretched on every repaint), magnified (the region at
    // source size, spread while drawn), and 1:1 or reduced. The buffer is filled
    // again unless the region is valid; one too small for the case shows nothing.
    // info's colours and bit count are the caller's.
    void PaintZoomed(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                     void* bits, std::size_t bitsBytes, plat::BitmapInfo& info, const PaintPixels& pixels);

    int m_nIndex = 0;      // index in the image window; wParam of its notices
    int m_nKind = 0;       // 1 image layer, 2 vector layer
    int m_nColorMode = 0;  // 1 single band, 2 three channels, 0 vector
    int m_bShown = 0;      // set by the image window once the layer may be painted
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_bRegionValid = 0;  // the shared 8-bit buffer holds this layer's last extraction
};
