#pragma once
// Three single-band raster layer files of one size shown as the red, green and blue
// of one true-colour image. Each channel is a raster view of its own with its own
// display pyramid; this view adds a level per colour, paints the three together as
// 24-bit pixels, answers statistics per channel (3 red, 4 green, 5 blue) and saves a
// frame of all three as three new files.

#include <atomic>
#include <memory>
#include <string>

#include "platform/windows/WindowHandle.h"
#include "layer/RDPLayer.h"
#include "view/RasterView.h"
#include "view/VirtualView.h"

class CMeterInfo;

// What the view shares with its preparation job: the job builds the channels here,
// and a view closed meanwhile frees nothing the job still uses.
struct RGBViewShared {
    std::atomic<int> m_bBusy{0};
    std::atomic<bool> m_bClosed{false};           // the view is gone: the job stops and reports nothing
    std::unique_ptr<CRasterView> m_pChannels[3];  // red, green, blue
    bool m_bReady[3] = {};                        // the channel's file was prepared
    int m_nWidth = 0;
    int m_nHeight = 0;
    FileFailure m_failure;  // why the job failed; written before busy is cleared
};

// The parameter block of a segment save; the job frees it. The job reads its own
// copies of the channels' layers, which keep the samples mapped after the view goes.
struct SegmentParams {
    std::string m_strOutput[3];  // red, green, blue
    std::string m_strSource[3];
    CRDPLayer m_Source[3];
    RECT m_Rect;  // right and bottom excluded
};

class CRGBView final : public CVirtualView {
public:
    CRGBView();
    // A running preparation is told to stop; it releases the channels itself.
    ~CRGBView() override;

    // Starts the "Open Image" job that prepares the three channels and posts
    // WM_VIEWER_NOTIFY (wParam index, lParam 2 ready or 3 failed) to notifyWnd. 1 when
    // it has started; 0 while an earlier preparation still runs or no job starts.
    int OpenImage(int index, plat::WindowHandle notifyWnd, const char* red, const char* green, const char* blue,
                  CMeterInfoBase* meter, plat::WindowHandle statusWnd);
    // Scales the colour planes of a 24-bit buffer by the three levels.
    void ApplyLevels(unsigned char* buffer, int rowBytes, int width, int height) const;
    // Channel 3, 4 or 5 when it was prepared and no preparation runs; else null.
    CRasterView* GetChannel(int channel) const;
    int IsBusy() const { return m_pShared->m_bBusy.load(); }
    int GetLevel(int channel) const;

    // Body of the segment-save job: the frame of each channel as a new file with its
    // user tags and shifted transform history, the three files committed together
    // (SaveSegmentPlanes): a file that cannot be created is reported, any failure
    // after that (a cancel too) ends the job quietly, and either way no file is left
    // and every old one stays. Frees params.
    static void SaveSegmentJob(SegmentParams* params, CMeterInfoBase* meter);

    // Slots of the layer view.
    void SetBrightness(int value, int channel) override;
    std::uint32_t* GetHistAddr(int channel) override;
    double GetRangeMin(int channel) override;
    double GetRangeMax(int channel) override;
    std::string GetFileName(int channel) override;
    std::string GetValueString(int x, int y) override;
    double Min(int channel) override;
    double Max(int channel) override;
    double Mean(int channel) override;
    double StDev(int channel) override;
    std::string GetStringSizePixel(int channel) override;
    std::string GetStringTypeData(int channel) override;
    // Each draws nothing while the channels are prepared, when one is missing, or when
    // the caller's buffer cannot hold what the extraction writes. A meter's cancel
    // during RenderRGB reaches the caller.
    void RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction, int wholeImage,
                   unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter) override;
    std::shared_ptr<CRenderSource> GetRenderSource() override;
    void PaintDirect(plat::DeviceContext* dc, int x, int y, int dstX, int dstY, int width, int height, double reduction,
                     int fit, void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) override;
    void PaintScaled(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                     void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) override;
    void SetScale(double reduction) override;
    std::string GetLayerName() override { return m_strLayerName; }
    FileFailure GetOpenFailure() override;
    // rect's right and bottom are excluded.
    void SaveSegment(const RECT* rect) override;

private:
    struct PrepareJob;
    class Render;

    static void PrepareJobEntry(void* data);
    static int PrepareChannels(PrepareJob& job);
    static void SaveSegmentEntry(void* data, CMeterInfo* meter);
    // The three channels, or false when one is missing or they are being prepared.
    bool Channels(CRasterView* (&out)[3]) const;
    // Each channel's region into its plane of buffer.
    static void ExtractPlanes(CRasterView* const (&channels)[3], unsigned char* buffer, int rowBytes, int x, int y,
                              int width, int height, double reduction, int fit, int bottomUp, CMeterInfoBase* meter);

    std::shared_ptr<RGBViewShared> m_pShared = std::make_shared<RGBViewShared>();
    plat::WindowHandle m_pNotifyWnd;
    std::string m_strFile[3];  // red, green, blue
    std::string m_strLayerName;
    int m_nLevel[3] = {255, 255, 255};  // red, green, blue
};
