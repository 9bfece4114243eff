#pragma once
// The view of one single-band raster layer: a layer of a raster layer file (or a
// caller's sample buffer), the data range shown on the 256 display levels, and the
// 8-bit display pyramid that all painting reads. The pyramid lives in a display
// cache file beside the source (or in the TempDir folder), reused as long as the
// source's time and the range factor k are unchanged; otherwise a worker job
// ("Open Image") builds it and posts WM_VIEWER_NOTIFY (wParam the index, lParam 2
// ready or 3 failed) to the notify window.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>

#include "platform/files/MappedFile.h"
#include "PalitraTag.h"
#include "platform/windows/WindowHandle.h"
#include "files/MemoryMap.h"
#include "layer/RDPLayer.h"
#include "pyramid/DisplayPyramid.h"
#include "view/VirtualView.h"

class CMeterInfo;
class CProfileFrame;

// What a view shares with its preparation job. The job holds it (and its own copies
// of the layer binding and the cache mapping) until it ends, so a view closed during
// the preparation frees nothing the job still uses.
struct RasterViewShared {
    std::atomic<int> m_bBusy{0};         // from the start of the job until its end
    std::atomic<int> m_bRunning{0};      // a job holds this block
    std::atomic<bool> m_bClosed{false};  // the view is gone: the job stops and reports nothing
    CDisplayPyramid m_Pyramid;
    std::uint32_t m_Histogram[256] = {};
    std::string m_strFailure;  // why the job failed; written before its notice
};

// The meter a job reports to: each report goes on to target on the GUI thread while
// closed is false; once closed is set, all jobs are being stopped or target failed, the
// job's next report raises the cancel (or target's failure).
std::shared_ptr<CMeterInfoBase> MakeJobMeter(std::shared_ptr<const std::atomic<bool>> closed, CMeterInfoBase* target);

// The parameter block of a segment save; the job frees it. The job reads its own copy
// of the source layer, which shares the view's binding: the samples stay mapped even
// when the view is closed meanwhile.
struct RasterSegmentParams {
    std::string m_strOutput;
    std::string m_strSource;
    RECT m_Rect;  // right and bottom excluded
    CRDPLayer m_Source;
};

class CRasterView final : public CVirtualView {
public:
    CRasterView();
    // Tells a running job to stop; it removes the cache it was building. A job over a
    // caller's buffers is waited for, since they may go right after the view.
    ~CRasterView() override;

    // Binds layer 0 of fileName and prepares it; 1 when it is ready (reused cache,
    // ready already posted) or its job has started, 0 on failure. Exceptions of the
    // layer's binding reach the caller.
    int OpenLayer(int index, plat::WindowHandle notifyWnd, const char* fileName, int phase, double k, int stretch,
                  CMeterInfoBase* meter, plat::WindowHandle statusWnd);
    // A layer of a caller's samples (types 1 to 8) with the caller's level block
    // (GetViewerTempSize bytes at levels, the display histogram's 1024 bytes before
    // it). Both must outlive the view. 1 when the job has started.
    int OpenBuffer(int index, plat::WindowHandle notifyWnd, const char* name, void* pixels, int width, int height,
                   int type, unsigned char* levels, const PalitraTag* palette, double min, double max,
                   CMeterInfoBase* meter, plat::WindowHandle statusWnd);
    // A channel file of a three-channel layer, prepared on the calling thread; 1 or 0.
    int PrepareFile(const char* fileName, CMeterInfoBase* meter, plat::WindowHandle statusWnd);
    // Builds the pyramid of the bound samples on the calling thread and posts ready
    // or failed; what the preparation job runs.
    int PrepareRaster(CMeterInfoBase* meter);

    // Region extraction of the pyramid; 0 while it is being built.
    int GetRegion(unsigned char* dest, int destRowBytes, int x, int y, int width, int height, double reduction,
                  int wholeImage, int step, int bottomUp, CMeterInfoBase* meter);
    CRDPLayer* GetLayer() { return &m_Layer; }

    // Both palettes become the grey ramp.
    void SetGreyPalettes();
    // Display entry index becomes the grey (v, v, v), v = value clamped to 0..255.
    void SetGreyEntry(int index, int value);
    int GetBrightness() const { return m_nBrightness; }
    int GetContrast() const { return m_nContrast; }
    // Profile windows opened from this layer and still open.
    std::vector<CProfileFrame*> OpenProfiles() const;

    // Body of the segment-save job (SaveSegmentPlanes over one plane): a new file of
    // the rectangle, its user tags and its transform history; a failed creation tells
    // the user, any later failure (a cancel too) ends quietly, and either way no new
    // file is left and an old file of that name stays as it was. Frees params.
    static void SaveSegmentJob(RasterSegmentParams* params, CMeterInfoBase* meter);

    int IsBusy() const { return m_pShared->m_bBusy.load(); }
    double GetSigmaFactor() const { return m_dSigmaFactor; }
    // Full path of the mapped display cache; empty for a buffer layer or none.
    std::string GetCacheName() const { return m_CacheMap.GetFileName(); }
    const PalitraTag& DisplayPalette() const { return m_DisplayPalette; }

    // Slots of the layer view.
    void SetBrightness(int value, int mode) override;
    void SetContrast(int value) override;
    void EqualizeHistogram() override;
    void GetPalitra(PalitraTag* out) override;
    void SetPalitra(PalitraTag* in) override;
    std::uint32_t* GetHistAddr(int channel) override;
    double GetRangeMin(int channel) override;
    double GetRangeMax(int channel) override;
    std::string GetFileName(int channel) override;
    double Min(int channel) override;
    double Max(int channel) override;
    double Mean(int channel) override;
    double StDev(int channel) override;
    std::string GetStringSizePixel(int channel) override;
    std::string GetStringTypeData(int channel) override;
    std::string GetLayerName() override;
    std::string GetValueString(int x, int y) override;
    // Each draws nothing before the layer is shown, while it is prepared, or when bits
    // cannot hold what the extraction writes (bitsBytes, outBytes).
    void RenderRGB(int x, int y, int width, int height, int rowBytes, int bottomUp, double reduction, int wholeImage,
                   unsigned char* out, std::size_t outBytes, CMeterInfoBase* meter) override;
    std::shared_ptr<CRenderSource> GetRenderSource() override;
    void PaintDirect(plat::DeviceContext* dc, int x, int y, int dstX, int dstY, int width, int height, double reduction,
                     int fit, void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) override;
    void PaintScaled(plat::DeviceContext* dc, int x, int y, int width, int height, double reduction, int fit,
                     void* bits, std::size_t bitsBytes, plat::BitmapInfo* info) override;
    void SetScale(double reduction) override;
    void ShowProfile(int axis, int position) override;
    // rect's right and bottom are excluded.
    void SaveSegment(const RECT* rect) override;
    FileFailure GetOpenFailure() override;

private:
    struct PrepareJob;
    enum class Cache {
        Failed,
        Created,
        Reused
    };

    // Time, binding, pixels and size of the file's layer 0; 0 without pixels or statistics.
    int BindFile(const char* fileName);
    void SetTypeTexts();
    // Looks up a valid cache, reuses it or creates a new one (see the .cpp).
    Cache SetUpCache(plat::WindowHandle statusWnd);
    std::string LookUpCache() const;
    int AttachPyramid();
    int CreateCache();
    // Removes the cache this view created and releases it.
    void DiscardCache();
    // Palette tag 201 of the layer when it holds one, else the grey ramp.
    void ApplyLayerPalette();
    std::unique_ptr<PrepareJob> MakeJob(CMeterInfoBase* meter) const;
    int StartJob(CMeterInfoBase* meter);

    static void PrepareJobEntry(void* data);
    static void SaveSegmentEntry(void* data, CMeterInfo* meter);
    void CloseProfiles();
    static int RunPreparation(PrepareJob& job, bool relayMeter);
    static void PostNotice(const std::shared_ptr<RasterViewShared>& shared, const plat::WindowHandle& notify, int index,
                           int code);

    // Each profile frame deletes itself when closed; the pointers then read null.
    std::vector<QPointer<CProfileFrame>> m_Profiles;
    std::shared_ptr<RasterViewShared> m_pShared = std::make_shared<RasterViewShared>();
    plat::WindowHandle m_pNotifyWnd;
    std::string m_strFileName;
    std::string m_strLayerName;
    std::string m_strFailure;  // why the last open or preparation on this thread failed
    CRDPLayer m_Layer;
    CMemoryMap m_CacheMap;
    std::string m_strCreatedCache;  // the cache this view created, and its identity
    plat::FileId m_CreatedCacheId;
    std::time_t m_tSourceTime = 0;
    unsigned char* m_pLevels = nullptr;
    void* m_pPixels = nullptr;
    bool m_bCallerBuffers = false;
    std::int64_t m_nRowBytes = 0;
    int m_bPhase = 0;
    int m_nType = 0;
    std::string m_strTypeText;
    std::string m_strSizeText;
    double m_dMin = 0.0;
    double m_dMax = 0.0;
    double m_dMean = 0.0;
    double m_dSigma = 0.0;
    double m_dLow = 0.0;
    double m_dHigh = 0.0;
    double m_dSigmaFactor = 0.0;
    unsigned char m_SourcePalette[256][3] = {};
    PalitraTag m_DisplayPalette;
    int m_nBrightness = 0;
    int m_nContrast = 0;
};
